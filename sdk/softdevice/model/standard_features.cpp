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
        F("DeviceVendorName", Kind::String, "Name of the manufacturer").Bootstrap(reg::ManufacturerName).ReadOnly().Bytes(32),
        F("DeviceModelName", Kind::String, "Model of the device").Bootstrap(reg::ModelName).ReadOnly().Bytes(32),
        F("DeviceVersion", Kind::String, "Version of the device").Bootstrap(reg::DeviceVersion).ReadOnly().Bytes(32),
        F("DeviceFirmwareVersion", Kind::String, "Version of the firmware").Block(addr::FirmwareVersion).ReadOnly().Bytes(32),
        F("DeviceManufacturerInfo", Kind::String, "Manufacturer information").Bootstrap(reg::ManufacturerInfo).ReadOnly().Bytes(48),
        F("DeviceSerialNumber", Kind::String, "Serial number").Bootstrap(reg::SerialNumber).ReadOnly().Bytes(16),
        F("DeviceUserID", Kind::String, "Name given by the user").Bootstrap(reg::UserDefinedName).Bytes(16),
        F("DeviceReset", Kind::Command, "Resets the device as a power cycle would").Device(0x14).WriteOnly().Seen("Guru")
            .Holds(Value::DeviceReset),
    }},
    // The image: limits from each source's description, per source.
    {"ImageFormatControl", "Image geometry and pixel format", {
        F("SourceSelector", Kind::Integer, "Selects the stream source the image features show").Device(0x10)
            .Limits(0, Value::LastChannel).Selecting(Per::Source).Only(Presence::SeveralChannels)
            .Holds(Value::SourceSelector),
        F("WidthMin", Kind::Integer, "").Channel(0x2C).ReadOnly().Seen("Invisible")
            .Holds(Value::WidthMin),
        F("WidthInc", Kind::Integer, "").Channel(0x30).ReadOnly().Seen("Invisible")
            .Holds(Value::WidthInc),
        F("HeightMin", Kind::Integer, "").Channel(0x34).ReadOnly().Seen("Invisible")
            .Holds(Value::HeightMin),
        F("HeightInc", Kind::Integer, "").Channel(0x38).ReadOnly().Seen("Invisible")
            .Holds(Value::HeightInc),
        F("WidthMax", Kind::Integer, "Largest width").Channel(0x24).ReadOnly().Limits(1, 0xFFFFFFFF)
            .Holds(Value::WidthMax),
        F("HeightMax", Kind::Integer, "Largest height").Channel(0x28).ReadOnly().Limits(1, 0xFFFFFFFF)
            .Holds(Value::HeightMax),
        // A software sensor is as large as the largest image.
        F("SensorWidth", Kind::Integer, "Width of the sensor in pixels").Channel(0x24).ReadOnly().Limits(1, 0xFFFFFFFF),
        F("SensorHeight", Kind::Integer, "Height of the sensor in lines").Channel(0x28).ReadOnly().Limits(1, 0xFFFFFFFF),
        F("Width", Kind::Integer, "Width of the image in pixels").Channel(0x00)
            .Limits("WidthMin", "WidthMax", "WidthInc").Locked().Kept(Geometry::Size)
            .Holds(Value::Width),
        F("Height", Kind::Integer, "Height of the image in lines").Channel(0x04)
            .Limits("HeightMin", "HeightMax", "HeightInc").Locked().Kept(Geometry::Size)
            .Holds(Value::Height),
        F("OffsetX", Kind::Integer, "Horizontal offset in pixels").Channel(0x08)
            .Limits(0, "WidthMax").Locked().Kept(Geometry::Offset)
            .Holds(Value::OffsetX),
        F("OffsetY", Kind::Integer, "Vertical offset in lines").Channel(0x0C)
            .Limits(0, "HeightMax").Locked().Kept(Geometry::Offset)
            .Holds(Value::OffsetY),
        F("PixelFormat", Kind::Enumeration, "Format of the pixels").Channel(0x10)
            .EntriesFrom(From::PixelTypes).Locked().Kept(Geometry::Format)
            .Holds(Value::PixelFormat),
        F("PayloadSize", Kind::Integer, "Bytes of one block of the stream").Channel(0x14).ReadOnly()
            .Holds(Value::PayloadSize),
    }},
    {"AcquisitionControl", "Acquisition", {
        F("AcquisitionMode", Kind::Enumeration, "Acquisition mode").Device(0x08).FixedEntries({{"Continuous", 0}}).Locked()
            .Holds(Value::AcquisitionMode),
        F("AcquisitionStart", Kind::Command, "Starts the acquisition").Device(0x00).WriteOnly()
            .Holds(Value::AcquisitionStart),
        F("AcquisitionFrameRate", Kind::Float, "Frames a second the camera sends at most, while enabled").Device(0x30)
            .FloatLimits(0.1, 100000.0).In("Hz")
            .Holds(Value::AcquisitionFrameRate),
        F("AcquisitionFrameRateEnable", Kind::Boolean, "Keeps the camera to AcquisitionFrameRate").Device(0x38)
            .Holds(Value::AcquisitionFrameRateEnable),
        F("AcquisitionStop", Kind::Command, "Stops the acquisition").Device(0x04).WriteOnly()
            .Holds(Value::AcquisitionStop),
    }},
    {"ChunkDataControl", "Chunk data", {
        F("ChunkModeActive", Kind::Boolean, "Appends chunk data to the payload").Channel(0x18).Locked()
            .Holds(Value::ChunkModeActive),
        F("ChunkSelector", Kind::Enumeration, "Selects the chunk that ChunkEnable shows").Channel(0x1C)
            .EntriesFrom(From::Chunks).Selecting({"ChunkEnable"}).Only(Presence::Chunks)
            .Holds(Value::ChunkSelector),
        F("ChunkEnable", Kind::Boolean, "Appends the selected chunk").Channel(0x20).Locked().Only(Presence::Chunks)
            .Holds(Value::ChunkEnable),
    }},
    {"UserSetControl", "User sets", {
        F("UserSetSelector", Kind::Enumeration, "Selects the user set to load or save").Device(0x18)
            .EntriesFrom(From::UserSets).Selecting({"UserSetLoad", "UserSetSave"})
            .Holds(Value::UserSetSelector),
        F("UserSetLoad", Kind::Command, "Loads the selected user set").Device(0x1C).WriteOnly()
            .Holds(Value::UserSetLoad),
        F("UserSetSave", Kind::Command, "Saves the selected user set").Device(0x20).WriteOnly()
            .Holds(Value::UserSetSave),
        F("UserSetDefault", Kind::Enumeration, "The user set loaded when the device starts").Device(0x24)
            .EntriesFrom(From::UserSets)
            .Holds(Value::UserSetDefault),
    }},
    // The transport: mostly the GVCP server's bootstrap registers.
    {"TransportLayerControl", "GigE Vision transport", {
        F("GenDCStreamingMode", Kind::Enumeration, "Whether the stream carries GenDC containers").Channel(0x40)
            .FixedEntries({{"Off", 0}, {"On", 1}}).Locked().Kept()
            .Only(Presence::GenDC)
            .Holds(Value::GenDCStreamingMode),
        F("TLParamsLocked", Kind::Integer, "Locks the features that change the payload while streaming").Device(0x0C)
            .Limits(0, 1).Seen("Invisible")
            .Holds(Value::TLParamsLocked),
        F("GevStreamChannelSelector", Kind::Integer, "Selects the stream channel").Device(0x28)
            .Limits(0, Value::LastChannel).Selecting(Per::Stream).Only(Presence::SeveralChannels)
            .Holds(Value::StreamChannelSelector),
        F("GevSCPSPacketSizeMax", Kind::Integer, "").Channel(0x3C, Per::Stream).ReadOnly().Limits(0, 65535).Seen("Invisible")
            .Holds(Value::PacketSizeMax),
        F("GevSCPSPacketSize", Kind::Integer, "Size of the stream packets in bytes")
            .Bootstrap(reg::StreamChannelPacketSize0, Per::Stream).Bits(31, 16).Seen("Expert")
            .Limits(576, "GevSCPSPacketSizeMax", 4),
        F("GevSCPSFireTestPacket", Kind::Boolean, "Sends one test packet of the packet size")
            .Bootstrap(reg::StreamChannelPacketSize0, Per::Stream).Bits(0, 0).Seen("Guru"),
        F("GevSCPSDoNotFragment", Kind::Boolean, "Sets the do-not-fragment bit of stream packets")
            .Bootstrap(reg::StreamChannelPacketSize0, Per::Stream).Bits(1, 1).Seen("Guru"),
        F("GevSCPD", Kind::Integer, "Delay between stream packets in ticks")
            .Bootstrap(reg::StreamChannelPacketDelay0, Per::Stream).Seen("Expert"),
        F("GevSCDA", Kind::Integer, "Destination address of the stream")
            .Bootstrap(reg::StreamChannelDestination0, Per::Stream).Shown("IPV4Address").Seen("Guru"),
        F("GevSCPHostPort", Kind::Integer, "Destination port of the stream")
            .Bootstrap(reg::StreamChannelPort0, Per::Stream).Bits(31, 16).Limits(0, 65535).Seen("Guru"),
        F("GevSCSP", Kind::Integer, "Source port of the stream")
            .Bootstrap(reg::StreamChannelSourcePort0, Per::Stream).ReadOnly().Bits(31, 16).Limits(0, 65535).Seen("Guru"),
        // Multi-part where the source offers it: the controller allows it,
        // and leaders and trailers as large as the packets (bits 25 and 24
        // of the configuration register, gvcp::SCC_*).
        F("GevSCCFGMultiPartEnabled", Kind::Boolean, "Allows the stream channel to send multi-part blocks")
            .Bootstrap(reg::StreamChannelConfiguration0, Per::Stream).Bits(25, 25).Locked().Only(Presence::MultiPart)
            .Seen("Expert"),
        F("GevSCCFGLargeLeaderTrailerEnabled", Kind::Boolean,
          "Allows leaders and trailers as large as the packets, for more parts")
            .Bootstrap(reg::StreamChannelConfiguration0, Per::Stream).Bits(24, 24).Locked().Only(Presence::MultiPart)
            .Seen("Guru"),
        // The value is the payload type the source is asked to stream.
        F("TestPayloadFormatMode", Kind::Enumeration, "Has the source stream a payload of this format by itself, for validation")
            .Channel(0x48, Per::Stream).FixedEntries({{"Off", ZuPayloadTypeNone}, {"MultiPart", ZuPayloadTypeMultiPart}})
            .Locked().Only(Presence::MultiPart).Seen("Guru")
            .Holds(Value::TestPayloadFormatMode),
        // Which protocol carries the stream; not while it streams.
        F("StreamProtocol", Kind::Enumeration, "Protocol of the selected stream channel: GigE Vision streaming or RTP")
            .Channel(0x44, Per::Stream).FixedEntries({{"GVSP", StreamConfig::kProtocolGvsp}, {"RTP", StreamConfig::kProtocolRtp}})
            .Locked().Only(Presence::Rtp)
            .Holds(Value::StreamProtocol),
        F("GevMCPHostPort", Kind::Integer, "Destination port of events").Bootstrap(reg::MessageChannelPort)
            .Bits(31, 16).Limits(0, 65535).Seen("Guru"),
        F("GevMCDA", Kind::Integer, "Destination address of events").Bootstrap(reg::MessageChannelDestination)
            .Shown("IPV4Address").Seen("Guru"),
        F("GevMCTT", Kind::Integer, "Time-out of an event's acknowledge in ms")
            .Bootstrap(reg::MessageChannelTransmissionTimeout).Seen("Guru"),
        F("GevMCRC", Kind::Integer, "Retries of an unacknowledged event").Bootstrap(reg::MessageChannelRetryCount).Seen("Guru"),
        F("GevHeartbeatTimeout", Kind::Integer, "Heartbeat time-out in ms").Bootstrap(reg::HeartbeatTimeout)
            .Limits(500, 0xFFFFFFFF).In("ms").Seen("Guru"),
        F("GevGVCPHeartbeatDisable", Kind::Boolean, "Keeps the session open without heartbeat")
            .Bootstrap(reg::GVCPConfiguration).Bits(31, 31).Seen("Guru"),
        F("GevCCP", Kind::Enumeration, "Control channel privilege").Bootstrap(reg::ControlChannelPrivilege)
            .FixedEntries({{"OpenAccess", 0}, {"ExclusiveAccess", 1}, {"ControlAccess", 2}}).Seen("Guru"),
        F("GevTimestampTickFrequency", Kind::Integer, "Timestamp ticks per second")
            .Bootstrap(reg::TimestampTickFrequencyHigh).ReadOnly().Bytes(8).Limits(0, INT64_MAX).In("Hz").Seen("Expert"),
        F("GevTimestampControlLatch", Kind::Command, "Latches the timestamp into GevTimestampValue")
            .Bootstrap(reg::TimestampControl).WriteOnly().OnValue(2),
        F("GevTimestampValue", Kind::Integer, "The latched timestamp").Bootstrap(reg::TimestampValueHigh)
            .ReadOnly().Bytes(8).Limits(0, INT64_MAX).Seen("Expert"),
        F("GevCurrentIPAddress", Kind::Integer, "Current IP address").Bootstrap(reg::CurrentIPAddress).ReadOnly()
            .Shown("IPV4Address"),
        F("GevCurrentSubnetMask", Kind::Integer, "Current subnet mask").Bootstrap(reg::CurrentSubnetMask).ReadOnly()
            .Shown("IPV4Address"),
        F("GevMACAddress", Kind::Integer, "MAC address").Bootstrap(reg::MacHigh).ReadOnly().Bytes(8)
            .Limits(0, 0xFFFFFFFFFFFF).Shown("MACAddress"),
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
        const double value = host->ReadFloat(row->value);
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
        return row->CheckFloat(*host, after(aOffset, aData, aCount));
    };
    range.write = [host, row, after](uint32_t aOffset, const uint8_t *aData, uint32_t aCount) {
        return row->WriteFloat(*host, after(aOffset, aData, aCount));
    };
    aSpace.AddRange(aAddress, 8, std::move(range));
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
    return f ? f->Address(aChannel) : 0;
}

