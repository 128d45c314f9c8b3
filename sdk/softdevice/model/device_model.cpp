#include "softdevice/model/device_model.h"

#include "softdevice/model/guard.h"
#include "tarn/Holds.h"
#include "tarn/UpCalls.h"
#include "IZuSWStreamingChannelSourceGenDC.h"
#include "ZuBuffer.h"
#include "ZuGenDCManager.h"
#include "ZuPixelTypeInfo.h"
#include "ZuLog.h"
#include "gev/gvsp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tarn {
namespace softdevice {

namespace {

// A source answering OK forever must not hang Start.
constexpr int kMaxListed = 256;
constexpr uint32_t kDefaultPacketSizeMax = 9000;

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

DeviceModel::DeviceModel(IZuVirtualDeviceGEV &aSelf) : mSelf(aSelf)
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
    if (!aSource) return ZuResult(ZU_INVALID_PARAMETER);
    if (mBuilt) return ZuResult(ZU_STATE_ERROR);
    if (mSources.size() >= kMaxStreams) return ZuResult(ZU_NOT_SUPPORTED);
    mSources.push_back(aSource);
    return ZuResult(ZU_OK);
}

ZuResult DeviceModel::setUserSetCount(uint32_t aCount)
{
    if (mBuilt) return ZuResult(ZU_STATE_ERROR);
    if (aCount > kMaxUserSets) return ZuResult(ZU_INVALID_PARAMETER);
    mUserSetCount = aCount;
    return ZuResult(ZU_OK);
}

ZuResult DeviceModel::setUserSetNotify(IZuUserSetNotify *aNotify)
{
    std::lock_guard<std::mutex> lock(mStateLock);
    mUserSetNotify = aNotify;
    return ZuResult(ZU_OK);
}

ZuResult DeviceModel::setActionHandler(ZuVirtualDeviceLib::IActionHandler *aHandler)
{
    std::lock_guard<std::mutex> lock(mStateLock);
    mActionHandler = aHandler;
    return ZuResult(ZU_OK);
}

void DeviceModel::forgetUserSetNotify(IZuUserSetNotify *aNotify)
{
    std::lock_guard<std::mutex> lock(mStateLock);
    if (mUserSetNotify == aNotify) mUserSetNotify = nullptr;
}

ZuResult DeviceModel::registerSink(IZuVirtualDeviceGEVEventSink *aSink)
{
    return mSinks.Add(aSink, ZU_INVALID_PARAMETER);
}

ZuResult DeviceModel::unregisterSink(IZuVirtualDeviceGEVEventSink *aSink)
{
    if (!aSink) return ZuResult(ZU_INVALID_PARAMETER);
    // One that is not registered is gone already.
    mSinks.Remove(aSink);
    return ZuResult(ZU_OK);
}

template <typename Call>
void DeviceModel::notify(Call &&aCall)
{
    mSinks.ForEach([&](IZuVirtualDeviceGEVEventSink *sink) { guarded(mUpcallFailures, [&] { aCall(sink); }); });
}

// ---- Start

bool DeviceModel::describeSources(std::string &aError)
{
    mPixelTypes.assign(mChannels.size(), {});
    mChunks.assign(mChannels.size(), {});
    mChunkSelector.assign(mChannels.size(), 0);
    mDescribed.clear();
    bool usable = true;
    for (size_t i = 0; i < mChannels.size(); ++i) {
        IZuSWStreamingChannelSource &src = mChannels[i]->source();
        for (int k = 0; k < kMaxListed; ++k) {
            ZuPixelType type = ZuPixelUndefined;
            if (!src.GetSupportedPixelType(k, type).IsOK()) break;
            mPixelTypes[i].push_back(type);
        }
        for (int k = 0; k < kMaxListed; ++k) {
            uint32_t id = 0;
            ZuString name;
            if (!src.GetSupportedChunk(k, id, name).IsOK()) break;
            mChunks[i].emplace_back(name.Narrow(), id);
        }
        if (!mChunks[i].empty()) mChunkSelector[i] = mChunks[i].front().second;
        uint32_t lo = 0, hi = 0, inc = 0;
        src.GetWidthInfo(lo, hi, inc);
        uint32_t hlo = 0, hhi = 0, hinc = 0;
        src.GetHeightInfo(hlo, hhi, hinc);
        // No zero-sized frames: a channel must be able to carry a pixel.
        if (usable && (hi == 0 || hhi == 0 || src.GetWidth() == 0 || src.GetHeight() == 0)) {
            aError = "stream " + std::to_string(i) + ": the source's width and height must be at least 1";
            usable = false;
        }
        if (usable && mPixelTypes[i].empty()) {
            aError = "stream " + std::to_string(i) + ": the source supports no pixel type";
            usable = false;
        }
        uint32_t packetMax = kDefaultPacketSizeMax;
        if (!src.GetGevSCPSPacketSizeInfo(packetMax).IsOK() || packetMax < 576 || packetMax > 65535)
            packetMax = kDefaultPacketSizeMax;
        // Sizes go in steps of 4 from 576.
        packetMax &= ~3u;
        mChannels[i]->config().packetSize = std::min<uint32_t>(1500, packetMax);
        const bool multiPart = src.IsPayloadTypeSupported(ZuPayloadTypeMultiPart);
        mDescribed.push_back({lo, hi, inc ? inc : 1, hlo, hhi, hinc ? hinc : 1, packetMax, multiPart});
    }
    return usable;
}

void DeviceModel::openChannels()
{
    mChannels.clear();
    mGenDCInUse.clear();
    for (size_t i = 0; i < mSources.size(); ++i)
        mChannels.push_back(std::make_unique<Channel>(*mSources[i], uint16_t(i), this));
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
        declareStandard();
        rebuildDescription();
        mChannels.clear();
    };
    std::string unusable;
    try {
        describeSources(unusable);
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
    mSenders.assign(mChannels.size(), nullptr);
    mRtpSenders.assign(mChannels.size(), nullptr);
    mSpace = std::make_unique<RegisterSpace>();
    mUserSets.assign(size_t(mUserSetCount) + 1, std::nullopt);
    mWriter = DescriptionWriter();

    std::string error;
    auto fail = [&](uint32_t aCode) {
        for (auto &c : mChannels) c->freeAll();
        // A failed start still leaves a description of what was learnt.
        declareStandard();
        rebuildDescription();
        mChannels.clear();
        mGenDCInUse.clear();
        mSpace.reset();
        return ZuResult(aCode, ZuString(error.c_str()));
    };
    try {
        if (!describeSources(error)) return fail(ZU_INVALID_PARAMETER);
        // The container is complete before the first buffer is asked for:
        // attaching a buffer to the manager sizes it from the container.
        assignGenDCManagers();
        for (auto &c : mChannels) {
            if (!c->allocate(error)) return fail(ZU_NOT_ENOUGH_MEMORY);
        }
        // What the device's own registers hold when it starts.
        mSourceSelector = mStreamSelector = mUserSetSelector = mUserSetDefault = mTlLocked = 0;
        mFrameRateEnable = 0;
        setFrameRate(30.0);
        layoutFirmware();
        layoutStandard();

        // Registers always before features.
        Raised building(mBuilding);
        Lent lent;
        RegisterFactory registers(mRegisterMap, *mSpace);
        registers.lend(&lent);
        mSinks.ForEach([&](IZuVirtualDeviceGEVEventSink *s) { s->OnCreateCustomRegisters(&mSelf, &registers); });
        for (auto &c : mChannels) c->source().CreateRegisters(&mRegisterMap, &registers);
        if (!lent.refused().empty()) {
            error = lent.refused();
            mRegisterMap.clear();
            return fail(ZU_INVALID_PARAMETER);
        }
        FeatureFactory features;
        mSinks.ForEach([&](IZuVirtualDeviceGEVEventSink *s) { s->OnCreateCustomGenApiFeatures(&mSelf, &features); });
        for (size_t i = 0; i < mChannels.size(); ++i) {
            features.setSource(int(i));
            mChannels[i]->source().CreateGenApiFeatures(&mRegisterMap, &features);
        }
        mFeatureSpecs = features.features();
        mFeatureReferences = features.references();
        declareStandard();
        if (!describeFeatures(mFeatureSpecs, mFeatureReferences, mChannels.size(), mWriter, error)) {
            mFeatureSpecs.clear();
            mFeatureReferences.clear();
            mRegisterMap.clear();
            return fail(ZU_INVALID_PARAMETER);
        }
    } catch (...) {
        error = "an up-call failed during Start";
        mFeatureSpecs.clear();
        mFeatureReferences.clear();
        mRegisterMap.clear();
        fail(ZU_GENERIC_ERROR);
        throw;
    }
    rebuildDescription();
    mRegisterMap.setRunning(true);
    // The default user set holds the state the device starts with; the
    // saved ones, and which of them to start with, come from their file.
    userSetSave(0);
    openUserSets();
    mBuilt = true;
    return ZuResult(ZU_OK);
}

void DeviceModel::teardown()
{
    if (!mBuilt) return;
    stopAcquisition();
    if (mControlled) controlReleased(false);
    setLink(nullptr);
    for (auto &c : mChannels) {
        closeStream(*c);
        c->freeAll();
    }
    mChannels.clear();
    mSenders.clear();
    mRtpSenders.clear();
    mDescribed.clear();
    mGenDCInUse.clear();
    mFeatureSpecs.clear();
    mFeatureReferences.clear();
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

IdentityTexts DeviceModel::identityTexts() const
{
    IdentityTexts t;
    t.manufacturerName = mIdentity.text(Identity::Field::Manufacturer);
    t.modelName = mIdentity.text(Identity::Field::Model);
    t.deviceVersion = mIdentity.text(Identity::Field::DeviceVersion);
    t.manufacturerInfo = mIdentity.text(Identity::Field::ManufacturerInfo);
    t.serialNumber = mIdentity.text(Identity::Field::Serial);
    return t;
}

void DeviceModel::setLink(ControlLink *aLink)
{
    mLink = aLink;
    mMessages.setLink(aLink);
    if (aLink) {
        mStatistics.setSource([aLink](uint64_t(&counts)[Statistics::kCount]) { aLink->readStatistics(counts); },
                              [aLink] { aLink->resetStatistics(); });
        aLink->publishIdentity(identityTexts());
        aLink->publishDescription(description());
    } else {
        mStatistics.setSource(nullptr, nullptr);
    }
}

// ---- Register layout

void DeviceModel::layoutFirmware()
{
    mSpace->addBlock(addr::FirmwareVersion, 32, false);
    refreshIdentity(Identity::Field::Firmware);
    // An image that checks out becomes the device's firmware, as flash
    // would keep it: its version stays across Stop and Start.
    mFirmware.layout(*mSpace, [this](const std::string &aVersion) {
        mIdentity.SetDeviceFirmwareVersion(ZuString(aVersion.c_str()));
    });
    mSerial.layout(*mSpace);
}

void DeviceModel::assignGenDCManagers()
{
    mGenDCInUse.assign(mChannels.size(), nullptr);
    if (!mGenDC) return;
    for (size_t i = 0; i < mChannels.size(); ++i) {
        auto *source = dynamic_cast<IZuSWStreamingChannelSourceGenDC *>(&mChannels[i]->source());
        if (!source) continue;
        if (mGenDCManagers.size() <= i) mGenDCManagers.resize(i + 1);
        if (!mGenDCManagers[i]) mGenDCManagers[i] = std::make_unique<ZuGenDCManager>();
        else mGenDCManagers[i]->ResetContainer();
        mGenDCInUse[i] = mGenDCManagers[i].get();
        source->AssignGenDCManager(mGenDCManagers[i].get());
        source->SetupGenDCContainer();
    }
}

uint32_t DeviceModel::payloadSize(Channel &aChannel)
{
    IZuSWStreamingChannelSource &src = aChannel.source();
    uint64_t size = 0;
    ZuGenDCManager *manager = genDCManager(aChannel.index());
    if (manager && genDCStreaming(aChannel.index()))
        return uint32_t(std::min<uint64_t>(manager->GetTotalPayloadSize(), 0xFFFFFFFFu));
    guarded(aChannel.counters().sourceFailures, [&] {
        size = src.GetPayloadSize();
        if (size) return;
        const uint64_t bits = uint64_t(src.GetWidth()) * src.GetHeight() * ZuPixelTypeGetBitsPerPixel(src.GetPixelType());
        size = (bits + 7) / 8;
        if (src.GetChunkModeActive()) size += src.GetChunksSize();
    });
    return uint32_t(std::min<uint64_t>(size, 0xFFFFFFFFu));
}

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
    if (ControlLink *link = mLink) link->publishIdentity(identityTexts());
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
    notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnApplicationConnect(&mSelf, ip, aPort, aAccess); });
}

