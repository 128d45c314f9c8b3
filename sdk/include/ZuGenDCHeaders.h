#ifndef ZU_GENDC_HEADERS_H
#define ZU_GENDC_HEADERS_H

#include "ZuGenDCTypes.h"
#include "ZuPixelType.h"

/// @file
/// Headers of a GenDC descriptor, laid out byte for byte as they lie in it.
///
/// Every multi-byte field is a native little-endian integer, the byte order
/// of the descriptor. The records are plain: nothing checks a value, so a
/// damaged descriptor can be read and a test descriptor written field by
/// field. A derived record starts with its whole base and adds no padding,
/// so a view of a header works through the accessors of every base.

/// @name Field types of the descriptor
/// @{
typedef uint8_t GenDCVersionField;
typedef uint8_t GenDCReserved8;
typedef uint16_t GenDCHeaderFlags;
typedef uint16_t GenDCReserved16;
typedef uint16_t GenDCGroupId;
typedef uint16_t GenDCSourceId;
typedef uint16_t GenDCRegionId;
typedef uint16_t GenDCPartCount;
typedef uint16_t GenDCFlowId;
typedef uint16_t GenDCPadding;
typedef uint32_t GenDCHeaderSize;
typedef uint32_t GenDCReserved32;
typedef uint32_t GenDCDescriptorSize;
typedef uint32_t GenDCComponentCount;
typedef uint32_t GenDCRegionOffset;
typedef uint32_t GenDCFlowCount;
typedef uint32_t GenDCSize2D;
typedef uint64_t GenDCContainerId;
typedef uint64_t GenDCDataSize;
typedef uint64_t GenDCComponentTypeId;
typedef uint64_t GenDCFlowSize;
typedef uint64_t GenDCSize1D;
typedef int64_t GenDCOffset;
typedef int64_t GenDCTimestamp;
typedef int64_t GenDCFlowOffset;
typedef ZuPixelType GenDCFormat;
typedef GenDCHeaderType GenDCPartType;
/// @}

/// Flag bits of a container header, as one 16-bit value.
struct GenDCContainerFlagsGroup
{
    GenDCHeaderFlags Value; ///< The raw flag bits.
};

/// Variable-field bits of a container header (bit numbers: ZuGenDCVariableField).
struct GenDCContainerVariableFieldsGroup
{
    GenDCHeaderFlags Value; ///< The raw flag bits.
};

/// Flag bits of a component header, as one 16-bit value.
struct GenDCComponentFlagsGroup
{
    GenDCHeaderFlags Value; ///< The raw flag bits.
};

/// Flag bits of a part header, as one 16-bit value.
struct GenDCPartFlagsGroup
{
    GenDCHeaderFlags Value; ///< The raw flag bits.
};

/// Fixed fields of the container header, the first bytes of a container.
struct GenDCContainerHeaderBase
{
    GenDCSignature Signature;                         ///< The magic "GNDC" (Signature_GNDC).
    GenDCVersionField VersionMajor;                   ///< GenDC major version.
    GenDCVersionField VersionMinor;                   ///< GenDC minor version.
    GenDCVersionField VersionSubMinor;                ///< GenDC sub-minor version.
    GenDCReserved8 Reserved;                          ///< Reserved, 0.
    GenDCHeaderType HeaderType;                       ///< TypeContainer.
    GenDCContainerFlagsGroup Flags;                   ///< Container flags.
    GenDCHeaderSize HeaderSize;                       ///< Bytes of this header, its offset table included.
    GenDCContainerId Id;                              ///< Container identifier.
    GenDCContainerVariableFieldsGroup VariableFields; ///< Fields that may change from one container to the next.
    GenDCReserved16 Reserved16;                       ///< Reserved, 0.
    GenDCReserved32 Reserved32;                       ///< Reserved, 0.
    GenDCDataSize DataSize;                           ///< Bytes of part data in the container.
    GenDCOffset DataOffset;                           ///< Offset of the first data byte from the start of the container.
    GenDCDescriptorSize DescriptorSize;               ///< Bytes of all headers of container, components and parts.
    GenDCComponentCount ComponentCount;               ///< Number of components.
};

