#pragma once

#include "driver/DownloadOutcome.h"
#include "hex/HexRecord.h"
#include "link/HexText.h"

#include <QFileInfo>
#include <QString>
#include <QStringList>

// What the download driver shows on the status line.
namespace Message {

inline const QString CannotReadHexFile = QStringLiteral("Cannot Read HEX file.");
inline const QString PressReset = QStringLiteral("Press RESET on the Programming Cradle");
inline const QString Writing = QStringLiteral("Writing Program to ZELTRA IR");
inline const QString WrittenSuccessfully = QStringLiteral("Program Written Successfully");
// Why there is no HEX file to write, and what to do.
inline QString noHexFile(const QString& name) {
    const QString choose = QStringLiteral("press Write to choose one, or drop one onto the window");
    if (name.isEmpty())
        return QStringLiteral("No HEX file was named: ") + choose;
    return name + QStringLiteral(" is not a file: ") + choose;
}

// The file dialog that asks for a HEX file when there is none.
inline const QString ChooseHexFile = QStringLiteral("Choose the HEX File to Write");
inline const QString HexFileFilters =
    QStringLiteral("Intel HEX files (*.hex *.ihx);;All files (*)");
// The HEX file check's faults.
inline const QString InvalidHexFile = QStringLiteral("Invalid HEX file");
inline const QString ProblemReadingHexFile = QStringLiteral("Problem reading Hex File");

// What is wrong with a refused line of the HEX file, numbered from 1.
inline QString emptyLine(int line) {
    return QStringLiteral("line %1 is empty").arg(line);
}
// A character as the user can tell it: quoted, or named when it does not show.
inline QString character(char c) {
    if (c == ' ')
        return QStringLiteral("a blank");
    if (c == '\t')
        return QStringLiteral("a tab");
    if (c > ' ' && c < 127)
        return QStringLiteral("\"%1\"").arg(QLatin1Char(c));
    return QStringLiteral("byte %1").arg(QString::number(quint8(c), 16).toUpper());
}
inline QString noStartCode(int line, char first) {
    return QStringLiteral("line %1 starts with %2, not \":\"").arg(line).arg(character(first));
}
inline QString recordFlaw(int line, const HexRecord::Flaw& flaw) {
    using Kind = HexRecord::Flaw::Kind;
    const auto hex = [](qsizetype value, int digits) {
        return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
    };
    const QString where = QStringLiteral("line %1: ").arg(line);
    switch (flaw.kind) {
    case Kind::None:
    case Kind::NoStartCode:
        break;
    case Kind::NotADigit:
        return where + QStringLiteral("character %1 is %2, not a hexadecimal digit")
                           .arg(flaw.position)
                           .arg(character(char(flaw.found)));
    case Kind::OddDigits:
        return where + QStringLiteral("an odd number of digits (%1) after \":\"").arg(flaw.found);
    case Kind::TooShort:
        return where +
               QStringLiteral("%1 digits after \":\", a record has at least 10").arg(flaw.found);
    case Kind::WrongLength: {
        // The line was read no further than one character beyond the longest record.
        const qsizetype longest = 2 * (255 + 5);
        const QString has = flaw.found > longest ? QStringLiteral("more than %1").arg(longest)
                                                 : QString::number(flaw.found);
        return where + QStringLiteral("byte count %1 calls for %2 digits after \":\", the line "
                                      "has %3")
                           .arg(hex(flaw.expected / 2 - 5, 2))
                           .arg(flaw.expected)
                           .arg(has);
    }
    case Kind::Checksum:
        return where + QStringLiteral("checksum %1, the record's bytes call for %2")
                           .arg(hex(flaw.found, 2), hex(flaw.expected, 2));
    case Kind::UnknownType:
        return where +
               QStringLiteral("record type %1 is not one of 00 to 05").arg(hex(flaw.found, 2));
    case Kind::ExtendedAddress:
        return where + QStringLiteral("extended address %1 lies outside the target, only 0000 "
                                      "can be written")
                           .arg(hex(flaw.found, 4));
    }
    return where + QStringLiteral("not a record");
}

// The boot-vector word did not read as the download left it, at the address the latest
// identification gave.
inline QString writeFailed(const QString& bootVectorAddress) {
    return QStringLiteral("WRITE failed at address ") + bootVectorAddress;
}

// Checking the board against a HEX file, and reading it into one.
inline const QString Verifying = QStringLiteral("Verifying ZELTRA IR against the HEX file");
inline const QString HoldsHexFile = QStringLiteral("ZELTRA IR holds the HEX file");
inline const QString DoesNotHoldHexFile = QStringLiteral("ZELTRA IR does not hold the HEX file");
inline const QString VerifyFailed = QStringLiteral("Verify Failed");
inline const QString Reading = QStringLiteral("Reading ZELTRA IR");
inline const QString ReadFailed = QStringLiteral("Read Failed");
inline const QString CannotWriteHexFile = QStringLiteral("Cannot Write HEX file.");
inline QString readInto(const QString& path) {
    return QStringLiteral("ZELTRA IR read into ") + QFileInfo(path).fileName();
}
// Where a board was read into, and what of it.
inline QString readDetail(const QString& path, int programWords, const QString& bootVectorAddress,
                          int eepromBytes) {
    return QStringLiteral("%1\n%2 program words, up to the boot vector %3, and %4 EEPROM bytes")
        .arg(QFileInfo(path).absoluteFilePath())
        .arg(programWords)
        .arg(bootVectorAddress)
        .arg(eepromBytes);
}
// What a check of the board found, one finding a line: the words that differ, the first of them,
// and a boot-vector word (at the address the identification gave) that is not the completion
// marker.
inline QString boardDifferences(const BoardCheck& check, const QString& bootVectorAddress,
                                const QString& completionMarker) {
    QStringList lines;
    if (check.wordsDiffering > 0) {
        const bool all = check.wordsDiffering == check.differences.size();
        lines.append(
            QStringLiteral("%1 of %2 words differ%3:")
                .arg(check.wordsDiffering)
                .arg(check.wordsCompared)
                .arg(all ? QString()
                         : QStringLiteral(", the first %1").arg(check.differences.size())));
    }
    for (const BoardCheck::Difference& difference : check.differences)
        lines.append(QStringLiteral("word %1: %2 on the board, %3 in the file")
                         .arg(hexWord(difference.address), hexWord(difference.board),
                              hexWord(difference.file)));
    if (check.downloadUnfinished)
        lines.append(QStringLiteral("the boot-vector word %1 reads %2, not %3: the board's last "
                                    "download did not finish")
                         .arg(bootVectorAddress, check.bootVectorWord, completionMarker));
    return lines.join(QLatin1Char('\n'));
}

// What an operation that ends in `success` is called in the notice of late answers.
inline QString operationName(DownloadOutcome::Result success) {
    switch (success) {
    case DownloadOutcome::Result::Matched:
        return QStringLiteral("check");
    case DownloadOutcome::Result::Read:
        return QStringLiteral("read");
    default:
        return QStringLiteral("download");
    }
}

} // namespace Message
