#ifndef TARN_STREAM_RECEIVER_THREAD_H
#define TARN_STREAM_RECEIVER_THREAD_H

// What the receivers of every stream kind share about their thread.

#include "ZuResult.h"

#include <cstdint>
#include <thread>

namespace tarn {
namespace receiver {

// The host's wall time in nanoseconds, for a buffer's time of arrival.
uint64_t WallNs();

// The priority of a receiver thread: 0 for the normal scheduler, 1..99 for
// SCHED_FIFO. ZU_INVALID_PARAMETER above 99; ZU_OK for a thread not running
// (the receiver applies it when it starts); ZU_THREAD_ERROR when the system
// refused it.
ZuResult ApplyPriority(std::thread &aThread, uint32_t aPriority);

} // namespace receiver
} // namespace tarn

#endif
