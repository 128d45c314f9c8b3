#ifndef TARN_GVCPSERVER_SERVER_H
#define TARN_GVCPSERVER_SERVER_H

// The device side of GVCP: the protocol over a device's memory. The device
// (a software camera, a test device) supplies its identity, its description
// and the registers and memory beyond the bootstrap block; the server keeps
// the bootstrap registers and runs the protocol: privilege and heartbeat,
// retries answered from the last acknowledge, PENDING for slow writes,
// FORCEIP, the messaging channel with its retries, action signals, test
// packets. It reports what happened to the device's listener.
//
// No sockets and no threads here: packets come in through Handle(), time
// through Tick(), and everything that leaves goes through a ServerOutput,
// so that tests drive the whole state machine with a clock of their own.
// UdpServer (udp_server.h) carries it over UDP.

#include "gev/bootstrap.h"
#include "net/socket.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarn {
namespace gvcpserver {

using Clock = std::chrono::steady_clock;
using Status = uint16_t;

// How a controller holds the device, with the values of ZuAccessType.
enum class Access : int32_t { None = 0, Open = 1, Control = 2, Exclusive = 3 };

// Registers and memory of the device beyond what the server keeps itself
// (the bootstrap block below reg::BootstrapEnd and the description).
// Called on the server's thread only, one request at a time.
class DeviceMemory
{
public:
    virtual ~DeviceMemory() = default;
    // count bytes (a multiple of 4) at address; a GVCP status. A write that
    // is refused changes nothing.
    virtual Status Read(uint32_t address, uint8_t *data, uint32_t count) = 0;
    virtual Status Write(uint32_t address, const uint8_t *data, uint32_t count) = 0;
    // How long a write will take, in ms. A write longer than the pending
    // time-out is announced with PENDING_ACK first, where the controller
    // enabled it.
    virtual uint32_t WriteTime(uint32_t /*address*/, uint32_t /*count*/) { return 0; }
};

// A stream channel as the controller configured it.
struct StreamChannel {
    net::Endpoint destination;  // port 0 while closed
    uint32_t packetSize = 1500;  // with the IP and UDP headers
    uint32_t packetDelay = 0;
    bool doNotFragment = false;
    uint16_t sourcePort = 0;
    uint32_t configuration = 0;  // the configuration register (SCC_* bits)
};

// What the server tells the device. Called on the server's thread, with no
// lock of the server held, so a listener may call back into the server.
class ServerListener
{
public:
    virtual ~ServerListener() = default;
    // A controller took control (OnApplicationConnect).
    virtual void OnControlTaken(const net::Endpoint & /*controller*/, Access /*access*/) {}
    // The controller let go of control, or its heartbeat expired
    // (OnApplicationDisconnect).
    virtual void OnControlReleased(bool /*heartbeatExpired*/) {}
    // FORCEIP assigned a new address (OnDeviceResetNetwork).
    virtual void OnNetworkReset(uint32_t /*ip*/, uint32_t /*mask*/, uint32_t /*gateway*/) {}
    // The destination, size or delay of a stream channel changed.
    virtual void OnStreamChannel(uint32_t /*channel*/, const StreamChannel & /*channel*/) {}
    // An action signal fired (at the given device time when scheduled).
    virtual void OnAction(uint32_t /*signal*/, std::optional<uint64_t> /*time*/) {}
    // A controller asked for packets of a stream block again.
    virtual void OnPacketResend(const gvcp::PacketResendCmd & /*request*/) {}
};

// Where the server's packets leave. The transport owns the sockets. Only
// changeAddress may call back into the server: the others may be called
// with the server's lock held.
class ServerOutput
{
public:
    virtual ~ServerOutput() = default;
    // An acknowledge, from the control port.
    virtual void SendControl(const gvcp::Bytes &packet, const net::Endpoint &to) = 0;
    // A messaging channel command, from the messaging channel's source port.
    virtual void SendMessage(const gvcp::Bytes &packet, const net::Endpoint &to) = 0;
    // A test packet of a stream channel: a UDP payload of this size.
    virtual void SendTestPacket(uint32_t /*channel*/, size_t /*size*/, bool /*doNotFragment*/,
                                const net::Endpoint & /*to*/) {}
    // FORCEIP accepted: the device now answers from this address. Called
    // before the acknowledge is sent, which leaves from the new address.
    virtual void ChangeAddress(uint32_t /*ip*/) {}
};

struct ServerConfig {
    gvcp::DeviceIdentity identity;
    // The GenICam description, served read-only at descriptionAddress and
    // named by the first URL register; a zipped description's name ends in
    // ".zip". Empty: the first URL is firstUrl as given (a "File:" URL).
    gvcp::Bytes description;
    std::string descriptionName = "device.xml";
    uint32_t descriptionAddress = 0x00100000;
    std::string firstUrl;
    std::string secondUrl;
    uint32_t streamChannels = 1;
    // Capability bits (SCC_*) of each stream channel beyond its source port
    // register; channels past the end offer none.
    std::vector<uint32_t> streamCapabilities;
    // Whether the device announces PACKETRESEND_CMD in its capabilities.
    bool packetResend = true;
    uint32_t actionSignals = 4;
    uint32_t heartbeatTimeoutMs = 3000;
    uint32_t pendingTimeoutMs = 200;
    uint32_t messageTimeoutMs = 300;
    uint32_t messageRetries = 3;
    // Test packets larger than this (with headers) are not sent, as a
    // network with a smaller path MTU would drop them; 0: no limit.
    uint32_t testPacketLimit = 0;
    // Events waiting on the messaging channel; older ones are dropped.
    size_t messageQueueLimit = 256;
    // What the device's registers take beyond what the protocol allows; a
    // stream channel's packet size starts at the largest it takes up to 1500.
    std::vector<gvcp::FieldLimit> limits;
};

// What the device's statistics count (each counter as its name says).
struct ServerStats {
    uint64_t readMemsReceived = 0, writeMemsReceived = 0, readRegsReceived = 0, writeRegsReceived = 0;
    uint64_t discoveriesReceived = 0, actionCommandsReceived = 0, forceIpsReceived = 0;
    uint64_t packetResendRequestsReceived = 0, pendingAcksIssued = 0;
    uint64_t retriesReceived = 0, retriesReceivedMax = 0;
    uint64_t eventsIssued = 0, eventDatasIssued = 0, eventRetriesIssued = 0, eventRetriesIssuedMax = 0;
    uint64_t sessionsOpened = 0, sessionsClosed = 0, heartbeatFailedCount = 0;
    uint64_t gvspTestPacketsIssued = 0;
    uint64_t actionsFired = 0;
};

// Said from time to time by a model's write that waits long (a stream's
// stop waiting for its source's up-call): while the controller that asked
// for the write enabled pending acknowledges, it hears again, each half of
// the time announced, that the write goes on, so that it keeps waiting
// instead of giving up. Nothing happens outside a write on the server's
// thread. Called with no lock of the server held (model writes are).
void stillWriting();

class Server
{
public:
    explicit Server(ServerConfig config, DeviceMemory *memory = nullptr, ServerListener *listener = nullptr);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // The device answers from this address (its identity reports it, with a
    // subnet mask for it when none was given); the messaging channel leaves
    // from this source port.
    void SetAddress(uint32_t ip);
    void SetMessageSourcePort(uint16_t port);
    // The identity's texts and the description change while serving (a
    // software device's script sets them); the address stays as it is.
    void SetIdentityTexts(const gvcp::DeviceIdentity &identity);
    void SetDescription(const gvcp::Bytes &description);
    // Whether a controller has set up the messaging channel's destination.
    bool MessageChannelOpen() const;
    // That destination while it is set up.
    std::optional<net::Endpoint> MessageDestination() const;
    void SetStreamSourcePort(uint32_t channel, uint16_t port);

