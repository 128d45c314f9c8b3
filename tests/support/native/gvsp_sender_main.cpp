// gvsp_test_sender: sends test frames (FrameBytes) as a GigE Vision stream
// from a device address on this machine to a receiver, drops a seeded share
// of packets and serves resends, for tests and interop runs that need a
// transmitter whose every byte is known.
//
//   gvsp_test_sender --device 127.0.0.5 --to 127.0.0.1:50000 --frames 10
//       [--width 640] [--height 480] [--datagram 1472] [--loss 0.1]
//       [--seed 1] [--refuse] [--no-resend] [--extended] [--first-block 1]
//       [--interval-ms 5] [--linger-ms 500] [--test-packet] [--rate-mbs 1200]
//       [--reuse-frame] [--keep-blocks 64] [--control-port 3956]
//
// With --rate-mbs the frames are paced to that many megabytes a second
// (--interval-ms is then ignored).
#include "gvsp_sender.h"

#include "gev/gvcp.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

using namespace tarn;

int main(int argc, char **argv)
{
    test::GvspSender::Options options;
    net::Endpoint to{0x7F000001, 0};
    unsigned frames = 1, width = 640, height = 480, intervalMs = 5, lingerMs = 500;
    uint64_t block = 1;
    bool testPacket = false, reuse = false;
    double rate = 0;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        const char *v = k + 1 < argc ? argv[k + 1] : "";
        if (a == "--device") { gvcp::parseIPv4(v, options.deviceIp); ++k; }
        else if (a == "--to") {
            std::string s = v;
            size_t colon = s.find(':');
            gvcp::parseIPv4(s.substr(0, colon), to.ip);
            to.port = uint16_t(std::atoi(s.c_str() + colon + 1));
            ++k;
        }
        else if (a == "--frames") { frames = unsigned(std::atoi(v)); ++k; }
        else if (a == "--width") { width = unsigned(std::atoi(v)); ++k; }
        else if (a == "--height") { height = unsigned(std::atoi(v)); ++k; }
        else if (a == "--datagram") { options.datagram = size_t(std::atoi(v)); ++k; }
        else if (a == "--loss") { options.loss = std::atof(v); ++k; }
        else if (a == "--seed") { options.seed = unsigned(std::atoi(v)); ++k; }
        else if (a == "--first-block") { block = uint64_t(std::atoll(v)); ++k; }
        else if (a == "--interval-ms") { intervalMs = unsigned(std::atoi(v)); ++k; }
        else if (a == "--linger-ms") { lingerMs = unsigned(std::atoi(v)); ++k; }
        else if (a == "--refuse") options.refuseStatus = gvsp::STATUS_PACKET_UNAVAILABLE;
        else if (a == "--no-resend") options.serveResends = false;
        else if (a == "--extended") options.extendedId = true;
        else if (a == "--test-packet") testPacket = true;
        else if (a == "--reuse-frame") reuse = true;
        else if (a == "--control-port") { options.controlPort = uint16_t(std::atoi(v)); ++k; }
        else if (a == "--keep-blocks") { options.keepBlocks = unsigned(std::atoi(v)); ++k; }
        else if (a == "--rate-mbs") { rate = std::atof(v) * 1e6; ++k; }
        else { std::fprintf(stderr, "unknown argument %s\n", a.c_str()); return 2; }
    }
    test::GvspSender sender(options);
    if (!sender.Valid() || !to.port) {
        std::fprintf(stderr, "cannot bind the device address or no destination\n");
        return 1;
    }
    if (testPacket) sender.SendTest(options.datagram, to);
    auto start = std::chrono::steady_clock::now();
    double frameBytes = double(width) * height;
    for (unsigned f = 0; f < frames; ++f) {
        if (!sender.SendImage(width, height, block, to, reuse)) {
            std::fprintf(stderr, "the frame cannot be sent in these datagrams\n");
            return 1;
        }
        block = gvsp::nextBlockId(block, options.extendedId);
        if (rate > 0) {
            auto due = start + std::chrono::duration<double>((f + 1) * frameBytes / rate);
            std::this_thread::sleep_until(std::chrono::time_point_cast<std::chrono::steady_clock::duration>(due));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(lingerMs));
    std::printf("sent %u frames, %llu resend requests\n", frames, (unsigned long long)sender.ResendRequests());
    return 0;
}
