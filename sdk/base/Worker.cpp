#include "tarn/Worker.h"

#include <cxxabi.h>
#include <pthread.h>
#include <sched.h>
#include <system_error>

namespace tarn {

namespace {

thread_local Worker::Control *tCurrent = nullptr;

ZuResult Schedule(std::thread &aThread, uint32_t aPriority)
{
    if (aPriority > 99) return ZuResult(ZU_INVALID_PARAMETER, ZuString("priorities run from 0 to 99"));
    if (!aThread.joinable()) return ZuResult();
    sched_param param{};
    param.sched_priority = int(aPriority);
    if (pthread_setschedparam(aThread.native_handle(), aPriority ? SCHED_FIFO : SCHED_OTHER, &param) != 0)
        return ZuResult(ZU_THREAD_ERROR, ZuString("the system refused the priority (real-time scheduling needs the privilege)"));
    return ZuResult();
}

} // namespace

bool Worker::Control::Sleep(std::chrono::nanoseconds aTime)
{
    std::unique_lock<std::mutex> lock(mLock);
    return !mWake.wait_for(lock, aTime, [this] { return mStopping.load(); });
}

Worker::~Worker()
{
    Stop();
}

ZuResult Worker::Start(Body aBody, std::function<void()> aOnStop, uint32_t aPriority)
{
    Stop();
    auto control = std::make_shared<Control>();
    control->mOnStop = std::move(aOnStop);
    // Held until the thread is stored, so that a stop from the body's very
    // first call finds it.
    std::unique_lock<std::mutex> lock(mLock);
    // A start on another thread may have stored its thread meanwhile, or a
    // stop on another thread be joining the last run: that run ends too,
    // so that one runs at a time (and no running thread is overwritten,
    // which would end the process). Started from the run itself, it was
    // let go above and finishes beside the new one, as it must.
    const auto busy = [this] {
        if (mThread.joinable()) return true;
        if (!mControl || mControl->mId.load() == std::this_thread::get_id()) return false;
        std::lock_guard<std::mutex> ended(mControl->mLock);
        return !mControl->mEnded;
    };
    while (busy()) {
        lock.unlock();
        Stop();
        lock.lock();
    }
    try {
        mThread = std::thread([control, body = std::move(aBody)]() mutable {
            control->mId = std::this_thread::get_id();
            tCurrent = control.get();
            try {
                body(*control);
            } catch (abi::__forced_unwind &) {
                throw;
            } catch (...) {
                // A body lets nothing escape on purpose; should it, the
                // thread ends rather than the process.
            }
            // What the body holds goes before the run counts as ended: it
            // may be what owns this very worker.
            body = nullptr;
            tCurrent = nullptr;
            // The system gives an ended thread's id to the next one it
            // starts: an application thread must not pass for this run.
            control->mId = std::thread::id();
            std::lock_guard<std::mutex> ended(control->mLock);
            control->mEnded = true;
            control->mWake.notify_all();
        });
    } catch (const std::system_error &) {
        return ZuResult(ZU_THREAD_ERROR, ZuString("the system gives no more threads"));
    }
    mControl = control;
    if (aPriority) Schedule(mThread, aPriority);
    return ZuResult();
}

void Worker::Ask(const std::shared_ptr<Control> &aControl)
{
    if (!aControl || aControl->mStopping.exchange(true)) return;
    bool ended = false;
    {
        std::lock_guard<std::mutex> lock(aControl->mLock);
        ended = aControl->mEnded;
        aControl->mWake.notify_all();
    }
    if (!ended && aControl->mOnStop) aControl->mOnStop();
}

void Worker::RequestStop()
{
    std::shared_ptr<Control> control;
    {
        std::lock_guard<std::mutex> lock(mLock);
        control = mControl;
    }
    Ask(control);
}

void Worker::Stop()
{
    // The run asked to stop is the run waited for: taken together, so that
    // a start on another thread meanwhile is neither waited for unasked nor
    // left running beside the next.
    std::shared_ptr<Control> control;
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(mLock);
        control = mControl;
        thread = std::move(mThread);
    }
    if (!control) return;
    Ask(control);
    if (control->mId.load() == std::this_thread::get_id()) {
        // Stopped from one of its own calls. When another caller took the
        // thread to join it, that caller waits for it and nothing is
        // abandoned.
        if (thread.joinable()) {
            control->mAbandoned = true;
            thread.detach();
        }
        return;
    }
    if (thread.joinable()) {
        thread.join();
        return;
    }
    // Joined by another caller, or abandoned earlier: ended all the same
    // before this returns.
    std::unique_lock<std::mutex> lock(control->mLock);
    control->mWake.wait(lock, [&] { return control->mEnded; });
}

bool Worker::Running() const
{
    std::shared_ptr<Control> control;
    {
        std::lock_guard<std::mutex> lock(mLock);
        control = mControl;
    }
    if (!control) return false;
    std::lock_guard<std::mutex> lock(control->mLock);
    return !control->mEnded;
}

bool Worker::OnThread() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mControl && mControl->mId.load() == std::this_thread::get_id();
}

ZuResult Worker::SetPriority(uint32_t aPriority)
{
    std::lock_guard<std::mutex> lock(mLock);
    return Schedule(mThread, aPriority);
}

Worker::Control *Worker::Current()
{
    return tCurrent;
}

} // namespace tarn
