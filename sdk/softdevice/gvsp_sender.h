#ifndef TARN_SOFTDEVICE_GVSP_SENDER_H
#define TARN_SOFTDEVICE_GVSP_SENDER_H

// A stream channel's sender: each block a channel hands over goes out
// through the device side's one send channel to the destination the
// controller set, at the size and extended-id mode it set, and stays ready
// for packet resends until the channel queues its buffer again.

#include "gev/gvcp.h"
#include "gvspsend/send_channel.h"
#include "softdevice/model/channel.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

class GvspSender : public BlockSender
{
public:
    explicit GvspSender(StreamConfig &aConfig);
    bool Open(uint32_t aDeviceIp, std::string &aError);
    // The device moved to another address: streams leave from there now.
    bool Reopen(uint32_t aDeviceIp, std::string &aError);
    uint16_t Port() const { return mChannel.Local().port; }

    bool Send(ZuBuffer &aBuffer, uint64_t aBlockId) override;
    // The send channel's record of the blocks it holds for resends.
    size_t Held() const override;
    void Release(size_t aKeep, const std::function<void(ZuBuffer *)> &aGone) override;
    // Packets of a block sent earlier, again, while it is still held; for
    // one let go, the answer that says so.
    void Resend(const gvcp::PacketResendCmd &aRequest);
    // A test packet of aSize bytes (the UDP payload), from the channel's
    // source port. Never waits for a block on its way: the control thread
    // sends it, with the GVCP server's lock held.
    bool SendTestPacket(size_t aSize, net::Endpoint aTo);
    // Datagrams of another protocol from the channel's source port.
    int SendDatagrams(const uint8_t *const *aDatas, const size_t *aSizes, size_t aCount, net::Endpoint aTo);

    uint64_t PacketsSent() const { return mChannel.GetSender().PacketsSent(); }

    // TCP connections hosts made to the channel's port. A block goes over
    // the one that comes from the destination the controller set (address
    // and port), in place of datagrams; one that stalls is shut down and
    // left. Beyond kMaxStreams the oldest other than the destination's is
    // shut down. detachStream: the peer closed it.
    static constexpr size_t kMaxStreams = 4;
    void AttachStream(std::shared_ptr<net::TcpConnection> aStream);
    void DetachStream(const net::TcpConnection *aStream);

private:
    struct Stream {
        std::shared_ptr<net::TcpConnection> connection;
        net::Endpoint peer;
    };
    void PickStream(net::Endpoint aTo);
    void DetachLocked(const net::TcpConnection *aStream);
    void DropStreamIfFailed();

    StreamConfig &mConfig;
    mutable std::mutex mLock;
    gvspsend::SendChannel mChannel;
    std::vector<Stream> mStreams;
    net::TcpConnection *mCurrent = nullptr;  // what mChannel sends over
};

} // namespace softdevice
} // namespace tarn

#endif
