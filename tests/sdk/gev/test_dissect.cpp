#include "gev/dissect.h"
#include "gev/gvcp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

using namespace tarn::gvcp;
using tarn::gev::dissectGvcp;

namespace {

// Dissects an exact-size heap copy, so that a read past the end is caught
// by AddressSanitizer.
std::string Dissect(const Bytes &aPacket, size_t aSize)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[aSize ? aSize : 1]);
    if (aSize)
        std::memcpy(copy.get(), aPacket.data(), aSize);
    return dissectGvcp(copy.get(), aSize);
}

std::string Dissect(const Bytes &aPacket) { return Dissect(aPacket, aPacket.size()); }

DeviceIdentity Identity()
{
    DeviceIdentity id;
    id.versionMinor = 1;
    id.mac = {0x00, 0x11, 0x1c, 0xaa, 0xbb, 0xcc};
    id.ip = 0xC0A80A05;
    id.subnetMask = 0xFFFFFF00;
    id.manufacturerName = "Maker";
    id.modelName = "Cam \"1\"\x01";
    id.serialNumber = "SN7";
    id.userDefinedName = std::string(16, 'n');  // a full field has no null byte
    return id;
}

struct Case {
    Bytes packet;
    const char *line;
};

std::vector<Case> Cases()
{
    PacketResendCmd resend{2, false, 0x1234, 5, 9};
    PacketResendCmd extended{2, true, 0x123456789ull, 0x1000000, 0x1000002};
    EventCmd events{false, {Event{0x9001, 1, 77, 1000}}};
    EventDataCmd eventData{true, Event{0x9002, 0xFFFF, 1ull << 40, 5}, Bytes(6, 0xAB)};
    ForceIp force{{2, 0, 0, 0, 0, 7}, 0x0A000002, 0xFF000000, 0};
    return {
        {encodeDiscoveryCmd(1, true), "GVCP DISCOVERY_CMD req=1 flags=0x11 length=0 broadcast-ack"},
        {encodeDiscoveryAck(2, Identity()),
         "GVCP DISCOVERY_ACK ack=2 status=SUCCESS length=248 version=2.1 mac=00:11:1c:aa:bb:cc ip=192.168.10.5 "
         "manufacturer=\"Maker\" model=\"Cam \\x221\\x22\\x01\" serial=\"SN7\" name=\"nnnnnnnnnnnnnnnn\""},
        {force.Encode(3), "GVCP FORCEIP_CMD req=3 flags=0x01 length=56 mac=02:00:00:00:00:07 ip=10.0.0.2 mask=255.0.0.0"},
        {ReadRegCmd{{0x0, 0xC, 0x938}}.Encode(4),
         "GVCP READREG_CMD req=4 flags=0x01 length=12 addresses=0x00000000,0x0000000c,0x00000938"},
        {ReadRegCmd{{1, 2, 3, 4, 5, 6}}.Encode(4),
         "GVCP READREG_CMD req=4 flags=0x01 length=24 addresses=0x00000001,0x00000002,0x00000003,0x00000004,... (6)"},
        {ReadRegAck{{0x00020001}}.Encode(5), "GVCP READREG_ACK ack=5 status=SUCCESS length=4 values=0x00020001"},
        {WriteRegCmd{{{0xA00, 2}, {0xD00, 0x1234}}}.Encode(6),
         "GVCP WRITEREG_CMD req=6 flags=0x01 length=16 writes=0x00000a00:0x00000002,0x00000d00:0x00001234"},
        {WriteAck{1}.Encode(WRITEREG_ACK, 7, STATUS_WRITE_PROTECT),
         "GVCP WRITEREG_ACK ack=7 status=WRITE_PROTECT length=4 index=1"},
        {ReadMemCmd{0x48, 32}.Encode(8), "GVCP READMEM_CMD req=8 flags=0x01 length=8 address=0x00000048 count=32"},
        {ReadMemAck{0x48, Bytes(12, 1)}.Encode(9), "GVCP READMEM_ACK ack=9 status=SUCCESS length=16 address=0x00000048 bytes=12"},
        {WriteMemCmd{0x200, Bytes(8, 0)}.Encode(10), "GVCP WRITEMEM_CMD req=10 flags=0x01 length=12 address=0x00000200 bytes=8"},
        {resend.Encode(11), "GVCP PACKETRESEND_CMD req=11 flags=0x00 length=12 channel=2 block=4660 packets=5..9"},
        {extended.Encode(12),
         "GVCP PACKETRESEND_CMD req=12 flags=0x10 length=20 channel=2 block=4886718345 packets=16777216..16777218"},
        {PendingAck{250}.Encode(13), "GVCP PENDING_ACK ack=13 status=SUCCESS length=4 time-to-completion=250 ms"},
        {events.Encode(14), "GVCP EVENT_CMD req=14 flags=0x01 length=16 event=0x9001 channel=1 block=77 timestamp=1000"},
        {eventData.Encode(15),
         "GVCP EVENTDATA_CMD req=15 flags=0x11 length=30 event=0x9002 channel=65535 block=1099511627776 timestamp=5 "
         "data=6 bytes"},
        {ActionCmd{1, 2, 3, 99}.Encode(16, true),
         "GVCP ACTION_CMD req=16 flags=0x81 length=20 device-key=0x00000001 group-key=0x00000002 "
         "group-mask=0x00000003 time=99"},
        {encodeEmptyAck(ACTION_ACK, 17), "GVCP ACTION_ACK ack=17 status=SUCCESS length=0"},
        {encodeAck(READMEM_ACK, STATUS_INVALID_ADDRESS, 18, {}), "GVCP READMEM_ACK ack=18 status=INVALID_ADDRESS length=0"},
        {encodeCommand(0x4242, 0x01, 19, {1, 2}), "GVCP command 0x4242 req=19 flags=0x01 length=2 payload 01 02"},
        {encodeAck(0x0099, 0x8123, 20, {}), "GVCP command 0x0099 ack=20 status=0x8123 length=0"},
    };
}

} // namespace

