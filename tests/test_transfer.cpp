// Record routing and the two writers, command by command, against the simulated target.
#include "link/Messages.h"
#include "link/Protocol.h"
#include "support/DownloadRig.h"
#include "support/HexFiles.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QtTest>

using zeltra::sim::Options;

namespace {
QStringList programCommands(const QString& address, const QStringList& words, int fills) {
    QStringList commands{"a" + address};
    for (const QString& word : words) {
        commands.append("w" + word);
    }
    for (int i = 0; i < fills; ++i) {
        commands.append("w3FFF");
    }
    commands.append("a" + address);
    for (qsizetype i = 0; i < words.size() + fills; ++i) {
        commands.append("r1");
    }
    return commands;
}

QList<quint16> wordsFrom(int first, int count) {
    QList<quint16> words;
    for (int i = 0; i < count; ++i) {
        words.append(quint16(first + i));
    }
    return words;
}

QStringList hexWords(const QList<quint16>& words) {
    QStringList texts;
    for (const quint16 word : words) {
        texts.append(QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper());
    }
    return texts;
}
} // namespace

class TransferTest : public QObject {
    Q_OBJECT

private slots:
    void routesRecords_data();
    void routesRecords();
    void writesProgramMemoryInBlocks_data();
    void writesProgramMemoryInBlocks();
    void refusesWordsThatDoNotReadBack_data();
    void refusesWordsThatDoNotReadBack();
    void lostAcknowledgementStillRunsTheRecordToItsEnd();
    void writesEepromItemByItem();
    void unansweredLastEepromWriteReadsNothingBack();
};

void TransferTest::routesRecords_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<bool>("verified");
    for (const int skipped : {0x2000, 0x2001, 0x2002, 0x2007}) {
        QTest::addRow("skipped %x", skipped)
            << HexFiles::wordRecord(quint16(skipped), {1, 2, 3, 4}) << QStringList{} << true;
    }
    QTest::newRow("2003 written") << HexFiles::wordRecord(0x2003, {0x1234})
                                  << programCommands("2003", {"1234"}, 3) << true;
    QTest::newRow("last word below EEPROM")
        << HexFiles::wordRecord(0x20FF, {7, 8}) << programCommands("20FF", {"0007", "0008"}, 2)
        << false;
    QTest::newRow("first EEPROM word") << HexFiles::wordRecord(0x2100, {0x0042})
                                       << QStringList{"a2100", "w0042", "a2100", "r1"} << true;
    QTest::newRow("odd byte address") << HexFiles::record(0, 0x0001, QByteArray("\x34\x12", 2))
                                      << programCommands("0000", {"1234"}, 3) << true;
    QByteArray seventeen(17, 0x11);
    QTest::newRow("byte count 11") << HexFiles::record(0, 0, seventeen)
                                   << programCommands("0000", QStringList(8, "1111"), 0) << true;
    QTest::newRow("lower-case digits") << HexFiles::wordRecord(0x0ABC, {0x2ABC}).toLower()
                                       << programCommands("0ABC", {"2ABC"}, 3) << true;
}

void TransferTest::routesRecords() {
    QFETCH(QByteArray, line);
    QFETCH(QStringList, commands);
    QFETCH(bool, verified);
    DownloadRig rig;
    QVERIFY(rig.connect());
    // Words past 20FF are not program memory on this target: their read-back cannot match.
    QCOMPARE(rig.session().SEND_DATA_TO_MICRO(line.mid(7, 2), line), verified);
    QCOMPARE(rig.commands(), commands);
    if (verified) {
        QCOMPARE(rig.report().violations, std::vector<std::string>{});
    }
}

void TransferTest::writesProgramMemoryInBlocks_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("words");
    QTest::addColumn<int>("fills");
    QTest::newRow("1 word") << 0 << 1 << 3;
    QTest::newRow("5 words") << 0 << 5 << 3;
    QTest::newRow("6 words") << 0 << 6 << 2;
    QTest::newRow("6 words at 0006") << 6 << 6 << 2;
    QTest::newRow("8 words") << 0 << 8 << 0;
}

