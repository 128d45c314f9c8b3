#ifndef TARN_PACKET_STATISTICS_H
#define TARN_PACKET_STATISTICS_H

// What became of a block's packets, as the reassembler counts them and a
// buffer reports them: one record for both, handed on whole.

#include <cstdint>

namespace tarn {

struct PacketStatistics {
    uint32_t recovered = 0;               // arrived after a resend request
    uint32_t recoveredSingleResend = 0;   // ... that asked for that packet alone
    uint32_t resendGroupsRequested = 0;
    uint32_t resendPacketsRequested = 0;
    uint32_t lost = 0;                    // for good
    uint32_t ignored = 0;                 // could not be placed (the block fails)
    uint32_t redundant = 0;               // arrived again
    uint32_t outOfOrder = 0;              // arrived after a later one, unasked
};

} // namespace tarn

#endif
