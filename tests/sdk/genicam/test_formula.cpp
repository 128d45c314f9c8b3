#include "tarn/genicam/Formula.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using tarn_genicam::Formula;
using tarn_genicam::FormulaValue;

namespace
{

struct Eval
{
    std::map<std::string, FormulaValue> mVars;
    std::string mError;

    bool Run(const std::string &aText, bool aInt, FormulaValue &aOut)
    {
        std::vector<std::string> lNames;
        for (auto &lV : mVars) lNames.push_back(lV.first);
        Formula lF;
        if (!lF.Parse(aText, lNames, mError)) return false;
        return lF.Evaluate(
            [&](const std::string &aName, FormulaValue &aV, std::string &) {
                aV = mVars.at(aName);
                return true;
            },
            aInt, aOut, mError);
    }
    int64_t Int(const std::string &aText)
    {
        FormulaValue lV;
        EXPECT_TRUE(Run(aText, true, lV)) << aText << ": " << mError;
        return lV.AsInt();
    }
    double Float(const std::string &aText)
    {
        FormulaValue lV;
        EXPECT_TRUE(Run(aText, false, lV)) << aText << ": " << mError;
        return lV.AsFloat();
    }
};

} // namespace

TEST(Formula, IntegerOperatorsAndPrecedence)
{
    Eval lE;
    lE.mVars["X"] = FormulaValue::Int(7);
    const std::pair<const char *, int64_t> kCases[] = {
        {"1 + 2 * 3", 7}, {"(1 + 2) * 3", 9}, {"7 / 2", 3}, {"-7 / 2", -3}, {"7 % 3", 1}, {"2 ** 10", 1024},
        {"2 ** 3 ** 2", 512}, {"-2 ** 2", -4}, {"0xF0 & 0x3C", 0x30}, {"0xF0 | 0x0F", 0xFF}, {"0xFF ^ 0x0F", 0xF0},
        {"~0", -1}, {"1 << 4", 16}, {"256 >> 4", 16}, {"-16 >> 2", -4}, {"3 = 3", 1}, {"3 <> 3", 0},
        {"2 < 3", 1}, {"3 > 2", 1}, {"3 <= 3", 1}, {"2 >= 3", 0}, {"1 && 0", 0}, {"1 || 0", 1},
        {"X > 5 ? 10 : 20", 10}, {"X > 8 ? 10 : X > 6 ? 30 : 40", 30}, {"X * X - 1", 48},
        {"1 << 64", 0}, {"1 << -1", 0}, {"9223372036854775807 + 1", INT64_MIN},
        {"(-9223372036854775807 - 1) / -1", INT64_MIN}, {"(-9223372036854775807 - 1) % -1", 0},
        {"2 ** -1", 0}, {"ABS(-5)", 5}, {"SGN(-5)", -1}, {"NEG(5)", -5}, {"SQRT(17)", 4}, {"1.9 + 1", 2},
        {"0 && 1 / 0", 0}, {"1 || 1 / 0", 1}};
    for (const auto &lC : kCases) EXPECT_EQ(lE.Int(lC.first), lC.second) << lC.first;
}

TEST(Formula, FloatOperatorsAndFunctions)
{
    Eval lE;
    lE.mVars["F"] = FormulaValue::Float(2.5);
    const std::pair<const char *, double> kCases[] = {
        {"7 / 2", 3.5}, {"F * 2", 5.0}, {"7 % 2.5", 2.0}, {"2 ** 0.5", std::sqrt(2.0)}, {"0xF0 & 0x3C", 48.0},
        {"5.7 | 0", 5.0}, {"1 << 3", 8.0}, {"SIN(0)", 0.0}, {"COS(0)", 1.0}, {"TAN(0)", 0.0}, {"ATAN(1)", std::atan(1.0)},
        {"ASIN(1)", std::asin(1.0)}, {"ACOS(1)", 0.0}, {"EXP(1)", std::exp(1.0)}, {"LN(E)", 1.0}, {"LG(1000)", 3.0},
        {"SQRT(2.25)", 1.5}, {"TRUNC(-2.7)", -2.0}, {"FLOOR(-2.2)", -3.0}, {"CEIL(2.2)", 3.0}, {"ROUND(2.5)", 3.0},
        {"ROUND(3.14159, 2)", 3.14}, {"ABS(-F)", 2.5}, {"SGN(-F)", -1.0}, {"NEG(F)", -2.5}, {"PI", M_PI},
        {"F >= 2.5 ? 1.5 : 0", 1.5}, {"1e3 + 0.5", 1000.5}};
    for (const auto &lC : kCases) EXPECT_NEAR(lE.Float(lC.first), lC.second, 1e-12) << lC.first;
}

