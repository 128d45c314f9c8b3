// The host's interfaces as the SDK reports them: network adapters (from
// sdk/net) and USB host controllers (from sysfs), and which adapters
// discovery may send through.

#include "SystemDetail.h"

#include "net/adapters.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>

namespace gvcp = tarn::gvcp;

namespace {

std::string ReadLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

uint32_t ReadHex(const std::string &path)
{
    std::string text = ReadLine(path);
    return text.empty() ? 0 : uint32_t(std::strtoul(text.c_str(), nullptr, 16));
}

} // namespace

std::unique_ptr<ZuNetworkAdapter> ZuSystemDetail::MakeAdapter(const tarn::net::Adapter &aFrom)
{
    auto adapter = std::make_unique<ZuNetworkAdapter>();
    auto &d = Of(*adapter);
    std::wstring wide = Wide(aFrom.name);
    d.mName = wide;
    d.mDescription = wide;
    d.mCompareID = wide;
    d.mUniqueID = L"NIC:" + wide;
    d.mGateway = aFrom.gateway;
    if (aFrom.hasMac) d.mMAC = gvcp::formatMac(aFrom.mac, '.', true);
    for (const auto &a : aFrom.addresses) d.mAddresses.push_back(tarn::AdapterAddress{a.ip, a.mask});
    std::wstring display = d.mName;
    if (!d.mAddresses.empty())
        display += L" (" + Wide(gvcp::formatIPv4(d.mAddresses[0].ip)) + L")";
    d.mDisplayID = display;
    return adapter;
}

// USB host controllers: PCI functions of class 0x0C03.
void ZuSystemDetail::ListUSBHostControllers(std::vector<std::unique_ptr<ZuInterface>> &aOut)
{
    const std::string root = "/sys/bus/pci/devices";
    DIR *dir = ::opendir(root.c_str());
    if (!dir) return;
    std::vector<std::string> slots;
    while (dirent *e = ::readdir(dir)) {
        if (e->d_name[0] != '.') slots.push_back(e->d_name);
    }
    ::closedir(dir);
    std::sort(slots.begin(), slots.end());
    for (const std::string &slot : slots) {
        std::string base = root + "/" + slot + "/";
        uint32_t cls = ReadHex(base + "class");
        if ((cls >> 8) != 0x0C03) continue;
        auto hc = std::make_unique<ZuUSBHostController>();
        auto &hcd = Of(*hc);
        hcd.mVendorID = ReadHex(base + "vendor");
        hcd.mDeviceID = ReadHex(base + "device");
        hcd.mSubsystemID = (ReadHex(base + "subsystem_device") << 16) | ReadHex(base + "subsystem_vendor");
        hcd.mRevision = ReadHex(base + "revision");
        const char *kind = "USB";
        switch (cls & 0xFF) {
        case 0x00: hcd.mSpeed = ZuUSBSpeedFull; kind = "UHCI"; break;
        case 0x10: hcd.mSpeed = ZuUSBSpeedFull; kind = "OHCI"; break;
        case 0x20: hcd.mSpeed = ZuUSBSpeedHigh; kind = "EHCI"; break;
        case 0x30: hcd.mSpeed = ZuUSBSpeedSuper; kind = "xHCI"; break;
        default: hcd.mSpeed = ZuUSBSpeedUnknown; break;
        }
        std::wstring wslot = Wide(slot);
        hcd.mName = Wide(std::string(kind) + " USB host controller");
        hcd.mDisplayID = hcd.mName + L" (" + wslot + L")";
        hcd.mUniqueID = L"USB:" + wslot;
        hcd.mCompareID = L"~usb:" + wslot;  // after the network adapters
        aOut.push_back(std::move(hc));
    }
}

std::vector<std::unique_ptr<ZuInterface>> ZuSystemDetail::ListInterfaces()
{
    std::vector<std::unique_ptr<ZuInterface>> out;
    for (const tarn::net::Adapter &a : tarn::net::listAdapters()) out.push_back(MakeAdapter(a));
    ListUSBHostControllers(out);
    return out;
}

bool ZuSystemDetail::MaySend(const ZuNetworkAdapter &aAdapter)
{
    const std::string name = AdapterName(aAdapter);
    const char *allowed = std::getenv("TARN_DISCOVERY_INTERFACES");
    if (!allowed || !*allowed) {
        // The loopback only: its addresses never leave the machine.
        for (const auto &a : Of(aAdapter).mAddresses)
            if ((a.ip >> 24) != 127) return false;
        return !Of(aAdapter).mAddresses.empty() && name == "lo";
    }
    std::stringstream list(allowed);
    std::string item;
    while (std::getline(list, item, ',')) {
        size_t b = item.find_first_not_of(" \t");
        size_t e = item.find_last_not_of(" \t");
        if (b != std::string::npos && item.substr(b, e - b + 1) == name) return true;
    }
    return false;
}
