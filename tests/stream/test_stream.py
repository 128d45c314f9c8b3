"""ZuStream and ZuStreamGEV from Python: the factory's tuple and kinds, the
queue's list and answers, the eighteen Open forms, held buffers, frames
byte for byte under loss, packet sizes changed and a camera restarted
under an open stream, hostile packets from the device's address, and the
interpreter lock let go while waiting."""
import gc
import itertools
import random
import socket
import struct
import sys
import time

import numpy as np
import pytest

import tarn_base_310 as tb
import tarn_receive_310 as tr
from support import error_of, needs_netns, prototypes
from support.streams import open_towards, queue
from support.devices import Responder, frame_bytes, send_frames
from support.threads import other_threads_ran_during

m = tr._tarn_receive_310
pytestmark = needs_netns()
_devices = itertools.count(2)


def device_address():
    """A device address of its own for each test."""
    return f"127.0.40.{next(_devices)}"


@pytest.fixture
def opened():
    """A stream opened on a fresh device address: (stream, address, port)."""
    address = device_address()
    result, stream = open_towards(address)
    assert result.IsOK()
    yield stream, address, m.ZuStreamGEV_GetLocalPort(stream)
    m.ZuStream_Free(stream)


def test_create_and_open_asks_the_device_and_returns_a_tuple_with_the_stream_as_its_kind():
    address = device_address()
    with Responder(address) as device:
        result, stream = m.ZuStream_CreateAndOpen(address)
        try:
            assert result.IsOK()
            assert type(stream).__name__ == "ZuStreamGEV"
            assert m.ZuStream_GetType(stream) == tr.ZuStreamTypeGEV == 0
            assert m.ZuStream_IsOpen(stream) is True
            assert m.ZuStreamGEV_GetDataReceiverType(stream) == tr.ZuDataReceiverTypeUserMode
        finally:
            m.ZuStream_Free(stream)
        # A device that stopped answering is not there to stream from, nor
        # is an address where nothing answers: (NOT_CONNECTED, None) after
        # a bounded wait.
        device.tell("mute")
        started = time.monotonic()
        for gone in (address, device_address()):
            outcome = m.ZuStream_CreateAndOpen(gone)
            assert type(outcome) is tuple and outcome[1] is None
            assert outcome[0].GetCode() == tr.ZU_NOT_CONNECTED, outcome[0].GetDescription()
            assert gone in outcome[0].GetDescription()
        assert time.monotonic() - started < 10
        device.tell("answer")
        result, stream = m.ZuStream_CreateAndOpen(address)
        assert result.IsOK()
        m.ZuStream_Free(stream)
    # No device information, or an address that is none: (result, None), no exception.
    for argument in (None, "not an address"):
        outcome = m.ZuStream_CreateAndOpen(argument)
        assert type(outcome) is tuple and len(outcome) == 2
        assert outcome[0].GetCode() == tr.ZU_INVALID_PARAMETER and outcome[1] is None
    assert error_of(m.ZuStream_CreateAndOpen, 5) == (TypeError, prototypes(
        "ZuStream_CreateAndOpen", "ZuStream::CreateAndOpen(ZuDeviceInfo const *,ZuResult *)",
        "ZuStream::CreateAndOpen(ZuString const &,ZuResult *)"))


def test_the_queue_answers_in_lists_and_aborted_buffers_come_back_in_order(opened):
    stream, _, _ = opened
    empty = m.ZuStream_RetrieveBuffer(stream, 0)
    assert type(empty) is list and len(empty) == 3
    assert empty[0].GetCode() == tr.ZU_NO_MORE_ITEM and empty[1] is None and empty[2] is not empty[0]
    buffers = queue(stream, 3, 100)
    assert m.ZuStream_QueueBuffer(stream, buffers[0]).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuStream_GetQueuedBufferCount(stream) == 3
    assert m.ZuStream_GetQueuedBufferMaximum(stream) == 64
    timeout = m.ZuStream_RetrieveBuffer(stream, 10)
    assert timeout[0].GetCode() == tr.ZU_TIMEOUT and timeout[1] is None
    assert m.ZuStream_AbortQueuedBuffers(stream).IsOK()
    for b in buffers:
        result, got, operation = m.ZuStream_RetrieveBuffer(stream)
        assert result.IsOK() and operation.GetCode() == tr.ZU_ABORTED
        assert got == b and not got.thisown
    assert m.ZuStream_GetQueuedBufferCount(stream) == 0
    assert m.ZuStream_RegisterEventSink(stream, None).GetCode() == tr.ZU_INVALID_PARAMETER


