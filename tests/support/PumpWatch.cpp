#include "support/PumpWatch.h"

#include <QTimer>

void atFirstPumpWhere(QObject* owner, std::function<bool()> condition,
                      std::function<void()> action) {
    auto* watch = new QTimer(owner);
    QObject::connect(watch, &QTimer::timeout, watch,
                     [watch, condition = std::move(condition), action = std::move(action)] {
                         if (condition()) {
                             watch->stop();
                             watch->deleteLater();
                             action();
                         }
                     });
    watch->start(0);
}
