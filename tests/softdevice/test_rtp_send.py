"""The software camera streaming over RTP: the StreamProtocol feature that
SetRTPProtocolEnabled adds, images received byte for byte by our
ZuStreamRTP, H.264 access units, blocks RTP cannot carry, and the SAP
announcements of each stream."""
import socket
import struct

import numpy as np
import pytest

import tarn_edge_310 as te
from support import needs_netns
from support.rtpcamera import H264Source, RtpCamera, SapListener, rgb_pattern
from support.softcamera import NumpySource, PaddedSource, pattern
from support.streams import access_unit, queue

tr = pytest.importorskip("tarn_receive_310")
m = tr._tarn_receive_310
pytestmark = needs_netns()

# The channel's protocol register, beside its other device-specific ones.
PROTOCOL_REGISTER = 0x00010044


@pytest.fixture
def rtp():
    stream = m.new_ZuStreamRTP()
    yield stream
    m.ZuStream_Close(stream)
    m.delete_ZuStreamRTP(stream)


def open_rtp(stream, width, height, pixel, buffers=8):
    assert m.ZuStreamRTP_PrepareFor(stream, width, height, pixel).IsOK()
    assert m.ZuStreamRTP_Open(stream, "127.0.0.1", 0).IsOK()
    queue(stream, buffers, width * height * 4)
    return m.ZuStreamRTP_GetLocalPort(stream)


def frames(stream, count, size):
    """The next `count` complete frames' bytes, among the next few."""
    out = []
    for _ in range(count * 8):
        if len(out) == count:
            break
        result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
        assert result.IsOK(), result.GetCodeString()
        if operation.IsOK():
            out.append(bytes(np.asarray(buffer.GetDataPointer())[:size]))
        assert m.ZuStream_QueueBuffer(stream, buffer).GetCode() == tr.ZU_PENDING
    assert len(out) == count, f"{len(out)} of {count} frames complete"
    return out


def numbers(received, make, height, width, limit=400):
    """The frame numbers of received frames, each matched byte for byte."""
    out = []
    for data in received:
        match = [n for n in range(limit) if make(n, height, width).tobytes() == data]
        assert match, "a frame that the source never made"
        out.append(match[0])
    return out


def test_without_the_switch_there_is_no_protocol_feature():
    source = NumpySource()
    with RtpCamera(81, source, rtp=False) as cam:
        ok, xml = cam.device.GetGenICamXMLFile()
        assert ok.IsOK() and "StreamProtocol" not in xml and "GevSCPD" in xml
        assert not cam.params.GetEnumValueString("StreamProtocol")[0].IsOK()
        assert not cam.protocol("RTP").IsOK()
        result, value = cam.controller.ReadRegister(PROTOCOL_REGISTER)
        assert not result.IsOK()


def test_images_arrive_byte_identical_and_the_protocol_is_held_while_streaming(rtp):
    # RGB lines of 150 bytes in packets of 1000: segments cross lines.
    W, H = 50, 30
    source = NumpySource(width=W, height=H, pixel=te.ZuPixelRGB8, frame=rgb_pattern)
    with RtpCamera(82, source) as cam:
        assert cam.params.GetEnumValueString("StreamProtocol")[1] == "GVSP"
        result, value = cam.controller.ReadRegister(PROTOCOL_REGISTER)
        assert result.IsOK() and value == 0
        assert cam.protocol("RTP").IsOK()
        result, value = cam.controller.ReadRegister(PROTOCOL_REGISTER)
        assert result.IsOK() and value == 1
        assert not cam.controller.WriteRegister(PROTOCOL_REGISTER, 2).IsOK()
        port = open_rtp(rtp, W, H, tr.ZuPixelRGB8)
        cam.stream_to(port, packet_size=1000 + 28)
        cam.start()
        got = frames(rtp, 6, W * H * 3)
        # Streaming: no change of protocol, by feature or by register.
        assert not cam.protocol("GVSP").IsOK()
        assert not cam.controller.WriteRegister(PROTOCOL_REGISTER, 0).IsOK()
        cam.stop_acquisition()
        assert cam.params.GetEnumValueString("StreamProtocol")[1] == "RTP"
    seen = numbers(got, rgb_pattern, H, W)
    assert seen == list(range(seen[0], seen[0] + 6))


def test_padded_images_arrive_without_their_padding(rtp):
    # Three pixels of padding after each line of RGB8 are nine bytes the
    # sender skips; taken for three, every line after the first would shift.
    W, H = 50, 30
    source = PaddedSource(width=W, height=H, pixel=te.ZuPixelRGB8, frame=rgb_pattern)
    with RtpCamera(78, source) as cam:
        assert cam.protocol("RTP").IsOK()
        port = open_rtp(rtp, W, H, tr.ZuPixelRGB8)
        cam.stream_to(port, packet_size=1000 + 28)
        cam.start()
        got = frames(rtp, 3, W * H * 3)
        cam.stop_acquisition()
    seen = numbers(got, rgb_pattern, H, W)
    assert seen == list(range(seen[0], seen[0] + 3))


def test_each_stream_channel_has_its_own_protocol():
    with RtpCamera(89, [NumpySource(), NumpySource()]) as cam:
        assert cam.params.SetIntegerValue("GevStreamChannelSelector", 1).IsOK()
        assert cam.protocol("RTP").IsOK()
        assert cam.controller.ReadRegister(PROTOCOL_REGISTER)[1] == 0
        assert cam.controller.ReadRegister(PROTOCOL_REGISTER + 0x100)[1] == 1
        assert cam.params.SetIntegerValue("GevStreamChannelSelector", 0).IsOK()
        assert cam.params.GetEnumValueString("StreamProtocol")[1] == "GVSP"


