// The serial device on Windows, through kernel32's serial calls on one synchronous handle. The
// device's own time-outs hold the read rule: 10 ms between bytes, 10 x n + 10 ms in all.
#include "link/SerialDevice.h"

#include <QRegularExpression>

#include <windows.h>

namespace {

constexpr DWORD kBaudRate = 19200;
constexpr DWORD kTimeoutMs = 10; // every one of the five time-outs
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// The name the system opens for a port name: "COM10" and above exist only in the device
// namespace, so every COM name is given the "\\.\" prefix; any other name as written.
QByteArray systemDeviceName(const QString& portName) {
    static const QRegularExpression comPort(QStringLiteral("^COM[1-9][0-9]*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString name =
        comPort.match(portName).hasMatch() ? QStringLiteral("\\\\.\\") + portName : portName;
    return name.toLocal8Bit();
}

// 19200 baud, 8 data bits, no parity, one stop bit; of the flags only fBinary: no flow control
// of any kind, DTR and RTS off, line errors abort nothing, NUL bytes and bytes with errors
// delivered as they are. The other fields keep what the device reported.
void setLineSettings(DCB& settings) {
    settings.BaudRate = kBaudRate;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = 1;
    settings.fParity = 0;
    settings.fOutxCtsFlow = 0;
    settings.fOutxDsrFlow = 0;
    settings.fDtrControl = DTR_CONTROL_DISABLE;
    settings.fDsrSensitivity = 0;
    settings.fTXContinueOnXoff = 0;
    settings.fOutX = 0;
    settings.fInX = 0;
    settings.fErrorChar = 0;
    settings.fNull = 0;
    settings.fRtsControl = RTS_CONTROL_DISABLE;
    settings.fAbortOnError = 0;
    settings.fDummy2 = 0;
}

SerialDevice::OpenFault openFaultOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return SerialDevice::OpenFault::Missing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return SerialDevice::OpenFault::Busy; // another program holds it
    default:
        return SerialDevice::OpenFault::Other;
    }
}

QString systemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message = length > 0 ? QString::fromWCharArray(text, int(length)).trimmed()
                                 : QStringLiteral("error %1").arg(error);
    LocalFree(text);
    return message;
}

} // namespace

struct SerialDevice::Port {
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD lastError = ERROR_SUCCESS; // of the latest call that failed

    void noteError() { lastError = GetLastError(); } // why the call just made failed
};

SerialDevice::SerialDevice() : port_(std::make_unique<Port>()) {}

SerialDevice::~SerialDevice() {
    close();
}

SerialDevice::OpenResult SerialDevice::open(const QString& portName) {
    close();
    openFault_ = OpenFault::None;
    port_->lastError = ERROR_SUCCESS;
    port_->handle =
        CreateFileA(systemDeviceName(portName).constData(), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port_->handle == INVALID_HANDLE_VALUE) {
        port_->noteError();
        openFault_ = openFaultOf(port_->lastError);
        return OpenResult::OpenFailed;
    }
    open_ = true;
    const auto failed = [this](OpenResult result) {
        port_->noteError();
        return result;
    };
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!GetCommState(port_->handle, &settings))
        return failed(OpenResult::ReadSettingsFailed);
    setLineSettings(settings);
    if (!SetCommState(port_->handle, &settings))
        return failed(OpenResult::WriteSettingsFailed);
    COMMTIMEOUTS timeouts{};
    GetCommTimeouts(port_->handle, &timeouts); // every field is overwritten
    timeouts = {kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs};
    if (!SetCommTimeouts(port_->handle, &timeouts))
        return failed(OpenResult::TimeoutsFailed);
    if (!purge())
        return OpenResult::PurgeFailed;
    return OpenResult::Ok;
}

bool SerialDevice::isOpen() const {
    return open_;
}

QString SerialDevice::errorString() const {
    return systemMessage(port_->lastError);
}

bool SerialDevice::close() {
    if (!open_)
        return false;
    open_ = false;
    CloseHandle(port_->handle);
    port_->handle = INVALID_HANDLE_VALUE;
    return true;
}

bool SerialDevice::usable() {
    return open_;
}

qint64 SerialDevice::write(const QByteArray& bytes) {
    DWORD written = 0;
    if (!usable() || bytes.isEmpty())
        return 0;
    if (!WriteFile(port_->handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr))
        port_->noteError();
    return qint64(written);
}

// A device that went away fails its reads at once: the read then takes its whole time, so that
// the loops that read keep their pace.
QByteArray SerialDevice::read(int count) {
    QByteArray bytes;
    if (!usable() || count <= 0)
        return bytes;
    bytes.resize(count);
    DWORD received = 0;
    if (!ReadFile(port_->handle, bytes.data(), DWORD(count), &received, nullptr)) {
        port_->noteError();
        Sleep(kTimeoutMs * DWORD(count) + kTimeoutMs);
    }
    bytes.truncate(int(received));
    return bytes;
}

bool SerialDevice::purge() {
    if (!usable())
        return false;
    if (PurgeComm(port_->handle, kPurgeAll))
        return true;
    port_->noteError();
    return false;
}

void SerialDevice::clearErrors() {
    DWORD errors = 0;
    COMSTAT status{};
    if (usable())
        ClearCommError(port_->handle, &errors, &status);
}
