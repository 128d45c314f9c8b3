// Writing planar colour lines as interleaved pixels, through the RGB
// filter's tables when there is one.
#include "Vectors.h"

namespace tarn {
namespace kernels {

namespace {

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
    if (sizeof(T) == 1 && !Alpha) {
        for (; i + 32 <= aCount; i += 32)
            Interleave3x32(Load<Bytes32>(aFirst + i), Load<Bytes32>(aG + i), Load<Bytes32>(aLast + i),
                           reinterpret_cast<uint8_t *>(aOut + n * i));
        for (; i + 16 <= aCount; i += 16)
            Interleave3x16(Load<Bytes16>(aFirst + i), Load<Bytes16>(aG + i), Load<Bytes16>(aLast + i),
                           reinterpret_cast<uint8_t *>(aOut + n * i));
    }
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
