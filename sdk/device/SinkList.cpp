#include "SinkList.h"

struct ZuDeviceSinkAccess {
    static ZuDeviceEventSink::Registrations &Of(ZuDeviceEventSink &aSink) { return *aSink.mRegistrations; }
};

namespace tarn {
namespace device {

SinkList::Busy::Busy(SinkList &aList, Entry &aEntry) : list(aList), entry(aEntry)
{
    std::lock_guard<std::mutex> lock(list.mLock);
    if (entry.removed) return;
    entry.callers.push_back(std::this_thread::get_id());
    entered = true;
}

SinkList::Busy::~Busy()
{
    if (!entered) return;
    std::lock_guard<std::mutex> lock(list.mLock);
    auto &c = entry.callers;
    c.erase(std::find(c.begin(), c.end(), std::this_thread::get_id()));
    list.mIdle.notify_all();
}

ZuResult SinkList::Add(ZuDeviceEventSink *aSink)
{
    if (!aSink) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no sink given"));
    {
        std::lock_guard<std::mutex> lock(mLock);
        for (const auto &e : mEntries)
            if (e->sink == aSink) return ZuResult(ZU_INVALID_PARAMETER, ZuString("the sink is registered already"));
        auto entry = std::make_shared<Entry>();
        entry->sink = aSink;
        mEntries.push_back(entry);
    }
    auto &regs = ZuDeviceSinkAccess::Of(*aSink);
    std::lock_guard<std::mutex> lock(regs.lock);
    regs.lists.push_back(shared_from_this());
    return ZuResult();
}

void SinkList::Keep(ZuDeviceEventSink *aSink, std::shared_ptr<void> aOwner)
{
    {
        std::lock_guard<std::mutex> lock(mLock);
        for (const auto &e : mEntries)
            if (e->sink == aSink) {
                std::swap(e->owner, aOwner);
                break;
            }
    }
    // What is let go (an owner not taken, or the one replaced) goes outside
    // the lock: its release may take the interpreter lock.
    aOwner.reset();
}

ZuResult SinkList::Remove(ZuDeviceEventSink *aSink)
{
    if (!aSink) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no sink given"));
    std::shared_ptr<Entry> entry;
    {
        std::unique_lock<std::mutex> lock(mLock);
        auto it = std::find_if(mEntries.begin(), mEntries.end(), [aSink](const auto &e) { return e->sink == aSink; });
        if (it == mEntries.end()) return ZuResult(ZU_NOT_FOUND, ZuString("the sink is not registered"));
        entry = *it;
        mEntries.erase(it);
        entry->removed = true;
        // Calls on other threads end first; one on this thread (the sink
        // removing itself) goes on after the removal.
        const auto self = std::this_thread::get_id();
        mIdle.wait(lock, [&] {
            return std::all_of(entry->callers.begin(), entry->callers.end(), [&](auto id) { return id == self; });
        });
    }
    Forget(aSink);
    entry->owner.reset();
    return ZuResult();
}

void SinkList::Forget(ZuDeviceEventSink *aSink)
{
    auto &regs = ZuDeviceSinkAccess::Of(*aSink);
    std::lock_guard<std::mutex> lock(regs.lock);
    auto &l = regs.lists;
    l.erase(std::remove_if(l.begin(), l.end(),
                           [this](const std::weak_ptr<SinkList> &w) {
                               auto p = w.lock();
                               return !p || p.get() == this;
                           }),
            l.end());
}

void SinkList::Clear()
{
    std::vector<ZuDeviceEventSink *> sinks;
    {
        std::lock_guard<std::mutex> lock(mLock);
        for (const auto &e : mEntries) sinks.push_back(e->sink);
    }
    for (ZuDeviceEventSink *s : sinks) Remove(s);
}

bool SinkList::Empty() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mEntries.empty();
}

} // namespace device
} // namespace tarn

ZuDeviceEventSink::ZuDeviceEventSink() : mRegistrations(std::make_shared<Registrations>()) {}

ZuDeviceEventSink::~ZuDeviceEventSink()
{
    LeaveDevices();
}

void ZuDeviceEventSink::LeaveDevices()
{
    std::vector<std::weak_ptr<tarn::device::SinkList>> lists;
    {
        std::lock_guard<std::mutex> lock(mRegistrations->lock);
        lists = mRegistrations->lists;
    }
    for (const auto &w : lists)
        if (auto list = w.lock()) list->Remove(this);
}

void ZuDeviceEventSink::OnLinkDisconnected(ZuDevice *) {}
void ZuDeviceEventSink::OnLinkReconnected(ZuDevice *) {}
void ZuDeviceEventSink::OnEvent(ZuDevice *, uint16_t, uint16_t, uint64_t, uint64_t, const void *, uint32_t) {}
void ZuDeviceEventSink::OnEventGenICam(ZuDevice *, uint16_t, uint16_t, uint64_t, uint64_t, ZuGenParameterList *) {}
void ZuDeviceEventSink::OnCmdLinkRead(const void *, int64_t, int64_t) {}
void ZuDeviceEventSink::OnCmdLinkWrite(const void *, int64_t, int64_t) {}
