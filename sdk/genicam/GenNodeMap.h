#ifndef TARN_GEN_NODE_MAP_H
#define TARN_GEN_NODE_MAP_H

// The engine's own node and map classes; users see them through INode and
// INodeMap only.

#include "ZuResultCodes.h"
#include "tarn/genicam/Engine.h"
#include "tarn/genicam/Formula.h"

#include <map>
#include <mutex>
#include <set>
#include <unordered_map>

namespace ZU_GENAPI_NS
{

class Node;
class NodeMapImpl;

/// A property given either as a constant or as a reference to a node.
struct ValueRef
{
    bool mSet = false;
    std::string mRefName;
    Node *mNode = nullptr;
    std::string mText;  // the constant as written
    int64_t mInt = 0;
    double mFloat = 0.0;
    bool IsRef() const { return !mRefName.empty(); }
};

struct IndexedValue
{
    int64_t mIndex = 0;
    ValueRef mValue;
};

struct Variable
{
    std::string mName;
    ValueRef mRef;
};

struct NamedFormula
{
    std::string mName;
    std::string mText;
    tarn_genicam::Formula mFormula;
};

ZuResult Fail(uint32_t aCode, const std::string &aWhy);

/// What a node read gave in one epoch of its map.
template <typename T>
struct ReadMemo
{
    uint64_t mEpoch = 0;
    T mValue{};
    ZuResult mResult;
};

class Node : public INode
{
public:
    Node(NodeMapImpl *aMap, NodeKind aKind) : mMap(aMap), mKind(aKind) {}

    // INode
    const std::string &GetName() const override { return mName; }
    NodeKind GetKind() const override { return mKind; }
    NodeInterface GetInterface() const override;
    INodeMap *GetNodeMap() const override;
    std::string GetToolTip() const override { return mToolTip; }
    std::string GetDescription() const override { return mDescription; }
    std::string GetDisplayName() const override { return mDisplayName.empty() ? mName : mDisplayName; }
    ZuGenVisibility GetVisibility() const override { return mVisibility; }
    ZuGenNameSpace GetNameSpace() const override { return mNameSpace; }
    ZuGenRepresentation GetRepresentation() const override;
    std::string GetUnit() const override;
    bool IsStreamable() const override { return mStreamable; }
    ZuGenCache GetCachingMode() const override { return mCache; }
    int64_t GetPollingTime() const override { return mPollingTime; }
    std::string GetEventID() const override { return mEventID; }
    ZuGenAccessMode GetAccessMode() const override;
    std::vector<INode *> GetSelectedNodes() const override;
    std::vector<INode *> GetSelectingNodes() const override;
    std::vector<INode *> GetFeatures() const override;
    std::vector<INode *> GetEntries() const override;
    INode *GetParentCategory() const override { return mParent; }

    ZuResult GetIntValue(int64_t &aValue) const override;
    ZuResult SetIntValue(int64_t aValue) override;
    ZuResult GetIntMin(int64_t &aValue) const override;
    ZuResult GetIntMax(int64_t &aValue) const override;
    ZuResult GetIntInc(int64_t &aValue) const override;
    ZuResult GetFloatValue(double &aValue) const override;
    ZuResult SetFloatValue(double aValue) override;
    ZuResult GetFloatMin(double &aValue) const override;
    ZuResult GetFloatMax(double &aValue) const override;
    ZuResult GetBoolValue(bool &aValue) const override;
    ZuResult SetBoolValue(bool aValue) override;
    ZuResult GetStringValue(std::string &aValue) const override;
    ZuResult SetStringValue(const std::string &aValue) override;
    ZuResult GetStringMaxLength(int64_t &aValue) const override;
    ZuResult GetEntry(INode *&aEntry) const override;
    ZuResult SetEntryByName(const std::string &aSymbol) override;
    ZuResult GetEntryValue(int64_t &aValue) const override;
    std::string GetSymbolic() const override { return mSymbolic.empty() ? mName : mSymbolic; }
    bool IsEntryAvailable() const override;
    ZuResult Execute() override;
    ZuResult IsDone(bool &aDone) override;
    ZuResult GetRegister(uint8_t *aData, int64_t aLength) const override;
    ZuResult SetRegister(const uint8_t *aData, int64_t aLength) override;
    ZuResult GetRegisterLength(int64_t &aLength) const override;
    ZuResult ToString(std::string &aValue) const override;
    ZuResult FromString(const std::string &aValue) override;
    int RegisterCallback(std::function<void(INode *)> aCallback) override;
    void UnregisterCallback(int aId) override;

