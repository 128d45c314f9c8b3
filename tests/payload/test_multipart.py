"""Multi-part containers: part index, sections, typed views, part memory as arrays."""
import gc
import mmap
import struct
import weakref

import numpy as np
import pytest

import tarn_base_310 as tb
from support import error_of, prototypes, within

m = tb._tarn_base_310
W = "IZuMultiPartContainerWriter"


ADD_IMAGE = prototypes(W + "_AddImagePart", *(
    f"{W}::AddImagePart(" + ",".join(["ZuMultiPartDataType", "uint32_t", "uint32_t", "ZuPixelType",
                                      "uint32_t", "uint32_t", "uint16_t"][:n]) + ")" for n in (7, 6, 5, 4)))
GET_PART = prototypes("IZuMultiPartContainerReader_GetPart", "IZuMultiPartContainerReader::GetPart(uint32_t) const",
                      "IZuMultiPartContainerReader::GetPart(uint32_t)")
GET_DATA = prototypes("IZuMultiPartSection_GetDataPointer", "IZuMultiPartSection::GetDataPointer() const",
                      "IZuMultiPartSection::GetDataPointer()")


def container():
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeMultiPart)
    return buffer.GetMultiPartContainer()


def three_parts(alloc=True):
    """An 8 x 6 Mono16 image, a JPEG of at most 100 bytes and a chunk part of 64."""
    parts = container()
    assert parts.AddImagePart(tb.ZuMultiPart2DImage, 8, 6, tb.ZuPixelMono16).IsOK()
    assert parts.AddJPEGPart(tb.ZuMultiPartJPEGImage, 100, 3, 2 ** 64 - 1, 7).IsOK()
    assert parts.AddChunkPart(64, 9).IsOK()
    assert not alloc or parts.AllocAllParts().IsOK()
    return parts


@pytest.mark.parametrize("func, args, expected", [
    (W + "_AddImagePart", (1, 4, 4, tb.ZuPixelMono8, 0, 0, 65536), (TypeError, ADD_IMAGE)),
    (W + "_AddImagePart", (1, 4, 4, 2 ** 31), (TypeError, ADD_IMAGE)),
    (W + "_AddImagePart", (1, -4, 4, tb.ZuPixelMono8), (TypeError, ADD_IMAGE)),
    (W + "_AddJPEGPart", (11, 10, 256, 0, 0), (OverflowError, f"in method '{W}_AddJPEGPart', argument 4 of type 'uint8_t'")),
    (W + "_AddJPEGPart", (2 ** 31, 10, 0, 0, 0), (OverflowError, f"in method '{W}_AddJPEGPart', argument 2 of type 'ZuMultiPartDataType'")),
    (W + "_AddJPEGPart", ("11", 10, 0, 0, 0), (TypeError, f"in method '{W}_AddJPEGPart', argument 2 of type 'ZuMultiPartDataType'")),
    (W + "_AddJPEGPart", (11, 10, 0, 2 ** 64, 0), (OverflowError, f"in method '{W}_AddJPEGPart', argument 5 of type 'uint64_t'")),
    (W + "_SetPartZoneInfo", (0, 256, 0), (OverflowError, f"in method '{W}_SetPartZoneInfo', argument 3 of type 'uint8_t'")),
    (W + "_SetPartIDs", (0, 1, 2, -3), (OverflowError, f"in method '{W}_SetPartIDs', argument 5 of type 'uint32_t'")),
    (W + "_AddChunkPart", (64,), (TypeError, f"{W}_AddChunkPart expected 3 arguments, got 2")),
    (W + "_AttachPart", (-1, np.zeros(4, np.uint8)), (OverflowError, f"in method '{W}_AttachPart', argument 2 of type 'uint32_t'")),
    (W + "_AttachPart", (0, np.zeros((2, 2), np.uint8)), (TypeError, "Array must have 1 dimensions.  Given array has 2 dimensions")),
    ("IZuMultiPartContainerReader_GetPart", (-1,), (TypeError, GET_PART)),
    ("IZuMultiPartContainerReader_GetPart", ("0",), (TypeError, GET_PART)),
])
def test_golden_argument_errors(func, args, expected):
    assert error_of(getattr(m, func), container(), *args) == expected


