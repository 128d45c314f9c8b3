// The device side's input: any packet handed to the server, from its
// controller or from another application, gets acknowledges that are
// themselves well-formed GVCP acknowledges of the command's request id, or
// none; the server's state (privilege, channels) carries over from one
// input to the next, as on a network.
#include "gvcpserver/server.h"

#include <cstdlib>
#include <cstring>

using namespace tarn::gvcp;
using namespace tarn::gvcpserver;

namespace {

class Ram : public DeviceMemory
{
public:
    Status Read(uint32_t address, uint8_t *data, uint32_t count) override
    {
        if (address < 0x20000 || address - 0x20000 + uint64_t(count) > sizeof mBytes) return STATUS_INVALID_ADDRESS;
        std::memcpy(data, mBytes + (address - 0x20000), count);
        return STATUS_SUCCESS;
    }
    Status Write(uint32_t address, const uint8_t *data, uint32_t count) override
    {
        if (address < 0x20000 || address - 0x20000 + uint64_t(count) > sizeof mBytes) return STATUS_INVALID_ADDRESS;
        std::memcpy(mBytes + (address - 0x20000), data, count);
        return STATUS_SUCCESS;
    }
    uint32_t WriteTime(uint32_t address, uint32_t) override { return address == 0x20100 ? 1000 : 0; }

private:
    uint8_t mBytes[0x1000] = {};
};

class Discard : public ServerOutput
{
public:
    void SendControl(const Bytes &packet, const tarn::net::Endpoint &) override
    {
        auto ack = decodeAck(packet.data(), packet.size());
        if (!ack || packet.size() > kHeaderSize + kMaxPayload || ack->header.ackId != expectedId) abort();
    }
    void SendMessage(const Bytes &packet, const tarn::net::Endpoint &) override
    {
        if (!decodeCommand(packet.data(), packet.size())) abort();
    }
    uint16_t expectedId = 0;
};

Server &Device()
{
    static Server *sServer = [] {
        static Ram ram;
        ServerConfig config;
        config.identity.mac = {0x02, 0, 0, 0, 0, 1};
        config.identity.ip = 0x7F00000A;
        config.identity.subnetMask = 0xFF000000;
        config.identity.manufacturerName = "tarn";
        config.identity.modelName = "Fuzz";
        config.identity.serialNumber = "F1";
        config.description = Bytes(100, 'x');
        config.descriptionAddress = 0x30000;
        return new Server(config, &ram);
    }();
    return *sServer;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    static Clock::time_point now{};
    Discard out;
    auto cmd = decodeCommand(aData, aSize);
    out.expectedId = cmd ? cmd->header.reqId : 0;
    // The first byte after the command picks one of two applications.
    tarn::net::Endpoint from{0x7F000001, uint16_t(aSize > 8 && (aData[aSize - 1] & 1) ? 5001 : 5002)};
    Device().Handle(aData, aSize, from, now, out);
    now += std::chrono::milliseconds(aSize);
    Device().Tick(now, out);
    return 0;
}
