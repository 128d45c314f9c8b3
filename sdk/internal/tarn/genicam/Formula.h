#ifndef TARN_GENICAM_FORMULA_H
#define TARN_GENICAM_FORMULA_H

/// @file
/// The formulas of swiss knives and converters: parsed once when a
/// description loads, evaluated on every read. Chains of one operator level
/// are held flat, so a formula's tree is only as deep as its nesting.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarn_genicam
{

/// A number while a formula is evaluated: integer formulas keep every
/// intermediate value as a 64-bit integer, float formulas as a double.
struct FormulaValue
{
    bool mIsFloat = false;
    int64_t mInt = 0;
    double mFloat = 0.0;

    static FormulaValue Int(int64_t aValue) { FormulaValue lV; lV.mInt = aValue; return lV; }
    static FormulaValue Float(double aValue) { FormulaValue lV; lV.mIsFloat = true; lV.mFloat = aValue; return lV; }
    double AsFloat() const { return mIsFloat ? mFloat : static_cast<double>(mInt); }
    int64_t AsInt() const;
};

struct FormulaTerm;

/// A parsed formula. Its variables are declared before parsing, so that a
/// name nobody declared fails at load time; their values are looked up
/// through a resolver at evaluation time.
class Formula
{
public:
    Formula();
    ~Formula();
    Formula(Formula &&) noexcept;
    Formula &operator=(Formula &&) noexcept;

    /// Parses aText, whose names must be among aNames (or the constants
    /// PI and E); on failure returns false and says why in aError.
    bool Parse(const std::string &aText, const std::vector<std::string> &aNames, std::string &aError);
    bool IsEmpty() const { return !mRoot; }
    const std::vector<std::string> &GetVariables() const { return mVariables; }

    /// Evaluates the formula. aResolve fills a variable's value and returns
    /// false when it cannot be read. aIntegerSemantics keeps all arithmetic
    /// on 64-bit integers. Returns false with aError set on failure
    /// (unreadable variable, division by zero).
    using Resolver = std::function<bool(const std::string &, FormulaValue &, std::string &)>;
    bool Evaluate(const Resolver &aResolve, bool aIntegerSemantics, FormulaValue &aOut, std::string &aError) const;

private:
    std::unique_ptr<FormulaTerm> mRoot;
    std::vector<std::string> mVariables;
};

} // namespace tarn_genicam

#endif
