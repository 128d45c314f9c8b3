// What a receiver writes into a buffer reaches the getters it belongs to.
#include "ZuBuffer.h"
#include "ZuImage.h"
#include "tarn/BufferFill.h"

#include <gtest/gtest.h>

TEST(BufferFill, EachFieldReachesItsOwnGetter)
{
    ZuBuffer buffer;
    tarn::BufferFill &fill = tarn::FillOf(buffer);
    // Distinct values, so a getter reading a neighbouring field shows.
    fill.statistics = tarn::PacketStatistics{1, 2, 3, 4, 5, 6, 7, 8};
    fill.leader.blockID = 0x1122334455ull;
    fill.leader.timestamp = 99;
    fill.leader.extendedID = true;
    fill.leader.largeLeaderTrailer = true;
    fill.trailer.valid = true;
    fill.acquiredSize = 4096;
    fill.receptionTime = 77;
    fill.duration = 66;
    fill.operationResult = ZuResult(ZU_TIMEOUT);
    fill.image.dropped = true;
    fill.image.interlacedOdd = true;

    EXPECT_EQ(buffer.GetPacketsRecoveredCount(), 1u);
    EXPECT_EQ(buffer.GetPacketsRecoveredSingleResendCount(), 2u);
    EXPECT_EQ(buffer.GetResendGroupRequestedCount(), 3u);
    EXPECT_EQ(buffer.GetResendPacketRequestedCount(), 4u);
    EXPECT_EQ(buffer.GetLostPacketCount(), 5u);
    EXPECT_EQ(buffer.GetIgnoredPacketCount(), 6u);
    EXPECT_EQ(buffer.GetRedundantPacketCount(), 7u);
    EXPECT_EQ(buffer.GetPacketOutOfOrderCount(), 8u);
    EXPECT_EQ(buffer.GetBlockID(), 0x1122334455ull);
    EXPECT_EQ(buffer.GetTimestamp(), 99u);
    EXPECT_TRUE(buffer.IsExtendedID());
    EXPECT_TRUE(buffer.IsLargeLeaderTrailerEnabled());
    EXPECT_FALSE(buffer.IsHeaderValid());
    EXPECT_TRUE(buffer.IsTrailerValid());
    EXPECT_EQ(buffer.GetAcquiredSize(), 4096u);
    EXPECT_EQ(buffer.GetReceptionTime(), 77u);
    EXPECT_EQ(buffer.GetDuration(), 66u);
    EXPECT_EQ(buffer.GetOperationResult().GetCode(), uint32_t(ZU_TIMEOUT));
    const ZuImage *image = buffer.GetImage();
    EXPECT_TRUE(image->IsImageDropped());
    EXPECT_TRUE(image->IsInterlacedOdd());
    EXPECT_FALSE(image->IsInterlacedEven());
    EXPECT_FALSE(image->IsDataOverrun());
    EXPECT_FALSE(image->IsPartialLineMissing());
    EXPECT_EQ(image->GetBlockID(), 0x1122334455ull);

    // The public setters write the same fill a receiver reads.
    buffer.SetBlockID(5);
    buffer.SetTimestamp(6);
    EXPECT_EQ(tarn::FillOf(static_cast<const ZuBuffer &>(buffer)).leader.blockID, 5u);
    EXPECT_EQ(fill.leader.timestamp, 6u);
}

TEST(BufferFill, MissingRangesInOrderAndRefusedPastTheEnd)
{
    ZuBuffer buffer;
    tarn::FillOf(buffer).missing = {{3, 5}, {9, 9}};
    uint32_t count = 0;
    ASSERT_TRUE(buffer.GetMissingPacketIdsCount(count).IsOK());
    EXPECT_EQ(count, 2u);
    uint32_t low = 0, high = 0;
    ASSERT_TRUE(buffer.GetMissingPacketIds(0, low, high).IsOK());
    EXPECT_EQ(low, 3u);
    EXPECT_EQ(high, 5u);
    ASSERT_TRUE(buffer.GetMissingPacketIds(1, low, high).IsOK());
    EXPECT_EQ(low, 9u);
    EXPECT_EQ(high, 9u);
    low = high = 42;
    EXPECT_EQ(buffer.GetMissingPacketIds(2, low, high).GetCode(), uint32_t(ZU_NOT_FOUND));
    EXPECT_EQ(low, 42u);
    EXPECT_EQ(high, 42u);
}

TEST(BufferFill, ResetStartsANewFillAndKeepsTheRangeMemory)
{
    ZuBuffer buffer;
    buffer.SetID(12);
    tarn::BufferFill &fill = tarn::FillOf(buffer);
    fill.statistics.lost = 4;
    fill.leader.valid = true;
    fill.operationResult = ZuResult(ZU_TIMEOUT);
    fill.missing.assign(64, tarn::MissingPacketRange{1, 2});
    const tarn::MissingPacketRange *memory = fill.missing.data();
    ASSERT_TRUE(buffer.Reset(ZuPayloadTypeRawData).IsOK());
    EXPECT_EQ(buffer.GetID(), 0u);
    EXPECT_EQ(buffer.GetLostPacketCount(), 0u);
    EXPECT_FALSE(buffer.IsHeaderValid());
    EXPECT_TRUE(buffer.GetOperationResult().IsOK());
    uint32_t count = 1;
    buffer.GetMissingPacketIdsCount(count);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(fill.missing.data(), memory);
    EXPECT_GE(fill.missing.capacity(), 64u);
}
