#ifndef TARN_GVCPSERVER_UDP_RESPONDER_H
#define TARN_GVCPSERVER_UDP_RESPONDER_H

// The transport of a responder: its sockets and the thread that answers
// on them. The protocol and the model stay in Responder.

#include "gvcpserver/responder.h"
#include "net/poll_loop.h"

#include <memory>
#include <thread>

namespace tarn {
namespace gvcp {

// A responder on its own thread, answering on a UDP address.
class UdpResponder
{
public:
    explicit UdpResponder(const DeviceIdentity &identity);
    ~UdpResponder();
    UdpResponder(const UdpResponder &) = delete;
    UdpResponder &operator=(const UdpResponder &) = delete;

    // Binds address:port for control and, for port 3956, the limited
    // broadcast address too so that broadcast discoveries reach it; then
    // answers on its thread until stop(). False with a reason on failure.
    bool start(const std::string &address, uint16_t port = kPort, std::string *error = nullptr);
    void stop();
    uint16_t port() const { return mPort; }
    const DeviceIdentity &identity() const { return mResponder.identity(); }

private:
    bool serve(const net::UdpSocket &from);

    Responder mResponder;
    net::UdpSocket mSocket;
    net::UdpSocket mBroadcastSocket;
    std::unique_ptr<net::PollLoop> mLoop;
    uint16_t mPort = 0;
    std::thread mThread;
};

} // namespace gvcp
} // namespace tarn

#endif
