#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

// The fields of one Intel HEX line, positions counted from 1: ":" at 1, byte count at 2-3, load
// address at 4-7 (high byte first), record type at 8-9, data from 10 (two digits a byte, words
// low byte first), checksum last.
namespace HexRecord {

// What keeps a line from being a well-formed record, the first fault found in this order: ":"
// then only hexadecimal digits, an even number of them, at least 10, as many as the byte count
// calls for, a correct checksum, a record type 00 to 05, and a zero value for the extended
// address records (types 02 and 04).
struct Flaw {
    enum class Kind {
        None,
        NoStartCode,
        NotADigit,
        OddDigits,
        TooShort,
        WrongLength,
        Checksum,
        UnknownType,
        ExtendedAddress
    };
    Kind kind = Kind::None;
    qsizetype position = 0; // NotADigit: the character's position, counted from 1
    // NotADigit: the character; OddDigits, TooShort, WrongLength: the digits after ":"; Checksum:
    // the record's checksum; UnknownType: the type; ExtendedAddress: the address, from its first
    // two bytes.
    qsizetype found = 0;
    // WrongLength: the digits that the byte count calls for; Checksum: the checksum that the
    // record's bytes call for.
    qsizetype expected = 0;
    explicit operator bool() const { return kind != Kind::None; }
};
Flaw flawOf(QByteArrayView line);
inline bool isWellFormed(QByteArrayView line) {
    return !flawOf(line);
}

// Characters 8-9, or fewer when the line is shorter.
QByteArray recordType(QByteArrayView line);

// The byte count (characters 2-3) and the load address in bytes (characters 4-7), each two-digit
// field read by its leading hexadecimal digits; characters beyond the line count as absent.
quint16 byteCount(QByteArrayView line);
quint16 loadAddress(QByteArrayView line);

// Data word i (counted from 0), read from its four characters high byte first; 0 when any of
// them is not a hexadecimal digit or lies beyond the end of the line.
quint16 dataWord(QByteArrayView line, int index);

// A record as a line: ":", the byte count, the load address in bytes, the type, the data bytes
// and the checksum, in upper-case digits, without line end.
QByteArray line(quint8 type, quint16 byteAddress, QByteArrayView data);

} // namespace HexRecord
