// What every node does alike: access, references, the once-per-access
// reads, the common rules of the value interface and the text form.

#include "GenNodeMap.h"

#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace ZU_GENAPI_NS
{

using tarn_genicam::FormulaValue;

ZuResult Fail(uint32_t aCode, const std::string &aWhy)
{
    return ZuResult(aCode, ZuString(aWhy.c_str()));
}

bool Readable(ZuGenAccessMode aM) { return aM == ZuGenAccessModeReadOnly || aM == ZuGenAccessModeReadWrite; }
bool Writable(ZuGenAccessMode aM) { return aM == ZuGenAccessModeWriteOnly || aM == ZuGenAccessModeReadWrite; }

std::string FormatFloat(double aV)
{
    char lBuf[64];
    std::snprintf(lBuf, sizeof lBuf, "%.17g", aV);
    // Prefer the shortest text that reads back the same.
    for (int lP = 1; lP < 17; ++lP) {
        char lShort[64];
        std::snprintf(lShort, sizeof lShort, "%.*g", lP, aV);
        if (std::strtod(lShort, nullptr) == aV) return lShort;
    }
    return lBuf;
}

DepthGuard::DepthGuard(const Node *aNode) : mMap(aNode->mMap), mOuter(mMap->mInside), mLevel(aNode != mOuter)
{
    if (mLevel) {
        ++mMap->mLevels;
        mMap->mInside = aNode;
    }
    mOk = mMap->mLevels <= mMap->mDepthLimit;
    // What was read past the bound depends on the path taken: the access
    // ends here, whatever of it is still to come.
    if (!mOk && !mMap->mCut) {
        mMap->mCut = true;
        mMap->mCutAt = aNode->mName;
    }
}

DepthGuard::~DepthGuard()
{
    if (mLevel) {
        --mMap->mLevels;
        mMap->mInside = mOuter;
    }
}

ZuResult Node::CutFailure() const
{
    return Fail(ZU_GENERIC_ERROR, "references nested more than " + std::to_string(mMap->mDepthLimit) +
                                      " deep at '" + (mMap->mCut ? mMap->mCutAt : mName) + "'");
}

ZuGenAccessMode CombineAccess(ZuGenAccessMode aA, ZuGenAccessMode aB)
{
    if (aA == ZuGenAccessModeUndefined) return aB;
    if (aB == ZuGenAccessModeUndefined) return aA;
    if (aA == ZuGenAccessModeNotImplemented || aB == ZuGenAccessModeNotImplemented) return ZuGenAccessModeNotImplemented;
    if (aA == ZuGenAccessModeNotAvailable || aB == ZuGenAccessModeNotAvailable) return ZuGenAccessModeNotAvailable;
    bool lR = Readable(aA) && Readable(aB), lW = Writable(aA) && Writable(aB);
    if (lR && lW) return ZuGenAccessModeReadWrite;
    if (lR) return ZuGenAccessModeReadOnly;
    if (lW) return ZuGenAccessModeWriteOnly;
    return ZuGenAccessModeNotAvailable;
}

namespace
{

int64_t WrapSub(int64_t aA, int64_t aB) { return static_cast<int64_t>(static_cast<uint64_t>(aA) - static_cast<uint64_t>(aB)); }

} // namespace

// ---- Basics --------------------------------------------------------------------

INodeMap *Node::GetNodeMap() const { return mMap; }

ZuGenRepresentation Node::GetRepresentation() const
{
    if (mRepresentation != ZuGenRepresentationUndefined) return mRepresentation;
    // A plain number or a pass-through takes the representation of what it shows.
    MapOperation lOp(mMap);
    DepthGuard lG(this);
    const Node *lShown = PassThrough();
    if (lShown && lG.mOk) return lShown->GetRepresentation();
    return mRepresentation;
}

std::string Node::GetUnit() const
{
    MapOperation lOp(mMap);
    DepthGuard lG(this);
    const Node *lShown = PassThrough();
    if (!mUnit.empty() || !lShown || !lG.mOk) return mUnit;
    return lShown->GetUnit();
}

std::vector<INode *> Node::GetSelectedNodes() const { return std::vector<INode *>(mSelected.begin(), mSelected.end()); }
std::vector<INode *> Node::GetSelectingNodes() const { return std::vector<INode *>(mSelecting.begin(), mSelecting.end()); }

int Node::RegisterCallback(std::function<void(INode *)> aCallback)
{
    MapOperation lOp(mMap);
    int lId = mNextCallback++;
    mCallbacks[lId] = std::move(aCallback);
    return lId;
}

void Node::UnregisterCallback(int aId)
{
    MapOperation lOp(mMap);
    mCallbacks.erase(aId);
}

void Node::VisitRefs(const RefVisitor &aVisit)
{
    aVisit(mIsImplemented, "pIsImplemented", RefUse::Number);
    aVisit(mIsAvailable, "pIsAvailable", RefUse::Number);
    aVisit(mIsLocked, "pIsLocked", RefUse::Number);
    aVisit(mValue, "pValue", GetInterface() == NodeInterface::String ? RefUse::Text : RefUse::Number);
    aVisit(mMin, "pMin", RefUse::Number);
    aVisit(mMax, "pMax", RefUse::Number);
    aVisit(mInc, "pInc", RefUse::Number);
}

std::vector<Node *> Node::ValueDependencies() const
{
    std::vector<Node *> lD;
    // Visiting only reads the references.
    const_cast<Node *>(this)->VisitRefs([&](ValueRef &aR, const char *, RefUse) {
        if (aR.mNode) lD.push_back(aR.mNode);
    });
    ExtraDependencies(lD);
    return lD;
}

// ---- Access ----------------------------------------------------------------------

bool Node::RefTrue(const ValueRef &aRef, bool aDefault) const
{
    if (!aRef.mSet) return aDefault;
    if (!aRef.mNode) return aRef.mInt != 0;
    int64_t lV = 0;
    if (!aRef.mNode->ReadAsInt(lV).IsOK()) return false;
    return lV != 0;
}

ZuGenAccessMode Node::GetAccessMode() const
{
    MapOperation lOp(mMap);
    return AccessMode();
}

// Within one access every node is read at most once: a description whose
// nodes share references (pValue and pIsAvailable naming the same node, a
// formula naming a node twice) would otherwise be evaluated once per path,
// which grows exponentially with depth. Anything that may change a value
// starts a new epoch. A read that reached nothing volatile (only cached
// registers, constants, attached data, the port's access) holds until
// something changes: a new generation, not every access, reads it anew.
template <typename T, typename Compute>
ZuResult Node::Remember(ReadMemo<T> &aMemo, T &aValue, Compute aCompute) const
{
    if (mMap->mCut) return CutFailure();
    // A held read is trusted only once the port's access is known unchanged.
    mMap->TakePortAccess();
    bool lStable = aMemo.mStable && aMemo.mGeneration == mMap->mGeneration;
    if (lStable || aMemo.mEpoch == mMap->mEpoch) {
        // Whatever reads this now depends on what this read depended on.
        if (!lStable) mMap->VolatileRead();
        aValue = aMemo.mValue;
        return aMemo.mResult;
    }
    uint64_t lEpoch = mMap->mEpoch, lGeneration = mMap->mGeneration, lVolatile = mMap->mVolatileReads;
    ZuResult lR = aCompute(aValue);
    if (mMap->mCut) return CutFailure();
    if (lEpoch == mMap->mEpoch) {
        aMemo.mEpoch = lEpoch;
        aMemo.mGeneration = lGeneration;
        aMemo.mStable = lGeneration == mMap->mGeneration && lVolatile == mMap->mVolatileReads;
        aMemo.mValue = aValue;
        aMemo.mResult = lR;
    }
    return lR;
}

ZuResult Node::Access(ZuGenAccessMode &aMode) const
{
    aMode = ZuGenAccessModeUndefined;
    ZuResult lR = Remember(mAccessMemo, aMode, [this](ZuGenAccessMode &aM) { return ComputeAccessMode(aM); });
    if (!lR.IsOK()) aMode = ZuGenAccessModeNotAvailable;
    return lR;
}

ZuGenAccessMode Node::AccessMode() const
{
    ZuGenAccessMode lMode = ZuGenAccessModeUndefined;
    Access(lMode);
    return lMode;
}

ZuResult Node::ComputeAccessMode(ZuGenAccessMode &aMode) const
{
    DepthGuard lG(this);
    if (!lG.mOk) return CutFailure();
    if (!RefTrue(mIsImplemented, true)) aMode = ZuGenAccessModeNotImplemented;
    else if (!RefTrue(mIsAvailable, true)) aMode = ZuGenAccessModeNotAvailable;
    else {
        aMode = OwnAccess();
        if (mImposedAccess != ZuGenAccessModeUndefined) aMode = CombineAccess(aMode, mImposedAccess);
        if (aMode == ZuGenAccessModeReadWrite && RefTrue(mIsLocked, false)) aMode = ZuGenAccessModeReadOnly;
    }
    // A read cut short above reads as false or unavailable there: the
    // access fails instead of going on with a lock or an availability that
    // nothing read.
    return mMap->mCut ? CutFailure() : ZuResult();
}

ZuResult Node::CheckReadable() const
{
    ZuGenAccessMode lM = ZuGenAccessModeUndefined;
    ZuResult lR = Access(lM);
    if (!lR.IsOK()) return lR;
    if (lM == ZuGenAccessModeNotImplemented) return Fail(ZU_NOT_IMPLEMENTED, "'" + mName + "' is not implemented");
    if (!Readable(lM)) return Fail(ZU_STATE_ERROR, "'" + mName + "' is not readable");
    return ZuResult();
}

ZuResult Node::CheckWritable() const
{
    ZuGenAccessMode lM = ZuGenAccessModeUndefined;
    ZuResult lR = Access(lM);
    if (!lR.IsOK()) return lR;
    if (lM == ZuGenAccessModeNotImplemented) return Fail(ZU_NOT_IMPLEMENTED, "'" + mName + "' is not implemented");
    if (!Writable(lM)) return Fail(ZU_STATE_ERROR, "'" + mName + "' is not writable");
    return ZuResult();
}

ZuResult Node::CheckTextFits(const std::string &aText) const
{
    ZuResult lR = CheckWritable();
    int64_t lMax = 0;
    if (lR.IsOK()) lR = GetStringMaxLength(lMax);
    if (!lR.IsOK()) return lR;
    if (static_cast<int64_t>(aText.size()) > lMax) return Fail(ZU_INVALID_PARAMETER, "text too long for '" + mName + "'");
    return lR;
}

bool Node::IsEntryAvailable() const
{
    MapOperation lOp(mMap);
    DepthGuard lG(this);
    return lG.mOk && RefTrue(mIsImplemented, true) && RefTrue(mIsAvailable, true) && !mMap->mCut;
}

// ---- References -------------------------------------------------------------------

ZuResult Node::ReadRefInt(const ValueRef &aRef, int64_t &aValue) const
{
    if (!aRef.mNode) {
        aValue = aRef.mInt;
        return ZuResult();
    }
    return aRef.mNode->ReadAsInt(aValue);
}

ZuResult Node::ReadRefFloat(const ValueRef &aRef, double &aValue) const
{
    if (!aRef.mNode) {
        aValue = aRef.mFloat;
        return ZuResult();
    }
    return aRef.mNode->ReadAsFloat(aValue);
}

ZuResult Node::ReadAsInt(int64_t &aValue) const
{
    return Remember(mIntMemo, aValue, [this](int64_t &aV) { return ComputeInt(aV); });
}

ZuResult Node::ReadAsFloat(double &aValue) const
{
    return Remember(mFloatMemo, aValue, [this](double &aV) { return ComputeFloat(aV); });
}

ZuResult Node::ComputeInt(int64_t &aValue) const
{
    switch (GetInterface()) {
    case NodeInterface::Integer: return GetIntValue(aValue);
    case NodeInterface::Enumeration: return GetIntValue(aValue);
    case NodeInterface::Boolean: {
        bool lB = false;
        ZuResult lR = GetBoolValue(lB);
        aValue = lB;
        return lR;
    }
    case NodeInterface::Float: {
        double lF = 0;
        ZuResult lR = GetFloatValue(lF);
        aValue = FormulaValue::Float(lF).AsInt();
        return lR;
    }
    case NodeInterface::EnumEntry: return GetEntryValue(aValue);
    default: return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' has no numeric value");
    }
}

ZuResult Node::ComputeFloat(double &aValue) const
{
    if (GetInterface() == NodeInterface::Float) return GetFloatValue(aValue);
    int64_t lI = 0;
    ZuResult lR = ReadAsInt(lI);
    aValue = static_cast<double>(lI);
    return lR;
}

ZuResult Node::WriteAsInt(int64_t aValue)
{
    switch (GetInterface()) {
    case NodeInterface::Integer:
    case NodeInterface::Enumeration: return SetIntValue(aValue);
    case NodeInterface::Boolean: return SetBoolValue(aValue != 0);
    case NodeInterface::Float: return SetFloatValue(static_cast<double>(aValue));
    default: return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' has no numeric value");
    }
}

ZuResult Node::WriteAsFloat(double aValue)
{
    if (GetInterface() == NodeInterface::Float) return SetFloatValue(aValue);
    return WriteAsInt(FormulaValue::Float(std::round(aValue)).AsInt());
}

ZuResult Node::ReadBytes(const std::vector<uint8_t> *&) const { return NotA("a register"); }

ZuResult Node::ReadBytes(std::vector<uint8_t> &aBytes) const
{
    const std::vector<uint8_t> *lBytes = nullptr;
    ZuResult lR = ReadBytes(lBytes);
    if (lR.IsOK()) aBytes = *lBytes;
    return lR;
}

// ---- Integer and float: the rules every kind shares ----------------------------------

ZuResult Node::GetIntValue(int64_t &) const { return NotA("an integer"); }
ZuResult Node::GetFloatValue(double &) const { return NotA("a float"); }

ZuResult Node::IntBound(bool aMax, int64_t &aValue) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (GetInterface() != NodeInterface::Integer) return NotA("an integer");
    const ValueRef &lGiven = aMax ? mMax : mMin;
    if (lGiven.mSet) return ReadRefInt(lGiven, aValue);
    return NaturalIntBound(aMax, aValue);
}

