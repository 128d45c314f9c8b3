#include "ZuVirtualDeviceGEV.h"

#include "ZuResultCodes.h"
#include "ZuTransmitterGEV.h"
#include "gvcpserver/udp_server.h"
#include "net/adapters.h"
#include "tarn/Transmitter.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

constexpr size_t kMaxTransmitters = 16;

// The device tells controllers of packet resends through its transmitters.
// A transmitter destroyed meanwhile is forgotten; its channel stays, silent.
class ResendRouter : public tarn::gvcpserver::ServerListener
{
public:
    explicit ResendRouter(std::vector<IZuTransmitterGEV *> aTransmitters) : mTransmitters(std::move(aTransmitters)) {}
    void OnPacketResend(const tarn::gvcp::PacketResendCmd &aRequest) override
    {
        // Held for the call, which only queues the request.
        std::lock_guard<std::mutex> guard(mLock);
        if (aRequest.streamChannel < mTransmitters.size() && mTransmitters[aRequest.streamChannel])
            mTransmitters[aRequest.streamChannel]->QueuePacketResend(aRequest.blockId, aRequest.firstPacketId,
                                                                      aRequest.lastPacketId);
    }
    void Forget(IZuTransmitterGEV *aTransmitter)
    {
        std::lock_guard<std::mutex> guard(mLock);
        std::replace(mTransmitters.begin(), mTransmitters.end(), aTransmitter, static_cast<IZuTransmitterGEV *>(nullptr));
    }

private:
    std::mutex mLock;
    std::vector<IZuTransmitterGEV *> mTransmitters;
};

tarn::gvcp::Mac macOf(uint32_t aIp, uint32_t &aMask)
{
    tarn::gvcp::Mac mac{};
    for (const auto &adapter : tarn::net::listAdapters()) {
        for (const auto &address : adapter.addresses) {
            if (address.ip != aIp) continue;
            aMask = address.mask;
            if (adapter.hasMac && std::any_of(adapter.mac.begin(), adapter.mac.end(), [](uint8_t b) { return b; })) {
                std::copy(adapter.mac.begin(), adapter.mac.end(), mac.begin());
                return mac;
            }
        }
    }
    // The loopback has no MAC: a locally administered one made of the address.
    mac = {0x02, 0x00, uint8_t(aIp >> 24), uint8_t(aIp >> 16), uint8_t(aIp >> 8), uint8_t(aIp)};
    return mac;
}

} // namespace

struct ZuVirtualDeviceGEV::Impl final : tarn::transmitter::User {
    // A transmitter destroyed before the device: no request reaches it, its
    // channel stays and sends nothing.
    void TransmitterGoes(ZuTransmitterGEV *aTransmitter) override
    {
        std::lock_guard<std::mutex> guard(lock);
        IZuTransmitterGEV *gone = aTransmitter;
        std::replace(transmitters.begin(), transmitters.end(), gone, static_cast<IZuTransmitterGEV *>(nullptr));
        if (router) router->Forget(gone);
    }

    mutable std::mutex lock;
    tarn::gvcp::DeviceIdentity identity;
    bool packetResend = true;
    std::vector<IZuTransmitterGEV *> transmitters;
    uint32_t priority = 0;
    // Of our own transmitters added, left when the device goes.
    std::vector<std::shared_ptr<tarn::transmitter::Users>> followed;
    std::unique_ptr<ResendRouter> router;
    std::unique_ptr<tarn::gvcpserver::UdpServer> server;

    ZuResult SetText(std::string &aField, const ZuString &aText, size_t aFieldSize)
    {
        const std::string text = aText.Narrow();
        // The field keeps a terminating zero.
        if (text.size() >= aFieldSize) return ZuResult(ZU_INVALID_PARAMETER, ZuString("the text is too long"));
        std::lock_guard<std::mutex> guard(lock);
        if (server) return ZuResult(ZU_BUSY, ZuString("the device is listening"));
        aField = text;
        return ZuResult(ZU_OK);
    }
    ZuString Text(const std::string &aField) const
    {
        std::lock_guard<std::mutex> guard(lock);
        return ZuString(aField);
    }
};