    // Engine internals, called with the map's lock held.
    bool IsRegisterKind() const;
    ZuResult ReadAsInt(int64_t &aValue) const;
    ZuResult ReadAsFloat(double &aValue) const;
    ZuResult WriteAsInt(int64_t aValue);
    ZuResult WriteAsFloat(double aValue);
    ZuResult ReadRefInt(const ValueRef &aRef, int64_t &aValue) const;
    ZuResult ReadRefFloat(const ValueRef &aRef, double &aValue) const;
    bool RefTrue(const ValueRef &aRef, bool aDefault) const;
    ZuResult CheckReadable() const;
    ZuResult CheckWritable() const;
    ZuResult Address(uint64_t &aAddress) const;
    ZuResult Length(int64_t &aLength) const;
    ZuResult IntRegLength(int64_t aLength) const;
    ZuResult ReadBytes(std::vector<uint8_t> &aBytes) const;
    ZuResult ReadBytes(const std::vector<uint8_t> *&aBytes) const;
    ZuGenAccessMode AccessMode() const;
    ZuGenAccessMode ComputeAccessMode() const;
    ZuResult ComputeInt(int64_t &aValue) const;
    ZuResult ComputeFloat(double &aValue) const;
    template <typename T, typename Compute>
    ZuResult Remember(ReadMemo<T> &aMemo, T &aValue, Compute aCompute) const;
    ZuResult WriteBytes(const std::vector<uint8_t> &aBytes);
    ZuResult PortRead(uint64_t aAddress, void *aData, int64_t aLength) const;
    ZuResult PortWrite(uint64_t aAddress, const void *aData, int64_t aLength);
    ZuResult BitRange(int64_t aLength, unsigned &aLow, unsigned &aWidth) const;
    ZuResult EvaluateFormula(const tarn_genicam::Formula &aFormula, bool aInteger, const Variable *aExtra,
                             tarn_genicam::FormulaValue &aOut) const;
    ZuResult ConverterTo(const tarn_genicam::FormulaValue &aFrom, tarn_genicam::FormulaValue &aOut) const;
    ZuResult ConverterRange(bool aMax, tarn_genicam::FormulaValue &aOut) const;
    ZuResult IndexedSource(const ValueRef *&aRef) const;
    ZuResult IntBound(bool aMax, int64_t &aValue) const;
    ZuResult FloatBound(bool aMax, double &aValue) const;
    Node *FindEntryByValue(int64_t aValue) const;
    void DropCache() const { mCacheValid = false; }
    std::vector<Node *> ValueDependencies() const;

    NodeMapImpl *mMap;
    NodeKind mKind;
    std::string mName;
    std::string mToolTip, mDescription, mDisplayName, mUnit, mEventID, mSymbolic, mChunkID;
    ZuGenVisibility mVisibility = ZuGenVisibilityBeginner;
    ZuGenNameSpace mNameSpace = ZuGenNameSpaceCustom;
    ZuGenRepresentation mRepresentation = ZuGenRepresentationUndefined;
    ZuGenCache mCache = ZuGenCacheWriteThrough;
    ZuGenEndianness mEndianness = ZuGenEndiannessLittle;
    ZuGenSign mSign = ZuGenSignUnsigned;
    bool mSignGiven = false;
    ZuGenAccessMode mDeclaredAccess = ZuGenAccessModeReadWrite;
    ZuGenAccessMode mImposedAccess = ZuGenAccessModeUndefined;
    bool mStreamable = false;
    int64_t mPollingTime = -1;

