#!/usr/bin/python3
"""fault_injection.py PATCHDOC MAKE_SAMPLE: injects faults into whole runs of Patchdoc.

In every case the original holds its old bytes or exactly those of an undisturbed repair, the exit
code and line say which, and a finished run leaves no kvf*.tmp file (killed ones are counted).
Prints the matrix, then "N passed, N failed, N skipped"; exits 0, 1 on a failure, 77 when every
case was skipped (each with its reason).
"""
import contextlib
import ctypes
import fcntl
import os
import random
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from types import SimpleNamespace

SMALL_PICTURES = 64 * 1024
LARGE_PICTURES = 48 * 1024 * 1024
KILLS_PER_MODE = 20


class Skip(Exception):
    pass


class Failure(Exception):
    pass


def read(path):
    with open(path, "rb") as f:
        return f.read()


def mode(backup):
    return ", with backup" if backup else ", -d"


class Lab:
    def __init__(self, patchdoc, make_input, root):
        self.patchdoc, self.root = patchdoc, root
        self.tmp = os.path.join(root, "tmp")  # TMPDIR of every run unless a case sets one
        os.makedirs(self.tmp)
        self.small = os.path.join(root, "small.ppt")
        self.large = os.path.join(root, "large.ppt")
        self.old, self.repaired = {}, {}
        for source, pictures in ((self.small, SMALL_PICTURES), (self.large, LARGE_PICTURES)):
            subprocess.run([make_input, source, str(pictures)], check=True)
            self.old[source] = read(source)
            outputs = set()  # an undisturbed repair, made twice to be sure it does not vary
            for attempt in range(2):
                target = self.copy(source, "reference%d" % attempt)
                out, _ = self.start(target, False).communicate(timeout=300)
                if out != "[fixed], %s\n" % target:
                    raise Failure("reference repair: %r" % out)
                outputs.add(read(target))
            if len(outputs) != 1:
                raise Failure("two undisturbed repairs of one file differ")
            self.repaired[source] = outputs.pop()

    def folder(self, name):
        path = os.path.join(self.root, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def copy(self, source, folder, linked=False):
        """A copy of source as deck.ppt in folder (a fresh folder of the lab when given a name),
        with the second name "other name.ppt" when linked."""
        if not os.path.isabs(folder):
            folder = self.folder(folder)
        target = os.path.join(folder, "deck.ppt")
        shutil.copyfile(source, target)
        if linked:
            os.link(target, os.path.join(folder, "other name.ppt"))
        return target

    def start(self, target, backup, tmpdir=None, limit=None):
        def prepare():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, resource.RLIM_INFINITY))

        arguments = [self.patchdoc, target] if backup else [self.patchdoc, "-d", target]
        return subprocess.Popen(arguments, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                text=True, env=dict(os.environ, TMPDIR=tmpdir or self.tmp),
                                preexec_fn=None if limit is None else prepare)

    def run(self, source, target, backup, tmpdir=None, limit=None):
        process = self.start(target, backup, tmpdir, limit)
        out, _ = process.communicate(timeout=300)
        return self.examine(source, target, process.returncode, out, tmpdir)

    def examine(self, source, target, code, out, tmpdir=None):
        """The outcome: original "old", "repaired" or "CORRUPT"; backup "none", "old" or
        "partial"; the kvf*.tmp files left in the file's folder and the temporary folders."""
        data = read(target)
        original = ("old" if data == self.old[source]
                    else "repaired" if data == self.repaired[source] else "CORRUPT")
        folders = {os.path.dirname(target), self.tmp, tmpdir or self.tmp}
        leftovers = sorted(os.path.join(f, n) for f in folders if os.path.isdir(f)
                           for n in os.listdir(f) if n.startswith("kvf") and n.endswith(".tmp"))
        backup_path = os.path.splitext(target)[0] + " (Backup).ppt"
        backup = ("none" if not os.path.exists(backup_path)
                  else "old" if read(backup_path) == self.old[source] else "partial")
        return SimpleNamespace(code=code, out=out, original=original, leftovers=leftovers,
                               backup=backup)


