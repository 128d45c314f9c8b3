#include "ZuStreamingChannelSourceTrigger.h"

#include "IZuGenApiFactory.h"
#include "IZuRegister.h"
#include "IZuRegisterStore.h"
#include "softdevice/model/custom_register.h"
#include "softdevice/model/declarations.h"
#include "softdevice/model/guard.h"
#include "tarn/SinkList.h"

#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

using tarn::softdevice::Declarations;
using tarn::softdevice::declarationsOf;

namespace {

// The trigger registers, from the register base address.
constexpr uint32_t kSelectorAt = 0x00, kModeAt = 0x04, kSourceAt = 0x08, kSoftwareAt = 0x0C;
// How long one trigger wait lasts before the device gets on with the frames
// it already has (and hears a stop).
constexpr auto kWaitSlice = std::chrono::milliseconds(20);

const char *const kSelectorNames[] = {"FrameStart", "AcquisitionStart", "AcquisitionEnd", "AcquisitionActive",
                                      "FrameBurstStart", "FrameBurstEnd", "FrameBurstActive", "FrameEnd",
                                      "FrameActive", "LineStart", "ExposureStart", "ExposureEnd", "ExposureActive"};

std::string selectorName(int32_t aIndex)
{
    if (aIndex >= 0 && aIndex <= TRIGGER_SELECTOR_LAST) return kSelectorNames[aIndex];
    return "Selector" + std::to_string(uint32_t(aIndex));
}

// A GenICam entry name from a display name: letters, digits and '_',
// beginning with a letter.
std::string entryName(const std::string &aText, uint32_t aIndex)
{
    std::string out;
    for (char c : aText)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') out += c;
    if (out.empty() || !((out[0] >= 'A' && out[0] <= 'Z') || (out[0] >= 'a' && out[0] <= 'z')))
        out = "Source" + std::to_string(aIndex) + out;
    return out;
}

// A trigger register's value: the source's state, read and changed
// through the register as every custom register is (the source is its
// sink, and user sets keep mode and source through the source's Persist).
class TriggerValue : public tarn::softdevice::RegisterValue
{
public:
    using Loader = std::function<uint32_t()>;
    using Storer = std::function<ZuResult(uint32_t)>;
    void Bind(Loader aLoad, Storer aStore)
    {
        mLoad = std::move(aLoad);
        mStore = std::move(aStore);
    }
    uint32_t Load() override { return mLoad ? mLoad() : 0; }
    ZuResult Store(uint32_t aValue) override { return mStore(aValue); }

private:
    Loader mLoad;
    Storer mStore;
};

} // namespace

struct ZuStreamingChannelSourceTrigger::Impl {
    struct Entry {
        IZuTriggerSelector *selector = nullptr;
        IZuTriggerCallback *callback = nullptr;
        bool reported = false;   // a OneShot already told
    };
    // What a callback's call is about: the selector it is handed. The pair
    // is the callback's entry in the list, so that replacing either waits
    // for the calls handed the selector, which its owner may then free.
    struct Fired {
        int32_t index;
        const IZuTriggerSelector *selector;
        bool operator==(const Fired &o) const { return index == o.index && selector == o.selector; }
    };
    typedef tarn::SinkList<IZuTriggerCallback, Fired> Callbacks;

    Impl(uint32_t aChannel, uint32_t aBase) : channel(aChannel), base(aBase) {}

