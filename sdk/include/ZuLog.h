#ifndef ZU_LOG_H
#define ZU_LOG_H

#include "ZuBaseApi.h"
#include "ZuLogTypes.h"
#include "ZuString.h"

#include <memory>

// The SDK's logging reaches a sink's registration through the internal tier.
namespace tarn { struct LogAccess; }

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

private:
    ZuLogger(const ZuLogger &) = delete;
    ZuLogger &operator=(const ZuLogger &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
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

private:
    friend struct tarn::LogAccess;
    ZuLogSink(const ZuLogSink &) = delete;
    ZuLogSink &operator=(const ZuLogSink &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

#endif
