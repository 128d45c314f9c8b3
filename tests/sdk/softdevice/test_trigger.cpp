#include "fakes.h"
#include "ZuGenParameterArray.h"
#include "tarn/genicam/Parameters.h"
#include "ZuSoftDeviceGEV.h"
#include "ZuStreamingChannelSourceTrigger.h"
#include "ZuTriggerSelector.h"

#include <gtest/gtest.h>

#include <future>

using namespace tarn;
using namespace tarn::softdevice;
using tarn::test::CallLog;
using tarn::test::FakeSource;
using tarn::test::ModelPort;
using tarn::test::RecordingSender;
using tarn::test::loopback;

namespace {

constexpr uint32_t kDisabled = IZuTriggerSelector_State_Disabled, kEnabled = IZuTriggerSelector_State_Enabled,
                   kArmed = IZuTriggerSelector_State_Armed, kFired = IZuTriggerSelector_State_Fired,
                   kOneShot = IZuTriggerSelector_State_OneShot;

uint32_t state(const IZuTriggerSelector &s) { return s.GetState(); }

// The image side of a trigger source, from the scripted fake.
class TriggerSource : public ZuStreamingChannelSourceTrigger
{
public:
    explicit TriggerSource(uint32_t aBase = 0x20000) : ZuStreamingChannelSourceTrigger(0, aBase) {}
    FakeSource fake{nullptr, 16, 4};

    uint32_t GetWidth() const override { return fake.GetWidth(); }
    uint32_t GetHeight() const override { return fake.GetHeight(); }
    uint32_t GetOffsetX() const override { return 0; }
    uint32_t GetOffsetY() const override { return 0; }
    ZuPixelType GetPixelType() const override { return ZuPixelMono8; }
    void GetWidthInfo(uint32_t &a, uint32_t &b, uint32_t &c) const override { fake.GetWidthInfo(a, b, c); }
    void GetHeightInfo(uint32_t &a, uint32_t &b, uint32_t &c) const override { fake.GetHeightInfo(a, b, c); }
    uint32_t GetChunksSize() const override { return 0; }
    uint32_t GetPayloadSize() const override { return 0; }
    ZuScanType GetScanType() const override { return ZuScanTypeArea; }
    bool GetChunkModeActive() const override { return false; }
    bool GetChunkEnable(uint32_t) const override { return false; }
    ZuResult GetSupportedPixelType(int i, ZuPixelType &t) const override { return fake.GetSupportedPixelType(i, t); }
    ZuResult GetSupportedChunk(int i, uint32_t &id, ZuString &n) const override { return fake.GetSupportedChunk(i, id, n); }
    ZuResult SetWidth(uint32_t) override { return ZuResult(ZU_OK); }
    ZuResult SetHeight(uint32_t) override { return ZuResult(ZU_OK); }
    ZuResult SetOffsetX(uint32_t) override { return ZuResult(ZU_OK); }
    ZuResult SetOffsetY(uint32_t) override { return ZuResult(ZU_OK); }
    ZuResult SetPixelType(ZuPixelType) override { return ZuResult(ZU_OK); }
    ZuResult SetChunkModeActive(bool) override { return ZuResult(ZU_OK); }
    ZuResult SetChunkEnable(uint32_t, bool) override { return ZuResult(ZU_OK); }
    void OnOpen(const ZuString &, uint16_t) override {}
    void OnClose() override {}
    ZuBuffer *AllocBuffer() override { return fake.AllocBuffer(); }
    void FreeBuffer(ZuBuffer *b) override { fake.FreeBuffer(b); }
    ZuResult GetTxNumBuffersToUse(uint32_t &n) override { return fake.GetTxNumBuffersToUse(n); }
    ZuResult QueueBuffer(ZuBuffer *b) override { return fake.QueueBuffer(b); }
    ZuResult RetrieveBuffer(ZuBuffer **b) override { return fake.RetrieveBuffer(b); }
    void AbortQueuedBuffers() override { fake.AbortQueuedBuffers(); }
};

struct Recorder : IZuTriggerCallback {
    std::mutex lock;
    std::vector<std::pair<std::string, std::thread::id>> calls;
    bool fail = false;
    void TriggerCallbackMethod(const IZuTriggerSelector *s) override
    {
        {
            std::lock_guard<std::mutex> l(lock);
            calls.emplace_back(s ? s->GetName().Narrow() : "null", std::this_thread::get_id());
        }
        if (fail) throw std::runtime_error("callback");
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> l(lock);
        return calls.size();
    }
};

void streaming(TriggerSource &s) { s.OnStreamingStart(); }

} // namespace

