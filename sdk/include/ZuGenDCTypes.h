#ifndef ZU_GENDC_TYPES_H
#define ZU_GENDC_TYPES_H

#include <cstdint>

/// @file
/// Constants of the GenICam Generic Data Container (GenDC 1.1) descriptor
/// and the SDK's enumerations over it.
///
/// The codes exist twice: as GDC_* macros, the spelling used by C code that
/// parses descriptors, and as the Type* enumerators of GenDCHeaderType, the
/// spelling of the descriptor records. The enumerators are defined from the
/// macros so the two cannot drift apart. Declaration order matters: the
/// bindings expose these constants in the order they are declared here.

/// @name Descriptor codes
/// @{
#define GDC_SIGNATURE               0x43444E47 ///< "GNDC" read as a little-endian 32-bit value.
#define GDC_VERSION_MAJOR           1          ///< GenDC major version written by this SDK.
#define GDC_VERSION_MINOR           1          ///< GenDC minor version written by this SDK.
#define GDC_VERSION_SUBMINOR        0          ///< GenDC sub-minor version written by this SDK.
#define GDC_HEADER_TYPE_MASK        0xF000     ///< Selects the header category of a HeaderType.
#define GDC_UNDEFINED_HEADER        0x0000     ///< No header.
#define GDC_CONTAINER_HEADER        0x1000     ///< Container header.
#define GDC_COMPONENT_HEADER        0x2000     ///< Component header.
#define GDC_PART_HEADER             0x4000     ///< Part header category.
#define GDC_PART_HEADER_MIN         GDC_PART_HEADER ///< Lowest part header type.
#define GDC_PART_HEADER_MAX         0x4FFF     ///< Highest part header type.
#define GDC_FLOW_TABLE_HEADER       0x7000     ///< Flow table header.
#define GDC_UNDEFINED_COMPONENT     0          ///< Component type not set.
#define GDC_INTENSITY               1          ///< Intensity (ordinary image) component.
#define GDC_INFRARED                2          ///< Infrared component.
#define GDC_ULTRAVIOLET             3          ///< Ultraviolet component.
#define GDC_RANGE                   4          ///< Range (depth) component.
#define GDC_REFLECTANCE             5          ///< Reflectance component.
#define GDC_CONFIDENCE              6          ///< Confidence component.
#define GDC_SCATTER                 7          ///< Scatter component.
#define GDC_DISPARITY               8          ///< Disparity component.
#define GDC_MULTISPECTRAL           9          ///< Multispectral component.
#define GDC_EXTENDED_COMPONENT      0x8000     ///< Start of the extended component types.
#define GDC_METADATA                0x8001     ///< Metadata component.
#define GDC_CUSTOM_COMPONENT        0xFF00     ///< Custom component category.
#define GDC_CUSTOM_COMPONENT_MIN    GDC_CUSTOM_COMPONENT ///< Lowest custom component type.
#define GDC_CUSTOM_COMPONENT_MAX    0xFFFE     ///< Highest custom component type.
#define GDC_RESERVED_COMPONENT      0xFFFF     ///< Reserved component type.
#define GDC_UNDEFINED_PART          0x0000     ///< Part type not set.
#define GDC_GENERIC_PART_TYPE_MASK  0x4F00     ///< Selects the generic kind of a part type.
#define GDC_GENERIC_PART_METADATA   0x4000     ///< Generic kind: metadata part.
#define GDC_GENERIC_PART_1D         0x4100     ///< Generic kind: 1D part.
#define GDC_GENERIC_PART_2D         0x4200     ///< Generic kind: 2D part.
#define GDC_GENERIC_PART_CUSTOM     0x4F00     ///< Generic kind: custom part.
#define GDC_METADATA_GENICAM_CHUNK  0x4000     ///< Part holding GenICam chunk data.
#define GDC_METADATA_GENICAM_XML    0x4001     ///< Part holding a GenICam XML description.
#define GDC_1D                      0x4100     ///< 1D data part.
#define GDC_2D                      0x4200     ///< Uncompressed 2D image part.
#define GDC_2D_JPEG                 0x4201     ///< JPEG-compressed 2D part.
#define GDC_2D_JPEG2000             0x4202     ///< JPEG 2000-compressed 2D part.
#define GDC_2D_H264                 0x4203     ///< H.264-compressed 2D part.
/// @}

/// Signature field of a container header. An enumeration with a fixed
/// 32-bit signed type, so that a damaged descriptor's signature, whatever
/// its bits, can still be stored in and read back from the field.
typedef enum : int32_t
{
    Signature_GNDC = GDC_SIGNATURE  ///< The only valid signature.
} GenDCSignature;

