// The pipeline over a loopback stream fed by the test transmitter: buffers
// kept queued from its own thread, the output queue and its drops, too-small
// buffers grown, and Start, Stop, Reset and deletion from anywhere,
// including its own sink calls.
#include "ZuBuffer.h"
#include "ZuGenParameterArray.h"
#include "ZuPipeline.h"
#include "ZuStreamGEV.h"
#include "gvsp_sender.h"

#include "gev/gvcp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <stdexcept>
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
    return 0x7F000000u | ((uint32_t(getpid()) % 0x3F00u + 0x100u) << 8) | 0x81u;
}
std::atomic<uint32_t> gNextDevice{FirstDevice()};

// Ends the test run when a call hangs, instead of hanging CI.
template <class F>
auto Bounded(F aCall, int aSeconds = 20) -> decltype(aCall())
{
    auto f = std::async(std::launch::async, aCall);
    if (f.wait_for(std::chrono::seconds(aSeconds)) != std::future_status::ready) {
        ADD_FAILURE() << "the call did not return";
        std::_Exit(3);
    }
    return f.get();
}

struct Rig {
    explicit Rig(GvspSender::Options aOptions = GvspSender::Options())
    {
        aOptions.deviceIp = gNextDevice++;
        sender.reset(new GvspSender(aOptions));
        std::string ip = tarn::gvcp::formatIPv4(aOptions.deviceIp);
        EXPECT_TRUE(stream.Open(ZuString(ip.c_str())).IsOK());
        to = tarn::net::Endpoint{0x7F000001, stream.GetLocalPort()};
        pipeline.reset(new ZuPipeline(&stream));
    }
    ~Rig() { pipeline.reset(); }

    int64_t Parameter(const char *aName)
    {
        int64_t v = -1;
        stream.GetParameters()->GetIntegerValue(ZuString(aName), v);
        return v;
    }

    std::unique_ptr<GvspSender> sender;
    ZuStreamGEV stream;
    tarn::net::Endpoint to;
    std::unique_ptr<ZuPipeline> pipeline;
};

struct Recorder : ZuPipelineEventSink {
    std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> created{0}, deleted{0}, started{0}, stopped{0}, resets{0}, tooSmall{0}, ready{0};
    std::atomic<int> readyOnCaller{0}, startOffCaller{0}, tooSmallOnCaller{0};
    void OnBufferCreated(ZuPipeline *, ZuBuffer *) override { ++created; }
    void OnBufferDeleted(ZuPipeline *, ZuBuffer *) override { ++deleted; }
    void OnStart(ZuPipeline *) override
    {
        ++started;
        startOffCaller += std::this_thread::get_id() != caller;
    }
    void OnStop(ZuPipeline *) override { ++stopped; }
    void OnReset(ZuPipeline *) override { ++resets; }
    void OnBufferTooSmall(ZuPipeline *, bool *, bool *) override
    {
        ++tooSmall;
        tooSmallOnCaller += std::this_thread::get_id() == caller;
    }
    void OnBufferReady(ZuPipeline *) override
    {
        ++ready;
        readyOnCaller += std::this_thread::get_id() == caller;
    }
};

