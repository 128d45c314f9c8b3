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

DeviceModel::DeviceModel(IZuVirtualDeviceGEV &aSelf) : mSelf(aSelf), mStreams(this, [this] { return timestamp(); })
{
    mEpoch = std::chrono::steady_clock::now();
    mIdentity.setOnChange([this](Identity::Field f) { refreshIdentity(f); });
}

DeviceModel::~DeviceModel()
{
    teardown();
    // Lent to the application by the device's getters.
    tarn::Lent::Goes(&mRegisterMap);
    tarn::Lent::Goes(&mIdentity);
    tarn::Lent::Goes(&mStatistics);
    tarn::Lent::Goes(&mMessages);
}

// ---- Settings

ZuResult DeviceModel::addStream(IZuSWStreamingChannelSource *aSource)
{
    if (aSource && mBuilt) return ZuResult(ZU_STATE_ERROR);
    return mStreams.add(aSource);
}

ZuResult DeviceModel::setUserSetCount(uint32_t aCount)
{
    if (mBuilt) return ZuResult(ZU_STATE_ERROR);
    return mUserSets.setCount(aCount);
}

// ---- Start

void DeviceModel::openChannels()
{
    mStreams.open();
    // A new start writes a new description: until then its version and
    // GUIDs may change, from the start's own up-calls.
    mIdentity.freezeDescription(false);
}

void DeviceModel::describe()
{
    if (mBuilt) return;
    Raised starting(mStarting);
    openChannels();
    mWriter = DescriptionWriter();
    auto write = [&] {
        declareStandard(mWriter, mFeatures);
        rebuildDescription();
        mStreams.close();
    };
    std::string unusable;
    try {
        mStreams.learn(unusable);
    } catch (...) {
        write();
        throw;
    }
    write();
}

ZuResult DeviceModel::build(const NetConfig &aNet)
{
    if (mBuilt) return ZuResult(ZU_STATE_ERROR);
    Raised starting(mStarting);
    mNet = aNet;
    mControlled = false;
    openChannels();
    mSpace = std::make_unique<RegisterSpace>();
    mWriter = DescriptionWriter();

    std::string error;
    auto fail = [&](uint32_t aCode) {
        // A failed start still leaves a description of what was learnt.
        declareStandard(mWriter, mFeatures);
        rebuildDescription();
        mStreams.close();
        mSpace.reset();
        return ZuResult(aCode, ZuString(error.c_str()));
    };
    try {
        if (!mStreams.learn(error)) return fail(ZU_INVALID_PARAMETER);
        if (!mStreams.allocate(error)) return fail(ZU_NOT_ENOUGH_MEMORY);
        mFeatures.Start();
        mSpace->addBlock(addr::FirmwareVersion, 32, false);
        refreshIdentity(Identity::Field::Firmware);
        // An image that checks out becomes the device's firmware, as flash
        // would keep it: its version stays across Stop and Start.
        mBridges.layout(*mSpace, [this](const std::string &aVersion) {
            mIdentity.SetDeviceFirmwareVersion(ZuString(aVersion.c_str()));
        });
        layoutStandard(*mSpace, mFeatures);

        // Registers always before features.
        Raised building(mBuilding);
        Lent lent;
        RegisterFactory registers(mRegisterMap, *mSpace);
        registers.lend(&lent);
        mSinks.ask([&](IZuVirtualDeviceGEVEventSink *s) { s->OnCreateCustomRegisters(&mSelf, &registers); });
        for (size_t i = 0; i < mStreams.count(); ++i) mStreams.channel(i).source().CreateRegisters(&mRegisterMap, &registers);
        if (!lent.refused().empty()) {
            error = lent.refused();
            mRegisterMap.clear();
            return fail(ZU_INVALID_PARAMETER);
        }
        FeatureFactory features;
        mSinks.ask([&](IZuVirtualDeviceGEVEventSink *s) { s->OnCreateCustomGenApiFeatures(&mSelf, &features); });
        for (size_t i = 0; i < mStreams.count(); ++i) {
            features.setSource(int(i));
            mStreams.channel(i).source().CreateGenApiFeatures(&mRegisterMap, &features);
        }
        declareStandard(mWriter, mFeatures);
        if (!describeFeatures(features.features(), features.references(), mStreams.count(), mWriter, error)) {
            mRegisterMap.clear();
            return fail(ZU_INVALID_PARAMETER);
        }
    } catch (...) {
        error = "an up-call failed during Start";
        mRegisterMap.clear();
        fail(ZU_GENERIC_ERROR);
        throw;
    }
    rebuildDescription();
    mRegisterMap.setRunning(true);
    UserSetBank::Contents sets;
    sets.saveOwn = [this](UserSet &aSet) { saveStandard(aSet, *mSpace, mStreams.count()); };
    sets.loadOwn = [this](const UserSet &aSet) { return loadStandard(aSet, *mSpace, mStreams.count()); };
    sets.registers = &mRegisterMap;
    mUserSets.open(std::move(sets), mIdentity.text(Identity::Field::Serial), gvcp::formatMac(mNet.mac, '-', false));
    mBuilt = true;
    return ZuResult(ZU_OK);
}

void DeviceModel::teardown()
{
    if (!mBuilt) return;
    mStreams.stopAcquisition();
    if (mControlled) controlReleased(false);
    setLink(nullptr);
    mStreams.close();
    mUserSets.close();
    mRegisterMap.clear();
    // The script's registers are gone: nothing reaches them through the space.
    mSpace.reset();
    std::lock_guard<std::mutex> lock(mStateLock);
    mBuilt = false;
}

