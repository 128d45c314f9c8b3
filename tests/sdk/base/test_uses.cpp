// The one rule for Free: an object's deletion waits for the calls in
// progress on it, whichever thread makes them and however deeply they
// nest, runs once, on the thread whose call ends last, and never waits
// itself.
#include "tarn/Uses.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <utility>

using namespace std::chrono_literals;
using tarn::Uses;

namespace {

// A thread inside `outer` calls on another object that enters an object
// `depth` times, then waits to be told to leave each call again (the
// innermost first).
struct Caller {
    std::promise<void> entered, leave;
    std::future<std::thread::id> done;
    int other = 0;
    Caller(const void *aObject, int aDepth, int aOuter = 0)
    {
        done = std::async(std::launch::async, [this, aObject, aDepth, aOuter] {
            for (int k = 0; k < aOuter; ++k) Uses::Enter(&other);
            for (int k = 0; k < aDepth; ++k) Uses::Enter(aObject);
            entered.set_value();
            leave.get_future().wait();
            for (int k = 0; k < aDepth; ++k) Uses::Leave(aObject);
            for (int k = 0; k < aOuter; ++k) Uses::Leave(&other);
            return std::this_thread::get_id();
        });
        entered.get_future().wait();
    }
    std::thread::id Leave()
    {
        leave.set_value();
        return done.get();
    }
};

} // namespace

TEST(Uses, ADeletionWaitsForTheLastCallOnTheObjectHoweverDeepAndRunsOnceOnItsThread)
{
    // Calls on other threads at these depths, inside as many calls on
    // another object (past the thread's slots too), and one on this
    // thread: the deletion runs as the last of them ends.
    for (auto [depth, outer] : {std::pair<int, int>{1, 0}, {3, 0}, {40, 0}, {2, 16}, {1, 30}}) {
        int object = 0;
        std::atomic<int> deleted{0};
        std::atomic<std::thread::id> where{};
        auto deletion = [&] {
            ++deleted;
            where = std::this_thread::get_id();
        };
        Caller a(&object, depth, outer), b(&object, 1);
        Uses::Enter(&object);
        EXPECT_TRUE(Uses::Deferring(&object)) << depth;
        EXPECT_TRUE(Uses::Defer(&object, deletion)) << depth;
        EXPECT_TRUE(Uses::Defer(&object, deletion)) << "a second Free: deferred once";
        b.Leave();
        Uses::Leave(&object);
        EXPECT_EQ(deleted, 0) << depth;
        const std::thread::id last = a.Leave();
        EXPECT_EQ(deleted, 1) << depth;
        EXPECT_EQ(where.load(), last) << depth;
        // Gone: the next object at that address is deleted at once.
        EXPECT_FALSE(Uses::Deferring(&object));
        EXPECT_FALSE(Uses::Defer(&object, deletion));
    }
}

TEST(Uses, AFreeFromInsideACallOnTheObjectRunsAsThatCallEnds)
{
    int object = 0, other = 0;
    int deleted = 0;
    Uses::Enter(&object);
    Uses::Enter(&other);   // a sink's call, inside the object's
    EXPECT_TRUE(Uses::Defer(&object, [&] { ++deleted; }));
    Uses::Leave(&other);
    EXPECT_EQ(deleted, 0);
    Uses::Leave(&object);
    EXPECT_EQ(deleted, 1);
}

TEST(Uses, ADrainWaitsForOtherThreadsCallsButNotItsOwn)
{
    int object = 0;
    Uses::Enter(&object);
    EXPECT_FALSE(Uses::InUse(&object));
    Uses::Drain(&object);   // its own call: no wait
    Uses::Leave(&object);
    Caller a(&object, 2);
    EXPECT_TRUE(Uses::InUse(&object));
    auto drained = std::async(std::launch::async, [&] { Uses::Drain(&object); });
    EXPECT_EQ(drained.wait_for(50ms), std::future_status::timeout);
    a.Leave();
    EXPECT_EQ(drained.wait_for(30s), std::future_status::ready);
}
