#include "gev/tcp.h"

#include "gev/wire.h"

#include <cstring>

namespace tarn {
namespace gev {

void writeFrameHeader(uint8_t *aOut, uint32_t aLength)
{
    aOut[0] = uint8_t(aLength >> 24);
    aOut[1] = uint8_t(aLength >> 16);
    aOut[2] = uint8_t(aLength >> 8);
    aOut[3] = uint8_t(aLength);
}

// Room for two whole frames: a frame is never split by moving bytes while
// another waits behind it.
FrameReader::FrameReader(size_t aMaxFrame)
    : mMemory(2 * (aMaxFrame + kFrameHeaderSize)), mMaxFrame(aMaxFrame)
{
}

void FrameReader::Reset()
{
    mBegin = mEnd = 0;
    mBad = false;
}

uint8_t *FrameReader::Space(size_t &aRoom)
{
    if (mBad) {
        aRoom = 0;
        return mMemory.data();
    }
    if (mBegin == mEnd) {
        mBegin = mEnd = 0;
    } else if (mMemory.size() - mEnd < mMaxFrame + kFrameHeaderSize) {
        // What is left of a frame moves to the front.
        std::memmove(mMemory.data(), mMemory.data() + mBegin, mEnd - mBegin);
        mEnd -= mBegin;
        mBegin = 0;
    }
    aRoom = mMemory.size() - mEnd;
    return mMemory.data() + mEnd;
}

void FrameReader::Commit(size_t aCount)
{
    if (aCount > mMemory.size() - mEnd) aCount = mMemory.size() - mEnd;
    mEnd += aCount;
}

FrameReader::Next FrameReader::NextFrame(const uint8_t *&aData, size_t &aSize)
{
    if (mBad) return Next::Bad;
    const size_t have = mEnd - mBegin;
    if (have < kFrameHeaderSize) return Next::More;
    const uint8_t *p = mMemory.data() + mBegin;
    const uint32_t length = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    if (length == 0 || length > mMaxFrame) {
        mBad = true;
        return Next::Bad;
    }
    if (have < kFrameHeaderSize + length) return Next::More;
    aData = p + kFrameHeaderSize;
    aSize = length;
    mBegin += kFrameHeaderSize + length;
    return Next::Frame;
}

std::vector<uint8_t> TcpAdvertisement::Encode() const
{
    std::vector<uint8_t> out;
    Writer w(out);
    const size_t channels = streamPorts.size() < tcpreg::MaxStreamChannels ? streamPorts.size()
                                                                           : tcpreg::MaxStreamChannels;
    w.U32(tcpreg::Magic);
    w.U16(tcpreg::Version);
    w.U16(controlPort ? tcpreg::FLAG_CONTROL : 0);
    w.U16(controlPort);
    w.U16(uint16_t(channels));
    for (size_t k = 0; k < channels; ++k) w.U16(streamPorts[k]);
    w.Zeros(tcpreg::Size - out.size());
    return out;
}

std::optional<TcpAdvertisement> TcpAdvertisement::Decode(const uint8_t *aData, size_t aSize)
{
    if (!aData || aSize < tcpreg::Size) return std::nullopt;
    Reader r(aData, tcpreg::Size);
    if (r.U32() != tcpreg::Magic || r.U16() != tcpreg::Version) return std::nullopt;
    const uint16_t flags = r.U16();
    TcpAdvertisement a;
    a.controlPort = r.U16();
    const uint16_t channels = r.U16();
    // The flag and the port say the same, or the block is not ours.
    if (bool(flags & tcpreg::FLAG_CONTROL) != (a.controlPort != 0) || channels > tcpreg::MaxStreamChannels)
        return std::nullopt;
    for (uint16_t k = 0; k < channels; ++k) a.streamPorts.push_back(r.U16());
    if (!r.Ok()) return std::nullopt;
    return a;
}

} // namespace gev
} // namespace tarn
