#ifndef TARN_USES_H
#define TARN_USES_H

// The binding's calls in progress on SDK objects, and the one rule for
// freeing an object that other threads may be using: each call a binding
// makes on an object (its wrapper, from the argument's conversion until it
// returns) is entered here; a binding's Free or delete defers the object's
// deletion while calls on it are in progress: it runs as the last of them
// ends, on that thread (at once, on the freeing thread, when none is). Nothing waits: a Free from inside a call on the object
// itself (a sink), or from a thread such a call waits for, cannot deadlock
// against it.
//
// The binding first makes the object unreachable for new calls (its
// objects stand for nothing from then on), then ends the waits of the
// calls in progress (EndWaits below), then defers or deletes it. One table
// for the process, in libZuBase, shared by every module that binds the
// SDK: a call through one module holds off a Free through another. An
// object is named by its most derived address.
//
// A call costs its thread two plain stores and a look; what orders a
// call's beginning and end against a Free on another thread is the
// binding's own lock: Enter, Leave and Defer are called with it held (the
// interpreter lock), the waits in between without.

#include "ZuBaseApi.h"

#include <functional>

class ZuDevice;
class ZuStream;
class ZuPipeline;
class ZuTransmitterGEV;
class ZuDeviceSerialPort;

namespace tarn {

struct ZU_API Uses {
    // A call on aObject begins on this thread; calls nest.
    static void Enter(const void *aObject);
    // This thread's innermost call on aObject ends. When it was the last
    // call on an object whose deletion waits for it, the deletion runs
    // here.
    static void Leave(const void *aObject);
    // aObject goes. While calls on it are in progress (on any thread, this
    // one included), aDelete is kept for the last of them to run as it
    // ends, and the answer is true; else false, and the caller deletes it
    // now. Never waits.
    static bool Defer(const void *aObject, std::function<void()> aDelete);
    // Whether Defer would keep aObject's deletion now: so that a caller
    // makes the deletion to keep only then (most objects go at once).
    static bool Deferring(const void *aObject);
    // The SDK keeps aObject beyond the call that gave it (a buffer queued
    // on a stream, until it is handed back): a use on no thread, which
    // defers a deletion as a call in progress does until LetGo ends it.
    static void Keep(const void *aObject);
    static void LetGo(const void *aObject);
    // Whether a thread other than this one is in a call on aObject.
    static bool InUse(const void *aObject);
    // Waits until no other thread is in a call on aObject: for an object
    // its owner destroys (a lent one), which cannot wait for a call of the
    // destroying thread itself.
    static void Drain(const void *aObject);

    // One call, entered for as long as the scope lasts.
    class Scope
    {
    public:
        Scope() = default;
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
        ~Scope()
        {
            if (mObject) Leave(mObject);
        }
        void Enter(const void *aObject)
        {
            if (!aObject) return;
            Uses::Enter(aObject);
            mObject = aObject;
        }

    private:
        const void *mObject = nullptr;
    };
};

// Ends the waits of calls in progress on an object that is about to be
// freed, so that they return soon (NOT_CONNECTED, or as each call says of a
// closed object); safe against those calls. An object without long waits
// (anything else) needs nothing, and says so by its answer's type, so that
// the binding need not let its lock go for it.
struct NoWaits {};
inline NoWaits EndWaits(const volatile void *) { return {}; }
ZU_API void EndWaits(ZuDevice *aDevice);            // disconnected (libZuDevice)
ZU_API void EndWaits(ZuStream *aStream);            // closed (libZuStream)
ZU_API void EndWaits(ZuPipeline *aPipeline);        // waits end as when deleted (libZuBufferReceive)
ZU_API void EndWaits(ZuTransmitterGEV *aTransmitter);  // closed (libZuTransmitter)
ZU_API void EndWaits(ZuDeviceSerialPort *aPort);    // closed (libZuSerial)

} // namespace tarn

#endif
