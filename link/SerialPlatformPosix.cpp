// The serial device's platform parts on Linux and other POSIX systems.
#include "link/SerialPlatformPosix.h"
#include "link/Commands.h"
#include "link/SerialPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

namespace {

// Links that name a USB serial adapter by its maker, model and serial number: they survive
// re-plugging and another adapter taking its ttyUSBn.
const QString StableLinks = QStringLiteral("/dev/serial/by-id");

// Every device behind a stable link in the folder, in the links' order, with its first link.
QList<DetectedPort> stableNames(const QString& linkFolder) {
    QList<DetectedPort> names;
    const QFileInfoList links =
        QDir(linkFolder)
            .entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        const QString device = link.canonicalFilePath();
        const bool known = std::any_of(names.cbegin(), names.cend(), [&](const DetectedPort& port) {
            return port.device == device;
        });
        if (!device.isEmpty() && !known)
            names.append({link.absoluteFilePath(), device, QString()});
    }
    return names;
}

const PosixSerialDriver* replacementDriver = nullptr;

#ifdef __linux__
bool readSerialInfo(PosixSerialDriver::Handle handle, serial_struct& serial) {
    serial = {};
    return ::ioctl(handle, TIOCGSERIAL, &serial) == 0;
}
#endif

} // namespace

QString SerialPlatform::devicePath(const QString& portName) const {
    const int number = ComName::posixNumber(portName);
    if (number == 0)
        return portName;
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

QString openedFile(const SerialPlatform& platform, const QString& portName) {
    const QString path = platform.devicePath(portName);
    return path.startsWith(QLatin1Char('/')) ? path : QStringLiteral("/dev/") + path;
}

bool SerialPlatform::deviceExists(const QString& portName) const {
    return QFileInfo::exists(openedFile(*this, portName));
}

bool SerialPlatform::mayUse(const QString& portName) const {
    return ::access(QFile::encodeName(openedFile(*this, portName)).constData(), R_OK | W_OK) == 0;
}

QList<DetectedPort> withStableLinks(const QList<DetectedPort>& listed, const QString& linkFolder) {
    QList<DetectedPort> unlisted = stableNames(linkFolder);
    QList<DetectedPort> ports;
    for (DetectedPort port : listed) {
        const auto link =
            std::find_if(unlisted.begin(), unlisted.end(),
                         [&](const DetectedPort& named) { return named.device == port.device; });
        if (link != unlisted.end()) {
            port.name = link->name;
            unlisted.erase(link);
        }
        ports.append(port);
    }
    return ports + unlisted;
}

QList<DetectedPort> SerialPlatform::detectedPorts() const {
    QList<DetectedPort> listed;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString device = info.systemLocation();
        listed.append({device, device, portDescription(info.description(), info.manufacturer())});
    }
    return withStableLinks(listed, StableLinks);
}

PosixSerialDriver::~PosixSerialDriver() = default;

const PosixSerialDriver& posixSerialDriver() {
    static const PosixSerialDriver system;
    return replacementDriver != nullptr ? *replacementDriver : system;
}

void setPosixSerialDriver(const PosixSerialDriver* driver) {
    replacementDriver = driver;
}

bool PosixSerialDriver::readLineSettings(Handle handle) const {
    termios settings{};
    return ::tcgetattr(handle, &settings) == 0;
}

// QSerialPort::open() already leaves the terminal raw with VMIN and VTIME at 0; they are only
// written when something else has changed them.
bool PosixSerialDriver::handOverReadsAtOnce(Handle handle) const {
    termios settings{};
    if (::tcgetattr(handle, &settings) != 0)
        return false;
    if (settings.c_cc[VMIN] == 0 && settings.c_cc[VTIME] == 0)
        return true;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    return ::tcsetattr(handle, TCSANOW, &settings) == 0;
}

// An unprivileged user may set this flag. A pseudo-terminal and most drivers other than the
// FTDI one refuse TIOCGSERIAL or TIOCSSERIAL; other systems have no such mode here.
bool PosixSerialDriver::askLowLatency([[maybe_unused]] Handle handle) const {
#ifdef __linux__
    serial_struct serial;
    if (!readSerialInfo(handle, serial) || (serial.flags & ASYNC_LOW_LATENCY) != 0)
        return false;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(handle, TIOCSSERIAL, &serial) == 0;
#else
    return false;
#endif
}

void PosixSerialDriver::endLowLatency([[maybe_unused]] Handle handle) const {
#ifdef __linux__
    serial_struct serial;
    if (!readSerialInfo(handle, serial))
        return;
    serial.flags &= ~ASYNC_LOW_LATENCY;
    ::ioctl(handle, TIOCSSERIAL, &serial);
#endif
}

bool PosixSerialDriver::inLowLatency([[maybe_unused]] Handle handle) const {
#ifdef __linux__
    serial_struct serial;
    return readSerialInfo(handle, serial) && (serial.flags & ASYNC_LOW_LATENCY) != 0;
#else
    return false;
#endif
}

QString PosixSerialDriver::driverName(const QString& devicePath) const {
    const QString device = QFileInfo(QFileInfo(devicePath).canonicalFilePath()).fileName();
    const QFileInfo driver(QStringLiteral("/sys/class/tty/") + device +
                           QStringLiteral("/device/driver"));
    return device.isEmpty() || !driver.exists() ? QString()
                                                : QFileInfo(driver.canonicalFilePath()).fileName();
}

bool PosixSerialDriver::hungUp(Handle handle) const {
    pollfd device{handle, POLLIN, 0};
    return ::poll(&device, 1, 0) == 1 && (device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
