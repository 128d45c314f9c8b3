#include "ZuFPSStabilizer.h"

#include <chrono>
#include <deque>
#include <mutex>

using Clock = std::chrono::steady_clock;

struct ZuFPSStabilizer::Impl {
    std::mutex lock;
    bool started = false;
    uint32_t target = 0;
    Clock::time_point next;
    std::deque<Clock::time_point> shown;   // displays of the last second

    void Forget(Clock::time_point aNow)
    {
        while (!shown.empty() && aNow - shown.front() >= std::chrono::seconds(1)) shown.pop_front();
    }
};

ZuFPSStabilizer::ZuFPSStabilizer() : mImpl(new Impl) {}
ZuFPSStabilizer::~ZuFPSStabilizer() { delete mImpl; }

bool ZuFPSStabilizer::IsTimeToDisplay(uint32_t aTargetFPS)
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    Impl &d = *mImpl;
    const auto now = Clock::now();
    d.Forget(now);
    if (!aTargetFPS) return false;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / aTargetFPS));
    // A new target applies from the last display on.
    if (d.started && aTargetFPS != d.target) d.next = (d.shown.empty() ? now : d.shown.back()) + period;
    d.target = aTargetFPS;
    if (d.started && now < d.next) return false;
    // Displays follow a schedule of one per period, so that frames arriving
    // between two slots do not lower the rate; after a pause it starts again
    // from now rather than catching up in a burst.
    d.next = d.started && d.next + period >= now ? d.next + period : now + period;
    d.started = true;
    d.shown.push_back(now);
    return true;
}

uint32_t ZuFPSStabilizer::GetAverage()
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    mImpl->Forget(Clock::now());
    return uint32_t(mImpl->shown.size());
}

void ZuFPSStabilizer::Reset()
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    mImpl->started = false;
    mImpl->target = 0;
    mImpl->shown.clear();
}
