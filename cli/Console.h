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
bool interruptRequested();
void interruptReported();

// From now on a line "stop" on standard input, or its end (the parent went away), counts as an
// interrupt: for a cradle's process under a bench, which its parent stops so.
void stopWhenParentAsks();

class QFile;

// Opens standard output for writes that go out at once, line by line as they are written: the
// C library would hold them back while standard output is a pipe.
bool openStandardOutput(QFile& file);

// Whether standard error is a terminal, where a line may be redrawn in place.
bool errorIsTerminal();

// Notes one interrupt; called by the system's handler, so it only does what such a handler may.
void noteInterrupt() noexcept;
