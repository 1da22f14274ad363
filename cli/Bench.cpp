#include "cli/Bench.h"

#include "cli/Console.h"
#include "cli/ConsoleReport.h"
#include "cli/ExitStatus.h"
#include "cli/JsonLines.h"
#include "cli/Messages.h"
#include "link/Messages.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>

namespace {
constexpr int BarWidth = 20;
constexpr int PortWidth = 24;

// A long port name (a stable name) gives way in its middle.
QString shortPort(const QString& port) {
    if (port.size() <= PortWidth)
        return port.leftJustified(PortWidth);
    const int half = (PortWidth - 1) / 2;
    return port.left(half) + QChar(0x2026) + port.right(PortWidth - 1 - half);
}

QString phaseText(DownloadPhase phase) {
    switch (phase) {
    case DownloadPhase::WaitingForReset:
        return QStringLiteral("press RESET");
    case DownloadPhase::Resynchronising:
        return QStringLiteral("starting");
    default:
        return JsonLines::phaseName(phase);
    }
}
} // namespace

// One cradle: its process and what its events have told so far.
struct Bench::Cradle {
    QString port;
    QProcess process;
    QByteArray partLine; // the start of a line not yet ended
    std::unique_ptr<ConsoleReport> log;
    int board = 1;
    QString state; // the phase, or how the last board ended
    int percent = -1;
    bool inBoard = false; // its bootloader answered, and the board's result is still to come
    QElapsedTimer boardTime;
    int written = 0;
    int failed = 0;
    qint64 boardsMs = 0;
    QString lastFailure;
    QString lateAnswers; // the notice of the last board whose answers came late, with its cause
    double lateMs = 0;
    int exitStatus = -1;
    bool crashed = false;
};

Bench::Bench(const CommandLineOptions& options, const QString& executablePath, QIODevice& errors,
             bool terminal)
    : options_(options), executablePath_(executablePath), errors_(errors), terminal_(terminal) {
    if (options.json) {
        auto out = std::make_unique<QFile>();
        openStandardStream(*out, StandardOutput);
        output_ = std::move(out);
        json_ = std::make_unique<JsonLines>(*output_, QString());
    }
    for (const QString& port : options.ports) {
        auto cradle = std::make_unique<Cradle>();
        cradle->port = port;
        if (!terminal && !options.quiet)
            cradle->log =
                std::make_unique<ConsoleReport>(errors, false, port + QStringLiteral(": "));
        cradles_.push_back(std::move(cradle));
    }
}

Bench::~Bench() = default;

int Bench::run() {
    clock_.start();
    QEventLoop loop;
    for (auto& cradle : cradles_)
        start(*cradle);
    interruptPoll_.setInterval(InterruptPollMs);
    connect(&interruptPoll_, &QTimer::timeout, this, [this] {
        if (interruptRequested() && !stopping_) {
            stopAll();
            interruptReported();
        }
    });
    interruptPoll_.start();
    draw();
    while (running_ > 0)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    interruptPoll_.stop();
    const int exitStatus = status();
    summarise(exitStatus);
    return exitStatus;
}

void Bench::start(Cradle& cradle) {
    QStringList arguments{QStringLiteral("--from-bench"), QStringLiteral("--json"),
                          QStringLiteral("--quiet"), QStringLiteral("--port"), cradle.port};
    if (options_.repeat)
        arguments << QStringLiteral("--repeat");
    if (options_.resetTimeoutMs > 0)
        arguments << QStringLiteral("--reset-timeout")
                  << QString::number(options_.resetTimeoutMs / 1000.0);
    if (options_.operation == CommandLineOptions::Operation::Verify)
        arguments << QStringLiteral("--verify");
    arguments << options_.hexFile;
    cradle.process.setStandardErrorFile(QProcess::nullDevice());
    connect(&cradle.process, &QProcess::readyReadStandardOutput, this,
            [this, &cradle] { readEvents(cradle); });
    connect(&cradle.process, &QProcess::finished, this,
            [this, &cradle](int exitCode, QProcess::ExitStatus exitStatus) {
                readEvents(cradle);
                ended(cradle, exitCode, exitStatus == QProcess::CrashExit);
            });
    ++running_;
    cradle.state = QStringLiteral("starting");
    cradle.process.start(executablePath_, arguments);
}

