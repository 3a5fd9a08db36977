#!/usr/bin/python3
"""Injects faults into whole runs of Patchdoc.

    fault_injection.py PATCHDOC MAKE_FAULT_INPUT

In every case the original must hold either its old bytes or exactly the bytes of an undisturbed
repair of it, the exit code and result line must say which, and a run that finished must leave no
kvf*.tmp file behind (a killed one may; those are counted). Cases the machine cannot do are
skipped with the reason. Prints the matrix (case, injection, original, exit code, line,
leftovers), then "N passed, N failed, N skipped". Exits 0 when nothing failed, 77 when every case
was skipped.
"""
import contextlib
import os
import random
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SMALL_PICTURES = 64 * 1024
LARGE_PICTURES = 48 * 1024 * 1024
KILLS_PER_MODE = 20


class Skip(Exception):
    pass


class Failure(Exception):
    pass


class Result:
    def __init__(self, code, out, original, leftovers, backup):
        # original: "old", "repaired" or "CORRUPT"; backup: "none", "old" or "partial"
        self.code, self.out, self.original = code, out, original
        self.leftovers, self.backup = leftovers, backup

    def line(self):
        return self.out.replace("\n", "\\n").strip()


class Lab:
    def __init__(self, patchdoc, make_input, root):
        self.patchdoc = patchdoc
        self.root = root
        self.tmp = os.path.join(root, "tmp")  # TMPDIR of every run unless a case sets one
        os.makedirs(self.tmp)
        self.small = os.path.join(root, "small.ppt")
        self.large = os.path.join(root, "large.ppt")
        subprocess.run([make_input, self.small, str(SMALL_PICTURES)], check=True)
        subprocess.run([make_input, self.large, str(LARGE_PICTURES)], check=True)
        self.old = {}
        self.repaired = {}
        for source in (self.small, self.large):
            self.old[source] = read(source)
            self.repaired[source] = self.reference(source)

    def reference(self, source):
        """The bytes of an undisturbed repair, made twice to be sure they do not vary."""
        outputs = []
        for attempt in range(2):
            target = self.copy(source, "reference%d" % attempt)
            done = subprocess.run([self.patchdoc, "-d", target], capture_output=True, text=True)
            if done.returncode != 0 or done.stdout != "[fixed], %s\n" % target:
                raise Failure("reference repair: exit %d, %r" % (done.returncode, done.stdout))
            outputs.append(read(target))
        if outputs[0] != outputs[1]:
            raise Failure("two undisturbed repairs of one file differ")
        return outputs[0]

    def folder(self, name):
        path = os.path.join(self.root, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def copy(self, source, folder):
        """A copy of source as deck.ppt in folder, a fresh folder of the lab when given a name."""
        if not os.path.isabs(folder):
            folder = self.folder(folder)
        target = os.path.join(folder, "deck.ppt")
        shutil.copyfile(source, target)
        return target

    def start(self, target, backup, env=None, limit=None):
        def prepare():
            if limit is not None:
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit, resource.RLIM_INFINITY))

        arguments = [self.patchdoc, target] if backup else [self.patchdoc, "-d", target]
        if env is None:
            env = dict(os.environ, TMPDIR=self.tmp)
        return subprocess.Popen(arguments, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                text=True, env=env, preexec_fn=prepare)

    def run(self, source, target, backup, env=None, limit=None, tmpdir=None):
        process = self.start(target, backup, env, limit)
        out, _ = process.communicate(timeout=300)
        return self.examine(source, target, process.returncode, out, tmpdir)

    def examine(self, source, target, code, out, tmpdir=None):
        data = read(target)
        original = ("old" if data == self.old[source]
                    else "repaired" if data == self.repaired[source] else "CORRUPT")
        folders = {os.path.dirname(target), self.tmp}
        if tmpdir:
            folders.add(tmpdir)
        leftovers = sorted(os.path.join(f, n) for f in folders if os.path.isdir(f)
                           for n in os.listdir(f) if n.startswith("kvf") and n.endswith(".tmp"))
        backup_path = os.path.splitext(target)[0] + " (Backup).ppt"
        backup = ("none" if not os.path.exists(backup_path)
                  else "old" if read(backup_path) == self.old[source] else "partial")
        return Result(code, out, original, leftovers, backup)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def expect_consistent(result, target, finished=True):
    """The original is old or repaired, and the exit code and line agree with which."""
    if result.original == "CORRUPT":
        raise Failure("original holds neither its old nor its repaired bytes")
    if not finished:
        return
    if result.leftovers:
        raise Failure("temporary files left: %s" % result.leftovers)
    if result.code == 0:
        if result.original != "repaired" or result.out != "[fixed], %s\n" % target:
            raise Failure("exit 0 but original %s, line %r" % (result.original, result.out))
    elif result.code == 1:
        if result.original != "old" or not result.out.endswith(target + "\n"):
            raise Failure("exit 1 but original %s, line %r" % (result.original, result.out))
    else:
        raise Failure("exit code %d, line %r" % (result.code, result.out))


