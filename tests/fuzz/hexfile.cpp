// Fuzz target: the HEX file reader and the check that runs before a download, on any file.
#include "FuzzCheck.h"

#include "driver/HexFileCheck.h"
#include "driver/HexFileReader.h"
#include "driver/Messages.h"
#include "hex/HexRecord.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <unistd.h>

namespace {

// The lines the reader must give: the text up to the first control-Z, split at LF (a last LF
// starts no further line), every CR removed.
QList<QByteArray> expectedLines(QByteArrayView bytes) {
    QByteArray text = bytes.toByteArray();
    if (const qsizetype endOfFile = text.indexOf(char(26)); endOfFile >= 0)
        text.truncate(endOfFile);
    QList<QByteArray> lines = text.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines)
        line.replace("\r", "");
    return lines;
}

// The message of the first line that cannot be sent, up to the first end record.
QString expectedFault(const QList<QByteArray>& lines) {
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            return Message::InvalidHexFile;
        if (line[0] != ':')
            return Message::ProblemReadingHexFile;
        if (!HexRecord::isWellFormed(line))
            return Message::InvalidHexFile;
        if (line.mid(7, 2) == "01")
            break;
    }
    return {};
}

const QString& filePath() {
    static const QString path =
        QDir::temp().filePath(QStringLiteral("dwnld-fuzz-%1.hex").arg(getpid()));
    return path;
}

void writeInput(QByteArrayView bytes) {
    QFile file(filePath());
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                file.write(bytes.data(), bytes.size()) == bytes.size(),
            "the input can be written to a file");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes = inputBytes(data, size);
    writeInput(bytes);
    const QList<QByteArray> expected = expectedLines(bytes);

    HexFileReader reader(filePath());
    for (int pass = 0; pass < 2; ++pass) { // opening again starts again from the beginning
        reader.open();
        QList<QByteArray> lines;
        while (!reader.atEnd())
            lines.append(reader.readLine());
        require(lines == expected, "the reader gives the file's lines");
        require(reader.readLine().isEmpty(), "no line after the end");
    }
    reader.close();
    reader.close();

    const HexFileCheck check = checkHexFile(reader);
    require(check.fault == expectedFault(expected),
            "the check reports the first line that cannot be sent");
    require(!check.fault.isEmpty() || check.lineCount == expected.size(),
            "the check counts every line of a file it accepts");
    QFile::remove(filePath());
    return 0;
}
