#ifndef TARN_TESTS_TRANSMITTER_RECEIVER_H
#define TARN_TESTS_TRANSMITTER_RECEIVER_H

// A bare socket on the loopback that collects the datagrams sent to it.

#include "gev/gvsp.h"
#include "net/socket.h"

#include <poll.h>

#include <string>
#include <vector>

namespace tarn {
namespace testing {

struct Datagrams {
    net::UdpSocket socket = net::UdpSocket::Bind({0x7F000001, 0}, net::SocketOptions());
    uint16_t Port() const { return socket.Local().port; }

    // Everything that arrives until nothing more comes for aQuietMs, or
    // aWant datagrams have come.
    std::vector<std::vector<uint8_t>> Collect(size_t aWant = size_t(-1), int aQuietMs = 300)
    {
        std::vector<std::vector<uint8_t>> out;
        std::vector<uint8_t> packet(65536);
        while (out.size() < aWant) {
            pollfd p{socket.GetFd(), POLLIN, 0};
            if (::poll(&p, 1, aQuietMs) <= 0) break;
            long n = socket.Receive(packet.data(), packet.size());
            if (n > 0) out.emplace_back(packet.begin(), packet.begin() + n);
        }
        return out;
    }
};

inline gvsp::Header headerOf(const std::vector<uint8_t> &aPacket)
{
    auto parsed = gvsp::parsePacket(aPacket.data(), aPacket.size());
    return parsed ? parsed->header : gvsp::Header{};
}

} // namespace testing
} // namespace tarn

#endif
