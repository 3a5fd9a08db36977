"""Medians of bench/run.sh's results, and their ratios to the durable copy and to POI.

Input: lines of SIZE<TAB>NAME<TAB>wall=.. user=.. sys=.. maxrss_kib=.. status=..
"""
import collections
import statistics
import sys

EXPECTED_STATUS = {"copy": 0, "patchdoc-d": 0, "patchdoc": 0, "already": 2, "poi": 0}


def mib(row, key):
    """A byte count of measure's as MiB; None when it was not measured."""
    value = int(row.get(key, -1))
    return None if value < 0 else value / (1 << 20)


def shown(values):
    """The median of measured values, or '-' when there are none."""
    values = [v for v in values if v is not None]
    return f"{statistics.median(values):.3f}" if values else "-"


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
        print(f"  {'':12}{'wall s':>9}{'cpu s':>9}{'peak RSS MiB':>14}{'wall/copy':>11}"
              f"{'written MiB':>13}{'to storage MiB':>16}")
        medians = {}
        for name in ("copy", "patchdoc-d", "patchdoc", "already", "poi"):
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
            written = [mib(r, "wchar") for r in rows]
            stored = [mib(r, "write_bytes") for r in rows]
            print(f"  {name:12}{wall:9.3f}{cpu:9.3f}{rss:14.1f}{ratio:11.2f}"
                  f"{shown(written):>13}{shown(stored):>16}")
        if "poi" in medians:
            for name in ("patchdoc-d", "patchdoc"):
                wall, rss = medians[name]
                print(f"  POI / {name}: {medians['poi'][0] / wall:.1f}x the time, "
                      f"{medians['poi'][1] / rss:.1f}x the peak RSS")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
