"""Discovery on the loopback of a private network namespace, with our own
test devices."""
import gc
import os
import socket
import subprocess
import sys
import threading
import time

import pytest

import tarn_base_310 as tb
from support import needs_netns
from support.devices import Responder, search
from support.threads import assert_releases_the_interpreter

m = tb._tarn_base_310

pytestmark = needs_netns()

DEVICES = [
    ("127.0.0.31", dict(mac="02:00:00:00:02:1f", model="Probe", serial="P31", name="cam-a", info="first")),
    ("127.0.0.32", dict(mac="02:00:00:00:02:20", model="Probe", serial="P32", name="cam-b", **{"class": 3})),
    ("127.0.0.33", dict(mac="02:00:00:00:02:21", model="Probe \u00e9", serial="P33")),
]


@pytest.fixture(scope="module")
def devices():
    started = [Responder(address, **identity) for address, identity in DEVICES]
    yield started
    for d in started:
        d.stop()


@pytest.fixture
def system():
    s = tb.ZuSystem()
    s.SetDetectionTimeout(200)
    return s


def found(system):
    return {info.GetSerialNumber(): info for info in
            (system.GetDeviceInfo(i) for i in range(system.GetDeviceCount()))}


def find_all(system, serials=("P31", "P32", "P33")):
    """Find, searched again with longer waits while one of serials is missing."""
    return search(system, lambda: set(serials) <= set(found(system)), timeouts=(200, 1000, 3000, 6000))


def test_one_find_sees_every_device(devices, system):
    # Long enough for every answer however loaded the machine, and Find
    # waits that long, not much longer.
    system.SetDetectionTimeout(1500)
    start = time.monotonic()
    result = system.Find()
    took = time.monotonic() - start
    assert result.IsOK(), result.GetDescription()
    assert 1.5 <= took < 6.0
    infos = found(system)
    assert {"P31", "P32", "P33"} <= set(infos)
    a = infos["P31"]
    assert type(a) is tb.ZuDeviceInfoGEV
    assert (a.GetVendorName(), a.GetModelName(), a.GetUserDefinedName(), a.GetManufacturerInfo()) == (
        "tarn", "Probe", "cam-a", "first")
    assert (a.GetMACAddress(), a.GetIPAddress(), a.GetSubnetMask()) == ("02:00:00:00:02:1f", "127.0.0.31", "255.0.0.0")
    assert a.GetGEVVersion() == 0x00020000
    assert a.GetClass() == tb.ZuDeviceClassTransmitter
    assert infos["P32"].GetClass() == tb.ZuDeviceClassPeripheral
    assert infos["P33"].GetModelName() == "Probe \u00e9"
    assert a.GetConnectionID() == "127.0.0.31"
    assert a.IsConfigurationValid() is True
    assert a.IsLLAAvailable() and a.IsDHCPAvailable() and not a.IsPRAvailable()
    assert a.GetIPConfigOptionsString() == "LLA, DHCP, Persistent IP"
    assert len({info.GetUniqueID() for info in infos.values()}) == len(infos)
    adapter = a.GetInterface()
    assert type(adapter) is tb.ZuNetworkAdapter and adapter.GetName() == "lo"


def test_interfaces_and_their_devices(devices, system):
    find_all(system)
    interfaces = [system.GetInterface(i) for i in range(system.GetInterfaceCount())]
    assert system.GetInterface(len(interfaces)) is None
    lo = next(i for i in interfaces if i.GetName() == "lo")
    assert type(lo) is tb.ZuNetworkAdapter and lo.GetType() == tb.ZuInterfaceTypeNetworkAdapter
    assert lo.GetMACAddress() == "00.00.00.00.00.00"
    assert (lo.GetIPAddressCount(), lo.GetIPAddress(0), lo.GetSubnetMask(0)) == (1, "127.0.0.1", "255.0.0.0")
    assert lo.GetDefaultGateway() == "0.0.0.0"
    assert lo.GetMorvekDriverVersion() == "" and lo.IsMorvekDriverInstalled() is False
    behind = {lo.GetDeviceInfo(i).GetSerialNumber() for i in range(lo.GetDeviceCount())}
    assert {"P31", "P32", "P33"} <= behind
    assert lo.GetDeviceInfo(lo.GetDeviceCount()) is None
    for itf in interfaces:
        if itf.GetType() == tb.ZuInterfaceTypeUSBHostController:
            assert type(itf) is tb.ZuUSBHostController and itf.GetDeviceCount() == 0
    # Sorting with Compare as the less-than test follows the compare texts.
    ordered = sorted(interfaces, key=lambda i: i.GetCompareID())
    for first, second in zip(ordered, ordered[1:]):
        assert not m.ZuInterface_Compare(second, first)