TEST(GvcpDissect, NamesEveryFieldWhereTheCodecPutIt)
{
    for (const Case &c : Cases()) EXPECT_EQ(Dissect(c.packet), c.line);
}

TEST(GvcpDissect, SaysWhatIsWrongWithDamagedPackets)
{
    EXPECT_EQ(Dissect({0x42, 0x01, 0x00}), "GVCP truncated: 3 bytes 42 01 00");
    EXPECT_EQ(dissectGvcp(nullptr, 0), "GVCP truncated: 0 bytes");
    // The header promises more than arrived.
    Bytes cut = ReadRegCmd{{0, 4}}.Encode(1);
    EXPECT_EQ(Dissect(cut, cut.size() - 1), "GVCP READREG_CMD req=1 flags=0x01 length=8 truncated: 7 of 8 payload bytes");
    // A payload of the wrong shape for its kind.
    EXPECT_EQ(Dissect(encodeCommand(READREG_CMD, 1, 2, {1, 2, 3})),
              "GVCP READREG_CMD req=2 flags=0x01 length=3 malformed: 3 bytes");
    EXPECT_EQ(Dissect(encodeCommand(READMEM_CMD, 1, 3, {1, 2, 3})), "GVCP READMEM_CMD req=3 flags=0x01 length=3 malformed");
    EXPECT_EQ(Dissect(encodeAck(DISCOVERY_ACK, STATUS_SUCCESS, 4, Bytes(100, 0))),
              "GVCP DISCOVERY_ACK ack=4 status=SUCCESS length=100 malformed identity");
    // Bytes beyond the announced length are named, not read as payload.
    Bytes longer = encodeDiscoveryCmd(5);
    longer.push_back(0xEE);
    EXPECT_EQ(Dissect(longer), "GVCP DISCOVERY_CMD req=5 flags=0x01 length=0 (+1 bytes beyond)");
}

TEST(GvcpDissect, EveryTruncationReadsOnlyWhatIsThere)
{
    for (const Case &c : Cases()) {
        for (size_t n = 0; n < c.packet.size(); ++n) {
            std::string line = Dissect(c.packet, n);
            EXPECT_NE(line.find("truncated"), std::string::npos) << c.line << " cut to " << n;
        }
    }
}

TEST(GvcpDissect, ALineCutToItsBufferStaysTerminated)
{
    const Case sample = Cases()[1];
    const std::string full = Dissect(sample.packet);
    for (size_t capacity : {size_t(1), size_t(2), size_t(10), full.size(), full.size() + 1}) {
        std::vector<char> out(capacity + 1, '#');
        size_t n = dissectGvcp(sample.packet.data(), sample.packet.size(), out.data(), capacity);
        EXPECT_EQ(n, std::min(full.size(), capacity - 1)) << capacity;
        EXPECT_EQ(out[n], '\0');
        EXPECT_EQ(std::string(out.data(), n), full.substr(0, n));
        EXPECT_EQ(out[capacity], '#') << "wrote past its buffer at capacity " << capacity;
    }
    char untouched = '#';
    EXPECT_EQ(dissectGvcp(sample.packet.data(), sample.packet.size(), &untouched, 0), 0u);
    EXPECT_EQ(untouched, '#');
}

TEST(GvcpDissect, RandomBytesAlwaysGiveALine)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 20000; ++round) {
        Bytes packet(rng() % 80);
        for (uint8_t &b : packet) b = uint8_t(rng());
        if (packet.size() >= 8 && round % 2) {
            packet[0] = kKey;
            packet[3] = uint8_t(rng() % 0x102);
            packet[4] = 0;
            packet[5] = uint8_t(packet.size() - 8);
        }
        std::string line = Dissect(packet);
        EXPECT_EQ(line.compare(0, 5, "GVCP "), 0) << line;
    }
}
