#include "ZuGenDCContainer.h"
#include "ZuGenDCManager.h"
#include "ZuBuffer.h"
#include "ZuPixelTypeInfo.h"
#include "tarn/BufferBinding.h"
#include "tarn/GenDCCheck.h"
#include "tarn/Holds.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <unordered_set>

namespace zu_gendc {

namespace {

const uint64_t kContainerBase = sizeof(GenDCContainerHeaderBase);
const uint64_t kComponentBase = sizeof(GenDCComponentHeaderBase);
const uint64_t kPartBase = sizeof(GenDCPartHeaderBase);
const uint64_t kLimit = UINT32_MAX; // a buffer holds less than 4 GiB
const uint32_t kChunkTrailer = 8;

typedef Memory::Span Span;

// Every read of the container copies out of it after a bounds check: the
// memory may be short, damaged or misaligned.
template <class T>
bool Load(const Span &aSpan, uint64_t aOffset, T &aOut)
{
    if (!aSpan.data || aOffset > aSpan.size || aSpan.size - aOffset < sizeof(T))
        return false;
    std::memcpy(&aOut, aSpan.data + aOffset, sizeof(T));
    return true;
}

bool Fits(const Span &aSpan, uint64_t aOffset, uint64_t aBytes)
{
    return aSpan.data && aOffset <= aSpan.size && aSpan.size - aOffset >= aBytes;
}

// A record may only be laid over bytes that hold it and are aligned for it.
template <class T>
T *View(const Span &aSpan, uint64_t aOffset, uint64_t aBytes = sizeof(T))
{
    if (!Fits(aSpan, aOffset, aBytes) || reinterpret_cast<uintptr_t>(aSpan.data + aOffset) % alignof(T))
        return nullptr;
    return reinterpret_cast<T *>(aSpan.data + aOffset);
}

uint32_t GetBigEndian(const uint8_t *aIn)
{
    return (uint32_t(aIn[0]) << 24) | (uint32_t(aIn[1]) << 16) | (uint32_t(aIn[2]) << 8) | uint32_t(aIn[3]);
}

void PutBigEndian(uint8_t *aOut, uint32_t aValue)
{
    aOut[0] = uint8_t(aValue >> 24);
    aOut[1] = uint8_t(aValue >> 16);
    aOut[2] = uint8_t(aValue >> 8);
    aOut[3] = uint8_t(aValue);
}

// Smallest header that a part type's record needs.
uint64_t PartHeaderBytes(uint16_t aType)
{
    switch (aType) {
    case TypeMetadataGenICamChunk:
    case TypeMetadataGenICamXML:
    case TypeMetadataCustom:
    case Type1D:
    case Type1DCustom:
        return sizeof(GenDCPartHeader1DBase);
    case Type2D:
    case TypeJPEG:
    case TypeJPEG2000:
    case Type2DCustom:
        return sizeof(GenDCPartHeader2DBase);
    case TypeH264:
        return sizeof(GenDCPartHeaderH264);
    default:
        return kPartBase;
    }
}

ZuGenDCPartType KindOf(uint16_t aType)
{
    switch (aType) {
    case TypeMetadataGenICamChunk: return ZuGenDCPartMetadataGenICamChunk;
    case TypeMetadataGenICamXML: return ZuGenDCPartMetadataGenICamXML;
    case Type1D: return ZuGenDCPart1D;
    case Type2D: return ZuGenDCPart2D;
    case TypeJPEG: return ZuGenDCPart2DJpeg;
    case TypeJPEG2000: return ZuGenDCPart2DJpeg2000;
    case TypeH264: return ZuGenDCPart2DH264;
    case TypeMetadataCustom: return ZuGenDCPartMetadataCustom;
    case Type1DCustom: return ZuGenDCPart1DCustom;
    case Type2DCustom: return ZuGenDCPart2DCustom;
    case TypeCustomPart: return ZuGenDCPartCustom;
    default: return ZuGenDCPartUnknown;
    }
}

// The header code of a kind; 0 for ZuGenDCPartUnknown and values that are no kind.
uint16_t CodeOf(ZuGenDCPartType aKind)
{
    switch (aKind) {
    case ZuGenDCPartMetadataGenICamChunk: return TypeMetadataGenICamChunk;
    case ZuGenDCPartMetadataGenICamXML: return TypeMetadataGenICamXML;
    case ZuGenDCPart1D: return Type1D;
    case ZuGenDCPart2D: return Type2D;
    case ZuGenDCPart2DJpeg: return TypeJPEG;
    case ZuGenDCPart2DJpeg2000: return TypeJPEG2000;
    case ZuGenDCPart2DH264: return TypeH264;
    case ZuGenDCPartMetadataCustom: return TypeMetadataCustom;
    case ZuGenDCPart1DCustom: return Type1DCustom;
    case ZuGenDCPart2DCustom: return Type2DCustom;
    case ZuGenDCPartCustom: return TypeCustomPart;
    default: return 0;
    }
}

bool IsMetadata(uint16_t aType)
{
    return aType == TypeMetadataGenICamChunk || aType == TypeMetadataGenICamXML || aType == TypeMetadataCustom;
}
bool Is1D(uint16_t aType) { return aType == Type1D || aType == Type1DCustom; }
bool Is2D(uint16_t aType)
{
    return aType == Type2D || aType == TypeJPEG || aType == TypeJPEG2000 || aType == TypeH264 || aType == Type2DCustom;
}

// Offsets of a container's headers, found by following its offset tables
// with every step checked against the memory.
bool ComponentOffset(const Span &aSpan, uint32_t aIndex, uint64_t &aOffset)
{
    GenDCContainerHeaderBase header;
    if (!Load(aSpan, 0, header) || aIndex >= header.ComponentCount)
        return false;
    GenDCOffset offset;
    if (!Load(aSpan, kContainerBase + 8 * uint64_t(aIndex), offset))
        return false;
    if (offset < 0 || !Fits(aSpan, uint64_t(offset), kComponentBase))
        return false;
    aOffset = uint64_t(offset);
    return true;
}

bool PartOffset(const Span &aSpan, uint64_t aComponent, uint32_t aIndex, uint64_t &aOffset)
{
    GenDCComponentHeaderBase header;
    if (!Load(aSpan, aComponent, header) || aIndex >= header.PartCount)
        return false;
    GenDCOffset offset;
    if (!Load(aSpan, aComponent + kComponentBase + 8 * uint64_t(aIndex), offset))
        return false;
    if (offset < 0 || !Fits(aSpan, uint64_t(offset), kPartBase))
        return false;
    aOffset = uint64_t(offset);
    return true;
}

// The data of a part lies within the memory, or the part has none.
uint8_t *PartData(const Span &aSpan, const GenDCPartHeaderBase &aHeader)
{
    if (aHeader.DataOffset < 0 || !Fits(aSpan, uint64_t(aHeader.DataOffset), aHeader.DataSize))
        return nullptr;
    return aSpan.data + aHeader.DataOffset;
}

ZuResult Fault(uint32_t aCode, const char *aFormat, unsigned long long aFirst = 0, unsigned long long aSecond = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, aFormat, aFirst, aSecond);
    return ZuResult(aCode, ZuString(text));
}

// ---- A container as plain values, for laying it out anew --------------------

struct PartModel
{
    std::vector<uint8_t> header;
    std::vector<uint8_t> data;
};

struct ComponentModel
{
    std::vector<uint8_t> header;
    std::vector<PartModel> parts;
};

struct Model
{
    std::vector<uint8_t> header;
    std::vector<ComponentModel> components;
};

std::vector<uint8_t> Copy(const Span &aSpan, uint64_t aOffset, uint64_t aBytes)
{
    return std::vector<uint8_t>(aSpan.data + aOffset, aSpan.data + aOffset + aBytes);
}

template <class T>
T Get(const std::vector<uint8_t> &aBytes, uint64_t aOffset)
{
    T value;
    std::memcpy(&value, aBytes.data() + aOffset, sizeof(T));
    return value;
}

template <class T>
void Put(std::vector<uint8_t> &aBytes, uint64_t aOffset, T aValue)
{
    std::memcpy(aBytes.data() + aOffset, &aValue, sizeof(T));
}

Model EmptyModel()
{
    Model model;
    model.header.assign(kContainerBase, 0);
    GenDCContainerHeaderBase header = {};
    header.Signature = Signature_GNDC;
    header.VersionMajor = VersionMajorCurrent;
    header.VersionMinor = VersionMinorCurrent;
    header.VersionSubMinor = VersionSubMinorCurrent;
    header.HeaderType = TypeContainer;
    std::memcpy(model.header.data(), &header, sizeof header);
    return model;
}

// Reads the structure of a container; false when it is no container whose
// headers all lie within the memory. A part's data are its header's
// DataSize bytes: what the memory holds of them, zeros for the rest. A
// container that claims more than aCapacity bytes is refused before they
// are allocated.
bool Read(const Span &aSpan, Model &aModel, uint64_t aCapacity)
{
    uint64_t total = kContainerBase;
    GenDCContainerHeaderBase header;
    if (!Load(aSpan, 0, header) || header.Signature != Signature_GNDC || header.HeaderType != TypeContainer)
        return false;
    Model model;
    model.header = Copy(aSpan, 0, kContainerBase);
    for (uint32_t c = 0; c < header.ComponentCount; ++c) {
        uint64_t at;
        GenDCComponentHeaderBase component;
        if (!ComponentOffset(aSpan, c, at) || !Load(aSpan, at, component))
            return false;
        total += kComponentBase;
        ComponentModel comp;
        comp.header = Copy(aSpan, at, kComponentBase);
        for (uint32_t p = 0; p < component.PartCount; ++p) {
            uint64_t partAt;
            GenDCPartHeaderBase part;
            if (!PartOffset(aSpan, at, p, partAt) || !Load(aSpan, partAt, part))
                return false;
            uint64_t bytes = std::max<uint64_t>(part.HeaderSize, PartHeaderBytes(part.HeaderType));
            if (bytes > kLimit || part.DataSize > kLimit || !Fits(aSpan, partAt, bytes))
                return false;
            total += bytes + part.DataSize;
            if (total > aCapacity)
                return false;
            PartModel partModel;
            partModel.header = Copy(aSpan, partAt, bytes);
            partModel.data.assign(part.DataSize, 0);
            if (part.DataOffset >= 0 && uint64_t(part.DataOffset) < aSpan.size) {
                uint64_t held = std::min<uint64_t>(part.DataSize, aSpan.size - uint64_t(part.DataOffset));
                if (held)
                    std::memcpy(partModel.data.data(), aSpan.data + part.DataOffset, held);
            }
            comp.parts.push_back(std::move(partModel));
        }
        model.components.push_back(std::move(comp));
    }
    aModel = std::move(model);
    return true;
}

uint64_t Align8(uint64_t aValue) { return (aValue + 7) & ~uint64_t(7); }

// Lays a model out: container header, component headers, part headers (the
// descriptor), the flow table, then the data of every part in order. Each
// flow carries the data of its parts one after the other.
bool Write(const Model &aModel, std::vector<uint8_t> *aOut, uint64_t &aSize)
{
    uint64_t at = kContainerBase + 8 * uint64_t(aModel.components.size());
    std::vector<uint64_t> componentAt, partAt;
    uint32_t flows = 0;
    for (const ComponentModel &comp : aModel.components) {
        componentAt.push_back(at);
        at += kComponentBase + 8 * uint64_t(comp.parts.size());
    }
    for (const ComponentModel &comp : aModel.components)
        for (const PartModel &part : comp.parts) {
            partAt.push_back(at);
            at += Align8(part.header.size());
            flows = std::max<uint32_t>(flows, uint32_t(Get<GenDCFlowId>(part.header, 14)) + 1);
        }
    uint64_t descriptor = at;
    uint64_t flowTable = sizeof(GenDCFlowTableHeader) + 8 * uint64_t(flows);
    uint64_t dataAt = descriptor + flowTable;
    uint64_t data = 0;
    for (const ComponentModel &comp : aModel.components)
        for (const PartModel &part : comp.parts)
            data += part.data.size();
    aSize = dataAt + data;
    if (aSize > kLimit)
        return false;
    if (!aOut)
        return true;

    std::vector<uint8_t> &out = *aOut;
    out.assign(aSize, 0);
    std::memcpy(out.data(), aModel.header.data(), kContainerBase);
    GenDCContainerHeaderBase header;
    std::memcpy(&header, out.data(), sizeof header);
    header.HeaderSize = GenDCHeaderSize(kContainerBase + 8 * aModel.components.size());
    header.DataSize = data;
    header.DataOffset = GenDCOffset(dataAt);
    header.DescriptorSize = GenDCDescriptorSize(descriptor);
    header.ComponentCount = GenDCComponentCount(aModel.components.size());
    std::memcpy(out.data(), &header, sizeof header);

    std::vector<uint64_t> flowSize(flows, 0);
    uint64_t nextData = dataAt;
    size_t partIndex = 0;
    for (size_t c = 0; c < aModel.components.size(); ++c) {
        const ComponentModel &comp = aModel.components[c];
        Put<GenDCOffset>(out, kContainerBase + 8 * c, GenDCOffset(componentAt[c]));
        std::memcpy(out.data() + componentAt[c], comp.header.data(), kComponentBase);
        GenDCComponentHeaderBase component;
        std::memcpy(&component, out.data() + componentAt[c], sizeof component);
        component.HeaderType = TypeComponent;
        component.HeaderSize = GenDCHeaderSize(kComponentBase + 8 * comp.parts.size());
        component.PartCount = GenDCPartCount(comp.parts.size());
        std::memcpy(out.data() + componentAt[c], &component, sizeof component);
        for (size_t p = 0; p < comp.parts.size(); ++p, ++partIndex) {
            const PartModel &partModel = comp.parts[p];
            uint64_t where = partAt[partIndex];
            Put<GenDCOffset>(out, componentAt[c] + kComponentBase + 8 * p, GenDCOffset(where));
            std::memcpy(out.data() + where, partModel.header.data(), partModel.header.size());
            GenDCPartHeaderBase part;
            std::memcpy(&part, out.data() + where, sizeof part);
            part.HeaderSize = GenDCHeaderSize(partModel.header.size());
            part.DataSize = partModel.data.size();
            part.DataOffset = GenDCOffset(nextData);
            part.FlowOffset = GenDCFlowOffset(flowSize[part.FlowId]);
            std::memcpy(out.data() + where, &part, sizeof part);
            if (!partModel.data.empty())
                std::memcpy(out.data() + nextData, partModel.data.data(), partModel.data.size());
            flowSize[part.FlowId] += partModel.data.size();
            nextData += partModel.data.size();
        }
    }
    GenDCFlowTableHeader table = {};
    table.HeaderType = TypeFlowTable;
    table.HeaderSize = GenDCHeaderSize(flowTable);
    table.VersionMajor = VersionMajorCurrent;
    table.VersionMinor = VersionMinorCurrent;
    table.FlowCount = flows;
    std::memcpy(out.data() + descriptor, &table, sizeof table);
    for (uint32_t f = 0; f < flows; ++f)
        Put<GenDCFlowSize>(out, descriptor + sizeof table + 8 * uint64_t(f), flowSize[f]);
    return true;
}

// ---- The objects ---------------------------------------------------------

class ContainerImpl;

// What every object of a container shares: the way to its memory.
class Node
{
public:
    explicit Node(ContainerImpl *aContainer) : mContainer(aContainer) {}
    virtual ~Node() {}
    std::shared_ptr<void> Share(const void *aPointer) const;

protected:
    ContainerImpl *mContainer;
};

class PartImpl;

class ImageImpl : public IZuGenDCImage, public Node
{
public:
    ImageImpl(ContainerImpl *aContainer, PartImpl *aPart) : Node(aContainer), mPart(aPart) {}
    uint8_t *GetDataPointer() override;
    uint32_t GetImageSize() const override;
    uint32_t GetWidth() const override;
    uint32_t GetHeight() const override;
    ZuPixelType GetPixelType() const override;
    uint32_t GetBitsPerPixel() const override;
    uint32_t GetOffsetX() const override;
    uint32_t GetOffsetY() const override;
    uint16_t GetPaddingX() const override;
    uint16_t GetPaddingY() const override;
    uint64_t GetBlockID() const override;

private:
    PartImpl *mPart;
};

class ChunksImpl : public IZuGenDCChunkData, public IZuGenDCChunkWriter, public Node
{
public:
    ChunksImpl(ContainerImpl *aContainer, PartImpl *aPart) : Node(aContainer), mPart(aPart) {}
    bool HasChunks() const override { return GetChunkCount() != 0; }
    uint32_t GetChunkCount() const override;
    ZuResult GetChunkIDByIndex(uint32_t aIndex, uint32_t &aID) const override;
    uint32_t GetChunkSizeByIndex(uint32_t aIndex) const override;
    uint32_t GetChunkSizeByID(uint32_t aID) const override;
    const uint8_t *GetChunkRawDataByIndex(uint32_t aIndex) const override;
    const uint8_t *GetChunkRawDataByID(uint32_t aID) const override;
    uint32_t GetChunkLayoutID() const override;
    ZuResult AddChunk(uint32_t aID, const uint8_t *aData, uint32_t aLength) override;
    void ResetChunks() override;

private:
    struct Chunk
    {
        uint32_t id, offset, size;
    };
    // What the chunk list was read from. Walking every chunk by index or id
    // must not read the whole list again for each one, so the list is kept
    // until any of these changes: the part's data moved or were resized, a
    // new layout or a new block was written, or the last trailer differs.
    struct Source
    {
        const uint8_t *base = nullptr;
        uint64_t size = 0, generation = 0, block = 0, time = 0;
        uint8_t last[kChunkTrailer] = {};
        bool operator==(const Source &aOther) const
        {
            return base == aOther.base && size == aOther.size && generation == aOther.generation &&
                   block == aOther.block && time == aOther.time && std::memcmp(last, aOther.last, kChunkTrailer) == 0;
        }
    };
    // The list as the memory holds it now; the container's lock must be held.
    const std::vector<Chunk> &List(const uint8_t **aData = nullptr) const;
    PartImpl *mPart;
    mutable bool mListed = false;
    mutable Source mSource;
    mutable std::vector<Chunk> mList;
};

class PartImpl : public IZuGenericDataPart, public Node
{
public:
    PartImpl(ContainerImpl *aContainer, uint32_t aComponent, uint32_t aIndex)
        : Node(aContainer), mComponent(aComponent), mIndex(aIndex), mImage(aContainer, this), mChunks(aContainer, this)
    {
    }
    const GenDCPartHeader *GetHeader() const override { return HeaderView(kPartBase); }
    GenDCPartHeader *GetMutableHeader() override { return HeaderView(kPartBase); }
    uint16_t GetHeaderType() const override { return Base().HeaderType; }
    ZuGenDCPartType GetHeaderTypeEnum() const override { return KindOf(Base().HeaderType); }
    uint16_t GetFlags() const override { return Base().Flags.Value; }
    uint32_t GetHeaderSize() const override { return Base().HeaderSize; }
    uint32_t GetFormat() const override { return uint32_t(Base().Format); }
    uint16_t GetFlowID() const override { return Base().FlowId; }
    uint64_t GetFlowOffset() const override { return uint64_t(Base().FlowOffset); }
    uint64_t GetDataSize() const override { return Base().DataSize; }
    uint64_t GetDataOffset() const override { return uint64_t(Base().DataOffset); }
    uint8_t *GetDataPointer() override;
    IZuGenDCImage *GetGenDCImage() const override;
    IZuGenDCChunkData *GetGenDCChunkData() const override;
    IZuGenDCChunkWriter *GetGenDCChunkWriter() const override;
    uint64_t GetReceptionTime() const override;
    ZuResult GetMetadataSpecificFields(ZuGenDCPartMetadataFields &aFields) const override;
    ZuResult Get1DSpecificFields(ZuGenDCPart1DFields &aFields) const override;
    ZuResult Get2DSpecificFields(ZuGenDCPart2DFields &aFields) const override;
    ZuResult GetH264SpecificFields(ZuGenDCPartH264Fields &aFields) const override;

