#pragma once

#include <QList>
#include <QSerialPort>
#include <QString>

#include <utility>

class QSerialPortInfo;

// A serial port that the system reports as present now.
struct DetectedPort {
    QString name;        // what the settings keep: the port's stable name where it has one
    QString device;      // the device it is: /dev/ttyUSB0 on Linux, COM4 on Windows
    QString description; // what the system says of it, e.g. "FT232R USB UART, FTDI"; may be empty
};

// What the serial device needs of the operating system beyond Qt: the device a port name opens,
// the ports present now, the line-setting steps that Qt leaves to the system, and the driver's
// low-latency mode. The methods are the system's own; tests put in a platform of their own to
// see the calls or to list ports of their choosing.
class SerialPlatform {
public:
    using Handle = decltype(std::declval<QSerialPort>().handle()); // a descriptor, a HANDLE

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
};

// What the system says of a listed port: its description and maker, e.g. "FT232R USB UART, FTDI".
QString portDescription(const QSerialPortInfo& info);

// The platform in use: the system's own unless a test put in another.
const SerialPlatform& serialPlatform();
// Puts in another platform, which must outlive its use; nullptr restores the system's own.
void setSerialPlatform(const SerialPlatform* platform);
