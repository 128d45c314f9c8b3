#include "gev/gvcp.h"
#include "softdevice/model/message_channel.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tarn;
using namespace tarn::softdevice;

namespace {

struct FakeTransport : EventTransport {
    bool sendAwaitAck(const std::vector<uint8_t> &aPacket, uint32_t aIp, uint16_t aPort, uint16_t aReqId, uint32_t aTimeoutMs) override
    {
        packets.push_back(aPacket);
        ip = aIp;
        port = aPort;
        reqIds.push_back(aReqId);
        timeout = aTimeoutMs;
        return ++attempts > failures;
    }
    std::vector<std::vector<uint8_t>> packets;
    std::vector<uint16_t> reqIds;
    uint32_t ip = 0, timeout = 0;
    uint16_t port = 0;
    unsigned attempts = 0, failures = 0;
};

struct Fixture {
    Statistics stats;
    FakeTransport transport;
    MessageChannel channel{stats, [] { return uint64_t(0x0102030405060708ull); }};
    Fixture()
    {
        channel.setTransport(&transport);
        channel.setSessionOpen(true);
        channel.config().destination = 0x7F000001;
        channel.config().port = 40000;
    }
};

} // namespace

TEST(MessageChannel, ClosedUntilASessionAndADestinationExist)
{
    Fixture f;
    f.channel.setSessionOpen(false);
    EXPECT_FALSE(f.channel.IsOpened());
    EXPECT_EQ(f.channel.FireEvent(0x9000).GetCode(), ZU_STATE_ERROR);
    f.channel.setSessionOpen(true);
    f.channel.config().port = 0;
    EXPECT_FALSE(f.channel.IsOpened());
    EXPECT_EQ(f.channel.FireEvent(0x9000).GetCode(), ZU_STATE_ERROR);
    f.channel.config().port = 40000;
    EXPECT_TRUE(f.channel.IsOpened());
    EXPECT_TRUE(f.transport.packets.empty());
    EXPECT_EQ(f.stats.GetEventsIssued(), 0u);
}

TEST(MessageChannel, EventsCarryTheirIdsBlockChannelAndTime)
{
    Fixture f;
    ASSERT_EQ(f.channel.FireEvent(0x9001, 7, 1).GetCode(), ZU_OK);
    ASSERT_EQ(f.transport.packets.size(), 1u);
    auto cmd = gvcp::decodeCommand(f.transport.packets[0].data(), f.transport.packets[0].size());
    ASSERT_TRUE(cmd);
    auto ev = gvcp::EventCmd::decode(*cmd);
    ASSERT_TRUE(ev);
    ASSERT_EQ(ev->events.size(), 1u);
    EXPECT_EQ(ev->events[0].eventId, 0x9001);
    EXPECT_EQ(ev->events[0].blockId, 7u);
    EXPECT_EQ(ev->events[0].streamChannel, 1);
    EXPECT_EQ(ev->events[0].timestamp, 0x0102030405060708ull);
    EXPECT_EQ(f.transport.ip, 0x7F000001u);
    EXPECT_EQ(f.transport.port, 40000);
    EXPECT_EQ(f.stats.GetEventsIssued(), 1u);
    EXPECT_EQ(f.stats.GetEventDatasIssued(), 0u);
}

TEST(MessageChannel, DataIsCopiedWordsOnlyAndNeverWritten)
{
    Fixture f;
    uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const uint8_t copy[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(f.channel.FireEvent(0x9000, data, 3).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(f.channel.FireEvent(0x9000, nullptr, 4).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(f.channel.FireEvent(0x9000, data, 0).GetCode(), ZU_INVALID_PARAMETER);
    std::vector<uint8_t> big(MessageChannel::kMaxData + 4, 0);
    EXPECT_EQ(f.channel.FireEvent(0x9000, big.data(), uint32_t(big.size())).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(f.transport.packets.empty());
    std::vector<uint8_t> largest(MessageChannel::kMaxData, 0xAB);
    EXPECT_EQ(f.channel.FireEvent(0x9000, largest.data(), uint32_t(largest.size())).GetCode(), ZU_OK);
    EXPECT_LE(f.transport.packets.back().size(), 576u);
    ASSERT_EQ(f.channel.FireEvent(0x9002, data, 8, 5).GetCode(), ZU_OK);
    EXPECT_EQ(std::memcmp(data, copy, 8), 0);
    auto cmd = gvcp::decodeCommand(f.transport.packets.back().data(), f.transport.packets.back().size());
    auto ev = gvcp::EventDataCmd::decode(*cmd);
    ASSERT_TRUE(ev);
    EXPECT_EQ(ev->data, std::vector<uint8_t>(copy, copy + 8));
    EXPECT_EQ(ev->event.blockId, 5u);
    EXPECT_EQ(ev->event.streamChannel, 0xFFFF);
    EXPECT_EQ(f.stats.GetEventDatasIssued(), 2u);
}

TEST(MessageChannel, RetriesUntilAcknowledgedThenGivesUp)
{
    Fixture f;
    f.channel.config().retryCount = 3;
    f.channel.config().timeoutMs = 40;
    f.transport.failures = 2;
    EXPECT_EQ(f.channel.FireEvent(0x9000).GetCode(), ZU_OK);
    EXPECT_EQ(f.transport.packets.size(), 3u);
    // A retry is the same command again, with the same request id.
    EXPECT_EQ(f.transport.packets[0], f.transport.packets[2]);
    EXPECT_EQ(f.transport.timeout, 40u);
    EXPECT_EQ(f.stats.GetEventRetriesIssued(), 2u);
    EXPECT_EQ(f.stats.GetEventRetriesIssuedMax(), 2u);

    f.transport.attempts = 0;
    f.transport.failures = 100;
    f.transport.packets.clear();
    EXPECT_EQ(f.channel.FireEvent(0x9000).GetCode(), ZU_TIMEOUT);
    EXPECT_EQ(f.transport.packets.size(), 4u);
    EXPECT_EQ(f.stats.GetEventRetriesIssued(), 5u);
    EXPECT_EQ(f.stats.GetEventRetriesIssuedMax(), 3u);
    // The next event has a request id of its own.
    EXPECT_NE(f.transport.reqIds.front(), f.transport.reqIds.back());
}
