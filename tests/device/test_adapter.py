"""The device adapter: the interface's functions and the adapter's, their
out-arguments, and an adapter whose device is gone."""
import pytest

import tarn_receive_310 as tr
from support.devices import WIDTH_REGISTER as WIDTH, start_test_device as start
from support import error_of, needs_netns

m = tr._tarn_receive_310
pytestmark = needs_netns()
ADDRESS = "127.0.0.108"


@pytest.fixture(scope="module")
def device_process():
    device = start(ADDRESS, mac="02:00:00:00:01:6c")
    yield device
    device.stop()


@pytest.fixture
def dev(device_process, connect):
    return connect(ADDRESS)


@pytest.fixture
def adapter(dev):
    return tr.ZuDeviceAdapter(dev)


@pytest.mark.parametrize("prefix", ["IZuDeviceAdapter", "ZuDeviceAdapter"])
def test_node_map_queries_and_values(adapter, prefix):
    call = lambda name, *args: getattr(m, f"{prefix}_{name}")(adapter, *args)
    assert call("IsGenIntegerInNodeMap", "Width") is True
    assert call("IsGenIntegerInNodeMap", "PixelFormat") is False
    assert call("IsGenEnumInNodeMap", "PixelFormat") is True
    assert call("IsGenRegisterInNodeMap", "Width") is False
    assert call("IsGenReadable", "Width") is True and call("IsGenWritable", "PayloadSize") is False
    assert call("IsGenReadable", "NoSuchFeature") is False
    assert call("IsGenEnumEntryAvailable", "PixelFormat", "Mono16") is True
    assert call("IsGenEnumEntryAvailable", "PixelFormat", "Mono12") is False
    assert call("SetGenEnumValue", "PixelFormat", "RGB8").IsOK()
    text = tr.ZuString()
    assert call("GetGenEnumValue", "PixelFormat", text).IsOK() and str(text) == "RGB8"
    assert call("GetGenStringValue", "DeviceVendorName", text).IsOK() and str(text) == "tarn"
    result, value = call("ReadRegister", WIDTH + 8)
    assert result.IsOK() and value == 0x02180014
    assert call("WriteRegister", WIDTH + 0x30, 0xFFFFFFFF).IsOK()
    assert call("ReadRegister", WIDTH + 0x30)[1] == 4294967295
    result, unique = call("GetUniqueID")
    assert result.IsOK() and unique == "02:00:00:00:01:6c"
    assert call("IsConnected") is True and call("IsGigEVision") is True and call("IsUSB3Vision") is False
    assert call("IsMorvekPowered") is False
    assert call("WaitForMessagingChannelIdle", 100).IsOK()
    assert call("RegisterGenInvalidator", "Width").IsOK()
    assert call("UnregisterGenInvalidator", "Width").IsOK()
    assert call("UnregisterGenInvalidator", "Width").GetCode() == tr.ZU_NOT_FOUND


def test_out_arguments_take_only_their_own_type(adapter):
    name = "IZuDeviceAdapter_GetGenStringValue"
    assert error_of(getattr(m, name), adapter, "DeviceVendorName", "text") == (
        TypeError, f"in method '{name}', argument 3 of type 'ZuString &'")
    assert error_of(getattr(m, name), adapter, "DeviceVendorName", None) == (
        TypeError, f"invalid null reference in method '{name}', argument 3 of type 'ZuString &'")
    assert error_of(m.IZuDeviceAdapter_GetGenIntegerValue, adapter, "Width", None) == (
        TypeError, "invalid null reference in method 'IZuDeviceAdapter_GetGenIntegerValue', argument 3 of type 'int64_t &'")
    assert error_of(m.IZuDeviceAdapter_SetGenBooleanValue, adapter, "Width", 1) == (
        TypeError, "in method 'IZuDeviceAdapter_SetGenBooleanValue', argument 3 of type 'bool'")
    assert error_of(m.IZuDeviceAdapter_RegisterEventSink, adapter, tr.ZuDeviceEventSink()) == (
        TypeError, "in method 'IZuDeviceAdapter_RegisterEventSink', argument 2 of type 'IZuDeviceEventSink *'")
    assert m.IZuDeviceAdapter_RegisterEventSink(adapter, None).GetCode() == tr.ZU_INVALID_PARAMETER
    assert error_of(m.IZuDeviceAdapter_ReadRegister, adapter, "0") == (
        TypeError, "in method 'IZuDeviceAdapter_ReadRegister', argument 2 of type 'int64_t'")
    assert error_of(m.ZuDeviceAdapter_WriteRegister, adapter, 0, -1) == (
        OverflowError, "in method 'ZuDeviceAdapter_WriteRegister', argument 3 of type 'uint32_t'")
    assert error_of(m.new_ZuDeviceAdapter, 5) == (
        TypeError, "in method 'new_ZuDeviceAdapter', argument 1 of type 'ZuDevice *'")
    assert not hasattr(m, "new_IZuDeviceAdapter") and not hasattr(m, "ZuDeviceAdapter_OnEvent")


def test_an_adapter_is_a_sink_of_its_device_and_survives_it(device_process):
    result, dev = tr.ZuDevice.CreateAndConnect(ADDRESS)
    adapter = tr.ZuDeviceAdapter(dev)
    assert dev.RegisterEventSink(adapter).IsOK()
    # Handed to an up-call function, the adapter runs its own body.
    assert m.ZuDeviceEventSink_OnEvent(adapter, None, 1, 2, 3, 4, [0, 0, 0, 0]) is None
    tr.ZuDevice.Free(dev)
    assert adapter.IsConnected() is False
    assert m.IZuDeviceAdapter_GetGenEnumValue(adapter, "PixelFormat", tr.ZuString()).GetCode() == tr.ZU_NOT_CONNECTED
    assert m.IZuDeviceAdapter_ReadRegister(adapter, WIDTH)[1] is None
    result, unique = adapter.GetUniqueID()
    assert result.GetCode() == tr.ZU_INVALID_PARAMETER and unique is None
    # An adapter over no device answers the same.
    nothing = tr.ZuDeviceAdapter(None)
    assert nothing.IsConnected() is False and nothing.IsGigEVision() is False


def test_registers_are_gige_visions_own():
    adapter = tr.ZuDeviceAdapter(tr.ZuDeviceU3V())
    result, value = m.IZuDeviceAdapter_ReadRegister(adapter, 0)
    assert result.GetCode() == tr.ZU_NOT_IMPLEMENTED and value is None
    assert adapter.IsUSB3Vision() is True