// ---- Registers

void layoutStandard(RegisterSpace &aSpace, FeatureHost &aHost)
{
    FeatureHost *host = &aHost;
    for (const StandardFamily &family : standardFamilies())
        for (const FeatureRow &f : family.features) {
            if (!f.OwnRegister()) continue;
            const size_t count = f.where == Where::Channel ? aHost.Channels() : 1;
            for (size_t c = 0; c < count; ++c) {
                if (!f.Present(aHost, c)) continue;
                if (f.kind == Kind::Float) {
                    addFloatRegister(aSpace, aHost, f, f.Address(c));
                    continue;
                }
                const FeatureRow *row = &f;
                RegisterSpace::Getter get;
                RegisterSpace::Setter set;
                RegisterSpace::Check check;
                if (std::strcmp(f.access, "WO") != 0) get = [host, row, c] { return host->Read(row->value, c); };
                if (std::strcmp(f.access, "RO") != 0) {
                    set = [host, row, c](uint32_t v) { return row->Write(*host, c, v); };
                    check = [host, row, c](uint32_t v) { return row->Check(*host, c, v); };
                }
                aSpace.AddRegister(f.Address(c), std::move(get), std::move(set), std::move(check));
            }
        }
}

std::vector<gvcp::FieldLimit> standardBootstrapLimits(FeatureHost &aHost)
{
    std::vector<gvcp::FieldLimit> out;
    for (const StandardFamily &family : standardFamilies())
        for (const FeatureRow &f : family.features) {
            if (f.where != Where::Bootstrap || f.kind != Kind::Integer || std::strcmp(f.access, "RO") == 0) continue;
            const size_t count = f.per == Per::Stream ? aHost.Channels() : 1;
            for (size_t c = 0; c < count; ++c) {
                gvcp::FieldLimit l;
                l.address = f.Address(c);
                // Big-endian bit numbers: 31 is the register's lowest bit.
                if (f.lsb >= 0) {
                    l.shift = uint32_t(31 - f.lsb);
                    l.mask = uint32_t((uint64_t(1) << (f.lsb - f.msb + 1)) - 1) << l.shift;
                }
                static_cast<gvcp::ValueLimits &>(l) = f.Limits(aHost, c);
                out.push_back(l);
            }
        }
    return out;
}

