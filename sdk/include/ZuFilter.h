#ifndef ZU_FILTER_H
#define ZU_FILTER_H

#include "ZuBaseApi.h"
#include "ZuResult.h"

class ZuBuffer;

/// A filter turns one buffer into another, possibly on worker threads of
/// its own.
class ZU_API IZuFilter
{
public:
    /// Destroys the filter and stops its worker threads.
    virtual ~IZuFilter() {}

    /// Runs the filter.
    /// @param aIn Buffer read.
    /// @param aOut Buffer written.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if aIn or aOut is null;
    ///   ZU_NOT_SUPPORTED if the input format is not supported.
    virtual ZuResult Execute(const ZuBuffer *aIn, ZuBuffer *aOut) = 0;

    /// Sets the number of worker threads.
    /// @param aCount Number of threads.
    /// @return ZU_OK; ZU_NOT_SUPPORTED when the filter is not multi-threaded.
    virtual ZuResult SetThreadCount(uint32_t aCount) = 0;

    /// Returns the number of worker threads.
    virtual uint32_t GetThreadCount() const = 0;

    /// Reads the priority of the worker threads.
    /// @param aPriority Receives the priority.
    /// @return ZU_OK; ZU_NOT_SUPPORTED when the filter is not multi-threaded.
    virtual ZuResult GetThreadsPriority(uint32_t &aPriority) const = 0;

    /// Sets the priority of all worker threads of the filter. On Linux 0 is
    /// the normal scheduler and 1 to 99 the real-time (FIFO) priorities, 99
    /// highest; a process not allowed real-time scheduling keeps its
    /// threads on the normal scheduler.
    /// @param aPriority 0 to 99.
    /// @return ZU_OK; ZU_INVALID_PARAMETER when the priority maps to nothing
    ///   on the system; ZU_NOT_SUPPORTED when the filter is not
    ///   multi-threaded; ZU_THREAD_ERROR when the system refuses it.
    virtual ZuResult SetThreadsPriority(uint32_t aPriority) = 0;
};

#endif
