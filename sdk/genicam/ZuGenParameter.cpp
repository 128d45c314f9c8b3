#include "ParameterImpl.h"
#include "ZuResultCodes.h"
#include "tarn/genicam/Parameters.h"

#include <algorithm>

using ZU_GENAPI_NS::INode;
using ZU_GENAPI_NS::NodeInterface;
using tarn::GenParameterAccess;

namespace
{

ZuResult Failure(uint32_t aCode, const std::string &aWhy) { return ZuResult(aCode, ZuString(aWhy.c_str())); }

ZuResult NoNode() { return Failure(ZU_NOT_INITIALIZED, "the parameter has no node"); }

ZuResult Text(const std::string &aText, ZuString &aValue)
{
    aValue = ZuString(aText);
    return ZuResult();
}

bool Readable(ZuGenAccessMode aM) { return aM == ZuGenAccessModeReadOnly || aM == ZuGenAccessModeReadWrite; }
bool Writable(ZuGenAccessMode aM) { return aM == ZuGenAccessModeWriteOnly || aM == ZuGenAccessModeReadWrite; }

} // namespace

// ---- List ------------------------------------------------------------------------

ZuGenParameterList::ZuGenParameterList() : mImpl(new Impl) {}
ZuGenParameterList::~ZuGenParameterList() {}

void ZuGenParameterList::Clear()
{
    mImpl->items.clear();
    mImpl->cursor = 0;
}

void ZuGenParameterList::Add(ZuGenParameter *aParameter)
{
    // A null item would end every walk (GetFirst/GetNext) before the items
    // after it.
    if (!aParameter) return;
    mImpl->items.push_back(aParameter);
    mImpl->cursor = 0;
}

uint32_t ZuGenParameterList::GetSize() const { return static_cast<uint32_t>(mImpl->items.size()); }

ZuGenParameter *ZuGenParameterList::GetItem(uint32_t aIndex)
{
    return aIndex < mImpl->items.size() ? mImpl->items[aIndex] : nullptr;
}

ZuGenParameter *ZuGenParameterList::operator[](uint32_t aIndex) { return GetItem(aIndex); }

ZuGenParameter *ZuGenParameterList::GetFirst()
{
    mImpl->cursor = 0;
    return GetNext();
}

ZuGenParameter *ZuGenParameterList::GetNext()
{
    if (mImpl->cursor >= mImpl->items.size()) return nullptr;
    return mImpl->items[mImpl->cursor++];
}

// ---- Parameter --------------------------------------------------------------------

ZuGenParameter::ZuGenParameter(INode *aNode) : mImpl(new Impl(this, aNode)) {}

ZuGenParameter::~ZuGenParameter()
{
    Impl &d = *mImpl;
    if (d.node && d.callbackId) d.node->UnregisterCallback(d.callbackId);
    d.sinks.Clear();
}

void ZuGenParameter::Impl::Notify()
{
    if (!updatesEnabled) return;
    sinks.ForEach([this](ZuGenEventSink *aSink) { aSink->OnParameterUpdate(self); });
}

ZuResult ZuGenParameter::GetName(ZuString &aValue) const { return mImpl->node ? Text(mImpl->node->GetName(), aValue) : NoNode(); }

ZuResult ZuGenParameter::GetCategory(ZuString &aValue) const
{
    if (!mImpl->node) return NoNode();
    INode *lC = mImpl->node->GetParentCategory();
    if (!lC) return Failure(ZU_NOT_FOUND, "'" + mImpl->node->GetName() + "' is in no category");
    return Text(lC->GetName(), aValue);
}

ZuResult ZuGenParameter::GetToolTip(ZuString &aValue) const { return mImpl->node ? Text(mImpl->node->GetToolTip(), aValue) : NoNode(); }
ZuResult ZuGenParameter::GetDescription(ZuString &aValue) const { return mImpl->node ? Text(mImpl->node->GetDescription(), aValue) : NoNode(); }
ZuResult ZuGenParameter::GetDisplayName(ZuString &aValue) const { return mImpl->node ? Text(mImpl->node->GetDisplayName(), aValue) : NoNode(); }

