// The camera's own features one row at a time, over a fake camera: what a
// row's register takes, what reaches the camera, what it declares.

#include "softdevice/model/register_space.h"
#include "softdevice/model/standard_features.h"
#include "ZuPixelType.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <set>
#include <stdexcept>

using namespace tarn;
using namespace tarn::softdevice;

namespace {

// Each value as the test sets it, and every write that reached it.
struct FakeCamera : FeatureHost {
    size_t count = 1;
    std::map<Value, uint32_t> values;
    std::set<Presence> present;
    uint32_t userSets = 0;
    std::vector<std::pair<Value, uint32_t>> writes;
    int imageChanges = 0;
    double rate = 30.0;

    size_t Channels() const override { return count; }
    uint32_t Read(Value v, size_t) override { return v == Value::LastChannel ? uint32_t(count - 1) : values[v]; }
    uint16_t Write(Value v, size_t, uint32_t x) override
    {
        writes.emplace_back(v, x);
        values[v] = x;
        return kStatusSuccess;
    }
    double ReadFloat(Value) override { return rate; }
    void WriteFloat(Value, double x) override { rate = x; }
    bool Has(Presence p, size_t) const override { return present.count(p) != 0; }
    Entries GetEntries(From f, size_t) const override
    {
        if (f == From::PixelTypes) return {{"Mono8", ZuPixelMono8}, {"Mono16", ZuPixelMono16}};
        Entries sets = {{"Default", 0}};
        for (uint32_t k = 1; k <= userSets; ++k) sets.emplace_back("UserSet" + std::to_string(k), k);
        return sets;
    }
    void ImageChanged(size_t) override { ++imageChanges; }
};

const FeatureRow &row(const char *aName)
{
    const FeatureRow *r = standardRow(aName);
    if (!r) throw std::runtime_error(std::string("no row ") + aName);
    return *r;
}

} // namespace

// A source with widths from 10 in steps of 4 takes 14 and refuses 12: steps
// count from the minimum. Each row takes what its limits, kind and lock
// allow; what it takes reaches the camera, and what it refuses does not.
TEST(FeatureRow, ARowTakesWhatItsLimitsKindAndLockAllowAndNothingElseReachesTheCamera)
{
    const std::map<Value, uint32_t> widths = {{Value::WidthMin, 10}, {Value::WidthMax, 100}, {Value::WidthInc, 4}};
    struct Case {
        const char *row;
        std::map<Value, uint32_t> camera;
        uint32_t value;
        uint16_t status;
    } cases[] = {
        {"Width", widths, 14, kStatusSuccess},
        {"Width", widths, 12, kStatusInvalidParameter},
        {"Width", widths, 10, kStatusSuccess},
        {"Width", widths, 6, kStatusInvalidParameter},
        {"Width", widths, 98, kStatusSuccess},
        {"Width", widths, 102, kStatusInvalidParameter},
        {"Width", {{Value::WidthMin, 10}, {Value::WidthMax, 100}, {Value::WidthInc, 4}, {Value::TLParamsLocked, 1}}, 14,
         kStatusAccessDenied},
        {"Height", {{Value::HeightMin, 1}, {Value::HeightMax, 48}, {Value::HeightInc, 1}}, 0, kStatusInvalidParameter},
        {"OffsetX", {{Value::WidthMax, 64}}, 64, kStatusSuccess},
        {"OffsetX", {{Value::WidthMax, 64}}, 65, kStatusInvalidParameter},
        {"PixelFormat", {}, ZuPixelMono16, kStatusSuccess},
        {"PixelFormat", {}, ZuPixelMono8 + 1, kStatusInvalidParameter},
        {"PixelFormat", {{Value::TLParamsLocked, 1}}, ZuPixelMono8, kStatusAccessDenied},
        {"AcquisitionFrameRateEnable", {}, 1, kStatusSuccess},
        {"AcquisitionFrameRateEnable", {}, 2, kStatusInvalidParameter},
        {"TLParamsLocked", {{Value::TLParamsLocked, 1}}, 0, kStatusSuccess},
        {"TLParamsLocked", {}, 2, kStatusInvalidParameter},
        {"UserSetSelector", {}, 2, kStatusSuccess},
        {"UserSetSelector", {}, 3, kStatusInvalidParameter},
        {"AcquisitionMode", {}, 1, kStatusInvalidParameter},
        {"TestPayloadFormatMode", {}, 1, kStatusInvalidParameter},
        {"SourceSelector", {}, 2, kStatusSuccess},
        {"SourceSelector", {}, 3, kStatusInvalidParameter},
        {"AcquisitionStart", {{Value::TLParamsLocked, 1}}, 1, kStatusSuccess},
    };
    for (const Case &c : cases) {
        FakeCamera camera;
        camera.count = 3;
        camera.userSets = 2;
        camera.values = c.camera;
        const FeatureRow &r = row(c.row);
        EXPECT_EQ(r.Check(camera, 0, c.value), c.status) << c.row << " " << c.value;
        EXPECT_TRUE(camera.writes.empty()) << c.row;
        EXPECT_EQ(r.Write(camera, 0, c.value), c.status) << c.row << " " << c.value;
        const bool taken = c.status == kStatusSuccess;
        EXPECT_EQ(camera.writes.size(), taken ? 1u : 0u) << c.row << " " << c.value;
        if (taken) {
            EXPECT_EQ(camera.writes[0], std::make_pair(r.value, c.value)) << c.row;
        }
        // A source that took a new size or format describes its buffers anew.
        EXPECT_EQ(camera.imageChanges, taken && r.geometry != FeatureRow::Geometry::None ? 1 : 0) << c.row;
    }
}

