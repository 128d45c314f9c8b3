#include "SystemDetail.h"

#include "gev/gvcp.h"

#include <cstring>

ZuDeviceInfo::ZuDeviceInfo(ZuDeviceInfoType aType) : mImpl(new Impl(aType)) {}
ZuDeviceInfo::ZuDeviceInfo(const ZuDeviceInfo &aOther) : mImpl(new Impl(*aOther.mImpl)) {}
ZuDeviceInfo::~ZuDeviceInfo() = default;

ZuDeviceInfoType ZuDeviceInfo::GetType() const { return mImpl->mType; }
ZuDeviceClass ZuDeviceInfo::GetClass() const { return mImpl->mClass; }
ZuString ZuDeviceInfo::GetVendorName() const { return ZuString(mImpl->mVendorName); }
ZuString ZuDeviceInfo::GetModelName() const { return ZuString(mImpl->mModelName); }
ZuString ZuDeviceInfo::GetVersion() const { return ZuString(mImpl->mVersion); }
ZuString ZuDeviceInfo::GetManufacturerInfo() const { return ZuString(mImpl->mManufacturerInfo); }
ZuString ZuDeviceInfo::GetSerialNumber() const { return ZuString(mImpl->mSerialNumber); }
ZuString ZuDeviceInfo::GetUserDefinedName() const { return ZuString(mImpl->mUserDefinedName); }
ZuString ZuDeviceInfo::GetDisplayID() const { return ZuString(mImpl->mDisplayID); }
ZuString ZuDeviceInfo::GetUniqueID() const { return ZuString(mImpl->mUniqueID); }
ZuString ZuDeviceInfo::GetConnectionID() const { return ZuString(mImpl->mConnectionID); }
const ZuInterface *ZuDeviceInfo::GetInterface() const { return mImpl->mInterface; }

bool ZuDeviceInfo::IsConfigurationValid() const
{
    auto *gev = dynamic_cast<const ZuDeviceInfoGEV *>(this);
    return gev && ZuSystemDetail::ConfigurationValid(*gev);
}

std::unique_ptr<ZuDeviceInfo> ZuSystemDetail::Clone(const ZuDeviceInfo &aInfo)
{
    // Most derived kinds first.
    if (auto *u3v = dynamic_cast<const ZuDeviceInfoU3V *>(&aInfo)) return std::make_unique<ZuDeviceInfoU3V>(*u3v);
    if (auto *usb = dynamic_cast<const ZuDeviceInfoUSB *>(&aInfo)) return std::make_unique<ZuDeviceInfoUSB>(*usb);
    if (auto *gev = dynamic_cast<const ZuDeviceInfoGEV *>(&aInfo)) return std::make_unique<ZuDeviceInfoGEV>(*gev);
    if (auto *own = dynamic_cast<const ZuDeviceInfoMorvekProtocol *>(&aInfo))
        return std::make_unique<ZuDeviceInfoMorvekProtocol>(*own);
    return nullptr;
}

ZuDeviceInfo *ZuDeviceInfo::Copy() const
{
    std::unique_ptr<ZuDeviceInfo> copy = ZuSystemDetail::Clone(*this);
    if (!copy) return nullptr;
    Impl &c = *copy->mImpl;
    // The copy must outlive the system that owns the original's interface.
    if (mImpl->mInterface && !mImpl->mOwnedInterface)
        c.mOwnedInterface = ZuSystemDetail::CloneBare(*mImpl->mInterface);
    c.mInterface = c.mOwnedInterface.get();
    return copy.release();
}

// ---- GigE Vision ----------------------------------------------------------------------

ZuDeviceInfoGEV::ZuDeviceInfoGEV() : ZuDeviceInfo(ZuDeviceInfoTypeGEV) {}
ZuDeviceInfoGEV::~ZuDeviceInfoGEV() = default;

namespace {

// The kinds read their fields through the library's access.
const auto &D(const ZuDeviceInfo &aInfo) { return ZuSystemDetail::Of(aInfo); }

tarn::gvcp::Mac MacOf(const uint8_t *mac)
{
    tarn::gvcp::Mac m;
    std::memcpy(m.data(), mac, 6);
    return m;
}

ZuString IPConfigText(uint32_t bits)
{
    using namespace tarn::gvcp;
    static const struct {
        uint32_t bit;
        const char *name;
    } methods[] = {{IPCONFIG_LLA, "LLA"},
                   {IPCONFIG_DHCP, "DHCP"},
                   {IPCONFIG_PERSISTENT, "Persistent IP"},
                   {IPCONFIG_PAUSE_RECEPTION, "PAUSE reception"},
                   {IPCONFIG_PAUSE_GENERATION, "PAUSE generation"}};
    std::string text;
    for (const auto &m : methods) {
        if (!(bits & m.bit)) continue;
        if (!text.empty()) text += ", ";
        text += m.name;
    }
    return ZuString(text);
}

} // namespace

