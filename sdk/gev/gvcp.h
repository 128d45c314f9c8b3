#ifndef TARN_GEV_GVCP_H
#define TARN_GEV_GVCP_H

// GigE Vision control protocol (GVCP): the packets both the receiving side
// and the device side exchange on UDP port 3956. Every decoder takes raw
// bytes from the network: it checks each length before it reads and gives
// std::nullopt for anything malformed or truncated, so a caller simply
// drops such a packet. Nothing here keeps state: the library is linked
// into several shared objects, each of which would get its own copy.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarn {
namespace gvcp {

using Bytes = std::vector<uint8_t>;
using Mac = std::array<uint8_t, 6>;

constexpr uint16_t kPort = 3956;
constexpr uint8_t kKey = 0x42;
constexpr size_t kHeaderSize = 8;
// Largest GVCP payload a standard device accepts (576-byte datagram).
constexpr size_t kMaxPayload = 540;

enum : uint16_t {
    DISCOVERY_CMD = 0x0002, DISCOVERY_ACK = 0x0003,
    FORCEIP_CMD = 0x0004, FORCEIP_ACK = 0x0005,
    PACKETRESEND_CMD = 0x0040,
    READREG_CMD = 0x0080, READREG_ACK = 0x0081,
    WRITEREG_CMD = 0x0082, WRITEREG_ACK = 0x0083,
    READMEM_CMD = 0x0084, READMEM_ACK = 0x0085,
    WRITEMEM_CMD = 0x0086, WRITEMEM_ACK = 0x0087,
    PENDING_ACK = 0x0089,
    EVENT_CMD = 0x00C0, EVENT_ACK = 0x00C1,
    EVENTDATA_CMD = 0x00C2, EVENTDATA_ACK = 0x00C3,
    ACTION_CMD = 0x0100, ACTION_ACK = 0x0101,
};

// Command flags (high byte of the first header word after the key).
enum : uint8_t {
    FLAG_ACK_REQUIRED = 0x01,
    FLAG_DISCOVERY_BROADCAST_ACK = 0x10,
    FLAG_EXTENDED_ID = 0x10,          // PACKETRESEND, EVENT, EVENTDATA
    FLAG_SCHEDULED_ACTION = 0x80,     // ACTION
};

// Acknowledge status codes.
enum : uint16_t {
    STATUS_SUCCESS = 0x0000,
    STATUS_PACKET_RESEND = 0x0100,
    STATUS_NOT_IMPLEMENTED = 0x8001,
    STATUS_INVALID_PARAMETER = 0x8002,
    STATUS_INVALID_ADDRESS = 0x8003,
    STATUS_WRITE_PROTECT = 0x8004,
    STATUS_BAD_ALIGNMENT = 0x8005,
    STATUS_ACCESS_DENIED = 0x8006,
    STATUS_BUSY = 0x8007,
    STATUS_PACKET_UNAVAILABLE = 0x800C,
    STATUS_INVALID_HEADER = 0x800E,
    STATUS_ERROR = 0x8FFF,
};

struct CommandHeader {
    uint8_t flags = 0;
    uint16_t command = 0;
    uint16_t length = 0;
    uint16_t reqId = 0;
};

struct AckHeader {
    uint16_t status = 0;
    uint16_t answer = 0;
    uint16_t length = 0;
    uint16_t ackId = 0;
};

// A packet split into its header and the payload that the header's length
// announces (bytes beyond it are ignored, as the standard asks).
struct Command {
    CommandHeader header;
    Bytes payload;
};
struct Ack {
    AckHeader header;
    Bytes payload;
};

Bytes encodeCommand(uint16_t command, uint8_t flags, uint16_t reqId, const Bytes &payload);
Bytes encodeAck(uint16_t answer, uint16_t status, uint16_t ackId, const Bytes &payload);
std::optional<Command> decodeCommand(const uint8_t *data, size_t size);
std::optional<Ack> decodeAck(const uint8_t *data, size_t size);
// The same into aAck, whose payload keeps its room for the next answer (a
// requester decodes every answer into one); false as nullopt above.
bool decodeAck(const uint8_t *data, size_t size, Ack &aAck);

// The request ids one requester gives its commands, each the one after the
// last and never 0, which no request has. By default they start at a random
// place, so that an answer meant for an earlier run of the same requester
// is not taken for one of this run. Thread-safe.
class RequestIds
{
public:
    RequestIds();
    explicit RequestIds(uint16_t aFirst) : mNext(aFirst) {}
    uint16_t Next();

private:
    std::atomic<uint16_t> mNext;
};

// ---- Device identity: the DISCOVERY_ACK payload, also the first 248 bytes
// of the bootstrap registers.
constexpr size_t kDiscoveryAckSize = 248;

// IP configuration bits (supported and current IP configuration registers).
enum : uint32_t {
    IPCONFIG_PERSISTENT = 0x00000001,
    IPCONFIG_DHCP = 0x00000002,
    IPCONFIG_LLA = 0x00000004,
    IPCONFIG_PAUSE_GENERATION = 0x40000000,
    IPCONFIG_PAUSE_RECEPTION = 0x80000000,
};

// Device mode register fields.
constexpr uint32_t DEVICEMODE_BIG_ENDIAN = 0x80000000;
constexpr uint32_t DEVICEMODE_CLASS_SHIFT = 28;
constexpr uint32_t DEVICEMODE_CLASS_MASK = 0x7;
constexpr uint32_t DEVICEMODE_CHARSET_UTF8 = 0x1;

struct DeviceIdentity {
    uint16_t versionMajor = 2;
    uint16_t versionMinor = 0;
    uint32_t deviceMode = DEVICEMODE_BIG_ENDIAN | DEVICEMODE_CHARSET_UTF8;
    Mac mac{};
    uint32_t ipConfigOptions = IPCONFIG_LLA | IPCONFIG_DHCP | IPCONFIG_PERSISTENT;
    uint32_t ipConfigCurrent = IPCONFIG_LLA | IPCONFIG_DHCP;
    uint32_t ip = 0;       // host order
    uint32_t subnetMask = 0;
    uint32_t gateway = 0;
    std::string manufacturerName;   // at most 32 bytes on the wire
    std::string modelName;          // 32
    std::string deviceVersion;      // 32
    std::string manufacturerInfo;   // 48
    std::string serialNumber;       // 16
    std::string userDefinedName;    // 16

