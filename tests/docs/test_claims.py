"""What the pages say in prose, where no snippet shows it: each statement
below must still be on its page, and the system must still do what it
says (the exception it raises, the code it answers)."""
import threading
import time

import numpy as np
import pytest

import _tarn_edge_310
import _tarn_receive_310
import tarn_base_310 as tb
import tarn_edge_310 as te
import tarn_receive_310 as tr
from support import ROOT, needs_netns
from support.softcamera import NumpySource, SoftCamera, loopback_mac

pytestmark = needs_netns()


def outcome(call):
    """The type name of what call() raises, else the code of the result it
    answers (alone or first)."""
    try:
        result = call()
    except Exception as error:
        return type(error).__name__
    result = result[0] if isinstance(result, (tuple, list)) else result
    return result.GetCodeString() if hasattr(result, "GetCodeString") else result


@pytest.fixture(scope="module")
def camera():
    with SoftCamera(61, width=64, height=8) as running:
        yield running


@pytest.fixture(scope="module")
def device(camera):
    result, connected = tr.ZuDevice.CreateAndConnect(camera.address)
    assert result.IsOK(), result.GetDescription()
    yield connected
    tr.ZuDevice.Free(connected)


class FailingLog(tb.ZuLogSink):
    def Log(self, *args):
        raise ValueError("no log")


def log_with_a_failing_sink():
    sink = FailingLog()
    try:
        return tb.ZuLogger("claims").LogError("f", 1, "g", "m")
    finally:
        type(sink).__swig_destroy__(sink)


class FailingCreation(te.IZuVirtualDeviceGEVEventSink):
    def OnCreateCustomRegisters(self, *args):
        raise ValueError("no registers")


class NegativeWidth(NumpySource):
    def GetWidth(self):
        return -5


def start_camera(n, source, sink=None):
    camera = te.ZuSoftDeviceGEV()
    camera.AddStream(source)
    if sink:
        camera.RegisterEventSink(sink)
    try:
        return camera.Start(loopback_mac(n))
    finally:
        camera.Stop()


class FailingStart(tr.ZuPipelineEventSink):
    def OnStart(self, pipeline):
        raise ValueError("no start")


def start_pipeline_with_a_failing_sink(camera):
    result, stream = tr.ZuStream.CreateAndOpen(camera.address)
    assert result.IsOK()
    pipeline, sink = tr.ZuPipeline(stream), FailingStart()
    pipeline.RegisterEventSink(sink)
    try:
        return pipeline.Start()
    finally:
        pipeline.Stop()
        pipeline.UnregisterEventSink(sink)
        del pipeline
        tr.ZuStream.Free(stream)


def retrieve_beside_a_waiting_thread():
    """What a retrieve answers while another thread waits on the stream."""
    stream = tr.ZuStreamRTP()
    stream.PrepareFor(8, 2, tr.ZuPixelMono8)
    assert stream.Open("127.0.0.1", 5006).IsOK()
    buffer = tb.ZuBuffer()
    buffer.Alloc(16)
    stream.QueueBuffer(buffer)
    waiters = []
    try:
        # Until the other thread is inside its wait: a retrieve of no
        # time-out answers at once either way. A waiter that came while this
        # thread's retrieve was under way was answered BUSY itself and is
        # gone: another one waits.
        for _ in range(500):
            if not waiters or not waiters[-1].is_alive():
                waiters.append(threading.Thread(target=stream.RetrieveBuffer, args=(20000,)))
                waiters[-1].start()
            answer = outcome(lambda: stream.RetrieveBuffer(0))
            if answer != "TIMEOUT":
                return answer
            time.sleep(0.01)
        return answer
    finally:
        stream.AbortQueuedBuffers()
        for waiter in waiters:
            waiter.join()
        stream.Close()


def image_attach_too_small():
    return tb.ZuBuffer().GetImage().Attach(np.zeros((2, 64), np.uint8), tb.ZuPixelRGB8)


