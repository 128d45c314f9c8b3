#include "ZuLog.h"
#include "tarn/LogBinding.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
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

void ZuLogSink::Dispatch(ZuLogLevelEnum aLevel, const char *aLogger, uint32_t aLine, const char *aFile,
                         const char *aFunction, const char *aMessage)
{
    Registry &lRegistry = GetRegistry();
    std::unique_lock<std::mutex> lLock(lRegistry.mMutex);
    if (lRegistry.mSinks.empty()) return;
    const std::vector<ZuLogSink *> lSinks(lRegistry.mSinks); // the sinks joined when the entry came
    for (ZuLogSink *lSink : lSinks) {
        // One that left since may be gone: only sinks still joined are called.
        if (std::find(lRegistry.mSinks.begin(), lRegistry.mSinks.end(), lSink) == lRegistry.mSinks.end()) continue;
        ++lSink->mCalls;
        tCalling.push_back(lSink);
        lLock.unlock();
        try {
            lSink->Log(aLevel, aLogger, aLine, aFile, aFunction, aMessage);
        } catch (...) {
            // A failing sink must not end the process nor stop the others.
        }
        lLock.lock();
        tCalling.pop_back();
        --lSink->mCalls;
        lRegistry.mIdle.notify_all();
    }
}

ZuLogger::ZuLogger(const ZuString &aName) : mName(aName.GetAscii()), mPriority(ZuLogLevelCritical) {}
ZuLogger::~ZuLogger() {}

void ZuLogger::Log(ZuLogLevelEnum aLevel, const char *aFile, int aLine, const char *aFunction, const char *aMessage)
{
    if (aLevel == ZuLogLevelUnknown || static_cast<int>(aLevel) > mPriority) return;
    ZuLogSink::Dispatch(aLevel, mName.c_str(), aLine < 0 ? 0u : static_cast<uint32_t>(aLine), aFile, aFunction, aMessage);
}

void ZuLogger::LogInfo(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { Log(ZuLogLevelInfo, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogError(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { Log(ZuLogLevelError, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogWarning(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { Log(ZuLogLevelWarning, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogCritical(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { Log(ZuLogLevelCritical, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogDebug(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { Log(ZuLogLevelDebug, aFile, aLine, aFunction, aMessage); }

void ZuLogger::SetLogPriority(int32_t aPriority) { mPriority = aPriority; }
int ZuLogger::GetLogPriority() { return mPriority; }

ZuLogSink::ZuLogSink() : mJoined(false), mCalls(0)
{
    if (!tJoinDeferred)
        JoinLogging();
}

void ZuLogSink::JoinLogging()
{
    Registry &lRegistry = GetRegistry();
    std::lock_guard<std::mutex> lLock(lRegistry.mMutex);
    if (mJoined) return;
    lRegistry.mSinks.push_back(this);
    mJoined = true;
}

tarn::DeferredLogJoin::DeferredLogJoin() : mOuter(tJoinDeferred) { tJoinDeferred = true; }
tarn::DeferredLogJoin::~DeferredLogJoin() { tJoinDeferred = mOuter; }

ZuLogSink::~ZuLogSink() { LeaveLogging(); }

void ZuLogSink::LeaveLogging()
{
    Registry &lRegistry = GetRegistry();
    std::unique_lock<std::mutex> lLock(lRegistry.mMutex);
    if (!mJoined) return;
    auto lIt = std::find(lRegistry.mSinks.begin(), lRegistry.mSinks.end(), this);
    if (lIt != lRegistry.mSinks.end()) lRegistry.mSinks.erase(lIt);
    mJoined = false;
    const int lOwn = static_cast<int>(std::count(tCalling.begin(), tCalling.end(), this));
    lRegistry.mIdle.wait(lLock, [&] { return mCalls <= lOwn; });
}
