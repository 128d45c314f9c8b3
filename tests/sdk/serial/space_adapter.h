#ifndef TARN_TESTS_SPACE_ADAPTER_H
#define TARN_TESTS_SPACE_ADAPTER_H

// A device adapter straight over a software camera's register space: the
// serial bridge without a network, for tests of the controller's side.

#include "ZuDeviceAdapter.h"
#include "softdevice/model/register_space.h"

#include <atomic>

class SpaceAdapter : public IZuDeviceAdapter
{
public:
    explicit SpaceAdapter(tarn::softdevice::RegisterSpace &aSpace) : mSpace(aSpace) {}

    std::atomic<bool> connected{true};
    std::atomic<int> registerReads{0};

    bool IsGenIntegerInNodeMap(const ZuString &) override { return false; }
    bool IsGenEnumInNodeMap(const ZuString &) override { return false; }
    bool IsGenBooleanInNodeMap(const ZuString &) override { return false; }
    bool IsGenRegisterInNodeMap(const ZuString &) override { return false; }
    bool IsGenReadable(const ZuString &) override { return false; }
    bool IsGenWritable(const ZuString &) override { return false; }
    bool IsGenEnumEntryAvailable(const ZuString &, const ZuString &) override { return false; }
    ZuResult GetGenIntegerValue(const ZuString &, int64_t &) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult GetGenEnumEntriesAvailable(const ZuString &, ZuStringList &) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult GetGenEnumValue(const ZuString &, ZuString &) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult SetGenEnumValue(const ZuString &, const ZuString &) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult GetGenBooleanValue(const ZuString &, bool &) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult SetGenBooleanValue(const ZuString &, bool) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult GetGenStringValue(const ZuString &, ZuString &) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult GetGenRegisterLength(const ZuString &, int64_t &) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult GetGenRegisterData(const ZuString &, uint8_t *, int64_t) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult SetGenRegisterData(const ZuString &, const uint8_t *, int64_t) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult RegisterGenInvalidator(const ZuString &) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult UnregisterGenInvalidator(const ZuString &) override { return ZuResult(ZU_NOT_FOUND); }
    ZuResult WriteRegister(int64_t aAddress, uint32_t aValue) override
    {
        if (!connected) return ZuResult(ZU_NOT_CONNECTED);
        return Status(mSpace.WriteRegister(uint32_t(aAddress), aValue));
    }
    ZuResult ReadRegister(int64_t aAddress, uint32_t &aValue) override
    {
        ++registerReads;
        if (!connected) return ZuResult(ZU_NOT_CONNECTED);
        return Status(mSpace.ReadRegister(uint32_t(aAddress), aValue));
    }
    ZuResult WriteMemory(const uint8_t *aBuffer, int64_t aAddress, int64_t aLength) override
    {
        if (!connected) return ZuResult(ZU_NOT_CONNECTED);
        return Status(mSpace.WriteMemory(uint32_t(aAddress), aBuffer, uint32_t(aLength)));
    }
    ZuResult ReadMemory(uint8_t *aBuffer, int64_t aAddress, int64_t aLength) override
    {
        if (!connected) return ZuResult(ZU_NOT_CONNECTED);
        std::vector<uint8_t> out;
        uint16_t s = mSpace.ReadMemory(uint32_t(aAddress), uint32_t(aLength), out);
        if (s == tarn::softdevice::kStatusSuccess) std::copy(out.begin(), out.end(), aBuffer);
        return Status(s);
    }
    ZuResult WaitForMessagingChannelIdle(uint32_t) override { return ZuResult(); }
    bool IsConnected() override { return connected; }
    bool IsMorvekPowered() override { return false; }
    bool IsGigEVision() override { return true; }
    bool IsUSB3Vision() override { return false; }
    ZuResult RegisterEventSink(IZuDeviceEventSink *) override { return ZuResult(); }
    ZuResult UnregisterEventSink(IZuDeviceEventSink *) override { return ZuResult(); }
    ZuResult GetUniqueID(ZuString &aId) override
    {
        aId = ZuString("space");
        return ZuResult();
    }

private:
    static ZuResult Status(uint16_t aStatus)
    {
        return aStatus == tarn::softdevice::kStatusSuccess ? ZuResult() : ZuResult(ZU_GENERIC_ERROR);
    }
    tarn::softdevice::RegisterSpace &mSpace;
};

#endif
