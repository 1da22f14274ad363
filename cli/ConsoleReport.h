#pragma once

#include "driver/DownloadOutcome.h"

#include <QElapsedTimer>
#include <QString>

class QIODevice;

// What the command line tells its user: the window's status texts as they change, each failure
// with its detail on the lines below, the progress of the erase, the write, the check and the
// read, and lines of its own. On a terminal the progress is a bar redrawn in place, with the time
// taken and the time left; elsewhere (a log) it is a plain line at every 10 %.
class ConsoleReport {
public:
    // Every line starts with `prefix` (a bench's port), if one is given.
    ConsoleReport(QIODevice& out, bool terminal, const QString& prefix = QString())
        : out_(out), terminal_(terminal), prefix_(prefix) {}

    // A phase begins: the erase, the write, the check and the read show their progress.
    void phase(DownloadPhase phase);
    // A status text, as the status line shows it; a text set again is not repeated, and an
    // empty text (the line cleared) shows nothing.
    void shown(const QString& text);
    // A failure: its text, unless just shown, and its detail (may be empty).
    void reported(const QString& text, const QString& detail);
    // The gauge's percentage. Shown while the erase or the write runs, and only as it grows.
    void progress(int percent);
    // A line of the command line's own.
    void line(const QString& text);

    // Minutes and seconds, "m:ss".
    static QString duration(qint64 ms);
    // A progress bar of `width` places: "[#########...........]".
    static QString bar(int percent, int width);

private:
    QString progressText() const;
    void drawBar();
    void endBar(); // the bar's line is done: what follows goes on the next line
    void write(const QString& text);

    QIODevice& out_;
    const bool terminal_;
    const QString prefix_;
    QString status_;        // the last status text
    bool measured_ = false; // the phase shows its progress
    int percent_ = -1;      // the progress shown in this phase; -1 before the first
    QElapsedTimer phase_;
    qsizetype barLength_ = 0; // the bar's line as drawn last; 0 when no bar is open
};
