#include "BufferImpl.h"
#include "ZuGenDCContainer.h"
#include "ZuGenDCManager.h"
#include "ZuPixelTypeInfo.h"
#include "tarn/BufferBinding.h"
#include "tarn/Holds.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

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

typedef std::shared_ptr<uint8_t> Block;

bool Holds(const Block &aBlock, uint32_t aSize, const void *aPointer)
{
    if (!aBlock || !aPointer)
        return false;
    const uint8_t *p = static_cast<const uint8_t *>(aPointer);
    return p >= aBlock.get() && p <= aBlock.get() + aSize;
}

// Zero-filled, as a buffer has always been; calloc takes fresh pages from
// the system as they are (already zero), so that memory which is about to
// be overwritten is not written twice, and only what is used is resident.
Block NewBlock(uint64_t aSize)
{
    uint8_t *memory = static_cast<uint8_t *>(std::calloc(size_t(aSize), 1));
    if (!memory)
        return Block();
    return Block(memory, [](uint8_t *aMemory) { std::free(aMemory); });
}

}

namespace tarn {
namespace {

// The holds by the buffer's address alone: a holder that outlives the
// buffer (a stream or transmitter destroyed after the buffers it still
// held) lets go of it without reaching it.
std::mutex &HeldLock()
{
    static std::mutex *lock = new std::mutex;
    return *lock;
}

std::unordered_map<const ZuBuffer *, uint32_t> &HeldBuffers()
{
    static auto *held = new std::unordered_map<const ZuBuffer *, uint32_t>;
    return *held;
}

// A buffer goes: a holder that lets go of it later finds nothing.
void ForgetHolds(const ZuBuffer *aBuffer)
{
    std::lock_guard<std::mutex> guard(HeldLock());
    HeldBuffers().erase(aBuffer);
}

} // namespace
} // namespace tarn

// ---- State ----------------------------------------------------------------

ZuBuffer::Impl::Impl(ZuBuffer *aOwner, ZuPayloadType aPayloadType) : mPayloadType(aPayloadType), mOwner(aOwner)
{
    // Views live as long as the buffer, whatever Reset does, so that a view
    // handed out earlier never points at a destroyed object.
    mImage.reset(tarn::BufferAccess::NewImage(aOwner));
    mRawData.reset(tarn::BufferAccess::NewRawData(aOwner));
    mChunkData.reset(tarn::BufferAccess::NewChunkData(aOwner));
}

ZuBuffer::Impl::~Impl() = default;

ZuBuffer::ZuBuffer(ZuPayloadType aPayloadType) : mImpl(new Impl(this, aPayloadType))
{
    // The containers reach the buffer's state as they are made.
    mImpl->mMultiPart = ZuNewMultiPartContainer(this);
    mImpl->mGenDC = zu_gendc::NewContainer(zu_gendc::BufferMemory(this));
}

ZuBuffer::~ZuBuffer()
{
    // The buffer and its typed views are lent to the bindings (a pipeline's
    // buffers, the getters' views); the GenDC container tells of itself.
    tarn::Lent::Goes(this);
    tarn::Lent::Goes(mImpl->mImage.get());
    tarn::Lent::Goes(mImpl->mRawData.get());
    tarn::Lent::Goes(mImpl->mChunkData.get());
    tarn::Lent::Goes(mImpl->mMultiPart.get());
    tarn::ForgetHolds(this);
    mImpl->ReleaseDataNow();
    mImpl->ReleaseChunkSpace();
}

ZuPayloadType ZuBuffer::GetPayloadType() const { return mImpl->mPayloadType; }

ZuImage *ZuBuffer::GetImage()
{
    ZuPayloadType type = mImpl->mPayloadType;
    return (type == ZuPayloadTypeImage || type == ZuPayloadTypeExtendedChunkData) ? mImpl->mImage.get() : nullptr;
}
const ZuImage *ZuBuffer::GetImage() const { return const_cast<ZuBuffer *>(this)->GetImage(); }

ZuRawData *ZuBuffer::GetRawData()
{
    ZuPayloadType type = mImpl->mPayloadType;
    return (type == ZuPayloadTypeRawData || type == ZuPayloadTypeFile) ? mImpl->mRawData.get() : nullptr;
}
const ZuRawData *ZuBuffer::GetRawData() const { return const_cast<ZuBuffer *>(this)->GetRawData(); }