void DeviceModel::controlReleased(bool aHeartbeatFailed)
{
    (void)aHeartbeatFailed;
    // The controller's streams end with its session.
    stopAcquisition();
    for (auto &c : mChannels) {
        closeStream(*c);
        configureChannel(*c, 0, false);
        c->config().port = 0;
        c->config().destination = 0;
        c->config().protocol = StreamConfig::kProtocolGvsp;
    }
    mTlLocked = 0;
    mControlled = false;
    notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnApplicationDisconnect(&mSelf); });
}

void DeviceModel::streamChannelChanged(size_t aChannel, uint32_t aIp, uint16_t aPort, uint32_t aPacketSize,
                                       uint32_t aDelay, uint32_t aConfiguration)
{
    if (aChannel >= mChannels.size()) return;
    Channel &c = *mChannels[aChannel];
    StreamConfig &cfg = c.config();
    const uint16_t old = uint16_t(cfg.port & 0xFFFF);
    const bool resized = cfg.packetSize.exchange(aPacketSize) != aPacketSize;
    configureChannel(c, aConfiguration, resized);
    cfg.delay = aDelay;
    // A channel is open towards one destination, its address and port both
    // set (in whichever order the controller writes them): another one
    // closes it and opens it anew.
    if (!aPort || !aIp || aIp != cfg.destination || aPort != old) closeStream(c);
    cfg.destination = aIp;
    cfg.port = aPort;
    if (aPort && aIp) openStream(c);
}

