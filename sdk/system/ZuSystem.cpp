#include "SystemDetail.h"
#include "tarn/Holds.h"
#include "tarn/SinkList.h"

#include <algorithm>
#include <mutex>

namespace {
constexpr uint32_t kDefaultTimeout = 1500;
constexpr uint32_t kMinTimeout = 100;
constexpr uint32_t kMaxTimeout = 60000;

// The addresses a discovery sends from, and the adapter each belongs to.
template <class List>
std::vector<tarn::discovery::Target> SendTargets(const List &list, std::vector<ZuNetworkAdapter *> &adapters)
{
    std::vector<tarn::discovery::Target> out;
    for (const auto &itf : list) {
        auto *adapter = dynamic_cast<ZuNetworkAdapter *>(&*itf);
        if (!adapter || !ZuSystemDetail::MaySend(*adapter)) continue;
        for (const auto &a : ZuSystemDetail::Addresses(*adapter)) {
            out.push_back({a.ip, a.mask, ZuSystemDetail::AdapterName(*adapter)});
            adapters.push_back(adapter);
        }
    }
    return out;
}

} // namespace

ZuSystemEventSink::~ZuSystemEventSink() = default;

struct ZuSystem::Impl
{
    // Guards the lists and settings; a discovery runs outside it so that
    // readers are not held up for the detection time-out.
    mutable std::mutex mutex;
    // Serialises discoveries of this system.
    std::mutex findMutex;
    uint32_t timeout = kDefaultTimeout;
    bool subnetBroadcast = false;
    tarn::SinkList<ZuSystemEventSink> sinks;
    std::vector<std::unique_ptr<ZuInterface>> interfaces;
    std::vector<std::unique_ptr<ZuDeviceInfo>> devices;
    // What earlier discoveries found and no longer report: kept, so that
    // informations handed out before stay valid for the life of the system.
    std::vector<std::unique_ptr<ZuInterface>> oldInterfaces;
    std::vector<std::unique_ptr<ZuDeviceInfo>> oldDevices;
    mutable std::vector<tarn::discovery::Session> sessions;

    void Notify(const std::vector<const ZuDeviceInfo *> &found)
    {
        for (const ZuDeviceInfo *info : found)
            sinks.ForEach([&](ZuSystemEventSink *sink) { sink->OnDeviceFound(info->GetInterface(), info); });
    }
};

namespace {

// A repeated discovery keeps each object that still reports the same, so
// that the system does not grow with every Find: what a fresh listing
// found becomes, one by one, either the equal current object or itself.
template <class T, class Same>
std::vector<T *> Pick(const std::vector<std::unique_ptr<T>> &current, const std::vector<std::unique_ptr<T>> &fresh,
                      Same same)
{
    std::vector<T *> picked;
    for (const auto &f : fresh) {
        T *choice = f.get();
        for (const auto &c : current) {
            if (same(*c, *f) && std::find(picked.begin(), picked.end(), c.get()) == picked.end()) {
                choice = c.get();
                break;
            }
        }
        picked.push_back(choice);
    }
    return picked;
}

// Makes the picked objects the current list; current objects not picked
// retire (proxies may still use them), fresh ones not picked go.
template <class T>
void Commit(std::vector<std::unique_ptr<T>> &current, std::vector<std::unique_ptr<T>> &fresh,
            const std::vector<T *> &picked, std::vector<std::unique_ptr<T>> &retired)
{
    std::vector<std::unique_ptr<T>> next;
    for (T *p : picked) {
        for (auto *list : {&current, &fresh}) {
            auto it = std::find_if(list->begin(), list->end(), [p](const std::unique_ptr<T> &u) { return u.get() == p; });
            if (it != list->end()) {
                next.push_back(std::move(*it));
                break;
            }
        }
    }
    for (auto &c : current)
        if (c) retired.push_back(std::move(c));
    current = std::move(next);
}

} // namespace

std::vector<tarn::discovery::Target> tarn::discovery::SendingTargets()
{
    auto interfaces = ZuSystemDetail::ListInterfaces();
    std::vector<ZuNetworkAdapter *> adapters;
    return SendTargets(interfaces, adapters);
}

