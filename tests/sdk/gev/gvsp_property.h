#ifndef TARN_TESTS_GVSP_PROPERTY_H
#define TARN_TESTS_GVSP_PROPERTY_H

// A camera that changes under the receiver and a channel that misbehaves,
// driven by a stream of choices (a seeded generator, or a fuzzer's bytes):
// packet sizes changed between blocks, restarts with ids from 1 again,
// standard and extended ids and their wraps, images, raw data, multi-part
// and GenDC blocks, loss (of leaders too), duplicates, reordering, resends
// lost or refused or answered with other blocks' packets, and stray and
// hostile datagrams of every kind from the device's address: old leaders
// in the middle of a block, late copies of past blocks. What must hold:
// every block that comes back complete is one that was sent under its id,
// byte for byte and as described, and comes back once; nothing is written
// outside the memory given; no block stays open; a block the channel
// spared (or lost only its leader, which a resend brings) comes back whole
// unless an injected packet named it, so that each injected packet costs
// at most the block it names; and once the trouble stops, the blocks that
// follow come back whole.

#include "gvsp_loop.h"

#include <cstdint>
#include <deque>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace gvsptest {

class Choices
{
public:
    virtual ~Choices() = default;
    // Uniform in 0 .. aBound - 1 (0 when aBound is 0).
    virtual uint32_t Next(uint32_t aBound) = 0;
    bool Chance(uint32_t aPercent) { return Next(100) < aPercent; }
};

class RandomChoices : public Choices
{
public:
    explicit RandomChoices(uint32_t aSeed) : mRandom(aSeed) {}
    uint32_t Next(uint32_t aBound) override { return aBound ? uint32_t(mRandom() % aBound) : 0; }

private:
    std::mt19937 mRandom;
};

// Each choice takes the next four bytes; past the end every choice is 0
// (the quiet one).
class ByteChoices : public Choices
{
public:
    ByteChoices(const uint8_t *aData, size_t aSize) : mData(aData), mSize(aSize) {}
    uint32_t Next(uint32_t aBound) override
    {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v = (v << 8) | (mAt < mSize ? mData[mAt++] : 0);
        return aBound ? v % aBound : 0;
    }

private:
    const uint8_t *mData;
    size_t mSize;
    size_t mAt = 0;
};

struct PropertyOutcome {
    size_t sent = 0;
    size_t complete = 0;
    size_t tail = 0;            // blocks sent after the trouble stopped
    size_t tailComplete = 0;
    size_t landed = 0;          // datagrams placed where they landed
    std::string failure;        // empty when everything held
};

