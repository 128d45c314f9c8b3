#include "softdevice/model/device_model.h"

#include "softdevice/model/guard.h"
#include "tarn/Holds.h"
#include "tarn/UpCalls.h"
#include "ZuLog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tarn {
namespace softdevice {

namespace {

std::string ipText(uint32_t aIp)
{
    return gvcp::formatIPv4(aIp);
}

// A flag that stands while a scope runs.
struct Raised {
    std::atomic<bool> &flag;
    explicit Raised(std::atomic<bool> &aFlag) : flag(aFlag) { flag = true; }
    ~Raised() { flag = false; }
    Raised(const Raised &) = delete;
    Raised &operator=(const Raised &) = delete;
};

} // namespace

bool writeReachesApplication(uint32_t aAddress)
{
    // The device's own past the bootstrap block and every custom register.
    return aAddress >= addr::ChannelBase && aAddress != addr::FirmwareVersion;
}

DeviceModel::DeviceModel(IZuVirtualDeviceGEV &aSelf) : mSelf(aSelf), mStreams(this, [this] { return Timestamp(); })
{
    mEpoch = std::chrono::steady_clock::now();
    mIdentity.SetOnChange([this](Identity::Field f) { RefreshIdentity(f); });
}

DeviceModel::~DeviceModel()
{
    Teardown();
    // Lent to the application by the device's getters.
    tarn::Lent::Goes(&mRegisterMap);
    tarn::Lent::Goes(&mIdentity);
    tarn::Lent::Goes(&mStatistics);
    tarn::Lent::Goes(&mMessages);
}

// ---- Settings

ZuResult DeviceModel::AddStream(IZuSWStreamingChannelSource *aSource)
{
    if (aSource && mBuilt) return ZuResult(ZU_STATE_ERROR);
    return mStreams.Add(aSource);
}

ZuResult DeviceModel::SetUserSetCount(uint32_t aCount)
{
    if (mBuilt) return ZuResult(ZU_STATE_ERROR);
    return mUserSets.SetCount(aCount);
}

// ---- Start

void DeviceModel::OpenChannels()
{
    mStreams.Open();
    // A new start writes a new description: until then its version and
    // GUIDs may change, from the start's own up-calls.
    mIdentity.FreezeDescription(false);
}

void DeviceModel::Describe()
{
    if (mBuilt) return;
    Raised starting(mStarting);
    OpenChannels();
    mWriter = DescriptionWriter();
    auto write = [&] {
        declareStandard(mWriter, mFeatures);
        RebuildDescription();
        mStreams.Close();
    };
    std::string unusable;
    try {
        mStreams.Learn(unusable);
    } catch (...) {
        write();
        throw;
    }
    write();
}

ZuResult DeviceModel::Build(const NetConfig &aNet)
{
    if (mBuilt) return ZuResult(ZU_STATE_ERROR);
    Raised starting(mStarting);
    mNet = aNet;
    mControlled = false;
    OpenChannels();
    mSpace = std::make_unique<RegisterSpace>();
    mWriter = DescriptionWriter();

    std::string error;
    auto fail = [&](uint32_t aCode) {
        // A failed start still leaves a description of what was learnt.
        declareStandard(mWriter, mFeatures);
        RebuildDescription();
        mStreams.Close();
        mSpace.reset();
        return ZuResult(aCode, ZuString(error.c_str()));
    };
    try {
        if (!mStreams.Learn(error)) return fail(ZU_INVALID_PARAMETER);
        if (!mStreams.Allocate(error)) return fail(ZU_NOT_ENOUGH_MEMORY);
        mFeatures.Start();
        mSpace->AddBlock(addr::FirmwareVersion, 32, false);
        RefreshIdentity(Identity::Field::Firmware);
        // An image that checks out becomes the device's firmware, as flash
        // would keep it: its version stays across Stop and Start.
        mBridges.Layout(*mSpace, [this](const std::string &aVersion) {
            mIdentity.SetDeviceFirmwareVersion(ZuString(aVersion.c_str()));
        });
        layoutStandard(*mSpace, mFeatures);

        // Registers always before features.
        Raised building(mBuilding);
        Lent lent;
        RegisterFactory registers(mRegisterMap, *mSpace);
        registers.Lend(&lent);
        mSinks.Ask([&](IZuVirtualDeviceGEVEventSink *s) { s->OnCreateCustomRegisters(&mSelf, &registers); });
        for (size_t i = 0; i < mStreams.Count(); ++i) mStreams.GetChannel(i).Source().CreateRegisters(&mRegisterMap, &registers);
        if (!lent.Refused().empty()) {
            error = lent.Refused();
            mRegisterMap.Clear();
            return fail(ZU_INVALID_PARAMETER);
        }
        FeatureFactory features;
        mSinks.Ask([&](IZuVirtualDeviceGEVEventSink *s) { s->OnCreateCustomGenApiFeatures(&mSelf, &features); });
        for (size_t i = 0; i < mStreams.Count(); ++i) {
            features.SetSource(int(i));
            mStreams.GetChannel(i).Source().CreateGenApiFeatures(&mRegisterMap, &features);
        }
        declareStandard(mWriter, mFeatures);
        if (!describeFeatures(features.Features(), features.References(), mStreams.Count(), mWriter, error)) {
            mRegisterMap.Clear();
            return fail(ZU_INVALID_PARAMETER);
        }
    } catch (...) {
        error = "an up-call failed during Start";
        mRegisterMap.Clear();
        fail(ZU_GENERIC_ERROR);
        throw;
    }
    RebuildDescription();
    mRegisterMap.SetRunning(true);
    UserSetBank::Contents sets;
    sets.saveOwn = [this](UserSet &aSet) { saveStandard(aSet, *mSpace, mStreams.Count()); };
    sets.loadOwn = [this](const UserSet &aSet) { return loadStandard(aSet, *mSpace, mStreams.Count()); };
    sets.registers = &mRegisterMap;
    mUserSets.Open(std::move(sets), mIdentity.Text(Identity::Field::Serial), gvcp::formatMac(mNet.mac, '-', false));
    mBuilt = true;
    return ZuResult(ZU_OK);
}

void DeviceModel::Teardown()
{
    if (!mBuilt) return;
    mStreams.StopAcquisition();
    if (mControlled) ControlReleased(false);
    SetLink(nullptr);
    mStreams.Close();
    mUserSets.Close();
    mRegisterMap.Clear();
    // The script's registers are gone: nothing reaches them through the space.
    mSpace.reset();
    std::lock_guard<std::mutex> lock(mStateLock);
    mBuilt = false;
}

bool DeviceModel::HasDescription() const
{
    std::lock_guard<std::mutex> lock(mDescriptionLock);
    return mHasDescription;
}

std::string DeviceModel::Description() const
{
    std::lock_guard<std::mutex> lock(mDescriptionLock);
    return mDescription;
}

uint64_t DeviceModel::Timestamp() const
{
    // The server's clock, which its timestamp registers show; before it
    // runs, one tick per nanosecond since the device was made.
    if (ControlLink *link = mLink) return link->Timestamp();
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - mEpoch).count());
}

