#ifndef TARN_SOFTDEVICE_TCP_STREAMS_H
#define TARN_SOFTDEVICE_TCP_STREAMS_H

// The stream channels' TCP ports: one listener per channel, and one thread
// that accepts a host's connection and hands it to the channel's sender,
// reads and drops whatever a host sends on it, and tells the sender when
// the host closed it.

#include "net/poll_loop.h"
#include "softdevice/gvsp_sender.h"
#include "tarn/Worker.h"

#include <memory>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

class TcpStreams
{
public:
    TcpStreams() = default;
    ~TcpStreams() { Stop(); }
    TcpStreams(const TcpStreams &) = delete;
    TcpStreams &operator=(const TcpStreams &) = delete;

    // Listens at aIp for each sender's channel; false with a reason.
    bool Start(uint32_t aIp, const std::vector<GvspSender *> &aSenders, std::string &aError);
    void Stop();
    // The port of each channel, in the senders' order.
    std::vector<uint16_t> Ports() const;

private:
    struct Open {
        size_t channel;
        std::shared_ptr<net::TcpConnection> connection;
    };
    void Run(const Worker::Control &aControl);
    void Watch();
    bool Accept(size_t aChannel);
    bool Drain(size_t aOpen);

    std::vector<GvspSender *> mSenders;
    std::vector<net::TcpListener> mListeners;
    std::vector<Open> mOpen;
    std::unique_ptr<net::PollLoop> mLoop;
    bool mChanged = false;
    Worker mThread;
};

} // namespace softdevice
} // namespace tarn

#endif
