#pragma once

// What the command line needs of the system's console: the user's interrupt, and whether
// standard error is a terminal. One implementation per system (ConsolePosix.cpp,
// ConsoleWindows.cpp) around the part common to both (Console.cpp).

// The exit status of a program ended by an interrupt.
constexpr int InterruptedStatus = 130;

// From now on an interrupt (Ctrl-C; on POSIX systems SIGINT and SIGTERM, on Windows the
// console's Ctrl-C and Ctrl-Break) is noted for interruptRequested(); a second one ends the
// process at once with InterruptedStatus.
void catchInterrupts();
bool interruptRequested();

// Whether standard error is a terminal, where a line may be redrawn in place.
bool errorIsTerminal();

// Notes one interrupt; called by the system's handler, so it only does what such a handler may.
void noteInterrupt() noexcept;
