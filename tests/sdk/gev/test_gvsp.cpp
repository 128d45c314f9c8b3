#include "gev/dissect.h"
#include "gvsp_loop.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tarn::gvsp;
using namespace gvsptest;

namespace {

std::vector<uint8_t> Encode(size_t (*aEncode)(const Header &, const Leader &, const PartInfo *, uint8_t *, size_t),
                            const Header &aHeader, const Leader &aLeader, const PartInfo *aParts = nullptr)
{
    std::vector<uint8_t> out(2048);
    out.resize(aEncode(aHeader, aLeader, aParts, out.data(), out.size()));
    return out;
}

std::optional<Packet> Parse(const std::vector<uint8_t> &aBytes) { return parsePacket(aBytes.data(), aBytes.size()); }

uint32_t Be32(const uint8_t *p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

// ---- Header and field layout

TEST(GvspHeader, StandardAndExtendedIdsSitWhereReceiversLookForThem)
{
    Header h;
    h.status = STATUS_PACKET_RESEND;
    h.blockId = 0xBEEF;
    h.packetId = 0x123456;
    h.format = FORMAT_PAYLOAD;
    uint8_t out[32] = {};
    ASSERT_EQ(writeHeader(h, out, sizeof out), kHeaderSize);
    const uint8_t standard[8] = {0x01, 0x00, 0xBE, 0xEF, 0x03, 0x12, 0x34, 0x56};
    EXPECT_EQ(0, std::memcmp(out, standard, 8));

    h.extendedId = true;
    h.flags = FLAG_PACKET_RESEND;
    h.blockId = 0x0102030405060708ull;
    h.packetId = 0x89ABCDEF;
    ASSERT_EQ(writeHeader(h, out, sizeof out), kExtendedHeaderSize);
    EXPECT_EQ(out[4], 0x83);
    EXPECT_EQ(out[2], 0x00);
    EXPECT_EQ(out[3], 0x01);
    EXPECT_EQ(Be32(out + 8), 0x01020304u);
    EXPECT_EQ(Be32(out + 12), 0x05060708u);
    EXPECT_EQ(Be32(out + 16), 0x89ABCDEFu);

    auto p = parsePacket(out, kExtendedHeaderSize);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->header.extendedId);
    EXPECT_EQ(p->header.blockId, 0x0102030405060708ull);
    EXPECT_EQ(p->header.packetId, 0x89ABCDEFu);
    EXPECT_EQ(p->header.flags, FLAG_PACKET_RESEND);
    EXPECT_EQ(p->bodySize, 0u);
    // An extended header cut to a standard one's size is not a packet.
    EXPECT_FALSE(parsePacket(out, kExtendedHeaderSize - 1));
    EXPECT_FALSE(parsePacket(out, kHeaderSize - 1));

    // Ids that do not fit the standard fields are refused, not cut.
    Header wide;
    wide.blockId = 0x10000;
    EXPECT_EQ(writeHeader(wide, out, sizeof out), 0u);
    wide.blockId = 1;
    wide.packetId = 0x1000000;
    EXPECT_EQ(writeHeader(wide, out, sizeof out), 0u);
    EXPECT_EQ(writeHeader(Header(), out, kHeaderSize - 1), 0u);
}

TEST(GvspLeader, AMultiPartLeaderWithExtendedIdsCountsItsPartsInItsHeader)
{
    PartInfo parts[3];
    for (PartInfo &p : parts) p.length = 10;
    Leader l;
    l.payloadType = PAYLOAD_MULTIPART;
    l.partCount = 3;
    Header h;
    h.blockId = 5;
    h.extendedId = true;
    auto bytes = Encode(encodeLeader, h, l, parts);
    ASSERT_EQ(bytes.size(), kExtendedHeaderSize + 12 + 3 * kPartLeaderSize);
    EXPECT_EQ(bytes[5], 0);
    EXPECT_EQ(bytes[6], 0);
    EXPECT_EQ(bytes[7], 3);
    EXPECT_EQ(decodeLeader(*Parse(bytes))->partCount, 3u);
    // Standard ids have the packet id there.
    h.extendedId = false;
    bytes = Encode(encodeLeader, h, l, parts);
    EXPECT_EQ(bytes[7], 0);
}

TEST(GvspLeader, ImageFieldsAtTheirOffsetsAndBack)
{
    Header h;
    h.blockId = 9;
    Leader l;
    l.payloadType = PAYLOAD_IMAGE | PAYLOAD_CHUNK_FLAG;
    l.fieldInfo = 0x12;
    l.timestamp = 0x1122334455667788ull;
    l.image = ImageInfo{0x01100003, 640, 480, 16, 8, 4, 2};
    auto bytes = Encode(encodeLeader, h, l);
    ASSERT_EQ(bytes.size(), kHeaderSize + 36);
    const uint8_t *b = bytes.data() + kHeaderSize;
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ((b[2] << 8) | b[3], 0x4001);
    EXPECT_EQ(Be32(b + 4), 0x11223344u);
    EXPECT_EQ(Be32(b + 12), 0x01100003u);
    EXPECT_EQ(Be32(b + 16), 640u);
    EXPECT_EQ(Be32(b + 20), 480u);
    EXPECT_EQ(Be32(b + 24), 16u);
    EXPECT_EQ(Be32(b + 28), 8u);
    EXPECT_EQ((b[32] << 8) | b[33], 4);
    EXPECT_EQ((b[34] << 8) | b[35], 2);

    auto back = decodeLeader(*Parse(bytes));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->payloadType, l.payloadType);
    EXPECT_EQ(back->timestamp, l.timestamp);
    EXPECT_EQ(back->fieldInfo, 0x12);
    EXPECT_EQ(back->image.sizeX, 640u);
    EXPECT_EQ(back->image.sizeY, 480u);
    EXPECT_EQ(back->image.offsetX, 16u);
    EXPECT_EQ(back->image.offsetY, 8u);
    EXPECT_EQ(back->image.paddingX, 4);
    EXPECT_EQ(back->image.paddingY, 2);
    EXPECT_EQ(back->image.pixelFormat, 0x01100003u);
}

