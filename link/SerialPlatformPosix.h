#pragma once

#include "link/SerialPlatform.h"

#include <QList>
#include <QString>

// What the serial device needs of a POSIX system beyond Qt Serial Port: the line-setting steps
// that Qt leaves to the system, and the driver's low-latency mode. The methods are the system's
// own (SerialPlatformPosix.cpp); tests put in a driver of their own to see the calls.
class PosixSerialDriver {
public:
    using Handle = int; // the open device's descriptor

    virtual ~PosixSerialDriver();

    // Reads the line settings of the open device; false when the system refuses (errno says
    // why).
    virtual bool readLineSettings(Handle handle) const;
    // Makes reads hand over at once whatever has arrived, without a minimum count or a timer of
    // the system's own (the read rule is timed by the serial device); false when refused (errno
    // says why).
    virtual bool handOverReadsAtOnce(Handle handle) const;
    // Asks the driver to pass on received bytes without waiting for its latency timer. True when
    // it switched low latency on, which endLowLatency() undoes; false when the driver refused or
    // had it on already. A refusal is no error: most drivers have no such mode.
    virtual bool askLowLatency(Handle handle) const;
    // Puts the driver's flags back as they were before askLowLatency() switched it on.
    virtual void endLowLatency(Handle handle) const;
    // Whether the driver passes on received bytes without waiting for its latency timer now.
    virtual bool inLowLatency(Handle handle) const;
    // The kernel's driver of a device (e.g. "ftdi_sio"), as sysfs names it; empty when unknown.
    virtual QString driverName(const QString& devicePath) const;
    // The device hung up: a USB adapter pulled out, or the other end of a pseudo-terminal
    // closed. Qt reports a hung-up device's reads as ReadError up to 6.7, and from 6.8 on as
    // no error at all, so the serial device asks the system.
    virtual bool hungUp(Handle handle) const;
};

// The file that Qt opens for a port name on this platform: a name without a leading "/" lies
// below /dev.
QString openedFile(const SerialPlatform& platform, const QString& portName);

// The driver in use: the system's own unless a test put in another.
const PosixSerialDriver& posixSerialDriver();
// Puts in another driver, which must outlive its use; nullptr restores the system's own.
void setPosixSerialDriver(const PosixSerialDriver* driver);

// The ports the system lists, each named by its stable link in `linkFolder` where it has one,
// then every other device that a link there names, once, though the system does not list it:
// Qt leaves out some drivers' devices, and most devices in a container.
QList<DetectedPort> withStableLinks(const QList<DetectedPort>& listed, const QString& linkFolder);
