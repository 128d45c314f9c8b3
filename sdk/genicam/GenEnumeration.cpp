// Enumerations and their entries.

#include "GenFamilies.h"
#include "GenNodeMap.h"

namespace ZU_GENAPI_NS
{

ZuGenAccessMode EnumerationNode::OwnAccess() const
{
    if (mKind == NodeKind::EnumEntry) return ZuGenAccessModeReadOnly;
    return mValue.mNode ? mValue.mNode->AccessMode() : ZuGenAccessModeReadWrite;
}

void EnumerationNode::ExtraDependencies(std::vector<Node *> &aNodes) const
{
    // An enumeration's current entry depends on which entries are available.
    for (EnumerationNode *lE : mEntries) aNodes.push_back(lE);
}

EnumerationNode *EnumerationNode::FindEntryByValue(int64_t aValue) const
{
    for (EnumerationNode *lE : mEntries)
        if (lE->mValue.mInt == aValue) return lE;
    return nullptr;
}

ZuResult EnumerationNode::GetIntValue(int64_t &aValue) const
{
    if (mKind != NodeKind::Enumeration) return Node::GetIntValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckReadable();
    if (!lR.IsOK()) return lR;
    if (mValue.mNode) return mValue.mNode->ReadAsInt(aValue);
    aValue = mOwnInt;
    return ZuResult();
}

ZuResult EnumerationNode::SetIntValue(int64_t aValue)
{
    if (mKind != NodeKind::Enumeration) return Node::SetIntValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckWritable();
    if (!lR.IsOK()) return lR;
    EnumerationNode *lEntry = FindEntryByValue(aValue);
    if (!lEntry) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' has no entry with the value " + std::to_string(aValue));
    if (!lEntry->IsEntryAvailable()) return Fail(ZU_STATE_ERROR, "entry '" + lEntry->GetSymbolic() + "' of '" + mName + "' is not available");
    if (mValue.mNode) return mValue.mNode->WriteAsInt(aValue);
    mOwnInt = aValue;
    mMap->Changed(this, true);
    return ZuResult();
}

ZuResult EnumerationNode::GetEntry(INode *&aEntry) const
{
    if (mKind != NodeKind::Enumeration) return Node::GetEntry(aEntry);
    MapOperation lOp(mMap);
    aEntry = nullptr;
    int64_t lV = 0;
    ZuResult lR = GetIntValue(lV);
    if (!lR.IsOK()) return lR;
    aEntry = FindEntryByValue(lV);
    if (!aEntry) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' holds " + std::to_string(lV) + ", which no entry has");
    return lR;
}

ZuResult EnumerationNode::SetEntryByName(const std::string &aSymbol)
{
    if (mKind != NodeKind::Enumeration) return Node::SetEntryByName(aSymbol);
    MapOperation lOp(mMap);
    for (EnumerationNode *lE : mEntries)
        if (lE->GetSymbolic() == aSymbol) return SetIntValue(lE->mValue.mInt);
    return Fail(ZU_NOT_FOUND, "'" + mName + "' has no entry '" + aSymbol + "'");
}

ZuResult EnumerationNode::GetEntryValue(int64_t &aValue) const
{
    if (mKind != NodeKind::EnumEntry) return Node::GetEntryValue(aValue);
    aValue = mValue.mInt;
    return ZuResult();
}

} // namespace ZU_GENAPI_NS
