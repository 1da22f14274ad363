#pragma once

#include "link/SerialDevice.h"

#include <QString>

// What the serial port and the command protocol report on the status line.
namespace Message {

// An acknowledgement that did not come in time.
inline const QString LostContact = QStringLiteral("Lost contact with ZELTRA IR");

// The port named portName could not be opened and set up, for the step that failed; empty for
// a port that opened.
inline QString openFailure(SerialDevice::OpenResult result, const QString& portName) {
    switch (result) {
    case SerialDevice::OpenResult::Ok:
        break;
    case SerialDevice::OpenResult::OpenFailed:
        return QStringLiteral("Problem Opening Port ") + portName;
    case SerialDevice::OpenResult::ReadSettingsFailed:
        return QStringLiteral("Problem Reading ") + portName + QStringLiteral(" parameters.");
    case SerialDevice::OpenResult::WriteSettingsFailed:
        return QStringLiteral("Problem Writing ") + portName + QStringLiteral(" parameters.");
    case SerialDevice::OpenResult::TimeoutsFailed:
        return QStringLiteral("Problem Setting ") + portName + QStringLiteral(" Timeouts.");
    case SerialDevice::OpenResult::PurgeFailed:
        return QStringLiteral("Problem Clearing ") + portName + QStringLiteral(" Buffers.");
    }
    return {};
}

} // namespace Message
