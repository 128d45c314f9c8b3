#ifndef TARN_SOFTDEVICE_GVSP_SENDER_H
#define TARN_SOFTDEVICE_GVSP_SENDER_H

// A stream channel's sender: each block a channel hands over goes out
// through the shared GVSP sender to the destination the controller set, at
// the size and extended-id mode it set, and stays ready for packet resends
// until the channel queues its buffer again.

#include "gev/gvcp.h"
#include "gvspsend/sender.h"
#include "softdevice/model/channel.h"

#include <memory>
#include <mutex>
#include <string>

namespace tarn {
namespace softdevice {

class GvspSender : public BlockSender
{
public:
    explicit GvspSender(StreamConfig &aConfig);
    bool open(uint32_t aDeviceIp, std::string &aError);
    // The device moved to another address: streams leave from there now.
    bool reopen(uint32_t aDeviceIp, std::string &aError);
    uint16_t port() const { return mSender.local().port; }

    bool send(ZuBuffer &aBuffer, uint64_t aBlockId) override;
    void release(ZuBuffer *aBuffer) override;
    // Packets of a block sent earlier, again, while it is still held.
    void resend(const gvcp::PacketResendCmd &aRequest);

    uint64_t packetsSent() const { return mSender.packetsSent(); }

    // Blocks go over this TCP connection from the next one on, in place of
    // datagrams; one that stalls is shut down and left, and datagrams
    // follow again. detachStream: the peer closed it.
    void attachStream(std::shared_ptr<net::TcpConnection> aStream);
    void detachStream(const net::TcpConnection *aStream);
    bool streaming() const;

private:
    void dropStreamIfFailed();

    StreamConfig &mConfig;
    mutable std::mutex mLock;
    gvsp::Sender mSender;
    gvsp::History mHistory;
    std::shared_ptr<net::TcpConnection> mStream;
};

} // namespace softdevice
} // namespace tarn

#endif
