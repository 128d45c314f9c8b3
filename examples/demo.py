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
    own loopback address: found by discovery, connected, controlled and
    streamed into NumPy by the receiving module (or, while it has no stream
    yet, by a controller written from the standard), every frame checked."""
    print("Software cameras fed from Python")
    if not os.environ.get("TARN_IN_NETNS"):
        print("  (run `make demo`: the cameras need the private network namespace)")
        return
    import sys
    from pathlib import Path
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
    from support.softcamera import SoftCamera, pattern

    cameras = [SoftCamera(2, width=320, height=240), SoftCamera(3, width=160, height=120)]
    try:
        cameras[1].device.GetInfo().SetModelName("RigCam")
        system = tb.ZuSystem()
        system.SetDetectionTimeout(300)
        system.Find()
        found = {}
        for i in range(system.GetDeviceCount()):
            info = system.GetDeviceInfo(i)
            if info.GetIPAddress() in ("127.0.0.2", "127.0.0.3"):
                found[info.GetIPAddress()] = info
                print(f"  found {info.GetVendorName()} {info.GetModelName()} at {info.GetIPAddress()} "
                      f"({info.GetMACAddress()})")
        receive = receiving_module()
        for cam in cameras:
            height, width = cam.source.height, cam.source.width
            if receive:
                frames, elapsed, dropped = receive(found[cam.address], 1000, rate=1000.0)
                how = "ZuStream and ZuPipeline"
            else:
                (frames, elapsed), dropped = by_python_controller(cam.address, 1000), 0
                how = "a Python controller (no stream in the receiving module yet)"
            good = sum(np.array_equal(pixels, pattern(block - 1, height, width)) for block, pixels in frames)
            ids = [block for block, _ in frames]
            # Frames the pipeline let go because Python fell behind are
            # counted by the stream; any other gap is a lost frame.
            missing = (ids[-1] - ids[0] + 1 - len(ids)) if ids else 0
            print(f"  {cam.address} through {how}: {len(frames)} frames of {width}x{height} in {elapsed:.2f} s "
                  f"({len(frames) / elapsed:.0f} frames/s), {good} byte-identical, "
                  f"{min(dropped, missing)} dropped for a slow consumer, {max(missing - dropped, 0)} lost")
    finally:
        for cam in cameras:
            cam.stop()


def receiving_module():
    """A function that streams a found camera through the receiving module
    into NumPy, or None while that module has no device or stream."""
    try:
        import tarn_receive_310 as tr
    except ImportError:
        return None
    m = tr._tarn_receive_310
    if not all(hasattr(m, f) for f in ("ZuDevice_CreateAndConnect", "ZuStream_CreateAndOpen", "new_ZuPipeline")):
        return None

    def stream(info, count, rate):
        result, device = tr.ZuDevice.CreateAndConnect(info)
        params = device.GetParameters()
        width, height = params.GetIntegerValue("Width")[1], params.GetIntegerValue("Height")[1]
        print(f"  connected to {params.GetStringValue('DeviceModelName')[1]}: {width}x{height} "
              f"{params.GetEnumValueString('PixelFormat')[1]}, payload {params.GetIntegerValue('PayloadSize')[1]} bytes")
        params.SetFloatValue("AcquisitionFrameRate", rate)
        params.SetBooleanValue("AcquisitionFrameRateEnable", True)
        result, stream = m.ZuStream_CreateAndOpen(info)
        device.SetStreamDestination("127.0.0.1", m.ZuStreamGEV_GetLocalPort(stream))
        pipeline = m.new_ZuPipeline(stream)
        m.ZuPipeline_SetBufferSize(pipeline, width * height)
        m.ZuPipeline_SetBufferCount(pipeline, 16)
        m.ZuPipeline_Start(pipeline)
        params.SetIntegerValue("TLParamsLocked", 1)
        frames = []
        start = time.monotonic()
        params.ExecuteCommand("AcquisitionStart")
        while len(frames) < count:
            result, buffer, operation = m.ZuPipeline_RetrieveNextBuffer(pipeline, 5000)
            if not result.IsOK():
                break
            if operation.IsOK():
                frames.append((buffer.GetBlockID(), np.array(buffer.GetImage().GetDataPointer())))
            m.ZuPipeline_ReleaseBuffer(pipeline, buffer)
        elapsed = time.monotonic() - start
        dropped = m.ZuStream_GetParameters(stream).GetIntegerValue("PipelineImagesDropped")[1]
        params.ExecuteCommand("AcquisitionStop")
        params.SetIntegerValue("TLParamsLocked", 0)
        m.ZuPipeline_Stop(pipeline)
        m.delete_ZuPipeline(pipeline)
        m.ZuStream_Free(stream)
        tr.ZuDevice.Free(device)
        return frames, elapsed, dropped
    return stream


def by_python_controller(address, count):
    from support.controller import Controller, StreamReceiver, open_stream, start_acquisition, stop_acquisition
    ctl = Controller(address)
    receiver = StreamReceiver()
    try:
        ctl.take_control()
        # Paced for a receiver written in Python: AcquisitionFrameRate (a
        # double in two registers) and its switch.
        import struct
        high, low = struct.unpack(">II", struct.pack(">d", 1000.0))
        ctl.write(0x00011030, high)
        ctl.write(0x00011034, low)
        ctl.write(0x00011038, 1)
        open_stream(ctl, receiver)
        start = time.monotonic()
        start_acquisition(ctl)
        blocks = receiver.wait_for(count, timeout=30)[:count]
        elapsed = time.monotonic() - start
        stop_acquisition(ctl)
        ctl.release()
    finally:
        receiver.close()
        ctl.close()
    return [(b.id, np.frombuffer(b.data(), np.uint8).reshape(b.height, b.width)) for b in blocks], elapsed


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
