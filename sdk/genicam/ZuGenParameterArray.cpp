#include "ZuGenParameterArray.h"
#include "ZuResultCodes.h"
#include "tarn/genicam/Engine.h"

using ZU_GENAPI_NS::INode;
using ZU_GENAPI_NS::INodeMap;
using ZU_GENAPI_NS::NodeInterface;

namespace
{

ZuResult Failure(uint32_t aCode, const std::string &aWhy) { return ZuResult(aCode, ZuString(aWhy.c_str())); }

ZuResult Missing(const ZuString &aName, const char *aKind)
{
    return Failure(ZU_NOT_FOUND, std::string("no ") + aKind + " feature '" + aName.Narrow() + "'");
}

} // namespace

ZuGenParameterArray::ZuGenParameterArray() {}

ZuGenParameterArray::~ZuGenParameterArray() { Clear(); }

void ZuGenParameterArray::Clear()
{
    // Parameters first: they unregister from nodes of the map.
    mByName.clear();
    mParameters.clear();
    mCategoriesByName.clear();
    mCategories.clear();
    mMap.reset();
    mAttachmentOwner.reset();
}

ZuResult ZuGenParameterArray::Load(const char *aXml, size_t aLength, ZU_GENAPI_NS::IPort *aPort)
{
    std::unique_ptr<INodeMap> lMap;
    ZuResult lR = ZU_GENAPI_NS::LoadNodeMap(aXml, aLength, aPort, lMap);
    return Adopt(lR, lMap);
}

ZuResult ZuGenParameterArray::LoadZip(const uint8_t *aZip, size_t aLength, ZU_GENAPI_NS::IPort *aPort)
{
    std::unique_ptr<INodeMap> lMap;
    ZuResult lR = ZU_GENAPI_NS::LoadNodeMapFromZip(aZip, aLength, aPort, lMap);
    return Adopt(lR, lMap);
}

ZuResult ZuGenParameterArray::LoadUrl(const std::string &aUrl, ZU_GENAPI_NS::IPort *aPort)
{
    std::unique_ptr<INodeMap> lMap;
    ZuResult lR = ZU_GENAPI_NS::LoadNodeMapFromUrl(aUrl, aPort, lMap);
    return Adopt(lR, lMap);
}

ZuResult ZuGenParameterArray::Adopt(ZuResult aResult, std::unique_ptr<INodeMap> &aMap)
{
    Clear();
    if (!aResult.IsOK()) return aResult;
    mMap = std::move(aMap);
    for (size_t lI = 0; lI < mMap->GetNodeCount(); ++lI) {
        INode *lN = mMap->GetNodeByIndex(lI);
        std::unique_ptr<ZuGenParameter> lP;
        switch (lN->GetInterface()) {
        case NodeInterface::Category: {
            mCategories.emplace_back(new ZuGenCategory(lN));
            mCategoriesByName[lN->GetName()] = mCategories.back().get();
            continue;
        }
        case NodeInterface::EnumEntry: continue;
        case NodeInterface::Integer: lP.reset(new ZuGenInteger(lN)); break;
        case NodeInterface::Float: lP.reset(new ZuGenFloat(lN)); break;
        case NodeInterface::Enumeration: lP.reset(new ZuGenEnum(lN)); break;
        case NodeInterface::Boolean: lP.reset(new ZuGenBoolean(lN)); break;
        case NodeInterface::Command: lP.reset(new ZuGenCommand(lN)); break;
        case NodeInterface::String: lP.reset(new ZuGenString(lN)); break;
        case NodeInterface::Register: lP.reset(new ZuGenRegister(lN)); break;
        default: lP.reset(new ZuGenParameter(lN)); break;
        }
        lP->mArray = this;
        mByName[lN->GetName()] = lP.get();
        mParameters.push_back(std::move(lP));
    }
    return aResult;
}

uint32_t ZuGenParameterArray::GetCount() const { return static_cast<uint32_t>(mParameters.size()); }

ZuGenParameter *ZuGenParameterArray::Get(uint32_t aIndex) { return aIndex < mParameters.size() ? mParameters[aIndex].get() : nullptr; }

ZuGenParameter *ZuGenParameterArray::Get(const ZuString &aName)
{
    auto lIt = mByName.find(aName.Narrow());
    return lIt == mByName.end() ? nullptr : lIt->second;
}

ZuGenParameter *ZuGenParameterArray::operator[](uint32_t aIndex) { return Get(aIndex); }
ZuGenParameter *ZuGenParameterArray::operator[](const ZuString &aName) { return Get(aName); }

ZuGenInteger *ZuGenParameterArray::GetInteger(const ZuString &aName) { return dynamic_cast<ZuGenInteger *>(Get(aName)); }
ZuGenFloat *ZuGenParameterArray::GetFloat(const ZuString &aName) { return dynamic_cast<ZuGenFloat *>(Get(aName)); }
ZuGenEnum *ZuGenParameterArray::GetEnum(const ZuString &aName) { return dynamic_cast<ZuGenEnum *>(Get(aName)); }
ZuGenBoolean *ZuGenParameterArray::GetBoolean(const ZuString &aName) { return dynamic_cast<ZuGenBoolean *>(Get(aName)); }
ZuGenCommand *ZuGenParameterArray::GetCommand(const ZuString &aName) { return dynamic_cast<ZuGenCommand *>(Get(aName)); }
ZuGenString *ZuGenParameterArray::GetString(const ZuString &aName) { return dynamic_cast<ZuGenString *>(Get(aName)); }
ZuGenRegister *ZuGenParameterArray::GetRegister(const ZuString &aName) { return dynamic_cast<ZuGenRegister *>(Get(aName)); }

