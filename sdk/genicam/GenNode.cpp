// Reading and writing node values, caching, invalidation and notification.

#include "GenNodeMap.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace ZU_GENAPI_NS
{

using tarn_genicam::Formula;
using tarn_genicam::FormulaValue;

ZuResult Fail(uint32_t aCode, const std::string &aWhy)
{
    return ZuResult(aCode, ZuString(aWhy.c_str()));
}

namespace
{

// Value chains are acyclic (checked at load), but a chain may still be long;
// this bounds the native stack whatever the description says. The count
// lives in the map: every engine call holds the map's lock.
const int kMaxDepth = 256;

struct DepthGuard
{
    int &mDepth;
    bool mOk;
    explicit DepthGuard(NodeMapImpl *aMap) : mDepth(aMap->mCallDepth), mOk(++mDepth <= kMaxDepth)
    {
        // A result cut short by the bound depends on the path taken, so
        // nothing read meanwhile may be remembered for the access.
        if (!mOk) ++aMap->mDepthFailures;
    }
    ~DepthGuard() { --mDepth; }
};

#define TARN_GUARD_DEPTH()                                                           \
    DepthGuard lDepthGuard(mMap);                                                    \
    if (!lDepthGuard.mOk) return Fail(ZU_GENERIC_ERROR, "references nested too deeply at '" + mName + "'")



bool Readable(ZuGenAccessMode aM) { return aM == ZuGenAccessModeReadOnly || aM == ZuGenAccessModeReadWrite; }
bool Writable(ZuGenAccessMode aM) { return aM == ZuGenAccessModeWriteOnly || aM == ZuGenAccessModeReadWrite; }

ZuGenAccessMode Combine(ZuGenAccessMode aA, ZuGenAccessMode aB)
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

int64_t WrapSub(int64_t aA, int64_t aB) { return static_cast<int64_t>(static_cast<uint64_t>(aA) - static_cast<uint64_t>(aB)); }

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

} // namespace

// ---- MemoryPort ------------------------------------------------------------

MemoryPort::MemoryPort(size_t aSize, uint64_t aBase, ZuGenAccessMode aMode) : mBytes(aSize, 0), mBase(aBase), mMode(aMode) {}

bool MemoryPort::Fits(uint64_t aAddress, int64_t aLength, size_t &aOffset) const
{
    if (aLength < 0 || aAddress < mBase) return false;
    uint64_t lOffset = aAddress - mBase;
    if (lOffset > mBytes.size() || static_cast<uint64_t>(aLength) > mBytes.size() - lOffset) return false;
    aOffset = static_cast<size_t>(lOffset);
    return true;
}

ZuResult MemoryPort::Read(uint64_t aAddress, void *aData, int64_t aLength)
{
    ++mAccesses;
    size_t lOffset = 0;
    if (!Readable(mMode)) return Fail(ZU_STATE_ERROR, "port is not readable");
    if (!Fits(aAddress, aLength, lOffset)) return Fail(ZU_INVALID_PARAMETER, "read outside the port's memory");
    if (aLength && !aData) return Fail(ZU_INVALID_PARAMETER, "no memory to read into");
    std::lock_guard<std::mutex> lLock(mLock);
    if (aLength) std::memcpy(aData, mBytes.data() + lOffset, static_cast<size_t>(aLength));
    return ZuResult();
}

ZuResult MemoryPort::Write(uint64_t aAddress, const void *aData, int64_t aLength)
{
    ++mAccesses;
    size_t lOffset = 0;
    if (!Writable(mMode)) return Fail(ZU_STATE_ERROR, "port is not writable");
    if (!Fits(aAddress, aLength, lOffset)) return Fail(ZU_INVALID_PARAMETER, "write outside the port's memory");
    if (aLength && !aData) return Fail(ZU_INVALID_PARAMETER, "no memory to write from");
    std::lock_guard<std::mutex> lLock(mLock);
    if (aLength) std::memcpy(mBytes.data() + lOffset, aData, static_cast<size_t>(aLength));
    return ZuResult();
}

// ---- Map operations ----------------------------------------------------------

MapOperation::~MapOperation()
{
    std::vector<Node *> lDeliver;
    if (--mMap->mDepth == 0) lDeliver.swap(mMap->mPending);
    // Copy the callbacks before unlocking: a callback may unregister itself.
    std::vector<std::pair<Node *, std::function<void(INode *)>>> lCalls;
    for (Node *lN : lDeliver)
        for (auto &lC : lN->mCallbacks) lCalls.emplace_back(lN, lC.second);
    mMap->mLock.unlock();
    for (auto &lC : lCalls) lC.second(lC.first);
}

INode *NodeMapImpl::GetNode(const std::string &aName) const
{
    auto lIt = mByName.find(aName);
    return lIt == mByName.end() ? nullptr : lIt->second;
}

ZuGenAccessMode NodeMapImpl::GetPortAccessMode() const
{
    return mPort ? mPort->GetAccessMode() : ZuGenAccessModeNotImplemented;
}

void NodeMapImpl::Changed(Node *aNode, bool aKeepOwnCache)
{
    ForgetReads();
    std::set<Node *> lSeen;
    std::vector<Node *> lTodo{aNode};
    while (!lTodo.empty()) {
        Node *lN = lTodo.back();
        lTodo.pop_back();
        if (!lSeen.insert(lN).second) continue;
        if (!(aKeepOwnCache && lN == aNode)) lN->DropCache();
        lN->mLastInvalidated = mClock;
        if (std::find(mPending.begin(), mPending.end(), lN) == mPending.end()) mPending.push_back(lN);
        for (Node *lD : lN->mDependants) lTodo.push_back(lD);
    }
}

std::vector<Node *> NodeMapImpl::RegistersBelow(Node *aNode)
{
    std::set<Node *> lSeen;
    std::vector<Node *> lTodo{aNode};
    std::vector<Node *> lRegisters;
    while (!lTodo.empty()) {
        Node *lN = lTodo.back();
        lTodo.pop_back();
        if (!lSeen.insert(lN).second) continue;
        if (lN->IsRegisterKind()) lRegisters.push_back(lN);
        for (Node *lD : lN->ValueDependencies()) lTodo.push_back(lD);
    }
    return lRegisters;
}

void NodeMapImpl::Invalidate(Node *aNode)
{
    Changed(aNode, false);
    for (Node *lR : RegistersBelow(aNode)) Changed(lR, false);
}

void NodeMapImpl::InvalidateNodes()
{
    MapOperation lOp(this);
    ForgetReads();
    for (auto &lN : mNodes) {
        lN->DropCache();
        lN->mLastInvalidated = mClock;
    }
}

void NodeMapImpl::Poll(int64_t aElapsedMs)
{
    MapOperation lOp(this);
    if (aElapsedMs >= 0) {
        mClock += aElapsedMs;
    } else {
        static const auto kStart = std::chrono::steady_clock::now();
        mClock = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - kStart).count();
    }
    for (auto &lN : mNodes)
        if (lN->mPollingTime >= 0 && mClock - lN->mLastInvalidated >= lN->mPollingTime) Invalidate(lN.get());
}

