#include "BufferImpl.h"
#include "tarn/BufferBinding.h"
#include "ZuImage.h"
#include "ZuImageJPEG.h"
#include "ZuChunkData.h"
#include "ZuPixelTypeInfo.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

typedef std::shared_ptr<uint8_t> Block;

// What the part index of a stream leader of the GigE Vision standard holds.
const uint32_t kMaxParts = 10;
// A chunk's trailer: its ID and its data length, big-endian.
const uint32_t kTrailerSize = 8;

void WriteWord(uint8_t *aOut, uint32_t aValue)
{
    for (int i = 0; i < 4; ++i)
        aOut[i] = uint8_t(aValue >> (24 - 8 * i));
}

uint32_t ReadWord(const uint8_t *aIn)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | aIn[i];
    return value;
}

ZuResult Fail(uint32_t aCode, const char *aText) { return ZuResult(aCode, ZuString(aText)); }

class Section;

class ImageView : public IZuImage
{
public:
    explicit ImageView(Section &aSection) : mSection(aSection) {}
    const uint8_t *GetDataPointer() const override;
    uint8_t *GetDataPointer() override;
    uint32_t GetImageSize() const override;
    uint32_t GetWidth() const override;
    uint32_t GetHeight() const override;
    ZuPixelType GetPixelType() const override;
    uint32_t GetOffsetX() const override;
    uint32_t GetOffsetY() const override;
    uint16_t GetPaddingX() const override;
    uint16_t GetPaddingY() const override { return 0; }
    uint64_t GetBlockID() const override;
    uint64_t GetTimestamp() const override;
    uint64_t GetReceptionTime() const override;
    Section &mSection;
};

class JPEGView : public IZuImageJPEG
{
public:
    explicit JPEGView(Section &aSection) : mSection(aSection) {}
    const uint8_t *GetDataPointer() const override;
    uint8_t *GetDataPointer() override;
    uint8_t GetFlag() const override;
    uint64_t GetTimestampTickFrequency() const override;
    uint32_t GetDataFormat() const override;
    uint64_t GetDataSize() const override;
    Section &mSection;
};

// Chunks of a chunk-data part, in the GenICam layout, in the part's memory.
class ChunkView : public IZuChunkData
{
public:
    struct Chunk { uint32_t id, offset, size; };

    explicit ChunkView(Section &aSection) : mSection(aSection) {}
    void ResetChunks() override;
    ZuResult AddChunk(uint32_t aID, const uint8_t *aData, uint32_t aLength) override;
    void SetChunkLayoutID(uint32_t aChunkLayoutID) override;
    bool HasChunks() const override { return !mChunks.empty(); }
    uint32_t GetChunkCount() override { return uint32_t(mChunks.size()); }
    ZuResult GetChunkIDByIndex(uint32_t aIndex, uint32_t &aID) override;
    uint32_t GetChunkSizeByIndex(uint32_t aIndex) override;
    uint32_t GetChunkSizeByID(uint32_t aID) override;
    uint8_t *GetChunkRawDataByIndex(uint32_t aIndex) override;
    uint8_t *GetChunkRawDataByID(uint32_t aID) override;
    uint32_t GetChunkLayoutID() override;
    uint32_t GetChunkDataSize() const override { return mUsed; }
    uint32_t GetChunkDataCapacity() const override;

    // Reads the chunks of the first aUsed bytes, walking back from the end.
    void Parse(uint32_t aUsed);
    const Chunk *Find(uint32_t aID) const;

    Section &mSection;
    std::vector<Chunk> mChunks;
    uint32_t mUsed = 0;
};

class Container;

class Section : public IZuMultiPartSection
{
public:
    explicit Section(Container &aContainer) : mContainer(aContainer), mImage(*this), mJPEG(*this), mChunks(*this) {}

