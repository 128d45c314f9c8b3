#include "ZuTransmitterGEV.h"

#include "ZuBuffer.h"
#include "ZuResultCodes.h"
#include "gev/gvcp.h"
#include "gvspsend/send_channel.h"
#include "tarn/BufferFill.h"
#include "tarn/Interrupts.h"
#include "tarn/Transmitter.h"
#include "tarn/Uses.h"
#include "tarn/Worker.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>

using tarn::gvspsend::SendClock;

namespace {

constexpr uint32_t kMinPacketSize = 576;
constexpr uint32_t kMaxResendHistory = 1024;
// Resend requests waiting for the thread; older ones give way to newer.
constexpr size_t kMaxPendingResends = 1024;

struct Resend {
    uint64_t block;
    uint32_t first, last;
};

bool isMulticast(uint32_t aIp) { return (aIp >> 28) == 0xE; }

} // namespace

struct ZuTransmitterGEV::Impl {
    // Told when the transmitter goes.
    std::shared_ptr<tarn::transmitter::Users> users = std::make_shared<tarn::transmitter::Users>(false);
    mutable std::mutex lock;
    std::condition_variable changed;

    // Configuration, under the lock.
    std::string destinationText, sourceText;
    tarn::net::Endpoint destination;
    uint32_t packetSize = 1500;
    float maxThroughput = 0;
    uint32_t sentTimeoutMs = 50;
    uint32_t historyLimit = 32;
    bool extendedIds = false;
    uint32_t senderPriority = 0, poolPriority = 0;
    std::function<void(ZuBuffer *)> releaseHook;

    bool open = false;
    bool quit = false;
    tarn::Worker thread;
    // The thread's, and Open/Close's while it is not running; Abort and
    // Close take its history over while the thread waits.
    tarn::gvspsend::SendChannel channel;
    std::deque<ZuBuffer *> queue;
    std::deque<ZuBuffer *> free;
    std::deque<Resend> resends;
    ZuBuffer *sending = nullptr;
    bool historyBusy = false;      // the thread works on the history without the lock
    int aborting = 0;              // callers waiting for the thread to leave the history alone
    bool rateChanged = false;
    uint64_t nextBlock = 1;

    // Statistics.
    std::atomic<uint64_t> blocks{0}, payload{0}, resendRequests{0}, resent{0}, unavailable{0};
    SendClock::time_point sampleStart = SendClock::now();
    // The last second's window, and the one before it for the instantaneous figures.
    SendClock::time_point windowStart = SendClock::now();
    uint64_t windowBlocks = 0, windowBytes = 0;
    float instantThroughput = 0, instantRate = 0;

    void Account(uint64_t aBytes, SendClock::time_point aNow)
    {
        blocks.fetch_add(1);
        payload.fetch_add(aBytes);
        ++windowBlocks;
        windowBytes += aBytes;
        const double span = std::chrono::duration<double>(aNow - windowStart).count();
        if (span >= 1.0) {
            instantThroughput = float(double(windowBytes) * 8 / 1e6 / span);
            instantRate = float(double(windowBlocks) / span);
            windowStart = aNow;
            windowBlocks = windowBytes = 0;
        }
    }

    // Blocks out of the history become free; with the lock held.
    void Expire(SendClock::time_point aNow)
    {
        const auto before = aNow - std::chrono::milliseconds(sentTimeoutMs);
        channel.Expire(historyLimit, sentTimeoutMs ? before : SendClock::time_point::max(),
                       [this](const void *aTag) { Freed(static_cast<ZuBuffer *>(const_cast<void *>(aTag))); });
    }

    // A queued buffer nothing will send or resend from any more: its
    // memory is its owner's to change again. With the lock held.
    void Freed(ZuBuffer *aBuffer)
    {
        tarn::ReleaseMemory(aBuffer);
        free.push_back(aBuffer);
    }