ZuResult NodeMapImpl::AttachDataChunks(const uint8_t *aData, uint32_t aLength)
{
    MapOperation lOp(this);
    // Whatever happens, the previous attachment ends here: its memory may
    // be gone once this call returns.
    DetachDataChunks();
    if (!aData && aLength) return Fail(ZU_INVALID_PARAMETER, "no chunk data given");
    // Walk the chunks from the end: each is followed by its identifier and
    // length, both big-endian 32-bit. A layout that does not add up is refused.
    std::vector<Chunk> lChunks;
    uint64_t lEnd = aLength;
    while (lEnd > 0) {
        if (lEnd < 8) return Fail(ZU_INVALID_DATA_FORMAT, "chunk data ends in a partial chunk trailer");
        const uint8_t *lT = aData + lEnd - 8;
        uint32_t lId = (uint32_t(lT[0]) << 24) | (uint32_t(lT[1]) << 16) | (uint32_t(lT[2]) << 8) | lT[3];
        uint32_t lLen = (uint32_t(lT[4]) << 24) | (uint32_t(lT[5]) << 16) | (uint32_t(lT[6]) << 8) | lT[7];
        if (lLen > lEnd - 8) return Fail(ZU_INVALID_DATA_FORMAT, "a chunk's length runs past the start of the chunk data");
        lChunks.push_back(Chunk{lId, static_cast<uint32_t>(lEnd - 8 - lLen), lLen});
        lEnd -= 8 + static_cast<uint64_t>(lLen);
    }
    mChunks.swap(lChunks);
    mChunkData = aData;
    mChunkLength = aLength;
    mChunksAttached = true;
    for (auto &lN : mNodes)
        if (lN->mKind == NodeKind::Port && !lN->mChunkID.empty()) Changed(lN.get(), false);
    return ZuResult();
}

ZuResult NodeMapImpl::DetachDataChunks()
{
    MapOperation lOp(this);
    mChunks.clear();
    mChunkData = nullptr;
    mChunkLength = 0;
    mChunksAttached = false;
    for (auto &lN : mNodes)
        if (lN->mKind == NodeKind::Port && !lN->mChunkID.empty()) Changed(lN.get(), false);
    return ZuResult();
}

namespace
{

bool ParseHexId(const std::string &aText, uint64_t &aId)
{
    std::string lText = aText;
    if (lText.compare(0, 2, "0x") == 0 || lText.compare(0, 2, "0X") == 0) lText = lText.substr(2);
    if (lText.empty() || lText.size() > 16) return false;
    char *lEnd = nullptr;
    aId = std::strtoull(lText.c_str(), &lEnd, 16);
    return *lEnd == '\0';
}

} // namespace

ZuResult NodeMapImpl::DeliverEvent(uint64_t aEventID, const uint8_t *aData, size_t aLength, std::vector<INode *> *aAffected)
{
    MapOperation lOp(this);
    if (!aData && aLength) return Fail(ZU_INVALID_PARAMETER, "no event data given");
    std::vector<Node *> lPorts;
    for (auto &lN : mNodes) {
        uint64_t lId = 0;
        if (lN->mKind == NodeKind::Port && ParseHexId(lN->mEventID, lId) && lId == aEventID) lPorts.push_back(lN.get());
    }
    if (lPorts.empty()) return Fail(ZU_NOT_FOUND, "no port of the description takes event " + std::to_string(aEventID));
    // A copy: the event's memory is the caller's only for this call.
    mEvents[aEventID].assign(aData, aData + aLength);
    size_t lBefore = mPending.size();
    for (Node *lP : lPorts) Changed(lP, false);
    if (aAffected) {
        aAffected->clear();
        for (size_t lI = lBefore; lI < mPending.size(); ++lI)
            if (mPending[lI]->mKind != NodeKind::Port) aAffected->push_back(mPending[lI]);
    }
    return ZuResult();
}

ZuResult NodeMapImpl::EventRead(const std::string &aEventID, uint64_t aAddress, void *aData, int64_t aLength) const
{
    uint64_t lId = 0;
    ParseHexId(aEventID, lId);
    auto lIt = mEvents.find(lId);
    if (lIt == mEvents.end()) return Fail(ZU_NO_AVAILABLE_DATA, "no event " + aEventID + " has arrived");
    const std::vector<uint8_t> &lData = lIt->second;
    if (aLength < 0 || aAddress > lData.size() || static_cast<uint64_t>(aLength) > lData.size() - aAddress)
        return Fail(ZU_INVALID_PARAMETER, "read outside the data of event " + aEventID);
    if (aLength) std::memcpy(aData, lData.data() + aAddress, static_cast<size_t>(aLength));
    return ZuResult();
}

ZuResult NodeMapImpl::ChunkRead(const std::string &aChunkID, uint64_t aAddress, void *aData, int64_t aLength) const
{
    if (!mChunksAttached) return Fail(ZU_NO_AVAILABLE_DATA, "no chunk data attached");
    int64_t lId = 0;
    std::string lText = aChunkID;
    if (lText.compare(0, 2, "0x") != 0 && lText.compare(0, 2, "0X") != 0) lText = "0x" + lText;
    char *lEnd = nullptr;
    lId = static_cast<int64_t>(std::strtoull(lText.c_str(), &lEnd, 16));
    for (const Chunk &lC : mChunks) {
        if (static_cast<int64_t>(lC.mId) != lId) continue;
        if (aLength < 0 || aAddress > lC.mLength || static_cast<uint64_t>(aLength) > lC.mLength - aAddress)
            return Fail(ZU_INVALID_PARAMETER, "read outside chunk " + aChunkID);
        if (aLength) std::memcpy(aData, mChunkData + lC.mOffset + aAddress, static_cast<size_t>(aLength));
        return ZuResult();
    }
    return Fail(ZU_NOT_FOUND, "chunk " + aChunkID + " is not in the attached data");
}

// ---- Node basics -------------------------------------------------------------

INodeMap *Node::GetNodeMap() const { return mMap; }

NodeInterface Node::GetInterface() const
{
    switch (mKind) {
    case NodeKind::Category: return NodeInterface::Category;
    case NodeKind::Float:
    case NodeKind::FloatReg:
    case NodeKind::SwissKnife:
    case NodeKind::Converter: return NodeInterface::Float;
    case NodeKind::Boolean: return NodeInterface::Boolean;
    case NodeKind::Command: return NodeInterface::Command;
    case NodeKind::Enumeration: return NodeInterface::Enumeration;
    case NodeKind::EnumEntry: return NodeInterface::EnumEntry;
    case NodeKind::String:
    case NodeKind::StringReg: return NodeInterface::String;
    case NodeKind::Register: return NodeInterface::Register;
    case NodeKind::Port: return NodeInterface::Port;
    default: return NodeInterface::Integer;
    }
}

bool Node::IsRegisterKind() const
{
    return mKind == NodeKind::IntReg || mKind == NodeKind::MaskedIntReg || mKind == NodeKind::StructEntry ||
           mKind == NodeKind::FloatReg || mKind == NodeKind::StringReg || mKind == NodeKind::Register;
}

