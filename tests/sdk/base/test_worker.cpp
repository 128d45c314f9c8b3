// The SDK's one thread type: stopped from outside it is joined; stopped,
// restarted or destroyed from inside its own call it never waits for
// itself, and its body learns that its owner may be gone.
#include "tarn/Worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

using namespace std::chrono_literals;
using tarn::Worker;

namespace {

// Generous: a loaded machine may be slow, never this slow.
constexpr auto kLong = 30s;

// A one-shot signal between threads.
struct Flag {
    std::mutex lock;
    std::condition_variable changed;
    bool set = false;
    void Set()
    {
        std::lock_guard<std::mutex> guard(lock);
        set = true;
        changed.notify_all();
    }
    bool Wait(std::chrono::seconds aTime = kLong)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, aTime, [this] { return set; });
    }
};

} // namespace

TEST(Worker, StopWakesTheBodyThroughItsOwnWakeAndJoinsIt)
{
    // A body that waits on a condition of its owner, not on Sleep: only the
    // wake given to Start can end its wait.
    std::mutex lock;
    std::condition_variable cv;
    std::atomic<bool> tidied{false};
    Flag waiting;
    Worker worker;
    ASSERT_TRUE(worker.Start(
        [&](Worker::Control &c) {
            std::unique_lock<std::mutex> guard(lock);
            waiting.Set();
            cv.wait(guard, [&] { return c.Stopping(); });
            EXPECT_FALSE(c.Abandoned());
            tidied = true;
        },
        [&] {
            std::lock_guard<std::mutex> guard(lock);
            cv.notify_all();
        }).IsOK());
    ASSERT_TRUE(waiting.Wait());
    EXPECT_TRUE(worker.Running());
    EXPECT_FALSE(worker.OnThread());
    worker.Stop();
    EXPECT_TRUE(tidied);  // joined: what the body did on its way out is done
    EXPECT_FALSE(worker.Running());
    worker.Stop();  // again: nothing to do
}

TEST(Worker, SleepEndsEarlyOnStopAndTheThreadKnowsItself)
{
    Worker worker;
    std::atomic<bool> slept{true}, onThread{false}, current{false};
    Flag started;
    worker.Start([&](Worker::Control &c) {
        onThread = worker.OnThread();
        current = Worker::Current() == &c;
        started.Set();
        slept = c.Sleep(kLong);
    });
    ASSERT_TRUE(started.Wait());
    const auto before = std::chrono::steady_clock::now();
    worker.Stop();
    EXPECT_FALSE(slept);
    EXPECT_LT(std::chrono::steady_clock::now() - before, kLong);
    EXPECT_TRUE(onThread);
    EXPECT_TRUE(current);
    EXPECT_EQ(Worker::Current(), nullptr);
}

TEST(Worker, TheOwnersMarkAndTheBusyHookBelongToOneRun)
{
    static std::atomic<int> busy{0};
    Worker worker;
    int owner = 0;
    std::atomic<const void *> first{nullptr}, second{&owner};
    worker.Start([&](Worker::Control &c) {
        Worker::Current()->SetOwner(&owner);
        Worker::Current()->SetStillBusy([] { ++busy; });
        first = c.Owner();
        c.StillBusy();
    });
    worker.Stop();
    worker.Start([&](Worker::Control &c) {
        second = c.Owner();
        c.StillBusy();
    });
    worker.Stop();
    EXPECT_EQ(first.load(), &owner);
    EXPECT_EQ(second.load(), nullptr);
    EXPECT_EQ(busy.load(), 1);
}

TEST(Worker, AStopFromItsOwnCallAbandonsTheThreadAndAnOwnerDestroyedThereIsNotWaitedFor)
{
    // The owner (and its worker) goes from inside the body, as a sink that
    // deletes the object calling it: the thread returns on its own and sees
    // that it was abandoned.
    auto owner = std::make_unique<Worker>();
    Worker *raw = owner.get();
    Flag go, done;
    std::atomic<bool> abandoned{false}, stopping{false};
    raw->Start([&](Worker::Control &c) {
        go.Wait();
        owner.reset();  // ~Worker on its own thread
        abandoned = c.Abandoned();
        stopping = c.Stopping();
        done.Set();
    });
    go.Set();
    ASSERT_TRUE(done.Wait());
    EXPECT_TRUE(abandoned);
    EXPECT_TRUE(stopping);
}

