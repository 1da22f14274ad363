#pragma once

#include <QByteArray>
#include <QString>

// The times the bootloader protocol sets.
constexpr int AckTimeoutMs = 1000; // for the line feed that acknowledges one command
constexpr int SettlePauseMs = 25;  // after the last erased row, and after the completion block

// The bytes of one reply to "rFFFF": version (2), boot-vector address (4), LF.
constexpr int IdentifyReplyLength = 7;

// One command as it goes on the line: at most 40 characters, then LF.
QByteArray commandLine(const QString& command);
