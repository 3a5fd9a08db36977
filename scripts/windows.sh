#!/bin/sh
# Builds Patchdoc.exe and Patchtree.exe for 64-bit Windows with MinGW-w64 and runs every test that
# applies under Wine, then compares the Windows Patchdoc with the Linux one on the corpus.
# Usage: scripts/windows.sh            (BOOST_FILESYSTEM_SOURCE=<folder> to take Boost.Filesystem's
#                                       sources from elsewhere than ../shared/third_party)
# scripts/package-windows.sh builds the same way and packs the programs for Windows.
set -eu
cd "$(dirname "$0")/.."
. scripts/packages.sh
# shellcheck disable=SC2086
ensure_packages $WINDOWS_PACKAGES

build=${WINDOWS_BUILD_DIR:-build-windows}
. scripts/windows_build.sh
windows_start_wine "$build"
windows_build "$build"

echo "Running the tests under Wine..."
# A test program that Wine fails to start under heavy load ends at once with no output; such a
# test gets a second run, named here, and fails the script only if it fails again.
if ! (cd "$build" && ctest --output-on-failure -j"$(nproc)"); then
    echo "Running the failed tests once more:"
    (cd "$build" && ctest --output-on-failure --rerun-failed)
fi

echo "Comparing the Windows Patchdoc with the Linux one on the corpus..."
linux=${LINUX_BUILD_DIR:-build}
if [ ! -x "$linux/bin/Patchdoc" ]; then
    # shellcheck disable=SC2086
    ensure_packages $BUILD_PACKAGES
    cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$linux" -j"$(nproc)" --target Patchdoc
fi
sh tests/windows/same_as_linux.sh "$linux/bin/Patchdoc" "$build/bin/Patchdoc.exe" ../shared/corpus
