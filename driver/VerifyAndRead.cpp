// Checking the board against a HEX file and reading it into one: the board is only read, with
// "a" and "r1", and told to start its program with "g" at the end when it holds a finished
// download.
#include "device/Markers.h"
#include "device/TargetIdentity.h"
#include "driver/DownloadSession.h"
#include "driver/HexFileCheck.h"
#include "driver/HexFileReader.h"
#include "driver/Messages.h"
#include "hex/BoardImage.h"
#include "hex/HexRecord.h"
#include "hex/Routing.h"
#include "hex/WrittenImage.h"
#include "link/Commands.h"
#include "link/HexText.h"
#include "ui/Messages.h"

#include <QSaveFile>

DownloadOutcome DownloadSession::verifyHexFile() {
    return runOperation(
        [this] {
            DISPLAY_MESSAGE(QString());
            HexFileReader hexFile(HexFileName);
            return checkBoard(hexFile);
        },
        DownloadOutcome::Result::Matched);
}

DownloadOutcome DownloadSession::readIntoHexFile(const QString& path, int eepromBytes) {
    return runOperation(
        [&] {
            DISPLAY_MESSAGE(QString());
            // Opened before the board is touched, and written only once it has been read whole.
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly)) {
                DO_ERROR(Message::CannotWriteHexFile,
                         path + QStringLiteral(": ") + file.errorString());
                return false;
            }
            progress_.fileAccepted = true;
            return readBoard(file, eepromBytes);
        },
        DownloadOutcome::Result::Read);
}

bool DownloadSession::checkBoard(HexFileReader& hexFile) {
    if (!checkHexFileFirst(hexFile, Message::VerifyFailed).fault.isEmpty())
        return false;
    WrittenImage image;
    hexFile.open();
    while (!hexFile.atEnd()) {
        const QByteArray line = hexFile.readLine();
        if (HexRecord::recordType(line) == "01")
            break;
        image.add(line);
    }
    hexFile.close();
    progress_.fileAccepted = true;

    const QString bootVectorWord = meetBootloader();
    if (bootVectorWord.isEmpty())
        return false;
    enterPhase(DownloadPhase::Verifying);
    DISPLAY_MESSAGE(Message::Verifying);
    BoardCheck& check = progress_.check;
    const QMap<quint16, quint16>& expected = image.words();
    const bool allRead = readWords(expected.keys(), [&](quint16 address, quint16 word) {
        ++check.wordsCompared;
        const quint16 fileWord = expected.value(address);
        if (word == fileWord)
            return;
        if (++check.wordsDiffering <= BoardCheck::DifferencesListed)
            check.differences.append({address, word, fileWord});
    });
    if (!allRead)
        return endDownload(false, Message::VerifyFailed);
    progress_.compared = true;
    check.bootVectorWord = bootVectorWord;
    check.downloadUnfinished = bootVectorWord != hexWord(CompletionMarker);
    if (!check.holdsFile()) {
        DO_ERROR(Message::DoesNotHoldHexFile,
                 Message::boardDifferences(check, BootVectorAddress, hexWord(CompletionMarker)));
        return false;
    }
    return finishBoardRead(bootVectorWord, Message::HoldsHexFile);
}

bool DownloadSession::readBoard(QSaveFile& file, int eepromBytes) {
    const QString bootVectorWord = meetBootloader();
    if (bootVectorWord.isEmpty())
        return false;
    enterPhase(DownloadPhase::Reading);
    DISPLAY_MESSAGE(Message::Reading);
    QList<quint16> addresses;
    const quint32 bootVector = hexValueOrZero(BootVectorAddress);
    for (quint32 address = 0; address < bootVector; ++address)
        addresses.append(quint16(address));
    for (int offset = 0; offset < eepromBytes; ++offset)
        addresses.append(quint16(FirstEepromWord + offset));
    BoardImage image;
    const bool allRead = readWords(addresses, [&image](quint16 address, quint16 word) {
        (isEepromWord(address) ? image.eepromItems : image.programWords).append(word);
    });
    if (!allRead)
        return endDownload(false, Message::ReadFailed);
    if (file.write(intelHexText(image)) < 0 || !file.commit()) {
        DO_ERROR(Message::CannotWriteHexFile,
                 file.fileName() + QStringLiteral(": ") + file.errorString());
        return false;
    }
    return finishBoardRead(bootVectorWord, Message::readInto(file.fileName()),
                           Message::readDetail(file.fileName(), int(image.programWords.size()),
                                               BootVectorAddress, int(image.eepromItems.size())));
}

// A check or a read that has come through: the board's program is started when the boot-vector
// word shows a finished download.
bool DownloadSession::finishBoardRead(const QString& bootVectorWord, const QString& report,
                                      const QString& detail) {
    if (bootVectorWord == hexWord(CompletionMarker))
        SEND_HEX(Command::go());
    setGaugeBar(GaugeBar::Lime);
    setGaugeProgress(gauge_.maximum());
    detail.isEmpty() ? DISPLAY_MESSAGE(report) : showResult(report, detail);
    emit writeAllowed(true);
    CloseCom();
    return true;
}
