"""The camera's own features as a controller sees them: the limits its
description declares are the limits its registers keep (a value outside is
refused with the GVCP error status, and the register keeps its value), and
the limits a source or a script gives reach the controller."""
import math
import struct
import subprocess

import numpy as np
import pytest

import tarn_base_310  # noqa: F401  (registers the information classes)
import tarn_edge_310 as te
from support import needs_netns
from support.devices import skip_without
from support.softcamera import NumpySource, SoftCamera, loopback_mac

tr = pytest.importorskip("tarn_receive_310")
if not hasattr(tr._tarn_receive_310, "ZuDevice_CreateAndConnect"):
    pytest.skip("the receiving module has no device yet", allow_module_level=True)

from support.receiving import connect  # noqa: E402  (once the module is known there)

pytestmark = needs_netns()

PACKET_SIZE = 0x0D04              # stream channel 0's SCPS
FRAME_RATE = 0x11030              # the device's 8-byte IEEE register
TL_LOCKED, RATE_ENABLE = 0x1100C, 0x11038
WIDTH = 0x10000


def register(device, address):
    result, value = device.ReadRegister(address)
    assert result.IsOK()
    return value


def write_rate(device, rate):
    return device.WriteMemory(FRAME_RATE, np.frombuffer(struct.pack(">d", rate), dtype=np.uint8).copy())


class Stepped(NumpySource):
    """A source whose width goes in steps of 8 from 8 and height in steps of 4 from 4."""

    def GetWidthInfo(self): return (8, 64, 8)
    def GetHeightInfo(self): return (4, 48, 4)


def test_values_outside_the_declared_limits_are_refused_and_change_nothing():
    with SoftCamera(60) as cam:
        system, device = connect(cam.address)
        try:
            # Packet sizes: 576 to the source's maximum (9000) in steps of 4.
            start = register(device, PACKET_SIZE)
            assert start & 0xFFFF == 1500
            for size in (0, 1, 100, 575, 578, 9004, 0xFFFF):
                assert not device.WriteRegister(PACKET_SIZE, size).IsOK(), size
                assert register(device, PACKET_SIZE) == start, size
            for size in (576, 9000, 1500):
                assert device.WriteRegister(PACKET_SIZE, size).IsOK(), size
                assert register(device, PACKET_SIZE) & 0xFFFF == size
            # The flags beside the size are the controller's to set.
            assert device.WriteRegister(PACKET_SIZE, 0x40000000 | 1500).IsOK()
            # The frame rate: 0.1 to 100000 Hz, and a number.
            p = device.GetParameters()
            assert write_rate(device, 25.0).IsOK()
            for rate in (0.0, -1.0, math.nan, math.inf, 100000.5):
                assert not write_rate(device, rate).IsOK(), rate
                assert p.GetFloatValue("AcquisitionFrameRate")[1] == 25.0, rate
            # A flag takes 0 or 1; TLParamsLocked is declared 0..1.
            for address in (TL_LOCKED, RATE_ENABLE):
                assert not device.WriteRegister(address, 2).IsOK()
                assert register(device, address) == 0
                assert device.WriteRegister(address, 1).IsOK()
            # Locked while TLParamsLocked: AcquisitionMode too, as declared.
            assert not device.WriteRegister(0x11008, 0).IsOK()
            assert device.WriteRegister(TL_LOCKED, 0).IsOK()
            assert device.WriteRegister(0x11008, 0).IsOK()
            assert not device.WriteRegister(0x11008, 1).IsOK()
        finally:
            tr.ZuDevice.Free(device)


def test_aravis_cannot_leave_a_packet_size_the_camera_cannot_stream_with():
    skip_without("arv-tool-0.8")
    with SoftCamera(61) as cam:
        out = subprocess.run(["arv-tool-0.8", "-a", cam.address, "control", "R[0x0D04]=575", "R[0x0D04]=0",
                              "R[0x0D04]=9004", "R[0x0D04]"], capture_output=True, text=True, timeout=30).stdout
        assert out.strip().splitlines()[-1].endswith("= 0x000005dc"), out


def test_a_sources_increments_and_a_scripts_float_limits_reach_the_controller():
    class Limits(te.IZuVirtualDeviceGEVEventSink):
        def OnCreateCustomRegisters(self, device, f):
            assert f.AddRegister("RateTopReg", 0x20000, 8, te.ZuGenAccessModeReadOnly).IsOK()
            assert f.AddRegister("RateFloorReg", 0x20008, 8, te.ZuGenAccessModeReadOnly).IsOK()

        def OnCreateCustomGenApiFeatures(self, device, f):
            regs = device.GetRegisterMap()
            for reg, value in ((0x20000, 60.0), (0x20008, 2.5)):
                assert regs.GetRegisterByAddress(reg).WriteDouble(value).IsOK()
            f.SetName("RateTop")
            assert f.CreateFloat(regs.GetRegisterByAddress(0x20000), 0, 1e6).IsOK()
            f.SetName("RateFloor")
            assert f.CreateFloat(regs.GetRegisterByAddress(0x20008), 0, 1e6).IsOK()
            assert f.SetPMaxFor("AcquisitionFrameRate", "RateTop").IsOK()
            assert f.SetPMinFor("AcquisitionFrameRate", "RateFloor").IsOK()

    source, script = Stepped(), Limits()
    camera = te.ZuSoftDeviceGEV()
    assert camera.AddStream(source).IsOK()
    assert camera.RegisterEventSink(script).IsOK()
    assert camera.Start(loopback_mac(62)).IsOK()
    try:
        system, device = connect("127.0.0.62")
        p = device.GetParameters()
        width, height = p.GetInteger("Width"), p.GetInteger("Height")
        assert width.GetIncrement()[1] == 8 and height.GetIncrement()[1] == 4
        assert (width.GetMin()[1], height.GetMin()[1]) == (8, 4)
        assert p.SetIntegerValue("Width", 56).IsOK() and source.width == 56
        # Off the step: the register refuses it too, whoever writes it.
        assert not device.WriteRegister(WIDTH, 60).IsOK()
        assert source.width == 56
        rate = p.GetFloat("AcquisitionFrameRate")
        assert (rate.GetMin()[1], rate.GetMax()[1]) == (2.5, 60.0)
        assert not p.SetFloatValue("AcquisitionFrameRate", 61.0).IsOK()
        assert p.SetFloatValue("AcquisitionFrameRate", 59.0).IsOK()
        tr.ZuDevice.Free(device)
    finally:
        camera.Stop()
