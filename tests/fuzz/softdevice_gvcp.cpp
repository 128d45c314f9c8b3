// The software camera as a controller reaches it: any packet handed to the
// shared GVCP server over the camera's model (its own registers, the
// session's notifications, the stream channels) leaves it answering and
// consistent; the state carries over from one input to the next. A second
// stream is a trigger source, so that its registers are reached too.
#include "IZuSWStreamingChannelSource.h"
#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuSoftDeviceGEV.h"
#include "ZuStreamingChannelSourceTrigger.h"
#include "ZuTriggerSelector.h"
#include "softdevice/gvcp_adapter.h"

#include <cstdlib>
#include <vector>

using namespace tarn;

namespace {

// A source that accepts every setting within its limits and never streams
// (no sender is given: acquisition starts nothing).
template <class Base>
class Described : public Base
{
public:
    using Base::Base;
    uint32_t GetWidth() const override { return width; }
    uint32_t GetHeight() const override { return height; }
    uint32_t GetOffsetX() const override { return 0; }
    uint32_t GetOffsetY() const override { return 0; }
    ZuPixelType GetPixelType() const override { return ZuPixelMono8; }
    void GetWidthInfo(uint32_t &a, uint32_t &b, uint32_t &c) const override { a = 1; b = 64; c = 1; }
    void GetHeightInfo(uint32_t &a, uint32_t &b, uint32_t &c) const override { a = 1; b = 64; c = 1; }
    uint32_t GetChunksSize() const override { return 0; }
    uint32_t GetPayloadSize() const override { return 0; }
    ZuScanType GetScanType() const override { return ZuScanTypeArea; }
    bool GetChunkModeActive() const override { return false; }
    bool GetChunkEnable(uint32_t) const override { return false; }
    ZuResult GetSupportedPixelType(int i, ZuPixelType &t) const override
    {
        t = ZuPixelMono8;
        return ZuResult(i == 0 ? ZU_OK : ZU_INVALID_PARAMETER);
    }
    ZuResult GetSupportedChunk(int i, uint32_t &id, ZuString &name) const override
    {
        id = 0x4000;
        name = ZuString("ChunkTimestamp");
        return ZuResult(i == 0 ? ZU_OK : ZU_INVALID_PARAMETER);
    }
    ZuResult SetWidth(uint32_t v) override { width = v; return ZuResult(ZU_OK); }
    ZuResult SetHeight(uint32_t v) override { height = v; return ZuResult(ZU_OK); }
    ZuResult SetOffsetX(uint32_t) override { return ZuResult(ZU_OK); }
    ZuResult SetOffsetY(uint32_t) override { return ZuResult(ZU_OK); }
    ZuResult SetPixelType(ZuPixelType) override { return ZuResult(ZU_OK); }
    ZuResult SetChunkModeActive(bool) override { return ZuResult(ZU_OK); }
    ZuResult SetChunkEnable(uint32_t, bool) override { return ZuResult(ZU_OK); }
    void OnOpen(const ZuString &, uint16_t) override {}
    void OnClose() override {}
    void OnStreamingStart() override {}
    void OnStreamingStop() override {}
    ZuBuffer *AllocBuffer() override
    {
        if (buffers.size() >= 2) return nullptr;
        buffers.push_back(new ZuBuffer(ZuPayloadTypeImage));
        buffers.back()->GetImage()->Alloc(64, 64, ZuPixelMono8);
        return buffers.back();
    }
    void FreeBuffer(ZuBuffer *) override {}
    ZuResult GetTxNumBuffersToUse(uint32_t &) override { return ZuResult(ZU_NOT_IMPLEMENTED); }
    ZuResult QueueBuffer(ZuBuffer *) override { return ZuResult(ZU_OK); }
    ZuResult RetrieveBuffer(ZuBuffer **) override { return ZuResult(ZU_TIMEOUT); }
    void AbortQueuedBuffers() override {}

    uint32_t width = 32, height = 16;
    std::vector<ZuBuffer *> buffers;
};
using Source = Described<IZuSWStreamingChannelSource>;

// A second stream under trigger control: its registers at 0x20000.
struct TriggerSource : Described<ZuStreamingChannelSourceTrigger> {
    TriggerSource() : Described<ZuStreamingChannelSourceTrigger>(1, 0x20000)
    {
        AddSelector(TRIGGER_SELECTOR_FRAMESTART, &frame);
        AddSelector(TRIGGER_SELECTOR_LINESTART, &line);
        AddSource(TRIGGER_SOURCE_SOFTWARE, ZuString("Software"));
        AddSource(TRIGGER_SOURCE_USER, ZuString("Line1"));
    }
    ZuTriggerSelectorFrameStart frame;
    ZuTriggerSelectorLineStart line;
};

class Discard : public gvcpserver::ServerOutput
{
public:
    void SendControl(const gvcp::Bytes &packet, const net::Endpoint &) override
    {
        auto ack = gvcp::decodeAck(packet.data(), packet.size());
        if (!ack || ack->header.ackId != expectedId) abort();
    }
    void SendMessage(const gvcp::Bytes &, const net::Endpoint &) override {}
    uint16_t expectedId = 0;
};

struct Camera {
    Camera()
    {
        model.AddStream(&source);
        model.AddStream(&triggered);
        model.SetUserSetCount(2);
        softdevice::NetConfig net;
        net.mac = {0x02, 0x00, 0x7F, 0, 0, 0x0A};
        net.ip = 0x7F00000A;
        net.mask = 0xFF000000;
        if (!model.Build(net).IsOK()) abort();
        gvcpserver::ServerConfig config;
        config.identity = softdevice::GvcpAdapter::IdentityOf(model);
        const std::string xml = model.Description();
        config.description.assign(xml.begin(), xml.end());
        config.limits = softdevice::standardBootstrapLimits(model.Features());
        server = new gvcpserver::Server(config, &adapter, &adapter);
    }
    ZuSoftDeviceGEV self;
    Source source;
    TriggerSource triggered;
    softdevice::DeviceModel model{self};
    softdevice::GvcpAdapter adapter{model};
    gvcpserver::Server *server = nullptr;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    static Camera *camera = new Camera();
    static gvcpserver::Clock::time_point now{};
    Discard out;
    auto cmd = gvcp::decodeCommand(aData, aSize);
    out.expectedId = cmd ? cmd->header.reqId : 0;
    net::Endpoint from{0x7F000001, uint16_t(aSize > 8 && (aData[aSize - 1] & 1) ? 5001 : 5002)};
    camera->server->Handle(aData, aSize, from, now, out);
    now += std::chrono::milliseconds(aSize);
    camera->server->Tick(now, out);
    // Whatever was written, the source is described within its limits.
    if (camera->source.width > 64 || camera->source.height > 64) abort();
    if (camera->triggered.width > 64 || camera->triggered.height > 64) abort();
    return 0;
}
