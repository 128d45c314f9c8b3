#include "gvcpserver/server.h"

#include "gev/wire.h"

#include <algorithm>
#include <functional>

namespace tarn {
namespace gvcpserver {

// The codec and the bootstrap registers this server speaks.
using namespace gvcp;

namespace {

constexpr uint32_t kTimestampFrequency = 1000000000;  // ticks per second: nanoseconds
constexpr size_t kRememberedControllers = 32;
constexpr uint32_t kMinHeartbeatMs = 100;
// A write that goes on (stillWriting) announces this much more time, again
// each half of it, so that the controller's wait never runs out first.
constexpr uint32_t kKeepAliveMs = 1000;

// A write to the model in progress on the server's thread, whose controller
// asked for pending acknowledges.
struct Writing {
    std::mutex *lock = nullptr;
    uint64_t *issued = nullptr;   // the statistics' count, under lock
    uint16_t reqId = 0;
    net::Endpoint from;
    ServerOutput *out = nullptr;
    Clock::time_point last;       // the request, or its last PENDING_ACK
};
thread_local Writing *tWriting = nullptr;

using gev::loadBig32;
using gev::storeBig32;

bool sameEndpoint(const net::Endpoint &a, const net::Endpoint &b) { return a.ip == b.ip && a.port == b.port; }

// The register that holds a word of a fixed-width text field.
struct Field {
    uint32_t address;
    uint32_t size;
};

std::string hex(uint64_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value);
    return out;
}

} // namespace

struct Server::Impl {
    struct Channel {
        uint32_t port = 0;       // SCP: host port in the low 16 bits
        uint32_t packetSize = 1500;
        uint32_t delay = 0;
        uint32_t destination = 0;
        uint32_t config = 0;
        uint16_t sourcePort = 0;
    };
    struct Group {
        uint32_t key = 0;
        uint32_t mask = 0;
        uint64_t fired = 0;
    };
    // The last command of one controller and what answered it, so that a
    // retry is answered again without doing the command twice.
    struct Remembered {
        net::Endpoint from;
        Bytes packet;  // a retry is this very packet again
        std::vector<Bytes> answers;
        uint64_t retries = 0;
    };
    struct QueuedEvent {
        bool withData = false;
        EventCmd event;
        EventDataCmd eventData;
    };
    struct InFlight {
        Bytes packet;
        uint16_t reqId = 0;
        bool withData = false;
        uint32_t retries = 0;
        Clock::time_point deadline;
    };
    using Notes = std::vector<std::function<void()>>;

    ServerConfig config;
    DeviceMemory *memory;
    ServerListener *listener;
    mutable std::mutex lock;

    DeviceIdentity identity;
    std::string firstUrl, secondUrl;
    Bytes description;  // padded to whole registers
    uint32_t persistentIp = 0, persistentMask = 0, persistentGateway = 0;
    uint32_t heartbeatTimeout;
    uint32_t gvcpConfig = 0;
    uint32_t gvspConfig = 0;
    uint32_t actionDeviceKey = 0;
    uint32_t ccp = 0;
    std::optional<net::Endpoint> primary;
    Clock::time_point lastHeard;
    Clock::time_point timestampBase;
    uint64_t latchedTimestamp = 0;
    uint32_t mcp = 0, mcda = 0, mctt, mcrc;
    uint16_t mcsp = 0;
    std::vector<Channel> channels;
    std::vector<Group> groups;
    ServerStats stats;
    std::deque<Remembered> remembered;
    std::deque<QueuedEvent> events;
    std::optional<InFlight> inFlight;
    RequestIds eventIds{1};

    Impl(ServerConfig aConfig, DeviceMemory *aMemory, ServerListener *aListener)
        : config(std::move(aConfig)), memory(aMemory), listener(aListener), identity(config.identity),
          heartbeatTimeout(std::max(config.heartbeatTimeoutMs, kMinHeartbeatMs)), mctt(config.messageTimeoutMs),
          mcrc(config.messageRetries), channels(std::min(config.streamChannels, reg::StreamChannelCount)),
          groups(std::min<uint32_t>(config.actionSignals, 128))
    {
        persistentIp = identity.ip;
        persistentMask = identity.subnetMask;
        persistentGateway = identity.gateway;
        UseDescription(config.description);
        secondUrl = config.secondUrl;
        timestampBase = Clock::now();
        for (uint32_t k = 0; k < channels.size(); ++k)
            if (const FieldLimit *l = LimitOf(streamChannelRegister(reg::StreamChannelPacketSize0, k))) {
                uint32_t &size = channels[k].packetSize;
                while (size > 0 && !l->Takes(size)) --size;
            }
    }

    const FieldLimit *LimitOf(uint32_t address) const
    {
        for (const FieldLimit &l : config.limits)
            if (l.address == address) return &l;
        return nullptr;
    }

    void UseDescription(const Bytes &text)
    {
        description = text;
        description.resize((description.size() + 3) / 4 * 4, 0);
        firstUrl = config.firstUrl;
        if (!text.empty())
            firstUrl = "Local:" + config.descriptionName + ";" + hex(config.descriptionAddress) + ";" + hex(text.size());
    }

