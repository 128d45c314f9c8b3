"""GenICam parameters, their array, lists, categories and the state stack,
reached through the test-only module that loads a description."""
import gc
import sys
import threading
import time
import weakref

import numpy as np
import pytest

import tarn_base_310 as tb
import tarn_receive_310  # noqa: F401  (all three modules register their classes)
import tarn_edge_310  # noqa: F401
import tarn_genicam_testext as ext

import _tarn_base_310
import _tarn_receive_310
import _tarn_edge_310
from support import error_of
from support.threads import assert_releases_the_interpreter

ZU_OK = _tarn_base_310.ZU_OK


@pytest.fixture
def arr():
    a = ext.LoadCamera()
    assert a is not None
    return a


@pytest.fixture
def m(module):
    return module.flat


def ok(result):
    return result.IsOK()


# ---- parameter_to_proxy and look-ups --------------------------------------------

@pytest.mark.parametrize("name, kind", [
    ("Width", "ZuGenInteger"), ("PairLow", "ZuGenInteger"), ("Offset", "ZuGenInteger"),
    ("Gain", "ZuGenFloat"), ("Exposure", "ZuGenFloat"), ("Mode", "ZuGenEnum"), ("Enable", "ZuGenBoolean"),
    ("Start", "ZuGenCommand"), ("Label", "ZuGenString"), ("DeviceName", "ZuGenString"),
    ("Blob", "ZuGenRegister"), ("Device", "ZuGenParameter")])
def test_lookups_downcast_to_the_most_specific_kind(m, arr, name, kind):
    p = m.ZuGenParameterArray_Get(arr, name)
    assert type(p).__name__ == kind
    assert m.ZuGenParameter_GetName(p)[1] == name
    assert type(m.ZuGenParameterArray___getitem__(arr, name)).__name__ == kind


def test_lookup_misses_and_keys(m, arr):
    count = m.ZuGenParameterArray_GetCount(arr)
    assert m.ZuGenParameterArray_Get(arr, count) is None
    assert m.ZuGenParameterArray_Get(arr, "NoSuchFeature") is None
    first = m.ZuGenParameter_GetName(m.ZuGenParameterArray_Get(arr, 1))[1]
    assert m.ZuGenParameter_GetName(m.ZuGenParameterArray_Get(arr, True))[1] == first
    assert type(m.ZuGenParameterArray_Get(arr, "Width")).__name__ == "ZuGenInteger"
    assert m.ZuGenParameterArray_GetFloat(arr, "Width") is None
    assert type(m.ZuGenParameterArray_GetInteger(arr, "Width")).__name__ == "ZuGenInteger"
    assert m.ZuGenParameterArray_GetCategory(arr, "Root") is not None
    assert m.ZuGenParameterArray_GetCategory(arr, 99) is None
    assert "Swig Object of type 'ZU_GENAPI_NS::INodeMap *'" in repr(m.ZuGenParameterArray_GetNodeMap(arr))
    assert m.ZuGenParameterArray_GetAccessMode(arr) == m.ZuGenAccessModeReadWrite


@pytest.mark.parametrize("key", [-1, 4294967296, 1.5])
@pytest.mark.parametrize("func", ["ZuGenParameterArray_Get", "ZuGenParameterArray___getitem__", "ZuGenParameterArray_GetCategory"])
def test_keys_outside_the_index_range_are_names(m, arr, key, func):
    assert error_of(getattr(m, func), arr, key) == (TypeError, "Argument 2: failed to create ZuString from Python string")


def test_get_overload_texts(m, arr):
    exc, text = error_of(m.ZuGenParameterArray_Get, arr, 1, 2)
    assert exc is TypeError
    assert text == ("ZuGenParameterArray_Get expected at most 2 arguments, got 3\nAdditional information:\n"
                    "Wrong number or type of arguments for overloaded function 'ZuGenParameterArray_Get'.\n"
                    "  Possible C/C++ prototypes are:\n"
                    "    ZuGenParameterArray::Get(uint32_t)\n"
                    "    ZuGenParameterArray::Get(ZuString const &)\n")
    lst = m.new_ZuGenParameterList()
    assert "    ZuGenParameterArray::operator [](uint32_t)\n    ZuGenParameterArray::operator [](ZuString const &)\n" \
        in error_of(m.ZuGenParameterArray___getitem__, lst, "x")[1]
    assert "    ZuGenParameterArray::GetCategory(uint32_t)\n" in error_of(m.ZuGenParameterArray_GetCategory, lst, 0)[1]


# ---- by-name shortcuts ---------------------------------------------------------------

def test_by_name_shapes(m, arr):
    assert ok(m.ZuGenParameterArray_SetIntegerValue(arr, "Width", 640))
    res, value = m.ZuGenParameterArray_GetIntegerValue(arr, "Width")
    assert ok(res) and value == 640
    res, value = m.ZuGenParameterArray_GetIntegerValue(arr, "Gain")
    assert not ok(res) and value is None
    res, value = m.ZuGenParameterArray_GetBooleanValue(arr, "NoSuchFeature")
    assert not ok(res) and value is False
    rng = m.ZuGenParameterArray_GetIntegerRange(arr, "Width")
    assert type(rng) is tuple and ok(rng[0]) and rng[1:] == (16, 4096)
    rng = m.ZuGenParameterArray_GetIntegerRange(arr, "NoSuchFeature")
    assert type(rng) is tuple and not ok(rng[0]) and rng[1:] == (None, None)
    rng = m.ZuGenParameterArray_GetFloatRange(arr, "Gain")
    assert ok(rng[0]) and rng[1:] == (0.0, 48.0)
    assert ok(m.ZuGenParameterArray_SetFloatValue(arr, "Gain", 3))
    assert m.ZuGenParameterArray_GetFloatValue(arr, "Gain")[1] == 3.0
    assert ok(m.ZuGenParameterArray_SetBooleanValue(arr, "Enable", True))
    assert m.ZuGenParameterArray_GetBooleanValue(arr, "Enable")[1] is True
    assert ok(m.ZuGenParameterArray_ExecuteCommand(arr, "Start"))
    assert not ok(m.ZuGenParameterArray_ExecuteCommand(arr, "Width"))
    assert ok(m.ZuGenParameterArray_InvalidateCache(arr))
    assert ok(m.ZuGenParameterArray_Poll(arr))


