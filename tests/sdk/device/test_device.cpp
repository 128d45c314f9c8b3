// The controller against the GVCP server in this process: connection and
// privilege, heartbeat and link loss, events and sinks, the GenICam port,
// stream registers, FORCEIP, and what outlives a freed device.
#include "fixture.h"

#include "ZuDeviceAdapter.h"
#include "gev/tcp.h"
#include "tarn/DeviceBinding.h"
#include "tarn/Holds.h"

#include <atomic>
#include <future>
#include <set>

using fixture::Flag;
using fixture::TestDevice;
using namespace tarn::gvcp;
using namespace tarn::gvcpserver;

namespace {

struct Freer {
    void operator()(ZuDevice *d) const { ZuDevice::Free(d); }
};
using DevicePtr = std::unique_ptr<ZuDevice, Freer>;

DevicePtr Connect(const std::string &aText, ZuResult *aResult = nullptr)
{
    ZuResult r;
    DevicePtr d(ZuDevice::CreateAndConnect(ZuString(aText.c_str()), &r));
    if (aResult) *aResult = r;
    EXPECT_TRUE(r.IsOK() || aResult) << aText << ": " << r.GetDescription().Narrow();
    return d;
}

ZuDeviceGEV *Gev(const DevicePtr &d)
{
    return dynamic_cast<ZuDeviceGEV *>(d.get());
}

int64_t Integer(ZuDevice &d, const char *aName)
{
    int64_t v = -1;
    EXPECT_TRUE(d.GetParameters()->GetIntegerValue(ZuString(aName), v).IsOK()) << aName;
    return v;
}

// Counts what reaches it, and on which thread.
struct Recorder : ZuDeviceEventSink {
    std::mutex lock;
    std::vector<std::string> events;
    std::vector<std::vector<uint8_t>> data;
    std::set<std::thread::id> threads;
    std::atomic<int> reads{0}, writes{0};
    Flag lost, got;
    size_t want = 1;

    std::atomic<int> losses{0};
    void OnLinkDisconnected(ZuDevice *) override
    {
        ++losses;
        lost.Set();
    }
    void OnEvent(ZuDevice *, uint16_t aId, uint16_t, uint64_t, uint64_t, const void *aData, uint32_t aLength) override
    {
        std::lock_guard<std::mutex> l(lock);
        events.push_back("event " + std::to_string(aId));
        auto p = static_cast<const uint8_t *>(aData);
        data.emplace_back(p, p + aLength);
        threads.insert(std::this_thread::get_id());
    }
    void OnEventGenICam(ZuDevice *, uint16_t aId, uint16_t, uint64_t, uint64_t, ZuGenParameterList *aList) override
    {
        std::lock_guard<std::mutex> l(lock);
        std::string names;
        for (uint32_t k = 0; aList && k < aList->GetSize(); ++k) {
            ZuString n;
            aList->GetItem(k)->GetName(n);
            names += " " + n.Narrow();
        }
        events.push_back("genicam " + std::to_string(aId) + (aList ? names : " none"));
        if (events.size() >= 2 * want) got.Set();
    }
    void OnCmdLinkRead(const void *, int64_t, int64_t) override
    {
        ++reads;
        std::lock_guard<std::mutex> l(lock);
        threads.insert(std::this_thread::get_id());
    }
    void OnCmdLinkWrite(const void *, int64_t, int64_t) override { ++writes; }
};

} // namespace

