// GVCP packets as they arrive from the network, through every decoder: the
// generic command and acknowledge split, then each typed command and
// acknowledge, whatever the header claims to be.
#include "gev/gvcp.h"

#include <cstdlib>

using namespace tarn::gvcp;

namespace {

void Require(bool aHolds)
{
    if (!aHolds)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    if (auto cmd = decodeCommand(aData, aSize)) {
        ForceIp::Decode(*cmd);
        if (auto rr = ReadRegCmd::Decode(*cmd))
            Require(!rr->addresses.empty() && rr->addresses.size() <= 135);
        if (auto wr = WriteRegCmd::Decode(*cmd))
            Require(!wr->writes.empty() && wr->writes.size() <= 67);
        ReadMemCmd::Decode(*cmd);
        // Memory is written in whole registers only.
        if (auto wm = WriteMemCmd::Decode(*cmd))
            Require(!wm->data.empty() && wm->data.size() % 4 == 0 && wm->data.size() <= kMaxPayload - 4);
        PacketResendCmd::Decode(*cmd);
        EventCmd::Decode(*cmd);
        EventDataCmd::Decode(*cmd);
        ActionCmd::Decode(*cmd);
        // A decoded payload never exceeds what the packet held.
        Require(cmd->payload.size() + kHeaderSize <= aSize);
    }
    if (auto ack = decodeAck(aData, aSize)) {
        ReadRegAck::Decode(*ack);
        WriteAck::Decode(*ack);
        ReadMemAck::Decode(*ack);
        PendingAck::Decode(*ack);
        Require(ack->payload.size() + kHeaderSize <= aSize);
    }
    uint16_t ackId = 0;
    decodeDiscoveryAck(aData, aSize, &ackId);
    DeviceIdentity::Decode(aData, aSize);
    return 0;
}
