#ifndef TARN_TESTS_GVSP_LOOP_H
#define TARN_TESTS_GVSP_LOOP_H

// A transmitter and a receiver joined without sockets: blocks go through the
// packetizer, a seeded channel loses, reorders and repeats datagrams, the
// reassembler places them, and its resend requests are served from the
// packetizer again. Time is stepped by hand.

#include "gev/packetizer.h"
#include "gev/reassembler.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <vector>

namespace gvsptest {

using namespace tarn::gvsp;

struct Channel {
    double loss = 0;          // share of first transmissions dropped
    double resendLoss = 0;    // share of resent packets dropped
    double duplicate = 0;
    double reorder = 0;       // share held back behind the next packet
    bool serveResends = true;
    uint16_t refuseStatus = 0; // answer resends with this status instead
    double leaderLoss = 0;     // share of leaders' first transmissions dropped
    uint32_t storm = 0;        // packets of other recent blocks sent with each resend answer
};

struct Received {
    uint64_t blockId;
    Outcome outcome;
    std::vector<uint8_t> bytes;   // the destination up to bytesWritten
    BlockResult result;           // pointers cleared
    std::vector<MissingRange> missing;
    std::vector<PartInfo> parts;
};

class Loop : public ReassemblerSink
{
public:
    explicit Loop(const ReassemblerConfig &aConfig = ReassemblerConfig(), uint32_t aSeed = 1)
        : mReassembler(*this, aConfig), mRandom(aSeed)
    {
    }

    // Memory handed out to each new block; guard bytes after it must stay.
    uint64_t capacity = 1 << 20;
    bool giveMemory = true;
    Channel channel;
    size_t datagram = 1400;
    bool extendedId = false;
    uint64_t now = 1000;
    // 0: one datagram at a time; else batches of up to this many, received
    // as the stream receiver does, onto the landings the reassembler expects.
    size_t batch = 0;
    size_t landed = 0;          // datagrams placed where they landed
    static constexpr uint8_t kGuard = 0xA5;
    static constexpr size_t kGuardBytes = 64;

    std::vector<Received> received;
    std::vector<std::pair<uint32_t, uint32_t>> resends;
    // Datagrams to slip in after packet injectAfter of the next block sent.
    std::vector<std::vector<uint8_t>> inject;
    uint32_t injectAfter = 0;

    Reassembler &GetReassembler() { return mReassembler; }

    // Sends a block through the channel; keeps it for resends.
    bool Send(const BlockSource &aSource, uint64_t aBlockId)
    {
        auto &p = mSent[{aBlockId, extendedId}];
        p.reset(new Packetizer());
        if (!p->Start(aSource, aBlockId, datagram, extendedId)) return false;
        mRecent.push_back({aBlockId, extendedId});
        if (mRecent.size() > 100) mRecent.pop_front();
        for (uint32_t id = 0; id < p->PacketCount(); ++id) {
            Transmit(*p, id, false);
            if (id == injectAfter || id + 1 == p->PacketCount()) {
                for (auto &d : inject) mPending.push_back(d);
                inject.clear();
            }
        }
        Flush();
        return true;
    }

    // The transmitter restarted: what it sent before is not in its memory.
    void Restart()
    {
        mRecent.clear();
        mSent.clear();
    }

    // Delivers every held-back datagram and lets time pass in steps until
    // nothing waits any more.
    void Settle(uint64_t aMostUs = 10000000)
    {
        Flush();
        uint64_t until = now + aMostUs;
        while (now < until) {
            uint64_t next = mReassembler.NextDeadline();
            if (next == UINT64_MAX) return;
            now = std::max(now + 1, next);
            mReassembler.OnTick(now);
            Flush();
        }
    }

    // Datagrams in this order, in batches when `batch` says so.
    void DeliverAll(const std::vector<std::vector<uint8_t>> &aDatagrams)
    {
        mPending.insert(mPending.end(), aDatagrams.begin(), aDatagrams.end());
        Flush();
    }

    void Deliver(const std::vector<uint8_t> &aDatagram)
    {
        // An exact-size copy, so that AddressSanitizer sees a read past it.
        std::unique_ptr<uint8_t[]> copy(new uint8_t[aDatagram.size() ? aDatagram.size() : 1]);
        if (!aDatagram.empty()) std::memcpy(copy.get(), aDatagram.data(), aDatagram.size());
        mReassembler.OnPacket(copy.get(), aDatagram.size(), now);
    }

    bool Acquire(uint64_t, Destination &aDestination) override
    {
        if (!giveMemory) return false;
        mMemory.emplace_back(new std::vector<uint8_t>(capacity + kGuardBytes, kGuard));
        aDestination.data = mMemory.back()->data();
        aDestination.capacity = capacity;
        aDestination.cookie = mMemory.back().get();
        return true;
    }