    uint32_t GvcpCapability() const
    {
        return GVCPCAP_USER_DEFINED_NAME | GVCPCAP_SERIAL_NUMBER | GVCPCAP_HEARTBEAT_DISABLE | GVCPCAP_LINK_SPEED |
               GVCPCAP_CCP_APPLICATION | GVCPCAP_TEST_DATA | GVCPCAP_UNCONDITIONAL_ACTION | GVCPCAP_ACTION |
               GVCPCAP_PENDING_ACK | GVCPCAP_EVENTDATA | GVCPCAP_EVENT |
               (config.packetResend ? GVCPCAP_PACKETRESEND : 0) | GVCPCAP_WRITEMEM | GVCPCAP_CONCATENATION;
    }

    uint64_t Timestamp(Clock::time_point now) const
    {
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now - timestampBase).count();
        return ns < 0 ? 0 : uint64_t(ns);
    }

    Access GetAccess() const
    {
        if (!primary) return Access::None;
        return (ccp & CCP_EXCLUSIVE) ? Access::Exclusive : Access::Control;
    }

    bool InDescription(uint32_t address) const
    {
        return !description.empty() && address >= config.descriptionAddress &&
               address - config.descriptionAddress < description.size();
    }

    // ---- The bootstrap block -------------------------------------------------

    // A byte of a text register (identity texts, URLs); false if address is
    // in none of them.
    bool TextWord(uint32_t address, uint32_t &value) const
    {
        Bytes head = identity.Encode();
        if (address + 4 <= head.size() && address >= reg::ManufacturerName) {
            value = loadBig32(head.data() + address);
            return true;
        }
        const std::string *url = nullptr;
        uint32_t base = 0;
        if (address >= reg::FirstURL && address < reg::FirstURL + reg::UrlSize) {
            url = &firstUrl;
            base = reg::FirstURL;
        } else if (address >= reg::SecondURL && address < reg::SecondURL + reg::UrlSize) {
            url = &secondUrl;
            base = reg::SecondURL;
        }
        if (!url) return false;
        uint8_t bytes[4] = {};
        for (uint32_t k = 0; k < 4; ++k) {
            size_t at = size_t(address - base + k);
            // The last byte of the field stays a terminating null.
            if (at < url->size() && at < reg::UrlSize - 1) bytes[k] = uint8_t((*url)[at]);
        }
        value = loadBig32(bytes);
        return true;
    }

    // A channel register: the channel and the register of channel 0.
    bool ChannelRegister(uint32_t address, uint32_t &channel, uint32_t &base) const
    {
        if (address < reg::StreamChannelPort0) return false;
        uint32_t offset = address - reg::StreamChannelPort0;
        channel = offset / reg::StreamChannelStride;
        if (channel >= channels.size()) return false;
        base = reg::StreamChannelPort0 + offset % reg::StreamChannelStride;
        return true;
    }

    bool GroupRegister(uint32_t address, uint32_t &group, bool &isMask) const
    {
        if (address < reg::ActionGroupKey0) return false;
        uint32_t offset = address - reg::ActionGroupKey0;
        group = offset / reg::ActionGroupStride;
        if (group >= groups.size()) return false;
        uint32_t within = offset % reg::ActionGroupStride;
        if (within != 0 && within != 4) return false;
        isMask = within == 4;
        return true;
    }

    // A bootstrap register; false for an address that holds none.
    bool ReadBootstrap(uint32_t address, uint32_t &value, Clock::time_point now) const
    {
        (void)now;
        uint32_t channel = 0, base = 0, group = 0;
        bool isMask = false;
        switch (address) {
        case reg::Version: value = (uint32_t(identity.versionMajor) << 16) | identity.versionMinor; return true;
        case reg::DeviceMode: value = identity.deviceMode; return true;
        case reg::MacHigh: value = (uint32_t(identity.mac[0]) << 8) | identity.mac[1]; return true;
        case reg::MacLow: value = loadBig32(identity.mac.data() + 2); return true;
        case reg::SupportedIPConfig: value = identity.ipConfigOptions; return true;
        case reg::CurrentIPConfig: value = identity.ipConfigCurrent; return true;
        case reg::CurrentIPAddress: value = identity.ip; return true;
        case reg::CurrentSubnetMask: value = identity.subnetMask; return true;
        case reg::CurrentDefaultGateway: value = identity.gateway; return true;
        case reg::NumberOfNetworkInterfaces: value = 1; return true;
        case reg::PersistentIPAddress: value = persistentIp; return true;
        case reg::PersistentSubnetMask: value = persistentMask; return true;
        case reg::PersistentDefaultGateway: value = persistentGateway; return true;
        case reg::LinkSpeed: value = 1000; return true;
        case reg::NumberOfMessageChannels: value = 1; return true;
        case reg::NumberOfStreamChannels: value = uint32_t(channels.size()); return true;
        case reg::NumberOfActionSignals: value = uint32_t(groups.size()); return true;
        case reg::ActionDeviceKey: value = actionDeviceKey; return true;
        case reg::NumberOfActiveLinks: value = 1; return true;
        case reg::GVSPCapability: value = 0; return true;
        case reg::MessageChannelCapability: value = MCCAP_SOURCE_PORT; return true;
        case reg::GVCPCapability: value = GvcpCapability(); return true;
        case reg::HeartbeatTimeout: value = heartbeatTimeout; return true;
        case reg::TimestampTickFrequencyHigh: value = 0; return true;
        case reg::TimestampTickFrequencyLow: value = kTimestampFrequency; return true;
        case reg::TimestampValueHigh: value = uint32_t(latchedTimestamp >> 32); return true;
        case reg::TimestampValueLow: value = uint32_t(latchedTimestamp); return true;
        case reg::DiscoveryAckDelay: value = 0; return true;
        case reg::GVCPConfiguration: value = gvcpConfig; return true;
        case reg::PendingTimeout: value = config.pendingTimeoutMs; return true;
        case reg::GVSPConfiguration: value = gvspConfig; return true;
        case reg::ControlChannelPrivilege: value = ccp; return true;
        case reg::PrimaryApplicationPort: value = primary ? primary->port : 0; return true;
        case reg::PrimaryApplicationIPAddress: value = primary ? primary->ip : 0; return true;
        case reg::MessageChannelPort: value = mcp; return true;
        case reg::MessageChannelDestination: value = mcda; return true;
        case reg::MessageChannelTransmissionTimeout: value = mctt; return true;
        case reg::MessageChannelRetryCount: value = mcrc; return true;
        case reg::MessageChannelSourcePort: value = mcsp; return true;
        default: break;
        }
        if (TextWord(address, value)) return true;
        if (ChannelRegister(address, channel, base)) {
            const Channel &c = channels[channel];
            switch (base) {
            case reg::StreamChannelPort0: value = c.port; return true;
            case reg::StreamChannelPacketSize0: value = c.packetSize; return true;
            case reg::StreamChannelPacketDelay0: value = c.delay; return true;
            case reg::StreamChannelDestination0: value = c.destination; return true;
            case reg::StreamChannelSourcePort0: value = c.sourcePort; return true;
            case reg::StreamChannelCapability0:
                value = SCCAP_SOURCE_PORT |
                        (channel < config.streamCapabilities.size() ? config.streamCapabilities[channel] : 0);
                return true;
            case reg::StreamChannelConfiguration0: value = c.config; return true;
            default: return false;
            }
        }
        if (GroupRegister(address, group, isMask)) {
            value = isMask ? groups[group].mask : groups[group].key;
            return true;
        }
        return false;
    }

