#include "driver/HexFileCheck.h"

#include "driver/HexFileReader.h"
#include "driver/Messages.h"
#include "hex/HexRecord.h"
#include "hex/Routing.h"

namespace {
// ":" and the digits of a record with 255 data bytes; a longer line cannot be well formed, and
// is read no further than one character beyond this.
constexpr qsizetype LongestRecord = 1 + 2 * (1 + 2 + 1 + 255 + 1);

// Notes the fault of a line that cannot be sent, with its number (counted from 1).
void checkLine(const QByteArray& line, int number, HexFileCheck& check) {
    if (line.isEmpty()) {
        check.fault = Message::InvalidHexFile;
        check.detail = Message::emptyLine(number);
    } else if (line.front() != ':') {
        check.fault = Message::ProblemReadingHexFile;
        check.detail = Message::noStartCode(number, line.front());
    } else if (const HexRecord::Flaw flaw = HexRecord::flawOf(line)) {
        check.fault = Message::InvalidHexFile;
        check.detail = Message::recordFlaw(number, flaw);
    }
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
        checkLine(line, check.lineCount + 1, check);
        if (!check.fault.isEmpty())
            break;
        check.wordCount += wordsWritten(line);
        check.commandCount += commandsSent(line);
        endRecordRead = HexRecord::recordType(line) == "01";
    }
    hexFile.close();
    return check;
}
