#include "ZuBuffer.h"
#include "gvspsend/send_channel.h"
#include "receiver.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace tarn;
using tarn::testing::Datagrams;
using tarn::testing::headerOf;

namespace {

// 1000 bytes in two data packets of 540: leader, two, trailer.
constexpr size_t kBlockBytes = 1000;
constexpr size_t kPacketsPerBlock = 4;

std::unique_ptr<ZuBuffer> seededBuffer(uint8_t aSeed)
{
    auto buffer = std::make_unique<ZuBuffer>(ZuPayloadTypeRawData);
    EXPECT_TRUE(buffer->Alloc(uint32_t(kBlockBytes)).IsOK());
    for (size_t i = 0; i < kBlockBytes; ++i) buffer->GetDataPointer()[i] = uint8_t(i * 13 + aSeed * 31);
    return buffer;
}

} // namespace

// A resend is answered with the bytes of the block sent under that id in
// the current sequence of ids, never with those of a block an earlier
// sequence sent under the same id and the channel still holds.
TEST(SendChannel, AResendIsAnsweredOnlyFromTheBlockThisSequenceSentUnderThatId)
{
    enum Restart { kNone, kRestartIds, kReopen, kIdsGoBack, kOtherMode };
    struct Case {
        const char *name;
        Restart restart;               // between the first blocks and the next
        std::vector<uint64_t> next;    // ids sent after it
        size_t keep;                   // blocks held at the end, the newest
        uint64_t asked;
        bool extended;                 // of the next blocks and the request
        int block;                     // index of the block whose bytes come back, -1: none
        uint16_t status;               // of the answer when none
    };
    // First, in every case, blocks 1, 2, 3 with standard ids (indexes 0..2).
    const Case cases[] = {
        {"held", kNone, {}, 8, 2, false, 1, 0},
        {"held after more", kNone, {4}, 8, 4, false, 3, 0},
        {"let go", kNone, {}, 1, 2, false, -1, gvsp::STATUS_PACKET_REMOVED_FROM_MEMORY},
        {"not sent yet", kNone, {}, 8, 4, false, -1, gvsp::STATUS_PACKET_UNAVAILABLE},
        {"restarted, nothing sent since", kRestartIds, {}, 8, 2, false, -1, gvsp::STATUS_PACKET_UNAVAILABLE},
        {"restarted, that id sent again", kRestartIds, {1, 2}, 8, 2, false, 4, 0},
        {"restarted, that id not sent yet", kRestartIds, {1}, 8, 3, false, -1, gvsp::STATUS_PACKET_UNAVAILABLE},
        {"restarted, that id sent and let go", kRestartIds, {1, 2}, 1, 1, false, -1,
         gvsp::STATUS_PACKET_REMOVED_FROM_MEMORY},
        {"reopened, nothing sent since", kReopen, {}, 8, 3, false, -1, gvsp::STATUS_PACKET_UNAVAILABLE},
        {"ids went back untold, that id not sent yet", kIdsGoBack, {1}, 8, 2, false, -1,
         gvsp::STATUS_PACKET_UNAVAILABLE},
        {"ids went back untold, that id sent again", kIdsGoBack, {1, 2}, 8, 2, false, 4, 0},
        {"other id mode, an id of the old mode", kOtherMode, {4}, 8, 3, true, -1,
         gvsp::STATUS_PACKET_REMOVED_FROM_MEMORY},
        {"other id mode, its own block", kOtherMode, {4}, 8, 4, true, 3, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Datagrams receiver;
        const net::Endpoint to{0x7F000001, receiver.Port()};
        gvspsend::SendChannel channel;
        std::string error;
        ASSERT_TRUE(channel.Open(gvspsend::SenderOptions{{0x7F000001, 0}}, error)) << error;
        std::vector<std::unique_ptr<ZuBuffer>> buffers;
        auto send = [&](uint64_t aId, bool aExtended) {
            buffers.push_back(seededBuffer(uint8_t(buffers.size())));
            gvspsend::BlockRoute route{to, 548, aExtended};
            ASSERT_TRUE(channel.Send(*buffers.back(), buffers.back().get(), aId, route));
        };
        for (uint64_t id : {1, 2, 3}) send(id, false);
        if (c.restart == kRestartIds) channel.RestartIds();
        if (c.restart == kReopen) {
            channel.Close();
            ASSERT_TRUE(channel.Open(gvspsend::SenderOptions{{0x7F000001, 0}}, error)) << error;
        }
        for (uint64_t id : c.next) send(id, c.extended);
        ASSERT_EQ(receiver.Collect(buffers.size() * kPacketsPerBlock).size(), buffers.size() * kPacketsPerBlock);
        channel.Expire(c.keep, gvspsend::SendClock::time_point::min(), nullptr);

        const gvspsend::ResendAnswer answer = channel.Resend(c.asked, 1, 2, c.extended, to);
        const auto again = receiver.Collect(2);
        ASSERT_EQ(again.size(), 2u);
        std::vector<uint8_t> data;
        for (const auto &p : again) {
            const auto parsed = gvsp::parsePacket(p.data(), p.size());
            ASSERT_TRUE(parsed);
            EXPECT_EQ(parsed->header.blockId, c.asked);
            EXPECT_EQ(parsed->header.extendedId, c.extended);
            const gvsp::Header &h = parsed->header;
            if (c.block < 0) EXPECT_EQ(h.status, c.status);
            else EXPECT_TRUE(h.extendedId ? (h.flags & gvsp::FLAG_PACKET_RESEND) != 0 : h.status == gvsp::STATUS_PACKET_RESEND);
            data.insert(data.end(), parsed->body, parsed->body + parsed->bodySize);
        }
        if (c.block < 0) {
            EXPECT_EQ(answer.refused, 2u);
            EXPECT_TRUE(data.empty());
        } else {
            EXPECT_EQ(answer.resent, 2u);
            const uint8_t *sent = buffers[size_t(c.block)]->GetDataPointer();
            EXPECT_EQ(data, std::vector<uint8_t>(sent, sent + kBlockBytes));
        }
        // Where a resend goes follows the same rule.
        const net::Endpoint nowhere{0x7F000009, 9};
        EXPECT_EQ(channel.DestinationOf(c.asked, nowhere).port, c.block < 0 ? nowhere.port : to.port);
        channel.Clear(nullptr);
    }
}
