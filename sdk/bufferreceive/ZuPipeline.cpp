#include "ZuPipeline.h"
#include "ZuBuffer.h"
#include "ZuStream.h"
#include "tarn/BufferFill.h"
#include "tarn/Holds.h"
#include "tarn/Interrupts.h"
#include "tarn/SinkList.h"
#include "tarn/Stream.h"
#include "tarn/Uses.h"
#include "tarn/Worker.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// ---- The sink's default bodies --------------------------------------------------

ZuPipelineEventSink::ZuPipelineEventSink() {}
ZuPipelineEventSink::~ZuPipelineEventSink() {}
void ZuPipelineEventSink::OnBufferCreated(ZuPipeline *, ZuBuffer *) {}
void ZuPipelineEventSink::OnBufferDeleted(ZuPipeline *, ZuBuffer *) {}
void ZuPipelineEventSink::OnStart(ZuPipeline *) {}
void ZuPipelineEventSink::OnStop(ZuPipeline *) {}
void ZuPipelineEventSink::OnReset(ZuPipeline *) {}
void ZuPipelineEventSink::OnBufferTooSmall(ZuPipeline *, bool *, bool *) {}
void ZuPipelineEventSink::OnBufferReady(ZuPipeline *) {}

// ---- State shared with the buffer-handling thread -------------------------------

namespace {

constexpr uint32_t kDefaultBufferSize = 1 << 20;
constexpr uint32_t kDefaultBufferCount = 16;
// What a block's leader announces alone grows a buffer to at most this (or
// the size set, if larger): a stray or hostile leader costs one buffer of
// this size at most, never a pool of gigabytes.
constexpr uint32_t kAnnouncedSizeLimit = 256u << 20;
// How long the thread waits in the stream before it looks at requests.
constexpr uint32_t kPollMs = 50;

// A stream freed under its pipeline: the pipeline answers so, and never
// reaches the stream again.
ZuResult StreamGone()
{
    return ZuResult(ZU_NOT_CONNECTED, ZuString("the pipeline's stream was freed"));
}

ZuResult NoOpenStream()
{
    return ZuResult(ZU_NOT_CONNECTED, ZuString("no open stream"));
}

ZuResult Busy()
{
    return ZuResult(ZU_BUSY, ZuString("another thread is starting, stopping, resizing or resetting the pipeline"));
}

} // namespace

struct ZuPipeline::Impl final : tarn::StreamUser
{
    // Busy: a thread works on the buffer outside the lock (allocates it,
    // queues it): nothing else moves it meanwhile, and it is not deleted.
    enum class Where : uint8_t { Free, Stream, Output, App, Busy };
    struct Slot {
        std::unique_ptr<ZuBuffer> buffer;
        Where where = Where::Free;
        uint32_t needed = 0;   // what its last block needed and did not get
        bool announced = false;  // ... past what that block's data reached
    };

    ZuPipeline *owner = nullptr;   // null once deleted
    ZuStream *stream = nullptr;    // null once the stream went
    std::shared_ptr<tarn::StreamUsers> streamUsers;
    int streamCalls = 0;           // calls into the stream under way
    bool streamOpen = true;        // as the thread last saw it

    // Start, Stop, SetBufferCount and Reset from the application take
    // turns, so that one thread runs and one pool is drained or grown at a
    // time (the destructor comes after them all: the binding deletes a
    // pipeline once its calls have ended). Another thread's call finds the
    // turn taken and answers BUSY at once rather than wait: the turn spans
    // the sinks' calls, and a sink may wait for that very thread. The
    // thread whose turn it is may take it again (a sink re-entering from
    // OnStart); the pipeline's own thread takes none: a sink there acts in
    // place, while a turn may be waiting for that very thread. Under lock.
    std::thread::id turnHolder;
    int turnDepth = 0;
    mutable std::mutex lock;
    std::condition_variable changed;
    std::vector<Slot> pool;
    std::deque<ZuBuffer *> output;
    uint32_t bufferSize = kDefaultBufferSize;
    uint32_t bufferCount = kDefaultBufferCount;
    uint32_t requiredSize = 0;    // what the last complete block took
    uint32_t priority = 0;
    bool handleTooSmall = true;
    bool started = false;
    bool stopRequested = false;
    bool resetRequested = false;
    bool deleted = false;
    tarn::Worker worker;

