#ifndef ZU_COMPRESSION_FILTER_H
#define ZU_COMPRESSION_FILTER_H

#include "ZuFilter.h"
#include "ZuBufferReceiveTypes.h"

#include <memory>

/// Compresses an image buffer, without loss, into a buffer of payload type
/// ZuPayloadTypeMorvekCompressed that ZuDecompressionFilter turns back into
/// the same image, padding included.
///
/// The encoding (ZuEncodingRZC1) keeps the image's pixel type, size and
/// padding in a header with a checksum, predicts each level from its left
/// neighbour of the same colour and compresses the differences in bands of
/// lines that can be decompressed in parallel, each with a checksum of its
/// own.
class ZU_API ZuCompressionFilter : public IZuFilter
{
public:
    /// Builds a filter that writes ZuEncodingRZC1.
    ZuCompressionFilter();

    /// Destroys the filter.
    virtual ~ZuCompressionFilter();

    /// Compresses the image of aIn into aOut. aOut keeps its memory when it
    /// already holds a compressed payload and the result fits; otherwise it
    /// is reset to a compressed payload and re-allocated (memory it does
    /// not own is then let go). The block ID, timestamp, reception time
    /// and duration of aIn are copied; the acquired size of aOut is the
    /// size of the compressed data.
    /// @param aIn Buffer holding an image of any pixel type with bits per pixel.
    /// @param aOut Buffer that receives the compressed image.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if aIn or aOut is null, if they
    ///   are the same buffer, or if the result cannot be allocated;
    ///   ZU_NOT_SUPPORTED when aIn holds no image or its pixel type has no
    ///   bits per pixel.
    virtual ZuResult Execute(const ZuBuffer *aIn, ZuBuffer *aOut);

    /// The compression runs on one thread: the count cannot be changed.
    /// @param aCount Ignored.
    /// @return ZU_NOT_SUPPORTED.
    virtual ZuResult SetThreadCount(uint32_t aCount);

    /// Returns the number of worker threads: 1.
    virtual uint32_t GetThreadCount() const;

    /// The compression thread's priority is not exposed.
    /// @param aPriority Left unchanged.
    /// @return ZU_NOT_SUPPORTED.
    virtual ZuResult GetThreadsPriority(uint32_t &aPriority) const;

    /// The compression thread's priority cannot be set.
    /// @param aPriority Ignored.
    /// @return ZU_NOT_SUPPORTED.
    virtual ZuResult SetThreadsPriority(uint32_t aPriority);

    /// Chooses the encoding written by later compressions.
    /// @param aValue The encoding.
    /// @return ZU_OK, or ZU_NOT_SUPPORTED for an encoding this filter does
    ///   not write (anything but ZuEncodingRZC1).
    ZuResult SetEncoding(ZuEncodingEnum aValue);

    /// Returns the encoding written.
    ZuEncodingEnum GetEncoding() const;

private:
    ZuCompressionFilter(const ZuCompressionFilter &) = delete;
    ZuCompressionFilter &operator=(const ZuCompressionFilter &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

#endif