ZuMorvekCompressed *ZuBuffer::GetMorvekCompressed() { return nullptr; }
const ZuMorvekCompressed *ZuBuffer::GetMorvekCompressed() const { return nullptr; }

ZuChunkData *ZuBuffer::GetChunkData()
{
    return mImpl->mPayloadType == ZuPayloadTypeChunkData ? mImpl->mChunkData.get() : nullptr;
}
const ZuChunkData *ZuBuffer::GetChunkData() const { return const_cast<ZuBuffer *>(this)->GetChunkData(); }

IZuMultiPartContainer *ZuBuffer::GetMultiPartContainer()
{
    return mImpl->mPayloadType == ZuPayloadTypeMultiPart ? mImpl->mMultiPart.get() : nullptr;
}
const IZuMultiPartContainer *ZuBuffer::GetMultiPartContainer() const { return const_cast<ZuBuffer *>(this)->GetMultiPartContainer(); }
IZuH264AccessUnit *ZuBuffer::GetH264AccessUnit() { return nullptr; }
const IZuH264AccessUnit *ZuBuffer::GetH264AccessUnit() const { return nullptr; }
IZuGenericDataContainer *ZuBuffer::GetGenDC()
{
    if (mImpl->mPayloadType != ZuPayloadTypeGenDC)
        return nullptr;
    return mImpl->mGenDC.get();
}
const IZuGenericDataContainer *ZuBuffer::GetGenDC() const { return const_cast<ZuBuffer *>(this)->GetGenDC(); }

const uint8_t *ZuBuffer::GetDataPointer() const { return mImpl->mData.get(); }
uint8_t *ZuBuffer::GetDataPointer() { return mImpl->mData.get(); }

uint64_t ZuBuffer::GetID() const { return mImpl->mID; }
void ZuBuffer::SetID(uint64_t aValue) { mImpl->mID = aValue; }
bool ZuBuffer::IsExtendedID() const { return mImpl->mFill.leader.extendedID; }
bool ZuBuffer::IsAttached() const { return mImpl->IsAttached(); }
bool ZuBuffer::IsAllocated() const { return mImpl->mData && !mImpl->mAttached; }
uint32_t ZuBuffer::GetAcquiredSize() const { return mImpl->mFill.acquiredSize; }

uint32_t ZuBuffer::GetRequiredSize() const
{
    const Impl &d = *mImpl;
    uint32_t required = d.mSize;
    switch (d.mPayloadType) {
    case ZuPayloadTypeImage:
    case ZuPayloadTypeExtendedChunkData:
        required = d.mImage->GetRequiredSize();
        break;
    case ZuPayloadTypeRawData:
    case ZuPayloadTypeFile:
        required = d.mRawLength + (d.mChunkInData ? d.mChunkCapacity : 0);
        break;
    case ZuPayloadTypeChunkData:
        required = d.mChunkCapacity;
        break;
    default:
        break;
    }
    // A block that did not fit tells how much it needed.
    return std::max(required, d.mFill.requiredSize);
}

uint32_t ZuBuffer::GetSize() const { return mImpl->mData ? mImpl->mSize : 0; }

uint32_t ZuBuffer::GetPayloadSize() const
{
    const Impl &d = *mImpl;
    uint32_t chunks = d.mChunkInData ? d.mChunkUsed : 0;
    switch (d.mPayloadType) {
    case ZuPayloadTypeImage:
    case ZuPayloadTypeExtendedChunkData:
        return d.mImage->GetImageSize() + chunks;
    case ZuPayloadTypeRawData:
    case ZuPayloadTypeFile:
        return d.mRawLength + chunks;
    case ZuPayloadTypeChunkData:
        return d.mChunkUsed;
    default:
        return d.mFill.acquiredSize;
    }
}

ZuResult ZuBuffer::Reset(ZuPayloadType aPayloadType)
{
    Impl &d = *mImpl;
    Impl::Change change(d);
    if (!change)
        return Impl::Held();
    d.ReleaseDataNow();
    d.ReleaseChunkSpace();
    tarn::BufferAccess::Of(*d.mImage).Clear();
    d.mGenDCManager = nullptr;
    d.mMultiPart->Reset();
    d.mPayloadType = aPayloadType;
    d.mChunkLayoutID = 0;
    d.mID = 0;
    d.mFill.Clear();
    return ZuResult();
}

