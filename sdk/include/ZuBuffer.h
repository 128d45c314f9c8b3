#ifndef ZU_BUFFER_H
#define ZU_BUFFER_H

#include "ZuBaseApi.h"
#include "ZuResult.h"
#include "ZuPayloadType.h"
#include "ZuChunkData.h"

#include <memory>

class ZuImage;
class ZuRawData;
class ZuMorvekCompressed;
class IZuMultiPartContainer;
class IZuH264AccessUnit;
class IZuGenericDataContainer;
class IZuGenDCManager;

// The buffer library's own access to the state of a buffer and its views.
namespace tarn { struct BufferAccess; }

/// A block of payload memory and what the stream reports about it.
///
/// The memory is in one of three states: none, allocated by the buffer
/// (Alloc, released by Free) or attached to memory the caller owns (Attach,
/// released by Detach). The payload type decides which typed view (image,
/// raw data, chunk data, ...) the buffer hands out; the views belong to the
/// buffer and work on its memory. Chunks live in a chunk space of their own
/// (AllocChunk) or in the space that an image or raw payload reserves after
/// itself. While a stream or transmitter holds the buffer (from QueueBuffer
/// until it hands the buffer back), the memory stays where it is: Reset,
/// Alloc, AllocChunk, Attach, Detach and their forms in the views and parts
/// refuse with ZU_STATE_ERROR, and Free and FreeChunk do nothing.
class ZU_API ZuBuffer : public IZuChunkData
{
public:
    /// Builds an empty buffer.
    /// @param aPayloadType Kind of payload the buffer is to carry.
    ZuBuffer(ZuPayloadType aPayloadType = ZuPayloadTypeImage);

    /// Destroys the buffer and the memory it allocated.
    virtual ~ZuBuffer();

    /// Returns the kind of payload.
    ZuPayloadType GetPayloadType() const;

    /// Returns the image view.
    /// @return The view for an image or extended-chunk payload, else null.
    ZuImage *GetImage();
    /// Returns the image view, read-only.
    const ZuImage *GetImage() const;

    /// Returns the raw-data view.
    /// @return The view for a raw-data or file payload, else null.
    ZuRawData *GetRawData();
    /// Returns the raw-data view, read-only.
    const ZuRawData *GetRawData() const;

    /// Returns the view of a payload compressed by the maker's own codec.
    /// @return Null: this SDK does not decode that payload.
    ZuMorvekCompressed *GetMorvekCompressed();
    /// Returns the compressed-payload view, read-only.
    const ZuMorvekCompressed *GetMorvekCompressed() const;

    /// Returns the chunk-data view.
    /// @return The view for a chunk-data payload, else null.
    ZuChunkData *GetChunkData();
    /// Returns the chunk-data view, read-only.
    const ZuChunkData *GetChunkData() const;

    /// Returns the multi-part container view.
    /// @return The container for a multi-part payload, else null.
    IZuMultiPartContainer *GetMultiPartContainer();
    /// Returns the multi-part container view, read-only.
    const IZuMultiPartContainer *GetMultiPartContainer() const;

    /// Returns the H.264 access unit view.
    /// @return Null: this SDK version has no H.264 access unit.
    IZuH264AccessUnit *GetH264AccessUnit();
    /// Returns the H.264 access unit view, read-only.
    const IZuH264AccessUnit *GetH264AccessUnit() const;

    /// Returns the GenDC container view: the attached manager's container, else one over the memory.
    /// @return The container for a GenDC payload, else null.
    IZuGenericDataContainer *GetGenDC();
    /// Returns the GenDC container view, read-only.
    const IZuGenericDataContainer *GetGenDC() const;

    /// Returns the payload memory, read-only.
    const uint8_t *GetDataPointer() const;
    /// Returns the payload memory: GetSize() bytes.
    /// @return The first byte; null when the buffer has no memory.
    uint8_t *GetDataPointer();

    /// Returns the buffer ID, chosen by the program.
    uint64_t GetID() const;
    /// Sets the buffer ID.
    /// @param aValue Any value the program uses to tell buffers apart.
    void SetID(uint64_t aValue);

