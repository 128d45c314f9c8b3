"""GenDC containers from Python: building and parsing through buffers, the
header records byte for byte, the decoded part fields, error texts and the
lifetime of what a container hands out."""
import gc
import struct

import numpy as np
import pytest

import tarn_base_310 as tb
from support import within

m = tb._tarn_base_310


def sample(size=1024):
    """A buffer holding an image component (one 4 x 3 Mono8 part) and a
    metadata component (a chunk part on flow 1, an H.264 part on flow 2)."""
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeGenDC)
    assert buffer.Alloc(size).IsOK()
    gendc = buffer.GetGenDC()
    assert gendc.AddComponent(tb.ZuComponentIntensity) == 0
    assert gendc.AddComponent(tb.ZuComponentMetadata) == 1
    assert gendc[0].AddPart(tb.ZuGenDCPart2D, 0) == 0
    assert gendc[1].AddPart(tb.ZuGenDCPartMetadataGenICamChunk, 1) == 0
    assert gendc[1].AddPart(tb.ZuGenDCPart2DH264, 2) == 1
    header = gendc[0][0].Get2DHeader()
    header.SizeX, header.SizeY, header.Format, header.DataSize = 4, 3, tb.ZuPixelMono8, 12
    # Adding a chunk lays the container out anew, giving the image its 12 bytes.
    assert gendc[1][0].GetGenDCChunkWriter().AddChunk(0x42, b"abcdefgh").IsOK()
    gendc[0][0].GetDataPointer()[:] = np.arange(12)
    return buffer


def container_bytes(buffer):
    header = buffer.GetGenDC().GetHeader()
    return buffer.GetDataPointer()[:header.DataOffset + header.DataSize].copy()


def attached(data):
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeGenDC)
    assert buffer.Attach(np.ascontiguousarray(data, dtype=np.uint8)).IsOK()
    return buffer


def walk(gendc):
    """Reads everything a container offers; the sizes of arrays must match
    what the container claims (or be empty when it has no data)."""
    gendc.IsValid(), gendc.GetHeader(), gendc.GetDataSize()
    for c in range(gendc.GetComponentCount() + 1):
        component = gendc[c]
        if component is None:
            continue
        component.GetHeader(), component.GetTypeIDEnum()
        for p in range(component.GetPartCount() + 1):
            component.GetPartHeaderOffset(p)
            part = component[p]
            if part is None:
                continue
            for view in ("Get1DHeader", "Get2DHeader", "GetH264Header", "GetGenICamChunkHeader"):
                getattr(part, view)()
            assert part.GetDataPointer().size in (0, part.GetDataSize())
            for fields in ("GetMetadataSpecificFields", "Get1DSpecificFields", "Get2DSpecificFields",
                           "GetH264SpecificFields"):
                assert len(getattr(part, fields)()) == 2
            image = part.GetGenDCImage()
            if image is not None:
                image.GetDataPointer()
            chunks = part.GetGenDCChunkData()
            if chunks is not None:
                for i in range(chunks.GetChunkCount() + 1):
                    _, chunk_id = chunks.GetChunkIDByIndex(i)
                    assert chunks.GetChunkRawDataByID(chunk_id).size == chunks.GetChunkSizeByID(chunk_id)


# ---- Building and parsing ------------------------------------------------------

def test_built_container_parses_back_from_its_bytes():
    data = container_bytes(sample())
    gendc = attached(data).GetGenDC()
    assert gendc.IsValid()
    assert gendc.GetComponentCount() == 2
    assert [gendc[c].GetTypeIDEnum() for c in range(2)] == [tb.ZuComponentIntensity, tb.ZuComponentMetadata]
    image = gendc[0][0].GetGenDCImage()
    assert (image.GetWidth(), image.GetHeight(), image.GetPixelType(), image.GetImageSize()) == (4, 3, tb.ZuPixelMono8, 12)
    assert np.array_equal(image.GetDataPointer(), np.arange(12, dtype=np.uint8).reshape(3, 4))
    chunks = gendc[1][0].GetGenDCChunkData()
    assert chunks.GetChunkCount() == 1
    assert chunks.GetChunkRawDataByIndex(0).tobytes() == b"abcdefgh"
    assert [gendc[1][p].GetFlowID() for p in range(2)] == [1, 2]
    assert gendc[1][1].GetHeaderType() == tb.TypeH264
    # Data lie after the descriptor; each part's data where its header says.
    part = gendc[0][0]
    assert gendc.GetHeader().DataOffset >= gendc.GetDescriptorSize()
    assert data[part.GetDataOffset():part.GetDataOffset() + 12].tolist() == list(range(12))


