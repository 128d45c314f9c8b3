"""Cost of walking every chunk of a GenDC chunk part, for a few and for many
chunks.

Each chunk is read by index (its id, size and data), as a reader going
through the part does. The chunk list is read from the memory once, so the
cost per chunk must not grow with the number of chunks. Each figure is the
time per chunk as a ratio to a plain Python call reading a list item, and
the cost per chunk of many beside few, as medians [lowest-highest] of
interleaved rounds (each the best of three short runs).

    PYTHONPATH=build/python .venv/bin/python bench/bench_gendc.py
"""
import sys
import timeit
from pathlib import Path

import tarn_base_310 as tb

sys.path.insert(0, str(Path(__file__).resolve().parent))
from measure import ratios, record, run_rounds, spread  # noqa: E402

COUNTS = (16, 1024)


def chunk_part(count):
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeGenDC)
    assert buffer.Alloc(1024 + 12 * count).IsOK()
    gendc = buffer.GetGenDC()
    assert gendc.AddComponent(tb.ZuComponentMetadata) == 0
    assert gendc[0].AddPart(tb.ZuGenDCPartMetadataGenICamChunk, 0) == 0
    writer = gendc[0][0].GetGenDCChunkWriter()
    for i in range(count):
        assert writer.AddChunk(i + 1, i.to_bytes(4, "big")).IsOK()
    return buffer, gendc[0][0].GetGenDCChunkData()


def walk(chunks):
    for i in range(chunks.GetChunkCount()):
        chunks.GetChunkIDByIndex(i)
        chunks.GetChunkSizeByIndex(i)
        chunks.GetChunkRawDataByIndex(i)


def main():
    values = list(range(8))

    def plain(i):
        return values[i & 7]

    contenders = {"plain": lambda: min(timeit.repeat(lambda: plain(3), number=30000, repeat=3)) / 30000}
    parts = {}
    for count in COUNTS:
        buffer, chunks = chunk_part(count)
        assert chunks.GetChunkCount() == count
        parts[count] = (buffer, chunks)
        contenders[count] = lambda chunks=chunks, count=count: \
            min(timeit.repeat(lambda: walk(chunks), number=max(1, 2048 // count), repeat=3)) / max(1, 2048 // count) / count
    runs = run_rounds(contenders)
    for count in COUNTS:
        record("gendc", f"reading one chunk of {count}", ratios(runs[count], runs["plain"]),
               ours=f"{spread(runs[count])[0] * 1e6:.2f} us", peer=f"a plain call reading a list item: "
               f"{spread(runs['plain'])[0] * 1e9:.0f} ns", method="id, size and data of each chunk by index")
    record("gendc", f"per chunk, {COUNTS[1]} chunks beside {COUNTS[0]}", ratios(runs[COUNTS[1]], runs[COUNTS[0]]),
           method="the cost per chunk must not grow with their number")

if __name__ == "__main__":
    main()
