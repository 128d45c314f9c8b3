#include "ZuLog.h"
#include "tarn/LogBinding.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace {

// No lock is held while a sink is called, so that a sink's Log may log, and
// sinks may join or leave, on any thread at any time. A sink leaves only
// once no other thread is calling it; calls on the leaving thread itself (a
// sink leaving from inside a Log) are not waited for.
struct Registry
{
    std::mutex mMutex;
    std::condition_variable mIdle;
    std::vector<ZuLogSink *> mSinks;
};

Registry &GetRegistry()
{
    static Registry *sRegistry = new Registry; // never destroyed: sinks may outlive static destruction
    return *sRegistry;
}

thread_local std::vector<const ZuLogSink *> tCalling; // sinks this thread is calling
thread_local bool tJoinDeferred = false;               // see tarn::DeferredLogJoin

} // namespace

struct ZuLogger::Impl
{
    void Log(ZuLogLevelEnum aLevel, const char *aFile, int aLine, const char *aFunction, const char *aMessage) const;

    std::string mName;
    int mPriority = ZuLogLevelCritical;
};

struct ZuLogSink::Impl
{
    bool mJoined = false;
    int mCalls = 0; // calls in progress, guarded by the registry's mutex
};

struct tarn::LogAccess
{
    static ZuLogSink::Impl &Of(ZuLogSink &aSink) { return *aSink.mImpl; }
    // Hands one entry to every joined sink.
    static void Dispatch(ZuLogLevelEnum aLevel, const char *aLogger, uint32_t aLine, const char *aFile,
                         const char *aFunction, const char *aMessage);
};

void tarn::LogAccess::Dispatch(ZuLogLevelEnum aLevel, const char *aLogger, uint32_t aLine, const char *aFile,
                               const char *aFunction, const char *aMessage)
{
    Registry &lRegistry = GetRegistry();
    std::unique_lock<std::mutex> lLock(lRegistry.mMutex);
    if (lRegistry.mSinks.empty()) return;
    const std::vector<ZuLogSink *> lSinks(lRegistry.mSinks); // the sinks joined when the entry came
    for (ZuLogSink *lSink : lSinks) {
        // One that left since may be gone: only sinks still joined are called.
        if (std::find(lRegistry.mSinks.begin(), lRegistry.mSinks.end(), lSink) == lRegistry.mSinks.end()) continue;
        ++Of(*lSink).mCalls;
        tCalling.push_back(lSink);
        lLock.unlock();
        try {
            lSink->Log(aLevel, aLogger, aLine, aFile, aFunction, aMessage);
        } catch (...) {
            // A failing sink must not end the process nor stop the others.
        }
        lLock.lock();
        tCalling.pop_back();
        --Of(*lSink).mCalls;
        lRegistry.mIdle.notify_all();
    }
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
    Registry &lRegistry = GetRegistry();
    std::lock_guard<std::mutex> lLock(lRegistry.mMutex);
    auto &lState = LogAccess::Of(aSink);
    if (lState.mJoined) return;
    lRegistry.mSinks.push_back(&aSink);
    lState.mJoined = true;
}

tarn::DeferredLogJoin::DeferredLogJoin() : mOuter(tJoinDeferred) { tJoinDeferred = true; }
tarn::DeferredLogJoin::~DeferredLogJoin() { tJoinDeferred = mOuter; }

ZuLogSink::~ZuLogSink() { tarn::LeaveLogging(*this); }

void tarn::LeaveLogging(ZuLogSink &aSink)
{
    Registry &lRegistry = GetRegistry();
    std::unique_lock<std::mutex> lLock(lRegistry.mMutex);
    auto &lState = LogAccess::Of(aSink);
    if (!lState.mJoined) return;
    auto lIt = std::find(lRegistry.mSinks.begin(), lRegistry.mSinks.end(), &aSink);
    if (lIt != lRegistry.mSinks.end()) lRegistry.mSinks.erase(lIt);
    lState.mJoined = false;
    const int lOwn = static_cast<int>(std::count(tCalling.begin(), tCalling.end(), &aSink));
    lRegistry.mIdle.wait(lLock, [&] { return lState.mCalls <= lOwn; });
}
