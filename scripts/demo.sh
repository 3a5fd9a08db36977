#!/bin/sh
# Builds Patchdoc and Patchtree and shows them at work on a sample presentation made here.
# Usage: scripts/demo.sh
set -eu
cd "$(dirname "$0")/.."
. scripts/packages.sh
# shellcheck disable=SC2086
ensure_packages $BUILD_PACKAGES

build=${BUILD_DIR:-build-demo}
build "$build" 90 "Patchdoc, Patchtree and the sample maker" -DCMAKE_BUILD_TYPE=Release \
    -DPATCH_BUILD_TESTS=OFF -DPATCH_BUILD_BENCH=OFF -- Patchdoc Patchtree make_sample
echo

scratch=$(mktemp -d "${TMPDIR:-/tmp}/patchdoc-demo.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
patchdoc="$build/bin/Patchdoc"

show() {
    echo "\$ Patchdoc $*"
    set +e
    "$patchdoc" "$@"
    code=$?
    set -e
    echo "(exit code $code)"
    echo
}

listing() {
    echo "Folder $1:"
    (cd "$1" && ls -l | tail -n +2 | awk '{print "  " $5 "\t" substr($0, index($0, $9))}')
    echo
}

show

# A presentation with three slides: a flattened workbook, a flattened embedded presentation (which
# has a flattened shape of its own and another presentation inside it), and an intact object.
mkdir "$scratch/talks"
"$build/tests/support/make_sample" "$scratch/talks/Quarterly review.ppt"
cp "$scratch/talks/Quarterly review.ppt" "$scratch/flattened.ppt"
listing "$scratch/talks"

echo "First run: the flattened objects are repaired and a backup is made."
show "$scratch/talks/Quarterly review.ppt"
listing "$scratch/talks"

echo "Second run: nothing left to repair."
show "$scratch/talks/Quarterly review.ppt"

echo "Without a backup (-d), and a file that is not a presentation:"
cp "$scratch/flattened.ppt" "$scratch/talks/copy.ppt"
show -d "$scratch/talks/copy.ppt"
printf 'This is not a presentation.\n' > "$scratch/talks/notes.ppt"
show "$scratch/talks/notes.ppt"

echo "Patchtree over a folder tree:"
scripts/demo_patchtree.sh "$build" "$scratch"
