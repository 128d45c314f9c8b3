"""Cost of the calling conventions, as a ratio to a plain Python call.

    PYTHONPATH=build/python .venv/bin/python bench/bench_core.py [calls per round]

Prints one line per case: the ratio of its time per call to a plain Python
function call's, as the median [lowest-highest] of round-by-round ratios.
Every case is timed once per round (the best of three short runs), the
rounds interleaved after a warm-up, so that a busy machine slows the
yardstick and the cases alike. The three
lines with a target show it beside the ratio.
"""
import sys
import timeit
from pathlib import Path

import tarn_base_310 as tb
import tarn_genicam_testext as ext

m = tb._tarn_base_310
sys.path.insert(0, str(Path(__file__).resolve().parent))
from measure import ratios, record, run_rounds, spread  # noqa: E402


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
    timers = {name: timeit.Timer(stmt, globals=g) for name, stmt, _ in cases}
    # A round's figure is the best of three short runs: a time slice lost to
    # another process falls on one run, not on the round.
    runs = run_rounds({name: (lambda t=t: min(t.repeat(3, number // 3)) / (number // 3) * 1e9)
                       for name, t in timers.items()}, rounds=9)
    base = runs[cases[0][0]]
    for name, _, target in cases[1:]:
        record("core", name, ratios(runs[name], base), ours=f"{spread(runs[name])[0]:.0f} ns",
               peer=f"a plain Python call: {spread(base)[0]:.0f} ns", goal=f"<= {target}" if target else "",
               method=f"{number} calls a round")

if __name__ == "__main__":
    main()
