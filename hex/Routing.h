#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// Data EEPROM starts at this word address (byte address 4200 in a HEX file); program memory lies
// below it, and takes words in blocks of four.
constexpr quint16 FirstEepromWord = 0x2100;
constexpr int BlockWords = 4;

// Where a download puts the words of one line of a HEX file. Only data records carry words; one
// that starts on a word that is never written (the ID words and the configuration word) goes
// nowhere. Below 2100 the words go to program memory, from 2100 on to data EEPROM.
struct RecordRoute {
    enum class Memory { Nowhere, Program, Eeprom };
    Memory memory = Memory::Nowhere;
    quint16 wordAddress = 0; // the record's first word
    int wordCount = 0;       // its whole words; 0 when it goes nowhere
};
RecordRoute routeOf(QByteArrayView line);

// The number of words a download writes for one line of a HEX file, fill words left out.
inline int wordsWritten(QByteArrayView line) {
    return routeOf(line).wordCount;
}

// The answered commands a download sends for one line of a HEX file: for a program-memory
// record an address and its words (fill words included) to write them, and again to read them
// back; for data EEPROM an address and the item, twice, for every item.
int commandsSent(QByteArrayView line);

// The fill words (3FFF) that complete the last block of a program-memory record of wordCount
// words; the blocks are counted from the record's first word.
int fillWordsAfter(int wordCount);

// Whether the bootloader is given the address of every data-EEPROM item, rather than the address
// of the first of a run of program words.
bool isEepromWord(quint16 wordAddress);
