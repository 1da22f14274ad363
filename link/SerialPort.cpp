// The window's serial-port operations: opening, configuring and closing the port, and moving
// single bytes over it.
#include "link/Messages.h"
#include "link/SerialDevice.h"
#include "link/SerialPlatform.h"
#include "ui/TDownloadForm.h"

bool TDownloadForm::OpenCom(const QString& portName) {
    pump();
    const SerialDevice::OpenResult result = PortHandle.open(portName);
    if (result == SerialDevice::OpenResult::Ok)
        return true;
    DO_ERROR(Message::openFailure(result, portName),
             Message::openFailureDetail(result, PortHandle, portName,
                                        serialPlatform().devicePath(portName)));
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
