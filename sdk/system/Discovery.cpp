// The host side of discovery: DISCOVERY sent from each address discovery
// may use, and SAP announcements listened for.

#include "SystemDetail.h"

#include "gvcpclient/exchange.h"
#include "net/poll_loop.h"
#include "net/socket.h"

#include <algorithm>
#include <sstream>

namespace gvcp = tarn::gvcp;
namespace net = tarn::net;

namespace {

int Milliseconds(uint32_t aTimeoutMs)
{
    return int(std::min<uint32_t>(aTimeoutMs, uint32_t(INT32_MAX)));
}

} // namespace

namespace tarn {
namespace discovery {

bool DiscoverGEV(const std::vector<Target> &aTargets, uint32_t aTimeoutMs, bool aSubnetBroadcast,
                 const std::function<bool(const Answer &)> &aDone, std::vector<Answer> &aAnswers)
{
    gvcpclient::Exchange exchange;
    std::vector<size_t> owner;  // the target of each route
    for (size_t i = 0; i < aTargets.size(); ++i) {
        const Target &t = aTargets[i];
        // Keeps the broadcast on this adapter where the kernel allows it;
        // the bound source address alone already selects the adapter.
        gvcpclient::Exchange::Route route{{t.localIp, 0}, {{net::kBroadcastAddress, gvcp::kPort}}, true, t.ifname};
        if (aSubnetBroadcast && t.mask && t.mask != 0xFFFFFFFFu) route.to.push_back({t.localIp | ~t.mask, gvcp::kPort});
        if (exchange.Add(route)) owner.push_back(i);
    }
    gvcpclient::Exchange::Request request;
    request.id = exchange.NextId();
    request.packet = gvcp::encodeDiscoveryCmd(request.id);
    request.answer = gvcp::DISCOVERY_ACK;
    request.wait = std::chrono::milliseconds(Milliseconds(aTimeoutMs));
    const auto outcome = exchange.Ask(request, [&](const gvcpclient::Exchange::Answer &aHeard) {
        if (aHeard.ack.header.status != gvcp::STATUS_SUCCESS) return false;
        auto identity = gvcp::DeviceIdentity::Decode(aHeard.ack.payload.data(), aHeard.ack.payload.size());
        if (!identity) return false;
        Answer answer{owner[aHeard.route], *identity};
        aAnswers.push_back(answer);
        return aDone && aDone(answer);
    });
    return outcome != gvcpclient::Exchange::Outcome::NotSent;
}

namespace {

// A SAP announcement (version 1, IPv4 origin, no encryption or
// compression) carrying SDP; false for anything else.
bool ParseAnnouncement(const uint8_t *aData, size_t aSize, Session &aSession, bool &aDeletion)
{
    if (aSize < 8) return false;
    uint8_t flags = aData[0];
    if ((flags >> 5) != 1 || (flags & 0x13)) return false;
    aDeletion = flags & 0x04;
    size_t pos = 8 + size_t(aData[1]) * 4;
    if (pos > aSize) return false;
    std::string body(reinterpret_cast<const char *>(aData) + pos, aSize - pos);
    // An optional payload type ("application/sdp") ends at a null byte.
    if (body.compare(0, 2, "v=") != 0) {
        size_t nul = body.find('\0');
        if (nul == std::string::npos) return false;
        body.erase(0, nul + 1);
    }
    std::istringstream lines(body);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 2, "s=") == 0) aSession.name = line.substr(2);
        else if (line.compare(0, 9, "c=IN IP4 ") == 0) aSession.address = line.substr(9, line.find('/', 9) - 9);
        else if (line.compare(0, 2, "m=") == 0 && !aSession.port) {
            std::istringstream m(line.substr(2));
            std::string media;
            unsigned long port = 0;
            if (m >> media >> port && port <= 65535) aSession.port = uint16_t(port);
        }
    }
    return true;
}

} // namespace

std::vector<Session> ListenSAP(const std::vector<Target> &aTargets, uint32_t aTimeoutMs)
{
    std::vector<Session> out;
    if (aTargets.empty()) return out;
    net::SocketOptions options;
    options.nonBlocking = true;
    options.reuseAddress = true;
    // The arrival interface tells the local address, and keeps out
    // announcements from interfaces that discovery does not use.
    options.packetInfo = true;
    net::UdpSocket s = net::UdpSocket::Bind({net::kAnyAddress, 9875}, options);
    if (!s.Valid()) return out;
    const uint32_t group = 0xE0027FFE;  // 224.2.127.254, the global SAP group
    for (const Target &t : aTargets) s.JoinGroup(group, t.localIp);

    net::PollLoop loop;
    uint8_t buf[4096];
    loop.Watch(s.GetFd(), [&](int) {
        net::Arrival arrival;
        long got = s.Receive(buf, sizeof buf, &arrival);
        if (got < 8 || !arrival.interfaceIndex) return true;
        const Target *from = nullptr;
        for (const Target &t : aTargets)
            if (arrival.interfaceIndex == net::interfaceIndex(t.ifname)) from = &t;
        if (!from) return true;
        Session session;
        bool deletion = false;
        if (!ParseAnnouncement(buf, size_t(got), session, deletion)) return true;
        session.localAddress = gvcp::formatIPv4(arrival.localAddress ? arrival.localAddress : from->localIp);
        auto same = [&](const Session &o) {
            return o.name == session.name && o.address == session.address && o.port == session.port;
        };
        auto it = std::find_if(out.begin(), out.end(), same);
        if (deletion) {
            if (it != out.end()) out.erase(it);
        } else if (it == out.end() && !session.address.empty()) {
            out.push_back(session);
        }
        return true;
    });
    loop.Run(Milliseconds(aTimeoutMs));
    return out;
}

} // namespace discovery
} // namespace tarn
