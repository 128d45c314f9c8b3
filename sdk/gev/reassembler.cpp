#include "gev/reassembler.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace tarn {
namespace gvsp {

namespace {

constexpr uint32_t kNoTrailer = UINT32_MAX;
constexpr uint64_t kNever = UINT64_MAX;
// No buffer holds more: a leader announcing more describes no block that
// could be received.
constexpr uint64_t kMaxBlockBytes = UINT32_MAX;
constexpr uint64_t kOpenEnded = UINT64_MAX;

bool isUnavailable(uint16_t aStatus)
{
    return aStatus == STATUS_PACKET_UNAVAILABLE || aStatus == STATUS_PACKET_REMOVED_FROM_MEMORY ||
           aStatus == STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY;
}

// Only a status, no packet: says nothing of a sequence going on.
bool isStatusOnly(uint16_t aStatus)
{
    return isUnavailable(aStatus) || aStatus == STATUS_PACKET_NOT_YET_AVAILABLE;
}

bool isResent(const Header &aHeader)
{
    return aHeader.extendedId ? (aHeader.flags & FLAG_PACKET_RESEND) != 0 : aHeader.status == STATUS_PACKET_RESEND;
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

// Ids low..high of a block that have not come: awaited, and asked for when
// due until asked too often, or lost, asked for no more.
struct Reassembler::Gap {
    uint32_t low = 0;      // its key
    uint32_t high = 0;
    uint64_t due = 0;      // when it is next asked for
    uint8_t asks = 0;
    bool single = false;   // last asked for alone
    // Awaited, it is in one of its block's queues.
    enum : uint8_t { None, Fresh, Retry } queue = None;
    Gap *previous = nullptr;
    Gap *next = nullptr;
};

// Awaited gaps in the order they fall due: a gap is due a fixed time after
// it opened, or after it was last asked for, so each queue stays in order
// by appending, and the gaps due are found at its head.
struct Reassembler::Queue {
    Gap *head = nullptr;
    Gap *tail = nullptr;

    void Insert(Gap &aGap, Gap *aBefore)
    {
        aGap.next = aBefore;
        aGap.previous = aBefore ? aBefore->previous : tail;
        (aGap.previous ? aGap.previous->next : head) = &aGap;
        (aBefore ? aBefore->previous : tail) = &aGap;
    }
    void Remove(Gap &aGap)
    {
        (aGap.previous ? aGap.previous->next : head) = aGap.next;
        (aGap.next ? aGap.next->previous : tail) = aGap.previous;
        aGap.previous = aGap.next = nullptr;
    }
};

struct Reassembler::Block {
    // Gaps by their first id: those awaited, and those lost (asked for no
    // more, but a late arrival is still taken). Each is looked up, split or
    // moved in a logarithm of their number, and the awaited ones wait in
    // two queues by when they fall due, so that no pattern of loss makes a
    // packet dearer.
    using Gaps = std::pmr::map<uint32_t, Gap>;

    explicit Block(std::pmr::memory_resource *aMemory) : pending(aMemory), lost(aMemory) {}
    Block(Block &&) = default;
    Block(const Block &) = delete;

    bool active = false;
    uint64_t id = 0;
    bool extendedId = false;
    uint64_t ordinal = 0;          // blocks begun before it, for their order
    bool late = false;             // begun behind the newest
    uint32_t recent = 0;           // its entry in mRecent
    Destination destination;
    // Ids below `known` have come, but for those in a gap.
    Gaps pending;
    Gaps lost;
    Queue fresh;                   // not asked for yet
    Queue retry;                   // asked for, to be asked again
    uint32_t delayUs = 0;          // the configuration's when it began
    uint32_t timeoutUs = 0;
    uint32_t packets = 0;          // that reached it
    uint32_t known = 0;
    uint32_t awaited = 0;          // ids in pending gaps
    uint32_t asked = 0;            // distinct packets asked for
    uint32_t trailerId = kNoTrailer;
    bool leaderSeen = false;
    bool trailerSeen = false;
    bool tooManyResends = false;
    bool tooManyGaps = false;
    bool superseded = false;       // a later block showed itself
    bool broken = false;           // a packet contradicted the layout
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

    size_t GapCount() const { return pending.size() + lost.size(); }
    // The gap of aGaps holding aId, or its end.
    template <class Map>
    static auto Holding(Map &aGaps, uint32_t aId)
    {
        auto it = aGaps.upper_bound(aId);
        if (it == aGaps.begin() || aId > std::prev(it)->second.high) return aGaps.end();
        return std::prev(it);
    }
    // The packet after the last one seen was asked for as the possible
    // trailer and will not come: where the block ends cannot be learned.
    bool EndGivenUp() const
    {
        return !trailerSeen && !lost.empty() && lost.rbegin()->second.high + 1 == known;
    }
    // What the leader says the block needs in memory.
    uint64_t Declared() const { return extent.most != kOpenEnded ? extent.most : extent.least; }
    bool Overflowing() const
    {
        return beyond || (leaderSeen && Declared() > destination.capacity);
    }
    Queue &QueueOf(const Gap &aGap) { return aGap.queue == Gap::Fresh ? fresh : retry; }
    // aGap into queue aWhich, before aBefore (at the end if null).
    void Enqueue(Gap &aGap, decltype(Gap::queue) aWhich, Gap *aBefore = nullptr)
    {
        aGap.queue = aWhich;
        QueueOf(aGap).Insert(aGap, aBefore);
    }
    void Dequeue(Gap &aGap)
    {
        if (aGap.queue == Gap::None) return;
        QueueOf(aGap).Remove(aGap);
        aGap.queue = Gap::None;
    }
    uint64_t FirstDue() const
    {
        return std::min(fresh.head ? fresh.head->due : kNever, retry.head ? retry.head->due : kNever);
    }
    // Ids aLow..aHigh awaited from now on, due at aDue.
    void Open(uint32_t aLow, uint32_t aHigh, uint64_t aDue)
    {
        Gap g;
        g.low = aLow;
        g.high = aHigh;
        g.due = aDue;
        auto it = pending.emplace_hint(pending.end(), aLow, g);
        Enqueue(it->second, Gap::Fresh);
        awaited += aHigh - aLow + 1;
    }
    // Gap aAt of aGaps ends at aHigh now; the rest from aLow on (if any) is
    // a gap of its own, asked as it was and due with it.
    void Divide(Gaps &aGaps, Gaps::iterator aAt, uint32_t aHigh, uint32_t aLow)
    {
        Gap &left = aAt->second;
        const uint32_t high = left.high;
        left.high = aHigh;
        if (aLow > high) return;
        Gap right = left;
        right.low = aLow;
        right.high = high;
        right.previous = right.next = nullptr;
        right.queue = Gap::None;
        Gap &added = aGaps.emplace_hint(std::next(aAt), aLow, right)->second;
        if (left.queue != Gap::None) Enqueue(added, left.queue, left.next);
    }
    // Takes aId, come at last, out of gap aAt of aGaps; the gaps it split
    // one into (0 or 1).
    size_t Take(Gaps &aGaps, Gaps::iterator aAt, uint32_t aId)
    {
        Gap &g = aAt->second;
        const uint32_t low = aAt->first, high = g.high;
        if (&aGaps == &pending) --awaited;
        if (aId == low) {
            if (low == high) {
                Dequeue(g);
                aGaps.erase(aAt);
                return 0;
            }
            // The node, and so its place in a queue, stays.
            auto node = aGaps.extract(aAt);
            node.key() = low + 1;
            node.mapped().low = low + 1;
            aGaps.insert(std::move(node));
            return 0;
        }
        Divide(aGaps, aAt, aId - 1, aId + 1);
        return aId < high ? 1 : 0;
    }
    // Awaited gap aAt is given up on; the next awaited one.
    Gaps::iterator GiveUp(Gaps::iterator aAt)
    {
        awaited -= aAt->second.high - aAt->first + 1;
        Dequeue(aAt->second);
        auto next = std::next(aAt);
        lost.insert(pending.extract(aAt));
        return next;
    }
    // An awaited gap that goes: its ids are not awaited any more.
    void Forget(Gaps::iterator aAt)
    {
        awaited -= aAt->second.high - aAt->first + 1;
        Dequeue(aAt->second);
        pending.erase(aAt);
    }
    void ClearGaps()
    {
        pending.clear();
        lost.clear();
        fresh = retry = Queue();
        awaited = 0;
    }
};

Reassembler::Reassembler(ReassemblerSink &aSink, const ReassemblerConfig &aConfig) : mSink(aSink)
{
    Configure(aConfig);
}

Reassembler::~Reassembler() = default;

void Reassembler::Configure(const ReassemblerConfig &aConfig)
{
    mConfig = aConfig;
    mNextCheck = 0;
    if (mConfig.maxBlocksInFlight == 0) mConfig.maxBlocksInFlight = 1;
    if (mConfig.maxPacketsPerBlock == 0) mConfig.maxPacketsPerBlock = 1;
    if (mBlocks.size() < mConfig.maxBlocksInFlight) {
        mBlocks.reserve(mConfig.maxBlocksInFlight);
        while (mBlocks.size() < mConfig.maxBlocksInFlight) mBlocks.emplace_back(&mGapMemory);
        mLast = nullptr;
    }
    if (mConfig.stride) mStride = mConfig.stride;
}

bool Reassembler::Asks(const Block &aBlock) const
{
    return mConfig.resendEnabled && !aBlock.Overflowing();
}

size_t Reassembler::OpenBlocks() const
{
    return size_t(std::count_if(mBlocks.begin(), mBlocks.end(), [](const Block &b) { return b.active; }));
}

Reassembler::Block *Reassembler::Find(uint64_t aBlockId, bool aExtendedId)
{
    // Packets come in runs of one block.
    if (mLast && mLast->active && mLast->id == aBlockId && mLast->extendedId == aExtendedId) return mLast;
    for (Block &b : mBlocks)
        if (b.active && b.id == aBlockId && b.extendedId == aExtendedId) return mLast = &b;
    return nullptr;
}

void Reassembler::OnPacket(const uint8_t *aData, size_t aSize, uint64_t aNowUs)
{
    ++mCounters.packets;
    mCounters.bytes += aSize;
    Dispatch(aData, aSize, aNowUs);
    if (aNowUs >= mNextCheck) OnTick(aNowUs);
    if (mHeldCount) Release(aNowUs);
}

void Reassembler::Dispatch(const uint8_t *aData, size_t aSize, uint64_t aNowUs)
{
    std::optional<Packet> packet = parsePacket(aData, aSize);
    if (!packet) {
        ++mCounters.malformed;
        return;
    }
    if (packet->header.blockId == kTestBlockId) {
        if (isTestPacket(*packet)) ++mCounters.testPackets;
        else ++mCounters.malformed;
        return;
    }
    if (Block *block = Find(packet->header.blockId, packet->header.extendedId)) {
        GoOn(*block, *packet, aNowUs);
        return;
    }
    Block *block = Begin(*packet, aData, aSize, aNowUs);
    // The first packets of a block that waited for a slot.
    for (uint32_t k = 0; block && k < mReplay; ++k) {
        if (std::optional<Packet> held = parsePacket(mHeld[k].data(), mHeld[k].size())) {
            ++block->packets;
            Place(*block, *held, aNowUs);
        }
    }
    mReplay = 0;
    if (!block) return;
    if (++block->packets == kShowingPackets) Shows(*block, aNowUs);
    Place(*block, *packet, aNowUs);
    // Most packets only add to their block: it is looked at alone, and the
    // others when something of theirs falls due.
    if (block->nextDue <= aNowUs) Ask(*block, aNowUs);
    Settle(*block, aNowUs);
}

void Reassembler::GoOn(Block &aBlock, const Packet &aPacket, uint64_t aNowUs)
{
    // The sequence under way goes on, sending of its own accord: what was
    // gathered of a new one was not that. A block begun behind the newest
    // may be a new sequence's: it shows it instead.
    if (!isStatusOnly(aPacket.header.status) && !isResent(aPacket.header)) {
        if (!aBlock.late) {
            if (mCandidate.open) mCandidate = Candidate();
        } else if (aPacket.header.format == FORMAT_TRAILER) {
            Witness(aPacket, false, 0);
        }
    }
    if (++aBlock.packets == kShowingPackets) Shows(aBlock, aNowUs);
    Place(aBlock, aPacket, aNowUs);
    if (aBlock.nextDue <= aNowUs) Ask(aBlock, aNowUs);
    Settle(aBlock, aNowUs);
}

void Reassembler::Release(uint64_t aNowUs)
{
    // A slot came free: the block that waited for one begins with what it
    // sent, as if it came now; unless it waited longer than a block waits
    // for its packets.
    const uint32_t count = mHeldCount;
    if (aNowUs - mHeldUs >= mConfig.blockTimeoutUs) {
        mCounters.ignored += count;
        mHeldCount = 0;
        return;
    }
    if (OpenBlocks() >= mConfig.maxBlocksInFlight) return;
    mHeldCount = 0;
    for (uint32_t k = 0; k < count; ++k) mReleased[k].swap(mHeld[k]);
    for (uint32_t k = 0; k < count; ++k) Dispatch(mReleased[k].data(), mReleased[k].size(), aNowUs);
}

Reassembler::Expectation Reassembler::Expect(Landing *aLandings, size_t aSlots, size_t aSlotSize)
{
    Expectation e;
    e.landings = Land(aLandings, aSlots, aSlotSize);
    e.headerSize = mExpected.headerSize;
    const size_t settle = e.landings ? 0 : Settling();
    e.batch = std::min(aSlots, e.landings ? e.landings + (e.landings < aSlots ? 2 : 0) : settle ? settle : aSlots);
    return e;
}

size_t Reassembler::Land(Landing *aLandings, size_t aMax, size_t aSlotSize)
{
    mExpected = Expected();
    Block *b = mLast;
    // Generic payload only, once two full packets (or the configuration)
    // have settled the block's stride: a lone packet may be the short last
    // one, come first, which moves when the next comes.
    if (!b || !b->active || b->format != FORMAT_PAYLOAD || b->shortId || b->broken || !b->stride ||
        (b->full < 2 && !mConfig.stride) || !b->destination.data || b->trailerSeen ||
        headerSize(b->extendedId) + b->stride > aSlotSize)
        return 0;
    const uint64_t end = std::min<uint64_t>(b->leaderSeen ? b->extent.most : kOpenEnded, b->destination.capacity);
    // Ids from `known` on have not come (nor are they in a gap).
    const uint32_t first = std::max<uint32_t>(b->known, 1);
    size_t count = 0;
    size_t lastSize = 0;
    for (; count < aMax; ++count) {
        const uint64_t id = uint64_t(first) + count;
        const uint64_t start = (id - 1) * b->stride;
        if (id >= mConfig.maxPacketsPerBlock || start >= end) break;
        lastSize = size_t(std::min<uint64_t>(b->stride, end - start));
        aLandings[count] = Landing{b->destination.data + start, lastSize};
        if (lastSize < b->stride) {
            ++count;
            break;
        }
    }
    if (count)
        mExpected = Expected{b, b->id, b->extendedId, first, count, headerSize(b->extendedId), aLandings[0].at,
                             b->stride, lastSize};
    return count;
}

size_t Reassembler::Settling() const
{
    const Block *b = mLast;
    if (!b || (b->format && b->format != FORMAT_PAYLOAD)) return 0;
    // A generic block over: the next one's leader comes, then its packets.
    if (!b->active) return b->format == FORMAT_PAYLOAD ? 3 : 0;
    if (b->shortId || b->broken || b->trailerSeen || b->full >= 2) return 0;
    return 2 - b->full;
}

bool Reassembler::Arrived(const Arrival &aArrival) const
{
    const Expected &e = mExpected;
    const size_t k = aArrival.landing;
    if (k >= e.count) return false;
    const size_t size = k + 1 == e.count ? e.lastSize : e.stride;
    if (aArrival.size != e.headerSize + size) return false;
    std::optional<Packet> packet = parsePacket(aArrival.data, e.headerSize);
    return packet && !packet->bodySize && packet->header.format == FORMAT_PAYLOAD &&
           packet->header.extendedId == e.extendedId && packet->header.blockId == e.blockId &&
           packet->header.packetId == e.first + k && !isUnavailable(packet->header.status) &&
           packet->header.status != STATUS_PACKET_NOT_YET_AVAILABLE;
}

bool Reassembler::LandsOn(const Arrival &aArrival, size_t &aLanding) const
{
    const Expected &e = mExpected;
    std::optional<Packet> packet = parsePacket(aArrival.data, aArrival.size);
    if (!packet || packet->header.format != FORMAT_PAYLOAD || packet->header.extendedId != e.extendedId ||
        packet->header.blockId != e.blockId || packet->header.packetId < e.first ||
        packet->header.packetId - e.first >= e.count)
        return false;
    aLanding = packet->header.packetId - e.first;
    return true;
}

void Reassembler::Join(Arrival &aArrival) const
{
    const Expected &e = mExpected;
    const size_t k = aArrival.landing;
    if (k >= e.count || aArrival.size <= e.headerSize) return;
    const size_t size = k + 1 == e.count ? e.lastSize : e.stride;
    std::memcpy(aArrival.data + e.headerSize, e.at + k * e.stride, std::min(aArrival.size - e.headerSize, size));
}

void Reassembler::OnBatch(Arrival *aArrivals, size_t aCount, uint64_t aNowUs)
{
    const Expected &e = mExpected;
    // Placing a datagram writes into its block's memory, where others may
    // have landed: every one not where its landing put it is made whole
    // first, and so is one whose landing another will be placed over.
    for (size_t k = 0; k < aCount; ++k) {
        Arrival &a = aArrivals[k];
        a.inPlace = Arrived(a);
        if (!a.inPlace) Join(a);
    }
    for (size_t k = 0; k < aCount; ++k) {
        size_t over = kNoLanding;
        if (aArrivals[k].inPlace || !LandsOn(aArrivals[k], over)) continue;
        for (size_t m = 0; m < aCount; ++m) {
            Arrival &a = aArrivals[m];
            if (m != k && a.inPlace && a.landing == over) {
                a.inPlace = false;
                Join(a);
            }
        }
    }
    mBatch = aArrivals;
    mBatchCount = aCount;
    for (mBatchAt = 0; mBatchAt < aCount; ++mBatchAt) {
        const Arrival &a = aArrivals[mBatchAt];
        if (!a.inPlace) {
            OnPacket(a.data, a.size, aNowUs);
            continue;
        }
        // The header alone, and the payload where the landing put it: the
        // block is open, for finishing it moves what landed there out.
        std::optional<Packet> packet = parsePacket(a.data, e.headerSize);
        packet->body = e.at + a.landing * e.stride;
        packet->bodySize = a.size - e.headerSize;
        ++mCounters.packets;
        mCounters.bytes += a.size;
        GoOn(*e.block, *packet, aNowUs);
        if (aNowUs >= mNextCheck) OnTick(aNowUs);
        if (mHeldCount) Release(aNowUs);
    }
    mBatch = nullptr;
    mBatchCount = 0;
    mExpected = Expected();
}

void Reassembler::OnTick(uint64_t aNowUs)
{
    // Oldest first, so that results come out in the order blocks began
    // when several end at once.
    mOrder.clear();
    for (Block &b : mBlocks)
        if (b.active) mOrder.push_back(&b);
    std::sort(mOrder.begin(), mOrder.end(), [](const Block *a, const Block *b) { return a->ordinal < b->ordinal; });
    for (Block *b : mOrder) {
        Ask(*b, aNowUs);
        Settle(*b, aNowUs);
    }
    if (mHeldCount) Release(aNowUs);
    mNextCheck = NextDeadline();
}

uint64_t Reassembler::NextDeadline() const
{
    uint64_t next = kNever;
    for (const Block &b : mBlocks) {
        if (!b.active) continue;
        next = std::min(next, b.nextDue);
        next = std::min(next, b.lastUs + mConfig.blockTimeoutUs);
        if (!b.trailerSeen && b.awaited == 0 && Asks(b)) next = std::min(next, b.lastUs + mConfig.resendTimeoutUs);
    }
    return next;
}

bool Reassembler::CopyOfRecent(uint64_t aBlockId, bool aExtendedId, uint64_t aTimestamp) const
{
    for (const Recent &r : mRecent) {
        if (!r.used || r.id != aBlockId || r.extendedId != aExtendedId) continue;
        // The same leader again, of this sequence or an earlier one; or a
        // leader, come late, of a block that began without it.
        if (r.leader ? r.timestamp == aTimestamp : r.sequence == mSequence) return true;
    }
    return false;
}

bool Reassembler::BegunRecently(uint64_t aBlockId, bool aExtendedId) const
{
    for (const Recent &r : mRecent)
        if (r.used && r.id == aBlockId && r.extendedId == aExtendedId && r.sequence == mSequence) return true;
    return false;
}

uint32_t Reassembler::Remember(const Recent &aRecent)
{
    const uint32_t at = mNextRecent;
    mRecent[at] = aRecent;
    mRecent[at].used = true;
    mRecent[at].sequence = mSequence;
    mNextRecent = (at + 1) % kRecentBlocks;
    return at;
}

Reassembler::Admission Reassembler::Admit(const Packet &aPacket, bool &aLeader, uint64_t &aTimestamp)
{
    const Header &h = aPacket.header;
    std::optional<Leader> leader;
    if (h.packetId == 0 && h.format == FORMAT_LEADER && !isUnavailable(h.status)) leader = decodeLeader(aPacket);
    aLeader = leader.has_value();
    aTimestamp = leader ? leader->timestamp : 0;
    if (mConfig.waitForLeader && !aLeader) return Admission::Refused;
    if (!mStarted) return Admission::Start;
    // One of the last blocks begun, wherever the newest went since.
    if (BegunRecently(h.blockId, h.extendedId)) return Witness(aPacket, aLeader, aTimestamp);
    if (h.extendedId == mLastExtended) {
        // A little ahead of the newest, the next blocks (some perhaps
        // lost), or behind it, one that has not begun; unless it repeats
        // the leader of one begun already.
        const int64_t ahead = blockDistance(h.blockId, mLastBlockId, h.extendedId);
        if (ahead <= int64_t(kRecentBlocks) && ahead >= -int64_t(kLateBlocks)) {
            // Begun already: a late packet, or a new sequence's leader.
            if (ahead <= 0 && mBegun[size_t(-ahead)]) return Witness(aPacket, aLeader, aTimestamp);
            if (aLeader && CopyOfRecent(h.blockId, h.extendedId, aTimestamp)) return Admission::Refused;
            // Behind, it may be one of a new sequence too: it shows it.
            if (ahead <= 0 && aLeader && Witness(aPacket, aLeader, aTimestamp) == Admission::Restart)
                return Admission::Restart;
            return Admission::Next;
        }
    }
    // No block has shown itself yet: the first may have been a stray
    // packet's, and tells nothing of where the stream is.
    if (!mSettled) return Admission::Start;
    return Witness(aPacket, aLeader, aTimestamp);
}

Reassembler::Admission Reassembler::Witness(const Packet &aPacket, bool aLeader, uint64_t aTimestamp)
{
    // Behind the newest, far ahead of it, or of the other kind of ids: a
    // late or stray packet, a copy of a past block, or a new sequence. It
    // opens nothing; a new sequence shows itself in blocks sent in order
    // from leader to trailer, which resends and leftovers are not.
    const Header &h = aPacket.header;
    Candidate &c = mCandidate;
    if (isResent(h) || isStatusOnly(h.status)) return Admission::Refused;
    const bool ours = c.open && c.extendedId == h.extendedId;
    if (!aLeader) {
        if (ours && h.blockId == c.newest && h.packetId > 0 && h.format == FORMAT_TRAILER && decodeTrailer(aPacket))
            c.newestShown = true;
        return Admission::Refused;
    }
    if (CopyOfRecent(h.blockId, h.extendedId, aTimestamp)) return Admission::Refused;
    const int64_t ahead = ours ? blockDistance(h.blockId, c.newest, h.extendedId) : 0;
    if (ours && ahead == 0 && aTimestamp == c.timestamp) return Admission::Refused;
    if (ours && ahead > 0 && ahead <= int64_t(kRecentBlocks)) {
        if (c.newestShown) ++c.shown;
    } else {
        c = Candidate();
        c.open = true;
        c.extendedId = h.extendedId;
    }
    c.newest = h.blockId;
    c.timestamp = aTimestamp;
    c.newestShown = false;
    c.ids[c.count++ % (kShownBlocks + 1)] = h.blockId;
    return c.shown >= kShownBlocks ? Admission::Restart : Admission::Refused;
}

Reassembler::Block *Reassembler::Begin(const Packet &aPacket, const uint8_t *aData, size_t aSize, uint64_t aNowUs)
{
    const Header &h = aPacket.header;
    bool leader = false;
    uint64_t timestamp = 0;
    const Admission admission = Admit(aPacket, leader, timestamp);
    if (admission == Admission::Refused) {
        ++mCounters.ignored;
        return nullptr;
    }
    if (admission == Admission::Restart) {
        // The camera began again: the blocks of the old sequence that the
        // new one will reach end now, packets of one must never complete
        // the other. Those behind it may still get what they wait for.
        for (;;) {
            Block *oldest = nullptr;
            for (Block &b : mBlocks)
                if (b.active && (b.extendedId != h.extendedId || blockDistance(b.id, h.blockId, h.extendedId) >= 0) &&
                    (!oldest || b.ordinal < oldest->ordinal))
                    oldest = &b;
            if (!oldest) break;
            MarkLost(*oldest, 0, oldest->known);
            Finish(*oldest, Failure(*oldest));
        }
        ++mSequence;
    }
    Block *free = nullptr;
    size_t open = 0;
    for (Block &b : mBlocks) {
        if (b.active) ++open;
        else if (!free) free = &b;
    }
    const bool full = open >= mConfig.maxBlocksInFlight || !free;
    const bool same = mHeldCount && mHeldId == h.blockId && mHeldExtended == h.extendedId;
    if (full && admission != Admission::Restart && !(same && mHeldCount + 1 == kShowingPackets)) {
        // Every slot is taken: this block would end the oldest. It does once
        // it shows itself, so that stray packets end nothing; its packets
        // are kept until then.
        if (!same) {
            mCounters.ignored += mHeldCount;
            mHeldCount = 0;
            mHeldId = h.blockId;
            mHeldExtended = h.extendedId;
            mHeldUs = aNowUs;
        }
        mHeld[mHeldCount++].assign(aData, aData + aSize);
        return nullptr;
    }
    if (!same) mCounters.ignored += mHeldCount;
    mReplay = same ? mHeldCount : 0;
    mHeldCount = 0;

    const int64_t ahead = admission == Admission::Next ? blockDistance(h.blockId, mLastBlockId, h.extendedId) : 0;
    const bool late = admission == Admission::Next && ahead <= 0;
    if (!late && admission != Admission::Restart) mCandidate = Candidate();
    if (admission == Admission::Restart) {
        // Where the ids began before stays known, and the new sequence's
        // blocks that showed it are over.
        Rebase(h.blockId, h.extendedId);
        for (uint32_t k = 0; k < std::min<uint32_t>(mCandidate.count, kShownBlocks + 1); ++k) {
            const int64_t behind = -blockDistance(mCandidate.ids[k], h.blockId, h.extendedId);
            if (behind >= 0 && behind <= int64_t(kLateBlocks)) mBegun.set(size_t(behind));
        }
        mCandidate = Candidate();
    } else if (admission == Admission::Start) {
        // At the start a block behind the first may still begin: the first
        // may have been a stray packet's.
        if (!mStarted) mBegun.reset();
        Rebase(h.blockId, h.extendedId);
    } else if (ahead > 0) {
        mBegun <<= size_t(ahead);
        mBegun.set(0);
        mLastBlockId = h.blockId;
    } else {
        mBegun.set(size_t(-ahead));
    }
    Recent entry;
    entry.id = h.blockId;
    entry.extendedId = h.extendedId;
    entry.leader = leader;
    entry.timestamp = timestamp;
    const uint32_t recent = Remember(entry);
    ++mOrdinal;
    if (full) free = EndOldest();

    Destination destination;
    if (!mSink.Acquire(h.blockId, destination)) {
        // No memory for the newest block: the oldest one still waiting for
        // packets gives way, so that it reaches the application, failed,
        // and its memory comes back for the blocks after. Otherwise blocks
        // waiting for resends would hold all the memory while every new
        // one is dropped. One still arriving is not waiting: a stray packet
        // does not end it.
        Block *oldest = nullptr;
        for (Block &b : mBlocks)
            if (b.active && (b.trailerSeen || b.superseded) && (!oldest || b.ordinal < oldest->ordinal)) oldest = &b;
        if (oldest) {
            MarkLost(*oldest, 0, oldest->known);
            Finish(*oldest, Failure(*oldest));
        }
        ++mCounters.blocksDropped;
        return nullptr;
    }
    Block &b = *free;
    b.active = true;
    b.id = h.blockId;
    b.extendedId = h.extendedId;
    b.late = late;
    b.ordinal = mOrdinal;
    b.recent = recent;
    b.destination = destination;
    b.ClearGaps();
    b.delayUs = mConfig.resendDelayUs;
    b.timeoutUs = std::max<uint32_t>(mConfig.resendTimeoutUs, 1);
    b.packets = b.known = b.asked = 0;
    b.trailerId = kNoTrailer;
    b.leaderSeen = b.trailerSeen = b.tooManyResends = b.tooManyGaps = b.superseded = b.broken = false;
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

void Reassembler::Rebase(uint64_t aBlockId, bool aExtendedId)
{
    // mBegun counted back from aBlockId now.
    const int64_t ahead = blockDistance(aBlockId, mLastBlockId, aExtendedId);
    if (aExtendedId != mLastExtended || ahead > int64_t(kLateBlocks) || ahead < -int64_t(kLateBlocks)) mBegun.reset();
    else if (ahead > 0) mBegun <<= size_t(ahead);
    else mBegun >>= size_t(-ahead);
    mBegun.set(0);
    mStarted = true;
    mLastBlockId = aBlockId;
    mLastExtended = aExtendedId;
}

void Reassembler::Shows(const Block &aBlock, uint64_t aNowUs)
{
    const int64_t behind = -blockDistance(aBlock.id, mLastBlockId, aBlock.extendedId);
    if (!mSettled && (aBlock.extendedId != mLastExtended || behind < 0 || behind > int64_t(kLateBlocks))) {
        // The first block to show itself tells where the stream is, and a
        // stray packet since took the newest far from it: the newest is the
        // newest block begun near it.
        uint64_t newest = aBlock.id;
        for (const Block &b : mBlocks) {
            const int64_t ahead = b.active && b.extendedId == aBlock.extendedId ? blockDistance(b.id, aBlock.id, b.extendedId) : 0;
            if (ahead > 0 && ahead <= int64_t(kRecentBlocks) && ahead > blockDistance(newest, aBlock.id, b.extendedId))
                newest = b.id;
        }
        Rebase(newest, aBlock.extendedId);
        for (const Block &b : mBlocks) {
            const int64_t back = b.active && b.extendedId == aBlock.extendedId ? -blockDistance(b.id, newest, b.extendedId) : -1;
            if (back >= 0 && back <= int64_t(kLateBlocks)) mBegun.set(size_t(back));
        }
    }
    mSettled = true;
    // Blocks before it are over but for what they still wait for. Only
    // those before it: one begun late leaves the later ones as they are.
    for (Block &b : mBlocks)
        if (b.active && b.extendedId == aBlock.extendedId && blockDistance(b.id, aBlock.id, b.extendedId) < 0)
            b.superseded = true;
    // They are looked at on this packet.
    mNextCheck = aNowUs;
}

void Reassembler::Split(Block &aBlock)
{
    // Past what a block may keep: it fails, whatever comes.
    if (aBlock.GapCount() > kMaxGaps) aBlock.tooManyGaps = true;
}

void Reassembler::Track(Block &aBlock, uint32_t aUpTo, uint64_t aNowUs)
{
    if (aUpTo <= aBlock.known) return;
    if (aBlock.GapCount() >= kMaxGaps) {
        aBlock.tooManyGaps = true;
        aBlock.known = aUpTo;
        return;
    }
    const uint64_t due = aNowUs + aBlock.delayUs;
    aBlock.Open(aBlock.known, aUpTo - 1, due);
    aBlock.known = aUpTo;
    aBlock.nextDue = std::min(aBlock.nextDue, due);
    mNextCheck = std::min(mNextCheck, due);
}

bool Reassembler::Missing(const Block &aBlock, uint32_t aId) const
{
    return Block::Holding(aBlock.pending, aId) != aBlock.pending.end() ||
           Block::Holding(aBlock.lost, aId) != aBlock.lost.end();
}

void Reassembler::Received(Block &aBlock, uint32_t aId)
{
    if (aId >= aBlock.known) {
        aBlock.known = aId + 1;
        return;
    }
    Block::Gaps *gaps = &aBlock.pending;
    auto it = Block::Holding(*gaps, aId);
    if (it == gaps->end()) {
        gaps = &aBlock.lost;
        it = Block::Holding(*gaps, aId);
        if (it == gaps->end()) return;
    }
    BlockStatistics &s = aBlock.statistics;
    if (it->second.asks) {
        ++s.recovered;
        if (it->second.single) ++s.recoveredSingleResend;
    } else {
        ++s.outOfOrder;
    }
    if (aBlock.Take(*gaps, it, aId)) Split(aBlock);
}

void Reassembler::MarkLost(Block &aBlock, uint32_t aFrom, uint32_t aTo)
{
    if (aFrom >= aTo) return;
    // Only awaited gaps are looked at: each is given up on once.
    auto it = aBlock.pending.upper_bound(aFrom);
    if (it != aBlock.pending.begin() && std::prev(it)->second.high >= aFrom) --it;
    while (it != aBlock.pending.end() && it->first < aTo) {
        if (it->first < aFrom) {
            // The part before aFrom stays as it is.
            aBlock.Divide(aBlock.pending, it, aFrom - 1, aFrom);
            Split(aBlock);
            ++it;
            continue;
        }
        if (it->second.high >= aTo) {
            // So does the part from aTo on.
            aBlock.Divide(aBlock.pending, it, aTo - 1, aTo);
            Split(aBlock);
        }
        it = aBlock.GiveUp(it);
    }
}

void Reassembler::Misfit(Block &aBlock)
{
    ++mCounters.malformed;
    ++aBlock.statistics.ignored;
    aBlock.broken = true;
}

void Reassembler::Place(Block &aBlock, const Packet &aPacket, uint64_t aNowUs)
{
    const Header &h = aPacket.header;
    const uint32_t id = h.packetId;
    if (id >= mConfig.maxPacketsPerBlock || (aBlock.trailerSeen && id > aBlock.trailerId)) {
        Misfit(aBlock);
        return;
    }

    // A transmitter's answer that it no longer holds the packet: that one
    // alone, or that one and every one before it.
    if (isUnavailable(h.status)) {
        aBlock.lastUs = aNowUs;
        Track(aBlock, id + 1, aNowUs);
        MarkLost(aBlock, h.status == STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY ? 0 : id, id + 1);
        return;
    }
    if (h.status == STATUS_PACKET_NOT_YET_AVAILABLE) return;

    if (id < aBlock.known && !Missing(aBlock, id)) {
        // Here already: a copy of what was placed, or a contradiction.
        ++aBlock.statistics.redundant;
        if (!SameAsPlaced(aBlock, aPacket)) Misfit(aBlock);
        return;
    }

    Fit fit;
    if (h.format == FORMAT_LEADER) fit = id == 0 && PlaceLeader(aBlock, aPacket) ? Fit::Placed : Fit::Misfit;
    else if (h.format == FORMAT_TRAILER) fit = id > 0 && PlaceTrailer(aBlock, aPacket) ? Fit::Placed : Fit::Misfit;
    else fit = id > 0 ? PlaceData(aBlock, aPacket) : Fit::Misfit;
    if (fit == Fit::Misfit) {
        Misfit(aBlock);
        return;
    }
    aBlock.lastUs = aNowUs;
    // The ids before it that have not come yet are missing from now on;
    // one that cannot be placed yet is missing too, and a resend brings it
    // again once it can.
    Track(aBlock, fit == Fit::Placed ? id : id + 1, aNowUs);
    if (fit == Fit::Placed) Received(aBlock, id);
}

bool Reassembler::PlaceLeader(Block &aBlock, const Packet &aPacket)
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
        aBlock.parts.push_back(leader->Part(i));
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

bool Reassembler::PlaceTrailer(Block &aBlock, const Packet &aPacket)
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
    for (Block::Gaps *gaps : {&aBlock.pending, &aBlock.lost}) {
        while (!gaps->empty() && std::prev(gaps->end())->second.high > id) {
            auto last = std::prev(gaps->end());
            if (last->first <= id) {
                if (gaps == &aBlock.pending) aBlock.awaited -= last->second.high - id;
                last->second.high = id;
            } else if (gaps == &aBlock.pending) {
                aBlock.Forget(last);
            } else {
                gaps->erase(last);
            }
        }
    }
    if (aBlock.known > id + 1) aBlock.known = id + 1;
    return true;
}

Reassembler::Fit Reassembler::PlaceData(Block &aBlock, const Packet &aPacket)
{
    const uint32_t id = aPacket.header.packetId;
    const uint8_t format = aPacket.header.format;
    if (aBlock.format && aBlock.format != format) return Fit::Misfit;
    const uint8_t *data = aPacket.body;
    size_t size = aPacket.bodySize;
    uint64_t start = 0;
    switch (format) {
    case FORMAT_PAYLOAD: {
        Fit fit = PlaceGeneric(aBlock, id, data, size);
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
    Write(aBlock, start, data, size);
    aBlock.lastData = std::max(aBlock.lastData, id);
    aBlock.furthestStart = std::max(aBlock.furthestStart, start);
    return Fit::Placed;
}

Reassembler::Fit Reassembler::PlaceGeneric(Block &aBlock, uint32_t aId, const uint8_t *aData, size_t aSize)
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
    Write(aBlock, start, aData, size);
    aBlock.furthestStart = std::max(aBlock.furthestStart, start);
    if (isShort) {
        aBlock.shortId = aId;
        aBlock.shortSize = size;
    } else {
        ++aBlock.full;
    }
    return Fit::Placed;
}

bool Reassembler::Write(Block &aBlock, uint64_t aOffset, const uint8_t *aData, size_t aSize)
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
    // A payload the kernel put on its landing is in place already.
    if (aBlock.destination.data + aOffset != aData) std::memcpy(aBlock.destination.data + aOffset, aData, aSize);
    aBlock.written = std::max(aBlock.written, end);
    return true;
}

bool Reassembler::SameAsPlaced(const Block &aBlock, const Packet &aPacket) const
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
            if (!samePart(l->Part(i), aBlock.parts[i])) return false;
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
    // cannot be, and Write() keeps no padding past the leader's end there.
    if (start > capacity) return true;
    if (size > capacity - start) {
        if (most - start > capacity - start) return true;
        size = size_t(most - start);
    }
    return std::memcmp(aBlock.destination.data + start, data, size) == 0;
}

void Reassembler::Ask(Block &aBlock, uint64_t aNowUs)
{
    // A block without its trailer and nothing awaited: the packet after
    // the last one seen may be the trailer, so it is asked for once a
    // later block began or the block went quiet.
    const bool resend = Asks(aBlock);
    // Once that packet is lost, the next is not asked for: each would be
    // asked in turn, answered (if at all) only by the transmitter's
    // refusal, for as long as the block lives.
    if (resend && !aBlock.trailerSeen && aBlock.awaited == 0 && aBlock.known < mConfig.maxPacketsPerBlock &&
        !aBlock.EndGivenUp() && (aBlock.superseded || aNowUs - aBlock.lastUs >= mConfig.resendTimeoutUs)) {
        Track(aBlock, aBlock.known + 1, aNowUs);
        // Due now: at the head of its queue.
        auto last = Block::Holding(aBlock.pending, aBlock.known - 1);
        if (last != aBlock.pending.end() && last->second.queue == Gap::Fresh) {
            aBlock.Dequeue(last->second);
            last->second.due = aNowUs;
            aBlock.Enqueue(last->second, Gap::Fresh, aBlock.fresh.head);
        }
        aBlock.nextDue = aNowUs;
    }
    if (aBlock.nextDue > aNowUs) return;

    // Only the gaps due are looked at, in the order they fall due; those
    // next to each other go out as one request.
    bool open = false;           // a request being gathered
    uint32_t first = 0, last = 0;
    auto flush = [&]() {
        if (!open) return;
        open = false;
        // Asked for alone: a single packet.
        if (first == last) aBlock.pending.find(first)->second.single = true;
        mSink.RequestResend(aBlock.id, aBlock.extendedId, first, last);
        const uint32_t count = last - first + 1;
        ++aBlock.statistics.resendGroupsRequested;
        aBlock.statistics.resendPacketsRequested += count;
        ++mCounters.resendRequests;
        mCounters.resendPackets += count;
    };
    const uint64_t again = aNowUs + aBlock.timeoutUs;
    for (;;) {
        // The earlier due of the two queues' heads.
        Gap *head = aBlock.fresh.head;
        if (!head || (aBlock.retry.head && aBlock.retry.head->due < head->due)) head = aBlock.retry.head;
        if (!head || head->due > aNowUs) break;
        Gap &g = *head;
        if (!resend || g.asks >= mConfig.maxResendsPerPacket) {
            flush();
            aBlock.GiveUp(aBlock.pending.find(g.low));
            continue;
        }
        const uint32_t low = g.low, size = g.high - low + 1;
        if (g.asks == 0) {
            if (size > mConfig.maxResendPacketsPerBlock - std::min(aBlock.asked, mConfig.maxResendPacketsPerBlock)) {
                aBlock.tooManyResends = true;
                break;
            }
            aBlock.asked += size;
        }
        ++g.asks;
        g.single = false;
        g.due = again;
        aBlock.Dequeue(g);
        aBlock.Enqueue(g, Gap::Retry);
        if (open && low == last + 1) {
            last = g.high;
        } else {
            flush();
            open = true;
            first = low;
            last = g.high;
        }
    }
    flush();
    aBlock.nextDue = aBlock.tooManyResends ? aNowUs : aBlock.FirstDue();
    mNextCheck = std::min(mNextCheck, aBlock.nextDue);
}

Outcome Reassembler::Failure(const Block &aBlock) const
{
    // Too small only on the leader's word: packets alone may lie.
    if (aBlock.leaderSeen && !aBlock.broken &&
        (aBlock.Declared() > aBlock.destination.capacity || (aBlock.beyond && aBlock.extent.most == kOpenEnded)))
        return Outcome::BufferTooSmall;
    return Outcome::MissingPackets;
}

Outcome Reassembler::Verdict(Block &aBlock)
{
    // Every packet up to the trailer came; whether they make the block the
    // leader describes.
    if (aBlock.broken || aBlock.Overflowing()) return Failure(aBlock);
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

bool Reassembler::Settle(Block &aBlock, uint64_t aNowUs)
{
    if (!aBlock.active) return true;
    if (aBlock.tooManyResends || aBlock.tooManyGaps) {
        MarkLost(aBlock, 0, aBlock.known);
        Finish(aBlock, aBlock.tooManyResends || mConfig.resendEnabled ? Outcome::TooManyResends
                                                                      : Outcome::MissingPackets);
    } else if (aBlock.leaderSeen && aBlock.trailerSeen && aBlock.GapCount() == 0) {
        Finish(aBlock, Verdict(aBlock));
    } else if (aNowUs - aBlock.lastUs >= mConfig.blockTimeoutUs) {
        MarkLost(aBlock, 0, aBlock.known);
        Finish(aBlock, Failure(aBlock));
    } else if (aBlock.awaited == 0 &&
               (aBlock.trailerSeen || (aBlock.superseded && (!Asks(aBlock) || aBlock.EndGivenUp())))) {
        // Nothing more can come: its end is known, or unknowable once a
        // later block began, without resends or because asking for it failed.
        Finish(aBlock, Failure(aBlock));
    } else {
        return false;
    }
    return true;
}

void Reassembler::Finish(Block &aBlock, Outcome aOutcome)
{
    aBlock.active = false;
    // Its memory goes back to the application: what of the batch under
    // way landed there and is still to be placed is moved out first.
    if (mExpected.block == &aBlock) {
        for (size_t k = mBatchAt + 1; k < mBatchCount; ++k) {
            Arrival &a = mBatch[k];
            if (!a.inPlace) continue;
            a.inPlace = false;
            Join(a);
        }
        mExpected.block = nullptr;
    }
    mMissing.clear();
    uint32_t lost = 0;
    // Both kinds of gap, in the order of their ids.
    auto p = aBlock.pending.begin(), l = aBlock.lost.begin();
    while (p != aBlock.pending.end() || l != aBlock.lost.end()) {
        auto &next = l == aBlock.lost.end() || (p != aBlock.pending.end() && p->first < l->first) ? p : l;
        const uint32_t low = next->first, high = next->second.high;
        ++next;
        lost += high - low + 1;
        if (!mMissing.empty() && mMissing.back().high + 1 == low) mMissing.back().high = high;
        else mMissing.push_back(MissingRange{low, high});
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
    r.requiredSize = std::max({aBlock.leaderSeen ? aBlock.Declared() : 0, aBlock.beyond, aBlock.written});
    r.dataEnd = std::max(aBlock.beyond, aBlock.written);
    r.firstPacketUs = aBlock.firstUs;
    r.lastPacketUs = aBlock.lastUs;
    r.statistics = aBlock.statistics;
    r.missing = mMissing.data();
    r.missingCount = mMissing.size();
    if (aOutcome == Outcome::Complete) ++mCounters.blocksComplete;
    else ++mCounters.blocksIncomplete;
    mSink.Complete(r);
}

Reassembler::Block *Reassembler::OldestOpen()
{
    Block *oldest = nullptr;
    for (Block &b : mBlocks)
        if (b.active && (!oldest || b.ordinal < oldest->ordinal)) oldest = &b;
    return oldest;
}

Reassembler::Block *Reassembler::EndOldest()
{
    Block *oldest = OldestOpen();
    if (!oldest) return nullptr;
    MarkLost(*oldest, 0, oldest->known);
    Finish(*oldest, Failure(*oldest));
    return oldest;
}

void Reassembler::Abort()
{
    // Nor does a block waiting for a slot begin afterwards.
    mCounters.ignored += mHeldCount;
    mHeldCount = 0;
    while (Block *oldest = OldestOpen()) Finish(*oldest, Outcome::Aborted);
}

void Reassembler::Reset()
{
    Abort();
    mStarted = mSettled = false;
    mLastBlockId = 0;
    mBegun.reset();
    for (Recent &r : mRecent) r = Recent();
    mCandidate = Candidate();
    mStride = mConfig.stride;
    mNextCheck = 0;
}

} // namespace gvsp
} // namespace tarn
