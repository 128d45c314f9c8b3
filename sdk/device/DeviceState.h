#ifndef TARN_DEVICE_DEVICE_STATE_H
#define TARN_DEVICE_DEVICE_STATE_H

// What a device controller holds. ZuDevice is a thin front over its State,
// which lives on while anything that came from the device (an adapter, a
// parameter array kept by the bindings, a thread finishing a callback)
// still refers to it; once the device is freed or disconnected they find
// the connection gone and answer "not connected" instead of touching
// freed memory.

#include "GvcpClient.h"
#include "DeviceSinks.h"

#include "ZuDevice.h"
#include "tarn/genicam/Parameters.h"
#include "tarn/Worker.h"
#include "gev/bootstrap.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace tarn {
namespace device {

// The communication parameters: the client's settings and what the
// connection adds.
struct Settings : ClientSettings {
    std::atomic<uint32_t> heartbeatTimeoutMs{3000};
    std::atomic<uint32_t> eventQueueSize{1024};
    std::atomic<uint64_t> eventsReceived{0};
    std::atomic<uint64_t> eventsDropped{0};
    std::atomic<uint32_t> deviceIp{0};
    std::atomic<uint32_t> hostIp{0};
    std::atomic<uint32_t> messagePort{0};
};

// A parameter array with the port it reads through; the port outlives the
// array (members go in reverse order). The array is lent to the bindings.
struct ParameterSet {
    std::unique_ptr<ZU_GENAPI_NS::IPort> port;
    ZuGenParameterArray array;
};

// One event of the messaging channel, as received.
struct Message {
    uint16_t eventId = 0;
    uint16_t channel = 0xFFFF;
    uint64_t blockId = 0;
    uint64_t timestamp = 0;
    bool withData = false;
    std::vector<uint8_t> data;
};

enum ThreadRole { kHeartbeatThread = 0, kInterruptLinkThread = 1, kInterruptQueueThread = 2 };

// A connection to one GigE Vision device and its three threads.
class Connection : public std::enable_shared_from_this<Connection>
{
public:
    Connection(ZuDevice *aDevice, std::shared_ptr<Settings> aSettings, std::shared_ptr<DeviceSinks> aSinks,
               const std::atomic<uint32_t> *aPriorities);
    ~Connection();

    ZuResult Open(uint32_t aIp, ZuAccessType aAccess);
    // Stops the threads (a thread stopping its own connection is left to
    // end by itself), gives control back and closes the channels.
    void Close();

    bool Usable() const { return !mStopping && !mLost; }
    ZuResult NotConnected() const;

    GvcpClient &Client() { return mClient; }
    const gvcp::DeviceIdentity &Identity() const { return mIdentity; }
    ZuAccessType Access() const { return mAccess; }
    uint32_t StreamChannels() const { return mStreamChannels; }
    const std::shared_ptr<ParameterSet> &Parameters() const { return mParameters; }
    const std::string &Url() const { return mUrl; }
    const std::vector<uint8_t> &Description() const { return mDescription; }
    const std::string &DescriptionName() const { return mDescriptionName; }
    // Calls each sink with no lock held; stops once the connection closes.
    template <class Call> void ToSinks(Call aCall)
    {
        mSinks->ForEach(aCall, [this] { return mStopping.load(); });
    }
    const std::shared_ptr<DeviceSinks> &Sinks() const { return mSinks; }
    ZuDevice *Device() const { return mDevice; }

    ZuResult WaitIdle(uint32_t aTimeoutMs);
    ZuResult ApplyPriority(ThreadRole aRole, uint32_t aPriority);

private:
    ZuResult ReadIdentity();
    ZuResult TakeControl();
    ZuResult LoadDescription();
    ZuResult LoadDescriptionFrom(const std::string &aUrl);
    ZuResult OpenMessagingChannel();
    void StartThreads();
    void HeartbeatLoop();
    void LinkLoop();
    void QueueLoop();
    bool ReceiveMessage();
    bool ReceiveMessageTcp();
    // One messaging channel packet; aReply sends its acknowledge back.
    template <class Reply> void TakeMessage(const uint8_t *aData, size_t aSize, const net::Endpoint &aFrom, Reply aReply);
    void UseOfferedTransport();
    // Whether the heartbeat's read of the privilege shows the device still
    // under this controller's control.
    bool StillOurs(const ZuResult &aRead, uint32_t aPrivilege) const;
    void Deliver(const Message &aMessage);
    void LinkLost();
    bool OnThread(ThreadRole aRole) const;

    ZuDevice *mDevice;
    std::shared_ptr<Settings> mSettings;
    std::shared_ptr<DeviceSinks> mSinks;
    const std::atomic<uint32_t> *mPriorities;
    GvcpClient mClient;
    gvcp::DeviceIdentity mIdentity;
    uint32_t mCapability = 0;
    uint32_t mStreamChannels = 0;
    uint32_t mMessageChannels = 0;
    ZuAccessType mAccess = ZuAccessUnknown;
    std::string mUrl;
    std::string mDescriptionName;
    std::vector<uint8_t> mDescription;
    std::shared_ptr<ParameterSet> mParameters;

    net::UdpSocket mMessageSocket;
    net::TcpConnection mMessageTcp;
    gev::FrameReader mMessageFrames{1500};
    std::atomic<bool> mMessageTcpClosed{false};
    uint16_t mTcpPort = 0;  // the device's control port over TCP, 0 on UDP
    net::PollLoop mMessageLoop;
    uint16_t mLastEventReq = 0;
    net::Endpoint mLastEventFrom;

    std::mutex mQueueLock;
    std::condition_variable mQueueWake;  // heartbeat: events queued, or stop
    std::condition_variable mIdle;       // the queue ran dry
    std::condition_variable mLinkWake;   // interrupt queue: link lost, or stop
    std::deque<Message> mQueue;
    bool mDelivering = false;
    bool mLinkLostPending = false;

    std::atomic<bool> mStopping{false};
    std::atomic<bool> mLost{false};
    Worker mThreads[3];
};

} // namespace device
} // namespace tarn

struct ZuDevice::State {
    State(ZuDevice *aDevice, ZuDeviceType aType);
    ~State();

    // The connection while it is usable, else null.
    std::shared_ptr<tarn::device::Connection> Current() const;
    // The connection even after its link was lost (to disconnect it).
    std::shared_ptr<tarn::device::Connection> Any() const;
    ZuResult Connect(uint32_t aIp, ZuAccessType aAccess);
    ZuResult Disconnect();
    // The device goes: disconnect, and let nothing reach it again.
    void Close();

    ZuDevice *device;
    const ZuDeviceType type;
    std::shared_ptr<tarn::device::Settings> settings;
    std::shared_ptr<tarn::device::DeviceSinks> sinks;
    std::shared_ptr<tarn::device::ParameterSet> communication;
    std::atomic<uint32_t> priorities[3] = {};

private:
    mutable std::mutex mLock;
    std::shared_ptr<tarn::device::Connection> mConnection;
};

#endif
