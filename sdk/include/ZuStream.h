#ifndef ZU_STREAM_H
#define ZU_STREAM_H

#include "ZuBaseApi.h"
#include "ZuResult.h"
#include "ZuString.h"
#include "ZuStreamTypes.h"

#ifndef SWIG
#include <memory>
#endif

class ZuBuffer;
class ZuDeviceInfo;
class ZuGenParameterArray;
class ZuStreamEventSink;

/// The receiving end of one streaming channel of a device. The application
/// queues empty buffers, the stream's data receiver fills them with the
/// blocks (images or raw data) the device sends, and the application
/// retrieves them filled, in the order they were queued.
class ZU_API ZuStream
{
public:
    virtual ~ZuStream();

    /// Opens the stream of a device described by its device information.
    /// @param aDeviceInfo Information of a found device.
    /// @return ZU_OK; ZU_INVALID_PARAMETER (no or unusable information);
    ///   ZU_NOT_SUPPORTED (a kind of device without a stream here);
    ///   ZU_NETWORK_ERROR (the socket could not be opened).
    virtual ZuResult Open(const ZuDeviceInfo *aDeviceInfo) = 0;

    /// Opens the stream of a device given by its IP address ("192.168.1.114").
    /// @param aInfo The device's IP address.
    /// @return As Open by device information.
    virtual ZuResult Open(const ZuString &aInfo) = 0;

    /// Tells the kind of the stream.
    /// @return A ZuStreamType value.
    virtual ZuStreamType GetType() const = 0;

    /// Creates the stream kind that fits the device and opens it. A GigE
    /// Vision device is asked first (for at most 0.6 s): the stream opens
    /// only when it answers.
    ///
    /// From Python: result, stream = ZuStream.CreateAndOpen(info), a tuple of
    /// the ZuResult and the stream as its kind (ZuStreamGEV), None unless the
    /// result is OK; aResult is not passed.
    /// @param aDeviceInfo Information of a found device.
    /// @param aResult Filled with ZU_OK; ZU_INVALID_PARAMETER (information not
    ///   correct or default buffer configuration not correct);
    ///   ZU_NOT_ENOUGH_MEMORY; ZU_NOT_CONNECTED (no device answers at the
    ///   address); ZU_GENERIC_ERROR; ZU_BAD_VERSION; ZU_NOT_SUPPORTED.
    /// @return The open stream, to be released with Free; null on failure.
    static ZuStream *CreateAndOpen(const ZuDeviceInfo *aDeviceInfo, ZuResult *aResult);

    /// Creates and opens the stream of a GigE Vision device given by its IP
    /// address (form "192.168.1.114").
    ///
    /// From Python: result, stream = ZuStream.CreateAndOpen("192.168.1.114"),
    /// a tuple of the ZuResult and the stream, None unless the result is OK;
    /// aResult is not passed.
    /// @param aText The device's IP address.
    /// @param aResult Filled as by CreateAndOpen by device information.
    /// @return The open stream, to be released with Free; null on failure.
    static ZuStream *CreateAndOpen(const ZuString &aText, ZuResult *aResult);

    /// Releases a stream made by CreateAndOpen (closing it first).
    /// @param aStream The stream; null does nothing.
    static void Free(ZuStream *aStream);

    /// Closes the stream: the receiver stops and every buffer still queued
    /// comes back through RetrieveBuffer with the operation result ZU_ABORTED.
    /// @return ZU_OK; ZU_NOT_CONNECTED when the stream is not open.
    ZuResult Close();

    /// Queues an empty buffer for the receiver to fill. The buffer belongs to
    /// the stream until RetrieveBuffer returns it.
    /// @param aBuffer The buffer, with memory for a block.
    /// @return ZU_PENDING when the buffer was queued; ZU_INVALID_PARAMETER (no
    ///   buffer, or the buffer is queued already); ZU_NOT_CONNECTED (the
    ///   stream is not open); ZU_NO_MORE_ENTRY (the queue holds
    ///   GetQueuedBufferMaximum buffers already).
    ZuResult QueueBuffer(ZuBuffer *aBuffer);

    /// Waits until the oldest queued buffer is filled, the time-out passes or
    /// the acquisition ends, and takes the buffer out of the queue.
    ///
    /// From Python: result, buffer, operation = stream.RetrieveBuffer(timeout),
    /// a list of the ZuResult, the buffer (None unless the result is OK) and
    /// the operation's ZuResult; aBuffer and aOperationResult are not passed.
    /// @param aBuffer Set to the buffer taken out, null when none was.
    /// @param aOperationResult Set to the outcome of the acquisition into
    ///   that buffer: ZU_OK, ZU_MISSING_PACKETS, ZU_TOO_MANY_RESENDS,
    ///   ZU_BUFFER_TOO_SMALL or ZU_ABORTED (after AbortQueuedBuffers or Close).
    /// @param aTimeout Milliseconds to wait; 0xFFFFFFFF waits without limit.
    /// @return ZU_OK when a buffer was taken out; ZU_TIMEOUT; ZU_NO_MORE_ITEM
    ///   (no buffer queued); ZU_BUSY (another thread is retrieving);
    ///   ZU_INVALID_PARAMETER (no place for the buffer).
    ZuResult RetrieveBuffer(ZuBuffer **aBuffer, ZuResult *aOperationResult, uint32_t aTimeout = 0xFFFFFFFF);

    /// Ends the acquisition into every queued buffer; each still comes back
    /// through RetrieveBuffer, with the operation result ZU_ABORTED. Returns
    /// once no buffer is being filled any more.
    /// @return ZU_OK; ZU_NOT_CONNECTED when the stream is not open.
    ZuResult AbortQueuedBuffers();

    /// Buffers queued and not yet retrieved.
    uint32_t GetQueuedBufferCount() const;

    /// Buffers the queue may hold (the capacity given at Open).
    uint32_t GetQueuedBufferMaximum() const;

    /// The device's streaming channel the stream was opened on.
    uint16_t GetChannel();

    /// Tests whether the stream is open.
    bool IsOpen() const;

    /// The parameters that define how data is received and the statistics
    /// of the reception, as GenICam features: among them
    /// "StartStreamOnlyOnPacketIdZero", "RequestMissingPackets",
    /// "PipelineImagesDropped" and "ResetStats". They belong to the stream.
    ZuGenParameterArray *GetParameters();

    /// Registers a stream event sink.
    /// @return ZU_OK; ZU_INVALID_PARAMETER (no sink); ZU_GENERIC_ERROR
    ///   (registered already).
    ZuResult RegisterEventSink(ZuStreamEventSink *aEventSink);

    /// Unregisters a stream event sink.
    /// @return ZU_OK; ZU_INVALID_PARAMETER (no sink); ZU_NOT_FOUND.
    ZuResult UnregisterEventSink(ZuStreamEventSink *aEventSink);

#ifndef SWIG
    // The buffer queue and what the kinds share; reached by the kinds and
    // by the pipeline through sdk/internal/tarn/.
    struct Impl;
    Impl &GetImpl() const { return *mImpl; }

protected:
    ZuStream();

private:
    ZuStream(const ZuStream &) = delete;
    ZuStream &operator=(const ZuStream &) = delete;
    std::unique_ptr<Impl> mImpl;
#endif
};

#endif
