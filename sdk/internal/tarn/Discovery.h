#ifndef TARN_DISCOVERY_H
#define TARN_DISCOVERY_H

// Where the SDK may send to find or configure devices: what discovery uses
// and what the device library's FORCEIP uses too, so that both follow the
// same rule (the loopback only, unless TARN_DISCOVERY_INTERFACES names the
// adapters to use). Exported by libZuSystem.

#include "ZuBaseApi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarn {
namespace discovery {

// One local address of an adapter discovery may use.
struct Target {
    uint32_t localIp;
    uint32_t mask;
    std::string ifname;
};

ZU_API std::vector<Target> SendingTargets();

} // namespace discovery
} // namespace tarn

#endif
