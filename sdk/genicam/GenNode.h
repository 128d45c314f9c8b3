#ifndef TARN_GEN_NODE_H
#define TARN_GEN_NODE_H

// The base of the engine's node classes: what every node has (identity,
// texts, access, links to other nodes, notifications) and the value
// interface's common rules. Each family (GenFamilies.h) adds its own
// properties and the value operations of its kinds.

#include "ZuResultCodes.h"
#include "tarn/genicam/Engine.h"
#include "tarn/genicam/Formula.h"
#include "tarn/genicam/Schema.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ZU_GENAPI_NS
{

class Node;
class NodeMapImpl;

ZuResult Fail(uint32_t aCode, const std::string &aWhy);

bool Readable(ZuGenAccessMode aM);
bool Writable(ZuGenAccessMode aM);
/// What two access modes allow together.
ZuGenAccessMode CombineAccess(ZuGenAccessMode aA, ZuGenAccessMode aB);

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

/// What a reference must lead to.
enum class RefUse
{
    Number,  // a node with a numeric value
    Text,    // a node with a text value
    Port,    // a <Port>
};

/// Visits a node's references, in the order they are resolved and followed.
using RefVisitor = std::function<void(ValueRef &aRef, const char *aProperty, RefUse aUse)>;

/// What a node read gave in one epoch of its map, and for its whole
/// generation when the read reached nothing volatile.
template <typename T>
struct ReadMemo
{
    uint64_t mEpoch = 0;
    uint64_t mGeneration = 0;
    bool mStable = false;
    T mValue{};
    ZuResult mResult;
};

class Node : public INode
{
public:
    Node(NodeMapImpl *aMap, NodeKind aKind) : mMap(aMap), mKind(aKind), mSchema(&SchemaOf(aKind)) {}

    // INode: identity and texts.
    const std::string &GetName() const override { return mName; }
    NodeKind GetKind() const override { return mKind; }
    NodeInterface GetInterface() const override { return mSchema->mInterface; }
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
    std::vector<INode *> GetFeatures() const override { return {}; }
    std::vector<INode *> GetEntries() const override { return {}; }
    INode *GetParentCategory() const override { return mParent; }

    // INode: values. Here the rules every kind shares and the failures of
    // kinds that lack an interface; the families do the rest.
    ZuResult GetIntValue(int64_t &aValue) const override;
    ZuResult SetIntValue(int64_t aValue) override;
    ZuResult GetIntMin(int64_t &aValue) const override { return IntBound(false, aValue); }
    ZuResult GetIntMax(int64_t &aValue) const override { return IntBound(true, aValue); }
    ZuResult GetIntInc(int64_t &aValue) const override;
    ZuResult GetFloatValue(double &aValue) const override;
    ZuResult SetFloatValue(double aValue) override;
    ZuResult GetFloatMin(double &aValue) const override { return FloatBound(false, aValue); }
    ZuResult GetFloatMax(double &aValue) const override { return FloatBound(true, aValue); }
    ZuResult GetBoolValue(bool &aValue) const override;
    ZuResult SetBoolValue(bool aValue) override;
    ZuResult GetStringValue(std::string &aValue) const override;
    ZuResult SetStringValue(const std::string &aValue) override;
    ZuResult GetStringMaxLength(int64_t &aValue) const override;
    ZuResult GetEntry(INode *&aEntry) const override;
    ZuResult SetEntryByName(const std::string &aSymbol) override;
    ZuResult GetEntryValue(int64_t &aValue) const override;
    std::string GetSymbolic() const override { return mName; }
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
    NodeFamily Family() const { return mSchema->mFamily; }
    const KindSchema &Schema() const { return *mSchema; }
    ZuResult ReadAsInt(int64_t &aValue) const;
    ZuResult ReadAsFloat(double &aValue) const;
    ZuResult WriteAsInt(int64_t aValue);
    ZuResult WriteAsFloat(double aValue);
    ZuResult ReadRefInt(const ValueRef &aRef, int64_t &aValue) const;
    ZuResult ReadRefFloat(const ValueRef &aRef, double &aValue) const;
    bool RefTrue(const ValueRef &aRef, bool aDefault) const;
    ZuResult CheckReadable() const;
    ZuResult CheckWritable() const;
    /// Writable, and aText no longer than the string allows.
    ZuResult CheckTextFits(const std::string &aText) const;
    ZuGenAccessMode AccessMode() const;
    std::vector<Node *> ValueDependencies() const;
    /// The register's bytes (registers only), valid until its next read.
    virtual ZuResult ReadBytes(const std::vector<uint8_t> *&aBytes) const;
    ZuResult ReadBytes(std::vector<uint8_t> &aBytes) const;
    /// Forgets cached device bytes (registers only).
    virtual void DropCache() const {}
    /// Every reference the node holds, for resolution and dependencies.
    virtual void VisitRefs(const RefVisitor &aVisit);
    /// Nodes the value depends on besides references (entries).
    virtual void ExtraDependencies(std::vector<Node *> &) const {}

    ZuResult NotA(const char *aWhat) const { return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' is not " + aWhat); }
    /// The failure of an access that went past the reference depth.
    ZuResult CutFailure() const;

    NodeMapImpl *mMap;
    NodeKind mKind;
    const KindSchema *mSchema;
    std::string mName;
    std::string mToolTip, mDescription, mDisplayName, mUnit, mEventID;
    ZuGenVisibility mVisibility = ZuGenVisibilityBeginner;
    ZuGenNameSpace mNameSpace = ZuGenNameSpaceCustom;
    ZuGenRepresentation mRepresentation = ZuGenRepresentationUndefined;
    ZuGenCache mCache = ZuGenCacheWriteThrough;
    ZuGenAccessMode mImposedAccess = ZuGenAccessModeUndefined;
    bool mStreamable = false;
    int64_t mPollingTime = -1;

    ValueRef mIsImplemented, mIsAvailable, mIsLocked;
    std::vector<std::string> mSelectedNames, mInvalidatorNames;
    std::vector<Node *> mSelected, mSelecting, mInvalidators;
    Node *mParent = nullptr;

    // The value reference and range: read alike by the families that have
    // them (the schema says which do).
    ValueRef mValue, mMin, mMax, mInc;

    // Dependants: nodes whose value reads this one (or that it selects, or
    // that name it as invalidator); a change here reaches all of them.
    std::vector<Node *> mDependants;
    int64_t mLastInvalidated = 0;
    // Marks of the map's walks (NodeMapImpl::Reach, CollectRegisters), and
    // whether a notification is queued for the node.
    uint64_t mReached = 0, mBelow = 0;
    bool mQueued = false;

protected:
    /// Access from the node's own kind, before availability, imposed
    /// access and locks are applied.
    virtual ZuGenAccessMode OwnAccess() const { return ZuGenAccessModeReadWrite; }
    /// A node whose representation and unit this one shows, or null.
    virtual const Node *PassThrough() const { return nullptr; }
    /// Range of an integer (or float) when the description gives none.
    virtual ZuResult NaturalIntBound(bool aMax, int64_t &aValue) const;
    virtual ZuResult NaturalFloatBound(bool aMax, double &aValue) const;
    virtual ZuResult NaturalIntInc(int64_t &aValue) const;
    /// Writes a value already checked against range and increment.
    virtual ZuResult WriteCheckedInt(int64_t aValue);
    virtual ZuResult WriteCheckedFloat(double aValue);

private:
    ZuResult IntBound(bool aMax, int64_t &aValue) const;
    ZuResult FloatBound(bool aMax, double &aValue) const;
    ZuResult ComputeAccessMode(ZuGenAccessMode &aMode) const;
    ZuResult Access(ZuGenAccessMode &aMode) const;
    ZuResult ComputeInt(int64_t &aValue) const;
    ZuResult ComputeFloat(double &aValue) const;
    template <typename T, typename Compute>
    ZuResult Remember(ReadMemo<T> &aMemo, T &aValue, Compute aCompute) const;

    mutable ReadMemo<int64_t> mIntMemo;
    mutable ReadMemo<double> mFloatMemo;
    mutable ReadMemo<ZuGenAccessMode> mAccessMemo;

    std::map<int, std::function<void(INode *)>> mCallbacks;
    int mNextCallback = 1;

    friend class MapOperation;
};

// The one bound on how deep references nest: the loader refuses a
// description with a longer chain of references (counted in nodes), and
// evaluation counts the nodes it is inside the same way, so that what loads
// never reaches the bound. The guard stays as the bound of the native
// stack; should it ever be reached, the whole access fails (the map is
// cut, see NodeMapImpl) rather than a part of it reading as something else.
const int kMaxReferenceDepth = 256;

// Counts a node's level while evaluation is inside it: nested calls on the
// same node are one level, a call into another node (one it references) is
// the next. The count lives in the map: every engine call holds its lock.
struct DepthGuard
{
    NodeMapImpl *mMap;
    const Node *mOuter;
    bool mLevel;
    bool mOk;
    explicit DepthGuard(const Node *aNode);
    ~DepthGuard();
};

#define TARN_GUARD_DEPTH()                                                           \
    DepthGuard lDepthGuard(this);                                                    \
    if (!lDepthGuard.mOk) return CutFailure()

/// Text of a float that reads back the same, as short as possible.
std::string FormatFloat(double aValue);

} // namespace ZU_GENAPI_NS

#endif
