#ifndef TARN_GVCPCLIENT_EXCHANGE_H
#define TARN_GVCPCLIENT_EXCHANGE_H

// The host's end of every GVCP request the SDK asks: the control channel's
// commands, DISCOVERY and FORCEIP to all devices, and a stream's question
// for the TCP port a device offers. A request goes out with an id of its
// own, from one socket or from one on each of several adapters, and again
// with the same id while it is unanswered, until its tries are spent. An
// answer counts only with the request's id and answer command, and only
// from where the request went unless it was broadcast (a device on another
// subnet answers by broadcast too). A device that announces a slow command
// with PENDING_ACK is waited for, up to a limit the requester sets.

#include "gev/gvcp.h"
#include "gev/tcp.h"
#include "net/poll_loop.h"
#include "net/socket.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarn {
namespace gvcpclient {

using Clock = std::chrono::steady_clock;

// What a requester counts of its requests; read from other threads while
// requests run.
struct Counters {
    std::atomic<uint64_t> commands{0};
    std::atomic<uint64_t> resent{0};
    std::atomic<uint64_t> timeouts{0};
    std::atomic<uint64_t> pendingAcks{0};
};

// One packet as a frame over a TCP connection to our own device; false when
// the device took nothing for aStallMs or the connection failed.
bool sendFramed(const net::TcpConnection &aConnection, const gvcp::Bytes &aPacket, int aStallMs);

class Exchange
{
public:
    Exchange();
    ~Exchange();
    Exchange(const Exchange &) = delete;
    Exchange &operator=(const Exchange &) = delete;

    // False when the exchange has no wake-up descriptor: nothing can wait.
    bool Valid() const { return mLoop.Valid(); }

    // One way out: a socket bound to `local` (port 0: the system picks one)
    // that sends each request to every address of `to`. Answers count from
    // `to`'s first address and port alone; a broadcast route (kept to the
    // adapter named `device` where the kernel allows it) takes them from
    // any address.
    struct Route {
        Route(net::Endpoint aLocal, std::vector<net::Endpoint> aTo, bool aBroadcast = false, std::string aDevice = {})
            : local(aLocal), to(std::move(aTo)), broadcast(aBroadcast), device(std::move(aDevice))
        {
        }
        net::Endpoint local;
        std::vector<net::Endpoint> to;
        bool broadcast = false;
        std::string device;
    };
    // False, with the reason in aError, when the socket could not be made.
    bool Add(const Route &aRoute, std::string *aError = nullptr);
    // Every route and connection closed: nothing is sent any more.
    void Clear();

    // From now on requests go over a TCP connection to aServer from route
    // 0's address, each packet a frame (gev/tcp.h); false, with the reason
    // in aError, when it could not be made (the datagrams stay).
    bool UseTcp(net::Endpoint aServer, int aTimeoutMs, std::string *aError);
    // Back to datagrams.
    void UseUdp();
    bool OnTcp() const { return mTcp.Valid(); }

    // The next request id: one source for every request of this exchange.
    uint16_t NextId() { return mIds.Next(); }

    struct Request {
        gvcp::Bytes packet;   // encoded with `id`
        uint16_t id = 0;
        uint16_t answer = 0;  // the acknowledge command that answers it
        uint32_t retries = 0; // sends after the first, each after `wait`
        std::chrono::milliseconds wait{500};
        // No send and no wait past this.
        std::optional<Clock::time_point> deadline;
        // Whether PENDING_ACK is heeded, and until when the waits it asks
        // for may last at the most; without it PENDING_ACK is dropped.
        std::optional<Clock::time_point> pendingLimit;
    };

    struct Answer {
        const gvcp::Ack &ack;
        size_t route;         // which route heard it
        net::Endpoint from;
    };
    // Takes an answer; true when the request needs no more.
    using Take = std::function<bool(const Answer &)>;

    enum class Outcome {
        Answered,     // aTake said so
        Sent,         // Post() sent it
        TimedOut,     // the tries were spent (answers aTake did not end with may have come)
        KeptPending,  // the device asked for more time until the pending limit passed
        Halted,       // Halt() ended it, or came before it
        NotSent,      // no route could send it
        Lost,         // the TCP connection ended
        Interrupted,  // the application's thread was interrupted (tarn/Interrupts.h)
    };
    // Sends aRequest and hands each answer to aTake, counting in aCounters
    // when given.
    Outcome Ask(const Request &aRequest, const Take &aTake, Counters *aCounters = nullptr);
    // Sends a packet once, asking for no answer (aStall: how long a TCP peer
    // may keep it from leaving).
    Outcome Post(const gvcp::Bytes &aPacket, std::chrono::milliseconds aStall);

    // Ends a wait in progress and refuses requests until Resume(); safe
    // from any thread.
    void Halt();
    void Resume() { mHalted = false; }

    // When an answer with a request's id last came (set at creation and by
    // Clear()).
    Clock::time_point LastAnswer() const { return Clock::time_point(Clock::duration(mLastAnswer.load())); }

private:
    struct Way {
        net::UdpSocket socket;
        std::vector<net::Endpoint> to;
        bool anyone = false;
        bool blocking = false;  // opened blocking: waited on in its receive when alone
        int64_t timeoutMs = 0;  // the receive time-out set on a blocking socket
    };
    bool Send(const gvcp::Bytes &aPacket, std::chrono::milliseconds aStall);
    // An answer into mBuffer (Done), or why none came, within aTimeoutMs,
    // which end at aUntil.
    net::PollLoop::Exit Receive(int aTimeoutMs, Clock::time_point aUntil);
    // The one socket of a route to one device, waited on in its receive.
    bool Blocking() const;
    net::PollLoop::Exit ReceiveBlocking(int aTimeoutMs, Clock::time_point aUntil);
    void SetWakeTarget();
    void WatchUdp();
    bool NextFrame();
    bool ReceiveTcp();
    void Heard();

    gvcp::RequestIds mIds;
    std::vector<Way> mRoutes;
    net::PollLoop mLoop;
    std::atomic<bool> mHalted{false};
    // What Halt() wakes a blocked receive with: a socket of the exchange's
    // own, for its life, and the address and port it sends to (0: none
    // blocks), so that another thread's halt never touches the routes.
    net::UdpSocket mWaker;
    std::atomic<uint64_t> mWakeTarget{0};
    std::atomic<int64_t> mLastAnswer{0};
    // The datagram or frame received last, and where it came from.
    uint8_t mBuffer[1500];
    long mReceived = 0;
    // Its acknowledge, decoded into the same payload each time.
    gvcp::Ack mAck;
    size_t mRoute = 0;
    net::Endpoint mFrom;
    net::TcpConnection mTcp;
    gev::FrameReader mFrames{sizeof mBuffer};
    bool mTcpLost = false;
};

} // namespace gvcpclient
} // namespace tarn

#endif
