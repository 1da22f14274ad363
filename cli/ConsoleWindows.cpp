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

int readStandardInput(char* buffer, int size) {
    DWORD count = 0;
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, DWORD(size), &count, nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    return int(count);
}

// A console that cannot take escape sequences (lines redrawn in place) is written to as a log.
bool errorIsTerminal() {
    if (_isatty(_fileno(stderr)) == 0)
        return false;
    HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(console, &mode) &&
           ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
            SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING));
}
