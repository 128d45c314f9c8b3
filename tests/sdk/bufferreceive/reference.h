#ifndef TARN_TESTS_BUFFERRECEIVE_REFERENCE_H
#define TARN_TESTS_BUFFERRECEIVE_REFERENCE_H

// A per-pixel reference of the converter, written from the pixel types'
// names and the formats' definitions rather than from the converter's
// tables: one bit at a time, one pixel at a time, means over whatever
// neighbours of a colour a window holds.

#include "support.h"
#include "ZuBufferReceiveTypes.h"

#include <cmath>
#include <stdexcept>

namespace reference {

struct Format
{
    enum Family { Mono, Bayer, BiColor, Yuv, Rgb } family;
    unsigned depth = 8;
    enum Storage { Byte, Word, Gev, Lsb } storage = Byte;
    std::string colours;   // Bayer "RG...", bi-colour "RGBG", RGB "RGB"/"BGR"
    unsigned channels = 1; // RGB: 3 or 4
    std::string yuv;       // byte order of a YUV group
};

inline bool Digits(const std::string &s, size_t &at, unsigned &value)
{
    size_t start = at;
    value = 0;
    while (at < s.size() && isdigit(static_cast<unsigned char>(s[at])))
        value = value * 10 + unsigned(s[at++] - '0');
    return at > start;
}

// Reads a format from its GenICam name; false for names the converter
// is not expected to read.
inline bool Parse(ZuPixelType aType, Format &f)
{
    const std::string n = support::Name(aType);
    if (n == "YUV422_8_UYVY") { f.family = Format::Yuv; f.yuv = "UYVY"; return true; }
    if (n == "YUV422_8") { f.family = Format::Yuv; f.yuv = "YUYV"; return true; }
    if (n == "YUV411_8_UYYVYY") { f.family = Format::Yuv; f.yuv = "UYYVYY"; return true; }
    if (n == "YUV8_UYV") { f.family = Format::Yuv; f.yuv = "UYV"; return true; }
    size_t at;
    if (n.rfind("Mono", 0) == 0) {
        f.family = Format::Mono;
        at = 4;
    } else if (n.rfind("Bayer", 0) == 0) {
        f.family = Format::Bayer;
        f.colours = n.substr(5, 2);
        at = 7;
    } else if (n.rfind("BiColor", 0) == 0) {
        f.family = Format::BiColor;
        f.colours = n.substr(7, 4);
        at = 11;
    } else if (n.rfind("RGBa", 0) == 0 || n.rfind("BGRa", 0) == 0) {
        f.family = Format::Rgb;
        f.colours = n.substr(0, 3);
        f.channels = 4;
        at = 4;
    } else if (n.rfind("RGB", 0) == 0 || n.rfind("BGR", 0) == 0) {
        f.family = Format::Rgb;
        f.colours = n.substr(0, 3);
        f.channels = 3;
        at = 3;
    } else {
        return false;
    }
    if (!Digits(n, at, f.depth))
        return false;
    const std::string rest = n.substr(at);
    if (rest == "" && f.depth == 8)
        f.storage = Format::Byte;
    else if (rest == "" && f.depth > 8 && f.depth <= 16 && f.depth % 2 == 0)
        f.storage = Format::Word;
    else if (rest == "Packed" && (f.depth == 10 || f.depth == 12) && f.family != Format::Rgb)
        f.storage = Format::Gev;
    else if (rest == "p" && f.depth >= 10 && f.depth <= 14 && f.family != Format::Rgb)
        f.storage = Format::Lsb;
    else
        return false;
    if (f.family == Format::BiColor && (f.storage == Format::Gev || f.depth > 12))
        return false;
    if (f.family == Format::Mono && f.depth == 8 && f.storage != Format::Byte)
        return false;
    return true;
}

// Targets: Mono8, Mono16, and RGB, BGR, RGBa, BGRa in 8 and 16 bits.
struct Target
{
    bool mono;
    unsigned depth;
    bool bgr, alpha;
};

inline bool ParseTarget(ZuPixelType aType, Target &t)
{
    const std::string n = support::Name(aType);
    if (n == "Mono8" || n == "Mono16") {
        t = Target{true, n == "Mono8" ? 8u : 16u, false, false};
        return true;
    }
    for (const char *base : {"RGB", "BGR", "RGBa", "BGRa"})
        for (unsigned depth : {8u, 16u})
            if (n == std::string(base) + std::to_string(depth)) {
                t = Target{false, depth, base[0] == 'B', std::string(base).size() == 4};
                return true;
            }
    return false;
}

// The pairs the converter is expected to support.
inline bool Expected(ZuPixelType aSource, ZuPixelType aTarget)
{
    Format f;
    Target t;
    if (!Parse(aSource, f) || !ParseTarget(aTarget, t))
        return false;
    if (t.mono)
        return f.family == Format::Mono;
    if (t.depth == 16)
        return f.family != Format::Mono && f.family != Format::Yuv && f.depth > 8;
    return true;
}

struct Image
{
    const uint8_t *data;
    uint32_t width, height;
    uint16_t paddingX;
    Format format;

