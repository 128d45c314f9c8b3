#include "net/adapters.h"
#include "net/poll_loop.h"
#include "net/socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <future>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tarn::net;

namespace {

bool InNetns() { return std::getenv("TARN_IN_NETNS") != nullptr; }

#define NEEDS_NETNS() \
    if (!InNetns()) GTEST_SKIP() << "opens sockets: run under tools/netns (make test)"

constexpr uint32_t kLoopback = 0x7F000001;

bool IsOpen(int aFd) { return ::fcntl(aFd, F_GETFD) != -1; }

// Runs the loop on another thread; a loop that never returns fails the
// test after a generous bound instead of hanging it.
PollLoop::Exit RunBounded(PollLoop &aLoop, int aTimeoutMs, const std::function<void()> &aMeanwhile = {})
{
    auto exit = std::async(std::launch::async, [&] { return aLoop.Run(aTimeoutMs); });
    if (aMeanwhile) aMeanwhile();
    if (exit.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        aLoop.Stop();
        ADD_FAILURE() << "the poll loop did not return";
    }
    return exit.get();
}

} // namespace

TEST(NetFd, ClosesOnceAndHandsOverOnMove)
{
    int raw[2];
    ASSERT_EQ(::pipe(raw), 0);
    ::close(raw[1]);
    {
        Fd a(raw[0]);
        Fd b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.Get(), raw[0]);
        Fd c;
        c = std::move(b);
        EXPECT_TRUE(IsOpen(raw[0]));
    }
    EXPECT_FALSE(IsOpen(raw[0]));
}

TEST(NetRoutes, ParsesTheKernelTable)
{
    std::istringstream text(
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
        "broken line\n"
        "eth1\tZZ\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n");
    std::vector<Route> routes = parseRoutes(text);
    ASSERT_EQ(routes.size(), 2u);
    EXPECT_EQ(routes[0].interfaceName, "eth0");
    EXPECT_EQ(routes[0].destination, 0u);
    EXPECT_EQ(routes[0].gateway, 0xC0A80101u);  // 192.168.1.1
    EXPECT_EQ(routes[1].destination, 0xC0A80100u);
    EXPECT_EQ(routes[1].mask, 0xFFFFFF00u);
    EXPECT_EQ(routes[1].gateway, 0u);
    std::istringstream empty("");
    EXPECT_TRUE(parseRoutes(empty).empty());
}

TEST(NetAdapters, ListsTheLoopback)
{
    NEEDS_NETNS();
    bool found = false;
    for (const Adapter &a : listAdapters()) {
        if (a.name != "lo") continue;
        found = true;
        ASSERT_FALSE(a.addresses.empty());
        EXPECT_EQ(a.addresses[0].ip, kLoopback);
        EXPECT_EQ(a.addresses[0].mask, 0xFF000000u);
        EXPECT_EQ(a.gateway, 0u);
    }
    EXPECT_TRUE(found);
    EXPECT_NE(interfaceIndex("lo"), 0u);
    EXPECT_EQ(interfaceIndex("tarn-no-such-if"), 0u);
}