    const uint8_t *GetDataPointer() const override { return mData; }
    uint8_t *GetDataPointer() override { return mData; }
    uint32_t GetSize() const override { return mSize; }
    uint32_t GetEffectiveSize() const override;
    ZuMultiPartDataType GetDataType() const override { return mType; }
    const IZuImage *GetImage() const override { return IsImage() ? &mImage : nullptr; }
    const IZuImageJPEG *GetJPEG() const override { return IsJPEG() ? &mJPEG : nullptr; }
    const IZuChunkData *GetChunkData() const override { return IsChunk() ? &mChunks : nullptr; }
    IZuImage *GetImage() override { return IsImage() ? &mImage : nullptr; }
    IZuImageJPEG *GetJPEG() override { return IsJPEG() ? &mJPEG : nullptr; }
    IZuChunkData *GetChunkData() override { return IsChunk() ? &mChunks : nullptr; }
    uint32_t GetSourceID() const override { return mSourceID; }
    uint32_t GetDataPurposeID() const override { return mPurposeID; }
    uint32_t GetRegionID() const override { return mRegionID; }
    uint32_t GetAdditionalZones() const override { return mZones; }
    uint32_t GetZoneDirectionMask() const override { return mZoneMask; }

    bool IsImage() const { return mType >= ZuMultiPart2DImage && mType <= ZuMultiPartConfidenceMap; }
    bool IsJPEG() const { return mType == ZuMultiPartJPEGImage || mType == ZuMultiPartJPEG2000Image; }
    bool IsChunk() const { return mType == ZuMultiPartChunkData; }
    uint32_t FinalHeight() const { return mFinal ? mFinalValue : mMaxHeight; }
    uint32_t FinalLength() const { return mFinal ? mFinalValue : mMaxLength; }

    void Clear();
    void SetMemory(Block aBlock, uint8_t *aData, uint64_t aLength, bool aAttached);
    Block Share(const void *aPointer) const;

    Container &mContainer;
    ZuMultiPartDataType mType = ZuMultiPartInvalid;
    uint32_t mWidth = 0, mMaxHeight = 0, mOffsetX = 0, mOffsetY = 0;
    uint16_t mPaddingX = 0;
    ZuPixelType mPixelType = ZuPixelUndefined;
    uint32_t mMaxLength = 0;
    bool mFinal = false;
    uint32_t mFinalValue = 0;
    uint8_t mFlag = 0;
    uint64_t mTickFrequency = 0;
    uint32_t mDataFormat = 0, mLayoutID = 0;
    uint32_t mSourceID = 0, mPurposeID = 0, mRegionID = 0, mZones = 0, mZoneMask = 0;
    uint32_t mSize = 0;
    Block mBlock;
    uint8_t *mData = nullptr;
    uint64_t mLength = 0;
    bool mAttached = false;
    ImageView mImage;
    JPEGView mJPEG;
    ChunkView mChunks;
};

class Container : public IZuMultiPartContainer
{
public:
    explicit Container(ZuBuffer *aBuffer) : mBuffer(aBuffer)
    {
        // Every section lives as long as the container: one handed out
        // before a Reset never points at a destroyed object.
        for (uint32_t i = 0; i < kMaxParts; ++i)
            mSections.emplace_back(new Section(*this));
    }

    uint32_t GetPartCount() override { return IsMultiPart() ? mCount : 0; }
    const IZuMultiPartSection *GetPart(uint32_t aIndex) const override { return Part(aIndex); }
    IZuMultiPartSection *GetPart(uint32_t aIndex) override { return Part(aIndex); }

    void Reset() override
    {
        mCount = 0;
        for (auto &section : mSections)
            section->Clear();
    }

    ZuResult AddImagePart(ZuMultiPartDataType aDataType, uint32_t aWidth, uint32_t aMaxHeight, ZuPixelType aPixelType,
                          uint32_t aOffsetX, uint32_t aOffsetY, uint16_t aPaddingX) override;
    ZuResult AddJPEGPart(ZuMultiPartDataType aDataType, uint32_t aMaxLength, uint8_t aFlag,
                         uint64_t aTimestampTickFrequency, uint32_t aDataFormat) override;
    ZuResult AddChunkPart(uint32_t aMaxLength, uint32_t aChunkLayoutID) override;
    ZuResult SetPartIDs(uint32_t aIndex, uint32_t aSourceID, uint32_t aDataPurposeID, uint32_t aRegionID) override;
    ZuResult SetPartZoneInfo(uint32_t aIndex, uint8_t aAdditionalZones, uint32_t aZoneDirectionMask) override;
    ZuResult AllocAllParts() override;
    ZuResult AllocPart(uint32_t aIndex) override;
    ZuResult AttachPart(uint32_t aIndex, void *aBuffer, uint64_t aLength) override;
    ZuResult SetPartFinalLength(uint32_t aIndex, uint32_t aLength) override;
    ZuResult SetPartFinalImageHeight(uint32_t aIndex, uint32_t aHeight) override;
    ZuResult Validate() override;

