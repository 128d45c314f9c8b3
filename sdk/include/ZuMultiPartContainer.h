#ifndef ZU_MULTI_PART_CONTAINER_H
#define ZU_MULTI_PART_CONTAINER_H

#include "ZuBaseApi.h"
#include "ZuResult.h"
#include "ZuPixelType.h"
#include "ZuMultiPartTypes.h"

class IZuImage;
class IZuImageJPEG;
class IZuChunkData;
class IZuMultiPartSection;

/// Read access to the parts of a multi-part payload.
class ZU_API IZuMultiPartContainerReader
{
public:
    virtual ~IZuMultiPartContainerReader() {}

    /// Returns how many parts the payload has.
    virtual uint32_t GetPartCount() = 0;

    /// Returns a part, read-only.
    /// @param aIndex Position of the part, from 0.
    virtual const IZuMultiPartSection *GetPart(uint32_t aIndex) const = 0;

    /// Returns a part.
    /// @param aIndex Position of the part, from 0.
    /// @return The part; null when there is none at that position.
    virtual IZuMultiPartSection *GetPart(uint32_t aIndex) = 0;
};

/// Builds a multi-part payload: first the parts are defined, in order, then
/// they are given memory, filled, and their final sizes confirmed.
///
/// A chunk-data part can only come last. Memory given by AllocAllParts,
/// AllocPart and AttachPart replaces the part's former memory, so views of a
/// part taken before show the former memory.
class ZU_API IZuMultiPartContainerWriter : public IZuMultiPartContainerReader
{
public:
    virtual ~IZuMultiPartContainerWriter() {}

    /// Forgets every part and releases their memory.
    virtual void Reset() = 0;

    /// Defines an image part after the last part.
    /// @param aDataType One of the image kinds (1 to 9).
    /// @param aWidth Width in pixels.
    /// @param aMaxHeight Largest height, in lines, the part will hold.
    /// @param aPixelType Pixel type; its bits per pixel size the memory.
    /// @param aOffsetX Horizontal offset of the image on the sensor.
    /// @param aOffsetY Vertical offset of the image on the sensor.
    /// @param aPaddingX Pixels added at the end of every line.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for another kind, a zero width or
    ///   height or a pixel type without bits per pixel; ZU_STATE_ERROR after
    ///   the chunk part; ZU_ERR_OVERFLOW when no part may be added or the image
    ///   needs 4 GiB or more; ZU_NOT_SUPPORTED when the buffer is not multi-part.
    virtual ZuResult AddImagePart(ZuMultiPartDataType aDataType, uint32_t aWidth, uint32_t aMaxHeight, ZuPixelType aPixelType, uint32_t aOffsetX = 0, uint32_t aOffsetY = 0, uint16_t aPaddingX = 0) = 0;

    /// Defines a JPEG or JPEG 2000 part after the last part.
    /// @param aDataType ZuMultiPartJPEGImage or ZuMultiPartJPEG2000Image.
    /// @param aMaxLength Largest number of compressed bytes.
    /// @param aFlag JPEG flag byte of the stream leader.
    /// @param aTimestampTickFrequency Ticks per second of the timestamp counter.
    /// @param aDataFormat Data format of the compressed image.
    /// @return As AddImagePart; ZU_INVALID_PARAMETER also for a length of 0.
    virtual ZuResult AddJPEGPart(ZuMultiPartDataType aDataType, uint32_t aMaxLength, uint8_t aFlag, uint64_t aTimestampTickFrequency, uint32_t aDataFormat) = 0;

    /// Defines the chunk-data part, which stays the last part.
    /// @param aMaxLength Largest number of bytes of chunks and their trailers.
    /// @param aChunkLayoutID Chunk layout ID of the device.
    /// @return As AddJPEGPart.
    virtual ZuResult AddChunkPart(uint32_t aMaxLength, uint32_t aChunkLayoutID) = 0;

    /// Sets the IDs a part is sent with; a part starts with all IDs 0.
    /// @param aIndex Position of the part, from 0.
    /// @param aSourceID Source (sensor) ID.
    /// @param aDataPurposeID What the data is for.
    /// @param aRegionID Region of interest.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for an index without a part;
    ///   ZU_INVALID_DATA_FORMAT for the chunk part or a buffer that is not multi-part.
    virtual ZuResult SetPartIDs(uint32_t aIndex, uint32_t aSourceID, uint32_t aDataPurposeID, uint32_t aRegionID) = 0;

    /// Sets the zones of a part's image; a part starts with one zone, top-down.
    /// @param aIndex Position of the part, from 0.
    /// @param aAdditionalZones Zones after the first.
    /// @param aZoneDirectionMask One bit per zone, set for bottom-up.
    /// @return As SetPartIDs.
    virtual ZuResult SetPartZoneInfo(uint32_t aIndex, uint8_t aAdditionalZones, uint32_t aZoneDirectionMask) = 0;

