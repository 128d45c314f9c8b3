"""A NumPy reference of pixel conversion, written from the formats'
definitions (GenICam names, GigE Vision and PFNC packing, BT.601) rather than
from the converter: whole images at once, the packed layouts read bit by bit.

    fmt = parse("BayerRG12p")
    rgb = convert(fmt, data, width, height, padding_x, "RGB8", Options())

`data` is the image's bytes (padding included) as a uint8 array; the result
is the converted image without padding, shaped as the SDK's image views
are: (height, width) for Mono targets, (height, width, channels) otherwise.
"""
import re
from dataclasses import dataclass, field

import numpy as np

YUV_ORDERS = {"YUV422_8_UYVY": "UYVY", "YUV422_8": "YUYV", "YUV411_8_UYYVYY": "UYYVYY", "YUV8_UYV": "UYV"}


@dataclass
class Format:
    family: str            # Mono, Bayer, BiColor, Yuv, Rgb
    depth: int = 8
    storage: str = "byte"  # byte, word, gev (GigE Vision "Packed"), lsb (PFNC "p")
    colours: str = ""      # Bayer "RG", bi-colour "RGBG", RGB "RGB"/"BGR"
    channels: int = 1      # RGB: 3 or 4
    yuv: str = ""          # byte order of one YUV group

    @property
    def samples_per_pixel(self):
        return {"BiColor": 2, "Rgb": self.channels}.get(self.family, 1)


@dataclass
class Options:
    bayer3x3: bool = True
    bicolor1x3: bool = True
    flip: bool = False
    gains: tuple = (1.0, 1.0, 1.0)
    offsets: tuple = (0, 0, 0)


@dataclass
class Target:
    mono: bool
    depth: int
    bgr: bool = False
    alpha: bool = False
    channels: int = field(init=False)

    def __post_init__(self):
        self.channels = 1 if self.mono else 4 if self.alpha else 3


def parse(name):
    """The format of a GenICam pixel-type name, or None when the converter
    is not expected to read it."""
    if name in YUV_ORDERS:
        return Format("Yuv", yuv=YUV_ORDERS[name])
    m = re.fullmatch(r"(Mono|Bayer(RG|GR|GB|BG)|BiColor(RGBG|BGRG)|(RGB|BGR)(a?))(\d+)(Packed|p)?", name)
    if not m:
        return None
    head, depth, packing = m.group(1), int(m.group(6)), m.group(7)
    if head == "Mono":
        fmt = Format("Mono")
    elif head.startswith("Bayer"):
        fmt = Format("Bayer", colours=m.group(2))
    elif head.startswith("BiColor"):
        fmt = Format("BiColor", colours=m.group(3))
    else:
        fmt = Format("Rgb", colours=m.group(4), channels=4 if m.group(5) else 3)
    fmt.depth = depth
    if packing is None:
        if depth == 8:
            fmt.storage = "byte"
        elif depth in (10, 12, 14, 16):
            fmt.storage = "word"
        else:
            return None
    elif fmt.family == "Rgb" or depth == 8:
        return None
    elif packing == "Packed":
        if depth not in (10, 12) or fmt.family == "BiColor":
            return None
        fmt.storage = "gev"
    else:
        if depth not in (10, 12, 14):
            return None
        fmt.storage = "lsb"
    if fmt.family == "BiColor" and depth > 12:
        return None
    return fmt


def target(name):
    """The converter's destination formats: Mono8, Mono16 and RGB, BGR,
    RGBa, BGRa in 8 and 16 bits."""
    if name in ("Mono8", "Mono16"):
        return Target(True, int(name[4:]))
    m = re.fullmatch(r"(RGB|BGR)(a?)(8|16)", name)
    return Target(False, int(m.group(3)), m.group(1) == "BGR", bool(m.group(2))) if m else None


def expected(source, destination):
    """Whether a pair of names is one the converter performs."""
    fmt, tgt = parse(source), target(destination)
    if fmt is None or tgt is None:
        return False
    if tgt.mono:
        return fmt.family == "Mono"
    if tgt.depth == 16:
        return fmt.family not in ("Mono", "Yuv") and fmt.depth > 8
    return True


