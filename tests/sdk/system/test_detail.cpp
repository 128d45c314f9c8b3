// Discovery's decisions that need no network: which adapters it may send
// through, and which device a text names.
#include "SystemDetail.h"

#include "net/adapters.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

std::unique_ptr<ZuNetworkAdapter> Adapter(const char *aName, std::vector<tarn::net::AdapterAddress> aAddresses)
{
    tarn::net::Adapter a;
    a.name = aName;
    a.addresses = std::move(aAddresses);
    return ZuSystemDetail::MakeAdapter(a);
}

// Sets TARN_DISCOVERY_INTERFACES for the life of the object.
struct AllowedInterfaces {
    explicit AllowedInterfaces(const char *aValue)
    {
        if (aValue) ::setenv("TARN_DISCOVERY_INTERFACES", aValue, 1);
        else ::unsetenv("TARN_DISCOVERY_INTERFACES");
    }
    ~AllowedInterfaces() { ::unsetenv("TARN_DISCOVERY_INTERFACES"); }
};

tarn::gvcp::DeviceIdentity Identity()
{
    tarn::gvcp::DeviceIdentity id;
    id.mac = {0x02, 0x00, 0x00, 0x00, 0x01, 0x2A};
    id.ip = 0x7F00002A;
    id.modelName = "Model";
    id.serialNumber = "SN42";
    id.userDefinedName = "left";
    return id;
}

} // namespace

TEST(DiscoveryAdapters, OnlyTheLoopbackUnlessNamed)
{
    auto lo = Adapter("lo", {{0x7F000001, 0xFF000000}});
    auto eth = Adapter("eth0", {{0xC0A80105, 0xFFFFFF00}});
    auto bare = Adapter("lo", {});
    auto mixed = Adapter("lo", {{0x7F000001, 0xFF000000}, {0x0A000001, 0xFF000000}});
    auto otherLoopback = Adapter("dummy0", {{0x7F000005, 0xFF000000}});
    {
        AllowedInterfaces none(nullptr);
        EXPECT_TRUE(ZuSystemDetail::MaySend(*lo));
        EXPECT_FALSE(ZuSystemDetail::MaySend(*eth));
        EXPECT_FALSE(ZuSystemDetail::MaySend(*bare));   // nothing to send from
        EXPECT_FALSE(ZuSystemDetail::MaySend(*mixed));  // an address that leaves the machine
        EXPECT_FALSE(ZuSystemDetail::MaySend(*otherLoopback));
    }
    {
        AllowedInterfaces empty("");
        EXPECT_TRUE(ZuSystemDetail::MaySend(*lo));
        EXPECT_FALSE(ZuSystemDetail::MaySend(*eth));
    }
    {
        AllowedInterfaces named(" wlan0 ,\teth0 ");
        EXPECT_TRUE(ZuSystemDetail::MaySend(*eth));
        EXPECT_FALSE(ZuSystemDetail::MaySend(*lo));  // a list replaces the default
    }
    {
        AllowedInterfaces prefix("eth");
        EXPECT_FALSE(ZuSystemDetail::MaySend(*eth));
    }
}

TEST(DiscoveryAdapters, AnAdapterReportsWhatTheKernelListed)
{
    tarn::net::Adapter a;
    a.name = "eth1";
    a.hasMac = true;
    a.mac = {0x00, 0x11, 0x1c, 0xaa, 0xbb, 0xcc};
    a.addresses = {{0xC0A80A05, 0xFFFFFF00}, {0x0A000001, 0xFF000000}};
    a.gateway = 0xC0A80A01;
    auto adapter = ZuSystemDetail::MakeAdapter(a);
    EXPECT_EQ(adapter->GetName(), "eth1");
    EXPECT_EQ(adapter->GetDisplayID(), "eth1 (192.168.10.5)");
    EXPECT_EQ(adapter->GetMACAddress(), "00.11.1C.AA.BB.CC");
    EXPECT_EQ(adapter->GetIPAddress(1), "10.0.0.1");
    EXPECT_EQ(adapter->GetSubnetMask(0), "255.255.255.0");
    EXPECT_EQ(adapter->GetDefaultGateway(), "192.168.10.1");
    EXPECT_EQ(ZuSystemDetail::AdapterName(*adapter), "eth1");
}

TEST(DiscoveryMatching, ATextNamesADeviceByAnyOfItsKeys)
{
    auto lo = Adapter("lo", {{0x7F000001, 0xFF000000}});
    auto info = ZuSystemDetail::MakeGEV(Identity(), lo.get());
    EXPECT_EQ(info->GetDisplayID(), "left (127.0.0.42)");
    EXPECT_EQ(info->GetInterface(), lo.get());
    for (const char *key : {"02:00:00:00:01:2a", "02-00-00-00-01-2A", "127.0.0.42", "left", "SN42"})
        EXPECT_TRUE(ZuSystemDetail::Matches(*info, key)) << key;
    for (const char *key : {"02:00:00:00:01:2b", "127.0.0.4", "Model", "lef", ""})
        EXPECT_FALSE(ZuSystemDetail::Matches(*info, key)) << key;
}

TEST(DiscoveryMatching, SameDeviceAndSameInformationAreNotTheSameQuestion)
{
    auto lo = Adapter("lo", {{0x7F000001, 0xFF000000}});
    auto a = ZuSystemDetail::MakeGEV(Identity(), lo.get());
    tarn::gvcp::DeviceIdentity renamed = Identity();
    renamed.userDefinedName = "right";
    auto b = ZuSystemDetail::MakeGEV(renamed, lo.get());
    tarn::gvcp::DeviceIdentity moved = Identity();
    moved.ip = 0x7F00002B;
    auto c = ZuSystemDetail::MakeGEV(moved, lo.get());

    EXPECT_TRUE(ZuSystemDetail::SameDevice(*a, *b));
    EXPECT_FALSE(ZuSystemDetail::SameInformation(*a, *b));
    EXPECT_TRUE(ZuSystemDetail::SameMac(*a, *c));
    EXPECT_FALSE(ZuSystemDetail::SameDevice(*a, *c));
    auto again = ZuSystemDetail::MakeGEV(Identity(), lo.get());
    EXPECT_TRUE(ZuSystemDetail::SameInformation(*a, *again));
    auto elsewhere = Adapter("lo", {{0x7F000001, 0xFF000000}});
    auto other = ZuSystemDetail::MakeGEV(Identity(), elsewhere.get());
    EXPECT_FALSE(ZuSystemDetail::SameInformation(*a, *other));
}
