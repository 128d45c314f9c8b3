"""The ready-made default source: its constructor's overloads and defaults,
the SDK's own answers through its functions, and a subclass that only
supplies the buffer queue streaming through the device."""
import pytest

import _tarn_edge_310 as m
import tarn_edge_310 as te
from support import error_of, needs_netns, prototypes
from support.controller import Controller, StreamReceiver, open_stream, start_acquisition, stop_acquisition
from support.softcamera import PassingSource, loopback_mac

CONSTRUCTOR = prototypes(
    "new_ZuStreamingChannelSourceDefault",
    "ZuStreamingChannelSourceDefault::ZuStreamingChannelSourceDefault(uint32_t,uint32_t,ZuPixelType,size_t)",
    "ZuStreamingChannelSourceDefault::ZuStreamingChannelSourceDefault(uint32_t,uint32_t,ZuPixelType)",
    "ZuStreamingChannelSourceDefault::ZuStreamingChannelSourceDefault(uint32_t,uint32_t)",
    "ZuStreamingChannelSourceDefault::ZuStreamingChannelSourceDefault(uint32_t)",
    "ZuStreamingChannelSourceDefault::ZuStreamingChannelSourceDefault(PyObject *)")


class Queue(PassingSource):
    """Fills each frame with its number before it goes."""

    def __init__(self, *args):
        super().__init__(*args)
        self.sent = 0

    def RetrieveBuffer(self, slot):
        result, buffer = super().RetrieveBuffer(slot)
        if buffer is not None:
            buffer.GetImage().GetDataPointer()[...] = self.sent % 251
            self.sent += 1
        return (result, buffer)


def test_defaults_and_overloads():
    source = Queue()
    assert (source.GetWidth(), source.GetHeight(), source.GetPixelType()) == (640, 480, te.ZuPixelMono8)
    assert Queue(1024).GetWidth() == 1024
    assert Queue(0, 0).GetWidth() == 0
    assert error_of(m.new_ZuStreamingChannelSourceDefault) == (TypeError, CONSTRUCTOR)
    assert error_of(m.new_ZuStreamingChannelSourceDefault, object(), 1, 2, 3, 4, 5)[0] is TypeError
    for width in (2 ** 32, -1):
        assert error_of(m.new_ZuStreamingChannelSourceDefault, object(), width) == (TypeError, CONSTRUCTOR)
    assert error_of(m.new_ZuStreamingChannelSourceDefault, None) == (
        RuntimeError, "accessing abstract class or protected constructor")
    assert error_of(m.new_ZuStreamingChannelSourceDefault, None, "x") == (TypeError, CONSTRUCTOR)


def test_the_sdks_answers_without_python_and_the_overrides_with_it():
    class Wide(Queue):
        def GetWidth(self):
            return 77
    source = Wide(320, 200)
    # On its own object: the SDK's width; through another object of the same
    # director: the override.
    assert m.ZuStreamingChannelSourceDefault_GetWidth(source) == 320
    assert m.ZuStreamingChannelSourceDefault_GetWidth(source.this) == 77
    assert error_of(m.ZuStreamingChannelSourceDefault_SetWidth, 5, 1) == (
        TypeError, "in method 'ZuStreamingChannelSourceDefault_SetWidth', argument 1 of type 'ZuStreamingChannelSourceDefault *'")
    assert error_of(m.ZuStreamingChannelSourceDefault_GetWidth, 5) == (
        TypeError, "in method 'ZuStreamingChannelSourceDefault_GetWidth', argument 1 of type 'ZuStreamingChannelSourceDefault const *'")
    for absent in ("GetWidthInfo", "GetSupportedPixelType", "GetTxNumBuffersToUse", "QueueBuffer", "RetrieveBuffer"):
        assert not hasattr(m, "ZuStreamingChannelSourceDefault_" + absent)
    # A buffer of the SDK's own, never owned by a proxy.
    buffer = m.ZuStreamingChannelSourceDefault_AllocBuffer(source)
    assert buffer is not None and not buffer.thisown
    m.ZuStreamingChannelSourceDefault_FreeBuffer(source, buffer)


