#ifndef ZU_IMAGE_H
#define ZU_IMAGE_H

#include "ZuBaseApi.h"
#include "ZuResult.h"
#include "ZuPixelType.h"

#include <memory>

class ZuBuffer;
namespace tarn { struct BufferAccess; }

/// Description of an image in memory: its size, pixel type, offsets and
/// padding, and the pixel memory itself.
///
/// Padding X counts pixels added at the end of every line, padding Y lines
/// added at the end of the image, so an image occupies
/// (width + padding X) x (height + padding Y) pixels in memory.
class ZU_API IZuImage
{
public:
    virtual ~IZuImage() {}

    /// Returns the pixel memory, read-only.
    virtual const uint8_t *GetDataPointer() const = 0;

    /// Returns the pixel memory: GetImageSize() bytes, line after line.
    /// @return The first pixel; null when the image has no memory.
    virtual uint8_t *GetDataPointer() = 0;

    /// Returns the bytes the image occupies, padding included.
    virtual uint32_t GetImageSize() const = 0;

    /// Returns the width in pixels, padding excluded.
    virtual uint32_t GetWidth() const = 0;

    /// Returns the height in lines, padding excluded.
    virtual uint32_t GetHeight() const = 0;

    /// Returns the pixel type.
    virtual ZuPixelType GetPixelType() const = 0;

    /// Returns the horizontal offset of the image on the sensor.
    virtual uint32_t GetOffsetX() const = 0;

    /// Returns the vertical offset of the image on the sensor.
    virtual uint32_t GetOffsetY() const = 0;

    /// Returns the pixels added at the end of every line.
    virtual uint16_t GetPaddingX() const = 0;

    /// Returns the lines added at the end of the image.
    virtual uint16_t GetPaddingY() const = 0;

    /// Returns the block ID of the image.
    virtual uint64_t GetBlockID() const = 0;

    /// Returns the device's timestamp of the image.
    virtual uint64_t GetTimestamp() const = 0;

    /// Returns the host time at which the image arrived.
    virtual uint64_t GetReceptionTime() const = 0;
};

/// The image view of a buffer (ZuPayloadTypeImage,
/// ZuPayloadTypeExtendedChunkData): adds memory management and the status
/// that a frame grabber reports. The buffer owns it.
class ZU_API ZuImage : public IZuImage
{
public:
    virtual const uint8_t *GetDataPointer() const;
    virtual uint8_t *GetDataPointer();
    virtual uint32_t GetImageSize() const;
    virtual uint32_t GetWidth() const;
    virtual uint32_t GetHeight() const;
    virtual ZuPixelType GetPixelType() const;
    virtual uint32_t GetOffsetX() const;
    virtual uint32_t GetOffsetY() const;
    virtual uint16_t GetPaddingX() const;
    virtual uint16_t GetPaddingY() const;
    virtual uint64_t GetBlockID() const;
    virtual uint64_t GetTimestamp() const;
    virtual uint64_t GetReceptionTime() const;

    /// Returns the chunk space that follows the image.
    virtual uint32_t GetMaximumChunkLength() const;

    /// Returns the memory the image needs: its size and its chunk space.
    virtual uint32_t GetRequiredSize() const;

    /// Returns the bytes of the pixels themselves, padding excluded.
    virtual uint32_t GetEffectiveImageSize() const;

    /// Sets the horizontal offset of the image on the sensor.
    /// @param aValue Offset in pixels.
    virtual void SetOffsetX(uint32_t aValue);

    /// Sets the vertical offset of the image on the sensor.
    /// @param aValue Offset in lines.
    virtual void SetOffsetY(uint32_t aValue);

    virtual bool IsAllocated() const;
    virtual bool IsAttached() const;

    /// Allocates an image, releasing earlier memory.
    /// @param aSizeX Width in pixels.
    /// @param aSizeY Height in lines.
    /// @param aPixelType Pixel type; its bits per pixel give the memory size.
    /// @param aPaddingX Pixels added at the end of every line.
    /// @param aPaddingY Lines added at the end of the image.
    /// @param aMaximumChunkLength Bytes of chunk space after the image.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for an empty image or a pixel type
    ///   without bits per pixel; ZU_ERR_OVERFLOW when the image needs 4 GiB or more.
    virtual ZuResult Alloc(uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX = 0, uint16_t aPaddingY = 0, uint32_t aMaximumChunkLength = 0);

    /// Releases allocated memory (and lets attached memory go).
    virtual void Free();

    /// Attaches caller memory that holds GetRequiredSize() bytes for the
    /// image described. The memory stays the caller's and must outlive the
    /// attachment.
    /// @param aRawBuffer Memory to attach.
    /// @param aSizeX Width in pixels.
    /// @param aSizeY Height in lines.
    /// @param aPixelType Pixel type.
    /// @param aPaddingX Pixels added at the end of every line.
    /// @param aPaddingY Lines added at the end of the image.
    /// @param aMaximumChunkLength Bytes of chunk space after the image.
    /// @return As Alloc; ZU_INVALID_PARAMETER also for a null pointer.
    virtual ZuResult Attach(void *aRawBuffer, uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType, uint16_t aPaddingX = 0, uint16_t aPaddingY = 0, uint32_t aMaximumChunkLength = 0);

    /// Lets attached memory go; the image forgets its description.
    /// @return The memory that was attached, null when none was.
    virtual uint8_t *Detach();

    /// Tests whether part of a line was lost.
    virtual bool IsPartialLineMissing() const;

    /// Tests whether a whole line was lost.
    virtual bool IsFullLineMissing() const;

    /// Sets or clears the lost-line status.
    /// @param aValue true when a whole line was lost.
    /// @param aLineNumber The line concerned.
    virtual void SetFullLineMissing(bool aValue, uint32_t aLineNumber);

    /// Sets or clears the status telling that the frame ended on its line count.
    /// @param aValue New status.
    virtual void SetEOFByLineCount(bool aValue = true);

    /// Clears the end-of-frame status.
    virtual void ClearEOFStatus();

    /// Tests whether the frame ended on its line count.
    virtual bool IsEOFByLineCount() const;

    /// Tests whether the image is the even field of an interlaced frame.
    virtual bool IsInterlacedEven() const;

    /// Tests whether the image is the odd field of an interlaced frame.
    virtual bool IsInterlacedOdd() const;

    /// Tests whether the frame grabber dropped the image.
    virtual bool IsImageDropped() const;

    /// Tests whether the frame grabber's memory overran.
    virtual bool IsDataOverrun() const;

    /// Returns the buffer that holds the image.
    virtual ZuBuffer *GetBuffer();

    virtual ~ZuImage();

private:
    // A view of the buffer that makes and owns it.
    friend struct tarn::BufferAccess;
    explicit ZuImage(ZuBuffer *aBuffer);
    ZuImage(const ZuImage &) = delete;
    ZuImage &operator=(const ZuImage &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

/// A 24-bit pixel value, least significant byte first.
struct uint24_t
{
    uint8_t PixelValue[3]; ///< The three bytes of the value.
};

/// The 24-bit value type of GenDC data.
typedef uint24_t GenDCDataU24;

#endif
