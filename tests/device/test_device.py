"""The device controller and its kinds as Python sees them: result shapes,
overloads and their texts, handles, ownership, and what a freed device
leaves behind."""
import numpy as np
import pytest

import tarn_base_310 as tb
import tarn_receive_310 as tr
from support.devices import DESCRIPTION, WIDTH_REGISTER as WIDTH, start_test_device as start
from support import error_of, needs_netns, prototypes
from support.threads import assert_releases_the_interpreter

m = tr._tarn_receive_310
pytestmark = needs_netns()
ADDRESS = "127.0.0.101"


@pytest.fixture(scope="module")
def device_process():
    device = start(ADDRESS, mac="02:00:00:00:01:65", name="left")
    yield device
    device.stop()


@pytest.fixture
def dev(device_process, connect):
    return connect(ADDRESS)


def found_info(serial="0001"):
    system = tb.ZuSystem()
    # It returns at the answer: the time-out only bounds a loaded machine's delay.
    system.SetDetectionTimeout(10000)
    result, info = system.FindDevice("02:00:00:00:01:65")
    assert result.IsOK()
    return system, info


def test_create_and_connect_gives_the_kind_unowned(device_process):
    system, info = found_info()
    result, device = tr.ZuDevice.CreateAndConnect(info)
    try:
        assert result.IsOK(), result.GetDescription()
        assert type(device) is tr.ZuDeviceGEV and not device.thisown
        assert device.IsConnected() and device.GetIPAddress() == ADDRESS
    finally:
        tr.ZuDevice.Free(device)
    for given in (ADDRESS, tr.ZuString(ADDRESS)):
        result, device = m.ZuDevice_CreateAndConnect(given)
        assert type(result).__name__ == "ZuResult" and result.IsOK()
        tr.ZuDevice.Free(device)
    # A null information reaches the SDK; anything else is refused first.
    result, device = m.ZuDevice_CreateAndConnect(None)
    assert (result.GetCode(), device) == (tr.ZU_INVALID_PARAMETER, None)
    result, device = m.ZuDevice_CreateAndConnect("")
    assert (result.GetCode(), device) == (tr.ZU_INVALID_PARAMETER, None)
    assert error_of(m.ZuDevice_CreateAndConnect, 5) == (TypeError, prototypes(
        "ZuDevice_CreateAndConnect", "ZuDevice::CreateAndConnect(ZuDeviceInfo const *,ZuResult *)",
        "ZuDevice::CreateAndConnect(ZuString const &,ZuResult *)"))


def test_description_is_saved_as_the_device_holds_it(dev, tmp_path):
    path = tmp_path / "saved.xml"
    result = m.ZuDevice_DumpGenICamXML(dev, str(path))
    assert type(result).__name__ == "ZuResult" and result.IsOK()
    assert path.read_bytes() == DESCRIPTION.read_bytes()
    assert m.ZuDevice_DumpGenICamXML(dev, str(tmp_path / "no" / "such" / "dir.xml")).GetCode() == tr.ZU_CANNOT_OPEN_FILE


def test_identity_registers_and_memory(dev, device_process):
    assert dev.GetMACAddress() == "02:00:00:00:01:65"
    assert m.ZuDevice_GetUniqueID(dev)[1] == "02:00:00:00:01:65"
    assert m.ZuDevice_GetDefaultGenICamXMLFilename(dev)[1] == "gev_device.xml"
    result = dev.WriteRegister(WIDTH + 0x20, 0xFFFFFFFF)
    assert result.IsOK()
    result, value = dev.ReadRegister(WIDTH + 0x20)
    assert type(result).__name__ == "ZuResult" and value == 4294967295
    result, value = m.ZuDeviceGEV_ReadRegister(dev, 0x40000)  # no memory there
    assert (result.IsOK(), value) == (False, None)

    # ReadMemory: [result, array]; the identity texts as the device holds them.
    out = m.ZuDevice_ReadMemory(dev, 0x48, 32)
    assert type(out) is list and out[0].IsOK()
    assert out[1].dtype == np.uint8 and bytes(out[1]).rstrip(b"\0") == b"tarn"
    data = np.arange(600, dtype=np.uint32).astype(np.uint8)
    assert m.ZuDevice_WriteMemory(dev, WIDTH + 0x1000, data).IsOK()
    assert np.array_equal(m.ZuDevice_ReadMemory(dev, WIDTH + 0x1000, 600)[1], data)
    assert m.ZuDevice_WriteMemory(dev, WIDTH + 0x1000, [1, 2, 3, 4]).IsOK()
    assert list(m.ZuDevice_ReadMemory(dev, WIDTH + 0x1000, 4)[1]) == [1, 2, 3, 4]


