"""The transmitter's functions: Open's overloads and defaults, argument and
result conversions, what it keeps alive of Python, and blocks received
byte for byte by a plain socket."""
import gc
import socket
import struct
import weakref

import numpy as np

import _tarn_edge_310 as m
import tarn_base_310 as tb
import tarn_edge_310 as te
from support import error_of, needs_netns, prototypes
from support.threads import assert_releases_the_interpreter

pytestmark = needs_netns()

OPEN_PROTOTYPES = [
    "ZuTransmitterGEV::Open(ZuString,uint16_t,ZuString,uint16_t,bool,bool,uint32_t,bool,uint32_t,uint32_t)",
    "ZuTransmitterGEV::Open(ZuString,uint16_t,ZuString,uint16_t,bool,bool,uint32_t,bool,uint32_t)",
    "ZuTransmitterGEV::Open(ZuString,uint16_t,ZuString,uint16_t,bool,bool,uint32_t,bool)",
    "ZuTransmitterGEV::Open(ZuString,uint16_t,ZuString,uint16_t,bool,bool,uint32_t)",
    "ZuTransmitterGEV::Open(ZuString,uint16_t,ZuString,uint16_t,bool,bool)",
    "ZuTransmitterGEV::Open(ZuString,uint16_t,ZuString,uint16_t,bool)",
    "ZuTransmitterGEV::Open(ZuString,uint16_t,ZuString,uint16_t)",
    "ZuTransmitterGEV::Open(ZuString,uint16_t,ZuString)",
    "ZuTransmitterGEV::Open(ZuString,uint16_t)",
]


def text(value):
    return tb.ZuString(value)


