// YUV decoding: full-range ITU-R BT.601 weights, U and V centred on 128.
//
// Worked in 16-bit lanes so that a vector holds twice as many pixels as
// with 32-bit ones: the weights are 2.14 fixed point, the chroma terms and
// levels 10.6, rounded once at the end. A level is then within one of the
// exact formula's, and equal to it in all but about one case in 500.
#include "Vectors.h"

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

// High halves of 16 x 16-bit products, in each lane.
TARN_INLINE Shorts16 HighOf(const Shorts16 &a, int16_t b)
{
    int16_t h[16];
    for (int i = 0; i < 16; ++i)
        h[i] = int16_t((a[i] * b) >> 16);
    return Load<Shorts16>(h);
}

// Levels (x 64) into bytes, limited to 0-255, as Clamp does.
TARN_INLINE Bytes16 Clamped(const Shorts16 &a)
{
    Shorts16 s = a >> 6;
    s = s < 0 ? 0 : s;
    s = s > 255 ? 255 : s;
    return __builtin_convertvector(s, Bytes16);
}

// Sixteen pixels of 4:2:2 (32 bytes) into R, G and B bytes: the bytes read
// as 16-bit words split into the Y and the chroma lanes, each pixel's U and
// V repeated into its lane, then what Pixel does, in 16-bit lanes. YLow: Y
// in the low byte of each word (YUYV).
template <bool YLow>
struct Pixels422x16
{
    Bytes16 r, g, b;

    explicit TARN_INLINE Pixels422x16(const uint8_t *aIn)
    {
        typedef uint16_t Words16 __attribute__((vector_size(32)));
        const Words16 w = Load<Words16>(aIn);
        const Words16 y = YLow ? w & 0xFF : w >> 8, uv = YLow ? w >> 8 : w & 0xFF;
        const Words16 u = __builtin_shufflevector(uv, uv, 0, 0, 2, 2, 4, 4, 6, 6, 8, 8, 10, 10, 12, 12, 14, 14);
        const Words16 v = __builtin_shufflevector(uv, uv, 1, 1, 3, 3, 5, 5, 7, 7, 9, 9, 11, 11, 13, 13, 15, 15);
        const Shorts16 d = Shorts16((u - 128) << 8), e = Shorts16((v - 128) << 8);
        const Shorts16 level = Shorts16(y << 6) + 32;
        r = Clamped(level + HighOf(e, kRV));
        g = Clamped(level + (HighOf(d, -kGU) + HighOf(e, -kGV)));
        b = Clamped(level + HighOf(d, kBU));
    }
};

TARN_INLINE Bytes32 Join(const Bytes16 &aLow, const Bytes16 &aHigh)
{
    return __builtin_shufflevector(aLow, aHigh, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                                   21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
}

// Whole lines straight into interleaved pixels, 32 a step; RFirst: red is
// the pixel's first byte.
template <bool YLow, bool RFirst>
TARN_INLINE void Pixels422(const uint8_t *aIn, size_t aCount, uint8_t *aOut)
{
    size_t x = 0;
    for (; x + 32 <= aCount; x += 32) {
        const Pixels422x16<YLow> a(aIn + 2 * x), b(aIn + 2 * x + 32);
        const Bytes32 first = RFirst ? Join(a.r, b.r) : Join(a.b, b.b), last = RFirst ? Join(a.b, b.b) : Join(a.r, b.r);
        Interleave3x32(first, Join(a.g, b.g), last, aOut + 3 * x);
    }
    if (x + 16 <= aCount) {
        const Pixels422x16<YLow> a(aIn + 2 * x);
        Interleave3x16(RFirst ? a.r : a.b, a.g, RFirst ? a.b : a.r, aOut + 3 * x);
        x += 16;
    }
    // The last pixels, each group's bytes read whole.
    constexpr Shape s = kShapes[YLow ? 2 : 1];
    for (; x < aCount; ++x) {
        const uint8_t *p = aIn + x / 2 * 4;
        const Chroma c = ChromaOf(p[s.u], p[s.v]);
        uint8_t *out = aOut + 3 * x;
        Pixel(p[s.y[x & 1]], c, RFirst ? out : out + 2, out + 1, RFirst ? out + 2 : out, 0);
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

TARN_KERNEL void YuvToPixels(const uint8_t *aIn, size_t aCount, YuvLayout aLayout, bool aBgr, uint8_t *aOut)
{
    if (aLayout == YuvLayout::YUYV422) {
        if (aBgr)
            Pixels422<true, false>(aIn, aCount, aOut);
        else
            Pixels422<true, true>(aIn, aCount, aOut);
    } else {
        if (aBgr)
            Pixels422<false, false>(aIn, aCount, aOut);
        else
            Pixels422<false, true>(aIn, aCount, aOut);
    }
}

}
}