void DeviceModel::SetLink(ControlLink *aLink)
{
    mLink = aLink;
    mMessages.SetLink(aLink);
    if (aLink) {
        mStatistics.SetSource([aLink](uint64_t(&counts)[Statistics::kCount]) { aLink->ReadStatistics(counts); },
                              [aLink] { aLink->ResetStatistics(); });
        aLink->PublishIdentity(mIdentity.Texts());
        aLink->PublishDescription(Description());
    } else {
        mStatistics.SetSource(nullptr, nullptr);
    }
}

// ---- Register layout

// ---- Features and description

Declarations *declarationsOf(IZuRegisterFactory *aFactory)
{
    auto *own = dynamic_cast<RegisterFactory *>(aFactory);
    return own ? own->Lent() : nullptr;
}

void DeviceModel::RebuildDescription()
{
    // What a controller reads stays as it is until the next Start: the
    // version and GUIDs are taken once the setters refuse to change them.
    mIdentity.FreezeDescription(true);
    DescriptionHeader h;
    h.modelName = mIdentity.RegDescModel();
    h.vendorName = mIdentity.RegDescVendor();
    h.toolTip = "Software GigE Vision camera";
    h.major = mIdentity.GetGenICamXMLVersionMajor();
    h.minor = mIdentity.GetGenICamXMLVersionMinor();
    h.subMinor = mIdentity.GetGenICamXMLVersionSubMinor();
    h.productGuid = mIdentity.GetGenICamXMLProductGUID().Narrow();
    h.versionGuid = mIdentity.GetGenICamXMLVersionGUID().Narrow();
    std::string xml = mWriter.Write(h);
    {
        std::lock_guard<std::mutex> lock(mDescriptionLock);
        mDescription = xml;
        mHasDescription = true;
    }
    if (ControlLink *link = mLink) link->PublishDescription(xml);
}

