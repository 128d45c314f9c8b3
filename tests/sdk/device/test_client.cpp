// The control channel against a device that answers as a test scripts it:
// lost answers, late answers, PENDING, and answers that are wrong.
#include "GvcpClient.h"
#include "fixture.h"
#include "peer.h"

#include <atomic>
#include <future>
#include <optional>
#include <map>

using namespace tarn::gvcp;
using tarn::device::ClientSettings;
using tarn::device::GvcpClient;
using tarn::test::FakePeer;
using tarn::test::Impostor;

namespace {

// Settings under which a lost answer costs little: for tests that lose some.
std::shared_ptr<ClientSettings> Quick(uint32_t aRetries = 2, uint32_t aAnswerTimeoutMs = 100)
{
    auto s = std::make_shared<ClientSettings>();
    s->answerTimeoutMs = aAnswerTimeoutMs;
    s->retries = aRetries;
    return s;
}

// Settings for answers that must come: a wait no loaded machine outlasts,
// so that a late answer never turns into a resend or a time-out.
std::shared_ptr<ClientSettings> Patient(uint32_t aRetries = 2)
{
    return Quick(aRetries, 10000);
}

Bytes RegisterAnswer(const Command &aCmd, uint32_t aValue)
{
    return ReadRegAck{{aValue}}.Encode(aCmd.header.reqId);
}

} // namespace

TEST(GvcpClient, ResendsWithTheSameRequestIdUntilAnswered)
{
    NEEDS_NETNS();
    int seen = 0;
    FakePeer peer("127.0.0.71", [&](const Command &c) -> std::vector<Bytes> {
        if (++seen < 3) return {};  // the first two are lost
        return {RegisterAnswer(c, 0xFFFFFFFF)};
    });
    auto settings = Quick(2, 300);
    GvcpClient client(settings);
    ASSERT_TRUE(client.Open(peer.Ip()).IsOK());
    uint32_t v = 0;
    ZuResult r = client.ReadRegister(0x938, v);
    ASSERT_TRUE(r.IsOK()) << r.GetDescription().Narrow();
    EXPECT_EQ(v, 0xFFFFFFFFu);
    auto cmds = peer.Commands();
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[1].header.reqId, cmds[0].header.reqId);
    EXPECT_EQ(cmds[2].header.reqId, cmds[0].header.reqId);
    EXPECT_NE(cmds[0].header.reqId, 0);
    EXPECT_EQ(settings->resent, 2u);

    // One more loss than retries: a time-out, and the next request has a new id.
    seen = -10;
    EXPECT_EQ(client.ReadRegister(0x938, v).GetCode(), uint32_t(ZU_TIMEOUT));
    EXPECT_EQ(settings->timeouts, 1u);
    seen = 10;
    ASSERT_TRUE(client.ReadRegister(0x938, v).IsOK());
    cmds = peer.Commands();
    EXPECT_NE(cmds.back().header.reqId, cmds[0].header.reqId);
}

TEST(GvcpClient, PendingWaitsForTheAnnouncedTimeInsteadOfResending)
{
    NEEDS_NETNS();
    // The real answer comes 400 ms after PENDING, four answer time-outs later
    // (and well before the announced time ends, however loaded the machine).
    FakePeer peer("127.0.0.72", [&](const Command &c) -> std::vector<Bytes> {
        return {PendingAck{3000}.Encode(c.header.reqId), WriteAck{1}.Encode(WRITEREG_ACK, c.header.reqId)};
    });
    peer.DelayLast(400);
    auto settings = Quick(0);
    GvcpClient client(settings);
    ASSERT_TRUE(client.Open(peer.Ip()).IsOK());
    ZuResult r = client.WriteRegister(0x10000, 5);
    EXPECT_TRUE(r.IsOK()) << r.GetDescription().Narrow();
    EXPECT_EQ(peer.Commands().size(), 1u);
    EXPECT_EQ(settings->pendingAcks, 1u);
}

