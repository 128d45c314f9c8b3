"""A tour of the SDK from Python, built from the other examples: texts,
results and logging; buffers as NumPy arrays; two software cameras fed from
NumPy frames, found by discovery and streamed into NumPy by the receiving
module; a stand-alone transmitter.

Run it with `make demo`: the cameras need the private network namespace
that tools/netns gives.
"""
import os
import sys
import threading
import time

import numpy as np

import tarn_base_310 as tb
from software_camera import SoftwareCamera, pattern
from stream_to_numpy import grab
from transmitter import send_and_receive


class PrintSink(tb.ZuLogSink):
    """A log sink that prints each entry the SDK hands it, with the thread
    it came on."""

    def Log(self, level, logger, line, file, function, message):
        print(f"  [log] level={level} logger={logger} thread={threading.current_thread().name}: {message}")


def texts_and_results():
    print("Texts and results")
    text = tb.ZuString("Grüße aus dem SDK")
    print(f"  ZuString: {text} ({text.GetLength()} characters)")
    result = tb.ZuResult(tb.ZU_TIMEOUT, "no frame within 100 ms")
    print(f"  ZuResult: code={result.GetCode()} ({result.GetCodeString()}), "
          f"description={result.GetDescription()!r}, ok={result.IsOK()}")
    combined = tb.ZuResult()
    combined |= result
    print(f"  OK |= TIMEOUT gives {combined.GetCodeString()}; equals ZU_TIMEOUT: {combined == tb.ZU_TIMEOUT}")


def logging():
    print("Logging")
    sink = PrintSink()
    logger = tb.ZuLogger("demo")
    logger.SetLogPriority(tb.ZuLogLevelDebug)
    logger.LogInfo(__file__, 1, "main", "hello from the main thread")
    worker = threading.Thread(target=logger.LogWarning, args=(__file__, 2, "worker", "hello from another thread"),
                              name="worker")
    worker.start()
    worker.join()
    # A sink takes part in the SDK's logging for as long as it lives.
    del sink
    logger.LogInfo(__file__, 3, "main", "nobody listens to this one")


def buffers():
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


def software_cameras(count=200):
    print("Software cameras fed from NumPy frames, streamed into NumPy")
    cameras = [SoftwareCamera("127.0.0.2", width=320, height=240, fps=500),
               SoftwareCamera("127.0.0.3", width=160, height=120, fps=500)]
    try:
        cameras[1].device.GetInfo().SetModelName("RigCam")
        system = tb.ZuSystem()
        system.SetDetectionTimeout(300)
        system.Find()
        for i in range(system.GetDeviceCount()):
            info = system.GetDeviceInfo(i)
            print(f"  found {info.GetVendorName()} {info.GetModelName()} at {info.GetIPAddress()} "
                  f"({info.GetMACAddress()})")
        for camera in cameras:
            start = time.monotonic()
            frames = grab(camera.address, count)
            elapsed = time.monotonic() - start
            height, width = frames[0][1].shape
            # Block IDs count from 1: frame n of the source is block n + 1.
            same = sum(np.array_equal(pixels, pattern(block - 1, height, width)) for block, pixels in frames)
            print(f"  {camera.address}: {len(frames)} frames of {width}x{height} in {elapsed:.2f} s, "
                  f"{same} byte-identical to what the camera sent")
    finally:
        for camera in cameras:
            camera.stop()


def transmitter():
    print("A stand-alone transmitter")
    same = send_and_receive("127.0.0.6", 20)
    print(f"  {same} of 20 frames arrived as they were sent")


def main():
    texts_and_results()
    logging()
    buffers()
    if not os.environ.get("TARN_IN_NETNS"):
        sys.exit("The cameras need a private network namespace: run `make demo` (or tools/netns python demo.py)")
    software_cameras()
    transmitter()
    print("done")


if __name__ == "__main__":
    main()
