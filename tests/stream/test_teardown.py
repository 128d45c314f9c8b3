"""Teardown in any order: a stream freed or closed under a running pipeline,
and the pipeline's calls and waits afterwards, from the bare module and
through the proxy classes. Each answer comes within its time-out and says
why; nothing waits for good."""
import itertools
import os
import threading
import time

import pytest

import tarn_receive_310 as tr
from support import ROOT, needs_netns
from support.streams import open_towards

m = tr._tarn_receive_310
pytestmark = needs_netns()
_addresses = itertools.count(2)
# Far beyond any answer here, however loaded the machine.
PATIENCE = 30


def fresh_stream():
    """(stream, the device address it is open towards)."""
    address = f"127.0.44.{next(_addresses)}"
    result, stream = open_towards(address)
    assert result.IsOK()
    return stream, address


class Waiter(threading.Thread):
    """A RetrieveNextBuffer without limit on a thread of its own."""

    def __init__(self, retrieve):
        super().__init__(daemon=True)
        self.retrieve = retrieve
        self.answer = None

    def run(self):
        self.answer = self.retrieve(0xFFFFFFFF)


def waiting(retrieve):
    waiter = Waiter(retrieve)
    waiter.start()
    time.sleep(0.2)  # into its wait; an earlier release is answered the same
    assert waiter.is_alive()
    return waiter


def answered(waiter):
    waiter.join(PATIENCE)
    assert not waiter.is_alive(), "the wait outlived the stream"
    return waiter.answer


@pytest.mark.parametrize("form", ["bare", "proxy"])
def test_a_stream_freed_under_a_running_pipeline_ends_its_waits_and_later_calls_say_so(form):
    stream, _ = fresh_stream()
    if form == "bare":
        pipeline = m.new_ZuPipeline(stream)
        retrieve = lambda timeout: m.ZuPipeline_RetrieveNextBuffer(pipeline, timeout)
        call = lambda name, *args: getattr(m, "ZuPipeline_" + name)(pipeline, *args)
        free, delete = (lambda: m.ZuStream_Free(stream)), (lambda: m.delete_ZuPipeline(pipeline))
    else:
        pipeline = tr.ZuPipeline(stream)
        retrieve = pipeline.RetrieveNextBuffer
        call = lambda name, *args: getattr(pipeline, name)(*args)
        free, delete = (lambda: tr.ZuStream.Free(stream)), (lambda: pipeline.__swig_destroy__(pipeline))
    assert call("Start").IsOK()
    waiter = waiting(retrieve)
    free()
    # Closed first by its release, then gone: either says the stream went.
    result, buffer, _ = answered(waiter)
    assert result.GetCode() == tr.ZU_NOT_CONNECTED and buffer is None

    started = time.monotonic()
    result, buffer, _ = retrieve(500)
    assert time.monotonic() - started < PATIENCE
    assert result.GetCode() == tr.ZU_NOT_CONNECTED and buffer is None
    assert result.GetDescription() == "the pipeline's stream was freed"
    assert not call("IsStarted")
    assert call("Start").GetCode() == tr.ZU_NOT_CONNECTED
    assert call("Stop").IsOK()
    assert call("Reset").GetCode() == tr.ZU_STATE_ERROR
    assert call("SetBufferCount", 3).IsOK()
    delete()


def test_a_stream_closed_under_a_running_pipeline_ends_a_wait_without_limit():
    stream, _ = fresh_stream()
    pipeline = m.new_ZuPipeline(stream)
    assert m.ZuPipeline_Start(pipeline).IsOK()
    waiter = waiting(lambda timeout: m.ZuPipeline_RetrieveNextBuffer(pipeline, timeout))
    assert m.ZuStream_Close(stream).IsOK()
    result, buffer, _ = answered(waiter)
    assert result.GetCode() == tr.ZU_NOT_CONNECTED and buffer is None
    assert m.ZuPipeline_RetrieveNextBuffer(pipeline, 0xFFFFFFFF)[0].GetCode() == tr.ZU_NOT_CONNECTED
    assert m.ZuPipeline_Stop(pipeline).IsOK()
    m.delete_ZuPipeline(pipeline)
    m.ZuStream_Free(stream)


