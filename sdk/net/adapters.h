#ifndef TARN_NET_ADAPTERS_H
#define TARN_NET_ADAPTERS_H

// The host's network adapters and IPv4 routes, as the kernel reports them.

#include <array>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace tarn {
namespace net {

struct AdapterAddress {
    uint32_t ip = 0;
    uint32_t mask = 0;
};

struct Adapter {
    std::string name;
    bool hasMac = false;
    std::array<uint8_t, 6> mac{};
    std::vector<AdapterAddress> addresses;  // IPv4, in the kernel's order
    uint32_t gateway = 0;                   // of its default route, 0 without one
};

struct Route {
    std::string interfaceName;
    uint32_t destination = 0;
    uint32_t mask = 0;
    uint32_t gateway = 0;
};

// Every adapter (the loopback included) in the kernel's order, each with
// the gateway of its default route.
std::vector<Adapter> listAdapters();

// The MTU of the adapter that holds a local address, 0 when none does.
unsigned mtuOfAddress(uint32_t aLocalIp);

// The kernel's IPv4 routing table (/proc/net/route); empty where it is absent.
std::vector<Route> listRoutes();

// Parses the text of /proc/net/route: a heading line, then one route a line
// with addresses in the kernel's own byte order. Lines that do not parse
// are skipped.
std::vector<Route> parseRoutes(std::istream &aText);

} // namespace net
} // namespace tarn

#endif