def test_every_truncation_is_invalid_and_safe_to_read():
    data = container_bytes(sample())
    for size in range(1, len(data)):
        gendc = attached(data[:size]).GetGenDC()
        assert not gendc.IsValid(), size
        assert (gendc.GetHeader() is None) == (size < 64)
        walk(gendc)


def test_random_damage_is_safe_to_read():
    data = container_bytes(sample())
    random = np.random.default_rng(3)
    for _ in range(300):
        damaged = data.copy()
        damaged[random.integers(0, len(data), 4)] = random.integers(0, 256, 4)
        walk(attached(damaged).GetGenDC())


def test_container_larger_than_its_buffer_is_refused():
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeGenDC)
    assert buffer.Alloc(256).IsOK()
    gendc = buffer.GetGenDC()
    assert gendc.AddComponent(tb.ZuComponentRange) == 0
    assert gendc[0].AddPart(tb.ZuGenDCPartMetadataGenICamChunk, 0) == 0
    writer = gendc[0][0].GetGenDCChunkWriter()
    assert writer.AddChunk(1, bytes(400)).GetCode() == tb.ZU_BUFFER_TOO_SMALL
    assert writer.AddChunk(1, b"abc").GetCode() == tb.ZU_INVALID_PARAMETER
    assert writer.AddChunk(1, b"").IsOK()
    assert gendc[0][0].GetGenDCChunkData().GetChunkSizeByIndex(0) == 0
    assert gendc.IsValid()


def test_only_a_gendc_payload_has_a_container():
    assert tb.ZuBuffer().GetGenDC() is None
    empty = tb.ZuBuffer(tb.ZuPayloadTypeGenDC).GetGenDC()
    assert (empty.IsValid(), empty.GetComponentCount(), empty.GetHeader(), empty[0]) == (False, 0, None, None)


# ---- Container access -------------------------------------------------------------

def test_indexing_and_the_getter_give_one_proxy_of_a_component():
    gendc = sample().GetGenDC()
    first, second = gendc[0], gendc.GetComponent(0)
    assert first is second and int(first.this) != int(gendc[1].this)
    assert gendc[2] is None and gendc.GetComponent(2) is None and gendc[0][5] is None


@pytest.mark.parametrize("call, args, error, text", [
    (m.IZuGenericDataContainer___getitem__, (-1,), OverflowError, "in method 'IZuGenericDataContainer___getitem__', argument 2 of type 'uint32_t'"),
    (m.IZuGenericDataContainer___getitem__, (2 ** 32,), OverflowError, "in method 'IZuGenericDataContainer___getitem__', argument 2 of type 'uint32_t'"),
    (m.IZuGenericDataContainer___getitem__, ("0",), TypeError, "in method 'IZuGenericDataContainer___getitem__', argument 2 of type 'uint32_t'"),
    (m.IZuGenericDataContainer_AddComponent, (2 ** 31,), OverflowError, "in method 'IZuGenericDataContainer_AddComponent', argument 2 of type 'ZuComponentType'"),
])
def test_container_argument_errors(call, args, error, text):
    with pytest.raises(error) as raised:
        call(sample().GetGenDC(), *args)
    assert str(raised.value) == text


@pytest.mark.parametrize("call, args, error, text", [
    (m.IZuGenericDataComponent_AddPart, (tb.ZuGenDCPart2D, -1), OverflowError, "in method 'IZuGenericDataComponent_AddPart', argument 3 of type 'uint32_t'"),
    (m.IZuGenericDataComponent___getitem__, (-1,), OverflowError, "in method 'IZuGenericDataComponent___getitem__', argument 2 of type 'uint32_t'"),
    (m.IZuGenericDataComponent_GetFlags, (), TypeError, None),
])
def test_component_argument_errors(call, args, error, text):
    with pytest.raises(error) as raised:
        call(sample().GetGenDC()[0] if text else None, *args)
    assert text is None or str(raised.value) == text


