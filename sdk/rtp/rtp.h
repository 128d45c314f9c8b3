#ifndef TARN_RTP_RTP_H
#define TARN_RTP_RTP_H

// RTP wire formats: the fixed header (RFC 3550), uncompressed video (RFC
// 4175), H.264 (RFC 6184, non-interleaved mode) and framing over TCP (RFC
// 4571). Pure and stateless apart from the depacketisers' own objects: no
// sockets, threads or mutable statics, since this is linked into several
// shared objects. Every length read from the wire is checked against what
// is left before it is used, so hostile packets are dropped or cut, never
// read or written past.

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace tarn {
namespace rtp {

constexpr size_t kHeaderSize = 12;

// One RTP packet, its payload pointing into the datagram it was parsed from.
struct Packet {
    bool marker = false;
    uint8_t payloadType = 0;
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;
    const uint8_t *payload = nullptr;
    size_t payloadSize = 0;
};

// False for what is no RTP version 2 packet, or whose CSRC list, header
// extension or padding do not fit in it.
bool Parse(const uint8_t *aData, size_t aSize, Packet &aOut);

// Writes a 12-byte header (no CSRC, extension or padding) at aOut.
void WriteHeader(uint8_t *aOut, bool aMarker, uint8_t aPayloadType, uint16_t aSequence, uint32_t aTimestamp,
                 uint32_t aSsrc);

// How an uncompressed format packs pixels (RFC 4175's pixel group): a
// group of `bytes` bytes holds `pixels` pixels, and line segments start and
// end on whole groups.
struct Sampling {
    uint32_t bytes = 0;
    uint32_t pixels = 0;
};

// The sampling of a pixel type that travels as RFC 4175 video (a
// ZuPixelType value); false for other pixel types.
bool SamplingOf(int32_t aPixelType, Sampling &aOut);

// Where a depacketiser puts a frame: the stream hands it memory for each
// new frame and gets it back once the frame ended, complete or not.
class FrameSink
{
public:
    struct Memory {
        uint8_t *data = nullptr;
        size_t size = 0;
    };
    // Memory for the frame with this RTP timestamp; empty to drop it.
    virtual Memory Begin(uint32_t aTimestamp) = 0;
    // The frame ended. aBytes: how many bytes it filled (for video the
    // frame's size, whatever arrived). aComplete: every packet of it arrived
    // in order, it ended with the marker and it fit.
    virtual void End(const Memory &aMemory, size_t aBytes, bool aComplete, uint32_t aTimestamp) = 0;

protected:
    ~FrameSink() = default;
};

// What the depacketisers share: a frame is the packets of one timestamp,
// ended by the marker bit or by a packet of another timestamp; a gap in
// the sequence numbers marks it damaged.
class FrameAssembly
{
public:
    // Ends the frame in progress, if any, as incomplete.
    void Flush(FrameSink &aSink);
    // Frames ended so far, and those of them that were incomplete.
    uint64_t Frames() const { return mFrames; }
    uint64_t Incomplete() const { return mIncomplete; }

protected:
    // Starts a frame for the packet when none is in progress (the caller
    // ends one of another timestamp first, as its marker was lost), or
    // checks the packet's place in the one in progress; false when there is
    // no memory to fill.
    bool Enter(const Packet &aPacket, FrameSink &aSink);
    // Ends the frame after a packet with the marker bit.
    void Leave(const Packet &aPacket, FrameSink &aSink, size_t aBytes);
    void End(FrameSink &aSink, size_t aBytes, bool aComplete);

    FrameSink::Memory mMemory;
    bool mActive = false;   // a frame is in progress (perhaps without memory)
    bool mDamaged = false;  // something of it was lost, refused or cut
    uint32_t mTimestamp = 0;
    uint16_t mNextSequence = 0;
    uint64_t mFrames = 0, mIncomplete = 0;
};

// RFC 4175: line segments into a frame of width x height pixels of one
// sampling, each line followed by aPaddingX bytes.
class RawVideoDepacketizer : public FrameAssembly
{
public:
    // False when the sampling is not usable or the frame would not fit in
    // memory.
    bool Configure(uint32_t aWidth, uint32_t aHeight, Sampling aSampling, uint32_t aPaddingX);
    // The bytes of a frame: (line bytes + padding) x height.
    size_t FrameSize() const { return size_t(mStride) * mHeight; }
    void Feed(const Packet &aPacket, FrameSink &aSink);

private:
    uint32_t mWidth = 0, mHeight = 0, mLineBytes = 0, mStride = 0;
    Sampling mSampling;
    size_t mFilled = 0;  // bytes of segments written into the frame
};

// RFC 6184: the NAL units of each access unit into an Annex B byte stream
// (each unit after a 00 00 00 01 start code), single units, STAP-A and
// FU-A; the interleaved packet types are refused.
class H264Depacketizer : public FrameAssembly
{
public:
    void Feed(const Packet &aPacket, FrameSink &aSink);
    // The access unit being ended did not fit its memory (read in End).
    bool Cut() const { return mFull; }

private:
    bool Put(const uint8_t *aData, size_t aSize);
    bool StartUnit(uint8_t aHeader);
    size_t mFilled = 0, mUnitStart = 0;
    bool mInFragment = false;  // an FU-A unit is open
    bool mFull = false;        // a unit did not fit: the rest of the access unit is dropped
};

// RFC 4571: RTP packets over a byte stream, each after its 16-bit
// big-endian length. Feed takes the bytes as they come and hands each
// whole packet to aOnPacket(data, size); zero-length frames are skipped.
class StreamFramer
{
public:
    StreamFramer() : mBuffer(2 + 65535) {}
    template <class OnPacket> void Feed(const uint8_t *aData, size_t aSize, OnPacket &&aOnPacket)
    {
        while (aSize > 0) {
            const size_t need = mHave < 2 ? 2 - mHave : Wanted() - mHave;
            const size_t n = need < aSize ? need : aSize;
            for (size_t k = 0; k < n; ++k) mBuffer[mHave + k] = aData[k];
            mHave += n;
            aData += n;
            aSize -= n;
            if (mHave >= 2 && mHave == Wanted()) {
                if (mHave > 2) aOnPacket(mBuffer.data() + 2, mHave - 2);
                mHave = 0;
            }
        }
    }
    // Bytes of a frame not yet whole.
    size_t Pending() const { return mHave; }

private:
    size_t Wanted() const { return 2 + (size_t(mBuffer[0]) << 8 | mBuffer[1]); }
    std::vector<uint8_t> mBuffer;
    size_t mHave = 0;
};

// The sending side of RFC 4175: a frame's lines cut into packets of at most
// aMaxPacket bytes (the RTP header included), several segments to a packet
// where they fit; the last packet carries the marker bit.
class RawVideoPacketizer
{
public:
    RawVideoPacketizer(uint8_t aPayloadType, uint32_t aSsrc) : mPayloadType(aPayloadType), mSsrc(aSsrc) {}
    // Calls aEmit(data, size) for each packet; false when the format or the
    // packet size cannot carry the frame (nothing is sent then).
    template <class Emit>
    bool Send(const uint8_t *aFrame, uint32_t aWidth, uint32_t aHeight, Sampling aSampling, uint32_t aPaddingX,
              uint32_t aTimestamp, size_t aMaxPacket, Emit &&aEmit)
    {
        if (!Plan(aWidth, aHeight, aSampling, aMaxPacket)) return false;
        mPacket.resize(aMaxPacket);
        const uint32_t lineBytes = aWidth / aSampling.pixels * aSampling.bytes;
        Cursor c;
        while (c.line < aHeight) {
            const size_t size = Next(c, aFrame, aWidth, aHeight, aSampling, lineBytes + aPaddingX, aTimestamp);
            aEmit(mPacket.data(), size);
        }
        return true;
    }

private:
    struct Cursor {
        uint32_t line = 0, pixel = 0;
    };
    bool Plan(uint32_t aWidth, uint32_t aHeight, Sampling aSampling, size_t aMaxPacket) const;
    size_t Next(Cursor &aCursor, const uint8_t *aFrame, uint32_t aWidth, uint32_t aHeight, Sampling aSampling,
                uint32_t aStride, uint32_t aTimestamp);
    uint8_t mPayloadType;
    uint32_t mSsrc;
    uint32_t mSequence = 0;  // extended: the low half in the header, the high half in the payload
    std::vector<uint8_t> mPacket;
};

// The sending side of RFC 6184 (packetization-mode 1): an access unit in
// Annex B form (each NAL unit after a 00 00 01 or 00 00 00 01 start code)
// cut into packets of at most aMaxPacket bytes (the RTP header included):
// a unit that fits goes whole in one packet, a larger one as FU-A
// fragments. The last packet of the access unit carries the marker bit.
// Zero bytes before a start code belong to it, not to the unit before.
class H264Packetizer
{
public:
    H264Packetizer(uint8_t aPayloadType, uint32_t aSsrc) : mPayloadType(aPayloadType), mSsrc(aSsrc) {}
    // Calls aEmit(data, size) for each packet; false when the access unit
    // holds no NAL unit or one RTP cannot carry, or the packet size cannot
    // carry a fragment (nothing is sent then).
    template <class Emit>
    bool Send(const uint8_t *aUnit, size_t aSize, uint32_t aTimestamp, size_t aMaxPacket, Emit &&aEmit)
    {
        if (!aUnit || aMaxPacket < kHeaderSize + 3 || aMaxPacket > 65535) return false;
        Nal nal = NextNal(aUnit, aSize, 0);
        if (!nal.size || !Carriable(aUnit, aSize, nal)) return false;
        mPacket.resize(aMaxPacket);
        const size_t room = aMaxPacket - kHeaderSize;
        while (nal.size) {
            const Nal next = NextNal(aUnit, aSize, nal.end);
            const bool lastUnit = next.size == 0;
            const uint8_t *p = aUnit + nal.start;
            if (nal.size <= room) {
                aEmit(mPacket.data(), Single(p, nal.size, lastUnit, aTimestamp));
            } else {
                // The unit's header travels in the FU indicator and header.
                size_t at = 1;
                while (at < nal.size) {
                    const size_t n = std::min(nal.size - at, room - 2);
                    const bool last = at + n == nal.size;
                    aEmit(mPacket.data(), Fragment(p[0], p + at, n, at == 1, last, last && lastUnit, aTimestamp));
                    at += n;
                }
            }
            nal = next;
        }
        return true;
    }

private:
    struct Nal {
        size_t start = 0, size = 0, end = 0;  // end: where the search for the next one starts
    };
    // The next NAL unit at or after aFrom (its size 0 when there is none).
    static Nal NextNal(const uint8_t *aData, size_t aSize, size_t aFrom);
    // Every unit from aFirst on has a header a packet can carry as it is:
    // the forbidden bit clear, and not a type that RTP reads as its own
    // packet types (0 and 24 to 31).
    static bool Carriable(const uint8_t *aData, size_t aSize, Nal aFirst);
    size_t Single(const uint8_t *aNal, size_t aSize, bool aMarker, uint32_t aTimestamp);
    size_t Fragment(uint8_t aNalHeader, const uint8_t *aData, size_t aSize, bool aStart, bool aEnd, bool aMarker,
                    uint32_t aTimestamp);
    uint8_t mPayloadType;
    uint32_t mSsrc;
    uint16_t mSequence = 0;
    std::vector<uint8_t> mPacket;
};

} // namespace rtp
} // namespace tarn

#endif
