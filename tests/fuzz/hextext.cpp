// Fuzz target: the two ways hexadecimal text is read, and the four-digit form of a word.
#include "FuzzCheck.h"

#include "link/HexText.h"

#include <QString>

namespace {

// All-or-zero, computed apart from the code under test.
quint32 expectedWholeValue(QByteArrayView text) {
    quint64 value = 0;
    for (const char c : text) {
        if (digitValue(c) < 0)
            return 0;
        value = value * 16 + quint64(digitValue(c));
        if (value > 0xFFFFFFFFu)
            return 0;
    }
    return quint32(value);
}

qsizetype leadingDigits(QByteArrayView text) {
    qsizetype count = 0;
    while (count < text.size() && digitValue(text[count]) >= 0)
        ++count;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView text = inputBytes(data, size);

    const quint32 whole = hexValueOrZero(text);
    require(whole == expectedWholeValue(text), "hexValueOrZero reads the whole text or gives 0");
    require(hexValueOrZero(QString::fromLatin1(text)) == whole,
            "the text form reads Latin-1 text as the bytes");
    const QString unicode = QString::fromUtf8(text);
    bool latin1 = true;
    for (const QChar c : unicode)
        latin1 = latin1 && c.unicode() < 0x100;
    if (!latin1)
        require(hexValueOrZero(unicode) == 0, "a character outside Latin-1 is no digit");

    const qsizetype digits = leadingDigits(text);
    const quint32 leading = leadingHexValue(text);
    require(leading == leadingHexValue(text.first(digits)), "leading digits end at a non-digit");
    if (digits <= 8)
        require(leading == expectedWholeValue(text.first(digits)),
                "up to eight leading digits give their value");

    if (size >= 2) {
        const quint16 value = quint16(data[0] << 8 | data[1]);
        const QString word = hexWord(value);
        require(word.size() == 4 && word == word.toUpper(), "hexWord gives four upper-case digits");
        require(hexValueOrZero(word) == value, "hexWord reads back as its value");
    }
    return 0;
}
