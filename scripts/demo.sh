#!/bin/sh
# Builds Patchdoc and shows it at work on a sample made here. Usage: scripts/demo.sh
set -eu
cd "$(dirname "$0")/.."
. scripts/packages.sh
# shellcheck disable=SC2086
ensure_packages $BUILD_PACKAGES

build=${BUILD_DIR:-build-demo}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPATCH_BUILD_TESTS=OFF -DPATCH_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target Patchdoc >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/patchdoc-demo.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
patchdoc="$build/src/repairtool/Patchdoc"

show() {
    echo "\$ Patchdoc $*"
    set +e
    "$patchdoc" "$@"
    code=$?
    set -e
    echo "(exit code $code)"
    echo
}

show
printf 'This is not a presentation.\n' > "$scratch/notes.ppt"
show "$scratch/notes.ppt"