    tarn::SinkList<ZuPipelineEventSink> sinks;

    bool OnThread() const { return worker.OnThread(); }
    // A turn of the application's (see turnHolder), for as long as it
    // lasts; false when another thread has it.
    class Turn
    {
    public:
        explicit Turn(Impl &aImpl)
        {
            if (aImpl.OnThread()) return;
            std::lock_guard<std::mutex> guard(aImpl.lock);
            const std::thread::id me = std::this_thread::get_id();
            if (aImpl.turnDepth && aImpl.turnHolder != me) {
                mRefused = true;
                return;
            }
            aImpl.turnHolder = me;
            ++aImpl.turnDepth;
            mImpl = &aImpl;
        }
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;
        ~Turn()
        {
            if (!mImpl) return;
            std::lock_guard<std::mutex> guard(mImpl->lock);
            if (--mImpl->turnDepth == 0) mImpl->turnHolder = std::thread::id();
        }
        explicit operator bool() const { return !mRefused; }

    private:
        Impl *mImpl = nullptr;
        bool mRefused = false;
    };

    // Runs aCall with the stream, as a call under way that the stream's
    // release waits for; false, without a call, once the stream went.
    template <class Call>
    bool WithStream(Call aCall)
    {
        ZuStream *s = nullptr;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!stream) return false;
            s = stream;
            ++streamCalls;
        }
        struct Done {
            Impl &d;
            ~Done()
            {
                std::lock_guard<std::mutex> guard(d.lock);
                if (--d.streamCalls == 0) d.changed.notify_all();
            }
        } done{*this};
        aCall(*s);
        return true;
    }

    // The stream is being released, on this thread or another: no call
    // reaches it from now on, those under way end first (none is this
    // thread's, since no sink is called from inside one), and the thread
    // leaves at its next look.
    void StreamGoes() override
    {
        std::unique_lock<std::mutex> guard(lock);
        stream = nullptr;
        started = false;
        changed.notify_all();
        changed.wait(guard, [this] { return streamCalls == 0; });
        for (Slot &s : pool)
            if (s.where == Where::Stream) s.where = Where::Free;
        guard.unlock();
        worker.RequestStop();
    }

    // Wakes the waiting application when the stream closed (or opened again).
    void SawStream(bool aOpen)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (streamOpen == aOpen) return;
        streamOpen = aOpen;
        changed.notify_all();
    }

    Slot *Find(ZuBuffer *aBuffer)
    {
        for (Slot &s : pool)
            if (s.buffer.get() == aBuffer) return &s;
        return nullptr;
    }

    // Calls every sink with no lock held, until the pipeline is deleted. On
    // the calling thread a Python error surfaces to the caller (aRethrow);
    // on the pipeline's thread it has been printed and is dropped, so that
    // the thread lives on.
    template <class Call>
    void Notify(Call aCall, bool aRethrow)
    {
        sinks.ForEach(
            [&](ZuPipelineEventSink *sink) {
                try {
                    aCall(sink);
                } catch (...) {
                    if (aRethrow) throw;
                }
            },
            [this] {
                std::lock_guard<std::mutex> guard(lock);
                return deleted;
            });
    }

    // The size a buffer should have when it is queued: what the data
    // needs, learned from the blocks that came whole, else the size set;
    // a buffer whose own block did not fit grows to what that block needed.
    uint32_t Wanted() const { return requiredSize ? requiredSize : bufferSize; }

    // What a block that did not fit may grow its buffer to: what it
    // needed, unless that is past any size the data has shown or was set.
    uint32_t Needed(const ZuBuffer &aBuffer) const
    {
        uint32_t needed = aBuffer.GetRequiredSize();
        return needed <= std::max(bufferSize, kAnnouncedSizeLimit) ? needed : 0;
    }

    ZuResult Fit(ZuBuffer &aBuffer, uint32_t aNeeded) const
    {
        uint32_t wanted = std::max(Wanted(), aNeeded);
        uint32_t size = aBuffer.GetSize();
        if (aBuffer.GetDataPointer() && size >= wanted && (!requiredSize || size / 4 <= wanted)) return ZuResult();
        return aBuffer.Alloc(wanted ? wanted : 1);
    }

    // Queues a buffer this thread marked busy into the stream; it is then
    // the stream's, else free again. A buffer the stream filled and handed
    // back meanwhile is where that took it. The allocation's result.
    ZuResult Queue(ZuBuffer *aBuffer, uint32_t aNeeded)
    {
        ZuResult fit = Fit(*aBuffer, aNeeded);
        bool queued = false;
        if (fit.IsOK())
            WithStream([&](ZuStream &aStream) { queued = aStream.QueueBuffer(aBuffer).GetCode() == ZU_PENDING; });
        std::lock_guard<std::mutex> guard(lock);
        Slot *s = Find(aBuffer);
        if (s && s->where == Where::Busy) s->where = queued ? Where::Stream : Where::Free;
        if (!queued) changed.notify_all();
        return fit;
    }

    // Queues every free buffer into the stream.
    void Feed()
    {
        std::vector<std::pair<ZuBuffer *, uint32_t>> feed;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!stream) return;
            for (Slot &s : pool)
                if (s.where == Where::Free) {
                    s.where = Where::Busy;
                    feed.emplace_back(s.buffer.get(), s.needed);
                }
        }
        for (auto [b, needed] : feed) Queue(b, needed);
    }

    // Aborts the stream and takes every buffer of the pool back from it. A
    // buffer another thread queues meanwhile stays the stream's: only a
    // buffer taken back (or a stream gone) makes one free, so that no
    // buffer the stream may still fill is ever deleted.
    void Drain()
    {
        const bool present = WithStream([this](ZuStream &aStream) {
            aStream.AbortQueuedBuffers();
            for (;;) {
                ZuBuffer *b = nullptr;
                ZuResult op;
                if (!aStream.RetrieveBuffer(&b, &op, 0).IsOK() || !b) break;
                std::lock_guard<std::mutex> guard(lock);
                if (Slot *s = Find(b)) s->where = Where::Free;
            }
        });
        if (present) return;
        std::lock_guard<std::mutex> guard(lock);
        for (Slot &s : pool)
            if (s.where == Where::Stream) s.where = Where::Free;
    }

    // A filled buffer from the stream: handed out, or queued again.
    void Handle(ZuBuffer *aBuffer, const ZuResult &aOperation)
    {
        std::unique_lock<std::mutex> guard(lock);
        Slot *slot = Find(aBuffer);
        if (!slot) return;
        if (aOperation.GetCode() == ZU_ABORTED || stopRequested || deleted) {
            slot->where = Where::Free;
            return;
        }
        // Handled or not, a buffer too small for its block grows to what the
        // block needed when it is queued again (else a pipeline that hands
        // too-small buffers out would get them back too small for good); the
        // others grow once a block of that size came whole, or as they fail
        // in turn. Past what the block's own data reached, on its leader's
        // word alone, one buffer at a time: what leaders announce thus costs
        // one buffer, bounded, however many come.
        uint32_t needed = aOperation.GetCode() == ZU_BUFFER_TOO_SMALL ? Needed(*aBuffer) : 0;
        const uint32_t shown = std::max(Wanted(), tarn::FillOf(*aBuffer).reachedSize);
        for (const Slot &s : pool)
            if (&s != slot && s.announced && needed > shown) needed = std::min(needed, shown);
        slot->needed = needed;
        slot->announced = needed > shown;
        if (aOperation.GetCode() == ZU_BUFFER_TOO_SMALL && handleTooSmall) {
            const uint32_t needed = slot->needed;
            slot->where = Where::Free;
            guard.unlock();
            bool reallocAll = false, resetStats = false;
            Notify([&](ZuPipelineEventSink *s) { s->OnBufferTooSmall(owner, &reallocAll, &resetStats); }, false);
            guard.lock();
            if (deleted || stopRequested || !stream) return;
            guard.unlock();
            if (reallocAll) {
                Drain();
                if (resetStats) WithStream([](ZuStream &aStream) { tarn::ResetStreamStatistics(aStream); });
                std::lock_guard<std::mutex> again(lock);
                for (Slot &s : pool)
                    if (s.where == Where::Free) {
                        s.needed = std::max(s.needed, needed);
                        Fit(*s.buffer, s.needed);
                    }
            }
            return;
        }
        if (aOperation.IsOK()) requiredSize = aBuffer->GetAcquiredSize();
        slot->where = Where::Output;
        output.push_back(aBuffer);
        // The application is slower than the stream: the oldest waiting
        // buffer goes back to the stream, so that the stream never runs dry.
        size_t available = 0;
        for (const Slot &s : pool) available += s.where == Where::Free || s.where == Where::Stream;
        uint32_t dropped = 0;
        while (available < std::min<size_t>(2, pool.size()) && output.size() > 1) {
            if (Slot *oldest = Find(output.front())) oldest->where = Where::Free;
            output.pop_front();
            ++available;
            ++dropped;
        }
        changed.notify_all();
        guard.unlock();
        if (dropped) WithStream([dropped](ZuStream &aStream) { tarn::CountPipelineDrops(aStream, dropped); });
        Notify([&](ZuPipelineEventSink *s) { s->OnBufferReady(owner); }, false);
    }

    // The buffer-handling thread. It holds the state, so that a pipeline
    // deleted from a sink call leaves it something to return to.
    static void Run(const std::shared_ptr<Impl> &aSelf, const tarn::Worker::Control &aControl)
    {
        Impl &d = *aSelf;
        for (;;) {
            {
                std::unique_lock<std::mutex> guard(d.lock);
                if (d.stopRequested || d.deleted || aControl.Stopping()) break;
                if (d.resetRequested) {
                    guard.unlock();
                    d.Drain();
                    d.Feed();
                    guard.lock();
                    d.resetRequested = false;
                    d.changed.notify_all();
                }
            }
            d.Feed();
            ZuBuffer *b = nullptr;
            ZuResult op;
            ZuResult r;
            bool open = true;
            if (!d.WithStream([&](ZuStream &aStream) {
                    r = aStream.RetrieveBuffer(&b, &op, kPollMs);
                    open = aStream.IsOpen();
                }))
                break;
            d.SawStream(open);
            if (r.IsOK() && b) {
                d.Handle(b, op);
            } else if (r.GetCode() != ZU_TIMEOUT) {
                // Nothing in the stream (every buffer is out): wait for one back.
                std::unique_lock<std::mutex> guard(d.lock);
                d.changed.wait_for(guard, std::chrono::milliseconds(kPollMs));
            }
        }
        std::lock_guard<std::mutex> guard(d.lock);
        d.changed.notify_all();
    }

    // Starts the thread anew, with the lock not held: a thread stopped from
    // its own sink call may still be finishing, and it takes the lock on its
    // way out.
    ZuResult Launch(const std::shared_ptr<Impl> &aSelf)
    {
        uint32_t scheduling = 0;
        {
            std::lock_guard<std::mutex> guard(lock);
            stopRequested = false;
            resetRequested = false;
            streamOpen = true;
            scheduling = priority;
        }
        ZuResult started = worker.Start([aSelf](tarn::Worker::Control &c) { Run(aSelf, c); },
                                        [this] {
                                            std::lock_guard<std::mutex> guard(lock);
                                            changed.notify_all();
                                        },
                                        scheduling);
        if (!started.IsOK()) return ZuResult(ZU_THREAD_ERROR, ZuString("the buffer-handling thread could not start"));
        return started;
    }

    void DeleteBuffers(ZuPipeline *aOwner)
    {
        std::vector<Slot> gone;
        {
            std::lock_guard<std::mutex> guard(lock);
            gone.swap(pool);
            output.clear();
        }
        for (Slot &s : gone) {
            sinks.ForEach([&](ZuPipelineEventSink *sink) {
                try {
                    sink->OnBufferDeleted(aOwner, s.buffer.get());
                } catch (...) {
                    // Printed by the sink's director; a destructor goes on.
                }
            });
        }
    }
};

