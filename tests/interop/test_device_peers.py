"""Device control against independent GigE Vision implementations: our
controller drives Aravis's fake camera, Aravis's tool meets our device-side
server, and Wireshark's dissector reads what our controller and server
exchange. Run only inside the private network namespace."""
import subprocess
import threading

import pytest

import tarn_receive_310 as tr
from support import needs_netns
from support.capture import Capture
from support.devices import FakeCamera, skip_without, start_test_device

pytestmark = needs_netns()


def arv_tool(address, *args):
    return subprocess.run(["arv-tool-0.8", "-a", address, *args], capture_output=True, text=True, timeout=30).stdout


def test_our_controller_drives_the_aravis_fake_camera():
    skip_without(FakeCamera.TOOL)
    with FakeCamera(serial="GV07"):
        result, dev = tr.ZuDevice.CreateAndConnect("127.0.0.1")
        assert result.IsOK(), result.GetDescription()
        try:
            assert type(dev) is tr.ZuDeviceGEV
            params = dev.GetParameters()
            assert params.GetStringValue("DeviceVendorName")[1] == "Aravis"
            assert params.GetStringValue("DeviceModelName")[1] == "Fake"
            assert dev.GetIPAddress() == "127.0.0.1"
            for name, value in (("Width", 320), ("Height", 200)):
                assert params.SetIntegerValue(name, value).IsOK()
                params.InvalidateCache()
                assert params.GetIntegerValue(name)[1] == value
            assert params.SetEnumValue("PixelFormat", "Mono16")[0].IsOK()
            params.InvalidateCache()
            assert params.GetEnumValueString("PixelFormat")[1] == "Mono16"
            assert dev.GetPayloadSize() == 320 * 200 * 2
            assert params.SetIntegerValue("TestRegister", 0x1234).IsOK()
            params.InvalidateCache()
            assert params.GetIntegerValue("TestRegister")[1] == 0x1234
            # The bootstrap block as the camera holds it, read in one request.
            result, block = dev.ReadMemory(0, 248)
            assert result.IsOK()
            assert block[0x24:0x28].tobytes() == bytes([127, 0, 0, 1])
            assert block[0x68:0x6C].tobytes() == b"Fake"
            assert block[0xD8:0xDC].tobytes() == b"GV07"
            result, value = dev.ReadRegister(0x24)
            assert result.IsOK() and value == 0x7F000001
        finally:
            tr.ZuDevice.Free(dev)


@pytest.fixture
def our_server():
    device = start_test_device("127.0.0.120", model="Shared")
    yield device
    device.stop()


def test_aravis_cannot_take_our_server_while_we_hold_it(our_server):
    skip_without("arv-tool-0.8")
    result, dev = tr.ZuDevice.CreateAndConnect("127.0.0.120")
    assert result.IsOK()
    try:
        assert dev.GetParameters().SetIntegerValue("Width", 640).IsOK()
        # Reading works beside us; writing does not reach the device.
        assert "Width = 640" in arv_tool("127.0.0.120", "control", "Width")
        arv_tool("127.0.0.120", "control", "Width=320")
        params = dev.GetParameters()
        params.InvalidateCache()
        assert params.GetIntegerValue("Width")[1] == 640
        assert dev.IsConnected()
    finally:
        tr.ZuDevice.Free(dev)
    # Exclusive: not even a read.
    dev = tr.ZuDeviceGEV()
    access = tr._tarn_receive_310.ZuDeviceGEV_GetAccessType(dev)
    assert tr.ZuDeviceGEV.GetAccessType("127.0.0.120", access).IsOK()
    tr._tarn_receive_310.delete_ZuDeviceGEV(dev)
    # Released: now Aravis may write.
    arv_tool("127.0.0.120", "control", "Width=320")
    result, dev = tr.ZuDevice.CreateAndConnect("127.0.0.120")
    try:
        assert dev.GetParameters().GetIntegerValue("Width")[1] == 320
    finally:
        tr.ZuDevice.Free(dev)


def test_aravis_reads_our_servers_description_and_features(our_server):
    skip_without("arv-tool-0.8")
    features = arv_tool("127.0.0.120", "features")
    for line in ("Integer      : [RW] 'Width'", "Enumeration  : [RW] 'PixelFormat'", "StringReg    : [RO] 'DeviceVendorName'"):
        assert line in features
    values = arv_tool("127.0.0.120", "control", "DeviceVendorName", "DeviceModelName", "PixelFormat")
    assert "DeviceVendorName = tarn" in values and "DeviceModelName = Shared" in values


def test_wireshark_reads_our_control_and_messaging_traffic(our_server, tmp_path):
    skip_without("tshark")
    pcap = tmp_path / "device.pcap"
    with Capture(pcap):
        result, dev = tr.ZuDevice.CreateAndConnect("127.0.0.120")
        assert result.IsOK()
        try:
            arrived = threading.Event()

            class Sink(tr.ZuDeviceEventSink):
                def OnEventGenICam(self, *args):
                    arrived.set()

            sink = Sink()
            dev.RegisterEventSink(sink)
            port = dev.GetCommunicationParameters().GetIntegerValue("MessagingChannelPort")[1]
            assert dev.ReadRegister(0x10000)[0].IsOK()
            assert dev.WriteRegister(0x10000, 64).IsOK()
            assert dev.ReadMemory(0x10000, 16)[0].IsOK()
            assert dev.WriteMemory(0x10100, [1, 2, 3, 4, 5, 6, 7, 8]).IsOK()
            our_server.tell("event 9001 0000002a")
            assert arrived.wait(10)
            arrived.clear()
            our_server.tell("event 1234")
            assert arrived.wait(10)
            dev.UnregisterEventSink(sink)
        finally:
            tr.ZuDevice.Free(dev)
    fields = ["-T", "fields", "-e", "gvcp.cmd.command", "-e", "gvcp.ack", "-e", "_ws.malformed"]
    out = subprocess.run(["tshark", "-r", str(pcap), "-d", f"udp.port=={port},gvcp", "-Y", "gvcp", *fields],
                         capture_output=True, text=True, timeout=60).stdout
    seen = set()
    for line in out.splitlines():
        command, ack, malformed = (line.split("\t") + ["", "", ""])[:3]
        assert not malformed, line
        seen.add(command or ack)
    # Commands, and the acknowledges that answer them, in the dissector's words.
    for code in ("0x0080", "0x0082", "0x0084", "0x0086", "0x00c0", "0x00c2"):
        assert code in seen, (code, sorted(seen))
    for code in ("0x0081", "0x0083", "0x0085", "0x0087", "0x00c1", "0x00c3"):
        assert code in seen, (code, sorted(seen))
    malformed = subprocess.run(["tshark", "-r", str(pcap), "-d", f"udp.port=={port},gvcp", "-Y", "_ws.malformed"],
                               capture_output=True, text=True, timeout=60).stdout
    assert malformed == ""
