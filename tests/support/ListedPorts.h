#pragma once

#include "link/SerialPlatform.h"

#include <QList>
#include <QStringList>

// The serial ports the system reports, as the test says, in place of the system's own while it
// lives; every device is absent unless named in `existing`.
class ListedPorts : public SerialPlatform {
public:
    ListedPorts() { setSerialPlatform(this); }
    ~ListedPorts() override { setSerialPlatform(nullptr); }
    ListedPorts(const ListedPorts&) = delete;
    ListedPorts& operator=(const ListedPorts&) = delete;

    QList<DetectedPort> detectedPorts() const override {
        ++listings;
        return present;
    }
    bool deviceExists(const QString& portName) const override {
        return existing.contains(portName);
    }

    QList<DetectedPort> present;
    QStringList existing;
    mutable int listings = 0;
};
