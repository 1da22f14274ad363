// The HEX file as the downloader reads and checks it, before anything reaches the target.
#include "app/ErrorHandler.h"
#include "driver/HexFileCheck.h"
#include "driver/HexFileReader.h"
#include "driver/Messages.h"
#include "hex/HexRecord.h"
#include "support/HexFiles.h"

#include <QTemporaryDir>
#include <QtTest>

class HexFileTest : public QObject {
    Q_OBJECT

private slots:
    void readsLines_data();
    void readsLines();
    void readsAFileAgainAfterReopening();
    void readsOnlyWhatTheFileHeldWhenOpened();
    void missingFileRaisesAnError();
    void findsTheFirstFault_data();
    void findsTheFirstFault();
    void takesRecordFields_data();
    void takesRecordFields();

private:
    QString write(const QByteArray& text) {
        return HexFiles::writeFile(dir_.filePath("t.hex"), text);
    }
    QTemporaryDir dir_;
};

void HexFileTest::readsLines_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("lines");
    const QByteArray longLine(3 * 64 * 1024 + 17, 'A');
    QTest::newRow("empty file") << QByteArray() << QByteArrayList{};
    QTest::newRow("LF") << QByteArray("one\ntwo\n") << QByteArrayList{"one", "two"};
    QTest::newRow("CR LF, last line unended")
        << QByteArray("one\r\ntwo") << QByteArrayList{"one", "two"};
    QTest::newRow("lone CR dropped")
        << QByteArray("o\rne\n\rtwo\r") << QByteArrayList{"one", "two"};
    QTest::newRow("empty lines kept")
        << QByteArray("one\n\n\r\ntwo\n") << QByteArrayList{"one", "", "", "two"};
    QTest::newRow("control-Z after the last line")
        << QByteArray("one\r\n\x1A:00\r\n") << QByteArrayList{"one"};
    QTest::newRow("control-Z inside a line")
        << QByteArray("one\ntw\x1Ao\nthree\n") << QByteArrayList{"one", "tw"};
    QTest::newRow("control-Z first") << QByteArray("\x1A"
                                                   "one\n")
                                     << QByteArrayList{};
    QTest::newRow("line longer than any buffer")
        << longLine + "\r\nend" << QByteArrayList{longLine, "end"};
    QTest::newRow("binary bytes kept")
        << QByteArray("\x00\xFF\x7F\n", 4) << QByteArrayList{QByteArray("\x00\xFF\x7F", 3)};
}

void HexFileTest::readsLines() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, lines);
    HexFileReader reader(write(text));
    reader.open();
    QByteArrayList read;
    while (!reader.atEnd()) {
        read.append(reader.readLine());
    }
    QCOMPARE(read, lines);
    QVERIFY(reader.readLine().isEmpty());
}

void HexFileTest::readsAFileAgainAfterReopening() {
    HexFileReader reader(write("one\ntwo\n"));
    reader.open();
    QCOMPARE(reader.readLine(), QByteArray("one"));
    reader.open();
    QCOMPARE(reader.readLine(), QByteArray("one"));
    QCOMPARE(reader.readLine(), QByteArray("two"));
    QVERIFY(reader.atEnd());
}

void HexFileTest::readsOnlyWhatTheFileHeldWhenOpened() {
    const QString path = write("one\n");
    HexFileReader reader(path);
    reader.open();
    QFile grower(path);
    QVERIFY(grower.open(QIODevice::Append));
    grower.write("two\n");
    grower.close();
    QCOMPARE(reader.readLine(), QByteArray("one"));
    QVERIFY(reader.atEnd());
}

void HexFileTest::missingFileRaisesAnError() {
    HexFileReader reader(dir_.filePath("absent.hex"));
    QVERIFY_THROWS_EXCEPTION(DownloaderError, reader.open());
}

