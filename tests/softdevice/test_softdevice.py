"""The software device's functions: shapes, texts, its state machine, what
it keeps alive, and Start's failures raised from its directors."""
import gc
import time
import weakref

import pytest

import _tarn_edge_310 as m
import tarn_edge_310 as te
from support import error_of, needs_netns
from support.softcamera import NumpySource, loopback_mac

pytestmark = needs_netns()


def new_device(*sources):
    device = te.ZuSoftDeviceGEV()
    for s in sources:
        assert device.AddStream(s).IsOK()
    return device


def test_interfaces_are_none_and_no_description_before_start():
    device = new_device()
    assert device.GetInfo() is None
    assert device.GetStatistics() is None
    assert device.GetMessagingChannel() is None
    assert device.GetRegisterMap() is None
    result, xml = m.ZuSoftDeviceGEV_GetGenICamXMLFile(device)
    assert (result.GetCode(), xml) == (te.ZU_STATE_ERROR, None)
    assert m.ZuSoftDeviceGEV_Stop(device).GetCode() == te.ZU_STATE_ERROR


def test_arguments_are_checked_before_the_sdk():
    device = new_device()
    assert m.ZuSoftDeviceGEV_AddStream(device, None).GetCode() == te.ZU_INVALID_PARAMETER
    for bad in ("source", 3):
        assert error_of(m.ZuSoftDeviceGEV_AddStream, device, bad) == (
            TypeError, "in method 'ZuSoftDeviceGEV_AddStream', argument 2 of type 'IZuSWStreamingChannelSource *'")
    assert error_of(m.ZuSoftDeviceGEV_SetUserSetCount, device, -1) == (
        OverflowError, "in method 'ZuSoftDeviceGEV_SetUserSetCount', argument 2 of type 'uint32_t'")
    assert m.ZuSoftDeviceGEV_SetUserSetCount(device, 257).GetCode() == te.ZU_INVALID_PARAMETER
    assert m.ZuSoftDeviceGEV_SetUserSetCount(device, 256).IsOK()
    assert error_of(m.ZuSoftDeviceGEV_SetStreamTimestamping, device, 1) == (
        TypeError, "in method 'ZuSoftDeviceGEV_SetStreamTimestamping', argument 2 of type 'bool'")
    assert error_of(m.ZuSoftDeviceGEV_SetStreamTimestamping, device)[0] is TypeError
    assert error_of(m.ZuSoftDeviceGEV_Start, device, b"02:00:7F:00:00:05") == (
        TypeError, "Argument 2: failed to create ZuString from Python string")
    assert m.ZuSoftDeviceGEV_Start(device, "not a mac").GetCode() == te.ZU_INVALID_PARAMETER
    assert error_of(m.ZuSoftDeviceGEV_Start, device, None)[0] is TypeError


def test_start_stop_and_the_interfaces_while_running():
    source = NumpySource()
    device = new_device(source)
    assert m.IZuVirtualDeviceGEV_Start(device, loopback_mac(30)).IsOK()
    try:
        assert device.Start(loopback_mac(30)).GetCode() == te.ZU_STATE_ERROR
        assert device.AddStream(NumpySource()).GetCode() == te.ZU_STATE_ERROR
        assert device.SetUserSetCount(1).GetCode() == te.ZU_STATE_ERROR
        info = device.GetInfo()
        assert isinstance(info, te.IZuVirtualDeviceGEVInfo) and not info.thisown
        assert info.GetManufacturerName() == "Tarn"
        result, xml = device.GetGenICamXMLFile()
        assert result.IsOK() and xml.startswith("<?xml") and "<RegisterDescription" in xml
        assert len(source.buffers) == 8
        assert not any(b.thisown for b in source.buffers)
    finally:
        assert device.Stop().IsOK()
    assert device.GetInfo() is None
    assert device.Stop().GetCode() == te.ZU_STATE_ERROR
    # Each buffer came back once, and its proxy owns it again.
    assert source.calls.count(("FreeBuffer",)) == 8
    assert len(source.freed) == 8 and not source.buffers
    assert all(b.thisown for b in source.freed)
    # The description stays readable after Stop.
    assert device.GetGenICamXMLFile()[0].IsOK()


def test_the_device_keeps_its_sources_and_registered_sinks_alive():
    device = new_device()
    source = NumpySource()
    device.AddStream(source)
    source_ref = weakref.ref(source)
    sink = te.IZuVirtualDeviceGEVEventSink()
    sink_ref = weakref.ref(sink)
    assert device.RegisterEventSink(sink).IsOK()
    del source, sink
    gc.collect()
    assert source_ref() is not None and sink_ref() is not None
    assert device.Start(loopback_mac(31)).IsOK()
    device.Stop()
    assert device.UnregisterEventSink(sink_ref()).IsOK()
    gc.collect()
    assert sink_ref() is None
    del device
    gc.collect()
    assert source_ref() is None


