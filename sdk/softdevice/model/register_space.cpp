#include "softdevice/model/register_space.h"

#include <cstring>
#include <memory>

namespace tarn {
namespace softdevice {

void RegisterSpace::addRegister(uint32_t address, Getter get, Setter set)
{
    Entry &e = mEntries[address];
    e.size = 4;
    e.get = std::move(get);
    e.set = std::move(set);
}

uint32_t *RegisterSpace::addValue(uint32_t address, uint32_t initial, bool writable,
                                  std::function<uint16_t(uint32_t, uint32_t)> check)
{
    Entry &e = mEntries[address];
    e.size = 4;
    e.value = std::make_unique<uint32_t>(initial);
    uint32_t *slot = e.value.get();
    e.get = [slot] { return *slot; };
    if (writable) {
        e.set = [slot, check](uint32_t v) {
            if (check) {
                uint16_t status = check(*slot, v);
                if (status != kStatusSuccess) return status;
            }
            *slot = v;
            return uint16_t(kStatusSuccess);
        };
    }
    return slot;
}

void RegisterSpace::addBlock(uint32_t address, uint32_t size, bool writable, BlockWrite onWrite)
{
    Entry &e = mEntries[address];
    e.isBlock = true;
    e.size = (size + 3u) & ~3u;
    e.bytes.assign(e.size, 0);
    e.writable = writable;
    e.onWrite = std::move(onWrite);
}

void RegisterSpace::addDynamicBlock(uint32_t address, uint32_t size, BlockRead read)
{
    Entry &e = mEntries[address];
    e.isBlock = true;
    e.size = (size + 3u) & ~3u;
    e.read = std::move(read);
}

void RegisterSpace::addRange(uint32_t address, uint32_t size, RangeRead read, RangeWrite write)
{
    Entry &e = mEntries[address];
    e.isBlock = true;
    e.writable = true;
    e.size = (size + 3u) & ~3u;
    e.rangeRead = std::move(read);
    e.rangeWrite = std::move(write);
}

bool RegisterSpace::isFree(uint32_t address, uint32_t size) const
{
    const uint64_t end = uint64_t(address) + size;
    if (end > 0x100000000ull) return false;
    // The first entry at or past the address, and the one before it.
    auto it = mEntries.lower_bound(address);
    if (it != mEntries.end() && uint64_t(it->first) < end) return false;
    if (it != mEntries.begin()) {
        --it;
        if (uint64_t(it->first) + it->second.size > address) return false;
    }
    return true;
}

bool RegisterSpace::setBlock(uint32_t address, const void *data, size_t size)
{
    auto it = mEntries.find(address);
    if (it == mEntries.end() || !it->second.isBlock || it->second.read || size > it->second.bytes.size()) return false;
    std::lock_guard<std::mutex> lock(mBlockLock);
    std::vector<uint8_t> &bytes = it->second.bytes;
    std::fill(bytes.begin(), bytes.end(), 0);
    if (size) std::memcpy(bytes.data(), data, size);
    return true;
}

std::vector<uint8_t> RegisterSpace::block(uint32_t address) const
{
    auto it = mEntries.find(address);
    if (it == mEntries.end() || !it->second.isBlock) return {};
    std::lock_guard<std::mutex> lock(mBlockLock);
    return it->second.bytes;
}

bool RegisterSpace::contains(uint32_t address) const
{
    uint32_t base = 0;
    return find(address, base) != nullptr;
}

const RegisterSpace::Entry *RegisterSpace::find(uint32_t address, uint32_t &base) const
{
    auto it = mEntries.upper_bound(address);
    if (it == mEntries.begin()) return nullptr;
    --it;
    if (uint64_t(address) >= uint64_t(it->first) + it->second.size) return nullptr;
    base = it->first;
    return &it->second;
}

RegisterSpace::Entry *RegisterSpace::find(uint32_t address, uint32_t &base)
{
    return const_cast<Entry *>(static_cast<const RegisterSpace *>(this)->find(address, base));
}

uint16_t RegisterSpace::readRegister(uint32_t address, uint32_t &value) const
{
    if (address % 4) return kStatusBadAlignment;
    std::vector<uint8_t> out;
    uint16_t status = readMemory(address, 4, out);
    if (status != kStatusSuccess) return status;
    value = uint32_t(out[0]) << 24 | uint32_t(out[1]) << 16 | uint32_t(out[2]) << 8 | out[3];
    return kStatusSuccess;
}

uint16_t RegisterSpace::writeRegister(uint32_t address, uint32_t value)
{
    if (address % 4) return kStatusBadAlignment;
    const uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    return writeMemory(address, bytes, 4);
}

uint16_t RegisterSpace::readMemory(uint32_t address, uint32_t count, std::vector<uint8_t> &out) const
{
    out.clear();
    if (address % 4 || count % 4) return kStatusBadAlignment;
    out.reserve(count);
    uint64_t at = address;
    const uint64_t end = uint64_t(address) + count;
    while (at < end) {
        uint32_t base = 0;
        const Entry *e = find(uint32_t(at), base);
        if (!e) {
            out.clear();
            return kStatusInvalidAddress;
        }
        const uint64_t stop = std::min<uint64_t>(end, uint64_t(base) + e->size);
        if (e->rangeRead) {
            const size_t from = out.size();
            out.resize(from + size_t(stop - at), 0);
            const uint16_t status = e->rangeRead(uint32_t(at - base), uint32_t(stop - at), out.data() + from);
            if (status != kStatusSuccess) {
                out.clear();
                return status;
            }
        } else if (e->read) {
            const size_t from = out.size();
            out.resize(from + size_t(stop - at), 0);
            e->read(uint32_t(at - base), uint32_t(stop - at), out.data() + from);
        } else if (e->isBlock) {
            std::lock_guard<std::mutex> lock(mBlockLock);
            out.insert(out.end(), e->bytes.begin() + (at - base), e->bytes.begin() + (stop - base));
        } else {
            if (!e->get) {
                out.clear();
                return kStatusAccessDenied;
            }
            const uint32_t v = e->get();
            const uint8_t bytes[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
            out.insert(out.end(), bytes, bytes + 4);
        }
        at = stop;
    }
    return kStatusSuccess;
}

uint16_t RegisterSpace::writeMemory(uint32_t address, const uint8_t *data, uint32_t count)
{
    if (address % 4 || count % 4) return kStatusBadAlignment;
    // Checked as a whole first, so a refused write changes nothing.
    for (uint64_t at = address; at < uint64_t(address) + count;) {
        uint32_t base = 0;
        const Entry *e = find(uint32_t(at), base);
        if (!e) return kStatusInvalidAddress;
        if (e->isBlock ? !e->writable : !e->set) return kStatusWriteProtect;
        at = uint64_t(base) + e->size;
    }
    uint64_t at = address;
    const uint64_t end = uint64_t(address) + count;
    while (at < end) {
        uint32_t base = 0;
        Entry *e = find(uint32_t(at), base);
        const uint64_t stop = std::min<uint64_t>(end, uint64_t(base) + e->size);
        const uint8_t *from = data + (at - address);
        if (e->rangeWrite) {
            const uint16_t status = e->rangeWrite(uint32_t(at - base), from, uint32_t(stop - at));
            if (status != kStatusSuccess) return status;
        } else if (e->isBlock) {
            {
                std::lock_guard<std::mutex> lock(mBlockLock);
                std::memcpy(e->bytes.data() + (at - base), from, size_t(stop - at));
            }
            if (e->onWrite) e->onWrite(uint32_t(at - base), uint32_t(stop - at));
        } else {
            const uint32_t v = uint32_t(from[0]) << 24 | uint32_t(from[1]) << 16 | uint32_t(from[2]) << 8 | from[3];
            uint16_t status = e->set(v);
            if (status != kStatusSuccess) return status;
        }
        at = stop;
    }
    return kStatusSuccess;
}

} // namespace softdevice
} // namespace tarn
