#include "ZuStreamGEV.h"
#include "ZuDeviceInfo.h"
#include "GevReceiver.h"
#include "StreamImpl.h"

#include "gev/gvcp.h"

#include <algorithm>

namespace {

constexpr uint32_t kPacketBufferMin = 17000;
constexpr uint32_t kPacketBufferMax = 65500;
// How long Open waits for a device to say whether it streams over TCP,
// and how often a stream of the factory asks before it takes the silence
// for no device there.
constexpr int kOfferWaitMs = 200;
constexpr int kFactoryAttempts = 3;

bool ParseAddress(const ZuString &aText, uint32_t &aIp)
{
    return tarn::gvcp::parseIPv4(std::string(aText.GetAscii()), aIp);
}

ZuString Dotted(uint32_t aIp)
{
    return aIp ? ZuString(tarn::gvcp::formatIPv4(aIp).c_str()) : ZuString();
}

} // namespace

struct ZuStreamGEV::GevImpl {
    explicit GevImpl(ZuStream::Impl &aQueue) : receiver(aQueue, aQueue.parameters) {}
    tarn::GevReceiver receiver;
    uint32_t socketBuffer = 0;
    uint32_t packetBuffer = kPacketBufferMin;
    uint32_t priority = 0;
    uint32_t deviceIp = 0;
    uint32_t multicast = 0;
    uint16_t specificPort = 0;
};

ZuStreamGEV::ZuStreamGEV() : mGev(new GevImpl(GetImpl())) {}

ZuStreamGEV::~ZuStreamGEV()
{
    if (IsOpen()) Close();
    GetImpl().receiver = nullptr;
}

ZuStreamType ZuStreamGEV::GetType() const { return ZuStreamTypeGEV; }

ZuResult ZuStreamGEV::OpenAt(uint32_t aDeviceIp, uint32_t aMulticast, uint16_t aPort, uint16_t aChannel,
                             const ZuString &aLocalIpAddress, uint32_t aBuffersCapacity, bool aIgnoreLocalIp)
{
    ZuStream::Impl &queue = GetImpl();
    std::lock_guard<std::mutex> turn(queue.opening);
    if (queue.IsOpen()) return ZuResult(ZU_GENERIC_ERROR, ZuString("the stream is open already"));
    if (aBuffersCapacity == 0) return ZuResult(ZU_INVALID_PARAMETER, ZuString("a queue needs room for a buffer"));
    uint32_t localIp = 0;
    if (!aIgnoreLocalIp && aLocalIpAddress.GetLength() > 0 && !ParseAddress(aLocalIpAddress, localIp))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the local IP address is not an address"));
    tarn::GevReceiver::Setup setup;
    setup.deviceIp = aDeviceIp;
    setup.localIp = localIp;
    setup.localPort = aPort;
    setup.multicast = aMulticast;
    setup.channel = aChannel;
    setup.socketBuffer = mGev->socketBuffer;
    setup.packetBuffer = mGev->packetBuffer;
    setup.priority = mGev->priority;
    // Our own devices may offer the stream over TCP; the device says so.
    if (!aMulticast && aDeviceIp) {
        const bool mustAnswer = queue.deviceMustAnswer;
        const auto offer = tarn::GevReceiver::AskOffer(aDeviceIp, aChannel, kOfferWaitMs, mustAnswer ? kFactoryAttempts : 1);
        if (mustAnswer && !offer.answered)
            return ZuResult(ZU_NOT_CONNECTED, ZuString(("no GigE Vision device answers at " + tarn::gvcp::formatIPv4(aDeviceIp)).c_str()));
        setup.tcpPort = offer.tcpPort;
    }
    queue.Opened(aBuffersCapacity, aChannel);
    ZuResult result = mGev->receiver.Start(setup);
    if (!result.IsOK()) {
        queue.Closed();
        return result;
    }
    queue.receiver = &mGev->receiver;
    mGev->deviceIp = aDeviceIp;
    mGev->multicast = aMulticast;
    mGev->specificPort = aMulticast ? 0 : aPort;
    return ZuResult();
}

namespace {

ZuResult DeviceAddress(const ZuDeviceInfo *aDeviceInfo, uint32_t &aIp)
{
    if (!aDeviceInfo) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no device information"));
    if (aDeviceInfo->GetType() != ZuDeviceInfoTypeGEV)
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("not a GigE Vision device"));
    if (!ParseAddress(static_cast<const ZuDeviceInfoGEV *>(aDeviceInfo)->GetIPAddress(), aIp))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the device information holds no IP address"));
    return ZuResult();
}

ZuResult TextAddress(const ZuString &aText, uint32_t &aIp)
{
    if (!ParseAddress(aText, aIp) || aIp == 0)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("not an IP address"));
    return ZuResult();
}

ZuResult GroupAddress(const ZuString &aText, uint32_t &aIp)
{
    if (!ParseAddress(aText, aIp) || (aIp >> 28) != 0xE)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("not a multicast address"));
    return ZuResult();
}

} // namespace

ZuResult ZuStreamGEV::Open(const ZuDeviceInfo *aDeviceInfo) { return Open(aDeviceInfo, 0); }

ZuResult ZuStreamGEV::Open(const ZuString &aIPAddress) { return Open(aIPAddress, 0); }

ZuResult ZuStreamGEV::Open(const ZuDeviceInfo *aDeviceInfo, uint16_t aLocalPort, uint16_t aChannel,
                           const ZuString &aLocalIpAddress, uint32_t aBuffersCapacity)
{
    uint32_t ip = 0;
    ZuResult r = DeviceAddress(aDeviceInfo, ip);
    return r.IsOK() ? OpenAt(ip, 0, aLocalPort, aChannel, aLocalIpAddress, aBuffersCapacity, true) : r;
}