TEST(Formula, FailuresAreReported)
{
    Eval lE;
    lE.mVars["A"] = FormulaValue::Int(0);
    FormulaValue lV;
    for (const char *lBad : {"1 +", "(1", "1 2", "FOO(1)", "SIN(1, 2)", "B + 1", "", "1 ? 2", "0x", "3 $ 4", "12abc"})
        EXPECT_FALSE(lE.Run(lBad, true, lV)) << lBad;
    EXPECT_FALSE(lE.Run("1 / A", true, lV));
    EXPECT_EQ(lE.mError, "division by zero");
    EXPECT_FALSE(lE.Run("1 % A", false, lV));
    std::string lDeep(5000, '(');
    EXPECT_FALSE(lE.Run(lDeep + "1" + std::string(5000, ')'), true, lV));
}

// Each pair of neighbouring operator levels, in an expression whose value
// changes if the two levels were swapped (or the level's grouping turned).
TEST(Formula, EveryPrecedenceLevelAgainstItsNeighbours)
{
    Eval lE;
    struct Case
    {
        const char *mText;
        int64_t mValue;
        int64_t mIfSwapped;
    };
    const Case kCases[] = {
        {"0 || 1 ? 5 : 7", 5, 1},          // ?: below ||
        {"1 || 1 && 0", 1, 0},             // || below &&
        {"1 && 0 | 2", 1, 2},              // && below |
        {"1 | 1 ^ 1", 1, 0},               // | below ^
        {"1 ^ 1 & 0", 1, 0},               // ^ below &
        {"1 & 2 = 2", 1, 0},               // & below =
        {"1 & 2 <> 0", 1, 0},              // & below <>
        {"2 = 1 < 3", 0, 1},               // = below <
        {"1 <> 1 >= 2", 1, 0},             // <> below >=
        {"1 < 1 << 1", 1, 0},              // < below <<
        {"4 > 1 >> 1", 1, 0},              // > below >>
        {"1 << 1 + 1", 4, 3},              // << below +
        {"8 >> 1 - 1", 8, 3},              // >> below -
        {"1 + 2 * 3", 7, 9},               // + below *
        {"7 - 4 / 2", 5, 1},               // - below /
        {"7 - 5 % 3", 5, 2},               // - below %
        {"~0 * 2", -2, -1},                // * below unary
        {"-2 ** 2", -4, 4},                // unary below **
        {"2 ** 3 ** 2", 512, 64},          // ** groups from the right
        {"10 - 4 - 3", 3, 9},              // - groups from the left
        {"10 - 4 + 3", 9, 3},              // + and - share a level
        {"64 / 4 / 2", 8, 32},             // / groups from the left
        {"7 % 4 * 2", 6, 7},               // * and % share a level
        {"16 >> 2 << 1", 8, 1},            // << and >> share a level
        {"3 = 3 <> 0", 1, 0},              // = and <> share a level
        {"2 < 1 <= 0", 1, 0},              // < and <= share a level
        {"1 ? 0 : 1 ? 5 : 7", 0, 7},       // ?: groups from the right
    };
    for (const Case &lC : kCases) {
        EXPECT_EQ(lE.Int(lC.mText), lC.mValue) << lC.mText;
        EXPECT_EQ(lE.Float(lC.mText), static_cast<double>(lC.mValue)) << lC.mText << " (floating point)";
        EXPECT_NE(lC.mValue, lC.mIfSwapped) << lC.mText << " does not tell the levels apart";
    }
}
