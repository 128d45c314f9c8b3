// The one GVCP exchange of the host side, against devices a test scripts:
// which answers count, how broadcasts from several adapters collect, when
// PENDING_ACK is heeded, and the request ids every requester draws.
#include "gvcpclient/exchange.h"
#include "peer.h"

#include <cstdlib>
#include <set>

using namespace tarn::gvcp;
using tarn::gvcpclient::Counters;
using tarn::gvcpclient::Exchange;
using tarn::test::FakePeer;
using tarn::test::Impostor;
using Outcome = Exchange::Outcome;

namespace {

#define NEEDS_NETNS() \
    if (!std::getenv("TARN_IN_NETNS")) GTEST_SKIP() << "opens sockets: run under tools/netns (make test)"

uint32_t Ip(const char *aText)
{
    uint32_t ip = 0;
    parseIPv4(aText, ip);
    return ip;
}

Exchange::Request ReadRegister(Exchange &aExchange, std::chrono::milliseconds aWait, uint32_t aRetries = 0)
{
    Exchange::Request request;
    request.id = aExchange.NextId();
    request.packet = ReadRegCmd{{0x938}}.Encode(request.id);
    request.answer = READREG_ACK;
    request.wait = aWait;
    request.retries = aRetries;
    return request;
}

// The value of the first READREG answer taken, 0 for none.
struct Taken {
    uint32_t value = 0;
    size_t route = 0;
    size_t count = 0;
    Exchange::Take Take(bool aEnough = true)
    {
        return [this, aEnough](const Exchange::Answer &aAnswer) {
            auto values = ReadRegAck::Decode(aAnswer.ack);
            if (!count++ && values && values->values.size() == 1) {
                value = values->values[0];
                route = aAnswer.route;
            }
            return aEnough;
        };
    }
};

} // namespace

TEST(RequestIds, EachIsTheOneAfterTheLastAndNeverZero)
{
    for (uint32_t first : {0u, 1u, 0x7FFFu, 0xFFFEu, 0xFFFFu}) {
        RequestIds ids{uint16_t(first)};
        uint16_t last = ids.Next();
        EXPECT_NE(last, 0) << first;
        for (int k = 0; k < 70000; ++k) {
            const uint16_t id = ids.Next();
            ASSERT_NE(id, 0) << first << " after " << k;
            ASSERT_EQ(id, last == 0xFFFF ? 1 : last + 1) << first << " after " << k;
            last = id;
        }
    }
    // Drawn from two threads at once, no id is given twice within a round.
    RequestIds shared;
    std::vector<uint16_t> a, b;
    std::thread other([&] {
        for (int k = 0; k < 30000; ++k) b.push_back(shared.Next());
    });
    for (int k = 0; k < 30000; ++k) a.push_back(shared.Next());
    other.join();
    std::set<uint16_t> all(a.begin(), a.end());
    all.insert(b.begin(), b.end());
    EXPECT_EQ(all.size(), a.size() + b.size());
    EXPECT_EQ(all.count(0), 0u);
}

TEST(Exchange, AnAnswerCountsOnlyWithTheIdTheAnswerCommandAndTheSourceAsked)
{
    NEEDS_NETNS();
    // Before the device's own answer (7), or instead of it, come answers
    // that must not count; a broadcast takes an answer from anyone.
    const uint32_t elsewhereIp = Ip("127.0.5.2");
    struct Case {
        const char *what;
        bool broadcast;
        std::function<std::vector<Bytes>(const Command &)> answers;
        // What the device's neighbour sends first: from elsewhere on the
        // device's port, or from the device's address on another port.
        bool neighbourElsewhere, neighbourOtherPort;
        Outcome outcome;
        uint32_t value;
    } cases[] = {
        {"the answer", false, [](const Command &c) { return std::vector<Bytes>{ReadRegAck{{7}}.Encode(c.header.reqId)}; }, false, false, Outcome::Answered, 7},
        {"another id", false, [](const Command &c) { return std::vector<Bytes>{ReadRegAck{{7}}.Encode(uint16_t(c.header.reqId + 1))}; }, false, false, Outcome::TimedOut, 0},
        {"another command", false, [](const Command &c) { return std::vector<Bytes>{WriteAck{1}.Encode(WRITEREG_ACK, c.header.reqId)}; }, false, false, Outcome::TimedOut, 0},
        {"truncated", false, [](const Command &c) { Bytes b = ReadRegAck{{7}}.Encode(c.header.reqId); b.resize(7); return std::vector<Bytes>{b}; }, false, false, Outcome::TimedOut, 0},
        {"not asked, then the answer", false, [](const Command &c) { return std::vector<Bytes>{ReadRegAck{{7}}.Encode(c.header.reqId)}; }, true, true, Outcome::Answered, 7},
        {"broadcast, anyone", true, [](const Command &) { return std::vector<Bytes>{}; }, true, false, Outcome::Answered, 666},
    };
    for (const Case &k : cases) {
        tarn::net::UdpSocket elsewhere = Impostor(elsewhereIp, kPort);
        tarn::net::UdpSocket otherPort;
        FakePeer *self = nullptr;
        FakePeer peer("127.0.5.1", [&](const Command &c) {
            Bytes forged = ReadRegAck{{666}}.Encode(c.header.reqId);
            if (k.neighbourElsewhere) elsewhere.SendTo(forged.data(), forged.size(), self->From());
            if (k.neighbourOtherPort) otherPort.SendTo(forged.data(), forged.size(), self->From());
            return k.answers(c);
        });
        self = &peer;
        otherPort = Impostor(peer.Ip());
        peer.DelayLast(50);
        Exchange exchange;
        ASSERT_TRUE(exchange.Add({{Ip("127.0.0.1"), 0}, {{peer.Ip(), kPort}}, k.broadcast}));
        // Only the cases that must time out wait in vain.
        const auto wait = std::chrono::milliseconds(k.outcome == Outcome::Answered ? 10000 : 200);
        Taken taken;
        EXPECT_EQ(exchange.Ask(ReadRegister(exchange, wait), taken.Take()), k.outcome) << k.what;
        EXPECT_EQ(taken.value, k.value) << k.what;
    }
}

