#pragma once

#include "link/AnswerPace.h"
#include "link/NetworkLink.h"
#include "link/SerialDevice.h"

#include <QString>
#include <QStringList>

#include <optional>

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

// The Port menu's item that looks for the cradle on every port.
inline const QString FindTheCradle = QStringLiteral("Find the Cradle");
inline const QString HeldByAnotherProgram = QStringLiteral(" is busy: another program holds it");

// What the message of a port that would not open and set up leaves out: the device that a COM
// name stands for, why the device did not open, in words the user can act on, and for a set-up
// step that failed, the system's own words.
inline QString openFailureDetail(SerialDevice::OpenResult result, const SerialDevice& device,
                                 const QString& portName, const QString& devicePath) {
    const bool named = devicePath != portName;
    const QString subject =
        named ? portName + QStringLiteral(" is ") + devicePath + QStringLiteral(", which")
              : QStringLiteral("The device");
    if (result != SerialDevice::OpenResult::OpenFailed)
        return subject + QStringLiteral(" refused: ") + device.errorString();
    switch (device.openFault()) {
    case SerialDevice::OpenFault::Missing:
        return subject + QStringLiteral(" is not there: is the cradle's adapter plugged in? ") +
               FindTheCradle + QStringLiteral(" in the Port menu looks for it on every port.");
    case SerialDevice::OpenFault::NoPermission:
        return subject + QStringLiteral(" needs a permission you do not have: on Debian, add "
                                        "yourself to the dialout group, then log in again");
    case SerialDevice::OpenFault::Busy:
        return subject + HeldByAnotherProgram;
    case SerialDevice::OpenFault::Other:
    case SerialDevice::OpenFault::None:
        break;
    }
    return subject + QStringLiteral(" cannot be opened: ") + device.errorString();
}

// The search for the cradle, in the status line's tool tip.
inline QString askingPort(const QString& portName) {
    return QStringLiteral("Asking ") + portName +
           QStringLiteral(" for the bootloader. The cradle is on another port? Choose ") +
           FindTheCradle + QStringLiteral(" in the Port menu.");
}
inline QString askingPorts(const QStringList& portNames) {
    return QStringLiteral("Looking for the cradle on ") + portNames.join(QStringLiteral(", "));
}
inline QString busyPort(const QString& portName) {
    return portName + HeldByAnotherProgram;
}
inline QString cradleFoundOn(const QString& portName, const QString& description) {
    return QStringLiteral("found on ") + portName +
           (description.isEmpty() ? QString() : QStringLiteral(", ") + description);
}
inline const QString NoPortPresent =
    QStringLiteral("No serial port is present: is the cradle's adapter plugged in?");
inline QString everyPortBusy(const QStringList& portNames) {
    return QStringLiteral("Every serial port is held by another program: ") +
           portNames.join(QStringLiteral(", "));
}
inline const QString NoPortLeft =
    QStringLiteral("No port answered as the cradle's bootloader: every port that answered "
                   "said something else");

// What "Lost contact" leaves out when the device itself went away (a USB adapter pulled out).
inline const QString DeviceWentAway =
    QStringLiteral("The device went away: is the cradle's adapter plugged in?");

// What the message of a network port that would not open leaves out: the server's host and
// port and the system's reason (in errorString()), and what the user may do about it.
inline QString networkOpenFailureDetail(PortDevice::OpenResult result, const NetworkLink& link) {
    const QString why = link.errorString();
    if (result != PortDevice::OpenResult::OpenFailed)
        return QStringLiteral("The server did not set the line: ") + why;
    switch (link.openFault()) {
    case NetworkLink::OpenFault::BadAddress:
        return QStringLiteral("Not a network port: ") + why;
    case NetworkLink::OpenFault::UnknownHost:
        return QStringLiteral("The host is not known: ") + why;
    case NetworkLink::OpenFault::Refused:
        return QStringLiteral("Nothing answers there: is the server running? ") + why;
    case NetworkLink::OpenFault::TimedOut:
        return QStringLiteral("The host does not answer: is it on, and on this network? ") + why;
    case NetworkLink::OpenFault::NoRfc2217:
        return QStringLiteral("The server does not offer RFC 2217 (") + why +
               QStringLiteral("): if its port is set to 19200 baud, 8 data bits, no parity, one "
                              "stop bit, name it socket://") +
               link.endpoint() + QStringLiteral(" instead");
    case NetworkLink::OpenFault::Busy:
        return link.endpoint() + HeldByAnotherProgram + QStringLiteral(" (") + why +
               QLatin1Char(')');
    case NetworkLink::OpenFault::Cancelled:
    case NetworkLink::OpenFault::Other:
    case NetworkLink::OpenFault::None:
        break;
    }
    return QStringLiteral("The connection cannot be made: ") + why;
}

