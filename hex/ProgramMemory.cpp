#include "device/Markers.h"
#include "driver/DownloadSession.h"
#include "hex/HexRecord.h"
#include "hex/ReadBackCheck.h"
#include "hex/Routing.h"
#include "link/Commands.h"
#include "link/Messages.h"

#include <QVarLengthArray>

void DownloadSession::stepBlockWordCounter() {
    BlockWordCounter = BlockWordCounter == 4 ? 1 : BlockWordCounter + 1;
}

// Writes one record's words into program memory in whole blocks of four (the last completed with
// fill words), then reads every word back and compares it with the word written.
bool DownloadSession::PROGRAM_MAIN_MEMORY(const QByteArray& line, quint16 wordAddress,
                                          quint8 lastWordIndex) {
    const QString addressCommand = Command::address(wordAddress);
    if (!sendAcknowledged(addressCommand)) {
        return false;
    }
    QVarLengthArray<quint16, 256> written;
    bool lastWriteAcknowledged = true;
    const auto writeWord = [&](quint16 word) {
        lastWriteAcknowledged = sendAcknowledged(Command::writeWord(word));
        written.append(word);
    };
    BlockWordCounter = 1;
    for (int i = 0; i <= lastWordIndex; ++i) {
        writeWord(HexRecord::dataWord(line, i));
        stepBlockWordCounter();
    }
    for (int fill = fillWordsAfter(lastWordIndex + 1); fill > 0; --fill) {
        writeWord(FillWord);
    }

    if (!sendAcknowledged(addressCommand)) {
        return false;
    }
    ReadBackCheck readBack;
    qsizetype index = 0;
    const auto readWord = [&] {
        SEND_HEX(Command::readWord());
        readBack.compare(quint16(wordAddress + index), written[index], GET_WORD_REPLY());
        ++index;
    };
    BlockWordCounter = 1;
    for (int i = 0; i <= lastWordIndex; ++i) {
        readWord();
        stepBlockWordCounter();
    }
    for (int fill = fillWordsAfter(lastWordIndex + 1); fill > 0; --fill) {
        readWord();
    }
    // The port went away during the read-back (no acknowledgement awaited there): said as when an
    // acknowledgement does not come, with why, before the word that did not read back.
    if (!readBack.matched() && PortHandle.isGone())
        DO_ERROR(Message::LostContact, PortHandle.lostContactDetail());
    if (!readBack.matched())
        explainFailure(readBack.mismatch());
    return readBack.matched() && lastWriteAcknowledged;
}
