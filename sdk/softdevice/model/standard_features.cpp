// The camera's own features as rows, one table per family, and what the
// device makes of them: registers, description, user sets and the
// bootstrap limits the GVCP server keeps.

#include "softdevice/model/standard_features.h"

#include "softdevice/model/channel.h"
#include "softdevice/model/register_space.h"
#include "gev/wire.h"
#include "IZuSWStreamingChannelSource.h"

#include <cstring>

namespace tarn {
namespace softdevice {

namespace {

using F = FeatureRow;
using Kind = FeatureRow::Kind;
using Per = FeatureRow::Per;
using Where = FeatureRow::Where;
using Geometry = FeatureRow::Geometry;
namespace reg = gvcp::reg;

// ---- The tables

// A category of the description and its rows, in order, per family.
const std::vector<StandardFamily> kFamilies = {
    {"DeviceControl", "Identity of the device", {
        F("DeviceVendorName", Kind::String, "Name of the manufacturer").bootstrap(reg::ManufacturerName).readOnly().bytes(32),
        F("DeviceModelName", Kind::String, "Model of the device").bootstrap(reg::ModelName).readOnly().bytes(32),
        F("DeviceVersion", Kind::String, "Version of the device").bootstrap(reg::DeviceVersion).readOnly().bytes(32),
        F("DeviceFirmwareVersion", Kind::String, "Version of the firmware").block(addr::FirmwareVersion).readOnly().bytes(32),
        F("DeviceManufacturerInfo", Kind::String, "Manufacturer information").bootstrap(reg::ManufacturerInfo).readOnly().bytes(48),
        F("DeviceSerialNumber", Kind::String, "Serial number").bootstrap(reg::SerialNumber).readOnly().bytes(16),
        F("DeviceUserID", Kind::String, "Name given by the user").bootstrap(reg::UserDefinedName).bytes(16),
        F("DeviceReset", Kind::Command, "Resets the device as a power cycle would").device(0x14).writeOnly().seen("Guru")
            .holds(Value::DeviceReset),
    }},
    // The image: limits from each source's description, per source.
    {"ImageFormatControl", "Image geometry and pixel format", {
        F("SourceSelector", Kind::Integer, "Selects the stream source the image features show").device(0x10)
            .limits(0, Value::LastChannel).selecting(Per::Source).only(Presence::SeveralChannels)
            .holds(Value::SourceSelector),
        F("WidthMin", Kind::Integer, "").channel(0x2C).readOnly().seen("Invisible")
            .holds(Value::WidthMin),
        F("WidthInc", Kind::Integer, "").channel(0x30).readOnly().seen("Invisible")
            .holds(Value::WidthInc),
        F("HeightMin", Kind::Integer, "").channel(0x34).readOnly().seen("Invisible")
            .holds(Value::HeightMin),
        F("HeightInc", Kind::Integer, "").channel(0x38).readOnly().seen("Invisible")
            .holds(Value::HeightInc),
        F("WidthMax", Kind::Integer, "Largest width").channel(0x24).readOnly().limits(1, 0xFFFFFFFF)
            .holds(Value::WidthMax),
        F("HeightMax", Kind::Integer, "Largest height").channel(0x28).readOnly().limits(1, 0xFFFFFFFF)
            .holds(Value::HeightMax),
        // A software sensor is as large as the largest image.
        F("SensorWidth", Kind::Integer, "Width of the sensor in pixels").channel(0x24).readOnly().limits(1, 0xFFFFFFFF),
        F("SensorHeight", Kind::Integer, "Height of the sensor in lines").channel(0x28).readOnly().limits(1, 0xFFFFFFFF),
        F("Width", Kind::Integer, "Width of the image in pixels").channel(0x00)
            .limits("WidthMin", "WidthMax", "WidthInc").locked().kept(Geometry::Size)
            .holds(Value::Width),
        F("Height", Kind::Integer, "Height of the image in lines").channel(0x04)
            .limits("HeightMin", "HeightMax", "HeightInc").locked().kept(Geometry::Size)
            .holds(Value::Height),
        F("OffsetX", Kind::Integer, "Horizontal offset in pixels").channel(0x08)
            .limits(0, "WidthMax").locked().kept(Geometry::Offset)
            .holds(Value::OffsetX),
        F("OffsetY", Kind::Integer, "Vertical offset in lines").channel(0x0C)
            .limits(0, "HeightMax").locked().kept(Geometry::Offset)
            .holds(Value::OffsetY),
        F("PixelFormat", Kind::Enumeration, "Format of the pixels").channel(0x10)
            .entriesFrom(From::PixelTypes).locked().kept(Geometry::Format)
            .holds(Value::PixelFormat),
        F("PayloadSize", Kind::Integer, "Bytes of one block of the stream").channel(0x14).readOnly()
            .holds(Value::PayloadSize),
    }},
    {"AcquisitionControl", "Acquisition", {
        F("AcquisitionMode", Kind::Enumeration, "Acquisition mode").device(0x08).entries({{"Continuous", 0}}).locked()
            .holds(Value::AcquisitionMode),
        F("AcquisitionStart", Kind::Command, "Starts the acquisition").device(0x00).writeOnly()
            .holds(Value::AcquisitionStart),
        F("AcquisitionFrameRate", Kind::Float, "Frames a second the camera sends at most, while enabled").device(0x30)
            .floatLimits(0.1, 100000.0).in("Hz")
            .holds(Value::AcquisitionFrameRate),
        F("AcquisitionFrameRateEnable", Kind::Boolean, "Keeps the camera to AcquisitionFrameRate").device(0x38)
            .holds(Value::AcquisitionFrameRateEnable),
        F("AcquisitionStop", Kind::Command, "Stops the acquisition").device(0x04).writeOnly()
            .holds(Value::AcquisitionStop),
    }},
    {"ChunkDataControl", "Chunk data", {
        F("ChunkModeActive", Kind::Boolean, "Appends chunk data to the payload").channel(0x18).locked()
            .holds(Value::ChunkModeActive),
        F("ChunkSelector", Kind::Enumeration, "Selects the chunk that ChunkEnable shows").channel(0x1C)
            .entriesFrom(From::Chunks).selecting({"ChunkEnable"}).only(Presence::Chunks)
            .holds(Value::ChunkSelector),
        F("ChunkEnable", Kind::Boolean, "Appends the selected chunk").channel(0x20).locked().only(Presence::Chunks)
            .holds(Value::ChunkEnable),
    }},
    {"UserSetControl", "User sets", {
        F("UserSetSelector", Kind::Enumeration, "Selects the user set to load or save").device(0x18)
            .entriesFrom(From::UserSets).selecting({"UserSetLoad", "UserSetSave"})
            .holds(Value::UserSetSelector),
        F("UserSetLoad", Kind::Command, "Loads the selected user set").device(0x1C).writeOnly()
            .holds(Value::UserSetLoad),
        F("UserSetSave", Kind::Command, "Saves the selected user set").device(0x20).writeOnly()
            .holds(Value::UserSetSave),
        F("UserSetDefault", Kind::Enumeration, "The user set loaded when the device starts").device(0x24)
            .entriesFrom(From::UserSets)
            .holds(Value::UserSetDefault),
    }},
    // The transport: mostly the GVCP server's bootstrap registers.
    {"TransportLayerControl", "GigE Vision transport", {
        F("GenDCStreamingMode", Kind::Enumeration, "Whether the stream carries GenDC containers").channel(0x40)
            .entries({{"Off", 0}, {"On", 1}}).locked().kept()
            .only(Presence::GenDC)
            .holds(Value::GenDCStreamingMode),
        F("TLParamsLocked", Kind::Integer, "Locks the features that change the payload while streaming").device(0x0C)
            .limits(0, 1).seen("Invisible")
            .holds(Value::TLParamsLocked),
        F("GevStreamChannelSelector", Kind::Integer, "Selects the stream channel").device(0x28)
            .limits(0, Value::LastChannel).selecting(Per::Stream).only(Presence::SeveralChannels)
            .holds(Value::StreamChannelSelector),
        F("GevSCPSPacketSizeMax", Kind::Integer, "").channel(0x3C, Per::Stream).readOnly().limits(0, 65535).seen("Invisible")
            .holds(Value::PacketSizeMax),
        F("GevSCPSPacketSize", Kind::Integer, "Size of the stream packets in bytes")
            .bootstrap(reg::StreamChannelPacketSize0, Per::Stream).bits(31, 16).seen("Expert")
            .limits(576, "GevSCPSPacketSizeMax", 4),
        F("GevSCPSFireTestPacket", Kind::Boolean, "Sends one test packet of the packet size")
            .bootstrap(reg::StreamChannelPacketSize0, Per::Stream).bits(0, 0).seen("Guru"),
        F("GevSCPSDoNotFragment", Kind::Boolean, "Sets the do-not-fragment bit of stream packets")
            .bootstrap(reg::StreamChannelPacketSize0, Per::Stream).bits(1, 1).seen("Guru"),
        F("GevSCPD", Kind::Integer, "Delay between stream packets in ticks")
            .bootstrap(reg::StreamChannelPacketDelay0, Per::Stream).seen("Expert"),
        F("GevSCDA", Kind::Integer, "Destination address of the stream")
            .bootstrap(reg::StreamChannelDestination0, Per::Stream).shown("IPV4Address").seen("Guru"),
        F("GevSCPHostPort", Kind::Integer, "Destination port of the stream")
            .bootstrap(reg::StreamChannelPort0, Per::Stream).bits(31, 16).limits(0, 65535).seen("Guru"),
        F("GevSCSP", Kind::Integer, "Source port of the stream")
            .bootstrap(reg::StreamChannelSourcePort0, Per::Stream).readOnly().bits(31, 16).limits(0, 65535).seen("Guru"),
        // Multi-part where the source offers it: the controller allows it,
        // and leaders and trailers as large as the packets (bits 25 and 24
        // of the configuration register, gvcp::SCC_*).
        F("GevSCCFGMultiPartEnabled", Kind::Boolean, "Allows the stream channel to send multi-part blocks")
            .bootstrap(reg::StreamChannelConfiguration0, Per::Stream).bits(25, 25).locked().only(Presence::MultiPart)
            .seen("Expert"),
        F("GevSCCFGLargeLeaderTrailerEnabled", Kind::Boolean,
          "Allows leaders and trailers as large as the packets, for more parts")
            .bootstrap(reg::StreamChannelConfiguration0, Per::Stream).bits(24, 24).locked().only(Presence::MultiPart)
            .seen("Guru"),
        // The value is the payload type the source is asked to stream.
        F("TestPayloadFormatMode", Kind::Enumeration, "Has the source stream a payload of this format by itself, for validation")
            .channel(0x48, Per::Stream).entries({{"Off", ZuPayloadTypeNone}, {"MultiPart", ZuPayloadTypeMultiPart}})
            .locked().only(Presence::MultiPart).seen("Guru")
            .holds(Value::TestPayloadFormatMode),
        // Which protocol carries the stream; not while it streams.
        F("StreamProtocol", Kind::Enumeration, "Protocol of the selected stream channel: GigE Vision streaming or RTP")
            .channel(0x44, Per::Stream).entries({{"GVSP", StreamConfig::kProtocolGvsp}, {"RTP", StreamConfig::kProtocolRtp}})
            .locked().only(Presence::Rtp)
            .holds(Value::StreamProtocol),
        F("GevMCPHostPort", Kind::Integer, "Destination port of events").bootstrap(reg::MessageChannelPort)
            .bits(31, 16).limits(0, 65535).seen("Guru"),
        F("GevMCDA", Kind::Integer, "Destination address of events").bootstrap(reg::MessageChannelDestination)
            .shown("IPV4Address").seen("Guru"),
        F("GevMCTT", Kind::Integer, "Time-out of an event's acknowledge in ms")
            .bootstrap(reg::MessageChannelTransmissionTimeout).seen("Guru"),
        F("GevMCRC", Kind::Integer, "Retries of an unacknowledged event").bootstrap(reg::MessageChannelRetryCount).seen("Guru"),
        F("GevHeartbeatTimeout", Kind::Integer, "Heartbeat time-out in ms").bootstrap(reg::HeartbeatTimeout)
            .limits(500, 0xFFFFFFFF).in("ms").seen("Guru"),
        F("GevGVCPHeartbeatDisable", Kind::Boolean, "Keeps the session open without heartbeat")
            .bootstrap(reg::GVCPConfiguration).bits(31, 31).seen("Guru"),
        F("GevCCP", Kind::Enumeration, "Control channel privilege").bootstrap(reg::ControlChannelPrivilege)
            .entries({{"OpenAccess", 0}, {"ExclusiveAccess", 1}, {"ControlAccess", 2}}).seen("Guru"),
        F("GevTimestampTickFrequency", Kind::Integer, "Timestamp ticks per second")
            .bootstrap(reg::TimestampTickFrequencyHigh).readOnly().bytes(8).limits(0, INT64_MAX).in("Hz").seen("Expert"),
        F("GevTimestampControlLatch", Kind::Command, "Latches the timestamp into GevTimestampValue")
            .bootstrap(reg::TimestampControl).writeOnly().onValue(2),
        F("GevTimestampValue", Kind::Integer, "The latched timestamp").bootstrap(reg::TimestampValueHigh)
            .readOnly().bytes(8).limits(0, INT64_MAX).seen("Expert"),
        F("GevCurrentIPAddress", Kind::Integer, "Current IP address").bootstrap(reg::CurrentIPAddress).readOnly()
            .shown("IPV4Address"),
        F("GevCurrentSubnetMask", Kind::Integer, "Current subnet mask").bootstrap(reg::CurrentSubnetMask).readOnly()
            .shown("IPV4Address"),
        F("GevMACAddress", Kind::Integer, "MAC address").bootstrap(reg::MacHigh).readOnly().bytes(8)
            .limits(0, 0xFFFFFFFFFFFF).shown("MACAddress"),
    }},
};

// The tables with each limit that names a feature holding that feature's
// row, found once.
std::vector<StandardFamily> resolved(std::vector<StandardFamily> aFamilies)
{
    auto find = [&](const char *aName) -> const FeatureRow * {
        for (const StandardFamily &family : aFamilies)
            for (const FeatureRow &f : family.features)
                if (std::strcmp(f.name, aName) == 0) return &f;
        return nullptr;
    };
    for (StandardFamily &family : aFamilies)
        for (FeatureRow &f : family.features)
            for (Bound *b : {&f.min, &f.max, &f.inc})
                if (b->feature) b->row = find(b->feature);
    return aFamilies;
}

// An 8-byte IEEE register, written whole or in halves: a value outside the
// limits, or not a number, is refused whichever half brings it.
void addFloatRegister(RegisterSpace &aSpace, FeatureHost &aHost, const FeatureRow &aRow, uint32_t aAddress)
{
    const FeatureRow *row = &aRow;
    FeatureHost *host = &aHost;
    auto current = [host, row](uint8_t (&bytes)[8]) {
        uint64_t bits = 0;
        const double value = host->readFloat(row->value);
        std::memcpy(&bits, &value, sizeof bits);
        gev::storeBig32(bytes, uint32_t(bits >> 32));
        gev::storeBig32(bytes + 4, uint32_t(bits));
    };
    // The value the register holds once these bytes are written.
    auto after = [current](uint32_t aOffset, const uint8_t *aData, uint32_t aCount) {
        uint8_t bytes[8];
        current(bytes);
        std::memcpy(bytes + aOffset, aData, aCount);
        const uint64_t bits = uint64_t(gev::loadBig32(bytes)) << 32 | gev::loadBig32(bytes + 4);
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
    range.check = [host, row, after](uint32_t aOffset, const uint8_t *aData, uint32_t aCount) {
        return row->checkFloat(*host, after(aOffset, aData, aCount));
    };
    range.write = [host, row, after](uint32_t aOffset, const uint8_t *aData, uint32_t aCount) {
        return row->writeFloat(*host, after(aOffset, aData, aCount));
    };
    aSpace.addRange(aAddress, 8, std::move(range));
}

// The key a user set keeps a row's value of one channel under.
std::string setKey(const FeatureRow &aRow, size_t aChannel)
{
    return std::string(aRow.name) + "#" + std::to_string(aChannel);
}

} // namespace

const std::vector<StandardFamily> &standardFamilies()
{
    static const std::vector<StandardFamily> families = resolved(kFamilies);
    return families;
}

const FeatureRow *standardRow(const std::string &aName)
{
    for (const StandardFamily &family : standardFamilies())
        for (const FeatureRow &f : family.features)
            if (aName == f.name) return &f;
    return nullptr;
}

uint32_t standardAddress(const std::string &aName, size_t aChannel)
{
    const FeatureRow *f = standardRow(aName);
    return f ? f->address(aChannel) : 0;
}

// ---- Registers

void layoutStandard(RegisterSpace &aSpace, FeatureHost &aHost)
{
    FeatureHost *host = &aHost;
    for (const StandardFamily &family : standardFamilies())
        for (const FeatureRow &f : family.features) {
            if (!f.ownRegister()) continue;
            const size_t count = f.where == Where::Channel ? aHost.channels() : 1;
            for (size_t c = 0; c < count; ++c) {
                if (!f.present(aHost, c)) continue;
                if (f.kind == Kind::Float) {
                    addFloatRegister(aSpace, aHost, f, f.address(c));
                    continue;
                }
                const FeatureRow *row = &f;
                RegisterSpace::Getter get;
                RegisterSpace::Setter set;
                RegisterSpace::Check check;
                if (std::strcmp(f.access, "WO") != 0) get = [host, row, c] { return host->read(row->value, c); };
                if (std::strcmp(f.access, "RO") != 0) {
                    set = [host, row, c](uint32_t v) { return row->write(*host, c, v); };
                    check = [host, row, c](uint32_t v) { return row->check(*host, c, v); };
                }
                aSpace.addRegister(f.address(c), std::move(get), std::move(set), std::move(check));
            }
        }
}

std::vector<gvcp::FieldLimit> standardBootstrapLimits(FeatureHost &aHost)
{
    std::vector<gvcp::FieldLimit> out;
    for (const StandardFamily &family : standardFamilies())
        for (const FeatureRow &f : family.features) {
            if (f.where != Where::Bootstrap || f.kind != Kind::Integer || std::strcmp(f.access, "RO") == 0) continue;
            const size_t count = f.per == Per::Stream ? aHost.channels() : 1;
            for (size_t c = 0; c < count; ++c) {
                gvcp::FieldLimit l;
                l.address = f.address(c);
                // Big-endian bit numbers: 31 is the register's lowest bit.
                if (f.lsb >= 0) {
                    l.shift = uint32_t(31 - f.lsb);
                    l.mask = uint32_t((uint64_t(1) << (f.lsb - f.msb + 1)) - 1) << l.shift;
                }
                static_cast<gvcp::ValueLimits &>(l) = f.limits(aHost, c);
                out.push_back(l);
            }
        }
    return out;
}

// ---- Description

void declareStandard(DescriptionWriter &aWriter, FeatureHost &aHost)
{
    aWriter = DescriptionWriter();
    for (const StandardFamily &family : standardFamilies()) aWriter.addCategory(family.category, family.toolTip);
    for (const StandardFamily &family : standardFamilies())
        for (const FeatureRow &f : family.features) {
            if (!f.presentAnywhere(aHost)) continue;
            FeatureDecl d = f.declare(aHost, family.category);
            if (f.selects != Per::Device)
                for (const StandardFamily &other : standardFamilies())
                    for (const FeatureRow &s : other.features)
                        if (s.per == f.selects && s.presentAnywhere(aHost)) d.selected.push_back(s.name);
            aWriter.add(std::move(d));
        }
}

// ---- User sets: what the table says they keep, per channel.

void saveStandard(UserSet &aSet, RegisterSpace &aSpace, size_t aChannels)
{
    for (const StandardFamily &family : standardFamilies())
        for (const FeatureRow &f : family.features) {
            if (!f.userSet || f.where != Where::Channel) continue;
            for (size_t c = 0; c < aChannels; ++c) {
                uint32_t v = 0;
                if (aSpace.readRegister(f.address(c), v) != kStatusSuccess) continue;
                std::vector<uint8_t> &bytes = aSet[setKey(f, c)];
                bytes.resize(4);
                gev::storeBig32(bytes.data(), v);
            }
        }
}

uint16_t loadStandard(const UserSet &aSet, RegisterSpace &aSpace, size_t aChannels)
{
    uint16_t status = kStatusSuccess;
    for (size_t c = 0; c < aChannels; ++c) {
        // Offsets first to zero so that a larger size fits, then sizes, then offsets.
        for (const StandardFamily &family : standardFamilies())
            for (const FeatureRow &f : family.features)
                if (f.geometry == Geometry::Offset) aSpace.writeRegister(f.address(c), 0);
        for (const StandardFamily &family : standardFamilies())
            for (const FeatureRow &f : family.features) {
                if (!f.userSet || f.where != Where::Channel) continue;
                auto it = aSet.find(setKey(f, c));
                if (it == aSet.end() || it->second.size() != 4) continue;
                const uint16_t st = aSpace.writeRegister(f.address(c), gev::loadBig32(it->second.data()));
                if (st != kStatusSuccess) status = st;
            }
    }
    return status;
}

} // namespace softdevice
} // namespace tarn
