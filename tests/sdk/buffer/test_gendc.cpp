// GenDC containers: building, parsing, and reading damaged or cut memory
// without ever reaching outside it (also run under AddressSanitizer).
#include "ZuBuffer.h"
#include "ZuGenDCManager.h"
#include "tarn/BufferBinding.h"
#include "tarn/GenDCCheck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

const uint8_t kChunk[8] = {1, 2, 3, 4, 5, 6, 7, 8};

// A container of two components: an image (2D part, 4 x 3 Mono8) and
// metadata (a chunk part on flow 1, an H.264 part on flow 2).
std::vector<uint8_t> Sample()
{
    ZuGenDCManager manager;
    IZuGenericDataContainer *container = manager.GetGenDC();
    EXPECT_EQ(container->AddComponent(ZuComponentIntensity), 0u);
    EXPECT_EQ(container->AddComponent(ZuComponentMetadata), 1u);
    EXPECT_EQ(container->GetComponent(0)->AddPart(ZuGenDCPart2D, 0), 0u);
    EXPECT_EQ(container->GetComponent(1)->AddPart(ZuGenDCPartMetadataGenICamChunk, 1), 0u);
    EXPECT_EQ(container->GetComponent(1)->AddPart(ZuGenDCPart2DH264, 2), 1u);
    GenDCPartHeader2DBase *image = static_cast<GenDCPartHeader2DBase *>(container->GetComponent(0)->GetPart(0)->GetMutableHeader());
    image->SizeX = 4;
    image->SizeY = 3;
    image->Format = ZuPixelMono8;
    image->DataSize = 12;
    EXPECT_TRUE(container->GetComponent(1)->GetPart(0)->GetGenDCChunkWriter()->AddChunk(0x42, kChunk, 8).IsOK());
    uint64_t size = manager.GetTotalPayloadSize();
    std::memset(container->GetComponent(0)->GetPart(0)->GetDataPointer(), 0xAB, 12);
    return std::vector<uint8_t>(manager.GetPayload(), manager.GetPayload() + size);
}

bool Within(const void *aPointer, uint64_t aBytes, const uint8_t *aData, uint64_t aSize)
{
    const uint8_t *p = static_cast<const uint8_t *>(aPointer);
    return p >= aData && p <= aData + aSize && uint64_t(aData + aSize - p) >= aBytes;
}

void Inside(const void *aPointer, uint64_t aBytes, const uint8_t *aData, uint64_t aSize)
{
    if (aPointer) {
        EXPECT_TRUE(Within(aPointer, aBytes, aData, aSize));
    }
}

// Reads everything a container offers and checks that every pointer it
// hands out lies within the memory, for as many bytes as it claims.
void Walk(IZuGenericDataContainer *aContainer, const uint8_t *aData, uint64_t aSize)
{
    aContainer->IsValid();
    aContainer->GetDataSize();
    Inside(aContainer->GetHeader(), sizeof(GenDCContainerHeader), aData, aSize);
    uint32_t components = aContainer->GetComponentCount();
    for (uint32_t c = 0; c <= components && c < 64; ++c) {
        IZuGenericDataComponent *component = aContainer->GetComponent(c);
        if (!component)
            continue;
        Inside(component->GetHeader(), sizeof(GenDCComponentHeader), aData, aSize);
        component->GetTypeIDEnum();
        component->GetTimestamp();
        uint32_t parts = component->GetPartCount();
        for (uint32_t p = 0; p <= parts && p < 64; ++p) {
            component->GetPartHeaderOffset(p);
            IZuGenericDataPart *part = component->GetPart(p);
            if (!part)
                continue;
            for (uint64_t bytes : {40, 56, 64, 72})
                Inside(ZuGenDCPartHeaderView(part, bytes), bytes, aData, aSize);
            Inside(part->GetDataPointer(), part->GetDataSize(), aData, aSize);
            ZuGenDCPartMetadataFields metadata;
            ZuGenDCPart1DFields one;
            ZuGenDCPart2DFields two;
            ZuGenDCPartH264Fields h264;
            part->GetMetadataSpecificFields(metadata);
            part->Get1DSpecificFields(one);
            part->Get2DSpecificFields(two);
            part->GetH264SpecificFields(h264);
            part->GetHeaderTypeEnum();
            if (IZuGenDCImage *image = part->GetGenDCImage()) {
                Inside(image->GetDataPointer(), image->GetImageSize(), aData, aSize);
                image->GetBitsPerPixel();
                image->GetOffsetX();
            }
            if (IZuGenDCChunkData *chunks = part->GetGenDCChunkData()) {
                for (uint32_t i = 0; i <= chunks->GetChunkCount(); ++i) {
                    uint32_t id = 0;
                    chunks->GetChunkIDByIndex(i, id);
                    Inside(chunks->GetChunkRawDataByIndex(i), chunks->GetChunkSizeByIndex(i), aData, aSize);
                    Inside(chunks->GetChunkRawDataByID(id), chunks->GetChunkSizeByID(id), aData, aSize);
                }
                chunks->GetChunkLayoutID();
            }
        }
    }
}

