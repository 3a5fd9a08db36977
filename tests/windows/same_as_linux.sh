#!/bin/sh
# The Windows Patchdoc (under Wine) and the Linux Patchdoc on every presentation of a folder:
# each gets its own copy, and the result lines, the exit codes and the repaired files must be
# the same, byte for byte. Usage: same_as_linux.sh LINUX_PATCHDOC WINDOWS_PATCHDOC FOLDER
set -eu
linux=$(realpath "$1")
windows=$(realpath "$2")
folder=$3
if [ ! -d "$folder" ]; then
    echo "No folder $folder: the comparison with Linux is skipped."
    exit 0
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/linux" "$scratch/windows"
same=0
different=0
for file in "$folder"/*.ppt; do
    [ -f "$file" ] || continue
    name=$(basename "$file")
    # Writable copies (each system words the refusal of a read-only file with its own error
    # number), run in their folder by the bare name so that both print the same path.
    for system in linux windows; do
        cp "$file" "$scratch/$system/$name"
        chmod u+w "$scratch/$system/$name"
    done
    linux_line=$(cd "$scratch/linux" && { "$linux" -d "$name" || echo "exit $?"; })
    windows_line=$(cd "$scratch/windows" && { /usr/lib/wine/wine64 "$windows" -d "$name" ||
        echo "exit $?"; } | tr -d '\r')
    if [ "$linux_line" = "$windows_line" ] && cmp -s "$scratch/linux/$name" "$scratch/windows/$name"; then
        same=$((same + 1))
    else
        different=$((different + 1))
        printf 'DIFFERENT %s:\n  Linux:   %s\n  Windows: %s\n' "$name" "$linux_line" "$windows_line"
        cmp "$scratch/linux/$name" "$scratch/windows/$name" || true
    fi
done
echo "Windows against Linux: $same the same, $different different."
[ "$different" -eq 0 ]
