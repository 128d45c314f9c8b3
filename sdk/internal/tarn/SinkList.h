#ifndef TARN_SINK_LIST_H
#define TARN_SINK_LIST_H

// The registered sinks of an object, the one list every Register and
// Unregister of the SDK uses. A sink is called with no lock of the list
// held, so that it may call the object, register or leave, or be a
// director that waits for the interpreter lock. Removing a sink waits for
// its calls in progress on other threads, so that once a removal returns
// the sink is never called again and may be destroyed; a sink may remove
// itself from inside its own call (that call goes on). A caller must not
// hold a lock that a sink's call may need while it removes a sink.
//
// What keeps a sink's binding object alive is the binding's (tarn::Holds):
// one let go from inside the sink's own call goes once that call has
// returned (tarn::UpCalls).

#include "ZuResult.h"
#include "tarn/UpCalls.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tarn {

template <class Sink>
class SinkList
{
public:
    // aBindings: the sinks may be a binding's, and are not called once the
    // up-call gate is closed. A list of the SDK's own listeners passes false.
    explicit SinkList(bool aBindings = true) : mBindings(aBindings) {}
    SinkList(const SinkList &) = delete;
    SinkList &operator=(const SinkList &) = delete;

    // aTwice is the code the object documents for a sink registered twice.
    ZuResult Add(Sink *aSink, uint32_t aTwice = ZU_GENERIC_ERROR)
    {
        if (!aSink) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no event sink given"));
        std::lock_guard<std::mutex> lock(mLock);
        if (Find(aSink) != mEntries.end()) return ZuResult(aTwice, ZuString("the event sink is registered already"));
        auto entry = std::make_shared<Entry>();
        entry->sink = aSink;
        mEntries.push_back(std::move(entry));
        return ZuResult();
    }

    ZuResult Remove(Sink *aSink)
    {
        if (!aSink) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no event sink given"));
        std::unique_lock<std::mutex> lock(mLock);
        auto it = Find(aSink);
        if (it == mEntries.end()) return ZuResult(ZU_NOT_FOUND, ZuString("the event sink is not registered"));
        std::shared_ptr<Entry> entry = *it;
        mEntries.erase(it);
        entry->removed = true;
        const std::thread::id self = std::this_thread::get_id();
        mIdle.wait(lock, [&] {
            return std::all_of(entry->callers.begin(), entry->callers.end(), [&](std::thread::id c) { return c == self; });
        });
        return ZuResult();
    }

    // Removes every sink (the object goes).
    void Clear()
    {
        for (Sink *s : Sinks()) Remove(s);
    }

    bool Empty() const
    {
        std::lock_guard<std::mutex> lock(mLock);
        return mEntries.empty();
    }

    bool Contains(Sink *aSink) const
    {
        std::lock_guard<std::mutex> lock(mLock);
        return Find(aSink) != mEntries.end();
    }

    // Calls aCall(sink) for each sink registered when the call starts; a
    // sink removed meanwhile is skipped. Stops early when aStop says so, or,
    // for a binding's sinks, once the up-call gate is closed (nothing
    // reaches them once their interpreter finalises). An exception of a
    // call passes to the caller, the sink released.
    template <class Call, class Stop> void ForEach(Call aCall, Stop aStop)
    {
        std::vector<std::shared_ptr<Entry>> snapshot;
        {
            std::lock_guard<std::mutex> lock(mLock);
            if (mEntries.empty()) return;
            snapshot = mEntries;
        }
        for (const auto &entry : snapshot) {
            if (aStop()) return;
            if (!mBindings) {
                Busy busy(*this, *entry);
                if (busy.entered) aCall(entry->sink);
                continue;
            }
            UpCalls::Scope gate;
            if (!gate) return;
            Busy busy(*this, *entry);
            if (busy.entered) aCall(entry->sink);
        }
    }
    template <class Call> void ForEach(Call aCall)
    {
        ForEach(aCall, [] { return false; });
    }

private:
    struct Entry {
        Sink *sink = nullptr;
        bool removed = false;
        std::vector<std::thread::id> callers;  // one a call in progress
    };
    // One call to a sink in progress.
    struct Busy {
        SinkList &list;
        Entry &entry;
        bool entered = false;
        Busy(SinkList &aList, Entry &aEntry) : list(aList), entry(aEntry)
        {
            std::lock_guard<std::mutex> lock(list.mLock);
            if (entry.removed) return;
            entry.callers.push_back(std::this_thread::get_id());
            entered = true;
        }
        ~Busy()
        {
            if (!entered) return;
            std::lock_guard<std::mutex> lock(list.mLock);
            auto &c = entry.callers;
            c.erase(std::find(c.begin(), c.end(), std::this_thread::get_id()));
            list.mIdle.notify_all();
        }
        Busy(const Busy &) = delete;
        Busy &operator=(const Busy &) = delete;
    };

    typename std::vector<std::shared_ptr<Entry>>::const_iterator Find(Sink *aSink) const
    {
        return std::find_if(mEntries.begin(), mEntries.end(), [aSink](const auto &e) { return e->sink == aSink; });
    }
    std::vector<Sink *> Sinks() const
    {
        std::lock_guard<std::mutex> lock(mLock);
        std::vector<Sink *> sinks;
        for (const auto &e : mEntries) sinks.push_back(e->sink);
        return sinks;
    }

    const bool mBindings;
    mutable std::mutex mLock;
    std::condition_variable mIdle;
    std::vector<std::shared_ptr<Entry>> mEntries;
};

} // namespace tarn

#endif
