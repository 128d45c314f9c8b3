"""The event sink and user-set directors, the messaging channel's dispatch,
and the identity and statistics interfaces."""
import pytest

import _tarn_edge_310 as m
import tarn_base_310 as tb
import tarn_edge_310 as te
from support import error_of, needs_netns, prototypes
from support.controller import Controller
from support.softcamera import NumpySource, loopback_mac

pytestmark = needs_netns()


@pytest.fixture
def running():
    device = te.ZuSoftDeviceGEV()
    device.AddStream(NumpySource())
    assert device.Start(loopback_mac(40)).IsOK()
    yield device
    device.Stop()


# ---- Event sink -------------------------------------------------------------

class Connect(te.IZuVirtualDeviceGEVEventSink):
    def __init__(self):
        super().__init__()
        self.seen = []

    def OnApplicationConnect(self, device, ip, port, access):
        self.seen.append((type(device).__name__, type(ip).__name__, str(ip), port, access))
        return "ignored"


def test_a_controller_connecting_reaches_the_sink_with_its_address():
    device = te.ZuSoftDeviceGEV()
    device.AddStream(NumpySource())
    sink = Connect()
    device.RegisterEventSink(sink)
    assert device.Start(loopback_mac(41)).IsOK()
    ctl = Controller("127.0.0.41")
    port = ctl.sock.getsockname()[1]
    try:
        ctl.take_control(exclusive=True)
        ctl.release()
    finally:
        ctl.close()
        device.Stop()
    assert sink.seen == [("IZuVirtualDeviceGEV", "ZuString", "127.0.0.1", port, te.ZuAccessExclusive)]


def test_a_failing_notification_on_the_control_thread_prints_and_the_device_goes_on(capfd):
    class Bad(te.IZuVirtualDeviceGEVEventSink):
        def OnApplicationConnect(self, device, ip, port, access):
            raise ValueError("bad")
    device = te.ZuSoftDeviceGEV()
    device.AddStream(NumpySource())
    device.RegisterEventSink(Bad())
    assert device.Start(loopback_mac(42)).IsOK()
    ctl = Controller("127.0.0.42")
    try:
        ctl.take_control()
        assert ctl.read(0x0A00) == 2
    finally:
        ctl.close()
        device.Stop()
    assert capfd.readouterr().out == "In method 'OnApplicationConnect': ValueError: bad\n"


def test_sink_functions_and_their_texts():
    sink = te.IZuVirtualDeviceGEVEventSink()
    # A plain sink's notifications do nothing; so does the own-object up-call.
    assert m.IZuVirtualDeviceGEVEventSink_OnDeviceResetFull(sink, None) is None
    assert m.IZuVirtualDeviceGEVEventSink_OnApplicationConnect(sink, None, "1.2.3.4", 5, 2) is None
    assert error_of(m.IZuVirtualDeviceGEVEventSink_OnApplicationConnect, sink, None, "x", 65536, 2) == (
        OverflowError, "in method 'IZuVirtualDeviceGEVEventSink_OnApplicationConnect', argument 4 of type 'uint16_t'")
    assert error_of(m.IZuVirtualDeviceGEVEventSink_OnApplicationConnect, sink, None, b"x", 5, 2) == (
        TypeError, "Argument 3: failed to create ZuString from Python string")
    assert error_of(m.IZuVirtualDeviceGEVEventSink_OnCreateCustomRegisters, sink, None, 5) == (
        TypeError, "in method 'IZuVirtualDeviceGEVEventSink_OnCreateCustomRegisters', argument 3 of type 'IZuRegisterFactory *'")
    assert m.disown_IZuVirtualDeviceGEVEventSink(sink) is None


def test_a_director_without_the_method_throws_the_method_error_without_a_line(capfd):
    class NotASink:
        pass
    obj = NotASink()
    this = m.new_IZuVirtualDeviceGEVEventSink(obj)
    kind, text = error_of(m.IZuVirtualDeviceGEVEventSink_OnControlChannelStop, this, None)
    assert kind is AttributeError
    assert capfd.readouterr().out == ""
    m.delete_IZuVirtualDeviceGEVEventSink(this)


