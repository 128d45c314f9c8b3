#include "ZuLog.h"
#include "tarn/LogBinding.h"
#include "tarn/SinkList.h"

#include <string>

namespace {

// The joined sinks of the process: a sink's Log may log, and sinks may join
// or leave, on any thread at any time (see tarn::SinkList).
typedef tarn::SinkList<ZuLogSink> Registry;

Registry &GetRegistry()
{
    static Registry *sRegistry = new Registry; // never destroyed: sinks may outlive static destruction
    return *sRegistry;
}

thread_local bool tJoinDeferred = false; // see tarn::DeferredLogJoin

} // namespace

struct ZuLogger::Impl
{
    void Log(ZuLogLevelEnum aLevel, const char *aFile, int aLine, const char *aFunction, const char *aMessage) const;

    std::string mName;
    int mPriority = ZuLogLevelCritical;
};

struct ZuLogSink::Impl
{
};

struct tarn::LogAccess
{
    // Hands one entry to every joined sink.
    static void Dispatch(ZuLogLevelEnum aLevel, const char *aLogger, uint32_t aLine, const char *aFile,
                         const char *aFunction, const char *aMessage);
};

void tarn::LogAccess::Dispatch(ZuLogLevelEnum aLevel, const char *aLogger, uint32_t aLine, const char *aFile,
                               const char *aFunction, const char *aMessage)
{
    GetRegistry().ForEach([&](ZuLogSink *aSink) {
        try {
            aSink->Log(aLevel, aLogger, aLine, aFile, aFunction, aMessage);
        } catch (...) {
            // A failing sink must not end the process nor stop the others.
        }
    });
}

ZuLogger::ZuLogger(const ZuString &aName) : mImpl(new Impl) { mImpl->mName = aName.GetAscii(); }
ZuLogger::~ZuLogger() {}

void ZuLogger::Impl::Log(ZuLogLevelEnum aLevel, const char *aFile, int aLine, const char *aFunction,
                         const char *aMessage) const
{
    if (aLevel == ZuLogLevelUnknown || static_cast<int>(aLevel) > mPriority) return;
    tarn::LogAccess::Dispatch(aLevel, mName.c_str(), aLine < 0 ? 0u : static_cast<uint32_t>(aLine), aFile, aFunction,
                              aMessage);
}

void ZuLogger::LogInfo(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { mImpl->Log(ZuLogLevelInfo, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogError(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { mImpl->Log(ZuLogLevelError, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogWarning(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { mImpl->Log(ZuLogLevelWarning, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogCritical(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { mImpl->Log(ZuLogLevelCritical, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogDebug(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { mImpl->Log(ZuLogLevelDebug, aFile, aLine, aFunction, aMessage); }

void ZuLogger::SetLogPriority(int32_t aPriority) { mImpl->mPriority = aPriority; }
int ZuLogger::GetLogPriority() { return mImpl->mPriority; }

ZuLogSink::ZuLogSink() : mImpl(new Impl)
{
    if (!tJoinDeferred)
        tarn::JoinLogging(*this);
}

void tarn::JoinLogging(ZuLogSink &aSink)
{
    // Joined already: stays so.
    GetRegistry().Add(&aSink);
}

tarn::DeferredLogJoin::DeferredLogJoin() : mOuter(tJoinDeferred) { tJoinDeferred = true; }
tarn::DeferredLogJoin::~DeferredLogJoin() { tJoinDeferred = mOuter; }

ZuLogSink::~ZuLogSink() { tarn::LeaveLogging(*this); }

void tarn::LeaveLogging(ZuLogSink &aSink)
{
    // Not joined: nothing to leave.
    GetRegistry().Remove(&aSink);
}