def convert_into_no_pixel_type():
    source = tb.ZuBuffer()
    source.GetImage().Alloc(8, 2, tb.ZuPixelMono8)
    return tr.ZuBufferConverter().Convert(source, tb.ZuBuffer())


# (page, what it says, a check given the module's fixtures, its outcome)
CLAIMS = [
    ("threads.md", "`ZuLogger`'s `LogError`", lambda get: log_with_a_failing_sink(), "RuntimeError"),
    ("python.md", "a software camera's `Start` (its creation callbacks",
     lambda get: start_camera(62, NumpySource(width=64, height=8), FailingCreation()), "RuntimeError"),
    ("threads.md", "such as OverflowError for a negative width",
     lambda get: start_camera(63, NegativeWidth(width=64, height=8)), "OverflowError"),
    ("streams.md", "`OnReset` it is raised as RuntimeError from `Start`",
     lambda get: start_pipeline_with_a_failing_sink(get("camera")), "RuntimeError"),
    ("streams.md", "`ZU_BUSY` while another thread already waits on the same stream",
     lambda get: retrieve_beside_a_waiting_thread(), "BUSY"),
    ("softcamera.md", "after `Start` it answers `ZU_STATE_ERROR`",
     lambda get: get("camera").device.SetUserSetCount(1), "STATE_ERROR"),
    ("genicam.md", 'AttributeError "No constructor defined - class is abstract"',
     lambda get: tr.ZuGenEventSink(), "AttributeError"),
    ("device.md", "a byte count beyond 2**31-1 raises OverflowError",
     lambda get: get("device").ReadMemory(0, 2**31), "OverflowError"),
    ("scope.md", "refuse iteration with TypeError", lambda get: list(get("device").GetParameters()), "TypeError"),
    ("buffers.md", "elements that do not convert to uint8 safely raise TypeError",
     lambda get: tb.ZuBuffer().Attach(np.zeros(4, np.uint16)), "TypeError"),
    ("buffers.md", "holds fewer bytes than the image needs returns `ZU_BUFFER_TOO_SMALL`",
     lambda get: image_attach_too_small(), "BUFFER_TOO_SMALL"),
    ("conversion.md", "A destination without a pixel type answers `ZU_INVALID_PARAMETER`",
     lambda get: convert_into_no_pixel_type(), "INVALID_PARAMETER"),
    ("transmitter.md", "`AddTransmitterGEV(None)` answers `ZU_INVALID_PARAMETER`",
     lambda get: te.ZuVirtualDeviceGEV().AddTransmitterGEV(None), "INVALID_PARAMETER"),
]


@pytest.mark.parametrize("page, phrase, check, expected", CLAIMS, ids=[f"{c[0]}: {c[1]}" for c in CLAIMS])
def test_a_page_says_what_the_system_does(page, phrase, check, expected, request):
    assert phrase in " ".join((ROOT / "docs" / page).read_text().split()), f"{page} no longer says it"
    assert outcome(lambda: check(request.getfixturevalue)) == expected


# The line a failing override prints, as python.md shows it for each module.
FAILURE_LINES = [
    (_tarn_edge_310, te.IZuSWStreamingChannelSource, "RetrieveBuffer",
     "In method 'RetrieveBuffer': ValueError: no frame"),
    (_tarn_receive_310, tr.ZuPipelineEventSink, "OnBufferReady", "In method 'OnBufferReady': ValueErrorno frame"),
]


@pytest.mark.parametrize("raw, base, method, line", FAILURE_LINES, ids=[c[2] for c in FAILURE_LINES])
def test_a_failing_override_prints_the_line_the_page_shows(capfd, raw, base, method, line):
    assert f"`{line}`" in " ".join((ROOT / "docs" / "python.md").read_text().split())

    def fails(self, *args):
        raise ValueError("no frame")

    failing = type("Failing", (base,), {method: fails})()
    # Through the bare pointer object the call is the virtual one the SDK
    # makes, so it reaches the override through the director.
    with pytest.raises(RuntimeError):
        getattr(raw, f"{base.__name__}_{method}")(failing.this, None)
    assert capfd.readouterr().out == line + "\n"
