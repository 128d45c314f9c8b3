#include "gev/gvcp.h"

#include "gev/wire.h"

#include <cstdio>
#include <cstring>
#include <random>

namespace tarn {
namespace gvcp {

namespace {

using gev::Reader;
using gev::Writer;

Bytes finish(uint16_t command, uint8_t flags, uint16_t reqId, const Bytes &payload)
{
    return encodeCommand(command, flags, reqId, payload);
}

bool isCommand(const Command &cmd, uint16_t code) { return cmd.header.command == code; }

// Discovery and FORCEIP lay an address, its mask and the gateway out alike:
// each in the last 4 bytes of a 16-byte field.
void writeAddresses(Writer &w, uint32_t ip, uint32_t mask, uint32_t gateway)
{
    for (uint32_t a : {ip, mask, gateway}) {
        w.Zeros(12);
        w.U32(a);
    }
}

void readAddresses(Reader &r, uint32_t &ip, uint32_t &mask, uint32_t &gateway)
{
    for (uint32_t *a : {&ip, &mask, &gateway}) {
        r.Skip(12);
        *a = r.U32();
    }
}

void writeEvent(Writer &w, const Event &e, bool extended)
{
    if (extended) {
        w.U16(24);
        w.U16(e.eventId);
        w.U16(e.streamChannel);
        w.U16(0);
        w.U64(e.blockId);
    } else {
        w.U16(0);
        w.U16(e.eventId);
        w.U16(e.streamChannel);
        w.U16(uint16_t(e.blockId));
    }
    w.U64(e.timestamp);
}

Event readEvent(Reader &r, bool extended)
{
    Event e;
    r.U16();
    e.eventId = r.U16();
    e.streamChannel = r.U16();
    if (extended) {
        r.U16();
        e.blockId = r.U64();
    } else {
        e.blockId = r.U16();
    }
    e.timestamp = r.U64();
    return e;
}

size_t eventSize(bool extended) { return extended ? 24 : 16; }

} // namespace

// Commands and acknowledges share one layout: two 16-bit words, the
// payload length, the id, then the payload that the length announces.
namespace {

void writeHeader(Writer &w, uint16_t first, uint16_t second, size_t length, uint16_t id)
{
    w.U16(first);
    w.U16(second);
    w.U16(uint16_t(length));
    w.U16(id);
}

Bytes packHeader(uint16_t first, uint16_t second, uint16_t id, const Bytes &payload)
{
    Bytes out;
    out.reserve(kHeaderSize + payload.size());
    Writer w(out);
    writeHeader(w, first, second, payload.size(), id);
    w.Bytes(payload.data(), payload.size());
    return out;
}

bool unpackHeader(const uint8_t *data, size_t size, uint16_t &first, uint16_t &second, uint16_t &length,
                  uint16_t &id, Bytes &payload)
{
    Reader r(data, size);
    first = r.U16();
    second = r.U16();
    length = r.U16();
    id = r.U16();
    // Assigned rather than replaced, so that a payload decoded into again
    // keeps its room.
    if (const uint8_t *p = r.View(length))
        payload.assign(p, p + length);
    else
        payload.clear();
    return r.Ok();
}

} // namespace

Bytes encodeCommand(uint16_t command, uint8_t flags, uint16_t reqId, const Bytes &payload)
{
    return packHeader(uint16_t((kKey << 8) | flags), command, reqId, payload);
}

Bytes encodeAck(uint16_t answer, uint16_t status, uint16_t ackId, const Bytes &payload)
{
    return packHeader(status, answer, ackId, payload);
}

std::optional<Command> decodeCommand(const uint8_t *data, size_t size)
{
    Command cmd;
    uint16_t first = 0;
    if (!unpackHeader(data, size, first, cmd.header.command, cmd.header.length, cmd.header.reqId, cmd.payload) ||
        (first >> 8) != kKey)
        return std::nullopt;
    cmd.header.flags = uint8_t(first);
    return cmd;
}

bool decodeAck(const uint8_t *data, size_t size, Ack &aAck)
{
    return unpackHeader(data, size, aAck.header.status, aAck.header.answer, aAck.header.length, aAck.header.ackId,
                        aAck.payload);
}

std::optional<Ack> decodeAck(const uint8_t *data, size_t size)
{
    Ack ack;
    if (!decodeAck(data, size, ack)) return std::nullopt;
    return ack;
}

Bytes encodeEmptyAck(uint16_t answer, uint16_t ackId, uint16_t status)
{
    return encodeAck(answer, status, ackId, {});
}

RequestIds::RequestIds() : mNext(uint16_t(std::random_device{}())) {}

uint16_t RequestIds::Next()
{
    for (;;) {
        const uint16_t id = mNext.fetch_add(1);
        if (id) return id;
    }
}

// ---- Device identity ------------------------------------------------------

Bytes DeviceIdentity::Encode() const
{
    Bytes out;
    out.reserve(kDiscoveryAckSize);
    Writer w(out);
    w.U16(versionMajor);
    w.U16(versionMinor);
    w.U32(deviceMode);
    w.U16(0);
    w.Bytes(mac.data(), 2);
    w.Bytes(mac.data() + 2, 4);
    w.U32(ipConfigOptions);
    w.U32(ipConfigCurrent);
    writeAddresses(w, ip, subnetMask, gateway);
    w.Text(manufacturerName, 32);
    w.Text(modelName, 32);
    w.Text(deviceVersion, 32);
    w.Text(manufacturerInfo, 48);
    w.Text(serialNumber, 16);
    w.Text(userDefinedName, 16);
    return out;
}

std::optional<DeviceIdentity> DeviceIdentity::Decode(const uint8_t *data, size_t size)
{
    Reader r(data, size);
    DeviceIdentity d;
    d.versionMajor = r.U16();
    d.versionMinor = r.U16();
    d.deviceMode = r.U32();
    r.Skip(2);
    Bytes mac = r.Bytes(6);
    if (mac.size() == 6) std::memcpy(d.mac.data(), mac.data(), 6);
    d.ipConfigOptions = r.U32();
    d.ipConfigCurrent = r.U32();
    readAddresses(r, d.ip, d.subnetMask, d.gateway);
    d.manufacturerName = r.Text(32);
    d.modelName = r.Text(32);
    d.deviceVersion = r.Text(32);
    d.manufacturerInfo = r.Text(48);
    d.serialNumber = r.Text(16);
    d.userDefinedName = r.Text(16);
    if (!r.Ok()) return std::nullopt;
    return d;
}

Bytes encodeDiscoveryCmd(uint16_t reqId, bool allowBroadcastAck)
{
    uint8_t flags = FLAG_ACK_REQUIRED | (allowBroadcastAck ? FLAG_DISCOVERY_BROADCAST_ACK : 0);
    return finish(DISCOVERY_CMD, flags, reqId, {});
}

Bytes encodeDiscoveryAck(uint16_t ackId, const DeviceIdentity &identity)
{
    return encodeAck(DISCOVERY_ACK, STATUS_SUCCESS, ackId, identity.Encode());
}

std::optional<DeviceIdentity> decodeDiscoveryAck(const uint8_t *data, size_t size, uint16_t *ackId)
{
    auto ack = decodeAck(data, size);
    if (!ack || ack->header.answer != DISCOVERY_ACK || ack->header.status != STATUS_SUCCESS)
        return std::nullopt;
    auto identity = DeviceIdentity::Decode(ack->payload.data(), ack->payload.size());
    if (identity && ackId) *ackId = ack->header.ackId;
    return identity;
}

// ---- FORCEIP ----------------------------------------------------------------

Bytes ForceIp::Encode(uint16_t reqId) const
{
    Bytes p;
    Writer w(p);
    w.U16(0);
    w.Bytes(mac.data(), 6);
    writeAddresses(w, ip, subnetMask, gateway);
    return finish(FORCEIP_CMD, FLAG_ACK_REQUIRED, reqId, p);
}

std::optional<ForceIp> ForceIp::Decode(const Command &cmd)
{
    if (!isCommand(cmd, FORCEIP_CMD)) return std::nullopt;
    Reader r(cmd.payload.data(), cmd.payload.size());
    ForceIp f;
    r.Skip(2);
    Bytes mac = r.Bytes(6);
    if (mac.size() == 6) std::memcpy(f.mac.data(), mac.data(), 6);
    readAddresses(r, f.ip, f.subnetMask, f.gateway);
    if (!r.Ok()) return std::nullopt;
    return f;
}

// ---- Registers and memory -------------------------------------------------------

Bytes ReadRegCmd::Encode(uint16_t reqId) const
{
    return Encode(addresses.data(), addresses.size(), reqId);
}

Bytes ReadRegCmd::Encode(const uint32_t *addresses, size_t count, uint16_t reqId)
{
    // Header and addresses written straight into one buffer of the packet's
    // size: a register read makes no other.
    Bytes out;
    out.reserve(kHeaderSize + count * 4);
    Writer w(out);
    writeHeader(w, uint16_t((kKey << 8) | FLAG_ACK_REQUIRED), READREG_CMD, count * 4, reqId);
    for (size_t k = 0; k < count; ++k) w.U32(addresses[k]);
    return out;
}

std::optional<ReadRegCmd> ReadRegCmd::Decode(const Command &cmd)
{
    size_t n = cmd.payload.size();
    if (!isCommand(cmd, READREG_CMD) || n == 0 || n % 4 || n > kMaxPayload) return std::nullopt;
    Reader r(cmd.payload.data(), n);
    ReadRegCmd c;
    while (r.Left()) c.addresses.push_back(r.U32());
    return c;
}

Bytes ReadRegAck::Encode(uint16_t ackId, uint16_t status) const
{
    Bytes p;
    Writer w(p);
    for (uint32_t v : values) w.U32(v);
    return encodeAck(READREG_ACK, status, ackId, p);
}

std::optional<ReadRegAck> ReadRegAck::Decode(const Ack &ack)
{
    ReadRegAck a;
    a.values.resize(ack.payload.size() / 4);
    if (!DecodeInto(ack, a.values.data(), a.values.size())) return std::nullopt;
    return a;
}

bool ReadRegAck::DecodeInto(const Ack &ack, uint32_t *values, size_t count)
{
    size_t n = ack.payload.size();
    if (ack.header.answer != READREG_ACK || n % 4 || n / 4 != count) return false;
    Reader r(ack.payload.data(), n);
    for (size_t k = 0; k < count; ++k) values[k] = r.U32();
    return true;
}

Bytes WriteRegCmd::Encode(uint16_t reqId) const
{
    Bytes p;
    p.reserve(writes.size() * 8);
    Writer w(p);
    for (const auto &aw : writes) {
        w.U32(aw.first);
        w.U32(aw.second);
    }
    return finish(WRITEREG_CMD, FLAG_ACK_REQUIRED, reqId, p);
}

std::optional<WriteRegCmd> WriteRegCmd::Decode(const Command &cmd)
{
    size_t n = cmd.payload.size();
    if (!isCommand(cmd, WRITEREG_CMD) || n == 0 || n % 8 || n > kMaxPayload) return std::nullopt;
    Reader r(cmd.payload.data(), n);
    WriteRegCmd c;
    while (r.Left()) {
        uint32_t a = r.U32();
        uint32_t v = r.U32();
        c.writes.emplace_back(a, v);
    }
    return c;
}

Bytes WriteAck::Encode(uint16_t answer, uint16_t ackId, uint16_t status) const
{
    Bytes p;
    Writer w(p);
    w.U16(0);
    w.U16(index);
    return encodeAck(answer, status, ackId, p);
}

std::optional<WriteAck> WriteAck::Decode(const Ack &ack)
{
    if (ack.header.answer != WRITEREG_ACK && ack.header.answer != WRITEMEM_ACK) return std::nullopt;
    Reader r(ack.payload.data(), ack.payload.size());
    WriteAck a;
    r.U16();
    a.index = r.U16();
    if (!r.Ok()) return std::nullopt;
    return a;
}

Bytes ReadMemCmd::Encode(uint16_t reqId) const
{
    Bytes p;
    p.reserve(8);
    Writer w(p);
    w.U32(address);
    w.U16(0);
    w.U16(count);
    return finish(READMEM_CMD, FLAG_ACK_REQUIRED, reqId, p);
}

std::optional<ReadMemCmd> ReadMemCmd::Decode(const Command &cmd)
{
    if (!isCommand(cmd, READMEM_CMD)) return std::nullopt;
    Reader r(cmd.payload.data(), cmd.payload.size());
    ReadMemCmd c;
    c.address = r.U32();
    r.U16();
    c.count = r.U16();
    if (!r.Ok()) return std::nullopt;
    return c;
}

Bytes ReadMemAck::Encode(uint16_t ackId, uint16_t status) const
{
    Bytes p;
    Writer w(p);
    w.U32(address);
    w.Bytes(data.data(), data.size());
    return encodeAck(READMEM_ACK, status, ackId, p);
}

std::optional<ReadMemAck> ReadMemAck::Decode(const Ack &ack)
{
    if (ack.header.answer != READMEM_ACK) return std::nullopt;
    Reader r(ack.payload.data(), ack.payload.size());
    ReadMemAck a;
    a.address = r.U32();
    a.data = r.Bytes(r.Left());
    if (!r.Ok()) return std::nullopt;
    return a;
}

Bytes WriteMemCmd::Encode(uint16_t reqId) const
{
    Bytes p;
    Writer w(p);
    w.U32(address);
    w.Bytes(data.data(), data.size());
    return finish(WRITEMEM_CMD, FLAG_ACK_REQUIRED, reqId, p);
}

std::optional<WriteMemCmd> WriteMemCmd::Decode(const Command &cmd)
{
    if (!isCommand(cmd, WRITEMEM_CMD)) return std::nullopt;
    Reader r(cmd.payload.data(), cmd.payload.size());
    WriteMemCmd c;
    c.address = r.U32();
    c.data = r.Bytes(r.Left());
    if (!r.Ok() || c.data.empty() || c.data.size() % 4 || c.data.size() > kMaxPayload - 4) return std::nullopt;
    return c;
}

// ---- Stream resend, pending, events and actions ------------------------------------

Bytes PacketResendCmd::Encode(uint16_t reqId) const
{
    Bytes p;
    Writer w(p);
    w.U16(streamChannel);
    if (extendedId) {
        w.U16(0);
        w.U32(firstPacketId);
        w.U32(lastPacketId);
        w.U64(blockId);
    } else {
        w.U16(uint16_t(blockId));
        w.U32(firstPacketId & 0xFFFFFF);
        w.U32(lastPacketId & 0xFFFFFF);
    }
    // The device never acknowledges a resend request.
    return finish(PACKETRESEND_CMD, extendedId ? FLAG_EXTENDED_ID : 0, reqId, p);
}

std::optional<PacketResendCmd> PacketResendCmd::Decode(const Command &cmd)
{
    if (!isCommand(cmd, PACKETRESEND_CMD)) return std::nullopt;
    Reader r(cmd.payload.data(), cmd.payload.size());
    PacketResendCmd c;
    c.extendedId = (cmd.header.flags & FLAG_EXTENDED_ID) != 0;
    c.streamChannel = r.U16();
    if (c.extendedId) {
        r.U16();
        c.firstPacketId = r.U32();
        c.lastPacketId = r.U32();
        c.blockId = r.U64();
    } else {
        c.blockId = r.U16();
        c.firstPacketId = r.U32() & 0xFFFFFF;
        c.lastPacketId = r.U32() & 0xFFFFFF;
    }
    if (!r.Ok()) return std::nullopt;
    return c;
}

Bytes PendingAck::Encode(uint16_t ackId) const
{
    Bytes p;
    Writer w(p);
    w.U16(0);
    w.U16(timeToCompletionMs);
    return encodeAck(PENDING_ACK, STATUS_SUCCESS, ackId, p);
}

std::optional<PendingAck> PendingAck::Decode(const Ack &ack)
{
    if (ack.header.answer != PENDING_ACK) return std::nullopt;
    Reader r(ack.payload.data(), ack.payload.size());
    PendingAck a;
    r.U16();
    a.timeToCompletionMs = r.U16();
    if (!r.Ok()) return std::nullopt;
    return a;
}

Bytes EventCmd::Encode(uint16_t reqId) const
{
    Bytes p;
    Writer w(p);
    for (const Event &e : events) writeEvent(w, e, extendedId);
    return finish(EVENT_CMD, uint8_t(FLAG_ACK_REQUIRED | (extendedId ? FLAG_EXTENDED_ID : 0)), reqId, p);
}

std::optional<EventCmd> EventCmd::Decode(const Command &cmd)
{
    if (!isCommand(cmd, EVENT_CMD)) return std::nullopt;
    EventCmd c;
    c.extendedId = (cmd.header.flags & FLAG_EXTENDED_ID) != 0;
    size_t each = eventSize(c.extendedId);
    size_t n = cmd.payload.size();
    if (n == 0 || n % each) return std::nullopt;
    Reader r(cmd.payload.data(), n);
    while (r.Left() >= each) c.events.push_back(readEvent(r, c.extendedId));
    if (!r.Ok()) return std::nullopt;
    return c;
}

Bytes EventDataCmd::Encode(uint16_t reqId) const
{
    Bytes p;
    Writer w(p);
    writeEvent(w, event, extendedId);
    w.Bytes(data.data(), data.size());
    return finish(EVENTDATA_CMD, uint8_t(FLAG_ACK_REQUIRED | (extendedId ? FLAG_EXTENDED_ID : 0)), reqId, p);
}

std::optional<EventDataCmd> EventDataCmd::Decode(const Command &cmd)
{
    if (!isCommand(cmd, EVENTDATA_CMD)) return std::nullopt;
    EventDataCmd c;
    c.extendedId = (cmd.header.flags & FLAG_EXTENDED_ID) != 0;
    Reader r(cmd.payload.data(), cmd.payload.size());
    c.event = readEvent(r, c.extendedId);
    c.data = r.Bytes(r.Left());
    if (!r.Ok()) return std::nullopt;
    return c;
}

Bytes ActionCmd::Encode(uint16_t reqId, bool ackRequired) const
{
    Bytes p;
    Writer w(p);
    w.U32(deviceKey);
    w.U32(groupKey);
    w.U32(groupMask);
    if (actionTime) w.U64(*actionTime);
    uint8_t flags = uint8_t((ackRequired ? FLAG_ACK_REQUIRED : 0) | (actionTime ? FLAG_SCHEDULED_ACTION : 0));
    return finish(ACTION_CMD, flags, reqId, p);
}

std::optional<ActionCmd> ActionCmd::Decode(const Command &cmd)
{
    if (!isCommand(cmd, ACTION_CMD)) return std::nullopt;
    Reader r(cmd.payload.data(), cmd.payload.size());
    ActionCmd c;
    c.deviceKey = r.U32();
    c.groupKey = r.U32();
    c.groupMask = r.U32();
    if (cmd.header.flags & FLAG_SCHEDULED_ACTION) c.actionTime = r.U64();
    if (!r.Ok()) return std::nullopt;
    return c;
}

// ---- Text forms -------------------------------------------------------------------

std::string formatIPv4(uint32_t a)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
    return buf;
}

bool parseIPv4(const std::string &text, uint32_t &out)
{
    uint32_t value = 0;
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
        uint32_t part = 0;
        size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            part = part * 10 + uint32_t(text[i] - '0');
            ++i;
            ++digits;
        }
        if (part > 255 || digits > 3) return false;
        value = (value << 8) | part;
        ++parts;
        if (parts < 4) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
    }
    if (i != text.size()) return false;
    out = value;
    return true;
}