# A read by name is answered at once from what the array holds; what has to
# wait (the device, or another thread's read) waits without the interpreter.

def test_a_read_by_name_that_asks_the_device_lets_other_threads_run(m):
    arr = ext.LoadCamera()
    ext.PokeByte(arr, 0x94, 7)  # an uncached register: every read asks the device
    ext.SetReadDelay(arr, 30)
    for _ in range(2):
        res, value = assert_releases_the_interpreter(m.ZuGenParameterArray_GetIntegerValue, arr, "Live")
        assert ok(res) and value == 7
    res, value = m.ZuGenParameterArray_GetIntegerValue(arr, "Gain")
    assert (res.GetCode(), res.GetDescription(), value) == (
        _tarn_base_310.ZU_NOT_FOUND, "no integer feature 'Gain'", None)


def test_a_held_value_waits_for_a_read_in_progress_without_the_interpreter(m):
    arr = ext.LoadCamera()
    assert ok(m.ZuGenParameterArray_SetIntegerValue(arr, "Width", 640))
    ext.SetReadDelay(arr, 200)
    slow = threading.Thread(target=m.ZuGenParameterArray_GetIntegerValue, args=(arr, "Live"))
    slow.start()
    deadline = time.monotonic() + 10
    while not ext.IsReading(arr) and time.monotonic() < deadline:
        time.sleep(0.001)
    assert ext.IsReading(arr)
    res, value = assert_releases_the_interpreter(m.ZuGenParameterArray_GetIntegerValue, arr, "Width")
    slow.join(10)
    assert not slow.is_alive()
    assert ok(res) and value == 640


def test_a_held_value_is_not_served_once_the_device_may_have_changed_it(m):
    arr = ext.LoadCamera()
    read = m.ZuGenParameterArray_GetIntegerValue
    assert ok(m.ZuGenParameterArray_SetIntegerValue(arr, "Width", 640))
    assert read(arr, "Width")[1] == 640
    ext.PokeByte(arr, 0x13, 0x88)  # the device changes the register on its own
    assert read(arr, "Width")[1] == 640
    assert ok(m.ZuGenParameterArray_InvalidateCache(arr))
    res, value = read(arr, "Width")
    assert ok(res) and value == 0x288
    # Another register over the same bytes is written.
    assert read(arr, "SignedAlias")[1] == 0
    assert ok(m.ZuGenParameterArray_SetIntegerValue(arr, "SignedLE", -2))
    assert read(arr, "SignedAlias")[1] == 0xFFFE


def test_text_setters_echo_the_text(m, arr):
    res = m.ZuGenParameterArray_SetEnumValue(arr, "Mode", 1)
    assert type(res).__name__ == "ZuResult" and ok(res)
    assert m.ZuGenParameterArray_GetEnumValueString(arr, "Mode")[1] == "On"
    res, echo = m.ZuGenParameterArray_SetEnumValue(arr, "Mode", "Off")
    assert ok(res) and echo == "Off"
    assert m.ZuGenParameterArray_GetEnumValueInt(arr, "Mode")[1] == 0
    res, echo = m.ZuGenParameterArray_SetEnumValue(arr, "Mode", "Nope")
    assert not ok(res) and echo is None
    res, echo = m.ZuGenParameterArray_SetStringValue(arr, "Label", tb.ZuString("given"))
    assert ok(res) and echo == "given"
    assert m.ZuGenParameterArray_GetStringValue(arr, "Label")[1] == "given"
    res, echo = m.ZuGenParameterArray_SetStringValue(arr, "DeviceName", "x" * 17)
    assert not ok(res) and echo is None


def test_set_enum_value_dispatch(m, arr):
    for value in (1.5, 2 ** 63):
        assert error_of(m.ZuGenParameterArray_SetEnumValue, arr, "Mode", value) == \
            (TypeError, "Argument 3: failed to create ZuString from Python string")
    assert error_of(m.ZuGenParameterArray_SetEnumValue, arr, 5, "On") == \
        (TypeError, "Argument 2: failed to create ZuString from Python string")
    exc, text = error_of(m.ZuGenParameterArray_SetEnumValue, m.new_ZuGenParameterList(), "Mode", 1)
    assert text.endswith("    ZuGenParameterArray::SetEnumValue(ZuString const &,ZuString const &)\n"
                         "    ZuGenParameterArray::SetEnumValue(ZuString const &,int64_t)\n")


# ---- typed parameters ------------------------------------------------------------

def test_integer(m, arr):
    w = m.ZuGenParameterArray_Get(arr, "SignedLE")
    for value in (-2 ** 15, 2 ** 15 - 1):
        assert ok(m.ZuGenInteger_SetValue(w, value))
        assert m.ZuGenInteger_GetValue(w)[1] == value
    assert ok(m.ZuGenInteger_SetValue(w, True))
    assert m.ZuGenInteger_GetValue(w)[1] == 1
    for value in (-2 ** 63 - 1, 2 ** 63):
        assert error_of(m.ZuGenInteger_SetValue, w, value) == (OverflowError, "in method 'ZuGenInteger_SetValue', argument 2 of type 'int64_t'")
    res = m.ZuGenInteger_SetValue(w, 2 ** 63 - 1)
    assert not ok(res)
    width = m.ZuGenParameterArray_Get(arr, "Width")
    assert [m.ZuGenInteger_GetMin(width)[1], m.ZuGenInteger_GetMax(width)[1], m.ZuGenInteger_GetIncrement(width)[1]] == [16, 4096, 8]
    assert m.ZuGenInteger_GetUnit(width)[1] == "px"
    assert m.ZuGenInteger_GetRepresentation(width)[1] == m.ZuGenRepresentationUndefined
    gain = m.ZuGenParameterArray_Get(arr, "Gain")
    assert error_of(m.ZuGenInteger_GetValue, gain) == (TypeError, "in method 'ZuGenInteger_GetValue', argument 1 of type 'ZuGenInteger const *'")


