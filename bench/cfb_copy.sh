#!/bin/sh
# Copies a 1 GiB compound file (one 1 GiB stream and 10,000 small streams) with `cp` and with our
# reader and writer, side by side, and prints both wall times, their ratio and our peak memory.
# Usage: bench/cfb_copy.sh [BUILD_DIR [SCRATCH_DIR]]   (defaults: build, a folder under TMPDIR)
# Targets: our copy at most 2x the time of cp, peak RSS under 64 MiB.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
bench="$build/bench/cfb_copy_bench"
if [ ! -x "$bench" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target cfb_copy_bench -j2 >/dev/null
fi
scratch=${2:-$(mktemp -d "${TMPDIR:-/tmp}/cfbbench.XXXXXX")}
trap 'rm -rf "$scratch"' EXIT

"$bench" generate "$scratch/input.cfb"
ls -l "$scratch/input.cfb"

now() { date +%s.%N; }

# cp flushes nothing on its own; our commit flushes the copy to disk, so cp is followed by sync.
t0=$(now)
cp "$scratch/input.cfb" "$scratch/cp.cfb"
sync "$scratch/cp.cfb"
t1=$(now)
ours=$("$bench" copy "$scratch/input.cfb" "$scratch/ours.cfb")
t2=$(now)

echo "$ours"
awk -v c0="$t0" -v c1="$t1" -v o1="$t2" 'BEGIN {
    cp = c1 - c0; ours = o1 - c1
    printf "cp:   %.3f s\nours: %.3f s\nratio ours/cp: %.2f\n", cp, ours, ours / cp
}'
