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

SerialDevice::SerialDevice() : port_(std::make_unique<QSerialPort>()) {}

SerialDevice::~SerialDevice() = default;

SerialDevice::OpenResult SerialDevice::open(const QString& portName) {
    close();
    platform_ = &serialPlatform();
    port_->setPortName(platform_->devicePath(portName));
    openFault_ = OpenFault::None;
    if (!port_->open(QIODevice::ReadWrite)) { // exclusive: Qt's lock file and TIOCEXCL
        openFault_ = openFaultOf(*port_, *platform_, portName);
        return OpenResult::OpenFailed;
    }
    open_ = true;
    if (!platform_->readLineSettings(port_->handle()))
        return OpenResult::ReadSettingsFailed;
    if (!writeLineSettings(*port_))
        return OpenResult::WriteSettingsFailed;
    // Without it a USB adapter may hold every answer for its latency timer; a refusal is no
    // failure.
    lowLatency_ = platform_->askLowLatency(port_->handle());
    if (!platform_->handOverReadsAtOnce(port_->handle()))
        return OpenResult::TimeoutsFailed;
    if (!purge())
        return OpenResult::PurgeFailed;
    return OpenResult::Ok;
}

bool SerialDevice::isOpen() const {
    return open_;
}

QString SerialDevice::errorString() const {
    return port_->errorString();
}

bool SerialDevice::close() {
    if (!open_)
        return false;
    open_ = false;
    if (port_->isOpen()) {
        if (lowLatency_)
            platform_->endLowLatency(port_->handle());
        port_->close();
    }
    lowLatency_ = false;
    port_->clearError();
    return true;
}

// True while the device can transfer bytes. A device that went away is closed here at once,
// since Qt's read notifier would otherwise spin a core on its dead descriptor; the tool still
// counts it as open until close().
bool SerialDevice::deviceUsable() {
    if (!open_ || !port_->isOpen())
        return false;
    const QSerialPort::SerialPortError error = port_->error();
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return true;
    port_->close();
    lowLatency_ = false; // went with the device
    return false;
}

qint64 SerialDevice::write(const QByteArray& bytes) {
    if (!deviceUsable() || bytes.isEmpty())
        return 0;
    QElapsedTimer clock;
    clock.start();
    const qint64 budget = transferBudgetMs(bytes.size());
    port_->write(bytes);
    while (port_->bytesToWrite() > 0) {
        const qint64 wait = budget - clock.elapsed();
        if (wait <= 0 || !port_->waitForBytesWritten(int(wait)))
            break;
    }
    const qint64 unsent = port_->bytesToWrite();
    if (unsent > 0)
        port_->clear(QSerialPort::Output); // a write that ran out of time ends there
    if (port_->error() == QSerialPort::TimeoutError)
        port_->clearError();
    return bytes.size() - unsent;
}

QByteArray SerialDevice::read(int count) {
    QByteArray bytes;
    if (!open_ || count <= 0)
        return bytes;
    QElapsedTimer clock;
    clock.start();
    const qint64 budget = transferBudgetMs(count);
    qint64 lastByteAt = -1;
    while (bytes.size() < count) {
        if (!deviceUsable()) {
            sleepFor(budget - clock.elapsed()); // keep the pace of the loops that read
            break;
        }
        // waitForReadyRead() only reports new bytes: first take what Qt has buffered already.
        if (port_->bytesAvailable() > 0) {
            bytes += port_->read(count - bytes.size());
            lastByteAt = clock.elapsed();
            continue;
        }
        const qint64 now = clock.elapsed();
        qint64 wait = budget - now;
        if (lastByteAt >= 0)
            wait = std::min(wait, lastByteAt + kGapMs - now);
        if (wait <= 0)
            break;
        if (port_->waitForReadyRead(int(wait)))
            continue;
        if (port_->error() != QSerialPort::TimeoutError) {
            deviceUsable(); // closes a device that went away
            sleepFor(budget - clock.elapsed());
            break;
        }
        port_->clearError();
    }
    return bytes;
}

bool SerialDevice::purge() {
    if (!deviceUsable())
        return false;
    const bool cleared = port_->clear(QSerialPort::AllDirections);
    port_->skip(port_->bytesAvailable()); // what Qt itself has read ahead
    return cleared;
}

void SerialDevice::clearErrors() {
    if (deviceUsable())
        port_->clearError();
}
