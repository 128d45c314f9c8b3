#include "WorkerPool.h"

#include <algorithm>
#include <cerrno>
#include <pthread.h>
#include <sched.h>
#include <system_error>

namespace tarn {

WorkerPool::~WorkerPool() { Shrink(0); }

unsigned WorkerPool::Size() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return unsigned(mThreads.size());
}

bool WorkerPool::Grow(unsigned aCount)
{
    std::lock_guard<std::mutex> run(mRunMutex);
    std::unique_lock<std::mutex> lock(mMutex);
    while (mThreads.size() < aCount) {
        Thread *t = new Thread;
        unsigned worker = unsigned(mThreads.size()) + 1;
        // The thread counts jobs from now on: one started before it runs
        // its loop is still one it takes part in.
        uint64_t seen = mGeneration;
        try {
            t->thread = std::thread([this, t, worker, seen] { Loop(t, worker, seen); });
        } catch (const std::system_error &) {
            delete t;
            return false;
        }
        mThreads.push_back(t);
        Apply(t->thread);
    }
    return true;
}

void WorkerPool::Shrink(unsigned aCount)
{
    std::lock_guard<std::mutex> run(mRunMutex);
    std::vector<Thread *> gone;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        while (mThreads.size() > aCount) {
            mThreads.back()->stop = true;
            gone.push_back(mThreads.back());
            mThreads.pop_back();
        }
    }
    mWake.notify_all();
    for (Thread *t : gone) {
        t->thread.join();
        delete t;
    }
}

void WorkerPool::Loop(Thread *aSelf, unsigned aWorker, uint64_t aSeen)
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        mWake.wait(lock, [&] { return aSelf->stop || mGeneration != aSeen; });
        if (aSelf->stop)
            return;
        aSeen = mGeneration;
        if (aWorker > mHelpers)
            continue;
        while (mNext < mTasks) {
            unsigned index = mNext++;
            lock.unlock();
            mTask(mContext, index, aWorker);
            lock.lock();
        }
        if (--mPending == 0)
            mDone.notify_all();
    }
}

void WorkerPool::Run(unsigned aTasks, unsigned aHelpers, Task aTask, void *aContext)
{
    std::lock_guard<std::mutex> run(mRunMutex);
    std::unique_lock<std::mutex> lock(mMutex);
    const unsigned helpers = std::min<unsigned>({aHelpers, unsigned(mThreads.size()), aTasks ? aTasks - 1 : 0});
    mTask = aTask;
    mContext = aContext;
    mNext = 0;
    mTasks = aTasks;
    mHelpers = helpers;
    mPending = helpers;
    if (helpers) {
        ++mGeneration;
        mWake.notify_all();
    }
    while (mNext < mTasks) {
        unsigned index = mNext++;
        lock.unlock();
        aTask(aContext, index, 0);
        lock.lock();
    }
    mDone.wait(lock, [&] { return mPending == 0; });
    mTask = nullptr;
    mContext = nullptr;
}

int WorkerPool::Apply(std::thread &aThread) const
{
    sched_param param{};
    param.sched_priority = int(mPriority);
    int policy = mPriority ? SCHED_FIFO : SCHED_OTHER;
    int error = pthread_setschedparam(aThread.native_handle(), policy, &param);
    if (error == EPERM) {
        // Real-time scheduling needs a privilege the process lacks: the
        // thread stays on the normal scheduler, as documented.
        param.sched_priority = 0;
        error = pthread_setschedparam(aThread.native_handle(), SCHED_OTHER, &param);
    }
    return error;
}

int WorkerPool::SetPriority(uint32_t aPriority)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mPriority = aPriority;
    int error = 0;
    for (Thread *t : mThreads) {
        int e = Apply(t->thread);
        if (e && !error)
            error = e;
    }
    return error;
}

}
