#include "tarn/Interrupts.h"

#include <atomic>

namespace tarn {

namespace {
std::atomic<Interrupts::Check> gCheck{nullptr};
thread_local bool tInterrupted = false;
} // namespace

constexpr std::chrono::milliseconds Interrupts::kSlice;
constexpr uint32_t Interrupts::kForever;

void Interrupts::Install(Check aCheck)
{
    gCheck = aCheck;
}

bool Interrupts::Installed()
{
    return gCheck.load() != nullptr;
}

bool Interrupts::Asked()
{
    if (tInterrupted) return true;
    const Check check = gCheck.load();
    if (!check || !check()) return false;
    tInterrupted = true;
    return true;
}

bool Interrupts::Pending()
{
    return tInterrupted;
}

bool Interrupts::Take()
{
    const bool interrupted = tInterrupted;
    tInterrupted = false;
    return interrupted;
}

} // namespace tarn