def test_float_boolean_command(m, arr):
    gain = m.ZuGenParameterArray_Get(arr, "Gain")
    assert ok(m.ZuGenFloat_SetValue(gain, 3))
    value = m.ZuGenFloat_GetValue(gain)[1]
    assert type(value) is float and value == 3.0
    assert error_of(m.ZuGenFloat_SetValue, gain, "3") == (TypeError, "in method 'ZuGenFloat_SetValue', argument 2 of type 'double'")
    assert m.ZuGenFloat_GetRepresentation(gain)[1] == m.ZuGenRepresentationLogarithmic
    assert (m.ZuGenFloat_GetMin(gain)[1], m.ZuGenFloat_GetMax(gain)[1], m.ZuGenFloat_GetUnit(gain)[1]) == (0.0, 48.0, "dB")
    enable = m.ZuGenParameterArray_Get(arr, "Enable")
    for value in (0, 1):
        assert error_of(m.ZuGenBoolean_SetValue, enable, value) == (TypeError, "in method 'ZuGenBoolean_SetValue', argument 2 of type 'bool'")
    assert ok(m.ZuGenBoolean_SetValue(enable, True))
    assert ext.PeekByte(arr, 0x50) == 5
    ext.PokeByte(arr, 0x50, 9)  # neither the on nor the off value
    m.ZuGenParameterArray_InvalidateCache(arr)
    res, flag = m.ZuGenBoolean_GetValue(enable)
    assert not ok(res) and flag is False
    start = m.ZuGenParameterArray_Get(arr, "Start")
    assert ok(m.ZuGenCommand_Execute(start))
    res, done = m.ZuGenCommand_IsDone(start)
    assert ok(res) and done is False
    res, done = m.ZuGenCommand_IsDone(m.ZuGenParameterArray_Get(arr, "Fire"))
    assert ok(res) and done is True


def test_string(m, arr):
    s = m.ZuGenParameterArray_Get(arr, "DeviceName")
    assert ok(m.ZuGenString_SetValue(s, "cam\u00e9ra"))
    assert m.ZuGenString_GetValue(s)[1] == "cam\u00e9ra"
    assert m.ZuGenString_GetMaxLength(s)[1] == 16
    assert error_of(m.ZuGenString_SetValue, s, 5) == (TypeError, "Argument 2: failed to create ZuString from Python string")


def test_register_takes_raw_byte_pointers_only(m, arr):
    reg = m.ZuGenParameterArray_Get(arr, "Blob")
    assert m.ZuGenRegister_GetLength(reg)[1] == 8
    for data in (np.zeros(8, np.uint8), bytearray(8)):
        assert error_of(m.ZuGenRegister_Get, reg, data, 8) == (TypeError, "in method 'ZuGenRegister_Get', argument 2 of type 'uint8_t *'")
    assert error_of(m.ZuGenRegister_Set, reg, b"12345678", 8) == (TypeError, "in method 'ZuGenRegister_Set', argument 2 of type 'uint8_t const *'")
    memory = ext.new_bytes(10)
    try:
        for i in range(10):
            ext.bytes_setitem(memory, i, i + 1)
        assert ok(m.ZuGenRegister_Set(reg, memory, 8))
        assert [ext.PeekByte(arr, 0x80 + i) for i in range(8)] == list(range(1, 9))
        for i in range(10):
            ext.bytes_setitem(memory, i, 0xEE)
        # Less memory than the register: refused, nothing written.
        assert not ok(m.ZuGenRegister_Get(reg, memory, 4))
        assert ext.bytes_getitem(memory, 0) == 0xEE
        assert ok(m.ZuGenRegister_Get(reg, memory, 10))
        assert [ext.bytes_getitem(memory, i) for i in range(10)] == list(range(1, 9)) + [0xEE, 0xEE]
        assert not ok(m.ZuGenRegister_Set(reg, memory, 7))
        assert not ok(m.ZuGenRegister_Get(reg, None, 8))
        assert not ok(m.ZuGenRegister_Get(reg, memory, -1))
    finally:
        ext.delete_bytes(memory)


# ---- base operations ----------------------------------------------------------------

def test_texts_and_flags(m, arr):
    width = m.ZuGenParameterArray_Get(arr, "Width")
    assert m.ZuGenParameter_GetDisplayName(width)[1] == "Image Width"
    assert m.ZuGenParameter_GetToolTip(width)[1] == "Width of the image"
    assert m.ZuGenParameter_GetDescription(width)[1] == "Width of the image in pixels."
    assert m.ZuGenParameter_GetCategory(width)[1] == "ImageFormat"
    assert m.ZuGenParameter_GetType(width)[1] == m.ZuGenTypeInteger
    assert m.ZuGenParameter_GetType(m.ZuGenParameterArray_Get(arr, "Gain"))[1] == m.ZuGenTypeFloat
    assert m.ZuGenParameter_GetNameSpace(width)[1] == m.ZuGenNameSpaceStandard
    assert m.ZuGenParameter_GetVisibility(m.ZuGenParameterArray_Get(arr, "Gain"))[1] == m.ZuGenVisibilityExpert
    for func, expected in [("IsValueCached", True), ("IsPersistent", True), ("IsImplemented", True), ("IsAvailable", True),
                           ("IsWritable", True), ("IsReadable", True), ("IsStreamable", True), ("IsSelector", False)]:
        res, flag = getattr(m, "ZuGenParameter_" + func)(width)
        assert ok(res) and flag is expected, func
    assert m.ZuGenParameter_IsVisible(width, 999)[1] is True
    assert m.ZuGenParameter_IsVisible(m.ZuGenParameterArray_Get(arr, "Gain"), m.ZuGenVisibilityBeginner)[1] is False
    assert error_of(m.ZuGenParameter_IsVisible, width, 2 ** 31) == (OverflowError, "in method 'ZuGenParameter_IsVisible', argument 2 of type 'ZuGenVisibility'")
    assert m.ZuGenParameter_IsWritable(m.ZuGenParameterArray_Get(arr, "Payload"))[1] is False
    assert m.ZuGenParameter_IsImplemented(m.ZuGenParameterArray_Get(arr, "Ghost"))[1] is False
    # Failing getters give None; the category of a feature in none fails.
    res, text = m.ZuGenParameter_GetCategory(m.ZuGenParameterArray_Get(arr, "Locked"))
    assert not ok(res) and text is None
    res, text = m.ZuGenParameter_ToString(m.ZuGenParameterArray_Get(arr, "WriteOnly"))
    assert not ok(res) and text is None
    write_only = m.ZuGenParameterArray_Get(arr, "WriteOnly")
    for _ in range(5000):  # warm the interpreter's caches first
        m.ZuGenParameter_ToString(write_only)
    gc.collect()
    before = sys.getrefcount(None)
    for _ in range(5000):
        m.ZuGenParameter_ToString(write_only)
    gc.collect()
    assert abs(sys.getrefcount(None) - before) < 5


