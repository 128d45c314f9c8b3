#ifndef TARN_SOFTDEVICE_EVENT_SINKS_H
#define TARN_SOFTDEVICE_EVENT_SINKS_H

// Whom a software device tells what happens to it: the application's event
// sinks (a controller connected or left, the control channel started or
// stopped, a reset) and the handler of the action commands addressed to it.
// These are application code: what one of them throws stops at the device,
// counted, and the device goes on.

#include "IZuVirtualDeviceGEVEventSink.h"
#include "softdevice/model/guard.h"
#include "tarn/SinkList.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace ZuVirtualDeviceLib {
// Executes action commands addressed to the device.
class IActionHandler
{
public:
    virtual ~IActionHandler() {}
    virtual void OnAction(uint32_t aActionIndex, uint64_t aActionTime) = 0;
};
} // namespace ZuVirtualDeviceLib

namespace tarn {
namespace softdevice {

class EventSinks
{
public:
    // aFailures counts what the sinks and the handler threw.
    explicit EventSinks(std::atomic<uint64_t> &aFailures) : mFailures(aFailures) {}

    ZuResult Add(IZuVirtualDeviceGEVEventSink *aSink) { return mSinks.Add(aSink, ZU_INVALID_PARAMETER); }
    ZuResult Remove(IZuVirtualDeviceGEVEventSink *aSink);
    ZuResult SetActionHandler(ZuVirtualDeviceLib::IActionHandler *aHandler);

    // Tells each sink in turn.
    template <typename Call> void Notify(Call &&aCall)
    {
        mSinks.ForEach([&](IZuVirtualDeviceGEVEventSink *aSink) { guarded(mFailures, [&] { aCall(aSink); }); });
    }
    // Asks each sink in turn, what one throws going on to the caller (Start's
    // declarations, which a failure ends).
    template <typename Call> void Ask(Call &&aCall) { mSinks.ForEach(aCall); }
    // An action signal addressed to the device.
    void Action(uint32_t aSignal, uint64_t aTime);

private:
    std::atomic<uint64_t> &mFailures;
    tarn::SinkList<IZuVirtualDeviceGEVEventSink> mSinks;
    std::mutex mLock;   // the handler
    ZuVirtualDeviceLib::IActionHandler *mActionHandler = nullptr;
};

} // namespace softdevice
} // namespace tarn

#endif
