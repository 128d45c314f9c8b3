// Pixel kernels on small images whose results are worked out by hand in
// the comments: bit layouts, borders, odd sizes.
#include "kernels/Kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace tarn::kernels;

namespace {

template <class T>
std::vector<T> Unpacked(void (*aUnpack)(const uint8_t *, uint64_t, size_t, unsigned, uint16_t *),
                        const std::vector<uint8_t> &aBytes, uint64_t aFirst, size_t aCount, unsigned aBits)
{
    // An exact-size heap copy, so that AddressSanitizer sees any byte read
    // past the samples.
    std::vector<uint8_t> exact(aBytes);
    std::vector<uint16_t> out(aCount, 0xEEEE);
    aUnpack(exact.data(), aFirst, aCount, aBits, out.data());
    return std::vector<T>(out.begin(), out.end());
}

typedef std::vector<uint16_t> Words;

}

TEST(Unpack, GigEVisionPackedKeepsLowBitsInTheMiddleByte)
{
    // Mono12Packed: 0xABC, 0x123 -> AB, (3 << 4 | C), 12.
    EXPECT_EQ(Unpacked<uint16_t>(UnpackGev, {0xAB, 0x3C, 0x12}, 0, 2, 12), (Words{0xABC, 0x123}));
    // Mono10Packed: 0x3FF, 0x001 -> FF, (1 << 4 | 3), 00; bits 2-3 and 6-7 of
    // the middle byte are not part of either sample.
    EXPECT_EQ(Unpacked<uint16_t>(UnpackGev, {0xFF, 0x13 | 0xCC, 0x00}, 0, 2, 10), (Words{0x3FF, 0x001}));
    // Starting with the second sample of a pair, and ending on a first one.
    EXPECT_EQ(Unpacked<uint16_t>(UnpackGev, {0xAB, 0x3C, 0x12, 0x45, 0x06}, 1, 2, 12), (Words{0x123, 0x456}));
}

TEST(Unpack, BitStreamIsLeastSignificantBitFirst)
{
    // Mono12p: 0xABC, 0x123 -> BC, (3 << 4 | A), 12: not the Packed layout.
    EXPECT_EQ(Unpacked<uint16_t>(UnpackLsb, {0xBC, 0x3A, 0x12}, 0, 2, 12), (Words{0xABC, 0x123}));
    EXPECT_EQ(Unpacked<uint16_t>(UnpackLsb, {0xAB, 0x3C, 0x12}, 0, 2, 12), (Words{0xCAB, 0x123}));
    // Mono10p: 0x3FF, 0x001, 0x2AA, 0x155 in five bytes.
    const std::vector<uint8_t> ten = {0xFF, 0x07, 0xA0, 0x6A, 0x55};
    EXPECT_EQ(Unpacked<uint16_t>(UnpackLsb, ten, 0, 4, 10), (Words{0x3FF, 0x001, 0x2AA, 0x155}));
    EXPECT_EQ(Unpacked<uint16_t>(UnpackLsb, ten, 1, 3, 10), (Words{0x001, 0x2AA, 0x155}));
    EXPECT_EQ(Unpacked<uint16_t>(UnpackLsb, ten, 2, 1, 10), (Words{0x2AA}));
    // Mono14p: 0x1234, 0x3FFF, 0x0001, 0x2AAA in seven bytes.
    const std::vector<uint8_t> fourteen = {0x34, 0xD2, 0xFF, 0x1F, 0x00, 0xA8, 0xAA};
    EXPECT_EQ(Unpacked<uint16_t>(UnpackLsb, fourteen, 0, 4, 14), (Words{0x1234, 0x3FFF, 0x0001, 0x2AAA}));
    EXPECT_EQ(Unpacked<uint16_t>(UnpackLsb, fourteen, 3, 1, 14), (Words{0x2AAA}));
}