def test_from_string_and_updates_flag(m, arr):
    height = m.ZuGenParameterArray_Get(arr, "Height")
    res = m.ZuGenParameter_FromString(height, "250")
    assert type(res).__name__ == "ZuResult" and ok(res)
    assert m.ZuGenParameter_ToString(height)[1] == "250"
    assert not ok(m.ZuGenParameter_FromString(height, "abc"))
    assert error_of(m.ZuGenParameter_FromString, height, 3) == (TypeError, "Argument 2: failed to create ZuString from Python string")
    assert m.ZuGenParameter_GetUpdatesEnabled(height) is True
    assert m.ZuGenParameter_SetUpdatesEnabled(height, False) is None
    assert m.ZuGenParameter_GetUpdatesEnabled(height) is False
    assert error_of(m.ZuGenParameter_SetUpdatesEnabled, height, 1) == (TypeError, "in method 'ZuGenParameter_SetUpdatesEnabled', argument 2 of type 'bool'")
    assert "ZU_GENAPI_NS::INode *" in repr(m.ZuGenParameter_GetNode(height))


def test_entries_are_not_parameters(m, arr):
    entry = m.ZuGenEnum_GetEntryByName(m.ZuGenParameterArray_Get(arr, "Mode"), "On")[1]
    assert error_of(m.ZuGenParameter_GetName, entry) == (TypeError, "in method 'ZuGenParameter_GetName', argument 1 of type 'ZuGenParameter const *'")


# ---- enumerations --------------------------------------------------------------------

def test_enum_set_value_dispatch(m, arr):
    mode = m.ZuGenParameterArray_Get(arr, "Mode")
    assert ok(m.ZuGenEnum_SetValue(mode, 7))
    assert m.ZuGenEnum_GetValueString(mode)[1] == "Special"
    assert ok(m.ZuGenEnum_SetValue(mode, "On"))
    assert m.ZuGenEnum_GetValueInt(mode)[1] == 1
    assert ok(m.ZuGenEnum_SetValue(mode, tb.ZuString("Off")))
    assert ok(m.ZuGenEnum_SetValue(mode, True))
    assert m.ZuGenEnum_GetValueString(mode)[1] == "On"
    assert not ok(m.ZuGenEnum_SetValue(mode, "Auto"))  # not available
    for value in (1.5, 2 ** 63):
        assert error_of(m.ZuGenEnum_SetValue, mode, value) == (TypeError, "Argument 2: failed to create ZuString from Python string")
    exc, text = error_of(m.ZuGenEnum_SetValue, m.ZuGenParameterArray_Get(arr, "Width"), 1)
    assert (exc, text) == (TypeError, "Wrong number or type of arguments for overloaded function 'ZuGenEnum_SetValue'.\n"
                                      "  Possible C/C++ prototypes are:\n"
                                      "    ZuGenEnum::SetValue(int64_t)\n"
                                      "    ZuGenEnum::SetValue(ZuString const &)\n")
    assert not hasattr(m, "ZuGenEnum_GetValue")
    assert error_of(m.ZuGenEnum_GetValueInt, m.ZuGenParameterArray_Get(arr, "Width")) == \
        (TypeError, "in method 'ZuGenEnum_GetValueInt', argument 1 of type 'ZuGenEnum *'")
    ext.PokeByte(arr, 0x58, 5)  # a value no entry has
    m.ZuGenParameterArray_InvalidateCache(arr)
    res, name = m.ZuGenEnum_GetValueString(mode)
    assert not ok(res) and name is None


def test_enum_entries(m, arr):
    mode = m.ZuGenParameterArray_Get(arr, "Mode")
    assert m.ZuGenEnum_GetEntriesCount(mode)[1] == 4
    res, entry = m.ZuGenEnum_GetEntryByIndex(mode, 4)
    assert not ok(res) and entry is None
    res, entry = m.ZuGenEnum_GetEntryByValue(mode, 7)
    assert ok(res) and type(entry).__name__ == "ZuGenEnumEntry"
    assert m.ZuGenEnumEntry_GetName(entry)[1] == "Special"
    assert m.ZuGenEnumEntry_GetValue(entry)[1] == 7
    assert m.ZuGenEnumEntry_GetVisibility(entry)[1] == m.ZuGenVisibilityGuru
    assert m.ZuGenEnumEntry_IsVisible(entry, m.ZuGenVisibilityExpert)[1] is False
    entry = m.ZuGenEnum_GetEntryByName(mode, "On")[1]
    assert m.ZuGenEnumEntry_GetToolTip(entry)[1] == "Always on"
    assert m.ZuGenEnumEntry_GetDisplayName(entry)[1] == "On"
    assert m.ZuGenEnumEntry_GetNameSpace(entry)[1] == m.ZuGenNameSpaceCustom
    assert m.ZuGenEnumEntry_IsAvailable(m.ZuGenEnum_GetEntryByName(mode, "Auto")[1])[1] is False
    assert m.ZuGenEnum_GetEntryByName(mode, "Nope")[1] is None
    assert error_of(m.ZuGenEnum_GetEntryByIndex, mode, "0") == (TypeError, "in method 'ZuGenEnum_GetEntryByIndex', argument 2 of type 'int64_t'")