@pytest.mark.parametrize("func, expected", [
    ("IZuMultiPartSection_GetDataPointer", (TypeError, GET_DATA)),
    ("IZuMultiPartSection_GetSize", (TypeError, "in method 'IZuMultiPartSection_GetSize', argument 1 of type 'IZuMultiPartSection const *'")),
    ("IZuMultiPartSection_GetZoneDirectionMask", (TypeError, "in method 'IZuMultiPartSection_GetZoneDirectionMask', argument 1 of type 'IZuMultiPartSection const *'")),
    ("IZuMultiPartSection_GetImage", (TypeError, "in method 'IZuMultiPartSection_GetImage', argument 1 of type 'IZuMultiPartSection *'")),
    ("IZuMultiPartContainerReader_GetPartCount", (TypeError, "in method 'IZuMultiPartContainerReader_GetPartCount', argument 1 of type 'IZuMultiPartContainerReader *'")),
    (W + "_Validate", (TypeError, f"in method '{W}_Validate', argument 1 of type '{W} *'")),
])
def test_golden_object_errors(func, expected):
    # A buffer is neither a section nor a container.
    assert error_of(getattr(m, func), tb.ZuBuffer()) == expected


def test_container_is_a_reader_and_writer_of_multi_part_buffers_only():
    parts = three_parts()
    assert m.IZuMultiPartContainerReader_GetPartCount(parts) == 3
    assert m.IZuMultiPartContainerWriter_Validate(parts).IsOK()
    assert tb.ZuBuffer().GetMultiPartContainer() is None
    assert m.IZuMultiPartContainerWriter_Reset(parts) is None and parts.GetPartCount() == 0


def test_part_values_round_trip():
    parts = container()
    assert parts.AddImagePart(tb.ZuMultiPart3DImage, 4, 3, tb.ZuPixelMono8).IsOK()
    custom = tb.ZUPIXELCUSTOM | tb.ZUPIXELMONO | tb.ZUPIXEL8BIT | 1
    assert parts.AddImagePart(tb.ZuMultiPartConfidenceMap, 4, 3, custom, 2 ** 32 - 1, 5, 65535).IsOK()
    assert parts.SetPartIDs(1, 2 ** 32 - 1, 2, 3).IsOK() and parts.SetPartZoneInfo(1, 255, 0x80000001).IsOK()
    first, second = parts.GetPart(0), parts.GetPart(1)
    assert [getattr(first.GetImage(), f"Get{v}")() for v in ("OffsetX", "OffsetY", "PaddingX")] == [0, 0, 0]
    image = second.GetImage()
    assert (image.GetPixelType(), image.GetOffsetX(), image.GetOffsetY(), image.GetPaddingX()) == (custom, 2 ** 32 - 1, 5, 65535)
    assert (second.GetSourceID(), second.GetDataPurposeID(), second.GetRegionID()) == (2 ** 32 - 1, 2, 3)
    assert (second.GetAdditionalZones(), second.GetZoneDirectionMask()) == (255, 0x80000001)
    assert (first.GetAdditionalZones(), first.GetSourceID(), first.GetDataType()) == (0, 0, tb.ZuMultiPart3DImage)
    jpeg = three_parts().GetPart(1).GetJPEG()
    assert (jpeg.GetFlag(), jpeg.GetTimestampTickFrequency(), jpeg.GetDataFormat()) == (3, 2 ** 64 - 1, 7)


@pytest.mark.parametrize("kind, view", [(k, "GetImage") for k in range(1, 10)] + [
    (tb.ZuMultiPartChunkData, "GetChunkData"), (tb.ZuMultiPartJPEGImage, "GetJPEG"), (tb.ZuMultiPartJPEG2000Image, "GetJPEG"),
])
def test_data_type_decides_the_typed_view(kind, view):
    parts = container()
    if view == "GetImage":
        parts.AddImagePart(kind, 2, 2, tb.ZuPixelMono8)
    elif view == "GetJPEG":
        parts.AddJPEGPart(kind, 10, 0, 0, 0)
    else:
        parts.AddChunkPart(10, 0)
    section = parts.GetPart(0)
    assert section.GetDataType() == kind
    for name in ("GetImage", "GetJPEG", "GetChunkData"):
        assert (getattr(section, name)() is not None) == (name == view)
    assert parts.GetPart(1) is None


def setup(parts):
    assert parts.AddImagePart(1, 4, 4, tb.ZuPixelMono8).IsOK() and parts.AddChunkPart(16, 0).IsOK()