    bool IsMultiPart() const { return mBuffer && mBuffer->GetPayloadType() == ZuPayloadTypeMultiPart; }
    Section *Part(uint32_t aIndex) const { return IsMultiPart() && aIndex < mCount ? mSections[aIndex].get() : nullptr; }
    // The next section to define, or the reason there is none.
    ZuResult NextPart(Section *&aSection);
    // The part at aIndex, or the code that tells why there is none.
    ZuResult Lookup(uint32_t aIndex, uint32_t aNotMultiPart, uint32_t aMissing, Section *&aSection) const;
    // A part that takes IDs and zones.
    ZuResult Described(uint32_t aIndex, Section *&aSection) const;
    // Confirms the final height (image) or length (the other kinds).
    ZuResult Confirm(uint32_t aIndex, bool aImage, uint32_t aValue);

    ZuBuffer *mBuffer;
    std::vector<std::unique_ptr<Section>> mSections;
    uint32_t mCount = 0;
};

// ---- Sections ----------------------------------------------------------------

uint32_t Section::GetEffectiveSize() const
{
    if (IsImage())
        return uint32_t(tarn::ComputeImageSize(mWidth, FinalHeight(), mPixelType, mPaddingX, 0));
    return FinalLength();
}

void Section::Clear()
{
    SetMemory(Block(), nullptr, 0, false);
    mType = ZuMultiPartInvalid;
    mWidth = mMaxHeight = mOffsetX = mOffsetY = 0;
    mPaddingX = 0;
    mPixelType = ZuPixelUndefined;
    mMaxLength = 0;
    mFinal = false;
    mFinalValue = 0;
    mFlag = 0;
    mTickFrequency = 0;
    mDataFormat = mLayoutID = 0;
    mSourceID = mPurposeID = mRegionID = mZones = mZoneMask = 0;
    mSize = 0;
}

void Section::SetMemory(Block aBlock, uint8_t *aData, uint64_t aLength, bool aAttached)
{
    mBlock = std::move(aBlock);
    mData = aData;
    mLength = aData ? aLength : 0;
    mAttached = aAttached && aData;
    // Memory given with a confirmed length already holds its chunks.
    mChunks.Parse(mData && IsChunk() && mFinal ? mFinalValue : 0);
}

Block Section::Share(const void *aPointer) const
{
    uintptr_t at = reinterpret_cast<uintptr_t>(aPointer), start = reinterpret_cast<uintptr_t>(mData);
    if (!mData || !aPointer || at < start || at - start > mLength)
        return Block();
    return mBlock;
}

// ---- Typed views ---------------------------------------------------------------

const uint8_t *ImageView::GetDataPointer() const { return mSection.IsImage() ? mSection.mData : nullptr; }
uint8_t *ImageView::GetDataPointer() { return mSection.IsImage() ? mSection.mData : nullptr; }
uint32_t ImageView::GetImageSize() const { return mSection.IsImage() ? mSection.GetEffectiveSize() : 0; }
uint32_t ImageView::GetWidth() const { return mSection.IsImage() ? mSection.mWidth : 0; }
uint32_t ImageView::GetHeight() const { return mSection.IsImage() ? mSection.FinalHeight() : 0; }
ZuPixelType ImageView::GetPixelType() const { return mSection.IsImage() ? mSection.mPixelType : ZuPixelUndefined; }
uint32_t ImageView::GetOffsetX() const { return mSection.IsImage() ? mSection.mOffsetX : 0; }
uint32_t ImageView::GetOffsetY() const { return mSection.IsImage() ? mSection.mOffsetY : 0; }
uint16_t ImageView::GetPaddingX() const { return mSection.IsImage() ? mSection.mPaddingX : 0; }
uint64_t ImageView::GetBlockID() const { return mSection.mContainer.mBuffer->GetBlockID(); }
uint64_t ImageView::GetTimestamp() const { return mSection.mContainer.mBuffer->GetTimestamp(); }
uint64_t ImageView::GetReceptionTime() const { return mSection.mContainer.mBuffer->GetReceptionTime(); }

