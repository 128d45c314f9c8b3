#include "gvcpserver/udp_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <thread>

using namespace tarn::gvcp;
using namespace tarn::gvcpserver;
using tarn::net::Endpoint;
using std::chrono::milliseconds;

namespace {

const Endpoint kA{0x7F000001, 5001};
const Endpoint kB{0x7F000002, 5002};
const uint32_t kRam = 0x20000;
const uint32_t kSlow = 0x20100;

// Registers of the device's own: a block of memory that counts its writes.
class Ram : public DeviceMemory
{
public:
    std::map<uint32_t, uint32_t> writes;  // address -> count
    uint8_t bytes[0x1000] = {};
    uint32_t slowMs = 0;

    Status Read(uint32_t address, uint8_t *data, uint32_t count) override
    {
        if (address < kRam || address - kRam + uint64_t(count) > sizeof bytes) return STATUS_INVALID_ADDRESS;
        std::memcpy(data, bytes + (address - kRam), count);
        return STATUS_SUCCESS;
    }
    Status Write(uint32_t address, const uint8_t *data, uint32_t count) override
    {
        if (address < kRam || address - kRam + uint64_t(count) > sizeof bytes) return STATUS_INVALID_ADDRESS;
        std::memcpy(bytes + (address - kRam), data, count);
        ++writes[address];
        return STATUS_SUCCESS;
    }
    uint32_t WriteTime(uint32_t address, uint32_t count) override
    {
        return address <= kSlow && kSlow - address < count ? slowMs : 0;
    }
};

struct Sent {
    Bytes packet;
    Endpoint to;
};

class Recorder : public ServerOutput, public ServerListener
{
public:
    std::vector<Sent> control, messages, tests;
    std::vector<uint32_t> addresses;
    std::vector<std::string> notes;
    std::vector<uint32_t> configurations;  // of each channel note

    void SendControl(const Bytes &p, const Endpoint &to) override { control.push_back({p, to}); }
    void SendMessage(const Bytes &p, const Endpoint &to) override { messages.push_back({p, to}); }
    void SendTestPacket(uint32_t, size_t size, bool, const Endpoint &to) override { tests.push_back({Bytes(size), to}); }
    void ChangeAddress(uint32_t ip) override { addresses.push_back(ip); }

    void OnControlTaken(const Endpoint &c, Access a) override
    {
        notes.push_back("taken " + std::to_string(c.port) + " " + std::to_string(int(a)));
    }
    void OnControlReleased(bool expired) override { notes.push_back(expired ? "expired" : "released"); }
    void OnNetworkReset(uint32_t ip, uint32_t, uint32_t) override { notes.push_back("reset " + formatIPv4(ip)); }
    void OnStreamChannel(uint32_t n, const StreamChannel &c) override
    {
        notes.push_back("channel " + std::to_string(n) + " " + formatIPv4(c.destination.ip) + ":" +
                        std::to_string(c.destination.port));
        configurations.push_back(c.configuration);
    }
    void OnAction(uint32_t signal, std::optional<uint64_t>) override { notes.push_back("action " + std::to_string(signal)); }
};

ServerConfig Config()
{
    ServerConfig c;
    c.identity.mac = {2, 0, 0, 0, 0, 9};
    c.identity.manufacturerName = "tarn";
    c.identity.modelName = "Unit";
    c.identity.serialNumber = "S9";
    c.identity.ip = 0x7F000009;
    c.description = Bytes{'<', 'x', 'm', 'l', '/', '>'};
    c.descriptionName = "unit.xml";
    c.descriptionAddress = 0x30000;
    return c;
}

// A server on a clock of its own, with what it sent and told.
struct Device {
    Ram ram;
    Recorder rec;
    Server server;
    Clock::time_point now = Clock::time_point{} + std::chrono::hours(1);
    uint16_t nextId = 1;

    explicit Device(ServerConfig c = Config()) : server(std::move(c), &ram, &rec) {}

    // Sends a command and returns the acknowledges it produced.
    std::vector<Ack> Send(const Bytes &cmd, const Endpoint &from = kA)
    {
        size_t before = rec.control.size();
        server.Handle(cmd.data(), cmd.size(), from, now, rec);
        std::vector<Ack> out;
        for (size_t k = before; k < rec.control.size(); ++k) {
            EXPECT_EQ(rec.control[k].to.port, from.port);
            auto ack = decodeAck(rec.control[k].packet.data(), rec.control[k].packet.size());
            EXPECT_TRUE(ack);
            if (ack) out.push_back(*ack);
        }
        return out;
    }
    Status Write(uint32_t address, uint32_t value, const Endpoint &from = kA)
    {
        auto acks = Send(WriteRegCmd{{{address, value}}}.Encode(nextId++), from);
        return acks.empty() ? 0xFFFF : acks.back().header.status;
    }
    std::pair<Status, uint32_t> Read(uint32_t address, const Endpoint &from = kA)
    {
        auto acks = Send(ReadRegCmd{{address}}.Encode(nextId++), from);
        if (acks.size() != 1) return {0xFFFF, 0};
        auto values = ReadRegAck::Decode(acks[0]);
        return {acks[0].header.status, values && values->values.size() == 1 ? values->values[0] : 0};
    }
    void Advance(int ms)
    {
        now += milliseconds(ms);
        server.Tick(now, rec);
    }
};

} // namespace

