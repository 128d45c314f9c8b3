#include "Ports.h"

#include "ZuDeviceAdapter.h"
#include "tarn/DeviceFollow.h"

#include <algorithm>
#include <set>

using tarn::device::Connection;

struct ZuDeviceAdapter::Impl {
    // The device followed, not kept: once it goes, the adapter answers
    // "not connected".
    std::weak_ptr<ZuDevice::State> state;
    ZuDeviceType type = ZuDeviceTypeUnknown;
    std::mutex lock;
    tarn::SinkList<IZuDeviceEventSink> sinks;
    // Parameters followed for their invalidation, by name, with the array
    // that holds them (which may outlive the connection).
    std::vector<std::pair<std::string, std::shared_ptr<tarn::device::ParameterSet>>> followed;

    std::shared_ptr<Connection> Current() const
    {
        auto s = state.lock();
        return s ? s->Current() : nullptr;
    }
    std::shared_ptr<tarn::device::ParameterSet> Parameters() const
    {
        auto c = Current();
        return c ? c->Parameters() : nullptr;
    }
    template <class T> T *Find(T *(ZuGenParameterArray::*aGet)(const ZuString &), const ZuString &aName) const
    {
        auto set = Parameters();
        return set ? (set->array.*aGet)(aName) : nullptr;
    }
    // An operation on a feature of one kind, by name.
    template <class T, class Op> ZuResult With(T *(ZuGenParameterArray::*aGet)(const ZuString &), const ZuString &aName, Op aOp) const;
};

namespace {

ZuResult NotConnected()
{
    return ZuResult(ZU_NOT_CONNECTED, ZuString("the device is not connected"));
}

ZuResult NotFound(const ZuString &aName)
{
    return ZuResult(ZU_NOT_FOUND, ZuString("the device has no feature '" + aName.Narrow() + "' of that kind"));
}

} // namespace

template <class T, class Op>
ZuResult ZuDeviceAdapter::Impl::With(T *(ZuGenParameterArray::*aGet)(const ZuString &), const ZuString &aName, Op aOp) const
{
    if (!Current()) return NotConnected();
    T *p = Find(aGet, aName);
    return p ? aOp(*p) : NotFound(aName);
}

ZuDeviceAdapter::ZuDeviceAdapter(ZuDevice *aDevice) : mImpl(std::make_unique<Impl>())
{
    if (!aDevice) return;
    mImpl->state = aDevice->GetState();
    mImpl->type = aDevice->GetType();
}

ZuDeviceAdapter::~ZuDeviceAdapter()
{
    // No device calls the adapter once this returns, even while the
    // destructors of its bases run.
    LeaveDevices();
    std::vector<std::pair<std::string, std::shared_ptr<tarn::device::ParameterSet>>> followed;
    {
        std::lock_guard<std::mutex> lock(mImpl->lock);
        followed.swap(mImpl->followed);
    }
    for (auto &f : followed)
        if (ZuGenParameter *p = f.second->array.Get(ZuString(f.first))) p->UnregisterEventSink(this);
}

bool ZuDeviceAdapter::IsGenIntegerInNodeMap(const ZuString &aParameterName)
{
    return mImpl->Find(&ZuGenParameterArray::GetInteger, aParameterName) != nullptr;
}

bool ZuDeviceAdapter::IsGenEnumInNodeMap(const ZuString &aParameterName)
{
    return mImpl->Find(&ZuGenParameterArray::GetEnum, aParameterName) != nullptr;
}

bool ZuDeviceAdapter::IsGenBooleanInNodeMap(const ZuString &aParameterName)
{
    return mImpl->Find(&ZuGenParameterArray::GetBoolean, aParameterName) != nullptr;
}

bool ZuDeviceAdapter::IsGenRegisterInNodeMap(const ZuString &aParameterName)
{
    return mImpl->Find(&ZuGenParameterArray::GetRegister, aParameterName) != nullptr;
}

