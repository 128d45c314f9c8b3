"""Channel-source directors: each operation's conversions and texts, driven
through the module functions on another object of the same director (no
up-call, so the Python override runs), and the buffer cycle on the device's
own threads."""
import gc

import pytest

import _tarn_edge_310 as m
import tarn_base_310 as tb
import tarn_edge_310 as te
from support import error_of, needs_netns
from support.controller import Controller, StreamReceiver, open_stream, start_acquisition, stop_acquisition
from support.softcamera import NumpySource, loopback_mac

MISMATCH = "SWIG director type mismatch "


class Answers(te.IZuSWStreamingChannelSource):
    """Returns whatever a test puts in `answer` for the operation called."""

    def __init__(self, **answer):
        object.__setattr__(self, "answer", answer)
        super().__init__()

    def __getattribute__(self, name):
        answer = object.__getattribute__(self, "answer")
        if name in answer:
            value = answer[name]
            if isinstance(value, Exception):
                def fail(*args):
                    raise value
                return fail
            return lambda *args: value
        return object.__getattribute__(self, name)


def call(source, op, *args):
    """The module function on the bare pointer object: a virtual call, so the
    director asks Python."""
    function = getattr(m, "IZuSWStreamingChannelSource_" + op, None) or getattr(m, "IZuStreamingChannelSource_" + op)
    return function(source.this, *args)


@pytest.mark.parametrize("answer, code", [(0, 0), (-1, 0xFFFFFFFF), (te.ZU_BUSY, te.ZU_BUSY)])
def test_result_from_an_int(answer, code):
    assert call(Answers(SetWidth=answer), "SetWidth", 5).GetCode() == code


@pytest.mark.parametrize("answer", [2 ** 31, None, "0", 1.0])
def test_result_that_is_none(answer, capfd):
    assert error_of(call, Answers(SetWidth=answer), "SetWidth", 5) == (
        TypeError, MISMATCH + "in method SetWidth with output value of type 'ZuResult'")
    assert error_of(call, Answers(QueueBuffer=answer), "QueueBuffer", None) == (
        TypeError, MISMATCH + "in method QueueBuffer with output value of type 'ZuResult'")
    # A wrong shape is a failure of the up-call, with its line.
    assert capfd.readouterr().out == "".join(
        f"In method '{name}': TypeError: {MISMATCH}in method {name} with output value of type 'ZuResult'\n"
        for name in ("SetWidth", "QueueBuffer"))


def test_result_copied_from_a_result_object():
    result = tb.ZuResult(te.ZU_TIMEOUT)
    got = call(Answers(SetHeight=result), "SetHeight", 5)
    result.SetCode(0)
    assert got.GetCode() == te.ZU_TIMEOUT


def test_scalar_results():
    assert call(Answers(GetWidth=7), "GetWidth") == 7
    assert error_of(call, Answers(GetWidth=-1), "GetWidth") == (OverflowError, MISMATCH + "in output value of type 'uint32_t'")
    assert error_of(call, Answers(GetWidth=3.0), "GetWidth") == (TypeError, MISMATCH + "in output value of type 'uint32_t'")
    assert error_of(call, Answers(GetChunkModeActive=1), "GetChunkModeActive") == (
        TypeError, MISMATCH + "in output value of type 'bool'")
    assert error_of(call, Answers(PreQueueBufferProc=1), "PreQueueBufferProc") == (
        TypeError, MISMATCH + "in output value of type 'bool'")
    assert error_of(call, Answers(GetPixelType=2 ** 31), "GetPixelType") == (
        OverflowError, MISMATCH + "in output value of type 'ZuPixelType'")
    assert call(Answers(OnClose=object()), "OnClose") is None


