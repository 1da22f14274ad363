// The serial device on Windows, through kernel32's serial calls on one synchronous handle. The
// device's own time-outs hold the read rule (readRuleTimeouts()).
#include "link/Commands.h"
#include "link/Messages.h"
#include "link/SerialDevice.h"

#include <QStringList>

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// The name the system opens for a port name: "COM10" and above exist only in the device
// namespace, so every COM name is given the "\\.\" prefix; any other name as written.
std::wstring systemDeviceName(const QString& portName) {
    const QString name =
        ComName::isWindowsName(portName) ? QStringLiteral("\\\\.\\") + portName : portName;
    return name.toStdWString();
}

// 19200 baud, 8 data bits, no parity, one stop bit; of the flags only fBinary: no flow control
// of any kind, DTR and RTS off, line errors abort nothing, NUL bytes and bytes with errors
// delivered as they are. LF is the event character: every acknowledgement and reply of the
// bootloader ends with it, and an FTDI adapter sends on what it holds as soon as it receives it,
// without waiting for its latency timer. The other fields keep what the device reported.
void setLineSettings(DCB& settings) {
    settings.BaudRate = Line::BaudRate;
    settings.ByteSize = Line::DataBits;
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
    settings.EvtChar = '\n';
}

// The read rule as the device's time-outs: a read of n bytes ends after a gap of more than GapMs
// between bytes, or after PerByteMs x n + ConstantMs in all; a write gets as long.
COMMTIMEOUTS readRuleTimeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = SerialDevice::GapMs;
    timeouts.ReadTotalTimeoutMultiplier = SerialDevice::PerByteMs;
    timeouts.ReadTotalTimeoutConstant = SerialDevice::ConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = SerialDevice::PerByteMs;
    timeouts.WriteTotalTimeoutConstant = SerialDevice::ConstantMs;
    return timeouts;
}

