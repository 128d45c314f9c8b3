"""ZuStreamRTP and ZuStreamU3V from Python: the Open forms and their
defaults, argument texts, and RTP streams sent by GStreamer (uncompressed
video over UDP and over TCP, H.264 access units) received intact into NumPy,
beside packets that are no RTP at all."""
import shutil
import socket
import struct
import subprocess
import time

import numpy as np
import pytest

import tarn_base_310 as tb
import tarn_receive_310 as tr
from support import error_of, needs_netns
from support.streams import access_unit, queue

m = tr._tarn_receive_310
pytestmark = needs_netns()
W, H = 64, 48


def gst(*pipeline):
    """gst-launch-1.0 with a pipeline, in the background."""
    if not shutil.which("gst-launch-1.0"):
        pytest.skip("GStreamer not installed (apt-get install gstreamer1.0-tools gstreamer1.0-plugins-good)")
    return subprocess.Popen(["gst-launch-1.0", "-q", *" ".join(pipeline).split()],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)


def finish(proc):
    try:
        _, err = proc.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()
        _, err = proc.communicate()
    assert proc.returncode == 0, err


def frames(count, bytes_per_pixel, seed=0):
    """Frames each different in every byte: frame k starts with k + 1."""
    rng = np.random.default_rng(seed)
    out = rng.integers(0, 256, (count, H, W * bytes_per_pixel), dtype=np.uint8)
    out[:, 0, 0] = np.arange(1, count + 1)
    return out


def retrieve(stream, timeout=5000):
    result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, timeout)
    assert result.IsOK(), result.GetCode()
    return buffer, operation


@pytest.fixture
def rtp():
    stream = m.new_ZuStreamRTP()
    yield stream
    m.delete_ZuStreamRTP(stream)


@pytest.mark.parametrize("fmt, pixel, bpp", [("rgb", tr.ZuPixelRGB8, 3), ("uyvy", tr.ZuPixelYUV422_8_UYVY, 2),
                                             ("bgra", tr.ZuPixelBGRa8, 4)])
def test_gstreamer_video_over_udp_arrives_intact(tmp_path, rtp, fmt, pixel, bpp):
    sent = frames(6, bpp)
    (tmp_path / "frames.raw").write_bytes(sent.tobytes())
    assert m.ZuStreamRTP_PrepareFor(rtp, W, H, pixel).IsOK()
    assert m.ZuStreamRTP_Open(rtp, "127.0.0.1", 0).IsOK()
    port = m.ZuStreamRTP_GetLocalPort(rtp)
    assert port and m.ZuStreamRTP_GetLocalIPAddress(rtp) == "127.0.0.1"
    queue(rtp, 8, W * H * bpp)
    finish(gst(f"filesrc location={tmp_path / 'frames.raw'} ! rawvideoparse width={W} height={H} format={fmt}",
               f"framerate=60/1 ! rtpvrawpay mtu=1000 ! udpsink host=127.0.0.1 port={port} sync=true"))
    for k in range(6):
        buffer, operation = retrieve(rtp)
        assert operation.IsOK(), operation.GetCode()
        image = buffer.GetImage()
        assert (image.GetWidth(), image.GetHeight(), image.GetPixelType()) == (W, H, pixel)
        assert np.array_equal(np.asarray(buffer.GetDataPointer())[:W * H * bpp], sent[k].reshape(-1)), k
    parameters = m.ZuStream_GetParameters(rtp)
    assert parameters.GetIntegerValue("BlockCount")[1] == 6