// ---- The selectors' state machines

TEST(TriggerSelector, NewSelectorsAreDisabledAndIgnoreEverySignalButTheirMode)
{
    ZuTriggerSelectorDefault d;
    ZuTriggerSelectorAcquisitionStart a;
    ZuTriggerSelectorFrameStart f;
    ZuTriggerSelectorLineStart l;
    EXPECT_EQ(d.GetName().Narrow(), "N/A");
    EXPECT_EQ(a.GetName().Narrow(), "AcquisitionStart");
    EXPECT_EQ(f.GetName().Narrow(), "FrameStart");
    EXPECT_EQ(l.GetName().Narrow(), "LineStart");
    for (IZuTriggerSelector *s : std::initializer_list<IZuTriggerSelector *>{&d, &a, &f, &l}) {
        EXPECT_EQ(state(*s), kDisabled);
        EXPECT_FALSE(s->IsEnabled());
        EXPECT_FALSE(s->GetMode());
        EXPECT_EQ(s->GetSource(), 0u);
        s->Start(4);
        s->FireTrigger();
        s->Rearm();
        s->Stop();
        EXPECT_EQ(state(*s), kDisabled);
        s->SetSource(7);
        EXPECT_EQ(s->GetSource(), 7u);
        s->SetMode(true);
        EXPECT_EQ(state(*s), kEnabled);
        EXPECT_TRUE(s->GetMode());
    }
    // The default selector never arms.
    d.Start(4);
    d.FireTrigger();
    EXPECT_EQ(state(d), kEnabled);
    d.SetMode(false);
    EXPECT_EQ(state(d), kDisabled);
}

TEST(TriggerSelector, NamesAreCopied)
{
    std::string name = "Mine";
    ZuTriggerSelectorFrameStart s(name.c_str());
    name[0] = 'X';
    EXPECT_EQ(s.GetName().Narrow(), "Mine");
}

TEST(TriggerSelector, AcquisitionStartFiresOnceForTheWholeAcquisition)
{
    ZuTriggerSelectorAcquisitionStart s;
    s.SetMode(true);
    s.FireTrigger();   // not armed: nothing
    EXPECT_EQ(state(s), kEnabled);
    s.Start(480);
    EXPECT_EQ(state(s), kArmed);
    s.FireTrigger();
    EXPECT_EQ(state(s), kOneShot);
    s.Rearm();
    s.Start(480);
    s.FireTrigger();
    EXPECT_EQ(state(s), kOneShot);
    EXPECT_TRUE(s.IsEnabled());
    s.Stop();
    EXPECT_EQ(state(s), kEnabled);
}

TEST(TriggerSelector, FrameStartFiresOncePerRearm)
{
    ZuTriggerSelectorFrameStart s;
    s.SetMode(true);
    s.Start(1);
    s.FireTrigger();
    EXPECT_EQ(state(s), kFired);
    s.FireTrigger();
    EXPECT_EQ(state(s), kFired);
    s.Rearm();
    EXPECT_EQ(state(s), kArmed);
    s.Rearm();
    EXPECT_EQ(state(s), kArmed);
    // SetMode from any state drops back to Enabled; a trigger then does nothing.
    s.SetMode(true);
    EXPECT_EQ(state(s), kEnabled);
    s.FireTrigger();
    EXPECT_EQ(state(s), kEnabled);
    s.Rearm();         // only a fired selector is armed again, never one not started
    EXPECT_EQ(state(s), kEnabled);
    s.Start(1);
    s.FireTrigger();
    s.Stop();
    EXPECT_EQ(state(s), kEnabled);
}