TEST(ZuDeviceGEV, ConnectsByAddressAndReadsIdentityAndFeatures)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.0.81", 0x81);
    DevicePtr d = Connect("127.0.0.81");
    ASSERT_TRUE(d);
    ZuDeviceGEV *g = Gev(d);
    ASSERT_TRUE(g);
    EXPECT_EQ(d->GetType(), ZuDeviceTypeGEV);
    EXPECT_TRUE(d->IsConnected());
    EXPECT_EQ(g->GetIPAddress().Narrow(), "127.0.0.81");
    EXPECT_EQ(g->GetMACAddress().Narrow(), "02:00:00:00:07:81");
    EXPECT_EQ(g->GetAccessType(), ZuAccessControl);
    EXPECT_EQ(g->GetClass(), ZuDeviceClassTransmitter);
    ZuString id;
    ASSERT_TRUE(d->GetUniqueID(id).IsOK());
    EXPECT_EQ(id.Narrow(), "02:00:00:00:07:81");
    ZuString name;
    ASSERT_TRUE(d->GetDefaultGenICamXMLFilename(name).IsOK());
    EXPECT_EQ(name.Narrow(), "gev_device.xml");

    EXPECT_EQ(Integer(*d, "Width"), 640);
    EXPECT_EQ(d->GetPayloadSize(), 640u * 480u);
    ASSERT_TRUE(d->GetParameters()->SetEnumValue(ZuString("PixelFormat"), ZuString("Mono16")).IsOK());
    EXPECT_EQ(dev.ram.Word(0x10008), 0x01100007u);
    EXPECT_EQ(d->GetPayloadSize(), 640u * 480u * 2);
    ZuString vendor;
    ASSERT_TRUE(d->GetParameters()->GetStringValue(ZuString("DeviceVendorName"), vendor).IsOK());
    EXPECT_EQ(vendor.Narrow(), "tarn");

    uint32_t value = 0;
    ASSERT_TRUE(g->ReadRegister(reg::ControlChannelPrivilege, value).IsOK());
    EXPECT_EQ(value, CCP_CONTROL);
    ASSERT_TRUE(g->WriteRegister(0x10020, 0xFFFFFFFF).IsOK());
    ASSERT_TRUE(g->ReadRegister(0x10020, value).IsOK());
    EXPECT_EQ(value, 0xFFFFFFFFu);

    // Memory round trip across several packets, and what no packet may carry.
    std::vector<uint8_t> out(1500), in(1500);
    for (size_t k = 0; k < out.size() - out.size() % 4; ++k) out[k] = uint8_t(k * 13);
    ASSERT_TRUE(d->WriteMemory(0x11000, out.data(), 1500 - 1500 % 4).IsOK());
    ASSERT_TRUE(d->ReadMemory(0x11000, in.data(), 1500 - 1500 % 4).IsOK());
    EXPECT_EQ(in, out);
    EXPECT_EQ(d->ReadMemory(0x11001, in.data(), 4).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(d->ReadMemory(-4, in.data(), 4).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(d->ReadMemory(0x11000, in.data(), 0).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(d->ReadMemory(0x11000, nullptr, 4).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
}

TEST(ZuDeviceGEV, ConnectsByMacAndByNameThroughDiscovery)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.0.82", 0x82);
    ZuResult r;
    DevicePtr byMac = Connect("02:00:00:00:07:82", &r);
    ASSERT_TRUE(byMac) << r.GetDescription().Narrow();
    EXPECT_EQ(Gev(byMac)->GetIPAddress().Narrow(), "127.0.0.82");
    byMac.reset();
    DevicePtr byName = Connect("dev130", &r);  // 0x82
    ASSERT_TRUE(byName) << r.GetDescription().Narrow();
    byName.reset();
    DevicePtr none = Connect("nobody", &r);
    EXPECT_FALSE(none);
    EXPECT_EQ(r.GetCode(), uint32_t(ZU_NOT_FOUND));
    EXPECT_FALSE(Connect("", &r));
    EXPECT_EQ(r.GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(ZuDevice::CreateAndConnect(static_cast<const ZuDeviceInfo *>(nullptr), &r), nullptr);
    EXPECT_EQ(r.GetCode(), uint32_t(ZU_INVALID_PARAMETER));
}

TEST(ZuDeviceGEV, OneControllerHoldsTheDeviceAndOthersOnlyRead)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.0.83", 0x83);
    DevicePtr first = Connect("127.0.0.83");
    ASSERT_TRUE(first);
    ZuResult r;
    DevicePtr second = Connect("127.0.0.83", &r);
    EXPECT_FALSE(second);
    EXPECT_EQ(r.GetCode(), uint32_t(ZU_GENERIC_ERROR));
    ZuAccessType access = ZuAccessUnknown;
    ASSERT_TRUE(ZuDeviceGEV::GetAccessType(ZuString("127.0.0.83"), access).IsOK());
    EXPECT_EQ(access, ZuAccessControl);

    // Open access beside it: features read, writes refused.
    ZuDeviceGEV monitor;
    ASSERT_TRUE(monitor.Connect(ZuString("127.0.0.83"), ZuAccessOpen).IsOK());
    EXPECT_EQ(monitor.GetAccessType(), ZuAccessOpen);
    EXPECT_EQ(Integer(monitor, "Width"), 640);
    EXPECT_FALSE(monitor.GetParameters()->SetIntegerValue(ZuString("Width"), 320).IsOK());
    EXPECT_EQ(monitor.WriteRegister(0x10000, 320).GetCode(), uint32_t(ZU_GENERIC_ERROR));
    EXPECT_EQ(dev.ram.Word(0x10000), 640u);
    monitor.Disconnect();

    // Exclusive: the monitor cannot even read the identity.
    first.reset();
    ZuDeviceGEV exclusive;
    ASSERT_TRUE(exclusive.Connect(ZuString("127.0.0.83"), ZuAccessExclusive).IsOK());
    ASSERT_TRUE(ZuDeviceGEV::GetAccessType(ZuString("127.0.0.83"), access).IsOK());
    EXPECT_EQ(access, ZuAccessExclusive);
    EXPECT_FALSE(monitor.Connect(ZuString("127.0.0.83"), ZuAccessOpen).IsOK());
    // Disconnecting gives control back.
    exclusive.Disconnect();
    EXPECT_FALSE(exclusive.IsConnected());
    ASSERT_TRUE(ZuDeviceGEV::GetAccessType(ZuString("127.0.0.83"), access).IsOK());
    EXPECT_EQ(access, ZuAccessOpen);
    EXPECT_EQ(dev.GetServer().Stats().sessionsClosed, 2u);
}

TEST(ZuDeviceGEV, HeartbeatKeepsControlAndLinkLossIsReported)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.0.84", 0x84);
    ZuDeviceGEV d;
    // A second: a heartbeat every third of it keeps control even when a
    // loaded machine holds its thread back for half a second.
    ASSERT_TRUE(d.GetCommunicationParameters()->SetIntegerValue(ZuString("HeartbeatTimeout"), 1000).IsOK());
    ASSERT_TRUE(d.GetCommunicationParameters()->SetIntegerValue(ZuString("AnswerTimeout"), 100).IsOK());
    ASSERT_TRUE(d.Connect(ZuString("127.0.0.84")).IsOK());
    EXPECT_EQ(dev.ram.Word(0x10000), 640u);
    uint32_t timeout = 0;
    ASSERT_TRUE(d.ReadRegister(reg::HeartbeatTimeout, timeout).IsOK());
    EXPECT_EQ(timeout, 1000u);
    Recorder sink;
    ASSERT_TRUE(d.RegisterEventSink(&sink).IsOK());
    // Silent for three heartbeat time-outs: the heartbeat keeps control.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    EXPECT_TRUE(dev.GetServer().Controller());
    EXPECT_EQ(dev.GetServer().Stats().heartbeatFailedCount, 0u);

    // The device stops answering: the sink hears of it, the device is
    // no longer connected, and everything says so.
    dev.udp->Stop();
    ASSERT_TRUE(sink.lost.Wait());
    EXPECT_FALSE(d.IsConnected());
    uint32_t v = 0;
    EXPECT_EQ(d.ReadRegister(0x10000, v).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    EXPECT_EQ(d.GetParameters(), nullptr);
    EXPECT_TRUE(d.Disconnect().IsOK());
    d.UnregisterEventSink(&sink);
}

TEST(ZuDeviceGEV, ADeviceThatRestartedOrWasTakenOverIsALostLink)
{
    NEEDS_NETNS();
    // The device comes back well within the heartbeat time-out and answers
    // every read: only the privilege it reports tells that it is not ours.
    struct Case {
        const char *name;
        ZuAccessType ours;
        bool takenOver;
        ZuAccessType theirs;
    };
    const Case cases[] = {
        {"restarted", ZuAccessControl, false, ZuAccessControl},
        // Taken exclusively, the device refuses even to read the privilege to us.
        {"taken exclusively", ZuAccessControl, true, ZuAccessExclusive},
        // Ours exclusively: another's plain control is not ours either.
        {"held exclusively, restarted and taken in control", ZuAccessExclusive, true, ZuAccessControl},
    };
    TestDevice dev("127.0.3.1", 0x31);
    for (const Case &c : cases) {
        ZuDeviceGEV d;
        Recorder sink;
        ASSERT_TRUE(d.GetCommunicationParameters()->SetIntegerValue(ZuString("HeartbeatTimeout"), 6000).IsOK());
        ASSERT_TRUE(d.Connect(ZuString("127.0.3.1"), c.ours).IsOK()) << c.name;
        ASSERT_TRUE(d.RegisterEventSink(&sink).IsOK());
        // Past the heartbeat's first read; the next comes two seconds on.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        dev.Restart();
        ZuDeviceGEV other;
        if (c.takenOver) {
            ASSERT_TRUE(other.Connect(ZuString("127.0.3.1"), c.theirs).IsOK()) << c.name;
        }
        ASSERT_TRUE(sink.lost.Wait()) << c.name;
        EXPECT_FALSE(d.IsConnected());
        uint32_t v = 0;
        EXPECT_EQ(d.ReadRegister(0x10000, v).GetCode(), uint32_t(ZU_NOT_CONNECTED));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(sink.losses.load(), 1);
        // Whoever holds the device now keeps it.
        EXPECT_EQ(bool(dev.GetServer().Controller()), c.takenOver) << c.name;
        if (c.takenOver) {
            EXPECT_TRUE(other.IsConnected()) << c.name;
        }
        d.UnregisterEventSink(&sink);
    }
}

TEST(ZuDeviceGEV, EventsReachSinksRawAndThroughTheNodeMap)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.0.85", 0x85);
    DevicePtr d = Connect("127.0.0.85");
    ASSERT_TRUE(d);
    Recorder sink;
    sink.want = 2;
    ASSERT_TRUE(d->RegisterEventSink(&sink).IsOK());
    // An event from another address is no event of the device's: it goes
    // before the device's own, which still arrive alone.
    int64_t port = 0, host = 0;
    ASSERT_TRUE(d->GetCommunicationParameters()->GetIntegerValue(ZuString("MessagingChannelPort"), port).IsOK());
    ASSERT_TRUE(d->GetCommunicationParameters()->GetIntegerValue(ZuString("HostIPAddress"), host).IsOK());
    uint32_t elsewhere = 0;
    parseIPv4("127.0.3.21", elsewhere);
    auto impostor = tarn::net::UdpSocket::Bind({elsewhere, 0}, {});
    EventCmd forged;
    forged.events.resize(1);
    forged.events[0].eventId = 0x7777;
    const Bytes packet = forged.Encode(1);
    ASSERT_TRUE(impostor.SendTo(packet.data(), packet.size(), {uint32_t(host), uint16_t(port)}));
    Event e;
    e.eventId = 0x9001;
    Bytes frame{0, 0, 0, 42};
    ASSERT_TRUE(dev.udp->PostEvent(e, &frame));
    e.eventId = 0x1234;
    ASSERT_TRUE(dev.udp->PostEvent(e));
    ASSERT_TRUE(sink.got.Wait());
    ASSERT_TRUE(d->WaitForMessagingChannelIdle(5000).IsOK());
    std::lock_guard<std::mutex> l(sink.lock);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"event 36865", "genicam 36865 EventExposureEndFrameID",
                                                     "event 4660", "genicam 4660 none"}));
    EXPECT_EQ(sink.data[0], frame);
    EXPECT_TRUE(sink.data[1].empty());
    EXPECT_EQ(Integer(*d, "EventExposureEndFrameID"), 42);
    EXPECT_EQ(sink.threads.count(std::this_thread::get_id()), 0u);
    // Acknowledged: the device sent each once. It hears the last
    // acknowledge on its own thread, a moment after the sink's call.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (dev.GetServer().PendingEvents() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(dev.GetServer().Stats().eventRetriesIssued, 0u);
    EXPECT_EQ(dev.GetServer().PendingEvents(), 0u);
    sink.events.clear();
}

