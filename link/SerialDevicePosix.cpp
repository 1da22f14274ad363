// The serial device on Linux and other POSIX systems, through Qt Serial Port. The read rule is
// timed here, on what Qt has buffered and waitForReadyRead().
#include "link/SerialDevice.h"
#include "link/SerialPlatform.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QThread>

namespace {

constexpr int kBaudRate = 19200;
constexpr qint64 kGapMs = 10;     // a pause of more than this after a byte ends a read
constexpr qint64 kPerByteMs = 10; // a transfer of n bytes gets kPerByteMs * n + kConstantMs
constexpr qint64 kConstantMs = 10;

qint64 transferBudgetMs(qsizetype count) {
    return kPerByteMs * count + kConstantMs;
}

void sleepFor(qint64 ms) {
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

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
    return port.setBaudRate(kBaudRate) && port.setDataBits(QSerialPort::Data8) &&
           port.setParity(QSerialPort::NoParity) && port.setStopBits(QSerialPort::OneStop) &&
           port.setFlowControl(QSerialPort::NoFlowControl) &&
           turnLineOff(port, &QSerialPort::setDataTerminalReady) &&
           turnLineOff(port, &QSerialPort::setRequestToSend);
}

// What kept a device from opening. A device held by another program and one the user may not
// use are both refused as a permission error.
SerialDevice::OpenFault openFaultOf(const QSerialPort& port, const SerialPlatform& platform,
                                    const QString& portName) {
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return SerialDevice::OpenFault::Missing;
    case QSerialPort::PermissionError:
        return platform.mayUse(portName) ? SerialDevice::OpenFault::Busy
                                         : SerialDevice::OpenFault::NoPermission;
    default:
        return SerialDevice::OpenFault::Other;
    }
}

} // namespace

struct SerialDevice::Port {
    QSerialPort serial;
    const SerialPlatform* platform = nullptr; // the one that opened the device
    bool lowLatency = false;                  // the driver switched low latency on for this opening

    // True while the device can transfer bytes. A device that went away is closed here at once,
    // since Qt's read notifier would otherwise spin a core on its dead descriptor; the tool still
    // counts it as open until close().
    bool usable() {
        if (!serial.isOpen())
            return false;
        const QSerialPort::SerialPortError error = serial.error();
        if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
            return true;
        serial.close();
        lowLatency = false; // went with the device
        return false;
    }
};

SerialDevice::SerialDevice() : port_(std::make_unique<Port>()) {}

SerialDevice::~SerialDevice() = default;

SerialDevice::OpenResult SerialDevice::open(const QString& portName) {
    close();
    const SerialPlatform& platform = serialPlatform();
    QSerialPort& serial = port_->serial;
    port_->platform = &platform;
    serial.setPortName(platform.devicePath(portName));
    openFault_ = OpenFault::None;
    if (!serial.open(QIODevice::ReadWrite)) { // exclusive: Qt's lock file and TIOCEXCL
        openFault_ = openFaultOf(serial, platform, portName);
        return OpenResult::OpenFailed;
    }
    open_ = true;
    if (!platform.readLineSettings(serial.handle()))
        return OpenResult::ReadSettingsFailed;
    if (!writeLineSettings(serial))
        return OpenResult::WriteSettingsFailed;
    // Without it a USB adapter may hold every answer for its latency timer; a refusal is no
    // failure.
    port_->lowLatency = platform.askLowLatency(serial.handle());
    if (!platform.handOverReadsAtOnce(serial.handle()))
        return OpenResult::TimeoutsFailed;
    if (!purge())
        return OpenResult::PurgeFailed;
    return OpenResult::Ok;
}

bool SerialDevice::usable() {
    return open_ && port_->usable();
}

bool SerialDevice::isOpen() const {
    return open_;
}

QString SerialDevice::errorString() const {
    return port_->serial.errorString();
}

bool SerialDevice::close() {
    if (!open_)
        return false;
    open_ = false;
    QSerialPort& serial = port_->serial;
    if (serial.isOpen()) {
        if (port_->lowLatency)
            port_->platform->endLowLatency(serial.handle());
        serial.close();
    }
    port_->lowLatency = false;
    serial.clearError();
    return true;
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
    if (!open_ || count <= 0)
        return bytes;
    QSerialPort& serial = port_->serial;
    QElapsedTimer clock;
    clock.start();
    const qint64 budget = transferBudgetMs(count);
    qint64 lastByteAt = -1;
    while (bytes.size() < count) {
        if (!usable()) {
            sleepFor(budget - clock.elapsed()); // keep the pace of the loops that read
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
            wait = std::min(wait, lastByteAt + kGapMs - now);
        if (wait <= 0)
            break;
        if (serial.waitForReadyRead(int(wait)))
            continue;
        if (serial.error() != QSerialPort::TimeoutError) {
            port_->usable(); // closes a device that went away
            sleepFor(budget - clock.elapsed());
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
            port_->usable(); // closes a device that went away
        return {};
    }
    return serial.readAll();
}
