"""The software camera's sending, as ratios beside a peer and the physical
limit in one run.

    tools/netns .venv/bin/python bench/bench_softcamera.py [seconds]

1. Sending on one core: each sender pinned to core 0 streams 2048 x 2048
   Mono8 frames in 8192-byte packets (IP and UDP headers included) to the
   same receiver on core 1 (build/bin/bench_yardstick recv, which only
   counts bytes):
   - ours: the software camera with the default source's buffers, handed
     back at once by a minimal Python queue (bench/softcamera_process.py);
   - Aravis's fake camera with its fill pattern replaced by one that
     leaves the buffer alone, so that it too sends prepared memory instead
     of drawing every frame (bench/softcamera/aravis_camera.py; it keeps
     to at most 1000 frames a second, waiting for the next millisecond
     after each frame, which costs time but no processor);
   - the yardstick: a plain sendmmsg loop of the same datagrams.
   The figure is the sender's processor time per gigabyte that reached the
   receiver (loopback delivery runs on the sender's core and is counted
   alike for all three). Both cameras are started by the same controller
   (our receiving module) and run unpaced.
2. A source written in Python: the same with a NumPy source that fills
   each frame in Python (beside the default source), and the processor
   time of one tiny frame beside a plain Python call.
3. End to end: our stream and pipeline taking frames into NumPy at 250 Hz
   (1 GB/s) beside Aravis's arv-camera-test receiving the same camera at
   the same rate (its socket receiver, 8192-byte packets, resends on and
   the socket buffer as ours), both counted as whole frames' bytes per
   second once streaming; and the same over the camera's TCP transport
   beside UDP.
Rounds are interleaved after a warm-up; figures are medians [lowest-highest].
"""
import os
import re
import signal
import subprocess
import sys
import time
import timeit
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from measure import (BIN, SYSTEM_PYTHON, column, pinned, processor_seconds, ratios, record, run_rounds,  # noqa: E402
                     spread, text, version)

PY = sys.executable
SIZE = 2048
PACKET = 8192
DATAGRAM = PACKET - 28
SENDER_CORE, RECEIVER_CORE = "0", "1"