def test_a_sink_deleted_while_registered_leaves_the_device_first():
    device = te.ZuSoftDeviceGEV()
    device.AddStream(NumpySource())
    sink = Connect()
    device.RegisterEventSink(sink)
    m.delete_IZuVirtualDeviceGEVEventSink(sink)
    assert device.Start(loopback_mac(43)).IsOK()
    ctl = Controller("127.0.0.43")
    try:
        ctl.take_control()
    finally:
        ctl.close()
        device.Stop()
    assert sink.seen == []


# ---- User-set notification ------------------------------------------------------

class Notify(te.IZuUserSetNotify):
    def __init__(self, answer):
        super().__init__()
        self.answer = answer

    def UserSetStateNotify(self, state, index):
        return self.answer


@pytest.mark.parametrize("answer, code", [(0, 0), (-1, 0xFFFFFFFF), (True, 1)])
def test_user_set_results_from_ints(answer, code):
    notify = Notify(answer)
    this = notify.this
    result = m.IZuUserSetNotify_UserSetStateNotify(this, te.ZuUserSetStateLoadStart, 2)
    assert result.GetCode() == code


def test_user_set_results_that_are_no_result(capfd):
    for answer in (2 ** 31, "OK", None):
        notify = Notify(answer)
        assert error_of(m.IZuUserSetNotify_UserSetStateNotify, notify.this, 0, 0) == (
            TypeError, "SWIG director type mismatch in method UserSetStateNotify with output value of type 'ZuResult'")
    result = tb.ZuResult(te.ZU_BUSY)
    notify = Notify(result)
    got = m.IZuUserSetNotify_UserSetStateNotify(notify.this, 0, 0)
    result.SetCode(te.ZU_OK)
    assert got.GetCode() == te.ZU_BUSY
    assert capfd.readouterr().out == 3 * ("In method 'UserSetStateNotify': TypeError: SWIG director type mismatch "
                                          "in method UserSetStateNotify with output value of type 'ZuResult'\n")


def test_user_set_notify_is_abstract_and_its_base_is_pure():
    assert error_of(m.new_IZuUserSetNotify, None) == (RuntimeError, "accessing abstract class or protected constructor")
    notify = Notify(0)
    assert error_of(te.IZuUserSetNotify.UserSetStateNotify, notify, 0, 0) == (
        RuntimeError, "SWIG director pure virtual method called IZuUserSetNotify::UserSetStateNotify")


# ---- Messaging channel dispatch -------------------------------------------------

FIRE = prototypes("IZuMessageChannel_FireEvent",
                  "IZuMessageChannel::FireEvent(uint16_t,uint64_t,uint16_t)",
                  "IZuMessageChannel::FireEvent(uint16_t,uint64_t)",
                  "IZuMessageChannel::FireEvent(uint16_t)",
                  "IZuMessageChannel::FireEvent(uint16_t,uint8_t *,uint32_t,uint64_t,uint16_t)",
                  "IZuMessageChannel::FireEvent(uint16_t,uint8_t *,uint32_t,uint64_t)",
                  "IZuMessageChannel::FireEvent(uint16_t,uint8_t *,uint32_t)")