namespace property {

// What a block was sent as: its bytes, and what its leader says of them.
struct Frame {
    std::vector<uint8_t> bytes;
    Leader leader;
    std::vector<PartInfo> parts;
    std::vector<const uint8_t *> partData;   // into bytes, for the packetizer
};

inline std::vector<uint8_t> Bytes(Choices &aChoices, size_t aCount) { return Pattern(aCount, aChoices.Next(UINT32_MAX)); }

inline Frame MakeFrame(Choices &aChoices, uint64_t aTimestamp)
{
    Frame f;
    f.leader.timestamp = aTimestamp;
    switch (aChoices.Next(6)) {
    case 0:
        f.leader.payloadType = PAYLOAD_RAW;
        f.bytes = Bytes(aChoices, 1 + aChoices.Next(20000));
        f.leader.payloadSize = f.bytes.size();
        break;
    case 1: {
        f.leader.payloadType = PAYLOAD_MULTIPART;
        f.parts.resize(1 + aChoices.Next(3));
        for (PartInfo &p : f.parts) {
            p.dataType = 1;
            p.dataFormat = 0x01080001;
            p.specific[0] = 1 + aChoices.Next(100);
            p.specific[1] = 1 + aChoices.Next(60);
            p.length = uint64_t(p.specific[0]) * p.specific[1];
        }
        f.leader.partCount = uint32_t(f.parts.size());
        for (const PartInfo &p : f.parts) {
            auto b = Bytes(aChoices, size_t(p.length));
            f.bytes.insert(f.bytes.end(), b.begin(), b.end());
        }
        break;
    }
    case 2:
        f.leader.payloadType = PAYLOAD_GENDC;
        f.bytes = Bytes(aChoices, 64 + aChoices.Next(12000));
        f.leader.payloadSize = f.bytes.size();
        f.leader.genDCDescriptorSize = 64;
        break;
    default: {
        static const uint32_t kFormats[] = {0x01080001, 0x01100007, 0x02180014};   // Mono8, Mono16, RGB8
        f.leader.payloadType = PAYLOAD_IMAGE;
        f.leader.image.pixelFormat = kFormats[aChoices.Next(3)];
        f.leader.image.sizeX = 1 + aChoices.Next(200);
        f.leader.image.sizeY = 1 + aChoices.Next(60);
        f.leader.image.paddingX = uint16_t(aChoices.Chance(20) ? aChoices.Next(9) : 0);
        const uint32_t bytesPerPixel = (f.leader.image.pixelFormat >> 16 & 0xFF) / 8;
        f.bytes = Bytes(aChoices, (size_t(f.leader.image.sizeX) * bytesPerPixel + f.leader.image.paddingX) *
                                      f.leader.image.sizeY);
        break;
    }
    }
    return f;
}

// The frame must stay where it is while resends may be served from it.
inline BlockSource SourceOf(Frame &aFrame)
{
    std::vector<const uint8_t *> &aPartData = aFrame.partData;
    BlockSource s;
    s.leader = aFrame.leader;
    if (aFrame.leader.payloadType == PAYLOAD_MULTIPART) {
        aPartData.clear();
        uint64_t at = 0;
        for (const PartInfo &p : aFrame.parts) {
            aPartData.push_back(aFrame.bytes.data() + at);
            at += p.length;
        }
        s.parts = aFrame.parts.data();
        s.partData = aPartData.data();
    } else {
        s.data = aFrame.bytes.data();
        s.size = aFrame.bytes.size();
        s.trailer.sizeY = aFrame.leader.image.sizeY;
    }
    return s;
}

inline bool SameDescription(const Received &aGot, const Frame &aSent)
{
    const Leader &a = aGot.result.leader;
    const Leader &b = aSent.leader;
    if (!aGot.result.leaderValid || a.payloadType != b.payloadType || a.timestamp != b.timestamp) return false;
    if (b.payloadType == PAYLOAD_IMAGE)
        return a.image.pixelFormat == b.image.pixelFormat && a.image.sizeX == b.image.sizeX &&
               a.image.sizeY == b.image.sizeY && a.image.paddingX == b.image.paddingX;
    if (b.payloadType == PAYLOAD_MULTIPART) {
        if (aGot.parts.size() != aSent.parts.size()) return false;
        for (size_t k = 0; k < aSent.parts.size(); ++k)
            if (aGot.parts[k].length != aSent.parts[k].length || aGot.parts[k].specific[0] != aSent.parts[k].specific[0])
                return false;
        return true;
    }
    return a.payloadSize == b.payloadSize;
}

// One datagram that no transmitter should send, naming aBlock (or not).
// aAltered is set for a changed copy of aGenuine: that one is told from
// the genuine packet only if the genuine packet comes too.
inline std::vector<std::vector<uint8_t>> Hostile(Choices &aChoices, uint64_t aBlock, bool aExtended,
                                                 const std::vector<uint8_t> &aGenuine, bool &aAltered)
{
    aAltered = false;
    auto id = [&]() -> uint32_t {
        switch (aChoices.Next(4)) {
        case 0: return 0;
        case 1: return 0xFFFFF;
        case 2: return aChoices.Next(UINT32_MAX) & (aExtended ? 0xFFFFFFFF : 0xFFFFFF);
        default: return 1 + aChoices.Next(40);
        }
    };
    const uint64_t far = aExtended ? aBlock + 30000 : (aBlock + 30000 - 1) % 0xFFFF + 1;
    Leader huge;
    huge.image.pixelFormat = 0x01080001;
    huge.image.sizeX = huge.image.sizeY = 0xFFFFFFFF;
    switch (aChoices.Next(12)) {
    case 0: {   // anything at all
        auto d = Bytes(aChoices, aChoices.Next(120));
        if (d.size() > 4 && aChoices.Chance(50)) d[4] = uint8_t((d[4] & 0xF0) | FORMAT_GENDC);
        return {d};
    }
    case 1: return {Forge(aBlock, id(), FORMAT_GENDC, Bytes(aChoices, 100), aExtended)};
    case 2: return {Forge(aBlock, id(), FORMAT_GENDC, std::vector<uint8_t>(1400), aExtended)};
    case 3: return {ForgeLeader(aBlock, huge, aExtended)};
    case 4: {
        Leader l;
        l.image.pixelFormat = 0x01080001;
        l.image.sizeX = l.image.sizeY = 8;
        Trailer t;
        t.sizeY = 8;
        return {ForgeLeader(far, l, aExtended), ForgeTrailer(far, 1, t, aExtended)};
    }
    case 5: return {Forge(aBlock, id(), FORMAT_PAYLOAD, Bytes(aChoices, 1 + aChoices.Next(9000)), aExtended)};
    case 6: {
        Trailer t;
        t.sizeY = aChoices.Next(100);
        return {ForgeTrailer(aBlock, id(), t, aExtended)};
    }
    case 7: {
        static const uint16_t kStatus[] = {STATUS_PACKET_UNAVAILABLE, STATUS_PACKET_REMOVED_FROM_MEMORY,
                                           STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY, STATUS_PACKET_NOT_YET_AVAILABLE};
        return {Forge(aBlock, id(), FORMAT_PAYLOAD, {}, aExtended, kStatus[aChoices.Next(4)])};
    }
    case 8: return {Forge(aBlock, id(), FORMAT_MULTIPART, Bytes(aChoices, 8 + aChoices.Next(200)), aExtended)};
    case 9: {   // a packet of the block with one byte changed
        if (aGenuine.size() <= headerSize(aExtended)) return {};
        aAltered = true;
        auto d = aGenuine;
        d[headerSize(aExtended) + aChoices.Next(uint32_t(d.size() - headerSize(aExtended)))] ^= 0x10;
        return {d};
    }
    case 10: {  // the right kind of packet, of another size
        aAltered = true;
        auto d = aGenuine;
        if (d.size() > headerSize(aExtended) + 1) d.resize(headerSize(aExtended) + 1 + aChoices.Next(uint32_t(d.size())));
        return {d};
    }
    default: {  // a leader of another kind for the block
        Leader l;
        l.payloadType = aChoices.Chance(50) ? PAYLOAD_RAW : PAYLOAD_GENDC;
        l.payloadSize = aChoices.Next(100000);
        return {ForgeLeader(aBlock, l, aExtended)};
    }
    }
}

} // namespace property