void Bench::readEvents(Cradle& cradle) {
    cradle.partLine += cradle.process.readAllStandardOutput();
    qsizetype end;
    while ((end = cradle.partLine.indexOf('\n')) >= 0) {
        const QByteArray line = cradle.partLine.left(end);
        cradle.partLine.remove(0, end + 1);
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (event.isEmpty())
            continue;
        follow(cradle, event);
        if (json_ != nullptr) {
            QJsonObject passed = event;
            passed.insert(QStringLiteral("ms"), clock_.elapsed()); // the bench's own clock
            json_->pass(passed);
        }
    }
    draw();
}

// What one event of a cradle tells: its line on a terminal, its lines in a log, its counts.
void Bench::follow(Cradle& cradle, const QJsonObject& event) {
    const QString kind = event.value(QStringLiteral("event")).toString();
    cradle.board = std::max(1, event.value(QStringLiteral("board")).toInt());
    ConsoleReport* log = cradle.log.get();
    if (kind == QLatin1String("phase")) {
        const DownloadPhase phase =
            JsonLines::phaseNamed(event.value(QStringLiteral("phase")).toString());
        const bool waiting = phase == DownloadPhase::WaitingForReset;
        if (waiting)
            cradle.boardTime.start();
        cradle.state = phaseText(phase);
        cradle.percent = -1;
        cradle.inBoard = !waiting;
        if (log != nullptr)
            log->phase(phase);
    } else if (kind == QLatin1String("progress")) {
        cradle.percent = event.value(QStringLiteral("percent")).toInt();
        if (log != nullptr)
            log->progress(cradle.percent);
    } else if (kind == QLatin1String("report")) {
        const QString text = event.value(QStringLiteral("text")).toString();
        const QString detail = event.value(QStringLiteral("detail")).toString();
        const bool failure = event.value(QStringLiteral("kind")).toString() ==
                             JsonLines::kindName(ReportKind::Failure);
        if (failure)
            cradle.lastFailure = detail.isEmpty() ? text : text + QStringLiteral(": ") + detail;
        if (log != nullptr)
            failure ? log->reported(text, detail) : log->shown(text);
    } else if (kind == QLatin1String("found")) {
        if (log != nullptr)
            log->line(
                QStringLiteral("Cradle ") +
                Message::cradleFoundOn(event.value(QStringLiteral("foundPort")).toString(),
                                       event.value(QStringLiteral("description")).toString()));
    } else if (kind == QLatin1String("slow-line")) {
        cradle.lateMs = event.value(QStringLiteral("lateMsPerCommand")).toDouble();
        cradle.lateAnswers =
            Message::lateAnswersLine(event.value(QStringLiteral("text")).toString(),
                                     event.value(QStringLiteral("cause")).toString());
        if (log != nullptr)
            log->line(cradle.lateAnswers);
    } else if (kind == QLatin1String("result")) {
        const bool succeeded = event.value(QStringLiteral("succeeded")).toBool();
        const DownloadOutcome::Result result =
            JsonLines::resultNamed(event.value(QStringLiteral("result")).toString());
        cradle.inBoard = false;
        const qint64 ms = event.value(QStringLiteral("boardMs")).toInteger();
        if (result == DownloadOutcome::Result::NoBootloader ||
            result == DownloadOutcome::Result::FileRefused)
            return; // no board was reached
        succeeded ? ++cradle.written : ++cradle.failed;
        cradle.boardsMs += ms;
        cradle.percent = -1;
        cradle.state = Message::boardEnd(result, ms);
        if (log != nullptr)
            log->line(Message::boardLine(cradle.board, result, ms));
    }
}

void Bench::ended(Cradle& cradle, int exitCode, bool crashed) {
    --running_;
    const bool known = exitCode == ExitStatus::Interrupted ||
                       (exitCode >= ExitStatus::Written && exitCode <= ExitStatus::NoBootloader);
    cradle.crashed = crashed || !known;
    cradle.exitStatus = cradle.crashed ? -1 : exitCode;
    if (cradle.crashed) {
        if (cradle.inBoard) // the board in hand counts as failed
            ++cradle.failed;
        cradle.lastFailure = QStringLiteral("the cradle's process ended unexpectedly");
        cradle.state = cradle.lastFailure;
        cradle.percent = -1;
        if (cradle.log != nullptr)
            cradle.log->line(cradle.lastFailure);
    }
    draw();
}

