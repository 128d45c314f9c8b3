"""Our software camera against independent peers: Aravis controls and
streams from it, Wireshark decodes what it sends."""
import json
import re
from pathlib import Path
import subprocess
import threading

import numpy as np
import pytest

import tarn_base_310 as tb

from support import needs_netns
from support.capture import Capture
from support.controller import Controller, StreamReceiver, open_stream, start_acquisition, stop_acquisition
from support.devices import skip_without
from support.softcamera import MultiPartSource, SoftCamera, pattern, second_part

pytestmark = needs_netns()


def run(*args, timeout=30):
    return subprocess.run(list(args), capture_output=True, text=True, timeout=timeout)


def test_arv_tool_lists_reads_and_sets_our_features():
    skip_without("arv-tool-0.8")
    with SoftCamera(70, width=64, height=48) as cam:
        assert "127.0.0.70" in run("arv-tool-0.8").stdout
        features = run("arv-tool-0.8", "-a", "127.0.0.70", "features").stdout
        for name in ("Width", "Height", "PixelFormat", "PayloadSize", "AcquisitionStart", "GevSCPSPacketSize",
                     "DeviceModelName", "UserSetSelector", "ChunkModeActive"):
            assert f"'{name}'" in features
        out = run("arv-tool-0.8", "-a", "127.0.0.70", "control", "Width=32", "Width", "PayloadSize").stdout
        assert "Width = 32" in out and "PayloadSize = 1536" in out
        assert cam.source.width == 32
        assert "DeviceModelName = SoftCamera" in run("arv-tool-0.8", "-a", "127.0.0.70", "control", "DeviceModelName").stdout


def test_arv_camera_test_streams_without_missing_or_failed_frames():
    skip_without("arv-camera-test-0.8")
    with SoftCamera(71, width=320, height=240) as cam:
        # A frame is given two seconds, not Aravis's tenth of one, to come
        # whole: on a loaded machine the camera's thread may wait that long
        # to run, which is neither a missing nor a failed frame.
        proc = subprocess.Popen(["stdbuf", "-oL", "arv-camera-test-0.8", "-n", "127.0.0.71", "--frame-retention=2000"],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        timer = threading.Timer(4.0, proc.send_signal, args=(2,))
        timer.start()
        try:
            out, _ = proc.communicate(timeout=30)
        finally:
            timer.cancel()
    counts = dict((k, int(v)) for k, v in re.findall(r"(n_\w+)\s+= (\d+)", out))
    assert counts, out
    for name in ("n_timeouts", "n_aborted", "n_missing_frames", "n_size_mismatch_errors", "n_missing_packets",
                 "n_error_packets"):
        assert counts[name] == 0, (name, out)
    assert counts["n_received_packets"] > 100
    assert len(cam.source.sent) > 10


def test_tshark_decodes_our_control_and_stream_packets(tmp_path):
    skip_without("tshark")
    capture = tmp_path / "camera.pcapng"
    with Capture(capture), SoftCamera(72, width=64, height=16) as cam:
        ctl = Controller("127.0.0.72")
        receiver = StreamReceiver()
        try:
            ctl.take_control()
            ctl.description()
            open_stream(ctl, receiver)
            source_port = ctl.read(0x0D1C)      # the stream channel's source port
            start_acquisition(ctl)
            assert len(receiver.wait_for(3)) >= 3
            stop_acquisition(ctl)
            ctl.release()
        finally:
            receiver.close()
            ctl.close()
    # The stream's two ports are ephemeral, and may be ones another protocol
    # is registered for (mDNS's, EtherNet/IP's...), which would take the
    # packets: both are named as GVSP's. GVCP keeps its own port.
    out = run("tshark", "-r", str(capture), "-d", f"udp.port=={receiver.port},gvsp", "-d",
              f"udp.port=={source_port},gvsp", "-V", timeout=120).stdout
    assert "Malformed" not in out
    for text in ("READMEM_CMD", "READMEM_ACK", "WRITEREG_CMD", "WRITEREG_ACK"):
        assert text in out, text
    assert "GigE Vision Streaming Protocol" in out
    for kind in ("Leader", "Payload", "Trailer"):
        assert re.search(rf"Format: {kind}|{kind} \(", out, re.I), kind


def test_arv_test_passes_its_checks():
    skip_without("arv-test-0.8")
    config = Path(__file__).with_name("arv-test-softcamera.cfg")
    with SoftCamera(74, width=320, height=240):
        out = run("arv-test-0.8", "-c", str(config), timeout=120).stdout
    results = dict(re.findall(r"^(\S+:\S+)\s+(SUCCESS|FAILURE|IGNORED)", out, re.M))
    assert results, out
    assert [name for name, result in results.items() if result == "FAILURE"] == [], out
    # Frame rates kept, frames whole.
    for name in ("Genicam:Load", "SingleAcquisition:BufferCheck", "Properties:SensorSizeReadout",
                 "MultipleAcquisitionA:BufferCheck", "MultipleAcquisitionA:FrameRate",
                 "MultipleAcquisitionB:FrameRate", "GigEVision:StreamChannel"):
        assert results[name] == "SUCCESS", out


def aravis_bindings():
    """The system Python with Aravis's GObject bindings, or a skip."""
    probe = subprocess.run(["/usr/bin/python3", "-c", "import gi; gi.require_version('Aravis', '0.8')"],
                           capture_output=True)
    if probe.returncode:
        pytest.skip("Aravis's bindings not installed (apt-get install python3-gi gir1.2-aravis-0.8)")
    return "/usr/bin/python3"


def test_aravis_streams_multi_part_frames_from_a_python_source():
    python = aravis_bindings()
    script = Path(__file__).with_name("aravis_multipart.py")
    with SoftCamera(76, kind=MultiPartSource, width=64, height=48, fps=100) as cam:
        lines = run(python, str(script), cam.address, "6", timeout=60).stdout.splitlines()
        assert ("SetMultiPartAllowed", True) in cam.source.told
    answers = [json.loads(line) for line in lines]
    assert answers[0] == {"supported": True} and len(answers) == 7, lines
    for buffer in answers[1:]:
        assert (buffer["status"], buffer["payload"], len(buffer["parts"])) == (0, tb.ZuPayloadTypeMultiPart, 2), buffer
        number = buffer["frame"] - 1
        image, confidence = buffer["parts"]
        assert (image["type"], image["format"], image["width"], image["height"]) == (
            tb.ZuMultiPart2DImage, tb.ZuPixelMono8, 64, 48)
        assert bytes.fromhex(image["data"]) == pattern(number, 48, 64).tobytes()
        assert (confidence["type"], confidence["format"], confidence["width"], confidence["height"]) == (
            tb.ZuMultiPartConfidenceMap, tb.ZuPixelMono16, 32, 24)
        assert bytes.fromhex(confidence["data"]) == second_part(number, 24, 32).tobytes()