ZuResult Node::NaturalIntBound(bool aMax, int64_t &aValue) const
{
    aValue = aMax ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return ZuResult();
}

ZuResult Node::GetIntInc(int64_t &aValue) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (GetInterface() != NodeInterface::Integer) return NotA("an integer");
    if (mInc.mSet) {
        ZuResult lR = ReadRefInt(mInc, aValue);
        if (lR.IsOK() && aValue <= 0) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' has an increment below 1");
        return lR;
    }
    return NaturalIntInc(aValue);
}

ZuResult Node::NaturalIntInc(int64_t &aValue) const
{
    aValue = 1;
    return ZuResult();
}

ZuResult Node::SetIntValue(int64_t aValue)
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (GetInterface() != NodeInterface::Integer) return NotA("an integer");
    ZuResult lR = CheckWritable();
    if (!lR.IsOK()) return lR;
    int64_t lMin = 0, lMax = 0, lInc = 1;
    lR = GetIntMin(lMin);
    if (lR.IsOK()) lR = GetIntMax(lMax);
    if (lR.IsOK()) lR = GetIntInc(lInc);
    if (!lR.IsOK()) return lR;
    if (aValue < lMin || aValue > lMax)
        return Fail(ZU_INVALID_PARAMETER, std::to_string(aValue) + " is outside the range of '" + mName + "' (" + std::to_string(lMin) + " to " + std::to_string(lMax) + ")");
    if (lInc > 1 && static_cast<uint64_t>(WrapSub(aValue, lMin)) % static_cast<uint64_t>(lInc) != 0)
        return Fail(ZU_INVALID_PARAMETER, std::to_string(aValue) + " does not follow the increment of '" + mName + "'");
    return WriteCheckedInt(aValue);
}

