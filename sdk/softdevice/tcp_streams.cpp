#include "softdevice/tcp_streams.h"

#include <cerrno>

namespace tarn {
namespace softdevice {

bool TcpStreams::start(uint32_t aIp, const std::vector<GvspSender *> &aSenders, std::string &aError)
{
    mSenders = aSenders;
    for (size_t k = 0; k < aSenders.size(); ++k) {
        net::TcpListener listener = net::TcpListener::listen({aIp, 0}, &aError);
        if (!listener.valid()) return false;
        mListeners.push_back(std::move(listener));
    }
    mLoop = std::make_unique<net::PollLoop>();
    if (!mLoop->valid()) {
        aError = "no wake-up descriptor for the stream ports";
        return false;
    }
    watch();
    if (!mThread.Start([this](Worker::Control &c) { run(c); }, [this] { mLoop->stop(); }).IsOK()) {
        aError = "no thread for the stream ports";
        return false;
    }
    return true;
}

void TcpStreams::stop()
{
    mThread.Stop();
    for (Open &o : mOpen) {
        mSenders[o.channel]->detachStream(o.connection.get());
        o.connection->shutdown();
    }
    mOpen.clear();
    mListeners.clear();
    mLoop.reset();
}

std::vector<uint16_t> TcpStreams::ports() const
{
    std::vector<uint16_t> ports;
    for (const net::TcpListener &l : mListeners) ports.push_back(l.local().port);
    return ports;
}

void TcpStreams::watch()
{
    mLoop->clear();
    for (size_t k = 0; k < mListeners.size(); ++k) mLoop->watch(mListeners[k].fd(), [this, k](int) { return accept(k); });
    for (size_t k = 0; k < mOpen.size(); ++k) mLoop->watch(mOpen[k].connection->fd(), [this, k](int) { return drain(k); });
}

void TcpStreams::run(const Worker::Control &aControl)
{
    while (!aControl.Stopping()) {
        // Each handler ends the run, so that the watches follow the
        // connections as they come and go.
        mLoop->run();
        if (aControl.Stopping()) break;
        if (mChanged) {
            mChanged = false;
            watch();
        }
    }
}

bool TcpStreams::accept(size_t aChannel)
{
    auto connection = std::make_shared<net::TcpConnection>(mListeners[aChannel].accept());
    if (!connection->valid()) return false;
    // A bounded queue: a host that stops reading stalls the sender soon,
    // which then cuts it off instead of queueing without end.
    connection->setSendBuffer(1 << 20);
    // Beyond the sender's few, its oldest other than the destination's is
    // shut down: its reader sees the end of it here.
    mSenders[aChannel]->attachStream(connection);
    mOpen.push_back(Open{aChannel, std::move(connection)});
    mChanged = true;
    return false;
}

bool TcpStreams::drain(size_t aOpen)
{
    const Open &open = mOpen[aOpen];
    uint8_t sink[4096];
    const long n = open.connection->receive(sink, sizeof sink);
    if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))) return false;
    // Closed by the host, reset, or shut down by the sender after a stall.
    // It leaves the list here and now (the run ends with this handler, so
    // no watch uses the shifted places): a stop that comes before the next
    // run then finds only connections that are still open.
    mSenders[open.channel]->detachStream(open.connection.get());
    mOpen.erase(mOpen.begin() + long(aOpen));
    mChanged = true;
    return false;
}

} // namespace softdevice
} // namespace tarn
