#!/usr/bin/python3
"""Checks the README and the manual pages against the programs. documented_texts.txt lists each
program text they quote, the pages that quote it and how the program is checked for it: by
running the programs (a scenario below) or by its pieces in the strings of the source. A page
that quotes a message missing from that list fails too. The manual pages must also render
without a groff warning, have the sections a reader looks for, and Patchtree(1) must carry the
README's nightly batch example line for line.

Usage: check_documented_texts.py SOURCE_FOLDER PATCHDOC PATCHTREE MAKE_SAMPLE"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

PAGES = ("README", "Patchdoc.1", "Patchtree.1")
SECTIONS = ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "BACKUPS", "OUTPUT", "EXIT STATUS",
            "ENVIRONMENT", "FILES", "EXAMPLES")
# A placeholder <...> or an example value {...}: any text in the program that starts and ends
# with a visible character.
MARK = re.compile(r"<[^<>]+>|\{[^{}]*\}")
ANY = r"\S(?:.*?\S)?"
ESCAPES = {"n": "\n", "t": "\t", '"': '"', "\\": "\\", "'": "'"}

failures = []


def fail(text):
    failures.append(text)
    print("FAIL " + text)


def flat(text):
    return " ".join(text.split())


def as_in_pages(text):
    return re.sub(r"\{([^{}]*)\}", r"\1", text)


def groff(page, *options):
    return subprocess.run(["groff", "-man", *options], input=page, capture_output=True,
                          text=True)


def render(page):
    return groff(page, "-Tascii", "-P-cbou", "-rLL=5000n").stdout


def read_pages(source):
    """Each page's whole text, and its prose: a manual page without its examples, the README
    without its code blocks. Checks the manual pages' form on the way."""
    with open(os.path.join(source, "README.md"), encoding="utf-8") as readme:
        text = readme.read()
    pages = {"README": text}
    prose = {"README": re.sub(r"^```.*?^```", "", text, flags=re.S | re.M)}
    for page in PAGES[1:]:
        with open(os.path.join(source, "man", page), encoding="utf-8") as roff:
            text = roff.read()
        warnings = groff(text, "-ww", "-z")
        if warnings.returncode or warnings.stderr:
            fail(f"groff warns about {page}:\n{warnings.stderr}")
        pages[page] = render(text)
        prose[page] = render(re.sub(r"^\.EX$.*?^\.EE$", "", text, flags=re.S | re.M))
        for section in SECTIONS + (("LOG FILE",) if page == "Patchtree.1" else ()):
            if section not in pages[page].splitlines():
                fail(f"{page} has no section {section}")
    nightly = re.search(r"^A nightly batch.*?^```.*?\n(.*?)^```", pages["README"], re.S | re.M)
    if not nightly:
        fail("README.md has no nightly batch example")
    shown = [line.lstrip() for line in pages["Patchtree.1"].splitlines()]
    for line in nightly.group(1).splitlines() if nightly else []:
        if line not in shown:
            fail(f"Patchtree.1 lacks the README's example line: {line}")
    return pages, prose


def quoted_messages(page, prose):
    """The texts a page quotes as messages: double-quoted ones in a manual page, and in the
    README the spans in backquotes that are result lines or sentences."""
    if page != "README":
        return [q for q in re.findall(r'"([^"]*)"', flat(prose)) if re.search("[A-Za-z]", q)]
    spans = [flat(s) for s in re.findall(r"`([^`]+)`", prose)]
    return [s for s in spans if re.match(r"\[\w+\], ", s)
            or (" " in s.strip() and (s.endswith(".") or s.endswith(": ")))]


def source_strings(source):
    """Every string of the C++ sources, adjacent literals joined (comments between them too),
    escapes decoded."""
    token = re.compile(r'//[^\n]*|/\*.*?\*/|\'(?:\\.|[^\\\'])*\'|"((?:\\.|[^\\"\n])*)"|(\s+)|.',
                       re.S)
    strings = []
    for folder, _, names in os.walk(os.path.join(source, "src")):
        for name in (name for name in names if name.endswith((".cpp", ".h"))):
            with open(os.path.join(folder, name), encoding="utf-8") as code:
                current = None
                for match in token.finditer(code.read() + ";"):
                    if match.group(1) is not None:
                        current = (current or "") + re.sub(
                            r"\\(.)", lambda e: ESCAPES.get(e.group(1), ""), match.group(1))
                    elif match.group(2) is None and not match.group(0).startswith("/"):
                        strings += [current] if current is not None else []
                        current = None
    return strings


