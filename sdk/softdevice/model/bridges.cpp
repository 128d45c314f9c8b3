#include "softdevice/model/bridges.h"

#include "gev/bridge.h"

#include <zlib.h>

#include <algorithm>

namespace tarn {
namespace softdevice {

namespace sb = bridge::serial;
namespace fw = bridge::firmware;

namespace {
uint16_t ok()
{
    return kStatusSuccess;
}
} // namespace

// ---- Serial loopback

void SerialLoopback::layout(RegisterSpace &aSpace)
{
    std::lock_guard<std::mutex> lock(mLock);
    for (uint32_t p = 0; p < sb::Ports; ++p) {
        mFifo[p].clear();
        const uint32_t b = sb::portBase(p);
        aSpace.addRegister(b + sb::Magic, [] { return sb::MagicValue; });
        aSpace.addRegister(b + sb::RxAvailable, [this, p] {
            std::lock_guard<std::mutex> l(mLock);
            return uint32_t(mFifo[p].size());
        });
        aSpace.addRegister(b + sb::TxFree, [this, p] {
            std::lock_guard<std::mutex> l(mLock);
            return uint32_t(kFifoSize - mFifo[p].size());
        });
        aSpace.addRegister(b + sb::Control, nullptr, [this, p](uint32_t v) {
            if (v & sb::ControlFlush) {
                std::lock_guard<std::mutex> l(mLock);
                mFifo[p].clear();
            }
            return ok();
        });
        aSpace.addRegister(b + sb::TxCommit, nullptr, [this, &aSpace, p](uint32_t v) { return commit(aSpace, p, v); });
        aSpace.addRegister(b + sb::RxTake, nullptr, [this, p](uint32_t v) { return take(p, v); });
        aSpace.addBlock(b + sb::TxWindow, sb::WindowSize, true);
        aSpace.addDynamicBlock(b + sb::RxWindow, sb::WindowSize, [this, p](uint32_t aOffset, uint32_t aCount, uint8_t *aOut) {
            std::lock_guard<std::mutex> l(mLock);
            const std::deque<uint8_t> &f = mFifo[p];
            for (uint32_t k = 0; k < aCount; ++k) aOut[k] = aOffset + k < f.size() ? f[aOffset + k] : 0;
        });
    }
}

uint16_t SerialLoopback::commit(RegisterSpace &aSpace, uint32_t aPort, uint32_t aCount)
{
    if (aCount > sb::WindowSize) return kStatusInvalidParameter;
    const std::vector<uint8_t> window = aSpace.block(sb::portBase(aPort) + sb::TxWindow);
    std::lock_guard<std::mutex> lock(mLock);
    std::deque<uint8_t> &f = mFifo[aPort];
    if (aCount > kFifoSize - f.size() || aCount > window.size()) return kStatusInvalidParameter;
    f.insert(f.end(), window.begin(), window.begin() + aCount);
    return ok();
}

uint16_t SerialLoopback::take(uint32_t aPort, uint32_t aCount)
{
    std::lock_guard<std::mutex> lock(mLock);
    std::deque<uint8_t> &f = mFifo[aPort];
    if (aCount > f.size()) return kStatusInvalidParameter;
    f.erase(f.begin(), f.begin() + aCount);
    return ok();
}

size_t SerialLoopback::pending(uint32_t aPort) const
{
    std::lock_guard<std::mutex> lock(mLock);
    return aPort < sb::Ports ? mFifo[aPort].size() : 0;
}

// ---- Firmware window

void FirmwareWindow::layout(RegisterSpace &aSpace, std::function<void(const std::string &)> aInstall)
{
    std::lock_guard<std::mutex> lock(mLock);
    mInstall = std::move(aInstall);
    mStatus = fw::StatusIdle;
    mImage.clear();
    const uint32_t b = fw::Base;
    aSpace.addRegister(b + fw::Magic, [] { return fw::MagicValue; });
    aSpace.addRegister(b + fw::Capacity, [] { return kCapacity; });
    aSpace.addRegister(b + fw::Control, nullptr, [this, &aSpace](uint32_t v) { return control(aSpace, v); });
    aSpace.addRegister(b + fw::Status, [this] {
        std::lock_guard<std::mutex> l(mLock);
        return mStatus;
    });
    mSize = aSpace.addValue(b + fw::Size, 0, true);
    mCrc = aSpace.addValue(b + fw::Crc, 0, true);
    mOffset = aSpace.addValue(b + fw::ChunkOffset, 0, true);
    aSpace.addRegister(b + fw::ChunkLength, nullptr, [this, &aSpace](uint32_t v) { return chunk(aSpace, v); });
    aSpace.addBlock(b + fw::Version, fw::VersionSize, true);
    aSpace.addBlock(b + fw::Window, fw::WindowSize, true);
}

uint16_t FirmwareWindow::control(RegisterSpace &aSpace, uint32_t aCommand)
{
    std::string version;
    {
        std::lock_guard<std::mutex> lock(mLock);
        switch (aCommand) {
        case fw::ControlBegin:
            mImage.clear();
            if (*mSize > kCapacity) {
                mStatus = fw::StatusBadSize;
                return kStatusInvalidParameter;
            }
            mImage.reserve(*mSize);
            mStatus = fw::StatusReceiving;
            return ok();
        case fw::ControlAbort:
            mImage.clear();
            mStatus = fw::StatusIdle;
            return ok();
        case fw::ControlCommit:
            break;
        default:
            return kStatusInvalidParameter;
        }
        if (mStatus != fw::StatusReceiving) {
            mStatus = fw::StatusBadChunk;
            return kStatusInvalidParameter;
        }
        if (mImage.size() != *mSize) {
            mStatus = fw::StatusBadSize;
            return kStatusInvalidParameter;
        }
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), mImage.data(), uInt(mImage.size()));
        if (uint32_t(crc) != *mCrc) {
            mStatus = fw::StatusBadCrc;
            return kStatusInvalidParameter;
        }
        const std::vector<uint8_t> text = aSpace.block(fw::Base + fw::Version);
        version.assign(text.begin(), std::find(text.begin(), text.end(), uint8_t(0)));
        mInstalled.swap(mImage);
        mImage.clear();
        mStatus = fw::StatusInstalled;
    }
    // Outside the lock: the identity hands the change on to the registers.
    if (mInstall) mInstall(version);
    return ok();
}

uint16_t FirmwareWindow::chunk(RegisterSpace &aSpace, uint32_t aLength)
{
    const std::vector<uint8_t> window = aSpace.block(fw::Base + fw::Window);
    std::lock_guard<std::mutex> lock(mLock);
    const uint64_t end = uint64_t(*mOffset) + aLength;
    if (mStatus != fw::StatusReceiving || *mOffset != mImage.size() || aLength > window.size() || end > *mSize) {
        mStatus = fw::StatusBadChunk;
        return kStatusInvalidParameter;
    }
    mImage.insert(mImage.end(), window.begin(), window.begin() + aLength);
    return ok();
}

std::vector<uint8_t> FirmwareWindow::installed() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mInstalled;
}

} // namespace softdevice
} // namespace tarn