std::vector<uint32_t> DeviceModel::streamCapabilities() const
{
    std::vector<uint32_t> out;
    for (const Described &d : mDescribed)
        out.push_back(d.multiPart ? gvcp::SCC_MULTI_PART | gvcp::SCC_LARGE_LEADER_TRAILER : 0);
    return out;
}

namespace {
// Without large leaders and trailers a multi-part block has at most this
// many parts: what a leader of 576 bytes describes.
constexpr uint32_t kPartsInSmallLeader = 10;

// The parts a leader as large as the channel's packets describes.
uint32_t partsPerLeader(uint32_t aPacketSize, bool aExtendedId)
{
    gvsp::Leader leader;
    leader.payloadType = gvsp::PAYLOAD_MULTIPART;
    const size_t fixed = gvsp::kIpUdpOverhead + gvsp::headerSize(aExtendedId) + gvsp::leaderBodySize(leader);
    const size_t size = aPacketSize & gvcp::SCPS_SIZE_MASK;
    return size > fixed ? uint32_t((size - fixed) / gvsp::kPartLeaderSize) : 0;
}
} // namespace

// The configuration bits the channel offers, as the controller set them:
// the source hears of each change, and of the parts a large leader holds
// whenever the packet size changes them. GigE Vision carries multi-part
// blocks with extended ids only: while they are allowed, the channel's
// blocks all go so.
void DeviceModel::configureChannel(Channel &aChannel, uint32_t aConfiguration, bool aPacketSizeChanged)
{
    if (aChannel.index() >= mDescribed.size() || !mDescribed[aChannel.index()].multiPart) return;
    StreamConfig &cfg = aChannel.config();
    const uint32_t now = aConfiguration & (gvcp::SCC_MULTI_PART | gvcp::SCC_LARGE_LEADER_TRAILER);
    const uint32_t changed = cfg.configuration.exchange(now) ^ now;
    cfg.extendedIds = (now & gvcp::SCC_MULTI_PART) != 0;
    IZuSWStreamingChannelSource &source = aChannel.source();
    std::atomic<uint64_t> &failures = aChannel.counters().sourceFailures;
    if (changed & gvcp::SCC_MULTI_PART)
        guarded(failures, [&] { source.SetMultiPartAllowed((now & gvcp::SCC_MULTI_PART) != 0); });
    const bool large = (now & gvcp::SCC_LARGE_LEADER_TRAILER) != 0;
    if ((changed & gvcp::SCC_LARGE_LEADER_TRAILER) || (large && aPacketSizeChanged)) {
        const uint32_t parts = large ? partsPerLeader(cfg.packetSize, cfg.extendedIds) : kPartsInSmallLeader;
        guarded(failures, [&] { source.SetLargeLeaderTrailerEnabled(large, parts); });
    }
}