def test_retrieve_takes_a_timeout_of_32_bits_only():
    stream = m.new_ZuStreamGEV()
    alternatives = ("ZuStream::RetrieveBuffer(ZuBuffer **,ZuResult *,uint32_t)",
                    "ZuStream::RetrieveBuffer(ZuBuffer **,ZuResult *)")
    for timeout in (-1, 2 ** 32, 1.5, "1"):
        assert error_of(m.ZuStream_RetrieveBuffer, stream, timeout) == (
            TypeError, prototypes("ZuStream_RetrieveBuffer", *alternatives))
    kind, text = error_of(m.ZuStream_RetrieveBuffer, stream, 1, 2)
    assert kind is TypeError and text.startswith("ZuStream_RetrieveBuffer expected at most 2 arguments, got 3")
    assert m.ZuStream_RetrieveBuffer(stream, 0xFFFFFFFF)[0].GetCode() == tr.ZU_NO_MORE_ITEM


@pytest.mark.parametrize("args, check", [
    (("ADDRESS", 0), lambda s: m.ZuStreamGEV_GetSpecificLocalPort(s) == 0 and m.ZuStream_GetChannel(s) == 0),
    (("ADDRESS", "PORT"), lambda s: m.ZuStreamGEV_GetSpecificLocalPort(s) == m.ZuStreamGEV_GetLocalPort(s) != 0),
    (("ADDRESS", 0, 3), lambda s: m.ZuStream_GetChannel(s) == 3),
    (("ADDRESS", 0, 2, "127.0.0.1"), lambda s: m.ZuStreamGEV_GetLocalIPAddress(s) == "127.0.0.1"),
    (("ADDRESS", 0, 0, "", 5), lambda s: m.ZuStream_GetQueuedBufferMaximum(s) == 5),
    (("ADDRESS",), lambda s: m.ZuStream_GetQueuedBufferMaximum(s) == 64),
])
def test_open_by_text_takes_each_unicast_form_with_its_defaults(args, check):
    stream = m.new_ZuStreamGEV()
    address = device_address()
    port = 40000 + next(_devices)
    args = tuple(address if a == "ADDRESS" else port if a == "PORT" else a for a in args)
    assert m.ZuStreamGEV_Open(stream, *args).IsOK()
    assert m.ZuStreamGEV_GetDeviceIPAddress(stream) == address
    assert check(stream)
    m.delete_ZuStreamGEV(stream)


def test_open_forms_by_device_information_and_the_dispatch_errors():
    address = device_address()
    system = tb.ZuSystem()
    device = Responder(address, mac="02:00:00:00:28:01")
    try:
        found, info = system.FindDevice(address)
    finally:
        device.stop()
    assert found.IsOK()
    stream = m.new_ZuStreamGEV()
    # (info, int, int) is unicast; (info, str, int) multicast.
    assert m.ZuStreamGEV_Open(stream, info, 0, 1).IsOK()
    assert m.ZuStream_GetChannel(stream) == 1 and m.ZuStreamGEV_GetMulticastIPAddress(stream) == ""
    assert m.ZuStreamGEV_GetDeviceIPAddress(stream) == address
    assert m.ZuStream_Close(stream).IsOK()
    assert m.ZuStream_Open(stream, info).IsOK()
    assert m.ZuStream_Close(stream).IsOK()
    # A multicast address that is none reaches the SDK: the multicast form was chosen.
    assert m.ZuStreamGEV_Open(stream, info, "10.0.0.1", 1042).GetCode() == tr.ZU_INVALID_PARAMETER
    # Any first value that is no device information selects a text form.
    assert error_of(m.ZuStreamGEV_Open, stream, 5, 0) == (
        TypeError, "Argument 2: failed to create ZuString from Python string")
    assert error_of(m.ZuStream_Open, stream, 5) == (
        TypeError, "Argument 2: failed to create ZuString from Python string")
    kind, text = error_of(m.ZuStreamGEV_Open, stream, address, 70000)
    assert kind is TypeError and text.count("    ZuStreamGEV::Open(") == 18
    lines = text.splitlines()
    assert lines[2] == "    ZuStreamGEV::Open(ZuDeviceInfo const *)"
    assert lines[3] == "    ZuStreamGEV::Open(ZuDeviceInfo const *,uint16_t,uint16_t,ZuString const &,uint32_t)"
    assert lines[11] == "    ZuStreamGEV::Open(ZuString const &)"
    assert lines[19] == "    ZuStreamGEV::Open(ZuString const &,ZuString const &,uint16_t)"
    assert error_of(m.ZuStreamGEV_Open, stream, address, -1)[1] == text
    assert error_of(m.ZuStream_Open, stream) == (TypeError, prototypes(
        "ZuStream_Open", "ZuStream::Open(ZuDeviceInfo const *)", "ZuStream::Open(ZuString const &)"))
    m.delete_ZuStreamGEV(stream)