@pytest.mark.parametrize("call, code", [
    (lambda p: (setup(p), p.AddJPEGPart(11, 10, 0, 0, 0))[-1], tb.ZU_STATE_ERROR),
    (lambda p: ([p.AddImagePart(1, 1, 1, tb.ZuPixelMono8) for _ in range(10)], p.AddChunkPart(8, 0))[-1], tb.ZU_ERR_OVERFLOW),
    (lambda p: p.AddImagePart(tb.ZuMultiPartJPEGImage, 4, 4, tb.ZuPixelMono8), tb.ZU_INVALID_PARAMETER),
    (lambda p: p.AddImagePart(99, 4, 4, tb.ZuPixelMono8), tb.ZU_INVALID_PARAMETER),
    (lambda p: p.AddImagePart(1, 0, 4, tb.ZuPixelMono8), tb.ZU_INVALID_PARAMETER),
    (lambda p: p.AddImagePart(1, 4, 4, tb.ZuPixelUndefined), tb.ZU_INVALID_PARAMETER),
    (lambda p: p.AddImagePart(1, 65536, 65536, tb.ZuPixelRGB8), tb.ZU_ERR_OVERFLOW),
    (lambda p: p.AddJPEGPart(tb.ZuMultiPart2DImage, 10, 0, 0, 0), tb.ZU_INVALID_PARAMETER),
    (lambda p: (setup(p), p.SetPartIDs(1, 1, 1, 1))[-1], tb.ZU_INVALID_DATA_FORMAT),
    (lambda p: (setup(p), p.SetPartZoneInfo(1, 1, 1))[-1], tb.ZU_INVALID_DATA_FORMAT),
    (lambda p: (setup(p), p.SetPartIDs(2, 1, 1, 1))[-1], tb.ZU_INVALID_PARAMETER),
    (lambda p: p.AllocAllParts(), tb.ZU_STATE_ERROR),
    (lambda p: ([p.AddImagePart(1, 65535, 65535, tb.ZuPixelMono8) for _ in range(2)], p.AllocAllParts())[-1], tb.ZU_ERR_OVERFLOW),
    (lambda p: (setup(p), p.AllocPart(2))[-1], tb.ZU_INVALID_PARAMETER),
    (lambda p: (setup(p), p.AttachPart(2, np.zeros(16, np.uint8)))[-1], tb.ZU_NOT_FOUND),
    (lambda p: (setup(p), p.AttachPart(0, np.zeros(15, np.uint8)))[-1], tb.ZU_INVALID_PARAMETER),
    (lambda p: (setup(p), p.SetPartFinalLength(0, 1))[-1], tb.ZU_INVALID_PARAMETER),
    (lambda p: (setup(p), p.SetPartFinalLength(1, 17))[-1], tb.ZU_INVALID_PARAMETER),
    (lambda p: (setup(p), p.SetPartFinalImageHeight(1, 1))[-1], tb.ZU_INVALID_PARAMETER),
    (lambda p: (setup(p), p.SetPartFinalImageHeight(0, 5))[-1], tb.ZU_INVALID_PARAMETER),
    (lambda p: p.Validate(), tb.ZU_STATE_ERROR),
    (lambda p: (setup(p), p.AllocPart(0), p.Validate())[-1], tb.ZU_BUFFER_TOO_SMALL),
    (lambda p: (setup(p), p.AllocAllParts(), p.Validate())[-1], tb.ZU_OK),
])
def test_sdk_outcomes(call, code):
    assert call(container()).GetCode() == code


@pytest.mark.parametrize("call, code", [
    (lambda p: p.AddChunkPart(8, 0), tb.ZU_NOT_SUPPORTED),
    (lambda p: p.AllocAllParts(), tb.ZU_NOT_SUPPORTED),
    (lambda p: p.Validate(), tb.ZU_NOT_SUPPORTED),
    (lambda p: p.SetPartIDs(0, 1, 1, 1), tb.ZU_INVALID_DATA_FORMAT),
])
def test_container_of_a_buffer_reset_to_another_payload(call, code):
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeMultiPart)
    parts = buffer.GetMultiPartContainer()
    setup(parts)
    section = parts.GetPart(0)
    buffer.Reset(tb.ZuPayloadTypeImage)
    assert call(parts).GetCode() == code
    # What was handed out before stays safe to use: it reports an empty part.
    assert parts.GetPartCount() == 0 and parts.GetPart(0) is None
    assert (section.GetDataType(), section.GetSize(), section.GetDataPointer().size, section.GetImage()) == (0, 0, 0, None)


# ---- Part memory -----------------------------------------------------------

def address(array):
    return array.__array_interface__["data"][0]


def test_alloc_all_parts_lays_parts_out_in_one_block():
    parts = three_parts()
    sections = [parts.GetPart(i) for i in range(3)]
    assert [s.GetSize() for s in sections] == [96, 100, 64]
    views = [s.GetDataPointer() for s in sections]
    assert [address(v) - address(views[0]) for v in views] == [0, 96, 196]


