"""Our software camera's RTP streams against independent peers: GStreamer
depayloads its images and H.264 access units byte for byte, with the caps
taken from the camera's own SAP announcement; Wireshark decodes its RTP,
SAP and SDP as well-formed; Aravis reads and writes the protocol feature."""
import socket
import subprocess
import time

import tarn_edge_310 as te
from support import needs_netns
from support.capture import Capture
from support.devices import skip_without
from support.rtpcamera import H264Source, RtpCamera, SapListener, rgb_pattern
from support.softcamera import NumpySource
from support.streams import access_unit

pytestmark = needs_netns()


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def depayload(tmp_path, port, caps, depay, enough):
    """Runs gst-launch-1.0 from udpsrc through a depayloader into a file
    until the file holds `enough` bytes (at most 30 s); the file's bytes."""
    skip_without("gst-launch-1.0")
    out = tmp_path / "depayloaded.bin"
    proc = subprocess.Popen(["gst-launch-1.0", "-q", "udpsrc", "address=127.0.0.1", f"port={port}", f"caps={caps}",
                             "!", *depay, "!", "filesink", f"location={out}", "buffer-mode=unbuffered"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and proc.poll() is None:
            if out.exists() and out.stat().st_size >= enough:
                break
            time.sleep(0.05)
        assert proc.poll() is None, proc.stderr.read()
    finally:
        proc.terminate()
        proc.wait(timeout=10)
    return out.read_bytes()


def caps_of(announcement):
    """GStreamer caps of an announced raw-video stream, from its SDP."""
    (rtpmap,) = [a for a in announcement.values("a") if a.startswith("rtpmap:")]
    payload, encoding = rtpmap[len("rtpmap:"):].split(" ")
    name, rate = encoding.split("/")
    caps = f"application/x-rtp,media=video,clock-rate={rate},encoding-name={name.upper()},payload={payload}"
    for key, value in announcement.fmtp().items():
        caps += f",{key}=(string){value}"
    return caps


def test_gstreamer_depayloads_announced_raw_video_byte_for_byte(tmp_path):
    # 48 RGB pixels: lines of 144 bytes, which GStreamer keeps unpadded.
    W, H = 48, 30
    size = W * H * 3
    port = free_port()
    source = NumpySource(width=W, height=H, pixel=te.ZuPixelRGB8, frame=rgb_pattern, fps=60)
    with SapListener() as sap, RtpCamera(91, source) as cam:
        assert cam.protocol("RTP").IsOK()
        cam.stream_to(port, packet_size=1000 + 28)
        cam.start()
        announced = sap.next(cam.address)
        assert announced.values("m") == [f"video {port} RTP/AVP 96"]
        data = depayload(tmp_path, port, caps_of(announced), ["rtpvrawdepay"], 6 * size)
        cam.stop_acquisition()
    frames = [data[k:k + size] for k in range(0, len(data) - size + 1, size)]
    # The first frame may have been joined half-way; from the first whole
    # one on, every frame is the source's next.
    made = {rgb_pattern(n, H, W).tobytes(): n for n in range(600)}
    seen = [made.get(f) for f in frames]
    start = next(i for i, n in enumerate(seen) if n is not None)
    run = seen[start:start + 4]
    assert run == list(range(run[0], run[0] + 4)), seen


def test_gstreamer_depayloads_h264_access_units(tmp_path):
    port = free_port()
    with RtpCamera(92, H264Source(fps=60)) as cam:
        assert cam.protocol("RTP").IsOK()
        cam.stream_to(port, packet_size=600 + 28)
        cam.start()
        data = depayload(tmp_path, port, "application/x-rtp,media=video,clock-rate=90000,encoding-name=H264,payload=96",
                         ["rtph264depay", "!", "video/x-h264,stream-format=byte-stream,alignment=au"], 20000)
        cam.stop_acquisition()
    # Each slice unit whole and in order; only units the source made.
    units = [u for u in data.split(b"\x00\x00\x00\x01") if u]
    known = {u for n in range(600) for u in access_unit(n).split(b"\x00\x00\x00\x01") if u}
    slices = [u for u in units if u[0] & 0x1F in (1, 5)]
    assert len(slices) >= 4 and all(u in known for u in units[1:-1])
    numbers = [next(n for n in range(600) if access_unit(n).endswith(u)) for u in slices[1:-1]]
    assert numbers == list(range(numbers[0], numbers[0] + len(numbers)))


def test_tshark_decodes_our_rtp_sap_and_sdp_as_well_formed(tmp_path):
    skip_without("tshark")
    capture = tmp_path / "rtp.pcapng"
    port = free_port()
    with Capture(capture), SapListener() as sap, RtpCamera(93, NumpySource(width=32, height=8)) as cam:
        assert cam.protocol("RTP").IsOK()
        cam.stream_to(port)
        cam.start()
        sap.next(cam.address)
        # Wireshark decodes the first packet to the port the controller set
        # as GVSP: a few frames more, so that some decode as RTP.
        deadline = time.monotonic() + 10
        while len(cam.source.sent) < 4 and time.monotonic() < deadline:
            time.sleep(0.01)
        cam.stop_acquisition()
        sap.next(cam.address, deletion=True)

    def fields(display, *names):
        out = subprocess.run(["tshark", "-r", str(capture), "-d", f"udp.port=={port},rtp", "-Y", display, "-T",
                              "fields", *[a for n in names for a in ("-e", n)]],
                             capture_output=True, text=True, timeout=120, check=True).stdout
        return [line.split("\t") for line in out.splitlines()]

    assert fields("_ws.malformed or _ws.expert.severity >= 8388608", "frame.number") == []
    rtp = fields("rtp", "rtp.version", "rtp.p_type", "rtp.marker", "ip.src")
    assert rtp and all(r[:2] == ["2", "96"] and r[3] == "127.0.0.93" for r in rtp)
    assert any(r[2] in ("1", "True") for r in rtp)
    sap_packets = fields("sap", "sap.flags.t", "sap.originating_source", "sdp.media.port",
                         "sdp.connection_info.address", "ip.dst")
    kinds = {r[0] for r in sap_packets}
    assert len(kinds) == 2, sap_packets  # announcements and a deletion
    assert all(r[1:] == ["127.0.0.93", str(port), "127.0.0.1", "224.2.127.254"] for r in sap_packets), sap_packets


def test_aravis_reads_and_writes_the_protocol():
    skip_without("arv-tool-0.8")
    with RtpCamera(94, NumpySource(), connect=False):
        out = subprocess.run(["arv-tool-0.8", "-a", "127.0.0.94", "control", "StreamProtocol",
                              "StreamProtocol=RTP", "StreamProtocol"], capture_output=True, text=True,
                             timeout=30).stdout
    assert "StreamProtocol = GVSP" in out and "StreamProtocol = RTP" in out, out
