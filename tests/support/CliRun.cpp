#include "support/CliRun.h"

#include "support/DownloadRig.h"
#include "support/HexFiles.h"

#include <QFile>
#include <QProcessEnvironment>

#include <csignal>

CliRun::CliRun(zeltra::sim::Options options) : target(std::move(options)) {
    writeSettings("[ZELTRA_IR_DOWNLOAD]\nPORT=" + port().toUtf8() + "\n");
}

zeltra::sim::Options CliRun::quickTarget() {
    return DownloadRig::quickTarget();
}

void CliRun::writeSettings(const QByteArray& text) {
    HexFiles::writeFile(settingsPath(), text);
}

QString CliRun::writeHex(const QByteArray& text) {
    return HexFiles::writeFile(path(QStringLiteral("program.hex")), text);
}

bool CliRun::start(QStringList arguments, QStringList wrapper) {
    const QString executable = path(QStringLiteral("dwnld-cli"));
    if (!QFile::exists(executable) &&
        !QFile::copy(qEnvironmentVariable("DWNLD_CLI_EXE"), executable))
        return false;
    errors_.clear();
    arguments.prepend(executable);
    arguments = wrapper + arguments;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
    process_.setProcessEnvironment(environment);
    process_.start(arguments.front(), arguments.mid(1));
    return process_.waitForStarted();
}

QString CliRun::errors() {
    errors_ += QString::fromLocal8Bit(process_.readAllStandardError());
    return errors_;
}

int CliRun::finish(int timeoutMs) {
    const bool ended = process_.waitForFinished(timeoutMs);
    errors();
    return ended && process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QString CliRun::standardOutput() {
    return QString::fromLocal8Bit(process_.readAllStandardOutput());
}

void CliRun::interrupt() {
    ::kill(pid_t(process_.processId()), SIGINT);
}
