#ifndef ZU_CHUNK_DATA_H
#define ZU_CHUNK_DATA_H

#include "ZuBaseApi.h"
#include "ZuResult.h"

class ZuBuffer;
namespace tarn { struct BufferAccess; }

/// Chunks of a payload: blocks of bytes, each with a 32-bit ID.
///
/// Chunks are stored in the GenICam chunk layout: each chunk's data is
/// followed by a trailer of two big-endian 32-bit words, the chunk ID and the
/// data length, so a reader finds the chunks by walking back from the end.
/// The list also carries a chunk layout ID, which a device changes whenever
/// the set or order of its chunks changes.
class ZU_API IZuChunkData
{
public:
    virtual ~IZuChunkData() {}

    /// Removes every chunk; the chunk space stays.
    virtual void ResetChunks() = 0;

    /// Appends a chunk: copies its data and writes its trailer.
    /// @param aID Chunk ID.
    /// @param aData Chunk data, read during the call only.
    /// @param aLength Number of bytes in aData.
    /// @return ZU_OK; ZU_STATE_ERROR without chunk space; ZU_BUFFER_TOO_SMALL when the chunk and its trailer do not fit.
    virtual ZuResult AddChunk(uint32_t aID, const uint8_t *aData, uint32_t aLength) = 0;

    /// Sets the chunk layout ID.
    /// @param aChunkLayoutID Layout ID.
    virtual void SetChunkLayoutID(uint32_t aChunkLayoutID) = 0;

    /// Tests whether the payload holds at least one chunk.
    virtual bool HasChunks() const = 0;

    /// Returns the number of chunks.
    virtual uint32_t GetChunkCount() = 0;

    /// Returns the ID of a chunk.
    /// @param aIndex Index of the chunk, from 0.
    /// @param aID Receives the ID; untouched when the index is out of range.
    /// @return ZU_OK, or ZU_NOT_FOUND when there is no chunk at that index.
    virtual ZuResult GetChunkIDByIndex(uint32_t aIndex, uint32_t &aID) = 0;

    /// Returns the data length of a chunk.
    /// @param aIndex Index of the chunk, from 0.
    /// @return Bytes of data, 0 when there is no chunk at that index.
    virtual uint32_t GetChunkSizeByIndex(uint32_t aIndex) = 0;

    /// Returns the data length of the first chunk with an ID.
    /// @param aID Chunk ID.
    /// @return Bytes of data, 0 when no chunk has that ID.
    virtual uint32_t GetChunkSizeByID(uint32_t aID) = 0;

    /// Returns the data of a chunk, in place.
    /// @param aIndex Index of the chunk, from 0.
    /// @return Pointer to the chunk's data; null when there is no chunk at that index.
    virtual uint8_t *GetChunkRawDataByIndex(uint32_t aIndex) = 0;

    /// Returns the data of the first chunk with an ID, in place.
    /// @param aID Chunk ID.
    /// @return Pointer to the chunk's data; null when no chunk has that ID.
    virtual uint8_t *GetChunkRawDataByID(uint32_t aID) = 0;

    /// Returns the chunk layout ID.
    virtual uint32_t GetChunkLayoutID() = 0;

    /// Returns the bytes that the chunks and their trailers use.
    virtual uint32_t GetChunkDataSize() const = 0;

    /// Returns the bytes of chunk space, used or not.
    virtual uint32_t GetChunkDataCapacity() const = 0;
};

/// The chunk-data view of a buffer whose payload is made only of chunks
/// (ZuPayloadTypeChunkData). The buffer owns it.
class ZU_API ZuChunkData : public IZuChunkData
{
public:
    virtual ~ZuChunkData();

    virtual void ResetChunks();
    virtual ZuResult AddChunk(uint32_t aID, const uint8_t *aData, uint32_t aLength);
    virtual void SetChunkLayoutID(uint32_t aChunkLayoutID);
    virtual bool HasChunks() const;
    virtual uint32_t GetChunkCount();
    virtual ZuResult GetChunkIDByIndex(uint32_t aIndex, uint32_t &aID);
    virtual uint32_t GetChunkSizeByIndex(uint32_t aIndex);
    virtual uint32_t GetChunkSizeByID(uint32_t aID);
    virtual uint8_t *GetChunkRawDataByIndex(uint32_t aIndex);
    virtual uint8_t *GetChunkRawDataByID(uint32_t aID);
    virtual uint32_t GetChunkLayoutID();
    virtual uint32_t GetChunkDataSize() const;
    virtual uint32_t GetChunkDataCapacity() const;

    /// Returns the length of the payload: the bytes its chunks and trailers use.
    virtual uint64_t GetChunkDataPayloadLength() const;

    /// Allocates chunk space for the payload, releasing earlier memory.
    /// @param aMaximumChunkLength Bytes of chunk space, trailers included.
    /// @return ZU_OK, or ZU_INVALID_PARAMETER for 0.
    virtual ZuResult Alloc(uint32_t aMaximumChunkLength);

    /// Releases allocated memory (and lets attached memory go).
    virtual void Free();

    /// Attaches memory that holds a chunk payload; its chunks are read from it.
    /// The memory stays the caller's and must outlive the attachment.
    /// @param aRawBuffer Memory holding the payload.
    /// @param aBufferSize Bytes in aRawBuffer.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for a null pointer or a length of 0;
    ///   ZU_INVALID_DATA_FORMAT when the trailers do not form a chunk list
    ///   (the memory stays attached, with the chunks read up to the fault).
    virtual ZuResult Attach(void *aRawBuffer, uint32_t aBufferSize);

    /// Lets attached memory go.
    /// @return The memory that was attached, null when none was.
    virtual uint8_t *Detach();

private:
    // A view of the buffer that makes and owns it.
    friend struct tarn::BufferAccess;
    explicit ZuChunkData(ZuBuffer *aBuffer) : mBuffer(aBuffer) {}
    ZuChunkData(const ZuChunkData &) = delete;
    ZuChunkData &operator=(const ZuChunkData &) = delete;
    ZuBuffer *mBuffer;
};

#endif
