"""Discovery answers through real packets: which acknowledges are taken,
how each identity field is read, and where the discoveries are sent. The
answers come from a scripted device that writes each field at the offset
the standard gives, apart from our codec."""
import subprocess

import pytest

import tarn_base_310 as tb
from support import needs_netns
from support.devices import Responder, found_infos, search
from support.gvcp import DISCOVERY_ACK, ScriptedDevice, ack, identity_bytes, ip_number

pytestmark = needs_netns()

# Every field differs from every other, so that a field read from its
# neighbour's place shows.
FIELDS = dict(
    version_major=2, version_minor=1, device_mode=0x80000000 | (2 << 28) | 1,
    mac_high=0x0211, mac_low=0x22334455,
    ip_config_options=0x80000007, ip_config_current=0x00000001,
    ip=ip_number("127.0.0.91"), mask=ip_number("255.255.0.0"), gateway=ip_number("127.0.0.254"),
    manufacturer="Maker", model="Model", version="Version 3", info="Info text",
    serial="SER91", name="user-91",
)


def identity(**changes):
    return identity_bytes(**{**FIELDS, **changes})


def find(subnet_broadcast=False, expect="SER91"):
    """(system, informations found), searched again with longer waits while
    the device of serial number expect is missing: a loaded machine may hold
    its answer back."""
    system = tb.ZuSystem()
    system.SetSubnetBroadcastEnabled(subnet_broadcast)
    assert search(system, lambda: expect is None or expect in [i.GetSerialNumber() for i in found_infos(system)],
                  timeouts=(200, 1000, 3000, 6000)).IsOK()
    return system, found_infos(system)


def lo_address(cidr):
    """Adds an address to the namespace's loopback for one test."""
    assert subprocess.run(["ip", "addr", "add", cidr, "dev", "lo"], timeout=30).returncode == 0
    return cidr


@pytest.fixture
def extra_address(request):
    cidr = lo_address(request.param)
    yield cidr
    subprocess.run(["ip", "addr", "del", cidr, "dev", "lo"], timeout=30)


def test_every_identity_field_is_read_from_its_own_place():
    with ScriptedDevice(lambda req_id, _: [ack(DISCOVERY_ACK, identity(), req_id)]):
        _, infos = find()
    (info,) = [i for i in infos if i.GetSerialNumber() == "SER91"]
    assert info.GetGEVVersion() == 0x00020001
    assert info.GetClass() == tb.ZuDeviceClassTransceiver
    assert info.GetMACAddress() == "02:11:22:33:44:55"
    assert (info.GetIPAddress(), info.GetSubnetMask(), info.GetDefaultGateway()) == (
        "127.0.0.91", "255.255.0.0", "127.0.0.254")
    assert (info.GetVendorName(), info.GetModelName(), info.GetVersion(), info.GetManufacturerInfo(),
            info.GetUserDefinedName()) == ("Maker", "Model", "Version 3", "Info text", "user-91")
    # Supported: LLA, DHCP, persistent and pause reception; in use: persistent only.
    assert (info.IsLLAAvailable(), info.IsDHCPAvailable(), info.IsPersistentAvailable(),
            info.IsPRAvailable(), info.IsPGAvailable()) == (True, True, True, True, False)
    assert (info.IsLLAEnabled(), info.IsDHCPEnabled(), info.IsPersistentEnabled(),
            info.IsPREnabled(), info.IsPGEnabled()) == (False, False, True, False, False)
    assert info.GetIPConfigCurrentString() == "Persistent IP"


def test_an_acknowledge_for_another_request_is_ignored():
    def answer(req_id, _):
        return [ack(DISCOVERY_ACK, identity(serial="STALE", mac_low=1), (req_id + 1) & 0xFFFF or 1),
                ack(DISCOVERY_ACK, identity(serial="OTHER", mac_low=2), req_id, status=0x8001),
                ack(DISCOVERY_ACK, identity(), req_id)]

    with ScriptedDevice(answer):
        _, infos = find()
    assert [i.GetSerialNumber() for i in infos] == ["SER91"]


@pytest.mark.parametrize("extra_address", ["127.0.0.2/8"], indirect=True)
def test_a_device_answering_through_two_addresses_is_listed_once(extra_address):
    with ScriptedDevice(lambda req_id, _: [ack(DISCOVERY_ACK, identity(), req_id)]) as device:
        system, infos = find()
    # Asked once from each of the loopback's addresses, answered each time.
    assert len(device.destinations) >= 2
    assert [i.GetSerialNumber() for i in infos] == ["SER91"]
    lo = next(system.GetInterface(i) for i in range(system.GetInterfaceCount())
              if system.GetInterface(i).GetName() == "lo")
    assert lo.GetDeviceCount() == 1


@pytest.mark.parametrize("extra_address", ["127.3.3.1/24"], indirect=True)
@pytest.mark.parametrize("enabled", [False, True])
def test_subnet_broadcast_goes_to_each_address_broadcast(extra_address, enabled):
    with ScriptedDevice(lambda req_id, _: []) as device:
        find(subnet_broadcast=enabled, expect=None)
    expected = {"255.255.255.255"} | ({"127.255.255.255", "127.3.3.255"} if enabled else set())
    assert set(device.destinations) == expected


def test_our_responder_reports_its_current_ip_configuration():
    """The responder supports LLA, DHCP and persistent IP and uses LLA and DHCP."""
    with Responder("127.0.0.94", serial="P94", mac="02:00:00:00:09:04"):
        _, infos = find(expect="P94")
    (info,) = [i for i in infos if i.GetSerialNumber() == "P94"]
    assert info.IsPersistentAvailable() and not info.IsPersistentEnabled()
    assert info.GetIPConfigCurrentString() == "LLA, DHCP"
