#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuRawData.h"
#include "ZuMultiPartContainer.h"
#include "ZuGenDCContainer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

void PutBigEndian(uint8_t *aOut, uint32_t aValue)
{
    aOut[0] = uint8_t(aValue >> 24);
    aOut[1] = uint8_t(aValue >> 16);
    aOut[2] = uint8_t(aValue >> 8);
    aOut[3] = uint8_t(aValue);
}

uint32_t GetBigEndian(const uint8_t *aIn)
{
    return (uint32_t(aIn[0]) << 24) | (uint32_t(aIn[1]) << 16) | (uint32_t(aIn[2]) << 8) | uint32_t(aIn[3]);
}

const uint32_t kTrailerSize = 8;

bool Holds(const ZuBuffer::Block &aBlock, uint32_t aSize, const void *aPointer)
{
    if (!aBlock || !aPointer)
        return false;
    const uint8_t *p = static_cast<const uint8_t *>(aPointer);
    return p >= aBlock.get() && p <= aBlock.get() + aSize;
}

ZuBuffer::Block NewBlock(uint64_t aSize)
{
    uint8_t *memory = new (std::nothrow) uint8_t[aSize]();
    if (!memory)
        return ZuBuffer::Block();
    return ZuBuffer::Block(memory, std::default_delete<uint8_t[]>());
}

}

ZuBuffer::ZuBuffer(ZuPayloadType aPayloadType) : mPayloadType(aPayloadType)
{
    CreateViews();
}

ZuBuffer::~ZuBuffer()
{
    ReleaseData();
    ReleaseChunkSpace();
}

void ZuBuffer::CreateViews()
{
    // Views live as long as the buffer, whatever Reset does, so that a view
    // handed out earlier never points at a destroyed object.
    mImage.reset(new ZuImage(this));
    mRawData.reset(new ZuRawData(this));
    mChunkData.reset(new ZuChunkData(this));
    mMultiPart = ZuNewMultiPartContainer(this);
    mGenDC = zu_gendc::NewContainer(zu_gendc::BufferMemory(this));
}

ZuPayloadType ZuBuffer::GetPayloadType() const { return mPayloadType; }

ZuImage *ZuBuffer::GetImage()
{
    return (mPayloadType == ZuPayloadTypeImage || mPayloadType == ZuPayloadTypeExtendedChunkData) ? mImage.get() : nullptr;
}
const ZuImage *ZuBuffer::GetImage() const { return const_cast<ZuBuffer *>(this)->GetImage(); }

ZuRawData *ZuBuffer::GetRawData()
{
    return (mPayloadType == ZuPayloadTypeRawData || mPayloadType == ZuPayloadTypeFile) ? mRawData.get() : nullptr;
}
const ZuRawData *ZuBuffer::GetRawData() const { return const_cast<ZuBuffer *>(this)->GetRawData(); }

ZuMorvekCompressed *ZuBuffer::GetMorvekCompressed() { return nullptr; }
const ZuMorvekCompressed *ZuBuffer::GetMorvekCompressed() const { return nullptr; }

ZuChunkData *ZuBuffer::GetChunkData()
{
    return mPayloadType == ZuPayloadTypeChunkData ? mChunkData.get() : nullptr;
}
const ZuChunkData *ZuBuffer::GetChunkData() const { return const_cast<ZuBuffer *>(this)->GetChunkData(); }

IZuMultiPartContainer *ZuBuffer::GetMultiPartContainer()
{
    return mPayloadType == ZuPayloadTypeMultiPart ? mMultiPart.get() : nullptr;
}
const IZuMultiPartContainer *ZuBuffer::GetMultiPartContainer() const { return const_cast<ZuBuffer *>(this)->GetMultiPartContainer(); }
IZuH264AccessUnit *ZuBuffer::GetH264AccessUnit() { return nullptr; }
const IZuH264AccessUnit *ZuBuffer::GetH264AccessUnit() const { return nullptr; }
IZuGenericDataContainer *ZuBuffer::GetGenDC()
{
    if (mPayloadType != ZuPayloadTypeGenDC)
        return nullptr;
    return mGenDCManager ? mGenDCManager->GetGenDC() : mGenDC.get();
}
const IZuGenericDataContainer *ZuBuffer::GetGenDC() const { return const_cast<ZuBuffer *>(this)->GetGenDC(); }

const uint8_t *ZuBuffer::GetDataPointer() const { return mData.get(); }
uint8_t *ZuBuffer::GetDataPointer() { return mData.get(); }

