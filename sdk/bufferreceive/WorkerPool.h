#ifndef TARN_WORKER_POOL_H
#define TARN_WORKER_POOL_H

#include "tarn/Worker.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tarn {

// Threads kept by a converter or a filter from one job to the next. A job
// is a count of tasks; the calling thread works on them too, so a pool of
// n threads runs a job on n + 1 threads. Jobs on one pool run one after
// another.
class WorkerPool
{
public:
    // A task: aIndex is the task's number, aWorker the thread's (0 for the
    // caller, 1 to n for the pool's threads), for per-thread scratch memory.
    typedef void (*Task)(void *aContext, unsigned aIndex, unsigned aWorker);

    WorkerPool() = default;
    ~WorkerPool();

    // Starts threads until the pool has aCount of them. Returns false when
    // the system refuses a thread (the pool keeps those it has).
    bool Grow(unsigned aCount);
    // Stops threads until the pool has aCount of them.
    void Shrink(unsigned aCount);
    unsigned Size() const;

    // Runs aTasks tasks on the caller and at most aHelpers of the pool's
    // threads; returns when all are done.
    void Run(unsigned aTasks, unsigned aHelpers, Task aTask, void *aContext);

    // Scheduling of the pool's threads, now and for those started later:
    // 0 the normal scheduler, 1 to 99 FIFO real-time priorities. Without
    // the right to real-time scheduling the threads stay on the normal one.
    // Returns 0, or the error number the system gave.
    int SetPriority(uint32_t aPriority);

private:
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    void Loop(const Worker::Control &aControl, unsigned aWorker, uint64_t aSeen);
    int Apply(Worker &aThread) const;

    mutable std::mutex mMutex;
    std::condition_variable mWake, mDone;
    std::vector<std::unique_ptr<Worker>> mThreads;
    uint64_t mGeneration = 0;
    unsigned mHelpers = 0, mPending = 0, mNext = 0, mTasks = 0;
    Task mTask = nullptr;
    void *mContext = nullptr;
    uint32_t mPriority = 0;
    std::mutex mRunMutex;
};

}

#endif
