#include "ZuBuffer.h"
#include "ZuResultCodes.h"
#include "ZuTransmitterGEV.h"
#include "ZuVirtualDeviceGEV.h"
#include "gev/bootstrap.h"
#include "receiver.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <thread>

using namespace tarn;
using tarn::testing::Datagrams;
using tarn::testing::headerOf;

namespace {

// A controller's side of GVCP: one command out, its acknowledge back.
// Each test's responder listens on an address of its own: other tests may
// serve GVCP on the loopback at the same time.
constexpr uint32_t kFirstDevice = 0x7F2B0001;   // 127.43.0.1
constexpr uint32_t kSecondDevice = 0x7F2B0002;

struct Controller {
    explicit Controller(uint32_t aDevice) : device{aDevice, gvcp::kPort} {}
    net::UdpSocket socket = net::UdpSocket::Bind({0x7F000001, 0}, net::SocketOptions());
    net::Endpoint device;
    uint16_t reqId = 1;

    std::optional<gvcp::Ack> Ask(const gvcp::Bytes &aCommand)
    {
        socket.SendTo(aCommand.data(), aCommand.size(), device);
        uint8_t answer[1500];
        pollfd p{socket.GetFd(), POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return std::nullopt;
        long n = socket.Receive(answer, sizeof answer);
        return n > 0 ? gvcp::decodeAck(answer, size_t(n)) : std::nullopt;
    }
    std::vector<uint32_t> Read(std::vector<uint32_t> aAddresses)
    {
        gvcp::ReadRegCmd cmd;
        cmd.addresses = aAddresses;
        auto ack = Ask(cmd.Encode(reqId++));
        if (!ack) return {};
        auto values = gvcp::ReadRegAck::Decode(*ack);
        return values ? values->values : std::vector<uint32_t>{};
    }
    void Resend(uint16_t aChannel, uint64_t aBlock, uint32_t aFirst, uint32_t aLast)
    {
        gvcp::PacketResendCmd cmd;
        cmd.streamChannel = aChannel;
        cmd.blockId = aBlock;
        cmd.firstPacketId = aFirst;
        cmd.lastPacketId = aLast;
        const gvcp::Bytes packet = cmd.Encode(reqId++);
        socket.SendTo(packet.data(), packet.size(), device);
    }
};

} // namespace

TEST(Responder, IdentityTextsKeepTheirFieldsAndTheSettersWaitWhileListening)
{
    ZuVirtualDeviceGEV device;
    uint16_t major = 0, minor = 9;
    ASSERT_TRUE(device.GetGEVSpecificationVersion(major, minor).IsOK());
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 0);
    EXPECT_EQ(device.SetGEVSpecificationVersion(3, 0).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(device.SetGEVSpecificationVersion(0, 0).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(device.SetGEVSpecificationVersion(2, 3).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(device.SetGEVSpecificationVersion(1, 2).IsOK());

    const std::string f31(31, 'v'), f15(15, 's');
    EXPECT_TRUE(device.SetDeviceVersion(ZuString(f31.c_str())).IsOK());
    EXPECT_EQ(device.SetDeviceVersion(ZuString((f31 + "x").c_str())).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(device.GetDeviceVersion(), ZuString(f31.c_str()));
    EXPECT_TRUE(device.SetManufacturerName(ZuString(f31.c_str())).IsOK());
    EXPECT_EQ(device.SetManufacturerName(ZuString((f31 + "x").c_str())).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(device.SetModelName(ZuString("model")).IsOK());
    EXPECT_EQ(device.SetModelName(ZuString((f31 + "x").c_str())).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(device.SetSerialNumber(ZuString(f15.c_str())).IsOK());
    EXPECT_EQ(device.SetSerialNumber(ZuString((f15 + "x").c_str())).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(device.GetSerialNumber(), ZuString(f15.c_str()));
    // Bytes count, not characters: 16 two-byte characters are 32 bytes.
    EXPECT_EQ(device.SetModelName(ZuString(L"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"))
                  .GetCode(),
              uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(device.GetModelName(), ZuString("model"));
    EXPECT_TRUE(device.SetGVCPCapabilityPacketResendCommandSupported(false).IsOK());
    EXPECT_FALSE(device.GetGVCPCapabilityPacketResendCommandSupported());

    EXPECT_EQ(device.StartListening(ZuString("localhost")).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    ASSERT_TRUE(device.StartListening(ZuString("127.43.0.1")).IsOK());
    EXPECT_EQ(device.StartListening(ZuString("127.43.0.1")).GetCode(), uint32_t(ZU_STATE_ERROR));
    EXPECT_EQ(device.SetModelName(ZuString("other")).GetCode(), uint32_t(ZU_BUSY));
    EXPECT_EQ(device.SetSerialNumber(ZuString("other")).GetCode(), uint32_t(ZU_BUSY));
    EXPECT_EQ(device.SetManufacturerName(ZuString("other")).GetCode(), uint32_t(ZU_BUSY));
    EXPECT_EQ(device.SetDeviceVersion(ZuString("other")).GetCode(), uint32_t(ZU_BUSY));
    EXPECT_EQ(device.SetGEVSpecificationVersion(2, 0).GetCode(), uint32_t(ZU_BUSY));
    EXPECT_EQ(device.SetGVCPCapabilityPacketResendCommandSupported(true).GetCode(), uint32_t(ZU_BUSY));
    ZuTransmitterGEV transmitter;
    EXPECT_EQ(device.AddTransmitterGEV(&transmitter).GetCode(), uint32_t(ZU_BUSY));
    EXPECT_TRUE(device.SetDevicePortThreadPriority(0).IsOK());
    EXPECT_EQ(device.GetModelName(), ZuString("model"));

    // What a controller reads.
    Controller c(kFirstDevice);
    auto regs = c.Read({gvcp::reg::Version, gvcp::reg::GVCPCapability, gvcp::reg::NumberOfStreamChannels,
                        gvcp::reg::DeviceMode});
    ASSERT_EQ(regs.size(), 4u);
    EXPECT_EQ(regs[0], (1u << 16) | 2u);
    EXPECT_EQ(regs[1] & gvcp::GVCPCAP_PACKETRESEND, 0u);
    EXPECT_EQ(regs[2], 0u);
    EXPECT_EQ((regs[3] >> gvcp::DEVICEMODE_CLASS_SHIFT) & gvcp::DEVICEMODE_CLASS_MASK, 0u);  // a transmitter
    gvcp::ReadMemCmd mem;
    mem.address = gvcp::reg::ModelName;
    mem.count = 32;
    auto ack = c.Ask(mem.Encode(c.reqId++));
    ASSERT_TRUE(ack);
    auto data = gvcp::ReadMemAck::Decode(*ack);
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(data->data.data())), "model");

    device.StopListening();
    EXPECT_TRUE(device.SetModelName(ZuString("other")).IsOK());
    EXPECT_TRUE(device.SetGVCPCapabilityPacketResendCommandSupported(true).IsOK());
    ASSERT_TRUE(device.StartListening(ZuString("127.43.0.1")).IsOK());
    regs = c.Read({gvcp::reg::GVCPCapability});
    ASSERT_EQ(regs.size(), 1u);
    EXPECT_NE(regs[0] & gvcp::GVCPCAP_PACKETRESEND, 0u);
}

TEST(Responder, TransmittersAreAddedOnceInChannelOrderAndOnlyWhileIdle)
{
    ZuVirtualDeviceGEV device;
    EXPECT_EQ(device.AddTransmitterGEV(nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    std::vector<std::unique_ptr<ZuTransmitterGEV>> transmitters;
    for (int i = 0; i < 16; ++i) {
        transmitters.push_back(std::make_unique<ZuTransmitterGEV>());
        ASSERT_TRUE(device.AddTransmitterGEV(transmitters.back().get()).IsOK()) << i;
    }
    EXPECT_EQ(device.AddTransmitterGEV(transmitters[0].get()).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    ZuTransmitterGEV more;
    EXPECT_EQ(device.AddTransmitterGEV(&more).GetCode(), uint32_t(ZU_INVALID_PARAMETER));

    // One that is transmitting is refused.
    ZuVirtualDeviceGEV other;
    Datagrams sink;
    ZuTransmitterGEV busy;
    ASSERT_TRUE(busy.Open(ZuString("127.0.0.1"), sink.Port()).IsOK());
    busy.SetMaxPayloadThroughput(0.1f);
    ZuBuffer a(ZuPayloadTypeRawData), b(ZuPayloadTypeRawData);
    a.Alloc(50000);
    b.Alloc(50000);
    ASSERT_TRUE(busy.QueueBuffer(&a).IsOK());
    ASSERT_TRUE(busy.QueueBuffer(&b).IsOK());
    EXPECT_EQ(other.AddTransmitterGEV(&busy).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    busy.AbortQueuedBuffers();
    busy.Close();
}

TEST(Responder, APacketResendReachesTheTransmitterOfItsChannel)
{
    Datagrams first, second;
    ZuTransmitterGEV t0, t1;
    ASSERT_TRUE(t0.Open(ZuString("127.0.0.1"), first.Port(), ZuString("127.0.0.1")).IsOK());
    ASSERT_TRUE(t1.Open(ZuString("127.0.0.1"), second.Port(), ZuString("127.0.0.1")).IsOK());
    t0.SetSentBuffersTimeout(60000);
    t1.SetSentBuffersTimeout(60000);
    ZuVirtualDeviceGEV device;
    ASSERT_TRUE(device.AddTransmitterGEV(&t0).IsOK());
    ASSERT_TRUE(device.AddTransmitterGEV(&t1).IsOK());
    ASSERT_TRUE(device.StartListening(ZuString("127.43.0.2")).IsOK());
    Controller c(kSecondDevice);
    auto regs = c.Read({gvcp::reg::NumberOfStreamChannels, gvcp::reg::GVCPCapability,
                        gvcp::streamChannelRegister(gvcp::reg::StreamChannelSourcePort0, 1)});
    ASSERT_EQ(regs.size(), 3u);
    EXPECT_EQ(regs[0], 2u);
    EXPECT_NE(regs[1] & gvcp::GVCPCAP_PACKETRESEND, 0u);
    EXPECT_EQ(regs[2], t1.GetSourcePort());

    ZuBuffer b0(ZuPayloadTypeRawData), b1(ZuPayloadTypeRawData);
    b0.Alloc(100);
    b1.Alloc(100);
    ASSERT_TRUE(t0.QueueBuffer(&b0).IsOK());
    ASSERT_TRUE(t1.QueueBuffer(&b1).IsOK());
    ASSERT_EQ(first.Collect(3).size(), 3u);
    ASSERT_EQ(second.Collect(3).size(), 3u);
    c.Resend(1, 1, 1, 1);
    auto again = second.Collect(1);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(headerOf(again[0]).status, gvsp::STATUS_PACKET_RESEND);
    EXPECT_EQ(headerOf(again[0]).packetId, 1u);
    EXPECT_TRUE(first.Collect(1, 100).empty());
    EXPECT_EQ(t1.GetNumberOfResendRequests(), 1u);
    EXPECT_EQ(t0.GetNumberOfResendRequests(), 0u);
    // A channel with no transmitter is ignored.
    c.Resend(2, 1, 1, 1);
    EXPECT_TRUE(first.Collect(1, 100).empty());
    EXPECT_TRUE(second.Collect(1, 100).empty());
    device.StopListening();
}
