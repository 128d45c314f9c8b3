#include "softdevice/gvsp_sender.h"

namespace tarn {
namespace softdevice {

GvspSender::GvspSender(StreamConfig &aConfig) : mConfig(aConfig) {}

bool GvspSender::Open(uint32_t aDeviceIp, std::string &aError)
{
    gvspsend::SenderOptions options;
    options.source = {aDeviceIp, 0};
    options.batch = 64;
    if (!mChannel.Open(options, aError)) return false;
    mConfig.sourcePort = mChannel.Local().port;
    return true;
}

bool GvspSender::Reopen(uint32_t aDeviceIp, std::string &aError)
{
    std::lock_guard<std::mutex> lock(mLock);
    mChannel.Close();
    return Open(aDeviceIp, aError);
}

bool GvspSender::Send(ZuBuffer &aBuffer, uint64_t aBlockId)
{
    std::lock_guard<std::mutex> lock(mLock);
    const uint32_t destination = mConfig.destination;
    const uint16_t port = uint16_t(mConfig.port & 0xFFFF);
    const size_t packetSize = mConfig.packetSize & 0xFFFF;
    if (!destination || !port || packetSize <= gvsp::kIpUdpOverhead) return false;
    gvspsend::BlockRoute route;
    route.to = {destination, port};
    route.datagram = packetSize - gvsp::kIpUdpOverhead;
    route.extendedId = mConfig.extendedIds;
    PickStream(route.to);
    const bool sent = mChannel.Send(aBuffer, &aBuffer, aBlockId, route);
    DropStreamIfFailed();
    return sent;
}

size_t GvspSender::Held() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mChannel.Held();
}

void GvspSender::Release(size_t aKeep, const std::function<void(ZuBuffer *)> &aGone)
{
    std::lock_guard<std::mutex> lock(mLock);
    mChannel.Expire(aKeep, gvspsend::SendClock::time_point::min(), [&aGone](const void *aTag) {
        if (aGone) aGone(static_cast<ZuBuffer *>(const_cast<void *>(aTag)));
    });
}

int GvspSender::SendDatagrams(const uint8_t *const *aDatas, const size_t *aSizes, size_t aCount, net::Endpoint aTo)
{
    std::lock_guard<std::mutex> lock(mLock);
    return mChannel.GetSender().SendDatagrams(aDatas, aSizes, aCount, aTo);
}

void GvspSender::Resend(const gvcp::PacketResendCmd &aRequest)
{
    std::lock_guard<std::mutex> lock(mLock);
    const net::Endpoint configured{mConfig.destination, uint16_t(mConfig.port & 0xFFFF)};
    PickStream(mChannel.DestinationOf(aRequest.blockId, configured));
    mChannel.Resend(aRequest.blockId, aRequest.firstPacketId, aRequest.lastPacketId, mConfig.extendedIds, configured);
    DropStreamIfFailed();
}

bool GvspSender::SendTestPacket(size_t aSize, net::Endpoint aTo)
{
    // Without the lock: the socket is replaced only by Reopen(), which runs
    // on the control thread too.
    return mChannel.SendTestPacket(aSize, aTo);
}

void GvspSender::AttachStream(std::shared_ptr<net::TcpConnection> aStream)
{
    std::lock_guard<std::mutex> lock(mLock);
    if (mStreams.size() >= kMaxStreams) {
        // The oldest goes, but not the one from the destination: idle peers
        // cannot push the receiver out. Its reader sees the end of it.
        const net::Endpoint to{uint32_t(mConfig.destination), uint16_t(mConfig.port & 0xFFFF)};
        auto gone = mStreams.begin();
        for (auto it = mStreams.begin(); it != mStreams.end(); ++it)
            if (it->peer.ip != to.ip || it->peer.port != to.port) {
                gone = it;
                break;
            }
        gone->connection->Shutdown();
        if (mCurrent == gone->connection.get()) PickStream({});
        mStreams.erase(gone);
    }
    const net::Endpoint peer = aStream->Peer();
    mStreams.push_back(Stream{std::move(aStream), peer});
}

void GvspSender::DetachStream(const net::TcpConnection *aStream)
{
    std::lock_guard<std::mutex> lock(mLock);
    DetachLocked(aStream);
}

void GvspSender::DetachLocked(const net::TcpConnection *aStream)
{
    for (auto it = mStreams.begin(); it != mStreams.end(); ++it) {
        if (it->connection.get() != aStream) continue;
        if (mCurrent == aStream) PickStream({});
        mStreams.erase(it);
        return;
    }
}

void GvspSender::PickStream(net::Endpoint aTo)
{
    net::TcpConnection *chosen = nullptr;
    // The newest first: a host that connected again from the same port.
    for (auto it = mStreams.rbegin(); it != mStreams.rend() && !chosen; ++it)
        if (it->peer.ip == aTo.ip && it->peer.port == aTo.port) chosen = it->connection.get();
    if (chosen != mCurrent) {
        mCurrent = chosen;
        mChannel.GetSender().SetStream(chosen);
    }
}

void GvspSender::DropStreamIfFailed()
{
    if (!mCurrent || !mChannel.GetSender().StreamFailed()) return;
    // The stream is cut somewhere inside a frame: nothing can follow on it.
    mCurrent->Shutdown();
    DetachLocked(mCurrent);
}

} // namespace softdevice
} // namespace tarn
