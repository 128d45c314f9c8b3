#ifndef TARN_SOFT_DEVICE_H
#define TARN_SOFT_DEVICE_H

// Process-wide hooks of the software devices for the bindings.

#include "ZuBaseApi.h"

class IZuVirtualDeviceGEVEventSink;
class IZuUserSetNotify;
class IZuSWStreamingChannelSource;

namespace tarn {

// A sink about to be destroyed leaves every device it is registered with,
// after any notification to it on another thread has returned.
ZU_API void ForgetSoftDeviceSink(IZuVirtualDeviceGEVEventSink *aSink);
// Likewise for a user-set notification object.
ZU_API void ForgetSoftDeviceUserSetNotify(IZuUserSetNotify *aNotify);
// Stops every running software device (the process is about to exit).
ZU_API void StopAllSoftDevices();

} // namespace tarn

#endif
