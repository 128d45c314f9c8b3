// Any bytes as a packet to the dissector: the line must stay inside the
// buffer it is given, terminated, however short that buffer is.
#include "gev/dissect.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    char line[160];
    const size_t capacity = aSize ? 1 + aData[0] % sizeof(line) : sizeof(line);
    const size_t length = tarn::gev::dissectGvcp(aData, aSize, line, capacity);
    if (length >= capacity || line[length] != '\0' || strlen(line) != length)
        abort();
    return 0;
}
