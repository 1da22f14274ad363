#include "support/PeakMemory.h"

#include <QByteArray>
#include <QFile>

namespace {

// A "Name:   1234 kB" field of /proc/self/status, in KiB; 0 when absent.
qint64 statusFieldKb(const QByteArray& name) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':')) {
            return line.mid(name.size() + 1).trimmed().split(' ').front().toLongLong();
        }
    }
    return 0;
}

bool resetPeak() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace

PeakMemory::PeakMemory()
    : baselineKb_(resetPeak() ? statusFieldKb("VmRSS") : statusFieldKb("VmHWM")) {}

qint64 PeakMemory::growthKb() const {
    return statusFieldKb("VmHWM") - baselineKb_;
}
