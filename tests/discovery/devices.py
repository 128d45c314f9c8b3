"""Test-only GigE Vision devices for the discovery tests: our own responder
and Aravis's fake camera, each on its own loopback address."""
import os
import shutil
import subprocess
import time

from conftest import BUILD

RESPONDER = BUILD / "bin" / "tarn_gev_responder"


class Responder:
    """Runs tarn_gev_responder on an address until stopped."""

    def __init__(self, address, **identity):
        args = [str(RESPONDER), address] + [f"{k}={v}" for k, v in identity.items()]
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("ready"):
            self.stop()
            raise RuntimeError(f"responder on {address} did not start: {self.proc.stderr.read()}")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class FakeCamera:
    """Aravis's fake GigE Vision camera on 127.0.0.1."""

    TOOL = "arv-fake-gv-camera-0.8"

    def __init__(self, serial="GV01"):
        self.proc = subprocess.Popen([self.TOOL, "-i", "127.0.0.1", "-s", serial],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # It binds its sockets within a moment of starting; wait until it answers.
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            out = subprocess.run(["ss", "-uln"], capture_output=True, text=True).stdout
            if "127.0.0.1:3956" in out:
                return
            time.sleep(0.05)
        self.stop()
        raise RuntimeError("arv-fake-gv-camera did not start")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def have(tool):
    return shutil.which(tool) is not None