TEST(GvcpServer, BootstrapRegistersDescribeTheDeviceAndItsDescription)
{
    Device d;
    EXPECT_EQ(d.Read(reg::Version), std::make_pair(Status(STATUS_SUCCESS), 0x00020000u));
    EXPECT_EQ(d.Read(reg::MacLow).second, 0x00000009u);
    EXPECT_EQ(d.Read(reg::CurrentIPAddress).second, 0x7F000009u);
    EXPECT_EQ(d.Read(reg::HeartbeatTimeout).second, 3000u);
    uint32_t caps = d.Read(reg::GVCPCapability).second;
    EXPECT_TRUE(caps & GVCPCAP_PENDING_ACK);
    EXPECT_TRUE(caps & GVCPCAP_EVENTDATA);
    EXPECT_TRUE(caps & GVCPCAP_WRITEMEM);

    auto url = d.Send(ReadMemCmd{reg::FirstURL, 32}.Encode(9));
    ASSERT_EQ(url.size(), 1u);
    auto text = ReadMemAck::Decode(url[0]);
    ASSERT_TRUE(text);
    EXPECT_STREQ(reinterpret_cast<const char *>(text->data.data()), "Local:unit.xml;30000;6");

    // The description: its bytes, then zeros to the end of the last register.
    auto xml = d.Send(ReadMemCmd{0x30000, 8}.Encode(10));
    ASSERT_EQ(xml[0].header.status, STATUS_SUCCESS);
    EXPECT_EQ(ReadMemAck::Decode(xml[0])->data, (Bytes{'<', 'x', 'm', 'l', '/', '>', 0, 0}));
    EXPECT_EQ(d.Send(ReadMemCmd{0x30000, 12}.Encode(11))[0].header.status, STATUS_INVALID_ADDRESS);

    // Registers of the model, read in one request with a bootstrap one.
    d.ram.bytes[4] = 0xAB;
    auto both = d.Send(ReadRegCmd{{reg::Version, kRam + 4}}.Encode(12));
    EXPECT_EQ(ReadRegAck::Decode(both[0])->values, (std::vector<uint32_t>{0x00020000, 0xAB000000}));
}

TEST(GvcpServer, RefusesBadRequestsWithTheirStatus)
{
    Device d;
    ASSERT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_CONTROL), STATUS_SUCCESS);
    struct Case {
        Bytes cmd;
        Status status;
    } cases[] = {
        {ReadRegCmd{{0x2}}.Encode(101), STATUS_BAD_ALIGNMENT},
        {ReadRegCmd{{0x0, 0xFFFFFFFC}}.Encode(102), STATUS_INVALID_ADDRESS},
        {ReadRegCmd{{0x0018}}.Encode(103), STATUS_INVALID_ADDRESS},  // reserved bootstrap word
        {ReadMemCmd{0x2, 4}.Encode(104), STATUS_BAD_ALIGNMENT},
        {ReadMemCmd{0x0, 6}.Encode(105), STATUS_BAD_ALIGNMENT},
        {ReadMemCmd{0xFFFFFFFC, 8}.Encode(106), STATUS_INVALID_ADDRESS},
        {ReadMemCmd{0, 0}.Encode(107), STATUS_INVALID_PARAMETER},
        {ReadMemCmd{0, 540}.Encode(108), STATUS_INVALID_PARAMETER},
        {WriteRegCmd{{{reg::Version, 1}}}.Encode(109), STATUS_WRITE_PROTECT},
        {WriteRegCmd{{{0x30000, 1}}}.Encode(110), STATUS_WRITE_PROTECT},
        {WriteRegCmd{{{0x40000, 1}}}.Encode(111), STATUS_INVALID_ADDRESS},
        {WriteRegCmd{{{kRam + 2, 1}}}.Encode(112), STATUS_BAD_ALIGNMENT},
        {WriteRegCmd{{{reg::MessageChannelPort, 0x10000}}}.Encode(113), STATUS_INVALID_PARAMETER},
        {encodeCommand(0x0050, FLAG_ACK_REQUIRED, 114, {}), STATUS_NOT_IMPLEMENTED},
        {WriteMemCmd{kRam, Bytes(6, 1)}.Encode(115), STATUS_INVALID_PARAMETER},
        {WriteMemCmd{kRam, Bytes(3, 1)}.Encode(116), STATUS_INVALID_PARAMETER},
    };
    for (const Case &c : cases) {
        auto acks = d.Send(c.cmd);
        ASSERT_EQ(acks.size(), 1u);
        EXPECT_EQ(acks[0].header.status, c.status) << "request " << acks[0].header.ackId;
    }
    EXPECT_TRUE(d.ram.writes.empty());
    // The largest reads and writes one packet carries are taken whole.
    auto largest = d.Send(ReadMemCmd{kRam, uint16_t(kMaxPayload - 4)}.Encode(117));
    ASSERT_EQ(largest.size(), 1u);
    EXPECT_EQ(largest[0].header.status, STATUS_SUCCESS);
    EXPECT_EQ(ReadMemAck::Decode(largest[0])->data.size(), kMaxPayload - 4);
    largest = d.Send(WriteMemCmd{kRam + 0x100, Bytes(kMaxPayload - 4, 7)}.Encode(118));
    ASSERT_EQ(largest.size(), 1u);
    EXPECT_EQ(largest[0].header.status, STATUS_SUCCESS);
    EXPECT_EQ(d.ram.bytes[0x100 + kMaxPayload - 5], 7);
    d.ram.writes.clear();
    // A WRITEREG stops at its first failure and says how far it got.
    auto partial = d.Send(WriteRegCmd{{{kRam, 1}, {kRam + 4, 2}, {0x40000, 3}, {kRam + 8, 4}}}.Encode(120));
    EXPECT_EQ(partial[0].header.status, STATUS_INVALID_ADDRESS);
    EXPECT_EQ(WriteAck::Decode(partial[0])->index, 2);
    EXPECT_EQ(d.ram.writes.count(kRam + 8), 0u);
}