@pytest.mark.parametrize("data", [bytearray(4), memoryview(b"1234"), np.zeros(4, np.uint8)])
def test_add_chunk_takes_bytes_only(data):
    writer = sample().GetGenDC()[1][0].GetGenDCChunkWriter()
    with pytest.raises(TypeError, match=r"^in method 'IZuGenDCChunkWriter_AddChunk', argument 3 of type 'uint8_t const \*'$"):
        writer.AddChunk(1, data)


def test_const_and_mutable_objects_in_error_texts():
    with pytest.raises(TypeError, match="argument 1 of type 'IZuGenericDataContainer const \\*'"):
        m.IZuGenericDataContainer_GetComponentCount(1)
    with pytest.raises(TypeError, match="argument 1 of type 'IZuGenericDataPart \\*'"):
        m.IZuGenericDataPart_Get1DHeader(1)


def test_typed_header_views_fit_their_header():
    part = sample().GetGenDC()[0][0]
    view = part.Get2DHeader()
    assert isinstance(view, tb.GenDCPartHeader2D)
    common = part.GetHeader()
    for field in ("HeaderType", "HeaderSize", "Format", "FlowId", "DataSize", "DataOffset"):
        assert getattr(view, field) == getattr(common, field)
    assert part.GetJPEGHeader().SizeX == 4
    # A 56-byte 2D header is too short for a 64-byte 1D or a 72-byte H.264 record.
    assert part.Get1DHeader() is None and part.GetH264Header() is None


@pytest.mark.parametrize("kind, code", [
    (tb.ZuGenDCPartMetadataCustom, tb.TypeMetadataCustom), (tb.ZuGenDCPart1DCustom, tb.Type1DCustom),
    (tb.ZuGenDCPart2DCustom, tb.Type2DCustom), (tb.ZuGenDCPartCustom, tb.TypeCustomPart),
    (tb.ZuGenDCPart2DJpeg2000, tb.TypeJPEG2000),
])
def test_custom_kinds_are_not_their_codes(kind, code):
    gendc = sample().GetGenDC()
    index = gendc[0].AddPart(kind, 0)
    assert (gendc[0][index].GetHeaderType(), gendc[0][index].GetHeaderTypeEnum()) == (code, kind)


def test_specific_fields_come_whatever_the_outcome():
    gendc = sample().GetGenDC()
    image, chunk, h264 = gendc[0][0], gendc[1][0], gendc[1][1]
    result, fields = image.Get2DSpecificFields()
    assert result.IsOK() and (fields.SizeX, fields.SizeY, fields.PaddingX) == (4, 3, 0)
    result, fields = image.Get1DSpecificFields()
    assert result.GetCode() == tb.ZU_NOT_SUPPORTED and isinstance(fields, tb.ZuGenDCPart1DFields) and fields.Size == 0
    result, fields = chunk.GetMetadataSpecificFields()
    assert result.IsOK() and fields.Size == 16
    h264.GetH264Header().InfoTypeSpecific.LevelIDC = 31
    for result, fields in (h264.GetH264SpecificFields(), h264.Get2DSpecificFields()):
        assert result.IsOK()
    result, fields = h264.GetH264SpecificFields()
    assert fields.LevelIDC == 31 and fields.Flags.PM == 0


def test_flags_byte_of_h264_part_decodes_bit_by_bit():
    buffer = sample()
    gendc = buffer.GetGenDC()
    offset = gendc[1].GetPartHeaderOffset(1)
    buffer.GetDataPointer()[offset + 56 + 2] = 0x25
    flags = gendc[1][1].GetH264SpecificFields()[1].Flags
    assert [flags.CS_set0_flag, flags.CS_set1_flag, flags.CS_set2_flag, flags.CS_set3_flag, flags.PM, flags.RF] == [1, 0, 1, 0, 2, 0]


def test_image_chunk_and_writer_only_for_their_kinds():
    gendc = sample().GetGenDC()
    image, chunk = gendc[0][0], gendc[1][0]
    assert chunk.GetGenDCImage() is None
    assert image.GetGenDCChunkData() is None and image.GetGenDCChunkWriter() is None
    chunks = chunk.GetGenDCChunkData()
    assert chunks.GetChunkRawDataByID(7).dtype == np.uint8 and chunks.GetChunkRawDataByID(7).size == 0
    assert chunks.GetChunkSizeByID(7) == 0
    result, chunk_id = chunks.GetChunkIDByIndex(3)
    assert result.GetCode() == tb.ZU_NOT_FOUND and chunk_id == 0