    // The header as the memory holds it now; zeros when the part is gone.
    GenDCPartHeaderBase Base() const;
    // The component's header offset and the part's, when both still lie within the memory.
    bool Place(Span &aSpan, uint64_t &aComponent, uint64_t &aOffset) const;
    GenDCPartHeader *HeaderView(uint64_t aBytes) const;
    template <class Record>
    bool Specific(Record &aRecord) const;
    uint32_t Component() const { return mComponent; }
    uint32_t Index() const { return mIndex; }

private:
    uint32_t mComponent, mIndex;
    mutable ImageImpl mImage;
    mutable ChunksImpl mChunks;
};

class ComponentImpl : public IZuGenericDataComponent, public Node
{
public:
    ComponentImpl(ContainerImpl *aContainer, uint32_t aIndex) : Node(aContainer), mIndex(aIndex) {}
    const GenDCComponentHeader *GetHeader() const override { return HeaderView(); }
    GenDCComponentHeader *GetMutableHeader() override { return HeaderView(); }
    uint16_t GetFlags() const override { return Base().Flags.Value; }
    uint32_t GetHeaderSize() const override { return Base().HeaderSize; }
    uint16_t GetGroupID() const override { return Base().GroupId; }
    uint16_t GetSourceID() const override { return Base().SourceId; }
    uint16_t GetRegionID() const override { return Base().RegionId; }
    uint32_t GetRegionOffsetX() const override { return Base().RegionOffsetX; }
    uint32_t GetRegionOffsetY() const override { return Base().RegionOffsetY; }
    uint64_t GetTimestamp() const override { return uint64_t(Base().Timestamp); }
    uint64_t GetTypeID() const override { return Base().TypeId; }
    ZuComponentType GetTypeIDEnum() const override;
    uint32_t GetFormat() const override { return uint32_t(Base().Format); }
    uint64_t GetPartHeaderOffset(uint32_t aIndex) const override;
    uint32_t GetPartCount() const override;
    IZuGenericDataPart *GetPart(uint32_t aIndex) override;
    uint32_t AddPart(ZuGenDCPartType aPartType, uint32_t aFlow) override;

