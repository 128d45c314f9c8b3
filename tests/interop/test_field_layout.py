"""Where each GVCP identity field lies, checked against independent peers:
Wireshark's dissector reads every field of our responder's DISCOVERY_ACK by
name (value and offset), our responder's bootstrap registers hold the same
values at the standard's addresses, and what we read from Aravis's fake
camera matches what Aravis's own tool reads from it."""
import re
import socket
import struct
import subprocess
import xml.etree.ElementTree as ET

import pytest

import tarn_base_310 as tb
from support import needs_netns
from support.devices import FakeCamera, Responder, skip_without
from support.gvcp import (DISCOVERY_CMD, IDENTITY, READMEM_ACK, READMEM_CMD, READREG_ACK, READREG_CMD,
                          command, header, ip_number)

pytestmark = needs_netns()

ADDRESS = "127.0.0.43"
GIVEN = dict(mac="02:0a:0b:0c:0d:0e", manufacturer="Acme", model="Wire", version="V7", info="Info",
             serial="W43", name="user43", mask="255.255.0.0", **{"class": 2})
# What the acknowledge must say of the responder above.
EXPECTED = {
    "version_major": 2, "version_minor": 0,
    "device_mode": 0x80000000 | (2 << 28) | 1,
    "mac_high": 0x020A, "mac_low": 0x0B0C0D0E,
    "ip_config_options": 0x7, "ip_config_current": 0x6,
    "ip": ip_number(ADDRESS), "mask": ip_number("255.255.0.0"), "gateway": 0,
    "manufacturer": "Acme", "model": "Wire", "version": "V7", "info": "Info", "serial": "W43", "name": "user43",
}
# Wireshark's name for each field, and how its shown value reads.
DISSECTED = {
    "version_major": ("gvcp.bootstrap.specversion.major", int),
    "version_minor": ("gvcp.bootstrap.specversion.minor", int),
    "device_mode": ("gvcp.ack.discovery.devicemode", int),
    "ip_config_options": ("gvcp.bootstrap.supportedipconfig", int),
    "ip_config_current": ("gvcp.bootstrap.currentipconfig", int),
    "ip": ("gvcp.bootstrap.currentip", ip_number),
    "mask": ("gvcp.bootstrap.currentsubnetmask", ip_number),
    "gateway": ("gvcp.bootstrap.currentdefaultgateway", ip_number),
    "manufacturer": ("gvcp.bootstrap.manufacturername", str),
    "model": ("gvcp.bootstrap.modelname", str),
    "version": ("gvcp.bootstrap.deviceversion", str),
    "info": ("gvcp.bootstrap.manufacturerspecificinfo", str),
    "serial": ("gvcp.bootstrap.serialnumber", str),
    "name": ("gvcp.bootstrap.userdefinedname", str),
}


def ask(packet, address=ADDRESS):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        s.settimeout(5)
        s.sendto(packet, (address, 3956))
        return s.recv(1500)


@pytest.fixture(scope="module")
def responder():
    with Responder(ADDRESS, **GIVEN) as device:
        yield device


def dissect(tmp_path, packet):
    """{field name: (shown value, offset in the GVCP packet)} as tshark reads it."""
    text, pcap = tmp_path / "ack.txt", tmp_path / "ack.pcap"
    text.write_text("000000 " + " ".join(f"{b:02x}" for b in packet) + "\n")
    subprocess.run(["text2pcap", "-q", "-u", "3956,50000", "-4", f"{ADDRESS},127.0.0.1", str(text), str(pcap)],
                   check=True, timeout=30)
    pdml = subprocess.run(["tshark", "-r", str(pcap), "-T", "pdml"], capture_output=True, text=True,
                          timeout=60, check=True).stdout
    fields = {}
    for field in ET.fromstring(pdml).iter("field"):
        fields.setdefault(field.get("name"), (field.get("show"), int(field.get("pos") or 0)))
    start = fields["gvcp.ack"][1] - 2  # the status word opens the packet
    return {name: (show, pos - start) for name, (show, pos) in fields.items()}


