#include "gev/bootstrap.h"
#include "gev/gvcp.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

using namespace tarn::gvcp;

namespace {

DeviceIdentity SampleIdentity()
{
    DeviceIdentity id;
    id.versionMajor = 2;
    id.versionMinor = 1;
    id.deviceMode = DEVICEMODE_BIG_ENDIAN | (2u << DEVICEMODE_CLASS_SHIFT) | DEVICEMODE_CHARSET_UTF8;
    id.mac = {0x00, 0x11, 0x1c, 0xaa, 0xbb, 0xcc};
    id.ipConfigOptions = IPCONFIG_LLA | IPCONFIG_DHCP | IPCONFIG_PERSISTENT | IPCONFIG_PAUSE_RECEPTION;
    id.ipConfigCurrent = IPCONFIG_DHCP;
    id.ip = 0xC0A80A05;
    id.subnetMask = 0xFFFFFF00;
    id.gateway = 0xC0A80A01;
    id.manufacturerName = std::string(32, 'M');  // a full field has no null byte
    id.modelName = "Model \xc3\xa9";
    id.deviceVersion = "1.2.3";
    id.manufacturerInfo = "info";
    id.serialNumber = "SN-0042";
    id.userDefinedName = "left";
    return id;
}

// Decodes from an exact-size heap copy, so that a read past the end is
// caught by AddressSanitizer.
template <class Fn>
auto OnCopy(const Bytes &packet, size_t n, Fn fn)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[n ? n : 1]);
    std::copy(packet.begin(), packet.begin() + long(n), copy.get());
    return fn(copy.get(), n);
}

struct Sample {
    const char *name;
    Bytes packet;
    bool isAck;
    std::function<bool(const uint8_t *, size_t)> decodes;  // the typed decoder accepts it
};

std::vector<Sample> Samples()
{
    auto cmd = [](auto decoder) {
        return [decoder](const uint8_t *p, size_t n) {
            auto c = decodeCommand(p, n);
            return c && decoder(*c).has_value();
        };
    };
    auto ack = [](auto decoder) {
        return [decoder](const uint8_t *p, size_t n) {
            auto a = decodeAck(p, n);
            return a && decoder(*a).has_value();
        };
    };
    ForceIp force;
    force.mac = {1, 2, 3, 4, 5, 6};
    force.ip = 0x0A000002;
    ReadMemAck rma;
    rma.address = 0x48;
    rma.data = Bytes(32, 'x');
    WriteMemCmd wm;
    wm.address = 0xE8;
    wm.data = Bytes(16, 'n');
    PacketResendCmd resend;
    resend.extendedId = true;
    resend.blockId = 0x123456789ULL;
    resend.firstPacketId = 7;
    resend.lastPacketId = 9;
    EventCmd events;
    events.events = {Event{0x9000, 0, 5, 77}, Event{0x9001, 1, 6, 78}};
    EventDataCmd data;
    data.extendedId = true;
    data.event = Event{0x9002, 0, 1ULL << 40, 99};
    data.data = Bytes(20, 0xEE);
    ActionCmd action;
    action.deviceKey = 1;
    action.groupKey = 2;
    action.groupMask = 0xFFFFFFFF;
    action.actionTime = 123456789012ULL;
    return {
        {"discovery ack", encodeDiscoveryAck(7, SampleIdentity()), true,
         [](const uint8_t *p, size_t n) { return decodeDiscoveryAck(p, n).has_value(); }},
        {"forceip", force.Encode(3), false, cmd(ForceIp::Decode)},
        {"readreg", ReadRegCmd{{0x0, 0x934, 0xA00}}.Encode(4), false, cmd(ReadRegCmd::Decode)},
        {"readreg ack", ReadRegAck{{1, 2, 3}}.Encode(4), true, ack(ReadRegAck::Decode)},
        {"writereg", WriteRegCmd{{{0xA00, 2}, {0x938, 3000}}}.Encode(5), false, cmd(WriteRegCmd::Decode)},
        {"writereg ack", WriteAck{2}.Encode(WRITEREG_ACK, 5), true, ack(WriteAck::Decode)},
        {"readmem", ReadMemCmd{0x200, 512}.Encode(6), false, cmd(ReadMemCmd::Decode)},
        {"readmem ack", rma.Encode(6), true, ack(ReadMemAck::Decode)},
        {"writemem", wm.Encode(8), false, cmd(WriteMemCmd::Decode)},
        {"packetresend", resend.Encode(9), false, cmd(PacketResendCmd::Decode)},
        {"pending ack", PendingAck{250}.Encode(10), true, ack(PendingAck::Decode)},
        {"event", events.Encode(11), false, cmd(EventCmd::Decode)},
        {"eventdata", data.Encode(12), false, cmd(EventDataCmd::Decode)},
        {"action", action.Encode(13), false, cmd(ActionCmd::Decode)},
    };
}

} // namespace

