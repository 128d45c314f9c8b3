#include "tarn/Holds.h"

#include <atomic>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tarn {

namespace {

using Entries = std::multimap<std::pair<int, const void *>, std::shared_ptr<void>>;

struct Table {
    std::mutex lock;
    std::unordered_map<const void *, Entries> owners;
};

// Never destroyed: holds may be let go while the process ends.
Table &TheTable()
{
    static Table *sTable = new Table;
    return *sTable;
}

// Shares taken out under the lock and let go after it.
using Released = std::vector<std::shared_ptr<void>>;

void Erase(std::unordered_map<const void *, Entries>::iterator aOwner, Entries::iterator aFirst,
           Entries::iterator aLast, Released &aOut)
{
    for (auto it = aFirst; it != aLast; ++it) aOut.push_back(std::move(it->second));
    aOwner->second.erase(aFirst, aLast);
}

} // namespace

void Holds::Keep(const void *aOwner, int aSlot, const void *aKey, std::shared_ptr<void> aHold, bool aReplace)
{
    Released gone;
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    auto owner = t.owners.find(aOwner);
    if (owner == t.owners.end()) owner = t.owners.emplace(aOwner, Entries()).first;
    if (aReplace) {
        auto range = owner->second.equal_range({aSlot, aKey});
        Erase(owner, range.first, range.second, gone);
    }
    owner->second.emplace(std::make_pair(aSlot, aKey), std::move(aHold));
}

std::shared_ptr<void> Holds::Take(const void *aOwner, int aSlot, const void *aKey)
{
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    auto owner = t.owners.find(aOwner);
    if (owner == t.owners.end()) return {};
    auto it = owner->second.find({aSlot, aKey});
    if (it == owner->second.end()) return {};
    std::shared_ptr<void> taken = std::move(it->second);
    owner->second.erase(it);
    if (owner->second.empty()) t.owners.erase(owner);
    return taken;
}

void Holds::Drop(const void *aOwner, int aSlot, const void *aKey)
{
    Released gone;
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    auto owner = t.owners.find(aOwner);
    if (owner == t.owners.end()) return;
    auto range = owner->second.equal_range({aSlot, aKey});
    Erase(owner, range.first, range.second, gone);
    if (owner->second.empty()) t.owners.erase(owner);
}

void Holds::DropSlot(const void *aOwner, int aSlot)
{
    Released gone;
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    auto owner = t.owners.find(aOwner);
    if (owner == t.owners.end()) return;
    Entries &entries = owner->second;
    Erase(owner, entries.lower_bound({aSlot, nullptr}), entries.lower_bound({aSlot + 1, nullptr}), gone);
    if (owner->second.empty()) t.owners.erase(owner);
}

void Holds::DropOwner(const void *aOwner)
{
    Entries gone;
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    auto owner = t.owners.find(aOwner);
    if (owner == t.owners.end()) return;
    gone.swap(owner->second);
    t.owners.erase(owner);
}

void Holds::DropEverywhere(int aSlot, const void *aKey)
{
    Released gone;
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    for (auto owner = t.owners.begin(); owner != t.owners.end();) {
        auto range = owner->second.equal_range({aSlot, aKey});
        Erase(owner, range.first, range.second, gone);
        owner = owner->second.empty() ? t.owners.erase(owner) : std::next(owner);
    }
}

void Holds::Visit(const void *aOwner, void (*aVisit)(void *aHeld, void *aContext), void *aContext)
{
    Table &t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    auto owner = t.owners.find(aOwner);
    if (owner == t.owners.end()) return;
    for (const auto &entry : owner->second) aVisit(entry.second.get(), aContext);
}

namespace {
// Fixed slots filled once each at module load: Gone reads them without a lock.
std::atomic<void (*)(const void *)> gGoneHooks[8];
} // namespace

void Lent::AddGoneHook(void (*aHook)(const void *))
{
    for (auto &slot : gGoneHooks) {
        void (*none)(const void *) = nullptr;
        if (slot.compare_exchange_strong(none, aHook) || none == aHook) return;
    }
}

void Lent::Gone(const void *aObject)
{
    if (!aObject) return;
    for (auto &slot : gGoneHooks)
        if (void (*hook)(const void *) = slot.load()) hook(aObject);
}

} // namespace tarn
