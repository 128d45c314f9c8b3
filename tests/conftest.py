import os
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent
BUILD = Path(os.environ.get("TARN_BUILD", ROOT / "build"))


def run_python(code, env=None, check=True):
    """Runs code in a fresh interpreter (import order and process-wide state
    can only be observed there) and returns the completed process."""
    full_env = dict(os.environ)
    full_env.update(env or {})
    proc = subprocess.run([sys.executable, "-c", textwrap.dedent(code)],
                          capture_output=True, text=True, env=full_env, timeout=120)
    if check and proc.returncode != 0:
        raise AssertionError(f"subprocess failed ({proc.returncode}):\n{proc.stdout}\n{proc.stderr}")
    return proc


@pytest.fixture
def py():
    return run_python


@pytest.fixture(scope="session")
def build_dir():
    return BUILD


def needs_netns():
    """Tests that open sockets run only inside the private network namespace
    that `make test` creates."""
    return pytest.mark.skipif(not os.environ.get("TARN_IN_NETNS"),
                              reason="opens sockets: run under tools/netns (make test)")
