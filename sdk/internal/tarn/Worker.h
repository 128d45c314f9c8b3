#ifndef TARN_WORKER_H
#define TARN_WORKER_H

// The one kind of thread the SDK runs (receivers, the pipeline, a device's
// heartbeat and event threads, the software camera's threads, the
// transmitter, the serial poller, the updater).
//
// A thread is often stopped from inside one of its own calls: a sink that
// stops the pipeline, closes the port or deletes the device it was called
// for. Such a stop cannot wait for the thread, and the object that owned
// the thread may be gone by the time the call returns. So the body gets a
// Control that lives as long as the thread does: after any call that may
// have stopped it, the body asks Abandoned() and, when true, returns at
// once without touching its owner again.

#include "ZuResult.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tarn {

class ZU_API Worker
{
public:
    // What one run of the thread shares with whoever stops it.
    class ZU_API Control
    {
    public:
        // A stop was asked: the body leaves its loop (and may still tidy up
        // what its owner holds, unless Abandoned()).
        bool Stopping() const { return mStopping.load(); }
        // The stop came from the thread itself: nothing waits for it and the
        // owner may be gone, so the body returns touching nothing of it.
        bool Abandoned() const { return mAbandoned.load(); }
        // Sleeps for aTime or until a stop is asked; false once asked.
        bool Sleep(std::chrono::nanoseconds aTime);

        // Whose the thread is, as its owner marks it, so that a call made
        // on it tells its owner's own thread from others'; null until marked.
        // Used on the thread itself (through Current()).
        void SetOwner(const void *aOwner) { mOwner = aOwner; }
        const void *Owner() const { return mOwner; }
        // What a long wait on the thread says from time to time, so that
        // whoever asked for the wait hears it goes on; set while such a
        // request is served (null: nothing). Used on the thread itself.
        void SetStillBusy(void (*aHook)()) { mStillBusy = aHook; }
        void StillBusy() const
        {
            if (mStillBusy) mStillBusy();
        }

    private:
        friend class Worker;
        std::atomic<bool> mStopping{false};
        std::atomic<bool> mAbandoned{false};
        std::atomic<std::thread::id> mId{std::thread::id()};
        std::mutex mLock;
        std::condition_variable mWake;
        bool mEnded = false;
        std::function<void()> mOnStop;
        const void *mOwner = nullptr;
        void (*mStillBusy)() = nullptr;
    };
    typedef std::function<void(Control &)> Body;

    Worker() = default;
    // Stops the thread (see Stop).
    ~Worker();
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    // Runs aBody on a new thread, after stopping the one before (see Stop).
    // aOnStop wakes what the body waits on besides Control::Sleep (a poll
    // loop, a condition under its owner's lock); it is called on the thread
    // that asks for the stop, once the stop flag is set. A priority other
    // than 0 is applied as by SetPriority; refused, the thread runs on.
    // ZU_THREAD_ERROR when the system gives no thread.
    ZuResult Start(Body aBody, std::function<void()> aOnStop = nullptr, uint32_t aPriority = 0);

    // Asks the thread to stop and returns at once.
    void RequestStop();
    // Asks the thread to stop and waits until it has ended; asked from the
    // thread itself, the thread is abandoned instead (see Control), so that
    // a thread never waits for itself.
    void Stop();

    // The body runs (it has not returned yet).
    bool Running() const;
    // The caller is this worker's thread.
    bool OnThread() const;
    // The scheduling of the thread: 0 for the normal scheduler, 1 to 99 for
    // SCHED_FIFO. ZU_INVALID_PARAMETER above 99; ZU_OK without a thread;
    // ZU_THREAD_ERROR when the system refused it.
    ZuResult SetPriority(uint32_t aPriority);

    // The control of the worker thread the caller runs on, null on any
    // other thread.
    static Control *Current();

private:
    // Asks one run to stop (its flag, its wake, its owner's wake).
    static void Ask(const std::shared_ptr<Control> &aControl);

    mutable std::mutex mLock;  // the control and the thread, not the run
    std::shared_ptr<Control> mControl;
    std::thread mThread;
};

} // namespace tarn

#endif
