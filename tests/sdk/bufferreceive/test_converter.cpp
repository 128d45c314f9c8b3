// The converter through its public interface, against the per-pixel
// reference: every supported pair, filters, flip, padding, destinations,
// threads.
#include "ZuBufferConverter.h"
#include "tarn/BufferFill.h"

#include "reference.h"
#include "support.h"

#include <gtest/gtest.h>

#include <thread>

using support::MakeImage;
using support::MakeTarget;
using support::Name;

namespace {

// The written pixels, without the destination's padding.
std::vector<uint8_t> Pixels(const ZuBuffer &aBuffer)
{
    const ZuImage *image = aBuffer.GetImage();
    const size_t line = size_t(image->GetWidth()) * ZuPixelTypeGetBitsPerPixel(image->GetPixelType()) / 8;
    const size_t stride = size_t(image->GetWidth() + image->GetPaddingX()) * ZuPixelTypeGetBitsPerPixel(image->GetPixelType()) / 8;
    std::vector<uint8_t> out;
    for (uint32_t y = 0; y < image->GetHeight(); ++y)
        out.insert(out.end(), image->GetDataPointer() + y * stride, image->GetDataPointer() + y * stride + line);
    return out;
}

reference::Image ReferenceOf(const ZuBuffer &aBuffer)
{
    const ZuImage *image = aBuffer.GetImage();
    reference::Image r{image->GetDataPointer(), image->GetWidth(), image->GetHeight(), image->GetPaddingX(), {}};
    reference::Parse(image->GetPixelType(), r.format);
    return r;
}

// Largest difference between two byte images of 8-bit levels.
int MaxDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    int most = a.size() == b.size() ? 0 : 1000;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        most = std::max(most, std::abs(int(a[i]) - int(b[i])));
    return most;
}

const ZuPixelType kTargets[] = {ZuPixelMono8,  ZuPixelMono16, ZuPixelRGB8,   ZuPixelBGR8,   ZuPixelRGBa8,
                                ZuPixelBGRa8,  ZuPixelRGB16,  ZuPixelBGR16,  ZuPixelRGBa16, ZuPixelBGRa16};

struct Size
{
    uint32_t w, h;
    uint16_t px, py;
};

// Odd and even sizes, the smallest a Bayer image may have, paddings.
const Size kSizes[] = {{7, 5, 1, 1}, {2, 2, 0, 0}, {33, 17, 3, 0}, {8, 3, 0, 2}};

}

TEST(Converter, SupportsExactlyTheExpectedPairs)
{
    const std::vector<ZuPixelType> all = support::AllPixelTypes();
    ASSERT_GT(all.size(), 200u);
    size_t supported = 0;
    for (ZuPixelType s : all)
        for (ZuPixelType d : all) {
            bool expected = reference::Expected(s, d);
            ASSERT_EQ(ZuBufferConverter::IsConversionSupported(s, d), expected) << Name(s) << " -> " << Name(d);
            supported += expected;
        }
    // Mono 10 x 6, Bayer 40 x 4 + 36 x 4, bi-colour 10 x 4 + 8 x 4, YUV 4 x 4,
    // RGB 4 x 4 + 16 x 8.
    EXPECT_EQ(supported, 60u + 304u + 72u + 16u + 144u);
    EXPECT_FALSE(ZuBufferConverter::IsConversionSupported(ZuPixelUndefined, ZuPixelRGB8));
    EXPECT_FALSE(ZuBufferConverter::IsConversionSupported(ZuPixelMono8, ZuPixelType(int32_t(0x80000000 | ZUPIXEL8BIT | 1))));
}

