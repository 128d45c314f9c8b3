#include "ZuSoftDeviceGEV.h"

#include "net/adapters.h"
#include "softdevice/model/guard.h"
#include "softdevice/transport.h"
#include "tarn/Holds.h"
#include "tarn/SoftDevice.h"
#include "tarn/UpCalls.h"
#include "tarn/Worker.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

using tarn::softdevice::DeviceModel;
using tarn::softdevice::NetConfig;
using tarn::softdevice::Transport;

namespace {

struct Core;
void forget(const std::shared_ptr<Core> &aCore);

// A device's model and transport, kept alive by whoever stops them: the
// device itself, or, when the stop comes from inside one of the device's
// own threads (an up-call stopped or deleted it), a thread of its own.
struct Core : std::enable_shared_from_this<Core> {
    explicit Core(IZuVirtualDeviceGEV &aSelf) : model(aSelf) {}
    void Stop()
    {
        std::lock_guard<std::mutex> lock(stopping);
        if (transport) transport->Stop();
        transport.reset();
        model.Teardown();
    }
    // Stops on the reaper, for a stop asked on one of the device's own
    // threads, which cannot be joined from there. aGone: the device itself
    // went, and the core leaves the list of devices once stopped (not
    // before, so that an exit meanwhile waits for the stop).
    void StopLater(bool aGone)
    {
        std::lock_guard<std::mutex> lock(reaping);
        gone = gone || aGone;
        // A stop under way also forgets a device gone meanwhile.
        if (reaperBusy) return;
        std::shared_ptr<Core> self = shared_from_this();
        reaperBusy = reaper.Start([self](tarn::Worker::Control &) {
                         self->Stop();
                         std::lock_guard<std::mutex> done(self->reaping);
                         self->reaperBusy = false;
                         if (self->gone) forget(self);
                     }).IsOK();
    }
    std::mutex stopping;
    DeviceModel model;
    std::unique_ptr<Transport> transport;
    std::atomic<bool> tcp{false};  // applies from the next start
    std::mutex reaping;
    bool reaperBusy = false, gone = false;
    tarn::Worker reaper;
};

std::mutex gDevicesLock;
std::vector<std::weak_ptr<Core>> gDevices;

void forget(const std::shared_ptr<Core> &aCore)
{
    tarn::UpCalls::Gone(aCore.get());
    std::lock_guard<std::mutex> lock(gDevicesLock);
    gDevices.erase(std::remove_if(gDevices.begin(), gDevices.end(),
                                  [&](const std::weak_ptr<Core> &w) { return w.lock() == aCore || w.expired(); }),
                   gDevices.end());
}

std::vector<std::shared_ptr<Core>> liveCores()
{
    std::lock_guard<std::mutex> lock(gDevicesLock);
    std::vector<std::shared_ptr<Core>> out;
    for (auto &w : gDevices)
        if (auto c = w.lock()) out.push_back(c);
    return out;
}

// Resolves the interface to bind: a MAC of the form 02:00:7F:xx:yy:zz is a
// device of its own on the loopback address 127.xx.yy.zz (several devices
// on one machine); the loopback's own all-zero MAC is 127.0.0.1; any other
// MAC names an adapter of the host, whose first IPv4 address is used.
bool resolve(const std::string &aMac, NetConfig &aNet, std::string &aError)
{
    if (!tarn::gvcp::parseMac(aMac, aNet.mac)) {
        aError = "'" + aMac + "' is not a MAC address";
        return false;
    }
    const tarn::gvcp::Mac &m = aNet.mac;
    if (m[0] == 0x02 && m[1] == 0x00 && m[2] == 0x7F) {
        aNet.ip = 0x7F000000u | uint32_t(m[3]) << 16 | uint32_t(m[4]) << 8 | m[5];
        aNet.mask = 0xFF000000u;
        return (m[3] | m[4] | m[5]) != 0 || (aError = "127.0.0.0 is no device address", false);
    }
    if (m == tarn::gvcp::Mac{}) {
        aNet.ip = 0x7F000001u;
        aNet.mask = 0xFF000000u;
        return true;
    }
    for (const tarn::net::Adapter &a : tarn::net::listAdapters()) {
        if (!a.hasMac || a.mac != m || a.addresses.empty()) continue;
        aNet.ip = a.addresses.front().ip;
        aNet.mask = a.addresses.front().mask;
        aNet.gateway = a.gateway;
        return true;
    }
    aError = "no local interface has the MAC address " + aMac;
    return false;
}

} // namespace

