"""The naming rule of docs/contributing.md, checked over the tracked source
and test files, so that a new file follows it."""
import re
import shutil
import subprocess
from collections import Counter

import pytest

from support import ROOT

SOURCE = (".cpp", ".h", ".i", ".py")
# SDK folders whose own files are PascalCase; every other SDK folder's are
# snake_case. Files of a public class carry its name in either.
PASCAL_FOLDERS = {"base", "buffer", "bufferreceive", "device", "genicam", "internal", "serial", "stream",
                  "system", "transmitter", "updater", "virtualdevice"}
PASCAL = re.compile(r"[A-Z][A-Za-z0-9]*$")
SNAKE = re.compile(r"[a-z][a-z0-9_]*$|__init__$")
TEST_DEFINITION = re.compile(r"^(TEST|TEST_F|TEST_P)\(|^def test_", re.M)


def tracked():
    try:
        out = subprocess.run(["git", "ls-files"], cwd=ROOT, capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        pytest.skip("not a git checkout")
    return [p for p in out.splitlines() if p.endswith(SOURCE) and not p.startswith(("tests/data/", "tests/fuzz/corpus/"))]


def breaks_rule(path, public_classes):
    parts = path.split("/")
    stem = parts[-1].rsplit(".", 1)[0]
    if parts[0] == "sdk":
        if parts[1] == "include" or stem in public_classes:
            return not PASCAL.match(stem)
        return not (PASCAL if parts[1] in PASCAL_FOLDERS else SNAKE).match(stem)
    if not SNAKE.match(stem):
        return True
    if parts[0] == "tests" and parts[-1] != "conftest.py":
        # A file that defines tests is named for it; a helper is not.
        defines_tests = bool(TEST_DEFINITION.search((ROOT / path).read_text(errors="replace")))
        return defines_tests != stem.startswith("test_")
    return False


def test_source_and_test_files_follow_the_naming_rule():
    paths = tracked()
    public_classes = {p.split("/")[-1][:-2] for p in paths if p.startswith("sdk/include/")}
    breaking = {p for p in paths if breaks_rule(p, public_classes)}
    assert breaking == set(), "name these as docs/contributing.md says"


def test_no_two_sdk_files_share_a_name():
    # An include or a stack trace names a file without its folder.
    names = Counter(p.rsplit("/", 1)[-1] for p in tracked() if p.startswith("sdk/"))
    assert {name for name, count in names.items() if count > 1} == set()


# A namespace block's opening, a brace, or anything between: enough of C++
# to follow namespaces through a file (comments and literals skipped).
TOKEN = re.compile(r"//[^\n]*|/\*.*?\*/|\"(?:\\.|[^\"\\\n])*\"|'(?:\\.|[^'\\\n])*'"
                   r"|\bnamespace\s*[\w:]*\s*\{|[{}]|[^{}\"'/n]+|[/n]", re.S)
FORWARD_ONLY = re.compile(r"^\s*((struct|class)\s+\w+\s*;\s*)*$")


def namespaces_defined(text):
    """The named namespaces a file puts something in, as full paths; a block
    that only declares names defined elsewhere (`struct X;`) puts nothing."""
    stack, found = [], set()   # [name or None for another brace, its own text]
    for match in TOKEN.finditer(text):
        token = match.group(0)
        if token.startswith(("//", "/*")):
            continue
        if token.startswith("namespace"):
            stack.append([re.match(r"namespace\s*([\w:]*)", token).group(1), []])
        elif token == "{":
            stack.append([None, []])
        elif token == "}" and stack:
            name, body = stack.pop()
            if name and not FORWARD_ONLY.match("".join(body)):
                found.add("::".join([n for n, _ in stack if n] + [name]))
            if stack:
                stack[-1][1].append(" " if name is not None else "{}")
        elif stack:
            stack[-1][1].append(token)
    return found


def test_each_namespace_lives_in_one_sdk_folder():
    # What tarn::x names is found in sdk/x (or the one folder that defines
    # it); the internal and public headers declare for every folder.
    folders = {}
    for path in tracked():
        parts = path.split("/")
        if parts[0] != "sdk" or parts[1] in ("include", "internal") or not path.endswith((".h", ".cpp")):
            continue
        for name in namespaces_defined((ROOT / path).read_text(errors="replace")):
            folders.setdefault(name, set()).add(parts[1])
    spanning = {name: sorted(where) for name, where in folders.items() if name != "tarn" and len(where) > 1}
    assert spanning == {}


# Member functions are PascalCase, as those of the public classes are; a
# name a language protocol fixes keeps its spelling.
PROTOCOL_NAMES = {"what"}


def member_functions():
    """(path, class, name) of each member function declared or defined in
    the C++ sources, as Universal Ctags reads them."""
    ctags = shutil.which("ctags")
    if not ctags or "Universal Ctags" not in subprocess.run([ctags, "--version"], capture_output=True, text=True).stdout:
        pytest.skip("Universal Ctags is not installed (tools/deps test)")
    paths = [p for p in tracked() if p.endswith((".h", ".cpp")) and p.startswith(("sdk/", "tests/", "bench/"))]
    out = subprocess.run([ctags, "--languages=C++", "--kinds-C++=+p", "--fields=+Ks", "-f", "-", *paths], cwd=ROOT,
                         capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        fields = line.split("\t")
        kind = {"function", "prototype"} & set(fields[3:])
        scope = [f.split(":", 1)[1] for f in fields[3:] if f.startswith(("class:", "struct:"))]
        if kind and scope:
            yield fields[1], scope[0].split("::")[-1], fields[0]


def test_member_functions_are_pascal_case():
    lower = set()
    for path, cls, name in member_functions():
        if name in (cls, "~" + cls) or name.startswith(("operator", "~")) or not name[0].islower():
            continue
        if name in PROTOCOL_NAMES:
            continue
        lower.add(f"{path}: {cls}::{name}")
    assert lower == set(), "name member functions as docs/contributing.md says"
