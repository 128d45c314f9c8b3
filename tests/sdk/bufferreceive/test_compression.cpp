// Compression and decompression filters: exact round trips, the encoding's
// header, and inputs cut short or damaged.
#include "ZuCompressionFilter.h"
#include "ZuDecompressionFilter.h"

#include "support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <random>

using support::MakeImage;
using support::Name;

namespace {

std::vector<uint8_t> Compressed(const ZuBuffer &aBuffer)
{
    return std::vector<uint8_t>(aBuffer.GetDataPointer(), aBuffer.GetDataPointer() + aBuffer.GetAcquiredSize());
}

// A compressed buffer over an exact-size heap copy of some bytes, so that
// AddressSanitizer sees any read past them.
struct Held
{
    explicit Held(const std::vector<uint8_t> &aBytes)
        : memory(new uint8_t[aBytes.empty() ? 1 : aBytes.size()]), buffer(ZuPayloadTypeMorvekCompressed)
    {
        std::copy(aBytes.begin(), aBytes.end(), memory.get());
        if (!aBytes.empty())
            buffer.Attach(memory.get(), uint32_t(aBytes.size()));
    }
    std::unique_ptr<uint8_t[]> memory;
    ZuBuffer buffer;
};

// A smooth image with noise, as a camera sees it.
std::unique_ptr<ZuBuffer> Scene(ZuPixelType aType, uint32_t aWidth, uint32_t aHeight)
{
    auto buffer = MakeImage(aType, aWidth, aHeight);
    const bool wide = ZuPixelTypeGetBitsPerComponent(aType) > 8;
    const uint32_t bytes = ZuPixelTypeGetBitsPerPixel(aType) / 8;
    std::mt19937 random(3);
    for (uint32_t y = 0; y < aHeight; ++y)
        for (uint32_t x = 0; x < aWidth * bytes / (wide ? 2 : 1); ++x) {
            double level = 0.5 + 0.4 * std::sin(x * 0.01) * std::cos(y * 0.013);
            unsigned v = unsigned(level * (wide ? 4000 : 250)) + random() % 4;
            uint8_t *p = buffer->GetImage()->GetDataPointer() + size_t(y) * aWidth * bytes;
            if (wide) {
                p[2 * x] = uint8_t(v), p[2 * x + 1] = uint8_t(v >> 8);
            } else {
                p[x] = uint8_t(v);
            }
        }
    return buffer;
}

}

TEST(Compression, EveryPixelTypeRoundTripsExactly)
{
    ZuCompressionFilter compressor;
    ZuDecompressionFilter decompressor;
    size_t types = 0;
    for (ZuPixelType type : support::AllPixelTypes()) {
        // Odd sizes and padding: packed types end lines inside a byte.
        auto image = MakeImage(type, 13, 7, 3, 1, {}, uint32_t(type));
        ASSERT_TRUE(image) << Name(type);
        image->SetBlockID(77);
        ZuBuffer packed, back;
        ASSERT_TRUE(compressor.Execute(image.get(), &packed).IsOK()) << Name(type);
        EXPECT_EQ(packed.GetPayloadType(), ZuPayloadTypeMorvekCompressed);
        EXPECT_TRUE(ZuDecompressionFilter::IsCompressed(&packed));
        ZuPixelType format = ZuPixelUndefined;
        uint32_t width = 0, height = 0;
        ASSERT_TRUE(ZuDecompressionFilter::GetOutputFormatFor(&packed, format, width, height).IsOK());
        EXPECT_EQ(format, type);
        EXPECT_EQ(width, 13u);
        EXPECT_EQ(height, 7u);
        ASSERT_TRUE(decompressor.Execute(&packed, &back).IsOK()) << Name(type);
        EXPECT_EQ(back.GetImage()->GetPixelType(), type);
        EXPECT_EQ(back.GetImage()->GetPaddingX(), 3);
        EXPECT_EQ(back.GetImage()->GetPaddingY(), 1);
        ASSERT_EQ(support::Bytes(back), support::Bytes(*image)) << Name(type);
        EXPECT_EQ(back.GetBlockID(), 77u);
        ++types;
    }
    EXPECT_GT(types, 200u);
}