TEST(TriggerSelector, LineStartCountsLinesAndKeepsItsHeightAcrossRearms)
{
    ZuTriggerSelectorLineStart s;
    s.SetMode(true);
    s.Rearm();
    EXPECT_EQ(state(s), kEnabled);
    s.Start(3);
    s.FireTrigger();
    s.FireTrigger();
    EXPECT_EQ(state(s), kArmed);
    // Start or Rearm while armed changes neither the state nor the count.
    s.Start(5);
    s.Rearm();
    s.FireTrigger();
    EXPECT_EQ(state(s), kFired);
    s.Start(5);
    s.Rearm();
    EXPECT_EQ(state(s), kArmed);
    s.FireTrigger();
    s.FireTrigger();
    EXPECT_EQ(state(s), kArmed);
    s.FireTrigger();
    EXPECT_EQ(state(s), kFired);
    // Stop keeps the counters: the next Start sets them.
    s.Stop();
    s.Start(1);
    s.FireTrigger();
    EXPECT_EQ(state(s), kFired);
}

TEST(TriggerSelector, LineStartOfZeroLinesWrapsAndStaysArmed)
{
    ZuTriggerSelectorLineStart s;
    s.SetMode(true);
    s.Start(0);
    s.FireTrigger();
    EXPECT_EQ(state(s), kArmed);
}

TEST(TriggerSelector, TransitionsAskTheVirtualState)
{
    // A class that reports Armed whatever its field says.
    struct AlwaysArmed : ZuTriggerSelectorFrameStart {
        State GetState() const override { return IZuTriggerSelector_State_Armed; }
        uint32_t Field() const { return mState; }
    } s;
    s.FireTrigger();
    EXPECT_EQ(s.Field(), kFired);
    // IsEnabled reads the field, not GetState.
    EXPECT_TRUE(s.IsEnabled());
    ZuTriggerSelectorFrameStart plain;
    EXPECT_FALSE(plain.IsEnabled());
}

// ---- The trigger source's wait

TEST(TriggerSource, WithoutTriggerModeEveryBufferProceeds)
{
    TriggerSource s;
    ZuTriggerSelectorFrameStart frame;
    s.AddSelector(TRIGGER_SELECTOR_FRAMESTART, &frame);
    streaming(s);
    EXPECT_TRUE(s.PreQueueBufferProc());
    EXPECT_TRUE(s.PreQueueBufferProc());
    EXPECT_FALSE(s.GetMode());
}

TEST(TriggerSource, ASoftwareTriggerLetsExactlyOneFrameThroughAndTellsTheCallbackOnTheWaitingThread)
{
    TriggerSource s;
    ZuTriggerSelectorFrameStart frame;
    Recorder callback;
    s.AddSelector(TRIGGER_SELECTOR_FRAMESTART, &frame);
    s.AddSelectorTriggerCallback(TRIGGER_SELECTOR_FRAMESTART, &callback);
    frame.SetMode(true);
    EXPECT_TRUE(s.GetMode());
    EXPECT_EQ(s.GetSource(), uint32_t(TRIGGER_SOURCE_SOFTWARE));
    // Triggers before streaming are not kept for later.
    s.FireTrigger();
    streaming(s);
    EXPECT_EQ(state(frame), kArmed);
    EXPECT_FALSE(s.PreQueueBufferProc());
    s.FireTrigger();
    s.FireTrigger();   // overlapping: lost, as on a camera
    auto waiter = std::async(std::launch::async, [&] { return std::make_pair(s.PreQueueBufferProc(), std::this_thread::get_id()); });
    auto passed = waiter.get();
    EXPECT_TRUE(passed.first);
    EXPECT_FALSE(s.PreQueueBufferProc());
    ASSERT_EQ(callback.Count(), 1u);
    EXPECT_EQ(callback.calls[0].first, "FrameStart");
    EXPECT_EQ(callback.calls[0].second, passed.second);
    EXPECT_EQ(state(frame), kArmed);
    s.FireTrigger();
    EXPECT_TRUE(s.PreQueueBufferProc());
    EXPECT_EQ(callback.Count(), 2u);
}