TEST(ZuDeviceGEV, PortReadsAndWritesAreReportedOnTheCallingThread)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.0.86", 0x86);
    DevicePtr d = Connect("127.0.0.86");
    ASSERT_TRUE(d);
    Recorder sink;
    ASSERT_TRUE(d->RegisterEventSink(&sink).IsOK());
    ASSERT_TRUE(d->GetParameters()->InvalidateCache().IsOK());
    Integer(*d, "Height");
    EXPECT_GE(sink.reads.load(), 1);
    {
        std::lock_guard<std::mutex> l(sink.lock);
        EXPECT_EQ(sink.threads.count(std::this_thread::get_id()), 1u);
    }
    ASSERT_TRUE(d->GetParameters()->SetIntegerValue(ZuString("Height"), 240).IsOK());
    EXPECT_EQ(sink.writes.load(), 1);
    EXPECT_EQ(dev.ram.Word(0x10004), 240u);
    ASSERT_TRUE(d->UnregisterEventSink(&sink).IsOK());
    EXPECT_EQ(d->UnregisterEventSink(&sink).GetCode(), uint32_t(ZU_NOT_FOUND));
    ASSERT_TRUE(d->GetParameters()->SetIntegerValue(ZuString("Height"), 120).IsOK());
    EXPECT_EQ(sink.writes.load(), 1);
}

