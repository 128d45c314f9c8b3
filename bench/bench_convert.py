"""Pixel conversion through the Python bindings, beside vectorised NumPy
and a plain copy, and the compression filters beside zlib, on the same
images in one run.

    PYTHONPATH=build/python .venv/bin/python bench/bench_convert.py [megapixels]

Every contender writes into output memory made once before the rounds,
and takes its turn in each round (after a warm-up round); figures are the
medians [lowest-highest] of round-by-round ratios, the other's time to
ours (above 1: ours is faster).
- Mono12p and Mono10p to Mono16: our converter at one thread beside the
  fastest NumPy unpacking we know (whole arrays, byte lanes, no Python
  loop), and beside copying the output's bytes (np.copyto: what writing
  the result costs at the least).
- BayerRG8 to RGB8 (3x3) and YUV422_8 to RGB8: ours at one thread beside
  OpenCV's cvtColor at one thread (cv2.setNumThreads(1) before the rounds,
  dst given), when this interpreter has cv2; the same comparison in C++,
  with Debian's OpenCV in the same process, is build/bin/bench_convert.
  The tests' NumPy references check that ours computes the same images.
"""
import os
import sys
import time
import zlib
from pathlib import Path

import numpy as np

import tarn_base_310 as tb
import tarn_receive_310 as tr

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "tests"))
from measure import ratios, record, run_rounds, spread  # noqa: E402
from support import pixels  # noqa: E402  (the tests' NumPy reference)

try:
    import cv2
except ImportError:
    cv2 = None


def timed(run, repeat=3):
    """Seconds of one call (the mean of `repeat` back-to-back calls)."""
    start = time.perf_counter()
    for _ in range(repeat):
        run()
    return (time.perf_counter() - start) / repeat


