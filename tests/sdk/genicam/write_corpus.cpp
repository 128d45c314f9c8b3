// Writes the hostile inputs of hostile.h as fuzz corpus seeds:
//   write_corpus <corpus dir>   (fills <dir>/genicam_xml, genicam_formula and genicam_zip)
// The seeds are checked in; run this again when hostile.h gains a case.

#include "hostile.h"

#include <cstdio>
#include <string>

using namespace tarn_test_hostile;

namespace
{

bool Write(const std::string &aPath, const std::string &aText)
{
    std::FILE *lF = std::fopen(aPath.c_str(), "wb");
    if (!lF) return false;
    bool lOk = std::fwrite(aText.data(), 1, aText.size(), lF) == aText.size();
    return std::fclose(lF) == 0 && lOk;
}

} // namespace

int main(int aArgc, char **aArgv)
{
    if (aArgc != 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", aArgv[0]);
        return 2;
    }
    const std::string lXml = std::string(aArgv[1]) + "/genicam_xml/";
    const std::string lFormula = std::string(aArgv[1]) + "/genicam_formula/";
    bool lOk = Write(lXml + "long-formula-100k.xml", LongFormulaDescription(100000)) &&
               Write(lXml + "intreg-plength-16.xml", PLengthDescription(16)) &&
               Write(lXml + "intreg-plength-huge.xml", PLengthDescription(0x2000000000000004)) &&
               Write(lXml + "stringreg-empty.xml", EmptyStringRegDescription());
    for (SharedShape lShape : kSharedShapes)
        lOk = lOk && Write(lXml + "shared-" + ShapeName(lShape) + "-24.xml", SharedDescription(lShape, 24));
    lOk = lOk && Write(lXml + "locked-levels-64.xml", LockedLevelsDescription(64, 1)) &&
          Write(lXml + "polled-1600.xml", PolledDescription(1600)) &&
          Write(lXml + "long-registers-192.xml", LongRegistersDescription(192, false)) &&
          Write(lXml + "long-chunk-registers-192.xml", LongRegistersDescription(192, true)) &&
          Write(std::string(aArgv[1]) + "/genicam_zip/claims-256-mib.zip",
                DeflatedZip("Camera.xml", EmptyStringRegDescription(), uint32_t(256) << 20));
    lOk = lOk && Write(lFormula + "chain-add-100k.txt", FlatChain("1", "+", "1", 100000)) &&
          Write(lFormula + "chain-sub-100k.txt", FlatChain("1000000", "-", "1", 100000)) &&
          Write(lFormula + "chain-or-50k.txt", FlatChain("0", "||", "0", 50000) + " || 1 || 1 / 0") &&
          Write(lFormula + "chain-mixed-levels.txt", FlatChain("1", " * 2 + ", "3 << 1 < 9 = 1 & 1 ^ 0 | 0 && 1 || 0", 2000)) &&
          Write(lFormula + "precedence.txt", "0 || 1 ? 1 | 1 ^ 1 & 2 = 1 < 1 << 1 + 2 * ~0 ** 2 : 7 - 4 - 3");
    if (!lOk) std::fprintf(stderr, "cannot write the corpus under %s\n", aArgv[1]);
    return lOk ? 0 : 1;
}
