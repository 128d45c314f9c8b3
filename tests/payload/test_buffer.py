"""Buffers, chunk layouts, raw data, pixel-type functions and their error texts."""
import struct

import numpy as np
import pytest

import tarn_base_310 as tb
from support import error_of, prototypes

m = tb._tarn_base_310


IMAGE_ALLOC = prototypes("ZuImage_Alloc", *(
    "ZuImage::Alloc(" + ",".join(["uint32_t", "uint32_t", "ZuPixelType", "uint16_t", "uint16_t", "uint32_t"][:n]) + ")"
    for n in (6, 5, 4, 3)))


@pytest.mark.parametrize("func, args, expected", [
    (m.new_ZuBuffer, (2 ** 31,), (TypeError, prototypes("new_ZuBuffer", "ZuBuffer::ZuBuffer(ZuPayloadType)", "ZuBuffer::ZuBuffer()"))),
    (m.ZuBuffer_Reset, (tb.ZuBuffer(), "1"), (TypeError, prototypes("ZuBuffer_Reset", "ZuBuffer::Reset(ZuPayloadType)", "ZuBuffer::Reset()"))),
    (m.ZuBuffer_AddChunk, (tb.ZuBuffer(), 1, bytearray(b"ab")), (TypeError, "in method 'ZuBuffer_AddChunk', argument 3 of type 'uint8_t const *'")),
    (m.ZuBuffer_AddChunk, (tb.ZuBuffer(), -1, bytearray(b"ab")), (OverflowError, "in method 'ZuBuffer_AddChunk', argument 2 of type 'uint32_t'")),
    (m.IZuChunkData_AddChunk, (tb.ZuBuffer(), 1, np.zeros(2, np.uint8)), (TypeError, "in method 'IZuChunkData_AddChunk', argument 3 of type 'uint8_t const *'")),
    (m.ZuBuffer_GetImage, (3,), (TypeError, prototypes("ZuBuffer_GetImage", "ZuBuffer::GetImage()", "ZuBuffer::GetImage() const"))),
    (m.ZuBuffer_GetDataPointer, (3,), (TypeError, prototypes("ZuBuffer_GetDataPointer", "ZuBuffer::GetDataPointer() const", "ZuBuffer::GetDataPointer()"))),
    (m.ZuBuffer_AttachGenDCManager, (tb.ZuBuffer(), None), (TypeError, "invalid null reference in method 'ZuBuffer_AttachGenDCManager', argument 2 of type 'IZuGenDCManager &'")),
    (m.ZuImage_Alloc, (tb.ZuBuffer().GetImage(), 4, 4, tb.ZuPixelMono8, 65536), (TypeError, IMAGE_ALLOC)),
    (m.ZuImage_SetEOFByLineCount, (tb.ZuBuffer().GetImage(), 1), (TypeError, prototypes("ZuImage_SetEOFByLineCount", "ZuImage::SetEOFByLineCount(bool)", "ZuImage::SetEOFByLineCount()"))),
    (m.ZuImage_SetFullLineMissing, (tb.ZuBuffer().GetImage(), 1, 0), (TypeError, "in method 'ZuImage_SetFullLineMissing', argument 2 of type 'bool'")),
    (m.ZuPixelTypeGetBitsPerPixel, (2 ** 31,), (OverflowError, "in method 'ZuPixelTypeGetBitsPerPixel', argument 1 of type 'ZuPixelType'")),
    (m.ZuPixelTypeGetBitsPerPixel, (8.0,), (TypeError, "in method 'ZuPixelTypeGetBitsPerPixel', argument 1 of type 'ZuPixelType'")),
    (m.ZuRawData_Alloc, (tb.ZuBuffer(2).GetRawData(), -1), (TypeError, prototypes("ZuRawData_Alloc", "ZuRawData::Alloc(uint64_t,uint32_t)", "ZuRawData::Alloc(uint64_t)"))),
    (m.ZuRawData_Attach, (tb.ZuBuffer(2).GetRawData(), np.zeros(4, np.uint8), -1), (TypeError, prototypes("ZuRawData_Attach", "ZuRawData::Attach(void *,uint64_t,uint32_t)", "ZuRawData::Attach(void *,uint64_t)"))),
    (m.IZuChunkData_GetChunkCount, (tb.ZuBuffer(2).GetRawData(),), (TypeError, "in method 'IZuChunkData_GetChunkCount', argument 1 of type 'IZuChunkData *'")),
    (m.ZuRawData_GetPayloadLength, (3,), (TypeError, "in method 'ZuRawData_GetPayloadLength', argument 1 of type 'ZuRawData const *'")),
    (m.new_uint24_t, (None,), (TypeError, "invalid null reference in method 'new_uint24_t', argument 1 of type 'uint24_t const &'")),
])
def test_golden_error_texts(func, args, expected):
    assert error_of(func, *args) == expected