# ---- lists, selectors, categories ----------------------------------------------------

def test_parameter_list(m, arr):
    lst = m.new_ZuGenParameterList()
    assert m.ZuGenParameterList_GetSize(lst) == 0
    assert m.ZuGenParameterList_GetFirst(lst) is None and m.ZuGenParameterList_GetNext(lst) is None
    m.ZuGenParameterList_Add(lst, m.ZuGenParameterArray_Get(arr, "Width"))
    assert m.ZuGenParameterList_GetSize(lst) == 1
    assert type(m.ZuGenParameterList_GetFirst(lst)).__name__ == "ZuGenInteger"
    assert m.ZuGenParameterList_GetNext(lst) is None
    m.ZuGenParameterList_Add(lst, m.ZuGenParameterArray_Get(arr, "Gain"))
    m.ZuGenParameterList_GetFirst(lst)
    m.ZuGenParameterList_GetNext(lst)
    m.ZuGenParameterList_Add(lst, m.ZuGenParameterArray_Get(arr, "Mode"))  # puts the cursor back
    assert m.ZuGenParameter_GetName(m.ZuGenParameterList_GetNext(lst))[1] == "Width"
    assert type(m.ZuGenParameterList___getitem__(lst, 2)).__name__ == "ZuGenEnum"
    assert m.ZuGenParameterList_GetItem(lst, 3) is None
    assert error_of(m.ZuGenParameterList_GetItem, lst, -1) == (OverflowError, "in method 'ZuGenParameterList_GetItem', argument 2 of type 'uint32_t'")
    assert error_of(m.ZuGenParameterList_GetItem, lst, 1.0)[0] is TypeError
    m.ZuGenParameterList_Clear(lst)
    assert m.ZuGenParameterList_GetSize(lst) == 0
    m.delete_ZuGenParameterList(lst)


def test_selected_and_selecting(m, arr):
    res, lst = m.ZuGenParameter_GetSelectedParameters(m.ZuGenParameterArray_Get(arr, "Width"))
    assert ok(res) and m.ZuGenParameterList_GetSize(lst) == 0
    sel = m.ZuGenParameterArray_Get(arr, "Sel")
    assert m.ZuGenParameter_IsSelector(sel)[1] is True
    res, lst = m.ZuGenParameter_GetSelectedParameters(sel)
    names = [m.ZuGenParameter_GetName(m.ZuGenParameterList_GetItem(lst, i))[1] for i in range(m.ZuGenParameterList_GetSize(lst))]
    assert names == ["SelValue", "Indexed"]
    res, lst = m.ZuGenParameter_GetSelectingParameters(m.ZuGenParameterArray_Get(arr, "Indexed"))
    assert m.ZuGenParameter_GetName(m.ZuGenParameterList_GetFirst(lst))[1] == "Sel"
    # The selector moves what the selected feature reads.
    m.ZuGenParameterArray_SetIntegerValue(arr, "Sel", 1)
    assert m.ZuGenParameterArray_GetIntegerValue(arr, "Indexed")[1] == 11
    m.ZuGenParameterArray_SetIntegerValue(arr, "SelValue", 9)
    assert ext.PeekByte(arr, 0x104) == 9


def test_category(m, arr):
    assert m.ZuGenParameterArray_GetCategoryCount(arr) == 3
    cat = m.ZuGenParameterArray_GetCategory(arr, "Control")
    assert type(cat).__name__ == "ZuGenCategory"
    assert m.ZuGenCategory_GetName(cat)[1] == "Control"
    assert m.ZuGenCategory_GetDisplayName(cat)[1] == "Control"
    assert m.ZuGenCategory_GetToolTip(m.ZuGenParameterArray_GetCategory(arr, "ImageFormat"))[1] == "Image size"
    assert m.ZuGenCategory_GetDescription(cat)[1] == ""
    assert m.ZuGenCategory_GetVisibility(cat)[1] == m.ZuGenVisibilityExpert
    assert m.ZuGenCategory_GetNameSpace(cat)[1] == m.ZuGenNameSpaceCustom
    assert m.ZuGenCategory_IsVisible(cat, m.ZuGenVisibilityBeginner)[1] is False
    assert m.ZuGenCategory_IsImplemented(cat)[1] is True
    assert error_of(m.ZuGenCategory_IsVisible, cat, -2 ** 31 - 1) == (OverflowError, "in method 'ZuGenCategory_IsVisible', argument 2 of type 'ZuGenVisibility'")
    assert "ZU_GENAPI_NS::INode *" in repr(m.ZuGenCategory_GetNode(cat))


def test_no_constructors_for_borrowed_classes(m):
    for cls in ("ZuGenParameter", "ZuGenInteger", "ZuGenEnumEntry", "ZuGenCategory", "ZuGenEventSink"):
        assert not hasattr(m, "new_" + cls)
    for cls in ("ZuGenParameter", "ZuGenInteger", "ZuGenEnum", "ZuGenEnumEntry", "ZuGenCategory"):
        assert not hasattr(m, "delete_" + cls)
    # Python cannot make one either: the SDK hands them out.
    for cls in ("ZuGenParameter", "ZuGenInteger", "ZuGenEnumEntry", "ZuGenCategory"):
        assert error_of(getattr(tb, cls)) == (AttributeError, "No constructor defined")


# ---- event sinks ----------------------------------------------------------------------

def test_event_sink_is_told_and_kept_alive_while_registered(m, arr):
    payload = m.ZuGenParameterArray_Get(arr, "Payload")
    sink = ext.CountingSink()
    gone = weakref.ref(sink)
    assert ok(m.ZuGenParameter_RegisterEventSink(payload, sink))
    sink_ptr = sink.this
    del sink
    gc.collect()
    assert gone() is not None
    m.ZuGenParameterArray_SetIntegerValue(arr, "Width", 64)
    assert gone().Count == 1
    assert m.ZuGenParameter_GetName(gone().Last)[1] == "Payload"
    m.ZuGenEventSink_OnParameterUpdate(gone(), payload)
    assert gone().Count == 2
    assert ok(m.ZuGenParameter_UnregisterEventSink(payload, sink_ptr))
    del sink_ptr
    gc.collect()
    assert gone() is None
    assert not ok(m.ZuGenParameter_RegisterEventSink(payload, None))
    assert error_of(m.ZuGenParameter_RegisterEventSink, payload, 5) == (TypeError, "in method 'ZuGenParameter_RegisterEventSink', argument 2 of type 'ZuGenEventSink *'")