def test_gstreamer_video_over_tcp_arrives_intact(tmp_path, rtp):
    sent = frames(90, 3, seed=1)
    (tmp_path / "frames.raw").write_bytes(sent.tobytes())
    with socket.socket() as probe:                 # a free port for the server
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    server = gst(f"filesrc location={tmp_path / 'frames.raw'} ! rawvideoparse width={W} height={H} format=rgb",
                 f"framerate=60/1 ! rtpvrawpay ! rtpstreampay ! tcpserversink host=127.0.0.1 port={port}",
                 "sync=true")
    try:
        assert m.ZuStreamRTP_PrepareFor(rtp, W, H, tr.ZuPixelRGB8).IsOK()
        deadline = time.monotonic() + 10
        while not m.ZuStreamRTP_OpenTCP(rtp, "127.0.0.1", port).IsOK():
            assert time.monotonic() < deadline, "the server did not listen"
            time.sleep(0.05)
        assert (m.ZuStreamRTP_GetTCPServerIPAddress(rtp), m.ZuStreamRTP_GetTCPServerPort(rtp)) == ("127.0.0.1", port)
        assert m.ZuStreamRTP_GetLocalPort(rtp) == 0
        queue(rtp, 8, W * H * 3)
        # Frames from wherever the connection came in: each whole one is one
        # that was sent, in order.
        seen = []
        for _ in range(8):
            buffer, operation = retrieve(rtp)
            if operation.IsOK():
                got = np.asarray(buffer.GetDataPointer())[:W * H * 3]
                k = int(got[0]) - 1
                assert np.array_equal(got, sent[k].reshape(-1))
                seen.append(k)
        assert len(seen) >= 6 and seen == sorted(seen)
    finally:
        m.ZuStream_Close(rtp)
        server.kill()
        server.wait()


def access_units(count):
    return [access_unit(k) for k in range(count)]


def test_gstreamer_h264_access_units_come_back_unchanged(tmp_path, rtp):
    units = access_units(8)
    for k, unit in enumerate(units):
        (tmp_path / f"au{k}.h264").write_bytes(unit)
    assert m.ZuStreamRTP_PrepareForH264(rtp).IsOK()
    assert m.ZuStreamRTP_Open(rtp, "127.0.0.1", 0).IsOK()
    port = m.ZuStreamRTP_GetLocalPort(rtp)
    queue(rtp, 8, 8192)
    finish(gst(f"multifilesrc location={tmp_path / 'au%d.h264'} stop-index=7",
               "caps=video/x-h264,stream-format=byte-stream,alignment=au,framerate=30/1",
               f"! rtph264pay mtu=600 aggregate-mode=zero-latency ! udpsink host=127.0.0.1 port={port} sync=true"))
    for k in range(8):
        buffer, operation = retrieve(rtp)
        assert operation.IsOK(), (k, operation.GetCode())
        assert buffer.GetPayloadType() == tb.ZuPayloadTypeRawData
        size = buffer.GetAcquiredSize()
        # The payloader may put the parameter sets again before an IDR; the
        # units themselves come back byte for byte and in order.
        got = bytes(np.asarray(buffer.GetDataPointer())[:size])
        assert got.endswith(units[k].split(b"\x00\x00\x00\x01")[-1]), k
        assert [u for u in got.split(b"\x00\x00\x00\x01") if u[:1] != b"\x09"][-1][:1] in (b"\x65", b"\x41")


