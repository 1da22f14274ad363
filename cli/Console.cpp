#include "cli/Console.h"

#include "cli/ExitStatus.h"

#include <QFile>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {
// Written by a signal handler (or the console's handler thread on Windows).
std::atomic<bool> interrupted{false};
std::atomic<bool> reported{false};
static_assert(std::atomic<bool>::is_always_lock_free);
} // namespace

void noteInterrupt() noexcept {
    if (reported.load())
        std::_Exit(ExitStatus::Interrupted);
    interrupted.store(true);
}

bool interruptRequested() {
    return interrupted.load();
}

void interruptReported() {
    reported.store(true);
}

void stopWhenParentAsks() {
    std::thread([] {
        char line[64];
        while (std::fgets(line, sizeof line, stdin) != nullptr)
            if (std::strncmp(line, "stop", 4) == 0)
                break;
        interrupted.store(true);
    }).detach();
}

bool openStandardStream(QFile& file, int descriptor) {
    return file.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                     QFileDevice::DontCloseHandle);
}
