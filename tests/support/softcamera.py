"""A software camera fed from Python with NumPy frames, for tests, the demo
and the benchmark: a channel source whose frames are made by a function of
the frame number, and helpers that add it to a started device."""
import queue
import threading
import time

import numpy as np

import tarn_base_310 as tb
import tarn_edge_310 as te


def pattern(number, height, width):
    """Frame `number`: every byte a function of its place and the number."""
    rows = np.arange(height, dtype=np.uint32)[:, None]
    cols = np.arange(width, dtype=np.uint32)[None, :]
    return ((rows * 7 + cols * 3 + number * 11) & 0xFF).astype(np.uint8)


class NumpyFrames:
    """The image side of a source of one pixel type (Mono8 unless told):
    each queued buffer is filled with the next frame. Mixed into a
    channel-source proxy class, whose constructor gets `base` (for a
    ready-made source, its arguments)."""

    def __init__(self, width=64, height=48, buffers=8, frame=pattern, fps=None, base=(), pixel=te.ZuPixelMono8):
        super().__init__(*base)
        self.pixel = pixel
        # At most this many frames a second (None: as fast as retrieved), for
        # receivers slower than the camera.
        self.period = 1.0 / fps if fps else 0.0
        self.next_at = 0.0
        self.width, self.height, self.count = width, height, buffers
        self.frame = frame
        self.buffers = []           # given to the device
        self.freed = []             # given back by it
        self.queued = queue.Queue()
        self.number = 0
        self.aborted = False
        self.sent = []              # (block id assigned later, frame number)
        self.calls = []
        self.lock = threading.Lock()

    # Description.
    def GetWidth(self): return self.width
    def GetHeight(self): return self.height
    def GetOffsetX(self): return 0
    def GetOffsetY(self): return 0
    def GetPixelType(self): return self.pixel
    def GetWidthInfo(self): return (1, self.width, 1)
    def GetHeightInfo(self): return (1, self.height, 1)
    def GetChunksSize(self): return 0
    def GetPayloadSize(self): return 0
    def GetScanType(self): return te.ZuScanTypeArea
    def GetChunkModeActive(self): return False
    def GetChunkEnable(self, chunk): return False
    def GetSupportedPixelType(self, index):
        return (te.ZU_OK, self.pixel) if index == 0 else (te.ZU_INVALID_PARAMETER, 0)
    def GetSupportedChunk(self, index): return (te.ZU_INVALID_PARAMETER, 0, "")
    def SetWidth(self, value): self.width = value; return te.ZU_OK
    def SetHeight(self, value): self.height = value; return te.ZU_OK
    def SetOffsetX(self, value): return te.ZU_OK if value == 0 else te.ZU_GENERIC_ERROR
    def SetOffsetY(self, value): return te.ZU_OK if value == 0 else te.ZU_GENERIC_ERROR
    def SetPixelType(self, value): return te.ZU_OK if value == self.pixel else te.ZU_GENERIC_ERROR
    def SetChunkModeActive(self, value): return te.ZU_OK
    def SetChunkEnable(self, chunk, value): return te.ZU_OK
    def OnOpen(self, ip, port): self.calls.append(("OnOpen", str(ip), port))
    def OnClose(self): self.calls.append(("OnClose",))
    def OnStreamingStart(self):
        self.calls.append(("OnStreamingStart",))
        self.aborted = False
    def OnStreamingStop(self): self.calls.append(("OnStreamingStop",))

    # Buffers.
    def AllocBuffer(self):
        if len(self.buffers) >= self.count:
            return None
        buffer = tb.ZuBuffer()
        buffer.GetImage().Alloc(self.width, self.height, self.pixel)
        self.buffers.append(buffer)
        return buffer

    def FreeBuffer(self, buffer):
        self.calls.append(("FreeBuffer",))
        for mine in self.buffers:
            if int(mine.this) == int(buffer.this):
                self.buffers.remove(mine)
                self.freed.append(mine)
                break

    def GetTxNumBuffersToUse(self):
        return (te.ZU_NOT_IMPLEMENTED, 0)

    def QueueBuffer(self, buffer):
        self.queued.put(buffer)
        return te.ZU_OK

    def RetrieveBuffer(self, slot):
        if self.aborted:
            # Aborted buffers go back as they are: no frame is made for them.
            try:
                return (te.ZU_ABORTED, self.queued.get_nowait())
            except queue.Empty:
                return (te.ZU_TIMEOUT, None)
        if self.period:
            now = time.monotonic()
            if now < self.next_at:
                time.sleep(min(self.next_at - now, 0.02))
                return (te.ZU_TIMEOUT, None)
            self.next_at = max(self.next_at + self.period, now)
        try:
            buffer = self.queued.get(timeout=0.02)
        except queue.Empty:
            return (te.ZU_TIMEOUT, None)
        self.fill(buffer, self.number)
        with self.lock:
            self.sent.append(self.number)
            self.number += 1
        return (te.ZU_OK, buffer)

    def AbortQueuedBuffers(self):
        self.aborted = True

    def fill(self, buffer, number):
        """Writes frame `number` into a buffer about to be sent."""
        buffer.GetImage().GetDataPointer()[...] = self.frame(number, self.height, self.width)


