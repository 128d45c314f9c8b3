#include "StreamParameters.h"

#include <string>

namespace tarn {

namespace {

constexpr uint64_t kResetStatsAddress = uint64_t(StreamParameters::kCount) * 8;

struct Feature {
    const char *name;
    char kind;            // 'i' integer, 'b' boolean
    bool writable;
    int64_t initial;
    int64_t min, max;
    const char *unit;
    const char *tip;
};

// In the order of StreamParameters::Id.
const Feature kFeatures[StreamParameters::kCount] = {
    {"RequestMissingPackets", 'b', true, 1, 0, 1, "", "Asks the device again for packets that were lost."},
    {"StartStreamOnlyOnPacketIdZero", 'b', true, 0, 0, 1, "",
     "Starts a block only with its leader (packet id 0); packets of a block whose leader was lost are ignored."},
    {"ResendRequestDelay", 'i', true, 1000, 0, 10000000, "us",
     "How long a gap waits for late packets before they are asked for again."},
    {"ResendRequestTimeout", 'i', true, 20000, 100, 10000000, "us",
     "How long an asked packet is waited for before it is asked for again."},
    {"MaximumResendRequestsPerPacket", 'i', true, 3, 1, 255, "", "Requests of one packet before it counts as lost."},
    {"MaximumResendPacketsPerBlock", 'i', true, 4096, 0, 16777215, "",
     "Packets of one block that may be asked for again; a block missing more ends with TOO_MANY_RESENDS."},
    {"BlockTimeout", 'i', true, 500000, 1000, 60000000, "us",
     "A block that receives no packet for this long ends with MISSING_PACKETS."},
    {"BlockCount", 'i', false, 0, 0, 0, "", "Blocks received complete."},
    {"BlocksMissingPackets", 'i', false, 0, 0, 0, "", "Blocks that ended with packets lost."},
    {"BlocksTooManyResends", 'i', false, 0, 0, 0, "", "Blocks that ended missing too many packets to ask for."},
    {"BlocksBufferTooSmall", 'i', false, 0, 0, 0, "", "Blocks larger than the buffer they were received into."},
    {"BlocksAborted", 'i', false, 0, 0, 0, "", "Blocks ended by an abort or a close."},
    {"BlocksDropped", 'i', false, 0, 0, 0, "", "Blocks that found no buffer queued and were not received."},
    {"PipelineImagesDropped", 'i', false, 0, 0, 0, "",
     "Buffers a pipeline dropped because the application retrieved them too slowly."},
    {"PacketCount", 'i', false, 0, 0, 0, "", "Packets received."},
    {"ByteCount", 'i', false, 0, 0, 0, "B", "Bytes received in packets."},
    {"ResendRequestCount", 'i', false, 0, 0, 0, "", "Packet-resend requests sent."},
    {"ResendPacketCount", 'i', false, 0, 0, 0, "", "Packets asked for in resend requests."},
    {"PacketsRecovered", 'i', false, 0, 0, 0, "", "Packets that arrived after they were asked for."},
    {"PacketsLost", 'i', false, 0, 0, 0, "", "Packets lost for good."},
    {"PacketsRedundant", 'i', false, 0, 0, 0, "", "Packets received more than once."},
    {"PacketsOutOfOrder", 'i', false, 0, 0, 0, "", "Packets that arrived after a later one without being asked for."},
    {"PacketsIgnored", 'i', false, 0, 0, 0, "",
     "Packets that could not be used: malformed, from another sender, or for no open block."},
    {"TestPacketCount", 'i', false, 0, 0, 0, "", "Test packets received."},
    {"PacketPayloadSize", 'i', false, 0, 0, 0, "B", "Data bytes in each full data packet, as received."},
    {"SocketRxBufferSize", 'i', false, 0, 0, 0, "B", "The receive buffer the system granted the socket."},
};

std::string Description()
{
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<RegisterDescription ModelName=\"Stream\" VendorName=\"Tarn\" SchemaMajorVersion=\"1\" "
        "SchemaMinorVersion=\"1\" xmlns=\"http://www.genicam.org/GenApi/Version_1_1\">\n"
        "<Category Name=\"Root\"><pFeature>StreamSettings</pFeature><pFeature>StreamStatistics</pFeature>"
        "</Category>\n";
    std::string settings = "<Category Name=\"StreamSettings\">", statistics = "<Category Name=\"StreamStatistics\">";
    std::string nodes;
    for (int k = 0; k < StreamParameters::kCount; ++k) {
        const Feature &f = kFeatures[k];
        std::string name = f.name;
        (f.writable ? settings : statistics) += "<pFeature>" + name + "</pFeature>";
        std::string tip = "<ToolTip>" + std::string(f.tip) + "</ToolTip>";
        std::string reg = "<IntReg Name=\"" + name + (f.writable ? "Reg" : "") + "\">" + (f.writable ? "" : tip) +
                          "<Address>" + std::to_string(k * 8) + "</Address><Length>8</Length><AccessMode>" +
                          (f.writable ? "RW" : "RO") +
                          "</AccessMode><pPort>Stream</pPort><Cachable>NoCache</Cachable><Sign>Signed</Sign>"
                          "<Endianess>BigEndian</Endianess>";
        if (*f.unit && !f.writable) reg += std::string("<Unit>") + f.unit + "</Unit>";
        reg += "</IntReg>\n";
        if (f.kind == 'b') {
            nodes += "<Boolean Name=\"" + name + "\">" + tip + "<pValue>" + name +
                     "Reg</pValue><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>\n";
        } else if (f.writable) {
            nodes += "<Integer Name=\"" + name + "\">" + tip + "<pValue>" + name + "Reg</pValue><Min>" +
                     std::to_string(f.min) + "</Min><Max>" + std::to_string(f.max) + "</Max>" +
                     (*f.unit ? std::string("<Unit>") + f.unit + "</Unit>" : std::string()) + "</Integer>\n";
        }
        nodes += reg;
    }
    statistics += "<pFeature>ResetStats</pFeature>";
    xml += settings + "</Category>\n" + statistics + "</Category>\n" + nodes;
    xml += "<Command Name=\"ResetStats\"><ToolTip>Clears the statistics.</ToolTip><pValue>ResetStatsReg</pValue>"
           "<CommandValue>1</CommandValue></Command>\n"
           "<IntReg Name=\"ResetStatsReg\"><Address>" +
           std::to_string(kResetStatsAddress) +
           "</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Stream</pPort>"
           "<Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>\n"
           "<Port Name=\"Stream\"/>\n</RegisterDescription>\n";
    return xml;
}

} // namespace

StreamParameters::StreamParameters()
{
    for (int k = 0; k < kCount; ++k) mValues[k].store(kFeatures[k].initial);
    std::string xml = Description();
    mArray.reset(new ZuGenParameterArray());
    if (!tarn::LoadDescription(*mArray, xml.data(), xml.size(), this).IsOK()) mArray.reset();
}

StreamParameters::~StreamParameters() = default;

void StreamParameters::Set(Id aId, int64_t aValue)
{
    mValues[aId].store(aValue, std::memory_order_relaxed);
    if (kFeatures[aId].writable) mVersion.fetch_add(1, std::memory_order_release);
}

void StreamParameters::ResetStatistics()
{
    for (int k = 0; k < kCount; ++k)
        if (!kFeatures[k].writable && k != PacketPayloadSize && k != SocketRxBufferSize) mValues[k].store(0);
}

ZuResult StreamParameters::Read(uint64_t aAddress, void *aData, int64_t aLength)
{
    if (aLength != 8 || aAddress % 8 || aAddress > kResetStatsAddress || !aData)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no stream register there"));
    uint64_t value = aAddress == kResetStatsAddress ? 0 : uint64_t(Get(Id(aAddress / 8)));
    uint8_t *out = static_cast<uint8_t *>(aData);
    for (int k = 0; k < 8; ++k) out[k] = uint8_t(value >> (56 - 8 * k));
    return ZuResult();
}

ZuResult StreamParameters::Write(uint64_t aAddress, const void *aData, int64_t aLength)
{
    if (aLength != 8 || aAddress % 8 || aAddress > kResetStatsAddress || !aData)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no stream register there"));
    const uint8_t *in = static_cast<const uint8_t *>(aData);
    uint64_t value = 0;
    for (int k = 0; k < 8; ++k) value = (value << 8) | in[k];
    if (aAddress == kResetStatsAddress) {
        if (value) ResetStatistics();
        return ZuResult();
    }
    Id id = Id(aAddress / 8);
    if (!kFeatures[id].writable) return ZuResult(ZU_NOT_SUPPORTED, ZuString("a statistic is read only"));
    int64_t v = int64_t(value);
    if (v < kFeatures[id].min || v > kFeatures[id].max)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the value is out of range"));
    Set(id, v);
    return ZuResult();
}

} // namespace tarn