TEST(Converter, EveryPairAgreesWithThePerPixelReference)
{
    ZuBufferConverter converter(3);
    for (ZuPixelType s : support::AllPixelTypes()) {
        for (ZuPixelType d : kTargets) {
            if (!ZuBufferConverter::IsConversionSupported(s, d))
                continue;
            uint32_t seed = 7;
            for (const Size &size : kSizes) {
                auto source = MakeImage(s, size.w, size.h, size.px, size.py, {}, ++seed);
                ASSERT_TRUE(source) << Name(s);
                auto target = MakeTarget(d);
                ZuResult result = converter.Convert(source.get(), target.get());
                reference::Image image = ReferenceOf(*source);
                const bool yuv = image.format.family == reference::Format::Yuv;
                if (yuv && (size.w + size.px) % (image.format.yuv.size() - 2)) {
                    // Lines of a subsampled image hold whole groups.
                    EXPECT_EQ(result.GetCode(), ZU_INVALID_PARAMETER) << Name(s);
                    continue;
                }
                ASSERT_TRUE(result.IsOK()) << Name(s) << " -> " << Name(d) << ": " << result.GetDescription().GetAscii();
                std::vector<uint8_t> expected = reference::Convert(image, d, reference::Options());
                // YUV is worked out in floating point by the reference.
                EXPECT_LE(MaxDifference(Pixels(*target), expected), yuv ? 1 : 0)
                    << Name(s) << " -> " << Name(d) << " at " << size.w << "x" << size.h;
            }
        }
    }
}

TEST(Converter, FiltersFlipAndOrderAgreeWithTheReference)
{
    // Each family with both interpolations, flipped, through an RGB filter
    // whose channels all differ, into each channel order.
    const ZuPixelType sources[] = {ZuPixelBayerGR8, ZuPixelBayerGB12p, ZuPixelBayerBG10Packed, ZuPixelBayerRG16,
                                   ZuPixelBiColorBGRG8, ZuPixelBiColorRGBG12p, ZuPixelMono12Packed, ZuPixelYUV422_8,
                                   ZuPixelBGRa12};
    ZuBufferConverterRGBFilter filter;
    filter.SetGainR(1.5);
    filter.SetGainG(0.75);
    filter.SetGainB(2.25);
    filter.SetOffsetR(-7);
    filter.SetOffsetG(3);
    filter.SetOffsetB(11);
    reference::Options options;
    options.gain[0] = 1.5, options.gain[1] = 0.75, options.gain[2] = 2.25;
    options.offset[0] = -7, options.offset[1] = 3, options.offset[2] = 11;
    for (bool simple : {false, true}) {
        ZuBufferConverter converter(2);
        converter.SetBayerFilter(simple ? ZuBayerFilterSimple : ZuBayerFilter3X3);
        converter.SetBiColorFilter(simple ? ZuBiColorFilter1X2 : ZuBiColorFilter1X3);
        converter.SetRGBFilter(filter);
        options.bayer3x3 = !simple;
        options.biColor1x3 = !simple;
        for (ZuPixelType s : sources)
            for (ZuPixelType d : {ZuPixelRGB8, ZuPixelBGRa8, ZuPixelBGR16, ZuPixelRGBa16}) {
                if (!ZuBufferConverter::IsConversionSupported(s, d))
                    continue;
                for (bool flip : {false, true}) {
                    auto source = MakeImage(s, 9, 7, 1, 0, {}, 99);
                    auto target = MakeTarget(d);
                    ASSERT_TRUE(converter.Convert(source.get(), target.get(), true, flip).IsOK()) << Name(s);
                    options.flip = flip;
                    const bool yuv = s == ZuPixelYUV422_8;
                    EXPECT_LE(MaxDifference(Pixels(*target), reference::Convert(ReferenceOf(*source), d, options)),
                              yuv ? 2 : 0)
                        << Name(s) << " -> " << Name(d) << (simple ? " simple" : " 3x3") << (flip ? " flipped" : "");
                }
            }
    }
}

