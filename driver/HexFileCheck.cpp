#include "driver/HexFileCheck.h"

#include "driver/HexFileReader.h"
#include "driver/Messages.h"
#include "hex/HexRecord.h"

namespace {
// ":" and the digits of a record with 255 data bytes; a longer line cannot be well formed, and
// is read no further than one character beyond this.
constexpr qsizetype LongestRecord = 1 + 2 * (1 + 2 + 1 + 255 + 1);
} // namespace

QString findHexFileFault(HexFileReader& hexFile) {
    hexFile.open();
    QString fault;
    while (fault.isEmpty() && !hexFile.atEnd()) {
        const QByteArray line = hexFile.readLine(LongestRecord + 1);
        if (line.isEmpty()) {
            fault = Message::InvalidHexFile;
        } else if (line.front() != ':') {
            fault = Message::ProblemReadingHexFile;
        } else if (!HexRecord::isWellFormed(line)) {
            fault = Message::InvalidHexFile;
        } else if (HexRecord::recordType(line) == "01") {
            break;
        }
    }
    hexFile.close();
    return fault;
}
