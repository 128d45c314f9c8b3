#ifndef TARN_SOFTDEVICE_GUARD_H
#define TARN_SOFTDEVICE_GUARD_H

// Calls into application code (sources, sinks) from the device's threads.
// Whatever such a call throws (a Python override's failure arrives as a C++
// exception) stops at the device: it is counted and the device goes on.
// A thread being cancelled is let through.

#include <atomic>
#include <cxxabi.h>
#include <utility>

namespace tarn {
namespace softdevice {

// Marks the calling thread, a worker (tarn::Worker::Current), as one of a
// device's own (its model), so that a Stop or a deletion made from inside
// an up-call on it is recognised; any other thread is no device's.
void enterDeviceThread(const void *aModel);
const void *currentDeviceThread();

// A wait on the caller's thread that may be long (a stream's stop waiting
// for its source's up-call in progress) says from time to time that it goes
// on, so that whoever asked for it hears so: the adapter that called into
// the model installs what that means on its thread while the call lasts
// (null: nothing).
void onStillBusy(void (*aHook)());
void stillBusy();

template <typename Call>
bool guarded(std::atomic<uint64_t> &aFailures, Call &&aCall)
{
    try {
        std::forward<Call>(aCall)();
        return true;
    } catch (abi::__forced_unwind &) {
        throw;
    } catch (...) {
        aFailures.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
}

} // namespace softdevice
} // namespace tarn

#endif
