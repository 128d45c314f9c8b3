#include "ParameterImpl.h"
#include "ZuResultCodes.h"
#include "tarn/genicam/Parameters.h"
#include "tarn/Holds.h"

using ZU_GENAPI_NS::INode;
using ZU_GENAPI_NS::INodeMap;
using ZU_GENAPI_NS::NodeInterface;
using tarn::GenParameterAccess;

namespace
{

ZuResult Failure(uint32_t aCode, const std::string &aWhy) { return ZuResult(aCode, ZuString(aWhy.c_str())); }

ZuResult Missing(const ZuString &aName, const char *aKind)
{
    return Failure(ZU_NOT_FOUND, std::string("no ") + aKind + " feature '" + aName.Narrow() + "'");
}

} // namespace

GenParameterAccess::Owned GenParameterAccess::Make(INode *aNode, ZuGenParameterArray *aArray)
{
    Owned lP;
    switch (aNode->GetInterface()) {
    case NodeInterface::Category:
    case NodeInterface::EnumEntry: return lP;
    case NodeInterface::Integer: lP.reset(new ZuGenInteger(aNode)); break;
    case NodeInterface::Float: lP.reset(new ZuGenFloat(aNode)); break;
    case NodeInterface::Enumeration: lP.reset(new ZuGenEnum(aNode)); break;
    case NodeInterface::Boolean: lP.reset(new ZuGenBoolean(aNode)); break;
    case NodeInterface::Command: lP.reset(new ZuGenCommand(aNode)); break;
    case NodeInterface::String: lP.reset(new ZuGenString(aNode)); break;
    case NodeInterface::Register: lP.reset(new ZuGenRegister(aNode)); break;
    default: lP.reset(new ZuGenParameter(aNode)); break;
    }
    lP->mImpl->array = aArray;
    return lP;
}

ZuGenParameterArray::ZuGenParameterArray() : mImpl(new Impl) {}

ZuGenParameterArray::~ZuGenParameterArray()
{
    // Lent to the bindings (a device's or stream's parameters).
    tarn::Lent::Goes(this);
    mImpl->Clear();
}

void ZuGenParameterArray::Impl::Clear()
{
    // Lent to the bindings by the array's getters (a parameter with its
    // node and entries).
    if (map) tarn::Lent::Goes(map.get());
    std::vector<const void *> lGone;
    for (const auto &p : parameters) {
        tarn::Lent::Goes(p.get());
        lGone.push_back(dynamic_cast<const void *>(p.get()));
    }
    for (const auto &c : categories) tarn::Lent::Gone(c.get());  // not polymorphic: its own address
    // Parameters first: they unregister from nodes of the map.
    byName.clear();
    parameters.clear();
    // What the bindings held for them (their sinks) goes once they have.
    for (const void *p : lGone) tarn::Holds::DropOwner(p);
    categoriesByName.clear();
    categories.clear();
    map.reset();
    attachmentOwner.reset();
}

ZuResult tarn::LoadDescription(ZuGenParameterArray &aArray, const char *aXml, size_t aLength, ZU_GENAPI_NS::IPort *aPort)
{
    std::unique_ptr<INodeMap> lMap;
    ZuResult lR = ZU_GENAPI_NS::LoadNodeMap(aXml, aLength, aPort, lMap);
    return GenParameterAccess::Of(aArray).Adopt(lR, lMap, &aArray);
}

ZuResult tarn::LoadZippedDescription(ZuGenParameterArray &aArray, const uint8_t *aZip, size_t aLength,
                                     ZU_GENAPI_NS::IPort *aPort)
{
    std::unique_ptr<INodeMap> lMap;
    ZuResult lR = ZU_GENAPI_NS::LoadNodeMapFromZip(aZip, aLength, aPort, lMap);
    return GenParameterAccess::Of(aArray).Adopt(lR, lMap, &aArray);
}

ZuResult tarn::LoadDescriptionFromUrl(ZuGenParameterArray &aArray, const std::string &aUrl, ZU_GENAPI_NS::IPort *aPort)
{
    std::unique_ptr<INodeMap> lMap;
    ZuResult lR = ZU_GENAPI_NS::LoadNodeMapFromUrl(aUrl, aPort, lMap);
    return GenParameterAccess::Of(aArray).Adopt(lR, lMap, &aArray);
}

