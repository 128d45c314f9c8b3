"""Pixel conversion through the Python bindings, beside a NumPy reference
and OpenCV, and the compression filters beside zlib, on the same images in
one run.

    PYTHONPATH=build/python .venv/bin/python bench/bench_convert.py [megapixels]

Conversions: BayerRG8 to RGB8 (3x3), YUV422_8 (YUYV) to RGB8 and Mono12p to
Mono16, by our converter at one thread and at all threads, in pixels per
second; ratios are the peer's time to ours (above 1: ours is faster).
OpenCV's BayerBG is GenICam's BayerRG. Where the interpreter running this
cannot import cv2, OpenCV is timed by the system's python3 (Debian's
python3-opencv) on the same images, in a child process. Plain Zstandard
and LZ4 are compared in C++ by build/bin/bench_convert.
"""
import json
import os
import subprocess
import sys
import tempfile
import time
import zlib
from pathlib import Path

import numpy as np

import tarn_base_310 as tb
import tarn_receive_310 as tr

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
from support import pixels  # noqa: E402  (the tests' NumPy reference)

THREADS = os.cpu_count() or 1


def best_of(runs, rounds=7):
    """Best time of each contender; contenders take turns in each round so
    that other work on the machine falls on all of them alike."""
    best = [float("inf")] * len(runs)
    for run in runs:
        run()
    for _ in range(rounds):
        for i, run in enumerate(runs):
            start = time.perf_counter()
            run()
            best[i] = min(best[i], time.perf_counter() - start)
    return best


def scene(height, width, seed=1):
    """Smooth shading with edges and a little noise, 8 bits."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width]
    levels = 128 + 60 * np.sin(x / 41.0) * np.cos(y / 29.0) + 40 * ((x // 97 + y // 61) % 2) + rng.normal(0, 3, (height, width))
    return np.clip(levels, 0, 255).astype(np.uint8)


def buffer_of(pixel_type, width, height, data):
    buffer = tb.ZuBuffer()
    assert buffer.GetImage().Alloc(width, height, pixel_type).IsOK()
    buffer.GetDataPointer()[:] = data.reshape(-1)
    return buffer


def destination(pixel_type, width, height):
    buffer = tb.ZuBuffer()
    assert buffer.GetImage().Alloc(width, height, pixel_type).IsOK()
    return buffer


OPENCV_CHILD = r"""
import json, sys, time
import cv2, numpy as np
folder, threads = sys.argv[1], int(sys.argv[2])
bayer = np.load(folder + "/bayer.npy")
yuyv = np.load(folder + "/yuyv.npy")
codes = {"bayer": (bayer, cv2.COLOR_BayerBG2RGB), "yuv": (yuyv, cv2.COLOR_YUV2RGB_YUY2)}
out = {"version": cv2.__version__}
for name, (image, code) in codes.items():
    for n in (1, threads):
        cv2.setNumThreads(n)
        cv2.cvtColor(image, code)
        best = float("inf")
        for _ in range(7):
            start = time.perf_counter()
            cv2.cvtColor(image, code)
            best = min(best, time.perf_counter() - start)
        out[f"{name}/{n}"] = best