std::vector<Node *> Node::ValueDependencies() const
{
    std::vector<Node *> lD;
    auto lAdd = [&](const ValueRef &aR) {
        if (aR.mNode) lD.push_back(aR.mNode);
    };
    lAdd(mIsImplemented);
    lAdd(mIsAvailable);
    lAdd(mIsLocked);
    lAdd(mValue);
    lAdd(mMin);
    lAdd(mMax);
    lAdd(mInc);
    lAdd(mIndex);
    lAdd(mOffset);
    for (const IndexedValue &lI : mIndexed) lAdd(lI.mValue);
    lAdd(mValueDefault);
    for (const ValueRef &lA : mAddresses) lAdd(lA);
    lAdd(mLength);
    lAdd(mPort);
    lAdd(mCommandValue);
    for (const Variable &lV : mVariables) lAdd(lV.mRef);
    for (Node *lE : mEntries) lD.push_back(lE);
    return lD;
}

ZuGenRepresentation Node::GetRepresentation() const
{
    if (mRepresentation != ZuGenRepresentationUndefined) return mRepresentation;
    // A plain number or a pass-through takes the representation of what it shows.
    MapOperation lOp(mMap);
    if ((mKind == NodeKind::Integer || mKind == NodeKind::Float) && mValue.mNode && mMap->mCallDepth < kMaxDepth) {
        DepthGuard lG(mMap);
        return mValue.mNode->GetRepresentation();
    }
    return mRepresentation;
}

std::string Node::GetUnit() const
{
    MapOperation lOp(mMap);
    if (!mUnit.empty() || !mValue.mNode || mMap->mCallDepth >= kMaxDepth) return mUnit;
    DepthGuard lG(mMap);
    return (mKind == NodeKind::Integer || mKind == NodeKind::Float) ? mValue.mNode->GetUnit() : mUnit;
}

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

ZuGenAccessMode Node::AccessMode() const
{
    ZuGenAccessMode lMode = ZuGenAccessModeUndefined;
    Remember(mAccessMemo, lMode, [this](ZuGenAccessMode &aM) {
        aM = ComputeAccessMode();
        return ZuResult();
    });
    return lMode;
}

ZuGenAccessMode Node::ComputeAccessMode() const
{
    DepthGuard lG(mMap);
    if (!lG.mOk) return ZuGenAccessModeNotAvailable;
    if (!RefTrue(mIsImplemented, true)) return ZuGenAccessModeNotImplemented;
    if (!RefTrue(mIsAvailable, true)) return ZuGenAccessModeNotAvailable;
    ZuGenAccessMode lM = ZuGenAccessModeReadWrite;
    switch (mKind) {
    case NodeKind::Category:
    case NodeKind::EnumEntry:
    case NodeKind::IntSwissKnife:
    case NodeKind::SwissKnife:
        lM = ZuGenAccessModeReadOnly;
        break;
    case NodeKind::Port:
        lM = mChunkID.empty() && mEventID.empty() ? mMap->GetPortAccessMode() : ZuGenAccessModeReadOnly;
        break;
    case NodeKind::Command:
        lM = mValue.mNode->AccessMode();
        if (Writable(lM)) lM = Readable(lM) ? ZuGenAccessModeReadWrite : ZuGenAccessModeWriteOnly;
        break;
    default:
        if (IsRegisterKind()) {
            lM = Combine(mDeclaredAccess, mPort.mNode->AccessMode());
        } else if (mValue.mNode) {
            lM = mValue.mNode->AccessMode();
        } else if (mIndex.mNode) {
            const ValueRef *lSrc = nullptr;
            if (IndexedSource(lSrc).IsOK() && lSrc->mNode) lM = lSrc->mNode->AccessMode();
            else lM = ZuGenAccessModeReadOnly;
        }
        break;
    }
    if (mImposedAccess != ZuGenAccessModeUndefined) lM = Combine(lM, mImposedAccess);
    if (lM == ZuGenAccessModeReadWrite && RefTrue(mIsLocked, false)) lM = ZuGenAccessModeReadOnly;
    return lM;
}

ZuResult Node::CheckReadable() const
{
    ZuGenAccessMode lM = AccessMode();
    if (lM == ZuGenAccessModeNotImplemented) return Fail(ZU_NOT_IMPLEMENTED, "'" + mName + "' is not implemented");
    if (!Readable(lM)) return Fail(ZU_STATE_ERROR, "'" + mName + "' is not readable");
    return ZuResult();
}

ZuResult Node::CheckWritable() const
{
    ZuGenAccessMode lM = AccessMode();
    if (lM == ZuGenAccessModeNotImplemented) return Fail(ZU_NOT_IMPLEMENTED, "'" + mName + "' is not implemented");
    if (!Writable(lM)) return Fail(ZU_STATE_ERROR, "'" + mName + "' is not writable");
    return ZuResult();
}

std::vector<INode *> Node::GetSelectedNodes() const { return std::vector<INode *>(mSelected.begin(), mSelected.end()); }
std::vector<INode *> Node::GetSelectingNodes() const { return std::vector<INode *>(mSelecting.begin(), mSelecting.end()); }
std::vector<INode *> Node::GetFeatures() const { return std::vector<INode *>(mFeatures.begin(), mFeatures.end()); }
std::vector<INode *> Node::GetEntries() const { return std::vector<INode *>(mEntries.begin(), mEntries.end()); }

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

// ---- References --------------------------------------------------------------

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