ZuResult Node::WriteCheckedInt(int64_t) { return Fail(ZU_STATE_ERROR, "'" + mName + "' is not writable"); }

ZuResult Node::FloatBound(bool aMax, double &aValue) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (GetInterface() != NodeInterface::Float) return NotA("a float");
    const ValueRef &lGiven = aMax ? mMax : mMin;
    if (lGiven.mSet) return ReadRefFloat(lGiven, aValue);
    return NaturalFloatBound(aMax, aValue);
}

ZuResult Node::NaturalFloatBound(bool aMax, double &aValue) const
{
    aValue = aMax ? std::numeric_limits<double>::max() : -std::numeric_limits<double>::max();
    return ZuResult();
}

ZuResult Node::SetFloatValue(double aValue)
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (GetInterface() != NodeInterface::Float) return NotA("a float");
    ZuResult lR = CheckWritable();
    double lMin = 0, lMax = 0;
    if (lR.IsOK()) lR = GetFloatMin(lMin);
    if (lR.IsOK()) lR = GetFloatMax(lMax);
    if (!lR.IsOK()) return lR;
    if (std::isnan(aValue) || aValue < lMin || aValue > lMax)
        return Fail(ZU_INVALID_PARAMETER, FormatFloat(aValue) + " is outside the range of '" + mName + "'");
    return WriteCheckedFloat(aValue);
}

