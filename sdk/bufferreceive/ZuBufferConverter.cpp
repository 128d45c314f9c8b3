#include "ZuBufferConverter.h"
#include "ZuBuffer.h"
#include "ZuImage.h"
#include "tarn/BufferFill.h"

#include "BufferHelpers.h"
#include "Conversion.h"
#include "WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <thread>

using tarn::conv::Source;
using tarn::conv::Target;
using tarn::kernels::Lut16;
using tarn::kernels::Lut8;

// ---- RGB filter ------------------------------------------------------------

namespace {

struct FilterValues
{
    double gain[3] = {1, 1, 1};
    int32_t offset[3] = {0, 0, 0};
    bool operator==(const FilterValues &o) const
    {
        return std::equal(gain, gain + 3, o.gain) && std::equal(offset, offset + 3, o.offset);
    }
    bool IsIdentity() const { return *this == FilterValues(); }
};

} // namespace

// Shared by the filter and the converters it is assigned to, so that a
// converter never reads a destroyed filter; guarded because a conversion
// reads it while another thread may change it.
struct ZuBufferConverterRGBFilter::State
{
    FilterValues Get() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return values;
    }

    template <class F>
    void Change(F aChange)
    {
        std::lock_guard<std::mutex> lock(mutex);
        aChange(values);
    }

    mutable std::mutex mutex;
    FilterValues values;
};

namespace {

enum { kR, kG, kB };

// gain * level + offset, rounded half up and limited to [0, aTop]; a gain
// or offset that gives no number (NaN) gives 0.
template <class T>
void FillTable(double aGain, int32_t aOffset, unsigned aTop, T *aTable)
{
    for (unsigned v = 0; v <= aTop; ++v) {
        double y = aGain * v + aOffset;
        aTable[v] = !(y > 0) ? T(0) : y >= aTop ? T(aTop) : T(y + 0.5);
    }
}

template <class Lut>
void FillTables(const FilterValues &aValues, unsigned aTop, Lut &aLut)
{
    FillTable(aValues.gain[kR], aValues.offset[kR], aTop, aLut.r);
    FillTable(aValues.gain[kG], aValues.offset[kG], aTop, aLut.g);
    FillTable(aValues.gain[kB], aValues.offset[kB], aTop, aLut.b);
}

Source SourceOf(const IZuImage &aImage)
{
    return Source{aImage.GetDataPointer(), aImage.GetImageSize(), aImage.GetWidth(), aImage.GetHeight(),
                  aImage.GetPixelType(), aImage.GetPaddingX(), aImage.GetPaddingY()};
}

ZuResult Invalid(const char *aText) { return ZuResult(ZU_INVALID_PARAMETER, ZuString(aText)); }

unsigned Processors()
{
    unsigned n = std::thread::hardware_concurrency();
    return n ? n : 1;
}

}

ZuBufferConverterRGBFilter::ZuBufferConverterRGBFilter() : mState(std::make_shared<State>()) {}
ZuBufferConverterRGBFilter::~ZuBufferConverterRGBFilter() {}

double ZuBufferConverterRGBFilter::GetGainR() const { return mState->Get().gain[kR]; }
double ZuBufferConverterRGBFilter::GetGainG() const { return mState->Get().gain[kG]; }
double ZuBufferConverterRGBFilter::GetGainB() const { return mState->Get().gain[kB]; }
void ZuBufferConverterRGBFilter::SetGainR(double aValue) { mState->Change([&](FilterValues &v) { v.gain[kR] = aValue; }); }
void ZuBufferConverterRGBFilter::SetGainG(double aValue) { mState->Change([&](FilterValues &v) { v.gain[kG] = aValue; }); }
void ZuBufferConverterRGBFilter::SetGainB(double aValue) { mState->Change([&](FilterValues &v) { v.gain[kB] = aValue; }); }
int32_t ZuBufferConverterRGBFilter::GetOffsetR() const { return mState->Get().offset[kR]; }
int32_t ZuBufferConverterRGBFilter::GetOffsetG() const { return mState->Get().offset[kG]; }
int32_t ZuBufferConverterRGBFilter::GetOffsetB() const { return mState->Get().offset[kB]; }
void ZuBufferConverterRGBFilter::SetOffsetR(int32_t aValue) { mState->Change([&](FilterValues &v) { v.offset[kR] = aValue; }); }
void ZuBufferConverterRGBFilter::SetOffsetG(int32_t aValue) { mState->Change([&](FilterValues &v) { v.offset[kG] = aValue; }); }
void ZuBufferConverterRGBFilter::SetOffsetB(int32_t aValue) { mState->Change([&](FilterValues &v) { v.offset[kB] = aValue; }); }
void ZuBufferConverterRGBFilter::Reset() { mState->Change([](FilterValues &v) { v = FilterValues(); }); }