def expect_failure(result, target, prefix):
    expect_consistent(result, target)
    if result.code != 1 or not result.out.startswith(prefix):
        raise Failure("expected exit 1 and a line starting %r, got %d %r"
                      % (prefix, result.code, result.out))


class Mount:
    """A small tmpfs, for root only, unmounted when the with block ends; read_only after the
    given files were copied in."""

    def __init__(self, path, size, files=(), read_only=False):
        if os.geteuid() != 0:
            raise Skip("mounting a small file system needs root")
        os.makedirs(path, exist_ok=True)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", path],
                              capture_output=True, text=True)
        if done.returncode != 0:
            raise Skip("cannot mount a tmpfs here: " + done.stderr.strip())
        self.path = path
        for source, name in files:
            shutil.copyfile(source, os.path.join(path, name))
        if read_only:
            subprocess.run(["mount", "-o", "remount,ro", path], check=True)

    def fill(self, keep_free):
        """Fills the file system until about keep_free bytes are left."""
        stat = os.statvfs(self.path)
        free = stat.f_bavail * stat.f_frsize
        with open(os.path.join(self.path, "filler"), "wb") as f:
            f.write(b"\0" * max(0, free - keep_free))

    def __enter__(self):
        return self

    def __exit__(self, *error):
        subprocess.run(["umount", self.path], check=False)


def full_disk_by_file_size_limit(lab, rows):
    """RLIMIT_FSIZE at many sizes, SIGXFSZ ignored: every write past the limit fails (EFBIG)."""
    size = len(lab.old[lab.small])
    limits = sorted({0, 512, 4096, size // 4, size // 2, size - 1, size, size + 4096,
                     len(lab.repaired[lab.small]) - 1, 2 * size})
    for backup in (False, True):
        for limit in limits:
            target = lab.copy(lab.small, "fsize")
            result = lab.run(lab.small, target, backup, limit=limit)
            expect_consistent(result, target)
            if limit < size and result.code != 1:
                raise Failure("limit %d below the file size, yet exit %d" % (limit, result.code))
            if result.code == 1 and result.backup == "partial":
                raise Failure("a failed backup copy was left behind")
            rows.append(("full disk (file size limit %d B)%s" % (limit, mode(backup)),
                         "RLIMIT_FSIZE=%d, SIGXFSZ ignored" % limit, result))


