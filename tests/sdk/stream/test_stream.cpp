// The GigE Vision stream over loopback UDP against the test transmitter:
// the queue's answers, frames placed byte for byte, lost packets asked for
// again, limits that end blocks, and the parameters that steer it. Each
// test uses a device address of its own in 127.0.0.0/8, so that tests run
// side by side.
#include "ZuBuffer.h"
#include "ZuGenParameterArray.h"
#include "ZuImage.h"
#include "ZuMultiPartContainer.h"
#include "ZuRawData.h"
#include "ZuStreamGEV.h"
#include "gvsp_sender.h"

#include "gev/gvcp.h"
#include "gev/packetizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <map>
#include <sys/mman.h>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

using tarn::test::FrameBytes;
using tarn::test::GvspSender;

namespace {

// Device addresses of this process alone: the test runner starts each
// test in a process of its own, several at once.
uint32_t FirstDevice()
{
    return 0x7F000000u | ((uint32_t(getpid()) % 0x3F00u + 0x100u) << 8) | 1u;
}
std::atomic<uint32_t> gNextDevice{FirstDevice()};

struct Fixture {
    explicit Fixture(GvspSender::Options aOptions = GvspSender::Options(), uint32_t aCapacity = 64)
    {
        aOptions.deviceIp = gNextDevice++;
        device = aOptions.deviceIp;
        sender.reset(new GvspSender(aOptions));
        EXPECT_TRUE(sender->Valid());
        std::string ip = tarn::gvcp::formatIPv4(device);
        EXPECT_TRUE(stream.Open(ZuString(ip.c_str()), 0, 0, ZuString(), aCapacity).IsOK());
        to = tarn::net::Endpoint{0x7F000001, stream.GetLocalPort()};
    }

    ZuBuffer *Buffer(uint32_t aSize)
    {
        buffers.emplace_back(new ZuBuffer());
        EXPECT_TRUE(buffers.back()->Alloc(aSize).IsOK());
        return buffers.back().get();
    }

    // Queues aCount buffers of aSize bytes.
    void Queue(size_t aCount, uint32_t aSize)
    {
        for (size_t k = 0; k < aCount; ++k) EXPECT_EQ(stream.QueueBuffer(Buffer(aSize)).GetCode(), ZU_PENDING);
    }

    // Retrieves one buffer, waiting long enough for anything on loopback.
    ZuBuffer *Retrieve(ZuResult &aOperation, uint32_t aTimeout = 10000)
    {
        ZuBuffer *buffer = nullptr;
        ZuResult r = stream.RetrieveBuffer(&buffer, &aOperation, aTimeout);
        EXPECT_TRUE(r.IsOK()) << r.GetCode();
        return buffer;
    }

    int64_t Parameter(const char *aName)
    {
        int64_t v = -1;
        EXPECT_TRUE(stream.GetParameters()->GetIntegerValue(ZuString(aName), v).IsOK()) << aName;
        return v;
    }

    uint32_t device = 0;
    std::unique_ptr<GvspSender> sender;
    // Before the stream: queued buffers must outlive its receiver thread,
    // which may still be filling one when a test ends.
    std::vector<std::unique_ptr<ZuBuffer>> buffers;
    ZuStreamGEV stream;
    tarn::net::Endpoint to;
};

TEST(StreamQueue, AnswersForNoBufferATwiceQueuedOneAFullQueueAndAnEmptyOne)
{
    Fixture f(GvspSender::Options(), 2);
    EXPECT_EQ(f.stream.GetQueuedBufferMaximum(), 2u);
    EXPECT_EQ(f.stream.QueueBuffer(nullptr).GetCode(), ZU_INVALID_PARAMETER);
    ZuBuffer *a = f.Buffer(100);
    ZuBuffer *b = f.Buffer(100);
    ZuBuffer *c = f.Buffer(100);
    ZuBuffer *out = nullptr;
    ZuResult op;
    EXPECT_EQ(f.stream.RetrieveBuffer(&out, &op, 0).GetCode(), ZU_NO_MORE_ITEM);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(f.stream.QueueBuffer(a).GetCode(), ZU_PENDING);
    EXPECT_EQ(f.stream.QueueBuffer(a).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(f.stream.QueueBuffer(b).GetCode(), ZU_PENDING);
    EXPECT_EQ(f.stream.QueueBuffer(c).GetCode(), ZU_NO_MORE_ENTRY);
    EXPECT_EQ(f.stream.GetQueuedBufferCount(), 2u);
    EXPECT_EQ(f.stream.RetrieveBuffer(&out, &op, 20).GetCode(), ZU_TIMEOUT);
    EXPECT_EQ(f.stream.GetQueuedBufferCount(), 2u);

    // Aborted buffers come back in queue order, each ABORTED.
    EXPECT_TRUE(f.stream.AbortQueuedBuffers().IsOK());
    EXPECT_EQ(f.Retrieve(op), a);
    EXPECT_EQ(op.GetCode(), ZU_ABORTED);
    EXPECT_EQ(f.Retrieve(op), b);
    EXPECT_EQ(op.GetCode(), ZU_ABORTED);
    EXPECT_EQ(f.stream.GetQueuedBufferCount(), 0u);

    EXPECT_TRUE(f.stream.Close().IsOK());
    EXPECT_EQ(f.stream.Close().GetCode(), ZU_NOT_CONNECTED);
    EXPECT_EQ(f.stream.QueueBuffer(c).GetCode(), ZU_NOT_CONNECTED);
    EXPECT_EQ(f.stream.AbortQueuedBuffers().GetCode(), ZU_NOT_CONNECTED);
}

TEST(StreamQueue, CloseEndsAWaitingRetrieveAndEveryQueuedBufferComesBackAborted)
{
    Fixture f;
    f.Queue(3, 1000);
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        f.stream.Close();
    });
    ZuResult op;
    ZuBuffer *first = f.Retrieve(op, 0xFFFFFFFF);
    closer.join();
    EXPECT_EQ(first, f.buffers[0].get());
    EXPECT_EQ(op.GetCode(), ZU_ABORTED);
    for (int k = 1; k < 3; ++k) {
        EXPECT_EQ(f.Retrieve(op), f.buffers[size_t(k)].get());
        EXPECT_EQ(op.GetCode(), ZU_ABORTED);
    }
    ZuBuffer *none = nullptr;
    EXPECT_EQ(f.stream.RetrieveBuffer(&none, &op, 0).GetCode(), ZU_NO_MORE_ITEM);
}

