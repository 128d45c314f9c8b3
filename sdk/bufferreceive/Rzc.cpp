#include "tarn/Rzc.h"

#include "ZuPixelTypeInfo.h"
#include "kernels/Kernels.h"

#include <cstring>
#include <string>
#include <zlib.h>
#include <zstd.h>

namespace tarn {
namespace rzc {

namespace {

// Fast rather than small: the encoding keeps up with a camera.
const int kLevel = 1;
const uint32_t kBandSize = 256 * 1024;
const unsigned kMaxStride = 64;

enum Predictor : uint8_t { kNone = 0, kBytes = 1, kWords = 2 };

uint16_t Get16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t *p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
void Put16(uint8_t *p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void Put32(uint8_t *p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }

uint32_t Checksum(const uint8_t *aHeader, const uint8_t *aTable, size_t aTableSize)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, aHeader, 44);
    // zlib takes 32-bit lengths: the table is fed in slices.
    while (aTableSize) {
        uInt n = uInt(aTableSize > (1u << 30) ? (1u << 30) : aTableSize);
        crc = crc32(crc, aTable, n);
        aTable += n;
        aTableSize -= n;
    }
    return uint32_t(crc);
}

// What a band's Zstandard frame can hold, read from its headers alone: the
// frame must be one that this encoding writes (it records its content size
// and the checksum of its content), end exactly where the band table says,
// and its blocks must be able to yield the content size it records. A
// frame may record any size; its blocks cannot lie about theirs, as each
// regenerates at most 128 KiB. So nothing is set aside for an image before
// its bands have shown they can fill it.
bool FrameHolds(const uint8_t *aFrame, size_t aSize, uint64_t aContent)
{
    const size_t kMaxBlock = 128 * 1024;
    if (aSize < 6 || Get32(aFrame) != ZSTD_MAGICNUMBER)
        return false;
    const uint8_t descriptor = aFrame[4];
    if (!(descriptor & 0x04) || (descriptor & 0x08))
        return false; // no checksum, or the reserved bit
    const bool single = descriptor & 0x20;
    static const size_t kDictionary[4] = {0, 1, 2, 4}, kContentSize[4] = {0, 2, 4, 8};
    size_t at = 5 + (single ? 0 : 1) + kDictionary[descriptor & 3] + kContentSize[descriptor >> 6];
    if ((descriptor >> 6) == 0 && single)
        at += 1;
    if (at > aSize || ZSTD_getFrameContentSize(aFrame, aSize) != aContent)
        return false;
    uint64_t yield = 0;
    for (bool last = false; !last;) {
        if (aSize - at < 3)
            return false;
        const uint32_t block = uint32_t(aFrame[at]) | uint32_t(aFrame[at + 1]) << 8 | uint32_t(aFrame[at + 2]) << 16;
        at += 3;
        last = block & 1;
        const uint32_t type = (block >> 1) & 3, size = block >> 3;
        const size_t stored = type == 1 ? 1 : size;
        if (type == 3 || size > kMaxBlock || aSize - at < stored)
            return false;
        yield += type == 2 ? kMaxBlock : size;
        at += stored;
    }
    return aSize - at == 4 && yield >= aContent; // the content's checksum ends the frame
}

uint64_t RawSize(const Header &h)
{
    unsigned __int128 pixels = (unsigned __int128)(uint64_t(h.width) + h.paddingX) * (uint64_t(h.height) + h.paddingY);
    unsigned __int128 bytes = (pixels * ZuPixelTypeGetBitsPerPixel(h.type) + 7) / 8;
    return bytes > UINT64_MAX ? UINT64_MAX : uint64_t(bytes);
}

// The neighbour that best predicts a level: the same colour of the pixel
// to the left (two sites back in a Bayer or bi-colour line).
void ChoosePredictor(const Image &aImage, uint8_t &aPredictor, uint16_t &aStride)
{
    const uint32_t bits = ZuPixelTypeGetBitsPerPixel(aImage.type);
    const uint32_t component = ZuPixelTypeGetBitsPerComponent(aImage.type);
    const std::string name = ZuPixelTypeToString(aImage.type).GetAscii();
    const bool mosaic = name.compare(0, 5, "Bayer") == 0 || name.compare(0, 7, "BiColor") == 0;
    aPredictor = kNone;
    aStride = 1;
    if (name.find("411") != std::string::npos && bits == 12) {
        aPredictor = kBytes; // U Y Y V Y Y: six bytes a group of four pixels
        aStride = 6;
    } else if (bits % 8) {
        return; // packed samples straddle bytes
    } else if (component > 8 && component <= 16 && bits % 16 == 0) {
        aPredictor = kWords;
        aStride = uint16_t(bits / 16 * (mosaic ? 2 : 1));
    } else {
        aPredictor = kBytes;
        aStride = uint16_t(bits / 8 * (mosaic || name.find("422") != std::string::npos ? 2 : 1));
    }
    if (aStride > kMaxStride)
        aPredictor = kNone, aStride = 1;
}

}

Status Read(const uint8_t *aData, size_t aSize, Header &aHeader, std::vector<Band> *aBands)
{
    if (!aData || aSize < sizeof kMagic || std::memcmp(aData, kMagic, sizeof kMagic))
        return Status::NotEncoded;
    if (aSize < 6)
        return Status::Corrupt;
    const uint16_t version = Get16(aData + 4);
    if (version > kVersion)
        return Status::NewerVersion;
    if (version == 0 || aSize < kHeaderSize || Get16(aData + 6) != kHeaderSize)
        return Status::Corrupt;
    Header h;
    h.type = ZuPixelType(int32_t(Get32(aData + 8)));
    h.width = Get32(aData + 12);
    h.height = Get32(aData + 16);
    h.paddingX = Get16(aData + 20);
    h.paddingY = Get16(aData + 22);
    h.rawSize = Get32(aData + 24);
    h.predictor = aData[28];
    h.stride = Get16(aData + 30);
    h.bandSize = Get32(aData + 32);
    h.bands = Get32(aData + 36);
    h.payloadSize = Get32(aData + 40);
    const uint32_t checksum = Get32(aData + 44);

    // The table must fit before its checksum can be computed.
    if (h.bands == 0 || h.bands > (aSize - kHeaderSize) / 4)
        return Status::Corrupt;
    const uint8_t *table = aData + kHeaderSize;
    if (Checksum(aData, table, size_t(h.bands) * 4) != checksum)
        return Status::Corrupt;

    // Fields that agree with each other, so that what the bands decode into
    // is exactly the image the header describes.
    if (h.width == 0 || h.height == 0 || ZuPixelTypeGetBitsPerPixel(h.type) == 0 || RawSize(h) != h.rawSize)
        return Status::Corrupt;
    if (h.bandSize == 0 || (uint64_t(h.rawSize) + h.bandSize - 1) / h.bandSize != h.bands)
        return Status::Corrupt;
    if (h.predictor > kWords || h.stride == 0 || h.stride > kMaxStride || aData[29] != 0)
        return Status::Corrupt;
    if (h.predictor == kWords && (h.rawSize % 2 || h.bandSize % 2))
        return Status::Corrupt;
    uint64_t payload = 0;
    for (uint32_t i = 0; i < h.bands; ++i) {
        uint32_t n = Get32(table + 4 * size_t(i));
        if (n == 0)
            return Status::Corrupt;
        payload += n;
    }
    const uint64_t start = kHeaderSize + uint64_t(h.bands) * 4;
    if (payload != h.payloadSize || start + payload > aSize)
        return Status::Corrupt;

    if (aBands) {
        aBands->clear();
        aBands->reserve(h.bands);
    }
    uint64_t at = start;
    for (uint32_t i = 0; i < h.bands; ++i) {
        uint32_t n = Get32(table + 4 * size_t(i));
        size_t offset = size_t(i) * h.bandSize;
        size_t raw = std::min<size_t>(h.bandSize, h.rawSize - offset);
        if (!FrameHolds(aData + at, n, raw))
            return Status::Corrupt;
        if (aBands)
            aBands->push_back(Band{aData + at, n, offset, raw});
        at += n;
    }
    aHeader = h;
    return Status::Ok;
}

bool DecodeBand(ZSTD_DCtx *aContext, const Header &aHeader, const Band &aBand, uint8_t *aImage,
                std::vector<uint8_t> &aScratch)
{
    // Read checked the frame's headers; its content (and the checksum of
    // it) is the decoder's to check.
    uint8_t *out = aImage + aBand.rawOffset;
    uint8_t *target = out;
    if (aHeader.predictor != kNone) {
        if (aScratch.size() < aBand.rawSize)
            aScratch.resize(aBand.rawSize);
        target = aScratch.data();
    }
    size_t n = ZSTD_decompressDCtx(aContext, target, aBand.rawSize, aBand.frame, aBand.frameSize);
    if (ZSTD_isError(n) || n != aBand.rawSize)
        return false;
    if (aHeader.predictor == kBytes)
        kernels::Unpredict8(target, aBand.rawSize, aHeader.stride, out);
    else if (aHeader.predictor == kWords)
        kernels::Unpredict16(target, aBand.rawSize / 2, aHeader.stride, out);
    return true;
}

size_t Bound(const Image &aImage)
{
    const uint32_t bands = uint32_t((uint64_t(aImage.size) + kBandSize - 1) / kBandSize);
    size_t total = kHeaderSize + size_t(bands) * 4;
    for (uint32_t i = 0; i < bands; ++i)
        total += ZSTD_compressBound(std::min<size_t>(kBandSize, aImage.size - size_t(i) * kBandSize));
    return total;
}

size_t Encode(ZSTD_CCtx *aContext, const Image &aImage, uint8_t *aOut, size_t aCapacity,
              std::vector<uint8_t> &aScratch)
{
    Header h;
    h.type = aImage.type;
    h.width = aImage.width;
    h.height = aImage.height;
    h.paddingX = aImage.paddingX;
    h.paddingY = aImage.paddingY;
    h.rawSize = aImage.size;
    ChoosePredictor(aImage, h.predictor, h.stride);
    h.bandSize = kBandSize;
    h.bands = uint32_t((uint64_t(h.rawSize) + kBandSize - 1) / kBandSize);
    const size_t start = kHeaderSize + size_t(h.bands) * 4;
    if (aCapacity < start)
        return 0;
    if (aScratch.size() < kBandSize)
        aScratch.resize(kBandSize);
    ZSTD_CCtx_reset(aContext, ZSTD_reset_session_and_parameters);
    ZSTD_CCtx_setParameter(aContext, ZSTD_c_compressionLevel, kLevel);
    ZSTD_CCtx_setParameter(aContext, ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(aContext, ZSTD_c_contentSizeFlag, 1);

    uint8_t *table = aOut + kHeaderSize;
    size_t at = start;
    for (uint32_t i = 0; i < h.bands; ++i) {
        const size_t offset = size_t(i) * kBandSize;
        const size_t raw = std::min<size_t>(kBandSize, h.rawSize - offset);
        const uint8_t *in = aImage.data + offset;
        if (h.predictor == kBytes) {
            kernels::Predict8(in, raw, h.stride, aScratch.data());
            in = aScratch.data();
        } else if (h.predictor == kWords) {
            kernels::Predict16(in, raw / 2, h.stride, aScratch.data());
            in = aScratch.data();
        }
        size_t n = ZSTD_compress2(aContext, aOut + at, aCapacity - at, in, raw);
        if (ZSTD_isError(n))
            return 0;
        Put32(table + 4 * size_t(i), uint32_t(n));
        at += n;
    }
    h.payloadSize = uint32_t(at - start);

    uint8_t *p = aOut;
    std::memcpy(p, kMagic, 4);
    Put16(p + 4, kVersion);
    Put16(p + 6, uint16_t(kHeaderSize));
    Put32(p + 8, uint32_t(h.type));
    Put32(p + 12, h.width);
    Put32(p + 16, h.height);
    Put16(p + 20, h.paddingX);
    Put16(p + 22, h.paddingY);
    Put32(p + 24, h.rawSize);
    p[28] = h.predictor;
    p[29] = 0;
    Put16(p + 30, h.stride);
    Put32(p + 32, h.bandSize);
    Put32(p + 36, h.bands);
    Put32(p + 40, h.payloadSize);
    Put32(p + 44, Checksum(p, table, size_t(h.bands) * 4));
    return at;
}

}
}
