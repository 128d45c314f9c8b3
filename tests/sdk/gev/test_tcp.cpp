#include "gev/tcp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

using namespace tarn::gev;

namespace {

std::vector<uint8_t> Frame(const std::vector<uint8_t> &aPacket)
{
    std::vector<uint8_t> out(kFrameHeaderSize);
    writeFrameHeader(out.data(), uint32_t(aPacket.size()));
    out.insert(out.end(), aPacket.begin(), aPacket.end());
    return out;
}

std::vector<uint8_t> Packet(size_t aSize, uint8_t aSeed)
{
    std::vector<uint8_t> p(aSize);
    for (size_t k = 0; k < aSize; ++k) p[k] = uint8_t(aSeed + k * 7);
    return p;
}

// Feeds aStream in pieces of the sizes aChunk picks, collecting every frame.
template <class Chunk>
std::vector<std::vector<uint8_t>> Feed(FrameReader &aReader, const std::vector<uint8_t> &aStream, Chunk aChunk,
                                        FrameReader::Next *aLast = nullptr)
{
    std::vector<std::vector<uint8_t>> frames;
    size_t at = 0;
    FrameReader::Next next = FrameReader::Next::More;
    while (at < aStream.size() && next != FrameReader::Next::Bad) {
        size_t room = 0;
        uint8_t *space = aReader.Space(room);
        if (!room) break;
        const size_t n = std::min({room, aChunk(), aStream.size() - at});
        std::memcpy(space, aStream.data() + at, n);
        aReader.Commit(n);
        at += n;
        const uint8_t *data = nullptr;
        size_t size = 0;
        while ((next = aReader.NextFrame(data, size)) == FrameReader::Next::Frame) frames.emplace_back(data, data + size);
    }
    if (aLast) *aLast = next;
    return frames;
}

} // namespace

