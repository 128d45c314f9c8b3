"""A camera whose script declares registers and features, controlled by the
receiving module and by Aravis's tool over GVCP: every feature kind reads
and writes as declared, the script's sinks see each access in order and
refuse what they must, and user sets saved by a controller come back after
the camera restarts."""
import subprocess

import pytest

import tarn_base_310  # noqa: F401  (registers the information classes)
import tarn_edge_310 as te
from support import needs_netns
from support.devices import skip_without

tr = pytest.importorskip("tarn_receive_310")
if not hasattr(tr._tarn_receive_310, "ZuDevice_CreateAndConnect"):
    pytest.skip("the receiving module has no device yet", allow_module_level=True)

from support.receiving import connect  # noqa: E402  (once the module is known there)

pytestmark = needs_netns()

RW = te.ZuGenAccessModeReadWrite
GAIN, RATIO, MODE, FIRE, LABEL, MS, LUT_SELECTOR, LUT_VALUE = (
    0x20000, 0x20008, 0x20010, 0x20014, 0x20020, 0x20040, 0x20044, 0x20048)


class Gain(te.IZuRegisterEventSink):
    """Records every access and refuses gains above 50 (the feature allows
    100, so the device's own rule shows as a refusal)."""

    def __init__(self):
        super().__init__()
        self.seen = []

    def PreRead(self, reg):
        self.seen.append("PreRead")
        return te.ZU_OK

    def PostRead(self, reg):
        self.seen.append("PostRead")

    def PreWrite(self, reg):
        value = reg.ReadInt()[1]
        self.seen.append(("PreWrite", value))
        return te.ZU_INVALID_PARAMETER if value > 50 else te.ZU_OK

    def PostWrite(self, reg):
        self.seen.append(("PostWrite", reg.ReadInt()[1]))


class Lut(te.IZuRegisterEventSink):
    """LutValue holds one value per LutSelector: the sink swaps them in and
    persists each under a suffix of its own."""

    def __init__(self):
        super().__init__()
        self.values = [0, 0]
        self.selector = 0
        self.value_reg = None
        self.refuse = False

    def PostWrite(self, reg):
        if reg.GetAddress() == LUT_SELECTOR:
            self.selector = reg.ReadInt()[1] & 1
            self.value_reg.Write(self.values[self.selector])
        else:
            self.values[self.selector] = reg.ReadInt()[1]

    def Persist(self, reg, store):
        if reg.GetAddress() != LUT_VALUE:
            return te.ZU_NOT_IMPLEMENTED
        if self.refuse:
            return te.ZU_GENERIC_ERROR
        was = self.selector
        for index in (0, 1):
            self.selector = index
            reg.Write(self.values[index])
            result = store.Persist(reg, "_%d" % index)
            if not result.IsOK():
                return result
            self.values[index] = reg.ReadInt()[1]
        self.selector = was
        reg.Write(self.values[was])
        return te.ZU_OK


class States(te.IZuUserSetNotify):
    def __init__(self, answer=te.ZU_OK):
        super().__init__()
        self.seen, self.answer = [], answer

    def UserSetStateNotify(self, state, index):
        self.seen.append((state, index))
        return self.answer


class Script(te.IZuVirtualDeviceGEVEventSink):
    def __init__(self):
        super().__init__()
        self.gain, self.lut = Gain(), Lut()

    def OnCreateCustomRegisters(self, device, f):
        assert f.AddRegister("GainReg", GAIN, 4, RW, self.gain).IsOK()
        assert f.AddRegister("RatioReg", RATIO, 8, RW).IsOK()
        assert f.AddRegister("ModeReg", MODE, 4, RW).IsOK()
        assert f.AddRegister("FireReg", FIRE, 4, te.ZuGenAccessModeWriteOnly).IsOK()
        assert f.AddByteArray("LabelReg", LABEL, 32, RW).IsOK()
        assert f.AddRegister("MsReg", MS, 4, RW).IsOK()
        assert f.AddRegister("LutSelectorReg", LUT_SELECTOR, 4, RW, self.lut).IsOK()
        assert f.AddRegister("LutValueReg", LUT_VALUE, 4, RW, self.lut).IsOK()

    def OnCreateCustomGenApiFeatures(self, device, f):
        regs = device.GetRegisterMap()
        self.lut.value_reg = regs.GetRegisterByAddress(LUT_VALUE)
        def named(name, streamable=False):
            f.SetName(name)
            f.SetCategory("TestControl")
            f.SetStreamable(streamable)
        named("TestGain", True)
        assert f.CreateInteger(regs.GetRegisterByAddress(GAIN), 0, 100, 2).IsOK()
        named("TestRatio", True)
        assert f.CreateFloat(regs.GetRegisterByAddress(RATIO), -1.5, 2.5).IsOK()
        named("TestMode")
        f.AddEnumEntry("Off", 0)
        f.AddEnumEntry("Fast", 7)
        assert f.CreateEnum(regs.GetRegisterByAddress(MODE)).IsOK()
        named("TestFire")
        assert f.CreateCommand(regs.GetRegisterByAddress(FIRE)).IsOK()
        named("TestLabel")
        assert f.CreateString(regs.GetRegisterByAddress(LABEL)).IsOK()
        named("TestDouble")
        f.AddVariable("TestGain")
        assert f.CreateIntSwissKnife("TestGain*2").IsOK()
        named("TestMs")
        assert f.CreateInteger(regs.GetRegisterByAddress(MS), 0, 1000000).IsOK()
        named("TestUs")
        f.SetUnit("us")
        assert f.CreateIntConverter("TestMs", "TO*1000", "FROM/1000").IsOK()
        named("LutSelector")
        assert f.CreateInteger(regs.GetRegisterByAddress(LUT_SELECTOR), 0, 1).IsOK()
        named("LutValue")
        f.AddSelected("LutSelector")
        assert f.CreateInteger(regs.GetRegisterByAddress(LUT_VALUE), 0, 255).IsOK()


