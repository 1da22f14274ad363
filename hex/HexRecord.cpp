#include "hex/HexRecord.h"

#include "link/HexText.h"

namespace {

// Characters from position (counted from 1) on, cut short at the end of the line.
QByteArrayView field(QByteArrayView line, qsizetype position, qsizetype length) {
    const qsizetype start = position - 1;
    if (start >= line.size()) {
        return {};
    }
    return line.sliced(start, std::min(length, line.size() - start));
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

quint8 byteAt(QByteArrayView digits, qsizetype index) {
    return quint8(hexValueOrZero(digits.sliced(2 * index, 2)));
}

} // namespace

namespace HexRecord {

Flaw flawOf(QByteArrayView line) {
    using Kind = Flaw::Kind;
    if (line.isEmpty() || line.front() != ':') {
        return {Kind::NoStartCode};
    }
    const QByteArrayView digits = line.sliced(1);
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (!isHexDigit(digits[i])) {
            return {Kind::NotADigit, i + 2, quint8(digits[i])};
        }
    }
    if (digits.size() % 2 != 0) {
        return {Kind::OddDigits, 0, digits.size()};
    }
    if (digits.size() < 10) {
        return {Kind::TooShort, 0, digits.size()};
    }
    const qsizetype byteCount = byteAt(digits, 0);
    if (digits.size() != 2 * (byteCount + 5)) {
        return {Kind::WrongLength, 0, digits.size(), 2 * (byteCount + 5)};
    }
    quint8 sum = 0;
    for (qsizetype i = 0; i < byteCount + 4; ++i) {
        sum += byteAt(digits, i);
    }
    const quint8 checksum = byteAt(digits, byteCount + 4);
    if (quint8(sum + checksum) != 0) {
        return {Kind::Checksum, 0, checksum, quint8(-sum)};
    }
    const quint8 type = byteAt(digits, 3);
    if (type > 5) {
        return {Kind::UnknownType, 0, type};
    }
    if (type == 2 || type == 4) {
        // An extended address other than zero would place the data outside the target.
        for (qsizetype i = 0; i < byteCount; ++i) {
            if (byteAt(digits, 4 + i) != 0) {
                const qsizetype address =
                    byteCount < 2 ? byteAt(digits, 4) : byteAt(digits, 4) << 8 | byteAt(digits, 5);
                return {Kind::ExtendedAddress, 0, address};
            }
        }
    }
    return {};
}

QByteArray recordType(QByteArrayView line) {
    return field(line, 8, 2).toByteArray();
}

quint16 byteCount(QByteArrayView line) {
    return quint16(leadingHexValue(field(line, 2, 2)));
}

quint16 loadAddress(QByteArrayView line) {
    return quint16(leadingHexValue(field(line, 4, 2)) << 8 | leadingHexValue(field(line, 6, 2)));
}

quint16 dataWord(QByteArrayView line, int index) {
    const qsizetype position = 10 + 4 * qsizetype(index);
    const QByteArrayView lowByte = field(line, position, 2);
    const QByteArrayView highByte = field(line, position + 2, 2);
    if (lowByte.size() != 2 || highByte.size() != 2) {
        return 0;
    }
    const char digits[4] = {highByte[0], highByte[1], lowByte[0], lowByte[1]};
    return quint16(hexValueOrZero(QByteArrayView(digits, 4)));
}

QByteArray line(quint8 type, quint16 byteAddress, QByteArrayView data) {
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char(byteAddress >> 8));
    bytes.append(char(byteAddress & 0xFF));
    bytes.append(char(type));
    bytes.append(data);
    quint8 sum = 0;
    for (const char byte : bytes)
        sum += quint8(byte);
    bytes.append(char(quint8(-sum)));
    return ':' + bytes.toHex().toUpper();
}

} // namespace HexRecord
