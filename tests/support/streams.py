"""Buffers for streams of the receiving module."""
import tarn_base_310 as tb
import tarn_receive_310 as tr


def queue(stream, count, size):
    """Queues `count` new buffers of `size` bytes into a stream; the buffers."""
    m = tr._tarn_receive_310
    buffers = []
    for _ in range(count):
        b = tb.ZuBuffer()
        assert b.Alloc(size).IsOK()
        assert m.ZuStream_QueueBuffer(stream, b).GetCode() == tr.ZU_PENDING
        buffers.append(b)
    return buffers