    void Serve(const Resend &aResend, std::unique_lock<std::mutex> &aLock);
    void SendBlock(ZuBuffer *aBuffer, std::unique_lock<std::mutex> &aLock);
    void Run();
    // Everything still held becomes free, in the order it was queued.
    void FreeAll(bool *aAborted);
};

void ZuTransmitterGEV::Impl::Serve(const Resend &aResend, std::unique_lock<std::mutex> &aLock)
{
    const tarn::net::Endpoint to = destination;
    const bool extended = extendedIds;
    historyBusy = true;
    aLock.unlock();
    const tarn::gvspsend::ResendAnswer answer = channel.Resend(aResend.block, aResend.first, aResend.last, extended, to);
    resent.fetch_add(answer.resent);
    unavailable.fetch_add(answer.refused);
    aLock.lock();
    historyBusy = false;
    changed.notify_all();
}

void ZuTransmitterGEV::Impl::SendBlock(ZuBuffer *aBuffer, std::unique_lock<std::mutex> &aLock)
{
    sending = aBuffer;
    const uint64_t id = nextBlock;
    tarn::gvspsend::BlockRoute route;
    route.to = destination;
    route.datagram = packetSize - tarn::gvsp::kIpUdpOverhead;
    route.extendedId = extendedIds;
    historyBusy = true;
    aLock.unlock();
    uint64_t bytes = 0;
    const bool ok = channel.Send(*aBuffer, aBuffer, id, route, &bytes);
    const auto now = SendClock::now();
    aLock.lock();
    historyBusy = false;
    sending = nullptr;
    if (ok) {
        Account(bytes, now);
        nextBlock = tarn::gvsp::nextBlockId(id, route.extendedId);
    } else {
        Freed(aBuffer);
    }
    Expire(now);
    changed.notify_all();
}

void ZuTransmitterGEV::Impl::Run()
{
    std::unique_lock<std::mutex> lock(this->lock);
    bool idle = true;
    while (!quit) {
        const auto now = SendClock::now();
        Expire(now);
        changed.notify_all();
        if (rateChanged) {
            channel.GetPacer().SetRate(double(maxThroughput) * 1e6 / 8);
            rateChanged = false;
        }
        if (aborting) {
            changed.wait(lock);
        } else if (!resends.empty()) {
            Resend r = resends.front();
            resends.pop_front();
            Serve(r, lock);
        } else if (!queue.empty()) {
            ZuBuffer *buffer = queue.front();
            queue.pop_front();
            if (idle) channel.GetPacer().Restart();
            idle = false;
            SendBlock(buffer, lock);
        } else {
            // Nothing to send: the pause is not made up for later.
            idle = true;
            if (channel.Held() && sentTimeoutMs)
                changed.wait_for(lock, std::chrono::milliseconds(sentTimeoutMs));
            else
                changed.wait(lock);
        }
    }
}

void ZuTransmitterGEV::Impl::FreeAll(bool *aAborted)
{
    channel.Clear([this](const void *aTag) { Freed(static_cast<ZuBuffer *>(const_cast<void *>(aTag))); });
    if (aAborted) *aAborted = !queue.empty();
    for (ZuBuffer *buffer : queue) Freed(buffer);
    queue.clear();
    resends.clear();
}

ZuTransmitterGEV::ZuTransmitterGEV() : mImpl(new Impl) {}

ZuTransmitterGEV::~ZuTransmitterGEV()
{
    // A responder still serving it lets go of it first.
    mImpl->users->ForEach([this](tarn::transmitter::User *aUser) { aUser->TransmitterGoes(this); });
    Close();
    std::vector<ZuBuffer *> held;
    std::function<void(ZuBuffer *)> hook;
    {
        std::lock_guard<std::mutex> lock(mImpl->lock);
        held.assign(mImpl->free.begin(), mImpl->free.end());
        hook = mImpl->releaseHook;
    }
    if (hook)
        for (ZuBuffer *buffer : held) hook(buffer);
    delete mImpl;
}