def test_views_show_the_effective_size_and_write_through():
    parts = three_parts()
    image, jpeg = parts.GetPart(0), parts.GetPart(1)
    assert parts.SetPartFinalImageHeight(0, 2).IsOK() and parts.SetPartFinalLength(1, 40).IsOK()
    assert (image.GetSize(), image.GetEffectiveSize(), image.GetDataPointer().shape) == (96, 32, (32,))
    pixels = image.GetImage().GetDataPointer()
    assert (pixels.shape, pixels.dtype, image.GetImage().GetHeight()) == ((2, 8), np.uint16, 2)
    assert (jpeg.GetSize(), jpeg.GetDataPointer().shape, jpeg.GetJPEG().GetDataPointer().shape) == (100, (40,), (40,))
    pixels[1, 0] = 0x0102
    assert image.GetDataPointer()[16:18].tolist() == [2, 1]


def test_part_without_memory_gives_an_empty_array():
    parts = three_parts(alloc=False)
    for view in (parts.GetPart(0).GetDataPointer(), parts.GetPart(0).GetImage().GetDataPointer(),
                 parts.GetPart(1).GetJPEG().GetDataPointer()):
        assert view.size == 0


def test_chunk_part_holds_chunks_in_the_genicam_layout():
    parts = three_parts()
    chunks = parts.GetPart(2).GetChunkData()
    assert chunks.AddChunk(5, b"abc").IsOK() and m.IZuChunkData_GetChunkCount(chunks) == 1
    assert bytes(chunks.GetChunkRawDataByID(5)) == b"abc" and chunks.GetChunkLayoutID() == 9
    assert chunks.AddChunk(6, bytes(60)).GetCode() == tb.ZU_BUFFER_TOO_SMALL
    # Memory that arrives filled is read once its length is confirmed.
    layout = b"xy" + struct.pack(">II", 7, 2) + b"z" + struct.pack(">II", 8, 1)
    memory = np.zeros(64, np.uint8)
    memory[:len(layout)] = np.frombuffer(layout, np.uint8)
    assert parts.AttachPart(2, memory).IsOK() and m.IZuChunkData_GetChunkCount(chunks) == 0
    assert parts.SetPartFinalLength(2, len(layout)).IsOK()
    assert [m.IZuChunkData_GetChunkIDByIndex(chunks, i)[1] for i in range(2)] == [7, 8]
    assert np.shares_memory(chunks.GetChunkRawDataByIndex(0), memory)


VIEWS = {
    "section": lambda p: p.GetPart(0).GetDataPointer(),
    "image": lambda p: p.GetPart(0).GetImage().GetDataPointer(),
    "jpeg": lambda p: p.GetPart(1).GetJPEG().GetDataPointer(),
    "chunk": lambda p: p.GetPart(2).GetChunkData().GetChunkRawDataByID(4),
}


def collected(ref):
    gc.collect()
    return ref() is None


@pytest.mark.parametrize("view_of", VIEWS.values(), ids=VIEWS.keys())
@pytest.mark.parametrize("release", [
    lambda p, b: p.Reset(), lambda p, b: p.AllocAllParts(), lambda p, b: [p.AllocPart(i) for i in range(3)],
    lambda p, b: b.Reset(), lambda p, b: None,
], ids=["Reset", "AllocAllParts", "AllocPart", "buffer Reset", "buffer dropped"])
def test_views_outlive_the_part_memory(view_of, release):
    parts = three_parts()
    parts.GetPart(2).GetChunkData().AddChunk(4, bytes(range(20)))
    view = view_of(parts)
    view[:] = 5
    buffer = parts._tarn_owner
    buffer_ref = weakref.ref(buffer)
    release(parts, buffer)
    del parts, buffer
    assert collected(buffer_ref)
    # The memory is the view's now: reading and writing it stays safe.
    assert view.size and int(view.sum()) == 5 * view.size
    view[:] = 1


def test_borrowed_proxies_keep_their_container_and_buffer_alive():
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeMultiPart)
    buffer_ref = weakref.ref(buffer)
    parts = buffer.GetMultiPartContainer()
    setup(parts)
    image = parts.GetPart(0).GetImage()
    del buffer, parts
    assert not collected(buffer_ref)
    assert image.GetWidth() == 4