/// Values the SDK writes into the version and reserved fields of the
/// headers it builds.
enum
{
    VersionMajorCurrent = GDC_VERSION_MAJOR,        ///< Major version.
    VersionMinorCurrent = GDC_VERSION_MINOR,        ///< Minor version.
    VersionSubMinorCurrent = GDC_VERSION_SUBMINOR,  ///< Sub-minor version.
    ReservedDefaultValue = 0                        ///< Content of every reserved field.
};

/// 16-bit type codes of the descriptor: the HeaderType of container,
/// component and flow-table headers, the component type identifiers, and
/// the part types that a part header carries as its HeaderType.
///
/// The underlying type is 16 bits because that is the width of the header
/// field; storing any integer keeps its low 16 bits. Besides the GDC_*
/// codes the list has the codes of custom metadata, 1D and 2D parts and
/// TypeCustomPart, a second name of the custom generic kind.
typedef enum : uint16_t
{
    TypeHeaderMask = GDC_HEADER_TYPE_MASK,                  ///< Selects the header category.
    TypeUndefined = GDC_UNDEFINED_HEADER,                   ///< No header.
    TypeContainer = GDC_CONTAINER_HEADER,                   ///< Container header.
    TypeComponent = GDC_COMPONENT_HEADER,                   ///< Component header.
    TypePart = GDC_PART_HEADER,                             ///< Part header category.
    TypeFlowTable = GDC_FLOW_TABLE_HEADER,                  ///< Flow table header.
    TypeUndefinedComponent = GDC_UNDEFINED_COMPONENT,       ///< Component type not set.
    TypeIntensity = GDC_INTENSITY,                          ///< Intensity component.
    TypeInfrared = GDC_INFRARED,                            ///< Infrared component.
    TypeUltraviolet = GDC_ULTRAVIOLET,                      ///< Ultraviolet component.
    TypeRange = GDC_RANGE,                                  ///< Range component.
    TypeReflectance = GDC_REFLECTANCE,                      ///< Reflectance component.
    TypeConfidence = GDC_CONFIDENCE,                        ///< Confidence component.
    TypeScatter = GDC_SCATTER,                              ///< Scatter component.
    TypeDisparity = GDC_DISPARITY,                          ///< Disparity component.
    TypeMultispectral = GDC_MULTISPECTRAL,                  ///< Multispectral component.
    TypeExtended = GDC_EXTENDED_COMPONENT,                  ///< Start of the extended component types.
    TypeMetadata = GDC_METADATA,                            ///< Metadata component.
    TypeCustomComponent = GDC_CUSTOM_COMPONENT,             ///< Custom component category.
    TypeReservedComponent = GDC_RESERVED_COMPONENT,         ///< Reserved component type.
    TypeUndefinedPart = GDC_UNDEFINED_PART,                 ///< Part type not set.
    TypeGenericPartMask = GDC_GENERIC_PART_TYPE_MASK,       ///< Selects the generic kind of a part type.
    TypeGenericPartMetadata = GDC_GENERIC_PART_METADATA,    ///< Generic kind: metadata.
    TypeGenericPart1D = GDC_GENERIC_PART_1D,                ///< Generic kind: 1D.
    TypeGenericPart2D = GDC_GENERIC_PART_2D,                ///< Generic kind: 2D.
    TypeGenericPartCustom = GDC_GENERIC_PART_CUSTOM,        ///< Generic kind: custom.
    TypeMetadataGenICamChunk = GDC_METADATA_GENICAM_CHUNK,  ///< GenICam chunk data part.
    TypeMetadataGenICamXML = GDC_METADATA_GENICAM_XML,      ///< GenICam XML part.
    TypeMetadataCustom = 0x40F0,                            ///< Custom metadata part.
    Type1D = GDC_1D,                                        ///< 1D data part.
    Type1DCustom = 0x41F0,                                  ///< Custom 1D part.
    Type2D = GDC_2D,                                        ///< Uncompressed 2D image part.
    TypeJPEG = GDC_2D_JPEG,                                 ///< JPEG part.
    TypeJPEG2000 = GDC_2D_JPEG2000,                         ///< JPEG 2000 part.
    TypeH264 = GDC_2D_H264,                                 ///< H.264 part.
    Type2DCustom = 0x42F0,                                  ///< Custom 2D part.
    TypeCustomPart = GDC_GENERIC_PART_CUSTOM                ///< Custom part of no generic kind.
} GenDCHeaderType;

