"""Ctrl-C ends a wait in the SDK as it ends one in plain Python: a script
blocked in a wait without limit gets KeyboardInterrupt on its main thread,
through the bare module and the proxy classes, in each module that waits,
and the interrupted wait took nothing."""
import os

import pytest

from support import ROOT, needs_netns

pytestmark = needs_netns()
WITH_SUPPORT = {"TARN_IN_NETNS": "1", "PYTHONPATH": os.environ.get("PYTHONPATH", "") + ":" + str(ROOT / "tests")}

# (what is made, the wait, what must still hold afterwards); the waits have
# nothing to wait for but the interrupt.
CASES = {
    "stream, bare": (
        "s = stream(); b = tb.ZuBuffer(); b.Alloc(4096)\n"
        "assert m.ZuStream_QueueBuffer(s, b).GetCode() == tr.ZU_PENDING",
        "m.ZuStream_RetrieveBuffer(s)",
        "m.ZuStream_GetQueuedBufferCount(s) == 1"),
    "stream, proxy": (
        "s = stream(); b = tb.ZuBuffer(); b.Alloc(4096)\n"
        "assert s.QueueBuffer(b).GetCode() == tr.ZU_PENDING",
        "s.RetrieveBuffer(0xFFFFFFFF)",
        "s.GetQueuedBufferCount() == 1"),
    "pipeline, bare": (
        "p = m.new_ZuPipeline(stream()); assert m.ZuPipeline_Start(p).IsOK()",
        "m.ZuPipeline_RetrieveNextBuffer(p, 0xFFFFFFFF)",
        "m.ZuPipeline_IsStarted(p) and m.ZuPipeline_RetrieveNextBuffer(p, 0)[0].GetCode() == tr.ZU_TIMEOUT"),
    "connecting to a device that does not answer, proxy": (
        "",
        "tr.ZuDevice.CreateAndConnect('127.0.45.77')",
        "True"),
    "discovery, proxy": (
        "system = tb.ZuSystem(); system.SetDetectionTimeout(30000)",
        "system.Find()",
        "system.GetDeviceCount() == 0"),
    "transmitter, proxy": (
        "import tarn_edge_310 as te\n"
        "t = te.ZuTransmitterGEV(); assert t.Open(te.ZuString('127.0.0.1'), 9, te.ZuString('127.0.0.1')).IsOK()",
        "t.RetrieveFreeBuffer(None, 0xFFFFFFFF)",
        "t.RetrieveFreeBuffer(None, 0).GetCode() == te.ZU_TIMEOUT"),
}


@pytest.mark.parametrize("case", CASES)
def test_ctrl_c_ends_a_wait_without_limit_with_keyboard_interrupt(py, case):
    setup, wait, still = CASES[case]
    result = py(f"""
        import os, signal, threading, time
        import tarn_base_310 as tb
        import tarn_receive_310 as tr
        from support.streams import open_towards
        m = tr._tarn_receive_310
        signal.signal(signal.SIGINT, signal.default_int_handler)

        def stream():
            result, s = open_towards("127.0.45.2")
            assert result.IsOK()
            return s

        {setup.replace(chr(10), chr(10) + ' ' * 8)}

        def interrupt():
            time.sleep(0.5)
            os.kill(os.getpid(), signal.SIGINT)

        threading.Thread(target=interrupt, daemon=True).start()
        began = time.monotonic()
        try:
            {wait}
        except KeyboardInterrupt:
            # Raised from inside the wait, not before it began, and soon
            # after the signal, not once the wait ran out.
            assert 0.4 <= time.monotonic() - began < 2.0
            assert {still}
            print("interrupted", flush=True)
        """, env=WITH_SUPPORT, timeout=60)
    assert result.stdout.strip() == "interrupted"


def test_a_wait_on_another_thread_is_not_ended_by_ctrl_c(py):
    """As in plain Python, only the main thread hears the signal: a waiting
    worker thread goes on until its wait ends by itself."""
    result = py("""
        import os, signal, threading, time
        import tarn_receive_310 as tr
        from support.streams import open_towards
        m = tr._tarn_receive_310
        signal.signal(signal.SIGINT, signal.default_int_handler)
        result, s = open_towards("127.0.45.3")
        p = m.new_ZuPipeline(s)
        assert m.ZuPipeline_Start(p).IsOK()
        answers = []
        worker = threading.Thread(target=lambda: answers.append(m.ZuPipeline_RetrieveNextBuffer(p, 1500)[0].GetCode()))
        worker.start()
        time.sleep(0.3)
        try:
            os.kill(os.getpid(), signal.SIGINT)
            time.sleep(10)
        except KeyboardInterrupt:
            pass
        worker.join(30)
        print(answers == [tr.ZU_TIMEOUT], flush=True)
        """, env=WITH_SUPPORT, timeout=60)
    assert result.stdout.strip() == "True"
