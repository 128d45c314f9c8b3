#ifndef TARN_GEV_BOOTSTRAP_H
#define TARN_GEV_BOOTSTRAP_H

// The bootstrap registers every GigE Vision device carries at fixed
// addresses, and a read-only image of them built from a device identity.

#include "gev/gvcp.h"

namespace tarn {
namespace gvcp {

namespace reg {
constexpr uint32_t Version = 0x0000;
constexpr uint32_t DeviceMode = 0x0004;
constexpr uint32_t MacHigh = 0x0008;
constexpr uint32_t MacLow = 0x000C;
constexpr uint32_t SupportedIPConfig = 0x0010;
constexpr uint32_t CurrentIPConfig = 0x0014;
constexpr uint32_t CurrentIPAddress = 0x0024;
constexpr uint32_t CurrentSubnetMask = 0x0034;
constexpr uint32_t CurrentDefaultGateway = 0x0044;
constexpr uint32_t ManufacturerName = 0x0048;   // 32 bytes
constexpr uint32_t ModelName = 0x0068;          // 32
constexpr uint32_t DeviceVersion = 0x0088;      // 32
constexpr uint32_t ManufacturerInfo = 0x00A8;   // 48
constexpr uint32_t SerialNumber = 0x00D8;       // 16
constexpr uint32_t UserDefinedName = 0x00E8;    // 16
constexpr uint32_t FirstURL = 0x0200;           // 512
constexpr uint32_t SecondURL = 0x0400;          // 512
constexpr uint32_t NumberOfNetworkInterfaces = 0x0600;
constexpr uint32_t PersistentIPAddress = 0x064C;
constexpr uint32_t PersistentSubnetMask = 0x065C;
constexpr uint32_t PersistentDefaultGateway = 0x066C;
constexpr uint32_t LinkSpeed = 0x0670;
constexpr uint32_t NumberOfMessageChannels = 0x0900;
constexpr uint32_t NumberOfStreamChannels = 0x0904;
constexpr uint32_t NumberOfActionSignals = 0x0908;
constexpr uint32_t ActionDeviceKey = 0x090C;
constexpr uint32_t NumberOfActiveLinks = 0x0910;
constexpr uint32_t GVSPCapability = 0x092C;
constexpr uint32_t MessageChannelCapability = 0x0930;
constexpr uint32_t GVCPCapability = 0x0934;
constexpr uint32_t HeartbeatTimeout = 0x0938;
constexpr uint32_t TimestampTickFrequencyHigh = 0x093C;
constexpr uint32_t TimestampTickFrequencyLow = 0x0940;
constexpr uint32_t TimestampControl = 0x0944;
constexpr uint32_t TimestampValueHigh = 0x0948;
constexpr uint32_t TimestampValueLow = 0x094C;
constexpr uint32_t DiscoveryAckDelay = 0x0950;
constexpr uint32_t GVCPConfiguration = 0x0954;
constexpr uint32_t PendingTimeout = 0x0958;
constexpr uint32_t ControlSwitchoverKey = 0x095C;
constexpr uint32_t GVSPConfiguration = 0x0960;
constexpr uint32_t PhysicalLinkConfigurationCapability = 0x0964;
constexpr uint32_t PhysicalLinkConfiguration = 0x0968;
constexpr uint32_t IEEE1588Status = 0x096C;
constexpr uint32_t ScheduledActionCommandQueueSize = 0x0970;
constexpr uint32_t ControlChannelPrivilege = 0x0A00;
constexpr uint32_t PrimaryApplicationPort = 0x0A04;
constexpr uint32_t PrimaryApplicationIPAddress = 0x0A14;
constexpr uint32_t MessageChannelPort = 0x0B00;
constexpr uint32_t MessageChannelDestination = 0x0B10;
constexpr uint32_t MessageChannelTransmissionTimeout = 0x0B14;
constexpr uint32_t MessageChannelRetryCount = 0x0B18;
constexpr uint32_t MessageChannelSourcePort = 0x0B1C;
// Stream channel n: base + 0x40 * n.
constexpr uint32_t StreamChannelPort0 = 0x0D00;
constexpr uint32_t StreamChannelPacketSize0 = 0x0D04;
constexpr uint32_t StreamChannelPacketDelay0 = 0x0D08;
constexpr uint32_t StreamChannelDestination0 = 0x0D18;
constexpr uint32_t StreamChannelSourcePort0 = 0x0D1C;
constexpr uint32_t StreamChannelCapability0 = 0x0D20;
constexpr uint32_t StreamChannelConfiguration0 = 0x0D24;
constexpr uint32_t StreamChannelStride = 0x40;
} // namespace reg

// GVCP capability bits announced by this SDK's devices.
constexpr uint32_t GVCPCAP_USER_DEFINED_NAME = 0x80000000;
constexpr uint32_t GVCPCAP_SERIAL_NUMBER = 0x40000000;
constexpr uint32_t GVCPCAP_PENDING_ACK = 0x00000020;
constexpr uint32_t GVCPCAP_WRITEMEM = 0x00000002;

// A read-only image of the bootstrap registers, big-endian as on the wire.
class Bootstrap
{
public:
    static constexpr uint32_t kSize = 0x0E00;

    explicit Bootstrap(const DeviceIdentity &identity);

    // Status of a register read: success, or invalid address / bad alignment.
    uint16_t readRegister(uint32_t address, uint32_t &value) const;
    // Status of a memory read of count bytes (a multiple of 4, at most 536).
    uint16_t readMemory(uint32_t address, uint32_t count, Bytes &data) const;

private:
    void put32(uint32_t address, uint32_t value);
    Bytes mImage;
};

} // namespace gvcp
} // namespace tarn

#endif
