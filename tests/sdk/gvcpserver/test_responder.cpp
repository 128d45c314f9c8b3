#include "gvcpserver/udp_responder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>

using namespace tarn::gvcp;

namespace {

Responder MakeResponder()
{
    DeviceIdentity id;
    id.mac = {2, 0, 0, 0, 0, 9};
    id.manufacturerName = "tarn";
    id.modelName = "Unit";
    id.serialNumber = "S9";
    id.ip = 0x7F000009;
    return Responder(id);
}

std::optional<Ack> Ask(const Responder &r, const Bytes &cmd)
{
    auto reply = r.answer(cmd.data(), cmd.size());
    if (!reply) return std::nullopt;
    return decodeAck(reply->data(), reply->size());
}

} // namespace

TEST(GvcpResponder, AnswersDiscoveryWithItsIdentity)
{
    Responder r = MakeResponder();
    auto reply = r.answer(encodeDiscoveryCmd(41).data(), 8);
    ASSERT_TRUE(reply);
    uint16_t ackId = 0;
    auto id = decodeDiscoveryAck(reply->data(), reply->size(), &ackId);
    ASSERT_TRUE(id);
    EXPECT_EQ(ackId, 41);
    EXPECT_EQ(id->modelName, "Unit");
    EXPECT_EQ(id->ip, 0x7F000009u);
}

TEST(GvcpResponder, ReadsBootstrapRegistersAndMemory)
{
    Responder r = MakeResponder();
    auto regs = Ask(r, ReadRegCmd{{reg::Version, reg::MacLow, reg::NumberOfNetworkInterfaces}}.encode(1));
    ASSERT_TRUE(regs);
    EXPECT_EQ(regs->header.status, STATUS_SUCCESS);
    EXPECT_EQ(ReadRegAck::decode(*regs)->values, (std::vector<uint32_t>{0x00020000, 0x00000009, 1}));

    auto mem = Ask(r, ReadMemCmd{reg::ModelName, 32}.encode(2));
    ASSERT_TRUE(mem);
    auto data = ReadMemAck::decode(*mem);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->address, reg::ModelName);
    EXPECT_EQ(std::string(data->data.begin(), data->data.begin() + 4), "Unit");
    EXPECT_EQ(data->data.size(), 32u);
}

TEST(GvcpResponder, RefusesBadReadsWithStatus)
{
    Responder r = MakeResponder();
    struct Case {
        Bytes cmd;
        uint16_t status;
    } cases[] = {
        {ReadRegCmd{{0x2}}.encode(1), STATUS_BAD_ALIGNMENT},
        {ReadRegCmd{{0x0, 0xFFFFFFFC}}.encode(1), STATUS_INVALID_ADDRESS},
        {ReadMemCmd{0x2, 4}.encode(1), STATUS_BAD_ALIGNMENT},
        {ReadMemCmd{Bootstrap::kSize - 4, 8}.encode(1), STATUS_INVALID_ADDRESS},
        {ReadMemCmd{0xFFFFFFFC, 8}.encode(1), STATUS_INVALID_ADDRESS},
        {ReadMemCmd{0, 0}.encode(1), STATUS_INVALID_PARAMETER},
        {ReadMemCmd{0, 1000}.encode(1), STATUS_INVALID_PARAMETER},
        {WriteRegCmd{{{0xA00, 2}}}.encode(1), STATUS_NOT_IMPLEMENTED},
    };
    for (const Case &c : cases) {
        auto ack = Ask(r, c.cmd);
        ASSERT_TRUE(ack);
        EXPECT_EQ(ack->header.status, c.status);
    }
    // A partly failing READREG gives the values read before the failure.
    auto partial = Ask(r, ReadRegCmd{{0x0, 0x10000}}.encode(1));
    EXPECT_EQ(ReadRegAck::decode(*partial)->values.size(), 1u);
}

TEST(GvcpResponder, DropsWhatWantsNoAnswer)
{
    Responder r = MakeResponder();
    EXPECT_FALSE(r.answer(nullptr, 0));
    Bytes ack = encodeDiscoveryAck(1, r.identity());
    EXPECT_FALSE(r.answer(ack.data(), ack.size()));
    EXPECT_FALSE(r.answer(ActionCmd{1, 1, 1, std::nullopt}.encode(1, false).data(), 20));
    EXPECT_FALSE(r.answer(PacketResendCmd{}.encode(1).data(), 20));
    Bytes truncated = ReadRegCmd{{0, 4}}.encode(1);
    EXPECT_FALSE(r.answer(truncated.data(), truncated.size() - 1));
}

