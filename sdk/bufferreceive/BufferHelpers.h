#ifndef TARN_BUFFER_HELPERS_H
#define TARN_BUFFER_HELPERS_H

// What the converter and the filters do alike with the buffers they write.

#include "ZuBuffer.h"

namespace tarn {

// Whether a buffer's memory shares a byte with [aData, aData + aSize): a
// buffer written (or re-allocated) over its own input would destroy it.
inline bool Overlap(const ZuBuffer &aBuffer, const uint8_t *aData, uint64_t aSize)
{
    const uint8_t *memory = aBuffer.GetDataPointer();
    return memory && aData && aData < memory + aBuffer.GetSize() && memory < aData + aSize;
}

// The filters' common refusal: buffers missing, or one buffer for both.
inline ZuResult CheckInOut(const ZuBuffer *aIn, const ZuBuffer *aOut)
{
    if (!aIn || !aOut)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no input or no output buffer"));
    if (aIn == aOut)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the input and the output are the same buffer"));
    return ZuResult();
}

// The frame's identity and times go with its pixels into the result.
inline void CopyStamps(const ZuBuffer &aIn, ZuBuffer &aOut)
{
    aOut.SetBlockID(aIn.GetBlockID());
    aOut.SetTimestamp(aIn.GetTimestamp());
    aOut.SetReceptionTime(aIn.GetReceptionTime());
    aOut.SetDuration(aIn.GetDuration());
}

}

#endif
