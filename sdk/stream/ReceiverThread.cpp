#include "ReceiverThread.h"

#include <chrono>
#include <pthread.h>
#include <sched.h>

namespace tarn {
namespace receiver {

uint64_t WallNs()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count());
}

ZuResult ApplyPriority(std::thread &aThread, uint32_t aPriority)
{
    if (aPriority > 99) return ZuResult(ZU_INVALID_PARAMETER, ZuString("priorities run from 0 to 99"));
    if (!aThread.joinable()) return ZuResult();
    sched_param param{};
    param.sched_priority = int(aPriority);
    if (pthread_setschedparam(aThread.native_handle(), aPriority ? SCHED_FIFO : SCHED_OTHER, &param) != 0)
        return ZuResult(ZU_THREAD_ERROR, ZuString("the system refused the priority"));
    return ZuResult();
}

} // namespace receiver
} // namespace tarn
