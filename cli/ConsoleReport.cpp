#include "cli/ConsoleReport.h"

#include <QIODevice>

namespace {
constexpr int BarWidth = 30;
const QString DetailIndent = QStringLiteral("    ");
} // namespace

void ConsoleReport::phase(DownloadPhase phase) {
    endBar();
    measured_ = phase == DownloadPhase::Erasing || phase == DownloadPhase::Writing ||
                phase == DownloadPhase::Verifying || phase == DownloadPhase::Reading;
    percent_ = -1;
    phase_.start();
}

void ConsoleReport::shown(const QString& text) {
    if (text == status_)
        return;
    status_ = text;
    if (!text.isEmpty())
        line(text);
}

void ConsoleReport::reported(const QString& text, const QString& detail) {
    shown(text);
    if (!detail.isEmpty())
        for (const QString& detailLine : detail.split(QLatin1Char('\n')))
            line(DetailIndent + detailLine);
}

void ConsoleReport::progress(int percent) {
    if (!measured_ || percent <= percent_)
        return;
    const int before = percent_;
    percent_ = percent;
    if (terminal_)
        drawBar();
    else if (percent / 10 > before / 10)
        line(QStringLiteral("  ") + progressText());
}

void ConsoleReport::line(const QString& text) {
    endBar();
    write(prefix_ + text + QLatin1Char('\n'));
}

QString ConsoleReport::duration(qint64 ms) {
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString ConsoleReport::bar(int percent, int width) {
    const int filled = percent * width / 100;
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
           QString(width - filled, QLatin1Char('.')) + QLatin1Char(']');
}

// "42 %  0:03 elapsed, 0:04 left"; the time left is judged from the time taken so far.
QString ConsoleReport::progressText() const {
    const qint64 elapsed = phase_.elapsed();
    QString text = QStringLiteral("%1 %  %2 elapsed").arg(percent_, 3).arg(duration(elapsed));
    if (percent_ > 0 && percent_ < 100)
        text += QStringLiteral(", %1 left").arg(duration(elapsed * (100 - percent_) / percent_));
    return text;
}

// Redraws the bar's line in place, blanking what a longer line drew before.
void ConsoleReport::drawBar() {
    QString bar = QStringLiteral("  ") + ConsoleReport::bar(percent_, BarWidth) + QLatin1Char(' ') +
                  progressText();
    const qsizetype length = bar.size();
    if (length < barLength_)
        bar += QString(barLength_ - length, QLatin1Char(' '));
    barLength_ = length;
    write(QLatin1Char('\r') + bar);
}

void ConsoleReport::endBar() {
    if (barLength_ == 0)
        return;
    barLength_ = 0;
    write(QStringLiteral("\n"));
}

void ConsoleReport::write(const QString& text) {
    out_.write(text.toLocal8Bit());
}
