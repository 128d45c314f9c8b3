#include "SystemDetail.h"

#include "gev/gvcp.h"

ZuInterface::ZuInterface(ZuInterfaceType aType) : mImpl(new Impl(aType)) {}

// A copy takes the identity only: the device informations belong to their
// owner, and Copy() adds copies of its own.
ZuInterface::ZuInterface(const ZuInterface &aOther) : mImpl(new Impl(*aOther.mImpl)) {}

ZuInterface::Impl::Impl(const Impl &aOther)
    : mType(aOther.mType), mName(aOther.mName), mDisplayID(aOther.mDisplayID), mUniqueID(aOther.mUniqueID),
      mCompareID(aOther.mCompareID), mMAC(aOther.mMAC), mDescription(aOther.mDescription),
      mAddresses(aOther.mAddresses), mGateway(aOther.mGateway), mVendorID(aOther.mVendorID),
      mDeviceID(aOther.mDeviceID), mSubsystemID(aOther.mSubsystemID), mRevision(aOther.mRevision),
      mSpeed(aOther.mSpeed)
{
}

ZuInterface::~ZuInterface() = default;

ZuInterfaceType ZuInterface::GetType() const { return mImpl->mType; }
ZuString ZuInterface::GetName() const { return ZuString(mImpl->mName); }
ZuString ZuInterface::GetDisplayID() const { return ZuString(mImpl->mDisplayID); }
ZuString ZuInterface::GetUniqueID() const { return ZuString(mImpl->mUniqueID); }
ZuString ZuInterface::GetCompareID() const { return ZuString(mImpl->mCompareID); }
ZuString ZuInterface::GetMorvekDriverVersion() const { return ZuString(""); }
std::mutex &ZuSystemDetail::DeviceListMutex()
{
    static std::mutex mutex;
    return mutex;
}

uint32_t ZuInterface::GetDeviceCount() const
{
    std::lock_guard<std::mutex> lock(ZuSystemDetail::DeviceListMutex());
    return uint32_t(mImpl->mDevices.size());
}

const ZuDeviceInfo *ZuInterface::GetDeviceInfo(uint32_t aIndex) const
{
    std::lock_guard<std::mutex> lock(ZuSystemDetail::DeviceListMutex());
    return aIndex < mImpl->mDevices.size() ? mImpl->mDevices[aIndex] : nullptr;
}

std::unique_ptr<ZuInterface> ZuSystemDetail::CloneBare(const ZuInterface &aInterface)
{
    if (auto *adapter = dynamic_cast<const ZuNetworkAdapter *>(&aInterface))
        return std::make_unique<ZuNetworkAdapter>(*adapter);
    if (auto *controller = dynamic_cast<const ZuUSBHostController *>(&aInterface))
        return std::make_unique<ZuUSBHostController>(*controller);
    return nullptr;
}

ZuInterface *ZuInterface::Copy() const
{
    std::unique_ptr<ZuInterface> copy = ZuSystemDetail::CloneBare(*this);
    if (!copy) return nullptr;
    std::vector<const ZuDeviceInfo *> devices;
    {
        std::lock_guard<std::mutex> lock(ZuSystemDetail::DeviceListMutex());
        devices = mImpl->mDevices;
    }
    Impl &c = *copy->mImpl;
    for (const ZuDeviceInfo *info : devices) {
        std::unique_ptr<ZuDeviceInfo> dup = ZuSystemDetail::Clone(*info);
        if (!dup) continue;
        auto &d = ZuSystemDetail::Of(*dup);
        d.mOwnedInterface.reset();
        d.mInterface = copy.get();
        c.mDevices.push_back(dup.get());
        c.mOwnedDevices.push_back(std::move(dup));
    }
    return copy.release();
}

bool ZuInterface::Compare(const ZuInterface *a1, const ZuInterface *a2)
{
    if (!a1 || !a2) return false;
    return a1->mImpl->mCompareID < a2->mImpl->mCompareID;
}

// ---- Network adapter ------------------------------------------------------------

namespace {

// The kinds read their fields through the library's access.
auto &D(const ZuInterface &aInterface) { return ZuSystemDetail::Of(aInterface); }

} // namespace

ZuNetworkAdapter::ZuNetworkAdapter() : ZuInterface(ZuInterfaceTypeNetworkAdapter) { D(*this).mMAC = "00.00.00.00.00.00"; }
ZuNetworkAdapter::~ZuNetworkAdapter() = default;

ZuString ZuNetworkAdapter::GetMACAddress() const { return ZuString(D(*this).mMAC); }
ZuString ZuNetworkAdapter::GetDescription() const { return ZuString(D(*this).mDescription); }
uint32_t ZuNetworkAdapter::GetIPAddressCount() const { return uint32_t(D(*this).mAddresses.size()); }

ZuString ZuNetworkAdapter::GetIPAddress(uint32_t aIndex) const
{
    return ZuString(tarn::gvcp::formatIPv4(aIndex < D(*this).mAddresses.size() ? D(*this).mAddresses[aIndex].ip : 0));
}

ZuString ZuNetworkAdapter::GetSubnetMask(uint32_t aIndex) const
{
    return ZuString(tarn::gvcp::formatIPv4(aIndex < D(*this).mAddresses.size() ? D(*this).mAddresses[aIndex].mask : 0));
}

ZuString ZuNetworkAdapter::GetDefaultGateway() const { return ZuString(tarn::gvcp::formatIPv4(D(*this).mGateway)); }
bool ZuNetworkAdapter::IsMorvekDriverInstalled() const { return false; }

// ---- USB host controller -----------------------------------------------------------

ZuUSBHostController::ZuUSBHostController() : ZuInterface(ZuInterfaceTypeUSBHostController) {}
ZuUSBHostController::~ZuUSBHostController() = default;

uint32_t ZuUSBHostController::GetVendorID() const { return D(*this).mVendorID; }
uint32_t ZuUSBHostController::GetDeviceID() const { return D(*this).mDeviceID; }
uint32_t ZuUSBHostController::GetSubsystemID() const { return D(*this).mSubsystemID; }
uint32_t ZuUSBHostController::GetRevision() const { return D(*this).mRevision; }
ZuUSBSpeed ZuUSBHostController::GetSpeed() const { return D(*this).mSpeed; }
