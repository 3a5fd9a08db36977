#!/bin/sh
# Proves the README on a machine that has nothing: makes a fresh Debian 12 minbase root with
# debootstrap, puts a clean copy of the committed checkout (git archive of HEAD) in it with a
# read-only view of ../shared beside it, and runs the README's two commands there as root:
# scripts/demo.sh, then scripts/test.sh. Nothing is cached: every package comes from Debian's
# registry and every build starts empty. A test skipped there (a missing tool) fails the stage.
# /proc, /dev, /dev/pts and /sys are mounted for the run and always unmounted at the end, also
# on failure and on Ctrl-C; the root is then deleted.
# Usage: .ci/fresh_root.sh   (as root, with debootstrap and git; KEEP_ROOT=1 keeps the root)
set -eu
cd "$(dirname "$0")/.."
checkout=$(pwd)
shared=$(cd .. && pwd)/shared
mirror=http://deb.debian.org/debian

work=$(mktemp -d /var/tmp/patchdoc-fresh-root.XXXXXX)
root="$work/root"
inside=/work/patchdoc   # the checkout inside the root; its ../shared is the shared view

# Every mount point under the root, deepest first.
mounts_under_root() {
    awk -v root="$root" '$2 == root || index($2, root "/") == 1 { print $2 }' /proc/self/mounts |
        sort -r
}

cleanup() {
    status=$?
    trap - EXIT INT TERM HUP
    [ "$status" -eq 0 ] || echo "Stopped with exit code $status: unmounting and removing the root..."
    # Processes started inside the root (a daemon a package started) would keep it busy.
    for process in /proc/[0-9]*; do
        if [ "$(readlink "$process/root" 2>/dev/null)" = "$root" ]; then
            kill -KILL "${process#/proc/}" 2>/dev/null || true
        fi
    done
    for point in $(mounts_under_root); do
        umount "$point" 2>/dev/null || umount -l "$point" || true
    done
    if [ -n "$(mounts_under_root)" ]; then
        echo "Still mounted under $root, so it is kept:" >&2
        mounts_under_root >&2
    elif [ "${KEEP_ROOT:-0}" = 1 ]; then
        echo "The root is kept in $root."
    else
        rm -rf "$work"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

elapsed() {
    echo "$(($(date +%s) - $1)) s"
}

start=$(date +%s)
echo "Making a fresh Debian 12 minbase root in $root with debootstrap (about 2 minutes)..."
if ! debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1; then
    cat "$work/debootstrap.log"
    echo "debootstrap failed"
    exit 1
fi
echo "The root is ready after $(elapsed "$start"), $(du -sm "$root" | cut -f1) MB."

mkdir -p "$root$inside"
git -C "$checkout" archive --format=tar HEAD | tar -x -C "$root$inside"
echo "Copied the checkout at $(git -C "$checkout" rev-parse --short HEAD) to $inside."
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount --bind /sys "$root/sys"
if [ -d "$shared" ]; then
    mkdir -p "$root$inside/../shared"
    mount --bind "$shared" "$root$inside/../shared"
    mount -o remount,bind,ro "$root$inside/../shared"
    echo "../shared is there, read-only."
else
    echo "No $shared here: the tests that read it skip."
fi

# run COMMAND: runs the command in the checkout inside the root as a new root login would, with
# nothing of this environment but the terminal type. Its output shows here and is kept in
# $work/last.log; it fails the stage when the command fails.
run() {
    echo
    echo "== In the fresh root, as root: $1"
    begin=$(date +%s)
    {
        status=0
        chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            /bin/sh -c "cd $inside && $1" 2>&1 || status=$?
        echo "$status" >"$work/status"
    } | tee "$work/last.log"
    status=$(cat "$work/status")
    echo "== $1 ended with exit code $status after $(elapsed "$begin")"
    [ "$status" -eq 0 ]
}

run scripts/demo.sh
run scripts/test.sh
# Everything a test needs is installed by then, so a skip means a missing package.
if grep -E '\*\*\*Skipped|^[0-9]+: SKIP ' "$work/last.log"; then
    echo "Tests were skipped in the fresh root (above): a package is missing from the lists."
    exit 1
fi
echo
echo "Both README commands passed in a fresh Debian 12 root after $(elapsed "$start")."