def test_event_sink_released_with_its_array():
    arr = ext.LoadCamera()
    sink = ext.CountingSink()
    gone = weakref.ref(sink)
    _tarn_base_310.ZuGenParameter_RegisterEventSink(_tarn_base_310.ZuGenParameterArray_Get(arr, "Width"), sink)
    del sink
    gc.collect()
    assert gone() is not None
    del arr
    gc.collect()
    assert gone() is None


# ---- chunk data ---------------------------------------------------------------------------

CHUNK = [0, 0, 0, 7, 0, 0, 0xAB, 0xCD, 0, 0, 0, 4]


def test_attach_data_chunks(m, arr):
    data = np.array(CHUNK, np.uint8)
    assert ok(m.ZuGenParameterArray_AttachDataChunks(arr, data))
    assert m.ZuGenParameterArray_GetIntegerValue(arr, "ChunkCounter")[1] == 7
    data[3] = 8  # the memory itself is read, not a copy
    m.ZuGenParameterArray_InvalidateCache(arr)
    assert m.ZuGenParameterArray_GetIntegerValue(arr, "ChunkCounter")[1] == 8
    assert ok(m.ZuGenParameterArray_DetachDataChunks(arr))
    assert not ok(m.ZuGenParameterArray_GetIntegerValue(arr, "ChunkCounter")[0])
    assert error_of(m.ZuGenParameterArray_AttachDataChunks, arr, np.zeros((2, 2), np.uint8)) == \
        (TypeError, "Array must have 1 dimensions.  Given array has 2 dimensions")
    assert ok(m.ZuGenParameterArray_AttachDataChunks(arr, np.zeros(0, np.uint8)))
    assert not ok(m.ZuGenParameterArray_AttachDataChunks(arr, np.array([1, 2, 3], np.uint8)))
    assert error_of(m.ZuGenParameterArray_AttachDataChunks, arr)[0] is TypeError


def test_attached_memory_stays_valid_while_attached(m, arr):
    data = np.array(CHUNK, np.uint8)
    before = sys.getrefcount(data)
    m.ZuGenParameterArray_AttachDataChunks(arr, data)
    assert sys.getrefcount(data) == before + 1
    m.ZuGenParameterArray_DetachDataChunks(arr)
    assert sys.getrefcount(data) == before
    # Input that needs a converted copy: the copy lives as long as the attachment.
    assert ok(m.ZuGenParameterArray_AttachDataChunks(arr, list(CHUNK)))
    gc.collect()
    np.zeros(10000, np.uint8)  # reuse freed memory if the copy were gone
    assert m.ZuGenParameterArray_GetIntegerValue(arr, "ChunkCounter")[1] == 7
    m.ZuGenParameterArray_AttachDataChunks(arr, data)
    assert sys.getrefcount(data) == before + 1
    # A failed attach keeps nothing.
    m.ZuGenParameterArray_AttachDataChunks(arr, np.array([1], np.uint8))
    assert sys.getrefcount(data) == before


def test_chunk_length_beyond_32_bits_overflows(m, arr):
    huge = np.lib.stride_tricks.as_strided(np.zeros(1, np.uint8), shape=(2 ** 32,), strides=(0,))
    assert error_of(m.ZuGenParameterArray_AttachDataChunks, arr, huge)[0] is OverflowError


# ---- state stack ------------------------------------------------------------------------

def test_state_stack_restores_in_reverse_order(m, arr):
    m.ZuGenParameterArray_SetIntegerValue(arr, "SelValue", 5)
    stack = m.new_ZuGenStateStack(arr)
    assert ok(m.ZuGenStateStack_SetIntegerValue(stack, "Sel", 1))
    assert ok(m.ZuGenStateStack_SetIntegerValue(stack, "SelValue", 60))
    assert ok(m.ZuGenStateStack_SetIntegerValue(stack, "Sel", 0))
    assert ok(m.ZuGenStateStack_SetIntegerValue(stack, "SelValue", 50))
    assert ok(m.ZuGenStateStack_SetFloatValue(stack, "Gain", 2))
    assert ok(m.ZuGenStateStack_SetBooleanValue(stack, "Enable", True))
    res, echo = m.ZuGenStateStack_SetStringValue(stack, "Label", "tmp")
    assert ok(res) and echo == "tmp"
    res = m.ZuGenStateStack_SetEnumValue(stack, "Mode", 1)
    assert type(res).__name__ == "ZuResult" and ok(res)
    res, echo = m.ZuGenStateStack_SetEnumValue(stack, "Mode", "Special")
    assert ok(res) and echo == "Special"
    res, echo = m.ZuGenStateStack_SetEnumValue(stack, "Mode", "Nope")
    assert not ok(res) and echo is None
    assert not ok(m.ZuGenStateStack_SetIntegerValue(stack, "NoSuchFeature", 1))
    m.delete_ZuGenStateStack(stack)
    assert m.ZuGenParameterArray_GetIntegerValue(arr, "Sel")[1] == 0
    assert m.ZuGenParameterArray_GetIntegerValue(arr, "SelValue")[1] == 5
    assert ext.PeekByte(arr, 0x104) == 0
    assert m.ZuGenParameterArray_GetEnumValueInt(arr, "Mode")[1] == 0
    assert m.ZuGenParameterArray_GetStringValue(arr, "Label")[1] == "hello"
    assert m.ZuGenParameterArray_GetFloatValue(arr, "Gain")[1] == 0.0