    GenDCComponentHeaderBase Base() const;
    bool Place(Span &aSpan, uint64_t &aOffset) const;
    GenDCComponentHeader *HeaderView() const;

private:
    uint32_t mIndex;
    std::map<uint32_t, std::unique_ptr<PartImpl>> mParts;
};

class ContainerImpl : public IZuGenericDataContainer, public Node
{
public:
    explicit ContainerImpl(std::unique_ptr<Memory> aMemory) : Node(this), mMemory(std::move(aMemory)) {}
    // Lent to the bindings, with its components, parts and their views,
    // whoever holds it (a buffer or a manager).
    ~ContainerImpl() override { tarn::Lent::Goes(this); }
    uint32_t GetComponentCount() const override;
    IZuGenericDataComponent *GetComponent(uint32_t aIndex) override;
    uint64_t GetDataSize() const override { return Base().DataSize; }
    uint64_t GetDescriptorSize() const override { return Base().DescriptorSize; }
    bool IsValid() const override
    {
        Span span = mMemory->Get();
        return ZuGenDCValidate(span.data, span.size).IsOK();
    }
    const GenDCContainerHeader *GetHeader() const override { return View<GenDCContainerHeader>(mMemory->Get(), 0); }
    GenDCContainerHeader *GetMutableHeader() override { return View<GenDCContainerHeader>(mMemory->Get(), 0); }
    uint32_t AddComponent(ZuComponentType aComponentType) override;