ZuResult Node::WriteCheckedFloat(double) { return Fail(ZU_STATE_ERROR, "'" + mName + "' is not writable"); }

// ---- Interfaces a kind lacks ----------------------------------------------------------

ZuResult Node::GetBoolValue(bool &) const { return NotA("a boolean"); }
ZuResult Node::SetBoolValue(bool) { return NotA("a boolean"); }
ZuResult Node::GetStringValue(std::string &) const { return NotA("a string"); }
ZuResult Node::SetStringValue(const std::string &) { return NotA("a string"); }
ZuResult Node::GetStringMaxLength(int64_t &) const { return NotA("a string"); }
ZuResult Node::GetEntry(INode *&aEntry) const
{
    aEntry = nullptr;
    return NotA("an enumeration");
}
ZuResult Node::SetEntryByName(const std::string &) { return NotA("an enumeration"); }
ZuResult Node::GetEntryValue(int64_t &) const { return NotA("an enumeration entry"); }
ZuResult Node::Execute() { return NotA("a command"); }
ZuResult Node::IsDone(bool &) { return NotA("a command"); }
ZuResult Node::GetRegister(uint8_t *, int64_t) const { return NotA("a register"); }
ZuResult Node::SetRegister(const uint8_t *, int64_t) { return NotA("a register"); }
ZuResult Node::GetRegisterLength(int64_t &) const { return NotA("a register"); }

