// The serial device's parts that are the same on every system.
#include "link/SerialDevice.h"
#include "link/Messages.h"
#include "link/SerialPlatform.h"

#include <QThread>

SerialDevice::OpenResult SerialDevice::refused(Refusal refusal, const QString& portName) {
    switch (refusal) {
    case Refusal::NotThere:
        openFault_ = OpenFault::Missing;
        break;
    case Refusal::AccessDenied:
        // A device that the user may use and that still refuses access is held by another
        // program.
        openFault_ = serialPlatform().mayUse(portName) ? OpenFault::Busy : OpenFault::NoPermission;
        break;
    case Refusal::Other:
        openFault_ = OpenFault::Other;
        break;
    }
    return OpenResult::OpenFailed;
}

void PortDevice::keepPace(qint64 ms) {
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

QString SerialDevice::openFailureDetail(OpenResult result, const QString& portName) const {
    return Message::openFailureDetail(result, *this, portName,
                                      serialPlatform().devicePath(portName));
}

QString SerialDevice::lostContactDetail() const {
    return isGone() ? Message::DeviceWentAway : QString();
}
