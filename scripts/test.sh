#!/bin/sh
# Builds everything and runs all tests. Usage: scripts/test.sh
set -eu
cd "$(dirname "$0")/.."
. scripts/packages.sh
# shellcheck disable=SC2086
ensure_packages $BUILD_PACKAGES $TEST_PACKAGES

build=${BUILD_DIR:-build}
build "$build" 380 "both programs, the tests and the benchmarks" -DCMAKE_BUILD_TYPE=RelWithDebInfo
scripts/run_tests.sh "$build"
