// A stream of hostile datagrams into the reassembler. The input opens with
// two bytes of settings (resends, waiting for the leader, a fixed packet
// size, the memory each block gets) and then holds datagrams, each
// preceded by its length (two bytes) and a time step (one byte). Every
// block must end within its limits, no byte may be written past the
// memory given, and every datagram must also dissect into a bounded line.
#include "gev/dissect.h"
#include "gev/reassembler.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace tarn::gvsp;

constexpr size_t kGuard = 32;

struct Sink : ReassemblerSink {
    uint64_t capacity = 0;
    std::vector<std::unique_ptr<uint8_t[]>> memory;
    size_t open = 0;

    bool Acquire(uint64_t, Destination &aDestination) override
    {
        if (memory.size() > 64) return false;
        memory.emplace_back(new uint8_t[capacity + kGuard]);
        std::memset(memory.back().get(), 0xA5, capacity + kGuard);
        aDestination.data = memory.back().get();
        aDestination.capacity = capacity;
        aDestination.cookie = memory.back().get();
        ++open;
        return true;
    }
    void RequestResend(uint64_t, bool, uint32_t aFirst, uint32_t aLast) override
    {
        if (aFirst > aLast) abort();
    }
    void Complete(const BlockResult &aResult) override
    {
        const uint8_t *m = static_cast<const uint8_t *>(aResult.cookie);
        for (size_t k = 0; k < kGuard; ++k)
            if (m[capacity + k] != 0xA5) abort();
        if (aResult.bytesWritten > capacity) abort();
        for (size_t k = 0; k < aResult.missingCount; ++k)
            if (aResult.missing[k].low > aResult.missing[k].high) abort();
        for (uint32_t k = 0; k < aResult.leader.partCount; ++k) (void)aResult.parts[k].length;
        if (!open) abort();
        --open;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    if (aSize < 2) return 0;
    Sink sink;
    ReassemblerConfig config;
    config.resendEnabled = aData[0] & 1;
    config.waitForLeader = aData[0] & 2;
    config.stride = aData[0] & 4 ? 64 : 0;
    config.maxBlocksInFlight = 1 + ((aData[0] >> 3) & 3);
    config.maxPacketsPerBlock = 4096;
    config.maxResendPacketsPerBlock = 64;
    sink.capacity = size_t(aData[1]) * 16;
    Reassembler reassembler(sink, config);
    uint64_t now = 1;
    size_t at = 2;
    char line[200];
    while (at + 3 <= aSize) {
        size_t length = (size_t(aData[at]) << 8) | aData[at + 1];
        now += uint64_t(aData[at + 2]) * 500;
        at += 3;
        if (length > aSize - at) length = aSize - at;
        // An exact-size copy, so that a read past the datagram is seen.
        std::unique_ptr<uint8_t[]> datagram(new uint8_t[length ? length : 1]);
        std::memcpy(datagram.get(), aData + at, length);
        reassembler.OnPacket(datagram.get(), length, now);
        size_t n = tarn::gev::dissectGvsp(datagram.get(), length, line, sizeof line);
        if (n >= sizeof line || strlen(line) != n) abort();
        at += length;
    }
    // Time runs out for whatever is still open.
    for (int k = 0; k < 64 && reassembler.OpenBlocks(); ++k) {
        uint64_t next = reassembler.NextDeadline();
        if (next == UINT64_MAX) break;
        now = next > now ? next : now + 1;
        reassembler.OnTick(now);
    }
    if (reassembler.OpenBlocks() && reassembler.NextDeadline() == UINT64_MAX) abort();
    reassembler.OnTick(now + config.blockTimeoutUs);
    if (reassembler.OpenBlocks() || sink.open) abort();
    return 0;
}
