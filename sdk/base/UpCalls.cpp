#include "tarn/UpCalls.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
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
    struct Stop {
        int order;
        std::function<void()> stop;
        uint64_t serial;
    };
    std::map<const void *, Stop> live;
    uint64_t serial = 0;
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
    // Each order's steps, then its objects; within an order, objects go in
    // the order they came.
    std::multimap<int, std::function<void()>> work;
    {
        Gate &g = TheGate();
        std::lock_guard<std::mutex> lock(g.lock);
        for (auto &step : g.exitSteps) work.emplace(step.first, step.second);
        g.exitSteps.clear();
        std::vector<std::pair<uint64_t, std::pair<int, std::function<void()>>>> objects;
        for (auto &entry : g.live) objects.push_back({entry.second.serial, {entry.second.order, entry.second.stop}});
        std::sort(objects.begin(), objects.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        for (auto &object : objects) work.emplace(object.second.first, std::move(object.second.second));
    }
    for (auto &step : work) step.second();
    Close();
}

void UpCalls::Live(const void *aObject, int aOrder, std::function<void()> aStop)
{
    Gate &g = TheGate();
    std::lock_guard<std::mutex> lock(g.lock);
    g.live[aObject] = Gate::Stop{aOrder, std::move(aStop), g.serial++};
}

void UpCalls::Gone(const void *aObject)
{
    std::function<void()> stop;
    {
        Gate &g = TheGate();
        std::lock_guard<std::mutex> lock(g.lock);
        auto it = g.live.find(aObject);
        if (it == g.live.end()) return;
        // What the stop holds goes outside the lock.
        stop = std::move(it->second.stop);
        g.live.erase(it);
    }
}

bool UpCalls::IsLive(const void *aObject)
{
    Gate &g = TheGate();
    std::lock_guard<std::mutex> lock(g.lock);
    return g.live.count(aObject) != 0;
}

bool UpCalls::Closed()
{
    Gate &g = TheGate();
    std::lock_guard<std::mutex> lock(g.lock);
    return g.closed;
}

} // namespace tarn
