#include "BufferImpl.h"
#include "ZuPixelTypeInfo.h"

ZuImage::ZuImage(ZuBuffer *aBuffer) : mImpl(new Impl(aBuffer)) {}

ZuImage::~ZuImage() {}

bool tarn::PaddingInPixels(uint32_t aBytes, ZuPixelType aPixelType, uint16_t &aPixels)
{
    const uint64_t bits = ZuPixelTypeGetBitsPerPixel(aPixelType);
    aPixels = 0;
    if (!aBytes) return true;
    if (!bits || (uint64_t(aBytes) * 8) % bits || uint64_t(aBytes) * 8 / bits > UINT16_MAX) return false;
    aPixels = uint16_t(uint64_t(aBytes) * 8 / bits);
    return true;
}

uint64_t tarn::ComputeImageSize(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
                                uint16_t aPaddingY)
{
    unsigned __int128 pixels = (unsigned __int128)(uint64_t(aSizeX) + aPaddingX) * (uint64_t(aSizeY) + aPaddingY);
    unsigned __int128 bytes = (pixels * ZuPixelTypeGetBitsPerPixel(aPixelType) + 7) / 8;
    return bytes > UINT64_MAX ? UINT64_MAX : uint64_t(bytes);
}

ZuResult ZuImage::Impl::Describe(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
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

void ZuImage::Impl::Keep(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
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
    Impl &d = *mImpl;
    uint32_t size = 0;
    ZuResult result = Impl::Describe(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, aMaximumChunkLength, size);
    if (result.IsOK())
        result = tarn::BufferAccess::Of(*d.mBuffer).AllocData(uint64_t(size) + aMaximumChunkLength, size, aMaximumChunkLength);
    if (result.IsOK())
        d.Keep(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, size, aMaximumChunkLength);
    return result;
}

ZuResult ZuImage::Attach(void *aRawBuffer, uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType,
                         uint16_t aPaddingX, uint16_t aPaddingY, uint32_t aMaximumChunkLength)
{
    Impl &d = *mImpl;
    auto &memory = tarn::BufferAccess::Of(*d.mBuffer);
    uint32_t size = 0;
    ZuResult result = Impl::Describe(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, aMaximumChunkLength, size);
    if (!result.IsOK())
        memory.mAttachLimit = 0;
    else
        result = memory.AttachData(aRawBuffer, uint64_t(size) + aMaximumChunkLength, size, aMaximumChunkLength, 0);
    if (result.IsOK())
        d.Keep(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, size, aMaximumChunkLength);
    return result;
}

bool ZuImage::Impl::DescribeInPlace(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX,
                                    uint16_t aPaddingY, uint32_t aOffsetX, uint32_t aOffsetY)
{
    Clear();
    uint32_t size = 0;
    if (!Describe(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, 0, size).IsOK() || size > mBuffer->GetSize())
        return false;
    Keep(aSizeX, aSizeY, aPixelType, aPaddingX, aPaddingY, size, 0);
    mOffsetX = aOffsetX;
    mOffsetY = aOffsetY;
    return true;
}

ZuResult tarn::RedescribeImage(ZuImage &aImage, uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType)
{
    return BufferAccess::Of(aImage).Redescribe(aSizeX, aSizeY, aPixelType);
}

ZuResult ZuImage::Impl::Redescribe(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType)
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
    if (tarn::BufferAccess::Of(*mImpl->mBuffer).ReleaseData())
        mImpl->Clear();
}

uint8_t *ZuImage::Detach()
{
    uint8_t *memory = tarn::BufferAccess::Of(*mImpl->mBuffer).DetachData();
    if (memory)
        mImpl->Clear();
    return memory;
}

void ZuImage::Impl::Clear()
{
    mWidth = mHeight = 0;
    mPixelType = ZuPixelUndefined;
    mPaddingX = mPaddingY = 0;
    mImageSize = mMaximumChunkLength = 0;
}

const uint8_t *ZuImage::GetDataPointer() const { return mImpl->mImageSize ? mImpl->mBuffer->GetDataPointer() : nullptr; }
uint8_t *ZuImage::GetDataPointer() { return mImpl->mImageSize ? mImpl->mBuffer->GetDataPointer() : nullptr; }
uint32_t ZuImage::GetImageSize() const { return mImpl->mImageSize; }
uint32_t ZuImage::GetWidth() const { return mImpl->mWidth; }
uint32_t ZuImage::GetHeight() const { return mImpl->mHeight; }
ZuPixelType ZuImage::GetPixelType() const { return mImpl->mPixelType; }
uint32_t ZuImage::GetOffsetX() const { return mImpl->mOffsetX; }
uint32_t ZuImage::GetOffsetY() const { return mImpl->mOffsetY; }
uint16_t ZuImage::GetPaddingX() const { return mImpl->mPaddingX; }
uint16_t ZuImage::GetPaddingY() const { return mImpl->mPaddingY; }
uint64_t ZuImage::GetBlockID() const { return mImpl->mBuffer->GetBlockID(); }
uint64_t ZuImage::GetTimestamp() const { return mImpl->mBuffer->GetTimestamp(); }
uint64_t ZuImage::GetReceptionTime() const { return mImpl->mBuffer->GetReceptionTime(); }
uint32_t ZuImage::GetMaximumChunkLength() const { return mImpl->mMaximumChunkLength; }
uint32_t ZuImage::GetRequiredSize() const { return mImpl->mImageSize + mImpl->mMaximumChunkLength; }

uint32_t ZuImage::GetEffectiveImageSize() const
{
    return uint32_t((uint64_t(mImpl->mWidth) * mImpl->mHeight * ZuPixelTypeGetBitsPerPixel(mImpl->mPixelType) + 7) / 8);
}

void ZuImage::SetOffsetX(uint32_t aValue) { mImpl->mOffsetX = aValue; }
void ZuImage::SetOffsetY(uint32_t aValue) { mImpl->mOffsetY = aValue; }
bool ZuImage::IsAllocated() const { return mImpl->mImageSize && mImpl->mBuffer->IsAllocated(); }
bool ZuImage::IsAttached() const { return mImpl->mImageSize && mImpl->mBuffer->IsAttached(); }
bool ZuImage::IsPartialLineMissing() const { return tarn::FillOf(*mImpl->mBuffer).image.partialLineMissing; }
bool ZuImage::IsFullLineMissing() const { return mImpl->mFullLineMissing; }

void ZuImage::SetFullLineMissing(bool aValue, uint32_t aLineNumber)
{
    mImpl->mFullLineMissing = aValue;
    mImpl->mMissingLine = aLineNumber;
}

void ZuImage::SetEOFByLineCount(bool aValue) { mImpl->mEOFByLineCount = aValue; }
void ZuImage::ClearEOFStatus() { mImpl->mEOFByLineCount = false; }
bool ZuImage::IsEOFByLineCount() const { return mImpl->mEOFByLineCount; }
bool ZuImage::IsInterlacedEven() const { return tarn::FillOf(*mImpl->mBuffer).image.interlacedEven; }
bool ZuImage::IsInterlacedOdd() const { return tarn::FillOf(*mImpl->mBuffer).image.interlacedOdd; }
bool ZuImage::IsImageDropped() const { return tarn::FillOf(*mImpl->mBuffer).image.dropped; }
bool ZuImage::IsDataOverrun() const { return tarn::FillOf(*mImpl->mBuffer).image.dataOverrun; }
ZuBuffer *ZuImage::GetBuffer() { return mImpl->mBuffer; }
