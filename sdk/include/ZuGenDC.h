#ifndef ZU_GENDC_H
#define ZU_GENDC_H

#include "ZuBaseApi.h"
#include "ZuResult.h"
#include "ZuPixelType.h"
#include "ZuGenDCTypes.h"
#include "ZuGenDCHeaders.h"
#include "ZuGenDCFields.h"

/// @file
/// A GenDC container seen through its components and parts.
///
/// Every object here belongs to the container, and the container to the
/// buffer or manager that holds its memory. Each value is read from that
/// memory when it is asked for, so an object stays safe to use after the
/// memory changed: what no longer lies within the memory reads as 0 or null.

class IZuGenDCImage;
class IZuGenDCChunkData;
class IZuGenDCChunkWriter;
class IZuGenericDataPart;
class IZuGenericDataComponent;

/// One part of a component: a header and its data.
class ZU_API IZuGenericDataPart
{
public:
    virtual ~IZuGenericDataPart() {}

    /// Returns the part header.
    /// @return Null when the header does not lie within the container.
    virtual const GenDCPartHeader *GetHeader() const = 0;
    /// Returns the part header, writable.
    /// @return Null when the header does not lie within the container.
    virtual GenDCPartHeader *GetMutableHeader() = 0;
    /// Returns the raw part type code of the header (TypeMetadataCustom and the rest included).
    virtual uint16_t GetHeaderType() const = 0;
    /// Returns the kind of the part (ZuGenDCPartUnknown for a code the SDK does not know).
    virtual ZuGenDCPartType GetHeaderTypeEnum() const = 0;
    /// Returns the part flags.
    virtual uint16_t GetFlags() const = 0;
    /// Returns the size of the part header in bytes.
    virtual uint32_t GetHeaderSize() const = 0;
    /// Returns the pixel format of the part's data.
    virtual uint32_t GetFormat() const = 0;
    /// Returns the flow that carries the part's data.
    virtual uint16_t GetFlowID() const = 0;
    /// Returns the offset of the part's data within its flow.
    virtual uint64_t GetFlowOffset() const = 0;
    /// Returns the size of the part's data in bytes.
    virtual uint64_t GetDataSize() const = 0;
    /// Returns the offset of the part's data from the start of the container.
    virtual uint64_t GetDataOffset() const = 0;
    /// Returns the part's data: GetDataSize() bytes.
    /// @return Null when the data does not lie within the container.
    virtual uint8_t *GetDataPointer() = 0;
    /// Returns the image view of a 2D part.
    /// @return Null unless the part is an uncompressed 2D image.
    virtual IZuGenDCImage *GetGenDCImage() const = 0;
    /// Returns the reader of the chunks of a GenICam chunk part.
    /// @return Null unless the part holds GenICam chunk data.
    virtual IZuGenDCChunkData *GetGenDCChunkData() const = 0;
    /// Returns the writer of the chunks of a GenICam chunk part.
    /// @return Null unless the part holds GenICam chunk data.
    virtual IZuGenDCChunkWriter *GetGenDCChunkWriter() const = 0;
    /// Returns the host time at which the part's buffer arrived.
    virtual uint64_t GetReceptionTime() const = 0;
    /// Decodes the fields of a metadata part.
    /// @param aFields Receives the fields.
    /// @return ZU_OK; ZU_NOT_SUPPORTED for a part of another kind.
    virtual ZuResult GetMetadataSpecificFields(ZuGenDCPartMetadataFields &aFields) const = 0;
    /// Decodes the fields of a 1D part.
    /// @param aFields Receives the fields.
    /// @return ZU_OK; ZU_NOT_SUPPORTED for a part of another kind.
    virtual ZuResult Get1DSpecificFields(ZuGenDCPart1DFields &aFields) const = 0;
    /// Decodes the fields of a 2D part (uncompressed, JPEG, JPEG 2000, H.264 or custom).
    /// @param aFields Receives the fields.
    /// @return ZU_OK; ZU_NOT_SUPPORTED for a part of another kind.
    virtual ZuResult Get2DSpecificFields(ZuGenDCPart2DFields &aFields) const = 0;
    /// Decodes the fields of an H.264 part.
    /// @param aFields Receives the fields.
    /// @return ZU_OK; ZU_NOT_SUPPORTED for a part of another kind.
    virtual ZuResult GetH264SpecificFields(ZuGenDCPartH264Fields &aFields) const = 0;
};