    GenDCContainerHeaderBase Base() const
    {
        GenDCContainerHeaderBase header = {};
        Load(mMemory->Get(), 0, header);
        return header;
    }
    Memory &Bytes() const { return *mMemory; }
    // Guards the object caches of the container and its components, and
    // each new layout: Python calls come without the interpreter lock.
    std::recursive_mutex &Lock() const { return mLock; }
    // Counts the layouts written through this container (under its lock).
    uint64_t Generation() const { return mGeneration; }
    // Reads the container, lets aChange alter it, and lays it out anew.
    template <class Change>
    bool Rebuild(Change aChange, bool aStartAnew = false);

private:
    std::unique_ptr<Memory> mMemory;
    mutable std::recursive_mutex mLock;
    uint64_t mGeneration = 0;
    std::map<uint32_t, std::unique_ptr<ComponentImpl>> mComponents;
};

std::shared_ptr<void> Node::Share(const void *aPointer) const { return mContainer->Bytes().Share(aPointer); }

template <class Change>
bool ContainerImpl::Rebuild(Change aChange, bool aStartAnew)
{
    std::lock_guard<std::recursive_mutex> hold(mLock);
    try {
        Model model;
        if (!Read(mMemory->Get(), model, mMemory->Capacity())) {
            if (!aStartAnew)
                return false;
            model = EmptyModel();
        }
        if (!aChange(model))
            return false;
        std::vector<uint8_t> bytes;
        uint64_t size = 0;
        ++mGeneration;
        return Write(model, &bytes, size) && mMemory->Replace(bytes);
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// ---- Container -----------------------------------------------------------

uint32_t ContainerImpl::GetComponentCount() const
{
    Span span = mMemory->Get();
    GenDCContainerHeaderBase header;
    if (!Load(span, 0, header) || !Fits(span, kContainerBase, 8 * uint64_t(header.ComponentCount)))
        return 0;
    return header.ComponentCount;
}

IZuGenericDataComponent *ContainerImpl::GetComponent(uint32_t aIndex)
{
    uint64_t at;
    if (!ComponentOffset(mMemory->Get(), aIndex, at))
        return nullptr;
    std::lock_guard<std::recursive_mutex> hold(mLock);
    std::unique_ptr<ComponentImpl> &slot = mComponents[aIndex];
    if (!slot)
        slot.reset(new ComponentImpl(this, aIndex));
    return slot.get();
}

uint32_t ContainerImpl::AddComponent(ZuComponentType aComponentType)
{
    uint64_t typeId;
    switch (aComponentType) {
    case ZuComponentUndefined: case ZuComponentIntensity: case ZuComponentInfrared: case ZuComponentUltraviolet:
    case ZuComponentRange: case ZuComponentReflectance: case ZuComponentConfidence: case ZuComponentScatter:
    case ZuComponentDisparity: case ZuComponentMultispectral: case ZuComponentMetadata: case ZuComponentReserved:
        typeId = uint64_t(aComponentType);
        break;
    case ZuComponentCustom:
        typeId = GDC_CUSTOM_COMPONENT;
        break;
    default:
        return uint32_t(GenDCInvalidComponentIndex);
    }
    uint32_t index = 0;
    bool done = Rebuild([&](Model &aModel) {
        ComponentModel comp;
        comp.header.assign(kComponentBase, 0);
        Put<GenDCComponentTypeId>(comp.header, 32, typeId);
        index = uint32_t(aModel.components.size());
        aModel.components.push_back(std::move(comp));
        return index != UINT32_MAX;
    }, true);
    return done ? index : uint32_t(GenDCInvalidComponentIndex);
}

// ---- Component -----------------------------------------------------------

bool ComponentImpl::Place(Span &aSpan, uint64_t &aOffset) const
{
    aSpan = mContainer->Bytes().Get();
    return ComponentOffset(aSpan, mIndex, aOffset);
}

GenDCComponentHeaderBase ComponentImpl::Base() const
{
    GenDCComponentHeaderBase header = {};
    Span span;
    uint64_t at;
    if (Place(span, at))
        Load(span, at, header);
    return header;
}

GenDCComponentHeader *ComponentImpl::HeaderView() const
{
    Span span;
    uint64_t at;
    return Place(span, at) ? View<GenDCComponentHeader>(span, at) : nullptr;
}

ZuComponentType ComponentImpl::GetTypeIDEnum() const
{
    uint64_t type = Base().TypeId;
    if (type <= GDC_MULTISPECTRAL || type == GDC_METADATA || type == GDC_RESERVED_COMPONENT)
        return ZuComponentType(type);
    if (type >= GDC_CUSTOM_COMPONENT_MIN && type <= GDC_CUSTOM_COMPONENT_MAX)
        return ZuComponentCustom;
    return ZuComponentUndefined;
}

uint64_t ComponentImpl::GetPartHeaderOffset(uint32_t aIndex) const
{
    Span span;
    uint64_t at, part;
    return (Place(span, at) && PartOffset(span, at, aIndex, part)) ? part : 0;
}

uint32_t ComponentImpl::GetPartCount() const
{
    Span span;
    uint64_t at;
    GenDCComponentHeaderBase header;
    if (!Place(span, at) || !Load(span, at, header) || !Fits(span, at + kComponentBase, 8 * uint64_t(header.PartCount)))
        return 0;
    return header.PartCount;
}

IZuGenericDataPart *ComponentImpl::GetPart(uint32_t aIndex)
{
    Span span;
    uint64_t at, part;
    if (!Place(span, at) || !PartOffset(span, at, aIndex, part))
        return nullptr;
    std::lock_guard<std::recursive_mutex> hold(mContainer->Lock());
    std::unique_ptr<PartImpl> &slot = mParts[aIndex];
    if (!slot)
        slot.reset(new PartImpl(mContainer, mIndex, aIndex));
    return slot.get();
}

uint32_t ComponentImpl::AddPart(ZuGenDCPartType aPartType, uint32_t aFlow)
{
    uint16_t code = CodeOf(aPartType);
    if (!code || aFlow > UINT16_MAX)
        return uint32_t(GenDCInvalidPartIndex);
    uint32_t index = 0;
    bool done = mContainer->Rebuild([&](Model &aModel) {
        if (mIndex >= aModel.components.size())
            return false;
        ComponentModel &comp = aModel.components[mIndex];
        if (comp.parts.size() >= GenDCInvalidPartIndex)
            return false;
        PartModel part;
        part.header.assign(PartHeaderBytes(code), 0);
        Put<uint16_t>(part.header, 0, code);
        Put<GenDCFlowId>(part.header, 14, GenDCFlowId(aFlow));
        index = uint32_t(comp.parts.size());
        comp.parts.push_back(std::move(part));
        return true;
    });
    return done ? index : uint32_t(GenDCInvalidPartIndex);
}

// ---- Part ----------------------------------------------------------------

bool PartImpl::Place(Span &aSpan, uint64_t &aComponent, uint64_t &aOffset) const
{
    aSpan = mContainer->Bytes().Get();
    return ComponentOffset(aSpan, mComponent, aComponent) && PartOffset(aSpan, aComponent, mIndex, aOffset);
}

GenDCPartHeaderBase PartImpl::Base() const
{
    GenDCPartHeaderBase header = {};
    Span span;
    uint64_t component, at;
    if (Place(span, component, at))
        Load(span, at, header);
    return header;
}

GenDCPartHeader *PartImpl::HeaderView(uint64_t aBytes) const
{
    Span span;
    uint64_t component, at;
    GenDCPartHeaderBase header;
    if (!Place(span, component, at) || !Load(span, at, header))
        return nullptr;
    if (aBytes > kPartBase && header.HeaderSize < aBytes)
        return nullptr;
    return View<GenDCPartHeader>(span, at, aBytes);
}

uint8_t *PartImpl::GetDataPointer()
{
    Span span;
    uint64_t component, at;
    GenDCPartHeaderBase header;
    if (!Place(span, component, at) || !Load(span, at, header))
        return nullptr;
    return PartData(span, header);
}

IZuGenDCImage *PartImpl::GetGenDCImage() const { return Base().HeaderType == Type2D ? &mImage : nullptr; }
IZuGenDCChunkData *PartImpl::GetGenDCChunkData() const
{
    return Base().HeaderType == TypeMetadataGenICamChunk ? &mChunks : nullptr;
}
IZuGenDCChunkWriter *PartImpl::GetGenDCChunkWriter() const
{
    return Base().HeaderType == TypeMetadataGenICamChunk ? &mChunks : nullptr;
}
uint64_t PartImpl::GetReceptionTime() const { return mContainer->Bytes().ReceptionTime(); }

template <class Record>
bool PartImpl::Specific(Record &aRecord) const
{
    Span span;
    uint64_t component, at;
    GenDCPartHeaderBase header;
    if (!Place(span, component, at) || !Load(span, at, header) || header.HeaderSize < sizeof(Record))
        return false;
    return Load(span, at, aRecord);
}

namespace {
// The metadata and 1D records have the same fields, both from the 1D layout.
template <class Fields>
void Decode1D(const GenDCPartHeader1DBase &aHeader, Fields &aFields)
{
    aFields.Size = aHeader.SizeX;
    aFields.Padding = aHeader.PaddingX;
    aFields.PaddingReserved = aHeader.PaddingReserved;
    aFields.InfoReserved = aHeader.InfoReserved;
    aFields.InfoTypeSpecific = aHeader.InfoTypeSpecific;
}

void Decode2D(const GenDCPartHeader2DBase &aHeader, ZuGenDCPart2DFields &aFields)
{
    aFields.SizeX = aHeader.SizeX;
    aFields.SizeY = aHeader.SizeY;
    aFields.PaddingX = aHeader.PaddingX;
    aFields.PaddingY = aHeader.PaddingY;
    aFields.InfoReserved = aHeader.InfoReserved;
}
}

ZuResult PartImpl::GetMetadataSpecificFields(ZuGenDCPartMetadataFields &aFields) const
{
    GenDCPartHeader1DBase header;
    if (!IsMetadata(GetHeaderType()) || !Specific(header))
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("not a metadata part"));
    Decode1D(header, aFields);
    return ZuResult();
}

ZuResult PartImpl::Get1DSpecificFields(ZuGenDCPart1DFields &aFields) const
{
    GenDCPartHeader1DBase header;
    if (!Is1D(GetHeaderType()) || !Specific(header))
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("not a 1D part"));
    Decode1D(header, aFields);
    return ZuResult();
}

ZuResult PartImpl::Get2DSpecificFields(ZuGenDCPart2DFields &aFields) const
{
    GenDCPartHeader2DBase header;
    if (!Is2D(GetHeaderType()) || !Specific(header))
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("not a 2D part"));
    Decode2D(header, aFields);
    return ZuResult();
}