def test_tuples_of_result_and_values():
    got = call(Answers(GetSupportedPixelType=(0, te.ZuPixelMono8)), "GetSupportedPixelType", 0)
    assert type(got) is tuple and got[0].GetCode() == 0 and got[1] == te.ZuPixelMono8
    no_tuple = "Python method IZuSWStreamingChannelSource.{}failed to return a tuple."
    for bad in ([0, 1], (0,), (), 5):
        assert error_of(call, Answers(GetSupportedPixelType=bad), "GetSupportedPixelType", 0) == (
            TypeError, MISMATCH + no_tuple.format("GetSupportedPixelType"))
        assert error_of(call, Answers(GetGevSCPSPacketSizeInfo=bad), "GetGevSCPSPacketSizeInfo") == (
            TypeError, MISMATCH + no_tuple.format("GetGevSCPSPacketSizeInfo"))
    assert error_of(call, Answers(GetSupportedPixelType=(None, 1)), "GetSupportedPixelType", 0) == (
        TypeError, MISMATCH + "in method GetSupportedPixelType 1 with output value of type 'ZuResult'")
    result, maximum = call(Answers(GetGevSCPSPacketSizeInfo=(0, 1500, "extra")), "GetGevSCPSPacketSizeInfo")
    assert (result.GetCode(), maximum) == (0, 1500)
    result, ident, name = call(Answers(GetSupportedChunk=(0, 16385, "ChunkTimestamp")), "GetSupportedChunk", 0)
    assert (result.GetCode(), ident, name) == (0, 16385, "ChunkTimestamp")
    assert error_of(call, Answers(GetSupportedChunk=(0, 16385)), "GetSupportedChunk", 0) == (
        IndexError, "tuple index out of range")
    assert error_of(call, Answers(GetSupportedChunk=(0, 16385, 5)), "GetSupportedChunk", 0) == (
        TypeError, MISMATCH + "in output value of type str")


def test_width_info_is_read_item_by_item():
    assert call(Answers(GetWidthInfo=(1, 2, 3)), "GetWidthInfo") == (1, 2, 3)
    assert error_of(call, Answers(GetWidthInfo=(1, 2)), "GetWidthInfo") == (IndexError, "tuple index out of range")
    assert error_of(call, Answers(GetHeightInfo=(1, -2, 3)), "GetHeightInfo") == (
        OverflowError, MISMATCH + "in output value of type 'uint32_t'")


def test_buffer_count_and_retrieval_tuples():
    assert error_of(m.IZuSWStreamingChannelSource_GetTxNumBuffersToUse, Answers().this) == (
        TypeError, "IZuSWStreamingChannelSource_GetTxNumBuffersToUse expected 2 arguments, got 1")
    result, count = call(Answers(GetTxNumBuffersToUse=(0, 8)), "GetTxNumBuffersToUse", None)
    assert (result.GetCode(), count) == (0, 8)
    result, count = call(Answers(GetTxNumBuffersToUse=((0, 99), (99, 8))), "GetTxNumBuffersToUse", None)
    assert (result.GetCode(), count) == (0, 8)
    assert error_of(call, Answers(GetTxNumBuffersToUse=(0, -1)), "GetTxNumBuffersToUse", None) == (
        OverflowError, MISMATCH + "in output value of type 'uint32_t'")
    no_tuple = MISMATCH + "Python method IZuSWStreamingChannelSource.RetrieveBufferfailed to return a tuple."
    for bad in ([0, None], (), (0,)):
        assert error_of(call, Answers(RetrieveBuffer=bad), "RetrieveBuffer", None) == (TypeError, no_tuple)
    for bad in ((2 ** 31, None), (None, None)):
        assert error_of(call, Answers(RetrieveBuffer=bad), "RetrieveBuffer", None) == (
            TypeError, MISMATCH + "in method RetrieveBuffer with output value of type 'ZuResult'")
    # A null slot is never written through.
    assert call(Answers(RetrieveBuffer=(0, tb.ZuBuffer())), "RetrieveBuffer", None).GetCode() == 0


def test_alloc_buffer_gives_the_buffer_up_and_the_module_function_takes_it_back():
    given = tb.ZuBuffer()
    source = Answers(AllocBuffer=given)
    taken = call(source, "AllocBuffer")
    assert not given.thisown
    assert taken.thisown and int(taken.this) == int(given.this)
    # A proxy that does not own gives nothing up: the function returns a borrowed one.
    again = call(source, "AllocBuffer")
    assert not again.thisown
    assert error_of(call, Answers(AllocBuffer="buffer"), "AllocBuffer") == (
        TypeError, MISMATCH + "in output value of type 'ZuBuffer *'")
    assert call(Answers(AllocBuffer=None), "AllocBuffer") is None


def test_own_object_up_calls():
    source = Answers()
    assert error_of(m.IZuSWStreamingChannelSource_AllocBuffer, source) == (
        RuntimeError, "SWIG director pure virtual method called IZuSWStreamingChannelSource::AllocBuffer")
    assert error_of(m.IZuStreamingChannelSource_GetWidth, source) == (
        RuntimeError, "SWIG director pure virtual method called IZuStreamingChannelSource::GetWidth")
    assert m.IZuSWStreamingChannelSource_PreQueueBufferProc(source) is True
    assert m.IZuStreamingChannelSource_IsPayloadTypeSupported(source, 1) is False
    assert m.IZuStreamingChannelSource_SetTestPayloadFormatMode(source, 10).GetCode() == 26
    result, _ = m.IZuStreamingChannelSource_GetGevSCPSPacketSizeInfo(source)
    assert result.GetCode() == 1540


