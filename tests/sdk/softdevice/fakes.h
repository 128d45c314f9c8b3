#ifndef TARN_TEST_SOFTDEVICE_FAKES_H
#define TARN_TEST_SOFTDEVICE_FAKES_H

// A scripted channel source, a recording sender and a recording event
// sink, for driving the device model without Python and without sockets.

#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuStreamingChannelSourceDefault.h"
#include "softdevice/model/channel.h"
#include "softdevice/model/control_link.h"
#include "IZuVirtualDeviceGEVEventSink.h"
#include "softdevice/model/device_model.h"
#include "tarn/genicam/Engine.h"

#include <cstring>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tarn {
namespace test {

// Everything the device called, in order, by name.
struct CallLog {
    std::mutex lock;
    std::vector<std::string> calls;
    void Add(const std::string &aCall)
    {
        std::lock_guard<std::mutex> l(lock);
        calls.push_back(aCall);
    }
    std::vector<std::string> Snapshot()
    {
        std::lock_guard<std::mutex> l(lock);
        return calls;
    }
    size_t Count(const std::string &aCall)
    {
        std::lock_guard<std::mutex> l(lock);
        size_t n = 0;
        for (auto &c : calls) n += c == aCall;
        return n;
    }
    // Index of the first call named aCall, or -1.
    int First(const std::string &aCall)
    {
        std::lock_guard<std::mutex> l(lock);
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i] == aCall) return int(i);
        return -1;
    }
};

// The ready-made source, which keeps its geometry within its largest
// image, with buffers that never come back.
struct DefaultSource : ZuStreamingChannelSourceDefault {
    using ZuStreamingChannelSourceDefault::ZuStreamingChannelSourceDefault;
    ZuResult QueueBuffer(ZuBuffer *) override { return ZuResult(ZU_OK); }
    ZuResult RetrieveBuffer(ZuBuffer **) override { return ZuResult(ZU_TIMEOUT); }
};

// A source that fills each queued buffer with its block's running number
// and hands it back from RetrieveBuffer in queue order.
class FakeSource : public IZuSWStreamingChannelSource
{
public:
    explicit FakeSource(CallLog *aLog = nullptr, uint32_t aWidth = 8, uint32_t aHeight = 4) : log(aLog), width(aWidth), height(aHeight) {}
    ~FakeSource() override
    {
        for (ZuBuffer *b : mine) delete b;
    }

    void Call(const char *aName) const
    {
        if (log) log->Add(aName);
        if (throwIn == aName) throw std::runtime_error(aName);
    }