// ---- ZuPipeline -----------------------------------------------------------------

ZuPipeline::ZuPipeline(ZuStream *aStream) : mImpl(std::make_shared<Impl>())
{
    mImpl->owner = this;
    mImpl->stream = aStream;
    if (aStream) {
        mImpl->streamUsers = tarn::UsersOf(*aStream);
        mImpl->streamUsers->Add(mImpl.get());
    }
}

ZuPipeline::~ZuPipeline()
{
    Impl &d = *mImpl;
    // From now on the stream's release has nothing to tell; one under way
    // on another thread ends first.
    if (d.streamUsers) d.streamUsers->Remove(&d);
    bool running = false;
    {
        std::lock_guard<std::mutex> guard(d.lock);
        d.deleted = true;
        d.stopRequested = true;
        running = d.stream && d.started;
        d.started = false;
        d.changed.notify_all();
    }
    if (running && !d.OnThread()) d.WithStream([](ZuStream &aStream) { aStream.AbortQueuedBuffers(); });
    // Ended before any buffer goes, started or not: a thread told to stop by
    // the stream's release may still be sizing a buffer it took. Deleted
    // from one of its own sink calls, the thread returns into a state it
    // still holds and ends there.
    d.worker.Stop();
    if (running) d.Drain();
    d.DeleteBuffers(this);
    {
        std::lock_guard<std::mutex> guard(d.lock);
        d.owner = nullptr;
    }
    // One a sink started again from OnBufferDeleted.
    d.worker.Stop();
    // Lent to the bindings by the sinks' calls, the last of which is over.
    tarn::Lent::Goes(this);
}

