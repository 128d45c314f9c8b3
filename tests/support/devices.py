"""Test devices, each on its own loopback address of the private namespace:
our GVCP responder and Aravis's fake camera."""
import shutil
import subprocess
import time

import numpy as np
import pytest

from support import BUILD, ROOT

RESPONDER = BUILD / "bin" / "tarn_gev_responder"
# The description the test device serves with xml=DESCRIPTION, and where
# its Width register lies (Height and PixelFormat follow it).
DESCRIPTION = ROOT / "tests" / "data" / "gev_device.xml"
WIDTH_REGISTER = 0x10000


def have(tool):
    return shutil.which(tool) is not None


def skip_without(*tools):
    missing = [t for t in tools if not have(t)]
    if missing:
        pytest.skip(f"{', '.join(missing)} not installed (apt-get install aravis-tools aravis-tools-cli tshark)")


def _stop(proc, close):
    if proc.poll() is None:
        close()
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def _udp_bound(address, port=3956):
    out = subprocess.run(["ss", "-uln"], capture_output=True, text=True, timeout=10).stdout
    return f"{address}:{port}" in out




class Responder:
    """Runs tarn_gev_responder on an address until stopped; identity fields
    as key=value (mac, manufacturer, model, serial, name, info, mask, class,
    xml, heartbeat, slow...). `tell(line)` sends it a command ("event ID
    [HEX]", "mute", "answer", "stats") and returns its answer line."""

    def __init__(self, address, **identity):
        self.address = address
        args = [str(RESPONDER), address] + [f"{k}={v}" for k, v in identity.items()]
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("ready"):
            self.proc.stdin.close()
            why = self.proc.stderr.read()
            self.stop()
            raise RuntimeError(f"responder on {address} did not start: {why}")

    def tell(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        answer = self.proc.stdout.readline()
        assert answer.startswith("ok "), f"responder answered {answer!r} to {line!r}"
        return answer[3:].strip()

    def stop(self):
        _stop(self.proc, self.proc.stdin.close)
        # Its pipes go with it: left to the collector they warn, and an
        # error under -W error.
        for pipe in (self.proc.stdout, self.proc.stderr):
            pipe.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def start_test_device(address, **identity):
    """The test device on an address: our GVCP server over 64 KiB of
    registers from 0x10000, serving its description, until stopped."""
    return Responder(address, xml=str(DESCRIPTION), **identity)


class FakeCamera:
    """Aravis's fake GigE Vision camera on a loopback address."""

    TOOL = "arv-fake-gv-camera-0.8"

    def __init__(self, serial="GV01", address="127.0.0.1"):
        self.address = address
        self.proc = subprocess.Popen([self.TOOL, "-i", address, "-s", serial],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # It binds its sockets within a moment of starting; wait until it does.
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            if _udp_bound(address):
                return
            time.sleep(0.05)
        self.stop()
        raise RuntimeError("arv-fake-gv-camera did not start")

    def stop(self):
        _stop(self.proc, self.proc.terminate)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


SENDER = BUILD / "bin" / "gvsp_test_sender"


def frame_bytes(size, block):
    """The bytes of the test transmitter's frame of a block: byte i is
    (i * 31 + block * 7 + (i >> 8)) modulo 256."""
    i = np.arange(size, dtype=np.uint64)
    return ((i * 31 + block * 7 + (i >> 8)) % 256).astype(np.uint8)


def _sender(device, port, frames, width, height, options):
    args = [str(SENDER), "--device", device, "--to", f"127.0.0.1:{port}", "--frames", str(frames),
            "--width", str(width), "--height", str(height)]
    for name, value in options.items():
        flag = "--" + name.replace("_", "-")
        args += [flag] if value is True else [flag, str(value)]
    return args


def send_frames(device, port, frames, width, height, **options):
    """Sends test frames (frame_bytes) from a device address on this machine
    to a local port with build/bin/gvsp_test_sender, which drops a seeded
    share of packets (loss=) and serves or refuses (refuse=True) resends,
    and returns once it has lingered for late resend requests. Options
    become --name value (a True value a bare flag)."""
    done = subprocess.run(_sender(device, port, frames, width, height, options), capture_output=True, text=True,
                          timeout=60)
    if done.returncode != 0:
        raise RuntimeError(f"gvsp_test_sender failed: {done.stderr}")
    return done.stdout


def start_frames(device, port, frames, width, height, **options):
    """send_frames in the background: the running process."""
    return subprocess.Popen(_sender(device, port, frames, width, height, options), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def search(system, done, timeouts=(300, 1000, 3000, 6000)):
    """system.Find(), searched again with each longer time-out until done()
    holds: a device held back from the processor on a loaded machine
    answers late. The last search's result."""
    for timeout in timeouts:
        system.SetDetectionTimeout(timeout)
        result = system.Find()
        if not result.IsOK() or done():
            break
    return result


def found_infos(system):
    return [system.GetDeviceInfo(i) for i in range(system.GetDeviceCount())]


def find(address):
    """(system, device information) of the device discovery finds at address."""
    import tarn_base_310 as tb
    system = tb.ZuSystem()

    def at_address():
        return [info for info in found_infos(system) if info.GetIPAddress() == address]

    assert search(system, at_address).IsOK()
    infos = at_address()
    assert infos, f"{address} not found"
    return system, infos[0]