TEST(Worker, AStartFromItsOwnCallReplacesTheRun)
{
    Worker worker;
    Flag second, firstDone;
    std::atomic<bool> firstAbandoned{false};
    std::atomic<int> runs{0};
    worker.Start([&](Worker::Control &c) {
        ++runs;
        worker.Start([&](Worker::Control &c2) {
            ++runs;
            second.Set();
            c2.Sleep(kLong);
        });
        firstAbandoned = c.Abandoned();
        firstDone.Set();  // nothing joins an abandoned run
    });
    ASSERT_TRUE(second.Wait());
    ASSERT_TRUE(firstDone.Wait());
    worker.Stop();
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(firstAbandoned);
}

TEST(Worker, AStopAfterAnAbandonWaitsForTheAbandonedRunToEnd)
{
    Worker worker;
    Flag abandoned, release;
    std::atomic<bool> ended{false};
    worker.Start([&](Worker::Control &) {
        worker.Stop();
        abandoned.Set();
        release.Wait();  // still inside the call that stopped it
        ended = true;
    });
    ASSERT_TRUE(abandoned.Wait());
    auto stopping = std::async(std::launch::async, [&] { worker.Stop(); });
    EXPECT_EQ(stopping.wait_for(50ms), std::future_status::timeout);
    release.Set();
    stopping.get();
    EXPECT_TRUE(ended);
}

TEST(Worker, TwoStopsAtOnceBothReturnOnlyOnceTheThreadEnded)
{
    Worker worker;
    Flag inside, release;
    std::atomic<bool> ended{false};
    worker.Start([&](Worker::Control &) {
        inside.Set();
        release.Wait();  // deaf to the stop for a while
        ended = true;
    });
    ASSERT_TRUE(inside.Wait());
    auto a = std::async(std::launch::async, [&] {
        worker.Stop();
        return ended.load();
    });
    auto b = std::async(std::launch::async, [&] {
        worker.Stop();
        return ended.load();
    });
    EXPECT_EQ(a.wait_for(50ms), std::future_status::timeout);
    release.Set();
    EXPECT_TRUE(a.get());
    EXPECT_TRUE(b.get());
}

TEST(Worker, WhatTheBodyHoldsGoesOnItsThreadEvenWhenItOwnsTheWorker)
{
    // A thread that keeps its owner alive, as a reaper does: when the body
    // ends, the last hold goes on the worker's own thread, and the owner's
    // worker is destroyed there without waiting for itself.
    struct Owner {
        Worker worker;
        Flag *gone = nullptr;
        ~Owner() { gone->Set(); }
    };
    Flag gone;
    auto owner = std::make_shared<Owner>();
    owner->gone = &gone;
    owner->worker.Start([keep = owner](Worker::Control &) {});
    owner.reset();
    EXPECT_TRUE(gone.Wait());
}

TEST(Worker, PrioritiesOutOfRangeAreRefusedAndNoThreadAcceptsAny)
{
    Worker worker;
    EXPECT_EQ(worker.SetPriority(100).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(worker.SetPriority(50).IsOK());  // no thread: kept for nothing
    worker.Start([](Worker::Control &c) { c.Sleep(kLong); });
    EXPECT_TRUE(worker.SetPriority(0).IsOK());
    const ZuResult fifo = worker.SetPriority(10);
    EXPECT_TRUE(fifo.IsOK() || fifo.GetCode() == ZU_THREAD_ERROR);
    worker.Stop();
}

TEST(Worker, StartsFromSeveralThreadsAtOnceLeaveOneRunAtATime)
{
    Worker worker;
    std::atomic<int> running{0}, most{0};
    auto body = [&](Worker::Control &aControl) {
        const int now = ++running;
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        while (!aControl.Stopping()) aControl.Sleep(1ms);
        --running;
    };
    std::vector<std::future<void>> starters;
    for (int k = 0; k < 4; ++k)
        starters.push_back(std::async(std::launch::async, [&] {
            for (int i = 0; i < 200; ++i) EXPECT_TRUE(worker.Start(body).IsOK());
        }));
    for (auto &s : starters) s.get();
    worker.Stop();
    EXPECT_EQ(most.load(), 1);
    EXPECT_EQ(running.load(), 0);
}
