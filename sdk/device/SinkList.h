#ifndef TARN_DEVICE_SINK_LIST_H
#define TARN_DEVICE_SINK_LIST_H

// The event sinks of one device. A call goes to each sink with no lock
// held (a sink may call the device, or be a director that waits for the
// interpreter lock); removing a sink waits for its calls in progress on
// other threads, so that once a removal returns the sink is never called
// again, and a sink may remove itself from inside its own call.

#include "ZuDeviceEventSink.h"
#include "ZuResult.h"
#include "tarn/UpCalls.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tarn {
namespace device {
class SinkList;
}
} // namespace tarn

// The devices a sink is registered with, so that it can leave them.
struct ZuDeviceEventSink::Registrations {
    std::mutex lock;
    std::vector<std::weak_ptr<tarn::device::SinkList>> lists;
};

namespace tarn {
namespace device {

class SinkList : public std::enable_shared_from_this<SinkList>
{
public:
    ZuResult Add(ZuDeviceEventSink *aSink);
    ZuResult Remove(ZuDeviceEventSink *aSink);
    // Keeps an owner (the sink's Python object) until the sink leaves.
    void Keep(ZuDeviceEventSink *aSink, std::shared_ptr<void> aOwner);
    // Removes every sink (the device goes).
    void Clear();
    bool Empty() const;

    // Calls aCall(sink) for each sink registered when the call starts; a
    // sink removed meanwhile is skipped. Stops early when aStop says so, or
    // once the up-call gate is closed.
    // An exception of a call passes to the caller, the sink released.
    template <class Call, class Stop> void ForEach(Call aCall, Stop aStop)
    {
        std::vector<std::shared_ptr<Entry>> snapshot;
        {
            std::lock_guard<std::mutex> lock(mLock);
            snapshot = mEntries;
        }
        for (const auto &entry : snapshot) {
            if (aStop()) return;
            // Nothing reaches a binding's sink once its interpreter finalises.
            UpCalls::Scope gate;
            if (!gate) return;
            Busy busy(*this, *entry);
            if (!busy.entered) continue;
            aCall(entry->sink);
        }
    }

private:
    struct Entry {
        ZuDeviceEventSink *sink = nullptr;
        std::shared_ptr<void> owner;
        bool removed = false;
        std::vector<std::thread::id> callers;
    };
    struct Busy {
        SinkList &list;
        Entry &entry;
        bool entered = false;
        Busy(SinkList &aList, Entry &aEntry);
        ~Busy();
    };
    void Forget(ZuDeviceEventSink *aSink);

    mutable std::mutex mLock;
    std::condition_variable mIdle;
    std::vector<std::shared_ptr<Entry>> mEntries;
};

} // namespace device
} // namespace tarn

#endif
