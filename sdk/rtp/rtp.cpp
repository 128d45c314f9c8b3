#include "rtp/rtp.h"

#include "ZuPixelType.h"

#include <algorithm>
#include <cstring>

namespace tarn {
namespace rtp {

namespace {

uint16_t Be16(const uint8_t *p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

void PutBe16(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

void PutBe32(uint8_t *p, uint32_t v)
{
    PutBe16(p, v >> 16);
    PutBe16(p + 2, v);
}

constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};
constexpr size_t kLineHeader = 6;

} // namespace

bool Parse(const uint8_t *aData, size_t aSize, Packet &aOut)
{
    if (!aData || aSize < kHeaderSize || (aData[0] >> 6) != 2) return false;
    size_t at = kHeaderSize + 4 * size_t(aData[0] & 0x0F);
    if (at > aSize) return false;
    if (aData[0] & 0x10) {  // a header extension: 4 bytes, then its length in words
        if (aSize - at < 4) return false;
        const size_t words = Be16(aData + at + 2);
        at += 4;
        if ((aSize - at) / 4 < words) return false;
        at += 4 * words;
    }
    size_t end = aSize;
    if (aData[0] & 0x20) {  // padding: its count in the last byte, counting itself
        const size_t padding = aData[aSize - 1];
        if (padding == 0 || padding > end - at) return false;
        end -= padding;
    }
    aOut.marker = (aData[1] & 0x80) != 0;
    aOut.payloadType = aData[1] & 0x7F;
    aOut.sequence = Be16(aData + 2);
    aOut.timestamp = uint32_t(Be16(aData + 4)) << 16 | Be16(aData + 6);
    aOut.ssrc = uint32_t(Be16(aData + 8)) << 16 | Be16(aData + 10);
    aOut.payload = aData + at;
    aOut.payloadSize = end - at;
    return true;
}

void WriteHeader(uint8_t *aOut, bool aMarker, uint8_t aPayloadType, uint16_t aSequence, uint32_t aTimestamp,
                 uint32_t aSsrc)
{
    aOut[0] = 0x80;
    aOut[1] = uint8_t((aMarker ? 0x80 : 0) | (aPayloadType & 0x7F));
    PutBe16(aOut + 2, aSequence);
    PutBe32(aOut + 4, aTimestamp);
    PutBe32(aOut + 8, aSsrc);
}

bool SamplingOf(int32_t aPixelType, Sampling &aOut)
{
    switch (aPixelType) {
    case ZuPixelMono8: aOut = {1, 1}; return true;
    case ZuPixelRGB8:
    case ZuPixelBGR8: aOut = {3, 1}; return true;
    case ZuPixelRGBa8:
    case ZuPixelBGRa8: aOut = {4, 1}; return true;
    case ZuPixelYUV422_8_UYVY: aOut = {4, 2}; return true;  // Cb Y0 Cr Y1
    default: return false;
    }
}

// ---- Frames

void FrameAssembly::End(FrameSink &aSink, size_t aBytes, bool aComplete)
{
    if (mMemory.data) aSink.End(mMemory, aBytes, aComplete, mTimestamp);
    ++mFrames;
    if (!aComplete || !mMemory.data) ++mIncomplete;
    mMemory = FrameSink::Memory();
    mActive = false;
}

void FrameAssembly::Flush(FrameSink &aSink)
{
    if (mActive) End(aSink, 0, false);
}

bool FrameAssembly::Enter(const Packet &aPacket, FrameSink &aSink)
{
    if (mActive && aPacket.timestamp == mTimestamp) {
        if (aPacket.sequence != mNextSequence) mDamaged = true;
        mNextSequence = uint16_t(aPacket.sequence + 1);
        return mMemory.data != nullptr;
    }
    mActive = true;
    mDamaged = false;
    mTimestamp = aPacket.timestamp;
    mNextSequence = uint16_t(aPacket.sequence + 1);
    mMemory = aSink.Begin(aPacket.timestamp);
    if (!mMemory.size) mMemory.data = nullptr;
    return mMemory.data != nullptr;
}

void FrameAssembly::Leave(const Packet &aPacket, FrameSink &aSink, size_t aBytes)
{
    if (aPacket.marker) End(aSink, aBytes, !mDamaged);
}

// ---- RFC 4175

bool RawVideoDepacketizer::Configure(uint32_t aWidth, uint32_t aHeight, Sampling aSampling, uint32_t aPaddingX)
{
    if (!aSampling.bytes || !aSampling.pixels || aWidth % aSampling.pixels) return false;
    const uint64_t line = uint64_t(aWidth / aSampling.pixels) * aSampling.bytes;
    if (line + aPaddingX > UINT32_MAX || (line + aPaddingX) * aHeight > (uint64_t(1) << 40)) return false;
    mWidth = aWidth;
    mHeight = aHeight;
    mSampling = aSampling;
    mLineBytes = uint32_t(line);
    mStride = uint32_t(line + aPaddingX);
    mActive = false;
    mMemory = FrameSink::Memory();
    return true;
}

void RawVideoDepacketizer::Feed(const Packet &aPacket, FrameSink &aSink)
{
    const bool fresh = !mActive || aPacket.timestamp != mTimestamp;
    if (mActive && fresh) End(aSink, FrameSize(), false);
    if (fresh) mFilled = 0;
    const bool writing = Enter(aPacket, aSink) && mMemory.size >= FrameSize();
    if (mMemory.data && !writing) mDamaged = true;  // too small for the frame

    // The extended sequence number, then the line headers up to the one
    // without the continuation bit, then the segments' bytes in their order.
    const uint8_t *p = aPacket.payload, *end = p + aPacket.payloadSize;
    size_t headers = 0;
    if (end - p < 2) {
        mDamaged = true;
    } else {
        p += 2;
        while (end - p >= ptrdiff_t(kLineHeader * (headers + 1))) {
            ++headers;
            if (!(p[kLineHeader * headers - 2] & 0x80)) break;
            if (end - p < ptrdiff_t(kLineHeader * (headers + 1))) {
                mDamaged = true;  // a continuation to a header that is not there
                break;
            }
        }
        if (!headers) mDamaged = true;
    }
    const uint8_t *data = p + kLineHeader * headers;
    for (size_t h = 0; h < headers; ++h) {
        const uint8_t *hd = p + kLineHeader * h;
        size_t length = Be16(hd);
        const uint32_t line = Be16(hd + 2) & 0x7FFF, offset = Be16(hd + 4) & 0x7FFF;
        if (size_t(end - data) < length) {
            length = size_t(end - data);  // cut short: what is there still counts
            mDamaged = true;
        }
        const uint8_t *bytes = data;
        data += length;
        if (line >= mHeight || offset >= mWidth || offset % mSampling.pixels || length % mSampling.bytes) {
            mDamaged = true;
            continue;
        }
        const size_t at = size_t(offset / mSampling.pixels) * mSampling.bytes;
        size_t n = length;
        if (n > mLineBytes - at) {
            n = mLineBytes - at;
            mDamaged = true;
        }
        if (writing) std::memcpy(mMemory.data + size_t(line) * mStride + at, bytes, n);
        mFilled += n;
    }
    if (aPacket.marker && mFilled != size_t(mLineBytes) * mHeight) mDamaged = true;
    Leave(aPacket, aSink, FrameSize());
}

// ---- RFC 6184

bool H264Depacketizer::Put(const uint8_t *aData, size_t aSize)
{
    if (mFull || mMemory.size - mFilled < aSize) {
        // The access unit does not fit: it ends with the last whole unit.
        mDamaged = mFull = true;
        mFilled = mUnitStart;
        return false;
    }
    if (aSize) std::memcpy(mMemory.data + mFilled, aData, aSize);
    mFilled += aSize;
    return true;
}

bool H264Depacketizer::StartUnit(uint8_t aHeader)
{
    if (!mFull) mUnitStart = mFilled;
    return Put(kStartCode, sizeof kStartCode) && Put(&aHeader, 1);
}

void H264Depacketizer::Feed(const Packet &aPacket, FrameSink &aSink)
{
    const bool fresh = !mActive || aPacket.timestamp != mTimestamp;
    if (mActive && fresh) {
        End(aSink, mFilled, false);
        mInFragment = false;
    }
    if (fresh) {
        mFilled = mUnitStart = 0;
        mFull = false;
    }
    const uint16_t expected = mNextSequence;
    const bool writing = Enter(aPacket, aSink);
    if (!fresh && aPacket.sequence != expected) mInFragment = false;  // the rest of a unit was lost
    const uint8_t *p = aPacket.payload;
    const size_t size = aPacket.payloadSize;
    if (!size || (p[0] & 0x80)) {  // empty, or the forbidden bit
        mDamaged = true;
    } else if (writing) {
        const uint8_t type = p[0] & 0x1F;
        if (type >= 1 && type <= 23) {
            mInFragment = false;
            if (StartUnit(p[0])) Put(p + 1, size - 1);
        } else if (type == 24) {  // STAP-A: units each after a 16-bit size
            mInFragment = false;
            size_t at = 1;
            while (at < size) {
                const size_t n = size - at >= 2 ? Be16(p + at) : 0;
                if (n == 0 || size - at - 2 < n) {
                    mDamaged = true;
                    break;
                }
                if (StartUnit(p[at + 2])) Put(p + at + 3, n - 1);
                at += 2 + n;
            }
        } else if (type == 28 && size >= 2) {  // FU-A
            const bool start = p[1] & 0x80, last = p[1] & 0x40;
            if (start) {
                if (mInFragment) mDamaged = true;  // the previous unit never ended
                mInFragment = StartUnit(uint8_t((p[0] & 0xE0) | (p[1] & 0x1F)));
            } else if (!mInFragment) {
                mDamaged = true;  // its start was lost
            }
            if (mInFragment) mInFragment = Put(p + 2, size - 2) && !last;
        } else {
            mDamaged = true;  // STAP-B, MTAP, FU-B and reserved types
        }
    }
    if (aPacket.marker) {
        if (mInFragment) mDamaged = true;
        mInFragment = false;
    }
    Leave(aPacket, aSink, mFilled);
}

// ---- Sending RFC 4175

bool RawVideoPacketizer::Plan(uint32_t aWidth, uint32_t aHeight, Sampling aSampling, size_t aMaxPacket) const
{
    // A packet holds at least one pixel group after its headers; line
    // numbers and offsets have 15 bits.
    return aSampling.bytes && aSampling.pixels && aWidth && aHeight && aWidth % aSampling.pixels == 0 &&
           aWidth <= 0x8000 && aHeight <= 0x8000 && aMaxPacket <= 65535 &&
           aMaxPacket >= kHeaderSize + 2 + kLineHeader + aSampling.bytes;
}

size_t RawVideoPacketizer::Next(Cursor &c, const uint8_t *aFrame, uint32_t aWidth, uint32_t aHeight,
                                Sampling s, uint32_t aStride, uint32_t aTimestamp)
{
    // First the segments that fit, then their bytes behind the headers.
    struct Segment {
        uint32_t line, pixel, groups;
    };
    Segment segments[64];
    size_t count = 0, room = mPacket.size() - kHeaderSize - 2;
    while (c.line < aHeight && count < 64 && room >= kLineHeader + s.bytes) {
        const uint32_t left = (aWidth - c.pixel) / s.pixels;
        const uint32_t groups = std::min<uint32_t>({left, uint32_t((room - kLineHeader) / s.bytes), 0xFFFFu / s.bytes});
        segments[count++] = {c.line, c.pixel, groups};
        room -= kLineHeader + groups * s.bytes;
        c.pixel += groups * s.pixels;
        if (c.pixel == aWidth) {
            c.pixel = 0;
            ++c.line;
        }
    }
    uint8_t *out = mPacket.data();
    WriteHeader(out, c.line == aHeight, mPayloadType, uint16_t(mSequence), aTimestamp, mSsrc);
    PutBe16(out + kHeaderSize, mSequence >> 16);
    ++mSequence;
    uint8_t *hd = out + kHeaderSize + 2, *data = hd + kLineHeader * count;
    for (size_t k = 0; k < count; ++k, hd += kLineHeader) {
        const uint32_t length = segments[k].groups * s.bytes;
        PutBe16(hd, length);
        PutBe16(hd + 2, segments[k].line);
        PutBe16(hd + 4, segments[k].pixel | (k + 1 < count ? 0x8000 : 0));
        std::memcpy(data, aFrame + size_t(segments[k].line) * aStride + size_t(segments[k].pixel / s.pixels) * s.bytes,
                    length);
        data += length;
    }
    return size_t(data - out);
}

// ---- Sending RFC 6184

H264Packetizer::Nal H264Packetizer::NextNal(const uint8_t *aData, size_t aSize, size_t aFrom)
{
    // The first start code at or after aFrom.
    size_t at = aFrom;
    while (at + 3 <= aSize && !(aData[at] == 0 && aData[at + 1] == 0 && aData[at + 2] == 1)) ++at;
    Nal nal;
    if (at + 3 > aSize) return nal;
    while (true) {
        const size_t start = at + 3;
        size_t end = start;
        while (end + 3 <= aSize && !(aData[end] == 0 && aData[end + 1] == 0 && aData[end + 2] <= 1)) ++end;
        if (end + 3 > aSize) end = aSize;
        // 00 00 00 or 00 00 01 ends the unit; the zero bytes before it are
        // the next start code's or trailing ones.
        size_t last = end;
        while (last > start && aData[last - 1] == 0) --last;
        if (last > start) {
            nal.start = start;
            nal.size = last - start;
            nal.end = end;
            return nal;
        }
        // An empty unit: on to the next start code, if any.
        at = end;
        while (at + 3 <= aSize && !(aData[at] == 0 && aData[at + 1] == 0 && aData[at + 2] == 1)) ++at;
        if (at + 3 > aSize) return Nal();
    }
}

bool H264Packetizer::Carriable(const uint8_t *aData, size_t aSize, Nal aFirst)
{
    for (Nal nal = aFirst; nal.size; nal = NextNal(aData, aSize, nal.end)) {
        const uint8_t header = aData[nal.start], type = header & 0x1F;
        if ((header & 0x80) || type == 0 || type >= 24) return false;
    }
    return true;
}

size_t H264Packetizer::Single(const uint8_t *aNal, size_t aSize, bool aMarker, uint32_t aTimestamp)
{
    WriteHeader(mPacket.data(), aMarker, mPayloadType, mSequence++, aTimestamp, mSsrc);
    std::memcpy(mPacket.data() + kHeaderSize, aNal, aSize);
    return kHeaderSize + aSize;
}

size_t H264Packetizer::Fragment(uint8_t aNalHeader, const uint8_t *aData, size_t aSize, bool aStart, bool aEnd,
                                bool aMarker, uint32_t aTimestamp)
{
    uint8_t *out = mPacket.data();
    WriteHeader(out, aMarker, mPayloadType, mSequence++, aTimestamp, mSsrc);
    out[kHeaderSize] = uint8_t((aNalHeader & 0xE0) | 28);
    out[kHeaderSize + 1] = uint8_t((aStart ? 0x80 : 0) | (aEnd ? 0x40 : 0) | (aNalHeader & 0x1F));
    std::memcpy(out + kHeaderSize + 2, aData, aSize);
    return kHeaderSize + 2 + aSize;
}

} // namespace rtp
} // namespace tarn
