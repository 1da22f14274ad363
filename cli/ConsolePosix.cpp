// The console on POSIX systems: SIGINT and SIGTERM interrupt.
#include "cli/Console.h"

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

bool errorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}
