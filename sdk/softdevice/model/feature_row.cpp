#include "softdevice/model/feature_row.h"

#include "softdevice/model/register_space.h"
#include "ZuPixelType.h"

#include <algorithm>

namespace tarn {
namespace softdevice {

namespace reg = gvcp::reg;

namespace {

void addEntry(Entries &aEntries, const std::string &aName, int64_t aValue)
{
    for (const auto &e : aEntries)
        if (e.first == aName) return;
    aEntries.emplace_back(aName, aValue);
}

} // namespace

uint32_t FeatureRow::Address(size_t aChannel) const
{
    switch (where) {
    case Where::Device: return addr::DeviceBase + offset;
    case Where::Channel: return addr::ChannelBase + offset + addr::ChannelStride * uint32_t(aChannel);
    case Where::Bootstrap: return offset + (per == Per::Stream ? reg::StreamChannelStride * uint32_t(aChannel) : 0);
    case Where::Block: return offset;
    }
    return 0;
}

bool FeatureRow::OwnRegister() const
{
    // A feature over another row's register (SensorWidth) adds none.
    return (where == Where::Device || where == Where::Channel) && value != Value::None;
}

bool FeatureRow::Present(const FeatureHost &aHost, size_t aChannel) const
{
    return presence == Presence::Always || aHost.Has(presence, aChannel);
}

bool FeatureRow::PresentAnywhere(const FeatureHost &aHost) const
{
    const size_t count = per == Per::Device ? 1 : std::max<size_t>(1, aHost.Channels());
    for (size_t c = 0; c < count; ++c)
        if (Present(aHost, c)) return true;
    return false;
}

int64_t FeatureRow::GetBound(FeatureHost &aHost, const Bound &aBound, size_t aChannel) const
{
    if (aBound.learnt != Value::None) return aHost.Read(aBound.learnt, aChannel);
    if (!aBound.feature) return aBound.value;
    return aBound.row && aBound.row->value != Value::None ? int64_t(aHost.Read(aBound.row->value, aChannel)) : 0;
}

gvcp::ValueLimits FeatureRow::Limits(FeatureHost &aHost, size_t aChannel) const
{
    return gvcp::ValueLimits{GetBound(aHost, min, aChannel), GetBound(aHost, max, aChannel), GetBound(aHost, inc, aChannel)};
}

Entries FeatureRow::EntriesOf(const FeatureHost &aHost, size_t aChannel) const
{
    return from == From::Table ? fixedEntries : aHost.GetEntries(from, aChannel);
}

uint16_t FeatureRow::Check(FeatureHost &aHost, size_t aChannel, uint32_t aValue) const
{
    if (isLocked && aHost.Read(Value::TLParamsLocked, 0)) return kStatusAccessDenied;
    bool takes = true;
    switch (kind) {
    case Kind::Integer: takes = Limits(aHost, aChannel).Takes(aValue); break;
    case Kind::Boolean: takes = aValue == 0 || aValue == commandValue; break;
    case Kind::Enumeration: {
        const Entries entries = EntriesOf(aHost, aChannel);
        takes = std::any_of(entries.begin(), entries.end(), [&](const auto &e) { return e.second == int64_t(aValue); });
        break;
    }
    default: break;
    }
    return takes ? kStatusSuccess : kStatusInvalidParameter;
}

uint16_t FeatureRow::Write(FeatureHost &aHost, size_t aChannel, uint32_t aValue) const
{
    if (const uint16_t refused = Check(aHost, aChannel, aValue)) return refused;
    const uint16_t status = aHost.Write(value, aChannel, aValue);
    // What the source accepted is what it streams.
    if (status == kStatusSuccess && geometry != Geometry::None) aHost.ImageChanged(aChannel);
    return status;
}

uint16_t FeatureRow::CheckFloat(FeatureHost &aHost, double aValue) const
{
    if (isLocked && aHost.Read(Value::TLParamsLocked, 0)) return kStatusAccessDenied;
    // Not a number is outside every limit.
    return aValue >= fmin && aValue <= fmax ? kStatusSuccess : kStatusInvalidParameter;
}

uint16_t FeatureRow::WriteFloat(FeatureHost &aHost, double aValue) const
{
    if (const uint16_t refused = CheckFloat(aHost, aValue)) return refused;
    aHost.WriteFloat(value, aValue);
    return kStatusSuccess;
}

FeatureDecl FeatureRow::Declare(FeatureHost &aHost, const std::string &aCategory) const
{
    FeatureDecl d;
    d.kind = kind;
    d.name = name;
    d.category = aCategory;
    d.address = Address(0);
    d.access = access;
    d.toolTip = toolTip;
    d.visibility = visibility;
    d.length = length;
    d.lsb = lsb;
    d.msb = msb;
    d.representation = representation;
    d.unit = unit;
    d.commandValue = commandValue;
    d.streamable = userSet;
    d.standard = true;
    if (isLocked) d.lockedBy = "TLParamsLocked";
    if (aHost.Channels() > 1 && per != Per::Device) {
        d.indexedBy = per == Per::Source ? "SourceSelector" : "GevStreamChannelSelector";
        d.indexStep = where == Where::Bootstrap ? reg::StreamChannelStride : addr::ChannelStride;
    }
    // A limit another feature holds is that feature; one the camera learns is its value now.
    auto declared = [&](const Bound &aBound, int64_t &aValue, std::string &aName) {
        if (aBound.feature) aName = aBound.feature;
        else aValue = GetBound(aHost, aBound, 0);
    };
    declared(min, d.min, d.pMin);
    declared(max, d.max, d.pMax);
    declared(inc, d.inc, d.pInc);
    d.fmin = fmin;
    d.fmax = fmax;
    if (kind == Kind::Enumeration) {
        // Every source's entries.
        Entries all;
        const size_t count = per == Per::Device ? 1 : std::max<size_t>(1, aHost.Channels());
        for (size_t c = 0; c < count; ++c)
            for (const auto &e : EntriesOf(aHost, c)) addEntry(all, e.first, e.second);
        if (all.empty() && from == From::PixelTypes) all.emplace_back("Mono8", int64_t(ZuPixelMono8));
        for (const auto &e : all) d.entries.push_back(FeatureDecl::Entry{e.first, e.second, {}, true});
    }
    for (const char *s : selectedNames) d.selected.push_back(s);
    return d;
}

} // namespace softdevice
} // namespace tarn
