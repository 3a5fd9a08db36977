#!/bin/sh
# Measures what the tests reach: a Debug build with --coverage in its own folder, the whole test
# suite, then the line and function coverage of src/ (gcovr) and the tests' share of the lines
# of src/ and tests/ together. Usage: scripts/coverage.sh
set -eu
cd "$(dirname "$0")/.."
. scripts/packages.sh
# shellcheck disable=SC2086
ensure_packages $BUILD_PACKAGES $TEST_PACKAGES gcovr

build=${COVERAGE_BUILD_DIR:-build-coverage}
# Counts from an earlier run would add to this one's.
[ -d "$build" ] && find "$build" -name '*.gcda' -delete
build "$build" 420 "everything with coverage counters" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS=--coverage -DPATCH_BUILD_BENCH=OFF
# Programs whose counters can't be written (another user's run, a file size limit) would report
# it on standard error, where the tests read what the programs print.
export GCOV_ERROR_FILE=/dev/null
status=0
scripts/run_tests.sh "$build" || status=$?
# Tests that run the programs as another user (when run as root) reach counter files only once
# they exist and that user may write them: run those tests once more.
if [ "$(id -u)" -eq 0 ]; then
    find "$build" -name '*.gcda' -exec chmod a+rw {} +
    (cd "$build" && ctest -R 'SharedFolderTest|PatchtreePosixTest' >/dev/null) || status=$?
fi

echo
echo "Coverage of src/ by the whole suite:"
gcovr --root . --filter src/ --object-directory "$build" --exclude-directories "$build/CMakeFiles" \
    --print-summary --output "$build/coverage.txt" 2>"$build/gcovr.log" |
    grep -E '^(lines|functions):'
echo "Coverage of each file of src/: $build/coverage.txt"
src=$(git ls-files 'src/*' | grep -E '\.(cpp|h)$' | xargs cat | wc -l)
tests=$(git ls-files 'tests/*' | grep -E '\.(cpp|h|py|sh)$' | xargs cat | wc -l)
echo "Lines: src $src, tests $tests; the tests are $((100 * tests / (src + tests)))% of both."
[ "$status" -eq 0 ] || echo "Some tests failed: the coverage above leaves out what they would reach."
exit "$status"
