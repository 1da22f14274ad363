#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Intel HEX text for tests, with correct checksums.
namespace HexFiles {

// One record: ":" byte count, load address, type, data, checksum, in upper-case digits.
QByteArray record(quint8 type, quint16 byteAddress, const QByteArray& data);
// A data record of 16-bit words (stored low byte first) at a word address.
QByteArray wordRecord(quint16 wordAddress, const QList<quint16>& words);
QByteArray endRecord(); // ":00000001FF"

// A program of `wordCount` words from word 0 in records of eight words (16 bytes), as a PIC
// toolchain writes them, and `eepromBytes` EEPROM bytes from 2100, each stored as a word;
// followed by the end record. Lines end in CR LF.
QByteArray image(int wordCount, int eepromBytes = 0);
// The program word that image() puts at a word address, and the EEPROM byte at an offset.
quint16 imageWord(int wordAddress);
quint8 imageEepromByte(int offset);

// Writes text to path; returns path.
QString writeFile(const QString& path, const QByteArray& text);
// What the file at path holds; empty when there is none or it cannot be read.
QByteArray readFile(const QString& path);

} // namespace HexFiles
