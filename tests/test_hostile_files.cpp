// Files that are not what a toolchain writes: huge lines, binary data, a million lines, a file
// still being written. Each is refused before the target is touched, or handled, in bounded
// memory and time.
#include "device/Markers.h"
#include "device/Messages.h"
#include "driver/Messages.h"
#include "support/DownloadRig.h"
#include "support/HexFiles.h"
#include "support/PeakMemory.h"
#include "support/SmallQuarantine.h"
#include "support/StatusHistory.h"
#include "ui/Messages.h"
#include "ui/ProgressGauge.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr qint64 MiB = 1024 * 1024;
// Far above what reading a file line by line needs, far below the files themselves.
constexpr qint64 MaxGrowthKb = 32 * 1024;
constexpr qint64 MaxDownloadMs = 20000;

// Writes a file piece by piece, so that the test itself never holds it whole.
class FileWriter {
public:
    explicit FileWriter(const QString& path) : file_(path) {
        QVERIFY(file_.open(QIODevice::WriteOnly | QIODevice::Truncate));
    }
    void write(const QByteArray& bytes) { QCOMPARE(file_.write(bytes), bytes.size()); }
    void repeat(const QByteArray& bytes, qint64 times) {
        const qint64 perChunk = std::max<qint64>(1, MiB / bytes.size());
        const QByteArray chunk = bytes.repeated(perChunk);
        for (; times >= perChunk; times -= perChunk) {
            write(chunk);
        }
        write(bytes.repeated(times));
    }

private:
    QFile file_;
};

// Pseudo-random bytes (xorshift), the same on every run.
QByteArray noise(qint64 size, quint32& state) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = char(state >> 24);
    }
    return bytes;
}

void writeNoise(FileWriter& file, qint64 size, bool withLineEnds) {
    quint32 state = 2463534242u;
    for (qint64 left = size; left > 0; left -= MiB) {
        QByteArray chunk = noise(std::min(left, MiB), state);
        if (!withLineEnds) {
            chunk.replace('\n', 'n').replace('\x1A', 'z');
        }
        file.write(chunk);
    }
}

const QByteArray Record = HexFiles::wordRecord(0, {1, 2, 3, 4, 5, 6, 7, 8}) + "\r\n";

enum class Content {
    HugeLine,
    Binary,
    BinaryLine,
    MillionLinesLastDamaged,
    MillionLinesAfterEnd,
    CarriageReturns
};

void writeContent(const QString& path, Content content) {
    FileWriter file(path);
    switch (content) {
    case Content::HugeLine: // 50 MB of digits after the colon, and no line end
        file.write(":");
        file.repeat("0", 50 * MiB);
        break;
    case Content::Binary:
        file.write("\x7F");
        writeNoise(file, 16 * MiB, true);
        break;
    case Content::BinaryLine: // a colon, then 32 MB of bytes with no line end or control-Z
        file.write(":");
        writeNoise(file, 32 * MiB, false);
        break;
    case Content::MillionLinesLastDamaged:
        file.repeat(Record, 999999);
        file.write(QByteArray(Record).replace("\r\n", "0\r\n"));
        break;
    case Content::MillionLinesAfterEnd:
        file.write(HexFiles::image(8));
        file.repeat(Record, 1000000);
        break;
    case Content::CarriageReturns: // lone CRs are dropped: the record is still well formed
        file.write(HexFiles::image(8).insert(20, QByteArray(4000, '\r')));
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(Content)

class HostileFileTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void refusedOrHandledInBoundedMemoryAndTime_data();
    void refusedOrHandledInBoundedMemoryAndTime();
    void fileGrowingBeforeTheCheckIsRefused();
    void fileGrowingAfterTheCheckEndsTheDownload();
};

// One download first, so that the window's one-time costs (fonts, painting) are not measured.
void HostileFileTest::initTestCase() {
    DownloadRig rig;
    rig.createWindow(HexFiles::image(8));
    rig.showAndDownload();
    QCOMPARE(rig.status(), Message::WrittenSuccessfully);
}

void HostileFileTest::refusedOrHandledInBoundedMemoryAndTime_data() {
    QTest::addColumn<Content>("content");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("flashed"); // shown before the status, when not empty
    QTest::addColumn<int>("lines");       // the gauge's maximum while writing
    QTest::newRow("50 MB single line")
        << Content::HugeLine << Message::DownloadFailed << Message::InvalidHexFile << 0;
    QTest::newRow("binary file") << Content::Binary << Message::DownloadFailed
                                 << Message::ProblemReadingHexFile << 0;
    QTest::newRow("binary line of 32 MB")
        << Content::BinaryLine << Message::DownloadFailed << Message::InvalidHexFile << 0;
    QTest::newRow("1,000,000 lines, the last damaged")
        << Content::MillionLinesLastDamaged << Message::DownloadFailed << Message::InvalidHexFile
        << 0;
    // Lines after the end record are counted for the gauge but never sent.
    QTest::newRow("1,000,000 lines after the end record")
        << Content::MillionLinesAfterEnd << Message::WrittenSuccessfully << QString()
        << 2 + 1000000;
    QTest::newRow("record with 4000 carriage returns")
        << Content::CarriageReturns << Message::WrittenSuccessfully << QString() << 2;
}

void HostileFileTest::refusedOrHandledInBoundedMemoryAndTime() {
    QFETCH(Content, content);
    QFETCH(QString, status);
    QFETCH(QString, flashed);
    QFETCH(int, lines);
    DownloadRig rig;
    rig.createWindow({});
    writeContent(rig.hexPath(), content);
    const StatusHistory history(rig.form().Edit2);
    int linesCounted = 0; // the gauge's maximum once the records are being written
    rig.when([&] { return rig.status() == Message::Writing; },
             [&] { linesCounted = rig.form().DownloadGauge->maximum(); });

    const PeakMemory memory;
    QElapsedTimer clock;
    clock.start();
    rig.showAndDownload();
    const qint64 elapsedMs = clock.elapsed();
    const qint64 growthKb = memory.growthKb();

    QCOMPARE(rig.status(), status);
    QVERIFY2(elapsedMs < MaxDownloadMs, QByteArray::number(elapsedMs) + " ms");
    QVERIFY2(growthKb < MaxGrowthKb, QByteArray::number(growthKb) + " KiB");
    if (!flashed.isEmpty()) {
        QVERIFY2(history.texts().contains(flashed), qPrintable(history.texts().join(" | ")));
    }
    if (status == Message::WrittenSuccessfully) {
        QTRY_VERIFY(rig.report().goReceived); // taken up a little after it was sent
        QCOMPARE(linesCounted, lines);
        QCOMPARE(rig.target().programWord(7), HexFiles::imageWord(7));
    } else {
        QCOMPARE(rig.report().bytesIn, 0u); // refused before the target was touched
        QVERIFY(rig.form().isVisible());
    }
}

namespace {

// Appends lines to a file from a thread of its own, about 4 MB a second, up to 64 MB.
class GrowingFile {
public:
    GrowingFile(const QString& path, QByteArray line) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND);
        QVERIFY(fd >= 0);
        thread_ = std::thread([this, fd, chunk = line.repeated(4096 / line.size())] {
            for (qint64 written = 0; !stop_ && written < 64 * MiB; written += chunk.size()) {
                if (::write(fd, chunk.constData(), size_t(chunk.size())) != chunk.size()) {
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1)); // the writer's pace
            }
            ::close(fd);
        });
    }
    ~GrowingFile() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