namespace {

bool Flag(ZuGenParameter *aParameter, ZuResult (ZuGenParameter::*aQuery)(bool &) const)
{
    bool flag = false;
    return aParameter && (aParameter->*aQuery)(flag).IsOK() && flag;
}

} // namespace

bool ZuDeviceAdapter::IsGenReadable(const ZuString &aParameterName)
{
    auto set = mImpl->Parameters();
    return set && Flag(set->array.Get(aParameterName), &ZuGenParameter::IsReadable);
}

bool ZuDeviceAdapter::IsGenWritable(const ZuString &aParameterName)
{
    auto set = mImpl->Parameters();
    return set && Flag(set->array.Get(aParameterName), &ZuGenParameter::IsWritable);
}

bool ZuDeviceAdapter::IsGenEnumEntryAvailable(const ZuString &aParameterName, const ZuString &aEnumEntry)
{
    ZuGenEnum *e = mImpl->Find(&ZuGenParameterArray::GetEnum, aParameterName);
    const ZuGenEnumEntry *entry = nullptr;
    bool available = false;
    return e && e->GetEntryByName(aEnumEntry, &entry).IsOK() && entry && entry->IsAvailable(available).IsOK() &&
           available;
}

ZuResult ZuDeviceAdapter::GetGenIntegerValue(const ZuString &aParameterName, int64_t &aValue)
{
    return mImpl->With(&ZuGenParameterArray::GetInteger, aParameterName,
                       [&](ZuGenInteger &p) { return p.GetValue(aValue); });
}

ZuResult ZuDeviceAdapter::GetGenEnumEntriesAvailable(const ZuString &aParameterName, ZuStringList &aList)
{
    if (!mImpl->Current()) return NotConnected();
    ZuGenEnum *e = mImpl->Find(&ZuGenParameterArray::GetEnum, aParameterName);
    if (!e) return NotFound(aParameterName);
    aList.clear();
    int64_t count = 0;
    ZuResult r = e->GetEntriesCount(count);
    for (int64_t k = 0; r.IsOK() && k < count; ++k) {
        const ZuGenEnumEntry *entry = nullptr;
        bool available = false;
        ZuString name;
        if (e->GetEntryByIndex(k, &entry).IsOK() && entry && entry->IsAvailable(available).IsOK() && available &&
            entry->GetName(name).IsOK())
            aList.push_back(name);
    }
    return r;
}

ZuResult ZuDeviceAdapter::GetGenEnumValue(const ZuString &aParameterName, ZuString &aEnumEntry)
{
    return mImpl->With(&ZuGenParameterArray::GetEnum, aParameterName,
                       [&](ZuGenEnum &p) { return p.GetValue(aEnumEntry); });
}

ZuResult ZuDeviceAdapter::SetGenEnumValue(const ZuString &aParameterName, const ZuString &aEnumEntry)
{
    return mImpl->With(&ZuGenParameterArray::GetEnum, aParameterName,
                       [&](ZuGenEnum &p) { return p.SetValue(aEnumEntry); });
}

ZuResult ZuDeviceAdapter::GetGenBooleanValue(const ZuString &aParameterName, bool &aValue)
{
    return mImpl->With(&ZuGenParameterArray::GetBoolean, aParameterName,
                       [&](ZuGenBoolean &p) { return p.GetValue(aValue); });
}

ZuResult ZuDeviceAdapter::SetGenBooleanValue(const ZuString &aParameterName, bool aValue)
{
    return mImpl->With(&ZuGenParameterArray::GetBoolean, aParameterName,
                       [&](ZuGenBoolean &p) { return p.SetValue(aValue); });
}

ZuResult ZuDeviceAdapter::GetGenStringValue(const ZuString &aParameterName, ZuString &aValue)
{
    return mImpl->With(&ZuGenParameterArray::GetString, aParameterName,
                       [&](ZuGenString &p) { return p.GetValue(aValue); });
}