TEST(Unpack, LongRunsAgreeWithSampleBySampleReading)
{
    // The fast path takes four samples a 64-bit load; every start and count
    // around its edges must give what one sample at a time gives.
    for (unsigned bits : {10u, 12u, 14u}) {
        std::vector<uint8_t> stream(64);
        for (size_t i = 0; i < stream.size(); ++i)
            stream[i] = uint8_t(i * 37 + 11);
        const size_t total = stream.size() * 8 / bits;
        for (uint64_t first = 0; first < 9; ++first) {
            for (size_t count = 0; first + count <= total; count += 3) {
                std::vector<uint8_t> exact(stream.begin(), stream.begin() + ((first + count) * bits + 7) / 8);
                std::vector<uint16_t> fast(count + 1, 0xEEEE);
                UnpackLsb(exact.data(), first, count, bits, fast.data());
                for (size_t i = 0; i < count; ++i) {
                    uint64_t bit = (first + i) * bits;
                    unsigned v = 0;
                    for (unsigned b = 0; b < bits; ++b)
                        v |= ((stream[(bit + b) / 8] >> ((bit + b) % 8)) & 1u) << b;
                    ASSERT_EQ(fast[i], v) << bits << " bits, first " << first << ", sample " << i;
                }
                ASSERT_EQ(fast[count], 0xEEEE) << "written past the count";
            }
        }
    }
}

TEST(Unpack, WideContainersAreLimitedToTheirDepth)
{
    // 12-bit levels in 16-bit containers: a level above 4095 (stray high
    // bits) counts as 4095 rather than wrapping when shifted.
    const std::vector<uint8_t> bytes = {0xFF, 0x0F, 0x00, 0x10, 0x34, 0x12};
    Words out(3);
    LoadWords(bytes.data(), 3, 12, out.data());
    EXPECT_EQ(out, (Words{0x0FFF, 0x0FFF, 0x0FFF}));
    LoadWords(bytes.data(), 3, 16, out.data());
    EXPECT_EQ(out, (Words{0x0FFF, 0x1000, 0x1234}));
}

namespace {

// A 3x3 BayerRG image:
//   R 10  G 20  R 30
//   G 40  B 50  G 60
//   R 70  G 80  R 90
const uint8_t kMosaic[3][3] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
const BayerLine kRedLine{Cfa::R, Cfa::G}, kBlueLine{Cfa::G, Cfa::B};

struct Rgb
{
    std::vector<uint8_t> r, g, b;
    explicit Rgb(size_t n) : r(n, 0xEE), g(n, 0xEE), b(n, 0xEE) {}
    std::vector<uint8_t> Pixel(size_t x) const { return {r[x], g[x], b[x]}; }
};

typedef std::vector<uint8_t> Bytes;

}

TEST(Bayer, BilinearMirrorsTheBordersOfAnOddImage)
{
    // Line 0, mirrored above by line 1.
    Rgb top(3);
    Bayer3x3(kMosaic[1], kMosaic[0], kMosaic[1], 3, kRedLine, top.r.data(), top.g.data(), top.b.data());
    // (0,0) red site: G = (20 + 20 + 40 + 40 + 2) / 4 = 30, B = 50 (all four diagonals).
    EXPECT_EQ(top.Pixel(0), (Bytes{10, 30, 50}));
    // (1,0) green site in a red line: R = (10 + 30 + 1) / 2, B = (50 + 50 + 1) / 2.
    EXPECT_EQ(top.Pixel(1), (Bytes{20, 20, 50}));
    // (2,0) red site at the corner: G = (20 + 20 + 60 + 60 + 2) / 4.
    EXPECT_EQ(top.Pixel(2), (Bytes{30, 40, 50}));

    Rgb middle(3);
    Bayer3x3(kMosaic[0], kMosaic[1], kMosaic[2], 3, kBlueLine, middle.r.data(), middle.g.data(), middle.b.data());
    // (0,1) green site in a blue line: B = (50 + 50 + 1) / 2, R = (10 + 70 + 1) / 2.
    EXPECT_EQ(middle.Pixel(0), (Bytes{40, 40, 50}));
    // (1,1) blue site: G = (40 + 60 + 20 + 80 + 2) / 4, R = (10 + 30 + 70 + 90 + 2) / 4.
    EXPECT_EQ(middle.Pixel(1), (Bytes{50, 50, 50}));
    EXPECT_EQ(middle.Pixel(2), (Bytes{60, 60, 50}));

    Rgb bottom(3);
    Bayer3x3(kMosaic[1], kMosaic[2], kMosaic[1], 3, kRedLine, bottom.r.data(), bottom.g.data(), bottom.b.data());
    // (2,2): G = (80 + 80 + 60 + 60 + 2) / 4.
    EXPECT_EQ(bottom.Pixel(2), (Bytes{90, 70, 50}));
    EXPECT_EQ(bottom.Pixel(1), (Bytes{80, 80, 50}));
}

