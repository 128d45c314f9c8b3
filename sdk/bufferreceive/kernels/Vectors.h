#ifndef TARN_KERNELS_VECTORS_H
#define TARN_KERNELS_VECTORS_H

// Vectors the kernels share, in the compiler's generic vector types, so
// that each kernel clone gets the widest instructions of its processor:
// 32 bytes are one AVX2 register, or two SSE2 ones in the baseline clone.
//
// Lane-wise arithmetic is written as a loop over the lanes: the vectoriser
// turns each into one instruction (a rounded mean, a high product), which
// it does not for the same expression on whole vectors.

#include "Kernels.h"

#include <cstring>

namespace tarn {
namespace kernels {

typedef uint8_t Bytes16 __attribute__((vector_size(16)));
typedef uint8_t Bytes32 __attribute__((vector_size(32)));
typedef int16_t Shorts16 __attribute__((vector_size(32)));

template <class V>
TARN_INLINE V Load(const void *aIn)
{
    V v;
    std::memcpy(&v, aIn, sizeof v);
    return v;
}

template <class V>
TARN_INLINE void Store(void *aOut, const V &aValue)
{
    std::memcpy(aOut, &aValue, sizeof aValue);
}

// (a + b + 1) >> 1 in each lane.
TARN_INLINE Bytes32 Mean2(const Bytes32 &a, const Bytes32 &b)
{
    Bytes32 m;
    for (int i = 0; i < 32; ++i)
        m[i] = uint8_t((a[i] + b[i] + 1) >> 1);
    return m;
}

// (a + b + c + d + 2) >> 2 in each lane, without leaving 8 bits, from the
// two means of pairs ab = Mean2(a, b) and cd = Mean2(c, d): their mean
// rounds up once too often exactly when ab + cd is odd and a pair's sum was
// odd, which the low bits tell.
TARN_INLINE Bytes32 Mean4(const Bytes32 &a, const Bytes32 &b, const Bytes32 &c, const Bytes32 &d, const Bytes32 &ab,
                          const Bytes32 &cd)
{
    return Mean2(ab, cd) - ((ab ^ cd) & ((a ^ b) | (c ^ d)) & 1);
}

// Sixteen pixels of three 8-bit planes as 48 interleaved bytes: each output
// vector picks its bytes from the first two planes, then from that and the
// third, byte shuffles a vector unit does in a few steps where a loop over
// three-byte pixels goes one byte at a time.
TARN_INLINE void Interleave3x16(const Bytes16 &a, const Bytes16 &b, const Bytes16 &c, uint8_t *aOut)
{
    const Bytes16 ab0 = __builtin_shufflevector(a, b, 0, 16, 0, 1, 17, 0, 2, 18, 0, 3, 19, 0, 4, 20, 0, 5);
    const Bytes16 ab1 = __builtin_shufflevector(a, b, 21, 0, 6, 22, 0, 7, 23, 0, 8, 24, 0, 9, 25, 0, 10, 26);
    const Bytes16 ab2 = __builtin_shufflevector(a, b, 0, 11, 27, 0, 12, 28, 0, 13, 29, 0, 14, 30, 0, 15, 31, 0);
    const Bytes16 out0 = __builtin_shufflevector(ab0, c, 0, 1, 16, 3, 4, 17, 6, 7, 18, 9, 10, 19, 12, 13, 20, 15);
    const Bytes16 out1 = __builtin_shufflevector(ab1, c, 0, 21, 2, 3, 22, 5, 6, 23, 8, 9, 24, 11, 12, 25, 14, 15);
    const Bytes16 out2 = __builtin_shufflevector(ab2, c, 26, 1, 2, 27, 4, 5, 28, 7, 8, 29, 10, 11, 30, 13, 14, 31);
    Store(aOut, out0);
    Store(aOut + 16, out1);
    Store(aOut + 32, out2);
}

// Thirty-two pixels as 96 interleaved bytes: the same shuffles on both
// 16-byte halves at once (each half's bytes stay in that half, which is how
// an AVX2 byte shuffle works), then the six 16-byte results put in order.
TARN_INLINE void Interleave3x32(const Bytes32 &a, const Bytes32 &b, const Bytes32 &c, uint8_t *aOut)
{
    const Bytes32 ab0 = __builtin_shufflevector(a, b, 0, 32, 0, 1, 33, 0, 2, 34, 0, 3, 35, 0, 4, 36, 0, 5, 16, 48, 16,
                                                17, 49, 16, 18, 50, 16, 19, 51, 16, 20, 52, 16, 21);
    const Bytes32 ab1 = __builtin_shufflevector(a, b, 37, 0, 6, 38, 0, 7, 39, 0, 8, 40, 0, 9, 41, 0, 10, 42, 53, 16, 22,
                                                54, 16, 23, 55, 16, 24, 56, 16, 25, 57, 16, 26, 58);
    const Bytes32 ab2 = __builtin_shufflevector(a, b, 0, 11, 43, 0, 12, 44, 0, 13, 45, 0, 14, 46, 0, 15, 47, 0, 16, 27,
                                                59, 16, 28, 60, 16, 29, 61, 16, 30, 62, 16, 31, 63, 16);
    const Bytes32 out0 = __builtin_shufflevector(ab0, c, 0, 1, 32, 3, 4, 33, 6, 7, 34, 9, 10, 35, 12, 13, 36, 15, 16, 17,
                                                 48, 19, 20, 49, 22, 23, 50, 25, 26, 51, 28, 29, 52, 31);
    const Bytes32 out1 = __builtin_shufflevector(ab1, c, 0, 37, 2, 3, 38, 5, 6, 39, 8, 9, 40, 11, 12, 41, 14, 15, 16, 53,
                                                 18, 19, 54, 21, 22, 55, 24, 25, 56, 27, 28, 57, 30, 31);
    const Bytes32 out2 = __builtin_shufflevector(ab2, c, 42, 1, 2, 43, 4, 5, 44, 7, 8, 45, 10, 11, 46, 13, 14, 47, 58, 17,
                                                 18, 59, 20, 21, 60, 23, 24, 61, 26, 27, 62, 29, 30, 63);
    // Halves: out0 low, out1 low, out2 low, then the high ones.
    Store(aOut, __builtin_shufflevector(out0, out1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 32, 33, 34, 35,
                                        36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47));
    Store(aOut + 32, __builtin_shufflevector(out2, out0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 48, 49,
                                             50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63));
    Store(aOut + 64, __builtin_shufflevector(out1, out2, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31,
                                             48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63));
}

}
}

#endif
