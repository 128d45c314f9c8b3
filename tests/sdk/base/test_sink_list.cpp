// The SDK's one sink list: a removal returns only once no other thread is
// in the sink, a sink may leave from inside its own call and is not freed
// under it, and a sink removed meanwhile is not called.
#include "tarn/SinkList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct Sink {
    virtual ~Sink() = default;
    virtual void Call() = 0;
};

struct Counter : Sink {
    std::atomic<int> calls{0};
    void Call() override { ++calls; }
};

typedef tarn::SinkList<Sink> List;

} // namespace

TEST(SinkList, RegistrationAnswers)
{
    List list;
    Counter a;
    EXPECT_EQ(list.Add(nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(list.Add(&a).IsOK());
    EXPECT_EQ(list.Add(&a).GetCode(), uint32_t(ZU_GENERIC_ERROR));
    EXPECT_EQ(list.Add(&a, ZU_NOT_SUPPORTED).GetCode(), uint32_t(ZU_NOT_SUPPORTED));
    EXPECT_TRUE(list.Contains(&a));
    EXPECT_EQ(list.Remove(nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(list.Remove(&a).IsOK());
    EXPECT_EQ(list.Remove(&a).GetCode(), uint32_t(ZU_NOT_FOUND));
    EXPECT_TRUE(list.Empty());
}

// With contexts, the pair is the entry: chosen calls are handed their own
// context in the order chosen, and a pair taken out, even by an earlier call
// of the round, is not called.
TEST(SinkList, PairsOfSinkAndContextAreEntriesOfTheirOwn)
{
    tarn::SinkList<Sink, int> list;
    Counter a;
    EXPECT_TRUE(list.Add(&a, 1).IsOK());
    EXPECT_TRUE(list.Add(&a, 2).IsOK());
    EXPECT_EQ(list.Add(&a, 2).GetCode(), uint32_t(ZU_GENERIC_ERROR));
    auto taken = list.Take(&a, 1);
    EXPECT_TRUE(taken && !list.Take(&a, 1) && list.Contains(&a, 2));
    list.Add(&a, 3);
    tarn::SinkList<Sink, int>::Pinned calls(list);
    EXPECT_FALSE(calls.Choose(&a, 1));
    EXPECT_TRUE(calls.Choose(&a, 3) && calls.Choose(&a, 2));
    std::vector<int> handed;
    calls.Make([&](Sink *s, int c) {
        s->Call(), handed.push_back(c);
        list.Take(&a, 2).Wait();
    });
    EXPECT_EQ(handed, (std::vector<int>{3}));
    taken.Wait();
}

TEST(SinkList, ARemovalWaitsForTheSinksCallOnAnotherThread)
{
    struct Slow : Sink {
        std::mutex lock;
        std::condition_variable changed;
        bool inside = false, release = false;
        std::atomic<bool> done{false};
        void Call() override
        {
            std::unique_lock<std::mutex> guard(lock);
            inside = true;
            changed.notify_all();
            changed.wait(guard, [this] { return release; });
            done = true;
        }
    } slow;
    List list;
    list.Add(&slow);
    auto call = std::async(std::launch::async, [&] { list.ForEach([](Sink *s) { s->Call(); }); });
    {
        std::unique_lock<std::mutex> guard(slow.lock);
        ASSERT_TRUE(slow.changed.wait_for(guard, 30s, [&] { return slow.inside; }));
    }
    auto removal = std::async(std::launch::async, [&] {
        list.Remove(&slow);
        return slow.done.load();
    });
    EXPECT_EQ(removal.wait_for(50ms), std::future_status::timeout);
    {
        std::lock_guard<std::mutex> guard(slow.lock);
        slow.release = true;
        slow.changed.notify_all();
    }
    EXPECT_TRUE(removal.get());  // never returned while the call ran
    call.get();
}

TEST(SinkList, ASinkLeavingInItsOwnCallIsKeptUntilTheCallReturnsAndTheOthersGoOn)
{
    // What keeps the sink alive, let go from inside its own call (as a
    // binding lets a sink go once it leaves), goes only once that call has
    // returned; the sink after it is still called, one removed by an
    // earlier call is not.
    struct Leaver : Sink {
        List *list = nullptr;
        Sink *alsoRemove = nullptr;
        bool *gone = nullptr;
        std::shared_ptr<void> held;
        bool aliveAfterLeaving = false;
        ~Leaver() override { *gone = true; }
        void Call() override
        {
            list->Remove(this);
            list->Remove(alsoRemove);
            tarn::UpCalls::ReleaseAfterCalls(std::move(held));
            aliveAfterLeaving = !*gone;
        }
    };
    List list;
    bool gone = false;
    auto leaver = std::make_shared<Leaver>();
    Leaver *raw = leaver.get();
    Counter removed, after;
    raw->list = &list;
    raw->alsoRemove = &removed;
    raw->gone = &gone;
    raw->held = leaver;
    list.Add(raw);
    leaver.reset();
    list.Add(&removed);
    list.Add(&after);
    bool seen = false;
    list.ForEach([&](Sink *s) {
        s->Call();
        if (s == raw) seen = static_cast<Leaver *>(s)->aliveAfterLeaving;
    });
    EXPECT_TRUE(seen);
    EXPECT_TRUE(gone);  // once its call returned
    EXPECT_EQ(removed.calls, 0);
    EXPECT_EQ(after.calls, 1);
}

TEST(SinkList, WhatIsLetGoOutsideACallGoesAtOnceAndInsideNestedCallsAfterTheOutermost)
{
    auto first = std::make_shared<int>(1);
    std::weak_ptr<int> w1 = first;
    EXPECT_FALSE(tarn::UpCalls::Calling());
    tarn::UpCalls::ReleaseAfterCalls(std::move(first));
    EXPECT_TRUE(w1.expired());
    auto second = std::make_shared<int>(2);
    std::weak_ptr<int> w2 = second;
    {
        tarn::UpCalls::Scope outer;
        {
            tarn::UpCalls::Scope inner;
            EXPECT_TRUE(tarn::UpCalls::Calling());
            tarn::UpCalls::ReleaseAfterCalls(std::move(second));
        }
        EXPECT_FALSE(w2.expired());
    }
    EXPECT_TRUE(w2.expired());
    EXPECT_FALSE(tarn::UpCalls::Calling());
}

TEST(SinkList, StopEndsTheRoundAndAThrowingSinkReleasesItsCall)
{
    List list;
    struct Thrower : Sink {
        void Call() override { throw 1; }
    } thrower;
    Counter a, b;
    list.Add(&a);
    list.Add(&b);
    int asked = 0;
    list.ForEach([](Sink *s) { s->Call(); }, [&] { return ++asked > 1; });
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 0);
    list.Add(&thrower);
    EXPECT_ANY_THROW(list.ForEach([](Sink *s) { s->Call(); }));
    // Its call counts as ended: removing it does not wait.
    auto removal = std::async(std::launch::async, [&] { return list.Remove(&thrower).IsOK(); });
    ASSERT_EQ(removal.wait_for(30s), std::future_status::ready);
    EXPECT_TRUE(removal.get());
}
