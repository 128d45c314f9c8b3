#ifndef TARN_NET_SOCKET_H
#define TARN_NET_SOCKET_H

// IPv4 sockets for every part of the SDK that talks to the network:
// discovery, the device-side responders, control and streams over UDP, and
// the TCP connections of RTP and of our own devices' TCP transport.
// Addresses and ports are in host order throughout; only this file and its
// source convert them.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn {
namespace net {

// An owned file descriptor, closed when it goes.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int aFd) : mFd(aFd) {}
    Fd(Fd &&aOther) noexcept : mFd(aOther.Release()) {}
    Fd &operator=(Fd &&aOther) noexcept;
    ~Fd() { Reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    int Get() const { return mFd; }
    explicit operator bool() const { return mFd >= 0; }
    int Release();
    void Reset(int aFd = -1);

private:
    int mFd = -1;
};

struct Endpoint {
    uint32_t ip = 0;
    uint16_t port = 0;
};

constexpr uint32_t kAnyAddress = 0;
constexpr uint32_t kBroadcastAddress = 0xFFFFFFFFu;

// How a socket is set up before it is bound.
struct SocketOptions {
    bool nonBlocking = false;
    // Several sockets share one port, each on its own address (devices on
    // one machine share the control port).
    bool reuseAddress = false;
    bool broadcast = false;
    // Reports the arrival interface and local address of each datagram.
    bool packetInfo = false;
    // Keeps the socket's traffic on one interface where the kernel allows it.
    std::string device;
    // Datagrams leave with "do not fragment": one larger than the path
    // allows is refused instead of split (packet-size tests).
    bool dontFragment = false;
    // Multicast datagrams leave through the bound address's interface, one
    // hop only; multicastLoop also hands them to this host's own members.
    bool multicast = false;
    bool multicastLoop = false;
    // The kernel's send buffer in bytes (SO_SNDBUF); 0 keeps its default.
    int sendBuffer = 0;
};

// Where a datagram came from and on which interface and local address it
// arrived (the last two only with SocketOptions::packetInfo).
struct Arrival {
    Endpoint from;
    unsigned interfaceIndex = 0;
    uint32_t localAddress = 0;
};

// One slot of a batched receive: memory to fill, and what arrived. With a
// landing, the first `head` bytes go to data, the next landingSize bytes
// (at most) onto the landing, elsewhere, and the rest to data after room
// for the landed ones, so that copying those back makes the datagram whole
// (head + landingSize is at most capacity).
struct Datagram {
    uint8_t *data = nullptr;
    size_t capacity = 0;
    size_t head = 0;
    uint8_t *landing = nullptr;
    size_t landingSize = 0;
    size_t size = 0;         // bytes received
    bool truncated = false;  // the datagram was larger than the slot
    Endpoint from;
};

// Slots for one batch of received datagrams over memory set aside once, so
// that receiving allocates nothing per packet.
class ReceiveSlots
{
public:
    void Assign(size_t aCount, size_t aSlotSize)
    {
        mMemory.assign(aCount * aSlotSize, 0);
        mSlots.assign(aCount, Datagram());
        for (size_t k = 0; k < aCount; ++k) {
            mSlots[k].data = mMemory.data() + k * aSlotSize;
            mSlots[k].capacity = aSlotSize;
        }
    }
    Datagram *Data() { return mSlots.data(); }
    size_t Size() const { return mSlots.size(); }
    Datagram &operator[](size_t aIndex) { return mSlots[aIndex]; }

private:
    std::vector<uint8_t> mMemory;
    std::vector<Datagram> mSlots;
};

class UdpSocket
{
public:
    UdpSocket() = default;

    // A socket bound to address:port (port 0: the kernel picks one). An
    // invalid socket on failure, with the reason in aError.
    static UdpSocket Bind(Endpoint aLocal, const SocketOptions &aOptions, std::string *aError = nullptr);

    bool Valid() const { return bool(mFd); }
    int GetFd() const { return mFd.Get(); }
    Endpoint Local() const;

