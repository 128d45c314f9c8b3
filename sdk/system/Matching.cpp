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
    return ZuString(Of(aAdapter).mCompareID).Narrow();
}

const std::vector<tarn::AdapterAddress> &ZuSystemDetail::Addresses(const ZuNetworkAdapter &aAdapter)
{
    return Of(aAdapter).mAddresses;
}

std::unique_ptr<ZuDeviceInfoGEV> ZuSystemDetail::MakeGEV(const gvcp::DeviceIdentity &id, const ZuNetworkAdapter *aAdapter)
{
    auto info = std::make_unique<ZuDeviceInfoGEV>();
    auto &d = Of(*info);
    std::memcpy(d.mMAC, id.mac.data(), 6);
    d.mIP = id.ip;
    d.mSubnetMask = id.subnetMask;
    d.mGateway = id.gateway;
    d.mGEVVersion = (uint32_t(id.versionMajor) << 16) | id.versionMinor;
    d.mIPConfigOptions = id.ipConfigOptions;
    d.mIPConfigCurrent = id.ipConfigCurrent;
    d.mClass = ZuDeviceClass(id.DeviceClass() + 1);
    if (d.mClass > ZuDeviceClassPeripheral) d.mClass = ZuDeviceClassUnknown;
    d.mVendorName = Wide(id.manufacturerName);
    d.mModelName = Wide(id.modelName);
    d.mVersion = Wide(id.deviceVersion);
    d.mManufacturerInfo = Wide(id.manufacturerInfo);
    d.mSerialNumber = Wide(id.serialNumber);
    d.mUserDefinedName = Wide(id.userDefinedName);
    std::wstring ip = Wide(gvcp::formatIPv4(id.ip));
    d.mDisplayID = (id.userDefinedName.empty() ? d.mModelName : d.mUserDefinedName) + L" (" + ip + L")";
    d.mUniqueID = Wide(gvcp::formatMac(id.mac, ':', false));
    d.mConnectionID = ip;
    d.mInterface = aAdapter;
    return info;
}

bool ZuSystemDetail::SameMac(const ZuDeviceInfoGEV &a, const ZuDeviceInfoGEV &b)
{
    return std::memcmp(Of(a).mMAC, Of(b).mMAC, 6) == 0;
}

bool ZuSystemDetail::SameDevice(const ZuDeviceInfoGEV &a, const ZuDeviceInfoGEV &b)
{
    return SameMac(a, b) && Of(a).mIP == Of(b).mIP;
}

bool ZuSystemDetail::SameInterface(const ZuInterface &a, const ZuInterface &b)
{
    const ZuInterface::Impl &x = Of(a), &y = Of(b);
    if (x.mType != y.mType || x.mName != y.mName || x.mDisplayID != y.mDisplayID || x.mUniqueID != y.mUniqueID ||
        x.mCompareID != y.mCompareID)
        return false;
    if (dynamic_cast<const ZuNetworkAdapter *>(&a) && dynamic_cast<const ZuNetworkAdapter *>(&b)) {
        auto sameAddress = [](const tarn::AdapterAddress &p, const tarn::AdapterAddress &q) {
            return p.ip == q.ip && p.mask == q.mask;
        };
        return x.mMAC == y.mMAC && x.mDescription == y.mDescription && x.mGateway == y.mGateway &&
               std::equal(x.mAddresses.begin(), x.mAddresses.end(), y.mAddresses.begin(), y.mAddresses.end(),
                          sameAddress);
    }
    if (dynamic_cast<const ZuUSBHostController *>(&a) && dynamic_cast<const ZuUSBHostController *>(&b))
        return x.mVendorID == y.mVendorID && x.mDeviceID == y.mDeviceID && x.mSubsystemID == y.mSubsystemID &&
               x.mRevision == y.mRevision && x.mSpeed == y.mSpeed;
    return false;
}

bool ZuSystemDetail::SameInformation(const ZuDeviceInfo &a, const ZuDeviceInfo &b)
{
    auto *ga = dynamic_cast<const ZuDeviceInfoGEV *>(&a);
    auto *gb = dynamic_cast<const ZuDeviceInfoGEV *>(&b);
    if (!ga || !gb || !SameDevice(*ga, *gb)) return false;
    const ZuDeviceInfo::Impl &x = Of(a), &y = Of(b);
    return x.mInterface == y.mInterface && x.mClass == y.mClass && x.mVendorName == y.mVendorName &&
           x.mModelName == y.mModelName && x.mVersion == y.mVersion && x.mManufacturerInfo == y.mManufacturerInfo &&
           x.mSerialNumber == y.mSerialNumber && x.mUserDefinedName == y.mUserDefinedName &&
           x.mSubnetMask == y.mSubnetMask && x.mGateway == y.mGateway && x.mGEVVersion == y.mGEVVersion &&
           x.mIPConfigOptions == y.mIPConfigOptions && x.mIPConfigCurrent == y.mIPConfigCurrent;
}

bool ZuSystemDetail::Matches(const ZuDeviceInfo &aInfo, const std::string &aText)
{
    if (auto *gev = dynamic_cast<const ZuDeviceInfoGEV *>(&aInfo)) {
        gvcp::Mac mac;
        if (gvcp::parseMac(aText, mac) && std::memcmp(mac.data(), Of(*gev).mMAC, 6) == 0) return true;
        uint32_t ip;
        if (gvcp::parseIPv4(aText, ip) && ip == Of(*gev).mIP) return true;
    }
    std::wstring text = Wide(aText);
    return text == Of(aInfo).mUserDefinedName || text == Of(aInfo).mSerialNumber || text == Of(aInfo).mUniqueID ||
           text == Of(aInfo).mDisplayID || text == Of(aInfo).mConnectionID;
}
