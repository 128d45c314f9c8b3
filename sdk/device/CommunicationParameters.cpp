// The communication parameters: how the controller talks with its device
// (time-outs, retries, heartbeat, packet sizes of memory requests) and
// what it counted, as a node map over the controller's own settings.

#include "Ports.h"

#include <cstring>
#include <iterator>

namespace tarn {
namespace device {

namespace {

const char kDescription[] = R"XML(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="GEVCommunication" VendorName="Tarn" SchemaMajorVersion="1" SchemaMinorVersion="1"
    xmlns="http://www.genicam.org/GenApi/Version_1_1">
  <Category Name="Root" NameSpace="Standard">
    <pFeature>Connection</pFeature>
    <pFeature>Statistics</pFeature>
  </Category>
  <Category Name="Connection">
    <ToolTip>How the controller talks with the device</ToolTip>
    <pFeature>HeartbeatTimeout</pFeature>
    <pFeature>AnswerTimeout</pFeature>
    <pFeature>CommandRetryCount</pFeature>
    <pFeature>CommandTimeout</pFeature>
    <pFeature>ReadMemPacketSize</pFeature>
    <pFeature>WriteMemPacketSize</pFeature>
    <pFeature>MessagingChannelEventQueueSize</pFeature>
    <pFeature>DeviceIPAddress</pFeature>
    <pFeature>HostIPAddress</pFeature>
    <pFeature>MessagingChannelPort</pFeature>
  </Category>
  <Category Name="Statistics">
    <ToolTip>What the controller counted since it was made</ToolTip>
    <pFeature>CommandCount</pFeature>
    <pFeature>CommandRetries</pFeature>
    <pFeature>CommandTimeouts</pFeature>
    <pFeature>PendingAcknowledges</pFeature>
    <pFeature>EventsReceived</pFeature>
    <pFeature>EventsDropped</pFeature>
  </Category>
  <Integer Name="HeartbeatTimeout">
    <ToolTip>How long the device may stay silent before it counts as lost, and how long it keeps control without a command (ms)</ToolTip>
    <pValue>HeartbeatTimeoutReg</pValue><Min>500</Min><Max>600000</Max><Unit>ms</Unit>
  </Integer>
  <Integer Name="AnswerTimeout">
    <ToolTip>How long to wait for an answer before a command is sent again (ms)</ToolTip>
    <pValue>AnswerTimeoutReg</pValue><Min>10</Min><Max>60000</Max><Unit>ms</Unit>
  </Integer>
  <Integer Name="CommandRetryCount">
    <ToolTip>How often a command is sent again before it fails</ToolTip>
    <pValue>CommandRetryCountReg</pValue><Min>0</Min><Max>100</Max>
  </Integer>
  <Integer Name="CommandTimeout">
    <ToolTip>The longest one command waits for its answer in all, however often the device asks for more time (PENDING_ACK); never less than the answer time-outs of all its tries (ms)</ToolTip>
    <pValue>CommandTimeoutReg</pValue><Min>100</Min><Max>600000</Max><Unit>ms</Unit>
  </Integer>
  <Integer Name="ReadMemPacketSize">
    <ToolTip>The most bytes one memory read asks for</ToolTip>
    <pValue>ReadMemPacketSizeReg</pValue><Min>4</Min><Max>536</Max><Inc>4</Inc><Unit>B</Unit>
  </Integer>
  <Integer Name="WriteMemPacketSize">
    <ToolTip>The most bytes one memory write carries</ToolTip>
    <pValue>WriteMemPacketSizeReg</pValue><Min>4</Min><Max>536</Max><Inc>4</Inc><Unit>B</Unit>
  </Integer>
  <Integer Name="MessagingChannelEventQueueSize">
    <ToolTip>How many received events wait for delivery before the oldest is dropped</ToolTip>
    <pValue>EventQueueSizeReg</pValue><Min>1</Min><Max>65536</Max>
  </Integer>
  <IntReg Name="HeartbeatTimeoutReg"><Address>0x00</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="AnswerTimeoutReg"><Address>0x04</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="CommandRetryCountReg"><Address>0x08</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="ReadMemPacketSizeReg"><Address>0x0C</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="WriteMemPacketSizeReg"><Address>0x10</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="EventQueueSizeReg"><Address>0x14</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="CommandTimeoutReg"><Address>0x24</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="DeviceIPAddress"><ToolTip>The connected device's address</ToolTip><Address>0x18</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Representation>IPV4Address</Representation><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="HostIPAddress"><ToolTip>The local address the device reaches this host at</ToolTip><Address>0x1C</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Representation>IPV4Address</Representation><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="MessagingChannelPort"><ToolTip>The local port events arrive at, 0 without a messaging channel</ToolTip><Address>0x20</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="CommandCount"><ToolTip>Commands sent</ToolTip><Address>0x28</Address><Length>8</Length><AccessMode>RO</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="CommandRetries"><ToolTip>Commands sent again for want of an answer</ToolTip><Address>0x30</Address><Length>8</Length><AccessMode>RO</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="CommandTimeouts"><ToolTip>Commands that stayed unanswered</ToolTip><Address>0x38</Address><Length>8</Length><AccessMode>RO</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="PendingAcknowledges"><ToolTip>Slow commands the device announced</ToolTip><Address>0x40</Address><Length>8</Length><AccessMode>RO</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="EventsReceived"><ToolTip>Events of the messaging channel received</ToolTip><Address>0x48</Address><Length>8</Length><AccessMode>RO</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <IntReg Name="EventsDropped"><ToolTip>Events dropped because the queue was full</ToolTip><Address>0x50</Address><Length>8</Length><AccessMode>RO</AccessMode><pPort>Local</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>
  <Port Name="Local"/>
</RegisterDescription>
)XML";

constexpr uint64_t kSize = 0x58;

// The settings as registers: each word read from and written to its field.
class LocalPort : public ZU_GENAPI_NS::IPort
{
public:
    explicit LocalPort(std::shared_ptr<Settings> aSettings) : mSettings(std::move(aSettings)) {}

