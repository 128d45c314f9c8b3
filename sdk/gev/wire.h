#ifndef TARN_GEV_WIRE_H
#define TARN_GEV_WIRE_H

// Big-endian writer and bounded reader for the GigE Vision wire formats.
// The reader turns every short read into a failure (and 0) instead of
// reading beyond the packet; once failed it stays failed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn {
namespace gev {

// One 32-bit big-endian word in place, as registers travel.
inline uint32_t loadBig32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline void storeBig32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

class Writer
{
public:
    explicit Writer(std::vector<uint8_t> &aOut) : mOut(aOut) {}
    void U8(uint8_t v) { mOut.push_back(v); }
    void U16(uint16_t v) { U8(uint8_t(v >> 8)); U8(uint8_t(v)); }
    void U32(uint32_t v) { U16(uint16_t(v >> 16)); U16(uint16_t(v)); }
    void U64(uint64_t v) { U32(uint32_t(v >> 32)); U32(uint32_t(v)); }
    void Bytes(const uint8_t *p, size_t n) { mOut.insert(mOut.end(), p, p + n); }
    void Zeros(size_t n) { mOut.insert(mOut.end(), n, 0); }
    // A text field of fixed width; one byte is kept for the terminating null
    // only when the text is shorter (the standard allows a full field).
    void Text(const std::string &s, size_t width)
    {
        size_t n = s.size() < width ? s.size() : width;
        Bytes(reinterpret_cast<const uint8_t *>(s.data()), n);
        Zeros(width - n);
    }

private:
    std::vector<uint8_t> &mOut;
};

class Reader
{
public:
    Reader(const uint8_t *p, size_t n) : mP(p), mN(p ? n : 0) {}
    bool Ok() const { return mOk; }
    size_t Left() const { return mN - mPos; }
    uint8_t U8() { return Take(1) ? mP[mPos - 1] : 0; }
    uint16_t U16()
    {
        if (!Take(2)) return 0;
        return uint16_t((mP[mPos - 2] << 8) | mP[mPos - 1]);
    }
    uint32_t U32()
    {
        uint32_t hi = U16();
        uint32_t lo = U16();
        return (hi << 16) | lo;
    }
    uint64_t U64()
    {
        uint64_t hi = U32();
        uint64_t lo = U32();
        return (hi << 32) | lo;
    }
    void Skip(size_t n) { Take(n); }
    // The next n bytes in place, null when fewer are left.
    const uint8_t *View(size_t n) { return Take(n) ? mP + mPos - n : nullptr; }
    std::vector<uint8_t> Bytes(size_t n)
    {
        const uint8_t *p = View(n);
        return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
    }
    // A fixed-width text field ends at its first null byte.
    std::string Text(size_t width)
    {
        const char *s = reinterpret_cast<const char *>(View(width));
        if (!s) return {};
        size_t n = 0;
        while (n < width && s[n]) ++n;
        return std::string(s, n);
    }

private:
    bool Take(size_t n)
    {
        if (!mOk || n > mN - mPos) {
            mOk = false;
            return false;
        }
        mPos += n;
        return true;
    }
    const uint8_t *mP;
    size_t mN;
    size_t mPos = 0;
    bool mOk = true;
};

} // namespace gev
} // namespace tarn

#endif
