#pragma once

#include <functional>

class QObject;

// Runs `action` once, in the first pass of the message pump in which `condition` holds. The
// condition is looked at in every pass (a zero-interval timer), so a phase of a download that
// lasts only a few passes is not missed, however busy the machine. The watch belongs to `owner`.
void atFirstPumpWhere(QObject* owner, std::function<bool()> condition,
                      std::function<void()> action);