def test_argument_texts():
    source = Answers()
    assert error_of(m.IZuStreamingChannelSource_SetWidth, source, -1) == (
        OverflowError, "in method 'IZuStreamingChannelSource_SetWidth', argument 2 of type 'uint32_t'")
    assert error_of(m.IZuStreamingChannelSource_SetChunkModeActive, source, 1) == (
        TypeError, "in method 'IZuStreamingChannelSource_SetChunkModeActive', argument 2 of type 'bool'")
    assert error_of(m.IZuStreamingChannelSource_OnOpen, source, b"1.2.3.4", 5) == (
        TypeError, "Argument 2: failed to create ZuString from Python string")
    assert error_of(m.IZuStreamingChannelSource_OnOpen, source, "1.2.3.4", 65536) == (
        OverflowError, "in method 'IZuStreamingChannelSource_OnOpen', argument 3 of type 'uint16_t'")
    assert error_of(m.IZuStreamingChannelSource_GetSupportedPixelType, source, "0") == (
        TypeError, "method 'IZuStreamingChannelSource_GetSupportedPixelType' expected argument 1 of type int")
    assert error_of(m.new_IZuSWStreamingChannelSource, None) == (
        RuntimeError, "accessing abstract class or protected constructor")


def test_self_uninitialized_and_one_reference_per_disown():
    class Forgot(te.IZuSWStreamingChannelSource):
        def __init__(self):
            pass
    this = m.new_IZuSWStreamingChannelSource(Forgot())
    source = Answers()
    import sys
    before = sys.getrefcount(source)
    m.disown_IZuSWStreamingChannelSource(source)
    m.disown_IZuSWStreamingChannelSource(source)
    assert sys.getrefcount(source) == before + 1
    m.delete_IZuSWStreamingChannelSource(this)


# ---- On the device's own threads -------------------------------------------------

@needs_netns()
def test_a_failing_retrieval_on_the_streaming_thread_drops_a_frame_and_streaming_goes_on(capfd):
    class Flaky(NumpySource):
        def RetrieveBuffer(self, slot):
            self.tries = getattr(self, "tries", 0) + 1
            if self.tries == 3:
                raise KeyError("flaky")
            return super().RetrieveBuffer(slot)
    device = te.ZuSoftDeviceGEV()
    source = Flaky()
    device.AddStream(source)
    assert device.Start(loopback_mac(50)).IsOK()
    ctl = Controller("127.0.0.50")
    receiver = StreamReceiver()
    try:
        ctl.take_control()
        open_stream(ctl, receiver)
        start_acquisition(ctl)
        assert len(receiver.wait_for(20)) >= 20
        stop_acquisition(ctl)
    finally:
        receiver.close()
        ctl.close()
        device.Stop()
    assert "In method 'RetrieveBuffer': KeyError: 'flaky'\n" in capfd.readouterr().out


@needs_netns()
def test_stopping_or_deleting_the_device_from_its_own_streaming_thread():
    for action in ("stop", "delete"):
        holder = {}

        class Quits(NumpySource):
            def RetrieveBuffer(self, slot):
                if len(self.sent) == 5 and "done" not in holder:
                    holder["done"] = True
                    if action == "stop":
                        holder["result"] = holder["device"].Stop().GetCode()
                    else:
                        del holder["device"]
                return super().RetrieveBuffer(slot)
        device = te.ZuSoftDeviceGEV()
        source = Quits()
        device.AddStream(source)
        holder["device"] = device
        del device
        assert holder["device"].Start(loopback_mac(51)).IsOK()
        ctl = Controller("127.0.0.51", timeout=0.5)
        receiver = StreamReceiver()
        try:
            ctl.take_control()
            open_stream(ctl, receiver)
            start_acquisition(ctl)
            receiver.wait_for(5, timeout=10)
            for _ in range(200):
                if source.calls.count(("FreeBuffer",)) == 8:
                    break
                import time
                time.sleep(0.01)
        finally:
            receiver.close()
            ctl.close()
        assert source.calls.count(("FreeBuffer",)) == 8, action
        assert holder.get("result", 0) == 0
        holder.clear()
        gc.collect()
