#include "ZuDecompressionFilter.h"
#include "ZuBuffer.h"
#include "ZuImage.h"

#include "BufferHelpers.h"
#include "tarn/Rzc.h"
#include "WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <thread>
#include <vector>
#include <zstd.h>

namespace {

const uint32_t kMaxThreads = 64;

// What a thread keeps from one decompression to the next.
struct Worker
{
    Worker() = default;
    Worker(const Worker &) = delete;
    ~Worker() { ZSTD_freeDCtx(context); }
    ZSTD_DCtx *context = nullptr;
    std::vector<uint8_t> scratch;
};

// Compressed data: a buffer of a payload that may carry it, read no
// further than its memory.
tarn::rzc::Status ReadBuffer(const ZuBuffer *aIn, tarn::rzc::Header &aHeader,
                             std::vector<tarn::rzc::Band> *aBands = nullptr)
{
    switch (aIn->GetPayloadType()) {
    case ZuPayloadTypeMorvekCompressed:
    case ZuPayloadTypeRawData:
    case ZuPayloadTypeFile: break;
    default: return tarn::rzc::Status::NotEncoded;
    }
    return tarn::rzc::Read(aIn->GetDataPointer(), aIn->GetSize(), aHeader, aBands);
}

}

struct ZuDecompressionFilter::Impl
{
    Impl() : workers(kMaxThreads) {}

    std::mutex mutex; // one decompression at a time
    tarn::WorkerPool pool;
    std::vector<Worker> workers;
    std::vector<tarn::rzc::Band> bands;
    std::atomic<uint32_t> priority{3};

    struct Job
    {
        Impl *impl;
        const tarn::rzc::Header *header;
        uint8_t *image;
        std::atomic<bool> failed{false};
    };
    static void Decode(void *aContext, unsigned aIndex, unsigned aWorker);
};

void ZuDecompressionFilter::Impl::Decode(void *aContext, unsigned aIndex, unsigned aWorker)
{
    Job &job = *static_cast<Job *>(aContext);
    if (job.failed)
        return;
    Worker &w = job.impl->workers[aWorker];
    bool ok = false;
    try {
        if (!w.context)
            w.context = ZSTD_createDCtx();
        ok = w.context && tarn::rzc::DecodeBand(w.context, *job.header, job.impl->bands[aIndex], job.image, w.scratch);
    } catch (const std::bad_alloc &) {
    }
    if (!ok)
        job.failed = true;
}

ZuDecompressionFilter::ZuDecompressionFilter() : mImpl(new Impl)
{
    unsigned processors = std::thread::hardware_concurrency();
    mImpl->pool.Grow(std::max(1u, processors / 2) - 1);
}

ZuDecompressionFilter::~ZuDecompressionFilter() {}

ZuResult ZuDecompressionFilter::Execute(const ZuBuffer *aIn, ZuBuffer *aOut)
{
    ZuResult checked = tarn::CheckInOut(aIn, aOut);
    if (!checked.IsOK())
        return checked;

    std::lock_guard<std::mutex> lock(mImpl->mutex);
    tarn::rzc::Header header;
    switch (ReadBuffer(aIn, header, &mImpl->bands)) {
    case tarn::rzc::Status::Ok: break;
    case tarn::rzc::Status::NotEncoded:
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("the input is not a compressed image"));
    case tarn::rzc::Status::NewerVersion:
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("the input's encoding is of a later version"));
    case tarn::rzc::Status::Corrupt:
        return ZuResult(ZU_IMAGE_ERROR, ZuString("the compressed image is damaged or cut short"));
    }
    if (tarn::Overlap(*aOut, aIn->GetDataPointer(), aIn->GetSize()))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the output's memory holds the input"));

    ZuImage *image = aOut->GetImage();
    const bool matches = image && image->GetDataPointer() && image->GetPixelType() == header.type &&
                         image->GetWidth() == header.width && image->GetHeight() == header.height &&
                         image->GetPaddingX() == header.paddingX && image->GetPaddingY() == header.paddingY;
    if (!matches) {
        if (!image) {
            aOut->Reset(ZuPayloadTypeImage);
            image = aOut->GetImage();
        }
        if (!image->Alloc(header.width, header.height, header.type, header.paddingX, header.paddingY).IsOK())
            return ZuResult(ZU_INVALID_PARAMETER, ZuString("no memory for the image"));
    }

    Impl::Job job;
    job.impl = mImpl.get();
    job.header = &header;
    job.image = image->GetDataPointer();
    mImpl->pool.Run(header.bands, mImpl->pool.Size(), Impl::Decode, &job);
    if (job.failed)
        return ZuResult(ZU_IMAGE_ERROR, ZuString("a band of the compressed image is damaged"));
    tarn::CopyStamps(*aIn, *aOut);
    return ZuResult();
}

ZuResult ZuDecompressionFilter::SetThreadCount(uint32_t aCount)
{
    if (aCount < 1 || aCount > kMaxThreads)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the thread count goes from 1 to 64"));
    // The calling thread is one of them.
    if (!mImpl->pool.Grow(aCount - 1))
        return ZuResult(ZU_NOT_ENOUGH_MEMORY, ZuString("not all threads could be started"));
    mImpl->pool.Shrink(aCount - 1);
    return ZuResult();
}

uint32_t ZuDecompressionFilter::GetThreadCount() const { return mImpl->pool.Size() + 1; }

ZuResult ZuDecompressionFilter::GetThreadsPriority(uint32_t &aPriority) const
{
    aPriority = mImpl->priority;
    return ZuResult();
}

ZuResult ZuDecompressionFilter::SetThreadsPriority(uint32_t aPriority)
{
    if (aPriority > 99)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("priorities go from 0 to 99"));
    if (mImpl->pool.SetPriority(aPriority))
        return ZuResult(ZU_THREAD_ERROR, ZuString("the system refused the priority"));
    mImpl->priority = aPriority;
    return ZuResult();
}

bool ZuDecompressionFilter::IsCompressed(const ZuBuffer *aIn)
{
    tarn::rzc::Header header;
    return aIn && ReadBuffer(aIn, header) == tarn::rzc::Status::Ok;
}

ZuResult ZuDecompressionFilter::GetOutputFormatFor(const ZuBuffer *aIn, ZuPixelType &aPixelType, uint32_t &aWidth,
                                                   uint32_t &aHeight)
{
    if (!aIn)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no buffer"));
    tarn::rzc::Header header;
    if (ReadBuffer(aIn, header) != tarn::rzc::Status::Ok)
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("the buffer is not a compressed image"));
    aPixelType = header.type;
    aWidth = header.width;
    aHeight = header.height;
    return ZuResult();
}