ZuSystem::ZuSystem() : mImpl(std::make_unique<Impl>()) {}
ZuSystem::~ZuSystem()
{
    // Every interface and device information the system found was lent to
    // the bindings by its getters.
    for (const auto *list : {&mImpl->interfaces, &mImpl->oldInterfaces})
        for (const auto &itf : *list) tarn::Lent::Goes(itf.get());
    for (const auto *list : {&mImpl->devices, &mImpl->oldDevices})
        for (const auto &info : *list) tarn::Lent::Goes(info.get());
}

ZuResult ZuSystem::Find()
{
    std::lock_guard<std::mutex> findLock(mImpl->findMutex);
    // Only Find and FindDevice change the lists, and both hold findMutex:
    // reading them here needs no other lock.
    auto freshInterfaces = ZuSystemDetail::ListInterfaces();
    auto interfaces = Pick(mImpl->interfaces, freshInterfaces, ZuSystemDetail::SameInterface);
    std::vector<ZuNetworkAdapter *> adapters;
    auto targets = SendTargets(interfaces, adapters);
    std::vector<tarn::discovery::Answer> answers;
    bool searched = tarn::discovery::DiscoverGEV(targets, GetDetectionTimeout(), GetSubnetBroadcastEnabled(), nullptr, answers);

    std::vector<std::unique_ptr<ZuDeviceInfo>> freshDevices;
    for (const auto &answer : answers) {
        auto info = ZuSystemDetail::MakeGEV(answer.identity, adapters[answer.target]);
        bool seen = std::any_of(freshDevices.begin(), freshDevices.end(), [&](const std::unique_ptr<ZuDeviceInfo> &d) {
            return ZuSystemDetail::SameDevice(static_cast<const ZuDeviceInfoGEV &>(*d), *info);
        });
        if (!seen)  // the same answer through two of the adapter's addresses
            freshDevices.push_back(std::move(info));
    }
    auto devices = Pick(mImpl->devices, freshDevices, ZuSystemDetail::SameInformation);
    std::vector<const ZuDeviceInfo *> found(devices.begin(), devices.end());
    {
        std::lock_guard<std::mutex> lock(mImpl->mutex);
        Commit(mImpl->interfaces, freshInterfaces, interfaces, mImpl->oldInterfaces);
        Commit(mImpl->devices, freshDevices, devices, mImpl->oldDevices);
        for (ZuInterface *itf : interfaces) {
            std::vector<const ZuDeviceInfo *> behind;
            for (const ZuDeviceInfo *info : found)
                if (info->GetInterface() == itf) behind.push_back(info);
            ZuSystemDetail::SetDevices(*itf, std::move(behind));
        }
    }
    mImpl->Notify(found);
    if (!searched)
        return ZuResult(ZU_NETWORK_ERROR, ZuString("no network adapter could be searched for GigE Vision devices "
                                                   "(the loopback, or those TARN_DISCOVERY_INTERFACES names)"));
    return ZuResult();
}

