// The sending side: H.264 access units cut into RFC 6184 packets and read
// back by our depacketiser at sizes around every boundary, hostile byte
// streams, and the SDP and SAP texts that announce a stream.

#include "rtp/rtp.h"
#include "rtp/sap.h"

#include "ZuPixelType.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace tarn::rtp;
using Bytes = std::vector<uint8_t>;

namespace {

struct Sink : FrameSink {
    Bytes memory = Bytes(1 << 20);
    std::vector<Bytes> units;
    std::vector<bool> complete;
    Memory Begin(uint32_t) override { return Memory{memory.data(), memory.size()}; }
    void End(const Memory &m, size_t aBytes, bool aComplete, uint32_t) override
    {
        units.emplace_back(m.data, m.data + aBytes);
        complete.push_back(aComplete);
    }
};

// Each unit after a start code of 3 or 4 bytes in turn.
Bytes AnnexB(const std::vector<Bytes> &aUnits, bool aShortCodes = false)
{
    Bytes out;
    for (size_t k = 0; k < aUnits.size(); ++k) {
        if (!(aShortCodes && k % 2)) out.push_back(0);
        out.insert(out.end(), {0, 0, 1});
        out.insert(out.end(), aUnits[k].begin(), aUnits[k].end());
    }
    return out;
}

// What our depacketiser gives back: every unit after a 4-byte start code.
Bytes Canonical(const std::vector<Bytes> &aUnits)
{
    return AnnexB(aUnits, false);
}

Bytes Unit(uint8_t aHeader, size_t aSize, uint32_t aSeed)
{
    Bytes u(aSize);
    u[0] = aHeader;
    // Bytes from 0x10 up: never a start code, never a trailing zero.
    for (size_t k = 1; k < aSize; ++k) u[k] = uint8_t(0x10 + (k * 13 + aSeed) % 0xE0);
    return u;
}

struct Sent {
    std::vector<Bytes> packets;
};

Sent Packetize(H264Packetizer &p, const Bytes &aStream, uint32_t aTs, size_t aMax, bool aExpect = true)
{
    Sent s;
    EXPECT_EQ(p.Send(aStream.data(), aStream.size(), aTs, aMax,
                     [&](const uint8_t *d, size_t n) { s.packets.emplace_back(d, d + n); }),
              aExpect);
    return s;
}

} // namespace

TEST(H264Packetizer, UnitsOfEverySizeAroundThePacketComeBackWhole)
{
    for (size_t maxPacket : {size_t(15), size_t(16), size_t(17), size_t(40), size_t(1400)}) {
        const size_t room = maxPacket - kHeaderSize;
        H264Packetizer p(96, 0x1234);
        H264Depacketizer d;
        Sink sink;
        uint16_t expectSeq = 0;
        uint32_t ts = 1000;
        for (size_t size : {size_t(1), size_t(2), room - 1, room, room + 1, 2 * room - 3, 2 * room - 2, 2 * room,
                            3 * room + 5}) {
            if (size == 0) continue;
            const std::vector<Bytes> units = {Unit(0x67, 3, 1), Unit(0x65, size, uint32_t(size)), Unit(0x06, 2, 2)};
            const Sent s = Packetize(p, AnnexB(units, size % 2 == 1), ts, maxPacket);
            ASSERT_FALSE(s.packets.empty());
            for (size_t k = 0; k < s.packets.size(); ++k) {
                const Bytes &pkt = s.packets[k];
                ASSERT_LE(pkt.size(), maxPacket);
                Packet parsed;
                ASSERT_TRUE(Parse(pkt.data(), pkt.size(), parsed));
                EXPECT_EQ(parsed.marker, k + 1 == s.packets.size()) << maxPacket << " " << size << " " << k;
                EXPECT_EQ(parsed.sequence, expectSeq++);
                EXPECT_EQ(parsed.timestamp, ts);
                EXPECT_EQ(parsed.payloadType, 96);
                EXPECT_EQ(parsed.ssrc, 0x1234u);
                d.Feed(parsed, sink);
            }
            ASSERT_FALSE(sink.units.empty());
            EXPECT_TRUE(sink.complete.back()) << maxPacket << " " << size;
            EXPECT_EQ(sink.units.back(), Canonical(units)) << maxPacket << " " << size;
            // Whole units when they fit, else as few fragments as the room allows.
            const size_t fragments = size <= room ? 1 : (size - 1 + room - 3) / (room - 2);
            const size_t small = (3 <= room ? 1 : 0) + (2 <= room ? 1 : 0);
            EXPECT_EQ(s.packets.size(), fragments + small) << maxPacket << " " << size;
            ts += 3000;
        }
    }
}

