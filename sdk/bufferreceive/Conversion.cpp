#include "Conversion.h"

#include "ZuPixelTypeInfo.h"

#include <cstring>

namespace tarn {
namespace conv {

using namespace kernels;

namespace {

enum class Family : uint8_t { Mono, Bayer, BiColor, Yuv, Rgb };
// How samples are stored: bytes, little-endian 16-bit containers, the
// GigE Vision "Packed" layout, or a least-significant-bit-first stream.
enum class Storage : uint8_t { Byte, Word, Gev, Lsb };

struct Format
{
    Family family;
    Storage storage;
    unsigned depth;   // significant bits of a sample
    unsigned samples; // samples a pixel: 1, 2 (bi-colour), 3 or 4 (RGB)
    Cfa cfa[4];       // Bayer: first line even, odd; second line even, odd
    bool swap;        // bi-colour blue first; BGR order
    YuvLayout yuv;
};

constexpr Format Mono(Storage aStorage, unsigned aDepth)
{
    return Format{Family::Mono, aStorage, aDepth, 1, {}, false, {}};
}

constexpr Format Bayer(Storage aStorage, unsigned aDepth, Cfa a, Cfa b, Cfa c, Cfa d)
{
    return Format{Family::Bayer, aStorage, aDepth, 1, {a, b, c, d}, false, {}};
}

constexpr Format BiColor(Storage aStorage, unsigned aDepth, bool aBlueFirst)
{
    return Format{Family::BiColor, aStorage, aDepth, 2, {}, aBlueFirst, {}};
}

constexpr Format Rgb(Storage aStorage, unsigned aDepth, unsigned aChannels, bool aBgr)
{
    return Format{Family::Rgb, aStorage, aDepth, aChannels, {}, aBgr, {}};
}

constexpr Format Yuv(YuvLayout aLayout)
{
    return Format{Family::Yuv, Storage::Byte, 8, 0, {}, false, aLayout};
}

constexpr Cfa R = Cfa::R, G = Cfa::G, B = Cfa::B;

// The four Bayer patterns in every storage the converter reads.
#define TARN_BAYER(P, a, b, c, d)                                                                 \
    case ZuPixelBayer##P##8: aFormat = Bayer(Storage::Byte, 8, a, b, c, d); return true;          \
    case ZuPixelBayer##P##10: aFormat = Bayer(Storage::Word, 10, a, b, c, d); return true;        \
    case ZuPixelBayer##P##12: aFormat = Bayer(Storage::Word, 12, a, b, c, d); return true;        \
    case ZuPixelBayer##P##14: aFormat = Bayer(Storage::Word, 14, a, b, c, d); return true;        \
    case ZuPixelBayer##P##16: aFormat = Bayer(Storage::Word, 16, a, b, c, d); return true;        \
    case ZuPixelBayer##P##10Packed: aFormat = Bayer(Storage::Gev, 10, a, b, c, d); return true;   \
    case ZuPixelBayer##P##12Packed: aFormat = Bayer(Storage::Gev, 12, a, b, c, d); return true;   \
    case ZuPixelBayer##P##10p: aFormat = Bayer(Storage::Lsb, 10, a, b, c, d); return true;        \
    case ZuPixelBayer##P##12p: aFormat = Bayer(Storage::Lsb, 12, a, b, c, d); return true;        \
    case ZuPixelBayer##P##14p: aFormat = Bayer(Storage::Lsb, 14, a, b, c, d); return true;

#define TARN_RGB(P, n, bgr)                                                                       \
    case ZuPixel##P##10: aFormat = Rgb(Storage::Word, 10, n, bgr); return true;                   \
    case ZuPixel##P##12: aFormat = Rgb(Storage::Word, 12, n, bgr); return true;                   \
    case ZuPixel##P##14: aFormat = Rgb(Storage::Word, 14, n, bgr); return true;                   \
    case ZuPixel##P##16: aFormat = Rgb(Storage::Word, 16, n, bgr); return true;

bool Describe(ZuPixelType aType, Format &aFormat)
{
    switch (aType) {
    case ZuPixelMono8: aFormat = Mono(Storage::Byte, 8); return true;
    case ZuPixelMono10: aFormat = Mono(Storage::Word, 10); return true;
    case ZuPixelMono12: aFormat = Mono(Storage::Word, 12); return true;
    case ZuPixelMono14: aFormat = Mono(Storage::Word, 14); return true;
    case ZuPixelMono16: aFormat = Mono(Storage::Word, 16); return true;
    case ZuPixelMono10Packed: aFormat = Mono(Storage::Gev, 10); return true;
    case ZuPixelMono12Packed: aFormat = Mono(Storage::Gev, 12); return true;
    case ZuPixelMono10p: aFormat = Mono(Storage::Lsb, 10); return true;
    case ZuPixelMono12p: aFormat = Mono(Storage::Lsb, 12); return true;
    case ZuPixelMono14p: aFormat = Mono(Storage::Lsb, 14); return true;
    TARN_BAYER(GR, G, R, B, G)
    TARN_BAYER(RG, R, G, G, B)
    TARN_BAYER(GB, G, B, R, G)
    TARN_BAYER(BG, B, G, G, R)
    case ZuPixelBiColorRGBG8: aFormat = BiColor(Storage::Byte, 8, false); return true;
    case ZuPixelBiColorBGRG8: aFormat = BiColor(Storage::Byte, 8, true); return true;
    case ZuPixelBiColorRGBG10: aFormat = BiColor(Storage::Word, 10, false); return true;
    case ZuPixelBiColorBGRG10: aFormat = BiColor(Storage::Word, 10, true); return true;
    case ZuPixelBiColorRGBG12: aFormat = BiColor(Storage::Word, 12, false); return true;
    case ZuPixelBiColorBGRG12: aFormat = BiColor(Storage::Word, 12, true); return true;
    case ZuPixelBiColorRGBG10p: aFormat = BiColor(Storage::Lsb, 10, false); return true;
    case ZuPixelBiColorBGRG10p: aFormat = BiColor(Storage::Lsb, 10, true); return true;
    case ZuPixelBiColorRGBG12p: aFormat = BiColor(Storage::Lsb, 12, false); return true;
    case ZuPixelBiColorBGRG12p: aFormat = BiColor(Storage::Lsb, 12, true); return true;
    case ZuPixelYUV411_8_UYYVYY: aFormat = Yuv(YuvLayout::UYYVYY411); return true;
    case ZuPixelYUV422_8_UYVY: aFormat = Yuv(YuvLayout::UYVY422); return true;
    case ZuPixelYUV422_8: aFormat = Yuv(YuvLayout::YUYV422); return true;
    case ZuPixelYUV8_UYV: aFormat = Yuv(YuvLayout::UYV444); return true;
    case ZuPixelRGB8: aFormat = Rgb(Storage::Byte, 8, 3, false); return true;
    case ZuPixelBGR8: aFormat = Rgb(Storage::Byte, 8, 3, true); return true;
    case ZuPixelRGBa8: aFormat = Rgb(Storage::Byte, 8, 4, false); return true;
    case ZuPixelBGRa8: aFormat = Rgb(Storage::Byte, 8, 4, true); return true;
    TARN_RGB(RGB, 3, false)
    TARN_RGB(BGR, 3, true)
    TARN_RGB(RGBa, 4, false)
    TARN_RGB(BGRa, 4, true)
    default: return false;
    }
}

#undef TARN_BAYER
#undef TARN_RGB

enum class Out : uint8_t { Mono8, Mono16, Color8, Color16 };

struct Output
{
    Out kind;
    ColorLayout layout;
};

bool DescribeTarget(ZuPixelType aType, Output &aOutput)
{
    switch (aType) {
    case ZuPixelMono8: aOutput = {Out::Mono8, {}}; return true;
    case ZuPixelMono16: aOutput = {Out::Mono16, {}}; return true;
    case ZuPixelRGB8: aOutput = {Out::Color8, {false, false}}; return true;
    case ZuPixelBGR8: aOutput = {Out::Color8, {true, false}}; return true;
    case ZuPixelRGBa8: aOutput = {Out::Color8, {false, true}}; return true;
    case ZuPixelBGRa8: aOutput = {Out::Color8, {true, true}}; return true;
    case ZuPixelRGB16: aOutput = {Out::Color16, {false, false}}; return true;
    case ZuPixelBGR16: aOutput = {Out::Color16, {true, false}}; return true;
    case ZuPixelRGBa16: aOutput = {Out::Color16, {false, true}}; return true;
    case ZuPixelBGRa16: aOutput = {Out::Color16, {true, true}}; return true;
    default: return false;
    }
}

bool Pair(ZuPixelType aSource, ZuPixelType aTarget, Format &aFormat, Output &aOutput)
{
    if (!Describe(aSource, aFormat) || !DescribeTarget(aTarget, aOutput))
        return false;
    switch (aOutput.kind) {
    case Out::Mono8:
    case Out::Mono16: return aFormat.family == Family::Mono;
    case Out::Color8: return true;
    case Out::Color16: return aFormat.family != Family::Mono && aFormat.family != Family::Yuv && aFormat.depth > 8;
    }
    return false;
}

uint64_t ImageBytes(uint32_t aWidth, uint32_t aHeight, ZuPixelType aType, uint16_t aPaddingX, uint16_t aPaddingY)
{
    unsigned __int128 pixels = (unsigned __int128)(uint64_t(aWidth) + aPaddingX) * (uint64_t(aHeight) + aPaddingY);
    unsigned __int128 bytes = (pixels * ZuPixelTypeGetBitsPerPixel(aType) + 7) / 8;
    return bytes > UINT64_MAX ? UINT64_MAX : uint64_t(bytes);
}

ZuResult Invalid(const char *aText) { return ZuResult(ZU_INVALID_PARAMETER, ZuString(aText)); }

// ---- One conversion ---------------------------------------------------------

struct Job
{
    const Source &source;
    const Target &target;
    const Options &options;
    Format format;
    Output output;
    size_t width;
    uint64_t pitch;        // pixels from one source line to the next
    size_t sourceStride;   // bytes, for byte-aligned sources
    size_t targetStride;   // bytes
    size_t lineSamples;    // samples of one decoded line

