// Unpacking of packed samples, depth changes and channel splitting.
#include "Kernels.h"

#include <algorithm>
#include <cstring>

namespace tarn {
namespace kernels {

namespace {

// One sample of an LSB-first stream, reading only the bytes it occupies.
TARN_INLINE uint16_t ReadLsb(const uint8_t *aIn, uint64_t aBit, unsigned aBits)
{
    const uint8_t *p = aIn + (aBit >> 3);
    unsigned shift = unsigned(aBit & 7);
    unsigned bytes = (shift + aBits + 7) / 8;
    uint32_t v = p[0];
    if (bytes > 1)
        v |= uint32_t(p[1]) << 8;
    if (bytes > 2)
        v |= uint32_t(p[2]) << 16;
    return uint16_t((v >> shift) & ((1u << aBits) - 1));
}

TARN_INLINE uint64_t Load64(const uint8_t *aIn)
{
    uint64_t v;
    std::memcpy(&v, aIn, 8);
    return v;
}

typedef uint8_t Bytes16 __attribute__((vector_size(16)));
typedef uint16_t Words8 __attribute__((vector_size(16)));

// Eight 12-bit samples from the 12 bytes at aIn (16 are read): each pair's
// three bytes spread into two little-endian words, bytes 0-1 and 1-2, of
// which the first keeps its low 12 bits and the second its high 12. One
// byte shuffle and three whole-vector operations, so that a vector unit
// does eight samples at once.
TARN_INLINE void Unpack12x8(const uint8_t *aIn, uint16_t *aOut)
{
    Bytes16 in;
    std::memcpy(&in, aIn, 16);
    const Bytes16 spread = __builtin_shufflevector(in, in, 0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11);
    Words8 w;
    std::memcpy(&w, &spread, 16);
    const Words8 first = {0xFFFF, 0, 0xFFFF, 0, 0xFFFF, 0, 0xFFFF, 0};
    const Words8 out = ((w & 0x0FFF) & first) | ((w >> 4) & ~first);
    std::memcpy(aOut, &out, 16);
}

}

TARN_KERNEL void UnpackLsb(const uint8_t *aIn, uint64_t aFirst, size_t aCount, unsigned aBits, uint16_t *aOut)
{
    size_t i = 0;
    if (aBits == 12) {
        // Pairs fill three whole bytes: from an even sample on, eight at a
        // time while the 16-byte load stays inside the samples' bytes.
        if (aCount && (aFirst & 1)) {
            aOut[0] = ReadLsb(aIn, aFirst * 12, 12);
            i = 1;
        }
        const uint64_t end = ((aFirst + aCount) * 12 + 7) / 8;
        uint64_t at = (aFirst + i) / 2 * 3;
        for (; i + 8 <= aCount && at + 16 <= end; i += 8, at += 12)
            Unpack12x8(aIn + at, aOut + i);
    }
    // Four samples of 10, 12 or 14 bits fill 5, 6 or 7 whole bytes: from a
    // multiple of four on, one 64-bit load yields four samples, as long as
    // the load stays inside the bytes the samples occupy.
    if (aBits == 10 || aBits == 12 || aBits == 14) {
        for (; i < aCount && (aFirst + i) % 4; ++i)
            aOut[i] = ReadLsb(aIn, (aFirst + i) * aBits, aBits);
        const uint64_t end = ((aFirst + aCount) * aBits + 7) / 8;
        const uint64_t mask = (1u << aBits) - 1;
        const unsigned step = aBits / 2;
        uint64_t at = (aFirst + i) * aBits / 8;
        for (; i + 4 <= aCount && at + 8 <= end; i += 4, at += step) {
            uint64_t v = Load64(aIn + at);
            aOut[i] = uint16_t(v & mask);
            aOut[i + 1] = uint16_t((v >> aBits) & mask);
            aOut[i + 2] = uint16_t((v >> (2 * aBits)) & mask);
            aOut[i + 3] = uint16_t((v >> (3 * aBits)) & mask);
        }
    }
    for (; i < aCount; ++i)
        aOut[i] = ReadLsb(aIn, (aFirst + i) * aBits, aBits);
}

TARN_KERNEL void UnpackGev(const uint8_t *aIn, uint64_t aFirst, size_t aCount, unsigned aBits, uint16_t *aOut)
{
    // Bytes 0 and 2 hold the high bits of samples 0 and 1; byte 1 their low
    // bits: nibbles 0 and 1 for 12 bits, bits 0-1 and 4-5 for 10 bits.
    const unsigned low = aBits - 8;
    const unsigned mask = (1u << low) - 1;
    auto first = [&](const uint8_t *p) { return uint16_t((p[0] << low) | (p[1] & mask)); };
    auto second = [&](const uint8_t *p) { return uint16_t((p[2] << low) | ((p[1] >> 4) & mask)); };
    size_t i = 0;
    const uint8_t *p = aIn + (aFirst / 2) * 3;
    if (aCount && (aFirst & 1)) {
        aOut[i++] = second(p);
        p += 3;
    }
    for (; i + 2 <= aCount; i += 2, p += 3) {
        aOut[i] = first(p);
        aOut[i + 1] = second(p);
    }
    if (i < aCount)
        aOut[i] = first(p);
}

TARN_KERNEL void LoadWords(const uint8_t *aIn, size_t aCount, unsigned aBits, uint16_t *__restrict aOut)
{
    const uint16_t top = uint16_t((1u << aBits) - 1);
    if (aCount)
        std::memcpy(aOut, aIn, aCount * 2);
    if (aBits < 16)
        for (size_t i = 0; i < aCount; ++i)
            aOut[i] = std::min(aOut[i], top);
}

TARN_KERNEL void NarrowShift(const uint16_t *__restrict aIn, size_t aCount, unsigned aShift, uint8_t *__restrict aOut)
{
    for (size_t i = 0; i < aCount; ++i)
        aOut[i] = uint8_t(aIn[i] >> aShift);
}

TARN_KERNEL void WidenShift(const uint8_t *__restrict aIn, size_t aCount, unsigned aShift, uint16_t *__restrict aOut)
{
    for (size_t i = 0; i < aCount; ++i)
        aOut[i] = uint16_t(aIn[i] << aShift);
}

TARN_KERNEL void ShiftWords(const uint16_t *aIn, size_t aCount, int aShift, uint16_t *aOut)
{
    if (aShift >= 0)
        for (size_t i = 0; i < aCount; ++i)
            aOut[i] = uint16_t(aIn[i] << aShift);
    else
        for (size_t i = 0; i < aCount; ++i)
            aOut[i] = uint16_t(aIn[i] >> -aShift);
}

TARN_KERNEL void SplitChannels8(const uint8_t *__restrict aIn, size_t aCount, unsigned aChannels, bool aSwap,
                    uint8_t *__restrict aR, uint8_t *__restrict aG, uint8_t *__restrict aB)
{
    if (aSwap)
        std::swap(aR, aB);
    if (aChannels == 3) {
        for (size_t i = 0; i < aCount; ++i) {
            aR[i] = aIn[3 * i];
            aG[i] = aIn[3 * i + 1];
            aB[i] = aIn[3 * i + 2];
        }
    } else {
        for (size_t i = 0; i < aCount; ++i) {
            aR[i] = aIn[4 * i];
            aG[i] = aIn[4 * i + 1];
            aB[i] = aIn[4 * i + 2];
        }
    }
}

TARN_KERNEL void SplitChannels16(const uint8_t *aIn, size_t aCount, unsigned aChannels, bool aSwap, unsigned aBits,
                     uint16_t *__restrict aR, uint16_t *__restrict aG, uint16_t *__restrict aB)
{
    if (aSwap)
        std::swap(aR, aB);
    const uint16_t top = uint16_t((1u << aBits) - 1);
    for (size_t i = 0; i < aCount; ++i) {
        uint16_t v[3];
        std::memcpy(v, aIn + 2 * aChannels * i, 6);
        aR[i] = std::min(v[0], top);
        aG[i] = std::min(v[1], top);
        aB[i] = std::min(v[2], top);
    }
}

}
}
