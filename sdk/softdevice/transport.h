#ifndef TARN_SOFTDEVICE_TRANSPORT_H
#define TARN_SOFTDEVICE_TRANSPORT_H

// What carries a device model to the network: the GVCP server on the
// model's address, one GVSP sender per stream channel and the messaging
// channel's datagrams.

#include "softdevice/model/device_model.h"

#include <memory>
#include <string>

namespace tarn {
namespace softdevice {

class Transport
{
public:
    virtual ~Transport() {}
    // Binds and starts serving the model; false with a reason when an
    // address cannot be bound. The model outlives the transport.
    virtual bool Start(DeviceModel &aModel, std::string &aError) = 0;
    // Stops serving and joins every thread; never called from one of them.
    virtual void Stop() = 0;
};

// With aTcp, GVCP and each stream channel also take TCP connections from
// our own controllers and receivers, announced at gev::tcpreg.
std::unique_ptr<Transport> makeUdpTransport(bool aTcp = false);

} // namespace softdevice
} // namespace tarn

#endif