def test_pixel_type_sign_follows_the_getter():
    gendc = sample().GetGenDC()
    gendc[0][0].GetHeader().Format = -2147483647
    gendc[0].GetHeader().Format = -2147483647
    assert gendc[0][0].GetGenDCImage().GetPixelType() == -2147483647
    assert gendc[0][0].GetFormat() == gendc[0].GetFormat() == 2 ** 31 + 1


def test_views_and_objects_outlive_their_buffer():
    buffer = sample()
    gendc = buffer.GetGenDC()
    part = gendc[0][0]
    data, header, image = part.GetDataPointer(), part.GetHeader(), part.GetGenDCImage().GetDataPointer()
    chunk = gendc[1][0].GetGenDCChunkData().GetChunkRawDataByIndex(0)
    del gendc
    buffer.Free()
    del buffer
    gc.collect()
    assert data.tolist() == list(range(12)) and image.shape == (3, 4)
    assert header.DataSize == 12 and chunk.tobytes() == b"abcdefgh"
    assert part.GetDataSize() == 0 and part.GetDataPointer().size == 0


# ---- Header records ----------------------------------------------------------------

U8, U16, U32, U64 = (0, 255), (0, 65535), (0, 2 ** 32 - 1), (0, 2 ** 64 - 1)
S64, S32 = (-2 ** 63, 2 ** 63 - 1), (-2 ** 31, 2 ** 31 - 1)

# record, field, offset, size, type name, accepted range (S32 fields of 16 bits keep the low bits)
FIELDS = [
    ("GenDCContainerHeaderBase", "Signature", 0, 4, "GenDCSignature", S32),
    ("GenDCContainerHeaderBase", "VersionMajor", 4, 1, "GenDCVersionField", U8),
    ("GenDCContainerHeaderBase", "VersionSubMinor", 6, 1, "GenDCVersionField", U8),
    ("GenDCContainerHeaderBase", "Reserved", 7, 1, "GenDCReserved8", U8),
    ("GenDCContainerHeaderBase", "HeaderType", 8, 2, "GenDCHeaderType", S32),
    ("GenDCContainerHeaderBase", "HeaderSize", 12, 4, "GenDCHeaderSize", U32),
    ("GenDCContainerHeaderBase", "Id", 16, 8, "GenDCContainerId", U64),
    ("GenDCContainerHeaderBase", "Reserved16", 26, 2, "GenDCReserved16", U16),
    ("GenDCContainerHeaderBase", "Reserved32", 28, 4, "GenDCReserved32", U32),
    ("GenDCContainerHeaderBase", "DataSize", 32, 8, "GenDCDataSize", U64),
    ("GenDCContainerHeaderBase", "DataOffset", 40, 8, "GenDCOffset", S64),
    ("GenDCContainerHeaderBase", "DescriptorSize", 48, 4, "GenDCDescriptorSize", U32),
    ("GenDCContainerHeaderBase", "ComponentCount", 52, 4, "GenDCComponentCount", U32),
    ("GenDCComponentHeaderBase", "HeaderSize", 4, 4, "GenDCHeaderSize", U32),
    ("GenDCComponentHeaderBase", "GroupId", 10, 2, "GenDCGroupId", U16),
    ("GenDCComponentHeaderBase", "SourceId", 12, 2, "GenDCSourceId", U16),
    ("GenDCComponentHeaderBase", "RegionId", 14, 2, "GenDCRegionId", U16),
    ("GenDCComponentHeaderBase", "RegionOffsetY", 20, 4, "GenDCRegionOffset", U32),
    ("GenDCComponentHeaderBase", "Timestamp", 24, 8, "GenDCTimestamp", S64),
    ("GenDCComponentHeaderBase", "TypeId", 32, 8, "GenDCComponentTypeId", U64),
    ("GenDCComponentHeaderBase", "Format", 40, 4, "GenDCFormat", S32),
    ("GenDCComponentHeaderBase", "Reserved2", 44, 2, "GenDCReserved16", U16),
    ("GenDCComponentHeaderBase", "PartCount", 46, 2, "GenDCPartCount", U16),
    ("GenDCPartHeaderBase", "HeaderType", 0, 2, "GenDCPartType", S32),
    ("GenDCPartHeaderBase", "Format", 8, 4, "GenDCFormat", S32),
    ("GenDCPartHeaderBase", "FlowId", 14, 2, "GenDCFlowId", U16),
    ("GenDCPartHeaderBase", "FlowOffset", 16, 8, "GenDCFlowOffset", S64),
    ("GenDCPartHeaderBase", "DataOffset", 32, 8, "GenDCOffset", S64),
    ("GenDCPartHeader2DBase", "SizeY", 44, 4, "GenDCSize2D", U32),
    ("GenDCPartHeader2DBase", "PaddingY", 50, 2, "GenDCPadding", U16),
    ("GenDCPartHeader2DBase", "InfoReserved", 52, 4, "GenDCReserved32", U32),
]
H264_FIELDS = [("ProfileIDC", 1, 1, U8), ("LevelIDC", 3, 1, U8), ("SpropMaxDonDiff", 6, 2, U16),
               ("SpropDeintBufReq", 8, 4, U32), ("SpropInitBufTime", 12, 4, U32)]