// ---- Text form ------------------------------------------------------------------------

ZuResult Node::ToString(std::string &aValue) const
{
    MapOperation lOp(mMap);
    ZuResult lR;
    switch (GetInterface()) {
    case NodeInterface::Integer: {
        int64_t lV = 0;
        lR = GetIntValue(lV);
        if (!lR.IsOK()) return lR;
        if (GetRepresentation() == ZuGenRepresentationHexNumber) {
            char lBuf[32];
            std::snprintf(lBuf, sizeof lBuf, "0x%llx", static_cast<unsigned long long>(lV));
            aValue = lBuf;
        } else {
            aValue = std::to_string(lV);
        }
        return lR;
    }
    case NodeInterface::Float: {
        double lV = 0;
        lR = GetFloatValue(lV);
        if (lR.IsOK()) aValue = FormatFloat(lV);
        return lR;
    }
    case NodeInterface::Boolean: {
        bool lB = false;
        lR = GetBoolValue(lB);
        if (lR.IsOK()) aValue = lB ? "true" : "false";
        return lR;
    }
    case NodeInterface::Enumeration: {
        INode *lE = nullptr;
        lR = GetEntry(lE);
        if (lR.IsOK()) aValue = lE->GetSymbolic();
        return lR;
    }
    case NodeInterface::String: return GetStringValue(aValue);
    case NodeInterface::Register: {
        std::vector<uint8_t> lB;
        lR = ReadBytes(lB);
        if (!lR.IsOK()) return lR;
        static const char kHex[] = "0123456789abcdef";
        aValue.clear();
        for (uint8_t lC : lB) {
            aValue.push_back(kHex[lC >> 4]);
            aValue.push_back(kHex[lC & 15]);
        }
        return lR;
    }
    default:
        return Fail(ZU_NOT_SUPPORTED, "'" + mName + "' has no value to show as text");
    }
}

