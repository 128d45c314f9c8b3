"""tools/tmused's normalised report: what the checked-in lists compare, and
the uses it refuses whatever the lists say."""
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


def test_an_out_value_on_a_parameter_the_call_only_reads_is_refused():
    given = [
        "sdk/include/T.h: Typemap for ZuString const &aName (argout) : %apply ZuString &OUT_TUPLE { ZuString &aName }  [1]",
        "sdk/include/T.h: Typemap for uint32_t const *aCount (in) : %apply uint32_t *OUT_LIST { uint32_t *aCount }  [1]",
    ]
    meant = [
        "sdk/include/T.h: Typemap for ZuString &aName (argout) : %apply ZuString &OUT_TUPLE { ZuString &aName }  [1]",
        "core/genicam.i: Typemap for ZuString const &aText (argout) : %apply ZuString const &ECHO_LIST_IF_OK { ZuString const &aText }  [2]",
        "sdk/include/T.h: Typemap for IZuRegister const **aOut (argout) : %apply SWIGTYPE const *&OUT_TUPLE { IZuRegister const **aOut }  [1]",
        "sdk/include/T.h: Typemap for ZuString const &aName (argout) : %typemap(argout) ZuString const &aName  [1]",
    ]
    assert tmused.read_only_outvalues(given + meant) == given