void DeviceModel::openStream(Channel &aChannel)
{
    if (aChannel.markOpen(true)) return;
    const ZuString ip(ipText(aChannel.config().destination).c_str());
    const uint16_t port = uint16_t(aChannel.config().port & 0xFFFF);
    guarded(aChannel.counters().sourceFailures, [&] { aChannel.source().OnOpen(ip, port); });
}

void DeviceModel::closeStream(Channel &aChannel)
{
    if (aChannel.streaming()) aChannel.stopStreaming();
    if (!aChannel.markOpen(false)) return;
    guarded(aChannel.counters().sourceFailures, [&] { aChannel.source().OnClose(); });
}

void DeviceModel::startAcquisition()
{
    for (size_t i = 0; i < mChannels.size(); ++i) {
        Channel &c = *mChannels[i];
        BlockSender *sender = c.config().protocol == StreamConfig::kProtocolRtp ? mRtpSenders[i] : mSenders[i];
        if (c.streaming() || !sender || !(c.config().port & 0xFFFF) || !c.config().destination) continue;
        std::function<void(ZuBuffer &)> stamp;
        if (mStamping) stamp = [this](ZuBuffer &b) { b.SetTimestamp(timestamp()); };
        c.startStreaming(*sender, stamp, [this] { return framePeriod(); });
    }
    mAcquiring = true;
}

