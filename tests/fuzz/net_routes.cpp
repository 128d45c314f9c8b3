// The kernel's route table as text: whatever it holds, reading it ends and
// gives only routes it could read.
#include "net/adapters.h"

#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    std::istringstream text(std::string(reinterpret_cast<const char *>(aData), aSize));
    tarn::net::parseRoutes(text);
    return 0;
}
