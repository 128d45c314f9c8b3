"""Every Python code block of the README and of docs/ runs as written, and
so does every example: a page's blocks one after the other in one fresh
interpreter, the way a reader would paste them, with a software camera on
127.0.0.5 for the blocks that need one. A snippet that no longer runs fails
here, with the page and line in its traceback; so does a `print` whose
comment no longer says what it prints, and a link or a path named in a page
that leads nowhere (after a file moves, say)."""
import importlib.util
import io
import json
import os
import re
import subprocess
import sys
import threading
import time
import tokenize
from pathlib import Path

import numpy as np
import pytest

import tarn_base_310
from support import ROOT, needs_netns
from support.devices import FakeCamera, skip_without

pytestmark = needs_netns()

EXAMPLES = ROOT / "examples"
# Where the pages' snippets expect a camera.
CAMERA = "127.0.0.5"

FENCE = re.compile(r"^```(\S*)\n(.*?)^```\s*$", re.S | re.M)

# Runs a page's blocks in order in one namespace, each compiled at its own
# line of the page, so that a traceback names the page and line, and writes
# what each line of the page printed to the file argv[2].
RUN_BLOCKS = """
import builtins, json, sys
printed = []
def print(*args, sep=" ", **kwargs):
    builtins.print(*args, sep=sep, **kwargs)
    caller = sys._getframe(1)
    if caller.f_code.co_filename == sys.argv[1]:
        printed.append((caller.f_lineno, sep.join(map(str, args))))
namespace = {"__name__": "__main__", "print": print}
try:
    for line, code in json.load(sys.stdin):
        exec(compile("\\n" * (line - 1) + code, sys.argv[1], "exec"), namespace)
finally:
    with open(sys.argv[2], "w") as out:
        json.dump(printed, out)
"""


def python_blocks(text):
    """(first line, code) of each ```python block of a page."""
    return [(text.count("\n", 0, m.start(2)) + 1, m.group(2))
            for m in FENCE.finditer(text) if m.group(1) == "python"]


def claimed_prints(line, code):
    """{page line: comment} of each `print(...)  # comment` of a block: the
    comment is what the call prints, then perhaps ": why"."""
    claims, first = {}, None
    for token in tokenize.generate_tokens(io.StringIO(code).readline):
        if token.type == tokenize.NEWLINE:
            first = None
        elif first is None and token.type not in (tokenize.INDENT, tokenize.DEDENT, tokenize.COMMENT, tokenize.NL):
            first = token
        elif token.type == tokenize.COMMENT and first is not None and first.string == "print":
            claims[line + first.start[0] - 1] = token.string[1:].strip()
    return claims


def unlike_claims(claims, printed):
    """The claims that what their line printed does not bear out."""
    said = {}
    for line, text in printed:
        said.setdefault(line, []).append(text)
    return {line: (claim, said.get(line)) for line, claim in claims.items()
            if not said.get(line) or not all(text == claim or claim.startswith(text + ":") for text in said[line])}


def load_example(name):
    spec = importlib.util.spec_from_file_location(f"example_{name}", EXAMPLES / f"{name}.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


@pytest.fixture(scope="module")
def camera():
    with load_example("software_camera").SoftwareCamera(CAMERA, fps=200) as running:
        yield running


# Programs run from an empty folder, as a user would, with the modules this
# test imports.
ENV = dict(os.environ, PYTHONPATH=str(Path(tarn_base_310.__file__).parent))


def run(args, tmp_path, stdin=None, timeout=120):
    done = subprocess.run([sys.executable, *args], input=stdin, capture_output=True, text=True,
                          cwd=tmp_path, env=ENV, timeout=timeout)
    assert done.returncode == 0, f"{args} failed:\n{done.stdout}\n{done.stderr}"
    return done.stdout


def test_the_fence_finder_sees_python_blocks_only():
    text = "intro\n```python\na = 1\n```\n\n```sh\nmake demo\n```\n\n```python\nb = a\n```\n"
    assert python_blocks(text) == [(3, "a = 1\n"), (11, "b = a\n")]


def test_a_print_s_comment_is_held_to_what_it_prints():
    code = ('x = 1  # not a print\nprint(x)  # 1\nprint("a # b")\nfor k in (1, 2):\n'
            '    print(k > 0)  # True: both\nprint(x,\n      x)  # 1 1\n')
    claims = claimed_prints(10, code)
    assert claims == {11: "1", 14: "True: both", 15: "1 1"}
    assert unlike_claims(claims, [(11, "1"), (14, "True"), (14, "True"), (15, "1 1"), (12, "a # b")]) == {}
    assert unlike_claims(claims, [(11, "2"), (14, "True"), (14, "False")]) == {
        11: ("1", ["2"]), 14: ("True: both", ["True", "False"]), 15: ("1 1", None)}


PAGES = [p for p in [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))] if python_blocks(p.read_text())]


