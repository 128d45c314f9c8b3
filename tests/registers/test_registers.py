"""Registers, the register map, factory and store, and the register event
sink from Python: their shapes, texts and lifetimes."""
import gc
import threading
import weakref

import numpy as np
import pytest

import _tarn_edge_310 as m
import tarn_edge_310 as te
from support import error_of, needs_netns, prototypes

pytestmark = needs_netns()

RW = te.ZuGenAccessModeReadWrite
INT, WIDE, TEXT = 0x20000, 0x20008, 0x20010


def three(device, f):
    assert f.AddRegister("IntReg", INT, 4, RW).IsOK()
    assert f.AddRegister("WideReg", WIDE, 8, te.ZuGenAccessModeReadOnly).IsOK()
    assert f.AddByteArray("TextReg", TEXT, 16, RW).IsOK()


class Recorder(te.IZuRegisterEventSink):
    def __init__(self, refuse_above=None):
        super().__init__()
        self.seen, self.refuse_above, self.answer = [], refuse_above, None

    def PreWrite(self, reg):
        value = reg.ReadInt()[1]
        self.seen.append(("PreWrite", value))
        if self.answer is not None:
            return self.answer
        return te.ZU_INVALID_PARAMETER if self.refuse_above is not None and value > self.refuse_above else te.ZU_OK

    def PostWrite(self, reg):
        self.seen.append(("PostWrite", reg.ReadInt()[1]))


def test_register_access_has_its_shapes(camera):
    c = camera(60, registers=three)
    reg, wide, text = c.reg(INT), c.reg(WIDE), c.reg(TEXT)
    assert (reg.GetName(), reg.GetAddress(), reg.GetLength()) == ("IntReg", INT, 4)
    assert (wide.IsWritable(), wide.IsReadable(), wide.IsArrayOfBytes(), text.IsArrayOfBytes()) == (False, True, False, True)
    assert reg.GetContext() is None
    # Integers travel as 4-byte big-endian words; an offset places them.
    assert reg.Write(5).IsOK()
    result, value = reg.ReadInt()
    assert result.IsOK() and value == 5 and type(value) is int
    assert wide.Write(0xDEADBEEF, 4).IsOK()
    result, data = wide.ReadBytes(8)
    assert result.IsOK() and data.dtype == np.uint8 and data.shape == (8,)
    assert bytes(data) == b"\0\0\0\0\xde\xad\xbe\xef"
    assert m.IZuRegister_ReadInt(wide, 4)[1] == 0xDEADBEEF
    assert text.Write("hello").IsOK()
    assert text.ReadString()[1] == "hello"
    # A failed read gives no value; ReadBytes answers a list with its array anyway.
    result, value = reg.ReadInt(4)
    assert not result.IsOK() and value is None
    out = text.ReadBytes(8, 12)
    assert type(out) is list and not out[0].IsOK() and bytes(out[1]) == bytes(8)   # zeros, never what memory held
    assert error_of(text.ReadBytes, 8.0) == (TypeError, "Int dimension expected.  'float' given.")
    # A count is never wrapped into another one (-1 would ask for 4 GiB).
    assert error_of(text.ReadBytes, -1)[0] is ValueError
    assert error_of(text.ReadBytes, 2**32 + 8)[0] is OverflowError
    # Out of the uint32 range the integer form does not match and the text form fails.
    for value in (-1, 4294967296):
        assert error_of(m.IZuRegister_Write, reg, value) == (TypeError, "Argument 2: failed to create ZuString from Python string")
    assert error_of(m.IZuRegister_Write, reg, b"ab", 2) == (TypeError, prototypes(
        "IZuRegister_Write", "IZuRegister::Write(uint8_t const *,uint32_t,uint32_t)", "IZuRegister::Write(uint8_t const *,uint32_t)",
        "IZuRegister::Write(uint32_t,uint32_t)", "IZuRegister::Write(uint32_t)", "IZuRegister::Write(ZuString const &)"))
    assert error_of(m.IZuRegister_ReadFloat, reg, None) == (
        TypeError, "invalid null reference in method 'IZuRegister_ReadFloat', argument 2 of type 'float &'")
    assert error_of(m.IZuRegister_WriteFloat, reg, 1e39)[0] is OverflowError
    # None as the object never reaches a register.
    assert error_of(m.IZuRegister_Write, None, 5)[0] is TypeError
    assert error_of(m.IZuRegisterInfo_GetName, None)[0] is TypeError


def test_map_lookups_and_lock(camera):
    c = camera(61, registers=three)
    registers = c.map
    assert registers.GetRegisterCount() == 3
    names = [registers.GetRegisterByIndex(i).GetName() for i in range(3)]
    assert names == ["IntReg", "WideReg", "TextReg"]
    assert registers.GetRegisterByIndex(3) is None
    assert registers.GetRegisterByAddress(INT + 4) is None
    assert error_of(registers.GetRegisterByIndex, -1)[0] is OverflowError
    assert registers.Lock().IsOK()
    assert registers.Lock(50).GetCode() == te.ZU_TIMEOUT
    registers.Release()
    assert error_of(m.IZuRegisterMap_Lock, registers, -1) == (TypeError, prototypes(
        "IZuRegisterMap_Lock", "IZuRegisterMap::Lock()", "IZuRegisterMap::Lock(uint32_t)"))
    c.stop()
    assert c.device.GetRegisterMap() is None
    assert registers.Lock(100).GetCode() == te.ZU_STATE_ERROR