# ---- Unpacking -------------------------------------------------------------

def unpack_lsb(data, count, depth):
    """count values of depth bits from a stream, least significant bit first."""
    bits = np.unpackbits(np.asarray(data, np.uint8), bitorder="little")[:count * depth]
    bits = np.pad(bits, (0, count * depth - bits.size)).reshape(count, depth).astype(np.int64)
    return bits @ (np.int64(1) << np.arange(depth, dtype=np.int64))


def unpack_gev(data, count, depth):
    """count values from GigE Vision pairs: three bytes hold two values, the
    high bits of each in bytes 0 and 2, the low bits of the first at the
    bottom of byte 1 and of the second from its bit 4."""
    groups = (count + 1) // 2
    raw = np.zeros(groups * 3, np.int64)
    raw[:min(raw.size, len(data))] = np.asarray(data[:groups * 3], np.int64)
    b = raw.reshape(groups, 3)
    low = depth - 8
    mask = (1 << low) - 1
    first = (b[:, 0] << low) | (b[:, 1] & mask)
    second = (b[:, 2] << low) | ((b[:, 1] >> 4) & mask)
    return np.stack([first, second], axis=1).reshape(-1)[:count]


def unpack_mono12p(data, count):
    """Mono12p the way one would write it in NumPy: three bytes per pair."""
    groups = (count + 1) // 2
    b = np.zeros(groups * 3, np.uint16)
    b[:min(b.size, len(data))] = data[:groups * 3]
    b = b.reshape(groups, 3)
    out = np.empty((groups, 2), np.uint16)
    out[:, 0] = b[:, 0] | ((b[:, 1] & 0xF) << 8)
    out[:, 1] = (b[:, 1] >> 4) | (b[:, 2] << 4)
    return out.reshape(-1)[:count]


def samples(fmt, data, width, height, padding_x=0):
    """The levels of every sample, (height, width, samples per pixel), at
    the source's depth; word levels above it count as its largest level."""
    per = fmt.samples_per_pixel
    count = (width + padding_x) * height * per
    data = np.asarray(data, np.uint8)
    if fmt.storage == "byte":
        values = data[:count].astype(np.int64)
    elif fmt.storage == "word":
        values = np.minimum(data[:2 * count].view("<u2").astype(np.int64), (1 << fmt.depth) - 1)
    elif fmt.storage == "lsb":
        values = unpack_lsb(data, count, fmt.depth)
    else:
        values = unpack_gev(data, count, fmt.depth)
    return values.reshape(height, width + padding_x, per)[:, :width, :]


# ---- Colour ----------------------------------------------------------------

def bayer_colours(first_line, width, height):
    """The colour letter of every site: the name gives the first line; the
    second has green under red or blue and the other of the two under green."""
    other = {"R": "B", "B": "R"}
    second = "".join("G" if c != "G" else other[first_line[(i + 1) % 2]] for i, c in enumerate(first_line))
    lines = np.array([list(first_line), list(second)])
    return lines[np.arange(height)[:, None] % 2, np.arange(width)[None, :] % 2]