ZuResult PartImpl::GetH264SpecificFields(ZuGenDCPartH264Fields &aFields) const
{
    GenDCPartHeaderH264 header;
    if (GetHeaderType() != TypeH264 || !Specific(header))
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("not an H.264 part"));
    Decode2D(header, aFields);
    const GenDCInfoTypeSpecificH264 &info = header.InfoTypeSpecific;
    aFields.Reserved = info.Reserved;
    aFields.ProfileIDC = info.ProfileIDC;
    std::memcpy(&aFields.Flags, &info.Flags, 1);
    aFields.LevelIDC = info.LevelIDC;
    aFields.SpropInterleavingDepth = info.SpropInterleavingDepth;
    aFields.SpropMaxDonDiff = info.SpropMaxDonDiff;
    aFields.SpropDeintBufReq = info.SpropDeintBufReq;
    aFields.SpropInitBufTime = info.SpropInitBufTime;
    return ZuResult();
}

// ---- Image ---------------------------------------------------------------

namespace {
GenDCPartHeader2DBase Header2D(const PartImpl *aPart)
{
    GenDCPartHeader2DBase header = {};
    Span span;
    uint64_t component, at;
    if (aPart->Place(span, component, at) && Load(span, at, header) && header.HeaderSize < sizeof header)
        header = GenDCPartHeader2DBase();
    return header;
}
}

