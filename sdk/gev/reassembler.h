#ifndef TARN_GEV_REASSEMBLER_H
#define TARN_GEV_REASSEMBLER_H

// GVSP packets back into blocks: each packet is placed where it belongs in
// the memory its block was given, missing packets are tracked as ranges
// and asked for again, and every block ends, complete or not, within the
// limits of its configuration: nothing waits for ever. The clock is given
// with each call, so tests step time and the receiver passes its own. No
// sockets and no threads; memory grows only with the most gaps a block had
// and is kept for the next one, so a running stream does not allocate.
//
// A block's layout follows from that block alone: its leader, and the sizes
// of its own data packets (every one but the last as large as the first
// full one). Nothing learned from an earlier block places a packet, so a
// packet size changed between acquisitions, a camera restarted into an
// open stream or a stray packet costs at most the block it names. A packet
// that contradicts its block's layout is dropped and the block can then
// only fail: a block reported complete holds exactly what was sent.
//
// Each block begins at most once in a sequence, and only near the newest:
// a little ahead of it, or behind it if it never began (its first packets
// lost, or a stray packet ahead began a block first). Anything else,
// a late or stray packet, a copy of a past block, a resend answer carrying
// other blocks' packets, opens nothing and ends nothing. A camera
// that restarted (ids from 1 again, or the other kind of ids) shows a new
// sequence with blocks a single delayed or forged packet cannot make: two
// blocks each sent from leader to trailer, one after the other, and the
// leader of a third, with no packet of the old sequence in between. The
// third block begins the new sequence; the old one's open blocks end.
//
// The work of a packet does not depend on the ids it names nor on the gaps
// its block has open: gaps are kept ordered by id and by when they are due,
// each packet costs at most a logarithm of their number.

#include "gev/gvsp.h"
#include "tarn/PacketStatistics.h"

#include <bitset>
#include <cstdint>
#include <memory_resource>
#include <optional>
#include <vector>

namespace tarn {
namespace gvsp {

enum class Outcome {
    Complete,         // every packet arrived
    MissingPackets,   // packets were lost for good
    TooManyResends,   // more packets were missing than resends may cover
    BufferTooSmall,   // the block did not fit its memory
    Aborted,          // Abort() ended it
};

struct ReassemblerConfig {
    bool resendEnabled = true;
    // A gap waits this long for late packets before it is asked for (or,
    // without resends, counted lost).
    uint32_t resendDelayUs = 1000;
    // An asked packet waits this long before it is asked again.
    uint32_t resendTimeoutUs = 20000;
    // Asks of one packet before it counts as lost.
    uint32_t maxResendsPerPacket = 3;
    // Packets of one block that may be asked for; beyond, the block ends
    // with TooManyResends.
    uint32_t maxResendPacketsPerBlock = 4096;
    // A block that receives nothing for this long ends.
    uint32_t blockTimeoutUs = 500000;
    // Blocks waiting for packets at once; a new block beyond ends the oldest.
    uint32_t maxBlocksInFlight = 16;
    // Packet ids a block may use; packets beyond do not fit its layout.
    uint32_t maxPacketsPerBlock = 1u << 20;
    // Start a block only on its leader (packet id 0).
    bool waitForLeader = false;
    // Data bytes in every full generic payload packet; 0 learns it from
    // each block's own packets.
    uint32_t stride = 0;
};

// Where a block goes: memory of aCapacity bytes and the caller's tag.
struct Destination {
    uint8_t *data = nullptr;
    uint64_t capacity = 0;
    void *cookie = nullptr;
};

// What became of a block's packets: the record its buffer reports.
using BlockStatistics = PacketStatistics;

struct MissingRange {
    uint32_t low = 0;
    uint32_t high = 0;
};

// What the sink learns when a block ends. Pointers are valid during the
// call only.
struct BlockResult {
    void *cookie = nullptr;
    uint64_t blockId = 0;
    bool extendedId = false;
    Outcome outcome = Outcome::Complete;
    bool leaderValid = false;
    bool trailerValid = false;
    Leader leader;                        // partTable is null: see parts
    Trailer trailer;                      // partTable is null
    const PartInfo *parts = nullptr;      // leader.partCount entries
    const uint64_t *partOffsets = nullptr;// where each part starts in the memory
    uint16_t leaderStatus = STATUS_SUCCESS;
    uint64_t bytesWritten = 0;            // end of the furthest data placed
    uint64_t requiredSize = 0;            // memory the block needed
    uint64_t dataEnd = 0;                 // ... as far as its own data reached, in the memory or past it
    uint64_t firstPacketUs = 0;
    uint64_t lastPacketUs = 0;
    BlockStatistics statistics;
    const MissingRange *missing = nullptr;
    size_t missingCount = 0;
};

class ReassemblerSink
{
public:
    virtual ~ReassemblerSink() = default;
    // A new block begins: where it goes. False drops the block, and the
    // oldest block still open ends (failed), so that its memory comes back.
    virtual bool Acquire(uint64_t aBlockId, Destination &aDestination) = 0;
    // Ask the transmitter for packets aFirst..aLast of a block again.
    virtual void RequestResend(uint64_t aBlockId, bool aExtendedId, uint32_t aFirst, uint32_t aLast) = 0;
    // A block ended; its memory is the caller's again.
    virtual void Complete(const BlockResult &aResult) = 0;
};

// Counters of the whole stream.
struct StreamCounters {
    uint64_t packets = 0;
    uint64_t bytes = 0;
    uint64_t testPackets = 0;
    uint64_t malformed = 0;          // too short, not decodable, or not fitting its block
    uint64_t ignored = 0;            // for no open block (late, skipped)
    uint64_t blocksDropped = 0;      // no memory was given
    uint64_t blocksComplete = 0;
    uint64_t blocksIncomplete = 0;
    uint64_t resendRequests = 0;
    uint64_t resendPackets = 0;
};

class Reassembler
{
public:
    explicit Reassembler(ReassemblerSink &aSink, const ReassemblerConfig &aConfig = ReassemblerConfig());
    ~Reassembler();
    Reassembler(const Reassembler &) = delete;
    Reassembler &operator=(const Reassembler &) = delete;