TEST(GvcpResponder, RandomCommandsNeverCrash)
{
    Responder r = MakeResponder();
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        size_t n = rng() % 64;
        std::unique_ptr<uint8_t[]> packet(new uint8_t[n ? n : 1]);
        for (size_t k = 0; k < n; ++k) packet[k] = uint8_t(rng());
        if (n >= 8) {
            packet[0] = kKey;
            packet[2] = 0;
            packet[3] = uint8_t(0x80 + rng() % 8);
            packet[4] = 0;
            packet[5] = uint8_t(n - 8);
        }
        if (auto reply = r.answer(packet.get(), n)) {
            EXPECT_TRUE(decodeAck(reply->data(), reply->size()));
        }
    }
}

TEST(GvcpUdpResponder, AnswersFromItsOwnAddressUntilStopped)
{
    if (!std::getenv("TARN_IN_NETNS")) GTEST_SKIP() << "opens sockets: run under tools/netns (make test)";
    DeviceIdentity id;
    id.modelName = "Udp";
    UdpResponder device(id);
    std::string error;
    ASSERT_TRUE(device.start("127.0.0.31", 0, &error)) << error;
    EXPECT_FALSE(device.start("127.0.0.31", 0, &error));
    EXPECT_EQ(error, "already started");
    ASSERT_NE(device.port(), 0);
    EXPECT_EQ(device.identity().ip, 0x7F00001Fu);
    EXPECT_EQ(device.identity().subnetMask, 0xFF000000u);

    tarn::net::SocketOptions options;
    options.nonBlocking = true;
    auto controller = tarn::net::UdpSocket::bind({0x7F000001, 0}, options);
    ASSERT_TRUE(controller.valid());
    auto ask = [&](uint16_t reqId, int timeoutMs = 2000) -> std::optional<DeviceIdentity> {
        Bytes cmd = encodeDiscoveryCmd(reqId);
        controller.sendTo(cmd.data(), cmd.size(), {0x7F00001F, device.port()});
        tarn::net::PollLoop loop;
        std::optional<DeviceIdentity> answer;
        loop.watch(controller.fd(), [&](int) {
            uint8_t buf[600];
            tarn::net::Arrival arrival;
            long n = controller.receive(buf, sizeof buf, &arrival);
            EXPECT_EQ(arrival.from.ip, 0x7F00001Fu);
            EXPECT_EQ(arrival.from.port, device.port());
            uint16_t ackId = 0;
            if (n > 0) answer = decodeDiscoveryAck(buf, size_t(n), &ackId);
            EXPECT_EQ(ackId, reqId);
            return false;
        });
        loop.run(timeoutMs);
        return answer;
    };
    auto answer = ask(7);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->modelName, "Udp");
    EXPECT_EQ(answer->ip, 0x7F00001Fu);

    device.stop();
    EXPECT_FALSE(ask(8, 200));
    ASSERT_TRUE(device.start("127.0.0.31", 0, &error)) << error;
    EXPECT_TRUE(ask(9));
    EXPECT_FALSE(device.start("no address", 0, &error));
}

TEST(GvcpUdpResponder, AnswersABroadcastFromItsOwnAddress)
{
    if (!std::getenv("TARN_IN_NETNS")) GTEST_SKIP() << "opens sockets: run under tools/netns (make test)";
    DeviceIdentity id;
    id.modelName = "Broadcast";
    id.serialNumber = "B33";
    UdpResponder device(id);
    std::string error;
    ASSERT_TRUE(device.start("127.0.0.33", kPort, &error)) << error;

    tarn::net::SocketOptions options;
    options.nonBlocking = true;
    options.broadcast = true;
    auto controller = tarn::net::UdpSocket::bind({0x7F000001, 0}, options);
    ASSERT_TRUE(controller.valid());
    Bytes cmd = encodeDiscoveryCmd(3);
    ASSERT_TRUE(controller.sendTo(cmd.data(), cmd.size(), {tarn::net::kBroadcastAddress, kPort}));
    // Other devices on this machine may answer too: look for this one.
    std::optional<tarn::net::Endpoint> source;
    tarn::net::PollLoop loop;
    loop.watch(controller.fd(), [&](int) {
        uint8_t buf[600];
        tarn::net::Arrival arrival;
        long n;
        while ((n = controller.receive(buf, sizeof buf, &arrival)) > 0) {
            auto identity = decodeDiscoveryAck(buf, size_t(n));
            if (identity && identity->serialNumber == "B33") source = arrival.from;
        }
        return !source;
    });
    loop.run(2000);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->ip, 0x7F000021u);
    EXPECT_EQ(source->port, kPort);
}
