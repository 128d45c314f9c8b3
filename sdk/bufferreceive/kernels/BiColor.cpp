// Bi-colour interpolation along a line.
#include "Kernels.h"

namespace tarn {
namespace kernels {

namespace {

template <class T>
TARN_INLINE void Line(const T *__restrict s, size_t w, bool aBlueFirst, bool aThree, T *aR, T *__restrict aG, T *aB)
{
    // Even pixels carry the first colour, odd ones the second: plane e
    // receives the colour even pixels carry, plane o the other.
    T *__restrict e = aBlueFirst ? aB : aR;
    T *__restrict o = aBlueFirst ? aR : aB;
    auto colour = [s](size_t x) { return s[2 * x]; };
    for (size_t x = 0; x < w; ++x)
        aG[x] = s[2 * x + 1];
    for (size_t x = 0; x < w; ++x) {
        T own = colour(x);
        T missing;
        size_t left = x == 0 ? 1 : x - 1;
        size_t right = x + 1 == w ? w - 2 : x + 1;
        if (aThree)
            missing = T((colour(left) + colour(right) + 1) >> 1);
        else
            missing = colour(x + 1 == w ? x - 1 : x + 1);
        if (x & 1) {
            o[x] = own;
            e[x] = missing;
        } else {
            e[x] = own;
            o[x] = missing;
        }
    }
}

}

TARN_KERNEL void BiColor(const uint8_t *aIn, size_t aWidth, bool aBlueFirst, bool aThree, uint8_t *aR, uint8_t *aG,
             uint8_t *aB)
{
    Line(aIn, aWidth, aBlueFirst, aThree, aR, aG, aB);
}

TARN_KERNEL void BiColor(const uint16_t *aIn, size_t aWidth, bool aBlueFirst, bool aThree, uint16_t *aR, uint16_t *aG,
             uint16_t *aB)
{
    Line(aIn, aWidth, aBlueFirst, aThree, aR, aG, aB);
}

}
}