    Job(const Source &aSource, const Target &aTarget, const Options &aOptions)
        : source(aSource), target(aTarget), options(aOptions)
    {
        Pair(aSource.type, aTarget.type, format, output);
        width = aSource.width;
        pitch = uint64_t(aSource.width) + aSource.paddingX;
        sourceStride = size_t(pitch * ZuPixelTypeGetBitsPerPixel(aSource.type) / 8);
        targetStride = TargetStride(aSource, aTarget);
        lineSamples = width * (format.samples ? format.samples : 1);
    }

    const uint8_t *SourceLine(uint32_t aLine) const { return source.data + aLine * uint64_t(sourceStride); }

    // Decodes the samples of a source line that is not stored as bytes.
    void Decode(uint32_t aLine, uint16_t *aOut) const
    {
        const uint64_t first = aLine * pitch * format.samples;
        switch (format.storage) {
        case Storage::Word:
            LoadWords(SourceLine(aLine), lineSamples, format.depth, aOut);
            break;
        case Storage::Gev: UnpackGev(source.data, first, lineSamples, format.depth, aOut); break;
        case Storage::Lsb: UnpackLsb(source.data, first, lineSamples, format.depth, aOut); break;
        case Storage::Byte: break;
        }
    }
};

// Scratch memory of one thread, cut into decoded source lines (three, kept
// by line number, as the 3x3 filter walks down the image) and planes.
class Lines
{
public:
    Lines(const Job &aJob, Scratch &aScratch) : mJob(aJob)
    {
        const size_t w = aJob.width;
        const size_t decoded = (aJob.lineSamples * 2 + 15) & ~size_t(15);
        const size_t plane = (w * 2 + 15) & ~size_t(15);
        const size_t narrow = (w + 15) & ~size_t(15);
        const size_t total = 3 * decoded + 3 * plane + 3 * narrow;
        if (aScratch.bytes.size() < total)
            aScratch.bytes.resize(total);
        uint8_t *p = aScratch.bytes.data();
        for (int i = 0; i < 3; ++i, p += decoded)
            mCache[i] = reinterpret_cast<uint16_t *>(p);
        for (int i = 0; i < 3; ++i, p += plane)
            mPlane[i] = p;
        for (int i = 0; i < 3; ++i, p += narrow)
            mNarrow[i] = p;
    }

