#include "tarn/Uses.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tarn {

namespace {

// What one thread is in: the objects of its calls in progress, innermost
// last. A call costs its thread two plain stores; only a deferral or a
// drain reads every thread's slots. Calls nested deeper than the slots
// (up-calls re-entering the SDK that often) are counted in the table.
constexpr int kSlots = 16;

struct Thread {
    std::atomic<const void *> slots[kSlots] = {};
    int depth = 0;   // this thread's own count, slots and beyond
};

struct Table {
    std::mutex lock;
    std::condition_variable left;          // a call ended while a drain waits
    std::vector<Thread *> threads;
    std::map<std::pair<const Thread *, const void *>, int> deep;   // calls beyond the slots
    std::unordered_map<const void *, std::function<void()>> deferred;
    std::unordered_map<const void *, int> kept;   // uses on no thread (Keep)
    int draining = 0;
};

// Never destroyed: threads may end while the process does.
Table &TheTable()
{
    static Table *sTable = new Table;
    return *sTable;
}

// Deletions deferred or drains waiting: the one look a call's end costs
// otherwise.
std::atomic<int> gWatched{0};

// The thread's record, read on every call; a plain pointer, so that no
// initialisation check comes with it, in the static block (one pointer of
// the room the loader keeps for libraries loaded later), so that reading it
// calls nothing. The registration, touched once, takes the record out of
// the table when the thread ends.
thread_local Thread *tSelf __attribute__((tls_model("initial-exec"))) = nullptr;

struct Registration {
    Thread *thread = nullptr;
    ~Registration()
    {
        if (!thread) return;
        Table &t = TheTable();
        std::lock_guard<std::mutex> lock(t.lock);
        t.threads.erase(std::remove(t.threads.begin(), t.threads.end(), thread), t.threads.end());
        tSelf = nullptr;
        delete thread;
    }
};
thread_local Registration tRegistration;

Thread &Register()
{
    auto *thread = new Thread;
    Table &t = TheTable();
    {
        std::lock_guard<std::mutex> lock(t.lock);
        t.threads.push_back(thread);
    }
    tRegistration.thread = thread;
    tSelf = thread;
    return *thread;
}

Thread &This()
{
    Thread *self = tSelf;
    return self ? *self : Register();
}

// Calls on aObject in progress on threads other than aExcept, with the
// table's lock held.
int CallsOn(const Table &aTable, const void *aObject, const Thread *aExcept)
{
    int calls = 0;
    for (const Thread *thread : aTable.threads) {
        if (thread == aExcept) continue;
        for (const auto &slot : thread->slots) calls += slot.load(std::memory_order_relaxed) == aObject;
    }
    for (const auto &deep : aTable.deep)
        if (deep.first.first != aExcept && deep.first.second == aObject) calls += deep.second;
    return calls;
}

// What holds off aObject's deletion, with the table's lock held.
bool Used(const Table &aTable, const void *aObject)
{
    return aTable.kept.count(aObject) || CallsOn(aTable, aObject, nullptr);
}

// Runs aObject's deferred deletion once nothing uses it any more.
void RunDeferred(const void *aObject)
{
    std::function<void()> last;
    {
        Table &t = TheTable();
        std::lock_guard<std::mutex> lock(t.lock);
        if (t.draining) t.left.notify_all();
        auto deferred = t.deferred.find(aObject);
        if (deferred == t.deferred.end() || Used(t, aObject)) return;
        last = std::move(deferred->second);
        t.deferred.erase(deferred);
        gWatched.fetch_sub(1, std::memory_order_relaxed);
    }
    last();
}

// A child of fork has one thread: the calls of the others never end
// there, and their records are left behind. The table is held across the
// fork, so that the child finds it whole.
void BeforeFork() { TheTable().lock.lock(); }
void AfterForkInParent() { TheTable().lock.unlock(); }
void AfterForkInChild()
{
    Table &t = TheTable();
    Thread *self = tSelf;
    t.threads.assign(self ? 1 : 0, self);
    for (auto deep = t.deep.begin(); deep != t.deep.end();)
        deep = deep->first.first == self ? std::next(deep) : t.deep.erase(deep);
    t.draining = 0;
    t.lock.unlock();
}

struct ForkHandler {
    ForkHandler() { pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild); }
} gForkHandler;

} // namespace

void Uses::Enter(const void *aObject)
{
    Thread &self = This();
    if (self.depth < kSlots) {
        self.slots[self.depth++].store(aObject, std::memory_order_relaxed);
        return;
    }
    ++self.depth;
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    ++t.deep[{&self, aObject}];
}

void Uses::Leave(const void *aObject)
{
    Thread &self = This();
    if (self.depth > kSlots) {
        --self.depth;
        Table &t = TheTable();
        std::lock_guard<std::mutex> lock(t.lock);
        auto deep = t.deep.find({&self, aObject});
        if (deep != t.deep.end() && --deep->second == 0) t.deep.erase(deep);
    } else if (self.depth > 0) {
        self.slots[--self.depth].store(nullptr, std::memory_order_relaxed);
    }
    if (!gWatched.load(std::memory_order_relaxed)) return;
    RunDeferred(aObject);
}

void Uses::Keep(const void *aObject)
{
    if (!aObject) return;
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    ++t.kept[aObject];
}

void Uses::LetGo(const void *aObject)
{
    if (!aObject) return;
    {
        Table &t = TheTable();
        std::lock_guard<std::mutex> lock(t.lock);
        auto kept = t.kept.find(aObject);
        if (kept == t.kept.end()) return;
        if (--kept->second) return;
        t.kept.erase(kept);
    }
    RunDeferred(aObject);
}

bool Uses::Defer(const void *aObject, std::function<void()> aDelete)
{
    if (!aObject) return false;
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    // Deferred already through another of its objects: it goes once.
    if (t.deferred.count(aObject)) return true;
    if (!Used(t, aObject)) return false;
    t.deferred[aObject] = std::move(aDelete);
    gWatched.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool Uses::Deferring(const void *aObject)
{
    if (!aObject) return false;
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    return t.deferred.count(aObject) || Used(t, aObject);
}

bool Uses::InUse(const void *aObject)
{
    if (!aObject) return false;
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    return CallsOn(t, aObject, tSelf) != 0;
}

void Uses::Drain(const void *aObject)
{
    if (!aObject) return;
    Thread *self = tSelf;
    Table &t = TheTable();
    std::unique_lock<std::mutex> lock(t.lock);
    if (!CallsOn(t, aObject, self)) return;
    ++t.draining;
    gWatched.fetch_add(1, std::memory_order_relaxed);
    // In slices: a call's end is told only where the binding's lock orders
    // it after the drain began (see the header), so it is also looked for.
    while (!t.left.wait_for(lock, std::chrono::milliseconds(10), [&] { return !CallsOn(t, aObject, self); })) {
    }
    gWatched.fetch_sub(1, std::memory_order_relaxed);
    --t.draining;
}

} // namespace tarn
