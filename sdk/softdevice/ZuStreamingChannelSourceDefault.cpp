#include "ZuStreamingChannelSourceDefault.h"

#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuPixelTypeInfo.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <vector>

namespace {

// Pixel types the source offers besides its own, each if it needs no more
// bits than the source's own (its buffers are sized for that).
const ZuPixelType kOffered[] = {ZuPixelMono8, ZuPixelMono10, ZuPixelMono12, ZuPixelMono16, ZuPixelBayerRG8,
                                ZuPixelBayerGB8, ZuPixelBayerGR8, ZuPixelBayerBG8, ZuPixelRGB8, ZuPixelBGR8};

// Larger buffers than this are refused: a camera's frame, not all memory.
constexpr uint64_t kMaxBufferBytes = uint64_t(1) << 30;
constexpr size_t kMaxBuffers = 64;

} // namespace

struct ZuStreamingChannelSourceDefault::Impl {
    std::mutex lock;
    uint32_t width, height, maxWidth, maxHeight, offsetX = 0, offsetY = 0;
    ZuPixelType pixelType;
    std::vector<ZuPixelType> supported;
    size_t bufferCount;
    std::set<ZuBuffer *> buffers;
    size_t allocated = 0;
    bool open = false, streaming = false, multiPart = false, largeLeaderTrailer = false;
    ZuPayloadType testMode = ZuPayloadTypeNone;
};

ZuStreamingChannelSourceDefault::ZuStreamingChannelSourceDefault(uint32_t aWidth, uint32_t aHeight,
                                                                 ZuPixelType aPixelType, size_t aBufferCount)
    : mImpl(new Impl)
{
    mImpl->width = mImpl->maxWidth = aWidth;
    mImpl->height = mImpl->maxHeight = aHeight;
    mImpl->pixelType = aPixelType;
    mImpl->bufferCount = aBufferCount;
    mImpl->supported.push_back(aPixelType);
    const uint32_t bits = ZuPixelTypeGetBitsPerPixel(aPixelType);
    for (ZuPixelType t : kOffered)
        if (t != aPixelType && ZuPixelTypeGetBitsPerPixel(t) <= bits) mImpl->supported.push_back(t);
}

ZuStreamingChannelSourceDefault::~ZuStreamingChannelSourceDefault()
{
    // Buffers the device never gave back are the source's to free.
    for (ZuBuffer *b : mImpl->buffers) delete b;
    delete mImpl;
}

uint32_t ZuStreamingChannelSourceDefault::GetWidth() const { std::lock_guard<std::mutex> l(mImpl->lock); return mImpl->width; }
uint32_t ZuStreamingChannelSourceDefault::GetHeight() const { std::lock_guard<std::mutex> l(mImpl->lock); return mImpl->height; }
uint32_t ZuStreamingChannelSourceDefault::GetOffsetX() const { std::lock_guard<std::mutex> l(mImpl->lock); return mImpl->offsetX; }
uint32_t ZuStreamingChannelSourceDefault::GetOffsetY() const { std::lock_guard<std::mutex> l(mImpl->lock); return mImpl->offsetY; }
ZuPixelType ZuStreamingChannelSourceDefault::GetPixelType() const { std::lock_guard<std::mutex> l(mImpl->lock); return mImpl->pixelType; }

void ZuStreamingChannelSourceDefault::GetWidthInfo(uint32_t &aMin, uint32_t &aMax, uint32_t &aInc) const
{
    aMin = std::min<uint32_t>(1, mImpl->maxWidth);
    aMax = mImpl->maxWidth;
    aInc = 1;
}

void ZuStreamingChannelSourceDefault::GetHeightInfo(uint32_t &aMin, uint32_t &aMax, uint32_t &aInc) const
{
    aMin = std::min<uint32_t>(1, mImpl->maxHeight);
    aMax = mImpl->maxHeight;
    aInc = 1;
}

uint32_t ZuStreamingChannelSourceDefault::GetChunksSize() const { return 0; }
uint32_t ZuStreamingChannelSourceDefault::GetPayloadSize() const { return 0; }
ZuScanType ZuStreamingChannelSourceDefault::GetScanType() const { return ZuScanTypeArea; }
bool ZuStreamingChannelSourceDefault::GetChunkModeActive() const { return false; }
bool ZuStreamingChannelSourceDefault::GetChunkEnable(uint32_t) const { return false; }

ZuResult ZuStreamingChannelSourceDefault::GetSupportedPixelType(int aIndex, ZuPixelType &aPixelType) const
{
    if (aIndex < 0 || size_t(aIndex) >= mImpl->supported.size()) return ZuResult(ZU_INVALID_PARAMETER);
    aPixelType = mImpl->supported[size_t(aIndex)];
    return ZuResult(ZU_OK);
}

ZuResult ZuStreamingChannelSourceDefault::GetSupportedChunk(int, uint32_t &, ZuString &) const
{
    return ZuResult(ZU_INVALID_PARAMETER);
}

ZuResult ZuStreamingChannelSourceDefault::SetWidth(uint32_t aWidth)
{
    std::lock_guard<std::mutex> l(mImpl->lock);
    if (aWidth == 0 || uint64_t(aWidth) + mImpl->offsetX > mImpl->maxWidth) return ZuResult(ZU_GENERIC_ERROR);
    mImpl->width = aWidth;
    return ZuResult(ZU_OK);
}