bool DeviceModel::hasDescription() const
{
    std::lock_guard<std::mutex> lock(mDescriptionLock);
    return mHasDescription;
}

std::string DeviceModel::description() const
{
    std::lock_guard<std::mutex> lock(mDescriptionLock);
    return mDescription;
}

uint64_t DeviceModel::timestamp() const
{
    // The server's clock, which its timestamp registers show; before it
    // runs, one tick per nanosecond since the device was made.
    if (ControlLink *link = mLink) return link->timestamp();
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - mEpoch).count());
}

void DeviceModel::setLink(ControlLink *aLink)
{
    mLink = aLink;
    mMessages.setLink(aLink);
    if (aLink) {
        mStatistics.setSource([aLink](uint64_t(&counts)[Statistics::kCount]) { aLink->readStatistics(counts); },
                              [aLink] { aLink->resetStatistics(); });
        aLink->publishIdentity(mIdentity.texts());
        aLink->publishDescription(description());
    } else {
        mStatistics.setSource(nullptr, nullptr);
    }
}

// ---- Register layout

// ---- Features and description

Declarations *declarationsOf(IZuRegisterFactory *aFactory)
{
    auto *own = dynamic_cast<RegisterFactory *>(aFactory);
    return own ? own->lent() : nullptr;
}

void DeviceModel::rebuildDescription()
{
    // What a controller reads stays as it is until the next Start: the
    // version and GUIDs are taken once the setters refuse to change them.
    mIdentity.freezeDescription(true);
    DescriptionHeader h;
    h.modelName = mIdentity.regDescModel();
    h.vendorName = mIdentity.regDescVendor();
    h.toolTip = "Software GigE Vision camera";
    h.major = mIdentity.GetGenICamXMLVersionMajor();
    h.minor = mIdentity.GetGenICamXMLVersionMinor();
    h.subMinor = mIdentity.GetGenICamXMLVersionSubMinor();
    h.productGuid = mIdentity.GetGenICamXMLProductGUID().Narrow();
    h.versionGuid = mIdentity.GetGenICamXMLVersionGUID().Narrow();
    std::string xml = mWriter.write(h);
    {
        std::lock_guard<std::mutex> lock(mDescriptionLock);
        mDescription = xml;
        mHasDescription = true;
    }
    if (ControlLink *link = mLink) link->publishDescription(xml);
}

void DeviceModel::refreshIdentity(Identity::Field aField)
{
    // The description is Start's: later changes reach the bootstrap registers only.
    if (aField == Identity::Field::Description) return;
    if (aField == Identity::Field::Firmware) {
        const std::string value = mIdentity.text(aField);
        if (mSpace) mSpace->setBlock(addr::FirmwareVersion, value.data(), value.size());
        return;
    }
    if (ControlLink *link = mLink) link->publishIdentity(mIdentity.texts());
}

// ---- Control

uint16_t DeviceModel::readMemory(uint32_t aAddress, uint32_t aCount, uint8_t *aOut)
{
    if (!mSpace) return kStatusError;
    std::vector<uint8_t> out;
    const uint16_t status = mSpace->readMemory(aAddress, aCount, out);
    if (status == kStatusSuccess) std::memcpy(aOut, out.data(), out.size());
    return status;
}

uint16_t DeviceModel::writeMemory(uint32_t aAddress, const uint8_t *aData, uint32_t aCount)
{
    if (!mSpace) return kStatusError;
    return mSpace->writeMemory(aAddress, aData, aCount);
}

void DeviceModel::controlTaken(uint32_t aIp, uint16_t aPort, ZuAccessType aAccess)
{
    mControlled = true;
    const ZuString ip(ipText(aIp).c_str());
    mSinks.notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnApplicationConnect(&mSelf, ip, aPort, aAccess); });
}

void DeviceModel::controlReleased(bool aHeartbeatFailed)
{
    (void)aHeartbeatFailed;
    // The controller's streams end with its session.
    mStreams.endSession();
    mFeatures.unlock();
    mControlled = false;
    mSinks.notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnApplicationDisconnect(&mSelf); });
}

void DeviceModel::networkReset(uint32_t aIp, uint32_t aMask, uint32_t aGateway)
{
    if (mControlled) controlReleased(false);
    if (aIp) {
        mNet.ip = aIp;
        mNet.mask = aMask;
        mNet.gateway = aGateway;
    }
    mSinks.notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnDeviceResetNetwork(&mSelf); });
}

void DeviceModel::controlChannelStarted(uint16_t aPort)
{
    const ZuString mac(gvcp::formatMac(mNet.mac, ':', false).c_str());
    const ZuString ip(ipText(mNet.ip).c_str()), mask(ipText(mNet.mask).c_str()), gateway(ipText(mNet.gateway).c_str());
    mSinks.notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnControlChannelStart(&mSelf, mac, ip, mask, gateway, aPort); });
}

void DeviceModel::controlChannelStopped()
{
    if (mControlled) controlReleased(false);
    mStreams.stopAcquisition();
    mSinks.notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnControlChannelStop(&mSelf); });
}

void DeviceModel::resetDevice()
{
    // As a power cycle: the controller's session and streams end; the
    // server's own registers go back with its next session.
    if (mControlled) controlReleased(false);
    mFeatures.unlock();
    mSinks.notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnDeviceResetFull(&mSelf); });
}

} // namespace softdevice
} // namespace tarn
