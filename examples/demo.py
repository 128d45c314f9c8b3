"""End-to-end tour of what the SDK offers from Python so far.

Run with `make demo`.
"""
import os
import shutil
import subprocess
import threading
import time

import numpy as np

import tarn_base_310 as tb


class PrintSink(tb.ZuLogSink):
    """A log sink that prints each entry the SDK hands it."""

    def __init__(self):
        super().__init__()
        self.entries = []

    def Log(self, level, logger, line, file, function, message):
        self.entries.append((level, logger, message))
        print(f"  [log] level={level} logger={logger} thread={threading.current_thread().name}: {message}")


def main():
    print("Texts and results")
    text = tb.ZuString("Grüße aus dem SDK")
    print(f"  ZuString: {text} ({text.GetLength()} characters)")
    result = tb.ZuResult(tb.ZU_TIMEOUT, "no frame within 100 ms")
    print(f"  ZuResult: code={result.GetCode()} ({result.GetCodeString()}), "
          f"description={result.GetDescription()!r}, ok={result.IsOK()}")
    combined = tb.ZuResult()
    combined |= result
    print(f"  OK |= TIMEOUT gives {combined.GetCodeString()}; equals ZU_TIMEOUT: {combined == tb.ZU_TIMEOUT}")

    print("Logging")
    sink = PrintSink()
    logger = tb.ZuLogger("demo")
    logger.SetLogPriority(tb.ZuLogLevelDebug)
    logger.LogInfo(__file__, 1, "main", "hello from the main thread")
    worker = threading.Thread(target=logger.LogWarning,
                              args=(__file__, 2, "worker", "hello from another thread"),
                              name="worker")
    worker.start()
    worker.join()
    # Once the SDK has called it, a sink lives until it is deleted explicitly.
    type(sink).__swig_destroy__(sink)
    logger.LogInfo(__file__, 3, "main", "nobody listens to this one")

    print("Buffers and images as NumPy arrays")
    buffer = tb.ZuBuffer()
    result = buffer.GetImage().Alloc(640, 480, tb.ZuPixelMono8)
    frame = buffer.GetImage().GetDataPointer()
    print(f"  Alloc 640x480 Mono8: {result.GetCodeString()}; view {frame.shape} {frame.dtype}")
    frame[:] = np.arange(640, dtype=np.uint8)[None, :]
    again = buffer.GetImage().GetDataPointer()
    print(f"  written through one view, seen through another: {int(again[10, 200])}; "
          f"same memory: {np.shares_memory(frame, again)}")
    rgb = tb.ZuBuffer()
    rgb.GetImage().Alloc(4, 2, tb.ZuPixelRGB8)
    print(f"  RGB8 4x2 view: shape {rgb.GetImage().GetDataPointer().shape}")

    print("Discovery")
    camera = start_fake_camera()
    try:
        system = tb.ZuSystem()
        system.SetDetectionTimeout(300)
        result = system.Find()
        print(f"  Find: {result.GetCodeString()}")
        for i in range(system.GetInterfaceCount()):
            adapter = system.GetInterface(i)
            print(f"  {type(adapter).__name__} {adapter.GetName()}: {adapter.GetDeviceCount()} device(s)")
        for i in range(system.GetDeviceCount()):
            info = system.GetDeviceInfo(i)
            print(f"  {type(info).__name__}: {info.GetVendorName()} {info.GetModelName()} "
                  f"serial {info.GetSerialNumber()} at {info.GetIPAddress()} ({info.GetMACAddress()})")
    finally:
        if camera:
            camera.terminate()
            camera.wait()
    software_cameras()
    print("done")


def software_cameras():
    """Two software cameras fed from Python with NumPy frames, each on its
    own loopback address: found by discovery, controlled and streamed by a
    controller that shares no code with them, every frame checked."""
    print("Software cameras fed from Python")
    if not os.environ.get("TARN_IN_NETNS"):
        print("  (run `make demo`: the cameras need the private network namespace)")
        return
    import sys
    from pathlib import Path
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
    import tarn_edge_310  # noqa: F401  (the cameras' module)
    from support.controller import Controller, StreamReceiver, open_stream, start_acquisition, stop_acquisition
    from support.softcamera import SoftCamera, pattern

    cameras = [SoftCamera(2, width=320, height=240, fps=500), SoftCamera(3, width=160, height=120, fps=500)]
    try:
        cameras[1].device.GetInfo().SetModelName("RigCam")
        system = tb.ZuSystem()
        system.SetDetectionTimeout(300)
        system.Find()
        for i in range(system.GetDeviceCount()):
            info = system.GetDeviceInfo(i)
            if info.GetIPAddress() in ("127.0.0.2", "127.0.0.3"):
                print(f"  found {info.GetVendorName()} {info.GetModelName()} at {info.GetIPAddress()} "
                      f"({info.GetMACAddress()})")
        for cam in cameras:
            ctl = Controller(cam.address)
            receiver = StreamReceiver()
            try:
                ctl.take_control()
                open_stream(ctl, receiver)
                start = time.monotonic()
                start_acquisition(ctl)
                blocks = receiver.wait_for(1000, timeout=30)
                elapsed = time.monotonic() - start
                stop_acquisition(ctl)
                ctl.release()
            finally:
                receiver.close()
                ctl.close()
            blocks = blocks[:1000]
            height, width = cam.source.height, cam.source.width
            good = sum(np.array_equal(np.frombuffer(b.data(), np.uint8).reshape(height, width),
                                      pattern(b.id - 1, height, width)) for b in blocks)
            ids = [b.id for b in blocks]
            lost = (ids[-1] - ids[0] + 1 - len(ids)) if ids else 0
            print(f"  {cam.address}: {len(blocks)} frames of {width}x{height} in {elapsed:.2f} s "
                  f"({len(blocks) / elapsed:.0f} frames/s), {good} byte-identical, {lost} lost")
    finally:
        for cam in cameras:
            cam.stop()


def start_fake_camera():
    """Starts Aravis's fake GigE Vision camera on the loopback interface, when
    it is installed and we run in a private network namespace (make demo)."""
    tool = shutil.which("arv-fake-gv-camera-0.8")
    if not tool or not os.environ.get("TARN_IN_NETNS"):
        print("  (no fake camera: install aravis-tools and run `make demo`)")
        return None
    proc = subprocess.Popen([tool, "-i", "127.0.0.1", "-s", "DEMO01"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    return proc


if __name__ == "__main__":
    main()