ZuResult Node::FromString(const std::string &aValue)
{
    MapOperation lOp(mMap);
    std::string lT = aValue;
    switch (GetInterface()) {
    case NodeInterface::Integer: {
        char *lEnd = nullptr;
        errno = 0;
        long long lV = std::strtoll(lT.c_str(), &lEnd, 0);
        if (lT.empty() || *lEnd || errno == ERANGE) return Fail(ZU_INVALID_PARAMETER, "'" + aValue + "' is not an integer");
        return SetIntValue(lV);
    }
    case NodeInterface::Float: {
        char *lEnd = nullptr;
        double lV = std::strtod(lT.c_str(), &lEnd);
        if (lT.empty() || *lEnd) return Fail(ZU_INVALID_PARAMETER, "'" + aValue + "' is not a number");
        return SetFloatValue(lV);
    }
    case NodeInterface::Boolean:
        if (lT == "true" || lT == "True" || lT == "1") return SetBoolValue(true);
        if (lT == "false" || lT == "False" || lT == "0") return SetBoolValue(false);
        return Fail(ZU_INVALID_PARAMETER, "'" + aValue + "' is not a boolean");
    case NodeInterface::Enumeration: return SetEntryByName(lT);
    case NodeInterface::String: return SetStringValue(lT);
    case NodeInterface::Register: {
        if (lT.size() % 2) return Fail(ZU_INVALID_PARAMETER, "register text needs two hex digits per byte");
        std::vector<uint8_t> lB;
        for (size_t lI = 0; lI < lT.size(); lI += 2) {
            char lPair[3] = {lT[lI], lT[lI + 1], 0};
            char *lEnd = nullptr;
            unsigned long lV = std::strtoul(lPair, &lEnd, 16);
            if (*lEnd || !std::isxdigit(static_cast<unsigned char>(lPair[0]))) return Fail(ZU_INVALID_PARAMETER, "'" + aValue + "' is not hexadecimal");
            lB.push_back(static_cast<uint8_t>(lV));
        }
        return SetRegister(lB.data(), static_cast<int64_t>(lB.size()));
    }
    default:
        return Fail(ZU_NOT_SUPPORTED, "'" + mName + "' takes no value");
    }
}

} // namespace ZU_GENAPI_NS