TEST(GvspLeader, EveryPayloadKindRoundTripsAndEveryTruncationIsRefused)
{
    PartInfo parts[2];
    parts[0].dataType = 1;
    parts[0].length = 0x123456789ABull;
    parts[0].dataFormat = 0x01080001;
    parts[0].sourceId = 3;
    parts[0].dataPurposeId = 7;
    parts[0].regionId = 9;
    parts[0].specific[0] = 100;
    parts[0].specific[1] = 50;
    parts[1].dataType = 2;
    parts[1].length = 5;

    std::vector<Leader> leaders(5);
    leaders[0].payloadType = PAYLOAD_RAW;
    leaders[0].payloadSize = 0x0102030405ull;
    leaders[1].payloadType = PAYLOAD_GENDC;
    leaders[1].payloadSize = 777;
    leaders[1].genDCFlags = GENDC_PRELIMINARY_DESCRIPTOR;
    leaders[1].genDCDescriptorSize = 160;
    leaders[2].payloadType = PAYLOAD_MULTIPART;
    leaders[2].partCount = 2;
    leaders[3].payloadType = PAYLOAD_COMPRESSED;
    leaders[3].image.sizeX = 33;
    leaders[3].image.sizeY = 44;
    leaders[3].image.pixelFormat = 0x01080001;
    leaders[3].payloadSize = 999;
    leaders[4].payloadType = PAYLOAD_CHUNK;

    for (bool extended : {false, true}) {
        for (const Leader &l : leaders) {
            Header h;
            h.extendedId = extended;
            h.blockId = 3;
            auto bytes = Encode(encodeLeader, h, l, parts);
            ASSERT_FALSE(bytes.empty());
            auto back = decodeLeader(*Parse(bytes));
            ASSERT_TRUE(back) << l.payloadType;
            EXPECT_EQ(back->payloadType, l.payloadType);
            EXPECT_EQ(back->payloadSize, l.payloadSize);
            EXPECT_EQ(back->genDCFlags, l.genDCFlags);
            EXPECT_EQ(back->genDCDescriptorSize, l.genDCDescriptorSize);
            EXPECT_EQ(back->partCount, l.partCount);
            EXPECT_EQ(back->image.sizeX, l.image.sizeX);
            EXPECT_EQ(back->image.sizeY, l.image.sizeY);
            if (l.partCount) {
                PartInfo p = back->Part(0);
                EXPECT_EQ(p.length, parts[0].length);
                EXPECT_EQ(p.dataFormat, parts[0].dataFormat);
                EXPECT_EQ(p.sourceId, 3);
                EXPECT_EQ(p.dataPurposeId, 7);
                EXPECT_EQ(p.regionId, 9);
                EXPECT_EQ(p.Image().sizeX, 100u);
                EXPECT_EQ(p.Image().sizeY, 50u);
                EXPECT_EQ(back->Part(1).dataType, 2);
                EXPECT_EQ(back->Part(2).length, 0u);   // beyond the table: empty
            }
            // Cut anywhere, an exact-size copy decodes to nothing or to a
            // leader with fewer whole parts: never a read past its end.
            for (size_t n = 0; n < bytes.size(); ++n) {
                std::unique_ptr<uint8_t[]> copy(new uint8_t[n ? n : 1]);
                std::memcpy(copy.get(), bytes.data(), n);
                auto p = parsePacket(copy.get(), n);
                if (!p) continue;
                auto cut = decodeLeader(*p);
                if (cut && cut->partCount) {
                    EXPECT_LT(cut->partCount, l.partCount);
                    cut->Part(cut->partCount - 1);
                } else if (l.payloadType != PAYLOAD_MULTIPART && l.payloadType != PAYLOAD_CHUNK) {
                    EXPECT_FALSE(cut) << "payload " << l.payloadType << " cut to " << n;
                }
                std::string line = tarn::gev::dissectGvsp(copy.get(), n);
                EXPECT_EQ(line.rfind("GVSP", 0), 0u);
            }
        }
    }
}

TEST(GvspTrailer, ChunkFieldsFollowTheLinesOnlyWithTheChunkFlag)
{
    Header h;
    h.blockId = 1;
    h.packetId = 5;
    Trailer t;
    t.payloadType = PAYLOAD_IMAGE;
    t.sizeY = 480;
    t.chunkPayloadLength = 64;
    t.chunkLayoutId = 0xABCD;
    std::vector<uint8_t> out(64);
    out.resize(encodeTrailer(h, t, nullptr, out.data(), out.size()));
    ASSERT_EQ(out.size(), kHeaderSize + 8);
    EXPECT_EQ(Be32(out.data() + kHeaderSize + 4), 480u);

    t.payloadType = PAYLOAD_IMAGE | PAYLOAD_CHUNK_FLAG;
    out.assign(64, 0);
    out.resize(encodeTrailer(h, t, nullptr, out.data(), out.size()));
    ASSERT_EQ(out.size(), kHeaderSize + 16);
    EXPECT_EQ(Be32(out.data() + kHeaderSize + 8), 64u);
    EXPECT_EQ(Be32(out.data() + kHeaderSize + 12), 0xABCDu);
    auto back = decodeTrailer(*Parse(out));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->sizeY, 480u);
    EXPECT_EQ(back->chunkPayloadLength, 64u);
    EXPECT_EQ(back->chunkLayoutId, 0xABCDu);
    out.pop_back();
    EXPECT_FALSE(decodeTrailer(*Parse(out)));
    // A leader is no trailer.
    auto asLeader = Parse(out);
    asLeader->header.format = FORMAT_LEADER;
    EXPECT_FALSE(decodeTrailer(*asLeader));
}

