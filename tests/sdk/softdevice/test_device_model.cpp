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
        model.addStream(&source);
        model.sinks().add(&sink);
    }
    // A controller's write of one of the device's own features.
    uint16_t write(const char *aName, uint32_t aValue)
    {
        const uint8_t bytes[4] = {uint8_t(aValue >> 24), uint8_t(aValue >> 16), uint8_t(aValue >> 8), uint8_t(aValue)};
        return model.writeMemory(standardAddress(aName), bytes, 4);
    }
    // Started, with a controller whose stream goes to the sender.
    void streamTo(RecordingSender &aSender)
    {
        ASSERT_TRUE(model.build(loopback()).IsOK());
        model.streams().setSender(0, &aSender);
        model.controlTaken(0x7F000005, 5000, ZuAccessControl);
        model.streams().changed(0, 0x7F000001, 6000, 1500, 0);
    }
};

} // namespace

TEST(DeviceModel, StartAsksSourcesThenBuffersThenRegistersBeforeFeatures)
{
    Device d;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    int pixel = d.log.first("GetSupportedPixelType"), alloc = d.log.first("AllocBuffer"),
        sinkRegs = d.log.first("OnCreateCustomRegisters"), srcRegs = d.log.first("CreateRegisters"),
        sinkFeatures = d.log.first("OnCreateCustomGenApiFeatures"), srcFeatures = d.log.first("CreateGenApiFeatures");
    ASSERT_GE(pixel, 0);
    EXPECT_LT(pixel, alloc);
    EXPECT_LT(alloc, sinkRegs);
    EXPECT_LT(sinkRegs, srcRegs);
    EXPECT_LT(srcRegs, sinkFeatures);
    EXPECT_LT(sinkFeatures, srcFeatures);
    EXPECT_EQ(d.log.count("null factory"), 0u);
    EXPECT_EQ(d.model.streams().channel(0).bufferCount(), d.source.bufferCount);
    EXPECT_EQ(d.model.build(loopback()).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(d.model.addStream(&d.source).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(d.model.setUserSetCount(1).GetCode(), ZU_STATE_ERROR);
}

TEST(DeviceModel, AFailedStartUndoesItselfKeepsADescriptionAndCanBeRetried)
{
    Device d;
    d.sink.throwInRegisters = true;
    EXPECT_THROW(d.model.build(loopback()), std::runtime_error);
    EXPECT_FALSE(d.model.built());
    EXPECT_TRUE(d.model.hasDescription());
    EXPECT_EQ(d.source.freed.size(), d.source.allocs.size());
    EXPECT_EQ(d.log.count("CreateGenApiFeatures"), 0u);
    d.sink.throwInRegisters = false;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    EXPECT_TRUE(d.model.built());
    d.model.teardown();
    EXPECT_EQ(d.source.freed.size(), d.source.allocs.size());
}

TEST(DeviceModel, StartRefusesSourcesWithoutPixelsAndEndsEndlessLists)
{
    {
        ZuSoftDeviceGEV self;
        FakeSource empty(nullptr, 0, 48);
        DeviceModel m(self);
        m.addStream(&empty);
        ZuResult r = m.build(loopback());
        EXPECT_EQ(r.GetCode(), ZU_INVALID_PARAMETER);
        EXPECT_NE(r.GetDescription().Narrow().find("at least 1"), std::string::npos);
        EXPECT_TRUE(empty.allocs.empty());
    }
    {
        ZuSoftDeviceGEV self;
        FakeSource endless;
        endless.endlessPixelTypes = true;
        DeviceModel m(self);
        m.addStream(&endless);
        EXPECT_TRUE(m.build(loopback()).IsOK());
    }
    {
        ZuSoftDeviceGEV self;
        FakeSource none;
        none.bufferCount = 0;
        DeviceModel m(self);
        m.addStream(&none);
        EXPECT_EQ(m.build(loopback()).GetCode(), ZU_NOT_ENOUGH_MEMORY);
    }
}

TEST(DeviceModel, SettingsHaveTheirLimits)
{
    ZuSoftDeviceGEV self;
    DeviceModel m(self);
    FakeSource s[5];
    EXPECT_EQ(m.addStream(nullptr).GetCode(), ZU_INVALID_PARAMETER);
    for (size_t i = 0; i < DeviceModel::kMaxStreams; ++i) EXPECT_TRUE(m.addStream(&s[i]).IsOK());
    EXPECT_EQ(m.addStream(&s[4]).GetCode(), ZU_NOT_SUPPORTED);
    EXPECT_TRUE(m.setUserSetCount(256).IsOK());
    EXPECT_EQ(m.setUserSetCount(257).GetCode(), ZU_INVALID_PARAMETER);
    CallLog log;
    RecordingSink sink(log);
    EXPECT_TRUE(m.sinks().add(&sink).IsOK());
    EXPECT_EQ(m.sinks().add(&sink).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(m.sinks().add(nullptr).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(m.sinks().remove(nullptr).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(m.sinks().remove(&sink).IsOK());
    EXPECT_TRUE(m.sinks().add(&sink).IsOK());
}

TEST(DeviceModel, TheDescriptionLoadsAndItsFeaturesReachTheSource)
{
    Device d;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    ModelPort port(d.model);
    ZuGenParameterArray features;
    const std::string xml = d.model.description();
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
    EXPECT_EQ(d.log.count("SetWidth"), 1u);
    // The source's own refusal reaches the controller.
    d.source.refuseSets = true;
    EXPECT_FALSE(features.SetIntegerValue(ZuString("Width"), 16).IsOK());
    d.source.refuseSets = false;
    // Locked while streaming parameters are locked.
    ASSERT_TRUE(features.SetIntegerValue(ZuString("TLParamsLocked"), 1).IsOK());
    EXPECT_FALSE(features.SetIntegerValue(ZuString("Height"), 8).IsOK());
    ASSERT_TRUE(features.SetIntegerValue(ZuString("TLParamsLocked"), 0).IsOK());
    EXPECT_TRUE(features.SetIntegerValue(ZuString("Height"), 8).IsOK());

    d.model.identity().SetDeviceFirmwareVersion(ZuString("9.9"));
    ASSERT_TRUE(features.GetStringValue(ZuString("DeviceFirmwareVersion"), text).IsOK());
    EXPECT_EQ(text.Narrow(), "9.9");
}

TEST(DeviceModel, IdentityReachesTheServerAndTheDescriptionIsStartsOwn)
{
    Device d;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    FakeLink link;
    d.model.setLink(&link);
    EXPECT_EQ(link.texts.modelName, "SoftCamera");
    EXPECT_EQ(link.xml, d.model.description());
    const int served = link.descriptions;
    d.model.identity().SetModelName(ZuString("RigCam"));
    EXPECT_EQ(link.texts.modelName, "RigCam");
    EXPECT_EQ(d.model.identity().SetGenICamXMLVersion(3, 1, 4).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(link.descriptions, served);
    EXPECT_EQ(link.xml.find("RigCam"), std::string::npos);
    // Counters and the clock are the server's.
    link.counts[Statistics::SessionsOpened] = 3;
    EXPECT_EQ(d.model.statistics().GetSessionsOpened(), 3u);
    EXPECT_EQ(d.model.timestamp(), 123456789u);
    d.model.setLink(nullptr);
    EXPECT_EQ(d.model.statistics().GetSessionsOpened(), 0u);
}

TEST(DeviceModel, AControllersSessionIsToldToTheSinkAndEndsItsStreams)
{
    Device d;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    RecordingSender sender;
    d.model.streams().setSender(0, &sender);
    d.model.controlTaken(0x7F000005, 5000, ZuAccessExclusive);
    EXPECT_EQ(d.log.count("OnApplicationConnect 127.0.0.5:5000 3"), 1u);
    EXPECT_EQ(d.sink.device, &d.self);
    d.model.streams().changed(0, 0x7F000001, 6000, 8192, 0);
    EXPECT_EQ(d.source.openedTo, "127.0.0.1:6000");
    EXPECT_EQ(d.model.streams().channel(0).config().packetSize, 8192u);
    // The same destination again opens nothing new.
    d.model.streams().changed(0, 0x7F000001, 6000, 1500, 0);
    EXPECT_EQ(d.log.count("OnOpen"), 1u);
    ASSERT_EQ(d.model.writeMemory(standardAddress("AcquisitionStart"), std::vector<uint8_t>{0, 0, 0, 1}.data(), 4), kStatusSuccess);
    ASSERT_TRUE(sender.waitFor(5));
    EXPECT_TRUE(d.model.streams().channel(0).streaming());
    d.model.controlReleased(true);
    EXPECT_FALSE(d.model.streams().channel(0).streaming());
    EXPECT_EQ(d.log.count("OnStreamingStop"), 1u);
    EXPECT_EQ(d.log.count("OnClose"), 1u);
    EXPECT_EQ(d.log.count("OnApplicationDisconnect"), 1u);
    EXPECT_EQ(d.model.streams().channel(0).config().port, 0u);
    // A stream without a sender (the transport gave none) never starts.
    d.model.streams().setSender(0, nullptr);
    d.model.controlTaken(0x7F000005, 5000, ZuAccessControl);
    d.model.streams().changed(0, 0x7F000001, 6000, 1500, 0);
    d.model.writeMemory(standardAddress("AcquisitionStart"), std::vector<uint8_t>{0, 0, 0, 1}.data(), 4);
    EXPECT_FALSE(d.model.streams().channel(0).streaming());
}

// The source's OnOpen and OnClose in the order they came.
static std::vector<std::string> openings(CallLog &aLog)
{
    std::vector<std::string> out;
    for (const std::string &c : aLog.snapshot())
        if (c == "OnOpen" || c == "OnClose") out.push_back(c);
    return out;
}

TEST(DeviceModel, EachOnOpenGetsExactlyOneOnClose)
{
    using Calls = std::vector<std::string>;
    {
        // Never opened: nothing to close at Stop.
        Device d;
        ASSERT_TRUE(d.model.build(loopback()).IsOK());
        d.model.controlTaken(0x7F000005, 5000, ZuAccessControl);
        d.model.streams().changed(0, 0, 6000, 1500, 0);  // the port before the address
        d.model.controlChannelStopped();
        d.model.teardown();
        EXPECT_EQ(openings(d.log), Calls{});
    }
    {
        // Opened once both are set; a new destination closes and opens anew;
        // the controller's leaving closes it, and Stop closes nothing more.
        Device d;
        ASSERT_TRUE(d.model.build(loopback()).IsOK());
        d.model.controlTaken(0x7F000005, 5000, ZuAccessControl);
        d.model.streams().changed(0, 0, 6000, 1500, 0);
        d.model.streams().changed(0, 0x7F000001, 6000, 1500, 0);
        EXPECT_EQ(d.source.openedTo, "127.0.0.1:6000");
        d.model.streams().changed(0, 0x7F000002, 6000, 1500, 0);
        EXPECT_EQ(d.source.openedTo, "127.0.0.2:6000");
        EXPECT_EQ(openings(d.log), (Calls{"OnOpen", "OnClose", "OnOpen"}));
        d.model.controlReleased(false);
        d.model.controlChannelStopped();
        d.model.teardown();
        EXPECT_EQ(openings(d.log), (Calls{"OnOpen", "OnClose", "OnOpen", "OnClose"}));
    }
    {
        // Streaming when the device stops: one OnClose, after the stream stopped.
        Device d;
        RecordingSender sender;
        d.streamTo(sender);
        ASSERT_EQ(d.write("AcquisitionStart", 1), kStatusSuccess);
        ASSERT_TRUE(sender.waitFor(2));
        d.model.controlChannelStopped();
        d.model.teardown();
        EXPECT_EQ(openings(d.log), (Calls{"OnOpen", "OnClose"}));
        EXPECT_LT(d.log.first("OnStreamingStop"), d.log.first("OnClose"));
    }
}

TEST(DeviceModel, BuffersAreQueuedDescribedAsTheSourceAcceptedTheImage)
{
    Device d;
    RecordingSender sender;
    d.streamTo(sender);
    ASSERT_EQ(d.write("Width", 40), kStatusSuccess);
    ASSERT_EQ(d.write("Height", 30), kStatusSuccess);
    ASSERT_EQ(d.write("AcquisitionStart", 1), kStatusSuccess);
    const bool sent = sender.waitFor(12);
    // The stream ends before its sender goes.
    d.model.controlReleased(false);
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
        ASSERT_TRUE(d.model.build(loopback()).IsOK());
        const std::string xml = d.model.description();
        for (const char *name : {"GevSCCFGMultiPartEnabled", "GevSCCFGLargeLeaderTrailerEnabled", "TestPayloadFormatMode"})
            EXPECT_EQ(xml.find(std::string("Name=\"") + name + "\"") != std::string::npos, offered) << name;
        EXPECT_EQ(d.model.streams().capabilities(),
                  std::vector<uint32_t>{offered ? gvcp::SCC_MULTI_PART | gvcp::SCC_LARGE_LEADER_TRAILER : 0u});
        if (!offered) {
            d.model.streams().changed(0, 0x7F000001, 6000, 1500, 0, gvcp::SCC_MULTI_PART);
            EXPECT_EQ(d.log.first("SetMultiPartAllowed 1"), -1);
            continue;
        }
        auto told = [&] {
            std::vector<std::string> out;
            for (const std::string &c : d.log.snapshot())
                if (c.rfind("Set", 0) == 0 && c.find("Width") == std::string::npos) out.push_back(c);
            return out;
        };
        using Calls = std::vector<std::string>;
        d.model.controlTaken(0x7F000005, 5000, ZuAccessControl);
        d.model.streams().changed(0, 0x7F000001, 6000, 1500, 0, gvcp::SCC_MULTI_PART);
        d.model.streams().changed(0, 0x7F000001, 6001, 1500, 0, gvcp::SCC_MULTI_PART);  // no change of it
        EXPECT_EQ(told(), Calls{"SetMultiPartAllowed 1"});
        // A large leader holds as many parts as the packet size allows: (1500 - 28 - 8 - 12) / 48.
        d.model.streams().changed(0, 0x7F000001, 6001, 1500, 0, gvcp::SCC_MULTI_PART | gvcp::SCC_LARGE_LEADER_TRAILER);
        d.model.streams().changed(0, 0x7F000001, 6001, 9000, 0, gvcp::SCC_MULTI_PART | gvcp::SCC_LARGE_LEADER_TRAILER);
        d.model.streams().changed(0, 0x7F000001, 6001, 9000, 0, gvcp::SCC_MULTI_PART);
        EXPECT_EQ(told(), (Calls{"SetMultiPartAllowed 1", "SetLargeLeaderTrailerEnabled 1 30",
                                 "SetLargeLeaderTrailerEnabled 1 186", "SetLargeLeaderTrailerEnabled 0 10"}));
        // The test payload: an entry of the feature, and what the source accepts.
        const uint32_t mode = standardAddress("TestPayloadFormatMode", 0);
        const uint8_t multi[4] = {0, 0, 0, uint8_t(ZuPayloadTypeMultiPart)}, image[4] = {0, 0, 0, 1}, off[4] = {};
        EXPECT_EQ(d.model.writeMemory(mode, image, 4), kStatusInvalidParameter);
        EXPECT_EQ(d.model.writeMemory(mode, multi, 4), kStatusSuccess);
        uint8_t now[4] = {};
        ASSERT_EQ(d.model.readMemory(mode, 4, now), kStatusSuccess);
        EXPECT_EQ(now[3], uint8_t(ZuPayloadTypeMultiPart));
        d.source.refuseSets = true;
        EXPECT_EQ(d.model.writeMemory(mode, off, 4), kStatusInvalidParameter);
        ASSERT_EQ(d.model.readMemory(mode, 4, now), kStatusSuccess);
        EXPECT_EQ(now[3], uint8_t(ZuPayloadTypeMultiPart));
        // The controller's leaving takes its permission with it.
        d.model.controlReleased(false);
        EXPECT_EQ(told().back(), "SetMultiPartAllowed 0");
        d.model.teardown();
        EXPECT_EQ(d.log.count("SetMultiPartAllowed 0"), 1u);
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
    d.model.setUserSetCount(2);
    d.model.userSets().setNotify(&notify);
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    ASSERT_EQ(d.write("Width", 40), kStatusSuccess);
    ASSERT_EQ(d.write("UserSetSelector", 2), kStatusSuccess);
    ASSERT_EQ(d.write("UserSetSave", 1), kStatusSuccess);
    ASSERT_EQ(d.write("Width", 20), kStatusSuccess);
    ASSERT_EQ(d.write("UserSetLoad", 1), kStatusSuccess);
    EXPECT_EQ(d.source.width, 40u);
    ASSERT_EQ(d.write("UserSetSelector", 0), kStatusSuccess);
    EXPECT_EQ(d.write("UserSetSave", 1), kStatusAccessDenied);
    ASSERT_EQ(d.write("UserSetLoad", 1), kStatusSuccess);
    EXPECT_EQ(d.source.width, 64u);
    EXPECT_EQ(d.write("UserSetSelector", 3), kStatusInvalidParameter);
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
    d.model.sinks().setActionHandler(&handler);
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    d.model.controlTaken(0x7F000005, 5000, ZuAccessControl);
    d.model.networkReset(0x7F00000A, 0xFF000000, 0);
    EXPECT_EQ(d.model.net().ip, 0x7F00000Au);
    EXPECT_EQ(d.log.count("OnDeviceResetNetwork"), 1u);
    EXPECT_FALSE(d.model.controlled());
    d.model.controlTaken(0x7F000005, 5000, ZuAccessControl);
    const uint8_t one[4] = {0, 0, 0, 1};
    ASSERT_EQ(d.model.writeMemory(standardAddress("DeviceReset"), one, 4), kStatusSuccess);
    EXPECT_EQ(d.log.count("OnDeviceResetFull"), 1u);
    EXPECT_FALSE(d.model.controlled());
    d.model.sinks().action(0, 77);
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
    d.model.sinks().add(&throwing);
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    d.model.controlTaken(0x7F000005, 5000, ZuAccessControl);
    EXPECT_EQ(throwing.calls, 1);
    // The other sink was still told.
    EXPECT_EQ(d.log.count("OnApplicationConnect 127.0.0.5:5000 2"), 1u);
    EXPECT_TRUE(d.model.controlled());
}

TEST(DeviceModel, AFrameRateAppliesWhileEnabledAndKeepsToItsLimits)
{
    Device d;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    EXPECT_EQ(d.model.streams().framePeriod().count(), 0);
    auto writeRate = [&](double rate) {
        uint64_t bits = 0;
        std::memcpy(&bits, &rate, sizeof bits);
        uint8_t bytes[8];
        for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(bits >> (56 - 8 * i));
        return d.model.writeMemory(standardAddress("AcquisitionFrameRate"), bytes, 8);
    };
    const uint8_t on[4] = {0, 0, 0, 1};
    ASSERT_EQ(writeRate(250.0), kStatusSuccess);
    EXPECT_EQ(d.model.streams().framePeriod().count(), 0);   // not yet enabled
    ASSERT_EQ(d.model.writeMemory(standardAddress("AcquisitionFrameRateEnable"), on, 4), kStatusSuccess);
    EXPECT_EQ(d.model.streams().framePeriod().count(), 4000000);
    // Outside the feature's limits, or not a number: refused, and the rate stays.
    for (double bad : {0.0, -5.0, 0.09, std::nan(""), 100000.5, 1e9}) {
        EXPECT_EQ(writeRate(bad), kStatusInvalidParameter) << bad;
        EXPECT_EQ(d.model.streams().framePeriod().count(), 4000000) << bad;
    }
    ASSERT_EQ(writeRate(100000.0), kStatusSuccess);
    EXPECT_EQ(d.model.streams().framePeriod().count(), 10000);
    // One half at a time: the value the register would hold is what counts.
    const uint8_t high[4] = {0x7F, 0xF8, 0, 0};   // the high half of a NaN
    EXPECT_EQ(d.model.writeMemory(standardAddress("AcquisitionFrameRate"), high, 4), kStatusInvalidParameter);
    EXPECT_EQ(d.model.streams().framePeriod().count(), 10000);
    // The description offers it as a float over its 8-byte register.
    const std::string xml = d.model.description();
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
        model.addStream(&source);
        ASSERT_TRUE(model.build(loopback()).IsOK());
        const uint8_t one[4] = {0, 0, 0, 1};
        if (c.locked) {
            ASSERT_EQ(model.writeMemory(standardAddress("TLParamsLocked"), one, 4), kStatusSuccess);
        }
        std::vector<uint8_t> bytes;
        for (uint32_t w : c.words)
            for (int shift : {24, 16, 8, 0}) bytes.push_back(uint8_t(w >> shift));
        EXPECT_EQ(model.writeMemory(standardAddress("Width"), bytes.data(), uint32_t(bytes.size())), c.status) << c.what;
        const std::vector<uint32_t> now = {source.GetWidth(), source.GetHeight(), source.GetOffsetX()};
        const std::vector<uint32_t> want = c.status == kStatusSuccess ? c.words : std::vector<uint32_t>{64, 48, 0};
        EXPECT_EQ(std::vector<uint32_t>(now.begin(), now.begin() + long(want.size())), want) << c.what;
        EXPECT_EQ(source.sets > 0, c.sourceAsked) << c.what;
        model.teardown();
    }
}