// A buffer over exactly aSize bytes of a heap block of that size, so that
// AddressSanitizer sees any read past them.
struct Exact
{
    explicit Exact(const uint8_t *aBytes, uint64_t aSize) : memory(new uint8_t[aSize ? aSize : 1]), buffer(ZuPayloadTypeGenDC)
    {
        if (aSize)
            std::memcpy(memory.get(), aBytes, aSize);
        buffer.Attach(memory.get(), uint32_t(aSize));
    }
    std::unique_ptr<uint8_t[]> memory;
    ZuBuffer buffer;
};

}

TEST(GenDCLayout, BuiltContainerParsesBackAsBuilt)
{
    std::vector<uint8_t> bytes = Sample();
    ASSERT_TRUE(ZuGenDCValidate(bytes.data(), bytes.size()).IsOK());
    Exact exact(bytes.data(), bytes.size());
    IZuGenericDataContainer *container = exact.buffer.GetGenDC();
    ASSERT_TRUE(container && container->IsValid());
    ASSERT_EQ(container->GetComponentCount(), 2u);
    IZuGenericDataComponent *image = container->GetComponent(0);
    EXPECT_EQ(image->GetTypeIDEnum(), ZuComponentIntensity);
    ASSERT_EQ(image->GetPartCount(), 1u);
    IZuGenDCImage *view = image->GetPart(0)->GetGenDCImage();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->GetWidth(), 4u);
    EXPECT_EQ(view->GetHeight(), 3u);
    EXPECT_EQ(view->GetPixelType(), ZuPixelMono8);
    EXPECT_EQ(view->GetImageSize(), 12u);
    EXPECT_EQ(view->GetDataPointer()[11], 0xAB);
    IZuGenericDataComponent *metadata = container->GetComponent(1);
    EXPECT_EQ(metadata->GetTypeIDEnum(), ZuComponentMetadata);
    IZuGenDCChunkData *chunks = metadata->GetPart(0)->GetGenDCChunkData();
    ASSERT_TRUE(chunks);
    EXPECT_EQ(chunks->GetChunkCount(), 1u);
    EXPECT_EQ(chunks->GetChunkSizeByID(0x42), 8u);
    EXPECT_EQ(std::memcmp(chunks->GetChunkRawDataByID(0x42), kChunk, 8), 0);
    EXPECT_EQ(metadata->GetPart(1)->GetHeaderType(), TypeH264);
    EXPECT_EQ(metadata->GetPart(1)->GetFlowID(), 2u);
    // Data follow the descriptor and the flow table, part after part.
    EXPECT_GE(container->GetHeader()->DataOffset, int64_t(container->GetDescriptorSize() + sizeof(GenDCFlowTable)));
    EXPECT_EQ(container->GetDataSize(), 12u + 16u);
}

TEST(GenDCLayout, EveryTruncationFailsAndReadsNothingOutside)
{
    std::vector<uint8_t> bytes = Sample();
    for (uint64_t size = 1; size < bytes.size(); ++size) {
        EXPECT_FALSE(ZuGenDCValidate(bytes.data(), size).IsOK()) << size;
        Exact exact(bytes.data(), size);
        Walk(exact.buffer.GetGenDC(), exact.memory.get(), size);
    }
    EXPECT_EQ(ZuGenDCValidate(nullptr, 0).GetCode(), uint32_t(ZU_BUFFER_TOO_SMALL));
}