class Sink(te.IZuVirtualDeviceGEVEventSink):
    def __init__(self, fail=None):
        super().__init__()
        self.fail = fail
        self.seen = []

    def OnCreateCustomRegisters(self, device, factory):
        self.seen.append(("registers", type(device).__name__, factory is not None))
        if self.fail:
            raise self.fail

    def OnCreateCustomGenApiFeatures(self, device, factory):
        self.seen.append(("features",))


def test_an_error_in_starts_up_call_raises_and_the_device_can_start_again(capfd):
    source = NumpySource()
    device = new_device(source)
    sink = Sink(ValueError("bad"))
    device.RegisterEventSink(sink)
    kind, text = error_of(device.Start, loopback_mac(32))
    line = "In method 'OnCreateCustomRegisters': ValueError: bad"
    assert (kind, text) == (RuntimeError, "SWIG director method error. " + line)
    assert capfd.readouterr().out == line + "\n"
    assert sink.seen == [("registers", "IZuVirtualDeviceGEV", True)]
    # Not started, buffers given back, a description kept, and a retry works.
    assert device.GetInfo() is None
    assert source.calls.count(("FreeBuffer",)) == 8
    assert device.GetGenICamXMLFile()[0].IsOK()
    sink.fail = None
    assert device.Start(loopback_mac(32)).IsOK()
    assert sink.seen[-2:] == [("registers", "IZuVirtualDeviceGEV", True), ("features",)]
    device.Stop()


def test_a_wrong_result_from_a_source_during_start_is_the_type_mismatch(capfd):
    class Bad(NumpySource):
        def GetSupportedPixelType(self, index):
            return ("OK", te.ZuPixelMono8)
    device = new_device(Bad())
    assert error_of(device.Start, loopback_mac(33)) == (
        TypeError, "SWIG director type mismatch in method GetSupportedPixelType 1 with output value of type 'ZuResult'")
    assert capfd.readouterr().out == ("In method 'GetSupportedPixelType': TypeError: SWIG director type mismatch "
                                      "in method GetSupportedPixelType 1 with output value of type 'ZuResult'\n")


def test_a_source_without_pixels_cannot_start():
    device = new_device(NumpySource(width=0))
    result = device.Start(loopback_mac(34))
    assert result.GetCode() == te.ZU_INVALID_PARAMETER
    assert "at least 1" in result.GetDescription()


def test_borrowed_interfaces_survive_their_delete():
    device = new_device(NumpySource())
    assert device.Start(loopback_mac(35)).IsOK()
    try:
        for get, delete in ((device.GetInfo, m.delete_IZuVirtualDeviceGEVInfo),
                            (device.GetStatistics, m.delete_IZuVirtualDeviceGEVStatistics),
                            (device.GetMessagingChannel, m.delete_IZuMessageChannel)):
            delete(get())
        assert device.GetInfo().GetModelName() == "SoftCamera"
        assert device.GetStatistics().GetSessionsOpened() == 0
        assert not device.GetMessagingChannel().IsOpened()
    finally:
        device.Stop()


def test_deleting_a_running_device_stops_it_and_frees_its_buffers():
    source = NumpySource()
    device = new_device(source)
    assert device.Start(loopback_mac(36)).IsOK()
    del device
    gc.collect()
    assert source.calls.count(("FreeBuffer",)) == 8


def test_stopping_from_the_control_thread_and_deleting_a_lent_device_proxy():
    """A sink that stops the device when a controller connects: the control
    thread is not joined from itself; the controller's write still gets its
    answer or times out, and the device ends."""
    from support.controller import Controller, GvcpError
    import socket

    class Stopper(te.IZuVirtualDeviceGEVEventSink):
        def OnCreateCustomRegisters(self, device, factory):
            # The device proxy is lent: deleting it frees nothing.
            m.delete_IZuVirtualDeviceGEV(device)

        def OnApplicationConnect(self, device, ip, port, access):
            self.result = holder.Stop().GetCode()

    source = NumpySource()
    holder = new_device(source)
    sink = Stopper()
    holder.RegisterEventSink(sink)
    assert holder.Start(loopback_mac(37)).IsOK()
    ctl = Controller("127.0.0.37", timeout=1.0)
    try:
        try:
            ctl.take_control()
        except (socket.timeout, GvcpError):
            pass
    finally:
        ctl.close()
    # A stop from the control thread is finished by another thread.
    for _ in range(1000):
        if source.calls.count(("FreeBuffer",)) == 8 and holder.GetInfo() is None:
            break
        import time
        time.sleep(0.01)
    assert sink.result == te.ZU_OK
    assert source.calls.count(("FreeBuffer",)) == 8
    assert holder.GetInfo() is None
    assert holder.Start(loopback_mac(37)).IsOK()
    holder.Stop()