TEST(Compression, CameraImagesShrinkAndLargeOnesUseManyBands)
{
    ZuCompressionFilter compressor;
    ZuDecompressionFilter decompressor;
    ASSERT_TRUE(decompressor.SetThreadCount(4).IsOK());
    EXPECT_EQ(decompressor.GetThreadCount(), 4u);
    for (ZuPixelType type : {ZuPixelMono8, ZuPixelBayerRG8, ZuPixelMono12, ZuPixelRGB8, ZuPixelBayerGB16}) {
        auto image = Scene(type, 1000, 700);
        ZuBuffer packed, back;
        ASSERT_TRUE(compressor.Execute(image.get(), &packed).IsOK());
        EXPECT_LT(packed.GetAcquiredSize() * 2, image->GetImage()->GetImageSize()) << Name(type);
        ASSERT_TRUE(decompressor.Execute(&packed, &back).IsOK());
        EXPECT_TRUE(support::Bytes(back) == support::Bytes(*image)) << Name(type);
    }
}

TEST(Compression, BuffersAreReusedAcrossImages)
{
    ZuCompressionFilter compressor;
    ZuDecompressionFilter decompressor;
    ZuBuffer packed, back;
    auto first = Scene(ZuPixelMono8, 300, 200), second = Scene(ZuPixelMono8, 300, 200);
    second->GetImage()->GetDataPointer()[5] ^= 0xFF;
    ASSERT_TRUE(compressor.Execute(first.get(), &packed).IsOK());
    ASSERT_TRUE(decompressor.Execute(&packed, &back).IsOK());
    const uint8_t *packedMemory = packed.GetDataPointer(), *imageMemory = back.GetDataPointer();
    ASSERT_TRUE(compressor.Execute(second.get(), &packed).IsOK());
    ASSERT_TRUE(decompressor.Execute(&packed, &back).IsOK());
    EXPECT_EQ(packed.GetDataPointer(), packedMemory);
    EXPECT_EQ(back.GetDataPointer(), imageMemory);
    EXPECT_EQ(support::Bytes(back), support::Bytes(*second));

    // An output of another format is re-allocated to the stored one.
    ZuBuffer other;
    other.GetImage()->Alloc(300, 200, ZuPixelMono16);
    ASSERT_TRUE(decompressor.Execute(&packed, &other).IsOK());
    EXPECT_EQ(other.GetImage()->GetPixelType(), ZuPixelMono8);
    EXPECT_EQ(support::Bytes(other), support::Bytes(*second));
    // So is one of the stored format whose padding differs: decoding over
    // its own line stride would shift every line.
    auto padded = MakeImage(ZuPixelMono8, 30, 20, 3, 1, {}, 5);
    ASSERT_TRUE(compressor.Execute(padded.get(), &packed).IsOK());
    for (auto padding : {std::make_pair(5, 1), std::make_pair(3, 4), std::make_pair(0, 0)}) {
        ZuBuffer reused;
        reused.GetImage()->Alloc(30, 20, ZuPixelMono8, uint16_t(padding.first), uint16_t(padding.second));
        ASSERT_TRUE(decompressor.Execute(&packed, &reused).IsOK());
        EXPECT_EQ(reused.GetImage()->GetPaddingX(), 3);
        EXPECT_EQ(reused.GetImage()->GetPaddingY(), 1);
        EXPECT_EQ(support::Bytes(reused), support::Bytes(*padded));
    }
    ZuBuffer raw(ZuPayloadTypeRawData);
    raw.Alloc(10);
    ASSERT_TRUE(decompressor.Execute(&packed, &raw).IsOK());
    EXPECT_EQ(raw.GetPayloadType(), ZuPayloadTypeImage);
}