    StreamChannel ChannelView(const Channel &c) const
    {
        StreamChannel out;
        out.destination = {c.destination, uint16_t(c.port & 0xFFFF)};
        out.packetSize = c.packetSize & SCPS_SIZE_MASK;
        out.doNotFragment = (c.packetSize & SCPS_DO_NOT_FRAGMENT) != 0;
        out.packetDelay = c.delay;
        out.sourcePort = c.sourcePort;
        out.configuration = c.config;
        return out;
    }

    void NoteChannel(uint32_t channel, Notes &notes)
    {
        StreamChannel view = ChannelView(channels[channel]);
        ServerListener *l = listener;
        if (l) notes.push_back([l, channel, view] { l->OnStreamChannel(channel, view); });
    }

    void SendTestPacket(uint32_t channel, ServerOutput &out)
    {
        const Channel &c = channels[channel];
        uint32_t size = c.packetSize & SCPS_SIZE_MASK;
        if (size < kIpUdpHeaderSize + 8 || !c.destination || !(c.port & 0xFFFF)) return;
        ++stats.gvspTestPacketsIssued;
        if (config.testPacketLimit && size > config.testPacketLimit) return;
        out.SendTestPacket(channel, size - kIpUdpHeaderSize, (c.packetSize & SCPS_DO_NOT_FRAGMENT) != 0,
                           {c.destination, uint16_t(c.port & 0xFFFF)});
    }

    // Lets go of the controller: its channels close, its settings go.
    void Release(bool expired, Notes &notes)
    {
        if (!primary) return;
        primary.reset();
        ccp = 0;
        gvcpConfig = 0;
        ++stats.sessionsClosed;
        if (expired) ++stats.heartbeatFailedCount;
        mcp = mcda = 0;
        events.clear();
        inFlight.reset();
        for (uint32_t k = 0; k < channels.size(); ++k) {
            Channel &c = channels[k];
            if (c.port || c.destination || c.config) {
                c.port = 0;
                c.destination = 0;
                c.config = 0;
                NoteChannel(k, notes);
            }
        }
        ServerListener *l = listener;
        if (l) notes.push_back([l, expired] { l->OnControlReleased(expired); });
    }

    Status WritePrivilege(uint32_t value, const net::Endpoint &from, Clock::time_point now, Notes &notes)
    {
        const uint32_t wanted = value & (CCP_CONTROL | CCP_EXCLUSIVE);
        if (primary && !sameEndpoint(*primary, from)) return STATUS_ACCESS_DENIED;
        if (!wanted) {
            Release(false, notes);
            return STATUS_SUCCESS;
        }
        // Switchover is not offered: the enable bit is not kept.
        ccp = wanted;
        if (!primary) {
            primary = from;
            lastHeard = now;
            ++stats.sessionsOpened;
            ServerListener *l = listener;
            Access a = GetAccess();
            net::Endpoint who = from;
            if (l) notes.push_back([l, who, a] { l->OnControlTaken(who, a); });
        }
        return STATUS_SUCCESS;
    }

