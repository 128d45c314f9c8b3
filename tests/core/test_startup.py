"""Module start-up: the shared type table, constants and the NumPy import."""
from pathlib import Path

import pytest

DATA = Path(__file__).resolve().parent.parent / "data"


def golden(name):
    return [(n, int(v)) for n, v in (line.split() for line in (DATA / f"{name}.txt").read_text().splitlines())]


def module_constants(mod):
    return [(k, v) for k, v in vars(mod).items() if isinstance(v, int) and not k.startswith("_")]


@pytest.mark.parametrize("module, golden_name, count", [
    ("_tarn_base_310", "base_constants", 549),
    ("_tarn_receive_310", "receive_shared_constants", None),
    ("_tarn_edge_310", "edge_constants", 418),
])
def test_constants_in_order(module, golden_name, count):
    mod = __import__(module)
    want = golden(golden_name)
    got = module_constants(mod)
    if count is not None:
        assert len(got) == count
        assert got == want
    else:
        # The other modules begin with the shared constants, in the same order.
        names = [n for n, _ in want]
        assert [c for c in got if c[0] in set(names)] == want


@pytest.mark.parametrize("module", ["_tarn_base_310", "_tarn_receive_310", "_tarn_edge_310"])
def test_shared_values(module):
    mod = __import__(module)
    assert mod.ZU_OK == 0
    assert mod.ZuLogLevelDebug == 5
    assert mod.ZU_TOO_MANY_CONSECUTIVE_RESENDS == 2819


@pytest.mark.parametrize("first, second", [
    ("tarn_base_310", "_tarn_receive_310"),
    ("tarn_edge_310", "_tarn_base_310"),
])
def test_one_type_table_per_interpreter(py, first, second):
    out = py(f"""
        import sys
        import {first} as a
        capsule = sys.modules["swig_runtime_data4"].type_pointer_capsule
        import {second} as b
        assert sys.modules["swig_runtime_data4"].type_pointer_capsule is capsule
        # An object made by one module is accepted by the other.
        r = a.ZuResult(30)
        assert b.ZuResult_GetCode(r) == 30
        assert b.ZuResult___eq__(r, 30) is True
        print(type(capsule).__name__)
    """).stdout
    assert out.strip() == "PyCapsule"


def test_bare_pointer_before_registration(py):
    out = py("""
        import sys
        import _tarn_base_310 as m
        r = m.new_ZuResult(5)
        print(repr(r), flush=True)
        del r  # owned, but no class has given it a destructor yet
        sys.stdout.flush()
        import tarn_base_310
        print(type(tarn_base_310.ZuResult(5)).__name__)
    """).stdout.splitlines()
    assert out[0].startswith("<Swig Object of type 'ZuResult *' at 0x")
    assert "swig/python detected a memory leak of type 'ZuResult *', no destructor found." in out
    assert out[-1] == "ZuResult"


@pytest.mark.parametrize("first, maker", [
    ("tarn_base_310", "tarn_receive_310"), ("tarn_base_310", "tarn_edge_310"), ("tarn_edge_310", "tarn_receive_310"),
    ("tarn_receive_310", "tarn_base_310"), ("tarn_base_310", "tarn_base_310"),
])
def test_results_kept_to_the_end_are_freed_whichever_module_made_them(py, first, maker):
    # A script's globals outlive the type table's module when a function of
    # the script holds them; every result is still freed by its destructor.
    done = py(f"""
        import {first}
        import {maker} as made
        kept = [made.ZuResult(5), made._{maker}.new_ZuResult(6)]
        def holds_the_globals():
            return kept
    """)
    assert done.stdout + done.stderr == ""


def test_a_view_lent_before_its_class_has_a_proxy_gets_one_once_it_has(py):
    out = py("""
        import _tarn_base_310 as m
        buffer = m.new_ZuBuffer()
        early = m.ZuBuffer_GetImage(buffer)
        print(type(early).__name__)
        import tarn_base_310
        late = m.ZuBuffer_GetImage(buffer)
        print(type(late).__name__, late.this is early)
        del early, late
        print(type(m.ZuBuffer_GetImage(buffer)).__name__)
        m.delete_ZuBuffer(buffer)
    """).stdout.split()
    assert out == ["SwigPyObject", "ZuImage", "True", "ZuImage"]


@pytest.mark.parametrize("module", ["_tarn_base_310", "_tarn_receive_310", "_tarn_edge_310"])
@pytest.mark.parametrize("stand_in, cause", [
    ("None", "numpy.core._multiarray_umath"),
    ("types.ModuleType('empty')", "AttributeError: _ARRAY_API not found"),
    ("types.SimpleNamespace(_ARRAY_API=5)", "RuntimeError: _ARRAY_API is not PyCapsule object"),
])
def test_import_fails_cleanly_without_numpy(py, module, stand_in, cause):
    proc = py(f"""
        import sys, types
        import numpy  # the package is there: only its array interface is not
        sys.modules["numpy.core._multiarray_umath"] = {stand_in}
        try:
            import {module}
        except ImportError as e:
            print("ImportError:", e)
    """)
    assert proc.stdout == "ImportError: numpy.core.multiarray failed to import\n"
    # The cause is printed first, through the interpreter's error printing.
    assert cause in proc.stderr