TEST(Compression, EveryTruncationIsRefused)
{
    ZuCompressionFilter compressor;
    ZuDecompressionFilter decompressor;
    auto image = MakeImage(ZuPixelBayerRG12, 9, 5, 1, 0);
    ZuBuffer packed;
    ASSERT_TRUE(compressor.Execute(image.get(), &packed).IsOK());
    const std::vector<uint8_t> whole = Compressed(packed);
    for (size_t length = 0; length < whole.size(); ++length) {
        Held cut(std::vector<uint8_t>(whole.begin(), whole.begin() + length));
        ZuBuffer out;
        ZuResult result = decompressor.Execute(&cut.buffer, &out);
        ASSERT_EQ(result.GetCode(), length < 4 ? ZU_NOT_SUPPORTED : ZU_IMAGE_ERROR) << length;
        ASSERT_FALSE(ZuDecompressionFilter::IsCompressed(&cut.buffer)) << length;
    }
    Held all(whole);
    ZuBuffer out;
    ASSERT_TRUE(decompressor.Execute(&all.buffer, &out).IsOK());
    EXPECT_EQ(support::Bytes(out), support::Bytes(*image));
}

TEST(Compression, DamageIsDetectedOrHarmless)
{
    // Damage anywhere either is refused, or (a byte no decoder reads)
    // leaves the image exactly as it was: a damaged input never comes back
    // as OK with other pixels.
    ZuCompressionFilter compressor;
    ZuDecompressionFilter decompressor;
    auto image = Scene(ZuPixelMono16, 700, 400); // several bands
    ZuBuffer packed;
    ASSERT_TRUE(compressor.Execute(image.get(), &packed).IsOK());
    const std::vector<uint8_t> whole = Compressed(packed);
    const std::vector<uint8_t> pixels = support::Bytes(*image);
    std::mt19937 random(11);
    int refused = 0;
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<uint8_t> damaged = whole;
        // Mostly the header and band table, where a slip would misplace a band.
        size_t at = trial % 2 ? random() % 96 : random() % damaged.size();
        damaged[at] ^= uint8_t(1 + random() % 255);
        Held held(damaged);
        ZuBuffer out;
        ZuResult result = decompressor.Execute(&held.buffer, &out);
        if (result.IsOK()) {
            ASSERT_EQ(support::Bytes(out), pixels) << "byte " << at;
        } else {
            ASSERT_TRUE(result.GetCode() == ZU_IMAGE_ERROR || (at < 6 && result.GetCode() == ZU_NOT_SUPPORTED))
                << "byte " << at << ": " << result.GetCode();
            ++refused;
        }
    }
    EXPECT_GT(refused, 380);
}

TEST(Compression, HeaderFieldsAreWhereTheyAreDocumented)
{
    auto image = MakeImage(ZuPixelBayerGR8, 300, 2, 5, 1);
    ZuCompressionFilter compressor;
    ZuBuffer packed;
    ASSERT_TRUE(compressor.Execute(image.get(), &packed).IsOK());
    const std::vector<uint8_t> bytes = Compressed(packed);
    auto u32 = [&](size_t at) { return uint32_t(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24); };
    auto u16 = [&](size_t at) { return unsigned(bytes[at] | bytes[at + 1] << 8); };
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4), (std::vector<uint8_t>{0x89, 'R', 'Z', 'C'}));
    EXPECT_EQ(u16(4), 1u);
    EXPECT_EQ(u16(6), 48u);
    EXPECT_EQ(u32(8), uint32_t(ZuPixelBayerGR8));
    EXPECT_EQ(u32(12), 300u);
    EXPECT_EQ(u32(16), 2u);
    EXPECT_EQ(u16(20), 5u);
    EXPECT_EQ(u16(22), 1u);
    EXPECT_EQ(u32(24), 305u * 3);
    EXPECT_EQ(bytes[28], 1);  // bytes
    EXPECT_EQ(u16(30), 2u);   // same colour, two sites back
    EXPECT_EQ(u32(36), 1u);   // one band
    EXPECT_EQ(u32(40) + 48 + 4, bytes.size());
    EXPECT_EQ(u32(48), u32(40));

    // A later version is refused as unsupported, not as damage.
    std::vector<uint8_t> later = bytes;
    later[4] = 2;
    Held held(later);
    ZuBuffer out;
    ZuDecompressionFilter decompressor;
    EXPECT_EQ(decompressor.Execute(&held.buffer, &out).GetCode(), ZU_NOT_SUPPORTED);
    EXPECT_FALSE(ZuDecompressionFilter::IsCompressed(&held.buffer));
}

