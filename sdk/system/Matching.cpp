// Device informations made from discovery answers, and the comparisons
// that decide whether two findings are the same device.

#include "SystemDetail.h"

#include <cstring>

namespace gvcp = tarn::gvcp;

std::wstring ZuSystemDetail::Wide(const std::string &utf8)
{
    return ZuString(utf8).Wide();
}

std::string ZuSystemDetail::AdapterName(const ZuNetworkAdapter &aAdapter)
{
    return ZuString(aAdapter.mCompareID).Narrow();
}

const std::vector<ZuNetworkAdapter::Address> &ZuSystemDetail::Addresses(const ZuNetworkAdapter &aAdapter)
{
    return aAdapter.mAddresses;
}

std::unique_ptr<ZuDeviceInfoGEV> ZuSystemDetail::MakeGEV(const gvcp::DeviceIdentity &id, const ZuNetworkAdapter *aAdapter)
{
    auto info = std::make_unique<ZuDeviceInfoGEV>();
    std::memcpy(info->mMAC, id.mac.data(), 6);
    info->mIP = id.ip;
    info->mSubnetMask = id.subnetMask;
    info->mGateway = id.gateway;
    info->mGEVVersion = (uint32_t(id.versionMajor) << 16) | id.versionMinor;
    info->mIPConfigOptions = id.ipConfigOptions;
    info->mIPConfigCurrent = id.ipConfigCurrent;
    info->mClass = ZuDeviceClass(id.deviceClass() + 1);
    if (info->mClass > ZuDeviceClassPeripheral) info->mClass = ZuDeviceClassUnknown;
    info->mVendorName = Wide(id.manufacturerName);
    info->mModelName = Wide(id.modelName);
    info->mVersion = Wide(id.deviceVersion);
    info->mManufacturerInfo = Wide(id.manufacturerInfo);
    info->mSerialNumber = Wide(id.serialNumber);
    info->mUserDefinedName = Wide(id.userDefinedName);
    std::wstring ip = Wide(gvcp::formatIPv4(id.ip));
    info->mDisplayID = (id.userDefinedName.empty() ? info->mModelName : info->mUserDefinedName) + L" (" + ip + L")";
    info->mUniqueID = Wide(gvcp::formatMac(id.mac, ':', false));
    info->mConnectionID = ip;
    info->mInterface = aAdapter;
    return info;
}

bool ZuSystemDetail::SameMac(const ZuDeviceInfoGEV &a, const ZuDeviceInfoGEV &b)
{
    return std::memcmp(a.mMAC, b.mMAC, 6) == 0;
}

bool ZuSystemDetail::SameDevice(const ZuDeviceInfoGEV &a, const ZuDeviceInfoGEV &b)
{
    return SameMac(a, b) && a.mIP == b.mIP;
}

bool ZuSystemDetail::SameInterface(const ZuInterface &a, const ZuInterface &b)
{
    if (a.mType != b.mType || a.mName != b.mName || a.mDisplayID != b.mDisplayID || a.mUniqueID != b.mUniqueID ||
        a.mCompareID != b.mCompareID)
        return false;
    auto *na = dynamic_cast<const ZuNetworkAdapter *>(&a);
    auto *nb = dynamic_cast<const ZuNetworkAdapter *>(&b);
    if (na && nb) {
        auto sameAddress = [](const ZuNetworkAdapter::Address &x, const ZuNetworkAdapter::Address &y) {
            return x.ip == y.ip && x.mask == y.mask;
        };
        return na->mMAC == nb->mMAC && na->mDescription == nb->mDescription && na->mGateway == nb->mGateway &&
               std::equal(na->mAddresses.begin(), na->mAddresses.end(), nb->mAddresses.begin(), nb->mAddresses.end(),
                          sameAddress);
    }
    auto *ua = dynamic_cast<const ZuUSBHostController *>(&a);
    auto *ub = dynamic_cast<const ZuUSBHostController *>(&b);
    if (ua && ub)
        return ua->mVendorID == ub->mVendorID && ua->mDeviceID == ub->mDeviceID &&
               ua->mSubsystemID == ub->mSubsystemID && ua->mRevision == ub->mRevision && ua->mSpeed == ub->mSpeed;
    return false;
}

bool ZuSystemDetail::SameInformation(const ZuDeviceInfo &a, const ZuDeviceInfo &b)
{
    auto *ga = dynamic_cast<const ZuDeviceInfoGEV *>(&a);
    auto *gb = dynamic_cast<const ZuDeviceInfoGEV *>(&b);
    return ga && gb && SameDevice(*ga, *gb) && a.mInterface == b.mInterface && a.mClass == b.mClass &&
           a.mVendorName == b.mVendorName && a.mModelName == b.mModelName && a.mVersion == b.mVersion &&
           a.mManufacturerInfo == b.mManufacturerInfo && a.mSerialNumber == b.mSerialNumber &&
           a.mUserDefinedName == b.mUserDefinedName && ga->mSubnetMask == gb->mSubnetMask &&
           ga->mGateway == gb->mGateway && ga->mGEVVersion == gb->mGEVVersion &&
           ga->mIPConfigOptions == gb->mIPConfigOptions && ga->mIPConfigCurrent == gb->mIPConfigCurrent;
}

bool ZuSystemDetail::Matches(const ZuDeviceInfo &aInfo, const std::string &aText)
{
    if (auto *gev = dynamic_cast<const ZuDeviceInfoGEV *>(&aInfo)) {
        gvcp::Mac mac;
        if (gvcp::parseMac(aText, mac) && std::memcmp(mac.data(), gev->mMAC, 6) == 0) return true;
        uint32_t ip;
        if (gvcp::parseIPv4(aText, ip) && ip == gev->mIP) return true;
    }
    std::wstring text = Wide(aText);
    return text == aInfo.mUserDefinedName || text == aInfo.mSerialNumber || text == aInfo.mUniqueID ||
           text == aInfo.mDisplayID || text == aInfo.mConnectionID;
}
