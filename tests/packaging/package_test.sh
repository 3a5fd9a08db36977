#!/bin/sh
# Builds the Debian package of a build folder with cpack, checks its control fields and
# contents, unpacks it with dpkg-deb -x into a scratch root (and, as root, installs it with dpkg
# into a dpkg database of its own there too), and runs the installed Patchtree on a small tree:
# one flattened presentation, one already repaired, one that is not a presentation.
# Usage: package_test.sh BUILD_FOLDER MAKE_SAMPLE
set -eu
build=$1
make_sample=$2
for tool in cpack dpkg-deb dpkg-shlibdeps iconv; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: no $tool here (scripts/packages.sh installs what is missing)"
        exit 77
    fi
done
scratch=$(mktemp -d "${TMPDIR:-/tmp}/patchdoc-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1
then
    cat "$scratch/cpack.log"
    echo "FAIL: cpack did not build the package"
    exit 1
fi
set -- "$scratch"/out/*.deb
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "FAIL: expected one .deb in $scratch/out:"
    ls -l "$scratch/out"
    exit 1
fi
deb=$1
echo "Package $(basename "$deb"):"
dpkg-deb -I "$deb" control | sed 's/^/  /'

field() { dpkg-deb -f "$deb" "$1"; }
# expect_field FIELD PATTERN: the field matches the grep pattern.
expect_field() { field "$1" | grep -q "$2" || fail "$1 is '$(field "$1")', expected '$2'"; }
expect_field Package '^patchdoc$'
expect_field Version "^$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")\$"
expect_field Section '^utils$'
expect_field Maintainer .
expect_field Description PowerPoint
# Dependencies derived from the binaries: the C++ runtime and the Boost libraries Patchtree uses.
for dependency in libc6 libstdc++6 libboost-filesystem; do
    expect_field Depends "$dependency"
done
dpkg-deb -c "$deb" | awk '{ print $NF }' >"$scratch/contents"
for path in ./usr/bin/Patchdoc ./usr/bin/Patchtree ./usr/share/man/man1/Patchdoc.1.gz \
    ./usr/share/man/man1/Patchtree.1.gz; do
    grep -qxF "$path" "$scratch/contents" || fail "the package lacks $path"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
if [ "$(id -u)" -eq 0 ]; then
    # A real dpkg install, into a database of the scratch root: the system stays untouched.
    installed="$scratch/dpkg-root"
    mkdir -p "$installed/var/lib/dpkg/info" "$installed/var/lib/dpkg/updates"
    : >"$installed/var/lib/dpkg/status"
    dpkg --root="$installed" --force-depends --log=/dev/null -i "$deb" >"$scratch/dpkg.log" 2>&1 ||
        fail "dpkg -i refused the package: $(cat "$scratch/dpkg.log")"
    for program in Patchdoc Patchtree; do
        cmp -s "$installed/usr/bin/$program" "$root/usr/bin/$program" ||
            fail "dpkg -i installed another /usr/bin/$program than dpkg-deb -x unpacked"
    done
fi

tree="$scratch/tree"
mkdir -p "$tree/sub" "$scratch/home"
"$make_sample" "$tree/flattened.ppt"
"$make_sample" "$tree/sub/repaired.ppt"
"$root/usr/bin/Patchdoc" -d "$tree/sub/repaired.ppt" >/dev/null ||
    fail "the installed Patchdoc did not repair"
printf 'Not a presentation.\n' >"$tree/notes.ppt"
status=0
HOME="$scratch/home" "$root/usr/bin/Patchtree" "-l:$scratch/logs/" "$tree" >"$scratch/stdout" \
    2>"$scratch/stderr" || status=$?
[ "$status" -eq 0 ] || fail "the installed Patchtree ended with $status"
[ -s "$scratch/stderr" ] && fail "Patchtree wrote to standard error: $(cat "$scratch/stderr")"
log=$(echo "$scratch"/logs/*.log)
[ -f "$log" ] || fail "expected one log file in $scratch/logs"
lines=$(iconv -f UTF-16 -t UTF-8 "$log" | tr -d '\r' | sort)
[ "$lines" = "$(printf '%s\n' "[err], $tree/notes.ppt" "[fixed], $tree/flattened.ppt" \
    "[ok], $tree/sub/repaired.ppt" | sort)" ] || fail "the log holds: $lines"
summary=$(tail -n 1 "$scratch/stdout")
[ "$summary" = "3 files: 1 fixed, 1 ok, 1 failed. Log: $log" ] ||
    fail "the last line on standard output is '$summary'"
[ -f "$tree/flattened (Backup).ppt" ] || fail "no backup of the repaired file"

[ "$failed" -eq 0 ] &&
    echo "The package installs both programs and their manual pages; its Patchtree repairs."
exit "$failed"