    void RequestResend(uint64_t aBlockId, bool aExtendedId, uint32_t aFirst, uint32_t aLast) override
    {
        resends.emplace_back(aFirst, aLast);
        auto it = mSent.find({aBlockId, aExtendedId});
        if (it == mSent.end() || !channel.serveResends) return;
        for (uint32_t id = aFirst; id <= aLast && id < it->second->PacketCount(); ++id) {
            if (channel.refuseStatus) {
                std::vector<uint8_t> out(64);
                out.resize(it->second->WriteStatus(id, channel.refuseStatus, out.data(), out.size()));
                mPending.push_back(out);
            } else {
                Transmit(*it->second, id, true);
            }
        }
        // A sender that answers from its memory with more than was asked:
        // genuine packets of other blocks it holds, leaders among them,
        // marked as resends or not.
        std::uniform_int_distribution<size_t> pick(0, mRecent.empty() ? 0 : mRecent.size() - 1);
        for (uint32_t k = 0; k < channel.storm && !mRecent.empty(); ++k) {
            const Packetizer &other = *mSent[mRecent[pick(mRandom)]];
            const uint32_t id = mRandom() % 3 == 0 ? 0 : uint32_t(mRandom() % other.PacketCount());
            Transmit(other, id, mRandom() % 2 == 0);
        }
    }

    void Complete(const BlockResult &aResult) override
    {
        auto *memory = static_cast<std::vector<uint8_t> *>(aResult.cookie);
        Received r;
        r.blockId = aResult.blockId;
        r.outcome = aResult.outcome;
        r.result = aResult;
        r.missing.assign(aResult.missing, aResult.missing + aResult.missingCount);
        r.parts.assign(aResult.parts, aResult.parts + aResult.leader.partCount);
        r.result.missing = nullptr;
        r.result.parts = nullptr;
        r.result.partOffsets = nullptr;
        for (size_t k = 0; k < kGuardBytes; ++k)
            guardsIntact = guardsIntact && (*memory)[capacity + k] == kGuard;
        r.bytes.assign(memory->begin(), memory->begin() + std::min<uint64_t>(aResult.bytesWritten, capacity));
        received.push_back(std::move(r));
    }

    bool guardsIntact = true;

private:
    void Transmit(const Packetizer &aPacketizer, uint32_t aId, bool aResend)
    {
        std::uniform_real_distribution<double> u(0, 1);
        if (u(mRandom) < (aResend ? channel.resendLoss : channel.loss)) return;
        if (!aResend && aId == 0 && channel.leaderLoss > 0 && u(mRandom) < channel.leaderLoss) return;
        std::vector<uint8_t> out(datagram);
        out.resize(aPacketizer.Write(aId, out.data(), out.size(), aResend));
        if (out.empty()) return;
        if (u(mRandom) < channel.duplicate) mPending.push_back(out);
        if (u(mRandom) < channel.reorder) mHeld.push_back(out);
        else {
            mPending.push_back(out);
            while (!mHeld.empty()) {
                mPending.push_back(mHeld.front());
                mHeld.pop_front();
            }
        }
    }

    void Flush()
    {
        while (!mHeld.empty()) {
            mPending.push_back(mHeld.front());
            mHeld.pop_front();
        }
        // Resends requested while delivering join the end of the line.
        while (!mPending.empty()) {
            if (batch) {
                DeliverBatch();
                continue;
            }
            std::vector<uint8_t> d = mPending.front();
            mPending.pop_front();
            now += 1;
            Deliver(d);
        }
    }

    // The next datagrams in one batch, each scattered as the kernel does for
    // a slot with a landing: its header into the slot, its payload onto the
    // landing, whatever is beyond into the slot after room for the payload.
    void DeliverBatch()
    {
        Reassembler::Landing landings[64];
        const Reassembler::Expectation e = mReassembler.Expect(landings, std::min<size_t>(batch, 64), datagram);
        const size_t count = std::min(mPending.size(), e.batch);
        const size_t head = e.headerSize;
        std::vector<std::unique_ptr<uint8_t[]>> slots;
        Reassembler::Arrival arrivals[64];
        for (size_t k = 0; k < count; ++k) {
            const std::vector<uint8_t> d = mPending.front();
            mPending.pop_front();
            slots.emplace_back(new uint8_t[d.size() + 1]);
            uint8_t *slot = slots.back().get();
            Reassembler::Arrival &a = arrivals[k];
            a = Reassembler::Arrival{slot, d.size(), k < e.landings ? k : Reassembler::kNoLanding};
            if (k >= e.landings || d.size() <= head) {
                std::copy(d.begin(), d.end(), slot);
                continue;
            }
            const size_t onto = std::min(d.size() - head, landings[k].size);
            std::copy(d.begin(), d.begin() + head, slot);
            std::copy(d.begin() + head, d.begin() + head + onto, landings[k].at);
            std::copy(d.begin() + head + onto, d.end(), slot + head + landings[k].size);
        }
        now += 1;
        mReassembler.OnBatch(arrivals, count, now);
        for (size_t k = 0; k < count; ++k) landed += arrivals[k].inPlace;
    }

