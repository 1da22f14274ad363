#pragma once

#include "driver/DownloadOutcome.h"

#include <QString>

// The command line's own words, the same from dwnld-cli alone and from a bench of cradles; the
// download's texts are the window's (driver/Messages.h and beside it).
namespace Message {

// A time in seconds, to a tenth: "81.4 s".
inline QString seconds(qint64 ms) {
    return QString::number(ms / 1000.0, 'f', 1) + QStringLiteral(" s");
}

// How a board came through, and the time it took: "written in 81.4 s", "matched, verified in
// 3.1 s", "differs, verified in 3.1 s", "read in 35.2 s", or "failed after 12.7 s".
inline QString boardEnd(DownloadOutcome::Result result, qint64 ms) {
    using Result = DownloadOutcome::Result;
    switch (result) {
    case Result::Written:
        return QStringLiteral("written in ") + seconds(ms);
    case Result::Matched:
        return QStringLiteral("matched, verified in ") + seconds(ms);
    case Result::Differs:
        return QStringLiteral("differs, verified in ") + seconds(ms);
    case Result::Read:
        return QStringLiteral("read in ") + seconds(ms);
    default:
        return QStringLiteral("failed after ") + seconds(ms);
    }
}
inline QString boardLine(int board, DownloadOutcome::Result result, qint64 ms) {
    return QStringLiteral("Board %1: ").arg(board) + boardEnd(result, ms);
}

// The boards that came through and those that did not, by what the operation does when it comes
// through (Written, Matched or Read): "3 written, 1 failed", "3 matched, 1 differs".
inline QString boardCount(DownloadOutcome::Result success, int succeeded, int failed) {
    using Result = DownloadOutcome::Result;
    const QString good = success == Result::Matched ? QStringLiteral("matched")
                         : success == Result::Read  ? QStringLiteral("read")
                                                    : QStringLiteral("written");
    const QString bad =
        success == Result::Matched ? QStringLiteral("differs") : QStringLiteral("failed");
    return QStringLiteral("%1 %2, %3 %4").arg(succeeded).arg(good).arg(failed).arg(bad);
}

// The notice of late answers on one line: what they mean, and what may hold them back.
inline QString lateAnswersLine(const QString& text, const QString& cause) {
    return cause.isEmpty() ? text : text + QLatin1Char(' ') + QString(cause).replace('\n', ' ');
}
// A cradle whose answers came late, on a bench's line: "answers 15.2 ms late".
inline QString answersLateBy(double lateMs) {
    return QStringLiteral("answers %1 ms late").arg(lateMs, 0, 'f', 1);
}

inline const QString Interrupted =
    QStringLiteral("Interrupted: stopping (interrupt again to end at once)");
inline const QString BenchInterrupted =
    QStringLiteral("Interrupted: stopping every cradle (interrupt again to end at once)");
inline QString noBootloaderWithin(int ms) {
    return QStringLiteral("No bootloader answered within %1 s").arg(ms / 1000.0);
}

} // namespace Message
