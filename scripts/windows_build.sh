# Sourced by scripts/windows.sh and scripts/package-windows.sh: the Windows build and the Wine
# that runs its programs. Expects the current folder to be the top of the repository.

# Boost.Filesystem's sources (and its licence); BOOST_FILESYSTEM_SOURCE names another folder.
boost_source=${BOOST_FILESYSTEM_SOURCE:-$(pwd)/../shared/third_party/boost-filesystem-1.74.0}

# windows_start_wine BUILD: keeps Wine's Windows installation in BUILD/wine (made anew on a new
# machine) and starts one server process for the whole run, so that each program does not pay
# Wine's start; the server ends with the script. (Debian's wine64 puts wine64 and wineserver in
# /usr/lib/wine, not on the PATH.)
windows_start_wine() {
    WINEPREFIX=$(realpath -m "$1")/wine
    WINEDEBUG=-all
    export WINEPREFIX WINEDEBUG
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Preparing Wine's Windows folder (about half a minute the first time)..."
    fi
    mkdir -p "$WINEPREFIX"  # the server starts in it
    /usr/lib/wine/wineserver -p || true  # one may be running for this folder already
    trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
    # Wine's own processes (services, devices) start with the first program and live as long as
    # the server, holding that program's standard output and error: they are started here, with
    # neither a pipe, so that no later program's reader waits for them (test discovery would).
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
}

# windows_build BUILD [TARGET...]: configures the Release build for 64-bit Windows in BUILD and
# builds the targets named (all of them when none is), then checks that both programs import
# system libraries only.
windows_build() {
    build=$1
    shift
    echo "Configuring the Windows build in $build..."
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DPATCH_BUILD_BENCH=OFF \
        -DBOOST_FILESYSTEM_SOURCE="$boost_source" >/dev/null
    if [ $# -eq 0 ]; then
        echo "Building (about 4 minutes on 2 cores)..."
        cmake --build "$build" -j"$(nproc)"
    else
        echo "Building $*..."
        cmake --build "$build" -j"$(nproc)" --target "$@"
    fi

    # Copying the two files to a Windows machine is enough: they import system libraries only.
    for program in Patchdoc Patchtree; do
        imports=$(x86_64-w64-mingw32-objdump -p "$build/bin/$program.exe" |
            sed -n 's/.*DLL Name: //p')
        for dll in $imports; do
            case $(echo "$dll" | tr 'A-Z' 'a-z') in
                kernel32.dll | msvcrt.dll | ntdll.dll | ole32.dll | shell32.dll | advapi32.dll) ;;
                *) echo "$program.exe imports $dll, which Windows does not ship"; exit 1 ;;
            esac
        done
    done
}
