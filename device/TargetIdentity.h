#pragma once

#include <QString>

// What the latest identification of the bootloader said, exactly as received (letter case
// included): two characters of firmware version and four of boot-vector address. Both are empty
// until the first identification; every identification overwrites both before checking them.
extern QString FirmwareVersion;
extern QString BootVectorAddress;
