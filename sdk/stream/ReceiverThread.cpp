#include "ReceiverThread.h"

#include <chrono>

namespace tarn {
namespace receiver {

uint64_t WallNs()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count());
}

} // namespace receiver
} // namespace tarn
