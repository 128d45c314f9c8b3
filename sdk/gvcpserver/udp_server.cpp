#include "gvcpserver/udp_server.h"

#include <algorithm>

namespace tarn {
namespace gvcp {

class UdpServer::Output : public ServerOutput
{
public:
    explicit Output(UdpServer &aOwner) : mOwner(aOwner) {}
    void sendControl(const Bytes &packet, const net::Endpoint &to) override
    {
        mOwner.mSocket.sendTo(packet.data(), packet.size(), to);
    }
    void sendMessage(const Bytes &packet, const net::Endpoint &to) override
    {
        mOwner.mMessageSocket.sendTo(packet.data(), packet.size(), to);
    }
    void sendTestPacket(uint32_t, const Bytes &payload, bool, const net::Endpoint &to) override
    {
        // Refused by the kernel when larger than the way allows: lost, as on a network.
        mOwner.mTestSocket.sendTo(payload.data(), payload.size(), to);
    }
    void changeAddress(uint32_t ip) override
    {
        std::string error;
        if (mOwner.bindSockets(ip, &error)) mOwner.mRebound = true;
    }

private:
    UdpServer &mOwner;
};

UdpServer::UdpServer(ServerConfig config, DeviceModel *model, ServerListener *listener)
    : mServer(std::move(config), model, listener), mOutput(std::make_unique<Output>(*this))
{
}

UdpServer::~UdpServer()
{
    stop();
}

bool UdpServer::bindSockets(uint32_t ip, std::string *error)
{
    net::SocketOptions options;
    // Several devices share port 3956 on one machine, each on its own address.
    options.reuseAddress = true;
    net::UdpSocket control = net::UdpSocket::bind({ip, mPort}, options, error);
    if (!control.valid()) return false;
    net::SocketOptions quiet;
    quiet.nonBlocking = true;
    net::UdpSocket messages = net::UdpSocket::bind({ip, 0}, quiet, error);
    if (!messages.valid()) return false;
    quiet.dontFragment = true;
    net::UdpSocket tests = net::UdpSocket::bind({ip, 0}, quiet, error);
    if (!tests.valid()) return false;
    mSocket = std::move(control);
    mMessageSocket = std::move(messages);
    mTestSocket = std::move(tests);
    mPort = mSocket.local().port;
    mServer.setAddress(ip);
    mServer.setMessageSourcePort(mMessageSocket.local().port);
    for (uint32_t k = 0; k < mServer.streamChannelCount(); ++k) mServer.setStreamSourcePort(k, mTestSocket.local().port);
    return true;
}

bool UdpServer::start(const std::string &address, uint16_t port, std::string *error)
{
    if (mThread.joinable()) {
        if (error) *error = "already started";
        return false;
    }
    uint32_t ip = 0;
    if (!parseIPv4(address, ip)) {
        if (error) *error = "not an IPv4 address: " + address;
        return false;
    }
    mPort = port;
    if (!bindSockets(ip, error)) return false;
    if (port == kPort) {
        // Optional: another device may hold it without sharing, and unicast
        // discovery still works without it.
        net::SocketOptions options;
        options.reuseAddress = true;
        mBroadcastSocket = net::UdpSocket::bind({net::kBroadcastAddress, port}, options);
    }
    mLoop = std::make_unique<net::PollLoop>();
    if (!mLoop->valid()) {
        if (error) *error = "no wake-up descriptor for the poll loop";
        stop();
        return false;
    }
    watchSockets();
    mQuit = false;
    mThread = std::thread([this] { run(); });
    return true;
}

void UdpServer::watchSockets()
{
    mLoop->clear();
    mLoop->watch(mSocket.fd(), [this](int) { return serve(mSocket); });
    mLoop->watch(mMessageSocket.fd(), [this](int) { return serveMessages(); });
    if (mBroadcastSocket.valid()) mLoop->watch(mBroadcastSocket.fd(), [this](int) { return serve(mBroadcastSocket); });
}

void UdpServer::run()
{
    using namespace std::chrono;
    while (!mQuit) {
        int wait = -1;
        if (auto next = mServer.nextDeadline()) {
            auto left = ceil<milliseconds>(*next - Clock::now()).count();
            wait = int(std::clamp<long long>(left, 0, 60000));
        }
        // A handler ends the run after each packet, so that a changed
        // deadline (control taken, an event queued) is seen at once.
        if (wait != 0) mLoop->run(wait);
        if (mQuit) break;
        if (mRebound) {
            mRebound = false;
            watchSockets();
        }
        mServer.tick(Clock::now(), *mOutput);
    }
}

void UdpServer::stop()
{
    if (mThread.joinable()) {
        mQuit = true;
        mLoop->stop();
        mThread.join();
    }
    mLoop.reset();
    mSocket = net::UdpSocket();
    mBroadcastSocket = net::UdpSocket();
    mMessageSocket = net::UdpSocket();
    mTestSocket = net::UdpSocket();
}

bool UdpServer::postEvent(const Event &event, const Bytes *data, bool extendedId)
{
    bool queued = mServer.postEvent(event, data, extendedId);
    if (queued && mLoop) mLoop->stop();  // a wake-up: run() looks at the quit flag
    return queued;
}

bool UdpServer::serve(const net::UdpSocket &from)
{
    uint8_t buf[1500];
    net::Arrival arrival;
    long n = from.receive(buf, sizeof buf, &arrival);
    // Answers always leave from the device's own address.
    if (n > 0) mServer.handle(buf, size_t(n), arrival.from, Clock::now(), *mOutput);
    return false;
}

bool UdpServer::serveMessages()
{
    uint8_t buf[1500];
    long n = mMessageSocket.receive(buf, sizeof buf);
    if (n > 0) mServer.handleMessageAck(buf, size_t(n), Clock::now(), *mOutput);
    return false;
}

} // namespace gvcp
} // namespace tarn