def test_fire_event_forms_and_refusals(running):
    channel = running.GetMessagingChannel()
    # A closed channel answers with its state; the data form checks the data first.
    assert m.IZuMessageChannel_FireEvent(channel, 0x9000).GetCode() == te.ZU_STATE_ERROR
    assert m.IZuMessageChannel_FireEvent(channel, 0x9000, 7, 1).GetCode() == te.ZU_STATE_ERROR
    assert m.IZuMessageChannel_FireEvent(channel, 0x9000, b"abc").GetCode() == te.ZU_INVALID_PARAMETER
    assert m.IZuMessageChannel_FireEvent(channel, 0x9000, b"abcd", 7).GetCode() == te.ZU_STATE_ERROR
    for args in ((0x10000,), (-1,), (0x9000, bytearray(4)), (0x9000, "abcd"), (0x9000, 7, 0x10000)):
        assert error_of(m.IZuMessageChannel_FireEvent, channel, *args) == (TypeError, FIRE)
    kind, text = error_of(m.IZuMessageChannel_FireEvent, channel, 1, b"abcd", 2, 3, 4)
    assert kind is TypeError
    assert text.startswith("IZuMessageChannel_FireEvent expected at most 5 arguments, got 6\nAdditional information:\n")
    assert text.endswith(FIRE)
    assert error_of(m.IZuMessageChannel_IsOpened, running.GetInfo()) == (
        TypeError, "in method 'IZuMessageChannel_IsOpened', argument 1 of type 'IZuMessageChannel *'")


# ---- Identity and statistics --------------------------------------------------------

def test_identity_lengths_and_what_a_controller_reads(running):
    info = running.GetInfo()
    assert info.SetSerialNumber("s" * 15).IsOK()
    assert info.GetSerialNumber() == "s" * 15
    assert info.SetSerialNumber("s" * 16).GetCode() == te.ZU_INVALID_PARAMETER
    assert info.SetManufacturerInformation("i" * 47).IsOK()
    assert info.SetManufacturerInformation("i" * 48).GetCode() == te.ZU_INVALID_PARAMETER
    assert info.SetModelName(tb.ZuString("RigCam")).IsOK()
    assert error_of(m.IZuVirtualDeviceGEVInfo_SetModelName, info, b"x") == (
        TypeError, "Argument 2: failed to create ZuString from Python string")
    ctl = Controller("127.0.0.40")
    try:
        assert ctl.read_memory(0x68, 32).rstrip(b"\0") == b"RigCam"
        assert ctl.read_memory(0xD8, 16).rstrip(b"\0") == b"s" * 15
        # The description is the one Start wrote.
        assert 'ModelName="SoftCamera"' in ctl.description()
    finally:
        ctl.close()


class Versioning(te.IZuVirtualDeviceGEVEventSink):
    """Sets the description's version and GUIDs from inside Start."""

    def OnCreateCustomRegisters(self, device, factory):
        info = device.GetInfo()
        assert error_of(m.IZuVirtualDeviceGEVInfo_SetGenICamXMLVersion, info, 1, 0, 65536) == (
            OverflowError, "in method 'IZuVirtualDeviceGEVInfo_SetGenICamXMLVersion', argument 4 of type 'uint16_t'")
        assert info.SetGenICamXMLVersion(2, 5, 1).IsOK()
        assert info.SetGenICamXMLGUIDs("nope", GUID).GetCode() == te.ZU_INVALID_PARAMETER
        assert error_of(m.IZuVirtualDeviceGEVInfo_SetGenICamXMLGUIDs, info, "x", 5) == (
            TypeError, "Argument 3: failed to create ZuString from Python string")
        assert info.SetGenICamXMLGUIDs(GUID, GUID).IsOK()


GUID = "01234567-89AB-CDEF-0123-456789ABCDEF"


def test_description_header_is_set_inside_start_and_then_stays():
    device = te.ZuSoftDeviceGEV()
    device.AddStream(NumpySource())
    sink = Versioning()
    device.RegisterEventSink(sink)
    assert device.Start(loopback_mac(41)).IsOK()
    info = device.GetInfo()
    assert (info.GetGenICamXMLVersionMajor(), info.GetGenICamXMLVersionMinor()) == (2, 5)
    # A controller that only watches reads it, and reads it again unchanged.
    ctl = Controller("127.0.0.41")
    try:
        served = ctl.description()
        assert 'MajorVersion="2" MinorVersion="5" SubMinorVersion="1"' in served
        assert f'ProductGuid="{GUID}"' in served
        assert info.SetGenICamXMLVersion(1, 0, 0).GetCode() == te.ZU_STATE_ERROR
        assert info.SetGenICamXMLGUIDs(GUID.replace("0", "1"), GUID).GetCode() == te.ZU_STATE_ERROR
        assert ctl.description() == served
        assert device.GetGenICamXMLFile()[1] == served.rstrip("\0")
    finally:
        ctl.close()
        device.Stop()


