#ifndef ZU_DECOMPRESSION_FILTER_H
#define ZU_DECOMPRESSION_FILTER_H

#include "ZuFilter.h"
#include "ZuPixelType.h"

#include <memory>

/// Decompresses a buffer written by ZuCompressionFilter back into the
/// image it was made from, using several worker threads.
///
/// The whole input is checked before and while it is decoded: its header
/// checksum, its sizes against the memory of the buffer, and the checksum
/// of every band of lines. A truncated or damaged input is refused with
/// ZU_IMAGE_ERROR; nothing is read or written outside the two buffers.
class ZU_API ZuDecompressionFilter : public IZuFilter
{
public:
    /// Builds a filter with one worker thread for each two logical
    /// processors (one at least). Its priority reads 3, the normal one: the
    /// threads stay on the normal scheduler until a priority is set.
    ZuDecompressionFilter();

    /// Stops the worker threads and destroys the filter.
    virtual ~ZuDecompressionFilter();

    /// Decompresses aIn into the image of aOut. aOut is re-allocated when
    /// it is not an image or does not match the required pixel type, width,
    /// height or padding; otherwise its memory is written in place. The
    /// block ID, timestamp, reception time and duration of aIn are copied.
    /// @param aIn Compressed buffer.
    /// @param aOut Buffer that receives the image.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if aIn or aOut is null, if they
    ///   are the same buffer, or if the image cannot be allocated;
    ///   ZU_NOT_SUPPORTED if aIn is not a compressed buffer or its encoding
    ///   is of a later version; ZU_IMAGE_ERROR if the input is corrupted or
    ///   truncated (aOut may then hold part of the image).
    virtual ZuResult Execute(const ZuBuffer *aIn, ZuBuffer *aOut);

    /// Sets the number of worker threads.
    /// @param aCount 1 to 64.
    /// @return ZU_OK; ZU_INVALID_PARAMETER outside 1 to 64;
    ///   ZU_NOT_ENOUGH_MEMORY when not all threads could be started (the
    ///   filter then keeps those that were).
    virtual ZuResult SetThreadCount(uint32_t aCount);

    /// Returns the number of worker threads.
    virtual uint32_t GetThreadCount() const;

    /// Reads the priority of the worker threads.
    /// @param aPriority Receives the priority.
    /// @return ZU_OK.
    virtual ZuResult GetThreadsPriority(uint32_t &aPriority) const;

    /// Sets the priority of all worker threads of the filter; see IZuFilter.
    /// @param aPriority 0 to 99.
    /// @return ZU_OK; ZU_INVALID_PARAMETER above 99; ZU_THREAD_ERROR when
    ///   the system refuses it.
    virtual ZuResult SetThreadsPriority(uint32_t aPriority);

    /// Tells whether a buffer can be decompressed by this class: its
    /// payload (ZuPayloadTypeMorvekCompressed, or raw data or a file that
    /// holds such a payload) starts with an intact header of a known version.
    /// @param aIn Buffer to look at; null gives false.
    static bool IsCompressed(const ZuBuffer *aIn);

    /// Reads the image format a compressed buffer decompresses into.
    /// @param aIn Compressed buffer.
    /// @param aPixelType Receives the pixel type.
    /// @param aWidth Receives the width.
    /// @param aHeight Receives the height.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for a null buffer;
    ///   ZU_NOT_SUPPORTED when the buffer is not a compatible compressed
    ///   buffer (the three values are then left unchanged).
    static ZuResult GetOutputFormatFor(const ZuBuffer *aIn, ZuPixelType &aPixelType, uint32_t &aWidth, uint32_t &aHeight);

private:
    ZuDecompressionFilter(const ZuDecompressionFilter &) = delete;
    ZuDecompressionFilter &operator=(const ZuDecompressionFilter &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

#endif