struct ZuSoftDeviceGEV::Impl {
    explicit Impl(ZuSoftDeviceGEV &aSelf) : core(std::make_shared<Core>(aSelf))
    {
        {
            std::lock_guard<std::mutex> lock(gDevicesLock);
            gDevices.push_back(core);
        }
        // Stopped at exit unless the exit runs on one of its own threads;
        // one deleted from there meanwhile is still stopping, and the exit
        // waits for that.
        tarn::UpCalls::Live(core.get(), tarn::UpCalls::kExitDevices, [weak = std::weak_ptr<Core>(core)] {
            if (std::shared_ptr<Core> c = weak.lock())
                if (tarn::softdevice::currentDeviceThread() != &c->model) c->Stop();
        });
    }
    ~Impl()
    {
        // Deleted from inside one of its own up-calls: the reaper ends it.
        if (tarn::softdevice::currentDeviceThread() == &core->model) {
            core->StopLater(true);
            return;
        }
        forget(core);
        core->reaper.Stop();
        core->Stop();
    }
    bool Running() const { return core->model.Built(); }

    std::shared_ptr<Core> core;
    std::mutex lock;   // Start and Stop against each other
};

ZuSoftDeviceGEV::ZuSoftDeviceGEV() : mImpl(new Impl(*this)) {}

ZuSoftDeviceGEV::~ZuSoftDeviceGEV()
{
    // Handed to the sinks' up-calls; its model's parts go with the model.
    tarn::Lent::Goes(this);
    delete mImpl;
}

ZuResult ZuSoftDeviceGEV::SetUserSetCount(uint32_t aCount) { return mImpl->core->model.SetUserSetCount(aCount); }
ZuResult ZuSoftDeviceGEV::SetUserSetNotify(IZuUserSetNotify *aNotify) { return mImpl->core->model.UserSets().SetNotify(aNotify); }
ZuResult ZuSoftDeviceGEV::SetActionHandler(ZuVirtualDeviceLib::IActionHandler *aHandler) { return mImpl->core->model.Sinks().SetActionHandler(aHandler); }
ZuResult ZuSoftDeviceGEV::RegisterEventSink(IZuVirtualDeviceGEVEventSink *aSink) { return mImpl->core->model.Sinks().Add(aSink); }
ZuResult ZuSoftDeviceGEV::UnregisterEventSink(IZuVirtualDeviceGEVEventSink *aSink) { return mImpl->core->model.Sinks().Remove(aSink); }
ZuResult ZuSoftDeviceGEV::AddStream(IZuSWStreamingChannelSource *aSource) { return mImpl->core->model.AddStream(aSource); }
ZuResult ZuSoftDeviceGEV::SetTCPTransportEnabled(bool aEnabled)
{
    mImpl->core->tcp = aEnabled;
    return ZuResult(ZU_OK);
}

ZuResult ZuSoftDeviceGEV::SetRTPProtocolEnabled(bool aEnabled)
{
    // Read at the next Start, as the other switches.
    mImpl->core->model.GetStreams().SetRtpEnabled(aEnabled);
    return ZuResult(ZU_OK);
}

ZuResult ZuSoftDeviceGEV::SetGenDCEnabled(bool aEnabled)
{
    mImpl->core->model.GetStreams().SetGenDCEnabled(aEnabled);
    return ZuResult(ZU_OK);
}

ZuResult ZuSoftDeviceGEV::SetStreamTimestamping(bool aEnabled)
{
    mImpl->core->model.GetStreams().SetTimestamping(aEnabled);
    return ZuResult(ZU_OK);
}

