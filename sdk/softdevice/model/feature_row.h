#ifndef TARN_SOFTDEVICE_FEATURE_ROW_H
#define TARN_SOFTDEVICE_FEATURE_ROW_H

// One of the camera's own features as a row of data: its name and kind,
// where its register lies, its limits and where they come from, its
// entries, user-set membership and locking, and which of the camera's
// values its register holds. What a row does reaches the camera through a
// small interface, FeatureHost, so that a row is read, checked, written
// and described the same way for the device and for a test's fake camera.
//
// The rows themselves are the tables of standard_features.cpp.

#include "softdevice/model/description.h"
#include "gev/bootstrap.h"

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace tarn {
namespace softdevice {

// The camera's values a row's register holds, or that a limit learns.
enum class Value : uint8_t {
    None,   // the register is another row's, or the GVCP server's
    // Per source: the image, as the source keeps it, and its limits as it told them.
    Width, Height, OffsetX, OffsetY, PixelFormat, PayloadSize,
    WidthMin, WidthMax, WidthInc, HeightMin, HeightMax, HeightInc,
    ChunkModeActive, ChunkSelector, ChunkEnable, GenDCStreamingMode,
    // Per stream channel.
    PacketSizeMax, TestPayloadFormatMode, StreamProtocol,
    // The device's.
    DeviceReset, SourceSelector, StreamChannelSelector, LastChannel, TLParamsLocked,
    AcquisitionMode, AcquisitionStart, AcquisitionStop, AcquisitionFrameRate, AcquisitionFrameRateEnable,
    UserSetSelector, UserSetLoad, UserSetSave, UserSetDefault,
};

// What the camera has only sometimes: a row is there (for a channel) while it does.
enum class Presence : uint8_t { Always, SeveralChannels, Chunks, MultiPart, GenDC, Rtp };

// Where an enumeration's entries come from: the row, or what the camera learnt.
enum class From : uint8_t { Table, PixelTypes, Chunks, UserSets };

using Entries = std::vector<std::pair<std::string, int64_t>>;

// The camera as its rows reach it. Called on the control thread.
class FeatureHost
{
public:
    virtual ~FeatureHost() = default;
    virtual size_t Channels() const = 0;
    // What a row's register holds, and a write of it once the row's own
    // rules took it (a GVCP status).
    virtual uint32_t Read(Value aValue, size_t aChannel) = 0;
    virtual uint16_t Write(Value aValue, size_t aChannel, uint32_t aNew) = 0;
    // An 8-byte IEEE register's value.
    virtual double ReadFloat(Value aValue) = 0;
    virtual void WriteFloat(Value aValue, double aNew) = 0;
    virtual bool Has(Presence aPresence, size_t aChannel) const = 0;
    virtual Entries GetEntries(From aFrom, size_t aChannel) const = 0;
    // A write changed the image a channel's source streams.
    virtual void ImageChanged(size_t aChannel) = 0;
};

struct FeatureRow;

// A limit: a constant, the feature whose value it is (what a controller
// reads as pMin, pMax or pInc), or a value the camera learns.
struct Bound {
    template <class T, std::enable_if_t<std::is_integral<T>::value, int> = 0>
    Bound(T aValue) : value(int64_t(aValue)) {}
    Bound(const char *aFeature) : feature(aFeature) {}
    Bound(Value aLearnt) : learnt(aLearnt) {}
    int64_t value = 0;
    const char *feature = nullptr;
    Value learnt = Value::None;
    const FeatureRow *row = nullptr;   // the feature's row, once the table is made
};

struct FeatureRow {
    using Kind = FeatureDecl::Kind;
    // Which selector shows one instance of it per source or stream channel.
    enum class Per { Device, Source, Stream };
    // Whose register it is: the device's own, at DeviceBase + offset or at
    // ChannelBase + offset + ChannelStride * channel; the GVCP server's in
    // the bootstrap block (channel 0's address for Per::Stream); or the
    // device's own block at a fixed address, laid out apart.
    enum class Where { Device, Channel, Bootstrap, Block };
    // What a write changes of the image a channel streams (user sets load
    // offsets first).
    enum class Geometry { None, Size, Offset, Format };

    FeatureRow(const char *aName, Kind aKind, const char *aToolTip) : name(aName), kind(aKind), toolTip(aToolTip) {}

    // The register.
    FeatureRow &Device(uint32_t aOffset) { return At(Where::Device, aOffset); }
    FeatureRow &Channel(uint32_t aOffset, Per aPer = Per::Source) { return At(Where::Channel, aOffset, aPer); }
    FeatureRow &Bootstrap(uint32_t aAddress, Per aPer = Per::Device) { return At(Where::Bootstrap, aAddress, aPer); }
    FeatureRow &Block(uint32_t aAddress) { return At(Where::Block, aAddress); }
    FeatureRow &ReadOnly() { access = "RO"; return *this; }
    FeatureRow &WriteOnly() { access = "WO"; return *this; }
    FeatureRow &Bits(int aLsb, int aMsb) { lsb = aLsb; msb = aMsb; return *this; }
    FeatureRow &Bytes(uint32_t aLength) { length = aLength; return *this; }
    // The camera's value its register holds.
    FeatureRow &Holds(Value aValue) { value = aValue; return *this; }
    // Its value.
    FeatureRow &Limits(Bound aMin, Bound aMax, Bound aInc = Bound(1)) { min = aMin; max = aMax; inc = aInc; return *this; }
    FeatureRow &FloatLimits(double aMin, double aMax) { fmin = aMin; fmax = aMax; return *this; }
    FeatureRow &FixedEntries(Entries aEntries) { fixedEntries = std::move(aEntries); return *this; }
    FeatureRow &EntriesFrom(From aFrom) { from = aFrom; return *this; }
    FeatureRow &OnValue(int64_t aValue) { commandValue = aValue; return *this; }
    // How a controller sees it.
    FeatureRow &Seen(const char *aVisibility) { visibility = aVisibility; return *this; }
    FeatureRow &Shown(const char *aRepresentation) { representation = aRepresentation; return *this; }
    FeatureRow &In(const char *aUnit) { unit = aUnit; return *this; }
    // A selector of every feature per source or stream channel, or of these.
    FeatureRow &Selecting(Per aPer) { selects = aPer; return *this; }
    FeatureRow &Selecting(std::vector<const char *> aNames) { selectedNames = std::move(aNames); return *this; }
    // TLParamsLocked locks it; user sets keep it (Streamable).
    FeatureRow &Locked() { isLocked = true; return *this; }
    FeatureRow &Kept(Geometry aGeometry = Geometry::None) { userSet = true; geometry = aGeometry; return *this; }
    FeatureRow &Only(Presence aPresence) { presence = aPresence; return *this; }

    // ---- What the row does with a camera.
    // Its register's address (for a row per channel, that channel's).
    uint32_t Address(size_t aChannel) const;
    // The device lays out a register of its own for it.
    bool OwnRegister() const;
    bool Present(const FeatureHost &aHost, size_t aChannel) const;
    // Whether any channel (or the device) has it.
    bool PresentAnywhere(const FeatureHost &aHost) const;
    int64_t GetBound(FeatureHost &aHost, const Bound &aBound, size_t aChannel) const;
    gvcp::ValueLimits Limits(FeatureHost &aHost, size_t aChannel) const;
    Entries EntriesOf(const FeatureHost &aHost, size_t aChannel) const;
    // What a write of the register is answered, changing nothing (a GVCP
    // status); a write checks so first.
    uint16_t Check(FeatureHost &aHost, size_t aChannel, uint32_t aValue) const;
    uint16_t Write(FeatureHost &aHost, size_t aChannel, uint32_t aValue) const;
    // The same for an 8-byte IEEE register.
    uint16_t CheckFloat(FeatureHost &aHost, double aValue) const;
    uint16_t WriteFloat(FeatureHost &aHost, double aValue) const;
    // Its declaration in a description, of the channels the host has.
    FeatureDecl Declare(FeatureHost &aHost, const std::string &aCategory) const;

    const char *name;
    Kind kind;
    const char *toolTip;
    const char *visibility = "Beginner";
    Per per = Per::Device;
    Where where = Where::Device;
    uint32_t offset = 0;   // or the address, for the bootstrap block and blocks
    const char *access = "RW";
    uint32_t length = 4;
    int lsb = -1, msb = -1;
    Value value = Value::None;
    Bound min = Bound(0), max = Bound(0xFFFFFFFF), inc = Bound(1);
    double fmin = 0, fmax = 0;
    Entries fixedEntries;
    From from = From::Table;
    int64_t commandValue = 1;
    const char *representation = "";
    const char *unit = "";
    Per selects = Per::Device;   // Device: selects none of the per-channel features
    std::vector<const char *> selectedNames;
    bool isLocked = false;
    bool userSet = false;
    Geometry geometry = Geometry::None;
    Presence presence = Presence::Always;

private:
    FeatureRow &At(Where aWhere, uint32_t aOffset, Per aPer = Per::Device)
    {
        where = aWhere;
        offset = aOffset;
        per = aPer;
        return *this;
    }
};

// One family: a category of the description and its features, in order.
struct StandardFamily {
    const char *category;
    const char *toolTip;
    std::vector<FeatureRow> features;
};

namespace addr {
// The device's own registers: device-wide from DeviceBase, per stream
// channel from ChannelBase + ChannelStride * channel (each feature's offset
// is in its row).
constexpr uint32_t ChannelBase = 0x00010000;
constexpr uint32_t ChannelStride = 0x100;
constexpr uint32_t DeviceBase = 0x00011000;
constexpr uint32_t FirmwareVersion = 0x3FFF0100;
} // namespace addr

} // namespace softdevice
} // namespace tarn

#endif
