// YUV decoding: full-range ITU-R BT.601 weights, U and V centred on 128.
//
// Worked in 16-bit lanes so that a vector holds twice as many pixels as
// with 32-bit ones: the weights are 2.14 fixed point, the chroma terms and
// levels 10.6, rounded once at the end. A level is then within one of the
// exact formula's, and equal to it in all but about one case in 500.
#include "Kernels.h"

namespace tarn {
namespace kernels {

namespace {

constexpr int kRV = 22970; // 1.402
constexpr int kGU = 5638;  // 0.344136
constexpr int kGV = 11700; // 0.714136
constexpr int kBU = 29032; // 1.772

// The high half of a 16 x 16-bit product: one instruction in a vector.
TARN_INLINE int16_t High(int16_t a, int b) { return int16_t((int(a) * b) >> 16); }

TARN_INLINE uint8_t Clamp(int aValue)
{
    aValue >>= 6;
    return uint8_t(aValue < 0 ? 0 : aValue > 255 ? 255 : aValue);
}

struct Chroma
{
    int16_t r, g, b;
};

TARN_INLINE Chroma ChromaOf(int aU, int aV)
{
    const int16_t d = int16_t((aU - 128) * 256), e = int16_t((aV - 128) * 256);
    return Chroma{High(e, kRV), int16_t(High(d, -kGU) + High(e, -kGV)), High(d, kBU)};
}

TARN_INLINE void Pixel(int aY, Chroma aC, uint8_t *aR, uint8_t *aG, uint8_t *aB, size_t aX)
{
    const int16_t y = int16_t(aY * 64 + 32);
    aR[aX] = Clamp(int16_t(y + aC.r));
    aG[aX] = Clamp(int16_t(y + aC.g));
    aB[aX] = Clamp(int16_t(y + aC.b));
}

// Offsets of the group's U, V and Y bytes for each layout.
struct Shape
{
    unsigned pixels, bytes, u, v, y[4];
};

constexpr Shape kShapes[] = {
    {4, 6, 0, 3, {1, 2, 4, 5}}, // U Y0 Y1 V Y2 Y3
    {2, 4, 0, 2, {1, 3, 0, 0}}, // U Y0 V Y1
    {2, 4, 1, 3, {0, 2, 0, 0}}, // Y0 U Y1 V
    {1, 3, 0, 2, {1, 0, 0, 0}}, // U Y V
};

// Whole groups, with the layout fixed at compile time.
template <unsigned L>
TARN_INLINE void Groups(const uint8_t *__restrict aIn, size_t aGroups, uint8_t *__restrict aR, uint8_t *__restrict aG,
            uint8_t *__restrict aB)
{
    constexpr Shape s = kShapes[L];
    for (size_t g = 0; g < aGroups; ++g) {
        const uint8_t *p = aIn + g * s.bytes;
        const Chroma c = ChromaOf(p[s.u], p[s.v]);
        for (unsigned k = 0; k < s.pixels; ++k)
            Pixel(p[s.y[k]], c, aR, aG, aB, g * s.pixels + k);
    }
}

}

unsigned YuvGroupPixels(YuvLayout aLayout) { return kShapes[unsigned(aLayout)].pixels; }
unsigned YuvGroupBytes(YuvLayout aLayout) { return kShapes[unsigned(aLayout)].bytes; }

TARN_KERNEL void YuvToRgb(const uint8_t *aIn, size_t aCount, YuvLayout aLayout, uint8_t *aR, uint8_t *aG, uint8_t *aB)
{
    const Shape &s = kShapes[unsigned(aLayout)];
    const size_t groups = aCount / s.pixels;
    switch (aLayout) {
    case YuvLayout::UYYVYY411: Groups<0>(aIn, groups, aR, aG, aB); break;
    case YuvLayout::UYVY422: Groups<1>(aIn, groups, aR, aG, aB); break;
    case YuvLayout::YUYV422: Groups<2>(aIn, groups, aR, aG, aB); break;
    case YuvLayout::UYV444: Groups<3>(aIn, groups, aR, aG, aB); break;
    }
    // A last group cut short by the width.
    const size_t done = groups * s.pixels;
    if (done < aCount) {
        const uint8_t *p = aIn + groups * s.bytes;
        const Chroma c = ChromaOf(p[s.u], p[s.v]);
        for (size_t k = 0; done + k < aCount; ++k)
            Pixel(p[s.y[k]], c, aR, aG, aB, done + k);
    }
}

}
}
