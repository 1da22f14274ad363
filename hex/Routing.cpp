#include "hex/Routing.h"

#include "hex/HexRecord.h"
#include "ui/TDownloadForm.h"

namespace {
constexpr quint16 FirstEepromWord = 0x2100;

// Records that start on the ID words 2000-2002 or the configuration word 2007 are not written.
bool isSkippedWord(quint16 wordAddress) {
    return (wordAddress >= 0x2000 && wordAddress < 0x2003) || wordAddress == 0x2007;
}
} // namespace

int wordsWritten(QByteArrayView line) {
    if (HexRecord::recordType(line) != "00" || isSkippedWord(HexRecord::loadAddress(line) / 2))
        return 0;
    return HexRecord::byteCount(line) / 2;
}

// Sends one data record to program memory or data EEPROM, by its start word address. Records
// of other types (extended and start addresses) and records without a whole word carry nothing
// to write and are passed over.
bool TDownloadForm::SEND_DATA_TO_MICRO(const QByteArray& recordType, const QByteArray& line) {
    const int wordCount = recordType == "00" ? wordsWritten(line) : 0;
    if (wordCount == 0) {
        return true;
    }
    const quint16 wordAddress = HexRecord::loadAddress(line) / 2;
    const quint8 lastWordIndex = quint8(wordCount - 1);
    return wordAddress < FirstEepromWord ? PROGRAM_MAIN_MEMORY(line, wordAddress, lastWordIndex)
                                         : PROGRAM_EEPROM(line, wordAddress, lastWordIndex);
}
