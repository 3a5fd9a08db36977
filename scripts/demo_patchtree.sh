#!/bin/sh
# Shows Patchtree at work on a small folder tree: two flattened presentations (one with an odd
# name), one already repaired, one file that only has the name of a presentation, and files
# that are not taken.
# Usage: scripts/demo_patchtree.sh BUILD_FOLDER SCRATCH_FOLDER
#   BUILD_FOLDER   a build folder holding both programs in bin/ and tests/support/make_sample
#   SCRATCH_FOLDER where the demo tree, the programs side by side and the log are put; only its
#                  subfolder patchtree-demo is replaced
set -eu

if [ $# -ne 2 ]; then
    echo "Usage: $0 BUILD_FOLDER SCRATCH_FOLDER" >&2
    exit 2
fi
build=$1
scratch=$2

# find_program PATH: the program at PATH in the build folder.
find_program() {
    if [ -f "$build/$1" ] && [ -x "$build/$1" ]; then
        echo "$build/$1"
        return 0
    fi
    echo "No $1 in $build: build it first." >&2
    exit 1
}
patchtree=$(find_program bin/Patchtree)
patchdoc=$(find_program bin/Patchdoc)
make_sample=$(find_program tests/support/make_sample)

demo="$scratch/patchtree-demo"
rm -rf "$demo"
mkdir -p "$demo/bin" "$demo/tree/2007/talks" "$demo/tree/2008"
# Patchtree runs the Patchdoc that sits in its own folder.
cp "$patchtree" "$patchdoc" "$demo/bin/"

# Two flattened presentations, one already repaired (nothing to do), and one text file under a
# presentation's name (the one error of the run).
"$make_sample" "$demo/tree/2007/talks/Quarterly review.ppt"
"$make_sample" "$demo/tree/2008/it's \$(odd) name.ppt"
"$make_sample" "$demo/tree/2008/Budget.ppt"
"$patchdoc" -d "$demo/tree/2008/Budget.ppt" >/dev/null
printf 'Notes, saved under a presentation name by mistake.\n' > "$demo/tree/notes.ppt"
printf 'Skipped: upper-case ending.\n' > "$demo/tree/2008/OLD.PPT"
printf 'Skipped: another format.\n' > "$demo/tree/2008/new.pptx"
printf 'Skipped: not a presentation name.\n' > "$demo/tree/readme.txt"

tree() {
    (cd "$demo/tree" && find . -type f | sort | sed 's/^/  /')
    echo
}
echo "The tree (notes.ppt is a text file under a presentation's name; OLD.PPT, new.pptx and"
echo "readme.txt are not taken):"
tree

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
echo
echo "The tree afterwards, with the backups of the repaired files:"
tree
