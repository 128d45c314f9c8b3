#ifndef TARN_DEVICE_GVCP_CLIENT_H
#define TARN_DEVICE_GVCP_CLIENT_H

// The controller's end of the GVCP control channel: one request at a time
// through the one GVCP exchange (gvcpclient/exchange.h), with the tries,
// answer time-out and command time-out of the communication parameters.
// Memory requests are split to what one packet carries.

#include "ZuResult.h"
#include "gev/gvcp.h"
#include "gvcpclient/exchange.h"
#include "net/socket.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarn {
namespace device {

using Clock = gvcpclient::Clock;

// How the client talks, and what it counts: shared with the device's
// communication parameters, which read and set them while it runs.
struct ClientSettings : gvcpclient::Counters {
    std::atomic<uint32_t> answerTimeoutMs{500};
    std::atomic<uint32_t> retries{3};
    // The longest one request waits in all, however often the device asks
    // for more time; never less than its tries' answer time-outs.
    std::atomic<uint32_t> commandTimeoutMs{10000};
    std::atomic<uint32_t> readMemPacketSize{536};
    std::atomic<uint32_t> writeMemPacketSize{536};
};

// The result of a failed acknowledge's status.
ZuResult ResultOfStatus(uint16_t aStatus, const std::string &aWhat);

class GvcpClient
{
public:
    explicit GvcpClient(std::shared_ptr<ClientSettings> aSettings);
    ~GvcpClient();
    GvcpClient(const GvcpClient &) = delete;
    GvcpClient &operator=(const GvcpClient &) = delete;

    // Opens the channel to a device (port 3956 unless given).
    ZuResult Open(uint32_t aDeviceIp, uint16_t aPort = gvcp::kPort);
    // Ends waits in progress and closes the channel; safe from any thread.
    void Close();
    bool IsOpen() const { return !mClosed; }
    // Ends the request waiting now and fails each later one at once, until
    // Resume; safe from any thread. Resume waits for the request that was
    // ended to return.
    void Interrupt();
    void Resume();

    net::Endpoint Device() const { return mDevice; }
    // The local address the device reaches this host at.
    uint32_t LocalIp() const { return mLocalIp; }
    // When the device last answered.
    Clock::time_point LastAnswer() const;

    // Register and memory requests. aDeadline, when given, ends the retries
    // at that time (the heartbeat asks no longer than the link may be silent).
    ZuResult ReadRegisters(const std::vector<uint32_t> &aAddresses, std::vector<uint32_t> &aValues,
                           std::optional<Clock::time_point> aDeadline = std::nullopt);
    // aCount addresses into as many values, written only when all came.
    ZuResult ReadRegisters(const uint32_t *aAddresses, size_t aCount, uint32_t *aValues,
                           std::optional<Clock::time_point> aDeadline = std::nullopt);
    ZuResult ReadRegister(uint32_t aAddress, uint32_t &aValue, std::optional<Clock::time_point> aDeadline = std::nullopt);
    ZuResult WriteRegisters(const std::vector<std::pair<uint32_t, uint32_t>> &aWrites, bool aAcknowledge = true,
                            std::optional<Clock::time_point> aDeadline = std::nullopt);
    ZuResult WriteRegister(uint32_t aAddress, uint32_t aValue, bool aAcknowledge = true,
                           std::optional<Clock::time_point> aDeadline = std::nullopt);
    // When a request sent now ends at the latest if the device never asks
    // for more time: after every try's answer time-out.
    Clock::time_point UnextendedDeadline() const;
    // Address and count multiples of 4, the range within 32 bits.
    ZuResult ReadMemory(uint64_t aAddress, uint8_t *aData, uint64_t aCount);
    ZuResult WriteMemory(uint64_t aAddress, const uint8_t *aData, uint64_t aCount);
    // Whether the device takes WRITEMEM; without it memory writes go as registers.
    void SetWriteMemSupported(bool aSupported) { mWriteMem = aSupported; }

    // From now on requests go over a TCP connection to the device's aPort
    // (our own devices offer it); the device knows this controller by the
    // connection's address. Stays on UDP when the connection fails.
    ZuResult UseTcp(uint16_t aPort);
    // Back to datagrams, when the connection leads nowhere.
    void UseUdp();
    bool OnTcp() const;

private:
    // One request, answered by aAnswer with success, under mLock.
    ZuResult Transact(gvcp::Bytes aPacket, uint16_t aReqId, uint16_t aAnswer, const char *aWhat, gvcp::Ack &aAck,
                      std::optional<Clock::time_point> aDeadline);
    std::chrono::milliseconds AnswerTimeout() const;
    Clock::time_point UnextendedDeadline(Clock::time_point aFrom) const;

    std::shared_ptr<ClientSettings> mSettings;
    mutable std::mutex mLock;  // one request at a time
    gvcpclient::Exchange mExchange;
    // A register read's acknowledge, under mLock: its payload's room is
    // kept from one read to the next.
    gvcp::Ack mReadAck;
    net::Endpoint mDevice;
    uint32_t mLocalIp = 0;
    std::atomic<bool> mClosed{true};
    std::atomic<bool> mWriteMem{true};
};

} // namespace device
} // namespace tarn

#endif