    // A write of one bootstrap register. With apply false it only answers
    // what the write would be answered, changing nothing: a write of several
    // registers is checked whole before any of it is applied.
    Status WriteBootstrap(uint32_t address, uint32_t value, bool apply, const net::Endpoint &from,
                          Clock::time_point now, ServerOutput &out, Notes &notes)
    {
        if (const FieldLimit *l = LimitOf(address))
            if (!l->Takes(value)) return STATUS_INVALID_PARAMETER;
        auto keep = [apply](uint32_t &field, uint32_t v) {
            if (apply) field = v;
            return Status(STATUS_SUCCESS);
        };
        if (address >= reg::UserDefinedName && address < reg::UserDefinedName + 16) {
            if (!apply) return STATUS_SUCCESS;
            Bytes head = identity.Encode();
            storeBig32(head.data() + address, value);
            identity.userDefinedName = gev::Reader(head.data() + reg::UserDefinedName, 16).Text(16);
            return STATUS_SUCCESS;
        }
        uint32_t channel = 0, base = 0, group = 0;
        bool isMask = false;
        switch (address) {
        case reg::PersistentIPAddress: return keep(persistentIp, value);
        case reg::PersistentSubnetMask: return keep(persistentMask, value);
        case reg::PersistentDefaultGateway: return keep(persistentGateway, value);
        case reg::ActionDeviceKey: return keep(actionDeviceKey, value);
        case reg::HeartbeatTimeout: return keep(heartbeatTimeout, std::max(value, kMinHeartbeatMs));
        case reg::TimestampControl:
            if (apply && (value & TIMESTAMP_RESET)) timestampBase = now;
            if (apply && (value & TIMESTAMP_LATCH)) latchedTimestamp = Timestamp(now);
            return STATUS_SUCCESS;
        case reg::GVCPConfiguration:
            return keep(gvcpConfig, value & (GVCPCFG_HEARTBEAT_DISABLE | GVCPCFG_PENDING_ACK_ENABLE | GVCPCFG_UNCONDITIONAL_ACTION));
        case reg::GVSPConfiguration: return keep(gvspConfig, value & 0x40000000);
        case reg::ControlChannelPrivilege:
            if (primary && !sameEndpoint(*primary, from)) return STATUS_ACCESS_DENIED;
            return apply ? WritePrivilege(value, from, now, notes) : Status(STATUS_SUCCESS);
        case reg::MessageChannelPort:
            // One network interface: its index (bits 16-19) must be 0.
            if (value & 0xFFFF0000) return STATUS_INVALID_PARAMETER;
            if (apply && !value) {
                events.clear();
                inFlight.reset();
            }
            return keep(mcp, value);
        case reg::MessageChannelDestination: return keep(mcda, value);
        case reg::MessageChannelTransmissionTimeout: return keep(mctt, value);
        case reg::MessageChannelRetryCount: return keep(mcrc, value);
        default: break;
        }
        if (ChannelRegister(address, channel, base)) {
            Channel &c = channels[channel];
            switch (base) {
            case reg::StreamChannelPort0:
                if (value & 0xFFFF0000) return STATUS_INVALID_PARAMETER;
                keep(c.port, value);
                break;
            case reg::StreamChannelPacketSize0:
                keep(c.packetSize, value & (SCPS_DO_NOT_FRAGMENT | SCPS_SIZE_MASK));
                if (apply && (value & SCPS_FIRE_TEST_PACKET)) SendTestPacket(channel, out);
                break;
            case reg::StreamChannelPacketDelay0: keep(c.delay, value); break;
            case reg::StreamChannelDestination0: keep(c.destination, value); break;
            case reg::StreamChannelConfiguration0: keep(c.config, value); break;
            default: return STATUS_WRITE_PROTECT;
            }
            if (apply) NoteChannel(channel, notes);
            return STATUS_SUCCESS;
        }
        if (GroupRegister(address, group, isMask)) return keep(isMask ? groups[group].mask : groups[group].key, value);
        uint32_t ignored = 0;
        return ReadBootstrap(address, ignored, now) ? Status(STATUS_WRITE_PROTECT) : Status(STATUS_INVALID_ADDRESS);
    }

    // ---- Memory: the bootstrap block, the description, then the device's ----
    // Each read and write goes through here, one word of the bootstrap block
    // at a time, and the rest in runs. The server's lock is held except
    // around the device memory's own calls.

    // A run of the device memory from at: up to the description when it follows.
    uint32_t MemoryRun(uint32_t at, uint32_t left) const
    {
        if (!description.empty() && at < config.descriptionAddress) return std::min(left, config.descriptionAddress - at);
        return left;
    }

    template <class Call> static auto OutsideLock(std::unique_lock<std::mutex> &held, Call call)
    {
        held.unlock();
        auto result = call();
        held.lock();
        return result;
    }

    Status ReadRange(std::unique_lock<std::mutex> &held, uint32_t address, uint32_t count, uint8_t *data,
                     bool strict, Clock::time_point now)
    {
        if (uint64_t(address) + count > (uint64_t(1) << 32)) return STATUS_INVALID_ADDRESS;
        uint32_t done = 0;
        while (done < count) {
            const uint32_t at = address + done;
            if (at < reg::BootstrapEnd) {
                uint32_t value = 0;
                if (!ReadBootstrap(at, value, now) && strict) return STATUS_INVALID_ADDRESS;
                storeBig32(data + done, value);
                done += 4;
                continue;
            }
            if (InDescription(at)) {
                uint32_t n = std::min<uint32_t>(count - done, uint32_t(description.size() - (at - config.descriptionAddress)));
                std::copy_n(description.begin() + (at - config.descriptionAddress), n, data + done);
                done += n;
                continue;
            }
            uint32_t n = MemoryRun(at, count - done);
            Status s = memory ? OutsideLock(held, [&] { return memory->Read(at, data + done, n); }) : Status(STATUS_INVALID_ADDRESS);
            if (s != STATUS_SUCCESS) return s;
            done += n;
        }
        return STATUS_SUCCESS;
    }