namespace {

// CRC-32 (IEEE), one bit at a time.
uint32_t Crc32(const uint8_t *aData, size_t aSize, uint32_t aCrc = 0)
{
    aCrc = ~aCrc;
    for (size_t i = 0; i < aSize; ++i) {
        aCrc ^= aData[i];
        for (int b = 0; b < 8; ++b)
            aCrc = (aCrc >> 1) ^ (0xEDB88320u & (0u - (aCrc & 1u)));
    }
    return ~aCrc;
}

void Put32(std::vector<uint8_t> &aBytes, size_t aAt, uint32_t aValue)
{
    for (int i = 0; i < 4; ++i)
        aBytes[aAt + i] = uint8_t(aValue >> (8 * i));
}

uint32_t Get32(const std::vector<uint8_t> &aBytes, size_t aAt)
{
    return uint32_t(aBytes[aAt] | aBytes[aAt + 1] << 8 | aBytes[aAt + 2] << 16 | uint32_t(aBytes[aAt + 3]) << 24);
}

// Writes the checksum a header with these fields would carry.
void Seal(std::vector<uint8_t> &aBytes)
{
    const uint32_t bands = Get32(aBytes, 36);
    uint32_t crc = Crc32(aBytes.data(), 44);
    if (48 + uint64_t(bands) * 4 <= aBytes.size())
        crc = Crc32(aBytes.data() + 48, size_t(bands) * 4, crc);
    Put32(aBytes, 44, crc);
}

}

