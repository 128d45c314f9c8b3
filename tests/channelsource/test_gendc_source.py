"""The GenDC channel source: its bindings' texts and shapes, and on the
wire, a Python source whose containers arrive with every component and
part intact, read back by the base module's container reader."""
import queue
import struct

import numpy as np
import pytest

import tarn_base_310 as tb
import tarn_edge_310 as te
from support import error_of, needs_netns
from support.controller import (CHANNEL_BASE, PAYLOAD_SIZE, Controller, GvcpError, StreamReceiver, open_stream,
                                start_acquisition, stop_acquisition)
from support.softcamera import loopback_mac

m = te._tarn_edge_310
GENDC_MODE = CHANNEL_BASE + 0x40
WIDTH, HEIGHT, META = 24, 10, 40


class Empty(te.IZuSWStreamingChannelSourceGenDC):
    pass


class Modes(te.IZuSWStreamingChannelSourceGenDC):
    def __init__(self, answer=True, result=0):
        super().__init__()
        self.answer, self.result, self.seen = answer, result, []

    def GetGenDCStreamingMode(self):
        return self.answer

    def SetGenDCStreamingMode(self, enabled):
        self.seen.append(enabled)
        return self.result

    def AssignGenDCManager(self, manager):
        self.seen.append(manager)


def test_argument_texts_and_up_calls():
    source = Modes()
    f = "IZuSWStreamingChannelSourceGenDC_"
    assert error_of(m.IZuSWStreamingChannelSourceGenDC_SetGenDCStreamingMode, source, 1) == (
        TypeError, f"in method '{f}SetGenDCStreamingMode', argument 2 of type 'bool'")
    assert error_of(m.IZuSWStreamingChannelSourceGenDC_GetGenDCStreamingMode, te.ZuTriggerSelectorDefault()) == (
        TypeError, f"in method '{f}GetGenDCStreamingMode', argument 1 of type 'IZuSWStreamingChannelSourceGenDC const *'")
    assert error_of(m.IZuSWStreamingChannelSourceGenDC_AssignGenDCManager, source, 5) == (
        TypeError, f"in method '{f}AssignGenDCManager', argument 2 of type 'IZuGenDCManager *'")
    # The subclass's own object calling the pure base is an up-call.
    for name in ("AssignGenDCManager", "SetupGenDCContainer", "GetGenDCStreamingMode", "SetGenDCStreamingMode"):
        args = {"AssignGenDCManager": (None,), "SetGenDCStreamingMode": (True,)}.get(name, ())
        assert error_of(getattr(m, f + name), source, *args) == (
            RuntimeError, f"SWIG director pure virtual method called IZuSWStreamingChannelSourceGenDC::{name}")
    assert error_of(m.new_IZuSWStreamingChannelSourceGenDC, None) == (
        RuntimeError, "accessing abstract class or protected constructor")
    assert m.IZuSWStreamingChannelSourceGenDC_AssignGenDCManager.__doc__.lstrip().startswith(
        "Assigns the GenDC manager to the streaming channel source.")
    assert m.IZuSWStreamingChannelSourceGenDC_SetupGenDCContainer.__doc__.lstrip().startswith(
        "Sets up the GenDC container before device initialization.")


def test_the_director_checks_what_python_answers():
    # Through the pointer object the call reaches the override.
    assert m.IZuSWStreamingChannelSourceGenDC_GetGenDCStreamingMode(Modes(True).this) is True
    assert m.IZuSWStreamingChannelSourceGenDC_GetGenDCStreamingMode(Modes(False).this) is False
    assert error_of(m.IZuSWStreamingChannelSourceGenDC_GetGenDCStreamingMode, Modes(1).this) == (
        TypeError, "SWIG director type mismatch in output value of type 'bool'")
    for answer, code in ((0, 0), (-1, 0xFFFFFFFF), (te.ZU_NOT_IMPLEMENTED, te.ZU_NOT_IMPLEMENTED)):
        source = Modes(result=answer)
        r = m.IZuSWStreamingChannelSourceGenDC_SetGenDCStreamingMode(source.this, False)
        assert r.GetCode() == code and source.seen == [False]
    for bad in (2 ** 31, None, "0"):
        assert error_of(m.IZuSWStreamingChannelSourceGenDC_SetGenDCStreamingMode, Modes(result=bad).this, True) == (
            TypeError, "SWIG director type mismatch in method SetGenDCStreamingMode with output value of type 'ZuResult'")
    source = Modes()
    m.IZuSWStreamingChannelSourceGenDC_AssignGenDCManager(source.this, None)
    assert source.seen == [None]