// ---- Description

void declareStandard(DescriptionWriter &aWriter, FeatureHost &aHost)
{
    aWriter = DescriptionWriter();
    for (const StandardFamily &family : standardFamilies()) aWriter.AddCategory(family.category, family.toolTip);
    for (const StandardFamily &family : standardFamilies())
        for (const FeatureRow &f : family.features) {
            if (!f.PresentAnywhere(aHost)) continue;
            FeatureDecl d = f.Declare(aHost, family.category);
            if (f.selects != Per::Device)
                for (const StandardFamily &other : standardFamilies())
                    for (const FeatureRow &s : other.features)
                        if (s.per == f.selects && s.PresentAnywhere(aHost)) d.selected.push_back(s.name);
            aWriter.Add(std::move(d));
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
                if (aSpace.ReadRegister(f.Address(c), v) != kStatusSuccess) continue;
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
                if (f.geometry == Geometry::Offset) aSpace.WriteRegister(f.Address(c), 0);
        for (const StandardFamily &family : standardFamilies())
            for (const FeatureRow &f : family.features) {
                if (!f.userSet || f.where != Where::Channel) continue;
                auto it = aSet.find(setKey(f, c));
                if (it == aSet.end() || it->second.size() != 4) continue;
                const uint16_t st = aSpace.WriteRegister(f.Address(c), gev::loadBig32(it->second.data()));
                if (st != kStatusSuccess) status = st;
            }
    }
    return status;
}

} // namespace softdevice
} // namespace tarn
