#include "Ports.h"

#include <cstring>

namespace tarn {
namespace device {

namespace {

// The whole registers around a range: GVCP moves 32-bit words.
struct Words {
    uint64_t first;
    uint64_t count;
    Words(uint64_t aAddress, int64_t aLength)
        : first(aAddress / 4 * 4), count((aAddress + uint64_t(aLength) + 3) / 4 * 4 - aAddress / 4 * 4)
    {
    }
    bool Exact(uint64_t aAddress, int64_t aLength) const { return first == aAddress && count == uint64_t(aLength); }
};

ZuResult ReadWords(GvcpClient &aClient, const Words &aWords, uint8_t *aOut)
{
    if (aWords.count == 4) {
        uint32_t v = 0;
        ZuResult r = aClient.ReadRegister(uint32_t(aWords.first), v);
        if (r.IsOK()) {
            uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
            std::memcpy(aOut, b, 4);
        }
        return r;
    }
    return aClient.ReadMemory(aWords.first, aOut, aWords.count);
}

} // namespace

ZuGenAccessMode GvcpPort::GetAccessMode() const
{
    auto c = mConnection.lock();
    if (!c || !c->Usable()) return ZuGenAccessModeNotAvailable;
    // A controller without control reads only.
    return c->Access() == ZuAccessControl || c->Access() == ZuAccessExclusive ? ZuGenAccessModeReadWrite
                                                                              : ZuGenAccessModeReadOnly;
}

ZuResult GvcpPort::Read(uint64_t aAddress, void *aData, int64_t aLength)
{
    auto c = mConnection.lock();
    if (!c || !c->Usable()) return ZuResult(ZU_NOT_CONNECTED, ZuString("the device is not connected"));
    if (aLength <= 0 || !aData) return ZuResult(ZU_INVALID_PARAMETER, ZuString("nothing to read"));
    if (aAddress >= (uint64_t(1) << 32)) return ZuResult(ZU_INVALID_PARAMETER, ZuString("beyond the device's memory"));
    Words words(aAddress, aLength);
    ZuResult r;
    if (words.Exact(aAddress, aLength)) {
        r = ReadWords(c->Client(), words, static_cast<uint8_t *>(aData));
    } else {
        std::vector<uint8_t> whole(size_t(words.count));
        r = ReadWords(c->Client(), words, whole.data());
        if (r.IsOK()) std::memcpy(aData, whole.data() + (aAddress - words.first), size_t(aLength));
    }
    if (r.IsOK()) c->ToSinks([&](ZuDeviceEventSink *s) { s->OnCmdLinkRead(aData, int64_t(aAddress), aLength); });
    return r;
}

ZuResult GvcpPort::Write(uint64_t aAddress, const void *aData, int64_t aLength)
{
    auto c = mConnection.lock();
    if (!c || !c->Usable()) return ZuResult(ZU_NOT_CONNECTED, ZuString("the device is not connected"));
    if (aLength <= 0 || !aData) return ZuResult(ZU_INVALID_PARAMETER, ZuString("nothing to write"));
    if (aAddress >= (uint64_t(1) << 32)) return ZuResult(ZU_INVALID_PARAMETER, ZuString("beyond the device's memory"));
    Words words(aAddress, aLength);
    std::vector<uint8_t> whole(size_t(words.count));
    ZuResult r;
    if (!words.Exact(aAddress, aLength)) {
        // Part of a register: read it, change the part, write it whole.
        r = ReadWords(c->Client(), words, whole.data());
        if (!r.IsOK()) return r;
    }
    std::memcpy(whole.data() + (aAddress - words.first), aData, size_t(aLength));
    if (words.count == 4) {
        const uint8_t *b = whole.data();
        r = c->Client().WriteRegister(uint32_t(words.first),
                                      (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]);
    } else {
        r = c->Client().WriteMemory(words.first, whole.data(), words.count);
    }
    if (r.IsOK()) c->ToSinks([&](ZuDeviceEventSink *s) { s->OnCmdLinkWrite(aData, int64_t(aAddress), aLength); });
    return r;
}

} // namespace device
} // namespace tarn
