#include "softdevice/model/event_sinks.h"

namespace tarn {
namespace softdevice {

ZuResult EventSinks::Remove(IZuVirtualDeviceGEVEventSink *aSink)
{
    if (!aSink) return ZuResult(ZU_INVALID_PARAMETER);
    // One that is not registered is gone already.
    mSinks.Remove(aSink);
    return ZuResult(ZU_OK);
}

ZuResult EventSinks::SetActionHandler(ZuVirtualDeviceLib::IActionHandler *aHandler)
{
    std::lock_guard<std::mutex> lock(mLock);
    mActionHandler = aHandler;
    return ZuResult(ZU_OK);
}

void EventSinks::Action(uint32_t aSignal, uint64_t aTime)
{
    ZuVirtualDeviceLib::IActionHandler *handler = nullptr;
    {
        std::lock_guard<std::mutex> lock(mLock);
        handler = mActionHandler;
    }
    if (handler) guarded(mFailures, [&] { handler->OnAction(aSignal, aTime); });
}

} // namespace softdevice
} // namespace tarn
