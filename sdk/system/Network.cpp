// The host side of discovery: adapters, USB host controllers, and the
// sockets that send DISCOVERY and listen for SAP.

#include "SystemDetail.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <map>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace gvcp = tarn::gvcp;

namespace {

struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(Fd &&o) noexcept : fd(o.fd) { o.fd = -1; }
    Fd &operator=(Fd &&) = delete;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

std::map<std::string, uint32_t> DefaultGateways()
{
    std::map<std::string, uint32_t> out;
    std::ifstream in("/proc/net/route");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, dest, gw;
        if (!(fields >> name >> dest >> gw)) continue;
        if (dest != "00000000") continue;
        // The kernel writes the address in its own (little-endian) order.
        uint32_t raw = uint32_t(std::strtoul(gw.c_str(), nullptr, 16));
        out.emplace(name, ntohl(raw));
    }
    return out;
}

std::string ReadLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

uint32_t ReadHex(const std::string &path)
{
    std::string text = ReadLine(path);
    return text.empty() ? 0 : uint32_t(std::strtoul(text.c_str(), nullptr, 16));
}

uint16_t NextRequestId()
{
    static std::atomic<uint16_t> next{uint16_t(std::random_device{}() | 1)};
    uint16_t id = next.fetch_add(1);
    return id ? id : next.fetch_add(1);  // 0 is not a valid request id
}

} // namespace

std::wstring ZuSystemDetail::Wide(const std::string &utf8)
{
    return ZuString(utf8).Wide();
}

std::string ZuSystemDetail::AdapterName(const ZuNetworkAdapter &aAdapter)
{
    return ZuString(aAdapter.mCompareID).Narrow();
}

const std::vector<ZuNetworkAdapter::Address> &ZuSystemDetail::Addresses(const ZuNetworkAdapter &aAdapter)
{
    return aAdapter.mAddresses;
}

std::vector<std::unique_ptr<ZuInterface>> ZuSystemDetail::ListInterfaces()
{
    std::vector<std::unique_ptr<ZuInterface>> out;
    std::vector<std::string> order;
    std::map<std::string, std::unique_ptr<ZuNetworkAdapter>> adapters;
    auto gateways = DefaultGateways();

    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (ifaddrs *ifa = list; ifa; ifa = ifa->ifa_next) {
            if (!ifa->ifa_name) continue;
            std::string name = ifa->ifa_name;
            auto &adapter = adapters[name];
            if (!adapter) {
                adapter = std::make_unique<ZuNetworkAdapter>();
                order.push_back(name);
                std::wstring wide = Wide(name);
                adapter->mName = wide;
                adapter->mDescription = wide;
                adapter->mCompareID = wide;
                adapter->mUniqueID = L"NIC:" + wide;
                auto gw = gateways.find(name);
                if (gw != gateways.end()) adapter->mGateway = gw->second;
            }
            if (!ifa->ifa_addr) continue;
            if (ifa->ifa_addr->sa_family == AF_PACKET) {
                auto *ll = reinterpret_cast<const sockaddr_ll *>(ifa->ifa_addr);
                if (ll->sll_halen == 6) {
                    gvcp::Mac mac;
                    std::memcpy(mac.data(), ll->sll_addr, 6);
                    adapter->mMAC = gvcp::formatMac(mac, '.', true);
                }
            } else if (ifa->ifa_addr->sa_family == AF_INET) {
                ZuNetworkAdapter::Address a{};
                a.ip = ntohl(reinterpret_cast<const sockaddr_in *>(ifa->ifa_addr)->sin_addr.s_addr);
                if (ifa->ifa_netmask)
                    a.mask = ntohl(reinterpret_cast<const sockaddr_in *>(ifa->ifa_netmask)->sin_addr.s_addr);
                adapter->mAddresses.push_back(a);
            }
        }
        ::freeifaddrs(list);
    }
    for (const std::string &name : order) {
        auto &adapter = adapters[name];
        std::wstring display = adapter->mName;
        if (!adapter->mAddresses.empty())
            display += L" (" + Wide(gvcp::formatIPv4(adapter->mAddresses[0].ip)) + L")";
        adapter->mDisplayID = display;
        out.push_back(std::move(adapter));
    }

    // USB host controllers: PCI functions of class 0x0C03.
    const std::string root = "/sys/bus/pci/devices";
    if (DIR *dir = ::opendir(root.c_str())) {
        std::vector<std::string> slots;
        while (dirent *e = ::readdir(dir)) {
            if (e->d_name[0] != '.') slots.push_back(e->d_name);
        }
        ::closedir(dir);
        std::sort(slots.begin(), slots.end());
        for (const std::string &slot : slots) {
            std::string base = root + "/" + slot + "/";
            uint32_t cls = ReadHex(base + "class");
            if ((cls >> 8) != 0x0C03) continue;
            auto hc = std::make_unique<ZuUSBHostController>();
            hc->mVendorID = ReadHex(base + "vendor");
            hc->mDeviceID = ReadHex(base + "device");
            hc->mSubsystemID = (ReadHex(base + "subsystem_device") << 16) | ReadHex(base + "subsystem_vendor");
            hc->mRevision = ReadHex(base + "revision");
            const char *kind = "USB";
            switch (cls & 0xFF) {
            case 0x00: hc->mSpeed = ZuUSBSpeedFull; kind = "UHCI"; break;
            case 0x10: hc->mSpeed = ZuUSBSpeedFull; kind = "OHCI"; break;
            case 0x20: hc->mSpeed = ZuUSBSpeedHigh; kind = "EHCI"; break;
            case 0x30: hc->mSpeed = ZuUSBSpeedSuper; kind = "xHCI"; break;
            default: hc->mSpeed = ZuUSBSpeedUnknown; break;
            }
            std::wstring wslot = Wide(slot);
            hc->mName = Wide(std::string(kind) + " USB host controller");
            hc->mDisplayID = hc->mName + L" (" + wslot + L")";
            hc->mUniqueID = L"USB:" + wslot;
            hc->mCompareID = L"~usb:" + wslot;  // after the network adapters
            out.push_back(std::move(hc));
        }
    }
    return out;
}