def test_construction_and_reset():
    assert tb.ZuBuffer().GetPayloadType() == tb.ZuPayloadTypeImage
    assert tb.ZuBuffer(7).GetPayloadType() == 7
    assert tb.ZuBuffer(-1).GetPayloadType() == -1
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeRawData)
    buffer.Alloc(16)
    buffer.SetBlockID(5)
    assert buffer.Reset().IsOK()
    assert (buffer.GetPayloadType(), buffer.GetSize(), buffer.GetBlockID()) == (1, 0, 0)


@pytest.mark.parametrize("kind, view", [
    (tb.ZuPayloadTypeImage, "GetImage"), (tb.ZuPayloadTypeExtendedChunkData, "GetImage"),
    (tb.ZuPayloadTypeRawData, "GetRawData"), (tb.ZuPayloadTypeFile, "GetRawData"),
    (tb.ZuPayloadTypeChunkData, "GetChunkData"),
])
def test_payload_type_decides_the_typed_view(kind, view):
    buffer = tb.ZuBuffer(kind)
    for name in ("GetImage", "GetRawData", "GetChunkData", "GetMultiPartContainer", "GetGenDC"):
        assert (getattr(buffer, name)() is not None) == (name == view)


def test_unsigned_64_bit_values():
    buffer = tb.ZuBuffer()
    for setter, getter in (("SetTimestamp", "GetTimestamp"), ("SetBlockID", "GetBlockID"),
                           ("SetDuration", "GetDuration"), ("SetReceptionTime", "GetReceptionTime")):
        assert getattr(buffer, setter)(2 ** 64 - 1).IsOK()
        assert getattr(buffer, getter)() == 2 ** 64 - 1
    buffer.SetID(2 ** 63 + 1)
    assert buffer.GetID() == 2 ** 63 + 1
    assert buffer.GetImage().GetTimestamp() == 2 ** 64 - 1


def test_equality_and_hash_by_native_buffer():
    buffer, other = tb.ZuBuffer(), tb.ZuBuffer()
    borrowed = buffer.GetImage().GetBuffer()
    assert borrowed is not buffer and borrowed == buffer and hash(borrowed) == hash(buffer)
    assert {buffer: 1}[borrowed] == 1
    assert buffer != other and not (buffer == None)  # noqa: E711
    assert m.ZuBuffer___eq__(buffer, 3) is NotImplemented
    # None is the null buffer to both, and neither refuses it.
    assert m.ZuBuffer___eq__(None, None) is True and m.ZuBuffer___hash__(None) == 0
    assert m.ZuBuffer___eq__(None, buffer) is False


def test_out_values_are_lists_converted_whatever_the_outcome():
    buffer = tb.ZuBuffer()
    result, count = buffer.GetMissingPacketIdsCount()
    assert result.IsOK() and count == 0
    missing = buffer.GetMissingPacketIds(0)
    assert isinstance(missing, list) and len(missing) == 3
    assert missing[0].GetCode() == tb.ZU_NOT_FOUND and missing[1:] == [0, 0]
    result, found = buffer.GetChunkIDByIndex(3)
    assert result.GetCode() == tb.ZU_NOT_FOUND and found == 0


# ---- Chunk layout ----------------------------------------------------------

CHUNKS = [(0x1234, b"abcd"), (7, b"xy"), (0xFFFFFFFF, b"")]
LAYOUT = b"".join(data + struct.pack(">II", cid, len(data)) for cid, data in CHUNKS)


