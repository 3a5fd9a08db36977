#!/bin/sh
# Packs the Windows programs for Windows administrators: builds them (Release, the Windows build
# of scripts/windows.sh, without its tests) and writes into build-windows/dist/
#   patchdoc-<version>-win64.zip   Patchdoc.exe, Patchtree.exe, README.txt, licenses\
#   patchdoc-<version>-win64.msi   the same files installed in C:\Program Files\Patchdoc\
#   SHA256SUMS                     the SHA-256 sums of both, as sha256sum -c reads them
# then installs, runs and removes both under Wine (tests/windows/installers.sh).
# Usage: scripts/package-windows.sh [--no-test]
set -eu
cd "$(dirname "$0")/.."
test_them=yes
case ${1:-} in
    --no-test) test_them=no ;;
    "") ;;
    *) echo "Usage: $0 [--no-test]" >&2; exit 2 ;;
esac
. scripts/packages.sh
# shellcheck disable=SC2086
ensure_packages $WINDOWS_PACKAGES $WINDOWS_PACKAGE_PACKAGES

build=${WINDOWS_BUILD_DIR:-build-windows}
. scripts/windows_build.sh
windows_start_wine "$build"
windows_build "$build" Patchdoc Patchtree make_sample
version=$(cat "$build/version.txt")
name=patchdoc-$version-win64
dist=$build/dist
files=$build/dist-files

# Text files get Windows line ends.
crlf() {
    sed 's/\r*$/\r/' "$@"
}

echo "Packing $name..."
rm -rf "$files" "$dist"
mkdir -p "$files/licenses" "$dist"
for program in Patchdoc Patchtree; do
    x86_64-w64-mingw32-strip -o "$files/$program.exe" "$build/bin/$program.exe"
done
sed "s/@VERSION@/$version/g" packaging/windows/README.txt | crlf >"$files/README.txt"
# The licences of what is linked into the programs, from the packages that built them.
crlf /usr/share/doc/libz-mingw-w64-dev/copyright >"$files/licenses/zlib.txt"
crlf "$boost_source/LICENSE_1_0.txt" >"$files/licenses/Boost.txt"
crlf /usr/share/doc/mingw-w64-x86-64-dev/copyright >"$files/licenses/MinGW-w64-runtime.txt"
crlf /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright \
    >"$files/licenses/GCC-runtime.txt"
crlf /usr/share/common-licenses/GPL-3 >"$files/licenses/GPL-3.txt"

(cd "$files" && zip -q -X -r "../dist/$name.zip" Patchdoc.exe Patchtree.exe README.txt licenses)
packaging/windows/build-msi.sh "$files" "$version" "$dist/$name.msi"
(cd "$dist" && sha256sum "$name.zip" "$name.msi" >SHA256SUMS)
echo "Written to $dist:"
cat "$dist/SHA256SUMS"

if [ "$test_them" = yes ]; then
    sh tests/windows/installers.sh "$dist" "$build/tests/support/make_sample.exe"
fi
