#ifndef TARN_GVCPSERVER_RESPONDER_H
#define TARN_GVCPSERVER_RESPONDER_H

// The device side of GVCP in its simplest form: answers DISCOVERY and reads
// of the bootstrap registers for one identity. The responder is the
// protocol over the model (identity and bootstrap register map): a packet
// in, an acknowledge out, no sockets; UdpResponder carries it over UDP.

#include "gev/bootstrap.h"
#include "net/poll_loop.h"

#include <memory>
#include <optional>
#include <thread>

namespace tarn {
namespace gvcp {

class Responder
{
public:
    explicit Responder(const DeviceIdentity &identity);

    const DeviceIdentity &identity() const { return mIdentity; }

    // The device now answers from this address: its identity and bootstrap
    // registers report it, with a subnet mask for it when none was given.
    void setAddress(uint32_t ip);

    // The acknowledge for one received packet; nothing for a packet that is
    // dropped (malformed, an acknowledge itself) or that wants no answer.
    std::optional<Bytes> answer(const uint8_t *data, size_t size) const;

private:
    void setIdentity(const DeviceIdentity &identity);

    DeviceIdentity mIdentity;
    std::unique_ptr<Bootstrap> mBootstrap;
};

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
