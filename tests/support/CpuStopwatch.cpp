#include "support/CpuStopwatch.h"

#include <ctime>

void CpuStopwatch::start() {
    wall_.start();
    cpuAtStart_ = cpuNowMs();
}

void CpuStopwatch::stop() {
    wallMs_ = double(wall_.nsecsElapsed()) / 1.0e6;
    cpuMs_ = cpuNowMs() - cpuAtStart_;
}

QByteArray CpuStopwatch::describe() const {
    return QByteArray::number(cpuMs_, 'f', 0) + " ms CPU in " +
           QByteArray::number(wallMs_, 'f', 0) + " ms";
}

double CpuStopwatch::cpuNowMs() const {
    timespec t{};
    ::clock_gettime(scope_ == Scope::Thread ? CLOCK_THREAD_CPUTIME_ID : CLOCK_PROCESS_CPUTIME_ID,
                    &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1.0e6;
}