ZuResult ZuTransmitterGEV::Open(ZuString aDestinationIPAddress, uint16_t aDestinationPort, ZuString aSourceIPAddress,
                                uint16_t aSourcePort, bool aDoNotFragment, bool aExtendedIDs, uint32_t aPacketsPerCall,
                                bool aMulticastLoopback, uint32_t aResendHistory, uint32_t aSendBufferSize)
{
    Impl &d = *mImpl;
    std::unique_lock<std::mutex> lock(d.lock);
    if (d.open) return ZuResult(ZU_STATE_ERROR, ZuString("the transmitter is already open"));
    uint32_t destination = 0, source = 0;
    const std::string sourceText = aSourceIPAddress.Narrow();
    if (!tarn::gvcp::parseIPv4(aDestinationIPAddress.Narrow(), destination) || !destination || !aDestinationPort)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the destination is not an IPv4 address and port"));
    if (!sourceText.empty() && !tarn::gvcp::parseIPv4(sourceText, source))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the source is not an IPv4 address"));
    if (aPacketsPerCall < 1 || aPacketsPerCall > 64 || aResendHistory < 1 || aResendHistory > kMaxResendHistory ||
        aSendBufferSize > 0x7FFFFFFF)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("a count is out of range"));
    const bool multicast = isMulticast(destination);
    if (!source && multicast) source = tarn::net::localAddressToward(0x7F000001);
    tarn::gvspsend::SenderOptions options;
    options.source = {source, aSourcePort};
    options.dontFragment = aDoNotFragment;
    options.multicast = multicast;
    options.multicastLoop = aMulticastLoopback;
    options.sendBuffer = int(aSendBufferSize);
    options.batch = aPacketsPerCall;
    std::string error;
    if (!d.channel.Open(options, error)) return ZuResult(ZU_NETWORK_ERROR, ZuString(error));
    d.destination = {destination, aDestinationPort};
    d.destinationText = tarn::gvcp::formatIPv4(destination);
    tarn::net::Endpoint local = d.channel.Local();
    if (!local.ip && !multicast) local.ip = tarn::net::localAddressToward(destination);
    d.sourceText = tarn::gvcp::formatIPv4(local.ip);
    d.extendedIds = aExtendedIDs;
    d.historyLimit = aResendHistory;
    d.nextBlock = 1;
    d.quit = false;
    d.channel.GetPacer().SetRate(double(d.maxThroughput) * 1e6 / 8);
    if (!d.thread.Start([&d](tarn::Worker::Control &) { d.Run(); }, nullptr, d.senderPriority).IsOK()) {
        d.channel.Close();
        return ZuResult(ZU_THREAD_ERROR);
    }
    d.open = true;
    d.sampleStart = d.windowStart = SendClock::now();
    return ZuResult(ZU_OK);
}

void tarn::EndWaits(ZuTransmitterGEV *aTransmitter)
{
    if (aTransmitter) aTransmitter->Close();
}

ZuResult ZuTransmitterGEV::Close()
{
    Impl &d = *mImpl;
    {
        std::lock_guard<std::mutex> lock(d.lock);
        if (!d.open) return ZuResult(ZU_STATE_ERROR, ZuString("the transmitter is not open"));
        d.quit = true;
        d.open = false;
        d.changed.notify_all();
    }
    d.thread.Stop();
    std::lock_guard<std::mutex> lock(d.lock);
    d.FreeAll(nullptr);
    d.channel.Close();
    d.changed.notify_all();
    return ZuResult(ZU_OK);
}

ZuResult ZuTransmitterGEV::LoadBufferPool(ZuBuffer **aBuffers, uint32_t aCount)
{
    if (!aBuffers || !aCount) return ZuResult(ZU_INVALID_PARAMETER);
    for (uint32_t i = 0; i < aCount; ++i)
        if (!aBuffers[i]) return ZuResult(ZU_INVALID_PARAMETER);
    std::lock_guard<std::mutex> lock(mImpl->lock);
    // Ahead of buffers freed later, in the order given.
    for (uint32_t i = 0; i < aCount; ++i) mImpl->free.push_back(aBuffers[i]);
    mImpl->changed.notify_all();
    return ZuResult(ZU_OK);
}