namespace {

// A sink that throws from its read callback, as a failing director does.
struct Thrower : ZuDeviceEventSink {
    void OnCmdLinkRead(const void *, int64_t, int64_t) override { throw std::runtime_error("sink failed"); }
};

// A sink that blocks in its callback until told to return; the flags live
// outside it, so that they outlive it.
struct Gate {
    Flag entered, release;
    std::atomic<bool> returned{false};
    std::atomic<int> calls{0};
};
struct Blocker : ZuDeviceEventSink {
    Gate &gate;
    explicit Blocker(Gate &aGate) : gate(aGate) {}
    // A derived sink leaves first, so that no call reaches it half destroyed.
    ~Blocker() override { LeaveDevices(); }
    void OnEvent(ZuDevice *, uint16_t, uint16_t, uint64_t, uint64_t, const void *, uint32_t) override
    {
        ++gate.calls;
        gate.entered.Set();
        gate.release.Wait();
        gate.returned = true;
    }
};

// A sink that leaves its device from inside its own callback.
struct Leaver : ZuDeviceEventSink {
    ZuDevice *device = nullptr;
    Flag done;
    ZuResult result;
    std::atomic<int> calls{0};
    void OnEvent(ZuDevice *, uint16_t, uint16_t, uint64_t, uint64_t, const void *, uint32_t) override
    {
        ++calls;
        result = device->UnregisterEventSink(this);
        done.Set();
    }
};

} // namespace