    IZuTriggerSelector *CurrentSelector() const
    {
        auto it = entries.find(current);
        return it == entries.end() ? nullptr : it->second.selector;
    }
    // TriggerSelector exists (locks).
    bool HasSelector()
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto &e : entries)
            if (e.second.selector) return true;
        return false;
    }
    bool SourceKnown(uint32_t aSource) const
    {
        if (sources.empty()) return aSource == TRIGGER_SOURCE_SOFTWARE;
        return sources.count(aSource) != 0;
    }
    // The selector and callback of aIndex (locks held): the pair they
    // replace is out of the list, its calls to be waited for once the lock
    // is let go.
    Callbacks::Leaving Bind(int32_t aIndex, IZuTriggerSelector *aSelector, IZuTriggerCallback *aCallback)
    {
        Entry &entry = entries[aIndex];
        Callbacks::Leaving old;
        if (entry.selector == aSelector && entry.callback == aCallback) return old;
        if (entry.selector && entry.callback) old = callbacks.Take(entry.callback, {aIndex, entry.selector});
        entry.selector = aSelector;
        entry.callback = aCallback;
        if (aSelector && aCallback) callbacks.Add(aCallback, {aIndex, aSelector});
        return old;
    }
    // Whether every selector whose mode is on lets a frame start; the
    // selectors to rearm and the callbacks to call when it does.
    bool Ready(Callbacks::Pinned &aCalls)
    {
        std::vector<std::pair<int32_t, Entry *>> fired;
        for (auto &e : entries) {
            Entry &entry = e.second;
            IZuTriggerSelector *s = entry.selector;
            if (!s || !s->GetMode()) continue;
            // Stopped: a trigger can no longer arrive for the acquisition
            // that ended, so nothing proceeds until streaming starts again.
            if (!streaming) return false;
            uint32_t state = s->GetState();
            if (state == IZuTriggerSelector_State_Enabled) {
                s->Start(height);
                state = s->GetState();
            }
            if (state != IZuTriggerSelector_State_OneShot) entry.reported = false;
            switch (state) {
            case IZuTriggerSelector_State_Armed:
                return false;
            case IZuTriggerSelector_State_Fired:
            case IZuTriggerSelector_State_OneShot:
                fired.emplace_back(e.first, &entry);
                break;
            default:
                // A selector that does not arm does not gate the frames.
                break;
            }
        }
        for (auto &f : fired) {
            Entry *entry = f.second;
            IZuTriggerSelector *s = entry->selector;
            const bool oneShot = s->GetState() == IZuTriggerSelector_State_OneShot;
            if (!oneShot || !entry->reported) {
                if (entry->callback) aCalls.Choose(entry->callback, {f.first, s});
                entry->reported = oneShot;
            }
            if (!oneShot) s->Rearm();
        }
        return true;
    }

    const uint32_t channel, base;
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::map<int32_t, Entry> entries;
    Callbacks callbacks;
    std::map<uint32_t, std::string> sources;
    int32_t current = TRIGGER_SELECTOR_FRAMESTART;
    bool haveCurrent = false;
    bool streaming = false;
    // A buffer was let through since the last retrieval.
    bool passed = false;
    uint32_t height = 1;
    uint64_t stops = 0;
    std::atomic<uint64_t> failures{0};
    // The registers of the device that started last, and their values.
    IZuRegister *selectorRegister = nullptr, *modeRegister = nullptr, *sourceRegister = nullptr,
                *softwareRegister = nullptr;
    TriggerValue selectorValue, modeValue, sourceValue, softwareValue;
};

ZuStreamingChannelSourceTrigger::ZuStreamingChannelSourceTrigger(uint32_t mChannel, uint32_t aRegisterBaseAddress)
    : mImpl(new Impl(mChannel, aRegisterBaseAddress))
{
}

ZuStreamingChannelSourceTrigger::~ZuStreamingChannelSourceTrigger()
{
    delete mImpl;
}

void ZuStreamingChannelSourceTrigger::AddSelector(TriggerSelectorEnum aIndex, SelectorEntry aSelector)
{
    Impl &d = *mImpl;
    Impl::Callbacks::Leaving replaced;
    {
        std::lock_guard<std::mutex> lock(d.lock);
        Impl::Entry &entry = d.entries[int32_t(aIndex)];
        replaced = d.Bind(int32_t(aIndex), aSelector, entry.callback);
        entry.reported = false;
        // The first selector added is the current one until TriggerSelector says otherwise.
        if (!d.haveCurrent && aSelector) {
            d.current = int32_t(aIndex);
            d.haveCurrent = true;
        }
        d.changed.notify_all();
    }
    replaced.Wait();
}

void ZuStreamingChannelSourceTrigger::AddSelectorTriggerCallback(TriggerSelectorEnum aIndex, IZuTriggerCallback *aCallback)
{
    Impl &d = *mImpl;
    Impl::Callbacks::Leaving replaced;
    {
        std::lock_guard<std::mutex> lock(d.lock);
        replaced = d.Bind(int32_t(aIndex), d.entries[int32_t(aIndex)].selector, aCallback);
    }
    replaced.Wait();
}

void ZuStreamingChannelSourceTrigger::AddSource(uint32_t aIndex, const ZuString &aName)
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    mImpl->sources[aIndex] = aName.Narrow();
}

bool ZuStreamingChannelSourceTrigger::GetMode() const
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    IZuTriggerSelector *s = mImpl->CurrentSelector();
    return s && s->GetMode();
}