ZuResult ZuTransmitterGEV::QueueBuffer(ZuBuffer *aBuffer)
{
    if (!aBuffer) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no buffer"));
    tarn::gvsp::BlockSource source;
    tarn::gvspsend::PartStore parts;
    if (!tarn::gvspsend::describeBlock(*aBuffer, source, parts))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the buffer holds nothing to send"));
    std::lock_guard<std::mutex> lock(mImpl->lock);
    if (!mImpl->open) return ZuResult(ZU_STATE_ERROR, ZuString("the transmitter is not open"));
    // Until it is free again: the memory sent and resent from stays.
    tarn::HoldMemory(*aBuffer);
    mImpl->queue.push_back(aBuffer);
    mImpl->changed.notify_all();
    return ZuResult(ZU_OK);
}

namespace {
} // namespace

ZuResult ZuTransmitterGEV::RetrieveFreeBuffer(ZuBuffer **aBuffer, uint32_t aTimeout)
{
    Impl &d = *mImpl;
    ZuBuffer *buffer = nullptr;
    std::function<void(ZuBuffer *)> hook;
    {
        std::unique_lock<std::mutex> lock(d.lock);
        // A closed transmitter frees everything at once: nothing more can
        // become free while it stays closed.
        const bool wasOpen = d.open;
        switch (tarn::Interrupts::WaitFor(d.changed, lock, aTimeout, [&] { return !d.free.empty() || !d.open; })) {
        case tarn::Interrupts::Wait::Interrupted: return tarn::Interrupts::Result();
        case tarn::Interrupts::Wait::TimedOut: return ZuResult(ZU_TIMEOUT);
        case tarn::Interrupts::Wait::Done: break;
        }
        if (d.free.empty())
            return wasOpen ? ZuResult(ZU_ABORTED, ZuString("the transmitter closed"))
                           : ZuResult(ZU_STATE_ERROR, ZuString("the transmitter is not open"));
        buffer = d.free.front();
        d.free.pop_front();
        hook = d.releaseHook;
    }
    if (aBuffer) *aBuffer = buffer;
    if (hook) hook(buffer);
    return ZuResult(ZU_OK);
}

ZuResult ZuTransmitterGEV::AbortQueuedBuffers(uint32_t aTimeout, bool *aAborted)
{
    Impl &d = *mImpl;
    std::unique_lock<std::mutex> lock(d.lock);
    if (aAborted) *aAborted = false;
    // The thread takes nothing new meanwhile; the block in flight ends first.
    ++d.aborting;
    const auto waited = tarn::Interrupts::WaitFor(d.changed, lock, aTimeout, [&] { return !d.historyBusy; });
    if (waited == tarn::Interrupts::Wait::Done) d.FreeAll(aAborted);
    --d.aborting;
    d.changed.notify_all();
    if (waited == tarn::Interrupts::Wait::Interrupted) return tarn::Interrupts::Result();
    return ZuResult(waited == tarn::Interrupts::Wait::Done ? ZU_OK : ZU_TIMEOUT);
}

ZuResult ZuTransmitterGEV::FireTestPacket()
{
    Impl &d = *mImpl;
    std::unique_lock<std::mutex> lock(d.lock);
    if (!d.open) return ZuResult(ZU_STATE_ERROR, ZuString("the transmitter is not open"));
    // The socket is shared with the thread only for sending, which the
    // system serialises.
    if (!d.channel.SendTestPacket(d.packetSize - tarn::gvsp::kIpUdpOverhead, d.destination))
        return ZuResult(ZU_NETWORK_ERROR);
    return ZuResult(ZU_OK);
}

uint32_t ZuTransmitterGEV::GetQueuedBufferCount()
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return uint32_t(mImpl->queue.size() + (mImpl->sending ? 1 : 0));
}

uint32_t ZuTransmitterGEV::GetPacketSize()
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->packetSize;
}