print(json.dumps(out))
"""


def opencv_times(bayer, yuyv):
    """OpenCV's times {"bayer/1": s, ...}, in this interpreter or the system's."""
    with tempfile.TemporaryDirectory() as folder:
        np.save(f"{folder}/bayer.npy", bayer)
        np.save(f"{folder}/yuyv.npy", yuyv)
        try:
            import cv2  # noqa: F401
            python = sys.executable
        except ImportError:
            python = "/usr/bin/python3"
        try:
            child = subprocess.run([python, "-c", OPENCV_CHILD, folder, str(THREADS)],
                                   capture_output=True, text=True, timeout=600)
        except (OSError, subprocess.TimeoutExpired) as error:
            print(f"OpenCV not timed: {error}")
            return {}
    if child.returncode != 0:
        print("OpenCV not timed:", child.stderr.strip().splitlines()[-1:] or child.returncode)
        return {}
    return json.loads(child.stdout)


def row(label, who, seconds, pixels_count, ours):
    print(f"{label:26} {who:22} {pixels_count / seconds / 1e6:9.1f} Mpix/s   ratio {seconds / ours:6.2f}")


def main():
    megapixels = float(sys.argv[1]) if len(sys.argv) > 1 else 3.1
    width = 2048
    height = max(2, int(megapixels * 1e6 / width) // 4 * 4)
    count = width * height
    print(f"images {width}x{height}, {THREADS} threads at most")

    bayer = scene(height, width)
    yuyv = np.empty((height, width, 2), np.uint8)
    yuyv[..., 0] = scene(height, width, 2)
    yuyv[:, 0::2, 1] = scene(height, width // 2, 3)  # U
    yuyv[:, 1::2, 1] = scene(height, width // 2, 4)  # V
    mono12 = (scene(height, width, 5).astype(np.uint16) << 4) | 7
    bits = mono12.reshape(-1, 2).astype(np.uint32)
    mono12p = np.empty((count // 2, 3), np.uint8)
    mono12p[:, 0] = bits[:, 0] & 0xFF
    mono12p[:, 1] = (bits[:, 0] >> 8) | ((bits[:, 1] & 0xF) << 4)
    mono12p[:, 2] = bits[:, 1] >> 4

    cases = [
        ("BayerRG8 -> RGB8 (3x3)", "bayer", tb.ZuPixelBayerRG8, bayer, tb.ZuPixelRGB8,
         lambda: pixels.bayer(bayer.astype(np.int64), "RG", True).astype(np.uint8)),
        ("YUV422_8 -> RGB8", "yuv", tb.ZuPixelYUV422_8, yuyv, tb.ZuPixelRGB8,
         lambda: pixels.yuv(yuyv.reshape(-1), "YUYV", width, height, 0).astype(np.uint8)),
        ("Mono12p -> Mono16", None, tb.ZuPixelMono12p, mono12p, tb.ZuPixelMono16,
         lambda: pixels.unpack_mono12p(mono12p.reshape(-1), count) << 4),
    ]
    cv = opencv_times(bayer, yuyv)
    if cv:
        print(f"OpenCV {cv['version']}")
    ours_1 = {}
    for label, key, source_type, data, target_type, reference in cases:
        source = buffer_of(source_type, width, height, data)
        one, every = tr.ZuBufferConverter(1), tr.ZuBufferConverter(-1)
        out_one, out_every = destination(target_type, width, height), destination(target_type, width, height)
        t_one, t_every = best_of([lambda: one.Convert(source, out_one), lambda: every.Convert(source, out_every)])
        t_numpy, = best_of([reference], rounds=3)
        want = reference()
        got = out_one.GetImage().GetDataPointer()
        # YUV is decoded in fixed point: within a level of the formula's.
        off = np.abs(got.reshape(want.shape).astype(int) - want)
        assert off.max() <= (1 if key == "yuv" else 0), f"{label}: ours and the NumPy reference differ"
        ours_1[label] = t_one
        row(label, "ours, 1 thread", t_one, count, t_one)
        row(label, f"ours, {THREADS} threads", t_every, count, t_every)
        print(f"{label:26} {'scaling':22} {t_one / t_every:9.2f}x")
        row(label, "NumPy reference", t_numpy, count, t_one)
        for n in sorted({1, THREADS}):
            if key and f"{key}/{n}" in cv:
                row(label, f"OpenCV, {n} thread{'s' if n > 1 else ''}", cv[f"{key}/{n}"], count, t_one if n == 1 else t_every)

    # Compression of a camera-like Mono8 and Bayer 12-bit image.
    for label, source_type, data in (("Mono8 scene", tb.ZuPixelMono8, bayer),
                                     ("BayerRG12 scene", tb.ZuPixelBayerRG12, (bayer.astype("<u2") << 4).view(np.uint8))):
        source = buffer_of(source_type, width, height, data)
        raw = data.tobytes()
        compressor, decompressor = tr.ZuCompressionFilter(), tr.ZuDecompressionFilter()
        packed, back = tb.ZuBuffer(), tb.ZuBuffer()
        compressor.Execute(source, packed)
        zipped = zlib.compress(raw, 1)
        t_c, t_d, t_zc, t_zd = best_of([lambda: compressor.Execute(source, packed), lambda: decompressor.Execute(packed, back),
                                        lambda: zlib.compress(raw, 1), lambda: zlib.decompress(zipped)], rounds=5)
        size = 48 + 4 * int(np.frombuffer(packed.GetDataPointer()[36:40], "<u4")[0]) + \
            int(np.frombuffer(packed.GetDataPointer()[40:44], "<u4")[0])
        mb = len(raw) / 1e6
        print(f"{label:26} {'ours (RZC1)':22} compress {mb / t_c:8.1f} MB/s  decompress {mb / t_d:8.1f} MB/s  ratio {len(raw) / size:5.2f}")
        print(f"{label:26} {'zlib level 1':22} compress {mb / t_zc:8.1f} MB/s  decompress {mb / t_zd:8.1f} MB/s  ratio {len(raw) / len(zipped):5.2f}")


if __name__ == "__main__":
    main()