uint32_t ZuStreamingChannelSourceTrigger::GetSource() const
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    IZuTriggerSelector *s = mImpl->CurrentSelector();
    return s ? s->GetSource() : uint32_t(TRIGGER_SOURCE_SOFTWARE);
}

void ZuStreamingChannelSourceTrigger::FireTrigger() const
{
    Impl &d = *mImpl;
    std::lock_guard<std::mutex> lock(d.lock);
    IZuTriggerSelector *s = d.CurrentSelector();
    if (!s || !s->GetMode() || s->GetSource() != TRIGGER_SOURCE_SOFTWARE) return;
    s->FireTrigger();
    d.changed.notify_all();
}

void ZuStreamingChannelSourceTrigger::OnStreamingStart()
{
    // Asked before the lock: the height may come from Python.
    const uint32_t height = GetHeight();
    Impl &d = *mImpl;
    std::lock_guard<std::mutex> lock(d.lock);
    d.streaming = true;
    d.passed = false;
    d.height = height;
    for (auto &e : d.entries) {
        IZuTriggerSelector *s = e.second.selector;
        e.second.reported = false;
        if (s && s->GetMode()) s->Start(height);
    }
    d.changed.notify_all();
}

void ZuStreamingChannelSourceTrigger::OnStreamingStop()
{
    Impl &d = *mImpl;
    std::lock_guard<std::mutex> lock(d.lock);
    d.streaming = false;
    ++d.stops;
    for (auto &e : d.entries)
        if (e.second.selector) e.second.selector->Stop();
    d.changed.notify_all();
}

bool ZuStreamingChannelSourceTrigger::PreQueueBufferProc()
{
    Impl &d = *mImpl;
    Impl::Callbacks::Pinned calls(d.callbacks);
    {
        std::unique_lock<std::mutex> lock(d.lock);
        const uint64_t stops = d.stops;
        const auto until = std::chrono::steady_clock::now() + kWaitSlice;
        while (!d.Ready(calls)) {
            // A frame let through is not yet retrieved: the device gets on
            // with it rather than wait here for the next trigger.
            if (d.passed) return false;
            if (d.stops != stops || d.changed.wait_until(lock, until) == std::cv_status::timeout) return false;
        }
        d.passed = true;
    }
    // Callbacks run without the lock: they may be Python, and may add
    // selectors or fire triggers themselves.
    calls.Make([&](IZuTriggerCallback *aCallback, const Impl::Fired &aFired) {
        tarn::softdevice::guarded(d.failures, [&] { aCallback->TriggerCallbackMethod(aFired.selector); });
    });
    return true;
}

void ZuStreamingChannelSourceTrigger::PostRetrieveBufferProc()
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    mImpl->passed = false;
}

ZuResult ZuStreamingChannelSourceTrigger::GetTxNumBuffersToUse(uint32_t &aNumBuffer)
{
    aNumBuffer = 0;
    return ZuResult(ZU_NOT_IMPLEMENTED);
}

ZuResult ZuStreamingChannelSourceTrigger::PreRead(IZuRegister *aRegister)
{
    (void)aRegister;
    return ZuResult(ZU_OK);
}

ZuResult ZuStreamingChannelSourceTrigger::PreWrite(IZuRegister *aRegister)
{
    (void)aRegister;
    return ZuResult(ZU_OK);
}

ZuResult ZuStreamingChannelSourceTrigger::Persist(IZuRegister *aRegister, IZuRegisterStore *aStore)
{
    Impl &d = *mImpl;
    if (!aStore || !aRegister || (aRegister != d.modeRegister && aRegister != d.sourceRegister))
        return ZuResult(ZU_NOT_IMPLEMENTED);
    // Mode and source are per selector: one content per selector, each
    // stored while its selector is the current one.
    std::vector<int32_t> indices;
    int32_t current;
    {
        std::lock_guard<std::mutex> lock(d.lock);
        current = d.current;
        for (auto &e : d.entries)
            if (e.second.selector) indices.push_back(e.first);
    }
    ZuResult result(ZU_OK);
    for (int32_t index : indices) {
        {
            std::lock_guard<std::mutex> lock(d.lock);
            d.current = index;
        }
        ZuResult r = aStore->Persist(aRegister, ZuString(selectorName(index).c_str()));
        if (result.IsOK() && !r.IsOK()) result = r;
    }
    std::lock_guard<std::mutex> lock(d.lock);
    d.current = current;
    return result;
}

