// The window's serial-port operations: opening, configuring and closing the port, and moving
// single bytes over it.
#include "link/SerialDevice.h"
#include "ui/TDownloadForm.h"

bool TDownloadForm::OpenCom(const QString& portName) {
    pump();
    switch (PortHandle.open(portName)) {
    case SerialDevice::OpenResult::Ok:
        return true;
    case SerialDevice::OpenResult::OpenFailed:
        DO_ERROR(QStringLiteral("Problem Opening Port ") + portName);
        break;
    case SerialDevice::OpenResult::ReadSettingsFailed:
        DO_ERROR(QStringLiteral("Problem Reading ") + portName + QStringLiteral(" parameters."));
        break;
    case SerialDevice::OpenResult::WriteSettingsFailed:
        DO_ERROR(QStringLiteral("Problem Writing ") + portName + QStringLiteral(" parameters."));
        break;
    case SerialDevice::OpenResult::TimeoutsFailed:
        DO_ERROR(QStringLiteral("Problem Setting ") + portName + QStringLiteral(" Timeouts."));
        break;
    case SerialDevice::OpenResult::PurgeFailed:
        DO_ERROR(QStringLiteral("Problem Clearing ") + portName + QStringLiteral(" Buffers."));
        break;
    }
    return false;
}

bool TDownloadForm::CloseCom() {
    return PortHandle.close();
}

int TDownloadForm::WRITE_BYTE(char byte) {
    return int(PortHandle.write(QByteArray(1, byte)));
}

// A received NUL looks the same as no byte at all; the protocol never sends one.
char TDownloadForm::READ_BYTE() {
    const QByteArray bytes = PortHandle.read(1);
    return bytes.isEmpty() ? '\0' : bytes.front();
}