@pytest.mark.parametrize("page", PAGES, ids=[p.name for p in PAGES])
def test_every_python_block_of_a_page_runs_and_prints_what_it_says(page, camera, tmp_path):
    blocks = python_blocks(page.read_text())
    run(["-c", RUN_BLOCKS, str(page), "printed.json"], tmp_path, stdin=json.dumps(blocks))
    claims = {k: v for line, code in blocks for k, v in claimed_prints(line, code).items()}
    assert unlike_claims(claims, json.loads((tmp_path / "printed.json").read_text())) == {}


LINK = re.compile(r"\]\(([^)#\s]+)[^)]*\)")
# A path in backquotes that starts at a top folder of the checkout.
MENTION = re.compile(r"`((?:\.ci|bench|core|docs|examples|modules|sdk|tests|tools)/[\w./-]*)`")


def dead_references(page, text):
    """The links and path mentions of a page that lead nowhere."""
    dead = [target for target in LINK.findall(text)
            if "://" not in target and not (page.parent / target).exists()]
    return dead + [path for path in MENTION.findall(text) if not (ROOT / path).exists()]


def test_the_reference_finder_sees_links_and_paths():
    text = ("see [old page](gone.md#waits), [site](https://example.org) and `sdk/gone/Old.h`, "
            "`tools/netns`, `python -m x/y`, `<folder>/docs/`")
    assert dead_references(ROOT / "docs" / "x.md", text) == ["gone.md", "sdk/gone/Old.h"]


def test_every_link_and_path_of_the_pages_leads_somewhere():
    dead = {page.name: dead_references(page, page.read_text())
            for page in [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]}
    assert {page: refs for page, refs in dead.items() if refs} == {}


def test_every_example_is_run_here():
    run_below = {"software_camera", "stream_to_numpy", "transmitter", "demo"}
    assert {p.stem for p in EXAMPLES.glob("*.py")} == run_below


def test_the_software_camera_streams_into_numpy_from_another_process(tmp_path):
    cam = subprocess.Popen([sys.executable, str(EXAMPLES / "software_camera.py"), "--address", "127.0.0.8",
                            "--seconds", "60"], stdout=subprocess.PIPE, text=True, cwd=tmp_path, env=ENV)
    try:
        assert cam.stdout.readline().startswith("Software camera on 127.0.0.8")
        out = run([str(EXAMPLES / "stream_to_numpy.py"), "127.0.0.8", "--frames", "5"], tmp_path)
        assert re.findall(r"^frame \d+: \(480, 640\) uint8", out, re.M) and len(out.splitlines()) == 5
    finally:
        cam.terminate()
        rest, _ = cam.communicate(timeout=30)
    # Stopped by a signal, it still stops its camera and says what it sent.
    assert cam.returncode == 0 and re.match(r"\d+ frames sent$", rest.strip())


def test_stream_to_numpy_ends_on_a_lost_camera_with_that_error(tmp_path):
    camera_example, receiver = load_example("software_camera"), load_example("stream_to_numpy")
    camera = camera_example.SoftwareCamera("127.0.0.14", fps=100)

    def stop_once_streaming():
        deadline = time.monotonic() + 60
        while camera.source.sent < 3 and time.monotonic() < deadline:
            time.sleep(0.01)
        camera.stop()

    stopper = threading.Thread(target=stop_once_streaming)
    stopper.start()
    try:
        # The controller hears of the loss at the heartbeat time-out (3 s),
        # within the wait for a frame; the teardown then meets a device that
        # is gone.
        with pytest.raises(RuntimeError, match="the link to 127.0.0.14 was lost"):
            receiver.grab("127.0.0.14", count=10**6, timeout_ms=6000)
    finally:
        stopper.join()


def test_stream_to_numpy_takes_frames_of_aravis_fake_camera(tmp_path):
    skip_without(FakeCamera.TOOL)
    with FakeCamera():
        out = run([str(EXAMPLES / "stream_to_numpy.py"), "127.0.0.1", "--frames", "3"], tmp_path)
    assert len(re.findall(r"^frame \d+: \(\d+, \d+\) uint8", out, re.M)) == 3


def test_aravis_sets_the_software_camera_s_geometry_and_the_frames_follow():
    skip_without("arv-tool-0.8")
    camera_example, receiver = load_example("software_camera"), load_example("stream_to_numpy")
    with camera_example.SoftwareCamera("127.0.0.11", fps=200):
        done = subprocess.run(["arv-tool-0.8", "-a", "127.0.0.11", "control", "Width=320", "Height=100"],
                              capture_output=True, text=True, timeout=60)
        assert "Width = 320" in done.stdout and "Height = 100" in done.stdout, done.stdout + done.stderr
        frames = receiver.grab("127.0.0.11", 3)
    for block, pixels in frames:
        assert np.array_equal(pixels, camera_example.pattern(block - 1, 100, 320)), block


def test_the_transmitter_example_gets_every_frame_across(tmp_path):
    out = run([str(EXAMPLES / "transmitter.py"), "--address", "127.0.0.10", "--frames", "8"], tmp_path)
    assert "8 of 8 frames" in out


def test_the_demo_runs_to_its_end(tmp_path):
    out = run([str(EXAMPLES / "demo.py")], tmp_path)
    assert "200 byte-identical" in out and out.rstrip().endswith("done")