// Within one access every node is read at most once: a description whose
// nodes share references (pValue and pIsAvailable naming the same node, a
// formula naming a node twice) would otherwise be evaluated once per path,
// which grows exponentially with depth. Anything that may change a value
// starts a new epoch.
template <typename T, typename Compute>
ZuResult Node::Remember(ReadMemo<T> &aMemo, T &aValue, Compute aCompute) const
{
    if (aMemo.mEpoch == mMap->mEpoch) {
        aValue = aMemo.mValue;
        return aMemo.mResult;
    }
    uint64_t lEpoch = mMap->mEpoch;
    int lCut = mMap->mDepthFailures;
    ZuResult lR = aCompute(aValue);
    if (lEpoch == mMap->mEpoch && lCut == mMap->mDepthFailures) {
        aMemo.mEpoch = lEpoch;
        aMemo.mValue = aValue;
        aMemo.mResult = lR;
    }
    return lR;
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

ZuResult Node::IndexedSource(const ValueRef *&aRef) const
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

// ---- Registers -----------------------------------------------------------------

ZuResult Node::Address(uint64_t &aAddress) const
{
    uint64_t lA = 0;
    for (const ValueRef &lR : mAddresses) {
        int64_t lV = 0;
        ZuResult lRes = ReadRefInt(lR, lV);
        if (!lRes.IsOK()) return lRes;
        lA += static_cast<uint64_t>(lV);
    }
    if (mIndex.mSet) {
        int64_t lIndex = 0, lOffset = 0;
        ZuResult lRes = ReadRefInt(mIndex, lIndex);
        if (lRes.IsOK()) lRes = ReadRefInt(mOffset, lOffset);
        if (!lRes.IsOK()) return lRes;
        lA += static_cast<uint64_t>(lIndex) * static_cast<uint64_t>(lOffset);
    }
    aAddress = lA;
    return ZuResult();
}

ZuResult Node::Length(int64_t &aLength) const
{
    int64_t lLength = 0;
    ZuResult lR = ReadRefInt(mLength, lLength);
    if (lR.IsOK() && (lLength < 0 || lLength > (int64_t(1) << 24)))
        lR = Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' has the length " + std::to_string(lLength));
    // A length that failed is no length: callers never see it.
    aLength = lR.IsOK() ? lLength : 0;
    return lR;
}

// Integer registers are read and written as one number of 1 to 8 bytes;
// a pLength may name anything, so reads and writes check it alike.
ZuResult Node::IntRegLength(int64_t aLength) const
{
    if (aLength < 1 || aLength > 8) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' is not 1 to 8 bytes long");
    return ZuResult();
}

ZuResult Node::PortRead(uint64_t aAddress, void *aData, int64_t aLength) const
{
    const Node *lPort = mPort.mNode;
    if (!lPort->mChunkID.empty()) return mMap->ChunkRead(lPort->mChunkID, aAddress, aData, aLength);
    if (!lPort->mEventID.empty()) return mMap->EventRead(lPort->mEventID, aAddress, aData, aLength);
    if (!mMap->mPort) return Fail(ZU_NOT_CONNECTED, "no device port behind '" + lPort->mName + "'");
    return mMap->mPort->Read(aAddress, aData, aLength);
}

ZuResult Node::PortWrite(uint64_t aAddress, const void *aData, int64_t aLength)
{
    const Node *lPort = mPort.mNode;
    if (!lPort->mChunkID.empty() || !lPort->mEventID.empty()) return Fail(ZU_STATE_ERROR, "chunk and event data cannot be written");
    if (!mMap->mPort) return Fail(ZU_NOT_CONNECTED, "no device port behind '" + lPort->mName + "'");
    mMap->ForgetReads();
    return mMap->mPort->Write(aAddress, aData, aLength);
}

ZuResult Node::ReadBytes(const std::vector<uint8_t> *&aBytes) const
{
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckReadable();
    uint64_t lAddress = 0;
    int64_t lLength = 0;
    if (lR.IsOK()) lR = Address(lAddress);
    if (lR.IsOK()) lR = Length(lLength);
    if (!lR.IsOK()) return lR;
    if (mCache != ZuGenCacheNone && mCacheValid && mCacheAddress == lAddress && mCacheBytes.size() == static_cast<size_t>(lLength)) {
        aBytes = &mCacheBytes;
        return ZuResult();
    }
    // The bytes live in the node (under the map's lock) until its next read.
    mCacheValid = false;
    mCacheBytes.assign(static_cast<size_t>(lLength), 0);
    lR = PortRead(lAddress, mCacheBytes.data(), lLength);
    if (!lR.IsOK()) return lR;
    if (mCache != ZuGenCacheNone) {
        mCacheAddress = lAddress;
        mCacheValid = true;
    }
    aBytes = &mCacheBytes;
    return lR;
}

ZuResult Node::ReadBytes(std::vector<uint8_t> &aBytes) const
{
    const std::vector<uint8_t> *lBytes = nullptr;
    ZuResult lR = ReadBytes(lBytes);
    if (lR.IsOK()) aBytes = *lBytes;
    return lR;
}

ZuResult Node::WriteBytes(const std::vector<uint8_t> &aBytes)
{
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckWritable();
    uint64_t lAddress = 0;
    int64_t lLength = 0;
    if (lR.IsOK()) lR = Address(lAddress);
    if (lR.IsOK()) lR = Length(lLength);
    if (!lR.IsOK()) return lR;
    if (static_cast<int64_t>(aBytes.size()) != lLength) return Fail(ZU_INVALID_PARAMETER, "wrong number of bytes for '" + mName + "'");
    lR = PortWrite(lAddress, aBytes.data(), lLength);
    if (!lR.IsOK()) {
        mCacheValid = false;
        return lR;
    }
    bool lKeep = mCache == ZuGenCacheWriteThrough;
    if (lKeep) {
        mCacheBytes = aBytes;
        mCacheAddress = lAddress;
        mCacheValid = true;
    }
    mMap->Changed(this, lKeep);
    // Other registers over the same bytes of the same port now hold stale
    // copies, whether or not the description names an invalidator.
    for (auto &lOther : mMap->mNodes) {
        Node *lO = lOther.get();
        if (lO == this || !lO->mCacheValid || lO->mPort.mNode != mPort.mNode) continue;
        uint64_t lEnd = lAddress + static_cast<uint64_t>(lLength);
        uint64_t lOtherEnd = lO->mCacheAddress + lO->mCacheBytes.size();
        if (lO->mCacheAddress < lEnd && lAddress < lOtherEnd) mMap->Changed(lO, false);
    }
    return lR;
}

ZuResult Node::BitRange(int64_t aLength, unsigned &aLow, unsigned &aWidth) const
{
    int64_t lBits = aLength * 8;
    int64_t lLsb, lMsb;
    if (mBit.mSet) lLsb = lMsb = mBit.mInt;
    else {
        lLsb = mLsb.mInt;
        lMsb = mMsb.mInt;
    }
    if (lLsb < 0 || lMsb < 0 || lLsb >= lBits || lMsb >= lBits)
        return Fail(ZU_INVALID_DATA_FORMAT, "bit numbers of '" + mName + "' lie outside its register");
    int64_t lLow, lHigh;
    if (mEndianness == ZuGenEndiannessBig && !(mMap->mSchemaMinor == 0 && lLsb < lMsb)) {
        // Big-endian registers number their bits from the most significant
        // one. Schema 1.0 descriptions also wrote them the little-endian
        // way (LSB below MSB); that order can only mean such numbering.
        if (lLsb < lMsb) return Fail(ZU_INVALID_DATA_FORMAT, "LSB above MSB in big-endian '" + mName + "'");
        lLow = lBits - 1 - lLsb;
        lHigh = lBits - 1 - lMsb;
    } else {
        if (lLsb > lMsb) return Fail(ZU_INVALID_DATA_FORMAT, "LSB above MSB in '" + mName + "'");
        lLow = lLsb;
        lHigh = lMsb;
    }
    if (lHigh - lLow + 1 > 64) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' spans more than 64 bits");
    aLow = static_cast<unsigned>(lLow);
    aWidth = static_cast<unsigned>(lHigh - lLow + 1);
    return ZuResult();
}

namespace
{

// Bytes of a register as an unsigned number (up to 8 bytes, or the low 8
// of a longer one for masked access).
bool BytesToBits(const std::vector<uint8_t> &aB, ZuGenEndianness aE, unsigned aLow, unsigned aWidth, uint64_t &aOut)
{
    uint64_t lV = 0;
    size_t lN = aB.size();
    if (aLow == 0 && aWidth == lN * 8 && lN <= 8) {
        for (size_t lI = 0; lI < lN; ++lI) {
            size_t lIdx = aE == ZuGenEndiannessBig ? lI : lN - 1 - lI;
            lV = (lV << 8) | aB[lIdx];
        }
        aOut = lV;
        return true;
    }
    for (unsigned lBit = 0; lBit < aWidth; ++lBit) {
        size_t lAbs = aLow + lBit;
        size_t lByte = lAbs / 8;
        if (lByte >= lN) return false;
        size_t lIdx = aE == ZuGenEndiannessBig ? lN - 1 - lByte : lByte;
        if ((aB[lIdx] >> (lAbs % 8)) & 1) lV |= uint64_t(1) << lBit;
    }
    aOut = lV;
    return true;
}

void BitsToBytes(std::vector<uint8_t> &aB, ZuGenEndianness aE, unsigned aLow, unsigned aWidth, uint64_t aV)
{
    size_t lN = aB.size();
    for (unsigned lBit = 0; lBit < aWidth; ++lBit) {
        size_t lAbs = aLow + lBit;
        size_t lByte = lAbs / 8;
        if (lByte >= lN) return;
        size_t lIdx = aE == ZuGenEndiannessBig ? lN - 1 - lByte : lByte;
        uint8_t lMask = static_cast<uint8_t>(1u << (lAbs % 8));
        if ((aV >> lBit) & 1) aB[lIdx] |= lMask;
        else aB[lIdx] &= static_cast<uint8_t>(~lMask);
    }
}

int64_t Extend(uint64_t aV, unsigned aWidth, bool aSigned)
{
    if (aWidth >= 64) return static_cast<int64_t>(aV);
    if (aSigned && ((aV >> (aWidth - 1)) & 1)) aV |= ~uint64_t(0) << aWidth;
    return static_cast<int64_t>(aV);
}

} // namespace

// ---- Integer interface ----------------------------------------------------------

ZuResult Node::GetIntValue(int64_t &aValue) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    switch (mKind) {
    case NodeKind::Integer: {
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
    case NodeKind::Enumeration: {
        ZuResult lR = CheckReadable();
        if (!lR.IsOK()) return lR;
        if (mValue.mNode) return mValue.mNode->ReadAsInt(aValue);
        aValue = mOwnInt;
        return ZuResult();
    }
    case NodeKind::IntReg: {
        const std::vector<uint8_t> *lBytes = nullptr;
        ZuResult lR = ReadBytes(lBytes);
        if (!lR.IsOK()) return lR;
        const std::vector<uint8_t> &lB = *lBytes;
        ZuResult lLen = IntRegLength(static_cast<int64_t>(lB.size()));
        if (!lLen.IsOK()) return lLen;
        uint64_t lV = 0;
        unsigned lWidth = static_cast<unsigned>(lB.size() * 8);
        BytesToBits(lB, mEndianness, 0, lWidth, lV);
        aValue = Extend(lV, lWidth, mSign == ZuGenSignSigned);
        return lR;
    }
    case NodeKind::MaskedIntReg:
    case NodeKind::StructEntry: {
        const std::vector<uint8_t> *lBytes = nullptr;
        ZuResult lR = ReadBytes(lBytes);
        unsigned lLow = 0, lWidth = 0;
        if (lR.IsOK()) lR = BitRange(static_cast<int64_t>(lBytes->size()), lLow, lWidth);
        if (!lR.IsOK()) return lR;
        uint64_t lV = 0;
        BytesToBits(*lBytes, mEndianness, lLow, lWidth, lV);
        aValue = Extend(lV, lWidth, mSign == ZuGenSignSigned);
        return lR;
    }
    case NodeKind::IntSwissKnife: {
        FormulaValue lV;
        ZuResult lR = CheckReadable();
        if (lR.IsOK()) lR = EvaluateFormula(mFormula, true, nullptr, lV);
        if (lR.IsOK()) aValue = lV.AsInt();
        return lR;
    }
    case NodeKind::IntConverter: {
        ZuResult lR = CheckReadable();
        FormulaValue lFrom, lTo;
        if (lR.IsOK()) {
            if (mValue.mNode->GetInterface() == NodeInterface::Float) {
                double lF = 0;
                lR = mValue.mNode->ReadAsFloat(lF);
                lFrom = FormulaValue::Float(lF);
            } else {
                int64_t lI = 0;
                lR = mValue.mNode->ReadAsInt(lI);
                lFrom = FormulaValue::Int(lI);
            }
        }
        if (lR.IsOK()) lR = ConverterTo(lFrom, lTo);
        if (lR.IsOK()) aValue = lTo.AsInt();
        return lR;
    }
    default:
        return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not an integer");
    }
}

ZuResult Node::IntBound(bool aMax, int64_t &aValue) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (mKind == NodeKind::Enumeration || GetInterface() != NodeInterface::Integer)
        return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not an integer");
    const ValueRef &lGiven = aMax ? mMax : mMin;
    if (lGiven.mSet) return ReadRefInt(lGiven, aValue);
    switch (mKind) {
    case NodeKind::Integer:
        if (mValue.mNode && mValue.mNode->GetInterface() == NodeInterface::Integer)
            return aMax ? mValue.mNode->GetIntMax(aValue) : mValue.mNode->GetIntMin(aValue);
        break;
    case NodeKind::IntReg:
    case NodeKind::MaskedIntReg:
    case NodeKind::StructEntry: {
        // The register's own width and sign bound the values it can hold.
        int64_t lLength = 0;
        ZuResult lR = Length(lLength);
        if (!lR.IsOK()) return lR;
        unsigned lLow = 0, lWidth = 0;
        if (mKind == NodeKind::IntReg) {
            lR = IntRegLength(lLength);
            lWidth = static_cast<unsigned>(lLength * 8);
        } else {
            lR = BitRange(lLength, lLow, lWidth);
        }
        if (!lR.IsOK()) return lR;
        if (lWidth == 0 || lWidth > 64) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' has no integer width");
        bool lSigned = mSign == ZuGenSignSigned;
        unsigned lBits = lSigned ? lWidth - 1 : lWidth;
        int64_t lTop = lBits >= 63 ? std::numeric_limits<int64_t>::max() : (int64_t(1) << lBits) - 1;
        aValue = aMax ? lTop : (lSigned ? -lTop - 1 : 0);
        return ZuResult();
    }
    case NodeKind::IntConverter: {
        FormulaValue lV;
        ZuResult lR = ConverterRange(aMax, lV);
        if (lR.IsOK()) aValue = lV.AsInt();
        return lR;
    }
    default:
        break;
    }
    aValue = aMax ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return ZuResult();
}