    // One packet received on the control port.
    void Handle(const uint8_t *data, size_t size, const net::Endpoint &from, Clock::time_point now,
                ServerOutput &out);
    // One packet received on the messaging channel's port (an acknowledge).
    void HandleMessageAck(const uint8_t *data, size_t size, Clock::time_point now, ServerOutput &out);
    // Time passes: heartbeat expiry, messaging channel retries.
    void Tick(Clock::time_point now, ServerOutput &out);
    // When Tick() next has something to do; nullopt: nothing pending.
    std::optional<Clock::time_point> NextDeadline() const;

    // Queues an event (with data: EVENTDATA) for the messaging channel.
    // False when no controller opened the channel. Safe from any thread;
    // the transport sends it at its next tick.
    bool PostEvent(const gvcp::Event &event, const gvcp::Bytes *data = nullptr, bool extendedId = false);
    // Events queued or waiting for their acknowledge.
    size_t PendingEvents() const;

    gvcp::DeviceIdentity Identity() const;
    Access GetAccess() const;
    std::optional<net::Endpoint> Controller() const;
    StreamChannel GetStreamChannel(uint32_t channel) const;
    uint32_t StreamChannelCount() const;
    // The device's clock (nanoseconds), as its timestamp registers count.
    uint64_t Timestamp(Clock::time_point now) const;
    ServerStats Stats() const;
    void ResetStats();
    uint64_t ActionCount(uint32_t signal) const;

    // Answers for one received packet without sending (tests, fuzzing):
    // every packet the handler would send on the control port.
    std::vector<gvcp::Bytes> Answer(const uint8_t *data, size_t size, const net::Endpoint &from, Clock::time_point now);

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

} // namespace gvcpserver
} // namespace tarn

#endif
