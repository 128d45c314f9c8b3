#include "fakes.h"
#include "softdevice/model/device_model.h"
#include "ZuGenParameterArray.h"
#include "tarn/genicam/Engine.h"
#include "ZuSoftDeviceGEV.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tarn;
using namespace tarn::softdevice;
using tarn::test::CallLog;
using tarn::test::FakeSource;
using tarn::test::RecordingSender;
using tarn::test::RecordingSink;

namespace {

const Requester kA{0x7F000005, 5000};
const Requester kB{0x7F000006, 5001};

NetConfig loopback()
{
    NetConfig n;
    n.mac = {0x02, 0x00, 0x7F, 0, 0, 9};
    n.ip = 0x7F000009;
    n.mask = 0xFF000000;
    return n;
}

// The engine reads the device as a controller holding control would.
struct ModelPort : ZU_GENAPI_NS::IPort {
    ModelPort(DeviceModel &aModel, Requester aWho) : model(aModel), who(aWho) {}
    ZuResult Read(uint64_t aAddress, void *aData, int64_t aLength) override
    {
        const uint32_t start = uint32_t(aAddress) & ~3u;
        const uint32_t end = (uint32_t(aAddress + uint64_t(aLength)) + 3u) & ~3u;
        std::vector<uint8_t> out;
        if (model.readMemory(who, start, end - start, out) != kStatusSuccess) return ZuResult(ZU_GENERIC_ERROR);
        std::memcpy(aData, out.data() + (aAddress - start), size_t(aLength));
        return ZuResult(ZU_OK);
    }
    ZuResult Write(uint64_t aAddress, const void *aData, int64_t aLength) override
    {
        if (aAddress % 4 || aLength % 4) return ZuResult(ZU_INVALID_PARAMETER);
        uint16_t s = model.writeMemory(who, uint32_t(aAddress), static_cast<const uint8_t *>(aData), uint32_t(aLength));
        return ZuResult(s == kStatusSuccess ? ZU_OK : ZU_GENERIC_ERROR);
    }
    DeviceModel &model;
    Requester who;
};

struct Device {
    ZuSoftDeviceGEV self;
    CallLog log;
    FakeSource source{&log, 64, 48};
    RecordingSink sink{log};
    DeviceModel model{self};
    Device()
    {
        model.addStream(&source);
        model.registerSink(&sink);
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
    EXPECT_EQ(d.model.channel(0).bufferCount(), d.source.bufferCount);
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
    EXPECT_TRUE(m.registerSink(&sink).IsOK());
    EXPECT_EQ(m.registerSink(&sink).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(m.registerSink(nullptr).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(m.unregisterSink(nullptr).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(m.unregisterSink(&sink).IsOK());
    EXPECT_TRUE(m.registerSink(&sink).IsOK());
}

TEST(DeviceModel, TheDescriptionLoadsAndItsFeaturesReachTheSource)
{
    Device d;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::ControlChannelPrivilege, 2), kStatusSuccess);
    ModelPort port(d.model, kA);
    ZuGenParameterArray features;
    const std::string xml = d.model.description();
    ZuResult loaded = features.Load(xml.data(), xml.size(), &port);
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

    d.model.identity().SetModelName(ZuString("RigCam"));
    ASSERT_TRUE(features.GetStringValue(ZuString("DeviceModelName"), text).IsOK());
    EXPECT_EQ(text.Narrow(), "RigCam");
    EXPECT_EQ(d.model.discoveryIdentity().modelName, "RigCam");
    ASSERT_TRUE(features.GetIntegerValue(ZuString("GevTimestampTickFrequency"), v).IsOK());
    EXPECT_EQ(v, 1000000000);
}

TEST(DeviceModel, TheUrlNamesTheDescriptionWhoseHeaderFreezesOnceRead)
{
    Device d;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    EXPECT_TRUE(d.model.identity().SetGenICamXMLVersion(3, 1, 4).IsOK());
    const std::string xml = d.model.description();
    EXPECT_NE(xml.find("MajorVersion=\"3\" MinorVersion=\"1\" SubMinorVersion=\"4\""), std::string::npos);
    std::vector<uint8_t> url;
    ASSERT_EQ(d.model.readMemory(kA, gvcp::reg::FirstURL, 64, url), kStatusSuccess);
    const std::string text(reinterpret_cast<const char *>(url.data()));
    char want[96];
    std::snprintf(want, sizeof want, "Local:tarn_softcamera.xml;10000000;%zX", xml.size());
    EXPECT_EQ(text, want);
    std::vector<uint8_t> head;
    ASSERT_EQ(d.model.readMemory(kA, addr::Description, 8, head), kStatusSuccess);
    EXPECT_EQ(std::string(head.begin(), head.end()), xml.substr(0, 8));
    EXPECT_EQ(d.model.identity().SetGenICamXMLVersion(1, 0, 0).GetCode(), ZU_STATE_ERROR);
}

TEST(DeviceModel, OneControllerHoldsControlAndLosesItWithItsHeartbeat)
{
    Device d;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    uint32_t v = 0;
    EXPECT_EQ(d.model.writeRegister(kA, gvcp::reg::HeartbeatTimeout, 1000), kStatusAccessDenied);
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::ControlChannelPrivilege, 2), kStatusSuccess);
    EXPECT_EQ(d.log.count("OnApplicationConnect 127.0.0.5:5000 2"), 1u);
    EXPECT_EQ(d.model.writeRegister(kB, gvcp::reg::ControlChannelPrivilege, 2), kStatusAccessDenied);
    EXPECT_EQ(d.model.writeRegister(kB, gvcp::reg::HeartbeatTimeout, 1000), kStatusAccessDenied);
    EXPECT_EQ(d.model.readRegister(kB, gvcp::reg::HeartbeatTimeout, v), kStatusSuccess);
    EXPECT_EQ(d.model.writeRegister(kA, gvcp::reg::HeartbeatTimeout, 499), kStatusInvalidParameter);
    EXPECT_EQ(d.model.writeRegister(kA, gvcp::reg::HeartbeatTimeout, 1000), kStatusSuccess);
    // Exclusive access keeps others from reading too.
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::ControlChannelPrivilege, 1), kStatusSuccess);
    EXPECT_EQ(d.model.readRegister(kB, gvcp::reg::HeartbeatTimeout, v), kStatusAccessDenied);
    ASSERT_EQ(d.model.readRegister(kA, gvcp::reg::PrimaryApplicationIPAddress, v), kStatusSuccess);
    EXPECT_EQ(v, kA.ip);

    const auto now = std::chrono::steady_clock::now();
    d.model.heard(kA);
    EXPECT_FALSE(d.model.expireHeartbeat(now + std::chrono::milliseconds(900)));
    EXPECT_TRUE(d.model.expireHeartbeat(now + std::chrono::milliseconds(1100)));
    EXPECT_EQ(d.log.count("OnApplicationDisconnect"), 1u);
    EXPECT_EQ(d.model.statistics().GetHeartbeatFailedCount(), 1u);
    EXPECT_EQ(d.model.statistics().GetSessionsOpened(), 1u);
    EXPECT_EQ(d.model.statistics().GetSessionsClosed(), 1u);
    // Now another controller may take it, and releasing it is not a failure.
    ASSERT_EQ(d.model.writeRegister(kB, gvcp::reg::ControlChannelPrivilege, 2), kStatusSuccess);
    ASSERT_EQ(d.model.writeRegister(kB, gvcp::reg::ControlChannelPrivilege, 0), kStatusSuccess);
    EXPECT_EQ(d.model.statistics().GetHeartbeatFailedCount(), 1u);
    EXPECT_EQ(d.log.count("OnApplicationDisconnect"), 2u);
    EXPECT_FALSE(d.model.hasPrimary());
}