    uint32_t GetWidth() const override { Call("GetWidth"); return width; }
    uint32_t GetHeight() const override { Call("GetHeight"); return height; }
    uint32_t GetOffsetX() const override { return 0; }
    uint32_t GetOffsetY() const override { return 0; }
    ZuPixelType GetPixelType() const override { return ZuPixelMono8; }
    void GetWidthInfo(uint32_t &a, uint32_t &b, uint32_t &c) const override { Call("GetWidthInfo"); a = 1; b = width; c = 1; }
    void GetHeightInfo(uint32_t &a, uint32_t &b, uint32_t &c) const override { Call("GetHeightInfo"); a = 1; b = height; c = 1; }
    uint32_t GetChunksSize() const override { return 0; }
    uint32_t GetPayloadSize() const override { return 0; }
    ZuScanType GetScanType() const override { return ZuScanTypeArea; }
    bool GetChunkModeActive() const override { return false; }
    bool GetChunkEnable(uint32_t) const override { return false; }
    ZuResult GetSupportedPixelType(int aIndex, ZuPixelType &aType) const override
    {
        Call("GetSupportedPixelType");
        if (endlessPixelTypes) { aType = ZuPixelMono8; return ZuResult(ZU_OK); }
        if (aIndex != 0) return ZuResult(ZU_INVALID_PARAMETER);
        aType = ZuPixelMono8;
        return ZuResult(ZU_OK);
    }
    ZuResult GetSupportedChunk(int, uint32_t &, ZuString &) const override { Call("GetSupportedChunk"); return ZuResult(ZU_INVALID_PARAMETER); }
    ZuResult SetWidth(uint32_t v) override { Call("SetWidth"); width = v; return ZuResult(refuseSets ? ZU_GENERIC_ERROR : ZU_OK); }
    ZuResult SetHeight(uint32_t v) override { Call("SetHeight"); height = v; return ZuResult(ZU_OK); }
    ZuResult SetOffsetX(uint32_t) override { return ZuResult(ZU_OK); }
    ZuResult SetOffsetY(uint32_t) override { return ZuResult(ZU_OK); }
    ZuResult SetPixelType(ZuPixelType) override { return ZuResult(ZU_OK); }
    ZuResult SetChunkModeActive(bool) override { return ZuResult(ZU_OK); }
    ZuResult SetChunkEnable(uint32_t, bool) override { return ZuResult(ZU_OK); }
    void OnOpen(const ZuString &aIp, uint16_t aPort) override { Call("OnOpen"); openedTo = aIp.Narrow() + ":" + std::to_string(aPort); }
    void OnClose() override { Call("OnClose"); }
    void OnStreamingStart() override { Call("OnStreamingStart"); }
    void OnStreamingStop() override { Call("OnStreamingStop"); }
    bool IsPayloadTypeSupported(ZuPayloadType aType) override { return multiPart && aType == ZuPayloadTypeMultiPart; }
    void SetMultiPartAllowed(bool aAllowed) override
    {
        if (log) log->Add("SetMultiPartAllowed " + std::to_string(aAllowed));
    }
    void SetLargeLeaderTrailerEnabled(bool aEnabled, uint32_t aCount) override
    {
        if (log) log->Add("SetLargeLeaderTrailerEnabled " + std::to_string(aEnabled) + " " + std::to_string(aCount));
    }
    ZuResult SetTestPayloadFormatMode(ZuPayloadType aType) override
    {
        if (log) log->Add("SetTestPayloadFormatMode " + std::to_string(int(aType)));
        return ZuResult(refuseSets ? ZU_NOT_SUPPORTED : ZU_OK);
    }
    void CreateRegisters(IZuRegisterMap *m, IZuRegisterFactory *f) override
    {
        Call("CreateRegisters");
        if (onCreateRegisters) onCreateRegisters(m, f);
    }
    void CreateGenApiFeatures(IZuRegisterMap *m, IZuGenApiFactory *f) override
    {
        Call("CreateGenApiFeatures");
        if (onCreateFeatures) onCreateFeatures(m, f);
    }
    std::function<void(IZuRegisterMap *, IZuRegisterFactory *)> onCreateRegisters;
    std::function<void(IZuRegisterMap *, IZuGenApiFactory *)> onCreateFeatures;

    ZuBuffer *AllocBuffer() override
    {
        Call("AllocBuffer");
        if (repeatBuffer && !allocs.empty()) return allocs.front();
        if (live >= bufferCount) return nullptr;
        ++live;
        ZuBuffer *b = new ZuBuffer(ZuPayloadTypeImage);
        b->GetImage()->Alloc(width, height, ZuPixelMono8);
        mine.push_back(b);
        allocs.push_back(b);
        return b;
    }
    void FreeBuffer(ZuBuffer *b) override
    {
        Call("FreeBuffer");
        std::lock_guard<std::mutex> l(lock);
        freed.push_back(b);
        --live;
    }
    ZuResult GetTxNumBuffersToUse(uint32_t &aCount) override
    {
        Call("GetTxNumBuffersToUse");
        aCount = txCount;
        return ZuResult(txResult);
    }
    ZuResult QueueBuffer(ZuBuffer *b) override
    {
        std::lock_guard<std::mutex> l(lock);
        if (log) log->Add("QueueBuffer");
        if (queued.size() >= queueLimit) return ZuResult(ZU_BUSY);
        queued.push_back(b);
        ++queuedTotal;
        cv.notify_all();
        return ZuResult(ZU_OK);
    }
    ZuResult RetrieveBuffer(ZuBuffer **aOut) override
    {
        std::unique_lock<std::mutex> l(lock);
        ++retrieves;
        if (onRetrieve) {
            auto hook = onRetrieve;
            l.unlock();
            if (hook(aOut)) return ZuResult(ZU_OK);
            l.lock();
        }
        if (failEvery && retrieves % failEvery == 0) throw std::runtime_error("RetrieveBuffer");
        if (!cv.wait_for(l, std::chrono::milliseconds(10), [&] { return !queued.empty() && (!paused || aborted); }))
            return ZuResult(ZU_TIMEOUT);
        ZuBuffer *b = queued.front();
        queued.pop_front();
        uint8_t *data = b->GetDataPointer();
        if (data) data[0] = uint8_t(++filled);
        *aOut = b;
        return ZuResult(ZU_OK);
    }
    void AbortQueuedBuffers() override
    {
        Call("AbortQueuedBuffers");
        std::lock_guard<std::mutex> l(lock);
        aborted = true;
        cv.notify_all();
    }