def test_chunks_are_written_in_the_genicam_layout():
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeChunkData)
    chunks = buffer.GetChunkData()
    assert chunks.Alloc(64).IsOK()
    for cid, data in CHUNKS:
        assert chunks.AddChunk(cid, data).IsOK()
    assert chunks.GetChunkDataPayloadLength() == len(LAYOUT) == buffer.GetChunkDataSize()
    assert bytes(buffer.GetDataPointer()[:len(LAYOUT)]) == LAYOUT
    assert chunks.AddChunk(1, bytes(64)).GetCode() == tb.ZU_BUFFER_TOO_SMALL


def test_attached_chunk_payload_is_read_back():
    memory = np.frombuffer(LAYOUT, np.uint8).copy()
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeChunkData)
    chunks = buffer.GetChunkData()
    assert chunks.Attach(memory).IsOK()
    assert m.IZuChunkData_GetChunkCount(chunks) == 3 and buffer.HasChunks()
    for index, (cid, data) in enumerate(CHUNKS):
        result, found = buffer.GetChunkIDByIndex(index)
        assert result.IsOK() and found == cid
        assert bytes(buffer.GetChunkRawDataByID(cid)) == data == bytes(buffer.GetChunkRawDataByIndex(index))
    view = buffer.GetChunkRawDataByID(0x1234)
    assert np.shares_memory(view, memory)
    detached = chunks.Detach()
    assert detached.shape == (len(LAYOUT),) and np.shares_memory(detached, memory)


def test_corrupt_chunk_trailer_is_reported():
    memory = np.frombuffer(b"ab" + struct.pack(">II", 1, 40), np.uint8).copy()
    chunks = tb.ZuBuffer(tb.ZuPayloadTypeChunkData).GetChunkData()
    assert chunks.Attach(memory).GetCode() == tb.ZU_INVALID_DATA_FORMAT
    assert m.IZuChunkData_GetChunkCount(chunks) == 0


def test_buffer_chunks_need_chunk_space():
    buffer = tb.ZuBuffer()
    assert buffer.AddChunk(1, b"ab").GetCode() == tb.ZU_STATE_ERROR
    assert buffer.GetImage().Alloc(4, 4, tb.ZuPixelMono8, 0, 0, 32).IsOK()
    assert buffer.AddChunk(1, b"ab").IsOK() and buffer.GetChunkDataCapacity() == 32
    assert buffer.GetPayloadSize() == 16 + 10 and buffer.GetRequiredSize() == 16 + 32


# ---- Raw data ----------------------------------------------------------------

def test_raw_data_alloc_and_attach():
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeRawData)
    raw = buffer.GetRawData()
    assert raw.Alloc(100).IsOK() and raw.GetPayloadLength() == 100 and buffer.GetChunkDataCapacity() == 0
    assert raw.Alloc(100, 20).IsOK() and buffer.GetSize() == 120 and buffer.GetChunkDataCapacity() == 20
    assert raw.Alloc(2 ** 32).GetCode() == tb.ZU_ERR_OVERFLOW
    memory = np.arange(50, dtype=np.uint8)
    assert raw.Attach(memory, 10).IsOK()
    assert raw.GetPayloadLength() == 40 and buffer.GetChunkDataCapacity() == 10
    detached = raw.Detach()
    assert detached.shape == (40,) and np.shares_memory(detached, memory)


# ---- Function table ------------------------------------------------------------

def test_function_table_order():
    names = [name for name in vars(m) if callable(getattr(m, name))]
    assert names[names.index("ZuImage_GetBuffer"):][:3] == ["ZuImage_GetBuffer", "delete_ZuImage", "ZuImage_swigregister"]
    assert names[names.index("uint24_t_swiginit") + 1:][:8] == [
        "ZuPixelTypeGetPixelBitCount", "ZuPixelTypeGetPixelSize", "ZuPixelTypeGetBitsPerPixel", "ZuPixelTypeIsPixelHighRes",
        "ZuPixelTypeGetBitsPerComponent", "ZuPixelTypeToString", "ZuPixelTypeIsPixelColor", "delete_ZuRawData"]


@pytest.mark.parametrize("name", [
    "delete_IZuChunkData", "delete_ZuChunkData", "delete_IZuImage", "delete_ZuImage", "delete_ZuRawData",
    "delete_IZuImageJPEG", "ZuBuffer___eq__", "ZuBuffer___hash__", "ZuImage_IsAllocated", "ZuImage_IsAttached",
])
def test_functions_without_docstring(name):
    assert getattr(m, name).__doc__ is None


