"""Frames of Aravis's fake GigE Vision camera received by our stream and our
pipeline into NumPy, the camera connected, set up, started and stopped
through our device control: the sizes, pixel type and block ids the camera
sent, without a missing packet."""
import numpy as np
import pytest

import tarn_base_310 as tb
import tarn_receive_310 as tr
from support import needs_netns
from support.devices import FakeCamera, skip_without

m = tr._tarn_receive_310
pytestmark = needs_netns()


@pytest.fixture
def camera():
    """(device, its features) of a connected fake camera set to 320 x 240."""
    skip_without(FakeCamera.TOOL)
    with FakeCamera():
        result, device = m.ZuDevice_CreateAndConnect("127.0.0.1")
        assert result.IsOK() and type(device).__name__ == "ZuDeviceGEV"
        features = m.ZuDevice_GetParameters(device)
        assert features.SetIntegerValue("Width", 320).IsOK()
        assert features.SetIntegerValue("Height", 240).IsOK()
        yield device, features
        features.ExecuteCommand("AcquisitionStop")
        m.ZuDevice_Free(device)


def stream_to_us(device):
    result, stream = m.ZuStream_CreateAndOpen("127.0.0.1")
    assert result.IsOK()
    assert m.ZuDeviceGEV_SetStreamDestination(device, m.ZuStreamGEV_GetLocalIPAddress(stream),
                                              m.ZuStreamGEV_GetLocalPort(stream)).IsOK()
    return stream


def check_frames(frames, features):
    blocks = [b for b, _, _ in frames]
    assert all(later == earlier % 0xFFFF + 1 for earlier, later in zip(blocks, blocks[1:]))
    result, pixel_format = features.GetEnumValueInt("PixelFormat")
    assert result.IsOK()
    for _, pixels, pixel in frames:
        assert pixels.shape == (240, 320) and pixels.dtype == np.uint8
        assert pixel == tb.ZuPixelMono8 == pixel_format


def test_frames_of_the_fake_camera_through_the_stream(camera):
    device, features = camera
    stream = stream_to_us(device)
    buffers = []
    for _ in range(6):
        b = tb.ZuBuffer()
        b.Alloc(320 * 240)
        m.ZuStream_QueueBuffer(stream, b)
        buffers.append(b)
    assert features.ExecuteCommand("AcquisitionStart").IsOK()
    frames = []
    for _ in range(6):
        result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
        assert result.IsOK() and operation.IsOK()
        assert buffer.GetLostPacketCount() == 0 and buffer.GetMissingPacketIdsCount()[1] == 0
        image = buffer.GetImage()
        frames.append((buffer.GetBlockID(), image.GetDataPointer().copy(), image.GetPixelType()))
        m.ZuStream_QueueBuffer(stream, buffer)
    assert features.ExecuteCommand("AcquisitionStop").IsOK()
    check_frames(frames, features)
    m.ZuStream_Free(stream)


def test_frames_of_the_fake_camera_through_the_pipeline(camera):
    device, features = camera
    stream = stream_to_us(device)
    pipeline = m.new_ZuPipeline(stream)
    m.ZuPipeline_SetBufferSize(pipeline, 320 * 240)
    assert m.ZuPipeline_Start(pipeline).IsOK()
    assert features.ExecuteCommand("AcquisitionStart").IsOK()
    frames = []
    for _ in range(6):
        result, buffer, operation = m.ZuPipeline_RetrieveNextBuffer(pipeline, 5000)
        assert result.IsOK() and operation.IsOK()
        assert buffer.GetLostPacketCount() == 0
        image = buffer.GetImage()
        frames.append((buffer.GetBlockID(), image.GetDataPointer().copy(), image.GetPixelType()))
        m.ZuPipeline_ReleaseBuffer(pipeline, buffer)
    assert features.ExecuteCommand("AcquisitionStop").IsOK()
    assert m.ZuPipeline_Stop(pipeline).IsOK()
    check_frames(frames, features)
    m.delete_ZuPipeline(pipeline)
    m.ZuStream_Free(stream)