bool ZuSystemDetail::MaySend(const ZuNetworkAdapter &aAdapter)
{
    const std::string name = AdapterName(aAdapter);
    const char *allowed = std::getenv("TARN_DISCOVERY_INTERFACES");
    if (!allowed || !*allowed) {
        // The loopback only: its addresses never leave the machine.
        for (const auto &a : aAdapter.mAddresses)
            if ((a.ip >> 24) != 127) return false;
        return !aAdapter.mAddresses.empty() && name == "lo";
    }
    std::stringstream list(allowed);
    std::string item;
    while (std::getline(list, item, ',')) {
        size_t b = item.find_first_not_of(" \t");
        size_t e = item.find_last_not_of(" \t");
        if (b != std::string::npos && item.substr(b, e - b + 1) == name) return true;
    }
    return false;
}

std::unique_ptr<ZuDeviceInfoGEV> ZuSystemDetail::MakeGEV(const gvcp::DeviceIdentity &id, const ZuNetworkAdapter *aAdapter)
{
    auto info = std::make_unique<ZuDeviceInfoGEV>();
    std::memcpy(info->mMAC, id.mac.data(), 6);
    info->mIP = id.ip;
    info->mSubnetMask = id.subnetMask;
    info->mGateway = id.gateway;
    info->mGEVVersion = (uint32_t(id.versionMajor) << 16) | id.versionMinor;
    info->mIPConfigOptions = id.ipConfigOptions;
    info->mIPConfigCurrent = id.ipConfigCurrent;
    info->mClass = ZuDeviceClass(id.deviceClass() + 1);
    if (info->mClass > ZuDeviceClassPeripheral) info->mClass = ZuDeviceClassUnknown;
    info->mVendorName = Wide(id.manufacturerName);
    info->mModelName = Wide(id.modelName);
    info->mVersion = Wide(id.deviceVersion);
    info->mManufacturerInfo = Wide(id.manufacturerInfo);
    info->mSerialNumber = Wide(id.serialNumber);
    info->mUserDefinedName = Wide(id.userDefinedName);
    std::wstring ip = Wide(gvcp::formatIPv4(id.ip));
    info->mDisplayID = (id.userDefinedName.empty() ? info->mModelName : info->mUserDefinedName) + L" (" + ip + L")";
    info->mUniqueID = Wide(gvcp::formatMac(id.mac, ':', false));
    info->mConnectionID = ip;
    info->mInterface = aAdapter;
    return info;
}

bool ZuSystemDetail::SameMac(const ZuDeviceInfoGEV &a, const ZuDeviceInfoGEV &b)
{
    return std::memcmp(a.mMAC, b.mMAC, 6) == 0;
}

bool ZuSystemDetail::SameDevice(const ZuDeviceInfoGEV &a, const ZuDeviceInfoGEV &b)
{
    return SameMac(a, b) && a.mIP == b.mIP;
}

