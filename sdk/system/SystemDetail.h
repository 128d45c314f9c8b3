#ifndef TARN_SYSTEM_DETAIL_H
#define TARN_SYSTEM_DETAIL_H

// What the discovery code needs to fill the SDK's objects and to reach the
// network, shared by the files of libZuSystem only.

#include "gev/gvcp.h"
#include "tarn/Discovery.h"
#include "ZuSystem.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tarn {
namespace net {
struct Adapter;
}
} // namespace tarn

namespace tarn {

// One IPv4 address of an adapter, with its mask.
struct AdapterAddress {
    uint32_t ip;
    uint32_t mask;
};

} // namespace tarn

// What a device information holds, for every kind: each kind reads its own.
struct ZuDeviceInfo::Impl
{
    explicit Impl(ZuDeviceInfoType aType) : mType(aType) {}

    ZuDeviceInfoType mType;
    ZuDeviceClass mClass = ZuDeviceClassUnknown;
    std::wstring mVendorName;
    std::wstring mModelName;
    std::wstring mVersion;
    std::wstring mManufacturerInfo;
    std::wstring mSerialNumber;
    std::wstring mUserDefinedName;
    std::wstring mDisplayID;
    std::wstring mUniqueID;
    std::wstring mConnectionID;
    const ZuInterface *mInterface = nullptr;
    // A copy keeps its own copy of the interface, so that it outlives the system.
    std::shared_ptr<const ZuInterface> mOwnedInterface;

    // GigE Vision and the maker's protocol.
    uint8_t mMAC[6] = {};
    uint32_t mIP = 0;
    uint32_t mSubnetMask = 0;
    uint32_t mGateway = 0;
    uint32_t mGEVVersion = 0;
    uint32_t mIPConfigOptions = 0;
    uint32_t mIPConfigCurrent = 0;
    uint8_t mDeviceID = 0, mModuleID = 0, mSubID = 0, mVendorID = 0, mSoftwareMajor = 0, mSoftwareMinor = 0;

    // USB and USB3 Vision.
    ZuUSBStatus mStatus = ZuUSBStatusNotInitialized;
    uint32_t mGenCPVersion = 0, mU3VVersion = 0, mMaxPower = 0, mMaxPacketSize = 0;
    std::wstring mGUID, mFamilyName, mU3VSerialNumber, mDevicePath, mDeviceKey;
    ZuUSBSpeed mSpeed = ZuUSBSpeedUnknown;
};

// What an interface holds, for every kind.
struct ZuInterface::Impl
{
    explicit Impl(ZuInterfaceType aType) : mType(aType) {}
    // The identity and what the kind reports, without the device informations.
    Impl(const Impl &aOther);

    ZuInterfaceType mType;
    std::wstring mName;
    std::wstring mDisplayID;
    std::wstring mUniqueID;
    std::wstring mCompareID;
    // Device informations found through this interface: owned by the
    // system for a found interface, by the interface for a copy.
    std::vector<const ZuDeviceInfo *> mDevices;
    std::vector<std::unique_ptr<ZuDeviceInfo>> mOwnedDevices;

    // Network adapters.
    std::string mMAC;
    std::wstring mDescription;
    std::vector<tarn::AdapterAddress> mAddresses;
    uint32_t mGateway = 0;

    // USB host controllers.
    uint32_t mVendorID = 0;
    uint32_t mDeviceID = 0;
    uint32_t mSubsystemID = 0;
    uint32_t mRevision = 0;
    ZuUSBSpeed mSpeed = ZuUSBSpeedUnknown;
};

