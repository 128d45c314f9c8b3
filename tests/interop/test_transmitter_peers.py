"""The transmitter's stream as Wireshark reads it: blocks with standard and
extended ids, resent packets and the answers for packets no longer held,
none of them malformed."""
import re
import socket
import subprocess
import time

import numpy as np

import tarn_base_310 as tb
import tarn_edge_310 as te
from support import needs_netns
from support.devices import skip_without

pytestmark = needs_netns()


def frame(size, seed):
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeRawData)
    assert buffer.Alloc(size).IsOK()
    buffer.GetDataPointer()[:] = np.random.default_rng(seed).integers(0, 256, size, dtype=np.uint8)
    return buffer


def image(width, height):
    buffer = tb.ZuBuffer()
    assert buffer.GetImage().Alloc(width, height, tb.ZuPixelMono8).IsOK()
    return buffer


def test_tshark_decodes_the_transmitters_stream(tmp_path):
    skip_without("tshark", "dumpcap")
    capture = tmp_path / "transmitter.pcapng"
    sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sink.bind(("127.0.0.1", 0))
    port = sink.getsockname()[1]
    dump = subprocess.Popen(["dumpcap", "-q", "-i", "lo", "-f", f"udp port {port}", "-w", str(capture)],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        for _ in range(500):
            if capture.exists() and capture.stat().st_size > 0:
                break
            time.sleep(0.01)
        time.sleep(0.2)
        held = []
        for extended in (False, True):
            tx = te.ZuTransmitterGEV()
            assert tx.Open(tb.ZuString("127.0.0.1"), port, tb.ZuString("127.0.0.1"), 0, True, extended).IsOK()
            tx.SetSentBuffersTimeout(60000)
            tx.SetPacketSize(1500)
            for b in (frame(5000, 1), image(64, 48), frame(3, 2)):
                held.append(b)
                assert tx.QueueBuffer(b).IsOK()
            tx.QueuePacketResend(2, 1, 2)      # held: sent again
            tx.QueuePacketResend(9, 0, 1)      # never sent: unavailable
            assert tx.FireTestPacket().IsOK()
            while tx.GetQueuedBufferCount():
                time.sleep(0.01)
            time.sleep(0.2)
            tx.Close()
        time.sleep(0.5)
    finally:
        dump.terminate()
        dump.wait(timeout=10)
        sink.close()
    out = subprocess.run(["tshark", "-r", str(capture), "-d", f"udp.port=={port},gvsp", "-V"], capture_output=True,
                         text=True, timeout=120).stdout
    assert "GigE Vision Streaming Protocol" in out
    assert "Malformed" not in out
    for kind in ("Leader", "Payload", "Trailer"):
        assert re.search(rf"Format: {kind}|{kind} \(", out, re.I), kind
    malformed = subprocess.run(["tshark", "-r", str(capture), "-d", f"udp.port=={port},gvsp", "-Y", "_ws.malformed"],
                               capture_output=True, text=True, timeout=60).stdout
    assert malformed == ""
