#include "DeviceSinks.h"

struct ZuDeviceSinkAccess {
    static ZuDeviceEventSink::Registrations &Of(ZuDeviceEventSink &aSink) { return *aSink.mRegistrations; }
};

namespace tarn {
namespace device {

namespace {

// The sink no longer names the list (or any list gone meanwhile).
void Forget(ZuDeviceEventSink &aSink, const DeviceSinks *aList)
{
    auto &regs = ZuDeviceSinkAccess::Of(aSink);
    std::lock_guard<std::mutex> lock(regs.lock);
    auto &l = regs.lists;
    l.erase(std::remove_if(l.begin(), l.end(),
                           [aList](const std::weak_ptr<DeviceSinks> &w) {
                               auto p = w.lock();
                               return !p || p.get() == aList;
                           }),
            l.end());
}

} // namespace

ZuResult Join(const std::shared_ptr<DeviceSinks> &aSinks, ZuDeviceEventSink *aSink)
{
    ZuResult r = aSinks->Add(aSink, ZU_INVALID_PARAMETER);
    if (!r.IsOK()) return r;
    auto &regs = ZuDeviceSinkAccess::Of(*aSink);
    std::lock_guard<std::mutex> lock(regs.lock);
    regs.lists.push_back(aSinks);
    return r;
}

ZuResult Leave(const std::shared_ptr<DeviceSinks> &aSinks, ZuDeviceEventSink *aSink)
{
    ZuResult r = aSinks->Remove(aSink);
    if (r.IsOK()) Forget(*aSink, aSinks.get());
    return r;
}

} // namespace device
} // namespace tarn

ZuDeviceEventSink::ZuDeviceEventSink() : mRegistrations(std::make_shared<Registrations>()) {}

ZuDeviceEventSink::~ZuDeviceEventSink()
{
    LeaveDevices();
}

void ZuDeviceEventSink::LeaveDevices()
{
    std::vector<std::weak_ptr<tarn::device::DeviceSinks>> lists;
    {
        std::lock_guard<std::mutex> lock(mRegistrations->lock);
        lists = mRegistrations->lists;
    }
    for (const auto &w : lists)
        if (auto list = w.lock()) tarn::device::Leave(list, this);
}

void ZuDeviceEventSink::OnLinkDisconnected(ZuDevice *) {}
void ZuDeviceEventSink::OnLinkReconnected(ZuDevice *) {}
void ZuDeviceEventSink::OnEvent(ZuDevice *, uint16_t, uint16_t, uint64_t, uint64_t, const void *, uint32_t) {}
void ZuDeviceEventSink::OnEventGenICam(ZuDevice *, uint16_t, uint16_t, uint64_t, uint64_t, ZuGenParameterList *) {}
void ZuDeviceEventSink::OnCmdLinkRead(const void *, int64_t, int64_t) {}
void ZuDeviceEventSink::OnCmdLinkWrite(const void *, int64_t, int64_t) {}