TEST(GvcpClient, WrongOrDamagedAnswersAreNeverTakenForTheAnswer)
{
    NEEDS_NETNS();
    // Answers to another request id, of another kind, truncated, or with
    // the wrong number of values: each is dropped; a good one still counts.
    struct Case {
        const char *what;
        std::function<std::vector<Bytes>(const Command &)> answers;
        uint32_t code;
    } cases[] = {
        {"other id then good", [](const Command &c) { return std::vector<Bytes>{RegisterAnswer(Command{{0, 0, 0, uint16_t(c.header.reqId + 1)}, {}}, 1), RegisterAnswer(c, 7)}; }, ZU_OK},
        {"other kind", [](const Command &c) { return std::vector<Bytes>{WriteAck{1}.Encode(WRITEREG_ACK, c.header.reqId)}; }, ZU_TIMEOUT},
        {"truncated", [](const Command &c) { Bytes b = RegisterAnswer(c, 7); b.resize(b.size() - 1); return std::vector<Bytes>{b}; }, ZU_TIMEOUT},
        {"header only", [](const Command &c) { Bytes b = RegisterAnswer(c, 7); b.resize(6); return std::vector<Bytes>{b}; }, ZU_TIMEOUT},
        {"two values for one", [](const Command &c) { return std::vector<Bytes>{ReadRegAck{{1, 2}}.Encode(c.header.reqId)}; }, ZU_CORRUPTED_DATA},
        {"no value", [](const Command &c) { return std::vector<Bytes>{ReadRegAck{{}}.Encode(c.header.reqId)}; }, ZU_CORRUPTED_DATA},
        {"refused", [](const Command &c) { return std::vector<Bytes>{ReadRegAck{{}}.Encode(c.header.reqId, STATUS_ACCESS_DENIED)}; }, ZU_GENERIC_ERROR},
        {"bad address", [](const Command &c) { return std::vector<Bytes>{ReadRegAck{{}}.Encode(c.header.reqId, STATUS_INVALID_ADDRESS)}; }, ZU_INVALID_PARAMETER},
    };
    for (const Case &k : cases) {
        FakePeer scripted("127.0.0.74", k.answers);
        // Only the cases that must time out wait for nothing in vain.
        GvcpClient c(k.code == ZU_TIMEOUT ? Quick(0) : Patient(0));
        ASSERT_TRUE(c.Open(scripted.Ip()).IsOK());
        uint32_t v = 0;
        ZuResult r = c.ReadRegister(0x0, v);
        EXPECT_EQ(r.GetCode(), k.code) << k.what << ": " << r.GetDescription().Narrow();
        if (k.code == ZU_OK) {
            EXPECT_EQ(v, 7u) << k.what;
        }
    }
}

