"""Warnings turned into errors (`python -W error`, pytest's `-W error`): the
modules import, work and exit as usual."""
import subprocess
import sys

import pytest

USE = """
import tarn_base_310 as tb, tarn_receive_310 as tr, tarn_edge_310 as te
import _tarn_base_310 as raw
buffer = tb.ZuBuffer()
assert buffer.Alloc(64).IsOK() and buffer.GetDataPointer().size == 64
bare = raw.new_ZuBuffer()
assert raw.ZuBuffer_GetSize(bare) == 0
assert str(tr.ZuResult(0)) and te.ZuString("x") == "x"
print("done")
"""


@pytest.mark.parametrize("option", ["error", "error::DeprecationWarning"])
def test_the_modules_work_and_exit_with_warnings_as_errors(option):
    proc = subprocess.run([sys.executable, "-W", option, "-c", USE], capture_output=True, text=True, timeout=120)
    assert (proc.returncode, proc.stdout, proc.stderr) == (0, "done\n", "")


def test_no_warning_of_the_runtime_reaches_the_application(py):
    out = py("""
        import warnings
        with warnings.catch_warnings(record=True) as seen:
            warnings.simplefilter("always")
            import tarn_edge_310, tarn_receive_310, tarn_base_310
            tarn_base_310.ZuBuffer()
        print([str(w.message) for w in seen])
    """).stdout
    assert out.strip() == "[]"