ZuResult Node::GetIntMin(int64_t &aValue) const { return IntBound(false, aValue); }
ZuResult Node::GetIntMax(int64_t &aValue) const { return IntBound(true, aValue); }

ZuResult Node::GetIntInc(int64_t &aValue) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (mKind == NodeKind::Enumeration || GetInterface() != NodeInterface::Integer)
        return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not an integer");
    if (mInc.mSet) {
        ZuResult lR = ReadRefInt(mInc, aValue);
        if (lR.IsOK() && aValue <= 0) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' has an increment below 1");
        return lR;
    }
    if (mKind == NodeKind::Integer && mValue.mNode && mValue.mNode->GetInterface() == NodeInterface::Integer)
        return mValue.mNode->GetIntInc(aValue);
    aValue = 1;
    return ZuResult();
}

ZuResult Node::SetIntValue(int64_t aValue)
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (mKind == NodeKind::Enumeration) {
        ZuResult lR = CheckWritable();
        if (!lR.IsOK()) return lR;
        Node *lEntry = FindEntryByValue(aValue);
        if (!lEntry) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' has no entry with the value " + std::to_string(aValue));
        if (!lEntry->IsEntryAvailable()) return Fail(ZU_STATE_ERROR, "entry '" + lEntry->GetSymbolic() + "' of '" + mName + "' is not available");
        if (mValue.mNode) return mValue.mNode->WriteAsInt(aValue);
        mOwnInt = aValue;
        mMap->Changed(this, true);
        return ZuResult();
    }
    if (GetInterface() != NodeInterface::Integer) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not an integer");
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
    switch (mKind) {
    case NodeKind::Integer:
        if (mValue.mNode) return mValue.mNode->WriteAsInt(aValue);
        if (mIndex.mNode) {
            const ValueRef *lSrc = nullptr;
            lR = IndexedSource(lSrc);
            if (!lR.IsOK()) return lR;
            if (!lSrc->mNode) return Fail(ZU_STATE_ERROR, "'" + mName + "' is a constant for this index");
            return lSrc->mNode->WriteAsInt(aValue);
        }
        mOwnInt = aValue;
        mMap->Changed(this, true);
        return ZuResult();
    case NodeKind::IntReg: {
        int64_t lLength = 0;
        lR = Length(lLength);
        if (lR.IsOK()) lR = IntRegLength(lLength);
        if (!lR.IsOK()) return lR;
        std::vector<uint8_t> lB(static_cast<size_t>(lLength), 0);
        BitsToBytes(lB, mEndianness, 0, static_cast<unsigned>(lLength * 8), static_cast<uint64_t>(aValue));
        return WriteBytes(lB);
    }
    case NodeKind::MaskedIntReg:
    case NodeKind::StructEntry: {
        int64_t lLength = 0;
        lR = Length(lLength);
        if (!lR.IsOK()) return lR;
        std::vector<uint8_t> lB(static_cast<size_t>(lLength), 0);
        // Keep the other bits of the register: read them first when allowed.
        if (Readable(AccessMode())) {
            lR = ReadBytes(lB);
            if (!lR.IsOK()) return lR;
        }
        unsigned lLow = 0, lWidth = 0;
        lR = BitRange(lLength, lLow, lWidth);
        if (!lR.IsOK()) return lR;
        BitsToBytes(lB, mEndianness, lLow, lWidth, static_cast<uint64_t>(aValue));
        return WriteBytes(lB);
    }
    case NodeKind::IntConverter: {
        Variable lTo{"TO", ValueRef()};
        lTo.mRef.mInt = aValue;
        lTo.mRef.mFloat = static_cast<double>(aValue);
        FormulaValue lRaw;
        bool lFloatTarget = mValue.mNode->GetInterface() == NodeInterface::Float;
        lR = EvaluateFormula(mFormulaFrom, !lFloatTarget, &lTo, lRaw);
        if (!lR.IsOK()) return lR;
        return lFloatTarget ? mValue.mNode->WriteAsFloat(lRaw.AsFloat()) : mValue.mNode->WriteAsInt(lRaw.AsInt());
    }
    default:
        return Fail(ZU_STATE_ERROR, "'" + mName + "' is not writable");
    }
}

