#ifndef TARN_RZC_H
#define TARN_RZC_H

// RZC1, the SDK's lossless image encoding.
//
// An encoded image is a header, a table of band sizes and the bands:
//
//   offset size  field (little-endian)
//   0      4     magic 0x89 'R' 'Z' 'C'
//   4      2     version (1)
//   6      2     header size (48)
//   8      4     pixel type
//   12     4     width
//   16     4     height
//   20     2     padding X (pixels at the end of each line)
//   22     2     padding Y (lines at the end of the image)
//   24     4     raw size: bytes of the image, padding included
//   28     1     predictor: 0 none, 1 bytes, 2 little-endian 16-bit words
//   29     1     0
//   30     2     predictor stride, in bytes or words (1 to 64)
//   32     4     band size: raw bytes of each band but the last
//   36     4     band count: raw size / band size, rounded up
//   40     4     payload size: bytes of all bands together
//   44     4     checksum: CRC-32 of bytes 0-43 followed by the band table
//   48     4n    band table: compressed size of each band
//   ...          the bands, one after another
//
// A band is the raw bytes of the image from band size x its number on, each
// element replaced by its difference to the element one stride before it
// in the band (for words, all low bytes then all high bytes), compressed as
// one Zstandard frame that records its content size and the XXH64 checksum
// of its content. Bands are independent, so they decompress in parallel.

#include "ZuPixelType.h"

#include <cstddef>
#include <cstdint>
#include <vector>

typedef struct ZSTD_CCtx_s ZSTD_CCtx;
typedef struct ZSTD_DCtx_s ZSTD_DCtx;

namespace tarn {
namespace rzc {

constexpr size_t kHeaderSize = 48;
constexpr uint16_t kVersion = 1;
constexpr uint8_t kMagic[4] = {0x89, 'R', 'Z', 'C'};

// What a sender tells of an encoded image without decoding it (the
// libraries that send images do not link the codec).
struct Outline
{
    int32_t type;
    uint32_t width, height;
    size_t encodedSize; // header, band table and bands
};

// Reads the outline of aSize bytes: false when they do not start with an
// encoded image of this version or its bands would end past them. The
// checksum and the bands are the decoder's to check.
inline bool Peek(const uint8_t *aData, size_t aSize, Outline &aOut)
{
    auto get32 = [aData](size_t at) {
        return uint32_t(aData[at]) | uint32_t(aData[at + 1]) << 8 | uint32_t(aData[at + 2]) << 16 |
               uint32_t(aData[at + 3]) << 24;
    };
    if (!aData || aSize < kHeaderSize) return false;
    for (size_t k = 0; k < sizeof kMagic; ++k)
        if (aData[k] != kMagic[k]) return false;
    if ((aData[4] | aData[5] << 8) != kVersion || (aData[6] | aData[7] << 8) != kHeaderSize) return false;
    const uint64_t size = kHeaderSize + uint64_t(get32(36)) * 4 + get32(40);
    if (size > aSize) return false;
    aOut = Outline{int32_t(get32(8)), get32(12), get32(16), size_t(size)};
    return true;
}

struct Header
{
    ZuPixelType type;
    uint32_t width, height;
    uint16_t paddingX, paddingY;
    uint32_t rawSize;
    uint8_t predictor;
    uint16_t stride;
    uint32_t bandSize, bands;
    uint32_t payloadSize;
};

enum class Status { Ok, NotEncoded, NewerVersion, Corrupt };

// Where a band lies in the encoded data and in the raw image.
struct Band
{
    const uint8_t *frame;
    size_t frameSize;
    size_t rawOffset, rawSize;
};

// Reads and checks the header, the band table and the headers of each
// band's frame, of aSize bytes: everything the bands' decoding relies on,
// so that no band points outside aData and none claims more than its
// frame can yield (an image is never set aside for what its input cannot
// fill). Linear in aSize. With aBands, lists the bands.
Status Read(const uint8_t *aData, size_t aSize, Header &aHeader, std::vector<Band> *aBands = nullptr);

// Decodes one band into aImage (the raw image, aHeader.rawSize bytes).
// aScratch is the thread's memory. False for a damaged band; bytes of the
// image outside the band are left alone.
bool DecodeBand(ZSTD_DCtx *aContext, const Header &aHeader, const Band &aBand, uint8_t *aImage,
                std::vector<uint8_t> &aScratch);

// An image to encode.
struct Image
{
    const uint8_t *data;
    ZuPixelType type;
    uint32_t width, height;
    uint16_t paddingX, paddingY;
    uint32_t size; // bytes, padding included
};

// The most bytes Encode writes for an image.
size_t Bound(const Image &aImage);

// Encodes an image into aOut (aCapacity bytes); returns the bytes written,
// 0 when they do not fit.
size_t Encode(ZSTD_CCtx *aContext, const Image &aImage, uint8_t *aOut, size_t aCapacity,
              std::vector<uint8_t> &aScratch);

}
}

#endif
