#!/usr/bin/python3
"""independent_readers.py PATCHDOC CORPUS_FOLDER [SAMPLE_MAKER]

Repairs the flattened presentations of the corpus (and the synthetic one SAMPLE_MAKER writes) with
Patchdoc and checks every output with independent readers: olefile (same elements as the input less
the streams left out, every element other than the two rewritten streams byte-identical), gsf,
LibreOffice and Apache POI (which must load the file and read every embedded object to its end).
Exit code 77 when there is nothing to check."""
import collections
import glob
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
REWRITTEN = {"Current User", "PowerPoint Document"}
LEFT_OUT = {"Workbook", "Data", "1Table", "0Table", "WordDocument"}
POI_JARS = ["poi.jar", "poi-scratchpad.jar", "commons-collections4.jar", "commons-math3.jar",
            "commons-codec.jar"]

failures = []


def fail(name, text):
    failures.append(f"{name}: {text}")
    print(f"FAIL {name}: {text}")


def elements(path):
    import olefile
    with olefile.OleFileIO(path) as ole:
        return {"/".join(entry): (ole.get_type(entry), ole.getclsid(entry),
                                  ole.openstream(entry).read()
                                  if ole.get_type(entry) == olefile.STGTY_STREAM else None)
                for entry in ole.listdir(streams=True, storages=True)}, ole.root.clsid


def check_olefile(name, original, repaired):
    before, before_clsid = elements(original)
    after, after_clsid = elements(repaired)
    expected = {k: v for k, v in before.items()
                if not (v[0] == 2 and "/" not in k and k in LEFT_OUT)}
    if set(after) != set(expected):
        fail(name, f"olefile lists {sorted(set(after) ^ set(expected))} differently")
    for key in expected.keys() - REWRITTEN:
        if key in after and after[key] != expected[key]:
            fail(name, f"element {key} changed")
    if after_clsid != before_clsid:
        fail(name, "root class id changed")


def run(name, what, command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, timeout=300, **kwargs)
    if result.returncode != 0:
        fail(name, f"{what} failed: {result.stdout.strip()} {result.stderr.strip()[-400:]}")
    return result


def poi_objects(name, classpath, path):
    out = run(name, "POI", ["java", "-cp", classpath, "LoadWithPoi", path])
    return [line.split(" ", 3) for line in out.stdout.splitlines() if line.startswith("object ")]


def check_poi(name, classpath, original, repaired):
    """Every embedded object reads to its end, except objects whose data is damaged in the
    original too (they are kept as stored). POI also lists objects of superseded edits, which a
    full save drops, so objects are compared by their failures, not one by one."""
    before = collections.Counter(o[3] for o in poi_objects(name, classpath, original) if o[2] != "ok")
    after_objects = poi_objects(name, classpath, repaired)
    after = collections.Counter(o[3] for o in after_objects if o[2] != "ok")
    for reason, count in after.items():
        if count > before[reason]:
            fail(name, f"POI cannot read {count - before[reason]} embedded objects: {reason}")
    readable = len(after_objects) - sum(after.values())
    print(f"{name}: POI reads {readable} of {len(after_objects)} embedded objects to their end")


def main():
    patchdoc, corpus = sys.argv[1], sys.argv[2]
    files = sorted(glob.glob(os.path.join(corpus, "flattened-*.ppt")))
    if not files:
        print("SKIP corpus files: the corpus is not available")
    samples = tempfile.TemporaryDirectory()
    if len(sys.argv) > 3:
        sample = os.path.join(samples.name, "synthetic-sample.ppt")
        subprocess.run([sys.argv[3], sample], check=True)
        files.append(sample)
    if not files:
        return SKIP
    jars = [os.path.join("/usr/share/java", j) for j in POI_JARS]
    have = {"olefile": importlib.util.find_spec("olefile") is not None,
            "gsf": shutil.which("gsf") is not None,
            "LibreOffice": shutil.which("soffice") is not None,
            "Apache POI": shutil.which("javac") is not None and all(map(os.path.exists, jars))}
    for tool in (tool for tool in have if not have[tool]):
        print(f"SKIP {tool} checks: not installed")
    print(f"Repairing {len(files)} files and reading them back with independent readers,"
          " about a minute")
    with tempfile.TemporaryDirectory() as work:
        classpath = ":".join(jars)
        if have["Apache POI"]:
            here = os.path.dirname(os.path.abspath(__file__))
            subprocess.run(["javac", "-d", work, "-cp", classpath,
                            os.path.join(here, "LoadWithPoi.java")], check=True)
        for original in files:
            name = os.path.basename(original)
            repaired = os.path.join(work, name)
            shutil.copyfile(original, repaired)
            os.chmod(repaired, 0o644)
            result = subprocess.run([patchdoc, "-d", repaired], capture_output=True, text=True)
            if result.returncode != 0 or result.stdout != f"[fixed], {repaired}\n":
                fail(name, f"Patchdoc said {result.stdout!r} (exit {result.returncode})")
                continue
            if have["olefile"]:
                check_olefile(name, original, repaired)
            if have["gsf"]:
                run(name, "gsf list", ["gsf", "list", repaired])
            if have["Apache POI"]:
                check_poi(name, classpath + ":" + work, original, repaired)
            if have["LibreOffice"]:
                run(name, "LibreOffice", ["soffice", f"-env:UserInstallation=file://{work}/lo",
                                          "--headless", "--convert-to", "pdf", "--outdir",
                                          f"{work}/pdf", repaired])
                if not os.path.exists(f"{work}/pdf/{name[:-4]}.pdf"):
                    fail(name, "LibreOffice wrote no PDF")
            print(f"{name}: checked")
    print(f"{len(failures)} failures" if failures
          else f"all {len(files)} repaired files pass the independent readers")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
