"""The whole road on one machine: software cameras fed from Python, found by
ZuSystem.Find, connected and controlled with the receiving module, their
features read and written through its node map, their frames received by
ZuStream and ZuPipeline into NumPy, their events heard by its event sink."""
import time

import numpy as np
import pytest

import tarn_base_310 as tb  # registers the information classes too
import tarn_edge_310 as te
from support import needs_netns
from support.rtpcamera import rgb_pattern
from support.softcamera import MultiPartSource, NumpySource, PaddedSource, SoftCamera, pattern, second_part

tr = pytest.importorskip("tarn_receive_310")
m = tr._tarn_receive_310
if not all(hasattr(m, f) for f in ("ZuDevice_CreateAndConnect", "ZuStream_CreateAndOpen", "new_ZuPipeline")):
    pytest.skip("the receiving module has no device or stream yet", allow_module_level=True)

from support.receiving import Events, connect_and_open  # noqa: E402  (once the module is known there)

pytestmark = needs_netns()


class Received:
    """A camera connected, its stream and pipeline running, then let go."""

    def __init__(self, camera, buffers=16, prepare=None):
        self.system, self.device, self.params, self.stream = connect_and_open(camera.address)
        if prepare:
            prepare(self.params)
        self.pipeline = m.new_ZuPipeline(self.stream)
        m.ZuPipeline_SetBufferSize(self.pipeline, self.params.GetIntegerValue("PayloadSize")[1])
        m.ZuPipeline_SetBufferCount(self.pipeline, buffers)
        assert m.ZuPipeline_Start(self.pipeline).IsOK()

    def dropped(self):
        """Frames let go because Python fell behind: those the pipeline
        dropped, and those that came while the pipeline, behind as well,
        had given the stream no buffer to receive them in."""
        params = m.ZuStream_GetParameters(self.stream)
        return sum(params.GetIntegerValue(name)[1] for name in ("PipelineImagesDropped", "BlocksDropped"))

    def frames(self, count, height, width):
        """(block id, pixels) of count frames, each pixel array a copy, and
        how many frames the pipeline dropped meanwhile."""
        dropped = self.dropped()
        assert self.params.SetIntegerValue("TLParamsLocked", 1).IsOK()
        assert self.params.ExecuteCommand("AcquisitionStart").IsOK()
        out = []
        while len(out) < count:
            result, buffer, operation = m.ZuPipeline_RetrieveNextBuffer(self.pipeline, 5000)
            assert result.IsOK(), result.GetCodeString()
            if operation.IsOK():
                image = buffer.GetImage()
                assert (image.GetWidth(), image.GetHeight()) == (width, height)
                out.append((buffer.GetBlockID(), np.array(image.GetDataPointer())))
            m.ZuPipeline_ReleaseBuffer(self.pipeline, buffer)
        assert self.params.ExecuteCommand("AcquisitionStop").IsOK()
        self.params.SetIntegerValue("TLParamsLocked", 0)
        return out, self.dropped() - dropped

    def close(self):
        m.ZuPipeline_Stop(self.pipeline)
        m.delete_ZuPipeline(self.pipeline)
        m.ZuStream_Free(self.stream)
        tr.ZuDevice.Free(self.device)


def check(received, height, width):
    # A slow consumer (a loaded machine, a sanitizer build) may make the
    # pipeline and the stream drop frames, which they count; any other gap
    # is a lost frame.
    frames, dropped = received
    ids = [block for block, _ in frames]
    assert ids == sorted(set(ids)), "frames out of order or repeated"
    assert ids[-1] - ids[0] + 1 - len(ids) <= dropped, "a frame was lost"
    for block, pixels in frames:
        assert np.array_equal(pixels, pattern(block - 1, height, width)), block


