#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuMultiPartContainer.h"
#include "gvspsend/sender.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace tarn;

TEST(Describe, AnImageCarriesItsChunksAfterItsPixelsWhereverTheyAreKept)
{
    ZuBuffer buffer(ZuPayloadTypeImage);
    ASSERT_TRUE(buffer.GetImage()->Alloc(8, 2, ZuPixelMono8).IsOK());
    for (int i = 0; i < 16; ++i) buffer.GetDataPointer()[i] = uint8_t(i);
    ASSERT_TRUE(buffer.AllocChunk(64).IsOK());
    const uint8_t chunk[4] = {0xA, 0xB, 0xC, 0xD};
    ASSERT_TRUE(buffer.AddChunk(0x1234, chunk, 4).IsOK());
    buffer.SetChunkLayoutID(77);
    gvsp::BlockSource s;
    gvspsend::PartStore parts;
    ASSERT_TRUE(gvspsend::describeBlock(buffer, s, parts));
    EXPECT_EQ(s.leader.payloadType, gvsp::PAYLOAD_IMAGE | gvsp::PAYLOAD_CHUNK_FLAG);
    EXPECT_EQ(s.trailer.chunkPayloadLength, 12u);
    EXPECT_EQ(s.trailer.chunkLayoutId, 77u);
    ASSERT_EQ(s.size, 16u + 12u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(s.data[i], uint8_t(i));
    const uint8_t tail[12] = {0xA, 0xB, 0xC, 0xD, 0, 0, 0x12, 0x34, 0, 0, 0, 4};
    EXPECT_EQ(std::memcmp(s.data + 16, tail, 12), 0);

    // Without chunks the pixels go alone, straight from the buffer.
    ZuBuffer plain(ZuPayloadTypeImage);
    ASSERT_TRUE(plain.GetImage()->Alloc(8, 2, ZuPixelMono8).IsOK());
    ASSERT_TRUE(gvspsend::describeBlock(plain, s, parts));
    EXPECT_EQ(s.leader.payloadType, gvsp::PAYLOAD_IMAGE);
    EXPECT_EQ(s.data, plain.GetImage()->GetDataPointer());
    EXPECT_EQ(s.size, 16u);
}

TEST(Describe, ChunkDataAloneAndRawDataWithChunks)
{
    ZuBuffer chunks(ZuPayloadTypeChunkData);
    ASSERT_TRUE(chunks.AllocChunk(32).IsOK());
    const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(chunks.AddChunk(9, data, 8).IsOK());
    gvsp::BlockSource s;
    gvspsend::PartStore parts;
    ASSERT_TRUE(gvspsend::describeBlock(chunks, s, parts));
    EXPECT_EQ(s.leader.payloadType, gvsp::PAYLOAD_CHUNK);
    EXPECT_EQ(s.size, 16u);
    EXPECT_EQ(s.trailer.chunkPayloadLength, 16u);
    ZuBuffer none(ZuPayloadTypeChunkData);
    EXPECT_FALSE(gvspsend::describeBlock(none, s, parts));

    ZuBuffer raw(ZuPayloadTypeRawData);
    ASSERT_TRUE(raw.Alloc(10).IsOK());
    ASSERT_TRUE(raw.AllocChunk(32).IsOK());
    ASSERT_TRUE(raw.AddChunk(9, data, 8).IsOK());
    ASSERT_TRUE(gvspsend::describeBlock(raw, s, parts));
    EXPECT_EQ(s.leader.payloadType, gvsp::PAYLOAD_RAW | gvsp::PAYLOAD_CHUNK_FLAG);
    EXPECT_EQ(s.size, 26u);
    EXPECT_EQ(s.leader.payloadSize, 26u);
}

TEST(Describe, ALeaderTellsALinesPaddingInBytes)
{
    // The image counts it in pixels: three of RGB8 are nine bytes on the
    // wire; one of Mono12p ends inside a byte, and such an image is not sent.
    ZuBuffer buffer(ZuPayloadTypeImage);
    ASSERT_TRUE(buffer.GetImage()->Alloc(8, 2, ZuPixelRGB8, 3, 0).IsOK());
    gvsp::BlockSource s;
    gvspsend::PartStore parts;
    ASSERT_TRUE(gvspsend::describeBlock(buffer, s, parts));
    EXPECT_EQ(s.leader.image.paddingX, 9u);
    EXPECT_EQ(s.size, (8u + 3u) * 3u * 2u);
    ASSERT_TRUE(buffer.GetImage()->Alloc(8, 2, ZuPixelMono12p, 1, 0).IsOK());
    EXPECT_FALSE(gvspsend::describeBlock(buffer, s, parts));
}

TEST(Describe, AMultiPartBufferListsEachPartWithItsGeometry)
{
    ZuBuffer buffer(ZuPayloadTypeMultiPart);
    IZuMultiPartContainer *container = buffer.GetMultiPartContainer();
    ASSERT_TRUE(container);
    ASSERT_TRUE(container->AddImagePart(ZuMultiPart2DImage, 16, 4, ZuPixelMono8, 2, 3, 5).IsOK());
    ASSERT_TRUE(container->AddImagePart(ZuMultiPartConfidenceMap, 8, 2, ZuPixelMono16, 0, 0, 3).IsOK());
    ASSERT_TRUE(container->SetPartIDs(1, 5, 6, 7).IsOK());
    ASSERT_TRUE(container->AllocAllParts().IsOK());
    gvsp::BlockSource s;
    gvspsend::PartStore parts;
    ASSERT_TRUE(gvspsend::describeBlock(buffer, s, parts));
    EXPECT_EQ(s.leader.payloadType, gvsp::PAYLOAD_MULTIPART);
    ASSERT_EQ(s.leader.partCount, 2u);
    EXPECT_EQ(s.parts[0].dataType, 1);
    EXPECT_EQ(s.parts[0].dataFormat, uint32_t(ZuPixelMono8));
    EXPECT_EQ(s.parts[0].specific[0], 16u);
    EXPECT_EQ(s.parts[0].specific[1], 4u);
    EXPECT_EQ(s.parts[0].specific[2], 2u);
    EXPECT_EQ(s.parts[0].specific[3], 3u);
    EXPECT_EQ(s.parts[0].specific[4], 5u << 16);  // padding x, the word's high half
    EXPECT_EQ(s.parts[0].length, 84u);    // (16 + 5) x 4
    EXPECT_EQ(s.parts[1].dataType, 9);
    EXPECT_EQ(s.parts[1].length, 44u);  // (8 + 3) x 2 x 2
    EXPECT_EQ(s.parts[1].specific[4], 6u << 16);  // three pixels of two bytes
    EXPECT_EQ(s.parts[1].sourceId, 5);
    EXPECT_EQ(s.parts[1].dataPurposeId, 6);
    EXPECT_EQ(s.parts[1].regionId, 7);
    EXPECT_EQ(s.partData[1], container->GetPart(1)->GetDataPointer());
    // The packetizer lays it out: a part starts on a packet of its own.
    gvsp::Packetizer p;
    ASSERT_TRUE(p.Start(s, 1, 576 - 28, false));
    EXPECT_EQ(p.PacketCount(), 4u);
    // On the wire, where a receiver reads them.
    uint8_t packet[576];
    const size_t n = p.Write(0, packet, sizeof packet);
    auto parsed = gvsp::parsePacket(packet, n);
    ASSERT_TRUE(parsed);
    auto leader = gvsp::decodeLeader(*parsed);
    ASSERT_TRUE(leader);
    ASSERT_EQ(leader->partCount, 2u);
    const gvsp::ImageInfo image = leader->Part(0).Image();
    EXPECT_EQ(image.sizeX, 16u);
    EXPECT_EQ(image.offsetY, 3u);
    EXPECT_EQ(image.paddingX, 5u);
    const uint8_t *entry = leader->partTable;
    EXPECT_EQ(std::vector<uint8_t>(entry + 40, entry + 44), std::vector<uint8_t>({0, 5, 0, 0}));
}