/// One component of a container: a header and its parts.
class ZU_API IZuGenericDataComponent
{
public:
    virtual ~IZuGenericDataComponent() {}

    /// Returns the component header.
    /// @return Null when the header does not lie within the container.
    virtual const GenDCComponentHeader *GetHeader() const = 0;
    /// Returns the component header, writable.
    /// @return Null when the header does not lie within the container.
    virtual GenDCComponentHeader *GetMutableHeader() = 0;
    /// Returns the component flags.
    virtual uint16_t GetFlags() const = 0;
    /// Returns the size of the component header in bytes.
    virtual uint32_t GetHeaderSize() const = 0;
    /// Returns the group that links related components.
    virtual uint16_t GetGroupID() const = 0;
    /// Returns the sensor or source of the data.
    virtual uint16_t GetSourceID() const = 0;
    /// Returns the region of interest.
    virtual uint16_t GetRegionID() const = 0;
    /// Returns the horizontal offset of the region, pixels.
    virtual uint32_t GetRegionOffsetX() const = 0;
    /// Returns the vertical offset of the region, pixels.
    virtual uint32_t GetRegionOffsetY() const = 0;
    /// Returns the acquisition time, nanoseconds.
    virtual uint64_t GetTimestamp() const = 0;
    /// Returns the raw component type identifier.
    virtual uint64_t GetTypeID() const = 0;
    /// Returns the component type (ZuComponentCustom for every custom type).
    virtual ZuComponentType GetTypeIDEnum() const = 0;
    /// Returns the pixel format of the component's data.
    virtual uint32_t GetFormat() const = 0;
    /// Returns the offset of a part header from the start of the container.
    /// @param aIndex Part index, from 0.
    /// @return 0 when the component has no such part.
    virtual uint64_t GetPartHeaderOffset(uint32_t aIndex) const = 0;
    /// Returns the number of parts.
    virtual uint32_t GetPartCount() const = 0;
    /// Returns a part.
    /// @param aIndex Part index, from 0.
    /// @return Null when the component has no such part or its header is not sound.
    virtual IZuGenericDataPart *GetPart(uint32_t aIndex) = 0;
    /// Adds a part at the end of the component; part data follow the descriptor in part order.
    /// @param aPartType Kind of the part.
    /// @param aFlow Flow that is to carry the part's data (below 65536).
    /// @return Index of the new part; GenDCInvalidPartIndex when it cannot be added.
    virtual uint32_t AddPart(ZuGenDCPartType aPartType, uint32_t aFlow) = 0;
};

/// A GenDC container: descriptor and data.
class ZU_API IZuGenericDataContainer
{
public:
    virtual ~IZuGenericDataContainer() {}

    /// Returns the number of components.
    /// @return 0 when the container header or its offset table does not lie within the container.
    virtual uint32_t GetComponentCount() const = 0;
    /// Returns a component.
    /// @param aIndex Component index, from 0.
    /// @return Null when there is no such component or its header is not sound.
    virtual IZuGenericDataComponent *GetComponent(uint32_t aIndex) = 0;
    /// Returns the bytes of data of all parts.
    virtual uint64_t GetDataSize() const = 0;
    /// Returns the bytes of all headers of container, components and parts.
    virtual uint64_t GetDescriptorSize() const = 0;
    /// Tests the whole container: signature, version, header types and sizes, and that
    /// every header and all data lie within the container.
    virtual bool IsValid() const = 0;
    /// Returns the container header.
    /// @return Null when the memory is too small for it.
    virtual const GenDCContainerHeader *GetHeader() const = 0;
    /// Returns the container header, writable.
    /// @return Null when the memory is too small for it.
    virtual GenDCContainerHeader *GetMutableHeader() = 0;
    /// Adds a component without parts. A container that is not valid is started anew.
    /// @param aComponentType Type of the component.
    /// @return Index of the new component; GenDCInvalidComponentIndex (as an unsigned value)
    /// when it cannot be added.
    virtual uint32_t AddComponent(ZuComponentType aComponentType) = 0;
};

