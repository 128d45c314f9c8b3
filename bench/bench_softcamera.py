"""The software camera's throughput, as ratios beside peers in one run.

    tools/netns .venv/bin/python bench/bench_softcamera.py [seconds]

1. Sending on one core: our camera (the default source's buffers, passed
   back at once by a minimal Python queue) and Aravis's fake camera, each
   pinned to core 0, each streaming 2048 x 2048 Mono8 frames in 8 KiB
   packets to the same receiver (Aravis's arv-camera-test on core 1); the
   ratio of the bytes each delivers. The receiver caps both alike, so the
   ratio is a lower bound of the senders' own.
2. A source written in Python: the same with a NumPy source that fills
   each frame in Python, and with tiny frames, the cost of one frame's
   up-calls beside a plain Python call measured in the same run.
3. End to end into our receiver: the same camera (not pinned) through the
   receiving module's stream and pipeline with 8 KiB packets, frames into
   NumPy and any lost frame counted, beside Aravis receiving it.
4. The same end to end with the camera's TCP transport on, beside UDP in
   the same run: control, events and the stream over TCP connections.
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
PY = sys.executable


def arv_camera_test(address, seconds, width, height, packet=8192, frequency=1000, pin=True):
    pinning = ["taskset", "-c", "1"] if pin else []
    proc = subprocess.Popen(pinning + ["stdbuf", "-oL", "arv-camera-test-0.8", "-n", address,
                             "-w", str(width), "-h", str(height), "-f", str(frequency), "-i", str(packet)],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    time.sleep(seconds)
    proc.send_signal(signal.SIGINT)
    out, _ = proc.communicate(timeout=60)
    counts = {k: int(v) for k, v in re.findall(r"(n_\w+)\s+= (\d+)", out)}
    if "n_transferred_bytes" not in counts:
        raise RuntimeError(out)
    return counts


def our_camera(n, width, height, mode="default"):
    proc = subprocess.Popen(["taskset", "-c", "0", PY, str(HERE / "softcamera_process.py"), str(n), str(width),
                             str(height), mode], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    line = proc.stdout.readline()
    if not line.startswith("ready"):
        raise RuntimeError(line)
    return proc


def our_camera_unpinned(n, size):
    proc = subprocess.Popen([PY, str(HERE / "softcamera_process.py"), str(n), str(size), str(size)],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    if not proc.stdout.readline().startswith("ready"):
        raise RuntimeError("camera did not start")
    return proc


def fake_camera():
    proc = subprocess.Popen(["taskset", "-c", "0", "arv-fake-gv-camera-0.8", "-i", "127.0.0.1", "-s", "GV01"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    return proc


def stop(proc):
    if proc.stdin:
        proc.stdin.close()
    else:
        proc.terminate()
    proc.wait(timeout=30)


def line(name, value, unit, ratio=None, goal=None):
    text = f"{name:58s} {value:10.1f} {unit}"
    if ratio is not None:
        text += f"   ratio {ratio:6.2f}"
    if goal is not None:
        text += f" (goal {goal})"
    print(text, flush=True)


def into_our_receiver(n, seconds, size, rate, mode="default"):
    """Bytes a second of whole frames our stream and pipeline deliver, and
    the frames lost (gaps in the block ids)."""
    import numpy as np
    import tarn_base_310 as tb
    import tarn_receive_310 as tr
    m = tr._tarn_receive_310
    camera = subprocess.Popen([PY, str(HERE / "softcamera_process.py"), str(n), str(size), str(size), mode],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    assert camera.stdout.readline().startswith("ready")
    try:
        result, device = tr.ZuDevice.CreateAndConnect(f"127.0.0.{n}")
        assert result.IsOK(), result.GetDescription()
        params = device.GetParameters()
        params.SetIntegerValue("GevSCPSPacketSize", 8192)
        # The camera keeps to a frame rate, as a real one does.
        params.SetFloatValue("AcquisitionFrameRate", rate)
        params.SetBooleanValue("AcquisitionFrameRateEnable", True)
        result, stream = m.ZuStream_CreateAndOpen(f"127.0.0.{n}")
        receiver_type = m.ZuStreamGEV_GetDataReceiverType(stream)
        device.SetStreamDestination("127.0.0.1", m.ZuStreamGEV_GetLocalPort(stream))
        pipeline = m.new_ZuPipeline(stream)
        m.ZuPipeline_SetBufferSize(pipeline, size * size)
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
                pixels = buffer.GetImage().GetDataPointer()
                total += pixels.nbytes
                ids.append(buffer.GetBlockID())
            m.ZuPipeline_ReleaseBuffer(pipeline, buffer)
            if now - start >= seconds:
                break
        elapsed = time.monotonic() - start
        params.ExecuteCommand("AcquisitionStop")
        m.ZuPipeline_Stop(pipeline)
        m.delete_ZuPipeline(pipeline)
        m.ZuStream_Free(stream)
        tr.ZuDevice.Free(device)
    finally:
        stop(camera)
    lost = sum(b - a - 1 for a, b in zip(ids, ids[1:]) if b > a)
    if mode == "tcp" and receiver_type != tr.ZuDataReceiverTypeTCP:
        raise RuntimeError("the stream did not go over TCP")
    return total / elapsed / 1e6, lost, len(ids)


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 5.0
    size = 2048

    fake = fake_camera()
    try:
        theirs = arv_camera_test("127.0.0.1", seconds, size, size)
    finally:
        stop(fake)
    ours_proc = our_camera(2, size, size)
    try:
        ours = arv_camera_test("127.0.0.2", seconds, size, size)
    finally:
        stop(ours_proc)
    rate_theirs = theirs["n_transferred_bytes"] / seconds / 1e6
    rate_ours = ours["n_transferred_bytes"] / seconds / 1e6
    line("Aravis fake camera, one core (MB/s)", rate_theirs, "MB/s")
    line("our software camera, one core (MB/s)", rate_ours, "MB/s", rate_ours / rate_theirs, ">= 4")
    line("  its missing frames / packets", ours["n_missing_frames"], "", None)

    python_proc = our_camera(3, size, size, "python")
    try:
        filled = arv_camera_test("127.0.0.3", seconds, size, size)
    finally:
        stop(python_proc)
    line("frames filled by a NumPy source in Python (MB/s)", filled["n_transferred_bytes"] / seconds / 1e6, "MB/s",
         filled["n_transferred_bytes"] / max(1, ours["n_transferred_bytes"]))

    # Tiny frames: what one frame's up-calls cost.
    tiny_proc = our_camera(4, 16, 16)
    try:
        tiny = arv_camera_test("127.0.0.4", seconds, 16, 16, packet=1500, frequency=100000)
    finally:
        stop(tiny_proc)
    frames = tiny["n_transferred_bytes"] / 256
    per_frame_us = seconds / max(frames, 1) * 1e6

    def plain(x):
        return x
    call_us = min(timeit.repeat("plain(1)", globals={"plain": plain}, number=200000, repeat=5)) / 200000 * 1e6
    line("per frame of a Python source, tiny frames (us)", per_frame_us, "us", per_frame_us / call_us)
    print(f"{'':58s} (ratio to a plain Python call of {call_us * 1000:.0f} ns)")

    try:
        import tarn_receive_310 as tr
        ready = hasattr(tr._tarn_receive_310, "ZuStream_CreateAndOpen")
    except ImportError:
        ready = False
    if not ready:
        print("(end to end into our receiver: the receiving module has no stream yet)")
        return
    rate = float(os.environ.get("TARN_BENCH_RATE", "250"))   # 250 Hz: 1 GB/s of 2048 x 2048 Mono8
    ours_rate, lost, frames = into_our_receiver(5, seconds, size, rate)
    unpinned = our_camera_unpinned(6, size)
    try:
        aravis = arv_camera_test("127.0.0.6", seconds, size, size, pin=False)
    finally:
        stop(unpinned)
    aravis_rate = aravis["n_transferred_bytes"] / seconds / 1e6
    line("Aravis receiving our camera, 8 KiB packets (MB/s)", aravis_rate, "MB/s")
    line(f"our stream and pipeline into NumPy at {rate:.0f} Hz, {frames} frames", ours_rate, "MB/s",
         ours_rate / aravis_rate, ">= 1000 MB/s")
    line("  frames lost", lost, "")

    tcp_rate, tcp_lost, tcp_frames = into_our_receiver(7, seconds, size, rate, mode="tcp")
    line(f"the same over the TCP transport, {tcp_frames} frames", tcp_rate, "MB/s", tcp_rate / ours_rate)
    line("  frames lost", tcp_lost, "")


if __name__ == "__main__":
    main()
