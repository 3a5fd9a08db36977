#!/bin/sh
# Patchdoc.exe on a console and on a pipe, under Wine: a console (Wine's, on a pseudo-terminal
# here) shows every script as it is meant, which only text written as UTF-16 gives; a pipe gets
# the UTF-8 bytes with CR LF line ends. Control characters of a name show as "?" on the console
# only. Usage: console_text.sh PATCHDOC_EXE MAKE_SAMPLE_EXE
set -eu
patchdoc=$1
make_sample=$2
wine=/usr/lib/wine/wine64
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
name='café 中文 ü.ppt'
"$wine" "$make_sample" "$name" >/dev/null
control=$(printf 'a\033[2Jb.ppt')

# `script` gives the program a terminal; its line ends and cursor codes are left out.
on_console() {
    LANG=C.UTF-8 script -qec "$wine \"$patchdoc\" $*" /dev/null | tr -d '\r' |
        sed 's/\x1b\[?25[lh]//g'
}
failed=0
expect() {
    if [ "$2" != "$3" ]; then
        echo "FAILED $1:"
        printf '  got:      %s\n' "$2" | od -c | head -5
        printf '  expected: %s\n' "$3"
        failed=1
    fi
}
expect "console, Unicode name" "$(on_console -d "'$name'")" "[fixed], $name"
expect "console, control characters" "$(on_console "'$control'")" "a?[2Jb.ppt does not exist."
piped=$("$wine" "$patchdoc" "$name" | od -An -c | tr -s ' \n' ' ')
expect "pipe, UTF-8 with CR LF" "$piped" \
    "$(printf '[ok], %s\r\n' "$name" | od -An -c | tr -s ' \n' ' ')"
piped_control=$("$wine" "$patchdoc" "$control" | od -An -c | tr -s ' \n' ' ')
expect "pipe, exact bytes" "$piped_control" \
    "$(printf '%s does not exist.\r\n' "$control" | od -An -c | tr -s ' \n' ' ')"
[ "$failed" -eq 0 ] && echo "console and pipe text: as expected"
exit "$failed"