TEST(Bayer, BilinearRoundsHalfUp)
{
    // Means that end in .5 after division.
    const uint8_t u[4] = {0, 1, 2, 1}, c[4] = {3, 1, 4, 1}, d[4] = {0, 2, 2, 2};
    Rgb out(4);
    Bayer3x3(u, c, d, 4, kRedLine, out.r.data(), out.g.data(), out.b.data());
    // (1): green site, R = (3 + 4 + 1) / 2 = 4 (3.5 up); B = (1 + 2 + 1) / 2 = 2 (1.5 up).
    EXPECT_EQ(out.Pixel(1), (Bytes{4, 1, 2}));
    // (2): red site, G = (1 + 1 + 2 + 2 + 2) / 4 = 2 (1.5 up); B = (1 + 1 + 2 + 2 + 2) / 4 = 2.
    EXPECT_EQ(out.Pixel(2), (Bytes{4, 2, 2}));
}

TEST(Bayer, PixelsWrittenStraightEqualPlanesThenInterleaving)
{
    // Every width around the vector steps and their overlapping last step,
    // each line kind, both orders; levels random, or only 0 and 255 and
    // their neighbours, where every rounding of the means shows. Exact-size
    // lines, so that AddressSanitizer sees a read past one.
    std::mt19937 random(5);
    const BayerLine kinds[] = {{Cfa::R, Cfa::G}, {Cfa::G, Cfa::R}, {Cfa::G, Cfa::B}, {Cfa::B, Cfa::G}};
    for (size_t w = 2; w <= 140; ++w)
        for (bool extremes : {false, true}) {
            std::vector<Bytes> lines(3, Bytes(w));
            for (Bytes &line : lines)
                for (uint8_t &level : line)
                    level = extremes ? uint8_t(int(random() % 4) - 1) : uint8_t(random());
            for (const BayerLine &kind : kinds)
                for (bool bgr : {false, true}) {
                    Rgb planes(w);
                    Bayer3x3(lines[0].data(), lines[1].data(), lines[2].data(), w, kind, planes.r.data(),
                             planes.g.data(), planes.b.data());
                    Bytes want(3 * w + 1, 0xEE), got(3 * w + 1, 0xEE);
                    Interleave8(planes.r.data(), planes.g.data(), planes.b.data(), w, ColorLayout{bgr, false},
                                nullptr, want.data());
                    Bayer3x3Pixels(lines[0].data(), lines[1].data(), lines[2].data(), w, kind, bgr, got.data());
                    ASSERT_EQ(got, want) << "width " << w << ", kind " << int(kind.even) << int(kind.odd)
                                         << (bgr ? ", BGR" : ", RGB") << (extremes ? ", extremes" : "");
                }
        }
}

TEST(Bayer, SimpleTakesTheBlockAtThePixelAndShiftsItBackAtTheEnds)
{
    Rgb top(3);
    Bayer2x2(kMosaic[0], kMosaic[1], 3, kRedLine, top.r.data(), top.g.data(), top.b.data());
    // (0,0): R 10, G (20 + 40 + 1) / 2, B 50.
    EXPECT_EQ(top.Pixel(0), (Bytes{10, 30, 50}));
    // (1,0): block G 20 R 30 / B 50 G 60.
    EXPECT_EQ(top.Pixel(1), (Bytes{30, 40, 50}));
    // (2,0): the last column reuses the block at column 1.
    EXPECT_EQ(top.Pixel(2), (Bytes{30, 40, 50}));

    // The last line takes the block of lines 1 and 2 (its top line blue).
    Rgb bottom(3);
    Bayer2x2(kMosaic[1], kMosaic[2], 3, kBlueLine, bottom.r.data(), bottom.g.data(), bottom.b.data());
    // (0): G 40 B 50 / R 70 G 80.
    EXPECT_EQ(bottom.Pixel(0), (Bytes{70, 60, 50}));
    // (1): B 50 G 60 / G 80 R 90.
    EXPECT_EQ(bottom.Pixel(1), (Bytes{90, 70, 50}));
    EXPECT_EQ(bottom.Pixel(2), (Bytes{90, 70, 50}));
}

TEST(Bayer, WideSamplesKeepTheirBits)
{
    // 16-bit levels whose sums overflow 16 bits.
    const uint16_t u[2] = {0xFFFF, 0xFFFF}, c[2] = {0xFFFF, 0xFFFE}, d[2] = {0xFFFF, 0xFFFF};
    uint16_t r[2], g[2], b[2];
    Bayer3x3(u, c, d, 2, kRedLine, r, g, b);
    EXPECT_EQ(g[0], 0xFFFF);
    EXPECT_EQ(r[1], 0xFFFF);
    EXPECT_EQ(g[1], 0xFFFE);
}