// ---- Formulas --------------------------------------------------------------------

ZuResult Node::EvaluateFormula(const Formula &aFormula, bool aInteger, const Variable *aExtra, FormulaValue &aOut) const
{
    TARN_GUARD_DEPTH();
    ZuResult lFailure;
    // Named constants and expressions are worked out once per evaluation,
    // however often later expressions use them.
    std::map<const NamedFormula *, FormulaValue> lNamed;
    auto lNamedValue = [&](const NamedFormula &aF, const Formula::Resolver &aResolve, FormulaValue &aV, std::string &aError) {
        auto lIt = lNamed.find(&aF);
        if (lIt != lNamed.end()) {
            aV = lIt->second;
            return true;
        }
        if (!aF.mFormula.Evaluate(aResolve, aInteger, aV, aError)) return false;
        lNamed[&aF] = aV;
        return true;
    };
    Formula::Resolver lResolve = [&](const std::string &aName, FormulaValue &aV, std::string &aError) -> bool {
        if (aExtra && aName == aExtra->mName) {
            aV = aInteger ? FormulaValue::Int(aExtra->mRef.mInt) : FormulaValue::Float(aExtra->mRef.mFloat);
            return true;
        }
        for (const Variable &lV : mVariables) {
            if (lV.mName != aName) continue;
            ZuResult lR;
            if (!aInteger && lV.mRef.mNode && lV.mRef.mNode->GetInterface() == NodeInterface::Float) {
                double lF = 0;
                lR = lV.mRef.mNode->ReadAsFloat(lF);
                aV = FormulaValue::Float(lF);
            } else if (lV.mRef.mNode && lV.mRef.mNode->GetInterface() == NodeInterface::Float) {
                double lF = 0;
                lR = lV.mRef.mNode->ReadAsFloat(lF);
                aV = FormulaValue::Float(lF);
            } else {
                int64_t lI = 0;
                lR = ReadRefInt(lV.mRef, lI);
                aV = FormulaValue::Int(lI);
            }
            if (!lR.IsOK()) {
                lFailure = lR;
                aError = "cannot read " + aName;
                return false;
            }
            return true;
        }
        for (const NamedFormula &lC : mConstants)
            if (lC.mName == aName) return lNamedValue(lC, lResolve, aV, aError);
        for (const NamedFormula &lX : mExpressions)
            if (lX.mName == aName) return lNamedValue(lX, lResolve, aV, aError);
        aError = "unknown name " + aName;
        return false;
    };
    std::string lError;
    if (!aFormula.Evaluate(lResolve, aInteger, aOut, lError)) {
        if (!lFailure.IsOK()) return lFailure;
        return Fail(ZU_INVALID_DATA_FORMAT, "formula of '" + mName + "' failed: " + lError);
    }
    return ZuResult();
}

ZuResult Node::ConverterTo(const FormulaValue &aFrom, FormulaValue &aOut) const
{
    Variable lFrom{"FROM", ValueRef()};
    lFrom.mRef.mInt = aFrom.AsInt();
    lFrom.mRef.mFloat = aFrom.AsFloat();
    return EvaluateFormula(mFormulaTo, mKind == NodeKind::IntConverter, &lFrom, aOut);
}

