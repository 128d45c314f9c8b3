#include "BufferImpl.h"

// ---- Raw data --------------------------------------------------------------

ZuRawData::~ZuRawData() {}

uint64_t ZuRawData::GetPayloadLength() const { return tarn::BufferAccess::Of(*mBuffer).mRawLength; }

ZuResult ZuRawData::Alloc(uint64_t aPayloadLength, uint32_t aMaximumChunkLength)
{
    if (aPayloadLength > UINT32_MAX)
        return ZuResult(ZU_ERR_OVERFLOW, ZuString("a buffer holds less than 4 GiB"));
    ZuResult result = tarn::BufferAccess::Of(*mBuffer).AllocData(aPayloadLength + aMaximumChunkLength, uint32_t(aPayloadLength),
                                                   aMaximumChunkLength);
    if (result.IsOK())
        tarn::BufferAccess::Of(*mBuffer).mRawLength = uint32_t(aPayloadLength);
    return result;
}

void ZuRawData::Free() { tarn::BufferAccess::Of(*mBuffer).ReleaseData(); }

ZuResult ZuRawData::Attach(void *aRawBuffer, uint64_t aBufferSize, uint32_t aMaximumChunkLength)
{
    if (aMaximumChunkLength > aBufferSize)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the chunk space is larger than the memory"));
    uint64_t payload = aBufferSize - aMaximumChunkLength;
    ZuResult result = tarn::BufferAccess::Of(*mBuffer).AttachData(aRawBuffer, aBufferSize, uint32_t(payload), aMaximumChunkLength, 0);
    if (result.IsOK())
        tarn::BufferAccess::Of(*mBuffer).mRawLength = uint32_t(payload);
    return result;
}

uint8_t *ZuRawData::Detach() { return tarn::BufferAccess::Of(*mBuffer).DetachData(); }

// ---- Chunk data ------------------------------------------------------------

ZuChunkData::~ZuChunkData() {}

void ZuChunkData::ResetChunks() { mBuffer->ResetChunks(); }
ZuResult ZuChunkData::AddChunk(uint32_t aID, const uint8_t *aData, uint32_t aLength) { return mBuffer->AddChunk(aID, aData, aLength); }
void ZuChunkData::SetChunkLayoutID(uint32_t aChunkLayoutID) { mBuffer->SetChunkLayoutID(aChunkLayoutID); }
bool ZuChunkData::HasChunks() const { return mBuffer->HasChunks(); }
uint32_t ZuChunkData::GetChunkCount() { return mBuffer->GetChunkCount(); }
ZuResult ZuChunkData::GetChunkIDByIndex(uint32_t aIndex, uint32_t &aID) { return mBuffer->GetChunkIDByIndex(aIndex, aID); }
uint32_t ZuChunkData::GetChunkSizeByIndex(uint32_t aIndex) { return mBuffer->GetChunkSizeByIndex(aIndex); }
uint32_t ZuChunkData::GetChunkSizeByID(uint32_t aID) { return mBuffer->GetChunkSizeByID(aID); }
uint8_t *ZuChunkData::GetChunkRawDataByIndex(uint32_t aIndex) { return mBuffer->GetChunkRawDataByIndex(aIndex); }
uint8_t *ZuChunkData::GetChunkRawDataByID(uint32_t aID) { return mBuffer->GetChunkRawDataByID(aID); }
uint32_t ZuChunkData::GetChunkLayoutID() { return mBuffer->GetChunkLayoutID(); }
uint32_t ZuChunkData::GetChunkDataSize() const { return mBuffer->GetChunkDataSize(); }
uint32_t ZuChunkData::GetChunkDataCapacity() const { return mBuffer->GetChunkDataCapacity(); }

uint64_t ZuChunkData::GetChunkDataPayloadLength() const { return tarn::BufferAccess::Of(*mBuffer).mChunkUsed; }

ZuResult ZuChunkData::Alloc(uint32_t aMaximumChunkLength)
{
    return tarn::BufferAccess::Of(*mBuffer).AllocData(aMaximumChunkLength, 0, aMaximumChunkLength);
}

void ZuChunkData::Free() { tarn::BufferAccess::Of(*mBuffer).ReleaseData(); }

ZuResult ZuChunkData::Attach(void *aRawBuffer, uint32_t aBufferSize)
{
    ZuResult result = tarn::BufferAccess::Of(*mBuffer).AttachData(aRawBuffer, aBufferSize, 0, aBufferSize, aBufferSize);
    if (result.IsOK() && !tarn::BufferAccess::Of(*mBuffer).ParseChunks())
        return ZuResult(ZU_INVALID_DATA_FORMAT, ZuString("the chunk trailers do not form a chunk list"));
    return result;
}

uint8_t *ZuChunkData::Detach() { return tarn::BufferAccess::Of(*mBuffer).DetachData(); }
