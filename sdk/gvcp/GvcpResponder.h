#ifndef TARN_GVCP_RESPONDER_H
#define TARN_GVCP_RESPONDER_H

// The device side of GVCP in its simplest form: answers DISCOVERY and reads
// of the bootstrap registers for one identity, on its own thread.

#include "GvcpBootstrap.h"

#include <atomic>
#include <memory>
#include <thread>

namespace tarn {
namespace gvcp {

class Responder
{
public:
    // The identity's current IP address is replaced by the bound address.
    explicit Responder(const DeviceIdentity &identity);
    ~Responder();
    Responder(const Responder &) = delete;
    Responder &operator=(const Responder &) = delete;

    // Binds address:port for control and, for port 3956, the limited
    // broadcast address too so that broadcast discoveries reach it; then
    // answers on its thread until stop(). False with a reason on failure.
    bool start(const std::string &address, uint16_t port = kPort, std::string *error = nullptr);
    void stop();
    uint16_t port() const { return mPort; }
    const DeviceIdentity &identity() const { return mIdentity; }

    // The acknowledge for one received packet; nothing for a packet that is
    // dropped (malformed, an acknowledge itself) or that wants no answer.
    std::optional<Bytes> answer(const uint8_t *data, size_t size) const;

private:
    void run();
    void setIdentity(const DeviceIdentity &identity);

    DeviceIdentity mIdentity;
    std::unique_ptr<Bootstrap> mBootstrap;
    int mSocket = -1;
    int mBroadcastSocket = -1;
    int mWake[2] = {-1, -1};
    uint16_t mPort = 0;
    std::thread mThread;
};

} // namespace gvcp
} // namespace tarn

#endif
