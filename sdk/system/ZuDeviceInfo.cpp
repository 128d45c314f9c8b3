#include "SystemDetail.h"

#include "gev/gvcp.h"

#include <cstring>

ZuDeviceInfo::ZuDeviceInfo(ZuDeviceInfoType aType) : mType(aType) {}
ZuDeviceInfo::ZuDeviceInfo(const ZuDeviceInfo &aOther) = default;
ZuDeviceInfo::~ZuDeviceInfo() = default;

ZuDeviceInfoType ZuDeviceInfo::GetType() const { return mType; }
ZuDeviceClass ZuDeviceInfo::GetClass() const { return mClass; }
ZuString ZuDeviceInfo::GetVendorName() const { return ZuString(mVendorName); }
ZuString ZuDeviceInfo::GetModelName() const { return ZuString(mModelName); }
ZuString ZuDeviceInfo::GetVersion() const { return ZuString(mVersion); }
ZuString ZuDeviceInfo::GetManufacturerInfo() const { return ZuString(mManufacturerInfo); }
ZuString ZuDeviceInfo::GetSerialNumber() const { return ZuString(mSerialNumber); }
ZuString ZuDeviceInfo::GetUserDefinedName() const { return ZuString(mUserDefinedName); }
ZuString ZuDeviceInfo::GetDisplayID() const { return ZuString(mDisplayID); }
ZuString ZuDeviceInfo::GetUniqueID() const { return ZuString(mUniqueID); }
ZuString ZuDeviceInfo::GetConnectionID() const { return ZuString(mConnectionID); }
bool ZuDeviceInfo::IsConfigurationValid() const { return ConfigurationValid(); }
bool ZuDeviceInfo::ConfigurationValid() const { return false; }
const ZuInterface *ZuDeviceInfo::GetInterface() const { return mInterface; }

ZuDeviceInfo *ZuDeviceInfo::Copy() const
{
    ZuDeviceInfo *copy = Clone();
    // The copy must outlive the system that owns the original's interface.
    if (mInterface && !mOwnedInterface)
        copy->mOwnedInterface.reset(mInterface->CloneBare());
    copy->mInterface = copy->mOwnedInterface.get();
    return copy;
}

// ---- GigE Vision ----------------------------------------------------------------------

ZuDeviceInfoGEV::ZuDeviceInfoGEV() : ZuDeviceInfo(ZuDeviceInfoTypeGEV) {}
ZuDeviceInfoGEV::~ZuDeviceInfoGEV() = default;
ZuDeviceInfo *ZuDeviceInfoGEV::Clone() const { return new ZuDeviceInfoGEV(*this); }

