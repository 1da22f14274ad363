#include "bench/CommandRun.h"

#include "support/HexFiles.h"

#include <QElapsedTimer>
#include <QJsonDocument>

#include <sys/resource.h>

#include <stdexcept>

namespace {
constexpr int StartMs = 10000;
constexpr int StopMs = 5000;      // zeltra-sim stops 200 ms after "g"
constexpr int RunMs = 15 * 60000; // far beyond the longest download measured
} // namespace

double endedChildrenCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1.0e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

CommandRun::CommandRun(const QStringList& simArguments, const QByteArray& hexText) {
    if (!dir_.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    HexFiles::writeFile(path(QStringLiteral("program.hex")), hexText);
    simulator_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator_.start(QStringLiteral(ZELTRA_SIM_EXE),
                     simArguments + QStringList{QStringLiteral("--exit-after-go"),
                                                QStringLiteral("--report"),
                                                path(QStringLiteral("report.json"))});
    // The first line of its output is the pseudo-terminal's device path.
    if (simulator_.waitForStarted(StartMs))
        while (!simulator_.canReadLine() && simulator_.waitForReadyRead(StartMs)) {
        }
    port_ = QString::fromLocal8Bit(simulator_.readLine()).trimmed();
    if (port_.isEmpty())
        throw std::runtime_error("zeltra-sim did not name its pseudo-terminal");
}

CommandRun::~CommandRun() {
    if (simulator_.state() != QProcess::NotRunning) {
        simulator_.terminate();
        simulator_.waitForFinished(StopMs);
    }
}

double CommandRun::runOn(const QStringList& ports) {
    command_.setStandardOutputFile(path(QStringLiteral("dwnld-cli.out")));
    command_.setStandardErrorFile(path(QStringLiteral("dwnld-cli.err")));
    QStringList arguments;
    for (const QString& port : ports)
        arguments << QStringLiteral("--port") << port;
    // The simulators are only waited for once their reports are asked for: the children that end
    // during the run are the command and the processes it starts.
    const double cpu0 = endedChildrenCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    command_.start(QStringLiteral(DWNLD_CLI_EXE), arguments << path(QStringLiteral("program.hex")));
    if (!command_.waitForFinished(RunMs))
        throw std::runtime_error("dwnld-cli did not run to its end");
    const double wall = double(clock.nsecsElapsed()) / 1.0e9;
    cpuSeconds_ = endedChildrenCpuSeconds() - cpu0;
    return wall;
}

bool CommandRun::succeeded() const {
    return command_.exitStatus() == QProcess::NormalExit && command_.exitCode() == 0;
}

QString CommandRun::errors() const {
    return QString::fromLocal8Bit(HexFiles::readFile(path(QStringLiteral("dwnld-cli.err"))));
}

QJsonObject CommandRun::report() {
    if (simulator_.state() != QProcess::NotRunning && !simulator_.waitForFinished(StopMs)) {
        simulator_.terminate(); // no "g" came: it writes its report as it stops
        simulator_.waitForFinished(StopMs);
    }
    return QJsonDocument::fromJson(HexFiles::readFile(path(QStringLiteral("report.json"))))
        .object();
}
