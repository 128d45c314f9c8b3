#ifndef TARN_SOFTDEVICE_CHANNEL_H
#define TARN_SOFTDEVICE_CHANNEL_H

// One stream channel of a software device and its buffer cycle: the
// buffers its source allocated, and while streaming one acquisition thread
// that queues empty buffers with the source, retrieves filled ones, stamps
// and numbers them and hands them to the sender, which keeps the newest for
// packet resends until they are queued again.

#include "IZuSWStreamingChannelSource.h"
#include "tarn/Worker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

// Where a channel's blocks go: the GVSP sender, or a test's recorder.
class BlockSender
{
public:
    virtual ~BlockSender() {}
    // Sends one block. False when the block could not be sent (nothing to
    // send, no destination).
    virtual bool Send(ZuBuffer &aBuffer, uint64_t aBlockId) = 0;
    // How many sent buffers the sender holds to answer packet resends from:
    // its record of them is the only one. A sender that answers none holds
    // none, and is done with a buffer once Send() returns.
    virtual size_t Held() const { return 0; }
    // The oldest held buffers go, each to aGone, until aKeep are left: they
    // may be queued again.
    virtual void Release(size_t, const std::function<void(ZuBuffer *)> &) {}
    // A channel starts streaming through this sender, or stopped (its
    // acquisition thread has ended, or left on its own).
    virtual void StreamStarted() {}
    virtual void StreamStopped() {}
};

// The stream channel registers the controller writes and the sender reads.
struct StreamConfig {
    std::atomic<uint32_t> destination{0};     // SCDA
    std::atomic<uint32_t> port{0};            // SCP, host port in the low 16 bits
    std::atomic<uint32_t> packetSize{1500};   // SCPS, size in the low 16 bits
    std::atomic<uint32_t> delay{0};           // SCPD
    std::atomic<uint32_t> sourcePort{0};      // SCSP, set by the sender
    std::atomic<uint32_t> configuration{0};   // SCCFG
    std::atomic<bool> extendedIds{false};
    // How the channel streams: kProtocolGvsp, or kProtocolRtp where the
    // device allows it.
    static constexpr uint32_t kProtocolGvsp = 0, kProtocolRtp = 1;
    std::atomic<uint32_t> protocol{kProtocolGvsp};
};

struct ChannelCounters {
    std::atomic<uint64_t> blocksSent{0};
    std::atomic<uint64_t> blocksDropped{0};      // retrieved but not sent
    std::atomic<uint64_t> sourceFailures{0};     // an up-call threw
    std::atomic<uint64_t> foreignBuffers{0};     // retrieved buffers not queued by this channel
    std::atomic<uint64_t> refusedQueues{0};
};

// The image a channel's source streams, as the source tells it.
struct ImageGeometry {
    uint32_t width = 0, height = 0, offsetX = 0, offsetY = 0;
    ZuPixelType pixelType = ZuPixelUndefined;
};

class Channel
{
public:
    static constexpr size_t kMaxBuffers = 64;
    static constexpr uint32_t kMinBuffersToUse = 4;

    // aOwner marks the acquisition thread as the owner's (see guard.h).
    Channel(IZuSWStreamingChannelSource &aSource, uint16_t aIndex, const void *aOwner = nullptr);
    ~Channel();
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;

    IZuSWStreamingChannelSource &Source() { return mSource; }
    uint16_t Index() const { return mIndex; }

    // Asks the source for buffers until it has none (at most 64). A null
    // source answer ends the list; a buffer given twice is refused. False
    // with a reason when an up-call failed (the buffers got so far are
    // freed again).
    bool Allocate(std::string &aError);
    // Gives every allocated buffer back to the source, once each.
    void FreeAll();
    size_t BufferCount() const { return mBuffers.size(); }
    bool Owns(const ZuBuffer *aBuffer) const;

    StreamConfig &Config() { return mConfig; }
    // Whether the source was told the channel opened (OnOpen) and not yet
    // that it closed: marks it and answers what it was, so that each
    // OnOpen gets exactly one OnClose.
    bool MarkOpen(bool aOpen) { return mOpen.exchange(aOpen); }
    bool IsOpen() const { return mOpen; }
    // The payload type the source streams by itself for validation
    // (TestPayloadFormatMode); ZuPayloadTypeNone in normal operation.
    std::atomic<uint32_t> &TestPayload() { return mTestPayload; }

    // Asks the source how many buffers to use, tells it streaming starts
    // and starts the acquisition thread. The stamp function writes the
    // buffer's timestamp (or keeps the buffer's own).
    // aPeriod gives the time between two frames (0: as fast as the source
    // fills them), asked before each frame so that a change applies at once.
    void StartStreaming(BlockSender &aSender, std::function<void(ZuBuffer &)> aStamp,
                        std::function<std::chrono::nanoseconds()> aPeriod = nullptr);
    // Ends the thread (joined unless this is that thread), aborting and
    // draining what the source still holds, then tells the source.
    void StopStreaming();
    bool Streaming() const { return mAcquisition != nullptr; }
    uint32_t BuffersInUse() const { return mInUse; }

    ChannelCounters &Counters() { return *mCounters; }

    // The source accepted a new image geometry: it streams with it. Each
    // image buffer is described so before it is queued again (within the
    // memory it has), so that a source that fills the buffer it is given,
    // as the ready-made one does, sends blocks of the new size.
    void SetGeometry(const ImageGeometry &aGeometry);

private:
    struct Acquisition;
    void Run(const Acquisition &aAcquisition, const Worker::Control &aControl);
    // Waits, at a frame rate, for the next block's time (aNext, moved on);
    // false when the stream stops meanwhile.
    bool AwaitTurn(const Acquisition &aAcquisition, const Worker::Control &aControl,
                   std::chrono::steady_clock::time_point &aNext);
    uint32_t BuffersToUse();
    void Describe(ZuBuffer &aBuffer);

    IZuSWStreamingChannelSource &mSource;
    const uint16_t mIndex;
    const void *mOwner;
    std::vector<ZuBuffer *> mBuffers;
    std::set<const ZuBuffer *> mOwned;
    // Buffers a source kept when its stream stopped; the acquisition
    // thread's alone (one runs at a time).
    std::set<ZuBuffer *> mWithSource;
    std::shared_ptr<Acquisition> mAcquisition;
    Worker mThread;
    std::atomic<uint32_t> mInUse{0};
    std::atomic<uint64_t> mBlockId{0};
    // Shared with the acquisition thread, which may outlive the channel
    // after a stop from its own up-call.
    std::shared_ptr<ChannelCounters> mCounters = std::make_shared<ChannelCounters>();
    StreamConfig mConfig;
    std::atomic<bool> mOpen{false};
    std::atomic<uint32_t> mTestPayload{0};
    std::mutex mGeometryLock;
    ImageGeometry mGeometry;
    std::atomic<uint64_t> mGeometryVersion{0};   // 0: never changed
};

} // namespace softdevice
} // namespace tarn

#endif
