#include "GvcpResponder.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarn {
namespace gvcp {

namespace {

int openBound(uint32_t address, uint16_t port, std::string *error)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error) *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    // Several devices share port 3956 on one machine, each on its own address.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        if (error) *error = std::string("bind ") + formatIPv4(address) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

Responder::Responder(const DeviceIdentity &identity)
{
    setIdentity(identity);
}

Responder::~Responder()
{
    stop();
}

void Responder::setIdentity(const DeviceIdentity &identity)
{
    mIdentity = identity;
    mBootstrap = std::make_unique<Bootstrap>(mIdentity);
}

bool Responder::start(const std::string &address, uint16_t port, std::string *error)
{
    if (mThread.joinable()) {
        if (error) *error = "already started";
        return false;
    }
    uint32_t ip = 0;
    if (!parseIPv4(address, ip)) {
        if (error) *error = "not an IPv4 address: " + address;
        return false;
    }
    mSocket = openBound(ip, port, error);
    if (mSocket < 0) return false;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ::getsockname(mSocket, reinterpret_cast<sockaddr *>(&sa), &len);
    mPort = ntohs(sa.sin_port);
    if (port == kPort) {
        // Optional: another device may hold it without sharing, and unicast
        // discovery still works without it.
        mBroadcastSocket = openBound(INADDR_BROADCAST, port, nullptr);
    }
    if (::pipe2(mWake, O_CLOEXEC) != 0) {
        if (error) *error = std::string("pipe: ") + std::strerror(errno);
        stop();
        return false;
    }
    DeviceIdentity identity = mIdentity;
    identity.ip = ip;
    if (identity.subnetMask == 0) identity.subnetMask = (ip >> 24) == 127 ? 0xFF000000u : 0xFFFFFF00u;
    setIdentity(identity);
    mThread = std::thread(&Responder::run, this);
    return true;
}

void Responder::stop()
{
    if (mThread.joinable()) {
        char c = 0;
        ssize_t n = ::write(mWake[1], &c, 1);
        (void)n;
        mThread.join();
    }
    for (int *fd : {&mSocket, &mBroadcastSocket, &mWake[0], &mWake[1]}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void Responder::run()
{
    uint8_t buf[1500];
    for (;;) {
        pollfd fds[3] = {{mWake[0], POLLIN, 0}, {mSocket, POLLIN, 0}, {mBroadcastSocket, POLLIN, 0}};
        int nfds = mBroadcastSocket >= 0 ? 3 : 2;
        if (::poll(fds, nfds, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        for (int i = 1; i < nfds; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            sockaddr_in from{};
            socklen_t fromLen = sizeof from;
            ssize_t n = ::recvfrom(fds[i].fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &fromLen);
            if (n <= 0) continue;
            auto reply = answer(buf, size_t(n));
            if (!reply) continue;
            // Answers always leave from the device's own address.
            ::sendto(mSocket, reply->data(), reply->size(), 0, reinterpret_cast<sockaddr *>(&from), fromLen);
        }
    }
}

std::optional<Bytes> Responder::answer(const uint8_t *data, size_t size) const
{
    auto cmd = decodeCommand(data, size);
    if (!cmd) return std::nullopt;
    const uint16_t id = cmd->header.reqId;
    const bool wantsAck = (cmd->header.flags & FLAG_ACK_REQUIRED) != 0;
    switch (cmd->header.command) {
    case DISCOVERY_CMD:
        return encodeDiscoveryAck(id, mIdentity);
    case READREG_CMD: {
        auto rr = ReadRegCmd::decode(*cmd);
        if (!rr) return encodeAck(READREG_ACK, STATUS_INVALID_PARAMETER, id, {});
        ReadRegAck ack;
        uint16_t status = STATUS_SUCCESS;
        for (uint32_t a : rr->addresses) {
            uint32_t v = 0;
            status = mBootstrap->readRegister(a, v);
            if (status != STATUS_SUCCESS) break;
            ack.values.push_back(v);
        }
        return ack.encode(id, status);
    }
    case READMEM_CMD: {
        auto rm = ReadMemCmd::decode(*cmd);
        if (!rm) return encodeAck(READMEM_ACK, STATUS_INVALID_PARAMETER, id, {});
        ReadMemAck ack;
        ack.address = rm->address;
        uint16_t status = mBootstrap->readMemory(rm->address, rm->count, ack.data);
        if (status != STATUS_SUCCESS) ack.data.clear();
        return ack.encode(id, status);
    }
    case PACKETRESEND_CMD:
        return std::nullopt;
    default:
        if (!wantsAck) return std::nullopt;
        // Anything else is refused, and the controller learns so at once.
        return encodeAck(uint16_t(cmd->header.command + 1), STATUS_NOT_IMPLEMENTED, id, {});
    }
}

} // namespace gvcp
} // namespace tarn