def header_in_memory(record):
    """A header of the record's family inside a container, its offset and the memory."""
    buffer = sample()
    gendc = buffer.GetGenDC()
    if record.startswith("GenDCContainer"):
        return buffer, gendc.GetHeader(), 0
    if record.startswith("GenDCComponent"):
        return buffer, gendc[1].GetHeader(), struct.unpack_from("<q", container_bytes(buffer), 56 + 8)[0]
    return buffer, gendc[1][1].GetH264Header(), gendc[1].GetPartHeaderOffset(1)


@pytest.mark.parametrize("record, field, offset, size, type_name, span", FIELDS, ids=[f"{r}.{f}" for r, f, *_ in FIELDS])
def test_header_field_lies_at_its_offset_and_takes_its_range(record, field, offset, size, type_name, span):
    buffer, header, at = header_in_memory(record)
    setter, getter = getattr(m, f"{record}_{field}_set"), getattr(m, f"{record}_{field}_get")
    memory = buffer.GetDataPointer()
    value = span[1] - 1
    setter(header, value)
    stored = value & ((1 << 8 * size) - 1)
    assert memory[at + offset:at + offset + size].tobytes() == stored.to_bytes(size, "little")
    assert getter(header) == (value if size > 2 or span != S32 else stored)
    for bad in (span[0] - 1, span[1] + 1):
        with pytest.raises(OverflowError, match=rf"^in method '{record}_{field}_set', argument 2 of type '{type_name}'$"):
            setter(header, bad)
    with pytest.raises(TypeError, match=rf"^in method '{record}_{field}_set', argument 2 of type '{type_name}'$"):
        setter(header, 1.0)
    assert getter(header) == (value if size > 2 or span != S32 else stored)
    setter(header, True)
    assert getter(header) == 1
    assert getter(m.__dict__[f"new_{record}"]()) == 0  # a record of its own starts zeroed


@pytest.mark.parametrize("field, offset, size, span", H264_FIELDS)
def test_h264_information_lies_inside_its_header(field, offset, size, span):
    buffer, header, at = header_in_memory("GenDCPartHeaderH264")
    setattr(header.InfoTypeSpecific, field, span[1])
    memory = buffer.GetDataPointer()
    assert memory[at + 56 + offset:at + 56 + offset + size].tobytes() == span[1].to_bytes(size, "little")


@pytest.mark.parametrize("record, size", [
    ("GenDCContainerHeader", 64), ("GenDCComponentHeader", 56), ("GenDCFlowTable", 24), ("GenDCPartHeaderH264", 72),
    ("GenDCPartHeader1D", 64), ("GenDCPartHeaderJPEG", 56),
])
def test_new_records_read_zero(record, size):
    header = getattr(tb, record)()
    names = [n for n in dir(header) if n[0].isupper() and not callable(getattr(header, n))]
    values = [getattr(header, n) for n in names]
    assert values and all(v == 0 or not isinstance(v, int) for v in values)


