#ifndef TARN_KERNELS_H
#define TARN_KERNELS_H

// Pixel kernels: pure functions over lines of samples. They know nothing of
// buffers, images or threads; the converter and the filters cut images into
// lines and hand them here, so every kernel can be tested and fuzzed alone.
//
// Samples are 8-bit (uint8_t) or up to 16-bit (uint16_t, least significant
// bits used). Colour lines are planar (one line per channel) between the
// decoding and the writing stage, but for the commonest 8-bit cases, which
// go straight into pixels from the vectors that work them out: writing
// planes and reading them back cost as much as the interpolation itself.

#include <cstddef>
#include <cstdint>

// Kernels are built for the processor's widest vectors: on x86-64 each is
// compiled twice, for AVX2 and for the baseline, and the loader picks one.
// What they call is inlined into them (TARN_INLINE), so that it is compiled
// for the same processor.
// ThreadSanitizer instruments the loader's choice itself, which then runs
// before the sanitizer is ready: its builds take the baseline alone.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TARN_KERNEL_BASELINE
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define TARN_KERNEL_BASELINE
#endif
#if defined(__x86_64__) && defined(__has_attribute) && !defined(TARN_KERNEL_BASELINE)
#if __has_attribute(target_clones)
#define TARN_KERNEL __attribute__((target_clones("avx2", "default")))
#endif
#endif
#ifndef TARN_KERNEL
#define TARN_KERNEL
#endif
#define TARN_INLINE inline __attribute__((always_inline))

