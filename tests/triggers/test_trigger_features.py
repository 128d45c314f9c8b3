"""Triggering through the receiving module's node map: the trigger
features of the software camera's description, set and executed by name,
with the frames caught by the test receiver."""
import numpy as np
import pytest

import tarn_edge_310 as te

from support import needs_netns
from support.controller import StreamReceiver
from support.devices import find
from support.softcamera import SoftCamera, TriggeredSource, pattern

tr = pytest.importorskip("tarn_receive_310")
if not hasattr(tr._tarn_receive_310, "ZuDevice_CreateAndConnect"):
    pytest.skip("the receiving module has no device yet", allow_module_level=True)

pytestmark = needs_netns()


def connect(address):
    _, info = find(address)
    result, device = tr.ZuDevice.CreateAndConnect(info)
    assert result.IsOK(), result.GetDescription()
    return device


def test_trigger_features_by_name():
    with SoftCamera(44, kind=TriggeredSource, width=24, height=6) as cam:
        device = connect(cam.address)
        receiver = StreamReceiver()
        try:
            p = device.GetParameters()
            assert device.SetStreamDestination("127.0.0.1", receiver.port).IsOK()
            assert p.GetEnumValueString("TriggerSelector")[1] == "FrameStart"
            # Mode and source follow the selector.
            assert p.SetEnumValue("TriggerSelector", "AcquisitionStart")[0].IsOK()
            assert p.SetEnumValue("TriggerSource", "Line1")[0].IsOK()
            assert p.SetEnumValue("TriggerSelector", "FrameStart")[0].IsOK()
            assert p.GetEnumValueString("TriggerSource")[1] == "Software"
            assert p.SetEnumValue("TriggerMode", "On")[0].IsOK()
            assert p.SetIntegerValue("TLParamsLocked", 1).IsOK()
            assert p.ExecuteCommand("AcquisitionStart").IsOK()
            assert receiver.wait_for(1, timeout=0.3) == []
            for n in range(1, 4):
                assert p.ExecuteCommand("TriggerSoftware").IsOK()
                assert len(receiver.wait_for(n)) == n
                assert len(receiver.wait_for(n + 1, timeout=0.3)) == n
            assert p.ExecuteCommand("AcquisitionStop").IsOK()
            blocks = receiver.wait_for(3)
        finally:
            receiver.close()
            tr.ZuDevice.Free(device)
    for block in blocks:
        got = np.frombuffer(block.data(), dtype=np.uint8).reshape(6, 24)
        assert np.array_equal(got, pattern(block.id - 1, 6, 24)), block.id
    assert cam.source.selectors[0].GetSource() == 0 and cam.source.selectors[1].GetSource() == 1
    assert [name for name, _ in cam.source.triggered] == ["FrameStart"] * 3


class Watching(TriggeredSource):
    """A trigger source whose sink methods watch its registers' accesses."""

    def __init__(self, **frames):
        super().__init__(**frames)
        self.written, self.refuse_reads = [], False

    def PreWrite(self, reg):
        self.written.append((reg.GetName(), reg.ReadInt()[1]))
        return te.ZuStreamingChannelSourceTrigger.PreWrite(self, reg)

    def PreRead(self, reg):
        return te.ZU_GENERIC_ERROR if self.refuse_reads else te.ZU_OK


def test_the_trigger_registers_are_custom_registers_like_any_other():
    with SoftCamera(48, kind=Watching, width=8, height=2) as cam:
        regs = cam.device.GetRegisterMap()
        assert [regs.GetRegisterByAddress(0x20000 + at).GetName() for at in (0, 4, 8, 12)] == [
            "TriggerSelector", "TriggerMode", "TriggerSource", "TriggerSoftware"]
        device = connect(cam.address)
        try:
            p = device.GetParameters()
            # The sink sees the value being written, not the one before.
            assert p.SetEnumValue("TriggerMode", "On")[0].IsOK()
            assert cam.source.written[-1] == ("TriggerMode", te.TRIGGER_MODE_ON)
            # A read the sink refuses fails for the controller too.
            cam.source.refuse_reads = True
            assert device.ReadRegister(0x20004)[0].GetCode() != te.ZU_OK
            cam.source.refuse_reads = False
            assert device.ReadRegister(0x20004)[1] == te.TRIGGER_MODE_ON
            # What the source refuses, the register does not keep.
            assert not device.WriteRegister(0x20004, 2).IsOK()
            assert regs.GetRegisterByAddress(0x20004).ReadInt()[1] == te.TRIGGER_MODE_ON
        finally:
            tr.ZuDevice.Free(device)