TEST(FeatureRow, AFloatRowKeepsToItsLimitsAndTheLock)
{
    const FeatureRow &rate = row("AcquisitionFrameRate");
    FakeCamera camera;
    for (double bad : {0.0, 0.09, 100000.5, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(rate.WriteFloat(camera, bad), kStatusInvalidParameter) << bad;
        EXPECT_EQ(camera.rate, 30.0);
    }
    EXPECT_EQ(rate.WriteFloat(camera, 0.1), kStatusSuccess);
    EXPECT_EQ(camera.rate, 0.1);
}

// Every limit that names a feature names one of the table's, with a value
// of the camera behind it, and every register the device lays out holds a
// value of the camera's: a misspelt name or a row without behaviour shows.
TEST(FeatureRow, TheTablesLimitsNameRowsAndItsRegistersHoldValues)
{
    std::set<uint32_t> device, channel;
    for (const StandardFamily &family : standardFamilies())
        for (const FeatureRow &f : family.features) {
            for (const Bound *b : {&f.min, &f.max, &f.inc}) {
                if (!b->feature) continue;
                ASSERT_NE(b->row, nullptr) << f.name << " names " << b->feature;
                EXPECT_NE(b->row->value, Value::None) << f.name << " names " << b->feature;
            }
            const bool own = f.where == FeatureRow::Where::Device || f.where == FeatureRow::Where::Channel;
            if (own && f.value == Value::None) {
                // Only a feature over another row's register has no value of its own.
                bool shared = false;
                for (const StandardFamily &other : standardFamilies())
                    for (const FeatureRow &g : other.features)
                        shared = shared || (&g != &f && g.where == f.where && g.offset == f.offset && g.value != Value::None);
                EXPECT_TRUE(shared) << f.name;
                continue;
            }
            if (own) {
                EXPECT_TRUE((f.where == FeatureRow::Where::Device ? device : channel).insert(f.offset).second) << f.name;
            }
        }
}

TEST(FeatureRow, TheBootstrapLimitsAreTheRowsAndRepeatPerStreamChannel)
{
    FakeCamera camera;
    camera.count = 2;
    camera.values[Value::PacketSizeMax] = 8000;
    const std::vector<gvcp::FieldLimit> limits = standardBootstrapLimits(camera);
    auto at = [&](uint32_t aAddress) -> const gvcp::FieldLimit * {
        for (const gvcp::FieldLimit &l : limits)
            if (l.address == aAddress) return &l;
        return nullptr;
    };
    for (uint32_t channel : {0u, 1u}) {
        const gvcp::FieldLimit *size = at(gvcp::reg::StreamChannelPacketSize0 + gvcp::reg::StreamChannelStride * channel);
        ASSERT_NE(size, nullptr) << channel;
        EXPECT_EQ(size->mask, 0xFFFFu);
        EXPECT_TRUE(size->Takes(0x40000000u | 8000));
        EXPECT_FALSE(size->Takes(578));
        EXPECT_FALSE(size->Takes(8004));
    }
    const gvcp::FieldLimit *port = at(gvcp::reg::MessageChannelPort);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->mask, 0xFFFFu);
    EXPECT_EQ(at(gvcp::reg::StreamChannelPacketSize0 + 2 * gvcp::reg::StreamChannelStride), nullptr);
    const gvcp::FieldLimit *heartbeat = at(gvcp::reg::HeartbeatTimeout);
    ASSERT_NE(heartbeat, nullptr);
    EXPECT_FALSE(heartbeat->Takes(499));
    EXPECT_TRUE(heartbeat->Takes(500));
}

TEST(FeatureRow, ADeclarationNamesWhereItsLimitsComeFromAndFollowsItsSelector)
{
    FakeCamera camera;
    camera.count = 3;
    camera.values[Value::PacketSizeMax] = 8000;
    const FeatureDecl width = row("Width").Declare(camera, "ImageFormatControl");
    EXPECT_EQ(width.pMin, "WidthMin");
    EXPECT_EQ(width.pMax, "WidthMax");
    EXPECT_EQ(width.pInc, "WidthInc");
    EXPECT_EQ(width.lockedBy, "TLParamsLocked");
    EXPECT_TRUE(width.streamable);
    EXPECT_EQ(width.indexedBy, "SourceSelector");
    EXPECT_EQ(width.address, 0x10000u);
    EXPECT_EQ(width.indexStep, 0x100u);
    const FeatureDecl selector = row("SourceSelector").Declare(camera, "ImageFormatControl");
    EXPECT_EQ(selector.max, 2);   // learnt: the last channel
    EXPECT_TRUE(selector.pMax.empty());
    const FeatureDecl size = row("GevSCPSPacketSize").Declare(camera, "TransportLayerControl");
    EXPECT_EQ(size.indexStep, gvcp::reg::StreamChannelStride);
    EXPECT_EQ(size.pMax, "GevSCPSPacketSizeMax");
    camera.count = 1;
    EXPECT_TRUE(row("Width").Declare(camera, "ImageFormatControl").indexedBy.empty());
    const FeatureDecl pixels = row("PixelFormat").Declare(camera, "ImageFormatControl");
    Entries entries;
    for (const FeatureDecl::Entry &e : pixels.entries) entries.emplace_back(e.name, e.value);
    EXPECT_EQ(entries, (Entries{{"Mono8", ZuPixelMono8}, {"Mono16", ZuPixelMono16}}));
}