TEST(GvspTrailer, EveryPayloadKindFitsItsOwnSizeAndEveryTruncationIsRefused)
{
    PartTrailer parts[2];
    parts[0].dataType = 1;
    parts[0].length = 77;
    parts[0].sizeY = 7;
    const uint16_t kinds[] = {PAYLOAD_IMAGE, PAYLOAD_IMAGE | PAYLOAD_CHUNK_FLAG, PAYLOAD_RAW,
                              PAYLOAD_RAW | PAYLOAD_CHUNK_FLAG, PAYLOAD_CHUNK, PAYLOAD_GENDC,
                              PAYLOAD_GENDC | PAYLOAD_CHUNK_FLAG, PAYLOAD_MULTIPART, PAYLOAD_COMPRESSED, 0x9000,
                              0x000F | PAYLOAD_CHUNK_FLAG};
    for (bool extended : {false, true}) {
        for (uint16_t kind : kinds) {
            Header h;
            h.extendedId = extended;
            h.blockId = 2;
            h.packetId = 9;
            Trailer t;
            t.payloadType = kind;
            t.sizeY = 480;
            t.chunkPayloadLength = 24;
            t.chunkLayoutId = 5;
            t.partCount = kind == PAYLOAD_MULTIPART ? 2 : 0;
            // Memory of exactly the size the trailer says it takes: writing
            // past it is caught by AddressSanitizer.
            size_t size = headerSize(extended) + trailerBodySize(t);
            std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
            ASSERT_EQ(encodeTrailer(h, t, parts, exact.get(), size), size) << kind;
            EXPECT_EQ(encodeTrailer(h, t, parts, exact.get(), size - 1), 0u) << kind;
            auto back = decodeTrailer(*parsePacket(exact.get(), size));
            ASSERT_TRUE(back) << kind;
            EXPECT_EQ(back->payloadType, kind);
            bool chunks = kind == (PAYLOAD_IMAGE | PAYLOAD_CHUNK_FLAG) || kind == (PAYLOAD_RAW | PAYLOAD_CHUNK_FLAG) ||
                          kind == (0x000F | PAYLOAD_CHUNK_FLAG) || kind == PAYLOAD_CHUNK;
            EXPECT_EQ(back->chunkPayloadLength, chunks ? 24u : 0u) << kind;
            for (size_t n = 0; n < size; ++n) {
                std::unique_ptr<uint8_t[]> cut(new uint8_t[n ? n : 1]);
                std::memcpy(cut.get(), exact.get(), n);
                auto p = parsePacket(cut.get(), n);
                if (!p) continue;
                auto shorter = decodeTrailer(*p);
                if (kind == PAYLOAD_MULTIPART) EXPECT_TRUE(!shorter || shorter->partCount < 2);
                else EXPECT_FALSE(shorter) << kind << " cut to " << n;
                tarn::gev::dissectGvsp(cut.get(), n);
            }
        }
    }
}

TEST(GvspTestPacket, RecognisedByBlockZeroAndFilledWholly)
{
    std::vector<uint8_t> out(576);
    ASSERT_EQ(encodeTestPacket(out.data(), out.size()), out.size());
    auto p = Parse(out);
    ASSERT_TRUE(p);
    EXPECT_TRUE(isTestPacket(*p));
    EXPECT_NE(out[100], out[101]);
    EXPECT_EQ(tarn::gev::dissectGvsp(out.data(), out.size()), "GVSP TEST 576 bytes");
    p->header.blockId = 1;
    EXPECT_FALSE(isTestPacket(*p));
}

// ---- Block ids