void DeviceModel::stopAcquisition()
{
    for (auto &c : mChannels)
        if (c->streaming()) c->stopStreaming();
    mAcquiring = false;
}

std::chrono::nanoseconds DeviceModel::framePeriod() const
{
    // The register takes only rates within the feature's limits.
    if (!mFrameRateEnable) return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(int64_t(1e9 / frameRate()));
}

void DeviceModel::setSender(size_t aChannel, BlockSender *aSender)
{
    if (aChannel < mSenders.size()) mSenders[aChannel] = aSender;
}

void DeviceModel::setRtpSender(size_t aChannel, BlockSender *aSender)
{
    if (aChannel < mRtpSenders.size()) mRtpSenders[aChannel] = aSender;
}

bool DeviceModel::isSlow(uint32_t aAddress) const
{
    // Writes that reach a source or a sink, which may be Python: the
    // device's own past the bootstrap block and every custom register.
    return aAddress >= addr::ChannelBase && aAddress != addr::FirmwareVersion;
}

void DeviceModel::networkReset(uint32_t aIp, uint32_t aMask, uint32_t aGateway)
{
    if (mControlled) controlReleased(false);
    if (aIp) {
        mNet.ip = aIp;
        mNet.mask = aMask;
        mNet.gateway = aGateway;
    }
    notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnDeviceResetNetwork(&mSelf); });
}

void DeviceModel::action(uint32_t aSignal, uint64_t aTime)
{
    ZuVirtualDeviceLib::IActionHandler *handler = nullptr;
    {
        std::lock_guard<std::mutex> lock(mStateLock);
        handler = mActionHandler;
    }
    if (handler) guarded(mUpcallFailures, [&] { handler->OnAction(aSignal, aTime); });
}

void DeviceModel::controlChannelStarted(uint16_t aPort)
{
    const ZuString mac(gvcp::formatMac(mNet.mac, ':', false).c_str());
    const ZuString ip(ipText(mNet.ip).c_str()), mask(ipText(mNet.mask).c_str()), gateway(ipText(mNet.gateway).c_str());
    notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnControlChannelStart(&mSelf, mac, ip, mask, gateway, aPort); });
}

void DeviceModel::controlChannelStopped()
{
    if (mControlled) controlReleased(false);
    stopAcquisition();
    notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnControlChannelStop(&mSelf); });
}

void DeviceModel::resetDevice()
{
    // As a power cycle: the controller's session and streams end; the
    // server's own registers go back with its next session.
    if (mControlled) controlReleased(false);
    mTlLocked = 0;
    notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnDeviceResetFull(&mSelf); });
}

// ---- User sets: the streamable values of every channel and every script
// register whose feature is streamable (or whose sink persists it).

namespace {

void logUserSets(const std::string &aText)
{
    ZuLogger("SoftDevice").LogWarning(__FILE__, __LINE__, __func__, aText.c_str());
}
} // namespace

void DeviceModel::notifyUserSet(ZuUserSetState aState, uint32_t aIndex)
{
    IZuUserSetNotify *n = nullptr;
    {
        std::lock_guard<std::mutex> lock(mStateLock);
        n = mUserSetNotify;
    }
    if (n) guarded(mUpcallFailures, [&] { n->UserSetStateNotify(aState, aIndex); });
}

std::string DeviceModel::userSetProblem() const
{
    std::lock_guard<std::mutex> lock(mStateLock);
    return mUserSetProblem;
}