def test_read_memory_never_shows_old_memory_and_refuses_wrapping_counts(dev):
    # A failed read still gives the array, filled with zeros, also where
    # the allocator hands back memory that just held other bytes.
    for _ in range(20):
        stale = np.full(4096, 0xAB, np.uint8)
        del stale
        result, array = m.ZuDevice_ReadMemory(dev, 0x40000, 4096)
        assert not result.IsOK()
        assert array.shape == (4096,) and not array.any()
    assert error_of(m.ZuDevice_ReadMemory, dev, 0, 4.0) == (TypeError, "Int dimension expected.  'float' given.")
    assert error_of(m.ZuDevice_ReadMemory, dev, 0, 2 ** 31) == (
        OverflowError, "in method 'ZuDevice_ReadMemory', argument 3 of type 'int'")
    assert error_of(m.ZuDevice_ReadMemory, dev, 0, 2 ** 32 + 4)[0] is OverflowError
    assert error_of(m.ZuDevice_ReadMemory, dev, 0, -4)[0] is ValueError
    assert error_of(m.ZuDevice_ReadMemory, dev, "0", 4) == (
        TypeError, "in method 'ZuDevice_ReadMemory', argument 2 of type 'int64_t'")
    result, array = m.ZuDevice_ReadMemory(dev, 0, 0)
    assert result.GetCode() == tr.ZU_INVALID_PARAMETER and array.shape == (0,)
    assert error_of(m.ZuDevice_WriteMemory, dev, 0, np.zeros((2, 4), np.uint8)) == (
        TypeError, "Array must have 1 dimensions.  Given array has 2 dimensions")


def test_overload_texts(dev):
    assert error_of(m.ZuDevice_Connect, dev, 5) == (TypeError, "Argument 2: failed to create ZuString from Python string")
    kind, text = error_of(m.ZuDevice_Connect, dev, 1, 2)
    assert kind is TypeError and text.startswith("ZuDevice_Connect expected at most 2 arguments, got 3\n")
    assert error_of(m.ZuDevice_Connect, 5, ADDRESS) == (TypeError, prototypes(
        "ZuDevice_Connect", "ZuDevice::Connect(ZuDeviceInfo const *)", "ZuDevice::Connect(ZuString const &)"))
    assert error_of(m.ZuDevice_StreamEnable, dev, -1) == (TypeError, prototypes(
        "ZuDevice_StreamEnable", "ZuDevice::StreamEnable(uint32_t)", "ZuDevice::StreamEnable()"))
    assert m.ZuDevice_StreamEnable(dev).IsOK() and m.ZuDevice_StreamDisable(dev, 0).IsOK()
    assert m.ZuDevice_StreamEnable(dev, 1).GetCode() == tr.ZU_INVALID_PARAMETER
    assert error_of(m.ZuDeviceGEV_WriteRegister, dev, WIDTH, 1, 1) == (TypeError, prototypes(
        "ZuDeviceGEV_WriteRegister", "ZuDeviceGEV::WriteRegister(int64_t,uint32_t,bool)",
        "ZuDeviceGEV::WriteRegister(int64_t,uint32_t)"))
    assert error_of(m.ZuDeviceGEV_SetStreamDestination, dev, "127.0.0.1", 65536) == (TypeError, prototypes(
        "ZuDeviceGEV_SetStreamDestination", "ZuDeviceGEV::SetStreamDestination(ZuString const &,uint16_t,uint32_t)",
        "ZuDeviceGEV::SetStreamDestination(ZuString const &,uint16_t)"))
    assert error_of(m.ZuDeviceGEV_NegotiatePacketSize, dev, -1) == (TypeError, prototypes(
        "ZuDeviceGEV_NegotiatePacketSize", "ZuDeviceGEV::NegotiatePacketSize(uint32_t,uint32_t)",
        "ZuDeviceGEV::NegotiatePacketSize(uint32_t)", "ZuDeviceGEV::NegotiatePacketSize()"))
    assert error_of(m.ZuDeviceGEV_Connect, dev, ADDRESS, 2) == (TypeError, prototypes(
        "ZuDeviceGEV_Connect", "ZuDeviceGEV::Connect(ZuDeviceInfo const *)",
        "ZuDeviceGEV::Connect(ZuDeviceInfo const *,ZuAccessType)", "ZuDeviceGEV::Connect(ZuString const &)",
        "ZuDeviceGEV::Connect(ZuString const &,ZuAccessType)"))
    assert error_of(m.ZuDeviceGEV_Connect, dev, ADDRESS, None, 1)[1].startswith(
        "ZuDeviceGEV_Connect expected at most 3 arguments, got 4\n")
    assert error_of(m.ZuDevice_IsConnected, tr.ZuString("x")) == (
        TypeError, "in method 'ZuDevice_IsConnected', argument 1 of type 'ZuDevice const *'")
    assert error_of(m.ZuDevice_RegisterEventSink, dev, 5) == (
        TypeError, "in method 'ZuDevice_RegisterEventSink', argument 2 of type 'ZuDeviceEventSink *'")
    assert error_of(m.ZuDevice_SetHeartbeatThreadPriority, dev, -1) == (
        OverflowError, "in method 'ZuDevice_SetHeartbeatThreadPriority', argument 2 of type 'uint32_t'")
    assert dev.SetHeartbeatThreadPriority(100).GetCode() == tr.ZU_INVALID_PARAMETER