def test_what_is_no_rtp_or_does_not_fit_is_dropped(rtp):
    assert m.ZuStreamRTP_PrepareFor(rtp, 4, 2, tr.ZuPixelMono8).IsOK()
    assert m.ZuStreamRTP_Open(rtp, "", 0).IsOK()
    port = m.ZuStreamRTP_GetLocalPort(rtp)
    queue(rtp, 3, 8)
    small = tb.ZuBuffer()
    assert small.Alloc(4).IsOK()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        def send(marker, seq, ts, payload):
            s.sendto(struct.pack(">BBHII", 0x80, (0x80 if marker else 0) | 96, seq, ts, 7) + payload,
                     ("127.0.0.1", port))
        for junk in (b"", b"\x00" * 5, b"\x40" + b"\x00" * 20, bytes(range(256)) * 4):
            s.sendto(junk, ("127.0.0.1", port))
        # Line 0 whole, then line 1 from a segment that claims more than it has.
        send(False, 1, 100, struct.pack(">HHHH", 0, 4, 0, 0) + b"abcd")
        send(True, 2, 100, struct.pack(">HHHH", 0, 9, 1, 0) + b"efgh")
        send(False, 3, 200, struct.pack(">HHHH", 0, 4, 0, 0) + b"ijkl")
        send(True, 5, 200, struct.pack(">HHHH", 0, 4, 1, 0) + b"mnop")      # one packet lost before it
        send(True, 6, 300, struct.pack(">HHHHHHH", 0, 4, 0, 0x8000, 4, 1, 0) + b"qrstuvwx")
        buffer, operation = retrieve(rtp)
        assert operation.GetCode() == tr.ZU_MISSING_PACKETS
        assert bytes(np.asarray(buffer.GetDataPointer())) == b"abcdefgh"
        buffer, operation = retrieve(rtp)
        assert operation.GetCode() == tr.ZU_MISSING_PACKETS
        buffer, operation = retrieve(rtp)
        assert operation.IsOK() and bytes(np.asarray(buffer.GetDataPointer())) == b"qrstuvwx"
        assert m.ZuStream_QueueBuffer(rtp, small).GetCode() == tr.ZU_PENDING
        send(True, 7, 400, struct.pack(">HHHHHHH", 0, 4, 0, 0x8000, 4, 1, 0) + b"qrstuvwx")
        buffer, operation = retrieve(rtp)
        assert operation.GetCode() == tr.ZU_BUFFER_TOO_SMALL
    parameters = m.ZuStream_GetParameters(rtp)
    assert parameters.GetIntegerValue("PacketsIgnored")[1] == 4


def test_open_forms_states_and_queries(rtp):
    assert m.ZuStreamRTP_GetType(rtp) == tr.ZuStreamTypeRTP == 2
    assert m.ZuStream_GetType(rtp) == tr.ZuStreamTypeRTP
    assert m.ZuStreamRTP_Open(rtp, None).GetCode() == tr.ZU_NOT_SUPPORTED
    assert m.ZuStreamRTP_Open(rtp, "192.168.1.2").GetCode() == tr.ZU_NOT_SUPPORTED
    assert m.ZuStreamRTP_Open(rtp, None, "127.0.0.1").GetCode() == tr.ZU_NOT_SUPPORTED   # SDP, port 0
    assert m.ZuStreamRTP_Open(rtp, None, "127.0.0.1", 5).GetCode() == tr.ZU_NOT_SUPPORTED
    # Nothing prepared: opening says so.
    assert m.ZuStreamRTP_Open(rtp, "127.0.0.1", 0).GetCode() == tr.ZU_NOT_INITIALIZED
    assert m.ZuStreamRTP_PrepareFor(rtp, 5, 2, tr.ZuPixelYUV422_8_UYVY).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuStreamRTP_PrepareFor(rtp, 4, 2, tr.ZuPixelMono12Packed).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuStreamRTP_PrepareFor(rtp, 0x8001, 2, tr.ZuPixelMono8).GetCode() == tr.ZU_INVALID_PARAMETER
    # Padding that ends inside a pixel: the image could not say where lines are.
    assert m.ZuStreamRTP_PrepareFor(rtp, 64, 16, tr.ZuPixelRGB8, 5).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuStreamRTP_PrepareFor(rtp, 64, 16, tr.ZuPixelYUV422_8_UYVY, 3).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuStreamRTP_PrepareFor(rtp, 4, 2, tr.ZuPixelMono8, 3).IsOK()
    assert m.ZuStreamRTP_Open(rtp, "not an address", 0).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuStreamRTP_Open(rtp, "127.0.0.1", 0, "").GetCode() == tr.ZU_INVALID_PARAMETER  # not a group
    assert m.ZuStreamRTP_Open(rtp, "239.192.3.4", 0, "127.0.0.1").IsOK()
    assert m.ZuStreamRTP_GetMulticastIPAddress(rtp) == "239.192.3.4"
    assert m.ZuStreamRTP_Open(rtp, "127.0.0.1", 0).GetCode() == tr.ZU_GENERIC_ERROR
    assert m.ZuStreamRTP_PrepareForH264(rtp).GetCode() == tr.ZU_GENERIC_ERROR
    assert m.ZuStreamRTP_SetThreadPriority(rtp, 100).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuStream_Close(rtp).IsOK()
    assert (m.ZuStreamRTP_GetLocalPort(rtp), m.ZuStreamRTP_GetMulticastIPAddress(rtp)) == (0, "")
    assert m.ZuStreamRTP_OpenTCP(rtp, "127.0.0.1", 1).GetCode() == tr.ZU_NETWORK_ERROR   # no server
    assert m.ZuStreamRTP_ResetPayloadType(rtp).IsOK()
    assert m.ZuStreamRTP_OpenTCP(rtp, "127.0.0.1", 1).GetCode() == tr.ZU_NOT_INITIALIZED
    assert m.ZuStreamRTP_SetThreadPriority(rtp, 0).IsOK() and m.ZuStreamRTP_GetThreadPriority(rtp) == 0