class Scratch:
    """A scratch folder for one scenario: runs the programs there, and notes the values of the
    placeholders it learns in `bound`."""

    def __init__(self, folder, patchdoc, patchtree, make_sample):
        self.folder, self.patchdoc, self.patchtree = folder, patchdoc, patchtree
        self.make_sample = make_sample
        self.bound = {}

    def path(self, name, binding=None):
        path = os.path.join(self.folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.bound.update({binding: path} if binding else {})
        return path

    def run(self, program, *arguments):
        done = subprocess.run([program, *arguments], capture_output=True, text=True,
                              env=dict(os.environ, HOME=self.folder), errors="replace",
                              cwd=self.folder)
        return done.stdout + done.stderr

    def file(self, name, kind="text", binding=None):
        """A new file: "text" (not a presentation), "sample" (a flattened presentation) or
        "repaired" (one repaired)."""
        path = self.path(name, binding)
        if kind == "text":
            with open(path, "w") as text:
                text.write("Not a presentation.\n")
        else:
            subprocess.run([self.make_sample, path], check=True)
        if kind == "repaired":
            subprocess.run([self.patchdoc, "-d", path], check=True, capture_output=True)
        return path

    def deck(self, kind="sample", *options, runs=1, prepare=lambda path: None):
        """Patchdoc run on a new file."""
        path = self.file("deck.ppt", kind, "path")
        prepare(path)
        return "".join(self.run(self.patchdoc, *options, path) for _ in range(runs))

    def tree_run(self, *arguments, patchtree=None):
        """Patchtree's output, then what it logged."""
        logs = self.path("logs")
        out = self.run(patchtree or self.patchtree, "-l:" + logs, *arguments)
        for name in sorted(os.listdir(logs)) if os.path.isdir(logs) else []:
            with open(os.path.join(logs, name), encoding="utf-16") as log:
                out += log.read()
        return out

    def mixed_tree(self, *options):
        """Patchtree over a flattened presentation, a repaired one and a file that is none."""
        for name, kind in [("flattened", "sample"), ("repaired", "repaired"), ("notes", "text")]:
            self.file(f"tree/{name}.ppt", kind)
        return self.tree_run(*options, self.path("tree"))

    def take_backup_names(self, path):
        for suffix in [""] + [" %d" % n for n in range(1, 10)]:
            self.file("deck (Backup%s).ppt" % suffix)

    def without_patchdoc(self):
        shutil.copy(self.patchtree, self.path("alone/Patchtree"))
        self.path("alone/Patchdoc", "program")
        self.file("tree/notes.ppt")
        return self.tree_run(self.path("tree"), patchtree=self.path("alone/Patchtree"))


SCENARIOS = {
    "usage": lambda s: s.run(s.patchdoc),
    "two-paths": lambda s: s.run(s.patchdoc, "a.ppt", "b.ppt"),
    "only-option": lambda s: s.run(s.patchdoc, "-d"),
    "tree-without-arguments": lambda s: s.run(s.patchtree),
    "tree-with-only-an-option": lambda s: s.run(s.patchtree, "-d"),
    "wrong-jobs": lambda s: s.run(s.patchtree, "-j:300", "tree"),
    "missing": lambda s: s.run(s.patchdoc, s.path("nowhere.ppt", "path")),
    "repair": lambda s: s.deck(runs=2),
    "not-a-presentation": lambda s: s.deck("text"),
    "check": lambda s: s.deck("sample", "-n"),
    "read-only": lambda s: s.deck(prepare=lambda path: os.chmod(path, 0o444)),
    "backup-names-taken": lambda s: s.deck(prepare=s.take_backup_names),
    "folder-is-a-file": lambda s: s.tree_run(s.file("plain/notes.txt", binding="folder")),
    "log-folder-is-a-file": lambda s: s.file("logs", binding="folder") and s.tree_run(s.folder),
    "no-patchdoc": lambda s: s.without_patchdoc(),
    "tree": lambda s: s.mixed_tree(),
    "tree-check": lambda s: s.mixed_tree("-n"),
    "one-file": lambda s: s.file("tree/a.ppt", "sample") and s.tree_run(s.path("tree")),
}


def program_pattern(text, bindings):
    pattern, at = "", 0
    for mark in MARK.finditer(text):
        bound = bindings.get(mark.group(0)[1:-1]) if mark.group(0).startswith("<") else None
        pattern += re.escape(text[at:mark.start()]) + (re.escape(bound) if bound else ANY)
        at = mark.end()
    return re.compile(pattern + re.escape(text[at:]))


def read_table():
    """(line number, pages, check, text) for each line of documented_texts.txt."""
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "documented_texts.txt"), encoding="utf-8") as listing:
        lines = [(n, line.split("|", 2)) for n, line in enumerate(listing, 1)
                 if line.strip() and not line.startswith("#")]
    return [(n, where.split(), check.strip(), text.strip()) for n, (where, check, text) in lines]


def check_program(number, check, text, strings, programs):
    if check == "source":
        for piece in MARK.split(text):
            piece = piece[len("[err], "):] if piece.startswith("[err], ") else piece
            if piece.strip() and not any(piece in s for s in strings):
                fail(f"no string of the source holds {piece!r} (line {number})")
        return
    scenario = SCENARIOS.get(check[4:]) if check.startswith("run ") else None
    if not scenario:
        return fail(f"line {number}: no such check: {check}")
    with tempfile.TemporaryDirectory() as folder:
        scratch = Scratch(folder, *programs)
        output = scenario(scratch)
    if not any(program_pattern(text, scratch.bound).search(line) for line in output.splitlines()):
        fail(f"{check} does not print {text!r}; it printed:\n{output}")


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    source, programs = sys.argv[1], sys.argv[2:]
    pages, prose = read_pages(source)
    strings = source_strings(source)
    table = read_table()
    for number, where, check, text in table:
        for page in where:
            if page not in PAGES:
                fail(f"line {number}: no page {page}")
            elif flat(as_in_pages(text)) not in flat(pages[page]):
                fail(f"{page} does not quote: {as_in_pages(text)}")
        check_program(number, check, text, strings, programs)
    for page in PAGES:
        documented = [flat(as_in_pages(text)) for _, where, _, text in table if page in where]
        for quoted in quoted_messages(page, prose[page]):
            if not any(quoted in known for known in documented):
                fail(f"{page} quotes a text that documented_texts.txt does not list: {quoted}")
    if failures:
        print(f"{len(failures)} failures")
        return 1
    print(f"All {len(table)} documented texts are quoted and written as the programs write them; "
          "the manual pages are clean and complete.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
