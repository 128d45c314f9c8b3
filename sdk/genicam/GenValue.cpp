// Values held by the node or passed on from another: Integer, Float,
// Boolean, Command, String.

#include "GenFamilies.h"
#include "GenNodeMap.h"

namespace ZU_GENAPI_NS
{

void ValueNode::VisitRefs(const RefVisitor &aVisit)
{
    Node::VisitRefs(aVisit);
    aVisit(mIndex, "pIndex", RefUse::Number);
    for (IndexedValue &lI : mIndexed) aVisit(lI.mValue, "pValueIndexed", RefUse::Number);
    aVisit(mValueDefault, "pValueDefault", RefUse::Number);
    aVisit(mCommandValue, "pCommandValue", RefUse::Number);
}

const Node *ValueNode::PassThrough() const
{
    return mKind == NodeKind::Integer || mKind == NodeKind::Float ? mValue.mNode : nullptr;
}

ZuGenAccessMode ValueNode::OwnAccess() const
{
    if (mKind == NodeKind::Command) {
        // Executing writes; reading back tells whether it is done.
        ZuGenAccessMode lM = mValue.mNode->AccessMode();
        if (Writable(lM)) lM = Readable(lM) ? ZuGenAccessModeReadWrite : ZuGenAccessModeWriteOnly;
        return lM;
    }
    if (mValue.mNode) return mValue.mNode->AccessMode();
    if (mIndex.mNode) {
        const ValueRef *lSrc = nullptr;
        if (IndexedSource(lSrc).IsOK() && lSrc->mNode) return lSrc->mNode->AccessMode();
        return ZuGenAccessModeReadOnly;
    }
    return ZuGenAccessModeReadWrite;
}

ZuResult ValueNode::IndexedSource(const ValueRef *&aRef) const
{
    int64_t lIndex = 0;
    ZuResult lR = ReadRefInt(mIndex, lIndex);
    if (!lR.IsOK()) return lR;
    for (const IndexedValue &lI : mIndexed)
        if (lI.mIndex == lIndex) {
            aRef = &lI.mValue;
            return ZuResult();
        }
    if (!mValueDefault.mSet) return Fail(ZU_NOT_FOUND, "'" + mName + "' has no value for index " + std::to_string(lIndex));
    aRef = &mValueDefault;
    return ZuResult();
}

// ---- Integer and Float -------------------------------------------------------------

ZuResult ValueNode::GetIntValue(int64_t &aValue) const
{
    if (mKind != NodeKind::Integer) return Node::GetIntValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckReadable();
    if (!lR.IsOK()) return lR;
    if (mValue.mNode) return mValue.mNode->ReadAsInt(aValue);
    if (mIndex.mNode) {
        const ValueRef *lSrc = nullptr;
        lR = IndexedSource(lSrc);
        if (!lR.IsOK()) return lR;
        return ReadRefInt(*lSrc, aValue);
    }
    aValue = mOwnInt;
    return ZuResult();
}

ZuResult ValueNode::GetFloatValue(double &aValue) const
{
    if (mKind != NodeKind::Float) return Node::GetFloatValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckReadable();
    if (!lR.IsOK()) return lR;
    if (mValue.mNode) return mValue.mNode->ReadAsFloat(aValue);
    if (mIndex.mNode) {
        const ValueRef *lSrc = nullptr;
        lR = IndexedSource(lSrc);
        if (!lR.IsOK()) return lR;
        return ReadRefFloat(*lSrc, aValue);
    }
    aValue = mOwnFloat;
    return ZuResult();
}

ZuResult ValueNode::NaturalIntBound(bool aMax, int64_t &aValue) const
{
    if (mValue.mNode && mValue.mNode->GetInterface() == NodeInterface::Integer)
        return aMax ? mValue.mNode->GetIntMax(aValue) : mValue.mNode->GetIntMin(aValue);
    return Node::NaturalIntBound(aMax, aValue);
}

ZuResult ValueNode::NaturalIntInc(int64_t &aValue) const
{
    if (mValue.mNode && mValue.mNode->GetInterface() == NodeInterface::Integer) return mValue.mNode->GetIntInc(aValue);
    return Node::NaturalIntInc(aValue);
}

ZuResult ValueNode::NaturalFloatBound(bool aMax, double &aValue) const
{
    if (mValue.mNode && mValue.mNode->GetInterface() == NodeInterface::Float)
        return aMax ? mValue.mNode->GetFloatMax(aValue) : mValue.mNode->GetFloatMin(aValue);
    return Node::NaturalFloatBound(aMax, aValue);
}

// Integer and Float write alike: to what they pass on, to what their index
// chooses, or to themselves.
ZuResult ValueNode::WriteIndexed(int64_t aInt, double aFloat, bool aIsFloat)
{
    if (mValue.mNode) return aIsFloat ? mValue.mNode->WriteAsFloat(aFloat) : mValue.mNode->WriteAsInt(aInt);
    if (mIndex.mNode) {
        const ValueRef *lSrc = nullptr;
        ZuResult lR = IndexedSource(lSrc);
        if (!lR.IsOK()) return lR;
        if (!lSrc->mNode) return Fail(ZU_STATE_ERROR, "'" + mName + "' is a constant for this index");
        return aIsFloat ? lSrc->mNode->WriteAsFloat(aFloat) : lSrc->mNode->WriteAsInt(aInt);
    }
    if (aIsFloat) mOwnFloat = aFloat;
    else mOwnInt = aInt;
    mMap->Changed(this, true);
    return ZuResult();
}

ZuResult ValueNode::WriteCheckedInt(int64_t aValue)
{
    if (mKind != NodeKind::Integer) return Node::WriteCheckedInt(aValue);
    return WriteIndexed(aValue, 0.0, false);
}

ZuResult ValueNode::WriteCheckedFloat(double aValue)
{
    if (mKind != NodeKind::Float) return Node::WriteCheckedFloat(aValue);
    return WriteIndexed(0, aValue, true);
}

// ---- Boolean and Command ------------------------------------------------------------

ZuResult ValueNode::GetBoolValue(bool &aValue) const
{
    if (mKind != NodeKind::Boolean) return Node::GetBoolValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckReadable();
    int64_t lV = 0;
    if (lR.IsOK()) lR = mValue.mNode ? mValue.mNode->ReadAsInt(lV) : (lV = mOwnInt, ZuResult());
    if (!lR.IsOK()) return lR;
    if (lV == mOnValue.mInt) aValue = true;
    else if (lV == mOffValue.mInt) aValue = false;
    else return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' holds " + std::to_string(lV) + ", neither its on nor its off value");
    return lR;
}

ZuResult ValueNode::SetBoolValue(bool aValue)
{
    if (mKind != NodeKind::Boolean) return Node::SetBoolValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckWritable();
    if (!lR.IsOK()) return lR;
    int64_t lV = aValue ? mOnValue.mInt : mOffValue.mInt;
    if (mValue.mNode) return mValue.mNode->WriteAsInt(lV);
    mOwnInt = lV;
    mMap->Changed(this, true);
    return lR;
}

ZuResult ValueNode::Execute()
{
    if (mKind != NodeKind::Command) return Node::Execute();
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckWritable();
    int64_t lV = 0;
    if (lR.IsOK()) lR = ReadRefInt(mCommandValue, lV);
    if (lR.IsOK()) lR = mValue.mNode->WriteAsInt(lV);
    if (lR.IsOK()) mMap->Changed(this, false);
    return lR;
}

ZuResult ValueNode::IsDone(bool &aDone)
{
    if (mKind != NodeKind::Command) return Node::IsDone(aDone);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    // A command whose register cannot be read back is done once written;
    // one that reads back is done when the device cleared its value.
    if (!Readable(mValue.mNode->AccessMode())) {
        aDone = true;
        return ZuResult();
    }
    // Read the device's own value, not what was written: without telling
    // anyone of a change, as nothing was changed here.
    for (Node *lR : mMap->RegistersBelow(mValue.mNode)) lR->DropCache();
    mMap->ForgetCaches();
    int64_t lCurrent = 0, lCommand = 0;
    ZuResult lR = mValue.mNode->ReadAsInt(lCurrent);
    if (lR.IsOK()) lR = ReadRefInt(mCommandValue, lCommand);
    if (lR.IsOK()) aDone = lCurrent != lCommand;
    return lR;
}

// ---- String --------------------------------------------------------------------------

ZuResult ValueNode::GetStringValue(std::string &aValue) const
{
    if (mKind != NodeKind::String) return Node::GetStringValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckReadable();
    if (!lR.IsOK()) return lR;
    if (mValue.mNode) return mValue.mNode->GetStringValue(aValue);
    aValue = mOwnText;
    return lR;
}

ZuResult ValueNode::SetStringValue(const std::string &aValue)
{
    if (mKind != NodeKind::String) return Node::SetStringValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckTextFits(aValue);
    if (!lR.IsOK()) return lR;
    if (mValue.mNode) return mValue.mNode->SetStringValue(aValue);
    mOwnText = aValue;
    mMap->Changed(this, true);
    return lR;
}

ZuResult ValueNode::GetStringMaxLength(int64_t &aValue) const
{
    if (mKind != NodeKind::String) return Node::GetStringMaxLength(aValue);
    MapOperation lOp(mMap);
    if (mValue.mNode) return mValue.mNode->GetStringMaxLength(aValue);
    aValue = 1 << 16;
    return ZuResult();
}

} // namespace ZU_GENAPI_NS
