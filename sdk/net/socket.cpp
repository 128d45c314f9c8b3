#include "net/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>

namespace tarn {
namespace net {

namespace {

sockaddr_in toSockaddr(Endpoint aEndpoint)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(aEndpoint.port);
    sa.sin_addr.s_addr = htonl(aEndpoint.ip);
    return sa;
}

Endpoint fromSockaddr(const sockaddr_in &aAddress)
{
    return Endpoint{ntohl(aAddress.sin_addr.s_addr), ntohs(aAddress.sin_port)};
}

std::string dotted(uint32_t aIp)
{
    in_addr a{htonl(aIp)};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// The reason, with errno left as the failed call set it for the caller.
void fail(std::string *aError, const std::string &aWhat)
{
    const int error = errno;
    if (aError) *aError = aWhat + ": " + std::strerror(error);
    errno = error;
}

} // namespace

Fd &Fd::operator=(Fd &&aOther) noexcept
{
    if (this != &aOther) Reset(aOther.Release());
    return *this;
}

int Fd::Release()
{
    int fd = mFd;
    mFd = -1;
    return fd;
}

void Fd::Reset(int aFd)
{
    if (mFd >= 0) ::close(mFd);
    mFd = aFd;
}

UdpSocket UdpSocket::Bind(Endpoint aLocal, const SocketOptions &aOptions, std::string *aError)
{
    UdpSocket s;
    int type = SOCK_DGRAM | SOCK_CLOEXEC | (aOptions.nonBlocking ? SOCK_NONBLOCK : 0);
    Fd fd(::socket(AF_INET, type, 0));
    if (!fd) {
        fail(aError, "socket");
        return s;
    }
    int one = 1;
    if (aOptions.reuseAddress) ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (aOptions.broadcast) ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    if (aOptions.packetInfo) ::setsockopt(fd.Get(), IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
    if (aOptions.dontFragment) {
        int probe = IP_PMTUDISC_PROBE;  // the interface's MTU, not a learnt path MTU
        ::setsockopt(fd.Get(), IPPROTO_IP, IP_MTU_DISCOVER, &probe, sizeof probe);
    }
    if (aOptions.sendBuffer > 0)
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDBUF, &aOptions.sendBuffer, sizeof aOptions.sendBuffer);
    if (aOptions.multicast) {
        in_addr via{};
        via.s_addr = htonl(aLocal.ip);
        unsigned char ttl = 1, loop = aOptions.multicastLoop ? 1 : 0;
        ::setsockopt(fd.Get(), IPPROTO_IP, IP_MULTICAST_IF, &via, sizeof via);
        ::setsockopt(fd.Get(), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        ::setsockopt(fd.Get(), IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    }
    // Not fatal: without the privilege the bound address alone still picks
    // the interface.
    if (!aOptions.device.empty())
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_BINDTODEVICE, aOptions.device.c_str(), socklen_t(aOptions.device.size()));
    sockaddr_in sa = toSockaddr(aLocal);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        fail(aError, "bind " + dotted(aLocal.ip));
        const int error = errno;
        fd.Reset();
        errno = error;
        return s;
    }
    s.mFd = std::move(fd);
    return s;
}

Endpoint UdpSocket::Local() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(mFd.Get(), reinterpret_cast<sockaddr *>(&sa), &len) != 0) return Endpoint{};
    return fromSockaddr(sa);
}

bool UdpSocket::SendTo(const void *aData, size_t aSize, Endpoint aTo) const
{
    sockaddr_in to = toSockaddr(aTo);
    return ::sendto(mFd.Get(), aData, aSize, 0, reinterpret_cast<sockaddr *>(&to), sizeof to) == ssize_t(aSize);
}

int UdpSocket::SendAllTo(const uint8_t *const *aDatas, const size_t *aSizes, size_t aCount, Endpoint aTo) const
{
    constexpr size_t kMax = 64;
    sockaddr_in to = toSockaddr(aTo);
    iovec iov[kMax];
    mmsghdr msgs[kMax];
    const size_t count = aCount < kMax ? aCount : kMax;
    for (size_t i = 0; i < count; ++i) {
        iov[i] = iovec{const_cast<uint8_t *>(aDatas[i]), aSizes[i]};
        msgs[i] = mmsghdr{};
        msgs[i].msg_hdr.msg_name = &to;
        msgs[i].msg_hdr.msg_namelen = sizeof to;
        msgs[i].msg_hdr.msg_iov = &iov[i];
        msgs[i].msg_hdr.msg_iovlen = 1;
    }
    return ::sendmmsg(mFd.Get(), msgs, unsigned(count), 0);
}

