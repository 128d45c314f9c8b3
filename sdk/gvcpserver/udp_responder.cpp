#include "gvcpserver/udp_responder.h"

namespace tarn {
namespace gvcp {

UdpResponder::UdpResponder(const DeviceIdentity &identity) : mResponder(identity) {}

UdpResponder::~UdpResponder()
{
    stop();
}

bool UdpResponder::start(const std::string &address, uint16_t port, std::string *error)
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
    net::SocketOptions options;
    // Several devices share port 3956 on one machine, each on its own address.
    options.reuseAddress = true;
    mSocket = net::UdpSocket::bind({ip, port}, options, error);
    if (!mSocket.valid()) return false;
    mPort = mSocket.local().port;
    if (port == kPort) {
        // Optional: another device may hold it without sharing, and unicast
        // discovery still works without it.
        mBroadcastSocket = net::UdpSocket::bind({net::kBroadcastAddress, port}, options);
    }
    mLoop = std::make_unique<net::PollLoop>();
    if (!mLoop->valid()) {
        if (error) *error = "no wake-up descriptor for the poll loop";
        stop();
        return false;
    }
    mLoop->watch(mSocket.fd(), [this](int) { return serve(mSocket); });
    if (mBroadcastSocket.valid()) mLoop->watch(mBroadcastSocket.fd(), [this](int) { return serve(mBroadcastSocket); });
    mResponder.setAddress(ip);
    mThread = std::thread([this] { mLoop->run(); });
    return true;
}

void UdpResponder::stop()
{
    if (mThread.joinable()) {
        mLoop->stop();
        mThread.join();
    }
    mLoop.reset();
    mSocket = net::UdpSocket();
    mBroadcastSocket = net::UdpSocket();
}

bool UdpResponder::serve(const net::UdpSocket &from)
{
    uint8_t buf[1500];
    net::Arrival arrival;
    long n = from.receive(buf, sizeof buf, &arrival);
    if (n <= 0) return true;
    auto reply = mResponder.answer(buf, size_t(n));
    // Answers always leave from the device's own address.
    if (reply) mSocket.sendTo(reply->data(), reply->size(), arrival.from);
    return true;
}

} // namespace gvcp
} // namespace tarn
