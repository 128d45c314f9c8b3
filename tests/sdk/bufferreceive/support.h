#ifndef TARN_TESTS_BUFFERRECEIVE_SUPPORT_H
#define TARN_TESTS_BUFFERRECEIVE_SUPPORT_H

// Images for the converter and filter tests.

#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuPixelTypeInfo.h"

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace support {

inline std::string Name(ZuPixelType aType) { return ZuPixelTypeToString(aType).GetAscii(); }

// Every pixel type the SDK defines, found by walking the code space.
inline std::vector<ZuPixelType> AllPixelTypes()
{
    std::vector<ZuPixelType> types;
    for (uint32_t flag : {uint32_t(ZUPIXELMONO), uint32_t(ZUPIXELCOLOR)})
        for (uint32_t bits = 1; bits <= 96; ++bits)
            for (uint32_t id = 1; id <= 0x120; ++id) {
                ZuPixelType t = ZuPixelType(int32_t(flag | (bits << 16) | id));
                if (!Name(t).empty())
                    types.push_back(t);
            }
    return types;
}

// A buffer holding an image with the given bytes (random when empty).
inline std::unique_ptr<ZuBuffer> MakeImage(ZuPixelType aType, uint32_t aWidth, uint32_t aHeight,
                                           uint16_t aPaddingX = 0, uint16_t aPaddingY = 0,
                                           const std::vector<uint8_t> &aBytes = {}, uint32_t aSeed = 1)
{
    std::unique_ptr<ZuBuffer> buffer(new ZuBuffer);
    if (!buffer->GetImage()->Alloc(aWidth, aHeight, aType, aPaddingX, aPaddingY).IsOK())
        return nullptr;
    uint8_t *data = buffer->GetImage()->GetDataPointer();
    const uint32_t size = buffer->GetImage()->GetImageSize();
    if (!aBytes.empty()) {
        std::memcpy(data, aBytes.data(), std::min<size_t>(size, aBytes.size()));
    } else {
        std::mt19937 random(aSeed);
        for (uint32_t i = 0; i < size; ++i)
            data[i] = uint8_t(random());
    }
    return buffer;
}

// A destination buffer whose image has the pixel type a conversion writes.
inline std::unique_ptr<ZuBuffer> MakeTarget(ZuPixelType aType)
{
    std::unique_ptr<ZuBuffer> buffer(new ZuBuffer);
    buffer->GetImage()->Alloc(1, 1, aType);
    return buffer;
}

inline std::vector<uint8_t> Bytes(const ZuBuffer &aBuffer)
{
    const ZuImage *image = aBuffer.GetImage();
    const uint8_t *p = image->GetDataPointer();
    return std::vector<uint8_t>(p, p + image->GetImageSize());
}

}

#endif