def test_the_factory_checks_its_arguments_and_creates(camera):
    seen = {}

    def registers(device, f):
        seen["plain"] = f.AddRegister("A", INT, 4, RW).GetCode()
        seen["taken"] = f.AddRegister("B", INT, 4, RW).GetCode()
        seen["length"] = f.AddRegister("C", 0x20100, 6, RW).GetCode()
        seen["array"] = f.AddByteArray("D", 0x20200, 6, RW).GetCode()
        seen["no sink"] = error_of(m.IZuRegisterFactory_AddRegisterAuto, f, "E", 4, RW)
        result, address = f.AddRegisterAuto("F", 8, RW, None)
        seen["auto"] = (result.GetCode(), address)
        seen["int context"] = error_of(m.IZuRegisterFactory_AddRegister, f, "G", 0x20300, 4, RW, None, 42)
        seen["proxy context"] = f.AddRegister("H", 0x20400, 4, RW, None, device).GetCode()
        seen["bad name"] = error_of(m.IZuRegisterFactory_AddRegister, f, 7, 0x20500, 4, RW)

    c = camera(62, registers=registers)
    assert seen["plain"] == te.ZU_OK
    assert seen["taken"] == te.ZU_GENERIC_ERROR
    assert seen["length"] != te.ZU_OK and seen["array"] != te.ZU_OK
    assert seen["no sink"] == (TypeError, prototypes(
        "IZuRegisterFactory_AddRegisterAuto",
        "IZuRegisterFactory::AddRegisterAuto(ZuString const &,uint32_t &,uint32_t,ZuGenAccessMode,IZuRegisterEventSink *,void *)",
        "IZuRegisterFactory::AddRegisterAuto(ZuString const &,uint32_t &,uint32_t,ZuGenAccessMode,IZuRegisterEventSink *)"))
    code, address = seen["auto"]
    assert code == te.ZU_OK and address % 4 == 0 and c.reg(address).GetLength() == 8
    assert seen["int context"][0] is TypeError and "Wrong number or type of arguments" in seen["int context"][1]
    assert seen["proxy context"] == te.ZU_OK
    assert c.reg(0x20400).GetContext() is not None
    assert seen["bad name"] == (TypeError, "Argument 2: failed to create ZuString from Python string")


def test_sinks_see_every_access_and_a_refusal_keeps_the_old_value(camera):
    sink = Recorder(refuse_above=100)

    def registers(device, f):
        assert f.AddRegister("IntReg", INT, 4, RW, sink).IsOK()

    c = camera(63, registers=registers)
    reg = c.reg(INT)
    assert reg.Write(7).IsOK()
    refused = reg.Write(500)
    assert refused.GetCode() == te.ZU_INVALID_PARAMETER
    assert reg.ReadInt()[1] == 7
    assert sink.seen == [("PreWrite", 7), ("PostWrite", 7), ("PreWrite", 500)]
    # True is the code 1, which is no success either.
    sink.answer = True
    assert reg.Write(9).GetCode() == 1 and reg.ReadInt()[1] == 7


class Mismatch(te.IZuRegisterEventSink):
    def __init__(self, answer):
        super().__init__()
        self.answer = answer

    def PreRead(self, reg):
        return self.answer


@pytest.mark.parametrize("answer", [2 ** 31, None, "ok"])
def test_a_pre_read_answer_of_the_wrong_type_fails_the_read_with_the_mismatch(camera, answer):
    sink = Mismatch(answer)
    c = camera(64, registers=lambda d, f: f.AddRegister("IntReg", INT, 4, RW, sink))
    assert error_of(c.reg(INT).ReadInt) == (
        TypeError, "SWIG director type mismatch in method PreRead with output value of type 'ZuResult'")


def test_the_sinks_default_bodies_and_up_calls(camera):
    plain = te.IZuRegisterEventSink()
    c = camera(65, registers=three)
    reg = c.reg(INT)
    assert plain.PreRead(reg).GetCode() == 0 and plain.PreWrite(reg).GetCode() == 0
    assert plain.Persist(reg, None).GetCode() == te.ZU_NOT_IMPLEMENTED
    assert plain.PostWrite(reg) is None

    class OnlyPost(te.IZuRegisterEventSink):
        def __init__(self):
            super().__init__()
            self.posts = 0

        def PostWrite(self, reg):
            self.posts += 1

    only = OnlyPost()
    assert reg.AddEventSink(only).IsOK()
    assert reg.AddEventSink(only).GetCode() == te.ZU_INVALID_PARAMETER
    assert reg.Write(3).IsOK() and reg.ReadInt()[1] == 3 and only.posts == 1
    assert only.PreRead(reg).GetCode() == 0 and only.Persist(reg, None).GetCode() == te.ZU_NOT_IMPLEMENTED
    assert reg.RemoveEventSink(only).IsOK()
    assert reg.RemoveEventSink(only).GetCode() == te.ZU_INVALID_PARAMETER
    assert reg.AddEventSink(None).GetCode() == te.ZU_INVALID_PARAMETER
    # None as the object never reaches a sink.
    assert error_of(m.IZuRegisterEventSink_PreRead, None, reg)[0] is TypeError
    m.disown_IZuRegisterEventSink(plain)
    m.disown_IZuRegisterEventSink(only)
    m.disown_IZuRegisterEventSink(only)


