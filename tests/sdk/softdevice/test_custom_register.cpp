#include "fakes.h"
#include "softdevice/model/custom_register.h"
#include "softdevice/model/device_model.h"
#include "softdevice/model/feature_factory.h"
#include "ZuGenParameter.h"
#include "ZuGenParameterArray.h"
#include "ZuSoftDeviceGEV.h"
#include "tarn/genicam/Engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

using namespace tarn::softdevice;
using tarn::test::CallLog;
using tarn::test::FakeSource;
using tarn::test::RecordingSink;

namespace {

struct Space {
    RegisterSpace space;
    RegisterCatalog catalog;
    RegisterFactory factory{catalog, space};
};

// Records what a sink sees, and refuses or throws when told to.
struct Sink : IZuRegisterEventSink {
    std::vector<std::string> calls;
    std::mutex lock;
    uint32_t refuseAbove = UINT32_MAX;
    bool throwInPreWrite = false;
    std::function<void(IZuRegister *)> onPreRead;
    void Add(const std::string &aCall, IZuRegister *r)
    {
        uint32_t v = 0;
        if (r->GetLength() >= 4) {
            std::vector<uint8_t> b = static_cast<CustomRegister *>(r)->Content();
            v = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
        }
        std::lock_guard<std::mutex> g(lock);
        calls.push_back(aCall + " " + std::to_string(v));
    }
    ZuResult PreRead(IZuRegister *r) override
    {
        Add("PreRead", r);
        if (onPreRead) onPreRead(r);
        return ZuResult(ZU_OK);
    }
    void PostRead(IZuRegister *r) override { Add("PostRead", r); }
    ZuResult PreWrite(IZuRegister *r) override
    {
        Add("PreWrite", r);
        if (throwInPreWrite) throw std::runtime_error("sink");
        uint32_t v = 0;
        static_cast<CustomRegister *>(r)->ReadInt(v);
        return ZuResult(v > refuseAbove ? ZU_INVALID_PARAMETER : ZU_OK);
    }
    void PostWrite(IZuRegister *r) override { Add("PostWrite", r); }
};

IZuRegister *created(Space &s, uint32_t aAddress)
{
    return s.catalog.Find(aAddress);
}

} // namespace

