#include "Ports.h"

#include "ZuSystem.h"
#include "net/adapters.h"
#include "tarn/Discovery.h"

#include <algorithm>

using tarn::device::Connection;
namespace gvcp = tarn::gvcp;
namespace reg = tarn::gvcp::reg;

namespace {

ZuResult NotConnected()
{
    return ZuResult(ZU_NOT_CONNECTED, ZuString("the device is not connected"));
}

ZuResult Invalid(const std::string &aWhy)
{
    return ZuResult(ZU_INVALID_PARAMETER, ZuString(aWhy));
}

// The address of a GigE Vision device named by text: its address itself,
// else a discovery finds it by MAC address or user-defined name.
ZuResult Resolve(const std::string &aText, uint32_t &aIp)
{
    if (aText.empty()) return Invalid("no device named");
    if (gvcp::parseIPv4(aText, aIp)) return ZuResult();
    std::string key = aText;
    gvcp::Mac mac;
    if (gvcp::parseMac(aText, mac)) key = gvcp::formatMac(mac, ':', false);
    ZuSystem system;
    const ZuDeviceInfo *info = nullptr;
    ZuResult r = system.FindDevice(ZuString(key), &info);
    auto *gev = dynamic_cast<const ZuDeviceInfoGEV *>(r.IsOK() ? info : nullptr);
    if (!gev || !gvcp::parseIPv4(gev->GetIPAddress().Narrow(), aIp))
        return ZuResult(ZU_NOT_FOUND, ZuString("no GigE Vision device answers to '" + aText + "'"));
    return ZuResult();
}

ZuResult ResolveInfo(const ZuDeviceInfo *aInfo, uint32_t &aIp)
{
    if (!aInfo) return Invalid("no device information given");
    auto *gev = dynamic_cast<const ZuDeviceInfoGEV *>(aInfo);
    if (!gev) return ZuResult(ZU_NOT_FOUND, ZuString("the information is not of a GigE Vision device"));
    if (!gvcp::parseIPv4(gev->GetIPAddress().Narrow(), aIp) || !aIp)
        return Invalid("the device information has no IP address");
    return ZuResult();
}

bool ValidAccess(ZuAccessType aAccess)
{
    return aAccess == ZuAccessOpen || aAccess == ZuAccessControl || aAccess == ZuAccessExclusive ||
           aAccess == ZuAccessReadOnly;
}

} // namespace

// ---- Factory ----------------------------------------------------------------------

ZuDevice *ZuDevice::CreateAndConnect(const ZuDeviceInfo *aDeviceInfo, ZuResult *aResult)
{
    ZuResult r;
    ZuDevice *device = nullptr;
    if (!aDeviceInfo) {
        r = Invalid("no device information given");
    } else if (aDeviceInfo->GetType() == ZuDeviceInfoTypeGEV) {
        device = new ZuDeviceGEV();
        r = device->Connect(aDeviceInfo);
    } else if (aDeviceInfo->GetType() == ZuDeviceInfoTypeU3V) {
        device = new ZuDeviceU3V();
        r = device->Connect(aDeviceInfo);
    } else {
        r = ZuResult(ZU_NOT_SUPPORTED, ZuString("this kind of device cannot be controlled"));
    }
    if (!r.IsOK()) {
        delete device;
        device = nullptr;
    }
    if (aResult) *aResult = r;
    return device;
}

ZuDevice *ZuDevice::CreateAndConnect(const ZuString &aDeviceText, ZuResult *aResult)
{
    const std::string text = aDeviceText.Narrow();
    ZuDevice *device = nullptr;
    ZuResult r;
    if (text.empty()) {
        r = Invalid("no device named");
    } else {
        // A USB3 Vision device is never found here: every name is looked
        // for among GigE Vision devices.
        device = new ZuDeviceGEV();
        r = device->Connect(aDeviceText);
    }
    if (!r.IsOK()) {
        delete device;
        device = nullptr;
    }
    if (aResult) *aResult = r;
    return device;
}

// ---- GigE Vision ------------------------------------------------------------------------

ZuDeviceGEV::ZuDeviceGEV() : ZuDevice(ZuDeviceTypeGEV) {}
ZuDeviceGEV::~ZuDeviceGEV() = default;

ZuResult ZuDeviceGEV::Connect(const ZuDeviceInfo *aDeviceInfo)
{
    return Connect(aDeviceInfo, ZuAccessControl);
}

ZuResult ZuDeviceGEV::Connect(const ZuDeviceInfo *aDeviceInfo, ZuAccessType aAccessType)
{
    if (!ValidAccess(aAccessType)) return Invalid("not an access type");
    uint32_t ip = 0;
    ZuResult r = ResolveInfo(aDeviceInfo, ip);
    return r.IsOK() ? mState->Connect(ip, aAccessType) : r;
}

