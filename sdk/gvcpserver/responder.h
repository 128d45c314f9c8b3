#ifndef TARN_GVCPSERVER_RESPONDER_H
#define TARN_GVCPSERVER_RESPONDER_H

// The device side of GVCP in its simplest form: answers DISCOVERY and reads
// of the bootstrap registers for one identity. The responder is the
// protocol over the model (identity and bootstrap register map): a packet
// in, an acknowledge out, no sockets; UdpResponder carries it over UDP.

#include "gev/bootstrap.h"

#include <memory>
#include <optional>

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

} // namespace gvcp
} // namespace tarn

#endif