ZuResult ZuBuffer::Alloc(uint32_t aSize)
{
    ZuResult result = mImpl->AllocData(aSize, 0, 0);
    if (result.IsOK())
        tarn::BufferAccess::Of(*mImpl->mImage).Clear();
    return result;
}

ZuResult ZuBuffer::AllocChunk(uint32_t aSize)
{
    Impl &d = *mImpl;
    if (aSize == 0)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("chunk space of 0 bytes"));
    Impl::Change change(d);
    if (!change)
        return Impl::Held();
    Block block = NewBlock(aSize);
    if (!block)
        return ZuResult(ZU_NOT_ENOUGH_MEMORY);
    d.ReleaseChunkSpace();
    d.mChunkBlock = block;
    d.mChunkInData = false;
    d.mChunkOffset = 0;
    d.mChunkCapacity = aSize;
    return ZuResult();
}

void ZuBuffer::Free()
{
    if (mImpl->ReleaseData())
        tarn::BufferAccess::Of(*mImpl->mImage).Clear();
}

void ZuBuffer::FreeChunk()
{
    Impl::Change change(*mImpl);
    if (change && !mImpl->mChunkInData)
        mImpl->ReleaseChunkSpace();
}

ZuResult ZuBuffer::Attach(void *aBuffer, uint32_t aSize)
{
    ZuResult result = mImpl->AttachData(aBuffer, aSize, 0, 0, 0);
    if (result.IsOK())
        tarn::BufferAccess::Of(*mImpl->mImage).Clear();
    return result;
}

uint8_t *ZuBuffer::Detach()
{
    uint8_t *memory = mImpl->DetachData();
    if (memory)
        tarn::BufferAccess::Of(*mImpl->mImage).Clear();
    return memory;
}

uint64_t ZuBuffer::GetBlockID() const { return mImpl->mFill.leader.blockID; }
ZuResult ZuBuffer::GetOperationResult() const { return mImpl->mFill.operationResult; }
uint64_t ZuBuffer::GetTimestamp() const { return mImpl->mFill.leader.timestamp; }
uint64_t ZuBuffer::GetReceptionTime() const { return mImpl->mFill.receptionTime; }
uint64_t ZuBuffer::GetDuration() const { return mImpl->mFill.duration; }
ZuResult ZuBuffer::SetTimestamp(uint64_t aValue) { mImpl->mFill.leader.timestamp = aValue; return ZuResult(); }
ZuResult ZuBuffer::SetDuration(uint64_t aValue) { mImpl->mFill.duration = aValue; return ZuResult(); }
ZuResult ZuBuffer::SetBlockID(uint64_t aBlockID) { mImpl->mFill.leader.blockID = aBlockID; return ZuResult(); }
ZuResult ZuBuffer::SetReceptionTime(uint64_t aReceptionTime) { mImpl->mFill.receptionTime = aReceptionTime; return ZuResult(); }

uint32_t ZuBuffer::GetPacketsRecoveredCount() const { return mImpl->mFill.statistics.recovered; }
uint32_t ZuBuffer::GetPacketsRecoveredSingleResendCount() const { return mImpl->mFill.statistics.recoveredSingleResend; }
uint32_t ZuBuffer::GetResendGroupRequestedCount() const { return mImpl->mFill.statistics.resendGroupsRequested; }
uint32_t ZuBuffer::GetResendPacketRequestedCount() const { return mImpl->mFill.statistics.resendPacketsRequested; }
uint32_t ZuBuffer::GetLostPacketCount() const { return mImpl->mFill.statistics.lost; }
uint32_t ZuBuffer::GetIgnoredPacketCount() const { return mImpl->mFill.statistics.ignored; }
uint32_t ZuBuffer::GetRedundantPacketCount() const { return mImpl->mFill.statistics.redundant; }
uint32_t ZuBuffer::GetPacketOutOfOrderCount() const { return mImpl->mFill.statistics.outOfOrder; }