def test_state_stack_argument_errors(m, arr):
    stack = m.new_ZuGenStateStack(arr)
    assert error_of(m.ZuGenStateStack_SetEnumValue, stack, "Mode", 1.5) == (TypeError, "Argument 3: failed to create ZuString from Python string")
    assert error_of(m.ZuGenStateStack_SetBooleanValue, stack, "Enable", 1) == (TypeError, "in method 'ZuGenStateStack_SetBooleanValue', argument 3 of type 'bool'")
    assert error_of(m.ZuGenStateStack_SetIntegerValue, stack, "Width", 2 ** 63) == (OverflowError, "in method 'ZuGenStateStack_SetIntegerValue', argument 3 of type 'int64_t'")
    assert error_of(m.ZuGenStateStack_SetIntegerValue, stack, 5, 1) == (TypeError, "Argument 2: failed to create ZuString from Python string")
    assert error_of(m.new_ZuGenStateStack, m.new_ZuGenParameterList()) == (TypeError, "in method 'new_ZuGenStateStack', argument 1 of type 'ZuGenParameterArray *'")
    exc, text = error_of(m.ZuGenStateStack_SetEnumValue, arr, "Mode", 1)
    assert text.endswith("    ZuGenStateStack::SetEnumValue(ZuString const &,ZuString const &)\n"
                         "    ZuGenStateStack::SetEnumValue(ZuString const &,int64_t)\n")
    null_stack = m.new_ZuGenStateStack(None)
    assert not ok(m.ZuGenStateStack_SetIntegerValue(null_stack, "Width", 16))
    m.delete_ZuGenStateStack(null_stack)
    m.delete_ZuGenStateStack(stack)


# ---- the owned, empty array -------------------------------------------------------------

def test_new_array_is_empty(m):
    arr = m.new_ZuGenParameterArray()
    assert m.ZuGenParameterArray_GetCount(arr) == 0
    assert m.ZuGenParameterArray_GetNodeMap(arr) is None
    assert m.ZuGenParameterArray_Get(arr, 0) is None
    assert not ok(m.ZuGenParameterArray_AttachDataChunks(arr, np.zeros(4, np.uint8)))
    assert m.ZuGenParameterArray_GetAccessMode(arr) == m.ZuGenAccessModeNotImplemented
    m.delete_ZuGenParameterArray(arr)


@pytest.mark.parametrize("xml, words", [
    ("<RegisterDescription><Foo Name='x'/></RegisterDescription>", "unknown node kind <Foo>"),
    ("<RegisterDescription><Integer Name='A'><pValue>B</pValue></Integer></RegisterDescription>", "missing node 'B'"),
    ("<RegisterDescription><IntSwissKnife Name='A'><Formula>(1</Formula></IntSwissKnife></RegisterDescription>", "does not parse"),
    ("<RegisterDescription", "malformed XML")])
def test_bad_descriptions_fail_with_a_reason(xml, words):
    assert ext.LoadParameterArray(xml, 16) is None
    assert words in ext.LoadError(xml)


def test_every_module_carries_the_same_parameter_functions():
    classes = ("ZuGenParameter", "ZuGenParameterArray", "ZuGenParameterList", "ZuGenInteger", "ZuGenFloat",
               "ZuGenBoolean", "ZuGenCommand", "ZuGenString", "ZuGenRegister", "ZuGenEnum", "ZuGenEnumEntry",
               "ZuGenCategory", "ZuGenEventSink", "ZuGenStateStack")
    prefixes = tuple(p + c for c in classes for p in ("", "new_", "delete_"))

    def names(module):
        return {n for n in dir(module) if n.startswith(prefixes)}
    base = names(_tarn_base_310)
    assert len(base) > 140
    assert names(_tarn_receive_310) == base
    assert names(_tarn_edge_310) == base


# ---- docstrings, null items, read-only chunks, stacks that outlive their array ----------

@pytest.mark.parametrize("func, first_line", [
    ("ZuGenParameterArray_GetEnumValueInt", "GetEnumValueInt(aName) -> ZuResult, int"),
    ("ZuGenParameterArray_GetEnumValueString", "GetEnumValueString(aName) -> ZuResult, str")])
def test_renamed_reads_document_their_python_signature(func, first_line):
    assert getattr(_tarn_base_310, func).__doc__.strip().startswith(first_line)


@pytest.mark.parametrize("func", ["ZuGenParameterArray_SetEnumValue", "ZuGenStateStack_SetEnumValue"])
def test_overloaded_text_setters_document_each_overload(func):
    doc = getattr(_tarn_base_310, func).__doc__
    one, two = doc.split("\n|\n")
    assert "*Overload 1:*\nSetEnumValue(aName, aText) -> ZuResult, str" in one
    assert "*Overload 2:*\nSetEnumValue(aName, aValue) -> ZuResult" in two


def test_destructor_docstrings(m):
    assert m.delete_ZuGenParameterList.__doc__
    assert m.delete_ZuGenEventSink.__doc__ is None


def test_a_null_item_does_not_end_a_walk(m, arr):
    lst = m.new_ZuGenParameterList()
    m.ZuGenParameterList_Add(lst, m.ZuGenParameterArray_Get(arr, "Width"))
    m.ZuGenParameterList_Add(lst, None)
    m.ZuGenParameterList_Add(lst, m.ZuGenParameterArray_Get(arr, "Gain"))
    walked = [m.ZuGenParameterList_GetFirst(lst), m.ZuGenParameterList_GetNext(lst)]
    assert [m.ZuGenParameter_GetName(p)[1] for p in walked] == ["Width", "Gain"]
    assert m.ZuGenParameterList_GetSize(lst) == 2


def test_read_only_chunk_array_is_attached_in_place(m, arr):
    data = np.array(CHUNK, np.uint8)
    view = data.view()
    view.flags.writeable = False
    before = sys.getrefcount(view)
    assert ok(m.ZuGenParameterArray_AttachDataChunks(arr, view))
    assert sys.getrefcount(view) == before + 1
    data[3] = 9
    m.ZuGenParameterArray_InvalidateCache(arr)
    assert m.ZuGenParameterArray_GetIntegerValue(arr, "ChunkCounter")[1] == 9
    m.ZuGenParameterArray_DetachDataChunks(arr)