class Drain:
    """The receiver every sender sends to: counts bytes until idle."""

    def __enter__(self):
        self.proc = subprocess.Popen(pinned(RECEIVER_CORE, [str(BIN / "bench_yardstick"), "recv", "0", "500"]),
                                     stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("port "):
            raise RuntimeError("the receiver did not start")
        self.port = int(line.split()[1])
        return self

    def result(self):
        import json
        return json.loads(self.proc.communicate(timeout=60)[0].strip().splitlines()[-1])

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


class Camera:
    """A camera process on an address, with our controller connected."""

    def __init__(self, command, address, pin=True):
        import tarn_receive_310 as tr
        self.tr = tr
        self.address = address
        self.proc = subprocess.Popen(pinned(SENDER_CORE, command) if pin else command, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("ready"):
            self.stop()
            raise RuntimeError(f"{command} did not start: {line!r}")
        self.device = None

    def control(self, width=SIZE, height=SIZE, rate=None):
        result, self.device = self.tr.ZuDevice.CreateAndConnect(self.address)
        assert result.IsOK(), result.GetDescription()
        self.params = self.device.GetParameters()
        for name, value in (("Width", width), ("Height", height)):
            assert self.params.SetIntegerValue(name, value).IsOK(), name
        assert self.device.SetPacketSize(PACKET).IsOK()
        node = self.params.Get("AcquisitionFrameRate")
        if rate is None and node is not None and self.params.Get("AcquisitionFrameRateEnable") is None:
            # A camera that always keeps to a frame rate: its highest.
            rate = node.GetMax()[1]
        if rate is not None:
            assert self.params.SetFloatValue("AcquisitionFrameRate", rate).IsOK()
        if self.params.Get("AcquisitionFrameRateEnable") is not None:
            self.params.SetBooleanValue("AcquisitionFrameRateEnable", rate is not None)
        return self

    def send_round(self, seconds):
        """(processor seconds, bytes received) of streaming for `seconds`."""
        with Drain() as drain:
            self.device.SetStreamDestination("127.0.0.1", drain.port)
            self.params.SetIntegerValue("TLParamsLocked", 1)
            before = processor_seconds(self.proc.pid)
            self.params.ExecuteCommand("AcquisitionStart")
            time.sleep(seconds)
            self.params.ExecuteCommand("AcquisitionStop")
            time.sleep(0.1)
            spent = processor_seconds(self.proc.pid) - before
            self.params.SetIntegerValue("TLParamsLocked", 0)
            received = drain.result()["bytes"]
        return {"cpu_per_gb": spent / (received / 1e9) if received else float("inf"), "mbs": received / seconds / 1e6,
                "cpu": spent, "bytes": received}

    def stop(self):
        if self.device is not None:
            self.tr.ZuDevice.Free(self.device)
            self.device = None
        if self.proc.stdin:
            self.proc.stdin.close()
        self.proc.wait(timeout=30)


def ours(n, width=SIZE, height=SIZE, mode="default", pin=True):
    return Camera([PY, str(HERE / "softcamera_process.py"), str(n), str(width), str(height), mode],
                  f"127.0.0.{n}", pin)


def yardstick_round(seconds, frame=SIZE * SIZE):
    with Drain() as drain:
        import json
        out = subprocess.run(pinned(SENDER_CORE, [str(BIN / "bench_yardstick"), "send", f"127.0.0.1:{drain.port}",
                                                  str(seconds), str(DATAGRAM), str(frame)]),
                             capture_output=True, text=True, check=True).stdout
        spent = json.loads(out)["cpu"]
        received = drain.result()["bytes"]
    return {"cpu_per_gb": spent / (received / 1e9) if received else float("inf"), "mbs": received / seconds / 1e6}


def sending(seconds):
    print(f"1. sending {SIZE}x{SIZE} Mono8 in {PACKET}-byte packets on one core, {seconds:.0f} s a round")
    cameras = {"ours": ours(2).control()}
    have_aravis = Path(SYSTEM_PYTHON).exists() and subprocess.run(
        [SYSTEM_PYTHON, "-c", "import gi; gi.require_version('Aravis', '0.8')"], capture_output=True).returncode == 0
    if have_aravis:
        cameras["aravis"] = Camera([SYSTEM_PYTHON, str(HERE / "softcamera/aravis_camera.py"), "127.0.0.1"],
                                   "127.0.0.1").control()
    else:
        print("  Aravis's Python binding is missing (tools/deps bench): ours beside the yardstick only")
    try:
        contenders = {name: (lambda c=c: c.send_round(seconds)) for name, c in cameras.items()}
        contenders["sendmmsg"] = lambda: yardstick_round(seconds)
        runs = run_rounds(contenders)
    finally:
        for camera in cameras.values():
            camera.stop()
    for name, samples in runs.items():
        print(f"  {name:9s} {text(column(samples, 'cpu_per_gb'), 3)} s/GB  received {text(column(samples, 'mbs'), 0)} MB/s")
    mine, loop = column(runs["ours"], "cpu_per_gb"), column(runs["sendmmsg"], "cpu_per_gb")
    method = (f"{SIZE}x{SIZE} Mono8, {PACKET}-byte packets, sender pinned to one core, counted as received by a "
              f"recvmmsg loop on the other; interleaved rounds of {seconds:.0f} s after a warm-up")
    theirs = column(runs["aravis"], "cpu_per_gb") if have_aravis else []
    record("softcamera", "sending CPU per GB received", ratios(mine, theirs), ours=f"{spread(mine)[0]:.3f} s/GB",
           peer=(f"Aravis {version(['arv-tool-0.8', '--version'])} fake camera, no drawing: "
                 f"{spread(theirs)[0]:.3f} s/GB") if have_aravis else "",
           yardstick=f"sendmmsg loop: {spread(loop)[0]:.3f} s/GB", yardstick_ratio=ratios(mine, loop),
           yardstick_goal="<= 1.1", method=method)
    return runs


def python_sources(seconds):
    print("2. sources in Python")
    default, numpy_source = ours(3).control(), ours(4, mode="python").control()
    try:
        runs = run_rounds({"default": lambda: default.send_round(seconds),
                           "numpy": lambda: numpy_source.send_round(seconds)})
    finally:
        default.stop()
        numpy_source.stop()
    record("softcamera", "a NumPy source filling every frame in Python, CPU per GB",
           ratios(column(runs["numpy"], "cpu_per_gb"), column(runs["default"], "cpu_per_gb")),
           ours=f"{spread(column(runs['numpy'], 'cpu_per_gb'))[0]:.3f} s/GB",
           peer=f"the default source: {spread(column(runs['default'], 'cpu_per_gb'))[0]:.3f} s/GB",
           method=f"{SIZE}x{SIZE} Mono8 as in 1")

    # Tiny frames: what one frame's up-calls cost, beside a plain Python call.
    tiny = ours(5, 16, 16).control(16, 16)

    def per_frame():
        sample = tiny.send_round(seconds)
        frames = sample["bytes"] / (256 + 8 + 44 + 16)   # the data, a leader and a trailer
        return sample["cpu"] / max(frames, 1)

    def plain(x):
        return x

    def call():
        return min(timeit.repeat("plain(1)", globals={"plain": plain}, number=200000, repeat=3)) / 200000

    try:
        runs = run_rounds({"frame": per_frame, "call": call})
    finally:
        tiny.stop()
    record("softcamera", "processor time of one tiny frame of a Python source", ratios(runs["frame"], runs["call"]),
           ours=f"{spread(runs['frame'])[0] * 1e6:.1f} us", peer=f"a plain Python call: {spread(runs['call'])[0] * 1e9:.0f} ns",
           method="16x16 Mono8 frames, unpaced, one core")


def arv_camera_test(address, seconds, rate):
    """MB/s of whole frames arv-camera-test receives once streaming, as
    into_our_receiver counts ours: its socket buffer sized as ours is (-a:
    the payload, which the system's limit makes the same 4 MiB ours asks
    for), frames counted from its per-second lines after the first, which
    holds its start-up; the failed frames' bytes are not counted."""
    proc = subprocess.run(["stdbuf", "-oL", "arv-camera-test-0.8", "-n", address, "-w", str(SIZE), "-h", str(SIZE),
                           "-f", str(rate), "-i", str(PACKET), "-j", "never", "--no-packet-socket", "-a",
                           "--duration", str(int(seconds) + 1)],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=seconds + 60)
    frames = [int(n) for n in re.findall(r"^\s*(\d+) frames/s", proc.stdout, re.MULTILINE)]
    if len(frames) < 2:
        raise RuntimeError(proc.stdout)
    return sum(frames[1:]) * SIZE * SIZE / (len(frames) - 1) / 1e6


def into_our_receiver(n, seconds, rate, mode="default"):
    """MB/s of whole frames our stream and pipeline deliver into NumPy, and
    the frames lost (gaps in the block ids)."""
    import tarn_base_310  # noqa: F401  (the buffer class)
    import tarn_receive_310 as tr
    m = tr._tarn_receive_310
    camera = ours(n, mode=mode, pin=False).control(rate=rate)
    device, params = camera.device, camera.params
    try:
        result, stream = m.ZuStream_CreateAndOpen(f"127.0.0.{n}")
        assert result.IsOK(), result.GetDescription()
        receiver_type = m.ZuStreamGEV_GetDataReceiverType(stream)
        device.SetStreamDestination("127.0.0.1", m.ZuStreamGEV_GetLocalPort(stream))
        pipeline = m.new_ZuPipeline(stream)
        m.ZuPipeline_SetBufferSize(pipeline, SIZE * SIZE)
        m.ZuPipeline_SetBufferCount(pipeline, 32)
        m.ZuPipeline_Start(pipeline)
        params.SetIntegerValue("TLParamsLocked", 1)
        params.ExecuteCommand("AcquisitionStart")
        ids, total, start = [], 0, None
        while True:
            result, buffer, operation = m.ZuPipeline_RetrieveNextBuffer(pipeline, 5000)
            if not result.IsOK():
                break
            now = time.monotonic()
            if start is None:
                start = now
            elif operation.IsOK():
                total += buffer.GetImage().GetDataPointer().nbytes
                ids.append(buffer.GetBlockID())
            m.ZuPipeline_ReleaseBuffer(pipeline, buffer)
            if now - start >= seconds:
                break
        elapsed = time.monotonic() - start
        params.ExecuteCommand("AcquisitionStop")
        m.ZuPipeline_Stop(pipeline)
        m.delete_ZuPipeline(pipeline)
        m.ZuStream_Free(stream)
    finally:
        camera.stop()
    if mode == "tcp" and receiver_type != tr.ZuDataReceiverTypeTCP:
        raise RuntimeError("the stream did not go over TCP")
    return {"mbs": total / elapsed / 1e6, "lost": sum(b - a - 1 for a, b in zip(ids, ids[1:]) if b > a)}


def end_to_end(seconds):
    rate = float(os.environ.get("TARN_BENCH_RATE", "250"))   # 250 Hz: 1 GB/s of 2048 x 2048 Mono8
    print(f"3. end to end at {rate:.0f} Hz")
    address = iter(range(10, 250))

    def aravis_side():
        camera = ours(next(address), pin=False)
        try:
            return {"mbs": arv_camera_test(camera.address, seconds, rate)}
        finally:
            camera.stop()

    runs = run_rounds({"ours": lambda: into_our_receiver(next(address), seconds, rate),
                       "aravis": aravis_side,
                       "tcp": lambda: into_our_receiver(next(address), seconds, rate, mode="tcp")})
    for name, samples in runs.items():
        print(f"  {name:7s} {text(column(samples, 'mbs'), 0)} MB/s"
              + (f"  lost {text(column(samples, 'lost'), 0)} frames" if "lost" in samples[0] else ""))
    mine = column(runs["ours"], "mbs")
    record("softcamera", f"our camera into our stream and pipeline, NumPy views, {rate:.0f} Hz", ratios(mine, column(runs["aravis"], "mbs")),
           ours=f"{spread(mine)[0]:.0f} MB/s, {spread(column(runs['ours'], 'lost'))[0]:.0f} frames lost",
           peer=f"arv-camera-test: {spread(column(runs['aravis'], 'mbs'))[0]:.0f} MB/s", goal=">= 1.0",
           method=f"{SIZE}x{SIZE} Mono8, {PACKET}-byte packets, resends on, socket receivers with the same socket "
                  "buffer, whole frames counted once streaming, unpinned")
    record("softcamera", "the same over the TCP transport", ratios(column(runs["tcp"], "mbs"), mine),
           ours=f"{spread(column(runs['tcp'], 'mbs'))[0]:.0f} MB/s", peer="ours over UDP", method="as above")


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 3.0
    sending(seconds)
    python_sources(seconds)
    end_to_end(seconds)


if __name__ == "__main__":
    main()
