#include "tarn/UpCalls.h"

#include <condition_variable>
#include <mutex>

namespace tarn {

namespace {

struct Gate {
    std::mutex lock;
    std::condition_variable idle;
    int active = 0;
    bool closed = false;
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
    Gate &g = TheGate();
    std::lock_guard<std::mutex> lock(g.lock);
    --g.active;
    --tDepth;
    g.idle.notify_all();
}

void UpCalls::Close()
{
    Gate &g = TheGate();
    std::unique_lock<std::mutex> lock(g.lock);
    g.closed = true;
    g.idle.wait(lock, [&] { return g.active <= tDepth; });
}

bool UpCalls::Closed()
{
    Gate &g = TheGate();
    std::lock_guard<std::mutex> lock(g.lock);
    return g.closed;
}

} // namespace tarn
