// The serial device on Linux and other POSIX systems, through Qt Serial Port. The read rule is
// timed here, on what Qt has buffered and waitForReadyRead().
#include "link/Commands.h"
#include "link/Messages.h"
#include "link/SerialDevice.h"
#include "link/SerialPlatform.h"
#include "link/SerialPlatformPosix.h"

#include <QElapsedTimer>
#include <QSerialPort>

#include <cerrno>

namespace {

static_assert(QSerialPort::Data8 == Line::DataBits);

// Turns one modem-control line off. A device without such lines (a pseudo-terminal) refuses
// with UnsupportedOperationError; that is accepted, and the sticky error cleared.
bool turnLineOff(QSerialPort& port, bool (QSerialPort::*setLine)(bool)) {
    if ((port.*setLine)(false))
        return true;
    if (port.error() != QSerialPort::UnsupportedOperationError)
        return false;
    port.clearError();
    return true;
}

bool writeLineSettings(QSerialPort& port) {
    return port.setBaudRate(Line::BaudRate) && port.setDataBits(QSerialPort::Data8) &&
           port.setParity(QSerialPort::NoParity) && port.setStopBits(QSerialPort::OneStop) &&
           port.setFlowControl(QSerialPort::NoFlowControl) &&
           turnLineOff(port, &QSerialPort::setDataTerminalReady) &&
           turnLineOff(port, &QSerialPort::setRequestToSend);
}

// The system's words for the error of the call just made outside Qt.
QString systemWords() {
    return qt_error_string(errno);
}

} // namespace

struct SerialDevice::Port {
    QSerialPort serial; // puts back the line settings it found when it closes the device
    const PosixSerialDriver* driver = nullptr; // the one that set the device up
    bool lowLatency = false; // the driver switched low latency on for this opening
    QString failure;         // the system's words for the latest failure

    // Notes why a step of open() failed.
    OpenResult failed(OpenResult result, const QString& why) {
        failure = why;
        return result;
    }
};

SerialDevice::SerialDevice() : port_(std::make_unique<Port>()) {}

SerialDevice::~SerialDevice() {
    close();
}

SerialDevice::Refusal SerialDevice::refusalOf(int systemError) {
    switch (systemError) {
    case QSerialPort::DeviceNotFoundError:
        return Refusal::NotThere;
    case QSerialPort::PermissionError: // Qt's lock file or TIOCEXCL, or the device's permissions
        return Refusal::AccessDenied;
    default:
        return Refusal::Other;
    }
}

SerialDevice::OpenResult SerialDevice::open(const QString& portName) {
    close();
    const PosixSerialDriver& driver = posixSerialDriver();
    QSerialPort& serial = port_->serial;
    port_->driver = &driver;
    port_->failure.clear();
    openFault_ = OpenFault::None;
    serial.setPortName(serialPlatform().devicePath(portName));
    if (!serial.open(QIODevice::ReadWrite)) { // exclusive: Qt's lock file and TIOCEXCL
        port_->failure = serial.errorString();
        return refused(refusalOf(serial.error()), portName);
    }
    state_ = State::Open;
    if (!driver.readLineSettings(serial.handle()))
        return port_->failed(OpenResult::ReadSettingsFailed, systemWords());
    if (!writeLineSettings(serial))
        return port_->failed(OpenResult::WriteSettingsFailed, serial.errorString());
    // Without it a USB adapter may hold every answer for its latency timer; a refusal is no
    // failure.
    port_->lowLatency = driver.askLowLatency(serial.handle());
    if (!driver.handOverReadsAtOnce(serial.handle()))
        return port_->failed(OpenResult::TimeoutsFailed, systemWords());
    if (!purge())
        return port_->failed(OpenResult::PurgeFailed, serial.errorString());
    return OpenResult::Ok;
}

bool SerialDevice::usable() {
    if (state_ != State::Open)
        return false;
    const QSerialPort::SerialPortError error = port_->serial.error();
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return true;
    wentAway();
    return false;
}

