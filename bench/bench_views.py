"""Cost of a NumPy view of buffer memory, for a small and a large buffer.

A view is made without copying, so its cost must not depend on the size of
the buffer. Each figure is the ratio of one call's time to NumPy's own
frombuffer over memory of the same size, and of the 64 MiB view's to the
64 KiB one's, as medians [lowest-highest] of interleaved rounds.

    PYTHONPATH=build/python .venv/bin/python bench/bench_views.py
"""
import sys
import timeit
from pathlib import Path

import numpy as np

import tarn_base_310 as tb

sys.path.insert(0, str(Path(__file__).resolve().parent))
from measure import ratios, record, run_rounds, spread  # noqa: E402

SIZES = {"64 KiB": 64 * 1024, "64 MiB": 64 * 1024 * 1024}
CALLS = 20000


def per_call(func):
    """The best of three short runs: a time slice lost to another process
    falls on one run, not on the round."""
    return min(timeit.repeat(func, number=CALLS // 3, repeat=3)) / (CALLS // 3)


def main():
    contenders, keep = {}, []
    for label, size in SIZES.items():
        buffer = tb.ZuBuffer()
        image = buffer.GetImage()
        assert image.Alloc(1024, size // 1024, tb.ZuPixelMono8).IsOK()
        memory = bytearray(size)
        keep += [buffer, image, memory]
        contenders[f"numpy.frombuffer {label}"] = lambda memory=memory: per_call(lambda: np.frombuffer(memory, np.uint8))
        contenders[f"ZuBuffer.GetDataPointer {label}"] = lambda f=buffer.GetDataPointer: per_call(f)
        contenders[f"IZuImage.GetDataPointer {label}"] = lambda f=image.GetDataPointer: per_call(f)
    runs = run_rounds(contenders)
    for name in ("ZuBuffer.GetDataPointer", "IZuImage.GetDataPointer"):
        for label in SIZES:
            mine, base = runs[f"{name} {label}"], runs[f"numpy.frombuffer {label}"]
            record("views", f"{name}, {label}", ratios(mine, base), ours=f"{spread(mine)[0] * 1e6:.2f} us",
                   peer=f"numpy.frombuffer: {spread(base)[0] * 1e6:.2f} us", method=f"{CALLS} calls a round")
        record("views", f"{name}: 64 MiB beside 64 KiB", ratios(runs[f"{name} 64 MiB"], runs[f"{name} 64 KiB"]),
               method="the same call on a small and a large buffer")

if __name__ == "__main__":
    main()
