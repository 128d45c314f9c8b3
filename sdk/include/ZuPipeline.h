#ifndef ZU_PIPELINE_H
#define ZU_PIPELINE_H

#include "ZuBaseApi.h"
#include "ZuResult.h"

#ifndef SWIG
#include <memory>
#endif

class ZuBuffer;
class ZuPipeline;
class ZuStream;
#ifndef SWIG
namespace tarn { ZU_API void EndWaits(ZuPipeline *aPipeline); }
#endif

/// Callbacks of a ZuPipeline. Every operation has a default body that does
/// nothing; an application derives from the class and overrides what it
/// needs. OnStart, OnStop and OnReset are called on the thread that called
/// Start, Stop or Reset; OnBufferTooSmall and OnBufferReady on the
/// pipeline's buffer-handling thread; OnBufferCreated and OnBufferDeleted
/// on whichever thread creates or deletes the pipeline's buffers. A sink
/// must be unregistered from every pipeline before it is destroyed.
class ZU_API ZuPipelineEventSink
{
public:
    ZuPipelineEventSink();
    virtual ~ZuPipelineEventSink();

    /// A buffer was created, before its payload is allocated.
    virtual void OnBufferCreated(ZuPipeline *aPipeline, ZuBuffer *aBuffer);

    /// A buffer is about to be deleted.
    virtual void OnBufferDeleted(ZuPipeline *aPipeline, ZuBuffer *aBuffer);

    /// The pipeline is about to start.
    virtual void OnStart(ZuPipeline *aPipeline);

    /// The pipeline stopped.
    virtual void OnStop(ZuPipeline *aPipeline);

    /// The pipeline was reset.
    virtual void OnReset(ZuPipeline *aPipeline);

    /// A buffer came back from the stream too small for its block. Setting
    /// *aReallocAll to true makes the pipeline re-allocate all buffers at
    /// once after the notification, and *aResetStats then also resets the
    /// stream statistics; otherwise only the failing buffer is re-allocated
    /// before it is queued again.
    virtual void OnBufferTooSmall(ZuPipeline *aPipeline, bool *aReallocAll, bool *aResetStats);

    /// A buffer came from the stream and is ready for retrieval.
    virtual void OnBufferReady(ZuPipeline *aPipeline);
};

/// Keeps a stream fed with buffers from a pool of its own, on a thread of
/// its own, and hands filled buffers to the application through an output
/// queue: Start, then RetrieveNextBuffer and ReleaseBuffer in a loop, then
/// Stop. The stream must stay open and alive for the whole life of the
/// pipeline; buffers handed out must not be used once it is deleted.
/// Start, Stop, SetBufferCount and Reset take turns: while one of them is in
/// progress on another thread (its sinks' calls included), each answers
/// ZU_BUSY at once instead of waiting; a sink may call them from its own call.
class ZU_API ZuPipeline
{
public:
    /// Makes a pipeline over a stream (not owned).
    /// @param aStream An open stream.
    ZuPipeline(ZuStream *aStream);

    /// Stops the pipeline and deletes its buffers.
    virtual ~ZuPipeline();

    /// The size in bytes buffers are allocated with.
    uint32_t GetBufferSize() const;

    /// The number of buffers of the pool.
    uint32_t GetBufferCount() const;

    /// Filled buffers waiting to be retrieved.
    uint32_t GetOutputQueueSize() const;

    /// Whether too-small buffers are re-allocated and queued again instead of
    /// being handed out.
    bool GetHandleBufferTooSmall() const;

    /// Tests whether the pipeline is started.
    bool IsStarted();

    /// Sets the size buffers start with; the pipeline then adjusts it from
    /// the incoming data: a buffer is re-allocated when it is queued and is
    /// smaller than the data needs, or more than four times larger. A buffer
    /// too small for its block grows to what that block needed, the others
    /// once a block of that size came whole (or as they fail in turn); what
    /// a block announces grows a buffer to at most 256 MiB or this size,
    /// whichever is larger, so that a stray packet cannot cost more: set
    /// the size of the largest blocks for a device whose blocks are larger.
    /// @param aSize Bytes.
    void SetBufferSize(uint32_t aSize);

    /// Adds or removes buffers until the pool holds aBufferCount; the
    /// pipeline pauses meanwhile. At least 4 buffers should be available to
    /// the pipeline at all times.
    /// @return ZU_OK; ZU_NOT_ENOUGH_MEMORY; ZU_INVALID_PARAMETER (0 buffers);
    ///   ZU_BUSY (another thread's turn, see the class).
    ZuResult SetBufferCount(uint32_t aBufferCount);

