"""What the benchmarks share: contenders run in interleaved rounds after a
warm-up, each figure given as its median and spread, ratios taken round by
round (so that a burst of other work on the machine falls on both sides of
a ratio alike), and the rows of the table in bench/README.md.

A figure prints as "median [lowest-highest]" over the rounds. With
TARN_BENCH_RESULTS naming a file, every row is also appended to it as one
JSON line; bench/table.py turns that file into the table.
"""
import json
import os
import platform
import statistics
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = Path(os.environ.get("TARN_BUILD", ROOT / "build"))
BIN = BUILD / "bin"
# Debian's interpreter, for the peers whose Python bindings exist only for
# it (Aravis's GObject binding, OpenCV's cv2).
SYSTEM_PYTHON = "/usr/bin/python3"
ROUNDS = int(os.environ.get("TARN_BENCH_ROUNDS", "5"))


TICK = os.sysconf("SC_CLK_TCK")


def pinned(core, command):
    """The command bound to one core (where there are two or more), so that
    a sender and its receiver do not take turns on one."""
    return ["taskset", "-c", str(core), *command] if (os.cpu_count() or 1) > 1 else list(command)


def processor_seconds(pid):
    """User and system time of a whole process (all its threads) so far."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def run_rounds(contenders, rounds=ROUNDS, warmup=1):
    """Runs every contender (name -> callable returning a number or a dict of
    numbers) once a round, in turn, after `warmup` rounds whose results are
    dropped; the order rotates from round to round so that no contender
    always follows the same one. Returns name -> list of results."""
    names = list(contenders)
    results = {name: [] for name in names}
    for index in range(warmup + rounds):
        shift = index % len(names)
        for name in names[shift:] + names[:shift]:
            value = contenders[name]()
            if index >= warmup:
                results[name].append(value)
    return results


def beside(case, yardstick, number, runs=5):
    """Seconds per call of a case and of its yardstick (timeit.Timer
    objects), each the best of `runs` short runs of `number` calls, the two
    taking turns run by run: load that comes and goes falls on both alike,
    and a time slice lost to another process costs one run, not the figure.
    Returns {"ours": ..., "yardstick": ...}."""
    best = {"ours": float("inf"), "yardstick": float("inf")}
    for index in range(runs):
        pair = [("ours", case), ("yardstick", yardstick)]
        for key, timer in (pair if index % 2 == 0 else pair[::-1]):
            best[key] = min(best[key], timer.timeit(number) / number)
    return best


def column(samples, key):
    """One number of each round's dict."""
    return [sample[key] for sample in samples]


def spread(values):
    """(median, lowest, highest)."""
    values = [float(v) for v in values]
    return statistics.median(values), min(values), max(values)


def ratios(ours, theirs):
    """Round-by-round ratios ours / theirs (each round's pair ran back to back)."""
    return [a / b if b else float("inf") for a, b in zip(ours, theirs)]


def text(values, digits=2):
    median, low, high = spread(values)
    return f"{median:.{digits}f} [{low:.{digits}f}-{high:.{digits}f}]"


def load():
    """The one-minute load average: how many others wanted the processors."""
    return os.getloadavg()[0]


def machine():
    model = ""
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    return f"{model or platform.processor()}, {os.cpu_count()} cores, Linux {platform.release()}"


def version(command):
    """The last word of a peer's --version line, or ''."""
    try:
        out = subprocess.run(command, capture_output=True, text=True, timeout=30).stdout.split()
    except (OSError, subprocess.TimeoutExpired):
        return ""
    return out[-1] if out else ""


def met(median, goal):
    """Whether a median ratio meets a goal written as "<= 0.6" or ">= 1.2"."""
    if not goal:
        return None
    sign, bound = goal.split()
    return median <= float(bound) if sign == "<=" else median >= float(bound)


def record(bench, figure, ratio, *, ours="", peer="", yardstick="", yardstick_ratio=None, goal="",
           yardstick_goal="", method=""):
    """Prints one row and appends it to TARN_BENCH_RESULTS. `ratio` and
    `yardstick_ratio` are round-by-round lists (ours to the peer, ours to
    the yardstick), each with its goal; `ours`, `peer` and `yardstick` say
    what was measured, with their own figures as text."""
    row = {"bench": bench, "figure": figure, "ours": ours, "peer": peer, "yardstick": yardstick,
           "method": method, "goal": goal, "yardstick_goal": yardstick_goal, "load": round(load(), 1)}
    shown = [f"{figure}:"]
    for key, values, aim, label in (("", ratio, goal, "ratio"),
                                    ("yardstick_", yardstick_ratio, yardstick_goal, "to the yardstick")):
        if not values:
            continue
        row[key + "ratio"] = spread(values)
        row[key + "met"] = met(row[key + "ratio"][0], aim)
        shown.append(f"{label} {text(values)}")
        if aim:
            shown.append(f"(goal {aim}: {'met' if row[key + 'met'] else 'NOT met'})")
    shown += [f"| {ours}" if ours else "", f"| {peer}" if peer else "", f"| {yardstick}" if yardstick else ""]
    print("  " + " ".join(part for part in shown if part), flush=True)
    target = os.environ.get("TARN_BENCH_RESULTS")
    if target:
        with open(target, "a") as out:
            out.write(json.dumps(row) + "\n")