TEST(Converter, DepthChangesShiftAndSaturateStrayBits)
{
    // Mono12 levels 0x0ABC and 0xF123 (stray top bits: counts as 4095).
    auto source = MakeImage(ZuPixelMono12, 2, 1, 0, 0, {0xBC, 0x0A, 0x23, 0xF1});
    ZuBufferConverter converter(1);
    auto mono8 = MakeTarget(ZuPixelMono8);
    ASSERT_TRUE(converter.Convert(source.get(), mono8.get()).IsOK());
    EXPECT_EQ(Pixels(*mono8), (std::vector<uint8_t>{0xAB, 0xFF}));
    auto mono16 = MakeTarget(ZuPixelMono16);
    ASSERT_TRUE(converter.Convert(source.get(), mono16.get()).IsOK());
    EXPECT_EQ(Pixels(*mono16), (std::vector<uint8_t>{0xC0, 0xAB, 0xF0, 0xFF}));
    auto rgba = MakeTarget(ZuPixelBGRa8);
    ASSERT_TRUE(converter.Convert(source.get(), rgba.get()).IsOK());
    EXPECT_EQ(Pixels(*rgba), (std::vector<uint8_t>{0xAB, 0xAB, 0xAB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(Converter, DestinationIsWrittenInPlaceWithItsPadding)
{
    auto source = MakeImage(ZuPixelBayerRG8, 6, 4);
    ZuBuffer target;
    ASSERT_TRUE(target.GetImage()->Alloc(6, 4, ZuPixelRGB8, 2, 1).IsOK());
    uint8_t *memory = target.GetDataPointer();
    std::memset(memory, 0x5A, target.GetSize());
    ZuBufferConverter converter;
    ASSERT_TRUE(converter.Convert(source.get(), &target, false).IsOK());
    EXPECT_EQ(target.GetDataPointer(), memory);
    EXPECT_EQ(target.GetImage()->GetPaddingX(), 2);
    // Padding pixels and the padding line are left as they were.
    const size_t stride = 8 * 3;
    for (uint32_t y = 0; y < 5; ++y)
        for (size_t i = (y < 4 ? 18 : 0); i < stride; ++i)
            ASSERT_EQ(memory[y * stride + i], 0x5A) << y << " " << i;
    EXPECT_EQ(Pixels(target), reference::Convert(ReferenceOf(*source), ZuPixelRGB8, reference::Options()));
}

TEST(Converter, DestinationMemoryIsReusedOrReallocatedOrRefused)
{
    auto source = MakeImage(ZuPixelMono8, 10, 10);
    ZuBufferConverter converter;
    const std::vector<uint8_t> expected = reference::Convert(ReferenceOf(*source), ZuPixelRGB8, reference::Options());

    // Owned memory large enough: described anew, not re-allocated, even
    // when re-allocation is not allowed.
    ZuBuffer big;
    big.Alloc(400);
    big.GetImage()->Alloc(20, 20, ZuPixelRGB8);
    uint8_t *memory = big.GetDataPointer();
    ASSERT_TRUE(converter.Convert(source.get(), &big, false).IsOK());
    EXPECT_EQ(big.GetDataPointer(), memory);
    EXPECT_EQ(big.GetImage()->GetWidth(), 10u);
    EXPECT_TRUE(big.IsAllocated());
    EXPECT_EQ(Pixels(big), expected);

    // Owned memory too small: re-allocated only when allowed.
    ZuBuffer small;
    small.GetImage()->Alloc(2, 2, ZuPixelRGB8);
    ZuResult refused = converter.Convert(source.get(), &small, false);
    EXPECT_EQ(refused.GetCode(), ZU_GENERIC_ERROR);
    EXPECT_EQ(small.GetImage()->GetWidth(), 2u);
    ASSERT_TRUE(converter.Convert(source.get(), &small, true).IsOK());
    EXPECT_EQ(Pixels(small), expected);

    // Memory the buffer does not own: used when large enough and kept
    // attached; refused when too small, even with re-allocation allowed.
    std::vector<uint8_t> caller(300, 0x11);
    ZuBuffer attached;
    attached.Attach(caller.data(), 300);
    tarn::RedescribeImage(*attached.GetImage(), 1, 1, ZuPixelRGB8);
    ASSERT_TRUE(converter.Convert(source.get(), &attached, true).IsOK());
    EXPECT_TRUE(attached.IsAttached());
    EXPECT_EQ(attached.GetDataPointer(), caller.data());
    EXPECT_EQ(std::vector<uint8_t>(caller.begin(), caller.begin() + 300), expected);

    std::vector<uint8_t> tiny(299, 0x22);
    ZuBuffer attachedSmall;
    attachedSmall.Attach(tiny.data(), uint32_t(tiny.size()));
    tarn::RedescribeImage(*attachedSmall.GetImage(), 1, 1, ZuPixelRGB8);
    ZuResult tooSmall = converter.Convert(source.get(), &attachedSmall, true);
    EXPECT_EQ(tooSmall.GetCode(), ZU_GENERIC_ERROR);
    EXPECT_TRUE(attachedSmall.IsAttached());
    EXPECT_EQ(tiny, std::vector<uint8_t>(299, 0x22));
}

namespace {

// An image that claims more than its memory holds.
class Claiming : public IZuImage
{
public:
    Claiming(const uint8_t *aData, uint32_t aSize) : mData(aData), mSize(aSize) {}
    const uint8_t *GetDataPointer() const override { return mData; }
    uint8_t *GetDataPointer() override { return nullptr; }
    uint32_t GetImageSize() const override { return mSize; }
    uint32_t GetWidth() const override { return 4; }
    uint32_t GetHeight() const override { return 4; }
    ZuPixelType GetPixelType() const override { return ZuPixelMono16; }
    uint32_t GetOffsetX() const override { return 0; }
    uint32_t GetOffsetY() const override { return 0; }
    uint16_t GetPaddingX() const override { return 0; }
    uint16_t GetPaddingY() const override { return 0; }
    uint64_t GetBlockID() const override { return 0; }
    uint64_t GetTimestamp() const override { return 0; }
    uint64_t GetReceptionTime() const override { return 0; }

private:
    const uint8_t *mData;
    uint32_t mSize;
};

}

TEST(Converter, RefusesWhatItCannotConvertSafely)
{
    ZuBufferConverter converter;
    auto source = MakeImage(ZuPixelBayerRG8, 4, 4);
    auto target = MakeTarget(ZuPixelRGB8);
    EXPECT_EQ(converter.Convert(static_cast<const ZuBuffer *>(nullptr), target.get()).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(converter.Convert(static_cast<const IZuImage *>(nullptr), target.get()).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(converter.Convert(source.get(), nullptr).GetCode(), ZU_INVALID_PARAMETER);

    // A source that lies in its destination's memory would be freed by
    // the re-allocation, or overwritten while read.
    auto rgb = MakeImage(ZuPixelRGB8, 4, 4);
    const std::vector<uint8_t> before = support::Bytes(*rgb);
    EXPECT_EQ(converter.Convert(rgb.get(), rgb.get()).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(converter.Convert(rgb->GetImage(), rgb.get()).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(support::Bytes(*rgb), before);
    ZuBuffer view;
    view.GetImage()->Attach(rgb->GetDataPointer() + 8, 2, 2, ZuPixelBayerGB8);
    EXPECT_EQ(converter.Convert(&view, rgb.get()).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(rgb->GetImage()->GetWidth(), 4u);

    // No pixel type on the destination, no image view, a pair not supported.
    ZuBuffer untyped;
    EXPECT_EQ(converter.Convert(source.get(), &untyped).GetCode(), ZU_INVALID_PARAMETER);
    ZuBuffer raw(ZuPayloadTypeRawData);
    EXPECT_EQ(converter.Convert(source.get(), &raw).GetCode(), ZU_INVALID_PARAMETER);
    auto mono = MakeTarget(ZuPixelMono8);
    EXPECT_EQ(converter.Convert(source.get(), mono.get()).GetCode(), ZU_INVALID_PARAMETER);
    ZuBuffer empty;
    EXPECT_EQ(converter.Convert(&empty, target.get()).GetCode(), ZU_INVALID_PARAMETER);

    // Sizes the interpolations cannot work on.
    auto thin = MakeImage(ZuPixelBayerRG8, 1, 5);
    EXPECT_EQ(converter.Convert(thin.get(), target.get()).GetCode(), ZU_INVALID_PARAMETER);
    auto flat = MakeImage(ZuPixelBayerRG12p, 5, 1);
    EXPECT_EQ(converter.Convert(flat.get(), target.get()).GetCode(), ZU_INVALID_PARAMETER);
    auto single = MakeImage(ZuPixelBiColorRGBG8, 1, 3);
    EXPECT_EQ(converter.Convert(single.get(), target.get()).GetCode(), ZU_INVALID_PARAMETER);

    // An image whose memory is smaller than its description (4x4 Mono16
    // needs 32 bytes) is not read past its end.
    std::vector<uint8_t> shorter(31), enough(32);
    Claiming claiming(shorter.data(), 31);
    auto mono16 = MakeTarget(ZuPixelMono16);
    EXPECT_EQ(converter.Convert(&claiming, mono16.get()).GetCode(), ZU_INVALID_PARAMETER);
    Claiming exact(enough.data(), 32);
    EXPECT_TRUE(converter.Convert(&exact, mono16.get()).IsOK());
}

TEST(Converter, ImageViewIsAcceptedAndStampsFollow)
{
    auto source = MakeImage(ZuPixelMono8, 3, 2);
    source->SetBlockID(42);
    source->SetTimestamp(1234);
    source->GetImage()->SetOffsetX(16);
    auto target = MakeTarget(ZuPixelMono16);
    ZuBufferConverter converter;
    ASSERT_TRUE(converter.Convert(static_cast<const IZuImage *>(source->GetImage()), target.get()).IsOK());
    EXPECT_EQ(target->GetBlockID(), 42u);
    EXPECT_EQ(target->GetTimestamp(), 1234u);
    EXPECT_EQ(target->GetImage()->GetOffsetX(), 16u);
}

TEST(Converter, ResultDoesNotDependOnTheThreadCount)
{
    // Images large enough to be cut into bands; one thread against many.
    const ZuPixelType sources[] = {ZuPixelBayerRG8, ZuPixelBayerGB12p, ZuPixelYUV411_8_UYYVYY, ZuPixelMono14p,
                                   ZuPixelBiColorRGBG10};
    ZuBufferConverter one(1), many(7);
    for (bool simple : {false, true}) {
        one.SetBayerFilter(simple ? ZuBayerFilterSimple : ZuBayerFilter3X3);
        many.SetBayerFilter(simple ? ZuBayerFilterSimple : ZuBayerFilter3X3);
        for (ZuPixelType s : sources) {
            auto source = MakeImage(s, 640, 481, 0, 0, {}, 5);
            for (bool flip : {false, true}) {
                auto a = MakeTarget(ZuPixelBGRa8), b = MakeTarget(ZuPixelBGRa8);
                ASSERT_TRUE(one.Convert(source.get(), a.get(), true, flip).IsOK());
                ASSERT_TRUE(many.Convert(source.get(), b.get(), true, flip).IsOK());
                ASSERT_TRUE(Pixels(*a) == Pixels(*b)) << Name(s) << (flip ? " flipped" : "");
            }
        }
    }
}

TEST(Converter, ConcurrentConversionsOnOneConverterStayCorrect)
{
    ZuBufferConverter converter(3);
    auto source = MakeImage(ZuPixelBayerBG8, 300, 200);
    const std::vector<uint8_t> expected = reference::Convert(ReferenceOf(*source), ZuPixelRGB8, reference::Options());
    std::vector<std::thread> threads;
    std::vector<int> good(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                auto target = MakeTarget(ZuPixelRGB8);
                good[t] += converter.Convert(source.get(), target.get()).IsOK() && Pixels(*target) == expected;
            }
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(good, std::vector<int>(4, 5));
}

TEST(RGBFilter, DefaultsResetAndSettingsOfTheConverter)
{
    ZuBufferConverterRGBFilter filter;
    filter.SetGainG(2);
    filter.SetOffsetB(-3);
    EXPECT_EQ(filter.GetGainG(), 2.0);
    EXPECT_EQ(filter.GetGainR(), 1.0);
    EXPECT_EQ(filter.GetOffsetB(), -3);
    filter.Reset();
    EXPECT_EQ(filter.GetGainG(), 1.0);
    EXPECT_EQ(filter.GetOffsetB(), 0);

    ZuBufferConverter converter;
    EXPECT_EQ(converter.GetBayerFilter(), ZuBayerFilter3X3);
    EXPECT_EQ(converter.GetBiColorFilter(), ZuBiColorFilter1X3);
    EXPECT_EQ(converter.SetBayerFilter(ZuBayerFilterType(0)).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(converter.SetBayerFilter(ZuBayerFilterType(3)).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(converter.GetBayerFilter(), ZuBayerFilter3X3);
    EXPECT_TRUE(converter.SetBayerFilter(ZuBayerFilterSimple).IsOK());
    EXPECT_EQ(converter.GetBayerFilter(), ZuBayerFilterSimple);
    EXPECT_EQ(converter.SetBiColorFilter(ZuBiColorFilterType(-1)).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(converter.SetBiColorFilter(ZuBiColorFilter1X2).IsOK());
    EXPECT_EQ(converter.GetBiColorFilter(), ZuBiColorFilter1X2);

    EXPECT_EQ(converter.GetConversionThreadsPriority(), 0u);
    EXPECT_EQ(converter.SetConversionThreadsPriority(100).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(converter.SetConversionThreadsPriority(0).IsOK());
    EXPECT_TRUE(converter.SetConversionThreadsPriority(1).IsOK());
    EXPECT_EQ(converter.GetConversionThreadsPriority(), 1u);
    EXPECT_TRUE(converter.SetConversionThreadsPriority(0).IsOK());
}

TEST(RGBFilter, ConverterFollowsTheFilterAndOutlivesIt)
{
    auto source = MakeImage(ZuPixelRGB8, 2, 1, 0, 0, {10, 20, 30, 200, 100, 0});
    ZuBufferConverter converter;
    auto target = MakeTarget(ZuPixelRGB8);
    {
        ZuBufferConverterRGBFilter filter;
        ASSERT_TRUE(converter.SetRGBFilter(filter).IsOK());
        filter.SetGainR(2);      // set after assignment: still seen
        filter.SetOffsetB(-40);
        ASSERT_TRUE(converter.Convert(source.get(), target.get()).IsOK());
        EXPECT_EQ(Pixels(*target), (std::vector<uint8_t>{20, 20, 0, 255, 100, 0}));
    }
    // The filter is gone; the converter still has its values and reads no
    // freed memory.
    ASSERT_TRUE(converter.Convert(source.get(), target.get()).IsOK());
    EXPECT_EQ(Pixels(*target), (std::vector<uint8_t>{20, 20, 0, 255, 100, 0}));
    ASSERT_TRUE(converter.ResetRGBFilter().IsOK());
    ASSERT_TRUE(converter.Convert(source.get(), target.get()).IsOK());
    EXPECT_EQ(Pixels(*target), (std::vector<uint8_t>{10, 20, 30, 200, 100, 0}));
}

TEST(RGBFilter, ValuesOutsideTheRangeAreLimited)
{
    auto source = MakeImage(ZuPixelBayerRG12, 4, 4);
    ZuBufferConverter converter;
    ZuBufferConverterRGBFilter filter;
    filter.SetGainR(std::nan(""));
    filter.SetGainG(1e300);
    filter.SetGainB(-5);
    filter.SetOffsetB(INT32_MAX);
    converter.SetRGBFilter(filter);
    for (ZuPixelType d : {ZuPixelRGB8, ZuPixelRGB16}) {
        auto target = MakeTarget(d);
        ASSERT_TRUE(converter.Convert(source.get(), target.get()).IsOK());
        const std::vector<uint8_t> out = Pixels(*target);
        const bool wide = d == ZuPixelRGB16;
        const size_t pixel = wide ? 6 : 3, top = wide ? 0xFFFF : 0xFF;
        for (size_t i = 0; i < out.size(); i += pixel) {
            auto level = [&](int c) { return wide ? size_t(out[i + 2 * c] | out[i + 2 * c + 1] << 8) : size_t(out[i + c]); };
            ASSERT_EQ(level(0), 0u);  // NaN gives 0
            ASSERT_TRUE(level(1) == top || level(1) == 0u); // huge gain saturates (0 stays 0)
            ASSERT_EQ(level(2), top); // -5 x + INT32_MAX
        }
    }
}

TEST(RGBFilter, WhiteBalanceEqualisesTheMeans)
{
    // Means R 50, G 100, B 200 in an RGB8 and a BGR8 sample.
    std::vector<uint8_t> rgb, bgr;
    for (int i = 0; i < 8; ++i) {
        int r = i % 2 ? 40 : 60, g = 100, b = i % 2 ? 150 : 250;
        rgb.insert(rgb.end(), {uint8_t(r), uint8_t(g), uint8_t(b)});
        bgr.insert(bgr.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
    }
    for (auto type : {ZuPixelRGB8, ZuPixelBGR8}) {
        auto sample = MakeImage(type, 4, 2, 0, 0, type == ZuPixelRGB8 ? rgb : bgr);
        ZuBufferConverterRGBFilter filter;
        filter.SetOffsetG(5);
        ASSERT_TRUE(filter.WhiteBalance(sample.get()).IsOK());
        EXPECT_DOUBLE_EQ(filter.GetGainR(), 4.0) << Name(type);
        EXPECT_DOUBLE_EQ(filter.GetGainG(), 2.0);
        EXPECT_DOUBLE_EQ(filter.GetGainB(), 1.0);
        EXPECT_EQ(filter.GetOffsetG(), 5);
    }

    // A Bayer sample of uniform colour: R 1000, G 500, B 250 (12 bits).
    std::vector<uint8_t> mosaic;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            int v = (y % 2 == 0 && x % 2 == 0) ? 1000 : (y % 2 && x % 2) ? 250 : 500;
            mosaic.push_back(uint8_t(v)), mosaic.push_back(uint8_t(v >> 8));
        }
    auto bayer = MakeImage(ZuPixelBayerRG12, 6, 4, 0, 0, mosaic);
    ZuBufferConverterRGBFilter filter;
    ASSERT_TRUE(filter.WhiteBalance(bayer.get()).IsOK());
    EXPECT_DOUBLE_EQ(filter.GetGainR(), 1.0);
    EXPECT_DOUBLE_EQ(filter.GetGainG(), 2.0);
    EXPECT_DOUBLE_EQ(filter.GetGainB(), 4.0);

    // A sample without blue cannot be balanced: the gains stay.
    auto blueless = MakeImage(ZuPixelRGB8, 1, 1, 0, 0, {10, 10, 0});
    EXPECT_EQ(filter.WhiteBalance(blueless.get()).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_DOUBLE_EQ(filter.GetGainB(), 4.0);
    EXPECT_EQ(filter.WhiteBalance(nullptr).GetCode(), ZU_INVALID_PARAMETER);
    auto unsupported = MakeImage(ZuPixelRGB565p, 2, 2);
    EXPECT_EQ(filter.WhiteBalance(unsupported.get()).GetCode(), ZU_INVALID_PARAMETER);
}
