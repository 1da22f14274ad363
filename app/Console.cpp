#include "app/Console.h"

#include <atomic>
#include <cstdlib>

namespace {
// Written by a signal handler (or the console's handler thread on Windows).
std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);
} // namespace

void noteInterrupt() noexcept {
    if (interrupts.fetch_add(1) > 0)
        std::_Exit(InterruptedStatus);
}

bool interruptRequested() {
    return interrupts.load() > 0;
}
