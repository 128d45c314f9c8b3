#ifndef TARN_SOFTDEVICE_SINK_LIST_H
#define TARN_SOFTDEVICE_SINK_LIST_H

// Objects the device notifies (event sinks), called without the list's
// lock held. Removing one waits until no other thread is inside a call to
// it, so that once remove() returns the object may be destroyed; a call
// that removes its own object from inside a notification does not wait for
// itself.

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tarn {
namespace softdevice {

template <typename T>
class SinkList
{
public:
    // False when already there or null.
    bool add(T *aSink)
    {
        if (!aSink) return false;
        std::lock_guard<std::mutex> lock(mLock);
        for (const Entry &e : mEntries)
            if (e.sink == aSink) return false;
        mEntries.push_back(Entry{aSink, 0, {}});
        return true;
    }

    bool remove(T *aSink)
    {
        std::unique_lock<std::mutex> lock(mLock);
        auto it = std::find_if(mEntries.begin(), mEntries.end(), [&](const Entry &e) { return e.sink == aSink; });
        if (it == mEntries.end()) return false;
        it->removed = true;
        const std::thread::id self = std::this_thread::get_id();
        mIdle.wait(lock, [&] {
            auto e = std::find_if(mEntries.begin(), mEntries.end(), [&](const Entry &x) { return x.sink == aSink; });
            if (e == mEntries.end()) return true;
            size_t others = e->busy - size_t(std::count(e->callers.begin(), e->callers.end(), self));
            return others == 0;
        });
        auto e = std::find_if(mEntries.begin(), mEntries.end(), [&](const Entry &x) { return x.sink == aSink; });
        if (e != mEntries.end() && e->busy == 0) mEntries.erase(e);
        return true;
    }

    template <typename Call>
    void forEach(Call &&aCall)
    {
        std::vector<T *> sinks;
        {
            std::lock_guard<std::mutex> lock(mLock);
            for (const Entry &e : mEntries)
                if (!e.removed) sinks.push_back(e.sink);
        }
        for (T *sink : sinks) {
            if (!enter(sink)) continue;
            struct Leave {
                SinkList &list;
                T *sink;
                ~Leave() { list.leave(sink); }
            } leave{*this, sink};
            aCall(sink);
        }
    }

    bool empty()
    {
        std::lock_guard<std::mutex> lock(mLock);
        return mEntries.empty();
    }

private:
    struct Entry {
        T *sink;
        size_t busy;
        std::vector<std::thread::id> callers;
        bool removed = false;
    };

    bool enter(T *aSink)
    {
        std::lock_guard<std::mutex> lock(mLock);
        for (Entry &e : mEntries) {
            if (e.sink != aSink) continue;
            if (e.removed) return false;
            ++e.busy;
            e.callers.push_back(std::this_thread::get_id());
            return true;
        }
        return false;
    }

    void leave(T *aSink)
    {
        std::lock_guard<std::mutex> lock(mLock);
        for (auto it = mEntries.begin(); it != mEntries.end(); ++it) {
            if (it->sink != aSink) continue;
            --it->busy;
            auto c = std::find(it->callers.begin(), it->callers.end(), std::this_thread::get_id());
            if (c != it->callers.end()) it->callers.erase(c);
            if (it->removed && it->busy == 0) mEntries.erase(it);
            break;
        }
        mIdle.notify_all();
    }

    std::mutex mLock;
    std::condition_variable mIdle;
    std::vector<Entry> mEntries;
};

} // namespace softdevice
} // namespace tarn

#endif
