#!/bin/sh
# Runs the tests of a build folder in two rounds: first the quick ones, in parallel, each shown
# as it starts and ends; then the long ones (label "long": fault injection, the independent
# readers, the Debian package), whose own lines show as they go, so no minute passes in silence.
# Usage: scripts/run_tests.sh BUILD_FOLDER
set -eu
cd "$1"
cores=$(nproc)
quick=$(ctest -N -LE long | sed -n 's/^Total Tests: //p')
echo "Running $quick quick tests (under a minute)..."
status=0
ctest --output-on-failure -j"$cores" -LE long || status=$?
long=$(ctest -N -L long | sed -n 's/^Total Tests: //p')
echo
echo "Running the $long long tests (about 2 minutes); their lines carry the test's number:"
ctest --output-on-failure -j"$cores" -L long --verbose || status=$?
exit "$status"