const uint8_t *JPEGView::GetDataPointer() const { return mSection.IsJPEG() ? mSection.mData : nullptr; }
uint8_t *JPEGView::GetDataPointer() { return mSection.IsJPEG() ? mSection.mData : nullptr; }
uint8_t JPEGView::GetFlag() const { return mSection.mFlag; }
uint64_t JPEGView::GetTimestampTickFrequency() const { return mSection.mTickFrequency; }
uint32_t JPEGView::GetDataFormat() const { return mSection.mDataFormat; }
uint64_t JPEGView::GetDataSize() const { return mSection.IsJPEG() ? mSection.GetEffectiveSize() : 0; }

uint32_t ChunkView::GetChunkDataCapacity() const
{
    return mSection.IsChunk() && mSection.mData ? mSection.mSize : 0;
}

void ChunkView::ResetChunks()
{
    mUsed = 0;
    mChunks.clear();
}

void ChunkView::Parse(uint32_t aUsed)
{
    ResetChunks();
    const uint8_t *base = GetChunkDataCapacity() ? mSection.mData : nullptr;
    if (!base || aUsed > mSection.mSize)
        return;
    mUsed = aUsed;
    std::vector<Chunk> found;
    uint32_t end = aUsed;
    while (end >= kTrailerSize) {
        uint32_t size = ReadWord(base + end - 4);
        if (size > end - kTrailerSize)
            break;
        found.push_back(Chunk{ReadWord(base + end - kTrailerSize), end - kTrailerSize - size, size});
        end -= kTrailerSize + size;
    }
    mChunks.assign(found.rbegin(), found.rend());
}

ZuResult ChunkView::AddChunk(uint32_t aID, const uint8_t *aData, uint32_t aLength)
{
    uint32_t capacity = GetChunkDataCapacity();
    if (!capacity)
        return Fail(ZU_STATE_ERROR, "the part has no memory for chunks");
    if (aLength && !aData)
        return Fail(ZU_INVALID_PARAMETER, "no chunk data");
    if (uint64_t(mUsed) + aLength + kTrailerSize > capacity)
        return Fail(ZU_BUFFER_TOO_SMALL, "the chunk does not fit the part");
    uint8_t *at = mSection.mData + mUsed;
    if (aLength)
        std::memmove(at, aData, aLength);
    WriteWord(at + aLength, aID);
    WriteWord(at + aLength + 4, aLength);
    mChunks.push_back(Chunk{aID, mUsed, aLength});
    mUsed += aLength + kTrailerSize;
    return ZuResult();
}

void ChunkView::SetChunkLayoutID(uint32_t aChunkLayoutID) { mSection.mLayoutID = aChunkLayoutID; }
uint32_t ChunkView::GetChunkLayoutID() { return mSection.mLayoutID; }

ZuResult ChunkView::GetChunkIDByIndex(uint32_t aIndex, uint32_t &aID)
{
    if (aIndex >= mChunks.size())
        return Fail(ZU_NOT_FOUND, "no chunk at that index");
    aID = mChunks[aIndex].id;
    return ZuResult();
}

const ChunkView::Chunk *ChunkView::Find(uint32_t aID) const
{
    for (const Chunk &chunk : mChunks)
        if (chunk.id == aID)
            return &chunk;
    return nullptr;
}

uint32_t ChunkView::GetChunkSizeByIndex(uint32_t aIndex) { return aIndex < mChunks.size() ? mChunks[aIndex].size : 0; }

uint32_t ChunkView::GetChunkSizeByID(uint32_t aID)
{
    const Chunk *chunk = Find(aID);
    return chunk ? chunk->size : 0;
}

uint8_t *ChunkView::GetChunkRawDataByIndex(uint32_t aIndex)
{
    return aIndex < mChunks.size() && mSection.mData ? mSection.mData + mChunks[aIndex].offset : nullptr;
}

uint8_t *ChunkView::GetChunkRawDataByID(uint32_t aID)
{
    const Chunk *chunk = Find(aID);
    return chunk && mSection.mData ? mSection.mData + chunk->offset : nullptr;
}

// ---- Container -------------------------------------------------------------------

Block NewBlock(uint64_t aSize)
{
    uint8_t *memory = new (std::nothrow) uint8_t[aSize]();
    return memory ? Block(memory, std::default_delete<uint8_t[]>()) : Block();
}