TEST(H264Packetizer, FragmentHeadersCarryTheUnitsTypeAndItsStartAndEnd)
{
    H264Packetizer p(97, 1);
    const Bytes unit = Unit(0x65, 50, 9);  // nri 3, IDR
    const Sent s = Packetize(p, AnnexB({unit}), 5, kHeaderSize + 2 + 16);
    ASSERT_EQ(s.packets.size(), 4u);  // 49 bytes after the header in 16s
    Bytes body;
    for (size_t k = 0; k < s.packets.size(); ++k) {
        const Bytes &pkt = s.packets[k];
        EXPECT_EQ(pkt[kHeaderSize], 0x60 | 28) << k;
        EXPECT_EQ(pkt[kHeaderSize + 1] & 0x1F, 5) << k;
        EXPECT_EQ(bool(pkt[kHeaderSize + 1] & 0x80), k == 0) << k;
        EXPECT_EQ(bool(pkt[kHeaderSize + 1] & 0x40), k == 3) << k;
        EXPECT_EQ(pkt[kHeaderSize + 1] & 0x20, 0) << k;
        body.insert(body.end(), pkt.begin() + kHeaderSize + 2, pkt.end());
    }
    EXPECT_EQ(body, Bytes(unit.begin() + 1, unit.end()));
    // A unit that fits goes as it is.
    const Sent one = Packetize(p, AnnexB({Unit(0x41, 10, 3)}), 6, 100);
    ASSERT_EQ(one.packets.size(), 1u);
    EXPECT_EQ(Bytes(one.packets[0].begin() + kHeaderSize, one.packets[0].end()), Unit(0x41, 10, 3));
}

TEST(H264Packetizer, ZerosAroundUnitsAndEmptyUnitsAreNotSent)
{
    H264Packetizer p(96, 1);
    // Leading zeros, trailing zeros before the next start code and at the
    // end (a buffer larger than its unit), an empty unit between two.
    Bytes stream = {0, 0, 0, 0, 0, 1, 0x41, 0x22, 0, 0, 0, 0, 1, 0, 0, 1, 0x41, 0x33, 0x44, 0, 0, 0, 0, 0, 0};
    const Sent s = Packetize(p, stream, 1, 100);
    ASSERT_EQ(s.packets.size(), 2u);
    EXPECT_EQ(Bytes(s.packets[0].begin() + kHeaderSize, s.packets[0].end()), Bytes({0x41, 0x22}));
    EXPECT_EQ(Bytes(s.packets[1].begin() + kHeaderSize, s.packets[1].end()), Bytes({0x41, 0x33, 0x44}));
    Packet last;
    ASSERT_TRUE(Parse(s.packets[1].data(), s.packets[1].size(), last));
    EXPECT_TRUE(last.marker);
    // One or two zeros at the very end are too few for a start code.
    for (const Bytes &tail : {Bytes({0}), Bytes({0, 0})}) {
        Bytes short_end = {0, 0, 1, 0x41, 0x55};
        short_end.insert(short_end.end(), tail.begin(), tail.end());
        const Sent t = Packetize(p, short_end, 2, 100);
        ASSERT_EQ(t.packets.size(), 1u);
        EXPECT_EQ(Bytes(t.packets[0].begin() + kHeaderSize, t.packets[0].end()), Bytes({0x41, 0x55})) << tail.size();
    }
}

