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
"""
import sys
import time
import timeit

import tarn_base_310 as tb
import tarn_genicam_testext as ext

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
    return min(timer.repeat(repeat=7, number=number)) / number * 1e9


def main():
    features = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    xml = description(features)
    loads = []
    for _ in range(5):
        start = time.perf_counter()
        arr = ext.LoadParameterArray(xml, 4 * features + 16)
        loads.append(time.perf_counter() - start)
        assert arr is not None, ext.LoadError(xml)
    nodes = xml.count(' Name="') - xml.count("<pVariable")
    print(f"description: {features} features, {nodes} nodes, {len(xml) / 1e6:.1f} MB of XML")
    print(f"{'load (best of 5)':45s} {min(loads) * 1e3:9.1f} ms  ({min(loads) / nodes * 1e6:.2f} us per node)")

    name = f"Feature{features // 2}"
    m.ZuGenParameterArray_SetIntegerValue(arr, name, 1234)
    values = {f"Feature{i}": i for i in range(features)}
    number = 200_000
    g = {"m": m, "arr": arr, "name": name, "values": values, "param": m.ZuGenParameterArray_Get(arr, name)}
    base = best_ns("values[name]", number, g)
    cases = [
        ("dict look-up (yardstick)", "values[name]"),
        ("GetIntegerValue by name (cached)", "m.ZuGenParameterArray_GetIntegerValue(arr, name)"),
        ("GetIntegerValue through the proxy class", "arr.GetIntegerValue(name)"),
        ("ZuGenInteger_GetValue on the parameter", "m.ZuGenInteger_GetValue(param)"),
        ("Get by name (downcast proxy)", "m.ZuGenParameterArray_Get(arr, name)"),
        ("swiss knife evaluated by name", f"m.ZuGenParameterArray_GetIntegerValue(arr, 'Derived{(features // 2) // 10 * 10}')"),
    ]
    print(f"{'case':45s} {'ns/call':>9s} {'ratio':>7s}")
    for label, stmt in cases:
        ns = base if stmt == "values[name]" else best_ns(stmt, number, g)
        print(f"{label:45s} {ns:9.1f} {ns / base:7.1f}")

    depth = 24
    print(f"\nchains of {depth} nodes read from the top  {'ns/call':>9s} {'ratio':>7s}  (to the plain chain)")
    plain = None
    for label, node in CHAINS:
        xml = chain(depth, node)
        arr = ext.LoadParameterArray(xml, 16)
        assert arr is not None, ext.LoadError(xml)
        ext_g = {"m": m, "arr": arr}
        m.ZuGenParameterArray_SetIntegerValue(arr, f"N{depth}", 1)
        assert m.ZuGenParameterArray_GetIntegerValue(arr, "N0")[1] == 1
        ns = best_ns("m.ZuGenParameterArray_GetIntegerValue(arr, 'N0')", 2000, ext_g)
        plain = plain or ns
        print(f"{label:45s} {ns:9.1f} {ns / plain:7.1f}")


if __name__ == "__main__":
    main()
