// RTP wire formats: the fixed header, uncompressed video and H.264 into
// frames, and framing over TCP, from packets built by hand, by our
// packetiser, and mangled at random; frames are checked byte by byte and the
// memory around them for writes out of bounds.

#include "rtp/rtp.h"

#include "ZuPixelType.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace tarn::rtp;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardSize = 64;

// Frame memory between guard bytes; every ended frame is kept.
struct Frames : FrameSink {
    size_t size;
    Bytes memory;
    struct Ended {
        Bytes bytes;
        size_t filled;
        bool complete;
        uint32_t timestamp;
    };
    std::vector<Ended> ended;
    bool refuse = false;

    explicit Frames(size_t aSize) : size(aSize), memory(aSize + 2 * kGuardSize, kGuard) {}
    Memory Begin(uint32_t) override
    {
        if (refuse) return Memory();
        std::fill(memory.begin() + kGuardSize, memory.end() - kGuardSize, 0);
        return Memory{memory.data() + kGuardSize, size};
    }
    void End(const Memory &m, size_t aBytes, bool aComplete, uint32_t aTimestamp) override
    {
        EXPECT_EQ(m.data, memory.data() + kGuardSize);
        ended.push_back({Bytes(m.data, m.data + std::min(aBytes, size)), aBytes, aComplete, aTimestamp});
    }
    bool GuardsIntact() const
    {
        for (size_t k = 0; k < kGuardSize; ++k)
            if (memory[k] != kGuard || memory[memory.size() - 1 - k] != kGuard) return false;
        return true;
    }
};

Bytes Header(bool aMarker, uint16_t aSequence, uint32_t aTimestamp, uint8_t aType = 96)
{
    Bytes out(kHeaderSize);
    WriteHeader(out.data(), aMarker, aType, aSequence, aTimestamp, 0x11223344);
    return out;
}

Packet Parsed(const Bytes &aDatagram)
{
    Packet p;
    EXPECT_TRUE(Parse(aDatagram.data(), aDatagram.size(), p));
    return p;
}

Bytes Pattern(size_t n, uint32_t seed)
{
    Bytes out(n);
    for (size_t k = 0; k < n; ++k) out[k] = uint8_t(k * 31 + seed * 7 + (k >> 8));
    return out;
}

// Our packetiser's datagrams for a frame.
std::vector<Bytes> Packets(const Bytes &aFrame, uint32_t w, uint32_t h, Sampling s, uint32_t padding, uint32_t ts,
                           size_t maxPacket, RawVideoPacketizer &aPacketizer)
{
    std::vector<Bytes> out;
    EXPECT_TRUE(aPacketizer.Send(aFrame.data(), w, h, s, padding, ts, maxPacket,
                                 [&](const uint8_t *d, size_t n) { out.emplace_back(d, d + n); }));
    return out;
}

} // namespace