TEST(H264Packetizer, RefusesWhatHoldsNoUnitOrCannotBeCut)
{
    H264Packetizer p(96, 1);
    const Bytes good = AnnexB({Unit(0x41, 30, 1)});
    for (const Bytes &bad : {Bytes(), Bytes({0, 0, 1}), Bytes({0, 0, 0, 0}), Bytes({0x41, 0x22, 0x33}),
                             Bytes({0, 0, 1, 0, 0, 1}), Bytes({0, 1, 0x41})})
        EXPECT_TRUE(Packetize(p, bad, 1, 100, false).packets.empty());
    // Headers RTP would read as its own packet types, or forbidden.
    for (uint8_t header : {0x00, 0x18, 0x1C, 0x1F, 0xC1})
        EXPECT_TRUE(Packetize(p, AnnexB({Unit(0x41, 5, 1), Unit(header, 5, 2)}), 1, 100, false).packets.empty())
            << int(header);
    EXPECT_TRUE(Packetize(p, good, 1, kHeaderSize + 2, false).packets.empty());
    EXPECT_TRUE(Packetize(p, good, 1, 65536, false).packets.empty());
    EXPECT_FALSE(p.Send(nullptr, 10, 1, 100, [](const uint8_t *, size_t) {}));
    // The smallest packet still carries one byte of a fragment.
    EXPECT_EQ(Packetize(p, good, 1, kHeaderSize + 3).packets.size(), 29u);
}

TEST(H264Packetizer, RandomByteStreamsNeverOverrunAndComeBackAsTheirUnits)
{
    std::mt19937 rng(7);
    H264Packetizer p(96, 1);
    for (int round = 0; round < 300; ++round) {
        Bytes stream(rng() % 200);
        for (auto &b : stream) b = uint8_t(rng() % 4 == 0 ? rng() % 2 : rng());  // many zeros and ones
        // Mostly units RTP can carry: a header after each start code.
        if (round % 4)
            for (size_t k = 3; k < stream.size(); ++k)
                if (!stream[k - 3] && !stream[k - 2] && stream[k - 1] == 1) stream[k] = uint8_t(0x60 | (1 + rng() % 23));
        const size_t maxPacket = kHeaderSize + 3 + rng() % 40;
        // Exact-size heap copy: any read past the end is seen by the sanitizer.
        std::unique_ptr<uint8_t[]> copy(new uint8_t[stream.size()]);
        if (!stream.empty()) std::memcpy(copy.get(), stream.data(), stream.size());
        H264Depacketizer d;
        Sink sink;
        size_t packets = 0;
        const bool sent = p.Send(copy.get(), stream.size(), uint32_t(round), maxPacket, [&](const uint8_t *data, size_t n) {
            ASSERT_LE(n, maxPacket);
            Packet parsed;
            ASSERT_TRUE(Parse(data, n, parsed));
            d.Feed(parsed, sink);
            ++packets;
        });
        EXPECT_EQ(sent, packets > 0);
        if (!sent) continue;
        ASSERT_EQ(sink.units.size(), 1u);
        EXPECT_TRUE(sink.complete[0]);
        // Every unit sent is in the stream after a start code, in order,
        // where the byte stream ends it.
        const Bytes &got = sink.units[0];
        size_t at = 0, from = 0;
        while (from < got.size()) {
            ASSERT_TRUE(got.size() - from > 4 && got[from] == 0 && got[from + 1] == 0 && got[from + 2] == 0 && got[from + 3] == 1);
            size_t end = from + 4;
            while (end + 4 <= got.size() && !(got[end] == 0 && got[end + 1] == 0 && got[end + 2] == 0 && got[end + 3] == 1)) ++end;
            if (end + 4 > got.size()) end = got.size();
            const Bytes nal(got.begin() + from + 4, got.begin() + end);
            bool found = false;
            for (size_t pos = at + 3; !found && pos + nal.size() <= stream.size(); ++pos) {
                if (stream[pos - 3] || stream[pos - 2] || stream[pos - 1] != 1) continue;
                if (!std::equal(nal.begin(), nal.end(), stream.begin() + pos)) continue;
                // The unit ends at 00 00 00, 00 00 01 or zeros up to the end.
                const size_t rest = pos + nal.size();
                size_t z = rest;
                while (z < stream.size() && stream[z] == 0) ++z;
                const bool ends = z == stream.size() ||
                                  (rest + 3 <= stream.size() && !stream[rest] && !stream[rest + 1] && stream[rest + 2] <= 1);
                if (ends) {
                    found = true;
                    at = pos + nal.size();
                }
            }
            ASSERT_TRUE(found) << round << " " << testing::PrintToString(stream) << " " << testing::PrintToString(got);
            from = end;
        }
    }
}

