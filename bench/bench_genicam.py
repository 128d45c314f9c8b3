"""GenICam features: loading a large description, and reading an integer
feature by name through the parameter array, beside a plain dict look-up.

    PYTHONPATH=build/python .venv/bin/python bench/bench_genicam.py [features]

The description is made here: per feature an Integer over an IntReg, every
tenth feature also an IntSwissKnife and an Enumeration with four entries,
grouped in categories (about 3.4 nodes per feature).

Then chains of 24 nodes over one uncached register, read from the top: each
node naming the next once (plain), and twice or more (pValue and
pIsAvailable, or two formula variables). The shared chains reach 2**24
paths; their cost must stay a small multiple of the plain chain's.

Figures are ratios (to the dict look-up, to the plain chain), medians
[lowest-highest] of interleaved rounds, each the best of three short runs.
"""
import sys
import time
import timeit
from pathlib import Path

import tarn_base_310 as tb
import tarn_genicam_testext as ext

sys.path.insert(0, str(Path(__file__).resolve().parent))
from measure import ratios, record, run_rounds, spread, text  # noqa: E402

m = tb._tarn_base_310


def description(features):
    parts = ['<RegisterDescription ModelName="Bench" VendorName="Tarn" SchemaMajorVersion="1" SchemaMinorVersion="1">']
    parts.append('<Category Name="Root">' + "".join(f"<pFeature>Group{g}</pFeature>" for g in range(features // 100 + 1)) + "</Category>")
    for g in range(features // 100 + 1):
        members = range(g * 100, min((g + 1) * 100, features))
        parts.append(f'<Category Name="Group{g}">' + "".join(f"<pFeature>Feature{i}</pFeature>" for i in members) + "</Category>")
    for i in range(features):
        parts.append(
            f'<Integer Name="Feature{i}"><ToolTip>Feature {i}</ToolTip><pValue>Feature{i}Reg</pValue>'
            f"<Min>0</Min><Max>1000000</Max><Inc>1</Inc></Integer>"
            f'<IntReg Name="Feature{i}Reg"><Address>{4 * i:#x}</Address><Length>4</Length>'
            f"<AccessMode>RW</AccessMode><pPort>Device</pPort><Endianess>BigEndian</Endianess></IntReg>")
        if i % 10 == 0:
            parts.append(
                f'<IntSwissKnife Name="Derived{i}"><pVariable Name="A">Feature{i}</pVariable>'
                f"<Formula>(A * 3 + 7) &amp; 0xFFFF</Formula></IntSwissKnife>"
                f'<Enumeration Name="Choice{i}"><pValue>Feature{i}</pValue>'
                + "".join(f'<EnumEntry Name="Choice{i}_{k}"><Value>{k}</Value></EnumEntry>' for k in range(4))
                + "</Enumeration>")
    parts.append('<Port Name="Device"/></RegisterDescription>')
    return "".join(parts)


def chain(depth, node):
    """Nodes N0 .. N<depth-1>, each made by node(i, next name), over register N<depth>."""
    parts = ['<RegisterDescription SchemaMajorVersion="1" SchemaMinorVersion="1">']
    parts += [node(i, f"N{i + 1}") for i in range(depth)]
    parts.append(f'<IntReg Name="N{depth}"><Address>0</Address><Length>1</Length><AccessMode>RW</AccessMode>'
                 '<pPort>Device</pPort><Cachable>NoCache</Cachable></IntReg><Port Name="Device"/></RegisterDescription>')
    return "".join(parts)


CHAINS = [
    ("plain chain (pValue)", lambda i, n: f'<Integer Name="N{i}"><pValue>{n}</pValue></Integer>'),
    ("shared: pValue and pIsAvailable",
     lambda i, n: f'<Integer Name="N{i}"><pIsAvailable>{n}</pIsAvailable><pValue>{n}</pValue></Integer>'),
    ("shared: pValue and pIsLocked",
     lambda i, n: f'<Integer Name="N{i}"><pIsLocked>{n}</pIsLocked><pValue>{n}</pValue></Integer>'),
    ("shared: two formula variables",
     lambda i, n: f'<IntSwissKnife Name="N{i}"><pVariable Name="A">{n}</pVariable><pVariable Name="B">{n}</pVariable>'
                  "<Formula>(A + B) / 2</Formula></IntSwissKnife>"),
]


def best_ns(stmt, number, globals_):
    timer = timeit.Timer(stmt, globals=globals_)
    return min(timer.repeat(repeat=3, number=number)) / number * 1e9


def main():
    features = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    xml = description(features)
    nodes = xml.count(' Name="') - xml.count("<pVariable")

    def load():
        start = time.perf_counter()
        arr = ext.LoadParameterArray(xml, 4 * features + 16)
        assert arr is not None, ext.LoadError(xml)
        return (time.perf_counter() - start) / nodes

    arr = ext.LoadParameterArray(xml, 4 * features + 16)
    name = f"Feature{features // 2}"
    m.ZuGenParameterArray_SetIntegerValue(arr, name, 1234)
    values = {f"Feature{i}": i for i in range(features)}
    number = 60_000
    g = {"m": m, "arr": arr, "name": name, "values": values, "param": m.ZuGenParameterArray_Get(arr, name)}
    cases = [
        ("GetIntegerValue by name (cached)", "m.ZuGenParameterArray_GetIntegerValue(arr, name)"),
        ("GetIntegerValue through the proxy class", "arr.GetIntegerValue(name)"),
        ("ZuGenInteger_GetValue on the parameter", "m.ZuGenInteger_GetValue(param)"),
        ("Get by name (downcast proxy)", "m.ZuGenParameterArray_Get(arr, name)"),
        ("swiss knife evaluated by name", f"m.ZuGenParameterArray_GetIntegerValue(arr, 'Derived{(features // 2) // 10 * 10}')"),
    ]
    contenders = {"load": load, "dict": lambda: best_ns("values[name]", number, g)}
    for label, stmt in cases:
        contenders[label] = lambda stmt=stmt: best_ns(stmt, number, g)

    depth = 24
    for label, node in CHAINS:
        chained = ext.LoadParameterArray(chain(depth, node), 16)
        assert chained is not None
        m.ZuGenParameterArray_SetIntegerValue(chained, f"N{depth}", 1)
        assert m.ZuGenParameterArray_GetIntegerValue(chained, "N0")[1] == 1
        contenders[label] = lambda chained=chained: best_ns("m.ZuGenParameterArray_GetIntegerValue(arr, 'N0')", 2000,
                                                            {"m": m, "arr": chained})
    runs = run_rounds(contenders)
    print(f"bench_genicam: {features} features, {nodes} nodes, {len(xml) / 1e6:.1f} MB of XML")
    record("genicam", "loading a description, per node", None,
           ours=f"{text([t * 1e6 for t in runs['load']])} us", method=f"{nodes} nodes, no peer")
    for label, _ in cases:
        record("genicam", label, ratios(runs[label], runs["dict"]), ours=f"{spread(runs[label])[0]:.0f} ns",
               peer=f"a dict look-up: {spread(runs['dict'])[0]:.0f} ns", method=f"{number} calls a round")
    plain = runs[CHAINS[0][0]]
    for label, _ in CHAINS[1:]:
        record("genicam", f"chain of {depth} nodes, {label}", ratios(runs[label], plain),
               ours=f"{spread(runs[label])[0]:.0f} ns", peer=f"the plain chain: {spread(plain)[0]:.0f} ns",
               method="read from the top, the register uncached")

if __name__ == "__main__":
    main()
