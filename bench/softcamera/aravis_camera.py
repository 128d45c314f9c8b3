"""Aravis's fake GigE Vision camera (its GObject binding, on Debian's
python3) on an address, sending prepared memory as our camera does: its
fill pattern, which draws every frame pixel by pixel, is replaced by one
that leaves the buffer as it is. It looks for a software trigger once a
period of its trigger frequency: here 1000 Hz, the most its clock of
milliseconds serves. Prints "ready", serves until standard input closes.

    /usr/bin/python3 bench/softcamera/aravis_camera.py ADDRESS
"""
import sys

import gi

gi.require_version("Aravis", "0.8")
from gi.repository import Aravis  # noqa: E402


def untouched(buffer, data, exposure_us, gain, pixel_format):
    """The frame goes out as it is."""


def main():
    camera = Aravis.GvFakeCamera.new(sys.argv[1], "BENCH")
    camera.get_fake_camera().set_fill_pattern(untouched, None)
    camera.get_fake_camera().set_trigger_frequency(1000.0)
    print("ready" if camera.is_running() else "failed", flush=True)
    sys.stdin.read()


if __name__ == "__main__":
    main()
