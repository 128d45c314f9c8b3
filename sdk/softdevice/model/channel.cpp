#include "softdevice/model/channel.h"

#include "softdevice/model/guard.h"
#include "gev/gvsp.h"
#include "ZuBuffer.h"
#include "ZuImage.h"
#include "tarn/BufferFill.h"

#include <chrono>
#include <map>

namespace tarn {
namespace softdevice {

// What one acquisition thread works with. When the thread stops itself (a
// source's up-call stopped or deleted the device), the channel may be gone
// by the time the up-call returns: the thread then sees it abandoned and
// leaves, touching nothing more.
struct Channel::Acquisition {
    std::shared_ptr<ChannelCounters> counters;
    BlockSender *sender = nullptr;
    std::function<void(ZuBuffer &)> stamp;
    std::function<std::chrono::nanoseconds()> period;
};

namespace {
// A source whose RetrieveBuffer took longer than this is not asked again at
// a stop for what it holds: it answers in slices of 10 to 50 ms when it
// keeps to its side, and a stop waits for no more slow up-calls than the
// one in progress.
constexpr std::chrono::milliseconds kSlowUpCall{500};
}

void enterDeviceThread(const void *aModel)
{
    if (Worker::Control *c = Worker::Current()) c->SetOwner(aModel);
}

const void *currentDeviceThread()
{
    const Worker::Control *c = Worker::Current();
    return c ? c->Owner() : nullptr;
}

void onStillBusy(void (*aHook)())
{
    if (Worker::Control *c = Worker::Current()) c->SetStillBusy(aHook);
}

void stillBusy()
{
    if (const Worker::Control *c = Worker::Current()) c->StillBusy();
}

Channel::Channel(IZuSWStreamingChannelSource &aSource, uint16_t aIndex, const void *aOwner)
    : mSource(aSource), mIndex(aIndex), mOwner(aOwner)
{
}

Channel::~Channel()
{
    StopStreaming();
}

bool Channel::Owns(const ZuBuffer *aBuffer) const
{
    return aBuffer && mOwned.count(aBuffer) != 0;
}

bool Channel::Allocate(std::string &aError)
{
    mBuffers.clear();
    mOwned.clear();
    // Every answer counts towards the limit, so that a source handing out
    // one buffer again and again cannot keep Start asking for ever.
    for (size_t asked = 0; asked < kMaxBuffers; ++asked) {
        ZuBuffer *buffer = nullptr;
        try {
            buffer = mSource.AllocBuffer();
        } catch (abi::__forced_unwind &) {
            throw;
        } catch (...) {
            FreeAll();
            aError = "stream " + std::to_string(mIndex) + ": the source's AllocBuffer failed";
            throw;
        }
        if (!buffer) break;
        if (!mOwned.insert(buffer).second) {
            // Handing out one buffer twice would have two frames share memory.
            ++mCounters->sourceFailures;
            continue;
        }
        mBuffers.push_back(buffer);
    }
    if (mBuffers.empty()) {
        aError = "stream " + std::to_string(mIndex) + ": the source allocated no buffer";
        return false;
    }
    return true;
}

void Channel::FreeAll()
{
    StopStreaming();
    std::vector<ZuBuffer *> buffers;
    buffers.swap(mBuffers);
    mOwned.clear();
    mWithSource.clear();
    for (ZuBuffer *buffer : buffers) guarded(mCounters->sourceFailures, [&] { mSource.FreeBuffer(buffer); });
}

uint32_t Channel::BuffersToUse()
{
    const uint32_t all = uint32_t(mBuffers.size());
    uint32_t count = all;
    ZuResult result(ZU_NOT_IMPLEMENTED);
    if (!guarded(mCounters->sourceFailures, [&] { result = mSource.GetTxNumBuffersToUse(count); })) return all;
    if (!result.IsOK()) return all;
    // The source's count is valid from 4 up to what it allocated.
    if (count > all) count = all;
    if (count < kMinBuffersToUse) count = std::min(all, kMinBuffersToUse);
    return count;
}

void Channel::StartStreaming(BlockSender &aSender, std::function<void(ZuBuffer &)> aStamp,
                             std::function<std::chrono::nanoseconds()> aPeriod)
{
    StopStreaming();
    mInUse = BuffersToUse();
    guarded(mCounters->sourceFailures, [&] { mSource.OnStreamingStart(); });
    aSender.StreamStarted();
    auto acquisition = std::make_shared<Acquisition>();
    acquisition->counters = mCounters;
    acquisition->sender = &aSender;
    acquisition->stamp = std::move(aStamp);
    acquisition->period = std::move(aPeriod);
    mAcquisition = acquisition;
    const void *owner = mOwner;
    mThread.Start([this, acquisition, owner](Worker::Control &c) {
        enterDeviceThread(owner);
        Run(*acquisition, c);
    });
}

void Channel::StopStreaming()
{
    // Taken before the worker is let go: once it is, another thread may
    // destroy this channel while a self-stop below is still running.
    IZuSWStreamingChannelSource &source = mSource;
    std::shared_ptr<Acquisition> acquisition;
    acquisition.swap(mAcquisition);
    if (!acquisition) return;
    if (mThread.OnThread()) {
        // Stopped from inside one of this thread's own up-calls: it is
        // abandoned, leaves as soon as the up-call returns and touches
        // nothing of the channel on its way out; neither does this.
        mThread.Stop();
        std::atomic<uint64_t> failures{0};
        guarded(failures, [&] { source.AbortQueuedBuffers(); });
        guarded(failures, [&] { source.OnStreamingStop(); });
        acquisition->sender->StreamStopped();
        return;
    }
    // The stop waits for the source's up-call in progress and for what it
    // hands back; a controller's write that stops the stream hears
    // meanwhile that it goes on.
    mThread.RequestStop();
    while (mThread.Running()) {
        stillBusy();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    mThread.Stop();
    acquisition->sender->StreamStopped();
    guarded(mCounters->sourceFailures, [&] { mSource.OnStreamingStop(); });
}

void Channel::SetGeometry(const ImageGeometry &aGeometry)
{
    std::lock_guard<std::mutex> lock(mGeometryLock);
    mGeometry = aGeometry;
    ++mGeometryVersion;
}

void Channel::Describe(ZuBuffer &aBuffer)
{
    if (aBuffer.GetPayloadType() != ZuPayloadTypeImage) return;
    ImageGeometry g;
    {
        std::lock_guard<std::mutex> lock(mGeometryLock);
        g = mGeometry;
    }
    ZuImage &image = *aBuffer.GetImage();
    // A buffer too small for it is left as its source made it.
    if (!RedescribeImage(image, g.width, g.height, g.pixelType).IsOK()) return;
    image.SetOffsetX(g.offsetX);
    image.SetOffsetY(g.offsetY);
}

// The block waits for its time, in slices short enough for a stop to be heard.
bool Channel::AwaitTurn(const Acquisition &w, const Worker::Control &aControl, std::chrono::steady_clock::time_point &aNext)
{
    const auto period = w.period ? w.period() : std::chrono::nanoseconds(0);
    if (!period.count()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (aNext < now - period) aNext = now;
    while (!aControl.Stopping() && std::chrono::steady_clock::now() < aNext)
        std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(aNext - std::chrono::steady_clock::now(), std::chrono::milliseconds(10)));
    aNext += period;
    return !aControl.Stopping();
}

void Channel::Run(const Acquisition &w, const Worker::Control &aControl)
{
    ChannelCounters &counters = *w.counters;
    std::deque<ZuBuffer *> free;
    for (size_t k = 0; k < mInUse; ++k)
        if (!mWithSource.count(mBuffers[k])) free.push_back(mBuffers[k]);
    std::set<ZuBuffer *> queued;
    // Sent buffers stay with the sender for resends while enough others are
    // queued.
    const size_t keep = std::max<size_t>(1, mInUse / 4);
    // A buffer the source handed over is held from then on (its memory is
    // stamped, sent and resent from) until it is free again.
    const auto requeue = [&free](ZuBuffer *aBuffer) {
        tarn::ReleaseMemory(aBuffer);
        free.push_back(aBuffer);
    };
    uint64_t blockId = mBlockId;
    auto idle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    auto next = std::chrono::steady_clock::now();
    // The geometry each buffer was last described with.
    std::map<const ZuBuffer *, uint64_t> described;
    // Whether the source's last retrieval answered in good time.
    bool quick = true;
    for (ZuBuffer *b : mBuffers) described[b] = 0;

    while (!aControl.Stopping()) {
        while (!free.empty() && !aControl.Stopping()) {
            bool proceed = true;
            if (!guarded(counters.sourceFailures, [&] { proceed = mSource.PreQueueBufferProc(); })) break;
            if (aControl.Abandoned()) return;
            if (!proceed) break;
            ZuBuffer *buffer = free.front();
            const uint64_t version = mGeometryVersion;
            if (version && described[buffer] != version) {
                Describe(*buffer);
                described[buffer] = version;
            }
            ZuResult result(ZU_GENERIC_ERROR);
            guarded(counters.sourceFailures, [&] { result = mSource.QueueBuffer(buffer); });
            if (aControl.Abandoned()) return;
            if (!result.IsOK()) {
                ++counters.refusedQueues;
                break;
            }
            free.pop_front();
            queued.insert(buffer);
        }
        if (aControl.Stopping()) break;

        ZuBuffer *out = nullptr;
        ZuResult result(ZU_GENERIC_ERROR);
        const auto asked = std::chrono::steady_clock::now();
        const bool ok = guarded(counters.sourceFailures, [&] { result = mSource.RetrieveBuffer(&out); });
        quick = std::chrono::steady_clock::now() - asked <= kSlowUpCall;
        if (aControl.Abandoned()) return;
        guarded(counters.sourceFailures, [&] { mSource.PostRetrieveBufferProc(); });
        if (aControl.Abandoned()) return;
        if (!ok) {
            ++counters.blocksDropped;
            idle();
            continue;
        }
        if (!result.IsOK() || !out) {
            idle();
            continue;
        }
        auto it = queued.find(out);
        if (it == queued.end()) {
            // Kept by the source at the last stop: back, and not sent (its
            // frame is from before the stop).
            if (mWithSource.erase(out)) {
                free.push_back(out);
                continue;
            }
            // Not one this channel queued: never sent, never stored.
            ++counters.foreignBuffers;
            continue;
        }
        queued.erase(it);
        tarn::HoldMemory(*out);
        if (!AwaitTurn(w, aControl, next)) {
            requeue(out);
            break;
        }
        // The buffer says what a receiver sees: the block's id on the wire.
        blockId = gvsp::nextBlockId(blockId, mConfig.extendedIds);
        out->SetBlockID(blockId);
        if (w.stamp) w.stamp(*out);
        if (w.sender->Send(*out, blockId)) {
            ++counters.blocksSent;
            mBlockId = blockId;
            if (!w.sender->Held()) requeue(out);  // the sender is done with it
        } else {
            ++counters.blocksDropped;
            requeue(out);
        }
        // With no other buffer free or queued, the oldest held one goes now.
        const size_t held = w.sender->Held();
        w.sender->Release(free.empty() && queued.empty() && held ? std::min(keep, held - 1) : keep, requeue);
    }
    if (aControl.Abandoned()) return;

    // Stream stop: the source gives back what it still holds, each buffer
    // at once once its acquisition is aborted, whatever result it comes
    // with. A stop waits for the up-call in progress, not for more slow
    // ones: a source that hands nothing back when asked, or whose last
    // retrieval was slow, keeps the rest, and those buffers are not queued
    // again until it gives them back.
    guarded(counters.sourceFailures, [&] { mSource.AbortQueuedBuffers(); });
    for (size_t attempts = queued.size(); !queued.empty() && attempts && quick; --attempts) {
        ZuBuffer *out = nullptr;
        const auto asked = std::chrono::steady_clock::now();
        if (!guarded(counters.sourceFailures, [&] { mSource.RetrieveBuffer(&out); })) break;
        if (aControl.Abandoned()) return;
        quick = std::chrono::steady_clock::now() - asked <= kSlowUpCall;
        if (!out) break;
        if (!queued.erase(out)) mWithSource.erase(out);
    }
    mWithSource.insert(queued.begin(), queued.end());
    w.sender->Release(0, [](ZuBuffer *aBuffer) { tarn::ReleaseMemory(aBuffer); });
}

} // namespace softdevice
} // namespace tarn