TEST(BiColor, MissingColourFromOneOrBothNeighbours)
{
    // RGBG: (R 10, G 11) (B 20, G 21) (R 30, G 31).
    const uint8_t line[6] = {10, 11, 20, 21, 30, 31};
    Rgb three(3);
    BiColor(line, 3, false, true, three.r.data(), three.g.data(), three.b.data());
    EXPECT_EQ(three.Pixel(0), (Bytes{10, 11, 20}));
    EXPECT_EQ(three.Pixel(1), (Bytes{20, 21, 20})); // R = (10 + 30 + 1) / 2
    EXPECT_EQ(three.Pixel(2), (Bytes{30, 31, 20}));
    Rgb two(3);
    BiColor(line, 3, false, false, two.r.data(), two.g.data(), two.b.data());
    EXPECT_EQ(two.Pixel(0), (Bytes{10, 11, 20}));
    EXPECT_EQ(two.Pixel(1), (Bytes{30, 21, 20})); // R of the next pixel
    EXPECT_EQ(two.Pixel(2), (Bytes{30, 31, 20})); // B of the previous one
    // BGRG: the same line read with blue first.
    Rgb blue(3);
    BiColor(line, 3, true, false, blue.r.data(), blue.g.data(), blue.b.data());
    EXPECT_EQ(blue.Pixel(0), (Bytes{20, 11, 10}));
    EXPECT_EQ(blue.Pixel(1), (Bytes{20, 21, 30}));
}

TEST(Yuv, FullRangeWeightsAndEveryByteOrder)
{
    // Y 128 with V 255: R = 128 + 1.402 x 127 (clipped), G = 128 - 0.714136 x 127 = 37.3.
    // Y 50 with U 0: G = 50 + 0.344136 x 128 = 94.05, B = 50 - 1.772 x 128 (clipped).
    struct Case
    {
        YuvLayout layout;
        std::vector<uint8_t> bytes;
        size_t count;
    };
    const Case cases[] = {
        {YuvLayout::UYVY422, {128, 128, 255, 200, 0, 50, 128, 60}, 4},
        {YuvLayout::YUYV422, {128, 128, 200, 255, 50, 0, 60, 128}, 4},
        {YuvLayout::UYV444, {128, 128, 255, 128, 200, 255, 0, 50, 128, 0, 60, 128}, 4},
    };
    for (const Case &c : cases) {
        Rgb out(4);
        YuvToRgb(c.bytes.data(), c.count, c.layout, out.r.data(), out.g.data(), out.b.data());
        EXPECT_EQ(out.Pixel(0), (Bytes{255, 37, 128})) << int(c.layout);
        EXPECT_EQ(out.Pixel(1), (Bytes{255, 109, 200})) << int(c.layout); // 200 - 90.7
        EXPECT_EQ(out.Pixel(2), (Bytes{50, 94, 0})) << int(c.layout);
        EXPECT_EQ(out.Pixel(3), (Bytes{60, 104, 0})) << int(c.layout);
    }
    // 4:1:1, U Y0 Y1 V Y2 Y3, with a width that cuts the group short.
    const uint8_t group[6] = {0, 10, 20, 255, 30, 40};
    Rgb out(3);
    YuvToRgb(group, 3, YuvLayout::UYYVYY411, out.r.data(), out.g.data(), out.b.data());
    // R = 10 + 1.402 x 127 = 188.05; G = 10 + 44.05 - 90.70 (clipped); B = 10 - 226.8 (clipped).
    EXPECT_EQ(out.Pixel(0), (Bytes{188, 0, 0}));
    EXPECT_EQ(out.Pixel(2), (Bytes{208, 0, 0}));
}

TEST(Yuv, PixelsWrittenStraightEqualPlanesThenInterleaving)
{
    // 4:2:2 lines of every count around the sixteen-pixel steps (an odd
    // count cuts the last group short), both byte orders and both colour
    // orders, over random bytes: the same levels as the planes give.
    std::mt19937 random(9);
    for (size_t count = 0; count <= 70; ++count) {
        Bytes line((count + 1) / 2 * 4);
        for (uint8_t &b : line)
            b = uint8_t(random());
        for (YuvLayout layout : {YuvLayout::UYVY422, YuvLayout::YUYV422})
            for (bool bgr : {false, true}) {
                Rgb planes(count);
                YuvToRgb(line.data(), count, layout, planes.r.data(), planes.g.data(), planes.b.data());
                Bytes want(3 * count + 1, 0xEE), got(3 * count + 1, 0xEE);
                Interleave8(planes.r.data(), planes.g.data(), planes.b.data(), count, ColorLayout{bgr, false}, nullptr,
                            want.data());
                YuvToPixels(line.data(), count, layout, bgr, got.data());
                ASSERT_EQ(got, want) << "count " << count << ", layout " << int(layout) << (bgr ? ", BGR" : ", RGB");
            }
    }
}