@pytest.mark.parametrize("key", ["02:00:00:00:02:20", "02-00-00-00-02-20", "127.0.0.32", "cam-b", "P32"])
def test_find_device_returns_at_the_answer(devices, system, key):
    system.SetDetectionTimeout(15000)
    start = time.monotonic()
    result, info = system.FindDevice(key)
    assert result.IsOK()
    assert time.monotonic() - start < 7.5
    assert type(info) is tb.ZuDeviceInfoGEV and info.GetSerialNumber() == "P32"
    assert found(system)["P32"].this == info.this


def test_find_device_unknown(devices, system):
    for key in ("nobody", tb.ZuString("nobody")):
        result, info = system.FindDevice(key)
        assert result.GetCode() == tb.ZU_NOT_FOUND and info is None


def test_copies_and_earlier_informations_outlive_a_new_find(devices, system):
    find_all(system)
    before = found(system)["P31"]
    copy = before.Copy()
    adapter_copy = before.GetInterface().Copy()
    system.Find()
    assert before.GetUserDefinedName() == "cam-a"
    del system
    assert copy.GetIPAddress() == "127.0.0.31" and copy.GetInterface().GetName() == "lo"
    assert type(adapter_copy) is tb.ZuNetworkAdapter
    assert adapter_copy.GetDeviceCount() >= 3


def test_findings_keep_their_system_alive(devices):
    def findings():
        system = tb.ZuSystem()
        system.SetDetectionTimeout(200)
        find_all(system)
        info = found(system)["P31"]
        system.SetDetectionTimeout(10000)
        result, by_name = system.FindDevice("cam-b")
        adapter = system.GetInterface(0)
        return info, by_name, adapter, adapter.GetDeviceInfo(0), info.GetInterface()

    held = findings()
    gc.collect()
    # Each still reads its own native object, not freed memory.
    assert held[0].GetSerialNumber() == "P31" and held[1].GetSerialNumber() == "P32"
    assert held[2].GetName() and held[3].GetModelName() and held[4].GetName() == "lo"
    assert not any(h.thisown for h in held)


def test_findings_refuse_use_once_their_system_is_deleted(devices, py):
    # Deleted explicitly, the system takes its findings with it: kept ones
    # (proxies, their bare pointer objects, each one object) get the freed
    # object's error instead of reaching freed memory.
    out = py("""
        import tarn_base_310 as tb
        m = tb._tarn_base_310
        system = tb.ZuSystem()
        system.SetDetectionTimeout(10000)
        result, info = system.FindDevice("cam-a")
        adapter = info.GetInterface()
        print(result.IsOK(), info.GetSerialNumber(), type(info).__name__, type(adapter).__name__,
              system.FindDevice("cam-a")[1] is info,
              any(system.GetDeviceInfo(i) is info for i in range(system.GetDeviceCount())),
              any(adapter.GetDeviceInfo(i) is info for i in range(adapter.GetDeviceCount())))
        bare = info.this, adapter.this
        del info
        m.delete_ZuSystem(system)
        for call in (adapter.GetName, lambda: m.ZuDeviceInfo_GetSerialNumber(bare[0]),
                     lambda: m.ZuInterface_GetDeviceCount(bare[1])):
            try:
                call()
                print("no error")
            except TypeError as error:
                print(str(error).split(",")[0])
    """, env={"TARN_IN_NETNS": "1"}).stdout
    assert out.splitlines() == ["True P31 ZuDeviceInfoGEV ZuNetworkAdapter True True True", "in method 'ZuInterface_GetName'",
                                "in method 'ZuDeviceInfo_GetSerialNumber'", "in method 'ZuInterface_GetDeviceCount'"]


@pytest.mark.parametrize("call", [
    lambda s: s.Find(),
    lambda s: s.FindDevice("nobody"),
    lambda s: s.DiscoverSessions(),
], ids=["Find", "FindDevice", "DiscoverSessions"])
def test_every_wait_lets_other_threads_run(system, call):
    assert_releases_the_interpreter(call, system)


