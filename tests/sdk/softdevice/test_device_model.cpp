#include "fakes.h"
#include "softdevice/model/device_model.h"
#include "ZuGenParameterArray.h"
#include "tarn/genicam/Parameters.h"
#include "ZuSoftDeviceGEV.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace tarn;
using namespace tarn::softdevice;
using tarn::test::CallLog;
using tarn::test::DefaultSource;
using tarn::test::FakeLink;
using tarn::test::FakeSource;
using tarn::test::RecordingSender;
using tarn::test::RecordingSink;
using tarn::test::ModelPort;
using tarn::test::loopback;

namespace {

struct Device {
    ZuSoftDeviceGEV self;
    CallLog log;
    FakeSource source{&log, 64, 48};
    RecordingSink sink{log};
    DeviceModel model{self};
    Device()
    {
        model.AddStream(&source);
        model.Sinks().Add(&sink);
    }
    // A controller's write of one of the device's own features.
    uint16_t Write(const char *aName, uint32_t aValue)
    {
        const uint8_t bytes[4] = {uint8_t(aValue >> 24), uint8_t(aValue >> 16), uint8_t(aValue >> 8), uint8_t(aValue)};
        return model.WriteMemory(standardAddress(aName), bytes, 4);
    }
    // Started, with a controller whose stream goes to the sender.
    void StreamTo(RecordingSender &aSender)
    {
        ASSERT_TRUE(model.Build(loopback()).IsOK());
        model.GetStreams().SetSender(0, &aSender);
        model.ControlTaken(0x7F000005, 5000, ZuAccessControl);
        model.GetStreams().Changed(0, 0x7F000001, 6000, 1500, 0);
    }
};

} // namespace