uint8_t *ImageImpl::GetDataPointer() { return mPart->GetDataPointer(); }
uint32_t ImageImpl::GetImageSize() const
{
    uint64_t size = mPart->GetDataSize();
    return size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
}
uint32_t ImageImpl::GetWidth() const { return Header2D(mPart).SizeX; }
uint32_t ImageImpl::GetHeight() const { return Header2D(mPart).SizeY; }
ZuPixelType ImageImpl::GetPixelType() const { return mPart->Base().Format; }
uint32_t ImageImpl::GetBitsPerPixel() const { return ZuPixelTypeGetBitsPerPixel(GetPixelType()); }
uint32_t ImageImpl::GetOffsetX() const
{
    IZuGenericDataComponent *component = mContainer->GetComponent(mPart->Component());
    return component ? component->GetRegionOffsetX() : 0;
}
uint32_t ImageImpl::GetOffsetY() const
{
    IZuGenericDataComponent *component = mContainer->GetComponent(mPart->Component());
    return component ? component->GetRegionOffsetY() : 0;
}
uint16_t ImageImpl::GetPaddingX() const { return Header2D(mPart).PaddingX; }
uint16_t ImageImpl::GetPaddingY() const { return Header2D(mPart).PaddingY; }
uint64_t ImageImpl::GetBlockID() const { return mContainer->Bytes().BlockID(); }

// ---- Chunks --------------------------------------------------------------

const std::vector<ChunksImpl::Chunk> &ChunksImpl::List(const uint8_t **aData) const
{
    const uint8_t *base = mPart->GetHeaderType() == TypeMetadataGenICamChunk ? mPart->GetDataPointer() : nullptr;
    if (aData)
        *aData = base;
    Source source;
    source.base = base;
    if (base) {
        uint64_t size = mPart->GetDataSize();
        source.size = size > UINT32_MAX ? UINT32_MAX : size;
        source.generation = mContainer->Generation();
        source.block = mContainer->Bytes().BlockID();
        source.time = mContainer->Bytes().ReceptionTime();
        if (source.size >= kChunkTrailer)
            std::memcpy(source.last, base + source.size - kChunkTrailer, kChunkTrailer);
    }
    if (mListed && source == mSource)
        return mList;
    // Read from the end: each trailer tells how far back its data begin.
    std::vector<Chunk> found;
    uint64_t end = source.size;
    while (base && end >= kChunkTrailer) {
        uint32_t id = GetBigEndian(base + end - kChunkTrailer);
        uint32_t length = GetBigEndian(base + end - 4);
        if (length > end - kChunkTrailer)
            break;
        uint64_t offset = end - kChunkTrailer - length;
        found.push_back(Chunk{id, uint32_t(offset), length});
        end = offset;
    }
    mList.assign(found.rbegin(), found.rend());
    mSource = source;
    mListed = true;
    return mList;
}

uint32_t ChunksImpl::GetChunkCount() const
{
    std::lock_guard<std::recursive_mutex> hold(mContainer->Lock());
    return uint32_t(List().size());
}

ZuResult ChunksImpl::GetChunkIDByIndex(uint32_t aIndex, uint32_t &aID) const
{
    std::lock_guard<std::recursive_mutex> hold(mContainer->Lock());
    const std::vector<Chunk> &chunks = List();
    if (aIndex >= chunks.size()) {
        aID = 0;
        return ZuResult(ZU_NOT_FOUND, ZuString("no chunk at that index"));
    }
    aID = chunks[aIndex].id;
    return ZuResult();
}

uint32_t ChunksImpl::GetChunkSizeByIndex(uint32_t aIndex) const
{
    std::lock_guard<std::recursive_mutex> hold(mContainer->Lock());
    const std::vector<Chunk> &chunks = List();
    return aIndex < chunks.size() ? chunks[aIndex].size : 0;
}

