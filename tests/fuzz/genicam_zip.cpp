// Zipped device descriptions: any bytes as a ZIP archive whose .xml member
// is loaded as a description.
#include "tarn/genicam/Engine.h"

using namespace ZU_GENAPI_NS;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    std::unique_ptr<INodeMap> lMap;
    LoadNodeMapFromZip(aData, aSize, nullptr, lMap);
    return 0;
}