def test_stop_while_streaming_releases_the_interpreter_for_the_streaming_thread(py):
    """Stop joins the streaming thread, which is inside a Python up-call:
    it must let other threads run meanwhile. Held, it would never return, so
    the check runs in a process of its own with a time limit."""
    proc = py("""
        import sys
        sys.path.insert(0, "tests")
        from support.controller import Controller, StreamReceiver, open_stream, start_acquisition
        import time
        from support.softcamera import NumpySource, SoftCamera
        from support.threads import assert_releases_the_interpreter

        class Slow(NumpySource):
            # Each retrieval takes a while, so that Stop waits for it.
            def RetrieveBuffer(self, slot):
                time.sleep(0.05)
                return super().RetrieveBuffer(slot)
        camera = SoftCamera(38, kind=Slow)
        ctl = Controller("127.0.0.38")
        receiver = StreamReceiver()
        ctl.take_control()
        open_stream(ctl, receiver)
        start_acquisition(ctl)
        assert len(receiver.wait_for(3)) >= 3
        assert assert_releases_the_interpreter(camera.device.Stop).IsOK()
        assert ("OnStreamingStop",) in camera.source.calls
        assert camera.source.calls.count(("FreeBuffer",)) == 8
        receiver.close()
        ctl.close()
        print("stopped", flush=True)
    """, timeout=60)
    assert proc.stdout.strip() == "stopped"


def test_a_process_that_exits_with_a_streaming_camera_ends_cleanly(py):
    proc = py("""
        import sys
        sys.path.insert(0, "tests")
        from support.controller import Controller, StreamReceiver, open_stream, start_acquisition
        from support.softcamera import SoftCamera
        camera = SoftCamera(39)
        ctl = Controller("127.0.0.39")
        receiver = StreamReceiver()
        ctl.take_control()
        open_stream(ctl, receiver)
        start_acquisition(ctl)
        assert len(receiver.wait_for(5)) >= 5
        print("exiting", flush=True)
    """, timeout=60)
    assert proc.returncode == 0
    assert proc.stdout.strip() == "exiting"


def test_each_open_of_a_channel_gets_exactly_one_close():
    """A source that frees per-connection resources in OnClose frees them
    once: never without an OnOpen, never twice for one."""
    from support.controller import Controller, StreamReceiver, open_stream, start_acquisition
    from support.softcamera import SoftCamera

    def openings(camera):
        return [c[0] for c in camera.source.calls if c[0] in ("OnOpen", "OnClose")]

    with SoftCamera(171) as never:
        pass
    assert openings(never) == []
    receiver = StreamReceiver()
    try:
        for number, streaming in ((172, False), (173, True)):
            camera = SoftCamera(number)
            ctl = Controller(camera.address)
            try:
                ctl.take_control()
                open_stream(ctl, receiver)
                if streaming:
                    # Streaming when the device stops.
                    start_acquisition(ctl)
                    assert receiver.wait_for(2)
                else:
                    # Closed by the controller's leaving, then the device stops.
                    ctl.release()
                    # The session ends on the device's control thread, after its answer.
                    deadline = time.monotonic() + 10
                    while len(openings(camera)) < 2 and time.monotonic() < deadline:
                        time.sleep(0.01)
                    assert openings(camera) == ["OnOpen", "OnClose"]
            finally:
                camera.stop()
                ctl.close()
            assert openings(camera) == ["OnOpen", "OnClose"], number
    finally:
        receiver.close()


def test_a_second_device_on_an_address_taken_cannot_start_and_says_why():
    """Two cameras on one address would each see some of the requests; the
    second is refused until the first stops, and so is a stand-alone
    responder on that address."""
    first, second = new_device(NumpySource()), new_device(NumpySource())
    assert first.Start(loopback_mac(47)).IsOK()
    try:
        refused = m.ZuSoftDeviceGEV_Start(second, loopback_mac(47))
        assert refused.GetCode() == te.ZU_NETWORK_ERROR
        assert "another device already answers at 127.0.0.47" in refused.GetDescription()
        assert second.GetInfo() is None
        responder = te.ZuVirtualDeviceGEV()
        refused = responder.StartListening(te.ZuString("127.0.0.47"))
        assert refused.GetCode() == te.ZU_NETWORK_ERROR and "already answers" in refused.GetDescription()
    finally:
        assert first.Stop().IsOK()
    assert second.Start(loopback_mac(47)).IsOK()
    assert second.Stop().IsOK()