/// The image view of an uncompressed 2D part.
class ZU_API IZuGenDCImage
{
public:
    virtual ~IZuGenDCImage() {}

    /// Returns the image: GetImageSize() bytes.
    virtual uint8_t *GetDataPointer() = 0;
    /// Returns the size of the image in bytes (the part's data size).
    virtual uint32_t GetImageSize() const = 0;
    /// Returns the width in pixels.
    virtual uint32_t GetWidth() const = 0;
    /// Returns the height in pixels.
    virtual uint32_t GetHeight() const = 0;
    /// Returns the pixel type.
    virtual ZuPixelType GetPixelType() const = 0;
    /// Returns the bits per pixel of the pixel type.
    virtual uint32_t GetBitsPerPixel() const = 0;
    /// Returns the horizontal offset of the component's region.
    virtual uint32_t GetOffsetX() const = 0;
    /// Returns the vertical offset of the component's region.
    virtual uint32_t GetOffsetY() const = 0;
    /// Returns the padding at the end of each row.
    virtual uint16_t GetPaddingX() const = 0;
    /// Returns the padding in the vertical direction.
    virtual uint16_t GetPaddingY() const = 0;
    /// Returns the block ID of the buffer that holds the container.
    virtual uint64_t GetBlockID() const = 0;
};

/// Reads the GenICam chunks of a chunk part (data, then ID and length, big-endian).
class ZU_API IZuGenDCChunkData
{
public:
    virtual ~IZuGenDCChunkData() {}

    /// Tests whether the part carries chunks.
    virtual bool HasChunks() const = 0;
    /// Returns the number of chunks.
    virtual uint32_t GetChunkCount() const = 0;
    /// Looks up the ID of the chunk at a position.
    /// @param aIndex Position, from 0.
    /// @param aID Set to the ID, 0 when there is no chunk there.
    /// @return ZU_OK or ZU_NOT_FOUND.
    virtual ZuResult GetChunkIDByIndex(uint32_t aIndex, uint32_t &aID) const = 0;
    /// Returns the data length of the chunk at a position, 0 past the last.
    /// @param aIndex Position, from 0.
    virtual uint32_t GetChunkSizeByIndex(uint32_t aIndex) const = 0;
    /// Returns the data length of the first chunk with an ID, 0 when none has it.
    /// @param aID Chunk ID.
    virtual uint32_t GetChunkSizeByID(uint32_t aID) const = 0;
    /// Returns the data of the chunk at a position.
    /// @param aIndex Position, from 0.
    /// @return Null past the last chunk.
    virtual const uint8_t *GetChunkRawDataByIndex(uint32_t aIndex) const = 0;
    /// Returns the data of the first chunk with an ID.
    /// @param aID Chunk ID.
    /// @return Null when no chunk has that ID.
    virtual const uint8_t *GetChunkRawDataByID(uint32_t aID) const = 0;
    /// Returns the chunk layout ID (the low 32 bits of the part's InfoTypeSpecific).
    virtual uint32_t GetChunkLayoutID() const = 0;
};

/// Adds GenICam chunks to a chunk part, growing its data.
class ZU_API IZuGenDCChunkWriter
{
public:
    /// Adds a chunk after the part's last one.
    /// @param aID Chunk ID.
    /// @param aData Bytes of the chunk, copied.
    /// @param aLength Count of bytes, a multiple of 4.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for a length that is no multiple of 4 or missing data;
    /// ZU_BUFFER_TOO_SMALL when the container has no room left.
    virtual ZuResult AddChunk(uint32_t aID, const uint8_t *aData, uint32_t aLength) = 0;
    /// Removes every chunk of the part.
    virtual void ResetChunks() = 0;
};

/// The GenDC side of a buffer that is filled for transmission.
class ZU_API IZuGenDCManager
{
public:
    /// Returns the bytes that descriptor, flow table and data take together.
    virtual uint64_t GetTotalPayloadSize() const = 0;
    /// Returns the container under construction.
    virtual IZuGenericDataContainer *GetGenDC() const = 0;
    /// Empties the container: no components, no parts.
    virtual void ResetContainer() = 0;
};

#endif
