#include "softdevice/tcp_streams.h"

#include "net/socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace tarn;
using namespace tarn::softdevice;

// A receiver that closes its stream connection just as the camera stops
// (a script freeing its stream, then stopping the camera): the ports'
// thread may be letting the connection go at the very moment the stop
// asks it to end. The stop is made to fall at a different point of that
// each round, by a spin a little longer each time (a sleep would overshoot
// the few microseconds that matter).
TEST(TcpStreams, StopWhileAHostClosesItsConnection)
{
    using Clock = std::chrono::steady_clock;
    StreamConfig config;
    GvspSender sender(config);
    std::string error;
    ASSERT_TRUE(sender.Open(0x7F000001, error)) << error;
    for (int round = 0; round < 300; ++round) {
        TcpStreams streams;
        ASSERT_TRUE(streams.Start(0x7F000001, {&sender}, error)) << error;
        {
            net::TcpConnection host = net::TcpConnection::Connect({0x7F000001, streams.Ports()[0]}, 0, 5000, &error);
            ASSERT_TRUE(host.Valid()) << error;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const auto stopAt = Clock::now() + std::chrono::nanoseconds(round * 997 % 40000);
        while (Clock::now() < stopAt) {
        }
        streams.Stop();
    }
}
