#ifndef ZU_GENDC_FIELDS_H
#define ZU_GENDC_FIELDS_H

#include <cstdint>

/// @file
/// Type-specific fields of a GenDC part, decoded from its header into
/// records that do not depend on the descriptor (they outlive it).
///
/// Field comments are plain on purpose: the records' accessors document
/// nothing beyond their names.

/// Fields of a 1D part: those of its header, SizeX as Size and PaddingX as Padding.
struct ZuGenDCPart1DFields
{
    uint64_t Size;             // elements
    uint16_t Padding;          // bytes after the data
    uint16_t PaddingReserved;
    uint32_t InfoReserved;
    uint64_t InfoTypeSpecific;
};

/// Fields of a metadata part, in the layout of a 1D part.
struct ZuGenDCPartMetadataFields
{
    uint64_t Size;
    uint16_t Padding;
    uint16_t PaddingReserved;
    uint32_t InfoReserved;
    uint64_t InfoTypeSpecific;
};

/// Fields of a 2D part. The paddings are wider than in the header.
struct ZuGenDCPart2DFields
{
    uint32_t SizeX;
    uint32_t SizeY;
    uint32_t PaddingX;
    uint32_t PaddingY;
    uint32_t InfoReserved;
};

/// Fields of an H.264 part: those of a 2D part and the stream parameters.
struct ZuGenDCPartH264Fields : ZuGenDCPart2DFields
{
    /// One byte of flags, bit 0 the least significant.
    struct H264Flags
    {
        uint8_t CS_set0_flag : 1;
        uint8_t CS_set1_flag : 1;
        uint8_t CS_set2_flag : 1;
        uint8_t CS_set3_flag : 1;
        uint8_t PM : 2;
        uint8_t RF : 2;
    };

    uint8_t Reserved;
    uint8_t ProfileIDC;
    H264Flags Flags;
    uint8_t LevelIDC;
    uint16_t SpropInterleavingDepth;
    uint16_t SpropMaxDonDiff;
    uint32_t SpropDeintBufReq;
    uint32_t SpropInitBufTime;
};

#endif