def full_disk_with_hard_link(lab, rows):
    """An original with a second name is overwritten in place; a full disk must refuse that
    before any byte changes, under a file size limit and on a filled-up file system."""
    size = len(lab.old[lab.small])
    repaired = len(lab.repaired[lab.small])
    injections = [("RLIMIT_FSIZE=%d, SIGXFSZ ignored" % limit, limit, None)
                  for limit in (size // 2, size + 1, repaired - 1, repaired + 4096)]
    injections += [("tmpfs filled to %d B free" % free, None, free) for free in (0, size)]
    for how, limit, free in injections:
        with contextlib.ExitStack() as stack:
            mount = None if free is None else stack.enter_context(
                Mount(os.path.join(lab.root, "linked-fs"), 4 * size + (1 << 20)))
            folder = lab.folder("linked") if mount is None else mount.path
            target = lab.copy(lab.small, folder)
            other = os.path.join(folder, "other name.ppt")
            os.link(target, other)
            if mount:
                mount.fill(free)
            result = lab.run(lab.small, target, False, limit=limit)
            expect_consistent(result, target)
            if read(other) != read(target):
                raise Failure("the other name no longer shows the same file")
            rows.append(("hard-linked original, full disk", how, result))


def full_disk_by_small_file_system(lab, rows):
    """The original on a tmpfs that is then filled up to a few free bytes."""
    size = len(lab.old[lab.small])
    for backup in (False, True):
        for keep_free in (0, 8192, size // 2, size + 8192):
            with Mount(os.path.join(lab.root, "small-fs"), 4 * size + (1 << 20),
                       [(lab.small, "deck.ppt")]) as mount:
                mount.fill(keep_free)
                target = os.path.join(mount.path, "deck.ppt")
                result = lab.run(lab.small, target, backup, tmpdir=mount.path)
                expect_consistent(result, target)
                rows.append(("full disk (%d B free)%s" % (keep_free, mode(backup)),
                             "tmpfs filled up", result))


def unwritable_temporary_folder(lab, rows):
    """TMPDIR that takes no file: the embedded presentation cannot be unpacked. Permission bits
    stop everyone but root; root gets a read-only file system."""
    with contextlib.ExitStack() as stack:
        if os.geteuid() == 0:
            tmpdir = stack.enter_context(
                Mount(os.path.join(lab.root, "ro-tmp"), 1 << 20, read_only=True)).path
            how = "TMPDIR on a read-only tmpfs"
        else:
            tmpdir, how = lab.folder("ro-tmp"), "TMPDIR a folder of mode 555"
            os.chmod(tmpdir, 0o555)
            stack.callback(os.chmod, tmpdir, 0o755)
        target = lab.copy(lab.small, "unwritable-tmp")
        env = dict(os.environ, TMPDIR=tmpdir)
        result = lab.run(lab.small, target, False, env=env, tmpdir=tmpdir)
        expect_failure(result, target, "[err], Temporary file creation failed")
        rows.append(("unwritable temporary folder", how, result))


def read_only_folder(lab, rows):
    """The original's folder on a read-only file system: nothing may be written there."""
    with Mount(os.path.join(lab.root, "ro-folder"), 1 << 20, [(lab.small, "deck.ppt")],
               read_only=True) as mount:
        target = os.path.join(mount.path, "deck.ppt")
        result = lab.run(lab.small, target, False, tmpdir=mount.path)
        expect_failure(result, target, "Backup failed with error code 30.")
        rows.append(("read-only folder", "original on a read-only tmpfs", result))


def read_only_original(lab, rows):
    for backup in (False, True):
        target = lab.copy(lab.small, "read-only")
        os.chmod(target, 0o444)
        result = lab.run(lab.small, target, backup)
        expect_failure(result, target, "Backup failed with error code 13.")
        if backup and result.backup != "old":
            raise Failure("the backup made before the refusal should stay, holding the original")
        rows.append(("read-only original" + mode(backup), "chmod 444", result))


def locked_original(lab, rows):
    target = lab.copy(lab.small, "locked")
    holder = subprocess.Popen(
        [sys.executable, "-c",
         "import fcntl,sys\nf=open(sys.argv[1],'r+b')\nfcntl.flock(f,fcntl.LOCK_EX)\n"
         "print('locked',flush=True)\nsys.stdin.read()", target],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        if holder.stdout.readline().strip() != "locked":
            raise Failure("the lock holder did not start")
        result = lab.run(lab.small, target, False)
    finally:
        holder.stdin.close()
        holder.wait()
    expect_failure(result, target, "[err], ")
    rows.append(("original locked by another process", "flock LOCK_EX held by a writer", result))


def killed_at_random_points(lab, rows):
    """SIGKILL after random delays spread over a whole run of the large input."""
    target = lab.copy(lab.large, "killed")
    started = time.monotonic()
    lab.run(lab.large, target, False)
    duration = time.monotonic() - started
    generator = random.Random(1)
    for backup in (False, True):
        outcomes = {"old": 0, "repaired": 0}
        left_runs = 0
        for _ in range(KILLS_PER_MODE):
            target = lab.copy(lab.large, "killed")
            process = lab.start(target, backup)
            time.sleep(generator.uniform(0, duration * 1.1))
            process.kill()
            process.communicate()
            result = lab.examine(lab.large, target, process.returncode, "")
            expect_consistent(result, target, finished=False)
            outcomes[result.original] += 1
            left_runs += 1 if result.leftovers else 0
            for path in result.leftovers:
                os.remove(path)
            if result.backup == "partial":
                raise Failure("a killed run left a partial copy under the backup name")
            # A later run over the same file is not disturbed by what the killed one left.
            again = lab.run(lab.large, target, False)
            if again.original != "repaired" or again.code not in (0, 2):
                raise Failure("run after a kill: exit %d, original %s"
                              % (again.code, again.original))
        summary = Result("-9", "", "old %d, repaired %d" % (outcomes["old"], outcomes["repaired"]),
                         ["%d of %d runs left a kvf*.tmp" % (left_runs, KILLS_PER_MODE)],
                         "never partial" if backup else "n/a")
        rows.append(("SIGKILL x%d (run %.2f s)%s" % (KILLS_PER_MODE, duration, mode(backup)),
                     "kill after uniform random delay", summary))


# Waits for the content of a file to change COUNT times, then either appends TEXT to it or,
# given "-9", kills the process whose id comes on standard input; says so on standard output.
#   python3 -c WATCHER FILE COUNT TEXT|-9
WATCHER = r"""
import ctypes, os, signal, sys
libc = ctypes.CDLL(None, use_errno=True)
watch = libc.inotify_init1(0)
if watch < 0 or libc.inotify_add_watch(watch, sys.argv[1].encode(), 0x2) < 0:  # IN_MODIFY
    sys.exit(1)
print("watching", flush=True)
pid = int(sys.stdin.readline())
for _ in range(int(sys.argv[2])):
    os.read(watch, 4096)
if sys.argv[3] == "-9":
    os.kill(pid, signal.SIGKILL)
else:
    with open(sys.argv[1], "ab") as f:
        f.write(sys.argv[3].encode())
print("done", flush=True)
"""


def run_watched(lab, target, backup, changes, action):
    """Runs Patchdoc on target while the watcher acts after `changes` changes of its content."""
    watcher = subprocess.Popen([sys.executable, "-c", WATCHER, target, str(changes), action],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        if watcher.stdout.readline().strip() != "watching":
            raise Failure("the watcher did not start")
        process = lab.start(target, backup)
        watcher.stdin.write("%d\n" % process.pid)
        watcher.stdin.flush()
        out, _ = process.communicate(timeout=300)
        if watcher.stdout.readline().strip() != "done":
            raise Failure("the watcher never acted")
    finally:
        watcher.kill()
        watcher.wait()
    return process.returncode, out


def hard_linked_copy(lab):
    target = lab.copy(lab.large, "inplace")
    other = os.path.join(os.path.dirname(target), "other name.ppt")
    os.link(target, other)
    return target, other


def after_kill_during_overwrite(lab, target, other, backup, result):
    """Whatever a killed in-place overwrite left, the original's bytes are on disk, a damaged file
    is reported on either of its names with the place of its copy, and once the copy is put back
    (as the message asks) the next run repairs the file and clears the kept copy away."""
    kept = target + ".patchdoc-original"
    copy = os.path.splitext(target)[0] + " (Backup).ppt" if backup else kept
    for path in result.leftovers:
        os.remove(path)
    if result.backup == "partial":
        raise Failure("a killed run left a partial copy under the backup name")
    if os.path.exists(kept) and read(kept) != lab.old[lab.large]:
        raise Failure("a killed run left a partial kept original")
    if result.original == "CORRUPT":
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


def killed_during_in_place_overwrite(lab, rows):
    """SIGKILL at random points of runs that overwrite a hard-linked original in place, and once
    just after the overwrite has begun (timed by the file's own change events)."""
    target, _ = hard_linked_copy(lab)
    started = time.monotonic()
    lab.run(lab.large, target, False)
    duration = time.monotonic() - started
    generator = random.Random(2)
    for backup in (False, True):
        outcomes = {"old": 0, "repaired": 0, "CORRUPT": 0}
        for _ in range(KILLS_PER_MODE):
            target, other = hard_linked_copy(lab)
            process = lab.start(target, backup)
            time.sleep(generator.uniform(0, duration * 1.1))
            process.kill()
            process.communicate()
            result = lab.examine(lab.large, target, process.returncode, "")
            outcomes[result.original] += 1
            after_kill_during_overwrite(lab, target, other, backup, result)
        summary = Result("-9", "", "old %d, repaired %d, damaged %d (copy on disk)"
                         % (outcomes["old"], outcomes["repaired"], outcomes["CORRUPT"]), [],
                         "never partial" if backup else "n/a")
        rows.append(("hard-linked original, SIGKILL x%d%s" % (KILLS_PER_MODE, mode(backup)),
                     "kill during an in-place overwrite", summary))
        # The first change is the space taken for the new content, the second its first bytes.
        target, other = hard_linked_copy(lab)
        code, out = run_watched(lab, target, backup, 2, "-9")
        result = lab.examine(lab.large, target, code, out)
        if result.original != "CORRUPT":
            raise Skip("the overwrite ended before the kill arrived")
        after_kill_during_overwrite(lab, target, other, backup, result)
        result.code, result.out = "-9", "next run, either name: interrupted, copy named"
        rows.append(("hard-linked original, SIGKILL once the overwrite began" + mode(backup),
                     "kill at the second content change", result))


def concurrent_writer_during_in_place_overwrite(lab, rows):
    """Another program appends to a hard-linked original the moment its in-place overwrite
    begins. The run holds a write lease (root or the owner may take one), so the program's open
    waits and its save lands after the complete repair: the file ends as the repair followed by
    the save, never a mix, and a backup holds the old bytes."""
    saved = "saved by another program"
    for backup in (False, True):
        target, _ = hard_linked_copy(lab)
        code, out = run_watched(lab, target, backup, 1, saved)
        if read(target) != lab.repaired[lab.large] + saved.encode():
            raise Failure("the file is not the repair followed by the save (exit %d, %r)"
                          % (code, out))
        result = lab.examine(lab.large, target, code, out)
        result.original = "repaired, then the save"
        if code != 0 or out != "[fixed], %s\n" % target or result.leftovers:
            raise Failure("exit %d, line %r, leftovers %s" % (code, out, result.leftovers))
        if backup and result.backup != "old":
            raise Failure("the backup does not hold the old bytes")
        rows.append(("hard-linked original, concurrent writer" + mode(backup),
                     "append when the overwrite begins", result))


def mode(backup):
    return ", with backup" if backup else ", -d"


CASES = [
    full_disk_by_file_size_limit,
    full_disk_by_small_file_system,
    full_disk_with_hard_link,
    unwritable_temporary_folder,
    read_only_folder,
    read_only_original,
    locked_original,
    killed_at_random_points,
    killed_during_in_place_overwrite,
    concurrent_writer_during_in_place_overwrite,
]


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 1
    root = tempfile.mkdtemp(prefix="faults.")
    passed = failed = skipped = 0
    rows = []
    try:
        lab = Lab(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), root)
        print("Injecting faults into whole runs of Patchdoc: %d cases, about 2 minutes" % len(CASES))
        for case in CASES:
            print("%s..." % case.__name__)
            try:
                case(lab, rows)
                print("PASS %s" % case.__name__)
                passed += 1
            except Skip as reason:
                print("SKIP %s: %s" % (case.__name__, reason))
                skipped += 1
            except Failure as reason:
                print("FAIL %s: %s" % (case.__name__, reason))
                failed += 1
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("\n| case | injection | original | exit | line | leftovers | backup |")
    print("|---|---|---|---|---|---|---|")
    for name, how, r in rows:
        line = r.line().replace(root, "…")
        left = ", ".join(x.replace(root, "…") for x in r.leftovers) or "none"
        print("| %s | %s | %s | %s | %s | %s | %s |"
              % (name, how, r.original, r.code, line, left, r.backup))
    print("\n%d passed, %d failed, %d skipped" % (passed, failed, skipped))
    if failed:
        return 1
    return 77 if passed == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
