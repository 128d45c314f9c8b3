// GenDC containers from the wire: any bytes attached to a buffer as a GenDC
// payload are read through every accessor, and every pointer handed out lies
// within the memory for as many bytes as it claims. The walk stops at 16
// components and parts, so that a container of thousands (which the whole
// container's check must take in linear time) is still tried quickly.
#include "ZuBuffer.h"
#include "ZuGenDC.h"
#include "tarn/GenDCCheck.h"
#include "tarn/BufferBinding.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const uint8_t *gData;
uint64_t gSize;

void Inside(const void *aPointer, uint64_t aBytes)
{
    if (!aPointer)
        return;
    const uint8_t *p = static_cast<const uint8_t *>(aPointer);
    if (p < gData || p > gData + gSize || uint64_t(gData + gSize - p) < aBytes)
        abort();
}

void Walk(IZuGenericDataContainer *aContainer)
{
    aContainer->IsValid();
    aContainer->GetDataSize();
    aContainer->GetDescriptorSize();
    Inside(aContainer->GetHeader(), sizeof(GenDCContainerHeader));
    uint32_t components = aContainer->GetComponentCount();
    for (uint32_t c = 0; c <= components && c < 16; ++c) {
        IZuGenericDataComponent *component = aContainer->GetComponent(c);
        if (!component)
            continue;
        Inside(component->GetHeader(), sizeof(GenDCComponentHeader));
        component->GetTypeIDEnum();
        uint32_t parts = component->GetPartCount();
        for (uint32_t p = 0; p <= parts && p < 16; ++p) {
            component->GetPartHeaderOffset(p);
            IZuGenericDataPart *part = component->GetPart(p);
            if (!part)
                continue;
            for (uint64_t bytes : {40, 56, 64, 72})
                Inside(ZuGenDCPartHeaderView(part, bytes), bytes);
            Inside(part->GetDataPointer(), part->GetDataSize());
            ZuGenDCPartMetadataFields metadata;
            ZuGenDCPart1DFields one;
            ZuGenDCPart2DFields two;
            ZuGenDCPartH264Fields h264;
            part->GetMetadataSpecificFields(metadata);
            part->Get1DSpecificFields(one);
            part->Get2DSpecificFields(two);
            part->GetH264SpecificFields(h264);
            if (IZuGenDCImage *image = part->GetGenDCImage()) {
                Inside(image->GetDataPointer(), image->GetImageSize());
                image->GetWidth();
                image->GetHeight();
                image->GetBitsPerPixel();
            }
            if (IZuGenDCChunkData *chunks = part->GetGenDCChunkData()) {
                uint32_t count = chunks->GetChunkCount();
                for (uint32_t i = 0; i <= count && i < 4096; ++i) {
                    uint32_t id = 0;
                    chunks->GetChunkIDByIndex(i, id);
                    Inside(chunks->GetChunkRawDataByIndex(i), chunks->GetChunkSizeByIndex(i));
                    Inside(chunks->GetChunkRawDataByID(id), chunks->GetChunkSizeByID(id));
                }
                chunks->GetChunkLayoutID();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    // An exact-size copy, so that AddressSanitizer sees any read past it.
    std::vector<uint8_t> memory(aData, aData + aSize);
    gData = memory.data();
    gSize = memory.size();
    ZuGenDCValidate(gData, gSize);
    ZuBuffer buffer(ZuPayloadTypeGenDC);
    if (!buffer.Attach(memory.data(), memory.size()).IsOK())
        return 0;
    if (IZuGenericDataContainer *container = buffer.GetGenDC())
        Walk(container);
    return 0;
}
