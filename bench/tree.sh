#!/bin/sh
# Patchtree over a tree of 1,000 small presentations against the sum of 1,000 single Patchdoc
# runs on the same files: the time Patchtree adds for walking, starting children and logging.
# Usage: bench/tree.sh [BUILD_DIR [SCRATCH_DIR]]   RUNS=3 rounds, medians shown.
# Target: Patchtree's wall time at most 10% above the sum of the single runs.
# Each run flushes several files to disk, and flush times swing with what else the machine
# writes, so each round also runs both with a stand-in Patchdoc that does nothing (/bin/true):
# Patchtree's time over that, less 1,000 runs of the stand-in, is its own cost alone.
# A third mode, "sound", runs -d over 1,000 copies of the sample as Patchdoc repaired it: every
# run finds nothing to repair ("[ok]"), and the bytes written show whether any run wrote a file.
set -eu
cd "$(dirname "$0")/.."
runs=${RUNS:-3}
. bench/programs.sh
scratch=${2:-$(mktemp -d "${TMPDIR:-/tmp}/patchtree-bench.XXXXXX")}
mkdir -p "$scratch"
trap 'rm -rf "$scratch"/master "$scratch"/master-sound "$scratch"/tree "$scratch"/logs "$scratch"/bin' EXIT

# Patchtree runs the Patchdoc that sits in its own folder.
mkdir -p "$scratch/bin" "$scratch/bin/stub"
cp "$build/bin/Patchtree" "$build/bin/Patchdoc" "$scratch/bin/"
cp "$build/bin/Patchtree" "$scratch/bin/stub/"
cp /bin/true "$scratch/bin/stub/Patchdoc"
bin="$scratch/bin"

# The sample has flattened objects and a presentation embedded two deep: every run repairs.
"$build/tests/support/make_sample" "$scratch/sample.ppt"
ls -l "$scratch/sample.ppt"
cp "$scratch/sample.ppt" "$scratch/sound.ppt"
"$bin/Patchdoc" -d "$scratch/sound.ppt" >/dev/null
# fill MASTER SAMPLE: 10 folders of 100 copies of SAMPLE.
fill() {
    rm -rf "$1"
    for folder in 0 1 2 3 4 5 6 7 8 9; do
        mkdir -p "$1/folder $folder"
        i=0
        while [ "$i" -lt 100 ]; do
            cp "$2" "$1/folder $folder/deck $i.ppt"
            i=$((i + 1))
        done
    done
}
fill "$scratch/master" "$scratch/sample.ppt"
fill "$scratch/master-sound" "$scratch/sound.ppt"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

# prepare MASTER: a fresh copy of MASTER at tree/, an empty log folder and the list of files.
prepare() {
    rm -rf "$scratch/tree" "$scratch/logs"
    cp -r "$1" "$scratch/tree"
    mkdir "$scratch/logs"
    find "$scratch/tree" -name '*.ppt' | sort >"$scratch/list"
    sync
}

results="$scratch/tree.tsv"
: >"$results"
round=1
while [ "$round" -le "$runs" ]; do
    for mode in -d backup sound; do
        flag="-d"
        master="$scratch/master"
        if [ "$mode" = backup ]; then
            flag=""
        elif [ "$mode" = sound ]; then
            master="$scratch/master-sound"
        fi
        prepare "$master"
        # shellcheck disable=SC2086
        single=$("$build/bench/measure" --each "$scratch/list" "$bin/Patchdoc" $flag)
        prepare "$master"
        # shellcheck disable=SC2086
        tree=$("$build/bench/measure" "$bin/Patchtree" $flag "-l:$scratch/logs/" "$scratch/tree")
        fixed=$(iconv -f UTF-16 -t UTF-8 "$scratch"/logs/*.log | grep -c '^\[fixed\], ' || true)
        # The tree as it was: backups made by the runs above would be walked too.
        prepare "$master"
        # shellcheck disable=SC2086
        stubSingle=$("$build/bench/measure" --each "$scratch/list" "$bin/stub/Patchdoc" $flag)
        # shellcheck disable=SC2086
        stubTree=$("$build/bench/measure" "$bin/stub/Patchtree" $flag "-l:$scratch/logs/" \
            "$scratch/tree")
        echo "round $round $mode: singles $single"
        echo "round $round $mode: Patchtree $tree, $fixed files fixed"
        echo "round $round $mode: stand-in singles $stubSingle"
        echo "round $round $mode: Patchtree with the stand-in $stubTree"
        printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$mode" "$single" "$tree" "$fixed" "$stubSingle" \
            "$stubTree" >>"$results"
    done
    round=$((round + 1))
done
python3 - "$results" <<'PY'
import statistics, sys

def fields(text):
    values = dict(f.split("=") for f in text.split())
    return float(values["wall"]), float(values["user"]) + float(values["sys"]), values

rows = {}
for line in open(sys.argv[1]):
    mode, single, tree, fixed, stub_single, stub_tree = line.rstrip("\n").split("\t")
    rows.setdefault(mode, []).append(
        (fields(single), fields(tree), int(fixed), fields(stub_single), fields(stub_tree)))
for mode, values in rows.items():
    med = lambda pick: statistics.median(pick(v) for v in values)
    single, tree = med(lambda v: v[0][0]), med(lambda v: v[1][0])
    single_cpu, tree_cpu = med(lambda v: v[0][1]), med(lambda v: v[1][1])
    own = med(lambda v: v[4][0] - v[3][0])
    print(f"{mode:7} sum of 1,000 Patchdoc runs {single:6.2f} s ({single_cpu:5.2f} s CPU), "
          f"Patchtree {tree:6.2f} s ({tree_cpu:5.2f} s CPU): {100 * (tree - single) / single:+.1f}% "
          f"wall, {100 * (tree_cpu - single_cpu) / single_cpu:+.1f}% CPU")
    print(f"{'':7} Patchtree's own time (stand-in run less 1,000 stand-in runs) {own:+.2f} s, "
          f"{100 * own / single:+.1f}% of the single runs; files fixed: "
          f"{min(v[2] for v in values)} by Patchtree, {min(int(v[0][2]['status0']) for v in values)} alone")
    if mode == "sound":
        written = lambda v, key: int(v[key][2].get("write_bytes", -1))
        print(f"{'':7} nothing to repair in {min(int(v[0][2]['status2']) for v in values)} single runs; "
              f"bytes sent to storage: {min(written(v, 0) for v in values)} by the single runs, "
              f"{min(written(v, 1) for v in values)} by Patchtree (its log included)")
PY
