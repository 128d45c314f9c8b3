#include "ZuStreamU3V.h"
#include "ZuDeviceInfo.h"

// No USB transport exists here: discovery never finds a USB3 Vision device,
// so no information or GUID leads to one.

namespace {

ZuResult NoDevice(const ZuDeviceInfo *aDeviceInfo)
{
    if (aDeviceInfo && aDeviceInfo->GetType() != ZuDeviceInfoTypeU3V)
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("not a USB3 Vision device"));
    return ZuResult(ZU_NOT_FOUND, ZuString("no USB3 Vision device is reachable: this system has no USB transport"));
}

} // namespace

ZuStreamU3V::ZuStreamU3V() {}

ZuStreamU3V::~ZuStreamU3V() {}

ZuStreamType ZuStreamU3V::GetType() const { return ZuStreamTypeU3V; }

ZuResult ZuStreamU3V::Open(const ZuDeviceInfo *aDeviceInfo) { return Open(aDeviceInfo, 0); }

ZuResult ZuStreamU3V::Open(const ZuDeviceInfo *aDeviceInfo, uint16_t, uint32_t, uint32_t, uint32_t)
{
    return NoDevice(aDeviceInfo);
}

ZuResult ZuStreamU3V::Open(const ZuString &aGUID) { return Open(aGUID, 0); }

ZuResult ZuStreamU3V::Open(const ZuString &, uint16_t, uint32_t, uint32_t, uint32_t) { return NoDevice(nullptr); }

ZuString ZuStreamU3V::GetGUID() { return ZuString(); }
