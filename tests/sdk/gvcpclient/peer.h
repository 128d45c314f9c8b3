#ifndef TARN_TEST_GVCPCLIENT_PEER_H
#define TARN_TEST_GVCPCLIENT_PEER_H

// Devices a test scripts, for the tests of the GVCP exchange and of the
// control channel over it: lost answers, late answers, PENDING, and
// answers that are wrong or come from elsewhere.

#include "gev/gvcp.h"
#include "net/poll_loop.h"
#include "net/socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tarn {
namespace test {

using gvcp::Bytes;
using gvcp::Command;

// A device that answers each command with what the script returns for it.
class FakePeer
{
public:
    using Script = std::function<std::vector<Bytes>(const Command &)>;

    FakePeer(const char *aAddress, Script aScript) : mScript(std::move(aScript))
    {
        gvcp::parseIPv4(aAddress, mIp);
        tarn::net::SocketOptions options;
        options.nonBlocking = true;
        mSocket = tarn::net::UdpSocket::Bind({mIp, gvcp::kPort}, options);
        EXPECT_TRUE(mSocket.Valid());
        mLoop.Watch(mSocket.GetFd(), [this](int) {
            uint8_t buf[1500];
            tarn::net::Arrival arrival;
            long n;
            while ((n = mSocket.Receive(buf, sizeof buf, &arrival)) > 0) {
                auto cmd = gvcp::decodeCommand(buf, size_t(n));
                if (!cmd) continue;
                std::vector<Bytes> answers;
                {
                    std::lock_guard<std::mutex> lock(mLock);
                    mCommands.push_back(*cmd);
                    mFrom = arrival.from;
                    answers = mScript(*cmd);
                }
                for (size_t k = 0; k < answers.size(); ++k) {
                    if (k + 1 == answers.size() && mDelayLastMs)
                        std::this_thread::sleep_for(std::chrono::milliseconds(mDelayLastMs));
                    mSocket.SendTo(answers[k].data(), answers[k].size(), arrival.from);
                }
            }
            return true;
        });
        mThread = std::thread([this] { mLoop.Run(); });
    }
    ~FakePeer()
    {
        mLoop.Stop();
        mThread.join();
    }
    std::vector<Command> Commands()
    {
        std::lock_guard<std::mutex> lock(mLock);
        return mCommands;
    }
    uint32_t Ip() const { return mIp; }
    // Where the command being answered came from (inside the script).
    tarn::net::Endpoint From() const { return mFrom; }
    // A packet from the device's port, unasked, from any thread.
    void Send(const Bytes &aPacket, tarn::net::Endpoint aTo) { mSocket.SendTo(aPacket.data(), aPacket.size(), aTo); }
    // The last answer to each command leaves this much later than the others.
    void DelayLast(int aMs) { mDelayLastMs = aMs; }

private:
    std::atomic<int> mDelayLastMs{0};
    Script mScript;
    uint32_t mIp = 0;
    tarn::net::UdpSocket mSocket;
    tarn::net::PollLoop mLoop;
    std::mutex mLock;
    std::vector<Command> mCommands;
    tarn::net::Endpoint mFrom;
    std::thread mThread;
};

// A socket that answers in the device's place, from elsewhere.
inline tarn::net::UdpSocket Impostor(uint32_t aIp, uint16_t aPort = 0)
{
    tarn::net::SocketOptions options;
    options.reuseAddress = true;
    auto socket = tarn::net::UdpSocket::Bind({aIp, aPort}, options);
    EXPECT_TRUE(socket.Valid());
    return socket;
}

} // namespace test
} // namespace tarn

#endif