def test_a_missing_override_prints_its_line_and_fails_the_call(capfd):
    source = Empty()
    error = error_of(m.IZuSWStreamingChannelSourceGenDC_SetupGenDCContainer, source.this)
    assert error == (RuntimeError, "SWIG director method error. In method 'SetupGenDCContainer': RuntimeError: "
                     "SWIG director pure virtual method called IZuSWStreamingChannelSourceGenDC::SetupGenDCContainer")
    assert "In method 'SetupGenDCContainer': RuntimeError" in capfd.readouterr().out


def test_disown_takes_one_reference():
    import sys
    source = Modes()
    before = sys.getrefcount(source)
    m.disown_IZuSWStreamingChannelSourceGenDC(source)
    m.disown_IZuSWStreamingChannelSourceGenDC(source)
    assert sys.getrefcount(source) == before + 1


# ---- On the wire

def frame(number):
    rows = np.arange(HEIGHT, dtype=np.uint32)[:, None]
    cols = np.arange(WIDTH, dtype=np.uint32)[None, :]
    return ((rows * 5 + cols * 3 + number * 13) & 0xFF).astype(np.uint8)


def metadata(number):
    return ((np.arange(META, dtype=np.uint32) * 7 + number) & 0xFF).astype(np.uint8)


class GenDCSource(te.IZuSWStreamingChannelSourceGenDC):
    """An intensity image and a metadata part per container."""

    def __init__(self, buffers=6):
        super().__init__()
        self.order = []
        self.manager = None
        self.mode = True
        self.count = buffers
        self.buffers = []
        self.queued = queue.Queue()
        self.number = 0
        self.aborted = False

    def AssignGenDCManager(self, manager):
        self.order.append("AssignGenDCManager")
        self.manager = manager

    def SetupGenDCContainer(self):
        self.order.append("SetupGenDCContainer")
        container = self.manager.GetGenDC()
        image = container.GetComponent(container.AddComponent(tb.ZuComponentIntensity))
        part = image.GetPart(image.AddPart(tb.ZuGenDCPart2D, 0))
        header = part.Get2DHeader()
        header.SizeX, header.SizeY, header.Format = WIDTH, HEIGHT, tb.ZuPixelMono8
        header.DataSize = WIDTH * HEIGHT
        meta = container.GetComponent(container.AddComponent(tb.ZuComponentMetadata))
        part = meta.GetPart(meta.AddPart(tb.ZuGenDCPart1D, 0))
        part.GetMutableHeader().DataSize = META

    def GetGenDCStreamingMode(self): return self.mode
    def SetGenDCStreamingMode(self, enabled):
        self.order.append(("SetGenDCStreamingMode", enabled))
        self.mode = enabled
        return te.ZU_OK

    def GetWidth(self): return WIDTH
    def GetHeight(self): return HEIGHT
    def GetOffsetX(self): return 0
    def GetOffsetY(self): return 0
    def GetPixelType(self): return te.ZuPixelMono8
    def GetWidthInfo(self): return (WIDTH, WIDTH, 1)
    def GetHeightInfo(self): return (HEIGHT, HEIGHT, 1)
    def GetChunksSize(self): return 0
    def GetPayloadSize(self): return WIDTH * HEIGHT
    def GetScanType(self): return te.ZuScanTypeArea
    def GetChunkModeActive(self): return False
    def GetChunkEnable(self, chunk): return False
    def GetSupportedPixelType(self, index):
        return (te.ZU_OK, te.ZuPixelMono8) if index == 0 else (te.ZU_INVALID_PARAMETER, 0)
    def GetSupportedChunk(self, index): return (te.ZU_INVALID_PARAMETER, 0, "")
    def SetWidth(self, value): return te.ZU_OK
    def SetHeight(self, value): return te.ZU_OK
    def SetOffsetX(self, value): return te.ZU_OK
    def SetOffsetY(self, value): return te.ZU_OK
    def SetPixelType(self, value): return te.ZU_OK
    def SetChunkModeActive(self, value): return te.ZU_OK
    def SetChunkEnable(self, chunk, value): return te.ZU_OK
    def OnOpen(self, ip, port): pass
    def OnClose(self): pass
    def OnStreamingStart(self): self.aborted = False
    def OnStreamingStop(self): pass

    def AllocBuffer(self):
        if len(self.buffers) >= self.count:
            return None
        self.order.append("AllocBuffer")
        buffer = tb.ZuBuffer()
        buffer.Reset(tb.ZuPayloadTypeGenDC)
        assert buffer.AttachGenDCManager(self.manager).IsOK()
        self.buffers.append(buffer)
        return buffer

    def FreeBuffer(self, buffer): pass
    def GetTxNumBuffersToUse(self): return (te.ZU_NOT_IMPLEMENTED, 0)

    def QueueBuffer(self, buffer):
        self.queued.put(buffer)
        return te.ZU_OK

    def RetrieveBuffer(self, slot):
        try:
            buffer = self.queued.get(timeout=0.02)
        except queue.Empty:
            return (te.ZU_TIMEOUT, None)
        if self.aborted:
            return (te.ZU_ABORTED, buffer)
        container = buffer.GetGenDC()
        container.GetComponent(0).GetPart(0).GetDataPointer()[...] = frame(self.number).reshape(-1)
        container.GetComponent(1).GetPart(0).GetDataPointer()[...] = metadata(self.number)
        self.number += 1
        return (te.ZU_OK, buffer)

    def AbortQueuedBuffers(self):
        self.aborted = True


