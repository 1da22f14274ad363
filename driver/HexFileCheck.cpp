#include "driver/HexFileCheck.h"

#include "driver/HexFileReader.h"
#include "hex/HexRecord.h"

QString findHexFileFault(HexFileReader& hexFile) {
    hexFile.open();
    QString fault;
    while (fault.isEmpty() && !hexFile.atEnd()) {
        const QByteArray line = hexFile.readLine();
        if (line.isEmpty()) {
            fault = QStringLiteral("Invalid HEX file");
        } else if (line.front() != ':') {
            fault = QStringLiteral("Problem reading Hex File");
        } else if (!HexRecord::isWellFormed(line)) {
            fault = QStringLiteral("Invalid HEX file");
        } else if (HexRecord::recordType(line) == "01") {
            break;
        }
    }
    hexFile.close();
    return fault;
}
