#pragma once

#include <QString>

// What the identification, the erase and the boot-vector word report on the status line.
namespace Message {

inline const QString Erasing = QStringLiteral("Erasing ZELTRA IR memory");
inline const QString EraseFailed = QStringLiteral("ERASE Failed");
inline const QString IncorrectFirmware = QStringLiteral("Incorrect Firmware within ZELTRA IR");
inline const QString IncorrectVectorAddress = QStringLiteral("Incorrect Vector Address");
inline const QString ProgramTooLarge = QStringLiteral("Program to large for ZELTRA IR");

} // namespace Message