namespace {

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

ZuString ZuDeviceInfoGEV::GetMACAddress() const { return ZuString(tarn::gvcp::formatMac(MacOf(mMAC), ':', false)); }
ZuString ZuDeviceInfoGEV::GetIPAddress() const { return ZuString(tarn::gvcp::formatIPv4(mIP)); }
ZuString ZuDeviceInfoGEV::GetSubnetMask() const { return ZuString(tarn::gvcp::formatIPv4(mSubnetMask)); }
ZuString ZuDeviceInfoGEV::GetDefaultGateway() const { return ZuString(tarn::gvcp::formatIPv4(mGateway)); }
uint32_t ZuDeviceInfoGEV::GetGEVVersion() const { return mGEVVersion; }
ZuString ZuDeviceInfoGEV::GetIPConfigOptionsString() const { return IPConfigText(mIPConfigOptions); }
ZuString ZuDeviceInfoGEV::GetIPConfigCurrentString() const { return IPConfigText(mIPConfigCurrent); }
bool ZuDeviceInfoGEV::IsLLAAvailable() const { return mIPConfigOptions & tarn::gvcp::IPCONFIG_LLA; }
bool ZuDeviceInfoGEV::IsDHCPAvailable() const { return mIPConfigOptions & tarn::gvcp::IPCONFIG_DHCP; }
bool ZuDeviceInfoGEV::IsPersistentAvailable() const { return mIPConfigOptions & tarn::gvcp::IPCONFIG_PERSISTENT; }
bool ZuDeviceInfoGEV::IsPRAvailable() const { return mIPConfigOptions & tarn::gvcp::IPCONFIG_PAUSE_RECEPTION; }
bool ZuDeviceInfoGEV::IsPGAvailable() const { return mIPConfigOptions & tarn::gvcp::IPCONFIG_PAUSE_GENERATION; }
bool ZuDeviceInfoGEV::IsLLAEnabled() const { return mIPConfigCurrent & tarn::gvcp::IPCONFIG_LLA; }
bool ZuDeviceInfoGEV::IsDHCPEnabled() const { return mIPConfigCurrent & tarn::gvcp::IPCONFIG_DHCP; }
bool ZuDeviceInfoGEV::IsPersistentEnabled() const { return mIPConfigCurrent & tarn::gvcp::IPCONFIG_PERSISTENT; }
bool ZuDeviceInfoGEV::IsPREnabled() const { return mIPConfigCurrent & tarn::gvcp::IPCONFIG_PAUSE_RECEPTION; }
bool ZuDeviceInfoGEV::IsPGEnabled() const { return mIPConfigCurrent & tarn::gvcp::IPCONFIG_PAUSE_GENERATION; }

bool ZuDeviceInfoGEV::ConfigurationValid() const
{
    auto *adapter = dynamic_cast<const ZuNetworkAdapter *>(mInterface);
    if (!adapter || mIP == 0) return false;
    for (const auto &a : ZuSystemDetail::Addresses(*adapter)) {
        // Both sides must see the other on their own subnet: a device whose
        // mask leaves the adapter outside sends its answers to a gateway.
        bool adapterSeesDevice = (a.ip & a.mask) == (mIP & a.mask);
        bool deviceSeesAdapter = (a.ip & mSubnetMask) == (mIP & mSubnetMask);
        // Sharing the adapter's own address is a conflict, except on the loopback.
        bool conflict = a.ip == mIP && (mIP >> 24) != 127;
        if (adapterSeesDevice && deviceSeesAdapter && !conflict) return true;
    }
    return false;
}

// ---- The maker's protocol ------------------------------------------------------------------

ZuDeviceInfoMorvekProtocol::ZuDeviceInfoMorvekProtocol() : ZuDeviceInfo(ZuDeviceInfoTypeMorvekProtocol) {}
ZuDeviceInfoMorvekProtocol::~ZuDeviceInfoMorvekProtocol() = default;
ZuDeviceInfo *ZuDeviceInfoMorvekProtocol::Clone() const { return new ZuDeviceInfoMorvekProtocol(*this); }
ZuString ZuDeviceInfoMorvekProtocol::GetMACAddress() const { return ZuString(tarn::gvcp::formatMac(MacOf(mMAC), ':', false)); }
ZuString ZuDeviceInfoMorvekProtocol::GetIPAddress() const { return ZuString(tarn::gvcp::formatIPv4(mIP)); }
ZuString ZuDeviceInfoMorvekProtocol::GetSubnetMask() const { return ZuString(tarn::gvcp::formatIPv4(mSubnetMask)); }
ZuString ZuDeviceInfoMorvekProtocol::GetDefaultGateway() const { return ZuString(tarn::gvcp::formatIPv4(mGateway)); }
uint8_t ZuDeviceInfoMorvekProtocol::GetDeviceID() const { return mDeviceID; }
uint8_t ZuDeviceInfoMorvekProtocol::GetModuleID() const { return mModuleID; }
uint8_t ZuDeviceInfoMorvekProtocol::GetSubID() const { return mSubID; }
uint8_t ZuDeviceInfoMorvekProtocol::GetVendorID() const { return mVendorID; }
uint8_t ZuDeviceInfoMorvekProtocol::GetSoftwareMajor() const { return mSoftwareMajor; }
uint8_t ZuDeviceInfoMorvekProtocol::GetSoftwareMinor() const { return mSoftwareMinor; }

// ---- USB and USB3 Vision ---------------------------------------------------------------------

ZuDeviceInfoUSB::ZuDeviceInfoUSB() : ZuDeviceInfo(ZuDeviceInfoTypeUSB) {}
ZuDeviceInfoUSB::ZuDeviceInfoUSB(ZuDeviceInfoType aType) : ZuDeviceInfo(aType) {}
ZuDeviceInfoUSB::~ZuDeviceInfoUSB() = default;
ZuDeviceInfo *ZuDeviceInfoUSB::Clone() const { return new ZuDeviceInfoUSB(*this); }
ZuUSBStatus ZuDeviceInfoUSB::GetStatus() const { return mStatus; }

ZuDeviceInfoU3V::ZuDeviceInfoU3V() : ZuDeviceInfoUSB(ZuDeviceInfoTypeU3V) {}
ZuDeviceInfoU3V::~ZuDeviceInfoU3V() = default;
ZuDeviceInfo *ZuDeviceInfoU3V::Clone() const { return new ZuDeviceInfoU3V(*this); }
uint32_t ZuDeviceInfoU3V::GetGenCPVersion() const { return mGenCPVersion; }
uint32_t ZuDeviceInfoU3V::GetU3VVersion() const { return mU3VVersion; }
ZuString ZuDeviceInfoU3V::GetDeviceGUID() const { return ZuString(mGUID); }
ZuString ZuDeviceInfoU3V::GetFamilyName() const { return ZuString(mFamilyName); }
ZuString ZuDeviceInfoU3V::GetU3VSerialNumber() const { return ZuString(mU3VSerialNumber); }
ZuString ZuDeviceInfoU3V::GetDevicePath() const { return ZuString(mDevicePath); }
ZuString ZuDeviceInfoU3V::GetDeviceKey() const { return ZuString(mDeviceKey); }

ZuString ZuDeviceInfoU3V::GetSpeedMessage() const
{
    switch (mSpeed) {
    case ZuUSBSpeedLow: return ZuString("low");
    case ZuUSBSpeedFull: return ZuString("full");
    case ZuUSBSpeedHigh: return ZuString("high");
    case ZuUSBSpeedSuper: return ZuString("super");
    default: return ZuString("Unknown");
    }
}

ZuString ZuDeviceInfoU3V::GetPowerMessage() const
{
    return ZuString(mStatus == ZuUSBStatusNotEnoughPower ? "The port cannot supply the power the device needs" : "Ok");
}

bool ZuDeviceInfoU3V::IsLowSpeedSupported() const { return false; }
bool ZuDeviceInfoU3V::IsFullSpeedSupported() const { return false; }
bool ZuDeviceInfoU3V::IsHighSpeedSupported() const { return false; }
bool ZuDeviceInfoU3V::IsSuperSpeedSupported() const { return false; }
bool ZuDeviceInfoU3V::IsSuperSpeedPlusSupported() const { return false; }
bool ZuDeviceInfoU3V::IsCurrentSpeedSupported() const { return false; }
ZuUSBSpeed ZuDeviceInfoU3V::GetSpeed() const { return mSpeed; }
uint32_t ZuDeviceInfoU3V::GetMaxPower() const { return mMaxPower; }
uint32_t ZuDeviceInfoU3V::GetMaxPacketSize() const { return mMaxPacketSize; }
bool ZuDeviceInfoU3V::IsMorvekDriverInstalled() const { return false; }
bool ZuDeviceInfoU3V::IsInitializedCapabilities() const { return false; }
