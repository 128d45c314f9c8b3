#ifndef TARN_DEVICE_FOLLOW_H
#define TARN_DEVICE_FOLLOW_H

// Layers over a device adapter (the serial port, the firmware updater)
// that must not depend on the caller keeping the adapter alive: each takes
// an adapter of its own over the same device, which follows the device
// without keeping it, as every adapter does.

#include "ZuDeviceAdapter.h"

#include <memory>

namespace tarn {

struct ZU_API DeviceFollow {
    // A new adapter over the device aAdapter follows; null when aAdapter is
    // not the SDK's own ZuDeviceAdapter.
    static std::unique_ptr<IZuDeviceAdapter> Adapter(IZuDeviceAdapter *aAdapter);
};

} // namespace tarn

#endif
