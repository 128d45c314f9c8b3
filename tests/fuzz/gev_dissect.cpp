// Any bytes as a GVCP and as a GVSP packet to the dissector: the line must
// stay inside the
// buffer it is given, terminated, however short that buffer is.
#include "gev/dissect.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    char line[160];
    const size_t capacity = aSize ? 1 + aData[0] % sizeof(line) : sizeof(line);
    using Dissect = size_t (*)(const uint8_t *, size_t, char *, size_t);
    for (Dissect dissect : {Dissect(&tarn::gev::dissectGvcp), Dissect(&tarn::gev::dissectGvsp)}) {
        const size_t length = dissect(aData, aSize, line, capacity);
        if (length >= capacity || line[length] != '\0' || strlen(line) != length)
            abort();
    }
    return 0;
}