def test_frames_features_and_events_through_the_receiving_module():
    with SoftCamera(80, width=96, height=64, fps=1000) as camera:
        camera.device.GetInfo().SetModelName("RigCam")
        rx = Received(camera)
        try:
            assert rx.params.GetStringValue("DeviceModelName")[1] == "RigCam"
            assert rx.params.GetIntegerValue("PayloadSize")[1] == 96 * 64
            # A feature written through the node map reaches the Python source.
            assert rx.params.SetIntegerValue("Width", 64).IsOK()
            assert camera.source.width == 64
            assert rx.params.SetIntegerValue("Width", 96).IsOK()
            sink = Events()
            assert rx.device.RegisterEventSink(sink).IsOK()
            frames = rx.frames(300, 64, 96)
            check(frames, 64, 96)
            channel = camera.device.GetMessagingChannel()
            assert channel.FireEvent(0x9004, bytes(range(8)), 42, 0).IsOK()
            for _ in range(500):
                if sink.events:
                    break
                time.sleep(0.01)
            assert sink.events and sink.events[0][:3] == (0x9004, 0, 42)
            assert sink.events[0][3][:8] == bytes(range(8))
            rx.device.UnregisterEventSink(sink)
        finally:
            rx.close()


def test_two_cameras_at_once():
    with SoftCamera(81, width=64, height=32, fps=1000) as a, SoftCamera(82, width=32, height=48, fps=1000) as b:
        receivers = [Received(a), Received(b)]
        try:
            check(receivers[0].frames(200, 32, 64), 32, 64)
            check(receivers[1].frames(200, 48, 32), 48, 32)
        finally:
            for rx in receivers:
                rx.close()


@pytest.mark.parametrize("pixel, make", [(te.ZuPixelRGB8, rgb_pattern),
                                         (te.ZuPixelMono16, lambda n, h, w: pattern(n, h, w).astype(np.uint16) * 257)],
                         ids=["RGB8", "Mono16"])