TEST(GvcpCodec, HeaderLayoutFollowsTheStandard)
{
    Bytes discovery = encodeDiscoveryCmd(0x1234);
    EXPECT_EQ(discovery, (Bytes{0x42, 0x01, 0x00, 0x02, 0x00, 0x00, 0x12, 0x34}));
    Bytes ack = encodeDiscoveryAck(0x1234, SampleIdentity());
    ASSERT_EQ(ack.size(), kHeaderSize + kDiscoveryAckSize);
    EXPECT_EQ(Bytes(ack.begin(), ack.begin() + 8), (Bytes{0x00, 0x00, 0x00, 0x03, 0x00, 0xF8, 0x12, 0x34}));
    // MAC at 10..15 of the payload, current IP at 36, model name at 104.
    EXPECT_EQ(ack[8 + 10], 0x00);
    EXPECT_EQ(ack[8 + 15], 0xcc);
    EXPECT_EQ(ack[8 + 36], 0xC0);
    EXPECT_EQ(ack[8 + 39], 0x05);
    EXPECT_EQ(ack[8 + 104], 'M');
}

TEST(GvcpCodec, DiscoveryAckRoundTrip)
{
    DeviceIdentity in = SampleIdentity();
    in.userDefinedName = std::string(40, 'u');  // longer than its field: cut
    uint16_t ackId = 0;
    auto out = decodeDiscoveryAck(encodeDiscoveryAck(99, in).data(), kHeaderSize + kDiscoveryAckSize, &ackId);
    ASSERT_TRUE(out);
    EXPECT_EQ(ackId, 99);
    EXPECT_EQ(out->versionMinor, 1);
    EXPECT_EQ(out->DeviceClass(), 2u);
    EXPECT_EQ(out->mac, in.mac);
    EXPECT_EQ(out->ip, in.ip);
    EXPECT_EQ(out->subnetMask, in.subnetMask);
    EXPECT_EQ(out->gateway, in.gateway);
    EXPECT_EQ(out->ipConfigOptions, in.ipConfigOptions);
    EXPECT_EQ(out->manufacturerName, in.manufacturerName);
    EXPECT_EQ(out->modelName, in.modelName);
    EXPECT_EQ(out->serialNumber, in.serialNumber);
    EXPECT_EQ(out->userDefinedName, std::string(16, 'u'));
}

TEST(GvcpCodec, DiscoveryAckWithFailureStatusOrShortPayloadIsDropped)
{
    Bytes failed = encodeAck(DISCOVERY_ACK, STATUS_BUSY, 1, SampleIdentity().Encode());
    EXPECT_FALSE(decodeDiscoveryAck(failed.data(), failed.size()));
    // A length field that announces less than a full identity.
    Bytes shortAck = encodeAck(DISCOVERY_ACK, STATUS_SUCCESS, 1, Bytes(100, 0));
    EXPECT_FALSE(decodeDiscoveryAck(shortAck.data(), shortAck.size()));
}

