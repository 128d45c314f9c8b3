#ifndef TARN_GEN_NODE_MAP_H
#define TARN_GEN_NODE_MAP_H

// The engine's node map; users see it through INodeMap only.

#include "GenNode.h"

#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace ZU_GENAPI_NS
{

class CategoryNode;
class RegisterNode;

class NodeMapImpl : public INodeMap
{
public:
    explicit NodeMapImpl(IPort *aPort) : mPort(aPort) {}

    size_t GetNodeCount() const override { return mNodes.size(); }
    INode *GetNodeByIndex(size_t aIndex) const override { return aIndex < mNodes.size() ? mNodes[aIndex].get() : nullptr; }
    INode *GetNode(const std::string &aName) const override;
    std::string GetModelName() const override { return mModelName; }
    std::string GetVendorName() const override { return mVendorName; }
    int GetSchemaMajor() const override { return mSchemaMajor; }
    int GetSchemaMinor() const override { return mSchemaMinor; }
    ZuGenAccessMode GetPortAccessMode() const override;
    void InvalidateNodes() override;
    void Poll(int64_t aElapsedMs) override;
    ZuResult AttachDataChunks(const uint8_t *aData, uint32_t aLength) override;
    ZuResult DetachDataChunks() override;
    // The ports over chunk data read anew: one change of all of them.
    void ChunkPortsChanged();
    const uint8_t *GetAttachedChunks() const override { return mChunksAttached ? mChunkData : nullptr; }

    ZuResult Load(const char *aXml, size_t aLength);

    // A change of aNode (written, or invalidated): drops the caches of
    // everything that reads it and queues notifications for them.
    void Changed(Node *aNode, bool aKeepOwnCache);
    // Starts a change of several nodes at once, each then passed to Reach.
    void StartChange()
    {
        ForgetCaches();
        ++mWalk;
    }
    // Drops the caches aNode reads through, then as Changed.
    void Invalidate(Node *aNode);
    // The registers aNode reads through, itself included.
    std::vector<Node *> RegistersBelow(Node *aNode);

    // The walks behind these, each node visited once however many paths
    // lead to it, so that one call costs what it reaches (Poll shares one
    // walk among all the nodes due). Reach marks what reads aFrom as
    // changed unless this walk (mWalk) reached it already; CollectRegisters
    // adds the registers below aFrom that this downward walk (mBelowWalk)
    // has not met yet.
    void Reach(Node *aFrom, const Node *aKeep);
    void CollectRegisters(Node *aFrom, std::vector<Node *> &aOut);
    void Queue(Node *aNode);
    uint64_t mWalk = 0, mBelowWalk = 0;
    // Steps these walks took so far (to observe what a change costs).
    uint64_t mSteps = 0;
    // Reads received chunk (or event) data; with aData null, only whether
    // the bytes are there.
    ZuResult ChunkRead(const std::string &aChunkID, uint64_t aAddress, void *aData, int64_t aLength) const;
    ZuResult DeliverEvent(uint64_t aEventID, const uint8_t *aData, size_t aLength, std::vector<INode *> *aAffected) override;
    bool ReadWithoutWaiting(void (*aRead)(void *aContext), void *aContext) override;
    ZuResult EventRead(const std::string &aEventID, uint64_t aAddress, void *aData, int64_t aLength) const;
    std::map<uint64_t, std::vector<uint8_t>> mEvents;

    // Starts a new epoch: what nodes read before may have changed.
    void ForgetReads() { ++mEpoch; }
    // Starts a new epoch and a new generation: something a read may depend
    // on changed here (a value, a cache, attached data).
    void ForgetCaches()
    {
        ++mEpoch;
        ++mGeneration;
    }
    // Takes the device port's access once per access, as the first read
    // needs it (so that what reads nothing, such as a parameter going
    // away, never reaches the port), and starts a new generation when it
    // changed since it was last taken.
    void TakePortAccess()
    {
        if (!mPortAccessTaken) NoticePortAccess();
    }
    void NoticePortAccess();
    // A read whose outcome may differ next time with nothing changed here.
    void VolatileRead() { ++mVolatileReads; }

    mutable std::recursive_mutex mLock;
    int mDepth = 0;
    // One epoch per outermost operation; one generation from one change
    // (ForgetCaches) to the next. A read that reached nothing volatile
    // (VolatileRead) holds for the whole generation.
    uint64_t mEpoch = 1;
    uint64_t mGeneration = 1;
    uint64_t mVolatileReads = 0;
    ZuGenAccessMode mPortAccess = ZuGenAccessModeNotImplemented;
    bool mPortAccessTaken = false;
    // Set while ReadWithoutWaiting runs: the device port is not reached,
    // and mWouldWait tells that a read needed it.
    bool mWithoutWaiting = false;
    bool mWouldWait = false;
    // Levels of nodes the evaluation is inside now (DepthGuard), and the
    // innermost of them. An access that went past kMaxReferenceDepth is cut:
    // until it ends, every read fails at once with the same failure, so
    // that nothing it evaluated is taken for a value and nothing is
    // evaluated twice.
    int mLevels = 0;
    int mDepthLimit = kMaxReferenceDepth;  // lowered only by tests of the cut
    const Node *mInside = nullptr;
    bool mCut = false;
    std::string mCutAt;
    std::vector<Node *> mPending;
    IPort *mPort;
    std::vector<std::unique_ptr<Node>> mNodes;
    std::unordered_map<std::string, Node *> mByName;
    // By family, for the walks that concern only them.
    std::vector<RegisterNode *> mRegisters;
    std::vector<CategoryNode *> mPorts;
    std::string mModelName, mVendorName;
    int mSchemaMajor = 1, mSchemaMinor = 1;
    int64_t mClock = 0;

    struct Chunk
    {
        uint32_t mId;
        uint32_t mOffset;
        uint32_t mLength;
    };
    const uint8_t *mChunkData = nullptr;
    uint32_t mChunkLength = 0;
    bool mChunksAttached = false;
    std::vector<Chunk> mChunks;
    // The first chunk of each identifier (walked from the end), so that a
    // read finds its chunk at once however many the data hold.
    std::unordered_map<uint32_t, size_t> mChunkIndex;
};

/// Holds the map's lock for one public operation and delivers the queued
/// notifications once the outermost operation is done and the lock is free.
class MapOperation
{
public:
    explicit MapOperation(NodeMapImpl *aMap) : mMap(aMap)
    {
        mMap->mLock.lock();
        // Each outermost operation is one access: it reads anew whatever
        // the device may change on its own.
        if (++mMap->mDepth == 1) {
            mMap->ForgetReads();
            mMap->mPortAccessTaken = false;
            mMap->mCut = false;
        }
    }
    ~MapOperation();

private:
    NodeMapImpl *mMap;
};

} // namespace ZU_GENAPI_NS

#endif