ZuString ZuDeviceInfoGEV::GetMACAddress() const { return ZuString(tarn::gvcp::formatMac(MacOf(D(*this).mMAC), ':', false)); }
ZuString ZuDeviceInfoGEV::GetIPAddress() const { return ZuString(tarn::gvcp::formatIPv4(D(*this).mIP)); }
ZuString ZuDeviceInfoGEV::GetSubnetMask() const { return ZuString(tarn::gvcp::formatIPv4(D(*this).mSubnetMask)); }
ZuString ZuDeviceInfoGEV::GetDefaultGateway() const { return ZuString(tarn::gvcp::formatIPv4(D(*this).mGateway)); }
uint32_t ZuDeviceInfoGEV::GetGEVVersion() const { return D(*this).mGEVVersion; }
ZuString ZuDeviceInfoGEV::GetIPConfigOptionsString() const { return IPConfigText(D(*this).mIPConfigOptions); }
ZuString ZuDeviceInfoGEV::GetIPConfigCurrentString() const { return IPConfigText(D(*this).mIPConfigCurrent); }
bool ZuDeviceInfoGEV::IsLLAAvailable() const { return D(*this).mIPConfigOptions & tarn::gvcp::IPCONFIG_LLA; }
bool ZuDeviceInfoGEV::IsDHCPAvailable() const { return D(*this).mIPConfigOptions & tarn::gvcp::IPCONFIG_DHCP; }
bool ZuDeviceInfoGEV::IsPersistentAvailable() const { return D(*this).mIPConfigOptions & tarn::gvcp::IPCONFIG_PERSISTENT; }
bool ZuDeviceInfoGEV::IsPRAvailable() const { return D(*this).mIPConfigOptions & tarn::gvcp::IPCONFIG_PAUSE_RECEPTION; }
bool ZuDeviceInfoGEV::IsPGAvailable() const { return D(*this).mIPConfigOptions & tarn::gvcp::IPCONFIG_PAUSE_GENERATION; }
bool ZuDeviceInfoGEV::IsLLAEnabled() const { return D(*this).mIPConfigCurrent & tarn::gvcp::IPCONFIG_LLA; }
bool ZuDeviceInfoGEV::IsDHCPEnabled() const { return D(*this).mIPConfigCurrent & tarn::gvcp::IPCONFIG_DHCP; }
bool ZuDeviceInfoGEV::IsPersistentEnabled() const { return D(*this).mIPConfigCurrent & tarn::gvcp::IPCONFIG_PERSISTENT; }
bool ZuDeviceInfoGEV::IsPREnabled() const { return D(*this).mIPConfigCurrent & tarn::gvcp::IPCONFIG_PAUSE_RECEPTION; }
bool ZuDeviceInfoGEV::IsPGEnabled() const { return D(*this).mIPConfigCurrent & tarn::gvcp::IPCONFIG_PAUSE_GENERATION; }

bool ZuSystemDetail::ConfigurationValid(const ZuDeviceInfoGEV &aInfo)
{
    const ZuDeviceInfo::Impl &d = Of(aInfo);
    const uint32_t ip = d.mIP, mask = d.mSubnetMask;
    auto *adapter = dynamic_cast<const ZuNetworkAdapter *>(d.mInterface);
    if (!adapter || ip == 0) return false;
    for (const auto &a : ZuSystemDetail::Addresses(*adapter)) {
        // Both sides must see the other on their own subnet: a device whose
        // mask leaves the adapter outside sends its answers to a gateway.
        bool adapterSeesDevice = (a.ip & a.mask) == (ip & a.mask);
        bool deviceSeesAdapter = (a.ip & mask) == (ip & mask);
        // Sharing the adapter's own address is a conflict, except on the loopback.
        bool conflict = a.ip == ip && (ip >> 24) != 127;
        if (adapterSeesDevice && deviceSeesAdapter && !conflict) return true;
    }
    return false;
}

// ---- The maker's protocol ------------------------------------------------------------------

