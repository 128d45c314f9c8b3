"""The GenApi feature factory from Python: argument forms and texts, what
reaches the device's description, and the Create* results."""
import re

import pytest

import _tarn_edge_310 as m
import tarn_edge_310 as te
from support import error_of, needs_netns, prototypes

pytestmark = needs_netns()

RW = te.ZuGenAccessModeReadWrite
GAIN, RATE = 0x20000, 0x20008


def registers(device, f):
    assert f.AddRegister("GainReg", GAIN, 4, RW).IsOK()
    assert f.AddRegister("RateReg", RATE, 8, RW).IsOK()


def node(xml, name):
    """The element of the node named name."""
    found = re.search(r'<(\w+) Name="%s"[^>]*>.*?</\1>' % name, xml, re.S)
    assert found, name
    return found.group(0)


def declared(camera, n, body):
    """A camera whose features callback runs body(factory, map) and keeps
    what it returns (errors are caught there: an exception would end Start)."""
    out = {}

    def features(device, f):
        out.update(body(f, device.GetRegisterMap()))

    c = camera(n, registers=registers, features=features)
    return c, out


def test_binding_errors_never_reach_the_factory(camera):
    def body(f, regs):
        seen = {}
        f.SetName("Kept")
        seen["none name"] = error_of(m.IZuGenApiFactory_SetName, f, None)
        seen["bytes name"] = error_of(m.IZuGenApiFactory_SetName, f, b"Other")
        seen["tl int"] = error_of(m.IZuGenApiFactory_SetTLLocked, f, 1)
        seen["polling"] = error_of(m.IZuGenApiFactory_SetPollingTime, f, -1)
        seen["category arity"] = error_of(m.IZuGenApiFactory_SetCategory, f, "A", "B", "C")
        seen["float two"] = error_of(m.IZuGenApiFactory_CreateFloat, f, regs.GetRegisterByAddress(RATE), 0.0)
        seen["event bool"] = error_of(m.IZuGenApiFactory_MapEvent, f, 0x9000, 8, 4, 1, 1)
        seen["entry int name"] = error_of(m.IZuGenApiFactory_AddEnumEntry, f, 5, 1)
        seen["entry negative"] = error_of(m.IZuGenApiFactory_AddEnumEntry, f, "A", -1)
        seen["converter arity"] = error_of(m.IZuGenApiFactory_CreateIntConverter, f, "A", "B")
        seen["entry available"] = error_of(m.IZuGenApiFactory_SetPIsAvailableForEnumEntry, f, "A", 1, "B")
        seen["none object"] = error_of(m.IZuGenApiFactory_SetName, None, "X")
        # After all of that the name is still the first one.
        seen["kept"] = f.CreateInteger(regs.GetRegisterByAddress(GAIN), 0, 100).GetCode()
        return seen

    c, seen = declared(camera, 70, body)
    assert seen["none name"][0] is TypeError
    assert seen["bytes name"] == (TypeError, "Argument 2: failed to create ZuString from Python string")
    assert seen["tl int"] == (TypeError, "in method 'IZuGenApiFactory_SetTLLocked', argument 2 of type 'bool'")
    assert seen["polling"][0] is OverflowError
    assert seen["category arity"][0] is TypeError
    assert seen["category arity"][1].startswith("IZuGenApiFactory_SetCategory expected at most 3 arguments, got 4")
    assert seen["float two"] == (TypeError, prototypes(
        "IZuGenApiFactory_CreateFloat", "IZuGenApiFactory::CreateFloat(IZuRegister *,double,double)",
        "IZuGenApiFactory::CreateFloat(IZuRegister *)", "IZuGenApiFactory::CreateFloat()"))
    assert seen["event bool"] == (TypeError, prototypes(
        "IZuGenApiFactory_MapEvent", "IZuGenApiFactory::MapEvent(uint32_t,uint32_t,size_t,ZuGenEndianness,bool)",
        "IZuGenApiFactory::MapEvent(uint32_t,uint32_t,size_t,ZuGenEndianness)",
        "IZuGenApiFactory::MapEvent(uint32_t,uint32_t,size_t)"))
    assert seen["entry int name"] == (TypeError, "Argument 2: failed to create ZuString from Python string")
    assert seen["entry negative"][0] is TypeError and "Wrong number or type of arguments" in seen["entry negative"][1]
    assert seen["converter arity"] == (TypeError, "IZuGenApiFactory_CreateIntConverter expected 4 arguments, got 3")
    assert seen["entry available"] == (TypeError, "Argument 3: failed to create ZuString from Python string")
    assert seen["none object"][0] is TypeError
    assert seen["kept"] == te.ZU_OK
    assert "<Inc>1</Inc>" in node(c.xml(), "Kept")