std::string formatMac(const Mac &mac, char separator, bool upper)
{
    char buf[18];
    std::snprintf(buf, sizeof buf, upper ? "%02X%c%02X%c%02X%c%02X%c%02X%c%02X" : "%02x%c%02x%c%02x%c%02x%c%02x%c%02x",
                  mac[0], separator, mac[1], separator, mac[2], separator, mac[3], separator, mac[4], separator, mac[5]);
    return buf;
}

bool parseMac(const std::string &text, Mac &mac)
{
    // Six pairs of hexadecimal digits with any one separator (":", "-", ".").
    if (text.size() != 17) return false;
    Mac out{};
    for (size_t k = 0; k < 6; ++k) {
        uint8_t v = 0;
        for (size_t j = 0; j < 2; ++j) {
            char c = text[k * 3 + j];
            uint8_t d;
            if (c >= '0' && c <= '9') d = uint8_t(c - '0');
            else if (c >= 'a' && c <= 'f') d = uint8_t(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') d = uint8_t(c - 'A' + 10);
            else return false;
            v = uint8_t((v << 4) | d);
        }
        out[k] = v;
        if (k < 5 && text[k * 3 + 2] != text[2]) return false;
    }
    if (text[2] != ':' && text[2] != '-' && text[2] != '.') return false;
    mac = out;
    return true;
}

} // namespace gvcp
} // namespace tarn