// A program without its end record, so that every pass reads to the end of the file.
QByteArray programWithoutEnd() {
    return HexFiles::image(16).replace(HexFiles::endRecord() + "\r\n", "");
}

} // namespace

// The file is still being written when Write is pressed: the check reads it as far as it had
// come when it was opened, finds the half-written text, and refuses it.
void HostileFileTest::fileGrowingBeforeTheCheckIsRefused() {
    DownloadRig rig;
    rig.createWindow(programWithoutEnd());
    const qint64 initialSize = QFileInfo(rig.hexPath()).size();
    const PeakMemory memory;
    GrowingFile growing(rig.hexPath(), "still being written\n");
    QTRY_VERIFY(QFileInfo(rig.hexPath()).size() > initialSize);
    QElapsedTimer clock;
    clock.start();
    rig.showAndDownload();
    QVERIFY2(clock.elapsed() < MaxDownloadMs, QByteArray::number(clock.elapsed()) + " ms");
    QCOMPARE(rig.status(), Message::DownloadFailed);
    QCOMPARE(rig.report().bytesIn, 0u);
    QVERIFY2(memory.growthKb() < MaxGrowthKb, QByteArray::number(memory.growthKb()) + " KiB");
}

// The file starts growing after it was checked, during the erase: it has changed since the
// check, so none of it is sent; the download fails and the application's handler tells why.
void HostileFileTest::fileGrowingAfterTheCheckEndsTheDownload() {
    DownloadRig rig;
    rig.createWindow(programWithoutEnd());
    std::unique_ptr<GrowingFile> growing;
    rig.when([&] { return rig.status() == Message::Erasing; },
             [&] {
                 growing = std::make_unique<GrowingFile>(
                     rig.hexPath(), HexFiles::wordRecord(0x0104, {9, 9, 9, 9}) + "\n");
             });
    QElapsedTimer clock;
    clock.start();
    rig.showAndDownload();
    QVERIFY2(clock.elapsed() < MaxDownloadMs, QByteArray::number(clock.elapsed()) + " ms");
    growing.reset();
    QCOMPARE(rig.status(), Message::DownloadFailed);
    QVERIFY(!rig.report().goReceived);
    QCOMPARE(rig.reportedErrors.size(), 1);
    QVERIFY(rig.reportedErrors.front().contains(rig.hexPath()));
    const QStringList commands = rig.commands();
    QCOMPARE(commands.count(QStringLiteral("a0000")), 1); // the first erase row; no record
    QCOMPARE(commands.count(QStringLiteral("a0104")), 0);
    QCOMPARE(rig.target().programWord(0x1F00), EraseMarker);
}

QTEST_MAIN(HostileFileTest)
#include "test_hostile_files.moc"