    CallLog *log;
    mutable uint32_t width, height;
    std::string throwIn;
    bool endlessPixelTypes = false;
    bool repeatBuffer = false;
    bool refuseSets = false;
    bool multiPart = false;
    size_t bufferCount = 8;
    uint32_t txCount = 0;
    uint32_t txResult = ZU_NOT_IMPLEMENTED;
    size_t queueLimit = 1000;
    unsigned failEvery = 0;
    bool paused = false;
    std::function<bool(ZuBuffer **)> onRetrieve;
    std::string openedTo;

    std::mutex lock;
    std::condition_variable cv;
    std::deque<ZuBuffer *> queued;
    std::vector<ZuBuffer *> allocs, mine, freed;
    size_t queuedTotal = 0;
    size_t live = 0;
    unsigned retrieves = 0;
    unsigned filled = 0;
    bool aborted = false;
};

// Records what would go on the wire.
class RecordingSender : public softdevice::BlockSender
{
public:
    bool Send(ZuBuffer &aBuffer, uint64_t aBlockId) override
    {
        std::lock_guard<std::mutex> l(lock);
        const uint8_t *data = aBuffer.GetDataPointer();
        for (ZuBuffer *h : holding) sentWhileHeld += h == &aBuffer;
        blocks.push_back({aBlockId, data ? data[0] : uint8_t(0), &aBuffer, aBuffer.GetBlockID()});
        if (holds) holding.push_back(&aBuffer);
        cv.notify_all();
        return true;
    }
    size_t Held() const override
    {
        std::lock_guard<std::mutex> l(lock);
        return holding.size();
    }
    void Release(size_t aKeep, const std::function<void(ZuBuffer *)> &aGone) override
    {
        std::vector<ZuBuffer *> gone;
        {
            std::lock_guard<std::mutex> l(lock);
            while (holding.size() > aKeep) {
                gone.push_back(holding.front());
                holding.erase(holding.begin());
            }
        }
        if (aGone)
            for (ZuBuffer *b : gone) aGone(b);
    }
    bool WaitFor(size_t aCount, std::chrono::seconds aPatience = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> l(lock);
        return cv.wait_for(l, aPatience, [&] { return blocks.size() >= aCount; });
    }
    struct Block {
        uint64_t id;
        uint8_t firstByte;
        ZuBuffer *buffer;
        uint64_t bufferBlockId;
    };
    mutable std::mutex lock;
    std::condition_variable cv;
    std::vector<Block> blocks;
    std::vector<ZuBuffer *> holding;
    // Whether it holds what it sent, as a sender answering resends does.
    bool holds = true;
    int sentWhileHeld = 0;
};

