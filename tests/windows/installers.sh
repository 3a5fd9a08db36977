#!/bin/sh
# The Windows packages under Wine, as an administrator uses them. The zip: its files, README.txt
# with CR LF line ends, both programs run from the unzipped folder. The installer: puts the zip's
# files into C:\Program Files\Patchdoc\, registered with name, version and publisher; the
# installed Patchtree repairs a tree and logs it; removal leaves no file, folder or
# registration; a later version replaces it, and it then refuses to replace the later one.
# Usage: installers.sh DIST_FOLDER MAKE_SAMPLE_EXE   (WINEPREFIX set, as scripts/windows.sh does)
set -eu
dist=$(realpath "$1")
make_sample=$(realpath "$2")
wine=/usr/lib/wine/wine64
zip=$(echo "$dist"/patchdoc-*-win64.zip)
msi=${zip%.zip}.msi
version=$(basename "$zip" -win64.zip)
version=${version#patchdoc-}
later=$((${version%%.*} + 1)).0
installed="$WINEPREFIX/drive_c/Program Files/Patchdoc"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=0
expect() {
    if [ "$2" != "$3" ]; then
        printf 'FAILED %s:\n  got:      %s\n  expected: %s\n' "$1" "$2" "$3"
        failed=1
    fi
}
windows_path() {
    "$wine" winepath -w "$1"
}
# The installed products named Patchdoc, one line each: "<product code> <version> <publisher>".
installed_products() {
    "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
        awk -F '    ' '
            function flush() {
                if (name == "Patchdoc") print code, version, publisher
                name = version = publisher = ""
            }
            /^HKEY/ { flush(); code = $0; sub(/.*\\/, "", code) }
            $2 == "DisplayName" { name = $4 }
            $2 == "DisplayVersion" { version = $4 }
            $2 == "Publisher" { publisher = $4 }
            END { flush() }'
}
registered() {
    installed_products | cut -d ' ' -f 2-
}
msiexec() {
    "$wine" msiexec "$1" "$(windows_path "$2")" /qn && echo 0 || echo "$?"
}
# The files below a folder with their SHA-256 sums, sorted by name.
contents_of() {
    (cd "$1" && find . -type f -exec sha256sum {} + | sed 's| \./| |' | LC_ALL=C sort -k 2)
}
# A tree with one flattened presentation, sub/deck.ppt, and a log folder beside it.
make_tree() {
    mkdir -p "$1/sub" "$1-log"
    (cd "$1/sub" && "$wine" "$make_sample" deck.ppt >/dev/null)
}
# tree_run TREE WORD COUNTS PATCHTREE [OPTION]: Patchtree over a tree made by make_tree, logging
# beside it, printed the result line of its one file and the summary, ended with 0, and wrote
# one log line with the byte-order mark and CR LF.
tree_run() {
    tree=$(windows_path "$1")
    out=$(run "$scratch" "$4" ${5:+"$5"} "-l:$(windows_path "$1-log")" "$tree")
    log=$(echo "$1-log"/*.log)
    file=$(printf '%s/sub/deck.ppt' "$tree" | tr '\\' /)
    expect "Patchtree $4" "$out" "$(printf '%s, %s\n1 file: %s. Log: %s\\%s\nexit 0' "$2" \
        "$file" "$3" "$(windows_path "$1-log")" "$(basename "$log")")"
    expect "its log" \
        "$(iconv -f UTF-16LE -t UTF-8 "$log" | sed '1s/^\xef\xbb\xbf/(BOM)/; s/\r$/(CR LF)/')" \
        "(BOM)$2, $file(CR LF)"
}
# Runs a Windows program in a folder; prints its output without CRs, then "exit <code>".
run() {
    folder=$1
    shift
    code=0
    (cd "$folder" && "$wine" "$@") >"$scratch/out" || code=$?
    tr -d '\r' <"$scratch/out"
    echo "exit $code"
}
# Removes the product by its package: no file, folder or registration may be left.
expect_removed() {
    expect "removal" "$(msiexec /x "$1")" 0
    expect "files left" "$([ -e "$installed" ] && echo "$installed is left" || echo gone)" gone
    expect "registration left" "$(registered)" ""
}

# Whatever an earlier, stopped run left installed goes first.
for code in $(installed_products | cut -d ' ' -f 1); do
    "$wine" msiexec /x "$code" /qn || true
done

echo "Checking the zip..."
unzip -q "$zip" -d "$scratch/unzipped"
unzipped=$(contents_of "$scratch/unzipped")
expect "files in the zip" "$(echo "$unzipped" | cut -c 67- | tr '\n' ' ')" \
    "Patchdoc.exe Patchtree.exe README.txt licenses/Boost.txt licenses/GCC-runtime.txt \
licenses/GPL-3.txt licenses/MinGW-w64-runtime.txt licenses/zlib.txt "
readme=$scratch/unzipped/README.txt
lines=$(wc -l <"$readme")
crs=$(tr -cd '\r' <"$readme" | wc -c)
expect "README.txt line ends" "$crs $(grep -c "$(printf '\r')\$" "$readme")" "$lines $lines"

make_tree "$scratch/zip-tree"
cp "$scratch/zip-tree/sub/deck.ppt" "$scratch/original.ppt"
out=$(run "$scratch/zip-tree/sub" "$scratch/unzipped/Patchdoc.exe" deck.ppt)
expect "unzipped Patchdoc" "$out" "$(printf '[fixed], deck.ppt\nexit 0')"
expect "its backup" \
    "$(cmp "$scratch/original.ppt" "$scratch/zip-tree/sub/deck (Backup).ppt" && echo same)" same
tree_run "$scratch/zip-tree" "[ok]" "0 fixed, 1 ok, 0 failed" "$scratch/unzipped/Patchtree.exe" -d

echo "Installing the MSI..."
expect "install" "$(msiexec /i "$msi")" 0
expect "installed files" "$(contents_of "$installed")" "$unzipped"
expect "registration" "$(registered)" "$version Patchdoc maintainers"
make_tree "$scratch/msi-tree"
tree_run "$scratch/msi-tree" "[fixed]" "1 fixed, 0 ok, 0 failed" \
    'C:\Program Files\Patchdoc\Patchtree.exe'
expect "its backup" "$(ls "$scratch/msi-tree/sub" | tr '\n' ' ')" "deck (Backup).ppt deck.ppt "

echo "Removing it..."
expect_removed "$msi"

echo "Replacing it by a later version ($later), which refuses this one..."
"$(dirname "$0")/../../packaging/windows/build-msi.sh" "$scratch/unzipped" "$later" \
    "$scratch/later.msi"
expect "install" "$(msiexec /i "$msi")" 0
expect "install the later version" "$(msiexec /i "$scratch/later.msi")" 0
expect "registration" "$(registered)" "$later Patchdoc maintainers"
expect "installed files" "$(contents_of "$installed")" "$unzipped"
expect "install this version over the later one" \
    "$(msiexec /i "$msi" | sed 's/^[1-9].*/refused/')" refused
expect "registration" "$(registered)" "$later Patchdoc maintainers"
expect_removed "$scratch/later.msi"

[ "$failed" -eq 0 ] && echo "The zip and the installer: as expected."
exit "$failed"