@pytest.fixture
def gendc_camera():
    device = te.ZuSoftDeviceGEV()
    source = GenDCSource()
    assert device.SetGenDCEnabled(True).IsOK()
    assert device.AddStream(source).IsOK()
    result = device.Start(loopback_mac(31))
    assert result.IsOK(), result.GetDescription()
    ctl = Controller("127.0.0.31")
    yield device, source, ctl
    ctl.close()
    device.Stop()


def read_back(data):
    """The base module's reader over the received bytes."""
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeGenDC)
    assert buffer.Alloc(len(data)).IsOK()
    buffer.GetDataPointer()[...] = np.frombuffer(data, dtype=np.uint8)
    return buffer


@needs_netns()
def test_containers_arrive_with_every_component_and_part(gendc_camera):
    device, source, ctl = gendc_camera
    # The container is built before the first buffer is asked for.
    assert source.order[:3] == ["AssignGenDCManager", "SetupGenDCContainer", "AllocBuffer"]
    total = source.manager.GetTotalPayloadSize()
    ctl.take_control()
    assert ctl.read(GENDC_MODE) == 1
    assert ctl.read(CHANNEL_BASE + PAYLOAD_SIZE) == total
    assert 'Name="GenDCStreamingMode"' in ctl.description()
    receiver = StreamReceiver()
    try:
        open_stream(ctl, receiver, packet_size=576)
        start_acquisition(ctl)
        blocks = receiver.wait_for(8)
        stop_acquisition(ctl)
    finally:
        receiver.close()
    assert len(blocks) >= 8
    for block in blocks[:8]:
        assert block.payload_type == 0x000B and block.payload_size == total
        number = block.id - 1
        buffer = read_back(block.container())
        container = buffer.GetGenDC()
        assert container.IsValid()
        assert block.descriptor_size == container.GetDescriptorSize()
        assert container.GetComponentCount() == 2
        image = container.GetComponent(0)
        assert image.GetTypeIDEnum() == tb.ZuComponentIntensity and image.GetPartCount() == 1
        part = image.GetPart(0)
        header = part.Get2DHeader()
        assert (header.SizeX, header.SizeY, header.Format) == (WIDTH, HEIGHT, tb.ZuPixelMono8)
        assert np.array_equal(part.GetDataPointer().reshape(HEIGHT, WIDTH), frame(number)), block.id
        meta = container.GetComponent(1).GetPart(0)
        assert meta.GetDataSize() == META
        assert np.array_equal(meta.GetDataPointer(), metadata(number)), block.id
        # The descriptor travels first, flagged from its first to its last packet.
        ids = sorted(block.placed)
        assert block.flags[ids[0]][0] & 0x60 == 0x60
        with_descriptor = [i for i in ids if block.flags[i][0] & 0x40]
        assert block.flags[with_descriptor[-1]][0] & 0x10
    assert [b.id for b in blocks[:8]] == list(range(1, 9))


