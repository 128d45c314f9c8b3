// The physical limits the benchmarks set their figures beside: a plain
// receiving loop that only counts bytes, and a plain sending loop of
// prepared datagrams, each as little code as the system calls need. No
// SDK code runs here.
//
//   bench_yardstick recv [PORT] [IDLE_MS] [RING_BYTES]
//       binds 127.0.0.1:PORT (0: any port; prints "port N"), takes the
//       kernel's largest receive buffer (as the stream receiver does) and
//       receives with recvmmsg, 64 datagrams at most a call, until IDLE_MS
//       (default 1000) pass without one after the first, into 9 KiB slots
//       that go round a ring of RING_BYTES (written once before; by
//       default 64 slots, which stay in the processor's cache: as much
//       memory as a receiver's buffers is what one that hands frames over
//       writes). Prints one JSON line: bytes, datagrams, and the processor
//       and wall time from the first datagram to the last.
//   bench_yardstick send ADDRESS:PORT SECONDS DATAGRAM FRAME_BYTES
//       sends frames of FRAME_BYTES in datagrams of DATAGRAM bytes (the
//       UDP payload; the frame's bytes plus an 8-byte header each, like a
//       GigE Vision stream's, and a leader and a trailer), all prepared
//       before the loop, with sendmmsg 64 at a time for SECONDS. Prints
//       one JSON line: bytes sent, processor and wall time.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr unsigned kBatch = 64;

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double ProcessorSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

int Receive(uint16_t aPort, int aIdleMs, size_t aRingBytes)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = htons(aPort);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        std::perror("bind");
        return 1;
    }
    long limit = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> limit;
    int size = int(std::min<long>(limit > 0 ? limit : 4 << 20, 64 << 20));
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    timeval idle{aIdleMs / 1000, (aIdleMs % 1000) * 1000};
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length);
    std::printf("port %u\n", ntohs(local.sin_port));
    std::fflush(stdout);

    constexpr size_t kSlot = 9216;
    // Written once before the loop, so that no page is first touched in it.
    std::vector<uint8_t> memory(std::max<size_t>(aRingBytes, kBatch * kSlot));
    size_t at = 0;
    mmsghdr messages[kBatch];
    iovec vectors[kBatch];
    double bytes = 0, datagrams = 0, firstCpu = 0, firstWall = 0, lastWall = 0;
    for (;;) {
        for (unsigned i = 0; i < kBatch; ++i) {
            vectors[i] = iovec{memory.data() + at + i * kSlot, kSlot};
            messages[i] = mmsghdr{};
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int got = ::recvmmsg(fd, messages, kBatch, MSG_WAITFORONE, nullptr);
        if (got < 0) {
            if (errno == EINTR) continue;
            break; // the idle time-out (set after the first datagram)
        }
        if (datagrams == 0) {
            firstCpu = ProcessorSeconds();
            firstWall = Now();
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
        }
        for (int i = 0; i < got; ++i) bytes += messages[i].msg_len;
        datagrams += got;
        at += size_t(got) * kSlot;
        if (at + kBatch * kSlot > memory.size()) at = 0;
        lastWall = Now();
    }
    // The wait that ended the loop blocked without using the processor.
    std::printf("{\"bytes\": %.0f, \"datagrams\": %.0f, \"cpu\": %.6f, \"wall\": %.6f}\n", bytes, datagrams,
                ProcessorSeconds() - firstCpu, lastWall - firstWall);
    return 0;
}

int Send(const std::string &aTo, double aSeconds, size_t aDatagram, size_t aFrame)
{
    const size_t colon = aTo.find(':');
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(std::atoi(aTo.c_str() + colon + 1)));
    if (colon == std::string::npos || ::inet_pton(AF_INET, aTo.substr(0, colon).c_str(), &to.sin_addr) != 1 ||
        aDatagram <= 8 || aDatagram > 65507) {
        std::fprintf(stderr, "bad destination or datagram size\n");
        return 2;
    }
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        std::perror("connect");
        return 1;
    }
    // One frame: a leader, the data in datagrams of aDatagram bytes, a trailer.
    const size_t payload = aDatagram - 8, count = (aFrame + payload - 1) / payload;
    std::vector<size_t> sizes{44};
    for (size_t i = 0; i < count; ++i) sizes.push_back(8 + std::min(payload, aFrame - i * payload));
    sizes.push_back(16);
    std::vector<uint8_t> frame(sizes.size() * aDatagram, 0x5A);
    std::vector<mmsghdr> messages(sizes.size());
    std::vector<iovec> vectors(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        vectors[i] = iovec{frame.data() + i * aDatagram, sizes[i]};
        messages[i] = mmsghdr{};
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    double sent = 0;
    const double cpu = ProcessorSeconds(), start = Now();
    while (Now() - start < aSeconds) {
        for (size_t at = 0; at < messages.size();) {
            const int n = ::sendmmsg(fd, messages.data() + at, unsigned(std::min<size_t>(kBatch, messages.size() - at)), 0);
            if (n <= 0) {
                if (n < 0 && errno != EINTR && errno != ENOBUFS && errno != ECONNREFUSED) {
                    std::perror("sendmmsg");
                    return 1;
                }
                continue;
            }
            for (int i = 0; i < n; ++i) sent += messages[at + size_t(i)].msg_len;
            at += size_t(n);
        }
    }
    std::printf("{\"sent\": %.0f, \"cpu\": %.6f, \"wall\": %.6f}\n", sent, ProcessorSeconds() - cpu, Now() - start);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "recv")
        return Receive(uint16_t(argc > 2 ? std::atoi(argv[2]) : 0), argc > 3 ? std::atoi(argv[3]) : 1000,
                       argc > 4 ? size_t(std::atol(argv[4])) : 0);
    if (mode == "send" && argc > 5)
        return Send(argv[2], std::atof(argv[3]), size_t(std::atol(argv[4])), size_t(std::atol(argv[5])));
    std::fprintf(stderr, "usage: %s recv [PORT] [IDLE_MS] [RING_BYTES] | send ADDRESS:PORT SECONDS DATAGRAM FRAME_BYTES\n", argv[0]);
    return 2;
}
