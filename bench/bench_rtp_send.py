"""The software camera's RTP sending, as ratios beside peers in one run.

    tools/netns .venv/bin/python bench/bench_rtp_send.py [seconds]

Every stream goes into our ZuStreamRTP (or ZuStreamGEV) in this process,
whole 640 x 480 RGB8 frames counted, packets of 8192 bytes:
1. our camera over RTP beside GStreamer's rtpvrawpay sending the same
   frames (videotestsrc, unthrottled), into the same receiver;
2. our camera over RTP beside the same camera over GVSP.
The receiver bounds each alike, so a ratio near 1 says the sender keeps up
with it; the incomplete frames show where the receiver fell behind.
"""
import subprocess
import sys
import time
from pathlib import Path

import tarn_base_310 as tb
import tarn_receive_310 as tr

HERE = Path(__file__).resolve().parent
PY = sys.executable
W, H = 640, 480
SIZE = W * H * 3
m = tr._tarn_receive_310


def count(stream, seconds):
    """(MB/s of whole frames, incomplete frames) over `seconds`, timed from
    the first frame on."""
    for _ in range(32):
        b = tb.ZuBuffer()
        b.Alloc(SIZE)
        m.ZuStream_QueueBuffer(stream, b)
    results = {True: 0, False: 0}
    first = True
    while first or time.monotonic() - t0 < seconds:
        result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
        if not result.IsOK():
            break
        if first:
            first, t0 = False, time.monotonic()
        else:
            results[operation.IsOK()] += 1
        m.ZuStream_QueueBuffer(stream, buffer)
    return results[True] * SIZE / (time.monotonic() - t0) / 1e6, results[False]


def rtp_stream():
    stream = m.new_ZuStreamRTP()
    m.ZuStreamRTP_PrepareFor(stream, W, H, tr.ZuPixelRGB8)
    m.ZuStreamRTP_Open(stream, "127.0.0.1", 0)
    return stream, m.ZuStreamRTP_GetLocalPort(stream)


def gstreamer(seconds):
    stream, port = rtp_stream()
    proc = subprocess.Popen(["gst-launch-1.0", "-q", "videotestsrc", "pattern=snow", "!",
                             f"video/x-raw,format=RGB,width={W},height={H},framerate=10000/1", "!",
                             "rtpvrawpay", "mtu=8192", "!", "udpsink", "host=127.0.0.1", f"port={port}", "sync=false"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        return count(stream, seconds)
    finally:
        proc.terminate()
        proc.wait(timeout=30)
        m.ZuStream_Close(stream)
        m.delete_ZuStreamRTP(stream)


def camera(n, seconds, protocol):
    proc = subprocess.Popen([PY, str(HERE / "softcamera_process.py"), str(n), str(W), str(H), "rtp"],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    assert proc.stdout.readline().startswith("ready")
    try:
        result, device = tr.ZuDevice.CreateAndConnect(f"127.0.0.{n}")
        assert result.IsOK(), result.GetDescription()
        params = device.GetParameters()
        params.SetIntegerValue("GevSCPSPacketSize", 8192 + 28)
        params.SetEnumValue("StreamProtocol", protocol)
        if protocol == "RTP":
            stream, port = rtp_stream()
        else:
            result, stream = m.ZuStream_CreateAndOpen(f"127.0.0.{n}")
            port = m.ZuStreamGEV_GetLocalPort(stream)
        device.SetStreamDestination("127.0.0.1", port)
        params.SetIntegerValue("TLParamsLocked", 1)
        params.ExecuteCommand("AcquisitionStart")
        try:
            return count(stream, seconds)
        finally:
            params.ExecuteCommand("AcquisitionStop")
            m.ZuStream_Close(stream)
            tr.ZuDevice.Free(device)
    finally:
        proc.stdin.close()
        proc.wait(timeout=30)


def line(name, value, broken, ratio=None):
    text = f"{name:52s} {value:9.1f} MB/s  ({broken} incomplete)"
    if ratio is not None:
        text += f"   ratio {ratio:5.2f}"
    print(text, flush=True)


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 5.0
    theirs, theirs_broken = gstreamer(seconds)
    line("GStreamer rtpvrawpay into ZuStreamRTP", theirs, theirs_broken)
    ours, broken = camera(21, seconds, "RTP")
    line("our camera over RTP into ZuStreamRTP", ours, broken, ours / max(theirs, 1e-9))
    gvsp, gvsp_broken = camera(22, seconds, "GVSP")
    line("our camera over GVSP into ZuStreamGEV", gvsp, gvsp_broken)
    line("  RTP beside GVSP", ours, broken, ours / max(gvsp, 1e-9))


if __name__ == "__main__":
    main()
