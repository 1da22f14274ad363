#pragma once

#include "driver/DownloadOutcome.h"
#include "link/AnswerPace.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>

class QIODevice;

// The events of dwnld-cli's downloads as JSON Lines, for programs to read: one object a line,
// each with the port ("" for the summary of several ports), the board's number (from 1; 0 for a
// summary), the event ("phase", "progress", "report", "found", "result" or "summary"), the
// event's fields and the milliseconds since the start. Fields may be added, never renamed.
class JsonLines {
public:
    JsonLines(QIODevice& out, const QString& port);

    void phase(int board, DownloadPhase phase);
    void progress(int board, int wordsDone, int wordsTotal, int percent);
    void report(int board, const QString& text, const QString& detail, ReportKind kind);
    void found(int board, const QString& port, const QString& description);
    // The answers come late: the times per command, measured and expected, the estimated total
    // and the line's own, and the notice's text and cause.
    void slowLine(int board, const LateAnswers& pace, const QString& text, const QString& cause);
    void result(int board, const DownloadOutcome& outcome, qint64 ms);
    void summary(int written, int failed, qint64 meanMs, int status);

    // Writes an object as it stands, with the port, board and time it has: for a bench that
    // passes its cradles' events on.
    void pass(const QJsonObject& event);
    // Writes an object with this port, the board, the event and the time added.
    void write(int board, const QString& event, QJsonObject fields);

    static QString phaseName(DownloadPhase phase);
    static DownloadPhase phaseNamed(const QString& name); // Done for a name it does not know
    static QString resultName(DownloadOutcome::Result result);
    // FailedAfterContact for a name it does not know.
    static DownloadOutcome::Result resultNamed(const QString& name);
    static QString kindName(ReportKind kind);
    qint64 elapsedMs() const { return clock_.elapsed(); }

private:
    QIODevice& out_;
    QString port_;
    QElapsedTimer clock_;
};
