# Sourced by the other scripts: the Debian packages each of them needs, how the missing ones are
# installed, and the build step they share. Every step that takes a while says so first.

# What building Patchdoc and Patchtree needs.
BUILD_PACKAGES="g++ make cmake zlib1g-dev libboost-filesystem-dev libboost-system-dev libboost-date-time-dev"
# What building the Debian package needs on top: dpkg-shlibdeps for its dependencies and `file`,
# which cpack uses to find the binaries among the files of the package.
PACKAGE_PACKAGES="dpkg-dev file"
# What the tests need on top: GoogleTest, the independent readers of what we write, the XFS and
# btrfs tools for the block-sharing test, groff for the manual pages and the package tools for
# the package test.
TEST_PACKAGES="libgtest-dev python3 acl attr xfsprogs btrfs-progs python3-olefile libgsf-bin libreoffice-impress default-jdk-headless libapache-poi-java groff-base $PACKAGE_PACKAGES"
# What the fuzzer needs on top of the build: clang with libFuzzer and the sanitizer runtimes.
FUZZ_PACKAGES="clang-14 libclang-rt-14-dev"

# ensure_packages PKG...: installs the Debian packages that are missing when run as root;
# otherwise prints the apt-get line to run as root and stops. apt's own messages go to a log
# that is shown only when apt fails; the screen gets one line of progress per phase.
ensure_packages() {
    missing=""
    count=0
    for pkg in "$@"; do
        case "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)" in
            *"ok installed") ;;
            *) missing="$missing $pkg" count=$((count + 1)) ;;
        esac
    done
    [ -z "$missing" ] && return 0
    echo "Missing Debian packages:$missing"
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            echo "Install them with this line (as root, leave out the sudo), then run $0 again:"
            echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends$missing"
        else
            echo "Install them as root (this machine has no sudo: log in as root or use su -)," \
                "then run $0 again:"
            echo "  apt-get update && apt-get install -y --no-install-recommends$missing"
        fi
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt_log=$(mktemp "${TMPDIR:-/tmp}/patchdoc-apt.XXXXXX")
    echo "Reading Debian's package lists (apt-get update, a few seconds)..."
    apt-get update -q >"$apt_log" 2>&1 || apt_failed
    # shellcheck disable=SC2086
    plan=$(apt-get install -s -q --no-install-recommends $missing 2>>"$apt_log") || apt_failed
    total=$(printf '%s\n' "$plan" | grep -c '^Inst ' || true)
    # shellcheck disable=SC2086
    megabytes=$(apt-get install -qq --print-uris --no-install-recommends $missing 2>>"$apt_log" |
        awk '{ bytes += $3 } END { printf "%d", bytes / 1000000 + 0.5 }')
    # About 50 s for apt and dpkg themselves and a second for every 4 MB fetched and unpacked,
    # as measured on a fresh Debian 12 root (103 MB in 79 s, 306 MB in 119 s).
    echo "Installing $count Debian packages, $total with what they need, $megabytes MB to download" \
        "($(about $((50 + megabytes / 4))))..."
    status_file=$(mktemp "${TMPDIR:-/tmp}/patchdoc-apt-status.XXXXXX")
    # apt reports its progress on descriptor 3 ("dlstatus:..." while downloading, "pmstatus:..."
    # while unpacking and setting up); each tenth of a phase becomes a mark on one line.
    # shellcheck disable=SC2086
    {
        status=0
        apt-get install -y -q --no-install-recommends -o APT::Status-Fd=3 $missing \
            3>&1 >>"$apt_log" 2>&1 || status=$?
        echo "$status" >"$status_file"
    } | awk -F: '
        $1 == "dlstatus" { phase = "  Downloading:" }
        $1 == "pmstatus" { phase = "  Unpacking and setting up:" }
        phase == "" { next }
        phase != shown { if (shown != "") print ""; printf "%s", phase; shown = phase; step = -1 }
        int($3 / 10) > step { step = int($3 / 10); printf " %d%%", step * 10; fflush() }
        END { if (shown != "") print "" }'
    status=$(cat "$status_file")
    rm -f "$status_file"
    [ "$status" -eq 0 ] || apt_failed
    rm -f "$apt_log"
}

# apt_failed: shows apt's log and stops.
apt_failed() {
    echo "apt-get failed; its messages:"
    cat "$apt_log"
    rm -f "$apt_log"
    exit 1
}

# plural N WORD: "1 core", "2 cores".
plural() {
    if [ "$1" -eq 1 ]; then echo "$1 $2"; else echo "$1 ${2}s"; fi
}

# about SECONDS: "about 1 minute", "about 3 minutes" (to the nearest minute, at least one).
about() {
    minutes=$((($1 + 30) / 60))
    [ "$minutes" -ge 1 ] || minutes=1
    echo "about $(plural "$minutes" minute)"
}

# build FOLDER SECONDS WHAT CMAKE_ARGUMENT... [-- TARGET...]: configures FOLDER and builds the
# targets (all when none are named), saying first what is built and about how long it takes;
# SECONDS is the time on 2 cores. CMake's own percentage lines show the progress.
build() {
    folder=$1 seconds=$2 what=$3
    shift 3
    cores=$(nproc)
    configure=""
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        configure="$configure $1"
        shift
    done
    [ $# -gt 0 ] && shift
    echo "Configuring the build in $folder/..."
    # shellcheck disable=SC2086
    cmake -S . -B "$folder" $configure >/dev/null
    echo "Building $what ($(about $((seconds * 2 / cores))) on $(plural "$cores" core))..."
    if [ $# -gt 0 ]; then
        cmake --build "$folder" -j"$cores" --target "$@"
    else
        cmake --build "$folder" -j"$cores"
    fi
}

# What the Windows build and its tests under Wine need: the MinGW-w64 cross compiler, zlib and
# the Boost headers for it, GoogleTest's sources and Wine.
WINDOWS_PACKAGES="cmake make g++-mingw-w64-x86-64-posix libz-mingw-w64-dev libboost1.74-dev googletest wine64"
# What packing the Windows programs and testing the packages need on top: zip and unzip, and
# wixl for the installer.
WINDOWS_PACKAGE_PACKAGES="zip unzip wixl"
