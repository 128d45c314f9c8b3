"""A software GigE Vision camera fed from NumPy frames.

Any GigE Vision controller finds it, reads its features and streams from
it: our receiving module (examples/stream_to_numpy.py 127.0.0.5) or
Aravis's tools (arv-tool-0.8 -a 127.0.0.5 control Width PixelFormat).

    python software_camera.py [--address 127.0.0.5] [--seconds 60]

The camera runs until the time is up or Ctrl-C. It takes a loopback
address (127.x.y.z), so that several can run on one machine; run it in a
private network namespace (tools/netns) to keep its packets on it.
"""
import argparse
import queue
import signal
import time

import numpy as np

import tarn_base_310  # noqa: F401  (buffers get their Python class)
import tarn_edge_310 as te


def pattern(number, height, width):
    """Frame `number`: a diagonal ramp that moves one step per frame."""
    rows = np.arange(height, dtype=np.uint32)[:, None]
    cols = np.arange(width, dtype=np.uint32)[None, :]
    return ((rows * 7 + cols * 3 + number * 11) & 0xFF).astype(np.uint8)


class NumpySource(te.ZuStreamingChannelSourceDefault):
    """One Mono8 stream channel whose frames come from `frame(number, height,
    width)`, at most `fps` a second. The ready-made source describes the
    image and allocates the buffers; Python queues them and fills each one
    just before it is sent."""

    def __init__(self, width=640, height=480, fps=30.0, frame=pattern):
        super().__init__(width, height, te.ZuPixelMono8, 8)
        self.frame = frame
        self.period = 1.0 / fps
        self.due = 0.0
        self.sent = 0
        self.empty = queue.Queue()
        self.stopping = False

    def OnStreamingStart(self):
        te.ZuStreamingChannelSourceDefault.OnStreamingStart(self)
        self.stopping = False

    def QueueBuffer(self, buffer):
        self.empty.put(buffer)
        return te.ZU_OK

    def AbortQueuedBuffers(self):
        # The stream stops: what is still queued goes back unfilled.
        self.stopping = True

    def RetrieveBuffer(self, slot):
        # The camera's streaming thread asks again and again: each call waits
        # at most a few tens of milliseconds, so that a stop is heard.
        wait = self.due - time.monotonic()
        if wait > 0 and not self.stopping:
            time.sleep(min(wait, 0.02))
            return te.ZU_TIMEOUT, None
        try:
            buffer = self.empty.get(timeout=0.02)
        except queue.Empty:
            return te.ZU_TIMEOUT, None
        if not self.stopping:
            self.due = max(self.due + self.period, time.monotonic())
            image = buffer.GetImage()
            image.GetDataPointer()[...] = self.frame(self.sent, image.GetHeight(), image.GetWidth())
            self.sent += 1
        return te.ZU_OK, buffer


def loopback_mac(address):
    """The MAC address that puts a software camera on a loopback address:
    02:00:7F:xx:yy:zz for 127.xx.yy.zz."""
    parts = [int(p) for p in address.split(".")]
    if len(parts) != 4 or parts[0] != 127:
        raise ValueError(f"{address} is no loopback address (127.x.y.z)")
    return "02:00:7F:%02X:%02X:%02X" % tuple(parts[1:])


class SoftwareCamera:
    """A started software camera with one NumpySource; stop() (or leaving a
    `with` block) stops it."""

    def __init__(self, address="127.0.0.5", **source):
        self.address = address
        # The device keeps only the source's native object: the camera keeps
        # the Python one alive for as long as the device may call it.
        self.source = NumpySource(**source)
        self.device = te.ZuSoftDeviceGEV()
        result = self.device.AddStream(self.source)
        if result.IsOK():
            result = self.device.Start(loopback_mac(address))
        if not result.IsOK():
            raise RuntimeError(f"the camera did not start: {result.GetCodeString()} {result.GetDescription()}")

    def stop(self):
        self.device.Stop()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", default="127.0.0.5", help="loopback address to serve (127.x.y.z)")
    parser.add_argument("--width", type=int, default=640)
    parser.add_argument("--height", type=int, default=480)
    parser.add_argument("--fps", type=float, default=30.0)
    parser.add_argument("--seconds", type=float, default=60.0, help="how long to run")
    args = parser.parse_args()

    # Ctrl-C and kill both stop the camera cleanly, also when a shell started
    # it in the background (where SIGINT comes ignored).
    def interrupt(signum, frame):
        raise KeyboardInterrupt

    for number in (signal.SIGINT, signal.SIGTERM):
        signal.signal(number, interrupt)
    with SoftwareCamera(args.address, width=args.width, height=args.height, fps=args.fps) as camera:
        print(f"Software camera on {args.address}, {args.width}x{args.height} Mono8; Ctrl-C stops it", flush=True)
        try:
            time.sleep(args.seconds)
        except KeyboardInterrupt:
            pass
        print(f"{camera.source.sent} frames sent")


if __name__ == "__main__":
    main()
