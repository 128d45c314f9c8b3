#include "net/adapters.h"

#include <arpa/inet.h>
#include <cstring>
#include <fstream>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>

namespace tarn {
namespace net {

namespace {

bool parseHex32(const std::string &aText, uint32_t &aValue)
{
    if (aText.empty() || aText.size() > 8) return false;
    uint32_t value = 0;
    for (char c : aText) {
        uint32_t d;
        if (c >= '0' && c <= '9') d = uint32_t(c - '0');
        else if (c >= 'a' && c <= 'f') d = uint32_t(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') d = uint32_t(c - 'A' + 10);
        else return false;
        value = (value << 4) | d;
    }
    aValue = value;
    return true;
}

// The kernel prints each address as the number its network-order bytes
// make in the host's memory.
uint32_t kernelOrder(uint32_t aRaw) { return ntohl(aRaw); }

} // namespace

std::vector<Route> parseRoutes(std::istream &aText)
{
    std::vector<Route> out;
    std::string line;
    std::getline(aText, line);  // the heading
    while (std::getline(aText, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, flags, refCount, use, metric, mask;
        if (!(fields >> name >> destination >> gateway >> flags >> refCount >> use >> metric >> mask)) continue;
        Route r;
        uint32_t d, g, m;
        if (!parseHex32(destination, d) || !parseHex32(gateway, g) || !parseHex32(mask, m)) continue;
        r.interfaceName = name;
        r.destination = kernelOrder(d);
        r.gateway = kernelOrder(g);
        r.mask = kernelOrder(m);
        out.push_back(r);
    }
    return out;
}

std::vector<Route> listRoutes()
{
    std::ifstream in("/proc/net/route");
    return parseRoutes(in);
}

std::vector<Adapter> listAdapters()
{
    std::vector<Adapter> out;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0) return out;
    for (ifaddrs *ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_name) continue;
        const std::string name = ifa->ifa_name;
        Adapter *adapter = nullptr;
        for (Adapter &a : out)
            if (a.name == name) adapter = &a;
        if (!adapter) {
            out.emplace_back();
            adapter = &out.back();
            adapter->name = name;
        }
        if (!ifa->ifa_addr) continue;
        if (ifa->ifa_addr->sa_family == AF_PACKET) {
            auto *ll = reinterpret_cast<const sockaddr_ll *>(ifa->ifa_addr);
            if (ll->sll_halen == 6) {
                std::memcpy(adapter->mac.data(), ll->sll_addr, 6);
                adapter->hasMac = true;
            }
        } else if (ifa->ifa_addr->sa_family == AF_INET) {
            AdapterAddress a;
            a.ip = ntohl(reinterpret_cast<const sockaddr_in *>(ifa->ifa_addr)->sin_addr.s_addr);
            if (ifa->ifa_netmask) a.mask = ntohl(reinterpret_cast<const sockaddr_in *>(ifa->ifa_netmask)->sin_addr.s_addr);
            adapter->addresses.push_back(a);
        }
    }
    ::freeifaddrs(list);
    // The first default route of an adapter names its gateway.
    std::vector<bool> routed(out.size(), false);
    for (const Route &r : listRoutes()) {
        if (r.destination != 0) continue;
        for (size_t k = 0; k < out.size(); ++k) {
            if (out[k].name != r.interfaceName || routed[k]) continue;
            out[k].gateway = r.gateway;
            routed[k] = true;
        }
    }
    return out;
}

unsigned mtuOfAddress(uint32_t aLocalIp)
{
    for (const Adapter &a : listAdapters()) {
        bool holds = false;
        for (const AdapterAddress &address : a.addresses) holds = holds || address.ip == aLocalIp;
        if (!holds || a.name.size() >= IFNAMSIZ) continue;
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return 0;
        ifreq request{};
        std::memcpy(request.ifr_name, a.name.c_str(), a.name.size());
        int ok = ::ioctl(fd, SIOCGIFMTU, &request);
        ::close(fd);
        return ok == 0 && request.ifr_mtu > 0 ? unsigned(request.ifr_mtu) : 0;
    }
    return 0;
}

} // namespace net
} // namespace tarn
