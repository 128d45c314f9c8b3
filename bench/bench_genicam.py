"""GenICam features: loading a large description, and reading an integer
feature by name through the parameter array, beside a plain dict look-up.

    PYTHONPATH=build/python .venv/bin/python bench/bench_genicam.py [features]

The description is made here: per feature an Integer over an IntReg, every
tenth feature also an IntSwissKnife and an Enumeration with four entries,
grouped in categories (about 3.4 nodes per feature).
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


if __name__ == "__main__":
    main()