    // A source line's samples: in place for bytes, else decoded once.
    const void *Line(uint32_t aLine)
    {
        if (mJob.format.storage == Storage::Byte)
            return mJob.SourceLine(aLine);
        unsigned slot = aLine % 3;
        if (mTag[slot] != int64_t(aLine)) {
            mJob.Decode(aLine, mCache[slot]);
            mTag[slot] = aLine;
        }
        return mCache[slot];
    }

    template <class T>
    T *Plane(int aIndex) { return reinterpret_cast<T *>(mPlane[aIndex]); }
    uint8_t *Narrow(int aIndex) { return mNarrow[aIndex]; }
    uint16_t *Spare() { return mCache[0]; }

private:
    const Job &mJob;
    uint16_t *mCache[3];
    int64_t mTag[3] = {-1, -1, -1};
    uint8_t *mPlane[3];
    uint8_t *mNarrow[3];
};

BayerLine KindOf(const Format &aFormat, uint32_t aLine)
{
    const Cfa *c = aFormat.cfa + (aLine & 1) * 2;
    return BayerLine{c[0], c[1]};
}

// Writes colour planes (8-bit, or wider of the source's depth) as pixels.
template <class T>
void EmitColor(const Job &aJob, Lines &aLines, uint8_t *aOut)
{
    const size_t w = aJob.width;
    T *r = aLines.Plane<T>(0), *g = aLines.Plane<T>(1), *b = aLines.Plane<T>(2);
    const ColorLayout layout = aJob.output.layout;
    if (aJob.output.kind == Out::Color8) {
        if (sizeof(T) == 1) {
            Interleave8(reinterpret_cast<uint8_t *>(r), reinterpret_cast<uint8_t *>(g),
                        reinterpret_cast<uint8_t *>(b), w, layout, aJob.options.lut8, aOut);
            return;
        }
        const unsigned shift = aJob.format.depth - 8;
        for (int i = 0; i < 3; ++i)
            NarrowShift(aLines.Plane<uint16_t>(i), w, shift, aLines.Narrow(i));
        Interleave8(aLines.Narrow(0), aLines.Narrow(1), aLines.Narrow(2), w, layout, aJob.options.lut8, aOut);
        return;
    }
    const int shift = int(16 - aJob.format.depth);
    if (shift)
        for (int i = 0; i < 3; ++i)
            ShiftWords(aLines.Plane<uint16_t>(i), w, shift, aLines.Plane<uint16_t>(i));
    Interleave16(aLines.Plane<uint16_t>(0), aLines.Plane<uint16_t>(1), aLines.Plane<uint16_t>(2), w, layout,
                 aJob.options.lut16, reinterpret_cast<uint16_t *>(aOut));
}

void MonoLine(const Job &aJob, Lines &aLines, uint32_t aLine, uint8_t *aOut)
{
    const size_t w = aJob.width;
    const Format &f = aJob.format;
    const ColorLayout layout = aJob.output.layout;
    if (f.storage == Storage::Byte) {
        const uint8_t *in = aJob.SourceLine(aLine);
        switch (aJob.output.kind) {
        case Out::Mono8: std::memcpy(aOut, in, w); break;
        case Out::Mono16: WidenShift(in, w, 8, reinterpret_cast<uint16_t *>(aOut)); break;
        default: Interleave8(in, in, in, w, layout, aJob.options.lut8, aOut); break;
        }
        return;
    }
    if (aJob.output.kind == Out::Mono16) {
        // Decoded straight into the target, then moved to the top bits.
        uint16_t *out = reinterpret_cast<uint16_t *>(aOut);
        aJob.Decode(aLine, out);
        if (f.depth < 16)
            ShiftWords(out, w, int(16 - f.depth), out);
        return;
    }
    uint16_t *line = aLines.Spare();
    aJob.Decode(aLine, line);
    if (aJob.output.kind == Out::Mono8) {
        NarrowShift(line, w, f.depth - 8, aOut);
        return;
    }
    uint8_t *gray = aLines.Narrow(0);
    NarrowShift(line, w, f.depth - 8, gray);
    Interleave8(gray, gray, gray, w, layout, aJob.options.lut8, aOut);
}

// Whether 8-bit colour goes out as three-byte pixels without a table: the
// kernels that write such pixels straight from their vectors may.
bool PlainPixels(const Job &aJob)
{
    return aJob.output.kind == Out::Color8 && !aJob.output.layout.alpha && !aJob.options.lut8;
}

// Into planes, or straight into aOut where a kernel writes the pixels
// itself; false when the planes still need writing.
template <class T>
bool BayerLineOf(const Job &aJob, Lines &aLines, uint32_t aLine, uint8_t *aOut)
{
    const uint32_t h = aJob.source.height;
    const size_t w = aJob.width;
    T *r = aLines.Plane<T>(0), *g = aLines.Plane<T>(1), *b = aLines.Plane<T>(2);
    if (aJob.options.bayer3x3) {
        // Mirrored at the borders: line -1 is line 1, line h is line h-2,
        // so that every site sees neighbours of the right colours.
        uint32_t above = aLine == 0 ? 1 : aLine - 1;
        uint32_t below = aLine + 1 == h ? h - 2 : aLine + 1;
        const T *u = static_cast<const T *>(aLines.Line(above));
        const T *d = static_cast<const T *>(aLines.Line(below));
        const T *c = static_cast<const T *>(aLines.Line(aLine));
        if constexpr (sizeof(T) == 1) {
            if (PlainPixels(aJob)) {
                Bayer3x3Pixels(u, c, d, w, KindOf(aJob.format, aLine), aJob.output.layout.bgr, aOut);
                return true;
            }
        }
        Bayer3x3(u, c, d, w, KindOf(aJob.format, aLine), r, g, b);
    } else {
        uint32_t top = aLine + 1 < h ? aLine : h - 2;
        const T *t = static_cast<const T *>(aLines.Line(top));
        const T *n = static_cast<const T *>(aLines.Line(top + 1));
        Bayer2x2(t, n, w, KindOf(aJob.format, top), r, g, b);
    }
    return false;
}

template <class T>
void BiColorLineOf(const Job &aJob, Lines &aLines, uint32_t aLine)
{
    const T *in = static_cast<const T *>(aLines.Line(aLine));
    kernels::BiColor(in, aJob.width, aJob.format.swap, aJob.options.biColor1x3, aLines.Plane<T>(0), aLines.Plane<T>(1),
            aLines.Plane<T>(2));
}

void ColorLine(const Job &aJob, Lines &aLines, uint32_t aLine, uint8_t *aOut)
{
    const Format &f = aJob.format;
    const bool bytes = f.storage == Storage::Byte;
    switch (f.family) {
    case Family::Bayer:
        if (bytes ? BayerLineOf<uint8_t>(aJob, aLines, aLine, aOut) : BayerLineOf<uint16_t>(aJob, aLines, aLine, aOut))
            return;
        break;
    case Family::BiColor:
        if (bytes)
            BiColorLineOf<uint8_t>(aJob, aLines, aLine);
        else
            BiColorLineOf<uint16_t>(aJob, aLines, aLine);
        break;
    case Family::Yuv:
        if ((f.yuv == YuvLayout::UYVY422 || f.yuv == YuvLayout::YUYV422) && PlainPixels(aJob)) {
            YuvToPixels(aJob.SourceLine(aLine), aJob.width, f.yuv, aJob.output.layout.bgr, aOut);
            return;
        }
        YuvToRgb(aJob.SourceLine(aLine), aJob.width, f.yuv, aLines.Plane<uint8_t>(0), aLines.Plane<uint8_t>(1),
                 aLines.Plane<uint8_t>(2));
        break;
    case Family::Rgb:
        if (bytes)
            SplitChannels8(aJob.SourceLine(aLine), aJob.width, f.samples, f.swap, aLines.Plane<uint8_t>(0),
                           aLines.Plane<uint8_t>(1), aLines.Plane<uint8_t>(2));
        else
            SplitChannels16(aJob.SourceLine(aLine), aJob.width, f.samples, f.swap, f.depth,
                            aLines.Plane<uint16_t>(0), aLines.Plane<uint16_t>(1), aLines.Plane<uint16_t>(2));
        break;
    case Family::Mono: return;
    }
    if (bytes)
        EmitColor<uint8_t>(aJob, aLines, aOut);
    else
        EmitColor<uint16_t>(aJob, aLines, aOut);
}

}

bool Supported(ZuPixelType aSource, ZuPixelType aTarget)
{
    Format format;
    Output output;
    return Pair(aSource, aTarget, format, output);
}

unsigned ColorDepth(ZuPixelType aTarget)
{
    Output output;
    if (!DescribeTarget(aTarget, output))
        return 0;
    return output.kind == Out::Color8 ? 8 : output.kind == Out::Color16 ? 16 : 0;
}

ZuResult Check(const Source &aSource, ZuPixelType aTarget)
{
    Format format;
    Output output;
    if (!Pair(aSource.type, aTarget, format, output))
        return Invalid("the converter does not convert the source's pixel type into the destination's");
    if (aSource.width == 0 || aSource.height == 0 || !aSource.data)
        return Invalid("the source holds no image");
    if (aSource.size < ImageBytes(aSource.width, aSource.height, aSource.type, aSource.paddingX, aSource.paddingY))
        return Invalid("the source's memory is smaller than its image");
    if (format.family == Family::Bayer && (aSource.width < 2 || aSource.height < 2))
        return Invalid("Bayer interpolation needs 2 columns and 2 lines at least");
    if (format.family == Family::BiColor && aSource.width < 2)
        return Invalid("bi-colour interpolation needs 2 columns at least");
    if (format.family == Family::Yuv && (uint64_t(aSource.width) + aSource.paddingX) % YuvGroupPixels(format.yuv))
        return Invalid("the lines of a subsampled YUV image must hold whole groups of pixels");
    return ZuResult();
}

size_t TargetStride(const Source &aSource, const Target &aTarget)
{
    return size_t((uint64_t(aSource.width) + aTarget.paddingX) * ZuPixelTypeGetBitsPerPixel(aTarget.type) / 8);
}

void ConvertLines(const Source &aSource, const Target &aTarget, const Options &aOptions, uint32_t aBegin,
                  uint32_t aEnd, Scratch &aScratch)
{
    Job job(aSource, aTarget, aOptions);
    Lines lines(job, aScratch);
    for (uint32_t y = aBegin; y < aEnd; ++y) {
        const uint32_t line = aOptions.flipY ? aSource.height - 1 - y : y;
        uint8_t *out = aTarget.data + (y - aBegin) * uint64_t(job.targetStride);
        if (job.format.family == Family::Mono)
            MonoLine(job, lines, line, out);
        else
            ColorLine(job, lines, line, out);
    }
}

}
}
