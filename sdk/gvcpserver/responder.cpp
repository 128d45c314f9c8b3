#include "gvcpserver/responder.h"

namespace tarn {
namespace gvcp {

Responder::Responder(const DeviceIdentity &identity)
{
    setIdentity(identity);
}

void Responder::setIdentity(const DeviceIdentity &identity)
{
    mIdentity = identity;
    mBootstrap = std::make_unique<Bootstrap>(mIdentity);
}

void Responder::setAddress(uint32_t ip)
{
    DeviceIdentity identity = mIdentity;
    identity.ip = ip;
    if (identity.subnetMask == 0) identity.subnetMask = (ip >> 24) == 127 ? 0xFF000000u : 0xFFFFFF00u;
    setIdentity(identity);
}

std::optional<Bytes> Responder::answer(const uint8_t *data, size_t size) const
{
    auto cmd = decodeCommand(data, size);
    if (!cmd) return std::nullopt;
    const uint16_t id = cmd->header.reqId;
    const bool wantsAck = (cmd->header.flags & FLAG_ACK_REQUIRED) != 0;
    switch (cmd->header.command) {
    case DISCOVERY_CMD:
        return encodeDiscoveryAck(id, mIdentity);
    case READREG_CMD: {
        auto rr = ReadRegCmd::decode(*cmd);
        if (!rr) return encodeAck(READREG_ACK, STATUS_INVALID_PARAMETER, id, {});
        ReadRegAck ack;
        uint16_t status = STATUS_SUCCESS;
        for (uint32_t a : rr->addresses) {
            uint32_t v = 0;
            status = mBootstrap->readRegister(a, v);
            if (status != STATUS_SUCCESS) break;
            ack.values.push_back(v);
        }
        return ack.encode(id, status);
    }
    case READMEM_CMD: {
        auto rm = ReadMemCmd::decode(*cmd);
        if (!rm) return encodeAck(READMEM_ACK, STATUS_INVALID_PARAMETER, id, {});
        ReadMemAck ack;
        ack.address = rm->address;
        uint16_t status = mBootstrap->readMemory(rm->address, rm->count, ack.data);
        if (status != STATUS_SUCCESS) ack.data.clear();
        return ack.encode(id, status);
    }
    case PACKETRESEND_CMD:
        return std::nullopt;
    default:
        if (!wantsAck) return std::nullopt;
        // Anything else is refused, and the controller learns so at once.
        return encodeAck(uint16_t(cmd->header.command + 1), STATUS_NOT_IMPLEMENTED, id, {});
    }
}

} // namespace gvcp
} // namespace tarn