uint16_t DeviceModel::userSetSave(uint32_t aIndex)
{
    if (aIndex >= mUserSets.size()) return kStatusInvalidParameter;
    notifyUserSet(ZuUserSetStateSaveStart, aIndex);
    UserSet set;
    saveStandard(set);
    RegisterStore store(set, true);
    bool whole = true;
    for (CustomRegister *r : mRegisterMap.all()) {
        if (r->feature.empty()) continue;
        ZuResult persisted, written(ZU_OK);
        bool handled = false;
        if (!guarded(mUpcallFailures, [&] { handled = r->persist(store, persisted); }) || !persisted.IsOK()) whole = false;
        if (!handled && r->streamable && !guarded(mUpcallFailures, [&] { written = store.Persist(r, ZuString()); }))
            whole = false;
        if (!written.IsOK()) whole = false;
    }
    // A set that could not be kept whole fails the save, and the one saved
    // before stays. The default set is the state the device starts with:
    // what could be read of it is all there is.
    if (whole || aIndex == 0) {
        mUserSets[aIndex] = std::move(set);
        if (aIndex > 0) storeUserSets();
    }
    notifyUserSet(ZuUserSetStateSaveCompleted, aIndex);
    return whole ? kStatusSuccess : kStatusError;
}

uint16_t DeviceModel::userSetLoad(uint32_t aIndex)
{
    if (aIndex >= mUserSets.size() || !mUserSets[aIndex]) return kStatusInvalidParameter;
    if (mTlLocked) return kStatusAccessDenied;
    notifyUserSet(ZuUserSetStateLoadStart, aIndex);
    UserSet set = *mUserSets[aIndex];
    uint16_t status = loadStandard(set);
    RegisterStore store(set, false);
    for (CustomRegister *r : mRegisterMap.all()) {
        if (r->feature.empty()) continue;
        ZuResult persisted;
        bool handled = false;
        if (!guarded(mUpcallFailures, [&] { handled = r->persist(store, persisted); })) status = kStatusError;
        if (handled && !persisted.IsOK()) status = kStatusError;
        if (handled || !r->streamable || !set.count(r->feature)) continue;
        ZuResult written(ZU_GENERIC_ERROR);
        guarded(mUpcallFailures, [&] { written = store.Persist(r, ZuString()); });
        if (!written.IsOK()) status = kStatusError;
    }
    notifyUserSet(ZuUserSetStateLoadCompleted, aIndex);
    return status;
}

void DeviceModel::openUserSets()
{
    const std::string dir = userSetDirectory();
    {
        std::lock_guard<std::mutex> lock(mStateLock);
        mUserSetProblem.clear();
        mUserSetPath = dir.empty() ? std::string() : userSetPath(dir, mIdentity.text(Identity::Field::Serial),
                                                                  gvcp::formatMac(mNet.mac, '-', false));
    }
    if (mUserSetPath.empty()) return;
    UserSetFile file;
    bool exists = false;
    std::string error;
    if (!readUserSetFile(mUserSetPath, file, exists, error)) {
        // The device starts as it is; the file stays for someone to look at
        // until a save replaces it.
        {
            std::lock_guard<std::mutex> lock(mStateLock);
            mUserSetProblem = "user sets not loaded: " + error;
        }
        logUserSets(userSetProblem());
        return;
    }
    if (!exists) return;
    for (auto &set : file.sets)
        if (set.first < mUserSets.size()) mUserSets[set.first] = std::move(set.second);
    if (file.defaultSet < mUserSets.size()) mUserSetDefault = file.defaultSet;
    if (mUserSetDefault != 0 && userSetLoad(mUserSetDefault) != kStatusSuccess) {
        {
            std::lock_guard<std::mutex> lock(mStateLock);
            mUserSetProblem = "user set " + std::to_string(mUserSetDefault) + " did not load completely";
        }
        logUserSets(userSetProblem());
    }
}

void DeviceModel::storeUserSets()
{
    if (mUserSetPath.empty()) return;
    UserSetFile file;
    file.defaultSet = mUserSetDefault;
    for (size_t i = 1; i < mUserSets.size(); ++i)
        if (mUserSets[i]) file.sets[uint32_t(i)] = *mUserSets[i];
    std::string error;
    const bool written = writeUserSetFile(mUserSetPath, file, error);
    {
        std::lock_guard<std::mutex> lock(mStateLock);
        mUserSetProblem = written ? std::string() : "user sets not saved: " + error;
    }
    if (!written) logUserSets(userSetProblem());
}

} // namespace softdevice
} // namespace tarn
