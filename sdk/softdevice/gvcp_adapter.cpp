#include "softdevice/gvcp_adapter.h"

#include "softdevice/model/guard.h"
#include "gev/tcp.h"

#include <algorithm>

namespace tarn {
namespace softdevice {

namespace {
// A write that reaches a source or sink (Python) is announced with a
// PENDING_ACK: it may take longer than a controller waits.
constexpr uint32_t kSlowWriteMs = 1000;
} // namespace

gvcpserver::Status GvcpAdapter::Read(uint32_t aAddress, uint8_t *aData, uint32_t aCount)
{
    const uint64_t base = gev::tcpreg::Advertisement;
    if (!mAdvertisement.empty() && aAddress >= base && uint64_t(aAddress) + aCount <= base + mAdvertisement.size()) {
        std::copy_n(mAdvertisement.begin() + long(aAddress - base), aCount, aData);
        return gvcp::STATUS_SUCCESS;
    }
    enterDeviceThread(&mModel);
    return mModel.ReadMemory(aAddress, aCount, aData);
}

gvcpserver::Status GvcpAdapter::Write(uint32_t aAddress, const uint8_t *aData, uint32_t aCount)
{
    enterDeviceThread(&mModel);
    // A write that stops a stream waits for its source's up-call: the
    // controller hears meanwhile that the write goes on.
    onStillBusy(gvcpserver::stillWriting);
    const gvcpserver::Status status = mModel.WriteMemory(aAddress, aData, aCount);
    onStillBusy(nullptr);
    return status;
}

uint32_t GvcpAdapter::WriteTime(uint32_t aAddress, uint32_t)
{
    return writeReachesApplication(aAddress) ? kSlowWriteMs : 0;
}

void GvcpAdapter::OnControlTaken(const net::Endpoint &aController, gvcpserver::Access aAccess)
{
    enterDeviceThread(&mModel);
    mModel.ControlTaken(aController.ip, aController.port,
                        aAccess == gvcpserver::Access::Exclusive ? ZuAccessExclusive : ZuAccessControl);
}

void GvcpAdapter::OnControlReleased(bool aHeartbeatExpired)
{
    enterDeviceThread(&mModel);
    mModel.ControlReleased(aHeartbeatExpired);
}

void GvcpAdapter::OnNetworkReset(uint32_t aIp, uint32_t aMask, uint32_t aGateway)
{
    enterDeviceThread(&mModel);
    mModel.NetworkReset(aIp, aMask, aGateway);
    if (mMoved) mMoved(aIp);
}

void GvcpAdapter::OnStreamChannel(uint32_t aChannel, const gvcpserver::StreamChannel &aStream)
{
    enterDeviceThread(&mModel);
    mModel.GetStreams().Changed(aChannel, aStream.destination.ip, aStream.destination.port, aStream.packetSize,
                             aStream.packetDelay, aStream.configuration);
}

void GvcpAdapter::OnAction(uint32_t aSignal, std::optional<uint64_t> aTime)
{
    enterDeviceThread(&mModel);
    mModel.Sinks().Action(aSignal, aTime.value_or(0));
}

void GvcpAdapter::OnPacketResend(const gvcp::PacketResendCmd &aRequest)
{
    if (mResend) mResend(aRequest);
}

void GvcpAdapter::ApplyTexts(gvcp::DeviceIdentity &aIdentity, const IdentityTexts &aTexts)
{
    aIdentity.manufacturerName = aTexts.manufacturerName;
    aIdentity.modelName = aTexts.modelName;
    aIdentity.deviceVersion = aTexts.deviceVersion;
    aIdentity.manufacturerInfo = aTexts.manufacturerInfo;
    aIdentity.serialNumber = aTexts.serialNumber;
}

gvcp::DeviceIdentity GvcpAdapter::IdentityOf(softdevice::DeviceModel &aModel)
{
    const NetConfig &net = aModel.Net();
    gvcp::DeviceIdentity identity;
    identity.mac = net.mac;
    identity.ip = net.ip;
    identity.subnetMask = net.mask;
    identity.gateway = net.gateway;
    ApplyTexts(identity, aModel.GetIdentity().Texts());
    return identity;
}

} // namespace softdevice
} // namespace tarn
