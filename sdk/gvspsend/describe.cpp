#include "gvspsend/sender.h"

#include "ZuBuffer.h"
#include "ZuGenDC.h"
#include "ZuImage.h"
#include "ZuMultiPartContainer.h"
#include "ZuPixelTypeInfo.h"
#include "tarn/Rzc.h"

#include <cstring>

namespace tarn {
namespace gvspsend {

namespace {

// The chunks a buffer carries: their bytes (data, then ID and length, each
// chunk in turn) as the stream sends them after the payload.
struct Chunks {
    const uint8_t *data = nullptr;
    uint32_t size = 0;
};

Chunks chunksOf(ZuBuffer &aBuffer)
{
    Chunks c;
    if (!aBuffer.HasChunks()) return c;
    c.data = aBuffer.GetChunkRawDataByIndex(0);
    c.size = c.data ? aBuffer.GetChunkDataSize() : 0;
    return c;
}

// The payload followed by its chunks, in one run of memory: where the
// chunks follow the payload already, as it is; else joined in aParts.
void appendChunks(gvsp::BlockSource &aSource, PartStore &aParts, const Chunks &aChunks, uint32_t aLayout)
{
    if (!aChunks.size) return;
    aSource.leader.payloadType |= gvsp::PAYLOAD_CHUNK_FLAG;
    aSource.trailer.chunkPayloadLength = aChunks.size;
    aSource.trailer.chunkLayoutId = aLayout;
    if (aSource.data + aSource.size != aChunks.data) {
        aParts.joined.resize(size_t(aSource.size) + aChunks.size);
        std::memcpy(aParts.joined.data(), aSource.data, size_t(aSource.size));
        std::memcpy(aParts.joined.data() + aSource.size, aChunks.data, aChunks.size);
        aSource.data = aParts.joined.data();
    }
    aSource.size += aChunks.size;
}

// The leader counts a line's padding in bytes, the image in pixels: an image
// whose padding ends inside a byte cannot be told, and is not sent.
bool describeImage(const IZuImage &aImage, gvsp::ImageInfo &aInfo)
{
    const uint64_t paddingBits = uint64_t(aImage.GetPaddingX()) * ZuPixelTypeGetBitsPerPixel(aImage.GetPixelType());
    if (paddingBits % 8 || paddingBits / 8 > UINT16_MAX) return false;
    aInfo.pixelFormat = uint32_t(aImage.GetPixelType());
    aInfo.sizeX = aImage.GetWidth();
    aInfo.sizeY = aImage.GetHeight();
    aInfo.offsetX = aImage.GetOffsetX();
    aInfo.offsetY = aImage.GetOffsetY();
    aInfo.paddingX = uint16_t(paddingBits / 8);
    aInfo.paddingY = aImage.GetPaddingY();
    return true;
}

bool describeParts(IZuMultiPartContainer &aContainer, gvsp::BlockSource &aSource, PartStore &aParts)
{
    const uint32_t count = aContainer.GetPartCount();
    if (!count) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const IZuMultiPartSection *section = static_cast<const IZuMultiPartContainer &>(aContainer).GetPart(i);
        if (!section || !section->GetDataPointer()) return false;
        gvsp::PartInfo part;
        part.dataType = uint16_t(section->GetDataType());
        part.length = section->GetEffectiveSize();
        part.sourceId = uint8_t(section->GetSourceID());
        part.dataPurposeId = uint16_t(section->GetDataPurposeID());
        part.regionId = uint16_t(section->GetRegionID());
        part.additionalZones = uint8_t(section->GetAdditionalZones());
        part.zoneDirections = section->GetZoneDirectionMask();
        if (const IZuImage *image = section->GetImage()) {
            gvsp::ImageInfo info;
            if (!describeImage(*image, info)) return false;
            part.dataFormat = info.pixelFormat;
            part.specific[0] = info.sizeX;
            part.specific[1] = info.sizeY;
            part.specific[2] = info.offsetX;
            part.specific[3] = info.offsetY;
            part.specific[4] = uint32_t(info.paddingX) << 16;
        }
        aParts.infos.push_back(part);
        aParts.datas.push_back(section->GetDataPointer());
    }
    aSource.leader.payloadType = gvsp::PAYLOAD_MULTIPART;
    aSource.leader.partCount = count;
    aSource.parts = aParts.infos.data();
    aSource.partData = aParts.datas.data();
    return true;
}

} // namespace

bool describeBlock(ZuBuffer &aBuffer, gvsp::BlockSource &aSource, PartStore &aParts)
{
    aSource = gvsp::BlockSource();
    aParts.infos.clear();
    aParts.datas.clear();
    aSource.leader.timestamp = aBuffer.GetTimestamp();
    switch (aBuffer.GetPayloadType()) {
    case ZuPayloadTypeImage:
    case ZuPayloadTypeExtendedChunkData: {
        ZuImage *image = aBuffer.GetImage();
        if (!image) return false;
        if (!describeImage(*image, aSource.leader.image)) return false;
        aSource.leader.payloadType = gvsp::PAYLOAD_IMAGE;
        aSource.trailer.sizeY = aSource.leader.image.sizeY;
        aSource.data = image->GetDataPointer();
        aSource.size = image->GetImageSize();
        if (!aSource.data || !aSource.size) return false;
        appendChunks(aSource, aParts, chunksOf(aBuffer), aBuffer.GetChunkLayoutID());
        return true;
    }
    case ZuPayloadTypeRawData:
        aSource.leader.payloadType = gvsp::PAYLOAD_RAW;
        aSource.data = aBuffer.GetDataPointer();
        aSource.size = aBuffer.GetSize();
        if (!aSource.data || !aSource.size) return false;
        appendChunks(aSource, aParts, chunksOf(aBuffer), aBuffer.GetChunkLayoutID());
        aSource.leader.payloadSize = aSource.size;
        return true;
    case ZuPayloadTypeChunkData: {
        const Chunks chunks = chunksOf(aBuffer);
        aSource.leader.payloadType = gvsp::PAYLOAD_CHUNK;
        aSource.data = chunks.data;
        aSource.size = chunks.size;
        aSource.trailer.chunkPayloadLength = chunks.size;
        aSource.trailer.chunkLayoutId = aBuffer.GetChunkLayoutID();
        return aSource.data && aSource.size;
    }
    case ZuPayloadTypeMultiPart: {
        IZuMultiPartContainer *container = aBuffer.GetMultiPartContainer();
        return container && describeParts(*container, aSource, aParts);
    }
    case ZuPayloadTypeGenDC: {
        // The whole container (descriptor, then data) as laid out in the
        // buffer; a container that does not hold together is not sent.
        const IZuGenericDataContainer *container = aBuffer.GetGenDC();
        const GenDCContainerHeader *header = container ? container->GetHeader() : nullptr;
        if (!header || !container->IsValid() || header->DataOffset < 0) return false;
        const uint64_t total = uint64_t(header->DataOffset) + header->DataSize;
        if (total > aBuffer.GetSize() || header->DescriptorSize > total) return false;
        aSource.leader.payloadType = gvsp::PAYLOAD_GENDC;
        aSource.leader.payloadSize = total;
        aSource.leader.genDCDescriptorSize = header->DescriptorSize;
        aSource.data = static_cast<const uint8_t *>(aBuffer.GetDataPointer());
        aSource.size = total;
        return aSource.data && aSource.size;
    }
    case ZuPayloadTypeMorvekCompressed: {
        // An encoded image as the compression filter left it: the leader
        // tells the image it holds, the receiver's filter decodes it.
        aSource.data = static_cast<const uint8_t *>(aBuffer.GetDataPointer());
        rzc::Outline outline;
        if (!rzc::Peek(aSource.data, aBuffer.GetSize(), outline)) return false;
        aSource.leader.payloadType = gvsp::PAYLOAD_COMPRESSED;
        aSource.leader.image.pixelFormat = uint32_t(outline.type);
        aSource.leader.image.sizeX = outline.width;
        aSource.leader.image.sizeY = outline.height;
        aSource.leader.payloadSize = outline.encodedSize;
        aSource.trailer.sizeY = outline.height;
        aSource.size = outline.encodedSize;
        return true;
    }
    default:
        // No zero-sized frames, and nothing of a kind not described here.
        return false;
    }
}

} // namespace gvspsend
} // namespace tarn
