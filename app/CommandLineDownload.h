#pragma once

#include "ui/TDownloadForm.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

class ConsoleReport;

// How the command line runs the download.
struct CommandLineOptions {
    QString hexFile;
    QString port;           // empty: the port kept in the settings file
    int resetTimeoutMs = 0; // 0: wait for RESET for as long as it takes, as the window does
    bool repeat = false;    // board after board, until interrupted
    bool quiet = false;     // failures only: no status texts, no progress
};

// The exit statuses of the command line, besides InterruptedStatus (app/Console.h).
namespace ExitStatus {
constexpr int Written = 0;      // written, verified and started
constexpr int Failed = 1;       // the download failed
constexpr int NothingSent = 2;  // a usage error, or a HEX file missing, unreadable or refused
constexpr int NoBootloader = 3; // no bootloader answered within the reset time-out
} // namespace ExitStatus

// Runs the window's download with the window never shown: once, or with `repeat` board after
// board, each after the next RESET, until interrupted. An interrupt or the reset time-out
// presses Cancel. What the window shows goes to the report as it changes.
class CommandLineDownload {
public:
    CommandLineDownload(const CommandLineOptions& options, const QString& portName,
                        ConsoleReport& report);

    // Runs the downloads to their end and returns the exit status.
    int run();

private:
    enum class Stop { None, Interrupted, TimedOut };

    void followDownload();
    void prepareStops();
    bool writeBoard();
    void countBoard(bool written, qint64 ms);
    void stop(Stop reason);
    int status() const;

    const CommandLineOptions& options_;
    ConsoleReport& report_;
    TDownloadForm form_;
    QTimer interruptPoll_;
    QTimer resetTimeout_;
    Stop stop_ = Stop::None;
    bool synchronised_ = false; // the bootloader of the board in hand has answered
    QElapsedTimer boardTime_;
    int boards_ = 0;
    int failures_ = 0;
};
