#include "ui/StatusLine.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

namespace {
// Prose in a tip is broken into lines of about this many characters, between words.
constexpr qsizetype TipColumns = 110;

QString wrapped(const QString& text) {
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QString line;
        for (const QString& word : paragraph.split(QLatin1Char(' '))) {
            if (!line.isEmpty() && line.size() + 1 + word.size() > TipColumns) {
                lines.append(line);
                line.clear();
            }
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}
} // namespace

StatusLine::StatusLine(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void StatusLine::setStatus(const QString& text) {
    setText(text);
    updateToolTip();
}

void StatusLine::report(const QString& text, const QString& detail) {
    reports_.append({text, detail});
    setStatus(text);
}

void StatusLine::clearReports() {
    reports_.clear();
    note_.clear();
    notice_.clear();
    updateToolTip();
}

void StatusLine::setNotice(const QString& notice) {
    notice_ = wrapped(notice);
    updateToolTip();
}

void StatusLine::setNote(const QString& note) {
    note_ = note;
    updateToolTip();
}

// The longest word (as a rule a device path) gives way first, in its middle, so that the words
// around it stay whole; when that is not enough the whole text is elided in its middle.
QString StatusLine::shownText() const {
    const QString whole = text();
    const QFontMetrics metrics = fontMetrics();
    const int width = contentsRect().width();
    if (metrics.horizontalAdvance(whole) <= width)
        return whole;
    qsizetype start = 0;
    qsizetype length = 0;
    for (qsizetype from = 0; from <= whole.size();) {
        qsizetype end = whole.indexOf(QLatin1Char(' '), from);
        if (end < 0)
            end = whole.size();
        if (end - from > length) {
            start = from;
            length = end - from;
        }
        from = end + 1;
    }
    const QString before = whole.left(start);
    const QString after = whole.mid(start + length);
    const int room = width - metrics.horizontalAdvance(before + after);
    const QString word = metrics.elidedText(whole.mid(start, length), Qt::ElideMiddle, room);
    const QString shown = before + word + after;
    if (word.size() > 1 && metrics.horizontalAdvance(shown) <= width)
        return shown;
    return metrics.elidedText(whole, Qt::ElideMiddle, width);
}

// Draws the text as QLabel would, but elided in the middle rather than cut off at both ends.
void StatusLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), int(alignment()), shownText());
}

void StatusLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    updateToolTip();
}

void StatusLine::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateToolTip();
}

// One line for each report, the lines of its detail indented below it.
void StatusLine::updateToolTip() {
    QStringList lines;
    const bool elided = shownText() != text();
    if (elided && (reports_.isEmpty() || reports_.back().text != text()))
        lines.append(text());
    for (const QString& lead : {note_, notice_})
        if (!lead.isEmpty())
            lines.append(lead);
    for (const Report& report : reports_) {
        lines.append(report.text);
        if (!report.detail.isEmpty())
            for (const QString& detailLine : report.detail.split(QLatin1Char('\n')))
                lines.append(QStringLiteral("    ") + detailLine);
    }
    setToolTip(lines.join(QLatin1Char('\n')));
}
