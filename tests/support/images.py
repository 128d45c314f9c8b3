"""Image buffers for conversion and compression tests (import
tarn_base_310's classes)."""
import numpy as np

import tarn_base_310 as tb


def pixel_types():
    """Every pixel type the base module names: {GenICam name: code}."""
    types = {}
    for attr in dir(tb):
        value = getattr(tb, attr)
        if attr.startswith("ZuPixel") and isinstance(value, int) and value:
            name = tb.ZuPixelTypeToString(value)
            if name:
                types[name] = value
    return types


def image_buffer(pixel_type, width, height, data=None, padding_x=0, padding_y=0, seed=0):
    """A buffer whose image holds data (bytes, padding included; random when
    None); returns the buffer."""
    buffer = tb.ZuBuffer()
    assert buffer.GetImage().Alloc(width, height, pixel_type, padding_x, padding_y).IsOK()
    memory = buffer.GetDataPointer()
    if data is None:
        data = np.random.default_rng(seed).integers(0, 256, memory.size, dtype=np.uint8)
    data = np.frombuffer(bytes(data), np.uint8) if isinstance(data, (bytes, bytearray, list)) else data
    memory[:data.size] = data
    return buffer


def raw_bytes(buffer):
    """A copy of a buffer's bytes."""
    return buffer.GetDataPointer().copy()


def target_buffer(pixel_type):
    """A destination that asks for a pixel type."""
    buffer = tb.ZuBuffer()
    assert buffer.GetImage().Alloc(1, 1, pixel_type).IsOK()
    return buffer


def view(buffer):
    """The image of a buffer as its NumPy view shows it, without padding."""
    image = buffer.GetImage()
    pixels = image.GetDataPointer()
    return pixels[:image.GetHeight(), :image.GetWidth()]
