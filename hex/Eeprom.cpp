#include "driver/DownloadSession.h"
#include "hex/HexRecord.h"
#include "hex/ReadBackCheck.h"
#include "link/Commands.h"

#include <QVarLengthArray>

// Writes one record's items into data EEPROM, setting the address before every item, then reads
// every item back and compares it with the item written.
bool DownloadSession::PROGRAM_EEPROM(const QByteArray& line, quint16 wordAddress,
                                     quint8 lastWordIndex) {
    const auto addressCommand = [&](int i) { return Command::address(quint16(wordAddress + i)); };
    QVarLengthArray<quint16, 256> written;
    bool lastAcknowledged = true;
    for (int i = 0; i <= lastWordIndex; ++i) {
        const quint16 item = HexRecord::dataWord(line, i);
        sendAcknowledged(addressCommand(i));
        lastAcknowledged = sendAcknowledged(Command::writeWord(item));
        written.append(item);
    }
    if (!lastAcknowledged) {
        return false;
    }
    ReadBackCheck readBack;
    for (int i = 0; i <= lastWordIndex; ++i) {
        lastAcknowledged = sendAcknowledged(addressCommand(i));
        SEND_HEX(Command::readWord());
        readBack.compare(quint16(wordAddress + i), written[i], GET_WORD_REPLY());
    }
    if (!readBack.matched())
        explainFailure(readBack.mismatch());
    return readBack.matched() && lastAcknowledged;
}
