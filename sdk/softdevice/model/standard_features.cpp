// The camera's own features (standard_features.h) and what the device makes
// of them: registers, description, user sets and the bootstrap limits the
// GVCP server keeps.

#include "softdevice/model/device_model.h"

#include "softdevice/model/guard.h"
#include "IZuSWStreamingChannelSourceGenDC.h"
#include "ZuPixelTypeInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tarn {
namespace softdevice {

namespace {

using Kind = StandardFeature::Kind;
using Per = StandardFeature::Per;
using Where = StandardFeature::Where;
using From = StandardFeature::From;
using Geometry = StandardFeature::Geometry;
namespace reg = gvcp::reg;

constexpr uint32_t kStatusOk = kStatusSuccess;
using Source = IZuSWStreamingChannelSource;

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

void addEntry(StandardFeature::Entries &aEntries, const std::string &aName, int64_t aValue)
{
    for (const auto &e : aEntries)
        if (e.first == aName) return;
    aEntries.emplace_back(aName, aValue);
}

} // namespace

// ---- The tables

const std::vector<StandardFamily> &DeviceModel::standardFamilies()
{
    // Everything of the device a row's register reads and writes is reached
    // through the device here, once: these run on the control thread.
    using F = StandardFeature;
    static const std::vector<StandardFamily> families = [] {
        const F::Present several = [](const DeviceModel &m, size_t) { return m.mStreams.count() > 1; };
        const F::Present chunks = [](const DeviceModel &m, size_t c) {
            return c < m.mStreams.count() && !m.mStreams.facts(c).chunks.empty();
        };
        const F::Limit lastChannel = +[](const DeviceModel &m) { return int64_t(m.mStreams.count()) - 1; };
        const F::Present multiPart = [](const DeviceModel &m, size_t c) {
            return c < m.mStreams.count() && m.mStreams.facts(c).multiPart;
        };

        StandardFamily identity{"DeviceControl", "Identity of the device", {}};
        auto &id = identity.features;
        id.push_back(F("DeviceVendorName", Kind::String, "Name of the manufacturer").bootstrap(reg::ManufacturerName).readOnly().bytes(32));
        id.push_back(F("DeviceModelName", Kind::String, "Model of the device").bootstrap(reg::ModelName).readOnly().bytes(32));
        id.push_back(F("DeviceVersion", Kind::String, "Version of the device").bootstrap(reg::DeviceVersion).readOnly().bytes(32));
        id.push_back(F("DeviceFirmwareVersion", Kind::String, "Version of the firmware").block(addr::FirmwareVersion).readOnly().bytes(32));
        id.push_back(F("DeviceManufacturerInfo", Kind::String, "Manufacturer information").bootstrap(reg::ManufacturerInfo).readOnly().bytes(48));
        id.push_back(F("DeviceSerialNumber", Kind::String, "Serial number").bootstrap(reg::SerialNumber).readOnly().bytes(16));
        id.push_back(F("DeviceUserID", Kind::String, "Name given by the user").bootstrap(reg::UserDefinedName).bytes(16));
        id.push_back(F("DeviceReset", Kind::Command, "Resets the device as a power cycle would").device(0x14).writeOnly().seen("Guru")
                         .writes([](DeviceModel &m, size_t, uint32_t) { m.resetDevice(); return uint16_t(kStatusOk); }));

        // The image: limits from each source's description, per source.
        StandardFamily image{"ImageFormatControl", "Image geometry and pixel format", {}};
        auto &im = image.features;
        im.push_back(F("SourceSelector", Kind::Integer, "Selects the stream source the image features show").device(0x10)
                         .limits(0, lastChannel).selecting(Per::Source).only(several)
                         .reads([](DeviceModel &m, size_t) { return m.mSourceSelector; })
                         .writes([](DeviceModel &m, size_t, uint32_t v) { m.mSourceSelector = v; return uint16_t(kStatusOk); }));
        im.push_back(F("WidthMin", Kind::Integer, "").channel(0x2C).readOnly().seen("Invisible")
                         .reads([](DeviceModel &m, size_t c) { return m.mStreams.facts(c).widthMin; }));
        im.push_back(F("WidthInc", Kind::Integer, "").channel(0x30).readOnly().seen("Invisible")
                         .reads([](DeviceModel &m, size_t c) { return m.mStreams.facts(c).widthInc; }));
        im.push_back(F("HeightMin", Kind::Integer, "").channel(0x34).readOnly().seen("Invisible")
                         .reads([](DeviceModel &m, size_t c) { return m.mStreams.facts(c).heightMin; }));
        im.push_back(F("HeightInc", Kind::Integer, "").channel(0x38).readOnly().seen("Invisible")
                         .reads([](DeviceModel &m, size_t c) { return m.mStreams.facts(c).heightInc; }));
        im.push_back(F("WidthMax", Kind::Integer, "Largest width").channel(0x24).readOnly().limits(1, 0xFFFFFFFF)
                         .reads([](DeviceModel &m, size_t c) { return m.mStreams.facts(c).widthMax; }));
        im.push_back(F("HeightMax", Kind::Integer, "Largest height").channel(0x28).readOnly().limits(1, 0xFFFFFFFF)
                         .reads([](DeviceModel &m, size_t c) { return m.mStreams.facts(c).heightMax; }));
        // A software sensor is as large as the largest image.
        im.push_back(F("SensorWidth", Kind::Integer, "Width of the sensor in pixels").channel(0x24).readOnly().limits(1, 0xFFFFFFFF));
        im.push_back(F("SensorHeight", Kind::Integer, "Height of the sensor in lines").channel(0x28).readOnly().limits(1, 0xFFFFFFFF));
        im.push_back(F("Width", Kind::Integer, "Width of the image in pixels").channel(0x00)
                         .limits("WidthMin", "WidthMax", "WidthInc").locked().kept(Geometry::Size)
                         .reads([](DeviceModel &m, size_t c) { return m.fromSource(c, [](Source &s) { return s.GetWidth(); }); })
                         .writes([](DeviceModel &m, size_t c, uint32_t v) { return m.toSource(c, [v](Source &s) { return s.SetWidth(v); }); }));
        im.push_back(F("Height", Kind::Integer, "Height of the image in lines").channel(0x04)
                         .limits("HeightMin", "HeightMax", "HeightInc").locked().kept(Geometry::Size)
                         .reads([](DeviceModel &m, size_t c) { return m.fromSource(c, [](Source &s) { return s.GetHeight(); }); })
                         .writes([](DeviceModel &m, size_t c, uint32_t v) { return m.toSource(c, [v](Source &s) { return s.SetHeight(v); }); }));
        im.push_back(F("OffsetX", Kind::Integer, "Horizontal offset in pixels").channel(0x08)
                         .limits(0, "WidthMax").locked().kept(Geometry::Offset)
                         .reads([](DeviceModel &m, size_t c) { return m.fromSource(c, [](Source &s) { return s.GetOffsetX(); }); })
                         .writes([](DeviceModel &m, size_t c, uint32_t v) { return m.toSource(c, [v](Source &s) { return s.SetOffsetX(v); }); }));
        im.push_back(F("OffsetY", Kind::Integer, "Vertical offset in lines").channel(0x0C)
                         .limits(0, "HeightMax").locked().kept(Geometry::Offset)
                         .reads([](DeviceModel &m, size_t c) { return m.fromSource(c, [](Source &s) { return s.GetOffsetY(); }); })
                         .writes([](DeviceModel &m, size_t c, uint32_t v) { return m.toSource(c, [v](Source &s) { return s.SetOffsetY(v); }); }));
        im.push_back(F("PixelFormat", Kind::Enumeration, "Format of the pixels").channel(0x10)
                         .entriesFrom(From::PixelTypes).locked().kept(Geometry::Format)
                         .reads([](DeviceModel &m, size_t c) { return m.fromSource(c, [](Source &s) { return uint32_t(s.GetPixelType()); }); })
                         .writes([](DeviceModel &m, size_t c, uint32_t v) {
                             return m.toSource(c, [v](Source &s) { return s.SetPixelType(ZuPixelType(int32_t(v))); });
                         }));
        im.push_back(F("PayloadSize", Kind::Integer, "Bytes of one block of the stream").channel(0x14).readOnly()
                         .reads([](DeviceModel &m, size_t c) { return m.mStreams.payloadSize(c); }));

        StandardFamily acquisition{"AcquisitionControl", "Acquisition", {}};
        auto &ac = acquisition.features;
        ac.push_back(F("AcquisitionMode", Kind::Enumeration, "Acquisition mode").device(0x08).entries({{"Continuous", 0}}).locked()
                         .reads([](DeviceModel &, size_t) { return uint32_t(0); })
                         .writes([](DeviceModel &, size_t, uint32_t) { return uint16_t(kStatusOk); }));
        ac.push_back(F("AcquisitionStart", Kind::Command, "Starts the acquisition").device(0x00).writeOnly()
                         .writes([](DeviceModel &m, size_t, uint32_t) { m.mStreams.startAcquisition(); return uint16_t(kStatusOk); }));
        ac.push_back(F("AcquisitionFrameRate", Kind::Float, "Frames a second the camera sends at most, while enabled").device(0x30)
                         .floatLimits(0.1, 100000.0).in("Hz")
                         .floats([](DeviceModel &m) { return m.mStreams.frameRate(); }, [](DeviceModel &m, double v) { m.mStreams.setFrameRate(v); }));
        ac.push_back(F("AcquisitionFrameRateEnable", Kind::Boolean, "Keeps the camera to AcquisitionFrameRate").device(0x38)
                         .reads([](DeviceModel &m, size_t) { return uint32_t(m.mStreams.frameRateEnabled()); })
                         .writes([](DeviceModel &m, size_t, uint32_t v) { m.mStreams.enableFrameRate(v != 0); return uint16_t(kStatusOk); }));
        ac.push_back(F("AcquisitionStop", Kind::Command, "Stops the acquisition").device(0x04).writeOnly()
                         .writes([](DeviceModel &m, size_t, uint32_t) { m.mStreams.stopAcquisition(); return uint16_t(kStatusOk); }));

        StandardFamily chunk{"ChunkDataControl", "Chunk data", {}};
        auto &ch = chunk.features;
        ch.push_back(F("ChunkModeActive", Kind::Boolean, "Appends chunk data to the payload").channel(0x18).locked()
                         .reads([](DeviceModel &m, size_t c) { return m.fromSource(c, [](Source &s) { return uint32_t(s.GetChunkModeActive()); }); })
                         .writes([](DeviceModel &m, size_t c, uint32_t v) { return m.toSource(c, [v](Source &s) { return s.SetChunkModeActive(v != 0); }); }));
        ch.push_back(F("ChunkSelector", Kind::Enumeration, "Selects the chunk that ChunkEnable shows").channel(0x1C)
                         .entriesFrom(From::Chunks).selecting({"ChunkEnable"}).only(chunks)
                         .reads([](DeviceModel &m, size_t c) { return m.mChunkSelector[c]; })
                         .writes([](DeviceModel &m, size_t c, uint32_t v) { m.mChunkSelector[c] = v; return uint16_t(kStatusOk); }));
        ch.push_back(F("ChunkEnable", Kind::Boolean, "Appends the selected chunk").channel(0x20).locked().only(chunks)
                         .reads([](DeviceModel &m, size_t c) {
                             const uint32_t chunk = m.mChunkSelector[c];
                             return m.fromSource(c, [chunk](Source &s) { return uint32_t(s.GetChunkEnable(chunk)); });
                         })
                         .writes([](DeviceModel &m, size_t c, uint32_t v) {
                             const uint32_t chunk = m.mChunkSelector[c];
                             return m.toSource(c, [chunk, v](Source &s) { return s.SetChunkEnable(chunk, v != 0); });
                         }));

        StandardFamily sets{"UserSetControl", "User sets", {}};
        auto &us = sets.features;
        us.push_back(F("UserSetSelector", Kind::Enumeration, "Selects the user set to load or save").device(0x18)
                         .entriesFrom(From::UserSets).selecting({"UserSetLoad", "UserSetSave"})
                         .reads([](DeviceModel &m, size_t) { return m.mUserSetSelector; })
                         .writes([](DeviceModel &m, size_t, uint32_t v) { m.mUserSetSelector = v; return uint16_t(kStatusOk); }));
        us.push_back(F("UserSetLoad", Kind::Command, "Loads the selected user set").device(0x1C).writeOnly()
                         .writes([](DeviceModel &m, size_t, uint32_t) {
                             if (m.mTlLocked) return uint16_t(kStatusAccessDenied);
                             return m.mUserSets.load(m.mUserSetSelector);
                         }));
        us.push_back(F("UserSetSave", Kind::Command, "Saves the selected user set").device(0x20).writeOnly()
                         .writes([](DeviceModel &m, size_t, uint32_t) {
                             // The default set is the device's own, read-only to a controller.
                             if (m.mUserSetSelector == 0) return uint16_t(kStatusAccessDenied);
                             return m.mUserSets.save(m.mUserSetSelector);
                         }));
        us.push_back(F("UserSetDefault", Kind::Enumeration, "The user set loaded when the device starts").device(0x24)
                         .entriesFrom(From::UserSets)
                         .reads([](DeviceModel &m, size_t) { return m.mUserSets.defaultSet(); })
                         .writes([](DeviceModel &m, size_t, uint32_t v) {
                             m.mUserSets.setDefault(v);
                             return uint16_t(kStatusOk);
                         }));

        // The transport: mostly the GVCP server's bootstrap registers.
        StandardFamily transport{"TransportLayerControl", "GigE Vision transport", {}};
        auto &tl = transport.features;
        tl.push_back(F("GenDCStreamingMode", Kind::Enumeration, "Whether the stream carries GenDC containers").channel(0x40)
                         .entries({{"Off", 0}, {"On", 1}}).locked().kept()
                         .only([](const DeviceModel &m, size_t c) { return m.mStreams.genDCManager(c) != nullptr; })
                         .reads([](DeviceModel &m, size_t c) { return uint32_t(m.mStreams.genDCStreaming(c)); })
                         .writes([](DeviceModel &m, size_t c, uint32_t v) {
                             return m.toSource(c, [v](Source &s) {
                                 return dynamic_cast<IZuSWStreamingChannelSourceGenDC &>(s).SetGenDCStreamingMode(v != 0);
                             });
                         }));
        tl.push_back(F("TLParamsLocked", Kind::Integer, "Locks the features that change the payload while streaming").device(0x0C)
                         .limits(0, 1).seen("Invisible")
                         .reads([](DeviceModel &m, size_t) { return m.mTlLocked; })
                         .writes([](DeviceModel &m, size_t, uint32_t v) { m.mTlLocked = v; return uint16_t(kStatusOk); }));
        tl.push_back(F("GevStreamChannelSelector", Kind::Integer, "Selects the stream channel").device(0x28)
                         .limits(0, lastChannel).selecting(Per::Stream).only(several)
                         .reads([](DeviceModel &m, size_t) { return m.mStreamSelector; })
                         .writes([](DeviceModel &m, size_t, uint32_t v) { m.mStreamSelector = v; return uint16_t(kStatusOk); }));
        tl.push_back(F("GevSCPSPacketSizeMax", Kind::Integer, "").channel(0x3C, Per::Stream).readOnly().limits(0, 65535).seen("Invisible")
                         .reads([](DeviceModel &m, size_t c) { return m.mStreams.facts(c).packetMax; }));
        tl.push_back(F("GevSCPSPacketSize", Kind::Integer, "Size of the stream packets in bytes")
                         .bootstrap(reg::StreamChannelPacketSize0, Per::Stream).bits(31, 16).seen("Expert")
                         .limits(576, "GevSCPSPacketSizeMax", 4));
        tl.push_back(F("GevSCPSFireTestPacket", Kind::Boolean, "Sends one test packet of the packet size")
                         .bootstrap(reg::StreamChannelPacketSize0, Per::Stream).bits(0, 0).seen("Guru"));
        tl.push_back(F("GevSCPSDoNotFragment", Kind::Boolean, "Sets the do-not-fragment bit of stream packets")
                         .bootstrap(reg::StreamChannelPacketSize0, Per::Stream).bits(1, 1).seen("Guru"));
        tl.push_back(F("GevSCPD", Kind::Integer, "Delay between stream packets in ticks")
                         .bootstrap(reg::StreamChannelPacketDelay0, Per::Stream).seen("Expert"));
        tl.push_back(F("GevSCDA", Kind::Integer, "Destination address of the stream")
                         .bootstrap(reg::StreamChannelDestination0, Per::Stream).shown("IPV4Address").seen("Guru"));
        tl.push_back(F("GevSCPHostPort", Kind::Integer, "Destination port of the stream")
                         .bootstrap(reg::StreamChannelPort0, Per::Stream).bits(31, 16).limits(0, 65535).seen("Guru"));
        tl.push_back(F("GevSCSP", Kind::Integer, "Source port of the stream")
                         .bootstrap(reg::StreamChannelSourcePort0, Per::Stream).readOnly().bits(31, 16).limits(0, 65535).seen("Guru"));
        // Multi-part where the source offers it: the controller allows it,
        // and leaders and trailers as large as the packets (bits 25 and 24
        // of the configuration register, gvcp::SCC_*).
        tl.push_back(F("GevSCCFGMultiPartEnabled", Kind::Boolean, "Allows the stream channel to send multi-part blocks")
                         .bootstrap(reg::StreamChannelConfiguration0, Per::Stream).bits(25, 25).locked().only(multiPart)
                         .seen("Expert"));
        tl.push_back(F("GevSCCFGLargeLeaderTrailerEnabled", Kind::Boolean,
                       "Allows leaders and trailers as large as the packets, for more parts")
                         .bootstrap(reg::StreamChannelConfiguration0, Per::Stream).bits(24, 24).locked().only(multiPart)
                         .seen("Guru"));
        // The value is the payload type the source is asked to stream.
        tl.push_back(F("TestPayloadFormatMode", Kind::Enumeration, "Has the source stream a payload of this format by itself, for validation")
                         .channel(0x48, Per::Stream).entries({{"Off", ZuPayloadTypeNone}, {"MultiPart", ZuPayloadTypeMultiPart}})
                         .locked().only(multiPart).seen("Guru")
                         .reads([](DeviceModel &m, size_t c) { return m.mStreams.channel(c).testPayload().load(); })
                         .writes([](DeviceModel &m, size_t c, uint32_t v) {
                             const uint16_t status =
                                 m.toSource(c, [v](Source &s) { return s.SetTestPayloadFormatMode(ZuPayloadType(v)); });
                             if (status == kStatusOk) m.mStreams.channel(c).testPayload() = v;
                             return status;
                         }));
        // Which protocol carries the stream; not while it streams.
        tl.push_back(F("StreamProtocol", Kind::Enumeration, "Protocol of the selected stream channel: GigE Vision streaming or RTP")
                         .channel(0x44, Per::Stream).entries({{"GVSP", StreamConfig::kProtocolGvsp}, {"RTP", StreamConfig::kProtocolRtp}})
                         .locked().only([](const DeviceModel &m, size_t) { return m.mStreams.rtpEnabled(); })
                         .reads([](DeviceModel &m, size_t c) { return m.mStreams.channel(c).config().protocol.load(); })
                         .writes([](DeviceModel &m, size_t c, uint32_t v) {
                             if (m.mStreams.channel(c).streaming()) return uint16_t(kStatusAccessDenied);
                             m.mStreams.channel(c).config().protocol = v;
                             return uint16_t(kStatusOk);
                         }));
        tl.push_back(F("GevMCPHostPort", Kind::Integer, "Destination port of events").bootstrap(reg::MessageChannelPort)
                         .bits(31, 16).limits(0, 65535).seen("Guru"));
        tl.push_back(F("GevMCDA", Kind::Integer, "Destination address of events").bootstrap(reg::MessageChannelDestination)
                         .shown("IPV4Address").seen("Guru"));
        tl.push_back(F("GevMCTT", Kind::Integer, "Time-out of an event's acknowledge in ms")
                         .bootstrap(reg::MessageChannelTransmissionTimeout).seen("Guru"));
        tl.push_back(F("GevMCRC", Kind::Integer, "Retries of an unacknowledged event").bootstrap(reg::MessageChannelRetryCount).seen("Guru"));
        tl.push_back(F("GevHeartbeatTimeout", Kind::Integer, "Heartbeat time-out in ms").bootstrap(reg::HeartbeatTimeout)
                         .limits(500, 0xFFFFFFFF).in("ms").seen("Guru"));
        tl.push_back(F("GevGVCPHeartbeatDisable", Kind::Boolean, "Keeps the session open without heartbeat")
                         .bootstrap(reg::GVCPConfiguration).bits(31, 31).seen("Guru"));
        tl.push_back(F("GevCCP", Kind::Enumeration, "Control channel privilege").bootstrap(reg::ControlChannelPrivilege)
                         .entries({{"OpenAccess", 0}, {"ExclusiveAccess", 1}, {"ControlAccess", 2}}).seen("Guru"));
        tl.push_back(F("GevTimestampTickFrequency", Kind::Integer, "Timestamp ticks per second")
                         .bootstrap(reg::TimestampTickFrequencyHigh).readOnly().bytes(8).limits(0, INT64_MAX).in("Hz").seen("Expert"));
        tl.push_back(F("GevTimestampControlLatch", Kind::Command, "Latches the timestamp into GevTimestampValue")
                         .bootstrap(reg::TimestampControl).writeOnly().onValue(2));
        tl.push_back(F("GevTimestampValue", Kind::Integer, "The latched timestamp").bootstrap(reg::TimestampValueHigh)
                         .readOnly().bytes(8).limits(0, INT64_MAX).seen("Expert"));
        tl.push_back(F("GevCurrentIPAddress", Kind::Integer, "Current IP address").bootstrap(reg::CurrentIPAddress).readOnly()
                         .shown("IPV4Address"));
        tl.push_back(F("GevCurrentSubnetMask", Kind::Integer, "Current subnet mask").bootstrap(reg::CurrentSubnetMask).readOnly()
                         .shown("IPV4Address"));
        tl.push_back(F("GevMACAddress", Kind::Integer, "MAC address").bootstrap(reg::MacHigh).readOnly().bytes(8)
                         .limits(0, 0xFFFFFFFFFFFF).shown("MACAddress"));
        return std::vector<StandardFamily>{identity, image, acquisition, chunk, sets, transport};
    }();
    return families;
}

const StandardFeature *DeviceModel::standardFeature(const std::string &aName)
{
    for (const StandardFamily &family : standardFamilies())
        for (const StandardFeature &f : family.features)
            if (aName == f.name) return &f;
    return nullptr;
}

uint32_t DeviceModel::addressOf(const std::string &aName, size_t aChannel)
{
    const StandardFeature *f = standardFeature(aName);
    if (!f) return 0;
    switch (f->where) {
    case Where::Device: return addr::DeviceBase + f->address;
    case Where::Channel: return addr::ChannelBase + f->address + addr::ChannelStride * uint32_t(aChannel);
    case Where::Bootstrap: return f->address + (f->per == Per::Stream ? reg::StreamChannelStride * uint32_t(aChannel) : 0);
    case Where::Block: return f->address;
    }
    return 0;
}

// ---- Values and limits

template <class Get>
uint32_t DeviceModel::fromSource(size_t aChannel, Get aGet)
{
    Channel &c = mStreams.channel(aChannel);
    uint32_t v = 0;
    guarded(c.counters().sourceFailures, [&] { v = aGet(c.source()); });
    return v;
}

// A value the source refuses, or fails on, is refused to the controller.
template <class Set>
uint16_t DeviceModel::toSource(size_t aChannel, Set aSet)
{
    Channel &c = mStreams.channel(aChannel);
    ZuResult r(ZU_GENERIC_ERROR);
    if (!guarded(c.counters().sourceFailures, [&] { r = aSet(c.source()); })) return kStatusError;
    return r.IsOK() ? kStatusSuccess : kStatusInvalidParameter;
}

int64_t DeviceModel::limit(const StandardFeature::Limit &aLimit, size_t aChannel)
{
    if (aLimit.learnt) return aLimit.learnt(*this);
    if (!aLimit.feature) return aLimit.value;
    const StandardFeature *f = standardFeature(aLimit.feature);
    return f && f->get ? int64_t(f->get(*this, aChannel)) : 0;
}

StandardFeature::Entries DeviceModel::entriesOf(const StandardFeature &aFeature, size_t aChannel) const
{
    StandardFeature::Entries out;
    switch (aFeature.from) {
    case From::Table: return aFeature.fixedEntries;
    case From::PixelTypes:
        if (aChannel < mStreams.count())
            for (ZuPixelType t : mStreams.facts(aChannel).pixelTypes) addEntry(out, pixelName(t), int64_t(uint32_t(t)));
        break;
    case From::Chunks:
        if (aChannel < mStreams.count())
            for (const auto &c : mStreams.facts(aChannel).chunks) addEntry(out, chunkName(c), int64_t(c.second));
        break;
    case From::UserSets:
        out.emplace_back("Default", 0);
        for (uint32_t k = 1; k <= mUserSets.count(); ++k) out.emplace_back("UserSet" + std::to_string(k), k);
        break;
    }
    return out;
}

bool DeviceModel::accepts(const StandardFeature &aFeature, size_t aChannel, uint32_t aValue)
{
    switch (aFeature.kind) {
    case Kind::Integer:
        return gvcp::ValueLimits{limit(aFeature.min, aChannel), limit(aFeature.max, aChannel), limit(aFeature.inc, aChannel)}
            .takes(aValue);
    case Kind::Boolean: return aValue == 0 || aValue == aFeature.commandValue;
    case Kind::Enumeration:
        for (const auto &e : entriesOf(aFeature, aChannel))
            if (e.second == int64_t(aValue)) return true;
        return false;
    default: return true;
    }
}

uint16_t DeviceModel::checkStandard(const StandardFeature &aFeature, size_t aChannel, uint32_t aValue)
{
    if (aFeature.isLocked && mTlLocked) return kStatusAccessDenied;
    return accepts(aFeature, aChannel, aValue) ? kStatusSuccess : kStatusInvalidParameter;
}

uint16_t DeviceModel::writeStandard(const StandardFeature &aFeature, size_t aChannel, uint32_t aValue)
{
    if (const uint16_t refused = checkStandard(aFeature, aChannel, aValue)) return refused;
    const uint16_t status = aFeature.set(*this, aChannel, aValue);
    // What the source accepted is what it streams.
    if (status == kStatusSuccess && aFeature.geometry != Geometry::None) mStreams.refreshGeometry(aChannel);
    return status;
}

// ---- Registers

void DeviceModel::layoutStandard()
{
    for (const StandardFamily &family : standardFamilies())
        for (const StandardFeature &f : family.features) {
            const bool own = f.where == Where::Device || f.where == Where::Channel;
            // A feature over another row's register (SensorWidth) adds none.
            if (!own || (!f.get && !f.set && !f.getFloat)) continue;
            const size_t count = f.where == Where::Channel ? mStreams.count() : 1;
            for (size_t c = 0; c < count; ++c) {
                if (f.present && !f.present(*this, c)) continue;
                const uint32_t at = addressOf(f.name, c);
                if (f.kind == Kind::Float) {
                    addFloatRegister(f, at);
                    continue;
                }
                const StandardFeature *row = &f;
                RegisterSpace::Getter get;
                RegisterSpace::Setter set;
                RegisterSpace::Check check;
                if (f.get) get = [this, row, c] { return row->get(*this, c); };
                if (f.set) {
                    set = [this, row, c](uint32_t v) { return writeStandard(*row, c, v); };
                    check = [this, row, c](uint32_t v) { return checkStandard(*row, c, v); };
                }
                mSpace->addRegister(at, std::move(get), std::move(set), std::move(check));
            }
        }
}

// An 8-byte IEEE register, written whole or in halves: a value outside the
// limits, or not a number, is refused whichever half brings it.
void DeviceModel::addFloatRegister(const StandardFeature &aFeature, uint32_t aAddress)
{
    const StandardFeature *row = &aFeature;
    auto current = [this, row](uint8_t (&bytes)[8]) {
        uint64_t bits = 0;
        const double value = row->getFloat(*this);
        std::memcpy(&bits, &value, sizeof bits);
        for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(bits >> (56 - 8 * i));
    };
    // The value the register holds once these bytes are written.
    auto after = [current](uint32_t aOffset, const uint8_t *aData, uint32_t aCount) {
        uint8_t bytes[8];
        current(bytes);
        std::memcpy(bytes + aOffset, aData, aCount);
        uint64_t bits = 0;
        for (uint8_t b : bytes) bits = bits << 8 | b;
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    };
    RegisterSpace::Range range;
    range.read = [current](uint32_t aOffset, uint32_t aCount, uint8_t *aOut) {
        uint8_t bytes[8];
        current(bytes);
        std::memcpy(aOut, bytes + aOffset, aCount);
        return uint16_t(kStatusSuccess);
    };
    range.peek = range.read;
    range.check = [this, row, after](uint32_t aOffset, const uint8_t *aData, uint32_t aCount) {
        if (row->isLocked && mTlLocked) return uint16_t(kStatusAccessDenied);
        const double value = after(aOffset, aData, aCount);
        return uint16_t(value >= row->fmin && value <= row->fmax ? kStatusSuccess : kStatusInvalidParameter);
    };
    range.write = [this, row, after, check = range.check](uint32_t aOffset, const uint8_t *aData, uint32_t aCount) {
        if (const uint16_t refused = check(aOffset, aData, aCount)) return refused;
        row->setFloat(*this, after(aOffset, aData, aCount));
        return uint16_t(kStatusSuccess);
    };
    mSpace->addRange(aAddress, 8, std::move(range));
}

std::vector<gvcp::FieldLimit> DeviceModel::bootstrapLimits()
{
    std::vector<gvcp::FieldLimit> out;
    for (const StandardFamily &family : standardFamilies())
        for (const StandardFeature &f : family.features) {
            if (f.where != Where::Bootstrap || f.kind != Kind::Integer || std::strcmp(f.access, "RO") == 0) continue;
            const size_t count = f.per == Per::Stream ? mStreams.count() : 1;
            for (size_t c = 0; c < count; ++c) {
                gvcp::FieldLimit l;
                l.address = addressOf(f.name, c);
                // Big-endian bit numbers: 31 is the register's lowest bit.
                if (f.lsb >= 0) {
                    l.shift = uint32_t(31 - f.lsb);
                    l.mask = uint32_t((uint64_t(1) << (f.lsb - f.msb + 1)) - 1) << l.shift;
                }
                l.min = limit(f.min, c);
                l.max = limit(f.max, c);
                l.inc = limit(f.inc, c);
                out.push_back(l);
            }
        }
    return out;
}

// ---- Description

void DeviceModel::declareStandard()
{
    DescriptionWriter &w = mWriter;
    w = DescriptionWriter();
    const bool multi = mStreams.count() > 1;
    auto presentAnywhere = [&](const StandardFeature &f) {
        if (!f.present) return true;
        const size_t count = f.per == Per::Device ? 1 : std::max<size_t>(1, mStreams.count());
        for (size_t c = 0; c < count; ++c)
            if (f.present(*this, c)) return true;
        return false;
    };
    for (const StandardFamily &family : standardFamilies()) w.addCategory(family.category, family.toolTip);
    for (const StandardFamily &family : standardFamilies())
        for (const StandardFeature &f : family.features) {
            if (!presentAnywhere(f)) continue;
            uint64_t at = addressOf(f.name, 0);
            FeatureDecl &d = w.add(f.kind, f.name, family.category, at, f.access, f.toolTip);
            d.visibility = f.visibility;
            d.length = f.length;
            d.lsb = f.lsb;
            d.msb = f.msb;
            d.representation = f.representation;
            d.unit = f.unit;
            d.commandValue = f.commandValue;
            d.streamable = f.userSet;
            if (f.isLocked) d.lockedBy = "TLParamsLocked";
            if (multi && f.per != Per::Device) {
                d.indexedBy = f.per == Per::Source ? "SourceSelector" : "GevStreamChannelSelector";
                d.indexStep = f.where == Where::Bootstrap ? reg::StreamChannelStride : addr::ChannelStride;
            }
            auto bound = [&](const StandardFeature::Limit &aLimit, int64_t &aValue, std::string &aName) {
                if (aLimit.feature) aName = aLimit.feature;
                else aValue = aLimit.learnt ? aLimit.learnt(*this) : aLimit.value;
            };
            bound(f.min, d.min, d.pMin);
            bound(f.max, d.max, d.pMax);
            bound(f.inc, d.inc, d.pInc);
            d.fmin = f.fmin;
            d.fmax = f.fmax;
            if (f.kind == Kind::Enumeration) {
                // Every source's entries.
                const size_t count = f.per == Per::Device ? 1 : std::max<size_t>(1, mStreams.count());
                for (size_t c = 0; c < count; ++c)
                    for (const auto &e : entriesOf(f, c)) addEntry(d.entries, e.first, e.second);
                if (d.entries.empty() && f.from == From::PixelTypes) d.entries.emplace_back("Mono8", int64_t(ZuPixelMono8));
            }
            for (const char *name : f.selectedNames) d.selected.push_back(name);
            if (f.selects != Per::Device)
                for (const StandardFamily &other : standardFamilies())
                    for (const StandardFeature &s : other.features)
                        if (s.per == f.selects && presentAnywhere(s)) d.selected.push_back(s.name);
        }
}

// ---- User sets: what the table says they keep, per channel.

void DeviceModel::saveStandard(UserSet &aSet)
{
    for (const StandardFamily &family : standardFamilies())
        for (const StandardFeature &f : family.features) {
            if (!f.userSet || f.where != Where::Channel) continue;
            for (size_t c = 0; c < mStreams.count(); ++c) {
                uint32_t v = 0;
                if (mSpace->readRegister(addressOf(f.name, c), v) != kStatusSuccess) continue;
                aSet[std::string(f.name) + "#" + std::to_string(c)] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
            }
        }
}

uint16_t DeviceModel::loadStandard(const UserSet &aSet)
{
    uint16_t status = kStatusSuccess;
    for (size_t c = 0; c < mStreams.count(); ++c) {
        // Offsets first to zero so that a larger size fits, then sizes, then offsets.
        for (const StandardFamily &family : standardFamilies())
            for (const StandardFeature &f : family.features)
                if (f.geometry == Geometry::Offset) mSpace->writeRegister(addressOf(f.name, c), 0);
        for (const StandardFamily &family : standardFamilies())
            for (const StandardFeature &f : family.features) {
                if (!f.userSet || f.where != Where::Channel) continue;
                auto it = aSet.find(std::string(f.name) + "#" + std::to_string(c));
                if (it == aSet.end() || it->second.size() != 4) continue;
                const std::vector<uint8_t> &v = it->second;
                const uint16_t st = mSpace->writeRegister(addressOf(f.name, c), uint32_t(v[0]) << 24 | uint32_t(v[1]) << 16 |
                                                                                   uint32_t(v[2]) << 8 | v[3]);
                if (st != kStatusSuccess) status = st;
            }
    }
    return status;
}

} // namespace softdevice
} // namespace tarn
