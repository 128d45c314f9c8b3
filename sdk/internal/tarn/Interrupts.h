#ifndef TARN_INTERRUPTS_H
#define TARN_INTERRUPTS_H

// The SDK's long waits on an application's thread (a buffer from a stream
// or a pipeline, a free buffer of a transmitter, bytes of a serial port,
// the end of a device's events, the register map's lock, and every wait on
// sockets: a device's answer, discovery) end early when the application
// is interrupted, as a Python script is by Ctrl-C. A
// binding installs the check: it runs between slices of a wait, with no
// lock of the SDK held, and answers true once the caller was interrupted
// (the binding has then set the error it raises when the call returns).
// The wait then ends without taking anything, so nothing is lost.
// Without a check, waits are as long as asked. One check for the process,
// in libZuBase.

#include "ZuBaseApi.h"
#include "ZuResult.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tarn {

struct ZU_API Interrupts {
    typedef bool (*Check)();
    // Null removes it.
    static void Install(Check aCheck);
    static bool Installed();
    // The check's answer; false without one. Once it answered true, true
    // on this thread until Take: every other wait of the interrupted call
    // ends at once too.
    static bool Asked();
    // Whether the check answered true on this thread and Take has not come
    // yet (asks nothing).
    static bool Pending();
    // Whether the check answered true on this thread since the last time
    // this was asked: the binding raises its error for that call, whichever
    // of its modules made it.
    static bool Take();

    // What a wait that was interrupted answers.
    static ZuResult Result() { return ZuResult(ZU_ABORTED, ZuString("the wait was interrupted")); }

    // How long a wait goes between two looks at the check.
    static constexpr std::chrono::milliseconds kSlice{100};
    // The time-out that waits without limit.
    static constexpr uint32_t kForever = 0xFFFFFFFFu;

    enum class Wait { Done, TimedOut, Interrupted };

    // The waits of one wait on descriptors (a poll, a receive with a
    // time-out) as slices: the first the whole time-out, as the clock was
    // just read and reading it costs about as much as a short system call,
    // each later one what is left, none longer than kSlice while a check is
    // installed.
    class Slices {
    public:
        using Clock = std::chrono::steady_clock;
        // aTimeoutMs < 0 waits without limit; aUntil is when aTimeoutMs ends.
        Slices(int64_t aTimeoutMs, Clock::time_point aUntil) : mTimeoutMs(aTimeoutMs), mUntil(aUntil) {}
        explicit Slices(int64_t aTimeoutMs)
            : Slices(aTimeoutMs, Clock::now() + std::chrono::milliseconds(aTimeoutMs < 0 ? 0 : aTimeoutMs))
        {
        }
        // Done with the next wait in aWaitMs (-1: without limit), or why
        // there is none.
        Wait Next(int64_t &aWaitMs)
        {
            if (Pending()) return Wait::Interrupted;
            aWaitMs = -1;
            if (mTimeoutMs >= 0) {
                aWaitMs = mFirst ? mTimeoutMs
                                 : std::chrono::ceil<std::chrono::milliseconds>(mUntil - Clock::now()).count();
                if (aWaitMs <= 0) return Wait::TimedOut;
            }
            mFirst = false;
            mSliced = (aWaitMs < 0 || aWaitMs > kSlice.count()) && Installed();
            if (mSliced) aWaitMs = kSlice.count();
            return Wait::Done;
        }
        // After a wait that ended with nothing: whether the caller was
        // interrupted meanwhile.
        bool Interrupted() const { return mSliced && Asked(); }

    private:
        int64_t mTimeoutMs;
        Clock::time_point mUntil;
        bool mFirst = true;
        bool mSliced = false;
    };

    // Waits on aChanged, under aLock, until aDone() or aTimeoutMs pass
    // (kForever: no limit). Interrupted, it returns so whatever aDone()
    // says by then: the caller takes nothing and reports the interruption.
    template <class Done>
    static Wait WaitFor(std::condition_variable &aChanged, std::unique_lock<std::mutex> &aLock, uint32_t aTimeoutMs,
                        Done aDone)
    {
        using Clock = std::chrono::steady_clock;
        const bool forever = aTimeoutMs == kForever;
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(forever ? 0 : aTimeoutMs);
        for (;;) {
            if (!Installed()) {
                if (forever) {
                    aChanged.wait(aLock, aDone);
                    return Wait::Done;
                }
                return aChanged.wait_until(aLock, until, aDone) ? Wait::Done : Wait::TimedOut;
            }
            Clock::time_point next = Clock::now() + kSlice;
            if (!forever && until < next) next = until;
            if (aChanged.wait_until(aLock, next, aDone)) return Wait::Done;
            if (!forever && Clock::now() >= until) return Wait::TimedOut;
            aLock.unlock();
            const bool interrupted = Asked();
            aLock.lock();
            if (interrupted) return Wait::Interrupted;
        }
    }
};

} // namespace tarn

#endif
