// Formulas of a device description: any text parsed against a few declared
// variables, then evaluated with integer and with float arithmetic.
#include "tarn/genicam/Formula.h"

#include <string>
#include <vector>

using namespace tarn_genicam;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    static const std::vector<std::string> kNames = {"A", "B", "VALUE", "X0"};
    Formula lFormula;
    std::string lError;
    if (!lFormula.Parse(std::string(reinterpret_cast<const char *>(aData), aSize), kNames, lError))
        return 0;
    Formula::Resolver lResolve = [](const std::string &aName, FormulaValue &aValue, std::string &) {
        if (aName == "A")
            aValue = FormulaValue::Int(-7);
        else if (aName == "B")
            aValue = FormulaValue::Int(INT64_MIN);
        else if (aName == "VALUE")
            aValue = FormulaValue::Float(2.5);
        else
            return false;
        return true;
    };
    FormulaValue lOut;
    lFormula.Evaluate(lResolve, true, lOut, lError);
    lFormula.Evaluate(lResolve, false, lOut, lError);
    lOut.AsInt();
    return 0;
}