ZuResult ZuDeviceAdapter::GetGenRegisterLength(const ZuString &aParameterName, int64_t &aLength)
{
    return mImpl->With(&ZuGenParameterArray::GetRegister, aParameterName,
                       [&](ZuGenRegister &p) { return p.GetLength(aLength); });
}

ZuResult ZuDeviceAdapter::GetGenRegisterData(const ZuString &aParameterName, uint8_t *aDataBuffer, int64_t aByteCount)
{
    if (!aDataBuffer || aByteCount <= 0) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no memory to read into"));
    return mImpl->With(&ZuGenParameterArray::GetRegister, aParameterName,
                       [&](ZuGenRegister &p) { return p.Get(aDataBuffer, aByteCount); });
}

ZuResult ZuDeviceAdapter::SetGenRegisterData(const ZuString &aParameterName, const uint8_t *aDataBuffer, int64_t aByteCount)
{
    if (!aDataBuffer || aByteCount <= 0) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no data to write"));
    return mImpl->With(&ZuGenParameterArray::GetRegister, aParameterName,
                       [&](ZuGenRegister &p) { return p.Set(aDataBuffer, aByteCount); });
}

ZuResult ZuDeviceAdapter::RegisterGenInvalidator(const ZuString &aParameterName)
{
    auto set = mImpl->Parameters();
    if (!set) return NotConnected();
    ZuGenParameter *p = set->array.Get(aParameterName);
    if (!p) return NotFound(aParameterName);
    ZuResult r = p->RegisterEventSink(this);
    if (r.IsOK()) {
        std::lock_guard<std::mutex> lock(mImpl->lock);
        mImpl->followed.emplace_back(aParameterName.Narrow(), set);
    }
    return r;
}

ZuResult ZuDeviceAdapter::UnregisterGenInvalidator(const ZuString &aParameterName)
{
    std::shared_ptr<tarn::device::ParameterSet> set;
    {
        std::lock_guard<std::mutex> lock(mImpl->lock);
        auto &f = mImpl->followed;
        auto it = std::find_if(f.begin(), f.end(), [&](const auto &e) { return e.first == aParameterName.Narrow(); });
        if (it == f.end()) return NotFound(aParameterName);
        set = it->second;
        f.erase(it);
    }
    ZuGenParameter *p = set->array.Get(aParameterName);
    return p ? p->UnregisterEventSink(this) : NotFound(aParameterName);
}

namespace {

ZuResult CheckRange(int64_t aAddress, int64_t aLength)
{
    if (aAddress < 0 || aLength <= 0 || aAddress > int64_t(UINT32_MAX))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("a negative address or length, or beyond 32 bits"));
    return ZuResult();
}

} // namespace

// Registers and memory go straight to the connection, which the call keeps
// alive even if the device is freed meanwhile on another thread.
ZuResult ZuDeviceAdapter::WriteRegister(int64_t aAddress, uint32_t aValue)
{
    if (mImpl->type != ZuDeviceTypeGEV) return ZuResult(ZU_NOT_IMPLEMENTED, ZuString("registers are GigE Vision's"));
    auto c = mImpl->Current();
    if (!c) return NotConnected();
    ZuResult r = CheckRange(aAddress, 4);
    return r.IsOK() ? c->Client().WriteRegister(uint32_t(aAddress), aValue) : r;
}

ZuResult ZuDeviceAdapter::ReadRegister(int64_t aAddress, uint32_t &aValue)
{
    if (mImpl->type != ZuDeviceTypeGEV) return ZuResult(ZU_NOT_IMPLEMENTED, ZuString("registers are GigE Vision's"));
    auto c = mImpl->Current();
    if (!c) return NotConnected();
    ZuResult r = CheckRange(aAddress, 4);
    return r.IsOK() ? c->Client().ReadRegister(uint32_t(aAddress), aValue) : r;
}

