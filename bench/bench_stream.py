"""Receive throughput and CPU time per gigabyte of the GigE Vision stream
receiver, beside Aravis's own socket receiver taking the same stream in the
same run.

A test transmitter (build/bin/gvsp_test_sender) sends 1 MiB Mono8 frames in
8 KiB packets over loopback at a paced rate, in turn to our receiver
(build/bin/bench_stream_receiver: ZuStreamGEV, user-mode socket receiver)
and to Aravis's (bench/stream/aravis_receiver.py on Debian's python3, its
packet socket turned off). Rounds alternate between the two; medians are
reported, and ours as a ratio to Aravis's. Neither asks for resends there
(Aravis's would go to its idle fake camera), so a lost packet is a lost
frame; a third row ("ours+rs") is our receiver with the transmitter serving
its resend requests, as a camera would.

    make bench   (or: tools/netns .venv/bin/python bench/bench_stream.py)
"""
import json
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BIN = Path(os.environ.get("TARN_BUILD", ROOT / "build")) / "bin"
WIDTH, HEIGHT = 1024, 1024
FRAMES = int(os.environ.get("TARN_BENCH_FRAMES", "600"))
RATES = [int(r) for r in os.environ.get("TARN_BENCH_RATES", "500,1000,1500").split(",")]
ROUNDS = int(os.environ.get("TARN_BENCH_ROUNDS", "3"))
DATAGRAM = 8192


def start_receiver(command):
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline()
    if not line.startswith("port "):
        proc.kill()
        raise RuntimeError(f"{command[0]} did not start: {line!r}")
    return proc, int(line.split()[1])


def one_round(command, rate, device="127.0.0.1", control_port=0):
    proc, port = start_receiver(command)
    subprocess.run([str(BIN / "gvsp_test_sender"), "--device", device, "--control-port", str(control_port),
                    "--to", f"127.0.0.1:{port}", "--frames", str(FRAMES), "--width", str(WIDTH),
                    "--height", str(HEIGHT), "--datagram", str(DATAGRAM), "--rate-mbs", str(rate),
                    "--reuse-frame", "--keep-blocks", "64", "--linger-ms", "200"],
                   check=True, stdout=subprocess.DEVNULL)
    out, _ = proc.communicate(timeout=60)
    result = json.loads(out.strip().splitlines()[-1])
    gigabytes = result["bytes"] / 1e9
    return {
        "lost": FRAMES - result["ok"],
        "gbps": gigabytes / result["wall"] if result["wall"] else 0.0,
        "cpu_per_gb": result["cpu"] / gigabytes if gigabytes else float("inf"),
    }


def main():
    ours = [str(BIN / "bench_stream_receiver"), "127.0.0.1", str(FRAMES), str(WIDTH * HEIGHT), "20", "noresend"]
    resending = [str(BIN / "bench_stream_receiver"), "127.0.0.2", str(FRAMES), str(WIDTH * HEIGHT), "20"]
    aravis = None
    camera = None
    if shutil.which("arv-fake-gv-camera-0.8") and Path("/usr/bin/python3").exists():
        probe = subprocess.run(["/usr/bin/python3", "-c", "import gi; gi.require_version('Aravis', '0.8')"],
                               capture_output=True)
        if probe.returncode == 0:
            # Aravis makes a stream only for a device it controls: its fake
            # camera, left idle; the stream itself comes from our transmitter.
            camera = subprocess.Popen(["arv-fake-gv-camera-0.8", "-i", "127.0.0.1"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(1)
            aravis = ["/usr/bin/python3", str(ROOT / "bench/stream/aravis_receiver.py"), str(FRAMES), str(WIDTH),
                      str(HEIGHT), "20"]
    if aravis is None:
        print("Aravis's fake camera or its Python binding is missing: ours alone")
    try:
        print(f"{FRAMES} frames of {WIDTH}x{HEIGHT} Mono8 in {DATAGRAM}-byte packets, {ROUNDS} rounds, medians")
        print(f"{'rate MB/s':>9} {'receiver':>9} {'GB/s':>6} {'lost':>5} {'CPU s/GB':>9} {'GB/s ratio':>11} "
              f"{'CPU ratio':>10}")
        for rate in RATES:
            runs = {"ours": [], "aravis": [], "ours+rs": []}
            for _ in range(ROUNDS):
                runs["ours"].append(one_round(ours, rate))
                if aravis:
                    runs["aravis"].append(one_round(aravis, rate))
                runs["ours+rs"].append(one_round(resending, rate, "127.0.0.2", 3956))
            med = {name: {k: statistics.median(r[k] for r in rs) for k in ("gbps", "lost", "cpu_per_gb")}
                   for name, rs in runs.items() if rs}
            for name in med:
                m = med[name]
                ratio = ""
                if name == "ours" and "aravis" in med:
                    a = med["aravis"]
                    gb = m["gbps"] / a["gbps"] if a["gbps"] else float("inf")
                    cpu = m["cpu_per_gb"] / a["cpu_per_gb"] if a["cpu_per_gb"] else float("inf")
                    ratio = f"{gb:11.2f} {cpu:10.2f}"
                print(f"{rate:9d} {name:>9} {m['gbps']:6.2f} {m['lost']:5.0f} {m['cpu_per_gb']:9.3f} {ratio}")
    finally:
        if camera:
            camera.terminate()
            camera.wait()


if __name__ == "__main__":
    sys.exit(main())
