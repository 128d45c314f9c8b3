"""Frames of Aravis's fake GigE Vision camera received by our stream and our
pipeline into NumPy: the sizes, pixel type and block ids the camera sent,
without a missing packet. The camera is started and stopped through its
registers over GVCP (stream channel 0 and its acquisition register)."""
import socket
import struct

import numpy as np
import pytest

import tarn_base_310 as tb
import tarn_receive_310 as tr
from support import needs_netns
from support.devices import FakeCamera, skip_without
from support.gvcp import PORT, command, ip_number

m = tr._tarn_receive_310
pytestmark = needs_netns()

WRITEREG_CMD, READREG_CMD = 0x0082, 0x0080
PRIVILEGE, SCP0, SCDA0 = 0x0A00, 0x0D00, 0x0D18
WIDTH, HEIGHT, PIXEL_FORMAT, ACQUISITION = 0x100, 0x104, 0x128, 0x124


class Registers:
    """Reads and writes the camera's registers, one command at a time."""

    def __init__(self, address):
        self.address = address
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.settimeout(1)
        self.req = 0

    def _exchange(self, code, payload):
        self.req += 1
        self.sock.sendto(command(code, payload, req_id=self.req), (self.address, PORT))
        answer, _ = self.sock.recvfrom(600)
        status, _, _, ack = struct.unpack(">HHHH", answer[:8])
        assert status == 0 and ack == self.req
        return answer[8:]

    def write(self, register, value):
        self._exchange(WRITEREG_CMD, struct.pack(">II", register, value))

    def read(self, register):
        return struct.unpack(">I", self._exchange(READREG_CMD, struct.pack(">I", register)))[0]

    def close(self):
        self.sock.close()


@pytest.fixture
def camera():
    skip_without(FakeCamera.TOOL)
    with FakeCamera() as cam:
        regs = Registers(cam.address)
        regs.write(PRIVILEGE, 2)
        regs.write(WIDTH, 320)
        regs.write(HEIGHT, 240)
        yield regs
        regs.write(ACQUISITION, 0)
        regs.close()


def stream_to_us(regs):
    result, stream = m.ZuStream_CreateAndOpen(regs.address)
    assert result.IsOK()
    regs.write(SCDA0, ip_number("127.0.0.1"))
    regs.write(SCP0, m.ZuStreamGEV_GetLocalPort(stream))
    return stream


def check_frames(frames, pixel):
    blocks = [b for b, _ in frames]
    assert all(later == earlier % 0xFFFF + 1 for earlier, later in zip(blocks, blocks[1:]))
    for _, pixels in frames:
        assert pixels.shape == (240, 320) and pixels.dtype == np.uint8
    assert pixel == tb.ZuPixelMono8


def test_frames_of_the_fake_camera_through_the_stream(camera):
    stream = stream_to_us(camera)
    buffers = []
    for _ in range(6):
        b = tb.ZuBuffer()
        b.Alloc(320 * 240)
        m.ZuStream_QueueBuffer(stream, b)
        buffers.append(b)
    camera.write(ACQUISITION, 1)
    frames = []
    for _ in range(6):
        result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
        assert result.IsOK() and operation.IsOK()
        assert buffer.GetLostPacketCount() == 0 and buffer.GetMissingPacketIdsCount()[1] == 0
        image = buffer.GetImage()
        frames.append((buffer.GetBlockID(), image.GetDataPointer().copy()))
        pixel = image.GetPixelType()
        m.ZuStream_QueueBuffer(stream, buffer)
    camera.write(ACQUISITION, 0)
    check_frames(frames, pixel)
    assert camera.read(PIXEL_FORMAT) == pixel
    m.ZuStream_Free(stream)


def test_frames_of_the_fake_camera_through_the_pipeline(camera):
    stream = stream_to_us(camera)
    pipeline = m.new_ZuPipeline(stream)
    m.ZuPipeline_SetBufferSize(pipeline, 320 * 240)
    assert m.ZuPipeline_Start(pipeline).IsOK()
    camera.write(ACQUISITION, 1)
    frames = []
    for _ in range(6):
        result, buffer, operation = m.ZuPipeline_RetrieveNextBuffer(pipeline, 5000)
        assert result.IsOK() and operation.IsOK()
        assert buffer.GetLostPacketCount() == 0
        image = buffer.GetImage()
        frames.append((buffer.GetBlockID(), image.GetDataPointer().copy()))
        pixel = image.GetPixelType()
        m.ZuPipeline_ReleaseBuffer(pipeline, buffer)
    camera.write(ACQUISITION, 0)
    assert m.ZuPipeline_Stop(pipeline).IsOK()
    check_frames(frames, pixel)
    m.delete_ZuPipeline(pipeline)
    m.ZuStream_Free(stream)