// Asks every cradle's process to stop; each ends its download at its next poll.
void Bench::stopAll() {
    stopping_ = true;
    for (auto& cradle : cradles_)
        if (cradle->process.state() == QProcess::Running)
            cradle->process.write("stop\n");
    const QString text = Message::BenchInterrupted + QLatin1Char('\n');
    if (terminal_ && linesDrawn_ > 0)
        linesDrawn_ = 0; // the board is drawn again below
    errors_.write(text.toLocal8Bit());
}

// On a terminal: every cradle's line, drawn again in place.
void Bench::draw() {
    if (!terminal_ || options_.quiet)
        return;
    QString text;
    if (linesDrawn_ > 0)
        text += QStringLiteral("\x1b[%1A").arg(linesDrawn_);
    for (const auto& cradle : cradles_)
        text += QStringLiteral("\r\x1b[2K") + lineOf(*cradle) + QLatin1Char('\n');
    linesDrawn_ = int(cradles_.size());
    errors_.write(text.toLocal8Bit());
}

// "/dev/ttyUSB0  board 2  writing  [#########...........]  45 %  0:21"
QString Bench::lineOf(const Cradle& cradle) const {
    QString line = shortPort(cradle.port) + QStringLiteral("  board %1  ").arg(cradle.board);
    if (cradle.percent < 0)
        line += cradle.state;
    else
        line +=
            cradle.state.leftJustified(8) + QStringLiteral("  ") +
            ConsoleReport::bar(cradle.percent, BarWidth) +
            QStringLiteral(" %1 %  ").arg(cradle.percent, 3) +
            ConsoleReport::duration(cradle.boardTime.isValid() ? cradle.boardTime.elapsed() : 0);
    if (!cradle.lateAnswers.isEmpty())
        line += QStringLiteral("  (") + Message::answersLateBy(cradle.lateMs) + QLatin1Char(')');
    return line;
}

void Bench::summarise(int exitStatus) {
    int written = 0;
    int failed = 0;
    qint64 boardsMs = 0;
    QString text = QStringLiteral("Summary:\n");
    const auto countLine = [this](int boardsWritten, int boardsFailed, qint64 ms) {
        const int boards = boardsWritten + boardsFailed;
        QString line = Message::boardCount(options_.success(), boardsWritten, boardsFailed);
        if (boards > 0)
            line += QStringLiteral(", %1 a board").arg(Message::seconds(ms / boards));
        return line;
    };
    for (const auto& cradle : cradles_) {
        text += QStringLiteral("  ") + cradle->port + QStringLiteral(": ") +
                countLine(cradle->written, cradle->failed, cradle->boardsMs);
        if ((cradle->failed > 0 || cradle->crashed) && !cradle->lastFailure.isEmpty())
            text += QStringLiteral(" (") + cradle->lastFailure + QLatin1Char(')');
        text += QLatin1Char('\n');
        if (!cradle->lateAnswers.isEmpty())
            text += QStringLiteral("    ") + cradle->lateAnswers + QLatin1Char('\n');
        written += cradle->written;
        failed += cradle->failed;
        boardsMs += cradle->boardsMs;
    }
    text += QStringLiteral("  All: ") + countLine(written, failed, boardsMs) + QLatin1Char('\n');
    errors_.write(text.toLocal8Bit());
    if (json_ != nullptr)
        json_->summary(written, failed, written + failed > 0 ? boardsMs / (written + failed) : 0,
                       exitStatus);
}

// 2 when no cradle could start for a refused file or usage; 1 when any board failed or a
// cradle's process ended unexpectedly; 0 when every cradle ended written; otherwise 130 for an
// interrupt, 3 when no bootloader answered in time.
int Bench::status() const {
    bool allRefused = true;
    bool allWritten = true;
    bool interrupted = stopping_;
    for (const auto& cradle : cradles_) {
        if (cradle->crashed || cradle->exitStatus == ExitStatus::Failed)
            return ExitStatus::Failed;
        allRefused = allRefused && cradle->exitStatus == ExitStatus::NothingSent;
        allWritten = allWritten && cradle->exitStatus == ExitStatus::Written;
        interrupted = interrupted || cradle->exitStatus == ExitStatus::Interrupted;
    }
    if (allRefused)
        return ExitStatus::NothingSent;
    if (allWritten)
        return ExitStatus::Written;
    return interrupted ? ExitStatus::Interrupted : ExitStatus::NoBootloader;
}
