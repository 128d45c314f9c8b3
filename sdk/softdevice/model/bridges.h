#ifndef TARN_SOFTDEVICE_BRIDGES_H
#define TARN_SOFTDEVICE_BRIDGES_H

// The software camera's serial bridge and firmware window (gev/bridge.h
// tells their registers). The serial ports loop back: what a controller
// sends on a port comes back to it on the same port, so that a controller's
// serial layer can be exercised end to end without hardware. The firmware
// window takes an image in chunks and, once its size and CRC-32 check out,
// installs it: the device's firmware version becomes the version text the
// controller gave.

#include "softdevice/model/register_space.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

class SerialLoopback
{
public:
    // Bytes a port holds on their way back; a full port refuses more.
    static constexpr uint32_t kFifoSize = 4096;

    // Adds the registers of every port to the space.
    void Layout(RegisterSpace &aSpace);
    // Bytes waiting on a port (tests).
    size_t Pending(uint32_t aPort) const;

private:
    uint16_t Commit(RegisterSpace &aSpace, uint32_t aPort, uint32_t aCount);
    uint16_t Take(uint32_t aPort, uint32_t aCount);

    mutable std::mutex mLock;
    std::deque<uint8_t> mFifo[10];
};

class FirmwareWindow
{
public:
    static constexpr uint32_t kCapacity = 16u << 20;

    // aInstall gets the version text of an image that checked out.
    void Layout(RegisterSpace &aSpace, std::function<void(const std::string &)> aInstall);
    // The image installed last (tests).
    std::vector<uint8_t> Installed() const;

private:
    uint16_t Control(RegisterSpace &aSpace, uint32_t aCommand);
    uint16_t Chunk(RegisterSpace &aSpace, uint32_t aLength);

    mutable std::mutex mLock;
    std::function<void(const std::string &)> mInstall;
    uint32_t mStatus = 0;
    uint32_t *mSize = nullptr, *mCrc = nullptr, *mOffset = nullptr;
    std::vector<uint8_t> mImage, mInstalled;
};

// Both, laid out together.
struct Bridges {
    SerialLoopback serial;
    FirmwareWindow firmware;
    void Layout(RegisterSpace &aSpace, std::function<void(const std::string &)> aInstall)
    {
        firmware.Layout(aSpace, std::move(aInstall));
        serial.Layout(aSpace);
    }
};

} // namespace softdevice
} // namespace tarn

#endif
