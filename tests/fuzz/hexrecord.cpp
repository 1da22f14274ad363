// Fuzz target: the fields of one HEX line and the test whether it is a well-formed record.
#include "FuzzCheck.h"

#include "hex/HexRecord.h"

#include <QList>

#include <optional>

namespace {

// The value of the hexadecimal digits of text, or nothing when any character is not one.
std::optional<quint32> digitsValue(QByteArrayView text) {
    quint32 value = 0;
    for (const char c : text) {
        if (digitValue(c) < 0)
            return std::nullopt;
        value = value * 16 + quint32(digitValue(c));
    }
    return value;
}

// The value of the leading digits of a two-character field that starts at position (from 1).
quint32 leadingField(QByteArrayView line, qsizetype position) {
    quint32 value = 0;
    for (qsizetype i = position - 1; i < std::min(position + 1, line.size()); ++i) {
        if (digitValue(line[i]) < 0)
            break;
        value = value * 16 + quint32(digitValue(line[i]));
    }
    return value;
}

// A well-formed record, judged from its bytes.
bool expectedWellFormed(QByteArrayView line) {
    if (line.size() < 11 || line[0] != ':' || line.size() % 2 == 0)
        return false;
    QList<quint32> bytes;
    for (qsizetype i = 1; i < line.size(); i += 2) {
        const std::optional<quint32> byte = digitsValue(line.sliced(i, 2));
        if (!byte)
            return false;
        bytes.append(*byte);
    }
    quint32 sum = 0;
    for (const quint32 byte : bytes)
        sum += byte;
    const quint32 count = bytes[0];
    const quint32 type = bytes[3];
    if (bytes.size() != qsizetype(count) + 5 || sum % 256 != 0 || type > 5)
        return false;
    if (type == 2 || type == 4)
        for (qsizetype i = 4; i < bytes.size() - 1; ++i)
            if (bytes[i] != 0)
                return false;
    return true;
}

quint16 expectedDataWord(QByteArrayView line, int index) {
    const qsizetype start = 9 + 4 * qsizetype(index);
    if (start + 4 > line.size())
        return 0;
    const std::optional<quint32> low = digitsValue(line.sliced(start, 2));
    const std::optional<quint32> high = digitsValue(line.sliced(start + 2, 2));
    return low && high ? quint16(*high << 8 | *low) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView line = inputBytes(data, size);
    require(HexRecord::isWellFormed(line) == expectedWellFormed(line),
            "isWellFormed judges the record as its bytes say");
    require(HexRecord::recordType(line) == line.toByteArray().mid(7, 2),
            "recordType is characters 8-9");
    require(HexRecord::byteCount(line) == leadingField(line, 2), "byteCount is characters 2-3");
    require(HexRecord::loadAddress(line) == (leadingField(line, 4) << 8 | leadingField(line, 6)),
            "loadAddress is characters 4-7");
    // A record's last word index is a byte: every word a record can ask for.
    for (int index = 0; index < 256; ++index)
        require(HexRecord::dataWord(line, index) == expectedDataWord(line, index),
                "dataWord reads its four characters, low byte first");
    return 0;
}
