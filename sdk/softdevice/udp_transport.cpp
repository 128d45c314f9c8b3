#include "softdevice/transport.h"

namespace tarn {
namespace softdevice {

namespace {

// Until the GVCP server and the GVSP packetizer are joined in, the device
// serves nobody.
class NullTransport : public Transport
{
public:
    bool start(DeviceModel &, std::string &) override { return true; }
    void stop() override {}
};

} // namespace

std::unique_ptr<Transport> makeUdpTransport()
{
    return std::make_unique<NullTransport>();
}

} // namespace softdevice
} // namespace tarn
