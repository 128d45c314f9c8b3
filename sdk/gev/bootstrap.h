#ifndef TARN_GEV_BOOTSTRAP_H
#define TARN_GEV_BOOTSTRAP_H

// The bootstrap registers every GigE Vision device carries at fixed
// addresses, and the bits of those that hold flags.

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
constexpr uint32_t StreamChannelCount = 512;
// Action signal n: base + 0x10 * n.
constexpr uint32_t ActionGroupKey0 = 0x9800;
constexpr uint32_t ActionGroupMask0 = 0x9804;
constexpr uint32_t ActionGroupStride = 0x10;
// The bootstrap registers end here; device-specific registers follow.
constexpr uint32_t BootstrapEnd = 0x10000;
constexpr uint32_t UrlSize = 512;
} // namespace reg

// GVCP capability bits (register GVCPCapability).
constexpr uint32_t GVCPCAP_USER_DEFINED_NAME = 0x80000000;
constexpr uint32_t GVCPCAP_SERIAL_NUMBER = 0x40000000;
constexpr uint32_t GVCPCAP_HEARTBEAT_DISABLE = 0x20000000;
constexpr uint32_t GVCPCAP_LINK_SPEED = 0x10000000;
constexpr uint32_t GVCPCAP_CCP_APPLICATION = 0x08000000;
constexpr uint32_t GVCPCAP_TEST_DATA = 0x02000000;
constexpr uint32_t GVCPCAP_UNCONDITIONAL_ACTION = 0x00100000;
constexpr uint32_t GVCPCAP_SCHEDULED_ACTION = 0x00020000;
constexpr uint32_t GVCPCAP_ACTION = 0x00000040;
constexpr uint32_t GVCPCAP_PENDING_ACK = 0x00000020;
constexpr uint32_t GVCPCAP_EVENTDATA = 0x00000010;
constexpr uint32_t GVCPCAP_EVENT = 0x00000008;
constexpr uint32_t GVCPCAP_PACKETRESEND = 0x00000004;
constexpr uint32_t GVCPCAP_WRITEMEM = 0x00000002;
constexpr uint32_t GVCPCAP_CONCATENATION = 0x00000001;

// GVCP configuration bits (register GVCPConfiguration).
constexpr uint32_t GVCPCFG_HEARTBEAT_DISABLE = 0x00000001;
constexpr uint32_t GVCPCFG_PENDING_ACK_ENABLE = 0x00000002;
constexpr uint32_t GVCPCFG_UNCONDITIONAL_ACTION = 0x00000008;

// Control channel privilege bits (register ControlChannelPrivilege).
constexpr uint32_t CCP_EXCLUSIVE = 0x00000001;
constexpr uint32_t CCP_CONTROL = 0x00000002;
constexpr uint32_t CCP_SWITCHOVER_ENABLE = 0x00000004;

// Stream channel packet size register: the size is the low 16 bits and
// counts the IP and UDP headers.
constexpr uint32_t SCPS_FIRE_TEST_PACKET = 0x80000000;
constexpr uint32_t SCPS_DO_NOT_FRAGMENT = 0x40000000;
constexpr uint32_t SCPS_SIZE_MASK = 0x0000FFFF;
constexpr uint32_t kIpUdpHeaderSize = 28;

// Messaging and stream channel capabilities: the source port register is present.
constexpr uint32_t MCCAP_SOURCE_PORT = 0x80000000;
constexpr uint32_t SCCAP_SOURCE_PORT = 0x80000000;
// What a stream channel offers (capability) and a controller enables
// (configuration), at the same bit of both registers: multi-part blocks
// (bit 25), and leaders and trailers as large as the packet size for more
// parts than a 576-byte leader holds (bit 24).
constexpr uint32_t SCC_MULTI_PART = 0x00000040;
constexpr uint32_t SCC_LARGE_LEADER_TRAILER = 0x00000080;

// Timestamp control bits.
constexpr uint32_t TIMESTAMP_RESET = 0x00000001;
constexpr uint32_t TIMESTAMP_LATCH = 0x00000002;

// A stream channel register of channel n, from the register of channel 0.
constexpr uint32_t streamChannelRegister(uint32_t channel0Register, uint32_t channel)
{
    return channel0Register + reg::StreamChannelStride * channel;
}

// The values a register field takes: from min to max, in steps of inc
// counted from min. The one rule behind a device's declared limits: its
// description declares them, and its registers refuse every other value.
struct ValueLimits {
    int64_t min = 0, max = 0xFFFFFFFF, inc = 1;
    bool Takes(int64_t value) const { return value >= min && value <= max && (inc <= 1 || (value - min) % inc == 0); }
};

// A field of a bootstrap register and the values it takes: a write that
// puts any other value there is refused with INVALID_PARAMETER.
struct FieldLimit : ValueLimits {
    uint32_t address = 0;
    uint32_t mask = 0xFFFFFFFF;   // the field's bits
    uint32_t shift = 0;           // where its lowest bit lies
    bool Takes(uint32_t registerValue) const { return ValueLimits::Takes((registerValue & mask) >> shift); }
};

} // namespace gvcp
} // namespace tarn

#endif
