// Compressed images from anywhere: any bytes attached to a buffer as a
// compressed payload are checked, decompressed or refused without reading
// or writing outside the two buffers; what decompresses re-compresses into
// data that decompresses to the same image. What decodes has the outline
// a sender reads without decoding.
//
// The header's checksum turns back almost every mutation at once, so each
// input is also tried with the checksum made right (CRC-32 of bytes 0-43
// and the band table, at byte 44): the fuzzer then reaches the fields and
// bands behind it.
#include "ZuBuffer.h"
#include "ZuCompressionFilter.h"
#include "ZuDecompressionFilter.h"
#include "ZuImage.h"
#include "tarn/Rzc.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <zlib.h>

namespace {

uint32_t Get32(const uint8_t *p) { return uint32_t(p[0]) | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

void Decompress(const uint8_t *aData, size_t aSize)
{
    // An exact-size copy: a read past the input is a read past the heap block.
    std::unique_ptr<uint8_t[]> memory(new uint8_t[aSize]);
    std::memcpy(memory.get(), aData, aSize);
    ZuBuffer in(ZuPayloadTypeMorvekCompressed);
    in.Attach(memory.get(), uint32_t(aSize));

    static ZuDecompressionFilter decompressor;
    ZuPixelType type = ZuPixelUndefined;
    uint32_t width = 0, height = 0;
    const bool compressed = ZuDecompressionFilter::IsCompressed(&in);
    const bool described = ZuDecompressionFilter::GetOutputFormatFor(&in, type, width, height).IsOK();
    if (compressed != described)
        abort();
    tarn::rzc::Outline outline;
    if (described && (!tarn::rzc::Peek(memory.get(), aSize, outline) || outline.type != type ||
                      outline.width != width || outline.height != height || outline.encodedSize > aSize))
        abort();
    ZuBuffer out;
    ZuResult result = decompressor.Execute(&in, &out);
    if (!result.IsOK()) {
        if (result.GetCode() != ZU_IMAGE_ERROR && result.GetCode() != ZU_NOT_SUPPORTED &&
            result.GetCode() != ZU_INVALID_PARAMETER)
            abort();
        return;
    }
    const ZuImage *image = out.GetImage();
    if (!compressed || !image || image->GetPixelType() != type || image->GetWidth() != width ||
        image->GetHeight() != height)
        abort();

    static ZuCompressionFilter compressor;
    ZuBuffer again, back;
    if (!compressor.Execute(&out, &again).IsOK() || !decompressor.Execute(&again, &back).IsOK())
        abort();
    if (back.GetImage()->GetImageSize() != image->GetImageSize() ||
        std::memcmp(back.GetImage()->GetDataPointer(), image->GetDataPointer(), image->GetImageSize()))
        abort();
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    if (aSize == 0 || aSize > (64u << 20))
        return 0;
    Decompress(aData, aSize);
    if (aSize < 48 || std::memcmp(aData, "\x89RZC", 4))
        return 0;
    const uint32_t bands = Get32(aData + 36);
    if (bands > (aSize - 48) / 4)
        return 0;
    std::unique_ptr<uint8_t[]> fixed(new uint8_t[aSize]);
    std::memcpy(fixed.get(), aData, aSize);
    uLong crc = crc32(crc32(0L, Z_NULL, 0), fixed.get(), 44);
    crc = crc32(crc, fixed.get() + 48, uInt(bands) * 4);
    for (int i = 0; i < 4; ++i)
        fixed[44 + i] = uint8_t(crc >> (8 * i));
    Decompress(fixed.get(), aSize);
    return 0;
}