TEST(GvcpServer, OneControllerAtATimeAndExclusiveAccessHidesTheDevice)
{
    Device d;
    // Without control nothing but the privilege register may be written.
    EXPECT_EQ(d.Write(kRam, 1), STATUS_ACCESS_DENIED);
    EXPECT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_CONTROL), STATUS_SUCCESS);
    EXPECT_EQ(d.server.GetAccess(), Access::Control);
    EXPECT_EQ(d.Read(reg::PrimaryApplicationPort).second, kA.port);
    EXPECT_EQ(d.Read(reg::PrimaryApplicationIPAddress).second, kA.ip);
    EXPECT_EQ(d.Write(kRam, 1), STATUS_SUCCESS);

    // Another controller may read, not write, and cannot take control.
    EXPECT_EQ(d.Read(kRam, kB).first, STATUS_SUCCESS);
    EXPECT_EQ(d.Write(kRam, 2, kB), STATUS_ACCESS_DENIED);
    EXPECT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_CONTROL, kB), STATUS_ACCESS_DENIED);
    // Same address, other port: another application.
    EXPECT_EQ(d.Write(kRam, 2, Endpoint{kA.ip, uint16_t(kA.port + 1)}), STATUS_ACCESS_DENIED);

    // Exclusive: the other cannot even read.
    EXPECT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_EXCLUSIVE), STATUS_SUCCESS);
    EXPECT_EQ(d.server.GetAccess(), Access::Exclusive);
    EXPECT_EQ(d.Read(kRam, kB).first, STATUS_ACCESS_DENIED);
    EXPECT_EQ(d.Send(ReadMemCmd{0, 8}.Encode(50), kB)[0].header.status, STATUS_ACCESS_DENIED);
    // Discovery always answers.
    EXPECT_EQ(d.Send(encodeDiscoveryCmd(51), kB).size(), 1u);

    // Released, the other takes it.
    EXPECT_EQ(d.Write(reg::ControlChannelPrivilege, 0), STATUS_SUCCESS);
    EXPECT_FALSE(d.server.Controller());
    EXPECT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_CONTROL, kB), STATUS_SUCCESS);
    EXPECT_EQ(d.Write(kRam, 3, kA), STATUS_ACCESS_DENIED);
    EXPECT_EQ(d.rec.notes, (std::vector<std::string>{"taken 5001 2", "released", "taken 5002 2"}));
    auto s = d.server.Stats();
    EXPECT_EQ(s.sessionsOpened, 2u);
    EXPECT_EQ(s.sessionsClosed, 1u);
}

TEST(GvcpServer, HeartbeatExpiryReleasesControlAndClosesChannels)
{
    Device d;
    ASSERT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_CONTROL), STATUS_SUCCESS);
    ASSERT_EQ(d.Write(reg::MessageChannelDestination, kA.ip), STATUS_SUCCESS);
    ASSERT_EQ(d.Write(reg::MessageChannelPort, 6000), STATUS_SUCCESS);
    ASSERT_EQ(d.Write(reg::StreamChannelDestination0, kA.ip), STATUS_SUCCESS);
    ASSERT_EQ(d.Write(reg::StreamChannelPort0, 7000), STATUS_SUCCESS);
    d.rec.notes.clear();

    // Any command from the controller keeps it: a read at 2.9 s, another at 5.8 s.
    d.Advance(2900);
    d.Read(reg::Version);
    d.Advance(2900);
    EXPECT_TRUE(d.server.Controller());
    // A command of another application does not.
    d.Read(reg::Version, kB);
    ASSERT_TRUE(d.server.NextDeadline());
    EXPECT_EQ(*d.server.NextDeadline(), d.now - milliseconds(2900) + milliseconds(3001));
    d.Advance(99);
    EXPECT_TRUE(d.server.Controller());
    d.Advance(2);
    EXPECT_FALSE(d.server.Controller());
    EXPECT_EQ(d.Read(reg::ControlChannelPrivilege).second, 0u);
    EXPECT_EQ(d.Read(reg::MessageChannelPort).second, 0u);
    EXPECT_FALSE(d.server.PostEvent(Event{}));
    EXPECT_EQ(d.server.GetStreamChannel(0).destination.port, 0);
    EXPECT_EQ(d.rec.notes, (std::vector<std::string>{"channel 0 0.0.0.0:0", "expired"}));
    EXPECT_EQ(d.server.Stats().heartbeatFailedCount, 1u);

    // A shorter time-out, and the heartbeat switched off.
    ASSERT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_CONTROL), STATUS_SUCCESS);
    ASSERT_EQ(d.Write(reg::HeartbeatTimeout, 500), STATUS_SUCCESS);
    d.Advance(501);
    EXPECT_FALSE(d.server.Controller());
    ASSERT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_CONTROL), STATUS_SUCCESS);
    ASSERT_EQ(d.Write(reg::GVCPConfiguration, GVCPCFG_HEARTBEAT_DISABLE), STATUS_SUCCESS);
    EXPECT_FALSE(d.server.NextDeadline());
    d.Advance(60000);
    EXPECT_TRUE(d.server.Controller());
}