    // Sample k of pixel (x, y), read bit by bit from its definition.
    unsigned Sample(uint32_t x, uint32_t y, unsigned k) const
    {
        const uint64_t pixel = uint64_t(y) * (width + paddingX) + x;
        const unsigned per = format.family == Format::BiColor ? 2 : format.family == Format::Rgb ? format.channels : 1;
        const uint64_t index = pixel * per + k;
        const unsigned top = (1u << format.depth) - 1;
        switch (format.storage) {
        case Format::Byte: return data[index];
        case Format::Word: {
            unsigned v = data[2 * index] | (data[2 * index + 1] << 8);
            return v > top ? top : v;
        }
        case Format::Lsb: {
            unsigned v = 0;
            for (unsigned b = 0; b < format.depth; ++b) {
                uint64_t bit = index * format.depth + b;
                v |= ((data[bit / 8] >> (bit % 8)) & 1u) << b;
            }
            return v;
        }
        case Format::Gev: {
            // Pixel 0 of a pair: high bits in byte 0, low bits at the bottom
            // of byte 1; pixel 1: high bits in byte 2, low bits from bit 4 of byte 1.
            const uint8_t *p = data + index / 2 * 3;
            const unsigned low = format.depth - 8;
            if (index % 2 == 0)
                return (unsigned(p[0]) << low) | (p[1] & ((1u << low) - 1));
            return (unsigned(p[2]) << low) | ((p[1] >> 4) & ((1u << low) - 1));
        }
        }
        return 0;
    }
};

// The colour of a Bayer site: the name gives the first line; the second
// line has green under red or blue, and the other of red and blue under green.
inline char BayerColour(const std::string &aFirstLine, uint32_t x, uint32_t y)
{
    char c = aFirstLine[x % 2];
    if (y % 2 == 0)
        return c;
    if (c != 'G')
        return 'G';
    char other = aFirstLine[(x + 1) % 2];
    return other == 'R' ? 'B' : 'R';
}

inline int64_t Mirror(int64_t i, int64_t n) { return i < 0 ? -i : i >= n ? 2 * (n - 1) - i : i; }

inline unsigned Mean(unsigned aSum, unsigned aCount) { return (aSum + aCount / 2) / aCount; }

struct Options
{
    bool bayer3x3 = true, biColor1x3 = true, flip = false;
    double gain[3] = {1, 1, 1};
    int offset[3] = {0, 0, 0};
};

// The levels of pixel (x, y) at the source's depth: R, G, B.
inline void Colour(const Image &img, uint32_t x, uint32_t y, const Options &o, unsigned rgb[3])
{
    const Format &f = img.format;
    const int64_t w = img.width, h = img.height;
    const char names[3] = {'R', 'G', 'B'};
    switch (f.family) {
    case Format::Mono:
        rgb[0] = rgb[1] = rgb[2] = img.Sample(x, y, 0);
        return;
    case Format::Rgb:
        for (unsigned c = 0; c < 3; ++c)
            rgb[c] = img.Sample(x, y, unsigned(f.colours.find(names[c])));
        return;
    case Format::Bayer:
        for (unsigned c = 0; c < 3; ++c) {
            unsigned sum = 0, count = 0;
            if (o.bayer3x3) {
                if (BayerColour(f.colours, x, y) == names[c]) {
                    rgb[c] = img.Sample(x, y, 0);
                    continue;
                }
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        uint32_t mx = uint32_t(Mirror(int64_t(x) + dx, w)), my = uint32_t(Mirror(int64_t(y) + dy, h));
                        if (BayerColour(f.colours, mx, my) == names[c])
                            sum += img.Sample(mx, my, 0), ++count;
                    }
            } else {
                uint32_t x0 = uint32_t(std::min<int64_t>(x, w - 2)), y0 = uint32_t(std::min<int64_t>(y, h - 2));
                for (uint32_t by = y0; by < y0 + 2; ++by)
                    for (uint32_t bx = x0; bx < x0 + 2; ++bx)
                        if (BayerColour(f.colours, bx, by) == names[c])
                            sum += img.Sample(bx, by, 0), ++count;
            }
            rgb[c] = Mean(sum, count);
        }
        return;
    case Format::BiColor: {
        // Even pixels carry the first colour of the name, odd ones the third.
        auto carried = [&](uint32_t px) { return f.colours[px % 2 ? 2 : 0]; };
        for (unsigned c = 0; c < 3; ++c) {
            if (names[c] == 'G') {
                rgb[c] = img.Sample(x, y, 1);
            } else if (carried(x) == names[c]) {
                rgb[c] = img.Sample(x, y, 0);
            } else if (o.biColor1x3) {
                uint32_t l = uint32_t(Mirror(int64_t(x) - 1, w)), r = uint32_t(Mirror(int64_t(x) + 1, w));
                rgb[c] = Mean(img.Sample(l, y, 0) + img.Sample(r, y, 0), 2);
            } else {
                rgb[c] = img.Sample(x + 1 < w ? x + 1 : x - 1, y, 0);
            }
        }
        return;
    }
    case Format::Yuv: {
        const std::string &order = f.yuv;
        const unsigned pixels = unsigned(order.size()) - 2; // all but U and V are Ys
        const uint64_t pixel = uint64_t(y) * (img.width + img.paddingX) + x;
        const uint8_t *group = img.data + pixel / pixels * order.size();
        unsigned nthY = unsigned(pixel % pixels);
        double Y = 0, U = 0, V = 0;
        for (size_t i = 0, ys = 0; i < order.size(); ++i) {
            if (order[i] == 'U') U = group[i];
            else if (order[i] == 'V') V = group[i];
            else if (ys++ == nthY) Y = group[i];
        }
        const double v[3] = {Y + 1.402 * (V - 128), Y - 0.344136 * (U - 128) - 0.714136 * (V - 128),
                             Y + 1.772 * (U - 128)};
        for (unsigned c = 0; c < 3; ++c)
            rgb[c] = unsigned(std::min(255.0, std::max(0.0, std::floor(v[c] + 0.5))));
        return;
    }
    }
}

