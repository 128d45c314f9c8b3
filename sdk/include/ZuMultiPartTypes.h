#ifndef ZU_MULTI_PART_TYPES_H
#define ZU_MULTI_PART_TYPES_H

#include <cstdint>

/// @file
/// Kinds of data a part of a multi-part payload can hold.

/// What one part of a multi-part payload holds. The kind decides which view
/// a section offers: 1 to 9 an image, ZuMultiPartChunkData chunk data,
/// the two JPEG kinds a compressed image. Planes of a planar image are sent
/// as separate parts that share a purpose and region.
typedef enum : int32_t
{
    ZuMultiPartInvalid = 0,              ///< No valid part.
    ZuMultiPart2DImage = 1,              ///< A 2D image.
    ZuMultiPart2DPlaneOfBiPlanar = 2,    ///< One plane of a bi-planar 2D image.
    ZuMultiPart2DPlaneOfTriPlanar = 3,   ///< One plane of a tri-planar 2D image.
    ZuMultiPart2DPlaneOfQuadPlanar = 4,  ///< One plane of a quad-planar 2D image.
    ZuMultiPart3DImage = 5,              ///< A 3D image.
    ZuMultiPart3DPlaneOfBiPlanar = 6,    ///< One plane of a bi-planar 3D image.
    ZuMultiPart3DPlaneOfTriPlanar = 7,   ///< One plane of a tri-planar 3D image.
    ZuMultiPart3DPlaneOfQuadPlanar = 8,  ///< One plane of a quad-planar 3D image.
    ZuMultiPartConfidenceMap = 9,        ///< Confidence of the pixels of another part.
    ZuMultiPartChunkData = 10,           ///< Chunk data.
    ZuMultiPartJPEGImage = 11,           ///< A JPEG image.
    ZuMultiPartJPEG2000Image = 12        ///< A JPEG 2000 image.
} ZuMultiPartDataType;

#endif
