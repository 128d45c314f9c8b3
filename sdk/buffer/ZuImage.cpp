#include "BufferImpl.h"
#include "ZuPixelTypeInfo.h"

ZuImage::ZuImage(ZuBuffer *aBuffer) : mBuffer(aBuffer) {}

ZuImage::~ZuImage() {}

uint64_t tarn::ComputeImageSize(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
                                uint16_t aPaddingY)
{
    unsigned __int128 pixels = (unsigned __int128)(uint64_t(aSizeX) + aPaddingX) * (uint64_t(aSizeY) + aPaddingY);
    unsigned __int128 bytes = (pixels * ZuPixelTypeGetBitsPerPixel(aPixelType) + 7) / 8;
    return bytes > UINT64_MAX ? UINT64_MAX : uint64_t(bytes);
}

ZuResult ZuImage::Describe(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
                           uint16_t aPaddingY, uint32_t aMaximumChunkLength, uint32_t &aImageSize)
{
    if (aSizeX == 0 || aSizeY == 0)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("an image needs a width and a height"));
    if (ZuPixelTypeGetBitsPerPixel(aPixelType) == 0)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the pixel type has no bits per pixel"));
    uint64_t size = tarn::ComputeImageSize(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY);
    if (size + aMaximumChunkLength > UINT32_MAX)
        return ZuResult(ZU_ERR_OVERFLOW, ZuString("the image needs 4 GiB or more"));
    aImageSize = uint32_t(size);
    return ZuResult();
}

void ZuImage::Keep(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
                   uint16_t aPaddingY, uint32_t aImageSize, uint32_t aMaximumChunkLength)
{
    mWidth = aSizeX;
    mHeight = aSizeY;
    mPixelType = aPixelType;
    mPaddingX = aPaddingX;
    mPaddingY = aPaddingY;
    mImageSize = aImageSize;
    mMaximumChunkLength = aMaximumChunkLength;
}

ZuResult ZuImage::Alloc(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
                        uint16_t aPaddingY, uint32_t aMaximumChunkLength)
{
    uint32_t size = 0;
    ZuResult result = Describe(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, aMaximumChunkLength, size);
    if (result.IsOK())
        result = mBuffer->GetImpl().AllocData(uint64_t(size) + aMaximumChunkLength, size, aMaximumChunkLength);
    if (result.IsOK())
        Keep(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, size, aMaximumChunkLength);
    return result;
}

ZuResult ZuImage::Attach(void *aRawBuffer, uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType,
                         uint16_t aPaddingX, uint16_t aPaddingY, uint32_t aMaximumChunkLength)
{
    uint32_t size = 0;
    ZuResult result = Describe(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, aMaximumChunkLength, size);
    if (!result.IsOK())
        mBuffer->GetImpl().mAttachLimit = 0;
    else
        result = mBuffer->GetImpl().AttachData(aRawBuffer, uint64_t(size) + aMaximumChunkLength, size, aMaximumChunkLength, 0);
    if (result.IsOK())
        Keep(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, size, aMaximumChunkLength);
    return result;
}

bool ZuImage::DescribeInPlace(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
                              uint16_t aPaddingY, uint32_t aOffsetX, uint32_t aOffsetY)
{
    ClearDescription();
    uint32_t size = 0;
    if (!Describe(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, 0, size).IsOK() || size > mBuffer->GetSize())
        return false;
    Keep(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, size, 0);
    mOffsetX = aOffsetX;
    mOffsetY = aOffsetY;
    return true;
}

ZuResult ZuImage::Redescribe(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType)
{
    uint32_t size = 0;
    ZuResult result = Describe(aSizeX, aSizeY, aPixelType, 0, 0, 0, size);
    if (!result.IsOK())
        return result;
    if (!mBuffer->GetDataPointer() || size > mBuffer->GetSize() || mMaximumChunkLength)
        return ZuResult(ZU_BUFFER_TOO_SMALL, ZuString("the image does not fit the buffer's memory"));
    Keep(aSizeX, aSizeY, aPixelType, 0, 0, size, 0);
    return result;
}