TEST(RtpHeader, FieldsCsrcExtensionAndPaddingAreReadAndBadOnesRefused)
{
    Bytes d = Header(true, 0xBEEF, 0x01020304, 33);
    d.insert(d.end(), {9, 8, 7});
    Packet p = Parsed(d);
    EXPECT_TRUE(p.marker);
    EXPECT_EQ(p.payloadType, 33);
    EXPECT_EQ(p.sequence, 0xBEEF);
    EXPECT_EQ(p.timestamp, 0x01020304u);
    EXPECT_EQ(p.ssrc, 0x11223344u);
    EXPECT_EQ(Bytes(p.payload, p.payload + p.payloadSize), (Bytes{9, 8, 7}));

    // Two CSRCs, an extension of one word, two bytes of padding.
    Bytes x = Header(false, 1, 2);
    x[0] |= 0x20 | 0x10 | 2;
    x.insert(x.end(), 8, 0xCC);                    // CSRCs
    x.insert(x.end(), {0xBE, 0xDE, 0, 1, 1, 2, 3, 4});  // extension
    x.insert(x.end(), {0x55, 0x66, 0, 2});         // payload 55 66, padding 2
    p = Parsed(x);
    EXPECT_FALSE(p.marker);
    EXPECT_EQ(Bytes(p.payload, p.payload + p.payloadSize), (Bytes{0x55, 0x66}));

    Packet q;
    Bytes bad = x;
    bad[0] = uint8_t((bad[0] & 0x3F) | 0x40);  // version 1
    EXPECT_FALSE(Parse(bad.data(), bad.size(), q));
    bad = x;
    bad.back() = 7;  // more padding than payload
    EXPECT_FALSE(Parse(bad.data(), bad.size(), q));
    bad = x;
    bad.back() = 0;
    EXPECT_FALSE(Parse(bad.data(), bad.size(), q));
    bad = x;
    bad[12 + 8 + 3] = 200;  // the extension runs past the end
    EXPECT_FALSE(Parse(bad.data(), bad.size(), q));
    bad = Header(false, 1, 2);
    bad[0] |= 15;  // fifteen CSRCs that are not there
    EXPECT_FALSE(Parse(bad.data(), bad.size(), q));
    for (size_t n = 0; n < x.size(); ++n) Parse(x.data(), n, q);  // never reads past n
    EXPECT_FALSE(Parse(x.data(), 11, q));
    Bytes empty(x.begin(), x.begin() + 12 + 8 + 8);
    empty[0] &= ~0x20;
    EXPECT_TRUE(Parse(empty.data(), empty.size(), q)) << "a packet without payload";
    EXPECT_EQ(q.payloadSize, 0u);
}

TEST(RawVideo, SamplingOfPixelTypes)
{
    Sampling s;
    ASSERT_TRUE(SamplingOf(ZuPixelYUV422_8_UYVY, s));
    EXPECT_EQ(s.bytes, 4u);
    EXPECT_EQ(s.pixels, 2u);
    ASSERT_TRUE(SamplingOf(ZuPixelBGRa8, s));
    EXPECT_EQ(s.bytes, 4u);
    EXPECT_EQ(s.pixels, 1u);
    ASSERT_TRUE(SamplingOf(ZuPixelRGB8, s));
    EXPECT_EQ(s.bytes, 3u);
    ASSERT_TRUE(SamplingOf(ZuPixelMono8, s));
    EXPECT_EQ(s.bytes, 1u);
    EXPECT_FALSE(SamplingOf(ZuPixelMono12Packed, s));
    EXPECT_FALSE(SamplingOf(ZuPixelYUV422_8, s)) << "YUYV is not RFC 4175's order";
}

