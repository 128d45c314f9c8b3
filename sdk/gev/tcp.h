#ifndef TARN_GEV_TCP_H
#define TARN_GEV_TCP_H

// GVCP and GVSP carried over TCP between our own device side and our own
// controller and receiver: each packet goes as a frame, its length as 4
// big-endian bytes and then the packet as it would travel in a datagram.
// The device announces the transport in a block of device-specific
// registers that any controller reads over plain GVCP.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarn {
namespace gev {

constexpr size_t kFrameHeaderSize = 4;
// A GVSP packet fills at most one datagram, and a frame never carries more.
constexpr size_t kMaxFrame = 65535;

void writeFrameHeader(uint8_t *aOut, uint32_t aLength);

// Cuts a byte stream into frames, in memory set aside once (no allocation
// per frame). Bytes are read straight into Space(), then Commit()ted; NextFrame()
// hands out each whole frame, valid until the next call. A frame of length
// 0 or above the limit makes the stream bad for good: after it nothing
// lines up any more.
class FrameReader
{
public:
    explicit FrameReader(size_t aMaxFrame = kMaxFrame);

    // Where to read more bytes to, and how many fit (never 0 unless bad).
    uint8_t *Space(size_t &aRoom);
    void Commit(size_t aCount);

    enum class Next { Frame, More, Bad };
    Next NextFrame(const uint8_t *&aData, size_t &aSize);

    // One read into Space() through aRead(where, room), a non-blocking
    // receive (bytes read; 0 at the end of the stream; -1 with errno set).
    // Ended: the peer closed or failed, or the stream is bad.
    enum class Fill { Bytes, Nothing, Ended };
    template <class Read> Fill FillFrom(Read &&aRead)
    {
        size_t room = 0;
        uint8_t *where = Space(room);
        if (!room) return Fill::Ended;
        const long n = aRead(where, room);
        if (n > 0) {
            Commit(size_t(n));
            return Fill::Bytes;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? Fill::Nothing : Fill::Ended;
    }

    bool Bad() const { return mBad; }
    // Bytes of an unfinished frame: a stream that ends here ended mid-frame.
    size_t Pending() const { return mEnd - mBegin; }
    void Reset();

private:
    std::vector<uint8_t> mMemory;
    size_t mMaxFrame;
    size_t mBegin = 0;
    size_t mEnd = 0;
    bool mBad = false;
};

// The advertisement block: where the device takes TCP connections.
namespace tcpreg {
constexpr uint32_t Advertisement = 0x00012000;
constexpr uint32_t Size = 64;
constexpr uint32_t Magic = 0x54435047;  // "TCPG"
constexpr uint16_t Version = 1;
constexpr uint16_t FLAG_CONTROL = 0x0001;  // GVCP and the messaging channel
// 12 bytes of head, then one 16-bit port per stream channel.
constexpr uint32_t MaxStreamChannels = (Size - 12) / 2;
} // namespace tcpreg

struct TcpAdvertisement {
    uint16_t controlPort = 0;               // 0: no control over TCP
    std::vector<uint16_t> streamPorts;      // per channel, 0: UDP only
    std::vector<uint8_t> Encode() const;    // tcpreg::Size bytes
    // nullopt for anything else than a well-formed block (a device without
    // it answers zeros, an error or bytes of its own).
    static std::optional<TcpAdvertisement> Decode(const uint8_t *aData, size_t aSize);
    uint16_t StreamPort(uint32_t aChannel) const
    {
        return aChannel < streamPorts.size() ? streamPorts[aChannel] : 0;
    }
};

} // namespace gev
} // namespace tarn

#endif