ZuResult ZuGenParameterArray::Impl::Adopt(ZuResult aResult, std::unique_ptr<INodeMap> &aMap, ZuGenParameterArray *aOwner)
{
    Clear();
    if (!aResult.IsOK()) return aResult;
    map = std::move(aMap);
    for (size_t lI = 0; lI < map->GetNodeCount(); ++lI) {
        INode *lN = map->GetNodeByIndex(lI);
        if (lN->GetInterface() == NodeInterface::Category) {
            categories.push_back(GenParameterAccess::MakeCategory(lN));
            categoriesByName[lN->GetName()] = categories.back().get();
            continue;
        }
        GenParameterAccess::Owned lP = GenParameterAccess::Make(lN, aOwner);
        if (!lP) continue;
        byName[lN->GetName()] = lP.get();
        parameters.push_back(std::move(lP));
    }
    return aResult;
}

ZuGenParameter *ZuGenParameterArray::Impl::Find(const ZuString &aName) const
{
    auto lIt = byName.find(aName.Narrow());
    return lIt == byName.end() ? nullptr : lIt->second;
}

uint32_t ZuGenParameterArray::GetCount() const { return static_cast<uint32_t>(mImpl->parameters.size()); }

ZuGenParameter *ZuGenParameterArray::Get(uint32_t aIndex)
{
    return aIndex < mImpl->parameters.size() ? mImpl->parameters[aIndex].get() : nullptr;
}

ZuGenParameter *ZuGenParameterArray::Get(const ZuString &aName) { return mImpl->Find(aName); }

ZuGenParameter *ZuGenParameterArray::operator[](uint32_t aIndex) { return Get(aIndex); }
ZuGenParameter *ZuGenParameterArray::operator[](const ZuString &aName) { return Get(aName); }

// The kinds by name: a parameter's class follows its node's interface (GenParameterAccess::Make).
#define TARN_KIND_BY_NAME(Kind, Interface)                                           \
    ZuGen##Kind *ZuGenParameterArray::Get##Kind(const ZuString &aName)               \
    {                                                                                \
        return GenParameterAccess::As<ZuGen##Kind>(Get(aName), NodeInterface::Interface); \
    }
TARN_KIND_BY_NAME(Integer, Integer)
TARN_KIND_BY_NAME(Float, Float)
TARN_KIND_BY_NAME(Enum, Enumeration)
TARN_KIND_BY_NAME(Boolean, Boolean)
TARN_KIND_BY_NAME(Command, Command)
TARN_KIND_BY_NAME(String, String)
TARN_KIND_BY_NAME(Register, Register)
#undef TARN_KIND_BY_NAME

ZuResult ZuGenParameterArray::GetIntegerValue(const ZuString &aName, int64_t &aValue)
{
    ZuGenInteger *lP = GetInteger(aName);
    return lP ? lP->GetValue(aValue) : Missing(aName, "integer");
}

namespace
{

struct HeldIntegerRead
{
    ZuGenInteger *parameter;
    int64_t value;
    ZuResult result;
};

} // namespace

bool tarn::TryIntegerValueWithoutWaiting(ZuGenParameterArray &aArray, const ZuString &aName, int64_t &aValue,
                                         ZuResult &aResult)
{
    ZuGenInteger *lP = aArray.GetInteger(aName);
    if (!lP) {
        aResult = Missing(aName, "integer");
        return true;
    }
    HeldIntegerRead lRead{lP, aValue, ZuResult()};
    auto lReadIt = [](void *aContext) {
        auto *lR = static_cast<HeldIntegerRead *>(aContext);
        lR->result = lR->parameter->GetValue(lR->value);
    };
    if (!GenParameterAccess::Of(aArray).map->ReadWithoutWaiting(lReadIt, &lRead)) return false;
    aValue = lRead.value;
    aResult = lRead.result;
    return true;
}

ZuResult ZuGenParameterArray::GetFloatValue(const ZuString &aName, double &aValue)
{
    ZuGenFloat *lP = GetFloat(aName);
    return lP ? lP->GetValue(aValue) : Missing(aName, "float");
}

ZuResult ZuGenParameterArray::GetBooleanValue(const ZuString &aName, bool &aValue)
{
    aValue = false;
    ZuGenBoolean *lP = GetBoolean(aName);
    return lP ? lP->GetValue(aValue) : Missing(aName, "boolean");
}

ZuResult ZuGenParameterArray::GetStringValue(const ZuString &aName, ZuString &aValue)
{
    ZuGenString *lP = GetString(aName);
    return lP ? lP->GetValue(aValue) : Missing(aName, "string");
}

ZuResult ZuGenParameterArray::GetEnumValue(const ZuString &aName, ZuString &aValue)
{
    ZuGenEnum *lP = GetEnum(aName);
    return lP ? lP->GetValue(aValue) : Missing(aName, "enumeration");
}

