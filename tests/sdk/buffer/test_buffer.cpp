// Memory ownership and chunk layout of the buffer library.
#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuRawData.h"
#include "ZuPixelTypeInfo.h"
#include "tarn/BufferBinding.h"
#include "BufferImpl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Counts releases of what keeps attached memory alive.
std::shared_ptr<void> Counter(int &aReleased)
{
    return std::shared_ptr<void>(new int(0), [&aReleased](void *p) {
        delete static_cast<int *>(p);
        ++aReleased;
    });
}

}

TEST(BufferMemory, AttachmentOwnerOutlivesDetachWhileShared)
{
    std::vector<uint8_t> memory(64, 1);
    int released = 0;
    ZuBuffer buffer;
    ASSERT_TRUE(buffer.Attach(memory.data(), 64).IsOK());
    tarn::BufferBinding::KeepAttachment(buffer, memory.data(), Counter(released));
    tarn::BufferBinding::Block share = tarn::BufferBinding::ShareMemory(buffer, memory.data() + 10);
    ASSERT_EQ(share.get(), memory.data());
    EXPECT_EQ(buffer.Detach(), memory.data());
    EXPECT_EQ(released, 0);
    share.reset();
    EXPECT_EQ(released, 1);
}

TEST(BufferMemory, AttachmentOwnerReleasedByFreeResetAndDestruction)
{
    std::vector<uint8_t> memory(64);
    int released = 0;
    {
        ZuBuffer buffer;
        buffer.Attach(memory.data(), 64);
        tarn::BufferBinding::KeepAttachment(buffer, memory.data(), Counter(released));
        buffer.Free();
        EXPECT_EQ(released, 1);
        buffer.Attach(memory.data(), 64);
        tarn::BufferBinding::KeepAttachment(buffer, memory.data(), Counter(released));
        buffer.Reset(ZuPayloadTypeRawData);
        EXPECT_EQ(released, 2);
        buffer.Attach(memory.data(), 64);
        tarn::BufferBinding::KeepAttachment(buffer, memory.data(), Counter(released));
        // Another pointer is not the attachment: nothing is kept for it.
        tarn::BufferBinding::KeepAttachment(buffer, memory.data() + 1, Counter(released));
        EXPECT_EQ(released, 3);
    }
    EXPECT_EQ(released, 4);
}

TEST(BufferMemory, AllocatedBlockOutlivesTheBufferWhileShared)
{
    tarn::BufferBinding::Block share;
    {
        ZuBuffer buffer;
        ASSERT_TRUE(buffer.Alloc(32).IsOK());
        share = tarn::BufferBinding::ShareMemory(buffer, buffer.GetDataPointer());
    }
    std::memset(share.get(), 0xAB, 32);  // would be a use after free without the share
    EXPECT_EQ(share.get()[31], 0xAB);
}

TEST(BufferMemory, AttachLimitRefusesLargerImages)
{
    std::vector<uint8_t> memory(100);
    ZuBuffer buffer;
    tarn::BufferBinding::LimitNextAttach(buffer, memory.size());
    EXPECT_EQ(buffer.GetImage()->Attach(memory.data(), 10, 10, ZuPixelRGB8).GetCode(), uint32_t(ZU_BUFFER_TOO_SMALL));
    EXPECT_FALSE(buffer.IsAttached());
    tarn::BufferBinding::LimitNextAttach(buffer, memory.size());
    EXPECT_TRUE(buffer.GetImage()->Attach(memory.data(), 10, 10, ZuPixelMono8).IsOK());
}

TEST(ImageSize, PaddingCountsPixelsAndLines)
{
    EXPECT_EQ(tarn::ComputeImageSize(640, 480, ZuPixelMono8, 2, 1), 642u * 481u);
    EXPECT_EQ(tarn::ComputeImageSize(640, 480, ZuPixelRGB16, 0, 0), 640u * 480u * 6u);
    EXPECT_EQ(tarn::ComputeImageSize(3, 1, ZuPixelMono12Packed, 0, 0), 5u);
    EXPECT_EQ(tarn::ComputeImageSize(UINT32_MAX, UINT32_MAX, ZuPixelCoord3D_ABC32f, 65535, 65535),
              UINT64_MAX);
    ZuBuffer buffer;
    EXPECT_EQ(buffer.GetImage()->Alloc(70000, 70000, ZuPixelMono8).GetCode(), uint32_t(ZU_ERR_OVERFLOW));
    EXPECT_EQ(buffer.GetImage()->Alloc(4, 4, ZuPixelUndefined).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
}

TEST(Chunks, LayoutRoundTripAndCorruption)
{
    ZuBuffer writer(ZuPayloadTypeChunkData);
    ASSERT_TRUE(writer.GetChunkData()->Alloc(64).IsOK());
    const uint8_t data[] = {1, 2, 3};
    ASSERT_TRUE(writer.AddChunk(0xA1B2C3D4, data, 3).IsOK());
    ASSERT_TRUE(writer.AddChunk(2, nullptr, 0).IsOK());
    const uint8_t trailer[] = {0xA1, 0xB2, 0xC3, 0xD4, 0, 0, 0, 3};
    EXPECT_EQ(std::memcmp(writer.GetDataPointer() + 3, trailer, 8), 0);

    std::vector<uint8_t> copy(writer.GetDataPointer(), writer.GetDataPointer() + writer.GetChunkDataSize());
    ZuBuffer reader(ZuPayloadTypeChunkData);
    ASSERT_TRUE(reader.GetChunkData()->Attach(copy.data(), uint32_t(copy.size())).IsOK());
    uint32_t id = 0;
    ASSERT_TRUE(reader.GetChunkIDByIndex(0, id).IsOK());
    EXPECT_EQ(id, 0xA1B2C3D4u);
    EXPECT_EQ(reader.GetChunkSizeByID(0xA1B2C3D4), 3u);
    EXPECT_EQ(reader.GetChunkRawDataByID(0xA1B2C3D4), copy.data());
    EXPECT_EQ(reader.GetChunkSizeByIndex(1), 0u);
    EXPECT_EQ(reader.GetChunkRawDataByIndex(2), nullptr);

    copy[copy.size() - 1] = 200;  // the last chunk now claims more data than there is
    EXPECT_EQ(reader.GetChunkData()->Attach(copy.data(), uint32_t(copy.size())).GetCode(),
              uint32_t(ZU_INVALID_DATA_FORMAT));
    EXPECT_EQ(reader.GetChunkCount(), 0u);
}

TEST(PixelTypes, FieldsOfTheCode)
{
    EXPECT_EQ(ZuPixelTypeGetBitsPerPixel(ZuPixelBGRa8), 32u);
    EXPECT_EQ(ZuPixelTypeGetBitsPerComponent(ZuPixelBGRa8), 8u);
    EXPECT_EQ(ZuPixelTypeGetBitsPerComponent(ZuPixelCoord3D_AC16), 16u);
    EXPECT_TRUE(ZuPixelTypeIsPixelColor(ZuPixelBiColorRGBG8));
    EXPECT_FALSE(ZuPixelTypeIsPixelColor(ZuPixelBayerRG12p));
    EXPECT_EQ(std::string(ZuPixelTypeToString(ZuPixelBayerBG10p).GetAscii()), "BayerBG10p");
    EXPECT_EQ(std::string(ZuPixelTypeToString(ZuPixelRGB10p).GetAscii()), "RGB10p");
    EXPECT_EQ(ZuPixelTypeToString(ZuPixelType(0x7FFF)).GetLength(), 0u);
}
