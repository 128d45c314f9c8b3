#include "gvcpserver/udp_server.h"

#include "gev/gvsp.h"

#include <algorithm>
#include <cerrno>

namespace tarn {
namespace gvcpserver {

// The codec and the bootstrap registers this server speaks.
using namespace gvcp;

class UdpServer::Output : public ServerOutput
{
public:
    explicit Output(UdpServer &aOwner) : mOwner(aOwner) {}
    // A packet for a TCP peer's address goes over its connection; the
    // messaging channel of a controller on TCP names its second connection.
    void SendControl(const Bytes &packet, const net::Endpoint &to) override
    {
        mOwner.SendFramed(packet, to, true, mOwner.mSocket);
    }
    void SendMessage(const Bytes &packet, const net::Endpoint &to) override
    {
        mOwner.SendFramed(packet, to, true, mOwner.mMessageSocket);
    }
    void SendTestPacket(uint32_t channel, size_t size, bool, const net::Endpoint &to) override
    {
        if (mOwner.mTestRoute) {
            mOwner.mTestRoute(channel, size, to);
            return;
        }
        Bytes packet(size);
        if (!gvsp::encodeTestPacket(packet.data(), packet.size())) return;
        // Refused by the kernel when larger than the way allows: lost, as on a network.
        mOwner.mTestSocket.SendTo(packet.data(), packet.size(), to);
    }
    void ChangeAddress(uint32_t ip) override
    {
        std::string error;
        if (!mOwner.BindSockets(ip, &error)) return;
        // New controllers connect at the new address; connections made to
        // the old one keep working until they end.
        if (mOwner.mListener.Valid()) {
            net::TcpListener moved = net::TcpListener::Listen({ip, mOwner.mPort}, &error);
            if (moved.Valid()) mOwner.mListener = std::move(moved);
        }
        mOwner.mRebound = true;
    }

private:
    UdpServer &mOwner;
};

namespace {
// A device serves a few controllers: beyond this many connections, the one
// heard from least recently makes room for a newcomer.
constexpr size_t kMaxPeers = 8;
// A peer that takes no bytes for this long is cut off rather than stall
// the device's control thread.
constexpr int kPeerStallMs = 500;
// A GVCP packet fits a datagram of the control port's receive buffer.
constexpr size_t kMaxControlFrame = 1500;
} // namespace

struct UdpServer::TcpPeer {
    net::TcpConnection connection;
    net::Endpoint address;
    gev::FrameReader reader{kMaxControlFrame};
    Clock::time_point heard;  // connected, or its last whole frame
    bool closed = false;
};

UdpServer::UdpServer(ServerConfig config, DeviceMemory *memory, ServerListener *listener)
    : mServer(std::move(config), memory, listener), mOutput(std::make_unique<Output>(*this))
{
}

UdpServer::~UdpServer()
{
    Stop();
}

bool UdpServer::BindSockets(uint32_t ip, std::string *error)
{
    // Several devices share port 3956 on one machine, each on its own
    // address; two on one address would each see some of the requests, so
    // the address is not shared.
    net::UdpSocket control = net::UdpSocket::Bind({ip, mPort}, net::SocketOptions(), error);
    if (!control.Valid()) {
        if (errno == EADDRINUSE && error)
            *error = "another device already answers at " + formatIPv4(ip) + " (its GVCP port " + std::to_string(mPort) +
                     " is taken)";
        return false;
    }
    net::SocketOptions quiet;
    quiet.nonBlocking = true;
    net::UdpSocket messages = net::UdpSocket::Bind({ip, 0}, quiet, error);
    if (!messages.Valid()) return false;
    quiet.dontFragment = true;
    net::UdpSocket tests = net::UdpSocket::Bind({ip, 0}, quiet, error);
    if (!tests.Valid()) return false;
    mSocket = std::move(control);
    mMessageSocket = std::move(messages);
    mTestSocket = std::move(tests);
    mPort = mSocket.Local().port;
    mServer.SetAddress(ip);
    mServer.SetMessageSourcePort(mMessageSocket.Local().port);
    if (!mTestRoute)
        for (uint32_t k = 0; k < mServer.StreamChannelCount(); ++k) mServer.SetStreamSourcePort(k, mTestSocket.Local().port);
    return true;
}

bool UdpServer::Start(const std::string &address, uint16_t port, std::string *error)
{
    if (mThread.Running()) {
        if (error) *error = "already started";
        return false;
    }
    uint32_t ip = 0;
    if (!parseIPv4(address, ip)) {
        if (error) *error = "not an IPv4 address: " + address;
        return false;
    }
    mPort = port;
    if (!BindSockets(ip, error)) return false;
    if (mTcpEnabled) {
        mListener = net::TcpListener::Listen({ip, mPort}, error);
        if (!mListener.Valid()) {
            Stop();
            return false;
        }
    }
    if (port == kPort) {
        // Optional: another device may hold it without sharing, and unicast
        // discovery still works without it.
        net::SocketOptions options;
        options.reuseAddress = true;
        mBroadcastSocket = net::UdpSocket::Bind({net::kBroadcastAddress, port}, options);
    }
    {
        std::lock_guard<std::mutex> held(mLoopLock);
        mLoop = std::make_unique<net::PollLoop>();
    }
    if (!mLoop->Valid()) {
        if (error) *error = "no wake-up descriptor for the poll loop";
        Stop();
        return false;
    }
    WatchSockets();
    if (!mThread.Start([this](Worker::Control &c) { Run(c); }, [this] { mLoop->Stop(); }).IsOK()) {
        if (error) *error = "no thread to serve on";
        Stop();
        return false;
    }
    return true;
}

void UdpServer::WatchSockets()
{
    mLoop->Clear();
    mLoop->Watch(mSocket.GetFd(), [this](int) { return Serve(mSocket); });
    mLoop->Watch(mMessageSocket.GetFd(), [this](int) { return ServeMessages(); });
    if (mBroadcastSocket.Valid()) mLoop->Watch(mBroadcastSocket.GetFd(), [this](int) { return Serve(mBroadcastSocket); });
    if (mListener.Valid()) mLoop->Watch(mListener.GetFd(), [this](int) { return AcceptPeer(); });
    for (auto &peer : mPeers) {
        TcpPeer *p = peer.get();
        mLoop->Watch(p->connection.GetFd(), [this, p](int) { return ServePeer(*p); });
    }
}

void UdpServer::Run(const Worker::Control &aControl)
{
    using namespace std::chrono;
    while (!aControl.Stopping()) {
        int wait = -1;
        if (auto next = mServer.NextDeadline()) {
            auto left = ceil<milliseconds>(*next - Clock::now()).count();
            wait = int(std::clamp<long long>(left, 0, 60000));
        }
        // A handler ends the run after each packet, so that a changed
        // deadline (control taken, an event queued) is seen at once.
        if (wait != 0) mLoop->Run(wait);
        if (aControl.Stopping()) break;
        DropClosedPeers();
        if (mRebound || mPeersChanged) {
            mRebound = mPeersChanged = false;
            WatchSockets();
        }
        mServer.Tick(Clock::now(), *mOutput);
    }
}

void UdpServer::Stop()
{
    mThread.Stop();
    {
        std::lock_guard<std::mutex> held(mLoopLock);
        mLoop.reset();
    }
    mSocket = net::UdpSocket();
    mBroadcastSocket = net::UdpSocket();
    mMessageSocket = net::UdpSocket();
    mTestSocket = net::UdpSocket();
    mListener = net::TcpListener();
    mPeers.clear();
}

bool UdpServer::PostEvent(const Event &event, const Bytes *data, bool extendedId)
{
    bool queued = mServer.PostEvent(event, data, extendedId);
    if (queued) {
        std::lock_guard<std::mutex> held(mLoopLock);
        if (mLoop) mLoop->Stop();  // a wake-up: Run() looks at the deadlines again
    }
    return queued;
}

bool UdpServer::Serve(const net::UdpSocket &from)
{
    uint8_t buf[1500];
    net::Arrival arrival;
    long n = from.Receive(buf, sizeof buf, &arrival);
    // Answers always leave from the device's own address.
    if (n > 0) mServer.Handle(buf, size_t(n), arrival.from, Clock::now(), *mOutput);
    return false;
}

bool UdpServer::ServeMessages()
{
    uint8_t buf[1500];
    long n = mMessageSocket.Receive(buf, sizeof buf);
    if (n > 0) mServer.HandleMessageAck(buf, size_t(n), Clock::now(), *mOutput);
    return false;
}

} // namespace gvcpserver
} // namespace tarn