TEST(Pipeline, FramesComeOutWholeAndTheSinkIsToldOnTheRightThreads)
{
    Recorder sink;   // outlives the pipeline, which tells it of deleted buffers
    Rig r;
    ASSERT_TRUE(r.pipeline->RegisterEventSink(&sink).IsOK());
    EXPECT_EQ(r.pipeline->RegisterEventSink(&sink).GetCode(), ZU_GENERIC_ERROR);
    r.pipeline->SetBufferSize(64 * 48);
    ASSERT_TRUE(r.pipeline->SetBufferCount(6).IsOK());
    ASSERT_TRUE(r.pipeline->Start().IsOK());
    EXPECT_TRUE(r.pipeline->IsStarted());
    EXPECT_EQ(sink.created.load(), 6);
    EXPECT_EQ(sink.started.load(), 1);
    for (uint64_t block = 1; block <= 20; ++block) {
        ASSERT_TRUE(r.sender->SendImage(64, 48, block, r.to));
        ZuBuffer *b = nullptr;
        ZuResult op;
        ASSERT_TRUE(r.pipeline->RetrieveNextBuffer(&b, 10000, &op).IsOK());
        EXPECT_TRUE(op.IsOK());
        EXPECT_EQ(b->GetBlockID(), block);
        std::vector<uint8_t> got(b->GetDataPointer(), b->GetDataPointer() + 64 * 48);
        EXPECT_TRUE(got == FrameBytes(64 * 48, block));
        EXPECT_TRUE(r.pipeline->ReleaseBuffer(b).IsOK());
        EXPECT_EQ(r.pipeline->ReleaseBuffer(b).GetCode(), ZU_INVALID_PARAMETER);
    }
    ASSERT_TRUE(r.pipeline->Stop().IsOK());
    EXPECT_FALSE(r.pipeline->IsStarted());
    EXPECT_EQ(sink.stopped.load(), 1);
    EXPECT_EQ(sink.ready.load(), 20);
    EXPECT_EQ(sink.readyOnCaller.load(), 0);
    EXPECT_EQ(sink.startOffCaller.load(), 0);
    // Stopped, a retrieve answers at once.
    ZuBuffer *none = nullptr;
    EXPECT_EQ(r.pipeline->RetrieveNextBuffer(&none, 0xFFFFFFFF).GetCode(), ZU_NO_MORE_ITEM);
    EXPECT_EQ(r.pipeline->Reset().GetCode(), ZU_STATE_ERROR);
    ZuBuffer foreign;
    EXPECT_EQ(r.pipeline->ReleaseBuffer(&foreign).GetCode(), ZU_INVALID_PARAMETER);
    r.pipeline.reset();
    EXPECT_EQ(sink.deleted.load(), 6);
}

TEST(Pipeline, TooSmallBuffersGrowOnThePipelineThreadAndNeverReachTheApplication)
{
    Recorder sink;   // outlives the pipeline, which tells it of deleted buffers
    Rig r;
    r.pipeline->RegisterEventSink(&sink);
    r.pipeline->SetBufferSize(1000);
    ASSERT_TRUE(r.pipeline->SetBufferCount(4).IsOK());
    ASSERT_TRUE(r.pipeline->Start().IsOK());
    uint64_t block = 1;
    int good = 0;
    for (int frames = 0; frames < 12 && good < 3; ++frames, ++block) {
        ASSERT_TRUE(r.sender->SendImage(100, 100, block, r.to));
        ZuBuffer *b = nullptr;
        ZuResult op;
        ZuResult got = r.pipeline->RetrieveNextBuffer(&b, 300, &op);
        if (!got.IsOK()) continue;
        EXPECT_TRUE(op.IsOK()) << op.GetCode();
        EXPECT_GE(b->GetSize(), 10000u);
        good += op.IsOK();
        r.pipeline->ReleaseBuffer(b);
    }
    EXPECT_EQ(good, 3);
    EXPECT_GE(sink.tooSmall.load(), 1);
    EXPECT_EQ(sink.tooSmallOnCaller.load(), 0);
    r.pipeline->Stop();

    // Not handled, a too-small buffer is handed out like any other, and
    // each grows to what the block needed when it goes back: once every
    // buffer of the pool failed once, frames arrive whole.
    Recorder quiet;
    Rig plain;
    plain.pipeline->RegisterEventSink(&quiet);
    plain.pipeline->SetBufferSize(1000);
    plain.pipeline->SetHandleBufferTooSmall(false);
    EXPECT_FALSE(plain.pipeline->GetHandleBufferTooSmall());
    ASSERT_TRUE(plain.pipeline->SetBufferCount(4).IsOK());
    ASSERT_TRUE(plain.pipeline->Start().IsOK());
    int tooSmall = 0;
    good = 0;
    for (uint64_t frame = 1; frame <= 12 && good < 3; ++frame) {
        ASSERT_TRUE(plain.sender->SendImage(100, 100, frame, plain.to));
        ZuBuffer *b = nullptr;
        ZuResult op;
        ASSERT_TRUE(plain.pipeline->RetrieveNextBuffer(&b, 10000, &op).IsOK()) << frame;
        EXPECT_EQ(b->GetBlockID(), frame);
        if (op.GetCode() == ZU_BUFFER_TOO_SMALL) {
            ++tooSmall;
            EXPECT_EQ(good, 0) << "a buffer failed again after it had grown";
        } else if (op.IsOK()) {
            ++good;
            std::vector<uint8_t> got(b->GetDataPointer(), b->GetDataPointer() + 100 * 100);
            EXPECT_TRUE(got == FrameBytes(100 * 100, frame)) << frame;
        }
        EXPECT_TRUE(plain.pipeline->ReleaseBuffer(b).IsOK());
    }
    EXPECT_EQ(good, 3);
    EXPECT_GE(tooSmall, 1);
    EXPECT_LE(tooSmall, 4);
    EXPECT_EQ(quiet.tooSmall.load(), 0);
    plain.pipeline->Stop();
    plain.pipeline.reset();
}

