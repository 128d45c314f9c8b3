#include "ZuGenParameter.h"
#include "ZuGenParameterArray.h"
#include "ZuResultCodes.h"
#include "tarn/genicam/Engine.h"

#include <algorithm>

using ZU_GENAPI_NS::INode;
using ZU_GENAPI_NS::NodeInterface;

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

ZuGenParameterList::ZuGenParameterList() {}
ZuGenParameterList::~ZuGenParameterList() {}

void ZuGenParameterList::Clear()
{
    mItems.clear();
    mCursor = 0;
}

void ZuGenParameterList::Add(ZuGenParameter *aParameter)
{
    // A null item would end every walk (GetFirst/GetNext) before the items
    // after it.
    if (!aParameter) return;
    mItems.push_back(aParameter);
    mCursor = 0;
}

uint32_t ZuGenParameterList::GetSize() const { return static_cast<uint32_t>(mItems.size()); }

ZuGenParameter *ZuGenParameterList::GetItem(uint32_t aIndex) { return aIndex < mItems.size() ? mItems[aIndex] : nullptr; }

ZuGenParameter *ZuGenParameterList::operator[](uint32_t aIndex) { return GetItem(aIndex); }

ZuGenParameter *ZuGenParameterList::GetFirst()
{
    mCursor = 0;
    return GetNext();
}

ZuGenParameter *ZuGenParameterList::GetNext()
{
    if (mCursor >= mItems.size()) return nullptr;
    return mItems[mCursor++];
}

// ---- Parameter --------------------------------------------------------------------

ZuGenParameter::ZuGenParameter(INode *aNode) : mNode(aNode) {}

ZuGenParameter::~ZuGenParameter()
{
    if (mNode && mCallbackId) mNode->UnregisterCallback(mCallbackId);
    decltype(mSinks) lSinks;
    {
        std::lock_guard<std::mutex> lLock(mSinksLock);
        lSinks.swap(mSinks);
    }
    for (auto &lS : lSinks)
        if (lS.second) lS.second();
}

void ZuGenParameter::Notify()
{
    if (!mUpdatesEnabled) return;
    // Sinks are called without the lock: a sink may unregister itself (or
    // another), and is skipped once it has been. The copies of the release
    // actions hold what keeps each sink alive, so that a sink unregistered
    // during its own call (or by another thread) is not freed under it.
    decltype(mSinks) lHeld;
    {
        std::lock_guard<std::mutex> lLock(mSinksLock);
        lHeld = mSinks;
    }
    for (auto &lEntry : lHeld) {
        ZuGenEventSink *lS = lEntry.first;
        bool lStill;
        {
            std::lock_guard<std::mutex> lLock(mSinksLock);
            lStill = std::any_of(mSinks.begin(), mSinks.end(), [&](const auto &aP) { return aP.first == lS; });
        }
        if (lStill) lS->OnParameterUpdate(this);
    }
}

ZuResult ZuGenParameter::GetName(ZuString &aValue) const { return mNode ? Text(mNode->GetName(), aValue) : NoNode(); }

ZuResult ZuGenParameter::GetCategory(ZuString &aValue) const
{
    if (!mNode) return NoNode();
    INode *lC = mNode->GetParentCategory();
    if (!lC) return Failure(ZU_NOT_FOUND, "'" + mNode->GetName() + "' is in no category");
    return Text(lC->GetName(), aValue);
}

ZuResult ZuGenParameter::GetToolTip(ZuString &aValue) const { return mNode ? Text(mNode->GetToolTip(), aValue) : NoNode(); }
ZuResult ZuGenParameter::GetDescription(ZuString &aValue) const { return mNode ? Text(mNode->GetDescription(), aValue) : NoNode(); }
ZuResult ZuGenParameter::GetDisplayName(ZuString &aValue) const { return mNode ? Text(mNode->GetDisplayName(), aValue) : NoNode(); }

ZuResult ZuGenParameter::ToString(ZuString &aValue) const
{
    if (!mNode) return NoNode();
    std::string lT;
    ZuResult lR = mNode->ToString(lT);
    if (lR.IsOK()) aValue = ZuString(lT);
    return lR;
}

ZuResult ZuGenParameter::FromString(const ZuString &aValue)
{
    if (!mNode) return NoNode();
    return mNode->FromString(aValue.Narrow());
}