// The names of the subkeys of a key below `parent` (of `parent` itself for an empty path).
QStringList subkeys(HKEY parent, const QString& path) {
    QStringList names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.toStdWString().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    std::vector<wchar_t> name(256, L'\0'); // a key's name has at most 255 characters
    for (DWORD index = 0;; ++index) {
        DWORD length = DWORD(name.size());
        if (RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.append(QString::fromWCharArray(name.data(), int(length)));
    }
    RegCloseKey(key);
    return names;
}

// A REG_SZ value of a key below `parent`; empty when there is none.
QString textValue(HKEY parent, const std::wstring& path, const wchar_t* name) {
    std::vector<wchar_t> text(256, L'\0');
    DWORD size = DWORD(text.size() * sizeof(wchar_t));
    if (RegGetValueW(parent, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
        ERROR_SUCCESS)
        return {};
    return QString::fromWCharArray(text.data());
}

// A REG_DWORD value of a key below `parent`, when there is one.
std::optional<int> numberValue(HKEY parent, const std::wstring& path, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(parent, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return int(value);
}

// The latency timer of the device instance, below FTDI's bus key, whose PortName is the port:
// FTDIBUS\<device id>\<instance>\Device Parameters.
std::optional<int> latencyTimerBelow(HKEY bus, const QString& portName) {
    for (const QString& device : subkeys(bus, QString()))
        for (const QString& instance : subkeys(bus, device)) {
            const std::wstring parameters =
                (device + QLatin1Char('\\') + instance + QStringLiteral("\\Device Parameters"))
                    .toStdWString();
            if (textValue(bus, parameters, L"PortName").compare(portName, Qt::CaseInsensitive) != 0)
                continue;
            if (const std::optional<int> latency = numberValue(bus, parameters, L"LatencyTimer"))
                return latency;
        }
    return std::nullopt;
}

// The latency timer, in milliseconds, that FTDI's driver keeps for a COM port, read-only; none
// when the port is not an FTDI adapter's or the registry does not say.
std::optional<int> ftdiLatencyTimer(const QString& portName) {
    HKEY bus = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS", 0, KEY_READ,
                      &bus) != ERROR_SUCCESS)
        return std::nullopt;
    const std::optional<int> latency = latencyTimerBelow(bus, portName);
    RegCloseKey(bus);
    return latency;
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
    QString portName;                          // as open() was given it
    DWORD lastError = ERROR_SUCCESS;           // of the latest call that failed
    std::optional<DCB> foundSettings;          // the line settings before open() changed them
    std::optional<COMMTIMEOUTS> foundTimeouts; // and the time-outs

    void noteError() { lastError = GetLastError(); } // why the call just made failed

    // Puts back the settings that open() found, then closes the handle.
    void release() {
        if (foundTimeouts)
            SetCommTimeouts(handle, &*foundTimeouts);
        if (foundSettings)
            SetCommState(handle, &*foundSettings);
        letGo();
    }

    // Closes the handle as it is: a device that went away takes no more calls.
    void letGo() {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
        foundSettings.reset();
        foundTimeouts.reset();
    }
};

SerialDevice::SerialDevice() : port_(std::make_unique<Port>()) {}

SerialDevice::~SerialDevice() {
    close();
}

SerialDevice::Refusal SerialDevice::refusalOf(int systemError) {
    switch (systemError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return Refusal::NotThere;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return Refusal::AccessDenied;
    default:
        return Refusal::Other;
    }
}

SerialDevice::OpenResult SerialDevice::open(const QString& portName) {
    close();
    openFault_ = OpenFault::None;
    port_->lastError = ERROR_SUCCESS;
    port_->handle = CreateFileW(systemDeviceName(portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port_->handle == INVALID_HANDLE_VALUE) {
        port_->noteError();
        return refused(refusalOf(int(port_->lastError)), portName);
    }
    port_->portName = portName;
    state_ = State::Open;
    const auto failed = [this](OpenResult result) {
        port_->noteError();
        return result;
    };
    DCB found{};
    found.DCBlength = sizeof found;
    if (!GetCommState(port_->handle, &found))
        return failed(OpenResult::ReadSettingsFailed);
    port_->foundSettings = found;
    DCB settings = found;
    setLineSettings(settings);
    if (!SetCommState(port_->handle, &settings))
        return failed(OpenResult::WriteSettingsFailed);
    COMMTIMEOUTS foundTimeouts{};
    if (!GetCommTimeouts(port_->handle, &foundTimeouts))
        return failed(OpenResult::TimeoutsFailed);
    port_->foundTimeouts = foundTimeouts;
    COMMTIMEOUTS timeouts = readRuleTimeouts();
    if (!SetCommTimeouts(port_->handle, &timeouts))
        return failed(OpenResult::TimeoutsFailed);
    if (!purge())
        return OpenResult::PurgeFailed;
    return OpenResult::Ok;
}

QString SerialDevice::errorString() const {
    return systemMessage(port_->lastError);
}

bool SerialDevice::close() {
    if (!isOpen())
        return false;
    if (state_ == State::Open)
        port_->release();
    state_ = State::Closed;
    return true;
}

// What FTDI's driver says of the port's latency timer, while the device is there.
QString SerialDevice::lateAnswersCause() const {
    if (state_ != State::Open)
        return {};
    return Message::windowsAdapterLatency(ftdiLatencyTimer(port_->portName));
}

bool SerialDevice::usable() {
    return state_ == State::Open;
}

// On a synchronous handle whose line errors abort nothing, a read, a write or ClearCommError
// fails only when the device went away: a pulled USB adapter fails them with ERROR_BAD_COMMAND,
// ERROR_DEVICE_REMOVED, ERROR_GEN_FAILURE or the like; under Wine, a pseudo-terminal whose other
// end closed fails writes and ClearCommError with ERROR_NOT_READY (its reads still succeed, with
// nothing).
void SerialDevice::wentAway() {
    port_->noteError();
    port_->letGo();
    state_ = State::Gone;
}

qint64 SerialDevice::write(const QByteArray& bytes) {
    DWORD written = 0;
    if (!usable() || bytes.isEmpty())
        return 0;
    if (!WriteFile(port_->handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr))
        wentAway();
    return qint64(written);
}

QByteArray SerialDevice::read(int count) {
    QByteArray bytes;
    if (!isOpen() || count <= 0)
        return bytes;
    if (usable()) {
        bytes.resize(count);
        DWORD received = 0;
        if (!ReadFile(port_->handle, bytes.data(), DWORD(count), &received, nullptr))
            wentAway();
        bytes.truncate(int(received));
    }
    if (isGone())
        keepPace(transferBudgetMs(count));
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
    if (usable() && !ClearCommError(port_->handle, &errors, &status))
        wentAway();
}

// What the driver holds already is read at once: a read of that many bytes does not wait.
QByteArray SerialDevice::readWaiting() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!usable())
        return {};
    if (!ClearCommError(port_->handle, &errors, &status)) {
        wentAway();
        return {};
    }
    return status.cbInQue > 0 ? read(int(status.cbInQue)) : QByteArray();
}
