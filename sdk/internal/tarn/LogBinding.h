#ifndef TARN_LOG_BINDING_H
#define TARN_LOG_BINDING_H

// How the bindings make a log sink: a sink joins the SDK's logging in its
// constructor, but one whose most derived part (a director) is still being
// built must not yet be called by a thread that logs meanwhile. While a
// DeferredLogJoin lives on a thread, sinks constructed there wait for their
// JoinLogging.

#include "ZuLog.h"

namespace tarn {

class ZU_API DeferredLogJoin
{
public:
    DeferredLogJoin();
    ~DeferredLogJoin();
    DeferredLogJoin(const DeferredLogJoin &) = delete;
    DeferredLogJoin &operator=(const DeferredLogJoin &) = delete;

private:
    bool mOuter; // whether joining was deferred already (nested construction)
};

// Joins the SDK's logging: for a sink constructed while joining was
// deferred, once it is whole. Nothing when the sink has joined already.
ZU_API void JoinLogging(ZuLogSink &aSink);

// Stops the SDK from calling the sink; returns once no other thread is
// calling it. Destructors of derived sinks call it before their own parts
// go; a sink that left may join again.
ZU_API void LeaveLogging(ZuLogSink &aSink);

} // namespace tarn

#endif