ZuResult ZuTransmitterGEV::SetPacketSize(uint32_t aPacketSize)
{
    if (aPacketSize < kMinPacketSize || aPacketSize > 65535) return ZuResult(ZU_INVALID_PARAMETER);
    std::lock_guard<std::mutex> lock(mImpl->lock);
    mImpl->packetSize = aPacketSize;
    return ZuResult(ZU_OK);
}

float ZuTransmitterGEV::GetMaxPayloadThroughput()
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->maxThroughput;
}

ZuResult ZuTransmitterGEV::SetMaxPayloadThroughput(float aMaxPayloadThroughput)
{
    if (std::isnan(aMaxPayloadThroughput) || aMaxPayloadThroughput < 0) return ZuResult(ZU_INVALID_PARAMETER);
    if (std::isinf(aMaxPayloadThroughput)) aMaxPayloadThroughput = 0;
    std::lock_guard<std::mutex> lock(mImpl->lock);
    mImpl->maxThroughput = aMaxPayloadThroughput;
    // The pacer is the thread's: a new rate applies from the next block.
    mImpl->rateChanged = true;
    return ZuResult(ZU_OK);
}

uint16_t ZuTransmitterGEV::GetSourcePort()
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->open ? mImpl->channel.Local().port : 0;
}

uint16_t ZuTransmitterGEV::GetDestinationPort()
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->destination.port;
}

ZuString ZuTransmitterGEV::GetSourceIPAddress()
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return ZuString(mImpl->sourceText);
}

ZuString ZuTransmitterGEV::GetDestinationIPAddress()
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return ZuString(mImpl->destinationText);
}

void ZuTransmitterGEV::ResetStats()
{
    Impl &d = *mImpl;
    std::lock_guard<std::mutex> lock(d.lock);
    d.blocks = 0;
    d.payload = 0;
    d.resendRequests = 0;
    d.sampleStart = d.windowStart = SendClock::now();
    d.windowBlocks = d.windowBytes = 0;
    d.instantThroughput = d.instantRate = 0;
}

uint64_t ZuTransmitterGEV::GetBlocksTransmitted() const { return mImpl->blocks; }
uint64_t ZuTransmitterGEV::GetPayloadBytesTransmitted() const { return mImpl->payload; }
uint64_t ZuTransmitterGEV::GetNumberOfResendRequests() const { return mImpl->resendRequests; }

uint64_t ZuTransmitterGEV::GetSamplingTime() const
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(SendClock::now() - mImpl->sampleStart).count());
}

float ZuTransmitterGEV::GetInstantaneousPayloadThroughput() const
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->instantThroughput;
}

float ZuTransmitterGEV::GetAveragePayloadThroughput() const
{
    const uint64_t us = GetSamplingTime();
    return us ? float(double(mImpl->payload) * 8 / double(us)) : 0.0f;
}

float ZuTransmitterGEV::GetInstantaneousTransmissionRate() const
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->instantRate;
}

float ZuTransmitterGEV::GetAverageTransmissionRate() const
{
    const uint64_t us = GetSamplingTime();
    return us ? float(double(mImpl->blocks) * 1e6 / double(us)) : 0.0f;
}

ZuResult ZuTransmitterGEV::SetSentBuffersTimeout(uint32_t aTimeout)
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    mImpl->sentTimeoutMs = aTimeout;
    mImpl->changed.notify_all();
    return ZuResult(ZU_OK);
}

uint32_t ZuTransmitterGEV::GetSentBuffersTimeout() const
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->sentTimeoutMs;
}

bool ZuTransmitterGEV::IsOpen() const
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->open;
}

bool ZuTransmitterGEV::IsTransmitting() const
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->open && (mImpl->sending || !mImpl->queue.empty());
}

bool ZuTransmitterGEV::GetExtendedIDs() const
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->extendedIds;
}