TEST(ZuDeviceEventSink, LeavingWaitsForACallInProgressAndASinkMayLeaveFromItsCall)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.0.87", 0x87);
    DevicePtr d = Connect("127.0.0.87");
    ASSERT_TRUE(d);

    // An exception thrown on the reading thread reaches the reader, and the
    // sink is released for its next call.
    Thrower thrower;
    ASSERT_TRUE(d->RegisterEventSink(&thrower).IsOK());
    d->GetParameters()->InvalidateCache();
    int64_t v = 0;
    EXPECT_THROW(d->GetParameters()->GetIntegerValue(ZuString("Width"), v), std::runtime_error);
    ASSERT_TRUE(d->UnregisterEventSink(&thrower).IsOK());

    // A sink destroyed during its own call: the destruction waits for the call.
    Gate gate;
    auto blocker = std::make_unique<Blocker>(gate);
    ASSERT_TRUE(d->RegisterEventSink(blocker.get()).IsOK());
    ASSERT_TRUE(dev.udp->PostEvent(Event{}));
    ASSERT_TRUE(gate.entered.Wait());
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        blocker.reset();
        destroyed = true;
        EXPECT_TRUE(gate.returned);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(destroyed);
    gate.release.Set();
    destroyer.join();
    EXPECT_TRUE(destroyed);
    // Gone from the device: another event reaches no one.
    ASSERT_TRUE(dev.udp->PostEvent(Event{}));
    ASSERT_TRUE(d->WaitForMessagingChannelIdle(5000).IsOK());
    EXPECT_EQ(gate.calls, 1);

    // A sink leaving from its own call does not wait for itself.
    Leaver leaver;
    leaver.device = d.get();
    ASSERT_TRUE(d->RegisterEventSink(&leaver).IsOK());
    ASSERT_TRUE(dev.udp->PostEvent(Event{}));
    ASSERT_TRUE(leaver.done.Wait());
    EXPECT_TRUE(leaver.result.IsOK());
    ASSERT_TRUE(dev.udp->PostEvent(Event{}));
    ASSERT_TRUE(d->WaitForMessagingChannelIdle(5000).IsOK());
    EXPECT_EQ(leaver.calls, 1);
    EXPECT_EQ(d->RegisterEventSink(nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
}

TEST(ZuDeviceGEV, SlowWritesArePendingNotRetried)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.0.88", 0x88);
    dev.ram.slowMs = 600;
    ZuDeviceGEV d;
    auto *comm = d.GetCommunicationParameters();
    ASSERT_TRUE(comm->SetIntegerValue(ZuString("AnswerTimeout"), 150).IsOK());
    ASSERT_TRUE(comm->SetIntegerValue(ZuString("CommandRetryCount"), 0).IsOK());
    ASSERT_TRUE(d.Connect(ZuString("127.0.0.88")).IsOK());
    ZuResult r = d.GetParameters()->SetIntegerValue(ZuString("SlowRegister"), 77);
    EXPECT_TRUE(r.IsOK()) << r.GetDescription().Narrow();
    EXPECT_EQ(dev.ram.Word(0x10100), 77u);
    int64_t pending = 0, retries = -1;
    ASSERT_TRUE(comm->GetIntegerValue(ZuString("PendingAcknowledges"), pending).IsOK());
    ASSERT_TRUE(comm->GetIntegerValue(ZuString("CommandRetries"), retries).IsOK());
    EXPECT_EQ(pending, 1);
    EXPECT_EQ(retries, 0);
    EXPECT_EQ(dev.GetServer().Stats().pendingAcksIssued, 1u);
}