namespace tarn {
namespace gvcpserver {

bool UdpServer::AcceptPeer()
{
    net::TcpConnection c = mListener.Accept();
    if (!c.Valid()) return false;
    if (!MakeRoom()) return false;  // closed as it goes
    auto peer = std::make_unique<TcpPeer>();
    peer->address = c.Peer();
    peer->connection = std::move(c);
    peer->heard = Clock::now();
    mPeers.push_back(std::move(peer));
    mPeersChanged = true;
    return false;
}

// Idle or hostile connections must neither keep a controller out nor push
// one out: the controller's own connection and its messaging channel's
// stay, and of the others the one heard from least recently goes.
bool UdpServer::MakeRoom()
{
    size_t open = 0;
    for (auto &peer : mPeers) open += !peer->closed;
    if (open < kMaxPeers) return true;
    const auto controller = mServer.Controller();
    const auto messages = mServer.MessageDestination();
    auto is = [](const std::optional<net::Endpoint> &a, const net::Endpoint &b) {
        return a && a->ip == b.ip && a->port == b.port;
    };
    TcpPeer *quietest = nullptr;
    for (auto &peer : mPeers) {
        if (peer->closed || is(controller, peer->address) || is(messages, peer->address)) continue;
        if (!quietest || peer->heard < quietest->heard) quietest = peer.get();
    }
    if (!quietest) return false;
    quietest->closed = true;  // dropped once this run ends
    return true;
}

bool UdpServer::ServePeer(TcpPeer &peer)
{
    const auto read = peer.reader.FillFrom([&](uint8_t *aTo, size_t aRoom) { return peer.connection.Receive(aTo, aRoom); });
    if (read == gev::FrameReader::Fill::Nothing) return false;
    if (read == gev::FrameReader::Fill::Ended) {
        peer.closed = true;  // the peer went, or never spoke our framing
        return false;
    }
    const uint8_t *frame = nullptr;
    size_t size = 0;
    gev::FrameReader::Next next;
    while (!peer.closed && (next = peer.reader.NextFrame(frame, size)) == gev::FrameReader::Next::Frame) {
        // Commands carry the key byte; what else comes is the messaging
        // channel's acknowledge.
        peer.heard = Clock::now();
        if (frame[0] == kKey) mServer.Handle(frame, size, peer.address, Clock::now(), *mOutput);
        else mServer.HandleMessageAck(frame, size, Clock::now(), *mOutput);
    }
    if (peer.reader.Bad()) peer.closed = true;
    return false;
}

UdpServer::TcpPeer *UdpServer::PeerAt(const net::Endpoint &to)
{
    for (auto &peer : mPeers)
        if (peer->address.ip == to.ip && peer->address.port == to.port) return peer.get();
    return nullptr;
}

void UdpServer::SendFramed(const Bytes &packet, const net::Endpoint &to, bool orDatagram, const net::UdpSocket &socket)
{
    TcpPeer *peer = PeerAt(to);
    if (!peer) {
        if (orDatagram) socket.SendTo(packet.data(), packet.size(), to);
        return;
    }
    if (peer->closed) return;
    uint8_t head[gev::kFrameHeaderSize];
    gev::writeFrameHeader(head, uint32_t(packet.size()));
    const net::TcpConnection::Piece pieces[2] = {{head, sizeof head}, {packet.data(), packet.size()}};
    if (!peer->connection.SendPieces(pieces, 2, kPeerStallMs)) peer->closed = true;
}

void UdpServer::DropClosedPeers()
{
    for (size_t k = 0; k < mPeers.size();) {
        if (!mPeers[k]->closed) {
            ++k;
            continue;
        }
        const net::Endpoint gone = mPeers[k]->address;
        mPeers.erase(mPeers.begin() + long(k));
        mPeersChanged = true;
        // A controller whose connection ended is gone: its control ends now
        // rather than when its heartbeat would have expired. The release is
        // the one it would have written itself, asking for no answer.
        auto held = mServer.Controller();
        if (held && held->ip == gone.ip && held->port == gone.port) {
            Bytes release = WriteRegCmd{{{reg::ControlChannelPrivilege, 0}}}.Encode(1);
            release[1] = uint8_t(release[1] & ~FLAG_ACK_REQUIRED);
            mServer.Handle(release.data(), release.size(), gone, Clock::now(), *mOutput);
        }
    }
}

} // namespace gvcpserver
} // namespace tarn