    // Takes effect for blocks that begin afterwards (limits at once).
    void Configure(const ReassemblerConfig &aConfig);
    const ReassemblerConfig &Config() const { return mConfig; }

    // One datagram as received, at time aNowUs (microseconds, any origin,
    // never going back).
    void OnPacket(const uint8_t *aData, size_t aSize, uint64_t aNowUs);

    // Receiving payloads straight into their blocks' memory. Expect()
    // tells where the data packets that come next in the block arriving
    // now would go: landing k for the k-th packet after the last one seen,
    // each a range no packet of the block has filled, none overlapping
    // another. A receiver has the kernel put each datagram's header into
    // memory of its own and the bytes after it onto the landing of its
    // slot, and hands the batch to OnBatch(). There a datagram that is the
    // packet its landing was for is placed without a copy; any other is
    // made whole again, before anything is placed, and placed as ever:
    // landings are guesses, the reassembler alone decides where bytes
    // belong.
    struct Landing {
        uint8_t *at = nullptr;
        size_t size = 0;
    };
    // The next batch a receiver of aSlots slots of aSlotSize bytes takes:
    // how many datagrams, the first `landings` of them onto aLandings, all
    // for packets of headerSize-byte headers. Where the block ends, room is
    // left for its trailer and the next block's leader; a block that has
    // just begun is taken a few packets at a time until it shows its
    // layout; without a block of generic payload arriving, every slot.
    struct Expectation {
        size_t batch = 0;
        size_t landings = 0;
        size_t headerSize = 0;
    };
    Expectation Expect(Landing *aLandings, size_t aSlots, size_t aSlotSize);
    static constexpr size_t kNoLanding = SIZE_MAX;
    // A datagram received with landing `landing` of the last Expect()
    // (kNoLanding: none, all of it at data): its first headerSize bytes at
    // data, up to the landing's size on the landing, the rest in data
    // after room for those. data has room for the whole datagram.
    struct Arrival {
        uint8_t *data = nullptr;
        size_t size = 0;             // bytes received, landed ones included
        size_t landing = kNoLanding;
        bool inPlace = false;        // set by onBatch
    };
    // Places a batch in the order received; the landings are spent.
    void OnBatch(Arrival *aArrivals, size_t aCount, uint64_t aNowUs);

