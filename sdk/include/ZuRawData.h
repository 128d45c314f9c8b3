#ifndef ZU_RAW_DATA_H
#define ZU_RAW_DATA_H

#include "ZuBaseApi.h"
#include "ZuResult.h"

class ZuBuffer;
namespace tarn { struct BufferAccess; }

/// The raw-data view of a buffer (ZuPayloadTypeRawData, ZuPayloadTypeFile):
/// one block of bytes with no structure, optionally followed by chunk space.
/// The buffer owns it.
class ZU_API ZuRawData
{
public:
    virtual ~ZuRawData();

    /// Returns the length of the payload, chunk space excluded.
    virtual uint64_t GetPayloadLength() const;

    /// Allocates the payload and its chunk space, releasing earlier memory.
    /// @param aPayloadLength Bytes of payload.
    /// @param aMaximumChunkLength Bytes of chunk space after the payload.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for an empty block;
    ///   ZU_ERR_OVERFLOW when the block exceeds what a buffer can hold (4 GiB - 1).
    virtual ZuResult Alloc(uint64_t aPayloadLength, uint32_t aMaximumChunkLength = 0);

    /// Releases allocated memory (and lets attached memory go).
    virtual void Free();

    /// Attaches caller memory: the payload, then aMaximumChunkLength bytes of
    /// chunk space. The memory stays the caller's and must outlive the attachment.
    /// @param aRawBuffer Memory to attach.
    /// @param aBufferSize Bytes in aRawBuffer, chunk space included.
    /// @param aMaximumChunkLength Bytes at the end of the memory kept for chunks.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for a null pointer, a length of 0 or
    ///   chunk space larger than the memory; ZU_ERR_OVERFLOW above 4 GiB - 1.
    virtual ZuResult Attach(void *aRawBuffer, uint64_t aBufferSize, uint32_t aMaximumChunkLength = 0);

    /// Lets attached memory go.
    /// @return The memory that was attached, null when none was.
    virtual uint8_t *Detach();

private:
    // A view of the buffer that makes and owns it.
    friend struct tarn::BufferAccess;
    explicit ZuRawData(ZuBuffer *aBuffer) : mBuffer(aBuffer) {}
    ZuRawData(const ZuRawData &) = delete;
    ZuRawData &operator=(const ZuRawData &) = delete;
    ZuBuffer *mBuffer;
};

#endif
