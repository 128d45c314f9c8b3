// Senders of GVSP over the loopback, each on the core it is pinned to (the
// receiver is build/bin/bench_yardstick recv):
//
//   bench_transmitter transmitter <port> <seconds> [<Mbit/s> [<KiB>]]
//       the stand-alone transmitter, four frames (4 MiB unless given) taken
//       back and queued again, paced to the rate when given; prints the
//       payload sent, the time, the transmitter's own average and the
//       processor time.
//   bench_transmitter camera <port> <seconds>
//       the software camera's stream channel sender, one frame after another.
//
// Packets of 8 KiB (8192 bytes with the IP and UDP headers) throughout.

#include "ZuBuffer.h"
#include "ZuTransmitterGEV.h"
#include "softdevice/gvsp_sender.h"

#include <sys/socket.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kPacketSize = 8192;
constexpr uint32_t kFrame = 4u << 20;

double seconds(Clock::time_point aFrom) { return std::chrono::duration<double>(Clock::now() - aFrom).count(); }

// Processor time of the whole process: what the sending cost, whatever
// share of the core the machine's other load left it.
double processorSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

std::unique_ptr<ZuBuffer> frame(uint8_t aSeed, uint32_t aSize = kFrame)
{
    auto buffer = std::make_unique<ZuBuffer>(ZuPayloadTypeRawData);
    buffer->Alloc(aSize);
    std::memset(buffer->GetDataPointer(), aSeed, aSize);
    return buffer;
}

int transmitter(uint16_t aPort, double aSeconds, double aRate, uint32_t aFrame)
{
    ZuTransmitterGEV t;
    t.SetPacketSize(kPacketSize);
    t.SetSentBuffersTimeout(0);
    t.SetMaxPayloadThroughput(float(aRate));
    if (!t.Open(ZuString("127.0.0.1"), aPort, ZuString("127.0.0.1"), 0, true, false, 64, false, 1).IsOK()) return 1;
    std::vector<std::unique_ptr<ZuBuffer>> frames;
    for (int i = 0; i < 4; ++i) {
        frames.push_back(frame(uint8_t(i), aFrame));
        t.QueueBuffer(frames.back().get());
    }
    const auto start = Clock::now();
    const double cpu = processorSeconds();
    t.ResetStats();
    while (seconds(start) < aSeconds) {
        ZuBuffer *free = nullptr;
        if (t.RetrieveFreeBuffer(&free, 1000).IsOK()) t.QueueBuffer(free);
    }
    const double elapsed = seconds(start);
    const uint64_t bytes = t.GetPayloadBytesTransmitted();
    const float average = t.GetAveragePayloadThroughput();
    t.AbortQueuedBuffers();
    t.Close();
    std::printf("sent %llu %.6f %.3f %.6f\n", (unsigned long long)bytes, elapsed, double(average), processorSeconds() - cpu);
    return 0;
}

int camera(uint16_t aPort, double aSeconds)
{
    tarn::softdevice::StreamConfig config;
    config.destination = 0x7F000001;
    config.port = aPort;
    config.packetSize = kPacketSize;
    tarn::softdevice::GvspSender sender(config);
    std::string error;
    if (!sender.Open(0x7F000001, error)) return 1;
    auto buffer = frame(1);
    uint64_t bytes = 0, id = 1;
    const auto start = Clock::now();
    const double cpu = processorSeconds();
    while (seconds(start) < aSeconds) {
        sender.Release(0, nullptr);
        if (sender.Send(*buffer, id)) bytes += kFrame;
        id = tarn::gvsp::nextBlockId(id, false);
    }
    std::printf("sent %llu %.6f 0 %.6f\n", (unsigned long long)bytes, seconds(start), processorSeconds() - cpu);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s transmitter|camera <port> <seconds> [<Mbit/s>]\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const uint16_t port = uint16_t(std::atoi(argv[2]));
    const double duration = std::atof(argv[3]);
    if (mode == "transmitter")
        return transmitter(port, duration, argc > 4 ? std::atof(argv[4]) : 0,
                           argc > 5 ? uint32_t(std::atoi(argv[5])) << 10 : kFrame);
    if (mode == "camera") return camera(port, duration);
    return 2;
}