TEST(GvcpServer, ARetryIsAnsweredAgainWithoutDoingTheWriteTwice)
{
    Device d;
    ASSERT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_CONTROL), STATUS_SUCCESS);
    Bytes cmd = WriteRegCmd{{{kRam, 7}}}.Encode(700);
    auto first = d.Send(cmd);
    auto again = d.Send(cmd);
    auto third = d.Send(cmd);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].header.ackId, 700);
    EXPECT_EQ(again[0].header.status, first[0].header.status);
    EXPECT_EQ(d.ram.writes[kRam], 1u);
    EXPECT_EQ(d.server.Stats().retriesReceived, 2u);
    EXPECT_EQ(d.server.Stats().retriesReceivedMax, 2u);
    // A new request id, another command under the same id, or the same one
    // from another application, is a new command.
    d.Send(WriteRegCmd{{{kRam, 7}}}.Encode(701));
    EXPECT_EQ(d.ram.writes[kRam], 2u);
    auto other = d.Send(ReadRegCmd{{reg::Version}}.Encode(701));
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].header.answer, READREG_ACK);
    EXPECT_EQ(ReadRegAck::Decode(other[0])->values, std::vector<uint32_t>{0x00020000});
    d.Write(reg::ControlChannelPrivilege, 0);
    d.Write(reg::ControlChannelPrivilege, CCP_CONTROL, kB);
    d.Send(cmd, kB);
    EXPECT_EQ(d.ram.writes[kRam], 3u);
}

TEST(GvcpServer, SlowWritesAreAnnouncedWhenTheControllerAsks)
{
    Device d;
    d.ram.slowMs = 900;
    ASSERT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_CONTROL), STATUS_SUCCESS);
    auto quiet = d.Send(WriteRegCmd{{{kSlow, 1}}}.Encode(30));
    ASSERT_EQ(quiet.size(), 1u);
    EXPECT_EQ(quiet[0].header.answer, WRITEREG_ACK);

    ASSERT_EQ(d.Write(reg::GVCPConfiguration, GVCPCFG_PENDING_ACK_ENABLE), STATUS_SUCCESS);
    auto told = d.Send(WriteRegCmd{{{kSlow, 1}}}.Encode(31));
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].header.answer, PENDING_ACK);
    EXPECT_EQ(told[0].header.ackId, 31);
    EXPECT_EQ(PendingAck::Decode(told[0])->timeToCompletionMs, 900);
    EXPECT_EQ(told[1].header.answer, WRITEREG_ACK);
    // WRITEMEM over the slow register too; a fast one is not announced.
    EXPECT_EQ(d.Send(WriteMemCmd{kSlow - 4, Bytes(12, 1)}.Encode(32)).size(), 2u);
    EXPECT_EQ(d.Send(WriteMemCmd{kRam, Bytes(8, 1)}.Encode(33)).size(), 1u);
    EXPECT_EQ(d.server.Stats().pendingAcksIssued, 2u);
    // Below the pending time-out nothing is announced.
    d.ram.slowMs = 150;
    EXPECT_EQ(d.Send(WriteRegCmd{{{kSlow, 1}}}.Encode(34)).size(), 1u);
}

TEST(GvcpServer, ForceIpOnlyForItsMacAndOnlyWithoutController)
{
    Device d;
    ForceIp f;
    f.mac = {2, 0, 0, 0, 0, 8};
    f.ip = 0x7F000033;
    f.subnetMask = 0xFF000000;
    EXPECT_TRUE(d.Send(f.Encode(1)).empty());  // another device's
    f.mac = {2, 0, 0, 0, 0, 9};
    d.Write(reg::ControlChannelPrivilege, CCP_CONTROL, kB);
    auto denied = d.Send(f.Encode(2));
    ASSERT_EQ(denied.size(), 1u);
    EXPECT_EQ(denied[0].header.status, STATUS_ACCESS_DENIED);
    d.Write(reg::ControlChannelPrivilege, 0, kB);
    auto done = d.Send(f.Encode(3));
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].header.answer, FORCEIP_ACK);
    EXPECT_EQ(d.rec.addresses, std::vector<uint32_t>{0x7F000033});
    EXPECT_EQ(d.server.Identity().ip, 0x7F000033u);
    EXPECT_EQ(d.Read(reg::CurrentSubnetMask).second, 0xFF000000u);
    EXPECT_EQ(d.rec.notes.back(), "reset 127.0.0.51");
    // Address 0 restarts the configuration: the device keeps its address.
    f.ip = 0;
    EXPECT_EQ(d.Send(f.Encode(4)).size(), 1u);
    EXPECT_EQ(d.rec.addresses.size(), 1u);
}

