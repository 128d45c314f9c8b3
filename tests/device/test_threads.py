"""Device control across threads: sinks called on the SDK's threads while
Python threads use the device, link loss, and the end of the interpreter
with devices still connected."""
import sys
import threading

import pytest

import tarn_receive_310 as tr
from support.devices import start_test_device as start
from support import needs_netns

pytestmark = needs_netns()
ADDRESS = "127.0.0.110"


@pytest.fixture(scope="module")
def device_process():
    device = start(ADDRESS)
    yield device
    device.stop()


def test_events_arrive_in_order_while_threads_read_and_write_features(device_process, connect):
    dev = connect(ADDRESS)
    events = []
    all_arrived = threading.Event()

    class Sink(tr.ZuDeviceEventSink):
        def OnEvent(self, device, event_id, *rest):
            # Python work on the heartbeat thread, while readers hold the device.
            events.append(event_id)
            if len(events) == 100:
                all_arrived.set()

    sink = Sink()
    assert dev.RegisterEventSink(sink).IsOK()
    failures = []

    def read(feature, value):
        params = dev.GetParameters()
        for _ in range(150):
            params.InvalidateCache()
            if not params.SetIntegerValue(feature, value).IsOK() or params.GetIntegerValue(feature)[1] != value:
                failures.append(feature)

    readers = [threading.Thread(target=read, args=(name, value)) for name, value in
               (("Width", 320), ("Height", 240), ("SlowRegister", 7))]
    for t in readers:
        t.start()
    for k in range(1, 101):
        device_process.tell(f"event {k:x}")
    for t in readers:
        t.join(60)
        assert not t.is_alive()
    assert all_arrived.wait(30)
    assert failures == []
    assert events == list(range(1, 101))
    assert dev.UnregisterEventSink(sink).IsOK()


def test_link_loss_is_reported_once_the_device_stops_answering(connect):
    lost = threading.Event()
    where = []

    class Sink(tr.ZuDeviceEventSink):
        def OnLinkDisconnected(self, device):
            where.append((threading.get_ident(), type(device).__name__))
            lost.set()

    device = start("127.0.0.111")
    try:
        dev = tr.ZuDeviceGEV()
        assert dev.GetCommunicationParameters().SetIntegerValue("HeartbeatTimeout", 600).IsOK()
        assert dev.Connect("127.0.0.111").IsOK()
        sink = Sink()
        assert dev.RegisterEventSink(sink).IsOK()
        device.tell("mute")
        assert lost.wait(10)
        assert where == [(where[0][0], "ZuDevice")] and where[0][0] != threading.get_ident()
        assert dev.IsConnected() is False
        assert dev.ReadRegister(0x10000)[0].GetCode() == tr.ZU_NOT_CONNECTED
        assert dev.Disconnect().IsOK()
        assert dev.UnregisterEventSink(sink).IsOK()
    finally:
        device.stop()


@pytest.mark.parametrize("ending", ["exit", "sink busy at exit"])
def test_the_interpreter_ends_with_devices_still_connected(py, ending):
    proc = py(f"""
        import sys, threading, time
        sys.path.insert(0, {str(sys.path[0])!r})
        import tarn_base_310, tarn_receive_310 as tr
        from support.devices import start_test_device as start
        device = start("127.0.0.112")
        result, dev = tr.ZuDevice.CreateAndConnect("127.0.0.112")
        busy = threading.Event()
        class Sink(tr.ZuDeviceEventSink):
            def OnEvent(self, *args):
                busy.set()
                if {ending == "sink busy at exit"!r}:
                    time.sleep(0.5)
            def OnCmdLinkRead(self, *args):
                pass
        dev.RegisterEventSink(Sink())
        def flood():
            for k in range(1000):
                try:
                    device.tell("event 1")
                except Exception:
                    return
        threading.Thread(target=flood, daemon=True).start()
        params = dev.GetParameters()
        for _ in range(50):
            params.InvalidateCache()
            params.GetIntegerValue("Width")
        # Leaving once events flow (the sink inside one, or between two).
        busy.wait(5)
        print("leaving", flush=True)
    """, env={"TARN_IN_NETNS": "1", "PYTHONPATH": ":".join(sys.path)}, check=False, timeout=60)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.splitlines()[-1] == "leaving"


def test_no_sink_is_called_once_the_exit_handlers_ran(py):
    out = py(f"""
        import atexit, sys, threading, time
        sys.path.insert(0, {str(sys.path[0])!r})
        import tarn_base_310, tarn_receive_310 as tr
        from support.devices import start_test_device as start
        device = start("127.0.0.113")
        result, dev = tr.ZuDevice.CreateAndConnect("127.0.0.113")
        calls = []
        got = threading.Event()
        class Sink(tr.ZuDeviceEventSink):
            def OnEvent(self, device, event_id, *rest):
                calls.append(event_id)
                got.set()
        dev.RegisterEventSink(Sink())
        device.tell("event 1")
        got.wait(10)
        # What the interpreter runs as it begins to end, our hook last.
        atexit._run_exitfuncs()
        device.tell("event 2")
        comm = dev.GetCommunicationParameters()
        for _ in range(1000):
            if comm.GetIntegerValue("EventsReceived")[1] == 2:
                break
            time.sleep(0.01)
        assert dev.WaitForMessagingChannelIdle(5000).IsOK()
        print(comm.GetIntegerValue("EventsReceived")[1], calls, flush=True)
    """, env={"TARN_IN_NETNS": "1", "PYTHONPATH": ":".join(sys.path)}, timeout=60)
    # The device received the second event, and no Python sink heard of it.
    assert out.stdout.splitlines()[-1] == "2 [1]"