// The bytes of the converted image, without padding.
inline std::vector<uint8_t> Convert(const Image &aImage, ZuPixelType aTarget, const Options &o)
{
    Target t;
    if (!ParseTarget(aTarget, t))
        throw std::logic_error("not a target");
    const unsigned depth = aImage.format.depth;
    const unsigned top = (1u << t.depth) - 1;
    std::vector<unsigned> levels;
    for (uint32_t y = 0; y < aImage.height; ++y) {
        const uint32_t sy = o.flip ? aImage.height - 1 - y : y;
        for (uint32_t x = 0; x < aImage.width; ++x) {
            unsigned rgb[3];
            Colour(aImage, x, sy, o, rgb);
            unsigned out[3];
            for (unsigned c = 0; c < 3; ++c) {
                out[c] = t.depth == 8 ? rgb[c] >> (depth - 8) : rgb[c] << (16 - depth);
                if (!t.mono) {
                    double v = o.gain[c] * out[c] + o.offset[c];
                    out[c] = v <= 0 || std::isnan(v) ? 0 : v >= top ? top : unsigned(std::floor(v + 0.5));
                }
            }
            if (t.mono) {
                levels.push_back(out[0]);
                continue;
            }
            levels.push_back(t.bgr ? out[2] : out[0]);
            levels.push_back(out[1]);
            levels.push_back(t.bgr ? out[0] : out[2]);
            if (t.alpha)
                levels.push_back(top);
        }
    }
    std::vector<uint8_t> bytes;
    for (unsigned v : levels) {
        bytes.push_back(uint8_t(v));
        if (t.depth == 16)
            bytes.push_back(uint8_t(v >> 8));
    }
    return bytes;
}

}

#endif