    Reassembler mReassembler;
    std::mt19937 mRandom;
    std::map<std::pair<uint64_t, bool>, std::unique_ptr<Packetizer>> mSent;
    std::deque<std::pair<uint64_t, bool>> mRecent;   // the last blocks sent
    std::deque<std::vector<uint8_t>> mPending, mHeld;
    std::vector<std::unique_ptr<std::vector<uint8_t>>> mMemory;
};

// A test image of aBytes bytes whose content tells every offset apart.
inline std::vector<uint8_t> Pattern(size_t aBytes, uint32_t aSeed)
{
    std::vector<uint8_t> v(aBytes);
    uint32_t x = aSeed * 2654435761u + 1;
    for (auto &b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = uint8_t(x);
    }
    return v;
}

// Packet aId of a block as its transmitter writes it into a datagram.
inline std::vector<uint8_t> Datagram(const Packetizer &aPacketizer, uint32_t aId, size_t aDatagram = 1400)
{
    std::vector<uint8_t> out(aDatagram);
    out.resize(aPacketizer.Write(aId, out.data(), out.size()));
    return out;
}

// A datagram made by hand: a header and any body.
inline std::vector<uint8_t> Forge(uint64_t aBlockId, uint32_t aPacketId, uint8_t aFormat,
                                  const std::vector<uint8_t> &aBody, bool aExtendedId = false, uint16_t aStatus = 0)
{
    Header h;
    h.blockId = aBlockId;
    h.packetId = aPacketId;
    h.format = aFormat;
    h.extendedId = aExtendedId;
    h.status = aStatus;
    std::vector<uint8_t> d(headerSize(aExtendedId));
    writeHeader(h, d.data(), d.size());
    d.insert(d.end(), aBody.begin(), aBody.end());
    return d;
}

inline std::vector<uint8_t> ForgeLeader(uint64_t aBlockId, const Leader &aLeader, bool aExtendedId = false)
{
    Header h;
    h.blockId = aBlockId;
    h.extendedId = aExtendedId;
    std::vector<uint8_t> d(2048);
    d.resize(encodeLeader(h, aLeader, nullptr, d.data(), d.size()));
    return d;
}

inline std::vector<uint8_t> ForgeTrailer(uint64_t aBlockId, uint32_t aPacketId, const Trailer &aTrailer,
                                         bool aExtendedId = false)
{
    Header h;
    h.blockId = aBlockId;
    h.packetId = aPacketId;
    h.extendedId = aExtendedId;
    std::vector<uint8_t> d(2048);
    d.resize(encodeTrailer(h, aTrailer, nullptr, d.data(), d.size()));
    return d;
}

inline BlockSource ImageSource(const std::vector<uint8_t> &aBytes, uint32_t aWidth, uint32_t aHeight)
{
    BlockSource s;
    s.leader.payloadType = PAYLOAD_IMAGE;
    s.leader.timestamp = 0x0102030405060708ull;
    s.leader.image.pixelFormat = 0x01080001;  // Mono8
    s.leader.image.sizeX = aWidth;
    s.leader.image.sizeY = aHeight;
    s.trailer.sizeY = aHeight;
    s.data = aBytes.data();
    s.size = aBytes.size();
    return s;
}

// A multi-part block of two parts over a's and b's bytes (kept alive by
// the caller); the second part of data type aSecondType.
struct TwoParts {
    PartInfo parts[2];
    const uint8_t *data[2];
    BlockSource source;
    TwoParts(const std::vector<uint8_t> &aFirst, const std::vector<uint8_t> &aSecond, uint16_t aSecondType = 1)
        : data{aFirst.data(), aSecond.data()}
    {
        parts[0].dataType = 1;
        parts[0].length = aFirst.size();
        parts[1].dataType = aSecondType;
        parts[1].length = aSecond.size();
        source.leader.payloadType = PAYLOAD_MULTIPART;
        source.leader.partCount = 2;
        source.parts = parts;
        source.partData = data;
    }
    TwoParts(const TwoParts &) = delete;
    TwoParts &operator=(const TwoParts &) = delete;
};

} // namespace gvsptest

#endif