class RecordingSink : public IZuVirtualDeviceGEVEventSink
{
public:
    explicit RecordingSink(CallLog &aLog) : log(aLog) {}
    void OnApplicationConnect(IZuVirtualDeviceGEV *aDevice, const ZuString &aIp, uint16_t aPort, ZuAccessType aAccess) override
    {
        device = aDevice;
        log.Add("OnApplicationConnect " + aIp.Narrow() + ":" + std::to_string(aPort) + " " + std::to_string(int(aAccess)));
    }
    void OnApplicationDisconnect(IZuVirtualDeviceGEV *) override { log.Add("OnApplicationDisconnect"); }
    void OnControlChannelStart(IZuVirtualDeviceGEV *, const ZuString &aMac, const ZuString &aIp, const ZuString &aMask, const ZuString &, uint16_t aPort) override
    {
        log.Add("OnControlChannelStart " + aMac.Narrow() + " " + aIp.Narrow() + " " + aMask.Narrow() + " " + std::to_string(aPort));
    }
    void OnControlChannelStop(IZuVirtualDeviceGEV *) override { log.Add("OnControlChannelStop"); }
    void OnDeviceResetFull(IZuVirtualDeviceGEV *) override { log.Add("OnDeviceResetFull"); }
    void OnDeviceResetNetwork(IZuVirtualDeviceGEV *) override { log.Add("OnDeviceResetNetwork"); }
    void OnCreateCustomRegisters(IZuVirtualDeviceGEV *, IZuRegisterFactory *f) override
    {
        log.Add("OnCreateCustomRegisters");
        if (!f) log.Add("null factory");
        if (throwInRegisters) throw std::runtime_error("registers");
        if (onRegisters) onRegisters(f);
    }
    void OnCreateCustomGenApiFeatures(IZuVirtualDeviceGEV *, IZuGenApiFactory *f) override
    {
        log.Add("OnCreateCustomGenApiFeatures");
        if (onFeatures) onFeatures(f);
    }
    std::function<void(IZuRegisterFactory *)> onRegisters;
    std::function<void(IZuGenApiFactory *)> onFeatures;
    CallLog &log;
    IZuVirtualDeviceGEV *device = nullptr;
    bool throwInRegisters = false;
};

// Stands in for the GVCP server.
class FakeLink : public softdevice::ControlLink
{
public:
    void PublishIdentity(const softdevice::IdentityTexts &aTexts) override { texts = aTexts; ++identities; }
    void PublishDescription(const std::string &aXml) override { xml = aXml; ++descriptions; }
    bool PostEvent(uint16_t aEventId, uint64_t aBlockId, uint16_t aChannel, const uint8_t *aData, uint32_t aSize) override
    {
        if (!open) return false;
        events.push_back({aEventId, aBlockId, aChannel, std::vector<uint8_t>(aData, aData + aSize)});
        return true;
    }
    bool EventsOpen() const override { return open; }
    uint64_t Timestamp() const override { return 123456789; }
    void ReadStatistics(uint64_t (&aCounts)[softdevice::Statistics::kCount]) const override
    {
        for (int i = 0; i < softdevice::Statistics::kCount; ++i) aCounts[i] = counts[i];
    }
    void ResetStatistics() override
    {
        for (auto &c : counts) c = 0;
    }
    struct Event {
        uint16_t id;
        uint64_t block;
        uint16_t channel;
        std::vector<uint8_t> data;
    };
    softdevice::IdentityTexts texts;
    std::string xml;
    int identities = 0, descriptions = 0;
    bool open = false;
    std::vector<Event> events;
    uint64_t counts[softdevice::Statistics::kCount] = {};
};

inline softdevice::NetConfig loopback()
{
    softdevice::NetConfig n;
    n.mac = {0x02, 0x00, 0x7F, 0, 0, 9};
    n.ip = 0x7F000009;
    n.mask = 0xFF000000;
    return n;
}

// The engine reads the device's own registers as the server would hand
// them on (the bootstrap block is the server's).
struct ModelPort : ZU_GENAPI_NS::IPort {
    explicit ModelPort(softdevice::DeviceModel &aModel) : model(aModel) {}
    ZuResult Read(uint64_t aAddress, void *aData, int64_t aLength) override
    {
        const uint32_t start = uint32_t(aAddress) & ~3u;
        const uint32_t end = (uint32_t(aAddress + uint64_t(aLength)) + 3u) & ~3u;
        std::vector<uint8_t> out(end - start);
        if (model.ReadMemory(start, end - start, out.data()) != softdevice::kStatusSuccess) return ZuResult(ZU_GENERIC_ERROR);
        std::memcpy(aData, out.data() + (aAddress - start), size_t(aLength));
        return ZuResult(ZU_OK);
    }
    ZuResult Write(uint64_t aAddress, const void *aData, int64_t aLength) override
    {
        if (aAddress % 4 || aLength % 4) return ZuResult(ZU_INVALID_PARAMETER);
        uint16_t s = model.WriteMemory(uint32_t(aAddress), static_cast<const uint8_t *>(aData), uint32_t(aLength));
        return ZuResult(s == softdevice::kStatusSuccess ? ZU_OK : ZU_GENERIC_ERROR);
    }
    softdevice::DeviceModel &model;
};

} // namespace test
} // namespace tarn

#endif