    /// Gives all defined parts one block of memory, one part after the other,
    /// releasing the memory they had.
    /// @return ZU_OK; ZU_STATE_ERROR without parts; ZU_ERR_OVERFLOW when the
    ///   block would need 4 GiB or more; ZU_NOT_ENOUGH_MEMORY; ZU_NOT_SUPPORTED
    ///   when the buffer is not multi-part.
    virtual ZuResult AllocAllParts() = 0;

    /// Gives one part memory of its own, releasing the memory it had.
    /// @param aIndex Position of the part, from 0.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for an index without a part;
    ///   ZU_NOT_ENOUGH_MEMORY; ZU_NOT_SUPPORTED when the buffer is not multi-part.
    virtual ZuResult AllocPart(uint32_t aIndex) = 0;

    /// Gives one part caller memory, releasing the memory it had. The memory
    /// stays the caller's and must outlive the attachment.
    /// @param aIndex Position of the part, from 0.
    /// @param aBuffer Memory for the part.
    /// @param aLength Bytes in aBuffer: at least the part's GetSize().
    /// @return ZU_OK; ZU_NOT_FOUND for an index without a part;
    ///   ZU_INVALID_PARAMETER for no memory or too little; ZU_NOT_SUPPORTED
    ///   when the buffer is not multi-part.
    virtual ZuResult AttachPart(uint32_t aIndex, void *aBuffer, uint64_t aLength) = 0;

    /// Confirms how many bytes a JPEG or chunk part holds.
    /// @param aIndex Position of the part, from 0.
    /// @param aLength Bytes, at most the maximum length.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for an index without a part, an
    ///   image part or a length above the maximum.
    virtual ZuResult SetPartFinalLength(uint32_t aIndex, uint32_t aLength) = 0;

    /// Confirms how many lines an image part holds.
    /// @param aIndex Position of the part, from 0.
    /// @param aHeight Lines, at most the maximum height.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for an index without a part, a
    ///   part that is no image or a height above the maximum.
    virtual ZuResult SetPartFinalImageHeight(uint32_t aIndex, uint32_t aHeight) = 0;

    /// Checks that the payload can be sent: at least one part, each with memory.
    /// @return ZU_OK; ZU_STATE_ERROR without parts; ZU_BUFFER_TOO_SMALL for a
    ///   part without memory; ZU_NOT_SUPPORTED when the buffer is not multi-part.
    virtual ZuResult Validate() = 0;
};

/// The multi-part container of a buffer (ZuPayloadTypeMultiPart). The
/// buffer owns it; resetting the buffer empties it.
class ZU_API IZuMultiPartContainer : public IZuMultiPartContainerWriter
{
public:
    virtual ~IZuMultiPartContainer() {}
};

/// One part of a multi-part payload: its memory, how much of it holds data,
/// what kind of data that is, and the IDs and zones that the GigE Vision
/// stream reports with it.
///
/// A section belongs to its container and lives as long as the container
/// does. When the container forgets the part (Reset), the section stays
/// usable and reports an invalid part without memory.
class ZU_API IZuMultiPartSection
{
public:
    virtual ~IZuMultiPartSection() {}

    /// Returns the part's memory, read-only.
    virtual const uint8_t *GetDataPointer() const = 0;

    /// Returns the part's memory: GetSize() bytes, of which the first
    /// GetEffectiveSize() hold data.
    /// @return The first byte; null while the part has no memory.
    virtual uint8_t *GetDataPointer() = 0;

    /// Returns the bytes the part may hold at most: its image at the maximum
    /// height, or its maximum length.
    virtual uint32_t GetSize() const = 0;

    /// Returns the bytes that hold data: the image at its final height, or
    /// the final length; the maximum until a final value is confirmed.
    virtual uint32_t GetEffectiveSize() const = 0;

    /// Returns what the part holds.
    virtual ZuMultiPartDataType GetDataType() const = 0;

    /// Returns the image view, read-only.
    virtual const IZuImage *GetImage() const = 0;
    /// Returns the JPEG view, read-only.
    virtual const IZuImageJPEG *GetJPEG() const = 0;
    /// Returns the chunk view, read-only.
    virtual const IZuChunkData *GetChunkData() const = 0;

    /// Returns the part as an image.
    /// @return The view for the image and plane kinds and confidence maps, else null.
    virtual IZuImage *GetImage() = 0;

    /// Returns the part as a compressed image.
    /// @return The view for the JPEG and JPEG 2000 kinds, else null.
    virtual IZuImageJPEG *GetJPEG() = 0;

    /// Returns the part's chunks.
    /// @return The view for the chunk-data kind, else null.
    virtual IZuChunkData *GetChunkData() = 0;

    /// Returns the ID of the source (sensor) the part comes from.
    virtual uint32_t GetSourceID() const = 0;

    /// Returns the ID that tells what the part's data is for.
    virtual uint32_t GetDataPurposeID() const = 0;

    /// Returns the ID of the region of interest the part shows.
    virtual uint32_t GetRegionID() const = 0;

    /// Returns how many zones follow the first one in the part's image.
    virtual uint32_t GetAdditionalZones() const = 0;

    /// Returns the direction of each zone, one bit per zone (set: bottom-up).
    virtual uint32_t GetZoneDirectionMask() const = 0;
};

#endif
