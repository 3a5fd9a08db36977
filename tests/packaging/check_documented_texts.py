#!/usr/bin/python3
"""Checks that the README and the manual pages quote the programs' texts as the programs write
them. documented_texts.txt lists each quoted text with the pages that quote it and how the
program is checked for it: by running the programs (a scenario below) or by its pieces in the
strings of the source. A page that quotes a message missing from that list fails too.

Usage: check_documented_texts.py SOURCE_FOLDER PATCHDOC PATCHTREE MAKE_SAMPLE"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

PAGES = ("README", "Patchdoc.1", "Patchtree.1")
# A placeholder <...> or an example value {...}: any text in the program that starts and ends
# with a visible character.
MARK = re.compile(r"<[^<>]+>|\{[^{}]*\}")
ANY = r"\S(?:.*?\S)?"

failures = []


def fail(text):
    failures.append(text)
    print("FAIL " + text)


def flat(text):
    return " ".join(text.split())


def as_in_pages(text):
    return re.sub(r"\{([^{}]*)\}", r"\1", text)


def render(page):
    return subprocess.run(["groff", "-man", "-Tascii", "-P-cbou", "-rLL=5000n"], input=page,
                          check=True, capture_output=True, text=True).stdout


def read_pages(source):
    """Each page's whole text, and its prose: a manual page without its examples, the README
    without its code blocks."""
    with open(os.path.join(source, "README.md"), encoding="utf-8") as readme:
        text = readme.read()
    pages = {"README": text}
    prose = {"README": re.sub(r"^```.*?^```", "", text, flags=re.S | re.M)}
    for page in PAGES[1:]:
        with open(os.path.join(source, "man", page), encoding="utf-8") as roff:
            text = roff.read()
        pages[page] = render(text)
        prose[page] = render(re.sub(r"^\.EX$.*?^\.EE$", "", text, flags=re.S | re.M))
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
    """Every string of the C++ sources, adjacent literals joined, escapes decoded."""
    token = re.compile(r'//[^\n]*|/\*.*?\*/|\'(?:\\.|[^\\\'])*\'|"((?:\\.|[^\\"\n])*)"|(\s+)|.',
                       re.S)
    escapes = {"n": "\n", "t": "\t", '"': '"', "\\": "\\", "'": "'"}
    strings = []
    for folder, _, names in os.walk(os.path.join(source, "src")):
        for name in names:
            if not name.endswith((".cpp", ".h")):
                continue
            with open(os.path.join(folder, name), encoding="utf-8") as code:
                current = None
                for match in token.finditer(code.read()):
                    if match.group(1) is not None:
                        piece = re.sub(r"\\(.)", lambda e: escapes.get(e.group(1), ""),
                                       match.group(1))
                        current = (current or "") + piece
                    elif match.group(2) is None and not match.group(0).startswith("/"):
                        if current is not None:
                            strings.append(current)
                        current = None
                if current is not None:
                    strings.append(current)
    return strings


# Scenarios that run one program with fixed arguments: the program and its arguments.
FIXED = {
    "usage": ("patchdoc",),
    "two_paths": ("patchdoc", "a.ppt", "b.ppt"),
    "only_option": ("patchdoc", "-d"),
    "tree_without_arguments": ("patchtree",),
    "tree_with_only_an_option": ("patchtree", "-d"),
    "wrong_jobs": ("patchtree", "-j:300", "tree"),
}


class Scenarios:
    """Runs of the programs in a scratch folder; each returns what they printed and logged, and
    the values of the placeholders it knows."""

    def __init__(self, patchdoc, patchtree, make_sample, scratch):
        self.patchdoc, self.patchtree, self.make_sample = patchdoc, patchtree, make_sample
        self.scratch = scratch
        self.env = dict(os.environ, HOME=scratch)

    def run(self, program, *arguments):
        done = subprocess.run([program, *arguments], capture_output=True, text=True,
                              env=self.env, errors="replace", cwd=self.scratch)
        return done.stdout + done.stderr

    def file(self, folder, name, kind="text"):
        """A new file in a folder of the scratch folder, made when missing: "text" (not a
        presentation), "sample" (a flattened presentation) or "repaired" (one repaired)."""
        os.makedirs(os.path.join(self.scratch, folder), exist_ok=True)
        path = os.path.join(self.scratch, folder, name)
        if kind == "text":
            with open(path, "w") as text:
                text.write("Not a presentation.\n")
        else:
            subprocess.run([self.make_sample, path], check=True)
        if kind == "repaired":
            subprocess.run([self.patchdoc, "-d", path], check=True, capture_output=True)
        return path

    def tree_run(self, patchtree, *arguments):
        out = self.run(patchtree, "-l:" + os.path.join(self.scratch, "logs"), *arguments)
        logs = os.path.join(self.scratch, "logs")
        for name in sorted(os.listdir(logs)) if os.path.isdir(logs) else []:
            with open(os.path.join(logs, name), encoding="utf-16") as log:
                out += log.read()
        return out

    def mixed_tree(self):
        """A tree with a flattened presentation, a repaired one and a file that is none."""
        for name, kind in [("flattened.ppt", "sample"), ("repaired.ppt", "repaired"),
                           ("notes.ppt", "text")]:
            self.file("tree", name, kind)
        return os.path.join(self.scratch, "tree")

    def fixed(self, name):
        program, *arguments = FIXED[name]
        return self.run(getattr(self, program), *arguments), {}

    def missing(self):
        path = os.path.join(self.scratch, "nowhere.ppt")
        return self.run(self.patchdoc, path), {"path": path}

    def repair(self):
        path = self.file("repair", "deck.ppt", "sample")
        return self.run(self.patchdoc, path) + self.run(self.patchdoc, path), {"path": path}

    def not_a_presentation(self):
        path = self.file("text", "notes.ppt")
        return self.run(self.patchdoc, path), {"path": path}

    def read_only(self):
        path = self.file("read-only", "deck.ppt", "sample")
        os.chmod(path, 0o444)
        return self.run(self.patchdoc, path), {"path": path}

    def backup_names_taken(self):
        path = self.file("taken", "deck.ppt", "sample")
        for suffix in [""] + [" %d" % n for n in range(1, 10)]:
            self.file("taken", "deck (Backup%s).ppt" % suffix)
        return self.run(self.patchdoc, path), {"path": path}

    def check(self):
        path = self.file("check", "deck.ppt", "sample")
        return self.run(self.patchdoc, "-n", path), {"path": path}

    def folder_is_a_file(self):
        path = self.file("plain", "notes.txt")
        return self.tree_run(self.patchtree, path), {"folder": path}

    def log_folder_is_a_file(self):
        logs = self.file("", "logs")
        return self.tree_run(self.patchtree, self.scratch), {"folder": logs}

    def no_patchdoc(self):
        alone = os.path.join(self.scratch, "alone")
        os.makedirs(alone)
        shutil.copy(self.patchtree, alone)
        tree = os.path.dirname(self.file("tree", "notes.ppt"))
        program = os.path.join(alone, "Patchdoc")
        return self.tree_run(os.path.join(alone, "Patchtree"), tree), {"program": program}

    def tree(self):
        return self.tree_run(self.patchtree, self.mixed_tree()), {}

    def tree_check(self):
        return self.tree_run(self.patchtree, "-n", self.mixed_tree()), {}

    def one_file(self):
        self.file("tree", "a.ppt", "sample")
        return self.tree_run(self.patchtree, os.path.join(self.scratch, "tree")), {}


def program_pattern(text, bindings):
    pattern = ""
    at = 0
    for mark in MARK.finditer(text):
        pattern += re.escape(text[at:mark.start()])
        name = mark.group(0)[1:-1]
        bound = bindings.get(name) if mark.group(0).startswith("<") else None
        pattern += re.escape(bound) if bound else ANY
        at = mark.end()
    return re.compile(pattern + re.escape(text[at:]))


def read_table():
    """(line number, pages, check, text) for each line of documented_texts.txt."""
    table = []
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "documented_texts.txt"), encoding="utf-8") as listing:
        for number, line in enumerate(listing, 1):
            if line.strip() and not line.startswith("#"):
                where, check, text = (part.strip() for part in line.split("|", 2))
                table.append((number, where.split(), check, text))
    return table


def check_program(number, check, text, strings, programs):
    if check == "source":
        for piece in MARK.split(text):
            piece = piece[len("[err], "):] if piece.startswith("[err], ") else piece
            if piece.strip() and not any(piece in s for s in strings):
                fail(f"no string of the source holds {piece!r} (line {number})")
        return
    scenario = check[4:].replace("-", "_") if check.startswith("run ") else ""
    if not scenario or not (scenario in FIXED or hasattr(Scenarios, scenario)):
        fail(f"line {number}: no such check: {check}")
        return
    with tempfile.TemporaryDirectory() as scratch:
        runs = Scenarios(*programs, scratch)
        output, bindings = runs.fixed(scenario) if scenario in FIXED else getattr(runs, scenario)()
    pattern = program_pattern(text, bindings)
    if not any(pattern.search(line) for line in output.splitlines()):
        fail(f"{check} does not print {text!r}; it printed:\n{output}")


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    source, programs = sys.argv[1], sys.argv[2:]
    pages, prose = read_pages(source)
    flat_pages = {page: flat(text) for page, text in pages.items()}
    strings = source_strings(source)
    table = read_table()
    for number, where, check, text in table:
        for page in where:
            if page not in PAGES:
                fail(f"line {number}: no page {page}")
            elif flat(as_in_pages(text)) not in flat_pages[page]:
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
    print(f"All {len(table)} documented texts are quoted and written as the programs write them.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