/// The container header with its table of component-header offsets.
struct GenDCContainerHeader : GenDCContainerHeaderBase
{
    GenDCOffset ComponentOffsets[1]; ///< Offsets of the component headers from the start of the container.
};

/// Another name of the container header, which starts the descriptor.
typedef GenDCContainerHeader GenDCDescriptor;

/// Fixed fields of a component header.
struct GenDCComponentHeaderBase
{
    GenDCHeaderType HeaderType;          ///< TypeComponent.
    GenDCComponentFlagsGroup Flags;      ///< Component flags.
    GenDCHeaderSize HeaderSize;          ///< Bytes of this header, its offset table included.
    GenDCReserved16 Reserved;            ///< Reserved, 0.
    GenDCGroupId GroupId;                ///< Links related components.
    GenDCSourceId SourceId;              ///< Sensor or source of the data.
    GenDCRegionId RegionId;              ///< Region of interest.
    GenDCRegionOffset RegionOffsetX;     ///< Horizontal offset of the region, pixels.
    GenDCRegionOffset RegionOffsetY;     ///< Vertical offset of the region, pixels.
    GenDCTimestamp Timestamp;            ///< Acquisition time, nanoseconds.
    GenDCComponentTypeId TypeId;         ///< Component type (GDC_INTENSITY and the rest).
    GenDCFormat Format;                  ///< Pixel format of the component's data.
    GenDCReserved16 Reserved2;           ///< Reserved, 0.
    GenDCPartCount PartCount;            ///< Number of parts.
};

/// A component header with its table of part-header offsets.
struct GenDCComponentHeader : GenDCComponentHeaderBase
{
    GenDCOffset PartOffsets[1]; ///< Offsets of the part headers from the start of the container.
};

/// Fixed fields of the flow table.
struct GenDCFlowTableHeader
{
    GenDCHeaderType HeaderType;      ///< TypeFlowTable.
    GenDCHeaderFlags Flags;          ///< Flag bits.
    GenDCHeaderSize HeaderSize;      ///< Bytes of the flow table.
    GenDCVersionField VersionMajor;  ///< GenDC major version.
    GenDCVersionField VersionMinor;  ///< GenDC minor version.
    GenDCReserved16 Reserved;        ///< Reserved, 0.
    GenDCFlowCount FlowCount;        ///< Number of flows.
};

/// The flow table with the data size of each flow.
struct GenDCFlowTable : GenDCFlowTableHeader
{
    GenDCFlowSize FlowSize[1]; ///< Bytes of data of each flow, by flow identifier.
};

/// Fields common to every part header.
struct GenDCPartHeaderBase
{
    GenDCPartType HeaderType;   ///< Part type; tells which header record fits.
    GenDCPartFlagsGroup Flags;  ///< Part flags.
    GenDCHeaderSize HeaderSize; ///< Bytes of this part header.
    GenDCFormat Format;         ///< Pixel format of the part's data.
    GenDCReserved16 Reserved;   ///< Reserved, 0.
    GenDCFlowId FlowId;         ///< Flow that carries the part's data.
    GenDCFlowOffset FlowOffset; ///< Offset of the part's data within its flow.
    GenDCDataSize DataSize;     ///< Bytes of the part's data.
    GenDCOffset DataOffset;     ///< Offset of the part's data from the start of the container.
};

/// A part header as the part access hands it out.
struct GenDCPartHeader : GenDCPartHeaderBase
{
};

/// Header of a one-dimensional or metadata part.
struct GenDCPartHeader1DBase : GenDCPartHeader
{
    GenDCSize1D SizeX;                ///< Number of elements.
    GenDCPadding PaddingX;            ///< Padding after the data, bytes.
    GenDCReserved16 PaddingReserved;  ///< Reserved, 0.
    GenDCReserved32 InfoReserved;     ///< Reserved, 0.
    uint64_t InfoTypeSpecific;        ///< Information whose meaning depends on the part type.
};

