#ifndef TARN_DEVICE_BINDING_H
#define TARN_DEVICE_BINDING_H

// What the bindings need of a device beyond the public API: a parameter
// array handed to Python stays valid after its device is disconnected or
// freed (its reads then fail with ZU_NOT_CONNECTED). Included only inside
// the bindings' %{ %} blocks.

#include "ZuDevice.h"

#include <memory>

namespace tarn {

struct ZU_API DeviceBinding {
    // A share of an array the device handed out (its parameters or its
    // communication parameters); empty for any other array.
    static std::shared_ptr<ZuGenParameterArray> ShareParameters(ZuDevice &aDevice, ZuGenParameterArray *aArray);
};

} // namespace tarn

#endif