// What "Lost contact" leaves out when the server ended the connection.
inline QString connectionClosed(const QString& endpoint) {
    return QStringLiteral("The connection to ") + endpoint + QStringLiteral(" closed");
}

// A duration as a person reads it: "45 s", "1 min 20 s"; from a minute on to the nearest 10 s.
inline QString duration(qint64 ms) {
    const qint64 seconds = (ms + 500) / 1000;
    if (seconds < 60)
        return QString::number(seconds) + QStringLiteral(" s");
    const qint64 tens = (seconds + 5) / 10;
    const qint64 rest = tens % 6 * 10;
    return QString::number(tens / 6) + QStringLiteral(" min") +
           (rest == 0 ? QString()
                      : QStringLiteral(" ") + QString::number(rest) + QStringLiteral(" s"));
}

// Answers that come late, for an operation named so ("download", "check", "read").
inline QString answersLate(const LateAnswers& pace, const QString& operation) {
    const QString late = pace.lateMs < 10 ? QString::number(pace.lateMs, 'f', 1)
                                          : QString::number(qRound(pace.lateMs));
    return QStringLiteral("Each answer arrives about ") + late + QStringLiteral(" ms late: this ") +
           operation + QStringLiteral(" will take about ") + duration(pace.estimatedMs) +
           QStringLiteral(" instead of ") + duration(pace.lineMs) + QLatin1Char('.');
}

// What holds the answers back, by the kind of port, and what to do about it: a line for each
// step.
inline QString windowsAdapterLatency(std::optional<int> latencyTimerMs) {
    return QStringLiteral("A USB serial adapter holds every answer for its latency timer (16 ms by "
                          "default on FTDI adapters") +
           (latencyTimerMs ? QStringLiteral("; this one's is set to ") +
                                 QString::number(*latencyTimerMs) + QStringLiteral(" ms")
                           : QString()) +
           QStringLiteral(").\nIn Device Manager, open the port's Properties, then Port Settings, "
                          "Advanced, and set Latency Timer (msec) to 1.");
}
inline QString linuxLowLatencyRefused(const QString& device, const QString& driver) {
    const QString rule =
        driver.isEmpty() ? QString() : QStringLiteral(", DRIVERS==\"") + driver + QLatin1Char('"');
    return QStringLiteral("The serial adapter did not take low latency, so its latency timer "
                          "holds every answer (") +
           (driver.isEmpty() ? QStringLiteral("driver not known")
                             : QStringLiteral("driver ") + driver) +
           QStringLiteral(").\nSet it with: setserial ") + device +
           QStringLiteral(" low_latency\nor each time it is plugged in, with a udev rule such "
                          "as:\nACTION==\"add\", SUBSYSTEM==\"tty\"") +
           rule + QStringLiteral(", RUN+=\"/bin/setserial /dev/%k low_latency\"");
}
inline const QString LinuxLowLatencyTaken =
    QStringLiteral("The serial adapter took low latency, so something else holds the answers "
                   "back:\na USB hub, a busy machine, or an adapter that ignores the setting.");
inline QString networkHoldsAnswers(const QString& endpoint) {
    return QStringLiteral("The server at ") + endpoint +
           QStringLiteral(" may gather what it reads from the cradle before sending it:\nin "
                          "ser2net, set \"chardelay: false\" in the connection's options.\n"
                          "Otherwise the network's round trip holds each answer: a nearer "
                          "server helps.");
}

} // namespace Message