ZuResult ZuGenParameter::GetType(ZuGenType &aType) const
{
    if (!mNode) return NoNode();
    switch (mNode->GetInterface()) {
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
    if (!mNode) return NoNode();
    aNameSpace = mNode->GetNameSpace();
    return ZuResult();
}

ZuResult ZuGenParameter::GetVisibility(ZuGenVisibility &aVisibility) const
{
    if (!mNode) return NoNode();
    aVisibility = mNode->GetVisibility();
    return ZuResult();
}

ZuResult ZuGenParameter::IsValueCached(bool &aFlag) const
{
    aFlag = false;
    if (!mNode) return NoNode();
    aFlag = mNode->GetCachingMode() != ZuGenCacheNone;
    return ZuResult();
}

ZuResult ZuGenParameter::IsPersistent(bool &aFlag) const
{
    aFlag = false;
    if (!mNode) return NoNode();
    aFlag = mNode->IsStreamable();
    return ZuResult();
}

ZuResult ZuGenParameter::IsImplemented(bool &aFlag) const
{
    aFlag = false;
    if (!mNode) return NoNode();
    aFlag = mNode->GetAccessMode() != ZuGenAccessModeNotImplemented;
    return ZuResult();
}

ZuResult ZuGenParameter::IsAvailable(bool &aFlag) const
{
    aFlag = false;
    if (!mNode) return NoNode();
    ZuGenAccessMode lM = mNode->GetAccessMode();
    aFlag = lM != ZuGenAccessModeNotImplemented && lM != ZuGenAccessModeNotAvailable;
    return ZuResult();
}

ZuResult ZuGenParameter::IsWritable(bool &aFlag) const
{
    aFlag = false;
    if (!mNode) return NoNode();
    aFlag = Writable(mNode->GetAccessMode());
    return ZuResult();
}

ZuResult ZuGenParameter::IsReadable(bool &aFlag) const
{
    aFlag = false;
    if (!mNode) return NoNode();
    aFlag = Readable(mNode->GetAccessMode());
    return ZuResult();
}

ZuResult ZuGenParameter::IsStreamable(bool &aFlag) const
{
    aFlag = false;
    if (!mNode) return NoNode();
    aFlag = mNode->IsStreamable();
    return ZuResult();
}

ZuResult ZuGenParameter::IsSelector(bool &aFlag) const
{
    aFlag = false;
    if (!mNode) return NoNode();
    aFlag = !mNode->GetSelectedNodes().empty();
    return ZuResult();
}

ZuResult ZuGenParameter::IsVisible(ZuGenVisibility aVisibility, bool &aFlag) const
{
    aFlag = false;
    if (!mNode) return NoNode();
    aFlag = static_cast<int32_t>(mNode->GetVisibility()) <= static_cast<int32_t>(aVisibility);
    return ZuResult();
}

ZuResult ZuGenParameter::GetSelectedParameters(ZuGenParameterList &aList) const
{
    aList.Clear();
    if (!mNode || !mArray) return NoNode();
    for (INode *lN : mNode->GetSelectedNodes())
        if (ZuGenParameter *lP = mArray->Get(ZuString(lN->GetName()))) aList.Add(lP);
    return ZuResult();
}

ZuResult ZuGenParameter::GetSelectingParameters(ZuGenParameterList &aList) const
{
    aList.Clear();
    if (!mNode || !mArray) return NoNode();
    for (INode *lN : mNode->GetSelectingNodes())
        if (ZuGenParameter *lP = mArray->Get(ZuString(lN->GetName()))) aList.Add(lP);
    return ZuResult();
}

ZuResult ZuGenParameter::RegisterEventSink(ZuGenEventSink *aEventSink)
{
    return RegisterEventSink(aEventSink, std::function<void()>());
}

ZuResult ZuGenParameter::RegisterEventSink(ZuGenEventSink *aEventSink, std::function<void()> aOnRelease)
{
    if (!aEventSink || !mNode) {
        if (aOnRelease) aOnRelease();
        return aEventSink ? NoNode() : Failure(ZU_INVALID_PARAMETER, "no event sink given");
    }
    if (!mCallbackId.load()) {
        // Outside the sinks' lock: the node map delivers under its own.
        int lId = mNode->RegisterCallback([this](INode *) { Notify(); });
        int lNone = 0;
        if (!mCallbackId.compare_exchange_strong(lNone, lId)) mNode->UnregisterCallback(lId);
    }
    std::function<void()> lOld;
    {
        std::lock_guard<std::mutex> lLock(mSinksLock);
        auto lIt = std::find_if(mSinks.begin(), mSinks.end(), [&](const auto &aP) { return aP.first == aEventSink; });
        if (lIt != mSinks.end()) {
            lOld = std::move(lIt->second);
            lIt->second = std::move(aOnRelease);
        } else {
            mSinks.emplace_back(aEventSink, std::move(aOnRelease));
        }
    }
    if (lOld) lOld();
    return ZuResult();
}

ZuResult ZuGenParameter::UnregisterEventSink(ZuGenEventSink *aRegisteredSink)
{
    std::function<void()> lRelease;
    {
        std::lock_guard<std::mutex> lLock(mSinksLock);
        auto lIt = std::find_if(mSinks.begin(), mSinks.end(), [&](const auto &aP) { return aP.first == aRegisteredSink; });
        if (lIt == mSinks.end()) return Failure(ZU_NOT_FOUND, "the event sink is not registered");
        lRelease = std::move(lIt->second);
        mSinks.erase(lIt);
    }
    if (lRelease) lRelease();
    return ZuResult();
}

INode *ZuGenParameter::GetNode() { return mNode; }
bool ZuGenParameter::GetUpdatesEnabled() { return mUpdatesEnabled; }
void ZuGenParameter::SetUpdatesEnabled(bool aEnabled) { mUpdatesEnabled = aEnabled; }

// ---- Typed kinds ------------------------------------------------------------------

#define TARN_NODE_OR_FAIL() \
    if (!mNode) return NoNode()

ZuResult ZuGenInteger::SetValue(int64_t aValue) { TARN_NODE_OR_FAIL(); return mNode->SetIntValue(aValue); }
ZuResult ZuGenInteger::GetValue(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return mNode->GetIntValue(aValue); }
ZuResult ZuGenInteger::GetMin(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return mNode->GetIntMin(aValue); }
ZuResult ZuGenInteger::GetMax(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return mNode->GetIntMax(aValue); }
ZuResult ZuGenInteger::GetIncrement(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return mNode->GetIntInc(aValue); }

ZuResult ZuGenInteger::GetRepresentation(ZuGenRepresentation &aRepresentation) const
{
    TARN_NODE_OR_FAIL();
    aRepresentation = mNode->GetRepresentation();
    return ZuResult();
}

ZuResult ZuGenInteger::GetUnit(ZuString &aValue) const { TARN_NODE_OR_FAIL(); return Text(mNode->GetUnit(), aValue); }

ZuResult ZuGenFloat::SetValue(double aValue) { TARN_NODE_OR_FAIL(); return mNode->SetFloatValue(aValue); }
ZuResult ZuGenFloat::GetValue(double &aValue) const { TARN_NODE_OR_FAIL(); return mNode->GetFloatValue(aValue); }
ZuResult ZuGenFloat::GetMin(double &aValue) const { TARN_NODE_OR_FAIL(); return mNode->GetFloatMin(aValue); }
ZuResult ZuGenFloat::GetMax(double &aValue) const { TARN_NODE_OR_FAIL(); return mNode->GetFloatMax(aValue); }

ZuResult ZuGenFloat::GetRepresentation(ZuGenRepresentation &aRepresentation) const
{
    TARN_NODE_OR_FAIL();
    aRepresentation = mNode->GetRepresentation();
    return ZuResult();
}

ZuResult ZuGenFloat::GetUnit(ZuString &aValue) const { TARN_NODE_OR_FAIL(); return Text(mNode->GetUnit(), aValue); }

ZuResult ZuGenBoolean::SetValue(bool aValue) { TARN_NODE_OR_FAIL(); return mNode->SetBoolValue(aValue); }

ZuResult ZuGenBoolean::GetValue(bool &aValue) const
{
    aValue = false;
    TARN_NODE_OR_FAIL();
    return mNode->GetBoolValue(aValue);
}

ZuResult ZuGenCommand::Execute() { TARN_NODE_OR_FAIL(); return mNode->Execute(); }

ZuResult ZuGenCommand::IsDone(bool &aDone)
{
    aDone = false;
    TARN_NODE_OR_FAIL();
    return mNode->IsDone(aDone);
}

ZuResult ZuGenString::SetValue(const ZuString &aValue) { TARN_NODE_OR_FAIL(); return mNode->SetStringValue(aValue.Narrow()); }

ZuResult ZuGenString::GetValue(ZuString &aValue) const
{
    TARN_NODE_OR_FAIL();
    std::string lT;
    ZuResult lR = mNode->GetStringValue(lT);
    if (lR.IsOK()) aValue = ZuString(lT);
    return lR;
}

ZuResult ZuGenString::GetMaxLength(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return mNode->GetStringMaxLength(aValue); }

ZuResult ZuGenRegister::Get(uint8_t *aData, int64_t aLength) const { TARN_NODE_OR_FAIL(); return mNode->GetRegister(aData, aLength); }
ZuResult ZuGenRegister::Set(const uint8_t *aData, int64_t aLength) { TARN_NODE_OR_FAIL(); return mNode->SetRegister(aData, aLength); }
ZuResult ZuGenRegister::GetLength(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return mNode->GetRegisterLength(aValue); }

// ---- Enumeration ------------------------------------------------------------------

ZuGenEnum::ZuGenEnum(INode *aNode) : ZuGenParameter(aNode)
{
    for (INode *lE : aNode->GetEntries()) mEntries.push_back(new ZuGenEnumEntry(lE));
}

ZuGenEnum::~ZuGenEnum()
{
    for (ZuGenEnumEntry *lE : mEntries) delete lE;
}

ZuResult ZuGenEnum::SetValue(int64_t aValue) { TARN_NODE_OR_FAIL(); return mNode->SetIntValue(aValue); }
ZuResult ZuGenEnum::SetValue(const ZuString &aValue) { TARN_NODE_OR_FAIL(); return mNode->SetEntryByName(aValue.Narrow()); }
ZuResult ZuGenEnum::GetValue(int64_t &aValue) const { TARN_NODE_OR_FAIL(); return mNode->GetIntValue(aValue); }

ZuResult ZuGenEnum::GetValue(ZuString &aValue) const
{
    TARN_NODE_OR_FAIL();
    INode *lE = nullptr;
    ZuResult lR = mNode->GetEntry(lE);
    if (lR.IsOK()) aValue = ZuString(lE->GetSymbolic());
    return lR;
}

ZuResult ZuGenEnum::GetEntriesCount(int64_t &aValue) const
{
    aValue = static_cast<int64_t>(mEntries.size());
    return ZuResult();
}

ZuResult ZuGenEnum::GetEntryByIndex(int64_t aIndex, const ZuGenEnumEntry **aEntry) const
{
    if (!aEntry) return Failure(ZU_INVALID_PARAMETER, "no place for the entry");
    *aEntry = nullptr;
    if (aIndex < 0 || static_cast<uint64_t>(aIndex) >= mEntries.size())
        return Failure(ZU_INVALID_PARAMETER, "entry index " + std::to_string(aIndex) + " is out of range");
    *aEntry = mEntries[static_cast<size_t>(aIndex)];
    return ZuResult();
}

ZuResult ZuGenEnum::GetEntryByName(const ZuString &aName, const ZuGenEnumEntry **aEntry) const
{
    if (!aEntry) return Failure(ZU_INVALID_PARAMETER, "no place for the entry");
    *aEntry = nullptr;
    std::string lName = aName.Narrow();
    std::vector<INode *> lNodes = mNode->GetEntries();
    for (size_t lI = 0; lI < lNodes.size() && lI < mEntries.size(); ++lI)
        if (lNodes[lI]->GetSymbolic() == lName) {
            *aEntry = mEntries[lI];
            return ZuResult();
        }
    return Failure(ZU_NOT_FOUND, "no entry '" + lName + "'");
}

ZuResult ZuGenEnum::GetEntryByValue(int64_t aValue, const ZuGenEnumEntry **aEntry) const
{
    if (!aEntry) return Failure(ZU_INVALID_PARAMETER, "no place for the entry");
    *aEntry = nullptr;
    std::vector<INode *> lNodes = mNode->GetEntries();
    for (size_t lI = 0; lI < lNodes.size() && lI < mEntries.size(); ++lI) {
        int64_t lV = 0;
        if (lNodes[lI]->GetEntryValue(lV).IsOK() && lV == aValue) {
            *aEntry = mEntries[lI];
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
