#ifndef TARN_GVSPSEND_SENDER_H
#define TARN_GVSPSEND_SENDER_H

// The parts of the device side of GVSP that the send channel
// (send_channel.h) of the software camera's stream channels and of the
// stand-alone transmitter puts together: what a buffer holds as a block, its
// packets written straight from the buffer's bytes into one batch memory
// and sent a batch per system call, paced to a payload rate, and the
// blocks kept for resend requests. Nothing is allocated per packet.
//
// Not thread-safe: the send channel's user serialises its calls.

#include "gev/packetizer.h"
#include "net/socket.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ZuBuffer;

namespace tarn {
namespace gvspsend {

using SendClock = std::chrono::steady_clock;

// The GVSP description of what a buffer holds: an image or raw data (with
// the chunks it carries), chunk data alone, or a multi-part container. False for a buffer with nothing to send. The description points
// into the buffer (and into aParts for multi-part blocks), which must stay
// unchanged while packets of it may be written.
struct PartStore {
    std::vector<gvsp::PartInfo> infos;
    std::vector<const uint8_t *> datas;
    // An image or raw data and its chunks, when the chunks do not follow
    // them in memory (reused from block to block).
    std::vector<uint8_t> joined;
};
bool describeBlock(ZuBuffer &aBuffer, gvsp::BlockSource &aSource, PartStore &aParts);

// Holds payload bytes to a rate: each batch waits until the bytes before it
// would have left at that rate. An idle sender does not save up a burst.
class Pacer
{
public:
    // Payload bytes per second; 0 or less: no pacing.
    void SetRate(double aBytesPerSecond);
    double Rate() const { return mRate; }
    // The sender was idle: the time it did not use is not sent later as a
    // burst, but what it sent last still holds the next batch back.
    void Restart() { mForgive = true; }
    // Waits, if need be, before aBytes more payload bytes leave.
    void Admit(uint64_t aBytes);

private:
    double mRate = 0;
    bool mStarted = false;
    bool mForgive = false;
    SendClock::time_point mNext;
};

struct SenderOptions {
    net::Endpoint source;           // port 0: the kernel picks one
    bool dontFragment = false;
    bool multicast = false;         // the destination is a multicast group
    bool multicastLoop = false;
    int sendBuffer = 0;             // SO_SNDBUF bytes, 0: the kernel's
    size_t batch = 32;              // datagrams per system call, 1..64
};

// What Transmit() sent: packets, and the payload bytes they carried (the
// GVSP packet less its header).
struct Sent {
    uint64_t packets = 0;
    uint64_t payload = 0;
};

class Sender
{
public:
    Sender();
    bool Open(const SenderOptions &aOptions, std::string &aError);
    void Close();
    bool IsOpen() const { return mSocket.Valid(); }
    net::Endpoint Local() const { return mLocal; }

    // Packets aFirst..aLast of a laid-out block (clipped to the block) to
    // aTo, paced by aPacer when given.
    Sent Transmit(const gvsp::Packetizer &aBlock, uint32_t aFirst, uint32_t aLast, bool aResend, net::Endpoint aTo,
                  Pacer *aPacer = nullptr);
    // The answer to a resend request for packets no longer held: one header
    // with aStatus per packet, at most kMaxStatusAnswers of them.
    static constexpr uint32_t kMaxStatusAnswers = 256;
    uint64_t TransmitStatus(uint64_t aBlockId, bool aExtendedId, uint32_t aFirst, uint32_t aLast, uint16_t aStatus,
                            net::Endpoint aTo);
    // One datagram as it is (test packets).
    bool SendDatagram(const uint8_t *aData, size_t aSize, net::Endpoint aTo);
    // Datagrams of another protocol from this sender's port (RTP), in one
    // system call: how many left, -1 on error.
    int SendDatagrams(const uint8_t *const *aDatas, const size_t *aSizes, size_t aCount, net::Endpoint aTo)
    {
        return mSocket.SendAllTo(aDatas, aSizes, aCount, aTo);
    }

    // Packets for which this answers true are counted but not sent: a
    // seeded loss for tests of the resend road.
    using DropFilter = std::function<bool(uint64_t aBlockId, uint32_t aPacketId, bool aResend)>;
    void SetDropFilter(DropFilter aFilter) { mDrop = std::move(aFilter); }

    uint64_t PacketsSent() const { return mPacketsSent; }

    // Packets go over this connection instead, each as a frame (gev/tcp.h),
    // until it is set back to null; test packets stay datagrams. A peer
    // that stalls fails the connection: streamFailed() says so, and nothing
    // more is sent over it.
    void SetStream(const net::TcpConnection *aStream)
    {
        mStream = aStream;
        mStreamFailed = false;
    }
    bool StreamFailed() const { return mStreamFailed; }
    static constexpr int kStreamStallMs = 1000;

private:
    void FlushStream(size_t aCount);

    void Flush(size_t aCount, net::Endpoint aTo);
    void FlushGather(size_t aCount, net::Endpoint aTo);

    net::UdpSocket mSocket;
    net::Endpoint mLocal;
    size_t mBatchSize = 32;
    static constexpr size_t kSlot = 65536;
    static constexpr size_t kMaxBatch = 64;
    std::vector<uint8_t> mBatch;
    const uint8_t *mDatas[kMaxBatch] = {};
    size_t mSizes[kMaxBatch] = {};
    net::UdpSocket::Gather mGather[kMaxBatch] = {};
    std::atomic<uint64_t> mPacketsSent{0};
    DropFilter mDrop;
    const net::TcpConnection *mStream = nullptr;
    bool mStreamFailed = false;
    uint8_t mFrameHeads[kMaxBatch][4] = {};
    net::TcpConnection::Piece mPieces[kMaxBatch * 3] = {};
};

// A block sent and held for resends: the buffer it came from (the tag its
// owner knows it by), its layout, where it went and the sequence of block
// ids it was sent in.
struct HeldBlock {
    const void *tag = nullptr;
    uint64_t sequence = 0;
    gvsp::Packetizer packetizer;
    PartStore parts;
    net::Endpoint to;
    SendClock::time_point sentAt;
};

// The blocks held for resends, oldest first. Entries are reused, so that a
// steady stream allocates nothing.
class History
{
public:
    // A fresh entry to lay a block out in; Commit() keeps it, Drop() gives
    // it back.
    HeldBlock &Prepare();
    void Commit(SendClock::time_point aNow);
    void Drop();

    const HeldBlock *Find(uint64_t aBlockId) const;
    // Blocks leave, oldest first, while there are more than aCount or the
    // oldest was sent before aBefore; aGone learns each tag.
    void Expire(size_t aCount, SendClock::time_point aBefore, const std::function<void(const void *)> &aGone);
    void Clear(const std::function<void(const void *)> &aGone);
    size_t Size() const { return mHeld.size(); }

private:
    std::unique_ptr<HeldBlock> Take();
    std::deque<std::unique_ptr<HeldBlock>> mHeld;
    std::vector<std::unique_ptr<HeldBlock>> mSpare;
    std::unique_ptr<HeldBlock> mNext;
};

} // namespace gvspsend
} // namespace tarn

#endif
