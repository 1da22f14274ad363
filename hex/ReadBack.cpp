#include "driver/DownloadSession.h"
#include "hex/Messages.h"
#include "hex/Routing.h"
#include "link/Commands.h"
#include "link/HexText.h"
#include "link/Messages.h"

#include <QElapsedTimer>

#include <optional>

namespace {
// How often the application's events (a click, a timer, a stop) are pumped during a read: a word
// comes about every 4 ms at 19200 baud, and a pump after each would lengthen every exchange.
constexpr qint64 PumpIntervalMs = 5;

// The address the bootloader reads after this one without being told: the next program word.
std::optional<quint16> wordAfter(quint16 address) {
    return isEepromWord(address) ? std::nullopt : std::optional<quint16>(address + 1);
}

// The address commands that a read of these words sends: one for each word that does not follow
// the word before it.
qint64 addressCommandsFor(const QList<quint16>& addresses) {
    qint64 count = 0;
    for (qsizetype i = 0; i < addresses.size(); ++i)
        count += i == 0 || wordAfter(addresses[i - 1]) != addresses[i];
    return count;
}
} // namespace

// Reads words as the writers read theirs back: one address command for a run of program words,
// since the bootloader steps its address after every "r1", and one before every EEPROM item. The
// gauge counts the words.
bool DownloadSession::readWords(const QList<quint16>& addresses,
                                const std::function<void(quint16 address, quint16 word)>& take) {
    const int total = int(addresses.size());
    setGaugeMaximum(total);
    setGaugeProgress(0);
    announceProgress(0, total);
    std::optional<quint16> next; // the address the bootloader reads next, when known
    pace_.plan(total + addressCommandsFor(addresses));
    QElapsedTimer sincePump;
    sincePump.start();
    for (int done = 0; done < total; ++done) {
        if (stopping())
            return false;
        const quint16 address = addresses[done];
        if (address != next && !sendAcknowledged(Command::address(address)))
            return false;
        SEND_HEX(Command::readWord());
        const QString reply = GET_WORD_REPLY();
        if (reply.isEmpty()) {
            DO_ERROR(Message::LostContact, Message::noWordRead(address));
            return false;
        }
        take(address, quint16(hexValueOrZero(reply)));
        next = wordAfter(address);
        const int percent = gauge_.percentDone();
        setGaugeProgress(done + 1);
        if (gauge_.percentDone() != percent)
            announceProgress(done + 1, total);
        if (sincePump.hasExpired(PumpIntervalMs)) {
            pump();
            sincePump.restart();
        }
    }
    return true;
}
