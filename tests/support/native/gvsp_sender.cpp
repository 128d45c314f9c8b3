#include "gvsp_sender.h"

#include "gev/gvcp.h"
#include "net/poll_loop.h"

#include <poll.h>

namespace tarn {
namespace test {

std::vector<uint8_t> FrameBytes(size_t aSize, uint64_t aBlock)
{
    std::vector<uint8_t> v(aSize);
    for (size_t i = 0; i < aSize; ++i) v[i] = uint8_t(i * 31 + aBlock * 7 + (i >> 8));
    return v;
}

GvspSender::GvspSender(const Options &aOptions)
    : mOptions(aOptions), mRandom(aOptions.seed), mLoss(aOptions.loss), mServe(aOptions.serveResends)
{
    mStream = net::UdpSocket::Bind(net::Endpoint{aOptions.deviceIp, 0}, net::SocketOptions());
    mControl = net::UdpSocket::Bind(net::Endpoint{aOptions.deviceIp, aOptions.controlPort}, net::SocketOptions());
    if (Valid()) mThread = std::thread([this] { Serve(); });
}

GvspSender::~GvspSender()
{
    mStop = true;
    if (mThread.joinable()) mThread.join();
}

bool GvspSender::Transmit(const Sent &aSent, uint32_t aId, bool aResend)
{
    uint8_t out[65536];
    size_t n = aSent.packetizer.Write(aId, out, sizeof out, aResend);
    if (!n) return false;
    if (!aResend) {
        std::uniform_real_distribution<double> u(0, 1);
        if (u(mRandom) < mLoss.load() || (aId == 0 && u(mRandom) < mOptions.leaderLoss)) return true;
    }
    // Loopback drops what the receiver's socket cannot hold: pace a little
    // when the kernel refuses.
    for (int tries = 0; tries < 1000 && !mStream.SendTo(out, n, aSent.to); ++tries) ::poll(nullptr, 0, 1);
    Keep(mStream.Local(), aSent.to, out, n);
    return true;
}

void GvspSender::Keep(net::Endpoint aFrom, net::Endpoint aTo, const uint8_t *aData, size_t aSize)
{
    if (!mRecording) return;
    std::lock_guard<std::mutex> guard(mRecordLock);
    mRecords.push_back(Record{aFrom, aTo, std::vector<uint8_t>(aData, aData + aSize)});
}

std::vector<GvspSender::Record> GvspSender::Recorded()
{
    std::lock_guard<std::mutex> guard(mRecordLock);
    return mRecords;
}

bool GvspSender::Send(const gvsp::BlockSource &aSource, uint64_t aBlockId, net::Endpoint aTo,
                      std::shared_ptr<const std::vector<uint8_t>> aKeep,
                      const std::vector<std::vector<uint8_t>> &aSlipIn, uint32_t aSlipAfter)
{
    std::lock_guard<std::mutex> guard(mLock);
    std::unique_ptr<Sent> sent(new Sent());
    sent->bytes = std::move(aKeep);
    sent->to = aTo;
    gvsp::BlockSource source = aSource;
    if (sent->bytes) {
        source.data = sent->bytes->data();
        source.size = sent->bytes->size();
    }
    if (!sent->packetizer.Start(source, aBlockId, mOptions.datagram, mOptions.extendedId)) return false;
    for (uint32_t id = 0; id < sent->packetizer.PacketCount(); ++id) {
        if (id == aSlipAfter)
            for (const auto &d : aSlipIn) mStream.SendTo(d.data(), d.size(), aTo);
        Transmit(*sent, id, false);
    }
    mSent.push_back(std::move(sent));
    while (mSent.size() > mOptions.keepBlocks) mSent.pop_front();
    return true;
}

bool GvspSender::SendImage(uint32_t aWidth, uint32_t aHeight, uint64_t aBlockId, net::Endpoint aTo, bool aReuse)
{
    gvsp::BlockSource s;
    s.leader.payloadType = gvsp::PAYLOAD_IMAGE;
    s.leader.timestamp = aBlockId * 1000;
    s.leader.image.pixelFormat = 0x01080001;
    s.leader.image.sizeX = aWidth;
    s.leader.image.sizeY = aHeight;
    s.trailer.sizeY = aHeight;
    size_t size = size_t(aWidth) * aHeight;
    if (!aReuse) return Send(s, aBlockId, aTo, std::make_shared<const std::vector<uint8_t>>(FrameBytes(size, aBlockId)));
    if (!mReused || mReused->size() != size) mReused = std::make_shared<const std::vector<uint8_t>>(FrameBytes(size, 0));
    return Send(s, aBlockId, aTo, mReused);
}

bool GvspSender::SendTest(size_t aSize, net::Endpoint aTo)
{
    std::vector<uint8_t> out(aSize);
    return gvsp::encodeTestPacket(out.data(), out.size()) && mStream.SendTo(out.data(), out.size(), aTo);
}

void GvspSender::Serve()
{
    uint8_t in[1024];
    while (!mStop) {
        pollfd p{mControl.GetFd(), POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        net::Arrival arrival;
        long n = mControl.Receive(in, sizeof in, &arrival);
        if (n <= 0) continue;
        Keep(arrival.from, mControl.Local(), in, size_t(n));
        auto cmd = gvcp::decodeCommand(in, size_t(n));
        if (!cmd || cmd->header.command != gvcp::PACKETRESEND_CMD) continue;
        auto resend = gvcp::PacketResendCmd::Decode(*cmd);
        if (!resend) continue;
        ++mRequests;
        if (!mServe) continue;
        std::lock_guard<std::mutex> guard(mLock);
        for (auto &sent : mSent) {
            if (sent->packetizer.BlockId() != resend->blockId) continue;
            for (uint64_t id = resend->firstPacketId; id <= resend->lastPacketId && id < sent->packetizer.PacketCount(); ++id) {
                if (mOptions.refuseStatus) {
                    uint8_t out[64];
                    size_t m = sent->packetizer.WriteStatus(uint32_t(id), mOptions.refuseStatus, out, sizeof out);
                    mStream.SendTo(out, m, sent->to);
                } else {
                    Transmit(*sent, uint32_t(id), true);
                }
            }
        }
        for (uint32_t k = 0; k < mOptions.storm && !mSent.empty(); ++k) {
            const Sent &other = *mSent[mRandom() % mSent.size()];
            const uint32_t id = mRandom() % 3 == 0 ? 0 : uint32_t(mRandom() % other.packetizer.PacketCount());
            Transmit(other, id, mRandom() % 2 == 0);
        }
    }
}

} // namespace test
} // namespace tarn