    Status WriteRange(std::unique_lock<std::mutex> &held, uint32_t address, const uint8_t *data, uint32_t count,
                      const net::Endpoint &from, Clock::time_point now, ServerOutput &out, Notes &notes)
    {
        if (uint64_t(address) + count > (uint64_t(1) << 32)) return STATUS_INVALID_ADDRESS;
        // A refused write changes nothing: the server's registers are
        // checked before any is written, and the device memory checks its
        // run itself (no write both reaches it and writes a register of the
        // server's: the bootstrap block ends in words that are none).
        for (uint32_t done = 0; done < count;) {
            const uint32_t at = address + done;
            if (InDescription(at)) return STATUS_WRITE_PROTECT;
            if (at >= reg::BootstrapEnd) {
                done += MemoryRun(at, count - done);
                continue;
            }
            const Status s = WriteBootstrap(at, loadBig32(data + done), false, from, now, out, notes);
            if (s != STATUS_SUCCESS) return s;
            done += 4;
        }
        uint32_t done = 0;
        while (done < count) {
            const uint32_t at = address + done;
            if (at < reg::BootstrapEnd) {
                Status s = WriteBootstrap(at, loadBig32(data + done), true, from, now, out, notes);
                if (s != STATUS_SUCCESS) return s;
                done += 4;
                continue;
            }
            uint32_t n = MemoryRun(at, count - done);
            Status s = memory ? OutsideLock(held, [&] { return memory->Write(at, data + done, n); }) : Status(STATUS_INVALID_ADDRESS);
            if (s != STATUS_SUCCESS) return s;
            done += n;
        }
        return STATUS_SUCCESS;
    }

    uint32_t MemoryWriteTime(std::unique_lock<std::mutex> &held, uint32_t address, uint32_t count)
    {
        if (!memory || uint64_t(address) + count <= reg::BootstrapEnd) return 0;
        return OutsideLock(held, [&] { return memory->WriteTime(address, count); });
    }

    bool PendingAsked(const Command &cmd) const
    {
        return (gvcpConfig & GVCPCFG_PENDING_ACK_ENABLE) && (cmd.header.flags & FLAG_ACK_REQUIRED);
    }

    // Announces a slow write, when the controller asked to be told.
    void MaybePending(std::unique_lock<std::mutex> &held, uint32_t writeTime, const Command &cmd,
                      const net::Endpoint &from, ServerOutput &out, std::vector<Bytes> &sent)
    {
        (void)held;
        if (writeTime <= config.pendingTimeoutMs || !PendingAsked(cmd)) return;
        Bytes pending = PendingAck{uint16_t(std::min<uint32_t>(writeTime, 0xFFFF))}.Encode(cmd.header.reqId);
        ++stats.pendingAcksIssued;
        out.SendControl(pending, from);
        sent.push_back(std::move(pending));
        if (tWriting) tWriting->last = Clock::now();
    }

    // While a write command runs, the model may say it goes on
    // (stillWriting), where the controller asked for pending acknowledges.
    struct KeepAlive {
        Writing writing;
        Writing *before = tWriting;
        KeepAlive(Impl &server, const Command &cmd, const net::Endpoint &from, ServerOutput &out)
        {
            if (!server.PendingAsked(cmd)) return;
            writing = Writing{&server.lock, &server.stats.pendingAcksIssued, cmd.header.reqId, from, &out, Clock::now()};
            tWriting = &writing;
        }
        ~KeepAlive() { tWriting = before; }
        KeepAlive(const KeepAlive &) = delete;
        KeepAlive &operator=(const KeepAlive &) = delete;
    };

    // ---- Commands ------------------------------------------------------------

    bool IsPrimary(const net::Endpoint &from) const { return primary && sameEndpoint(*primary, from); }

    bool MayRead(const net::Endpoint &from) const { return !(primary && (ccp & CCP_EXCLUSIVE) && !IsPrimary(from)); }

    // Writes need control; a controller without it may only take it.
    bool MayWrite(const net::Endpoint &from, const std::vector<uint32_t> &addresses) const
    {
        if (IsPrimary(from)) return true;
        if (primary) return false;
        for (uint32_t a : addresses)
            if (a != reg::ControlChannelPrivilege) return false;
        return true;
    }

    Remembered *RememberedFor(const net::Endpoint &from)
    {
        for (Remembered &r : remembered)
            if (sameEndpoint(r.from, from)) return &r;
        return nullptr;
    }

    void Remember(const net::Endpoint &from, const uint8_t *data, size_t size, std::vector<Bytes> answers)
    {
        Remembered *r = RememberedFor(from);
        if (!r) {
            if (remembered.size() >= kRememberedControllers) remembered.pop_front();
            remembered.push_back(Remembered{});
            r = &remembered.back();
            r->from = from;
        }
        r->packet.assign(data, data + size);
        r->answers = std::move(answers);
        r->retries = 0;
    }

    void Handle(const uint8_t *data, size_t size, const net::Endpoint &from, Clock::time_point now,
                ServerOutput &out)
    {
        auto cmd = decodeCommand(data, size);
        if (!cmd) return;
        Notes notes;
        {
            std::unique_lock<std::mutex> held(lock);
            if (IsPrimary(from)) lastHeard = now;
            if (cmd->header.reqId != 0) {
                Remembered *r = RememberedFor(from);
                if (r && r->packet.size() == size && std::equal(r->packet.begin(), r->packet.end(), data)) {
                    ++stats.retriesReceived;
                    stats.retriesReceivedMax = std::max(stats.retriesReceivedMax, ++r->retries);
                    for (const Bytes &b : r->answers) out.SendControl(b, from);
                    return;
                }
            }
            std::vector<Bytes> sent;
            Dispatch(held, *cmd, from, now, out, notes, sent);
            if (cmd->header.reqId != 0) Remember(from, data, size, std::move(sent));
        }
        for (auto &note : notes) note();
    }

