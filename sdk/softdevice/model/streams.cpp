#include "softdevice/model/streams.h"

#include "softdevice/model/guard.h"
#include "IZuSWStreamingChannelSourceGenDC.h"
#include "ZuBuffer.h"
#include "ZuGenDCManager.h"
#include "ZuPixelTypeInfo.h"
#include "gev/bootstrap.h"
#include "gev/gvsp.h"

#include <algorithm>
#include <cstring>

namespace tarn {
namespace softdevice {

namespace {

// A source answering OK forever must not hang Start.
constexpr int kMaxListed = 256;
constexpr uint32_t kDefaultPacketSizeMax = 9000;

// Without large leaders and trailers a multi-part block has at most this
// many parts: what a leader of 576 bytes describes.
constexpr uint32_t kPartsInSmallLeader = 10;

// The parts a leader as large as the channel's packets describes.
uint32_t partsPerLeader(uint32_t aPacketSize, bool aExtendedId)
{
    gvsp::Leader leader;
    leader.payloadType = gvsp::PAYLOAD_MULTIPART;
    const size_t fixed = gvsp::kIpUdpOverhead + gvsp::headerSize(aExtendedId) + gvsp::leaderBodySize(leader);
    const size_t size = aPacketSize & gvcp::SCPS_SIZE_MASK;
    return size > fixed ? uint32_t((size - fixed) / gvsp::kPartLeaderSize) : 0;
}

} // namespace

Streams::Streams(const void *aOwner, std::function<uint64_t()> aClock) : mOwner(aOwner), mClock(std::move(aClock)) {}

Streams::~Streams()
{
    Close();
}

ZuResult Streams::Add(IZuSWStreamingChannelSource *aSource)
{
    if (!aSource) return ZuResult(ZU_INVALID_PARAMETER);
    if (mSources.size() >= kMaxStreams) return ZuResult(ZU_NOT_SUPPORTED);
    mSources.push_back(aSource);
    return ZuResult(ZU_OK);
}

// ---- Start and stop

void Streams::Open()
{
    mChannels.clear();
    mGenDCInUse.clear();
    for (size_t i = 0; i < mSources.size(); ++i)
        mChannels.push_back(std::make_unique<Channel>(*mSources[i], uint16_t(i), mOwner));
    mSenders.assign(mChannels.size(), nullptr);
    mRtpSenders.assign(mChannels.size(), nullptr);
}

bool Streams::Learn(std::string &aError)
{
    // Each channel's facts are there even when an up-call throws on the way.
    mFacts.assign(mChannels.size(), SourceFacts());
    bool usable = true;
    for (size_t i = 0; i < mChannels.size(); ++i) {
        IZuSWStreamingChannelSource &src = mChannels[i]->Source();
        SourceFacts &facts = mFacts[i];
        for (int k = 0; k < kMaxListed; ++k) {
            ZuPixelType type = ZuPixelUndefined;
            if (!src.GetSupportedPixelType(k, type).IsOK()) break;
            facts.pixelTypes.push_back(type);
        }
        for (int k = 0; k < kMaxListed; ++k) {
            uint32_t id = 0;
            ZuString name;
            if (!src.GetSupportedChunk(k, id, name).IsOK()) break;
            facts.chunks.emplace_back(name.Narrow(), id);
        }
        uint32_t lo = 0, hi = 0, inc = 0;
        src.GetWidthInfo(lo, hi, inc);
        uint32_t hlo = 0, hhi = 0, hinc = 0;
        src.GetHeightInfo(hlo, hhi, hinc);
        // No zero-sized frames: a channel must be able to carry a pixel.
        if (usable && (hi == 0 || hhi == 0 || src.GetWidth() == 0 || src.GetHeight() == 0)) {
            aError = "stream " + std::to_string(i) + ": the source's width and height must be at least 1";
            usable = false;
        }
        if (usable && facts.pixelTypes.empty()) {
            aError = "stream " + std::to_string(i) + ": the source supports no pixel type";
            usable = false;
        }
        uint32_t packetMax = kDefaultPacketSizeMax;
        if (!src.GetGevSCPSPacketSizeInfo(packetMax).IsOK() || packetMax < 576 || packetMax > 65535)
            packetMax = kDefaultPacketSizeMax;
        // Sizes go in steps of 4 from 576.
        packetMax &= ~3u;
        mChannels[i]->Config().packetSize = std::min<uint32_t>(1500, packetMax);
        facts.widthMin = lo;
        facts.widthMax = hi;
        facts.widthInc = inc ? inc : 1;
        facts.heightMin = hlo;
        facts.heightMax = hhi;
        facts.heightInc = hinc ? hinc : 1;
        facts.packetMax = packetMax;
        facts.multiPart = src.IsPayloadTypeSupported(ZuPayloadTypeMultiPart);
    }
    return usable;
}

bool Streams::Allocate(std::string &aError)
{
    // The container is complete before the first buffer is asked for:
    // attaching a buffer to the manager sizes it from the container.
    AssignGenDCManagers();
    for (auto &c : mChannels)
        if (!c->Allocate(aError)) return false;
    return true;
}

void Streams::Close()
{
    StopAcquisition();
    for (auto &c : mChannels) {
        CloseStream(*c);
        c->FreeAll();
    }
    mChannels.clear();
    mSenders.clear();
    mRtpSenders.clear();
    mFacts.clear();
    mGenDCInUse.clear();
}

void Streams::AssignGenDCManagers()
{
    mGenDCInUse.assign(mChannels.size(), nullptr);
    if (!mGenDC) return;
    for (size_t i = 0; i < mChannels.size(); ++i) {
        auto *source = dynamic_cast<IZuSWStreamingChannelSourceGenDC *>(&mChannels[i]->Source());
        if (!source) continue;
        if (mGenDCManagers.size() <= i) mGenDCManagers.resize(i + 1);
        if (!mGenDCManagers[i]) mGenDCManagers[i] = std::make_unique<ZuGenDCManager>();
        else mGenDCManagers[i]->ResetContainer();
        mGenDCInUse[i] = mGenDCManagers[i].get();
        source->AssignGenDCManager(mGenDCManagers[i].get());
        source->SetupGenDCContainer();
    }
}

bool Streams::GenDCStreaming(size_t aChannel)
{
    Channel &c = *mChannels[aChannel];
    auto *source = dynamic_cast<IZuSWStreamingChannelSourceGenDC *>(&c.Source());
    bool on = false;
    if (source) guarded(c.Counters().sourceFailures, [&] { on = source->GetGenDCStreamingMode(); });
    return on;
}

uint32_t Streams::PayloadSize(size_t aChannel)
{
    Channel &c = *mChannels[aChannel];
    IZuSWStreamingChannelSource &src = c.Source();
    uint64_t size = 0;
    ZuGenDCManager *manager = GenDCManager(aChannel);
    if (manager && GenDCStreaming(aChannel))
        return uint32_t(std::min<uint64_t>(manager->GetTotalPayloadSize(), 0xFFFFFFFFu));
    guarded(c.Counters().sourceFailures, [&] {
        size = src.GetPayloadSize();
        if (size) return;
        const uint64_t bits = uint64_t(src.GetWidth()) * src.GetHeight() * ZuPixelTypeGetBitsPerPixel(src.GetPixelType());
        size = (bits + 7) / 8;
        if (src.GetChunkModeActive()) size += src.GetChunksSize();
    });
    return uint32_t(std::min<uint64_t>(size, 0xFFFFFFFFu));
}

void Streams::RefreshGeometry(size_t aChannel)
{
    Channel &c = *mChannels[aChannel];
    ImageGeometry g;
    if (guarded(c.Counters().sourceFailures, [&] {
            IZuSWStreamingChannelSource &s = c.Source();
            g.width = s.GetWidth();
            g.height = s.GetHeight();
            g.offsetX = s.GetOffsetX();
            g.offsetY = s.GetOffsetY();
            g.pixelType = s.GetPixelType();
        }))
        c.SetGeometry(g);
}

// ---- Control

void Streams::SetSender(size_t aChannel, BlockSender *aSender)
{
    if (aChannel < mSenders.size()) mSenders[aChannel] = aSender;
}

void Streams::SetRtpSender(size_t aChannel, BlockSender *aSender)
{
    if (aChannel < mRtpSenders.size()) mRtpSenders[aChannel] = aSender;
}

void Streams::Changed(size_t aChannel, uint32_t aIp, uint16_t aPort, uint32_t aPacketSize, uint32_t aDelay,
                      uint32_t aConfiguration)
{
    if (aChannel >= mChannels.size()) return;
    Channel &c = *mChannels[aChannel];
    StreamConfig &cfg = c.Config();
    const uint16_t old = uint16_t(cfg.port & 0xFFFF);
    const bool resized = cfg.packetSize.exchange(aPacketSize) != aPacketSize;
    Configure(c, aConfiguration, resized);
    cfg.delay = aDelay;
    // A channel is open towards one destination, its address and port both
    // set (in whichever order the controller writes them): another one
    // closes it and opens it anew.
    if (!aPort || !aIp || aIp != cfg.destination || aPort != old) CloseStream(c);
    cfg.destination = aIp;
    cfg.port = aPort;
    if (aPort && aIp) OpenStream(c);
}

std::vector<uint32_t> Streams::Capabilities() const
{
    std::vector<uint32_t> out;
    for (const SourceFacts &f : mFacts)
        out.push_back(f.multiPart ? gvcp::SCC_MULTI_PART | gvcp::SCC_LARGE_LEADER_TRAILER : 0);
    return out;
}

// The configuration bits the channel offers, as the controller set them:
// the source hears of each change, and of the parts a large leader holds
// whenever the packet size changes them. GigE Vision carries multi-part
// blocks with extended ids only: while they are allowed, the channel's
// blocks all go so.
void Streams::Configure(Channel &aChannel, uint32_t aConfiguration, bool aPacketSizeChanged)
{
    if (aChannel.Index() >= mFacts.size() || !mFacts[aChannel.Index()].multiPart) return;
    StreamConfig &cfg = aChannel.Config();
    const uint32_t now = aConfiguration & (gvcp::SCC_MULTI_PART | gvcp::SCC_LARGE_LEADER_TRAILER);
    const uint32_t changed = cfg.configuration.exchange(now) ^ now;
    cfg.extendedIds = (now & gvcp::SCC_MULTI_PART) != 0;
    IZuSWStreamingChannelSource &source = aChannel.Source();
    std::atomic<uint64_t> &failures = aChannel.Counters().sourceFailures;
    if (changed & gvcp::SCC_MULTI_PART)
        guarded(failures, [&] { source.SetMultiPartAllowed((now & gvcp::SCC_MULTI_PART) != 0); });
    const bool large = (now & gvcp::SCC_LARGE_LEADER_TRAILER) != 0;
    if ((changed & gvcp::SCC_LARGE_LEADER_TRAILER) || (large && aPacketSizeChanged)) {
        const uint32_t parts = large ? partsPerLeader(cfg.packetSize, cfg.extendedIds) : kPartsInSmallLeader;
        guarded(failures, [&] { source.SetLargeLeaderTrailerEnabled(large, parts); });
    }
}

void Streams::OpenStream(Channel &aChannel)
{
    if (aChannel.MarkOpen(true)) return;
    const ZuString ip(gvcp::formatIPv4(aChannel.Config().destination).c_str());
    const uint16_t port = uint16_t(aChannel.Config().port & 0xFFFF);
    guarded(aChannel.Counters().sourceFailures, [&] { aChannel.Source().OnOpen(ip, port); });
}

void Streams::CloseStream(Channel &aChannel)
{
    if (aChannel.Streaming()) aChannel.StopStreaming();
    if (!aChannel.MarkOpen(false)) return;
    guarded(aChannel.Counters().sourceFailures, [&] { aChannel.Source().OnClose(); });
}

void Streams::StartAcquisition()
{
    for (size_t i = 0; i < mChannels.size(); ++i) {
        Channel &c = *mChannels[i];
        BlockSender *sender = c.Config().protocol == StreamConfig::kProtocolRtp ? mRtpSenders[i] : mSenders[i];
        if (c.Streaming() || !sender || !(c.Config().port & 0xFFFF) || !c.Config().destination) continue;
        std::function<void(ZuBuffer &)> stamp;
        if (mStamping) stamp = [this](ZuBuffer &b) { b.SetTimestamp(mClock()); };
        c.StartStreaming(*sender, stamp, [this] { return FramePeriod(); });
    }
}

void Streams::StopAcquisition()
{
    for (auto &c : mChannels)
        if (c->Streaming()) c->StopStreaming();
}

void Streams::EndSession()
{
    StopAcquisition();
    for (auto &c : mChannels) {
        CloseStream(*c);
        Configure(*c, 0, false);
        c->Config().port = 0;
        c->Config().destination = 0;
        c->Config().protocol = StreamConfig::kProtocolGvsp;
    }
}

// ---- Frame rate

double Streams::FrameRate() const
{
    const uint64_t bits = mFrameRateBits;
    double rate = 0;
    std::memcpy(&rate, &bits, sizeof rate);
    return rate;
}

void Streams::SetFrameRate(double aRate)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &aRate, sizeof bits);
    mFrameRateBits = bits;
}

std::chrono::nanoseconds Streams::FramePeriod() const
{
    // The register takes only rates within the feature's limits.
    if (!mFrameRateEnable) return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(int64_t(1e9 / FrameRate()));
}

} // namespace softdevice
} // namespace tarn
