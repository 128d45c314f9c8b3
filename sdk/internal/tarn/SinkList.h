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
//
// A sink may be registered with a context, what its calls are about (an
// object handed to it): the pair is the entry, and since removing the pair
// waits for its calls, the context stays valid for as long as a call that
// was handed it lasts. An owner that changes its sinks under a lock of its
// own takes them out with that lock held (Take) and waits for their calls
// once it has let go (Leaving::Wait); it chooses calls under it too (Pinned)
// and makes them without it.

#include "ZuResult.h"
#include "tarn/UpCalls.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tarn {

// The context of a sink registered without one.
struct NoContext {
    bool operator==(const NoContext &) const { return true; }
};

template <class Sink, class Context = NoContext>
class SinkList
{
    struct Entry {
        Sink *sink = nullptr;
        Context context{};
        bool removed = false;
        std::vector<std::thread::id> callers;  // one a call in progress
    };
    struct Gate {
        std::optional<UpCalls::Scope> scope;
        bool open = true;
        explicit Gate(bool aBindings)
        {
            if (!aBindings) return;
            scope.emplace();
            open = bool(*scope);
        }
    };
    // One call to a sink in progress on this thread (entered is false when
    // the sink was removed first).
    bool EnterLocked(Entry &aEntry)
    {
        if (aEntry.removed) return false;
        aEntry.callers.push_back(std::this_thread::get_id());
        return true;
    }
    void LeaveLocked(Entry &aEntry)
    {
        auto &c = aEntry.callers;
        c.erase(std::find(c.begin(), c.end(), std::this_thread::get_id()));
    }
    struct Busy {
        SinkList &list;
        Entry &entry;
        bool entered = false;
        Busy(SinkList &aList, Entry &aEntry) : list(aList), entry(aEntry)
        {
            std::lock_guard<std::mutex> lock(list.mLock);
            entered = list.EnterLocked(entry);
        }
        ~Busy()
        {
            if (!entered) return;
            std::lock_guard<std::mutex> lock(list.mLock);
            list.LeaveLocked(entry);
            list.mIdle.notify_all();
        }
        Busy(const Busy &) = delete;
        Busy &operator=(const Busy &) = delete;
    };

public:
    // aBindings: the sinks may be a binding's, and are not called once the
    // up-call gate is closed. A list of the SDK's own listeners passes false.
    explicit SinkList(bool aBindings = true) : mBindings(aBindings) {}
    SinkList(const SinkList &) = delete;
    SinkList &operator=(const SinkList &) = delete;

    // aTwice is the code the object documents for a sink registered twice.
    ZuResult Add(Sink *aSink, uint32_t aTwice = ZU_GENERIC_ERROR) { return Add(aSink, Context(), aTwice); }
    ZuResult Add(Sink *aSink, const Context &aContext, uint32_t aTwice = ZU_GENERIC_ERROR)
    {
        if (!aSink) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no event sink given"));
        std::lock_guard<std::mutex> lock(mLock);
        if (Find(aSink, aContext) != mEntries.end())
            return ZuResult(aTwice, ZuString("the event sink is registered already"));
        auto entry = std::make_shared<Entry>();
        entry->sink = aSink;
        entry->context = aContext;
        mEntries.push_back(std::move(entry));
        return ZuResult();
    }

    // A sink taken out of the list, whose calls in progress may yet run.
    class Leaving
    {
    public:
        Leaving() = default;
        explicit operator bool() const { return bool(mEntry); }
        // Until the sink's calls on other threads have returned; from then on
        // neither the sink nor its context is used. Made without a lock a
        // call may need.
        void Wait()
        {
            if (!mEntry) return;
            const std::thread::id self = std::this_thread::get_id();
            std::unique_lock<std::mutex> lock(mList->mLock);
            mList->mIdle.wait(lock, [&] {
                const auto &c = mEntry->callers;
                return std::all_of(c.begin(), c.end(), [&](std::thread::id t) { return t == self; });
            });
            mEntry.reset();
        }

    private:
        friend class SinkList;
        SinkList *mList = nullptr;
        std::shared_ptr<Entry> mEntry;
    };

