"""A software camera for the benchmark, run in a process of its own (so that
it can be pinned to a core): `softcamera_process.py <n> <width> <height>
[python|trigger|tcp|rtp]` serves 127.0.0.<n> until its standard input closes.
The default source's own buffers go out as they are; with `python`, a NumPy
source fills every frame in Python; with `trigger`, it does so under trigger
control (trigger registers at 0x20000); with `tcp`, the default source's
buffers go out with the TCP transport on; with `rtp`, the default source's
RGB8 frames, RTP selectable (StreamProtocol)."""
import sys

import tarn_base_310  # noqa: F401  (the buffer class)
import tarn_edge_310 as te

sys.path.insert(0, str(__import__("pathlib").Path(__file__).resolve().parent.parent / "tests"))


def main():
    n, width, height = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    from support.softcamera import NumpySource, PassingSource, TriggeredSource
    mode = sys.argv[4] if len(sys.argv) > 4 else "default"
    if mode == "python":
        source = NumpySource(width=width, height=height, buffers=16)
    elif mode == "trigger":
        source = TriggeredSource(width=width, height=height, buffers=16)
    else:
        source = PassingSource(width, height, te.ZuPixelRGB8 if mode == "rtp" else te.ZuPixelMono8, 16)
    device = te.ZuSoftDeviceGEV()
    device.AddStream(source)
    if mode == "tcp":
        device.SetTCPTransportEnabled(True)
    device.SetRTPProtocolEnabled(mode == "rtp")
    result = device.Start("02:00:7F:00:00:%02X" % n)
    print("ready" if result.IsOK() else "failed " + result.GetDescription(), flush=True)
    sys.stdin.read()
    device.Stop()


if __name__ == "__main__":
    main()