TEST(DeviceModel, HeartbeatDisabledKeepsTheSession)
{
    Device d;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::ControlChannelPrivilege, 2), kStatusSuccess);
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::GVCPConfiguration, 1), kStatusSuccess);
    EXPECT_FALSE(d.model.expireHeartbeat(std::chrono::steady_clock::now() + std::chrono::hours(1)));
    EXPECT_TRUE(d.model.hasPrimary());
}

TEST(DeviceModel, AStreamOpensStreamsAndClosesWithTheSession)
{
    Device d;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    RecordingSender sender;
    d.model.setSender(0, &sender);
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::ControlChannelPrivilege, 2), kStatusSuccess);
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::StreamChannelDestination0, 0x7F000001), kStatusSuccess);
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::StreamChannelPort0, 6000), kStatusSuccess);
    EXPECT_EQ(d.source.openedTo, "127.0.0.1:6000");
    EXPECT_EQ(d.model.writeRegister(kA, gvcp::reg::StreamChannelPacketSize0, 100), kStatusInvalidParameter);
    EXPECT_EQ(d.model.writeRegister(kA, gvcp::reg::StreamChannelPacketSize0, 9001), kStatusInvalidParameter);
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::StreamChannelPacketSize0, 8192), kStatusSuccess);
    EXPECT_EQ(d.model.channel(0).config().packetSize & 0xFFFF, 8192u);
    ASSERT_EQ(d.model.writeRegister(kA, addr::DeviceBase + addr::AcquisitionStart, 1), kStatusSuccess);
    ASSERT_TRUE(sender.waitFor(5));
    EXPECT_TRUE(d.model.channel(0).streaming());
    // Losing the controller ends its stream.
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::ControlChannelPrivilege, 0), kStatusSuccess);
    EXPECT_FALSE(d.model.channel(0).streaming());
    EXPECT_EQ(d.log.count("OnStreamingStop"), 1u);
    EXPECT_EQ(d.log.count("OnClose"), 1u);
    uint32_t port = 1;
    ASSERT_EQ(d.model.readRegister(kB, gvcp::reg::StreamChannelPort0, port), kStatusSuccess);
    EXPECT_EQ(port, 0u);
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
    d.model.setUserSetNotify(&notify);
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::ControlChannelPrivilege, 2), kStatusSuccess);
    const uint32_t b = addr::DeviceBase;
    ASSERT_EQ(d.model.writeRegister(kA, addr::ChannelBase + addr::Width, 40), kStatusSuccess);
    ASSERT_EQ(d.model.writeRegister(kA, b + addr::UserSetSelector, 2), kStatusSuccess);
    ASSERT_EQ(d.model.writeRegister(kA, b + addr::UserSetSave, 1), kStatusSuccess);
    ASSERT_EQ(d.model.writeRegister(kA, addr::ChannelBase + addr::Width, 20), kStatusSuccess);
    ASSERT_EQ(d.model.writeRegister(kA, b + addr::UserSetLoad, 1), kStatusSuccess);
    EXPECT_EQ(d.source.width, 40u);
    ASSERT_EQ(d.model.writeRegister(kA, b + addr::UserSetSelector, 0), kStatusSuccess);
    EXPECT_EQ(d.model.writeRegister(kA, b + addr::UserSetSave, 1), kStatusAccessDenied);
    ASSERT_EQ(d.model.writeRegister(kA, b + addr::UserSetLoad, 1), kStatusSuccess);
    EXPECT_EQ(d.source.width, 64u);
    EXPECT_EQ(d.model.writeRegister(kA, b + addr::UserSetSelector, 3), kStatusInvalidParameter);
    const std::vector<std::pair<int, uint32_t>> want = {
        {ZuUserSetStateSaveStart, 0}, {ZuUserSetStateSaveCompleted, 0}, {ZuUserSetStateSaveStart, 2},
        {ZuUserSetStateSaveCompleted, 2}, {ZuUserSetStateLoadStart, 2}, {ZuUserSetStateLoadCompleted, 2},
        {ZuUserSetStateLoadStart, 0}, {ZuUserSetStateLoadCompleted, 0}};
    EXPECT_EQ(notify.seen, want);
}