ZuResult ZuBuffer::GetMissingPacketIdsCount(uint32_t &aCount)
{
    aCount = uint32_t(mImpl->mFill.missing.size());
    return ZuResult();
}

ZuResult ZuBuffer::GetMissingPacketIds(uint32_t aIndex, uint32_t &aPacketIdLow, uint32_t &aPacketIdHigh)
{
    const auto &missing = mImpl->mFill.missing;
    if (aIndex >= missing.size())
        return ZuResult(ZU_NOT_FOUND, ZuString("no range of missing packets at that index"));
    aPacketIdLow = missing[aIndex].low;
    aPacketIdHigh = missing[aIndex].high;
    return ZuResult();
}

bool ZuBuffer::IsHeaderValid() const { return mImpl->mFill.leader.valid; }
bool ZuBuffer::IsTrailerValid() const { return mImpl->mFill.trailer.valid; }
bool ZuBuffer::IsLargeLeaderTrailerEnabled() const { return mImpl->mFill.leader.largeLeaderTrailer; }

ZuResult ZuBuffer::AttachGenDCManager(IZuGenDCManager &aManager)
{
    Impl &d = *mImpl;
    if (d.mPayloadType != ZuPayloadTypeGenDC) return ZuResult(ZU_INVALID_PARAMETER);
    // Each buffer carries a container of its own laid out as the manager's:
    // buffers in flight on a stream hold different frames.
    const uint64_t total = aManager.GetTotalPayloadSize();
    const ZuGenDCManager *manager = dynamic_cast<const ZuGenDCManager *>(&aManager);
    const uint8_t *layout = manager ? manager->GetPayload() : nullptr;
    if (!total || !layout) return ZuResult(ZU_INVALID_PARAMETER);
    ZuResult result = d.AllocData(total, 0, 0);
    if (!result.IsOK()) return result;
    std::memcpy(d.mData.get(), layout, size_t(total));
    d.mGenDCManager = &aManager;
    return ZuResult();
}

// ---- Seams for the other SDK libraries and the bindings ------------------------

namespace tarn {

void HoldMemory(ZuBuffer &aBuffer)
{
    std::lock_guard<std::mutex> turn(BufferAccess::Of(aBuffer).mMemoryTurn);
    std::lock_guard<std::mutex> guard(HeldLock());
    ++HeldBuffers()[&aBuffer];
}

void ReleaseMemory(const ZuBuffer *aBuffer)
{
    std::lock_guard<std::mutex> guard(HeldLock());
    auto held = HeldBuffers().find(aBuffer);
    if (held != HeldBuffers().end() && --held->second == 0) HeldBuffers().erase(held);
}

BufferFill &FillOf(ZuBuffer &aBuffer) { return BufferAccess::Of(aBuffer).mFill; }
const BufferFill &FillOf(const ZuBuffer &aBuffer) { return BufferAccess::Of(aBuffer).mFill; }

BufferBinding::Block BufferBinding::ShareMemory(const ZuBuffer &aBuffer, const void *aPointer)
{
    return BufferAccess::Of(aBuffer).ShareMemory(aPointer);
}

void BufferBinding::KeepAttachment(ZuBuffer &aBuffer, const void *aPointer, std::shared_ptr<void> aOwner)
{
    BufferAccess::Of(aBuffer).KeepAttachment(aPointer, std::move(aOwner));
}

void DescribeReceived(ZuBuffer &aBuffer, const ReceivedLayout &aLayout)
{
    auto &d = BufferAccess::Of(aBuffer);
    d.mPayloadType = aLayout.payloadType;
    auto &image = BufferAccess::Of(*d.mImage);
    image.Clear();
    d.mRawLength = 0;
    d.mChunks.clear();
    if (d.mChunkInData) {
        d.mChunkOffset = d.mChunkCapacity = d.mChunkUsed = 0;
        d.mChunkInData = false;
    }
    uint32_t payload = 0;
    switch (aLayout.payloadType) {
    case ZuPayloadTypeImage:
    case ZuPayloadTypeExtendedChunkData: {
        // Lines whose padding ends inside a pixel cannot be described: no
        // view rather than one whose lines are not where the data has them.
        uint16_t padding = 0;
        if (!tarn::PaddingInPixels(aLayout.paddingXBytes, aLayout.pixelType, padding)) break;
        if (image.DescribeInPlace(aLayout.width, aLayout.height, aLayout.pixelType, padding,
                                  aLayout.paddingY, aLayout.offsetX, aLayout.offsetY))
            payload = image.mImageSize;
        break;
    }
    case ZuPayloadTypeRawData:
    case ZuPayloadTypeFile:
        d.mRawLength = std::min(aLayout.dataLength, d.mSize);
        payload = d.mRawLength;
        break;
    default:
        break;
    }
    if (aLayout.payloadType == ZuPayloadTypeMultiPart)
        ZuMultiPartReceived(*d.mMultiPart, d.mData, d.mData ? d.mSize : 0, aLayout.parts, aLayout.partCount);
    else
        d.mMultiPart->Reset();
    // Chunks follow the payload in the same memory.
    if (d.mData && aLayout.chunkLength && payload <= d.mSize && aLayout.chunkLength <= d.mSize - payload) {
        d.mChunkInData = true;
        d.mChunkOffset = payload;
        d.mChunkCapacity = d.mChunkUsed = aLayout.chunkLength;
        d.mChunkLayoutID = aLayout.chunkLayoutID;
        d.ParseChunks();
    } else if (aLayout.payloadType == ZuPayloadTypeChunkData && d.mData) {
        d.mChunkInData = true;
        d.mChunkOffset = 0;
        d.mChunkCapacity = d.mSize;
        d.mChunkUsed = std::min(aLayout.chunkLength ? aLayout.chunkLength : d.mFill.acquiredSize, d.mSize);
        d.mChunkLayoutID = aLayout.chunkLayoutID;
        d.ParseChunks();
    }
}

void BufferBinding::LimitNextAttach(ZuBuffer &aBuffer, uint64_t aBytes) { BufferAccess::Of(aBuffer).mAttachLimit = aBytes; }

ZuBuffer *BufferBinding::BufferOf(const ZuRawData &aView) { return BufferAccess::OwnerOf(aView); }
ZuBuffer *BufferBinding::BufferOf(const ZuChunkData &aView) { return BufferAccess::OwnerOf(aView); }

} // namespace tarn