TEST(Sdp, RawVideoAndH264Descriptions)
{
    VideoSession s;
    s.origin = 0x7F000005;
    s.sessionId = 42;
    s.version = 3;
    s.name = "Camera\r\nx=evil";
    s.destination = 0x7F000001;
    s.port = 5004;
    s.payloadType = 96;
    s.sampling = "RGB";
    s.width = 640;
    s.height = 480;
    EXPECT_EQ(FormatSdp(s), "v=0\r\n"
                            "o=- 42 3 IN IP4 127.0.0.5\r\n"
                            "s=Camera  x=evil\r\n"
                            "c=IN IP4 127.0.0.1\r\n"
                            "t=0 0\r\n"
                            "m=video 5004 RTP/AVP 96\r\n"
                            "a=rtpmap:96 raw/90000\r\n"
                            "a=fmtp:96 sampling=RGB; width=640; height=480; depth=8; colorimetry=BT709-2\r\n"
                            "a=recvonly\r\n");
    s.format = VideoSession::Format::H264;
    s.destination = 0xEFC00708;  // a group: one hop
    s.payloadType = 97;
    s.name.clear();
    EXPECT_EQ(FormatSdp(s), "v=0\r\n"
                            "o=- 42 3 IN IP4 127.0.0.5\r\n"
                            "s=-\r\n"
                            "c=IN IP4 239.192.7.8/1\r\n"
                            "t=0 0\r\n"
                            "m=video 5004 RTP/AVP 97\r\n"
                            "a=rtpmap:97 H264/90000\r\n"
                            "a=fmtp:97 packetization-mode=1\r\n"
                            "a=recvonly\r\n");
}

TEST(Sap, AnnouncementAndDeletionHeaders)
{
    Bytes out = {9, 9, 9};
    FormatSap(false, 0xBEEF, 0x7F000005, "v=0\r\n", out);
    const Bytes head = {0x20, 0, 0xBE, 0xEF, 127, 0, 0, 5};
    ASSERT_GE(out.size(), head.size());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), head);
    const std::string rest(out.begin() + 8, out.end());
    EXPECT_EQ(rest, std::string("application/sdp\0v=0\r\n", 21));
    FormatSap(true, 0xBEEF, 0x7F000005, "v=0\r\n", out);
    EXPECT_EQ(out[0], 0x24);
    EXPECT_EQ(std::string(out.begin() + 8, out.end()), rest);
}

TEST(Sap, EveryPixelTypeSentAsVideoHasASamplingName)
{
    for (int32_t t : {int32_t(ZuPixelMono8), int32_t(ZuPixelRGB8), int32_t(ZuPixelBGR8), int32_t(ZuPixelRGBa8),
                      int32_t(ZuPixelBGRa8), int32_t(ZuPixelYUV422_8_UYVY), int32_t(ZuPixelMono16),
                      int32_t(ZuPixelBayerRG8), int32_t(ZuPixelMono12Packed), 0}) {
        Sampling s;
        EXPECT_EQ(SamplingOf(t, s), !SamplingName(t).empty()) << std::hex << t;
    }
    EXPECT_EQ(SamplingName(ZuPixelYUV422_8_UYVY), "YCbCr-4:2:2");
    EXPECT_EQ(SamplingName(ZuPixelBGRa8), "BGRA");
    EXPECT_EQ(SamplingName(ZuPixelRGB8), "RGB");
}