ZuResult ZuGenParameter::ToString(ZuString &aValue) const
{
    if (!mImpl->node) return NoNode();
    std::string lT;
    ZuResult lR = mImpl->node->ToString(lT);
    if (lR.IsOK()) aValue = ZuString(lT);
    return lR;
}

ZuResult ZuGenParameter::FromString(const ZuString &aValue)
{
    if (!mImpl->node) return NoNode();
    return mImpl->node->FromString(aValue.Narrow());
}

ZuResult ZuGenParameter::GetType(ZuGenType &aType) const
{
    if (!mImpl->node) return NoNode();
    switch (mImpl->node->GetInterface()) {
    case NodeInterface::Integer: aType = ZuGenTypeInteger; break;
    case NodeInterface::Float: aType = ZuGenTypeFloat; break;
    case NodeInterface::Enumeration: aType = ZuGenTypeEnum; break;
    case NodeInterface::Boolean: aType = ZuGenTypeBoolean; break;
    case NodeInterface::Command: aType = ZuGenTypeCommand; break;
    case NodeInterface::String: aType = ZuGenTypeString; break;
    case NodeInterface::Register: aType = ZuGenTypeRegister; break;
    default: aType = ZuGenTypeUndefined; break;
    }
    return ZuResult();
}

ZuResult ZuGenParameter::GetNameSpace(ZuGenNameSpace &aNameSpace) const
{
    if (!mImpl->node) return NoNode();
    aNameSpace = mImpl->node->GetNameSpace();
    return ZuResult();
}

ZuResult ZuGenParameter::GetVisibility(ZuGenVisibility &aVisibility) const
{
    if (!mImpl->node) return NoNode();
    aVisibility = mImpl->node->GetVisibility();
    return ZuResult();
}

ZuResult ZuGenParameter::IsValueCached(bool &aFlag) const
{
    aFlag = false;
    if (!mImpl->node) return NoNode();
    aFlag = mImpl->node->GetCachingMode() != ZuGenCacheNone;
    return ZuResult();
}

ZuResult ZuGenParameter::IsPersistent(bool &aFlag) const
{
    aFlag = false;
    if (!mImpl->node) return NoNode();
    aFlag = mImpl->node->IsStreamable();
    return ZuResult();
}

ZuResult ZuGenParameter::IsImplemented(bool &aFlag) const
{
    aFlag = false;
    if (!mImpl->node) return NoNode();
    aFlag = mImpl->node->GetAccessMode() != ZuGenAccessModeNotImplemented;
    return ZuResult();
}

ZuResult ZuGenParameter::IsAvailable(bool &aFlag) const
{
    aFlag = false;
    if (!mImpl->node) return NoNode();
    ZuGenAccessMode lM = mImpl->node->GetAccessMode();
    aFlag = lM != ZuGenAccessModeNotImplemented && lM != ZuGenAccessModeNotAvailable;
    return ZuResult();
}

ZuResult ZuGenParameter::IsWritable(bool &aFlag) const
{
    aFlag = false;
    if (!mImpl->node) return NoNode();
    aFlag = Writable(mImpl->node->GetAccessMode());
    return ZuResult();
}

ZuResult ZuGenParameter::IsReadable(bool &aFlag) const
{
    aFlag = false;
    if (!mImpl->node) return NoNode();
    aFlag = Readable(mImpl->node->GetAccessMode());
    return ZuResult();
}

ZuResult ZuGenParameter::IsStreamable(bool &aFlag) const
{
    aFlag = false;
    if (!mImpl->node) return NoNode();
    aFlag = mImpl->node->IsStreamable();
    return ZuResult();
}

ZuResult ZuGenParameter::IsSelector(bool &aFlag) const
{
    aFlag = false;
    if (!mImpl->node) return NoNode();
    aFlag = !mImpl->node->GetSelectedNodes().empty();
    return ZuResult();
}

ZuResult ZuGenParameter::IsVisible(ZuGenVisibility aVisibility, bool &aFlag) const
{
    aFlag = false;
    if (!mImpl->node) return NoNode();
    aFlag = static_cast<int32_t>(mImpl->node->GetVisibility()) <= static_cast<int32_t>(aVisibility);
    return ZuResult();
}

