#include "fakes.h"
#include "ZuSoftDeviceGEV.h"
#include "ZuStreamingChannelSourceDefault.h"
#include "tarn/SoftDevice.h"

#include <gtest/gtest.h>

using tarn::test::CallLog;
using tarn::test::DefaultSource;
using tarn::test::FakeSource;
using tarn::test::RecordingSink;

namespace {
const ZuString kMac("02:00:7F:00:00:21");
}

TEST(SoftDevice, StateMachine)
{
    FakeSource source;   // outlives the device, which frees its buffers
    ZuSoftDeviceGEV device;
    ZuString xml;
    EXPECT_EQ(device.GetGenICamXMLFile(xml).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(device.GetInfo(), nullptr);
    EXPECT_EQ(device.GetStatistics(), nullptr);
    EXPECT_EQ(device.GetMessagingChannel(), nullptr);
    EXPECT_EQ(device.GetRegisterMap(), nullptr);
    EXPECT_EQ(device.Stop().GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(device.AddStream(nullptr).GetCode(), ZU_INVALID_PARAMETER);
    ASSERT_TRUE(device.AddStream(&source).IsOK());
    EXPECT_EQ(device.Start(ZuString("not a mac")).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(device.Start(ZuString("02:00:7F:00:00:00")).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(device.GetInfo(), nullptr);
    ASSERT_TRUE(device.Start(kMac).IsOK());
    ASSERT_NE(device.GetInfo(), nullptr);
    EXPECT_EQ(device.GetInfo()->GetModelName().Narrow(), "SoftCamera");
    EXPECT_NE(device.GetStatistics(), nullptr);
    EXPECT_NE(device.GetMessagingChannel(), nullptr);
    EXPECT_FALSE(device.GetMessagingChannel()->IsOpened());
    EXPECT_EQ(device.Start(kMac).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(device.AddStream(&source).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(device.SetUserSetCount(2).GetCode(), ZU_STATE_ERROR);
    ASSERT_TRUE(device.GetGenICamXMLFile(xml).IsOK());
    EXPECT_NE(xml.Narrow().find("<RegisterDescription"), std::string::npos);
    ASSERT_TRUE(device.Stop().IsOK());
    EXPECT_EQ(device.GetInfo(), nullptr);
    EXPECT_EQ(device.Stop().GetCode(), ZU_STATE_ERROR);
    EXPECT_TRUE(device.GetGenICamXMLFile(xml).IsOK());
    EXPECT_EQ(source.freed.size(), source.allocs.size());
    // And again.
    ASSERT_TRUE(device.Start(kMac).IsOK());
}

TEST(SoftDevice, AForgottenSinkIsNoLongerCalled)
{
    CallLog log;
    RecordingSink sink(log);
    FakeSource source;
    {
        ZuSoftDeviceGEV device;
        device.AddStream(&source);
        ASSERT_TRUE(device.RegisterEventSink(&sink).IsOK());
        tarn::ForgetSoftDeviceSink(&sink);
        ASSERT_TRUE(device.Start(kMac).IsOK());
    }
    EXPECT_EQ(log.count("OnCreateCustomRegisters"), 0u);
}

TEST(SoftDevice, DestructionStopsARunningDeviceAndFreesItsBuffers)
{
    FakeSource source;
    {
        ZuSoftDeviceGEV device;
        device.AddStream(&source);
        ASSERT_TRUE(device.Start(kMac).IsOK());
    }
    EXPECT_EQ(source.freed.size(), source.allocs.size());
    EXPECT_FALSE(source.allocs.empty());
}

TEST(DefaultSource, DescribesItsImageAndAllocatesItsCount)
{
    DefaultSource s(100, 50, ZuPixelMono16, 3);
    EXPECT_EQ(s.GetWidth(), 100u);
    EXPECT_EQ(s.GetHeight(), 50u);
    EXPECT_EQ(s.GetPixelType(), ZuPixelMono16);
    uint32_t lo, hi, inc;
    s.GetWidthInfo(lo, hi, inc);
    EXPECT_EQ(hi, 100u);
    ZuPixelType t = ZuPixelUndefined;
    ASSERT_TRUE(s.GetSupportedPixelType(0, t).IsOK());
    EXPECT_EQ(t, ZuPixelMono16);
    int count = 0;
    bool hasRgb = false;
    for (int i = 0; s.GetSupportedPixelType(i, t).IsOK(); ++i, ++count) hasRgb = hasRgb || t == ZuPixelRGB8;
    EXPECT_GT(count, 1);
    EXPECT_FALSE(hasRgb);   // 24 bits would not fit a 16-bit buffer
    EXPECT_EQ(s.SetPixelType(ZuPixelRGB8).GetCode(), ZU_GENERIC_ERROR);
    EXPECT_TRUE(s.SetWidth(60).IsOK());
    EXPECT_TRUE(s.SetOffsetX(40).IsOK());
    EXPECT_FALSE(s.SetOffsetX(41).IsOK());
    EXPECT_FALSE(s.SetWidth(0).IsOK());
    ZuBuffer *a = s.AllocBuffer(), *b = s.AllocBuffer(), *c = s.AllocBuffer();
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(s.AllocBuffer(), nullptr);
    EXPECT_GE(a->GetSize(), 100u * 50u * 2u);
    s.FreeBuffer(a);
    s.FreeBuffer(a);   // once only
    ZuBuffer foreign;
    s.FreeBuffer(&foreign);   // not its own: left alone
    uint32_t n = 0;
    EXPECT_EQ(s.GetTxNumBuffersToUse(n).GetCode(), ZU_NOT_IMPLEMENTED);
    EXPECT_TRUE(s.IsPayloadTypeSupported(ZuPayloadTypeImage));
    EXPECT_FALSE(s.IsPayloadTypeSupported(ZuPayloadTypeMultiPart));
}

TEST(DefaultSource, RefusesBuffersNoMemoryCouldHold)
{
    DefaultSource zero(0, 0, ZuPixelMono8, 4);
    EXPECT_EQ(zero.AllocBuffer(), nullptr);
    DefaultSource huge(0xFFFFFFFF, 0xFFFFFFFF, ZuPixelRGB8, 4);
    EXPECT_EQ(huge.AllocBuffer(), nullptr);
    DefaultSource many(8, 8, ZuPixelMono8, 1000);
    int n = 0;
    while (many.AllocBuffer()) ++n;
    EXPECT_EQ(n, 64);
}