    ZuResult Read(uint64_t aAddress, void *aData, int64_t aLength) override
    {
        if (!Fits(aAddress, aLength)) return ZuResult(ZU_INVALID_PARAMETER, ZuString("outside the settings"));
        uint8_t image[kSize] = {};
        Settings &s = *mSettings;
        Put(image, 0x00, s.heartbeatTimeoutMs, 4);
        Put(image, 0x04, s.answerTimeoutMs, 4);
        Put(image, 0x08, s.retries, 4);
        Put(image, 0x0C, s.readMemPacketSize, 4);
        Put(image, 0x10, s.writeMemPacketSize, 4);
        Put(image, 0x14, s.eventQueueSize, 4);
        Put(image, 0x18, s.deviceIp, 4);
        Put(image, 0x1C, s.hostIp, 4);
        Put(image, 0x20, s.messagePort, 4);
        Put(image, 0x24, s.commandTimeoutMs, 4);
        Put(image, 0x28, s.commands, 8);
        Put(image, 0x30, s.resent, 8);
        Put(image, 0x38, s.timeouts, 8);
        Put(image, 0x40, s.pendingAcks, 8);
        Put(image, 0x48, s.eventsReceived, 8);
        Put(image, 0x50, s.eventsDropped, 8);
        std::memcpy(aData, image + aAddress, size_t(aLength));
        return ZuResult();
    }

    ZuResult Write(uint64_t aAddress, const void *aData, int64_t aLength) override
    {
        Settings &s = *mSettings;
        // The writable settings by address; the rest reads only.
        std::atomic<uint32_t> *const fields[] = {&s.heartbeatTimeoutMs, &s.answerTimeoutMs,   &s.retries,
                                                 &s.readMemPacketSize,  &s.writeMemPacketSize, &s.eventQueueSize,
                                                 nullptr,               nullptr,               nullptr,
                                                 &s.commandTimeoutMs};
        if (!Fits(aAddress, aLength) || aAddress % 4 || aLength != 4 || aAddress / 4 >= std::size(fields) ||
            !fields[aAddress / 4])
            return ZuResult(ZU_INVALID_PARAMETER, ZuString("not a writable setting"));
        const uint8_t *b = static_cast<const uint8_t *>(aData);
        fields[aAddress / 4]->store((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]);
        return ZuResult();
    }

private:
    static bool Fits(uint64_t aAddress, int64_t aLength)
    {
        return aLength > 0 && aAddress <= kSize && uint64_t(aLength) <= kSize - aAddress;
    }
    template <class T> static void Put(uint8_t *aImage, size_t aAt, const std::atomic<T> &aValue, size_t aBytes)
    {
        uint64_t v = aValue.load();
        for (size_t k = 0; k < aBytes; ++k) aImage[aAt + k] = uint8_t(v >> (8 * (aBytes - 1 - k)));
    }
    std::shared_ptr<Settings> mSettings;
};

} // namespace

std::shared_ptr<ParameterSet> MakeCommunicationParameters(std::shared_ptr<Settings> aSettings)
{
    auto set = std::make_shared<ParameterSet>();
    set->port = std::make_unique<LocalPort>(std::move(aSettings));
    tarn::LoadDescription(set->array, kDescription, sizeof kDescription - 1, set->port.get());
    return set;
}

} // namespace device
} // namespace tarn