// Sends aBlocks blocks through the trouble the choices make, then some in
// quiet, and checks them all.
// aBatch: datagrams a batch received onto the reassembler's landings, as
// the stream receiver takes them (0: one at a time).
inline PropertyOutcome RunProperty(Choices &aChoices, size_t aBlocks, size_t aBatch = 0)
{
    using namespace property;
    using Key = std::pair<uint64_t, bool>;
    PropertyOutcome out;
    ReassemblerConfig config;
    config.resendEnabled = !aChoices.Chance(15);
    config.maxResendsPerPacket = 1 + aChoices.Next(4);
    config.maxBlocksInFlight = 1 + aChoices.Next(16);
    Loop loop(config, aChoices.Next(UINT32_MAX));
    loop.batch = aBatch;
    loop.capacity = 8000 + aChoices.Next(32000);
    loop.extendedId = aChoices.Chance(30);
    // Every frame sent, where resends still find it, and by its id.
    std::deque<Frame> frames;
    std::map<Key, std::vector<const Frame *>> sent;
    std::set<Key> named;                      // ids hostile datagrams named
    std::set<Key> tail;                       // sent after the trouble, expected whole
    std::map<const Frame *, uint64_t> spared; // expected whole: the channel spared them
    std::map<const Frame *, std::string> failed;
    std::set<const Frame *> delivered;
    std::vector<std::pair<uint64_t, const Frame *>> sequence;   // this run of ids, as sent
    uint64_t block = 1 + aChoices.Next(aChoices.Chance(50) ? 10 : 0xFFFF);
    // Close to where the ids wrap, now and then.
    if (aChoices.Chance(20)) block = loop.extendedId ? UINT64_MAX - aChoices.Next(8) : 0xFFFF - aChoices.Next(8);
    uint64_t clock = aChoices.Next(UINT32_MAX), restarts = 0;
    // A sequence is under way at the receiver once it began there, or the
    // camera sent it, restarted, untouched for as many blocks as show one.
    bool established = true;
    uint32_t untouched = 0;
    // Before a whole block has come, and while a restart has yet to show,
    // a whole forged one is as good as any for where the stream is.
    bool settled = false;

    auto check = [&]() {
        for (const Received &r : loop.received) {
            const Key key{r.blockId, r.result.extendedId};
            if (r.outcome != Outcome::Complete) {
                for (const Frame *f : sent.count(key) ? sent[key] : std::vector<const Frame *>())
                    failed[f] = "ended " + std::to_string(int(r.outcome));
                continue;
            }
            ++out.complete;
            out.tailComplete += tail.count(key);
            auto it = sent.find(key);
            const Frame *found = nullptr;
            if (it != sent.end())
                for (const Frame *f : it->second)
                    if (r.bytes == f->bytes && SameDescription(r, *f)) found = f;
            if (!found) out.failure = "block " + std::to_string(r.blockId) + " complete but not as any sent";
            else if (!delivered.insert(found).second)
                out.failure = "block " + std::to_string(r.blockId) + " delivered twice";
        }
        loop.received.clear();
    };
    const size_t total = aBlocks + 6;
    for (size_t k = 0; k < total; ++k) {
        const bool quiet = k >= aBlocks;
        if (k == aBlocks) {
            // The trouble stops; what it left behind ends.
            loop.Settle();
            check();
        }
        if (!quiet) {
            if (aChoices.Chance(15)) loop.datagram = 64 + aChoices.Next(9000 - 64);
            if (aChoices.Chance(4)) {
                // Restarted, perhaps reconfigured: ids from 1, a new clock
                // (one that does not repeat the old one's times: a camera
                // repeating both its ids and its times cannot be told from
                // a late copy).
                loop.Settle(aChoices.Next(600000));
                loop.now += aChoices.Next(600000);
                block = 1;
                clock = (++restarts << 40) + aChoices.Next(UINT32_MAX);
                if (aChoices.Chance(30)) loop.extendedId = !loop.extendedId;
                loop.Restart();
                sequence.clear();
                established = false;
                untouched = 0;
            }
            loop.channel = Channel();
            if (aChoices.Chance(40)) {
                loop.channel.loss = aChoices.Next(25) / 100.0;
                loop.channel.resendLoss = aChoices.Next(25) / 100.0;
                loop.channel.duplicate = aChoices.Next(10) / 100.0;
                loop.channel.reorder = aChoices.Next(10) / 100.0;
                loop.channel.serveResends = !aChoices.Chance(10);
                static const uint16_t kRefuse[] = {0, STATUS_PACKET_UNAVAILABLE, STATUS_PACKET_REMOVED_FROM_MEMORY,
                                                   STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY};
                loop.channel.refuseStatus = aChoices.Chance(10) ? kRefuse[aChoices.Next(4)] : 0;
                if (aChoices.Chance(30)) loop.channel.storm = aChoices.Next(21);
            }
            if (aChoices.Chance(10)) loop.channel.leaderLoss = (1 + aChoices.Next(60)) / 100.0;
        } else {
            loop.channel = Channel();
        }
        frames.push_back(MakeFrame(aChoices, clock += 1000));
        Frame &frame = frames.back();
        BlockSource source = SourceOf(frame);
        bool injected = false;
        if (!quiet && aChoices.Chance(25)) {
            // Into this block under way, or before it, or before another.
            injected = true;
            std::vector<std::vector<uint8_t>> packets;
            const uint32_t kind = aChoices.Next(20);
            if (kind < (settled && established ? 6 : 3) && !sequence.empty()) {
                // A past block again, late: a copy of all of it, or its
                // leader alone; under its own id, or as if far older.
                const auto &[id, past] = sequence[aChoices.Next(uint32_t(sequence.size()))];
                uint64_t as = id;
                if (kind >= 3) {
                    // Past where late blocks may begin, however far stray
                    // packets moved the newest ahead.
                    const uint64_t back = Reassembler::kLateBlocks + 200 + aChoices.Next(aChoices.Chance(50) ? 100 : 40000);
                    as = loop.extendedId ? (id > back ? id - back : UINT64_MAX - back) : (id + 0xFFFF - back % 0xFFFF - 1) % 0xFFFF + 1;
                }
                Packetizer p;
                BlockSource again = SourceOf(const_cast<Frame &>(*past));
                if (p.Start(again, as, loop.datagram, loop.extendedId))
                    for (uint32_t n = 0; n < (kind % 3 == 0 ? 1 : p.PacketCount()); ++n)
                        packets.push_back(Datagram(p, n, loop.datagram));
            } else {
                Packetizer p;
                std::vector<uint8_t> genuine;
                if (p.Start(source, block, loop.datagram, loop.extendedId)) {
                    genuine.resize(loop.datagram);
                    genuine.resize(p.Write(aChoices.Next(p.PacketCount()), genuine.data(), genuine.size()));
                }
                uint64_t target = aChoices.Chance(70) ? block : nextBlockId(block + aChoices.Next(70), loop.extendedId);
                bool altered = false;
                packets = Hostile(aChoices, target, aChoices.Chance(90) ? loop.extendedId : !loop.extendedId, genuine,
                                  altered);
                if (altered) loop.channel = Channel();
            }
            for (auto &d : packets)
                if (auto parsed = parsePacket(d.data(), d.size()))
                    named.insert({parsed->header.blockId, parsed->header.extendedId});
            if (aChoices.Chance(50)) {
                loop.inject = packets;
                loop.injectAfter = aChoices.Next(8);
            } else {
                for (auto &d : packets) loop.Deliver(d);
            }
        }
        // A forged packet in place of one that never comes, or comes after
        // its block ended, cannot be told from it: what a hostile datagram
        // named arrives without loss and in order.
        const Key key{block, loop.extendedId};
        if (named.count(key)) loop.channel.loss = loop.channel.reorder = loop.channel.leaderLoss = 0;
        const Channel &c = loop.channel;
        // Lost leaders come back when asked for.
        const bool asked = config.resendEnabled && c.serveResends && !c.refuseStatus && c.resendLoss == 0;
        const bool untroubled = c.loss == 0 && c.duplicate == 0 && c.reorder == 0 && c.leaderLoss == 0;
        const bool spare = c.loss == 0 && c.duplicate == 0 && c.reorder == 0 && (c.leaderLoss == 0 || asked);
        if (loop.Send(source, block)) {
            sent[key].push_back(&frame);
            sequence.emplace_back(block, &frame);
            ++out.sent;
            // What fits its memory and was not named comes whole in quiet,
            // and before that if the channel spared it.
            const bool whole = !named.count(key) && frame.bytes.size() <= loop.capacity;
            if (quiet && whole && established) tail.insert(key);
            if (established && spare && whole) spared[&frame] = block;
            untouched = untroubled && whole && !injected ? untouched + 1 : 0;
            settled = settled || untouched;
            if (untouched > Reassembler::kShownBlocks) established = true;
        } else {
            untouched = 0;
        }
        loop.inject.clear();
        block = nextBlockId(block, loop.extendedId);
        loop.now += aChoices.Next(3000);
        // A block waiting for its leader again is not pushed out by the
        // next ones before the resend is due.
        if (quiet || c.leaderLoss > 0 || aChoices.Chance(30)) loop.Settle();
    }
    loop.Settle();
    check();
    out.tail = tail.size();
    out.landed = loop.landed;
    if (loop.GetReassembler().OpenBlocks()) out.failure = "a block stayed open";
    if (!loop.guardsIntact) out.failure = "written past the memory given";
    if (out.failure.empty())
        for (const auto &[f, id] : spared)
            if (!delivered.count(f)) {
                out.failure = "block " + std::to_string(id) + ", which the channel spared and no packet named, " +
                              (failed.count(f) ? failed[f] : "never came");
                break;
            }
    if (out.failure.empty() && out.tailComplete != out.tail)
        out.failure = std::to_string(out.tail - out.tailComplete) + " of the " + std::to_string(out.tail) +
                      " blocks after the trouble did not come whole";
    return out;
}

} // namespace gvsptest

#endif
