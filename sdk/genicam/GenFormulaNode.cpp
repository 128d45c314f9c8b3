// Computed values: swiss knives (read only) and converters (both ways).

#include "GenFamilies.h"
#include "GenNodeMap.h"

#include <map>

namespace ZU_GENAPI_NS
{

using tarn_genicam::Formula;
using tarn_genicam::FormulaValue;

void FormulaNode::VisitRefs(const RefVisitor &aVisit)
{
    Node::VisitRefs(aVisit);
    for (Variable &lV : mVariables) aVisit(lV.mRef, "pVariable", RefUse::Number);
}

ZuGenAccessMode FormulaNode::OwnAccess() const
{
    return IsConverter() ? mValue.mNode->AccessMode() : ZuGenAccessModeReadOnly;
}

ZuResult FormulaNode::Evaluate(const Formula &aFormula, bool aInteger, const Variable *aExtra, FormulaValue &aOut) const
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

// A converter reads its target (TO) through FormulaFrom, as GenApi defines
// the two formulas: FormulaFrom gives the converter's value from TO, the
// target's; FormulaTo gives the target's value from FROM, the converter's.
ZuResult FormulaNode::ConverterTo(const FormulaValue &aFrom, FormulaValue &aOut) const
{
    Variable lTo{"TO", ValueRef()};
    lTo.mRef.mInt = aFrom.AsInt();
    lTo.mRef.mFloat = aFrom.AsFloat();
    return Evaluate(mFormulaFrom, mKind == NodeKind::IntConverter, &lTo, aOut);
}

ZuResult FormulaNode::ConverterRange(bool aMax, FormulaValue &aOut) const
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


// ---- Values ---------------------------------------------------------------------------

ZuResult FormulaNode::GetIntValue(int64_t &aValue) const
{
    if (GetInterface() != NodeInterface::Integer) return Node::GetIntValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckReadable();
    FormulaValue lV;
    if (mKind == NodeKind::IntSwissKnife) {
        if (lR.IsOK()) lR = Evaluate(mFormula, true, nullptr, lV);
        if (lR.IsOK()) aValue = lV.AsInt();
        return lR;
    }
    FormulaValue lFrom;
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
    if (lR.IsOK()) lR = ConverterTo(lFrom, lV);
    if (lR.IsOK()) aValue = lV.AsInt();
    return lR;
}

ZuResult FormulaNode::GetFloatValue(double &aValue) const
{
    if (GetInterface() != NodeInterface::Float) return Node::GetFloatValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckReadable();
    FormulaValue lV;
    if (mKind == NodeKind::SwissKnife) {
        if (lR.IsOK()) lR = Evaluate(mFormula, false, nullptr, lV);
        if (lR.IsOK()) aValue = lV.AsFloat();
        return lR;
    }
    double lRaw = 0;
    if (lR.IsOK()) lR = mValue.mNode->ReadAsFloat(lRaw);
    if (lR.IsOK()) lR = ConverterTo(FormulaValue::Float(lRaw), lV);
    if (lR.IsOK()) aValue = lV.AsFloat();
    return lR;
}

ZuResult FormulaNode::NaturalIntBound(bool aMax, int64_t &aValue) const
{
    if (!IsConverter()) return Node::NaturalIntBound(aMax, aValue);
    FormulaValue lV;
    ZuResult lR = ConverterRange(aMax, lV);
    if (lR.IsOK()) aValue = lV.AsInt();
    return lR;
}

ZuResult FormulaNode::NaturalFloatBound(bool aMax, double &aValue) const
{
    if (!IsConverter()) return Node::NaturalFloatBound(aMax, aValue);
    FormulaValue lV;
    ZuResult lR = ConverterRange(aMax, lV);
    if (lR.IsOK()) aValue = lV.AsFloat();
    return lR;
}

// A converter writes its target with FormulaTo applied to the value (FROM).
ZuResult FormulaNode::ConverterFrom(int64_t aInt, double aFloat, bool aIntegerFormula, bool aWriteFloat)
{
    Variable lFrom{"FROM", ValueRef()};
    lFrom.mRef.mInt = aInt;
    lFrom.mRef.mFloat = aFloat;
    FormulaValue lRaw;
    ZuResult lR = Evaluate(mFormulaTo, aIntegerFormula, &lFrom, lRaw);
    if (!lR.IsOK()) return lR;
    return aWriteFloat ? mValue.mNode->WriteAsFloat(lRaw.AsFloat()) : mValue.mNode->WriteAsInt(lRaw.AsInt());
}

ZuResult FormulaNode::WriteCheckedInt(int64_t aValue)
{
    if (mKind != NodeKind::IntConverter) return Node::WriteCheckedInt(aValue);
    bool lFloatTarget = mValue.mNode->GetInterface() == NodeInterface::Float;
    return ConverterFrom(aValue, static_cast<double>(aValue), !lFloatTarget, lFloatTarget);
}

ZuResult FormulaNode::WriteCheckedFloat(double aValue)
{
    if (mKind != NodeKind::Converter) return Node::WriteCheckedFloat(aValue);
    return ConverterFrom(FormulaValue::Float(aValue).AsInt(), aValue, false, true);
}

} // namespace ZU_GENAPI_NS