TEST(CustomRegister, SinksRunAroundEveryAccessAndARefusedWriteKeepsTheOldValue)
{
    Space s;
    Sink sink;
    ASSERT_TRUE(s.factory.AddRegister(ZuString("Gain"), 0x20000, 4, ZuGenAccessModeReadWrite, &sink).IsOK());
    IZuRegister *r = created(s, 0x20000);
    ASSERT_NE(r, nullptr);
    sink.refuseAbove = 100;
    ASSERT_TRUE(r->Write(7u).IsOK());
    uint32_t v = 0;
    ASSERT_TRUE(r->ReadInt(v).IsOK());
    EXPECT_EQ(v, 7u);
    // The pre-write sink already sees the new value; its refusal is the result.
    ZuResult refused = r->Write(500u);
    EXPECT_EQ(refused.GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    ASSERT_TRUE(r->ReadInt(v).IsOK());
    EXPECT_EQ(v, 7u);
    const std::vector<std::string> expected = {"PreWrite 7", "PostWrite 7", "PreRead 7", "PostRead 7",
                                               "PreWrite 500", "PreRead 7", "PostRead 7"};
    EXPECT_EQ(sink.calls, expected);
    // A sink that throws: the old value stays and the exception goes on.
    sink.throwInPreWrite = true;
    EXPECT_THROW(r->Write(9u), std::runtime_error);
    sink.throwInPreWrite = false;
    ASSERT_TRUE(r->ReadInt(v).IsOK());
    EXPECT_EQ(v, 7u);
}

TEST(CustomRegister, AValueKeptElsewhereIsReadFromThereAndTakenOnlyOnceTheSinksAccept)
{
    struct Owner : RegisterValue {
        uint32_t value = 3;
        std::vector<uint32_t> stored;
        uint32_t Load() override { return value; }
        ZuResult Store(uint32_t v) override
        {
            stored.push_back(v);
            if (v == 13) throw std::runtime_error("store");
            if (v > 10) return ZuResult(ZU_INVALID_PARAMETER);
            value = v;
            return ZuResult(ZU_OK);
        }
    } owner;
    Space s;
    Sink sink;
    ASSERT_TRUE(s.factory.AddRegister(ZuString("Mode"), 0x20000, 4, ZuGenAccessModeReadWrite, &sink).IsOK());
    auto *r = s.catalog.Find(0x20000);
    r->SetValue(&owner);
    // The sinks see the owner's value, read anew for every read.
    uint8_t out[4];
    ASSERT_EQ(r->ControllerRead(0, 4, out), kStatusSuccess);
    EXPECT_EQ(out[3], 3);
    owner.value = 4;
    uint32_t v = 0;
    ASSERT_TRUE(r->ReadInt(v).IsOK());
    EXPECT_EQ(v, 4u);
    // A sink's refusal never reaches the owner; the owner's refusal or
    // failure keeps the register as it was.
    sink.refuseAbove = 8;
    EXPECT_EQ(r->Write(9u).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(owner.stored.empty());
    sink.refuseAbove = UINT32_MAX;
    EXPECT_EQ(r->Write(12u).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    const uint8_t thirteen[4] = {0, 0, 0, 13};
    EXPECT_EQ(r->ControllerWrite(0, thirteen, 4), kStatusError);
    EXPECT_EQ(r->Content()[3], 4);
    ASSERT_TRUE(r->Write(6u).IsOK());
    EXPECT_EQ(owner.value, 6u);
    EXPECT_EQ(owner.stored, (std::vector<uint32_t>{12, 13, 6}));
    const std::vector<std::string> tail = {"PreWrite 6", "PostWrite 6"};
    EXPECT_EQ(std::vector<std::string>(sink.calls.end() - 2, sink.calls.end()), tail);
}

TEST(CustomRegister, ValuesTravelBigEndianAndControllersKeepToTheAccessMode)
{
    Space s;
    ASSERT_TRUE(s.factory.AddRegister(ZuString("Ro"), 0x20000, 8, ZuGenAccessModeReadOnly).IsOK());
    ASSERT_TRUE(s.factory.AddByteArray(ZuString("Text"), 0x20010, 16, ZuGenAccessModeWriteOnly).IsOK());
    IZuRegister *ro = created(s, 0x20000), *text = created(s, 0x20010);
    // Local writes ignore the access mode.
    ASSERT_TRUE(ro->WriteDouble(1.5).IsOK());
    std::vector<uint8_t> out;
    ASSERT_EQ(s.space.ReadMemory(0x20000, 8, out), kStatusSuccess);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x3F, 0xF8, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(s.space.WriteRegister(0x20000, 1), kStatusWriteProtect);
    ASSERT_TRUE(ro->Write(0x01020304u, 4).IsOK());
    uint32_t v = 0;
    ASSERT_EQ(s.space.ReadRegister(0x20004, v), kStatusSuccess);
    EXPECT_EQ(v, 0x01020304u);
    // The write-only byte array: a controller writes, never reads.
    const uint8_t hello[8] = {'h', 'e', 'l', 'l', 'o', 0, 0, 0};
    EXPECT_EQ(s.space.WriteMemory(0x20010, hello, 8), kStatusSuccess);
    EXPECT_EQ(s.space.ReadMemory(0x20010, 4, out), kStatusAccessDenied);
    ZuString str;
    ASSERT_TRUE(text->ReadString(str).IsOK());
    EXPECT_EQ(str.Narrow(), "hello");
    EXPECT_FALSE(text->Write(ZuString("seventeen chars!!")).IsOK());
    // A text that fills the register needs no terminating zero.
    ASSERT_TRUE(text->Write(ZuString("sixteen chars!!!")).IsOK());
    ASSERT_TRUE(text->ReadString(str).IsOK());
    EXPECT_EQ(str.Narrow(), "sixteen chars!!!");
    float f = 0;
    ASSERT_TRUE(text->WriteFloat(2.5f).IsOK());
    ASSERT_TRUE(text->ReadFloat(f).IsOK());
    EXPECT_EQ(f, 2.5f);
    // Ranges past the end are refused, not clipped.
    uint8_t bytes[16];
    EXPECT_FALSE(text->ReadBytes(bytes, 16, 4).IsOK());
    EXPECT_TRUE(text->ReadBytes(bytes, 12, 4).IsOK());
    EXPECT_FALSE(text->ReadBytes(bytes, 13, 4).IsOK());
    EXPECT_FALSE(text->Write(bytes, 1, 16).IsOK());
    EXPECT_FALSE(ro->ReadInt(v, 6).IsOK());
    EXPECT_FALSE(ro->ReadInt(v, 5).IsOK());
}

TEST(CustomRegister, TheFactoryRefusesBadLengthsOverlapsAndTheBootstrapBlock)
{
    Space s;
    s.space.AddValue(0x11000, 0, true);
    EXPECT_TRUE(s.factory.AddRegister(ZuString("A"), 0x20000, 4, ZuGenAccessModeReadWrite).IsOK());
    EXPECT_EQ(s.factory.AddRegister(ZuString("B"), 0x20000, 4, ZuGenAccessModeReadWrite).GetCode(), uint32_t(ZU_GENERIC_ERROR));
    EXPECT_FALSE(s.factory.AddRegister(ZuString("C"), 0x1FFFC, 8, ZuGenAccessModeReadWrite).IsOK());
    EXPECT_FALSE(s.factory.AddRegister(ZuString("D"), 0x11000, 4, ZuGenAccessModeReadWrite).IsOK());
    EXPECT_FALSE(s.factory.AddRegister(ZuString("E"), 0x0A00, 4, ZuGenAccessModeReadWrite).IsOK());
    EXPECT_FALSE(s.factory.AddRegister(ZuString("F"), 0x30000, 2, ZuGenAccessModeReadWrite).IsOK());
    EXPECT_FALSE(s.factory.AddRegister(ZuString("G"), 0x30002, 4, ZuGenAccessModeReadWrite).IsOK());
    EXPECT_FALSE(s.factory.AddByteArray(ZuString("H"), 0x30000, 6, ZuGenAccessModeReadWrite).IsOK());
    EXPECT_TRUE(s.factory.AddRegister(ZuString("I"), 0x20004, 8, ZuGenAccessModeReadWrite).IsOK());
    uint32_t a = 0, b = 0;
    ASSERT_TRUE(s.factory.AddRegisterAuto(ZuString("J"), a, 8, ZuGenAccessModeReadWrite, nullptr).IsOK());
    ASSERT_TRUE(s.factory.AddRegisterAuto(ZuString("K"), b, 4, ZuGenAccessModeReadWrite, nullptr).IsOK());
    EXPECT_TRUE(a >= 0x2000C && a % 4 == 0);
    EXPECT_TRUE(b >= a + 8 || b + 4 <= a);
    EXPECT_EQ(s.catalog.GetRegisterCount(), 4u);
    EXPECT_EQ(s.catalog.GetRegisterByIndex(4), nullptr);
    EXPECT_EQ(s.catalog.GetRegisterByAddress(0x20008), nullptr);
    EXPECT_EQ(s.catalog.GetRegisterByAddress(0x20004), s.catalog.GetRegisterByIndex(1));
}

TEST(CustomRegister, TheMapLockWaitsTimesOutAndAnswersOnlyWhileRunning)
{
    RegisterCatalog c;
    EXPECT_EQ(c.Lock().GetCode(), uint32_t(ZU_STATE_ERROR));
    EXPECT_EQ(c.Lock(10).GetCode(), uint32_t(ZU_STATE_ERROR));
    c.SetRunning(true);
    ASSERT_TRUE(c.Lock().IsOK());
    EXPECT_EQ(c.Lock(20).GetCode(), uint32_t(ZU_TIMEOUT));
    std::atomic<bool> got{false};
    std::thread other([&] { got = c.Lock().IsOK(); });
    c.Release();
    other.join();
    EXPECT_TRUE(got);
    // Clearing waits for the holder's release.
    std::atomic<bool> cleared{false};
    std::thread clearing([&] {
        c.Clear();
        cleared = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(cleared);
    c.Release();
    clearing.join();
    EXPECT_EQ(c.Lock().GetCode(), uint32_t(ZU_STATE_ERROR));
}

TEST(CustomRegister, ASinkRefreshingItsRegisterInPreReadIsNotCalledAgain)
{
    Space s;
    Sink sink;
    ASSERT_TRUE(s.factory.AddRegister(ZuString("Clock"), 0x20000, 4, ZuGenAccessModeReadOnly, &sink).IsOK());
    IZuRegister *r = created(s, 0x20000);
    sink.onPreRead = [](IZuRegister *reg) { reg->Write(42u); };
    uint32_t v = 0;
    ASSERT_EQ(s.space.ReadRegister(0x20000, v), kStatusSuccess);
    EXPECT_EQ(v, 42u);
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"PreRead 0", "PostRead 42"}));
    EXPECT_EQ(r->AddEventSink(&sink).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(r->AddEventSink(nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(r->RemoveEventSink(&sink).IsOK());
    EXPECT_EQ(r->RemoveEventSink(&sink).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
}

TEST(CustomRegister, ConcurrentAccessesNeverTearAValueAndEverySuccessIsToldOnce)
{
    Space s;
    Sink sink;
    sink.refuseAbove = 0x7F7F7F7F;
    ASSERT_TRUE(s.factory.AddRegister(ZuString("Shared"), 0x20000, 8, ZuGenAccessModeReadWrite, &sink).IsOK());
    IZuRegister *r = created(s, 0x20000);
    std::atomic<int> torn{0}, written{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                // Every byte of a value alike: a torn read shows mixed bytes.
                uint8_t b = uint8_t((t * 64 + i) & 0xFF);
                uint8_t bytes[8];
                std::memset(bytes, b, 8);
                if (t % 2 == 0) {
                    if (r->Write(bytes, 8).IsOK()) ++written;
                } else {
                    uint8_t out[8];
                    std::vector<uint8_t> wire;
                    if (s.space.ReadMemory(0x20000, 8, wire) == kStatusSuccess) std::memcpy(out, wire.data(), 8);
                    else continue;
                    for (int k = 1; k < 8; ++k)
                        if (out[k] != out[0]) ++torn;
                }
            }
        });
    // Sinks come and go meanwhile.
    Sink other;
    threads.emplace_back([&] {
        for (int i = 0; i < 200; ++i) {
            r->AddEventSink(&other);
            r->RemoveEventSink(&other);
        }
    });
    for (auto &t : threads) t.join();
    EXPECT_EQ(torn, 0);
    // Refused writes were taken back: what stays is an accepted value.
    uint8_t last[8];
    ASSERT_TRUE(r->ReadBytes(last, 8).IsOK());
    EXPECT_LE(last[0], 0x7F);
    EXPECT_EQ(std::count(last, last + 8, last[0]), 8);
    int posts = 0;
    for (const std::string &c : sink.calls) posts += c.rfind("PostWrite", 0) == 0;
    EXPECT_EQ(posts, written.load());
}

// ---- Display names

TEST(FeatureNames, DisplayNamesFollowTheDocumentedExamples)
{
    EXPECT_EQ(generatedDisplayName("DeviceType", "DeviceControl"), "Type");
    EXPECT_EQ(generatedDisplayName("WidthMax", "ImageFormatControl"), "Width Max");
    EXPECT_EQ(generatedDisplayName("EventTestTimestamp", "EventControl\\EventTestData"), "Test Timestamp");
    EXPECT_EQ(generatedDisplayName("GevSCPSPacketSize", ""), "Gev SCPS Packet Size");
    EXPECT_EQ(generatedDisplayName("Device", "DeviceControl"), "Device");
    EXPECT_EQ(generatedDisplayName("Line1Mode", "Digital"), "Line1 Mode");
    EXPECT_TRUE(validFeatureName("A_1"));
    EXPECT_FALSE(validFeatureName("1A"));
    EXPECT_FALSE(validFeatureName("A-B"));
    EXPECT_FALSE(validFeatureName(""));
}
