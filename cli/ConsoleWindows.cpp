// The console on Windows: Ctrl-C and Ctrl-Break interrupt. The console calls its handler on a
// thread of its own.
#include "cli/Console.h"

#include <cstdio>
#include <io.h>
#include <windows.h>

namespace {
BOOL WINAPI onControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    noteInterrupt();
    return TRUE;
}
} // namespace

void catchInterrupts() {
    SetConsoleCtrlHandler(onControl, TRUE);
}

bool errorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}