TEST(Exchange, ABroadcastFromSeveralAdaptersHearsEachUntilTheTakerHasEnough)
{
    NEEDS_NETNS();
    auto answer = [](uint32_t aValue) {
        return [aValue](const Command &c) { return std::vector<Bytes>{ReadRegAck{{aValue}}.Encode(c.header.reqId)}; };
    };
    FakePeer first("127.0.5.11", answer(11));
    FakePeer second("127.0.5.12", answer(12));
    for (bool enough : {false, true}) {
        Exchange exchange;
        // A route that cannot be made is left out; the others still ask.
        EXPECT_FALSE(exchange.Add({{Ip("192.0.2.1"), 0}, {{first.Ip(), kPort}}, true}));
        ASSERT_TRUE(exchange.Add({{Ip("127.0.5.21"), 0}, {{first.Ip(), kPort}}, true}));
        ASSERT_TRUE(exchange.Add({{Ip("127.0.5.22"), 0}, {{second.Ip(), kPort}}, true}));
        std::set<std::pair<size_t, uint32_t>> heard;
        const auto started = tarn::gvcpclient::Clock::now();
        const auto wait = std::chrono::milliseconds(enough ? 20000 : 2000);
        const auto outcome = exchange.Ask(ReadRegister(exchange, wait), [&](const Exchange::Answer &aAnswer) {
            heard.insert({aAnswer.route, ReadRegAck::Decode(aAnswer.ack)->values.at(0)});
            return enough;
        });
        if (enough) {
            // The first answer ends it, long before the wait.
            EXPECT_EQ(outcome, Outcome::Answered);
            EXPECT_EQ(heard.size(), 1u);
            EXPECT_LT(tarn::gvcpclient::Clock::now() - started, std::chrono::seconds(10));
        } else {
            // Every answer, each with the route that heard it.
            EXPECT_EQ(outcome, Outcome::TimedOut);
            EXPECT_EQ(heard, (std::set<std::pair<size_t, uint32_t>>{{0, 11}, {1, 12}}));
        }
    }
    // Without a route nothing leaves.
    Exchange none;
    Taken taken;
    EXPECT_EQ(none.Ask(ReadRegister(none, std::chrono::milliseconds(10)), taken.Take()), Outcome::NotSent);
}

TEST(Exchange, PendingAckIsHeededOnlyWhereTheRequesterAllowsIt)
{
    NEEDS_NETNS();
    // The answer comes 400 ms after PENDING, four answer time-outs later.
    FakePeer peer("127.0.5.31", [](const Command &c) {
        return std::vector<Bytes>{PendingAck{3000}.Encode(c.header.reqId), ReadRegAck{{5}}.Encode(c.header.reqId)};
    });
    peer.DelayLast(400);
    for (bool heeded : {true, false}) {
        Exchange exchange;
        ASSERT_TRUE(exchange.Add({{Ip("127.0.0.1"), 0}, {{peer.Ip(), kPort}}}));
        Exchange::Request request = ReadRegister(exchange, std::chrono::milliseconds(100));
        if (heeded) request.pendingLimit = tarn::gvcpclient::Clock::now() + std::chrono::seconds(60);
        Counters counters;
        Taken taken;
        const auto before = exchange.LastAnswer();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(exchange.Ask(request, taken.Take(), &counters), heeded ? Outcome::Answered : Outcome::TimedOut);
        EXPECT_EQ(taken.value, heeded ? 5u : 0u);
        EXPECT_EQ(counters.pendingAcks, heeded ? 1u : 0u);
        EXPECT_EQ(counters.commands, 1u);
        EXPECT_EQ(counters.timeouts, heeded ? 0u : 1u);
        // PENDING with the request's id is an answer from the device.
        EXPECT_GT(exchange.LastAnswer(), before);
    }
}
