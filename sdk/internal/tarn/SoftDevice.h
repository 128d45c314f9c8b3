#ifndef TARN_SOFT_DEVICE_H
#define TARN_SOFT_DEVICE_H

// Process-wide hooks of the software devices for the bindings.

#include "ZuBaseApi.h"
#include "ZuResult.h"

#include <memory>

class IZuVirtualDeviceGEVEventSink;
class IZuUserSetNotify;
class IZuSWStreamingChannelSource;
class IZuRegisterEventSink;
class IZuRegisterFactory;

namespace tarn {

// A sink about to be destroyed leaves every device it is registered with,
// after any notification to it on another thread has returned.
ZU_API void ForgetSoftDeviceSink(IZuVirtualDeviceGEVEventSink *aSink);
// Likewise for a user-set notification object.
ZU_API void ForgetSoftDeviceUserSetNotify(IZuUserSetNotify *aNotify);

// The register that a device's register factory creates next keeps this
// alive with it: the application object of its sink (aWhich 0, held as a
// binding holds the sinks it registers, tarn::Holds) or of its context (1).
ZU_API void HoldForNextRegister(IZuRegisterFactory *aFactory, int aWhich, std::shared_ptr<void> aHold);
// A register sink about to be destroyed leaves the registers of every device.
ZU_API void ForgetRegisterSink(IZuRegisterEventSink *aSink);

} // namespace tarn

#endif