TEST(RawVideo, HandBuiltSegmentsLandAtTheirLineAndPixel)
{
    // UYVY 8x2 with 4 bytes of padding a line: two segments in one packet,
    // line 1 from pixel 4 (byte 8) and line 0 from pixel 0.
    RawVideoDepacketizer d;
    Sampling s{4, 2};
    ASSERT_TRUE(d.Configure(8, 2, s, 4));
    ASSERT_EQ(d.FrameSize(), 2u * (16 + 4));
    Frames f(d.FrameSize());
    Bytes pkt = Header(false, 10, 90);
    pkt.insert(pkt.end(), {0, 0,  0, 8, 0, 1, 0x80, 4,  0, 4, 0, 0, 0, 0});
    pkt.insert(pkt.end(), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    d.Feed(Parsed(pkt), f);
    // The rest: line 0 from pixel 2, line 1 up to pixel 4, with the marker.
    Bytes last = Header(true, 11, 90);
    last.insert(last.end(), {0, 0,  0, 12, 0, 0, 0x80, 2,  0, 8, 0, 1, 0, 0});
    for (int k = 0; k < 20; ++k) last.push_back(uint8_t(100 + k));
    d.Feed(Parsed(last), f);
    ASSERT_EQ(f.ended.size(), 1u);
    EXPECT_TRUE(f.ended[0].complete);
    EXPECT_EQ(f.ended[0].timestamp, 90u);
    Bytes want = {9, 10, 11, 12, 100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 0, 0, 0, 0,
                  112, 113, 114, 115, 116, 117, 118, 119, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0};
    EXPECT_EQ(f.ended[0].bytes, want);
    EXPECT_TRUE(f.GuardsIntact());
}

TEST(RawVideo, OurPacketsOfEverySamplingAndSizeComeBackWhole)
{
    struct Case {
        int32_t type;
        uint32_t w, h, padding;
        size_t maxPacket;
    } cases[] = {{ZuPixelRGB8, 33, 7, 0, 1400},    {ZuPixelYUV422_8_UYVY, 64, 5, 6, 100},
                 {ZuPixelMono8, 3, 40, 1, 60},     {ZuPixelBGRa8, 500, 3, 0, 9000},
                 {ZuPixelMono8, 1, 1, 0, 21},      {ZuPixelRGBa8, 17, 9, 3, 12 + 2 + 6 + 4}};
    for (const Case &c : cases) {
        Sampling s;
        ASSERT_TRUE(SamplingOf(c.type, s));
        RawVideoDepacketizer d;
        ASSERT_TRUE(d.Configure(c.w, c.h, s, c.padding));
        RawVideoPacketizer p(96, 7);
        Frames f(d.FrameSize());
        std::vector<Bytes> sent;
        for (uint32_t frame = 0; frame < 3; ++frame) {
            Bytes image = Pattern(d.FrameSize(), frame);
            for (uint32_t line = 0; line < c.h; ++line)  // padding is never sent nor written
                std::fill_n(image.begin() + line * (d.FrameSize() / c.h) + (d.FrameSize() / c.h - c.padding),
                            c.padding, 0);
            for (const Bytes &pkt : Packets(image, c.w, c.h, s, c.padding, 1000 * frame, c.maxPacket, p)) {
                EXPECT_LE(pkt.size(), c.maxPacket);
                d.Feed(Parsed(pkt), f);
            }
            ASSERT_EQ(f.ended.size(), frame + 1) << c.type;
            EXPECT_TRUE(f.ended.back().complete) << c.type << " " << c.w;
            EXPECT_EQ(f.ended.back().bytes, image) << c.type << " " << c.w;
        }
        EXPECT_EQ(d.Frames(), 3u);
        EXPECT_EQ(d.Incomplete(), 0u);
        EXPECT_TRUE(f.GuardsIntact());
    }
}

TEST(RawVideo, LossReorderingALostMarkerAndSmallMemoryMakeIncompleteFrames)
{
    Sampling s{3, 1};
    RawVideoDepacketizer d;
    ASSERT_TRUE(d.Configure(40, 10, s, 0));
    RawVideoPacketizer p(96, 7);
    Frames f(d.FrameSize());
    const Bytes image = Pattern(d.FrameSize(), 1);
    auto send = [&](uint32_t ts, size_t skip, bool swap) {
        std::vector<Bytes> pkts = Packets(image, 40, 10, s, 0, ts, 200, p);
        if (swap) std::swap(pkts[1], pkts[2]);
        for (size_t k = 0; k < pkts.size(); ++k)
            if (k != skip) d.Feed(Parsed(pkts[k]), f);
    };
    send(1, 3, false);                 // one packet lost
    send(2, size_t(-1), true);         // two swapped: every byte there, out of order
    send(3, size_t(-1), false);        // whole
    std::vector<Bytes> pkts = Packets(image, 40, 10, s, 0, 4, 200, p);
    for (size_t k = 0; k + 1 < pkts.size(); ++k) d.Feed(Parsed(pkts[k]), f);  // the marker lost
    send(5, size_t(-1), false);        // ends frame 4 and is whole itself
    ASSERT_EQ(f.ended.size(), 5u);
    EXPECT_FALSE(f.ended[0].complete);
    EXPECT_FALSE(f.ended[1].complete);
    EXPECT_EQ(f.ended[1].bytes, image) << "what arrived is still placed";
    EXPECT_TRUE(f.ended[2].complete);
    EXPECT_FALSE(f.ended[3].complete);
    EXPECT_EQ(f.ended[3].timestamp, 4u);
    EXPECT_TRUE(f.ended[4].complete);
    EXPECT_EQ(f.ended[4].bytes, image);
    EXPECT_EQ(d.Incomplete(), 3u);

    Frames small(d.FrameSize() - 1);
    for (const Bytes &pkt : Packets(image, 40, 10, s, 0, 6, 200, p)) d.Feed(Parsed(pkt), small);
    ASSERT_EQ(small.ended.size(), 1u);
    EXPECT_FALSE(small.ended[0].complete);
    EXPECT_TRUE(small.GuardsIntact());
    Frames none(d.FrameSize());
    none.refuse = true;
    for (const Bytes &pkt : Packets(image, 40, 10, s, 0, 7, 200, p)) d.Feed(Parsed(pkt), none);
    EXPECT_TRUE(none.ended.empty());
    EXPECT_EQ(d.Frames(), 7u);
    EXPECT_EQ(d.Incomplete(), 5u);
}

TEST(RawVideo, HostileSegmentsNeverWriteOutsideTheFrame)
{
    Sampling s{4, 2};
    RawVideoDepacketizer d;
    ASSERT_TRUE(d.Configure(8, 4, s, 0));
    Frames f(d.FrameSize());
    auto feed = [&](std::initializer_list<uint8_t> payload) {
        Bytes pkt = Header(true, 1, 5);
        pkt.insert(pkt.end(), payload);
        d.Feed(Parsed(pkt), f);
        ASSERT_FALSE(f.ended.empty());
        EXPECT_FALSE(f.ended.back().complete);
        EXPECT_TRUE(f.GuardsIntact());
    };
    feed({0, 0, 0, 16, 0, 4, 0, 0});               // line past the height
    feed({0, 0, 0, 16, 0, 0, 0, 8});               // offset past the width
    feed({0, 0, 0, 16, 0, 3, 0, 6, 1, 2, 3, 4});   // runs past the line's end (and the payload)
    feed({0, 0, 0, 4, 0, 0, 0, 1, 1, 2, 3, 4});    // offset inside a pixel group
    feed({0, 0, 0, 3, 0, 0, 0, 0, 1, 2, 3});       // length not whole groups
    feed({0, 0, 0, 4, 0, 0, 0x80, 0});             // a continuation to no header
    feed({0});                                     // no room for the sequence number
    feed({});
    feed({0, 0, 0xFF, 0xFF, 0x7F, 0xFF, 0x7F, 0xFF});
    for (const auto &e : f.ended)
        for (uint8_t b : Bytes(e.bytes.begin(), e.bytes.end())) EXPECT_TRUE(b == 0 || b <= 4);
    EXPECT_FALSE(d.Configure(7, 4, s, 0)) << "a width of half a group";
    EXPECT_FALSE(d.Configure(8, 4, Sampling{0, 1}, 0));
    EXPECT_FALSE(d.Configure(0xFFFFFFFE, 0xFFFF, Sampling{4, 2}, 0xFFFF));
}

namespace {

Bytes Annex(std::initializer_list<Bytes> aUnits)
{
    Bytes out;
    for (const Bytes &u : aUnits) {
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), u.begin(), u.end());
    }
    return out;
}

