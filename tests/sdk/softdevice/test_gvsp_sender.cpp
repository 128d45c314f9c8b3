#include "softdevice/gvsp_sender.h"

#include "ZuBuffer.h"
#include "ZuImage.h"
#include "net/socket.h"

#include <gtest/gtest.h>

#include <poll.h>

using namespace tarn;
using namespace tarn::softdevice;

TEST(GvspSender, ABuffersLeaderTellsWhatItHolds)
{
    ZuBuffer image(ZuPayloadTypeImage);
    ASSERT_TRUE(image.GetImage()->Alloc(33, 7, ZuPixelMono16).IsOK());
    image.GetImage()->SetOffsetX(4);
    image.SetTimestamp(99);
    gvsp::BlockSource s;
    gvspsend::PartStore parts;
    ASSERT_TRUE(gvspsend::describeBlock(image, s, parts));
    EXPECT_EQ(s.leader.payloadType, gvsp::PAYLOAD_IMAGE);
    EXPECT_EQ(s.leader.image.pixelFormat, uint32_t(ZuPixelMono16));
    EXPECT_EQ(s.leader.image.sizeX, 33u);
    EXPECT_EQ(s.leader.image.sizeY, 7u);
    EXPECT_EQ(s.leader.image.offsetX, 4u);
    EXPECT_EQ(s.leader.timestamp, 99u);
    EXPECT_EQ(s.trailer.sizeY, 7u);
    EXPECT_EQ(s.size, 33u * 7u * 2u);
    EXPECT_EQ(s.data, image.GetImage()->GetDataPointer());

    ZuBuffer raw(ZuPayloadTypeRawData);
    ASSERT_TRUE(raw.Alloc(100).IsOK());
    ASSERT_TRUE(gvspsend::describeBlock(raw, s, parts));
    EXPECT_EQ(s.leader.payloadType, gvsp::PAYLOAD_RAW);
    EXPECT_EQ(s.leader.payloadSize, 100u);

    // Nothing to send: no zero-sized block.
    ZuBuffer empty(ZuPayloadTypeImage);
    EXPECT_FALSE(gvspsend::describeBlock(empty, s, parts));
}

TEST(GvspSender, SendsABlockAsLeaderDataAndTrailerAndAnswersEveryResend)
{
    net::UdpSocket receiver = net::UdpSocket::Bind({0x7F000001, 0}, net::SocketOptions());
    ASSERT_TRUE(receiver.Valid());
    StreamConfig config;
    config.destination = 0x7F000001;
    config.port = receiver.Local().port;
    config.packetSize = 576;
    GvspSender sender(config);
    std::string error;
    ASSERT_TRUE(sender.Open(0x7F000001, error)) << error;
    EXPECT_EQ(config.sourcePort, sender.Port());

    ZuBuffer image(ZuPayloadTypeImage);
    ASSERT_TRUE(image.GetImage()->Alloc(100, 20, ZuPixelMono8).IsOK());
    for (int i = 0; i < 2000; ++i) image.GetDataPointer()[i] = uint8_t(i);
    // A standard id past 16 bits is none the wire carries: nothing leaves,
    // rather than a block under an id its buffer does not have.
    EXPECT_FALSE(sender.Send(image, 70000));
    ASSERT_TRUE(sender.Send(image, 70000 - 65535));
    auto receive = [&](std::vector<std::vector<uint8_t>> &out) {
        uint8_t packet[2048];
        for (;;) {
            pollfd p{receiver.GetFd(), POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) return;
            long n = receiver.Receive(packet, sizeof packet);
            if (n > 0) out.emplace_back(packet, packet + n);
        }
    };
    std::vector<std::vector<uint8_t>> packets;
    receive(packets);
    const size_t perPacket = 576 - 28 - 8;
    ASSERT_EQ(packets.size(), 2 + (2000 + perPacket - 1) / perPacket);
    std::vector<uint8_t> data;
    for (size_t k = 0; k < packets.size(); ++k) {
        const auto &p = packets[k];
        EXPECT_EQ(p[2] << 8 | p[3], 70000 - 65535);      // block id
        EXPECT_EQ((p[5] << 16 | p[6] << 8 | p[7]), int(k)); // packet id
        const int format = p[4] & 0x0F;
        EXPECT_EQ(format, k == 0 ? 1 : k + 1 == packets.size() ? 2 : 3);
        if (format == 3) data.insert(data.end(), p.begin() + 8, p.end());
        EXPECT_LE(p.size(), 576u - 28u);
    }
    ASSERT_EQ(data.size(), 2000u);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(data[size_t(i)], uint8_t(i));

    gvcp::PacketResendCmd resend;
    resend.blockId = 70000 - 65535;
    resend.firstPacketId = 1;
    resend.lastPacketId = 2;
    sender.Resend(resend);
    std::vector<std::vector<uint8_t>> again;
    receive(again);
    ASSERT_EQ(again.size(), 2u);
    // A resent packet says so in its status.
    EXPECT_EQ(again[0][0] << 8 | again[0][1], 0x0100);
    EXPECT_EQ(packets[1][0] << 8 | packets[1][1], 0);
    EXPECT_EQ(std::vector<uint8_t>(again[1].begin() + 8, again[1].end()),
              std::vector<uint8_t>(packets[2].begin() + 8, packets[2].end()));
    // Once its buffer goes back to the source, the block is not resent: the
    // answer says it was removed, so that the receiver does not ask again.
    EXPECT_EQ(sender.Held(), 1u);
    std::vector<ZuBuffer *> back;
    sender.Release(0, [&](ZuBuffer *aBuffer) { back.push_back(aBuffer); });
    EXPECT_EQ(back, std::vector<ZuBuffer *>{&image});
    EXPECT_EQ(sender.Held(), 0u);
    sender.Resend(resend);
    again.clear();
    receive(again);
    ASSERT_EQ(again.size(), 2u);
    for (size_t k = 0; k < 2; ++k) {
        const gvsp::Header h = gvsp::parsePacket(again[k].data(), again[k].size())->header;
        EXPECT_EQ(again[k].size(), gvsp::kHeaderSize);
        EXPECT_EQ(h.status, gvsp::STATUS_PACKET_REMOVED_FROM_MEMORY);
        EXPECT_EQ(h.blockId, uint64_t(70000 - 65535));
        EXPECT_EQ(h.packetId, uint32_t(1 + k));
    }
    // A block never sent is unavailable.
    resend.blockId = 70000 - 65535 + 1;
    resend.lastPacketId = 1;
    sender.Resend(resend);
    again.clear();
    receive(again);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(gvsp::parsePacket(again[0].data(), again[0].size())->header.status, gvsp::STATUS_PACKET_UNAVAILABLE);

    // Test packets leave from the channel's own port, as its blocks.
    ASSERT_TRUE(sender.SendTestPacket(1000, {0x7F000001, receiver.Local().port}));
    uint8_t test[2048];
    net::Arrival arrival;
    pollfd p{receiver.GetFd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    ASSERT_EQ(receiver.Receive(test, sizeof test, &arrival), 1000);
    EXPECT_EQ(arrival.from.port, sender.Port());
    EXPECT_TRUE(gvsp::isTestPacket(*gvsp::parsePacket(test, 1000)));
}