    ValueRef mIsImplemented, mIsAvailable, mIsLocked;
    std::vector<std::string> mSelectedNames, mInvalidatorNames, mFeatureNames;
    std::vector<Node *> mSelected, mSelecting, mInvalidators, mFeatures;
    Node *mParent = nullptr;

    ValueRef mValue, mMin, mMax, mInc;
    ValueRef mIndex;  // pIndex
    ValueRef mOffset; // Offset or pOffset of pIndex
    std::vector<IndexedValue> mIndexed;
    ValueRef mValueDefault;
    std::vector<ValueRef> mAddresses;  // Address and pAddress, summed
    ValueRef mLength, mPort;
    ValueRef mLsb, mMsb, mBit;
    ValueRef mOnValue, mOffValue, mCommandValue;
    std::vector<Node *> mEntries;
    Node *mEnum = nullptr;  // of an entry

    std::vector<Variable> mVariables;
    std::vector<NamedFormula> mConstants, mExpressions;
    tarn_genicam::Formula mFormula, mFormulaTo, mFormulaFrom;

    // Dependants: nodes whose value reads this one (or that it selects, or
    // that name it as invalidator); a change here reaches all of them.
    std::vector<Node *> mDependants;

    // Own values of nodes that hold one (Integer, Float, String, Boolean with Value).
    int64_t mOwnInt = 0;
    double mOwnFloat = 0.0;
    std::string mOwnText;

    // Register cache, keyed by address since selectors move it.
    mutable bool mCacheValid = false;
    mutable uint64_t mCacheAddress = 0;
    mutable std::vector<uint8_t> mCacheBytes;
    int64_t mLastInvalidated = 0;

    mutable ReadMemo<int64_t> mIntMemo;
    mutable ReadMemo<double> mFloatMemo;
    mutable ReadMemo<ZuGenAccessMode> mAccessMemo;

    std::map<int, std::function<void(INode *)>> mCallbacks;
    int mNextCallback = 1;
};

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
    const uint8_t *GetAttachedChunks() const override { return mChunksAttached ? mChunkData : nullptr; }

    ZuResult Load(const char *aXml, size_t aLength);

    // A change of aNode (written, or invalidated): drops the caches of
    // everything that reads it and queues notifications for them.
    void Changed(Node *aNode, bool aKeepOwnCache);
    // Drops the caches aNode reads through, then as Changed.
    void Invalidate(Node *aNode);
    // The registers aNode reads through, itself included.
    std::vector<Node *> RegistersBelow(Node *aNode);
    ZuResult ChunkRead(const std::string &aChunkID, uint64_t aAddress, void *aData, int64_t aLength) const;
    ZuResult DeliverEvent(uint64_t aEventID, const uint8_t *aData, size_t aLength, std::vector<INode *> *aAffected) override;
    ZuResult EventRead(const std::string &aEventID, uint64_t aAddress, void *aData, int64_t aLength) const;
    std::map<uint64_t, std::vector<uint8_t>> mEvents;

    // Starts a new epoch: what nodes read before may have changed.
    void ForgetReads() { ++mEpoch; }

    mutable std::recursive_mutex mLock;
    int mDepth = 0;
    uint64_t mEpoch = 1;
    int mDepthFailures = 0;
    int mCallDepth = 0;
    std::vector<Node *> mPending;
    IPort *mPort;
    std::vector<std::unique_ptr<Node>> mNodes;
    std::unordered_map<std::string, Node *> mByName;
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
};

/// Holds the map's lock for one public operation and delivers the queued
/// notifications once the outermost operation is done and the lock is free.
class MapOperation
{
public:
    explicit MapOperation(NodeMapImpl *aMap) : mMap(aMap)
    {
        mMap->mLock.lock();
        // Each outermost operation is one access: it reads the device anew.
        if (++mMap->mDepth == 1) mMap->ForgetReads();
    }
    ~MapOperation();

private:
    NodeMapImpl *mMap;
};

} // namespace ZU_GENAPI_NS

#endif
