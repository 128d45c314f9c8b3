#include "tarn/genicam/Formula.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace tarn_genicam
{

int64_t FormulaValue::AsInt() const
{
    if (!mIsFloat) return mInt;
    // Saturate instead of converting out of range, which is undefined.
    if (std::isnan(mFloat)) return 0;
    if (mFloat >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (mFloat <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(mFloat);
}

enum class Op
{
    Number, Variable, Ternary, Or, And, BitOr, BitXor, BitAnd, Eq, Ne, Lt, Gt, Le, Ge,
    Shl, Shr, Add, Sub, Mul, Div, Mod, Pow, Neg, Plus, BitNot, Call, Chain
};

// A binary level holds its whole left-associative chain in one node: mArgs
// are the operands, mChain[i] joins mArgs[i] and mArgs[i + 1]. A flat chain
// of any length thus stays one level deep, for the evaluator and the
// destructor alike.
struct FormulaTerm
{
    Op mOp = Op::Number;
    FormulaValue mNumber;
    std::string mName;  // variable or function name
    std::vector<std::unique_ptr<FormulaTerm>> mArgs;
    std::vector<Op> mChain;

    FormulaTerm() = default;
    ~FormulaTerm()
    {
        // Nesting is bounded by the parser, but a tree is taken apart
        // without recursion all the same.
        std::vector<std::unique_ptr<FormulaTerm>> lTodo;
        for (auto &lA : mArgs) lTodo.push_back(std::move(lA));
        while (!lTodo.empty()) {
            std::unique_ptr<FormulaTerm> lN = std::move(lTodo.back());
            lTodo.pop_back();
            if (!lN) continue;
            for (auto &lA : lN->mArgs) lTodo.push_back(std::move(lA));
            lN->mArgs.clear();
        }
    }
};

namespace
{

const int kMaxDepth = 200;

class Parser
{
public:
    Parser(const std::string &aText, std::vector<std::string> &aVariables)
        : mText(aText), mVariables(aVariables) {}

    std::unique_ptr<FormulaTerm> Run(std::string &aError)
    {
        std::unique_ptr<FormulaTerm> lRoot = Ternary();
        SkipSpace();
        if (mError.empty() && mPos < mText.size())
            Fail("unexpected '" + mText.substr(mPos, 1) + "' at position " + std::to_string(mPos));
        if (!mError.empty()) {
            aError = mError;
            return nullptr;
        }
        return lRoot;
    }

private:
    using NodePtr = std::unique_ptr<FormulaTerm>;

    void Fail(const std::string &aWhy)
    {
        if (mError.empty()) mError = aWhy;
    }

    void SkipSpace()
    {
        while (mPos < mText.size() && std::isspace(static_cast<unsigned char>(mText[mPos]))) ++mPos;
    }

    bool Accept(const char *aToken)
    {
        SkipSpace();
        size_t lN = std::char_traits<char>::length(aToken);
        if (mText.compare(mPos, lN, aToken) != 0) return false;
        mPos += lN;
        return true;
    }

    static NodePtr Make(Op aOp, NodePtr aLeft, NodePtr aRight = nullptr)
    {
        NodePtr lN(new FormulaTerm);
        lN->mOp = aOp;
        lN->mArgs.push_back(std::move(aLeft));
        if (aRight) lN->mArgs.push_back(std::move(aRight));
        return lN;
    }

    bool Deeper()
    {
        if (++mDepth > kMaxDepth) {
            Fail("formula nested too deeply");
            return false;
        }
        return true;
    }

    NodePtr Ternary()
    {
        if (!Deeper()) return nullptr;
        NodePtr lCond = LogicalOr();
        if (mError.empty() && Accept("?")) {
            NodePtr lYes = Ternary();
            if (!Accept(":")) Fail("missing ':' in conditional at position " + std::to_string(mPos));
            NodePtr lNo = Ternary();
            if (!mError.empty()) { --mDepth; return nullptr; }
            NodePtr lN(new FormulaTerm);
            lN->mOp = Op::Ternary;
            lN->mArgs.push_back(std::move(lCond));
            lN->mArgs.push_back(std::move(lYes));
            lN->mArgs.push_back(std::move(lNo));
            --mDepth;
            return lN;
        }
        --mDepth;
        return lCond;
    }

    struct BinaryOp
    {
        const char *mToken;
        const char *mNotFollowedBy;  // rejects a longer operator that starts alike
        Op mOp;
    };

    // Binary levels, loosest first; every level is left-associative.
    static const std::vector<std::vector<BinaryOp>> &Levels()
    {
        static const std::vector<std::vector<BinaryOp>> kLevels = {
            {{"||", "", Op::Or}},
            {{"&&", "", Op::And}},
            {{"|", "|", Op::BitOr}},
            {{"^", "", Op::BitXor}},
            {{"&", "&", Op::BitAnd}},
            {{"<>", "", Op::Ne}, {"=", "", Op::Eq}},
            {{"<=", "", Op::Le}, {">=", "", Op::Ge}, {"<", "<>=", Op::Lt}, {">", ">=", Op::Gt}},
            {{"<<", "", Op::Shl}, {">>", "", Op::Shr}},
            {{"+", "", Op::Add}, {"-", "", Op::Sub}},
            {{"*", "*", Op::Mul}, {"/", "", Op::Div}, {"%", "", Op::Mod}}};
        return kLevels;
    }

    bool AcceptOp(const BinaryOp &aOp)
    {
        SkipSpace();
        size_t lN = std::char_traits<char>::length(aOp.mToken);
        if (mText.compare(mPos, lN, aOp.mToken) != 0) return false;
        if (mPos + lN < mText.size())
            for (const char *lP = aOp.mNotFollowedBy; *lP; ++lP)
                if (mText[mPos + lN] == *lP) return false;
        mPos += lN;
        return true;
    }

    NodePtr Binary(size_t aLevel)
    {
        if (aLevel == Levels().size()) return Unary();
        NodePtr lFirst = Binary(aLevel + 1);
        NodePtr lChain;
        bool lMore = true;
        while (mError.empty() && lMore) {
            lMore = false;
            for (const BinaryOp &lOp : Levels()[aLevel])
                if (AcceptOp(lOp)) {
                    if (!lChain) {
                        lChain.reset(new FormulaTerm);
                        lChain->mOp = Op::Chain;
                        lChain->mArgs.push_back(std::move(lFirst));
                    }
                    lChain->mChain.push_back(lOp.mOp);
                    lChain->mArgs.push_back(Binary(aLevel + 1));
                    lMore = true;
                    break;
                }
        }
        if (!mError.empty()) return nullptr;
        return lChain ? std::move(lChain) : std::move(lFirst);
    }

    NodePtr LogicalOr() { return Binary(0); }

    NodePtr Unary()
    {
        if (!Deeper()) return nullptr;
        NodePtr lN;
        if (Accept("-")) lN = Make(Op::Neg, Unary());
        else if (Accept("+")) lN = Make(Op::Plus, Unary());
        else if (Accept("~")) lN = Make(Op::BitNot, Unary());
        else lN = Power();
        --mDepth;
        return lN;
    }
    NodePtr Power()
    {
        NodePtr lBase = Primary();
        if (mError.empty() && Accept("**")) return Make(Op::Pow, std::move(lBase), Unary());
        return lBase;
    }

    NodePtr Primary()
    {
        SkipSpace();
        if (mPos >= mText.size()) {
            Fail("formula ends where a value is expected");
            return nullptr;
        }
        char lC = mText[mPos];
        if (lC == '(') {
            ++mPos;
            NodePtr lInner = Ternary();
            if (!Accept(")")) Fail("missing ')' at position " + std::to_string(mPos));
            return lInner;
        }
        if (std::isdigit(static_cast<unsigned char>(lC)) || lC == '.') return Number();
        if (std::isalpha(static_cast<unsigned char>(lC)) || lC == '_') return Name();
        Fail("unexpected '" + std::string(1, lC) + "' at position " + std::to_string(mPos));
        return nullptr;
    }

    NodePtr Number()
    {
        NodePtr lN(new FormulaTerm);
        lN->mOp = Op::Number;
        const char *lStart = mText.c_str() + mPos;
        char *lEnd = nullptr;
        if (lStart[0] == '0' && (lStart[1] == 'x' || lStart[1] == 'X')) {
            errno = 0;
            unsigned long long lV = std::strtoull(lStart + 2, &lEnd, 16);
            if (lEnd == lStart + 2 || errno == ERANGE) {
                Fail("bad hexadecimal number at position " + std::to_string(mPos));
                return nullptr;
            }
            lN->mNumber = FormulaValue::Int(static_cast<int64_t>(lV));
        } else {
            size_t lI = mPos;
            bool lFloat = false;
            while (lI < mText.size() && std::isdigit(static_cast<unsigned char>(mText[lI]))) ++lI;
            if (lI < mText.size() && (mText[lI] == '.' || mText[lI] == 'e' || mText[lI] == 'E')) lFloat = true;
            if (lFloat) {
                double lV = std::strtod(lStart, &lEnd);
                if (lEnd == lStart) {
                    Fail("bad number at position " + std::to_string(mPos));
                    return nullptr;
                }
                lN->mNumber = FormulaValue::Float(lV);
            } else {
                errno = 0;
                unsigned long long lV = std::strtoull(lStart, &lEnd, 10);
                if (errno == ERANGE || lV > 9223372036854775807ULL) {
                    Fail("number out of range at position " + std::to_string(mPos));
                    return nullptr;
                }
                lN->mNumber = FormulaValue::Int(static_cast<int64_t>(lV));
            }
        }
        mPos = static_cast<size_t>(lEnd - mText.c_str());
        if (mPos < mText.size() && (std::isalnum(static_cast<unsigned char>(mText[mPos])) || mText[mPos] == '_')) {
            Fail("bad number at position " + std::to_string(mPos));
            return nullptr;
        }
        return lN;
    }

    NodePtr Name()
    {
        size_t lStart = mPos;
        while (mPos < mText.size() && (std::isalnum(static_cast<unsigned char>(mText[mPos])) || mText[mPos] == '_' || mText[mPos] == '.')) ++mPos;
        std::string lName = mText.substr(lStart, mPos - lStart);
        SkipSpace();
        if (mPos < mText.size() && mText[mPos] == '(') {
            ++mPos;
            NodePtr lCall(new FormulaTerm);
            lCall->mOp = Op::Call;
            lCall->mName = lName;
            if (!Accept(")")) {
                do {
                    lCall->mArgs.push_back(Ternary());
                } while (mError.empty() && Accept(","));
                if (!Accept(")")) Fail("missing ')' after the arguments of " + lName);
            }
            if (!mError.empty()) return nullptr;
            size_t lArgs = lCall->mArgs.size();
            static const char *const kUnary[] = {"SGN", "NEG", "ATAN", "COS", "SIN", "TAN", "ABS", "EXP", "LN", "LG",
                                                 "SQRT", "TRUNC", "FLOOR", "CEIL", "ASIN", "ACOS"};
            bool lKnown = false;
            for (const char *lF : kUnary)
                if (lName == lF) lKnown = (lArgs == 1) || (Fail(lName + " takes one argument"), false);
            if (lName == "ROUND") lKnown = (lArgs == 1 || lArgs == 2) || (Fail("ROUND takes one or two arguments"), false);
            if (!lKnown) {
                Fail("unknown function '" + lName + "'");
                return nullptr;
            }
            return lCall;
        }
        NodePtr lN(new FormulaTerm);
        bool lIsVariable = false;
        for (const std::string &lV : mVariables)
            if (lV == lName) lIsVariable = true;
        if (lIsVariable) {
            lN->mOp = Op::Variable;
            lN->mName = lName;
        } else if (lName == "PI") {
            lN->mNumber = FormulaValue::Float(3.14159265358979323846);
        } else if (lName == "E") {
            lN->mNumber = FormulaValue::Float(2.71828182845904523536);
        } else {
            Fail("unknown name '" + lName + "'");
            return nullptr;
        }
        return lN;
    }

    const std::string &mText;
    std::vector<std::string> &mVariables;
    size_t mPos = 0;
    int mDepth = 0;
    std::string mError;
};

int64_t Wrap(uint64_t aV) { return static_cast<int64_t>(aV); }

int64_t IntPow(int64_t aBase, int64_t aExp)
{
    if (aExp < 0) {
        if (aBase == 1) return 1;
        if (aBase == -1) return (aExp & 1) ? -1 : 1;
        return 0;
    }
    uint64_t lResult = 1, lBase = static_cast<uint64_t>(aBase);
    while (aExp) {
        if (aExp & 1) lResult *= lBase;
        lBase *= lBase;
        aExp >>= 1;
    }
    return Wrap(lResult);
}

int64_t ShiftLeft(int64_t aV, int64_t aBy)
{
    if (aBy < 0 || aBy >= 64) return 0;
    return Wrap(static_cast<uint64_t>(aV) << aBy);
}

int64_t ShiftRight(int64_t aV, int64_t aBy)
{
    if (aBy < 0) return 0;
    if (aBy >= 64) return aV < 0 ? -1 : 0;
    return aV >> aBy;
}

struct Evaluator
{
    const Formula::Resolver &mResolve;
    bool mInt;
    std::string &mError;

    FormulaValue Num(double aV) const { return mInt ? FormulaValue::Int(FormulaValue::Float(aV).AsInt()) : FormulaValue::Float(aV); }
    FormulaValue Bool(bool aB) const { return mInt ? FormulaValue::Int(aB) : FormulaValue::Float(aB ? 1.0 : 0.0); }
    bool Truth(const FormulaValue &aV) const { return aV.mIsFloat ? aV.mFloat != 0.0 : aV.mInt != 0; }
    FormulaValue Norm(const FormulaValue &aV) const
    {
        if (mInt) return FormulaValue::Int(aV.AsInt());
        return FormulaValue::Float(aV.AsFloat());
    }

    bool Eval(const FormulaTerm &aN, FormulaValue &aOut)
    {
        switch (aN.mOp) {
        case Op::Number:
            aOut = Norm(aN.mNumber);
            return true;
        case Op::Variable: {
            FormulaValue lV;
            if (!mResolve(aN.mName, lV, mError)) {
                if (mError.empty()) mError = "cannot read variable " + aN.mName;
                return false;
            }
            aOut = Norm(lV);
            return true;
        }
        case Op::Ternary: {
            FormulaValue lC;
            if (!Eval(*aN.mArgs[0], lC)) return false;
            return Eval(Truth(lC) ? *aN.mArgs[1] : *aN.mArgs[2], aOut);
        }
        case Op::Chain:
            return Chain(aN, aOut);
        case Op::Neg:
        case Op::Plus:
        case Op::BitNot: {
            FormulaValue lV;
            if (!Eval(*aN.mArgs[0], lV)) return false;
            if (aN.mOp == Op::Plus) aOut = lV;
            else if (aN.mOp == Op::BitNot) aOut = mInt ? FormulaValue::Int(~lV.AsInt()) : FormulaValue::Float(static_cast<double>(~lV.AsInt()));
            else aOut = mInt ? FormulaValue::Int(Wrap(0 - static_cast<uint64_t>(lV.mInt))) : FormulaValue::Float(-lV.mFloat);
            return true;
        }
        case Op::Call:
            return Call(aN, aOut);
        default:
            break;
        }
        FormulaValue lL, lR;
        if (!Eval(*aN.mArgs[0], lL) || !Eval(*aN.mArgs[1], lR)) return false;
        return Binary(aN.mOp, lL, lR, aOut);
    }

    bool Binary(Op aOp, const FormulaValue &aL, const FormulaValue &aR, FormulaValue &aOut)
    {
        if (mInt) return IntBinary(aOp, aL.mInt, aR.mInt, aOut);
        return FloatBinary(aOp, aL.mFloat, aR.mFloat, aOut);
    }

    // Folds a chain from the left, as ((a op b) op c) ...; || and && skip
    // the operands that cannot change the result.
    bool Chain(const FormulaTerm &aN, FormulaValue &aOut)
    {
        FormulaValue lAcc;
        if (!Eval(*aN.mArgs[0], lAcc)) return false;
        for (size_t lI = 0; lI < aN.mChain.size(); ++lI) {
            Op lOp = aN.mChain[lI];
            const FormulaTerm &lRight = *aN.mArgs[lI + 1];
            FormulaValue lR;
            if (lOp == Op::Or || lOp == Op::And) {
                bool lB = Truth(lAcc);
                if ((lOp == Op::Or) == lB) {
                    lAcc = Bool(lB);
                    continue;
                }
                if (!Eval(lRight, lR)) return false;
                lAcc = Bool(Truth(lR));
                continue;
            }
            if (!Eval(lRight, lR) || !Binary(lOp, lAcc, lR, lAcc)) return false;
        }
        aOut = lAcc;
        return true;
    }

    bool IntBinary(Op aOp, int64_t aL, int64_t aR, FormulaValue &aOut)
    {
        uint64_t lL = static_cast<uint64_t>(aL), lR = static_cast<uint64_t>(aR);
        int64_t lV = 0;
        switch (aOp) {
        case Op::BitOr: lV = aL | aR; break;
        case Op::BitXor: lV = aL ^ aR; break;
        case Op::BitAnd: lV = aL & aR; break;
        case Op::Eq: lV = aL == aR; break;
        case Op::Ne: lV = aL != aR; break;
        case Op::Lt: lV = aL < aR; break;
        case Op::Gt: lV = aL > aR; break;
        case Op::Le: lV = aL <= aR; break;
        case Op::Ge: lV = aL >= aR; break;
        case Op::Shl: lV = ShiftLeft(aL, aR); break;
        case Op::Shr: lV = ShiftRight(aL, aR); break;
        case Op::Add: lV = Wrap(lL + lR); break;
        case Op::Sub: lV = Wrap(lL - lR); break;
        case Op::Mul: lV = Wrap(lL * lR); break;
        case Op::Div:
        case Op::Mod:
            if (aR == 0) {
                mError = "division by zero";
                return false;
            }
            if (aR == -1) lV = aOp == Op::Div ? Wrap(0 - lL) : 0;
            else lV = aOp == Op::Div ? aL / aR : aL % aR;
            break;
        case Op::Pow: lV = IntPow(aL, aR); break;
        default: break;
        }
        aOut = FormulaValue::Int(lV);
        return true;
    }

    bool FloatBinary(Op aOp, double aL, double aR, FormulaValue &aOut)
    {
        int64_t lIL = FormulaValue::Float(aL).AsInt(), lIR = FormulaValue::Float(aR).AsInt();
        double lV = 0;
        switch (aOp) {
        case Op::BitOr: lV = static_cast<double>(lIL | lIR); break;
        case Op::BitXor: lV = static_cast<double>(lIL ^ lIR); break;
        case Op::BitAnd: lV = static_cast<double>(lIL & lIR); break;
        case Op::Eq: lV = aL == aR; break;
        case Op::Ne: lV = aL != aR; break;
        case Op::Lt: lV = aL < aR; break;
        case Op::Gt: lV = aL > aR; break;
        case Op::Le: lV = aL <= aR; break;
        case Op::Ge: lV = aL >= aR; break;
        case Op::Shl: lV = static_cast<double>(ShiftLeft(lIL, lIR)); break;
        case Op::Shr: lV = static_cast<double>(ShiftRight(lIL, lIR)); break;
        case Op::Add: lV = aL + aR; break;
        case Op::Sub: lV = aL - aR; break;
        case Op::Mul: lV = aL * aR; break;
        case Op::Div:
            if (aR == 0.0) {
                mError = "division by zero";
                return false;
            }
            lV = aL / aR;
            break;
        case Op::Mod:
            if (aR == 0.0) {
                mError = "division by zero";
                return false;
            }
            lV = std::fmod(aL, aR);
            break;
        case Op::Pow: lV = std::pow(aL, aR); break;
        default: break;
        }
        aOut = FormulaValue::Float(lV);
        return true;
    }

    bool Call(const FormulaTerm &aN, FormulaValue &aOut)
    {
        FormulaValue lA;
        if (!Eval(*aN.mArgs[0], lA)) return false;
        const std::string &lF = aN.mName;
        if (mInt) {
            int64_t lI = lA.mInt;
            if (lF == "ABS") { aOut = FormulaValue::Int(lI < 0 ? Wrap(0 - static_cast<uint64_t>(lI)) : lI); return true; }
            if (lF == "SGN") { aOut = FormulaValue::Int((lI > 0) - (lI < 0)); return true; }
            if (lF == "NEG") { aOut = FormulaValue::Int(Wrap(0 - static_cast<uint64_t>(lI))); return true; }
            if (lF == "TRUNC" || lF == "FLOOR" || lF == "CEIL" || lF == "ROUND") { aOut = lA; return true; }
        }
        double lX = lA.AsFloat(), lV = 0;
        if (lF == "SGN") lV = (lX > 0) - (lX < 0);
        else if (lF == "NEG") lV = -lX;
        else if (lF == "ABS") lV = std::fabs(lX);
        else if (lF == "ATAN") lV = std::atan(lX);
        else if (lF == "COS") lV = std::cos(lX);
        else if (lF == "SIN") lV = std::sin(lX);
        else if (lF == "TAN") lV = std::tan(lX);
        else if (lF == "ASIN") lV = std::asin(lX);
        else if (lF == "ACOS") lV = std::acos(lX);
        else if (lF == "EXP") lV = std::exp(lX);
        else if (lF == "LN") lV = std::log(lX);
        else if (lF == "LG") lV = std::log10(lX);
        else if (lF == "SQRT") lV = std::sqrt(lX);
        else if (lF == "TRUNC") lV = std::trunc(lX);
        else if (lF == "FLOOR") lV = std::floor(lX);
        else if (lF == "CEIL") lV = std::ceil(lX);
        else if (lF == "ROUND") {
            double lScale = 1.0;
            if (aN.mArgs.size() == 2) {
                FormulaValue lP;
                if (!Eval(*aN.mArgs[1], lP)) return false;
                int64_t lDigits = lP.AsInt();
                if (lDigits < 0) lDigits = 0;
                if (lDigits > 15) lDigits = 15;
                lScale = std::pow(10.0, static_cast<double>(lDigits));
            }
            lV = std::round(lX * lScale) / lScale;
        }
        aOut = Num(lV);
        return true;
    }
};

} // namespace

Formula::Formula() = default;
Formula::~Formula() = default;
Formula::Formula(Formula &&) noexcept = default;
Formula &Formula::operator=(Formula &&) noexcept = default;

bool Formula::Parse(const std::string &aText, const std::vector<std::string> &aNames, std::string &aError)
{
    mVariables = aNames;
    Parser lParser(aText, mVariables);
    mRoot = lParser.Run(aError);
    return mRoot != nullptr;
}

bool Formula::Evaluate(const Resolver &aResolve, bool aIntegerSemantics, FormulaValue &aOut, std::string &aError) const
{
    if (!mRoot) {
        aError = "empty formula";
        return false;
    }
    Evaluator lE{aResolve, aIntegerSemantics, aError};
    FormulaValue lV;
    if (!lE.Eval(*mRoot, lV)) return false;
    aOut = lV;
    return true;
}

} // namespace tarn_genicam
