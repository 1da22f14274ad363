#pragma once

#include "driver/DownloadSession.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTimer>

class ConsoleReport;
class JsonLines;

// The port name that makes every download look for the cradle on every port.
inline const QString AutoPort = QStringLiteral("auto");

// How the command line runs the download, or the check or the read of the board.
struct CommandLineOptions {
    enum class Operation { Download, Verify, Read };
    Operation operation = Operation::Download;
    QString hexFile; // the file to write, to check the board against, or to read the board into
    int eepromBytes = DownloadSession::DefaultEepromBytes; // the data EEPROM that a read takes
    QString port;           // empty: the port kept in the settings file; AutoPort: a search
    int resetTimeoutMs = 0; // 0: wait for RESET for as long as it takes, as the window does
    bool repeat = false;    // board after board, until interrupted
    bool quiet = false;     // failures only: no status texts, no progress
    bool json = false;      // the events as JSON Lines on standard output
    QStringList ports;      // several: one process for each, at once (a bench)
    bool fromBench = false; // run by a bench, which stops it through standard input

    // How the operation ends when it comes through: written, matched or read.
    DownloadOutcome::Result success() const {
        switch (operation) {
        case Operation::Verify:
            return DownloadOutcome::Result::Matched;
        case Operation::Read:
            return DownloadOutcome::Result::Read;
        case Operation::Download:
            break;
        }
        return DownloadOutcome::Result::Written;
    }
};

// Runs a download session's download, check or read: once, or with `repeat` board after board,
// each after the next RESET, until interrupted. It follows each through the session's events and
// outcome; an interrupt or the reset time-out asks the session to stop.
class CommandLineDownload {
public:
    // With `json`, the events go there too.
    CommandLineDownload(const CommandLineOptions& options, const QString& portName,
                        ConsoleReport& report, JsonLines* json = nullptr);

    // Runs the downloads to their end and returns the exit status (cli/ExitStatus.h).
    int run();

private:
    enum class Stop { None, Interrupted, TimedOut };

    void followDownload();
    void followInJson();
    int board() const { return boards_ + 1; } // the number of the board in hand
    void prepareStops();
    DownloadOutcome writeBoard();
    DownloadOutcome runOperation();
    bool isBoard(const DownloadOutcome& outcome) const;
    void countBoard(const DownloadOutcome& outcome, qint64 ms);
    void stop(Stop reason);
    int status(const DownloadOutcome& last) const;

    const CommandLineOptions& options_;
    ConsoleReport& report_;
    JsonLines* json_;
    DownloadSession session_;
    QTimer interruptPoll_;
    QTimer resetTimeout_;
    Stop stop_ = Stop::None;
    QElapsedTimer boardTime_;
    int boards_ = 0;
    int failures_ = 0;
    qint64 boardsMs_ = 0; // the time of every board counted
};