TEST(DeviceModel, StartAsksSourcesThenBuffersThenRegistersBeforeFeatures)
{
    Device d;
    ASSERT_TRUE(d.model.Build(loopback()).IsOK());
    int pixel = d.log.First("GetSupportedPixelType"), alloc = d.log.First("AllocBuffer"),
        sinkRegs = d.log.First("OnCreateCustomRegisters"), srcRegs = d.log.First("CreateRegisters"),
        sinkFeatures = d.log.First("OnCreateCustomGenApiFeatures"), srcFeatures = d.log.First("CreateGenApiFeatures");
    ASSERT_GE(pixel, 0);
    EXPECT_LT(pixel, alloc);
    EXPECT_LT(alloc, sinkRegs);
    EXPECT_LT(sinkRegs, srcRegs);
    EXPECT_LT(srcRegs, sinkFeatures);
    EXPECT_LT(sinkFeatures, srcFeatures);
    EXPECT_EQ(d.log.Count("null factory"), 0u);
    EXPECT_EQ(d.model.GetStreams().GetChannel(0).BufferCount(), d.source.bufferCount);
    EXPECT_EQ(d.model.Build(loopback()).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(d.model.AddStream(&d.source).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(d.model.SetUserSetCount(1).GetCode(), ZU_STATE_ERROR);
}

TEST(DeviceModel, AFailedStartUndoesItselfKeepsADescriptionAndCanBeRetried)
{
    Device d;
    d.sink.throwInRegisters = true;
    EXPECT_THROW(d.model.Build(loopback()), std::runtime_error);
    EXPECT_FALSE(d.model.Built());
    EXPECT_TRUE(d.model.HasDescription());
    EXPECT_EQ(d.source.freed.size(), d.source.allocs.size());
    EXPECT_EQ(d.log.Count("CreateGenApiFeatures"), 0u);
    d.sink.throwInRegisters = false;
    ASSERT_TRUE(d.model.Build(loopback()).IsOK());
    EXPECT_TRUE(d.model.Built());
    d.model.Teardown();
    EXPECT_EQ(d.source.freed.size(), d.source.allocs.size());
}

TEST(DeviceModel, StartRefusesSourcesWithoutPixelsAndEndsEndlessLists)
{
    {
        ZuSoftDeviceGEV self;
        FakeSource empty(nullptr, 0, 48);
        DeviceModel m(self);
        m.AddStream(&empty);
        ZuResult r = m.Build(loopback());
        EXPECT_EQ(r.GetCode(), ZU_INVALID_PARAMETER);
        EXPECT_NE(r.GetDescription().Narrow().find("at least 1"), std::string::npos);
        EXPECT_TRUE(empty.allocs.empty());
    }
    {
        ZuSoftDeviceGEV self;
        FakeSource endless;
        endless.endlessPixelTypes = true;
        DeviceModel m(self);
        m.AddStream(&endless);
        EXPECT_TRUE(m.Build(loopback()).IsOK());
    }
    {
        ZuSoftDeviceGEV self;
        FakeSource none;
        none.bufferCount = 0;
        DeviceModel m(self);
        m.AddStream(&none);
        EXPECT_EQ(m.Build(loopback()).GetCode(), ZU_NOT_ENOUGH_MEMORY);
    }
}

TEST(DeviceModel, SettingsHaveTheirLimits)
{
    ZuSoftDeviceGEV self;
    DeviceModel m(self);
    FakeSource s[5];
    EXPECT_EQ(m.AddStream(nullptr).GetCode(), ZU_INVALID_PARAMETER);
    for (size_t i = 0; i < DeviceModel::kMaxStreams; ++i) EXPECT_TRUE(m.AddStream(&s[i]).IsOK());
    EXPECT_EQ(m.AddStream(&s[4]).GetCode(), ZU_NOT_SUPPORTED);
    EXPECT_TRUE(m.SetUserSetCount(256).IsOK());
    EXPECT_EQ(m.SetUserSetCount(257).GetCode(), ZU_INVALID_PARAMETER);
    CallLog log;
    RecordingSink sink(log);
    EXPECT_TRUE(m.Sinks().Add(&sink).IsOK());
    EXPECT_EQ(m.Sinks().Add(&sink).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(m.Sinks().Add(nullptr).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(m.Sinks().Remove(nullptr).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(m.Sinks().Remove(&sink).IsOK());
    EXPECT_TRUE(m.Sinks().Add(&sink).IsOK());
}

TEST(DeviceModel, TheDescriptionLoadsAndItsFeaturesReachTheSource)
{
    Device d;
    ASSERT_TRUE(d.model.Build(loopback()).IsOK());
    ModelPort port(d.model);
    ZuGenParameterArray features;
    const std::string xml = d.model.Description();
    ZuResult loaded = tarn::LoadDescription(features, xml.data(), xml.size(), &port);
    ASSERT_TRUE(loaded.IsOK()) << loaded.GetDescription().Narrow();

    int64_t v = 0;
    ASSERT_TRUE(features.GetIntegerValue(ZuString("Width"), v).IsOK());
    EXPECT_EQ(v, 64);
    ASSERT_TRUE(features.GetIntegerValue(ZuString("PayloadSize"), v).IsOK());
    EXPECT_EQ(v, 64 * 48);
    ZuString text;
    ASSERT_TRUE(features.GetEnumValue(ZuString("PixelFormat"), text).IsOK());
    EXPECT_EQ(text.Narrow(), "Mono8");
    ASSERT_TRUE(features.SetIntegerValue(ZuString("Width"), 32).IsOK());
    EXPECT_EQ(d.source.width, 32u);
    ASSERT_TRUE(features.GetIntegerValue(ZuString("PayloadSize"), v).IsOK());
    EXPECT_EQ(v, 32 * 48);
    // Beyond the source's largest width: refused before the source hears of it.
    EXPECT_FALSE(features.SetIntegerValue(ZuString("Width"), 65).IsOK());
    EXPECT_EQ(d.log.Count("SetWidth"), 1u);
    // The source's own refusal reaches the controller.
    d.source.refuseSets = true;
    EXPECT_FALSE(features.SetIntegerValue(ZuString("Width"), 16).IsOK());
    d.source.refuseSets = false;
    // Locked while streaming parameters are locked.
    ASSERT_TRUE(features.SetIntegerValue(ZuString("TLParamsLocked"), 1).IsOK());
    EXPECT_FALSE(features.SetIntegerValue(ZuString("Height"), 8).IsOK());
    ASSERT_TRUE(features.SetIntegerValue(ZuString("TLParamsLocked"), 0).IsOK());
    EXPECT_TRUE(features.SetIntegerValue(ZuString("Height"), 8).IsOK());

    d.model.GetIdentity().SetDeviceFirmwareVersion(ZuString("9.9"));
    ASSERT_TRUE(features.GetStringValue(ZuString("DeviceFirmwareVersion"), text).IsOK());
    EXPECT_EQ(text.Narrow(), "9.9");
}

TEST(DeviceModel, IdentityReachesTheServerAndTheDescriptionIsStartsOwn)
{
    Device d;
    ASSERT_TRUE(d.model.Build(loopback()).IsOK());
    FakeLink link;
    d.model.SetLink(&link);
    EXPECT_EQ(link.texts.modelName, "SoftCamera");
    EXPECT_EQ(link.xml, d.model.Description());
    const int served = link.descriptions;
    d.model.GetIdentity().SetModelName(ZuString("RigCam"));
    EXPECT_EQ(link.texts.modelName, "RigCam");
    EXPECT_EQ(d.model.GetIdentity().SetGenICamXMLVersion(3, 1, 4).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(link.descriptions, served);
    EXPECT_EQ(link.xml.find("RigCam"), std::string::npos);
    // Counters and the clock are the server's.
    link.counts[Statistics::SessionsOpened] = 3;
    EXPECT_EQ(d.model.GetStatistics().GetSessionsOpened(), 3u);
    EXPECT_EQ(d.model.Timestamp(), 123456789u);
    d.model.SetLink(nullptr);
    EXPECT_EQ(d.model.GetStatistics().GetSessionsOpened(), 0u);
}

TEST(DeviceModel, AControllersSessionIsToldToTheSinkAndEndsItsStreams)
{
    Device d;
    ASSERT_TRUE(d.model.Build(loopback()).IsOK());
    RecordingSender sender;
    d.model.GetStreams().SetSender(0, &sender);
    d.model.ControlTaken(0x7F000005, 5000, ZuAccessExclusive);
    EXPECT_EQ(d.log.Count("OnApplicationConnect 127.0.0.5:5000 3"), 1u);
    EXPECT_EQ(d.sink.device, &d.self);
    d.model.GetStreams().Changed(0, 0x7F000001, 6000, 8192, 0);
    EXPECT_EQ(d.source.openedTo, "127.0.0.1:6000");
    EXPECT_EQ(d.model.GetStreams().GetChannel(0).Config().packetSize, 8192u);
    // The same destination again opens nothing new.
    d.model.GetStreams().Changed(0, 0x7F000001, 6000, 1500, 0);
    EXPECT_EQ(d.log.Count("OnOpen"), 1u);
    ASSERT_EQ(d.model.WriteMemory(standardAddress("AcquisitionStart"), std::vector<uint8_t>{0, 0, 0, 1}.data(), 4), kStatusSuccess);
    ASSERT_TRUE(sender.WaitFor(5));
    EXPECT_TRUE(d.model.GetStreams().GetChannel(0).Streaming());
    d.model.ControlReleased(true);
    EXPECT_FALSE(d.model.GetStreams().GetChannel(0).Streaming());
    EXPECT_EQ(d.log.Count("OnStreamingStop"), 1u);
    EXPECT_EQ(d.log.Count("OnClose"), 1u);
    EXPECT_EQ(d.log.Count("OnApplicationDisconnect"), 1u);
    EXPECT_EQ(d.model.GetStreams().GetChannel(0).Config().port, 0u);
    // A stream without a sender (the transport gave none) never starts.
    d.model.GetStreams().SetSender(0, nullptr);
    d.model.ControlTaken(0x7F000005, 5000, ZuAccessControl);
    d.model.GetStreams().Changed(0, 0x7F000001, 6000, 1500, 0);
    d.model.WriteMemory(standardAddress("AcquisitionStart"), std::vector<uint8_t>{0, 0, 0, 1}.data(), 4);
    EXPECT_FALSE(d.model.GetStreams().GetChannel(0).Streaming());
}

// The source's OnOpen and OnClose in the order they came.
static std::vector<std::string> openings(CallLog &aLog)
{
    std::vector<std::string> out;
    for (const std::string &c : aLog.Snapshot())
        if (c == "OnOpen" || c == "OnClose") out.push_back(c);
    return out;
}

TEST(DeviceModel, EachOnOpenGetsExactlyOneOnClose)
{
    using Calls = std::vector<std::string>;
    {
        // Never opened: nothing to close at Stop.
        Device d;
        ASSERT_TRUE(d.model.Build(loopback()).IsOK());
        d.model.ControlTaken(0x7F000005, 5000, ZuAccessControl);
        d.model.GetStreams().Changed(0, 0, 6000, 1500, 0);  // the port before the address
        d.model.ControlChannelStopped();
        d.model.Teardown();
        EXPECT_EQ(openings(d.log), Calls{});
    }
    {
        // Opened once both are set; a new destination closes and opens anew;
        // the controller's leaving closes it, and Stop closes nothing more.
        Device d;
        ASSERT_TRUE(d.model.Build(loopback()).IsOK());
        d.model.ControlTaken(0x7F000005, 5000, ZuAccessControl);
        d.model.GetStreams().Changed(0, 0, 6000, 1500, 0);
        d.model.GetStreams().Changed(0, 0x7F000001, 6000, 1500, 0);
        EXPECT_EQ(d.source.openedTo, "127.0.0.1:6000");
        d.model.GetStreams().Changed(0, 0x7F000002, 6000, 1500, 0);
        EXPECT_EQ(d.source.openedTo, "127.0.0.2:6000");
        EXPECT_EQ(openings(d.log), (Calls{"OnOpen", "OnClose", "OnOpen"}));
        d.model.ControlReleased(false);
        d.model.ControlChannelStopped();
        d.model.Teardown();
        EXPECT_EQ(openings(d.log), (Calls{"OnOpen", "OnClose", "OnOpen", "OnClose"}));
    }
    {
        // Streaming when the device stops: one OnClose, after the stream stopped.
        Device d;
        RecordingSender sender;
        d.StreamTo(sender);
        ASSERT_EQ(d.Write("AcquisitionStart", 1), kStatusSuccess);
        ASSERT_TRUE(sender.WaitFor(2));
        d.model.ControlChannelStopped();
        d.model.Teardown();
        EXPECT_EQ(openings(d.log), (Calls{"OnOpen", "OnClose"}));
        EXPECT_LT(d.log.First("OnStreamingStop"), d.log.First("OnClose"));
    }
}

TEST(DeviceModel, BuffersAreQueuedDescribedAsTheSourceAcceptedTheImage)
{
    Device d;
    RecordingSender sender;
    d.StreamTo(sender);
    ASSERT_EQ(d.Write("Width", 40), kStatusSuccess);
    ASSERT_EQ(d.Write("Height", 30), kStatusSuccess);
    ASSERT_EQ(d.Write("AcquisitionStart", 1), kStatusSuccess);
    const bool sent = sender.WaitFor(12);
    // The stream ends before its sender goes.
    d.model.ControlReleased(false);
    ASSERT_TRUE(sent);
    for (const auto &b : sender.blocks) {
        ZuImage *image = b.buffer->GetImage();
        EXPECT_EQ(image->GetWidth(), 40u);
        EXPECT_EQ(image->GetHeight(), 30u);
    }
}

TEST(DeviceModel, MultiPartIsOfferedWhereTheSourceSupportsItAndEachChangeReachesTheSource)
{
    for (bool offered : {false, true}) {
        Device d;
        d.source.multiPart = offered;
        ASSERT_TRUE(d.model.Build(loopback()).IsOK());
        const std::string xml = d.model.Description();
        for (const char *name : {"GevSCCFGMultiPartEnabled", "GevSCCFGLargeLeaderTrailerEnabled", "TestPayloadFormatMode"})
            EXPECT_EQ(xml.find(std::string("Name=\"") + name + "\"") != std::string::npos, offered) << name;
        EXPECT_EQ(d.model.GetStreams().Capabilities(),
                  std::vector<uint32_t>{offered ? gvcp::SCC_MULTI_PART | gvcp::SCC_LARGE_LEADER_TRAILER : 0u});
        if (!offered) {
            d.model.GetStreams().Changed(0, 0x7F000001, 6000, 1500, 0, gvcp::SCC_MULTI_PART);
            EXPECT_EQ(d.log.First("SetMultiPartAllowed 1"), -1);
            continue;
        }
        auto told = [&] {
            std::vector<std::string> out;
            for (const std::string &c : d.log.Snapshot())
                if (c.rfind("Set", 0) == 0 && c.find("Width") == std::string::npos) out.push_back(c);
            return out;
        };
        using Calls = std::vector<std::string>;
        d.model.ControlTaken(0x7F000005, 5000, ZuAccessControl);
        d.model.GetStreams().Changed(0, 0x7F000001, 6000, 1500, 0, gvcp::SCC_MULTI_PART);
        d.model.GetStreams().Changed(0, 0x7F000001, 6001, 1500, 0, gvcp::SCC_MULTI_PART);  // no change of it
        EXPECT_EQ(told(), Calls{"SetMultiPartAllowed 1"});
        // A large leader holds as many parts as the packet size allows: (1500 - 28 - 8 - 12) / 48.
        d.model.GetStreams().Changed(0, 0x7F000001, 6001, 1500, 0, gvcp::SCC_MULTI_PART | gvcp::SCC_LARGE_LEADER_TRAILER);
        d.model.GetStreams().Changed(0, 0x7F000001, 6001, 9000, 0, gvcp::SCC_MULTI_PART | gvcp::SCC_LARGE_LEADER_TRAILER);
        d.model.GetStreams().Changed(0, 0x7F000001, 6001, 9000, 0, gvcp::SCC_MULTI_PART);
        EXPECT_EQ(told(), (Calls{"SetMultiPartAllowed 1", "SetLargeLeaderTrailerEnabled 1 30",
                                 "SetLargeLeaderTrailerEnabled 1 186", "SetLargeLeaderTrailerEnabled 0 10"}));
        // The test payload: an entry of the feature, and what the source accepts.
        const uint32_t mode = standardAddress("TestPayloadFormatMode", 0);
        const uint8_t multi[4] = {0, 0, 0, uint8_t(ZuPayloadTypeMultiPart)}, image[4] = {0, 0, 0, 1}, off[4] = {};
        EXPECT_EQ(d.model.WriteMemory(mode, image, 4), kStatusInvalidParameter);
        EXPECT_EQ(d.model.WriteMemory(mode, multi, 4), kStatusSuccess);
        uint8_t now[4] = {};
        ASSERT_EQ(d.model.ReadMemory(mode, 4, now), kStatusSuccess);
        EXPECT_EQ(now[3], uint8_t(ZuPayloadTypeMultiPart));
        d.source.refuseSets = true;
        EXPECT_EQ(d.model.WriteMemory(mode, off, 4), kStatusInvalidParameter);
        ASSERT_EQ(d.model.ReadMemory(mode, 4, now), kStatusSuccess);
        EXPECT_EQ(now[3], uint8_t(ZuPayloadTypeMultiPart));
        // The controller's leaving takes its permission with it.
        d.model.ControlReleased(false);
        EXPECT_EQ(told().back(), "SetMultiPartAllowed 0");
        d.model.Teardown();
        EXPECT_EQ(d.log.Count("SetMultiPartAllowed 0"), 1u);
    }
}

TEST(DeviceModel, UserSetsSaveAndRestoreTheStreamableValues)
{
    Device d;
    struct Notify : IZuUserSetNotify {
        std::vector<std::pair<int, uint32_t>> seen;
        ZuResult UserSetStateNotify(ZuUserSetState s, uint32_t i) override
        {
            seen.emplace_back(int(s), i);
            return ZuResult(ZU_OK);
        }
    } notify;
    d.model.SetUserSetCount(2);
    d.model.UserSets().SetNotify(&notify);
    ASSERT_TRUE(d.model.Build(loopback()).IsOK());
    ASSERT_EQ(d.Write("Width", 40), kStatusSuccess);
    ASSERT_EQ(d.Write("UserSetSelector", 2), kStatusSuccess);
    ASSERT_EQ(d.Write("UserSetSave", 1), kStatusSuccess);
    ASSERT_EQ(d.Write("Width", 20), kStatusSuccess);
    ASSERT_EQ(d.Write("UserSetLoad", 1), kStatusSuccess);
    EXPECT_EQ(d.source.width, 40u);
    ASSERT_EQ(d.Write("UserSetSelector", 0), kStatusSuccess);
    EXPECT_EQ(d.Write("UserSetSave", 1), kStatusAccessDenied);
    ASSERT_EQ(d.Write("UserSetLoad", 1), kStatusSuccess);
    EXPECT_EQ(d.source.width, 64u);
    EXPECT_EQ(d.Write("UserSetSelector", 3), kStatusInvalidParameter);
    const std::vector<std::pair<int, uint32_t>> want = {
        {ZuUserSetStateSaveStart, 0}, {ZuUserSetStateSaveCompleted, 0}, {ZuUserSetStateSaveStart, 2},
        {ZuUserSetStateSaveCompleted, 2}, {ZuUserSetStateLoadStart, 2}, {ZuUserSetStateLoadCompleted, 2},
        {ZuUserSetStateLoadStart, 0}, {ZuUserSetStateLoadCompleted, 0}};
    EXPECT_EQ(notify.seen, want);
}

TEST(DeviceModel, NetworkResetsFullResetsAndActionsTellTheApplication)
{
    Device d;
    struct Handler : ZuVirtualDeviceLib::IActionHandler {
        std::vector<std::pair<uint32_t, uint64_t>> runs;
        void OnAction(uint32_t aSignal, uint64_t aTime) override { runs.emplace_back(aSignal, aTime); }
    } handler;
    d.model.Sinks().SetActionHandler(&handler);
    ASSERT_TRUE(d.model.Build(loopback()).IsOK());
    d.model.ControlTaken(0x7F000005, 5000, ZuAccessControl);
    d.model.NetworkReset(0x7F00000A, 0xFF000000, 0);
    EXPECT_EQ(d.model.Net().ip, 0x7F00000Au);
    EXPECT_EQ(d.log.Count("OnDeviceResetNetwork"), 1u);
    EXPECT_FALSE(d.model.Controlled());
    d.model.ControlTaken(0x7F000005, 5000, ZuAccessControl);
    const uint8_t one[4] = {0, 0, 0, 1};
    ASSERT_EQ(d.model.WriteMemory(standardAddress("DeviceReset"), one, 4), kStatusSuccess);
    EXPECT_EQ(d.log.Count("OnDeviceResetFull"), 1u);
    EXPECT_FALSE(d.model.Controlled());
    d.model.Sinks().Action(0, 77);
    ASSERT_EQ(handler.runs.size(), 1u);
    EXPECT_EQ(handler.runs[0].second, 77u);
}

TEST(DeviceModel, ASinkThatThrowsOnTheControlThreadIsCountedAndTheDeviceGoesOn)
{
    struct Throwing : IZuVirtualDeviceGEVEventSink {
        int calls = 0;
        void OnApplicationConnect(IZuVirtualDeviceGEV *, const ZuString &, uint16_t, ZuAccessType) override
        {
            ++calls;
            throw std::runtime_error("sink");
        }
    } throwing;   // outlives the device, which notifies it to the end
    Device d;
    d.model.Sinks().Add(&throwing);
    ASSERT_TRUE(d.model.Build(loopback()).IsOK());
    d.model.ControlTaken(0x7F000005, 5000, ZuAccessControl);
    EXPECT_EQ(throwing.calls, 1);
    // The other sink was still told.
    EXPECT_EQ(d.log.Count("OnApplicationConnect 127.0.0.5:5000 2"), 1u);
    EXPECT_TRUE(d.model.Controlled());
}

TEST(DeviceModel, AFrameRateAppliesWhileEnabledAndKeepsToItsLimits)
{
    Device d;
    ASSERT_TRUE(d.model.Build(loopback()).IsOK());
    EXPECT_EQ(d.model.GetStreams().FramePeriod().count(), 0);
    auto writeRate = [&](double rate) {
        uint64_t bits = 0;
        std::memcpy(&bits, &rate, sizeof bits);
        uint8_t bytes[8];
        for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(bits >> (56 - 8 * i));
        return d.model.WriteMemory(standardAddress("AcquisitionFrameRate"), bytes, 8);
    };
    const uint8_t on[4] = {0, 0, 0, 1};
    ASSERT_EQ(writeRate(250.0), kStatusSuccess);
    EXPECT_EQ(d.model.GetStreams().FramePeriod().count(), 0);   // not yet enabled
    ASSERT_EQ(d.model.WriteMemory(standardAddress("AcquisitionFrameRateEnable"), on, 4), kStatusSuccess);
    EXPECT_EQ(d.model.GetStreams().FramePeriod().count(), 4000000);
    // Outside the feature's limits, or not a number: refused, and the rate stays.
    for (double bad : {0.0, -5.0, 0.09, std::nan(""), 100000.5, 1e9}) {
        EXPECT_EQ(writeRate(bad), kStatusInvalidParameter) << bad;
        EXPECT_EQ(d.model.GetStreams().FramePeriod().count(), 4000000) << bad;
    }
    ASSERT_EQ(writeRate(100000.0), kStatusSuccess);
    EXPECT_EQ(d.model.GetStreams().FramePeriod().count(), 10000);
    // One half at a time: the value the register would hold is what counts.
    const uint8_t high[4] = {0x7F, 0xF8, 0, 0};   // the high half of a NaN
    EXPECT_EQ(d.model.WriteMemory(standardAddress("AcquisitionFrameRate"), high, 4), kStatusInvalidParameter);
    EXPECT_EQ(d.model.GetStreams().FramePeriod().count(), 10000);
    // The description offers it as a float over its 8-byte register.
    const std::string xml = d.model.Description();
    EXPECT_NE(xml.find("<Float Name=\"AcquisitionFrameRate\""), std::string::npos);
    EXPECT_NE(xml.find("<FloatReg Name=\"AcquisitionFrameRateReg\""), std::string::npos);
}

// A WRITEMEM over several of the device's registers is taken whole or not at
// all, whether the device's own rules refuse a part of it (the source then
// hears of none) or the source does.
TEST(DeviceModel, AWriteOfSeveralRegistersTheDeviceRefusesChangesNothing)
{
    struct Counting : DefaultSource {
        using DefaultSource::DefaultSource;
        int sets = 0;
        ZuResult SetWidth(uint32_t v) override { ++sets; return DefaultSource::SetWidth(v); }
        ZuResult SetHeight(uint32_t v) override { ++sets; return DefaultSource::SetHeight(v); }
    };
    struct Case {
        const char *what;
        bool locked;
        std::vector<uint32_t> words;   // from Width: Width, Height, OffsetX
        uint16_t status;
        bool sourceAsked;
    } cases[] = {
        {"a height below its minimum", false, {40, 0}, kStatusInvalidParameter, false},
        {"a width off the limits before a good height", false, {65, 30}, kStatusInvalidParameter, false},
        {"locked while streaming parameters are", true, {40, 30}, kStatusAccessDenied, false},
        {"an offset the source refuses once the size is set", false, {60, 40, 8}, kStatusInvalidParameter, true},
        {"every part taken", false, {40, 30, 8}, kStatusSuccess, true},
    };
    for (const Case &c : cases) {
        ZuSoftDeviceGEV self;
        Counting source(64, 48, ZuPixelMono8, 4);
        DeviceModel model(self);
        model.AddStream(&source);
        ASSERT_TRUE(model.Build(loopback()).IsOK());
        const uint8_t one[4] = {0, 0, 0, 1};
        if (c.locked) {
            ASSERT_EQ(model.WriteMemory(standardAddress("TLParamsLocked"), one, 4), kStatusSuccess);
        }
        std::vector<uint8_t> bytes;
        for (uint32_t w : c.words)
            for (int shift : {24, 16, 8, 0}) bytes.push_back(uint8_t(w >> shift));
        EXPECT_EQ(model.WriteMemory(standardAddress("Width"), bytes.data(), uint32_t(bytes.size())), c.status) << c.what;
        const std::vector<uint32_t> now = {source.GetWidth(), source.GetHeight(), source.GetOffsetX()};
        const std::vector<uint32_t> want = c.status == kStatusSuccess ? c.words : std::vector<uint32_t>{64, 48, 0};
        EXPECT_EQ(std::vector<uint32_t>(now.begin(), now.begin() + long(want.size())), want) << c.what;
        EXPECT_EQ(source.sets > 0, c.sourceAsked) << c.what;
        model.Teardown();
    }
}