class Receiver:
    """A UDP socket on the loopback that collects a transmitter's packets."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.settimeout(2.0)
        self.port = self.sock.getsockname()[1]

    def packets(self, count):
        out = []
        try:
            while len(out) < count:
                out.append(self.sock.recv(65536))
        except socket.timeout:
            pass
        return out

    def close(self):
        self.sock.close()


def opened(receiver, *more):
    tx = te.ZuTransmitterGEV()
    assert tx.Open(text("127.0.0.1"), receiver.port, *more).IsOK()
    return tx


def raw(data):
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeRawData)
    assert buffer.Alloc(len(data)).IsOK()
    buffer.GetDataPointer()[:] = np.frombuffer(bytes(data), np.uint8)
    return buffer


def test_open_chooses_its_overload_by_count_and_every_bad_argument_names_the_prototypes():
    tx = te.ZuTransmitterGEV()
    every = prototypes("ZuTransmitterGEV_Open", *OPEN_PROTOTYPES)
    assert error_of(m.ZuTransmitterGEV_Open, tx, "127.0.0.1", 5000) == (TypeError, every)
    assert error_of(m.ZuTransmitterGEV_Open, tx, None, 5000) == (TypeError, every)
    assert error_of(m.ZuTransmitterGEV_Open, tx, text("127.0.0.1"), 65536) == (TypeError, every)
    assert error_of(m.ZuTransmitterGEV_Open, tx, text("127.0.0.1"), 5000, text(""), 0, 1) == (TypeError, every)
    assert error_of(m.ZuTransmitterGEV_Open, tx, text("127.0.0.1"), 5000, "", 0) == (TypeError, every)
    assert error_of(m.ZuTransmitterGEV_Open, tx, text("127.0.0.1")) == (TypeError, every)
    assert error_of(m.ZuTransmitterGEV_Open, tx, text("127.0.0.1"), 5000, text(""), 0, True, False, 64, False, 32, 0,
                    0) == (
        TypeError, "ZuTransmitterGEV_Open expected at most 11 arguments, got 12\nAdditional information:\n" + every)
    assert not tx.IsOpen()


def test_open_with_the_fewest_arguments_uses_the_defaults():
    receiver = Receiver()
    tx = te.ZuTransmitterGEV()
    destination = text("127.0.0.1")
    result = m.ZuTransmitterGEV_Open(tx, destination, receiver.port)
    assert type(result).__name__ == "ZuResult" and result.IsOK()
    # The argument object stays as it was.
    assert destination.GetAscii() == "127.0.0.1"
    assert tx.IsOpen() and not tx.GetExtendedIDs()
    assert tx.GetSourceIPAddress() == "127.0.0.1"
    assert tx.GetDestinationIPAddress() == "127.0.0.1"
    assert tx.GetDestinationPort() == receiver.port
    assert 0 < tx.GetSourcePort() < 65536
    assert tx.Open(destination, receiver.port).GetCode() == te.ZU_STATE_ERROR
    assert tx.Close().IsOK()
    # Every argument given: extended ids from the sixth.
    assert m.ZuTransmitterGEV_Open(tx, destination, receiver.port, text("127.0.0.1"), 0, True, True, 64, False, 32,
                                   0).IsOK()
    assert tx.GetExtendedIDs()
    assert tx.Close().IsOK()
    assert tx.Open(text("127.0.0.1"), receiver.port, text("127.0.0.1"), 0, True, False, 65).GetCode() == \
        te.ZU_INVALID_PARAMETER
    receiver.close()


def test_arguments_and_results_convert_at_the_edges_of_their_types():
    tx = te.ZuTransmitterGEV()
    assert error_of(m.ZuTransmitterGEV_SetPacketSize, tx, -1) == (
        OverflowError, "in method 'ZuTransmitterGEV_SetPacketSize', argument 2 of type 'uint32_t'")
    assert error_of(m.ZuTransmitterGEV_SetPacketSize, tx, 1.0) == (
        TypeError, "in method 'ZuTransmitterGEV_SetPacketSize', argument 2 of type 'uint32_t'")
    assert error_of(m.ZuTransmitterGEV_SetMaxPayloadThroughput, tx, 1e39) == (
        OverflowError, "in method 'ZuTransmitterGEV_SetMaxPayloadThroughput', argument 2 of type 'float'")
    assert error_of(m.ZuTransmitterGEV_SetMaxPayloadThroughput, tx, "1") == (
        TypeError, "in method 'ZuTransmitterGEV_SetMaxPayloadThroughput', argument 2 of type 'float'")
    assert m.ZuTransmitterGEV_SetMaxPayloadThroughput(tx, 100).IsOK()
    value = m.ZuTransmitterGEV_GetMaxPayloadThroughput(tx)
    assert type(value) is float and value == 100.0
    # Infinity and NaN reach the SDK, which takes one and refuses the other.
    assert m.ZuTransmitterGEV_SetMaxPayloadThroughput(tx, float("inf")).IsOK()
    assert m.ZuTransmitterGEV_SetMaxPayloadThroughput(tx, float("nan")).GetCode() == te.ZU_INVALID_PARAMETER
    assert error_of(m.ZuTransmitterGEV_QueueBuffer, tx, "buffer") == (
        TypeError, "in method 'ZuTransmitterGEV_QueueBuffer', argument 2 of type 'ZuBuffer *'")
    assert m.ZuTransmitterGEV_QueueBuffer(tx, None).GetCode() == te.ZU_INVALID_PARAMETER
    assert error_of(m.ZuTransmitterGEV_QueuePacketResend, tx, -1, 0, 10) == (
        OverflowError, "in method 'ZuTransmitterGEV_QueuePacketResend', argument 2 of type 'uint64_t'")
    assert m.ZuTransmitterGEV_QueuePacketResend(tx, 7, 0, 10) is None
    assert m.ZuTransmitterGEV_QueuePacketResend(tx, 2**64 - 1, 0, 2**32 - 1) is None
    assert error_of(m.ZuTransmitterGEV_QueuePacketResend, tx, 7, 0) == (
        TypeError, "ZuTransmitterGEV_QueuePacketResend expected 4 arguments, got 3")
    assert error_of(m.ZuTransmitterGEV_SetPacketSize, tx) == (
        TypeError, "ZuTransmitterGEV_SetPacketSize expected 2 arguments, got 1")
    assert error_of(m.ZuTransmitterGEV_LoadBufferPool, tx, None) == (
        TypeError, "ZuTransmitterGEV_LoadBufferPool expected 3 arguments, got 2")
    assert m.ZuTransmitterGEV_LoadBufferPool(tx, None, 1).GetCode() == te.ZU_INVALID_PARAMETER
    assert error_of(m.ZuTransmitterGEV_GetSamplingTime, 5) == (
        TypeError, "in method 'ZuTransmitterGEV_GetSamplingTime', argument 1 of type 'ZuTransmitterGEV const *'")
    assert error_of(m.IZuTransmitterGEV_SetExtendedIDs, tx, 1) == (
        TypeError, "in method 'IZuTransmitterGEV_SetExtendedIDs', argument 2 of type 'bool'")
    assert m.IZuTransmitterGEV_SetExtendedIDs(tx, True).IsOK()
    assert m.IZuTransmitterGEV_GetExtendedIDs(tx) is True
    assert m.ZuTransmitterGEV_GetExtendedIDs(tx) is True
    assert m.IZuTransmitterGEV_IsOpen(tx) is m.ZuTransmitterGEV_IsOpen(tx) is False
    for getter in (m.ZuTransmitterGEV_GetBlocksTransmitted, m.ZuTransmitterGEV_GetSamplingTime,
                   m.ZuTransmitterGEV_GetPacketSize, m.ZuTransmitterGEV_GetSourcePort):
        assert type(getter(tx)) is int
    assert m.ZuTransmitterGEV_ResetStats(tx) is None


def test_none_as_the_transmitter_is_refused_before_the_sdk():
    for func, args in ((m.ZuTransmitterGEV_IsOpen, ()), (m.ZuTransmitterGEV_Close, ()),
                       (m.ZuTransmitterGEV_QueueBuffer, (None,)), (m.ZuTransmitterGEV_SetPacketSize, (1500,)),
                       (m.IZuTransmitterGEV_QueuePacketResend, (1, 0, 0))):
        kind, message = error_of(func, None, *args) if args else error_of(func, None)
        assert kind is TypeError and "argument 1 of type" in message, (func, message)
    assert m.delete_ZuTransmitterGEV(None) is None


def test_the_blocking_forms_take_their_defaults_and_return_the_bare_result():
    receiver = Receiver()
    tx = opened(receiver)
    assert error_of(m.ZuTransmitterGEV_RetrieveFreeBuffer, tx) == (TypeError, prototypes(
        "ZuTransmitterGEV_RetrieveFreeBuffer", "ZuTransmitterGEV::RetrieveFreeBuffer(ZuBuffer **,uint32_t)",
        "ZuTransmitterGEV::RetrieveFreeBuffer(ZuBuffer **)"))
    assert error_of(m.ZuTransmitterGEV_AbortQueuedBuffers, tx, -1)[0] is TypeError
    result = m.ZuTransmitterGEV_RetrieveFreeBuffer(tx, None, 0)
    assert type(result).__name__ == "ZuResult" and result.GetCode() == te.ZU_TIMEOUT
    result = m.ZuTransmitterGEV_AbortQueuedBuffers(tx)
    assert type(result).__name__ == "ZuResult" and result.IsOK()
    assert m.ZuTransmitterGEV_AbortQueuedBuffers(tx, 10, None).IsOK()
    # A waiting retrieve lets other threads run, and ends when the transmitter closes.
    buffer = raw(b"x" * 100)
    tx.SetSentBuffersTimeout(200)
    assert tx.QueueBuffer(buffer).IsOK()
    assert assert_releases_the_interpreter(tx.RetrieveFreeBuffer, None, 10000).IsOK()
    receiver.close()


def test_docstrings_are_on_the_interface_functions_only():
    assert m.IZuTransmitterGEV_QueuePacketResend.__doc__
    assert m.IZuTransmitterGEV_IsOpen.__doc__
    for name in ("ZuTransmitterGEV_Open", "ZuTransmitterGEV_QueuePacketResend", "ZuTransmitterGEV_IsOpen",
                 "ZuTransmitterGEV_GetPacketSize", "new_ZuTransmitterGEV", "delete_ZuTransmitterGEV"):
        assert getattr(m, name).__doc__ is None, name


def test_blocks_arrive_byte_for_byte_and_are_counted():
    receiver = Receiver()
    tx = opened(receiver)
    assert tx.SetPacketSize(1000).IsOK()
    frames = [bytes(np.random.default_rng(k).integers(0, 256, 5000, dtype=np.uint8)) for k in range(3)]
    buffers = [raw(f) for f in frames]
    for b in buffers:
        assert tx.QueueBuffer(b).IsOK()
    per_block = 2 + -(-5000 // (1000 - 28 - 8))
    packets = receiver.packets(3 * per_block)
    assert len(packets) == 3 * per_block
    for k, frame in enumerate(frames):
        block = packets[k * per_block:(k + 1) * per_block]
        assert [struct.unpack(">H", p[2:4])[0] for p in block] == [k + 1] * per_block
        assert b"".join(p[8:] for p in block[1:-1]) == frame
    for _ in range(3):
        assert tx.RetrieveFreeBuffer(None, 5000).IsOK()
    assert tx.GetBlocksTransmitted() == 3
    assert tx.GetPayloadBytesTransmitted() == 15000
    assert tx.GetNumberOfResendRequests() == 0
    assert tx.GetAverageTransmissionRate() > 0
    receiver.close()


def test_a_queued_buffer_lives_until_the_transmitter_lets_go_of_it():
    receiver = Receiver()
    tx = opened(receiver)
    tx.SetSentBuffersTimeout(60000)
    buffer = raw(b"y" * 2000)
    gone = weakref.ref(buffer)
    assert tx.QueueBuffer(buffer).IsOK()
    del buffer
    gc.collect()
    # Sent, and held for resends.
    assert len(receiver.packets(4)) == 4
    assert gone() is not None
    # Refused buffers are not kept.
    refused = tb.ZuBuffer(tb.ZuPayloadTypeRawData)
    refused_gone = weakref.ref(refused)
    assert tx.QueueBuffer(refused).GetCode() == te.ZU_INVALID_PARAMETER
    del refused
    gc.collect()
    assert refused_gone() is None
    # Free again: handed back, and let go.
    assert tx.AbortQueuedBuffers().IsOK()
    assert tx.RetrieveFreeBuffer(None, 5000).IsOK()
    gc.collect()
    assert gone() is None
    # Whatever a deleted transmitter still held goes with it.
    again = raw(b"z" * 100)
    gone = weakref.ref(again)
    assert tx.QueueBuffer(again).IsOK()
    del again
    gc.collect()
    assert gone() is not None
    del tx
    gc.collect()
    assert gone() is None
    receiver.close()