ZuResult ZuStreamGEV::Open(const ZuString &aIPAddress, uint16_t aLocalPort, uint16_t aChannel,
                           const ZuString &aLocalIpAddress, uint32_t aBuffersCapacity)
{
    uint32_t ip = 0;
    ZuResult r = TextAddress(aIPAddress, ip);
    return r.IsOK() ? OpenAt(ip, 0, aLocalPort, aChannel, aLocalIpAddress, aBuffersCapacity, false) : r;
}

ZuResult ZuStreamGEV::Open(const ZuDeviceInfo *aDeviceInfo, const ZuString &aMulticastAddr, uint16_t aDataPort,
                           uint16_t aChannel, const ZuString &aLocalIpAddress, uint32_t aBuffersCapacity)
{
    uint32_t ip = 0, group = 0;
    ZuResult r = DeviceAddress(aDeviceInfo, ip);
    if (r.IsOK()) r = GroupAddress(aMulticastAddr, group);
    return r.IsOK() ? OpenAt(ip, group, aDataPort, aChannel, aLocalIpAddress, aBuffersCapacity, false) : r;
}

ZuResult ZuStreamGEV::Open(const ZuString &aIPAddress, const ZuString &aMulticastAddr, uint16_t aDataPort,
                           uint16_t aChannel, const ZuString &aLocalIpAddress, uint32_t aBuffersCapacity)
{
    uint32_t ip = 0, group = 0;
    ZuResult r = TextAddress(aIPAddress, ip);
    if (r.IsOK()) r = GroupAddress(aMulticastAddr, group);
    return r.IsOK() ? OpenAt(ip, group, aDataPort, aChannel, aLocalIpAddress, aBuffersCapacity, false) : r;
}

ZuDataReceiverType ZuStreamGEV::GetDataReceiverType() const
{
    if (!IsOpen()) return ZuDataReceiverTypeUnknown;
    return mGev->receiver.OverTcp() ? ZuDataReceiverTypeTCP : ZuDataReceiverTypeUserMode;
}

ZuResult ZuStreamGEV::FlushPacketQueue()
{
    if (!IsOpen()) return ZuResult(ZU_NOT_CONNECTED, ZuString("the stream is not open"));
    mGev->receiver.Flush();
    return ZuResult();
}

bool ZuStreamGEV::GetWaitForFirstPacketOfBlockToStart() const
{
    return GetImpl().parameters.Get(tarn::StreamParameters::StartStreamOnlyOnPacketIdZero) != 0;
}

ZuResult ZuStreamGEV::SetWaitForFirstPacketOfBlockToStart(bool aWait)
{
    GetImpl().parameters.Set(tarn::StreamParameters::StartStreamOnlyOnPacketIdZero, aWait ? 1 : 0);
    return ZuResult();
}

uint16_t ZuStreamGEV::GetLocalPort() const { return IsOpen() ? mGev->receiver.Local().port : 0; }

uint16_t ZuStreamGEV::GetSpecificLocalPort() const { return IsOpen() ? mGev->specificPort : 0; }

ZuString ZuStreamGEV::GetLocalIPAddress() const { return IsOpen() ? Dotted(mGev->receiver.Local().ip) : ZuString(); }

ZuString ZuStreamGEV::GetMulticastIPAddress() const { return IsOpen() ? Dotted(mGev->multicast) : ZuString(); }

ZuString ZuStreamGEV::GetDeviceIPAddress() const { return IsOpen() ? Dotted(mGev->deviceIp) : ZuString(); }

uint32_t ZuStreamGEV::GetUserModeDataReceiverThreadPriority() const { return mGev->priority; }

ZuResult ZuStreamGEV::SetUserModeDataReceiverThreadPriority(uint32_t aPriority)
{
    if (aPriority > 99) return ZuResult(ZU_INVALID_PARAMETER, ZuString("priorities run from 0 to 99"));
    ZuResult r = mGev->receiver.Running() ? mGev->receiver.SetPriority(aPriority) : ZuResult();
    if (r.IsOK()) mGev->priority = aPriority;
    return r;
}

ZuResult ZuStreamGEV::GetUserModeSocketRxBufferSize(uint32_t &aSize)
{
    if (!IsOpen()) return ZuResult(ZU_NOT_CONNECTED, ZuString("the stream is not open"));
    aSize = uint32_t(std::max(mGev->receiver.SocketBuffer(), 0));
    return ZuResult();
}

ZuResult ZuStreamGEV::SetUserModeSocketRxBufferSize(uint32_t aSize)
{
    if (IsOpen()) return ZuResult(ZU_NETWORK_CONFIG_ERROR, ZuString("set before Open"));
    uint32_t limit = tarn::GevReceiver::ReceiveBufferLimit();
    if (limit && aSize > limit) {
        mGev->socketBuffer = limit;
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("above the kernel's rmem_max, which is used instead"));
    }
    mGev->socketBuffer = aSize;
    return ZuResult();
}

ZuResult ZuStreamGEV::SetUserModeRxPacketBufferSize(uint32_t aSize)
{
    if (IsOpen()) return ZuResult(ZU_NETWORK_CONFIG_ERROR, ZuString("set before Open"));
    mGev->packetBuffer = std::min(std::max(aSize, kPacketBufferMin), kPacketBufferMax);
    return ZuResult();
}

ZuResult ZuStreamGEV::IsDriverInstalled(ZuString &aIPAddress, bool &aInstalled, const ZuString &)
{
    uint32_t ip = 0;
    aInstalled = false;
    return TextAddress(aIPAddress, ip);
}
