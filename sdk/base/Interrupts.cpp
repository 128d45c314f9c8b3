#include "tarn/Interrupts.h"

#include <atomic>

namespace tarn {

namespace {
std::atomic<Interrupts::Check> gCheck{nullptr};
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
    const Check check = gCheck.load();
    return check && check();
}

} // namespace tarn