ZuResult ZuGenParameter::GetSelectedParameters(ZuGenParameterList &aList) const
{
    aList.Clear();
    if (!mImpl->node || !mImpl->array) return NoNode();
    for (INode *lN : mImpl->node->GetSelectedNodes())
        if (ZuGenParameter *lP = mImpl->array->Get(ZuString(lN->GetName()))) aList.Add(lP);
    return ZuResult();
}

ZuResult ZuGenParameter::GetSelectingParameters(ZuGenParameterList &aList) const
{
    aList.Clear();
    if (!mImpl->node || !mImpl->array) return NoNode();
    for (INode *lN : mImpl->node->GetSelectingNodes())
        if (ZuGenParameter *lP = mImpl->array->Get(ZuString(lN->GetName()))) aList.Add(lP);
    return ZuResult();
}

ZuResult ZuGenParameter::RegisterEventSink(ZuGenEventSink *aEventSink)
{
    auto &d = *mImpl;
    if (!aEventSink || !d.node) return aEventSink ? NoNode() : Failure(ZU_INVALID_PARAMETER, "no event sink given");
    if (!d.callbackId.load()) {
        // Outside the sinks' lock: the node map delivers under its own.
        int lId = d.node->RegisterCallback([&d](INode *) { d.Notify(); });
        int lNone = 0;
        if (!d.callbackId.compare_exchange_strong(lNone, lId)) d.node->UnregisterCallback(lId);
    }
    // Registered already: stays so.
    d.sinks.Add(aEventSink);
    return ZuResult();
}

ZuResult ZuGenParameter::UnregisterEventSink(ZuGenEventSink *aRegisteredSink)
{
    return mImpl->sinks.Remove(aRegisteredSink);
}

INode *ZuGenParameter::GetNode() { return mImpl->node; }
bool ZuGenParameter::GetUpdatesEnabled() { return mImpl->updatesEnabled; }
void ZuGenParameter::SetUpdatesEnabled(bool aEnabled) { mImpl->updatesEnabled = aEnabled; }

// ---- Typed kinds ------------------------------------------------------------------

// The kinds reach the node their base holds through the library's access to it.
#define TARN_NODE_OR_FAIL()                                \
    INode *const lNode = GenParameterAccess::Node(*this); \
    if (!lNode) return NoNode()

ZuResult ZuGenInteger::SetValue(int64_t aValue) { TARN_NODE_OR_FAIL(); return lNode->SetIntValue(aValue); }
ZuResult ZuGenInteger::GetValue(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return lNode->GetIntValue(aValue); }
ZuResult ZuGenInteger::GetMin(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return lNode->GetIntMin(aValue); }
ZuResult ZuGenInteger::GetMax(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return lNode->GetIntMax(aValue); }
ZuResult ZuGenInteger::GetIncrement(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return lNode->GetIntInc(aValue); }

ZuResult ZuGenInteger::GetRepresentation(ZuGenRepresentation &aRepresentation) const
{
    TARN_NODE_OR_FAIL();
    aRepresentation = lNode->GetRepresentation();
    return ZuResult();
}

ZuResult ZuGenInteger::GetUnit(ZuString &aValue) const { TARN_NODE_OR_FAIL(); return Text(lNode->GetUnit(), aValue); }

ZuResult ZuGenFloat::SetValue(double aValue) { TARN_NODE_OR_FAIL(); return lNode->SetFloatValue(aValue); }
ZuResult ZuGenFloat::GetValue(double &aValue) const { TARN_NODE_OR_FAIL(); return lNode->GetFloatValue(aValue); }
ZuResult ZuGenFloat::GetMin(double &aValue) const { TARN_NODE_OR_FAIL(); return lNode->GetFloatMin(aValue); }
ZuResult ZuGenFloat::GetMax(double &aValue) const { TARN_NODE_OR_FAIL(); return lNode->GetFloatMax(aValue); }

ZuResult ZuGenFloat::GetRepresentation(ZuGenRepresentation &aRepresentation) const
{
    TARN_NODE_OR_FAIL();
    aRepresentation = lNode->GetRepresentation();
    return ZuResult();
}

ZuResult ZuGenFloat::GetUnit(ZuString &aValue) const { TARN_NODE_OR_FAIL(); return Text(lNode->GetUnit(), aValue); }

