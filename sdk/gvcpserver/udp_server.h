#ifndef TARN_GVCPSERVER_UDP_SERVER_H
#define TARN_GVCPSERVER_UDP_SERVER_H

// The transport of a GVCP server: its sockets (control, the limited
// broadcast address, messaging channel, test packets) and the thread that
// answers on them and keeps the server's time. The protocol and its state
// stay in Server. Optionally the control port also takes TCP connections
// from our own controllers (gev/tcp.h): each is one more place commands
// come from, answered on the connection they came by.

#include "gvcpserver/server.h"
#include "gev/tcp.h"
#include "net/poll_loop.h"
#include "tarn/Worker.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tarn {
namespace gvcpserver {

class UdpServer
{
public:
    explicit UdpServer(ServerConfig config, DeviceMemory *memory = nullptr, ServerListener *listener = nullptr);
    ~UdpServer();
    UdpServer(const UdpServer &) = delete;
    UdpServer &operator=(const UdpServer &) = delete;

    // Binds address:port for control and, for port 3956, the limited
    // broadcast address too so that broadcast discoveries and FORCEIP reach
    // it; then serves on its thread until Stop(). False with a reason on
    // failure.
    bool Start(const std::string &address, uint16_t port = gvcp::kPort, std::string *error = nullptr);
    // Also listens on TCP at the control address and port (set before start).
    void EnableTcp(bool enabled) { mTcpEnabled = enabled; }
    uint16_t TcpPort() const { return mListener.Valid() ? mListener.Local().port : 0; }
    void Stop();
    uint16_t Port() const { return mPort; }
    // The scheduling of the serving thread (while started), as
    // Worker::SetPriority.
    ZuResult SetPriority(uint32_t aPriority) { return mThread.SetPriority(aPriority); }

    Server &GetServer() { return mServer; }
    const Server &GetServer() const { return mServer; }
    gvcp::DeviceIdentity Identity() const { return mServer.Identity(); }

    // Queues an event for the messaging channel and wakes the thread to send it.
    bool PostEvent(const gvcp::Event &event, const gvcp::Bytes *data = nullptr, bool extendedId = false);

    // Test packets of the stream channels leave through this instead of the
    // server's own socket: for a device whose channels send from sockets of
    // their own, whose ports their source port registers then name (the
    // transport sets them). Set before start; called on the serving thread,
    // with the server's lock held.
    using TestPacketRoute = std::function<void(uint32_t aChannel, size_t aSize, const net::Endpoint &aTo)>;
    void RouteTestPackets(TestPacketRoute route) { mTestRoute = std::move(route); }

private:
    class Output;
    bool BindSockets(uint32_t ip, std::string *error);
    void WatchSockets();
    void Run(const Worker::Control &aControl);
    bool Serve(const net::UdpSocket &from);
    bool ServeMessages();
    struct TcpPeer;
    bool AcceptPeer();
    bool MakeRoom();
    bool ServePeer(TcpPeer &peer);
    TcpPeer *PeerAt(const net::Endpoint &to);
    void SendFramed(const gvcp::Bytes &packet, const net::Endpoint &to, bool orDatagram, const net::UdpSocket &socket);
    void DropClosedPeers();

    Server mServer;
    net::UdpSocket mSocket;
    net::UdpSocket mBroadcastSocket;
    net::UdpSocket mMessageSocket;
    net::UdpSocket mTestSocket;
    TestPacketRoute mTestRoute;
    net::TcpListener mListener;
    std::vector<std::unique_ptr<TcpPeer>> mPeers;
    bool mTcpEnabled = false;
    bool mPeersChanged = false;
    std::unique_ptr<Output> mOutput;
    std::unique_ptr<net::PollLoop> mLoop;
    // postEvent wakes the loop from the device's threads, which may run while
    // Stop() lets the loop go.
    std::mutex mLoopLock;
    uint16_t mPort = 0;
    bool mRebound = false;
    Worker mThread;
};

} // namespace gvcpserver
} // namespace tarn

#endif