ZuDeviceInfoMorvekProtocol::ZuDeviceInfoMorvekProtocol() : ZuDeviceInfo(ZuDeviceInfoTypeMorvekProtocol) {}
ZuDeviceInfoMorvekProtocol::~ZuDeviceInfoMorvekProtocol() = default;
ZuString ZuDeviceInfoMorvekProtocol::GetMACAddress() const { return ZuString(tarn::gvcp::formatMac(MacOf(D(*this).mMAC), ':', false)); }
ZuString ZuDeviceInfoMorvekProtocol::GetIPAddress() const { return ZuString(tarn::gvcp::formatIPv4(D(*this).mIP)); }
ZuString ZuDeviceInfoMorvekProtocol::GetSubnetMask() const { return ZuString(tarn::gvcp::formatIPv4(D(*this).mSubnetMask)); }
ZuString ZuDeviceInfoMorvekProtocol::GetDefaultGateway() const { return ZuString(tarn::gvcp::formatIPv4(D(*this).mGateway)); }
uint8_t ZuDeviceInfoMorvekProtocol::GetDeviceID() const { return D(*this).mDeviceID; }
uint8_t ZuDeviceInfoMorvekProtocol::GetModuleID() const { return D(*this).mModuleID; }
uint8_t ZuDeviceInfoMorvekProtocol::GetSubID() const { return D(*this).mSubID; }
uint8_t ZuDeviceInfoMorvekProtocol::GetVendorID() const { return D(*this).mVendorID; }
uint8_t ZuDeviceInfoMorvekProtocol::GetSoftwareMajor() const { return D(*this).mSoftwareMajor; }
uint8_t ZuDeviceInfoMorvekProtocol::GetSoftwareMinor() const { return D(*this).mSoftwareMinor; }

// ---- USB and USB3 Vision ---------------------------------------------------------------------

ZuDeviceInfoUSB::ZuDeviceInfoUSB() : ZuDeviceInfo(ZuDeviceInfoTypeUSB) {}
ZuDeviceInfoUSB::ZuDeviceInfoUSB(ZuDeviceInfoType aType) : ZuDeviceInfo(aType) {}
ZuDeviceInfoUSB::~ZuDeviceInfoUSB() = default;
ZuUSBStatus ZuDeviceInfoUSB::GetStatus() const { return D(*this).mStatus; }

ZuDeviceInfoU3V::ZuDeviceInfoU3V() : ZuDeviceInfoUSB(ZuDeviceInfoTypeU3V) {}
ZuDeviceInfoU3V::~ZuDeviceInfoU3V() = default;
uint32_t ZuDeviceInfoU3V::GetGenCPVersion() const { return D(*this).mGenCPVersion; }
uint32_t ZuDeviceInfoU3V::GetU3VVersion() const { return D(*this).mU3VVersion; }
ZuString ZuDeviceInfoU3V::GetDeviceGUID() const { return ZuString(D(*this).mGUID); }
ZuString ZuDeviceInfoU3V::GetFamilyName() const { return ZuString(D(*this).mFamilyName); }
ZuString ZuDeviceInfoU3V::GetU3VSerialNumber() const { return ZuString(D(*this).mU3VSerialNumber); }
ZuString ZuDeviceInfoU3V::GetDevicePath() const { return ZuString(D(*this).mDevicePath); }
ZuString ZuDeviceInfoU3V::GetDeviceKey() const { return ZuString(D(*this).mDeviceKey); }

ZuString ZuDeviceInfoU3V::GetSpeedMessage() const
{
    switch (D(*this).mSpeed) {
    case ZuUSBSpeedLow: return ZuString("low");
    case ZuUSBSpeedFull: return ZuString("full");
    case ZuUSBSpeedHigh: return ZuString("high");
    case ZuUSBSpeedSuper: return ZuString("super");
    default: return ZuString("Unknown");
    }
}

ZuString ZuDeviceInfoU3V::GetPowerMessage() const
{
    return ZuString(D(*this).mStatus == ZuUSBStatusNotEnoughPower ? "The port cannot supply the power the device needs" : "Ok");
}

bool ZuDeviceInfoU3V::IsLowSpeedSupported() const { return false; }
bool ZuDeviceInfoU3V::IsFullSpeedSupported() const { return false; }
bool ZuDeviceInfoU3V::IsHighSpeedSupported() const { return false; }
bool ZuDeviceInfoU3V::IsSuperSpeedSupported() const { return false; }
bool ZuDeviceInfoU3V::IsSuperSpeedPlusSupported() const { return false; }
bool ZuDeviceInfoU3V::IsCurrentSpeedSupported() const { return false; }
ZuUSBSpeed ZuDeviceInfoU3V::GetSpeed() const { return D(*this).mSpeed; }
uint32_t ZuDeviceInfoU3V::GetMaxPower() const { return D(*this).mMaxPower; }
uint32_t ZuDeviceInfoU3V::GetMaxPacketSize() const { return D(*this).mMaxPacketSize; }
bool ZuDeviceInfoU3V::IsMorvekDriverInstalled() const { return false; }
bool ZuDeviceInfoU3V::IsInitializedCapabilities() const { return false; }
