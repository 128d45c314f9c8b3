"""The stream senders' throughput and the transmitter's pacing, in one run.

    tools/netns .venv/bin/python bench/bench_transmitter.py [seconds]

1. Unpaced, on one core: the stand-alone transmitter and the software
   camera's stream channel sender (the same sender core under both), each
   pinned to core 0, sending 4 MiB frames in 8 KiB packets over the loopback
   to a receiver that drains them on core 1. Loopback delivery runs on the
   sender's core, so these figures carry the receiving side's kernel work
   too; the ratio between the two senders is what compares.
   The machine's other load decides what share of the core a sender gets:
   besides the rate over the time, the bytes per second of the process's
   own processor time compare the senders' cost (the best of three
   alternate runs each).
2. Paced: the transmitter held to a few rates; the payload rate it reached
   (sent bytes over the time) beside its target, and the rate the receiver
   saw.
"""
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BENCH = ROOT / "build" / "bin" / "bench_transmitter"
PORT = 50010


def run(mode, seconds, *more):
    drain = subprocess.Popen(["taskset", "-c", "1", str(BENCH), "drain", str(PORT), str(seconds + 1.0)],
                             stdout=subprocess.PIPE, text=True)
    if drain.stdout.readline().strip() != "ready":
        raise RuntimeError("the receiver did not start")
    sent = subprocess.run(["taskset", "-c", "0", str(BENCH), mode, str(PORT), str(seconds), *map(str, more)],
                          capture_output=True, text=True, check=True).stdout.split()
    received = drain.communicate(timeout=60)[0].split()
    payload, elapsed, average, cpu = int(sent[1]), float(sent[2]), float(sent[3]), float(sent[4])
    return payload / elapsed, int(received[1]) / elapsed, average, payload / cpu


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 3.0
    if not BENCH.exists():
        sys.exit(f"{BENCH} is missing: make build")
    print(f"Unpaced, 8 KiB packets, one core each ({seconds:.0f} s, the best of three alternate runs):")
    rounds = [(run("transmitter", seconds), run("camera", seconds)) for _ in range(3)]
    tx = max((r[0] for r in rounds), key=lambda r: r[3])
    cam = max((r[1] for r in rounds), key=lambda r: r[3])
    for name, (rate, received, _, per_cpu) in (("transmitter", tx), ("camera sender", cam)):
        print(f"  {name:14s}  {per_cpu / 1e9:6.2f} GB per processor second  {rate / 1e9:6.2f} GB/s sent"
              f"  {received / 1e9:6.2f} GB/s received")
    print(f"  transmitter / camera sender, per processor second: {tx[3] / cam[3]:.2f}")
    print("Paced (Mbit/s of payload):")
    for target in (100, 1000, 4000, 10000):
        # Frames of 256 KiB: the payload is counted a frame at a time.
        sent, received, average, _ = run("transmitter", seconds, target, 256)
        print(f"  target {target:6d}  sent {sent * 8 / 1e6:9.1f} ({(sent * 8 / 1e6 / target - 1) * 100:+5.2f} %)"
              f"  received {received * 8 / 1e6:9.1f}  transmitter's average {average:9.1f}")


if __name__ == "__main__":
    main()