TEST(Compression, FieldsThatDisagreeAreRefusedEvenWithARightChecksum)
{
    // Two bands (raw 320 000 bytes), so that the table and the band
    // boundaries can be made to lie.
    ZuCompressionFilter compressor;
    auto image = Scene(ZuPixelMono16, 400, 400);
    ZuBuffer packed;
    ASSERT_TRUE(compressor.Execute(image.get(), &packed).IsOK());
    std::vector<uint8_t> whole = Compressed(packed);
    ASSERT_EQ(Get32(whole, 36), 2u);
    {
        // Resealed untouched, it still decompresses: the checksum is the documented one.
        std::vector<uint8_t> same = whole;
        Seal(same);
        ASSERT_EQ(same, whole);
    }
    struct Lie
    {
        const char *what;
        size_t at;
        uint32_t value;
        bool wide;
    };
    const uint32_t rawSize = Get32(whole, 24), band = Get32(whole, 32);
    const Lie lies[] = {
        {"width", 12, 399, true},           {"width", 12, 401, true},          {"height", 16, 200, true},
        {"height", 16, 0, true},            {"padding X", 20, 1, false},       {"padding Y", 22, 1, false},
        {"raw size", 24, rawSize - 2, true}, {"raw size", 24, rawSize + 2, true}, {"pixel type", 8, uint32_t(ZuPixelMono8), true},
        {"pixel type", 8, 0, true},         {"predictor", 28, 3, false},       {"reserved", 29, 1, false},
        {"stride", 30, 0, false},           {"stride", 30, 65, false},         {"band size", 32, band / 2, true},
        {"band size", 32, 0, true},         {"band size", 32, band + 1, true}, {"band count", 36, 3, true},
        {"band count", 36, 1, true},        {"payload", 40, Get32(whole, 40) - 1, true},
        {"first band", 48, Get32(whole, 48) + 1, true}, {"first band", 48, 0, true},
        {"header size", 6, 52, false},      {"version", 4, 0, false},
    };
    ZuDecompressionFilter decompressor;
    for (const Lie &lie : lies) {
        std::vector<uint8_t> bytes = whole;
        if (lie.wide)
            Put32(bytes, lie.at, lie.value);
        else
            bytes[lie.at] = uint8_t(lie.value), bytes[lie.at + 1] = uint8_t(lie.value >> 8);
        if (lie.at == 29)
            bytes[30] = whole[30], bytes[31] = whole[31];
        Seal(bytes);
        Held held(bytes);
        ZuBuffer out;
        EXPECT_EQ(decompressor.Execute(&held.buffer, &out).GetCode(), ZU_IMAGE_ERROR) << lie.what << " " << lie.value;
        EXPECT_FALSE(ZuDecompressionFilter::IsCompressed(&held.buffer)) << lie.what;
    }
    // The last band without the checksum of its content (flag cleared, its
    // four bytes dropped), or followed by an empty skippable frame: either
    // is data this filter did not write, refused although it would decode.
    const size_t last = 56 + Get32(whole, 48);
    std::vector<uint8_t> unchecked(whole.begin(), whole.end() - 4);
    unchecked[last + 4] &= uint8_t(~0x04);
    Put32(unchecked, 52, Get32(whole, 52) - 4);
    Put32(unchecked, 40, Get32(whole, 40) - 4);
    std::vector<uint8_t> trailing = whole;
    trailing.insert(trailing.end(), {0x50, 0x2A, 0x4D, 0x18, 0, 0, 0, 0});
    Put32(trailing, 52, Get32(whole, 52) + 8);
    Put32(trailing, 40, Get32(whole, 40) + 8);
    for (std::vector<uint8_t> *bytes : {&unchecked, &trailing}) {
        Seal(*bytes);
        Held held(*bytes);
        ZuBuffer out;
        EXPECT_EQ(decompressor.Execute(&held.buffer, &out).GetCode(), ZU_IMAGE_ERROR) << (bytes == &trailing);
    }

    // A band whose frame was swapped with the other's decodes into the
    // wrong place: its size disagrees with the band it stands for.
    std::vector<uint8_t> swapped = whole;
    const uint32_t first = Get32(whole, 48), second = Get32(whole, 52);
    std::vector<uint8_t> frames(whole.begin() + 56, whole.end());
    std::rotate(frames.begin(), frames.begin() + first, frames.end());
    std::copy(frames.begin(), frames.end(), swapped.begin() + 56);
    Put32(swapped, 48, second);
    Put32(swapped, 52, first);
    Seal(swapped);
    Held held(swapped);
    ZuBuffer out;
    EXPECT_EQ(decompressor.Execute(&held.buffer, &out).GetCode(), ZU_IMAGE_ERROR);
}

namespace {

long PeakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// An encoded Mono8 image of 65535 x 65535 (4 GiB less 128 KiB) in one
// band, whose frame records that content size but holds only aBlock.
std::vector<uint8_t> ClaimingHuge(const std::vector<uint8_t> &aBlock)
{
    const uint32_t side = 65535, raw = side * side;
    std::vector<uint8_t> frame = {0x28, 0xB5, 0x2F, 0xFD, 0xE4}; // content size in 8 bytes, checksum
    for (int i = 0; i < 8; ++i)
        frame.push_back(uint8_t(uint64_t(raw) >> (8 * i)));
    frame.insert(frame.end(), aBlock.begin(), aBlock.end());
    frame.insert(frame.end(), {1, 2, 3, 4}); // the content's checksum
    std::vector<uint8_t> bytes(52, 0);
    bytes[0] = 0x89, bytes[1] = 'R', bytes[2] = 'Z', bytes[3] = 'C';
    bytes[4] = 1, bytes[6] = 48;
    Put32(bytes, 8, uint32_t(ZuPixelMono8));
    Put32(bytes, 12, side);
    Put32(bytes, 16, side);
    Put32(bytes, 24, raw);
    bytes[30] = 1; // stride
    Put32(bytes, 32, raw);
    Put32(bytes, 36, 1);
    Put32(bytes, 40, uint32_t(frame.size()));
    Put32(bytes, 48, uint32_t(frame.size()));
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    Seal(bytes);
    return bytes;
}

}

