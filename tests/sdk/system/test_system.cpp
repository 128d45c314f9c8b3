#include "gvcpserver/udp_server.h"
#include "net/poll_loop.h"
#include "ZuSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

bool InNetns() { return std::getenv("TARN_IN_NETNS") != nullptr; }

#define NEEDS_NETNS() \
    if (!InNetns()) GTEST_SKIP() << "opens sockets: run under tools/netns (make test)"

std::unique_ptr<tarn::gvcpserver::UdpServer> StartDevice(const char *address, uint8_t last, const char *name)
{
    tarn::gvcpserver::ServerConfig config;
    tarn::gvcp::DeviceIdentity &id = config.identity;
    id.mac = {0x02, 0x00, 0x00, 0x00, 0x01, last};
    id.manufacturerName = "tarn";
    id.modelName = "Native";
    id.serialNumber = std::string("N") + std::to_string(last);
    id.userDefinedName = name;
    auto r = std::make_unique<tarn::gvcpserver::UdpServer>(config);
    std::string error;
    EXPECT_TRUE(r->Start(address, tarn::gvcp::kPort, &error)) << error;
    return r;
}

const ZuDeviceInfoGEV *FindByName(const ZuSystem &system, const char *name)
{
    for (uint32_t i = 0; i < system.GetDeviceCount(); ++i) {
        auto *gev = dynamic_cast<const ZuDeviceInfoGEV *>(system.GetDeviceInfo(i));
        if (gev && gev->GetUserDefinedName() == name) return gev;
    }
    return nullptr;
}

struct CountingSink : ZuSystemEventSink {
    int found = 0;
    void OnDeviceFound(const ZuInterface *aInterface, const ZuDeviceInfo *aInfo) override
    {
        if (aInterface && aInfo && aInfo->GetInterface() == aInterface) ++found;
    }
};

} // namespace

