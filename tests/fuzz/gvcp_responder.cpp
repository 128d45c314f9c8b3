// The device side's input: any packet handed to the responder gets an
// acknowledge that is itself a well-formed GVCP acknowledge, or none.
#include "gvcpserver/responder.h"

#include <cstdlib>

using namespace tarn::gvcp;

namespace {

const Responder &Device()
{
    static Responder *sResponder = [] {
        DeviceIdentity identity;
        identity.mac = {0x02, 0, 0, 0, 0, 1};
        identity.ip = 0x7F00000A;
        identity.subnetMask = 0xFF000000;
        identity.manufacturerName = "tarn";
        identity.modelName = "Fuzz";
        identity.serialNumber = "F1";
        return new Responder(identity);
    }();
    return *sResponder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    auto reply = Device().answer(aData, aSize);
    if (reply) {
        auto ack = decodeAck(reply->data(), reply->size());
        if (!ack || reply->size() > kHeaderSize + kMaxPayload)
            abort();
        // The acknowledge answers the command's request id.
        auto cmd = decodeCommand(aData, aSize);
        if (!cmd || ack->header.ackId != cmd->header.reqId)
            abort();
    }
    return 0;
}