TEST(GvcpCodec, TypedRoundTrips)
{
    auto rr = ReadRegCmd::Decode(*decodeCommand(ReadRegCmd{{0x0, 0x934}}.Encode(1).data(), 16));
    ASSERT_TRUE(rr);
    EXPECT_EQ(rr->addresses, (std::vector<uint32_t>{0x0, 0x934}));

    Bytes wrBytes = WriteRegCmd{{{0xA00, 2}}}.Encode(2);
    auto wr = WriteRegCmd::Decode(*decodeCommand(wrBytes.data(), wrBytes.size()));
    ASSERT_TRUE(wr);
    EXPECT_EQ(wr->writes[0], std::make_pair(0xA00u, 2u));

    Bytes rmBytes = ReadMemCmd{0x48, 32}.Encode(3);
    auto rm = ReadMemCmd::Decode(*decodeCommand(rmBytes.data(), rmBytes.size()));
    ASSERT_TRUE(rm);
    EXPECT_EQ(rm->address, 0x48u);
    EXPECT_EQ(rm->count, 32);

    PacketResendCmd pr;
    pr.blockId = 0x1234;
    pr.firstPacketId = 0xABCDEF;
    pr.lastPacketId = 0x12345678;  // only 24 bits travel without extended ids
    Bytes prBytes = pr.Encode(4);
    auto prOut = PacketResendCmd::Decode(*decodeCommand(prBytes.data(), prBytes.size()));
    ASSERT_TRUE(prOut);
    EXPECT_EQ(prOut->blockId, 0x1234u);
    EXPECT_EQ(prOut->firstPacketId, 0xABCDEFu);
    EXPECT_EQ(prOut->lastPacketId, 0x345678u);
    EXPECT_EQ(prBytes[1] & FLAG_ACK_REQUIRED, 0);

    for (bool extended : {false, true}) {
        EventCmd ev;
        ev.extendedId = extended;
        ev.events = {Event{0x9000, 0, 0xBEEF, 0x0102030405060708ULL}};
        Bytes evBytes = ev.Encode(5);
        auto evOut = EventCmd::Decode(*decodeCommand(evBytes.data(), evBytes.size()));
        ASSERT_TRUE(evOut);
        ASSERT_EQ(evOut->events.size(), 1u);
        EXPECT_EQ(evOut->events[0].eventId, 0x9000);
        EXPECT_EQ(evOut->events[0].blockId, 0xBEEFu);
        EXPECT_EQ(evOut->events[0].timestamp, 0x0102030405060708ULL);
    }

    ActionCmd plain{1, 2, 3, std::nullopt};
    Bytes acBytes = plain.Encode(6);
    auto ac = ActionCmd::Decode(*decodeCommand(acBytes.data(), acBytes.size()));
    ASSERT_TRUE(ac);
    EXPECT_FALSE(ac->actionTime);
    EXPECT_EQ(ac->groupMask, 3u);

    Bytes pa = PendingAck{700}.Encode(7);
    EXPECT_EQ(PendingAck::Decode(*decodeAck(pa.data(), pa.size()))->timeToCompletionMs, 700);
}

TEST(GvcpCodec, MalformedPayloadsAreRefused)
{
    // Register lists must be whole entries; a READREG ack of 5 bytes is not.
    EXPECT_FALSE(ReadRegCmd::Decode(*decodeCommand(encodeCommand(READREG_CMD, 1, 1, Bytes(6, 0)).data(), 14)));
    EXPECT_FALSE(ReadRegCmd::Decode(*decodeCommand(encodeCommand(READREG_CMD, 1, 1, {}).data(), 8)));
    EXPECT_FALSE(WriteRegCmd::Decode(*decodeCommand(encodeCommand(WRITEREG_CMD, 1, 1, Bytes(12, 0)).data(), 20)));
    EXPECT_FALSE(ReadRegAck::Decode(*decodeAck(encodeAck(READREG_ACK, 0, 1, Bytes(5, 0)).data(), 13)));
    EXPECT_FALSE(EventCmd::Decode(*decodeCommand(encodeCommand(EVENT_CMD, 1, 1, Bytes(20, 0)).data(), 28)));
    // Memory is written in whole registers: every other byte count is refused.
    for (size_t n = 1; n <= 12; ++n) {
        Bytes wm = WriteMemCmd{0x200, Bytes(n, 'w')}.Encode(1);
        EXPECT_EQ(WriteMemCmd::Decode(*decodeCommand(wm.data(), wm.size())).has_value(), n % 4 == 0) << n << " bytes";
    }
    // A command decoder given another command.
    Bytes rm = ReadMemCmd{0, 4}.Encode(1);
    EXPECT_FALSE(WriteMemCmd::Decode(*decodeCommand(rm.data(), rm.size())));
    // Wrong key.
    Bytes bad = encodeDiscoveryCmd(1);
    bad[0] = 0x43;
    EXPECT_FALSE(decodeCommand(bad.data(), bad.size()));
    EXPECT_FALSE(decodeCommand(nullptr, 8));
}

TEST(GvcpCodec, BytesBeyondTheAnnouncedLengthAreIgnored)
{
    Bytes packet = ReadRegCmd{{0x934}}.Encode(1);
    packet.insert(packet.end(), {1, 2, 3});
    auto cmd = decodeCommand(packet.data(), packet.size());
    ASSERT_TRUE(cmd);
    EXPECT_EQ(cmd->payload.size(), 4u);
}

TEST(GvcpCodec, EveryTruncationIsDropped)
{
    for (const Sample &s : Samples()) {
        SCOPED_TRACE(s.name);
        ASSERT_TRUE(OnCopy(s.packet, s.packet.size(), s.decodes));
        for (size_t n = 0; n < s.packet.size(); ++n) {
            EXPECT_FALSE(OnCopy(s.packet, n, s.decodes)) << "length " << n;
            bool generic = OnCopy(s.packet, n, [&](const uint8_t *p, size_t len) {
                return s.isAck ? decodeAck(p, len).has_value() : decodeCommand(p, len).has_value();
            });
            EXPECT_FALSE(generic) << "length " << n;
        }
    }
}