// After a wait for bytes that ended other than by its time: the device may have gone.
void SerialDevice::checkStillThere() {
    if (usable() && port_->driver->hungUp(port_->serial.handle()))
        wentAway();
}

// Let go of at once, since Qt's read notifier would otherwise spin a core on the dead
// descriptor.
void SerialDevice::wentAway() {
    port_->failure = port_->serial.errorString();
    port_->serial.close();
    port_->lowLatency = false; // went with the device
    state_ = State::Gone;
}

QString SerialDevice::errorString() const {
    return port_->failure;
}

bool SerialDevice::close() {
    if (!isOpen())
        return false;
    state_ = State::Closed;
    QSerialPort& serial = port_->serial;
    if (serial.isOpen()) {
        if (port_->lowLatency)
            port_->driver->endLowLatency(serial.handle());
        serial.close();
    }
    port_->lowLatency = false;
    serial.clearError();
    return true;
}

QString SerialDevice::lateAnswersCause() const {
    const QSerialPort& serial = port_->serial;
    if (!serial.isOpen())
        return {};
    if (port_->driver->inLowLatency(serial.handle()))
        return Message::LinuxLowLatencyTaken;
    const QString device = openedFile(serialPlatform(), serial.portName());
    return Message::linuxLowLatencyRefused(device, port_->driver->driverName(device));
}

qint64 SerialDevice::write(const QByteArray& bytes) {
    if (!usable() || bytes.isEmpty())
        return 0;
    QSerialPort& serial = port_->serial;
    QElapsedTimer clock;
    clock.start();
    const qint64 budget = transferBudgetMs(bytes.size());
    serial.write(bytes);
    while (serial.bytesToWrite() > 0) {
        const qint64 wait = budget - clock.elapsed();
        if (wait <= 0 || !serial.waitForBytesWritten(int(wait)))
            break;
    }
    const qint64 unsent = serial.bytesToWrite();
    if (unsent > 0)
        serial.clear(QSerialPort::Output); // a write that ran out of time ends there
    if (serial.error() == QSerialPort::TimeoutError)
        serial.clearError();
    return bytes.size() - unsent;
}

QByteArray SerialDevice::read(int count) {
    QByteArray bytes;
    if (!isOpen() || count <= 0)
        return bytes;
    QSerialPort& serial = port_->serial;
    QElapsedTimer clock;
    clock.start();
    const qint64 budget = transferBudgetMs(count);
    qint64 lastByteAt = -1;
    while (bytes.size() < count) {
        if (!usable()) {
            keepPace(budget - clock.elapsed());
            break;
        }
        // waitForReadyRead() only reports new bytes: first take what Qt has buffered already.
        if (serial.bytesAvailable() > 0) {
            bytes += serial.read(count - bytes.size());
            lastByteAt = clock.elapsed();
            continue;
        }
        const qint64 now = clock.elapsed();
        qint64 wait = budget - now;
        if (lastByteAt >= 0)
            wait = std::min(wait, lastByteAt + GapMs - now);
        if (wait <= 0)
            break;
        if (serial.waitForReadyRead(int(wait)))
            continue;
        if (serial.error() != QSerialPort::TimeoutError) {
            checkStillThere();
            keepPace(budget - clock.elapsed());
            break;
        }
        serial.clearError();
    }
    return bytes;
}

bool SerialDevice::purge() {
    if (!usable())
        return false;
    const bool cleared = port_->serial.clear(QSerialPort::AllDirections);
    port_->serial.skip(port_->serial.bytesAvailable()); // what Qt itself has read ahead
    return cleared;
}

void SerialDevice::clearErrors() {
    if (usable())
        port_->serial.clearError();
}

QByteArray SerialDevice::readWaiting() {
    if (!usable())
        return {};
    QSerialPort& serial = port_->serial;
    if (serial.bytesAvailable() == 0 && !serial.waitForReadyRead(0)) {
        if (serial.error() == QSerialPort::TimeoutError)
            serial.clearError();
        else
            checkStillThere();
        return {};
    }
    return serial.readAll();
}
