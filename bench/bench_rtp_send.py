"""The software camera's RTP sending beside GStreamer's, in one run.

    tools/netns .venv/bin/python bench/bench_rtp_send.py [seconds]

Each sender is pinned to core 0 and sends 640 x 480 RGB8 frames, unpaced,
in RTP packets of at most 8192 bytes to our receiver (ZuStreamRTP, or
ZuStreamGEV for GVSP) in this process on core 1, which counts whole
frames. Both send prepared frames:
- GStreamer: one frame made by videotestsrc, repeated by imagefreeze
  (the same buffer each time, no drawing), through rtpvrawpay and udpsink;
- ours: the software camera with the default source's buffers, over RTP,
  and over GVSP (no resend requests, as RTP has none) for comparison.
The figure is the sender's processor time per gigabyte of whole frames
received. Rounds are interleaved after a warm-up; figures are medians
[lowest-highest].
"""
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

import tarn_base_310 as tb
import tarn_receive_310 as tr

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from measure import column, pinned, processor_seconds, ratios, record, run_rounds, spread, text  # noqa: E402

PY = sys.executable
W, H = 640, 480
SIZE = W * H * 3
MTU = 8192
m = tr._tarn_receive_310


def count(stream, seconds, sender):
    """Whole frames received for `seconds` from the first one on, and the
    sender's processor time over the same span."""
    for _ in range(32):
        b = tb.ZuBuffer()
        b.Alloc(SIZE)
        m.ZuStream_QueueBuffer(stream, b)
    whole = broken = 0
    t0 = spent = None
    while t0 is None or time.monotonic() - t0 < seconds:
        result, buffer, operation = m.ZuStream_RetrieveBuffer(stream, 5000)
        if not result.IsOK():
            break
        if t0 is None:
            t0, spent = time.monotonic(), processor_seconds(sender)
        elif operation.IsOK():
            whole += 1
        else:
            broken += 1
        m.ZuStream_QueueBuffer(stream, buffer)
    elapsed = time.monotonic() - t0
    gigabytes = whole * SIZE / 1e9
    spent = processor_seconds(sender) - spent
    return {"cpu_per_gb": spent / gigabytes if gigabytes else float("inf"), "mbs": whole * SIZE / elapsed / 1e6,
            "broken": broken}


def rtp_stream():
    stream = m.new_ZuStreamRTP()
    m.ZuStreamRTP_PrepareFor(stream, W, H, tr.ZuPixelRGB8)
    m.ZuStreamRTP_Open(stream, "127.0.0.1", 0)
    return stream, m.ZuStreamRTP_GetLocalPort(stream)


def gstreamer(seconds):
    stream, port = rtp_stream()
    proc = subprocess.Popen(pinned(0, ["gst-launch-1.0", "-q", "videotestsrc", "num-buffers=1", "pattern=smpte", "!",
                                       f"video/x-raw,format=RGB,width={W},height={H},framerate=10000/1", "!",
                                       "imagefreeze", "!", "rtpvrawpay", f"mtu={MTU}", "!",
                                       "udpsink", "host=127.0.0.1", f"port={port}", "sync=false"]),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        return count(stream, seconds, proc.pid)
    finally:
        proc.terminate()
        proc.wait(timeout=30)
        m.ZuStream_Close(stream)
        m.delete_ZuStreamRTP(stream)


class Camera:
    def __init__(self, n):
        self.address = f"127.0.0.{n}"
        self.proc = subprocess.Popen(pinned(0, [PY, str(HERE / "softcamera_process.py"), str(n), str(W), str(H), "rtp"]),
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        assert self.proc.stdout.readline().startswith("ready")
        result, self.device = tr.ZuDevice.CreateAndConnect(self.address)
        assert result.IsOK(), result.GetDescription()
        self.params = self.device.GetParameters()
        self.params.SetIntegerValue("GevSCPSPacketSize", MTU + 28)

    def round(self, seconds, protocol):
        self.params.SetEnumValue("StreamProtocol", protocol)
        if protocol == "RTP":
            stream, port = rtp_stream()
        else:
            result, stream = m.ZuStream_CreateAndOpen(self.address)
            # RTP asks for nothing again: neither does GVSP here, so that
            # both send the same frames once.
            m.ZuStream_GetParameters(stream).SetBooleanValue("RequestMissingPackets", False)
            port = m.ZuStreamGEV_GetLocalPort(stream)
        self.device.SetStreamDestination("127.0.0.1", port)
        self.params.SetIntegerValue("TLParamsLocked", 1)
        self.params.ExecuteCommand("AcquisitionStart")
        try:
            return count(stream, seconds, self.proc.pid)
        finally:
            self.params.ExecuteCommand("AcquisitionStop")
            self.params.SetIntegerValue("TLParamsLocked", 0)
            m.ZuStream_Close(stream)

    def stop(self):
        tr.ZuDevice.Free(self.device)
        self.proc.stdin.close()
        self.proc.wait(timeout=30)


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 3.0
    if (os.cpu_count() or 1) > 1:
        os.sched_setaffinity(0, {1})
    camera = Camera(21)
    contenders = {"ours over RTP": lambda: camera.round(seconds, "RTP"),
                  "ours over GVSP": lambda: camera.round(seconds, "GVSP")}
    if shutil.which("gst-launch-1.0"):
        contenders["GStreamer"] = lambda: gstreamer(seconds)
    else:
        print("bench_rtp_send: gst-launch-1.0 is missing (tools/deps bench): ours alone")
    try:
        runs = run_rounds(contenders)
    finally:
        camera.stop()
    print(f"bench_rtp_send: {W}x{H} RGB8, packets of {MTU} bytes, sender on core 0, receiver on core 1")
    for name, samples in runs.items():
        print(f"  {name:15s} {text(column(samples, 'cpu_per_gb'), 3)} s/GB  {text(column(samples, 'mbs'), 0)} MB/s"
              f"  {text(column(samples, 'broken'), 0)} incomplete")
    mine = column(runs["ours over RTP"], "cpu_per_gb")
    method = f"{W}x{H} RGB8, unpaced, <= {MTU}-byte packets, prepared frames on both sides, received by ZuStreamRTP"
    if "GStreamer" in runs:
        theirs = column(runs["GStreamer"], "cpu_per_gb")
        record("rtp_send", "RTP sending CPU per GB of whole frames received", ratios(mine, theirs),
               ours=f"{spread(mine)[0]:.3f} s/GB", peer=f"GStreamer rtpvrawpay: {spread(theirs)[0]:.3f} s/GB",
               method=method)
    gvsp = column(runs["ours over GVSP"], "cpu_per_gb")
    record("rtp_send", "our camera over RTP beside over GVSP, CPU per GB", ratios(mine, gvsp),
           ours=f"{spread(mine)[0]:.3f} s/GB", peer=f"ours over GVSP: {spread(gvsp)[0]:.3f} s/GB",
           method=method.replace("ZuStreamRTP", "ZuStreamRTP or ZuStreamGEV without resend requests"))


if __name__ == "__main__":
    main()