def test_sinks_and_contexts_stay_alive_while_attached(camera):
    given = {}

    class Counting(te.IZuRegisterEventSink):
        def __init__(self):
            super().__init__()
            self.writes = 0

        def PostWrite(self, reg):
            self.writes += 1

    def registers(device, f):
        sink, context = Counting(), te.ZuString("context")
        given["sink"], given["context"] = weakref.ref(sink), weakref.ref(context)
        assert f.AddRegister("IntReg", INT, 4, RW, sink, context).IsOK()

    c = camera(66, registers=registers)
    gc.collect()
    assert given["sink"]() is not None and given["context"]() is not None
    reg = c.reg(INT)
    assert reg.Write(1).IsOK()
    assert given["sink"]().writes == 1
    later = Counting()
    held = weakref.ref(later)
    assert reg.AddEventSink(later).IsOK()
    del later
    gc.collect()
    assert reg.Write(2).IsOK() and held().writes == 1
    assert reg.RemoveEventSink(held()).IsOK()
    gc.collect()
    assert held() is None
    # The register goes with the device, and with it what it kept.
    c.stop()
    gc.collect()
    assert given["sink"]() is None and given["context"]() is None


def test_python_threads_and_sinks_write_one_register_at_once(camera):
    # Writes overlap: a sink judges the value the register holds while it
    # runs, which another write may have replaced. What must hold: every
    # call ends with a result, each success is told once, and what stays is
    # a value the sink accepted.
    sink = Recorder(refuse_above=1000)
    c = camera(67, registers=lambda d, f: f.AddRegister("IntReg", INT, 4, RW, sink))
    reg = c.reg(INT)
    codes = []

    def writer(start):
        for v in range(start, start + 200):
            codes.append(reg.Write(v).GetCode())

    threads = [threading.Thread(target=writer, args=(k * 400,)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=60)
    assert not any(t.is_alive() for t in threads)
    assert len(codes) == 800 and set(codes) <= {te.ZU_OK, te.ZU_INVALID_PARAMETER}
    assert sum(1 for s in sink.seen if s[0] == "PostWrite") == codes.count(te.ZU_OK)
    assert reg.ReadInt()[1] <= 1000


def test_a_sink_deleted_while_attached_leaves_the_register(camera):
    class Counting(te.IZuRegisterEventSink):
        def PostWrite(self, reg):
            raise AssertionError("a deleted sink was called")

    c = camera(68, registers=three)
    reg = c.reg(INT)
    sink = Counting()
    assert reg.AddEventSink(sink).IsOK()
    m.delete_IZuRegisterEventSink(sink)
    assert reg.Write(4).IsOK() and reg.ReadInt()[1] == 4


def test_a_register_kept_past_its_device_refuses_use(py):
    # One object per register while it lives; once the device lets it go,
    # a kept one (a proxy, its bare pointer object, one a sink was handed)
    # gets the freed object's argument error instead of reaching freed memory.
    out = py("""
        import sys; sys.path.insert(0, "tests")
        import tarn_edge_310 as te, _tarn_edge_310 as raw
        from support.softcamera import NumpySource, loopback_mac

        class Sink(te.IZuRegisterEventSink):
            def PreRead(self, register):
                self.handed = register
                return te.ZU_OK

        class Script(te.IZuVirtualDeviceGEVEventSink):
            def OnCreateCustomRegisters(self, device, factory):
                factory.AddRegister("Kept", 0x20000, 4, te.ZuGenAccessModeReadWrite, self.sink)

        device, script = te.ZuSoftDeviceGEV(), Script()
        script.sink = Sink()
        device.AddStream(NumpySource())
        device.RegisterEventSink(script)
        for attempt in range(2):
            assert device.Start(loopback_mac(93)).IsOK()
            registers = device.GetRegisterMap()
            kept = registers.GetRegisterByAddress(0x20000)
            assert kept is registers.GetRegisterByAddress(0x20000) is registers.GetRegisterByIndex(0)
            bare = kept.this
            assert kept.Write(7).IsOK() and kept.ReadInt()[1] == 7
            assert script.sink.handed is kept
            device.Stop()
            for call in (kept.ReadInt, lambda: raw.IZuRegister_ReadString(bare), script.sink.handed.GetName):
                try:
                    call()
                    print("no error")
                except TypeError as error:
                    print(str(error).split(",")[0])
    """).stdout
    assert out.splitlines() == 2 * ["in method 'IZuRegister_ReadInt'", "in method 'IZuRegister_ReadString'",
                                    "in method 'IZuRegisterInfo_GetName'"]