uint64_t ZuBuffer::GetID() const { return mID; }
void ZuBuffer::SetID(uint64_t aValue) { mID = aValue; }
bool ZuBuffer::IsExtendedID() const { return mExtendedID; }
bool ZuBuffer::IsAttached() const { return mData && mAttached; }
bool ZuBuffer::IsAllocated() const { return mData && !mAttached; }
uint32_t ZuBuffer::GetAcquiredSize() const { return mAcquiredSize; }

uint32_t ZuBuffer::GetRequiredSize() const
{
    switch (mPayloadType) {
    case ZuPayloadTypeImage:
    case ZuPayloadTypeExtendedChunkData:
        return mImage->GetRequiredSize();
    case ZuPayloadTypeRawData:
    case ZuPayloadTypeFile:
        return mRawLength + (mChunkInData ? mChunkCapacity : 0);
    case ZuPayloadTypeChunkData:
        return mChunkCapacity;
    default:
        return mSize;
    }
}

uint32_t ZuBuffer::GetSize() const { return mData ? mSize : 0; }

uint32_t ZuBuffer::GetPayloadSize() const
{
    uint32_t chunks = mChunkInData ? mChunkUsed : 0;
    switch (mPayloadType) {
    case ZuPayloadTypeImage:
    case ZuPayloadTypeExtendedChunkData:
        return mImage->GetImageSize() + chunks;
    case ZuPayloadTypeRawData:
    case ZuPayloadTypeFile:
        return mRawLength + chunks;
    case ZuPayloadTypeChunkData:
        return mChunkUsed;
    default:
        return mAcquiredSize;
    }
}

ZuResult ZuBuffer::Reset(ZuPayloadType aPayloadType)
{
    ReleaseData();
    ReleaseChunkSpace();
    mImage->ClearDescription();
    mGenDCManager = nullptr;
    mMultiPart->Reset();
    mPayloadType = aPayloadType;
    mChunkLayoutID = 0;
    mID = mBlockID = mTimestamp = mReceptionTime = mDuration = 0;
    mAcquiredSize = 0;
    std::fill(mCounters, mCounters + 8, 0u);
    mExtendedID = mHeaderValid = mTrailerValid = mLargeLeaderTrailer = false;
    mOperationResult = ZuResult();
    mMissing.clear();
    return ZuResult();
}

ZuResult ZuBuffer::Alloc(uint32_t aSize)
{
    ZuResult result = AllocData(aSize, 0, 0);
    if (result.IsOK())
        mImage->ClearDescription();
    return result;
}

ZuResult ZuBuffer::AllocChunk(uint32_t aSize)
{
    if (aSize == 0)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("chunk space of 0 bytes"));
    Block block = NewBlock(aSize);
    if (!block)
        return ZuResult(ZU_NOT_ENOUGH_MEMORY);
    ReleaseChunkSpace();
    mChunkBlock = block;
    mChunkInData = false;
    mChunkOffset = 0;
    mChunkCapacity = aSize;
    return ZuResult();
}

void ZuBuffer::Free()
{
    ReleaseData();
    mImage->ClearDescription();
}

void ZuBuffer::FreeChunk()
{
    if (!mChunkInData)
        ReleaseChunkSpace();
}

ZuResult ZuBuffer::Attach(void *aBuffer, uint32_t aSize)
{
    ZuResult result = AttachData(aBuffer, aSize, 0, 0, 0);
    if (result.IsOK())
        mImage->ClearDescription();
    return result;
}

uint8_t *ZuBuffer::Detach()
{
    uint8_t *memory = DetachData();
    if (memory)
        mImage->ClearDescription();
    return memory;
}

uint64_t ZuBuffer::GetBlockID() const { return mBlockID; }
ZuResult ZuBuffer::GetOperationResult() const { return mOperationResult; }
uint64_t ZuBuffer::GetTimestamp() const { return mTimestamp; }
uint64_t ZuBuffer::GetReceptionTime() const { return mReceptionTime; }
uint64_t ZuBuffer::GetDuration() const { return mDuration; }
ZuResult ZuBuffer::SetTimestamp(uint64_t aValue) { mTimestamp = aValue; return ZuResult(); }
ZuResult ZuBuffer::SetDuration(uint64_t aValue) { mDuration = aValue; return ZuResult(); }
ZuResult ZuBuffer::SetBlockID(uint64_t aBlockID) { mBlockID = aBlockID; return ZuResult(); }
ZuResult ZuBuffer::SetReceptionTime(uint64_t aReceptionTime) { mReceptionTime = aReceptionTime; return ZuResult(); }

