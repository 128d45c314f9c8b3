#ifndef TARN_SOFTDEVICE_STANDARD_FEATURES_H
#define TARN_SOFTDEVICE_STANDARD_FEATURES_H

// The camera's own features, each described once, in one table per family
// (standard_features.cpp): name and kind, register, limits and increments
// and where they come from, user-set membership, locking. The device makes
// from these rows its registers (and what they refuse), its description and
// the list of what a user set keeps, so that the range a controller reads
// is the range the register takes.
//
// Adding a feature is adding a row to its family: where its register lies,
// how the device reads and writes it when the register is the device's own
// (the GVCP server keeps the bootstrap block), and, when the device does
// not always have it, the condition under which it does.

#include "softdevice/model/description.h"

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace tarn {
namespace softdevice {

class DeviceModel;

struct StandardFeature {
    using Kind = FeatureDecl::Kind;
    using Entries = std::vector<std::pair<std::string, int64_t>>;

    // Which selector shows one instance of it per source or stream channel.
    enum class Per { Device, Source, Stream };
    // Whose register it is: the device's own, at DeviceBase + offset or at
    // ChannelBase + offset + ChannelStride * channel; the GVCP server's in
    // the bootstrap block (channel 0's address for Per::Stream); or the
    // device's own block at a fixed address, laid out apart.
    enum class Where { Device, Channel, Bootstrap, Block };
    // Where an enumeration's entries come from.
    enum class From { Table, PixelTypes, Chunks, UserSets };
    // What a write changes of the image a channel streams (the channel
    // then describes its buffers anew; user sets load offsets first).
    enum class Geometry { None, Size, Offset, Format };

    // A limit: a constant, the name of the feature whose value it is (what
    // the controller reads as pMin, pMax or pInc), or a value the device
    // learns when it starts.
    struct Limit {
        template <class T, std::enable_if_t<std::is_integral<T>::value, int> = 0>
        Limit(T aValue) : value(int64_t(aValue)) {}
        Limit(const char *aFeature) : feature(aFeature) {}
        Limit(int64_t (*aLearnt)(const DeviceModel &)) : learnt(aLearnt) {}
        int64_t value = 0;
        const char *feature = nullptr;
        int64_t (*learnt)(const DeviceModel &) = nullptr;
    };

    using Get = uint32_t (*)(DeviceModel &, size_t aChannel);
    // A GVCP status; called once the value is known to be within limits.
    using Set = uint16_t (*)(DeviceModel &, size_t aChannel, uint32_t aValue);
    using GetFloat = double (*)(DeviceModel &);
    using SetFloat = void (*)(DeviceModel &, double);
    // Whether the device has the feature (for one channel, for Per::Source
    // and Per::Stream rows).
    using Present = bool (*)(const DeviceModel &, size_t aChannel);

    StandardFeature(const char *aName, Kind aKind, const char *aToolTip) : name(aName), kind(aKind), toolTip(aToolTip) {}

    // The register.
    StandardFeature &device(uint32_t aOffset) { return at(Where::Device, aOffset); }
    StandardFeature &channel(uint32_t aOffset, Per aPer = Per::Source) { per = aPer; return at(Where::Channel, aOffset); }
    StandardFeature &bootstrap(uint32_t aAddress, Per aPer = Per::Device) { per = aPer; return at(Where::Bootstrap, aAddress); }
    StandardFeature &block(uint32_t aAddress) { return at(Where::Block, aAddress); }
    StandardFeature &readOnly() { access = "RO"; return *this; }
    StandardFeature &writeOnly() { access = "WO"; return *this; }
    StandardFeature &bits(int aLsb, int aMsb) { lsb = aLsb; msb = aMsb; return *this; }
    StandardFeature &bytes(uint32_t aLength) { length = aLength; return *this; }
    // Its value.
    StandardFeature &limits(Limit aMin, Limit aMax, Limit aInc = Limit(1)) { min = aMin; max = aMax; inc = aInc; return *this; }
    StandardFeature &floatLimits(double aMin, double aMax) { fmin = aMin; fmax = aMax; return *this; }
    StandardFeature &entries(Entries aEntries) { fixedEntries = std::move(aEntries); return *this; }
    StandardFeature &entriesFrom(From aFrom) { from = aFrom; return *this; }
    StandardFeature &onValue(int64_t aValue) { commandValue = aValue; return *this; }
    // How a controller sees it.
    StandardFeature &seen(const char *aVisibility) { visibility = aVisibility; return *this; }
    StandardFeature &shown(const char *aRepresentation) { representation = aRepresentation; return *this; }
    StandardFeature &in(const char *aUnit) { unit = aUnit; return *this; }
    // A selector of every feature per source or stream channel, or of these.
    StandardFeature &selecting(Per aPer) { selects = aPer; return *this; }
    StandardFeature &selecting(std::vector<const char *> aNames) { selectedNames = std::move(aNames); return *this; }
    // TLParamsLocked locks it; user sets keep it (Streamable).
    StandardFeature &locked() { isLocked = true; return *this; }
    StandardFeature &kept(Geometry aGeometry = Geometry::None) { userSet = true; geometry = aGeometry; return *this; }
    StandardFeature &only(Present aPresent) { present = aPresent; return *this; }
    StandardFeature &reads(Get aGet) { get = aGet; return *this; }
    StandardFeature &writes(Set aSet) { set = aSet; return *this; }
    StandardFeature &floats(GetFloat aGet, SetFloat aSet) { getFloat = aGet; setFloat = aSet; return *this; }

    const char *name;
    Kind kind;
    const char *toolTip;
    const char *visibility = "Beginner";
    Per per = Per::Device;
    Where where = Where::Device;
    uint32_t address = 0;
    const char *access = "RW";
    uint32_t length = 4;
    int lsb = -1, msb = -1;
    Limit min = Limit(0), max = Limit(0xFFFFFFFF), inc = Limit(1);
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
    Present present = nullptr;
    Get get = nullptr;
    Set set = nullptr;
    GetFloat getFloat = nullptr;
    SetFloat setFloat = nullptr;

private:
    StandardFeature &at(Where aWhere, uint32_t aAddress)
    {
        where = aWhere;
        address = aAddress;
        return *this;
    }
};

// One family: a category of the description and its features, in order.
struct StandardFamily {
    const char *category;
    const char *toolTip;
    std::vector<StandardFeature> features;
};

} // namespace softdevice
} // namespace tarn

#endif
