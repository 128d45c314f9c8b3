"""Discovery sends through the loopback only, unless TARN_DISCOVERY_INTERFACES
names other adapters. A veth pair inside the private namespace stands for a
real adapter: its transmit counter tells whether anything was sent there."""
import os
import subprocess
import sys

import pytest

from support import needs_netns

pytestmark = needs_netns()

ADAPTER, PEER = "tarnv0", "tarnv1"


def ip(*args):
    return subprocess.run(["ip", *args], capture_output=True, text=True, timeout=30)


@pytest.fixture(params=["10.9.9.1/24"])
def adapter(request):
    if ip("link", "add", ADAPTER, "type", "veth", "peer", "name", PEER).returncode != 0:
        pytest.skip("cannot create a veth pair in the namespace")
    try:
        for name in (ADAPTER, PEER):
            # No IPv6 address configuration: it would send on its own.
            with open(f"/proc/sys/net/ipv6/conf/{name}/disable_ipv6", "w") as f:
                f.write("1")
        assert ip("addr", "add", request.param, "dev", ADAPTER).returncode == 0
        assert ip("link", "set", ADAPTER, "up").returncode == 0
        assert ip("link", "set", PEER, "up").returncode == 0
        yield ADAPTER
    finally:
        ip("link", "del", ADAPTER)


def sent_packets(name):
    with open("/proc/net/dev") as f:  # this namespace's counters
        for line in f:
            if line.strip().startswith(name + ":"):
                return int(line.split(":", 1)[1].split()[9])
    raise AssertionError(f"{name} not listed")


def discover(env):
    code = ("import tarn_base_310 as tb; s = tb.ZuSystem(); s.SetDetectionTimeout(100);"
            "s.SetSubnetBroadcastEnabled(True); s.Find(); s.FindDevice('nobody'); s.DiscoverSessions();"
            "print(s.GetInterfaceCount())")
    environ = {k: v for k, v in os.environ.items() if k != "TARN_DISCOVERY_INTERFACES"}
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         env={**environ, **env}, timeout=60, check=True)
    return int(out.stdout)


def test_nothing_leaves_through_other_adapters_by_default(adapter):
    before = sent_packets(adapter)
    assert discover({}) >= 2  # the adapter is listed all the same
    assert sent_packets(adapter) == before


# An adapter other than the loopback is not made safe by a loopback-range
# address: its packets would still leave through it.
@pytest.mark.parametrize("adapter", ["127.9.9.1/24"], indirect=True)
def test_a_loopback_range_address_does_not_open_another_adapter(adapter):
    before = sent_packets(adapter)
    discover({})
    assert sent_packets(adapter) == before


def test_named_adapters_are_searched(adapter):
    before = sent_packets(adapter)
    discover({"TARN_DISCOVERY_INTERFACES": adapter})
    # Find and FindDevice each: the limited and the subnet broadcast.
    assert sent_packets(adapter) - before >= 4