def test_gvsp_stays_the_default_with_rtp_selectable():
    source = NumpySource(width=32, height=8)
    with RtpCamera(83, source) as cam, socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sink:
        sink.bind(("127.0.0.1", 0))
        sink.settimeout(5)
        cam.stream_to(sink.getsockname()[1])
        cam.start()
        data, sender = sink.recvfrom(65536)
        cam.stop_acquisition()
    # A GVSP leader (format 1), not an RTP version-2 header.
    status, block, fmt = struct.unpack(">HHB", data[:5])
    assert status == 0 and fmt & 0x0F == 1 and data[0] >> 6 != 2, data[:8]


def test_h264_access_units_come_back_unchanged(rtp):
    source = H264Source(width=64, height=48)
    with RtpCamera(84, source) as cam:
        assert cam.protocol("RTP").IsOK()
        assert m.ZuStreamRTP_PrepareForH264(rtp).IsOK()
        assert m.ZuStreamRTP_Open(rtp, "127.0.0.1", 0).IsOK()
        queue(rtp, 8, H264Source.SIZE)
        # Slices of 900 bytes and more in packets of 600: FU-A.
        cam.stream_to(m.ZuStreamRTP_GetLocalPort(rtp), packet_size=600 + 28)
        cam.start()
        got = []
        for _ in range(48):
            if len(got) == 6:
                break
            result, buffer, operation = m.ZuStream_RetrieveBuffer(rtp, 5000)
            assert result.IsOK(), result.GetCodeString()
            if operation.IsOK():
                got.append(bytes(np.asarray(buffer.GetDataPointer())[:buffer.GetAcquiredSize()]))
            m.ZuStream_QueueBuffer(rtp, buffer)
        cam.stop_acquisition()
    first = [n for n in range(200) if access_unit(n) == got[0]]
    assert first, "an access unit the source never made"
    assert got == [access_unit(n) for n in range(first[0], first[0] + 6)]


class AlternatingSource(NumpySource):
    """Mono8 frames, every other one Mono16, which RTP has no sampling for."""

    def fill(self, buffer, number):
        image = buffer.GetImage()
        if number % 2:
            assert image.Alloc(self.width, self.height, te.ZuPixelMono16).IsOK()
            return
        assert image.Alloc(self.width, self.height, te.ZuPixelMono8).IsOK()
        image.GetDataPointer()[...] = self.frame(number, self.height, self.width)


def test_blocks_rtp_cannot_carry_are_dropped_not_sent(rtp):
    W, H = 40, 20
    with RtpCamera(85, AlternatingSource(width=W, height=H)) as cam:
        assert cam.protocol("RTP").IsOK()
        port = open_rtp(rtp, W, H, tr.ZuPixelMono8)
        cam.stream_to(port)
        cam.start()
        got = frames(rtp, 5, W * H)
        cam.stop_acquisition()
    seen = numbers(got, pattern, H, W)
    # Only the even frames, each whole, none skipped.
    assert all(n % 2 == 0 for n in seen) and seen == list(range(seen[0], seen[0] + 10, 2))


def test_sap_announces_the_stream_repeats_and_withdraws_it(rtp):
    W, H = 64, 48
    with SapListener() as sap, RtpCamera(86, NumpySource(width=W, height=H)) as cam:
        assert cam.protocol("RTP").IsOK()
        port = open_rtp(rtp, W, H, tr.ZuPixelMono8)
        cam.stream_to(port)
        cam.start()
        first = sap.next(cam.address)
        again = sap.next(cam.address)
        frames(rtp, 2, W * H)
        cam.stop_acquisition()
        gone = sap.next(cam.address, deletion=True)
    assert again.hash == first.hash == gone.hash and again.sdp == first.sdp == gone.sdp
    assert first.values("v") == ["0"]
    origin = first.values("o")[0].split()
    assert origin[3:] == ["IN", "IP4", cam.address]
    assert first.values("c") == ["IN IP4 127.0.0.1"]
    assert first.values("m") == [f"video {port} RTP/AVP 96"]
    assert "rtpmap:96 raw/90000" in first.values("a")
    assert first.fmtp() == {"sampling": "GRAYSCALE", "width": str(W), "height": str(H), "depth": "8",
                            "colorimetry": "BT709-2"}


def test_h264_is_announced_as_such():
    with SapListener() as sap, RtpCamera(87, H264Source()) as cam, \
            socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sink:
        sink.bind(("127.0.0.1", 0))
        port = sink.getsockname()[1]
        assert cam.protocol("RTP").IsOK()
        cam.stream_to(port)
        cam.start()
        a = sap.next(cam.address)
        cam.stop_acquisition()
    assert a.values("m") == [f"video {port} RTP/AVP 96"]
    assert "rtpmap:96 H264/90000" in a.values("a") and "fmtp:96 packetization-mode=1" in a.values("a")


def test_a_new_controller_finds_gvsp_again():
    """The protocol goes back to GVSP with the session, as the channel's
    destination does: the next controller finds the default."""
    with RtpCamera(88, NumpySource()) as cam:
        assert cam.protocol("RTP").IsOK()
        cam.reconnect()
        assert cam.params.GetEnumValueString("StreamProtocol")[1] == "GVSP"