    /// Tests whether the stream used 64-bit block IDs for this payload.
    bool IsExtendedID() const;
    /// Tests whether the memory is attached caller memory.
    bool IsAttached() const;
    /// Tests whether the memory was allocated by the buffer.
    bool IsAllocated() const;

    /// Returns the bytes the stream wrote into the buffer.
    uint32_t GetAcquiredSize() const;
    /// Returns the memory the payload needs, chunk space included.
    uint32_t GetRequiredSize() const;
    /// Returns the bytes of memory, allocated or attached.
    uint32_t GetSize() const;

    /// Releases memory and chunks and starts over with another payload type.
    /// @param aPayloadType Kind of payload the buffer is to carry.
    /// @return ZU_OK.
    ZuResult Reset(ZuPayloadType aPayloadType = ZuPayloadTypeImage);

    /// Allocates payload memory, releasing earlier memory.
    /// @param aSize Bytes to allocate.
    /// @return ZU_OK, or ZU_INVALID_PARAMETER for 0.
    ZuResult Alloc(uint32_t aSize);

    /// Allocates chunk space of its own, releasing earlier chunk space.
    /// @param aSize Bytes of chunk space, trailers included.
    /// @return ZU_OK, or ZU_INVALID_PARAMETER for 0.
    ZuResult AllocChunk(uint32_t aSize);

    /// Releases allocated memory (and lets attached memory go).
    void Free();

    /// Releases the chunk space of its own and its chunks.
    void FreeChunk();

    /// Attaches caller memory as the payload memory, releasing earlier
    /// memory. The memory stays the caller's and must outlive the attachment.
    /// @param aBuffer Memory to attach.
    /// @param aSize Bytes in aBuffer.
    /// @return ZU_OK, or ZU_INVALID_PARAMETER for a null pointer or a size of 0.
    ZuResult Attach(void *aBuffer, uint32_t aSize);

    /// Lets attached memory go.
    /// @return The memory that was attached, null when none was.
    uint8_t *Detach();

    /// Returns the block ID the stream gave the payload.
    uint64_t GetBlockID() const;
    /// Returns the outcome of the reception of the payload.
    ZuResult GetOperationResult() const;
    /// Returns the device's timestamp of the payload.
    uint64_t GetTimestamp() const;
    /// Returns the host time at which the payload arrived.
    uint64_t GetReceptionTime() const;
    /// Returns the time the reception took.
    uint64_t GetDuration() const;

    /// Sets the device's timestamp.
    /// @param aValue Timestamp in device ticks.
    /// @return ZU_OK.
    ZuResult SetTimestamp(uint64_t aValue);
    /// Sets the reception duration.
    /// @param aValue Duration.
    /// @return ZU_OK.
    ZuResult SetDuration(uint64_t aValue);
    /// Sets the block ID.
    /// @param aBlockID Block ID.
    /// @return ZU_OK.
    ZuResult SetBlockID(uint64_t aBlockID);
    /// Sets the reception time.
    /// @param aReceptionTime Host time.
    /// @return ZU_OK.
    ZuResult SetReceptionTime(uint64_t aReceptionTime);

    /// Returns the packets recovered by resends.
    uint32_t GetPacketsRecoveredCount() const;
    /// Returns the packets recovered by a resend of that packet alone.
    uint32_t GetPacketsRecoveredSingleResendCount() const;
    /// Returns the resend requests sent for groups of packets.
    uint32_t GetResendGroupRequestedCount() const;
    /// Returns the packets whose resend was requested.
    uint32_t GetResendPacketRequestedCount() const;
    /// Returns the packets lost for good.
    uint32_t GetLostPacketCount() const;
    /// Returns the packets ignored (outside the block).
    uint32_t GetIgnoredPacketCount() const;
    /// Returns the packets received more than once.
    uint32_t GetRedundantPacketCount() const;
    /// Returns the packets received out of order.
    uint32_t GetPacketOutOfOrderCount() const;