def test_tshark_reads_every_identity_field_at_its_offset(tmp_path, responder):
    skip_without("tshark", "text2pcap")
    packet = ask(command(DISCOVERY_CMD, req_id=0x1234))
    fields = dissect(tmp_path, packet)
    assert fields["gvcp.cmd.req_id"][0] == "0x1234"
    assert fields["gvcp.cmd.payloadlength"][0] == "0x00f8"
    for key, (name, read) in DISSECTED.items():
        show, offset = fields[name]
        value = int(show, 0) if read is int else read(show)
        assert (key, value) == (key, EXPECTED[key])
        # The version's halves are shown as bit fields of their whole word.
        assert (key, offset - 8) == (key, 0 if key.startswith("version_") else IDENTITY[key][0])
    assert fields["gvcp.cmd.discovery.devicemacaddress"] == (GIVEN["mac"], 8 + IDENTITY["mac_high"][0])


def test_bootstrap_registers_hold_the_identity_at_the_standard_addresses(responder):
    numbers = [k for k, (_, width) in IDENTITY.items() if k not in
               ("manufacturer", "model", "version", "info", "serial", "name")]
    # Registers are read whole: the version's two halves and the MAC's high
    # half share their register with their neighbour or with reserved bytes.
    registers = {0x0: (EXPECTED["version_major"] << 16) | EXPECTED["version_minor"], 0x4: EXPECTED["device_mode"],
                 0x8: EXPECTED["mac_high"], 0xC: EXPECTED["mac_low"]}
    registers.update({IDENTITY[k][0]: EXPECTED[k] for k in numbers if IDENTITY[k][1] == 4 and IDENTITY[k][0] >= 16})
    addresses = sorted(registers)
    reply = ask(command(READREG_CMD, b"".join(struct.pack(">I", a) for a in addresses), req_id=9))
    status, code, length, ack_id = header(reply)
    assert (status, code, length, ack_id) == (0, READREG_ACK, 4 * len(addresses), 9)
    values = struct.unpack(f">{len(addresses)}I", reply[8:])
    assert {hex(a): hex(v) for a, v in zip(addresses, values)} == {hex(a): hex(registers[a]) for a in addresses}
    for key in ("manufacturer", "model", "version", "info", "serial", "name"):
        offset, width = IDENTITY[key]
        reply = ask(command(READMEM_CMD, struct.pack(">IHH", offset, 0, width), req_id=10))
        assert header(reply)[:2] == (0, READMEM_ACK)
        assert struct.unpack(">I", reply[8:12])[0] == offset
        assert reply[12:].rstrip(b"\0").decode() == EXPECTED[key], key


def arv_tool(*args):
    return subprocess.run(["arv-tool-0.8", "-a", "127.0.0.1", *args], capture_output=True, text=True,
                          timeout=60).stdout


def test_aravis_fake_camera_reads_the_same_through_both():
    skip_without(FakeCamera.TOOL, "arv-tool-0.8")
    with FakeCamera(serial="ARV51"):
        system = tb.ZuSystem()
        # It returns at the answer: the time-out only bounds a loaded machine's delay.
        system.SetDetectionTimeout(10000)
        result, info = system.FindDevice("ARV51")
        features = dict(re.findall(r"^(\w+) = (.*)$", arv_tool(
            "control", "DeviceVendorName", "DeviceModelName", "DeviceVersion", "DeviceManufacturerInfo", "DeviceID"),
            re.M))
        registers = {int(a, 16): int(v, 16) for a, v in re.findall(
            r"^R\[(0x[0-9a-f]+)\] = (0x[0-9a-f]+)$",
            arv_tool("control", *(f"R[{a:#x}]" for a in (0x0, 0x4, 0x8, 0xC, 0x10, 0x14, 0x24, 0x34, 0x44))), re.M)}
    assert result.IsOK() and len(features) == 5 and len(registers) == 9
    assert (info.GetVendorName(), info.GetModelName(), info.GetVersion(), info.GetManufacturerInfo(),
            info.GetSerialNumber()) == (features["DeviceVendorName"], features["DeviceModelName"],
                                        features["DeviceVersion"], features["DeviceManufacturerInfo"],
                                        features["DeviceID"])

    def ip(value):
        return socket.inet_ntoa(struct.pack(">I", value))

    assert info.GetGEVVersion() == registers[0x0]
    assert info.GetIPAddress() == ip(registers[0x24]) == "127.0.0.1"
    assert (info.GetSubnetMask(), info.GetDefaultGateway()) == (ip(registers[0x34]), ip(registers[0x44]))
    mac = (registers[0x8] & 0xFFFF).to_bytes(2, "big") + registers[0xC].to_bytes(4, "big")
    assert info.GetMACAddress() == ":".join(f"{b:02x}" for b in mac)
    assert info.IsLLAAvailable() == bool(registers[0x10] & 4) and info.IsDHCPEnabled() == bool(registers[0x14] & 2)
