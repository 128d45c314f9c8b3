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

struct ZuSystemDetail
{
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
    static const std::vector<ZuNetworkAdapter::Address> &Addresses(const ZuNetworkAdapter &aAdapter);
    // Guards the device lists of found interfaces: FindDevice adds to them
    // while other threads may read them.
    static std::mutex &DeviceListMutex();
    static void AddDevice(ZuInterface &aInterface, const ZuDeviceInfo *aInfo)
    {
        std::lock_guard<std::mutex> lock(DeviceListMutex());
        aInterface.mDevices.push_back(aInfo);
    }
    static void RemoveDevice(ZuInterface &aInterface, const ZuDeviceInfo *aInfo)
    {
        std::lock_guard<std::mutex> lock(DeviceListMutex());
        auto &list = aInterface.mDevices;
        list.erase(std::remove(list.begin(), list.end(), aInfo), list.end());
    }
    static void SetDevices(ZuInterface &aInterface, std::vector<const ZuDeviceInfo *> aInfos)
    {
        std::lock_guard<std::mutex> lock(DeviceListMutex());
        aInterface.mDevices = std::move(aInfos);
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
