"""A software camera whose script declares registers and features."""
import pytest

import tarn_edge_310 as te
from support.softcamera import NumpySource, loopback_mac


class Declaring(te.IZuVirtualDeviceGEVEventSink):
    """Hands the device's factories to the test's functions."""

    def __init__(self, registers=None, features=None):
        super().__init__()
        self.registers, self.features = registers, features

    def OnCreateCustomRegisters(self, device, factory):
        if self.registers:
            self.registers(device, factory)

    def OnCreateCustomGenApiFeatures(self, device, factory):
        if self.features:
            self.features(device, factory)


class Camera:
    """A started camera on 127.0.0.n; stopped on leaving."""

    def __init__(self, n, registers=None, features=None, sets=0, notify=None):
        self.address = "127.0.0.%d" % n
        self.mac = loopback_mac(n)
        self.source = NumpySource()
        self.sink = Declaring(registers, features)
        self.device = te.ZuSoftDeviceGEV()
        assert self.device.AddStream(self.source).IsOK()
        assert self.device.RegisterEventSink(self.sink).IsOK()
        if sets:
            assert self.device.SetUserSetCount(sets).IsOK()
        if notify is not None:
            assert self.device.SetUserSetNotify(notify).IsOK()
        self.result = self.device.Start(self.mac)
        assert self.result.IsOK(), self.result.GetDescription()

    @property
    def map(self):
        return self.device.GetRegisterMap()

    def reg(self, address):
        return self.map.GetRegisterByAddress(address)

    def xml(self):
        result, text = self.device.GetGenICamXMLFile()
        assert result.IsOK()
        return text

    def stop(self):
        self.device.Stop()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


@pytest.fixture
def camera():
    made = []

    def make(n, **kwargs):
        made.append(Camera(n, **kwargs))
        return made[-1]

    yield make
    for c in made:
        c.stop()


@pytest.fixture
def declaring():
    return Declaring
