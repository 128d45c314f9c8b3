"""The stream senders' cost and the transmitter's pacing, beside a plain
sendmmsg loop, in one run.

    tools/netns .venv/bin/python bench/bench_transmitter.py [seconds]

1. Unpaced, on one core: the stand-alone transmitter, the software
   camera's stream channel sender and the yardstick (a plain sendmmsg loop
   of prepared datagrams of the same size), each pinned to core 0, sending
   4 MiB frames in 8192-byte packets (IP and UDP headers included) over the
   loopback to a receiver that only counts bytes on core 1
   (build/bin/bench_yardstick recv). The figure is the sender's processor
   time per gigabyte the receiver got: a datagram the receiver had no room
   for cost the sender something and counts for nothing, the same for all
   three. Loopback delivery runs on the sender's core, alike for all three.
2. Paced: the transmitter held to a few rates; what the receiver got, as a
   share of the target.
Rounds are interleaved after a warm-up; figures are medians [lowest-highest].
"""
import json
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from measure import BIN, column, pinned, ratios, record, run_rounds, spread, text  # noqa: E402

BENCH = BIN / "bench_transmitter"
DATAGRAM = 8192 - 28
FRAME = 4 << 20


def one_round(sender, seconds):
    """Processor seconds per gigabyte received, and what arrived a second."""
    drain = subprocess.Popen(pinned("1", [str(BIN / "bench_yardstick"), "recv", "0", "500"]), stdout=subprocess.PIPE,
                             text=True)
    port = int(drain.stdout.readline().split()[1])
    out = subprocess.run(pinned("0", sender(port)), capture_output=True, text=True, check=True).stdout.split()
    if out[0] == "sent":   # bench_transmitter: sent <payload> <seconds> <average> <processor seconds>
        sent, spent, wall = float(out[1]), float(out[4]), float(out[2])
    else:
        result = json.loads(" ".join(out))
        sent, spent, wall = result["sent"], result["cpu"], result["wall"]
    received = json.loads(drain.communicate(timeout=60)[0].strip().splitlines()[-1])["bytes"]
    return {"cpu_per_gb": spent / (received / 1e9) if received else float("inf"), "mbs": received / wall / 1e6,
            "received": received / sent if sent else 0.0}


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 3.0
    if not BENCH.exists():
        sys.exit(f"{BENCH} is missing: make build")
    print(f"bench_transmitter: unpaced, {DATAGRAM + 28}-byte packets, one core each, {seconds:.0f} s a round")
    runs = run_rounds({
        "transmitter": lambda: one_round(lambda port: [str(BENCH), "transmitter", str(port), str(seconds)], seconds),
        "camera sender": lambda: one_round(lambda port: [str(BENCH), "camera", str(port), str(seconds)], seconds),
        "sendmmsg": lambda: one_round(lambda port: [str(BIN / "bench_yardstick"), "send", f"127.0.0.1:{port}",
                                                    str(seconds), str(DATAGRAM), str(FRAME)], seconds)})
    for name, samples in runs.items():
        print(f"  {name:14s} {text(column(samples, 'cpu_per_gb'), 3)} s/GB  received {text(column(samples, 'mbs'), 0)} MB/s"
              f", {text([100 * r for r in column(samples, 'received')], 0)} % of what was sent")
    loop = column(runs["sendmmsg"], "cpu_per_gb")
    method = (f"4 MiB frames, {DATAGRAM + 28}-byte packets, sender pinned to one core, counted as received by a "
              "recvmmsg loop on the other; interleaved rounds after a warm-up")
    for name in ("transmitter", "camera sender"):
        mine = column(runs[name], "cpu_per_gb")
        record("transmitter", f"{name}: CPU per GB received", None,
               ours=f"{spread(mine)[0]:.3f} s/GB, {spread(column(runs[name], 'received'))[0]:.0%} received",
               yardstick=f"sendmmsg loop: {spread(loop)[0]:.3f} s/GB, "
               f"{spread(column(runs['sendmmsg'], 'received'))[0]:.0%} received", yardstick_ratio=ratios(mine, loop),
               yardstick_goal="<= 1.1", method=method)

    print("Paced (Mbit/s of payload, frames of 256 KiB):")
    for target in (100, 1000, 4000):
        paced = run_rounds({"transmitter": lambda: one_round(
            lambda port: [str(BENCH), "transmitter", str(port), str(seconds), str(target), "256"], seconds)})
        got = [sample["mbs"] * 8 / target for sample in paced["transmitter"]]
        record("transmitter", f"paced to {target} Mbit/s: received / target", got,
               ours=f"{spread(got)[0] * target:.0f} Mbit/s received", method="the receiver's count over the sending time")


if __name__ == "__main__":
    main()
