"""Payload memory as NumPy arrays: shapes, zero copy, lifetime, attached memory."""
import gc
import weakref

import numpy as np
import pytest

import tarn_base_310 as tb
from support import within

m = tb._tarn_base_310

PIXEL_TYPES = sorted((name, value) for name, value in vars(tb).items()
                     if name.startswith("ZuPixel") and isinstance(value, int))
WIDTH, HEIGHT, PAD_X, PAD_Y = 6, 4, 2, 1


def expected_view(code):
    """Shape and dtype of a WIDTH x HEIGHT image padded by (PAD_X, PAD_Y)."""
    bits = (code >> 16) & 0xFF
    rows, columns = HEIGHT + PAD_Y, WIDTH + PAD_X
    flat = ((rows * columns * bits + 7) // 8,), np.uint8
    if bits % 8:
        return flat
    if code & tb.ZUPIXELMONO:
        name = tb.ZuPixelTypeToString(code)
        kind = "f" if name.endswith("f") else "i" if name.endswith("s") and bits > 16 else "u"
        return (rows, columns), np.dtype(f"{kind}{bits // 8}")
    if code & tb.ZUPIXELCOLOR:
        element = 16 if bits in (48, 64) else 8
        return (rows, columns, bits // element), np.dtype(f"u{element // 8}")
    return flat


def image_buffer(code, width=WIDTH, height=HEIGHT, pad_x=PAD_X, pad_y=PAD_Y):
    buffer = tb.ZuBuffer()
    assert buffer.GetImage().Alloc(width, height, code, pad_x, pad_y).IsOK()
    return buffer


def test_every_pixel_type_is_defined_once():
    assert len(PIXEL_TYPES) == 251
    names = {tb.ZuPixelTypeToString(value) for _, value in PIXEL_TYPES}
    assert names == {name[len("ZuPixel"):] for name, _ in PIXEL_TYPES}


@pytest.mark.parametrize("name, code", [p for p in PIXEL_TYPES if p[0] != "ZuPixelUndefined"])
def test_image_view_shape_follows_pixel_type(name, code):
    buffer = image_buffer(code)
    view = buffer.GetImage().GetDataPointer()
    shape, dtype = expected_view(code)
    assert (view.shape, view.dtype) == (shape, dtype)
    # Padding never takes a view past the memory behind it.
    assert within(view, buffer.GetDataPointer())
    assert view.flags.c_contiguous and view.flags.writeable and not view.flags.owndata
    assert np.shares_memory(view, buffer.GetDataPointer())


@pytest.mark.parametrize("code, shape, dtype", [
    (tb.ZuPixelMono8, (480, 640), np.uint8),
    (tb.ZuPixelMono16, (480, 640), np.uint16),
    (tb.ZuPixelMono12, (480, 640), np.uint16),
    (tb.ZuPixelMono12Packed, (480 * 640 * 12 // 8,), np.uint8),
    (tb.ZuPixelRGB8, (480, 640, 3), np.uint8),
    (tb.ZuPixelBGRa8, (480, 640, 4), np.uint8),
    (tb.ZuPixelRGB16, (480, 640, 3), np.uint16),
])
def test_camera_formats(code, shape, dtype):
    view = image_buffer(code, 640, 480, 0, 0).GetImage().GetDataPointer()
    assert (view.shape, view.dtype) == (shape, dtype)


def test_padding_x_widens_rows():
    assert image_buffer(tb.ZuPixelMono8, 640, 480, 2, 0).GetImage().GetDataPointer().shape == (480, 642)


def test_plain_buffer_view_covers_its_whole_size():
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeRawData)
    assert buffer.GetRawData().Alloc(100, 28).IsOK()
    view = buffer.GetDataPointer()
    assert (view.shape, view.dtype) == ((128,), np.uint8)


def test_no_memory_gives_an_empty_array():
    for view in (tb.ZuBuffer().GetDataPointer(), tb.ZuBuffer().GetImage().GetDataPointer(),
                 tb.ZuBuffer().GetChunkRawDataByIndex(0)):
        assert view.size == 0 and view.dtype == np.uint8


def test_writes_through_a_view_reach_the_sdk():
    buffer = image_buffer(tb.ZuPixelMono8, 8, 2, 0, 0)
    buffer.GetImage().GetDataPointer()[1, 3] = 200
    assert buffer.GetDataPointer()[8 + 3] == 200
    assert buffer.AllocChunk(64).IsOK() and buffer.AddChunk(5, b"abcd").IsOK()
    buffer.GetChunkRawDataByID(5)[:] = np.frombuffer(b"WXYZ", np.uint8)
    assert bytes(buffer.GetChunkRawDataByIndex(0)) == b"WXYZ"


def collected(obj_ref):
    gc.collect()
    return obj_ref() is None


@pytest.mark.parametrize("view_of", [
    lambda b: b.GetDataPointer(),
    lambda b: b.GetImage().GetDataPointer(),
    lambda b: b.GetChunkRawDataByID(9),
])
def test_views_outlive_their_buffer(view_of):
    buffer = image_buffer(tb.ZuPixelMono8, 64, 64, 0, 0)
    buffer.AllocChunk(4096)
    buffer.AddChunk(9, bytes(range(200)))
    buffer.GetDataPointer()[:] = 7
    view = view_of(buffer)
    before = view.copy()
    buffer_ref = weakref.ref(buffer)
    del buffer
    assert collected(buffer_ref)
    # The memory is the view's now: reading and writing it stays safe.
    np.testing.assert_array_equal(view, before)
    view[...] = 1
    assert view.sum() == view.size


def test_view_survives_free_and_reset():
    buffer = image_buffer(tb.ZuPixelMono8, 32, 32, 0, 0)
    view = buffer.GetDataPointer()
    view[:] = 3
    buffer.Free()
    buffer.Reset(tb.ZuPayloadTypeRawData)
    assert int(view.sum()) == 3 * view.size


def test_typed_views_keep_their_buffer_alive():
    buffer = tb.ZuBuffer()
    buffer_ref = weakref.ref(buffer)
    image = buffer.GetImage()
    del buffer
    assert not collected(buffer_ref)
    assert image.Alloc(4, 4, tb.ZuPixelMono8).IsOK() and image.GetBuffer().GetSize() == 16


@pytest.mark.parametrize("kind, getter", [
    (tb.ZuPayloadTypeImage, "ZuImage"), (tb.ZuPayloadTypeRawData, "ZuRawData"),
    (tb.ZuPayloadTypeChunkData, "ZuChunkData"), (tb.ZuPayloadTypeImage, "IZuImage"),
])
def test_deleting_a_borrowed_view_frees_nothing(kind, getter):
    buffer = tb.ZuBuffer(kind)
    view = {"ZuImage": buffer.GetImage, "IZuImage": buffer.GetImage,
            "ZuRawData": buffer.GetRawData, "ZuChunkData": buffer.GetChunkData}[getter]()
    getattr(m, "delete_" + getter)(view)
    assert buffer.GetPayloadType() == kind
    assert {"ZuImage": buffer.GetImage, "IZuImage": buffer.GetImage, "ZuRawData": buffer.GetRawData,
            "ZuChunkData": buffer.GetChunkData}[getter]() is not None


# ---- Attached memory ------------------------------------------------------

def test_attach_uses_the_array_in_place_and_detach_hands_it_back():
    memory = np.zeros(4096, np.uint8)
    buffer = tb.ZuBuffer()
    assert buffer.Attach(memory).IsOK() and buffer.IsAttached()
    view = buffer.GetDataPointer()
    assert np.shares_memory(view, memory) and view.shape == (4096,)
    view[10] = 99
    assert memory[10] == 99
    detached = buffer.Detach()
    assert detached is not memory and detached.shape == (4096,)
    assert np.shares_memory(detached, memory) and buffer.GetSize() == 0


@pytest.mark.parametrize("given", [
    lambda: np.full(64, 7, np.uint8),            # dropped by the caller right away
    lambda: [7] * 64,                            # needs a converted copy
    lambda: np.full(128, 7, np.uint8)[::2],      # not contiguous: needs a copy
    lambda: np.frombuffer(bytes([7] * 64), np.uint8),  # read-only: the SDK writes into attached memory
])
def test_attached_memory_stays_valid_while_attached(given):
    buffer = tb.ZuBuffer()
    assert buffer.Attach(given()).IsOK()
    gc.collect()
    assert buffer.GetDataPointer().tolist() == [7] * 64
    detached = buffer.Detach()
    gc.collect()
    assert detached.tolist() == [7] * 64


def test_attach_refuses_lossy_element_types():
    with pytest.raises(TypeError, match="Cannot cast"):
        tb.ZuBuffer().Attach(np.full(64, 300, np.int32))


@pytest.mark.parametrize("release", [
    lambda b: b.Detach(), lambda b: b.Free(), lambda b: b.Reset(), lambda b: b.Attach(np.zeros(4, np.uint8)),
])
def test_attached_array_is_released_once_the_sdk_lets_it_go(release):
    memory = np.zeros(16, np.uint8)
    memory_ref = weakref.ref(memory)
    buffer = tb.ZuBuffer()
    buffer.Attach(memory)
    del memory
    assert not collected(memory_ref)
    release(buffer)
    assert collected(memory_ref)


def test_attached_array_is_released_with_its_buffer():
    memory = np.zeros(16, np.uint8)
    memory_ref = weakref.ref(memory)
    buffer = tb.ZuBuffer()
    buffer.GetImage().Attach(memory.reshape(4, 4), tb.ZuPixelMono8)
    del memory, buffer
    assert collected(memory_ref)


def test_image_attach_and_detach():
    memory = np.zeros((480, 640, 3), np.uint8)
    buffer = tb.ZuBuffer()
    image = buffer.GetImage()
    assert image.Attach(memory, tb.ZuPixelRGB8).IsOK()
    assert (image.GetWidth(), image.GetHeight(), image.IsAttached()) == (640, 480, True)
    view = image.GetDataPointer()
    assert view.shape == (480, 640, 3) and np.shares_memory(view, memory)
    detached = image.Detach()
    assert detached.shape == (480, 640, 3) and np.shares_memory(detached, memory)
    assert not image.IsAttached()


@pytest.mark.parametrize("shape, code, args", [
    ((480, 640), tb.ZuPixelRGB8, ()),          # three bytes per pixel, one given
    ((4, 4), tb.ZuPixelMono8, (1,)),            # padding X needs more
    ((4, 4), tb.ZuPixelMono8, (0, 0, 1)),       # chunk space needs more
])
def test_image_attach_refuses_too_little_memory(shape, code, args):
    buffer = tb.ZuBuffer()
    result = buffer.GetImage().Attach(np.zeros(shape, np.uint8), code, *args)
    assert result.GetCode() == tb.ZU_BUFFER_TOO_SMALL
    assert not buffer.IsAttached() and buffer.GetSize() == 0
    # The refusal does not linger: the next attach that fits succeeds.
    assert buffer.Attach(np.zeros(8, np.uint8)).IsOK()


@pytest.mark.parametrize("call, text", [
    (lambda b: m.ZuBuffer_Attach(b, np.zeros((2, 2), np.uint8)),
     "Array must have 1 dimensions.  Given array has 2 dimensions"),
    (lambda b: m.ZuImage_Attach(b.GetImage(), np.zeros(8, np.uint8), tb.ZuPixelMono8),
     "in method 'ZuImage_Attach', argument 1 of type array"),
    (lambda b: m.ZuRawData_Attach(tb.ZuBuffer(tb.ZuPayloadTypeRawData).GetRawData(), np.zeros((1, 1), np.uint8)),
     "Array must have 1 dimensions.  Given array has 2 dimensions"),
])
def test_attach_dimension_errors(call, text):
    with pytest.raises(TypeError) as info:
        call(tb.ZuBuffer())
    assert str(info.value) == text


@pytest.mark.parametrize("attach, shape, argument", [
    (lambda a: tb.ZuBuffer().Attach(a), (2 ** 32,), "'ZuBuffer_Attach', argument 3"),
    (lambda a: tb.ZuBuffer(tb.ZuPayloadTypeChunkData).GetChunkData().Attach(a), (2 ** 32,), "'ZuChunkData_Attach', argument 3"),
    # Width (second dimension) is argument 3, height (first) argument 4,
    # whether or not a third dimension follows.
    (lambda a: tb.ZuBuffer().GetImage().Attach(a, tb.ZuPixelMono8), (1, 2 ** 32), "'ZuImage_Attach', argument 3"),
    (lambda a: tb.ZuBuffer().GetImage().Attach(a, tb.ZuPixelMono8), (2 ** 32, 1), "'ZuImage_Attach', argument 4"),
    (lambda a: tb.ZuBuffer().GetImage().Attach(a, tb.ZuPixelRGB8), (1, 2 ** 32, 3), "'ZuImage_Attach', argument 3"),
    (lambda a: tb.ZuBuffer().GetImage().Attach(a, tb.ZuPixelRGB8), (2 ** 32, 1, 3), "'ZuImage_Attach', argument 4"),
])
def test_lengths_beyond_32_bits_raise_overflow(attach, shape, argument):
    # Stride 0: four gigabytes of length over one byte of memory, never copied.
    huge = np.lib.stride_tricks.as_strided(np.zeros(1, np.uint8), shape=shape, strides=(0,) * len(shape))
    with pytest.raises(OverflowError, match=f"^in method {argument} of type 'uint32_t'$"):
        attach(huge)


def test_multibyte_pixels_over_unaligned_memory():
    memory = np.zeros(33, np.uint8)[1:]  # odd address
    image = tb.ZuBuffer().GetImage()
    assert image.Attach(memory.reshape(4, 4, 2), tb.ZuPixelMono16).IsOK()
    view = image.GetDataPointer()
    assert (view.shape, view.dtype, view.flags.aligned) == ((4, 4), np.uint16, False)
    view[:] = 0x0201
    assert memory[:4].tolist() == [1, 2, 1, 2]


def test_replaced_memory_ends_the_image_description():
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeRawData)
    raw = buffer.GetRawData()
    buffer.Reset(tb.ZuPayloadTypeImage)
    image = buffer.GetImage()
    assert image.Alloc(640, 480, tb.ZuPixelRGB8).IsOK()
    assert raw.Alloc(10).IsOK()  # a view handed out before the reset still works on the buffer
    assert (image.GetWidth(), image.GetImageSize(), image.GetDataPointer().size) == (0, 0, 0)
    assert buffer.GetDataPointer().shape == (10,)
