#pragma once

#include <QString>
#include <QStringList>

// dwnld-cli, the window's companion for scripts, makefiles and benches: it runs the window's
// download of a HEX file on the download session, with no window, reports on standard error
// and says how the download went in its exit status (ExitStatus, cli/ExitStatus.h). It reads
// the window's settings file and never writes it.
//
// Runs it with its command line (argument 0 being the program) and the executable's path, which
// places the settings file; returns the exit status.
int runCommandLine(const QStringList& arguments, const QString& executablePath);