ZuResult ZuSoftDeviceGEV::Start(const ZuString &aMACAddress)
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    if (mImpl->Running()) return ZuResult(ZU_STATE_ERROR);
    // A stop from the device's own thread may still be under way.
    if (mImpl->core->reaper.Running()) {
        if (tarn::softdevice::currentDeviceThread() == &mImpl->core->model) return ZuResult(ZU_STATE_ERROR);
        mImpl->core->reaper.Stop();
    }
    NetConfig net;
    std::string error;
    Core &core = *mImpl->core;
    if (!resolve(aMACAddress.Narrow(), net, error)) {
        // A start that fails still leaves its description.
        core.model.Describe();

        return ZuResult(ZU_INVALID_PARAMETER, ZuString(error.c_str()));
    }
    // What an up-call throws goes on to the caller; the model has undone
    // its part by then.
    ZuResult result = core.model.Build(net);
    if (!result.IsOK()) return result;
    core.transport = tarn::softdevice::makeUdpTransport(core.tcp);
    if (!core.transport->Start(core.model, error)) {
        core.Stop();
        return ZuResult(ZU_NETWORK_ERROR, ZuString(error.c_str()));
    }
    return ZuResult(ZU_OK);
}

ZuResult ZuSoftDeviceGEV::Stop()
{
    std::lock_guard<std::mutex> lock(mImpl->lock);
    if (!mImpl->Running()) return ZuResult(ZU_STATE_ERROR);
    std::shared_ptr<Core> core = mImpl->core;
    if (tarn::softdevice::currentDeviceThread() == &core->model) {
        core->StopLater(false);
        return ZuResult(ZU_OK);
    }
    core->Stop();
    return ZuResult(ZU_OK);
}

IZuVirtualDeviceGEVInfo *ZuSoftDeviceGEV::GetInfo()
{
    // Also inside Start, from its own up-calls: a script sets the
    // description's version and GUIDs before Start writes it.
    DeviceModel &model = mImpl->core->model;
    return mImpl->Running() || model.Starting() ? &model.GetIdentity() : nullptr;
}

namespace tarn {

void HoldForNextRegister(IZuRegisterFactory *aFactory, int aWhich, std::shared_ptr<void> aHold)
{
    if (auto *own = dynamic_cast<tarn::softdevice::RegisterFactory *>(aFactory)) own->HoldNext(aWhich, std::move(aHold));
}

void ForgetRegisterSink(IZuRegisterEventSink *aSink)
{
    for (auto &core : liveCores()) core->model.Registers().ForgetSink(aSink);
}

} // namespace tarn

IZuRegisterMap *ZuSoftDeviceGEV::GetRegisterMap()
{
    // Also inside Start, once registers are being created: the callbacks
    // that declare features find their registers in it.
    DeviceModel &model = mImpl->core->model;
    return mImpl->Running() || model.Building() ? &model.Registers() : nullptr;
}

IZuVirtualDeviceGEVStatistics *ZuSoftDeviceGEV::GetStatistics()
{
    return mImpl->Running() ? &mImpl->core->model.GetStatistics() : nullptr;
}

IZuMessageChannel *ZuSoftDeviceGEV::GetMessagingChannel()
{
    return mImpl->Running() ? &mImpl->core->model.Messages() : nullptr;
}

ZuResult ZuSoftDeviceGEV::GetGenICamXMLFile(ZuString &aString) const
{
    const DeviceModel &model = mImpl->core->model;
    if (!model.HasDescription()) return ZuResult(ZU_STATE_ERROR);
    aString = ZuString(model.Description().c_str());
    return ZuResult(ZU_OK);
}

namespace tarn {

void ForgetSoftDeviceSink(IZuVirtualDeviceGEVEventSink *aSink)
{
    for (auto &core : liveCores()) core->model.Sinks().Remove(aSink);
}

void ForgetSoftDeviceUserSetNotify(IZuUserSetNotify *aNotify)
{
    for (auto &core : liveCores()) core->model.UserSets().ForgetNotify(aNotify);
}

} // namespace tarn
