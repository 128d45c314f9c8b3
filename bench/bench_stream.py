"""Receiving a GigE Vision stream: the processor time per gigabyte and the
frames delivered by our receiver, beside Aravis's socket receiver set up
the same way and beside a plain recvmmsg loop that only counts bytes, in
one run.

A test transmitter (build/bin/gvsp_test_sender) sends 1 MiB Mono8 frames
in 8 KiB datagrams over the loopback, paced to each offered rate, in turn
to:
- ours: build/bin/bench_stream_receiver (ZuStreamGEV, its user-mode socket
  receiver, 64 buffers, resend requests off, the socket buffer it takes by
  default: the kernel's largest, 64 MiB at most);
- Aravis: bench/stream/aravis_receiver.py on Debian's python3, its socket
  receiver told the same packet size, 64 buffers, resends never, the same
  socket buffer;
- the yardstick: build/bin/bench_yardstick recv, recvmmsg into a ring of
  slots as large as the receivers' buffers (64 MiB, written once before),
  counting bytes: the same memory written as a receiver that hands each
  frame over in a buffer of its own;
- the same loop into a ring of 64 slots (576 KiB), which stays in the
  processor's cache: the cost of the system calls alone, with the core to
  itself only.

The receivers measure from the frame that has each of their buffers
filled once (the first touch of a buffer's pages is part of starting, not
of receiving), so the sender sends as many frames more.
Each round runs the three back to back in a rotating order; the first
round warms up and is dropped. A receiver stops at the last frame or one
second after the last it got, so a lost frame costs no time-out. The
sender is pinned to one core and the receivers to the other, which each
has to itself; then ours and the yardstick again, each beside a busy
process pinned to its core (where a receiver woken less often finds more
datagrams a call, and one that gives its core away loses them).

Figures, as round-by-round ratios (median [lowest-highest]):
- processor time per gigabyte of whole frames, ours to Aravis's and ours
  to the yardstick's (per gigabyte received), with the core to itself and
  beside a busy process;
- frames delivered whole, ours to Aravis's (at a paced rate, the share of
  the offered rate that arrives).

    make bench   (or: tools/netns .venv/bin/python bench/bench_stream.py)
"""
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from measure import (BIN, ROOT, ROUNDS, SYSTEM_PYTHON, column, pinned, ratios, record, run_rounds, spread,  # noqa: E402
                     text, version)

