"""Texts, results and the calling conventions they show."""
import gc
from pathlib import Path

import pytest

import tarn_base_310 as tb
import tarn_receive_310 as tr
import tarn_edge_310 as te
from support import error_of

m = tb._tarn_base_310

RESULT_PROTOTYPES = (
    "Wrong number or type of arguments for overloaded function 'new_ZuResult'.\n"
    "  Possible C/C++ prototypes are:\n"
    "    ZuResult::ZuResult()\n"
    "    ZuResult::ZuResult(uint32_t)\n"
    "    ZuResult::ZuResult(uint32_t,uint32_t)\n"
    "    ZuResult::ZuResult(uint32_t,ZuString const &)\n"
    "    ZuResult::ZuResult(uint32_t,uint32_t,ZuString const &)\n"
    "    ZuResult::ZuResult(ZuResult const &)\n"
)

STRING_PROTOTYPES = (
    "Wrong number or type of arguments for overloaded function 'new_ZuString'.\n"
    "  Possible C/C++ prototypes are:\n"
    "    ZuString::ZuString()\n"
    "    ZuString::ZuString(ZuString const &)\n"
    "    ZuString::ZuString(char const *)\n"
    "    ZuString::ZuString(char const *,unsigned int)\n"
    "    ZuString::ZuString(wchar_t const *)\n"
)


@pytest.mark.parametrize("value, exc", [(-1, OverflowError), (4294967296, OverflowError), ("30", TypeError), (1.0, TypeError)])
def test_uint32_argument_errors(value, exc):
    assert error_of(m.ZuResult_SetCode, tb.ZuResult(), value) == (exc, "in method 'ZuResult_SetCode', argument 2 of type 'uint32_t'")


@pytest.mark.parametrize("func, args, text", [
    (m.ZuResult_SetCode, (None,), "ZuResult_SetCode expected 2 arguments, got 1"),
    (m.ZuResult_SetDescription, (None, 1, 2), "ZuResult_SetDescription expected 2 arguments, got 3"),
    (m.ZuString___iadd__, (None,), "ZuString___iadd__ expected 2 arguments, got 1"),
])
def test_arity_errors(func, args, text):
    assert error_of(func, *args) == (TypeError, text)


@pytest.mark.parametrize("args", [(4294967296,), (-1,), ("x",), (1, 2, 3, 4)])
def test_result_constructor_overload_error(args):
    exc, text = error_of(tb.ZuResult, *args)
    assert exc is TypeError
    assert text.endswith(RESULT_PROTOTYPES)


def test_string_constructor_arity_then_overload_text():
    exc, text = error_of(tb.ZuString, "a", 1, 2)
    assert exc is TypeError
    assert text == "new_ZuString expected at most 2 arguments, got 3\nAdditional information:\n" + STRING_PROTOTYPES
    assert error_of(tb.ZuString, 5) == (TypeError, STRING_PROTOTYPES)


@pytest.mark.parametrize("args, code, os_code, description", [
    ((), 0, 0, ""),
    ((30,), 30, 0, ""),
    ((5, 7), 5, 7, ""),
    ((5, "lost"), 5, 0, "lost"),
    ((5, 7, "lost"), 5, 7, "lost"),
    ((5, tb.ZuString("as text")), 5, 0, "as text"),
    ((tb.ZuResult(9, 3, "copy"),), 9, 3, "copy"),
])
def test_result_constructors(args, code, os_code, description):
    r = tb.ZuResult(*args)
    assert (r.GetCode(), r.GetOSCode(), r.GetDescription()) == (code, os_code, description)
    assert r.HasDescription() == bool(description)


def test_result_description_belongs_to_each_copy():
    r = tb.ZuResult(5, "first")
    copy = tb.ZuResult(r)
    r.SetDescription("second")
    assert (r.GetDescription(), copy.GetDescription()) == ("second", "first")
    r.SetDescription("")
    assert (r.HasDescription(), r.GetDescription(), copy.HasDescription()) == (False, "", True)


@pytest.mark.parametrize("args, text", [
    ((5, 2.5), "Argument 2: failed to create ZuString from Python string"),
    ((5, 7, 2.5), "Argument 3: failed to create ZuString from Python string"),
    ((5, None), "invalid null reference in method 'new_ZuResult', argument 2 of type 'ZuString const &'"),
])
def test_result_description_conversion_errors(args, text):
    assert error_of(tb.ZuResult, *args) == (TypeError, text)