TEST(GvcpServer, EventsAreRetriedUntilAcknowledgedThenGivenUp)
{
    Device d;
    ASSERT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_CONTROL), STATUS_SUCCESS);
    EXPECT_FALSE(d.server.PostEvent(Event{}));  // no channel yet
    d.Write(reg::MessageChannelDestination, kA.ip);
    d.Write(reg::MessageChannelPort, 6000);
    d.Write(reg::MessageChannelTransmissionTimeout, 100);
    d.Write(reg::MessageChannelRetryCount, 2);
    Event e;
    e.eventId = 0x9001;
    e.timestamp = 77;
    ASSERT_TRUE(d.server.PostEvent(e));
    Bytes data{1, 2, 3, 4};
    ASSERT_TRUE(d.server.PostEvent(e, &data));
    d.Advance(0);
    ASSERT_EQ(d.rec.messages.size(), 1u);
    EXPECT_EQ(d.rec.messages[0].to.port, 6000);
    auto first = decodeCommand(d.rec.messages[0].packet.data(), d.rec.messages[0].packet.size());
    ASSERT_TRUE(first);
    auto events = EventCmd::Decode(*first);
    ASSERT_TRUE(events);
    EXPECT_EQ(events->events[0].eventId, 0x9001);

    // No answer: the same packet again after each time-out, twice, then the next event.
    d.Advance(99);
    EXPECT_EQ(d.rec.messages.size(), 1u);
    d.Advance(1);
    d.Advance(100);
    ASSERT_EQ(d.rec.messages.size(), 3u);
    EXPECT_EQ(d.rec.messages[2].packet, d.rec.messages[0].packet);
    d.Advance(100);
    ASSERT_EQ(d.rec.messages.size(), 4u);
    auto second = decodeCommand(d.rec.messages[3].packet.data(), d.rec.messages[3].packet.size());
    ASSERT_TRUE(second && EventDataCmd::Decode(*second));
    EXPECT_EQ(EventDataCmd::Decode(*second)->data, data);
    EXPECT_NE(second->header.reqId, first->header.reqId);

    // An acknowledge of another request, or of the wrong kind, is ignored; the right one ends it.
    Bytes wrongId = encodeEmptyAck(EVENTDATA_ACK, uint16_t(second->header.reqId + 1));
    Bytes wrongKind = encodeEmptyAck(EVENT_ACK, second->header.reqId);
    d.server.HandleMessageAck(wrongId.data(), wrongId.size(), d.now, d.rec);
    d.server.HandleMessageAck(wrongKind.data(), wrongKind.size(), d.now, d.rec);
    EXPECT_EQ(d.server.PendingEvents(), 1u);
    Bytes right = encodeEmptyAck(EVENTDATA_ACK, second->header.reqId);
    d.server.HandleMessageAck(right.data(), right.size(), d.now, d.rec);
    EXPECT_EQ(d.server.PendingEvents(), 0u);
    d.Advance(1000);
    EXPECT_EQ(d.rec.messages.size(), 4u);
    auto s = d.server.Stats();
    EXPECT_EQ(s.eventsIssued, 1u);
    EXPECT_EQ(s.eventDatasIssued, 1u);
    EXPECT_EQ(s.eventRetriesIssued, 2u);
    EXPECT_EQ(s.eventRetriesIssuedMax, 2u);
}

TEST(GvcpServer, ActionsFireTheSignalsOfTheirGroup)
{
    Device d;
    ActionCmd a{0x11, 0x22, 0x4, std::nullopt};
    EXPECT_TRUE(d.Send(a.Encode(1, true)).empty());  // no controller
    d.Write(reg::ControlChannelPrivilege, CCP_CONTROL);
    d.Write(reg::ActionDeviceKey, 0x11);
    d.Write(reg::ActionGroupKey0 + reg::ActionGroupStride * 1, 0x22);
    d.Write(reg::ActionGroupMask0 + reg::ActionGroupStride * 1, 0x6);
    d.Write(reg::ActionGroupKey0 + reg::ActionGroupStride * 2, 0x22);
    d.Write(reg::ActionGroupMask0 + reg::ActionGroupStride * 2, 0x1);
    d.rec.notes.clear();
    auto acks = d.Send(a.Encode(2, true), kB);
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(acks[0].header.answer, ACTION_ACK);
    EXPECT_EQ(d.rec.notes, std::vector<std::string>{"action 1"});
    EXPECT_TRUE(d.Send(ActionCmd{0x12, 0x22, 0x4, std::nullopt}.Encode(3, true)).empty());
    EXPECT_TRUE(d.Send(ActionCmd{0x11, 0x23, 0x4, std::nullopt}.Encode(4, true)).empty());
    EXPECT_TRUE(d.Send(ActionCmd{0x11, 0x22, 0x8, std::nullopt}.Encode(5, true)).empty());
    EXPECT_TRUE(d.Send(a.Encode(6, false)).empty());  // fired, no acknowledge asked for
    EXPECT_EQ(d.server.ActionCount(1), 2u);
    EXPECT_EQ(d.server.ActionCount(2), 0u);
    EXPECT_EQ(d.server.Stats().actionCommandsReceived, 6u);
    // Without a controller only where the controller allowed it.
    d.Write(reg::GVCPConfiguration, GVCPCFG_UNCONDITIONAL_ACTION);
    d.Write(reg::ControlChannelPrivilege, 0);
    EXPECT_TRUE(d.Send(a.Encode(7, true)).empty());  // released: the setting went too
}

TEST(GvcpServer, StreamChannelsReportTheirDestinationAndFireTestPackets)
{
    ServerConfig c = Config();
    c.testPacketLimit = 4000;
    Device d(c);
    d.Write(reg::ControlChannelPrivilege, CCP_CONTROL);
    d.Write(reg::StreamChannelDestination0, 0x7F000001);
    d.Write(reg::StreamChannelPort0, 7000);
    EXPECT_EQ(d.rec.notes.back(), "channel 0 127.0.0.1:7000");
    d.Write(reg::StreamChannelPacketSize0, SCPS_FIRE_TEST_PACKET | SCPS_DO_NOT_FRAGMENT | 1500);
    ASSERT_EQ(d.rec.tests.size(), 1u);
    EXPECT_EQ(d.rec.tests[0].packet.size(), 1500u - kIpUdpHeaderSize);
    EXPECT_EQ(d.rec.tests[0].to.port, 7000);
    // The fire bit is not kept; a packet beyond what the way carries is lost.
    EXPECT_EQ(d.Read(reg::StreamChannelPacketSize0).second, SCPS_DO_NOT_FRAGMENT | 1500u);
    d.Write(reg::StreamChannelPacketSize0, SCPS_FIRE_TEST_PACKET | 8000);
    EXPECT_EQ(d.rec.tests.size(), 1u);
    EXPECT_EQ(d.server.Stats().gvspTestPacketsIssued, 2u);
    EXPECT_EQ(d.server.GetStreamChannel(0).packetSize, 8000u);
}

