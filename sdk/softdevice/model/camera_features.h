#ifndef TARN_SOFTDEVICE_CAMERA_FEATURES_H
#define TARN_SOFTDEVICE_CAMERA_FEATURES_H

// What the camera's own features reach of it: the values their registers
// hold, kept here (selectors, the lock of the transport parameters) or by
// the camera's parts (the sources through their channels, the stream
// channels, the acquisition, the user sets). The rows of
// standard_features.cpp go through this and nothing else.

#include "softdevice/model/feature_row.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tarn {
namespace softdevice {

class Streams;
class UserSetBank;

class CameraFeatures : public FeatureHost
{
public:
    // aReset resets the device as a power cycle would (DeviceReset).
    CameraFeatures(Streams &aStreams, UserSetBank &aUserSets, std::function<void()> aReset);

    // What the device's own registers hold when it starts, once the
    // sources told what they offer.
    void Start();
    // The controller's session ended: the transport parameters are free again.
    void Unlock() { mTlLocked = 0; }

    size_t Channels() const override;
    uint32_t Read(Value aValue, size_t aChannel) override;
    uint16_t Write(Value aValue, size_t aChannel, uint32_t aNew) override;
    double ReadFloat(Value aValue) override;
    void WriteFloat(Value aValue, double aNew) override;
    bool Has(Presence aPresence, size_t aChannel) const override;
    Entries GetEntries(From aFrom, size_t aChannel) const override;
    void ImageChanged(size_t aChannel) override;

private:
    // The source's values of a channel; its refusal (or failure) refuses the write.
    uint32_t FromSource(size_t aChannel, Value aValue);
    uint16_t ToSource(size_t aChannel, Value aValue, uint32_t aNew);

    Streams &mStreams;
    UserSetBank &mUserSets;
    std::function<void()> mReset;
    // Changed on the control thread only (and at Start, before it runs).
    uint32_t mTlLocked = 0;
    uint32_t mSourceSelector = 0;
    uint32_t mStreamSelector = 0;
    uint32_t mUserSetSelector = 0;
    std::vector<uint32_t> mChunkSelector;
};

} // namespace softdevice
} // namespace tarn

#endif
