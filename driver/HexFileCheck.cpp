#include "driver/HexFileCheck.h"

#include "driver/HexFileReader.h"
#include "driver/Messages.h"
#include "hex/HexRecord.h"

namespace {
// ":" and the digits of a record with 255 data bytes; a longer line cannot be well formed, and
// is read no further than one character beyond this.
constexpr qsizetype LongestRecord = 1 + 2 * (1 + 2 + 1 + 255 + 1);

// The message for a line that cannot be sent, or an empty text.
QString lineFault(const QByteArray& line) {
    if (line.isEmpty())
        return Message::InvalidHexFile;
    if (line.front() != ':')
        return Message::ProblemReadingHexFile;
    if (!HexRecord::isWellFormed(line))
        return Message::InvalidHexFile;
    return {};
}
} // namespace

HexFileCheck checkHexFile(HexFileReader& hexFile) {
    hexFile.open();
    HexFileCheck check;
    bool endRecordRead = false; // the lines after it are never sent, only counted
    for (; !hexFile.atEnd(); ++check.lineCount) {
        if (endRecordRead) {
            hexFile.skipLine();
            continue;
        }
        const QByteArray line = hexFile.readLine(LongestRecord + 1);
        check.fault = lineFault(line);
        if (!check.fault.isEmpty())
            break;
        endRecordRead = HexRecord::recordType(line) == "01";
    }
    hexFile.close();
    return check;
}
