#ifndef IZU_SW_STREAMING_CHANNEL_SOURCE_H
#define IZU_SW_STREAMING_CHANNEL_SOURCE_H

#include "IZuStreamingChannelSource.h"

class ZuBuffer;

/// A stream channel source that also feeds the software device with buffers.
///
/// The device calls AllocBuffer until it returns null (at most 64 buffers
/// per channel) when it starts; while streaming, it hands empty buffers to
/// QueueBuffer and takes filled ones from RetrieveBuffer on its acquisition
/// thread; AbortQueuedBuffers ends streaming; when the device stops it
/// calls FreeBuffer once for each allocated buffer.
class ZU_API IZuSWStreamingChannelSource : public IZuStreamingChannelSource
{
public:
    virtual ~IZuSWStreamingChannelSource() {}

    /// Returns a new buffer for the channel, or null when there are no more.
    virtual ZuBuffer *AllocBuffer() = 0;
    /// Frees a buffer that AllocBuffer returned.
    /// @param aBuffer The buffer.
    virtual void FreeBuffer(ZuBuffer *aBuffer) = 0;
    /// Returns the number of buffers to use, from 4 up to the number allocated; ZU_NOT_IMPLEMENTED uses them all.
    /// @param aNumBuffer Number of buffers.
    virtual ZuResult GetTxNumBuffersToUse(uint32_t &aNumBuffer) = 0;
    /// Hands an empty buffer to the source; ZU_OK accepts it.
    /// @param aBuffer The buffer.
    virtual ZuResult QueueBuffer(ZuBuffer *aBuffer) = 0;
    /// Hook before each queue or retrieval; false skips it.
    virtual bool PreQueueBufferProc() { return true; }
    /// Hook after each retrieval.
    virtual void PostRetrieveBufferProc() {}
    /// Takes a filled buffer from the source, waiting briefly (10 to 50 ms) when none is ready.
    /// @param aBuffer Receives the buffer.
    virtual ZuResult RetrieveBuffer(ZuBuffer **aBuffer) = 0;
    /// Aborts every queued buffer; RetrieveBuffer returns them afterwards.
    virtual void AbortQueuedBuffers() = 0;
};

#endif