@pytest.mark.parametrize("value, stored", [(0x12345, 0x2345), (-1, 65535), (0x14203, 0x4203)])
def test_header_type_keeps_low_16_bits(value, stored):
    for header, field in ((tb.GenDCContainerHeader(), "HeaderType"), (tb.GenDCFlowTable(), "HeaderType"),
                          (tb.GenDCPartHeaderJPEG(), "HeaderType")):
        setattr(header, field, value)
        assert getattr(header, field) == stored


def test_record_family_accepts_derived_records_only():
    jpeg = tb.GenDCPartHeaderJPEG()
    jpeg.SizeX, jpeg.DataSize = 7, 9
    assert m.GenDCPartHeader2DBase_SizeX_get(jpeg) == 7 and m.GenDCPartHeaderBase_DataSize_get(jpeg) == 9
    with pytest.raises(TypeError, match=r"^in method 'GenDCPartHeader1DBase_SizeX_get', argument 1 of type 'GenDCPartHeader1DBase \*'$"):
        m.GenDCPartHeader1DBase_SizeX_get(jpeg)
    with pytest.raises(TypeError, match=r"^in method 'GenDCFlowTable_FlowSize_get', argument 1 of type 'GenDCFlowTable \*'$"):
        m.GenDCFlowTable_FlowSize_get(tb.GenDCFlowTableHeader())
    assert m.GenDCFlowTableHeader_FlowCount_get(tb.GenDCFlowTable()) == 0
    one_d = tb.GenDCPartHeader1DBase()
    one_d.SizeX = 2 ** 32
    with pytest.raises(OverflowError):
        tb.GenDCPartHeader2DBase().SizeX = 2 ** 32


def test_nested_groups_are_views_and_setters_copy():
    header = tb.GenDCContainerHeader()
    header.Flags.Value = 0x8001
    assert header.Flags.Value == 0x8001
    group = tb.GenDCContainerFlagsGroup()
    group.Value = 5
    header.Flags = group
    group.Value = 6
    assert header.Flags.Value == 5
    view = tb.GenDCComponentHeader().Flags
    gc.collect()
    view.Value = 3  # the view keeps its record alive
    with pytest.raises(TypeError, match=r"^in method 'GenDCComponentHeaderBase_Flags_set', argument 2 of type 'GenDCComponentFlagsGroup \*'$"):
        m.GenDCComponentHeaderBase_Flags_set(tb.GenDCComponentHeader(), group)
    with pytest.raises(TypeError, match="invalid null reference"):
        m.GenDCContainerHeaderBase_Flags_set(header, None)
    assert m.GenDCContainerHeaderBase_Id_set(None, 5) is None


@pytest.mark.parametrize("record, field, type_text, at", [
    ("GenDCContainerHeader", "ComponentOffsets", "GenDCOffset [1]", 56),
    ("GenDCComponentHeader", "PartOffsets", "GenDCOffset [1]", 48),
    ("GenDCFlowTable", "FlowSize", "GenDCFlowSize [1]", None),
])
def test_trailing_arrays_copy_one_element(record, field, type_text, at):
    setter, getter = getattr(m, f"{record}_{field}_set"), getattr(m, f"{record}_{field}_get")
    target = getattr(tb, record)()
    if at is not None:
        # Through a record of Python's own, from one container's header into another's.
        source, destination = sample(), sample(2048)
        pick = (lambda b: b.GetGenDC().GetHeader()) if at == 56 else (lambda b: b.GetGenDC()[0].GetHeader())
        where = 0 if at == 56 else struct.unpack_from("<q", container_bytes(destination), 56)[0]
        setter(target, getter(pick(source)))
        memory = destination.GetDataPointer()
        memory[where + at:where + at + 8] = 0
        setter(pick(destination), getter(target))
        expected = container_bytes(source)[(0 if at == 56 else struct.unpack_from("<q", container_bytes(source), 56)[0]) + at:][:8]
        assert memory[where + at:where + at + 8].tobytes() == expected.tobytes()
    with pytest.raises(TypeError, match=rf"^invalid null reference in variable '{field}' of type '{re_escape(type_text)}'$"):
        setter(target, None)
    with pytest.raises(TypeError, match=rf"^in method '{record}_{field}_set', argument 2 of type '{re_escape(type_text)}'$"):
        setter(target, 1)


def re_escape(text):
    import re
    return re.escape(text)


