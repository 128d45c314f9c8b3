#include "gev/reassembler.h"

#include <algorithm>
#include <cstring>

namespace tarn {
namespace gvsp {

namespace {

constexpr uint32_t kNoTrailer = UINT32_MAX;
constexpr uint64_t kNever = UINT64_MAX;
constexpr size_t kNoGap = SIZE_MAX;
// No buffer holds more: a leader announcing more describes no block that
// could be received.
constexpr uint64_t kMaxBlockBytes = UINT32_MAX;
constexpr uint64_t kOpenEnded = UINT64_MAX;

bool isUnavailable(uint16_t aStatus)
{
    return aStatus == STATUS_PACKET_UNAVAILABLE || aStatus == STATUS_PACKET_REMOVED_FROM_MEMORY ||
           aStatus == STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY;
}

// How far aId lies ahead of aReference: positive ahead, otherwise behind
// (0 the same block). Standard ids wrap from 65535 to 1 and count half the
// id space ahead as newer, as isNewerBlock does.
int64_t aheadOf(uint64_t aId, uint64_t aReference, bool aExtendedId)
{
    if (aExtendedId) {
        if (aId > aReference) return int64_t(std::min<uint64_t>(aId - aReference, INT64_MAX));
        return -int64_t(std::min<uint64_t>(aReference - aId, INT64_MAX));
    }
    int64_t distance = int64_t((aId + 0xFFFF - aReference % 0xFFFF) % 0xFFFF);
    return distance < 0x8000 ? distance : distance - 0xFFFF;
}

// The format of the data packets a payload type travels in.
uint8_t dataFormatOf(uint16_t aPayloadType)
{
    if (aPayloadType == PAYLOAD_COMPRESSED) return FORMAT_PAYLOAD;
    switch (basePayloadType(aPayloadType)) {
    case PAYLOAD_MULTIPART: return FORMAT_MULTIPART;
    case PAYLOAD_GENDC: return FORMAT_GENDC;
    case PAYLOAD_H264: return FORMAT_H264;
    default: return FORMAT_PAYLOAD;
    }
}

// What a leader says of its block's data: at least `least` bytes, and, when
// `most` is not open-ended, no data starting at or beyond it. False when
// no buffer could hold what it announces.
struct Extent {
    uint64_t least = 0;
    uint64_t most = kOpenEnded;
};

bool extentOf(const Leader &aLeader, const std::vector<PartInfo> &aParts, Extent &aExtent)
{
    aExtent = Extent();
    const uint16_t base = basePayloadType(aLeader.payloadType);
    const bool chunks = hasChunks(aLeader.payloadType);
    if (aLeader.payloadType == PAYLOAD_COMPRESSED) {
        aExtent.least = aExtent.most = aLeader.payloadSize;
    } else if (base == PAYLOAD_IMAGE || base == PAYLOAD_EXTENDED_CHUNK_OLD) {
        const ImageInfo &i = aLeader.image;
        const uint64_t bits = (i.pixelFormat >> 16) & 0xFF;
        const uint64_t pixels = uint64_t(i.sizeX) * i.sizeY;
        if (!bits) return pixels / 8 <= kMaxBlockBytes;   // a layout we cannot tell
        const uint64_t line = (uint64_t(i.sizeX) * bits + 7) / 8 + i.paddingX;
        if (line && i.sizeY > kMaxBlockBytes / line) return false;
        aExtent.least = line * i.sizeY;
        // Chunks follow the image (the old extended chunk mode always).
        if (base == PAYLOAD_IMAGE && !chunks) aExtent.most = aExtent.least + i.paddingY;
    } else if (base == PAYLOAD_RAW) {
        aExtent.least = aLeader.payloadSize;
        if (!chunks) aExtent.most = aExtent.least;
    } else if (base == PAYLOAD_GENDC) {
        aExtent.least = aExtent.most = aLeader.payloadSize;
    } else if (base == PAYLOAD_MULTIPART) {
        uint64_t total = 0;
        for (const PartInfo &p : aParts) total += p.length;
        aExtent.most = total;
    }
    return aExtent.least <= kMaxBlockBytes && (aExtent.most == kOpenEnded || aExtent.most <= kMaxBlockBytes);
}

bool sameImage(const ImageInfo &a, const ImageInfo &b)
{
    return a.pixelFormat == b.pixelFormat && a.sizeX == b.sizeX && a.sizeY == b.sizeY && a.offsetX == b.offsetX &&
           a.offsetY == b.offsetY && a.paddingX == b.paddingX && a.paddingY == b.paddingY;
}

bool samePart(const PartInfo &a, const PartInfo &b)
{
    return a.dataType == b.dataType && a.length == b.length && a.dataFormat == b.dataFormat &&
           a.sourceId == b.sourceId && a.additionalZones == b.additionalZones &&
           a.zoneDirections == b.zoneDirections && a.dataPurposeId == b.dataPurposeId && a.regionId == b.regionId &&
           std::equal(std::begin(a.specific), std::end(a.specific), std::begin(b.specific));
}

} // namespace

// Ids low..high of a block that have not come. Lost ones are asked for no
// more but still take a late arrival.
struct Reassembler::Gap {
    uint32_t low = 0;
    uint32_t high = 0;
    uint64_t due = 0;      // when it is next asked for
    uint8_t asks = 0;
    bool lost = false;
    bool single = false;   // last asked for alone
    uint32_t size() const { return high - low + 1; }
};

struct Reassembler::Block {
    bool active = false;
    uint64_t id = 0;
    bool extendedId = false;
    uint64_t sequence = 0;
    uint32_t recent = 0;           // its entry in mRecent
    Destination destination;
    // Ids below `known` have come, but for those in a gap. Sorted, apart.
    std::vector<Gap> gaps;
    uint32_t known = 0;
    uint32_t pending = 0;          // ids in gaps that are not lost
    uint32_t asked = 0;            // distinct packets asked for
    uint32_t trailerId = kNoTrailer;
    bool leaderSeen = false;
    bool trailerSeen = false;
    bool tooManyResends = false;
    bool tooManyGaps = false;
    bool superseded = false;       // a later block has begun
    bool broken = false;           // a packet contradicted the layout
    bool restarted = false;        // began a new sequence, not yet seen sent
    uint8_t format = 0;            // of its data packets, once known
    // Generic payload: every data packet but the last carries `stride`
    // bytes; `full` of them are placed, and at most one shorter one.
    uint32_t stride = 0;
    uint32_t full = 0;
    uint32_t shortId = 0;
    uint32_t shortSize = 0;
    uint32_t lastData = 0;         // the highest data packet id placed
    uint64_t furthestStart = 0;    // where the furthest data placed starts
    Leader leader;
    std::vector<PartInfo> parts;
    std::vector<uint64_t> partOffsets;
    Extent extent;                 // the leader's
    Trailer trailer;
    uint16_t leaderStatus = STATUS_SUCCESS;
    uint64_t written = 0;          // end of the furthest data placed
    uint64_t beyond = 0;           // end of the furthest data the memory could not take
    uint64_t firstUs = 0;
    uint64_t lastUs = 0;
    uint64_t nextDue = kNever;
    BlockStatistics statistics;