ZuResult ZuGenParameterArray::GetEnumValue(const ZuString &aName, int64_t &aValue)
{
    ZuGenEnum *lP = GetEnum(aName);
    return lP ? lP->GetValue(aValue) : Missing(aName, "enumeration");
}

ZuResult ZuGenParameterArray::SetIntegerValue(const ZuString &aName, int64_t aValue)
{
    ZuGenInteger *lP = GetInteger(aName);
    return lP ? lP->SetValue(aValue) : Missing(aName, "integer");
}

ZuResult ZuGenParameterArray::SetFloatValue(const ZuString &aName, double aValue)
{
    ZuGenFloat *lP = GetFloat(aName);
    return lP ? lP->SetValue(aValue) : Missing(aName, "float");
}

ZuResult ZuGenParameterArray::SetBooleanValue(const ZuString &aName, bool aValue)
{
    ZuGenBoolean *lP = GetBoolean(aName);
    return lP ? lP->SetValue(aValue) : Missing(aName, "boolean");
}

ZuResult ZuGenParameterArray::SetStringValue(const ZuString &aName, const ZuString &aText)
{
    ZuGenString *lP = GetString(aName);
    return lP ? lP->SetValue(aText) : Missing(aName, "string");
}

ZuResult ZuGenParameterArray::SetEnumValue(const ZuString &aName, const ZuString &aText)
{
    ZuGenEnum *lP = GetEnum(aName);
    return lP ? lP->SetValue(aText) : Missing(aName, "enumeration");
}

ZuResult ZuGenParameterArray::SetEnumValue(const ZuString &aName, int64_t aValue)
{
    ZuGenEnum *lP = GetEnum(aName);
    return lP ? lP->SetValue(aValue) : Missing(aName, "enumeration");
}

ZuResult ZuGenParameterArray::ExecuteCommand(const ZuString &aName)
{
    ZuGenCommand *lP = GetCommand(aName);
    return lP ? lP->Execute() : Missing(aName, "command");
}

ZuResult ZuGenParameterArray::GetIntegerRange(const ZuString &aName, int64_t &aMin, int64_t &aMax)
{
    ZuGenInteger *lP = GetInteger(aName);
    if (!lP) return Missing(aName, "integer");
    ZuResult lR = lP->GetMin(aMin);
    return lR.IsOK() ? lP->GetMax(aMax) : lR;
}

ZuResult ZuGenParameterArray::GetFloatRange(const ZuString &aName, double &aMin, double &aMax)
{
    ZuGenFloat *lP = GetFloat(aName);
    if (!lP) return Missing(aName, "float");
    ZuResult lR = lP->GetMin(aMin);
    return lR.IsOK() ? lP->GetMax(aMax) : lR;
}

ZuResult ZuGenParameterArray::InvalidateCache()
{
    if (mImpl->map) mImpl->map->InvalidateNodes();
    return ZuResult();
}

ZuResult ZuGenParameterArray::Poll()
{
    if (mImpl->map) mImpl->map->Poll(-1);
    return ZuResult();
}

ZuResult tarn::PollElapsed(ZuGenParameterArray &aArray, int64_t aElapsedMs)
{
    auto &d = GenParameterAccess::Of(aArray);
    if (d.map) d.map->Poll(aElapsedMs < 0 ? 0 : aElapsedMs);
    return ZuResult();
}

ZuResult tarn::DeliverEvent(ZuGenParameterArray &aArray, uint64_t aEventID, const uint8_t *aData, size_t aLength,
                            ZuGenParameterList *aAffected)
{
    auto &d = GenParameterAccess::Of(aArray);
    if (aAffected) aAffected->Clear();
    if (!d.map) return Failure(ZU_NOT_INITIALIZED, "no description is loaded");
    std::vector<INode *> lNodes;
    ZuResult lR = d.map->DeliverEvent(aEventID, aData, aLength, &lNodes);
    if (aAffected)
        for (INode *lN : lNodes) {
            auto lIt = d.byName.find(lN->GetName());
            if (lIt != d.byName.end()) aAffected->Add(lIt->second);
        }
    return lR;
}

uint32_t ZuGenParameterArray::GetCategoryCount() const { return static_cast<uint32_t>(mImpl->categories.size()); }

ZuGenCategory *ZuGenParameterArray::GetCategory(uint32_t aIndex)
{
    return aIndex < mImpl->categories.size() ? mImpl->categories[aIndex].get() : nullptr;
}

