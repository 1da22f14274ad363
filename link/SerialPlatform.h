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
// opens, and the ports present now; on POSIX systems also the line-setting steps that Qt Serial
// Port leaves to the system, and the driver's low-latency mode. The methods are the system's own
// (SerialPlatformPosix.cpp, SerialPlatformWindows.cpp); tests put in a platform of their own to
// see the calls or to list ports of their choosing.
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
    // system does not tell).
    virtual bool mayUse(const QString& portName) const;
    // The serial ports present now, in the system's order.
    virtual QList<DetectedPort> detectedPorts() const;

#ifndef _WIN32
    using Handle = int; // the open device's descriptor

    // Reads the line settings of the open device; false when the system refuses.
    virtual bool readLineSettings(Handle handle) const;
    // Makes reads hand over at once whatever has arrived, without a minimum count or a timer of
    // the system's own (the read rule is timed by the serial device); false when refused.
    virtual bool handOverReadsAtOnce(Handle handle) const;
    // Asks the driver to pass on received bytes without waiting for its latency timer. True when
    // it switched low latency on, which endLowLatency() undoes; false when the driver refused or
    // had it on already. A refusal is no error: most drivers have no such mode.
    virtual bool askLowLatency(Handle handle) const;
    // Puts the driver's flags back as they were before askLowLatency() switched it on.
    virtual void endLowLatency(Handle handle) const;
#endif
};

// What the system says of a port: its description and its maker, each when known and the maker
// only when the description does not repeat it, e.g. "FT232R USB UART, FTDI".
QString portDescription(const QString& description, const QString& maker);

// The platform in use: the system's own unless a test put in another.
const SerialPlatform& serialPlatform();
// Puts in another platform, which must outlive its use; nullptr restores the system's own.
void setSerialPlatform(const SerialPlatform* platform);