def test_user_sets_keep_mode_and_source_of_every_selector():
    import tarn_edge_310 as te
    from support.softcamera import loopback_mac

    source = TriggeredSource(width=8, height=2)
    camera = te.ZuSoftDeviceGEV()
    assert camera.AddStream(source).IsOK()
    camera.SetUserSetCount(1)
    result = camera.Start(loopback_mac(46))
    assert result.IsOK(), result.GetDescription()
    frame, acquisition = (source.selectors[te.TRIGGER_SELECTOR_FRAMESTART],
                          source.selectors[te.TRIGGER_SELECTOR_ACQUISITIONSTART])
    device = connect("127.0.0.46")
    try:
        p = device.GetParameters()

        def select(selector, mode, trigger_source):
            assert p.SetEnumValue("TriggerSelector", selector)[0].IsOK()
            assert p.SetEnumValue("TriggerMode", mode)[0].IsOK()
            assert p.SetEnumValue("TriggerSource", trigger_source)[0].IsOK()

        # Each selector its own pair, unlike the other's, so that a set
        # keeping only the selected one, or one value for both, shows.
        select("AcquisitionStart", "Off", "Line1")
        select("FrameStart", "On", "Software")
        assert p.SetEnumValue("UserSetSelector", "UserSet1")[0].IsOK()
        assert p.ExecuteCommand("UserSetSave").IsOK()
        # Saving walks the selectors but leaves the selected one selected.
        assert p.SetEnumValue("TriggerMode", "Off")[0].IsOK()
        assert not frame.GetMode() and not acquisition.GetMode()

        select("FrameStart", "Off", "Line1")
        select("AcquisitionStart", "On", "Software")
        assert p.ExecuteCommand("UserSetLoad").IsOK()
        assert (frame.GetMode(), frame.GetSource()) == (True, te.TRIGGER_SOURCE_SOFTWARE)
        assert (acquisition.GetMode(), acquisition.GetSource()) == (False, te.TRIGGER_SOURCE_USER)

        # The default set is the state the camera started with.
        assert p.SetEnumValue("UserSetSelector", "Default")[0].IsOK()
        assert p.ExecuteCommand("UserSetLoad").IsOK()
        assert not frame.GetMode() and not acquisition.GetMode()
        assert frame.GetSource() == acquisition.GetSource() == te.TRIGGER_SOURCE_SOFTWARE
    finally:
        tr.ZuDevice.Free(device)
        camera.Stop()


def test_trigger_registers_over_a_script_register_end_start():
    import tarn_edge_310 as te
    from support.softcamera import loopback_mac

    class Script(te.IZuVirtualDeviceGEVEventSink):
        def OnCreateCustomRegisters(self, device, factory):
            assert factory.AddRegister("Gain", 0x2000C, 4, te.ZuGenAccessModeReadWrite).IsOK()

    script = Script()
    source = TriggeredSource(base_address=0x20000, width=8, height=2)
    camera = te.ZuSoftDeviceGEV()
    assert camera.AddStream(source).IsOK()
    camera.RegisterEventSink(script)
    result = camera.Start(loopback_mac(47))
    # TriggerSoftware's address is the script's register: neither may win unseen.
    assert result.GetCode() == te.ZU_INVALID_PARAMETER
    assert "trigger registers at 0x20000 overlap" in result.GetDescription()
    # Moved clear of it, the same pair starts.
    source = TriggeredSource(base_address=0x20010, width=8, height=2)
    camera = te.ZuSoftDeviceGEV()
    assert camera.AddStream(source).IsOK()
    camera.RegisterEventSink(script)
    result = camera.Start(loopback_mac(47))
    assert result.IsOK(), result.GetDescription()
    camera.Stop()


def test_each_channel_has_its_own_trigger_features_behind_the_source_selector():
    import tarn_edge_310 as te
    from support.softcamera import loopback_mac
    sources = [TriggeredSource(width=16, height=4), TriggeredSource(base_address=0x20100, channel=1, width=16, height=4)]
    camera = te.ZuSoftDeviceGEV()
    for source in sources:
        assert camera.AddStream(source).IsOK()
    assert camera.Start(loopback_mac(46)).IsOK()
    try:
        device = connect("127.0.0.46")
        try:
            p = device.GetParameters()
            assert p.SetIntegerValue("SourceSelector", 1).IsOK()
            assert p.SetEnumValue("TriggerSelector", "AcquisitionStart")[0].IsOK()
            assert p.SetEnumValue("TriggerMode", "On")[0].IsOK()
            assert p.SetEnumValue("TriggerSource", "Line1")[0].IsOK()
            assert p.SetIntegerValue("SourceSelector", 0).IsOK()
            assert p.GetEnumValueString("TriggerSelector")[1] == "FrameStart"
            assert p.GetEnumValueString("TriggerMode")[1] == "Off"
        finally:
            tr.ZuDevice.Free(device)
        start = te.TRIGGER_SELECTOR_ACQUISITIONSTART
        assert sources[1].selectors[start].GetMode() and sources[1].selectors[start].GetSource() == te.TRIGGER_SOURCE_USER
        assert not any(s.GetMode() for s in sources[0].selectors.values())
    finally:
        camera.Stop()
