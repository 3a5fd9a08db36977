#!/bin/sh
# Shows Patchtree at work on a small folder tree.
# Usage: scripts/demo_patchtree.sh BUILD_FOLDER SCRATCH_FOLDER [PRESENTATION...]
#   BUILD_FOLDER   a build folder holding both programs in bin/ (or an installed bin/)
#   SCRATCH_FOLDER where the demo tree, the programs side by side and the log are put; only its
#                  subfolder patchtree-demo is replaced
#   PRESENTATION   presentations to put into the tree as well
set -eu

if [ $# -lt 2 ]; then
    echo "Usage: $0 BUILD_FOLDER SCRATCH_FOLDER [PRESENTATION...]" >&2
    exit 2
fi
build=$1
scratch=$2
shift 2

# find_program NAME: the program in the build folder's bin/ (or an installed bin/ itself).
find_program() {
    for candidate in "$build/bin/$1" "$build/$1"; do
        if [ -f "$candidate" ] && [ -x "$candidate" ]; then
            echo "$candidate"
            return 0
        fi
    done
    echo "No $1 in $build: build it first." >&2
    exit 1
}
patchtree=$(find_program Patchtree)
patchdoc=$(find_program Patchdoc)

demo="$scratch/patchtree-demo"
rm -rf "$demo"
mkdir -p "$demo/bin" "$demo/tree/2007/talks" "$demo/tree/2008"
# Patchtree runs the Patchdoc that sits in its own folder.
cp "$patchtree" "$patchdoc" "$demo/bin/"

printf 'Not a presentation.\n' > "$demo/tree/notes.ppt"
printf 'Not a presentation.\n' > "$demo/tree/2007/talks/Quarterly review.ppt"
printf 'Not a presentation.\n' > "$demo/tree/2008/it's \$(odd) name.ppt"
printf 'Skipped: upper-case ending.\n' > "$demo/tree/2008/OLD.PPT"
printf 'Skipped: another format.\n' > "$demo/tree/2008/new.pptx"
printf 'Skipped: not a presentation name.\n' > "$demo/tree/readme.txt"
number=0
for presentation in "$@"; do
    number=$((number + 1))
    cp "$presentation" "$demo/tree/2007/deck $number.ppt"
done

echo "The tree:"
(cd "$demo/tree" && find . -type f | sort | sed 's/^/  /')
echo

echo "\$ Patchtree -l:$demo/logs/ $demo/tree"
set +e
"$demo/bin/Patchtree" "-l:$demo/logs/" "$demo/tree"
code=$?
set -e
echo "(exit code $code)"
echo

for log in "$demo"/logs/*.log; do
    [ -f "$log" ] || { echo "No log file was written."; exit 1; }
    echo "Log file $(basename "$log") (UTF-16LE, shown as UTF-8):"
    iconv -f UTF-16 -t UTF-8 "$log" | tr -d '\r' | sed 's/^/  /'
done