def test_padded_images_arrive_with_their_padding_where_it_was(pixel, make):
    # The leader tells a line's padding in bytes: three pixels are nine bytes
    # of RGB8, six of Mono16; told as three, each line after the first would
    # be shifted (or the block refused).
    with SoftCamera(79, kind=PaddedSource, width=40, height=16, fps=200, pixel=pixel, frame=make) as camera:
        rx = Received(camera, buffers=4)
        try:
            assert rx.params.SetIntegerValue("TLParamsLocked", 1).IsOK()
            assert rx.params.ExecuteCommand("AcquisitionStart").IsOK()
            seen = 0
            for _ in range(100):
                result, buffer, operation = m.ZuPipeline_RetrieveNextBuffer(rx.pipeline, 5000)
                assert result.IsOK(), result.GetCodeString()
                if operation.IsOK():
                    image = buffer.GetImage()
                    assert (image.GetWidth(), image.GetHeight(), image.GetPaddingX()) == (40, 16, 3)
                    view = image.GetDataPointer()
                    assert np.array_equal(view[:, :40], make(buffer.GetBlockID() - 1, 16, 40))
                    assert (view[:, 40:] == np.iinfo(view.dtype).max // 0xFF * 0xEE).all()
                    seen += 1
                m.ZuPipeline_ReleaseBuffer(rx.pipeline, buffer)
                if seen == 3:
                    break
            assert rx.params.ExecuteCommand("AcquisitionStop").IsOK()
            assert seen == 3
        finally:
            rx.close()


def test_multi_part_frames_from_a_python_source_through_the_receiving_module():
    """A source that supports multi-part is offered it: the controller
    allows it through GevSCCFGMultiPartEnabled and gets each frame's two
    parts whole; the settings reach the source as they change."""
    def allow(params):
        assert params.SetBooleanValue("GevSCCFGMultiPartEnabled", True).IsOK()
        assert params.SetBooleanValue("GevSCCFGLargeLeaderTrailerEnabled", True).IsOK()

    with SoftCamera(83, kind=MultiPartSource, width=64, height=48, fps=500) as camera:
        rx = Received(camera, prepare=allow)
        try:
            # Leaders of 1500 bytes hold (1500 - 28 - 20 - 12) // 48 parts.
            assert camera.source.told == [("SetMultiPartAllowed", True), ("SetLargeLeaderTrailerEnabled", True, 30)]
            assert rx.params.GetIntegerValue("PayloadSize")[1] == 64 * 48 + 32 * 24 * 2
            assert rx.params.SetEnumValue("TestPayloadFormatMode", "MultiPart")[0].IsOK()
            assert camera.source.told[-1] == ("SetTestPayloadFormatMode", te.ZuPayloadTypeMultiPart)
            assert rx.params.SetEnumValue("TestPayloadFormatMode", "Off")[0].IsOK()
            assert rx.params.SetIntegerValue("TLParamsLocked", 1).IsOK()
            assert rx.params.ExecuteCommand("AcquisitionStart").IsOK()
            seen = 0
            while seen < 20:
                result, buffer, operation = m.ZuPipeline_RetrieveNextBuffer(rx.pipeline, 5000)
                assert result.IsOK(), result.GetCodeString()
                if operation.IsOK():
                    assert buffer.GetPayloadType() == tb.ZuPayloadTypeMultiPart
                    parts = buffer.GetMultiPartContainer()
                    assert parts.GetPartCount() == 2
                    number = buffer.GetBlockID() - 1
                    for index, want in enumerate((pattern(number, 48, 64), second_part(number, 24, 32))):
                        got = parts.GetPart(index).GetDataPointer().reshape(-1).view(np.uint8)
                        assert np.array_equal(got[:want.nbytes], want.reshape(-1).view(np.uint8)), (number, index)
                    seen += 1
                m.ZuPipeline_ReleaseBuffer(rx.pipeline, buffer)
            assert rx.params.ExecuteCommand("AcquisitionStop").IsOK()
        finally:
            rx.close()
        # The controller's leaving takes its settings with it (on the
        # camera's control thread, after its answer).
        left = [("SetMultiPartAllowed", False), ("SetLargeLeaderTrailerEnabled", False, 10)]
        deadline = time.monotonic() + 10
        while camera.source.told[-2:] != left and time.monotonic() < deadline:
            time.sleep(0.01)
        assert camera.source.told[-2:] == left, camera.source.told


class SlowSource(NumpySource):
    """A source whose every RetrieveBuffer takes `delay` seconds, as one
    waiting for a slow grabber; it notes its calls in order."""

    def __init__(self, delay=2.0, **frames):
        super().__init__(**frames)
        self.delay = delay
        self.log = []

    def RetrieveBuffer(self, slot):
        self.log.append("RetrieveBuffer")
        time.sleep(self.delay)
        return super().RetrieveBuffer(slot)

    def AbortQueuedBuffers(self):
        self.log.append("AbortQueuedBuffers")
        super().AbortQueuedBuffers()

    def OnStreamingStop(self):
        self.log.append("OnStreamingStop")
        super().OnStreamingStop()


@pytest.mark.parametrize("stop", ["AcquisitionStop", "Stop"])
def test_a_stop_waits_for_the_slow_sources_up_call_in_progress_and_no_more(stop):
    """The controller's AcquisitionStop stays alive (PENDING_ACK) while the
    up-call in progress ends, and the source is not asked for its aborted
    buffers one slow up-call after another: it keeps them."""
    with SoftCamera(84, kind=SlowSource, width=32, height=16) as camera:
        rx = Received(camera)
        try:
            assert rx.params.ExecuteCommand("AcquisitionStart").IsOK()
            log = camera.source.log
            for _ in range(1000):
                if log:
                    break
                time.sleep(0.01)
            if stop == "AcquisitionStop":
                # One try that waits 1.1 s after the first PENDING_ACK: only
                # the ones that follow keep it alive through the 2 s up-call.
                comm = rx.device.GetCommunicationParameters()
                assert comm.SetIntegerValue("AnswerTimeout", 100).IsOK()
                assert comm.SetIntegerValue("CommandRetryCount", 0).IsOK()
                result = rx.params.ExecuteCommand("AcquisitionStop")
                assert result.IsOK(), result.GetDescription()
                assert comm.SetIntegerValue("AnswerTimeout", 500).IsOK()
                assert comm.SetIntegerValue("CommandRetryCount", 3).IsOK()
            else:
                assert camera.device.Stop().IsOK()
            for _ in range(3000):
                if "OnStreamingStop" in log:
                    break
                time.sleep(0.01)
            aborted = log.index("AbortQueuedBuffers")
            assert log[aborted:] == ["AbortQueuedBuffers", "OnStreamingStop"]
        finally:
            rx.close()