    // Asks for what is due and ends blocks whose time ran out.
    void OnTick(uint64_t aNowUs);
    // When onTick next has something to do; UINT64_MAX when nothing waits.
    uint64_t NextDeadline() const;

    // Ends every open block with Aborted, oldest first.
    void Abort();
    // Forgets the stream's history (the newest and the recent block ids);
    // open blocks are aborted first.
    void Reset();

    size_t OpenBlocks() const;
    const StreamCounters &Counters() const { return mCounters; }
    void ResetCounters() { mCounters = StreamCounters(); }
    // Data bytes per full packet of the last complete generic block.
    uint32_t Stride() const { return mStride; }

    // Blocks further ahead of the newest than this do not begin; the last
    // this many blocks begun are remembered, so that a copy of one of their
    // leaders is told from a new sequence's.
    static constexpr uint32_t kRecentBlocks = 64;
    // Blocks this far behind the newest may still begin if they never did:
    // so many stray packets, each a little ahead, would have to move the
    // newest before a genuine block is left behind.
    static constexpr uint32_t kLateBlocks = 1024;
    // Gaps one block may have at once; a block with more fails.
    static constexpr uint32_t kMaxGaps = 4096;
    // Blocks of a new sequence seen sent whole before its next one begins it.
    static constexpr uint32_t kShownBlocks = 2;

private:
    // A block shows itself on its third packet: it supersedes the blocks
    // before it, takes the slot of another if it must and, the first to,
    // tells where the stream is. A stray leader and trailer do none of this.
    static constexpr uint32_t kShowingPackets = 3;

    struct Gap;
    struct Queue;
    struct Block;
    struct Recent {
        uint64_t id = 0;
        uint64_t timestamp = 0;
        uint64_t sequence = 0;     // which sequence it was begun in
        bool used = false;
        bool extendedId = false;
        bool leader = false;       // timestamp is the leader's
    };
    // Evidence of a new sequence, gathered from packets that begin nothing.
    struct Candidate {
        bool open = false;
        bool extendedId = false;
        uint64_t newest = 0;       // the block of its last leader
        uint64_t timestamp = 0;
        bool newestShown = false;  // that block's trailer came, after its leader
        uint32_t shown = 0;        // blocks seen sent whole, one after the other
        // The last blocks it began, which are over once it takes over.
        uint64_t ids[kShownBlocks + 1] = {};
        uint32_t count = 0;
    };