def test_settings_of_the_gev_kind_and_their_argument_texts():
    stream = m.new_ZuStreamGEV()
    assert m.ZuStreamGEV_GetUserModeSocketRxBufferSize(stream) == (m.ZuStreamGEV_GetUserModeSocketRxBufferSize(
        stream)[0], None)
    with open("/proc/sys/net/core/rmem_max") as f:
        rmem_max = int(f.read())
    assert m.ZuStreamGEV_SetUserModeSocketRxBufferSize(stream, rmem_max + 1).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuStreamGEV_SetUserModeRxPacketBufferSize(stream, 70000).IsOK()
    assert error_of(m.ZuStreamGEV_SetWaitForFirstPacketOfBlockToStart, stream, 1) == (
        TypeError, "in method 'ZuStreamGEV_SetWaitForFirstPacketOfBlockToStart', argument 2 of type 'bool'")
    assert m.ZuStreamGEV_SetWaitForFirstPacketOfBlockToStart(stream, True).IsOK()
    assert m.ZuStreamGEV_GetWaitForFirstPacketOfBlockToStart(stream) is True
    assert error_of(m.ZuStreamGEV_SetUserModeSocketRxBufferSize, stream, 2 ** 32)[0] is OverflowError
    assert m.ZuStreamGEV_Open(stream, device_address()).IsOK()
    result, size = m.ZuStreamGEV_GetUserModeSocketRxBufferSize(stream)
    assert result.IsOK() and rmem_max // 2 < size <= 2 * rmem_max
    assert m.ZuStreamGEV_SetUserModeRxPacketBufferSize(stream, 20000).GetCode() == tr.ZU_NETWORK_CONFIG_ERROR
    # None for either reference is refused by its position, not by the overload text.
    for args, position, kind in (((None, None), 1, "ZuString &"), ((tb.ZuString("1.2.3.4"), None), 2, "bool &"),
                                 ((None, None, "x"), 1, "ZuString &")):
        assert error_of(m.ZuStreamGEV_IsDriverInstalled, *args) == (TypeError, (
            f"invalid null reference in method 'ZuStreamGEV_IsDriverInstalled', argument {position} of type '{kind}'"))
    assert "Possible C/C++ prototypes" in error_of(m.ZuStreamGEV_IsDriverInstalled, "1.2.3.4", None)[1]
    parameters = m.ZuStream_GetParameters(stream)
    assert parameters.GetBooleanValue("StartStreamOnlyOnPacketIdZero")[1] is True
    assert parameters.GetIntegerValue("PipelineImagesDropped")[1] == 0
    m.delete_ZuStreamGEV(stream)


def test_frames_arrive_into_numpy_byte_for_byte_with_their_description(opened):
    stream, address, port = opened
    queue(stream, 4, 640 * 48)
    send_frames(address, port, 4, 640, 48, first_block=65534, linger_ms=50)
    for block in (65534, 65535, 1, 2):
        result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
        assert result.IsOK() and operation.IsOK()
        assert buffer.GetBlockID() == block
        image = buffer.GetImage()
        assert (image.GetWidth(), image.GetHeight(), image.GetPixelType()) == (640, 48, tb.ZuPixelMono8)
        pixels = image.GetDataPointer()
        assert pixels.shape == (48, 640) and pixels.dtype == np.uint8
        assert np.array_equal(pixels.reshape(-1), frame_bytes(640 * 48, block))


