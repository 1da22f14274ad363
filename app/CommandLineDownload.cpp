#include "app/CommandLineDownload.h"

#include "app/Console.h"
#include "app/ConsoleReport.h"
#include "app/ErrorHandler.h"
#include "ui/Messages.h"
#include "ui/ProgressGauge.h"
#include "ui/StatusLine.h"

namespace {
// How often an interrupt is looked for: a waiting download pumps its messages far more often.
constexpr int InterruptPollMs = 50;
} // namespace

CommandLineDownload::CommandLineDownload(const CommandLineOptions& options, const QString& portName,
                                         ConsoleReport& report)
    : options_(options), report_(report) {
    form_.PortName = portName;
    form_.HexFileName = options.hexFile;
    form_.HexFilePresent = true;
    followDownload();
    prepareStops();
}

// What the window shows goes to the report; quiet, only its failures.
void CommandLineDownload::followDownload() {
    if (!options_.quiet) {
        QObject::connect(form_.Edit2, &StatusLine::shown, &form_,
                         [this](const QString& text) { report_.shown(text); });
        QObject::connect(form_.DownloadGauge, &ProgressGauge::percentChanged, &form_,
                         [this](int percent) { report_.progress(percent); });
    }
    QObject::connect(
        form_.Edit2, &StatusLine::reported, &form_,
        [this](const QString& text, const QString& detail) { report_.reported(text, detail); });
    // A board's time runs from its bootloader's first answer.
    QObject::connect(&form_, &TDownloadForm::synchronised, &form_, [this] {
        if (!synchronised_)
            boardTime_.start();
        synchronised_ = true;
        resetTimeout_.stop();
    });
}

// The interrupt and the reset time-out, each seen in the download's message pump.
void CommandLineDownload::prepareStops() {
    interruptPoll_.setInterval(InterruptPollMs);
    QObject::connect(&interruptPoll_, &QTimer::timeout, &form_, [this] {
        if (interruptRequested())
            stop(Stop::Interrupted);
        // A synchronisation forgets an earlier cancel: it is asked for until the download ends.
        if (stop_ != Stop::None)
            form_.CancelRequested = true;
    });
    resetTimeout_.setSingleShot(true);
    resetTimeout_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&resetTimeout_, &QTimer::timeout, &form_, [this] { stop(Stop::TimedOut); });
}

int CommandLineDownload::run() {
    interruptPoll_.start();
    do {
        const bool written = writeBoard();
        if (!written && !synchronised_ && stop_ != Stop::None)
            break; // stopped while it waited for a board: none was written to
        countBoard(written, boardTime_.elapsed());
        if (!written && !synchronised_)
            break; // nothing reached the board (the port, the file): nor would it the next
    } while (options_.repeat && stop_ == Stop::None);
    interruptPoll_.stop();
    if (options_.repeat)
        report_.line(QStringLiteral("Boards: %1 written, %2 failed")
                         .arg(boards_ - failures_)
                         .arg(failures_));
    return status();
}

// Counts a board and, with --repeat, gives it its line: its number, the result, the time taken.
void CommandLineDownload::countBoard(bool written, qint64 ms) {
    ++boards_;
    failures_ += written ? 0 : 1;
    if (options_.repeat)
        report_.line(
            QStringLiteral("Board %1: %2 %3 s")
                .arg(boards_)
                .arg(written ? QStringLiteral("written in") : QStringLiteral("failed after"))
                .arg(ms / 1000.0, 0, 'f', 1));
}

// One download, with the reset time-out running until the bootloader answers.
bool CommandLineDownload::writeBoard() {
    synchronised_ = false;
    boardTime_.start();
    if (options_.resetTimeoutMs > 0)
        resetTimeout_.start(options_.resetTimeoutMs);
    bool written = false;
    try {
        written = form_.writeHexFile();
    } catch (const DownloaderError& error) {
        report_.reported(Message::DownloadFailed, error.message()); // the file failed to read
    }
    resetTimeout_.stop();
    return written;
}

// Presses Cancel, once: the download ends at its next poll and reports "Download Cancelled".
void CommandLineDownload::stop(Stop reason) {
    if (stop_ != Stop::None)
        return;
    stop_ = reason;
    if (reason == Stop::TimedOut)
        report_.line(QStringLiteral("No bootloader answered within %1 s")
                         .arg(options_.resetTimeoutMs / 1000.0));
    form_.CancelButtonClick(&form_);
}

// With --repeat the boards' outcome, once a board has been reached; otherwise the download's.
int CommandLineDownload::status() const {
    if (boards_ > 0 && (options_.repeat || failures_ == 0))
        return failures_ > 0 ? ExitStatus::Failed : ExitStatus::Written;
    switch (stop_) {
    case Stop::Interrupted:
        return InterruptedStatus;
    case Stop::TimedOut:
        return ExitStatus::NoBootloader;
    case Stop::None:
        break;
    }
    return ExitStatus::Failed;
}