def run_find(env, timeout=200):
    code = (f"import tarn_base_310 as tb; s = tb.ZuSystem(); s.SetDetectionTimeout({timeout}); r = s.Find();"
            "print(r.GetCode(), s.GetDeviceCount())")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         env={**os.environ, **env}, timeout=60, check=True).stdout.split()
    return int(out[0]), int(out[1])


def test_discovery_interfaces_from_the_environment(devices):
    assert run_find({"TARN_DISCOVERY_INTERFACES": "tarn-none"}) == (tb.ZU_NETWORK_ERROR, 0)
    code, count = run_find({"TARN_DISCOVERY_INTERFACES": " lo "}, timeout=1500)
    assert code == tb.ZU_OK and count >= 3


def test_subnet_broadcast_finds_the_same_devices(devices, system):
    system.SetSubnetBroadcastEnabled(True)
    assert find_all(system).IsOK()
    serials = [system.GetDeviceInfo(i).GetSerialNumber() for i in range(system.GetDeviceCount())]
    assert {"P31", "P32", "P33"} <= set(serials)
    assert len(serials) == len(set(serials))  # each device once


def sap(name, port, deletion=False, payload_type=True):
    sdp = (f"v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns={name}\r\nc=IN IP4 239.1.2.3/32\r\n"
           f"t=0 0\r\nm=video {port} RTP/AVP 96\r\n").encode()
    header = bytes([0x24 if deletion else 0x20, 0, 0x12, 0x34, 127, 0, 0, 1])
    return header + (b"application/sdp\0" if payload_type else b"") + sdp


def test_sessions_announced_through_sap(system):
    assert system.DiscoverSessions() == 0
    assert system.GetSessionInfo(0, tb.ZuSessionInfo()).GetCode() == tb.ZU_NOT_FOUND

    system.SetDetectionTimeout(600)
    announcements = [sap("Lab stream", 5004), sap("Lab stream", 5004), sap("Other", 5006, payload_type=False),
                     sap("Other", 5006, deletion=True), b"\x20\x00", bytes([0x20, 200, 0, 0, 127, 0, 0, 1]) + b"v=0"]

    def announce():
        time.sleep(0.2)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            for packet in announcements:
                s.sendto(packet, ("127.0.0.1", 9875))

    sender = threading.Thread(target=announce)
    sender.start()
    count = system.DiscoverSessions()
    sender.join()
    assert count == 1
    record = tb.ZuSessionInfo()
    assert system.GetSessionInfo(0, record).IsOK()
    assert (str(record.mName), str(record.mAddress), record.mPort, str(record.mLocalAddress)) == (
        "Lab stream", "239.1.2.3", 5004, "127.0.0.1")


@pytest.mark.parametrize("address, mask, valid", [
    ("127.0.0.61", "255.255.255.0", True),
    ("127.0.1.62", "255.0.0.0", True),
    # The adapter (127.0.0.1/8) reaches the device, but the device's own
    # mask puts the adapter off its subnet: its answers would go to a gateway.
    ("127.0.1.63", "255.255.255.0", False),
])
def test_configuration_valid_needs_each_side_on_the_others_subnet(system, address, mask, valid):
    device = Responder(address, mac=f"02:00:00:00:06:{address.rsplit('.', 1)[1]}", mask=mask)
    try:
        result, info = system.FindDevice(address)
    finally:
        device.stop()
    assert result.IsOK() and info.GetSubnetMask() == mask
    assert info.IsConfigurationValid() is valid


def test_find_device_after_a_move_lists_the_device_once(system):
    mac = "02:00:00:00:07:01"
    earlier = []
    for address in ("127.0.0.71", "127.0.0.72"):
        device = Responder(address, mac=mac, serial="MOVED")
        try:
            result, info = system.FindDevice(mac)
        finally:
            device.stop()
        assert result.IsOK() and info.GetIPAddress() == address
        earlier.append(info)
    adapter = info.GetInterface()
    for count, get in ((system.GetDeviceCount(), system.GetDeviceInfo),
                       (adapter.GetDeviceCount(), adapter.GetDeviceInfo)):
        listed = [get(i) for i in range(count)]
        assert [i.GetIPAddress() for i in listed if i.GetMACAddress() == mac] == ["127.0.0.72"]
    assert earlier[0].GetIPAddress() == "127.0.0.71"  # retired, still readable
