#ifndef ZU_IMAGE_JPEG_H
#define ZU_IMAGE_JPEG_H

#include "ZuBaseApi.h"

/// A JPEG or JPEG 2000 image held by a payload section: the compressed
/// bytes and what the GigE Vision stream reports about them.
class ZU_API IZuImageJPEG
{
public:
    virtual ~IZuImageJPEG() {}

    /// Returns the compressed bytes, read-only.
    virtual const uint8_t *GetDataPointer() const = 0;

    /// Returns the compressed bytes.
    /// @return Pointer to GetDataSize() bytes; null when there are none.
    virtual uint8_t *GetDataPointer() = 0;

    /// Returns the JPEG flag byte of the stream leader.
    virtual uint8_t GetFlag() const = 0;

    /// Returns the frequency of the timestamp counter, in ticks per second.
    virtual uint64_t GetTimestampTickFrequency() const = 0;

    /// Returns the data format of the compressed image.
    virtual uint32_t GetDataFormat() const = 0;

    /// Returns the number of compressed bytes.
    virtual uint64_t GetDataSize() const = 0;
};

#endif