ZuResult Node::ConverterRange(bool aMax, FormulaValue &aOut) const
{
    // The formula may rise or fall: convert both ends of the target's range.
    Node *lT = mValue.mNode;
    FormulaValue lLo, lHi;
    ZuResult lR;
    if (lT->GetInterface() == NodeInterface::Float) {
        double lA = 0, lB = 0;
        lR = lT->GetFloatMin(lA);
        if (lR.IsOK()) lR = lT->GetFloatMax(lB);
        lLo = FormulaValue::Float(lA);
        lHi = FormulaValue::Float(lB);
    } else {
        int64_t lA = 0, lB = 0;
        lR = lT->GetIntMin(lA);
        if (lR.IsOK()) lR = lT->GetIntMax(lB);
        lLo = FormulaValue::Int(lA);
        lHi = FormulaValue::Int(lB);
    }
    FormulaValue lC1, lC2;
    if (lR.IsOK()) lR = ConverterTo(lLo, lC1);
    if (lR.IsOK()) lR = ConverterTo(lHi, lC2);
    if (!lR.IsOK()) return lR;
    bool lFirstBigger = lC1.AsFloat() > lC2.AsFloat();
    aOut = (aMax == lFirstBigger) ? lC1 : lC2;
    return ZuResult();
}

// ---- Float interface -------------------------------------------------------------

ZuResult Node::GetFloatValue(double &aValue) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    switch (mKind) {
    case NodeKind::Float: {
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
    case NodeKind::FloatReg: {
        std::vector<uint8_t> lB;
        ZuResult lR = ReadBytes(lB);
        if (!lR.IsOK()) return lR;
        if (lB.size() != 4 && lB.size() != 8) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' is not 4 or 8 bytes long");
        uint64_t lBits = 0;
        BytesToBits(lB, mEndianness, 0, static_cast<unsigned>(lB.size() * 8), lBits);
        if (lB.size() == 4) {
            uint32_t lW = static_cast<uint32_t>(lBits);
            float lF;
            std::memcpy(&lF, &lW, 4);
            aValue = lF;
        } else {
            std::memcpy(&aValue, &lBits, 8);
        }
        return lR;
    }
    case NodeKind::SwissKnife: {
        FormulaValue lV;
        ZuResult lR = CheckReadable();
        if (lR.IsOK()) lR = EvaluateFormula(mFormula, false, nullptr, lV);
        if (lR.IsOK()) aValue = lV.AsFloat();
        return lR;
    }
    case NodeKind::Converter: {
        ZuResult lR = CheckReadable();
        double lRaw = 0;
        FormulaValue lTo;
        if (lR.IsOK()) lR = mValue.mNode->ReadAsFloat(lRaw);
        if (lR.IsOK()) lR = ConverterTo(FormulaValue::Float(lRaw), lTo);
        if (lR.IsOK()) aValue = lTo.AsFloat();
        return lR;
    }
    default:
        return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a float");
    }
}

ZuResult Node::FloatBound(bool aMax, double &aValue) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (GetInterface() != NodeInterface::Float) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a float");
    const ValueRef &lGiven = aMax ? mMax : mMin;
    if (lGiven.mSet) return ReadRefFloat(lGiven, aValue);
    if (mKind == NodeKind::Float && mValue.mNode && mValue.mNode->GetInterface() == NodeInterface::Float)
        return aMax ? mValue.mNode->GetFloatMax(aValue) : mValue.mNode->GetFloatMin(aValue);
    if (mKind == NodeKind::Converter) {
        FormulaValue lV;
        ZuResult lR = ConverterRange(aMax, lV);
        if (lR.IsOK()) aValue = lV.AsFloat();
        return lR;
    }
    aValue = aMax ? std::numeric_limits<double>::max() : -std::numeric_limits<double>::max();
    return ZuResult();
}

ZuResult Node::GetFloatMin(double &aValue) const { return FloatBound(false, aValue); }
ZuResult Node::GetFloatMax(double &aValue) const { return FloatBound(true, aValue); }

ZuResult Node::SetFloatValue(double aValue)
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (GetInterface() != NodeInterface::Float) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a float");
    ZuResult lR = CheckWritable();
    double lMin = 0, lMax = 0;
    if (lR.IsOK()) lR = GetFloatMin(lMin);
    if (lR.IsOK()) lR = GetFloatMax(lMax);
    if (!lR.IsOK()) return lR;
    if (std::isnan(aValue) || aValue < lMin || aValue > lMax)
        return Fail(ZU_INVALID_PARAMETER, FormatFloat(aValue) + " is outside the range of '" + mName + "'");
    switch (mKind) {
    case NodeKind::Float:
        if (mValue.mNode) return mValue.mNode->WriteAsFloat(aValue);
        if (mIndex.mNode) {
            const ValueRef *lSrc = nullptr;
            lR = IndexedSource(lSrc);
            if (!lR.IsOK()) return lR;
            if (!lSrc->mNode) return Fail(ZU_STATE_ERROR, "'" + mName + "' is a constant for this index");
            return lSrc->mNode->WriteAsFloat(aValue);
        }
        mOwnFloat = aValue;
        mMap->Changed(this, true);
        return ZuResult();
    case NodeKind::FloatReg: {
        int64_t lLength = 0;
        lR = Length(lLength);
        if (!lR.IsOK()) return lR;
        if (lLength != 4 && lLength != 8) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' is not 4 or 8 bytes long");
        uint64_t lBits = 0;
        if (lLength == 4) {
            float lF = static_cast<float>(aValue);
            uint32_t lW;
            std::memcpy(&lW, &lF, 4);
            lBits = lW;
        } else {
            std::memcpy(&lBits, &aValue, 8);
        }
        std::vector<uint8_t> lB(static_cast<size_t>(lLength), 0);
        BitsToBytes(lB, mEndianness, 0, static_cast<unsigned>(lLength * 8), lBits);
        return WriteBytes(lB);
    }
    case NodeKind::Converter: {
        Variable lTo{"TO", ValueRef()};
        lTo.mRef.mFloat = aValue;
        lTo.mRef.mInt = FormulaValue::Float(aValue).AsInt();
        FormulaValue lRaw;
        lR = EvaluateFormula(mFormulaFrom, false, &lTo, lRaw);
        if (!lR.IsOK()) return lR;
        return mValue.mNode->WriteAsFloat(lRaw.AsFloat());
    }
    default:
        return Fail(ZU_STATE_ERROR, "'" + mName + "' is not writable");
    }
}

// ---- Boolean, command ------------------------------------------------------------

ZuResult Node::GetBoolValue(bool &aValue) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (mKind != NodeKind::Boolean) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a boolean");
    ZuResult lR = CheckReadable();
    int64_t lV = 0;
    if (lR.IsOK()) lR = mValue.mNode ? mValue.mNode->ReadAsInt(lV) : (lV = mOwnInt, ZuResult());
    if (!lR.IsOK()) return lR;
    if (lV == mOnValue.mInt) aValue = true;
    else if (lV == mOffValue.mInt) aValue = false;
    else return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' holds " + std::to_string(lV) + ", neither its on nor its off value");
    return lR;
}

