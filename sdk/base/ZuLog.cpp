#include "ZuLog.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>
#include <vector>

namespace {

// Sinks are called under a shared lock so that a sink can only leave once
// no call into it is in progress; a thread that logs from inside a sink
// does not take the lock twice.
struct Registry
{
    std::shared_mutex mMutex;
    std::vector<ZuLogSink *> mSinks;
};

Registry &GetRegistry()
{
    static Registry *sRegistry = new Registry; // never destroyed: sinks may outlive static destruction
    return *sRegistry;
}

thread_local int tDispatchDepth = 0;

void Dispatch(ZuLogLevelEnum aLevel, const char *aLogger, uint32_t aLine, const char *aFile,
              const char *aFunction, const char *aMessage)
{
    Registry &lRegistry = GetRegistry();
    std::shared_lock<std::shared_mutex> lLock(lRegistry.mMutex, std::defer_lock);
    if (tDispatchDepth == 0) lLock.lock();
    ++tDispatchDepth;
    // Index loop: a sink may join while we dispatch on this thread.
    for (size_t lI = 0; lI < lRegistry.mSinks.size(); ++lI) {
        try {
            lRegistry.mSinks[lI]->Log(aLevel, aLogger, aLine, aFile, aFunction, aMessage);
        } catch (...) {
            // A failing sink must not end the process nor stop the others.
        }
    }
    --tDispatchDepth;
}

} // namespace

ZuLogger::ZuLogger(const ZuString &aName) : mName(aName.GetAscii()), mPriority(ZuLogLevelCritical) {}
ZuLogger::~ZuLogger() {}

void ZuLogger::Log(ZuLogLevelEnum aLevel, const char *aFile, int aLine, const char *aFunction, const char *aMessage)
{
    if (aLevel == ZuLogLevelUnknown || static_cast<int>(aLevel) > mPriority) return;
    Dispatch(aLevel, mName.c_str(), aLine < 0 ? 0u : static_cast<uint32_t>(aLine), aFile, aFunction, aMessage);
}

void ZuLogger::LogInfo(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { Log(ZuLogLevelInfo, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogError(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { Log(ZuLogLevelError, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogWarning(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { Log(ZuLogLevelWarning, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogCritical(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { Log(ZuLogLevelCritical, aFile, aLine, aFunction, aMessage); }
void ZuLogger::LogDebug(const char *aFile, int aLine, const char *aFunction, const char *aMessage) { Log(ZuLogLevelDebug, aFile, aLine, aFunction, aMessage); }

void ZuLogger::SetLogPriority(int32_t aPriority) { mPriority = aPriority; }
int ZuLogger::GetLogPriority() { return mPriority; }

ZuLogSink::ZuLogSink() : mJoined(true)
{
    Registry &lRegistry = GetRegistry();
    std::unique_lock<std::shared_mutex> lLock(lRegistry.mMutex, std::defer_lock);
    if (tDispatchDepth == 0) lLock.lock();
    lRegistry.mSinks.push_back(this);
}

ZuLogSink::~ZuLogSink() { LeaveLogging(); }

void ZuLogSink::LeaveLogging()
{
    if (!mJoined) return;
    Registry &lRegistry = GetRegistry();
    std::unique_lock<std::shared_mutex> lLock(lRegistry.mMutex, std::defer_lock);
    if (tDispatchDepth == 0) lLock.lock();
    auto lIt = std::find(lRegistry.mSinks.begin(), lRegistry.mSinks.end(), this);
    if (lIt != lRegistry.mSinks.end()) lRegistry.mSinks.erase(lIt);
    mJoined = false;
}