def test_lost_packets_are_recovered_and_refused_ones_end_the_frame(opened):
    stream, address, port = opened
    queue(stream, 6, 1000 * 100)
    send_frames(address, port, 6, 1000, 100, loss=0.1, seed=5)
    for block in range(1, 7):
        result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
        assert operation.IsOK(), (block, operation.GetCode())
        assert np.array_equal(buffer.GetDataPointer()[:100000], frame_bytes(100000, block))
    parameters = m.ZuStream_GetParameters(stream)
    assert parameters.GetIntegerValue("PacketsRecovered")[1] > 0
    # Refused: the frame ends with missing packets, and the next one comes whole.
    queue(stream, 2, 1000 * 100)
    send_frames(address, port, 1, 1000, 100, loss=0.3, seed=6, refuse=True, first_block=7)
    send_frames(address, port, 1, 1000, 100, first_block=8)
    result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
    assert operation.GetCode() == tr.ZU_MISSING_PACKETS and buffer.GetLostPacketCount() > 0
    result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
    assert operation.IsOK() and buffer.GetBlockID() == 8


def test_a_queued_buffer_lives_until_retrieved_whatever_the_script_drops(opened):
    stream, address, port = opened
    queue(stream, 3, 64 * 48)   # the script keeps no buffer
    gc.collect()
    send_frames(address, port, 3, 64, 48, linger_ms=20)
    for block in (1, 2, 3):
        result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
        assert operation.IsOK()
        view = buffer.GetDataPointer()
        del buffer
        gc.collect()
        # The view and what came back keep the memory; nothing was freed under them.
        assert np.array_equal(view, frame_bytes(64 * 48, block))


# What would move or free a buffer's memory; Free answers nothing.
MEMORY_CHANGES = {
    "Alloc": lambda b: b.Alloc(4096),
    "Attach": lambda b: b.Attach(np.zeros(4096, np.uint8)),
    "AllocChunk": lambda b: b.AllocChunk(64),
    "image Alloc": lambda b: b.GetImage().Alloc(8, 8, tb.ZuPixelMono8),
    "Free": lambda b: b.Free(),
    "Reset": lambda b: b.Reset(tb.ZuPayloadTypeRawData),
}


@pytest.mark.parametrize("holder", ["stream", "transmitter"])
def test_the_memory_of_a_queued_buffer_stays_until_it_is_handed_back(opened, holder):
    """The receiver fills, the transmitter sends and resends from, the memory
    the buffer had when it was queued: a change meanwhile is refused, so that
    neither reaches memory freed under it."""
    import tarn_edge_310 as te
    stream, _, port = opened
    buffer = tb.ZuBuffer()
    assert buffer.GetImage().Alloc(64, 48, tb.ZuPixelMono8).IsOK()
    where = buffer.GetDataPointer().ctypes.data
    if holder == "stream":
        assert m.ZuStream_QueueBuffer(stream, buffer).GetCode() == tr.ZU_PENDING
        hand_back = lambda: m.ZuStream_AbortQueuedBuffers(stream) and m.ZuStream_RetrieveBuffer(stream, 0)[0]
    else:
        tx = te.ZuTransmitterGEV()
        assert tx.Open(tb.ZuString("127.0.0.1"), port).IsOK()
        tx.SetSentBuffersTimeout(60000)
        assert tx.QueueBuffer(buffer).IsOK()
        hand_back = lambda: tx.AbortQueuedBuffers() and tx.RetrieveFreeBuffer(None, 5000)
    for name, change in MEMORY_CHANGES.items():
        answer = change(buffer)
        assert answer is None or answer.GetCode() == tr.ZU_STATE_ERROR, name
        assert buffer.GetDataPointer().ctypes.data == where and buffer.GetSize() == 64 * 48, name
    assert hand_back().IsOK()
    for name, change in MEMORY_CHANGES.items():
        answer = change(buffer)
        assert answer is None or answer.IsOK(), name


