#!/bin/sh
# Builds the Windows installer of a folder laid out as the installed one.
# Usage: packaging/windows/build-msi.sh FOLDER VERSION OUTPUT
#   FOLDER   holds Patchdoc.exe, Patchtree.exe, README.txt and licenses/, as the zip does
#   VERSION  the product version, major.minor[.build]: a higher one replaces a lower one
#   OUTPUT   the .msi file to write
set -eu
wxs=$(cd "$(dirname "$0")" && pwd)/Patchdoc.wxs
output=$(realpath -m "$3")
# wixl looks for the files' sources relative to the current folder only.
cd "$1"
wixl -a x64 -D Version="$2" -D SourceDir=. -o "$output" "$wxs"