/// Header of a 1D part.
struct GenDCPartHeader1D : GenDCPartHeader1DBase
{
};

/// Header of a part holding GenICam chunk data.
struct GenDCPartHeaderGenICamChunk : GenDCPartHeader1DBase
{
};

/// Header of a part holding a GenICam XML description.
struct GenDCPartHeaderGenICamXML : GenDCPartHeader1DBase
{
};

/// Header of a two-dimensional part.
struct GenDCPartHeader2DBase : GenDCPartHeader
{
    GenDCSize2D SizeX;            ///< Width in pixels.
    GenDCSize2D SizeY;            ///< Height in pixels.
    GenDCPadding PaddingX;        ///< Padding at the end of each row, bytes.
    GenDCPadding PaddingY;        ///< Padding in the vertical direction, bytes.
    GenDCReserved32 InfoReserved; ///< Reserved, 0.
};

/// Header of an uncompressed 2D part.
struct GenDCPartHeader2D : GenDCPartHeader2DBase
{
};

/// Header of a JPEG part.
struct GenDCPartHeaderJPEG : GenDCPartHeader2DBase
{
};

/// Header of a JPEG 2000 part.
struct GenDCPartHeaderJPEG2000 : GenDCPartHeader2DBase
{
};

/// Parameters of an H.264 stream, named after those of its RTP payload format.
struct GenDCInfoTypeSpecificH264
{
    // One byte of flags; Python copies it whole.
    struct H264Flags
    {
        uint8_t CS_set0_flag : 1;
        uint8_t CS_set1_flag : 1;
        uint8_t CS_set2_flag : 1;
        uint8_t CS_set3_flag : 1;
        uint8_t PM : 2;
        uint8_t RF : 2;
    };

    uint8_t Reserved;                ///< Reserved, 0.
    uint8_t ProfileIDC;              ///< profile_idc of the sequence parameter set.
    H264Flags Flags;
    uint8_t LevelIDC;                ///< level_idc of the sequence parameter set.
    uint16_t SpropInterleavingDepth; ///< sprop-interleaving-depth.
    uint16_t SpropMaxDonDiff;        ///< sprop-max-don-diff.
    uint32_t SpropDeintBufReq;       ///< sprop-deint-buf-req, bytes.
    uint32_t SpropInitBufTime;       ///< sprop-init-buf-time, ticks of a 90 kHz clock.
};

/// Header of an H.264 part.
struct GenDCPartHeaderH264 : GenDCPartHeader2DBase
{
    GenDCInfoTypeSpecificH264 InfoTypeSpecific; ///< Parameters of the H.264 stream.
};

/// Type-specific information of a JPEG part: none.
struct GenDCInfoTypeSpecificJPEG
{
};

static_assert(sizeof(GenDCContainerHeaderBase) == 56, "container header layout");
static_assert(sizeof(GenDCContainerHeader) == 64, "container header layout");
static_assert(sizeof(GenDCComponentHeaderBase) == 48, "component header layout");
static_assert(sizeof(GenDCComponentHeader) == 56, "component header layout");
static_assert(sizeof(GenDCFlowTableHeader) == 16, "flow table layout");
static_assert(sizeof(GenDCFlowTable) == 24, "flow table layout");
static_assert(sizeof(GenDCPartHeader) == 40, "part header layout");
static_assert(sizeof(GenDCPartHeader1DBase) == 64, "1D part header layout");
static_assert(sizeof(GenDCPartHeader2DBase) == 56, "2D part header layout");
static_assert(sizeof(GenDCInfoTypeSpecificH264) == 16, "H.264 information layout");
static_assert(sizeof(GenDCPartHeaderH264) == 72, "H.264 part header layout");

#endif