TEST(GenDCLayout, RandomDamageReadsNothingOutside)
{
    std::vector<uint8_t> sample = Sample();
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = sample;
        int changes = 1 + int(random() % 8);
        for (int i = 0; i < changes; ++i)
            bytes[random() % bytes.size()] = uint8_t(random());
        uint64_t size = round % 3 ? bytes.size() : 1 + random() % bytes.size();
        Exact exact(bytes.data(), size);
        Walk(exact.buffer.GetGenDC(), exact.memory.get(), size);
    }
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bytes(1 + random() % 512);
        for (uint8_t &b : bytes)
            b = uint8_t(random());
        std::memcpy(bytes.data(), sample.data(), std::min<size_t>(bytes.size(), 16));
        Exact exact(bytes.data(), bytes.size());
        Walk(exact.buffer.GetGenDC(), exact.memory.get(), bytes.size());
    }
}

TEST(GenDCLayout, FaultsAreNamed)
{
    std::vector<uint8_t> bytes = Sample();
    struct Case
    {
        uint64_t offset;
        uint8_t value;
        uint32_t code;
        const char *text;
    };
    GenDCContainerHeader header;
    std::memcpy(&header, bytes.data(), sizeof header);
    const Case cases[] = {
        {0, 'X', ZU_INVALID_DATA_FORMAT, "no GenDC signature"},
        {4, 2, ZU_BAD_VERSION, "GenDC major version 2 is not supported"},
        {9, 0x20, ZU_INVALID_DATA_FORMAT, "the first header is not a container header"},
        {uint64_t(header.ComponentOffsets[0]), 0x70, ZU_INVALID_DATA_FORMAT, "the header of component 0 is not a component header"},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> damaged = bytes;
        damaged[c.offset] = c.value;
        ZuResult result = ZuGenDCValidate(damaged.data(), damaged.size());
        EXPECT_EQ(result.GetCode(), c.code);
        EXPECT_STREQ(result.GetDescription().GetAscii(), c.text);
    }
}

namespace {

// aComponents components sharing one header, whose aParts parts share one
// 1D part header: offsets, almost nothing else.
std::vector<uint8_t> SharedHeaders(uint32_t aComponents, uint32_t aParts)
{
    const uint64_t component = (sizeof(GenDCContainerHeaderBase) + 8 * uint64_t(aComponents) + 7) / 8 * 8;
    const uint64_t part = component + sizeof(GenDCComponentHeaderBase) + 8 * uint64_t(aParts);
    const uint64_t size = part + sizeof(GenDCPartHeader1DBase);
    std::vector<uint8_t> bytes(size, 0);
    GenDCContainerHeaderBase header = {};
    header.Signature = Signature_GNDC;
    header.VersionMajor = VersionMajorCurrent;
    header.HeaderType = TypeContainer;
    header.HeaderSize = GenDCHeaderSize(sizeof header + 8 * uint64_t(aComponents));
    header.DescriptorSize = GenDCDescriptorSize(size);
    header.DataOffset = GenDCOffset(size);
    header.ComponentCount = aComponents;
    std::memcpy(bytes.data(), &header, sizeof header);
    for (uint32_t c = 0; c < aComponents; ++c)
        std::memcpy(&bytes[sizeof header + 8 * size_t(c)], &component, 8);
    GenDCComponentHeaderBase shared = {};
    shared.HeaderType = TypeComponent;
    shared.HeaderSize = GenDCHeaderSize(sizeof shared + 8 * uint64_t(aParts));
    shared.PartCount = GenDCPartCount(aParts);
    std::memcpy(&bytes[component], &shared, sizeof shared);
    for (uint32_t p = 0; p < aParts; ++p)
        std::memcpy(&bytes[component + sizeof shared + 8 * size_t(p)], &part, 8);
    GenDCPartHeaderBase one = {};
    one.HeaderType = Type1D;
    one.HeaderSize = sizeof(GenDCPartHeader1DBase);
    std::memcpy(&bytes[part], &one, sizeof one);
    return bytes;
}

}

// Every component's parts were checked again however many components
// shared them: 480 KB of offsets took half a minute.
TEST(GenDCLayout, SharedHeadersAreCheckedOnce)
{
    std::vector<uint8_t> bytes = SharedHeaders(30000, 30000);
    ASSERT_LT(bytes.size(), 500000u);
    Exact exact(bytes.data(), bytes.size());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(exact.buffer.GetGenDC()->IsValid());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    // A fault in what they share is still found, and named by the first
    // component that reaches it.
    bytes[bytes.size() - sizeof(GenDCPartHeader1DBase) + 4] = 0xFF; // the part's header size
    ZuResult result = ZuGenDCValidate(bytes.data(), bytes.size());
    EXPECT_STREQ(result.GetDescription().GetAscii(), "the header size of part 0 of component 0 does not fit its type");
}