ZuResult Container::NextPart(Section *&aSection)
{
    if (!IsMultiPart())
        return Fail(ZU_NOT_SUPPORTED, "the buffer is not a multi-part buffer");
    if (mCount && mSections[mCount - 1]->IsChunk())
        return Fail(ZU_STATE_ERROR, "the chunk-data part is the last part");
    if (mCount == kMaxParts)
        return Fail(ZU_ERR_OVERFLOW, "the payload holds no more parts");
    aSection = mSections[mCount].get();
    return ZuResult();
}

ZuResult Container::AddImagePart(ZuMultiPartDataType aDataType, uint32_t aWidth, uint32_t aMaxHeight,
                                 ZuPixelType aPixelType, uint32_t aOffsetX, uint32_t aOffsetY, uint16_t aPaddingX)
{
    Section *section = nullptr;
    ZuResult result = NextPart(section);
    if (!result.IsOK())
        return result;
    if (aDataType < ZuMultiPart2DImage || aDataType > ZuMultiPartConfidenceMap)
        return Fail(ZU_INVALID_PARAMETER, "the data type is not an image kind");
    if (aWidth == 0 || aMaxHeight == 0)
        return Fail(ZU_INVALID_PARAMETER, "an image part needs a width and a height");
    if (ZuPixelTypeGetBitsPerPixel(aPixelType) == 0)
        return Fail(ZU_INVALID_PARAMETER, "the pixel type has no bits per pixel");
    uint64_t size = tarn::ComputeImageSize(aWidth, aMaxHeight, aPixelType, aPaddingX, 0);
    if (size > UINT32_MAX)
        return Fail(ZU_ERR_OVERFLOW, "the image needs 4 GiB or more");
    section->Clear();
    section->mType = aDataType;
    section->mWidth = aWidth;
    section->mMaxHeight = aMaxHeight;
    section->mPixelType = aPixelType;
    section->mOffsetX = aOffsetX;
    section->mOffsetY = aOffsetY;
    section->mPaddingX = aPaddingX;
    section->mSize = uint32_t(size);
    ++mCount;
    return result;
}

ZuResult Container::AddJPEGPart(ZuMultiPartDataType aDataType, uint32_t aMaxLength, uint8_t aFlag,
                                uint64_t aTimestampTickFrequency, uint32_t aDataFormat)
{
    Section *section = nullptr;
    ZuResult result = NextPart(section);
    if (!result.IsOK())
        return result;
    if (aDataType != ZuMultiPartJPEGImage && aDataType != ZuMultiPartJPEG2000Image)
        return Fail(ZU_INVALID_PARAMETER, "the data type is not a JPEG kind");
    if (aMaxLength == 0)
        return Fail(ZU_INVALID_PARAMETER, "a JPEG part needs a maximum length");
    section->Clear();
    section->mType = aDataType;
    section->mMaxLength = section->mSize = aMaxLength;
    section->mFlag = aFlag;
    section->mTickFrequency = aTimestampTickFrequency;
    section->mDataFormat = aDataFormat;
    ++mCount;
    return result;
}

ZuResult Container::AddChunkPart(uint32_t aMaxLength, uint32_t aChunkLayoutID)
{
    Section *section = nullptr;
    ZuResult result = NextPart(section);
    if (!result.IsOK())
        return result;
    if (aMaxLength == 0)
        return Fail(ZU_INVALID_PARAMETER, "a chunk part needs a maximum length");
    section->Clear();
    section->mType = ZuMultiPartChunkData;
    section->mMaxLength = section->mSize = aMaxLength;
    section->mLayoutID = aChunkLayoutID;
    ++mCount;
    return result;
}

ZuResult Container::Lookup(uint32_t aIndex, uint32_t aNotMultiPart, uint32_t aMissing, Section *&aSection) const
{
    if (!IsMultiPart())
        return Fail(aNotMultiPart, "the buffer is not a multi-part buffer");
    aSection = Part(aIndex);
    return aSection ? ZuResult() : Fail(aMissing, "no part at that index");
}

ZuResult Container::Described(uint32_t aIndex, Section *&aSection) const
{
    ZuResult result = Lookup(aIndex, ZU_INVALID_DATA_FORMAT, ZU_INVALID_PARAMETER, aSection);
    if (result.IsOK() && aSection->IsChunk())
        return Fail(ZU_INVALID_DATA_FORMAT, "the chunk-data part has no IDs and no zones");
    return result;
}