class NumpySource(NumpyFrames, te.IZuSWStreamingChannelSource):
    """A Mono8 source fed from NumPy."""


class PaddedSource(NumpySource):
    """A source whose images have three pixels of padding after each line,
    set to 0xEE: a sender that took them for bytes would shift the lines."""

    def AllocBuffer(self):
        buffer = super().AllocBuffer()
        if buffer is not None:
            assert buffer.GetImage().Alloc(self.width, self.height, self.pixel, 3, 0).IsOK()
        return buffer

    def fill(self, buffer, number):
        view = buffer.GetImage().GetDataPointer()
        view[:, :self.width] = self.frame(number, self.height, self.width)
        view[:, self.width:] = np.iinfo(view.dtype).max // 0xFF * 0xEE   # every byte 0xEE


def second_part(number, height, width):
    """The second part of multi-part frame `number`: Mono16 values."""
    rows = np.arange(height, dtype=np.uint32)[:, None]
    cols = np.arange(width, dtype=np.uint32)[None, :]
    return ((rows * 257 + cols * 31 + number * 1009) & 0xFFFF).astype(np.uint16)


class MultiPartSource(NumpySource):
    """A source that offers multi-part blocks: while the controller allows
    them, each frame is two parts, the Mono8 image and a Mono16 confidence
    map of half its size (`second_part`); otherwise the image alone. `told`
    keeps what the device told it."""

    def __init__(self, **frames):
        super().__init__(**frames)
        self.allowed = False
        self.told = []

    def IsPayloadTypeSupported(self, payload):
        return payload == te.ZuPayloadTypeMultiPart

    def SetMultiPartAllowed(self, allowed):
        self.told.append(("SetMultiPartAllowed", allowed))
        self.allowed = allowed

    def SetLargeLeaderTrailerEnabled(self, enabled, parts):
        self.told.append(("SetLargeLeaderTrailerEnabled", enabled, parts))

    def SetTestPayloadFormatMode(self, payload):
        self.told.append(("SetTestPayloadFormatMode", payload))
        return te.ZU_OK

    def GetPayloadSize(self):
        if not self.allowed:
            return 0
        return self.width * self.height + (self.width // 2) * (self.height // 2) * 2

    def fill(self, buffer, number):
        if not self.allowed:
            if buffer.GetPayloadType() != tb.ZuPayloadTypeImage:
                buffer.Reset(tb.ZuPayloadTypeImage)
                buffer.GetImage().Alloc(self.width, self.height, self.pixel)
            return super().fill(buffer, number)
        buffer.Reset(tb.ZuPayloadTypeMultiPart)
        parts = buffer.GetMultiPartContainer()
        assert parts.AddImagePart(tb.ZuMultiPart2DImage, self.width, self.height, tb.ZuPixelMono8).IsOK()
        assert parts.AddImagePart(tb.ZuMultiPartConfidenceMap, self.width // 2, self.height // 2,
                                  tb.ZuPixelMono16).IsOK()
        assert parts.AllocAllParts().IsOK()
        for index, values in enumerate((self.frame(number, self.height, self.width),
                                        second_part(number, self.height // 2, self.width // 2))):
            parts.GetPart(index).GetDataPointer().reshape(-1).view(np.uint8)[:] = values.reshape(-1).view(np.uint8)


class TriggeredSource(NumpyFrames, te.ZuStreamingChannelSourceTrigger):
    """A Mono8 source under trigger control: a frame-start and an
    acquisition-start selector, the software and one user source, and a
    callback per selector that records (selector name, thread id)."""

    def __init__(self, base_address=0x20000, channel=0, **frames):
        super().__init__(base=(channel, base_address), **frames)
        self.triggered = []
        self.selectors = {te.TRIGGER_SELECTOR_FRAMESTART: te.ZuTriggerSelectorFrameStart(),
                          te.TRIGGER_SELECTOR_ACQUISITIONSTART: te.ZuTriggerSelectorAcquisitionStart()}
        self.callback = TriggerRecorder(self.triggered)
        for index, selector in self.selectors.items():
            self.AddSelector(index, selector)
            self.AddSelectorTriggerCallback(index, self.callback)
        self.AddSource(te.TRIGGER_SOURCE_SOFTWARE, "Software")
        self.AddSource(te.TRIGGER_SOURCE_USER, "Line1")
        self.queue_threads = set()

    # The source's own steps run too: they arm and stop the selectors.
    def OnStreamingStart(self):
        NumpyFrames.OnStreamingStart(self)
        te.ZuStreamingChannelSourceTrigger.OnStreamingStart(self)

    def OnStreamingStop(self):
        NumpyFrames.OnStreamingStop(self)
        te.ZuStreamingChannelSourceTrigger.OnStreamingStop(self)

    def QueueBuffer(self, buffer):
        self.queue_threads.add(threading.get_ident())
        return NumpyFrames.QueueBuffer(self, buffer)


class TriggerRecorder(te.IZuTriggerCallback):
    def __init__(self, calls):
        super().__init__()
        self.calls = calls

    def TriggerCallbackMethod(self, selector):
        self.calls.append((selector.GetName(), threading.get_ident()))


class PassingSource(te.ZuStreamingChannelSourceDefault):
    """The default source's own buffers, each handed back as soon as it is
    queued: only the queue is in Python."""

    def __init__(self, *args):
        super().__init__(*args)
        self.waiting = []

    def QueueBuffer(self, buffer):
        self.waiting.append(buffer)
        return te.ZU_OK

    def RetrieveBuffer(self, slot):
        if not self.waiting:
            return (te.ZU_TIMEOUT, None)
        return (te.ZU_OK, self.waiting.pop(0))


def loopback_mac(n):
    """The MAC that puts a software camera on 127.0.0.n."""
    return "02:00:7F:00:00:%02X" % n


class SoftCamera:
    """A started software camera with a NumPy source on 127.0.0.n, in this
    process; stopped on leaving."""

    def __init__(self, n, kind=None, tcp=False, **source):
        self.address = "127.0.0.%d" % n
        self.source = (kind or NumpySource)(**source)
        self.device = te.ZuSoftDeviceGEV()
        assert self.device.AddStream(self.source).IsOK()
        if tcp:
            assert self.device.SetTCPTransportEnabled(True).IsOK()
        result = self.device.Start(loopback_mac(n))
        assert result.IsOK(), result.GetDescription()

    def stop(self):
        self.device.Stop()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
