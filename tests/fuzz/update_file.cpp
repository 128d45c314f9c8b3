// Firmware update files: any bytes as an archive with a manifest.
#include "UpdateFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    tarn::updater::UpdateFile lOut;
    tarn::updater::ParseUpdateFile(aData, aSize, lOut);
    return 0;
}