def test_handles_leak_by_design_and_choose_the_access(py, device_process):
    out = py(f"""
        import tarn_base_310, tarn_receive_310 as tr
        m = tr._tarn_receive_310
        d = tr.ZuDeviceGEV()
        for get in (m.ZuDevice_GetType, m.ZuDeviceGEV_GetClass, m.ZuDeviceGEV_GetAccessType):
            handle = get(d)
            print(repr(handle).split(" at ")[0], flush=True)
            del handle
        # A handle made by the instance getter, filled by the static query.
        access = m.ZuDeviceGEV_GetAccessType(d)
        assert m.ZuDeviceGEV_GetAccessType("{ADDRESS}", access).IsOK()
        try:
            m.ZuDeviceGEV_Connect(d, "{ADDRESS}", 2)
        except TypeError as e:
            print("refused", str(e).splitlines()[0])
        r = m.ZuDeviceGEV_Connect(d, "{ADDRESS}", access)
        print("connected", r.IsOK(), m.ZuDeviceGEV_GetAccessType(d) is not None)
        m.ZuDevice_Disconnect(d)
    """, env={"TARN_IN_NETNS": "1"}).stdout.splitlines()
    # The runtime's line goes through the C library's buffer, the prints
    # through Python's: their order in a pipe is not kept.
    for name in ("ZuDeviceType", "ZuDeviceClass", "ZuAccessType"):
        assert f"<Swig Object of type '{name} *'" in out
        assert f"swig/python detected a memory leak of type '{name} *', no destructor found." in out
    assert "refused Wrong number or type of arguments for overloaded function 'ZuDeviceGEV_Connect'." in out
    assert "connected True True" in out


def test_free_forgets_the_address_and_what_came_from_the_device_stays_safe(device_process):
    result, dev = tr.ZuDevice.CreateAndConnect(ADDRESS)
    params = dev.GetParameters()
    width = params.GetInteger("Width")
    comm = dev.GetCommunicationParameters()
    adapter = tr.ZuDeviceAdapter(dev)
    tr.ZuDevice.Free(dev)
    for call in (m.ZuDevice_IsConnected, m.ZuDevice_Disconnect, m.ZuDevice_GetParameters, m.ZuDeviceGEV_GetIPAddress):
        kind, text = error_of(call, dev)
        assert kind is TypeError and text.startswith(f"in method '{call.__name__}', argument 1 of type")
    tr.ZuDevice.Free(dev)  # again: nothing left to free
    # The array and its features answer that the device is gone.
    params.InvalidateCache()
    result, value = params.GetIntegerValue("Width")
    assert not result.IsOK() and value is None
    assert not width.GetValue()[0].IsOK()
    assert comm.GetIntegerValue("HeartbeatTimeout")[0].IsOK()
    assert adapter.IsConnected() is False
    result, value = adapter.ReadRegister(WIDTH)
    assert result.GetCode() == tr.ZU_NOT_CONNECTED and value is None
    assert adapter.GetUniqueID()[1] is None


