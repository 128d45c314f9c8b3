#ifndef TARN_GEN_FAMILIES_H
#define TARN_GEN_FAMILIES_H

// The node families, one class each, with the properties only they hold.
// Which kind belongs to which family, and which property to which family,
// is the schema table's (tarn/genicam/Schema.h).

#include "GenNode.h"

namespace ZU_GENAPI_NS
{

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

/// Nodes without a value of their own: categories (their features) and
/// ports (device memory, or chunk or event data when they name one).
class CategoryNode : public Node
{
public:
    using Node::Node;
    std::vector<INode *> GetFeatures() const override { return std::vector<INode *>(mFeatures.begin(), mFeatures.end()); }
    bool ReadsAttachedData() const { return mKind == NodeKind::Port && !mChunkID.empty(); }

    std::vector<std::string> mFeatureNames;
    std::vector<Node *> mFeatures;
    std::string mChunkID;

protected:
    ZuGenAccessMode OwnAccess() const override;
};

/// Values held by the node or passed on from another: Integer, Float,
/// Boolean, Command, String.
class ValueNode : public Node
{
public:
    using Node::Node;
    ZuResult GetIntValue(int64_t &aValue) const override;
    ZuResult GetFloatValue(double &aValue) const override;
    ZuResult GetBoolValue(bool &aValue) const override;
    ZuResult SetBoolValue(bool aValue) override;
    ZuResult GetStringValue(std::string &aValue) const override;
    ZuResult SetStringValue(const std::string &aValue) override;
    ZuResult GetStringMaxLength(int64_t &aValue) const override;
    ZuResult Execute() override;
    ZuResult IsDone(bool &aDone) override;
    void VisitRefs(const RefVisitor &aVisit) override;

    ValueRef mIndex;  // pIndex: chooses among mIndexed
    std::vector<IndexedValue> mIndexed;
    ValueRef mValueDefault;
    ValueRef mOnValue, mOffValue, mCommandValue;
    // Own values of nodes that hold one (a Value instead of a pValue).
    int64_t mOwnInt = 0;
    double mOwnFloat = 0.0;
    std::string mOwnText;

protected:
    ZuGenAccessMode OwnAccess() const override;
    const Node *PassThrough() const override;
    ZuResult NaturalIntBound(bool aMax, int64_t &aValue) const override;
    ZuResult NaturalFloatBound(bool aMax, double &aValue) const override;
    ZuResult NaturalIntInc(int64_t &aValue) const override;
    ZuResult WriteCheckedInt(int64_t aValue) override;
    ZuResult WriteCheckedFloat(double aValue) override;

private:
    ZuResult IndexedSource(const ValueRef *&aRef) const;
    ZuResult WriteIndexed(int64_t aInt, double aFloat, bool aIsFloat);
};

/// Device memory: IntReg, MaskedIntReg, StructEntry, FloatReg, StringReg,
/// Register. Their bytes are cached by address, since selectors move it.
class RegisterNode : public Node
{
public:
    using Node::Node;
    ZuResult GetIntValue(int64_t &aValue) const override;
    ZuResult GetFloatValue(double &aValue) const override;
    ZuResult GetStringValue(std::string &aValue) const override;
    ZuResult SetStringValue(const std::string &aValue) override;
    ZuResult GetStringMaxLength(int64_t &aValue) const override;
    ZuResult GetRegister(uint8_t *aData, int64_t aLength) const override;
    ZuResult SetRegister(const uint8_t *aData, int64_t aLength) override;
    ZuResult GetRegisterLength(int64_t &aLength) const override;
    ZuResult ReadBytes(const std::vector<uint8_t> *&aBytes) const override;
    using Node::ReadBytes;
    void DropCache() const override { mCacheValid = false; }
    void VisitRefs(const RefVisitor &aVisit) override;
    bool IsMasked() const { return mKind == NodeKind::MaskedIntReg || mKind == NodeKind::StructEntry; }

    std::vector<ValueRef> mAddresses;  // Address and pAddress, summed
    ValueRef mIndex, mOffset;          // pIndex times its Offset or pOffset, added
    ValueRef mLength, mPort;
    CategoryNode *mPortNode = nullptr;
    ValueRef mLsb, mMsb, mBit;
    ZuGenEndianness mEndianness = ZuGenEndiannessLittle;
    ZuGenSign mSign = ZuGenSignUnsigned;
    bool mSignGiven = false;
    ZuGenAccessMode mDeclaredAccess = ZuGenAccessModeReadWrite;

