#include "touchstone_clock.h"

#include <atomic>

namespace qvz {
namespace {

std::time_t SystemClock() {
    return std::time(nullptr);
}

// Atomic so that a test swapping the clock never races with a writer thread.
std::atomic<TouchstoneClockFunction> installedClock{&SystemClock};

}  // namespace

std::time_t TouchstoneClockNow() {
    return installedClock.load(std::memory_order_acquire)();
}

void SetTouchstoneClockForTesting(TouchstoneClockFunction clock) {
    installedClock.store(clock != nullptr ? clock : &SystemClock, std::memory_order_release);
}

}  // namespace qvz