ZuResult ZuGenBoolean::SetValue(bool aValue) { TARN_NODE_OR_FAIL(); return lNode->SetBoolValue(aValue); }

ZuResult ZuGenBoolean::GetValue(bool &aValue) const
{
    aValue = false;
    TARN_NODE_OR_FAIL();
    return lNode->GetBoolValue(aValue);
}

ZuResult ZuGenCommand::Execute() { TARN_NODE_OR_FAIL(); return lNode->Execute(); }

ZuResult ZuGenCommand::IsDone(bool &aDone)
{
    aDone = false;
    TARN_NODE_OR_FAIL();
    return lNode->IsDone(aDone);
}

ZuResult ZuGenString::SetValue(const ZuString &aValue) { TARN_NODE_OR_FAIL(); return lNode->SetStringValue(aValue.Narrow()); }

ZuResult ZuGenString::GetValue(ZuString &aValue) const
{
    TARN_NODE_OR_FAIL();
    std::string lT;
    ZuResult lR = lNode->GetStringValue(lT);
    if (lR.IsOK()) aValue = ZuString(lT);
    return lR;
}

ZuResult ZuGenString::GetMaxLength(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return lNode->GetStringMaxLength(aValue); }

ZuResult ZuGenRegister::Get(uint8_t *aData, int64_t aLength) const { TARN_NODE_OR_FAIL(); return lNode->GetRegister(aData, aLength); }
ZuResult ZuGenRegister::Set(const uint8_t *aData, int64_t aLength) { TARN_NODE_OR_FAIL(); return lNode->SetRegister(aData, aLength); }
ZuResult ZuGenRegister::GetLength(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return lNode->GetRegisterLength(aValue); }

// ---- Enumeration ------------------------------------------------------------------

ZuGenEnum::ZuGenEnum(INode *aNode) : ZuGenParameter(aNode)
{
    auto &lEntries = GenParameterAccess::Of(*this).entries;
    for (INode *lE : aNode->GetEntries()) lEntries.push_back(GenParameterAccess::MakeEntry(lE));
}

ZuResult ZuGenEnum::SetValue(int64_t aValue) { TARN_NODE_OR_FAIL(); return lNode->SetIntValue(aValue); }
ZuResult ZuGenEnum::SetValue(const ZuString &aValue) { TARN_NODE_OR_FAIL(); return lNode->SetEntryByName(aValue.Narrow()); }
ZuResult ZuGenEnum::GetValue(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return lNode->GetIntValue(aValue); }

ZuResult ZuGenEnum::GetValue(ZuString &aValue) const
{
    TARN_NODE_OR_FAIL();
    INode *lE = nullptr;
    ZuResult lR = lNode->GetEntry(lE);
    if (lR.IsOK()) aValue = ZuString(lE->GetSymbolic());
    return lR;
}

ZuResult ZuGenEnum::GetEntriesCount(int64_t &aValue) const
{
    aValue = static_cast<int64_t>(GenParameterAccess::Of(*this).entries.size());
    return ZuResult();
}

ZuResult ZuGenEnum::GetEntryByIndex(int64_t aIndex, const ZuGenEnumEntry **aEntry) const
{
    if (!aEntry) return Failure(ZU_INVALID_PARAMETER, "no place for the entry");
    *aEntry = nullptr;
    const auto &lEntries = GenParameterAccess::Of(*this).entries;
    if (aIndex < 0 || static_cast<uint64_t>(aIndex) >= lEntries.size())
        return Failure(ZU_INVALID_PARAMETER, "entry index " + std::to_string(aIndex) + " is out of range");
    *aEntry = lEntries[static_cast<size_t>(aIndex)].get();
    return ZuResult();
}

ZuResult ZuGenEnum::GetEntryByName(const ZuString &aName, const ZuGenEnumEntry **aEntry) const
{
    if (!aEntry) return Failure(ZU_INVALID_PARAMETER, "no place for the entry");
    *aEntry = nullptr;
    TARN_NODE_OR_FAIL();
    const auto &lEntries = GenParameterAccess::Of(*this).entries;
    std::string lName = aName.Narrow();
    std::vector<INode *> lNodes = lNode->GetEntries();
    for (size_t lI = 0; lI < lNodes.size() && lI < lEntries.size(); ++lI)
        if (lNodes[lI]->GetSymbolic() == lName) {
            *aEntry = lEntries[lI].get();
            return ZuResult();
        }
    return Failure(ZU_NOT_FOUND, "no entry '" + lName + "'");
}

