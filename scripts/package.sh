#!/bin/sh
# Builds the Debian package of Patchdoc and Patchtree (Release build in build-package/) and
# prints its path. Install it with: sudo apt install ./build-package/patchdoc_*.deb
# Usage: scripts/package.sh
set -eu
cd "$(dirname "$0")/.."
. scripts/packages.sh
# shellcheck disable=SC2086
ensure_packages $BUILD_PACKAGES $PACKAGE_PACKAGES

build=${BUILD_DIR:-build-package}
build "$build" 60 "Patchdoc and Patchtree" -DCMAKE_BUILD_TYPE=Release -DPATCH_BUILD_TESTS=OFF \
    -DPATCH_BUILD_BENCH=OFF
echo "Making the Debian package with cpack (a few seconds)..."
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
ls "$build"/patchdoc_*.deb