TEST(GvcpServer, AChannelOffersMultiPartAndTellsItsConfigurationUntilTheControllerLeaves)
{
    ServerConfig c = Config();
    c.streamChannels = 2;
    c.streamCapabilities = {SCC_MULTI_PART | SCC_LARGE_LEADER_TRAILER};
    Device d(c);
    const uint32_t config1 = streamChannelRegister(reg::StreamChannelConfiguration0, 1);
    EXPECT_EQ(d.Read(reg::StreamChannelCapability0).second, SCCAP_SOURCE_PORT | SCC_MULTI_PART | SCC_LARGE_LEADER_TRAILER);
    EXPECT_EQ(d.Read(streamChannelRegister(reg::StreamChannelCapability0, 1)).second, SCCAP_SOURCE_PORT);
    d.Write(reg::ControlChannelPrivilege, CCP_CONTROL);
    ASSERT_EQ(d.Write(reg::StreamChannelConfiguration0, SCC_MULTI_PART), STATUS_SUCCESS);
    EXPECT_EQ(d.rec.notes.back(), "channel 0 0.0.0.0:0");
    EXPECT_EQ(d.rec.configurations.back(), SCC_MULTI_PART);
    EXPECT_EQ(d.Read(reg::StreamChannelConfiguration0).second, SCC_MULTI_PART);
    ASSERT_EQ(d.Write(config1, SCC_LARGE_LEADER_TRAILER), STATUS_SUCCESS);
    EXPECT_EQ(d.rec.notes.back(), "channel 1 0.0.0.0:0");
    // The next controller finds every channel as the device started.
    const size_t before = d.rec.configurations.size();
    d.Write(reg::ControlChannelPrivilege, 0);
    EXPECT_EQ(d.rec.configurations.size(), before + 2);
    EXPECT_EQ(d.rec.configurations.back(), 0u);
    EXPECT_EQ(d.Read(reg::StreamChannelConfiguration0).second, 0u);
    EXPECT_EQ(d.Read(config1).second, 0u);
}

// Stream channel 0's packet sizes from 576 to aMax in steps of 4.
static FieldLimit packetSizes(int64_t aMax)
{
    FieldLimit size;
    size.address = reg::StreamChannelPacketSize0;
    size.mask = SCPS_SIZE_MASK;
    size.min = 576;
    size.max = aMax;
    size.inc = 4;
    return size;
}

TEST(GvcpServer, ALimitedFieldRefusesOtherValuesAndStartsWithinItsLimits)
{
    ServerConfig c = Config();
    c.limits.push_back(packetSizes(1402));
    Device d(c);
    // 1500 does not fit: the largest size that does below it.
    EXPECT_EQ(d.Read(reg::StreamChannelPacketSize0).second, 1400u);
    d.Write(reg::ControlChannelPrivilege, CCP_CONTROL);
    for (uint32_t bad : {0u, 575u, 578u, 1404u})
        EXPECT_EQ(d.Write(reg::StreamChannelPacketSize0, SCPS_DO_NOT_FRAGMENT | bad), STATUS_INVALID_PARAMETER) << bad;
    EXPECT_EQ(d.server.GetStreamChannel(0).packetSize, 1400u);
    // The other bits are not the field's.
    EXPECT_EQ(d.Write(reg::StreamChannelPacketSize0, SCPS_DO_NOT_FRAGMENT | 580), STATUS_SUCCESS);
    EXPECT_EQ(d.Read(reg::StreamChannelPacketSize0).second, SCPS_DO_NOT_FRAGMENT | 580u);
}

TEST(GvcpServer, HostilePacketsGetWellFormedAnswersOrNone)
{
    Device d;
    d.Write(reg::ControlChannelPrivilege, CCP_CONTROL);
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        size_t n = rng() % 64;
        std::unique_ptr<uint8_t[]> packet(new uint8_t[n ? n : 1]);
        for (size_t k = 0; k < n; ++k) packet[k] = uint8_t(rng());
        if (n >= 8) {
            packet[0] = kKey;
            packet[2] = 0;
            packet[3] = uint8_t(0x80 + rng() % 8);
            packet[4] = 0;
            packet[5] = uint8_t(n - 8);
        }
        size_t before = d.rec.control.size();
        d.server.Handle(packet.get(), n, kA, d.now, d.rec);
        for (size_t k = before; k < d.rec.control.size(); ++k) {
            auto ack = decodeAck(d.rec.control[k].packet.data(), d.rec.control[k].packet.size());
            ASSERT_TRUE(ack);
            EXPECT_EQ(ack->header.ackId, uint16_t((packet[6] << 8) | packet[7]));
            EXPECT_LE(d.rec.control[k].packet.size(), kHeaderSize + kMaxPayload);
        }
    }
    // Truncated and empty packets, and acknowledges, are dropped.
    Bytes truncated = ReadRegCmd{{0, 4}}.Encode(1);
    EXPECT_TRUE(d.server.Answer(truncated.data(), truncated.size() - 1, kA, d.now).empty());
    EXPECT_TRUE(d.server.Answer(nullptr, 0, kA, d.now).empty());
    Bytes ack = encodeDiscoveryAck(1, d.server.Identity());
    EXPECT_TRUE(d.server.Answer(ack.data(), ack.size(), kA, d.now).empty());
}

// ---- Over UDP ------------------------------------------------------------------

