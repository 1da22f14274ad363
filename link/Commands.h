#pragma once

#include <QString>
#include <QtGlobal>

// The words that the tool and the bootloader exchange, and the line they go over. Every command
// is formed here; commandLine() (link/Protocol.h) puts it on the line.

// The handshake: the tool sends the request until the bootloader answers.
namespace Sync {
constexpr char Request = '*';
constexpr char Answer = 'i';
} // namespace Sync

// The serial line, on a device and on a network server's port alike: 19200 baud, 8 data bits,
// no parity, one stop bit, no flow control.
namespace Line {
constexpr quint32 BaudRate = 19200;
constexpr quint8 DataBits = 8;
} // namespace Line

// The commands, as their text goes on the line.
namespace Command {
QString address(quint16 wordAddress);        // "a" and the address as four digits (hexWord())
QString address(const QString& wordAddress); // "a" and an address as the bootloader gave it
QString writeWord(quint16 word);             // "w" and the word as four digits (hexWord())
QString readWord();                          // "r1": the word at the address, which then steps
QString eraseRow();                          // "e": the row at the address
QString go();                                // "g": starts the program
QString identify();                          // "rFFFF": the firmware version and boot vector
} // namespace Command

// The names of the fixed ports, "COMn", and how each system's serial device recognises them.
namespace ComName {
// "COMn" for n from 1.
QString of(int number);
// The n of a port name that the serial device on Linux and other POSIX systems opens as
// /dev/ttyS(n-1): "COM" in upper case and n from 1 to 999, without a leading zero; 0 for any
// other name.
int posixNumber(const QString& portName);
// Whether a port name is one that the serial device on Windows opens in the device namespace:
// "COM" in any case and n from 1, without a leading zero.
bool isWindowsName(const QString& portName);
} // namespace ComName