ZuResult Container::SetPartIDs(uint32_t aIndex, uint32_t aSourceID, uint32_t aDataPurposeID, uint32_t aRegionID)
{
    Section *section = nullptr;
    ZuResult result = Described(aIndex, section);
    if (result.IsOK()) {
        section->mSourceID = aSourceID;
        section->mPurposeID = aDataPurposeID;
        section->mRegionID = aRegionID;
    }
    return result;
}

ZuResult Container::SetPartZoneInfo(uint32_t aIndex, uint8_t aAdditionalZones, uint32_t aZoneDirectionMask)
{
    Section *section = nullptr;
    ZuResult result = Described(aIndex, section);
    if (result.IsOK()) {
        section->mZones = aAdditionalZones;
        section->mZoneMask = aZoneDirectionMask;
    }
    return result;
}

ZuResult Container::AllocAllParts()
{
    if (!IsMultiPart())
        return Fail(ZU_NOT_SUPPORTED, "the buffer is not a multi-part buffer");
    if (mCount == 0)
        return Fail(ZU_STATE_ERROR, "no part is defined");
    uint64_t total = 0;
    for (uint32_t i = 0; i < mCount; ++i)
        total += mSections[i]->mSize;
    if (total > UINT32_MAX)
        return Fail(ZU_ERR_OVERFLOW, "the parts need 4 GiB or more");
    tarn::BufferAccess::MemoryChange change(tarn::BufferAccess::Of(*mBuffer));
    if (!change)
        return tarn::BufferAccess::MemoryHeld();
    Block block = NewBlock(total);
    if (!block)
        return ZuResult(ZU_NOT_ENOUGH_MEMORY);
    uint64_t offset = 0;
    for (uint32_t i = 0; i < mCount; ++i) {
        Section &section = *mSections[i];
        section.SetMemory(block, block.get() + offset, section.mSize, false);
        offset += section.mSize;
    }
    return ZuResult();
}

ZuResult Container::AllocPart(uint32_t aIndex)
{
    Section *section = nullptr;
    ZuResult result = Lookup(aIndex, ZU_NOT_SUPPORTED, ZU_INVALID_PARAMETER, section);
    if (!result.IsOK())
        return result;
    tarn::BufferAccess::MemoryChange change(tarn::BufferAccess::Of(*mBuffer));
    if (!change)
        return tarn::BufferAccess::MemoryHeld();
    Block block = NewBlock(section->mSize);
    if (!block)
        return ZuResult(ZU_NOT_ENOUGH_MEMORY);
    section->SetMemory(block, block.get(), section->mSize, false);
    return result;
}

ZuResult Container::AttachPart(uint32_t aIndex, void *aBuffer, uint64_t aLength)
{
    Section *section = nullptr;
    ZuResult result = Lookup(aIndex, ZU_NOT_SUPPORTED, ZU_NOT_FOUND, section);
    if (!result.IsOK())
        return result;
    if (!aBuffer)
        return Fail(ZU_INVALID_PARAMETER, "no memory to attach");
    if (aLength < section->mSize)
        return Fail(ZU_INVALID_PARAMETER, "the memory is smaller than the part");
    tarn::BufferAccess::MemoryChange change(tarn::BufferAccess::Of(*mBuffer));
    if (!change)
        return tarn::BufferAccess::MemoryHeld();
    uint8_t *data = static_cast<uint8_t *>(aBuffer);
    section->SetMemory(Block(data, [](uint8_t *) {}), data, aLength, true);
    return result;
}

ZuResult Container::Confirm(uint32_t aIndex, bool aImage, uint32_t aValue)
{
    Section *section = nullptr;
    ZuResult result = Lookup(aIndex, ZU_INVALID_PARAMETER, ZU_INVALID_PARAMETER, section);
    if (!result.IsOK())
        return result;
    if (section->IsImage() != aImage)
        return Fail(ZU_INVALID_PARAMETER, "an image part has a final height, the others a final length");
    if (aValue > (aImage ? section->mMaxHeight : section->mMaxLength))
        return Fail(ZU_INVALID_PARAMETER, "the value is above the part's maximum");
    section->mFinal = true;
    section->mFinalValue = aValue;
    if (section->IsChunk())
        section->mChunks.Parse(aValue);
    return result;
}

ZuResult Container::SetPartFinalLength(uint32_t aIndex, uint32_t aLength) { return Confirm(aIndex, false, aLength); }