// ---- Memory ------------------------------------------------------------

bool ZuBuffer::Impl::IsHeld(const ZuBuffer *aBuffer)
{
    std::lock_guard<std::mutex> guard(tarn::HeldLock());
    return tarn::HeldBuffers().count(aBuffer) != 0;
}

ZuResult ZuBuffer::Impl::Held()
{
    return ZuResult(ZU_STATE_ERROR, ZuString("the buffer is queued: its memory stays as it is until it is handed back"));
}

bool ZuBuffer::Impl::ReleaseData()
{
    Change change(*this);
    if (change)
        ReleaseDataNow();
    return bool(change);
}

void ZuBuffer::Impl::ReleaseDataNow()
{
    // The image describes the memory: whatever replaces or frees the memory
    // ends the description, so that no view of a stale one can be made.
    tarn::BufferAccess::Of(*mImage).Clear();
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

void ZuBuffer::Impl::ReleaseChunkSpace()
{
    mChunkBlock.reset();
    if (!mChunkInData) {
        mChunkOffset = mChunkCapacity = mChunkUsed = 0;
        mChunks.clear();
    }
}

ZuResult ZuBuffer::Impl::AllocData(uint64_t aSize, uint32_t aChunkOffset, uint32_t aChunkLength)
{
    if (aSize == 0)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("memory of 0 bytes"));
    if (aSize > UINT32_MAX)
        return ZuResult(ZU_ERR_OVERFLOW, ZuString("a buffer holds less than 4 GiB"));
    Change change(*this);
    if (!change)
        return Held();
    Block block = NewBlock(aSize);
    if (!block)
        return ZuResult(ZU_NOT_ENOUGH_MEMORY);
    ReleaseDataNow();
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

ZuResult ZuBuffer::Impl::AttachData(void *aPointer, uint64_t aSize, uint32_t aChunkOffset, uint32_t aChunkLength,
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
    Change change(*this);
    if (!change)
        return Held();
    ReleaseDataNow();
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

uint8_t *ZuBuffer::Impl::DetachData()
{
    Change change(*this);
    if (!change || !IsAttached())
        return nullptr;
    uint8_t *memory = mData.get();
    ReleaseDataNow();
    return memory;
}

ZuBuffer::Impl::Block ZuBuffer::Impl::ShareMemory(const void *aPointer) const
{
    if (Holds(mData, mSize, aPointer))
        return mData;
    if (Holds(mChunkBlock, mChunkCapacity, aPointer))
        return mChunkBlock;
    return Impl::Block();
}

void ZuBuffer::Impl::KeepAttachment(const void *aPointer, std::shared_ptr<void> aOwner)
{
    if (!IsAttached() || mData.get() != aPointer || !aOwner)
        return;
    mData = Block(std::move(aOwner), mData.get());
}

// ---- Chunks --------------------------------------------------------------

uint8_t *ZuBuffer::Impl::ChunkBase() const
{
    if (mChunkInData)
        return mData ? mData.get() + mChunkOffset : nullptr;
    return mChunkBlock.get();
}

bool ZuBuffer::Impl::ParseChunks()
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
    mImpl->mChunkUsed = 0;
    mImpl->mChunks.clear();
}

ZuResult ZuBuffer::AddChunk(uint32_t aID, const uint8_t *aData, uint32_t aLength)
{
    uint8_t *base = mImpl->ChunkBase();
    if (!base)
        return ZuResult(ZU_STATE_ERROR, ZuString("the buffer has no chunk space"));
    if (aLength && !aData)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no chunk data"));
    if (uint64_t(mImpl->mChunkUsed) + aLength + kTrailerSize > mImpl->mChunkCapacity)
        return ZuResult(ZU_BUFFER_TOO_SMALL, ZuString("the chunk does not fit the chunk space"));
    if (aLength)
        std::memcpy(base + mImpl->mChunkUsed, aData, aLength);
    PutBigEndian(base + mImpl->mChunkUsed + aLength, aID);
    PutBigEndian(base + mImpl->mChunkUsed + aLength + 4, aLength);
    mImpl->mChunks.push_back(Impl::Chunk{aID, mImpl->mChunkUsed, aLength});
    mImpl->mChunkUsed += aLength + kTrailerSize;
    return ZuResult();
}

void ZuBuffer::SetChunkLayoutID(uint32_t aChunkLayoutID) { mImpl->mChunkLayoutID = aChunkLayoutID; }
bool ZuBuffer::HasChunks() const { return !mImpl->mChunks.empty(); }
uint32_t ZuBuffer::GetChunkCount() { return uint32_t(mImpl->mChunks.size()); }

ZuResult ZuBuffer::GetChunkIDByIndex(uint32_t aIndex, uint32_t &aID)
{
    if (aIndex >= mImpl->mChunks.size())
        return ZuResult(ZU_NOT_FOUND, ZuString("no chunk at that index"));
    aID = mImpl->mChunks[aIndex].id;
    return ZuResult();
}

uint32_t ZuBuffer::GetChunkSizeByIndex(uint32_t aIndex)
{
    return aIndex < mImpl->mChunks.size() ? mImpl->mChunks[aIndex].size : 0;
}

uint32_t ZuBuffer::GetChunkSizeByID(uint32_t aID)
{
    for (const Impl::Chunk &chunk : mImpl->mChunks)
        if (chunk.id == aID)
            return chunk.size;
    return 0;
}

uint8_t *ZuBuffer::GetChunkRawDataByIndex(uint32_t aIndex)
{
    uint8_t *base = mImpl->ChunkBase();
    return (base && aIndex < mImpl->mChunks.size()) ? base + mImpl->mChunks[aIndex].offset : nullptr;
}

uint8_t *ZuBuffer::GetChunkRawDataByID(uint32_t aID)
{
    uint8_t *base = mImpl->ChunkBase();
    if (!base)
        return nullptr;
    for (const Impl::Chunk &chunk : mImpl->mChunks)
        if (chunk.id == aID)
            return base + chunk.offset;
    return nullptr;
}

uint32_t ZuBuffer::GetChunkLayoutID() { return mImpl->mChunkLayoutID; }
uint32_t ZuBuffer::GetChunkDataSize() const { return mImpl->mChunkUsed; }
uint32_t ZuBuffer::GetChunkDataCapacity() const { return mImpl->mChunkCapacity; }
