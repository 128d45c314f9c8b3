#include "WorkerPool.h"

#include <algorithm>
#include <cerrno>

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
        auto t = std::make_unique<Worker>();
        unsigned worker = unsigned(mThreads.size()) + 1;
        // The thread counts jobs from now on: one started before it runs
        // its loop is still one it takes part in.
        uint64_t seen = mGeneration;
        auto wake = [this] {
            std::lock_guard<std::mutex> again(mMutex);
            mWake.notify_all();
        };
        if (!t->Start([this, worker, seen](Worker::Control &c) { Loop(c, worker, seen); }, wake).IsOK()) return false;
        Apply(*t);
        mThreads.push_back(std::move(t));
    }
    return true;
}

void WorkerPool::Shrink(unsigned aCount)
{
    std::lock_guard<std::mutex> run(mRunMutex);
    std::vector<std::unique_ptr<Worker>> gone;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        while (mThreads.size() > aCount) {
            gone.push_back(std::move(mThreads.back()));
            mThreads.pop_back();
        }
    }
    for (auto &t : gone) t->Stop();
}

void WorkerPool::Loop(const Worker::Control &aControl, unsigned aWorker, uint64_t aSeen)
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        mWake.wait(lock, [&] { return aControl.Stopping() || mGeneration != aSeen; });
        if (aControl.Stopping())
            return;
        aSeen = mGeneration;
        if (aWorker > mHelpers)
            continue;
        while (mNext < mTasks) {
            unsigned index = mNext++;
            lock.unlock();
            mTask(mContext, index, aWorker);
            lock.lock();
            if (--mPending == 0)
                mDone.notify_all();
        }
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
    // Tasks not yet done, not helpers: a helper that wakes only once the
    // caller has done every task (its core busy with another process) is
    // not waited for.
    mPending = aTasks;
    if (helpers) {
        ++mGeneration;
        mWake.notify_all();
    }
    while (mNext < mTasks) {
        unsigned index = mNext++;
        lock.unlock();
        aTask(aContext, index, 0);
        lock.lock();
        --mPending;
    }
    mDone.wait(lock, [&] { return mPending == 0; });
    mTask = nullptr;
    mContext = nullptr;
}

int WorkerPool::Apply(Worker &aThread) const
{
    if (aThread.SetPriority(mPriority).IsOK()) return 0;
    // Real-time scheduling needs a privilege the process lacks: the thread
    // stays on the normal scheduler, as documented.
    return aThread.SetPriority(0).IsOK() ? 0 : EPERM;
}

int WorkerPool::SetPriority(uint32_t aPriority)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mPriority = aPriority;
    int error = 0;
    for (auto &t : mThreads) {
        int e = Apply(*t);
        if (e && !error)
            error = e;
    }
    return error;
}

}