TEST(StreamReceive, FramesArriveWholeWithTheirDescriptionInQueueOrder)
{
    Fixture f;
    f.Queue(4, 64 * 48);
    for (uint64_t block = 1; block <= 4; ++block) ASSERT_TRUE(f.sender->SendImage(64, 48, block, f.to));
    for (uint64_t block = 1; block <= 4; ++block) {
        ZuResult op;
        ZuBuffer *b = f.Retrieve(op);
        ASSERT_EQ(b, f.buffers[block - 1].get());
        EXPECT_TRUE(op.IsOK()) << op.GetCode();
        EXPECT_EQ(b->GetBlockID(), block);
        EXPECT_EQ(b->GetTimestamp(), block * 1000);
        EXPECT_EQ(b->GetPayloadType(), ZuPayloadTypeImage);
        EXPECT_EQ(b->GetAcquiredSize(), 64u * 48);
        EXPECT_TRUE(b->IsHeaderValid());
        EXPECT_TRUE(b->IsTrailerValid());
        ASSERT_NE(b->GetImage(), nullptr);
        EXPECT_EQ(b->GetImage()->GetWidth(), 64u);
        EXPECT_EQ(b->GetImage()->GetHeight(), 48u);
        EXPECT_EQ(b->GetImage()->GetPixelType(), ZuPixelMono8);
        std::vector<uint8_t> got(b->GetDataPointer(), b->GetDataPointer() + 64 * 48);
        EXPECT_TRUE(got == FrameBytes(64 * 48, block)) << "block " << block;
        uint32_t missing = 99;
        b->GetMissingPacketIdsCount(missing);
        EXPECT_EQ(missing, 0u);
    }
    EXPECT_EQ(f.Parameter("BlockCount"), 4);
    // The packet counters are published by the receiver's thread after it
    // handed the frame out: wait for them.
    for (int k = 0; k < 500 && (f.Parameter("PacketCount") <= 4 * 3 || f.Parameter("PacketPayloadSize") == 0); ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GT(f.Parameter("PacketCount"), 4 * 3);
    EXPECT_EQ(f.Parameter("PacketPayloadSize"), int64_t(1472 - 8));
}

TEST(StreamReceive, LostPacketsAreAskedForAndFramesArriveByteForByte)
{
    GvspSender::Options o;
    o.loss = 0.1;
    o.seed = 7;
    Fixture f(o);
    const uint32_t w = 1000, h = 100;
    f.Queue(8, w * h);
    for (uint64_t block = 1; block <= 8; ++block) ASSERT_TRUE(f.sender->SendImage(w, h, block, f.to));
    // Each buffer tells its own block's packets, the stream all of them.
    int64_t recovered = 0, lost = 0, redundant = 0, outOfOrder = 0;
    for (uint64_t block = 1; block <= 8; ++block) {
        ZuResult op;
        ZuBuffer *b = f.Retrieve(op);
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(op.IsOK()) << op.GetCode() << " block " << block;
        std::vector<uint8_t> got(b->GetDataPointer(), b->GetDataPointer() + w * h);
        EXPECT_TRUE(got == FrameBytes(w * h, block)) << "block " << block;
        recovered += b->GetPacketsRecoveredCount();
        lost += b->GetLostPacketCount();
        redundant += b->GetRedundantPacketCount();
        outOfOrder += b->GetPacketOutOfOrderCount();
    }
    EXPECT_GT(f.sender->ResendRequests(), 0u);
    EXPECT_GT(f.Parameter("PacketsRecovered"), 0);
    EXPECT_EQ(f.Parameter("PacketsLost"), 0);
    EXPECT_EQ(recovered, f.Parameter("PacketsRecovered"));
    EXPECT_EQ(lost, f.Parameter("PacketsLost"));
    EXPECT_EQ(redundant, f.Parameter("PacketsRedundant"));
    EXPECT_EQ(outOfOrder, f.Parameter("PacketsOutOfOrder"));
    EXPECT_EQ(f.Parameter("BlockCount"), 8);
}

TEST(StreamReceive, RefusedResendsEndTheFrameWithMissingPacketsAndTheStreamGoesOn)
{
    GvspSender::Options o;
    o.loss = 0.2;
    o.refuseStatus = tarn::gvsp::STATUS_PACKET_UNAVAILABLE;
    Fixture f(o);
    f.Queue(2, 50000);
    ASSERT_TRUE(f.sender->SendImage(500, 100, 1, f.to));
    ZuResult op;
    ZuBuffer *b = f.Retrieve(op);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(op.GetCode(), ZU_MISSING_PACKETS);
    uint32_t ranges = 0;
    b->GetMissingPacketIdsCount(ranges);
    EXPECT_GT(ranges, 0u);
    EXPECT_GT(b->GetLostPacketCount(), 0u);
    EXPECT_EQ(f.Parameter("BlocksMissingPackets"), 1);

    f.sender->SetLoss(0);
    ASSERT_TRUE(f.sender->SendImage(500, 100, 2, f.to));
    b = f.Retrieve(op);
    EXPECT_TRUE(op.IsOK());
    EXPECT_EQ(b->GetBlockID(), 2u);
}

TEST(StreamReceive, WithResendsTurnedOffThroughTheParametersNothingIsAsked)
{
    GvspSender::Options o;
    o.loss = 0.2;
    Fixture f(o);
    ASSERT_TRUE(f.stream.GetParameters()->SetBooleanValue(ZuString("RequestMissingPackets"), false).IsOK());
    f.Queue(2, 50000);
    ASSERT_TRUE(f.sender->SendImage(500, 100, 1, f.to));
    ASSERT_TRUE(f.sender->SendImage(500, 100, 2, f.to));
    ZuResult op;
    f.Retrieve(op);
    EXPECT_EQ(op.GetCode(), ZU_MISSING_PACKETS);
    EXPECT_EQ(f.sender->ResendRequests(), 0u);
    EXPECT_EQ(f.Parameter("ResendRequestCount"), 0);
}

TEST(StreamReceive, AFrameLargerThanItsBufferSaysSoAndHowMuchItNeeded)
{
    Fixture f;
    ZuBuffer *small = f.Buffer(1000);
    ASSERT_EQ(f.stream.QueueBuffer(small).GetCode(), ZU_PENDING);
    ASSERT_TRUE(f.sender->SendImage(100, 100, 1, f.to));
    ZuResult op;
    EXPECT_EQ(f.Retrieve(op), small);
    EXPECT_EQ(op.GetCode(), ZU_BUFFER_TOO_SMALL);
    EXPECT_GE(small->GetRequiredSize(), 10000u);
    EXPECT_LE(small->GetAcquiredSize(), 1000u);
    // The image is not described beyond the memory.
    EXPECT_TRUE(small->GetImage() == nullptr || small->GetImage()->GetImageSize() <= 1000u);
    EXPECT_EQ(f.Parameter("BlocksBufferTooSmall"), 1);
}

TEST(StreamReceive, FramesWithoutAQueuedBufferAreDroppedAndCounted)
{
    Fixture f;
    ASSERT_TRUE(f.sender->SendImage(64, 48, 1, f.to));
    ASSERT_TRUE(f.sender->SendTest(600, f.to));
    // The counters are published by the receiver's thread: wait for them.
    for (int k = 0; k < 500 && (f.Parameter("BlocksDropped") < 1 || f.Parameter("TestPacketCount") < 1); ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(f.Parameter("BlocksDropped"), 1);
    EXPECT_EQ(f.Parameter("TestPacketCount"), 1);
    ASSERT_TRUE(f.stream.GetParameters()->ExecuteCommand(ZuString("ResetStats")).IsOK());
    EXPECT_EQ(f.Parameter("BlocksDropped"), 0);
    f.Queue(1, 64 * 48);
    ASSERT_TRUE(f.sender->SendImage(64, 48, 2, f.to));
    ZuResult op;
    EXPECT_EQ(f.Retrieve(op)->GetBlockID(), 2u);
    EXPECT_TRUE(op.IsOK());
}

TEST(StreamReceive, AbortEndsAFrameBeingFilled)
{
    GvspSender::Options o;
    o.serveResends = false;
    Fixture f(o);
    f.Queue(1, 100000);
    // Only the leader: the block stays open, waiting for the rest.
    tarn::gvsp::Packetizer p;
    std::vector<uint8_t> bytes = FrameBytes(100000, 5);
    tarn::gvsp::BlockSource s;
    s.leader.image.sizeX = 1000;
    s.leader.image.sizeY = 100;
    s.leader.image.pixelFormat = 0x01080001;
    s.data = bytes.data();
    s.size = bytes.size();
    ASSERT_TRUE(p.Start(s, 5, 1472, false));
    uint8_t out[1500];
    size_t n = p.Write(0, out, sizeof out);
    tarn::net::UdpSocket from = tarn::net::UdpSocket::Bind(tarn::net::Endpoint{f.device, 0}, {});
    ASSERT_TRUE(from.SendTo(out, n, f.to));
    // Until the block has taken the buffer, the abort would find it queued.
    for (int k = 0; k < 500 && f.Parameter("PacketCount") < 1; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(f.stream.AbortQueuedBuffers().IsOK());
    ZuResult op;
    EXPECT_EQ(f.Retrieve(op, 0), f.buffers[0].get());
    EXPECT_EQ(op.GetCode(), ZU_ABORTED);
    EXPECT_EQ(f.Parameter("BlocksAborted"), 1);
}

// A queued buffer's memory is resident before the first packet, so that
// the first frames do not wait on a fault a page and lose packets.
TEST(StreamReceive, AQueuedBufferIsResidentBeforeItsFirstPacket)
{
    Fixture f;
    const size_t page = size_t(::sysconf(_SC_PAGESIZE)), size = 256 * page;
    ZuBuffer *buffer = f.Buffer(uint32_t(size));
    auto residentPages = [&] {
        const uintptr_t at = uintptr_t(buffer->GetDataPointer());
        const uintptr_t from = (at + page - 1) & ~(page - 1), to = (at + size) & ~(page - 1);
        std::vector<unsigned char> pages((to - from) / page);
        EXPECT_EQ(::mincore(reinterpret_cast<void *>(from), to - from, pages.data()), 0);
        return std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; });
    };
    EXPECT_LT(residentPages(), 8);
    EXPECT_EQ(f.stream.QueueBuffer(buffer).GetCode(), ZU_PENDING);
    EXPECT_GE(residentPages(), 254);
}

// A request that comes as a stream goes quiet is answered at once, not
// after a wait for the next datagram that never comes.
TEST(StreamReceive, FlushAndCloseRightAfterTheLastDatagramAnswerAtOnce)
{
    Fixture f;
    tarn::net::UdpSocket from = tarn::net::UdpSocket::Bind(tarn::net::Endpoint{f.device, 0}, {});
    const uint8_t junk[16] = {};
    auto burst = [&] {
        for (int k = 0; k < 20; ++k) {
            ASSERT_TRUE(from.SendTo(junk, sizeof junk, f.to));
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    };
    const std::pair<const char *, std::function<void()>> requests[] = {
        {"flush", [&] { EXPECT_TRUE(f.stream.FlushPacketQueue().IsOK()); }},
        {"close", [&] { f.stream.Close(); }},
    };
    for (const auto &request : requests) {
        double slowest = 0;
        for (int round = 0; round < 5; ++round) {
            burst();
            const auto asked = std::chrono::steady_clock::now();
            request.second();
            slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count());
        }
        EXPECT_LT(slowest, 0.5) << request.first;
    }
}

// One stream over real sockets as a careless or hostile peer has it:
// extended ids across their wrap to 1, packets and leaders lost, resend
// answers that carry 20 packets of other blocks, and slipped into blocks
// under way from the device's own address and port a leader 70 blocks old,
// a whole block 75 old again, a leader 30000 old with data of ten old
// blocks after it. Then the camera restarts, ids from 1 again. Every block
// comes back once, whole and as sent, the restarted camera's from its
// third on; nothing slipped in costs a block.
TEST(StreamReceive, AStreamUnderAttackLosesNoBlockAndDeliversNoneTwice)
{
    using tarn::gvsp::nextBlockId;
    GvspSender::Options o;
    o.extendedId = true;
    o.loss = 0.03;
    o.leaderLoss = 0.2;
    o.storm = 20;
    o.seed = 5;
    Fixture f(o, 256);
    f.Queue(200, 64 * 48);
    auto source = [](uint32_t aHeight, uint64_t aId, uint64_t aClock) {
        tarn::gvsp::BlockSource s;
        s.leader.payloadType = tarn::gvsp::PAYLOAD_IMAGE;
        s.leader.timestamp = aClock + aId;
        s.leader.image.pixelFormat = 0x01080001;
        s.leader.image.sizeX = 64;
        s.leader.image.sizeY = aHeight;
        s.trailer.sizeY = aHeight;
        return s;
    };
    // Block aId as the device sent it, packets aFirst to aLast.
    auto copy = [&](uint64_t aId, uint32_t aFirst, uint32_t aLast) {
        auto bytes = FrameBytes(64 * 48, aId);
        tarn::gvsp::BlockSource s = source(48, aId, 0);
        s.data = bytes.data();
        s.size = bytes.size();
        tarn::gvsp::Packetizer p;
        EXPECT_TRUE(p.Start(s, aId, o.datagram, true));
        std::vector<std::vector<uint8_t>> d;
        for (uint32_t id = aFirst; id <= std::min(aLast, p.PacketCount() - 1); ++id) {
            d.emplace_back(o.datagram);
            d.back().resize(p.Write(id, d.back().data(), d.back().size()));
        }
        return d;
    };
    auto back = [](uint64_t aId, uint64_t aBack) { return aId > aBack ? aId - aBack : aId - aBack - 1; };
    std::map<uint64_t, int> whole;
    auto collect = [&](size_t aCount, uint32_t aHeight) {
        for (size_t k = 0; k < aCount; ++k) {
            ZuResult op;
            ZuBuffer *b = f.Retrieve(op);
            if (!b) return;
            EXPECT_TRUE(op.IsOK()) << b->GetBlockID() << ": " << op.GetCode();
            if (!op.IsOK()) continue;
            ++whole[b->GetBlockID()];
            std::vector<uint8_t> got(b->GetDataPointer(), b->GetDataPointer() + 64 * aHeight);
            EXPECT_TRUE(b->GetImage()->GetHeight() == aHeight && got == FrameBytes(64 * aHeight, b->GetBlockID()))
                << b->GetBlockID();
        }
    };

    uint64_t id = UINT64_MAX - 60;
    std::vector<uint64_t> sent;
    for (int k = 0; k < 150; ++k, id = nextBlockId(id, true)) {
        std::vector<std::vector<uint8_t>> slip;
        if (k >= 100 && k % 10 == 0) slip = copy(back(id, 70), 0, 0);
        if (k >= 100 && k % 10 == 5) slip = copy(back(id, 75), 0, 100);
        if (k >= 100 && k % 10 == 7) {
            slip = copy(back(id, 30000), 0, 0);
            for (uint64_t b = back(id, 100); b != back(id, 90); b = nextBlockId(b, true)) slip.push_back(copy(b, 1, 1)[0]);
        }
        auto bytes = std::make_shared<const std::vector<uint8_t>>(FrameBytes(64 * 48, id));
        ASSERT_TRUE(f.sender->Send(source(48, id, 0), id, f.to, bytes, slip, 2));
        sent.push_back(id);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    collect(sent.size(), 48);
    for (uint64_t b : sent) EXPECT_EQ(whole[b], 1) << "block " << b;

    // The camera restarts: ids from 1, another clock, frames of another size.
    o.extendedId = true;
    o.deviceIp = f.device;
    f.sender.reset();
    f.sender.reset(new GvspSender(o));
    whole.clear();
    f.Queue(20, 64 * 48);
    const auto restarted = std::chrono::steady_clock::now();
    for (uint64_t b = 1; b <= 20; ++b) {
        auto bytes = std::make_shared<const std::vector<uint8_t>>(FrameBytes(64 * 40, b));
        ASSERT_TRUE(f.sender->Send(source(40, b, 1 << 30), b, f.to, bytes));
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    collect(18, 40);
    const double resumed = std::chrono::duration<double>(std::chrono::steady_clock::now() - restarted).count();
    for (uint64_t b = 1; b <= 20; ++b) EXPECT_EQ(whole[b], b > 2 ? 1 : 0) << "block " << b << " after the restart";
    EXPECT_LT(resumed, 5.0);
    ZuResult op;
    ZuBuffer *none = nullptr;
    EXPECT_EQ(f.stream.RetrieveBuffer(&none, &op, 200).GetCode(), ZU_TIMEOUT);
}

TEST(StreamReceive, ExtendedIdsArriveWithTheirSixtyFourBitBlockIds)
{
    GvspSender::Options o;
    o.extendedId = true;
    o.loss = 0.05;
    Fixture f(o);
    f.Queue(3, 300 * 20);
    const uint64_t first = 0xFFFFFFFFull;
    for (uint64_t k = 0; k < 3; ++k) ASSERT_TRUE(f.sender->SendImage(300, 20, first + k, f.to));
    for (uint64_t k = 0; k < 3; ++k) {
        ZuResult op;
        ZuBuffer *b = f.Retrieve(op);
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(op.IsOK());
        EXPECT_TRUE(b->IsExtendedID());
        EXPECT_EQ(b->GetBlockID(), first + k);
        std::vector<uint8_t> got(b->GetDataPointer(), b->GetDataPointer() + 300 * 20);
        EXPECT_TRUE(got == FrameBytes(300 * 20, first + k));
    }
}

TEST(StreamReceive, MultiPartGenDCAndChunkBlocksGiveTheBufferTheirViews)
{
    Fixture f;
    f.Queue(3, 20000);
    // A multi-part block: a 40 x 30 Mono8 image and a chunk part.
    auto image = FrameBytes(1200, 1);
    std::vector<uint8_t> chunk = {1, 2, 3, 4, 0, 0, 0, 7, 0, 0, 0, 4};   // one chunk of id 7
    tarn::gvsp::PartInfo parts[2];
    parts[0].dataType = 1;
    parts[0].length = image.size();
    parts[0].dataFormat = 0x01080001;
    parts[0].specific[0] = 40;
    parts[0].specific[1] = 30;
    parts[0].sourceId = 5;
    parts[1].dataType = 10;
    parts[1].length = chunk.size();
    const uint8_t *data[2] = {image.data(), chunk.data()};
    tarn::gvsp::BlockSource mp;
    mp.leader.payloadType = tarn::gvsp::PAYLOAD_MULTIPART;
    mp.leader.partCount = 2;
    mp.parts = parts;
    mp.partData = data;
    ASSERT_TRUE(f.sender->Send(mp, 1, f.to));
    // An image followed by chunks.
    std::vector<uint8_t> withChunks = FrameBytes(64, 2);
    withChunks.insert(withChunks.end(), chunk.begin(), chunk.end());
    tarn::gvsp::BlockSource ic;
    ic.leader.payloadType = tarn::gvsp::PAYLOAD_IMAGE | tarn::gvsp::PAYLOAD_CHUNK_FLAG;
    ic.leader.image.pixelFormat = 0x01080001;
    ic.leader.image.sizeX = 8;
    ic.leader.image.sizeY = 8;
    ic.leader.image.offsetX = 3;
    ic.leader.image.offsetY = 5;
    ic.trailer.sizeY = 8;
    ic.trailer.chunkPayloadLength = uint32_t(chunk.size());
    ic.trailer.chunkLayoutId = 0x55;
    ic.data = withChunks.data();
    ic.size = withChunks.size();
    ASSERT_TRUE(f.sender->Send(ic, 2, f.to));
    // Raw data.
    auto raw = FrameBytes(3000, 3);
    tarn::gvsp::BlockSource rd;
    rd.leader.payloadType = tarn::gvsp::PAYLOAD_RAW;
    rd.leader.payloadSize = raw.size();
    rd.data = raw.data();
    rd.size = raw.size();
    ASSERT_TRUE(f.sender->Send(rd, 3, f.to));

    ZuResult op;
    ZuBuffer *b = f.Retrieve(op);
    ASSERT_TRUE(op.IsOK());
    ASSERT_EQ(b->GetPayloadType(), ZuPayloadTypeMultiPart);
    IZuMultiPartContainer *c = b->GetMultiPartContainer();
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->GetPartCount(), 2u);
    IZuMultiPartSection *first = c->GetPart(0);
    ASSERT_NE(first->GetImage(), nullptr);
    EXPECT_EQ(first->GetImage()->GetWidth(), 40u);
    EXPECT_EQ(first->GetImage()->GetHeight(), 30u);
    EXPECT_EQ(first->GetSourceID(), 5u);
    EXPECT_EQ(first->GetDataPointer(), b->GetDataPointer());
    EXPECT_EQ(0, std::memcmp(first->GetDataPointer(), image.data(), image.size()));
    IZuMultiPartSection *second = c->GetPart(1);
    ASSERT_NE(second->GetChunkData(), nullptr);
    EXPECT_EQ(second->GetDataPointer(), b->GetDataPointer() + image.size());
    EXPECT_EQ(second->GetChunkData()->GetChunkCount(), 1u);
    EXPECT_EQ(second->GetChunkData()->GetChunkSizeByID(7), 4u);

    b = f.Retrieve(op);
    ASSERT_TRUE(op.IsOK());
    EXPECT_EQ(b->GetPayloadType(), ZuPayloadTypeExtendedChunkData);
    ASSERT_NE(b->GetImage(), nullptr);
    EXPECT_EQ(b->GetImage()->GetWidth(), 8u);
    EXPECT_EQ(b->GetImage()->GetOffsetX(), 3u);
    EXPECT_EQ(b->GetImage()->GetOffsetY(), 5u);
    EXPECT_EQ(b->GetChunkCount(), 1u);
    EXPECT_EQ(b->GetChunkLayoutID(), 0x55u);
    ASSERT_NE(b->GetChunkRawDataByID(7), nullptr);
    EXPECT_EQ(0, std::memcmp(b->GetChunkRawDataByID(7), chunk.data(), 4));

    b = f.Retrieve(op);
    ASSERT_TRUE(op.IsOK());
    EXPECT_EQ(b->GetPayloadType(), ZuPayloadTypeRawData);
    ASSERT_NE(b->GetRawData(), nullptr);
    EXPECT_EQ(b->GetPayloadSize(), 3000u);
}

// Resident memory in KiB and open descriptors of this process.
std::pair<long, long> Footprint()
{
    long rss = 0;
    FILE *status = std::fopen("/proc/self/status", "r");
    char line[256];
    while (status && std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmRSS: %ld", &rss) == 1) break;
    if (status) std::fclose(status);
    long fds = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++fds;
        closedir(d);
    }
    return {rss, fds};
}

TEST(StreamReceive, TenThousandFramesGrowNeitherMemoryNorDescriptors)
{
    Fixture f;
    f.Queue(16, 64 * 48);
    auto run = [&](uint64_t aFrom, uint64_t aTo) {
        uint64_t sent = aFrom, got = aFrom;
        while (got < aTo) {
            // Up to 8 frames ahead of what came back.
            while (sent < aTo && sent - got < 8) ASSERT_TRUE(f.sender->SendImage(64, 48, 1 + sent++ % 0xFFFF, f.to));
            ZuResult op;
            ZuBuffer *b = f.Retrieve(op);
            ASSERT_NE(b, nullptr);
            ASSERT_TRUE(op.IsOK()) << op.GetCode() << " at " << got;
            ASSERT_EQ(f.stream.QueueBuffer(b).GetCode(), ZU_PENDING);
            ++got;
        }
    };
    run(0, 1000);
    auto before = Footprint();
    run(1000, 10000);
    auto after = Footprint();
    EXPECT_EQ(after.second, before.second);
#if !defined(__SANITIZE_ADDRESS__)
    // (AddressSanitizer holds freed memory back in quarantine.)
    EXPECT_LT(after.first - before.first, 1024) << "KiB grown";
#endif
    EXPECT_EQ(f.Parameter("BlockCount"), 10000);
}

TEST(StreamReceive, AMulticastGroupIsReceived)
{
    if (!std::getenv("TARN_IN_NETNS")) GTEST_SKIP() << "multicast on loopback is set up only in a private network namespace";
    // The namespace's loopback carries multicast once told to.
    if (std::system("ip link set lo multicast on && ip route replace 239.0.0.0/8 dev lo") != 0)
        GTEST_SKIP() << "this namespace does not let loopback carry multicast";
    GvspSender::Options o;
    o.deviceIp = gNextDevice++;
    GvspSender sender(o);
    ASSERT_TRUE(sender.Valid());
    ZuStreamGEV stream;
    std::string ip = tarn::gvcp::formatIPv4(o.deviceIp);
    ZuResult opened = stream.Open(ZuString(ip.c_str()), ZuString("239.192.1.1"), 45123, 0, ZuString("127.0.0.1"));
    if (opened.GetCode() == ZU_NETWORK_ERROR) GTEST_SKIP() << "the group could not be joined here";
    ASSERT_TRUE(opened.IsOK());
    EXPECT_EQ(std::string(stream.GetMulticastIPAddress().GetAscii()), "239.192.1.1");
    EXPECT_EQ(stream.GetLocalPort(), 45123);
    ZuBuffer buffer;
    buffer.Alloc(64 * 48);
    ASSERT_EQ(stream.QueueBuffer(&buffer).GetCode(), ZU_PENDING);
    ASSERT_TRUE(sender.SendImage(64, 48, 9, tarn::net::Endpoint{0xEFC00101, 45123}));
    ZuBuffer *b = nullptr;
    ZuResult op;
    ASSERT_TRUE(stream.RetrieveBuffer(&b, &op, 10000).IsOK());
    EXPECT_TRUE(op.IsOK());
    EXPECT_EQ(b->GetBlockID(), 9u);
}

TEST(StreamGEV, SizesAreSetBeforeOpenAndTheKernelLimitIsHonoured)
{
    ZuStreamGEV stream;
    uint32_t size = 0;
    EXPECT_EQ(stream.GetUserModeSocketRxBufferSize(size).GetCode(), ZU_NOT_CONNECTED);
    uint32_t limit = 0;
    {
        FILE *f = std::fopen("/proc/sys/net/core/rmem_max", "r");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fscanf(f, "%u", &limit), 1);
        std::fclose(f);
    }
    EXPECT_EQ(stream.SetUserModeSocketRxBufferSize(limit + 1).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(stream.SetUserModeRxPacketBufferSize(100000).IsOK());
    std::string ip = tarn::gvcp::formatIPv4(gNextDevice++);
    ASSERT_TRUE(stream.Open(ZuString(ip.c_str())).IsOK());
    EXPECT_TRUE(stream.GetUserModeSocketRxBufferSize(size).IsOK());
    EXPECT_LE(size, 2 * limit);
    EXPECT_GT(size, limit / 2);
    EXPECT_EQ(stream.SetUserModeSocketRxBufferSize(1 << 20).GetCode(), ZU_NETWORK_CONFIG_ERROR);
    EXPECT_EQ(stream.SetUserModeRxPacketBufferSize(20000).GetCode(), ZU_NETWORK_CONFIG_ERROR);
    EXPECT_EQ(stream.GetSpecificLocalPort(), 0);
    EXPECT_NE(stream.GetLocalPort(), 0);
    EXPECT_EQ(std::string(stream.GetDeviceIPAddress().GetAscii()), ip);
    EXPECT_EQ(std::string(stream.GetLocalIPAddress().GetAscii()), "127.0.0.1");
    EXPECT_EQ(stream.GetDataReceiverType(), ZuDataReceiverTypeUserMode);
    EXPECT_EQ(stream.Open(ZuString(ip.c_str())).GetCode(), ZU_GENERIC_ERROR);
    EXPECT_TRUE(stream.FlushPacketQueue().IsOK());
    EXPECT_EQ(stream.SetUserModeDataReceiverThreadPriority(100).GetCode(), ZU_INVALID_PARAMETER);
    stream.Close();
    EXPECT_EQ(stream.GetLocalPort(), 0);
    EXPECT_EQ(stream.GetDataReceiverType(), ZuDataReceiverTypeUnknown);
    EXPECT_EQ(stream.FlushPacketQueue().GetCode(), ZU_NOT_CONNECTED);
}

TEST(StreamGEV, OpenRefusesWhatIsNoAddressAndAGivenPortIsUsed)
{
    ZuStreamGEV stream;
    EXPECT_EQ(stream.Open(ZuString("not an address")).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(stream.Open(ZuString("127.0.0.1"), ZuString("10.0.0.1"), 1042).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(stream.Open(ZuString("127.0.0.1"), 0, 0, ZuString("bad")).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(stream.Open(static_cast<const ZuDeviceInfo *>(nullptr)).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_FALSE(stream.IsOpen());
    ZuResult result;
    EXPECT_EQ(ZuStream::CreateAndOpen(static_cast<const ZuDeviceInfo *>(nullptr), &result), nullptr);
    EXPECT_EQ(result.GetCode(), ZU_INVALID_PARAMETER);

    // A port of the caller's choice, then the same port taken twice.
    tarn::net::UdpSocket probe = tarn::net::UdpSocket::Bind(tarn::net::Endpoint{0x7F000001, 0}, {});
    uint16_t port = probe.Local().port;
    probe = tarn::net::UdpSocket();
    ASSERT_TRUE(stream.Open(ZuString("127.0.0.1"), port, 3).IsOK());
    EXPECT_EQ(stream.GetLocalPort(), port);
    EXPECT_EQ(stream.GetSpecificLocalPort(), port);
    EXPECT_EQ(stream.GetChannel(), 3);
    ZuStreamGEV other;
    EXPECT_EQ(other.Open(ZuString("127.0.0.1"), port).GetCode(), ZU_NETWORK_ERROR);

    // The factory asks the device first: where nothing answers (an address
    // of this process alone), there is no stream.
    const std::string nobody = "127.254." + std::to_string(getpid() % 250) + ".1";
    EXPECT_EQ(ZuStream::CreateAndOpen(ZuString(nobody.c_str()), &result), nullptr);
    EXPECT_EQ(result.GetCode(), ZU_NOT_CONNECTED);
}

TEST(StreamGEV, WaitingForTheLeaderIsTheStreamParameter)
{
    ZuStreamGEV stream;
    EXPECT_FALSE(stream.GetWaitForFirstPacketOfBlockToStart());
    EXPECT_TRUE(stream.SetWaitForFirstPacketOfBlockToStart(true).IsOK());
    bool value = false;
    EXPECT_TRUE(stream.GetParameters()->GetBooleanValue(ZuString("StartStreamOnlyOnPacketIdZero"), value).IsOK());
    EXPECT_TRUE(value);
    EXPECT_TRUE(stream.GetParameters()->SetBooleanValue(ZuString("StartStreamOnlyOnPacketIdZero"), false).IsOK());
    EXPECT_FALSE(stream.GetWaitForFirstPacketOfBlockToStart());
    // Statistics cannot be written; settings keep to their range.
    EXPECT_FALSE(stream.GetParameters()->SetIntegerValue(ZuString("BlockCount"), 5).IsOK());
    EXPECT_FALSE(stream.GetParameters()->SetIntegerValue(ZuString("MaximumResendRequestsPerPacket"), 256).IsOK());
    int64_t v = 0;
    EXPECT_TRUE(stream.GetParameters()->GetIntegerValue(ZuString("PipelineImagesDropped"), v).IsOK());
    EXPECT_EQ(v, 0);
}

} // namespace