    void Dispatch(const uint8_t *aData, size_t aSize, uint64_t aNowUs);
    void Release(uint64_t aNowUs);
    size_t Land(Landing *aLandings, size_t aMax, size_t aSlotSize);
    // Packets after which the block arriving now (or, the last one over,
    // the next) will have shown its layout; 0 when none of generic payload
    // is arriving.
    size_t Settling() const;
    bool Arrived(const Arrival &aArrival) const;
    bool LandsOn(const Arrival &aArrival, size_t &aLanding) const;
    // Puts what landed back between a datagram's header and its rest.
    void Join(Arrival &aArrival) const;
    // A packet of a block begun, that the sequence under way sent.
    void GoOn(Block &aBlock, const Packet &aPacket, uint64_t aNowUs);
    Block *Find(uint64_t aBlockId, bool aExtendedId);
    Block *Begin(const Packet &aPacket, const uint8_t *aData, size_t aSize, uint64_t aNowUs);
    // A block begins the stream (Start), follows in the sequence under
    // way (Next), or begins a new sequence (Restart).
    enum class Admission { Refused, Start, Next, Restart };
    Admission Admit(const Packet &aPacket, bool &aLeader, uint64_t &aTimestamp);
    Admission Witness(const Packet &aPacket, bool aLeader, uint64_t aTimestamp);
    bool CopyOfRecent(uint64_t aBlockId, bool aExtendedId, uint64_t aTimestamp) const;
    bool BegunRecently(uint64_t aBlockId, bool aExtendedId) const;
    uint32_t Remember(const Recent &aRecent);
    void Place(Block &aBlock, const Packet &aPacket, uint64_t aNowUs);
    bool PlaceLeader(Block &aBlock, const Packet &aPacket);
    bool PlaceTrailer(Block &aBlock, const Packet &aPacket);
    enum class Fit { Placed, NotYet, Misfit };
    Fit PlaceData(Block &aBlock, const Packet &aPacket);
    Fit PlaceGeneric(Block &aBlock, uint32_t aId, const uint8_t *aData, size_t aSize);
    bool SameAsPlaced(const Block &aBlock, const Packet &aPacket) const;
    bool Write(Block &aBlock, uint64_t aOffset, const uint8_t *aData, size_t aSize);
    void Misfit(Block &aBlock);
    void Track(Block &aBlock, uint32_t aUpTo, uint64_t aNowUs);
    bool Missing(const Block &aBlock, uint32_t aId) const;
    void Received(Block &aBlock, uint32_t aId);
    void Split(Block &aBlock);
    void Shows(const Block &aBlock, uint64_t aNowUs);
    void Rebase(uint64_t aBlockId, bool aExtendedId);
    bool Asks(const Block &aBlock) const;
    void Ask(Block &aBlock, uint64_t aNowUs);
    void MarkLost(Block &aBlock, uint32_t aFrom, uint32_t aTo);
    bool Settle(Block &aBlock, uint64_t aNowUs);
    Outcome Failure(const Block &aBlock) const;
    Outcome Verdict(Block &aBlock);
    void Finish(Block &aBlock, Outcome aOutcome);
    Block *OldestOpen();
    // Ends the oldest open block as failed; its slot, null when none is open.
    Block *EndOldest();

    ReassemblerSink &mSink;
    ReassemblerConfig mConfig;
    // The gaps of every block: kept when a block ends, for the next ones.
    std::pmr::unsynchronized_pool_resource mGapMemory;
    std::vector<Block> mBlocks;
    uint64_t mOrdinal = 0;         // blocks begun
    uint64_t mSequence = 0;        // sequences begun
    bool mStarted = false;
    bool mSettled = false;         // a block showed where the stream is
    uint64_t mLastBlockId = 0;     // the newest block begun
    bool mLastExtended = false;
    // Bit k: block mLastBlockId - k has begun (or is taken as begun).
    std::bitset<kLateBlocks + 1> mBegun;
    Recent mRecent[kRecentBlocks];
    uint32_t mNextRecent = 0;
    Candidate mCandidate;
    // Packets of a block that would end another for a slot, kept until it
    // shows itself.
    std::vector<uint8_t> mHeld[kShowingPackets - 1];
    std::vector<uint8_t> mReleased[kShowingPackets - 1];
    uint32_t mHeldCount = 0;
    uint64_t mHeldUs = 0;          // when its first came
    uint64_t mHeldId = 0;
    bool mHeldExtended = false;
    uint32_t mReplay = 0;          // held packets to place in the block begun
    uint32_t mStride = 0;
    StreamCounters mCounters;
    std::vector<MissingRange> mMissing;   // kept for the next result
    std::vector<Block *> mOrder;
    Block *mLast = nullptr;        // the block of the last packet
    uint64_t mNextCheck = 0;       // no block needs a look before this
    // What Expect() told last: landing k is for packet first + k of the
    // block.
    struct Expected {
        Block *block = nullptr;        // null once it is over
        uint64_t blockId = 0;
        bool extendedId = false;
        uint32_t first = 0;
        size_t count = 0;
        size_t headerSize = 0;
        uint8_t *at = nullptr;         // landing 0
        uint32_t stride = 0;
        size_t lastSize = 0;           // of the last landing
    } mExpected;
    // The batch OnBatch() is placing, and the arrival it is at.
    Arrival *mBatch = nullptr;
    size_t mBatchCount = 0;
    size_t mBatchAt = 0;
};

} // namespace gvsp
} // namespace tarn

#endif