uint32_t ZuBuffer::GetPacketsRecoveredCount() const { return mCounters[0]; }
uint32_t ZuBuffer::GetPacketsRecoveredSingleResendCount() const { return mCounters[1]; }
uint32_t ZuBuffer::GetResendGroupRequestedCount() const { return mCounters[2]; }
uint32_t ZuBuffer::GetResendPacketRequestedCount() const { return mCounters[3]; }
uint32_t ZuBuffer::GetLostPacketCount() const { return mCounters[4]; }
uint32_t ZuBuffer::GetIgnoredPacketCount() const { return mCounters[5]; }
uint32_t ZuBuffer::GetRedundantPacketCount() const { return mCounters[6]; }
uint32_t ZuBuffer::GetPacketOutOfOrderCount() const { return mCounters[7]; }

ZuResult ZuBuffer::GetMissingPacketIdsCount(uint32_t &aCount)
{
    aCount = uint32_t(mMissing.size());
    return ZuResult();
}

ZuResult ZuBuffer::GetMissingPacketIds(uint32_t aIndex, uint32_t &aPacketIdLow, uint32_t &aPacketIdHigh)
{
    if (aIndex >= mMissing.size())
        return ZuResult(ZU_NOT_FOUND, ZuString("no range of missing packets at that index"));
    aPacketIdLow = mMissing[aIndex].first;
    aPacketIdHigh = mMissing[aIndex].second;
    return ZuResult();
}

void ZuBuffer::AddMissingPacketRange(uint32_t aLow, uint32_t aHigh) { mMissing.emplace_back(aLow, aHigh); }

void ZuBuffer::SetLeaderTrailer(bool aHeader, bool aTrailer, bool aLarge)
{
    mHeaderValid = aHeader;
    mTrailerValid = aTrailer;
    mLargeLeaderTrailer = aLarge;
}

bool ZuBuffer::IsHeaderValid() const { return mHeaderValid; }
bool ZuBuffer::IsTrailerValid() const { return mTrailerValid; }
bool ZuBuffer::IsLargeLeaderTrailerEnabled() const { return mLargeLeaderTrailer; }

ZuResult ZuBuffer::AttachGenDCManager(IZuGenDCManager &aManager)
{
    mGenDCManager = &aManager;
    return ZuResult();
}

// ---- Memory ------------------------------------------------------------

void ZuBuffer::ReleaseData()
{
    // The image describes the memory: whatever replaces or frees the memory
    // ends the description, so that no view of a stale one can be made.
    mImage->ClearDescription();
    mData.reset();
    mSize = 0;
    mAttached = false;
    mRawLength = 0;
    if (mChunkInData) {
        mChunkInData = false;
        mChunkOffset = mChunkCapacity = mChunkUsed = 0;
        mChunks.clear();
    }
}

void ZuBuffer::ReleaseChunkSpace()
{
    mChunkBlock.reset();
    if (!mChunkInData) {
        mChunkOffset = mChunkCapacity = mChunkUsed = 0;
        mChunks.clear();
    }
}

ZuResult ZuBuffer::AllocData(uint64_t aSize, uint32_t aChunkOffset, uint32_t aChunkLength)
{
    if (aSize == 0)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("memory of 0 bytes"));
    if (aSize > UINT32_MAX)
        return ZuResult(ZU_ERR_OVERFLOW, ZuString("a buffer holds less than 4 GiB"));
    Block block = NewBlock(aSize);
    if (!block)
        return ZuResult(ZU_NOT_ENOUGH_MEMORY);
    ReleaseData();
    if (aChunkLength)
        ReleaseChunkSpace();
    mData = block;
    mSize = uint32_t(aSize);
    if (aChunkLength) {
        mChunkInData = true;
        mChunkOffset = aChunkOffset;
        mChunkCapacity = aChunkLength;
    }
    return ZuResult();
}

ZuResult ZuBuffer::AttachData(void *aPointer, uint64_t aSize, uint32_t aChunkOffset, uint32_t aChunkLength,
                              uint32_t aChunkUsed)
{
    uint64_t limit = mAttachLimit;
    mAttachLimit = 0;
    if (limit && aSize > limit)
        return ZuResult(ZU_BUFFER_TOO_SMALL, ZuString("the memory is smaller than what it is to hold"));
    if (!aPointer || aSize == 0)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no memory to attach"));
    if (aSize > UINT32_MAX)
        return ZuResult(ZU_ERR_OVERFLOW, ZuString("a buffer holds less than 4 GiB"));
    ReleaseData();
    if (aChunkLength)
        ReleaseChunkSpace();
    mData = Block(static_cast<uint8_t *>(aPointer), [](uint8_t *) {});
    mSize = uint32_t(aSize);
    mAttached = true;
    if (aChunkLength) {
        mChunkInData = true;
        mChunkOffset = aChunkOffset;
        mChunkCapacity = aChunkLength;
        mChunkUsed = std::min(aChunkUsed, aChunkLength);
    }
    return ZuResult();
}