def test_h264_information_copies_whole():
    header, info = tb.GenDCPartHeaderH264(), tb.GenDCInfoTypeSpecificH264()
    info.ProfileIDC = 100
    header.InfoTypeSpecific = info
    info.ProfileIDC = 1
    assert header.InfoTypeSpecific.ProfileIDC == 100
    flags = m.GenDCInfoTypeSpecificH264_Flags_get(info)
    m.GenDCInfoTypeSpecificH264_Flags_set(header.InfoTypeSpecific, flags)
    with pytest.raises(TypeError, match=r"^in method 'H264Flags_PM_get', argument 1 of type 'ZuGenDCPartH264Fields::H264Flags \*'$"):
        m.H264Flags_PM_get(flags)
    with pytest.raises(TypeError, match=r"^in method 'GenDCInfoTypeSpecificH264_Flags_set', argument 2 of type 'GenDCInfoTypeSpecificH264::H264Flags \*'$"):
        m.GenDCInfoTypeSpecificH264_Flags_set(info, tb.H264Flags())


# ---- Decoded part fields --------------------------------------------------------

PART_FIELDS = [
    ("ZuGenDCPart1DFields", "Size", "uint64_t", U64), ("ZuGenDCPart1DFields", "Padding", "uint16_t", U16),
    ("ZuGenDCPartMetadataFields", "InfoReserved", "uint32_t", U32),
    ("ZuGenDCPart2DFields", "PaddingX", "uint32_t", U32), ("ZuGenDCPartH264Fields", "LevelIDC", "uint8_t", U8),
    ("ZuGenDCPartH264Fields", "SpropMaxDonDiff", "uint16_t", U16),
]


@pytest.mark.parametrize("record, field, type_name, span", PART_FIELDS)
def test_part_field_ranges(record, field, type_name, span):
    fields = getattr(tb, record)()
    setter, getter = getattr(m, f"{record}_{field}_set"), getattr(m, f"{record}_{field}_get")
    setter(fields, span[1])
    assert getter(fields) == span[1]
    for bad, error in ((span[1] + 1, OverflowError), (-1, OverflowError), (1.5, TypeError)):
        with pytest.raises(error, match=rf"^in method '{record}_{field}_set', argument 2 of type '{type_name}'$"):
            setter(fields, bad)
    assert getter(fields) == span[1]
    assert getattr(m, f"{record}_{field}_get").__doc__ is None


def test_h264_fields_share_the_2d_accessors_and_their_flags_are_a_view():
    fields = tb.ZuGenDCPartH264Fields()
    fields.SizeX = 640
    assert m.ZuGenDCPart2DFields_SizeX_get(fields) == 640
    flags = fields.Flags
    assert [flags.CS_set0_flag, flags.PM, flags.RF] == [0, 0, 0]
    flags.PM = 5
    assert fields.Flags.PM == 1
    flags.RF, flags.CS_set0_flag, flags.CS_set3_flag = 255, 1, 1
    assert (fields.Flags.RF, fields.Flags.PM, fields.Flags.CS_set0_flag) == (3, 1, 1)
    flags.CS_set0_flag = 2
    assert fields.Flags.CS_set0_flag == 0
    with pytest.raises(OverflowError, match=r"^in method 'H264Flags_RF_set', argument 2 of type 'uint8_t'$"):
        flags.RF = 256
    assert fields.Flags.RF == 3
    other = tb.H264Flags()
    other.PM = 2
    fields.Flags = other
    other.PM = 3
    assert (fields.Flags.PM, fields.Flags.RF) == (2, 0)
    del fields
    gc.collect()
    assert (flags.PM, flags.RF) == (2, 0)  # the flags view keeps its record alive


@pytest.mark.parametrize("pick", [lambda g: g, lambda g: g[0]], ids=["container", "component"])
def test_iteration_is_refused_rather_than_endless(pick):
    # A miss gives None instead of IndexError, so a for loop would never end.
    with pytest.raises(TypeError, match="not iterable"):
        iter(pick(sample().GetGenDC()))


# ---- The chunk list follows the memory ------------------------------------------

def chunk_ids(chunks):
    return [chunks.GetChunkIDByIndex(i)[1] for i in range(chunks.GetChunkCount())]


