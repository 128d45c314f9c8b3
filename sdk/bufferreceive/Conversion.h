#ifndef TARN_CONVERSION_H
#define TARN_CONVERSION_H

// The converter's engine: what each pixel type is made of, which pairs of
// types convert, and the conversion of a range of lines from one image in
// memory into another. Buffers, threads and settings stay outside.

#include "ZuPixelType.h"
#include "ZuResult.h"
#include "kernels/Kernels.h"

#include <cstdint>
#include <vector>

namespace tarn {
namespace conv {

// An image in memory, as read.
struct Source
{
    const uint8_t *data;
    uint64_t size; // bytes of memory behind data
    uint32_t width, height;
    ZuPixelType type;
    uint16_t paddingX, paddingY;
};

// An image in memory, as written: width and height are the source's.
struct Target
{
    uint8_t *data;
    ZuPixelType type;
    uint16_t paddingX;
};

struct Options
{
    bool bayer3x3 = true;
    bool biColor1x3 = true;
    bool flipY = false;
    const kernels::Lut8 *lut8 = nullptr;   // for 8-bit colour targets
    const kernels::Lut16 *lut16 = nullptr; // for 16-bit colour targets
};

bool Supported(ZuPixelType aSource, ZuPixelType aTarget);

// Whether a target type has 16-bit colour channels, 8-bit ones, or none.
unsigned ColorDepth(ZuPixelType aTarget);

// Checks a source and a target type against each other: a supported pair,
// memory enough for the source's description, a size the pair allows.
ZuResult Check(const Source &aSource, ZuPixelType aTarget);

// Memory one thread needs while converting lines; kept between conversions.
struct Scratch
{
    std::vector<uint8_t> bytes;
};

// Bytes from one target line to the next.
size_t TargetStride(const Source &aSource, const Target &aTarget);

// Converts lines [aBegin, aEnd) of the target (counted top to bottom as
// written), line aBegin at aTarget.data. The source and target were checked.
void ConvertLines(const Source &aSource, const Target &aTarget, const Options &aOptions, uint32_t aBegin,
                  uint32_t aEnd, Scratch &aScratch);

}
}

#endif