    // 0 transmitter, 1 receiver, 2 transceiver, 3 peripheral.
    uint32_t DeviceClass() const { return (deviceMode >> DEVICEMODE_CLASS_SHIFT) & DEVICEMODE_CLASS_MASK; }

    Bytes Encode() const;
    static std::optional<DeviceIdentity> Decode(const uint8_t *data, size_t size);
};

Bytes encodeDiscoveryCmd(uint16_t reqId, bool allowBroadcastAck = false);
Bytes encodeDiscoveryAck(uint16_t ackId, const DeviceIdentity &identity);
// The identity of a DISCOVERY_ACK with success status, else nullopt.
std::optional<DeviceIdentity> decodeDiscoveryAck(const uint8_t *data, size_t size, uint16_t *ackId = nullptr);

struct ForceIp {
    Mac mac{};
    uint32_t ip = 0;
    uint32_t subnetMask = 0;
    uint32_t gateway = 0;
    Bytes Encode(uint16_t reqId) const;
    static std::optional<ForceIp> Decode(const Command &cmd);
};

struct ReadRegCmd {
    std::vector<uint32_t> addresses;  // 1 to 135
    Bytes Encode(uint16_t reqId) const;
    static Bytes Encode(const uint32_t *addresses, size_t count, uint16_t reqId);
    static std::optional<ReadRegCmd> Decode(const Command &cmd);
};
struct ReadRegAck {
    std::vector<uint32_t> values;
    Bytes Encode(uint16_t ackId, uint16_t status = STATUS_SUCCESS) const;
    static std::optional<ReadRegAck> Decode(const Ack &ack);
    // The values straight into `values`; false unless the acknowledge is
    // READREG_ACK with exactly count of them.
    static bool DecodeInto(const Ack &ack, uint32_t *values, size_t count);
};

struct WriteRegCmd {
    std::vector<std::pair<uint32_t, uint32_t>> writes;  // address, value; 1 to 67
    Bytes Encode(uint16_t reqId) const;
    static std::optional<WriteRegCmd> Decode(const Command &cmd);
};
// WRITEREG_ACK and WRITEMEM_ACK: index of the first entry not written
// (the count written when all succeeded).
struct WriteAck {
    uint16_t index = 0;
    Bytes Encode(uint16_t answer, uint16_t ackId, uint16_t status = STATUS_SUCCESS) const;
    static std::optional<WriteAck> Decode(const Ack &ack);
};

struct ReadMemCmd {
    uint32_t address = 0;
    uint16_t count = 0;  // multiple of 4, at most 536
    Bytes Encode(uint16_t reqId) const;
    static std::optional<ReadMemCmd> Decode(const Command &cmd);
};
struct ReadMemAck {
    uint32_t address = 0;
    Bytes data;
    Bytes Encode(uint16_t ackId, uint16_t status = STATUS_SUCCESS) const;
    static std::optional<ReadMemAck> Decode(const Ack &ack);
};

struct WriteMemCmd {
    uint32_t address = 0;
    Bytes data;  // multiple of 4, at most 536
    Bytes Encode(uint16_t reqId) const;
    static std::optional<WriteMemCmd> Decode(const Command &cmd);
};

struct PacketResendCmd {
    uint16_t streamChannel = 0;
    bool extendedId = false;
    uint64_t blockId = 0;       // 16 bits unless extendedId
    uint32_t firstPacketId = 0; // 24 bits unless extendedId
    uint32_t lastPacketId = 0;
    Bytes Encode(uint16_t reqId) const;
    static std::optional<PacketResendCmd> Decode(const Command &cmd);
};

struct PendingAck {
    uint16_t timeToCompletionMs = 0;
    Bytes Encode(uint16_t ackId) const;
    static std::optional<PendingAck> Decode(const Ack &ack);
};

struct Event {
    uint16_t eventId = 0;
    uint16_t streamChannel = 0xFFFF;
    uint64_t blockId = 0;   // 16 bits unless extended
    uint64_t timestamp = 0;
};
struct EventCmd {
    bool extendedId = false;
    std::vector<Event> events;
    Bytes Encode(uint16_t reqId) const;
    static std::optional<EventCmd> Decode(const Command &cmd);
};
struct EventDataCmd {
    bool extendedId = false;
    Event event;
    Bytes data;
    Bytes Encode(uint16_t reqId) const;
    static std::optional<EventDataCmd> Decode(const Command &cmd);
};

struct ActionCmd {
    uint32_t deviceKey = 0;
    uint32_t groupKey = 0;
    uint32_t groupMask = 0;
    std::optional<uint64_t> actionTime;  // a scheduled action
    Bytes Encode(uint16_t reqId, bool ackRequired = false) const;
    static std::optional<ActionCmd> Decode(const Command &cmd);
};

// An acknowledge without payload (FORCEIP, EVENT, EVENTDATA, ACTION).
Bytes encodeEmptyAck(uint16_t answer, uint16_t ackId, uint16_t status = STATUS_SUCCESS);

// Text forms.
std::string formatIPv4(uint32_t hostOrder);
bool parseIPv4(const std::string &text, uint32_t &hostOrder);
std::string formatMac(const Mac &mac, char separator, bool upper);
bool parseMac(const std::string &text, Mac &mac);

} // namespace gvcp
} // namespace tarn

#endif
