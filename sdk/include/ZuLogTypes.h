#ifndef ZU_LOG_TYPES_H
#define ZU_LOG_TYPES_H

/// Level of a log entry. Error comes before Warning, and Debug is the
/// highest value: a logger's priority is the highest level it lets through.
typedef enum : int32_t
{
    ZuLogLevelUnknown = 0,  ///< No level.
    ZuLogLevelInfo = 1,     ///< Information.
    ZuLogLevelError = 2,    ///< An error.
    ZuLogLevelWarning = 3,  ///< A warning.
    ZuLogLevelCritical = 4, ///< A critical error.
    ZuLogLevelDebug = 5     ///< Debugging detail.
} ZuLogLevelEnum;

#endif
