#include "cli/CommandLineDownload.h"

#include "cli/Console.h"
#include "cli/ConsoleReport.h"
#include "cli/ExitStatus.h"
#include "cli/JsonLines.h"
#include "cli/Messages.h"
#include "link/Messages.h"

CommandLineDownload::CommandLineDownload(const CommandLineOptions& options, const QString& portName,
                                         ConsoleReport& report, JsonLines* json)
    : options_(options), report_(report), json_(json) {
    session_.PortName = portName;
    if (portName == AutoPort)
        session_.portSearch = DownloadSession::PortSearch::EveryDownload;
    session_.HexFileName = options.hexFile;
    session_.HexFilePresent = true; // the command line has found it
    followDownload();
    if (json_ != nullptr)
        followInJson();
    prepareStops();
}

void CommandLineDownload::followInJson() {
    QObject::connect(&session_, &DownloadSession::phaseChanged, &session_,
                     [this](DownloadPhase phase) { json_->phase(board(), phase); });
    QObject::connect(&session_, &DownloadSession::progressed, &session_,
                     [this](int done, int total, int percent) {
                         json_->progress(board(), done, total, percent);
                     });
    QObject::connect(&session_, &DownloadSession::reported, &session_,
                     [this](const QString& text, const QString& detail, ReportKind kind) {
                         if (!text.isEmpty())
                             json_->report(board(), text, detail, kind);
                     });
    QObject::connect(&session_, &DownloadSession::cradleFound, &session_,
                     [this](const QString& portName, const QString& description) {
                         json_->found(board(), portName, description);
                     });
    QObject::connect(&session_, &DownloadSession::answersLate, &session_,
                     [this](const LateAnswers& pace, const QString& text, const QString& cause) {
                         json_->slowLine(board(), pace, text, cause);
                     });
}

// The download's events go to the report; quiet, only its failures.
void CommandLineDownload::followDownload() {
    QObject::connect(&session_, &DownloadSession::reported, &session_,
                     [this](const QString& text, const QString& detail, ReportKind kind) {
                         // A failure, and a result with a detail, say it in lines of their own.
                         if (kind == ReportKind::Failure || (!options_.quiet && !detail.isEmpty()))
                             report_.reported(text, detail);
                         else if (!options_.quiet)
                             report_.shown(text);
                     });
    if (!options_.quiet) {
        QObject::connect(&session_, &DownloadSession::phaseChanged, &session_,
                         [this](DownloadPhase phase) { report_.phase(phase); });
        QObject::connect(&session_, &DownloadSession::progressed, &session_,
                         [this](int, int, int percent) { report_.progress(percent); });
        QObject::connect(&session_, &DownloadSession::answersLate, &session_,
                         [this](const LateAnswers&, const QString& text, const QString& cause) {
                             report_.line(Message::lateAnswersLine(text, cause));
                         });
    }
    // What the window would show in a message box.
    QObject::connect(&session_, &DownloadSession::errorRaised, &session_,
                     [this](const QString& message) { report_.line(message); });
    QObject::connect(&session_, &DownloadSession::cradleFound, &session_,
                     [this](const QString& portName, const QString& description) {
                         report_.line(QStringLiteral("Cradle ") +
                                      Message::cradleFoundOn(portName, description));
                     });
    // A board's time runs from its bootloader's first answer.
    QObject::connect(&session_, &DownloadSession::bootloaderAnswered, &session_, [this] {
        boardTime_.start();
        resetTimeout_.stop();
    });
}

// The interrupt and the reset time-out, each seen in the download's message pump.
void CommandLineDownload::prepareStops() {
    interruptPoll_.setInterval(InterruptPollMs);
    QObject::connect(&interruptPoll_, &QTimer::timeout, &session_, [this] {
        if (interruptRequested())
            stop(Stop::Interrupted);
    });
    resetTimeout_.setSingleShot(true);
    resetTimeout_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&resetTimeout_, &QTimer::timeout, &session_, [this] { stop(Stop::TimedOut); });
}

int CommandLineDownload::run() {
    interruptPoll_.start();
    DownloadOutcome outcome;
    do {
        outcome = writeBoard();
        if (json_ != nullptr)
            json_->result(board(), outcome, boardTime_.elapsed());
        if (!isBoard(outcome))
            break;
        countBoard(outcome, boardTime_.elapsed());
        if (!outcome.reachedBoard())
            break; // the port did not open, nor would it for the next board
    } while (options_.repeat && stop_ == Stop::None);
    interruptPoll_.stop();
    if (options_.repeat)
        report_.line(QStringLiteral("Boards: ") +
                     Message::boardCount(options_.success(), boards_ - failures_, failures_));
    const int exitStatus = status(outcome);
    if (json_ != nullptr)
        json_->summary(boards_ - failures_, failures_, boards_ > 0 ? boardsMs_ / boards_ : 0,
                       exitStatus);
    return exitStatus;
}

// A wait for RESET that was stopped reached no board; a refused file counts only once boards
// have been written with it (it changed since).
bool CommandLineDownload::isBoard(const DownloadOutcome& outcome) const {
    switch (outcome.result) {
    case DownloadOutcome::Result::NoBootloader:
        return false;
    case DownloadOutcome::Result::FileRefused:
        return boards_ > 0;
    default:
        return true;
    }
}

// Counts a board and, with --repeat, gives it its line: its number, the result, the time taken.
void CommandLineDownload::countBoard(const DownloadOutcome& outcome, qint64 ms) {
    ++boards_;
    failures_ += outcome.succeeded() ? 0 : 1;
    boardsMs_ += ms;
    if (options_.repeat)
        report_.line(Message::boardLine(boards_, outcome.result, ms));
}

// One download, with the reset time-out running until the bootloader answers.
DownloadOutcome CommandLineDownload::writeBoard() {
    boardTime_.start();
    if (options_.resetTimeoutMs > 0)
        resetTimeout_.start(options_.resetTimeoutMs);
    const DownloadOutcome outcome = runOperation();
    resetTimeout_.stop();
    return outcome;
}

DownloadOutcome CommandLineDownload::runOperation() {
    switch (options_.operation) {
    case CommandLineOptions::Operation::Verify:
        return session_.verifyHexFile();
    case CommandLineOptions::Operation::Read:
        return session_.readIntoHexFile(options_.hexFile, options_.eepromBytes);
    case CommandLineOptions::Operation::Download:
        break;
    }
    return session_.writeHexFile();
}

// Asks the download to stop, once: it ends at its next poll and reports "Download Cancelled".
void CommandLineDownload::stop(Stop reason) {
    if (stop_ != Stop::None)
        return;
    stop_ = reason;
    if (reason == Stop::TimedOut) {
        report_.line(Message::noBootloaderWithin(options_.resetTimeoutMs));
    } else {
        report_.line(Message::Interrupted);
        interruptReported();
    }
    session_.requestStop();
}

// With --repeat the boards' outcome, once a board has been reached; otherwise the download's.
int CommandLineDownload::status(const DownloadOutcome& last) const {
    if (boards_ == 0 && last.result == DownloadOutcome::Result::FileRefused)
        return ExitStatus::NothingSent;
    if (boards_ > 0 && (options_.repeat || failures_ == 0))
        return failures_ > 0 ? ExitStatus::Failed : ExitStatus::Written;
    switch (stop_) {
    case Stop::Interrupted:
        return ExitStatus::Interrupted;
    case Stop::TimedOut:
        return ExitStatus::NoBootloader;
    case Stop::None:
        break;
    }
    return ExitStatus::Failed;
}