Bytes H264(bool aMarker, uint16_t aSequence, uint32_t aTimestamp, const Bytes &aPayload)
{
    Bytes pkt = Header(aMarker, aSequence, aTimestamp);
    pkt.insert(pkt.end(), aPayload.begin(), aPayload.end());
    return pkt;
}

} // namespace

TEST(H264, SingleAggregatedAndFragmentedUnitsBecomeOneAccessUnit)
{
    H264Depacketizer d;
    Frames f(256);
    const Bytes sps = {0x67, 0x42, 0x00, 0x1E}, pps = {0x68, 0xCE, 0x38}, sei = {0x06, 5, 1, 0x80};
    Bytes idr = {0x65};
    for (int k = 0; k < 40; ++k) idr.push_back(uint8_t(k));
    // STAP-A (sps, pps), a single SEI, the IDR slice in three fragments.
    Bytes stap = {0x78, 0, 4};
    stap.insert(stap.end(), sps.begin(), sps.end());
    stap.insert(stap.end(), {0, 3});
    stap.insert(stap.end(), pps.begin(), pps.end());
    d.Feed(Parsed(H264(false, 100, 3000, stap)), f);
    d.Feed(Parsed(H264(false, 101, 3000, sei)), f);
    const uint8_t indicator = 0x60 | 28;  // nri 3, FU-A
    Bytes a = {indicator, 0x80 | 5}, b = {indicator, 5}, c = {indicator, 0x40 | 5};
    a.insert(a.end(), idr.begin() + 1, idr.begin() + 15);
    b.insert(b.end(), idr.begin() + 15, idr.begin() + 30);
    c.insert(c.end(), idr.begin() + 30, idr.end());
    d.Feed(Parsed(H264(false, 102, 3000, a)), f);
    d.Feed(Parsed(H264(false, 103, 3000, b)), f);
    d.Feed(Parsed(H264(true, 104, 3000, c)), f);
    ASSERT_EQ(f.ended.size(), 1u);
    EXPECT_TRUE(f.ended[0].complete);
    EXPECT_EQ(f.ended[0].bytes, Annex({sps, pps, sei, idr}));
    EXPECT_EQ(f.ended[0].filled, Annex({sps, pps, sei, idr}).size());

    // The next access unit wraps the sequence number.
    d.Feed(Parsed(H264(false, 0xFFFF, 6000, {0x41, 1, 2})), f);
    d.Feed(Parsed(H264(true, 0, 6000, {0x41, 3})), f);
    ASSERT_EQ(f.ended.size(), 2u);
    EXPECT_TRUE(f.ended[1].complete);
    EXPECT_EQ(f.ended[1].bytes, Annex({{0x41, 1, 2}, {0x41, 3}}));
    EXPECT_TRUE(f.GuardsIntact());
}