    // The packet after the last one seen was asked for as the possible
    // trailer and will not come: where the block ends cannot be learned.
    bool endGivenUp() const
    {
        return !trailerSeen && !gaps.empty() && gaps.back().lost && gaps.back().high + 1 == known;
    }
    // What the leader says the block needs in memory.
    uint64_t declared() const { return extent.most != kOpenEnded ? extent.most : extent.least; }
    bool overflowing() const
    {
        return beyond || (leaderSeen && declared() > destination.capacity);
    }
};

Reassembler::Reassembler(ReassemblerSink &aSink, const ReassemblerConfig &aConfig) : mSink(aSink)
{
    configure(aConfig);
}

Reassembler::~Reassembler() = default;

void Reassembler::configure(const ReassemblerConfig &aConfig)
{
    mConfig = aConfig;
    mNextCheck = 0;
    if (mConfig.maxBlocksInFlight == 0) mConfig.maxBlocksInFlight = 1;
    if (mConfig.maxPacketsPerBlock == 0) mConfig.maxPacketsPerBlock = 1;
    if (mBlocks.size() < mConfig.maxBlocksInFlight) {
        mBlocks.resize(mConfig.maxBlocksInFlight);
        mLast = nullptr;
    }
    if (mConfig.stride) mStride = mConfig.stride;
}

bool Reassembler::asks(const Block &aBlock) const
{
    // A leader that begins a new sequence may be a forged copy of a past
    // block's: until the transmitter is seen sending the block, what it
    // lacks is not asked for, lest resends of that past block complete it.
    return mConfig.resendEnabled && !aBlock.overflowing() && !aBlock.restarted;
}

size_t Reassembler::openBlocks() const
{
    return size_t(std::count_if(mBlocks.begin(), mBlocks.end(), [](const Block &b) { return b.active; }));
}

Reassembler::Block *Reassembler::find(uint64_t aBlockId, bool aExtendedId)
{
    // Packets come in runs of one block.
    if (mLast && mLast->active && mLast->id == aBlockId && mLast->extendedId == aExtendedId) return mLast;
    for (Block &b : mBlocks)
        if (b.active && b.id == aBlockId && b.extendedId == aExtendedId) return mLast = &b;
    return nullptr;
}

void Reassembler::onPacket(const uint8_t *aData, size_t aSize, uint64_t aNowUs)
{
    ++mCounters.packets;
    mCounters.bytes += aSize;
    std::optional<Packet> packet = parsePacket(aData, aSize);
    if (!packet) {
        ++mCounters.malformed;
    } else if (packet->header.blockId == kTestBlockId) {
        if (isTestPacket(*packet)) ++mCounters.testPackets;
        else ++mCounters.malformed;
    } else {
        Block *block = find(packet->header.blockId, packet->header.extendedId);
        if (!block) block = begin(*packet, aNowUs);
        if (block) {
            place(*block, *packet, aNowUs);
            // Most packets only add to their block: it is looked at alone,
            // and the others when something of theirs falls due.
            if (block->nextDue <= aNowUs) ask(*block, aNowUs);
            settle(*block, aNowUs);
        }
    }
    if (aNowUs >= mNextCheck) onTick(aNowUs);
}

void Reassembler::onTick(uint64_t aNowUs)
{
    // Oldest first, so that results come out in the order blocks began
    // when several end at once.
    mOrder.clear();
    for (Block &b : mBlocks)
        if (b.active) mOrder.push_back(&b);
    std::sort(mOrder.begin(), mOrder.end(), [](const Block *a, const Block *b) { return a->sequence < b->sequence; });
    for (Block *b : mOrder) {
        ask(*b, aNowUs);
        settle(*b, aNowUs);
    }
    mNextCheck = nextDeadline();
}

uint64_t Reassembler::nextDeadline() const
{
    uint64_t next = kNever;
    for (const Block &b : mBlocks) {
        if (!b.active) continue;
        next = std::min(next, b.nextDue);
        next = std::min(next, b.lastUs + mConfig.blockTimeoutUs);
        if (!b.trailerSeen && b.pending == 0 && asks(b))
            next = std::min(next, b.lastUs + mConfig.resendTimeoutUs);
    }
    return next;
}

Reassembler::Admission Reassembler::admit(const Packet &aPacket, bool &aLeader, uint64_t &aTimestamp) const
{
    const Header &h = aPacket.header;
    std::optional<Leader> leader;
    if (h.packetId == 0 && h.format == FORMAT_LEADER && !isUnavailable(h.status)) leader = decodeLeader(aPacket);
    aLeader = leader.has_value();
    aTimestamp = leader ? leader->timestamp : 0;
    if (mConfig.waitForLeader && !aLeader) return Admission::Refused;
    if (!mStarted) return Admission::Next;
    // The other kind of ids: a new sequence, begun by a leader.
    if (h.extendedId != mLastExtended) return aLeader ? Admission::Restart : Admission::Refused;
    const int64_t ahead = aheadOf(h.blockId, mLastBlockId, h.extendedId);
    // Far ahead of the newest, a block shows itself with its leader, so
    // that one stray packet does not move the stream there.
    if (ahead > 0) return ahead <= int64_t(kRecentBlocks) || aLeader ? Admission::Next : Admission::Refused;
    // Behind (or the newest again): late packets of a block that ended,
    // unless a leader begins a new sequence, as a restarted camera's
    // does. A leader repeating a recent block's is a late one.
    if (!aLeader) return Admission::Refused;
    for (const Recent &r : mRecent)
        if (r.used && r.id == h.blockId && r.extendedId == h.extendedId)
            return r.leader && r.timestamp != aTimestamp ? Admission::Restart : Admission::Refused;
    return Admission::Restart;
}

Reassembler::Block *Reassembler::begin(const Packet &aPacket, uint64_t aNowUs)
{
    const Header &h = aPacket.header;
    bool leader = false;
    uint64_t timestamp = 0;
    const Admission admission = admit(aPacket, leader, timestamp);
    if (admission == Admission::Refused) {
        ++mCounters.ignored;
        return nullptr;
    }
    if (admission == Admission::Restart) {
        // The blocks of the old sequence that the new one will reach end
        // now: packets of one must never complete the other.
        for (;;) {
            Block *oldest = nullptr;
            for (Block &b : mBlocks)
                if (b.active && b.extendedId == h.extendedId && aheadOf(b.id, h.blockId, h.extendedId) >= 0 &&
                    (!oldest || b.sequence < oldest->sequence))
                    oldest = &b;
            if (!oldest) break;
            markLost(*oldest, 0, oldest->known);
            finish(*oldest, failure(*oldest));
        }
        // Nor do its ids tell what is late in the new one.
        for (Recent &r : mRecent)
            if (r.used && r.extendedId == h.extendedId && aheadOf(r.id, h.blockId, h.extendedId) >= 0) r = Recent();
    }
    mStarted = true;
    mLastBlockId = h.blockId;
    mLastExtended = h.extendedId;
    const uint32_t recent = uint32_t(mSequence % kRecentBlocks);
    mRecent[recent] = Recent{h.blockId, true, h.extendedId, leader, timestamp};
    ++mSequence;
    // Older blocks are superseded now: they are looked at on this packet.
    mNextCheck = aNowUs;

    Block *free = nullptr;
    size_t open = 0;
    for (Block &b : mBlocks) {
        if (b.active) {
            b.superseded = true;
            ++open;
        } else if (!free) {
            free = &b;
        }
    }
    if (open >= mConfig.maxBlocksInFlight || !free) free = endOldest();

    Destination destination;
    if (!mSink.acquire(h.blockId, destination)) {
        // No memory for the newest block: the oldest one still waiting for
        // packets gives way, so that it reaches the application, failed,
        // and its memory comes back for the blocks after. Otherwise blocks
        // waiting for resends would hold all the memory while every new
        // one is dropped.
        endOldest();
        ++mCounters.blocksDropped;
        return nullptr;
    }
    Block &b = *free;
    b.active = true;
    b.id = h.blockId;
    b.extendedId = h.extendedId;
    b.sequence = mSequence;
    b.recent = recent;
    b.destination = destination;
    b.gaps.clear();
    b.known = b.pending = b.asked = 0;
    b.trailerId = kNoTrailer;
    b.leaderSeen = b.trailerSeen = b.tooManyResends = b.tooManyGaps = b.superseded = b.broken = false;
    b.restarted = admission == Admission::Restart;
    b.format = 0;
    b.stride = b.full = b.shortId = b.shortSize = b.lastData = 0;
    b.furthestStart = 0;
    b.leader = Leader();
    b.parts.clear();
    b.partOffsets.clear();
    b.extent = Extent();
    b.trailer = Trailer();
    b.leaderStatus = STATUS_SUCCESS;
    b.written = b.beyond = 0;
    b.firstUs = b.lastUs = aNowUs;
    b.nextDue = kNever;
    b.statistics = BlockStatistics();
    mNextCheck = std::min(mNextCheck, aNowUs + std::min(mConfig.blockTimeoutUs, mConfig.resendTimeoutUs));
    return mLast = &b;
}

void Reassembler::track(Block &aBlock, uint32_t aUpTo, uint64_t aNowUs)
{
    if (aUpTo <= aBlock.known) return;
    if (aBlock.gaps.size() >= kMaxGaps) {
        // Past what a block may keep: it fails, whatever comes.
        aBlock.tooManyGaps = true;
        aBlock.known = aUpTo;
        return;
    }
    Gap g;
    g.low = aBlock.known;
    g.high = aUpTo - 1;
    g.due = aNowUs + mConfig.resendDelayUs;
    aBlock.gaps.push_back(g);
    aBlock.pending += aUpTo - aBlock.known;
    aBlock.known = aUpTo;
    aBlock.nextDue = std::min(aBlock.nextDue, g.due);
    mNextCheck = std::min(mNextCheck, g.due);
}

size_t Reassembler::gapOf(const Block &aBlock, uint32_t aId) const
{
    auto it = std::upper_bound(aBlock.gaps.begin(), aBlock.gaps.end(), aId,
                               [](uint32_t id, const Gap &g) { return id < g.low; });
    if (it == aBlock.gaps.begin()) return kNoGap;
    --it;
    return aId <= it->high ? size_t(it - aBlock.gaps.begin()) : kNoGap;
}

void Reassembler::received(Block &aBlock, uint32_t aId)
{
    if (aId >= aBlock.known) {
        aBlock.known = aId + 1;
        return;
    }
    size_t index = gapOf(aBlock, aId);
    if (index == kNoGap) return;
    Gap &g = aBlock.gaps[index];
    BlockStatistics &s = aBlock.statistics;
    if (g.asks) {
        ++s.recovered;
        if (g.single) ++s.recoveredSingleResend;
    } else {
        ++s.outOfOrder;
    }
    if (!g.lost) --aBlock.pending;
    if (g.low == g.high) {
        aBlock.gaps.erase(aBlock.gaps.begin() + ptrdiff_t(index));
    } else if (aId == g.low) {
        ++g.low;
    } else if (aId == g.high) {
        --g.high;
    } else {
        Gap right = g;
        right.low = aId + 1;
        g.high = aId - 1;
        aBlock.gaps.insert(aBlock.gaps.begin() + ptrdiff_t(index) + 1, right);
        if (aBlock.gaps.size() > kMaxGaps) aBlock.tooManyGaps = true;
    }
}

void Reassembler::markLost(Block &aBlock, uint32_t aFrom, uint32_t aTo)
{
    for (size_t i = 0; i < aBlock.gaps.size(); ++i) {
        Gap &g = aBlock.gaps[i];
        if (g.high < aFrom) continue;
        if (g.low >= aTo) break;
        if (g.lost) continue;
        if (g.low < aFrom) {
            // The part before aFrom stays as it is.
            Gap right = g;
            right.low = aFrom;
            g.high = aFrom - 1;
            aBlock.gaps.insert(aBlock.gaps.begin() + ptrdiff_t(i) + 1, right);
            continue;
        }
        if (g.high >= aTo) {
            Gap right = g;
            right.low = aTo;
            g.high = aTo - 1;
            aBlock.gaps.insert(aBlock.gaps.begin() + ptrdiff_t(i) + 1, right);
        }
        Gap &lost = aBlock.gaps[i];
        lost.lost = true;
        aBlock.pending -= lost.size();
    }
}

void Reassembler::misfit(Block &aBlock)
{
    ++mCounters.malformed;
    ++aBlock.statistics.ignored;
    aBlock.broken = true;
}

void Reassembler::place(Block &aBlock, const Packet &aPacket, uint64_t aNowUs)
{
    const Header &h = aPacket.header;
    const uint32_t id = h.packetId;
    if (id >= mConfig.maxPacketsPerBlock || (aBlock.trailerSeen && id > aBlock.trailerId)) {
        misfit(aBlock);
        return;
    }

    // A transmitter's answer that it no longer holds the packet: that one
    // alone, or that one and every one before it.
    if (isUnavailable(h.status)) {
        aBlock.lastUs = aNowUs;
        track(aBlock, id + 1, aNowUs);
        markLost(aBlock, h.status == STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY ? 0 : id, id + 1);
        return;
    }
    if (h.status == STATUS_PACKET_NOT_YET_AVAILABLE) return;

    if (id < aBlock.known && gapOf(aBlock, id) == kNoGap) {
        // Here already: a copy of what was placed, or a contradiction.
        ++aBlock.statistics.redundant;
        if (!sameAsPlaced(aBlock, aPacket)) misfit(aBlock);
        return;
    }

    Fit fit;
    if (h.format == FORMAT_LEADER) fit = id == 0 && placeLeader(aBlock, aPacket) ? Fit::Placed : Fit::Misfit;
    else if (h.format == FORMAT_TRAILER) fit = id > 0 && placeTrailer(aBlock, aPacket) ? Fit::Placed : Fit::Misfit;
    else fit = id > 0 ? placeData(aBlock, aPacket) : Fit::Misfit;
    if (fit == Fit::Misfit) {
        misfit(aBlock);
        return;
    }
    aBlock.lastUs = aNowUs;
    // Sent of the transmitter's own accord, not asked for: the block is
    // under way there, whatever began it here.
    const bool resent = h.extendedId ? (h.flags & FLAG_PACKET_RESEND) != 0 : h.status == STATUS_PACKET_RESEND;
    if (id > 0 && !resent) aBlock.restarted = false;
    // The ids before it that have not come yet are missing from now on;
    // one that cannot be placed yet is missing too, and a resend brings it
    // again once it can.
    track(aBlock, fit == Fit::Placed ? id : id + 1, aNowUs);
    if (fit == Fit::Placed) received(aBlock, id);
}

bool Reassembler::placeLeader(Block &aBlock, const Packet &aPacket)
{
    std::optional<Leader> leader = decodeLeader(aPacket);
    if (!leader) return false;
    const uint8_t format = dataFormatOf(leader->payloadType);
    if ((aBlock.format && aBlock.format != format) ||
        (aBlock.trailerSeen && aBlock.trailer.payloadType != leader->payloadType))
        return false;
    aBlock.parts.clear();
    aBlock.partOffsets.clear();
    uint64_t total = 0;
    for (uint32_t i = 0; i < leader->partCount; ++i) {
        aBlock.parts.push_back(leader->part(i));
        aBlock.partOffsets.push_back(total);
        total += aBlock.parts.back().length;
    }
    Extent extent;
    if (!extentOf(*leader, aBlock.parts, extent)) return false;
    // Data placed before the leader came must lie where it says.
    if (aBlock.lastData && extent.most != kOpenEnded && aBlock.furthestStart >= extent.most) return false;
    aBlock.leaderSeen = true;
    aBlock.leader = *leader;
    aBlock.leader.partTable = nullptr;
    aBlock.leaderStatus = aPacket.header.status;
    aBlock.extent = extent;
    aBlock.format = format;
    Recent &r = mRecent[aBlock.recent];
    if (r.used && r.id == aBlock.id && r.extendedId == aBlock.extendedId) {
        r.leader = true;
        r.timestamp = leader->timestamp;
    }
    return true;
}

bool Reassembler::placeTrailer(Block &aBlock, const Packet &aPacket)
{
    const uint32_t id = aPacket.header.packetId;
    std::optional<Trailer> trailer = decodeTrailer(aPacket);
    // The end comes after every data packet, and right after the short one.
    if (!trailer || aBlock.lastData >= id || (aBlock.shortId && aBlock.shortId != id - 1) ||
        (aBlock.leaderSeen && aBlock.leader.payloadType != trailer->payloadType))
        return false;
    aBlock.trailerSeen = true;
    aBlock.trailerId = id;
    aBlock.trailer = *trailer;
    aBlock.trailer.partTable = nullptr;
    // What was taken as missing after it (asked for as a possible trailer,
    // or answered as unavailable) is not part of the block.
    while (!aBlock.gaps.empty() && aBlock.gaps.back().high > id) {
        Gap &g = aBlock.gaps.back();
        const uint32_t from = std::max(g.low, id + 1);
        if (!g.lost) aBlock.pending -= g.high - from + 1;
        if (g.low > id) aBlock.gaps.pop_back();
        else g.high = id;
    }
    if (aBlock.known > id + 1) aBlock.known = id + 1;
    return true;
}

Reassembler::Fit Reassembler::placeData(Block &aBlock, const Packet &aPacket)
{
    const uint32_t id = aPacket.header.packetId;
    const uint8_t format = aPacket.header.format;
    if (aBlock.format && aBlock.format != format) return Fit::Misfit;
    const uint8_t *data = aPacket.body;
    size_t size = aPacket.bodySize;
    uint64_t start = 0;
    switch (format) {
    case FORMAT_PAYLOAD: {
        Fit fit = placeGeneric(aBlock, id, data, size);
        if (fit == Fit::Placed) {
            aBlock.format = format;
            aBlock.lastData = std::max(aBlock.lastData, id);
        }
        return fit;
    }
    case FORMAT_MULTIPART: {
        std::optional<MultiPartData> d = decodeMultiPartData(aPacket, &data, &size);
        if (!d || size == 0) return Fit::Misfit;
        if (!aBlock.leaderSeen) {
            aBlock.format = format;
            return Fit::NotYet;   // its part is told by the leader
        }
        if (d->partId >= aBlock.parts.size()) return Fit::Misfit;
        // The offset is the bytes' place in the block; they stay in their part.
        const PartInfo &part = aBlock.parts[d->partId];
        const uint64_t first = aBlock.partOffsets[d->partId];
        if (d->offset < first || d->offset - first > part.length || size > part.length - (d->offset - first))
            return Fit::Misfit;
        start = d->offset;
        break;
    }
    case FORMAT_GENDC: {
        std::optional<GenDCData> d = decodeGenDCData(aPacket, &data, &size);
        // Holding less than it announces, it was cut short.
        if (!d || size == 0 || size < d->dataSize || d->destinationOffset > UINT64_MAX - size) return Fit::Misfit;
        start = d->destinationOffset;
        if (aBlock.leaderSeen && start >= aBlock.extent.most) return Fit::Misfit;
        break;
    }
    default:
        return Fit::Misfit;
    }
    aBlock.format = format;
    write(aBlock, start, data, size);
    aBlock.lastData = std::max(aBlock.lastData, id);
    aBlock.furthestStart = std::max(aBlock.furthestStart, start);
    return Fit::Placed;
}

Reassembler::Fit Reassembler::placeGeneric(Block &aBlock, uint32_t aId, const uint8_t *aData, size_t aSize)
{
    const uint32_t fixed = mConfig.stride;
    if (aSize == 0 || aSize > UINT32_MAX || (fixed && aSize > fixed)) return Fit::Misfit;
    const uint32_t size = uint32_t(aSize);
    const uint64_t most = aBlock.leaderSeen ? aBlock.extent.most : kOpenEnded;
    if (!aBlock.stride) aBlock.stride = fixed ? fixed : size;
    bool isShort = false;
    if (size > aBlock.stride) {
        // Only a lone packet placed so far, later than this one: it was
        // the short last one, come first. It moves to its place.
        const uint32_t m = aBlock.lastData;
        if (fixed || aBlock.full != 1 || aBlock.shortId || m <= aId ||
            (aBlock.trailerSeen && m != aBlock.trailerId - 1) || uint64_t(m - 1) * size >= most ||
            uint64_t(aId - 1) * size >= most)
            return Fit::Misfit;
        const uint32_t old = aBlock.stride;
        const uint64_t from = uint64_t(m - 1) * old, to = uint64_t(m - 1) * size;
        const uint64_t capacity = aBlock.destination.data ? aBlock.destination.capacity : 0;
        const bool was = from + old <= capacity;
        aBlock.written = 0;
        if (was && to + old <= capacity) {
            std::memmove(aBlock.destination.data + to, aBlock.destination.data + from, old);
            aBlock.written = to + old;
        } else {
            aBlock.beyond = std::max(aBlock.beyond, to + old);
        }
        aBlock.furthestStart = to;
        aBlock.stride = size;
        aBlock.full = 0;
        aBlock.shortId = m;
        aBlock.shortSize = old;
    } else if (size < aBlock.stride) {
        // The last data packet alone may be shorter.
        if (aBlock.shortId || aId < aBlock.lastData || (aBlock.trailerSeen && aId != aBlock.trailerId - 1))
            return Fit::Misfit;
        isShort = true;
    } else if (aBlock.shortId && aId > aBlock.shortId) {
        return Fit::Misfit;
    }
    const uint64_t start = uint64_t(aId - 1) * aBlock.stride;
    if (start >= most) return Fit::Misfit;
    write(aBlock, start, aData, size);
    aBlock.furthestStart = std::max(aBlock.furthestStart, start);
    if (isShort) {
        aBlock.shortId = aId;
        aBlock.shortSize = size;
    } else {
        ++aBlock.full;
    }
    return Fit::Placed;
}

bool Reassembler::write(Block &aBlock, uint64_t aOffset, const uint8_t *aData, size_t aSize)
{
    const uint64_t capacity = aBlock.destination.capacity;
    // Bytes past the end the leader gives, which the memory need not hold:
    // padding of the last packet.
    if (aBlock.leaderSeen && aBlock.extent.most != kOpenEnded && aOffset < aBlock.extent.most &&
        aOffset <= capacity && aSize > capacity - aOffset && aSize > aBlock.extent.most - aOffset)
        aSize = size_t(aBlock.extent.most - aOffset);
    const uint64_t end = aOffset + aSize;
    if (!aBlock.destination.data || aOffset > capacity || aSize > capacity - aOffset) {
        aBlock.beyond = std::max(aBlock.beyond, end);
        return false;
    }
    std::memcpy(aBlock.destination.data + aOffset, aData, aSize);
    aBlock.written = std::max(aBlock.written, end);
    return true;
}

bool Reassembler::sameAsPlaced(const Block &aBlock, const Packet &aPacket) const
{
    const Header &h = aPacket.header;
    if (h.format == FORMAT_LEADER) {
        std::optional<Leader> l = decodeLeader(aPacket);
        if (h.packetId != 0 || !l || !aBlock.leaderSeen) return false;
        const Leader &a = aBlock.leader;
        if (l->payloadType != a.payloadType || l->fieldInfo != a.fieldInfo || l->timestamp != a.timestamp ||
            !sameImage(l->image, a.image) || l->payloadSize != a.payloadSize || l->genDCFlags != a.genDCFlags ||
            l->genDCDescriptorSize != a.genDCDescriptorSize || l->partCount != aBlock.parts.size())
            return false;
        for (uint32_t i = 0; i < l->partCount; ++i)
            if (!samePart(l->part(i), aBlock.parts[i])) return false;
        return true;
    }
    if (h.format == FORMAT_TRAILER) {
        std::optional<Trailer> t = decodeTrailer(aPacket);
        const Trailer &a = aBlock.trailer;
        return aBlock.trailerSeen && h.packetId == aBlock.trailerId && t && t->payloadType == a.payloadType &&
               t->sizeY == a.sizeY && t->chunkPayloadLength == a.chunkPayloadLength &&
               t->chunkLayoutId == a.chunkLayoutId && t->partCount == a.partCount;
    }
    if (h.format != aBlock.format || h.packetId == 0 || (aBlock.trailerSeen && h.packetId >= aBlock.trailerId))
        return false;
    const uint8_t *data = aPacket.body;
    size_t size = aPacket.bodySize;
    uint64_t start = 0;
    if (h.format == FORMAT_PAYLOAD) {
        const uint32_t expected = h.packetId == aBlock.shortId ? aBlock.shortSize : aBlock.stride;
        if (size != expected) return false;
        start = uint64_t(h.packetId - 1) * aBlock.stride;
    } else if (h.format == FORMAT_MULTIPART) {
        std::optional<MultiPartData> d = decodeMultiPartData(aPacket, &data, &size);
        if (!d || d->partId >= aBlock.parts.size() || d->offset > aBlock.parts[d->partId].length ||
            size > aBlock.parts[d->partId].length - d->offset)
            return false;
        start = aBlock.partOffsets[d->partId] + d->offset;
    } else if (h.format == FORMAT_GENDC) {
        std::optional<GenDCData> d = decodeGenDCData(aPacket, &data, &size);
        if (!d || size < d->dataSize || d->destinationOffset > UINT64_MAX - size) return false;
        start = d->destinationOffset;
    } else {
        return false;
    }
    const uint64_t most = aBlock.leaderSeen ? aBlock.extent.most : kOpenEnded;
    if (start >= most) return false;
    const uint64_t capacity = aBlock.destination.data ? aBlock.destination.capacity : 0;
    // Compared as far as it was written: what the memory could not take
    // cannot be, and write() keeps no padding past the leader's end there.
    if (start > capacity) return true;
    if (size > capacity - start) {
        if (most - start > capacity - start) return true;
        size = size_t(most - start);
    }
    return std::memcmp(aBlock.destination.data + start, data, size) == 0;
}

void Reassembler::ask(Block &aBlock, uint64_t aNowUs)
{
    // A block without its trailer and nothing awaited: the packet after
    // the last one seen may be the trailer, so it is asked for once a
    // later block began or the block went quiet.
    const bool resend = asks(aBlock);
    // Once that packet is lost, the next is not asked for: each would be
    // asked in turn, answered (if at all) only by the transmitter's
    // refusal, for as long as the block lives.
    if (resend && !aBlock.trailerSeen && aBlock.pending == 0 && aBlock.known < mConfig.maxPacketsPerBlock &&
        !aBlock.endGivenUp() && (aBlock.superseded || aNowUs - aBlock.lastUs >= mConfig.resendTimeoutUs)) {
        track(aBlock, aBlock.known + 1, aNowUs);
        if (!aBlock.gaps.empty() && aBlock.gaps.back().high == aBlock.known - 1) aBlock.gaps.back().due = aNowUs;
        aBlock.nextDue = aNowUs;
    }
    if (aBlock.nextDue > aNowUs) return;

    uint64_t next = kNever;
    bool open = false;           // a request being gathered
    uint32_t first = 0, last = 0;
    size_t firstGap = 0;
    auto flush = [&](size_t aEnd) {
        if (!open) return;
        open = false;
        for (size_t k = firstGap; k < aEnd; ++k) aBlock.gaps[k].single = first == last;
        mSink.requestResend(aBlock.id, aBlock.extendedId, first, last);
        const uint32_t count = last - first + 1;
        ++aBlock.statistics.resendGroupsRequested;
        aBlock.statistics.resendPacketsRequested += count;
        ++mCounters.resendRequests;
        mCounters.resendPackets += count;
    };
    for (size_t i = 0; i < aBlock.gaps.size(); ++i) {
        Gap &g = aBlock.gaps[i];
        if (g.lost || g.due > aNowUs) {
            if (!g.lost) next = std::min(next, g.due);
            flush(i);
            continue;
        }
        if (!resend || g.asks >= mConfig.maxResendsPerPacket) {
            g.lost = true;
            aBlock.pending -= g.size();
            flush(i);
            continue;
        }
        if (g.asks == 0) {
            if (g.size() > mConfig.maxResendPacketsPerBlock - std::min(aBlock.asked, mConfig.maxResendPacketsPerBlock)) {
                aBlock.tooManyResends = true;
                flush(i);
                break;
            }
            aBlock.asked += g.size();
        }
        ++g.asks;
        g.due = aNowUs + mConfig.resendTimeoutUs;
        next = std::min(next, g.due);
        if (open && g.low == last + 1) {
            last = g.high;
        } else {
            flush(i);
            open = true;
            first = g.low;
            last = g.high;
            firstGap = i;
        }
    }
    flush(aBlock.gaps.size());
    aBlock.nextDue = aBlock.tooManyResends ? aNowUs : next;
    mNextCheck = std::min(mNextCheck, aBlock.nextDue);
}

Outcome Reassembler::failure(const Block &aBlock) const
{
    // Too small only on the leader's word: packets alone may lie.
    if (aBlock.leaderSeen && !aBlock.broken &&
        (aBlock.declared() > aBlock.destination.capacity || (aBlock.beyond && aBlock.extent.most == kOpenEnded)))
        return Outcome::BufferTooSmall;
    return Outcome::MissingPackets;
}

Outcome Reassembler::verdict(Block &aBlock)
{
    // Every packet up to the trailer came; whether they make the block the
    // leader describes.
    if (aBlock.broken || aBlock.overflowing()) return failure(aBlock);
    if (aBlock.format == FORMAT_PAYLOAD || aBlock.format == FORMAT_GENDC) {
        // All the leader announced: a trailer telling fewer lines, which
        // anyone can send, does not make a shorter image whole.
        uint64_t least = aBlock.extent.least;
        const uint16_t base = basePayloadType(aBlock.leader.payloadType);
        if (hasChunks(aBlock.leader.payloadType) || base == PAYLOAD_CHUNK) least += aBlock.trailer.chunkPayloadLength;
        if (aBlock.written < least) return Outcome::MissingPackets;
    }
    return Outcome::Complete;
}

bool Reassembler::settle(Block &aBlock, uint64_t aNowUs)
{
    if (!aBlock.active) return true;
    if (aBlock.tooManyResends || aBlock.tooManyGaps) {
        markLost(aBlock, 0, aBlock.known);
        finish(aBlock, aBlock.tooManyResends || mConfig.resendEnabled ? Outcome::TooManyResends
                                                                      : Outcome::MissingPackets);
    } else if (aBlock.leaderSeen && aBlock.trailerSeen && aBlock.gaps.empty()) {
        finish(aBlock, verdict(aBlock));
    } else if (aNowUs - aBlock.lastUs >= mConfig.blockTimeoutUs) {
        markLost(aBlock, 0, aBlock.known);
        finish(aBlock, failure(aBlock));
    } else if (aBlock.pending == 0 &&
               (aBlock.trailerSeen || (aBlock.superseded && (!asks(aBlock) || aBlock.endGivenUp())))) {
        // Nothing more can come: its end is known, or unknowable once a
        // later block began, without resends or because asking for it failed.
        finish(aBlock, failure(aBlock));
    } else {
        return false;
    }
    return true;
}

void Reassembler::finish(Block &aBlock, Outcome aOutcome)
{
    aBlock.active = false;
    mMissing.clear();
    uint32_t lost = 0;
    for (const Gap &g : aBlock.gaps) {
        lost += g.size();
        if (!mMissing.empty() && mMissing.back().high + 1 == g.low) mMissing.back().high = g.high;
        else mMissing.push_back(MissingRange{g.low, g.high});
    }
    aBlock.statistics.lost = lost;
    if (aOutcome == Outcome::Complete && aBlock.format == FORMAT_PAYLOAD) mStride = aBlock.stride;

    BlockResult r;
    r.cookie = aBlock.destination.cookie;
    r.blockId = aBlock.id;
    r.extendedId = aBlock.extendedId;
    r.outcome = aOutcome;
    r.leaderValid = aBlock.leaderSeen;
    r.trailerValid = aBlock.trailerSeen;
    r.leader = aBlock.leader;
    r.leader.partCount = uint32_t(aBlock.parts.size());
    r.trailer = aBlock.trailer;
    r.trailer.partCount = 0;
    r.parts = aBlock.parts.data();
    r.partOffsets = aBlock.partOffsets.data();
    r.leaderStatus = aBlock.leaderStatus;
    r.bytesWritten = aBlock.written;
    r.requiredSize = std::max({aBlock.leaderSeen ? aBlock.declared() : 0, aBlock.beyond, aBlock.written});
    r.firstPacketUs = aBlock.firstUs;
    r.lastPacketUs = aBlock.lastUs;
    r.statistics = aBlock.statistics;
    r.missing = mMissing.data();
    r.missingCount = mMissing.size();
    if (aOutcome == Outcome::Complete) ++mCounters.blocksComplete;
    else ++mCounters.blocksIncomplete;
    mSink.complete(r);
}

Reassembler::Block *Reassembler::oldestOpen()
{
    Block *oldest = nullptr;
    for (Block &b : mBlocks)
        if (b.active && (!oldest || b.sequence < oldest->sequence)) oldest = &b;
    return oldest;
}

Reassembler::Block *Reassembler::endOldest()
{
    Block *oldest = oldestOpen();
    if (!oldest) return nullptr;
    markLost(*oldest, 0, oldest->known);
    finish(*oldest, failure(*oldest));
    return oldest;
}

void Reassembler::abort()
{
    while (Block *oldest = oldestOpen()) finish(*oldest, Outcome::Aborted);
}

void Reassembler::reset()
{
    abort();
    mStarted = false;
    mLastBlockId = 0;
    for (Recent &r : mRecent) r = Recent();
    mStride = mConfig.stride;
    mNextCheck = 0;
}

} // namespace gvsp
} // namespace tarn