def scene(height, width, seed=1):
    """Smooth shading with edges and a little noise, 8 bits."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width]
    levels = (128 + 60 * np.sin(x / 41.0) * np.cos(y / 29.0) + 40 * ((x // 97 + y // 61) % 2)
              + rng.normal(0, 3, (height, width)))
    return np.clip(levels, 0, 255).astype(np.uint8)


def buffer_of(pixel_type, width, height, data=None):
    buffer = tb.ZuBuffer()
    assert buffer.GetImage().Alloc(width, height, pixel_type).IsOK()
    if data is not None:
        buffer.GetDataPointer()[:] = np.asarray(data).reshape(-1).view(np.uint8)
    return buffer


class Lanes:
    """A group of packed samples and their 16-bit outputs as byte lanes:
    each output byte is one or two shifted input bytes, written through a
    strided view, so that NumPy works on whole columns."""
    SAMPLES = 0
    BITS = 0

    def __init__(self, packed, out):
        self.p = packed.reshape(-1, self.SAMPLES * self.BITS // 8)
        self.o = out.view(np.uint8).reshape(-1, 2 * self.SAMPLES)
        self.t = np.empty(len(self.p), np.uint8)


class Mono12p(Lanes):
    """Two samples in three bytes, least significant bits first, unpacked
    to the top of 16-bit words."""
    SAMPLES, BITS = 2, 12

    def __call__(self):
        p, o, t = self.p, self.o, self.t
        np.left_shift(p[:, 0], 4, out=o[:, 0])
        np.right_shift(p[:, 0], 4, out=t)
        np.left_shift(p[:, 1], 4, out=o[:, 1])
        np.bitwise_or(o[:, 1], t, out=o[:, 1])
        np.bitwise_and(p[:, 1], 0xF0, out=o[:, 2])
        np.copyto(o[:, 3], p[:, 2])


class Mono10p(Lanes):
    """Four samples in five bytes, least significant bits first, unpacked
    to the top of 16-bit words."""
    SAMPLES, BITS = 4, 10

    def __call__(self):
        p, o, t = self.p, self.o, self.t
        np.left_shift(p[:, 0], 6, out=o[:, 0])
        np.right_shift(p[:, 0], 2, out=t)
        np.left_shift(p[:, 1], 6, out=o[:, 1])
        np.bitwise_or(o[:, 1], t, out=o[:, 1])
        np.left_shift(p[:, 1], 4, out=o[:, 2])
        np.bitwise_and(o[:, 2], 0xC0, out=o[:, 2])
        np.right_shift(p[:, 1], 4, out=t)
        np.left_shift(p[:, 2], 4, out=o[:, 3])
        np.bitwise_or(o[:, 3], t, out=o[:, 3])
        np.left_shift(p[:, 2], 2, out=o[:, 4])
        np.bitwise_and(o[:, 4], 0xC0, out=o[:, 4])
        np.right_shift(p[:, 2], 6, out=t)
        np.left_shift(p[:, 3], 2, out=o[:, 5])
        np.bitwise_or(o[:, 5], t, out=o[:, 5])
        np.bitwise_and(p[:, 3], 0xC0, out=o[:, 6])
        np.copyto(o[:, 7], p[:, 4])


def unpacking(width, height):
    count = width * height
    rng = np.random.default_rng(5)
    for label, source_type, bits, yardstick in (("Mono12p -> Mono16", tb.ZuPixelMono12p, 12, Mono12p),
                                                ("Mono10p -> Mono16", tb.ZuPixelMono10p, 10, Mono10p)):
        levels = rng.integers(0, 1 << bits, count, dtype=np.uint16)
        stream = np.unpackbits(levels.astype("<u2").view(np.uint8).reshape(-1, 2), axis=1, bitorder="little")
        packed = np.packbits(stream[:, :bits].reshape(-1), bitorder="little")
        source = buffer_of(source_type, width, height, packed)
        target = buffer_of(tb.ZuPixelMono16, width, height)
        converter = tr.ZuBufferConverter(1)
        numpy_out = np.empty(count, np.uint16)
        numpy_unpack = yardstick(packed, numpy_out)
        copy_out, copy_in = np.empty(count, np.uint16), np.full(count, 7, np.uint16)
        numpy_unpack()
        converter.Convert(source, target)
        want = levels << (16 - bits)
        assert np.array_equal(numpy_out, want), f"{label}: the NumPy unpacking is wrong"
        assert np.array_equal(target.GetImage().GetDataPointer().reshape(-1).view("<u2"), want), \
            f"{label}: ours and the NumPy unpacking differ"
        runs = run_rounds({"ours": lambda: timed(lambda: converter.Convert(source, target)),
                           "numpy": lambda: timed(numpy_unpack),
                           "copy": lambda: timed(lambda: np.copyto(copy_out, copy_in))})
        speed = count / spread(runs["ours"])[0] / 1e6
        record("convert", f"{label}, one thread", ratios(runs["numpy"], runs["ours"]),
               ours=f"{speed:.0f} Mpix/s", peer=f"vectorised NumPy: {count / spread(runs['numpy'])[0] / 1e6:.0f} Mpix/s",
               yardstick=f"copying the output: {count / spread(runs['copy'])[0] / 1e6:.0f} Mpix/s",
               yardstick_ratio=ratios(runs["copy"], runs["ours"]), goal=">= 3.0" if bits == 12 else "",
               method=f"{width}x{height}, through the bindings, output allocated once")


def colour(width, height):
    count = width * height
    bayer = scene(height, width)
    yuyv = np.empty((height, width, 2), np.uint8)
    yuyv[..., 0] = scene(height, width, 2)
    yuyv[:, 0::2, 1] = scene(height, width // 2, 3)  # U
    yuyv[:, 1::2, 1] = scene(height, width // 2, 4)  # V
    cases = [
        ("BayerRG8 -> RGB8 (3x3)", tb.ZuPixelBayerRG8, bayer, "COLOR_BayerBG2RGB",
         lambda: pixels.bayer(bayer.astype(np.int64), "RG", True).astype(np.uint8), 0),
        ("YUV422_8 -> RGB8", tb.ZuPixelYUV422_8, yuyv, "COLOR_YUV2RGB_YUY2",
         lambda: pixels.yuv(yuyv.reshape(-1), "YUYV", width, height, 0).astype(np.uint8), 1),
    ]
    if cv2 is None:
        print("  (OpenCV is compared in build/bin/bench_convert: this interpreter has no cv2)")
    else:
        cv2.setNumThreads(1)
    for label, source_type, data, code, reference, tolerance in cases:
        source = buffer_of(source_type, width, height, data)
        target = buffer_of(tb.ZuPixelRGB8, width, height)
        converter = tr.ZuBufferConverter(1)
        converter.Convert(source, target)
        got = target.GetImage().GetDataPointer().reshape(height, width, 3).astype(int)
        # YUV is decoded in fixed point: within a level of the formula's.
        assert np.abs(got - reference()).max() <= tolerance, f"{label}: ours and the NumPy reference differ"
        contenders = {"ours": lambda: timed(lambda: converter.Convert(source, target))}
        if cv2 is not None:
            out = np.empty((height, width, 3), np.uint8)
            contenders["opencv"] = lambda: timed(lambda: cv2.cvtColor(data, getattr(cv2, code), dst=out))
        runs = run_rounds(contenders)
        speed = count / spread(runs["ours"])[0] / 1e6
        if cv2 is not None:
            record("convert", f"{label}, one thread (Python)", ratios(runs["opencv"], runs["ours"]),
                   ours=f"{speed:.0f} Mpix/s", peer=f"OpenCV {cv2.__version__}: "
                   f"{count / spread(runs['opencv'])[0] / 1e6:.0f} Mpix/s", goal=">= 1.2",
                   method=f"{width}x{height}, through the bindings, output allocated once")
        else:
            print(f"  {label}, one thread: ours {speed:.0f} Mpix/s")


def compression(width, height):
    bayer = scene(height, width)
    for label, source_type, data in (("Mono8 scene", tb.ZuPixelMono8, bayer),
                                     ("BayerRG12 scene", tb.ZuPixelBayerRG12, (bayer.astype("<u2") << 4))):
        source = buffer_of(source_type, width, height, data)
        raw = data.tobytes()
        compressor, decompressor = tr.ZuCompressionFilter(), tr.ZuDecompressionFilter()
        packed, back = tb.ZuBuffer(), tb.ZuBuffer()
        compressor.Execute(source, packed)
        decompressor.Execute(packed, back)
        zipped = zlib.compress(raw, 1)
        runs = run_rounds({"compress": lambda: timed(lambda: compressor.Execute(source, packed), 1),
                           "decompress": lambda: timed(lambda: decompressor.Execute(packed, back), 1),
                           "zlib compress": lambda: timed(lambda: zlib.compress(raw, 1), 1),
                           "zlib decompress": lambda: timed(lambda: zlib.decompress(zipped), 1)})
        size = packed.GetAcquiredSize()
        for step in ("compress", "decompress"):
            record("convert", f"{label}: {step}", ratios(runs[f"zlib {step}"], runs[step]),
                   ours=f"{len(raw) / spread(runs[step])[0] / 1e6:.0f} MB/s, size ratio {len(raw) / size:.2f}",
                   peer=f"zlib level 1: {len(raw) / spread(runs[f'zlib {step}'])[0] / 1e6:.0f} MB/s, "
                   f"size ratio {len(raw) / len(zipped):.2f}",
                   method=f"{width}x{height}, the default threads")


def main():
    megapixels = float(sys.argv[1]) if len(sys.argv) > 1 else 3.1
    width = 2048
    height = max(2, int(megapixels * 1e6 / width) // 4 * 4)
    print(f"bench_convert.py: images {width}x{height}, {os.cpu_count()} cores")
    unpacking(width, height)
    colour(width, height)
    compression(width, height)


if __name__ == "__main__":
    main()
