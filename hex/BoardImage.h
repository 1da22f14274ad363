#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// What was read from a board: program memory from word 0, and data EEPROM from word 2100, one
// item a byte.
struct BoardImage {
    QList<quint16> programWords;
    QList<quint16> eepromItems;
};

// The image as an Intel HEX file that a download writes back into the same words, lines ending
// in LF: records of at most 16 bytes, words low byte first; program memory in whole blocks of
// four words, as a download writes it, blocks of four erased words (3FFF) left out; every EEPROM
// item from byte address 4200 on; then the end record.
QByteArray intelHexText(const BoardImage& image);
