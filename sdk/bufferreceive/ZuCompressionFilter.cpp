#include "ZuCompressionFilter.h"
#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuPixelTypeInfo.h"

#include "BufferHelpers.h"
#include "tarn/Rzc.h"
#include "tarn/BufferFill.h"

#include <atomic>
#include <mutex>
#include <new>
#include <vector>
#include <zstd.h>

struct ZuCompressionFilter::Impl
{
    ~Impl() { ZSTD_freeCCtx(context); }

    std::mutex mutex; // one compression at a time
    std::atomic<ZuEncodingEnum> encoding{ZuEncodingRZC1};
    ZSTD_CCtx *context = nullptr;
    std::vector<uint8_t> scratch;
};

ZuCompressionFilter::ZuCompressionFilter() : mImpl(new Impl) {}
ZuCompressionFilter::~ZuCompressionFilter() {}

ZuResult ZuCompressionFilter::Execute(const ZuBuffer *aIn, ZuBuffer *aOut)
{
    ZuResult checked = tarn::CheckInOut(aIn, aOut);
    if (!checked.IsOK())
        return checked;
    const ZuImage *image = aIn->GetImage();
    if (!image || !image->GetDataPointer())
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("the input holds no image"));
    if (ZuPixelTypeGetBitsPerPixel(image->GetPixelType()) == 0)
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("the input's pixel type has no bits per pixel"));
    const tarn::rzc::Image raw{image->GetDataPointer(), image->GetPixelType(), image->GetWidth(),
                               image->GetHeight(), image->GetPaddingX(), image->GetPaddingY(),
                               image->GetImageSize()};
    if (tarn::Overlap(*aOut, raw.data, raw.size))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the output's memory holds the input image"));

    std::lock_guard<std::mutex> lock(mImpl->mutex);
    if (!mImpl->context && !(mImpl->context = ZSTD_createCCtx()))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no memory for the compression"));
    const size_t bound = tarn::rzc::Bound(raw);
    if (bound > UINT32_MAX)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the compressed image could need 4 GiB or more"));

    // The output's memory is kept when it already holds a compressed
    // payload: a stream of images compresses without allocating. Memory the
    // buffer does not own is written only if the result fits in it.
    const bool reuse = aOut->GetPayloadType() == ZuPayloadTypeMorvekCompressed && aOut->GetDataPointer();
    if (!reuse || (aOut->GetSize() < bound && !aOut->IsAttached())) {
        if (!reuse)
            aOut->Reset(ZuPayloadTypeMorvekCompressed);
        if (!aOut->Alloc(uint32_t(bound)).IsOK())
            return ZuResult(ZU_INVALID_PARAMETER, ZuString("no memory for the compressed image"));
    }
    size_t written;
    try {
        written = tarn::rzc::Encode(mImpl->context, raw, aOut->GetDataPointer(), aOut->GetSize(), mImpl->scratch);
    } catch (const std::bad_alloc &) {
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no memory for the compression"));
    }
    if (!written)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the compressed image does not fit the output's memory"));
    tarn::FillOf(*aOut).acquiredSize = uint32_t(written);
    tarn::CopyStamps(*aIn, *aOut);
    return ZuResult();
}

ZuResult ZuCompressionFilter::SetThreadCount(uint32_t)
{
    return ZuResult(ZU_NOT_SUPPORTED, ZuString("the compression filter is not multi-threaded"));
}

uint32_t ZuCompressionFilter::GetThreadCount() const { return 1; }

ZuResult ZuCompressionFilter::GetThreadsPriority(uint32_t &) const
{
    return ZuResult(ZU_NOT_SUPPORTED, ZuString("the compression filter is not multi-threaded"));
}

ZuResult ZuCompressionFilter::SetThreadsPriority(uint32_t)
{
    return ZuResult(ZU_NOT_SUPPORTED, ZuString("the compression filter is not multi-threaded"));
}

ZuResult ZuCompressionFilter::SetEncoding(ZuEncodingEnum aValue)
{
    if (aValue != ZuEncodingRZC1)
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("the compression filter writes ZuEncodingRZC1 only"));
    mImpl->encoding = aValue;
    return ZuResult();
}

ZuEncodingEnum ZuCompressionFilter::GetEncoding() const
{
    return mImpl->encoding;
}