bool ZuSystemDetail::SameInterface(const ZuInterface &a, const ZuInterface &b)
{
    if (a.mType != b.mType || a.mName != b.mName || a.mDisplayID != b.mDisplayID || a.mUniqueID != b.mUniqueID ||
        a.mCompareID != b.mCompareID)
        return false;
    auto *na = dynamic_cast<const ZuNetworkAdapter *>(&a);
    auto *nb = dynamic_cast<const ZuNetworkAdapter *>(&b);
    if (na && nb) {
        auto sameAddress = [](const ZuNetworkAdapter::Address &x, const ZuNetworkAdapter::Address &y) {
            return x.ip == y.ip && x.mask == y.mask;
        };
        return na->mMAC == nb->mMAC && na->mDescription == nb->mDescription && na->mGateway == nb->mGateway &&
               std::equal(na->mAddresses.begin(), na->mAddresses.end(), nb->mAddresses.begin(), nb->mAddresses.end(),
                          sameAddress);
    }
    auto *ua = dynamic_cast<const ZuUSBHostController *>(&a);
    auto *ub = dynamic_cast<const ZuUSBHostController *>(&b);
    if (ua && ub)
        return ua->mVendorID == ub->mVendorID && ua->mDeviceID == ub->mDeviceID &&
               ua->mSubsystemID == ub->mSubsystemID && ua->mRevision == ub->mRevision && ua->mSpeed == ub->mSpeed;
    return false;
}

bool ZuSystemDetail::SameInformation(const ZuDeviceInfo &a, const ZuDeviceInfo &b)
{
    auto *ga = dynamic_cast<const ZuDeviceInfoGEV *>(&a);
    auto *gb = dynamic_cast<const ZuDeviceInfoGEV *>(&b);
    return ga && gb && SameDevice(*ga, *gb) && a.mInterface == b.mInterface && a.mClass == b.mClass &&
           a.mVendorName == b.mVendorName && a.mModelName == b.mModelName && a.mVersion == b.mVersion &&
           a.mManufacturerInfo == b.mManufacturerInfo && a.mSerialNumber == b.mSerialNumber &&
           a.mUserDefinedName == b.mUserDefinedName && ga->mSubnetMask == gb->mSubnetMask &&
           ga->mGateway == gb->mGateway && ga->mGEVVersion == gb->mGEVVersion &&
           ga->mIPConfigOptions == gb->mIPConfigOptions && ga->mIPConfigCurrent == gb->mIPConfigCurrent;
}

bool ZuSystemDetail::Matches(const ZuDeviceInfo &aInfo, const std::string &aText)
{
    if (auto *gev = dynamic_cast<const ZuDeviceInfoGEV *>(&aInfo)) {
        gvcp::Mac mac;
        if (gvcp::parseMac(aText, mac) && std::memcmp(mac.data(), gev->mMAC, 6) == 0) return true;
        uint32_t ip;
        if (gvcp::parseIPv4(aText, ip) && ip == gev->mIP) return true;
    }
    std::wstring text = Wide(aText);
    return text == aInfo.mUserDefinedName || text == aInfo.mSerialNumber || text == aInfo.mUniqueID ||
           text == aInfo.mDisplayID || text == aInfo.mConnectionID;
}

