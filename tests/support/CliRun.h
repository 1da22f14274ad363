#pragma once

#include "sim/PtyTarget.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The real dwnld-cli, copied into a folder of its own, whose DWNLD.INI names the simulated
// target's line unless a test writes its own, started with no Qt platform and no display
// chosen.
class CliRun {
public:
    static constexpr int RunTimeoutMs = 120000;

    explicit CliRun(zeltra::sim::Options options = quickTarget());

    QString path(const QString& name) const { return dir_.filePath(name); }
    QString port() const { return QString::fromStdString(target.devicePath()); }
    QString settingsPath() const { return path(QStringLiteral("DWNLD.INI")); }
    void writeSettings(const QByteArray& text);
    QString writeHex(const QByteArray& text); // as program.hex; its path

    // Starts it, under `wrapper` (a command and its arguments) when one is given; once it has
    // ended, it may be started again.
    bool start(QStringList arguments, QStringList wrapper = {});
    // What it has written on standard error so far.
    QString errors();
    // Runs it to its end; its exit status.
    int run(const QStringList& arguments) { return start(arguments) ? finish() : -1; }
    // Its exit status once it has ended; -1 when it did not end by itself within timeoutMs.
    int finish(int timeoutMs = RunTimeoutMs);
    QString standardOutput();
    void interrupt();
    qint64 processId() const { return process_.processId(); }
    bool running() const { return process_.state() != QProcess::NotRunning; }

    zeltra::sim::PtyTarget target;

private:
    static zeltra::sim::Options quickTarget();

    QTemporaryDir dir_;
    QProcess process_;
    QString errors_;
};
