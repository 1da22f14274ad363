#include "support/StatusHistory.h"

#include <QEvent>
#include <QLabel>

StatusHistory::StatusHistory(QLabel* statusLine) : QObject(statusLine), statusLine_(statusLine) {
    statusLine_->installEventFilter(this);
}

bool StatusHistory::eventFilter(QObject* watched, QEvent* event) {
    if (watched == statusLine_ && event->type() == QEvent::Paint &&
        (texts_.isEmpty() || texts_.back() != statusLine_->text())) {
        texts_.append(statusLine_->text());
    }
    return false;
}
