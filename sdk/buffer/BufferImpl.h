#ifndef TARN_BUFFER_IMPL_H
#define TARN_BUFFER_IMPL_H

// A buffer's state and the memory operations its typed views share, and
// the state of its image view. Internal to the buffer library; other
// libraries reach a buffer's fill and the bindings its memory through
// sdk/internal/tarn/.

#include "ZuBuffer.h"
#include "ZuChunkData.h"
#include "ZuGenDC.h"
#include "ZuImage.h"
#include "ZuMultiPartContainer.h"
#include "ZuRawData.h"
#include "tarn/BufferFill.h"

#include <memory>
#include <mutex>
#include <vector>

namespace tarn {

// Padding travels in bytes and an image counts it in pixels: false when it
// ends inside a pixel (its lines could not be described where they lie).
bool PaddingInPixels(uint32_t aBytes, ZuPixelType aPixelType, uint16_t &aPixels);
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

    // A change of where the memory lies, for as long as it lives: refused
    // (false) while a stream or transmitter holds the buffer
    // (tarn::HoldMemory), and ordered against such a hold being taken.
    class Change
    {
    public:
        explicit Change(Impl &aImpl) : mGuard(aImpl.mMemoryTurn), mRefused(IsHeld(aImpl.mOwner)) {}
        explicit operator bool() const { return !mRefused; }

    private:
        std::lock_guard<std::mutex> mGuard;
        bool mRefused;
    };
    // What a refused change answers.
    static ZuResult Held();
    // Whether a stream or transmitter holds the buffer.
    static bool IsHeld(const ZuBuffer *aBuffer);

    // Memory operations of the buffer and its typed views; each is one
    // Change (a refused Release does nothing and answers false).
    ZuResult AllocData(uint64_t aSize, uint32_t aChunkOffset, uint32_t aChunkLength);
    ZuResult AttachData(void *aPointer, uint64_t aSize, uint32_t aChunkOffset, uint32_t aChunkLength,
                        uint32_t aChunkUsed);
    uint8_t *DetachData();
    bool ReleaseData();
    // The same within a Change (or where nothing can hold the buffer).
    void ReleaseDataNow();
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
    ZuBuffer *mOwner;
    // Orders a change of the memory against a hold being taken.
    std::mutex mMemoryTurn;
    std::unique_ptr<ZuImage> mImage;
    std::unique_ptr<ZuRawData> mRawData;
    std::unique_ptr<ZuChunkData> mChunkData;
    std::unique_ptr<IZuMultiPartContainer> mMultiPart;
    std::unique_ptr<IZuGenericDataContainer> mGenDC;
    IZuGenDCManager *mGenDCManager = nullptr;
};

struct ZuImage::Impl
{
    explicit Impl(ZuBuffer *aBuffer) : mBuffer(aBuffer) {}

    // Checks a description and gives the bytes it needs, padding included.
    static ZuResult Describe(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
                             uint16_t aPaddingY, uint32_t aMaximumChunkLength, uint32_t &aImageSize);
    void Keep(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX, uint16_t aPaddingY,
              uint32_t aImageSize, uint32_t aMaximumChunkLength);
    // Forgets the description (the memory went away).
    void Clear();
    ZuResult Redescribe(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType);
    // Describes an image already in the buffer's memory (a receiver filled
    // it); false, and no description, when it would not fit the memory.
    bool DescribeInPlace(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
                         uint16_t aPaddingY, uint32_t aOffsetX, uint32_t aOffsetY);

    ZuBuffer *mBuffer;
    uint32_t mWidth = 0, mHeight = 0, mOffsetX = 0, mOffsetY = 0;
    ZuPixelType mPixelType = ZuPixelUndefined;
    uint16_t mPaddingX = 0, mPaddingY = 0;
    uint32_t mImageSize = 0, mMaximumChunkLength = 0;
    uint32_t mMissingLine = 0;
    // What a receiver reports of the image lives in the buffer's fill.
    bool mFullLineMissing = false, mEOFByLineCount = false;
};

namespace tarn {

struct BufferAccess
{
    static ZuBuffer::Impl &Of(const ZuBuffer &aBuffer) { return *aBuffer.mImpl; }
    static ZuImage::Impl &Of(const ZuImage &aImage) { return *aImage.mImpl; }
    static ZuBuffer *OwnerOf(const ZuRawData &aView) { return aView.mBuffer; }
    static ZuBuffer *OwnerOf(const ZuChunkData &aView) { return aView.mBuffer; }
    // A change of a buffer's memory (ZuBuffer::Impl::Change), for its parts.
    typedef ZuBuffer::Impl::Change MemoryChange;
    static ZuResult MemoryHeld() { return ZuBuffer::Impl::Held(); }

    // The views a buffer makes once and owns.
    static ZuImage *NewImage(ZuBuffer *aOwner) { return new ZuImage(aOwner); }
    static ZuRawData *NewRawData(ZuBuffer *aOwner) { return new ZuRawData(aOwner); }
    static ZuChunkData *NewChunkData(ZuBuffer *aOwner) { return new ZuChunkData(aOwner); }
};

} // namespace tarn

#endif