ZuResult ZuDeviceGEV::Connect(const ZuString &aInfoStr)
{
    return Connect(aInfoStr, ZuAccessControl);
}

ZuResult ZuDeviceGEV::Connect(const ZuString &aInfoStr, ZuAccessType aAccessType)
{
    if (!ValidAccess(aAccessType)) return Invalid("not an access type");
    uint32_t ip = 0;
    ZuResult r = Resolve(aInfoStr.Narrow(), ip);
    return r.IsOK() ? mState->Connect(ip, aAccessType) : r;
}

namespace {

ZuResult CheckChannel(Connection &aConnection, uint32_t aChannel)
{
    if (aChannel >= aConnection.StreamChannels())
        return ZuResult(ZU_NOT_FOUND, ZuString("the device has no stream channel " + std::to_string(aChannel)));
    return ZuResult();
}

// The features over the stream registers read them again.
void Invalidate(Connection &aConnection)
{
    if (aConnection.Parameters()) aConnection.Parameters()->array.InvalidateCache();
}

ZuResult WriteDestination(Connection &aConnection, uint32_t aChannel, uint32_t aIp, uint16_t aPort)
{
    ZuResult r = CheckChannel(aConnection, aChannel);
    if (!r.IsOK()) return r;
    r = aConnection.Client().WriteRegister(gvcp::streamChannelRegister(reg::StreamChannelDestination0, aChannel), aIp);
    if (r.IsOK()) r = aConnection.Client().WriteRegister(gvcp::streamChannelRegister(reg::StreamChannelPort0, aChannel), aPort);
    Invalidate(aConnection);
    return r;
}

// The packet size register keeps its flags; the size is the low 16 bits.
ZuResult WritePacketSize(Connection &aConnection, uint32_t aChannel, uint32_t aSize, uint32_t aFlags)
{
    const uint32_t address = gvcp::streamChannelRegister(reg::StreamChannelPacketSize0, aChannel);
    uint32_t current = 0;
    ZuResult r = aConnection.Client().ReadRegister(address, current);
    if (!r.IsOK()) return r;
    r = aConnection.Client().WriteRegister(address, (current & gvcp::SCPS_DO_NOT_FRAGMENT) | aFlags | (aSize & gvcp::SCPS_SIZE_MASK));
    Invalidate(aConnection);
    return r;
}

} // namespace

ZuResult ZuDeviceGEV::SetStreamDestination(const ZuString &aIPAddress, uint16_t aDataPort, uint32_t aChannel)
{
    auto c = mState->Current();
    if (!c) return NotConnected();
    uint32_t ip = 0;
    if (!gvcp::parseIPv4(aIPAddress.Narrow(), ip)) return Invalid("not an IPv4 address: " + aIPAddress.Narrow());
    return WriteDestination(*c, aChannel, ip, aDataPort);
}

ZuResult ZuDeviceGEV::ResetStreamDestination(uint32_t aChannel)
{
    auto c = mState->Current();
    return c ? WriteDestination(*c, aChannel, 0, 0) : NotConnected();
}

ZuResult ZuDeviceGEV::SetPacketSize(uint32_t aPacketSize, uint32_t aChannel)
{
    auto c = mState->Current();
    if (!c) return NotConnected();
    ZuResult r = CheckChannel(*c, aChannel);
    if (!r.IsOK()) return r;
    if (aPacketSize < gvcp::kIpUdpHeaderSize + 8 || aPacketSize > gvcp::SCPS_SIZE_MASK)
        return Invalid("a packet size from 36 to 65535 bytes");
    return WritePacketSize(*c, aChannel, aPacketSize, 0);
}

