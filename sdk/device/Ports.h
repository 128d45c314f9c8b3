#ifndef TARN_DEVICE_PORTS_H
#define TARN_DEVICE_PORTS_H

// The ports the device's node maps read through: the device's memory over
// GVCP, and the controller's own settings for the communication parameters.

#include "DeviceState.h"

namespace tarn {
namespace device {

// Device memory over the control channel. Each successful read and write
// is reported to the sinks (OnCmdLinkRead/Write) on the calling thread; an
// exception a sink throws there passes on to the caller. Once the
// connection is gone every access fails with ZU_NOT_CONNECTED.
class GvcpPort : public ZU_GENAPI_NS::IPort
{
public:
    explicit GvcpPort(std::weak_ptr<Connection> aConnection) : mConnection(std::move(aConnection)) {}
    ZuResult Read(uint64_t aAddress, void *aData, int64_t aLength) override;
    ZuResult Write(uint64_t aAddress, const void *aData, int64_t aLength) override;
    ZuGenAccessMode GetAccessMode() const override;

private:
    std::weak_ptr<Connection> mConnection;
};

// Builds the communication parameters over the settings.
std::shared_ptr<ParameterSet> MakeCommunicationParameters(std::shared_ptr<Settings> aSettings);

} // namespace device
} // namespace tarn

#endif
