#include "SystemDetail.h"

#include "gev/gvcp.h"

ZuInterface::ZuInterface(ZuInterfaceType aType) : mType(aType) {}

// A copy takes the identity only: the device informations belong to their
// owner, and Copy() adds copies of its own.
ZuInterface::ZuInterface(const ZuInterface &aOther)
    : mType(aOther.mType), mName(aOther.mName), mDisplayID(aOther.mDisplayID),
      mUniqueID(aOther.mUniqueID), mCompareID(aOther.mCompareID)
{
}

ZuInterface::~ZuInterface() = default;

ZuInterfaceType ZuInterface::GetType() const { return mType; }
ZuString ZuInterface::GetName() const { return ZuString(mName); }
ZuString ZuInterface::GetDisplayID() const { return ZuString(mDisplayID); }
ZuString ZuInterface::GetUniqueID() const { return ZuString(mUniqueID); }
ZuString ZuInterface::GetCompareID() const { return ZuString(mCompareID); }
ZuString ZuInterface::GetMorvekDriverVersion() const { return ZuString(""); }
std::mutex &ZuSystemDetail::DeviceListMutex()
{
    static std::mutex mutex;
    return mutex;
}

uint32_t ZuInterface::GetDeviceCount() const
{
    std::lock_guard<std::mutex> lock(ZuSystemDetail::DeviceListMutex());
    return uint32_t(mDevices.size());
}

const ZuDeviceInfo *ZuInterface::GetDeviceInfo(uint32_t aIndex) const
{
    std::lock_guard<std::mutex> lock(ZuSystemDetail::DeviceListMutex());
    return aIndex < mDevices.size() ? mDevices[aIndex] : nullptr;
}

ZuInterface *ZuInterface::Copy() const
{
    ZuInterface *copy = CloneBare();
    std::vector<const ZuDeviceInfo *> devices;
    {
        std::lock_guard<std::mutex> lock(ZuSystemDetail::DeviceListMutex());
        devices = mDevices;
    }
    for (const ZuDeviceInfo *info : devices) {
        std::unique_ptr<ZuDeviceInfo> dup(info->Clone());
        dup->mOwnedInterface.reset();
        dup->mInterface = copy;
        copy->mDevices.push_back(dup.get());
        copy->mOwnedDevices.push_back(std::move(dup));
    }
    return copy;
}

bool ZuInterface::Compare(const ZuInterface *a1, const ZuInterface *a2)
{
    if (!a1 || !a2) return false;
    return a1->mCompareID < a2->mCompareID;
}

// ---- Network adapter ------------------------------------------------------------

ZuNetworkAdapter::ZuNetworkAdapter() : ZuInterface(ZuInterfaceTypeNetworkAdapter), mMAC("00.00.00.00.00.00") {}
ZuNetworkAdapter::~ZuNetworkAdapter() = default;
ZuInterface *ZuNetworkAdapter::CloneBare() const { return new ZuNetworkAdapter(*this); }

ZuString ZuNetworkAdapter::GetMACAddress() const { return ZuString(mMAC); }
ZuString ZuNetworkAdapter::GetDescription() const { return ZuString(mDescription); }
uint32_t ZuNetworkAdapter::GetIPAddressCount() const { return uint32_t(mAddresses.size()); }

ZuString ZuNetworkAdapter::GetIPAddress(uint32_t aIndex) const
{
    return ZuString(tarn::gvcp::formatIPv4(aIndex < mAddresses.size() ? mAddresses[aIndex].ip : 0));
}

ZuString ZuNetworkAdapter::GetSubnetMask(uint32_t aIndex) const
{
    return ZuString(tarn::gvcp::formatIPv4(aIndex < mAddresses.size() ? mAddresses[aIndex].mask : 0));
}

ZuString ZuNetworkAdapter::GetDefaultGateway() const { return ZuString(tarn::gvcp::formatIPv4(mGateway)); }
bool ZuNetworkAdapter::IsMorvekDriverInstalled() const { return false; }

// ---- USB host controller -----------------------------------------------------------

ZuUSBHostController::ZuUSBHostController() : ZuInterface(ZuInterfaceTypeUSBHostController) {}
ZuUSBHostController::~ZuUSBHostController() = default;
ZuInterface *ZuUSBHostController::CloneBare() const { return new ZuUSBHostController(*this); }

uint32_t ZuUSBHostController::GetVendorID() const { return mVendorID; }
uint32_t ZuUSBHostController::GetDeviceID() const { return mDeviceID; }
uint32_t ZuUSBHostController::GetSubsystemID() const { return mSubsystemID; }
uint32_t ZuUSBHostController::GetRevision() const { return mRevision; }
ZuUSBSpeed ZuUSBHostController::GetSpeed() const { return mSpeed; }