WIDTH, HEIGHT = 1024, 1024
FRAME = WIDTH * HEIGHT
FRAMES = int(os.environ.get("TARN_BENCH_FRAMES", "400"))
RATES = [int(r) for r in os.environ.get("TARN_BENCH_RATES", "500,1000,2000").split(",")]
DATAGRAM = 8192               # UDP payload, the 8-byte GVSP header included
PACKET = DATAGRAM + 28        # the same as GevSCPSPacketSize counts it
BUFFERS = 64
DATAGRAMS_PER_FRAME = -(-FRAME // (DATAGRAM - 8)) + 2   # with the leader and the trailer


def socket_buffer():
    """What our receiver takes by default: the kernel's largest, 64 MiB at most."""
    limit = int(Path("/proc/sys/net/core/rmem_max").read_text())
    return min(limit, 64 << 20)


def start(command):
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = proc.stdout.readline()
    if not line.startswith("port "):
        proc.kill()
        raise RuntimeError(f"{command[0]} did not start: {line!r} {proc.stderr.read()[-500:]}")
    return proc, int(line.split()[1])


SENDER_CORE, RECEIVER_CORE = "0", "1"


SENT = FRAMES + BUFFERS


def one_round(command, rate, yardstick=False, busy=False):
    # The busy process only computes, as another program on a shared machine would.
    spinner = subprocess.Popen(pinned(RECEIVER_CORE, [sys.executable, "-c", "while True: pass"])) if busy else None
    try:
        proc, port = start(pinned(RECEIVER_CORE, command))
        subprocess.run(pinned(SENDER_CORE, [str(BIN / "gvsp_test_sender"), "--device", "127.0.0.1",
                                            "--control-port", "0", "--to", f"127.0.0.1:{port}", "--frames",
                                            str(SENT), "--width", str(WIDTH), "--height", str(HEIGHT), "--datagram",
                                            str(DATAGRAM), "--rate-mbs", str(rate), "--reuse-frame", "--keep-blocks",
                                            "1", "--linger-ms", "0", "--no-resend"]),
                       check=True, stdout=subprocess.DEVNULL)
        out, err = proc.communicate(timeout=120)
    finally:
        if spinner:
            spinner.kill()
            spinner.wait()
    if proc.returncode:
        raise RuntimeError(f"{command[0]} failed: {err[-500:]}")
    result = json.loads(out.strip().splitlines()[-1])
    if yardstick:
        share = result["datagrams"] / (SENT * DATAGRAMS_PER_FRAME)
    else:
        share = result["ok"] / SENT
    gigabytes = result["bytes"] / 1e9
    return {"delivered": rate * share, "cpu_per_gb": result["cpu"] / gigabytes if gigabytes else float("inf"),
            "lost": SENT * (1 - share)}


def main():
    ours = [str(BIN / "bench_stream_receiver"), "127.0.0.1", str(SENT), str(FRAME), "1", "noresend"]
    yardstick = [str(BIN / "bench_yardstick"), "recv", "0", "1000", str(BUFFERS * FRAME)]
    cached = [str(BIN / "bench_yardstick"), "recv", "0", "1000"]
    aravis = camera = None
    if shutil.which("arv-fake-gv-camera-0.8") and Path(SYSTEM_PYTHON).exists():
        probe = subprocess.run([SYSTEM_PYTHON, "-c", "import gi; gi.require_version('Aravis', '0.8')"],
                               capture_output=True)
        if probe.returncode == 0:
            # Aravis makes a stream only for a device it controls: its fake
            # camera, left idle; the stream itself comes from the transmitter.
            camera = subprocess.Popen(["arv-fake-gv-camera-0.8", "-i", "127.0.0.1"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(1)
            aravis = [SYSTEM_PYTHON, str(ROOT / "bench/stream/aravis_receiver.py"), str(SENT), str(WIDTH),
                      str(HEIGHT), str(PACKET), str(BUFFERS), str(socket_buffer()), "1"]
    if aravis is None:
        print("bench_stream: Aravis's fake camera or its Python binding is missing (tools/deps bench): "
              "ours beside the yardstick only")
    peer = f"Aravis {version(['arv-tool-0.8', '--version'])} socket receiver" if aravis else ""
    method = (f"{FRAMES} frames of {WIDTH}x{HEIGHT} Mono8 after {BUFFERS} that fill each buffer once, "
              f"{DATAGRAM}-byte datagrams, {BUFFERS} buffers, no resends, {socket_buffer() >> 20} MiB socket buffer, "
              f"sender and receiver on cores of their own; {ROUNDS} interleaved rounds after a warm-up")
    print(f"bench_stream: {method}")
    try:
        for rate in RATES:
            contenders = {"ours": lambda: one_round(ours, rate),
                          "yardstick": lambda: one_round(yardstick, rate, yardstick=True),
                          "yardstick, cached ring": lambda: one_round(cached, rate, yardstick=True),
                          "ours, busy core": lambda: one_round(ours, rate, busy=True),
                          "yardstick, busy core": lambda: one_round(yardstick, rate, yardstick=True, busy=True)}
            if aravis:
                contenders["aravis"] = lambda: one_round(aravis, rate)
            runs = run_rounds(contenders)
            for name, samples in runs.items():
                print(f"  {rate:5d} MB/s offered  {name:20s}  delivered {text(column(samples, 'delivered'), 0)} MB/s"
                      f"  lost {text(column(samples, 'lost'), 0)} frames"
                      f"  CPU {text(column(samples, 'cpu_per_gb'), 3)} s/GB")
            for busy in ("", ", busy core"):
                cpu = column(runs["ours" + busy], "cpu_per_gb")
                loop = column(runs["yardstick" + busy], "cpu_per_gb")
                theirs = column(runs["aravis"], "cpu_per_gb") if aravis and not busy else []
                figure = f"receiving CPU per GB at {rate} MB/s" + (", a busy process on the core" if busy else "")
                record("stream", figure, ratios(cpu, theirs),
                       ours=f"{spread(cpu)[0]:.3f} s/GB",
                       peer=f"{peer}: {spread(theirs)[0]:.3f} s/GB" if theirs else "",
                       yardstick=f"recvmmsg loop into {BUFFERS * FRAME >> 20} MiB: {spread(loop)[0]:.3f} s/GB",
                       yardstick_ratio=ratios(cpu, loop), goal="<= 0.6" if theirs else "", yardstick_goal="<= 1.2",
                       method=method + (", a busy process pinned to the receiver's core" if busy else ""))
            cpu, loop = column(runs["ours"], "cpu_per_gb"), column(runs["yardstick, cached ring"], "cpu_per_gb")
            record("stream", f"receiving CPU per GB at {rate} MB/s, beside a loop whose ring stays in cache", [],
                   ours=f"{spread(cpu)[0]:.3f} s/GB", yardstick=f"recvmmsg loop into 576 KiB: {spread(loop)[0]:.3f} s/GB",
                   yardstick_ratio=ratios(cpu, loop), method=method)
            if aravis:
                delivered = column(runs["ours"], "delivered"), column(runs["aravis"], "delivered")
                record("stream", f"frames delivered at {rate} MB/s", ratios(*delivered),
                       ours=f"{spread(delivered[0])[0]:.0f} MB/s", peer=f"{peer}: {spread(delivered[1])[0]:.0f} MB/s",
                       goal=">= 1.0", method=method)
    finally:
        if camera:
            camera.terminate()
            camera.wait()


if __name__ == "__main__":
    sys.exit(main())