TEST(Compression, AnImageIsSetAsideOnlyForWhatItsBandsCanYield)
{
    // A few dozen bytes once made the filter allocate and zero 4 GiB before
    // the band was looked at: the frame's blocks are what bound the image.
    const std::vector<uint8_t> rle16 = {0x83, 0, 0, 0};       // last, RLE, 16 bytes of 0
    const std::vector<uint8_t> compressed = {0x15, 0, 0, 0x42, 0}; // last, compressed, 2 bytes
    ZuDecompressionFilter decompressor;
    const long before = PeakResidentKiB();
    for (const std::vector<uint8_t> *block : {&rle16, &compressed}) {
        Held held(ClaimingHuge(*block));
        ASSERT_LT(held.buffer.GetSize(), 100u);
        ZuBuffer out;
        EXPECT_EQ(decompressor.Execute(&held.buffer, &out).GetCode(), ZU_IMAGE_ERROR);
        EXPECT_EQ(out.GetDataPointer(), nullptr) << "nothing was set aside";
        EXPECT_FALSE(ZuDecompressionFilter::IsCompressed(&held.buffer));
    }
    EXPECT_LT(PeakResidentKiB() - before, 64 * 1024);

    // What a frame's blocks can yield is not refused: a black image shrinks
    // about 30,000 times and comes back whole.
    auto black = MakeImage(ZuPixelMono8, 4096, 4096, 0, 0, std::vector<uint8_t>(4096 * 4096, 0));
    ZuCompressionFilter compressor;
    ZuBuffer packed, back;
    ASSERT_TRUE(compressor.Execute(black.get(), &packed).IsOK());
    EXPECT_LT(packed.GetAcquiredSize(), 4096u);
    ASSERT_TRUE(decompressor.Execute(&packed, &back).IsOK());
    EXPECT_EQ(support::Bytes(back), support::Bytes(*black));
}

