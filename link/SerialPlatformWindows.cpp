// The serial device's platform parts on Windows: COM names are used as they are, and Qt makes
// the Win32 calls (its open reads and writes the line settings and sets the time-outs its own
// reads need). An FTDI adapter's latency timer is set in the Device Manager, not by the tool.
#include "link/SerialPlatform.h"

#include <QSerialPortInfo>

QString SerialPlatform::devicePath(const QString& portName) const {
    return portName;
}

// A COM name that the system does not list is not there.
bool SerialPlatform::deviceExists(const QString&) const {
    return false;
}

// A port refused for its permissions is held by another program.
bool SerialPlatform::mayUse(const QString&) const {
    return true;
}

QList<DetectedPort> SerialPlatform::detectedPorts() const {
    QList<DetectedPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.append({info.portName(), info.portName(), portDescription(info)});
    return ports;
}

bool SerialPlatform::readLineSettings(Handle) const {
    return true;
}

bool SerialPlatform::handOverReadsAtOnce(Handle) const {
    return true;
}

bool SerialPlatform::askLowLatency(Handle) const {
    return false;
}

void SerialPlatform::endLowLatency(Handle) const {}
