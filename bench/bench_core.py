"""Cost of the calling conventions, as a ratio to a plain Python call.

    PYTHONPATH=build/python .venv/bin/python bench/bench_core.py

Prints one line per case: nanoseconds per call and the ratio to a plain
Python function call measured in the same run.
"""
import sys
import timeit

import tarn_base_310 as tb

m = tb._tarn_base_310


def plain(x):
    return x


def best_ns(stmt, number, globals_):
    timer = timeit.Timer(stmt, globals=globals_)
    return min(timer.repeat(repeat=7, number=number)) / number * 1e9


def main():
    number = int(sys.argv[1]) if len(sys.argv) > 1 else 200_000
    r = tb.ZuResult(tb.ZU_OK)
    s = tb.ZuString("x")
    g = {"m": m, "r": r, "s": s, "plain": plain, "text": "a description of some length"}
    base = best_ns("plain(r)", number, g)
    cases = [
        ("plain Python function call", "plain(r)"),
        ("ZuResult_IsOK (trivial wrapped call)", "m.ZuResult_IsOK(r)"),
        ("ZuResult.IsOK through the proxy class", "r.IsOK()"),
        ("str argument becoming a ZuString", "m.ZuResult_SetDescription(r, text)"),
        ("ZuString object as the argument", "m.ZuResult_SetDescription(r, s)"),
        ("text returned as str", "m.ZuResult_GetCodeString(r)"),
        ("new owned ZuResult made and freed", "m.new_ZuResult(5)"),
    ]
    print(f"{'case':45s} {'ns/call':>9s} {'ratio':>7s}")
    for name, stmt in cases:
        ns = base if stmt == "plain(r)" else best_ns(stmt, number, g)
        print(f"{name:45s} {ns:9.1f} {ns / base:7.2f}")


if __name__ == "__main__":
    main()
