#ifndef TARN_BUFFER_IMPL_H
#define TARN_BUFFER_IMPL_H

// A buffer's state and the memory operations its typed views share.
// Internal to the buffer library; other libraries reach a buffer's fill and
// the bindings its memory through sdk/internal/tarn/.

#include "ZuBuffer.h"
#include "ZuChunkData.h"
#include "ZuGenDC.h"
#include "ZuImage.h"
#include "ZuMultiPartContainer.h"
#include "ZuRawData.h"
#include "tarn/BufferFill.h"

#include <memory>
#include <vector>

namespace tarn {

// Bytes of an image with padding, 0 for a pixel type without bits per
// pixel; may exceed 32 bits.
uint64_t ComputeImageSize(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
                          uint16_t aPaddingY);

} // namespace tarn

// Makes the multi-part container of a buffer.
std::unique_ptr<IZuMultiPartContainer> ZuNewMultiPartContainer(ZuBuffer *aBuffer);

// Lays out the parts of a multi-part block received into the buffer's own
// memory (aMemory, aSize bytes): each section shares that memory, so that
// its views outlive a later re-allocation. A part that does not lie within
// the memory, or an image larger than its part, is given no memory.
void ZuMultiPartReceived(IZuMultiPartContainer &aContainer, const std::shared_ptr<uint8_t> &aMemory, uint64_t aSize,
                         const tarn::ReceivedPart *aParts, size_t aCount);

struct ZuBuffer::Impl
{
    // Owner of memory outside the SDK's own use of it. Array views hold a
    // share of the block their pointer lies in, so the memory outlives the
    // buffer, a Free or a Detach for as long as a view needs it.
    typedef std::shared_ptr<uint8_t> Block;

    Impl(ZuBuffer *aOwner, ZuPayloadType aPayloadType);
    ~Impl();

    // Memory operations of the buffer and its typed views.
    ZuResult AllocData(uint64_t aSize, uint32_t aChunkOffset, uint32_t aChunkLength);
    ZuResult AttachData(void *aPointer, uint64_t aSize, uint32_t aChunkOffset, uint32_t aChunkLength,
                        uint32_t aChunkUsed);
    uint8_t *DetachData();
    void ReleaseData();
    void ReleaseChunkSpace();
    bool ParseChunks();
    uint8_t *ChunkBase() const;
    Block ShareMemory(const void *aPointer) const;
    void KeepAttachment(const void *aPointer, std::shared_ptr<void> aOwner);
    bool IsAttached() const { return mData && mAttached; }

    struct Chunk {
        uint32_t id, offset, size;
    };

    ZuPayloadType mPayloadType;
    Block mData;
    uint32_t mSize = 0;
    bool mAttached = false;
    Block mChunkBlock;
    uint32_t mChunkOffset = 0, mChunkCapacity = 0, mChunkUsed = 0, mChunkLayoutID = 0;
    bool mChunkInData = false;
    std::vector<Chunk> mChunks;
    uint32_t mRawLength = 0;
    uint64_t mID = 0;
    uint64_t mAttachLimit = 0;
    tarn::BufferFill mFill;
    std::unique_ptr<ZuImage> mImage;
    std::unique_ptr<ZuRawData> mRawData;
    std::unique_ptr<ZuChunkData> mChunkData;
    std::unique_ptr<IZuMultiPartContainer> mMultiPart;
    std::unique_ptr<IZuGenericDataContainer> mGenDC;
    IZuGenDCManager *mGenDCManager = nullptr;
};

#endif
