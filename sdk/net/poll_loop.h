#ifndef TARN_NET_POLL_LOOP_H
#define TARN_NET_POLL_LOOP_H

// One thread waiting on several descriptors at once, until a deadline or
// until another thread asks it to stop. The stop request is an eventfd the
// loop also waits on, so it is never lost: a stop before Run() makes the
// next Run() return at once.

#include "net/socket.h"

#include <functional>
#include <vector>

namespace tarn {
namespace net {

class PollLoop
{
public:
    // Called when its descriptor is readable; false ends the run.
    using Handler = std::function<bool(int aFd)>;

    enum class Exit {
        Stopped,   // Stop() was called
        Done,      // a handler returned false
        TimedOut,  // the time-out passed
        Failed,    // the loop could not wait (no wake-up descriptor, poll failed)
        Interrupted,  // the application's thread was interrupted (tarn/Interrupts.h)
    };

    PollLoop();
    PollLoop(const PollLoop &) = delete;
    PollLoop &operator=(const PollLoop &) = delete;

    bool Valid() const { return bool(mWake); }

    // Watches a descriptor (set up before run, not while it runs).
    void Watch(int aFd, Handler aHandler);
    // Stops watching every descriptor (between runs), for one that was
    // replaced by another.
    void Clear() { mWatches.clear(); }

    // Waits and dispatches until one of the exits; aTimeoutMs < 0 waits
    // without end. A pending socket error is cleared; a descriptor that can
    // no longer be used is dropped from the run instead of spinning it.
    // Where the application installed an interrupt check, a wait asks it
    // between slices, as every wait on an application's thread does.
    Exit Run(int aTimeoutMs = -1);

    // Ends the current or the next run; safe from any thread.
    void Stop();

private:
    struct Watched {
        int fd;
        Handler handler;
    };
    Fd mWake;
    std::vector<Watched> mWatches;
};

} // namespace net
} // namespace tarn

#endif
