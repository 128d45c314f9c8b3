// Device descriptions from the device: any bytes loaded as XML over an
// in-memory register block, then every feature read, written back and
// executed as an application would.
#include "tarn/genicam/Engine.h"

#include <string>
#include <vector>

using namespace ZU_GENAPI_NS;

namespace {

void Exercise(INode *aNode)
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
    if (aNode->GetIntValue(lInt).IsOK())
        aNode->SetIntValue(lInt);
    aNode->GetIntMin(lMin);
    if (aNode->GetIntMax(lMax).IsOK())
        aNode->SetIntValue(lMax);
    aNode->GetIntInc(lInc);
    if (aNode->GetFloatValue(lFloat).IsOK())
        aNode->SetFloatValue(lFloat);
    aNode->GetFloatMin(lFloat);
    aNode->GetFloatMax(lFloat);
    if (aNode->GetBoolValue(lBool).IsOK())
        aNode->SetBoolValue(!lBool);
    if (aNode->GetStringValue(lText).IsOK()) {
        aNode->SetStringValue(lText);
        aNode->SetStringValue("");
    }
    aNode->GetStringMaxLength(lInt);
    INode *lEntry = nullptr;
    if (aNode->GetEntry(lEntry).IsOK() && lEntry)
        aNode->SetEntryByName(lEntry->GetName());
    aNode->GetEntryValue(lInt);
    aNode->GetSymbolic();
    aNode->IsEntryAvailable();
    int64_t lLength = 0;
    if (aNode->GetRegisterLength(lLength).IsOK() && lLength > 0 && lLength <= 4096) {
        std::vector<uint8_t> lBytes(size_t(lLength), 0);
        if (aNode->GetRegister(lBytes.data(), lLength).IsOK())
            aNode->SetRegister(lBytes.data(), lLength);
    }
    if (aNode->ToString(lText).IsOK())
        aNode->FromString(lText);
    bool lDone = false;
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
    for (size_t lI = 0; lI < lMap->GetNodeCount(); ++lI)
        if (INode *lNode = lMap->GetNodeByIndex(lI))
            Exercise(lNode);
    lMap->InvalidateNodes();
    lMap->Poll(1000);
    return 0;
}
