#include "ZuStream.h"
#include "ZuStreamU3V.h"
#include "ZuDeviceInfo.h"
#include "ZuStreamGEV.h"
#include "StreamImpl.h"
#include "tarn/BufferFill.h"
#include "tarn/Interrupts.h"
#include "tarn/Stream.h"
#include "tarn/Uses.h"

#include <algorithm>
#include <chrono>
#include <sys/mman.h>
#include <unistd.h>

// ---- The queue ---------------------------------------------------------------

ZuStream::Impl::Impl() = default;

namespace {

// A buffer's pages come from the system at their first write; at a
// receiver's pace that first fill takes a fault a page and falls behind
// the socket, losing packets of the first frames. Queuing makes them
// resident once, on the caller's thread, before any packet waits.
void MakeResident(ZuBuffer &aBuffer)
{
    tarn::BufferFill &fill = tarn::FillOf(aBuffer);
    uint8_t *data = static_cast<uint8_t *>(aBuffer.GetDataPointer());
    const size_t size = data ? aBuffer.GetSize() : 0;
    if (data == fill.resident && size == fill.residentSize) return;
    fill.resident = data;
    fill.residentSize = size;
    const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
    const uintptr_t from = (uintptr_t(data) + page - 1) & ~(page - 1), to = (uintptr_t(data) + size) & ~(page - 1);
    // Only whole pages of the buffer's own; a kernel without it (before
    // 5.14) leaves them to fault as before.
#ifdef MADV_POPULATE_WRITE
    if (to > from) ::madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE);
#endif
}

} // namespace

ZuResult ZuStream::Impl::Queue(ZuBuffer *aBuffer)
{
    if (!aBuffer) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no buffer"));
    // Held before its memory is looked at, until it is handed back: the
    // memory the receiver fills is the memory the buffer keeps.
    tarn::HoldMemory(*aBuffer);
    MakeResident(*aBuffer);
    ZuResult refused;
    {
        std::lock_guard<std::mutex> guard(lock);
        bool queued = false;
        for (size_t k = 0; k < count && !queued; ++k) queued = At(k).buffer == aBuffer;
        if (!open) {
            refused = ZuResult(ZU_NOT_CONNECTED, ZuString("the stream is not open"));
        } else if (queued) {
            refused = ZuResult(ZU_INVALID_PARAMETER, ZuString("the buffer is queued already"));
        } else if (count >= capacity) {
            refused = ZuResult(ZU_NO_MORE_ENTRY, ZuString("the queue is full"));
        } else {
            Entry &e = At(count);
            e.buffer = aBuffer;
            e.state = State::Queued;
            e.result = ZuResult(ZU_PENDING);
            ++count;
            return ZuResult(ZU_PENDING);
        }
    }
    tarn::ReleaseMemory(aBuffer);
    return refused;
}

ZuResult ZuStream::Impl::Retrieve(ZuBuffer **aBuffer, ZuResult *aOperationResult, uint32_t aTimeout)
{
    if (aBuffer) *aBuffer = nullptr;
    if (!aBuffer || !aOperationResult) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no place for the buffer"));
    std::unique_lock<std::mutex> guard(lock);
    if (count == 0) return ZuResult(ZU_NO_MORE_ITEM, ZuString("no buffer is queued"));
    if (retrieving) return ZuResult(ZU_BUSY, ZuString("another thread is retrieving"));
    auto ready = [this] { return count == 0 || At(0).state == State::Done; };
    if (!ready()) {
        retrieving = true;
        const auto waited = tarn::Interrupts::WaitFor(changed, guard, aTimeout, ready);
        retrieving = false;
        if (waited == tarn::Interrupts::Wait::Interrupted) return tarn::Interrupts::Result();
        if (!ready()) return ZuResult(ZU_TIMEOUT);
        if (count == 0) return ZuResult(ZU_NO_MORE_ITEM, ZuString("no buffer is queued"));
    }
    Entry &e = At(0);
    *aBuffer = e.buffer;
    *aOperationResult = e.result;
    tarn::ReleaseMemory(e.buffer);
    e = Entry();
    head = (head + 1) % ring.size();
    --count;
    if (taken) --taken;
    return ZuResult();
}

void ZuStream::Impl::EndQueued(const ZuResult &aResult)
{
    for (size_t k = taken; k < count; ++k) {
        At(k).state = State::Done;
        At(k).result = aResult;
    }
    taken = count;
}

ZuResult ZuStream::Impl::AbortAll()
{
    std::unique_lock<std::mutex> guard(lock);
    if (!open) return ZuResult(ZU_NOT_CONNECTED, ZuString("the stream is not open"));
    EndQueued(ZuResult(ZU_ABORTED));
    changed.notify_all();
    if (Filling()) {
        guard.unlock();
        if (receiver) receiver->AbortFilling();
        guard.lock();
        changed.wait(guard, [this] { return !Filling(); });
    }
    return ZuResult();
}

uint32_t ZuStream::Impl::Count() const
{
    std::lock_guard<std::mutex> guard(lock);
    return uint32_t(count);
}

void ZuStream::Impl::Opened(uint32_t aCapacity, uint16_t aChannel)
{
    std::lock_guard<std::mutex> guard(lock);
    size_t size = std::max<size_t>({size_t(aCapacity), count, 1});
    std::vector<Entry> fresh(size);
    for (size_t k = 0; k < count; ++k) fresh[k] = At(k);
    ring.swap(fresh);
    head = 0;
    capacity = aCapacity;
    channel = aChannel;
    open = true;
}

void ZuStream::Impl::Closed()
{
    std::lock_guard<std::mutex> guard(lock);
    EndQueued(ZuResult(ZU_ABORTED));
    open = false;
    changed.notify_all();
}