def test_a_start_that_fails_on_its_address_leaves_the_description():
    device = te.ZuSoftDeviceGEV()
    device.AddStream(NumpySource(width=40))
    assert device.Start("no:such:mac").GetCode() == te.ZU_INVALID_PARAMETER
    result, xml = device.GetGenICamXMLFile()
    assert result.IsOK() and '<Integer Name="Width"' in xml


def test_statistics_count_the_controllers_traffic(running):
    stats = running.GetStatistics()
    ctl = Controller("127.0.0.40")
    try:
        ctl.take_control()
        ctl.read(0x0A00)
        ctl.read_memory(0x48, 32)
        ctl.release()
    finally:
        ctl.close()
    assert stats.GetSessionsOpened() == 1
    assert stats.GetSessionsClosed() == 1
    assert stats.GetReadRegsReceived() >= 1
    assert stats.GetReadMemsReceived() >= 1
    assert stats.GetWriteRegsReceived() >= 2
    assert stats.Reset() is None
    assert stats.GetSessionsOpened() == 0 and stats.GetReadMemsReceived() == 0
    assert error_of(m.IZuVirtualDeviceGEVStatistics_GetSessionsOpened, running.GetInfo()) == (
        TypeError, "in method 'IZuVirtualDeviceGEVStatistics_GetSessionsOpened', argument 1 of type 'IZuVirtualDeviceGEVStatistics const *'")


# ---- What the device lends ----------------------------------------------------------

def test_what_the_device_lends_refuses_use_once_the_device_is_deleted(py):
    # Kept past the device: its map, identity, statistics and messaging
    # channel (proxies and their bare pointer objects), the map a source was
    # handed and the device its sink was handed all get the freed object's
    # argument error instead of reaching freed memory. Each is one object.
    out = py("""
        import sys; sys.path.insert(0, "tests")
        import tarn_edge_310 as te, _tarn_edge_310 as raw
        from support.softcamera import NumpySource, loopback_mac

        class Script(te.IZuVirtualDeviceGEVEventSink):
            def OnCreateCustomRegisters(self, device, factory):
                self.device = device

        class Source(NumpySource):
            def CreateRegisters(self, registers, factory):
                self.registers = registers

        device, script, source = te.ZuSoftDeviceGEV(), Script(), Source()
        device.AddStream(source)
        device.RegisterEventSink(script)
        assert device.Start(loopback_mac(94)).IsOK()
        kept = [device.GetRegisterMap(), device.GetInfo(), device.GetStatistics(), device.GetMessagingChannel()]
        assert [device.GetRegisterMap(), device.GetInfo(), device.GetStatistics(), device.GetMessagingChannel()] == kept
        assert source.registers is kept[0]
        assert script.device.GetInfo() is kept[1]
        registers, info, statistics, messages = kept
        bare = registers.this
        assert str(info.GetModelName()) and registers.GetRegisterCount() >= 0
        device.Stop()
        del device, kept
        for call in (registers.GetRegisterCount, lambda: raw.IZuRegisterMap_GetRegisterCount(bare),
                     source.registers.Release, info.GetModelName, statistics.GetReadRegsReceived,
                     messages.IsOpened, script.device.GetStatistics):
            try:
                call()
                print("no error")
            except TypeError as error:
                print(str(error).split(",")[0])
    """).stdout
    assert out.splitlines() == ["in method 'IZuRegisterMap_GetRegisterCount'"] * 2 + [
        "in method 'IZuRegisterMap_Release'", "in method 'IZuVirtualDeviceGEVInfo_GetModelName'",
        "in method 'IZuVirtualDeviceGEVStatistics_GetReadRegsReceived'", "in method 'IZuMessageChannel_IsOpened'",
        "in method 'IZuVirtualDeviceGEV_GetStatistics'"]
