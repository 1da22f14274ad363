#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

// The fields of one Intel HEX line, positions counted from 1: ":" at 1, byte count at 2-3, load
// address at 4-7 (high byte first), record type at 8-9, data from 10 (two digits a byte, words
// low byte first), checksum last.
namespace HexRecord {

// Whether the line is a well-formed record: ":" then only hexadecimal digits, an even number of
// them, as many as the byte count calls for, a correct checksum, a record type 00 to 05, and a
// zero value for the extended address records (types 02 and 04).
bool isWellFormed(QByteArrayView line);

// Characters 8-9, or fewer when the line is shorter.
QByteArray recordType(QByteArrayView line);

// The byte count (characters 2-3) and the load address in bytes (characters 4-7), each two-digit
// field read by its leading hexadecimal digits; characters beyond the line count as absent.
quint16 byteCount(QByteArrayView line);
quint16 loadAddress(QByteArrayView line);

// Data word i (counted from 0), read from its four characters high byte first; 0 when any of
// them is not a hexadecimal digit or lies beyond the end of the line.
quint16 dataWord(QByteArrayView line, int index);

} // namespace HexRecord

// Position of the next word within the current block of four program-memory words (1 to 4).
extern quint8 BlockWordCounter;
