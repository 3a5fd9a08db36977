#!/bin/sh
# Builds the Debian package of a build folder with cpack, checks its control fields and
# contents, unpacks it with dpkg-deb -x into a scratch root (and, as root, installs it with dpkg
# into a dpkg database of its own there too), and runs the installed Patchtree, with the
# installed Patchdoc beside it, on a tree holding one flattened presentation.
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

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack did not build the package"; exit 1; }
deb=$(echo "$scratch"/out/*.deb)
[ -f "$deb" ] || { ls -l "$scratch/out"; fail "expected one .deb in $scratch/out"; exit 1; }
echo "Package $(basename "$deb"):"
dpkg-deb -I "$deb" control | sed 's/^/  /'

# Dependencies derived from the binaries: the C++ runtime and the Boost libraries Patchtree uses.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
for expected in "Package ^patchdoc$" "Version ^$version\$" "Section ^utils$" "Maintainer ." \
    "Description PowerPoint" "Depends libc6" "Depends libstdc++6" "Depends libboost-filesystem"; do
    field=${expected%% *}
    dpkg-deb -f "$deb" "$field" | grep -q "${expected#* }" ||
        fail "$field is '$(dpkg-deb -f "$deb" "$field")', expected '${expected#* }'"
done
dpkg-deb -c "$deb" | awk '{ print $NF }' >"$scratch/contents"
for path in bin/Patchdoc bin/Patchtree share/man/man1/Patchdoc.1.gz \
    share/man/man1/Patchtree.1.gz; do
    grep -qxF "./usr/$path" "$scratch/contents" || fail "the package lacks /usr/$path"
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
"$make_sample" "$tree/sub/flattened.ppt"
HOME="$scratch/home" "$root/usr/bin/Patchtree" "-l:$scratch/logs/" "$tree" >"$scratch/stdout" \
    2>"$scratch/stderr" || fail "the installed Patchtree ended with $?"
[ -s "$scratch/stderr" ] && fail "Patchtree wrote to standard error: $(cat "$scratch/stderr")"
log=$(echo "$scratch"/logs/*.log)
lines=$(iconv -f UTF-16 -t UTF-8 "$log" | tr -d '\r')
[ "$lines" = "[fixed], $tree/sub/flattened.ppt" ] || fail "the log holds: $lines"
summary="1 file: 1 fixed, 0 ok, 0 failed. Log: $log"
[ "$(cat "$scratch/stdout")" = "$(printf '%s\n' "$lines" "$summary")" ] ||
    fail "Patchtree printed: $(cat "$scratch/stdout")"
[ -f "$tree/sub/flattened (Backup).ppt" ] || fail "no backup of the repaired file"

[ "$failed" -eq 0 ] &&
    echo "The package installs both programs and their manual pages; its Patchtree repairs."
exit "$failed"