TEST(TriggerSource, ATriggerWakesAWaitAndAStopReleasesOne)
{
    TriggerSource s;
    ZuTriggerSelectorFrameStart frame;
    s.AddSelector(TRIGGER_SELECTOR_FRAMESTART, &frame);
    frame.SetMode(true);
    streaming(s);
    // A wait is short; repeated waits see a trigger fired meanwhile.
    std::atomic<bool> go{true};
    std::atomic<int> passed{0};
    std::thread loop([&] {
        while (go)
            if (s.PreQueueBufferProc()) ++passed;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(passed.load(), 0);
    s.FireTrigger();
    for (int i = 0; i < 2000 && passed.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(passed.load(), 1);
    s.OnStreamingStop();
    EXPECT_EQ(state(frame), kEnabled);
    go = false;
    loop.join();
    EXPECT_EQ(passed.load(), 1);
}

TEST(TriggerSource, OnlyTheSoftwareSourceOfTheCurrentSelectorFires)
{
    TriggerSource s;
    ZuTriggerSelectorFrameStart frame;
    ZuTriggerSelectorAcquisitionStart acquisition;
    s.AddSource(TRIGGER_SOURCE_SOFTWARE, ZuString("Software"));
    s.AddSource(TRIGGER_SOURCE_USER, ZuString("Line 0"));
    s.AddSelector(TRIGGER_SELECTOR_FRAMESTART, &frame);
    s.AddSelector(TRIGGER_SELECTOR_ACQUISITIONSTART, &acquisition);
    frame.SetMode(true);
    frame.SetSource(TRIGGER_SOURCE_USER);
    streaming(s);
    s.FireTrigger();
    EXPECT_EQ(state(frame), kArmed);
    EXPECT_EQ(s.GetSource(), uint32_t(TRIGGER_SOURCE_USER));
    frame.SetSource(TRIGGER_SOURCE_SOFTWARE);
    s.FireTrigger();
    EXPECT_EQ(state(frame), kFired);
    // The acquisition selector is off: it neither fires nor gates.
    EXPECT_EQ(state(acquisition), kDisabled);
    EXPECT_TRUE(s.PreQueueBufferProc());
}

TEST(TriggerSource, AcquisitionStartGatesUntilFiredThenFrameStartGatesEachFrame)
{
    TriggerSource s;
    ZuTriggerSelectorAcquisitionStart acquisition;
    ZuTriggerSelectorFrameStart frame;
    ZuTriggerSelectorDefault other;
    Recorder callback;
    s.AddSelector(TRIGGER_SELECTOR_ACQUISITIONSTART, &acquisition);
    s.AddSelector(TRIGGER_SELECTOR_FRAMESTART, &frame);
    s.AddSelector(TRIGGER_SELECTOR_EXPOSUREACTIVE, &other);
    s.AddSelectorTriggerCallback(TRIGGER_SELECTOR_ACQUISITIONSTART, &callback);
    s.AddSelectorTriggerCallback(TRIGGER_SELECTOR_FRAMESTART, &callback);
    acquisition.SetMode(true);
    other.SetMode(true);   // a selector that never arms does not gate
    streaming(s);
    EXPECT_FALSE(s.PreQueueBufferProc());
    // The first selector added is the current one.
    s.FireTrigger();
    EXPECT_EQ(state(acquisition), kOneShot);
    EXPECT_TRUE(s.PreQueueBufferProc());
    EXPECT_TRUE(s.PreQueueBufferProc());
    // OneShot is told once.
    EXPECT_EQ(callback.Count(), 1u);
    frame.SetMode(true);
    EXPECT_FALSE(s.PreQueueBufferProc());
    EXPECT_EQ(state(frame), kArmed);
}

TEST(TriggerSource, LineStartLetsAFrameThroughAfterAsManyTriggersAsLines)
{
    TriggerSource s;
    ZuTriggerSelectorLineStart line;
    s.AddSelector(TRIGGER_SELECTOR_LINESTART, &line);
    line.SetMode(true);
    streaming(s);   // the fake's height: 4 lines
    for (int i = 0; i < 3; ++i) {
        s.FireTrigger();
        EXPECT_FALSE(s.PreQueueBufferProc());
    }
    s.FireTrigger();
    EXPECT_TRUE(s.PreQueueBufferProc());
    EXPECT_EQ(state(line), kArmed);
}

TEST(TriggerSource, AFailingCallbackIsContainedAndTheFrameStillProceeds)
{
    TriggerSource s;
    ZuTriggerSelectorFrameStart frame;
    Recorder callback;
    callback.fail = true;
    s.AddSelector(TRIGGER_SELECTOR_FRAMESTART, &frame);
    s.AddSelectorTriggerCallback(TRIGGER_SELECTOR_FRAMESTART, &callback);
    frame.SetMode(true);
    streaming(s);
    s.FireTrigger();
    EXPECT_TRUE(s.PreQueueBufferProc());
    EXPECT_EQ(callback.Count(), 1u);
}

// The selector a callback is handed is its owner's to free once it is
// replaced: each change of a fired callback's pair waits for the call, which
// reads the selector after the change would have returned, and the next
// call is handed what is bound then.
TEST(TriggerSource, AChangeToACalledPairWaitsForTheCallHandedTheOldSelector)
{
    enum Change { kNoCallback, kOtherCallback, kOtherSelector, kNoSelector };
    for (Change change : {kNoCallback, kOtherCallback, kOtherSelector, kNoSelector}) {
        SCOPED_TRACE(change);
        TriggerSource s;
        auto *first = new ZuTriggerSelectorFrameStart("First");
        ZuTriggerSelectorFrameStart second("Second");
        struct Slow : Recorder {
            std::atomic<bool> inside{false}, leave{false};
            void TriggerCallbackMethod(const IZuTriggerSelector *aSelector) override
            {
                inside = true;
                while (!leave) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                Recorder::TriggerCallbackMethod(aSelector);
            }
        } slow;
        Recorder other;
        s.AddSelector(TRIGGER_SELECTOR_FRAMESTART, first);
        s.AddSelectorTriggerCallback(TRIGGER_SELECTOR_FRAMESTART, &slow);
        first->SetMode(true);
        second.SetMode(true);
        streaming(s);
        s.FireTrigger();
        std::thread waiter([&] { s.PreQueueBufferProc(); });
        while (!slow.inside) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        auto changed = std::async(std::launch::async, [&] {
            switch (change) {
            case kNoCallback: return s.AddSelectorTriggerCallback(TRIGGER_SELECTOR_FRAMESTART, nullptr);
            case kOtherCallback: return s.AddSelectorTriggerCallback(TRIGGER_SELECTOR_FRAMESTART, &other);
            case kOtherSelector: return s.AddSelector(TRIGGER_SELECTOR_FRAMESTART, &second);
            case kNoSelector: return s.AddSelector(TRIGGER_SELECTOR_FRAMESTART, nullptr);
            }
        });
        EXPECT_EQ(changed.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
        slow.leave = true;
        changed.get();
        const bool replaced = change == kOtherSelector || change == kNoSelector;
        if (replaced) delete first;
        waiter.join();
        s.PostRetrieveBufferProc();
        ASSERT_EQ(slow.Count(), 1u);
        EXPECT_EQ(slow.calls[0].first, "First");
        if (change == kOtherSelector || change == kOtherCallback) {
            second.Start(1);
            s.FireTrigger();
            EXPECT_TRUE(s.PreQueueBufferProc());
            Recorder &now = change == kOtherCallback ? other : slow;
            ASSERT_EQ(now.Count(), change == kOtherCallback ? 1u : 2u);
            EXPECT_EQ(now.calls.back().first, change == kOtherCallback ? "First" : "Second");
        }
        if (!replaced) delete first;
    }
}

// ---- On the device: registers, features and the acquisition thread

namespace {
struct TriggerDevice {
    ZuSoftDeviceGEV self;
    TriggerSource source;
    ZuTriggerSelectorFrameStart frame;
    ZuTriggerSelectorAcquisitionStart acquisition;
    DeviceModel model{self};
    ZuGenParameterArray features;
    std::unique_ptr<ModelPort> port;
    TriggerDevice()
    {
        source.AddSelector(TRIGGER_SELECTOR_FRAMESTART, &frame);
        source.AddSelector(TRIGGER_SELECTOR_ACQUISITIONSTART, &acquisition);
        source.AddSource(TRIGGER_SOURCE_SOFTWARE, ZuString("Software"));
        source.AddSource(TRIGGER_SOURCE_USER, ZuString("Line 1"));
        model.AddStream(&source);
    }
    void Start()
    {
        ASSERT_TRUE(model.Build(loopback()).IsOK());
        port = std::make_unique<ModelPort>(model);
        const std::string xml = model.Description();
        ZuResult loaded = tarn::LoadDescription(features, xml.data(), xml.size(), port.get());
        ASSERT_TRUE(loaded.IsOK()) << loaded.GetDescription().Narrow();
    }
    std::string EnumValue(const char *aName)
    {
        ZuString text;
        EXPECT_TRUE(features.GetEnumValue(ZuString(aName), text).IsOK()) << aName;
        return text.Narrow();
    }
};
} // namespace

TEST(TriggerSource, TheFeaturesDriveTheCurrentSelector)
{
    TriggerDevice d;
    d.Start();
    EXPECT_EQ(d.EnumValue("TriggerSelector"), "FrameStart");
    EXPECT_EQ(d.EnumValue("TriggerMode"), "Off");
    EXPECT_EQ(d.EnumValue("TriggerSource"), "Software");
    ASSERT_TRUE(d.features.SetEnumValue(ZuString("TriggerMode"), ZuString("On")).IsOK());
    EXPECT_TRUE(d.frame.GetMode());
    EXPECT_FALSE(d.acquisition.GetMode());
    ASSERT_TRUE(d.features.SetEnumValue(ZuString("TriggerSelector"), ZuString("AcquisitionStart")).IsOK());
    EXPECT_EQ(d.EnumValue("TriggerMode"), "Off");
    ASSERT_TRUE(d.features.SetEnumValue(ZuString("TriggerSource"), ZuString("Line1")).IsOK());
    EXPECT_EQ(d.acquisition.GetSource(), uint32_t(TRIGGER_SOURCE_USER));
    EXPECT_EQ(d.frame.GetSource(), uint32_t(TRIGGER_SOURCE_SOFTWARE));
    // Selectors that were not added and sources that were not registered are refused.
    EXPECT_NE(d.model.WriteMemory(0x20000, reinterpret_cast<const uint8_t *>("\0\0\0\x09"), 4), kStatusSuccess);
    EXPECT_NE(d.model.WriteMemory(0x20008, reinterpret_cast<const uint8_t *>("\0\0\0\x05"), 4), kStatusSuccess);
    EXPECT_NE(d.model.WriteMemory(0x20004, reinterpret_cast<const uint8_t *>("\0\0\0\x02"), 4), kStatusSuccess);
    EXPECT_TRUE(writeReachesApplication(0x2000C));
}

TEST(TriggerSource, OnTheAcquisitionThreadNoFrameLeavesBeforeItsTriggerAndOneLeavesPerTrigger)
{
    TriggerDevice d;
    d.Start();
    ASSERT_TRUE(d.features.SetEnumValue(ZuString("TriggerMode"), ZuString("On")).IsOK());
    Channel &channel = d.model.GetStreams().GetChannel(0);
    RecordingSender sender;
    channel.StartStreaming(sender, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(sender.blocks.size(), 0u);
    for (size_t n = 1; n <= 3; ++n) {
        ASSERT_TRUE(d.features.ExecuteCommand(ZuString("TriggerSoftware")).IsOK());
        ASSERT_TRUE(sender.WaitFor(n));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        std::lock_guard<std::mutex> l(sender.lock);
        EXPECT_EQ(sender.blocks.size(), n);
    }
    // Back to free running.
    ASSERT_TRUE(d.features.SetEnumValue(ZuString("TriggerMode"), ZuString("Off")).IsOK());
    EXPECT_TRUE(sender.WaitFor(10));
    channel.StopStreaming();
}