ZuResult ZuBufferConverterRGBFilter::WhiteBalance(ZuBuffer *aBuffer)
{
    const ZuImage *image = aBuffer ? aBuffer->GetImage() : nullptr;
    if (!image)
        return Invalid("no sample image");
    Source source = SourceOf(*image);
    ZuPixelType type = tarn::conv::Supported(source.type, ZuPixelRGB16) ? ZuPixelRGB16 : ZuPixelRGB8;
    ZuResult result = tarn::conv::Check(source, type);
    if (!result.IsOK())
        return result;

    // The sample is converted a band of lines at a time, without filter,
    // and the levels summed.
    const uint32_t band = 16;
    Target target{nullptr, type, 0};
    const size_t stride = tarn::conv::TargetStride(source, target);
    std::vector<uint8_t> lines;
    try {
        lines.resize(stride * band);
    } catch (const std::bad_alloc &) {
        return ZuResult(ZU_NOT_ENOUGH_MEMORY);
    }
    target.data = lines.data();
    tarn::conv::Options options;
    tarn::conv::Scratch scratch;
    uint64_t sum[3] = {0, 0, 0};
    for (uint32_t y = 0; y < source.height; y += band) {
        uint32_t end = std::min(source.height, y + band);
        tarn::conv::ConvertLines(source, target, options, y, end, scratch);
        const size_t samples = size_t(end - y) * source.width * 3;
        if (type == ZuPixelRGB16) {
            const uint16_t *p = reinterpret_cast<const uint16_t *>(lines.data());
            for (size_t i = 0; i < samples; i += 3)
                sum[0] += p[i], sum[1] += p[i + 1], sum[2] += p[i + 2];
        } else {
            const uint8_t *p = lines.data();
            for (size_t i = 0; i < samples; i += 3)
                sum[0] += p[i], sum[1] += p[i + 1], sum[2] += p[i + 2];
        }
    }
    if (!sum[0] || !sum[1] || !sum[2])
        return Invalid("a colour of the sample has a mean of 0: it cannot be balanced");
    // The means share the pixel count, so their ratios are those of the sums.
    const double top = double(std::max({sum[0], sum[1], sum[2]}));
    mState->Change([&](FilterValues &v) {
        for (int c = 0; c < 3; ++c)
            v.gain[c] = top / double(sum[c]);
    });
    return ZuResult();
}

// ---- Converter -------------------------------------------------------------

struct ZuBufferConverter::Impl
{
    explicit Impl(unsigned aThreads) : threads(aThreads), scratch(aThreads) {}

    // Settings, read at the start of each conversion.
    const unsigned threads;
    mutable std::mutex settings;
    ZuBayerFilterType bayer = ZuBayerFilter3X3;
    ZuBiColorFilterType biColor = ZuBiColorFilter1X3;
    std::shared_ptr<ZuBufferConverterRGBFilter::State> filter;
    uint32_t priority = 0;

    // What one conversion uses, one conversion at a time.
    std::mutex convert;
    tarn::WorkerPool pool;
    std::vector<tarn::conv::Scratch> scratch;
    std::unique_ptr<Lut8> lut8;
    std::unique_ptr<Lut16> lut16;
    FilterValues lut8Values, lut16Values;

    ZuResult Prepare(const Source &aSource, ZuBuffer &aDestination, bool aRealloc, Target &aTarget);
    bool Run(const Source &aSource, const Target &aTarget, const tarn::conv::Options &aOptions);
    const void *Tables(const FilterValues &aValues, ZuPixelType aTarget);
};

ZuResult ZuBufferConverter::Impl::Prepare(const Source &aSource, ZuBuffer &aDestination, bool aRealloc,
                                          Target &aTarget)
{
    ZuImage &image = *aDestination.GetImage();
    const ZuPixelType type = image.GetPixelType();
    const uint32_t w = aSource.width, h = aSource.height;
    if (!(image.GetWidth() == w && image.GetHeight() == h && image.GetDataPointer())) {
        // Described anew over memory large enough, whoever owns it; else
        // re-allocated when allowed and the memory is the buffer's own.
        ZuResult fits = tarn::RedescribeImage(image, w, h, type);
        if (fits.GetCode() == ZU_ERR_OVERFLOW)
            return ZuResult(ZU_GENERIC_ERROR, ZuString("the destination image would need 4 GiB or more"));
        if (!fits.IsOK()) {
            if (aDestination.IsAttached())
                return ZuResult(ZU_GENERIC_ERROR,
                                ZuString("the destination's memory is too small and not the buffer's own"));
            if (!aRealloc)
                return ZuResult(ZU_GENERIC_ERROR,
                                ZuString("the destination is too small and may not be re-allocated"));
            if (!image.Alloc(w, h, type).IsOK())
                return ZuResult(ZU_GENERIC_ERROR, ZuString("the destination could not be allocated"));
        }
    }
    aTarget = Target{image.GetDataPointer(), type, image.GetPaddingX()};
    return ZuResult();
}

