"""tools/tmused's normalised report: what the checked-in lists compare."""
import importlib.machinery
import importlib.util
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
loader = importlib.machinery.SourceFileLoader("tmused", str(ROOT / "tools" / "tmused"))
spec = importlib.util.spec_from_loader("tmused", loader)
tmused = importlib.util.module_from_spec(spec)
loader.exec_module(tmused)


def test_uses_are_counted_per_file_without_line_numbers(tmp_path):
    source, lib = tmp_path / "src", tmp_path / "swiglib"
    report = "\n".join([
        f"{source}/sdk/include/A.h:10: Typemap for int &aValue (in) : %typemap(in) int &aValue",
        f"{source}/sdk/include/A.h:42: Typemap for int &aValue (in) : %typemap(in) int &aValue",
        f"{source}/sdk/include/B.h:10: Typemap for int &aValue (in) : %typemap(in) int &aValue",
        f"{lib}/python/pydocs.swg:3: Typemap for int x (doc) : %typemap(doc) int",
        "some other line SWIG prints",
    ])
    assert tmused.normalise(report, source, lib) == [
        "<swig>/python/pydocs.swg: Typemap for int x (doc) : %typemap(doc) int  [1]",
        "sdk/include/A.h: Typemap for int &aValue (in) : %typemap(in) int &aValue  [2]",
        "sdk/include/B.h: Typemap for int &aValue (in) : %typemap(in) int &aValue  [1]",
    ]