void HexFileTest::findsTheFirstFault_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("fault");
    const QByteArray data = HexFiles::wordRecord(0, {0x308A, 0x3FFF});
    const QByteArray end = HexFiles::endRecord();
    const QString invalid = Message::InvalidHexFile;
    QTest::newRow("good file") << data + "\r\n" + end + "\r\n" << QString();
    QTest::newRow("empty file") << QByteArray() << QString();
    QTest::newRow("no end record") << data + "\n" << QString();
    QTest::newRow("lower-case digits")
        << data.toLower().replace("\x3a", ":") + "\n" + end << QString();
    QTest::newRow("blank line before the end") << data + "\n\n" + end << invalid;
    QTest::newRow("blank and broken lines after the end") << end + "\n\nrubbish\n" << QString();
    QTest::newRow("blank before colon") << " " + data << Message::ProblemReadingHexFile;
    QTest::newRow("no colon") << data.mid(1) << Message::ProblemReadingHexFile;
    QByteArray badSum = data;
    badSum[badSum.size() - 1] = badSum.back() == '0' ? '1' : '0';
    QTest::newRow("wrong checksum") << badSum << invalid;
    QTest::newRow("odd digit count") << data + "0" << invalid;
    QTest::newRow("not a digit") << QByteArray(data).replace(10, 1, "G") << invalid;
    QTest::newRow("too short") << QByteArray(":00000001") << invalid;
    QTest::newRow("byte count too large") << QByteArray(":0300000001FC") << invalid;
    QTest::newRow("record type 06") << HexFiles::record(6, 0, "") << invalid;
    QTest::newRow("zero extended linear address")
        << HexFiles::record(4, 0, QByteArray(2, 0)) + "\n" + data << QString();
    QTest::newRow("extended linear address 0001")
        << HexFiles::record(4, 0, QByteArray("\x00\x01", 2)) << invalid;
    QTest::newRow("extended segment address 1000")
        << HexFiles::record(2, 0, QByteArray("\x10\x00", 2)) << invalid;
    QTest::newRow("start address record") << HexFiles::record(3, 0, QByteArray(4, 1)) << QString();
    QTest::newRow("01 only in the data") << HexFiles::wordRecord(0, {0x0101}) + "\n\n" << invalid;
}

void HexFileTest::findsTheFirstFault() {
    QFETCH(QByteArray, text);
    QFETCH(QString, fault);
    HexFileReader reader(write(text));
    QCOMPARE(checkHexFile(reader).fault, fault);
}

void HexFileTest::takesRecordFields_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<int>("loadAddress");
    QTest::addColumn<int>("firstWord");
    QTest::addColumn<int>("secondWord");
    QTest::newRow("words low byte first")
        << QByteArray(":04000E008A30FF3F00") << QByteArray("00") << 4 << 0x000E << 0x308A << 0x3FFF;
    QTest::newRow("lower case") << QByteArray(":0a4200008a30ff3f00") << QByteArray("00") << 10
                                << 0x4200 << 0x308A << 0x3FFF;
    QTest::newRow("word cut short by the line")
        << QByteArray(":0400000001023") << QByteArray("00") << 4 << 0 << 0x0201 << 0;
    QTest::newRow("word with a non-digit")
        << QByteArray(":040000000G0233") << QByteArray("00") << 4 << 0 << 0 << 0;
    QTest::newRow("short line") << QByteArray(":1") << QByteArray() << 1 << 0 << 0 << 0;
    QTest::newRow("field read by its leading digit")
        << QByteArray(":1Z2X0001") << QByteArray("01") << 1 << 0x0200 << 0 << 0;
}

void HexFileTest::takesRecordFields() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, type);
    QFETCH(int, byteCount);
    QFETCH(int, loadAddress);
    QFETCH(int, firstWord);
    QFETCH(int, secondWord);
    QCOMPARE(HexRecord::recordType(line), type);
    QCOMPARE(int(HexRecord::byteCount(line)), byteCount);
    QCOMPARE(int(HexRecord::loadAddress(line)), loadAddress);
    QCOMPARE(int(HexRecord::dataWord(line, 0)), firstWord);
    QCOMPARE(int(HexRecord::dataWord(line, 1)), secondWord);
}

QTEST_GUILESS_MAIN(HexFileTest)
#include "test_hexfile.moc"