    void Reply(Bytes packet, const net::Endpoint &to, ServerOutput &out, std::vector<Bytes> &sent)
    {
        out.SendControl(packet, to);
        sent.push_back(std::move(packet));
    }

    void Dispatch(std::unique_lock<std::mutex> &held, const Command &cmd, const net::Endpoint &from,
                  Clock::time_point now, ServerOutput &out, Notes &notes, std::vector<Bytes> &sent)
    {
        const uint16_t id = cmd.header.reqId;
        const bool wantsAck = (cmd.header.flags & FLAG_ACK_REQUIRED) != 0;
        switch (cmd.header.command) {
        case DISCOVERY_CMD:
            ++stats.discoveriesReceived;
            Reply(encodeDiscoveryAck(id, identity), from, out, sent);
            return;
        case FORCEIP_CMD: {
            ++stats.forceIpsReceived;
            auto f = ForceIp::Decode(cmd);
            if (!f || f->mac != identity.mac) return;  // for another device
            if (primary) {
                if (wantsAck) Reply(encodeEmptyAck(FORCEIP_ACK, id, STATUS_ACCESS_DENIED), from, out, sent);
                return;
            }
            // An address of 0 restarts the configuration: the device keeps the one it has.
            Bytes ack = encodeEmptyAck(FORCEIP_ACK, id);
            if (f->ip) {
                identity.ip = f->ip;
                identity.subnetMask = f->subnetMask;
                identity.gateway = f->gateway;
                // The transport moves first (without the lock: it sets the
                // server's addresses), then the acknowledge leaves from the
                // new address.
                ServerOutput *o = &out;
                uint32_t ip = f->ip;
                notes.push_back([o, ip] { o->ChangeAddress(ip); });
                if (wantsAck) notes.push_back([o, ack, from] { o->SendControl(ack, from); });
                if (wantsAck) sent.push_back(ack);
                ServerListener *l = listener;
                ForceIp given = *f;
                if (l) notes.push_back([l, given] { l->OnNetworkReset(given.ip, given.subnetMask, given.gateway); });
            } else if (wantsAck) {
                Reply(ack, from, out, sent);
            }
            return;
        }
        case READREG_CMD: {
            ++stats.readRegsReceived;
            auto rr = ReadRegCmd::Decode(cmd);
            if (!rr) {
                Reply(encodeAck(READREG_ACK, STATUS_INVALID_PARAMETER, id, {}), from, out, sent);
                return;
            }
            ReadRegAck ack;
            Status status = MayRead(from) ? STATUS_SUCCESS : STATUS_ACCESS_DENIED;
            for (uint32_t a : rr->addresses) {
                if (status != STATUS_SUCCESS) break;
                if (a % 4) {
                    status = STATUS_BAD_ALIGNMENT;
                    break;
                }
                uint8_t word[4];
                status = ReadRange(held, a, 4, word, true, now);
                if (status == STATUS_SUCCESS) ack.values.push_back(loadBig32(word));
            }
            Reply(ack.Encode(id, status), from, out, sent);
            return;
        }
        case WRITEREG_CMD: {
            ++stats.writeRegsReceived;
            auto wr = WriteRegCmd::Decode(cmd);
            if (!wr) {
                if (wantsAck) Reply(WriteAck{0}.Encode(WRITEREG_ACK, id, STATUS_INVALID_PARAMETER), from, out, sent);
                return;
            }
            KeepAlive keep(*this, cmd, from, out);
            uint32_t slowest = 0;
            for (const auto &w : wr->writes) slowest += MemoryWriteTime(held, w.first, 4);
            Status status = STATUS_SUCCESS;
            uint16_t index = 0;
            if (MayWrite(from, {wr->writes[0].first})) MaybePending(held, slowest, cmd, from, out, sent);
            // Each write in turn: the first may take control for the others.
            for (const auto &w : wr->writes) {
                if (!MayWrite(from, {w.first})) status = STATUS_ACCESS_DENIED;
                else if (w.first % 4) status = STATUS_BAD_ALIGNMENT;
                if (status != STATUS_SUCCESS) break;
                uint8_t word[4];
                storeBig32(word, w.second);
                status = WriteRange(held, w.first, word, 4, from, now, out, notes);
                if (status == STATUS_SUCCESS) ++index;
            }
            if (wantsAck) Reply(WriteAck{index}.Encode(WRITEREG_ACK, id, status), from, out, sent);
            return;
        }
        case READMEM_CMD: {
            ++stats.readMemsReceived;
            auto rm = ReadMemCmd::Decode(cmd);
            ReadMemAck ack;
            Status status = STATUS_SUCCESS;
            if (!rm) {
                status = STATUS_INVALID_PARAMETER;
            } else {
                ack.address = rm->address;
                if (!MayRead(from)) status = STATUS_ACCESS_DENIED;
                else if (rm->address % 4 || rm->count % 4) status = STATUS_BAD_ALIGNMENT;
                else if (rm->count == 0 || rm->count > kMaxPayload - 4) status = STATUS_INVALID_PARAMETER;
                else {
                    ack.data.assign(rm->count, 0);
                    status = ReadRange(held, rm->address, rm->count, ack.data.data(), false, now);
                }
            }
            if (status != STATUS_SUCCESS) ack.data.clear();
            Reply(ack.Encode(id, status), from, out, sent);
            return;
        }
        case WRITEMEM_CMD: {
            ++stats.writeMemsReceived;
            auto wm = WriteMemCmd::Decode(cmd);
            if (!wm) {
                if (wantsAck) Reply(WriteAck{0}.Encode(WRITEMEM_ACK, id, STATUS_INVALID_PARAMETER), from, out, sent);
                return;
            }
            std::vector<uint32_t> addresses;
            for (uint32_t k = 0; k < wm->data.size(); k += 4) addresses.push_back(wm->address + k);
            Status status = STATUS_SUCCESS;
            if (!MayWrite(from, addresses)) status = STATUS_ACCESS_DENIED;
            else if (wm->address % 4) status = STATUS_BAD_ALIGNMENT;
            if (status == STATUS_SUCCESS) {
                KeepAlive keep(*this, cmd, from, out);
                MaybePending(held, MemoryWriteTime(held, wm->address, uint32_t(wm->data.size())), cmd, from, out, sent);
                status = WriteRange(held, wm->address, wm->data.data(), uint32_t(wm->data.size()), from, now, out, notes);
            }
            uint16_t index = status == STATUS_SUCCESS ? uint16_t(wm->data.size()) : 0;
            if (wantsAck) Reply(WriteAck{index}.Encode(WRITEMEM_ACK, id, status), from, out, sent);
            return;
        }
        case PACKETRESEND_CMD: {
            ++stats.packetResendRequestsReceived;
            auto pr = PacketResendCmd::Decode(cmd);
            ServerListener *l = listener;
            if (pr && l) notes.push_back([l, request = *pr] { l->OnPacketResend(request); });
            return;
        }
        case ACTION_CMD: {
            ++stats.actionCommandsReceived;
            auto ac = ActionCmd::Decode(cmd);
            // Actions need a controller unless it allowed them without one.
            if (!ac || ac->deviceKey != actionDeviceKey || (!primary && !(gvcpConfig & GVCPCFG_UNCONDITIONAL_ACTION)))
                return;
            bool fired = false;
            for (uint32_t k = 0; k < groups.size(); ++k) {
                Group &g = groups[k];
                if (g.key != ac->groupKey || !(g.mask & ac->groupMask)) continue;
                ++g.fired;
                ++stats.actionsFired;
                fired = true;
                ServerListener *l = listener;
                auto time = ac->actionTime;
                if (l) notes.push_back([l, k, time] { l->OnAction(k, time); });
            }
            if (fired && wantsAck) Reply(encodeEmptyAck(ACTION_ACK, id), from, out, sent);
            return;
        }
        default:
            // Anything else is refused, and the controller learns so at once.
            if (wantsAck) Reply(encodeAck(uint16_t(cmd.header.command + 1), STATUS_NOT_IMPLEMENTED, id, {}), from, out, sent);
            return;
        }
    }