TEST(H264, LostFragmentsBadAggregatesAndFullMemoryDamageTheUnit)
{
    const uint8_t fu = 0x40 | 28;
    auto run = [](std::vector<Bytes> aPackets, size_t aMemory = 256) {
        H264Depacketizer d;
        Frames f(aMemory);
        for (const Bytes &p : aPackets) d.Feed(Parsed(p), f);
        EXPECT_TRUE(f.GuardsIntact());
        EXPECT_EQ(f.ended.size(), 1u);
        return f.ended.empty() ? Frames::Ended{} : f.ended[0];
    };
    // The middle fragment lost: the unit's start stays, its tail is dropped.
    auto e = run({H264(false, 1, 9, {fu, 0x81, 1, 2}), H264(true, 3, 9, {fu, 0x41, 5, 6})});
    EXPECT_FALSE(e.complete);
    EXPECT_EQ(e.bytes, Annex({{0x41, 1, 2}}));
    // A fragment without its start, then a whole unit.
    e = run({H264(false, 1, 9, {fu, 0x01, 1, 2}), H264(true, 2, 9, {0x41, 7})});
    EXPECT_FALSE(e.complete);
    EXPECT_EQ(e.bytes, Annex({{0x41, 7}}));
    // A unit still open at the marker.
    EXPECT_FALSE(run({H264(true, 1, 9, {fu, 0x81, 1})}).complete);
    // STAP-A whose size runs past the packet, or is zero.
    e = run({H264(true, 1, 9, {0x18, 0, 2, 0x41, 1, 0, 9, 0x41})});
    EXPECT_FALSE(e.complete);
    EXPECT_EQ(e.bytes, Annex({{0x41, 1}}));
    EXPECT_FALSE(run({H264(true, 1, 9, {0x18, 0, 0, 0x41})}).complete);
    EXPECT_FALSE(run({H264(true, 1, 9, {0x18, 0})}).complete);
    // Interleaved and reserved types, the forbidden bit, an empty payload.
    for (uint8_t t : {25, 26, 27, 29, 30, 0}) EXPECT_FALSE(run({H264(true, 1, 9, {t, 1, 2, 3})}).complete) << int(t);
    EXPECT_FALSE(run({H264(true, 1, 9, {0xC1, 1})}).complete);
    EXPECT_FALSE(run({H264(true, 1, 9, {})}).complete);
    EXPECT_FALSE(run({H264(true, 1, 9, {fu})}).complete);
    // Memory for 13 bytes: the first unit fits, the second's start code and
    // header would but not its body, and a third small one comes too late.
    e = run({H264(false, 1, 9, {0x41, 1, 2, 3}), H264(false, 2, 9, {0x41, 5, 6}), H264(true, 3, 9, {0x09})}, 13);
    EXPECT_FALSE(e.complete);
    EXPECT_EQ(e.bytes, Annex({{0x41, 1, 2, 3}}));
    EXPECT_EQ(e.filled, 8u);
}

