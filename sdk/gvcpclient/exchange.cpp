#include "gvcpclient/exchange.h"

#include "tarn/Interrupts.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <sys/time.h>

namespace tarn {
namespace gvcpclient {

namespace {

int64_t ticks(Clock::time_point aTime)
{
    return aTime.time_since_epoch().count();
}

} // namespace

bool sendFramed(const net::TcpConnection &aConnection, const gvcp::Bytes &aPacket, int aStallMs)
{
    uint8_t head[gev::kFrameHeaderSize];
    gev::writeFrameHeader(head, uint32_t(aPacket.size()));
    const net::TcpConnection::Piece pieces[2] = {{head, sizeof head}, {aPacket.data(), aPacket.size()}};
    return aConnection.SendPieces(pieces, 2, aStallMs);
}

Exchange::Exchange() : mLastAnswer(ticks(Clock::now())) {}

Exchange::~Exchange() = default;

bool Exchange::Add(const Route &aRoute, std::string *aError)
{
    net::SocketOptions options;
    // A socket that hears one device alone blocks in its receive, with a
    // time-out of its own: one system call where the poll loop makes two.
    // One kept to an adapter would not hear the halt's datagram (it comes
    // over the loopback), and waits in the poll loop.
    const bool blocking = !aRoute.broadcast && aRoute.device.empty();
    options.nonBlocking = !blocking;
    options.broadcast = aRoute.broadcast;
    options.device = aRoute.device;
    Way way;
    way.socket = net::UdpSocket::Bind(aRoute.local, options, aError);
    if (!way.socket.Valid()) return false;
    way.to = aRoute.to;
    way.anyone = aRoute.broadcast;
    way.blocking = blocking;
    if (blocking && !mWaker.Valid()) {
        net::SocketOptions local;
        local.nonBlocking = true;
        mWaker = net::UdpSocket::Bind({aRoute.local.ip, 0}, local);
    }
    if (blocking) {
        // A send that would block (the system's buffer full) fails instead.
        const timeval limit{1, 0};
        ::setsockopt(way.socket.GetFd(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    mRoutes.push_back(std::move(way));
    SetWakeTarget();
    if (!mTcp.Valid()) WatchUdp();
    return true;
}

void Exchange::Clear()
{
    mLoop.Clear();
    mRoutes.clear();
    SetWakeTarget();
    mTcp = net::TcpConnection();
    mTcpLost = false;
    mLastAnswer = ticks(Clock::now());
}

void Exchange::WatchUdp()
{
    mLoop.Clear();
    for (size_t k = 0; k < mRoutes.size(); ++k) {
        mLoop.Watch(mRoutes[k].socket.GetFd(), [this, k](int) {
            const Way &way = mRoutes[k];
            net::Arrival arrival;
            mReceived = way.socket.Receive(mBuffer, sizeof mBuffer, &arrival);
            // Only the address and port asked speak for a device asked alone:
            // anything else could pass for its answer by guessing a 16-bit id.
            if (mReceived > 0 && !way.anyone && !way.to.empty() &&
                (arrival.from.ip != way.to[0].ip || arrival.from.port != way.to[0].port))
                mReceived = 0;
            mRoute = k;
            mFrom = arrival.from;
            return mReceived <= 0;  // a datagram ends the wait
        });
    }
}

bool Exchange::UseTcp(net::Endpoint aServer, int aTimeoutMs, std::string *aError)
{
    const uint32_t local = mRoutes.empty() ? 0 : mRoutes[0].socket.Local().ip;
    net::TcpConnection tcp = net::TcpConnection::Connect(aServer, local, aTimeoutMs, aError);
    if (!tcp.Valid()) return false;
    mTcp = std::move(tcp);
    mFrames.Reset();
    mTcpLost = false;
    SetWakeTarget();
    mLoop.Clear();
    mLoop.Watch(mTcp.GetFd(), [this](int) { return !ReceiveTcp(); });
    mFrom = aServer;
    return true;
}

void Exchange::UseUdp()
{
    mTcp = net::TcpConnection();
    mTcpLost = false;
    SetWakeTarget();
    WatchUdp();
}

void Exchange::Halt()
{
    mHalted = true;
    mLoop.Stop();
    // A receive blocked on the one socket wakes to an empty datagram, which
    // it takes for no answer (it is not the device's) once it sees the halt.
    const uint64_t target = mWakeTarget.load();
    if (target) mWaker.SendTo("", 0, {uint32_t(target >> 16), uint16_t(target)});
}

bool Exchange::Blocking() const
{
    return !mTcp.Valid() && mRoutes.size() == 1 && mRoutes[0].blocking && mWaker.Valid();
}

void Exchange::SetWakeTarget()
{
    uint64_t target = 0;
    if (Blocking()) {
        const net::Endpoint local = mRoutes[0].socket.Local();
        // Bound to any address, the socket hears the loopback too.
        target = (uint64_t(local.ip ? local.ip : 0x7F000001) << 16) | local.port;
    }
    mWakeTarget = target;
}

// The poll loop's rules on the one socket: the time-out, the halt, and the
// interruption looked at between slices of the wait.
net::PollLoop::Exit Exchange::ReceiveBlocking(int aTimeoutMs, Clock::time_point aUntil)
{
    Way &way = mRoutes[0];
    Interrupts::Slices slices(aTimeoutMs, aUntil);
    for (;;) {
        if (mHalted) return net::PollLoop::Exit::Stopped;
        int64_t wait = -1;
        const Interrupts::Wait next = slices.Next(wait);
        if (next == Interrupts::Wait::Interrupted) return net::PollLoop::Exit::Interrupted;
        if (next == Interrupts::Wait::TimedOut) return net::PollLoop::Exit::TimedOut;
        if (wait != way.timeoutMs) {
            // A time-out of 0 is none.
            if (!way.socket.SetReceiveTimeout(std::chrono::milliseconds(wait < 0 ? 0 : wait)))
                return net::PollLoop::Exit::Failed;
            way.timeoutMs = wait;
        }
        net::Arrival arrival;
        const long got = way.socket.Receive(mBuffer, sizeof mBuffer, &arrival);
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (slices.Interrupted()) return net::PollLoop::Exit::Interrupted;
                continue;
            }
            if (errno == EINTR) continue;
            // A pending socket error is read with the receive that reports it.
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(way.socket.GetFd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                return net::PollLoop::Exit::Failed;
            continue;
        }
        if (mHalted) return net::PollLoop::Exit::Stopped;
        // Only the address and port asked speak for the device (the halt's
        // datagram among what is dropped).
        if (way.to.empty() || arrival.from.ip != way.to[0].ip || arrival.from.port != way.to[0].port) continue;
        mReceived = got;
        mRoute = 0;
        mFrom = arrival.from;
        return net::PollLoop::Exit::Done;
    }
}

bool Exchange::Send(const gvcp::Bytes &aPacket, std::chrono::milliseconds aStall)
{
    if (mTcp.Valid()) {
        if (mTcpLost) return false;
        if (sendFramed(mTcp, aPacket, int(std::max<int64_t>(1, aStall.count())))) return true;
        mTcpLost = true;  // cut inside a frame: nothing lines up after it
        return false;
    }
    bool sent = false;
    for (const Way &way : mRoutes)
        for (const net::Endpoint &to : way.to)
            if (way.socket.SendTo(aPacket.data(), aPacket.size(), to)) sent = true;
    return sent;
}

// A whole frame waiting in what was read already goes to mBuffer.
bool Exchange::NextFrame()
{
    const uint8_t *data = nullptr;
    size_t size = 0;
    if (mFrames.NextFrame(data, size) != gev::FrameReader::Next::Frame) {
        if (mFrames.Bad()) mTcpLost = true;
        return false;
    }
    std::copy(data, data + size, mBuffer);
    mReceived = long(size);
    mRoute = 0;
    return true;
}

// True once a frame arrived or the connection ended (the wait is over).
bool Exchange::ReceiveTcp()
{
    const auto read = mFrames.FillFrom([this](uint8_t *aTo, size_t aRoom) { return mTcp.Receive(aTo, aRoom); });
    if (read == gev::FrameReader::Fill::Nothing) return false;
    if (read == gev::FrameReader::Fill::Ended) {
        mTcpLost = true;
        return true;
    }
    return NextFrame() || mTcpLost;
}

net::PollLoop::Exit Exchange::Receive(int aTimeoutMs, Clock::time_point aUntil)
{
    mReceived = 0;
    if (Blocking()) return ReceiveBlocking(aTimeoutMs, aUntil);
    if (mTcp.Valid()) {
        if (mTcpLost) return net::PollLoop::Exit::Failed;
        if (NextFrame()) return net::PollLoop::Exit::Done;
    }
    const net::PollLoop::Exit exit = mLoop.Run(aTimeoutMs);
    return exit == net::PollLoop::Exit::Done && mReceived <= 0 ? net::PollLoop::Exit::TimedOut : exit;
}

void Exchange::Heard()
{
    mLastAnswer = ticks(Clock::now());
}

Exchange::Outcome Exchange::Ask(const Request &aRequest, const Take &aTake, Counters *aCounters)
{
    using std::chrono::milliseconds;
    if (aCounters) ++aCounters->commands;
    const auto wait = std::max(aRequest.wait, milliseconds(1));
    bool extended = false;
    auto limit = aRequest.deadline.value_or(Clock::time_point::max());
    // A clock read costs about as much as a short system call: each is
    // made only where the time it tells can have moved on.
    for (uint32_t attempt = 0; attempt <= aRequest.retries; ++attempt) {
        if (mHalted) return Outcome::Halted;
        if (limit != Clock::time_point::max() && Clock::now() >= limit) break;
        if (attempt && aCounters) ++aCounters->resent;
        if (!Send(aRequest.packet, wait)) return Outcome::NotSent;
        auto now = Clock::now();
        auto until = std::min(now + wait, limit);
        for (bool first = true;; first = false) {
            if (!first) now = Clock::now();
            const auto left = std::chrono::ceil<milliseconds>(until - now).count();
            if (left <= 0) break;
            const net::PollLoop::Exit got = Receive(int(std::min<int64_t>(left, INT32_MAX)), until);
            if (got == net::PollLoop::Exit::Interrupted) return Outcome::Interrupted;
            if (got != net::PollLoop::Exit::Done) {
                if (mHalted) return Outcome::Halted;
                if (mTcpLost) return Outcome::Lost;
                continue;
            }
            // Late answers to earlier requests, and anything else, are dropped.
            if (!gvcp::decodeAck(mBuffer, size_t(mReceived), mAck) || mAck.header.ackId != aRequest.id) continue;
            const gvcp::Ack &ack = mAck;
            Heard();
            if (ack.header.answer == gvcp::PENDING_ACK && aRequest.pendingLimit) {
                // The device needs longer: wait for what it announced, then as usual.
                if (aCounters) ++aCounters->pendingAcks;
                extended = true;
                limit = *aRequest.pendingLimit;
                auto pending = gvcp::PendingAck::Decode(ack);
                until = std::min(Clock::now() + milliseconds(pending ? pending->timeToCompletionMs : 0) + wait, limit);
                continue;
            }
            if (ack.header.answer != aRequest.answer) continue;
            if (aTake(Answer{ack, mRoute, mFrom})) return Outcome::Answered;
        }
    }
    if (aCounters) ++aCounters->timeouts;
    return extended && Clock::now() >= limit ? Outcome::KeptPending : Outcome::TimedOut;
}

Exchange::Outcome Exchange::Post(const gvcp::Bytes &aPacket, std::chrono::milliseconds aStall)
{
    if (mHalted) return Outcome::Halted;
    return Send(aPacket, aStall) ? Outcome::Sent : Outcome::NotSent;
}

} // namespace gvcpclient
} // namespace tarn
