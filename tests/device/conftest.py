"""Fixtures of the device-control tests; each test module runs its test
devices (support.devices.start_test_device) on loopback addresses of its own."""
import pytest

import tarn_base_310  # noqa: F401  (registers the information classes)
import tarn_receive_310 as tr


@pytest.fixture
def connect():
    """Connects to an address (or a found device) and frees every device
    the test made."""
    made = []

    def connect(what):
        result, device = tr.ZuDevice.CreateAndConnect(what)
        assert result.IsOK(), result.GetDescription()
        made.append(device)
        return device

    yield connect
    for device in made:
        tr.ZuDevice.Free(device)