    // ---- The messaging channel -------------------------------------------------

    bool ChannelOpen() const { return mcp != 0 && mcda != 0; }

    uint32_t MessageTimeout() const { return mctt ? mctt : config.messageTimeoutMs; }

    void SendNext(Clock::time_point now, ServerOutput &out)
    {
        if (inFlight || events.empty() || !ChannelOpen()) return;
        QueuedEvent e = std::move(events.front());
        events.pop_front();
        InFlight f;
        f.reqId = eventIds.Next();
        f.withData = e.withData;
        f.packet = e.withData ? e.eventData.Encode(f.reqId) : e.event.Encode(f.reqId);
        f.deadline = now + std::chrono::milliseconds(MessageTimeout());
        ++(e.withData ? stats.eventDatasIssued : stats.eventsIssued);
        out.SendMessage(f.packet, {mcda, uint16_t(mcp & 0xFFFF)});
        inFlight = std::move(f);
    }

    void Tick(Clock::time_point now, ServerOutput &out)
    {
        Notes notes;
        {
            std::lock_guard<std::mutex> held(lock);
            if (primary && !(gvcpConfig & GVCPCFG_HEARTBEAT_DISABLE) &&
                now - lastHeard > std::chrono::milliseconds(heartbeatTimeout))
                Release(true, notes);
            if (inFlight && now >= inFlight->deadline) {
                if (inFlight->retries < mcrc && ChannelOpen()) {
                    ++inFlight->retries;
                    ++stats.eventRetriesIssued;
                    stats.eventRetriesIssuedMax = std::max<uint64_t>(stats.eventRetriesIssuedMax, inFlight->retries);
                    inFlight->deadline = now + std::chrono::milliseconds(MessageTimeout());
                    out.SendMessage(inFlight->packet, {mcda, uint16_t(mcp & 0xFFFF)});
                } else {
                    inFlight.reset();  // given up: the controller is gone or deaf
                }
            }
            SendNext(now, out);
        }
        for (auto &note : notes) note();
    }

    std::optional<Clock::time_point> NextDeadline() const
    {
        std::lock_guard<std::mutex> held(lock);
        std::optional<Clock::time_point> next;
        auto consider = [&](Clock::time_point t) {
            if (!next || t < *next) next = t;
        };
        if (primary && !(gvcpConfig & GVCPCFG_HEARTBEAT_DISABLE))
            consider(lastHeard + std::chrono::milliseconds(heartbeatTimeout) + std::chrono::milliseconds(1));
        if (inFlight) consider(inFlight->deadline);
        else if (!events.empty() && ChannelOpen()) consider(Clock::time_point{});  // at once
        return next;
    }
};

