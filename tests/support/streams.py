"""Buffers and payloads for streams of the receiving module."""
import numpy as np

import tarn_base_310 as tb
import tarn_receive_310 as tr


def open_towards(address):
    """(result, stream): a GigE Vision stream opened towards a device
    address whether or not a device answers there (the test transmitters
    speak no GVCP, and the factory asks the device first); released with
    ZuStream_Free like a stream of the factory."""
    stream = tr.ZuStreamGEV()
    stream.thisown = False
    return tr._tarn_receive_310.ZuStream_Open(stream, address), stream


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


def access_unit(number):
    """H.264 access unit `number` in Annex B: an access unit delimiter, then
    parameter sets and an IDR slice every fourth unit, else a slice; slice
    bytes never form a start code, and are long enough to be cut."""
    rng = np.random.default_rng(number)
    body = rng.integers(0x10, 0xF0, 900 + 97 * number, dtype=np.uint8).tobytes()
    units = [b"\x09\xf0"]
    if number % 4 == 0:
        units += [b"\x67\x42\xc0\x1e\xda\x02\x80\xbf\xe5\x84", b"\x68\xce\x3c\x80", b"\x65" + body]
    else:
        units += [b"\x41" + body]
    return b"".join(b"\x00\x00\x00\x01" + u for u in units)
