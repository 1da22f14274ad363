#pragma once

#include "link/SerialPlatform.h"
#include "link/SerialPlatformPosix.h"

#include <QList>
#include <QStringList>

// The serial ports the system reports, as the test says, in place of the system's own while it
// lives, with the devices that the stable links in `stableLinks` name (none when empty), as the
// system's own platform adds them; every device is absent unless named in `existing`.
class ListedPorts : public SerialPlatform {
public:
    ListedPorts() { setSerialPlatform(this); }
    ~ListedPorts() override { setSerialPlatform(nullptr); }
    ListedPorts(const ListedPorts&) = delete;
    ListedPorts& operator=(const ListedPorts&) = delete;

    QList<DetectedPort> detectedPorts() const override {
        ++listings;
        return stableLinks.isEmpty() ? present : withStableLinks(present, stableLinks);
    }
    bool deviceExists(const QString& portName) const override {
        return existing.contains(portName);
    }

    QList<DetectedPort> present;
    QString stableLinks;
    QStringList existing;
    mutable int listings = 0;
};
