#ifndef TARN_SOFTDEVICE_GVCP_ADAPTER_H
#define TARN_SOFTDEVICE_GVCP_ADAPTER_H

// The device model as the shared GVCP server sees it: the registers beyond
// the bootstrap block, and what the controller does (session, streams,
// FORCEIP, actions). No sockets: the UDP transport and the fuzz target
// both put a server over it.

#include "gvcpserver/server.h"
#include "softdevice/model/device_model.h"

#include <functional>
#include <vector>

namespace tarn {
namespace softdevice {

class GvcpAdapter : public gvcpserver::DeviceMemory, public gvcpserver::ServerListener
{
public:
    explicit GvcpAdapter(softdevice::DeviceModel &aModel) : mModel(aModel) {}

    // Who answers a controller's packet-resend request.
    void OnResend(std::function<void(const gvcp::PacketResendCmd &)> aResend) { mResend = std::move(aResend); }
    // Who follows the device to the address FORCEIP gave it.
    void OnAddress(std::function<void(uint32_t)> aMoved) { mMoved = std::move(aMoved); }

    // The TCP offer (gev::tcpreg) read before the model's registers; set
    // before serving starts. Empty: the registers are the model's.
    void SetAdvertisement(std::vector<uint8_t> aBlock) { mAdvertisement = std::move(aBlock); }

    gvcpserver::Status Read(uint32_t aAddress, uint8_t *aData, uint32_t aCount) override;
    gvcpserver::Status Write(uint32_t aAddress, const uint8_t *aData, uint32_t aCount) override;
    uint32_t WriteTime(uint32_t aAddress, uint32_t aCount) override;

    void OnControlTaken(const net::Endpoint &aController, gvcpserver::Access aAccess) override;
    void OnControlReleased(bool aHeartbeatExpired) override;
    void OnNetworkReset(uint32_t aIp, uint32_t aMask, uint32_t aGateway) override;
    void OnStreamChannel(uint32_t aChannel, const gvcpserver::StreamChannel &aStream) override;
    void OnAction(uint32_t aSignal, std::optional<uint64_t> aTime) override;
    void OnPacketResend(const gvcp::PacketResendCmd &aRequest) override;

    // The server's identity for the model's texts and address.
    static gvcp::DeviceIdentity IdentityOf(softdevice::DeviceModel &aModel);
    static void ApplyTexts(gvcp::DeviceIdentity &aIdentity, const IdentityTexts &aTexts);

private:
    softdevice::DeviceModel &mModel;
    std::function<void(const gvcp::PacketResendCmd &)> mResend;
    std::function<void(uint32_t)> mMoved;
    std::vector<uint8_t> mAdvertisement;
};

} // namespace softdevice
} // namespace tarn

#endif