ZuResult ZuStreamingChannelSourceDefault::SetHeight(uint32_t aHeight)
{
    std::lock_guard<std::mutex> l(mImpl->lock);
    if (aHeight == 0 || uint64_t(aHeight) + mImpl->offsetY > mImpl->maxHeight) return ZuResult(ZU_GENERIC_ERROR);
    mImpl->height = aHeight;
    return ZuResult(ZU_OK);
}

ZuResult ZuStreamingChannelSourceDefault::SetOffsetX(uint32_t aOffsetX)
{
    std::lock_guard<std::mutex> l(mImpl->lock);
    if (uint64_t(aOffsetX) + mImpl->width > mImpl->maxWidth) return ZuResult(ZU_GENERIC_ERROR);
    mImpl->offsetX = aOffsetX;
    return ZuResult(ZU_OK);
}

ZuResult ZuStreamingChannelSourceDefault::SetOffsetY(uint32_t aOffsetY)
{
    std::lock_guard<std::mutex> l(mImpl->lock);
    if (uint64_t(aOffsetY) + mImpl->height > mImpl->maxHeight) return ZuResult(ZU_GENERIC_ERROR);
    mImpl->offsetY = aOffsetY;
    return ZuResult(ZU_OK);
}

ZuResult ZuStreamingChannelSourceDefault::SetPixelType(ZuPixelType aPixelType)
{
    std::lock_guard<std::mutex> l(mImpl->lock);
    if (std::find(mImpl->supported.begin(), mImpl->supported.end(), aPixelType) == mImpl->supported.end())
        return ZuResult(ZU_GENERIC_ERROR);
    mImpl->pixelType = aPixelType;
    return ZuResult(ZU_OK);
}

ZuResult ZuStreamingChannelSourceDefault::SetChunkModeActive(bool aEnabled)
{
    return ZuResult(aEnabled ? ZU_NOT_SUPPORTED : ZU_OK);
}

ZuResult ZuStreamingChannelSourceDefault::SetChunkEnable(uint32_t, bool aEnabled)
{
    return ZuResult(aEnabled ? ZU_NOT_SUPPORTED : ZU_OK);
}

void ZuStreamingChannelSourceDefault::OnOpen(const ZuString &, uint16_t) { std::lock_guard<std::mutex> l(mImpl->lock); mImpl->open = true; }
void ZuStreamingChannelSourceDefault::OnClose() { std::lock_guard<std::mutex> l(mImpl->lock); mImpl->open = false; }
void ZuStreamingChannelSourceDefault::OnStreamingStart() { std::lock_guard<std::mutex> l(mImpl->lock); mImpl->streaming = true; }
void ZuStreamingChannelSourceDefault::OnStreamingStop() { std::lock_guard<std::mutex> l(mImpl->lock); mImpl->streaming = false; }
void ZuStreamingChannelSourceDefault::CreateRegisters(IZuRegisterMap *, IZuRegisterFactory *) {}
void ZuStreamingChannelSourceDefault::CreateGenApiFeatures(IZuRegisterMap *, IZuGenApiFactory *) {}

bool ZuStreamingChannelSourceDefault::IsPayloadTypeSupported(ZuPayloadType aPayloadType)
{
    return aPayloadType == ZuPayloadTypeImage;
}

void ZuStreamingChannelSourceDefault::SetMultiPartAllowed(bool aAllowed) { mImpl->multiPart = aAllowed; }

void ZuStreamingChannelSourceDefault::SetLargeLeaderTrailerEnabled(bool aEnabled, uint32_t)
{
    mImpl->largeLeaderTrailer = aEnabled;
}

ZuResult ZuStreamingChannelSourceDefault::SetTestPayloadFormatMode(ZuPayloadType aPayloadType)
{
    if (aPayloadType != ZuPayloadTypeNone) return ZuResult(ZU_NOT_SUPPORTED);
    mImpl->testMode = aPayloadType;
    return ZuResult(ZU_OK);
}

ZuBuffer *ZuStreamingChannelSourceDefault::AllocBuffer()
{
    std::lock_guard<std::mutex> l(mImpl->lock);
    if (mImpl->allocated >= std::min(mImpl->bufferCount, kMaxBuffers)) return nullptr;
    // Sized for the largest image the source accepts.
    const uint64_t bytes = (uint64_t(mImpl->maxWidth) * mImpl->maxHeight * ZuPixelTypeGetBitsPerPixel(mImpl->pixelType) + 7) / 8;
    if (bytes == 0 || bytes > kMaxBufferBytes) return nullptr;
    ZuBuffer *buffer = new ZuBuffer(ZuPayloadTypeImage);
    if (!buffer->GetImage()->Alloc(mImpl->maxWidth, mImpl->maxHeight, mImpl->pixelType).IsOK()) {
        delete buffer;
        return nullptr;
    }
    mImpl->buffers.insert(buffer);
    ++mImpl->allocated;
    return buffer;
}

void ZuStreamingChannelSourceDefault::FreeBuffer(ZuBuffer *aBuffer)
{
    std::lock_guard<std::mutex> l(mImpl->lock);
    // Only buffers of this source are freed, each once.
    if (mImpl->buffers.erase(aBuffer) == 0) return;
    delete aBuffer;
    if (mImpl->allocated) --mImpl->allocated;
}

ZuResult ZuStreamingChannelSourceDefault::GetTxNumBuffersToUse(uint32_t &aNumBuffer)
{
    (void)aNumBuffer;
    return ZuResult(ZU_NOT_IMPLEMENTED);
}

void ZuStreamingChannelSourceDefault::AbortQueuedBuffers() {}