def test_a_bare_parameter_array_refuses_use_once_the_device_is_freed(py, device_process):
    # A proxy holds a share of its array (above); a bare pointer object kept
    # without its proxy holds none and gets the freed object's error.
    out = py(f"""
        import gc, tarn_base_310, tarn_receive_310 as tr
        m = tr._tarn_receive_310
        result, dev = tr.ZuDevice.CreateAndConnect("{ADDRESS}")
        bare = [m.ZuDevice_GetParameters(dev).this, m.ZuDevice_GetCommunicationParameters(dev).this]
        gc.collect()
        print(m.ZuGenParameterArray_GetIntegerValue(bare[0], "Width")[0].IsOK())
        tr.ZuDevice.Free(dev)
        for array in bare:
            try:
                m.ZuGenParameterArray_GetIntegerValue(array, "Width")
                print("no error")
            except TypeError as error:
                print(str(error).split(",")[0])
    """, env={"TARN_IN_NETNS": "1"}).stdout
    assert out.splitlines() == ["True"] + ["in method 'ZuGenParameterArray_GetIntegerValue'"] * 2


def test_parameter_array_outlives_a_disconnect(dev):
    params = dev.GetParameters()
    assert params.GetIntegerValue("Height")[0].IsOK()
    assert dev.Disconnect().IsOK()
    assert dev.GetParameters() is None
    assert m.ZuDevice_GetUniqueID(dev)[1] is None
    params.InvalidateCache()
    assert not params.GetIntegerValue("Height")[0].IsOK()
    assert dev.Connect(ADDRESS).IsOK()
    assert dev.GetParameters().GetIntegerValue("Height")[0].IsOK()


def test_waiting_calls_let_other_threads_run(dev, device_process):
    device_process.tell("mute")
    try:
        comm = dev.GetCommunicationParameters()
        assert comm.SetIntegerValue("AnswerTimeout", 50).IsOK()
        result, _ = assert_releases_the_interpreter(dev.ReadRegister, WIDTH)
        assert result.GetCode() in (tr.ZU_TIMEOUT, tr.ZU_NOT_CONNECTED)
    finally:
        device_process.tell("answer")


def test_set_ip_configuration_fills_in_mask_and_gateway(device_process):
    address = "127.0.0.102"
    moving = start(address, mac="02:00:00:00:01:66")
    try:
        result = m.ZuDeviceGEV_SetIPConfiguration("02:00:00:00:01:66", "127.0.0.103")
        assert result.IsOK(), result.GetDescription()
        result, dev = tr.ZuDevice.CreateAndConnect("127.0.0.103")
        assert result.IsOK()
        try:
            mask, gateway = dev.ReadRegister(0x34)[1], dev.ReadRegister(0x44)[1]
        finally:
            tr.ZuDevice.Free(dev)
        assert (mask, gateway) == (0xFFFFFF00, 0)
        for count in (2, 3, 4):
            args = ["02:00:00:00:01:66", "127.0.0.103", "255.0.0.0", "0.0.0.0"][:count]
            args[count - 1] = 7
            assert error_of(m.ZuDeviceGEV_SetIPConfiguration, *args) == (
                TypeError, f"Argument {count}: failed to create ZuString from Python string")
        assert m.ZuDeviceGEV_SetIPConfiguration("02:00:00:00:01", "1.2.3.4").GetCode() == tr.ZU_INVALID_PARAMETER
    finally:
        moving.stop()


def test_usb3_and_maker_devices_are_never_found():
    dev = tr.ZuDeviceU3V()
    assert dev.thisown
    assert m.ZuDeviceU3V_Connect(dev, None).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuDeviceU3V_Connect(dev, "2A2F-1234-5678").GetCode() == tr.ZU_NOT_FOUND
    assert dev.GetGUID() == "" and not dev.IsConnected()
    # The text overload is listed first, though the information is tried first.
    assert error_of(m.ZuDeviceU3V_Connect, 5) == (TypeError, prototypes(
        "ZuDeviceU3V_Connect", "ZuDeviceU3V::Connect(ZuString const &)", "ZuDeviceU3V::Connect(ZuDeviceInfo const *)"))
    assert m.ZuDeviceMorvekProtocol_SetIPConfiguration("02:00:00:00:00:01", "10.0.0.1").GetCode() == tr.ZU_NOT_FOUND
    assert not hasattr(m, "new_ZuDevice") and not hasattr(m, "new_ZuDeviceMorvekProtocol")