@needs_netns()
def test_a_restarted_device_lays_its_container_out_anew():
    device = te.ZuSoftDeviceGEV()
    source = GenDCSource()
    source.FreeBuffer = source.buffers.remove
    assert device.SetGenDCEnabled(True).IsOK()
    assert device.AddStream(source).IsOK()
    sizes = []
    for _ in range(2):
        assert device.Start(loopback_mac(31)).IsOK()
        try:
            container = source.manager.GetGenDC()
            assert container.IsValid() and container.GetComponentCount() == 2
            ctl = Controller("127.0.0.31")
            sizes.append(ctl.read(CHANNEL_BASE + PAYLOAD_SIZE))
            ctl.close()
        finally:
            device.Stop()
    assert source.order.count("SetupGenDCContainer") == 2
    assert sizes == [source.manager.GetTotalPayloadSize()] * 2


@needs_netns()
def test_the_streaming_mode_feature_reaches_the_source(gendc_camera):
    device, source, ctl = gendc_camera
    ctl.take_control()
    ctl.write(GENDC_MODE, 0)
    assert source.order[-1] == ("SetGenDCStreamingMode", False)
    assert ctl.read(GENDC_MODE) == 0
    assert ctl.read(CHANNEL_BASE + PAYLOAD_SIZE) == WIDTH * HEIGHT
    with pytest.raises(GvcpError):
        ctl.write(GENDC_MODE, 2)
    ctl.write(GENDC_MODE, 1)
    assert source.mode is True


@needs_netns()
def test_without_gendc_enabled_no_manager_is_assigned():
    device = te.ZuSoftDeviceGEV()
    source = GenDCSource()
    source.AllocBuffer = lambda: None if source.buffers else source.buffers.append(tb.ZuBuffer()) or source.buffers[0]
    assert device.AddStream(source).IsOK()
    try:
        assert device.Start(loopback_mac(32)).IsOK()
        assert source.manager is None and "SetupGenDCContainer" not in source.order
        ctl = Controller("127.0.0.32")
        assert 'Name="GenDCStreamingMode"' not in ctl.description()
        ctl.close()
    finally:
        device.Stop()


@needs_netns()
def test_the_receiving_modules_stream_hands_them_over_as_gendc_containers(gendc_camera):
    tr = pytest.importorskip("tarn_receive_310")
    r = tr._tarn_receive_310
    if not hasattr(r, "ZuStream_CreateAndOpen"):
        pytest.skip("the receiving module has no stream")
    from support.receiving import connect_and_open, let_go, start_pipeline
    device, source, ctl = gendc_camera
    ctl.close()
    _, controller, params, stream = connect_and_open("127.0.0.31")
    pipeline = None
    try:
        pipeline = start_pipeline(stream, params.GetIntegerValue("PayloadSize")[1], 8)
        assert params.SetIntegerValue("TLParamsLocked", 1).IsOK()
        assert params.ExecuteCommand("AcquisitionStart").IsOK()
        seen = 0
        while seen < 5:
            result, buffer, operation = r.ZuPipeline_RetrieveNextBuffer(pipeline, 5000)
            assert result.IsOK(), result.GetCodeString()
            if operation.IsOK():
                assert buffer.GetPayloadType() == tb.ZuPayloadTypeGenDC
                container = buffer.GetGenDC()
                assert container.IsValid() and container.GetComponentCount() == 2
                number = buffer.GetBlockID() - 1
                image = container.GetComponent(0).GetPart(0).GetDataPointer()
                assert np.array_equal(image.reshape(HEIGHT, WIDTH), frame(number))
                assert np.array_equal(container.GetComponent(1).GetPart(0).GetDataPointer(), metadata(number))
                seen += 1
            r.ZuPipeline_ReleaseBuffer(pipeline, buffer)
        assert params.ExecuteCommand("AcquisitionStop").IsOK()
    finally:
        let_go(controller, stream, pipeline)
