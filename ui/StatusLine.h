#pragma once

#include <QLabel>
#include <QList>
#include <QString>

// The window's status line. It shows its text centred on one line, elided in the middle when the
// text is too long for it: in the middle of its longest word where that is enough (the text
// itself stays whole). Its tool tip lists the reports of the
// last download in order, each with the detail that its text leaves out, and begins with the
// whole text when that is elided and not the last report, then the note on the port and the
// notice on how the download goes.
class StatusLine : public QLabel {
    Q_OBJECT

public:
    explicit StatusLine(const QString& text, QWidget* parent = nullptr);

    // Shows a text.
    void setStatus(const QString& text);
    // Shows a report's text and adds it, with its detail (may be empty), to the tool tip.
    void report(const QString& text, const QString& detail);
    // Forgets the reports and the note: a download starts.
    void clearReports();
    // A note on the port in use, at the head of the tool tip (may be several lines).
    void setNote(const QString& note);
    // A notice on how the download goes (its answers come late), after the note: each of its
    // lines broken between words to fit a tip.
    void setNotice(const QString& notice);

    // What the line shows: the text, or the text elided in the middle.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Report {
        QString text;
        QString detail;
    };
    void updateToolTip();

    QList<Report> reports_;
    QString note_;
    QString notice_;
};