// The pipeline is about to be freed while other threads may be in its
// calls: a wait for a buffer ends as when it is deleted, and the thread
// stops handing buffers out.
void tarn::EndWaits(ZuPipeline *aPipeline)
{
    if (!aPipeline) return;
    ZuPipeline::Impl &d = *aPipeline->mImpl;
    std::lock_guard<std::mutex> guard(d.lock);
    d.deleted = true;
    d.stopRequested = true;
    d.changed.notify_all();
}

uint32_t ZuPipeline::GetBufferSize() const
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return mImpl->bufferSize;
}

uint32_t ZuPipeline::GetBufferCount() const
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return mImpl->bufferCount;
}

uint32_t ZuPipeline::GetOutputQueueSize() const
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return uint32_t(mImpl->output.size());
}

bool ZuPipeline::GetHandleBufferTooSmall() const
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return mImpl->handleTooSmall;
}

bool ZuPipeline::IsStarted()
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return mImpl->started;
}

void ZuPipeline::SetBufferSize(uint32_t aSize)
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    mImpl->bufferSize = aSize;
    mImpl->requiredSize = 0;
}

void ZuPipeline::SetHandleBufferTooSmall(bool aValue)
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    mImpl->handleTooSmall = aValue;
}

ZuResult ZuPipeline::SetBufferCount(uint32_t aBufferCount)
{
    if (aBufferCount == 0) return ZuResult(ZU_INVALID_PARAMETER, ZuString("a pipeline needs buffers"));
    Impl &d = *mImpl;
    Impl::Turn turn(d);
    if (!turn) return Busy();
    bool running = IsStarted() && !d.OnThread();
    if (running) {
        {
            std::lock_guard<std::mutex> guard(d.lock);
            d.stopRequested = true;
        }
        d.WithStream([](ZuStream &aStream) { aStream.AbortQueuedBuffers(); });
        d.worker.Stop();
        d.Drain();
    }
    ZuResult result;
    std::vector<std::unique_ptr<ZuBuffer>> removed;
    {
        std::lock_guard<std::mutex> guard(d.lock);
        d.bufferCount = aBufferCount;
        // Free buffers go first; those out with the application stay.
        for (size_t k = d.pool.size(); k-- > 0 && d.pool.size() > aBufferCount;) {
            if (d.pool[k].where != Impl::Where::Free) continue;
            removed.push_back(std::move(d.pool[k].buffer));
            d.pool.erase(d.pool.begin() + long(k));
        }
    }
    for (auto &b : removed) {
        ZuBuffer *p = b.get();
        d.Notify([&](ZuPipelineEventSink *s) { s->OnBufferDeleted(this, p); }, false);
    }
    bool started = false;
    {
        std::lock_guard<std::mutex> guard(d.lock);
        started = d.started && !d.deleted;
    }
    if (started) result = Grow();
    // Stopped meanwhile by a sink on the pipeline's thread: it stays so.
    if (running && started) {
        d.Feed();
        ZuResult launched = d.Launch(mImpl);
        if (!launched.IsOK()) {
            std::lock_guard<std::mutex> guard(d.lock);
            d.started = false;
            result = launched;
        }
    }
    return result;
}

