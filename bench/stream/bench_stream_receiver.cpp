// One side of the stream benchmark: receives frames with ZuStreamGEV from a
// device address until it has the frames asked for, or IDLE_S (default 1)
// pass without one after the last, and prints one JSON line: frames
// complete and failed, payload bytes, and the process's CPU and wall time
// from the frame that has every buffer used once (the first touch of a
// buffer's pages is a cost of starting, not of receiving) to its last.
//
//   bench_stream_receiver DEVICE_IP FRAMES FRAME_BYTES [IDLE_S] [noresend]
//
// It prints "port N" first, so that the driver can point a sender at it.
// With TARN_BENCH_TRACE set, frames that failed or took over 5 ms from
// first to last packet are listed on standard error.
#include "ZuBuffer.h"
#include "ZuGenParameterArray.h"
#include "ZuStreamGEV.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DEVICE_IP FRAMES FRAME_BYTES [IDLE_S] [noresend]\n", argv[0]);
        return 2;
    }
    unsigned frames = unsigned(std::atoi(argv[2]));
    uint32_t frameBytes = uint32_t(std::atoll(argv[3]));
    double idle = argc > 4 ? std::atof(argv[4]) : 1;
    ZuStreamGEV stream;
    ZuResult r = stream.Open(ZuString(argv[1]), 0, 0, ZuString(), 64);
    if (!r.IsOK()) {
        std::fprintf(stderr, "open failed: %d\n", r.GetCode());
        return 1;
    }
    if (argc > 5 && std::string(argv[5]) == "noresend")
        stream.GetParameters()->SetBooleanValue(ZuString("RequestMissingPackets"), false);
    constexpr unsigned kBuffers = 64;
    std::vector<std::unique_ptr<ZuBuffer>> buffers;
    for (unsigned k = 0; k < kBuffers; ++k) {
        buffers.emplace_back(new ZuBuffer());
        buffers.back()->Alloc(frameBytes);
        stream.QueueBuffer(buffers.back().get());
    }
    std::printf("port %u\n", stream.GetLocalPort());
    std::fflush(stdout);
    unsigned ok = 0, failed = 0;
    double bytes = 0, firstCpu = 0, firstWall = 0, lastCpu = 0, lastWall = 0;
    const double started = Now();
    while (ok + failed < frames) {
        ZuBuffer *b = nullptr;
        ZuResult op;
        if (!stream.RetrieveBuffer(&b, &op, 200).IsOK() || !b) {
            if (Now() - (ok + failed ? lastWall : started) > (ok + failed ? idle : 30)) break;
            continue;
        }
        if (ok + failed == kBuffers) {
            firstCpu = CpuSeconds();
            firstWall = Now();
        } else if (ok + failed > kBuffers && op.IsOK()) {
            // The frame that opens the window is not counted; the ones after it are.
            bytes += b->GetAcquiredSize();
        }
        if (op.IsOK()) ++ok;
        else ++failed;
        if (std::getenv("TARN_BENCH_TRACE") && (b->GetDuration() > 5000 || !op.IsOK()))
            std::fprintf(stderr, "block %llu op %d duration %llu us recovered %u lost %u resends %u\n",
                         (unsigned long long)b->GetBlockID(), op.GetCode(), (unsigned long long)b->GetDuration(),
                         b->GetPacketsRecoveredCount(), b->GetLostPacketCount(), b->GetResendPacketRequestedCount());
        lastCpu = CpuSeconds();
        lastWall = Now();
        stream.QueueBuffer(b);
    }
    auto stat = [&](const char *aName) {
        int64_t v = 0;
        stream.GetParameters()->GetIntegerValue(ZuString(aName), v);
        return (long long)v;
    };
    std::printf("{\"ok\": %u, \"failed\": %u, \"bytes\": %.0f, \"cpu\": %.6f, \"wall\": %.6f, \"dropped\": %lld, "
                "\"lost\": %lld, \"resends\": %lld, \"packets\": %lld, \"socket\": %lld}\n",
                ok, failed, bytes, lastCpu - firstCpu, lastWall - firstWall, stat("BlocksDropped"), stat("PacketsLost"),
                stat("ResendRequestCount"), stat("PacketCount"), stat("SocketRxBufferSize"));
    return 0;
}