@pytest.mark.parametrize("name, proxy_of", [
    ("IZuMultiPartContainer", lambda p: p), ("IZuMultiPartContainerWriter", lambda p: p),
    ("IZuMultiPartContainerReader", lambda p: p), ("IZuMultiPartSection", lambda p: p.GetPart(0)),
])
def test_deleting_a_borrowed_proxy_frees_nothing(name, proxy_of):
    parts = three_parts()
    getattr(m, "delete_" + name)(proxy_of(parts))
    assert parts.GetPartCount() == 3 and parts.GetPart(0).GetSize() == 96


@pytest.mark.parametrize("given", [
    lambda: np.full(96, 7, np.uint8),                  # dropped by the caller right away
    lambda: [7] * 96,                                  # needs a converted copy
    lambda: np.frombuffer(bytes([7] * 96), np.uint8),  # read-only: the part is written into
])
def test_attached_memory_stays_valid_while_attached(given):
    parts = three_parts(alloc=False)
    assert parts.AttachPart(0, given()).IsOK()
    gc.collect()
    view = parts.GetPart(0).GetDataPointer()
    assert view.tolist() == [7] * 96 and view.flags.writeable


@pytest.mark.parametrize("release", [
    lambda p: p.AllocPart(0), lambda p: p.AllocAllParts(), lambda p: p.Reset(), lambda p: p._tarn_owner.Reset(),
])
def test_attached_array_is_released_once_the_part_lets_it_go(release):
    memory = np.zeros(96, np.uint8)
    memory_ref = weakref.ref(memory)
    parts = three_parts(alloc=False)
    assert parts.AttachPart(0, memory).IsOK()
    del memory
    assert not collected(memory_ref)
    release(parts)
    assert collected(memory_ref)


def test_attach_uses_the_array_in_place_with_a_64_bit_length():
    memory = np.zeros(100, np.uint8)
    parts = three_parts(alloc=False)
    assert parts.AttachPart(1, memory).IsOK() and np.shares_memory(parts.GetPart(1).GetDataPointer(), memory)
    # 2**32 + 16 bytes of address space, never touched: cut to 32 bits the
    # length would be 16, too little for the part.
    space = mmap.mmap(-1, 2 ** 32 + 16, flags=mmap.MAP_PRIVATE | mmap.MAP_ANONYMOUS | 0x4000)
    huge = np.frombuffer(space, np.uint8)
    assert parts.AttachPart(1, huge).IsOK()
    assert parts.AttachPart(0, memory).IsOK()  # the part lets the huge array go
    del huge
    gc.collect()
    space.close()


def test_function_table_and_docstrings():
    names = [name for name in vars(m) if callable(getattr(m, name))]
    start = names.index("IZuImageJPEG_swigregister") + 1
    ours = [n for n in names[start:] if "MultiPart" in n]
    assert names[start:start + len(ours)] == ours
    classes = ["IZuMultiPartContainerReader", "IZuMultiPartContainerWriter", "IZuMultiPartContainer", "IZuMultiPartSection"]
    assert sorted(classes, key=lambda c: ours.index("delete_" + c)) == classes
    assert ours[:4] == ["delete_IZuMultiPartContainerReader", "IZuMultiPartContainerReader_GetPartCount",
                        "IZuMultiPartContainerReader_GetPart", "IZuMultiPartContainerReader_swigregister"]
    assert ours[-1] == "IZuMultiPartSection_swigregister"
    for name in ours:
        plain = name.startswith("delete_") or name.endswith("_swigregister")
        assert (getattr(m, name).__doc__ is None) == plain, name


@pytest.mark.parametrize("width, height, pixel, padding", [
    (8, 6, tb.ZuPixelMono16, 0), (7, 5, tb.ZuPixelRGB8, 3), (4, 4, tb.ZuPixelMono12Packed, 1),
    (3, 2, tb.ZuPixelBGRa8, 0xFFFF), (1, 1, tb.ZuPixelRGB16, 7)])
def test_part_views_stay_within_attached_memory(width, height, pixel, padding):
    parts = container()
    assert parts.AddImagePart(tb.ZuMultiPart2DImage, width, height, pixel, 0, 0, padding).IsOK()
    part = parts.GetPart(0)
    memory = np.zeros(part.GetSize(), np.uint8)  # exactly what the part asks for
    assert parts.AttachPart(0, memory).IsOK()
    for lines in (height, 1, 0):
        assert parts.SetPartFinalImageHeight(0, lines).IsOK()
        views = (part.GetDataPointer(), part.GetImage().GetDataPointer())
        assert all(within(view, memory) for view in views), lines
        assert np.shares_memory(views[1], memory) or views[1].size == 0
