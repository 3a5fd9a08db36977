#!/bin/sh
# Builds Patchdoc.exe and Patchtree.exe for 64-bit Windows with MinGW-w64 and runs every test that
# applies under Wine, then compares the Windows Patchdoc with the Linux one on the corpus.
# Usage: scripts/windows.sh            (BOOST_FILESYSTEM_SOURCE=<folder> to take Boost.Filesystem's
#                                       sources from elsewhere than ../shared/third_party)
set -eu
cd "$(dirname "$0")/.."
. scripts/packages.sh
# shellcheck disable=SC2086
ensure_packages $WINDOWS_PACKAGES

build=${WINDOWS_BUILD_DIR:-build-windows}
boost_source=${BOOST_FILESYSTEM_SOURCE:-$(pwd)/../shared/third_party/boost-filesystem-1.74.0}
mkdir -p "$build"

# Wine keeps its Windows installation in the build folder, made anew on a new machine, and one
# server process for the whole run, so that each program does not pay Wine's start.
WINEPREFIX=$(cd "$build" && pwd)/wine
WINEDEBUG=-all
export WINEPREFIX WINEDEBUG
/usr/lib/wine/wineserver -p
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing Wine's Windows folder (about half a minute the first time)..."
fi
# Wine's own background programs start here, under the lasting server, and not later inside a
# test whose output they would hold open.
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true

echo "Configuring the Windows build in $build..."
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DPATCH_BUILD_BENCH=OFF \
    -DBOOST_FILESYSTEM_SOURCE="$boost_source" >/dev/null
echo "Building (about 4 minutes on 2 cores)..."
cmake --build "$build" -j"$(nproc)"

# Copying the two files to a Windows machine is enough: they import system libraries only.
for program in Patchdoc Patchtree; do
    imports=$(x86_64-w64-mingw32-objdump -p "$build/bin/$program.exe" | sed -n 's/.*DLL Name: //p')
    for dll in $imports; do
        case $(echo "$dll" | tr 'A-Z' 'a-z') in
            kernel32.dll | msvcrt.dll | ntdll.dll | ole32.dll | shell32.dll | advapi32.dll) ;;
            *) echo "$program.exe imports $dll, which Windows does not ship"; exit 1 ;;
        esac
    done
done

echo "Running the tests under Wine..."
(cd "$build" && ctest --output-on-failure -j"$(nproc)")

echo "Comparing the Windows Patchdoc with the Linux one on the corpus..."
linux=${LINUX_BUILD_DIR:-build}
if [ ! -x "$linux/bin/Patchdoc" ]; then
    # shellcheck disable=SC2086
    ensure_packages $BUILD_PACKAGES
    cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$linux" -j"$(nproc)" --target Patchdoc
fi
sh tests/windows/same_as_linux.sh "$linux/bin/Patchdoc" "$build/bin/Patchdoc.exe" ../shared/corpus
