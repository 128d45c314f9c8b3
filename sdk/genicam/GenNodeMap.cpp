// The node map: operations over the whole map, invalidation and
// notification, chunk and event data; and the in-memory port.

#include "GenFamilies.h"
#include "GenNodeMap.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace ZU_GENAPI_NS
{

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

bool MemoryPort::Holds(uint64_t aAddress, int64_t aLength) const
{
    size_t lOffset = 0;
    return Fits(aAddress, aLength, lOffset);
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
    for (Node *lN : lDeliver) lN->mQueued = false;
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

bool NodeMapImpl::ReadWithoutWaiting(void (*aRead)(void *aContext), void *aContext)
{
    std::unique_lock<std::recursive_mutex> lLock(mLock, std::try_to_lock);
    if (!lLock.owns_lock() || mWithoutWaiting) return false;
    mWithoutWaiting = true;
    mWouldWait = false;
    aRead(aContext);
    mWithoutWaiting = false;
    return !mWouldWait;
}

void NodeMapImpl::NoticePortAccess()
{
    mPortAccessTaken = true;
    ZuGenAccessMode lNow = GetPortAccessMode();
    if (lNow == mPortAccess) return;
    mPortAccess = lNow;
    ForgetCaches();
}

void NodeMapImpl::Queue(Node *aNode)
{
    if (aNode->mQueued) return;
    aNode->mQueued = true;
    mPending.push_back(aNode);
}

void NodeMapImpl::Reach(Node *aFrom, const Node *aKeep)
{
    std::vector<Node *> lTodo{aFrom};
    while (!lTodo.empty()) {
        Node *lN = lTodo.back();
        lTodo.pop_back();
        ++mSteps;
        if (lN->mReached == mWalk) continue;
        lN->mReached = mWalk;
        if (lN != aKeep) lN->DropCache();
        lN->mLastInvalidated = mClock;
        Queue(lN);
        for (Node *lD : lN->mDependants) lTodo.push_back(lD);
    }
}

void NodeMapImpl::CollectRegisters(Node *aFrom, std::vector<Node *> &aOut)
{
    std::vector<Node *> lTodo{aFrom};
    while (!lTodo.empty()) {
        Node *lN = lTodo.back();
        lTodo.pop_back();
        ++mSteps;
        if (lN->mBelow == mBelowWalk) continue;
        lN->mBelow = mBelowWalk;
        if (lN->Family() == NodeFamily::Register) aOut.push_back(lN);
        for (Node *lD : lN->ValueDependencies()) lTodo.push_back(lD);
    }
}

void NodeMapImpl::Changed(Node *aNode, bool aKeepOwnCache)
{
    StartChange();
    Reach(aNode, aKeepOwnCache ? aNode : nullptr);
}

std::vector<Node *> NodeMapImpl::RegistersBelow(Node *aNode)
{
    std::vector<Node *> lRegisters;
    ++mBelowWalk;
    CollectRegisters(aNode, lRegisters);
    return lRegisters;
}

void NodeMapImpl::Invalidate(Node *aNode)
{
    StartChange();
    Reach(aNode, nullptr);
    for (Node *lR : RegistersBelow(aNode)) Reach(lR, nullptr);
}

void NodeMapImpl::InvalidateNodes()
{
    MapOperation lOp(this);
    ForgetCaches();
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
    // One walk up and one down for every node due: what one of them reached
    // is not walked again for the next (its clock was restarted, which is
    // also why a node reached from one due before it is no longer due).
    bool lAny = false;
    std::vector<Node *> lRegisters;
    for (auto &lN : mNodes) {
        if (lN->mPollingTime < 0 || mClock - lN->mLastInvalidated < lN->mPollingTime) continue;
        if (!lAny) {
            lAny = true;
            StartChange();
            ++mBelowWalk;
        }
        Reach(lN.get(), nullptr);
        lRegisters.clear();
        CollectRegisters(lN.get(), lRegisters);
        for (Node *lR : lRegisters) Reach(lR, nullptr);
    }
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
    for (size_t lI = 0; lI < mChunks.size(); ++lI) mChunkIndex.emplace(mChunks[lI].mId, lI);
    mChunkData = aData;
    mChunkLength = aLength;
    mChunksAttached = true;
    ChunkPortsChanged();
    return ZuResult();
}

void NodeMapImpl::ChunkPortsChanged()
{
    StartChange();
    for (CategoryNode *lP : mPorts)
        if (lP->ReadsAttachedData()) Reach(lP, nullptr);
}

ZuResult NodeMapImpl::DetachDataChunks()
{
    MapOperation lOp(this);
    mChunks.clear();
    mChunkIndex.clear();
    mChunkData = nullptr;
    mChunkLength = 0;
    mChunksAttached = false;
    ChunkPortsChanged();
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
    for (CategoryNode *lP : mPorts) {
        uint64_t lId = 0;
        if (ParseHexId(lP->mEventID, lId) && lId == aEventID) lPorts.push_back(lP);
    }
    if (lPorts.empty()) return Fail(ZU_NOT_FOUND, "no port of the description takes event " + std::to_string(aEventID));
    // A copy: the event's memory is the caller's only for this call.
    mEvents[aEventID].assign(aData, aData + aLength);
    size_t lBefore = mPending.size();
    StartChange();
    for (Node *lP : lPorts) Reach(lP, nullptr);
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
    if (aLength && aData) std::memcpy(aData, lData.data() + aAddress, static_cast<size_t>(aLength));
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
    auto lIt = lId >= 0 && lId <= int64_t(UINT32_MAX) ? mChunkIndex.find(uint32_t(lId)) : mChunkIndex.end();
    if (lIt == mChunkIndex.end()) return Fail(ZU_NOT_FOUND, "chunk " + aChunkID + " is not in the attached data");
    const Chunk &lC = mChunks[lIt->second];
    if (aLength < 0 || aAddress > lC.mLength || static_cast<uint64_t>(aLength) > lC.mLength - aAddress)
        return Fail(ZU_INVALID_PARAMETER, "read outside chunk " + aChunkID);
    if (aLength && aData) std::memcpy(aData, mChunkData + lC.mOffset + aAddress, static_cast<size_t>(aLength));
    return ZuResult();
}

} // namespace ZU_GENAPI_NS
