"""Trigger latency: from a controller's TriggerSoftware write to the whole
frame at the receiver, beside Aravis's fake camera triggered the same way,
and beside one control round trip to each camera, in one run.

    tools/netns .venv/bin/python bench/bench_triggers.py [triggers]

Both cameras run in processes of their own on loopback; one Python
controller and stream receiver (tests/support) drive both alike: trigger
mode on with the software source, acquisition started, then one trigger at
a time, each waited for before the next.
"""
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))

from support.controller import Controller, StreamReceiver, open_stream, start_acquisition, stop_acquisition  # noqa: E402
from support.devices import FakeCamera, have  # noqa: E402

WIDTH, HEIGHT = 64, 48


class Ours:
    name = "software camera"
    address = "127.0.0.61"
    mode, source, software, width, height = 0x20004, 0x20008, 0x2000C, 0x10000, 0x10004
    SOFTWARE_SOURCE = 0

    def __enter__(self):
        self.proc = subprocess.Popen([sys.executable, str(HERE / "softcamera_process.py"), "61", str(WIDTH),
                                      str(HEIGHT), "trigger"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        if not self.proc.stdout.readline().startswith("ready"):
            raise RuntimeError("camera did not start")
        return self

    def start(self, ctl):
        start_acquisition(ctl)

    def stop(self, ctl):
        stop_acquisition(ctl)

    def __exit__(self, *exc):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)


class Fake:
    name = "Aravis fake camera"
    address = "127.0.0.1"
    mode, source, software, width, height, acquisition = 0x300, 0x304, 0x30C, 0x100, 0x104, 0x124
    SOFTWARE_SOURCE = 1

    def __enter__(self):
        self.camera = FakeCamera(serial="TRIG")
        return self

    def start(self, ctl):
        ctl.write(self.acquisition, 1)

    def stop(self, ctl):
        ctl.write(self.acquisition, 0)

    def __exit__(self, *exc):
        self.camera.stop()


def measure(kind, triggers):
    with kind() as cam:
        ctl = Controller(cam.address)
        ctl.take_control()
        ctl.write(cam.width, WIDTH)
        ctl.write(cam.height, HEIGHT)
        receiver = StreamReceiver()
        try:
            open_stream(ctl, receiver)
            ctl.write(cam.mode, 1)
            ctl.write(cam.source, cam.SOFTWARE_SOURCE)
            cam.start(ctl)
            time.sleep(0.2)
            base = len(receiver.wait_for(0))
            latencies = []
            for i in range(triggers + 10):
                t0 = time.perf_counter()
                ctl.write(cam.software, 1)
                if len(receiver.wait_for(base + i + 1, timeout=5.0)) < base + i + 1:
                    raise RuntimeError(f"{cam.name}: trigger {i} brought no frame")
                if i >= 10:
                    latencies.append(time.perf_counter() - t0)
            round_trips = []
            for _ in range(200):
                t0 = time.perf_counter()
                ctl.read(cam.width)
                round_trips.append(time.perf_counter() - t0)
            cam.stop(ctl)
        finally:
            receiver.close()
            ctl.close()
    return latencies, round_trips


def main():
    triggers = int(sys.argv[1]) if len(sys.argv) > 1 else 300
    kinds = [Ours] + ([Fake] if have("arv-fake-gv-camera-0.8") else [])
    results = {}
    for kind in kinds:
        results[kind.name] = measure(kind, triggers)
    print(f"Trigger latency, TriggerSoftware written to {WIDTH}x{HEIGHT} Mono8 frame received ({triggers} triggers):")
    for name, (lat, rtt) in results.items():
        lat_ms = sorted(x * 1e3 for x in lat)
        print(f"  {name:20s} median {statistics.median(lat_ms):7.3f} ms  p90 {lat_ms[int(len(lat_ms) * 0.9)]:7.3f} ms"
              f"  (one register read {statistics.median(rtt) * 1e3:6.3f} ms; ratio {statistics.median(lat) / statistics.median(rtt):5.1f})")
    if len(results) == 2:
        (a, (la, _)), (b, (lb, _)) = results.items()
        print(f"  median latency ratio {a} / {b}: {statistics.median(la) / statistics.median(lb):.2f}")


if __name__ == "__main__":
    main()
