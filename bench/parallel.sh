#!/bin/sh
# Patchtree -d one child at a time against Patchtree -d -j:N for N = 1, 2, 4 and the number of
# processors, over a tree of 2,000 small presentations: half of them flattened (repaired), a
# third sound ("[ok]"), the rest damaged ("[err]"), in 20 folders.
# Usage: bench/parallel.sh [BUILD_DIR [SCRATCH_DIR]]   RUNS=3 rounds, medians shown.
# Goal: a speed-up of at least 0.8 x the children used (up to the machine's cores), and a log
# whose sorted lines are those of the run without -j:.
# A second table runs -n (check only) the same ways over the same tree.
set -eu
cd "$(dirname "$0")/.."
runs=${RUNS:-3}
. bench/programs.sh
scratch=${2:-$(mktemp -d "${TMPDIR:-/tmp}/patchtree-parallel.XXXXXX")}
mkdir -p "$scratch"
trap 'rm -rf "$scratch"/master "$scratch"/tree "$scratch"/logs' EXIT
bin="$build/bin"
cores=$(nproc)

# The three kinds of file: the sample (flattened), the sample as Patchdoc repaired it (sound),
# and the sample cut short (damaged).
"$build/tests/support/make_sample" "$scratch/flattened.ppt"
cp "$scratch/flattened.ppt" "$scratch/sound.ppt"
"$bin/Patchdoc" -d "$scratch/sound.ppt" >/dev/null
head -c 5000 "$scratch/flattened.ppt" >"$scratch/damaged.ppt"
rm -rf "$scratch/master"
folder=0
while [ "$folder" -lt 20 ]; do
    mkdir -p "$scratch/master/folder $folder"
    i=0
    while [ "$i" -lt 100 ]; do
        case $((i % 20)) in
        0 | 1 | 2 | 3 | 4 | 5 | 6 | 7 | 8 | 9) kind=flattened ;;
        10 | 11 | 12 | 13 | 14 | 15 | 16) kind=sound ;;
        *) kind=damaged ;;
        esac
        cp "$scratch/$kind.ppt" "$scratch/master/folder $folder/deck $i.ppt"
        i=$((i + 1))
    done
    folder=$((folder + 1))
done
echo "tree: 2,000 files (1,000 flattened, 700 sound, 300 damaged)"
echo "machine: $cores cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

# run NAME ARGS...: Patchtree over a fresh copy of the tree; prints its measure line and keeps
# its sorted log lines in NAME.lines.
run() {
    name=$1
    shift
    rm -rf "$scratch/tree" "$scratch/logs"
    cp -r "$scratch/master" "$scratch/tree"
    mkdir "$scratch/logs"
    sync
    "$build/bench/measure" "$bin/Patchtree" "$@" "-l:$scratch/logs/" "$scratch/tree"
    iconv -f UTF-16 -t UTF-8 "$scratch"/logs/*.log | tr -d '\r' | sort >"$scratch/$name.lines"
}

results="$scratch/parallel.tsv"
: >"$results"
jobs="1 2 4"
case " $jobs " in *" $cores "*) ;; *) jobs="$jobs $cores" ;; esac
round=1
while [ "$round" -le "$runs" ]; do
    for mode in -d -n; do
        line=$(run "$mode-seq" "$mode")
        echo "round $round $mode one at a time: $line"
        printf '%s\tseq\t%s\tsame\n' "$mode" "$line" >>"$results"
        for n in $jobs; do
            line=$(run "$mode-$n" "$mode" "-j:$n")
            same=same
            cmp -s "$scratch/$mode-seq.lines" "$scratch/$mode-$n.lines" || same=DIFFERENT
            echo "round $round $mode -j:$n: $line, log lines $same"
            printf '%s\t%s\t%s\t%s\n' "$mode" "$n" "$line" "$same" >>"$results"
        done
    done
    round=$((round + 1))
done
python3 - "$results" "$cores" <<'PY'
import statistics, sys

rows = {}
for line in open(sys.argv[1]):
    mode, jobs, measured, same = line.rstrip("\n").split("\t")
    values = dict(f.split("=") for f in measured.split())
    rows.setdefault((mode, jobs), []).append((float(values["wall"]), same))
cores = int(sys.argv[2])
for mode in ("-d", "-n"):
    base = statistics.median(w for w, _ in rows[(mode, "seq")])
    print(f"Patchtree {mode}: one at a time {base:.2f} s")
    for (m, jobs), values in rows.items():
        if m != mode or jobs == "seq":
            continue
        wall = statistics.median(w for w, _ in values)
        n = int(jobs)
        goal = 0.8 * min(n, cores)
        same = "same" if all(s == "same" for _, s in values) else "DIFFERENT"
        print(f"  -j:{n:<3} {wall:6.2f} s  speed-up {base / wall:4.2f}x (goal {goal:.1f}x)  "
              f"sorted log lines {same}")
PY