ZuResult ZuPipeline::Grow()
{
    Impl &d = *mImpl;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(d.lock);
            if (d.pool.size() >= d.bufferCount) return ZuResult();
        }
        std::unique_ptr<ZuBuffer> b(new (std::nothrow) ZuBuffer());
        if (!b) return ZuResult(ZU_NOT_ENOUGH_MEMORY);
        ZuBuffer *p = b.get();
        {
            std::lock_guard<std::mutex> guard(d.lock);
            Impl::Slot slot;
            slot.buffer = std::move(b);
            slot.where = Impl::Where::Busy;
            d.pool.push_back(std::move(slot));
        }
        d.Notify([&](ZuPipelineEventSink *s) { s->OnBufferCreated(this, p); }, false);
        ZuResult r = d.Fit(*p, 0);
        {
            std::lock_guard<std::mutex> guard(d.lock);
            if (Impl::Slot *s = d.Find(p)) s->where = Impl::Where::Free;
        }
        if (!r.IsOK()) return r;
    }
}

ZuResult ZuPipeline::RetrieveNextBuffer(ZuBuffer **aBuffer, uint32_t aTimeout, ZuResult *aOperationResult)
{
    if (!aBuffer) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no place for the buffer"));
    *aBuffer = nullptr;
    // The state is held for the wait: a pipeline deleted meanwhile ends it.
    std::shared_ptr<Impl> self = mImpl;
    Impl &d = *self;
    bool open = false;
    if (!d.WithStream([&](ZuStream &aStream) { open = aStream.IsOpen(); })) return StreamGone();
    if (!open) return NoOpenStream();
    std::unique_lock<std::mutex> guard(d.lock);
    // A stream closed or freed meanwhile ends the wait too.
    auto ready = [&d] { return !d.output.empty() || !d.started || d.deleted || !d.stream || !d.streamOpen; };
    if (tarn::Interrupts::WaitFor(d.changed, guard, aTimeout, ready) == tarn::Interrupts::Wait::Interrupted)
        return tarn::Interrupts::Result();
    if (!d.stream) return StreamGone();
    if (d.output.empty()) {
        if (!d.streamOpen) return NoOpenStream();
        if (d.deleted || !d.started) return ZuResult(ZU_NO_MORE_ITEM, ZuString("the pipeline is not started"));
        return ZuResult(ZU_TIMEOUT);
    }
    ZuBuffer *b = d.output.front();
    d.output.pop_front();
    if (Impl::Slot *s = d.Find(b)) s->where = Impl::Where::App;
    *aBuffer = b;
    if (aOperationResult) *aOperationResult = b->GetOperationResult();
    return ZuResult();
}

