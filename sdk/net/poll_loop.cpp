#include "net/poll_loop.h"

#include "tarn/Interrupts.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarn {
namespace net {

namespace {

// A pending socket error (an ICMP answer to an earlier datagram, say) keeps
// poll reporting until it is read; false when the descriptor cannot be
// used any more.
bool clearError(int aFd)
{
    int error = 0;
    socklen_t len = sizeof error;
    return ::getsockopt(aFd, SOL_SOCKET, SO_ERROR, &error, &len) == 0;
}

} // namespace

PollLoop::PollLoop() : mWake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void PollLoop::Watch(int aFd, Handler aHandler)
{
    mWatches.push_back(Watched{aFd, std::move(aHandler)});
}

void PollLoop::Stop()
{
    uint64_t one = 1;
    ssize_t n = ::write(mWake.Get(), &one, sizeof one);
    (void)n;  // a full counter is a stop already pending
}

PollLoop::Exit PollLoop::Run(int aTimeoutMs)
{
    if (!mWake) return Exit::Failed;
    Interrupts::Slices slices(aTimeoutMs);
    // A few descriptors (the usual case) on the stack: a control request or
    // a receiver's batch runs the loop once each, and allocating each time
    // would cost as much as the rest of the loop.
    constexpr size_t kOnStack = 8;
    const size_t count = mWatches.size() + 1;
    pollfd onStack[kOnStack];
    std::vector<pollfd> onHeap(count > kOnStack ? count : 0);
    const auto fds = count > kOnStack ? onHeap.data() : onStack;
    fds[0] = pollfd{mWake.Get(), POLLIN, 0};
    for (size_t k = 0; k < mWatches.size(); ++k) fds[k + 1] = pollfd{mWatches[k].fd, POLLIN, 0};
    for (;;) {
        int64_t wait = -1;
        const Interrupts::Wait next = slices.Next(wait);
        if (next == Interrupts::Wait::Interrupted) return Exit::Interrupted;
        if (next == Interrupts::Wait::TimedOut) return Exit::TimedOut;
        for (size_t k = 0; k < count; ++k) fds[k].revents = 0;
        int n = ::poll(fds, count, int(wait));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Exit::Failed;
        }
        if (n == 0 && slices.Interrupted()) return Exit::Interrupted;
        if (fds[0].revents) {
            uint64_t count;
            ssize_t got = ::read(mWake.Get(), &count, sizeof count);
            (void)got;
            return Exit::Stopped;
        }
        for (size_t k = 1; n > 0 && k < count; ++k) {
            const short events = fds[k].revents;
            if (!events) continue;
            if (events & POLLIN) {
                if (!mWatches[k - 1].handler(fds[k].fd)) return Exit::Done;
            } else if (!clearError(fds[k].fd)) {
                fds[k].fd = -1;  // poll ignores negative descriptors
            }
        }
    }
}

} // namespace net
} // namespace tarn