TEST(Pipeline, ASlowApplicationLosesTheOldestBuffersAndTheyAreCounted)
{
    Recorder sink;   // outlives the pipeline, which tells it of deleted buffers
    Rig r;
    r.pipeline->RegisterEventSink(&sink);
    r.pipeline->SetBufferSize(64 * 48);
    ASSERT_TRUE(r.pipeline->SetBufferCount(4).IsOK());
    ASSERT_TRUE(r.pipeline->Start().IsOK());
    for (int block = 1; block <= 30; ++block) {
        ASSERT_TRUE(r.sender->SendImage(64, 48, uint64_t(block), r.to));
        // Each frame once the pipeline has taken the last from the stream
        // and given the stream two buffers back (the stream's count holds a
        // filled buffer until it is taken): else a loaded machine that holds
        // the pipeline's thread back makes the stream drop the newest frames
        // for want of a buffer, which is not what this test is about.
        for (int k = 0; k < 1000 && (sink.ready < block || r.stream.GetQueuedBufferCount() < 2); ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(r.Parameter("BlocksDropped"), 0);
    EXPECT_LE(r.pipeline->GetOutputQueueSize(), 4u);
    EXPECT_GT(r.Parameter("PipelineImagesDropped"), 0);
    // What is left is the newest, oldest first.
    ZuBuffer *b = nullptr;
    ASSERT_TRUE(r.pipeline->RetrieveNextBuffer(&b, 1000).IsOK());
    uint64_t first = b->GetBlockID();
    EXPECT_GT(first, 20u);
    r.pipeline->ReleaseBuffer(b);
    ASSERT_TRUE(r.pipeline->RetrieveNextBuffer(&b, 1000).IsOK());
    EXPECT_GT(b->GetBlockID(), first);
    r.pipeline->ReleaseBuffer(b);
    Bounded([&] { return r.pipeline->Stop(); });
}

struct Reentrant : ZuPipelineEventSink {
    enum What { StopIt, ResetIt, DeleteIt } what;
    std::unique_ptr<ZuPipeline> *pipeline = nullptr;
    std::promise<ZuResult> result;
    std::atomic<bool> done{false};
    void OnBufferReady(ZuPipeline *aPipeline) override
    {
        if (done.exchange(true)) return;
        ZuResult r;
        if (what == StopIt) r = aPipeline->Stop();
        else if (what == ResetIt) r = aPipeline->Reset();
        else pipeline->reset();
        result.set_value(r);
    }
};

TEST(Pipeline, StopResetAndDeleteFromItsOwnSinkCallDoNotWaitForThemselves)
{
    for (auto what : {Reentrant::StopIt, Reentrant::ResetIt, Reentrant::DeleteIt}) {
        Reentrant sink;
        Rig r;
        sink.what = what;
        sink.pipeline = &r.pipeline;
        r.pipeline->RegisterEventSink(&sink);
        r.pipeline->SetBufferSize(64 * 48);
        ASSERT_TRUE(r.pipeline->Start().IsOK());
        ASSERT_TRUE(r.sender->SendImage(64, 48, 1, r.to));
        auto future = sink.result.get_future();
        ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "what " << what;
        EXPECT_TRUE(future.get().IsOK()) << "what " << what;
        if (what == Reentrant::StopIt) {
            EXPECT_FALSE(r.pipeline->IsStarted());
            // Started again from outside, it runs on.
            ASSERT_TRUE(Bounded([&] { return r.pipeline->Start(); }).IsOK());
            ASSERT_TRUE(r.sender->SendImage(64, 48, 2, r.to));
            ZuBuffer *b = nullptr;
            EXPECT_TRUE(r.pipeline->RetrieveNextBuffer(&b, 10000).IsOK());
        }
        if (what == Reentrant::ResetIt) {
            EXPECT_TRUE(r.pipeline->IsStarted());
        }
        if (what == Reentrant::DeleteIt) {
            EXPECT_EQ(r.pipeline.get(), nullptr);
        }
        if (r.pipeline) Bounded([&] { r.pipeline.reset(); return 0; });
        // The stream is whole after all of it.
        EXPECT_TRUE(r.stream.IsOpen());
    }
}

struct Throwing : ZuPipelineEventSink {
    std::atomic<int> ready{0};
    bool throwOnStart = false;
    void OnStart(ZuPipeline *) override
    {
        if (throwOnStart) throw std::runtime_error("no start");
    }
    void OnBufferReady(ZuPipeline *) override
    {
        ++ready;
        throw std::runtime_error("a sink failed");
    }
};

TEST(Pipeline, ASinkThatThrowsOnThePipelineThreadLeavesItRunningAndStartPassesItOn)
{
    Throwing sink;
    Rig r;
    r.pipeline->RegisterEventSink(&sink);
    r.pipeline->SetBufferSize(64 * 48);
    ASSERT_TRUE(r.pipeline->Start().IsOK());
    for (uint64_t block = 1; block <= 3; ++block) {
        ASSERT_TRUE(r.sender->SendImage(64, 48, block, r.to));
        ZuBuffer *b = nullptr;
        ASSERT_TRUE(r.pipeline->RetrieveNextBuffer(&b, 10000).IsOK());
        EXPECT_EQ(b->GetBlockID(), block);
        r.pipeline->ReleaseBuffer(b);
    }
    // The last call may still be on its way when the buffer is out.
    for (int k = 0; k < 5000 && sink.ready.load() < 3; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(sink.ready.load(), 3);
    ASSERT_TRUE(r.pipeline->Stop().IsOK());
    sink.throwOnStart = true;
    EXPECT_THROW(r.pipeline->Start(), std::runtime_error);
    EXPECT_FALSE(r.pipeline->IsStarted());
}

TEST(Pipeline, ResetFromAnotherThreadRequeuesAFreshSet)
{
    Recorder sink;   // outlives the pipeline, which tells it of deleted buffers
    Rig r;
    r.pipeline->RegisterEventSink(&sink);
    r.pipeline->SetBufferSize(64 * 48);
    ASSERT_TRUE(r.pipeline->SetBufferCount(5).IsOK());
    ASSERT_TRUE(r.pipeline->Start().IsOK());
    ASSERT_TRUE(Bounded([&] { return r.pipeline->Reset(); }).IsOK());
    EXPECT_EQ(sink.resets.load(), 1);
    for (int k = 0; k < 2000 && r.stream.GetQueuedBufferCount() < 5; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(r.stream.GetQueuedBufferCount(), 5u);
    ASSERT_TRUE(r.sender->SendImage(64, 48, 1, r.to));
    ZuBuffer *b = nullptr;
    ASSERT_TRUE(r.pipeline->RetrieveNextBuffer(&b, 10000).IsOK());
    r.pipeline->ReleaseBuffer(b);
    // Fewer buffers while running: the pool shrinks, the pipeline goes on.
    ASSERT_TRUE(Bounded([&] { return r.pipeline->SetBufferCount(4); }).IsOK());
    EXPECT_EQ(sink.deleted.load(), 1);
    ASSERT_TRUE(r.sender->SendImage(64, 48, 2, r.to));
    ASSERT_TRUE(r.pipeline->RetrieveNextBuffer(&b, 10000).IsOK());
    EXPECT_EQ(b->GetBlockID(), 2u);
    // Fewer than the application holds: those stay its own until released.
    ZuBuffer *c = nullptr;
    ASSERT_TRUE(r.sender->SendImage(64, 48, 3, r.to));
    ASSERT_TRUE(r.pipeline->RetrieveNextBuffer(&c, 10000).IsOK());
    ASSERT_TRUE(Bounded([&] { return r.pipeline->SetBufferCount(1); }).IsOK());
    EXPECT_TRUE(std::vector<uint8_t>(b->GetDataPointer(), b->GetDataPointer() + 64 * 48) == FrameBytes(64 * 48, 2));
    EXPECT_TRUE(std::vector<uint8_t>(c->GetDataPointer(), c->GetDataPointer() + 64 * 48) == FrameBytes(64 * 48, 3));
    EXPECT_TRUE(r.pipeline->ReleaseBuffer(b).IsOK());
    EXPECT_TRUE(r.pipeline->ReleaseBuffer(c).IsOK());
    EXPECT_EQ(r.pipeline->SetBufferCount(0).GetCode(), ZU_INVALID_PARAMETER);
}

TEST(Pipeline, WithoutAnOpenStreamNothingStartsOrWaits)
{
    ZuPipeline none(nullptr);
    EXPECT_EQ(none.Start().GetCode(), ZU_NOT_CONNECTED);
    ZuBuffer *b = nullptr;
    EXPECT_EQ(none.RetrieveNextBuffer(&b, 0xFFFFFFFF).GetCode(), ZU_NOT_CONNECTED);
    EXPECT_EQ(none.RetrieveNextBuffer(nullptr, 0).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(none.SetBufferHandlingThreadPriority(100).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_TRUE(none.Stop().IsOK());
    ZuStreamGEV closed;
    ZuPipeline idle(&closed);
    EXPECT_EQ(idle.Start().GetCode(), ZU_NOT_CONNECTED);
}

} // namespace

// Forged leaders announcing large images, one every other block: each
// fails its own block, and however many come only one buffer at a time
// grows on a leader's word (it used to be every buffer of the pool).
TEST(Pipeline, LeadersAloneGrowOneBufferAtATime)
{
    struct Pool : ZuPipelineEventSink {
        std::vector<ZuBuffer *> buffers;
        void OnBufferCreated(ZuPipeline *, ZuBuffer *aBuffer) override { buffers.push_back(aBuffer); }
        int Large() const
        {
            int n = 0;
            for (ZuBuffer *b : buffers) n += b->GetSize() > (1u << 20);
            return n;
        }
    } pool;   // outlives the pipeline
    Rig r;
    r.pipeline->RegisterEventSink(&pool);
    r.pipeline->SetBufferSize(64 * 48);
    ASSERT_TRUE(r.pipeline->SetBufferCount(6).IsOK());
    ASSERT_TRUE(r.pipeline->Start().IsOK());
    const uint32_t device = gNextDevice - 1;
    tarn::net::UdpSocket forger = tarn::net::UdpSocket::Bind({device, 0}, tarn::net::SocketOptions());
    ASSERT_TRUE(forger.Valid());
    int most = 0, whole = 0;
    for (uint64_t block = 1; block <= 24; ++block) {
        if (block % 2 == 0) {
            // 32 MiB of Mono8, and nothing after it.
            tarn::gvsp::Leader l;
            l.payloadType = tarn::gvsp::PAYLOAD_IMAGE;
            l.image.pixelFormat = 0x01080001;
            l.image.sizeX = 4096;
            l.image.sizeY = 8192;
            tarn::gvsp::Header h;
            h.blockId = block;
            std::vector<uint8_t> d(2048);
            d.resize(tarn::gvsp::encodeLeader(h, l, nullptr, d.data(), d.size()));
            ASSERT_TRUE(forger.SendTo(d.data(), d.size(), r.to));
            continue;
        }
        ASSERT_TRUE(r.sender->SendImage(64, 48, block, r.to));
        // A forged block that found a buffer large enough ends failed.
        for (uint64_t got = 0; got != block;) {
            ZuBuffer *b = nullptr;
            ZuResult op;
            ASSERT_TRUE(Bounded([&] { return r.pipeline->RetrieveNextBuffer(&b, 10000, &op); }).IsOK()) << block;
            got = b->GetBlockID();
            EXPECT_TRUE(got == block || (got % 2 == 0 && !op.IsOK())) << got;
            whole += got == block && op.IsOK();
            ASSERT_TRUE(r.pipeline->ReleaseBuffer(b).IsOK());
            most = std::max(most, pool.Large());
        }
    }
    EXPECT_EQ(whole, 12);
    EXPECT_EQ(most, 1);
    r.pipeline->Stop();
    r.pipeline.reset();
}
