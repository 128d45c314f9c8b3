"""Streams frames from a GigE Vision camera into NumPy arrays.

    python stream_to_numpy.py ADDRESS [--frames 10]

ADDRESS is the camera's IP address (or its MAC address or user-defined
name): a real camera, examples/software_camera.py (127.0.0.5), or Aravis's
fake camera (arv-fake-gv-camera-0.8 -i 127.0.0.1).
"""
import argparse

import numpy as np

import tarn_base_310  # noqa: F401  (buffers and images get their Python classes)
import tarn_receive_310 as tr


def check(result, what):
    if not result.IsOK():
        raise RuntimeError(f"{what}: {result.GetCodeString()} {result.GetDescription()}")


def grab(address, count=10, timeout_ms=2000):
    """`count` frames of the camera at `address`, each a (block ID, NumPy
    array) of its own; frames that arrive damaged are skipped."""
    result, device = tr.ZuDevice.CreateAndConnect(address)
    check(result, f"connecting to {address}")
    try:
        result, stream = tr.ZuStream.CreateAndOpen(address)
        check(result, "opening the stream")
        try:
            # The camera sends to the stream's own address and port.
            check(device.SetStreamDestination(stream.GetLocalIPAddress(), stream.GetLocalPort()),
                  "setting the stream destination")
            # Kept for the teardown: once the link to the device is lost,
            # device.GetParameters() answers None, while this array answers
            # each call with a failed result.
            params = device.GetParameters()
            pipeline = tr.ZuPipeline(stream)
            pipeline.SetBufferSize(params.GetIntegerValue("PayloadSize")[1])
            check(pipeline.Start(), "starting the pipeline")
            try:
                check(device.StreamEnable(), "locking the stream settings")
                check(params.ExecuteCommand("AcquisitionStart"), "starting the acquisition")
                frames = []
                while len(frames) < count:
                    result, buffer, operation = pipeline.RetrieveNextBuffer(timeout_ms)
                    if not result.IsOK() and not device.IsConnected():
                        raise RuntimeError(f"the link to {address} was lost")
                    check(result, "waiting for a frame")
                    if operation.IsOK():
                        # The view shows the pipeline's memory, which later
                        # frames reuse: copy it before the buffer goes back.
                        frames.append((buffer.GetBlockID(), np.array(buffer.GetImage().GetDataPointer())))
                    pipeline.ReleaseBuffer(buffer)
            finally:
                # On every path, a lost link included (the device then
                # answers failed results).
                params.ExecuteCommand("AcquisitionStop")
                device.StreamDisable()
                pipeline.Stop()
                del pipeline
        finally:
            # The pipeline first, then its stream, then the device.
            tr.ZuStream.Free(stream)
    finally:
        tr.ZuDevice.Free(device)
    return frames


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("address", help="the camera's IP address, MAC address or user-defined name")
    parser.add_argument("--frames", type=int, default=10)
    args = parser.parse_args()
    frames = grab(args.address, args.frames)
    for block, pixels in frames:
        print(f"frame {block}: {pixels.shape} {pixels.dtype}, mean {pixels.mean():.1f}")


if __name__ == "__main__":
    main()
