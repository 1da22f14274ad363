#pragma once

#include <QList>
#include <QString>

// A serial port that the system reports as present now.
struct DetectedPort {
    QString name;        // what the settings keep: the port's stable name where it has one
    QString device;      // the device it is: /dev/ttyUSB0 on Linux, COM4 on Windows
    QString description; // what the system says of it, e.g. "FT232R USB UART, FTDI"; may be empty
};

// What the tool needs of the operating system about its serial ports: the device a port name
// opens, whether it is there and may be used, and the ports present now. The methods are the
// system's own (SerialPlatformPosix.cpp, SerialPlatformWindows.cpp); tests put in a platform of
// their own to list ports of their choosing or to deny the user a device. What only one system's
// serial device needs stays with that system (SerialPlatformPosix.h).
class SerialPlatform {
public:
    virtual ~SerialPlatform();

    // The device that a port name opens: "COMn" is /dev/ttyS(n-1) on Linux and itself on
    // Windows; any other name as written.
    virtual QString devicePath(const QString& portName) const;
    // Whether the device that a port name opens is there at all (it may still not be a port
    // that the system lists, such as a pseudo-terminal).
    virtual bool deviceExists(const QString& portName) const;
    // Whether the user may read and write the device that a port name opens (true when the
    // system does not tell). A device that refuses access to a user who may use it is held by
    // another program.
    virtual bool mayUse(const QString& portName) const;
    // The serial ports present now, in the system's order.
    virtual QList<DetectedPort> detectedPorts() const;
};

// What the system says of a port: its description and its maker, each when known and the maker
// only when the description does not repeat it, e.g. "FT232R USB UART, FTDI".
QString portDescription(const QString& description, const QString& maker);

// The platform in use: the system's own unless a test put in another.
const SerialPlatform& serialPlatform();
// Puts in another platform, which must outlive its use; nullptr restores the system's own.
void setSerialPlatform(const SerialPlatform* platform);
