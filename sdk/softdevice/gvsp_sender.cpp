#include "softdevice/gvsp_sender.h"

namespace tarn {
namespace softdevice {

GvspSender::GvspSender(StreamConfig &aConfig) : mConfig(aConfig) {}

bool GvspSender::open(uint32_t aDeviceIp, std::string &aError)
{
    gvsp::SenderOptions options;
    options.source = {aDeviceIp, 0};
    options.batch = 64;
    if (!mSender.open(options, aError)) return false;
    mConfig.sourcePort = mSender.local().port;
    return true;
}

bool GvspSender::reopen(uint32_t aDeviceIp, std::string &aError)
{
    std::lock_guard<std::mutex> lock(mLock);
    mSender.close();
    return open(aDeviceIp, aError);
}

bool GvspSender::send(ZuBuffer &aBuffer, uint64_t aBlockId)
{
    std::lock_guard<std::mutex> lock(mLock);
    const uint32_t destination = mConfig.destination;
    const uint16_t port = uint16_t(mConfig.port & 0xFFFF);
    const size_t packetSize = mConfig.packetSize & 0xFFFF;
    if (!destination || !port || packetSize <= gvsp::kIpUdpOverhead) return false;
    gvsp::HeldBlock &block = mHistory.prepare();
    gvsp::BlockSource source;
    if (!gvsp::describeBlock(aBuffer, source, block.parts)) return false;
    const bool extended = mConfig.extendedIds;
    // Block ids of 16 bits count 1 to 65535 and start again.
    const uint64_t id = extended ? aBlockId : (aBlockId - 1) % 0xFFFF + 1;
    if (!block.packetizer.start(source, id, packetSize - gvsp::kIpUdpOverhead, extended)) {
        mHistory.drop();
        return false;
    }
    block.tag = &aBuffer;
    block.to = {destination, port};
    pickStream(block.to);
    mSender.transmit(block.packetizer, 0, block.packetizer.packetCount() - 1, false, block.to);
    mHistory.commit(gvsp::SendClock::now());
    dropStreamIfFailed();
    return true;
}

void GvspSender::release(ZuBuffer *aBuffer)
{
    std::lock_guard<std::mutex> lock(mLock);
    mHistory.release(aBuffer);
}

int GvspSender::sendDatagrams(const uint8_t *const *aDatas, const size_t *aSizes, size_t aCount, net::Endpoint aTo)
{
    std::lock_guard<std::mutex> lock(mLock);
    return mSender.sendDatagrams(aDatas, aSizes, aCount, aTo);
}

void GvspSender::resend(const gvcp::PacketResendCmd &aRequest)
{
    std::lock_guard<std::mutex> lock(mLock);
    gvsp::HeldBlock *block = mHistory.find(aRequest.blockId);
    if (!block) return;
    pickStream(block->to);
    mSender.transmit(block->packetizer, aRequest.firstPacketId, aRequest.lastPacketId, true, block->to);
    dropStreamIfFailed();
}

void GvspSender::attachStream(std::shared_ptr<net::TcpConnection> aStream)
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
        gone->connection->shutdown();
        if (mCurrent == gone->connection.get()) pickStream({});
        mStreams.erase(gone);
    }
    const net::Endpoint peer = aStream->peer();
    mStreams.push_back(Stream{std::move(aStream), peer});
}

void GvspSender::detachStream(const net::TcpConnection *aStream)
{
    std::lock_guard<std::mutex> lock(mLock);
    detachLocked(aStream);
}

void GvspSender::detachLocked(const net::TcpConnection *aStream)
{
    for (auto it = mStreams.begin(); it != mStreams.end(); ++it) {
        if (it->connection.get() != aStream) continue;
        if (mCurrent == aStream) pickStream({});
        mStreams.erase(it);
        return;
    }
}

void GvspSender::pickStream(net::Endpoint aTo)
{
    net::TcpConnection *chosen = nullptr;
    // The newest first: a host that connected again from the same port.
    for (auto it = mStreams.rbegin(); it != mStreams.rend() && !chosen; ++it)
        if (it->peer.ip == aTo.ip && it->peer.port == aTo.port) chosen = it->connection.get();
    if (chosen != mCurrent) {
        mCurrent = chosen;
        mSender.setStream(chosen);
    }
}

void GvspSender::dropStreamIfFailed()
{
    if (!mCurrent || !mSender.streamFailed()) return;
    // The stream is cut somewhere inside a frame: nothing can follow on it.
    mCurrent->shutdown();
    detachLocked(mCurrent);
}

} // namespace softdevice
} // namespace tarn