TEST(GvspBlockIds, BothKindsWrapPastZeroAndStayOrdered)
{
    EXPECT_EQ(nextBlockId(0xFFFF, false), 1u);
    EXPECT_EQ(nextBlockId(7, false), 8u);
    EXPECT_EQ(nextBlockId(0xFFFF, true), 0x10000u);
    EXPECT_EQ(nextBlockId(UINT64_MAX, true), 1u);
    struct Case {
        uint64_t id, reference;
        bool extended;
        int64_t distance;
    };
    const Case cases[] = {
        {1, 0xFFFF, false, 1},
        {3, 0xFFFE, false, 4},
        {0xFFFF, 1, false, -1},
        {5, 5, false, 0},
        {0x7000, 1, false, 0x6FFF},
        {0x9000, 1, false, 0x9000 - 1 - 0xFFFF},
        {0x100000000ull, 0xFFFFFFFFull, true, 1},
        {1, UINT64_MAX, true, 1},
        {3, UINT64_MAX - 1, true, 4},
        {UINT64_MAX, 2, true, -2},
        {5, 9, true, -4},
        {uint64_t(1) << 62, 1, true, (int64_t(1) << 62) - 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(blockDistance(c.id, c.reference, c.extended), c.distance) << c.id << " from " << c.reference;
        // Each step forward is one block, whatever the wrap.
        EXPECT_EQ(blockDistance(nextBlockId(c.id, c.extended), c.reference, c.extended), c.distance + 1) << c.id;
        EXPECT_EQ(isNewerBlock(c.id, c.reference, c.extended), c.distance > 0) << c.id;
    }
}

// ---- Packetizer to reassembler

TEST(GvspLoop, ImagesArriveWholeAndInOrderWithoutLoss)
{
    Loop loop;
    for (uint64_t block = 1; block <= 3; ++block) {
        auto image = Pattern(64 * 50 + 7, uint32_t(block));
        ASSERT_TRUE(loop.Send(ImageSource(image, 64, 50), block));
        loop.Settle();
        ASSERT_EQ(loop.received.size(), block);
        const Received &r = loop.received.back();
        EXPECT_EQ(r.blockId, block);
        EXPECT_EQ(r.outcome, Outcome::Complete);
        EXPECT_EQ(r.bytes, image);
        EXPECT_TRUE(r.result.leaderValid);
        EXPECT_TRUE(r.result.trailerValid);
        EXPECT_EQ(r.result.leader.image.sizeX, 64u);
        EXPECT_EQ(r.result.leader.timestamp, 0x0102030405060708ull);
        EXPECT_EQ(r.result.trailer.sizeY, 50u);
        EXPECT_EQ(r.result.statistics.resendPacketsRequested, 0u);
    }
    EXPECT_TRUE(loop.resends.empty());
    EXPECT_EQ(loop.GetReassembler().OpenBlocks(), 0u);
    EXPECT_EQ(loop.GetReassembler().Counters().blocksComplete, 3u);
}

TEST(GvspLoop, LossReorderingAndDuplicatesAreRecoveredByteForByte)
{
    for (bool extended : {false, true}) {
        for (uint32_t seed = 1; seed <= 6; ++seed) {
            // Resends are lost too: six asks make a packet lost for good
            // about once in ten million.
            ReassemblerConfig c;
            c.maxResendsPerPacket = 6;
            Loop loop(c, seed);
            loop.extendedId = extended;
            loop.channel.loss = 0.10;
            loop.channel.resendLoss = 0.10;
            loop.channel.duplicate = 0.05;
            loop.channel.reorder = 0.05;
            std::map<uint64_t, std::vector<uint8_t>> sent;
            uint64_t block = extended ? 0xFFFFFFFFull : 0xFFFE;   // both wrap or widen here
            for (int k = 0; k < 6; ++k) {
                sent[block] = Pattern(100 * 1000 + k, seed * 10 + k);
                ASSERT_TRUE(loop.Send(ImageSource(sent[block], 100, 1000), block));
                block = nextBlockId(block, extended);
                loop.now += 5000;   // the next frame: gaps of this one are asked for meanwhile
            }
            loop.Settle();
            // Blocks end in any order (one may wait for a resend while the
            // next completes); each must be whole.
            ASSERT_EQ(loop.received.size(), sent.size()) << "seed " << seed;
            uint32_t recovered = 0, redundant = 0;
            for (const Received &r : loop.received) {
                EXPECT_EQ(r.outcome, Outcome::Complete) << "seed " << seed << " block " << r.blockId << " ignored " << r.result.statistics.ignored << " lost " << r.result.statistics.lost << " missing " << r.missing.size();
                EXPECT_TRUE(r.bytes == sent[r.blockId]) << "seed " << seed << " block " << r.blockId;
                EXPECT_TRUE(r.missing.empty());
                sent.erase(r.blockId);
                recovered += r.result.statistics.recovered;
                redundant += r.result.statistics.redundant;
            }
            EXPECT_TRUE(sent.empty());
            EXPECT_GT(recovered, 0u);
            EXPECT_GT(redundant, 0u);
            EXPECT_FALSE(loop.resends.empty());
            EXPECT_TRUE(loop.guardsIntact);
        }
    }
}

TEST(GvspLoop, MultiPartAndGenDCBlocksLandAtTheirOffsets)
{
    Loop loop;
    loop.channel.loss = 0.1;
    auto a = Pattern(5000, 1), b = Pattern(3001, 2);
    TwoParts mp(a, b, 2);
    ASSERT_TRUE(loop.Send(mp.source, 1));

    auto container = Pattern(9000, 3);
    BlockSource gendc;
    gendc.leader.payloadType = PAYLOAD_GENDC;
    gendc.leader.payloadSize = container.size();
    gendc.leader.genDCDescriptorSize = 200;
    gendc.data = container.data();
    gendc.size = container.size();
    ASSERT_TRUE(loop.Send(gendc, 2));
    loop.Settle();

    ASSERT_EQ(loop.received.size(), 2u);
    const Received &r = loop.received[0];
    EXPECT_EQ(r.outcome, Outcome::Complete);
    ASSERT_EQ(r.parts.size(), 2u);
    EXPECT_EQ(r.parts[1].length, b.size());
    std::vector<uint8_t> joined(a);
    joined.insert(joined.end(), b.begin(), b.end());
    EXPECT_TRUE(r.bytes == joined);
    EXPECT_EQ(loop.received[1].outcome, Outcome::Complete);
    EXPECT_TRUE(loop.received[1].bytes == container);
}

TEST(GvspPacketizer, AMultiPartDataPacketAddressesItsBytesWithinTheBlock)
{
    // As receivers of other makers read it: part 1's bytes follow part 0's.
    auto a = Pattern(3000, 5), b = Pattern(2000, 6);
    TwoParts mp(a, b);
    for (bool extended : {false, true}) {
        Packetizer p;
        ASSERT_TRUE(p.Start(mp.source, 7, 1400, extended));
        std::vector<uint8_t> joined(a.size() + b.size());
        for (uint32_t id = 1; id + 1 < p.PacketCount(); ++id) {
            std::vector<uint8_t> out(1400);
            out.resize(p.Write(id, out.data(), out.size()));
            const uint8_t *bytes = nullptr;
            size_t size = 0;
            auto d = decodeMultiPartData(*parsePacket(out.data(), out.size()), &bytes, &size);
            ASSERT_TRUE(d);
            ASSERT_LE(d->offset + size, joined.size());
            EXPECT_EQ(d->partId, d->offset < a.size() ? 0 : 1);
            std::copy(bytes, bytes + size, joined.begin() + long(d->offset));
        }
        std::vector<uint8_t> want(a);
        want.insert(want.end(), b.begin(), b.end());
        EXPECT_TRUE(joined == want);
    }
}

TEST(GvspLoop, RefusedOrUnservedResendsEndTheBlockWithItsMissingRanges)
{
    for (uint16_t refuse : {uint16_t(0), uint16_t(STATUS_PACKET_UNAVAILABLE)}) {
        Loop loop;
        loop.channel.refuseStatus = refuse;
        loop.channel.serveResends = refuse != 0;
        auto image = Pattern(1386 * 10, 4);   // ten data packets
        BlockSource s = ImageSource(image, 1386, 10);
        Packetizer p;
        ASSERT_TRUE(p.Start(s, 1, loop.datagram, false));
        ASSERT_EQ(p.PacketCount(), 12u);
        loop.Send(s, 1);   // starts the sender's copy for resends
        loop.received.clear();
        loop.resends.clear();
        loop.GetReassembler().Reset();
        // Now the same block again, without packets 3, 4 and 8.
        std::vector<uint8_t> out(loop.datagram);
        for (uint32_t id = 0; id < p.PacketCount(); ++id) {
            if (id == 3 || id == 4 || id == 8) continue;
            out.resize(loop.datagram);
            out.resize(p.Write(id, out.data(), out.size()));
            loop.Deliver(out);
        }
        loop.Settle();
        ASSERT_EQ(loop.received.size(), 1u);
        const Received &r = loop.received[0];
        EXPECT_EQ(r.outcome, Outcome::MissingPackets);
        ASSERT_EQ(r.missing.size(), 2u);
        EXPECT_EQ(r.missing[0].low, 3u);
        EXPECT_EQ(r.missing[0].high, 4u);
        EXPECT_EQ(r.missing[1].low, 8u);
        EXPECT_EQ(r.missing[1].high, 8u);
        EXPECT_EQ(r.result.statistics.lost, 3u);
        // Every packet around the holes is in place.
        const size_t stride = loop.datagram - kHeaderSize;
        ASSERT_EQ(r.bytes.size(), image.size());
        EXPECT_TRUE(std::equal(r.bytes.begin(), r.bytes.begin() + 2 * stride, image.begin()));
        EXPECT_TRUE(std::equal(r.bytes.begin() + 4 * stride, r.bytes.begin() + 7 * stride, image.begin() + 4 * stride));
        EXPECT_TRUE(std::equal(r.bytes.begin() + 8 * stride, r.bytes.end(), image.begin() + 8 * stride));
        ASSERT_FALSE(loop.resends.empty());
        EXPECT_EQ(loop.resends[0], std::make_pair(3u, 4u));
        if (refuse) {
            // A refusal is final: no packet is asked for twice.
            EXPECT_EQ(r.result.statistics.resendPacketsRequested, 3u);
        } else {
            EXPECT_EQ(r.result.statistics.resendPacketsRequested,
                      3u * ReassemblerConfig().maxResendsPerPacket);
        }
    }
}

TEST(GvspLoop, RemovedFromMemoryMeansThatPacketAloneOrEveryOneUpToIt)
{
    for (uint16_t status : {uint16_t(STATUS_PACKET_REMOVED_FROM_MEMORY),
                            uint16_t(STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY)}) {
        const bool andBefore = status == STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY;
        Loop loop;
        loop.channel.serveResends = false;
        auto image = Pattern(1392 * 10, 14);
        Packetizer p;
        ASSERT_TRUE(p.Start(ImageSource(image, 1392, 10), 1, loop.datagram, false));
        for (uint32_t id = 0; id < p.PacketCount(); ++id)
            if (id != 3 && id != 8) loop.Deliver(Datagram(p, id, loop.datagram));
        loop.GetReassembler().OnTick(loop.now + ReassemblerConfig().resendDelayUs);
        ASSERT_EQ(loop.resends.size(), 2u);
        // The transmitter answers for packet 8 only.
        std::vector<uint8_t> answer(64);
        answer.resize(p.WriteStatus(8, status, answer.data(), answer.size()));
        loop.Deliver(answer);
        if (andBefore) {
            // Packet 3 went with it: nothing is awaited, the block ends.
            ASSERT_EQ(loop.received.size(), 1u);
            EXPECT_EQ(loop.GetReassembler().OpenBlocks(), 0u);
        } else {
            EXPECT_TRUE(loop.received.empty());
            loop.Deliver(Datagram(p, 3, loop.datagram));
            loop.Settle();
            ASSERT_EQ(loop.received.size(), 1u);
            EXPECT_EQ(loop.received[0].result.statistics.recovered, 1u);
        }
        const Received &r = loop.received[0];
        EXPECT_EQ(r.outcome, Outcome::MissingPackets);
        ASSERT_EQ(r.missing.size(), andBefore ? 2u : 1u);
        EXPECT_EQ(r.missing.back().low, 8u);
        EXPECT_EQ(r.missing.back().high, 8u);
        EXPECT_EQ(r.result.statistics.lost, andBefore ? 2u : 1u);
    }
}

TEST(GvspLoop, WithoutResendsAGapIsLostAtOnceAndTheNextBlockGoesOn)
{
    ReassemblerConfig c;
    c.resendEnabled = false;
    Loop loop(c);
    loop.channel.loss = 0.2;
    for (uint64_t block = 1; block <= 5; ++block) {
        auto image = Pattern(20000, uint32_t(block));
        loop.Send(ImageSource(image, 200, 100), block);
    }
    loop.Settle();
    EXPECT_TRUE(loop.resends.empty());
    EXPECT_EQ(loop.GetReassembler().OpenBlocks(), 0u);
    ASSERT_FALSE(loop.received.empty());
    for (size_t k = 1; k < loop.received.size(); ++k)
        EXPECT_TRUE(isNewerBlock(loop.received[k].blockId, loop.received[k - 1].blockId, false));
    size_t incomplete = 0;
    for (const Received &r : loop.received) incomplete += r.outcome != Outcome::Complete;
    EXPECT_GT(incomplete, 0u);
}

TEST(GvspLoop, TooManyMissingPacketsEndTheBlockWithoutAskingForAll)
{
    ReassemblerConfig c;
    c.maxResendPacketsPerBlock = 5;
    Loop loop(c);
    loop.channel.serveResends = false;
    auto image = Pattern(1386 * 30, 5);
    Packetizer p;
    BlockSource s = ImageSource(image, 1386, 30);
    ASSERT_TRUE(p.Start(s, 1, loop.datagram, false));
    std::vector<uint8_t> out;
    for (uint32_t id = 0; id < p.PacketCount(); ++id) {
        if (id >= 3 && id < 20) continue;   // 17 missing
        out.assign(loop.datagram, 0);
        out.resize(p.Write(id, out.data(), out.size()));
        loop.Deliver(out);
    }
    loop.Settle();
    ASSERT_EQ(loop.received.size(), 1u);
    EXPECT_EQ(loop.received[0].outcome, Outcome::TooManyResends);
    EXPECT_LE(loop.received[0].result.statistics.resendPacketsRequested, 5u);
    EXPECT_EQ(loop.received[0].result.statistics.lost, 17u);
}

TEST(GvspLoop, ABlockLargerThanItsMemoryWritesNothingBeyondAndSaysHowMuchItNeeded)
{
    Loop loop;
    loop.capacity = 10000;
    auto image = Pattern(25000, 6);
    loop.Send(ImageSource(image, 250, 100), 1);
    BlockSource raw;
    raw.leader.payloadType = PAYLOAD_RAW;
    raw.leader.payloadSize = image.size();
    raw.data = image.data();
    raw.size = image.size();
    loop.Send(raw, 2);
    loop.Settle();
    ASSERT_EQ(loop.received.size(), 2u);
    for (const Received &r : loop.received) {
        EXPECT_EQ(r.outcome, Outcome::BufferTooSmall);
        EXPECT_EQ(r.result.requiredSize, 25000u);
        EXPECT_LE(r.result.bytesWritten, 10000u);
    }
    EXPECT_TRUE(loop.guardsIntact);
    EXPECT_TRUE(loop.resends.empty());
}

TEST(GvspLoop, TheShortLastPacketFirstDoesNotMisplaceTheRest)
{
    Loop loop;
    auto image = Pattern(1386 * 4 + 100, 7);
    Packetizer p;
    BlockSource s = ImageSource(image, 1, uint32_t(image.size()));
    ASSERT_TRUE(p.Start(s, 1, loop.datagram, false));
    loop.Send(s, 1);   // registers the block for resends; learned stride
    loop.GetReassembler().Reset();
    loop.received.clear();
    std::vector<uint32_t> order = {0, 5, 6, 1, 2, 3, 4};   // the short data packet 5 first
    std::vector<uint8_t> out;
    for (uint32_t id : order) {
        out.assign(loop.datagram, 0);
        out.resize(p.Write(id, out.data(), out.size()));
        loop.Deliver(out);
        loop.now += 10;
    }
    loop.Settle();
    ASSERT_EQ(loop.received.size(), 1u);
    EXPECT_EQ(loop.received[0].outcome, Outcome::Complete);
    EXPECT_TRUE(loop.received[0].bytes == image);
}

TEST(GvspLoop, WaitingForTheLeaderSkipsABlockThatLostIt)
{
    ReassemblerConfig c;
    c.waitForLeader = true;
    Loop loop(c);
    auto image = Pattern(5000, 8);
    Packetizer p;
    BlockSource s = ImageSource(image, 50, 100);
    ASSERT_TRUE(p.Start(s, 1, loop.datagram, false));
    std::vector<uint8_t> out;
    for (uint32_t id = 1; id < p.PacketCount(); ++id) {
        out.assign(loop.datagram, 0);
        out.resize(p.Write(id, out.data(), out.size()));
        loop.Deliver(out);
    }
    loop.Send(s, 2);
    loop.Settle();
    ASSERT_EQ(loop.received.size(), 1u);
    EXPECT_EQ(loop.received[0].blockId, 2u);
    EXPECT_EQ(loop.received[0].outcome, Outcome::Complete);
    EXPECT_GE(loop.GetReassembler().Counters().ignored, p.PacketCount() - 1);
}

TEST(GvspLoop, AQuietBlockEndsAtItsDeadlineAndAbortEndsTheRestInOrder)
{
    ReassemblerConfig c;
    c.blockTimeoutUs = 300000;
    Loop loop(c);
    loop.channel.serveResends = false;
    auto image = Pattern(5000, 9);
    Packetizer p;
    ASSERT_TRUE(p.Start(ImageSource(image, 50, 100), 1, loop.datagram, false));
    std::vector<uint8_t> out(loop.datagram);
    out.resize(p.Write(0, out.data(), out.size()));
    loop.Deliver(out);
    uint64_t started = loop.now;
    EXPECT_LE(loop.GetReassembler().NextDeadline(), started + c.blockTimeoutUs);
    loop.GetReassembler().OnTick(started + c.blockTimeoutUs - 1);
    EXPECT_TRUE(loop.received.empty());
    loop.GetReassembler().OnTick(started + c.blockTimeoutUs);
    ASSERT_EQ(loop.received.size(), 1u);
    EXPECT_EQ(loop.received[0].outcome, Outcome::MissingPackets);
    EXPECT_EQ(loop.GetReassembler().NextDeadline(), UINT64_MAX);

    for (uint64_t block = 2; block <= 3; ++block) {
        Packetizer q;
        ASSERT_TRUE(q.Start(ImageSource(image, 50, 100), block, loop.datagram, false));
        out.assign(loop.datagram, 0);
        out.resize(q.Write(0, out.data(), out.size()));
        loop.Deliver(out);
    }
    EXPECT_EQ(loop.GetReassembler().OpenBlocks(), 2u);
    loop.GetReassembler().Abort();
    ASSERT_EQ(loop.received.size(), 3u);
    EXPECT_EQ(loop.received[1].blockId, 2u);
    EXPECT_EQ(loop.received[1].outcome, Outcome::Aborted);
    EXPECT_EQ(loop.received[2].blockId, 3u);
    // Late packets of an ended block open nothing.
    loop.Deliver(out);
    EXPECT_EQ(loop.GetReassembler().OpenBlocks(), 0u);
}

TEST(GvspLoop, NoMemoryDropsTheBlockAndItsLatePackets)
{
    Loop loop;
    loop.giveMemory = false;
    auto image = Pattern(5000, 10);
    loop.Send(ImageSource(image, 50, 100), 1);
    loop.Settle();
    EXPECT_TRUE(loop.received.empty());
    EXPECT_EQ(loop.GetReassembler().Counters().blocksDropped, 1u);
    loop.giveMemory = true;
    loop.Send(ImageSource(image, 50, 100), 2);
    loop.Settle();
    ASSERT_EQ(loop.received.size(), 1u);
    EXPECT_EQ(loop.received[0].outcome, Outcome::Complete);
}

TEST(GvspLoop, ABlockWithoutMemoryEndsTheOldestBlockWaitingForPacketsAndTheStreamGoesOn)
{
    // Resends never come: without memory for new blocks, the blocks that
    // wait for them must not keep theirs while every new one is dropped.
    Loop loop;
    loop.channel.serveResends = false;
    auto image = Pattern(1386 * 10, 21);
    std::vector<std::unique_ptr<Packetizer>> blocks;
    for (uint64_t block = 1; block <= 4; ++block) {
        blocks.emplace_back(new Packetizer());
        ASSERT_TRUE(blocks.back()->Start(ImageSource(image, 1386, 10), block, loop.datagram, false));
    }
    // Blocks 1 and 2 lack packet 3 and wait for it.
    for (int b = 0; b < 2; ++b)
        for (uint32_t id = 0; id < blocks[size_t(b)]->PacketCount(); ++id)
            if (id != 3) loop.Deliver(Datagram(*blocks[size_t(b)], id, loop.datagram));
    loop.GetReassembler().OnTick(loop.now + ReassemblerConfig().resendDelayUs);
    ASSERT_EQ(loop.GetReassembler().OpenBlocks(), 2u);
    ASSERT_TRUE(loop.received.empty());

    // Block 3 finds no memory: it is dropped and the oldest waiting block,
    // block 1, ends at once as failed; block 2 goes on waiting.
    loop.giveMemory = false;
    for (uint32_t id = 0; id < blocks[2]->PacketCount(); ++id) loop.Deliver(Datagram(*blocks[2], id, loop.datagram));
    EXPECT_EQ(loop.GetReassembler().Counters().blocksDropped, 1u);
    ASSERT_EQ(loop.received.size(), 1u);
    EXPECT_EQ(loop.received[0].blockId, 1u);
    EXPECT_EQ(loop.received[0].outcome, Outcome::MissingPackets);
    ASSERT_EQ(loop.received[0].missing.size(), 1u);
    EXPECT_EQ(loop.received[0].missing[0].low, 3u);
    EXPECT_EQ(loop.received[0].missing[0].high, 3u);
    EXPECT_EQ(loop.GetReassembler().OpenBlocks(), 1u);

    // With its memory back, the next block is received whole.
    loop.giveMemory = true;
    for (uint32_t id = 0; id < blocks[3]->PacketCount(); ++id) loop.Deliver(Datagram(*blocks[3], id, loop.datagram));
    ASSERT_EQ(loop.received.size(), 2u);
    EXPECT_EQ(loop.received[1].blockId, 4u);
    EXPECT_EQ(loop.received[1].outcome, Outcome::Complete);
    EXPECT_TRUE(loop.received[1].bytes == image);
    loop.Settle();
    ASSERT_EQ(loop.received.size(), 3u);
    EXPECT_EQ(loop.received[2].blockId, 2u);
    EXPECT_EQ(loop.received[2].outcome, Outcome::MissingPackets);
}

TEST(GvspLoop, ABlockWhoseEndCannotBeHadAsksForItOnlyOnce)
{
    // A block lost its trailer. The packet after the last one seen is
    // asked for as the possible trailer; whether the transmitter is silent
    // or says it no longer holds it, the ids after it are not asked for one
    // by one, and a refusal, which is a packet, does not keep the block
    // alive. Once a later block began, the block ends right then; the last
    // block of a stream ends at its time-out.
    for (bool later : {true, false}) {
        for (uint16_t answer : {uint16_t(0), uint16_t(STATUS_PACKET_REMOVED_FROM_MEMORY)}) {
            SCOPED_TRACE(testing::Message() << "later block " << later << ", answer " << answer);
            Loop loop;
            loop.channel.serveResends = false;
            auto image = Pattern(1386 * 10, 22);
            Packetizer first, second;
            ASSERT_TRUE(first.Start(ImageSource(image, 1386, 10), 1, loop.datagram, false));
            ASSERT_TRUE(second.Start(ImageSource(image, 1386, 10), 2, loop.datagram, false));
            const uint32_t trailer = first.PacketCount() - 1;
            for (uint32_t id = 0; id < trailer; ++id) loop.Deliver(Datagram(first, id, loop.datagram));
            if (later)
                for (uint32_t id = 0; id < second.PacketCount(); ++id)
                    loop.Deliver(Datagram(second, id, loop.datagram));
            const ReassemblerConfig c;
            size_t answered = 0;
            for (int step = 0; step < 400 && loop.GetReassembler().OpenBlocks() > 0; ++step) {
                for (; answer && answered < loop.resends.size(); ++answered)
                    for (uint32_t id = loop.resends[answered].first; id <= loop.resends[answered].second; ++id)
                        loop.Deliver(Forge(1, id, FORMAT_TRAILER, {}, false, answer));
                loop.now += c.resendTimeoutUs / 4;
                loop.GetReassembler().OnTick(loop.now);
            }
            ASSERT_EQ(loop.received.size(), later ? 2u : 1u);
            const Received &r = loop.received.back();
            EXPECT_EQ(r.blockId, 1u);
            EXPECT_EQ(r.outcome, Outcome::MissingPackets);
            ASSERT_EQ(r.missing.size(), 1u);
            EXPECT_EQ(r.missing[0].low, trailer);
            EXPECT_EQ(r.missing[0].high, trailer);
            ASSERT_FALSE(loop.resends.empty());
            for (const auto &asked : loop.resends) {
                EXPECT_EQ(asked.first, trailer);
                EXPECT_EQ(asked.second, trailer);
            }
            EXPECT_EQ(r.result.statistics.resendPacketsRequested, answer ? 1u : c.maxResendsPerPacket);
            if (later) {
                EXPECT_LT(loop.now, r.result.lastPacketUs + c.blockTimeoutUs);
            }
        }
    }
}

TEST(GvspLoop, HostilePacketsNeitherWriteOutsideNorKeepABlockOpen)
{
    Loop loop;
    loop.capacity = 4096;
    auto image = Pattern(4000, 11);
    Packetizer p;
    ASSERT_TRUE(p.Start(ImageSource(image, 40, 100), 1, loop.datagram, false));
    std::vector<uint8_t> out(loop.datagram);
    out.resize(p.Write(0, out.data(), out.size()));
    loop.Deliver(out);

    auto forge = [&](uint8_t aFormat, uint32_t aPacketId, std::vector<uint8_t> aBody) {
        Header h;
        h.blockId = 1;
        h.packetId = aPacketId;
        h.format = aFormat;
        std::vector<uint8_t> d(kHeaderSize);
        writeHeader(h, d.data(), d.size());
        d.insert(d.end(), aBody.begin(), aBody.end());
        loop.Deliver(d);
    };
    forge(FORMAT_PAYLOAD, 0xFFFFFF, std::vector<uint8_t>(100, 1));   // far beyond
    forge(FORMAT_PAYLOAD, 40, std::vector<uint8_t>(1386, 2));        // past the memory
    forge(FORMAT_MULTIPART, 2, {9, 0, 0, 0, 0, 0, 0, 0, 1, 2});      // no such part
    forge(FORMAT_GENDC, 3, std::vector<uint8_t>(16, 0xFF));          // offset at the top
    forge(FORMAT_LEADER, 4, {});                                      // a leader elsewhere
    forge(FORMAT_TRAILER, 0, {0, 0, 0, 1});                           // a trailer at 0
    forge(0x0F, 5, {1, 2, 3});
    loop.Deliver({});
    loop.Deliver({1, 2, 3});
    loop.Settle();
    ASSERT_EQ(loop.received.size(), 1u);
    EXPECT_NE(loop.received[0].outcome, Outcome::Complete);
    EXPECT_TRUE(loop.guardsIntact);
    EXPECT_GT(loop.GetReassembler().Counters().malformed, 3u);
}

TEST(GvspLoop, AMultiPartPacketRunningPastItsPartDoesNotOverwriteTheNext)
{
    Loop loop;
    auto a = Pattern(3000, 21), b = Pattern(3000, 22);
    TwoParts mp(a, b);
    Packetizer p;
    ASSERT_TRUE(p.Start(mp.source, 1, loop.datagram, false));
    uint32_t last = p.PacketCount() - 2;   // the last data packet
    auto packet = [&](uint32_t aId) {
        std::vector<uint8_t> out(loop.datagram);
        out.resize(p.Write(aId, out.data(), out.size()));
        return out;
    };
    for (uint32_t id = 0; id < last; ++id) loop.Deliver(packet(id));

    // In the slot of the one still to come: part 0's last bytes and on into
    // part 1, which the memory has room for.
    Header h;
    h.blockId = 1;
    h.packetId = last;
    h.format = FORMAT_MULTIPART;
    std::vector<uint8_t> forged(kHeaderSize);
    writeHeader(h, forged.data(), forged.size());
    uint64_t offset = a.size() - 4;
    forged.insert(forged.end(), {0, 0});
    for (int shift = 40; shift >= 0; shift -= 8) forged.push_back(uint8_t(offset >> shift));
    forged.insert(forged.end(), 64, 0xEE);
    loop.Deliver(forged);

    loop.Deliver(packet(last));
    loop.Deliver(packet(last + 1));
    loop.Settle();
    ASSERT_EQ(loop.received.size(), 1u);
    // Which of the two was the transmitter's cannot be told: not complete.
    EXPECT_EQ(loop.received[0].outcome, Outcome::MissingPackets);
    EXPECT_EQ(loop.received[0].result.statistics.ignored, 1u);
    std::vector<uint8_t> joined(a);
    joined.insert(joined.end(), b.begin(), b.end());
    EXPECT_TRUE(loop.received[0].bytes == joined);
}

TEST(GvspPacketizer, RefusesWhatItCannotSendAndAnswersResendsWithStatus)
{
    auto image = Pattern(1000, 12);
    Packetizer p;
    EXPECT_FALSE(p.Start(ImageSource(image, 10, 100), 0, 1400, false));         // the test block id
    EXPECT_FALSE(p.Start(ImageSource(image, 10, 100), 0x10000, 1400, false));   // beyond 16 bits
    EXPECT_FALSE(p.Start(ImageSource(image, 10, 100), 1, 30, false));           // leader does not fit
    BlockSource hollow = ImageSource(image, 10, 100);
    hollow.data = nullptr;
    EXPECT_FALSE(p.Start(hollow, 1, 1400, false));
    ASSERT_TRUE(p.Start(ImageSource(image, 10, 100), 1, 108, false));   // 100 data bytes a packet
    EXPECT_EQ(p.PacketCount(), 12u);
    std::vector<uint8_t> out(2000);
    EXPECT_EQ(p.Write(12, out.data(), out.size()), 0u);
    EXPECT_EQ(p.Write(1, out.data(), 50), 0u);
    ASSERT_EQ(p.Write(3, out.data(), out.size(), true), 108u);
    auto packet = parsePacket(out.data(), 108);
    EXPECT_EQ(packet->header.status, STATUS_PACKET_RESEND);
    EXPECT_EQ(0, std::memcmp(packet->body, image.data() + 200, 100));
    ASSERT_EQ(p.WriteStatus(3, STATUS_PACKET_UNAVAILABLE, out.data(), out.size()), kHeaderSize);
    EXPECT_EQ(parsePacket(out.data(), kHeaderSize)->header.status, STATUS_PACKET_UNAVAILABLE);
}

TEST(GvspDissect, DataPacketsAndTrailersNameTheirFields)
{
    auto image = Pattern(3000, 13);
    Packetizer p;
    BlockSource s = ImageSource(image, 30, 100);
    s.leader.payloadType = PAYLOAD_IMAGE | PAYLOAD_CHUNK_FLAG;
    s.trailer.chunkPayloadLength = 16;
    ASSERT_TRUE(p.Start(s, 77, 1400, true));
    std::vector<uint8_t> out(1400);
    out.resize(p.Write(0, out.data(), out.size()));
    EXPECT_EQ(tarn::gev::dissectGvsp(out.data(), out.size()),
              "GVSP LEADER block=77 packet=0 extended flags=0x0000 IMAGE+chunks timestamp=72623859790382856 "
              "pixel=0x01080001 size=30x100 offset=0,0 padding=0,0");
    out.assign(1400, 0);
    out.resize(p.Write(p.TrailerId(), out.data(), out.size()));
    EXPECT_EQ(tarn::gev::dissectGvsp(out.data(), out.size()),
              "GVSP TRAILER block=77 packet=4 extended flags=0x0000 IMAGE lines=100 chunks=16 layout=0x00000000");
}

} // namespace
