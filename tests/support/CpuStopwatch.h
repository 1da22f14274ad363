#pragma once

#include <QByteArray>
#include <QElapsedTimer>

// Wall time and CPU time over a stretch of a test: compared, they tell a wait that sleeps from
// one that spins a core. The CPU time is the whole process's, or only the calling thread's
// (called from the user-interface thread, that is the tool without the simulated target).
class CpuStopwatch {
public:
    enum class Scope { Process, Thread };

    explicit CpuStopwatch(Scope scope = Scope::Process) : scope_(scope) {}

    void start();
    void stop();
    bool running() const { return wall_.isValid(); } // started at least once
    qint64 elapsedMs() const { return wall_.elapsed(); }

    double wallMs() const { return wallMs_; } // from start() to stop()
    double cpuShare() const { return wallMs_ > 0 ? cpuMs_ / wallMs_ : 0; }
    QByteArray describe() const; // e.g. "12 ms CPU in 1003 ms"

private:
    double cpuNowMs() const;

    Scope scope_;
    QElapsedTimer wall_;
    double cpuAtStart_ = 0;
    double wallMs_ = 0;
    double cpuMs_ = 0;
};
