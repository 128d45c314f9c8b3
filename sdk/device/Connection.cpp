#include "Ports.h"
#include "tarn/Interrupts.h"

#include <algorithm>
#include <cctype>
#include <cxxabi.h>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tarn {
namespace device {

namespace {

using std::chrono::milliseconds;

// Runs a call on one of the connection's own threads into code that may
// throw (a sink's director, or the node map reading through the port, whose
// sinks may throw): what it throws ends that call, not the thread. Thread
// cancellation passes on.
template <class Call> void Contained(Call aCall)
{
    try {
        aCall();
    } catch (abi::__forced_unwind &) {
        throw;
    } catch (...) {
    }
}

} // namespace

Connection::Connection(ZuDevice *aDevice, std::shared_ptr<Settings> aSettings, std::shared_ptr<DeviceSinks> aSinks,
                       const std::atomic<uint32_t> *aPriorities)
    : mDevice(aDevice), mSettings(aSettings), mSinks(std::move(aSinks)), mPriorities(aPriorities), mClient(aSettings)
{
}

Connection::~Connection()
{
    Close();
}

ZuResult Connection::NotConnected() const
{
    return ZuResult(ZU_NOT_CONNECTED, ZuString(mLost ? "the device stopped answering" : "the device is not connected"));
}

bool Connection::OnThread(ThreadRole aRole) const
{
    return mThreads[aRole].OnThread();
}

ZuResult Connection::Open(uint32_t aIp, ZuAccessType aAccess)
{
    mAccess = aAccess;
    ZuResult r = mClient.Open(aIp);
    if (!r.IsOK()) return r;
    mSettings->deviceIp = aIp;
    mSettings->hostIp = mClient.LocalIp();
    r = ReadIdentity();
    if (r.IsOK()) UseOfferedTransport();
    if (r.IsOK()) r = TakeControl();
    if (r.IsOK()) r = LoadDescription();
    if (r.IsOK()) r = OpenMessagingChannel();
    if (!r.IsOK()) {
        Close();
        return r;
    }
    StartThreads();
    return r;
}

ZuResult Connection::ReadIdentity()
{
    using namespace gvcp;
    // The bootstrap registers start with what a discovery answers.
    std::vector<uint8_t> head(kDiscoveryAckSize);
    ZuResult r = mClient.ReadMemory(reg::Version, head.data(), head.size());
    if (!r.IsOK()) return r;
    auto identity = DeviceIdentity::Decode(head.data(), head.size());
    if (!identity) return ZuResult(ZU_CORRUPTED_DATA, ZuString("the device's identity does not read"));
    mIdentity = *identity;
    for (auto [address, value] : {std::pair{reg::GVCPCapability, &mCapability},
                                  std::pair{reg::NumberOfStreamChannels, &mStreamChannels},
                                  std::pair{reg::NumberOfMessageChannels, &mMessageChannels}}) {
        r = mClient.ReadRegister(address, *value);
        if (!r.IsOK()) return r;
    }
    mClient.SetWriteMemSupported((mCapability & GVCPCAP_WRITEMEM) != 0);
    return r;
}

void Connection::UseOfferedTransport()
{
    // Any other device answers an error, zeros or bytes of its own here, and
    // stays on UDP.
    uint8_t block[gev::tcpreg::Size];
    if (!mClient.ReadMemory(gev::tcpreg::Advertisement, block, sizeof block).IsOK()) return;
    auto offer = gev::TcpAdvertisement::Decode(block, sizeof block);
    if (!offer || !offer->controlPort || !mClient.UseTcp(offer->controlPort).IsOK()) return;
    // A connection taken is not yet a device answering on it: one that is
    // closed at once (the device is full) or never answered leaves this
    // controller on UDP. A TCP answer needs no second try.
    const auto deadline = Clock::now() + milliseconds(std::max<uint32_t>(1, mSettings->answerTimeoutMs));
    uint32_t version = 0;
    const ZuResult r = mClient.ReadRegister(gvcp::reg::Version, version, deadline);
    if (r.GetCode() == ZU_TIMEOUT || r.GetCode() == ZU_NETWORK_ERROR) mClient.UseUdp();
    else mTcpPort = offer->controlPort;
}

ZuResult Connection::TakeControl()
{
    using namespace gvcp;
    if (mAccess != ZuAccessControl && mAccess != ZuAccessExclusive) return ZuResult();
    ZuResult r = mClient.WriteRegister(reg::ControlChannelPrivilege, mAccess == ZuAccessExclusive ? CCP_EXCLUSIVE : CCP_CONTROL);
    if (!r.IsOK()) {
        if (r.GetCode() == ZU_GENERIC_ERROR || r.GetCode() == ZU_BUSY)
            return ZuResult(ZU_GENERIC_ERROR, ZuString("another application controls the device"));
        return r;
    }
    // Whatever else fails now, control goes back on Close.
    mSettings->deviceIp = mClient.Device().ip;
    uint32_t config = 0;
    if ((mCapability & GVCPCAP_PENDING_ACK) && mClient.ReadRegister(reg::GVCPConfiguration, config).IsOK())
        mClient.WriteRegister(reg::GVCPConfiguration, config | GVCPCFG_PENDING_ACK_ENABLE);
    // Our heartbeat keeps control as long as the device waits for it.
    return mClient.WriteRegister(reg::HeartbeatTimeout, mSettings->heartbeatTimeoutMs);
}

ZuResult Connection::LoadDescription()
{
    std::vector<uint8_t> urls(2 * gvcp::reg::UrlSize);
    ZuResult r = mClient.ReadMemory(gvcp::reg::FirstURL, urls.data(), urls.size());
    if (!r.IsOK()) return r;
    auto text = [&](size_t at) {
        const char *p = reinterpret_cast<const char *>(urls.data() + at);
        return std::string(p, strnlen(p, gvcp::reg::UrlSize));
    };
    r = LoadDescriptionFrom(text(0));
    // The second URL serves when the first does not.
    if (!r.IsOK() && !text(gvcp::reg::UrlSize).empty()) {
        ZuResult second = LoadDescriptionFrom(text(gvcp::reg::UrlSize));
        if (second.IsOK()) r = second;
    }
    return r;
}

ZuResult Connection::LoadDescriptionFrom(const std::string &aUrl)
{
    ZU_GENAPI_NS::DescriptionUrl url;
    ZuResult r = ZU_GENAPI_NS::ParseDescriptionUrl(aUrl, url);
    if (!r.IsOK()) return r;
    std::vector<uint8_t> bytes;
    if (url.scheme == ZU_GENAPI_NS::DescriptionUrl::Scheme::Local) {
        // Whole registers around the description.
        uint64_t first = url.address / 4 * 4, count = (url.address + url.length + 3) / 4 * 4 - first;
        std::vector<uint8_t> whole(size_t(count), 0);
        r = mClient.ReadMemory(first, whole.data(), count);
        if (!r.IsOK()) return r;
        bytes.assign(whole.begin() + long(url.address - first), whole.begin() + long(url.address - first + url.length));
    } else {
        std::ifstream in(url.path, std::ios::binary);
        if (!in) return ZuResult(ZU_CANNOT_OPEN_FILE, ZuString("cannot open the description '" + url.path + "'"));
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    auto set = std::make_shared<ParameterSet>();
    set->port = std::make_unique<GvcpPort>(weak_from_this());
    r = url.zipped ? tarn::LoadZippedDescription(set->array, bytes.data(), bytes.size(), set->port.get())
                   : tarn::LoadDescription(set->array, reinterpret_cast<const char *>(bytes.data()), bytes.size(),
                                           set->port.get());
    if (!r.IsOK()) return r;
    mUrl = aUrl.substr(0, aUrl.find('\0'));
    mDescriptionName = url.name;
    mDescription = std::move(bytes);
    mParameters = std::move(set);
    return r;
}

ZuResult Connection::OpenMessagingChannel()
{
    using namespace gvcp;
    const bool control = mAccess == ZuAccessControl || mAccess == ZuAccessExclusive;
    if (!control || !mMessageChannels || !(mCapability & (GVCPCAP_EVENT | GVCPCAP_EVENTDATA))) return ZuResult();
    std::string error;
    uint16_t port = 0;
    if (mTcpPort) {
        // Events come over a connection of their own, which the device
        // knows by its address as the messaging channel's destination.
        const int timeout = int(std::max<uint32_t>(1, mSettings->answerTimeoutMs));
        mMessageTcp = net::TcpConnection::Connect({mClient.Device().ip, mTcpPort}, mClient.LocalIp(), timeout, &error);
        if (!mMessageTcp.Valid()) return ZuResult(ZU_NETWORK_ERROR, ZuString(error));
        port = mMessageTcp.Local().port;
        mMessageLoop.Watch(mMessageTcp.GetFd(), [this](int) { return ReceiveMessageTcp(); });
    } else {
        net::SocketOptions options;
        options.nonBlocking = true;
        mMessageSocket = net::UdpSocket::Bind({mClient.LocalIp(), 0}, options, &error);
        if (!mMessageSocket.Valid()) return ZuResult(ZU_NETWORK_ERROR, ZuString(error));
        port = mMessageSocket.Local().port;
        mMessageLoop.Watch(mMessageSocket.GetFd(), [this](int) { return ReceiveMessage(); });
    }
    ZuResult r = mClient.WriteRegisters({{reg::MessageChannelDestination, mClient.LocalIp()}, {reg::MessageChannelPort, port}});
    if (!r.IsOK()) return r;
    mSettings->messagePort = port;
    return r;
}

void Connection::StartThreads()
{
    // Each thread keeps the connection alive until it ends, even when a
    // callback frees the device it runs for.
    // Close wakes them all; each ends by the stop flag.
    auto self = shared_from_this();
    mThreads[kHeartbeatThread].Start([self](Worker::Control &) { self->HeartbeatLoop(); }, nullptr,
                                     mPriorities[kHeartbeatThread]);
    if (mMessageSocket.Valid() || mMessageTcp.Valid())
        mThreads[kInterruptLinkThread].Start([self](Worker::Control &) { self->LinkLoop(); }, nullptr,
                                             mPriorities[kInterruptLinkThread]);
    mThreads[kInterruptQueueThread].Start([self](Worker::Control &) { self->QueueLoop(); }, nullptr,
                                          mPriorities[kInterruptQueueThread]);
}

ZuResult Connection::ApplyPriority(ThreadRole aRole, uint32_t aPriority)
{
    return mThreads[aRole].SetPriority(aPriority);
}

void Connection::Close()
{
    if (mStopping.exchange(true)) return;
    // A request another thread waits on (the device asking for more time
    // again and again, say) ends now, and the threads with it.
    mClient.Interrupt();
    {
        std::lock_guard<std::mutex> lock(mQueueLock);
        mQueue.clear();
    }
    mQueueWake.notify_all();
    mLinkWake.notify_all();
    mIdle.notify_all();
    mMessageLoop.Stop();
    // A callback that disconnects its own device: its thread ends by itself
    // once the callback returns, holding the connection.
    for (Worker &t : mThreads) t.Stop();
    const bool control = mAccess == ZuAccessControl || mAccess == ZuAccessExclusive;
    if (control && !mLost && mClient.IsOpen()) {
        // Give the channels and control back, within the tries' time-outs
        // whatever the device asks for: else its heartbeat ends control.
        mClient.Resume();
        const auto deadline = mClient.UnextendedDeadline();
        if (mMessageSocket.Valid() || mMessageTcp.Valid())
            mClient.WriteRegister(gvcp::reg::MessageChannelPort, 0, true, deadline);
        mClient.WriteRegister(gvcp::reg::ControlChannelPrivilege, 0, true, deadline);
    }
    mClient.Close();
    mMessageSocket = net::UdpSocket();
    mMessageTcp = net::TcpConnection();
    mSettings->messagePort = 0;
}

// ---- Threads ------------------------------------------------------------------

void Connection::HeartbeatLoop()
{
    uint32_t applied = mSettings->heartbeatTimeoutMs;
    auto next = Clock::now();
    while (!mStopping) {
        const uint32_t timeout = mSettings->heartbeatTimeoutMs;
        const auto interval = milliseconds(std::max<uint32_t>(timeout / 3, 50));
        {
            std::unique_lock<std::mutex> lock(mQueueLock);
            mQueueWake.wait_until(lock, next, [this] { return mStopping || !mQueue.empty(); });
            // The events first: each is delivered with no lock held.
            while (!mStopping && !mQueue.empty()) {
                Message m = std::move(mQueue.front());
                mQueue.pop_front();
                mDelivering = true;
                lock.unlock();
                Deliver(m);
                lock.lock();
                mDelivering = false;
            }
            if (mQueue.empty()) mIdle.notify_all();
        }
        if (mStopping || Clock::now() < next) continue;
        const bool control = mAccess == ZuAccessControl || mAccess == ZuAccessExclusive;
        if (control && timeout != applied && mClient.WriteRegister(gvcp::reg::HeartbeatTimeout, timeout).IsOK())
            applied = timeout;
        // Any answer counts; the device is lost once it has been silent for
        // the whole time-out, and no request waits longer than that.
        const auto deadline = mClient.LastAnswer() + milliseconds(timeout);
        uint32_t privilege = 0;
        ZuResult r = mClient.ReadRegister(gvcp::reg::ControlChannelPrivilege, privilege, deadline);
        if (mStopping) break;
        if ((control && !StillOurs(r, privilege)) ||
            (!r.IsOK() && Clock::now() >= mClient.LastAnswer() + milliseconds(timeout))) {
            LinkLost();
            break;
        }
        if (mParameters) Contained([&] { mParameters->array.Poll(); });
        next = Clock::now() + interval;
    }
}

bool Connection::StillOurs(const ZuResult &aRead, uint32_t aPrivilege) const
{
    using namespace gvcp;
    // A device that restarted answers with no privilege, and one that
    // another controller holds exclusively refuses the read: the device is
    // no longer ours in either case, however well it answers.
    if (aRead.IsOK()) return (aPrivilege & (mAccess == ZuAccessExclusive ? CCP_EXCLUSIVE : CCP_CONTROL | CCP_EXCLUSIVE)) != 0;
    return aRead.GetCode() != ZU_GENERIC_ERROR;
}

void Connection::Deliver(const Message &aMessage)
{
    // The node map takes the event's data first, so that the GenICam
    // callback finds its parameters changed.
    ZuGenParameterList changed;
    bool mapped = false;
    if (mParameters) {
        Contained([&] {
            ZuResult r = tarn::DeliverEvent(mParameters->array, aMessage.eventId, aMessage.data.data(), aMessage.data.size(), &changed);
            mapped = r.IsOK() && changed.GetSize() > 0;
        });
    }
    const void *data = aMessage.data.empty() ? nullptr : aMessage.data.data();
    ToSinks([&](ZuDeviceEventSink *s) {
        // A sink that throws on this thread loses its event, not the others'.
        Contained([&] {
            s->OnEvent(mDevice, aMessage.eventId, aMessage.channel, aMessage.blockId, aMessage.timestamp, data,
                       uint32_t(aMessage.data.size()));
        });
        if (mStopping) return;
        Contained([&] {
            s->OnEventGenICam(mDevice, aMessage.eventId, aMessage.channel, aMessage.blockId, aMessage.timestamp,
                              mapped ? &changed : nullptr);
        });
    });
}

void Connection::LinkLost()
{
    mLost = true;
    {
        std::lock_guard<std::mutex> lock(mQueueLock);
        mLinkLostPending = true;
        mQueue.clear();
    }
    mIdle.notify_all();
    mLinkWake.notify_all();
    mMessageLoop.Stop();
}

void Connection::QueueLoop()
{
    std::unique_lock<std::mutex> lock(mQueueLock);
    mLinkWake.wait(lock, [this] { return mStopping || mLinkLostPending; });
    if (mStopping) return;
    mLinkLostPending = false;
    lock.unlock();
    ToSinks([&](ZuDeviceEventSink *s) { Contained([&] { s->OnLinkDisconnected(mDevice); }); });
}

void Connection::LinkLoop()
{
    while (!mStopping && !mLost && !mMessageTcpClosed) {
        if (mMessageLoop.Run() != net::PollLoop::Exit::Done) {
            if (mStopping || mLost) break;
        }
    }
}

bool Connection::ReceiveMessage()
{
    uint8_t buf[1500];
    net::Arrival arrival;
    long n = mMessageSocket.Receive(buf, sizeof buf, &arrival);
    // The device's events come from its own address (whichever port it
    // sends them from); anything else is no event of the device's.
    if (n <= 0 || arrival.from.ip != mClient.Device().ip) return true;
    TakeMessage(buf, size_t(n), arrival.from, [&](const gvcp::Bytes &aAck) {
        mMessageSocket.SendTo(aAck.data(), aAck.size(), arrival.from);
    });
    return true;
}

bool Connection::ReceiveMessageTcp()
{
    const auto read = mMessageFrames.FillFrom([this](uint8_t *aTo, size_t aRoom) { return mMessageTcp.Receive(aTo, aRoom); });
    if (read == gev::FrameReader::Fill::Nothing) return true;
    const net::Endpoint from = mClient.Device();
    const uint8_t *frame = nullptr;
    size_t size = 0;
    while (mMessageFrames.NextFrame(frame, size) == gev::FrameReader::Next::Frame) {
        TakeMessage(frame, size, from, [&](const gvcp::Bytes &aAck) {
            gvcpclient::sendFramed(mMessageTcp, aAck, int(std::max<uint32_t>(1, mSettings->answerTimeoutMs)));
        });
    }
    if (read == gev::FrameReader::Fill::Bytes && !mMessageFrames.Bad()) return true;
    // The device closed the connection (or broke its framing): no more
    // events; the heartbeat finds out whether the device is gone.
    mMessageTcpClosed = true;
    return false;
}

template <class Reply>
void Connection::TakeMessage(const uint8_t *aData, size_t aSize, const net::Endpoint &aFrom, Reply aReply)
{
    using namespace gvcp;
    auto cmd = decodeCommand(aData, aSize);
    if (!cmd) return;
    const uint16_t code = cmd->header.command;
    if (code != EVENT_CMD && code != EVENTDATA_CMD) return;
    std::vector<Message> arrived;
    if (code == EVENT_CMD) {
        auto events = EventCmd::Decode(*cmd);
        if (!events) return;
        for (const Event &e : events->events) arrived.push_back(Message{e.eventId, e.streamChannel, e.blockId, e.timestamp, false, {}});
    } else {
        auto event = EventDataCmd::Decode(*cmd);
        if (!event) return;
        const Event &e = event->event;
        arrived.push_back(Message{e.eventId, e.streamChannel, e.blockId, e.timestamp, true, std::move(event->data)});
    }
    if (cmd->header.flags & FLAG_ACK_REQUIRED) aReply(encodeEmptyAck(uint16_t(code + 1), cmd->header.reqId));
    // A retry of what arrived already is acknowledged again, not queued again.
    const bool retry = cmd->header.reqId != 0 && cmd->header.reqId == mLastEventReq &&
                       aFrom.ip == mLastEventFrom.ip && aFrom.port == mLastEventFrom.port;
    mLastEventReq = cmd->header.reqId;
    mLastEventFrom = aFrom;
    if (retry) return;
    {
        std::lock_guard<std::mutex> lock(mQueueLock);
        const size_t limit = std::max<uint32_t>(1, mSettings->eventQueueSize);
        for (Message &m : arrived) {
            ++mSettings->eventsReceived;
            if (mQueue.size() >= limit) {
                mQueue.pop_front();
                ++mSettings->eventsDropped;
            }
            mQueue.push_back(std::move(m));
        }
    }
    mQueueWake.notify_all();
}

ZuResult Connection::WaitIdle(uint32_t aTimeoutMs)
{
    std::unique_lock<std::mutex> lock(mQueueLock);
    // On the heartbeat thread (a sink waiting from its own callback) the
    // queue cannot drain while it waits: answer at once.
    if (OnThread(kHeartbeatThread)) return mQueue.empty() ? ZuResult() : ZuResult(ZU_TIMEOUT, ZuString("events are queued"));
    const auto waited = Interrupts::WaitFor(mIdle, lock, aTimeoutMs, [this] {
        return mStopping || mLost || (mQueue.empty() && !mDelivering);
    });
    if (waited == Interrupts::Wait::Interrupted) return Interrupts::Result();
    if (mStopping || mLost) return NotConnected();
    return waited == Interrupts::Wait::Done ? ZuResult() : ZuResult(ZU_TIMEOUT, ZuString("events were still queued when the time-out passed"));
}

} // namespace device
} // namespace tarn