void TransferTest::writesProgramMemoryInBlocks() {
    QFETCH(int, address);
    QFETCH(int, words);
    QFETCH(int, fills);
    DownloadRig rig;
    QVERIFY(rig.connect());
    const QList<quint16> data = wordsFrom(0x0100, words);
    const QByteArray line = HexFiles::wordRecord(quint16(address), data);
    QVERIFY(rig.session().PROGRAM_MAIN_MEMORY(line, quint16(address), quint8(words - 1)));
    QCOMPARE(rig.commands(),
             programCommands(QString::asprintf("%04X", address), hexWords(data), fills));
    for (int i = 0; i < words; ++i) {
        QCOMPARE(rig.target().programWord(quint16(address + i)), data[i]);
    }
    QCOMPARE(rig.report().violations, std::vector<std::string>{});
}

void TransferTest::refusesWordsThatDoNotReadBack_data() {
    QTest::addColumn<int>("fault");
    QTest::newRow("FFFF read back as 3FFF") << 0;
    QTest::newRow("two wrong words that cancel in a sum") << 1;
}

void TransferTest::refusesWordsThatDoNotReadBack() {
    QFETCH(int, fault);
    Options options = DownloadRig::quickTarget();
    if (fault == 1) {
        options.cancellingPair = 0x0001;
    }
    DownloadRig rig(options);
    QVERIFY(rig.connect());
    const QList<quint16> data{0x0100, fault == 0 ? quint16(0xFFFF) : quint16(0x0200), 0x0300,
                              0x0400};
    QVERIFY(!rig.session().PROGRAM_MAIN_MEMORY(HexFiles::wordRecord(0, data), 0, 3));
    QCOMPARE(rig.commands(), programCommands("0000", hexWords(data), 0));
}

void TransferTest::lostAcknowledgementStillRunsTheRecordToItsEnd() {
    Options options = DownloadRig::quickTarget();
    options.dropAck = 3; // the address, the first word, then the second word's acknowledgement
    DownloadRig rig(options);
    QVERIFY(rig.connect());
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(!rig.session().PROGRAM_MAIN_MEMORY(HexFiles::wordRecord(0, {1, 2, 3, 4}), 0, 3));
    // The lost acknowledgement closed the line; the two remaining words and the read-back address
    // each still waited out their own time-out.
    QVERIFY2(elapsed.elapsed() >= 3 * (AckTimeoutMs - 50),
             qPrintable(QString::number(elapsed.elapsed())));
    QCOMPARE(rig.commands(), (QStringList{"a0000", "w0001", "w0002"}));
    QCOMPARE(rig.status(), Message::LostContact);
}

void TransferTest::writesEepromItemByItem() {
    DownloadRig rig;
    QVERIFY(rig.connect());
    const int acknowledgementsBefore = rig.report().acknowledgements;
    const QByteArray line = HexFiles::wordRecord(0x2100, {0x0011, 0x0022, 0x0033, 0x0044});
    QVERIFY(rig.session().SEND_DATA_TO_MICRO("00", line));
    QCOMPARE(rig.commands(),
             (QStringList{"a2100", "w0011", "a2101", "w0022", "a2102", "w0033", "a2103", "w0044",
                          "a2100", "r1", "a2101", "r1", "a2102", "r1", "a2103", "r1"}));
    QCOMPARE(rig.report().acknowledgements - acknowledgementsBefore, 12);
    QCOMPARE(rig.target().eepromByte(0x2103), 0x44);
}

void TransferTest::unansweredLastEepromWriteReadsNothingBack() {
    Options options = DownloadRig::quickTarget();
    options.dropAck = 4; // the second item's "w"
    DownloadRig rig(options);
    QVERIFY(rig.connect());
    QVERIFY(!rig.session().PROGRAM_EEPROM(HexFiles::wordRecord(0x2100, {1, 2}), 0x2100, 1));
    QCOMPARE(rig.commands(), (QStringList{"a2100", "w0001", "a2101", "w0002"}));
}

QTEST_MAIN(TransferTest)
#include "test_transfer.moc"