    // No call reaches the sink from now on (an empty Leaving when it is not
    // registered).
    Leaving Take(Sink *aSink, const Context &aContext = Context())
    {
        Leaving leaving;
        std::lock_guard<std::mutex> lock(mLock);
        auto it = Find(aSink, aContext);
        if (it == mEntries.end()) return leaving;
        (*it)->removed = true;
        leaving.mList = this;
        leaving.mEntry = *it;
        mEntries.erase(it);
        return leaving;
    }

    ZuResult Remove(Sink *aSink, const Context &aContext = Context())
    {
        if (!aSink) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no event sink given"));
        Leaving leaving = Take(aSink, aContext);
        if (!leaving) return ZuResult(ZU_NOT_FOUND, ZuString("the event sink is not registered"));
        leaving.Wait();
        return ZuResult();
    }

    // Removes every sink (the object goes).
    void Clear()
    {
        std::vector<Leaving> leaving;
        {
            std::lock_guard<std::mutex> lock(mLock);
            for (auto &entry : mEntries) {
                entry->removed = true;
                leaving.emplace_back();
                leaving.back().mList = this;
                leaving.back().mEntry = entry;
            }
            mEntries.clear();
        }
        for (Leaving &l : leaving) l.Wait();
    }

    bool Empty() const
    {
        std::lock_guard<std::mutex> lock(mLock);
        return mEntries.empty();
    }

    bool Contains(Sink *aSink, const Context &aContext = Context()) const
    {
        std::lock_guard<std::mutex> lock(mLock);
        return Find(aSink, aContext) != mEntries.end();
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
            Gate gate(mBindings);
            if (!gate.open) return;
            Busy busy(*this, *entry);
            if (busy.entered) aCall(entry->sink);
        }
    }
    template <class Call> void ForEach(Call aCall)
    {
        ForEach(aCall, [] { return false; });
    }

    // Calls chosen now, under the owner's lock, that its thread makes later
    // without it: a chosen sink counts as in its call from the choice on, so
    // that a removal made meanwhile waits for the call, and the context the
    // call is handed stays valid through it.
    class Pinned
    {
    public:
        explicit Pinned(SinkList &aList) : mList(aList) {}
        ~Pinned()
        {
            if (mChosen.empty()) return;
            std::lock_guard<std::mutex> lock(mList.mLock);
            for (const auto &entry : mChosen) mList.LeaveLocked(*entry);
            mList.mIdle.notify_all();
        }
        Pinned(const Pinned &) = delete;
        Pinned &operator=(const Pinned &) = delete;
        // Whether the sink is registered with that context (and so chosen).
        bool Choose(Sink *aSink, const Context &aContext)
        {
            std::lock_guard<std::mutex> lock(mList.mLock);
            auto it = mList.Find(aSink, aContext);
            if (it == mList.mEntries.end() || !mList.EnterLocked(**it)) return false;
            mChosen.push_back(*it);
            return true;
        }
        bool Empty() const { return mChosen.empty(); }
        // Calls aCall(sink, context) for each chosen sink, in the order
        // chosen, until the up-call gate closes on a binding's sinks. One
        // removed meanwhile (by an earlier call of this thread, which does
        // not wait for itself) is skipped: its context may be gone once that
        // call returned. An exception of a call passes to the caller, the
        // sinks released.
        template <class Call> void Make(Call aCall)
        {
            for (const auto &entry : mChosen) {
                Gate gate(mList.mBindings);
                if (!gate.open) return;
                {
                    std::lock_guard<std::mutex> lock(mList.mLock);
                    if (entry->removed) continue;
                }
                aCall(entry->sink, static_cast<const Context &>(entry->context));
            }
        }

    private:
        SinkList &mList;
        std::vector<std::shared_ptr<Entry>> mChosen;
    };

private:
    typename std::vector<std::shared_ptr<Entry>>::const_iterator Find(Sink *aSink, const Context &aContext) const
    {
        return std::find_if(mEntries.begin(), mEntries.end(),
                            [&](const auto &e) { return e->sink == aSink && e->context == aContext; });
    }

    const bool mBindings;
    mutable std::mutex mLock;
    std::condition_variable mIdle;
    std::vector<std::shared_ptr<Entry>> mEntries;
};

} // namespace tarn

#endif
