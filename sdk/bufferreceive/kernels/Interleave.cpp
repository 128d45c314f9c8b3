// Writing planar colour lines as interleaved pixels, through the RGB
// filter's tables when there is one.
#include "Kernels.h"

#include <cstring>

namespace tarn {
namespace kernels {

namespace {

typedef uint8_t Bytes16 __attribute__((vector_size(16)));

// Sixteen pixels of three 8-bit planes as 48 interleaved bytes: each output
// vector picks its bytes from the first two planes, then from that and the
// third, byte shuffles a vector unit does in a few steps where a loop over
// three-byte pixels goes one byte at a time.
TARN_INLINE void Interleave3x16(const uint8_t *aFirst, const uint8_t *aSecond, const uint8_t *aThird, uint8_t *aOut)
{
    Bytes16 a, b, c;
    std::memcpy(&a, aFirst, 16);
    std::memcpy(&b, aSecond, 16);
    std::memcpy(&c, aThird, 16);
    const Bytes16 ab0 = __builtin_shufflevector(a, b, 0, 16, 0, 1, 17, 0, 2, 18, 0, 3, 19, 0, 4, 20, 0, 5);
    const Bytes16 ab1 = __builtin_shufflevector(a, b, 21, 0, 6, 22, 0, 7, 23, 0, 8, 24, 0, 9, 25, 0, 10, 26);
    const Bytes16 ab2 = __builtin_shufflevector(a, b, 0, 11, 27, 0, 12, 28, 0, 13, 29, 0, 14, 30, 0, 15, 31, 0);
    const Bytes16 out0 = __builtin_shufflevector(ab0, c, 0, 1, 16, 3, 4, 17, 6, 7, 18, 9, 10, 19, 12, 13, 20, 15);
    const Bytes16 out1 = __builtin_shufflevector(ab1, c, 0, 21, 2, 3, 22, 5, 6, 23, 8, 9, 24, 11, 12, 25, 14, 15);
    const Bytes16 out2 = __builtin_shufflevector(ab2, c, 26, 1, 2, 27, 4, 5, 28, 7, 8, 29, 10, 11, 30, 13, 14, 31);
    std::memcpy(aOut, &out0, 16);
    std::memcpy(aOut + 16, &out1, 16);
    std::memcpy(aOut + 32, &out2, 16);
}

// One loop per layout, with the channel order and the table decided at
// compile time so that the loop body stays free of branches.
template <class T, class Lut, bool Alpha>
TARN_INLINE void Interleave(const T *__restrict aFirst, const T *__restrict aG, const T *__restrict aLast, size_t aCount,
                const Lut *aLut, bool aBgr, T *__restrict aOut)
{
    constexpr unsigned n = Alpha ? 4 : 3;
    constexpr T opaque = T(~T(0));
    if (aLut) {
        const T *lutFirst = aBgr ? aLut->b : aLut->r;
        const T *lutLast = aBgr ? aLut->r : aLut->b;
        for (size_t i = 0; i < aCount; ++i) {
            aOut[n * i] = lutFirst[aFirst[i]];
            aOut[n * i + 1] = aLut->g[aG[i]];
            aOut[n * i + 2] = lutLast[aLast[i]];
            if (Alpha)
                aOut[n * i + 3] = opaque;
        }
        return;
    }
    size_t i = 0;
    if (sizeof(T) == 1 && !Alpha)
        for (; i + 16 <= aCount; i += 16)
            Interleave3x16(reinterpret_cast<const uint8_t *>(aFirst + i), reinterpret_cast<const uint8_t *>(aG + i),
                           reinterpret_cast<const uint8_t *>(aLast + i), reinterpret_cast<uint8_t *>(aOut + n * i));
    for (; i < aCount; ++i) {
        aOut[n * i] = aFirst[i];
        aOut[n * i + 1] = aG[i];
        aOut[n * i + 2] = aLast[i];
        if (Alpha)
            aOut[n * i + 3] = opaque;
    }
}

template <class T, class Lut>
TARN_INLINE void Dispatch(const T *aR, const T *aG, const T *aB, size_t aCount, ColorLayout aLayout, const Lut *aLut, T *aOut)
{
    const T *first = aLayout.bgr ? aB : aR;
    const T *last = aLayout.bgr ? aR : aB;
    if (aLayout.alpha)
        Interleave<T, Lut, true>(first, aG, last, aCount, aLut, aLayout.bgr, aOut);
    else
        Interleave<T, Lut, false>(first, aG, last, aCount, aLut, aLayout.bgr, aOut);
}

}

TARN_KERNEL void Interleave8(const uint8_t *aR, const uint8_t *aG, const uint8_t *aB, size_t aCount, ColorLayout aLayout,
                 const Lut8 *aLut, uint8_t *aOut)
{
    Dispatch(aR, aG, aB, aCount, aLayout, aLut, aOut);
}

TARN_KERNEL void Interleave16(const uint16_t *aR, const uint16_t *aG, const uint16_t *aB, size_t aCount, ColorLayout aLayout,
                  const Lut16 *aLut, uint16_t *aOut)
{
    Dispatch(aR, aG, aB, aCount, aLayout, aLut, aOut);
}

}
}
