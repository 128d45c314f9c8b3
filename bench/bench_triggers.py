"""Trigger latency: from a controller's TriggerSoftware write to the whole
frame at the receiver, beside Aravis's fake camera triggered the same way,
and beside one control round trip to each camera, in one run.

    tools/netns .venv/bin/python bench/bench_triggers.py [triggers]

Both cameras run in processes of their own on loopback; one Python
controller and stream receiver (tests/support) drive both alike: trigger
mode on with the software source, acquisition started, then one trigger at
a time, each waited for before the next. Aravis's fake camera
(bench/softcamera/aravis_camera.py) looks for a trigger once a period of
its trigger frequency, here 1000 Hz. Each round measures both cameras,
after a warm-up round; figures are medians [lowest-highest] of the rounds'
median latencies and of their ratio.
"""
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))
sys.path.insert(0, str(HERE))

from support.controller import Controller, StreamReceiver, open_stream, start_acquisition, stop_acquisition  # noqa: E402
from support.devices import have  # noqa: E402
from measure import SYSTEM_PYTHON, ratios, record, run_rounds, spread, text  # noqa: E402

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
        self.proc = subprocess.Popen([SYSTEM_PYTHON, str(HERE / "softcamera/aravis_camera.py"), self.address],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        if not self.proc.stdout.readline().startswith("ready"):
            raise RuntimeError("Aravis's fake camera did not start")
        return self

    def start(self, ctl):
        ctl.write(self.acquisition, 1)

    def stop(self, ctl):
        ctl.write(self.acquisition, 0)

    def __exit__(self, *exc):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)


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
    triggers = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    kinds = [Ours] + ([Fake] if have("arv-fake-gv-camera-0.8") else [])

    def latency(kind):
        lat, rtt = measure(kind, triggers)
        return {"latency": statistics.median(lat), "read": statistics.median(rtt)}

    runs = run_rounds({kind.name: (lambda kind=kind: latency(kind)) for kind in kinds})
    print(f"bench_triggers: TriggerSoftware written to {WIDTH}x{HEIGHT} Mono8 frame received, {triggers} triggers a round")
    for name, samples in runs.items():
        lat, rtt = [s["latency"] for s in samples], [s["read"] for s in samples]
        record("triggers", f"{name}: trigger latency beside one register read", ratios(lat, rtt),
               ours=f"{text([x * 1e3 for x in lat], 3)} ms", peer=f"a register read: {spread(rtt)[0] * 1e3:.3f} ms",
               method="the same Python controller and receiver for both cameras")
    if len(runs) == 2:
        mine, theirs = ([s["latency"] for s in runs[kind.name]] for kind in kinds)
        record("triggers", "trigger latency", ratios(mine, theirs), ours=f"{spread(mine)[0] * 1e3:.3f} ms",
               peer=f"Aravis's fake camera: {spread(theirs)[0] * 1e3:.3f} ms",
               method="the same Python controller and receiver for both cameras")

if __name__ == "__main__":
    main()
