#include "tarn/UpCalls.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

namespace tarn {

namespace {

struct Gate {
    std::mutex lock;
    std::condition_variable idle;
    int active = 0;
    bool closed = false;
    bool exitAsked = false;
    std::multimap<int, void (*)()> exitSteps;
};

// Never destroyed: SDK threads may still pass the gate while the process
// ends and static objects go.
Gate &TheGate()
{
    static Gate *sGate = new Gate;
    return *sGate;
}

// Calls this thread has in progress: closing from inside one of them does
// not wait for itself.
thread_local int tDepth = 0;
// What goes once they have returned.
thread_local std::vector<std::shared_ptr<void>> tAfterCalls;

} // namespace

bool UpCalls::Enter()
{
    Gate &g = TheGate();
    std::lock_guard<std::mutex> lock(g.lock);
    if (g.closed) return false;
    ++g.active;
    ++tDepth;
    return true;
}

void UpCalls::Leave()
{
    {
        Gate &g = TheGate();
        std::lock_guard<std::mutex> lock(g.lock);
        --g.active;
        --tDepth;
        g.idle.notify_all();
    }
    if (tDepth == 0 && !tAfterCalls.empty()) {
        // Released outside the gate's lock (a release may pass the gate).
        std::vector<std::shared_ptr<void>> released;
        released.swap(tAfterCalls);
    }
}

bool UpCalls::Calling() { return tDepth > 0; }

void UpCalls::ReleaseAfterCalls(std::shared_ptr<void> aHeld)
{
    if (tDepth > 0) tAfterCalls.push_back(std::move(aHeld));
}

void UpCalls::Close()
{
    Gate &g = TheGate();
    std::unique_lock<std::mutex> lock(g.lock);
    g.closed = true;
    g.idle.wait(lock, [&] { return g.active <= tDepth; });
}

bool UpCalls::AtExit(int aOrder, void (*aStep)())
{
    Gate &g = TheGate();
    std::lock_guard<std::mutex> lock(g.lock);
    if (aStep) g.exitSteps.emplace(aOrder, aStep);
    const bool first = !g.exitAsked;
    g.exitAsked = true;
    return first;
}

void UpCalls::Exit()
{
    std::vector<void (*)()> steps;
    {
        Gate &g = TheGate();
        std::lock_guard<std::mutex> lock(g.lock);
        for (auto &step : g.exitSteps) steps.push_back(step.second);
        g.exitSteps.clear();
    }
    for (auto step : steps) step();
    Close();
}

bool UpCalls::Closed()
{
    Gate &g = TheGate();
    std::lock_guard<std::mutex> lock(g.lock);
    return g.closed;
}

} // namespace tarn