def test_a_freed_stream_proxy_refuses_use_and_what_it_held_goes(opened):
    stream, address, port = opened
    buffers = queue(stream, 2, 100)
    counts = [sys.getrefcount(b) for b in buffers]
    result, other = open_towards(device_address())
    m.ZuStream_Free(other)
    assert error_of(m.ZuStream_IsOpen, other) == (
        TypeError, "in method 'ZuStream_IsOpen', argument 1 of type 'ZuStream const *'")
    assert error_of(m.ZuStream_QueueBuffer, other, None) == (
        TypeError, "in method 'ZuStream_QueueBuffer', argument 1 of type 'ZuStream *'")
    m.ZuStream_Free(other)   # twice: nothing is freed again
    m.ZuStream_Free(stream)
    assert [sys.getrefcount(b) for b in buffers] == [c - 1 for c in counts]


def test_waiting_for_a_buffer_lets_other_threads_run(opened):
    stream, _, _ = opened
    queue(stream, 1, 100)
    ran, result = other_threads_ran_during(m.ZuStream_RetrieveBuffer, stream, 200)
    assert ran and result[0].GetCode() == tr.ZU_TIMEOUT


def gvsp(block, packet, fmt, body=b"", status=0):
    """A GVSP datagram with a standard header."""
    return struct.pack(">HHI", status, block, (fmt << 24) | packet) + body


def gvsp_leader(block, width, height, pixel=tb.ZuPixelMono8, timestamp=0):
    return gvsp(block, 0, 1, struct.pack(">BBHQIIIIIHH", 0, 0, 1, timestamp, pixel, width, height, 0, 0, 0, 0))


def gvsp_trailer(block, packet, height):
    return gvsp(block, packet, 2, struct.pack(">HHI", 0, 1, height))


def collect(stream, blocks, width, height, timeout_ms=5000):
    """Retrieves until every block of `blocks` came back or the time runs
    out: {block: operation code}; every frame that came back OK must be
    the test transmitter's, byte for byte and as it described it."""
    outcome = {}
    while not set(blocks) <= set(outcome):
        result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, timeout_ms)
        if not result.IsOK():
            break
        block = buffer.GetBlockID()
        if operation.IsOK():
            assert block in blocks, f"block {block} came back OK but was never sent"
            image = buffer.GetImage()
            assert (image.GetWidth(), image.GetHeight(), image.GetPixelType()) == (width, height, tb.ZuPixelMono8)
            assert np.array_equal(image.GetDataPointer().reshape(-1), frame_bytes(width * height, block)), block
        outcome.setdefault(block, operation.GetCode())
    return outcome


def test_each_frame_is_placed_by_its_own_packet_size(opened):
    # As after GevSCPSPacketSize lowered and raised between acquisitions.
    stream, address, port = opened
    queue(stream, 8, 200 * 100)
    block = 1
    for datagram in (8972, 1472, 4000, 8972):
        send_frames(address, port, 2, 200, 100, first_block=block, datagram=datagram, linger_ms=20)
        block += 2
    assert collect(stream, range(1, block), 200, 100) == {b: tr.ZU_OK for b in range(1, block)}


def test_a_camera_restarted_into_the_open_stream_resumes_once_it_shows_its_new_blocks(opened):
    stream, address, port = opened
    # The first session runs 300 blocks (no buffer takes them), then the
    # camera begins again at block 1: its first two blocks, sent whole, show
    # the new sequence, and every block from the third on comes.
    send_frames(address, port, 300, 16, 8, interval_ms=0, linger_ms=20)
    queue(stream, 20, 16 * 8)
    send_frames(address, port, 20, 16, 8, interval_ms=1, linger_ms=20)
    assert collect(stream, range(3, 21), 16, 8) == {b: tr.ZU_OK for b in range(3, 21)}


def _hostile(kind, block):
    noise = random.Random(block)
    if kind == "GenDC packet of 100 random bytes":
        return [gvsp(block, 1, 8, bytes(noise.randrange(256) for _ in range(100)))]
    if kind == "GenDC packet of 100 random bytes 20000 blocks ahead":
        data = bytearray(noise.randrange(256) for _ in range(100))
        data[2:4] = struct.pack(">H", block + 20000)
        data[4] = (data[4] & 0x70) | 8
        return [bytes(data)]
    if kind == "leader and trailer 30000 blocks ahead":
        far = (block + 30000 - 1) % 0xFFFF + 1
        return [gvsp_leader(far, 8, 8), gvsp_trailer(far, 1, 8)]
    if kind == "leader of 0xFFFFFFFF x 0xFFFFFFFF":
        return [gvsp_leader(block, 0xFFFFFFFF, 0xFFFFFFFF)]
    return [gvsp(block, 1, 8, bytes(1400))]   # a GenDC packet of 1400 zero bytes