def test_argument_errors_and_overloads(rtp):
    assert error_of(m.ZuStreamRTP_Open, rtp, tb.ZuSessionInfo(), 5) == (
        TypeError, "Argument 2: failed to create ZuString from Python string")
    assert error_of(m.ZuStreamRTP_Open, rtp, "127.0.0.1", 5, 6) == (
        TypeError, "Argument 4: failed to create ZuString from Python string")
    kind, text = error_of(m.ZuStreamRTP_Open, rtp)
    assert kind is TypeError and text.startswith("Wrong number or type of arguments for overloaded function "
                                                  "'ZuStreamRTP_Open'.")
    assert text.index("ZuStreamRTP::Open(ZuSessionInfoSDP const *,ZuString const &,uint16_t)") < \
        text.index("ZuStreamRTP::Open(ZuString const &,uint16_t,ZuString const &)")
    kind, text = error_of(m.ZuStreamRTP_PrepareFor, rtp, -1, 2, tr.ZuPixelMono8)
    assert kind is TypeError and "ZuStreamRTP::PrepareFor(uint32_t,uint32_t,ZuPixelType,uint16_t)" in text
    assert error_of(m.ZuStreamRTP_PrepareFor, rtp, 1, 2, 3, 65536)[0] is TypeError
    assert error_of(m.ZuStreamRTP_SetThreadPriority, rtp, -1) == (
        OverflowError, "in method 'ZuStreamRTP_SetThreadPriority', argument 2 of type 'uint32_t'")
    assert error_of(m.ZuStreamRTP_OpenTCP, rtp, "127.0.0.1", 70000) == (
        OverflowError, "in method 'ZuStreamRTP_OpenTCP', argument 3 of type 'uint16_t'")
    assert error_of(m.ZuStreamRTP_GetLocalPort, m.new_ZuStreamU3V()) == (
        TypeError, "in method 'ZuStreamRTP_GetLocalPort', argument 1 of type 'ZuStreamRTP const *'")


