#!/bin/sh
# Patchtree over a tree of 1,000 small presentations against the sum of 1,000 single Patchdoc
# runs on the same files: the time Patchtree adds for walking, starting children and logging.
# Usage: bench/tree.sh [BUILD_DIR [SCRATCH_DIR]]   RUNS=3 rounds, medians shown.
# Target: Patchtree's wall time at most 10% above the sum of the single runs.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-3}
if [ ! -x "$build/src/batch/Patchtree" ] || [ ! -x "$build/src/repairtool/Patchdoc" ] ||
    [ ! -x "$build/tests/support/make_sample" ] || [ ! -x "$build/bench/measure" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target Patchdoc Patchtree make_sample measure -j2 >/dev/null
fi
build=$(cd "$build" && pwd)
scratch=${2:-$(mktemp -d "${TMPDIR:-/tmp}/patchtree-bench.XXXXXX")}
mkdir -p "$scratch"
trap 'rm -rf "$scratch"/master "$scratch"/tree "$scratch"/logs "$scratch"/bin' EXIT

# Patchtree runs the Patchdoc that sits in its own folder.
mkdir -p "$scratch/bin"
cp "$build/src/batch/Patchtree" "$build/src/repairtool/Patchdoc" "$scratch/bin/"
bin="$scratch/bin"

# The sample has flattened objects and a presentation embedded two deep: every run repairs.
"$build/tests/support/make_sample" "$scratch/sample.ppt"
ls -l "$scratch/sample.ppt"
rm -rf "$scratch/master"
for folder in 0 1 2 3 4 5 6 7 8 9; do
    mkdir -p "$scratch/master/folder $folder"
    i=0
    while [ "$i" -lt 100 ]; do
        cp "$scratch/sample.ppt" "$scratch/master/folder $folder/deck $i.ppt"
        i=$((i + 1))
    done
done
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

prepare() {
    rm -rf "$scratch/tree" "$scratch/logs"
    cp -r "$scratch/master" "$scratch/tree"
    mkdir "$scratch/logs"
    find "$scratch/tree" -name '*.ppt' | sort >"$scratch/list"
    sync
}

results="$scratch/tree.tsv"
: >"$results"
round=1
while [ "$round" -le "$runs" ]; do
    for mode in -d backup; do
        flag=$([ "$mode" = -d ] && echo "-d" || true)
        prepare
        # shellcheck disable=SC2086
        single=$("$build/bench/measure" --each "$scratch/list" "$bin/Patchdoc" $flag)
        prepare
        # shellcheck disable=SC2086
        tree=$("$build/bench/measure" "$bin/Patchtree" $flag "-l:$scratch/logs/" "$scratch/tree")
        fixed=$(iconv -f UTF-16 -t UTF-8 "$scratch"/logs/*.log | grep -c '^\[fixed\], ' || true)
        echo "round $round $mode: singles $single"
        echo "round $round $mode: Patchtree $tree, $fixed files fixed"
        printf '%s\t%s\t%s\t%s\n' "$mode" "$single" "$tree" "$fixed" >>"$results"
    done
    round=$((round + 1))
done
python3 - "$results" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    mode, single, tree, fixed = line.rstrip("\n").split("\t")
    s = dict(f.split("=") for f in single.split())
    t = dict(f.split("=") for f in tree.split())
    rows.setdefault(mode, []).append((float(s["wall"]), float(t["wall"]), int(fixed),
                                      int(s["status0"])))
for mode, values in rows.items():
    single = statistics.median(v[0] for v in values)
    tree = statistics.median(v[1] for v in values)
    print(f"{mode:7} sum of 1,000 Patchdoc runs {single:7.2f} s, Patchtree {tree:7.2f} s, "
          f"overhead {100 * (tree - single) / single:+.1f}% "
          f"(fixed: {min(v[2] for v in values)} by Patchtree, {min(v[3] for v in values)} alone)")
PY