TEST(GvcpClient, MemoryRequestsAreSplitToWhatAPacketCarries)
{
    NEEDS_NETNS();
    std::map<uint32_t, uint8_t> memory;
    bool writeMem = true;
    FakePeer peer("127.0.0.75", [&](const Command &c) -> std::vector<Bytes> {
        if (auto rm = ReadMemCmd::Decode(c)) {
            ReadMemAck a;
            a.address = rm->address;
            for (uint32_t k = 0; k < rm->count; ++k) a.data.push_back(uint8_t(rm->address + k));
            return {a.Encode(c.header.reqId)};
        }
        if (auto wm = WriteMemCmd::Decode(c)) {
            if (!writeMem) return {WriteAck{0}.Encode(WRITEMEM_ACK, c.header.reqId, STATUS_NOT_IMPLEMENTED)};
            for (size_t k = 0; k < wm->data.size(); ++k) memory[wm->address + uint32_t(k)] = wm->data[k];
            return {WriteAck{uint16_t(wm->data.size())}.Encode(WRITEMEM_ACK, c.header.reqId)};
        }
        if (auto wr = WriteRegCmd::Decode(c)) {
            for (auto &w : wr->writes)
                for (int k = 0; k < 4; ++k) memory[w.first + uint32_t(k)] = uint8_t(w.second >> (24 - 8 * k));
            return {WriteAck{uint16_t(wr->writes.size())}.Encode(WRITEREG_ACK, c.header.reqId)};
        }
        return {};
    });
    GvcpClient client(Patient());
    ASSERT_TRUE(client.Open(peer.Ip()).IsOK());
    std::vector<uint8_t> data(1200);
    ASSERT_TRUE(client.ReadMemory(0x1000, data.data(), data.size()).IsOK());
    for (size_t k = 0; k < data.size(); ++k) ASSERT_EQ(data[k], uint8_t(0x1000 + k)) << k;
    auto cmds = peer.Commands();
    ASSERT_EQ(cmds.size(), 3u);  // 536 + 536 + 128
    EXPECT_EQ(ReadMemCmd::Decode(cmds[2])->address, 0x1000u + 1072);
    EXPECT_EQ(ReadMemCmd::Decode(cmds[2])->count, 128);

    std::vector<uint8_t> out(600);
    for (size_t k = 0; k < out.size(); ++k) out[k] = uint8_t(k * 7);
    ASSERT_TRUE(client.WriteMemory(0x2000, out.data(), out.size()).IsOK());
    EXPECT_EQ(peer.Commands().size(), 5u);
    // Without WRITEMEM the same bytes go as registers, 67 to a packet.
    client.SetWriteMemSupported(false);
    memory.clear();
    ASSERT_TRUE(client.WriteMemory(0x3000, out.data(), out.size()).IsOK());
    EXPECT_EQ(peer.Commands().size(), 8u);  // 150 registers: 67 + 67 + 16
    for (size_t k = 0; k < out.size(); ++k) ASSERT_EQ(memory[0x3000 + uint32_t(k)], out[k]) << k;

    // What no packet may ask for is refused before anything is sent.
    EXPECT_EQ(client.ReadMemory(0x1002, data.data(), 4).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(client.ReadMemory(0x1000, data.data(), 6).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(client.ReadMemory(0x1000, data.data(), 0).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(client.ReadMemory(0xFFFFFFFC, data.data(), 8).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(client.ReadMemory(uint64_t(1) << 32, data.data(), 4).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(peer.Commands().size(), 8u);
}

TEST(GvcpClient, MemoryAnswersForOtherMemoryOrRefusalsFailTheCall)
{
    NEEDS_NETNS();
    std::atomic<bool> shifted{false};
    FakePeer peer("127.0.3.14", [&](const Command &c) -> std::vector<Bytes> {
        if (auto rm = ReadMemCmd::Decode(c)) {
            // A device answers only whole registers.
            if (rm->count % 4) return {ReadMemAck{}.Encode(c.header.reqId, STATUS_BAD_ALIGNMENT)};
            ReadMemAck a;
            a.address = rm->address + (shifted ? 4 : 0);
            a.data.assign(rm->count, 1);
            return {a.Encode(c.header.reqId)};
        }
        if (WriteMemCmd::Decode(c)) return {WriteAck{0}.Encode(WRITEMEM_ACK, c.header.reqId, STATUS_WRITE_PROTECT)};
        return {};
    });
    auto settings = Patient();
    GvcpClient client(settings);
    ASSERT_TRUE(client.Open(peer.Ip()).IsOK());
    std::vector<uint8_t> data(1000);
    // A packet size off the 4-byte grid still asks for whole registers.
    settings->readMemPacketSize = 530;
    ASSERT_TRUE(client.ReadMemory(0x1000, data.data(), data.size()).IsOK());
    EXPECT_EQ(ReadMemCmd::Decode(peer.Commands()[0])->count, 528);
    shifted = true;
    EXPECT_EQ(client.ReadMemory(0x1000, data.data(), 8).GetCode(), uint32_t(ZU_CORRUPTED_DATA));
    EXPECT_FALSE(client.WriteMemory(0x2000, data.data(), 8).IsOK());
}

TEST(GvcpClient, WriteWithoutAcknowledgeAsksForNone)
{
    NEEDS_NETNS();
    FakePeer peer("127.0.0.77", [](const Command &) { return std::vector<Bytes>{}; });
    GvcpClient client(Quick());
    ASSERT_TRUE(client.Open(peer.Ip()).IsOK());
    ASSERT_TRUE(client.WriteRegister(0x10000, 1, false).IsOK());
    for (int k = 0; k < 1000 && peer.Commands().empty(); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto cmds = peer.Commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_FALSE(cmds[0].header.flags & FLAG_ACK_REQUIRED);
    EXPECT_EQ(WriteRegCmd::Decode(cmds[0])->writes[0].second, 1u);
}

TEST(GvcpClient, OnlyTheDevicesAddressAndPortAnswerForIt)
{
    NEEDS_NETNS();
    // Before the device's own answer, one with the right id arrives from
    // another address and one from the device's address but another port.
    uint32_t near = 0;
    parseIPv4("127.0.3.11", near);
    tarn::net::UdpSocket elsewhere = Impostor(near, kPort);
    tarn::net::UdpSocket otherPort;
    FakePeer *self = nullptr;
    FakePeer peer("127.0.3.10", [&](const Command &c) {
        for (const tarn::net::UdpSocket *s : {&elsewhere, &otherPort}) {
            Bytes forged = RegisterAnswer(c, 666);
            s->SendTo(forged.data(), forged.size(), self->From());
        }
        return std::vector<Bytes>{RegisterAnswer(c, 7)};
    });
    self = &peer;
    otherPort = Impostor(peer.Ip());
    peer.DelayLast(50);
    GvcpClient client(Patient(0));
    ASSERT_TRUE(client.Open(peer.Ip()).IsOK());
    for (int k = 0; k < 3; ++k) {
        uint32_t v = 0;
        ASSERT_TRUE(client.ReadRegister(0x938, v).IsOK());
        EXPECT_EQ(v, 7u);
    }
}

TEST(GvcpClient, ADeviceThatKeepsAskingForTimeIsGivenNoMoreThanTheCommandTimeout)
{
    NEEDS_NETNS();
    // Every 40 ms the device says it needs half a second more, and never
    // answers (half a second, so that a nag kept late on a loaded machine
    // still comes before the client's wait ends).
    std::mutex lock;
    std::optional<std::pair<tarn::net::Endpoint, uint16_t>> asked;
    FakePeer *self = nullptr;
    FakePeer peer("127.0.3.12", [&](const Command &c) {
        std::lock_guard<std::mutex> held(lock);
        asked = std::make_pair(self->From(), c.header.reqId);
        return std::vector<Bytes>{};
    });
    self = &peer;
    std::atomic<bool> quiet{false};
    std::thread nag([&] {
        while (!quiet) {
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            std::lock_guard<std::mutex> held(lock);
            if (!asked) continue;
            peer.Send(PendingAck{500}.Encode(asked->second), asked->first);
        }
    });
    auto settings = Quick(1);
    settings->commandTimeoutMs = 1000;
    GvcpClient client(settings);
    ASSERT_TRUE(client.Open(peer.Ip()).IsOK());
    const auto started = std::chrono::steady_clock::now();
    auto reading = std::async(std::launch::async, [&] {
        uint32_t v = 0;
        return client.ReadRegister(0x938, v);
    });
    const bool ended = reading.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (!ended) client.Close();
    ZuResult r = reading.get();
    quiet = true;
    nag.join();
    ASSERT_TRUE(ended) << "the request waited on";
    EXPECT_EQ(r.GetCode(), uint32_t(ZU_TIMEOUT));
    EXPECT_EQ(r.GetDescription().Narrow(), "the device kept asking for more time than CommandTimeout allows");
    // Each request for time was honoured until the command time-out, well
    // past the tries' own 200 ms, and not much longer.
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_GE(settings->pendingAcks, 5u);
    EXPECT_EQ(settings->timeouts, 1u);

    // A time-out shorter than the tries leaves every try its full wait.
    settings->commandTimeoutMs = 1;
    settings->answerTimeoutMs = 50;
    settings->retries = 2;
    uint32_t v = 0;
    const size_t before = peer.Commands().size();
    EXPECT_EQ(client.ReadRegister(0x938, v).GetCode(), uint32_t(ZU_TIMEOUT));
    // The peer's thread may not have read the last try yet.
    for (int k = 0; k < 200 && peer.Commands().size() - before < 3; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(peer.Commands().size() - before, 3u);
}

TEST(GvcpClient, ACloseOrAnInterruptEndsAWaitAtOnce)
{
    NEEDS_NETNS();
    std::atomic<bool> answer{false};
    FakePeer peer("127.0.0.76", [&](const Command &c) {
        return answer ? std::vector<Bytes>{RegisterAnswer(c, 5)} : std::vector<Bytes>{};
    });
    auto settings = std::make_shared<ClientSettings>();
    settings->answerTimeoutMs = 10000;
    settings->retries = 0;
    for (bool close : {true, false}) {
        GvcpClient client(settings);
        ASSERT_TRUE(client.Open(peer.Ip()).IsOK());
        const size_t before = peer.Commands().size();
        std::thread ender([&] {
            while (peer.Commands().size() == before) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (close) client.Close();
            else client.Interrupt();
        });
        uint32_t v = 0;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.ReadRegister(0, v).GetCode(), uint32_t(ZU_NOT_CONNECTED));
        // Long before the answer's time-out: the wait was ended, not run out.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        ender.join();
        if (close) continue;
        // Interrupted, later requests fail without being sent until resumed;
        // then the channel works as before, also after an interrupt that no
        // request took.
        EXPECT_EQ(client.ReadRegister(0, v).GetCode(), uint32_t(ZU_NOT_CONNECTED));
        EXPECT_EQ(peer.Commands().size(), before + 1);
        answer = true;
        client.Resume();
        ASSERT_TRUE(client.ReadRegister(0, v).IsOK());
        EXPECT_EQ(v, 5u);
        client.Interrupt();
        client.Resume();
        ASSERT_TRUE(client.ReadRegister(0, v).IsOK());
    }
}
