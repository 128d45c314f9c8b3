// User-set files as a disk may hold them: any bytes parse or are refused
// with a reason, never half-read; what parses writes back to the same sets.
#include "softdevice/model/user_sets.h"

#include <cstdlib>
#include <string>

using namespace tarn::softdevice;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    const std::string text(reinterpret_cast<const char *>(aData), aSize);
    UserSetFile file;
    std::string error;
    if (!parseUserSets(text, file, error)) {
        if (error.empty() || !file.sets.empty() || file.defaultSet != 0) abort();
        return 0;
    }
    UserSetFile again;
    if (!parseUserSets(formatUserSets(file), again, error)) abort();
    if (again.sets != file.sets || again.defaultSet != file.defaultSet) abort();
    return 0;
}
