#include "gev/dissect.h"

#include "gev/gvcp.h"
#include "gev/gvsp.h"
#include "gev/wire.h"

#include <cstdarg>
#include <cstdio>

namespace tarn {
namespace gev {

namespace {

using namespace tarn::gvcp;

// Appends to a fixed buffer; what does not fit is cut, never overrun.
class Line
{
public:
    Line(char *aOut, size_t aCapacity) : mOut(aOut), mCapacity(aCapacity)
    {
        if (mCapacity) mOut[0] = 0;
    }
    __attribute__((format(printf, 2, 3))) void Add(const char *aFormat, ...)
    {
        if (mLength + 1 >= mCapacity) return;
        va_list args;
        va_start(args, aFormat);
        int n = std::vsnprintf(mOut + mLength, mCapacity - mLength, aFormat, args);
        va_end(args);
        if (n < 0) return;
        mLength += size_t(n) < mCapacity - mLength ? size_t(n) : mCapacity - mLength - 1;
    }
    void Ip(const char *aName, uint32_t a)
    {
        Add(" %s=%u.%u.%u.%u", aName, a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
    }
    // Printable bytes as they are, the rest as \xNN, up to a null byte.
    void Text(const char *aName, const uint8_t *aText, size_t aWidth)
    {
        Add(" %s=\"", aName);
        for (size_t k = 0; k < aWidth && aText[k]; ++k) {
            uint8_t c = aText[k];
            if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') Add("%c", char(c));
            else Add("\\x%02x", c);
        }
        Add("\"");
    }
    void Hex(const uint8_t *aData, size_t aSize, size_t aMost)
    {
        for (size_t k = 0; k < aSize && k < aMost; ++k) Add(" %02x", aData[k]);
        if (aSize > aMost) Add(" ...");
    }
    size_t Length() const { return mLength; }

private:
    char *mOut;
    size_t mCapacity;
    size_t mLength = 0;
};

constexpr size_t kMostItems = 4;
constexpr size_t kMostBytes = 16;

void code(Line &aLine, uint16_t aCode)
{
    if (const char *name = gvcpCommandName(aCode)) aLine.Add("%s", name);
    else aLine.Add("command 0x%04x", aCode);
}

void identity(Line &aLine, Reader &r)
{
    const uint16_t major = r.U16(), minor = r.U16();
    r.Skip(4 + 2);
    const uint8_t *mac = r.View(6);
    r.Skip(8 + 12);
    const uint32_t ip = r.U32();
    r.Skip(12 + 4 + 12 + 4);
    const uint8_t *manufacturer = r.View(32);
    const uint8_t *model = r.View(32);
    r.Skip(32 + 48);
    const uint8_t *serial = r.View(16);
    const uint8_t *name = r.View(16);
    if (!r.Ok()) {
        aLine.Add(" malformed identity");
        return;
    }
    aLine.Add(" version=%u.%u mac=%02x:%02x:%02x:%02x:%02x:%02x", major, minor, mac[0], mac[1], mac[2], mac[3],
              mac[4], mac[5]);
    aLine.Ip("ip", ip);
    aLine.Text("manufacturer", manufacturer, 32);
    aLine.Text("model", model, 32);
    aLine.Text("serial", serial, 16);
    aLine.Text("name", name, 16);
}

void words(Line &aLine, Reader &r, const char *aName, size_t aPerItem)
{
    if (aPerItem == 0 || r.Left() % (4 * aPerItem)) {
        aLine.Add(" malformed: %zu bytes", r.Left());
        return;
    }
    const size_t count = r.Left() / (4 * aPerItem);
    aLine.Add(" %s=", aName);
    for (size_t k = 0; k < count && k < kMostItems; ++k) {
        if (k) aLine.Add(",");
        aLine.Add("0x%08x", r.U32());
        if (aPerItem == 2) aLine.Add(":0x%08x", r.U32());
    }
    if (count > kMostItems) aLine.Add(",... (%zu)", count);
}

void event(Line &aLine, Reader &r, bool aExtended)
{
    r.U16();
    const uint16_t id = r.U16(), channel = r.U16();
    uint64_t block;
    if (aExtended) {
        r.U16();
        block = r.U64();
    } else {
        block = r.U16();
    }
    const uint64_t timestamp = r.U64();
    if (!r.Ok()) {
        aLine.Add(" malformed event");
        return;
    }
    aLine.Add(" event=0x%04x channel=%u block=%llu timestamp=%llu", id, channel, (unsigned long long)block,
              (unsigned long long)timestamp);
}

// A payload this dissector does not know the layout of.
void payload(Line &aLine, Reader &r)
{
    const size_t size = r.Left();
    if (size) {
        aLine.Add(" payload");
        aLine.Hex(r.View(size), size, kMostBytes);
    }
}

void command(Line &aLine, uint8_t aFlags, uint16_t aCommand, Reader &r)
{
    const bool extended = (aFlags & FLAG_EXTENDED_ID) != 0;
    switch (aCommand) {
    case DISCOVERY_CMD:
        if (aFlags & FLAG_DISCOVERY_BROADCAST_ACK) aLine.Add(" broadcast-ack");
        break;
    case FORCEIP_CMD: {
        r.Skip(2);
        const uint8_t *mac = r.View(6);
        r.Skip(12);
        const uint32_t ip = r.U32();
        r.Skip(12);
        const uint32_t mask = r.U32();
        if (!r.Ok()) break;
        aLine.Add(" mac=%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
        aLine.Ip("ip", ip);
        aLine.Ip("mask", mask);
        return;
    }
    case READREG_CMD:
        return words(aLine, r, "addresses", 1);
    case WRITEREG_CMD:
        return words(aLine, r, "writes", 2);
    case READMEM_CMD: {
        const uint32_t address = r.U32();
        r.U16();
        const uint16_t count = r.U16();
        if (!r.Ok()) break;
        aLine.Add(" address=0x%08x count=%u", address, count);
        return;
    }
    case WRITEMEM_CMD: {
        const uint32_t address = r.U32();
        if (!r.Ok()) break;
        aLine.Add(" address=0x%08x bytes=%zu", address, r.Left());
        return;
    }
    case PACKETRESEND_CMD: {
        const uint16_t channel = r.U16();
        uint64_t block;
        uint32_t first, last;
        if (extended) {
            r.U16();
            first = r.U32();
            last = r.U32();
            block = r.U64();
        } else {
            block = r.U16();
            first = r.U32() & 0xFFFFFF;
            last = r.U32() & 0xFFFFFF;
        }
        if (!r.Ok()) break;
        aLine.Add(" channel=%u block=%llu packets=%u..%u", channel, (unsigned long long)block, first, last);
        return;
    }
    case EVENT_CMD:
    case EVENTDATA_CMD: {
        event(aLine, r, extended);
        if (aCommand == EVENT_CMD && r.Ok() && r.Left()) aLine.Add(" +%zu bytes", r.Left());
        if (aCommand == EVENTDATA_CMD && r.Ok()) aLine.Add(" data=%zu bytes", r.Left());
        return;
    }
    case ACTION_CMD: {
        const uint32_t device = r.U32(), group = r.U32(), mask = r.U32();
        const bool scheduled = (aFlags & FLAG_SCHEDULED_ACTION) != 0;
        const uint64_t time = scheduled ? r.U64() : 0;
        if (!r.Ok()) break;
        aLine.Add(" device-key=0x%08x group-key=0x%08x group-mask=0x%08x", device, group, mask);
        if (scheduled) aLine.Add(" time=%llu", (unsigned long long)time);
        return;
    }
    default:
        return payload(aLine, r);
    }
    if (!r.Ok()) aLine.Add(" malformed");
}

void ack(Line &aLine, uint16_t aAnswer, uint16_t aStatus, Reader &r)
{
    if (aStatus != STATUS_SUCCESS && r.Left() == 0) return;
    switch (aAnswer) {
    case DISCOVERY_ACK:
        return identity(aLine, r);
    case READREG_ACK:
        return words(aLine, r, "values", 1);
    case WRITEREG_ACK:
    case WRITEMEM_ACK:
    case PENDING_ACK: {
        r.U16();
        const uint16_t value = r.U16();
        if (!r.Ok()) break;
        aLine.Add(aAnswer == PENDING_ACK ? " time-to-completion=%u ms" : " index=%u", value);
        return;
    }
    case READMEM_ACK: {
        const uint32_t address = r.U32();
        if (!r.Ok()) break;
        aLine.Add(" address=0x%08x bytes=%zu", address, r.Left());
        return;
    }
    default:
        return payload(aLine, r);
    }
    aLine.Add(" malformed");
}

} // namespace

const char *gvcpCommandName(uint16_t aCode)
{
    switch (aCode) {
    case DISCOVERY_CMD: return "DISCOVERY_CMD";
    case DISCOVERY_ACK: return "DISCOVERY_ACK";
    case FORCEIP_CMD: return "FORCEIP_CMD";
    case FORCEIP_ACK: return "FORCEIP_ACK";
    case PACKETRESEND_CMD: return "PACKETRESEND_CMD";
    case READREG_CMD: return "READREG_CMD";
    case READREG_ACK: return "READREG_ACK";
    case WRITEREG_CMD: return "WRITEREG_CMD";
    case WRITEREG_ACK: return "WRITEREG_ACK";
    case READMEM_CMD: return "READMEM_CMD";
    case READMEM_ACK: return "READMEM_ACK";
    case WRITEMEM_CMD: return "WRITEMEM_CMD";
    case WRITEMEM_ACK: return "WRITEMEM_ACK";
    case PENDING_ACK: return "PENDING_ACK";
    case EVENT_CMD: return "EVENT_CMD";
    case EVENT_ACK: return "EVENT_ACK";
    case EVENTDATA_CMD: return "EVENTDATA_CMD";
    case EVENTDATA_ACK: return "EVENTDATA_ACK";
    case ACTION_CMD: return "ACTION_CMD";
    case ACTION_ACK: return "ACTION_ACK";
    default: return nullptr;
    }
}

const char *gvcpStatusName(uint16_t aStatus)
{
    switch (aStatus) {
    case STATUS_SUCCESS: return "SUCCESS";
    case STATUS_PACKET_RESEND: return "PACKET_RESEND";
    case STATUS_NOT_IMPLEMENTED: return "NOT_IMPLEMENTED";
    case STATUS_INVALID_PARAMETER: return "INVALID_PARAMETER";
    case STATUS_INVALID_ADDRESS: return "INVALID_ADDRESS";
    case STATUS_WRITE_PROTECT: return "WRITE_PROTECT";
    case STATUS_BAD_ALIGNMENT: return "BAD_ALIGNMENT";
    case STATUS_ACCESS_DENIED: return "ACCESS_DENIED";
    case STATUS_BUSY: return "BUSY";
    case STATUS_PACKET_UNAVAILABLE: return "PACKET_UNAVAILABLE";
    case STATUS_INVALID_HEADER: return "INVALID_HEADER";
    case STATUS_ERROR: return "ERROR";
    default: return nullptr;
    }
}

size_t dissectGvcp(const uint8_t *aData, size_t aSize, char *aOut, size_t aCapacity)
{
    Line line(aOut, aCapacity);
    Reader header(aData, aSize);
    const uint16_t first = header.U16(), second = header.U16(), length = header.U16(), id = header.U16();
    if (!header.Ok()) {
        line.Add("GVCP truncated: %zu bytes", aData ? aSize : 0);
        if (aData) line.Hex(aData, aSize, kMostBytes);
        return line.Length();
    }
    // A command opens with the key; no status has it as its high byte.
    const bool isCommand = (first >> 8) == kKey;
    line.Add("GVCP ");
    if (isCommand) {
        code(line, second);
        line.Add(" req=%u flags=0x%02x", id, first & 0xFF);
    } else {
        code(line, second);
        line.Add(" ack=%u status=", id);
        if (const char *status = gvcpStatusName(first)) line.Add("%s", status);
        else line.Add("0x%04x", first);
    }
    line.Add(" length=%u", length);
    const size_t present = aSize - kHeaderSize;
    if (length > present) {
        line.Add(" truncated: %zu of %u payload bytes", present, length);
        return line.Length();
    }
    Reader payload(aData + kHeaderSize, length);
    if (isCommand) command(line, uint8_t(first), second, payload);
    else ack(line, second, first, payload);
    if (present > length) line.Add(" (+%zu bytes beyond)", present - length);
    return line.Length();
}

std::string dissectGvcp(const uint8_t *aData, size_t aSize)
{
    char text[512];
    size_t n = dissectGvcp(aData, aSize, text, sizeof text);
    return std::string(text, n);
}

namespace {

void gvspLeader(Line &aLine, const gvsp::Packet &aPacket)
{
    std::optional<gvsp::Leader> l = gvsp::decodeLeader(aPacket);
    if (!l) {
        aLine.Add(" malformed leader: %zu bytes", aPacket.bodySize);
        return;
    }
    if (const char *name = gvsp::payloadTypeName(l->payloadType)) aLine.Add(" %s", name);
    else aLine.Add(" payload=0x%04x", l->payloadType);
    if (gvsp::hasChunks(l->payloadType)) aLine.Add("+chunks");
    aLine.Add(" timestamp=%llu", (unsigned long long)l->timestamp);
    uint16_t base = gvsp::basePayloadType(l->payloadType);
    if (base == gvsp::PAYLOAD_IMAGE || l->payloadType == gvsp::PAYLOAD_COMPRESSED)
        aLine.Add(" pixel=0x%08x size=%ux%u", l->image.pixelFormat, l->image.sizeX, l->image.sizeY);
    if (base == gvsp::PAYLOAD_IMAGE)
        aLine.Add(" offset=%u,%u padding=%u,%u", l->image.offsetX, l->image.offsetY, l->image.paddingX,
                  l->image.paddingY);
    if (base == gvsp::PAYLOAD_RAW || base == gvsp::PAYLOAD_GENDC || l->payloadType == gvsp::PAYLOAD_COMPRESSED)
        aLine.Add(" bytes=%llu", (unsigned long long)l->payloadSize);
    if (base == gvsp::PAYLOAD_GENDC) aLine.Add(" descriptor=%u", l->genDCDescriptorSize);
    if (l->partCount) {
        aLine.Add(" parts=%u", l->partCount);
        for (uint32_t i = 0; i < l->partCount && i < kMostItems; ++i) {
            gvsp::PartInfo p = l->Part(i);
            aLine.Add(" [type=%u bytes=%llu format=0x%08x]", p.dataType, (unsigned long long)p.length, p.dataFormat);
        }
    }
}

void gvspTrailer(Line &aLine, const gvsp::Packet &aPacket)
{
    std::optional<gvsp::Trailer> t = gvsp::decodeTrailer(aPacket);
    if (!t) {
        aLine.Add(" malformed trailer: %zu bytes", aPacket.bodySize);
        return;
    }
    if (const char *name = gvsp::payloadTypeName(t->payloadType)) aLine.Add(" %s", name);
    else aLine.Add(" payload=0x%04x", t->payloadType);
    uint16_t base = gvsp::basePayloadType(t->payloadType);
    if (base == gvsp::PAYLOAD_IMAGE || t->payloadType == gvsp::PAYLOAD_COMPRESSED) aLine.Add(" lines=%u", t->sizeY);
    if (gvsp::hasChunks(t->payloadType) || base == gvsp::PAYLOAD_CHUNK)
        aLine.Add(" chunks=%u layout=0x%08x", t->chunkPayloadLength, t->chunkLayoutId);
    if (t->partCount) aLine.Add(" parts=%u", t->partCount);
}

} // namespace

size_t dissectGvsp(const uint8_t *aData, size_t aSize, char *aOut, size_t aCapacity)
{
    Line line(aOut, aCapacity);
    std::optional<gvsp::Packet> packet = gvsp::parsePacket(aData, aSize);
    if (!packet) {
        line.Add("GVSP truncated: %zu bytes", aData ? aSize : 0);
        if (aData) line.Hex(aData, aSize, kMostBytes);
        return line.Length();
    }
    const gvsp::Header &h = packet->header;
    line.Add("GVSP ");
    if (gvsp::isTestPacket(*packet)) {
        line.Add("TEST %zu bytes", aSize);
        return line.Length();
    }
    if (const char *name = gvsp::formatName(h.format)) line.Add("%s", name);
    else line.Add("format %u", h.format);
    line.Add(" block=%llu packet=%u", (unsigned long long)h.blockId, h.packetId);
    if (h.extendedId) line.Add(" extended flags=0x%04x", h.flags);
    if (h.status != gvsp::STATUS_SUCCESS) {
        line.Add(" status=");
        if (const char *status = gvsp::statusName(h.status)) line.Add("%s", status);
        else line.Add("0x%04x", h.status);
    }
    switch (h.format) {
    case gvsp::FORMAT_LEADER:
        if (packet->bodySize) gvspLeader(line, *packet);
        break;
    case gvsp::FORMAT_TRAILER:
        if (packet->bodySize) gvspTrailer(line, *packet);
        break;
    case gvsp::FORMAT_MULTIPART: {
        size_t n = 0;
        std::optional<gvsp::MultiPartData> d = gvsp::decodeMultiPartData(*packet, nullptr, &n);
        if (d) line.Add(" part=%u offset=%llu data=%zu", d->partId, (unsigned long long)d->offset, n);
        else line.Add(" malformed: %zu bytes", packet->bodySize);
        break;
    }
    case gvsp::FORMAT_GENDC: {
        size_t n = 0;
        std::optional<gvsp::GenDCData> d = gvsp::decodeGenDCData(*packet, nullptr, &n);
        if (d)
            line.Add(" offset=%llu data=%zu flags=0x%02x flow=%u", (unsigned long long)d->destinationOffset, n,
                     d->dataFlags, d->flowId);
        else line.Add(" malformed: %zu bytes", packet->bodySize);
        break;
    }
    default:
        line.Add(" data=%zu", packet->bodySize);
        break;
    }
    return line.Length();
}

std::string dissectGvsp(const uint8_t *aData, size_t aSize)
{
    char text[512];
    size_t n = dissectGvsp(aData, aSize, text, sizeof text);
    return std::string(text, n);
}

} // namespace gev
} // namespace tarn
