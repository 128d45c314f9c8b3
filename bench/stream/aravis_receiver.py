"""The other side of the stream benchmark: Aravis's own receiver (its
GObject binding on Debian's python3) takes the same stream as ours. Aravis
makes a stream only for a device it controls, so it connects to its fake
camera (which stays idle) and the benchmark's sender streams to the port of
that stream from another address. Prints "port N", then one JSON line like
bench_stream_receiver's.

    /usr/bin/python3 bench/stream/aravis_receiver.py FRAMES WIDTH HEIGHT [TIMEOUT_S]
"""
import json
import resource
import sys
import time

import gi

gi.require_version("Aravis", "0.8")
from gi.repository import Aravis  # noqa: E402


def cpu():
    u = resource.getrusage(resource.RUSAGE_SELF)
    return u.ru_utime + u.ru_stime


def main():
    frames, width, height = (int(a) for a in sys.argv[1:4])
    timeout = float(sys.argv[4]) if len(sys.argv) > 4 else 30
    camera = Aravis.Camera.new("127.0.0.1")
    if "--packet-socket" not in sys.argv:
        # Its plain socket receiver, like ours (the packet socket needs
        # privileges an application seldom has).
        camera.get_device().set_stream_options(Aravis.GvStreamOption.PACKET_SOCKET_DISABLED)
    camera.set_region(0, 0, width, height)
    camera.set_pixel_format(Aravis.PIXEL_FORMAT_MONO_8)
    payload = camera.get_payload()
    stream = camera.create_stream(None, None)
    for _ in range(32):
        stream.push_buffer(Aravis.Buffer.new_allocate(payload))
    print("port", stream.get_port(), flush=True)
    ok = failed = 0
    size = 0.0
    first_cpu = first_wall = last_cpu = last_wall = 0.0
    end = time.monotonic() + timeout
    while ok + failed < frames and time.monotonic() < end:
        buffer = stream.timeout_pop_buffer(500000)
        if buffer is None:
            continue
        good = buffer.get_status() == Aravis.BufferStatus.SUCCESS
        if ok + failed == 0:
            first_cpu, first_wall = cpu(), time.monotonic()
        elif good:
            size += payload
        ok += good
        failed += not good
        last_cpu, last_wall = cpu(), time.monotonic()
        stream.push_buffer(buffer)
    print(json.dumps({"ok": ok, "failed": failed, "bytes": size, "cpu": last_cpu - first_cpu,
                      "wall": last_wall - first_wall}), flush=True)


if __name__ == "__main__":
    main()
