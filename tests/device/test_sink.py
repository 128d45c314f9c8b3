"""The device event sink and its director: what overrides receive and on
which thread, the line a failing override prints, the up-call functions,
and how long a registered sink lives."""
import gc
import sys
import threading
import weakref

import numpy as np
import pytest

import tarn_receive_310 as tr
from support.devices import start_test_device as start
from support import error_of, needs_netns

m = tr._tarn_receive_310
pytestmark = needs_netns()
ADDRESS = "127.0.0.105"


@pytest.fixture(scope="module")
def device_process():
    device = start(ADDRESS)
    yield device
    device.stop()


@pytest.fixture
def dev(device_process, connect):
    return connect(ADDRESS)


class Recorder(tr.ZuDeviceEventSink):
    def __init__(self, want=1):
        super().__init__()
        self.calls = []
        self.threads = set()
        self.want = want
        self.done = threading.Event()

    def OnEvent(self, device, event_id, channel, block_id, timestamp, data):
        self.threads.add(threading.get_ident())
        self.calls.append(("event", type(device).__name__, event_id, data.dtype, bytes(data)))

    def OnEventGenICam(self, device, event_id, channel, block_id, timestamp, changed):
        names = None
        if changed is not None:
            names = [changed.GetItem(i).GetName()[1] for i in range(changed.GetSize())]
        self.calls.append(("genicam", event_id, names))
        if sum(c[0] == "genicam" for c in self.calls) >= self.want:
            self.done.set()


def test_events_reach_overrides_raw_and_through_the_node_map(dev, device_process):
    sink = Recorder(want=2)
    assert dev.RegisterEventSink(sink).IsOK()
    assert device_process.tell("event 9001 0000002a") == "event queued"
    assert device_process.tell("event 1234") == "event queued"
    assert sink.done.wait(10)
    assert dev.UnregisterEventSink(sink).IsOK()
    assert sink.calls == [
        ("event", "ZuDevice", 0x9001, np.uint8, b"\0\0\0*"),
        ("genicam", 0x9001, ["EventExposureEndFrameID"]),
        ("event", "ZuDevice", 0x1234, np.uint8, b""),
        ("genicam", 0x1234, None),
    ]
    # Delivered on the device's heartbeat thread, never this one.
    assert threading.get_ident() not in sink.threads
    assert dev.GetParameters().GetIntegerValue("EventExposureEndFrameID")[1] == 42


def test_reads_are_reported_on_the_reading_thread_and_a_failure_ends_the_read(dev):
    seen = []

    class Reads(tr.ZuDeviceEventSink):
        def OnCmdLinkRead(self, *args):
            seen.append((len(args), type(args[0]), threading.get_ident()))
            array, address = args[0]
            seen.append((address, len(array)))
            if address == 0x10004:
                raise ValueError("bad")
            return "ignored"

    sink = Reads()
    assert dev.RegisterEventSink(sink).IsOK()
    try:
        params = dev.GetParameters()
        params.InvalidateCache()
        assert params.GetIntegerValue("Width")[0].IsOK()
        assert seen[:2] == [(1, tuple, threading.get_ident()), (0x10000, 4)]
        with pytest.raises(RuntimeError) as info:
            params.GetIntegerValue("Height")
        assert str(info.value) == "SWIG director method error. In method 'OnCmdLinkRead': ValueErrorbad"
    finally:
        dev.UnregisterEventSink(sink)


def test_failing_override_on_an_sdk_thread_prints_and_the_process_lives(py):
    out = py(f"""
        import sys, threading
        sys.path.insert(0, {str(sys.path[0])!r})
        import tarn_base_310, tarn_receive_310 as tr
        from support.devices import start_test_device as start
        device = start("127.0.0.106")
        result, dev = tr.ZuDevice.CreateAndConnect("127.0.0.106")
        done = threading.Event()
        class Sink(tr.ZuDeviceEventSink):
            def OnEvent(self, *args):
                done.set()
                raise ValueError("bad")
            def OnEventGenICam(self, *args):
                raise ValueError()
        sink = Sink()
        dev.RegisterEventSink(sink)
        device.tell("event 1")
        done.wait(10)
        assert dev.WaitForMessagingChannelIdle(5000).IsOK()
        print("alive", dev.IsConnected(), flush=True)
        tr.ZuDevice.Free(dev)
        device.stop()
    """, env={"TARN_IN_NETNS": "1", "PYTHONPATH": ":".join(sys.path)}).stdout.splitlines()
    assert "In method 'OnEvent': ValueErrorbad" in out
    assert "In method 'OnEventGenICam': ValueError" in out
    assert "alive True" in out


