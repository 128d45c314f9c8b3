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

void SerialLoopback::Layout(RegisterSpace &aSpace)
{
    std::lock_guard<std::mutex> lock(mLock);
    for (uint32_t p = 0; p < sb::Ports; ++p) {
        mFifo[p].clear();
        const uint32_t b = sb::portBase(p);
        aSpace.AddRegister(b + sb::Magic, [] { return sb::MagicValue; });
        aSpace.AddRegister(b + sb::RxAvailable, [this, p] {
            std::lock_guard<std::mutex> l(mLock);
            return uint32_t(mFifo[p].size());
        });
        aSpace.AddRegister(b + sb::TxFree, [this, p] {
            std::lock_guard<std::mutex> l(mLock);
            return uint32_t(kFifoSize - mFifo[p].size());
        });
        aSpace.AddRegister(b + sb::Control, nullptr, [this, p](uint32_t v) {
            if (v & sb::ControlFlush) {
                std::lock_guard<std::mutex> l(mLock);
                mFifo[p].clear();
            }
            return ok();
        });
        aSpace.AddRegister(b + sb::TxCommit, nullptr, [this, &aSpace, p](uint32_t v) { return Commit(aSpace, p, v); });
        aSpace.AddRegister(b + sb::RxTake, nullptr, [this, p](uint32_t v) { return Take(p, v); });
        aSpace.AddBlock(b + sb::TxWindow, sb::WindowSize, true);
        aSpace.AddDynamicBlock(b + sb::RxWindow, sb::WindowSize, [this, p](uint32_t aOffset, uint32_t aCount, uint8_t *aOut) {
            std::lock_guard<std::mutex> l(mLock);
            const std::deque<uint8_t> &f = mFifo[p];
            for (uint32_t k = 0; k < aCount; ++k) aOut[k] = aOffset + k < f.size() ? f[aOffset + k] : 0;
        });
    }
}

uint16_t SerialLoopback::Commit(RegisterSpace &aSpace, uint32_t aPort, uint32_t aCount)
{
    if (aCount > sb::WindowSize) return kStatusInvalidParameter;
    const std::vector<uint8_t> window = aSpace.Block(sb::portBase(aPort) + sb::TxWindow);
    std::lock_guard<std::mutex> lock(mLock);
    std::deque<uint8_t> &f = mFifo[aPort];
    if (aCount > kFifoSize - f.size() || aCount > window.size()) return kStatusInvalidParameter;
    f.insert(f.end(), window.begin(), window.begin() + aCount);
    return ok();
}

uint16_t SerialLoopback::Take(uint32_t aPort, uint32_t aCount)
{
    std::lock_guard<std::mutex> lock(mLock);
    std::deque<uint8_t> &f = mFifo[aPort];
    if (aCount > f.size()) return kStatusInvalidParameter;
    f.erase(f.begin(), f.begin() + aCount);
    return ok();
}

size_t SerialLoopback::Pending(uint32_t aPort) const
{
    std::lock_guard<std::mutex> lock(mLock);
    return aPort < sb::Ports ? mFifo[aPort].size() : 0;
}

// ---- Firmware window

void FirmwareWindow::Layout(RegisterSpace &aSpace, std::function<void(const std::string &)> aInstall)
{
    std::lock_guard<std::mutex> lock(mLock);
    mInstall = std::move(aInstall);
    mStatus = fw::StatusIdle;
    mImage.clear();
    const uint32_t b = fw::Base;
    aSpace.AddRegister(b + fw::Magic, [] { return fw::MagicValue; });
    aSpace.AddRegister(b + fw::Capacity, [] { return kCapacity; });
    aSpace.AddRegister(b + fw::Control, nullptr, [this, &aSpace](uint32_t v) { return Control(aSpace, v); });
    aSpace.AddRegister(b + fw::Status, [this] {
        std::lock_guard<std::mutex> l(mLock);
        return mStatus;
    });
    mSize = aSpace.AddValue(b + fw::Size, 0, true);
    mCrc = aSpace.AddValue(b + fw::Crc, 0, true);
    mOffset = aSpace.AddValue(b + fw::ChunkOffset, 0, true);
    aSpace.AddRegister(b + fw::ChunkLength, nullptr, [this, &aSpace](uint32_t v) { return Chunk(aSpace, v); });
    aSpace.AddBlock(b + fw::Version, fw::VersionSize, true);
    aSpace.AddBlock(b + fw::Window, fw::WindowSize, true);
}

uint16_t FirmwareWindow::Control(RegisterSpace &aSpace, uint32_t aCommand)
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
        const std::vector<uint8_t> text = aSpace.Block(fw::Base + fw::Version);
        version.assign(text.begin(), std::find(text.begin(), text.end(), uint8_t(0)));
        mInstalled.swap(mImage);
        mImage.clear();
        mStatus = fw::StatusInstalled;
    }
    // Outside the lock: the identity hands the change on to the registers.
    if (mInstall) mInstall(version);
    return ok();
}

uint16_t FirmwareWindow::Chunk(RegisterSpace &aSpace, uint32_t aLength)
{
    const std::vector<uint8_t> window = aSpace.Block(fw::Base + fw::Window);
    std::lock_guard<std::mutex> lock(mLock);
    const uint64_t end = uint64_t(*mOffset) + aLength;
    if (mStatus != fw::StatusReceiving || *mOffset != mImage.size() || aLength > window.size() || end > *mSize) {
        mStatus = fw::StatusBadChunk;
        return kStatusInvalidParameter;
    }
    mImage.insert(mImage.end(), window.begin(), window.begin() + aLength);
    return ok();
}

std::vector<uint8_t> FirmwareWindow::Installed() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mInstalled;
}

} // namespace softdevice
} // namespace tarn
