// Left-neighbour prediction of the lossless encoding: images change little
// from one pixel to the next of the same colour, so the differences are
// small numbers that the entropy stage packs well.
#include "Kernels.h"

#include <cstring>

namespace tarn {
namespace kernels {

TARN_KERNEL void Predict8(const uint8_t *__restrict aIn, size_t aCount, unsigned aStride, uint8_t *__restrict aOut)
{
    size_t head = aStride < aCount ? aStride : aCount;
    std::memcpy(aOut, aIn, head);
    for (size_t i = head; i < aCount; ++i)
        aOut[i] = uint8_t(aIn[i] - aIn[i - aStride]);
}

TARN_KERNEL void Unpredict8(const uint8_t *__restrict aIn, size_t aCount, unsigned aStride, uint8_t *__restrict aOut)
{
    size_t head = aStride < aCount ? aStride : aCount;
    std::memcpy(aOut, aIn, head);
    for (size_t i = head; i < aCount; ++i)
        aOut[i] = uint8_t(aIn[i] + aOut[i - aStride]);
}

namespace {

TARN_INLINE uint16_t Word(const uint8_t *aIn, size_t aIndex)
{
    return uint16_t(aIn[2 * aIndex] | (aIn[2 * aIndex + 1] << 8));
}

}

TARN_KERNEL void Predict16(const uint8_t *__restrict aIn, size_t aCount, unsigned aStride, uint8_t *__restrict aOut)
{
    uint8_t *low = aOut, *high = aOut + aCount;
    for (size_t i = 0; i < aCount; ++i) {
        uint16_t d = i < aStride ? Word(aIn, i) : uint16_t(Word(aIn, i) - Word(aIn, i - aStride));
        low[i] = uint8_t(d);
        high[i] = uint8_t(d >> 8);
    }
}

TARN_KERNEL void Unpredict16(const uint8_t *__restrict aIn, size_t aCount, unsigned aStride, uint8_t *__restrict aOut)
{
    const uint8_t *low = aIn, *high = aIn + aCount;
    for (size_t i = 0; i < aCount; ++i) {
        uint16_t v = uint16_t(low[i] | (high[i] << 8));
        if (i >= aStride)
            v = uint16_t(v + Word(aOut, i - aStride));
        aOut[2 * i] = uint8_t(v);
        aOut[2 * i + 1] = uint8_t(v >> 8);
    }
}

}
}
