#include "hex/Routing.h"

#include "driver/DownloadSession.h"
#include "hex/HexRecord.h"

namespace {
// Records that start on the ID words 2000-2002 or the configuration word 2007 are not written.
bool isSkippedWord(quint16 wordAddress) {
    return (wordAddress >= 0x2000 && wordAddress < 0x2003) || wordAddress == 0x2007;
}
} // namespace

RecordRoute routeOf(QByteArrayView line) {
    const quint16 wordAddress = HexRecord::loadAddress(line) / 2;
    const int wordCount = HexRecord::byteCount(line) / 2;
    if (HexRecord::recordType(line) != "00" || isSkippedWord(wordAddress) || wordCount == 0)
        return {};
    using Memory = RecordRoute::Memory;
    return {isEepromWord(wordAddress) ? Memory::Eeprom : Memory::Program, wordAddress, wordCount};
}

int commandsSent(QByteArrayView line) {
    const RecordRoute route = routeOf(line);
    switch (route.memory) {
    case RecordRoute::Memory::Nowhere:
        break;
    case RecordRoute::Memory::Program:
        return 2 * (1 + route.wordCount + fillWordsAfter(route.wordCount));
    case RecordRoute::Memory::Eeprom:
        return 4 * route.wordCount;
    }
    return 0;
}

int fillWordsAfter(int wordCount) {
    return (BlockWords - wordCount % BlockWords) % BlockWords;
}

bool isEepromWord(quint16 wordAddress) {
    return wordAddress >= FirstEepromWord;
}

// Sends one data record to program memory or data EEPROM, by its start word address. Records
// of other types (extended and start addresses) and records without a whole word carry nothing
// to write and are passed over.
bool DownloadSession::SEND_DATA_TO_MICRO(const QByteArray& recordType, const QByteArray& line) {
    const RecordRoute route = recordType == "00" ? routeOf(line) : RecordRoute{};
    const quint8 lastWordIndex = quint8(route.wordCount - 1);
    switch (route.memory) {
    case RecordRoute::Memory::Nowhere:
        break;
    case RecordRoute::Memory::Program:
        return PROGRAM_MAIN_MEMORY(line, route.wordAddress, lastWordIndex);
    case RecordRoute::Memory::Eeprom:
        return PROGRAM_EEPROM(line, route.wordAddress, lastWordIndex);
    }
    return true;
}
