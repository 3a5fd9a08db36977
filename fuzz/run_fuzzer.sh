#!/bin/sh
# Runs the repair fuzzer on one core for a while.
#   fuzz/run_fuzzer.sh BUILD_FOLDER WORK_FOLDER SECONDS
# BUILD_FOLDER is made a -DPATCH_FUZZ=ON build with clang++ when it holds no fuzzer yet.
# WORK_FOLDER keeps the growing corpus (corpus/), the seeds (seeds/: synthetic ones plus
# ../shared/corpus when present) and the findings (crash-*, timeout-*, oom-*, leak-*) between
# runs; keep it out of git. Every hang over 1 s and every allocation over 64 MiB is a finding.
# SECONDS 0 runs each seed once and stops: a quick check that the target builds and that no seed
# is a finding.
set -eu
[ $# -eq 3 ] || { echo "usage: $0 BUILD_FOLDER WORK_FOLDER SECONDS" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -x "$1/fuzz/repair_fuzzer" ]; then
    . "$here/../scripts/packages.sh"
    # shellcheck disable=SC2086
    ensure_packages $BUILD_PACKAGES $FUZZ_PACKAGES
    cmake -S "$here/.." -B "$1" -DCMAKE_CXX_COMPILER=clang++-14 -DPATCH_FUZZ=ON \
        -DPATCH_BUILD_TESTS=OFF -DPATCH_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$1" -j"${FUZZ_BUILD_JOBS:-2}" --target repair_fuzzer make_fuzz_seeds
fi
build=$(cd "$1" && pwd)
mkdir -p "$2"
work=$(cd "$2" && pwd)
seconds=$3
mkdir -p "$work/corpus" "$work/seeds" "$work/findings"
"$build/fuzz/make_fuzz_seeds" "$work/seeds"
shared="$here/../../shared/corpus"
if [ -d "$shared" ]; then
    for file in "$shared"/*.ppt "$shared"/*.doc; do
        [ -f "$file" ] && cp "$file" "$work/seeds/"
    done
fi
if [ "$seconds" -eq 0 ]; then
    exec "$build/fuzz/repair_fuzzer" -timeout=1 -malloc_limit_mb=64 "$work"/seeds/*
fi
# A finding ends a fuzzer run; the loop starts the next one until the time is used up. Each run's
# log is kept as findings/run-<end time>.log (its final stats count the executions).
cd "$work/findings"
end=$(($(date +%s) + seconds))
while [ "$(date +%s)" -lt "$end" ]; do
    left=$((end - $(date +%s)))
    "$build/fuzz/repair_fuzzer" "$work/corpus" "$work/seeds" \
        -jobs=1 -workers=1 -timeout=1 -malloc_limit_mb=64 -rss_limit_mb=2048 \
        -max_len=1048576 -max_total_time="$left" -print_final_stats=1 \
        -dict="$here/ppt.dict" >/dev/null 2>&1 || true
    mv fuzz-0.log "run-$(date +%s).log"
    sleep 1
done
grep -h "^stat::number_of_executed_units" run-*.log |
    awk '{runs += $2} END {print runs " executions in all runs so far"}'