ZuResult ZuDeviceGEV::NegotiatePacketSize(uint32_t aChannel, uint32_t aDefaultPacketSize)
{
    auto c = mState->Current();
    if (!c) return NotConnected();
    ZuResult r = CheckChannel(*c, aChannel);
    if (!r.IsOK()) return r;
    // Test packets come to a socket of our own for the time of the test.
    tarn::net::SocketOptions options;
    options.nonBlocking = true;
    std::string error;
    auto socket = tarn::net::UdpSocket::Bind({c->Client().LocalIp(), 0}, options, &error);
    if (!socket.Valid()) return ZuResult(ZU_NETWORK_ERROR, ZuString(error));
    r = WriteDestination(*c, aChannel, c->Client().LocalIp(), socket.Local().port);
    if (!r.IsOK()) return r;

    // The device's own range for the size, where its description gives one.
    int64_t increment = 4, maximum = gvcp::SCPS_SIZE_MASK;
    if (const auto &set = c->Parameters()) {
        if (ZuGenInteger *size = set->array.GetInteger(ZuString("GevSCPSPacketSize"))) {
            int64_t v = 0;
            if (size->GetIncrement(v).IsOK() && v > 0) increment = v;
            if (size->GetMax(v).IsOK() && v > 0) maximum = v;
        }
    }
    std::vector<uint32_t> candidates;
    const unsigned mtu = tarn::net::mtuOfAddress(c->Client().LocalIp());
    if (mtu && mtu < 9000) candidates.push_back(mtu);
    for (uint32_t v : {9000u, 8000u, 4000u, 2000u, 1500u, 1000u, 600u}) candidates.push_back(v);

    uint32_t found = 0;
    for (uint32_t candidate : candidates) {
        int64_t size = std::min<int64_t>(int64_t(candidate) - 24, maximum);
        size = size / increment * increment;
        if (size < int64_t(gvcp::kIpUdpHeaderSize) + 8) continue;
        r = WritePacketSize(*c, aChannel, uint32_t(size), gvcp::SCPS_FIRE_TEST_PACKET | gvcp::SCPS_DO_NOT_FRAGMENT);
        if (!r.IsOK()) break;
        // The test packet arrives whole, or not at all.
        tarn::net::PollLoop loop;
        bool arrived = false;
        uint8_t buf[65536];
        loop.Watch(socket.GetFd(), [&](int) {
            long n;
            while ((n = socket.Receive(buf, sizeof buf)) > 0)
                if (uint64_t(n) + gvcp::kIpUdpHeaderSize == uint64_t(size)) arrived = true;
            return !arrived;
        });
        loop.Run(int(std::max<uint32_t>(mState->settings->answerTimeoutMs, 1)));
        if (arrived) {
            found = uint32_t(size);
            break;
        }
    }
    ZuResult result = r;
    if (r.IsOK()) {
        if (found) result = WritePacketSize(*c, aChannel, found, 0);
        else {
            if (aDefaultPacketSize) WritePacketSize(*c, aChannel, aDefaultPacketSize, 0);
            result = ZuResult(ZU_GENERIC_ERROR, ZuString("no test packet came through"));
        }
    }
    WriteDestination(*c, aChannel, 0, 0);
    return result;
}

ZuResult ZuDeviceGEV::ReadRegister(int64_t aAddress, uint32_t &aValue)
{
    auto c = mState->Current();
    if (!c) return NotConnected();
    if (aAddress < 0 || aAddress > int64_t(UINT32_MAX)) return Invalid("beyond the device's 32-bit address space");
    return c->Client().ReadRegister(uint32_t(aAddress), aValue);
}

ZuResult ZuDeviceGEV::WriteRegister(int64_t aAddress, uint32_t aValue, bool aAcknowledge)
{
    auto c = mState->Current();
    if (!c) return NotConnected();
    if (aAddress < 0 || aAddress > int64_t(UINT32_MAX)) return Invalid("beyond the device's 32-bit address space");
    ZuResult r = c->Client().WriteRegister(uint32_t(aAddress), aValue, aAcknowledge);
    Invalidate(*c);
    return r;
}

ZuDeviceClass ZuDeviceGEV::GetClass() const
{
    auto c = mState->Current();
    if (!c) return ZuDeviceClassTransmitter;
    // The device mode counts from 0 (transmitter); the enumeration from 1.
    return ZuDeviceClass(c->Identity().DeviceClass() + 1);
}

ZuString ZuDeviceGEV::GetIPAddress() const
{
    auto c = mState->Current();
    return c ? ZuString(gvcp::formatIPv4(c->Client().Device().ip)) : ZuString("");
}

ZuString ZuDeviceGEV::GetMACAddress() const
{
    auto c = mState->Current();
    return c ? ZuString(gvcp::formatMac(c->Identity().mac, ':', false)) : ZuString("");
}

ZuAccessType ZuDeviceGEV::GetAccessType() const
{
    auto c = mState->Current();
    return c ? c->Access() : ZuAccessUnknown;
}

ZuResult ZuDeviceGEV::GetAccessType(const ZuString &aIPAddress, ZuAccessType &aAccessType)
{
    aAccessType = ZuAccessUnknown;
    uint32_t ip = 0;
    if (!gvcp::parseIPv4(aIPAddress.Narrow(), ip)) return Invalid("not an IPv4 address: " + aIPAddress.Narrow());
    tarn::device::GvcpClient client(std::make_shared<tarn::device::ClientSettings>());
    ZuResult r = client.Open(ip);
    if (!r.IsOK()) return r;
    uint32_t privilege = 0;
    r = client.ReadRegister(reg::ControlChannelPrivilege, privilege);
    if (r.IsOK()) {
        aAccessType = (privilege & gvcp::CCP_EXCLUSIVE)  ? ZuAccessExclusive
                      : (privilege & gvcp::CCP_CONTROL) ? ZuAccessControl
                                                         : ZuAccessOpen;
    } else if (r.GetCode() == ZU_GENERIC_ERROR) {
        // Refused to read: another controller holds it exclusively.
        aAccessType = ZuAccessExclusive;
        r = ZuResult();
    }
    return r;
}