TEST(StreamFramer, PacketsComeWholeHoweverTheBytesAreCut)
{
    Bytes stream;
    std::vector<Bytes> want;
    for (size_t n : {12u, 1u, 0u, 300u, 65535u, 13u}) {
        Bytes p = Pattern(n, uint32_t(n));
        stream.push_back(uint8_t(n >> 8));
        stream.push_back(uint8_t(n));
        stream.insert(stream.end(), p.begin(), p.end());
        if (n) want.push_back(p);
    }
    for (size_t cut : {1u, 2u, 3u, 7u, 1000u, 70000u}) {
        StreamFramer framer;
        std::vector<Bytes> got;
        for (size_t at = 0; at < stream.size(); at += cut)
            framer.Feed(stream.data() + at, std::min(cut, stream.size() - at),
                        [&](const uint8_t *d, size_t n) { got.emplace_back(d, d + n); });
        EXPECT_EQ(got, want) << cut;
        EXPECT_EQ(framer.Pending(), 0u);
    }
    StreamFramer framer;
    int calls = 0;
    framer.Feed(stream.data(), 5, [&](const uint8_t *, size_t) { ++calls; });
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(framer.Pending(), 5u);
}

TEST(RtpHostile, MangledPacketsNeverWriteOutsideTheFrame)
{
    // Our packets and hand-made H.264 packets with random bytes changed,
    // cut or extended, fed through the TCP framing as well.
    std::mt19937 rng(20261209);
    Sampling s{4, 2};
    RawVideoDepacketizer raw;
    ASSERT_TRUE(raw.Configure(64, 16, s, 2));
    H264Depacketizer h264;
    RawVideoPacketizer p(96, 3);
    Frames rawFrames(raw.FrameSize()), h264Frames(300);
    Bytes image = Pattern(raw.FrameSize(), 4);
    for (size_t line = 0; line < 16; ++line) image[line * 130 + 128] = image[line * 130 + 129] = 0;  // padding
    std::vector<Bytes> seeds = Packets(image, 64, 16, s, 2, 1, 180, p);
    seeds.push_back(H264(true, 5, 1, {0x7C, 0x85, 1, 2, 3}));
    seeds.push_back(H264(true, 6, 1, {0x18, 0, 3, 0x41, 1, 2, 0, 2, 0x41, 3}));
    StreamFramer framer;
    for (int round = 0; round < 20000; ++round) {
        Bytes pkt = seeds[rng() % seeds.size()];
        const int edits = int(rng() % 6);
        for (int k = 0; k < edits && !pkt.empty(); ++k) {
            switch (rng() % 4) {
            case 0: pkt[rng() % pkt.size()] = uint8_t(rng()); break;
            case 1: pkt.resize(rng() % (pkt.size() + 1)); break;
            case 2: pkt.insert(pkt.end(), rng() % 40, uint8_t(rng())); break;
            default: {  // a continuation or marker bit flipped
                const size_t at = 12 + rng() % 8;
                pkt[at < pkt.size() ? at : 0] ^= 0x80;
                break;
            }
            }
        }
        Packet q;
        if (Parse(pkt.data(), pkt.size(), q)) {
            raw.Feed(q, rawFrames);
            h264.Feed(q, h264Frames);
        }
        Bytes framed = {uint8_t(pkt.size() >> 8), uint8_t(pkt.size())};
        framed.insert(framed.end(), pkt.begin(), pkt.end());
        framer.Feed(framed.data(), rng() % (framed.size() + 1), [&](const uint8_t *d, size_t n) {
            if (Parse(d, n, q)) h264.Feed(q, h264Frames);
        });
    }
    EXPECT_TRUE(rawFrames.GuardsIntact());
    EXPECT_TRUE(h264Frames.GuardsIntact());
    for (const auto &e : h264Frames.ended) EXPECT_LE(e.filled, 300u);
    // Whole frames still come through afterwards.
    raw.Flush(rawFrames);
    rawFrames.ended.clear();
    for (const Bytes &pkt : Packets(image, 64, 16, s, 2, 99, 180, p)) raw.Feed(Parsed(pkt), rawFrames);
    ASSERT_EQ(rawFrames.ended.size(), 1u);
    EXPECT_TRUE(rawFrames.ended[0].complete);
    EXPECT_EQ(rawFrames.ended[0].bytes, image);
}