TEST(Interleave, OrderAlphaAndTables)
{
    const uint8_t r[2] = {1, 2}, g[2] = {3, 4}, b[2] = {5, 6};
    Bytes out(8, 0xEE);
    Interleave8(r, g, b, 2, ColorLayout{true, true}, nullptr, out.data());
    EXPECT_EQ(out, (Bytes{5, 3, 1, 255, 6, 4, 2, 255}));
    Lut8 lut;
    for (int i = 0; i < 256; ++i)
        lut.r[i] = uint8_t(i + 100), lut.g[i] = uint8_t(i + 110), lut.b[i] = uint8_t(i + 120);
    out.assign(6, 0xEE);
    Interleave8(r, g, b, 2, ColorLayout{true, false}, &lut, out.data());
    // Each channel through its own table, whatever the order written.
    EXPECT_EQ(out, (Bytes{125, 113, 101, 126, 114, 102}));
}

TEST(Interleave, LongLinesAgreeWithPixelByPixel)
{
    // Sixteen pixels a step on wide lines: every count around the steps'
    // edges, in both orders, gives each pixel its own three bytes and writes
    // nothing past the last.
    Bytes r(40), g(40), b(40);
    for (size_t i = 0; i < r.size(); ++i)
        r[i] = uint8_t(i), g[i] = uint8_t(100 + i), b[i] = uint8_t(200 + i);
    for (bool bgr : {false, true}) {
        for (size_t count = 0; count <= r.size(); ++count) {
            Bytes out(3 * count + 1, 0xEE);
            Interleave8(r.data(), g.data(), b.data(), count, ColorLayout{bgr, false}, nullptr, out.data());
            for (size_t i = 0; i < count; ++i) {
                ASSERT_EQ(out[3 * i], bgr ? b[i] : r[i]) << "count " << count << ", pixel " << i;
                ASSERT_EQ(out[3 * i + 1], g[i]) << "count " << count << ", pixel " << i;
                ASSERT_EQ(out[3 * i + 2], bgr ? r[i] : b[i]) << "count " << count << ", pixel " << i;
            }
            ASSERT_EQ(out[3 * count], 0xEE) << "written past the count";
        }
    }
}

TEST(Predict, RoundTripsAndTheFirstStrideStaysRaw)
{
    Bytes raw(1000);
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = uint8_t(i * i + 7);
    for (unsigned stride : {1u, 2u, 3u, 4u, 6u, 7u, 64u}) {
        Bytes predicted(raw.size()), back(raw.size());
        Predict8(raw.data(), raw.size(), stride, predicted.data());
        EXPECT_TRUE(std::equal(raw.begin(), raw.begin() + stride, predicted.begin()));
        EXPECT_EQ(predicted[stride], uint8_t(raw[stride] - raw[0]));
        EXPECT_EQ(predicted[999], uint8_t(raw[999] - raw[999 - stride]));
        Predict16(raw.data(), raw.size() / 2, stride, predicted.data());
        // Low bytes first: element 0's low byte, then, after all low bytes, its high byte.
        EXPECT_EQ(predicted[0], raw[0]);
        EXPECT_EQ(predicted[raw.size() / 2], raw[1]);
        // Runs shorter than, equal to and just past the stride, and long ones.
        for (size_t count : {size_t(0), size_t(1), size_t(stride), size_t(stride + 1), size_t(500), size_t(1000)}) {
            Bytes p8(count), b8(count, 0xEE);
            Predict8(raw.data(), count, stride, p8.data());
            Unpredict8(p8.data(), count, stride, b8.data());
            ASSERT_TRUE(std::equal(b8.begin(), b8.end(), raw.begin())) << stride << " " << count;
            if (count > 500)
                continue;
            Bytes p16(2 * count), b16(2 * count, 0xEE);
            Predict16(raw.data(), count, stride, p16.data());
            Unpredict16(p16.data(), count, stride, b16.data());
            ASSERT_TRUE(std::equal(b16.begin(), b16.end(), raw.begin())) << stride << " " << count;
        }
    }
}
