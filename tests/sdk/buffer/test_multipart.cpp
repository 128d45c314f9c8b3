// Part memory of the multi-part container: sections that outlive their parts,
// and memory that outlives its sections while views share it.
#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuChunkData.h"
#include "ZuMultiPartContainer.h"
#include "tarn/BufferBinding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::shared_ptr<void> Counter(int &aReleased)
{
    return std::shared_ptr<void>(new int(0), [&aReleased](void *p) {
        delete static_cast<int *>(p);
        ++aReleased;
    });
}

}

TEST(MultiPart, ReadOnlyFormsShowTheSameObjects)
{
    ZuBuffer buffer(ZuPayloadTypeMultiPart);
    IZuMultiPartContainer *parts = buffer.GetMultiPartContainer();
    ASSERT_TRUE(parts->AddImagePart(ZuMultiPart2DImage, 4, 4, ZuPixelMono8).IsOK());
    ASSERT_TRUE(parts->AllocAllParts().IsOK());
    const IZuMultiPartContainerReader &reader = *parts;
    const IZuMultiPartSection *section = reader.GetPart(0);
    ASSERT_EQ(section, parts->GetPart(0));
    EXPECT_EQ(section->GetImage(), parts->GetPart(0)->GetImage());
    EXPECT_EQ(section->GetDataPointer(), parts->GetPart(0)->GetDataPointer());
    EXPECT_EQ(section->GetJPEG(), nullptr);
    EXPECT_EQ(section->GetChunkData(), nullptr);
}

TEST(MultiPart, SharedPartMemoryOutlivesTheBuffer)
{
    std::shared_ptr<void> share;
    {
        ZuBuffer buffer(ZuPayloadTypeMultiPart);
        IZuMultiPartContainer *parts = buffer.GetMultiPartContainer();
        ASSERT_TRUE(parts->AddChunkPart(32, 0).IsOK());
        ASSERT_TRUE(parts->AllocPart(0).IsOK());
        IZuChunkData *chunks = parts->GetPart(0)->GetChunkData();
        ASSERT_TRUE(chunks->AddChunk(3, reinterpret_cast<const uint8_t *>("abcd"), 4).IsOK());
        share = ZuMultiPartShareMemory(chunks, chunks->GetChunkRawDataByID(3));
        // Other objects and pointers outside the part share nothing.
        EXPECT_FALSE(ZuMultiPartShareMemory(static_cast<IZuChunkData *>(&buffer), chunks->GetChunkRawDataByID(3)));
        EXPECT_FALSE(ZuMultiPartShareMemory(chunks, &buffer));
    }
    ASSERT_TRUE(share);
    EXPECT_EQ(std::memcmp(share.get(), "abcd", 4), 0);  // a use after free without the share
}

TEST(MultiPart, AttachmentOwnerReleasedWhenThePartLetsGo)
{
    std::vector<uint8_t> memory(16);
    int released = 0;
    {
        ZuBuffer buffer(ZuPayloadTypeMultiPart);
        IZuMultiPartContainer *parts = buffer.GetMultiPartContainer();
        ASSERT_TRUE(parts->AddJPEGPart(ZuMultiPartJPEGImage, 16, 0, 0, 0).IsOK());
        ASSERT_TRUE(parts->AttachPart(0, memory.data(), memory.size()).IsOK());
        ZuMultiPartKeepAttachment(parts, memory.data(), Counter(released));
        ZuMultiPartKeepAttachment(parts, memory.data() + 1, Counter(released));  // not an attachment
        EXPECT_EQ(released, 1);
        ASSERT_TRUE(parts->AllocPart(0).IsOK());
        EXPECT_EQ(released, 2);
        ASSERT_TRUE(parts->AttachPart(0, memory.data(), memory.size()).IsOK());
        ZuMultiPartKeepAttachment(parts, memory.data(), Counter(released));
        IZuMultiPartSection *section = parts->GetPart(0);
        buffer.Reset(ZuPayloadTypeImage);
        EXPECT_EQ(released, 3);
        // The section handed out before stays valid and reports no part.
        EXPECT_EQ(section->GetDataType(), ZuMultiPartInvalid);
        EXPECT_EQ(section->GetDataPointer(), nullptr);
        EXPECT_EQ(parts->AttachPart(0, memory.data(), memory.size()).GetCode(), uint32_t(ZU_NOT_SUPPORTED));
    }
}
