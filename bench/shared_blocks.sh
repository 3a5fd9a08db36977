#!/bin/sh
# Patchdoc against a real copy on XFS, btrfs and ext4 images mounted through loop devices: time,
# and how much the file system's used space grows. On XFS and btrfs the repaired file shares the
# blocks of its unchanged streams with the original; on ext4 they are copied whole pages at once.
# Usage: bench/shared_blocks.sh [BUILD_DIR [SCRATCH_DIR]]
#   SIZE=256         MiB of the generated presentation (make_bench_file)
#   WORKBOOKS=50     percent of it that are embedded workbooks, in the Document stream that is
#                    written anew; nearly all the rest is the "Pictures" stream, copied unchanged
#   RUNS=5           rounds; the table shows medians
#   FILESYSTEMS="xfs btrfs ext4"
#   PATCHDOC=...     the Patchdoc measured (default BUILD_DIR/bin/Patchdoc)
#   BASELINE=...     another Patchdoc (an older build) run in the same rounds, as base-d and base
# Needs root and a free loop device (xfsprogs, btrfs-progs); stops with a message otherwise.
# Each round runs, one after another on a fresh copy (own blocks, flushed) in the same folder:
#   copy        cp --reflink=never of the file followed by sync of the copy (a durable copy)
#   patchdoc-d  Patchdoc -d
#   patchdoc    Patchdoc making its backup (the original under a second name)
#   in-place    Patchdoc on a file with a second hard link: a backup copy, then the content is
#               overwritten in place
# Goals: on XFS and btrfs patchdoc-d at most 0.1x the copy and patchdoc's used space at most 10%
# of the file; on ext4 patchdoc-d at most 1.3x the copy and patchdoc at most 1.1x.
set -eu
cd "$(dirname "$0")/.."
. scripts/packages.sh
build=${1:-build}
size=${SIZE:-256}
workbooks=${WORKBOOKS:-50}
runs=${RUNS:-5}
filesystems=${FILESYSTEMS:-xfs btrfs ext4}
if [ "$(id -u)" -ne 0 ]; then
    echo "shared_blocks.sh: skipped: mounting file system images needs root"
    exit 0
fi
if ! losetup -f >/dev/null 2>&1; then
    echo "shared_blocks.sh: skipped: no free loop device"
    exit 0
fi
ensure_packages xfsprogs btrfs-progs e2fsprogs
if [ ! -x "$build/bin/Patchdoc" ] || [ ! -x "$build/bench/make_bench_file" ] ||
    [ ! -x "$build/bench/measure" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target Patchdoc make_bench_file measure -j2 >/dev/null
fi
patchdoc=${PATCHDOC:-$(cd "$build" && pwd)/bin/Patchdoc}
measure=$(cd "$build" && pwd)/bench/measure
scratch=${2:-$(mktemp -d "${TMPDIR:-/tmp}/sharebench.XXXXXX")}
mkdir -p "$scratch"
mounts=""
cleanup() {
    for m in $mounts; do umount "$m" 2>/dev/null || true; done
    rm -rf "$scratch"/*.img "$scratch"/mnt-*
}
trap cleanup EXIT

input="$scratch/bench-$size-$workbooks.ppt"
[ -f "$input" ] || "$build/bench/make_bench_file" "$input" "$size" 0 "$workbooks"
bytes=$(stat -c %s "$input")
results="$scratch/results.tsv"
: >"$results"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

# used FOLDER: bytes in use on the file system holding FOLDER, after a flush. A freeze makes the
# file system finish freeing the blocks of deleted files, which XFS does in the background.
used() {
    sync -f "$1"
    fsfreeze -f "$1" && fsfreeze -u "$1"
    stat -f -c '%b %f %S' "$1" | awk '{ printf "%d\n", ($1 - $2) * $3 }'
}

for fs in $filesystems; do
    image="$scratch/$fs.img"
    mnt="$scratch/mnt-$fs"
    truncate -s 2G "$image"
    case $fs in
        xfs) made=$(mkfs.xfs -q -m reflink=1 "$image" 2>&1) || made="failed: $made" ;;
        btrfs) made=$(mkfs.btrfs -q "$image" 2>&1) || made="failed: $made" ;;
        *) made=$(mkfs."$fs" -q -F "$image" 2>&1) || made="failed: $made" ;;
    esac
    mkdir -p "$mnt"
    case $made in failed:*)
        echo "$fs: skipped: mkfs $made"
        continue
        ;;
    esac
    if ! mount -o loop "$image" "$mnt"; then
        echo "$fs: skipped: the image could not be mounted"
        continue
    fi
    mounts="$mounts $mnt"
    work="$mnt/work"
    mkdir -p "$work"
    echo "-- $fs: block size $(stat -c %o "$mnt"), $bytes bytes"

    # prepare: a fresh copy with blocks of its own at work/copy.ppt, flushed, nothing else left.
    prepare() {
        rm -f "$work"/*
        cp --reflink=never "$input" "$work/copy.ppt"
        sync
    }
    # timed NAME COMMAND...: one measured run with the growth of used space, appended.
    timed() {
        name=$1
        shift
        before=$(used "$work")
        line=$("$measure" "$@")
        grown=$(($(used "$work") - before))
        echo "$fs $name $line grown=$grown"
        printf '%s\t%s\t%s grown=%s bytes=%s\n' "$fs" "$name" "$line" "$grown" "$bytes" \
            >>"$results"
    }
    round=1
    while [ "$round" -le "$runs" ]; do
        prepare
        # shellcheck disable=SC2016 # the inner shell expands its own arguments
        timed copy sh -c 'cp --reflink=never "$1" "$2" && sync "$2"' sh "$work/copy.ppt" \
            "$work/durable.ppt"
        prepare
        timed patchdoc-d "$patchdoc" -d "$work/copy.ppt"
        prepare
        timed patchdoc "$patchdoc" "$work/copy.ppt"
        prepare
        ln "$work/copy.ppt" "$work/link.ppt"
        timed in-place "$patchdoc" "$work/copy.ppt"
        if [ -n "${BASELINE:-}" ]; then
            prepare
            timed base-d "$BASELINE" -d "$work/copy.ppt"
            prepare
            timed base "$BASELINE" "$work/copy.ppt"
        fi
        round=$((round + 1))
    done
    rm -rf "$work"
    umount "$mnt"
    mounts=$(echo "$mounts" | sed "s| $mnt||")
    rm -f "$image"
done
python3 bench/summarize_blocks.py "$results"