void ZuStreamingChannelSourceTrigger::CreateRegisters(IZuRegisterMap *aRegisterMap, IZuRegisterFactory *aFactory)
{
    Impl &d = *mImpl;
    d.selectorRegister = d.modeRegister = d.sourceRegister = d.softwareRegister = nullptr;
    if (!aRegisterMap || !aFactory) return;
    struct Made {
        const char *name;
        uint32_t at;
        ZuGenAccessMode access;
        IZuRegister *&reg;
        TriggerValue &value;
    };
    const Made made[] = {{"TriggerSelector", kSelectorAt, ZuGenAccessModeReadWrite, d.selectorRegister, d.selectorValue},
                         {"TriggerMode", kModeAt, ZuGenAccessModeReadWrite, d.modeRegister, d.modeValue},
                         {"TriggerSource", kSourceAt, ZuGenAccessModeReadWrite, d.sourceRegister, d.sourceValue},
                         {"TriggerSoftware", kSoftwareAt, ZuGenAccessModeWriteOnly, d.softwareRegister, d.softwareValue}};
    for (const Made &m : made) {
        const uint32_t at = d.base + m.at;
        if (!aFactory->AddRegister(ZuString(m.name), at, 4, m.access, this).IsOK()) {
            // Laid over a register of the device or a script's, the trigger
            // registers would silently take its place.
            if (Declarations *lent = declarationsOf(aFactory)) {
                char text[16];
                std::snprintf(text, sizeof text, "0x%X", unsigned(d.base));
                lent->Refuse(std::string("the trigger registers at ") + text + " overlap registers already there");
            }
            return;
        }
        m.reg = aRegisterMap->GetRegisterByAddress(at);
        if (auto *own = dynamic_cast<tarn::softdevice::CustomRegister *>(m.reg)) own->SetValue(&m.value);
    }

    d.selectorValue.Bind([&d] {
        std::lock_guard<std::mutex> lock(d.lock);
        return uint32_t(d.current);
    }, [&d](uint32_t v) {
        std::lock_guard<std::mutex> lock(d.lock);
        auto it = d.entries.find(int32_t(v));
        if (it == d.entries.end() || !it->second.selector) return ZuResult(ZU_INVALID_PARAMETER);
        d.current = int32_t(v);
        d.haveCurrent = true;
        return ZuResult(ZU_OK);
    });
    d.modeValue.Bind([&d] {
        std::lock_guard<std::mutex> lock(d.lock);
        IZuTriggerSelector *s = d.CurrentSelector();
        return uint32_t(s && s->GetMode() ? TRIGGER_MODE_ON : TRIGGER_MODE_OFF);
    }, [&d](uint32_t v) {
        if (v != TRIGGER_MODE_OFF && v != TRIGGER_MODE_ON) return ZuResult(ZU_INVALID_PARAMETER);
        std::lock_guard<std::mutex> lock(d.lock);
        IZuTriggerSelector *s = d.CurrentSelector();
        if (!s) return ZuResult(ZU_INVALID_PARAMETER);
        // The same mode again keeps an armed or fired selector as it is.
        if (s->GetMode() != (v == TRIGGER_MODE_ON)) {
            s->SetMode(v == TRIGGER_MODE_ON);
            if (v == TRIGGER_MODE_ON && d.streaming) s->Start(d.height);
        }
        d.changed.notify_all();
        return ZuResult(ZU_OK);
    });
    d.sourceValue.Bind([&d] {
        std::lock_guard<std::mutex> lock(d.lock);
        IZuTriggerSelector *s = d.CurrentSelector();
        return s ? s->GetSource() : uint32_t(TRIGGER_SOURCE_SOFTWARE);
    }, [&d](uint32_t v) {
        std::lock_guard<std::mutex> lock(d.lock);
        IZuTriggerSelector *s = d.CurrentSelector();
        if (!s || !d.SourceKnown(v)) return ZuResult(ZU_INVALID_PARAMETER);
        s->SetSource(v);
        return ZuResult(ZU_OK);
    });
    // Virtual: a Python override of FireTrigger sees the controller's trigger.
    d.softwareValue.Bind(nullptr, [this](uint32_t) {
        FireTrigger();
        return ZuResult(ZU_OK);
    });
}