TEST(GvcpCodec, RandomInputNeverCrashes)
{
    std::mt19937 rng(20261209);
    auto samples = Samples();
    for (int round = 0; round < 20000; ++round) {
        Bytes packet;
        if (round % 2) {
            packet.resize(rng() % 600);
            for (auto &b : packet) b = uint8_t(rng());
            if (round % 4 == 1 && packet.size() >= 4) {
                packet[0] = kKey;  // reach the typed decoders more often
                packet[3] = uint8_t(rng() % 4 ? 0x80 + (rng() % 8) : rng());
            }
        } else {
            packet = samples[rng() % samples.size()].packet;
            for (int k = 0; k < 3; ++k) packet[rng() % packet.size()] = uint8_t(rng());
        }
        OnCopy(packet, packet.size(), [&](const uint8_t *p, size_t n) {
            if (auto c = decodeCommand(p, n)) {
                ForceIp::Decode(*c);
                ReadRegCmd::Decode(*c);
                WriteRegCmd::Decode(*c);
                ReadMemCmd::Decode(*c);
                WriteMemCmd::Decode(*c);
                PacketResendCmd::Decode(*c);
                EventCmd::Decode(*c);
                EventDataCmd::Decode(*c);
                ActionCmd::Decode(*c);
            }
            if (auto a = decodeAck(p, n)) {
                ReadRegAck::Decode(*a);
                WriteAck::Decode(*a);
                ReadMemAck::Decode(*a);
                PendingAck::Decode(*a);
            }
            decodeDiscoveryAck(p, n);
            return 0;
        });
        for (const Sample &s : samples) OnCopy(packet, packet.size(), s.decodes);
    }
}

TEST(GvcpText, AddressesAndMacs)
{
    uint32_t ip = 0;
    EXPECT_TRUE(parseIPv4("127.0.0.1", ip));
    EXPECT_EQ(ip, 0x7F000001u);
    EXPECT_EQ(formatIPv4(0xFFFFFF00), "255.255.255.0");
    for (const char *bad : {"", "1.2.3", "1.2.3.4.5", "256.0.0.1", "1..2.3", "1.2.3.4 ", "01234.1.1.1", "a.b.c.d"})
        EXPECT_FALSE(parseIPv4(bad, ip)) << bad;
    Mac mac{};
    EXPECT_TRUE(parseMac("00:11:1C:aa:bb:cc", mac));
    EXPECT_EQ(formatMac(mac, ':', false), "00:11:1c:aa:bb:cc");
    EXPECT_EQ(formatMac(mac, '.', true), "00.11.1C.AA.BB.CC");
    EXPECT_TRUE(parseMac("00-11-1c-aa-bb-cc", mac));
    for (const char *bad : {"", "00:11:1c:aa:bb", "00:11-1c:aa:bb:cc", "00:11:1c:aa:bb:cg", "00/11/1c/aa/bb/cc"})
        EXPECT_FALSE(parseMac(bad, mac)) << bad;
}

// The one limit rule: from the minimum to the maximum, in steps counted
// from the minimum; a field's limit applies to its own bits alone.
TEST(GvcpLimits, StepsCountFromTheMinimumAndAFieldIsItsOwnBits)
{
    struct Case {
        ValueLimits limits;
        int64_t value;
        bool takes;
    } cases[] = {
        {{10, 100, 4}, 14, true},  {{10, 100, 4}, 12, false}, {{10, 100, 4}, 10, true},
        {{10, 100, 4}, 6, false},  {{10, 100, 4}, 102, false}, {{10, 100, 4}, 98, true},
        {{576, 9000, 4}, 9000, true}, {{576, 9000, 4}, 578, false}, {{0, 1, 1}, 2, false},
        {{-5, 5, 0}, -5, true},    {{-5, 5, 3}, 1, true},      {{-5, 5, 3}, 0, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.limits.Takes(c.value), c.takes) << c.limits.min << ".." << c.limits.max << " by " << c.limits.inc
                                                     << ": " << c.value;
    FieldLimit port;
    port.mask = 0xFFFF0000;
    port.shift = 16;
    port.min = 1024;
    port.max = 2048;
    EXPECT_TRUE(port.Takes(0x04000000u | 0xFFFF));   // the other bits are not the field's
    EXPECT_FALSE(port.Takes(0x03FF0000u));
}
