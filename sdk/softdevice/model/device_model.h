#ifndef TARN_SOFTDEVICE_DEVICE_MODEL_H
#define TARN_SOFTDEVICE_DEVICE_MODEL_H

// A software GigE Vision device apart from its transport: its parts (the
// stream channels, the camera's own features, the script's registers and
// features, the user sets, the event sinks, the identity and the messaging
// channel), the Start sequence that puts them together and writes the
// GenICam description, the registers beyond the bootstrap block, and what
// the controller does, handed on to the parts. The GVCP server (which
// keeps the bootstrap registers, the session and the messaging channel's
// retries) and the GVSP senders are adapters over it.

#include "IZuSoftDeviceGEV.h"
#include "IZuSWStreamingChannelSource.h"
#include "IZuUserSetNotify.h"
#include "IZuVirtualDeviceGEVEventSink.h"
#include "IZuRegisterFactory.h"
#include "IZuGenApiFactory.h"
#include "IZuRegisterMap.h"
#include "gev/bootstrap.h"
#include "gev/gvcp.h"
#include "softdevice/model/bridges.h"
#include "softdevice/model/camera_features.h"
#include "softdevice/model/channel.h"
#include "softdevice/model/control_link.h"
#include "softdevice/model/custom_register.h"
#include "softdevice/model/declarations.h"
#include "softdevice/model/feature_factory.h"
#include "softdevice/model/description.h"
#include "softdevice/model/event_sinks.h"
#include "softdevice/model/identity.h"
#include "softdevice/model/message_channel.h"
#include "softdevice/model/register_space.h"
#include "softdevice/model/standard_features.h"
#include "softdevice/model/user_sets.h"
#include "softdevice/model/statistics.h"
#include "softdevice/model/streams.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

struct NetConfig {
    gvcp::Mac mac{};
    uint32_t ip = 0;        // host order
    uint32_t mask = 0;
    uint32_t gateway = 0;
};

// Whether a write of the register reaches application code (a source or a
// sink, which may be Python): long enough for a controller to want a
// PENDING_ACK first.
bool writeReachesApplication(uint32_t aAddress);

class DeviceModel
{
public:
    static constexpr size_t kMaxStreams = Streams::kMaxStreams;
    static constexpr uint32_t kMaxUserSets = UserSetBank::kMaxSets;

    explicit DeviceModel(IZuVirtualDeviceGEV &aSelf);
    ~DeviceModel();
    DeviceModel(const DeviceModel &) = delete;
    DeviceModel &operator=(const DeviceModel &) = delete;

    // ---- Settings, while created.
    ZuResult AddStream(IZuSWStreamingChannelSource *aSource);
    ZuResult SetUserSetCount(uint32_t aCount);

    // ---- Start and stop. Build() runs the Start sequence on the caller's
    // thread; what an up-call throws leaves it after everything built so
    // far is undone (the device stays created and can start again).
    ZuResult Build(const NetConfig &aNet);
    void Teardown();
    bool Built() const { return mBuilt; }
    // Start is creating registers and features: the map is there already.
    bool Building() const { return mBuilding; }
    // The description: kept after a failed build too.
    bool HasDescription() const;
    std::string Description() const;
    // The description a Start that failed before it began (on its address)
    // still leaves: what the sources tell, without building anything.
    void Describe();
    // Inside Start: its up-calls reach the device's information.
    bool Starting() const { return mStarting; }

    RegisterSpace &Space() { return *mSpace; }
    Identity &GetIdentity() { return mIdentity; }
    Statistics &GetStatistics() { return mStatistics; }
    MessageChannel &Messages() { return mMessages; }
    // The script's registers (the map lent to the application).
    RegisterCatalog &Registers() { return mRegisterMap; }
    Streams &GetStreams() { return mStreams; }
    UserSetBank &UserSets() { return mUserSets; }
    EventSinks &Sinks() { return mSinks; }
    // What the camera's own features reach of it.
    CameraFeatures &Features() { return mFeatures; }
    const NetConfig &Net() const { return mNet; }
    uint64_t Timestamp() const;

    // ---- What the control server hands on (on its thread).
    // The link to the server while the device runs; null before and after.
    void SetLink(ControlLink *aLink);
    // Registers beyond the bootstrap block: GVCP statuses.
    uint16_t ReadMemory(uint32_t aAddress, uint32_t aCount, uint8_t *aOut);
    uint16_t WriteMemory(uint32_t aAddress, const uint8_t *aData, uint32_t aCount);
    // A controller took control, or let go of it or lost it with its
    // heartbeat: its streams end with it.
    void ControlTaken(uint32_t aIp, uint16_t aPort, ZuAccessType aAccess);
    void ControlReleased(bool aHeartbeatFailed);
    bool Controlled() const { return mControlled; }
    // FORCEIP gave the device a new address.
    void NetworkReset(uint32_t aIp, uint32_t aMask, uint32_t aGateway);
    void ControlChannelStarted(uint16_t aPort);
    void ControlChannelStopped();

private:
    // What the real factories lend the sources of this library (declarations.h).
    class Lent : public Declarations
    {
    public:
        void Refuse(const std::string &aWhy) override
        {
            if (mRefused.empty()) mRefused = aWhy;
        }
        const std::string &Refused() const { return mRefused; }

    private:
        std::string mRefused;
    };

private:
    // The channels for a start.
    void OpenChannels();
    void RefreshIdentity(Identity::Field aField);
    void RebuildDescription();
    void ResetDevice();

    IZuVirtualDeviceGEV &mSelf;
    Streams mStreams;
    std::atomic<bool> mBuilt{false};
    std::atomic<bool> mBuilding{false};
    std::atomic<bool> mStarting{false};

    NetConfig mNet;
    std::unique_ptr<RegisterSpace> mSpace;
    Bridges mBridges;
    Identity mIdentity;
    Statistics mStatistics;
    MessageChannel mMessages;
    RegisterCatalog mRegisterMap;
    DescriptionWriter mWriter;
    mutable std::mutex mDescriptionLock;
    std::string mDescription;
    bool mHasDescription = false;

    // Control state, changed on the control thread only (and by build and
    // teardown while it does not run).
    mutable std::mutex mStateLock;
    std::atomic<ControlLink *> mLink{nullptr};
    std::atomic<bool> mControlled{false};
    std::chrono::steady_clock::time_point mEpoch;
    std::atomic<uint64_t> mUpcallFailures{0};
    EventSinks mSinks{mUpcallFailures};
    UserSetBank mUserSets{mUpcallFailures};
    CameraFeatures mFeatures{mStreams, mUserSets, [this] { ResetDevice(); }};
};

} // namespace softdevice
} // namespace tarn

#endif