def expect_consistent(result, target, prefix=None):
    """The original is old or repaired, the exit code and line agree with which, no temporary
    file is left, and with a prefix the run failed with a line that starts with it."""
    if result.original == "CORRUPT":
        raise Failure("original holds neither its old nor its repaired bytes")
    if result.leftovers:
        raise Failure("temporary files left: %s" % result.leftovers)
    if (result.original != {0: "repaired", 1: "old"}.get(result.code)
            or not result.out.endswith(target + "\n")
            or (result.code == 0 and result.out != "[fixed], %s\n" % target)):
        raise Failure("exit %s but original %s, line %r"
                      % (result.code, result.original, result.out))
    if prefix is not None and (result.code != 1 or not result.out.startswith(prefix)):
        raise Failure("expected exit 1 and a line starting %r, got %d %r"
                      % (prefix, result.code, result.out))


@contextlib.contextmanager
def mounted(path, *arguments):
    """A file system that `mount ARGUMENTS PATH` mounts, for root only, unmounted when the with
    block ends."""
    if os.geteuid() != 0:
        raise Skip("mounting a file system needs root")
    os.makedirs(path, exist_ok=True)
    done = subprocess.run(["mount", *arguments, path], capture_output=True, text=True)
    if done.returncode != 0:
        raise Skip("cannot mount %s here: %s" % (arguments[-1], done.stderr.strip()))
    try:
        yield path
    finally:
        subprocess.run(["umount", path], check=False)


def tmpfs(path, size, options=""):
    return mounted(path, "-t", "tmpfs", "-o", "size=%d%s" % (size, options), "tmpfs")


def full_disk(lab, rows):
    """A full disk, by RLIMIT_FSIZE (SIGXFSZ ignored: every write past the limit fails) and by a
    tmpfs filled up to a few free bytes, with and without a backup; and an original with a
    second name, overwritten in place, where the full disk must stop the run before any byte
    changes."""
    size, repaired = len(lab.old[lab.small]), len(lab.repaired[lab.small])
    limits = sorted({0, 512, 4096, size // 4, size // 2, size - 1, size, size + 4096,
                     repaired - 1, 2 * size})
    cases = [(b, False, limit, None) for b in (False, True) for limit in limits]
    cases += [(b, False, None, free) for b in (False, True) for free in (0, 8192, size // 2,
                                                                          size + 8192)]
    cases += [(False, True, limit, None) for limit in (size // 2, size + 1, repaired - 1,
                                                       repaired + 4096)]
    cases += [(False, True, None, free) for free in (0, size)]
    for backup, linked, limit, free in cases:
        with contextlib.ExitStack() as stack:
            if free is None:
                folder, how = lab.folder("full"), "RLIMIT_FSIZE=%d, SIGXFSZ ignored" % limit
            else:
                folder = stack.enter_context(tmpfs(os.path.join(lab.root, "full-fs"),
                                                   4 * size + (1 << 20)))
                how = "tmpfs filled to %d B free" % free
            target = lab.copy(lab.small, folder, linked)
            if free is not None:  # filled until about `free` bytes are left
                room = os.statvfs(folder)
                with open(os.path.join(folder, "filler"), "wb") as f:
                    f.write(b"\0" * max(0, room.f_bavail * room.f_frsize - free))
            result = lab.run(lab.small, target, backup, limit=limit)
            expect_consistent(result, target)
            if limit is not None and limit < size and result.code != 1:
                raise Failure("limit %d below the file size, yet exit %d" % (limit, result.code))
            if result.code == 1 and result.backup == "partial":
                raise Failure("a failed backup copy was left behind")
            if linked and read(os.path.join(folder, "other name.ppt")) != read(target):
                raise Failure("the other name no longer shows the same file")
            rows.append(("full disk" + (", hard-linked original" if linked else "") + mode(backup),
                         how, result))


def unwritable_folders(lab, rows):
    """A temporary folder that takes no file (the embedded presentation cannot be unpacked):
    permission bits stop everyone but root; root gets a read-only file system. And, for root, the
    original's folder on a read-only file system, where nothing may be written."""
    with contextlib.ExitStack() as stack:
        if os.geteuid() == 0:
            tmpdir = stack.enter_context(tmpfs(os.path.join(lab.root, "ro-tmp"), 1 << 20, ",ro"))
            how = "TMPDIR on a read-only tmpfs"
        else:
            tmpdir, how = lab.folder("ro-tmp"), "TMPDIR a folder of mode 555"
            os.chmod(tmpdir, 0o555)
            stack.callback(os.chmod, tmpdir, 0o755)
        target = lab.copy(lab.small, "unwritable-tmp")
        result = lab.run(lab.small, target, False, tmpdir)
        expect_consistent(result, target, "[err], Temporary file creation failed")
        rows.append(("unwritable temporary folder", how, result))
    with tmpfs(os.path.join(lab.root, "ro-folder"), 1 << 20) as folder:
        target = lab.copy(lab.small, folder)
        subprocess.run(["mount", "-o", "remount,ro", folder], check=True)
        result = lab.run(lab.small, target, False)
        expect_consistent(result, target, "Backup failed with error code 30.")
        rows.append(("read-only folder", "original on a read-only tmpfs", result))