uint8_t *ZuBuffer::DetachData()
{
    if (!IsAttached())
        return nullptr;
    uint8_t *memory = mData.get();
    ReleaseData();
    return memory;
}

void ZuBuffer::FreeData() { ReleaseData(); }

ZuBuffer::Block ZuBuffer::ShareMemory(const void *aPointer) const
{
    if (Holds(mData, mSize, aPointer))
        return mData;
    if (Holds(mChunkBlock, mChunkCapacity, aPointer))
        return mChunkBlock;
    return Block();
}

void ZuBuffer::KeepAttachment(const void *aPointer, std::shared_ptr<void> aOwner)
{
    if (!IsAttached() || mData.get() != aPointer || !aOwner)
        return;
    mData = Block(std::move(aOwner), mData.get());
}

// ---- Chunks --------------------------------------------------------------

uint8_t *ZuBuffer::ChunkBase() const
{
    if (mChunkInData)
        return mData ? mData.get() + mChunkOffset : nullptr;
    return mChunkBlock.get();
}

bool ZuBuffer::ParseChunks()
{
    // The layout is read from the end: each trailer tells how far back its
    // data begins.
    mChunks.clear();
    const uint8_t *base = ChunkBase();
    if (!base)
        return mChunkUsed == 0;
    uint32_t end = mChunkUsed;
    std::vector<Chunk> found;
    while (end >= kTrailerSize) {
        uint32_t id = GetBigEndian(base + end - kTrailerSize);
        uint32_t size = GetBigEndian(base + end - 4);
        if (size > end - kTrailerSize)
            break;
        uint32_t offset = end - kTrailerSize - size;
        found.push_back(Chunk{id, offset, size});
        end = offset;
    }
    mChunks.assign(found.rbegin(), found.rend());
    return end == 0;
}

void ZuBuffer::ResetChunks()
{
    mChunkUsed = 0;
    mChunks.clear();
}

ZuResult ZuBuffer::AddChunk(uint32_t aID, const uint8_t *aData, uint32_t aLength)
{
    uint8_t *base = ChunkBase();
    if (!base)
        return ZuResult(ZU_STATE_ERROR, ZuString("the buffer has no chunk space"));
    if (aLength && !aData)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no chunk data"));
    if (uint64_t(mChunkUsed) + aLength + kTrailerSize > mChunkCapacity)
        return ZuResult(ZU_BUFFER_TOO_SMALL, ZuString("the chunk does not fit the chunk space"));
    if (aLength)
        std::memcpy(base + mChunkUsed, aData, aLength);
    PutBigEndian(base + mChunkUsed + aLength, aID);
    PutBigEndian(base + mChunkUsed + aLength + 4, aLength);
    mChunks.push_back(Chunk{aID, mChunkUsed, aLength});
    mChunkUsed += aLength + kTrailerSize;
    return ZuResult();
}

void ZuBuffer::SetChunkLayoutID(uint32_t aChunkLayoutID) { mChunkLayoutID = aChunkLayoutID; }
bool ZuBuffer::HasChunks() const { return !mChunks.empty(); }
uint32_t ZuBuffer::GetChunkCount() { return uint32_t(mChunks.size()); }

ZuResult ZuBuffer::GetChunkIDByIndex(uint32_t aIndex, uint32_t &aID)
{
    if (aIndex >= mChunks.size())
        return ZuResult(ZU_NOT_FOUND, ZuString("no chunk at that index"));
    aID = mChunks[aIndex].id;
    return ZuResult();
}

uint32_t ZuBuffer::GetChunkSizeByIndex(uint32_t aIndex)
{
    return aIndex < mChunks.size() ? mChunks[aIndex].size : 0;
}

uint32_t ZuBuffer::GetChunkSizeByID(uint32_t aID)
{
    for (const Chunk &chunk : mChunks)
        if (chunk.id == aID)
            return chunk.size;
    return 0;
}

uint8_t *ZuBuffer::GetChunkRawDataByIndex(uint32_t aIndex)
{
    uint8_t *base = ChunkBase();
    return (base && aIndex < mChunks.size()) ? base + mChunks[aIndex].offset : nullptr;
}

uint8_t *ZuBuffer::GetChunkRawDataByID(uint32_t aID)
{
    uint8_t *base = ChunkBase();
    if (!base)
        return nullptr;
    for (const Chunk &chunk : mChunks)
        if (chunk.id == aID)
            return base + chunk.offset;
    return nullptr;
}

uint32_t ZuBuffer::GetChunkLayoutID() { return mChunkLayoutID; }
uint32_t ZuBuffer::GetChunkDataSize() const { return mChunkUsed; }
uint32_t ZuBuffer::GetChunkDataCapacity() const { return mChunkCapacity; }