RESULT_CODES = [(name[3:], int(value)) for name, value in
                (line.split() for line in (Path(__file__).parent.parent / "data" / "base_constants.txt").read_text().splitlines())
                if name.startswith("ZU_")]


def test_every_result_code_has_its_own_name():
    assert len(RESULT_CODES) == 37
    assert {name: tb.ZuResult(code).GetCodeString() for name, code in RESULT_CODES} == {
        name: name for name, _ in RESULT_CODES}
    assert tb.ZuResult(12345).GetCodeString() == "UNKNOWN"


@pytest.mark.parametrize("code, ok, success, failure, pending", [
    (tb.ZU_OK, True, True, False, False),
    (tb.ZU_PENDING, False, True, False, True),
    (tb.ZU_TIMEOUT, False, False, True, False),
    (tb.ZU_ABORTED, False, False, True, False),
])
def test_result_tests(code, ok, success, failure, pending):
    r = tb.ZuResult(code)
    assert (r.IsOK(), r.IsSuccess(), r.IsFailure(), r.IsPending()) == (ok, success, failure, pending)


# The first failure sticks; a success (OK or PENDING) gives way to a failure only.
@pytest.mark.parametrize("left, right, kept", [
    (tb.ZU_OK, tb.ZU_OK, tb.ZU_OK),
    (tb.ZU_OK, tb.ZU_PENDING, tb.ZU_OK),
    (tb.ZU_OK, tb.ZU_TIMEOUT, tb.ZU_TIMEOUT),
    (tb.ZU_PENDING, tb.ZU_OK, tb.ZU_PENDING),
    (tb.ZU_PENDING, tb.ZU_PENDING, tb.ZU_PENDING),
    (tb.ZU_PENDING, tb.ZU_TIMEOUT, tb.ZU_TIMEOUT),
    (tb.ZU_ABORTED, tb.ZU_OK, tb.ZU_ABORTED),
    (tb.ZU_ABORTED, tb.ZU_PENDING, tb.ZU_ABORTED),
    (tb.ZU_ABORTED, tb.ZU_TIMEOUT, tb.ZU_ABORTED),
])
def test_result_ior_from_every_kind(left, right, kept):
    r = tb.ZuResult(left, "left")
    r |= tb.ZuResult(right, "right")
    assert (r.GetCode(), r.GetDescription()) == (kept, "left" if kept == left else "right")


def test_result_comparisons():
    r = tb.ZuResult(tb.ZU_TIMEOUT)
    assert r == 30 and r == tb.ZuResult(30) and r != 31
    assert m.ZuResult___eq__(r, 4294967296) is NotImplemented
    assert (r == "TIMEOUT") is False
    assert (r != "TIMEOUT") is True


def test_result_ior_moves_ownership():
    r = tb.ZuResult()
    before = r
    r |= tb.ZuResult(tb.ZU_TIMEOUT, "late")
    assert r.GetCode() == tb.ZU_TIMEOUT and r.GetDescription() == "late"
    assert r is not before and r.this.own() and not before.this.own()
    assert before.GetCode() == tb.ZU_TIMEOUT  # same native object
    r |= tb.ZuResult(tb.ZU_ABORTED)
    assert r.GetCode() == tb.ZU_TIMEOUT  # the first failure wins


def test_result_ior_refused_operand_keeps_ownership():
    r = tb.ZuResult(3)
    for bad in (None, 5):
        with pytest.raises(TypeError):
            r |= bad
        assert r.this.own()


def test_result_ior_on_alias_gives_no_second_owner(py):
    # Both names used to own the one result: freed twice at exit.
    out = py("""
        import tarn_base_310 as tb
        r = tb.ZuResult()
        alias = r
        r |= tb.ZuResult(30)
        alias |= tb.ZuResult(1)
        print(r.this.own(), alias.this.own(), alias.GetCode())
    """).stdout
    assert out.split() == ["True", "False", "30"]


def test_string_texts():
    s = tb.ZuString("Grüße")
    assert (str(s), s.GetUnicode(), s.GetAscii(), s.GetLength()) == ("Grüße", "Grüße", "Grüße", 5)
    assert tb.ZuString().GetLength() == 0
    assert tb.ZuString("abc", 2).GetAscii() == "ab"
    # Lone surrogates stand for bytes that are not valid UTF-8.
    assert tb.ZuString("a\udcff").GetAscii() == "a\udcff"
    # Texts end at an embedded null character.
    assert tb.ZuResult(1, "ab\0cd").GetDescription() == "ab"


