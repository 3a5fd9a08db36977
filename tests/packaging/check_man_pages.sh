#!/bin/sh
# Checks the manual pages: groff -man -ww reports nothing, each page has the sections a reader
# looks for, and Patchtree(1) carries the README's nightly batch example line for line. The
# messages they quote are checked by check_documented_texts.py.
# Usage: check_man_pages.sh SOURCE_FOLDER
set -eu
source=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

for page in Patchdoc Patchtree; do
    file="$source/man/$page.1"
    if ! groff -man -ww -z "$file" >"$scratch/warnings" 2>&1 || [ -s "$scratch/warnings" ]; then
        fail "groff warns about $page.1:"
        cat "$scratch/warnings"
    fi
    groff -man -Tascii -P-cbou "$file" >"$scratch/$page.txt" 2>/dev/null
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS BACKUPS OUTPUT "EXIT STATUS" ENVIRONMENT FILES \
        EXAMPLES; do
        grep -q "^$section\$" "$scratch/$page.txt" || fail "$page.1 has no section $section"
    done
done
grep -q '^LOG FILE$' "$scratch/Patchtree.txt" || fail "Patchtree.1 has no section LOG FILE"

# The README's code block after "A nightly batch", each line as the page shows it.
awk '/^A nightly batch/ { found = 1 } found && /^```/ { if (inside) exit; inside = 1; next }
     inside { print }' "$source/README.md" >"$scratch/nightly"
[ -s "$scratch/nightly" ] || fail "no nightly batch example in README.md"
sed 's/^ *//' "$scratch/Patchtree.txt" >"$scratch/Patchtree.flat"
while IFS= read -r line; do
    grep -qxF -- "$line" "$scratch/Patchtree.flat" ||
        fail "Patchtree.1 lacks the README's example line: $line"
done <"$scratch/nightly"

[ "$failed" -eq 0 ] && echo "Both manual pages are clean and complete."
exit "$failed"