ZuResult ZuTransmitterGEV::SetExtendedIDs(bool aExtendedID)
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    if (mImpl->extendedIds == aExtendedID) return ZuResult(ZU_OK);
    // A receiver follows one id mode per stream: not in the middle of one.
    if (mImpl->open && (mImpl->sending || !mImpl->queue.empty()))
        return ZuResult(ZU_BUSY, ZuString("the transmitter is transmitting"));
    mImpl->extendedIds = aExtendedID;
    // The ids start again: a standard id after an extended one means nothing.
    mImpl->nextBlock = 1;
    mImpl->channel.RestartIds();
    return ZuResult(ZU_OK);
}

void ZuTransmitterGEV::QueuePacketResend(uint64_t aBlockID, uint32_t aFirstPacketID, uint32_t aLastPacketID)
{
    Impl &d = *mImpl;
    std::lock_guard<std::mutex> lock(d.lock);
    d.resendRequests.fetch_add(1);
    if (!d.open || aLastPacketID < aFirstPacketID) return;
    if (d.resends.size() >= kMaxPendingResends) d.resends.pop_front();
    d.resends.push_back(Resend{aBlockID, aFirstPacketID, aLastPacketID});
    d.changed.notify_all();
}

uint32_t ZuTransmitterGEV::GetUserModeTransmitterThreadPriority() const
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->senderPriority;
}

ZuResult ZuTransmitterGEV::SetUserModeTransmitterThreadPriority(uint32_t aPriority)
{
    if (aPriority > 99) return ZuResult(ZU_INVALID_PARAMETER);
    std::lock_guard<std::mutex> lock(mImpl->lock);
    if (!mImpl->thread.SetPriority(aPriority).IsOK()) return ZuResult(ZU_THREAD_ERROR);
    // Without a thread yet, a real-time priority is tried on this one first.
    if (!mImpl->thread.Running() && aPriority) {
        sched_param probe{};
        int policy = 0;
        pthread_getschedparam(pthread_self(), &policy, &probe);
        sched_param param{};
        param.sched_priority = int(aPriority);
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) return ZuResult(ZU_THREAD_ERROR);
        pthread_setschedparam(pthread_self(), policy, &probe);
    }
    mImpl->senderPriority = aPriority;
    return ZuResult(ZU_OK);
}

uint32_t ZuTransmitterGEV::GetBufferPoolThreadPriority() const
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    return mImpl->poolPriority;
}

ZuResult ZuTransmitterGEV::SetBufferPoolThreadPriority(uint32_t aPriority)
{
    if (aPriority > 99) return ZuResult(ZU_INVALID_PARAMETER);
    // Buffers go back to the pool on the sending thread: its priority holds.
    std::lock_guard<std::mutex> lock(mImpl->lock);
    mImpl->poolPriority = aPriority;
    return ZuResult(ZU_OK);
}

namespace tarn {
namespace transmitter {

void SetBufferReleaseHook(ZuTransmitterGEV &aTransmitter, std::function<void(ZuBuffer *)> aHook)
{
    std::lock_guard<std::mutex> lock(aTransmitter.GetImpl().lock);
    aTransmitter.GetImpl().releaseHook = std::move(aHook);
}

void SetDropFilter(ZuTransmitterGEV &aTransmitter, std::function<bool(uint64_t, uint32_t, bool)> aDrop)
{
    // The sender is the thread's: set while no block is on its way.
    ZuTransmitterGEV::Impl &d = aTransmitter.GetImpl();
    std::unique_lock<std::mutex> lock(d.lock);
    ++d.aborting;
    d.changed.wait(lock, [&] { return !d.historyBusy; });
    d.channel.GetSender().SetDropFilter(std::move(aDrop));
    --d.aborting;
    d.changed.notify_all();
}

std::shared_ptr<Users> UsersOf(ZuTransmitterGEV &aTransmitter) { return aTransmitter.GetImpl().users; }

uint64_t PacketsResent(const ZuTransmitterGEV &aTransmitter) { return aTransmitter.GetImpl().resent; }
uint64_t PacketsUnavailable(const ZuTransmitterGEV &aTransmitter) { return aTransmitter.GetImpl().unavailable; }

} // namespace transmitter
} // namespace tarn
