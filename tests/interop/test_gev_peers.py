"""Interoperation with independent GigE Vision tools (Aravis, Wireshark's
dissector), run only inside the private network namespace."""
import socket
import subprocess
import threading

import pytest

import tarn_base_310 as tb
from support import needs_netns
from support.devices import FakeCamera, Responder, found_infos, search, skip_without

pytestmark = needs_netns()


def test_find_reads_the_aravis_fake_camera():
    skip_without(FakeCamera.TOOL)
    camera = FakeCamera(serial="ARV7")
    try:
        system = tb.ZuSystem()

        def fakes():
            return [i for i in found_infos(system) if i.GetSerialNumber() == "ARV7"]

        assert search(system, fakes).IsOK()
        fake = fakes()
        assert len(fake) == 1
        info = fake[0]
        assert type(info) is tb.ZuDeviceInfoGEV
        assert (info.GetVendorName(), info.GetModelName(), info.GetIPAddress()) == ("Aravis", "Fake", "127.0.0.1")
        result, again = system.FindDevice("ARV7")
        assert result.IsOK() and again.GetIPAddress() == "127.0.0.1"
    finally:
        camera.stop()


def test_arv_tool_lists_our_responder():
    skip_without("arv-tool-0.8")
    device = Responder("127.0.0.41", manufacturer="Acme", model="Probe", serial="X41", mac="02:00:00:00:03:29")
    try:
        out = subprocess.run(["arv-tool-0.8"], capture_output=True, text=True, timeout=30).stdout
    finally:
        device.stop()
    assert "Acme-Probe-X41 (127.0.0.41)" in out.splitlines()


def capture_discovery_cmd():
    """The DISCOVERY packet that ZuSystem.Find really sends."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("255.255.255.255", 3956))
    listener.settimeout(5)
    system = tb.ZuSystem()
    system.SetDetectionTimeout(100)
    finder = threading.Thread(target=system.Find)
    finder.start()
    try:
        return listener.recvfrom(1500)[0]
    finally:
        finder.join()
        listener.close()


def dissect(tmp_path, packet, ports, addresses):
    text = tmp_path / "packet.txt"
    pcap = tmp_path / "packet.pcap"
    text.write_text("000000 " + " ".join(f"{b:02x}" for b in packet) + "\n")
    subprocess.run(["text2pcap", "-q", "-u", ports, "-4", addresses, str(text), str(pcap)], check=True, timeout=30)
    return subprocess.run(["tshark", "-r", str(pcap), "-V"], capture_output=True, text=True, timeout=60).stdout


def test_tshark_decodes_our_discovery_packets(tmp_path):
    skip_without("tshark", "text2pcap")
    command = capture_discovery_cmd()
    out = dissect(tmp_path, command, "50000,3956", "127.0.0.1,255.255.255.255")
    assert "GigE Vision Control Protocol" in out and "DISCOVERY_CMD" in out
    assert "Acknowledge Required: True" in out
    assert "Malformed" not in out

    device = Responder("127.0.0.42", manufacturer="Acme", model="Wire", serial="W42")
    try:
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind(("127.0.0.1", 0))
            s.settimeout(5)
            s.sendto(command, ("127.0.0.42", 3956))
            ack = s.recv(1500)
    finally:
        device.stop()
    out = dissect(tmp_path, ack, "3956,50000", "127.0.0.42,127.0.0.1")
    assert "DISCOVERY_ACK" in out and "Wire" in out and "127.0.0.42" in out
    assert "Malformed" not in out
