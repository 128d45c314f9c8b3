#include "gev/reassembler.h"

#include <algorithm>
#include <cstring>

namespace tarn {
namespace gvsp {

namespace {

enum : uint8_t { kUntracked = 0, kMissing = 1, kReceived = 2, kLost = 3 };
constexpr uint32_t kNoTrailer = UINT32_MAX;
constexpr uint64_t kNever = UINT64_MAX;

bool isUnavailable(uint16_t aStatus)
{
    return aStatus == STATUS_PACKET_UNAVAILABLE || aStatus == STATUS_PACKET_REMOVED_FROM_MEMORY ||
           aStatus == STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY;
}

} // namespace

struct Reassembler::Slot {
    uint64_t due = 0;      // when a missing packet is next asked for
    uint8_t state = kUntracked;
    uint8_t asks = 0;
    uint8_t single = 0;    // last asked for alone
};

struct Reassembler::Block {
    bool active = false;
    uint64_t id = 0;
    bool extendedId = false;
    uint64_t sequence = 0;
    Destination destination;
    std::vector<Slot> slots;
    uint32_t known = 0;            // ids below are tracked
    uint32_t trailerId = kNoTrailer;
    uint32_t received = 0;
    uint32_t pending = 0;          // slots missing and still to be asked or awaited
    uint32_t asked = 0;            // distinct packets asked for
    bool leaderSeen = false;
    bool trailerSeen = false;
    bool overflow = false;
    bool tooManyResends = false;
    bool superseded = false;       // a later block has begun
    bool generic = false;          // placed by packet id and stride
    Leader leader;
    std::vector<PartInfo> parts;
    std::vector<uint64_t> partOffsets;
    Trailer trailer;
    uint16_t leaderStatus = STATUS_SUCCESS;
    uint64_t written = 0;
    uint64_t required = 0;
    uint64_t firstUs = 0;
    uint64_t lastUs = 0;
    uint64_t nextDue = kNever;
    BlockStatistics statistics;
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
    if (mBlocks.size() < mConfig.maxBlocksInFlight) {
        mBlocks.resize(mConfig.maxBlocksInFlight);
        mLast = nullptr;
    }
    if (mConfig.stride) mStride = mConfig.stride;
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
        if (!b.trailerSeen && b.pending == 0 && mConfig.resendEnabled && !b.overflow)
            next = std::min(next, b.lastUs + mConfig.resendTimeoutUs);
    }
    return next;
}

Reassembler::Block *Reassembler::begin(const Packet &aPacket, uint64_t aNowUs)
{
    const Header &h = aPacket.header;
    if (mStarted && h.extendedId == mLastExtended && !isNewerBlock(h.blockId, mLastBlockId, h.extendedId)) {
        ++mCounters.ignored;   // late: the block ended or was dropped
        return nullptr;
    }
    if (mConfig.waitForLeader && !(h.packetId == 0 && h.format == FORMAT_LEADER)) {
        ++mCounters.ignored;
        return nullptr;
    }
    mStarted = true;
    mLastBlockId = h.blockId;
    mLastExtended = h.extendedId;
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
    if (open >= mConfig.maxBlocksInFlight || !free) {
        Block *oldest = nullptr;
        for (Block &b : mBlocks)
            if (b.active && (!oldest || b.sequence < oldest->sequence)) oldest = &b;
        markLost(*oldest, 0, oldest->known);
        finish(*oldest, oldest->overflow ? Outcome::BufferTooSmall : Outcome::MissingPackets);
        free = oldest;
    }

    Destination destination;
    if (!mSink.acquire(h.blockId, destination)) {
        ++mCounters.blocksDropped;
        return nullptr;
    }
    Block &b = *free;
    b.active = true;
    b.id = h.blockId;
    b.extendedId = h.extendedId;
    b.sequence = ++mSequence;
    b.destination = destination;
    b.slots.clear();
    b.known = 0;
    b.trailerId = kNoTrailer;
    b.received = b.pending = b.asked = 0;
    b.leaderSeen = b.trailerSeen = b.overflow = b.tooManyResends = b.superseded = b.generic = false;
    b.leader = Leader();
    b.parts.clear();
    b.partOffsets.clear();
    b.trailer = Trailer();
    b.leaderStatus = STATUS_SUCCESS;
    b.written = b.required = 0;
    b.firstUs = b.lastUs = aNowUs;
    b.nextDue = kNever;
    b.statistics = BlockStatistics();
    mNextCheck = std::min(mNextCheck, aNowUs + std::min(mConfig.blockTimeoutUs, mConfig.resendTimeoutUs));
    return mLast = &b;
}

void Reassembler::track(Block &aBlock, uint32_t aUpTo, uint64_t aNowUs)
{
    if (aUpTo <= aBlock.known) return;
    if (aBlock.slots.size() < aUpTo) aBlock.slots.resize(aUpTo);
    uint64_t due = aNowUs + mConfig.resendDelayUs;
    for (uint32_t id = aBlock.known; id < aUpTo; ++id) {
        aBlock.slots[id] = Slot();
        aBlock.slots[id].state = kMissing;
        aBlock.slots[id].due = due;
    }
    aBlock.pending += aUpTo - aBlock.known;
    aBlock.known = aUpTo;
    aBlock.nextDue = std::min(aBlock.nextDue, due);
    mNextCheck = std::min(mNextCheck, due);
}

void Reassembler::markLost(Block &aBlock, uint32_t aFrom, uint32_t aTo)
{
    for (uint32_t id = aFrom; id < aTo && id < aBlock.known; ++id) {
        if (aBlock.slots[id].state != kMissing) continue;
        aBlock.slots[id].state = kLost;
        --aBlock.pending;
    }
}

void Reassembler::place(Block &aBlock, const Packet &aPacket, uint64_t aNowUs)
{
    const Header &h = aPacket.header;
    uint32_t id = h.packetId;
    BlockStatistics &s = aBlock.statistics;
    if (id >= mConfig.maxPacketsPerBlock || (aBlock.trailerSeen && id > aBlock.trailerId)) {
        ++s.ignored;
        return;
    }
    aBlock.lastUs = aNowUs;

    // A transmitter's answer that it no longer holds the packet.
    if (isUnavailable(h.status)) {
        track(aBlock, id + 1, aNowUs);
        markLost(aBlock, h.status == STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY ? 0 : id, id + 1);
        return;
    }
    if (h.status == STATUS_PACKET_NOT_YET_AVAILABLE) return;

    bool tracked = id < aBlock.known;
    if (tracked && aBlock.slots[id].state == kReceived) {
        ++s.redundant;
        return;
    }
    // The ids before it that have not come yet are missing from now on.
    track(aBlock, id, aNowUs);

    bool placed = false;
    if (h.format == FORMAT_LEADER) {
        std::optional<Leader> leader = id == 0 ? decodeLeader(aPacket) : std::nullopt;
        if (leader) {
            placed = true;
            aBlock.leaderSeen = true;
            aBlock.leader = *leader;
            aBlock.leaderStatus = h.status;
            aBlock.parts.clear();
            aBlock.partOffsets.clear();
            uint64_t total = 0;
            for (uint32_t i = 0; i < leader->partCount; ++i) {
                aBlock.parts.push_back(leader->part(i));
                aBlock.partOffsets.push_back(total);
                total += aBlock.parts.back().length;
            }
            aBlock.leader.partTable = nullptr;
            uint16_t base = basePayloadType(leader->payloadType);
            if (base == PAYLOAD_RAW || base == PAYLOAD_GENDC || leader->payloadType == PAYLOAD_COMPRESSED)
                total = leader->payloadSize;
            aBlock.required = std::max(aBlock.required, total);
            if (total > aBlock.destination.capacity) aBlock.overflow = true;
        }
    } else if (h.format == FORMAT_TRAILER) {
        std::optional<Trailer> trailer = id > 0 ? decodeTrailer(aPacket) : std::nullopt;
        if (trailer) {
            placed = true;
            aBlock.trailerSeen = true;
            aBlock.trailerId = id;
            aBlock.trailer = *trailer;
            aBlock.trailer.partTable = nullptr;
            // Whatever was taken for packets after the trailer was not.
            for (uint32_t k = id + 1; k < aBlock.known; ++k) {
                if (aBlock.slots[k].state == kMissing) --aBlock.pending;
                if (aBlock.slots[k].state == kReceived) --aBlock.received;
            }
            if (aBlock.known > id + 1) aBlock.known = id + 1;
        }
    } else if (id > 0) {
        placed = placeData(aBlock, aPacket);
    }

    if (!placed) {
        ++mCounters.malformed;
        ++s.ignored;
        // Unplaced, the packet is missing still: a resend may bring it whole.
        track(aBlock, id + 1, aNowUs);
        return;
    }
    if (id >= aBlock.known) {
        if (aBlock.slots.size() <= id) aBlock.slots.resize(size_t(id) + 1);
        aBlock.slots[id] = Slot();
        aBlock.known = id + 1;
    } else {
        Slot &slot = aBlock.slots[id];
        if (slot.asks) {
            ++s.recovered;
            if (slot.single) ++s.recoveredSingleResend;
        } else {
            ++s.outOfOrder;
        }
        if (slot.state == kMissing) --aBlock.pending;
    }
    aBlock.slots[id].state = kReceived;
    ++aBlock.received;
}

bool Reassembler::placeData(Block &aBlock, const Packet &aPacket)
{
    uint32_t id = aPacket.header.packetId;
    const uint8_t *data = aPacket.body;
    size_t size = aPacket.bodySize;
    switch (aPacket.header.format) {
    case FORMAT_PAYLOAD: {
        if (size == 0) return false;
        if (mConfig.stride) {
            if (size > mConfig.stride) return false;
        } else if (size > mStride) {
            relearnStride(uint32_t(size), aBlock.lastUs);
        }
        aBlock.generic = true;
        write(aBlock, uint64_t(id - 1) * mStride, data, size);
        return true;
    }
    case FORMAT_MULTIPART: {
        std::optional<MultiPartData> d = decodeMultiPartData(aPacket, &data, &size);
        if (!d || !aBlock.leaderSeen || d->partId >= aBlock.parts.size()) return false;
        // The offset is the bytes' place in the block; they stay in their part.
        const PartInfo &part = aBlock.parts[d->partId];
        const uint64_t start = aBlock.partOffsets[d->partId];
        if (d->offset < start || d->offset - start > part.length || size > part.length - (d->offset - start))
            return false;
        write(aBlock, d->offset, data, size);
        return true;
    }
    case FORMAT_GENDC: {
        std::optional<GenDCData> d = decodeGenDCData(aPacket, &data, &size);
        if (!d || d->destinationOffset > UINT64_MAX - size) return false;
        write(aBlock, d->destinationOffset, data, size);
        return true;
    }
    default:
        return false;
    }
}

void Reassembler::write(Block &aBlock, uint64_t aOffset, const uint8_t *aData, size_t aSize)
{
    uint64_t end = aOffset + aSize;
    aBlock.required = std::max(aBlock.required, end);
    if (aOffset > aBlock.destination.capacity || aSize > aBlock.destination.capacity - aOffset ||
        !aBlock.destination.data) {
        aBlock.overflow = true;
        return;
    }
    std::memcpy(aBlock.destination.data + aOffset, aData, aSize);
    aBlock.written = std::max(aBlock.written, end);
}

void Reassembler::relearnStride(uint32_t aStride, uint64_t aNowUs)
{
    // A larger packet shows that what was placed before used a short last
    // packet's size: those packets sit in the wrong place and must come
    // again.
    uint32_t old = mStride;
    mStride = aStride;
    if (old == 0) return;
    for (Block &b : mBlocks) {
        if (!b.active || !b.generic) continue;
        for (uint32_t id = 1; id < b.known; ++id) {
            Slot &slot = b.slots[id];
            if (slot.state != kReceived || id == b.trailerId) continue;
            slot = Slot();
            slot.state = kMissing;
            slot.due = aNowUs;
            --b.received;
            ++b.pending;
        }
        b.written = 0;
        b.required = 0;
        b.nextDue = std::min(b.nextDue, aNowUs);
        mNextCheck = std::min(mNextCheck, aNowUs);
    }
}

void Reassembler::ask(Block &aBlock, uint64_t aNowUs)
{
    // A block without its trailer and nothing awaited: the packet after
    // the last one seen may be the trailer, so it is asked for once a
    // later block began or the block went quiet.
    bool resend = mConfig.resendEnabled && !aBlock.overflow;
    if (resend && !aBlock.trailerSeen && aBlock.pending == 0 && aBlock.known < mConfig.maxPacketsPerBlock &&
        (aBlock.superseded || aNowUs - aBlock.lastUs >= mConfig.resendTimeoutUs)) {
        track(aBlock, aBlock.known + 1, aNowUs);
        aBlock.slots[aBlock.known - 1].due = aNowUs;
        aBlock.nextDue = aNowUs;
    }
    if (aBlock.nextDue > aNowUs) return;

    uint64_t next = kNever;
    uint32_t first = 0, count = 0;
    auto flush = [&]() {
        if (!count) return;
        for (uint32_t k = first; k < first + count; ++k) aBlock.slots[k].single = count == 1;
        mSink.requestResend(aBlock.id, aBlock.extendedId, first, first + count - 1);
        ++aBlock.statistics.resendGroupsRequested;
        aBlock.statistics.resendPacketsRequested += count;
        ++mCounters.resendRequests;
        mCounters.resendPackets += count;
        count = 0;
    };
    for (uint32_t id = 0; id < aBlock.known; ++id) {
        Slot &slot = aBlock.slots[id];
        if (slot.state != kMissing || slot.due > aNowUs) {
            if (slot.state == kMissing) next = std::min(next, slot.due);
            flush();
            continue;
        }
        if (!resend || slot.asks >= mConfig.maxResendsPerPacket) {
            slot.state = kLost;
            --aBlock.pending;
            flush();
            continue;
        }
        if (slot.asks == 0) {
            if (aBlock.asked >= mConfig.maxResendPacketsPerBlock) {
                aBlock.tooManyResends = true;
                break;
            }
            ++aBlock.asked;
        }
        ++slot.asks;
        slot.due = aNowUs + mConfig.resendTimeoutUs;
        next = std::min(next, slot.due);
        if (!count) first = id;
        ++count;
    }
    flush();
    aBlock.nextDue = aBlock.tooManyResends ? aNowUs : next;
    mNextCheck = std::min(mNextCheck, aBlock.nextDue);
}

bool Reassembler::settle(Block &aBlock, uint64_t aNowUs)
{
    if (!aBlock.active) return true;
    Outcome failed = aBlock.overflow ? Outcome::BufferTooSmall : Outcome::MissingPackets;
    if (aBlock.tooManyResends) {
        markLost(aBlock, 0, aBlock.known);
        finish(aBlock, Outcome::TooManyResends);
    } else if (aBlock.leaderSeen && aBlock.trailerSeen && aBlock.received == aBlock.trailerId + 1) {
        finish(aBlock, aBlock.overflow ? Outcome::BufferTooSmall : Outcome::Complete);
    } else if (aNowUs - aBlock.lastUs >= mConfig.blockTimeoutUs) {
        markLost(aBlock, 0, aBlock.known);
        finish(aBlock, failed);
    } else if (aBlock.pending == 0 &&
               (aBlock.trailerSeen || (aBlock.superseded && (!mConfig.resendEnabled || aBlock.overflow)))) {
        // Nothing more can come: its end is known, or unknowable without
        // resends once a later block began.
        finish(aBlock, failed);
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
    for (uint32_t id = 0; id < aBlock.known; ++id) {
        uint8_t state = aBlock.slots[id].state;
        if (state != kMissing && state != kLost) continue;
        ++lost;
        if (!mMissing.empty() && mMissing.back().high + 1 == id) mMissing.back().high = id;
        else mMissing.push_back(MissingRange{id, id});
    }
    aBlock.statistics.lost = lost;

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
    r.requiredSize = aBlock.required;
    r.firstPacketUs = aBlock.firstUs;
    r.lastPacketUs = aBlock.lastUs;
    r.statistics = aBlock.statistics;
    r.missing = mMissing.data();
    r.missingCount = mMissing.size();
    if (aOutcome == Outcome::Complete) ++mCounters.blocksComplete;
    else ++mCounters.blocksIncomplete;
    mSink.complete(r);
}

void Reassembler::abort()
{
    for (;;) {
        Block *oldest = nullptr;
        for (Block &b : mBlocks)
            if (b.active && (!oldest || b.sequence < oldest->sequence)) oldest = &b;
        if (!oldest) return;
        finish(*oldest, Outcome::Aborted);
    }
}

void Reassembler::reset()
{
    abort();
    mStarted = false;
    mLastBlockId = 0;
    mStride = mConfig.stride;
    mNextCheck = 0;
}

} // namespace gvsp
} // namespace tarn