def test_up_call_functions_run_the_sdk_bodies_and_check_their_arguments():
    plain = tr.ZuDeviceEventSink()
    for name, args in (("OnLinkDisconnected", (None,)), ("OnLinkReconnected", (None,)),
                       ("OnEvent", (None, 1, 2, 3, 4, np.zeros(8, np.uint8))),
                       ("OnEventGenICam", (None, 1, 2, 3, 4, None)),
                       ("OnCmdLinkRead", ((np.zeros(4, np.uint8), 16),)),
                       ("OnCmdLinkWrite", (([1, 2, 3, 4], 16),))):
        assert getattr(m, f"ZuDeviceEventSink_{name}")(plain, *args) is None
    read = m.ZuDeviceEventSink_OnCmdLinkRead
    write = m.ZuDeviceEventSink_OnCmdLinkWrite
    assert error_of(read, plain, [np.zeros(4, np.uint8), 0]) == (
        TypeError, "Error: ZuDeviceEventSink_OnCmdLinkRead requires tuple argument")
    assert error_of(read, plain, (np.zeros(4, np.uint8),)) == (
        TypeError, "Error: ZuDeviceEventSink_OnCmdLinkRead requires a tuple with two elements as an argument")
    assert error_of(write, plain, (np.zeros(4, np.uint8), 1.0)) == (
        TypeError, "Error: ZuDeviceEventSink_OnCmdLinkWrite requires an integer as the second tuple element")
    assert error_of(read, plain, (np.zeros(4, np.uint8), 2 ** 64)) == (
        TypeError, "Error: ZuDeviceEventSink_OnCmdLinkRead requires an integer as the second tuple element")
    assert error_of(read, plain, (object(), 0)) == (
        TypeError, "Error: ZuDeviceEventSink_OnCmdLinkRead requires a numpy array as the first tuple element")
    assert error_of(m.ZuDeviceEventSink_OnEvent, plain, None, 70000, 2, 3, 4, b"") == (
        OverflowError, "in method 'ZuDeviceEventSink_OnEvent', argument 3 of type 'uint16_t'")
    assert error_of(m.ZuDeviceEventSink_OnEvent, plain, None, 1, 2, 3, 4, np.zeros((2, 2), np.uint8)) == (
        TypeError, "Array must have 1 dimensions.  Given array has 2 dimensions")
    assert error_of(m.ZuDeviceEventSink_OnEventGenICam, plain, None, 1, 2, 3, 4, 5) == (
        TypeError, "in method 'ZuDeviceEventSink_OnEventGenICam', argument 7 of type 'ZuGenParameterList *'")
    assert error_of(m.disown_ZuDeviceEventSink, 5) == (
        TypeError, "in method 'disown_ZuDeviceEventSink', argument 1 of type 'ZuDeviceEventSink *'")


def test_up_calls_run_the_override_only_through_another_object():
    got = []

    class Sink(tr.ZuDeviceEventSink):
        def OnCmdLinkWrite(self, pair):
            got.append((bytes(pair[0]), pair[1]))

    sink = Sink()
    # Called with the sink itself: the SDK's own body, not the override.
    assert m.ZuDeviceEventSink_OnCmdLinkWrite(sink, ([1, 2], 5)) is None
    assert got == []
    # Through its bare pointer object the director forwards to the override;
    # the length is the first dimension of what was given.
    assert m.ZuDeviceEventSink_OnCmdLinkWrite(sink.this, (np.arange(6, dtype=np.uint8).reshape(3, 2), 9)) is None
    assert got == [(b"\0\1\2", 9)]


def test_a_registered_sink_lives_until_it_leaves(dev, device_process):
    events = []
    arrived = threading.Event()

    class Sink(tr.ZuDeviceEventSink):
        def OnEvent(self, *args):
            events.append(args[1])

    # Sinks are called in turn: once the one registered after it has the
    # event, every call to the first (and the bound methods its director
    # caches) is over.
    class After(tr.ZuDeviceEventSink):
        def OnEvent(self, *args):
            arrived.set()

    sink, after = Sink(), After()
    alive = weakref.ref(sink)
    count = sys.getrefcount(sink)
    assert dev.RegisterEventSink(sink).IsOK()
    assert sys.getrefcount(sink) == count + 1
    del sink
    gc.collect()
    assert alive() is not None
    assert dev.RegisterEventSink(after).IsOK()
    device_process.tell("event 77")
    assert arrived.wait(10)
    assert events == [0x77]
    # Unregistered, the device lets go (the director's method cache, which
    # holds a bound method, keeps it from here on, as a director does).
    sink = alive()
    held = sys.getrefcount(sink)
    assert dev.UnregisterEventSink(sink).IsOK()
    assert sys.getrefcount(sink) == held - 1
    assert dev.UnregisterEventSink(after).IsOK()


def test_a_sink_deleted_while_registered_leaves_first(dev, device_process):
    class Sink(tr.ZuDeviceEventSink):
        def OnEvent(self, *args):
            pass

    sink = Sink()
    assert dev.RegisterEventSink(sink).IsOK()
    m.delete_ZuDeviceEventSink(sink)
    # The device no longer knows it: the next event reaches only the sink
    # still registered, and nothing touches the deleted one.
    later = Recorder()
    assert dev.RegisterEventSink(later).IsOK()
    device_process.tell("event 5")
    assert later.done.wait(10)
    assert dev.UnregisterEventSink(later).IsOK()


def test_disown_takes_one_reference_and_a_sink_without_init_is_refused(dev):
    class Sink(tr.ZuDeviceEventSink):
        pass

    sink = Sink()
    count = sys.getrefcount(sink)
    m.disown_ZuDeviceEventSink(sink)
    m.disown_ZuDeviceEventSink(sink)
    assert sys.getrefcount(sink) == count + 1

    class Forgetful(tr.ZuDeviceEventSink):
        def __init__(self):
            pass

    assert error_of(dev.RegisterEventSink, Forgetful()) == (
        TypeError, "in method 'ZuDevice_RegisterEventSink', argument 2 of type 'ZuDeviceEventSink *'")
