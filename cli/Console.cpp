#include "cli/Console.h"

#include "cli/ExitStatus.h"

#include <QFile>

#include <atomic>
#include <cstdlib>
#include <string>
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

// Reads the descriptor itself, not through the C library's stdin: the thread stays blocked in
// its read while the process exits, and a C library that locks every stream on exit would wait
// for it for ever.
void stopWhenParentAsks() {
    std::thread([] {
        std::string lines;
        char buffer[64];
        for (int count; (count = readStandardInput(buffer, sizeof buffer)) > 0;) {
            lines.append(buffer, std::size_t(count));
            for (std::size_t end; (end = lines.find('\n')) != std::string::npos;
                 lines.erase(0, end + 1))
                if (lines.starts_with("stop"))
                    return interrupted.store(true);
        }
        interrupted.store(true);
    }).detach();
}

bool openStandardStream(QFile& file, int descriptor) {
    return file.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                     QFileDevice::DontCloseHandle);
}
