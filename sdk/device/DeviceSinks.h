#ifndef TARN_DEVICE_DEVICE_SINKS_H
#define TARN_DEVICE_DEVICE_SINKS_H

// The event sinks of one device, in the SDK's one sink list. A device's
// sink also remembers the devices it joined, so that a sink destroyed while
// registered leaves them first.

#include "ZuDeviceEventSink.h"
#include "ZuResult.h"
#include "tarn/SinkList.h"

#include <memory>
#include <mutex>
#include <vector>

namespace tarn {
namespace device {

typedef tarn::SinkList<ZuDeviceEventSink> DeviceSinks;

// Registers aSink with a device's sinks.
ZuResult Join(const std::shared_ptr<DeviceSinks> &aSinks, ZuDeviceEventSink *aSink);
// Unregisters aSink, waiting for its calls in progress on other threads.
ZuResult Leave(const std::shared_ptr<DeviceSinks> &aSinks, ZuDeviceEventSink *aSink);

} // namespace device
} // namespace tarn

// The devices a sink is registered with, so that it can leave them.
struct ZuDeviceEventSink::Registrations {
    std::mutex lock;
    std::vector<std::weak_ptr<tarn::device::DeviceSinks>> lists;
};

#endif
