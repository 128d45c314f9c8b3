"""End to end: NumPy frames sent by a transmitter, received by the receiving
module's stream byte for byte; with packets lost at the sender, the
stream's resend requests reach the control responder, which hands them to
the transmitter, and every frame still arrives whole."""
import itertools
import time

import numpy as np
import pytest

import tarn_base_310 as tb
import tarn_edge_310 as te
import tarn_receive_310 as tr
from support import needs_netns
from support.streams import open_towards

m = tr._tarn_receive_310
pytestmark = [needs_netns(), pytest.mark.skipif(not hasattr(m, "ZuStream_CreateAndOpen"),
                                                reason="the receiving module has no stream yet")]
_devices = itertools.count(2)
WIDTH, HEIGHT = 640, 48


def image(seed):
    buffer = tb.ZuBuffer()
    assert buffer.GetImage().Alloc(WIDTH, HEIGHT, tb.ZuPixelMono8).IsOK()
    pixels = np.random.default_rng(seed).integers(0, 256, (HEIGHT, WIDTH), dtype=np.uint8)
    buffer.GetImage().GetDataPointer()[:] = pixels
    return buffer, pixels


class Road:
    """A responder and its transmitter on an address of their own, and the
    receiving module's stream towards it with buffers queued."""

    def __init__(self, frames, extended=False):
        self.address = f"127.0.42.{next(_devices)}"
        result, self.stream = open_towards(self.address)
        assert result.IsOK()
        self.held = []
        for _ in range(frames):
            b = tb.ZuBuffer()
            assert b.Alloc(WIDTH * HEIGHT + 4096).IsOK()
            assert m.ZuStream_QueueBuffer(self.stream, b).GetCode() == tr.ZU_PENDING
            self.held.append(b)
        self.tx = te.ZuTransmitterGEV()
        local = m.ZuStreamGEV_GetLocalIPAddress(self.stream) or "127.0.0.1"
        assert self.tx.Open(tb.ZuString(local), m.ZuStreamGEV_GetLocalPort(self.stream),
                            tb.ZuString(self.address), 0, True, extended, 64, False, 64).IsOK()
        self.tx.SetSentBuffersTimeout(5000)
        self.device = te.ZuVirtualDeviceGEV()
        assert self.device.AddTransmitterGEV(self.tx).IsOK()
        assert self.device.StartListening(tb.ZuString(self.address)).IsOK()

    def retrieve(self):
        result, buffer, operation = m.ZuStream_RetrieveBuffer(self.stream, 10000)
        assert result.IsOK(), result.GetCode()
        return buffer, operation

    def close(self):
        self.device.StopListening()
        self.tx.Close()
        m.ZuStream_Free(self.stream)


def test_numpy_frames_arrive_byte_for_byte():
    road = Road(4)
    try:
        frames = [image(seed) for seed in range(4)]
        for buffer, _ in frames:
            assert road.tx.QueueBuffer(buffer).IsOK()
        for block, (_, pixels) in enumerate(frames, 1):
            buffer, operation = road.retrieve()
            assert operation.IsOK()
            assert buffer.GetBlockID() == block
            got = buffer.GetImage()
            assert (got.GetWidth(), got.GetHeight(), got.GetPixelType()) == (WIDTH, HEIGHT, tb.ZuPixelMono8)
            assert np.array_equal(got.GetDataPointer(), pixels)
        # The sender counts a block once its last packet is out, which the
        # receiver may see first.
        deadline = time.monotonic() + 10
        while road.tx.GetBlocksTransmitted() < 4 and time.monotonic() < deadline:
            time.sleep(0.01)
        assert road.tx.GetBlocksTransmitted() == 4
    finally:
        road.close()