ZuResult ZuGenParameterArray::GetIntegerValue(const ZuString &aName, int64_t &aValue)
{
    ZuGenInteger *lP = GetInteger(aName);
    return lP ? lP->GetValue(aValue) : Missing(aName, "integer");
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
    if (mMap) mMap->InvalidateNodes();
    return ZuResult();
}

ZuResult ZuGenParameterArray::Poll()
{
    if (mMap) mMap->Poll(-1);
    return ZuResult();
}

ZuResult ZuGenParameterArray::Poll(int64_t aElapsedMs)
{
    if (mMap) mMap->Poll(aElapsedMs < 0 ? 0 : aElapsedMs);
    return ZuResult();
}

ZuResult ZuGenParameterArray::DeliverEvent(uint64_t aEventID, const uint8_t *aData, size_t aLength, ZuGenParameterList *aAffected)
{
    if (aAffected) aAffected->Clear();
    if (!mMap) return Failure(ZU_NOT_INITIALIZED, "no description is loaded");
    std::vector<INode *> lNodes;
    ZuResult lR = mMap->DeliverEvent(aEventID, aData, aLength, &lNodes);
    if (aAffected)
        for (INode *lN : lNodes)
            if (ZuGenParameter *lP = Get(ZuString(lN->GetName()))) aAffected->Add(lP);
    return lR;
}

uint32_t ZuGenParameterArray::GetCategoryCount() const { return static_cast<uint32_t>(mCategories.size()); }

ZuGenCategory *ZuGenParameterArray::GetCategory(uint32_t aIndex)
{
    return aIndex < mCategories.size() ? mCategories[aIndex].get() : nullptr;
}

ZuGenCategory *ZuGenParameterArray::GetCategory(const ZuString &aName)
{
    auto lIt = mCategoriesByName.find(aName.Narrow());
    return lIt == mCategoriesByName.end() ? nullptr : lIt->second;
}

ZU_GENAPI_NS::INodeMap *ZuGenParameterArray::GetNodeMap() { return mMap.get(); }

ZuGenAccessMode ZuGenParameterArray::GetAccessMode() const
{
    return mMap ? mMap->GetPortAccessMode() : ZuGenAccessModeNotImplemented;
}

ZuResult ZuGenParameterArray::AttachDataChunks(uint8_t *aBuffer, uint32_t aBufferLength)
{
    // The previous owner goes only once the map no longer points at it.
    std::shared_ptr<void> lPrevious = std::move(mAttachmentOwner);
    if (!mMap) return Failure(ZU_NOT_INITIALIZED, "no description is loaded");
    return mMap->AttachDataChunks(aBuffer, aBufferLength);
}

void ZuGenParameterArray::KeepAttachment(const void *aData, std::shared_ptr<void> aOwner)
{
    if (mMap && aData && mMap->GetAttachedChunks() == aData) mAttachmentOwner = std::move(aOwner);
}

ZuResult ZuGenParameterArray::DetachDataChunks()
{
    std::shared_ptr<void> lPrevious = std::move(mAttachmentOwner);
    if (!mMap) return Failure(ZU_NOT_INITIALIZED, "no description is loaded");
    return mMap->DetachDataChunks();
}

// ---- State stack ------------------------------------------------------------------

ZuGenStateStack::ZuGenStateStack(ZuGenParameterArray *aArray) : mArray(aArray) {}

ZuGenStateStack::~ZuGenStateStack()
{
    if (!mArray) return;
    for (auto lIt = mSaved.rbegin(); lIt != mSaved.rend(); ++lIt)
        if (ZuGenParameter *lP = mArray->Get(ZuString(lIt->first))) lP->FromString(ZuString(lIt->second));
}

ZuResult ZuGenStateStack::Remember(const ZuString &aName)
{
    if (!mArray) return Failure(ZU_NOT_INITIALIZED, "the state stack has no parameter array");
    ZuGenParameter *lP = mArray->Get(aName);
    if (!lP) return Failure(ZU_NOT_FOUND, "no feature '" + aName.Narrow() + "'");
    ZuString lText;
    ZuResult lR = lP->ToString(lText);
    if (lR.IsOK()) mSaved.emplace_back(aName.Narrow(), lText.Narrow());
    return lR;
}

// Each setter keeps the previous value only once the write succeeded, so a
// failed write leaves nothing to restore. A feature that cannot be read
// (write-only) is written all the same, with nothing to restore.
#define TARN_STACKED(call)                                    \
    size_t lMark = mSaved.size();                             \
    ZuResult lR = Remember(aName);                            \
    if (!mArray || lR.GetCode() == ZU_NOT_FOUND) return lR;   \
    lR = mArray->call;                                        \
    if (!lR.IsOK()) mSaved.resize(lMark);                     \
    return lR

ZuResult ZuGenStateStack::SetIntegerValue(const ZuString &aName, int64_t aValue) { TARN_STACKED(SetIntegerValue(aName, aValue)); }
ZuResult ZuGenStateStack::SetFloatValue(const ZuString &aName, double aValue) { TARN_STACKED(SetFloatValue(aName, aValue)); }
ZuResult ZuGenStateStack::SetBooleanValue(const ZuString &aName, bool aValue) { TARN_STACKED(SetBooleanValue(aName, aValue)); }
ZuResult ZuGenStateStack::SetStringValue(const ZuString &aName, const ZuString &aText) { TARN_STACKED(SetStringValue(aName, aText)); }
ZuResult ZuGenStateStack::SetEnumValue(const ZuString &aName, const ZuString &aText) { TARN_STACKED(SetEnumValue(aName, aText)); }
ZuResult ZuGenStateStack::SetEnumValue(const ZuString &aName, int64_t aValue) { TARN_STACKED(SetEnumValue(aName, aValue)); }