namespace {

bool InNetns()
{
    return std::getenv("TARN_IN_NETNS") != nullptr;
}

// A controller's socket that asks and waits for the answer.
struct Controller {
    tarn::net::UdpSocket socket;
    explicit Controller(uint32_t ip = 0x7F000001, bool broadcast = false)
    {
        tarn::net::SocketOptions options;
        options.nonBlocking = true;
        options.broadcast = broadcast;
        socket = tarn::net::UdpSocket::Bind({ip, 0}, options);
    }
    std::optional<std::pair<Bytes, Endpoint>> Receive(int timeoutMs = 2000)
    {
        std::optional<std::pair<Bytes, Endpoint>> got;
        tarn::net::PollLoop loop;
        loop.Watch(socket.GetFd(), [&](int) {
            uint8_t buf[1500];
            tarn::net::Arrival arrival;
            long n = socket.Receive(buf, sizeof buf, &arrival);
            if (n > 0) got = std::make_pair(Bytes(buf, buf + n), arrival.from);
            return !got;
        });
        loop.Run(timeoutMs);
        return got;
    }
    // Takes control of the device at `to` and sends its events to `messages`.
    bool OpenMessageChannel(const Endpoint &to, const Controller &messages)
    {
        Bytes cmd = WriteRegCmd{{{reg::ControlChannelPrivilege, CCP_CONTROL},
                                 {reg::MessageChannelDestination, 0x7F000001},
                                 {reg::MessageChannelPort, messages.socket.Local().port}}}
                        .Encode(1);
        socket.SendTo(cmd.data(), cmd.size(), to);
        auto got = Receive();
        return got && decodeAck(got->first.data(), got->first.size());
    }
};

} // namespace

TEST(GvcpUdpServer, AnswersFromItsOwnAddressUntilStopped)
{
    if (!InNetns()) GTEST_SKIP() << "opens sockets: run under tools/netns (make test)";
    ServerConfig c;
    c.identity.modelName = "Udp";
    UdpServer device(c);
    std::string error;
    ASSERT_TRUE(device.Start("127.0.0.31", 0, &error)) << error;
    EXPECT_FALSE(device.Start("127.0.0.31", 0, &error));
    EXPECT_EQ(error, "already started");
    ASSERT_NE(device.Port(), 0);
    EXPECT_EQ(device.Identity().ip, 0x7F00001Fu);
    EXPECT_EQ(device.Identity().subnetMask, 0xFF000000u);

    Controller controller;
    auto ask = [&](uint16_t reqId, int timeoutMs = 2000) -> std::optional<DeviceIdentity> {
        Bytes cmd = encodeDiscoveryCmd(reqId);
        controller.socket.SendTo(cmd.data(), cmd.size(), {0x7F00001F, device.Port()});
        auto got = controller.Receive(timeoutMs);
        if (!got) return std::nullopt;
        EXPECT_EQ(got->second.ip, 0x7F00001Fu);
        EXPECT_EQ(got->second.port, device.Port());
        uint16_t ackId = 0;
        auto id = decodeDiscoveryAck(got->first.data(), got->first.size(), &ackId);
        EXPECT_EQ(ackId, reqId);
        return id;
    };
    auto answer = ask(7);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->modelName, "Udp");
    device.Stop();
    EXPECT_FALSE(ask(8, 200));
    ASSERT_TRUE(device.Start("127.0.0.31", 0, &error)) << error;
    EXPECT_TRUE(ask(9));
    EXPECT_FALSE(device.Start("no address", 0, &error));
}

TEST(GvcpUdpServer, AnEventPostedWhileTheServerStopsNeverReachesTheLoopItLetGo)
{
    if (!InNetns()) GTEST_SKIP() << "opens sockets: run under tools/netns (make test)";
    ServerConfig c;
    c.identity.mac = {2, 0, 0x7F, 0, 6, 1};
    UdpServer device(c);
    std::string error;
    ASSERT_TRUE(device.Start("127.0.6.1", 0, &error)) << error;
    Controller control, messages;
    ASSERT_TRUE(control.OpenMessageChannel({0x7F000601, device.Port()}, messages));
    // The camera's threads post events whenever they like; the device's
    // own stop must not pull the loop from under them.
    std::atomic<bool> done{false};
    std::atomic<uint64_t> queued{0};
    std::thread poster([&] {
        Event e;
        e.eventId = 0x4243;
        while (!done)
            if (device.PostEvent(e)) ++queued;
    });
    for (int round = 0; round < 300; ++round) {
        device.Stop();
        ASSERT_TRUE(device.Start("127.0.6.1", 0, &error)) << error;
    }
    done = true;
    poster.join();
    EXPECT_GT(queued.load(), 0u);
}

TEST(GvcpUdpServer, AnswersABroadcastFromItsOwnAddress)
{
    if (!InNetns()) GTEST_SKIP() << "opens sockets: run under tools/netns (make test)";
    ServerConfig c;
    c.identity.modelName = "Broadcast";
    c.identity.serialNumber = "B33";
    UdpServer device(c);
    std::string error;
    ASSERT_TRUE(device.Start("127.0.0.33", kPort, &error)) << error;

    Controller controller(0x7F000001, true);
    Bytes cmd = encodeDiscoveryCmd(3);
    ASSERT_TRUE(controller.socket.SendTo(cmd.data(), cmd.size(), {tarn::net::kBroadcastAddress, kPort}));
    // Other devices on this machine may answer too: look for this one.
    std::optional<Endpoint> source;
    for (int k = 0; k < 8 && !source; ++k) {
        auto got = controller.Receive();
        if (!got) break;
        auto identity = decodeDiscoveryAck(got->first.data(), got->first.size());
        if (identity && identity->serialNumber == "B33") source = got->second;
    }
    ASSERT_TRUE(source);
    EXPECT_EQ(source->ip, 0x7F000021u);
    EXPECT_EQ(source->port, kPort);
}

