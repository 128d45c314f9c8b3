#ifndef TARN_SOFTDEVICE_REGISTER_SPACE_H
#define TARN_SOFTDEVICE_REGISTER_SPACE_H

// The byte-addressed register space of a software device, as a controller
// sees it through READREG/WRITEREG and READMEM/WRITEMEM: 32-bit registers
// backed by a getter and a setter, and memory blocks (texts, the GenICam
// description). Big-endian on the wire. The layout is fixed before the
// device serves anyone; after that only the contents change, so lookups
// take no lock, and no handler is ever called under one of this class's
// locks (a handler may reach a Python source that calls back in).

#include "gev/gvcp.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

// GVCP acknowledge statuses the space answers with.
constexpr uint16_t kStatusSuccess = gvcp::STATUS_SUCCESS, kStatusInvalidAddress = gvcp::STATUS_INVALID_ADDRESS,
                   kStatusWriteProtect = gvcp::STATUS_WRITE_PROTECT, kStatusBadAlignment = gvcp::STATUS_BAD_ALIGNMENT,
                   kStatusAccessDenied = gvcp::STATUS_ACCESS_DENIED, kStatusInvalidParameter = gvcp::STATUS_INVALID_PARAMETER,
                   kStatusError = gvcp::STATUS_ERROR;

class RegisterSpace
{
public:
    using Getter = std::function<uint32_t()>;
    // Returns a GVCP status; kStatusSuccess when the value was taken.
    using Setter = std::function<uint16_t(uint32_t)>;
    // Whether the setter would take a value, changing nothing: a GVCP
    // status. Every register a write spans is asked before any is written.
    using Check = std::function<uint16_t(uint32_t)>;
    using BlockWrite = std::function<void(uint32_t offset, uint32_t size)>;

    // A 32-bit register; no setter makes it read-only, no getter write-only.
    void AddRegister(uint32_t address, Getter get, Setter set = nullptr, Check check = nullptr);
    // A register holding its own value, optionally told of each write.
    // Returns where the value lives (stable for the space's life).
    uint32_t *AddValue(uint32_t address, uint32_t initial, bool writable,
                       std::function<uint16_t(uint32_t oldValue, uint32_t newValue)> check = nullptr);
    // A memory block of size bytes (a multiple of 4), zero-filled.
    void AddBlock(uint32_t address, uint32_t size, bool writable, BlockWrite onWrite = nullptr);
    // A read-only block whose bytes a function supplies on each read (a
    // description that can grow); bytes past what it supplies read as 0.
    using BlockRead = std::function<void(uint32_t offset, uint32_t count, uint8_t *out)>;
    void AddDynamicBlock(uint32_t address, uint32_t size, BlockRead read);
    // A range whose reads and writes an owner serves (a custom register,
    // which runs its sinks): each returns a GVCP status. Called without any
    // lock of the space held. check answers as a register's Check does;
    // peek reads the content as it is without running the owner's sinks
    // (without one, a write the range took is not taken back).
    using RangeRead = std::function<uint16_t(uint32_t offset, uint32_t count, uint8_t *out)>;
    using RangeWrite = std::function<uint16_t(uint32_t offset, const uint8_t *data, uint32_t count)>;
    struct Range {
        RangeRead read;
        RangeWrite write;
        RangeWrite check;
        RangeRead peek;
    };
    void AddRange(uint32_t address, uint32_t size, Range range);
    // False when any byte of [address, address + size) is taken.
    bool IsFree(uint32_t address, uint32_t size) const;
    // Replaces the contents of a block (zero-filled past data); false when
    // no block starts at address or data does not fit.
    bool SetBlock(uint32_t address, const void *data, size_t size);
    std::vector<uint8_t> Block(uint32_t address) const;
    bool Contains(uint32_t address) const;

    uint16_t ReadRegister(uint32_t address, uint32_t &value) const;
    uint16_t WriteRegister(uint32_t address, uint32_t value);
    // count and address multiples of 4; a read may span several entries.
    uint16_t ReadMemory(uint32_t address, uint32_t count, std::vector<uint8_t> &out) const;
    // A write the space refuses changes nothing: every entry it spans is
    // checked first (there, writable, taking its value), and when a setter
    // still refuses (application code has the last word) the entries
    // written before it get their earlier content back, newest first.
    uint16_t WriteMemory(uint32_t address, const uint8_t *data, uint32_t count);

private:
    struct Entry {
        uint32_t size = 4;
        Getter get;
        Setter set;
        Check check;
        std::unique_ptr<uint32_t> value;
        std::vector<uint8_t> bytes;   // blocks
        bool isBlock = false;
        bool writable = false;
        BlockWrite onWrite;
        BlockRead read;
        Range range;
    };
    // The part of one entry a write covers: [at, stop) of the entry at base.
    struct Span {
        Entry *entry;
        uint32_t base, at, stop;
    };
    const Entry *Find(uint32_t address, uint32_t &base) const;
    Entry *Find(uint32_t address, uint32_t &base);
    // The spans of [address, address + count), or the status that refuses
    // the write there; data is what the write brings from address on.
    uint16_t Spans(uint32_t address, const uint8_t *data, uint32_t count, std::vector<Span> &out);
    uint16_t Write(const Span &span, const uint8_t *data);
    // The span's content as it is; false where it cannot be read so
    // (write-only registers, ranges with no peek).
    bool Peek(const Span &span, std::vector<uint8_t> &out);

    std::map<uint32_t, Entry> mEntries;
    mutable std::mutex mBlockLock;   // block contents only
};

} // namespace softdevice
} // namespace tarn

#endif