Server::Server(ServerConfig config, DeviceMemory *memory, ServerListener *listener)
    : mImpl(std::make_unique<Impl>(std::move(config), memory, listener))
{
}

Server::~Server() = default;

void Server::SetAddress(uint32_t ip)
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    DeviceIdentity &id = mImpl->identity;
    id.ip = ip;
    if (id.subnetMask == 0) id.subnetMask = (ip >> 24) == 127 ? 0xFF000000u : 0xFFFFFF00u;
}

void Server::SetIdentityTexts(const DeviceIdentity &identity)
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    DeviceIdentity &id = mImpl->identity;
    id.manufacturerName = identity.manufacturerName;
    id.modelName = identity.modelName;
    id.deviceVersion = identity.deviceVersion;
    id.manufacturerInfo = identity.manufacturerInfo;
    id.serialNumber = identity.serialNumber;
}

void Server::SetDescription(const Bytes &description)
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    mImpl->UseDescription(description);
}

bool Server::MessageChannelOpen() const
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    return mImpl->ChannelOpen();
}

std::optional<net::Endpoint> Server::MessageDestination() const
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    if (!mImpl->ChannelOpen()) return std::nullopt;
    return net::Endpoint{mImpl->mcda, uint16_t(mImpl->mcp & 0xFFFF)};
}

void Server::SetMessageSourcePort(uint16_t port)
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    mImpl->mcsp = port;
}

void Server::SetStreamSourcePort(uint32_t channel, uint16_t port)
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    if (channel < mImpl->channels.size()) mImpl->channels[channel].sourcePort = port;
}

void Server::Handle(const uint8_t *data, size_t size, const net::Endpoint &from, Clock::time_point now,
                    ServerOutput &out)
{
    mImpl->Handle(data, size, from, now, out);
}

void Server::HandleMessageAck(const uint8_t *data, size_t size, Clock::time_point now, ServerOutput &out)
{
    auto ack = decodeAck(data, size);
    if (!ack) return;
    std::lock_guard<std::mutex> held(mImpl->lock);
    auto &f = mImpl->inFlight;
    const uint16_t expected = f && f->withData ? EVENTDATA_ACK : EVENT_ACK;
    if (!f || ack->header.ackId != f->reqId || ack->header.answer != expected) return;
    f.reset();
    mImpl->SendNext(now, out);
}

void Server::Tick(Clock::time_point now, ServerOutput &out)
{
    mImpl->Tick(now, out);
}

std::optional<Clock::time_point> Server::NextDeadline() const
{
    return mImpl->NextDeadline();
}

bool Server::PostEvent(const Event &event, const Bytes *data, bool extendedId)
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    if (!mImpl->ChannelOpen()) return false;
    Impl::QueuedEvent e;
    e.withData = data != nullptr;
    if (data) {
        e.eventData.extendedId = extendedId;
        e.eventData.event = event;
        // What fits one packet after the event's own fields.
        size_t room = kMaxPayload - (extendedId ? 24 : 16);
        e.eventData.data.assign(data->begin(), data->begin() + std::min(room, data->size()));
    } else {
        e.event.extendedId = extendedId;
        e.event.events.push_back(event);
    }
    if (mImpl->events.size() >= mImpl->config.messageQueueLimit) mImpl->events.pop_front();
    mImpl->events.push_back(std::move(e));
    return true;
}

size_t Server::PendingEvents() const
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    return mImpl->events.size() + (mImpl->inFlight ? 1 : 0);
}

DeviceIdentity Server::Identity() const
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    return mImpl->identity;
}

Access Server::GetAccess() const
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    return mImpl->GetAccess();
}

std::optional<net::Endpoint> Server::Controller() const
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    return mImpl->primary;
}

StreamChannel Server::GetStreamChannel(uint32_t channel) const
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    if (channel >= mImpl->channels.size()) return StreamChannel{};
    return mImpl->ChannelView(mImpl->channels[channel]);
}

uint32_t Server::StreamChannelCount() const
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    return uint32_t(mImpl->channels.size());
}

uint64_t Server::Timestamp(Clock::time_point now) const
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    return mImpl->Timestamp(now);
}

ServerStats Server::Stats() const
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    return mImpl->stats;
}

void Server::ResetStats()
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    mImpl->stats = ServerStats{};
}

uint64_t Server::ActionCount(uint32_t signal) const
{
    std::lock_guard<std::mutex> held(mImpl->lock);
    return signal < mImpl->groups.size() ? mImpl->groups[signal].fired : 0;
}

namespace {

class Collect : public ServerOutput
{
public:
    std::vector<Bytes> control;
    void SendControl(const Bytes &packet, const net::Endpoint &) override { control.push_back(packet); }
    void SendMessage(const Bytes &, const net::Endpoint &) override {}
};

} // namespace

std::vector<Bytes> Server::Answer(const uint8_t *data, size_t size, const net::Endpoint &from, Clock::time_point now)
{
    Collect out;
    Handle(data, size, from, now, out);
    return out.control;
}

void stillWriting()
{
    Writing *w = tWriting;
    if (!w) return;
    const auto now = Clock::now();
    if (now - w->last < std::chrono::milliseconds(kKeepAliveMs / 2)) return;
    w->last = now;
    {
        std::lock_guard<std::mutex> held(*w->lock);
        ++*w->issued;
    }
    w->out->SendControl(PendingAck{uint16_t(kKeepAliveMs)}.Encode(w->reqId), w->from);
}

} // namespace gvcpserver
} // namespace tarn
