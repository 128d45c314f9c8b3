#include "softdevice/model/register_space.h"

#include "gev/wire.h"

#include <cstring>
#include <memory>

namespace tarn {
namespace softdevice {

using gev::loadBig32;
using gev::storeBig32;

void RegisterSpace::AddRegister(uint32_t address, Getter get, Setter set, Check check)
{
    Entry &e = mEntries[address];
    e.size = 4;
    e.get = std::move(get);
    e.set = std::move(set);
    e.check = std::move(check);
}

uint32_t *RegisterSpace::AddValue(uint32_t address, uint32_t initial, bool writable,
                                  std::function<uint16_t(uint32_t, uint32_t)> check)
{
    Entry &e = mEntries[address];
    e.size = 4;
    e.value = std::make_unique<uint32_t>(initial);
    uint32_t *slot = e.value.get();
    e.get = [slot] { return *slot; };
    if (writable) {
        if (check) e.check = [slot, check](uint32_t v) { return check(*slot, v); };
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

void RegisterSpace::AddBlock(uint32_t address, uint32_t size, bool writable, BlockWrite onWrite)
{
    Entry &e = mEntries[address];
    e.isBlock = true;
    e.size = (size + 3u) & ~3u;
    e.bytes.assign(e.size, 0);
    e.writable = writable;
    e.onWrite = std::move(onWrite);
}

void RegisterSpace::AddDynamicBlock(uint32_t address, uint32_t size, BlockRead read)
{
    Entry &e = mEntries[address];
    e.isBlock = true;
    e.size = (size + 3u) & ~3u;
    e.read = std::move(read);
}

void RegisterSpace::AddRange(uint32_t address, uint32_t size, Range range)
{
    Entry &e = mEntries[address];
    e.isBlock = true;
    e.writable = true;
    e.size = (size + 3u) & ~3u;
    e.range = std::move(range);
}

bool RegisterSpace::IsFree(uint32_t address, uint32_t size) const
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

bool RegisterSpace::SetBlock(uint32_t address, const void *data, size_t size)
{
    auto it = mEntries.find(address);
    if (it == mEntries.end() || !it->second.isBlock || it->second.read || size > it->second.bytes.size()) return false;
    std::lock_guard<std::mutex> lock(mBlockLock);
    std::vector<uint8_t> &bytes = it->second.bytes;
    std::fill(bytes.begin(), bytes.end(), 0);
    if (size) std::memcpy(bytes.data(), data, size);
    return true;
}

std::vector<uint8_t> RegisterSpace::Block(uint32_t address) const
{
    auto it = mEntries.find(address);
    if (it == mEntries.end() || !it->second.isBlock) return {};
    std::lock_guard<std::mutex> lock(mBlockLock);
    return it->second.bytes;
}

bool RegisterSpace::Contains(uint32_t address) const
{
    uint32_t base = 0;
    return Find(address, base) != nullptr;
}

const RegisterSpace::Entry *RegisterSpace::Find(uint32_t address, uint32_t &base) const
{
    auto it = mEntries.upper_bound(address);
    if (it == mEntries.begin()) return nullptr;
    --it;
    if (uint64_t(address) >= uint64_t(it->first) + it->second.size) return nullptr;
    base = it->first;
    return &it->second;
}

RegisterSpace::Entry *RegisterSpace::Find(uint32_t address, uint32_t &base)
{
    return const_cast<Entry *>(static_cast<const RegisterSpace *>(this)->Find(address, base));
}

uint16_t RegisterSpace::ReadRegister(uint32_t address, uint32_t &value) const
{
    if (address % 4) return kStatusBadAlignment;
    std::vector<uint8_t> out;
    uint16_t status = ReadMemory(address, 4, out);
    if (status != kStatusSuccess) return status;
    value = loadBig32(out.data());
    return kStatusSuccess;
}

uint16_t RegisterSpace::WriteRegister(uint32_t address, uint32_t value)
{
    if (address % 4) return kStatusBadAlignment;
    uint8_t bytes[4];
    storeBig32(bytes, value);
    return WriteMemory(address, bytes, 4);
}

uint16_t RegisterSpace::ReadMemory(uint32_t address, uint32_t count, std::vector<uint8_t> &out) const
{
    out.clear();
    if (address % 4 || count % 4) return kStatusBadAlignment;
    out.reserve(count);
    uint64_t at = address;
    const uint64_t end = uint64_t(address) + count;
    while (at < end) {
        uint32_t base = 0;
        const Entry *e = Find(uint32_t(at), base);
        if (!e) {
            out.clear();
            return kStatusInvalidAddress;
        }
        const uint64_t stop = std::min<uint64_t>(end, uint64_t(base) + e->size);
        if (e->range.read) {
            const size_t from = out.size();
            out.resize(from + size_t(stop - at), 0);
            const uint16_t status = e->range.read(uint32_t(at - base), uint32_t(stop - at), out.data() + from);
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
            uint8_t bytes[4];
            storeBig32(bytes, e->get());
            out.insert(out.end(), bytes, bytes + 4);
        }
        at = stop;
    }
    return kStatusSuccess;
}

uint16_t RegisterSpace::Spans(uint32_t address, const uint8_t *data, uint32_t count, std::vector<Span> &out)
{
    // Where the write lands first (every entry there and writable), then
    // whether each entry takes its part.
    for (uint64_t at = address; at < uint64_t(address) + count;) {
        uint32_t base = 0;
        Entry *e = Find(uint32_t(at), base);
        if (!e) return kStatusInvalidAddress;
        if (e->isBlock ? !e->writable : !e->set) return kStatusWriteProtect;
        const uint64_t stop = std::min<uint64_t>(uint64_t(address) + count, uint64_t(base) + e->size);
        out.push_back(Span{e, base, uint32_t(at), uint32_t(stop)});
        at = stop;
    }
    for (const Span &s : out) {
        const uint8_t *part = data + (s.at - address);
        uint16_t status = kStatusSuccess;
        if (s.entry->check) status = s.entry->check(loadBig32(part));
        else if (s.entry->range.check) status = s.entry->range.check(s.at - s.base, part, s.stop - s.at);
        if (status != kStatusSuccess) return status;
    }
    return kStatusSuccess;
}

uint16_t RegisterSpace::Write(const Span &span, const uint8_t *data)
{
    Entry &e = *span.entry;
    const uint32_t offset = span.at - span.base, count = span.stop - span.at;
    if (e.range.write) return e.range.write(offset, data, count);
    if (!e.isBlock) return e.set(loadBig32(data));
    {
        std::lock_guard<std::mutex> lock(mBlockLock);
        std::memcpy(e.bytes.data() + offset, data, count);
    }
    if (e.onWrite) e.onWrite(offset, count);
    return kStatusSuccess;
}

bool RegisterSpace::Peek(const Span &span, std::vector<uint8_t> &out)
{
    const Entry &e = *span.entry;
    const uint32_t offset = span.at - span.base, count = span.stop - span.at;
    out.assign(count, 0);
    if (e.range.write) return e.range.peek && e.range.peek(offset, count, out.data()) == kStatusSuccess;
    if (!e.isBlock) {
        if (!e.get) return false;
        storeBig32(out.data(), e.get());
        return true;
    }
    std::lock_guard<std::mutex> lock(mBlockLock);
    std::memcpy(out.data(), e.bytes.data() + offset, count);
    return true;
}

uint16_t RegisterSpace::WriteMemory(uint32_t address, const uint8_t *data, uint32_t count)
{
    if (address % 4 || count % 4) return kStatusBadAlignment;
    std::vector<Span> all;
    const uint16_t refused = Spans(address, data, count, all);
    if (refused != kStatusSuccess) return refused;
    // A lone entry's own write changes nothing when refused.
    std::vector<std::pair<const Span *, std::vector<uint8_t>>> before;
    for (const Span &s : all) {
        if (all.size() > 1) {
            before.emplace_back(&s, std::vector<uint8_t>());
            if (!Peek(s, before.back().second)) before.pop_back();
        }
        const uint16_t status = Write(s, data + (s.at - address));
        if (status == kStatusSuccess) continue;
        for (auto it = before.rbegin(); it != before.rend(); ++it)
            if (it->first != &s) Write(*it->first, it->second.data());
        return status;
    }
    return kStatusSuccess;
}

} // namespace softdevice
} // namespace tarn
