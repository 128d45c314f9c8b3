#ifndef ZU_LOG_H
#define ZU_LOG_H

#include "ZuBaseApi.h"
#include "ZuLogTypes.h"
#include "ZuString.h"

#ifndef SWIG
#include <string>
#endif

/// Named logger of the SDK.
///
/// An entry is handed to every log sink when its level is not above the
/// logger's priority.
class ZU_API ZuLogger
{
public:
    ZuLogger(const ZuString &aName);
    virtual ~ZuLogger();

    void LogInfo(const char *aFile, int aLine, const char *aFunction, const char *aMessage);
    void LogError(const char *aFile, int aLine, const char *aFunction, const char *aMessage);
    void LogWarning(const char *aFile, int aLine, const char *aFunction, const char *aMessage);
    void LogCritical(const char *aFile, int aLine, const char *aFunction, const char *aMessage);
    void LogDebug(const char *aFile, int aLine, const char *aFunction, const char *aMessage);

    void SetLogPriority(int32_t aPriority);
    int GetLogPriority();

#ifndef SWIG
private:
    void Log(ZuLogLevelEnum aLevel, const char *aFile, int aLine, const char *aFunction, const char *aMessage);
    ZuLogger(const ZuLogger &) = delete;
    ZuLogger &operator=(const ZuLogger &) = delete;
    std::string mName;
    int mPriority;
#endif
};

/// Receiver of the SDK's log entries.
///
/// A sink takes part in the SDK's logging from its construction to its
/// destruction. The SDK calls Log on whatever thread logs; anything Log
/// throws is caught by the SDK.
class ZU_API ZuLogSink
{
public:
    /// Joins the SDK's logging.
    ZuLogSink();
    /// Leaves the SDK's logging.
    virtual ~ZuLogSink();

    /// Receives one log entry.
    /// @param aLevel Level of the entry.
    /// @param aLogger Name of the logger.
    /// @param aLine Line in the source file, 0 when unknown.
    /// @param aFile Source file, or null.
    /// @param aFunction Function, or null.
    /// @param aMessage The message.
    virtual void Log(ZuLogLevelEnum aLevel, const char *aLogger, uint32_t aLine, const char *aFile, const char *aFunction, const char *aMessage) = 0;

#ifndef SWIG
    /// Joins the SDK's logging; for a sink constructed while joining was
    /// deferred (tarn/LogBinding.h), once it is whole. Nothing if joined.
    void JoinLogging();
    /// Stops the SDK from calling this sink; returns once no other thread is calling it.
    /// Destructors of derived sinks call it before their own parts go.
    void LeaveLogging();

private:
    friend class ZuLogger;
    // Hands one entry to every joined sink.
    static void Dispatch(ZuLogLevelEnum aLevel, const char *aLogger, uint32_t aLine, const char *aFile,
                         const char *aFunction, const char *aMessage);
    ZuLogSink(const ZuLogSink &) = delete;
    ZuLogSink &operator=(const ZuLogSink &) = delete;
    bool mJoined;
    int mCalls; // calls in progress, guarded by the registry's mutex
#endif
};

#endif