def test_a_stream_freed_from_the_pipelines_own_sink_call():
    """The pipeline's thread, inside OnBufferReady of its first buffer, frees
    the stream under itself: the call returns, the thread leaves without
    touching the stream again, and the pipeline answers as above."""
    from support.devices import start_frames
    stream, address = fresh_stream()
    pipeline = m.new_ZuPipeline(stream)
    freed = threading.Event()

    class Sink(tr.ZuPipelineEventSink):
        def OnBufferReady(self, p):
            if not freed.is_set():
                m.ZuStream_Free(stream)
                freed.set()

    sink = Sink()
    assert m.ZuPipeline_RegisterEventSink(pipeline, sink).IsOK()
    m.ZuPipeline_SetBufferSize(pipeline, 64 * 48)
    assert m.ZuPipeline_Start(pipeline).IsOK()
    sender = start_frames(address, m.ZuStreamGEV_GetLocalPort(stream), 3, 64, 48)
    try:
        assert freed.wait(PATIENCE)
        deadline = time.monotonic() + PATIENCE
        while m.ZuPipeline_IsStarted(pipeline) and time.monotonic() < deadline:
            time.sleep(0.01)
        assert not m.ZuPipeline_IsStarted(pipeline)
        assert m.ZuPipeline_RetrieveNextBuffer(pipeline, 100)[0].GetCode() == tr.ZU_NOT_CONNECTED
    finally:
        sender.wait(PATIENCE)
    assert m.ZuPipeline_UnregisterEventSink(pipeline, sink).IsOK()
    m.delete_ZuPipeline(pipeline)


def test_one_pipeline_driven_from_four_threads_while_streaming_then_torn_down(py):
    """Start, Stop, RetrieveNextBuffer and SetBufferCount, each on a thread
    of its own, while frames arrive: one buffer-handling thread at a time,
    no buffer freed while the stream may fill it, and a clean teardown."""
    seconds = float(os.environ.get("TARN_STRESS_SECONDS", "2"))
    result = py(f"""
        import random, threading, time
        import tarn_base_310 as tb, tarn_receive_310 as tr
        from support.devices import start_frames
        from support.streams import open_towards
        m = tr._tarn_receive_310
        result, stream = open_towards("127.0.44.250")
        assert result.IsOK()
        pipeline = tr.ZuPipeline(stream)
        pipeline.SetBufferSize(64 * 48)
        assert pipeline.Start().IsOK()
        sender = start_frames("127.0.44.250", m.ZuStreamGEV_GetLocalPort(stream), 100000, 64, 48)
        until = time.monotonic() + {seconds}

        def retrieve():
            result, buffer, operation = pipeline.RetrieveNextBuffer(20)
            if result.IsOK():
                assert pipeline.ReleaseBuffer(buffer).IsOK()

        def loop(call):
            while time.monotonic() < until:
                call()

        calls = (pipeline.Start, pipeline.Stop, retrieve, lambda: pipeline.SetBufferCount(random.randint(1, 8)))
        threads = [threading.Thread(target=loop, args=(call,)) for call in calls]
        for t in threads:
            t.start()
        for t in threads:
            t.join(60)
            assert not t.is_alive()
        sender.kill()
        sender.wait(30)
        assert pipeline.Stop().IsOK()
        del pipeline
        m.ZuStream_Free(stream)
        print("torn down", flush=True)
        """, env={"TARN_IN_NETNS": "1", "PYTHONPATH": os.environ.get("PYTHONPATH", "") + ":" + str(ROOT / "tests")},
        check=False, timeout=120 + 10 * seconds)
    assert result.returncode == 0 and "torn down" in result.stdout.splitlines(), result.stdout + result.stderr
