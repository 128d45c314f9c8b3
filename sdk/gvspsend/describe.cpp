#include "gvspsend/sender.h"

#include "ZuBuffer.h"
#include "ZuImage.h"

namespace tarn {
namespace gvsp {

bool describeBlock(ZuBuffer &aBuffer, BlockSource &aSource, PartStore &aParts)
{
    aSource = BlockSource();
    aParts.infos.clear();
    aParts.datas.clear();
    aSource.leader.timestamp = aBuffer.GetTimestamp();
    switch (aBuffer.GetPayloadType()) {
    case ZuPayloadTypeImage: {
        ZuImage *image = aBuffer.GetImage();
        if (!image) return false;
        ImageInfo &info = aSource.leader.image;
        info.pixelFormat = uint32_t(image->GetPixelType());
        info.sizeX = image->GetWidth();
        info.sizeY = image->GetHeight();
        info.offsetX = image->GetOffsetX();
        info.offsetY = image->GetOffsetY();
        info.paddingX = image->GetPaddingX();
        info.paddingY = image->GetPaddingY();
        aSource.leader.payloadType = PAYLOAD_IMAGE;
        aSource.trailer.sizeY = info.sizeY;
        aSource.data = image->GetDataPointer();
        aSource.size = image->GetImageSize();
        break;
    }
    case ZuPayloadTypeRawData:
        aSource.leader.payloadType = PAYLOAD_RAW;
        aSource.data = aBuffer.GetDataPointer();
        aSource.size = aBuffer.GetSize();
        aSource.leader.payloadSize = aSource.size;
        break;
    default:
        return false;
    }
    // No zero-sized frames.
    return aSource.data && aSource.size;
}

} // namespace gvsp
} // namespace tarn