def test_packets_lost_at_the_sender_come_again_through_the_responder():
    import tarn_transmitter_testext as ext
    road = Road(6)
    try:
        per_packet = 1500 - 28 - 8
        data_packets = -(-WIDTH * HEIGHT // per_packet)
        ext.drop_packets(road.tx, 0.1, 7, 1, data_packets)
        frames = [image(10 + seed) for seed in range(6)]
        for buffer, _ in frames:
            assert road.tx.QueueBuffer(buffer).IsOK()
        for block, (_, pixels) in enumerate(frames, 1):
            buffer, operation = road.retrieve()
            assert operation.IsOK(), (block, operation.GetCode())
            assert np.array_equal(buffer.GetImage().GetDataPointer(), pixels)
        assert road.tx.GetNumberOfResendRequests() > 0
        assert ext.packets_resent(road.tx) > 0
    finally:
        road.close()


def test_an_image_with_chunks_and_a_multi_part_container_arrive_as_they_were_sent():
    road = Road(2)
    try:
        chunked = tb.ZuBuffer()
        assert chunked.GetImage().Alloc(WIDTH, HEIGHT, tb.ZuPixelMono8, 0, 0, 64).IsOK()
        pixels = np.random.default_rng(3).integers(0, 256, (HEIGHT, WIDTH), dtype=np.uint8)
        chunked.GetImage().GetDataPointer()[:] = pixels
        assert chunked.AddChunk(0x1234, b"abcd").IsOK()
        assert chunked.AddChunk(7, b"wxyz1234").IsOK()
        parts = tb.ZuBuffer(tb.ZuPayloadTypeMultiPart)
        container = parts.GetMultiPartContainer()
        assert container.AddImagePart(tb.ZuMultiPart2DImage, 64, 8, tb.ZuPixelMono8).IsOK()
        assert container.AddImagePart(tb.ZuMultiPartConfidenceMap, 32, 4, tb.ZuPixelMono16).IsOK()
        assert container.AllocAllParts().IsOK()
        sent = []
        for index in range(2):
            memory = container.GetPart(index).GetDataPointer()
            values = np.random.default_rng(20 + index).integers(0, 256, memory.size, dtype=np.uint8)
            memory.reshape(-1).view(np.uint8)[:] = values
            sent.append(values)
        assert road.tx.QueueBuffer(chunked).IsOK()
        assert road.tx.QueueBuffer(parts).IsOK()

        buffer, operation = road.retrieve()
        assert operation.IsOK()
        assert np.array_equal(buffer.GetImage().GetDataPointer(), pixels)
        assert buffer.HasChunks() and buffer.GetChunkCount() == 2
        assert bytes(buffer.GetChunkRawDataByID(0x1234)) == b"abcd"
        assert bytes(buffer.GetChunkRawDataByID(7)) == b"wxyz1234"

        buffer, operation = road.retrieve()
        assert operation.IsOK()
        assert buffer.GetPayloadType() == tb.ZuPayloadTypeMultiPart
        got = buffer.GetMultiPartContainer()
        assert got.GetPartCount() == 2
        for index, values in enumerate(sent):
            part = got.GetPart(index)
            assert part.GetDataType() == (tb.ZuMultiPart2DImage, tb.ZuMultiPartConfidenceMap)[index]
            assert np.array_equal(part.GetDataPointer().reshape(-1).view(np.uint8)[:values.size], values)
    finally:
        road.close()


def test_a_compressed_image_arrives_as_encoded_and_decodes_to_the_original():
    road = Road(2)
    try:
        original = tb.ZuBuffer()
        assert original.GetImage().Alloc(WIDTH, HEIGHT, tb.ZuPixelMono16).IsOK()
        ramp = (np.arange(WIDTH * HEIGHT, dtype=np.uint16) * 7).reshape(HEIGHT, WIDTH)
        original.GetImage().GetDataPointer().view(np.uint16)[:] = ramp
        compressed = tb.ZuBuffer()
        assert tr.ZuCompressionFilter().Execute(original, compressed)[0].IsOK()
        encoded = np.array(compressed.GetDataPointer()).reshape(-1)
        bands, payload = np.frombuffer(encoded[36:44].tobytes(), "<u4")
        size = 48 + 4 * int(bands) + int(payload)
        assert road.tx.QueueBuffer(compressed).IsOK()

        buffer, operation = road.retrieve()
        assert operation.IsOK()
        assert buffer.GetPayloadType() == tb.ZuPayloadTypeMorvekCompressed
        got = np.array(buffer.GetDataPointer()).reshape(-1)
        # The encoding travels as it is, and no byte more.
        assert got.size >= size and np.array_equal(got[:size], encoded[:size])
        assert buffer.GetAcquiredSize() == size
        result, pixel_type, width, height = tr.ZuDecompressionFilter.GetOutputFormatFor(buffer)
        assert result.IsOK() and (pixel_type, width, height) == (tb.ZuPixelMono16, WIDTH, HEIGHT)
        image = tb.ZuBuffer()
        assert tr.ZuDecompressionFilter().Execute(buffer, image)[0].IsOK()
        assert np.array_equal(image.GetImage().GetDataPointer().view(np.uint16), ramp)
    finally:
        road.close()


def test_a_buffer_that_claims_compression_but_holds_no_encoding_is_refused():
    road = Road(1)
    try:
        fake = tb.ZuBuffer(tb.ZuPayloadTypeMorvekCompressed)
        assert fake.Alloc(256).IsOK()
        fake.GetDataPointer()[:] = 0x89
        genuine, pixels = image(5)
        result = road.tx.QueueBuffer(fake)
        assert result.GetCode() == tb.ZU_INVALID_PARAMETER, result.GetCode()
        assert road.tx.QueueBuffer(genuine).IsOK()
        buffer, operation = road.retrieve()
        assert operation.IsOK()
        assert np.array_equal(buffer.GetImage().GetDataPointer(), pixels)
    finally:
        road.close()