def chunk_container(*chunks, size=512):
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeGenDC)
    assert buffer.Alloc(size).IsOK()
    gendc = buffer.GetGenDC()
    assert gendc.AddComponent(tb.ZuComponentMetadata) == 0
    assert gendc[0].AddPart(tb.ZuGenDCPartMetadataGenICamChunk, 0) == 0
    for chunk_id, data in chunks:
        assert gendc[0][0].GetGenDCChunkWriter().AddChunk(chunk_id, data).IsOK()
    return buffer


def test_chunk_list_is_read_again_after_a_new_layout():
    buffer = chunk_container((1, b"aaaa"))
    part = buffer.GetGenDC()[0][0]
    chunks, writer = part.GetGenDCChunkData(), part.GetGenDCChunkWriter()
    assert chunk_ids(chunks) == [1]
    assert writer.AddChunk(2, b"bbbbbbbb").IsOK()
    assert chunk_ids(chunks) == [1, 2]
    assert chunks.GetChunkRawDataByID(2).tobytes() == b"bbbbbbbb" and chunks.GetChunkSizeByIndex(1) == 8
    writer.ResetChunks()
    assert chunks.GetChunkCount() == 0 and not chunks.HasChunks()
    assert chunks.GetChunkRawDataByIndex(0).size == 0


@pytest.mark.parametrize("new_block", [True, False])
def test_chunk_list_follows_a_container_written_in_place(new_block):
    """A receiver writes the next container into the same memory. The last
    chunk is the same in both; the first differs in id (with a new block id)
    or in id and length (same block id: the last trailer's place moves)."""
    first = container_bytes(chunk_container((1, b"aaaa"), (9, b"zzzz")))
    second = container_bytes(chunk_container((2, b"bbbb"), (9, b"zzzz")) if new_block else
                             chunk_container((3, b"cccccccc"), (9, b"zzzz")))
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeGenDC)
    memory = np.zeros(1024, np.uint8)
    memory[:first.size] = first
    assert buffer.Attach(memory).IsOK()
    chunks = buffer.GetGenDC()[0][0].GetGenDCChunkData()
    assert chunk_ids(chunks) == [1, 9]
    memory[:second.size] = second
    if new_block:
        assert first.size == second.size
        buffer.SetBlockID(buffer.GetBlockID() + 1)
        assert chunk_ids(chunks) == [2, 9] and chunks.GetChunkRawDataByID(2).tobytes() == b"bbbb"
    else:
        assert chunk_ids(chunks) == [3, 9] and chunks.GetChunkRawDataByIndex(0).tobytes() == b"cccccccc"
    assert chunks.GetChunkSizeByID(1) == 0


# ---- Views never reach past the memory, whatever the headers claim --------------

CLAIMS = [(w, h, pixel, pad) for w, h in ((4, 3), (5, 3), (4096, 4096), (0xFFFFFFFF, 1), (1, 0xFFFFFFFF))
          for pixel in (tb.ZuPixelMono8, tb.ZuPixelMono16, tb.ZuPixelRGB8, tb.ZuPixelBGRa8, tb.ZuPixelMono12Packed,
                        tb.ZuPixelRGB16, 0x7FFFFFFF)
          for pad in (0, 0xFFFF)]


@pytest.mark.parametrize("data_size", [12, 11, 13, 2 ** 40])
@pytest.mark.parametrize("width, height, pixel, padding", CLAIMS)
def test_part_views_stay_within_the_memory(width, height, pixel, padding, data_size):
    data = container_bytes(sample())
    memory = np.zeros(data.size, np.uint8)  # nothing to spare past the container
    memory[:] = data
    buffer = tb.ZuBuffer(tb.ZuPayloadTypeGenDC)
    assert buffer.Attach(memory).IsOK()
    part = buffer.GetGenDC()[0][0]
    header = part.Get2DHeader()
    header.SizeX, header.SizeY, header.Format, header.PaddingX, header.DataSize = (
        width, height, pixel, padding, data_size)
    # The data sit at the very end: a claim one byte too long reaches past it.
    header.DataOffset = memory.size - min(data_size, 12)
    views = [part.GetDataPointer(), part.GetGenDCImage().GetDataPointer(), buffer.GetDataPointer(),
             buffer.GetGenDC()[1][0].GetGenDCChunkData().GetChunkRawDataByIndex(0)]
    assert all(within(view, memory) for view in views)
    assert views[0].size in (0, min(data_size, 12))
