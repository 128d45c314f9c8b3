#include "softdevice/model/device_model.h"

#include "softdevice/model/guard.h"
#include "tarn/UpCalls.h"
#include "IZuSWStreamingChannelSourceGenDC.h"
#include "ZuBuffer.h"
#include "ZuGenDCManager.h"
#include "ZuPixelTypeInfo.h"
#include "ZuLog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tarn {
namespace softdevice {

namespace {
std::atomic<void (*)()> gUpcallFailed{nullptr};
} // namespace

void setUpcallFailureHook(void (*aHook)())
{
    gUpcallFailed = aHook;
}

void upcallFailed()
{
    if (void (*hook)() = gUpcallFailed.load()) hook();
}

namespace {

// A source answering OK forever must not hang Start.
constexpr int kMaxListed = 256;
constexpr uint32_t kDefaultPacketSizeMax = 9000;
constexpr uint32_t kMinHeartbeatMs = 500;

std::string ipText(uint32_t aIp)
{
    return gvcp::formatIPv4(aIp);
}

std::string pixelName(ZuPixelType aType)
{
    std::string name = ZuPixelTypeToString(aType).Narrow();
    if (!name.empty()) return name;
    char text[32];
    std::snprintf(text, sizeof text, "Pixel%08X", uint32_t(aType));
    return text;
}

} // namespace

// Whether a channel's source sends GenDC containers now.
static bool genDCStreaming(IZuSWStreamingChannelSource &aSource, std::atomic<uint64_t> &aFailures)
{
    auto *source = dynamic_cast<IZuSWStreamingChannelSourceGenDC *>(&aSource);
    bool on = false;
    if (source) guarded(aFailures, [&] { on = source->GetGenDCStreamingMode(); });
    return on;
}

DeviceModel::DeviceModel(IZuVirtualDeviceGEV &aSelf) : mSelf(aSelf)
{
    mEpoch = std::chrono::steady_clock::now();
    mIdentity.setOnChange([this](Identity::Field f) { refreshIdentity(f); });
}

DeviceModel::~DeviceModel()
{
    teardown();
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

void DeviceModel::describeSources()
{
    mPixelTypes.assign(mChannels.size(), {});
    mChunks.assign(mChannels.size(), {});
    mChunkSelector.assign(mChannels.size(), 0);
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
    }
}

ZuResult DeviceModel::build(const NetConfig &aNet)
{
    if (mBuilt) return ZuResult(ZU_STATE_ERROR);
    mNet = aNet;
    mControlled = false;
    mChannels.clear();
    mGenDCInUse.clear();
    for (size_t i = 0; i < mSources.size(); ++i)
        mChannels.push_back(std::make_unique<Channel>(*mSources[i], uint16_t(i), this));
    mSenders.assign(mChannels.size(), nullptr);
    mRtpSenders.assign(mChannels.size(), nullptr);
    mSpace = std::make_unique<RegisterSpace>();
    mUserSets.assign(size_t(mUserSetCount) + 1, std::nullopt);
    mWriter = DescriptionWriter();
    mSlow.clear();
    mPersisted.clear();

    std::string error;
    auto fail = [&](uint32_t aCode) {
        for (auto &c : mChannels) c->freeAll();
        // A failed start still leaves a description of what was learnt.
        declareFeatures();
        rebuildDescription();
        mChannels.clear();
        mGenDCInUse.clear();
        mPersisted.clear();
        mSpace.reset();
        return ZuResult(aCode, ZuString(error.c_str()));
    };
    try {
        describeSources();
        for (size_t i = 0; i < mChannels.size(); ++i) {
            Channel &c = *mChannels[i];
            IZuSWStreamingChannelSource &src = c.source();
            uint32_t lo = 0, hi = 0, inc = 0;
            src.GetWidthInfo(lo, hi, inc);
            uint32_t hlo = 0, hhi = 0, hinc = 0;
            src.GetHeightInfo(hlo, hhi, hinc);
            // No zero-sized frames: a channel must be able to carry a pixel.
            if (hi == 0 || hhi == 0 || src.GetWidth() == 0 || src.GetHeight() == 0) {
                error = "stream " + std::to_string(i) + ": the source's width and height must be at least 1";
                return fail(ZU_INVALID_PARAMETER);
            }
            if (mPixelTypes[i].empty()) {
                error = "stream " + std::to_string(i) + ": the source supports no pixel type";
                return fail(ZU_INVALID_PARAMETER);
            }
            uint32_t packetMax = kDefaultPacketSizeMax;
            if (src.GetGevSCPSPacketSizeInfo(packetMax).IsOK()) {
                if (packetMax < 576 || packetMax > 65535) packetMax = kDefaultPacketSizeMax;
            } else {
                packetMax = kDefaultPacketSizeMax;
            }
            c.config().packetSize = std::min<uint32_t>(1500, packetMax);
            (void)src.IsPayloadTypeSupported(ZuPayloadTypeImage);
            mDescribed.push_back({lo, hi, inc ? inc : 1, hlo, hhi, hinc ? hinc : 1, packetMax});
        }
        // The container is complete before the first buffer is asked for:
        // attaching a buffer to the manager sizes it from the container.
        assignGenDCManagers();
        for (auto &c : mChannels) {
            if (!c->allocate(error)) return fail(ZU_NOT_ENOUGH_MEMORY);
        }
        layoutFirmware();
        layoutDevice();
        for (auto &c : mChannels) layoutChannel(*c);

        // Registers always before features.
        struct Building {
            std::atomic<bool> &flag;
            explicit Building(std::atomic<bool> &aFlag) : flag(aFlag) { flag = true; }
            ~Building() { flag = false; }
        } building(mBuilding);
        Lent lent(*this);
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
        declareFeatures();
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
    mPersisted.clear();
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

void DeviceModel::layoutDevice()
{
    RegisterSpace &s = *mSpace;
    const uint32_t b = addr::DeviceBase;
    s.addRegister(b + addr::AcquisitionStart, nullptr, [this](uint32_t) { startAcquisition(); return uint16_t(kStatusSuccess); });
    s.addRegister(b + addr::AcquisitionStop, nullptr, [this](uint32_t) { stopAcquisition(); return uint16_t(kStatusSuccess); });
    s.addValue(b + addr::AcquisitionMode, 0, true, [](uint32_t, uint32_t v) {
        return uint16_t(v == 0 ? kStatusSuccess : kStatusInvalidParameter);
    });
    s.addRegister(b + addr::TLParamsLocked, [this] { return mTlLocked; }, [this](uint32_t v) {
        mTlLocked = v ? 1 : 0;
        return uint16_t(kStatusSuccess);
    });
    const uint32_t channels = uint32_t(mChannels.size());
    auto selector = [&s, channels](uint32_t at, uint32_t *slot) {
        s.addRegister(at, [slot] { return *slot; }, [slot, channels](uint32_t v) {
            if (v >= channels) return uint16_t(kStatusInvalidParameter);
            *slot = v;
            return uint16_t(kStatusSuccess);
        });
    };
    mSourceSelector = mStreamSelector = 0;
    selector(b + addr::SourceSelector, &mSourceSelector);
    selector(b + addr::StreamChannelSelector, &mStreamSelector);
    // The frame rate: an 8-byte IEEE register in two words, and its switch.
    double initial = 30.0;
    uint64_t bits = 0;
    std::memcpy(&bits, &initial, sizeof bits);
    mFrameRateBits = bits;
    mFrameRateEnable = 0;
    auto half = [this](bool aHigh) {
        return [this, aHigh] { return uint32_t(mFrameRateBits.load() >> (aHigh ? 32 : 0)); };
    };
    auto setHalf = [this](bool aHigh) {
        return [this, aHigh](uint32_t v) {
            uint64_t old = mFrameRateBits.load(), next;
            do {
                next = aHigh ? (old & 0xFFFFFFFFull) | uint64_t(v) << 32 : (old & ~0xFFFFFFFFull) | v;
            } while (!mFrameRateBits.compare_exchange_weak(old, next));
            return uint16_t(kStatusSuccess);
        };
    };
    s.addRegister(b + addr::AcquisitionFrameRate, half(true), setHalf(true));
    s.addRegister(b + addr::AcquisitionFrameRate + 4, half(false), setHalf(false));
    s.addRegister(b + addr::AcquisitionFrameRateEnable, [this] { return mFrameRateEnable.load(); }, [this](uint32_t v) {
        mFrameRateEnable = v ? 1 : 0;
        return uint16_t(kStatusSuccess);
    });
    s.addRegister(b + addr::DeviceReset, nullptr, [this](uint32_t) { resetDevice(); return uint16_t(kStatusSuccess); });
    const uint32_t sets = mUserSetCount;
    mUserSetSelector = mUserSetDefault = 0;
    s.addRegister(b + addr::UserSetSelector, [this] { return mUserSetSelector; }, [this, sets](uint32_t v) {
        if (v > sets) return uint16_t(kStatusInvalidParameter);
        mUserSetSelector = v;
        return uint16_t(kStatusSuccess);
    });
    s.addRegister(b + addr::UserSetDefault, [this] { return mUserSetDefault; }, [this, sets](uint32_t v) {
        if (v > sets) return uint16_t(kStatusInvalidParameter);
        mUserSetDefault = v;
        storeUserSets();
        return uint16_t(kStatusSuccess);
    });
    s.addRegister(b + addr::UserSetLoad, nullptr, [this](uint32_t) { return userSetLoad(mUserSetSelector); });
    s.addRegister(b + addr::UserSetSave, nullptr, [this](uint32_t) {
        // The default set is the device's own, read-only to a controller.
        if (mUserSetSelector == 0) return uint16_t(kStatusAccessDenied);
        return userSetSave(mUserSetSelector);
    });
}

void DeviceModel::layoutChannel(Channel &aChannel)
{
    RegisterSpace &s = *mSpace;
    const size_t i = aChannel.index();
    const uint32_t b = addr::ChannelBase + addr::ChannelStride * uint32_t(i);
    IZuSWStreamingChannelSource *src = &aChannel.source();
    std::atomic<uint64_t> &failures = aChannel.counters().sourceFailures;
    const Described d = mDescribed[i];

    auto read = [src, &failures](auto aGet) {
        return [src, &failures, aGet]() {
            uint32_t v = 0;
            guarded(failures, [&] { v = uint32_t(aGet(*src)); });
            return v;
        };
    };
    // A write the source refuses, or fails on, is refused to the controller.
    auto write = [this, src, &failures](auto aCheck, auto aSet) {
        return [this, src, &failures, aCheck, aSet](uint32_t v) {
            if (mTlLocked) return uint16_t(kStatusAccessDenied);
            if (!aCheck(v)) return uint16_t(kStatusInvalidParameter);
            ZuResult r(ZU_GENERIC_ERROR);
            if (!guarded(failures, [&] { r = aSet(*src, v); })) return uint16_t(kStatusError);
            return uint16_t(r.IsOK() ? kStatusSuccess : kStatusInvalidParameter);
        };
    };
    auto inRange = [](uint32_t lo, uint32_t hi, uint32_t inc) {
        return [lo, hi, inc](uint32_t v) { return v >= lo && v <= hi && (v - lo) % inc == 0; };
    };
    auto any = [](uint32_t) { return true; };

    s.addRegister(b + addr::Width, read([](IZuSWStreamingChannelSource &x) { return x.GetWidth(); }),
                  write(inRange(d.widthMin, d.widthMax, d.widthInc), [](IZuSWStreamingChannelSource &x, uint32_t v) { return x.SetWidth(v); }));
    s.addRegister(b + addr::Height, read([](IZuSWStreamingChannelSource &x) { return x.GetHeight(); }),
                  write(inRange(d.heightMin, d.heightMax, d.heightInc), [](IZuSWStreamingChannelSource &x, uint32_t v) { return x.SetHeight(v); }));
    s.addRegister(b + addr::OffsetX, read([](IZuSWStreamingChannelSource &x) { return x.GetOffsetX(); }),
                  write([d](uint32_t v) { return v < d.widthMax; }, [](IZuSWStreamingChannelSource &x, uint32_t v) { return x.SetOffsetX(v); }));
    s.addRegister(b + addr::OffsetY, read([](IZuSWStreamingChannelSource &x) { return x.GetOffsetY(); }),
                  write([d](uint32_t v) { return v < d.heightMax; }, [](IZuSWStreamingChannelSource &x, uint32_t v) { return x.SetOffsetY(v); }));
    const std::vector<ZuPixelType> types = mPixelTypes[i];
    s.addRegister(b + addr::PixelFormat, read([](IZuSWStreamingChannelSource &x) { return x.GetPixelType(); }),
                  write([types](uint32_t v) {
                      for (ZuPixelType t : types)
                          if (uint32_t(t) == v) return true;
                      return false;
                  }, [](IZuSWStreamingChannelSource &x, uint32_t v) { return x.SetPixelType(ZuPixelType(int32_t(v))); }));
    s.addRegister(b + addr::PayloadSize, [this, &aChannel] { return payloadSize(aChannel); });
    s.addRegister(b + addr::ChunkModeActive, read([](IZuSWStreamingChannelSource &x) { return x.GetChunkModeActive(); }),
                  write(any, [](IZuSWStreamingChannelSource &x, uint32_t v) { return x.SetChunkModeActive(v != 0); }));
    uint32_t *chunk = &mChunkSelector[i];
    const auto chunks = mChunks[i];
    s.addRegister(b + addr::ChunkSelector, [chunk] { return *chunk; }, [chunk, chunks](uint32_t v) {
        for (const auto &c : chunks)
            if (c.second == v) {
                *chunk = v;
                return uint16_t(kStatusSuccess);
            }
        return uint16_t(kStatusInvalidParameter);
    });
    s.addRegister(b + addr::ChunkEnable, [src, &failures, chunk] {
        bool on = false;
        guarded(failures, [&] { on = src->GetChunkEnable(*chunk); });
        return uint32_t(on);
    }, write(any, [chunk](IZuSWStreamingChannelSource &x, uint32_t v) { return x.SetChunkEnable(*chunk, v != 0); }));
    s.addValue(b + addr::WidthMax, d.widthMax, false);
    s.addValue(b + addr::HeightMax, d.heightMax, false);
    s.addValue(b + addr::WidthMin, d.widthMin, false);
    s.addValue(b + addr::WidthInc, d.widthInc, false);
    s.addValue(b + addr::HeightMin, d.heightMin, false);
    s.addValue(b + addr::HeightInc, d.heightInc, false);
    s.addValue(b + addr::PacketSizeMax, d.packetMax, false);
    if (genDCManager(i)) {
        auto *gendc = dynamic_cast<IZuSWStreamingChannelSourceGenDC *>(src);
        s.addRegister(b + addr::GenDCStreamingMode, [gendc, &failures] { return uint32_t(genDCStreaming(*gendc, failures)); },
                      write([](uint32_t v) { return v <= 1; },
                            [gendc](IZuSWStreamingChannelSource &, uint32_t v) { return gendc->SetGenDCStreamingMode(v != 0); }));
    }
    if (mRtp) {
        // Which protocol carries the stream; not while it streams.
        std::atomic<uint32_t> &protocol = aChannel.config().protocol;
        s.addRegister(b + addr::StreamProtocol, [&protocol] { return protocol.load(); }, [this, &aChannel, &protocol](uint32_t v) {
            if (v != StreamConfig::kProtocolGvsp && v != StreamConfig::kProtocolRtp) return uint16_t(kStatusInvalidParameter);
            if (mTlLocked || aChannel.streaming()) return uint16_t(kStatusAccessDenied);
            protocol = v;
            return uint16_t(kStatusSuccess);
        });
    }

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
    if (manager && genDCStreaming(src, aChannel.counters().sourceFailures))
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

void DeviceModel::declareFeatures()
{
    using K = FeatureDecl::Kind;
    namespace reg = gvcp::reg;
    DescriptionWriter &w = mWriter;
    w = DescriptionWriter();
    const char *dc = "DeviceControl", *ifc = "ImageFormatControl", *ac = "AcquisitionControl", *cdc = "ChunkDataControl",
               *usc = "UserSetControl", *tl = "TransportLayerControl";
    w.addCategory(dc, "Identity of the device");
    w.addCategory(ifc, "Image geometry and pixel format");
    w.addCategory(ac, "Acquisition");
    w.addCategory(cdc, "Chunk data");
    w.addCategory(usc, "User sets");
    w.addCategory(tl, "GigE Vision transport");
    const bool multi = mChannels.size() > 1;
    const uint32_t cb = addr::ChannelBase, db = addr::DeviceBase;
    // Features of one source or stream channel, behind their selector when
    // the device has several.
    auto perChannel = [&](FeatureDecl &f) -> FeatureDecl & {
        if (multi) {
            f.indexedBy = "SourceSelector";
            f.indexStep = addr::ChannelStride;
        }
        return f;
    };
    auto perStream = [&](FeatureDecl &f) -> FeatureDecl & {
        if (multi) {
            f.indexedBy = "GevStreamChannelSelector";
            f.indexStep = reg::StreamChannelStride;
        }
        return f;
    };
    auto integer = [&](const char *name, const char *category, uint64_t address, const char *access, int64_t min,
                       int64_t max, const char *tip) -> FeatureDecl & {
        FeatureDecl &f = w.add(K::Integer, name, category, address, access, tip);
        f.min = min;
        f.max = max;
        return f;
    };
    auto field = [](FeatureDecl &f, int lsb, int msb, const char *visibility) -> FeatureDecl & {
        f.lsb = lsb;
        f.msb = msb;
        f.visibility = visibility;
        return f;
    };
    auto visible = [](FeatureDecl &f, const char *visibility) -> FeatureDecl & {
        f.visibility = visibility;
        return f;
    };
    auto address = [](FeatureDecl &f) -> FeatureDecl & {
        f.representation = "IPV4Address";
        return f;
    };
    auto locked = [](FeatureDecl &f, bool streamable) -> FeatureDecl & {
        f.lockedBy = "TLParamsLocked";
        f.streamable = streamable;
        return f;
    };

    // Identity.
    w.add(K::String, "DeviceVendorName", dc, reg::ManufacturerName, "RO", "Name of the manufacturer").length = 32;
    w.add(K::String, "DeviceModelName", dc, reg::ModelName, "RO", "Model of the device").length = 32;
    w.add(K::String, "DeviceVersion", dc, reg::DeviceVersion, "RO", "Version of the device").length = 32;
    w.add(K::String, "DeviceFirmwareVersion", dc, addr::FirmwareVersion, "RO", "Version of the firmware").length = 32;
    w.add(K::String, "DeviceManufacturerInfo", dc, reg::ManufacturerInfo, "RO", "Manufacturer information").length = 48;
    w.add(K::String, "DeviceSerialNumber", dc, reg::SerialNumber, "RO", "Serial number").length = 16;
    w.add(K::String, "DeviceUserID", dc, reg::UserDefinedName, "RW", "Name given by the user").length = 16;
    visible(w.add(K::Command, "DeviceReset", dc, db + addr::DeviceReset, "WO", "Resets the device as a power cycle would"), "Guru");

    // Image format.
    if (multi)
        integer("SourceSelector", ifc, db + addr::SourceSelector, "RW", 0, int64_t(mChannels.size()) - 1,
                "Selects the stream source the image features show")
            .selected = {"Width", "Height", "OffsetX", "OffsetY", "PixelFormat", "PayloadSize", "WidthMax", "HeightMax", "SensorWidth", "SensorHeight",
                         "ChunkModeActive", "ChunkSelector", "ChunkEnable"};
    for (auto hidden : {std::make_pair("WidthMin", addr::WidthMin), std::make_pair("WidthInc", addr::WidthInc),
                        std::make_pair("HeightMin", addr::HeightMin), std::make_pair("HeightInc", addr::HeightInc)})
        perChannel(visible(integer(hidden.first, ifc, cb + hidden.second, "RO", 0, 0xFFFFFFFF, ""), "Invisible"));
    perChannel(integer("WidthMax", ifc, cb + addr::WidthMax, "RO", 1, 0xFFFFFFFF, "Largest width"));
    perChannel(integer("HeightMax", ifc, cb + addr::HeightMax, "RO", 1, 0xFFFFFFFF, "Largest height"));
    // A software sensor is as large as the largest image.
    perChannel(integer("SensorWidth", ifc, cb + addr::WidthMax, "RO", 1, 0xFFFFFFFF, "Width of the sensor in pixels"));
    perChannel(integer("SensorHeight", ifc, cb + addr::HeightMax, "RO", 1, 0xFFFFFFFF, "Height of the sensor in lines"));
    auto geometry = [&](const char *name, uint32_t at, const char *pMin, const char *pMax, const char *tip) {
        FeatureDecl &f = perChannel(locked(integer(name, ifc, cb + at, "RW", 0, 0xFFFFFFFF, tip), true));
        if (pMin) f.pMin = pMin;
        f.pMax = pMax;
    };
    geometry("Width", addr::Width, "WidthMin", "WidthMax", "Width of the image in pixels");
    geometry("Height", addr::Height, "HeightMin", "HeightMax", "Height of the image in lines");
    geometry("OffsetX", addr::OffsetX, nullptr, "WidthMax", "Horizontal offset in pixels");
    geometry("OffsetY", addr::OffsetY, nullptr, "HeightMax", "Vertical offset in lines");
    {
        FeatureDecl &f = perChannel(locked(w.add(K::Enumeration, "PixelFormat", ifc, cb + addr::PixelFormat, "RW", "Format of the pixels"), true));
        for (const auto &list : mPixelTypes)
            for (ZuPixelType t : list) {
                const std::string name = pixelName(t);
                bool seen = false;
                for (const auto &e : f.entries) seen = seen || e.first == name;
                if (!seen) f.entries.emplace_back(name, int64_t(uint32_t(t)));
            }
        if (f.entries.empty()) f.entries.emplace_back("Mono8", int64_t(ZuPixelMono8));
    }
    perChannel(integer("PayloadSize", ifc, cb + addr::PayloadSize, "RO", 0, 0xFFFFFFFF, "Bytes of one block of the stream"));
    // GenDC: only where the device allows it and a source streams it.
    if (std::any_of(mGenDCInUse.begin(), mGenDCInUse.end(), [](ZuGenDCManager *m) { return m != nullptr; }))
        perChannel(locked(w.add(K::Enumeration, "GenDCStreamingMode", tl, cb + addr::GenDCStreamingMode, "RW",
                                "Whether the stream carries GenDC containers"), true))
            .entries = {{"Off", 0}, {"On", 1}};

    // Acquisition.
    locked(w.add(K::Enumeration, "AcquisitionMode", ac, db + addr::AcquisitionMode, "RW", "Acquisition mode"), false).entries = {{"Continuous", 0}};
    w.add(K::Command, "AcquisitionStart", ac, db + addr::AcquisitionStart, "WO", "Starts the acquisition");
    {
        FeatureDecl &f = w.add(K::Float, "AcquisitionFrameRate", ac, db + addr::AcquisitionFrameRate, "RW",
                               "Frames a second the camera sends at most, while enabled");
        f.fmin = 0.1;
        f.fmax = 100000.0;
        f.unit = "Hz";
        w.add(K::Boolean, "AcquisitionFrameRateEnable", ac, db + addr::AcquisitionFrameRateEnable, "RW",
              "Keeps the camera to AcquisitionFrameRate");
    }
    w.add(K::Command, "AcquisitionStop", ac, db + addr::AcquisitionStop, "WO", "Stops the acquisition");
    visible(integer("TLParamsLocked", tl, db + addr::TLParamsLocked, "RW", 0, 1, "Locks the features that change the payload while streaming"), "Invisible");

    // Chunks.
    perChannel(locked(w.add(K::Boolean, "ChunkModeActive", cdc, cb + addr::ChunkModeActive, "RW", "Appends chunk data to the payload"), false));
    std::vector<std::pair<std::string, int64_t>> chunks;
    for (const auto &list : mChunks)
        for (const auto &c : list) {
            std::string name = c.first.rfind("Chunk", 0) == 0 ? c.first.substr(5) : c.first;
            if (name.empty()) name = "Chunk" + std::to_string(c.second);
            bool seen = false;
            for (const auto &e : chunks) seen = seen || e.first == name;
            if (!seen) chunks.emplace_back(name, int64_t(c.second));
        }
    if (!chunks.empty()) {
        FeatureDecl &s = perChannel(w.add(K::Enumeration, "ChunkSelector", cdc, cb + addr::ChunkSelector, "RW", "Selects the chunk that ChunkEnable shows"));
        s.entries = chunks;
        s.selected = {"ChunkEnable"};
        perChannel(locked(w.add(K::Boolean, "ChunkEnable", cdc, cb + addr::ChunkEnable, "RW", "Appends the selected chunk"), false));
    }

    // User sets.
    std::vector<std::pair<std::string, int64_t>> sets = {{"Default", 0}};
    for (uint32_t k = 1; k <= mUserSetCount; ++k) sets.emplace_back("UserSet" + std::to_string(k), k);
    {
        FeatureDecl &s = w.add(K::Enumeration, "UserSetSelector", usc, db + addr::UserSetSelector, "RW", "Selects the user set to load or save");
        s.entries = sets;
        s.selected = {"UserSetLoad", "UserSetSave"};
    }
    w.add(K::Command, "UserSetLoad", usc, db + addr::UserSetLoad, "WO", "Loads the selected user set");
    w.add(K::Command, "UserSetSave", usc, db + addr::UserSetSave, "WO", "Saves the selected user set");
    w.add(K::Enumeration, "UserSetDefault", usc, db + addr::UserSetDefault, "RW", "The user set loaded when the device starts").entries = sets;

    // Transport layer.
    if (multi) {
        FeatureDecl &f = integer("GevStreamChannelSelector", tl, db + addr::StreamChannelSelector, "RW", 0,
                                 int64_t(mChannels.size()) - 1, "Selects the stream channel");
        f.selected = {"GevSCPSPacketSize", "GevSCPD", "GevSCDA", "GevSCPHostPort", "GevSCSP"};
        if (mRtp) f.selected.push_back("StreamProtocol");
    }
    perChannel(visible(integer("GevSCPSPacketSizeMax", tl, cb + addr::PacketSizeMax, "RO", 0, 65535, ""), "Invisible"));
    {
        FeatureDecl &f = perStream(field(integer("GevSCPSPacketSize", tl, reg::StreamChannelPacketSize0, "RW", 576, 65535,
                                                 "Size of the stream packets in bytes"), 31, 16, "Expert"));
        f.inc = 4;
        f.pMax = "GevSCPSPacketSizeMax";
    }
    perStream(field(w.add(K::Boolean, "GevSCPSFireTestPacket", tl, reg::StreamChannelPacketSize0, "RW", "Sends one test packet of the packet size"), 0, 0, "Guru"));
    perStream(field(w.add(K::Boolean, "GevSCPSDoNotFragment", tl, reg::StreamChannelPacketSize0, "RW", "Sets the do-not-fragment bit of stream packets"), 1, 1, "Guru"));
    perStream(visible(integer("GevSCPD", tl, reg::StreamChannelPacketDelay0, "RW", 0, 0xFFFFFFFF, "Delay between stream packets in ticks"), "Expert"));
    perStream(visible(address(integer("GevSCDA", tl, reg::StreamChannelDestination0, "RW", 0, 0xFFFFFFFF, "Destination address of the stream")), "Guru"));
    perStream(field(integer("GevSCPHostPort", tl, reg::StreamChannelPort0, "RW", 0, 65535, "Destination port of the stream"), 31, 16, "Guru"));
    perStream(field(integer("GevSCSP", tl, reg::StreamChannelSourcePort0, "RO", 0, 65535, "Source port of the stream"), 31, 16, "Guru"));
    if (mRtp) {
        FeatureDecl &f = w.add(K::Enumeration, "StreamProtocol", tl, cb + addr::StreamProtocol, "RW",
                               "Protocol of the selected stream channel: GigE Vision streaming or RTP");
        f.entries = {{"GVSP", StreamConfig::kProtocolGvsp}, {"RTP", StreamConfig::kProtocolRtp}};
        f.lockedBy = "TLParamsLocked";
        if (multi) {
            f.indexedBy = "GevStreamChannelSelector";
            f.indexStep = addr::ChannelStride;
        }
    }
    field(integer("GevMCPHostPort", tl, reg::MessageChannelPort, "RW", 0, 65535, "Destination port of events"), 31, 16, "Guru");
    visible(address(integer("GevMCDA", tl, reg::MessageChannelDestination, "RW", 0, 0xFFFFFFFF, "Destination address of events")), "Guru");
    visible(integer("GevMCTT", tl, reg::MessageChannelTransmissionTimeout, "RW", 0, 0xFFFFFFFF, "Time-out of an event's acknowledge in ms"), "Guru");
    visible(integer("GevMCRC", tl, reg::MessageChannelRetryCount, "RW", 0, 0xFFFFFFFF, "Retries of an unacknowledged event"), "Guru");
    visible(integer("GevHeartbeatTimeout", tl, reg::HeartbeatTimeout, "RW", kMinHeartbeatMs, 0xFFFFFFFF, "Heartbeat time-out in ms"), "Guru").unit = "ms";
    field(w.add(K::Boolean, "GevGVCPHeartbeatDisable", tl, reg::GVCPConfiguration, "RW", "Keeps the session open without heartbeat"), 31, 31, "Guru");
    visible(w.add(K::Enumeration, "GevCCP", tl, reg::ControlChannelPrivilege, "RW", "Control channel privilege"), "Guru").entries =
        {{"OpenAccess", 0}, {"ExclusiveAccess", 1}, {"ControlAccess", 2}};
    {
        FeatureDecl &f = visible(integer("GevTimestampTickFrequency", tl, reg::TimestampTickFrequencyHigh, "RO", 0, INT64_MAX, "Timestamp ticks per second"), "Expert");
        f.length = 8;
        f.unit = "Hz";
    }
    w.add(K::Command, "GevTimestampControlLatch", tl, reg::TimestampControl, "WO", "Latches the timestamp into GevTimestampValue").commandValue = 2;
    visible(integer("GevTimestampValue", tl, reg::TimestampValueHigh, "RO", 0, INT64_MAX, "The latched timestamp"), "Expert").length = 8;
    address(integer("GevCurrentIPAddress", tl, reg::CurrentIPAddress, "RO", 0, 0xFFFFFFFF, "Current IP address"));
    address(integer("GevCurrentSubnetMask", tl, reg::CurrentSubnetMask, "RO", 0, 0xFFFFFFFF, "Current subnet mask"));
    {
        FeatureDecl &f = integer("GevMACAddress", tl, reg::MacHigh, "RO", 0, 0xFFFFFFFFFFFF, "MAC address");
        f.length = 8;
        f.representation = "MACAddress";
    }

}

Declarations *declarationsOf(IZuRegisterFactory *aFactory)
{
    auto *own = dynamic_cast<RegisterFactory *>(aFactory);
    return own ? own->lent() : nullptr;
}

void DeviceModel::rebuildDescription()
{
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
    if (aField == Identity::Field::Description) {
        if (mBuilt) rebuildDescription();
        return;
    }
    if (aField == Identity::Field::Firmware) {
        const std::string value = mIdentity.text(aField);
        if (mSpace) mSpace->setBlock(addr::FirmwareVersion, value.data(), value.size());
        return;
    }
    if (ControlLink *link = mLink) link->publishIdentity(identityTexts());
    // The description names the model and vendor unless set apart.
    if (mBuilt && (aField == Identity::Field::Model || aField == Identity::Field::Manufacturer) &&
        !mIdentity.descriptionFrozen())
        rebuildDescription();
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
    // The controller has read the description by now: it stays as it is.
    mIdentity.freezeDescription();
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
        c->config().port = 0;
        c->config().destination = 0;
        c->config().protocol = StreamConfig::kProtocolGvsp;
    }
    mTlLocked = 0;
    mControlled = false;
    notify([&](IZuVirtualDeviceGEVEventSink *s) { s->OnApplicationDisconnect(&mSelf); });
}

void DeviceModel::streamChannelChanged(size_t aChannel, uint32_t aIp, uint16_t aPort, uint32_t aPacketSize,
                                       uint32_t aDelay)
{
    if (aChannel >= mChannels.size()) return;
    Channel &c = *mChannels[aChannel];
    StreamConfig &cfg = c.config();
    const uint16_t old = uint16_t(cfg.port & 0xFFFF);
    cfg.packetSize = aPacketSize;
    cfg.delay = aDelay;
    // A channel is open towards one destination, its address and port both
    // set (in whichever order the controller writes them): another one
    // closes it and opens it anew.
    if (!aPort || !aIp || aIp != cfg.destination || aPort != old) closeStream(c);
    cfg.destination = aIp;
    cfg.port = aPort;
    if (aPort && aIp) openStream(c);
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
    if (!mFrameRateEnable) return std::chrono::nanoseconds(0);
    const uint64_t bits = mFrameRateBits;
    double rate = 0;
    std::memcpy(&rate, &bits, sizeof rate);
    // Out-of-range or not-a-number rates keep to the limits.
    if (!(rate >= 0.1)) rate = 0.1;
    if (rate > 100000.0) rate = 100000.0;
    return std::chrono::nanoseconds(int64_t(1e9 / rate));
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
    // device's own past the bootstrap block, every script's register and
    // those the library's own sources declared.
    return (aAddress >= addr::ChannelBase && aAddress != addr::FirmwareVersion) || mSlow.count(aAddress) != 0;
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
constexpr uint32_t kStreamable[] = {addr::Width, addr::Height, addr::OffsetX, addr::OffsetY, addr::PixelFormat};
const char *const kStreamableName[] = {"Width", "Height", "OffsetX", "OffsetY", "PixelFormat"};

std::vector<uint8_t> wordBytes(uint32_t aValue)
{
    return {uint8_t(aValue >> 24), uint8_t(aValue >> 16), uint8_t(aValue >> 8), uint8_t(aValue)};
}

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

bool DeviceModel::persistLent(IZuRegisterStore &aStore)
{
    bool ok = true;
    tarn::UpCalls::Scope gate;
    if (!gate) return false;
    for (auto &p : mPersisted) {
        ZuResult r(ZU_GENERIC_ERROR);
        if (!guarded(mUpcallFailures, [&] { r = p.first->Persist(p.second, &aStore); })) ok = false;
        if (!r.IsOK() && r.GetCode() != ZU_NOT_IMPLEMENTED) ok = false;
    }
    return ok;
}

uint16_t DeviceModel::userSetSave(uint32_t aIndex)
{
    if (aIndex >= mUserSets.size()) return kStatusInvalidParameter;
    notifyUserSet(ZuUserSetStateSaveStart, aIndex);
    UserSet set;
    for (auto &c : mChannels) {
        const uint32_t b = addr::ChannelBase + addr::ChannelStride * uint32_t(c->index());
        for (size_t k = 0; k < std::size(kStreamable); ++k) {
            uint32_t v = 0;
            mSpace->readRegister(b + kStreamable[k], v);
            set[std::string(kStreamableName[k]) + "#" + std::to_string(c->index())] = wordBytes(v);
        }
    }
    RegisterStore store(set, true);
    for (CustomRegister *r : mRegisterMap.all()) {
        if (r->feature.empty()) continue;
        ZuResult persisted;
        bool handled = false;
        guarded(mUpcallFailures, [&] { handled = r->persist(store, persisted); });
        if (!handled && r->streamable) guarded(mUpcallFailures, [&] { store.Persist(r, ZuString()); });
    }
    persistLent(store);
    mUserSets[aIndex] = std::move(set);
    if (aIndex > 0) storeUserSets();
    notifyUserSet(ZuUserSetStateSaveCompleted, aIndex);
    return kStatusSuccess;
}

uint16_t DeviceModel::userSetLoad(uint32_t aIndex)
{
    if (aIndex >= mUserSets.size() || !mUserSets[aIndex]) return kStatusInvalidParameter;
    if (mTlLocked) return kStatusAccessDenied;
    notifyUserSet(ZuUserSetStateLoadStart, aIndex);
    UserSet set = *mUserSets[aIndex];
    uint16_t status = kStatusSuccess;
    for (auto &c : mChannels) {
        const size_t i = c->index();
        const uint32_t b = addr::ChannelBase + addr::ChannelStride * uint32_t(i);
        // Offsets first to zero so that a larger size fits, then sizes, then offsets.
        mSpace->writeRegister(b + addr::OffsetX, 0);
        mSpace->writeRegister(b + addr::OffsetY, 0);
        for (size_t k = 0; k < std::size(kStreamable); ++k) {
            auto it = set.find(std::string(kStreamableName[k]) + "#" + std::to_string(i));
            if (it == set.end() || it->second.size() != 4) continue;
            const std::vector<uint8_t> &v = it->second;
            const uint16_t st = mSpace->writeRegister(b + kStreamable[k], uint32_t(v[0]) << 24 | uint32_t(v[1]) << 16 |
                                                                             uint32_t(v[2]) << 8 | v[3]);
            if (st != kStatusSuccess) status = st;
        }
    }
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
    if (!persistLent(store)) status = kStatusError;
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