ZuResult Node::SetBoolValue(bool aValue)
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (mKind != NodeKind::Boolean) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a boolean");
    ZuResult lR = CheckWritable();
    if (!lR.IsOK()) return lR;
    int64_t lV = aValue ? mOnValue.mInt : mOffValue.mInt;
    if (mValue.mNode) return mValue.mNode->WriteAsInt(lV);
    mOwnInt = lV;
    mMap->Changed(this, true);
    return lR;
}

ZuResult Node::Execute()
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (mKind != NodeKind::Command) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a command");
    ZuResult lR = CheckWritable();
    int64_t lV = 0;
    if (lR.IsOK()) lR = ReadRefInt(mCommandValue, lV);
    if (lR.IsOK()) lR = mValue.mNode->WriteAsInt(lV);
    if (lR.IsOK()) mMap->Changed(this, false);
    return lR;
}

ZuResult Node::IsDone(bool &aDone)
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (mKind != NodeKind::Command) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a command");
    // A command whose register cannot be read back is done once written;
    // one that reads back is done when the device cleared its value.
    if (!Readable(mValue.mNode->AccessMode())) {
        aDone = true;
        return ZuResult();
    }
    // Read the device's own value, not what was written: without telling
    // anyone of a change, as nothing was changed here.
    for (Node *lR : mMap->RegistersBelow(mValue.mNode)) lR->DropCache();
    mMap->ForgetReads();
    int64_t lCurrent = 0, lCommand = 0;
    ZuResult lR = mValue.mNode->ReadAsInt(lCurrent);
    if (lR.IsOK()) lR = ReadRefInt(mCommandValue, lCommand);
    if (lR.IsOK()) aDone = lCurrent != lCommand;
    return lR;
}

// ---- Enumeration -------------------------------------------------------------------

Node *Node::FindEntryByValue(int64_t aValue) const
{
    for (Node *lE : mEntries)
        if (lE->mValue.mInt == aValue) return lE;
    return nullptr;
}

bool Node::IsEntryAvailable() const
{
    MapOperation lOp(mMap);
    DepthGuard lG(mMap);
    return lG.mOk && RefTrue(mIsImplemented, true) && RefTrue(mIsAvailable, true);
}

ZuResult Node::GetEntry(INode *&aEntry) const
{
    MapOperation lOp(mMap);
    aEntry = nullptr;
    if (mKind != NodeKind::Enumeration) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not an enumeration");
    int64_t lV = 0;
    ZuResult lR = GetIntValue(lV);
    if (!lR.IsOK()) return lR;
    aEntry = FindEntryByValue(lV);
    if (!aEntry) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' holds " + std::to_string(lV) + ", which no entry has");
    return lR;
}

ZuResult Node::SetEntryByName(const std::string &aSymbol)
{
    MapOperation lOp(mMap);
    if (mKind != NodeKind::Enumeration) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not an enumeration");
    for (Node *lE : mEntries)
        if (lE->GetSymbolic() == aSymbol) return SetIntValue(lE->mValue.mInt);
    return Fail(ZU_NOT_FOUND, "'" + mName + "' has no entry '" + aSymbol + "'");
}

ZuResult Node::GetEntryValue(int64_t &aValue) const
{
    if (mKind != NodeKind::EnumEntry) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not an enumeration entry");
    aValue = mValue.mInt;
    return ZuResult();
}

// ---- String ------------------------------------------------------------------------

ZuResult Node::GetStringValue(std::string &aValue) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (mKind == NodeKind::String) {
        ZuResult lR = CheckReadable();
        if (!lR.IsOK()) return lR;
        if (mValue.mNode) return mValue.mNode->GetStringValue(aValue);
        aValue = mOwnText;
        return lR;
    }
    if (mKind != NodeKind::StringReg) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a string");
    std::vector<uint8_t> lB;
    ZuResult lR = ReadBytes(lB);
    if (!lR.IsOK()) return lR;
    size_t lEnd = 0;
    while (lEnd < lB.size() && lB[lEnd]) ++lEnd;
    aValue.assign(reinterpret_cast<const char *>(lB.data()), lEnd);
    return lR;
}

ZuResult Node::SetStringValue(const std::string &aValue)
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (mKind != NodeKind::String && mKind != NodeKind::StringReg) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a string");
    ZuResult lR = CheckWritable();
    int64_t lMax = 0;
    if (lR.IsOK()) lR = GetStringMaxLength(lMax);
    if (!lR.IsOK()) return lR;
    if (static_cast<int64_t>(aValue.size()) > lMax) return Fail(ZU_INVALID_PARAMETER, "text too long for '" + mName + "'");
    if (mKind == NodeKind::String) {
        if (mValue.mNode) return mValue.mNode->SetStringValue(aValue);
        mOwnText = aValue;
        mMap->Changed(this, true);
        return lR;
    }
    int64_t lLength = 0;
    lR = Length(lLength);
    if (!lR.IsOK()) return lR;
    std::vector<uint8_t> lB(static_cast<size_t>(lLength), 0);
    // An empty text into an empty register copies nothing, and from nowhere.
    if (!aValue.empty()) std::memcpy(lB.data(), aValue.data(), aValue.size());
    return WriteBytes(lB);
}

ZuResult Node::GetStringMaxLength(int64_t &aValue) const
{
    MapOperation lOp(mMap);
    if (mKind == NodeKind::String) {
        if (mValue.mNode) return mValue.mNode->GetStringMaxLength(aValue);
        aValue = 1 << 16;
        return ZuResult();
    }
    if (mKind != NodeKind::StringReg) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a string");
    return Length(aValue);
}

// ---- Register ------------------------------------------------------------------------

ZuResult Node::GetRegisterLength(int64_t &aLength) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    if (!IsRegisterKind()) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a register");
    return Length(aLength);
}

ZuResult Node::GetRegister(uint8_t *aData, int64_t aLength) const
{
    MapOperation lOp(mMap);
    if (!IsRegisterKind()) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a register");
    if (aLength < 0 || (aLength > 0 && !aData)) return Fail(ZU_INVALID_PARAMETER, "no memory of that length given");
    std::vector<uint8_t> lB;
    ZuResult lR = ReadBytes(lB);
    if (!lR.IsOK()) return lR;
    if (static_cast<uint64_t>(aLength) < lB.size()) return Fail(ZU_BUFFER_TOO_SMALL, "'" + mName + "' has " + std::to_string(lB.size()) + " bytes");
    if (!lB.empty()) std::memcpy(aData, lB.data(), lB.size());
    return lR;
}

ZuResult Node::SetRegister(const uint8_t *aData, int64_t aLength)
{
    MapOperation lOp(mMap);
    if (!IsRegisterKind()) return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not a register");
    if (aLength < 0 || (aLength > 0 && !aData)) return Fail(ZU_INVALID_PARAMETER, "no memory of that length given");
    int64_t lLength = 0;
    ZuResult lR = Length(lLength);
    if (!lR.IsOK()) return lR;
    if (aLength < lLength) return Fail(ZU_BUFFER_TOO_SMALL, "'" + mName + "' needs " + std::to_string(lLength) + " bytes");
    std::vector<uint8_t> lB(aData, aData + lLength);
    return WriteBytes(lB);
}

// ---- Text form -------------------------------------------------------------------------

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