void ZuStreamingChannelSourceTrigger::CreateGenApiFeatures(IZuRegisterMap *aRegisterMap, IZuGenApiFactory *aFactory)
{
    // Virtual, so that a subclass's own version of one step takes effect.
    CreateTriggerSelector(aRegisterMap, aFactory);
    CreateTriggerMode(aRegisterMap, aFactory);
    CreateTriggerSource(aRegisterMap, aFactory);
    CreateTriggerSoftware(aRegisterMap, aFactory);
}

namespace {
// The common part of the four trigger features: standard names in the
// acquisition controls, on the source's own registers.
void describeTriggerFeature(IZuGenApiFactory &aFactory, const char *aName, ZuGenAccessMode aAccess,
                            const char *aToolTip, bool aSelected = false)
{
    aFactory.SetName(ZuString(aName));
    // Mode, source and software trigger each hold one per selector.
    if (aSelected) aFactory.AddSelected(ZuString("TriggerSelector"));
    aFactory.SetCategory(ZuString("AcquisitionControl"));
    aFactory.SetNameSpace(ZuGenNameSpaceStandard);
    aFactory.SetAccessMode(aAccess);
    aFactory.SetToolTip(ZuString(aToolTip));
}

void addEntries(IZuGenApiFactory &aFactory, const std::vector<std::pair<std::string, uint32_t>> &aEntries)
{
    for (const auto &e : aEntries) aFactory.AddEnumEntry(ZuString(e.first.c_str()), e.second, ZuString(), ZuGenNameSpaceStandard);
}
} // namespace

void ZuStreamingChannelSourceTrigger::CreateTriggerSelector(IZuRegisterMap *aRegisterMap, IZuGenApiFactory *aFactory)
{
    (void)aRegisterMap;
    if (!aFactory) return;
    std::vector<std::pair<std::string, uint32_t>> entries;
    {
        std::lock_guard<std::mutex> lock(mImpl->lock);
        for (auto &e : mImpl->entries)
            if (e.second.selector) entries.emplace_back(selectorName(e.first), uint32_t(e.first));
    }
    // No selector, nothing to select.
    if (entries.empty()) return;
    describeTriggerFeature(*aFactory, "TriggerSelector", ZuGenAccessModeReadWrite,
                           "Selects the trigger that TriggerMode, TriggerSource and TriggerSoftware show");
    addEntries(*aFactory, entries);
    aFactory->CreateEnum(mImpl->selectorRegister);
}

void ZuStreamingChannelSourceTrigger::CreateTriggerMode(IZuRegisterMap *aRegisterMap, IZuGenApiFactory *aFactory)
{
    (void)aRegisterMap;
    if (!aFactory) return;
    describeTriggerFeature(*aFactory, "TriggerMode", ZuGenAccessModeReadWrite,
                           "Whether the selected trigger starts what it selects", mImpl->HasSelector());
    addEntries(*aFactory, {{"Off", TRIGGER_MODE_OFF}, {"On", TRIGGER_MODE_ON}});
    aFactory->CreateEnum(mImpl->modeRegister);
}

void ZuStreamingChannelSourceTrigger::CreateTriggerSource(IZuRegisterMap *aRegisterMap, IZuGenApiFactory *aFactory)
{
    (void)aRegisterMap;
    if (!aFactory) return;
    std::vector<std::pair<std::string, uint32_t>> entries;
    {
        std::lock_guard<std::mutex> lock(mImpl->lock);
        for (auto &s : mImpl->sources) {
            std::string name = entryName(s.second, s.first);
            bool seen = false;
            for (auto &e : entries) seen = seen || e.first == name;
            entries.emplace_back(seen ? name + "_" + std::to_string(s.first) : name, s.first);
        }
    }
    if (entries.empty()) entries = {{"Software", TRIGGER_SOURCE_SOFTWARE}};
    describeTriggerFeature(*aFactory, "TriggerSource", ZuGenAccessModeReadWrite, "The signal the selected trigger waits for", mImpl->HasSelector());
    addEntries(*aFactory, entries);
    aFactory->CreateEnum(mImpl->sourceRegister);
}

void ZuStreamingChannelSourceTrigger::CreateTriggerSoftware(IZuRegisterMap *aRegisterMap, IZuGenApiFactory *aFactory)
{
    (void)aRegisterMap;
    if (!aFactory) return;
    describeTriggerFeature(*aFactory, "TriggerSoftware", ZuGenAccessModeWriteOnly,
                           "Fires the selected trigger when its source is Software", mImpl->HasSelector());
    aFactory->CreateCommand(mImpl->softwareRegister);
}
