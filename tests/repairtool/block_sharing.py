#!/usr/bin/python3
"""block_sharing.py PATCHDOC MAKE_SAMPLE

Checks, on loop-mounted XFS and btrfs images, that a repaired file shares the blocks of its
unchanged "Pictures" stream with the original: all of the stream but its partial blocks lies in
extents that filefrag reports shared. Both ways of replacing the file are run: a rename (the backup
is the original under a second name) and an in-place overwrite of a hard-linked original (the
backup is a copy that must keep the old bytes). Then a full disk: an original whose blocks a copy
shares, in a folder that takes no new file (so the output comes from another file system and is
written over it in place), with less room free than the file: the run must fail and leave the
original and the copy as they were.

Needs root, a free loop device, mkfs.xfs or mkfs.btrfs and python3-olefile; a file system that
can't be made or mounted is skipped with the reason. Exits 0 when every check passed, 1 when one
failed, 77 when every file system was skipped.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from fault_injection import Skip, mounted, read

SKIP = 77
PICTURES = 16 * 1024 * 1024
BLOCK = 4096
MKFS = {"xfs": ["mkfs.xfs", "-q", "-m", "reflink=1"], "btrfs": ["mkfs.btrfs", "-q"]}
EXTENT = re.compile(r"^\s*\d+:\s*\d+\.\.\s*\d+:\s*\d+\.\.\s*\d+:\s*(\d+):.*\bshared\b", re.M)


def shared_bytes(path):
    """How many bytes of the file lie in extents that filefrag reports shared."""
    listing = subprocess.run(["filefrag", "-s", "-v", "-b1", path], capture_output=True,
                             text=True, check=True).stdout
    return sum(int(length) for length in EXTENT.findall(listing))


def stream(path, name):
    import olefile
    with olefile.OleFileIO(path) as ole:
        return ole.openstream(name).read()


def image(kind, scratch):
    """A fresh image of a file system of the kind, to mount through a loop device."""
    for tool in (MKFS[kind][0], "mount", "umount", "chattr", "filefrag"):
        if shutil.which(tool) is None:
            raise Skip(f"{tool} is not installed")
    path = os.path.join(scratch, kind + ".img")
    with open(path, "wb") as f:
        f.truncate(512 * 1024 * 1024)
    made = subprocess.run(MKFS[kind] + [path], capture_output=True, text=True)
    if made.returncode != 0:
        raise Skip(f"{MKFS[kind][0]} failed: {made.stderr.strip()}")
    return path


def check(kind, patchdoc, make_input, scratch):
    failures = []
    with mounted(os.path.join(scratch, kind), "-o", "loop", image(kind, scratch)) as folder:
        deck, backup = os.path.join(folder, "deck.ppt"), os.path.join(folder, "deck (Backup).ppt")
        second = os.path.join(folder, "second name.ppt")
        subprocess.run([make_input, deck, str(PICTURES), "incremental"], check=True)
        old, pictures = read(deck), stream(deck, "Pictures")
        for mode in ("renamed", "in place"):
            if mode == "in place":
                os.replace(backup, deck)
                os.link(deck, second)
            run = subprocess.run([patchdoc, deck], capture_output=True, text=True)
            if run.returncode != 0:
                failures.append(f"{kind}, {mode}: exit {run.returncode}: {run.stdout}")
                continue
            if mode == "in place" and not os.path.samefile(deck, second):
                failures.append(f"{kind}, {mode}: the file was not overwritten in place")
            if read(backup) != old:
                failures.append(f"{kind}, {mode}: the backup lost the original's bytes")
            if stream(deck, "Pictures") != pictures:
                failures.append(f"{kind}, {mode}: the Pictures stream changed")
            # Nothing but Pictures is that large: all of it is shared, but for the partial
            # blocks at its ends.
            unshared = PICTURES - shared_bytes(deck)
            if unshared > 2 * BLOCK:
                failures.append(f"{kind}, {mode}: {unshared} bytes of Pictures are not shared")
            print(f"{kind}, {mode}: checked, {max(unshared, 0)} bytes of Pictures not shared")
        failures += full_disk(kind, folder, old, patchdoc, scratch)
    return failures


def full_disk(kind, folder, old, patchdoc, scratch):
    locked = os.path.join(folder, "locked")
    os.mkdir(locked)
    deck, copy = os.path.join(locked, "deck.ppt"), os.path.join(folder, "copy.ppt")
    with open(deck, "wb") as f:
        f.write(old)
    subprocess.run(["cp", "--reflink=always", deck, copy], check=True)
    # btrfs frees the blocks of deleted files in the background, after the transaction that
    # deleted them: the free room is filled again until it stays below the file's size.
    for number in range(8):
        subprocess.run(["sync", "-f", folder], check=True)
        room = os.statvfs(folder)
        free = room.f_bavail * room.f_frsize
        if free <= len(old) // 2:
            break
        with open(os.path.join(folder, f"filler{number}"), "wb") as f:
            os.posix_fallocate(f.fileno(), 0, free - len(old) // 4)
    temp = os.path.join(scratch, "tmp")
    os.mkdir(temp)
    subprocess.run(["chattr", "+i", locked], check=True)
    try:
        run = subprocess.run([patchdoc, "-d", deck], capture_output=True, text=True,
                             env=dict(os.environ, TMPDIR=temp))
    finally:
        subprocess.run(["chattr", "-i", locked], check=True)
    failures = [] if run.returncode == 1 else [f"{kind}, full disk: exit {run.returncode}: "
                                               f"{run.stdout}"]
    failures += [f"{kind}, full disk: {os.path.basename(path)} changed" for path in (deck, copy)
                 if read(path) != old]
    print(f"{kind}, full disk: checked: {run.stdout.splitlines()[0] if run.stdout else ''}")
    return failures


def main():
    patchdoc, make_input = sys.argv[1:3]
    try:
        import olefile  # noqa: F401
    except ImportError:
        print("skipped: python3-olefile is not installed")
        return SKIP
    failures, ran = [], 0
    for kind in ("xfs", "btrfs"):
        scratch = tempfile.mkdtemp(prefix="blocksharing.")
        try:
            failures += check(kind, patchdoc, make_input, scratch)
            ran += 1
        except Skip as reason:
            print(f"{kind}: skipped: {reason}")
        finally:
            shutil.rmtree(scratch, ignore_errors=True)
    for failure in failures:
        print("FAIL " + failure)
    return 1 if failures else (0 if ran else SKIP)


if __name__ == "__main__":
    sys.exit(main())
