#pragma once

#include <QString>

// What the download driver shows on the status line.
namespace Message {

inline const QString CannotReadHexFile = QStringLiteral("Cannot Read HEX file.");
inline const QString PressReset = QStringLiteral("Press RESET on the Programming Cradle");
inline const QString Writing = QStringLiteral("Writing Program to ZELTRA IR");
inline const QString WrittenSuccessfully = QStringLiteral("Program Written Successfully");
// The HEX file check's faults.
inline const QString InvalidHexFile = QStringLiteral("Invalid HEX file");
inline const QString ProblemReadingHexFile = QStringLiteral("Problem reading Hex File");

// The boot-vector word did not read as the download left it, at the address the latest
// identification gave.
inline QString writeFailed(const QString& bootVectorAddress) {
    return QStringLiteral("WRITE failed at address ") + bootVectorAddress;
}

} // namespace Message
