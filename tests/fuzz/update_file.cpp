// Firmware update files: any bytes as an archive with a manifest. Nearly
// every mutation breaks the checksum, which would stop the parser at once:
// the bytes are parsed as they are (the checksum path), then again with the
// checksum they need, so that the members and the manifest are reached.
#include "UpdateFile.h"

#include <zlib.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    tarn::updater::UpdateFile lOut;
    tarn::updater::ParseUpdateFile(aData, aSize, lOut);
    if (aSize < 4) return 0;
    // An exact-size copy, so that the sanitizer sees any read past it.
    std::vector<uint8_t> lSealed(aData, aData + aSize);
    const size_t lEnd = aSize - 4;
    const uint32_t lCrc = uint32_t(crc32(crc32(0L, Z_NULL, 0), lSealed.data(), uInt(lEnd)));
    for (size_t lK = 0; lK < 4; ++lK) lSealed[lEnd + lK] = uint8_t(lCrc >> (8 * lK));
    tarn::updater::UpdateFile lSealedOut;
    tarn::updater::ParseUpdateFile(lSealed.data(), lSealed.size(), lSealedOut);
    return 0;
}