def half_up(total, count):
    return (total + count // 2) // count


def bayer(values, colours, bilinear):
    """Levels R, G, B of every pixel of a mosaic."""
    h, w = values.shape
    sites = bayer_colours(colours, w, h)
    out = np.empty((h, w, 3), np.int64)
    for c, letter in enumerate("RGB"):
        mask = (sites == letter).astype(np.int64)
        if bilinear:
            # Mirrored without repeating the edge: every site keeps its colour.
            v = np.pad(values * mask, 1, mode="reflect")
            k = np.pad(mask, 1, mode="reflect")
            total = sum(v[dy:dy + h, dx:dx + w] for dy in range(3) for dx in range(3))
            count = sum(k[dy:dy + h, dx:dx + w] for dy in range(3) for dx in range(3))
            out[..., c] = np.where(mask == 1, values, half_up(total, np.maximum(count, 1)))
        else:
            # The 2x2 block each pixel opens, moved back at the last line and column.
            ys = np.minimum(np.arange(h), h - 2)[:, None]
            xs = np.minimum(np.arange(w), w - 2)[None, :]
            total = sum(values[ys + dy, xs + dx] * mask[ys + dy, xs + dx] for dy in (0, 1) for dx in (0, 1))
            count = sum(mask[ys + dy, xs + dx] for dy in (0, 1) for dx in (0, 1))
            out[..., c] = half_up(total, count)
    return out


def bicolor(values, colours, three):
    """Levels R, G, B of bi-colour pixels: green in sample 1, sample 0 the
    first colour of the name on even columns and the third on odd ones."""
    h, w, _ = values.shape
    carried = np.where(np.arange(w) % 2 == 0, colours[0], colours[2])
    level = values[..., 0]
    if three:
        left = level[:, np.abs(np.arange(w) - 1)]
        right = level[:, (w - 1) - np.abs((w - 1) - (np.arange(w) + 1))]
        missing = half_up(left + right, 2)
    else:
        nxt = np.where(np.arange(w) + 1 < w, np.arange(w) + 1, np.arange(w) - 1)
        missing = level[:, nxt]
    out = np.empty((h, w, 3), np.int64)
    out[..., 1] = values[..., 1]
    for c, letter in ((0, "R"), (2, "B")):
        out[..., c] = np.where(carried[None, :] == letter, level, missing)
    return out


def yuv(data, order, width, height, padding_x):
    """RGB8 of YUV pixels: full range, BT.601 weights, rounded half up."""
    per_group = len(order) - 2
    pixels = (width + padding_x) * height
    groups = np.asarray(data[:pixels // per_group * len(order)], np.float64).reshape(-1, len(order))
    y_at = [i for i, c in enumerate(order) if c == "Y"]
    Y = groups[:, y_at].reshape(-1)
    U = np.repeat(groups[:, order.index("U")], per_group)
    V = np.repeat(groups[:, order.index("V")], per_group)
    rgb = np.stack([Y + 1.402 * (V - 128), Y - 0.344136 * (U - 128) - 0.714136 * (V - 128), Y + 1.772 * (U - 128)], axis=1)
    rgb = np.clip(np.floor(rgb + 0.5), 0, 255).astype(np.int64)
    return rgb.reshape(height, width + padding_x, 3)[:, :width, :]


def colour(fmt, data, width, height, padding_x, options):
    """Levels R, G, B of every pixel at the source's depth (8 for YUV)."""
    if fmt.family == "Yuv":
        return yuv(data, fmt.yuv, width, height, padding_x)
    s = samples(fmt, data, width, height, padding_x)
    if fmt.family == "Mono":
        return np.repeat(s, 3, axis=2)
    if fmt.family == "Rgb":
        return s[..., [fmt.colours.index(c) for c in "RGB"]]
    if fmt.family == "Bayer":
        return bayer(s[..., 0], fmt.colours, options.bayer3x3)
    return bicolor(s, fmt.colours, options.bicolor1x3)


def convert(fmt, data, width, height, padding_x, destination, options=None):
    """The converted image, as the SDK's view of the destination shows it."""
    options = options or Options()
    tgt = target(destination)
    rgb = colour(fmt, data, width, height, padding_x, options)
    if options.flip:
        rgb = rgb[::-1]
    shift = fmt.depth - 8 if tgt.depth == 8 else 16 - fmt.depth
    levels = rgb >> shift if tgt.depth == 8 else rgb << shift
    dtype = np.uint8 if tgt.depth == 8 else np.uint16
    top = (1 << tgt.depth) - 1
    if tgt.mono:
        return levels[..., 0].astype(dtype)
    filtered = np.asarray(options.gains, np.float64) * levels + np.asarray(options.offsets, np.float64)
    filtered = np.clip(np.floor(np.nan_to_num(filtered, nan=0.0) + 0.5), 0, top).astype(dtype)
    if tgt.bgr:
        filtered = filtered[..., ::-1]
    if tgt.alpha:
        filtered = np.concatenate([filtered, np.full(filtered.shape[:2] + (1,), top, dtype)], axis=2)
    return filtered
