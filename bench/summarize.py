"""Medians of bench/run.sh's results, and their ratios to the durable copy and to POI.

Input: lines of SIZE<TAB>NAME<TAB>wall=.. user=.. sys=.. maxrss_kib=.. status=..
"""
import collections
import statistics
import sys

EXPECTED_STATUS = {"copy": 0, "patchdoc-d": 0, "patchdoc": 0, "poi": 0}


def main(path):
    runs = collections.defaultdict(list)
    for line in open(path):
        size, name, fields = line.rstrip("\n").split("\t")
        values = dict(f.split("=") for f in fields.split())
        runs[(int(size), name)].append(values)
    bad = False
    for size in sorted({s for s, _ in runs}):
        print(f"\n{size} MiB, {len(runs[(size, 'copy')])} rounds "
              f"({len(runs.get((size, 'poi'), []))} with POI), medians:")
        print(f"  {'':12}{'wall s':>9}{'cpu s':>9}{'peak RSS MiB':>14}{'wall/copy':>11}")
        medians = {}
        for name in ("copy", "patchdoc-d", "patchdoc", "poi"):
            if (size, name) not in runs:
                continue
            rows = runs[(size, name)]
            for row in rows:
                if int(row["status"]) != EXPECTED_STATUS[name]:
                    print(f"  {name}: exit status {row['status']}")
                    bad = True
            wall = statistics.median(float(r["wall"]) for r in rows)
            cpu = statistics.median(float(r["user"]) + float(r["sys"]) for r in rows)
            rss = statistics.median(int(r["maxrss_kib"]) for r in rows) / 1024
            medians[name] = (wall, rss)
            ratio = wall / medians["copy"][0]
            print(f"  {name:12}{wall:9.3f}{cpu:9.3f}{rss:14.1f}{ratio:11.2f}")
        if "poi" in medians:
            for name in ("patchdoc-d", "patchdoc"):
                wall, rss = medians[name]
                print(f"  POI / {name}: {medians['poi'][0] / wall:.1f}x the time, "
                      f"{medians['poi'][1] / rss:.1f}x the peak RSS")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
