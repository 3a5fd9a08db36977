#!/bin/sh
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer, runs all tests in that
# build, then runs that Patchdoc over every file of ../shared/corpus (when it exists), with and
# without a backup. Any sanitizer report fails the run. Usage: scripts/test_sanitized.sh
set -eu
cd "$(dirname "$0")/.."
. scripts/packages.sh
# shellcheck disable=SC2086
ensure_packages $BUILD_PACKAGES $TEST_PACKAGES

build=${SANITIZE_BUILD_DIR:-build-sanitize}
build "$build" 780 "everything with the sanitizers" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPATCH_SANITIZE=ON -DPATCH_BUILD_BENCH=OFF
# A sanitizer finding ends the program with a status of its own, never one Patchdoc uses.
export ASAN_OPTIONS=detect_leaks=1:exitcode=86
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:exitcode=87
scripts/run_tests.sh "$build"

corpus=../shared/corpus
if [ ! -d "$corpus" ]; then
    echo "No corpus at $corpus: the sanitized corpus run is skipped."
    exit 0
fi
patchdoc="$(pwd)/$build/bin/Patchdoc"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0
echo "Running the sanitized Patchdoc over every corpus file, with and without a backup..."
for file in "$corpus"/*.ppt "$corpus"/*.doc; do
    [ -f "$file" ] || continue
    name=$(basename "$file")
    for mode in -d backup; do
        rm -rf "$scratch/run" && mkdir "$scratch/run"
        cp "$file" "$scratch/run/$name"
        status=0
        if [ "$mode" = -d ]; then
            "$patchdoc" -d "$scratch/run/$name" >"$scratch/out" 2>"$scratch/err" || status=$?
        else
            "$patchdoc" "$scratch/run/$name" >"$scratch/out" 2>"$scratch/err" || status=$?
        fi
        if [ "$status" -le 2 ] && ! grep -q "Sanitizer\|runtime error" "$scratch/err"; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            echo "FAIL $name ($mode): exit $status"
            cat "$scratch/out" "$scratch/err"
        fi
    done
done
echo "corpus: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
