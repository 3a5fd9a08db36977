"""Medians of bench/shared_blocks.sh's results per file system: wall and CPU time, the ratio to
the durable copy, and the growth of the file system's used space as a share of the file.

Input: lines of FS<TAB>NAME<TAB>wall=.. user=.. sys=.. ... status=.. grown=.. bytes=..
"""
import collections
import statistics
import sys

NAMES = ("copy", "patchdoc-d", "patchdoc", "in-place", "base-d", "base")


def main(path):
    runs = collections.defaultdict(list)
    order = []
    for line in open(path):
        fs, name, fields = line.rstrip("\n").split("\t")
        runs[(fs, name)].append(dict(f.split("=") for f in fields.split()))
        if fs not in order:
            order.append(fs)
    bad = False
    for fs in order:
        print(f"\n{fs}, {len(runs[(fs, 'copy')])} rounds, medians:")
        print(f"  {'':12}{'wall s':>9}{'cpu s':>9}{'wall/copy':>11}{'used space grew':>17}")
        copy_wall = statistics.median(float(r["wall"]) for r in runs[(fs, "copy")])
        for name in NAMES:
            rows = runs.get((fs, name), [])
            if not rows:
                continue
            bad = bad or any(int(r["status"]) != 0 for r in rows)
            wall = statistics.median(float(r["wall"]) for r in rows)
            cpu = statistics.median(float(r["user"]) + float(r["sys"]) for r in rows)
            grown = statistics.median(int(r["grown"]) / int(r["bytes"]) for r in rows)
            print(f"  {name:12}{wall:9.3f}{cpu:9.3f}{wall / copy_wall:11.2f}{grown:16.1%}")
    if bad:
        print("some runs did not end with exit status 0")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