TEST(GvcpUdpServer, EventsReachTheMessagingChannelAndForceIpMovesTheDevice)
{
    if (!InNetns()) GTEST_SKIP() << "opens sockets: run under tools/netns (make test)";
    ServerConfig c;
    c.identity.mac = {2, 0, 0, 0, 0, 0x35};
    UdpServer device(c);
    std::string error;
    ASSERT_TRUE(device.Start("127.0.0.35", 0, &error)) << error;
    Controller control, messages;
    const Endpoint to{0x7F000023, device.Port()};
    auto exchange = [&](const Bytes &cmd, Endpoint where) {
        control.socket.SendTo(cmd.data(), cmd.size(), where);
        auto got = control.Receive();
        return got ? decodeAck(got->first.data(), got->first.size()) : std::nullopt;
    };
    ASSERT_TRUE(control.OpenMessageChannel(to, messages));
    Event e;
    e.eventId = 0x4242;
    ASSERT_TRUE(device.PostEvent(e));
    auto event = messages.Receive();
    ASSERT_TRUE(event);
    auto cmd = decodeCommand(event->first.data(), event->first.size());
    ASSERT_TRUE(cmd && EventCmd::Decode(*cmd));
    EXPECT_EQ(EventCmd::Decode(*cmd)->events[0].eventId, 0x4242);
    // It came from the source port the device reports.
    auto mcsp = exchange(ReadRegCmd{{reg::MessageChannelSourcePort}}.Encode(2), to);
    ASSERT_TRUE(mcsp);
    EXPECT_EQ(ReadRegAck::Decode(*mcsp)->values[0], event->second.port);
    Bytes ack = encodeEmptyAck(EVENT_ACK, cmd->header.reqId);
    messages.socket.SendTo(ack.data(), ack.size(), event->second);

    ASSERT_TRUE(exchange(WriteRegCmd{{{reg::ControlChannelPrivilege, 0}}}.Encode(3), to));
    ForceIp f;
    f.mac = c.identity.mac;
    f.ip = 0x7F000036;
    f.subnetMask = 0xFF000000;
    auto moved = exchange(f.Encode(4), to);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->header.status, STATUS_SUCCESS);
    EXPECT_EQ(device.Identity().ip, 0x7F000036u);
    auto there = exchange(encodeDiscoveryCmd(5), Endpoint{0x7F000036, device.Port()});
    ASSERT_TRUE(there);
    EXPECT_EQ(DeviceIdentity::Decode(there->payload.data(), there->payload.size())->ip, 0x7F000036u);
}

// A WRITEMEM the server refuses changes nothing: the server's own registers
// are all checked before any is written, and a write that reaches the
// description writes none of the model's memory before it. (A WRITEREG
// goes register by register, as its acknowledge's index tells.)
TEST(GvcpServer, ARefusedWriteMemChangesNothing)
{
    ServerConfig config = Config();
    config.limits = {packetSizes(9000)};
    config.descriptionAddress = kRam + sizeof(Ram::bytes);   // right after the model's memory
    Device d(config);
    ASSERT_EQ(d.Write(reg::ControlChannelPrivilege, CCP_CONTROL), STATUS_SUCCESS);
    struct Case {
        uint32_t address;
        std::vector<uint32_t> words;
        Status status;
    } cases[] = {
        {reg::StreamChannelPort0, {6000, 9004}, STATUS_INVALID_PARAMETER},           // a size off its limits
        {reg::StreamChannelPort0, {6000, 575}, STATUS_INVALID_PARAMETER},
        {reg::HeartbeatTimeout, {5000, 1}, STATUS_WRITE_PROTECT},                    // then a read-only one
        {reg::MessageChannelPort, {0x10000 | 7000, 0x7F000001}, STATUS_INVALID_PARAMETER},
        {reg::MessageChannelDestination, {0x7F000001, 600, 4, 0}, STATUS_WRITE_PROTECT},   // its source port
        {kRam + sizeof(Ram::bytes) - 8, {1, 2, 3}, STATUS_WRITE_PROTECT},           // into the description
        {reg::StreamChannelPort0, {6000, 1500}, STATUS_SUCCESS},
    };
    const uint32_t watched[] = {reg::StreamChannelPort0, reg::StreamChannelPacketSize0, reg::HeartbeatTimeout,
                                reg::MessageChannelPort, reg::MessageChannelDestination,
                                reg::MessageChannelTransmissionTimeout, reg::MessageChannelRetryCount};
    for (const Case &c : cases) {
        std::vector<uint32_t> before;
        for (uint32_t a : watched) before.push_back(d.Read(a).second);
        const size_t notes = d.rec.notes.size(), writes = d.ram.writes.size();
        Bytes data;
        for (uint32_t w : c.words)
            for (int shift : {24, 16, 8, 0}) data.push_back(uint8_t(w >> shift));
        auto acks = d.Send(WriteMemCmd{c.address, data}.Encode(d.nextId++));
        ASSERT_EQ(acks.size(), 1u);
        EXPECT_EQ(acks[0].header.status, c.status) << std::hex << c.address;
        if (c.status == STATUS_SUCCESS) {
            EXPECT_EQ(d.Read(reg::StreamChannelPacketSize0).second & SCPS_SIZE_MASK, 1500u);
            continue;
        }
        std::vector<uint32_t> after;
        for (uint32_t a : watched) after.push_back(d.Read(a).second);
        EXPECT_EQ(after, before) << std::hex << c.address;
        EXPECT_EQ(d.rec.notes.size(), notes) << std::hex << c.address;
        EXPECT_EQ(d.ram.writes.size(), writes) << std::hex << c.address;
    }
}