ZuResult Container::SetPartFinalImageHeight(uint32_t aIndex, uint32_t aHeight) { return Confirm(aIndex, true, aHeight); }

ZuResult Container::Validate()
{
    if (!IsMultiPart())
        return Fail(ZU_NOT_SUPPORTED, "the buffer is not a multi-part buffer");
    if (mCount == 0)
        return Fail(ZU_STATE_ERROR, "no part is defined");
    for (uint32_t i = 0; i < mCount; ++i)
        if (!mSections[i]->mData)
            return Fail(ZU_BUFFER_TOO_SMALL, "a part has no memory");
    return ZuResult();
}

}

void ZuMultiPartReceived(IZuMultiPartContainer &aContainer, const std::shared_ptr<uint8_t> &aMemory, uint64_t aSize,
                         const tarn::ReceivedPart *aParts, size_t aCount)
{
    Container &c = static_cast<Container &>(aContainer);
    c.Reset();
    for (size_t i = 0; i < aCount && i < c.mSections.size(); ++i) {
        const tarn::ReceivedPart &p = aParts[i];
        Section &s = *c.mSections[i];
        s.mType = ZuMultiPartDataType(p.dataType);
        s.mSourceID = p.sourceID;
        s.mPurposeID = p.dataPurposeID;
        s.mRegionID = p.regionID;
        s.mZones = p.additionalZones;
        s.mZoneMask = p.zoneDirectionMask;
        bool fits = aMemory && p.offset <= aSize && p.length <= aSize - p.offset && p.length <= UINT32_MAX;
        if (s.IsImage()) {
            ZuPixelType pixel = ZuPixelType(p.dataFormat);
            uint16_t padding = 0;
            fits = fits && tarn::PaddingInPixels(p.paddingXBytes, pixel, padding);
            uint64_t image = tarn::ComputeImageSize(p.sizeX, p.sizeY, pixel, padding, 0);
            fits = fits && image && image <= p.length;
            if (fits) {
                s.mWidth = p.sizeX;
                s.mMaxHeight = p.sizeY;
                s.mPixelType = pixel;
                s.mOffsetX = p.offsetX;
                s.mOffsetY = p.offsetY;
                s.mPaddingX = padding;
            }
        } else {
            s.mDataFormat = p.dataFormat;
            s.mMaxLength = uint32_t(fits ? p.length : 0);
            s.mFinal = fits;
            s.mFinalValue = s.mMaxLength;
        }
        s.mSize = uint32_t(fits ? p.length : 0);
        if (fits) s.SetMemory(Block(aMemory, aMemory.get() + p.offset), aMemory.get() + p.offset, p.length, true);
        ++c.mCount;
    }
}

std::unique_ptr<IZuMultiPartContainer> ZuNewMultiPartContainer(ZuBuffer *aBuffer)
{
    return std::unique_ptr<IZuMultiPartContainer>(new Container(aBuffer));
}

std::shared_ptr<void> ZuMultiPartShareMemory(const IZuMultiPartSection *aObject, const void *aPointer)
{
    const Section *section = dynamic_cast<const Section *>(aObject);
    return section ? section->Share(aPointer) : Block();
}

std::shared_ptr<void> ZuMultiPartShareMemory(const IZuImage *aObject, const void *aPointer)
{
    const ImageView *view = dynamic_cast<const ImageView *>(aObject);
    return view ? view->mSection.Share(aPointer) : Block();
}

std::shared_ptr<void> ZuMultiPartShareMemory(const IZuImageJPEG *aObject, const void *aPointer)
{
    const JPEGView *view = dynamic_cast<const JPEGView *>(aObject);
    return view ? view->mSection.Share(aPointer) : Block();
}

std::shared_ptr<void> ZuMultiPartShareMemory(const IZuChunkData *aObject, const void *aPointer)
{
    const ChunkView *view = dynamic_cast<const ChunkView *>(aObject);
    return view ? view->mSection.Share(aPointer) : Block();
}

void ZuMultiPartKeepAttachment(IZuMultiPartContainerReader *aContainer, const void *aPointer,
                               std::shared_ptr<void> aOwner)
{
    Container *container = dynamic_cast<Container *>(aContainer);
    if (!container || !aPointer || !aOwner)
        return;
    for (auto &section : container->mSections)
        if (section->mAttached && section->mData == aPointer)
            section->mBlock = Block(aOwner, section->mData);
}