def read_only_or_locked_original(lab, rows):
    """A read-only original is refused (a backup made before the refusal stays, holding the
    original); one that another process holds an exclusive flock on is left alone."""
    for backup in (False, True):
        target = lab.copy(lab.small, "read-only")
        os.chmod(target, 0o444)
        result = lab.run(lab.small, target, backup)
        expect_consistent(result, target, "Backup failed with error code 13.")
        if backup and result.backup != "old":
            raise Failure("the backup made before the refusal should stay, holding the original")
        rows.append(("read-only original" + mode(backup), "chmod 444", result))
    target = lab.copy(lab.small, "locked")
    with open(target, "r+b") as holder:
        fcntl.flock(holder, fcntl.LOCK_EX)
        result = lab.run(lab.small, target, False)
    expect_consistent(result, target, "[err], ")
    rows.append(("original locked by another process", "flock LOCK_EX held by a writer", result))


def after_kill(lab, target, backup, result):
    """Whatever a killed run left, the original's bytes are on disk: a damaged file (only an
    in-place overwrite may leave one) is reported on either of its names with the place of its
    complete copy, and once the copy is put back, as the message asks, the next run repairs the
    file and clears a kept copy away."""
    folder = os.path.dirname(target)
    kept = target + ".patchdoc-original"
    copy = os.path.splitext(target)[0] + " (Backup).ppt" if backup else kept
    for path in result.leftovers:
        os.remove(path)
    if result.backup == "partial":
        raise Failure("a killed run left a partial copy under the backup name")
    if os.path.exists(kept) and read(kept) != lab.old[lab.large]:
        raise Failure("a killed run left a partial kept original")
    if result.original == "CORRUPT":
        other = os.path.join(folder, "other name.ppt")
        if not os.path.exists(other):
            raise Failure("original holds neither its old nor its repaired bytes")
        if not os.path.exists(copy) or read(copy) != lab.old[lab.large]:
            raise Failure("damaged original with no complete copy of its old bytes")
        expected = ("[err], An earlier repair of this file was interrupted; its original content "
                    "is in %s." % copy)
        for name in (other, target):
            again = lab.run(lab.large, name, False)
            if again.code != 1 or not again.out.startswith(expected):
                raise Failure("run on %s after an interrupted overwrite: exit %d, %r"
                              % (os.path.basename(name), again.code, again.out))
        shutil.copyfile(copy, target)
    again = lab.run(lab.large, target, False)
    if again.original != "repaired" or again.code not in (0, 2):
        raise Failure("run after a kill: exit %d, original %s" % (again.code, again.original))
    if os.path.exists(kept):
        raise Failure("the kept original outlived the run after the kill")


def killed_at_random_points(lab, rows):
    """SIGKILL after random delays spread over whole runs of the large input, and of runs that
    overwrite a hard-linked original in place."""
    for linked in (False, True):
        target = lab.copy(lab.large, "killed", linked)
        started = time.monotonic()
        lab.run(lab.large, target, False)
        duration = time.monotonic() - started
        generator = random.Random(1 + linked)
        for backup in (False, True):
            outcomes = {"old": 0, "repaired": 0, "CORRUPT": 0}
            left_runs = 0
            for _ in range(KILLS_PER_MODE):
                target = lab.copy(lab.large, "killed", linked)
                process = lab.start(target, backup)
                time.sleep(generator.uniform(0, duration * 1.1))
                process.kill()
                process.communicate()
                result = lab.examine(lab.large, target, process.returncode, "")
                outcomes[result.original] += 1
                left_runs += 1 if result.leftovers else 0
                after_kill(lab, target, backup, result)
            summary = SimpleNamespace(
                code="-9", out="", backup="never partial" if backup else "n/a",
                original="old {old}, repaired {repaired}, damaged {CORRUPT} (copy on disk)"
                .format(**outcomes),
                leftovers=["%d of %d runs left a kvf*.tmp" % (left_runs, KILLS_PER_MODE)])
            rows.append(("%sSIGKILL x%d (run %.2f s)%s"
                         % ("hard-linked original, " if linked else "", KILLS_PER_MODE, duration,
                            mode(backup)), "kill after uniform random delay", summary))


