"""Helpers and test devices shared by every test folder: `from support import
error_of`, `from support.devices import Responder`."""
import os
from pathlib import Path

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parent.parent.parent
BUILD = Path(os.environ.get("TARN_BUILD", ROOT / "build"))

# AddressSanitizer keeps freed memory in quarantine, so the resident size
# grows under it whatever the code frees: checks of memory growth stand
# aside there (descriptors are still counted).
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")


def error_of(func, *args, **kwargs):
    """The type and text of the exception that func(*args) raises."""
    with pytest.raises(Exception) as info:
        func(*args, **kwargs)
    return type(info.value), str(info.value)


def prototypes(function, *lines):
    """SWIG's text for an overloaded call that matched no overload."""
    return (f"Wrong number or type of arguments for overloaded function '{function}'.\n"
            "  Possible C/C++ prototypes are:\n" + "".join(f"    {line}\n" for line in lines))


def needs_netns():
    """Tests that open sockets run only inside the private network namespace
    that `make test` creates."""
    return pytest.mark.skipif(not os.environ.get("TARN_IN_NETNS"),
                              reason="opens sockets: run under tools/netns (make test)")


def within(view, memory):
    """Whether every byte a NumPy view reaches lies in memory (an array over
    the bytes really behind it); an empty view reaches nothing."""
    if view.size == 0:
        return True
    low, high = np.byte_bounds(view)
    start, end = np.byte_bounds(memory)
    return start <= low and high <= end