namespace tarn {
namespace discovery {

bool DiscoverGEV(const std::vector<Target> &aTargets, uint32_t aTimeoutMs, bool aSubnetBroadcast,
                 const std::function<bool(const Answer &)> &aDone, std::vector<Answer> &aAnswers)
{
    std::vector<Fd> sockets;
    std::vector<size_t> owner;
    const uint16_t reqId = NextRequestId();
    const gvcp::Bytes cmd = gvcp::encodeDiscoveryCmd(reqId);
    for (size_t i = 0; i < aTargets.size(); ++i) {
        const Target &t = aTargets[i];
        Fd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (s.fd < 0) continue;
        int one = 1;
        ::setsockopt(s.fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        // Keeps the broadcast on this adapter where the kernel allows it;
        // the bound source address alone already selects the adapter.
        ::setsockopt(s.fd, SOL_SOCKET, SO_BINDTODEVICE, t.ifname.c_str(), socklen_t(t.ifname.size()));
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(t.localIp);
        if (::bind(s.fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) continue;
        std::vector<uint32_t> destinations{INADDR_BROADCAST};
        if (aSubnetBroadcast && t.mask && t.mask != 0xFFFFFFFFu) destinations.push_back(t.localIp | ~t.mask);
        bool sent = false;
        for (uint32_t d : destinations) {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(gvcp::kPort);
            to.sin_addr.s_addr = htonl(d);
            if (::sendto(s.fd, cmd.data(), cmd.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to) ==
                ssize_t(cmd.size()))
                sent = true;
        }
        if (!sent) continue;
        sockets.push_back(std::move(s));
        owner.push_back(i);
    }
    if (sockets.empty()) return false;

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(aTimeoutMs);
    std::vector<pollfd> fds(sockets.size());
    uint8_t buf[1500];
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        for (size_t k = 0; k < sockets.size(); ++k) fds[k] = {sockets[k].fd, POLLIN, 0};
        int n = ::poll(fds.data(), fds.size(), int(left));
        if (n < 0 && errno != EINTR) break;
        for (size_t k = 0; n > 0 && k < fds.size(); ++k) {
            if (!(fds[k].revents & POLLIN)) continue;
            for (;;) {
                ssize_t got = ::recv(fds[k].fd, buf, sizeof buf, 0);
                if (got <= 0) break;
                uint16_t ackId = 0;
                auto identity = gvcp::decodeDiscoveryAck(buf, size_t(got), &ackId);
                if (!identity || ackId != reqId) continue;
                Answer answer{owner[k], *identity};
                aAnswers.push_back(answer);
                if (aDone && aDone(answer)) return true;
            }
        }
    }
    return true;
}

std::vector<Session> ListenSAP(const std::vector<Target> &aTargets, uint32_t aTimeoutMs)
{
    std::vector<Session> out;
    Fd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (s.fd < 0 || aTargets.empty()) return out;
    int one = 1;
    ::setsockopt(s.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const uint32_t group = 0xE0027FFE;  // 224.2.127.254, the global SAP group
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(9875);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    ::setsockopt(s.fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
    if (::bind(s.fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) return out;
    for (const Target &t : aTargets) {
        ip_mreq m{};
        m.imr_multiaddr.s_addr = htonl(group);
        m.imr_interface.s_addr = htonl(t.localIp);
        ::setsockopt(s.fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m);
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(aTimeoutMs);
    uint8_t buf[4096];
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{s.fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0) continue;
        // The arrival interface tells the local address, and keeps out
        // announcements from interfaces that discovery does not use.
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        iovec iov{buf, sizeof buf};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t got = ::recvmsg(s.fd, &msg, 0);
        if (got < 8) continue;
        const in_pktinfo *info = nullptr;
        for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO)
                info = reinterpret_cast<const in_pktinfo *>(CMSG_DATA(c));
        if (!info) continue;
        const Target *arrival = nullptr;
        for (const Target &t : aTargets)
            if (unsigned(info->ipi_ifindex) == ::if_nametoindex(t.ifname.c_str())) arrival = &t;
        if (!arrival) continue;
        // SAP header: version 1, IPv4 origin, no encryption or compression.
        uint8_t flags = buf[0];
        if ((flags >> 5) != 1 || (flags & 0x13)) continue;
        bool deletion = flags & 0x04;
        size_t pos = 8 + size_t(buf[1]) * 4;
        if (pos > size_t(got)) continue;
        std::string body(reinterpret_cast<char *>(buf) + pos, size_t(got) - pos);
        // An optional payload type ("application/sdp") ends at a null byte.
        if (body.compare(0, 2, "v=") != 0) {
            size_t nul = body.find('\0');
            if (nul == std::string::npos) continue;
            body.erase(0, nul + 1);
        }
        Session session;
        std::istringstream lines(body);
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.compare(0, 2, "s=") == 0) session.name = line.substr(2);
            else if (line.compare(0, 9, "c=IN IP4 ") == 0) session.address = line.substr(9, line.find('/', 9) - 9);
            else if (line.compare(0, 2, "m=") == 0 && !session.port) {
                std::istringstream m(line.substr(2));
                std::string media;
                unsigned long port = 0;
                if (m >> media >> port && port <= 65535) session.port = uint16_t(port);
            }
        }
        uint32_t local = ntohl(info->ipi_spec_dst.s_addr);
        session.localAddress = gvcp::formatIPv4(local ? local : arrival->localIp);
        auto same = [&](const Session &o) {
            return o.name == session.name && o.address == session.address && o.port == session.port;
        };
        auto it = std::find_if(out.begin(), out.end(), same);
        if (deletion) {
            if (it != out.end()) out.erase(it);
        } else if (it == out.end() && !session.address.empty()) {
            out.push_back(session);
        }
    }
    return out;
}

} // namespace discovery
} // namespace tarn
