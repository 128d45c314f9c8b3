#ifndef TARN_GEV_DISSECT_H
#define TARN_GEV_DISSECT_H

// One packet to one line of text, for logs, failing tests and fuzz
// reproductions. Any bytes are accepted: what does not parse is named as
// such (truncated, malformed, unknown) with the bytes that were there.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarn {
namespace gev {

// Writes the line for a GVCP packet into aOut (always null-terminated when
// aCapacity > 0, cut short to fit) without allocating, so it may be called
// on a receiving thread. Returns the characters written.
size_t dissectGvcp(const uint8_t *aData, size_t aSize, char *aOut, size_t aCapacity);

// The same line as a string.
std::string dissectGvcp(const uint8_t *aData, size_t aSize);

// The same for a GVSP packet (header, leader and trailer fields, the place
// of data packets), also without allocating.
size_t dissectGvsp(const uint8_t *aData, size_t aSize, char *aOut, size_t aCapacity);
std::string dissectGvsp(const uint8_t *aData, size_t aSize);

// The name of a GVCP command or acknowledge code ("READREG_CMD"), null
// for a code the protocol does not define.
const char *gvcpCommandName(uint16_t aCode);
// The name of a GVCP status ("INVALID_ADDRESS"), null for an unknown one.
const char *gvcpStatusName(uint16_t aStatus);

} // namespace gev
} // namespace tarn

#endif