int UdpSocket::SendAllTo(const Gather *aDatagrams, size_t aCount, Endpoint aTo) const
{
    constexpr size_t kMax = 64;
    sockaddr_in to = toSockaddr(aTo);
    iovec iov[kMax][2];
    mmsghdr msgs[kMax];
    const size_t count = aCount < kMax ? aCount : kMax;
    for (size_t i = 0; i < count; ++i) {
        iov[i][0] = iovec{const_cast<uint8_t *>(aDatagrams[i].head), aDatagrams[i].headSize};
        iov[i][1] = iovec{const_cast<uint8_t *>(aDatagrams[i].body), aDatagrams[i].bodySize};
        msgs[i] = mmsghdr{};
        msgs[i].msg_hdr.msg_name = &to;
        msgs[i].msg_hdr.msg_namelen = sizeof to;
        msgs[i].msg_hdr.msg_iov = iov[i];
        msgs[i].msg_hdr.msg_iovlen = aDatagrams[i].bodySize ? 2 : 1;
    }
    return ::sendmmsg(mFd.Get(), msgs, unsigned(count), 0);
}

long UdpSocket::Receive(void *aBuffer, size_t aSize, Arrival *aArrival) const
{
    sockaddr_in from{};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    iovec iov{aBuffer, aSize};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t got = ::recvmsg(mFd.Get(), &msg, 0);
    if (got < 0) return -1;
    if (aArrival) {
        *aArrival = Arrival{};
        aArrival->from = fromSockaddr(from);
        for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            aArrival->interfaceIndex = unsigned(info.ipi_ifindex);
            aArrival->localAddress = ntohl(info.ipi_spec_dst.s_addr);
        }
    }
    return long(got);
}

bool UdpSocket::JoinGroup(uint32_t aGroup, uint32_t aLocalAddress) const
{
    ip_mreq m{};
    m.imr_multiaddr.s_addr = htonl(aGroup);
    m.imr_interface.s_addr = htonl(aLocalAddress);
    return ::setsockopt(mFd.Get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
}

int UdpSocket::ReceiveMany(Datagram *aSlots, size_t aCount, bool aWait) const
{
    if (aCount > kMaxBatch) aCount = kMaxBatch;
    mmsghdr messages[kMaxBatch];
    iovec vectors[kMaxBatch][3];
    sockaddr_in from[kMaxBatch];
    for (size_t k = 0; k < aCount; ++k) {
        const Datagram &d = aSlots[k];
        iovec *v = vectors[k];
        size_t pieces = 1;
        if (d.landing) {
            v[0] = iovec{d.data, d.head};
            v[1] = iovec{d.landing, d.landingSize};
            v[2] = iovec{d.data + d.head + d.landingSize, d.capacity - d.head - d.landingSize};
            pieces = 3;
        } else {
            v[0] = iovec{d.data, d.capacity};
        }
        messages[k] = mmsghdr{};
        messages[k].msg_hdr.msg_name = &from[k];
        messages[k].msg_hdr.msg_namelen = sizeof from[k];
        messages[k].msg_hdr.msg_iov = v;
        messages[k].msg_hdr.msg_iovlen = pieces;
    }
    int got = ::recvmmsg(mFd.Get(), messages, unsigned(aCount), aWait ? MSG_WAITFORONE : MSG_DONTWAIT, nullptr);
    if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
    for (int k = 0; k < got; ++k) {
        Datagram &d = aSlots[k];
        d.truncated = (messages[k].msg_hdr.msg_flags & MSG_TRUNC) != 0;
        d.size = d.truncated ? d.capacity : messages[k].msg_len;
        d.from = fromSockaddr(from[k]);
    }
    return got;
}

bool UdpSocket::SetReceiveTimeout(std::chrono::microseconds aTimeout) const
{
    const long long us = aTimeout.count() < 0 ? 0 : aTimeout.count();
    timeval t{time_t(us / 1000000), suseconds_t(us % 1000000)};
    return ::setsockopt(mFd.Get(), SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t) == 0;
}

int UdpSocket::SetReceiveBuffer(int aBytes) const
{
    if (::setsockopt(mFd.Get(), SOL_SOCKET, SO_RCVBUF, &aBytes, sizeof aBytes) != 0) return -1;
    return ReceiveBuffer();
}

int UdpSocket::ReceiveBuffer() const
{
    int value = 0;
    socklen_t len = sizeof value;
    if (::getsockopt(mFd.Get(), SOL_SOCKET, SO_RCVBUF, &value, &len) != 0) return -1;
    return value;
}

uint32_t localAddressToward(uint32_t aDestination)
{
    // Connecting a datagram socket sends nothing: it only picks the route.
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd) return 0;
    sockaddr_in to = toSockaddr(Endpoint{aDestination, 9});
    if (::connect(fd.Get(), reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) return 0;
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(fd.Get(), reinterpret_cast<sockaddr *>(&local), &len) != 0) return 0;
    return fromSockaddr(local).ip;
}

TcpConnection TcpConnection::Connect(Endpoint aServer, uint32_t aLocalIp, int aTimeoutMs, std::string *aError)
{
    return Connect(aServer, Endpoint{aLocalIp, 0}, aTimeoutMs, aError);
}

