#pragma once

#include "cli/CommandLineDownload.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class ConsoleReport;
class JsonLines;
class QIODevice;
class QProcess;

// A production bench: one download for each port at once, each cradle in a process of its own
// (this program again, with that one port), so that a fault, a hang or a crash on one cradle
// never stops or slows another. It follows each cradle through the JSON Lines its process
// writes: on a terminal one line for each port, redrawn in place; in a log, plain lines that
// each start with their port; at the end a summary for each port and in all. An interrupt stops
// every cradle.
class Bench : public QObject {
public:
    Bench(const CommandLineOptions& options, const QString& executablePath, QIODevice& errors,
          bool terminal);
    ~Bench() override;

    // Runs every cradle to its end; returns the exit status (cli/ExitStatus.h).
    int run();

private:
    struct Cradle;

    void start(Cradle& cradle);
    void readEvents(Cradle& cradle);
    void follow(Cradle& cradle, const QJsonObject& event);
    void ended(Cradle& cradle, int exitCode, bool crashed);
    void stopAll();
    void draw();
    QString lineOf(const Cradle& cradle) const;
    void summarise(int status);
    int status() const;

    const CommandLineOptions& options_;
    QString executablePath_;
    QIODevice& errors_;
    const bool terminal_;
    std::vector<std::unique_ptr<Cradle>> cradles_;
    std::unique_ptr<JsonLines> json_;
    std::unique_ptr<QIODevice> output_; // standard output, for the JSON Lines
    QElapsedTimer clock_;
    QTimer interruptPoll_;
    bool stopping_ = false;
    int running_ = 0;
    int linesDrawn_ = 0; // on a terminal: the cradles' lines drawn so far
};
