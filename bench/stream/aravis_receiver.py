"""The peer of the stream benchmark: Aravis's own receiver (its GObject
binding, on Debian's python3) set up as ours is: the packet size the
sender uses, no resend requests, the same number of buffers and the same
socket buffer. Aravis makes a stream only for a device it controls, so it
connects to its fake camera (which stays idle) and the benchmark's sender
streams to that stream's port from another address. Prints "port N", then
one JSON line like bench_stream_receiver's, its window also opening once
every buffer has been used.

    /usr/bin/python3 bench/stream/aravis_receiver.py FRAMES WIDTH HEIGHT PACKET BUFFERS SOCKET_BYTES [IDLE_S]

PACKET is the stream's packet size as the device's GevSCPSPacketSize
counts it (IP and UDP headers included). The run ends with the frames
asked for, or IDLE_S (default 1) after the last one, so that a lost frame
costs no time-out.
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
    frames, width, height, packet, buffers, socket_bytes = (int(a) for a in sys.argv[1:7])
    idle = float(sys.argv[7]) if len(sys.argv) > 7 else 1.0
    camera = Aravis.Camera.new("127.0.0.1")
    # Its plain socket receiver, like ours (the packet socket needs
    # privileges an application seldom has).
    camera.gv_set_stream_options(Aravis.GvStreamOption.PACKET_SOCKET_DISABLED)
    camera.gv_set_packet_size_adjustment(Aravis.GvPacketSizeAdjustment.NEVER)
    camera.gv_set_packet_size(packet)
    camera.set_region(0, 0, width, height)
    camera.set_pixel_format(Aravis.PIXEL_FORMAT_MONO_8)
    payload = camera.get_payload()
    stream = camera.create_stream(None, None)
    stream.set_property("packet-resend", Aravis.GvStreamPacketResend.NEVER)
    stream.set_property("socket-buffer", Aravis.GvStreamSocketBuffer.FIXED)
    stream.set_property("socket-buffer-size", socket_bytes)
    for _ in range(buffers):
        stream.push_buffer(Aravis.Buffer.new_allocate(payload))
    print("port", stream.get_port(), flush=True)
    ok = failed = 0
    size = 0.0
    first_cpu = first_wall = last_cpu = last_wall = 0.0
    started = time.monotonic()
    while ok + failed < frames:
        buffer = stream.timeout_pop_buffer(200000)
        now = time.monotonic()
        if buffer is None:
            if now - (last_wall or started) > (idle if ok + failed else 30):
                break
            continue
        good = buffer.get_status() == Aravis.BufferStatus.SUCCESS
        if ok + failed == buffers:
            first_cpu, first_wall = cpu(), now
        elif ok + failed > buffers and good:
            # The frame that opens the window is not counted; the ones after it are.
            size += payload
        ok += good
        failed += not good
        last_cpu, last_wall = cpu(), now
        stream.push_buffer(buffer)
    print(json.dumps({"ok": ok, "failed": failed, "bytes": size, "cpu": last_cpu - first_cpu,
                      "wall": last_wall - first_wall}), flush=True)


if __name__ == "__main__":
    main()