def run_watched(lab, backup, changes, act):
    """Runs Patchdoc on a hard-linked copy of the large input and calls act(process, target)
    after the `changes`th change of the file's content: a thread of its own reads the watch at
    once, so that no two changes merge into one event. The file and the outcome."""
    target = lab.copy(lab.large, "inplace", True)
    libc = ctypes.CDLL(None, use_errno=True)
    watch = libc.inotify_init1(0)
    if watch < 0 or libc.inotify_add_watch(watch, target.encode(), 0x2) < 0:  # IN_MODIFY
        raise Failure("cannot watch the file")
    started, running = [], threading.Event()

    def watcher():
        for _ in range(changes):
            os.read(watch, 4096)
        running.wait()
        act(started[0], target)

    thread = threading.Thread(target=watcher, daemon=True)
    thread.start()
    started.append(lab.start(target, backup))
    running.set()
    out, _ = started[0].communicate(timeout=300)
    thread.join(10)
    if thread.is_alive():
        raise Failure("the watcher never acted")
    os.close(watch)
    return target, lab.examine(lab.large, target, started[0].returncode, out)


def killed_once_the_overwrite_began(lab, rows):
    """SIGKILL at the second change of a hard-linked original's content: the first change is the
    space taken for the new content, the second its first bytes."""
    for backup in (False, True):
        target, result = run_watched(lab, backup, 2, lambda process, _: process.kill())
        if result.original != "CORRUPT":
            raise Skip("the overwrite ended before the kill arrived")
        after_kill(lab, target, backup, result)
        result.code, result.out = "-9", "next run, either name: interrupted, copy named"
        rows.append(("hard-linked original, SIGKILL once the overwrite began" + mode(backup),
                     "kill at the second content change", result))


def concurrent_writer_during_in_place_overwrite(lab, rows):
    """Another program appends to a hard-linked original the moment its in-place overwrite
    begins. The run holds a write lease (root or the owner may take one), so the program's open
    waits and its save lands after the complete repair: the file ends as the repair followed by
    the save, never a mix, and a backup holds the old bytes."""
    saved = "saved by another program"

    def append(_, target):
        with open(target, "ab") as f:
            f.write(saved.encode())

    for backup in (False, True):
        target, result = run_watched(lab, backup, 1, append)
        if read(target) != lab.repaired[lab.large] + saved.encode():
            raise Failure("the file is not the repair followed by the save (exit %d, %r)"
                          % (result.code, result.out))
        if result.code != 0 or result.out != "[fixed], %s\n" % target or result.leftovers:
            raise Failure("exit %d, line %r, leftovers %s"
                          % (result.code, result.out, result.leftovers))
        if backup and result.backup != "old":
            raise Failure("the backup does not hold the old bytes")
        result.original = "repaired, then the save"
        rows.append(("hard-linked original, concurrent writer" + mode(backup),
                     "append when the overwrite begins", result))


CASES = [full_disk, unwritable_folders, read_only_or_locked_original, killed_at_random_points,
         killed_once_the_overwrite_began, concurrent_writer_during_in_place_overwrite]


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 1
    root = tempfile.mkdtemp(prefix="faults.")
    counts, rows = {"PASS": 0, "FAIL": 0, "SKIP": 0}, []
    try:
        lab = Lab(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), root)
        print("Injecting faults into whole runs of Patchdoc: %d cases, about 2 minutes" % len(CASES))
        for case in CASES:
            print("%s..." % case.__name__)
            try:
                case(lab, rows)
                verdict, reason = "PASS", ""
            except (Skip, Failure) as problem:
                verdict, reason = "SKIP" if isinstance(problem, Skip) else "FAIL", ": %s" % problem
            counts[verdict] += 1
            print("%s %s%s" % (verdict, case.__name__, reason))
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("\n| case | injection | original | exit | line | leftovers | backup |")
    print("|---|---|---|---|---|---|---|")
    for name, how, r in rows:
        line = r.out.replace("\n", "\\n").strip().replace(root, "…")
        left = ", ".join(x.replace(root, "…") for x in r.leftovers) or "none"
        print("| %s | %s | %s | %s | %s | %s | %s |"
              % (name, how, r.original, r.code, line, left, r.backup))
    print("\n{PASS} passed, {FAIL} failed, {SKIP} skipped".format(**counts))
    return 1 if counts["FAIL"] else 77 if counts["PASS"] == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