TEST(RawVideoPacketizer, RefusesWhatItCannotCarry)
{
    RawVideoPacketizer p(96, 1);
    Bytes frame(100);
    int calls = 0;
    auto emit = [&](const uint8_t *, size_t) { ++calls; };
    EXPECT_FALSE(p.Send(frame.data(), 5, 2, Sampling{4, 2}, 0, 0, 1400, emit)) << "half a group";
    EXPECT_FALSE(p.Send(frame.data(), 4, 2, Sampling{4, 2}, 0, 0, 12 + 2 + 6 + 3, emit)) << "no room for a group";
    EXPECT_FALSE(p.Send(frame.data(), 0x8001, 1, Sampling{1, 1}, 0, 0, 1400, emit)) << "offsets have 15 bits";
    EXPECT_FALSE(p.Send(frame.data(), 4, 2, Sampling{4, 2}, 0, 0, 70000, emit));
    EXPECT_EQ(calls, 0);
}

TEST(RawVideoPacketizer, TheExtendedSequenceNumberCarriesPastSixteenBits)
{
    // One two-pixel line a packet: 0x8000 packets a frame, so the third
    // frame starts past the 16 bits of the RTP header.
    RawVideoPacketizer p(96, 1);
    const uint32_t height = 0x8000;
    Bytes frame(2 * height, 5);
    const size_t onePacket = 12 + 2 + 6 + 2;
    uint32_t count = 0, extendedAt65536 = 0, extendedLast = 0;
    auto emit = [&](const uint8_t *d, size_t n) {
        ASSERT_EQ(n, onePacket);
        const uint32_t extended = uint32_t(d[12]) << 24 | uint32_t(d[13]) << 16 | uint32_t(d[2]) << 8 | d[3];
        if (count == 0x10000) extendedAt65536 = extended;
        extendedLast = extended;
        ++count;
    };
    for (uint32_t f = 0; f < 3; ++f) ASSERT_TRUE(p.Send(frame.data(), 2, height, Sampling{1, 1}, 0, f, onePacket, emit));
    EXPECT_EQ(count, 3 * height);
    EXPECT_EQ(extendedAt65536, 0x10000u);
    EXPECT_EQ(extendedLast, 3 * height - 1);
}