    // True when the whole datagram left.
    bool SendTo(const void *aData, size_t aSize, Endpoint aTo) const;
    // Several datagrams to one destination in one system call (at most
    // 64): how many left, -1 on error.
    int SendAllTo(const uint8_t *const *aDatas, const size_t *aSizes, size_t aCount, Endpoint aTo) const;
    // The same with each datagram in two pieces (a header, then bytes kept
    // elsewhere), gathered by the kernel without a copy of our own.
    struct Gather {
        const uint8_t *head = nullptr;
        size_t headSize = 0;
        const uint8_t *body = nullptr;
        size_t bodySize = 0;
    };
    int SendAllTo(const Gather *aDatagrams, size_t aCount, Endpoint aTo) const;
    // Bytes received, or -1 when none is waiting (non-blocking) or on error.
    long Receive(void *aBuffer, size_t aSize, Arrival *aArrival = nullptr) const;
    bool JoinGroup(uint32_t aGroup, uint32_t aLocalAddress) const;

    // Receives up to aCount waiting datagrams in one system call without
    // waiting for more, each scattered as its slot's landing says: the
    // number received, 0 when none was waiting, -1 on error. At most
    // kMaxBatch slots are used. With aWait, on a socket opened blocking,
    // it first waits for one datagram, at most the receive time-out
    // (SetReceiveTimeout); 0 when none came by then.
    static constexpr size_t kMaxBatch = 64;
    int ReceiveMany(Datagram *aSlots, size_t aCount, bool aWait = false) const;
    // How long a receive that waits waits at most (SO_RCVTIMEO); false on
    // failure.
    bool SetReceiveTimeout(std::chrono::microseconds aTimeout) const;

    // The kernel's receive buffer (SO_RCVBUF): asks for aBytes and gives
    // what the kernel granted (it doubles the request for its own use),
    // -1 on failure.
    int SetReceiveBuffer(int aBytes) const;
    int ReceiveBuffer() const;

private:
    Fd mFd;
};

// A TCP connection to a server (RTP over TCP, our own GVCP and GVSP over
// TCP): connected with a time-out, then read without blocking as the poll
// loop says bytes wait.
class TcpConnection
{
public:
    TcpConnection() = default;
    // A connection a listener accepted (non-blocking already).
    explicit TcpConnection(Fd aFd) : mFd(std::move(aFd)) {}

    // Connected to aServer within aTimeoutMs, bound first to aLocal when its
    // address is not 0; invalid on failure, with the reason in aError.
    static TcpConnection Connect(Endpoint aServer, uint32_t aLocalIp, int aTimeoutMs, std::string *aError = nullptr);
    // The same from a given local port as well (a port still closing from
    // an earlier connection is taken again).
    static TcpConnection Connect(Endpoint aServer, Endpoint aLocal, int aTimeoutMs, std::string *aError = nullptr);

    bool Valid() const { return bool(mFd); }
    int GetFd() const { return mFd.Get(); }
    Endpoint Local() const;
    // Bytes read; 0 when the server closed the connection; -1 when none
    // wait (errno EAGAIN) or on error.
    long Receive(void *aBuffer, size_t aSize) const;
    // True when all of it was written (tests' servers).
    bool SendAll(const void *aData, size_t aSize) const;

    // Pieces written in order as one stream of bytes, gathered by the
    // kernel. A peer that takes nothing for aStallMs fails the call, and
    // the stream is then cut somewhere inside: close the connection.
    struct Piece {
        const uint8_t *data = nullptr;
        size_t size = 0;
    };
    bool SendPieces(const Piece *aPieces, size_t aCount, int aStallMs) const;

    Endpoint Peer() const;
    // The kernel's send buffer (SO_SNDBUF), which bounds what a slow peer
    // leaves queued here.
    void SetSendBuffer(int aBytes) const;
    // Ends the connection both ways while the descriptor stays open: the
    // peer reads the end of the stream, and a reader here does too.
    void Shutdown() const;

private:
    Fd mFd;
};

// A TCP port taking connections; Accept() never blocks.
class TcpListener
{
public:
    TcpListener() = default;
    // Listening at aLocal (port 0: the kernel picks one); invalid on
    // failure, with the reason in aError.
    static TcpListener Listen(Endpoint aLocal, std::string *aError = nullptr);

    bool Valid() const { return bool(mFd); }
    int GetFd() const { return mFd.Get(); }
    Endpoint Local() const;
    // The next waiting connection (non-blocking), invalid when none waits.
    TcpConnection Accept() const;

private:
    Fd mFd;
};

// The local address this host sends from towards aDestination (the route's
// source), 0 when there is no route. Nothing is sent.
uint32_t localAddressToward(uint32_t aDestination);

// The index of a network interface, 0 when there is none of that name.
unsigned interfaceIndex(const std::string &aName);

} // namespace net
} // namespace tarn

#endif