def test_create_results(camera):
    def body(f, regs):
        gain = regs.GetRegisterByAddress(GAIN)
        out = {"unnamed": f.CreateInteger(gain).GetCode()}
        f.SetName("NoRegister")
        out["no register"] = m.IZuGenApiFactory_CreateInteger(f).GetCode()
        f.SetName("NoRegister")
        out["none register"] = m.IZuGenApiFactory_CreateInteger(f, None).GetCode()
        f.SetName("Backwards")
        out["backwards"] = f.CreateInteger(gain, 10, 0).GetCode()
        f.SetName("NoEntries")
        out["no entries"] = f.CreateEnum(gain).GetCode()
        f.SetName("Knife")
        out["empty formula"] = f.CreateIntSwissKnife("").GetCode()
        f.SetName("Conv")
        out["empty converter"] = f.CreateFloatConverter("X", "", "FROM").GetCode()
        f.SetName("Chunked")
        f.MapChunk(5, 0, 4)
        out["chunk"] = m.IZuGenApiFactory_CreateInteger(f).GetCode()
        f.SetName("Evented")
        f.MapEvent(0x9000, 8, 4)
        out["event"] = m.IZuGenApiFactory_CreateInteger(f).GetCode()
        out["reference"] = f.AddInvalidatorTo("NoSuchFeature", "Chunked").GetCode()
        f.SetName("Ints")
        out["int bounds"] = f.CreateFloat(regs.GetRegisterByAddress(RATE), 0, 10).GetCode()
        f.SetName("Spelled")
        f.SetVisibility(42)
        out["visibility"] = f.CreateFloatSwissKnife(te.ZuString("1.5")).GetCode()
        return out

    c, out = declared(camera, 71, body)
    assert out == {"unnamed": te.ZU_NOT_INITIALIZED, "no register": te.ZU_INVALID_PARAMETER,
                   "none register": te.ZU_INVALID_PARAMETER, "backwards": te.ZU_INVALID_PARAMETER,
                   "no entries": te.ZU_INVALID_PARAMETER, "empty formula": te.ZU_INVALID_PARAMETER,
                   "empty converter": te.ZU_INVALID_PARAMETER, "chunk": te.ZU_OK, "event": te.ZU_OK,
                   "reference": te.ZU_OK, "int bounds": te.ZU_OK, "visibility": te.ZU_OK}
    xml = c.xml()
    chunk = node(xml, "ChunkedReg")
    # Three arguments: little-endian, in the chunk's own port.
    assert "<Endianess>LittleEndian</Endianess>" in chunk and "<pPort>ChunkPort5</pPort>" in chunk
    assert "<ChunkID>5</ChunkID>" in xml
    # The event's data follows its 24-byte header when the address is adjusted.
    assert "<Address>0x20</Address>" in node(xml, "EventedReg")
    assert "<Min>0</Min>" in node(xml, "Ints") and "<Max>10</Max>" in node(xml, "Ints")
    assert "<Formula>1.5</Formula>" in node(xml, "Spelled")


def test_attributes_reach_the_description(camera):
    def body(f, regs):
        gain = regs.GetRegisterByAddress(GAIN)
        f.SetName("TestGain")
        f.SetCategory("TestControl\\TestDetails", "Details")
        f.SetDescription("The gain")
        f.SetToolTip("Gain & more")
        f.SetAccessMode(te.ZuGenAccessModeReadOnly)
        f.SetRepresentation(te.ZuGenRepresentationHexNumber)
        f.SetVisibility(te.ZuGenVisibilityGuru)
        f.SetCachable(te.ZuGenCacheWriteThrough)
        f.SetPollingTime(250)
        f.SetNameSpace(te.ZuGenNameSpaceStandard)
        f.SetTLLocked(True)
        f.SetStreamable(True)
        f.SetUnit("dB")
        f.SetPIsAvailable("Width")
        f.AddInvalidator("Height")
        f.AddSelected("UserSetSelector")
        assert f.CreateInteger(gain, -5, 5, 1).IsOK()
        f.SetName("TestMode")
        f.SetCategory("TestControl")
        f.AddEnumEntry("Off", 0)
        f.AddEnumEntry("FastMode", 7, "")
        f.AddEnumEntry("Slow", 9, "Very slow", te.ZuGenNameSpaceStandard)
        assert f.CreateEnum(gain).IsOK()
        return {}

    c, _ = declared(camera, 72, body)
    xml = c.xml()
    gain = node(xml, "TestGain")
    for text in ("<Description>The gain</Description>", "<ToolTip>Gain &amp; more</ToolTip>",
                 "<DisplayName>Gain</DisplayName>", "<Visibility>Guru</Visibility>", "<pIsAvailable>Width</pIsAvailable>",
                 "<pIsLocked>TLParamsLocked</pIsLocked>", "<ImposedAccessMode>RO</ImposedAccessMode>",
                 "<pInvalidator>Height</pInvalidator>", "<Streamable>Yes</Streamable>", "<PollingTime>250</PollingTime>",
                 "<Representation>HexNumber</Representation>", "<Unit>dB</Unit>", "<Min>-5</Min>", 'NameSpace="Standard"'):
        assert text in gain, text
    register = node(xml, "TestGainReg")
    assert "<Cachable>WriteThrough</Cachable>" in register and "<Sign>Signed</Sign>" in register
    assert "<pSelected>TestGain</pSelected>" in node(xml, "UserSetSelector")
    assert "<pFeature>TestDetails</pFeature>" in node(xml, "TestControl")
    assert "<DisplayName>Details</DisplayName>" in node(xml, "TestDetails")
    mode = node(xml, "TestMode")
    assert '<EnumEntry Name="FastMode" NameSpace="Custom">' in mode and "<DisplayName>Fast Mode</DisplayName>" in mode
    assert '<EnumEntry Name="Slow" NameSpace="Standard">' in mode and "<DisplayName>Very slow</DisplayName>" in mode


def test_two_kinds_of_one_name_end_start_with_a_description(declaring):
    import support.softcamera as sc

    def features(device, f):
        for create in (f.CreateInteger, f.CreateFloat):
            f.SetName("Twice")
            f.SetPValue("Width")
            create()

    device = te.ZuSoftDeviceGEV()
    device.AddStream(sc.NumpySource())
    sink = declaring(features=features)
    device.RegisterEventSink(sink)
    result = device.Start(sc.loopback_mac(73))
    assert result.GetCode() == te.ZU_INVALID_PARAMETER
    assert "Twice is declared as Integer and as Float" in result.GetDescription()
    assert device.GetRegisterMap() is None
