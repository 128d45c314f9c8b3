"""Device control on the loopback, beside Aravis's own controller on the
same device in the same run: a register read's round trip, and an integer
feature read by name, uncached (the device is asked) and cached.

    PYTHONPATH=build/python tools/netns .venv/bin/python bench/bench_device.py [reads]

The device is Aravis's fake camera (arv-fake-gv-camera-0.8 on 127.0.0.1).
Aravis is driven through its GObject-introspection binding on Debian's own
python3 (it has no binding for this interpreter), in a child process that
takes turns with ours: in each round the two take turns in five short
runs and each keeps its best, after a warm-up round. Figures are the
medians [lowest-highest] of the round-by-round ratios, ours to Aravis's:
above 1 means ours is slower.
"""
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

import tarn_receive_310 as tr

sys.path.insert(0, str(Path(__file__).resolve().parent))
from measure import SYSTEM_PYTHON, ratios, record, run_rounds, spread, version  # noqa: E402

ADDRESS = "127.0.0.1"
TRIES = 5

# Aravis's side, run by Debian's python3: the same three measurements.
ARAVIS = r"""
import gi, json, sys, time
gi.require_version("Aravis", "0.8")
from gi.repository import Aravis
reads = int(sys.argv[1])
camera = Aravis.Camera.new(sys.argv[2])
device = camera.get_device()
genicam = device.get_genicam()
width = genicam.get_node("Width")
for line in sys.stdin:
    out = {}
    start = time.perf_counter()
    for _ in range(reads):
        device.read_register(0x0)
    out["register"] = (time.perf_counter() - start) / reads
    # The feature cache of Aravis's node map is on by default; uncached
    # reads ask the device each time.
    device.set_register_cache_policy(Aravis.RegisterCachePolicy.DISABLE)
    start = time.perf_counter()
    for _ in range(reads):
        device.get_integer_feature_value("Width")
    out["uncached"] = (time.perf_counter() - start) / reads
    device.set_register_cache_policy(Aravis.RegisterCachePolicy.ENABLE)
    device.get_integer_feature_value("Width")
    start = time.perf_counter()
    for _ in range(reads):
        device.get_integer_feature_value("Width")
    out["cached"] = (time.perf_counter() - start) / reads
    print(json.dumps(out), flush=True)
"""


def ours(device, reads):
    out = {}
    gev = device
    start = time.perf_counter()
    for _ in range(reads):
        gev.ReadRegister(0x0)
    out["register"] = (time.perf_counter() - start) / reads
    params = device.GetParameters()
    start = time.perf_counter()
    for _ in range(reads):
        params.InvalidateCache()
        params.GetIntegerValue("Width")
    out["uncached"] = (time.perf_counter() - start) / reads
    params.GetIntegerValue("Width")
    start = time.perf_counter()
    for _ in range(reads):
        params.GetIntegerValue("Width")
    out["cached"] = (time.perf_counter() - start) / reads
    return out


def main():
    reads = int(sys.argv[1]) if len(sys.argv) > 1 else 400
    if not shutil.which("arv-fake-gv-camera-0.8") or not os.path.exists(SYSTEM_PYTHON):
        print("bench_device: needs arv-fake-gv-camera-0.8 and Debian's python3 with gir1.2-aravis-0.8 (tools/deps bench)")
        return
    camera = subprocess.Popen(["arv-fake-gv-camera-0.8", "-i", ADDRESS], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        time.sleep(1.0)
        result, device = tr.ZuDevice.CreateAndConnect(ADDRESS)
        assert result.IsOK(), result.GetDescription()
        # Aravis connects beside us, reading only (we hold control).
        aravis = subprocess.Popen([SYSTEM_PYTHON, "-c", ARAVIS, str(reads), ADDRESS], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, text=True)

        def theirs():
            aravis.stdin.write("go\n")
            aravis.stdin.flush()
            return json.loads(aravis.stdout.readline())

        def pair():
            # A round trip wakes three processes: a short run that another
            # program's time slice fell into says little, so each side's
            # figure in a round is its best of a few short runs, the two
            # taking turns run by run.
            best = {"ours": {}, "aravis": {}}
            for index in range(TRIES):
                order = [("ours", lambda: ours(device, reads)), ("aravis", theirs)]
                for side, run in (order if index % 2 == 0 else order[::-1]):
                    for key, value in run().items():
                        best[side][key] = min(value, best[side].get(key, value))
            return best

        try:
            paired = run_rounds({"pair": pair}, rounds=9)["pair"]
            runs = {side: [p[side] for p in paired] for side in ("ours", "aravis")}
        finally:
            aravis.stdin.close()
            aravis.wait(timeout=30)
            tr.ZuDevice.Free(device)
    finally:
        camera.terminate()
        camera.wait(timeout=10)
    peer = f"Aravis {version(['arv-tool-0.8', '--version'])}"
    print(f"bench_device: device control on the loopback, best of {TRIES} runs of {reads} reads a round, "
          f"{peer}'s fake camera")
    for key, label, goal in (("register", "register read round trip", "<= 1.0"),
                             ("uncached", "feature read by name, uncached", ""),
                             ("cached", "feature read by name, cached", "")):
        mine, theirs_ = [r[key] for r in runs["ours"]], [r[key] for r in runs["aravis"]]
        record("device", label, ratios(mine, theirs_), ours=f"{spread(mine)[0] * 1e6:.2f} us",
               peer=f"{peer} through its Python binding: {spread(theirs_)[0] * 1e6:.2f} us", goal=goal,
               method=f"Python on both sides, best of {TRIES} runs of {reads} reads each, taking turns, 9 rounds, "
                      f"Aravis's fake camera on the loopback")


if __name__ == "__main__":
    main()
