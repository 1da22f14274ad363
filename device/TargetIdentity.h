#pragma once

#include <QString>

// What the latest identification of the bootloader said, exactly as received (letter case
// included): two characters of firmware version and four of boot-vector address. Both are empty
// until the first identification; every identification overwrites both before checking them.
extern QString FirmwareVersion;
extern QString BootVectorAddress;

// The message for an identification that is not accepted, or an empty text: only firmware "11"
// with a boot-vector address of four characters whose value is at most 2000 is accepted.
QString identificationFault(const QString& firmwareVersion, const QString& bootVectorAddress);
