#!/bin/sh
# Patchdoc against the physical floor of rewriting a file safely, and against Apache POI.
# Usage: bench/run.sh [BUILD_DIR [SCRATCH_DIR]]
#   SIZES="10 100 1024"  sizes in MiB of the generated presentations (make_bench_file)
#   RUNS=5               rounds; the table shows medians
#   POI_ROUNDS=1         rounds that include POI (a round of it on 1 GiB takes minutes)
# Each round runs, one after another on a fresh copy of the same file in the same folder:
#   copy      cp of the file followed by sync of the copy (a durable copy)
#   patchdoc-d  Patchdoc -d on a copy
#   patchdoc    Patchdoc on a copy, making its backup
#   already   Patchdoc -d on a copy of the file as Patchdoc repaired it: nothing to repair ("[ok]"),
#             where the goal is at most 0.3x the durable copy and no byte written
#   poi       load with HSLFSlideShow and write out, synced (when Apache POI is installed)
# Copies are made and flushed before the timed region; the page cache stays warm for all.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
sizes=${SIZES:-10 100 1024}
runs=${RUNS:-5}
poi_rounds=${POI_ROUNDS:-1}
if [ ! -x "$build/bin/Patchdoc" ] || [ ! -x "$build/bench/make_bench_file" ] ||
    [ ! -x "$build/bench/measure" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target Patchdoc make_bench_file measure -j2 >/dev/null
fi
patchdoc=$(cd "$build" && pwd)/bin/Patchdoc
measure=$(cd "$build" && pwd)/bench/measure
scratch=${2:-$(mktemp -d "${TMPDIR:-/tmp}/patchbench.XXXXXX")}
mkdir -p "$scratch"
trap 'rm -rf "$scratch"/work "$scratch"/classes' EXIT
mkdir -p "$scratch/work"

poi_jars="/usr/share/java/poi.jar /usr/share/java/poi-scratchpad.jar \
/usr/share/java/commons-collections4.jar /usr/share/java/commons-math3.jar \
/usr/share/java/commons-codec.jar"
poi_cp=""
if command -v javac >/dev/null 2>&1; then
    poi_cp=$(echo "$poi_jars" | tr -s ' ' ':')
    for jar in $poi_jars; do [ -f "$jar" ] || poi_cp=""; done
fi
if [ -n "$poi_cp" ]; then
    mkdir -p "$scratch/classes"
    javac -d "$scratch/classes" -cp "$poi_cp" bench/PoiRoundTrip.java
    poi_cp="$poi_cp:$scratch/classes"
else
    echo "Apache POI is not installed (libapache-poi-java): its column is left out"
fi

results="$scratch/results.tsv"
: >"$results"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

# prepare FILE: a fresh copy at work/copy.ppt, flushed, and no backup or POI output left over.
prepare() {
    rm -f "$scratch/work/"*
    cp "$1" "$scratch/work/copy.ppt"
    sync
}

# timed SIZE NAME COMMAND...: one measured run, appended to the results.
timed() {
    size=$1
    name=$2
    shift 2
    line=$("$measure" "$@")
    echo "$line"
    printf '%s\t%s\t%s\n' "$size" "$name" "$line" >>"$results"
}

for size in $sizes; do
    input="$scratch/bench-$size.ppt"
    if [ ! -f "$input" ]; then
        "$build/bench/make_bench_file" "$input" "$size"
    fi
    ls -l "$input"
    repaired="$scratch/bench-$size-repaired.ppt"
    if [ ! -f "$repaired" ]; then
        cp "$input" "$repaired"
        "$patchdoc" -d "$repaired" >/dev/null
    fi
    round=1
    while [ "$round" -le "$runs" ]; do
        echo "-- $size MiB, round $round"
        prepare "$input"
        # shellcheck disable=SC2016 # the inner shell expands its own arguments
        timed "$size" copy sh -c 'cp "$1" "$2" && sync "$2"' sh "$scratch/work/copy.ppt" \
            "$scratch/work/durable.ppt"
        prepare "$input"
        timed "$size" patchdoc-d "$patchdoc" -d "$scratch/work/copy.ppt"
        prepare "$input"
        timed "$size" patchdoc "$patchdoc" "$scratch/work/copy.ppt"
        prepare "$repaired"
        timed "$size" already "$patchdoc" -d "$scratch/work/copy.ppt"
        if [ -n "$poi_cp" ] && [ "$round" -le "$poi_rounds" ]; then
            prepare "$input"
            timed "$size" poi java -Xmx20g -cp "$poi_cp" PoiRoundTrip "$scratch/work/copy.ppt" \
                "$scratch/work/poi.ppt"
        fi
        round=$((round + 1))
    done
done
python3 bench/summarize.py "$results"
