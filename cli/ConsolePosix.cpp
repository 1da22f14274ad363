// The console on POSIX systems: SIGINT and SIGTERM interrupt.
#include "cli/Console.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {
void onSignal(int) {
    noteInterrupt();
}
} // namespace

void catchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int readStandardInput(char* buffer, int size) {
    ssize_t count;
    do
        count = ::read(STDIN_FILENO, buffer, std::size_t(size));
    while (count < 0 && errno == EINTR);
    return int(count);
}

bool errorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}