void DeviceModel::RefreshIdentity(Identity::Field aField)
{
    // The description is Start's: later changes reach the bootstrap registers only.
    if (aField == Identity::Field::Description) return;
    if (aField == Identity::Field::Firmware) {
        const std::string value = mIdentity.Text(aField);
        if (mSpace) mSpace->SetBlock(addr::FirmwareVersion, value.data(), value.size());
        return;
    }
    if (ControlLink *link = mLink) link->PublishIdentity(mIdentity.Texts());
}

// ---- Control

uint16_t DeviceModel::ReadMemory(uint32_t aAddress, uint32_t aCount, uint8_t *aOut)
{
    if (!mSpace) return kStatusError;
    std::vector<uint8_t> out;
    const uint16_t status = mSpace->ReadMemory(aAddress, aCount, out);
    if (status == kStatusSuccess) std::memcpy(aOut, out.data(), out.size());
    return status;
}

uint16_t DeviceModel::WriteMemory(uint32_t aAddress, const uint8_t *aData, uint32_t aCount)
{
    if (!mSpace) return kStatusError;
    return mSpace->WriteMemory(aAddress, aData, aCount);
}

void DeviceModel::ControlTaken(uint32_t aIp, uint16_t aPort, ZuAccessType aAccess)
{
    mControlled = true;
    const ZuString ip(ipText(aIp).c_str());
    mSinks.Notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnApplicationConnect(&mSelf, ip, aPort, aAccess); });
}

void DeviceModel::ControlReleased(bool aHeartbeatFailed)
{
    (void)aHeartbeatFailed;
    // The controller's streams end with its session.
    mStreams.EndSession();
    mFeatures.Unlock();
    mControlled = false;
    mSinks.Notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnApplicationDisconnect(&mSelf); });
}

void DeviceModel::NetworkReset(uint32_t aIp, uint32_t aMask, uint32_t aGateway)
{
    if (mControlled) ControlReleased(false);
    if (aIp) {
        mNet.ip = aIp;
        mNet.mask = aMask;
        mNet.gateway = aGateway;
    }
    mSinks.Notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnDeviceResetNetwork(&mSelf); });
}

void DeviceModel::ControlChannelStarted(uint16_t aPort)
{
    const ZuString mac(gvcp::formatMac(mNet.mac, ':', false).c_str());
    const ZuString ip(ipText(mNet.ip).c_str()), mask(ipText(mNet.mask).c_str()), gateway(ipText(mNet.gateway).c_str());
    mSinks.Notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnControlChannelStart(&mSelf, mac, ip, mask, gateway, aPort); });
}

void DeviceModel::ControlChannelStopped()
{
    if (mControlled) ControlReleased(false);
    mStreams.StopAcquisition();
    mSinks.Notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnControlChannelStop(&mSelf); });
}

void DeviceModel::ResetDevice()
{
    // As a power cycle: the controller's session and streams end; the
    // server's own registers go back with its next session.
    if (mControlled) ControlReleased(false);
    mFeatures.Unlock();
    mSinks.Notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnDeviceResetFull(&mSelf); });
}

} // namespace softdevice
} // namespace tarn