ZuResult ZuPipeline::ReleaseBuffer(ZuBuffer *aBuffer)
{
    Impl &d = *mImpl;
    bool queue = false;
    uint32_t needed = 0;
    {
        std::lock_guard<std::mutex> guard(d.lock);
        Impl::Slot *s = aBuffer ? d.Find(aBuffer) : nullptr;
        if (!s || s->where != Impl::Where::App)
            return ZuResult(ZU_INVALID_PARAMETER, ZuString("not a buffer this pipeline handed out"));
        queue = d.started && !d.stopRequested;
        s->where = queue ? Impl::Where::Busy : Impl::Where::Free;
        needed = s->needed;
    }
    return queue ? d.Queue(aBuffer, needed) : ZuResult();
}

ZuResult ZuPipeline::Start()
{
    Impl &d = *mImpl;
    Impl::Turn turn(d);
    if (!turn) return Busy();
    bool open = false;
    if (!d.WithStream([&](ZuStream &aStream) { open = aStream.IsOpen(); })) return StreamGone();
    if (!open) return NoOpenStream();
    if (IsStarted()) return ZuResult();
    // A thread that stopped itself from a sink may still be finishing.
    if (!d.OnThread()) d.worker.Stop();
    d.Notify([&](ZuPipelineEventSink *s) { s->OnStart(this); }, true);
    ZuResult grown = Grow();
    if (!grown.IsOK()) return grown;
    // Queued before Start returns, so that a block arriving right after it
    // finds a buffer.
    d.Feed();
    ZuResult launched = d.Launch(mImpl);
    std::lock_guard<std::mutex> guard(d.lock);
    if (launched.IsOK()) d.started = true;
    return launched;
}

