#include "softdevice/model/camera_features.h"

#include "softdevice/model/guard.h"
#include "softdevice/model/register_space.h"
#include "softdevice/model/streams.h"
#include "softdevice/model/user_sets.h"
#include "IZuSWStreamingChannelSourceGenDC.h"
#include "ZuPixelTypeInfo.h"

#include <cstdio>

namespace tarn {
namespace softdevice {

namespace {

std::string pixelName(ZuPixelType aType)
{
    std::string name = ZuPixelTypeToString(aType).Narrow();
    if (!name.empty()) return name;
    char text[32];
    std::snprintf(text, sizeof text, "Pixel%08X", uint32_t(aType));
    return text;
}

// A chunk's entry: its name without the "Chunk" its source gives it.
std::string chunkName(const std::pair<std::string, uint32_t> &aChunk)
{
    std::string name = aChunk.first.rfind("Chunk", 0) == 0 ? aChunk.first.substr(5) : aChunk.first;
    return name.empty() ? "Chunk" + std::to_string(aChunk.second) : name;
}

// The values a channel's source keeps.
bool sourceKeeps(Value aValue)
{
    switch (aValue) {
    case Value::Width:
    case Value::Height:
    case Value::OffsetX:
    case Value::OffsetY:
    case Value::PixelFormat:
    case Value::ChunkModeActive:
    case Value::ChunkEnable:
    case Value::GenDCStreamingMode:
    case Value::TestPayloadFormatMode: return true;
    default: return false;
    }
}

void addEntry(Entries &aEntries, const std::string &aName, int64_t aValue)
{
    for (const auto &e : aEntries)
        if (e.first == aName) return;
    aEntries.emplace_back(aName, aValue);
}

} // namespace

CameraFeatures::CameraFeatures(Streams &aStreams, UserSetBank &aUserSets, std::function<void()> aReset)
    : mStreams(aStreams), mUserSets(aUserSets), mReset(std::move(aReset))
{
}

void CameraFeatures::Start()
{
    mSourceSelector = mStreamSelector = mUserSetSelector = mTlLocked = 0;
    mChunkSelector.assign(mStreams.Count(), 0);
    for (size_t c = 0; c < mStreams.Count(); ++c)
        if (!mStreams.Facts(c).chunks.empty()) mChunkSelector[c] = mStreams.Facts(c).chunks.front().second;
    mStreams.EnableFrameRate(false);
    mStreams.SetFrameRate(30.0);
}

size_t CameraFeatures::Channels() const
{
    return mStreams.Count();
}

uint32_t CameraFeatures::Read(Value aValue, size_t aChannel)
{
    if (sourceKeeps(aValue)) return FromSource(aChannel, aValue);
    switch (aValue) {
    case Value::PayloadSize: return mStreams.PayloadSize(aChannel);
    case Value::WidthMin: return mStreams.Facts(aChannel).widthMin;
    case Value::WidthMax: return mStreams.Facts(aChannel).widthMax;
    case Value::WidthInc: return mStreams.Facts(aChannel).widthInc;
    case Value::HeightMin: return mStreams.Facts(aChannel).heightMin;
    case Value::HeightMax: return mStreams.Facts(aChannel).heightMax;
    case Value::HeightInc: return mStreams.Facts(aChannel).heightInc;
    case Value::PacketSizeMax: return mStreams.Facts(aChannel).packetMax;
    case Value::ChunkSelector: return mChunkSelector[aChannel];
    case Value::StreamProtocol: return mStreams.GetChannel(aChannel).Config().protocol.load();
    case Value::SourceSelector: return mSourceSelector;
    case Value::StreamChannelSelector: return mStreamSelector;
    case Value::LastChannel: return mStreams.Count() ? uint32_t(mStreams.Count() - 1) : 0;
    case Value::TLParamsLocked: return mTlLocked;
    case Value::AcquisitionFrameRateEnable: return uint32_t(mStreams.FrameRateEnabled());
    case Value::UserSetSelector: return mUserSetSelector;
    case Value::UserSetDefault: return mUserSets.DefaultSet();
    default: return 0;   // AcquisitionMode has one value; commands read nothing
    }
}

uint16_t CameraFeatures::Write(Value aValue, size_t aChannel, uint32_t aNew)
{
    if (sourceKeeps(aValue)) return ToSource(aChannel, aValue, aNew);
    switch (aValue) {
    // Which protocol carries the stream; not while it streams.
    case Value::StreamProtocol:
        if (mStreams.GetChannel(aChannel).Streaming()) return kStatusAccessDenied;
        mStreams.GetChannel(aChannel).Config().protocol = aNew;
        break;
    case Value::ChunkSelector: mChunkSelector[aChannel] = aNew; break;
    case Value::SourceSelector: mSourceSelector = aNew; break;
    case Value::StreamChannelSelector: mStreamSelector = aNew; break;
    case Value::TLParamsLocked: mTlLocked = aNew; break;
    case Value::AcquisitionStart: mStreams.StartAcquisition(); break;
    case Value::AcquisitionStop: mStreams.StopAcquisition(); break;
    case Value::AcquisitionFrameRateEnable: mStreams.EnableFrameRate(aNew != 0); break;
    case Value::DeviceReset: mReset(); break;
    case Value::UserSetSelector: mUserSetSelector = aNew; break;
    case Value::UserSetLoad:
        if (mTlLocked) return kStatusAccessDenied;
        return mUserSets.Load(mUserSetSelector);
    // The default set is the device's own, read-only to a controller.
    case Value::UserSetSave: return mUserSetSelector == 0 ? kStatusAccessDenied : mUserSets.Save(mUserSetSelector);
    case Value::UserSetDefault: mUserSets.SetDefault(aNew); break;
    default: break;   // AcquisitionMode keeps its one value
    }
    return kStatusSuccess;
}

double CameraFeatures::ReadFloat(Value aValue)
{
    return aValue == Value::AcquisitionFrameRate ? mStreams.FrameRate() : 0;
}

void CameraFeatures::WriteFloat(Value aValue, double aNew)
{
    if (aValue == Value::AcquisitionFrameRate) mStreams.SetFrameRate(aNew);
}

bool CameraFeatures::Has(Presence aPresence, size_t aChannel) const
{
    const bool channel = aChannel < mStreams.Count();
    switch (aPresence) {
    case Presence::Always: return true;
    case Presence::SeveralChannels: return mStreams.Count() > 1;
    case Presence::Chunks: return channel && !mStreams.Facts(aChannel).chunks.empty();
    case Presence::MultiPart: return channel && mStreams.Facts(aChannel).multiPart;
    case Presence::GenDC: return mStreams.GenDCManager(aChannel) != nullptr;
    case Presence::Rtp: return mStreams.RtpEnabled();
    }
    return false;
}

Entries CameraFeatures::GetEntries(From aFrom, size_t aChannel) const
{
    Entries out;
    const bool channel = aChannel < mStreams.Count();
    switch (aFrom) {
    case From::Table: break;
    case From::PixelTypes:
        if (channel)
            for (ZuPixelType t : mStreams.Facts(aChannel).pixelTypes) addEntry(out, pixelName(t), int64_t(uint32_t(t)));
        break;
    case From::Chunks:
        if (channel)
            for (const auto &c : mStreams.Facts(aChannel).chunks) addEntry(out, chunkName(c), int64_t(c.second));
        break;
    case From::UserSets:
        out.emplace_back("Default", 0);
        for (uint32_t k = 1; k <= mUserSets.Count(); ++k) out.emplace_back("UserSet" + std::to_string(k), k);
        break;
    }
    return out;
}

void CameraFeatures::ImageChanged(size_t aChannel)
{
    mStreams.RefreshGeometry(aChannel);
}

uint32_t CameraFeatures::FromSource(size_t aChannel, Value aValue)
{
    Channel &c = mStreams.GetChannel(aChannel);
    // What the device asked the source to stream by itself, as the source took it.
    if (aValue == Value::TestPayloadFormatMode) return c.TestPayload().load();
    if (aValue == Value::GenDCStreamingMode) return uint32_t(mStreams.GenDCStreaming(aChannel));
    uint32_t v = 0;
    guarded(c.Counters().sourceFailures, [&] {
        IZuSWStreamingChannelSource &s = c.Source();
        switch (aValue) {
        case Value::Width: v = s.GetWidth(); break;
        case Value::Height: v = s.GetHeight(); break;
        case Value::OffsetX: v = s.GetOffsetX(); break;
        case Value::OffsetY: v = s.GetOffsetY(); break;
        case Value::PixelFormat: v = uint32_t(s.GetPixelType()); break;
        case Value::ChunkModeActive: v = uint32_t(s.GetChunkModeActive()); break;
        case Value::ChunkEnable: v = uint32_t(s.GetChunkEnable(mChunkSelector[aChannel])); break;
        default: break;
        }
    });
    return v;
}

uint16_t CameraFeatures::ToSource(size_t aChannel, Value aValue, uint32_t aNew)
{
    Channel &c = mStreams.GetChannel(aChannel);
    ZuResult r(ZU_GENERIC_ERROR);
    const bool called = guarded(c.Counters().sourceFailures, [&] {
        IZuSWStreamingChannelSource &s = c.Source();
        switch (aValue) {
        case Value::Width: r = s.SetWidth(aNew); break;
        case Value::Height: r = s.SetHeight(aNew); break;
        case Value::OffsetX: r = s.SetOffsetX(aNew); break;
        case Value::OffsetY: r = s.SetOffsetY(aNew); break;
        case Value::PixelFormat: r = s.SetPixelType(ZuPixelType(int32_t(aNew))); break;
        case Value::ChunkModeActive: r = s.SetChunkModeActive(aNew != 0); break;
        case Value::ChunkEnable: r = s.SetChunkEnable(mChunkSelector[aChannel], aNew != 0); break;
        case Value::GenDCStreamingMode:
            r = dynamic_cast<IZuSWStreamingChannelSourceGenDC &>(s).SetGenDCStreamingMode(aNew != 0);
            break;
        case Value::TestPayloadFormatMode: r = s.SetTestPayloadFormatMode(ZuPayloadType(aNew)); break;
        default: break;
        }
    });
    // A value the source refuses, or fails on, is refused to the controller.
    if (!called) return kStatusError;
    if (!r.IsOK()) return kStatusInvalidParameter;
    if (aValue == Value::TestPayloadFormatMode) c.TestPayload() = aNew;
    return kStatusSuccess;
}

} // namespace softdevice
} // namespace tarn