class Camera:
    def __init__(self, n, notify=None):
        from support.softcamera import NumpySource, loopback_mac
        self.address = "127.0.0.%d" % n
        self.script = Script()
        self.source = NumpySource()
        self.device = te.ZuSoftDeviceGEV()
        self.device.AddStream(self.source)
        self.device.RegisterEventSink(self.script)
        self.device.SetUserSetCount(2)
        if notify:
            self.device.SetUserSetNotify(notify)
        result = self.device.Start(loopback_mac(n))
        assert result.IsOK(), result.GetDescription()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.device.Stop()


def ok(answer):
    """Whether a setter succeeded (some answer a result, some a list with it first)."""
    return (answer[0] if isinstance(answer, (list, tuple)) else answer).IsOK()


def test_every_kind_through_the_receiving_node_map(monkeypatch, tmp_path):
    monkeypatch.setenv("TARN_USERSET_DIR", str(tmp_path))
    with Camera(80) as cam:
        system, device = connect(cam.address)
        p = device.GetParameters()
        gain = cam.script.gain
        # The sink sees the write before it is committed, then after; a read around it.
        gain.seen.clear()
        assert ok(p.SetIntegerValue("TestGain", 40))
        assert p.GetIntegerValue("TestGain")[1] == 40
        assert gain.seen == [("PreWrite", 40), ("PostWrite", 40), "PreRead", "PostRead"]
        # Out of the feature's range: refused before the device hears of it;
        # in range but above the sink's limit: refused by the sink.
        gain.seen.clear()
        assert not ok(p.SetIntegerValue("TestGain", 102))
        assert not ok(p.SetIntegerValue("TestGain", 41))
        assert gain.seen == []
        assert not ok(p.SetIntegerValue("TestGain", 60))
        assert gain.seen == [("PreWrite", 60)]
        assert p.GetIntegerValue("TestGain")[1] == 40
        assert ok(p.SetFloatValue("TestRatio", 2.25))
        assert p.GetFloatValue("TestRatio")[1] == 2.25
        assert not ok(p.SetFloatValue("TestRatio", 3.0))
        assert ok(p.SetEnumValue("TestMode", "Fast"))
        assert p.GetEnumValueString("TestMode")[1] == "Fast"
        assert ok(p.ExecuteCommand("TestFire"))
        assert ok(p.SetStringValue("TestLabel", "left"))
        assert p.GetStringValue("TestLabel")[1] == "left"
        assert p.GetIntegerValue("TestDouble")[1] == 80
        assert ok(p.SetIntegerValue("TestUs", 2000))
        assert p.GetIntegerValue("TestMs")[1] == 2
        assert p.GetIntegerValue("TestUs")[1] == 2000
        # The selector picks which value LutValue shows.
        assert ok(p.SetIntegerValue("LutSelector", 1))
        assert ok(p.SetIntegerValue("LutValue", 11))
        assert ok(p.SetIntegerValue("LutSelector", 0))
        assert ok(p.SetIntegerValue("LutValue", 22))
        assert cam.script.lut.values == [22, 11]
        # User set 1 saved by the controller and made the start-up default.
        states = []
        assert ok(p.SetEnumValue("UserSetSelector", "UserSet1"))
        assert ok(p.ExecuteCommand("UserSetSave"))
        assert ok(p.SetEnumValue("UserSetDefault", "UserSet1"))
        assert ok(p.SetIntegerValue("TestGain", 10))
        device.Disconnect() if hasattr(device, "Disconnect") else None
        tr.ZuDevice.Free(device)
    notify = States()
    with Camera(80, notify=notify) as cam:
        # The streamable features and the selector's table came back.
        assert cam.device.GetRegisterMap().GetRegisterByAddress(GAIN).ReadInt()[1] == 40
        assert cam.script.lut.values == [22, 11]
        assert cam.device.GetRegisterMap().GetRegisterByAddress(MODE).ReadInt()[1] == 0
        assert (te.ZuUserSetStateLoadStart, 1) in notify.seen and (te.ZuUserSetStateLoadCompleted, 1) in notify.seen


