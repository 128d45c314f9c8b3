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
// Each test its own address (127.0.5.x), none that another test binds:
// ctest runs tests side by side.
const ZuString kMac("02:00:7F:00:05:01");
const ZuString kVersionedMac("02:00:7F:00:05:02");
const ZuString kSinkMac("02:00:7F:00:05:03");
const ZuString kDestroyedMac("02:00:7F:00:05:04");
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

TEST(SoftDevice, AStartThatFailsOnItsAddressStillLeavesTheDescription)
{
    FakeSource source(nullptr, 24, 16);
    ZuSoftDeviceGEV device;
    ASSERT_TRUE(device.AddStream(&source).IsOK());
    ZuString xml;
    EXPECT_EQ(device.GetGenICamXMLFile(xml).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(device.Start(ZuString("not a mac")).GetCode(), ZU_INVALID_PARAMETER);
    ASSERT_TRUE(device.GetGenICamXMLFile(xml).IsOK());
    EXPECT_NE(xml.Narrow().find("<Integer Name=\"Width\""), std::string::npos);
    // Nothing was built for it.
    EXPECT_TRUE(source.allocs.empty());
    EXPECT_EQ(device.GetInfo(), nullptr);
}

TEST(SoftDevice, StartsCallbacksSetTheDescriptionsVersionWhichThenStaysAsStartWroteIt)
{
    struct Versioning : RecordingSink {
        using RecordingSink::RecordingSink;
        ZuSoftDeviceGEV *owner = nullptr;
        ZuResult versioned{ZU_GENERIC_ERROR};
        void OnCreateCustomRegisters(IZuVirtualDeviceGEV *aDevice, IZuRegisterFactory *) override
        {
            IZuVirtualDeviceGEVInfo *info = aDevice->GetInfo();
            if (!info) return;
            versioned = info->SetGenICamXMLVersion(3, 1, 4);
            info->SetGenICamXMLGUIDs(ZuString("01234567-89AB-CDEF-0123-456789ABCDEF"),
                                     ZuString("FEDCBA98-7654-3210-FEDC-BA9876543210"));
        }
    };
    CallLog log;
    Versioning sink(log);
    FakeSource source;
    ZuSoftDeviceGEV device;
    device.AddStream(&source);
    device.RegisterEventSink(&sink);
    for (int start = 0; start < 2; ++start) {
        ASSERT_TRUE(device.Start(kVersionedMac).IsOK());
        EXPECT_TRUE(sink.versioned.IsOK());
        ZuString xml;
        ASSERT_TRUE(device.GetGenICamXMLFile(xml).IsOK());
        const std::string written = xml.Narrow();
        EXPECT_NE(written.find("MajorVersion=\"3\" MinorVersion=\"1\" SubMinorVersion=\"4\""), std::string::npos);
        EXPECT_NE(written.find("ProductGuid=\"01234567-89AB-CDEF-0123-456789ABCDEF\""), std::string::npos);
        // Once written, a controller may have read it: it stays.
        IZuVirtualDeviceGEVInfo *info = device.GetInfo();
        EXPECT_EQ(info->SetGenICamXMLVersion(1, 0, 0).GetCode(), ZU_STATE_ERROR);
        EXPECT_EQ(info->SetGenICamXMLGUIDs(ZuString("00000000-0000-0000-0000-000000000000"),
                                           ZuString("00000000-0000-0000-0000-000000000000")).GetCode(), ZU_STATE_ERROR);
        EXPECT_TRUE(info->SetModelName(ZuString("Renamed")).IsOK());
        EXPECT_TRUE(info->SetGenICamXMLRegDescModelName(ZuString("Other")).IsOK());
        ASSERT_TRUE(device.GetGenICamXMLFile(xml).IsOK());
        EXPECT_EQ(xml.Narrow(), written);
        EXPECT_EQ(info->GetGenICamXMLVersionMajor(), 3);
        // The next Start writes a new one, which its callbacks may version again.
        ASSERT_TRUE(device.Stop().IsOK());
    }
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
        ASSERT_TRUE(device.Start(kSinkMac).IsOK());
    }
    EXPECT_EQ(log.Count("OnCreateCustomRegisters"), 0u);
}

TEST(SoftDevice, DestructionStopsARunningDeviceAndFreesItsBuffers)
{
    FakeSource source;
    {
        ZuSoftDeviceGEV device;
        device.AddStream(&source);
        ASSERT_TRUE(device.Start(kDestroyedMac).IsOK());
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