ZuResult ZuPipeline::Stop()
{
    Impl &d = *mImpl;
    Impl::Turn turn(d);
    if (!turn) return Busy();
    {
        std::lock_guard<std::mutex> guard(d.lock);
        if (!d.started) return ZuResult();
        d.stopRequested = true;
        d.started = false;
        d.changed.notify_all();
    }
    // From a sink call on the pipeline's own thread, nothing waits for that
    // thread: it is not in the stream now, and ends when the call returns.
    if (!d.OnThread()) {
        d.WithStream([](ZuStream &aStream) { aStream.AbortQueuedBuffers(); });
        d.worker.Stop();
    }
    d.Drain();
    d.Notify([&](ZuPipelineEventSink *s) { s->OnStop(this); }, true);
    return ZuResult();
}

ZuResult ZuPipeline::Reset()
{
    Impl &d = *mImpl;
    Impl::Turn turn(d);
    if (!turn) return Busy();
    if (d.OnThread()) {
        {
            std::lock_guard<std::mutex> guard(d.lock);
            if (!d.started || d.resetRequested)
                return ZuResult(ZU_STATE_ERROR, ZuString("the pipeline is not running or a reset is pending"));
        }
        // The thread is here, not in the stream: reset in place.
        d.Drain();
        d.Feed();
    } else {
        std::unique_lock<std::mutex> guard(d.lock);
        if (!d.started || d.resetRequested)
            return ZuResult(ZU_STATE_ERROR, ZuString("the pipeline is not running or a reset is pending"));
        d.resetRequested = true;
        guard.unlock();
        // Wakes the thread from the stream; it drains and feeds afresh.
        d.WithStream([](ZuStream &aStream) { aStream.AbortQueuedBuffers(); });
        guard.lock();
        // Interrupted, the thread still resets; only OnReset is not heard.
        if (tarn::Interrupts::WaitFor(d.changed, guard, tarn::Interrupts::kForever,
                                      [&d] { return !d.resetRequested || !d.started || d.deleted; }) ==
            tarn::Interrupts::Wait::Interrupted)
            return tarn::Interrupts::Result();
    }
    d.Notify([&](ZuPipelineEventSink *s) { s->OnReset(this); }, true);
    return ZuResult();
}

ZuResult ZuPipeline::RegisterEventSink(ZuPipelineEventSink *aEventSink)
{
    return mImpl->sinks.Add(aEventSink);
}

ZuResult ZuPipeline::UnregisterEventSink(ZuPipelineEventSink *aEventSink)
{
    // The caller may destroy the sink next: it returns once no other
    // thread is in it.
    return mImpl->sinks.Remove(aEventSink);
}

uint32_t ZuPipeline::GetBufferHandlingThreadPriority() const
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return mImpl->priority;
}

ZuResult ZuPipeline::SetBufferHandlingThreadPriority(uint32_t aPriority)
{
    if (aPriority > 99) return ZuResult(ZU_INVALID_PARAMETER, ZuString("priorities run from 0 to 99"));
    Impl &d = *mImpl;
    std::lock_guard<std::mutex> guard(d.lock);
    if (d.started) {
        ZuResult applied = d.worker.SetPriority(aPriority);
        if (!applied.IsOK()) return applied;
    }
    d.priority = aPriority;
    return ZuResult();
}
