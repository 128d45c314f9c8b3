"""The table of bench/README.md, from the rows the benchmarks appended to a
results file (TARN_BENCH_RESULTS, one JSON object a line).

    python3 bench/table.py build/bench/results.jsonl
"""
import json
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from measure import machine  # noqa: E402


def ratio(row, key, goal_key, met_key):
    if key not in row:
        return ""
    median, low, high = row[key]
    text = f"{median:.2f} [{low:.2f}-{high:.2f}]"
    if row.get(goal_key):
        text += f" (goal {row[goal_key].replace('<=', '≤').replace('>=', '≥')}: {'met' if row.get(met_key) else '**not met**'})"
    return text


def main():
    rows = [json.loads(line) for line in Path(sys.argv[1]).read_text().splitlines() if line.strip()]
    loads = [row["load"] for row in rows]
    print(f"Machine: {machine()}; load average {min(loads):.1f}-{max(loads):.1f} while measuring.\n")
    print("| benchmark | figure | ours | peer | ratio to the peer | yardstick | ratio to the yardstick | method | load |")
    print("|---|---|---|---|---|---|---|---|---|")
    for row in rows:
        cells = [row["bench"], row["figure"], row["ours"], row["peer"], ratio(row, "ratio", "goal", "met"),
                 row["yardstick"], ratio(row, "yardstick_ratio", "yardstick_goal", "yardstick_met"), row["method"],
                 f"{row['load']:.1f}"]
        print("| " + " | ".join(str(c).replace("|", "/") for c in cells) + " |")


if __name__ == "__main__":
    main()
