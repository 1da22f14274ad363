#include "link/HexText.h"

namespace {

// The value of one hexadecimal digit, or -1 when the character is not one.
int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

quint32 leadingHexValue(QByteArrayView text) {
    quint32 value = 0;
    for (char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            break;
        value = (value << 4) | quint32(digit);
    }
    return value;
}

quint32 hexValueOrZero(QByteArrayView text) {
    quint64 value = 0;
    for (char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return 0;
        value = (value << 4) | quint64(digit);
        if (value > 0xFFFFFFFFu)
            return 0;
    }
    return quint32(value);
}

quint32 hexValueOrZero(const QString& text) {
    // A character outside Latin-1 is no hexadecimal digit; '?' keeps it one.
    return hexValueOrZero(QByteArrayView(text.toLatin1()));
}

QString hexWord(quint16 value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString replyText(QByteArrayView bytes) {
    const qsizetype end = bytes.indexOf('\n');
    return QString::fromLatin1(end < 0 ? bytes : bytes.first(end));
}
