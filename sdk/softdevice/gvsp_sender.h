#ifndef TARN_SOFTDEVICE_GVSP_SENDER_H
#define TARN_SOFTDEVICE_GVSP_SENDER_H

// A stream channel's sender: each block a channel hands over goes out as
// GVSP packets (the shared packetizer, written one at a time into one
// datagram buffer: nothing allocated per packet) to the destination the
// controller set, and stays ready for packet resends until the channel
// queues its buffer again.

#include "gev/gvcp.h"
#include "gev/packetizer.h"
#include "net/socket.h"
#include "softdevice/model/channel.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

// The GVSP description of what a buffer holds; false for a buffer with
// nothing to send (no data, an unknown payload).
bool describeBlock(ZuBuffer &aBuffer, gvsp::BlockSource &aSource);

class GvspSender : public BlockSender
{
public:
    explicit GvspSender(StreamConfig &aConfig);
    bool open(uint32_t aDeviceIp, std::string &aError);
    uint16_t port() const { return mPort; }

    bool send(ZuBuffer &aBuffer, uint64_t aBlockId) override;
    void release(ZuBuffer *aBuffer) override;
    // Packets of a block sent earlier, again, while it is still held.
    void resend(const gvcp::PacketResendCmd &aRequest);

    uint64_t packetsSent() const { return mPacketsSent; }

private:
    struct Sent {
        ZuBuffer *buffer = nullptr;
        gvsp::Packetizer packetizer;
        net::Endpoint to;
    };
    // Packets aFirst..aLast of a block, written a batch at a time into the
    // batch memory and sent in one system call per batch.
    void transmit(const Sent &aSent, uint32_t aFirst, uint32_t aLast, bool aResend);
    void flush(size_t aCount, net::Endpoint aTo);

    StreamConfig &mConfig;
    net::UdpSocket mSocket;
    uint16_t mPort = 0;
    std::mutex mLock;
    std::deque<std::unique_ptr<Sent>> mHistory;
    std::vector<std::unique_ptr<Sent>> mSpare;
    static constexpr size_t kBatch = 32;
    std::vector<uint8_t> mBatch;            // kBatch datagrams of the largest size
    const uint8_t *mDatas[kBatch] = {};
    size_t mSizes[kBatch] = {};
    uint64_t mPacketsSent = 0;
};

} // namespace softdevice
} // namespace tarn

#endif
