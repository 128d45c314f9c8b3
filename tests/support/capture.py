"""Wireshark's capture of the loopback for tests that check how it decodes
our packets."""
import os
import select
import socket
import subprocess
import time


class Capture:
    """Wireshark's capture of the loopback's UDP for the time of a with-block,
    into a file. A probe datagram marks the start and the end: the capture is
    known to run once it shows the first, and to hold everything sent before
    the second once it shows that."""

    PROBE_PORT = 49999

    def __init__(self, path):
        self.path = path

    def probe(self):
        """Sends a probe from a port of its own, and returns that port."""
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind(("127.0.0.1", 0))
            s.sendto(b"probe", ("127.0.0.1", self.PROBE_PORT))
            return s.getsockname()[1]

    def wait_for_probe(self):
        """Probes until the capture shows one of the probes sent here (an
        earlier probe's line may still be on its way)."""
        sent = set()
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            sent.add(self.probe())
            while select.select([self.proc.stdout], [], [], 0.1)[0]:
                chunk = os.read(self.proc.stdout.fileno(), 65536)
                if not chunk:
                    break
                self.pending += chunk
                *lines, self.pending = self.pending.split(b"\n")
                if any(f"{port} \u2192 {self.PROBE_PORT}".encode() in line for line in lines for port in sent):
                    return
        raise AssertionError("the capture shows no probe")

    def __enter__(self):
        # Unbuffered, read whole chunks: a buffered reader would hold lines
        # that select no longer reports. Sanitizer preloads stay with us.
        env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
        self.raw = f"{self.path}.raw"
        self.proc = subprocess.Popen(["tshark", "-q", "-l", "-P", "-i", "lo", "-f", "udp", "-w", self.raw],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0, env=env)
        self.pending = b""
        self.wait_for_probe()
        return self

    def __exit__(self, *exc):
        self.wait_for_probe()
        self.proc.terminate()
        self.proc.wait(timeout=10)
        # The probes are ours, not the system's: left in, a dissector that
        # guesses by content may call one of them malformed.
        subprocess.run(["tshark", "-r", self.raw, "-Y", f"not udp.dstport == {self.PROBE_PORT}", "-w", str(self.path)],
                       check=True, capture_output=True, timeout=60)
        os.remove(self.raw)
