"""Cost of the calling conventions, as a ratio to a plain Python call.
The yardstick is a plain Python function called as the cases are called,
as an attribute of a module (`y.plain(r)` beside `m.ZuResult_IsOK(r)`):
reached by a global name instead, it would save the attribute look-up that
every case pays.

    PYTHONPATH=build/python .venv/bin/python bench/bench_core.py [calls per run]

Prints one line per case: the ratio of its time per call to a plain Python
function call's, as the median [lowest-highest] of round-by-round ratios.
In each round a case and the plain call take turns in short runs, and the
ratio is the best run of one to the best run of the other (measure.beside),
so that the load of a busy machine falls on a case and its yardstick alike;
the rounds are interleaved after a warm-up. The three lines with a target
show it beside the ratio.
"""
import sys
import timeit
import types
from pathlib import Path

import tarn_base_310 as tb
import tarn_genicam_testext as ext

m = tb._tarn_base_310
sys.path.insert(0, str(Path(__file__).resolve().parent))
from measure import beside, column, ratios, record, run_rounds, spread  # noqa: E402


def plain(x):
    return x


def main():
    number = int(sys.argv[1]) if len(sys.argv) > 1 else 5_000
    r = tb.ZuResult(tb.ZU_OK)
    s = tb.ZuString("x")
    arr = ext.LoadCamera()
    assert m.ZuGenParameterArray_GetIntegerValue(arr, "Width")[0].IsOK()
    y = types.ModuleType("yardstick")
    y.plain = plain
    g = {"m": m, "r": r, "s": s, "y": y, "text": "a description of some length", "arr": arr}
    cases = [
        ("ZuResult_IsOK (trivial wrapped call)", "m.ZuResult_IsOK(r)", 2.0),
        ("ZuResult.IsOK through the proxy class", "r.IsOK()", None),
        ("str argument becoming a ZuString", "m.ZuResult_SetDescription(r, text)", 4.0),
        ("ZuString object as the argument", "m.ZuResult_SetDescription(r, s)", None),
        ("text returned as str", "m.ZuResult_GetCodeString(r)", None),
        ("new owned ZuResult made and freed", "m.new_ZuResult(5)", None),
        ("GenICam integer read by name", "m.ZuGenParameterArray_GetIntegerValue(arr, 'Width')", 12.0),
    ]
    yardstick = timeit.Timer("y.plain(r)", globals=g)
    runs = run_rounds({name: (lambda t=timeit.Timer(stmt, globals=g): beside(t, yardstick, number))
                       for name, stmt, _ in cases}, rounds=9)
    for name, _, target in cases:
        ours, base = [v * 1e9 for v in column(runs[name], "ours")], [v * 1e9 for v in column(runs[name], "yardstick")]
        record("core", name, ratios(ours, base), ours=f"{spread(ours)[0]:.0f} ns",
               peer=f"a plain Python call, a module's attribute: {spread(base)[0]:.0f} ns", goal=f"<= {target}" if target else "",
               method=f"each beside a plain call, best of 5 runs of {number} calls each, 9 rounds")

if __name__ == "__main__":
    main()