def test_usb3_vision_streams_answer_that_no_device_is_there():
    stream = m.new_ZuStreamU3V()
    try:
        assert m.ZuStreamU3V_GetType(stream) == tr.ZuStreamTypeU3V == 1
        assert m.ZuStreamU3V_Open(stream, None).GetCode() == tr.ZU_NOT_FOUND
        assert m.ZuStreamU3V_Open(stream, "{guid}").GetCode() == tr.ZU_NOT_FOUND
        for extra in ((0,), (0, 64), (0, 64, 512), (0, 64, 512, 64)):
            assert m.ZuStreamU3V_Open(stream, None, *extra).GetCode() == tr.ZU_NOT_FOUND
            assert m.ZuStreamU3V_Open(stream, "{guid}", *extra).GetCode() == tr.ZU_NOT_FOUND
        gev = tb.ZuDeviceInfoGEV()
        assert m.ZuStreamU3V_Open(stream, gev, 0).GetCode() == tr.ZU_NOT_SUPPORTED
        assert m.ZuStream_IsOpen(stream) is False and m.ZuStreamU3V_GetGUID(stream) in ("", None)
        # A channel out of range matches no form, as for the other kinds.
        for args in ((), (None, 70000)):
            kind, text = error_of(m.ZuStreamU3V_Open, stream, *args)
            assert kind is TypeError and text.count("ZuStreamU3V::Open(") == 10
            assert text.index("Open(ZuDeviceInfo const *)") < text.index(
                "Open(ZuDeviceInfo const *,uint16_t,uint32_t,uint32_t,uint32_t)") < text.index(
                "Open(ZuDeviceInfo const *,uint16_t)") < text.index("Open(ZuString const &)")
        assert error_of(m.ZuStreamU3V_Open, stream, 5) == (
            TypeError, "Argument 2: failed to create ZuString from Python string")
        u3v = tb.ZuDeviceInfoU3V()
        result, none = m.ZuStream_CreateAndOpen(u3v)
        assert result.GetCode() == tr.ZU_NOT_FOUND and none is None
    finally:
        m.delete_ZuStreamU3V(stream)


def test_line_padding_and_multicast_delivery():
    """Lines land after the padding of the lines before; a group's stream
    reaches a member on the namespace's loopback."""
    stream = m.new_ZuStreamRTP()
    try:
        assert m.ZuStreamRTP_PrepareFor(stream, 4, 2, tr.ZuPixelMono8, 3).IsOK()
        assert m.ZuStreamRTP_Open(stream, "239.192.7.8", 0, "127.0.0.1").IsOK()
        port = m.ZuStreamRTP_GetLocalPort(stream)
        queue(stream, 1, 14)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("127.0.0.1"))
            s.sendto(struct.pack(">BBHII", 0x80, 0x80 | 96, 1, 9, 7) +
                     struct.pack(">HHHHHHH", 0, 4, 1, 0x8000, 4, 0, 0) + b"efghabcd", ("239.192.7.8", port))
            buffer, operation = retrieve(stream)
        assert operation.IsOK()
        assert bytes(np.asarray(buffer.GetDataPointer())) == b"abcd\0\0\0efgh\0\0\0"
        image = buffer.GetImage()
        assert (image.GetWidth(), image.GetHeight(), image.GetPaddingX()) == (4, 2, 3)
    finally:
        m.delete_ZuStreamRTP(stream)
    # Pixels of three bytes, their padding in bytes: a whole pixel of it.
    stream = m.new_ZuStreamRTP()
    try:
        assert m.ZuStreamRTP_PrepareFor(stream, 2, 2, tr.ZuPixelRGB8, 3).IsOK()
        assert m.ZuStreamRTP_Open(stream, "127.0.0.1", 0).IsOK()
        port = m.ZuStreamRTP_GetLocalPort(stream)
        queue(stream, 1, 18)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.sendto(struct.pack(">BBHII", 0x80, 0x80 | 96, 1, 9, 7) +
                     struct.pack(">HHHHHHH", 0, 6, 0, 0x8000, 6, 1, 0) + bytes(range(12)), ("127.0.0.1", port))
            buffer, operation = retrieve(stream)
        assert operation.IsOK()
        image = buffer.GetImage()
        assert (image.GetWidth(), image.GetHeight(), image.GetPaddingX()) == (2, 2, 1)
        assert image.GetDataPointer()[:, :2].tolist() == [[[0, 1, 2], [3, 4, 5]], [[6, 7, 8], [9, 10, 11]]]
    finally:
        m.delete_ZuStreamRTP(stream)