uint32_t ChunksImpl::GetChunkSizeByID(uint32_t aID) const
{
    std::lock_guard<std::recursive_mutex> hold(mContainer->Lock());
    for (const Chunk &chunk : List())
        if (chunk.id == aID)
            return chunk.size;
    return 0;
}

const uint8_t *ChunksImpl::GetChunkRawDataByIndex(uint32_t aIndex) const
{
    std::lock_guard<std::recursive_mutex> hold(mContainer->Lock());
    const uint8_t *base;
    const std::vector<Chunk> &chunks = List(&base);
    return aIndex < chunks.size() ? base + chunks[aIndex].offset : nullptr;
}

const uint8_t *ChunksImpl::GetChunkRawDataByID(uint32_t aID) const
{
    std::lock_guard<std::recursive_mutex> hold(mContainer->Lock());
    const uint8_t *base;
    for (const Chunk &chunk : List(&base))
        if (chunk.id == aID)
            return base + chunk.offset;
    return nullptr;
}

uint32_t ChunksImpl::GetChunkLayoutID() const
{
    GenDCPartHeader1DBase header;
    return mPart->Specific(header) ? uint32_t(header.InfoTypeSpecific) : 0;
}

ZuResult ChunksImpl::AddChunk(uint32_t aID, const uint8_t *aData, uint32_t aLength)
{
    if (aLength % 4)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("a chunk length is a multiple of 4"));
    if (aLength && !aData)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no chunk data"));
    uint32_t component = mPart->Component(), index = mPart->Index();
    bool done = mContainer->Rebuild([&](Model &aModel) {
        if (component >= aModel.components.size() || index >= aModel.components[component].parts.size())
            return false;
        PartModel &part = aModel.components[component].parts[index];
        if (part.data.size() + aLength + kChunkTrailer > kLimit)
            return false;
        part.data.insert(part.data.end(), aData, aData + aLength);
        uint8_t trailer[kChunkTrailer];
        PutBigEndian(trailer, aID);
        PutBigEndian(trailer + 4, aLength);
        part.data.insert(part.data.end(), trailer, trailer + kChunkTrailer);
        if (part.header.size() >= sizeof(GenDCPartHeader1DBase))
            Put<GenDCSize1D>(part.header, kPartBase, part.data.size());
        return true;
    });
    return done ? ZuResult() : ZuResult(ZU_BUFFER_TOO_SMALL, ZuString("the container has no room for the chunk"));
}

void ChunksImpl::ResetChunks()
{
    uint32_t component = mPart->Component(), index = mPart->Index();
    mContainer->Rebuild([&](Model &aModel) {
        if (component >= aModel.components.size() || index >= aModel.components[component].parts.size())
            return false;
        PartModel &part = aModel.components[component].parts[index];
        part.data.clear();
        if (part.header.size() >= sizeof(GenDCPartHeader1DBase))
            Put<GenDCSize1D>(part.header, kPartBase, 0);
        return true;
    });
}

// ---- Memory of a buffer --------------------------------------------------

class OfBuffer : public Memory
{
public:
    explicit OfBuffer(ZuBuffer *aBuffer) : mBuffer(aBuffer) {}
    Span Get() const override { return Span{mBuffer->GetDataPointer(), mBuffer->GetSize(), nullptr}; }
    std::shared_ptr<void> Share(const void *aPointer) const override { return tarn::BufferBinding::ShareMemory(*mBuffer, aPointer); }
    bool Replace(const std::vector<uint8_t> &aBytes) override
    {
        // A buffer's memory does not grow: the container must fit it.
        Span span = Get();
        if (!span.data || aBytes.size() > span.size)
            return false;
        std::memcpy(span.data, aBytes.data(), aBytes.size());
        return true;
    }
    uint64_t Capacity() const override { return mBuffer->GetSize(); }
    uint64_t BlockID() const override { return mBuffer->GetBlockID(); }
    uint64_t ReceptionTime() const override { return mBuffer->GetReceptionTime(); }

private:
    ZuBuffer *mBuffer;
};

// Memory of a manager: a new block for each layout, so that views of an
// earlier one stay readable for as long as they hold it.
class OfManager : public Memory
{
public:
    Span Get() const override
    {
        std::lock_guard<std::mutex> hold(mLock);
        return Span{mBlock.get(), mSize, mBlock};
    }
    std::shared_ptr<void> Share(const void *aPointer) const override
    {
        std::lock_guard<std::mutex> hold(mLock);
        const uint8_t *p = static_cast<const uint8_t *>(aPointer);
        if (mBlock && p >= mBlock.get() && p <= mBlock.get() + mSize)
            return mBlock;
        return std::shared_ptr<void>();
    }
    bool Replace(const std::vector<uint8_t> &aBytes) override
    {
        uint8_t *memory = new (std::nothrow) uint8_t[aBytes.size() ? aBytes.size() : 1]();
        if (!memory)
            return false;
        if (!aBytes.empty())
            std::memcpy(memory, aBytes.data(), aBytes.size());
        std::lock_guard<std::mutex> hold(mLock);
        mBlock.reset(memory, std::default_delete<uint8_t[]>());
        mSize = aBytes.size();
        return true;
    }

    uint64_t Capacity() const override { return kLimit; }

private:
    mutable std::mutex mLock;
    std::shared_ptr<uint8_t> mBlock;
    uint64_t mSize = 0;
};

}

std::unique_ptr<IZuGenericDataContainer> NewContainer(std::unique_ptr<Memory> aMemory)
{
    return std::unique_ptr<IZuGenericDataContainer>(new ContainerImpl(std::move(aMemory)));
}

std::unique_ptr<Memory> BufferMemory(ZuBuffer *aBuffer) { return std::unique_ptr<Memory>(new OfBuffer(aBuffer)); }

uint64_t LaidOutSize(IZuGenericDataContainer *aContainer)
{
    ContainerImpl *container = dynamic_cast<ContainerImpl *>(aContainer);
    Model model;
    uint64_t size = 0;
    try {
        if (!container || !Read(container->Bytes().Get(), model, container->Bytes().Capacity()) || !Write(model, nullptr, size))
            return 0;
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return size;
}

bool LayOut(IZuGenericDataContainer *aContainer)
{
    ContainerImpl *container = dynamic_cast<ContainerImpl *>(aContainer);
    return container && container->Rebuild([](Model &) { return true; });
}

void Clear(IZuGenericDataContainer *aContainer)
{
    if (ContainerImpl *container = dynamic_cast<ContainerImpl *>(aContainer)) {
        container->Rebuild([](Model &aModel) {
            aModel = EmptyModel();
            return true;
        }, true);
    }
}

}

using namespace zu_gendc;

// ---- Functions of the public header ----------------------------------------

