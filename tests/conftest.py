import importlib
import os
import subprocess
import sys
import textwrap
from types import SimpleNamespace

import pytest

from support import BUILD

# The three extension modules, and what differs between them as a test sees it.
THREE_MODULES = [
    ("base", "tarn_base_310", ""),
    ("receive", "tarn_receive_310", ""),
    ("edge", "tarn_edge_310", ": "),
]


def run_python(code, env=None, check=True, timeout=120):
    """Runs code in a fresh interpreter (import order and process-wide state
    can only be observed there) and returns the completed process."""
    full_env = dict(os.environ)
    full_env.update(env or {})
    proc = subprocess.run([sys.executable, "-c", textwrap.dedent(code)],
                          capture_output=True, text=True, env=full_env, timeout=timeout)
    if check and proc.returncode != 0:
        raise AssertionError(f"subprocess failed ({proc.returncode}):\n{proc.stdout}\n{proc.stderr}")
    return proc


@pytest.fixture
def py():
    return run_python


@pytest.fixture(scope="session")
def build_dir():
    return BUILD


@pytest.fixture(scope="session", params=THREE_MODULES, ids=[m[0] for m in THREE_MODULES])
def module(request):
    """Each of the three modules in turn: `proxy` is the Python module,
    `flat` its extension's flat functions, `separator` what its directors put
    between a failing up-call's name and its error."""
    name, proxy_name, separator = request.param
    proxy = importlib.import_module(proxy_name)
    return SimpleNamespace(name=name, proxy=proxy, flat=getattr(proxy, "_" + proxy_name), separator=separator)