    /// With true (the default) a buffer that comes back BUFFER_TOO_SMALL is
    /// re-allocated and queued again, after OnBufferTooSmall, and never
    /// reaches the output queue; with false it is handed out like any other.
    void SetHandleBufferTooSmall(bool aValue);

    /// Takes the oldest filled buffer out of the output queue; it must be
    /// given back with ReleaseBuffer, whatever its operation result.
    ///
    /// From Python: result, buffer, operation = pipeline.RetrieveNextBuffer(timeout),
    /// a tuple of the ZuResult, the buffer (None unless the result is OK) and
    /// the buffer's operation ZuResult; aBuffer and aOperationResult are not
    /// passed. The buffer's views show memory that later frames reuse: copy
    /// what is kept before ReleaseBuffer.
    /// @param aBuffer Set to the buffer, null when none was taken.
    /// @param aTimeout Milliseconds to wait; 0xFFFFFFFF waits without limit.
    /// @param aOperationResult Set to the acquisition result of the buffer
    ///   (its GetOperationResult), which may be an error such as
    ///   ZU_BUFFER_TOO_SMALL even when the call returns ZU_OK.
    /// @return ZU_OK; ZU_TIMEOUT; ZU_INVALID_PARAMETER (no place for the
    ///   buffer); ZU_NOT_CONNECTED (no open stream); ZU_NO_MORE_ITEM (the
    ///   pipeline is not started and holds no filled buffer).
    ZuResult RetrieveNextBuffer(ZuBuffer **aBuffer, uint32_t aTimeout = 0xFFFFFFFF, ZuResult *aOperationResult = 0);

    /// Gives back a buffer from RetrieveNextBuffer; it is queued again.
    /// @return ZU_OK; ZU_NOT_ENOUGH_MEMORY (the buffer had to grow and memory
    ///   ran out); ZU_INVALID_PARAMETER (not a buffer this pipeline handed out).
    ZuResult ReleaseBuffer(ZuBuffer *aBuffer);

    /// Starts the buffer-handling thread, after OnStart.
    /// @return ZU_OK; ZU_NOT_CONNECTED (no open stream); ZU_THREAD_ERROR;
    ///   ZU_BUSY (another thread's turn, see the class).
    ZuResult Start();

    /// Stops the buffer-handling thread; the buffers in the stream come back
    /// to the pool; OnStop follows. Called from a sink on the pipeline's own
    /// thread, it stops the pipeline without waiting for that thread, which
    /// ends when the sink returns.
    /// @return ZU_OK; ZU_GENERIC_ERROR (the thread could not be stopped);
    ///   ZU_BUSY (another thread's turn, see the class).
    ZuResult Stop();

    /// Aborts the stream, waits until all buffers have left it and queues a
    /// fresh set; OnReset follows.
    /// @return ZU_OK; ZU_STATE_ERROR when a reset is pending already or the
    ///   pipeline is not running; ZU_BUSY (another thread's turn, see the
    ///   class); ZU_ABORTED (the wait was interrupted: the reset goes on,
    ///   without OnReset).
    ZuResult Reset();

    /// Registers an event sink (not owned).
    /// @return ZU_OK; ZU_INVALID_PARAMETER (no sink); ZU_GENERIC_ERROR
    ///   (registered already).
    ZuResult RegisterEventSink(ZuPipelineEventSink *aEventSink);

    /// Unregisters an event sink; waits while the pipeline's thread is in a
    /// call of that sink (unless called from that very call).
    /// @return ZU_OK; ZU_INVALID_PARAMETER (no sink); ZU_NOT_FOUND.
    ZuResult UnregisterEventSink(ZuPipelineEventSink *aEventSink);

    /// The priority of the buffer-handling thread.
    uint32_t GetBufferHandlingThreadPriority() const;

    /// Sets the priority of the buffer-handling thread: on Linux 0..99 with
    /// 99 highest, the SCHED_FIFO priorities (0: the normal scheduler); a
    /// process without root privilege runs all threads under SCHED_OTHER at
    /// priority 0. Changing priorities may affect the stability of the system.
    /// @return ZU_OK; ZU_INVALID_PARAMETER (above 99); ZU_THREAD_ERROR.
    ZuResult SetBufferHandlingThreadPriority(uint32_t aPriority);

#ifndef SWIG
    struct Impl;

private:
    friend void tarn::EndWaits(ZuPipeline *aPipeline);
    ZuPipeline(const ZuPipeline &) = delete;
    ZuPipeline &operator=(const ZuPipeline &) = delete;
    ZuResult Grow();
    // Shared with the buffer-handling thread, so that a pipeline deleted
    // from inside one of its own sink calls leaves the thread a state to
    // finish with.
    std::shared_ptr<Impl> mImpl;
#endif
};

#endif
