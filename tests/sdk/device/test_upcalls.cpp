// The gate a binding closes when its interpreter finalises: no sink is
// called after it, and closing waits for a call in progress elsewhere. The
// gate is process-wide and stays closed, so each case runs in a child.
#include "DeviceSinks.h"
#include "fixture.h"

#include <atomic>
#include <string>

using tarn::UpCalls;
using tarn::device::DeviceSinks;

namespace {

struct Counter : ZuDeviceEventSink {
    std::atomic<int> calls{0};
    void OnCmdLinkRead(const void *, int64_t, int64_t) override { ++calls; }
};

void CallAll(DeviceSinks &aList)
{
    aList.ForEach([](ZuDeviceEventSink *s) { s->OnCmdLinkRead(nullptr, 0, 0); }, [] { return false; });
}

} // namespace

int NoSinkIsCalledOnceClosed()
{
    auto list = std::make_shared<DeviceSinks>();
    Counter sink;
    list->Add(&sink);
    CallAll(*list);
    UpCalls::Close();
    CallAll(*list);
    list->Remove(&sink);
    return sink.calls == 1 && UpCalls::Closed() && !UpCalls::Enter() ? 0 : 1;
}

int ClosingWaitsForACallInProgressButNotForItsOwn()
{
    fixture::Flag inside;
    fixture::Flag release;
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        UpCalls::Scope call;
        inside.Set();
        release.Wait();
        returned = true;
    });
    inside.Wait();
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release.Set();
    });
    bool waited = false;
    {
        // Closing from inside a call of this thread's own.
        UpCalls::Scope mine;
        UpCalls::Close();
        waited = returned;
    }
    caller.join();
    opener.join();
    return waited ? 0 : 1;
}

std::string gStopped;

int ExitStopsEachOrderStepsFirstThenLiveObjectsAsTheyCameButNotTheGone()
{
    int a = 0, b = 0, c = 0, d = 0;
    UpCalls::Live(&a, 2, [] { gStopped += "a"; });
    UpCalls::Live(&b, 1, [] { gStopped += "b"; });
    UpCalls::Live(&c, 1, [] { gStopped += "c"; });
    UpCalls::Live(&d, 1, [] { gStopped += "d"; });
    UpCalls::Gone(&c);
    UpCalls::AtExit(2, [] { gStopped += "2"; });
    UpCalls::AtExit(1, [] { gStopped += "1"; });
    UpCalls::Exit();
    return gStopped == "1bd2a" && UpCalls::IsLive(&a) && !UpCalls::IsLive(&c) && UpCalls::Closed() ? 0 : 1;
}

TEST(UpCallGate, ExitStopsEachOrderStepsFirstThenLiveObjectsAsTheyCameButNotTheGone)
{
    EXPECT_EXIT(std::exit(ExitStopsEachOrderStepsFirstThenLiveObjectsAsTheyCameButNotTheGone()),
                ::testing::ExitedWithCode(0), "");
}

TEST(UpCallGate, NoSinkIsCalledOnceClosed)
{
    EXPECT_EXIT(std::exit(NoSinkIsCalledOnceClosed()), ::testing::ExitedWithCode(0), "");
}

TEST(UpCallGate, ClosingWaitsForACallInProgressButNotForItsOwn)
{
    EXPECT_EXIT(std::exit(ClosingWaitsForACallInProgressButNotForItsOwn()), ::testing::ExitedWithCode(0), "");
}
