// zeltra-sim's comparison of a target's memory with a HEX file.
#include "sim/HexCompare.h"
#include "support/HexFiles.h"

#include <QtTest>

#include <map>

using zeltra::sim::compareWithHexFile;

class SimCompareTest : public QObject {
    Q_OBJECT

private slots:
    void comparesTheFileWithTheTarget_data();
    void comparesTheFileWithTheTarget();
};

void SimCompareTest::comparesTheFileWithTheTarget_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("changedWord"); // a program word the target holds differently, or -1
    QTest::addColumn<bool>("matches");
    QTest::addColumn<int>("programWords");
    QTest::addColumn<int>("eepromBytes");
    QTest::addColumn<int>("configurationWords");
    const QByteArray config = HexFiles::wordRecord(0x2007, {0x3F71}) + "\n";
    QTest::newRow("held") << HexFiles::image(20, 5) << -1 << true << 20 << 5 << 0;
    QTest::newRow("one word differs") << HexFiles::image(20) << 7 << false << 20 << 0 << 0;
    QTest::newRow("configuration word left out")
        << config + HexFiles::image(4) << -1 << true << 4 << 0 << 1;
    QTest::newRow("malformed line")
        << QByteArray(":0400000001\n") + HexFiles::image(4) << -1 << false << 4 << 0 << 0;
    QTest::newRow("nothing after the end record")
        << HexFiles::image(4) + HexFiles::image(9) << -1 << true << 4 << 0 << 0;
}

void SimCompareTest::comparesTheFileWithTheTarget() {
    QFETCH(QByteArray, text);
    QFETCH(int, changedWord);
    QFETCH(bool, matches);
    QFETCH(int, programWords);
    QFETCH(int, eepromBytes);
    QFETCH(int, configurationWords);
    const auto programWord = [&](std::uint16_t address) {
        const quint16 word = HexFiles::imageWord(address);
        return address == changedWord ? quint16(word ^ 1) : word;
    };
    const auto eepromByte = [](std::uint16_t address) {
        return HexFiles::imageEepromByte(address - 0x2100);
    };
    const auto result = compareWithHexFile(text.toStdString(), programWord, eepromByte);
    QCOMPARE(result.matches(), matches);
    QCOMPARE(result.programWords, programWords);
    QCOMPARE(result.eepromBytes, eepromBytes);
    QCOMPARE(result.configurationWords, configurationWords);
    QCOMPARE(result.mismatches.size(), changedWord < 0 ? 0u : 1u);
}

QTEST_GUILESS_MAIN(SimCompareTest)
#include "test_sim_compare.moc"