ZuResult ZuDeviceAdapter::WriteMemory(const uint8_t *aBuffer, int64_t aAddress, int64_t aLength)
{
    auto c = mImpl->Current();
    if (!c) return NotConnected();
    ZuResult r = CheckRange(aAddress, aLength);
    if (r.IsOK() && !aBuffer) r = ZuResult(ZU_INVALID_PARAMETER, ZuString("no data to write"));
    return r.IsOK() ? c->Client().WriteMemory(uint64_t(aAddress), aBuffer, uint64_t(aLength)) : r;
}

ZuResult ZuDeviceAdapter::ReadMemory(uint8_t *aBuffer, int64_t aAddress, int64_t aLength)
{
    auto c = mImpl->Current();
    if (!c) return NotConnected();
    ZuResult r = CheckRange(aAddress, aLength);
    if (r.IsOK() && !aBuffer) r = ZuResult(ZU_INVALID_PARAMETER, ZuString("no memory to read into"));
    return r.IsOK() ? c->Client().ReadMemory(uint64_t(aAddress), aBuffer, uint64_t(aLength)) : r;
}

ZuResult ZuDeviceAdapter::WaitForMessagingChannelIdle(uint32_t aTimeout)
{
    auto c = mImpl->Current();
    return c ? c->WaitIdle(aTimeout) : NotConnected();
}

bool ZuDeviceAdapter::IsConnected()
{
    return mImpl->Current() != nullptr;
}

bool ZuDeviceAdapter::IsMorvekPowered()
{
    return false;
}

bool ZuDeviceAdapter::IsGigEVision()
{
    return mImpl->type == ZuDeviceTypeGEV;
}

bool ZuDeviceAdapter::IsUSB3Vision()
{
    return mImpl->type == ZuDeviceTypeU3V;
}

ZuResult ZuDeviceAdapter::RegisterEventSink(IZuDeviceEventSink *aEventSink)
{
    if (!aEventSink) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no event sink given"));
    auto s = mImpl->state.lock();
    if (!s) return NotConnected();
    ZuResult r = mImpl->sinks.Add(aEventSink, ZU_INVALID_PARAMETER);
    // The adapter hears the device's events for its sinks (once: a second
    // join is refused).
    if (r.IsOK()) tarn::device::Join(s->sinks, this);
    return r;
}

ZuResult ZuDeviceAdapter::UnregisterEventSink(IZuDeviceEventSink *aEventSink)
{
    return mImpl->sinks.Remove(aEventSink);
}

ZuResult ZuDeviceAdapter::GetUniqueID(ZuString &aDeviceUniqueID)
{
    auto c = mImpl->Current();
    if (!c) return ZuResult(ZU_INVALID_PARAMETER, ZuString("the device is not connected"));
    aDeviceUniqueID = ZuString(tarn::gvcp::formatMac(c->Identity().mac, ':', false));
    return ZuResult();
}

void ZuDeviceAdapter::OnEvent(ZuDevice *, uint16_t aEventID, uint16_t, uint64_t, uint64_t, const void *aData,
                              uint32_t aDataLength)
{
    mImpl->sinks.ForEach([&](IZuDeviceEventSink *s) { s->OnDeviceEvent(aEventID, static_cast<const uint8_t *>(aData), aDataLength); });
}

void ZuDeviceAdapter::OnParameterUpdate(ZuGenParameter *aParameter)
{
    ZuString name;
    if (!aParameter || !aParameter->GetName(name).IsOK()) return;
    mImpl->sinks.ForEach([&](IZuDeviceEventSink *s) { s->OnGenInvalidate(name); });
}

namespace tarn {

std::unique_ptr<IZuDeviceAdapter> DeviceFollow::Adapter(IZuDeviceAdapter *aAdapter)
{
    auto *own = dynamic_cast<ZuDeviceAdapter *>(aAdapter);
    if (!own) return nullptr;
    auto copy = std::make_unique<ZuDeviceAdapter>(nullptr);
    copy->mImpl->state = own->mImpl->state;
    copy->mImpl->type = own->mImpl->type;
    return copy;
}

} // namespace tarn