def test_a_save_a_sink_cannot_keep_fails_and_leaves_the_saved_set_as_it_was(monkeypatch, tmp_path):
    monkeypatch.setenv("TARN_USERSET_DIR", str(tmp_path))
    with Camera(83) as cam:
        system, device = connect(cam.address)
        p = device.GetParameters()
        assert ok(p.SetIntegerValue("TestGain", 30))
        assert ok(p.SetEnumValue("UserSetSelector", "UserSet1"))
        assert ok(p.ExecuteCommand("UserSetSave"))
        [kept] = list(tmp_path.iterdir())
        saved = kept.read_text()
        assert "TestGain 0000001E" in saved
        cam.script.lut.refuse = True
        assert ok(p.SetIntegerValue("TestGain", 12))
        assert not ok(p.ExecuteCommand("UserSetSave"))
        assert kept.read_text() == saved
        cam.script.lut.refuse = False
        assert ok(p.ExecuteCommand("UserSetLoad"))
        assert p.GetIntegerValue("TestGain")[1] == 30
        tr.ZuDevice.Free(device)


def test_a_notification_answering_none_is_a_mismatch_not_a_crash(capfd):
    notify = States(answer=None)
    with Camera(81, notify=notify) as cam:
        system, device = connect(cam.address)
        p = device.GetParameters()
        assert ok(p.SetEnumValue("UserSetSelector", "UserSet2"))
        assert ok(p.ExecuteCommand("UserSetSave"))
        assert ok(p.ExecuteCommand("UserSetLoad"))
        tr.ZuDevice.Free(device)
    assert notify.seen[-4:] == [(te.ZuUserSetStateSaveStart, 2), (te.ZuUserSetStateSaveCompleted, 2),
                                (te.ZuUserSetStateLoadStart, 2), (te.ZuUserSetStateLoadCompleted, 2)]
    # A mismatch is a failure of the up-call: its line, and the camera goes on.
    assert ("In method 'UserSetStateNotify': TypeError: SWIG director type mismatch in method UserSetStateNotify"
            in capfd.readouterr().out)


def run(*args):
    return subprocess.run(list(args), capture_output=True, text=True, timeout=30).stdout


def test_aravis_lists_reads_and_sets_the_script_features():
    skip_without("arv-tool-0.8")
    with Camera(82) as cam:
        result, xml = cam.device.GetGenICamXMLFile()
        selector = xml[xml.index('<Integer Name="LutSelector"'):]
        assert "<pSelected>LutValue</pSelected>" in selector[:selector.index("</Integer>")]
        features = run("arv-tool-0.8", "-a", cam.address, "features")
        for name in ("TestGain", "TestRatio", "TestMode", "TestFire", "TestLabel", "TestDouble", "TestUs",
                     "LutSelector", "LutValue"):
            assert f"'{name}'" in features, name
        out = run("arv-tool-0.8", "-a", cam.address, "control", "TestGain=20", "TestMode=Fast", "TestMs=3",
                  "TestGain", "TestDouble", "TestUs", "TestRatio=1.5", "TestRatio")
        for text in ("TestGain = 20", "TestDouble = 40", "TestUs = 3000", "TestRatio = 1.5"):
            assert text in out, out
        # Aravis reads around its write; the sink sees the write whole, in order.
        seen = cam.script.gain.seen
        at = seen.index(("PreWrite", 20))
        assert seen[at + 1] == ("PostWrite", 20)
        out = run("arv-tool-0.8", "-a", cam.address, "control", "TestUs=5000", "TestMs", "TestLabel=right", "TestLabel")
        assert "TestMs = 5" in out and "TestLabel = right" in out, out
        # The sink's refusal reaches Aravis as a failed write.
        run("arv-tool-0.8", "-a", cam.address, "control", "TestGain=60")
        assert cam.device.GetRegisterMap().GetRegisterByAddress(GAIN).ReadInt()[1] == 20