ZuVirtualDeviceGEV::ZuVirtualDeviceGEV() : mImpl(new Impl)
{
    mImpl->identity.versionMajor = 2;
    mImpl->identity.versionMinor = 0;
    // A transmitter's device class.
    mImpl->identity.deviceMode &= ~(tarn::gvcp::DEVICEMODE_CLASS_MASK << tarn::gvcp::DEVICEMODE_CLASS_SHIFT);
}

ZuVirtualDeviceGEV::~ZuVirtualDeviceGEV()
{
    StopListening();
    // One going on another thread meanwhile has let go of the device first.
    for (auto &users : mImpl->followed) users->Remove(mImpl);
    delete mImpl;
}

ZuResult ZuVirtualDeviceGEV::SetGEVSpecificationVersion(uint16_t aMajor, uint16_t aMinor)
{
    if (aMajor < 1 || aMajor > 2 || aMinor > 2) return ZuResult(ZU_INVALID_PARAMETER);
    std::lock_guard<std::mutex> guard(mImpl->lock);
    if (mImpl->server) return ZuResult(ZU_BUSY, ZuString("the device is listening"));
    mImpl->identity.versionMajor = aMajor;
    mImpl->identity.versionMinor = aMinor;
    return ZuResult(ZU_OK);
}

ZuResult ZuVirtualDeviceGEV::GetGEVSpecificationVersion(uint16_t &aMajor, uint16_t &aMinor)
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    aMajor = mImpl->identity.versionMajor;
    aMinor = mImpl->identity.versionMinor;
    return ZuResult(ZU_OK);
}

ZuResult ZuVirtualDeviceGEV::SetGVCPCapabilityPacketResendCommandSupported(bool aValue)
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    if (mImpl->server) return ZuResult(ZU_BUSY, ZuString("the device is listening"));
    mImpl->packetResend = aValue;
    return ZuResult(ZU_OK);
}

bool ZuVirtualDeviceGEV::GetGVCPCapabilityPacketResendCommandSupported()
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return mImpl->packetResend;
}

ZuResult ZuVirtualDeviceGEV::SetDeviceVersion(const ZuString &aText) { return mImpl->SetText(mImpl->identity.deviceVersion, aText, 32); }
ZuString ZuVirtualDeviceGEV::GetDeviceVersion() { return mImpl->Text(mImpl->identity.deviceVersion); }
ZuResult ZuVirtualDeviceGEV::SetSerialNumber(const ZuString &aText) { return mImpl->SetText(mImpl->identity.serialNumber, aText, 16); }
ZuString ZuVirtualDeviceGEV::GetSerialNumber() { return mImpl->Text(mImpl->identity.serialNumber); }
ZuResult ZuVirtualDeviceGEV::SetManufacturerName(const ZuString &aText) { return mImpl->SetText(mImpl->identity.manufacturerName, aText, 32); }
ZuString ZuVirtualDeviceGEV::GetManufacturerName() { return mImpl->Text(mImpl->identity.manufacturerName); }
ZuResult ZuVirtualDeviceGEV::SetModelName(const ZuString &aText) { return mImpl->SetText(mImpl->identity.modelName, aText, 32); }
ZuString ZuVirtualDeviceGEV::GetModelName() { return mImpl->Text(mImpl->identity.modelName); }

