// What reassembly makes of a stream that does not stay as it began: packet
// sizes changed between acquisitions, cameras restarted into an open
// stream, stray and hostile packets from the device's address. A block
// that comes back complete must be, byte for byte, the block sent; a bad
// packet may cost the block it names and nothing more.
#include "gvsp_loop.h"
#include "gvsp_property.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdlib>
#include <map>
#include <new>
#include <cstdio>
#include <random>

// Allocations made while counting is on (the reassembler's own, in the
// test that asks for it).
namespace {
std::atomic<bool> gCounting{false};
std::atomic<size_t> gAllocations{0};
} // namespace

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(size_t aSize)
{
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(aSize ? aSize : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void *aPointer) noexcept { std::free(aPointer); }
void operator delete(void *aPointer, size_t) noexcept { std::free(aPointer); }
#pragma GCC diagnostic pop

namespace {

using namespace gvsptest;
using Sent = std::map<uint64_t, std::vector<uint8_t>>;

// Every block that came back complete is the one sent under its id: its
// bytes, and the image its leader describes (as ImageSource sends them,
// the bytes are w x h Mono8).
void ExpectCompleteOnesExact(const Loop &aLoop, const Sent &aSent, const char *aWhat)
{
    for (const Received &r : aLoop.received) {
        if (r.outcome != Outcome::Complete) continue;
        auto it = aSent.find(r.blockId);
        ASSERT_NE(it, aSent.end()) << aWhat << ": block " << r.blockId << " was never sent";
        EXPECT_TRUE(r.bytes == it->second) << aWhat << ": block " << r.blockId << " complete with wrong bytes";
        const ImageInfo &image = r.result.leader.image;
        EXPECT_TRUE(r.result.leaderValid && r.result.leader.payloadType == PAYLOAD_IMAGE &&
                    image.pixelFormat == 0x01080001 && uint64_t(image.sizeX) * image.sizeY == it->second.size())
            << aWhat << ": block " << r.blockId << " complete with another description";
    }
    EXPECT_TRUE(aLoop.guardsIntact) << aWhat;
}

const Received *Find(const Loop &aLoop, uint64_t aBlockId)
{
    for (const Received &r : aLoop.received)
        if (r.blockId == aBlockId) return &r;
    return nullptr;
}

Leader HugeImageLeader()
{
    Leader l;
    l.payloadType = PAYLOAD_IMAGE;
    l.image.pixelFormat = 0x01080001;
    l.image.sizeX = l.image.sizeY = 0xFFFFFFFF;
    return l;
}

TEST(Reassembly, EachBlockIsPlacedByItsOwnPacketSize)
{
    // As a camera whose packet size is lowered and raised between
    // acquisitions on a stream that stays open.
    for (bool extended : {false, true}) {
        Loop loop;
        loop.capacity = 1 << 16;
        loop.extendedId = extended;
        loop.channel.reorder = 0.02;
        Sent sent;
        uint64_t block = 1;
        for (size_t datagram : {9000, 1500, 4000, 576, 9000, 1500}) {
            loop.datagram = datagram;
            for (int k = 0; k < 2; ++k, ++block) {
                sent[block] = Pattern(300 * 200, uint32_t(block));
                ASSERT_TRUE(loop.send(ImageSource(sent[block], 300, 200), block));
                loop.settle();
            }
        }
        ASSERT_EQ(loop.received.size(), sent.size());
        for (const Received &r : loop.received) EXPECT_EQ(r.outcome, Outcome::Complete) << "block " << r.blockId;
        ExpectCompleteOnesExact(loop, sent, extended ? "extended" : "standard");
        EXPECT_EQ(loop.reassembler().stride(), 1500 - headerSize(extended));
    }
}

TEST(Reassembly, AStrayPayloadPacketFailsOnlyTheBlockItNames)
{
    Loop loop;
    loop.capacity = 1 << 16;
    loop.datagram = 1500;
    Sent sent;
    auto send = [&](uint64_t aBlock) {
        sent[aBlock] = Pattern(400 * 100, uint32_t(aBlock));
        ASSERT_TRUE(loop.send(ImageSource(sent[aBlock], 400, 100), aBlock));
        loop.settle();
    };
    const std::vector<uint8_t> big(8000, 0x5A);
    send(1);
    // In the block under way: over a packet already here, then over one
    // still to come.
    loop.inject = {Forge(2, 3, FORMAT_PAYLOAD, big)};
    loop.injectAfter = 5;
    send(2);
    loop.inject = {Forge(3, 20, FORMAT_PAYLOAD, big)};
    loop.injectAfter = 5;
    send(3);
    // Ahead of its block, as the first packet the block sees.
    loop.deliver(Forge(4, 1, FORMAT_PAYLOAD, big));
    send(4);
    for (uint64_t b = 5; b <= 8; ++b) send(b);
    ASSERT_EQ(loop.received.size(), 8u);
    ExpectCompleteOnesExact(loop, sent, "stray");
    for (const Received &r : loop.received) {
        bool named = r.blockId >= 2 && r.blockId <= 4;
        EXPECT_EQ(r.outcome, named ? Outcome::MissingPackets : Outcome::Complete) << "block " << r.blockId;
        if (named) {
            EXPECT_GE(r.result.statistics.ignored, 1u);
        }
    }
}

// One hostile datagram from the device's address, slipped into a block
// under way or sent before the block it names: that block may fail, every
// other one arrives whole.
TEST(Reassembly, OneHostilePacketCostsAtMostTheBlockItNames)
{
    std::mt19937 random(7);
    auto bytes = [&](size_t aCount) {
        std::vector<uint8_t> v(aCount);
        for (auto &b : v) b = uint8_t(random());
        return v;
    };
    struct Case {
        const char *name;
        std::function<std::vector<std::vector<uint8_t>>(uint64_t)> packets;   // for the block it names
        bool namesTheBlock;
    };
    std::vector<Case> cases = {
        {"GenDC packet of random bytes",
         [&](uint64_t b) { return std::vector<std::vector<uint8_t>>{Forge(b, 1 + random() % 40, FORMAT_GENDC, bytes(100))}; },
         true},
        {"random datagram in GenDC format",
         [&](uint64_t) {
             auto d = bytes(100);
             d[4] = uint8_t((d[4] & 0xF0) | FORMAT_GENDC);
             return std::vector<std::vector<uint8_t>>{d};
         },
         false},
        {"leader and trailer 30000 blocks ahead",
         [&](uint64_t b) {
             uint64_t far = (b + 30000 - 1) % 0xFFFF + 1;
             Leader l;
             l.image.pixelFormat = 0x01080001;
             l.image.sizeX = l.image.sizeY = 8;
             Trailer t;
             t.sizeY = 8;
             return std::vector<std::vector<uint8_t>>{ForgeLeader(far, l), ForgeTrailer(far, 1, t)};
         },
         false},
        {"leader of 0xFFFFFFFF x 0xFFFFFFFF",
         [&](uint64_t b) { return std::vector<std::vector<uint8_t>>{ForgeLeader(b, HugeImageLeader())}; }, true},
        {"GenDC packet of 1400 zero bytes",
         [&](uint64_t b) {
             return std::vector<std::vector<uint8_t>>{Forge(b, 1 + random() % 40, FORMAT_GENDC, std::vector<uint8_t>(1400))};
         },
         true},
    };
    for (const Case &c : cases) {
        for (bool midway : {false, true}) {
            for (int round = 0; round < 8; ++round) {
                Loop loop(ReassemblerConfig(), uint32_t(round + 1));
                loop.capacity = 1 << 16;
                loop.channel.loss = round % 2 ? 0.03 : 0;
                Sent sent;
                const uint64_t first = round < 4 ? 1 : 65530;   // and across the wrap of the ids
                uint64_t block = first, named = 0;
                for (int k = 0; k < 25; ++k, block = nextBlockId(block, false)) {
                    if (k == 3) {
                        named = block;
                        if (midway) {
                            loop.inject = c.packets(block);
                            loop.injectAfter = 10;
                        } else {
                            for (auto &d : c.packets(block)) loop.deliver(d);
                        }
                    }
                    sent[block] = Pattern(200 * 100, uint32_t(block + round));
                    ASSERT_TRUE(loop.send(ImageSource(sent[block], 200, 100), block));
                    loop.now += 2000;
                }
                loop.settle();
                std::string what = std::string(c.name) + (midway ? ", midway" : ", before") + ", round " +
                                   std::to_string(round);
                ExpectCompleteOnesExact(loop, sent, what.c_str());
                size_t whole = 0;
                for (auto &[id, bytes] : sent) {
                    const Received *r = Find(loop, id);
                    if (r && r->outcome == Outcome::Complete) ++whole;
                    else EXPECT_TRUE(c.namesTheBlock && id == named) << what << ": block " << id << " lost";
                }
                EXPECT_GE(whole, 24u) << what;
            }
        }
    }
}

TEST(Reassembly, ACameraRestartedIntoTheStreamResumesAtOnce)
{
    for (bool extended : {false, true}) {
        Loop loop;
        loop.capacity = 1024;
        loop.extendedId = extended;
        Sent first, second;
        auto session = [&](Sent &aSent, uint64_t aCount, uint64_t aClock, uint32_t aSeed) {
            for (uint64_t b = 1; b <= aCount; ++b) {
                aSent[b] = Pattern(64 * 8, uint32_t(b + aSeed));
                BlockSource s = ImageSource(aSent[b], 64, 8);
                s.leader.timestamp = aClock + b * 1000;
                ASSERT_TRUE(loop.send(s, b));
            }
            loop.settle();
        };
        // A long first session; the restarted camera's clock and ids begin again.
        session(first, 300, 0, 0);
        ASSERT_EQ(loop.received.size(), 300u);
        loop.received.clear();
        session(second, 20, 0, 1000);
        ASSERT_EQ(loop.received.size(), 20u) << "extended " << extended;
        ExpectCompleteOnesExact(loop, second, "after the restart");
        for (const Received &r : loop.received) EXPECT_EQ(r.outcome, Outcome::Complete);

        // A short one: the ids are those of recent blocks, the clock is not.
        loop.received.clear();
        Sent third;
        session(third, 10, 1 << 20, 2000);
        ASSERT_EQ(loop.received.size(), 10u);
        ExpectCompleteOnesExact(loop, third, "after a quick restart");
    }
}

TEST(Reassembly, IdsOfTheSequenceBeforeARestartHoldNothingBack)
{
    // Block 3 of the first sequence never had its leader; after a restart
    // and a stray leader far ahead, the new block 3 must not be taken for
    // a late packet of the old one.
    ReassemblerConfig c;
    c.resendEnabled = false;
    Loop loop(c);
    Sent sent;
    for (uint64_t b = 1; b <= 5; ++b) {
        auto bytes = Pattern(3000, uint32_t(b));
        BlockSource s = ImageSource(bytes, 100, 30);
        s.leader.timestamp = b;
        Packetizer p;
        ASSERT_TRUE(p.start(s, b, loop.datagram, false));
        for (uint32_t id = b == 3 ? 1 : 0; id < p.packetCount(); ++id) loop.deliver(Datagram(p, id, loop.datagram));
    }
    loop.settle();
    loop.received.clear();
    Leader l;
    l.image.pixelFormat = 0x01080001;
    l.image.sizeX = l.image.sizeY = 8;
    for (uint64_t b = 1; b <= 5; ++b) {
        if (b == 3) loop.deliver(ForgeLeader(30003, l));
        sent[b] = Pattern(3000, uint32_t(b + 10));
        BlockSource s = ImageSource(sent[b], 100, 30);
        s.leader.timestamp = 1000 + b;
        ASSERT_TRUE(loop.send(s, b));
    }
    loop.settle();
    ExpectCompleteOnesExact(loop, sent, "after the restart");
    for (uint64_t b = 1; b <= 5; ++b) {
        const Received *r = Find(loop, b);
        EXPECT_TRUE(r && r->outcome == Outcome::Complete) << "block " << b;
    }
}

TEST(Reassembly, AStrayPacketFarAheadBeginsNothing)
{
    Loop loop;
    Sent sent;
    for (uint64_t b = 1; b <= 4; ++b) {
        if (b == 4) loop.deliver(Forge(3 + 1000, 2, FORMAT_PAYLOAD, std::vector<uint8_t>(1392, 7)));
        sent[b] = Pattern(5000, uint32_t(b));
        ASSERT_TRUE(loop.send(ImageSource(sent[b], 100, 50), b));
        loop.settle();
    }
    ASSERT_EQ(loop.received.size(), 4u);
    for (const Received &r : loop.received) EXPECT_EQ(r.outcome, Outcome::Complete);
    EXPECT_EQ(loop.reassembler().counters().ignored, 1u);
    EXPECT_EQ(loop.reassembler().counters().blocksDropped, 0u);
}

TEST(Reassembly, ALateLeaderOfARecentBlockBeginsNothingAndAForgedOneCompletesNothing)
{
    Loop loop;
    Sent sent;
    std::vector<uint8_t> leaders[6];
    for (uint64_t b = 1; b <= 5; ++b) {
        sent[b] = Pattern(1000, uint32_t(b));
        BlockSource s = ImageSource(sent[b], 100, 10);
        s.leader.timestamp = b * 77;
        Packetizer p;
        ASSERT_TRUE(p.start(s, b, loop.datagram, false));
        leaders[b] = Datagram(p, 0, loop.datagram);
        ASSERT_TRUE(loop.send(s, b));
    }
    loop.settle();
    ASSERT_EQ(loop.received.size(), 5u);
    // A resent leader arriving after its block ended, once and twice.
    loop.deliver(leaders[3]);
    loop.deliver(leaders[5]);
    loop.settle();
    EXPECT_EQ(loop.received.size(), 5u);
    EXPECT_EQ(loop.reassembler().openBlocks(), 0u);
    // One with another clock and size may be a restarted camera's; the
    // transmitter's resends of the past block 3 never complete it.
    Leader forged;
    forged.timestamp = 1;
    forged.image.pixelFormat = 0x01080001;
    forged.image.sizeX = 50;
    forged.image.sizeY = 20;
    const size_t asked = loop.resends.size();
    loop.deliver(ForgeLeader(3, forged));
    loop.settle();
    ASSERT_EQ(loop.received.size(), 6u);
    EXPECT_EQ(loop.received.back().blockId, 3u);
    EXPECT_EQ(loop.received.back().outcome, Outcome::MissingPackets);
    EXPECT_EQ(loop.resends.size(), asked);
    sent[6] = Pattern(1000, 6);
    ASSERT_TRUE(loop.send(ImageSource(sent[6], 100, 10), 6));
    loop.settle();
    ASSERT_EQ(loop.received.size(), 7u);
    EXPECT_EQ(loop.received.back().outcome, Outcome::Complete);
}

TEST(Reassembly, BlocksOfTheOldSequenceNeverTakePacketsOfTheNew)
{
    // The camera restarts while its block 5 still waits for a resend that
    // never comes; the new block 5 must not land in the old one.
    ReassemblerConfig c;
    c.blockTimeoutUs = 10000000;
    Loop loop(c);
    loop.channel.serveResends = false;
    Sent old, fresh;
    for (uint64_t b = 1; b <= 5; ++b) {
        old[b] = Pattern(5000, uint32_t(b));
        BlockSource s = ImageSource(old[b], 100, 50);
        s.leader.timestamp = b;
        if (b == 5) loop.channel.loss = 0.3;
        ASSERT_TRUE(loop.send(s, b));
    }
    loop.channel.loss = 0;
    loop.now += 100;
    for (uint64_t b = 1; b <= 6; ++b) {
        fresh[b] = Pattern(5000, uint32_t(b + 100));
        BlockSource s = ImageSource(fresh[b], 100, 50);
        s.leader.timestamp = 1000000 + b;
        ASSERT_TRUE(loop.send(s, b));
    }
    loop.settle();
    size_t whole = 0;
    for (const Received &r : loop.received) {
        if (r.outcome != Outcome::Complete) continue;
        const bool isOld = r.result.leader.timestamp < 1000000;
        EXPECT_TRUE(r.bytes == (isOld ? old : fresh)[r.blockId]) << "block " << r.blockId << (isOld ? " old" : " new");
        whole += !isOld;
    }
    EXPECT_EQ(whole, 6u);
}

TEST(Reassembly, APacketNamingAFarIdCostsNoMoreThanAnother)
{
    // Nine bytes naming packet 0xFFFFF, each into a block of its own and
    // into one under way: what a block keeps follows the packets it got,
    // not the ids they name. Generous: each used to cost milliseconds.
    Loop loop;
    loop.capacity = 1 << 16;
    auto start = std::chrono::steady_clock::now();
    uint64_t block = 1;
    for (int k = 0; k < 1000; ++k, block = nextBlockId(block, false))
        loop.deliver(Forge(block, 0xFFFFF, FORMAT_PAYLOAD, std::vector<uint8_t>(9, 1)));
    auto image = Pattern(20000, 3);
    loop.inject = {Forge(block, 0xFFFFF, FORMAT_PAYLOAD, std::vector<uint8_t>(9, 1))};
    loop.injectAfter = 2;
    ASSERT_TRUE(loop.send(ImageSource(image, 200, 100), block));
    loop.settle();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 3.0);
    EXPECT_EQ(loop.reassembler().openBlocks(), 0u);
    for (const Received &r : loop.received) EXPECT_NE(r.outcome, Outcome::Complete);
    EXPECT_TRUE(loop.guardsIntact);
}

// A sink with memory set aside, so that only the reassembler's own
// allocations are counted.
struct QuietSink : ReassemblerSink {
    std::vector<std::vector<uint8_t>> memory = std::vector<std::vector<uint8_t>>(32, std::vector<uint8_t>(1 << 16));
    size_t next = 0, whole = 0, failed = 0, resends = 0;
    bool acquire(uint64_t, Destination &aDestination) override
    {
        aDestination.data = memory[next % memory.size()].data();
        aDestination.capacity = memory[next % memory.size()].size();
        ++next;
        return true;
    }
    void requestResend(uint64_t, bool, uint32_t, uint32_t) override { ++resends; }
    void complete(const BlockResult &aResult) override { ++(aResult.outcome == Outcome::Complete ? whole : failed); }
};

TEST(Reassembly, AStreamUnderWayAllocatesNothing)
{
    QuietSink sink;
    Reassembler reassembler(sink);
    auto image = Pattern(30000, 1);
    // Each block the same way: out of order, a duplicate, and every other
    // block two packets that never come.
    std::vector<std::vector<std::vector<uint8_t>>> blocks;
    for (uint64_t b = 1; b <= 60; ++b) {
        Packetizer p;
        EXPECT_TRUE(p.start(ImageSource(image, 300, 100), b, 1400, false));
        std::vector<std::vector<uint8_t>> packets;
        for (uint32_t id : {0u, 1u, 3u, 2u, 4u, 5u, 5u, 9u, 6u, 7u, 8u})
            if (!(b % 2 && (id == 6 || id == 8))) packets.push_back(Datagram(p, id));
        for (uint32_t id = 10; id < p.packetCount(); ++id) packets.push_back(Datagram(p, id));
        blocks.push_back(std::move(packets));
    }
    uint64_t now = 1;
    for (size_t b = 0; b < blocks.size(); ++b) {
        gCounting = b >= 20;   // once the first blocks set up what is kept
        for (auto &d : blocks[b]) reassembler.onPacket(d.data(), d.size(), now += 3);
        now += 30000;
        reassembler.onTick(now);
        gCounting = false;
    }
    reassembler.onTick(now + 10000000);
    EXPECT_EQ(gAllocations.load(), 0u);
    EXPECT_EQ(sink.whole, 30u);
    EXPECT_EQ(sink.failed, 30u);
}

TEST(Reassembly, PacketsThatContradictTheLayoutFailTheirBlock)
{
    auto image = Pattern(1392 * 6 + 500, 4);   // six full packets and a short one
    BlockSource source = ImageSource(image, 1, uint32_t(image.size()));
    Packetizer p;
    ASSERT_TRUE(p.start(source, 1, 1400, false));
    ASSERT_EQ(p.packetCount(), 9u);
    auto packet = [&](uint32_t aId) { return Datagram(p, aId); };
    Trailer trailer;
    trailer.sizeY = uint32_t(image.size());
    Leader tall = source.leader;
    tall.image.sizeY += 1;
    Trailer tallTrailer = trailer;
    tallTrailer.sizeY += 1;
    std::vector<uint8_t> changed = packet(3);
    changed.back() ^= 1;
    std::vector<uint8_t> gendcBody = {0, 0, 1, 0xF4, 0, 0, 0, 0, 0, 0, 0x20, 0xA0, 0, 0, 0, 0};   // 500 bytes at 8352
    gendcBody.resize(gendcBody.size() + 500);
    const std::vector<uint8_t> gendc = Forge(1, 7, FORMAT_GENDC, gendcBody);
    // An image and 16 bytes of chunks in six full packets.
    auto withChunks = Pattern(1392 * 6, 5);
    BlockSource chunkSource = ImageSource(withChunks, 1, uint32_t(withChunks.size() - 16));
    chunkSource.leader.payloadType = PAYLOAD_IMAGE | PAYLOAD_CHUNK_FLAG;
    chunkSource.trailer.chunkPayloadLength = 16;
    Packetizer q;
    ASSERT_TRUE(q.start(chunkSource, 1, 1400, false));
    ASSERT_EQ(q.packetCount(), 8u);
    auto chunked = [&](uint32_t aId) { return Datagram(q, aId); };
    Trailer fewerChunks = chunkSource.trailer;
    fewerChunks.payloadType = chunkSource.leader.payloadType;
    fewerChunks.chunkPayloadLength = 8;
    struct Case {
        const char *name;
        std::vector<std::vector<uint8_t>> packets;
    };
    std::vector<Case> cases = {
        {"as sent", {packet(0), packet(1), packet(2), packet(3), packet(4), packet(5), packet(6), packet(7), packet(8)}},
        {"a copy with other bytes",
         {packet(0), packet(1), packet(2), packet(3), changed, packet(4), packet(5), packet(6), packet(7), packet(8)}},
        {"the short packet not last",
         {packet(0), packet(1), packet(2), Forge(1, 3, FORMAT_PAYLOAD, std::vector<uint8_t>(500)), packet(4), packet(5),
          packet(6), packet(7), packet(8)}},
        {"a trailer before data already here",
         {chunked(0), chunked(1), chunked(2), chunked(3), chunked(4), chunked(6), ForgeTrailer(1, 5, fewerChunks),
          chunked(5), chunked(7)}},
        {"a larger packet in the one gap",
         {packet(0), packet(1), packet(2), packet(3), packet(5), packet(6), packet(7), packet(8),
          Forge(1, 4, FORMAT_PAYLOAD, std::vector<uint8_t>(1393))}},
        {"a GenDC packet in the one gap",
         {packet(0), packet(1), packet(2), packet(3), packet(4), packet(5), packet(6), packet(8), gendc}},
        {"data after the trailer",
         {packet(0), packet(1), packet(2), packet(3), packet(4), packet(5), packet(6), packet(8),
          Forge(1, 9, FORMAT_PAYLOAD, std::vector<uint8_t>(100)), packet(7)}},
        {"a leader announcing more lines", {ForgeLeader(1, tall), packet(1), packet(2), packet(3), packet(4), packet(5),
                                            packet(6), packet(7), ForgeTrailer(1, 8, tallTrailer)}},
        {"a multi-part packet in an image",
         {packet(0), packet(1), packet(2), packet(3), packet(4), packet(5), packet(6), packet(7),
          Forge(1, 8, FORMAT_MULTIPART, std::vector<uint8_t>(20)), packet(8)}},
        {"a second leader", {packet(0), packet(1), ForgeLeader(1, tall), packet(2), packet(3), packet(4), packet(5),
                             packet(6), packet(7), packet(8)}},
    };
    for (const Case &c : cases) {
        ReassemblerConfig config;
        config.resendEnabled = false;
        Loop loop(config);
        for (const auto &d : c.packets) loop.deliver(d);
        loop.settle();
        ASSERT_EQ(loop.received.size(), 1u) << c.name;
        const Received &r = loop.received[0];
        if (&c == &cases[0]) {
            EXPECT_EQ(r.outcome, Outcome::Complete);
            EXPECT_TRUE(r.bytes == image);
        } else {
            EXPECT_EQ(r.outcome, Outcome::MissingPackets) << c.name;
        }
    }
}

TEST(Reassembly, WhateverHappensACompleteBlockIsOneThatWasSent)
{
    // Seeded, so that a failure repeats: the seed is in its message.
    // TARN_GVSP_PROPERTY_SECONDS goes on with further seeds for that long.
    const char *longer = std::getenv("TARN_GVSP_PROPERTY_SECONDS");
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(longer ? std::atof(longer) : 0);
    size_t runs = 0, sent = 0, complete = 0, tail = 0;
    for (uint32_t seed = 1; seed <= 80 || std::chrono::steady_clock::now() < until; ++seed, ++runs) {
        RandomChoices choices(seed);
        PropertyOutcome o = RunProperty(choices, 60);
        ASSERT_TRUE(o.failure.empty()) << "seed " << seed << ": " << o.failure;
        sent += o.sent;
        complete += o.complete;
        tail += o.tail;
    }
    // Not vacuous: most blocks come whole, trouble or not.
    EXPECT_GT(complete, sent / 2);
    EXPECT_GT(tail, runs * 3);
    std::printf("%zu runs, %zu blocks sent, %zu complete\n", runs, sent, complete);
}

} // namespace