struct ZuSystemDetail
{
    static ZuDeviceInfo::Impl &Of(const ZuDeviceInfo &aInfo) { return *aInfo.mImpl; }
    static ZuInterface::Impl &Of(const ZuInterface &aInterface) { return *aInterface.mImpl; }
    // A copy of the same kind (null for a kind this library does not make).
    static std::unique_ptr<ZuDeviceInfo> Clone(const ZuDeviceInfo &aInfo);
    // A copy of the same kind, without the device informations.
    static std::unique_ptr<ZuInterface> CloneBare(const ZuInterface &aInterface);
    // Whether the device can be reached as it is configured now.
    static bool ConfigurationValid(const ZuDeviceInfoGEV &aInfo);

    static std::wstring Wide(const std::string &utf8);

    // The host's network adapters (getifaddrs, the loopback included) and USB
    // host controllers (sysfs, none where it is absent).
    static std::vector<std::unique_ptr<ZuInterface>> ListInterfaces();
    static std::unique_ptr<ZuNetworkAdapter> MakeAdapter(const tarn::net::Adapter &aAdapter);
    static void ListUSBHostControllers(std::vector<std::unique_ptr<ZuInterface>> &aOut);

    // Whether discovery may send through this adapter: the loopback only,
    // unless TARN_DISCOVERY_INTERFACES names the adapters to use.
    static bool MaySend(const ZuNetworkAdapter &aAdapter);

    static std::unique_ptr<ZuDeviceInfoGEV> MakeGEV(const tarn::gvcp::DeviceIdentity &aIdentity,
                                                    const ZuNetworkAdapter *aAdapter);

    static std::string AdapterName(const ZuNetworkAdapter &aAdapter);
    static const std::vector<tarn::AdapterAddress> &Addresses(const ZuNetworkAdapter &aAdapter);
    // Guards the device lists of found interfaces: FindDevice adds to them
    // while other threads may read them.
    static std::mutex &DeviceListMutex();
    static void AddDevice(ZuInterface &aInterface, const ZuDeviceInfo *aInfo)
    {
        std::lock_guard<std::mutex> lock(DeviceListMutex());
        Of(aInterface).mDevices.push_back(aInfo);
    }
    static void RemoveDevice(ZuInterface &aInterface, const ZuDeviceInfo *aInfo)
    {
        std::lock_guard<std::mutex> lock(DeviceListMutex());
        auto &list = Of(aInterface).mDevices;
        list.erase(std::remove(list.begin(), list.end(), aInfo), list.end());
    }
    static void SetDevices(ZuInterface &aInterface, std::vector<const ZuDeviceInfo *> aInfos)
    {
        std::lock_guard<std::mutex> lock(DeviceListMutex());
        Of(aInterface).mDevices = std::move(aInfos);
    }
    // The same device (one answer may arrive twice).
    static bool SameDevice(const ZuDeviceInfoGEV &a, const ZuDeviceInfoGEV &b);
    // The same hardware, wherever its address now is.
    static bool SameMac(const ZuDeviceInfoGEV &a, const ZuDeviceInfoGEV &b);
    // Equal in everything they report: a new discovery keeps the object.
    static bool SameInterface(const ZuInterface &a, const ZuInterface &b);
    static bool SameInformation(const ZuDeviceInfo &a, const ZuDeviceInfo &b);
    static bool Matches(const ZuDeviceInfo &aInfo, const std::string &aText);
};

namespace tarn {
namespace discovery {

struct Answer {
    size_t target;   // index into the targets given
    gvcp::DeviceIdentity identity;
};

// Sends DISCOVERY from each target address and collects the answers until
// the time-out, or earlier once `done` says so. False when no target could send.
bool DiscoverGEV(const std::vector<Target> &aTargets, uint32_t aTimeoutMs, bool aSubnetBroadcast,
                 const std::function<bool(const Answer &)> &aDone, std::vector<Answer> &aAnswers);

struct Session {
    std::string name, address, localAddress;
    uint16_t port = 0;
};

// Listens for SAP announcements on the given local addresses for the time-out.
std::vector<Session> ListenSAP(const std::vector<Target> &aTargets, uint32_t aTimeoutMs);

} // namespace discovery
} // namespace tarn

#endif