ZuResult ZuVirtualDeviceGEV::AddTransmitterGEV(IZuTransmitterGEV *aTransmitterGEV)
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    if (mImpl->server) return ZuResult(ZU_BUSY, ZuString("the device is listening"));
    auto &list = mImpl->transmitters;
    if (!aTransmitterGEV || aTransmitterGEV->IsTransmitting() || list.size() >= kMaxTransmitters ||
        std::find(list.begin(), list.end(), aTransmitterGEV) != list.end())
        return ZuResult(ZU_INVALID_PARAMETER);
    list.push_back(aTransmitterGEV);
    if (auto *own = dynamic_cast<ZuTransmitterGEV *>(aTransmitterGEV)) {
        mImpl->followed.push_back(tarn::transmitter::UsersOf(*own));
        mImpl->followed.back()->Add(mImpl);
    }
    return ZuResult(ZU_OK);
}

namespace {
int applyPriority(pthread_t aThread, uint32_t aPriority)
{
    sched_param param{};
    param.sched_priority = int(aPriority);
    return pthread_setschedparam(aThread, aPriority ? SCHED_FIFO : SCHED_OTHER, &param);
}
} // namespace

ZuResult ZuVirtualDeviceGEV::StartListening(ZuString aIPAddress)
{
    uint32_t ip = 0;
    const std::string address = aIPAddress.Narrow();
    if (!tarn::gvcp::parseIPv4(address, ip) || !ip)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the address is no IPv4 address"));
    std::lock_guard<std::mutex> guard(mImpl->lock);
    Impl &d = *mImpl;
    if (d.server) return ZuResult(ZU_STATE_ERROR, ZuString("the device is already listening"));
    tarn::gvcpserver::ServerConfig config;
    config.identity = d.identity;
    config.identity.ip = ip;
    config.identity.mac = macOf(ip, config.identity.subnetMask);
    config.streamChannels = uint32_t(d.transmitters.size());
    config.packetResend = d.packetResend;
    auto router = std::make_unique<ResendRouter>(d.transmitters);
    auto server = std::make_unique<tarn::gvcpserver::UdpServer>(config, nullptr, router.get());
    std::string error;
    if (!server->Start(address, tarn::gvcp::kPort, &error)) return ZuResult(ZU_NETWORK_ERROR, ZuString(error));
    // Controllers read where each stream comes from (firewalls let it in).
    for (size_t i = 0; i < d.transmitters.size(); ++i)
        if (auto *transmitter = d.transmitters[i] ? dynamic_cast<ZuTransmitterGEV *>(d.transmitters[i]) : nullptr)
            server->GetServer().SetStreamSourcePort(uint32_t(i), transmitter->GetSourcePort());
    if (d.priority) server->SetPriority(d.priority);
    d.router = std::move(router);
    d.server = std::move(server);
    return ZuResult(ZU_OK);
}

void ZuVirtualDeviceGEV::StopListening()
{
    std::unique_ptr<tarn::gvcpserver::UdpServer> server;
    std::unique_ptr<ResendRouter> router;
    {
        std::lock_guard<std::mutex> guard(mImpl->lock);
        server = std::move(mImpl->server);
        router = std::move(mImpl->router);
    }
    if (server) server->Stop();
}

uint32_t ZuVirtualDeviceGEV::GetDevicePortThreadPriority() const
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return mImpl->priority;
}

ZuResult ZuVirtualDeviceGEV::SetDevicePortThreadPriority(uint32_t aPriority)
{
    if (aPriority > 99) return ZuResult(ZU_INVALID_PARAMETER);
    std::lock_guard<std::mutex> guard(mImpl->lock);
    if (mImpl->server) {
        if (!mImpl->server->SetPriority(aPriority).IsOK()) return ZuResult(ZU_THREAD_ERROR);
    } else if (aPriority) {
        // Tried on this thread, so that a priority the process may not use
        // is refused now rather than ignored at StartListening.
        int policy = 0;
        sched_param old{};
        pthread_getschedparam(pthread_self(), &policy, &old);
        if (applyPriority(pthread_self(), aPriority) != 0) return ZuResult(ZU_THREAD_ERROR);
        pthread_setschedparam(pthread_self(), policy, &old);
    }
    mImpl->priority = aPriority;
    return ZuResult(ZU_OK);
}