TcpConnection TcpConnection::Connect(Endpoint aServer, Endpoint aLocal, int aTimeoutMs, std::string *aError)
{
    TcpConnection c;
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        fail(aError, "socket");
        return c;
    }
    if (aLocal.port) {
        int one = 1;
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
    if (aLocal.ip || aLocal.port) {
        sockaddr_in local = toSockaddr(aLocal);
        if (::bind(fd.Get(), reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
            fail(aError, "bind " + dotted(aLocal.ip));
            return c;
        }
    }
    sockaddr_in to = toSockaddr(aServer);
    if (::connect(fd.Get(), reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        if (errno != EINPROGRESS) {
            fail(aError, "connect " + dotted(aServer.ip));
            return c;
        }
        pollfd p{fd.Get(), POLLOUT, 0};
        int error = 0;
        socklen_t len = sizeof error;
        const int ready = ::poll(&p, 1, aTimeoutMs);
        if (ready <= 0 || ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
            if (ready == 0) errno = ETIMEDOUT;
            else if (error) errno = error;
            fail(aError, "connect " + dotted(aServer.ip));
            return c;
        }
    }
    int one = 1;
    ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    c.mFd = std::move(fd);
    return c;
}

Endpoint TcpConnection::Local() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(mFd.Get(), reinterpret_cast<sockaddr *>(&sa), &len) != 0) return Endpoint{};
    return fromSockaddr(sa);
}

long TcpConnection::Receive(void *aBuffer, size_t aSize) const
{
    return long(::recv(mFd.Get(), aBuffer, aSize, 0));
}

bool TcpConnection::SendAll(const void *aData, size_t aSize) const
{
    const char *p = static_cast<const char *>(aData);
    while (aSize > 0) {
        const ssize_t n = ::send(mFd.Get(), p, aSize, MSG_NOSIGNAL);
        if (n < 0 && errno == EAGAIN) {
            pollfd w{mFd.Get(), POLLOUT, 0};
            if (::poll(&w, 1, 1000) <= 0) return false;
            continue;
        }
        if (n <= 0) return false;
        p += n;
        aSize -= size_t(n);
    }
    return true;
}

bool TcpConnection::SendPieces(const Piece *aPieces, size_t aCount, int aStallMs) const
{
    constexpr size_t kMax = 256;
    iovec iov[kMax];
    size_t next = 0;  // the first piece not yet in iov
    size_t count = 0, first = 0;
    for (;;) {
        // Fill the vector from the pieces still to go.
        if (first == count) {
            first = count = 0;
            while (next < aCount && count < kMax) {
                if (aPieces[next].size) iov[count++] = iovec{const_cast<uint8_t *>(aPieces[next].data), aPieces[next].size};
                ++next;
            }
            if (!count) return true;
        }
        msghdr msg{};
        msg.msg_iov = iov + first;
        msg.msg_iovlen = count - first;
        const ssize_t n = ::sendmsg(mFd.Get(), &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
            pollfd w{mFd.Get(), POLLOUT, 0};
            int ready;
            do ready = ::poll(&w, 1, aStallMs);
            while (ready < 0 && errno == EINTR);
            if (ready <= 0 || (w.revents & (POLLERR | POLLHUP))) return false;
            continue;
        }
        size_t left = size_t(n);
        while (left && first < count) {
            if (left >= iov[first].iov_len) {
                left -= iov[first].iov_len;
                ++first;
            } else {
                iov[first].iov_base = static_cast<uint8_t *>(iov[first].iov_base) + left;
                iov[first].iov_len -= left;
                left = 0;
            }
        }
    }
}

Endpoint TcpConnection::Peer() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(mFd.Get(), reinterpret_cast<sockaddr *>(&sa), &len) != 0) return Endpoint{};
    return fromSockaddr(sa);
}

void TcpConnection::SetSendBuffer(int aBytes) const
{
    ::setsockopt(mFd.Get(), SOL_SOCKET, SO_SNDBUF, &aBytes, sizeof aBytes);
}

void TcpConnection::Shutdown() const
{
    ::shutdown(mFd.Get(), SHUT_RDWR);
}

TcpListener TcpListener::Listen(Endpoint aLocal, std::string *aError)
{
    TcpListener l;
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        fail(aError, "socket");
        return l;
    }
    // A device started again at once takes its port back.
    int one = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa = toSockaddr(aLocal);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        fail(aError, "bind " + dotted(aLocal.ip));
        return l;
    }
    if (::listen(fd.Get(), 8) != 0) {
        fail(aError, "listen " + dotted(aLocal.ip));
        return l;
    }
    l.mFd = std::move(fd);
    return l;
}

Endpoint TcpListener::Local() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(mFd.Get(), reinterpret_cast<sockaddr *>(&sa), &len) != 0) return Endpoint{};
    return fromSockaddr(sa);
}

TcpConnection TcpListener::Accept() const
{
    Fd fd(::accept4(mFd.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (fd) {
        // Packets go as they are written, not held back for more.
        int one = 1;
        ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return TcpConnection(std::move(fd));
}

unsigned interfaceIndex(const std::string &aName)
{
    return ::if_nametoindex(aName.c_str());
}

} // namespace net
} // namespace tarn
