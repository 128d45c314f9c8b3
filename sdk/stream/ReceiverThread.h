#ifndef TARN_STREAM_RECEIVER_THREAD_H
#define TARN_STREAM_RECEIVER_THREAD_H

// What the receivers of every stream kind share about their thread.

#include <cstdint>

namespace tarn {
namespace receiver {

// The host's wall time in nanoseconds, for a buffer's time of arrival.
uint64_t WallNs();

} // namespace receiver
} // namespace tarn

#endif
