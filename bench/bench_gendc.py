"""Cost of walking every chunk of a GenDC chunk part, for a few and for many
chunks.

Each chunk is read by index (its id, size and data), as a reader going
through the part does. The chunk list is read from the memory once, so the
cost per chunk must not grow with the number of chunks. Each figure is the
time per chunk and its ratio to a plain Python call reading a list item,
measured in the same run.

    PYTHONPATH=build/python .venv/bin/python bench/bench_gendc.py
"""
import timeit

import tarn_base_310 as tb

COUNTS = (16, 1024)
ROUNDS = 5


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

    baseline = min(timeit.repeat(lambda: plain(3), number=100000, repeat=ROUNDS)) / 100000
    print(f"{'chunks':>7} {'per chunk':>11} {'vs plain call':>14}")
    for count in COUNTS:
        buffer, chunks = chunk_part(count)
        assert chunks.GetChunkCount() == count
        cost = min(timeit.repeat(lambda: walk(chunks), number=1, repeat=ROUNDS)) / count
        print(f"{count:7} {cost * 1e6:8.2f} us {cost / baseline:13.1f}x")


if __name__ == "__main__":
    main()
