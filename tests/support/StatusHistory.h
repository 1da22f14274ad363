#pragma once

#include <QObject>
#include <QStringList>

class QLabel;

// Every text that a status line was painted with, in order (a text repeated in a row counts
// once). It tells which messages the user saw flash by before the one that stayed.
class StatusHistory : public QObject {
public:
    explicit StatusHistory(QLabel* statusLine);

    const QStringList& texts() const { return texts_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* statusLine_;
    QStringList texts_;
};
