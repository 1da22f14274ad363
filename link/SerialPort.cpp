// The session's serial-port operations: opening, configuring and closing the port, and moving
// single bytes over it.
#include "driver/DownloadSession.h"
#include "driver/Messages.h"
#include "link/Messages.h"

// A network port may take a while to connect: a face stays live meanwhile, and a Cancel,
// a Close or a port choice abandons the connection.
bool DownloadSession::OpenCom(const QString& portName) {
    pump();
    const CradlePort::OpenResult result = PortHandle.open(portName, [this] {
        pump();
        return !stopping();
    });
    if (result == CradlePort::OpenResult::Ok)
        return true;
    if (PortHandle.abandoned())
        DO_ERROR(Message::DownloadCancelled);
    else
        DO_ERROR(Message::openFailure(result, portName),
                 PortHandle.openFailureDetail(result, portName));
    return false;
}

bool DownloadSession::CloseCom() {
    return PortHandle.close();
}

int DownloadSession::WRITE_BYTE(char byte) {
    return int(PortHandle.write(QByteArray(1, byte)));
}

// A received NUL looks the same as no byte at all; the protocol never sends one.
char DownloadSession::READ_BYTE() {
    const QByteArray bytes = PortHandle.read(1);
    return bytes.isEmpty() ? '\0' : bytes.front();
}