namespace {

ZuResult ParseConfiguration(const ZuString &aMac, const ZuString &aIp, const ZuString &aMask, const ZuString &aGateway,
                            gvcp::ForceIp &aOut)
{
    if (!gvcp::parseMac(aMac.Narrow(), aOut.mac)) return Invalid("not a MAC address: " + aMac.Narrow());
    if (!gvcp::parseIPv4(aIp.Narrow(), aOut.ip)) return Invalid("not an IPv4 address: " + aIp.Narrow());
    if (!gvcp::parseIPv4(aMask.Narrow(), aOut.subnetMask)) return Invalid("not a subnet mask: " + aMask.Narrow());
    if (!gvcp::parseIPv4(aGateway.Narrow(), aOut.gateway)) return Invalid("not a gateway address: " + aGateway.Narrow());
    return ZuResult();
}

} // namespace

ZuResult ZuDeviceGEV::SetIPConfiguration(const ZuString &aMACAddress, const ZuString &aIP, const ZuString &aSubnetMask,
                                         const ZuString &aGateway)
{
    gvcp::ForceIp force;
    ZuResult r = ParseConfiguration(aMACAddress, aIP, aSubnetMask, aGateway, force);
    if (!r.IsOK()) return r;
    // FORCEIP goes to every device as a broadcast, from each address
    // discovery may use; the device with the MAC address answers.
    tarn::gvcpclient::Exchange exchange;
    for (const auto &t : tarn::discovery::SendingTargets())
        exchange.Add({{t.localIp, 0}, {{tarn::net::kBroadcastAddress, gvcp::kPort}}, true, t.ifname});
    tarn::gvcpclient::Exchange::Request request;
    request.id = exchange.NextId();
    request.packet = force.Encode(request.id);
    request.answer = gvcp::FORCEIP_ACK;
    request.wait = std::chrono::milliseconds(1000);
    std::optional<uint16_t> status;
    const auto outcome = exchange.Ask(request, [&](const tarn::gvcpclient::Exchange::Answer &aAnswer) {
        status = aAnswer.ack.header.status;
        return true;
    });
    if (outcome == tarn::gvcpclient::Exchange::Outcome::NotSent)
        return ZuResult(ZU_NETWORK_ERROR, ZuString("no adapter to send the configuration from"));
    if (!status) return ZuResult(ZU_TIMEOUT, ZuString("no device with that MAC address answered"));
    if (*status != gvcp::STATUS_SUCCESS) {
        if (*status == gvcp::STATUS_ACCESS_DENIED)
            return ZuResult(ZU_GENERIC_ERROR, ZuString("the device refused: a controller is connected to it"));
        return tarn::device::ResultOfStatus(*status, "FORCEIP");
    }
    return ZuResult();
}

// ---- USB3 Vision and the maker's protocol ------------------------------------------------

ZuDeviceU3V::ZuDeviceU3V() : ZuDevice(ZuDeviceTypeU3V) {}
ZuDeviceU3V::~ZuDeviceU3V() = default;

ZuResult ZuDeviceU3V::Connect(const ZuString &aInfoStr)
{
    if (aInfoStr.Narrow().empty()) return Invalid("no device named");
    return ZuResult(ZU_NOT_FOUND, ZuString("no USB3 Vision device answers to '" + aInfoStr.Narrow() + "': this SDK reaches no USB device"));
}

ZuResult ZuDeviceU3V::Connect(const ZuDeviceInfo *aDeviceInfo)
{
    if (!aDeviceInfo) return Invalid("no device information given");
    return ZuResult(ZU_NOT_FOUND, ZuString("this SDK reaches no USB device"));
}

ZuString ZuDeviceU3V::GetGUID() const
{
    return ZuString("");
}

ZuResult ZuDeviceMorvekProtocol::SetIPConfiguration(const ZuString &aMACAddress, const ZuString &aIP,
                                                    const ZuString &aSubnetMask, const ZuString &aGateway)
{
    gvcp::ForceIp force;
    ZuResult r = ParseConfiguration(aMACAddress, aIP, aSubnetMask, aGateway, force);
    if (!r.IsOK()) return r;
    return ZuResult(ZU_NOT_FOUND, ZuString("no device of the maker's protocol answers: this SDK reaches none"));
}
