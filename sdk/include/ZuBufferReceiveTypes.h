#ifndef ZU_BUFFER_RECEIVE_TYPES_H
#define ZU_BUFFER_RECEIVE_TYPES_H

#include <cstdint>

/// @file
/// Settings of the buffer converter and of the compression filters.

/// Encoding a compression filter writes.
typedef enum : int32_t
{
    ZuEncodingUnknown = -1, ///< No encoding: refused by the compression filter.
    ZuEncodingRZC1 = 0      ///< The SDK's lossless image encoding, version 1.
} ZuEncodingEnum;

/// Interpolation that turns a Bayer mosaic into colour pixels.
typedef enum : int32_t
{
    /// Each pixel takes its colours from the 2x2 block it opens (the block
    /// to its right and below, shifted back at the last column and row):
    /// fast, with a half-pixel shift of the colours.
    ZuBayerFilterSimple = 1,
    /// Each pixel keeps its own colour and averages the missing ones over
    /// its 3x3 neighbourhood (bilinear interpolation); the image is
    /// mirrored at its borders so that every pixel has neighbours.
    ZuBayerFilter3X3 = 2
} ZuBayerFilterType;

/// Interpolation of the colour a bi-colour pixel lacks. Each pixel carries
/// green and either red or blue; along every line the pixels alternate
/// between the two pairs the pixel type names first and second.
typedef enum : int32_t
{
    /// The missing colour comes from the next pixel on the line (the
    /// previous one for the last pixel).
    ZuBiColorFilter1X2 = 1,
    /// The missing colour is the mean of the previous and the next pixel
    /// on the line; the line is mirrored at its ends.
    ZuBiColorFilter1X3 = 2
} ZuBiColorFilterType;

#endif