@pytest.mark.parametrize("kind", ["GenDC packet of 100 random bytes", "GenDC packet of 100 random bytes 20000 blocks ahead",
                                  "leader and trailer 30000 blocks ahead", "leader of 0xFFFFFFFF x 0xFFFFFFFF",
                                  "GenDC packet of 1400 zero bytes"])
def test_one_hostile_packet_costs_at_most_the_block_it_names(opened, kind):
    stream, address, port = opened
    queue(stream, 30, 640 * 48)
    send_frames(address, port, 3, 640, 48, first_block=1, linger_ms=20)
    # From the device's own address, naming the block that comes next.
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind((address, 0))
        for datagram in _hostile(kind, 4):
            s.sendto(datagram, ("127.0.0.1", port))
    send_frames(address, port, 21, 640, 48, first_block=4, interval_ms=2, linger_ms=100)
    outcome = collect(stream, range(1, 25), 640, 48)
    genuine = [b for b in range(1, 25) if b != 4]
    assert {b: outcome.get(b) for b in genuine} == {b: tr.ZU_OK for b in genuine}


def test_a_line_padding_that_ends_inside_a_pixel_gives_no_image_view(opened):
    stream, address, port = opened
    queue(stream, 2, 64)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind((address, 0))
        for padding, block in ((1, 1), (3, 2)):
            line = 2 * 3 + padding
            leader = gvsp(block, 0, 1, struct.pack(">BBHQIIIIIHH", 0, 0, 1, 0, tb.ZuPixelRGB8, 2, 2, 0, 0, padding, 0))
            for datagram in (leader, gvsp(block, 1, 3, bytes(range(2 * line))), gvsp_trailer(block, 2, 2)):
                s.sendto(datagram, ("127.0.0.1", port))
    # One byte after each line of RGB8: no view (one at 6 bytes a line
    # would show the second line shifted); three bytes: a pixel of padding.
    result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
    assert operation.IsOK() and buffer.GetBlockID() == 1
    assert buffer.GetImage().GetDataPointer().size == 0 and buffer.GetImage().GetWidth() == 0
    result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
    assert operation.IsOK() and buffer.GetImage().GetPaddingX() == 1
    assert buffer.GetImage().GetDataPointer()[1, :2].tolist() == [[9, 10, 11], [12, 13, 14]]


def test_the_parameters_refuse_use_once_the_stream_is_freed(py):
    # The proxy keeps the stream's proxy, not the stream: freed, its
    # parameters and their features and categories (proxies or bare pointer
    # objects) get the freed object's error.
    # Dropped, the parameters no longer keep the stream's proxy.
    out = py("""
        import gc, weakref, tarn_base_310, tarn_receive_310 as tr
        m = tr._tarn_receive_310
        stream = tr.ZuStreamGEV()
        kept = weakref.ref(stream)
        params = stream.GetParameters()
        print(m.ZuStream_GetParameters(stream) is params, params.GetIntegerValue("PacketCount")[1])
        del stream
        gc.collect()
        print(kept() is not None)
        del params
        gc.collect()
        print(kept() is None)
        for stream in (tr.ZuStreamGEV(), m.new_ZuStreamGEV()):
            params = m.ZuStream_GetParameters(stream)
            feature, bare = params.GetInteger("PacketCount"), params.this
            features = [m.ZuGenParameterArray_Get(params, "PacketCount").this, params.GetCategory(0).this]
            tr.ZuStream.Free(stream)
            for call in (params.GetCount, lambda: m.ZuGenParameterArray_GetCount(bare), feature.GetValue,
                         lambda: m.ZuGenParameter_GetName(features[0]), lambda: m.ZuGenCategory_GetName(features[1])):
                try:
                    call()
                    print("no error")
                except TypeError as error:
                    print(str(error).split(",")[0])
    """).stdout
    assert out.splitlines() == ["True 0", "True", "True"] + [
        "in method 'ZuGenParameterArray_GetCount'", "in method 'ZuGenParameterArray_GetCount'",
        "in method 'ZuGenInteger_GetValue'", "in method 'ZuGenParameter_GetName'", "in method 'ZuGenCategory_GetName'"] * 2
