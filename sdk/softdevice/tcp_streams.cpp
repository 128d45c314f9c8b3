#include "softdevice/tcp_streams.h"

#include <cerrno>

namespace tarn {
namespace softdevice {

bool TcpStreams::Start(uint32_t aIp, const std::vector<GvspSender *> &aSenders, std::string &aError)
{
    mSenders = aSenders;
    for (size_t k = 0; k < aSenders.size(); ++k) {
        net::TcpListener listener = net::TcpListener::Listen({aIp, 0}, &aError);
        if (!listener.Valid()) return false;
        mListeners.push_back(std::move(listener));
    }
    mLoop = std::make_unique<net::PollLoop>();
    if (!mLoop->Valid()) {
        aError = "no wake-up descriptor for the stream ports";
        return false;
    }
    Watch();
    if (!mThread.Start([this](Worker::Control &c) { Run(c); }, [this] { mLoop->Stop(); }).IsOK()) {
        aError = "no thread for the stream ports";
        return false;
    }
    return true;
}

void TcpStreams::Stop()
{
    mThread.Stop();
    for (Open &o : mOpen) {
        mSenders[o.channel]->DetachStream(o.connection.get());
        o.connection->Shutdown();
    }
    mOpen.clear();
    mListeners.clear();
    mLoop.reset();
}

std::vector<uint16_t> TcpStreams::Ports() const
{
    std::vector<uint16_t> ports;
    for (const net::TcpListener &l : mListeners) ports.push_back(l.Local().port);
    return ports;
}

void TcpStreams::Watch()
{
    mLoop->Clear();
    for (size_t k = 0; k < mListeners.size(); ++k) mLoop->Watch(mListeners[k].GetFd(), [this, k](int) { return Accept(k); });
    for (size_t k = 0; k < mOpen.size(); ++k) mLoop->Watch(mOpen[k].connection->GetFd(), [this, k](int) { return Drain(k); });
}

void TcpStreams::Run(const Worker::Control &aControl)
{
    while (!aControl.Stopping()) {
        // Each handler ends the run, so that the watches follow the
        // connections as they come and go.
        mLoop->Run();
        if (aControl.Stopping()) break;
        if (mChanged) {
            mChanged = false;
            Watch();
        }
    }
}

bool TcpStreams::Accept(size_t aChannel)
{
    auto connection = std::make_shared<net::TcpConnection>(mListeners[aChannel].Accept());
    if (!connection->Valid()) return false;
    // A bounded queue: a host that stops reading stalls the sender soon,
    // which then cuts it off instead of queueing without end.
    connection->SetSendBuffer(1 << 20);
    // Beyond the sender's few, its oldest other than the destination's is
    // shut down: its reader sees the end of it here.
    mSenders[aChannel]->AttachStream(connection);
    mOpen.push_back(Open{aChannel, std::move(connection)});
    mChanged = true;
    return false;
}

bool TcpStreams::Drain(size_t aOpen)
{
    const Open &open = mOpen[aOpen];
    uint8_t sink[4096];
    const long n = open.connection->Receive(sink, sizeof sink);
    if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))) return false;
    // Closed by the host, reset, or shut down by the sender after a stall.
    // It leaves the list here and now (the run ends with this handler, so
    // no watch uses the shifted places): a stop that comes before the next
    // run then finds only connections that are still open.
    mSenders[open.channel]->DetachStream(open.connection.get());
    mOpen.erase(mOpen.begin() + long(aOpen));
    mChanged = true;
    return false;
}

} // namespace softdevice
} // namespace tarn
