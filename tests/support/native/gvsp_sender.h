#ifndef TARN_TESTS_GVSP_SENDER_H
#define TARN_TESTS_GVSP_SENDER_H

// A test-only GigE Vision transmitter: sends blocks through the shared
// packetizer from a device address on this machine, drops a seeded share
// of first transmissions (of leaders apart), and serves (or refuses) the
// PACKETRESEND requests that arrive on its control port, if asked with
// packets of other blocks it keeps besides, as a careless camera might.

#include "gev/packetizer.h"
#include "net/socket.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace tarn {
namespace test {

// The bytes of test frame aBlock: byte i is (i * 31 + aBlock * 7 + (i >> 8))
// modulo 256, so that a misplaced packet shows.
std::vector<uint8_t> FrameBytes(size_t aSize, uint64_t aBlock);

class GvspSender
{
public:
    struct Options {
        uint32_t deviceIp = 0x7F000001;
        uint16_t controlPort = 3956;
        size_t datagram = 1500 - 28;
        bool extendedId = false;
        double loss = 0;               // share of first transmissions dropped
        uint32_t seed = 1;
        bool serveResends = true;
        uint16_t refuseStatus = 0;     // answer resends with this status instead
        uint32_t keepBlocks = 64;      // blocks kept for resends
        double leaderLoss = 0;         // share of leaders' first transmissions dropped
        uint32_t storm = 0;            // packets of other kept blocks sent with each resend answer
    };

    explicit GvspSender(const Options &aOptions);
    ~GvspSender();
    bool Valid() const { return mStream.Valid() && mControl.Valid(); }

    // Sends a block to aTo; the block's bytes are kept for resends. aSlipIn
    // goes out after the block's first aSlipAfter packets, from the same
    // address and port.
    bool Send(const gvsp::BlockSource &aSource, uint64_t aBlockId, net::Endpoint aTo,
              std::shared_ptr<const std::vector<uint8_t>> aKeep = nullptr,
              const std::vector<std::vector<uint8_t>> &aSlipIn = {}, uint32_t aSlipAfter = 0);
    // An image of aWidth x aHeight Mono8 bytes from FrameBytes; with aReuse
    // every block sends the bytes of block 0 (made once), for benchmarks.
    bool SendImage(uint32_t aWidth, uint32_t aHeight, uint64_t aBlockId, net::Endpoint aTo, bool aReuse = false);
    bool SendTest(size_t aSize, net::Endpoint aTo);

    uint64_t ResendRequests() const { return mRequests.load(); }

    // With recording on, every datagram the sender sends and every command
    // it receives is kept, for a capture file that a dissector reads.
    struct Record {
        net::Endpoint from, to;
        std::vector<uint8_t> bytes;
    };
    void SetRecording(bool aOn) { mRecording = aOn; }
    std::vector<Record> Recorded();
    void SetLoss(double aLoss) { mLoss = aLoss; }
    void SetServeResends(bool aServe) { mServe = aServe; }

private:
    struct Sent {
        std::shared_ptr<const std::vector<uint8_t>> bytes;
        gvsp::Packetizer packetizer;
        net::Endpoint to;
    };
    void Serve();
    bool Transmit(const Sent &aSent, uint32_t aId, bool aResend);

    Options mOptions;
    net::UdpSocket mStream, mControl;
    std::mutex mLock;
    std::deque<std::unique_ptr<Sent>> mSent;
    std::mt19937 mRandom;
    std::atomic<double> mLoss;
    std::atomic<bool> mServe;
    std::atomic<bool> mStop{false};
    std::atomic<uint64_t> mRequests{0};
    std::shared_ptr<const std::vector<uint8_t>> mReused;
    std::atomic<bool> mRecording{false};
    std::mutex mRecordLock;
    std::vector<Record> mRecords;
    void Keep(net::Endpoint aFrom, net::Endpoint aTo, const uint8_t *aData, size_t aSize);
    std::thread mThread;
};

} // namespace test
} // namespace tarn

#endif