TEST(GenDCLayout, MisalignedHeadersAreNotHandedOut)
{
    std::vector<uint8_t> bytes = Sample();
    std::vector<uint8_t> shifted(bytes.size() + 1);
    std::memcpy(shifted.data() + 1, bytes.data(), bytes.size());
    ZuBuffer buffer(ZuPayloadTypeGenDC);
    buffer.Attach(shifted.data() + 1, uint32_t(bytes.size()));
    IZuGenericDataContainer *container = buffer.GetGenDC();
    EXPECT_TRUE(container->IsValid());
    EXPECT_EQ(container->GetHeader(), nullptr);
    EXPECT_EQ(container->GetComponent(0)->GetHeader(), nullptr);
    EXPECT_EQ(container->GetComponent(0)->GetPart(0)->GetHeader(), nullptr);
    EXPECT_EQ(container->GetComponent(0)->GetPart(0)->GetGenDCImage()->GetWidth(), 4u);
}

TEST(GenDCBuild, RefusalsLeaveTheContainerAsItWas)
{
    ZuBuffer buffer(ZuPayloadTypeGenDC);
    ASSERT_TRUE(buffer.Alloc(300).IsOK());
    IZuGenericDataContainer *container = buffer.GetGenDC();
    EXPECT_EQ(container->AddComponent(ZuComponentType(77)), uint32_t(GenDCInvalidComponentIndex));
    ASSERT_EQ(container->AddComponent(ZuComponentCustom), 0u);
    EXPECT_EQ(container->GetComponent(0)->GetTypeID(), uint64_t(GDC_CUSTOM_COMPONENT));
    IZuGenericDataComponent *component = container->GetComponent(0);
    EXPECT_EQ(component->AddPart(ZuGenDCPartUnknown, 0), uint32_t(GenDCInvalidPartIndex));
    EXPECT_EQ(component->AddPart(ZuGenDCPart1D, 65536), uint32_t(GenDCInvalidPartIndex));
    ASSERT_EQ(component->AddPart(ZuGenDCPartMetadataGenICamChunk, 0), 0u);
    IZuGenDCChunkWriter *writer = component->GetPart(0)->GetGenDCChunkWriter();
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->AddChunk(1, kChunk, 3).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(writer->AddChunk(1, nullptr, 4).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    std::vector<uint8_t> large(400);
    EXPECT_EQ(writer->AddChunk(1, large.data(), 400).GetCode(), uint32_t(ZU_BUFFER_TOO_SMALL));
    EXPECT_TRUE(writer->AddChunk(1, kChunk, 4).IsOK());
    EXPECT_TRUE(container->IsValid());
    EXPECT_EQ(component->GetPart(0)->GetGenDCChunkData()->GetChunkCount(), 1u);
    writer->ResetChunks();
    EXPECT_EQ(component->GetPart(0)->GetDataSize(), 0u);
    EXPECT_FALSE(component->GetPart(0)->GetGenDCChunkData()->HasChunks());
}

TEST(GenDCBuild, PartKindsAndCodes)
{
    ZuGenDCManager manager;
    IZuGenericDataContainer *container = manager.GetGenDC();
    container->AddComponent(ZuComponentIntensity);
    IZuGenericDataComponent *component = container->GetComponent(0);
    const struct
    {
        ZuGenDCPartType kind;
        uint16_t code;
        uint32_t headerSize;
    } kinds[] = {
        {ZuGenDCPartMetadataGenICamXML, TypeMetadataGenICamXML, 64}, {ZuGenDCPart1D, Type1D, 64},
        {ZuGenDCPart2DJpeg, TypeJPEG, 56}, {ZuGenDCPart2DH264, TypeH264, 72},
        {ZuGenDCPartMetadataCustom, TypeMetadataCustom, 64}, {ZuGenDCPart1DCustom, Type1DCustom, 64},
        {ZuGenDCPart2DCustom, Type2DCustom, 56}, {ZuGenDCPartCustom, TypeCustomPart, 40},
    };
    for (const auto &k : kinds) {
        uint32_t index = component->AddPart(k.kind, 0);
        IZuGenericDataPart *part = component->GetPart(index);
        ASSERT_TRUE(part);
        EXPECT_EQ(part->GetHeaderType(), k.code);
        EXPECT_EQ(part->GetHeaderTypeEnum(), k.kind);
        EXPECT_EQ(part->GetHeaderSize(), k.headerSize);
    }
    EXPECT_TRUE(container->IsValid());
    manager.ResetContainer();
    EXPECT_EQ(container->GetComponentCount(), 0u);
    EXPECT_FALSE(container->IsValid());
    EXPECT_EQ(component->GetPartCount(), 0u);
    EXPECT_EQ(component->GetPart(0), nullptr);
}

TEST(GenDCBuild, AttachedBuffersCarryContainersOfTheirOwnLaidOutAsTheManagers)
{
    ZuGenDCManager manager;
    ZuBuffer image;
    EXPECT_EQ(image.AttachGenDCManager(manager).GetCode(), ZU_INVALID_PARAMETER);
    IZuGenericDataContainer *layout = manager.GetGenDC();
    layout->AddComponent(ZuComponentIntensity);
    layout->GetComponent(0)->AddPart(ZuGenDCPart1D, 0);
    layout->GetComponent(0)->GetPart(0)->GetMutableHeader()->DataSize = 24;
    const uint64_t total = manager.GetTotalPayloadSize();

    ZuBuffer first(ZuPayloadTypeGenDC), second(ZuPayloadTypeGenDC);
    IZuGenericDataContainer *own = first.GetGenDC();
    ASSERT_TRUE(first.AttachGenDCManager(manager).IsOK());
    ASSERT_TRUE(second.AttachGenDCManager(manager).IsOK());
    EXPECT_EQ(first.GetSize(), total);
    EXPECT_EQ(first.GetGenDC(), own);
    ASSERT_TRUE(first.GetGenDC()->IsValid());
    ASSERT_EQ(first.GetGenDC()->GetComponentCount(), 1u);
    IZuGenericDataPart *a = first.GetGenDC()->GetComponent(0)->GetPart(0);
    IZuGenericDataPart *b = second.GetGenDC()->GetComponent(0)->GetPart(0);
    ASSERT_EQ(a->GetDataSize(), 24u);
    std::memset(a->GetDataPointer(), 0x5A, 24);
    std::memset(b->GetDataPointer(), 0xA5, 24);
    EXPECT_EQ(a->GetDataPointer()[23], 0x5A);
    EXPECT_NE(a->GetDataPointer(), b->GetDataPointer());
    first.Reset(ZuPayloadTypeImage);
    EXPECT_EQ(first.GetGenDC(), nullptr);
}

TEST(GenDCBuild, EarlierLayoutStaysReadableWhileShared)
{
    ZuGenDCManager manager;
    IZuGenericDataContainer *container = manager.GetGenDC();
    container->AddComponent(ZuComponentRange);
    GenDCContainerHeader *before = container->GetMutableHeader();
    std::shared_ptr<void> share = ZuGenDCShareMemory(container, before);
    ASSERT_TRUE(share);
    container->AddComponent(ZuComponentRange);
    EXPECT_NE(container->GetMutableHeader(), before);
    EXPECT_EQ(before->ComponentCount, 1u);
    EXPECT_EQ(container->GetHeader()->ComponentCount, 2u);
}

TEST(GenDCBuild, ClaimsBeyondTheMemoryAreRefusedBeforeAllocating)
{
    std::vector<uint8_t> bytes = Sample();
    bytes.resize(bytes.size() + 64);
    ZuBuffer buffer(ZuPayloadTypeGenDC);
    buffer.Attach(bytes.data(), uint32_t(bytes.size()));
    IZuGenericDataContainer *container = buffer.GetGenDC();
    container->GetComponent(0)->GetPart(0)->GetMutableHeader()->DataSize = uint64_t(3) << 30;
    EXPECT_EQ(container->GetComponent(1)->AddPart(ZuGenDCPart1D, 0), uint32_t(GenDCInvalidPartIndex));
    EXPECT_EQ(container->GetComponent(1)->GetPartCount(), 2u);

    ZuGenDCManager manager;
    manager.GetGenDC()->AddComponent(ZuComponentRange);
    manager.GetGenDC()->GetComponent(0)->AddPart(ZuGenDCPart1D, 0);
    manager.GetGenDC()->GetComponent(0)->GetPart(0)->GetMutableHeader()->DataSize = uint64_t(1) << 40;
    EXPECT_EQ(manager.GetTotalPayloadSize(), 0u);
}
