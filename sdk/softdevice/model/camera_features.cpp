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
    mChunkSelector.assign(mStreams.count(), 0);
    for (size_t c = 0; c < mStreams.count(); ++c)
        if (!mStreams.facts(c).chunks.empty()) mChunkSelector[c] = mStreams.facts(c).chunks.front().second;
    mStreams.enableFrameRate(false);
    mStreams.setFrameRate(30.0);
}

size_t CameraFeatures::channels() const
{
    return mStreams.count();
}

uint32_t CameraFeatures::read(Value aValue, size_t aChannel)
{
    if (sourceKeeps(aValue)) return fromSource(aChannel, aValue);
    switch (aValue) {
    case Value::PayloadSize: return mStreams.payloadSize(aChannel);
    case Value::WidthMin: return mStreams.facts(aChannel).widthMin;
    case Value::WidthMax: return mStreams.facts(aChannel).widthMax;
    case Value::WidthInc: return mStreams.facts(aChannel).widthInc;
    case Value::HeightMin: return mStreams.facts(aChannel).heightMin;
    case Value::HeightMax: return mStreams.facts(aChannel).heightMax;
    case Value::HeightInc: return mStreams.facts(aChannel).heightInc;
    case Value::PacketSizeMax: return mStreams.facts(aChannel).packetMax;
    case Value::ChunkSelector: return mChunkSelector[aChannel];
    case Value::StreamProtocol: return mStreams.channel(aChannel).config().protocol.load();
    case Value::SourceSelector: return mSourceSelector;
    case Value::StreamChannelSelector: return mStreamSelector;
    case Value::LastChannel: return mStreams.count() ? uint32_t(mStreams.count() - 1) : 0;
    case Value::TLParamsLocked: return mTlLocked;
    case Value::AcquisitionFrameRateEnable: return uint32_t(mStreams.frameRateEnabled());
    case Value::UserSetSelector: return mUserSetSelector;
    case Value::UserSetDefault: return mUserSets.defaultSet();
    default: return 0;   // AcquisitionMode has one value; commands read nothing
    }
}

uint16_t CameraFeatures::write(Value aValue, size_t aChannel, uint32_t aNew)
{
    if (sourceKeeps(aValue)) return toSource(aChannel, aValue, aNew);
    switch (aValue) {
    // Which protocol carries the stream; not while it streams.
    case Value::StreamProtocol:
        if (mStreams.channel(aChannel).streaming()) return kStatusAccessDenied;
        mStreams.channel(aChannel).config().protocol = aNew;
        break;
    case Value::ChunkSelector: mChunkSelector[aChannel] = aNew; break;
    case Value::SourceSelector: mSourceSelector = aNew; break;
    case Value::StreamChannelSelector: mStreamSelector = aNew; break;
    case Value::TLParamsLocked: mTlLocked = aNew; break;
    case Value::AcquisitionStart: mStreams.startAcquisition(); break;
    case Value::AcquisitionStop: mStreams.stopAcquisition(); break;
    case Value::AcquisitionFrameRateEnable: mStreams.enableFrameRate(aNew != 0); break;
    case Value::DeviceReset: mReset(); break;
    case Value::UserSetSelector: mUserSetSelector = aNew; break;
    case Value::UserSetLoad:
        if (mTlLocked) return kStatusAccessDenied;
        return mUserSets.load(mUserSetSelector);
    // The default set is the device's own, read-only to a controller.
    case Value::UserSetSave: return mUserSetSelector == 0 ? kStatusAccessDenied : mUserSets.save(mUserSetSelector);
    case Value::UserSetDefault: mUserSets.setDefault(aNew); break;
    default: break;   // AcquisitionMode keeps its one value
    }
    return kStatusSuccess;
}

double CameraFeatures::readFloat(Value aValue)
{
    return aValue == Value::AcquisitionFrameRate ? mStreams.frameRate() : 0;
}

void CameraFeatures::writeFloat(Value aValue, double aNew)
{
    if (aValue == Value::AcquisitionFrameRate) mStreams.setFrameRate(aNew);
}

bool CameraFeatures::has(Presence aPresence, size_t aChannel) const
{
    const bool channel = aChannel < mStreams.count();
    switch (aPresence) {
    case Presence::Always: return true;
    case Presence::SeveralChannels: return mStreams.count() > 1;
    case Presence::Chunks: return channel && !mStreams.facts(aChannel).chunks.empty();
    case Presence::MultiPart: return channel && mStreams.facts(aChannel).multiPart;
    case Presence::GenDC: return mStreams.genDCManager(aChannel) != nullptr;
    case Presence::Rtp: return mStreams.rtpEnabled();
    }
    return false;
}

Entries CameraFeatures::entries(From aFrom, size_t aChannel) const
{
    Entries out;
    const bool channel = aChannel < mStreams.count();
    switch (aFrom) {
    case From::Table: break;
    case From::PixelTypes:
        if (channel)
            for (ZuPixelType t : mStreams.facts(aChannel).pixelTypes) addEntry(out, pixelName(t), int64_t(uint32_t(t)));
        break;
    case From::Chunks:
        if (channel)
            for (const auto &c : mStreams.facts(aChannel).chunks) addEntry(out, chunkName(c), int64_t(c.second));
        break;
    case From::UserSets:
        out.emplace_back("Default", 0);
        for (uint32_t k = 1; k <= mUserSets.count(); ++k) out.emplace_back("UserSet" + std::to_string(k), k);
        break;
    }
    return out;
}

void CameraFeatures::imageChanged(size_t aChannel)
{
    mStreams.refreshGeometry(aChannel);
}

uint32_t CameraFeatures::fromSource(size_t aChannel, Value aValue)
{
    Channel &c = mStreams.channel(aChannel);
    // What the device asked the source to stream by itself, as the source took it.
    if (aValue == Value::TestPayloadFormatMode) return c.testPayload().load();
    if (aValue == Value::GenDCStreamingMode) return uint32_t(mStreams.genDCStreaming(aChannel));
    uint32_t v = 0;
    guarded(c.counters().sourceFailures, [&] {
        IZuSWStreamingChannelSource &s = c.source();
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

uint16_t CameraFeatures::toSource(size_t aChannel, Value aValue, uint32_t aNew)
{
    Channel &c = mStreams.channel(aChannel);
    ZuResult r(ZU_GENERIC_ERROR);
    const bool called = guarded(c.counters().sourceFailures, [&] {
        IZuSWStreamingChannelSource &s = c.source();
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
    if (aValue == Value::TestPayloadFormatMode) c.testPayload() = aNew;
    return kStatusSuccess;
}

} // namespace softdevice
} // namespace tarn
