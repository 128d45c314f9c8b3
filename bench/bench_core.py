"""Cost of the calling conventions, as a ratio to a plain Python call.

    PYTHONPATH=build/python .venv/bin/python bench/bench_core.py [calls per round]

Prints one line per case: nanoseconds per call and the ratio to a plain
Python function call measured in the same run. Every case is timed once per
round, the rounds interleaved, and the best round of each case kept, so that
a busy machine slows the yardstick and the cases alike. The three lines with
a target show it beside the ratio.
"""
import sys
import timeit

import tarn_base_310 as tb
import tarn_genicam_testext as ext

m = tb._tarn_base_310


def plain(x):
    return x


def main():
    number = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
    rounds = 15
    r = tb.ZuResult(tb.ZU_OK)
    s = tb.ZuString("x")
    arr = ext.LoadCamera()
    assert m.ZuGenParameterArray_GetIntegerValue(arr, "Width")[0].IsOK()
    g = {"m": m, "r": r, "s": s, "plain": plain, "text": "a description of some length", "arr": arr}
    cases = [
        ("plain Python function call", "plain(r)", None),
        ("ZuResult_IsOK (trivial wrapped call)", "m.ZuResult_IsOK(r)", 2.0),
        ("ZuResult.IsOK through the proxy class", "r.IsOK()", None),
        ("str argument becoming a ZuString", "m.ZuResult_SetDescription(r, text)", 4.0),
        ("ZuString object as the argument", "m.ZuResult_SetDescription(r, s)", None),
        ("text returned as str", "m.ZuResult_GetCodeString(r)", None),
        ("new owned ZuResult made and freed", "m.new_ZuResult(5)", None),
        ("GenICam integer read by name", "m.ZuGenParameterArray_GetIntegerValue(arr, 'Width')", 12.0),
    ]
    timers = [timeit.Timer(stmt, globals=g) for _, stmt, _ in cases]
    best = [float("inf")] * len(cases)
    for _ in range(rounds):
        for i, timer in enumerate(timers):
            best[i] = min(best[i], timer.timeit(number) / number * 1e9)
    base = best[0]
    print(f"{'case':45s} {'ns/call':>9s} {'ratio':>7s} {'target':>7s}")
    for (name, _, target), ns in zip(cases, best):
        shown = f"{target:7.1f}" if target else ""
        print(f"{name:45s} {ns:9.1f} {ns / base:7.2f} {shown}")


if __name__ == "__main__":
    main()
