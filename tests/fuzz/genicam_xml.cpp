// Device descriptions from the device: any bytes loaded as XML over an
// in-memory register block, then every feature read, and features written
// back and executed as an application would.
#include "tarn/genicam/Engine.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace ZU_GENAPI_NS;

namespace {

// A write reaches every node that depends on what it changed, so one write
// may cost as much as the map is large: writing every node of a large map
// costs the square of its size (6,400 nodes over one register took half a
// minute). Writes go to every node of a map of up to 256 nodes, and to as
// many nodes spread over a larger map as keep the writes' reach within the
// same budget. What one write costs is the library's own bound, under test
// in tests/sdk/genicam/test_hostile.cpp.
constexpr size_t kWriteReach = 256 * 256;

void Exercise(INode *aNode, bool aWrite)
{
    int64_t lInt = 0, lMin = 0, lMax = 0, lInc = 0;
    double lFloat = 0;
    bool lBool = false;
    std::string lText;
    aNode->GetAccessMode();
    aNode->GetToolTip();
    aNode->GetDisplayName();
    aNode->GetSelectedNodes();
    aNode->GetSelectingNodes();
    aNode->GetFeatures();
    aNode->GetEntries();
    aNode->GetParentCategory();
    if (aNode->GetIntValue(lInt).IsOK() && aWrite)
        aNode->SetIntValue(lInt);
    aNode->GetIntMin(lMin);
    if (aNode->GetIntMax(lMax).IsOK() && aWrite)
        aNode->SetIntValue(lMax);
    aNode->GetIntInc(lInc);
    if (aNode->GetFloatValue(lFloat).IsOK() && aWrite)
        aNode->SetFloatValue(lFloat);
    aNode->GetFloatMin(lFloat);
    aNode->GetFloatMax(lFloat);
    if (aNode->GetBoolValue(lBool).IsOK() && aWrite)
        aNode->SetBoolValue(!lBool);
    if (aNode->GetStringValue(lText).IsOK() && aWrite) {
        aNode->SetStringValue(lText);
        aNode->SetStringValue("");
    }
    aNode->GetStringMaxLength(lInt);
    INode *lEntry = nullptr;
    if (aNode->GetEntry(lEntry).IsOK() && lEntry && aWrite)
        aNode->SetEntryByName(lEntry->GetName());
    aNode->GetEntryValue(lInt);
    aNode->GetSymbolic();
    aNode->IsEntryAvailable();
    int64_t lLength = 0;
    if (aNode->GetRegisterLength(lLength).IsOK() && lLength > 0 && lLength <= 4096) {
        std::vector<uint8_t> lBytes(size_t(lLength), 0);
        if (aNode->GetRegister(lBytes.data(), lLength).IsOK() && aWrite)
            aNode->SetRegister(lBytes.data(), lLength);
    }
    if (aNode->ToString(lText).IsOK() && aWrite)
        aNode->FromString(lText);
    bool lDone = false;
    if (aWrite)
        aNode->Execute();
    aNode->IsDone(lDone);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    MemoryPort lPort(4096);
    std::unique_ptr<INodeMap> lMap;
    if (!LoadNodeMap(reinterpret_cast<const char *>(aData), aSize, &lPort, lMap).IsOK() || !lMap)
        return 0;
    const size_t lCount = lMap->GetNodeCount();
    const size_t lWritten = lCount ? std::min(lCount, std::max<size_t>(1, kWriteReach / lCount)) : 0;
    const size_t lStride = lWritten ? (lCount + lWritten - 1) / lWritten : 1;
    for (size_t lI = 0; lI < lCount; ++lI)
        if (INode *lNode = lMap->GetNodeByIndex(lI))
            Exercise(lNode, lI % lStride == 0);
    lMap->InvalidateNodes();
    lMap->Poll(1000);
    return 0;
}