TEST(Compression, ResultsOfTheFiltersSettingsAndRefusals)
{
    ZuCompressionFilter compressor;
    ZuDecompressionFilter decompressor;
    IZuFilter &asFilter = decompressor;
    EXPECT_EQ(compressor.SetThreadCount(2).GetCode(), ZU_NOT_SUPPORTED);
    EXPECT_EQ(compressor.GetThreadCount(), 1u);
    uint32_t priority = 1234;
    EXPECT_EQ(compressor.GetThreadsPriority(priority).GetCode(), ZU_NOT_SUPPORTED);
    EXPECT_EQ(priority, 1234u);
    EXPECT_EQ(compressor.SetThreadsPriority(3).GetCode(), ZU_NOT_SUPPORTED);
    EXPECT_EQ(compressor.GetEncoding(), ZuEncodingRZC1);
    EXPECT_EQ(compressor.SetEncoding(ZuEncodingUnknown).GetCode(), ZU_NOT_SUPPORTED);
    EXPECT_EQ(compressor.GetEncoding(), ZuEncodingRZC1);
    EXPECT_TRUE(compressor.SetEncoding(ZuEncodingRZC1).IsOK());

    EXPECT_EQ(asFilter.SetThreadCount(0).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(asFilter.SetThreadCount(65).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(asFilter.SetThreadCount(64).IsOK());
    EXPECT_EQ(asFilter.GetThreadCount(), 64u);
    EXPECT_TRUE(asFilter.SetThreadCount(1).IsOK());
    EXPECT_EQ(asFilter.GetThreadCount(), 1u);
    EXPECT_TRUE(asFilter.GetThreadsPriority(priority).IsOK());
    EXPECT_EQ(priority, 3u);
    EXPECT_EQ(asFilter.SetThreadsPriority(100).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(asFilter.SetThreadsPriority(0).IsOK());
    asFilter.GetThreadsPriority(priority);
    EXPECT_EQ(priority, 0u);

    auto image = MakeImage(ZuPixelMono8, 4, 4);
    ZuBuffer packed, out;
    EXPECT_EQ(compressor.Execute(nullptr, &packed).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(compressor.Execute(image.get(), nullptr).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(compressor.Execute(image.get(), image.get()).GetCode(), ZU_INVALID_PARAMETER);
    ZuBuffer raw(ZuPayloadTypeRawData), noImage;
    raw.Alloc(16);
    EXPECT_EQ(compressor.Execute(&raw, &packed).GetCode(), ZU_NOT_SUPPORTED);
    EXPECT_EQ(compressor.Execute(&noImage, &packed).GetCode(), ZU_NOT_SUPPORTED);

    // Through the interface, the decompression runs; an image is not
    // compressed data.
    ASSERT_TRUE(compressor.Execute(image.get(), &packed).IsOK());
    EXPECT_TRUE(asFilter.Execute(&packed, &out).IsOK());
    EXPECT_EQ(support::Bytes(out), support::Bytes(*image));
    EXPECT_EQ(asFilter.Execute(image.get(), &out).GetCode(), ZU_NOT_SUPPORTED);
    EXPECT_EQ(asFilter.Execute(&packed, &packed).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(asFilter.Execute(nullptr, &out).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_FALSE(ZuDecompressionFilter::IsCompressed(image.get()));
    EXPECT_FALSE(ZuDecompressionFilter::IsCompressed(nullptr));
    ZuPixelType format = ZuPixelMono16;
    uint32_t width = 5, height = 6;
    EXPECT_EQ(ZuDecompressionFilter::GetOutputFormatFor(image.get(), format, width, height).GetCode(), ZU_NOT_SUPPORTED);
    EXPECT_EQ(format, ZuPixelMono16);
    EXPECT_EQ(width, 5u);
    EXPECT_EQ(ZuDecompressionFilter::GetOutputFormatFor(nullptr, format, width, height).GetCode(), ZU_INVALID_PARAMETER);

    // Compressed data kept as raw data decompresses too.
    ZuBuffer copy(ZuPayloadTypeRawData);
    copy.Alloc(packed.GetAcquiredSize());
    std::memcpy(copy.GetDataPointer(), packed.GetDataPointer(), packed.GetAcquiredSize());
    EXPECT_TRUE(decompressor.Execute(&copy, &out).IsOK());
}

TEST(Compression, OutputMemoryTheBufferDoesNotOwnIsNeverOverrun)
{
    ZuCompressionFilter compressor;
    auto image = MakeImage(ZuPixelMono8, 64, 64); // random: does not shrink
    std::unique_ptr<uint8_t[]> small(new uint8_t[100]);
    ZuBuffer packed(ZuPayloadTypeMorvekCompressed);
    packed.Attach(small.get(), 100);
    EXPECT_EQ(compressor.Execute(image.get(), &packed).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(packed.IsAttached());

    // The output's memory may not hold the input.
    ZuBuffer overlapping(ZuPayloadTypeMorvekCompressed);
    overlapping.Attach(image->GetDataPointer(), image->GetSize());
    EXPECT_EQ(compressor.Execute(image.get(), &overlapping).GetCode(), ZU_INVALID_PARAMETER);

    ZuDecompressionFilter decompressor;
    ZuBuffer compressed;
    ASSERT_TRUE(compressor.Execute(image.get(), &compressed).IsOK());
    ZuBuffer into;
    into.GetImage()->Attach(compressed.GetDataPointer(), 64, 64, ZuPixelMono8);
    EXPECT_EQ(decompressor.Execute(&compressed, &into).GetCode(), ZU_INVALID_PARAMETER);
}