    /// Returns the number of ranges of missing packets.
    /// @param aCount Receives the number of ranges.
    /// @return ZU_OK.
    ZuResult GetMissingPacketIdsCount(uint32_t &aCount);

    /// Returns a range of missing packets.
    /// @param aIndex Index of the range, from 0.
    /// @param aPacketIdLow Receives the first missing packet ID of the range.
    /// @param aPacketIdHigh Receives the last missing packet ID of the range.
    /// @return ZU_OK, or ZU_NOT_FOUND when there is no range at that index (the IDs are then untouched).
    ZuResult GetMissingPacketIds(uint32_t aIndex, uint32_t &aPacketIdLow, uint32_t &aPacketIdHigh);

    /// Empties the buffer's chunk list; its chunk space stays allocated.
    virtual void ResetChunks();
    /// Adds a chunk after the buffer's last one (data, then ID and length, big-endian).
    /// @param aID Chunk ID.
    /// @param aData Bytes of the chunk, copied.
    /// @param aLength Count of bytes.
    /// @return ZU_OK; ZU_STATE_ERROR when the buffer has no chunk space; ZU_BUFFER_TOO_SMALL when it is full.
    virtual ZuResult AddChunk(uint32_t aID, const uint8_t *aData, uint32_t aLength);
    /// Records the device's chunk layout ID.
    /// @param aChunkLayoutID Layout ID.
    virtual void SetChunkLayoutID(uint32_t aChunkLayoutID);
    /// Tests whether the buffer carries chunks.
    virtual bool HasChunks() const;
    /// Returns how many chunks the buffer carries.
    virtual uint32_t GetChunkCount();
    /// Looks up the ID of the chunk at a position.
    /// @param aIndex Position, from 0.
    /// @param aID Set to the ID when there is such a chunk.
    /// @return ZU_OK or ZU_NOT_FOUND.
    virtual ZuResult GetChunkIDByIndex(uint32_t aIndex, uint32_t &aID);
    /// Returns the data length of the chunk at a position, 0 past the last.
    /// @param aIndex Position, from 0.
    virtual uint32_t GetChunkSizeByIndex(uint32_t aIndex);
    /// Returns the data length of the first chunk with an ID, 0 when none has it.
    /// @param aID Chunk ID.
    virtual uint32_t GetChunkSizeByID(uint32_t aID);
    /// Returns the data of the chunk at a position, in the buffer's memory.
    /// @param aIndex Position, from 0.
    /// @return The chunk's bytes; null past the last chunk.
    virtual uint8_t *GetChunkRawDataByIndex(uint32_t aIndex);
    /// Returns the data of the first chunk with an ID, in the buffer's memory.
    /// @param aID Chunk ID.
    /// @return The chunk's bytes; null when no chunk has that ID.
    virtual uint8_t *GetChunkRawDataByID(uint32_t aID);

    /// Returns the bytes of payload: the image, raw data or chunks it holds.
    uint32_t GetPayloadSize() const;

    /// Returns the device's chunk layout ID.
    virtual uint32_t GetChunkLayoutID();
    /// Returns the bytes taken by the buffer's chunks and trailers.
    virtual uint32_t GetChunkDataSize() const;
    /// Returns the size of the buffer's chunk space.
    virtual uint32_t GetChunkDataCapacity() const;

    /// Tests whether the stream received a valid leader for the payload.
    bool IsHeaderValid() const;
    /// Tests whether the stream received a valid trailer for the payload.
    bool IsTrailerValid() const;
    /// Tests whether the stream used large leaders and trailers.
    bool IsLargeLeaderTrailerEnabled() const;

    /// Hands the buffer the manager of its GenDC container.
    /// @param aManager The manager; it must outlive its use by the buffer (Reset lets it go).
    /// @return ZU_OK.
    ZuResult AttachGenDCManager(IZuGenDCManager &aManager);

private:
    // The state, and the memory operations the typed views share; other
    // SDK libraries reach what they need of it through sdk/internal/tarn/.
    friend struct tarn::BufferAccess;
    ZuBuffer(const ZuBuffer &) = delete;
    ZuBuffer &operator=(const ZuBuffer &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

#endif