ZuGenCategory *ZuGenParameterArray::GetCategory(const ZuString &aName)
{
    auto lIt = mImpl->categoriesByName.find(aName.Narrow());
    return lIt == mImpl->categoriesByName.end() ? nullptr : lIt->second;
}

ZU_GENAPI_NS::INodeMap *ZuGenParameterArray::GetNodeMap() { return mImpl->map.get(); }

ZuGenAccessMode ZuGenParameterArray::GetAccessMode() const
{
    return mImpl->map ? mImpl->map->GetPortAccessMode() : ZuGenAccessModeNotImplemented;
}

ZuResult ZuGenParameterArray::AttachDataChunks(uint8_t *aBuffer, uint32_t aBufferLength)
{
    // The previous owner goes only once the map no longer points at it.
    std::shared_ptr<void> lPrevious = std::move(mImpl->attachmentOwner);
    if (!mImpl->map) return Failure(ZU_NOT_INITIALIZED, "no description is loaded");
    return mImpl->map->AttachDataChunks(aBuffer, aBufferLength);
}

void tarn::KeepAttachment(ZuGenParameterArray &aArray, const void *aData, std::shared_ptr<void> aOwner)
{
    auto &d = GenParameterAccess::Of(aArray);
    if (d.map && aData && d.map->GetAttachedChunks() == aData) d.attachmentOwner = std::move(aOwner);
}

ZuResult ZuGenParameterArray::DetachDataChunks()
{
    std::shared_ptr<void> lPrevious = std::move(mImpl->attachmentOwner);
    if (!mImpl->map) return Failure(ZU_NOT_INITIALIZED, "no description is loaded");
    return mImpl->map->DetachDataChunks();
}

// ---- State stack ------------------------------------------------------------------

ZuGenStateStack::ZuGenStateStack(ZuGenParameterArray *aArray) : mImpl(new Impl) { mImpl->array = aArray; }

ZuGenStateStack::~ZuGenStateStack()
{
    Impl &d = *mImpl;
    if (!d.array) return;
    for (auto lIt = d.saved.rbegin(); lIt != d.saved.rend(); ++lIt)
        if (ZuGenParameter *lP = d.array->Get(ZuString(lIt->first))) lP->FromString(ZuString(lIt->second));
}

void tarn::KeepArray(ZuGenStateStack &aStack, std::shared_ptr<void> aOwner)
{
    GenParameterAccess::Of(aStack).arrayOwner = std::move(aOwner);
}

ZuResult ZuGenStateStack::Impl::Remember(const ZuString &aName)
{
    if (!array) return Failure(ZU_NOT_INITIALIZED, "the state stack has no parameter array");
    ZuGenParameter *lP = array->Get(aName);
    if (!lP) return Failure(ZU_NOT_FOUND, "no feature '" + aName.Narrow() + "'");
    ZuString lText;
    ZuResult lR = lP->ToString(lText);
    if (lR.IsOK()) saved.emplace_back(aName.Narrow(), lText.Narrow());
    return lR;
}

// Each setter keeps the previous value only once the write succeeded, so a
// failed write leaves nothing to restore. A feature that cannot be read
// (write-only) is written all the same, with nothing to restore.
#define TARN_STACKED(call)                                          \
    Impl &d = *mImpl;                                               \
    size_t lMark = d.saved.size();                                  \
    ZuResult lR = d.Remember(aName);                                \
    if (!d.array || lR.GetCode() == ZU_NOT_FOUND) return lR;        \
    lR = d.array->call;                                             \
    if (!lR.IsOK()) d.saved.resize(lMark);                          \
    return lR

ZuResult ZuGenStateStack::SetIntegerValue(const ZuString &aName, int64_t aValue) { TARN_STACKED(SetIntegerValue(aName, aValue)); }
ZuResult ZuGenStateStack::SetFloatValue(const ZuString &aName, double aValue) { TARN_STACKED(SetFloatValue(aName, aValue)); }
ZuResult ZuGenStateStack::SetBooleanValue(const ZuString &aName, bool aValue) { TARN_STACKED(SetBooleanValue(aName, aValue)); }
ZuResult ZuGenStateStack::SetStringValue(const ZuString &aName, const ZuString &aText) { TARN_STACKED(SetStringValue(aName, aText)); }
ZuResult ZuGenStateStack::SetEnumValue(const ZuString &aName, const ZuString &aText) { TARN_STACKED(SetEnumValue(aName, aText)); }
ZuResult ZuGenStateStack::SetEnumValue(const ZuString &aName, int64_t aValue) { TARN_STACKED(SetEnumValue(aName, aValue)); }