ZuResult ZuSystem::FindDevice(const ZuString &aDeviceToFind, const ZuDeviceInfo **aDeviceInfo)
{
    if (aDeviceInfo) *aDeviceInfo = nullptr;
    if (!aDeviceInfo || aDeviceToFind.GetLength() == 0)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("a device to find and a place for its information are needed"));
    const std::string text = aDeviceToFind.Narrow();

    std::lock_guard<std::mutex> findLock(mImpl->findMutex);
    bool empty;
    {
        std::lock_guard<std::mutex> lock(mImpl->mutex);
        empty = mImpl->interfaces.empty();
    }
    if (empty) {
        auto interfaces = ZuSystemDetail::ListInterfaces();
        std::lock_guard<std::mutex> lock(mImpl->mutex);
        mImpl->interfaces = std::move(interfaces);
    }
    // The interfaces are only replaced under findMutex, which this call holds.
    std::vector<ZuNetworkAdapter *> adapters;
    auto targets = SendTargets(mImpl->interfaces, adapters);
    std::vector<tarn::discovery::Answer> answers;
    auto done = [&](const tarn::discovery::Answer &a) {
        auto probe = ZuSystemDetail::MakeGEV(a.identity, adapters[a.target]);
        return ZuSystemDetail::Matches(*probe, text);
    };
    tarn::discovery::DiscoverGEV(targets, GetDetectionTimeout(), GetSubnetBroadcastEnabled(), done, answers);

    const ZuDeviceInfo *match = nullptr;
    std::vector<const ZuDeviceInfo *> found;
    {
        std::lock_guard<std::mutex> lock(mImpl->mutex);
        for (const auto &answer : answers) {
            ZuNetworkAdapter *adapter = adapters[answer.target];
            auto info = ZuSystemDetail::MakeGEV(answer.identity, adapter);
            const ZuDeviceInfo *known = nullptr;
            for (auto &d : mImpl->devices) {
                if (ZuSystemDetail::SameInformation(*d, *info)) {
                    known = d.get();
                } else if (d->GetInterface() == adapter &&
                           ZuSystemDetail::SameMac(static_cast<const ZuDeviceInfoGEV &>(*d), *info)) {
                    // The device now reports otherwise (a new name or address,
                    // say): its former information retires instead of standing
                    // beside it.
                    ZuSystemDetail::RemoveDevice(*adapter, d.get());
                    mImpl->oldDevices.push_back(std::move(d));
                }
            }
            mImpl->devices.erase(std::remove(mImpl->devices.begin(), mImpl->devices.end(), nullptr),
                                 mImpl->devices.end());
            if (!known) {
                known = info.get();
                ZuSystemDetail::AddDevice(*adapter, known);
                found.push_back(known);
                mImpl->devices.push_back(std::move(info));
            }
            if (!match && ZuSystemDetail::Matches(*known, text)) match = known;
        }
    }
    mImpl->Notify(found);
    *aDeviceInfo = match;
    if (!match) return ZuResult(ZU_NOT_FOUND, ZuString("no device answered as " + text));
    return ZuResult();
}

void ZuSystem::SetDetectionTimeout(uint32_t aTimeout)
{
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->timeout = std::min(std::max(aTimeout, kMinTimeout), kMaxTimeout);
}

uint32_t ZuSystem::GetDetectionTimeout() const
{
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    return mImpl->timeout;
}

void ZuSystem::SetSubnetBroadcastEnabled(bool aEnabled)
{
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->subnetBroadcast = aEnabled;
}

bool ZuSystem::GetSubnetBroadcastEnabled() const
{
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    return mImpl->subnetBroadcast;
}

uint32_t ZuSystem::GetGEVSupportedVersion() const { return 0x00020000; }
uint32_t ZuSystem::GetU3VSupportedVersion() const { return 0x00010000; }

ZuResult ZuSystem::RegisterEventSink(ZuSystemEventSink *aEventSink)
{
    return mImpl->sinks.Add(aEventSink);
}

ZuResult ZuSystem::UnregisterEventSink(ZuSystemEventSink *aEventSink)
{
    return mImpl->sinks.Remove(aEventSink);
}

uint32_t ZuSystem::GetInterfaceCount() const
{
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    return uint32_t(mImpl->interfaces.size());
}

const ZuInterface *ZuSystem::GetInterface(uint32_t aIndex) const
{
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    return aIndex < mImpl->interfaces.size() ? mImpl->interfaces[aIndex].get() : nullptr;
}

uint32_t ZuSystem::GetDeviceCount() const
{
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    return uint32_t(mImpl->devices.size());
}

const ZuDeviceInfo *ZuSystem::GetDeviceInfo(uint32_t aIndex) const
{
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    return aIndex < mImpl->devices.size() ? mImpl->devices[aIndex].get() : nullptr;
}

uint32_t ZuSystem::DiscoverSessions() const
{
    auto interfaces = ZuSystemDetail::ListInterfaces();
    std::vector<ZuNetworkAdapter *> adapters;
    auto targets = SendTargets(interfaces, adapters);
    auto sessions = tarn::discovery::ListenSAP(targets, GetDetectionTimeout());
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->sessions = std::move(sessions);
    return uint32_t(mImpl->sessions.size());
}

ZuResult ZuSystem::GetSessionInfo(uint32_t aIndex, ZuSessionInfo &aSessionInfo) const
{
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    if (aIndex >= mImpl->sessions.size()) return ZuResult(ZU_NOT_FOUND, ZuString("no announced session at that index"));
    const auto &s = mImpl->sessions[aIndex];
    aSessionInfo.mName = ZuString(s.name);
    aSessionInfo.mAddress = ZuString(s.address);
    aSessionInfo.mPort = s.port;
    aSessionInfo.mLocalAddress = ZuString(s.localAddress);
    return ZuResult();
}