TEST(TcpFraming, HeaderIsTheLengthBigEndian)
{
    uint8_t head[4];
    writeFrameHeader(head, 0x01020304);
    EXPECT_EQ(std::vector<uint8_t>(head, head + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(TcpFraming, FramesComeOutWholeHoweverTheBytesArrive)
{
    const std::vector<std::vector<uint8_t>> packets = {Packet(1, 1), Packet(548, 2), Packet(9000, 3),
                                                       Packet(kMaxFrame, 4), Packet(kMaxFrame, 5), Packet(20, 6)};
    std::vector<uint8_t> stream;
    for (const auto &p : packets) {
        auto f = Frame(p);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    // One byte at a time, whole reads, and random cuts (the compaction path).
    std::mt19937 random(7);
    for (int run = 0; run < 3; ++run) {
        FrameReader reader;
        auto frames = run == 0   ? Feed(reader, stream, [] { return size_t(1); })
                      : run == 1 ? Feed(reader, stream, [] { return SIZE_MAX; })
                                 : Feed(reader, stream, [&] { return size_t(random() % 70000 + 1); });
        EXPECT_EQ(frames, packets) << "run " << run;
        EXPECT_EQ(reader.Pending(), 0u);
    }
}

TEST(TcpFraming, HalfAFrameWaitsAndCountsAsPending)
{
    FrameReader reader;
    auto stream = Frame(Packet(100, 9));
    stream.resize(stream.size() - 1);
    FrameReader::Next last;
    EXPECT_TRUE(Feed(reader, stream, [] { return SIZE_MAX; }, &last).empty());
    EXPECT_EQ(last, FrameReader::Next::More);
    EXPECT_EQ(reader.Pending(), stream.size());
    // Three bytes of a header are not a header.
    FrameReader head;
    EXPECT_TRUE(Feed(head, {0, 0, 0}, [] { return SIZE_MAX; }, &last).empty());
    EXPECT_EQ(last, FrameReader::Next::More);
}

TEST(TcpFraming, AnEmptyOrOversizedFrameSpoilsTheStreamForGood)
{
    for (uint32_t length : {0u, uint32_t(kMaxFrame + 1), 0xFFFFFFFFu}) {
        FrameReader reader;
        std::vector<uint8_t> stream = Frame(Packet(10, 1));
        std::vector<uint8_t> bad(4);
        writeFrameHeader(bad.data(), length);
        stream.insert(stream.end(), bad.begin(), bad.end());
        auto after = Frame(Packet(10, 2));
        stream.insert(stream.end(), after.begin(), after.end());
        FrameReader::Next last;
        auto frames = Feed(reader, stream, [] { return SIZE_MAX; }, &last);
        ASSERT_EQ(frames.size(), 1u) << length;  // the frame before it still counts
        EXPECT_EQ(last, FrameReader::Next::Bad);
        EXPECT_TRUE(reader.Bad());
        size_t room = 1;
        reader.Space(room);
        EXPECT_EQ(room, 0u);
        const uint8_t *data;
        size_t size;
        EXPECT_EQ(reader.NextFrame(data, size), FrameReader::Next::Bad);
        reader.Reset();
        EXPECT_FALSE(reader.Bad());
        EXPECT_EQ(Feed(reader, after, [] { return SIZE_MAX; }).size(), 1u);
    }
    // A reader's own limit holds, not only the largest datagram.
    FrameReader small(1500);
    FrameReader::Next last;
    EXPECT_EQ(Feed(small, Frame(Packet(1500, 1)), [] { return SIZE_MAX; }).size(), 1u);
    EXPECT_TRUE(Feed(small, Frame(Packet(1501, 1)), [] { return SIZE_MAX; }, &last).empty());
    EXPECT_EQ(last, FrameReader::Next::Bad);
}

TEST(TcpAdvertisement, LaysOutItsFieldsWhereControllersReadThem)
{
    TcpAdvertisement a;
    a.controlPort = 3956;
    a.streamPorts = {0x1234, 0x5678};
    const auto block = a.Encode();
    ASSERT_EQ(block.size(), tcpreg::Size);
    const std::vector<uint8_t> head = {0x54, 0x43, 0x50, 0x47, 0, 1, 0, 1, 0x0F, 0x74, 0, 2, 0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 16), head);
    EXPECT_TRUE(std::all_of(block.begin() + 16, block.end(), [](uint8_t b) { return b == 0; }));
    auto back = TcpAdvertisement::Decode(block.data(), block.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->controlPort, 3956);
    EXPECT_EQ(back->streamPorts, a.streamPorts);
    EXPECT_EQ(back->StreamPort(1), 0x5678);
    EXPECT_EQ(back->StreamPort(2), 0);
    // Streams alone: no control flag.
    a.controlPort = 0;
    auto streamsOnly = a.Encode();
    EXPECT_EQ(streamsOnly[7], 0);
    ASSERT_TRUE(TcpAdvertisement::Decode(streamsOnly.data(), streamsOnly.size()));
}

TEST(TcpAdvertisement, AnythingElseIsNoOffer)
{
    TcpAdvertisement a;
    a.controlPort = 3956;
    a.streamPorts.assign(tcpreg::MaxStreamChannels, 40000);
    const auto good = a.Encode();
    ASSERT_TRUE(TcpAdvertisement::Decode(good.data(), good.size()));
    EXPECT_EQ(TcpAdvertisement::Decode(good.data(), good.size())->streamPorts.size(), tcpreg::MaxStreamChannels);
    EXPECT_FALSE(TcpAdvertisement::Decode(good.data(), good.size() - 1));
    EXPECT_FALSE(TcpAdvertisement::Decode(nullptr, 64));
    const std::vector<uint8_t> zeros(tcpreg::Size, 0);
    EXPECT_FALSE(TcpAdvertisement::Decode(zeros.data(), zeros.size()));
    auto spoiled = [&](size_t at, uint8_t value) {
        auto b = good;
        b[at] = value;
        return TcpAdvertisement::Decode(b.data(), b.size()).has_value();
    };
    EXPECT_FALSE(spoiled(3, 0x48));   // magic
    EXPECT_FALSE(spoiled(5, 2));      // version
    EXPECT_FALSE(spoiled(7, 0));      // a port without the flag
    EXPECT_FALSE(spoiled(11, tcpreg::MaxStreamChannels + 1));  // more channels than fit
    EXPECT_FALSE(spoiled(10, 1));
    auto noPort = good;
    noPort[8] = noPort[9] = 0;        // the flag without a port
    EXPECT_FALSE(TcpAdvertisement::Decode(noPort.data(), noPort.size()));
    // More channels than the block holds are left out, not written beyond it.
    a.streamPorts.assign(tcpreg::MaxStreamChannels + 5, 1);
    auto clipped = a.Encode();
    EXPECT_EQ(clipped.size(), tcpreg::Size);
    EXPECT_EQ(TcpAdvertisement::Decode(clipped.data(), clipped.size())->streamPorts.size(), tcpreg::MaxStreamChannels);
}

TEST(TcpFraming, FillTellsBytesFromNothingYetFromTheEnd)
{
    FrameReader reader;
    auto frame = Frame(Packet(5, 3));
    auto bytes = [&](uint8_t *aTo, size_t) {
        std::memcpy(aTo, frame.data(), frame.size());
        return long(frame.size());
    };
    EXPECT_EQ(reader.FillFrom(bytes), FrameReader::Fill::Bytes);
    const uint8_t *data;
    size_t size;
    ASSERT_EQ(reader.NextFrame(data, size), FrameReader::Next::Frame);
    EXPECT_EQ(std::vector<uint8_t>(data, data + size), Packet(5, 3));
    auto failing = [](int aErrno) {
        return [aErrno](uint8_t *, size_t) {
            errno = aErrno;
            return -1L;
        };
    };
    EXPECT_EQ(reader.FillFrom(failing(EAGAIN)), FrameReader::Fill::Nothing);
    EXPECT_EQ(reader.FillFrom(failing(EINTR)), FrameReader::Fill::Nothing);
    EXPECT_EQ(reader.FillFrom(failing(ECONNRESET)), FrameReader::Fill::Ended);
    EXPECT_EQ(reader.FillFrom([](uint8_t *, size_t) { return 0L; }), FrameReader::Fill::Ended);
    // A bad stream reads nothing more.
    bool called = false;
    const std::vector<uint8_t> zero(4, 0);
    FrameReader bad;
    Feed(bad, zero, [] { return SIZE_MAX; });
    ASSERT_TRUE(bad.Bad());
    EXPECT_EQ(bad.FillFrom([&](uint8_t *, size_t) { called = true; return 1L; }), FrameReader::Fill::Ended);
    EXPECT_FALSE(called);
}