def test_state_stack_keeps_its_array_until_it_has_restored(m):
    arr = ext.LoadCamera()
    gone = weakref.ref(arr)
    stack = m.new_ZuGenStateStack(arr)
    assert ok(m.ZuGenStateStack_SetIntegerValue(stack, "Width", 64))
    del arr
    gc.collect()
    assert gone() is not None
    assert ok(m.ZuGenStateStack_SetIntegerValue(stack, "Height", 32))
    m.delete_ZuGenStateStack(stack)
    gc.collect()
    assert gone() is None


def _selected_item(m, arr):
    lst = m.ZuGenParameter_GetSelectedParameters(m.ZuGenParameterArray_Get(arr, "Sel"))[1]
    return m.ZuGenParameterList_GetItem(lst, 0)


@pytest.mark.parametrize("hand_out, read, expected", [
    (lambda m, a: m.ZuGenParameterArray_Get(a, "Width"), "ZuGenParameter_GetName", "Width"),
    (lambda m, a: m.ZuGenParameterArray___getitem__(a, 0), "ZuGenParameter_GetName", "Width"),
    (lambda m, a: m.ZuGenParameterArray_GetFloat(a, "Gain"), "ZuGenParameter_GetName", "Gain"),
    (lambda m, a: m.ZuGenParameterArray_GetCategory(a, "Control"), "ZuGenCategory_GetName", "Control"),
    (lambda m, a: m.ZuGenEnum_GetEntryByValue(m.ZuGenParameterArray_Get(a, "Mode"), 7)[1], "ZuGenEnumEntry_GetName", "Special"),
    (_selected_item, "ZuGenParameter_GetName", "SelValue")], ids=["Get", "getitem", "GetFloat", "GetCategory", "entry", "list item"])
def test_handed_out_objects_keep_their_array(m, hand_out, read, expected):
    arr = ext.LoadCamera()
    gone = weakref.ref(arr)
    item = hand_out(m, arr)
    del arr
    gc.collect()
    assert gone() is not None
    assert getattr(m, read)(item)[1] == expected
    del item
    gc.collect()
    assert gone() is None


def test_a_list_filled_from_python_keeps_its_items_until_cleared(m):
    arr = ext.LoadCamera()
    gone = weakref.ref(arr)
    lst = tb.ZuGenParameterList()  # a proxy: a bare pointer object holds nothing
    m.ZuGenParameterList_Add(lst, m.ZuGenParameterArray_Get(arr, "Width"))
    del arr
    gc.collect()
    assert m.ZuGenParameter_GetName(m.ZuGenParameterList_GetFirst(lst))[1] == "Width"
    m.ZuGenParameterList_Clear(lst)
    gc.collect()
    assert gone() is None


@pytest.mark.parametrize("make", [ext.LoadCamera, lambda: tb.ZuGenParameterList()], ids=["array", "list"])
def test_iteration_is_refused_rather_than_endless(make):
    # A miss gives None instead of IndexError, so a for loop would never end.
    with pytest.raises(TypeError, match="not iterable"):
        iter(make())


# ---- None unless OK, for every kind of out-value ------------------------------------

REGISTERS = """<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="M" VendorName="V" SchemaMajorVersion="1" SchemaMinorVersion="1"
    xmlns="http://www.genicam.org/GenApi/Version_1_1">
  {nodes}
  <Port Name="Device"/>
</RegisterDescription>"""
NODE = """
  <Integer Name="I{at}"><pValue>IR{at}</pValue><Min>-5</Min><Max>{at}</Max></Integer>
  <IntReg Name="IR{at}"><Address>{at}</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <Sign>Signed</Sign><Endianess>BigEndian</Endianess></IntReg>
  <Float Name="F{at}"><pValue>FR{at}</pValue><Min>-1.5</Min><Max>2.5</Max></Float>
  <FloatReg Name="FR{at}"><Address>{at}</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <Endianess>BigEndian</Endianess></FloatReg>
  <StringReg Name="S{at}"><Address>{at}</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></StringReg>
"""


@pytest.fixture
def registers():
    """The same nodes over a readable register (at 0) and over one past the
    end of the memory (at 64), whose reads fail."""
    array = ext.LoadParameterArray(REGISTERS.format(nodes=NODE.format(at=0) + NODE.format(at=64)), 16)
    assert array is not None
    return array


@pytest.mark.parametrize("read, name, value", [
    ("ZuGenParameterArray_GetIntegerValue", "I", 0),
    ("ZuGenParameterArray_GetFloatValue", "F", 0.0),
    ("ZuGenParameterArray_GetStringValue", "S", ""),
])
def test_by_name_reads_give_none_unless_ok(m, registers, read, name, value):
    res, got = getattr(m, read)(registers, name + "0")
    assert ok(res) and got == value and type(got) is type(value)
    res, got = getattr(m, read)(registers, name + "64")
    assert not ok(res) and got is None


@pytest.mark.parametrize("kind, read, name, value", [
    ("ZuGenInteger", "GetValue", "I", 0),
    ("ZuGenFloat", "GetValue", "F", 0.0),
    ("ZuGenString", "GetValue", "S", ""),
    ("ZuGenParameter", "ToString", "I", "0"),
])
def test_object_reads_give_none_unless_ok(m, registers, kind, read, name, value):
    for at, expected in ((0, value), (64, None)):
        res, got = getattr(m, f"{kind}_{read}")(m.ZuGenParameterArray_Get(registers, f"{name}{at}"))
        assert ok(res) is (expected is not None) and got == expected and type(got) is type(expected)


@pytest.mark.parametrize("read, name, limits", [
    ("ZuGenParameterArray_GetIntegerRange", "I", (-5, 0)),
    ("ZuGenParameterArray_GetFloatRange", "F", (-1.5, 2.5)),
])
def test_ranges_give_none_unless_ok(m, registers, read, name, limits):
    res, low, high = getattr(m, read)(registers, name + "0")
    assert ok(res) and (low, high) == limits and type(low) is type(limits[0])
    res, low, high = getattr(m, read)(registers, "Nothing")
    assert not ok(res) and (low, high) == (None, None)