/// Sentinels for selecting data in a container. Component indices and
/// flows use -1; part indices are 16-bit in the descriptor, so their
/// sentinels are the all-ones 16-bit value 0xFFFF instead, which is a
/// different integer from -1.
enum
{
    GenDCAllComponents = -1,          ///< Every component.
    GenDCAllFlows = -1,               ///< Every flow.
    GenDCAllParts = 0xFFFF,           ///< Every part of a component.
    GenDCAllData = -1,                ///< All data.
    GenDCCenter = -2,                 ///< Centre position.
    GenDCInvalidComponentIndex = -1,  ///< No such component.
    GenDCInvalidPartIndex = 0xFFFF    ///< No such part.
};

#define GDC_CONTAINER_COMPONENT_COUNT_MIN 1 ///< A valid container has at least this many components.
#define GDC_COMPONENT_PART_COUNT_MIN      1 ///< A valid component has at least this many parts.

/// Component type as the SDK reports and accepts it. The standard types
/// keep their GenDC codes; ZuComponentCustom is the SDK's one value for
/// every custom component and lies outside the standard's custom range
/// (GDC_CUSTOM_COMPONENT_MIN to GDC_CUSTOM_COMPONENT_MAX), so it is never
/// mistaken for a particular custom code.
typedef enum : int32_t
{
    ZuComponentUndefined = GDC_UNDEFINED_COMPONENT,  ///< Not set.
    ZuComponentIntensity = GDC_INTENSITY,            ///< Intensity.
    ZuComponentInfrared = GDC_INFRARED,              ///< Infrared.
    ZuComponentUltraviolet = GDC_ULTRAVIOLET,        ///< Ultraviolet.
    ZuComponentRange = GDC_RANGE,                    ///< Range.
    ZuComponentReflectance = GDC_REFLECTANCE,        ///< Reflectance.
    ZuComponentConfidence = GDC_CONFIDENCE,          ///< Confidence.
    ZuComponentScatter = GDC_SCATTER,                ///< Scatter.
    ZuComponentDisparity = GDC_DISPARITY,            ///< Disparity.
    ZuComponentMultispectral = GDC_MULTISPECTRAL,    ///< Multispectral.
    ZuComponentMetadata = GDC_METADATA,              ///< Metadata.
    ZuComponentCustom = 0x8002,                      ///< Any custom component.
    ZuComponentReserved = GDC_RESERVED_COMPONENT     ///< Reserved.
} ZuComponentType;

/// Bit numbers in a container header's VariableFields value; a set bit
/// means that the field may differ from one container to the next.
typedef enum : int32_t
{
    ZuGenDCVFDataSize = 0,          ///< Data size.
    ZuGenDCVFSizeX = 1,             ///< Width.
    ZuGenDCVFSizeY = 2,             ///< Height.
    ZuGenDCVFRegionOffset = 3,      ///< Region offset.
    ZuGenDCVFFormat = 4,            ///< Format.
    ZuGenDCVFTimestamp = 5,         ///< Timestamp.
    ZuGenDCVFComponentCount = 6,    ///< Number of components.
    ZuGenDCVFComponentInvalid = 7,  ///< Component invalid flag.
    ZuGenDCVFReserved = 8           ///< First reserved bit.
} ZuGenDCVariableField;

/// Kind of a part as the SDK reports and accepts it. The standard kinds
/// equal their header type codes; the custom kinds are numbered on from
/// ZuGenDCPart2DH264 and are not the codes TypeMetadataCustom,
/// Type1DCustom, Type2DCustom and TypeCustomPart. Compare a part's
/// HeaderType with the Type* codes and its kind with these values, never
/// one with the other.
typedef enum : int32_t
{
    ZuGenDCPartMetadataGenICamChunk = GDC_METADATA_GENICAM_CHUNK,  ///< GenICam chunk data.
    ZuGenDCPartMetadataGenICamXML = GDC_METADATA_GENICAM_XML,      ///< GenICam XML description.
    ZuGenDCPart1D = GDC_1D,                                        ///< 1D data.
    ZuGenDCPart2D = GDC_2D,                                        ///< Uncompressed 2D image.
    ZuGenDCPart2DJpeg = GDC_2D_JPEG,                               ///< JPEG image.
    ZuGenDCPart2DJpeg2000 = GDC_2D_JPEG2000,                       ///< JPEG 2000 image.
    ZuGenDCPart2DH264 = GDC_2D_H264,                               ///< H.264 image.
    ZuGenDCPartMetadataCustom = 0x4204,                            ///< Custom metadata.
    ZuGenDCPart1DCustom = 0x4205,                                  ///< Custom 1D data.
    ZuGenDCPart2DCustom = 0x4206,                                  ///< Custom 2D data.
    ZuGenDCPartCustom = 0x4207,                                    ///< Custom part of no generic kind.
    ZuGenDCPartUnknown = 0                                         ///< Not a kind the SDK knows.
} ZuGenDCPartType;

#endif