@pytest.mark.parametrize("func, obj", [
    (m.ZuString___eq__, tb.ZuString("a")), (m.ZuString___ne__, tb.ZuString("a")),
    (m.ZuResult___eq__, tb.ZuResult(1)), (m.ZuResult___ne__, tb.ZuResult(1)),
])
@pytest.mark.parametrize("extra", [(), (1, 2)])
def test_comparison_with_wrong_count_is_not_implemented(func, obj, extra):
    assert func(obj, *extra) is NotImplemented


def test_string_comparisons():
    s = tb.ZuString("abc")
    assert s == "abc" and s == tb.ZuString("abc") and s != "ABC"
    assert m.ZuString___eq__(s, 5) is NotImplemented
    assert (s == 5) is False and (s != 5) is True


def test_string_iadd_keeps_left_text_owned():
    s = tb.ZuString("a")
    left = s
    s += "b"
    assert s == "ab" and isinstance(s, str)
    # The left operand keeps its native text, so nothing leaks or dangles.
    assert left.this.own() and str(left) == "ab"
    left += tb.ZuString("c")
    assert left == "abc"


@pytest.mark.parametrize("value", [None, 5])
def test_string_iadd_errors(value):
    exc, text = error_of(m.ZuString___iadd__, tb.ZuString("a"), value)
    assert exc is TypeError
    assert text in ("invalid null reference in method 'ZuString___iadd__', argument 2 of type 'ZuString const &'",
                    "Argument 2: failed to create ZuString from Python string")


@pytest.mark.parametrize("func, type_name", [
    (m.ZuResult_GetCode, "ZuResult const *"),
    (m.ZuString_GetLength, "ZuString const *"),
    (m.ZuString_GetAscii, "ZuString const *"),
])
def test_none_as_object_is_refused(func, type_name):
    assert error_of(func, None) == (TypeError, f"in method '{func.__name__}', argument 1 of type '{type_name}'")


def test_delete_of_borrowed_proxy_frees_nothing():
    r = tb.ZuResult(7)
    ptr = r.this
    ptr.disown()
    m.delete_ZuResult(r)  # a borrowed object: nothing is freed
    assert m.ZuResult_GetCode(ptr) == 7
    ptr.acquire()
    m.delete_ZuResult(r)  # now it owns it: freed, flag cleared
    assert not ptr.own()
    m.delete_ZuResult(None)


def test_pointer_objects():
    r = tb.ZuResult(1)
    p = r.this
    assert {name: getattr(type(p), name).__doc__ for name in ("disown", "acquire", "own", "append", "next", "__repr__")} == {
        "disown": "releases ownership of the pointer", "acquire": "acquires ownership of the pointer",
        "own": "returns/sets ownership of the pointer", "append": "appends another 'this' object",
        "next": "returns the next 'this' object", "__repr__": "returns object representation"}
    assert str(p) == repr(p) == p.__repr__()
    assert p == p and int(p) != 0
    assert p.__eq__(5) is NotImplemented and (p == 5) is False
    assert repr(p).startswith("<Swig Object of type 'ZuResult *' at 0x")
    assert p.own() is True and p.own(False) is True and p.own() is False
    p.acquire()
    with pytest.raises(TypeError, match="Attempt to append a non SwigPyObject"):
        m.ZuResult_swiginit(r, 5)


@pytest.mark.parametrize("mod", [tr, te])
def test_other_modules_take_only_text_objects_as_description(mod):
    mm = getattr(mod, "_" + mod.__name__)
    r = mod.ZuResult(1)
    assert error_of(mm.ZuResult_SetDescription, r, "x") == (
        TypeError, "in method 'ZuResult_SetDescription', argument 2 of type 'ZuString const &'")
    assert error_of(mm.ZuResult_SetDescription, r, None) == (
        TypeError, "invalid null reference in method 'ZuResult_SetDescription', argument 2 of type 'ZuString const &'")
    exc, text = error_of(mod.ZuResult, 5, "lost")
    assert exc is TypeError and text.startswith("Wrong number or type of arguments for overloaded function 'new_ZuResult'.")
    r = mod.ZuResult(5, mod.ZuString("lost"))
    assert r.GetDescription() == "lost" and r.GetOSCode() == 0
    assert mod.ZuResult(5, 7).GetOSCode() == 7


def test_results_do_not_leak():
    gc.collect()
    before = len(gc.get_objects())
    for _ in range(1000):
        r = tb.ZuResult(1, "x")
        r |= tb.ZuResult(2)
    del r
    gc.collect()
    assert len(gc.get_objects()) - before < 50