namespace {

struct Work
{
    const Source *source;
    const Target *target;
    const tarn::conv::Options *options;
    std::vector<tarn::conv::Scratch> *scratch;
    uint32_t tasks;
    size_t stride;
    std::atomic<bool> failed{false};
};

void RunTask(void *aContext, unsigned aIndex, unsigned aWorker)
{
    Work &w = *static_cast<Work *>(aContext);
    const uint32_t h = w.source->height;
    const uint32_t begin = uint32_t(uint64_t(h) * aIndex / w.tasks);
    const uint32_t end = uint32_t(uint64_t(h) * (aIndex + 1) / w.tasks);
    Target target = *w.target;
    target.data += begin * uint64_t(w.stride);
    // Scratch lines of a very wide image may not fit in memory: an
    // exception must not leave a pool thread.
    try {
        tarn::conv::ConvertLines(*w.source, target, *w.options, begin, end, (*w.scratch)[aWorker]);
    } catch (const std::bad_alloc &) {
        w.failed = true;
    }
}

}

bool ZuBufferConverter::Impl::Run(const Source &aSource, const Target &aTarget,
                                  const tarn::conv::Options &aOptions)
{
    // Bands of at least 32K pixels, a few per thread so that a thread held
    // up by the system does not hold up the whole conversion.
    const uint64_t pixels = uint64_t(aSource.width) * aSource.height;
    uint64_t tasks = std::min<uint64_t>({pixels / 32768, uint64_t(threads) * 4, aSource.height});
    tasks = std::max<uint64_t>(tasks, 1);
    const unsigned helpers = std::min<unsigned>(threads - 1, unsigned(tasks - 1));
    if (helpers > pool.Size())
        pool.Grow(helpers); // fewer threads if the system refuses some
    Work work{&aSource, &aTarget, &aOptions, &scratch, uint32_t(tasks), tarn::conv::TargetStride(aSource, aTarget)};
    pool.Run(uint32_t(tasks), helpers, RunTask, &work);
    return !work.failed;
}

const void *ZuBufferConverter::Impl::Tables(const FilterValues &aValues, ZuPixelType aTarget)
{
    const unsigned depth = tarn::conv::ColorDepth(aTarget);
    if (!depth || aValues.IsIdentity())
        return nullptr;
    if (depth == 8) {
        if (!lut8 || !(lut8Values == aValues)) {
            if (!lut8)
                lut8.reset(new Lut8);
            FillTables(aValues, 255, *lut8);
            lut8Values = aValues;
        }
        return lut8.get();
    }
    if (!lut16 || !(lut16Values == aValues)) {
        if (!lut16)
            lut16.reset(new Lut16);
        FillTables(aValues, 65535, *lut16);
        lut16Values = aValues;
    }
    return lut16.get();
}

ZuBufferConverter::ZuBufferConverter(int32_t aMaxNumberOfThreads)
    : mImpl(new Impl(aMaxNumberOfThreads > 0 ? std::min<unsigned>(unsigned(aMaxNumberOfThreads), 256)
                                             : Processors()))
{
}

ZuBufferConverter::~ZuBufferConverter() {}

bool ZuBufferConverter::IsConversionSupported(ZuPixelType aSource, ZuPixelType aDestination)
{
    return tarn::conv::Supported(aSource, aDestination);
}

ZuResult ZuBufferConverter::Convert(const ZuBuffer *aSource, ZuBuffer *aDestination, bool aReallocIfNeeded,
                                    bool aFlipY)
{
    if (!aSource)
        return Invalid("no source");
    const ZuImage *image = aSource->GetImage();
    if (!image)
        return Invalid("the source holds no image");
    return Convert(image, aDestination, aReallocIfNeeded, aFlipY);
}

