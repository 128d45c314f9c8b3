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

} // namespace tarn

#endif
