#include "gvspsend/sender.h"

#include "gev/tcp.h"

#include <poll.h>

#include <algorithm>
#include <thread>

namespace tarn {
namespace gvspsend {

void Pacer::SetRate(double aBytesPerSecond)
{
    mRate = aBytesPerSecond > 0 ? aBytesPerSecond : 0;
    mStarted = false;
}

void Pacer::Admit(uint64_t aBytes)
{
    if (mRate <= 0) return;
    const auto now = SendClock::now();
    // After a pause the schedule starts again from now: time not used is
    // not sent later as a burst. A sender merely behind (a batch that took
    // long, a thread that waited for the processor) catches up instead.
    if (!mStarted || mNext < now - (mForgive ? SendClock::duration::zero() : std::chrono::milliseconds(50))) {
        mNext = now;
        mStarted = true;
    }
    mForgive = false;
    if (mNext > now) std::this_thread::sleep_until(mNext);
    mNext += std::chrono::duration_cast<SendClock::duration>(std::chrono::duration<double>(double(aBytes) / mRate));
}

Sender::Sender() : mBatch(kMaxBatch * kSlot) {}

bool Sender::Open(const SenderOptions &aOptions, std::string &aError)
{
    net::SocketOptions options;
    options.dontFragment = aOptions.dontFragment;
    options.multicast = aOptions.multicast;
    options.multicastLoop = aOptions.multicastLoop;
    options.sendBuffer = aOptions.sendBuffer;
    mSocket = net::UdpSocket::Bind(aOptions.source, options, &aError);
    if (!mSocket.Valid()) return false;
    mLocal = mSocket.Local();
    mBatchSize = std::clamp<size_t>(aOptions.batch, 1, kMaxBatch);
    return true;
}

void Sender::Close()
{
    mSocket = net::UdpSocket();
    mLocal = net::Endpoint{};
}

// When the kernel refuses packets (its send queue full), wait a moment
// rather than lose them.
template <class Send>
static uint64_t sendPatiently(size_t aCount, Send aSend)
{
    size_t done = 0;
    for (int tries = 0; done < aCount && tries < 100; ++tries) {
        const int sent = aSend(done);
        if (sent > 0) {
            done += size_t(sent);
        } else {
            ::poll(nullptr, 0, 1);
        }
    }
    return done;
}

void Sender::FlushStream(size_t aCount)
{
    if (mStreamFailed) return;
    size_t n = 0;
    for (size_t k = 0; k < aCount; ++k) {
        const net::UdpSocket::Gather &g = mGather[k];
        gev::writeFrameHeader(mFrameHeads[k], uint32_t(g.headSize + g.bodySize));
        mPieces[n++] = {mFrameHeads[k], gev::kFrameHeaderSize};
        mPieces[n++] = {g.head, g.headSize};
        mPieces[n++] = {g.body, g.bodySize};
    }
    if (mStream->SendPieces(mPieces, n, kStreamStallMs)) mPacketsSent += aCount;
    else mStreamFailed = true;
}

void Sender::Flush(size_t aCount, net::Endpoint aTo)
{
    if (mStream) {
        for (size_t k = 0; k < aCount; ++k) mGather[k] = net::UdpSocket::Gather{mDatas[k], mSizes[k], nullptr, 0};
        FlushStream(aCount);
        return;
    }
    mPacketsSent += sendPatiently(
        aCount, [&](size_t aDone) { return mSocket.SendAllTo(mDatas + aDone, mSizes + aDone, aCount - aDone, aTo); });
}

void Sender::FlushGather(size_t aCount, net::Endpoint aTo)
{
    if (mStream) {
        FlushStream(aCount);
        return;
    }
    mPacketsSent +=
        sendPatiently(aCount, [&](size_t aDone) { return mSocket.SendAllTo(mGather + aDone, aCount - aDone, aTo); });
}

Sent Sender::Transmit(const gvsp::Packetizer &aBlock, uint32_t aFirst, uint32_t aLast, bool aResend, net::Endpoint aTo,
                      Pacer *aPacer)
{
    Sent sent;
    if (!mSocket.Valid() || !aBlock.PacketCount()) return sent;
    aLast = std::min(aLast, aBlock.PacketCount() - 1);
    const size_t header = gvsp::headerSize(aBlock.ExtendedId());
    size_t batched = 0;
    uint64_t batchPayload = 0;
    auto send = [&] {
        if (aPacer) aPacer->Admit(batchPayload);
        if (batched) FlushGather(batched, aTo);
        batched = 0;
        batchPayload = 0;
    };
    for (uint64_t id = aFirst; id <= aLast; ++id) {
        // Headers are written into the batch memory; the data is sent from
        // the block's own bytes.
        uint8_t *slot = mBatch.data() + batched * kSlot;
        const uint8_t *data = nullptr;
        size_t length = 0;
        const size_t head = aBlock.WriteHead(uint32_t(id), slot, kSlot, aResend, &data, &length);
        if (!head) continue;
        ++sent.packets;
        const uint64_t payload = head + length - header;
        sent.payload += payload;
        batchPayload += payload;
        if (mDrop && mDrop(aBlock.BlockId(), uint32_t(id), aResend)) continue;
        mGather[batched] = net::UdpSocket::Gather{slot, head, data, length};
        if (++batched == mBatchSize) send();
    }
    if (batched || batchPayload) send();
    return sent;
}

uint64_t Sender::TransmitStatus(uint64_t aBlockId, bool aExtendedId, uint32_t aFirst, uint32_t aLast, uint16_t aStatus,
                                net::Endpoint aTo)
{
    if (!mSocket.Valid() || aLast < aFirst) return 0;
    aLast = std::min<uint64_t>(aLast, uint64_t(aFirst) + kMaxStatusAnswers - 1);
    size_t batched = 0;
    uint64_t count = 0;
    for (uint64_t id = aFirst; id <= aLast; ++id) {
        gvsp::Header h;
        h.status = aStatus;
        h.extendedId = aExtendedId;
        h.blockId = aBlockId;
        h.packetId = uint32_t(id);
        h.format = gvsp::FORMAT_PAYLOAD;
        uint8_t *slot = mBatch.data() + batched * kSlot;
        const size_t n = gvsp::writeHeader(h, slot, kSlot);
        if (!n) continue;
        ++count;
        mDatas[batched] = slot;
        mSizes[batched] = n;
        if (++batched == mBatchSize) {
            Flush(batched, aTo);
            batched = 0;
        }
    }
    if (batched) Flush(batched, aTo);
    return count;
}

bool Sender::SendDatagram(const uint8_t *aData, size_t aSize, net::Endpoint aTo)
{
    if (!mSocket.Valid() || !mSocket.SendTo(aData, aSize, aTo)) return false;
    ++mPacketsSent;
    return true;
}

std::unique_ptr<HeldBlock> History::Take()
{
    if (mSpare.empty()) return std::make_unique<HeldBlock>();
    auto held = std::move(mSpare.back());
    mSpare.pop_back();
    return held;
}

HeldBlock &History::Prepare()
{
    if (!mNext) mNext = Take();
    return *mNext;
}

void History::Commit(SendClock::time_point aNow)
{
    if (!mNext) return;
    mNext->sentAt = aNow;
    mHeld.push_back(std::move(mNext));
}

void History::Drop()
{
    if (mNext) mNext->tag = nullptr;
}

const HeldBlock *History::Find(uint64_t aBlockId) const
{
    // The newest first: with 16-bit ids an old block may share its id.
    for (auto it = mHeld.rbegin(); it != mHeld.rend(); ++it)
        if ((*it)->packetizer.BlockId() == aBlockId) return it->get();
    return nullptr;
}

void History::Expire(size_t aCount, SendClock::time_point aBefore, const std::function<void(const void *)> &aGone)
{
    while (!mHeld.empty() && (mHeld.size() > aCount || mHeld.front()->sentAt < aBefore)) {
        auto held = std::move(mHeld.front());
        mHeld.pop_front();
        const void *tag = held->tag;
        held->tag = nullptr;
        mSpare.push_back(std::move(held));
        if (aGone) aGone(tag);
    }
}

void History::Clear(const std::function<void(const void *)> &aGone)
{
    Expire(0, SendClock::time_point::max(), aGone);
}

} // namespace gvspsend
} // namespace tarn