def test_a_subclass_without_its_queue_fails_in_the_sdk_not_the_process(capfd):
    class NoQueue(te.ZuStreamingChannelSourceDefault):
        pass
    source = NoQueue(8, 8)
    assert error_of(m.IZuSWStreamingChannelSource_QueueBuffer, source.this, None) == (
        RuntimeError, "SWIG director method error. In method 'QueueBuffer': RuntimeError: "
                      "SWIG director pure virtual method called IZuSWStreamingChannelSource::QueueBuffer")
    assert capfd.readouterr().out.startswith("In method 'QueueBuffer': RuntimeError: ")


def test_get_gev_packet_size_info_tuples():
    class Packets(Queue):
        def __init__(self, answer):
            super().__init__(8, 8)
            self.answer = answer

        def GetGevSCPSPacketSizeInfo(self):
            return self.answer
    source = Packets((0, 1500))
    result, size = m.IZuStreamingChannelSource_GetGevSCPSPacketSizeInfo(source.this)
    assert (result.GetCode(), size) == (0, 1500)
    for bad in (5, (), (0,)):
        source = Packets(bad)
        assert error_of(m.IZuStreamingChannelSource_GetGevSCPSPacketSizeInfo, source.this) == (
            TypeError, "SWIG director type mismatch Python method ZuStreamingChannelSourceDefault."
                       "GetGevSCPSPacketSizeInfofailed to return a tuple.")


def test_disown_takes_one_reference():
    import sys
    source = Queue(8, 8)
    before = sys.getrefcount(source)
    m.disown_ZuStreamingChannelSourceDefault(source)
    m.disown_ZuStreamingChannelSourceDefault(source)
    assert sys.getrefcount(source) == before + 1


@needs_netns()
def test_a_subclass_streams_its_own_buffers():
    device = te.ZuSoftDeviceGEV()
    source = Queue(64, 32, te.ZuPixelMono8, 6)
    assert device.AddStream(source).IsOK()
    assert device.Start(loopback_mac(60)).IsOK()
    ctl = Controller("127.0.0.60")
    receiver = StreamReceiver()
    try:
        ctl.take_control()
        description = ctl.description()
        assert '<EnumEntry Name="Mono8"' in description
        open_stream(ctl, receiver)
        start_acquisition(ctl)
        blocks = receiver.wait_for(10)
        stop_acquisition(ctl)
    finally:
        receiver.close()
        ctl.close()
        device.Stop()
    assert len(blocks) >= 10
    for block in blocks[:10]:
        assert (block.width, block.height) == (64, 32)
        assert set(block.data()) == {(block.id - 1) % 251}


@needs_netns()
def test_the_geometry_it_accepts_is_the_geometry_it_streams():
    tr = pytest.importorskip("tarn_receive_310")
    from support.receiving import connect_and_open, let_go, start_pipeline
    rm = tr._tarn_receive_310
    device = te.ZuSoftDeviceGEV()
    source = Queue(320, 200, te.ZuPixelMono8, 6)
    assert device.AddStream(source).IsOK()
    assert device.Start(loopback_mac(64)).IsOK()
    system, controller, p, stream = connect_and_open("127.0.0.64")
    pipeline = None
    try:
        assert p.SetIntegerValue("Width", 160).IsOK()
        assert p.SetIntegerValue("OffsetX", 8).IsOK()
        # A receiver whose buffers follow PayloadSize takes every frame whole.
        assert p.GetIntegerValue("PayloadSize")[1] == 32000
        pipeline = start_pipeline(stream, 32000, 4)
        assert p.SetIntegerValue("TLParamsLocked", 1).IsOK()
        assert p.ExecuteCommand("AcquisitionStart").IsOK()
        for _ in range(6):
            result, buffer, operation = rm.ZuPipeline_RetrieveNextBuffer(pipeline, 5000)
            assert result.IsOK() and operation.IsOK(), operation.GetCodeString()
            image = buffer.GetImage()
            assert (image.GetWidth(), image.GetHeight(), image.GetOffsetX()) == (160, 200, 8)
            assert image.GetDataPointer().shape == (200, 160)
            rm.ZuPipeline_ReleaseBuffer(pipeline, buffer)
        assert p.ExecuteCommand("AcquisitionStop").IsOK()
    finally:
        let_go(controller, stream, pipeline)
        device.Stop()