    mutable bool mCacheValid = false;
    mutable uint64_t mCacheAddress = 0;
    mutable std::vector<uint8_t> mCacheBytes;

protected:
    ZuGenAccessMode OwnAccess() const override;
    ZuResult NaturalIntBound(bool aMax, int64_t &aValue) const override;
    ZuResult WriteCheckedInt(int64_t aValue) override;
    ZuResult WriteCheckedFloat(double aValue) override;

private:
    ZuResult Address(uint64_t &aAddress) const;
    ZuResult Length(int64_t &aLength) const;
    ZuResult IntRegLength(int64_t aLength) const;
    ZuResult BitRange(int64_t aLength, unsigned &aLow, unsigned &aWidth) const;
    // Whether the port holds the bytes (received chunk or event data only
    // when reading), before memory is set aside for them.
    ZuResult PortHolds(uint64_t aAddress, int64_t aLength, bool aReading) const;
    ZuResult PortRead(uint64_t aAddress, void *aData, int64_t aLength) const;
    ZuResult PortWrite(uint64_t aAddress, const void *aData, int64_t aLength);
    ZuResult WriteBytes(const std::vector<uint8_t> &aBytes);
};

/// Computed values: IntSwissKnife and SwissKnife (read only), IntConverter
/// and Converter (both ways, over the node their pValue names).
class FormulaNode : public Node
{
public:
    using Node::Node;
    ZuResult GetIntValue(int64_t &aValue) const override;
    ZuResult GetFloatValue(double &aValue) const override;
    void VisitRefs(const RefVisitor &aVisit) override;
    bool IsConverter() const { return mKind == NodeKind::IntConverter || mKind == NodeKind::Converter; }

    std::vector<Variable> mVariables;
    std::vector<NamedFormula> mConstants, mExpressions;
    tarn_genicam::Formula mFormula, mFormulaTo, mFormulaFrom;

protected:
    ZuGenAccessMode OwnAccess() const override;
    ZuResult NaturalIntBound(bool aMax, int64_t &aValue) const override;
    ZuResult NaturalFloatBound(bool aMax, double &aValue) const override;
    ZuResult WriteCheckedInt(int64_t aValue) override;
    ZuResult WriteCheckedFloat(double aValue) override;

private:
    ZuResult Evaluate(const tarn_genicam::Formula &aFormula, bool aInteger, const Variable *aExtra,
                      tarn_genicam::FormulaValue &aOut) const;
    ZuResult ConverterTo(const tarn_genicam::FormulaValue &aFrom, tarn_genicam::FormulaValue &aOut) const;
    ZuResult ConverterRange(bool aMax, tarn_genicam::FormulaValue &aOut) const;
    ZuResult ConverterFrom(int64_t aInt, double aFloat, bool aIntegerFormula, bool aWriteFloat);
};

/// Enumeration, and its entries (which hold their value as a constant).
class EnumerationNode : public Node
{
public:
    using Node::Node;
    ZuResult GetIntValue(int64_t &aValue) const override;
    ZuResult SetIntValue(int64_t aValue) override;
    ZuResult GetEntry(INode *&aEntry) const override;
    ZuResult SetEntryByName(const std::string &aSymbol) override;
    ZuResult GetEntryValue(int64_t &aValue) const override;
    std::string GetSymbolic() const override { return mSymbolic.empty() ? mName : mSymbolic; }
    std::vector<INode *> GetEntries() const override { return std::vector<INode *>(mEntries.begin(), mEntries.end()); }
    void ExtraDependencies(std::vector<Node *> &aNodes) const override;

    std::vector<EnumerationNode *> mEntries;
    EnumerationNode *mEnum = nullptr;  // of an entry
    std::string mSymbolic;
    int64_t mOwnInt = 0;

protected:
    ZuGenAccessMode OwnAccess() const override;

private:
    EnumerationNode *FindEntryByValue(int64_t aValue) const;
};

} // namespace ZU_GENAPI_NS

#endif
