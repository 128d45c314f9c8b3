#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuMultiPartContainer.h"
#include "ZuResultCodes.h"
#include "ZuTransmitterGEV.h"
#include "receiver.h"
#include "tarn/Transmitter.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace tarn;
using tarn::testing::Datagrams;
using tarn::testing::headerOf;

namespace {

std::unique_ptr<ZuBuffer> rawBuffer(size_t aSize, uint8_t aSeed)
{
    auto buffer = std::make_unique<ZuBuffer>(ZuPayloadTypeRawData);
    EXPECT_TRUE(buffer->Alloc(uint32_t(aSize)).IsOK());
    for (size_t i = 0; i < aSize; ++i) buffer->GetDataPointer()[i] = uint8_t(i * 7 + aSeed);
    return buffer;
}

// The data bytes of one block's packets, in packet id order.
std::vector<uint8_t> dataOf(const std::vector<std::vector<uint8_t>> &aPackets)
{
    std::vector<uint8_t> data;
    for (const auto &p : aPackets) {
        auto parsed = gvsp::parsePacket(p.data(), p.size());
        if (parsed && parsed->header.format == gvsp::FORMAT_PAYLOAD)
            data.insert(data.end(), parsed->body, parsed->body + parsed->bodySize);
    }
    return data;
}

struct Opened {
    Datagrams receiver;
    ZuTransmitterGEV transmitter;
    explicit Opened(uint32_t aHistory = 32, bool aExtended = false)
    {
        EXPECT_TRUE(transmitter.Open(ZuString("127.0.0.1"), receiver.Port(), ZuString("127.0.0.1"), 0, true, aExtended,
                                     64, false, aHistory)
                        .IsOK());
        transmitter.SetPacketSize(576);
    }
    // Waits until every queued buffer left.
    void Drain()
    {
        for (int i = 0; i < 2000 && transmitter.GetQueuedBufferCount(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

} // namespace

TEST(Transmitter, OpenRefusesWhatCannotBeADestinationAndOpensOnce)
{
    ZuTransmitterGEV t;
    EXPECT_EQ(t.Open(ZuString("127.0.0"), 5000).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(t.Open(ZuString("127.0.0.1"), 0).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(t.Open(ZuString("127.0.0.1"), 5000, ZuString("nowhere")).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(t.Open(ZuString("127.0.0.1"), 5000, ZuString(""), 0, true, false, 0).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(t.Open(ZuString("127.0.0.1"), 5000, ZuString(""), 0, true, false, 65).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(t.Open(ZuString("127.0.0.1"), 5000, ZuString(""), 0, true, false, 64, false, 0).GetCode(),
              uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_FALSE(t.IsOpen());
    // Not open: nothing is queued, nothing can be closed.
    auto buffer = rawBuffer(100, 0);
    EXPECT_EQ(t.QueueBuffer(buffer.get()).GetCode(), uint32_t(ZU_STATE_ERROR));
    EXPECT_EQ(t.Close().GetCode(), uint32_t(ZU_STATE_ERROR));

    ASSERT_TRUE(t.Open(ZuString("127.0.0.1"), 5000, ZuString("127.0.0.1"), 0).IsOK());
    EXPECT_TRUE(t.IsOpen());
    EXPECT_EQ(t.Open(ZuString("127.0.0.1"), 5000).GetCode(), uint32_t(ZU_STATE_ERROR));
    EXPECT_EQ(ZuString("127.0.0.1"), t.GetSourceIPAddress());
    EXPECT_EQ(ZuString("127.0.0.1"), t.GetDestinationIPAddress());
    EXPECT_EQ(t.GetDestinationPort(), 5000);
    EXPECT_NE(t.GetSourcePort(), 0);
    EXPECT_EQ(t.QueueBuffer(nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    ZuBuffer empty(ZuPayloadTypeRawData);
    EXPECT_EQ(t.QueueBuffer(&empty).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(t.Close().IsOK());
    EXPECT_FALSE(t.IsOpen());
    EXPECT_EQ(t.GetSourcePort(), 0);
}

TEST(Transmitter, SettersKeepTheirRanges)
{
    ZuTransmitterGEV t;
    EXPECT_EQ(t.GetPacketSize(), 1500u);
    EXPECT_EQ(t.SetPacketSize(575).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(t.SetPacketSize(65536).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(t.SetPacketSize(576).IsOK());
    EXPECT_TRUE(t.SetPacketSize(65535).IsOK());
    EXPECT_EQ(t.GetPacketSize(), 65535u);
    EXPECT_EQ(t.SetMaxPayloadThroughput(-1).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(t.SetMaxPayloadThroughput(std::numeric_limits<float>::quiet_NaN()).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(t.SetMaxPayloadThroughput(250).IsOK());
    EXPECT_EQ(t.GetMaxPayloadThroughput(), 250.0f);
    EXPECT_TRUE(t.SetMaxPayloadThroughput(std::numeric_limits<float>::infinity()).IsOK());
    EXPECT_EQ(t.GetMaxPayloadThroughput(), 0.0f);
    EXPECT_EQ(t.SetUserModeTransmitterThreadPriority(100).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(t.SetBufferPoolThreadPriority(100).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(t.SetUserModeTransmitterThreadPriority(0).IsOK());
    EXPECT_TRUE(t.SetBufferPoolThreadPriority(0).IsOK());
    EXPECT_EQ(t.GetSentBuffersTimeout(), 50u);
    EXPECT_TRUE(t.SetSentBuffersTimeout(7).IsOK());
    EXPECT_EQ(t.GetSentBuffersTimeout(), 7u);
}

TEST(Transmitter, SendsEachBufferAsOneBlockByteForByteAndCountsIt)
{
    Opened o;
    auto first = rawBuffer(3000, 1);
    auto second = rawBuffer(1000, 2);
    ASSERT_TRUE(o.transmitter.QueueBuffer(first.get()).IsOK());
    ASSERT_TRUE(o.transmitter.QueueBuffer(second.get()).IsOK());
    const size_t perPacket = 576 - 28 - 8;
    const size_t firstCount = 2 + (3000 + perPacket - 1) / perPacket;
    const size_t secondCount = 2 + (1000 + perPacket - 1) / perPacket;
    auto packets = o.receiver.Collect(firstCount + secondCount);
    ASSERT_EQ(packets.size(), firstCount + secondCount);
    std::vector<std::vector<uint8_t>> one(packets.begin(), packets.begin() + long(firstCount));
    std::vector<std::vector<uint8_t>> two(packets.begin() + long(firstCount), packets.end());
    for (size_t k = 0; k < one.size(); ++k) {
        EXPECT_EQ(headerOf(one[k]).blockId, 1u);
        EXPECT_EQ(headerOf(one[k]).packetId, k);
        EXPECT_FALSE(headerOf(one[k]).extendedId);
    }
    EXPECT_EQ(headerOf(one.front()).format, gvsp::FORMAT_LEADER);
    EXPECT_EQ(headerOf(one.back()).format, gvsp::FORMAT_TRAILER);
    EXPECT_EQ(headerOf(two.front()).blockId, 2u);
    EXPECT_EQ(dataOf(one), std::vector<uint8_t>(first->GetDataPointer(), first->GetDataPointer() + 3000));
    EXPECT_EQ(dataOf(two), std::vector<uint8_t>(second->GetDataPointer(), second->GetDataPointer() + 1000));
    o.Drain();
    EXPECT_EQ(o.transmitter.GetBlocksTransmitted(), 2u);
    EXPECT_EQ(o.transmitter.GetPayloadBytesTransmitted(), 4000u);
    EXPECT_EQ(o.transmitter.GetNumberOfResendRequests(), 0u);
    EXPECT_GT(o.transmitter.GetSamplingTime(), 0u);
    EXPECT_GT(o.transmitter.GetAveragePayloadThroughput(), 0.0f);
    EXPECT_GT(o.transmitter.GetAverageTransmissionRate(), 0.0f);
    o.transmitter.QueuePacketResend(1, 1, 1);
    o.Drain();
    o.transmitter.ResetStats();
    EXPECT_EQ(o.transmitter.GetBlocksTransmitted(), 0u);
    EXPECT_EQ(o.transmitter.GetPayloadBytesTransmitted(), 0u);
    EXPECT_EQ(o.transmitter.GetNumberOfResendRequests(), 0u);
    // The resend may still be reading the first buffer: the buffers, made
    // after the transmitter, go before it.
    EXPECT_TRUE(o.transmitter.Close().IsOK());
}

TEST(Transmitter, ExtendedIdsCarryWideIdsAndChangeOnlyBetweenStreams)
{
    Opened o(32, true);
    EXPECT_TRUE(o.transmitter.GetExtendedIDs());
    auto buffer = rawBuffer(600, 3);
    ASSERT_TRUE(o.transmitter.QueueBuffer(buffer.get()).IsOK());
    auto packets = o.receiver.Collect(4);
    ASSERT_EQ(packets.size(), 4u);
    for (const auto &p : packets) {
        EXPECT_TRUE(headerOf(p).extendedId);
        EXPECT_EQ(headerOf(p).blockId, 1u);
    }
    EXPECT_EQ(dataOf(packets), std::vector<uint8_t>(buffer->GetDataPointer(), buffer->GetDataPointer() + 600));
    o.Drain();
    EXPECT_TRUE(o.transmitter.SetExtendedIDs(false).IsOK());
    EXPECT_FALSE(o.transmitter.GetExtendedIDs());
}

// A resend of a block no longer held is answered PACKET_REMOVED_FROM_MEMORY
// only when that block was sent and let go; one never sent (nothing sent
// yet, whatever its id, or the ids begun again, even while a block the
// old ids named is held) is PACKET_UNAVAILABLE.
TEST(Transmitter, OnlyABlockSentAndLetGoIsRemovedFromMemory)
{
    struct Case {
        const char *name;
        int sent;             // blocks sent first, standard ids, one held
        bool restartIds;      // then extended ids, which begin again
        uint64_t asked;
        uint16_t status;
    };
    const Case cases[] = {
        {"nothing sent, block 1", 0, false, 1, gvsp::STATUS_PACKET_UNAVAILABLE},
        {"nothing sent, block 0x8000", 0, false, 0x8000, gvsp::STATUS_PACKET_UNAVAILABLE},
        {"three sent, block 1 let go", 3, false, 1, gvsp::STATUS_PACKET_REMOVED_FROM_MEMORY},
        {"three sent, block 4 to come", 3, false, 4, gvsp::STATUS_PACKET_UNAVAILABLE},
        {"three sent, then the ids begin again, block 1", 3, true, 1, gvsp::STATUS_PACKET_UNAVAILABLE},
        {"three sent, then the ids begin again, block 3 still held", 3, true, 3, gvsp::STATUS_PACKET_UNAVAILABLE},
    };
    for (const Case &c : cases) {
        Opened o(1);
        std::vector<std::unique_ptr<ZuBuffer>> buffers;
        for (int i = 0; i < c.sent; ++i) {
            buffers.push_back(rawBuffer(1000, uint8_t(i)));
            ASSERT_TRUE(o.transmitter.QueueBuffer(buffers.back().get()).IsOK());
        }
        ASSERT_EQ(o.receiver.Collect(size_t(c.sent) * 4).size(), size_t(c.sent) * 4) << c.name;
        o.Drain();
        if (c.restartIds) {
            ASSERT_TRUE(o.transmitter.SetExtendedIDs(true).IsOK()) << c.name;
        }
        o.transmitter.QueuePacketResend(c.asked, 1, 1);
        auto answer = o.receiver.Collect(1);
        ASSERT_EQ(answer.size(), 1u) << c.name;
        EXPECT_EQ(headerOf(answer[0]).blockId, c.asked) << c.name;
        EXPECT_EQ(headerOf(answer[0]).status, c.status) << c.name;
        EXPECT_TRUE(o.transmitter.Close().IsOK());
    }
}

TEST(Transmitter, ResendsWhatItHoldsAndAnswersTheRestWithAStatus)
{
    Opened o(2);
    o.transmitter.SetSentBuffersTimeout(60000);
    std::vector<std::unique_ptr<ZuBuffer>> buffers;
    for (int i = 0; i < 3; ++i) {
        buffers.push_back(rawBuffer(1000, uint8_t(i)));
        ASSERT_TRUE(o.transmitter.QueueBuffer(buffers.back().get()).IsOK());
    }
    auto sent = o.receiver.Collect(3 * 4);
    ASSERT_EQ(sent.size(), 12u);
    o.Drain();
    // Two blocks are held (2 and 3); block 1 went back to the pool.
    o.transmitter.QueuePacketResend(3, 1, 2);
    auto again = o.receiver.Collect(2);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(headerOf(again[0]).blockId, 3u);
    EXPECT_EQ(headerOf(again[0]).packetId, 1u);
    EXPECT_EQ(headerOf(again[1]).packetId, 2u);
    EXPECT_EQ(headerOf(again[0]).status, gvsp::STATUS_PACKET_RESEND);
    EXPECT_EQ(std::vector<uint8_t>(again[1].begin() + 8, again[1].end()),
              std::vector<uint8_t>(sent[10].begin() + 8, sent[10].end()));
    // A packet id beyond the block is clipped to it.
    o.transmitter.QueuePacketResend(2, 3, 100);
    again = o.receiver.Collect(10);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(headerOf(again[0]).format, gvsp::FORMAT_TRAILER);

    o.transmitter.QueuePacketResend(1, 1, 2);
    again = o.receiver.Collect(10);
    ASSERT_EQ(again.size(), 2u);
    for (const auto &p : again) {
        EXPECT_EQ(p.size(), 8u);
        EXPECT_EQ(headerOf(p).status, gvsp::STATUS_PACKET_REMOVED_FROM_MEMORY);
        EXPECT_EQ(headerOf(p).blockId, 1u);
    }
    o.transmitter.QueuePacketResend(9, 4, 4);
    again = o.receiver.Collect(10);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(headerOf(again[0]).status, gvsp::STATUS_PACKET_UNAVAILABLE);
    EXPECT_EQ(headerOf(again[0]).packetId, 4u);
    // A reversed range is counted but sends nothing.
    o.transmitter.QueuePacketResend(3, 2, 1);
    EXPECT_TRUE(o.receiver.Collect(10, 100).empty());
    EXPECT_EQ(o.transmitter.GetNumberOfResendRequests(), 5u);
    EXPECT_EQ(transmitter::PacketsResent(o.transmitter), 3u);
    EXPECT_EQ(transmitter::PacketsUnavailable(o.transmitter), 3u);
    // However many packets a request names, the status answers to it stay
    // few: one datagram must not make the transmitter flood the network.
    o.transmitter.QueuePacketResend(9, 0, 0xFFFFFF);
    again = o.receiver.Collect(1000);
    EXPECT_FALSE(again.empty());
    EXPECT_LE(again.size(), 256u);
    EXPECT_LE(transmitter::PacketsUnavailable(o.transmitter), 3u + 256u);
}

TEST(Transmitter, BuffersComeBackFreeInTheOrderTheyWereQueued)
{
    Opened o(1);
    o.transmitter.SetSentBuffersTimeout(60000);
    std::vector<ZuBuffer *> released;
    transmitter::SetBufferReleaseHook(o.transmitter, [&](ZuBuffer *b) { released.push_back(b); });
    ZuBuffer *out = nullptr;
    EXPECT_EQ(o.transmitter.RetrieveFreeBuffer(&out, 0).GetCode(), uint32_t(ZU_TIMEOUT));
    auto a = rawBuffer(100, 1), b = rawBuffer(100, 2), c = rawBuffer(100, 3);
    ASSERT_TRUE(o.transmitter.QueueBuffer(a.get()).IsOK());
    ASSERT_TRUE(o.transmitter.QueueBuffer(b.get()).IsOK());
    ASSERT_TRUE(o.transmitter.QueueBuffer(c.get()).IsOK());
    // One block is held for resends: the first two become free.
    ASSERT_TRUE(o.transmitter.RetrieveFreeBuffer(&out, 5000).IsOK());
    EXPECT_EQ(out, a.get());
    ASSERT_TRUE(o.transmitter.RetrieveFreeBuffer(nullptr, 5000).IsOK());
    EXPECT_EQ(o.transmitter.RetrieveFreeBuffer(&out, 50).GetCode(), uint32_t(ZU_TIMEOUT));
    EXPECT_EQ(released, (std::vector<ZuBuffer *>{a.get(), b.get()}));
    // Abort lets the held one go too.
    bool aborted = true;
    ASSERT_TRUE(o.transmitter.AbortQueuedBuffers(5000, &aborted).IsOK());
    EXPECT_FALSE(aborted);
    ASSERT_TRUE(o.transmitter.RetrieveFreeBuffer(&out, 0).IsOK());
    EXPECT_EQ(out, c.get());
    EXPECT_FALSE(o.transmitter.IsTransmitting());
}

TEST(Transmitter, AbortFreesWaitingBuffersUnsentAndCloseFreesTheRest)
{
    Opened o;
    // Slow enough that most buffers still wait when the abort comes, and
    // what was sent is still held for resends then.
    o.transmitter.SetMaxPayloadThroughput(0.5f);
    o.transmitter.SetSentBuffersTimeout(60000);
    std::vector<std::unique_ptr<ZuBuffer>> buffers;
    for (int i = 0; i < 5; ++i) {
        buffers.push_back(rawBuffer(20000, uint8_t(i)));
        ASSERT_TRUE(o.transmitter.QueueBuffer(buffers.back().get()).IsOK());
    }
    EXPECT_TRUE(o.transmitter.IsTransmitting());
    for (int i = 0; i < 5000 && o.transmitter.GetBlocksTransmitted() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(o.transmitter.GetBlocksTransmitted(), 0u);
    bool aborted = false;
    ASSERT_TRUE(o.transmitter.AbortQueuedBuffers(60000, &aborted).IsOK());
    EXPECT_TRUE(aborted);
    EXPECT_EQ(o.transmitter.GetQueuedBufferCount(), 0u);
    const uint64_t sent = o.transmitter.GetBlocksTransmitted();
    EXPECT_LT(sent, 5u);
    std::vector<ZuBuffer *> order;
    ZuBuffer *out = nullptr;
    while (o.transmitter.RetrieveFreeBuffer(&out, 0).IsOK()) order.push_back(out);
    ASSERT_EQ(order.size(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(order[i], buffers[i].get());

    // Close while a retriever waits: it learns of it.
    std::thread waiter([&] { EXPECT_EQ(o.transmitter.RetrieveFreeBuffer(&out, 60000).GetCode(), uint32_t(ZU_ABORTED)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(o.transmitter.Close().IsOK());
    waiter.join();
}

TEST(Transmitter, TheDestructorLetsGoOfEveryBufferItStillHolds)
{
    std::vector<ZuBuffer *> released;
    auto a = rawBuffer(100, 1), b = rawBuffer(100, 2);
    {
        Opened o;
        o.transmitter.SetSentBuffersTimeout(60000);
        transmitter::SetBufferReleaseHook(o.transmitter, [&](ZuBuffer *x) { released.push_back(x); });
        ASSERT_TRUE(o.transmitter.QueueBuffer(a.get()).IsOK());
        ASSERT_TRUE(o.transmitter.QueueBuffer(b.get()).IsOK());
    }
    EXPECT_EQ(released, (std::vector<ZuBuffer *>{a.get(), b.get()}));
}

TEST(Transmitter, ATestPacketFillsThePacketSize)
{
    Opened o;
    ASSERT_TRUE(o.transmitter.FireTestPacket().IsOK());
    auto packets = o.receiver.Collect(1);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].size(), 576u - 28u);
    EXPECT_EQ(headerOf(packets[0]).blockId, 0u);
    ZuTransmitterGEV closed;
    EXPECT_EQ(closed.FireTestPacket().GetCode(), uint32_t(ZU_STATE_ERROR));
}

TEST(Transmitter, AnImageGoesOutWithItsGeometry)
{
    Opened o;
    ZuBuffer image(ZuPayloadTypeImage);
    ASSERT_TRUE(image.GetImage()->Alloc(40, 10, ZuPixelMono8).IsOK());
    ASSERT_TRUE(o.transmitter.QueueBuffer(&image).IsOK());
    auto packets = o.receiver.Collect(3);
    ASSERT_EQ(packets.size(), 3u);
    auto parsed = gvsp::parsePacket(packets[0].data(), packets[0].size());
    ASSERT_TRUE(parsed);
    auto leader = gvsp::decodeLeader(*parsed);
    ASSERT_TRUE(leader);
    EXPECT_EQ(leader->payloadType, gvsp::PAYLOAD_IMAGE);
    EXPECT_EQ(leader->image.sizeX, 40u);
    EXPECT_EQ(leader->image.sizeY, 10u);
    EXPECT_EQ(leader->image.pixelFormat, uint32_t(ZuPixelMono8));
    o.Drain();
    EXPECT_EQ(o.transmitter.GetPayloadBytesTransmitted(), 400u);
    // A multi-part buffer counts the bytes of all its parts.
    ZuBuffer parts(ZuPayloadTypeMultiPart);
    ASSERT_TRUE(parts.GetMultiPartContainer()->AddImagePart(ZuMultiPart2DImage, 16, 4, ZuPixelMono8).IsOK());
    ASSERT_TRUE(parts.GetMultiPartContainer()->AddImagePart(ZuMultiPartConfidenceMap, 8, 2, ZuPixelMono16).IsOK());
    ASSERT_TRUE(parts.GetMultiPartContainer()->AllocAllParts().IsOK());
    ASSERT_TRUE(o.transmitter.QueueBuffer(&parts).IsOK());
    ASSERT_EQ(o.receiver.Collect(4).size(), 4u);
    o.Drain();
    EXPECT_EQ(o.transmitter.GetPayloadBytesTransmitted(), 400u + 64u + 32u);
}

TEST(Transmitter, AResendGoesBeforeTheBlocksStillWaiting)
{
    Opened o;
    o.transmitter.SetSentBuffersTimeout(60000);
    auto first = rawBuffer(1000, 1);
    ASSERT_TRUE(o.transmitter.QueueBuffer(first.get()).IsOK());
    ASSERT_EQ(o.receiver.Collect(4).size(), 4u);
    o.Drain();
    // Each of these takes about a quarter of a second at this rate.
    o.transmitter.SetMaxPayloadThroughput(0.5f);
    std::vector<std::unique_ptr<ZuBuffer>> waiting;
    for (int i = 0; i < 3; ++i) {
        waiting.push_back(rawBuffer(15000, uint8_t(i)));
        ASSERT_TRUE(o.transmitter.QueueBuffer(waiting.back().get()).IsOK());
    }
    o.transmitter.QueuePacketResend(1, 1, 1);
    // The resent packet comes at the latest after the block being sent
    // when it was asked for, not after the whole queue.
    const size_t perBlock = 2 + (15000 + 539) / 540;
    auto packets = o.receiver.Collect(3 * perBlock + 1, 3000);
    size_t resentAt = packets.size();
    for (size_t k = 0; k < packets.size(); ++k)
        if (headerOf(packets[k]).status == gvsp::STATUS_PACKET_RESEND) resentAt = k;
    ASSERT_LT(resentAt, packets.size());
    EXPECT_LE(resentAt, 2 * perBlock);
    o.transmitter.AbortQueuedBuffers(60000, nullptr);
}