@pytest.mark.parametrize("name, begins", [
    ("ZuPixelTypeGetPixelBitCount", "Returns the number of bits one pixel occupies"),
    ("ZuBuffer_GetMissingPacketIdsCount", "GetMissingPacketIdsCount() -> ZuResult, int\n"),
    ("ZuBuffer_GetMissingPacketIds", "GetMissingPacketIds(aIndex) -> ZuResult, int, int\n"),
    ("ZuBuffer_GetChunkIDByIndex", "GetChunkIDByIndex(aIndex) -> ZuResult, int\n"),
    ("IZuChunkData_GetChunkIDByIndex", "GetChunkIDByIndex(aIndex) -> ZuResult, int\n"),
])
def test_docstrings_tell_the_python_call(name, begins):
    assert getattr(m, name).__doc__.lstrip().startswith(begins)


# ---- Pixel types and records -------------------------------------------------

@pytest.mark.parametrize("code, bits, per_component, color, high_res, name", [
    (tb.ZuPixelMono8, 8, 8, False, False, "Mono8"),
    (tb.ZuPixelMono12Packed, 12, 12, False, True, "Mono12Packed"),
    (tb.ZuPixelRGB8, 24, 8, True, False, "RGB8"),
    (tb.ZuPixelRGBa16, 64, 16, True, True, "RGBa16"),
    (tb.ZuPixelYUV422_8, 16, 8, True, False, "YUV422_8"),
    (tb.ZuPixelYCbCr411_8, 12, 8, True, False, "YCbCr411_8"),
    (tb.ZuPixelCoord3D_ABC32f, 96, 32, True, True, "Coord3D_ABC32f"),
    (tb.ZUPIXELCUSTOM | 0x00100001, 16, 16, False, True, None),
])
def test_pixel_type_functions(code, bits, per_component, color, high_res, name):
    assert tb.ZuPixelTypeGetBitsPerPixel(code) == tb.ZuPixelTypeGetPixelBitCount(code) == tb.ZuPixelTypeGetPixelSize(code) == bits
    assert tb.ZuPixelTypeGetBitsPerComponent(code) == per_component
    assert tb.ZuPixelTypeIsPixelColor(code) is color and tb.ZuPixelTypeIsPixelHighRes(code) is high_res
    assert tb.ZuPixelTypeToString(code) == name


def test_custom_pixel_type_reads_back_negative():
    image = tb.ZuBuffer().GetImage()
    custom = tb.ZUPIXELCUSTOM | tb.ZUPIXEL8BIT | tb.ZUPIXELMONO | 1
    assert image.Alloc(4, 2, custom).IsOK()
    assert image.GetPixelType() == custom < 0
    assert image.GetDataPointer().shape == (2, 4)



def test_the_typed_views_refuse_use_once_the_buffer_is_deleted(py):
    # Deleted explicitly (not through its proxy's last reference), the buffer
    # takes its typed view with it: a kept view, proxy or bare pointer
    # object, gets the freed object's error instead of reaching freed memory.
    views = [(tb.ZuPayloadTypeImage, "GetImage", "IZuImage_GetWidth"),
             (tb.ZuPayloadTypeRawData, "GetRawData", "ZuRawData_GetPayloadLength"),
             (tb.ZuPayloadTypeChunkData, "GetChunkData", "IZuChunkData_GetChunkCount"),
             (tb.ZuPayloadTypeMultiPart, "GetMultiPartContainer", "IZuMultiPartContainerReader_GetPartCount"),
             (tb.ZuPayloadTypeGenDC, "GetGenDC", "IZuGenericDataContainer_GetComponentCount")]
    out = py(f"""
        import tarn_base_310 as tb
        m = tb._tarn_base_310
        for kind, view, use in {views!r}:
            buffer = tb.ZuBuffer(kind)
            kept = getattr(buffer, view)()
            bare = kept.this
            m.delete_ZuBuffer(buffer)
            for call in (getattr(kept, use.split("_")[1]), lambda: getattr(m, use)(bare)):
                try:
                    call()
                    print("no error")
                except TypeError as error:
                    print(str(error).split(",")[0])
    """).stdout
    assert out.splitlines() == [f"in method '{use}'" for _, _, use in views for _ in range(2)]
