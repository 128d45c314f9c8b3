"""Cost of a NumPy view of buffer memory, for a small and a large buffer.

A view is made without copying, so its cost must not depend on the size of
the buffer. Each figure is the time of one call, and its ratio to NumPy's
own frombuffer over memory of the same size, measured in the same run.

    PYTHONPATH=build/python .venv/bin/python bench/bench_views.py
"""
import timeit

import numpy as np

import tarn_base_310 as tb

SIZES = {"64 KiB": 64 * 1024, "64 MiB": 64 * 1024 * 1024}
ROUNDS, CALLS = 7, 20000


def per_call(func):
    return min(timeit.repeat(func, number=CALLS, repeat=ROUNDS)) / CALLS


def main():
    rows = []
    for label, size in SIZES.items():
        buffer = tb.ZuBuffer()
        image = buffer.GetImage()
        assert image.Alloc(1024, size // 1024, tb.ZuPixelMono8).IsOK()
        memory = bytearray(size)
        baseline = per_call(lambda: np.frombuffer(memory, np.uint8))
        for name, func in (("ZuBuffer.GetDataPointer", buffer.GetDataPointer),
                           ("IZuImage.GetDataPointer", image.GetDataPointer)):
            cost = per_call(func)
            rows.append((name, label, cost, cost / baseline))
        rows.append(("numpy.frombuffer", label, baseline, 1.0))
    print(f"{'call':26} {'buffer':>7} {'per call':>10} {'vs frombuffer':>14}")
    for name, label, cost, ratio in rows:
        print(f"{name:26} {label:>7} {cost * 1e6:8.2f} us {ratio:13.2f}x")
    small = {name: cost for name, label, cost, _ in rows if label == "64 KiB"}
    large = {name: cost for name, label, cost, _ in rows if label == "64 MiB"}
    for name in small:
        print(f"{name}: 64 MiB / 64 KiB = {large[name] / small[name]:.2f}")


if __name__ == "__main__":
    main()
