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
    if (head) // an empty line may come with null pointers
        std::memcpy(aOut, aIn, head);
    for (size_t i = head; i < aCount; ++i)
        aOut[i] = uint8_t(aIn[i] - aIn[i - aStride]);
}

namespace {

// The inverse is a running sum per lane of the stride: kept in registers
// rather than re-read from what was just written, it costs a cycle a byte
// instead of a store-to-load round trip.
template <unsigned S>
TARN_INLINE void Sum8(const uint8_t *__restrict aIn, size_t aCount, uint8_t *__restrict aOut)
{
    uint8_t acc[S];
    for (unsigned k = 0; k < S; ++k)
        acc[k] = aOut[k];
    size_t i = S;
    for (; i + S <= aCount; i += S)
        for (unsigned k = 0; k < S; ++k)
            aOut[i + k] = acc[k] = uint8_t(acc[k] + aIn[i + k]);
    for (; i < aCount; ++i)
        aOut[i] = uint8_t(aIn[i] + aOut[i - S]);
}

}

TARN_KERNEL void Unpredict8(const uint8_t *__restrict aIn, size_t aCount, unsigned aStride, uint8_t *__restrict aOut)
{
    size_t head = aStride < aCount ? aStride : aCount;
    if (head) // an empty line may come with null pointers
        std::memcpy(aOut, aIn, head);
    if (head < aStride)
        return;
    switch (aStride) {
    case 1: Sum8<1>(aIn, aCount, aOut); return;
    case 2: Sum8<2>(aIn, aCount, aOut); return;
    case 3: Sum8<3>(aIn, aCount, aOut); return;
    case 4: Sum8<4>(aIn, aCount, aOut); return;
    case 6: Sum8<6>(aIn, aCount, aOut); return;
    }
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

namespace {

template <unsigned S>
TARN_INLINE void Sum16(const uint8_t *__restrict aLow, const uint8_t *__restrict aHigh, size_t aCount,
                       uint8_t *__restrict aOut)
{
    uint16_t acc[S] = {};
    size_t i = 0;
    for (; i < S && i < aCount; ++i)
        acc[i] = uint16_t(aLow[i] | (aHigh[i] << 8));
    if (i)
        std::memcpy(aOut, acc, 2 * i);
    for (; i + S <= aCount; i += S)
        for (unsigned k = 0; k < S; ++k) {
            acc[k] = uint16_t(acc[k] + (aLow[i + k] | (aHigh[i + k] << 8)));
            aOut[2 * (i + k)] = uint8_t(acc[k]);
            aOut[2 * (i + k) + 1] = uint8_t(acc[k] >> 8);
        }
    for (; i < aCount; ++i) {
        uint16_t v = uint16_t((aLow[i] | (aHigh[i] << 8)) + Word(aOut, i - S));
        aOut[2 * i] = uint8_t(v);
        aOut[2 * i + 1] = uint8_t(v >> 8);
    }
}

}

TARN_KERNEL void Unpredict16(const uint8_t *__restrict aIn, size_t aCount, unsigned aStride, uint8_t *__restrict aOut)
{
    const uint8_t *low = aIn, *high = aIn + aCount;
    switch (aStride) {
    case 1: Sum16<1>(low, high, aCount, aOut); return;
    case 2: Sum16<2>(low, high, aCount, aOut); return;
    case 3: Sum16<3>(low, high, aCount, aOut); return;
    case 4: Sum16<4>(low, high, aCount, aOut); return;
    }
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