void ZuImage::Free()
{
    mBuffer->GetImpl().ReleaseData();
    ClearDescription();
}

uint8_t *ZuImage::Detach()
{
    uint8_t *memory = mBuffer->GetImpl().DetachData();
    if (memory)
        ClearDescription();
    return memory;
}

void ZuImage::ClearDescription()
{
    mWidth = mHeight = 0;
    mPixelType = ZuPixelUndefined;
    mPaddingX = mPaddingY = 0;
    mImageSize = mMaximumChunkLength = 0;
}

const uint8_t *ZuImage::GetDataPointer() const { return mImageSize ? mBuffer->GetDataPointer() : nullptr; }
uint8_t *ZuImage::GetDataPointer() { return mImageSize ? mBuffer->GetDataPointer() : nullptr; }
uint32_t ZuImage::GetImageSize() const { return mImageSize; }
uint32_t ZuImage::GetWidth() const { return mWidth; }
uint32_t ZuImage::GetHeight() const { return mHeight; }
ZuPixelType ZuImage::GetPixelType() const { return mPixelType; }
uint32_t ZuImage::GetOffsetX() const { return mOffsetX; }
uint32_t ZuImage::GetOffsetY() const { return mOffsetY; }
uint16_t ZuImage::GetPaddingX() const { return mPaddingX; }
uint16_t ZuImage::GetPaddingY() const { return mPaddingY; }
uint64_t ZuImage::GetBlockID() const { return mBuffer->GetBlockID(); }
uint64_t ZuImage::GetTimestamp() const { return mBuffer->GetTimestamp(); }
uint64_t ZuImage::GetReceptionTime() const { return mBuffer->GetReceptionTime(); }
uint32_t ZuImage::GetMaximumChunkLength() const { return mMaximumChunkLength; }
uint32_t ZuImage::GetRequiredSize() const { return mImageSize + mMaximumChunkLength; }

uint32_t ZuImage::GetEffectiveImageSize() const
{
    return uint32_t((uint64_t(mWidth) * mHeight * ZuPixelTypeGetBitsPerPixel(mPixelType) + 7) / 8);
}

void ZuImage::SetOffsetX(uint32_t aValue) { mOffsetX = aValue; }
void ZuImage::SetOffsetY(uint32_t aValue) { mOffsetY = aValue; }
bool ZuImage::IsAllocated() const { return mImageSize && mBuffer->IsAllocated(); }
bool ZuImage::IsAttached() const { return mImageSize && mBuffer->IsAttached(); }
bool ZuImage::IsPartialLineMissing() const { return tarn::FillOf(*mBuffer).image.partialLineMissing; }
bool ZuImage::IsFullLineMissing() const { return mFullLineMissing; }

void ZuImage::SetFullLineMissing(bool aValue, uint32_t aLineNumber)
{
    mFullLineMissing = aValue;
    mMissingLine = aLineNumber;
}

void ZuImage::SetEOFByLineCount(bool aValue) { mEOFByLineCount = aValue; }
void ZuImage::ClearEOFStatus() { mEOFByLineCount = false; }
bool ZuImage::IsEOFByLineCount() const { return mEOFByLineCount; }
bool ZuImage::IsInterlacedEven() const { return tarn::FillOf(*mBuffer).image.interlacedEven; }
bool ZuImage::IsInterlacedOdd() const { return tarn::FillOf(*mBuffer).image.interlacedOdd; }
bool ZuImage::IsImageDropped() const { return tarn::FillOf(*mBuffer).image.dropped; }
bool ZuImage::IsDataOverrun() const { return tarn::FillOf(*mBuffer).image.dataOverrun; }
ZuBuffer *ZuImage::GetBuffer() { return mBuffer; }