ZuResult ZuBufferConverter::Convert(const IZuImage *aSource, ZuBuffer *aDestination, bool aReallocIfNeeded,
                                    bool aFlipY)
{
    if (!aSource)
        return Invalid("no source");
    if (!aDestination)
        return Invalid("no destination");
    ZuImage *image = aDestination->GetImage();
    if (!image)
        return Invalid("the destination holds no image payload");
    const ZuPixelType type = image->GetPixelType();
    if (type == ZuPixelUndefined)
        return Invalid("the destination's pixel type is not set");
    const Source source = SourceOf(*aSource);
    ZuResult result = tarn::conv::Check(source, type);
    if (!result.IsOK())
        return result;
    // Re-allocating the destination would free a source that lives in it.
    if (tarn::Overlap(*aDestination, source.data, source.size))
        return Invalid("the source lies in the destination's memory");

    std::lock_guard<std::mutex> running(mImpl->convert);
    tarn::conv::Options options;
    FilterValues values;
    {
        std::lock_guard<std::mutex> lock(mImpl->settings);
        options.bayer3x3 = mImpl->bayer == ZuBayerFilter3X3;
        options.biColor1x3 = mImpl->biColor == ZuBiColorFilter1X3;
        if (mImpl->filter)
            values = mImpl->filter->Get();
    }
    options.flipY = aFlipY;
    Target target;
    result = mImpl->Prepare(source, *aDestination, aReallocIfNeeded, target);
    if (!result.IsOK())
        return result;
    const void *tables = nullptr;
    try {
        tables = mImpl->Tables(values, type);
    } catch (const std::bad_alloc &) {
        return ZuResult(ZU_GENERIC_ERROR, ZuString("memory for the RGB filter could not be allocated"));
    }
    options.lut8 = tarn::conv::ColorDepth(type) == 8 ? static_cast<const Lut8 *>(tables) : nullptr;
    options.lut16 = tarn::conv::ColorDepth(type) == 16 ? static_cast<const Lut16 *>(tables) : nullptr;
    if (!mImpl->Run(source, target, options))
        return ZuResult(ZU_GENERIC_ERROR, ZuString("memory for the conversion could not be allocated"));

    aDestination->SetBlockID(aSource->GetBlockID());
    aDestination->SetTimestamp(aSource->GetTimestamp());
    aDestination->SetReceptionTime(aSource->GetReceptionTime());
    image->SetOffsetX(aSource->GetOffsetX());
    image->SetOffsetY(aSource->GetOffsetY());
    return ZuResult();
}

ZuBayerFilterType ZuBufferConverter::GetBayerFilter() const
{
    std::lock_guard<std::mutex> lock(mImpl->settings);
    return mImpl->bayer;
}

ZuResult ZuBufferConverter::SetBayerFilter(ZuBayerFilterType aFilter)
{
    if (aFilter != ZuBayerFilterSimple && aFilter != ZuBayerFilter3X3)
        return Invalid("no such Bayer filter");
    std::lock_guard<std::mutex> lock(mImpl->settings);
    mImpl->bayer = aFilter;
    return ZuResult();
}

ZuBiColorFilterType ZuBufferConverter::GetBiColorFilter() const
{
    std::lock_guard<std::mutex> lock(mImpl->settings);
    return mImpl->biColor;
}

ZuResult ZuBufferConverter::SetBiColorFilter(ZuBiColorFilterType aFilter)
{
    if (aFilter != ZuBiColorFilter1X2 && aFilter != ZuBiColorFilter1X3)
        return Invalid("no such bi-colour filter");
    std::lock_guard<std::mutex> lock(mImpl->settings);
    mImpl->biColor = aFilter;
    return ZuResult();
}

ZuResult ZuBufferConverter::ResetRGBFilter()
{
    std::lock_guard<std::mutex> lock(mImpl->settings);
    mImpl->filter.reset();
    return ZuResult();
}

ZuResult ZuBufferConverter::SetRGBFilter(ZuBufferConverterRGBFilter &aFilter)
{
    std::lock_guard<std::mutex> lock(mImpl->settings);
    mImpl->filter = aFilter.mState;
    return ZuResult();
}

uint32_t ZuBufferConverter::GetConversionThreadsPriority() const
{
    std::lock_guard<std::mutex> lock(mImpl->settings);
    return mImpl->priority;
}

ZuResult ZuBufferConverter::SetConversionThreadsPriority(uint32_t aPriority)
{
    if (aPriority > 99)
        return Invalid("priorities go from 0 to 99");
    std::lock_guard<std::mutex> lock(mImpl->settings);
    if (mImpl->pool.SetPriority(aPriority))
        return ZuResult(ZU_THREAD_ERROR, ZuString("the system refused the priority"));
    mImpl->priority = aPriority;
    return ZuResult();
}
