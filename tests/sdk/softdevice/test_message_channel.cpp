#include "fakes.h"
#include "softdevice/model/message_channel.h"
#include "softdevice/model/statistics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace tarn;
using namespace tarn::softdevice;
using tarn::test::FakeLink;

TEST(MessageChannel, ClosedWithoutAServerOrADestination)
{
    MessageChannel channel;
    EXPECT_FALSE(channel.IsOpened());
    EXPECT_EQ(channel.FireEvent(0x9000).GetCode(), ZU_STATE_ERROR);
    FakeLink link;
    channel.SetLink(&link);
    EXPECT_FALSE(channel.IsOpened());
    EXPECT_EQ(channel.FireEvent(0x9000).GetCode(), ZU_STATE_ERROR);
    link.open = true;
    EXPECT_TRUE(channel.IsOpened());
    EXPECT_EQ(channel.FireEvent(0x9000, 7, 1).GetCode(), ZU_OK);
    ASSERT_EQ(link.events.size(), 1u);
    EXPECT_EQ(link.events[0].id, 0x9000);
    EXPECT_EQ(link.events[0].block, 7u);
    EXPECT_EQ(link.events[0].channel, 1);
    EXPECT_TRUE(link.events[0].data.empty());
}

TEST(MessageChannel, DataIsWholeWordsWithinOneDatagramAndNeverWritten)
{
    MessageChannel channel;
    FakeLink link;
    link.open = true;
    channel.SetLink(&link);
    uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const uint8_t copy[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(channel.FireEvent(0x9000, data, 3).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(channel.FireEvent(0x9000, nullptr, 4).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(channel.FireEvent(0x9000, data, 0).GetCode(), ZU_INVALID_PARAMETER);
    std::vector<uint8_t> big(MessageChannel::kMaxData + 4, 0);
    EXPECT_EQ(channel.FireEvent(0x9000, big.data(), uint32_t(big.size())).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(link.events.empty());
    std::vector<uint8_t> largest(MessageChannel::kMaxData, 0xAB);
    EXPECT_EQ(channel.FireEvent(0x9000, largest.data(), uint32_t(largest.size())).GetCode(), ZU_OK);
    ASSERT_EQ(channel.FireEvent(0x9002, data, 8, 5).GetCode(), ZU_OK);
    EXPECT_EQ(std::memcmp(data, copy, 8), 0);
    EXPECT_EQ(link.events.back().data, std::vector<uint8_t>(copy, copy + 8));
    EXPECT_EQ(link.events.back().block, 5u);
    EXPECT_EQ(link.events.back().channel, 0xFFFF);
    // The data form with a closed channel is a state error, not a bad parameter.
    link.open = false;
    EXPECT_EQ(channel.FireEvent(0x9000, data, 4).GetCode(), ZU_STATE_ERROR);
}

TEST(Statistics, ReadsTheServersCountersEachByItsOwnGetter)
{
    Statistics stats;
    EXPECT_EQ(stats.GetSessionsOpened(), 0u);
    FakeLink link;
    for (int i = 0; i < Statistics::kCount; ++i) link.counts[i] = uint64_t(100 + i);
    link.counts[Statistics::TestPackets] = (uint64_t(1) << 63) + 5;
    stats.SetSource([&](uint64_t(&c)[Statistics::kCount]) { link.ReadStatistics(c); }, [&] { link.ResetStatistics(); });
    using G = uint64_t (Statistics::*)() const;
    // A vector: GCC's bounds check misreads an array of member pointers.
    const std::vector<G> getters = {
        &Statistics::GetReadMemsReceived, &Statistics::GetWriteMemsReceived, &Statistics::GetReadRegsReceived,
        &Statistics::GetWriteRegsReceived, &Statistics::GetDiscoveriesReceived, &Statistics::GetActionCommandsReceived,
        &Statistics::GetForceIpsReceived, &Statistics::GetPacketResendRequestsReceived, &Statistics::GetPendingAcksIssued,
        &Statistics::GetRetriesReceived, &Statistics::GetRetriesReceivedMax, &Statistics::GetEventsIssued,
        &Statistics::GetEventDatasIssued, &Statistics::GetEventRetriesIssued, &Statistics::GetEventRetriesIssuedMax,
        &Statistics::GetSessionsOpened, &Statistics::GetSessionsClosed, &Statistics::GetHeartbeatFailedCount,
        &Statistics::GetGVSPTestPacketsIssued};
    ASSERT_EQ(getters.size(), size_t(Statistics::kCount));
    for (size_t i = 0; i + 1 < getters.size(); ++i) EXPECT_EQ((stats.*getters[i])(), uint64_t(100 + i)) << i;
    EXPECT_EQ(stats.GetGVSPTestPacketsIssued(), (uint64_t(1) << 63) + 5);
    stats.Reset();
    for (const G g : getters) EXPECT_EQ((stats.*g)(), 0u);
}