bool ZuStream::Impl::IsOpen() const
{
    std::lock_guard<std::mutex> guard(lock);
    return open;
}

ZuBuffer *ZuStream::Impl::Take()
{
    std::lock_guard<std::mutex> guard(lock);
    if (taken >= count) return nullptr;
    Entry &e = At(taken++);
    e.state = State::Filling;
    return e.buffer;
}

void ZuStream::Impl::Done(ZuBuffer *aBuffer, const ZuResult &aResult)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        for (size_t k = 0; k < taken; ++k) {
            Entry &e = At(k);
            if (e.buffer == aBuffer && e.state == State::Filling) {
                e.state = State::Done;
                e.result = aResult;
                break;
            }
        }
    }
    // After the lock: a retrieving thread on the receiver's core, woken
    // while it is held, would run only to sleep on it at once.
    changed.notify_all();
}

bool ZuStream::Impl::Filling() const
{
    for (size_t k = 0; k < taken; ++k)
        if (ring[(head + k) % ring.size()].state == State::Filling) return true;
    return false;
}

// ---- ZuStream -------------------------------------------------------------------

ZuStream::ZuStream() : mImpl(new Impl()) {}

ZuStream::~ZuStream()
{
    // Nothing fills them any more (the kind stopped its receiver): the
    // buffers still queued are their owners' to change again.
    {
        std::lock_guard<std::mutex> guard(mImpl->lock);
        for (const Impl::Entry &e : mImpl->ring)
            if (e.buffer) tarn::ReleaseMemory(e.buffer);
    }
    // A pipeline still over the stream lets go of it first.
    mImpl->users->ForEach([](tarn::StreamUser *aUser) { aUser->StreamGoes(); });
}

namespace {

template <class Info>
ZuStream *CreateGEV(const Info &aInfo, ZuResult *aResult)
{
    ZuStreamGEV *stream = new (std::nothrow) ZuStreamGEV();
    // A stream of the factory belongs to a device: one that does not answer
    // is not there to stream.
    if (stream) stream->GetImpl().deviceMustAnswer = true;
    ZuResult result = stream ? stream->Open(aInfo) : ZuResult(ZU_NOT_ENOUGH_MEMORY);
    if (aResult) *aResult = result;
    if (result.IsOK()) return stream;
    delete stream;
    return nullptr;
}

} // namespace

ZuStream *ZuStream::CreateAndOpen(const ZuDeviceInfo *aDeviceInfo, ZuResult *aResult)
{
    if (!aDeviceInfo) {
        if (aResult) *aResult = ZuResult(ZU_INVALID_PARAMETER, ZuString("no device information"));
        return nullptr;
    }
    if (aDeviceInfo->GetType() == ZuDeviceInfoTypeU3V) {
        std::unique_ptr<ZuStreamU3V> stream(new ZuStreamU3V());
        ZuResult r = stream->Open(aDeviceInfo);
        if (aResult) *aResult = r;
        return r.IsOK() ? stream.release() : nullptr;
    }
    if (aDeviceInfo->GetType() != ZuDeviceInfoTypeGEV) {
        if (aResult) *aResult = ZuResult(ZU_NOT_SUPPORTED, ZuString("only GigE Vision devices stream here"));
        return nullptr;
    }
    return CreateGEV(aDeviceInfo, aResult);
}

ZuStream *ZuStream::CreateAndOpen(const ZuString &aText, ZuResult *aResult) { return CreateGEV(aText, aResult); }

void ZuStream::Free(ZuStream *aStream) { delete aStream; }

void tarn::EndWaits(ZuStream *aStream)
{
    if (aStream && aStream->IsOpen()) aStream->Close();
}

ZuResult ZuStream::Close()
{
    std::lock_guard<std::mutex> turn(mImpl->opening);
    if (!mImpl->IsOpen()) return ZuResult(ZU_NOT_CONNECTED, ZuString("the stream is not open"));
    if (mImpl->receiver) mImpl->receiver->Stop();
    mImpl->Closed();
    return ZuResult();
}

ZuResult ZuStream::QueueBuffer(ZuBuffer *aBuffer) { return mImpl->Queue(aBuffer); }

ZuResult ZuStream::RetrieveBuffer(ZuBuffer **aBuffer, ZuResult *aOperationResult, uint32_t aTimeout)
{
    return mImpl->Retrieve(aBuffer, aOperationResult, aTimeout);
}

ZuResult ZuStream::AbortQueuedBuffers() { return mImpl->AbortAll(); }

uint32_t ZuStream::GetQueuedBufferCount() const { return mImpl->Count(); }

uint32_t ZuStream::GetQueuedBufferMaximum() const
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return mImpl->capacity;
}

uint16_t ZuStream::GetChannel()
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return mImpl->channel;
}

bool ZuStream::IsOpen() const { return mImpl->IsOpen(); }

ZuGenParameterArray *ZuStream::GetParameters() { return mImpl->parameters.Array(); }

ZuResult ZuStream::RegisterEventSink(ZuStreamEventSink *aEventSink)
{
    return mImpl->sinks.Add(aEventSink);
}

ZuResult ZuStream::UnregisterEventSink(ZuStreamEventSink *aEventSink)
{
    return mImpl->sinks.Remove(aEventSink);
}

// ---- Seams for the other SDK libraries ----------------------------------

namespace tarn {

void CountPipelineDrops(ZuStream &aStream, uint32_t aCount)
{
    aStream.GetImpl().parameters.Add(StreamParameters::PipelineImagesDropped, aCount);
}

void ResetStreamStatistics(ZuStream &aStream) { aStream.GetImpl().parameters.ResetStatistics(); }

std::shared_ptr<StreamUsers> UsersOf(ZuStream &aStream) { return aStream.GetImpl().users; }

} // namespace tarn
