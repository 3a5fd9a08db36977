# Sourced by the other scripts. ensure_packages PKG...: installs the Debian packages that are
# missing when run as root; otherwise prints the apt-get line to run and stops.
ensure_packages() {
    missing=""
    for pkg in "$@"; do
        status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
        case "$status" in
            *"ok installed"*) ;;
            *) missing="$missing $pkg" ;;
        esac
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing:$missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q >/dev/null
        # shellcheck disable=SC2086
        apt-get install -y -q --no-install-recommends $missing >/dev/null
    else
        echo "Missing packages. Run this, then try again:"
        echo "  sudo apt-get install -y --no-install-recommends$missing"
        exit 1
    fi
}

# What building Patchdoc and Patchtree needs.
BUILD_PACKAGES="g++ make cmake zlib1g-dev libboost-filesystem-dev libboost-system-dev libboost-date-time-dev"
# What building the Debian package needs on top: dpkg-shlibdeps for its dependencies.
PACKAGE_PACKAGES="dpkg-dev"
# What the tests need on top: GoogleTest, the independent readers of what we write, groff for
# the manual pages and the package tools for the package test.
TEST_PACKAGES="libgtest-dev python3 acl attr python3-olefile libgsf-bin libreoffice-impress default-jdk-headless libapache-poi-java groff-base $PACKAGE_PACKAGES"
# What the fuzzer needs on top of the build: clang with libFuzzer and the sanitizer runtimes.
FUZZ_PACKAGES="clang-14 libclang-rt-14-dev"
# What the Windows build and its tests under Wine need: the MinGW-w64 cross compiler, zlib and
# the Boost headers for it, GoogleTest's sources and Wine.
WINDOWS_PACKAGES="cmake make g++-mingw-w64-x86-64-posix libz-mingw-w64-dev libboost1.74-dev googletest wine64"
# What packing the Windows programs and testing the packages need on top: zip and unzip, and
# wixl for the installer.
WINDOWS_PACKAGE_PACKAGES="zip unzip wixl"