namespace {
template <class T>
std::shared_ptr<void> ShareOf(const T *aObject, const void *aPointer)
{
    const Node *node = dynamic_cast<const Node *>(aObject);
    return (node && aPointer) ? node->Share(aPointer) : std::shared_ptr<void>();
}
}

std::shared_ptr<void> ZuGenDCShareMemory(const IZuGenericDataContainer *aObject, const void *aPointer) { return ShareOf(aObject, aPointer); }
std::shared_ptr<void> ZuGenDCShareMemory(const IZuGenericDataComponent *aObject, const void *aPointer) { return ShareOf(aObject, aPointer); }
std::shared_ptr<void> ZuGenDCShareMemory(const IZuGenericDataPart *aObject, const void *aPointer) { return ShareOf(aObject, aPointer); }
std::shared_ptr<void> ZuGenDCShareMemory(const IZuGenDCImage *aObject, const void *aPointer) { return ShareOf(aObject, aPointer); }
std::shared_ptr<void> ZuGenDCShareMemory(const IZuGenDCChunkData *aObject, const void *aPointer) { return ShareOf(aObject, aPointer); }

GenDCPartHeader *ZuGenDCPartHeaderView(IZuGenericDataPart *aPart, uint64_t aBytes)
{
    PartImpl *part = dynamic_cast<PartImpl *>(aPart);
    return part ? part->HeaderView(aBytes) : nullptr;
}

ZuResult ZuGenDCValidate(const uint8_t *aData, uint64_t aSize)
{
    Span span{const_cast<uint8_t *>(aData), aData ? aSize : 0, nullptr};
    GenDCContainerHeaderBase header;
    if (!Load(span, 0, header))
        return Fault(ZU_BUFFER_TOO_SMALL, "%llu bytes hold no container header", span.size);
    if (header.Signature != Signature_GNDC)
        return Fault(ZU_INVALID_DATA_FORMAT, "no GenDC signature");
    if (header.VersionMajor != VersionMajorCurrent)
        return Fault(ZU_BAD_VERSION, "GenDC major version %llu is not supported", header.VersionMajor);
    if (header.HeaderType != TypeContainer)
        return Fault(ZU_INVALID_DATA_FORMAT, "the first header is not a container header");
    if (header.ComponentCount < GDC_CONTAINER_COMPONENT_COUNT_MIN)
        return Fault(ZU_INVALID_DATA_FORMAT, "the container has no component");
    uint64_t descriptor = header.DescriptorSize;
    if (descriptor > span.size)
        return Fault(ZU_BUFFER_TOO_SMALL, "the descriptor of %llu bytes reaches past the %llu bytes of the container",
                     descriptor, span.size);
    uint64_t own = kContainerBase + 8 * uint64_t(header.ComponentCount);
    if (header.HeaderSize < own || header.HeaderSize > descriptor)
        return Fault(ZU_INVALID_DATA_FORMAT, "the container header size %llu does not fit its %llu components",
                     header.HeaderSize, header.ComponentCount);
    if (header.DataOffset < 0 || uint64_t(header.DataOffset) > span.size
        || span.size - uint64_t(header.DataOffset) < header.DataSize)
        return Fault(ZU_BUFFER_TOO_SMALL, "the container data reach past the end of the container");
    Span inside{span.data, descriptor, nullptr};
    // Components may share a header (and so its parts): each header is
    // checked once, or n bytes of offsets to one header of n/8 parts would
    // cost (n/16)^2 steps.
    std::unordered_set<GenDCOffset> checked;
    for (uint32_t c = 0; c < header.ComponentCount; ++c) {
        GenDCOffset at = 0;
        Load(inside, kContainerBase + 8 * uint64_t(c), at);
        if (!checked.insert(at).second)
            continue;
        GenDCComponentHeaderBase component;
        if (at < 0 || at % 8 || !Load(inside, uint64_t(at), component))
            return Fault(ZU_INVALID_DATA_FORMAT, "the header of component %llu lies outside the descriptor", c);
        if (component.HeaderType != TypeComponent)
            return Fault(ZU_INVALID_DATA_FORMAT, "the header of component %llu is not a component header", c);
        if (component.PartCount < GDC_COMPONENT_PART_COUNT_MIN)
            return Fault(ZU_INVALID_DATA_FORMAT, "component %llu has no part", c);
        uint64_t needed = kComponentBase + 8 * uint64_t(component.PartCount);
        if (component.HeaderSize < needed || !Fits(inside, uint64_t(at), component.HeaderSize))
            return Fault(ZU_INVALID_DATA_FORMAT, "the header size of component %llu does not fit its parts", c);
        for (uint32_t p = 0; p < component.PartCount; ++p) {
            GenDCOffset partAt = 0;
            Load(inside, uint64_t(at) + kComponentBase + 8 * uint64_t(p), partAt);
            GenDCPartHeaderBase part;
            if (partAt < 0 || partAt % 8 || !Load(inside, uint64_t(partAt), part))
                return Fault(ZU_INVALID_DATA_FORMAT, "the header of part %llu of component %llu lies outside the descriptor",
                             p, c);
            if ((part.HeaderType & GDC_HEADER_TYPE_MASK) != GDC_PART_HEADER)
                return Fault(ZU_INVALID_DATA_FORMAT, "the header of part %llu of component %llu is not a part header", p, c);
            if (part.HeaderSize < PartHeaderBytes(part.HeaderType) || !Fits(inside, uint64_t(partAt), part.HeaderSize))
                return Fault(ZU_INVALID_DATA_FORMAT, "the header size of part %llu of component %llu does not fit its type",
                             p, c);
            if (!PartData(span, part))
                return Fault(ZU_BUFFER_TOO_SMALL, "the data of part %llu of component %llu reach past the end of the container",
                             p, c);
        }
    }
    return ZuResult();
}

// ---- Manager ---------------------------------------------------------------

ZuGenDCManager::ZuGenDCManager() : mContainer(NewContainer(std::unique_ptr<zu_gendc::Memory>(new OfManager)))
{
    Clear(mContainer.get());
}

ZuGenDCManager::~ZuGenDCManager() {}

uint64_t ZuGenDCManager::GetTotalPayloadSize() const
{
    LayOut(mContainer.get());
    return LaidOutSize(mContainer.get());
}

IZuGenericDataContainer *ZuGenDCManager::GetGenDC() const { return mContainer.get(); }

void ZuGenDCManager::ResetContainer() { Clear(mContainer.get()); }

const uint8_t *ZuGenDCManager::GetPayload() const
{
    ContainerImpl *container = dynamic_cast<ContainerImpl *>(mContainer.get());
    return container ? container->Bytes().Get().data : nullptr;
}
