#ifndef TARN_INTERNAL_TRANSMITTER_H
#define TARN_INTERNAL_TRANSMITTER_H

// What the bindings and tests reach of a transmitter beyond its public
// operations.

#include <cstdint>
#include <functional>
#include <memory>

#include "ZuBaseApi.h"
#include "tarn/SinkList.h"

class ZuBuffer;
class ZuTransmitterGEV;

namespace tarn {
namespace transmitter {

// What keeps a transmitter's address (a responder that passes it resend
// requests) and must let go of it before the transmitter goes, whatever
// order the application destroys them in. Told on the thread that destroys
// the transmitter, before any of it is gone.
class User
{
public:
    virtual void TransmitterGoes(ZuTransmitterGEV *aTransmitter) = 0;

protected:
    ~User() = default;
};
typedef SinkList<User> Users;

// The users of a transmitter. A user keeps a share of the list, so that it
// can leave it after the transmitter went.
ZU_API std::shared_ptr<Users> UsersOf(ZuTransmitterGEV &aTransmitter);

// Told of each buffer the transmitter lets go of for good: handed out by
// RetrieveFreeBuffer, or still held when the transmitter is destroyed. On
// the thread of that call, with no lock of the transmitter held.
ZU_API void SetBufferReleaseHook(ZuTransmitterGEV &aTransmitter, std::function<void(ZuBuffer *)> aHook);

// Packets for which aDrop answers true are counted as sent but never leave:
// a seeded loss for tests of the resend road.
ZU_API void SetDropFilter(ZuTransmitterGEV &aTransmitter,
                          std::function<bool(uint64_t aBlockId, uint32_t aPacketId, bool aResend)> aDrop);

// Packets sent again for resend requests, and packets answered with their
// header alone because their block was no longer held.
ZU_API uint64_t PacketsResent(const ZuTransmitterGEV &aTransmitter);
ZU_API uint64_t PacketsUnavailable(const ZuTransmitterGEV &aTransmitter);

} // namespace transmitter
} // namespace tarn

#endif