ZuResult ZuGenEnum::GetEntryByValue(int64_t aValue, const ZuGenEnumEntry **aEntry) const
{
    if (!aEntry) return Failure(ZU_INVALID_PARAMETER, "no place for the entry");
    *aEntry = nullptr;
    TARN_NODE_OR_FAIL();
    const auto &lEntries = GenParameterAccess::Of(*this).entries;
    std::vector<INode *> lNodes = lNode->GetEntries();
    for (size_t lI = 0; lI < lNodes.size() && lI < lEntries.size(); ++lI) {
        int64_t lV = 0;
        if (lNodes[lI]->GetEntryValue(lV).IsOK() && lV == aValue) {
            *aEntry = lEntries[lI].get();
            return ZuResult();
        }
    }
    return Failure(ZU_NOT_FOUND, "no entry with the value " + std::to_string(aValue));
}

ZuResult ZuGenEnumEntry::GetValue(int64_t &aValue) const { return mNode->GetEntryValue(aValue); }
ZuResult ZuGenEnumEntry::GetName(ZuString &aValue) const { return Text(mNode->GetSymbolic(), aValue); }
ZuResult ZuGenEnumEntry::GetToolTip(ZuString &aValue) const { return Text(mNode->GetToolTip(), aValue); }
ZuResult ZuGenEnumEntry::GetDescription(ZuString &aValue) const { return Text(mNode->GetDescription(), aValue); }
ZuResult ZuGenEnumEntry::GetDisplayName(ZuString &aValue) const { return Text(mNode->GetDisplayName(), aValue); }

ZuResult ZuGenEnumEntry::GetVisibility(ZuGenVisibility &aVisibility) const
{
    aVisibility = mNode->GetVisibility();
    return ZuResult();
}

ZuResult ZuGenEnumEntry::GetNameSpace(ZuGenNameSpace &aNameSpace) const
{
    aNameSpace = mNode->GetNameSpace();
    return ZuResult();
}

ZuResult ZuGenEnumEntry::IsVisible(ZuGenVisibility aVisibility, bool &aFlag) const
{
    aFlag = static_cast<int32_t>(mNode->GetVisibility()) <= static_cast<int32_t>(aVisibility);
    return ZuResult();
}

ZuResult ZuGenEnumEntry::IsAvailable(bool &aFlag) const
{
    aFlag = mNode->IsEntryAvailable();
    return ZuResult();
}

// ---- Category ---------------------------------------------------------------------

ZuResult ZuGenCategory::GetName(ZuString &aValue) const { return Text(mNode->GetName(), aValue); }
ZuResult ZuGenCategory::GetToolTip(ZuString &aValue) const { return Text(mNode->GetToolTip(), aValue); }
ZuResult ZuGenCategory::GetDescription(ZuString &aValue) const { return Text(mNode->GetDescription(), aValue); }
ZuResult ZuGenCategory::GetDisplayName(ZuString &aValue) const { return Text(mNode->GetDisplayName(), aValue); }

ZuResult ZuGenCategory::GetNameSpace(ZuGenNameSpace &aNameSpace) const
{
    aNameSpace = mNode->GetNameSpace();
    return ZuResult();
}

ZuResult ZuGenCategory::GetVisibility(ZuGenVisibility &aVisibility) const
{
    aVisibility = mNode->GetVisibility();
    return ZuResult();
}

ZuResult ZuGenCategory::IsVisible(ZuGenVisibility aVisibility, bool &aFlag) const
{
    aFlag = static_cast<int32_t>(mNode->GetVisibility()) <= static_cast<int32_t>(aVisibility);
    return ZuResult();
}

ZuResult ZuGenCategory::IsImplemented(bool &aFlag) const
{
    aFlag = mNode->GetAccessMode() != ZuGenAccessModeNotImplemented;
    return ZuResult();
}

INode *ZuGenCategory::GetNode() { return mNode; }