TEST(ZuDeviceGEV, FreeFromAnotherThreadEndsARequestWaitingOnASlowDevice)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.3.2", 0x32);
    dev.ram.slowMs = 60000;  // announced with PENDING_ACK, far beyond any wait here
    ZuResult r;
    ZuDevice *d = ZuDevice::CreateAndConnect(ZuString("127.0.3.2"), &r);
    ASSERT_TRUE(r.IsOK()) << r.GetDescription().Narrow();
    auto *comm = d->GetCommunicationParameters();
    ASSERT_TRUE(comm->SetIntegerValue(ZuString("AnswerTimeout"), 100).IsOK());
    ASSERT_TRUE(comm->SetIntegerValue(ZuString("CommandTimeout"), 600000).IsOK());
    ZuGenParameterArray *features = d->GetParameters();
    auto writing = std::async(std::launch::async, [&] { return features->SetIntegerValue(ZuString("SlowRegister"), 77); });
    for (int k = 0; k < 1000 && dev.GetServer().Stats().pendingAcksIssued == 0; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(dev.GetServer().Stats().pendingAcksIssued, 1u);
    auto freeing = std::async(std::launch::async, [d] { ZuDevice::Free(d); });
    // Both end at once; if they do not, the device is hurried so that the
    // test still ends, failed.
    const bool freed = freeing.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    const bool ended = writing.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    EXPECT_TRUE(freed);
    EXPECT_TRUE(ended);
    dev.ram.Hurry();
    freeing.get();
    EXPECT_EQ(writing.get().GetCode(), uint32_t(ZU_NOT_CONNECTED));
}