TEST(ZuSystem, SettingsAndSinkBookkeeping)
{
    ZuSystem system;
    EXPECT_EQ(system.GetDetectionTimeout(), 1500u);
    system.SetDetectionTimeout(0);
    EXPECT_EQ(system.GetDetectionTimeout(), 100u);
    system.SetDetectionTimeout(70000);
    EXPECT_EQ(system.GetDetectionTimeout(), 60000u);
    EXPECT_EQ(system.GetInterface(0), nullptr);
    EXPECT_EQ(system.GetDeviceInfo(0), nullptr);

    CountingSink sink;
    EXPECT_EQ(system.RegisterEventSink(nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_TRUE(system.RegisterEventSink(&sink).IsOK());
    EXPECT_EQ(system.RegisterEventSink(&sink).GetCode(), uint32_t(ZU_GENERIC_ERROR));
    EXPECT_TRUE(system.UnregisterEventSink(&sink).IsOK());
    EXPECT_EQ(system.UnregisterEventSink(&sink).GetCode(), uint32_t(ZU_NOT_FOUND));

    ZuSessionInfo session;
    EXPECT_EQ(system.GetSessionInfo(0, session).GetCode(), uint32_t(ZU_NOT_FOUND));
}

TEST(ZuSystem, FindDeviceRefusesWhatCannotBeFound)
{
    ZuSystem system;
    const ZuDeviceInfo *info = reinterpret_cast<const ZuDeviceInfo *>(&system);
    EXPECT_EQ(system.FindDevice(ZuString(""), &info).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(system.FindDevice(ZuString("cam"), nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
}

TEST(ZuDeviceInfo, EmptyKindsAndTheirCopies)
{
    ZuDeviceInfoU3V u3v;
    EXPECT_EQ(u3v.GetType(), ZuDeviceInfoTypeU3V);
    EXPECT_EQ(u3v.GetStatus(), ZuUSBStatusNotInitialized);
    EXPECT_EQ(u3v.GetSpeedMessage(), "Unknown");
    std::unique_ptr<ZuDeviceInfo> copy(u3v.Copy());
    EXPECT_NE(dynamic_cast<ZuDeviceInfoU3V *>(copy.get()), nullptr);
    EXPECT_EQ(copy->GetInterface(), nullptr);

    ZuDeviceInfoGEV gev;
    EXPECT_EQ(gev.GetMACAddress(), "00:00:00:00:00:00");
    EXPECT_EQ(gev.GetIPAddress(), "0.0.0.0");
    EXPECT_FALSE(gev.IsConfigurationValid());
    EXPECT_EQ(ZuDeviceInfoMorvekProtocol().GetType(), ZuDeviceInfoTypeMorvekProtocol);
    EXPECT_EQ(ZuDeviceInfoUSB().GetType(), ZuDeviceInfoTypeUSB);
}

TEST(ZuInterface, CompareOrdersByCompareIdAndRefusesNull)
{
    ZuNetworkAdapter a;
    EXPECT_FALSE(ZuInterface::Compare(&a, nullptr));
    EXPECT_FALSE(ZuInterface::Compare(nullptr, &a));
    EXPECT_FALSE(ZuInterface::Compare(&a, &a));
    EXPECT_EQ(a.GetIPAddress(3), "0.0.0.0");
    EXPECT_EQ(a.GetMACAddress(), "00.00.00.00.00.00");
}

TEST(ZuSystemNetwork, FindsEveryDeviceOnTheLoopback)
{
    NEEDS_NETNS();
    auto left = StartDevice("127.0.0.21", 21, "native-left");
    auto right = StartDevice("127.0.0.22", 22, "native-right");
    ZuSystem system;
    CountingSink sink;
    system.RegisterEventSink(&sink);
    system.SetDetectionTimeout(200);
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(system.Find().IsOK());
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(5000));
    // A loaded machine may hold an answer back: search again, longer.
    for (uint32_t timeout : {1000u, 3000u, 6000u}) {
        if (FindByName(system, "native-left") && FindByName(system, "native-right")) break;
        system.SetDetectionTimeout(timeout);
        ASSERT_TRUE(system.Find().IsOK());
    }

    const ZuDeviceInfoGEV *l = FindByName(system, "native-left");
    const ZuDeviceInfoGEV *r = FindByName(system, "native-right");
    ASSERT_TRUE(l && r);
    EXPECT_EQ(l->GetIPAddress(), "127.0.0.21");
    EXPECT_EQ(l->GetMACAddress(), "02:00:00:00:01:15");
    EXPECT_EQ(l->GetClass(), ZuDeviceClassTransmitter);
    EXPECT_TRUE(l->IsConfigurationValid());
    auto *adapter = dynamic_cast<const ZuNetworkAdapter *>(l->GetInterface());
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(adapter->GetName(), "lo");
    EXPECT_GE(sink.found, 2);
    system.UnregisterEventSink(&sink);

    // Copies live on without the system.
    std::unique_ptr<ZuDeviceInfo> infoCopy(l->Copy());
    std::unique_ptr<ZuInterface> adapterCopy(adapter->Copy());
    // A new Find keeps what reports the same, and earlier findings stay valid.
    const uint32_t interfaces = system.GetInterfaceCount();
    ASSERT_TRUE(system.Find().IsOK());
    EXPECT_EQ(FindByName(system, "native-left"), l);
    EXPECT_EQ(system.GetInterface(0), system.GetInterface(0));
    EXPECT_EQ(l->GetInterface(), adapter);
    EXPECT_EQ(system.GetInterfaceCount(), interfaces);
    right.reset();
    right = StartDevice("127.0.0.22", 22, "native-renamed");
    ASSERT_TRUE(system.Find().IsOK());
    EXPECT_EQ(FindByName(system, "native-right"), nullptr);
    ASSERT_NE(FindByName(system, "native-renamed"), nullptr);
    EXPECT_EQ(r->GetUserDefinedName(), "native-right");
    for (uint32_t i = 0; i < adapter->GetDeviceCount(); ++i)
        EXPECT_NE(adapter->GetDeviceInfo(i), r);
    {
        ZuSystem gone;
    }
    EXPECT_EQ(infoCopy->GetInterface()->GetName(), "lo");
    EXPECT_GE(adapterCopy->GetDeviceCount(), 2u);
    EXPECT_EQ(adapterCopy->GetDeviceInfo(0)->GetInterface(), adapterCopy.get());
    // A copy reports what its kind reports, not only the identity.
    auto *nicCopy = dynamic_cast<ZuNetworkAdapter *>(adapterCopy.get());
    ASSERT_NE(nicCopy, nullptr);
    EXPECT_EQ(nicCopy->GetIPAddressCount(), adapter->GetIPAddressCount());
    EXPECT_EQ(nicCopy->GetIPAddress(0), adapter->GetIPAddress(0));
    EXPECT_EQ(nicCopy->GetSubnetMask(0), adapter->GetSubnetMask(0));
    EXPECT_EQ(nicCopy->GetMACAddress(), adapter->GetMACAddress());
    auto *gevCopy = dynamic_cast<ZuDeviceInfoGEV *>(infoCopy.get());
    ASSERT_NE(gevCopy, nullptr);
    EXPECT_EQ(gevCopy->GetIPAddress(), "127.0.0.21");
    EXPECT_EQ(gevCopy->GetMACAddress(), "02:00:00:00:01:15");
    EXPECT_TRUE(gevCopy->IsConfigurationValid());
}

TEST(ZuSystemNetwork, FindDeviceStopsAtTheAnswer)
{
    NEEDS_NETNS();
    auto device = StartDevice("127.0.0.23", 23, "native-find");
    ZuSystem system;
    system.SetDetectionTimeout(3000);
    for (const char *key : {"02:00:00:00:01:17", "127.0.0.23", "native-find", "N23"}) {
        const ZuDeviceInfo *info = nullptr;
        auto start = std::chrono::steady_clock::now();
        ZuResult result = system.FindDevice(ZuString(key), &info);
        EXPECT_TRUE(result.IsOK()) << key;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500)) << key;
        ASSERT_NE(info, nullptr) << key;
        EXPECT_EQ(info->GetUserDefinedName(), "native-find");
    }
    // One information per device, however often it was looked for, and
    // the latest when the device changed.
    auto countOf = [&](const char *name) {
        uint32_t count = 0;
        for (uint32_t i = 0; i < system.GetDeviceCount(); ++i)
            count += system.GetDeviceInfo(i)->GetUserDefinedName() == name;
        return count;
    };
    EXPECT_EQ(countOf("native-find"), 1u);
    const ZuDeviceInfo *before = nullptr;
    system.FindDevice(ZuString("native-find"), &before);
    device.reset();
    device = StartDevice("127.0.0.23", 23, "native-moved");
    const ZuDeviceInfo *after = nullptr;
    EXPECT_TRUE(system.FindDevice(ZuString("127.0.0.23"), &after).IsOK());
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->GetUserDefinedName(), "native-moved");
    EXPECT_EQ(countOf("native-find"), 0u);
    EXPECT_EQ(countOf("native-moved"), 1u);
    EXPECT_EQ(before->GetUserDefinedName(), "native-find");  // still valid

    system.SetDetectionTimeout(100);
    const ZuDeviceInfo *none = nullptr;
    EXPECT_EQ(system.FindDevice(ZuString("no-such-device"), &none).GetCode(), uint32_t(ZU_NOT_FOUND));
    EXPECT_EQ(none, nullptr);
}

TEST(ZuSystemNetwork, SendsNowhereWhenNoAllowedInterfaceExists)
{
    NEEDS_NETNS();
    ::setenv("TARN_DISCOVERY_INTERFACES", "tarn-no-such-if", 1);
    ZuSystem system;
    system.SetDetectionTimeout(100);
    ZuResult result = system.Find();
    ::unsetenv("TARN_DISCOVERY_INTERFACES");
    EXPECT_EQ(result.GetCode(), uint32_t(ZU_NETWORK_ERROR));
    EXPECT_EQ(system.GetDeviceCount(), 0u);
    EXPECT_GE(system.GetInterfaceCount(), 1u);  // listed all the same
}

TEST(ZuSystemNetwork, TakesOnlyAnswersToItsOwnRequest)
{
    NEEDS_NETNS();
    // A device that answers every DISCOVERY twice: once for another
    // request id, once with a damaged packet. Neither is a device.
    tarn::gvcp::DeviceIdentity rogue;
    rogue.userDefinedName = "native-rogue";
    rogue.ip = 0x7F000018;
    tarn::net::SocketOptions shared;
    shared.reuseAddress = true;
    // Discovery is broadcast: it arrives on the broadcast address.
    auto socket = tarn::net::UdpSocket::Bind({0x7F000018, tarn::gvcp::kPort}, shared);
    auto broadcast = tarn::net::UdpSocket::Bind({tarn::net::kBroadcastAddress, tarn::gvcp::kPort}, shared);
    ASSERT_TRUE(socket.Valid() && broadcast.Valid());
    tarn::net::PollLoop loop;
    std::atomic<int> asked{0};
    loop.Watch(broadcast.GetFd(), [&](int) {
        uint8_t buf[64];
        tarn::net::Arrival arrival;
        long n = broadcast.Receive(buf, sizeof buf, &arrival);
        auto cmd = tarn::gvcp::decodeCommand(buf, n > 0 ? size_t(n) : 0);
        if (!cmd) return true;
        ++asked;
        tarn::gvcp::Bytes other = tarn::gvcp::encodeDiscoveryAck(uint16_t(cmd->header.reqId + 1), rogue);
        socket.SendTo(other.data(), other.size(), arrival.from);
        tarn::gvcp::Bytes damaged = tarn::gvcp::encodeDiscoveryAck(cmd->header.reqId, rogue);
        damaged.resize(100);
        socket.SendTo(damaged.data(), damaged.size(), arrival.from);
        return true;
    });
    std::thread answering([&] { loop.Run(); });
    auto device = StartDevice("127.0.0.25", 25, "native-genuine");
    ZuSystem system;
    ZuResult result;
    // A loaded machine may hold an answer back: search again, longer.
    for (uint32_t timeout : {300u, 1000u, 3000u, 6000u}) {
        system.SetDetectionTimeout(timeout);
        result = system.Find();
        if (!result.IsOK() || (asked.load() >= 1 && FindByName(system, "native-genuine"))) break;
    }
    loop.Stop();
    answering.join();
    ASSERT_TRUE(result.IsOK());
    EXPECT_GE(asked.load(), 1);
    EXPECT_NE(FindByName(system, "native-genuine"), nullptr);
    EXPECT_EQ(FindByName(system, "native-rogue"), nullptr);
}
