#ifndef ZU_PIXEL_TYPE_INFO_H
#define ZU_PIXEL_TYPE_INFO_H

#include "ZuBaseApi.h"
#include "ZuPixelType.h"
#include "ZuString.h"

// Properties of a pixel type, read from the fields of its code.
//
// Every function takes any 32-bit code, custom ones included: what a
// function cannot tell from the code (an identifier this SDK does not know)
// it answers from the flag and bit-depth fields alone.

/// Returns the number of bits one pixel occupies in memory.
/// @param aPixelType Pixel type code.
/// @return Bits per pixel, 0 when the code carries none.
ZU_API uint32_t ZuPixelTypeGetPixelBitCount(ZuPixelType aPixelType);

/// Returns the size of one pixel in bits.
/// @param aPixelType Pixel type code.
/// @return Bits per pixel, 0 when the code carries none.
ZU_API uint32_t ZuPixelTypeGetPixelSize(ZuPixelType aPixelType);

/// Returns the bits needed to hold one pixel; image sizes and array shapes
/// are computed from this value.
/// @param aPixelType Pixel type code.
/// @return Bits per pixel, 0 when the code carries none.
ZU_API uint32_t ZuPixelTypeGetBitsPerPixel(ZuPixelType aPixelType);

/// Tests whether a component of the pixel type has more than 8 bits.
/// @param aPixelType Pixel type code.
/// @return true for 10-, 12-, 14-, 16-bit and wider components.
ZU_API bool ZuPixelTypeIsPixelHighRes(ZuPixelType aPixelType);

/// Returns the number of bits of one colour component.
/// @param aPixelType Pixel type code.
/// @return Bits per component; for a mono type, the bits per pixel.
ZU_API uint32_t ZuPixelTypeGetBitsPerComponent(ZuPixelType aPixelType);

/// Returns the name of the pixel type, as the GenICam naming convention
/// writes it ("Mono8", "RGB8", "BayerRG12p").
/// @param aPixelType Pixel type code.
/// @return The name; an empty text for a code this SDK does not define.
ZU_API ZuString ZuPixelTypeToString(ZuPixelType aPixelType);

/// Tests whether the pixel type has several components (colour flag set).
/// @param aPixelType Pixel type code.
/// @return true for RGB, BGR, YUV, YCbCr, bi-colour and multi-component 3-D types.
ZU_API bool ZuPixelTypeIsPixelColor(ZuPixelType aPixelType);

#endif