TEST(DeviceModel, ForceIpAndResetTellTheSink)
{
    Device d;
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    gvcp::ForceIp other;
    other.mac = {1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(d.model.forceIp(other));
    gvcp::ForceIp mine;
    mine.mac = loopback().mac;
    mine.ip = 0x7F00000A;
    mine.subnetMask = 0xFF000000;
    EXPECT_TRUE(d.model.forceIp(mine));
    EXPECT_EQ(d.model.net().ip, 0x7F00000Au);
    EXPECT_EQ(d.log.count("OnDeviceResetNetwork"), 1u);
    EXPECT_EQ(d.model.statistics().GetForceIpsReceived(), 1u);
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::ControlChannelPrivilege, 2), kStatusSuccess);
    ASSERT_EQ(d.model.writeRegister(kA, addr::DeviceBase + addr::DeviceReset, 1), kStatusSuccess);
    EXPECT_EQ(d.log.count("OnDeviceResetFull"), 1u);
    EXPECT_FALSE(d.model.hasPrimary());
}

TEST(DeviceModel, ActionsCountAlwaysAndRunOnlyWhenAddressed)
{
    Device d;
    struct Handler : ZuVirtualDeviceLib::IActionHandler {
        int runs = 0;
        void OnAction(uint32_t, uint64_t) override { ++runs; }
    } handler;
    d.model.setActionHandler(&handler);
    ASSERT_TRUE(d.model.build(loopback()).IsOK());
    ASSERT_EQ(d.model.writeRegister(kA, gvcp::reg::ControlChannelPrivilege, 2), kStatusSuccess);
    d.model.writeRegister(kA, gvcp::reg::ActionDeviceKey, 0x11);
    d.model.writeRegister(kA, addr::ActionGroupKey, 0x22);
    d.model.writeRegister(kA, addr::ActionGroupMask, 0x0F);
    gvcp::ActionCmd a;
    a.deviceKey = 0x11;
    a.groupKey = 0x22;
    a.groupMask = 0x01;
    EXPECT_TRUE(d.model.action(a));
    a.groupMask = 0x10;
    EXPECT_FALSE(d.model.action(a));
    a.groupMask = 0x01;
    a.deviceKey = 0x12;
    EXPECT_FALSE(d.model.action(a));
    EXPECT_EQ(handler.runs, 1);
    EXPECT_EQ(d.model.statistics().GetActionCommandsReceived(), 3u);
}