namespace tarn {
namespace kernels {

// ---- Packed and wide samples -------------------------------------------

// Unpacks aCount samples of aBits bits (1 to 16) from a bit stream that
// stores each sample least significant bit first, starting with sample
// number aFirst of the stream. Reads only the bytes those samples occupy.
void UnpackLsb(const uint8_t *aIn, uint64_t aFirst, size_t aCount, unsigned aBits, uint16_t *aOut);

// Unpacks samples of the GigE Vision "Packed" layout (two samples in three
// bytes, the high bits in the outer bytes, the low bits in the middle one),
// 10 or 12 bits, starting with sample number aFirst of the stream.
void UnpackGev(const uint8_t *aIn, uint64_t aFirst, size_t aCount, unsigned aBits, uint16_t *aOut);

// Reads little-endian 16-bit containers and limits each sample to aBits bits
// (a level above the depth counts as the largest one).
void LoadWords(const uint8_t *aIn, size_t aCount, unsigned aBits, uint16_t *aOut);

// aOut[i] = aIn[i] >> aShift (the samples are at most 8 + aShift bits).
void NarrowShift(const uint16_t *aIn, size_t aCount, unsigned aShift, uint8_t *aOut);

// aOut[i] = aIn[i] << aShift, 8-bit samples widened.
void WidenShift(const uint8_t *aIn, size_t aCount, unsigned aShift, uint16_t *aOut);

// aOut[i] = aIn[i] << aShift or >> -aShift; in place allowed.
void ShiftWords(const uint16_t *aIn, size_t aCount, int aShift, uint16_t *aOut);

// Splits interleaved channels (aChannels samples a pixel, of which the first
// three are read) into planes; aSwap exchanges the first and third channel
// (BGR into R, G, B planes).
void SplitChannels8(const uint8_t *aIn, size_t aCount, unsigned aChannels, bool aSwap,
                    uint8_t *aR, uint8_t *aG, uint8_t *aB);
// The same over 16-bit little-endian containers, limited to aBits bits.
void SplitChannels16(const uint8_t *aIn, size_t aCount, unsigned aChannels, bool aSwap, unsigned aBits,
                     uint16_t *aR, uint16_t *aG, uint16_t *aB);

// ---- Writing colour pixels ----------------------------------------------

// Layout of a written colour pixel.
struct ColorLayout
{
    bool bgr;   // blue first
    bool alpha; // a fourth, fully opaque channel
};

// Per-channel look-up tables of the RGB filter, indexed by level.
struct Lut8
{
    uint8_t r[256], g[256], b[256];
};
struct Lut16
{
    uint16_t r[65536], g[65536], b[65536];
};

// Interleaves three planes into 8-bit pixels; aLut may be null.
void Interleave8(const uint8_t *aR, const uint8_t *aG, const uint8_t *aB, size_t aCount, ColorLayout aLayout,
                 const Lut8 *aLut, uint8_t *aOut);
// Interleaves three planes into 16-bit pixels; aLut may be null.
void Interleave16(const uint16_t *aR, const uint16_t *aG, const uint16_t *aB, size_t aCount, ColorLayout aLayout,
                  const Lut16 *aLut, uint16_t *aOut);

// ---- Bayer ---------------------------------------------------------------

// The colour of a Bayer site.
enum class Cfa : uint8_t { R, G, B };

// Colours of the first two sites of a line, and of the next line.
struct BayerLine
{
    Cfa even, odd;
};

// Bilinear (3x3) interpolation of one line. aAbove and aBelow are the
// neighbouring lines (for the first and last line of an image, the mirror
// images: line 1 and line h-2); aLine's sites alternate aKind.even and
// aKind.odd. aWidth is at least 2; the line is mirrored at its ends.
void Bayer3x3(const uint8_t *aAbove, const uint8_t *aLine, const uint8_t *aBelow, size_t aWidth,
              BayerLine aKind, uint8_t *aR, uint8_t *aG, uint8_t *aB);
void Bayer3x3(const uint16_t *aAbove, const uint16_t *aLine, const uint16_t *aBelow, size_t aWidth,
              BayerLine aKind, uint16_t *aR, uint16_t *aG, uint16_t *aB);

// The 8-bit Bayer3x3 written straight as interleaved three-byte pixels,
// blue first when aBgr: what Bayer3x3 then Interleave8 write, without the
// planes in between.
void Bayer3x3Pixels(const uint8_t *aAbove, const uint8_t *aLine, const uint8_t *aBelow, size_t aWidth,
                    BayerLine aKind, bool aBgr, uint8_t *aOut);

// 2x2 interpolation of one line: each pixel takes its colours from the 2x2
// block at its position (aTop, aBottom being the block's two lines), the
// block shifted one to the left at the last column. aKind describes aTop.
void Bayer2x2(const uint8_t *aTop, const uint8_t *aBottom, size_t aWidth, BayerLine aKind,
              uint8_t *aR, uint8_t *aG, uint8_t *aB);
void Bayer2x2(const uint16_t *aTop, const uint16_t *aBottom, size_t aWidth, BayerLine aKind,
              uint16_t *aR, uint16_t *aG, uint16_t *aB);

// ---- Bi-colour -----------------------------------------------------------

// One line of a bi-colour image: aIn holds two samples a pixel (colour,
// then green), the colour being red at even pixels and blue at odd ones
// (aBlueFirst reverses that). aThree chooses the 1x3 mean over the 1x2
// neighbour. aWidth is at least 2.
void BiColor(const uint8_t *aIn, size_t aWidth, bool aBlueFirst, bool aThree, uint8_t *aR, uint8_t *aG,
             uint8_t *aB);
void BiColor(const uint16_t *aIn, size_t aWidth, bool aBlueFirst, bool aThree, uint16_t *aR, uint16_t *aG,
             uint16_t *aB);

// ---- YUV -----------------------------------------------------------------

// Byte order of the YUV layouts.
enum class YuvLayout : uint8_t { UYYVYY411, UYVY422, YUYV422, UYV444 };

// Pixels of a group sharing one U and V, and its bytes.
unsigned YuvGroupPixels(YuvLayout aLayout);
unsigned YuvGroupBytes(YuvLayout aLayout);

// Decodes aCount pixels of one line that starts on a group boundary into
// RGB planes (full-range ITU-R BT.601 weights). The last group may be cut
// short by aCount; its bytes are read whole.
void YuvToRgb(const uint8_t *aIn, size_t aCount, YuvLayout aLayout, uint8_t *aR, uint8_t *aG, uint8_t *aB);
// The same for the 4:2:2 layouts (UYVY422, YUYV422) straight into
// interleaved three-byte pixels, blue first when aBgr: what YuvToRgb then
// Interleave8 write, without the planes.
void YuvToPixels(const uint8_t *aIn, size_t aCount, YuvLayout aLayout, bool aBgr, uint8_t *aOut);

// ---- Prediction for the lossless encoding ----------------------------------

// Replaces each element by its difference to the element aStride elements
// before it (modulo 2^8 or 2^16); the first aStride elements stay as they are.
// 16-bit elements are little-endian; the result is written as two planes
// (all low bytes, then all high bytes) into aOut, which holds aCount * 2 bytes.
void Predict8(const uint8_t *aIn, size_t aCount, unsigned aStride, uint8_t *aOut);
void Predict16(const uint8_t *aIn, size_t aCount, unsigned aStride, uint8_t *aOut);
// The inverses.
void Unpredict8(const uint8_t *aIn, size_t aCount, unsigned aStride, uint8_t *aOut);
void Unpredict16(const uint8_t *aIn, size_t aCount, unsigned aStride, uint8_t *aOut);

}
}

#endif
