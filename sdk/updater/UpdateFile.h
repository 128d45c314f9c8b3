#ifndef TARN_UPDATER_UPDATE_FILE_H
#define TARN_UPDATER_UPDATE_FILE_H

// The firmware update file (its layout is told in ZuGenFUUpdater.h):
// parsed in one pass over bytes in memory, every length checked against
// what is left, so that a damaged or hostile file is refused and never
// read past.

#include "ZuResult.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn {
namespace updater {

struct UpdateFile {
    std::string version;
    std::string model;  // empty: any model
    std::vector<uint8_t> image;
};

// ZU_OK with aOut filled; ZU_INVALID_DATA_FORMAT; ZU_CANT_READ_MANIFEST.
ZuResult ParseUpdateFile(const uint8_t *aData, size_t aSize, UpdateFile &aOut);

// The bytes of an update file (tests and tools).
std::vector<uint8_t> BuildUpdateFile(const std::vector<std::pair<std::string, std::vector<uint8_t>>> &aMembers);

} // namespace updater
} // namespace tarn

#endif
