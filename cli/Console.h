#pragma once

// What the command line needs of the system's console: the user's interrupt, and whether
// standard error is a terminal. One implementation per system (ConsolePosix.cpp,
// ConsoleWindows.cpp) around the part common to both (Console.cpp).

// From now on an interrupt (Ctrl-C; on POSIX systems SIGINT and SIGTERM, on Windows the
// console's Ctrl-C and Ctrl-Break) is noted for interruptRequested(). Interrupts that arrive
// together (a signal to the process, then to its whole group) count as one; once the first has
// been reported to the user (interruptReported()), another ends the process at once with the
// interrupted exit status.
void catchInterrupts();
// How often an interrupt is looked for: a waiting download pumps its events far more often.
constexpr int InterruptPollMs = 50;
bool interruptRequested();
void interruptReported();

// From now on a line "stop" on standard input, or its end (the parent went away), counts as an
// interrupt: for a cradle's process under a bench, which its parent stops so.
void stopWhenParentAsks();

class QFile;

// The descriptors of the standard streams, on every system.
constexpr int StandardOutput = 1;
constexpr int StandardError = 2;

// Opens a standard stream for writes that go out at once, as they are written: the C library
// may hold them back while the stream is a pipe or a file.
bool openStandardStream(QFile& file, int descriptor);

// Whether standard error is a terminal, where a line may be redrawn in place.
bool errorIsTerminal();

// Reads what is there on standard input, waiting for it: the number of bytes read, 0 at its end
// and -1 on a failure (per system).
int readStandardInput(char* buffer, int size);

// Notes one interrupt; called by the system's handler, so it only does what such a handler may.
void noteInterrupt() noexcept;
