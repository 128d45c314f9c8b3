#include "fakes.h"
#include "softdevice/model/channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace tarn;
using namespace tarn::softdevice;
using tarn::test::CallLog;
using tarn::test::FakeSource;
using tarn::test::RecordingSender;

namespace {

bool eventually(const std::function<bool()> &aDone)
{
    for (int i = 0; i < 2000 && !aDone(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return aDone();
}

} // namespace

TEST(Channel, AllocatesUntilNullAtMost64AndRefusesRepeats)
{
    FakeSource many;
    many.bufferCount = 1000;
    Channel a(many, 0);
    std::string error;
    ASSERT_TRUE(a.Allocate(error));
    EXPECT_EQ(a.BufferCount(), Channel::kMaxBuffers);
    EXPECT_EQ(many.allocs.size(), Channel::kMaxBuffers);

    FakeSource none;
    none.bufferCount = 0;
    Channel b(none, 1);
    EXPECT_FALSE(b.Allocate(error));
    EXPECT_NE(error.find("no buffer"), std::string::npos);

    FakeSource repeat;
    repeat.repeatBuffer = true;
    repeat.bufferCount = 5;
    Channel c(repeat, 2);
    ASSERT_TRUE(c.Allocate(error));
    EXPECT_EQ(c.BufferCount(), 1u);
    EXPECT_EQ(c.Counters().sourceFailures, Channel::kMaxBuffers - 1);
}

TEST(Channel, FreesEachAllocatedBufferOnceAndAllocationFailureFreesWhatItGot)
{
    FakeSource src;
    src.bufferCount = 6;
    {
        Channel c(src, 0);
        std::string error;
        ASSERT_TRUE(c.Allocate(error));
        c.FreeAll();
        c.FreeAll();
    }
    std::set<ZuBuffer *> freed(src.freed.begin(), src.freed.end());
    EXPECT_EQ(src.freed.size(), 6u);
    EXPECT_EQ(freed, std::set<ZuBuffer *>(src.allocs.begin(), src.allocs.end()));

    struct Failing : FakeSource {
        ZuBuffer *AllocBuffer() override
        {
            if (allocs.size() == 2) throw std::runtime_error("no more");
            return FakeSource::AllocBuffer();
        }
    } failing;
    Channel c(failing, 0);
    std::string error;
    EXPECT_THROW(c.Allocate(error), std::runtime_error);
    EXPECT_EQ(failing.freed.size(), 2u);
    EXPECT_EQ(c.BufferCount(), 0u);
}

TEST(Channel, StreamsEveryFrameInOrderWithBlockIdsFromOne)
{
    // Through a sender that holds sent buffers for resends, and one that
    // holds none; with buffers to spare, and with the only one there is.
    for (auto [holds, buffers] : {std::pair{true, 8}, {false, 8}, {true, 1}, {false, 1}}) {
        CallLog log;
        FakeSource src(&log);
        src.bufferCount = buffers;
        Channel c(src, 0);
        std::string error;
        ASSERT_TRUE(c.Allocate(error));
        RecordingSender sender;
        sender.holds = holds;
        c.StartStreaming(sender, nullptr);
        ASSERT_TRUE(sender.WaitFor(50));
        c.StopStreaming();
        for (size_t i = 0; i < 50; ++i) {
            EXPECT_EQ(sender.blocks[i].id, i + 1);
            EXPECT_EQ(sender.blocks[i].firstByte, uint8_t(i + 1));
            EXPECT_EQ(sender.blocks[i].bufferBlockId, i + 1);
        }
        EXPECT_EQ(c.Counters().blocksSent, sender.blocks.size());
        // The streaming calls come in their order, around the acquisition.
        EXPECT_LT(log.First("GetTxNumBuffersToUse"), log.First("OnStreamingStart"));
        EXPECT_LT(log.First("OnStreamingStart"), log.First("QueueBuffer"));
        EXPECT_LT(log.First("AbortQueuedBuffers"), log.First("OnStreamingStop"));
        // Whatever the sender still held for resends was given back.
        EXPECT_TRUE(sender.holding.empty());
        // A sent buffer is never queued again while the sender holds it.
        EXPECT_EQ(sender.sentWhileHeld, 0);
    }
}

TEST(Channel, ABuffersBlockIdIsTheIdItHasOnTheWire)
{
    // Standard ids run from 1 to 65535 and start again at 1, never 0;
    // extended ones count on.
    for (bool extended : {false, true}) {
        FakeSource src;
        src.bufferCount = 8;
        Channel c(src, 0);
        c.Config().extendedIds = extended;
        std::string error;
        ASSERT_TRUE(c.Allocate(error));
        RecordingSender sender;
        c.StartStreaming(sender, nullptr);
        const bool sent = sender.WaitFor(65537, std::chrono::seconds(120));
        c.StopStreaming();
        ASSERT_TRUE(sent);
        for (size_t i = 0; i < 65537; ++i) {
            const uint64_t wire = extended || i < 65535 ? i + 1 : i + 1 - 65535;
            ASSERT_EQ(sender.blocks[i].id, wire) << extended << " " << i;
            ASSERT_EQ(sender.blocks[i].bufferBlockId, wire) << extended << " " << i;
        }
    }
}

TEST(Channel, UsesTheSourcesBufferCountWithinItsLimits)
{
    struct Case {
        uint32_t result, count, expected;
    };
    for (Case k : {Case{ZU_OK, 6, 6}, Case{ZU_OK, 2, 4}, Case{ZU_OK, 99, 10}, Case{ZU_NOT_IMPLEMENTED, 6, 10},
                   Case{ZU_GENERIC_ERROR, 5, 10}}) {
        FakeSource src;
        src.bufferCount = 10;
        src.txResult = k.result;
        src.txCount = k.count;
        Channel c(src, 0);
        std::string error;
        ASSERT_TRUE(c.Allocate(error));
        RecordingSender sender;
        c.StartStreaming(sender, nullptr);
        EXPECT_EQ(c.BuffersInUse(), k.expected) << k.result << " " << k.count;
        ASSERT_TRUE(sender.WaitFor(3));
        c.StopStreaming();
        std::set<ZuBuffer *> used;
        for (auto &b : sender.blocks) used.insert(b.buffer);
        EXPECT_LE(used.size(), k.expected);
    }
}

TEST(Channel, RefusesBuffersItDidNotQueueAndSurvivesFailingRetrievals)
{
    FakeSource src;
    src.bufferCount = 4;
    ZuBuffer stranger(ZuPayloadTypeImage);
    std::atomic<int> strangers{0};
    src.onRetrieve = [&](ZuBuffer **out) {
        if (strangers < 3) {
            ++strangers;
            *out = &stranger;
            return true;
        }
        return false;
    };
    src.failEvery = 7;
    Channel c(src, 0);
    std::string error;
    ASSERT_TRUE(c.Allocate(error));
    RecordingSender sender;
    c.StartStreaming(sender, nullptr);
    ASSERT_TRUE(sender.WaitFor(20));
    c.StopStreaming();
    EXPECT_EQ(c.Counters().foreignBuffers, 3u);
    EXPECT_GE(c.Counters().sourceFailures, 1u);
    for (auto &b : sender.blocks) EXPECT_NE(b.buffer, &stranger);
    // Block ids stay consecutive: a failed retrieval costs no id.
    for (size_t i = 0; i < sender.blocks.size(); ++i) EXPECT_EQ(sender.blocks[i].id, i + 1);
}

TEST(Channel, AStopTakesBackWhatAQuickSourceHoldsAndLeavesASlowOneItsBuffersUntilTheyComeBack)
{
    for (const bool slowSource : {false, true}) {
        CallLog log;
        FakeSource src(&log);
        src.bufferCount = 4;
        src.paused = true;   // holds every queued buffer until aborted
        std::atomic<bool> slow{slowSource};
        src.onRetrieve = [&](ZuBuffer **) {
            log.Add("RetrieveBuffer");
            if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(700));
            return false;
        };
        Channel c(src, 0);
        std::string error;
        ASSERT_TRUE(c.Allocate(error));
        RecordingSender sender;
        c.StartStreaming(sender, nullptr);
        ASSERT_TRUE(eventually([&] {
            std::lock_guard<std::mutex> l(src.lock);
            return src.queued.size() == 4;
        }));
        c.StopStreaming();
        // A stop waits for the up-call in progress, and asks a slow source
        // nothing more once aborted: it keeps its buffers.
        const auto calls = log.Snapshot();
        const auto aborted = std::find(calls.begin(), calls.end(), "AbortQueuedBuffers");
        ASSERT_NE(aborted, calls.end());
        EXPECT_EQ(std::count(aborted, calls.end(), "RetrieveBuffer") == 0, slowSource);
        {
            std::lock_guard<std::mutex> l(src.lock);
            EXPECT_TRUE(src.aborted);
            EXPECT_EQ(src.queued.size(), slowSource ? 4u : 0u);
        }
        EXPECT_TRUE(sender.blocks.empty());
        // Streaming again, what a slow source kept comes back first: neither
        // queued again meanwhile nor sent, for its frames are from before
        // (fills 1 to 4 went to the four aborted buffers either way).
        slow = false;
        src.paused = false;
        c.StartStreaming(sender, nullptr);
        ASSERT_TRUE(sender.WaitFor(10));
        c.StopStreaming();
        EXPECT_EQ(sender.blocks.front().firstByte, 5);
        EXPECT_EQ(sender.sentWhileHeld, 0);
    }
}

TEST(Channel, StoppingFromInsideAnUpCallDoesNotJoinItself)
{
    FakeSource src;
    src.bufferCount = 4;
    Channel *channel = nullptr;
    std::atomic<bool> stopped{false};
    // Set once the stopping up-call is done with the source: the test's
    // source and locals must outlive the let-go thread's last use of them.
    std::atomic<bool> done{false};
    src.onRetrieve = [&](ZuBuffer **) {
        if (stopped.exchange(true)) return false;
        channel->StopStreaming();
        done = true;
        return true;  // answered here, nothing more read of the source
    };
    auto c = std::make_unique<Channel>(src, 0);
    channel = c.get();
    std::string error;
    ASSERT_TRUE(c->Allocate(error));
    RecordingSender sender;
    c->StartStreaming(sender, nullptr);
    ASSERT_TRUE(eventually([&] { return stopped.load(); }));
    ASSERT_TRUE(eventually([&] { return !channel->Streaming(); }));
    // The channel may go while the stopping thread still tells the source.
    c.reset();
    EXPECT_TRUE(eventually([&] { return done.load(); }));
    std::lock_guard<std::mutex> l(src.lock);
    EXPECT_TRUE(src.aborted);
}
