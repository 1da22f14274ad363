#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// One run of dwnld-cli as a production bench runs it: the command and the simulated target each
// a process of its own. zeltra-sim serves the target on a pseudo-terminal and prints its path;
// the command is started with that path as its --port and the HEX file.
class CommandRun {
public:
    // Starts zeltra-sim with `simArguments`, besides those that have it stop after "g" and write
    // its report, and writes the HEX file.
    CommandRun(const QStringList& simArguments, const QByteArray& hexText);
    ~CommandRun(); // ends the simulator, should it still run
    CommandRun(const CommandRun&) = delete;
    CommandRun& operator=(const CommandRun&) = delete;

    // Runs the command to its exit, on this target's port and on `otherPorts` too (one child
    // process per port); returns the wall time from its start to its exit, in seconds.
    double run(const QStringList& otherPorts = {}) {
        return runOn(QStringList{port_} + otherPorts);
    }
    // Runs the command to its exit on `ports` alone: this target reached another way (through a
    // network server in front of its pseudo-terminal), or other targets.
    double runOn(const QStringList& ports);
    // The CPU time, in seconds, of the command and its child processes in the last run.
    double cpuSeconds() const { return cpuSeconds_; }
    const QString& port() const { return port_; } // the simulated target's pseudo-terminal

    bool succeeded() const; // exit status 0
    QString errors() const; // what the command wrote on standard error
    // The simulated target's report, once it has stopped (after "g", or ended here).
    QJsonObject report();

private:
    QString path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    QProcess simulator_;
    QProcess command_;
    QString port_;
    double cpuSeconds_ = 0;
};

// The CPU time, in seconds, of this process's children that have ended and been waited for.
double endedChildrenCpuSeconds();