TEST(NetUdpSocket, DatagramsCarryTheirAddressesInHostOrder)
{
    NEEDS_NETNS();
    SocketOptions info;
    info.packetInfo = true;
    info.nonBlocking = true;
    UdpSocket receiver = UdpSocket::Bind({kLoopback, 0}, info);
    UdpSocket sender = UdpSocket::Bind({0x7F000002, 0}, SocketOptions{});
    ASSERT_TRUE(receiver.Valid() && sender.Valid());
    const Endpoint at = receiver.Local();
    EXPECT_EQ(at.ip, kLoopback);
    EXPECT_NE(at.port, 0);

    char buf[16];
    EXPECT_EQ(receiver.Receive(buf, sizeof buf), -1);  // nothing waiting, no block
    ASSERT_TRUE(sender.SendTo("hello", 5, at));
    Arrival arrival;
    ASSERT_EQ(receiver.Receive(buf, sizeof buf, &arrival), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(arrival.from.ip, 0x7F000002u);
    EXPECT_EQ(arrival.from.port, sender.Local().port);
    EXPECT_EQ(arrival.interfaceIndex, interfaceIndex("lo"));
    EXPECT_EQ(arrival.localAddress, kLoopback);
}

TEST(NetUdpSocket, SharesAPortOnlyWhenAskedAndSaysWhyBindFails)
{
    NEEDS_NETNS();
    SocketOptions shared;
    shared.reuseAddress = true;
    UdpSocket first = UdpSocket::Bind({0x7F000003, 0}, shared);
    ASSERT_TRUE(first.Valid());
    const uint16_t port = first.Local().port;
    EXPECT_TRUE(UdpSocket::Bind({0x7F000004, port}, shared).Valid());

    std::string error;
    UdpSocket taken = UdpSocket::Bind({0x7F000003, port}, SocketOptions{}, &error);
    EXPECT_FALSE(taken.Valid());
    EXPECT_EQ(error.rfind("bind 127.0.0.3: ", 0), 0u) << error;
}

TEST(NetPollLoop, AStopIsNeverLost)
{
    PollLoop loop;
    ASSERT_TRUE(loop.Valid());
    loop.Stop();  // before the run: the run returns at once
    EXPECT_EQ(RunBounded(loop, -1), PollLoop::Exit::Stopped);
    // One stop ends one run; the next waits for its own.
    EXPECT_EQ(RunBounded(loop, 50), PollLoop::Exit::TimedOut);
    EXPECT_EQ(RunBounded(loop, -1, [&] {
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
                  loop.Stop();
              }),
              PollLoop::Exit::Stopped);
}

TEST(NetPollLoop, DispatchesToTheReadableDescriptorUntilItsHandlerIsDone)
{
    NEEDS_NETNS();
    // Alone, and behind more idle descriptors than the loop keeps on its stack.
    for (size_t idle : {size_t(0), size_t(10)}) {
        SocketOptions options;
        options.nonBlocking = true;
        std::vector<UdpSocket> others;
        PollLoop loop;
        for (size_t k = 0; k < idle; ++k) {
            others.push_back(UdpSocket::Bind({kLoopback, 0}, options));
            loop.Watch(others.back().GetFd(), [](int) { ADD_FAILURE() << "an idle descriptor was served"; return true; });
        }
        UdpSocket a = UdpSocket::Bind({kLoopback, 0}, options);
        UdpSocket b = UdpSocket::Bind({kLoopback, 0}, options);
        ASSERT_TRUE(a.Valid() && b.Valid());
        int fromA = 0, fromB = 0;
        char buf[8];
        loop.Watch(a.GetFd(), [&](int fd) {
            EXPECT_EQ(fd, a.GetFd());
            while (a.Receive(buf, sizeof buf) > 0) ++fromA;
            return true;
        });
        loop.Watch(b.GetFd(), [&](int fd) {
            EXPECT_EQ(fd, b.GetFd());
            while (b.Receive(buf, sizeof buf) > 0) ++fromB;
            return fromB < 2;
        });
        ASSERT_TRUE(a.SendTo("x", 1, b.Local()));
        ASSERT_TRUE(a.SendTo("y", 1, b.Local()));
        EXPECT_EQ(RunBounded(loop, 5000), PollLoop::Exit::Done) << idle << " idle";
        EXPECT_EQ(fromA, 0);
        EXPECT_EQ(fromB, 2);
    }
}

namespace {

// Reads everything from aConnection until it closes (bounded by a generous
// poll per read, so a writer that stopped fails instead of hanging).
std::vector<uint8_t> ReadAll(const TcpConnection &aConnection)
{
    std::vector<uint8_t> got;
    uint8_t buf[7000];
    for (;;) {
        pollfd p{aConnection.GetFd(), POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) {
            ADD_FAILURE() << "the writer went silent";
            return got;
        }
        const long n = aConnection.Receive(buf, sizeof buf);
        if (n == 0) return got;
        if (n > 0) got.insert(got.end(), buf, buf + n);
    }
}

// The connection a listener took (it accepts without blocking).
TcpConnection Accepted(const TcpListener &aListener)
{
    pollfd p{aListener.GetFd(), POLLIN, 0};
    ::poll(&p, 1, 10000);
    return aListener.Accept();
}

} // namespace

TEST(NetTcp, PiecesArriveInOrderThroughPartialWrites)
{
    NEEDS_NETNS();
    TcpListener listener = TcpListener::Listen({kLoopback, 0});
    ASSERT_TRUE(listener.Valid());
    TcpConnection client = TcpConnection::Connect(listener.Local(), 0, 5000);
    ASSERT_TRUE(client.Valid());
    TcpConnection server = Accepted(listener);
    ASSERT_TRUE(server.Valid());
    EXPECT_EQ(server.Peer().port, client.Local().port);
    EXPECT_EQ(client.Peer().port, listener.Local().port);
    // Far more than the socket buffers hold, in pieces of many sizes (some
    // empty), so that writes end inside a piece.
    server.SetSendBuffer(4096);
    std::vector<std::vector<uint8_t>> data;
    std::vector<TcpConnection::Piece> pieces;
    std::vector<uint8_t> expected;
    for (size_t k = 0; k < 700; ++k) {
        data.emplace_back((k * 977) % 9000);
        for (size_t i = 0; i < data.back().size(); ++i) data.back()[i] = uint8_t(k + i);
        expected.insert(expected.end(), data.back().begin(), data.back().end());
    }
    for (const auto &d : data) pieces.push_back({d.data(), d.size()});
    auto reader = std::async(std::launch::async, [&] { return ReadAll(client); });
    EXPECT_TRUE(server.SendPieces(pieces.data(), pieces.size(), 5000));
    server.Shutdown();
    EXPECT_EQ(reader.get(), expected);
}

TEST(NetTcp, APeerThatStopsReadingFailsTheWriteInsteadOfBlockingIt)
{
    NEEDS_NETNS();
    TcpListener listener = TcpListener::Listen({kLoopback, 0});
    TcpConnection client = TcpConnection::Connect(listener.Local(), 0, 5000);
    ASSERT_TRUE(client.Valid());
    TcpConnection server = Accepted(listener);
    ASSERT_TRUE(server.Valid());
    server.SetSendBuffer(4096);
    std::vector<uint8_t> block(1 << 20);
    const TcpConnection::Piece piece{block.data(), block.size()};
    auto sent = std::async(std::launch::async, [&] { return server.SendPieces(&piece, 1, 50); });
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(sent.get());
    // A peer that went away fails the next write too.
    client = TcpConnection();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    bool failed = false;
    for (int k = 0; k < 100 && !failed; ++k) failed = !server.SendPieces(&piece, 1, 50);
    EXPECT_TRUE(failed);
}
