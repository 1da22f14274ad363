// The two ways hexadecimal text is read, and the four-digit form the host writes.
#include "link/HexText.h"

#include <QtTest>

class HexTextTest : public QObject {
    Q_OBJECT

private slots:
    void leadingDigits_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<quint32>("value");
        QTest::newRow("two digits") << QByteArray("10") << 0x10u;
        QTest::newRow("upper case") << QByteArray("FF") << 0xFFu;
        QTest::newRow("lower case") << QByteArray("ff") << 0xFFu;
        QTest::newRow("mixed case") << QByteArray("aB") << 0xABu;
        QTest::newRow("second not a digit") << QByteArray("1G") << 0x1u;
        QTest::newRow("first not a digit") << QByteArray("G1") << 0x0u;
        QTest::newRow("space first") << QByteArray(" 1") << 0x0u;
        QTest::newRow("one digit") << QByteArray("7") << 0x7u;
        QTest::newRow("empty") << QByteArray() << 0x0u;
        QTest::newRow("four digits") << QByteArray("1F00") << 0x1F00u;
        QTest::newRow("digits then colon") << QByteArray("02:") << 0x2u;
    }
    void leadingDigits() {
        QFETCH(QByteArray, text);
        QFETCH(quint32, value);
        QCOMPARE(leadingHexValue(text), value);
    }

    void allOrZero_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<quint32>("value");
        QTest::newRow("word") << QByteArray("19FF") << 0x19FFu;
        QTest::newRow("lower-case word") << QByteArray("19cc") << 0x19CCu;
        QTest::newRow("address") << QByteArray("1FE0") << 0x1FE0u;
        QTest::newRow("zero") << QByteArray("0000") << 0x0u;
        QTest::newRow("max word") << QByteArray("3FFF") << 0x3FFFu;
        QTest::newRow("short") << QByteArray("A") << 0xAu;
        QTest::newRow("empty") << QByteArray() << 0x0u;
        QTest::newRow("broken at end") << QByteArray("19FZ") << 0x0u;
        QTest::newRow("broken at start") << QByteArray("Z9FF") << 0x0u;
        QTest::newRow("leading space") << QByteArray(" 1FF") << 0x0u;
        QTest::newRow("sign") << QByteArray("-1") << 0x0u;
        QTest::newRow("prefix not accepted") << QByteArray("$1F") << 0x0u;
        QTest::newRow("NUL inside") << QByteArray("1\0002", 3) << 0x0u;
        QTest::newRow("32 bits") << QByteArray("FFFFFFFF") << 0xFFFFFFFFu;
        QTest::newRow("leading zeros") << QByteArray("0000000012") << 0x12u;
        QTest::newRow("too large") << QByteArray("100000000") << 0x0u;
    }
    void allOrZero() {
        QFETCH(QByteArray, text);
        QFETCH(quint32, value);
        QCOMPARE(hexValueOrZero(text), value);
        QCOMPARE(hexValueOrZero(QString::fromLatin1(text)), value);
    }

    void allOrZeroRefusesNonLatin1() { QCOMPARE(hexValueOrZero(QStringLiteral("1\u00C0")), 0u); }

    void word_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << QStringLiteral("0000");
        QTest::newRow("padded") << 0x1F0 << QStringLiteral("01F0");
        QTest::newRow("upper case") << 0x3FFF << QStringLiteral("3FFF");
        QTest::newRow("marker") << 0x19cc << QStringLiteral("19CC");
        QTest::newRow("eeprom") << 0x2100 << QStringLiteral("2100");
        QTest::newRow("max") << 0xFFFF << QStringLiteral("FFFF");
    }
    void word() {
        QFETCH(int, value);
        QFETCH(QString, text);
        QCOMPARE(hexWord(quint16(value)), text);
    }

    void wordReadsBack() {
        for (int v = 0; v <= 0xFFFF; v += 0x0101)
            QCOMPARE(hexValueOrZero(hexWord(quint16(v))), quint32(v));
    }
};

QTEST_APPLESS_MAIN(HexTextTest)
#include "test_hextext.moc"