TEST(ZuDeviceGEV, AControlConnectionThatLeadsNowhereLeavesTheControllerOnUdp)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.3.3", 0x33);
    uint32_t ip = 0;
    parseIPv4("127.0.3.3", ip);
    // The device offers control over TCP at a port that takes connections,
    // then closes each at once (as a device with no room left does) or
    // keeps it without a word.
    for (bool closes : {true, false}) {
        tarn::net::TcpListener listener = tarn::net::TcpListener::Listen({ip, 0});
        ASSERT_TRUE(listener.Valid());
        tarn::gev::TcpAdvertisement offer;
        offer.controlPort = listener.Local().port;
        const auto block = offer.Encode();
        for (size_t k = 0; k < block.size(); k += 4)
            dev.ram.SetWord(tarn::gev::tcpreg::Advertisement + uint32_t(k),
                            (uint32_t(block[k]) << 24) | (uint32_t(block[k + 1]) << 16) | (uint32_t(block[k + 2]) << 8) | block[k + 3]);
        std::atomic<bool> done{false};
        std::vector<tarn::net::TcpConnection> kept;
        std::thread peer([&] {
            while (!done) {
                tarn::net::TcpConnection c = listener.Accept();
                if (c.Valid() && !closes) kept.push_back(std::move(c));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        ZuDeviceGEV d;
        ASSERT_TRUE(d.GetCommunicationParameters()->SetIntegerValue(ZuString("AnswerTimeout"), 200).IsOK());
        ZuResult r = d.Connect(ZuString("127.0.3.3"));
        EXPECT_TRUE(r.IsOK()) << closes << ": " << r.GetDescription().Narrow();
        if (r.IsOK()) {
            EXPECT_EQ(Integer(d, "Width"), 640);
            EXPECT_TRUE(d.WriteRegister(0x10020, 5).IsOK());
            EXPECT_EQ(dev.ram.Word(0x10020), 5u);
            EXPECT_TRUE(d.Disconnect().IsOK());
            EXPECT_FALSE(dev.GetServer().Controller());
        }
        done = true;
        peer.join();
    }
}

TEST(ZuDeviceGEV, StreamChannelRegistersAndPacketSizeNegotiation)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.0.89", 0x89, [](ServerConfig &c) { c.testPacketLimit = 3000; });
    DevicePtr d = Connect("127.0.0.89");
    ASSERT_TRUE(d);
    ZuDeviceGEV *g = Gev(d);
    ASSERT_TRUE(g->SetStreamDestination(ZuString("127.0.0.1"), 50000).IsOK());
    StreamChannel ch = dev.GetServer().GetStreamChannel(0);
    EXPECT_EQ(ch.destination.ip, 0x7F000001u);
    EXPECT_EQ(ch.destination.port, 50000);
    EXPECT_EQ(Integer(*d, "GevSCPHostPort"), 50000);
    EXPECT_EQ(g->SetStreamDestination(ZuString("127.0.0.1"), 1, 1).GetCode(), uint32_t(ZU_NOT_FOUND));
    EXPECT_EQ(g->SetStreamDestination(ZuString("no address"), 1).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    ASSERT_TRUE(g->ResetStreamDestination().IsOK());
    EXPECT_EQ(dev.GetServer().GetStreamChannel(0).destination.port, 0);

    ASSERT_TRUE(g->SetPacketSize(1400).IsOK());
    EXPECT_EQ(dev.GetServer().GetStreamChannel(0).packetSize, 1400u);
    EXPECT_EQ(g->SetPacketSize(1400, 3).GetCode(), uint32_t(ZU_NOT_FOUND));

    // 9000 and 4000 are lost on the way; 2000 - 24 arrives.
    ZuResult r = g->NegotiatePacketSize();
    ASSERT_TRUE(r.IsOK()) << r.GetDescription().Narrow();
    EXPECT_EQ(dev.GetServer().GetStreamChannel(0).packetSize, 1976u);
    EXPECT_EQ(dev.GetServer().GetStreamChannel(0).destination.port, 0);  // reset after the test
    EXPECT_EQ(dev.GetServer().Stats().gvspTestPacketsIssued, 4u);
}

TEST(ZuDeviceGEV, WhatCameFromAFreedDeviceAnswersNotConnected)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.0.90", 0x90);
    DevicePtr d = Connect("127.0.0.90");
    ASSERT_TRUE(d);
    auto params = tarn::DeviceBinding::ShareParameters(*d, d->GetParameters());
    auto comm = tarn::DeviceBinding::ShareParameters(*d, d->GetCommunicationParameters());
    ASSERT_TRUE(params && comm);
    ZuGenParameterArray other;
    EXPECT_FALSE(tarn::DeviceBinding::ShareParameters(*d, &other));
    ZuDeviceAdapter adapter(d.get());
    EXPECT_TRUE(adapter.IsConnected());
    EXPECT_TRUE(adapter.IsGigEVision());
    int64_t w = 0;
    ASSERT_TRUE(adapter.GetGenIntegerValue(ZuString("Width"), w).IsOK());
    EXPECT_EQ(w, 640);

    // What a binding held for it (a sink's owner) goes once it is freed.
    auto owner = std::make_shared<int>(1);
    ZuDeviceEventSink sink;
    ASSERT_TRUE(d->RegisterEventSink(&sink).IsOK());
    tarn::Holds::Keep(dynamic_cast<const void *>(d.get()), tarn::Holds::kSinks, &sink, owner, true);
    EXPECT_EQ(owner.use_count(), 2);

    d.reset();
    EXPECT_EQ(owner.use_count(), 1);
    // The features are no longer available, and say so.
    params->InvalidateCache();
    EXPECT_EQ(params->GetIntegerValue(ZuString("Width"), w).GetCode(), uint32_t(ZU_STATE_ERROR));
    bool readable = true;
    ASSERT_TRUE(params->GetInteger(ZuString("Width"))->IsReadable(readable).IsOK());
    EXPECT_FALSE(readable);
    EXPECT_TRUE(comm->GetIntegerValue(ZuString("HeartbeatTimeout"), w).IsOK());
    EXPECT_FALSE(adapter.IsConnected());
    EXPECT_EQ(adapter.GetGenIntegerValue(ZuString("Width"), w).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    uint32_t v = 0;
    EXPECT_EQ(adapter.ReadRegister(0x10000, v).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    ZuString id;
    EXPECT_EQ(adapter.GetUniqueID(id).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    // The control went back with the device.
    EXPECT_FALSE(dev.GetServer().Controller());
}

TEST(ZuDeviceGEV, ForceIpMovesAFreeDeviceOnly)
{
    NEEDS_NETNS();
    TestDevice dev("127.0.0.91", 0x91);
    EXPECT_EQ(ZuDeviceGEV::SetIPConfiguration(ZuString("02:00:00:00:07:91"), ZuString("1.2.3")).GetCode(),
              uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(ZuDeviceGEV::SetIPConfiguration(ZuString("02:00:00:00:07"), ZuString("127.0.0.92")).GetCode(),
              uint32_t(ZU_INVALID_PARAMETER));
    {
        DevicePtr d = Connect("127.0.0.91");
        ASSERT_TRUE(d);
        EXPECT_EQ(ZuDeviceGEV::SetIPConfiguration(ZuString("02:00:00:00:07:91"), ZuString("127.0.0.92")).GetCode(),
                  uint32_t(ZU_GENERIC_ERROR));
    }
    ZuResult r = ZuDeviceGEV::SetIPConfiguration(ZuString("02:00:00:00:07:91"), ZuString("127.0.0.92"));
    ASSERT_TRUE(r.IsOK()) << r.GetDescription().Narrow();
    EXPECT_EQ(dev.GetServer().Identity().ip, 0x7F00005Cu);
    EXPECT_EQ(dev.GetServer().Identity().subnetMask, 0xFFFFFF00u);
    DevicePtr moved = Connect("127.0.0.92");
    EXPECT_TRUE(moved);
    EXPECT_EQ(ZuDeviceGEV::SetIPConfiguration(ZuString("02:00:00:00:07:99"), ZuString("127.0.0.93")).GetCode(),
              uint32_t(ZU_TIMEOUT));
}

TEST(ZuDevice, PrioritiesOtherKindsAndTheCommunicationParameters)
{
    ZuDeviceGEV d;
    EXPECT_FALSE(d.IsConnected());
    EXPECT_EQ(d.GetAccessType(), ZuAccessUnknown);
    EXPECT_EQ(d.GetClass(), ZuDeviceClassTransmitter);
    EXPECT_EQ(d.GetIPAddress().Narrow(), "");
    EXPECT_EQ(d.GetPayloadSize(), 0u);
    EXPECT_EQ(d.GetParameters(), nullptr);
    ZuString id;
    EXPECT_EQ(d.GetUniqueID(id).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    EXPECT_EQ(d.StreamEnable().GetCode(), uint32_t(ZU_NOT_CONNECTED));
    EXPECT_EQ(d.WaitForMessagingChannelIdle(10).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    EXPECT_EQ(d.Connect(ZuString("127.0.0.1"), ZuAccessType(7)).GetCode(), uint32_t(ZU_INVALID_PARAMETER));

    EXPECT_EQ(d.SetHeartbeatThreadPriority(100).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(d.GetHeartbeatThreadPriority(), 0u);
    ZuResult r = d.SetInterruptQueueThreadPriority(10);
    EXPECT_TRUE(r.IsOK() || r.GetCode() == ZU_THREAD_ERROR);
    EXPECT_EQ(d.GetInterruptQueueThreadPriority(), r.IsOK() ? 10u : 0u);
    EXPECT_TRUE(d.SetInterruptLinkThreadPriority(0).IsOK());

    // The settings outlive connections and are range-checked.
    auto *comm = d.GetCommunicationParameters();
    ASSERT_NE(comm, nullptr);
    EXPECT_FALSE(comm->SetIntegerValue(ZuString("HeartbeatTimeout"), 100).IsOK());
    ASSERT_TRUE(comm->SetIntegerValue(ZuString("HeartbeatTimeout"), 5000).IsOK());
    int64_t v = 0;
    ASSERT_TRUE(comm->GetIntegerValue(ZuString("HeartbeatTimeout"), v).IsOK());
    EXPECT_EQ(v, 5000);
    EXPECT_FALSE(comm->SetIntegerValue(ZuString("CommandCount"), 1).IsOK());
    ASSERT_TRUE(comm->GetIntegerValue(ZuString("CommandTimeout"), v).IsOK());
    EXPECT_EQ(v, 10000);
    EXPECT_FALSE(comm->SetIntegerValue(ZuString("CommandTimeout"), 50).IsOK());
    ASSERT_TRUE(comm->SetIntegerValue(ZuString("CommandTimeout"), 2500).IsOK());
    ASSERT_TRUE(comm->GetIntegerValue(ZuString("CommandTimeout"), v).IsOK());
    EXPECT_EQ(v, 2500);
    ASSERT_TRUE(comm->GetIntegerValue(ZuString("AnswerTimeout"), v).IsOK());
    EXPECT_EQ(v, 500);

    ZuDeviceU3V u;
    EXPECT_EQ(u.GetType(), ZuDeviceTypeU3V);
    EXPECT_EQ(u.Connect(ZuString("1234-5678")).GetCode(), uint32_t(ZU_NOT_FOUND));
    EXPECT_EQ(u.Connect(static_cast<const ZuDeviceInfo *>(nullptr)).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_FALSE(u.IsConnected());
    EXPECT_EQ(u.GetGUID().Narrow(), "");
    ZuDeviceAdapter overU3V(&u);
    uint32_t reg = 0;
    EXPECT_EQ(overU3V.ReadRegister(0, reg).GetCode(), uint32_t(ZU_NOT_IMPLEMENTED));
    EXPECT_TRUE(overU3V.IsUSB3Vision());
    EXPECT_EQ(ZuDeviceMorvekProtocol::SetIPConfiguration(ZuString("02:00:00:00:00:01"), ZuString("10.0.0.1")).GetCode(),
              uint32_t(ZU_NOT_FOUND));
    ZuDeviceAdapter overNothing(nullptr);
    EXPECT_FALSE(overNothing.IsConnected());
}
