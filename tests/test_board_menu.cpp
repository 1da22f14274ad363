// The Board menu of the real window against the simulated target: a check of the board and a
// read of it, which write nothing to it and leave the window open.
#include "driver/Messages.h"
#include "link/HexText.h"
#include "support/DownloadRig.h"
#include "support/HexFiles.h"
#include "ui/BoardMenu.h"
#include "ui/Messages.h"
#include "ui/ProgressGauge.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

namespace {

// Written into the board before the menu is used: a last record that takes three fill words.
QByteArray boardFile() {
    return HexFiles::image(61, 8);
}

// The rig's board holds `hex`, written by a download of a session of its own; then its window
// starts without a file (its automatic start touches nothing) and is given `hex`'s file.
void prepareBoard(DownloadRig& rig, const QByteArray& hex) {
    const QString path = HexFiles::writeFile(rig.hexPath(), hex);
    DownloadSession& writer = rig.session();
    writer.PortName = QString::fromStdString(rig.target().devicePath());
    writer.HexFileName = path;
    writer.HexFilePresent = true;
    QVERIFY(writer.writeHexFile().written());
    rig.target().pressReset();
    rig.createWindowWithoutArgument();
    rig.showAndDownload();
    rig.form().takeHexFile(path);
}

// Answers the next save dialog once it is shown: `answer` fills it in and accepts it.
void answerSaveDialog(const std::function<void(QFileDialog&)>& answer) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible())
            return;
        poll->deleteLater();
        poll->stop();
        answer(*dialog);
    });
    poll->start(10);
}

} // namespace

class BoardMenuTest : public QObject {
    Q_OBJECT

private slots:
    void init() { setReadFileChooser({}); }

    // Ctrl+Shift+V checks the board; nothing is written to it and the window stays open.
    void verifies_data() {
        QTest::addColumn<quint16>("changed"); // a word changed on the board, or none (0xFFFF)
        QTest::addColumn<QString>("status");
        QTest::newRow("holds the file") << quint16(0xFFFF) << Message::HoldsHexFile;
        QTest::newRow("one word changed") << quint16(0x0012) << Message::DoesNotHoldHexFile;
    }
    void verifies() {
        QFETCH(quint16, changed);
        QFETCH(QString, status);
        DownloadRig rig;
        prepareBoard(rig, boardFile());
        if (changed != 0xFFFF)
            rig.target().setProgramWord(changed, 0x1234);
        auto counts = rig.target().report().commandCounts;
        TDownloadForm& form = rig.form();
        QTest::keyClick(&form, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY(!form.session().running() && rig.status() == status);
        for (const char* command : {"w", "e"})
            QCOMPARE(rig.target().report().commandCounts[command], counts[command]);
        QVERIFY(form.isVisible());
        const bool holds = changed == 0xFFFF;
        QCOMPARE(form.DownloadGauge->barColor(), holds ? GaugeColor::Lime : GaugeColor::Red);
        if (holds) {
            QCOMPARE(form.DownloadGauge->percentDone(), 100);
        } else {
            const QStringList tip = rig.tipLines();
            QVERIFY2(tip.contains("1 of 72 words differ:"), qPrintable(tip.join('\n')));
            QVERIFY2(tip.contains("word 0012: 1234 on the board, " +
                                  hexWord(HexFiles::imageWord(0x12)) + " in the file"),
                     qPrintable(tip.join('\n')));
        }
    }

    // The save dialog suggests a file beside the HEX file; Enter takes it.
    void readsIntoTheSuggestedFile() {
        DownloadRig rig;
        prepareBoard(rig, boardFile());
        QString suggested;
        answerSaveDialog([&](QFileDialog& dialog) {
            suggested = dialog.selectedFiles().value(0);
            QTest::keyClick(&dialog, Qt::Key_Return);
        });
        rig.form().ReadItem->trigger();
        QVERIFY2(QRegularExpression("/board-\\d{4}-\\d\\d-\\d\\d-\\d{4}\\.hex$")
                     .match(suggested)
                     .hasMatch(),
                 qPrintable(suggested));
        QCOMPARE(QFileInfo(suggested).absolutePath(), QFileInfo(rig.hexPath()).absolutePath());
        QCOMPARE(rig.status(), Message::readInto(suggested));
        QVERIFY(QFileInfo(suggested).isFile());
        QVERIFY2(rig.tipLines().contains(QFileInfo(suggested).absoluteFilePath()),
                 qPrintable(rig.tipLines().join('\n')));
    }

    // A board read into a file, and the file written into a fresh board with Write: both hold
    // the same words.
    void readCopiesTheBoard() {
        DownloadRig board;
        prepareBoard(board, boardFile());
        const QString copy = QDir(board.folder()).filePath(QStringLiteral("copy.hex"));
        setReadFileChooser([&](QWidget*, const QString&) { return copy; });
        board.form().ReadItem->trigger();
        QCOMPARE(board.status(), Message::readInto(copy));

        DownloadRig fresh;
        fresh.createWindow(HexFiles::readFile(copy));
        fresh.showAndDownload();
        QTRY_COMPARE(fresh.status(), Message::WrittenSuccessfully);
        for (quint16 address = 0; address < 0x1F04; ++address)
            QCOMPARE(fresh.target().programWord(address), board.target().programWord(address));
        for (quint16 offset = 0; offset < 256; ++offset)
            QCOMPARE(fresh.target().eepromByte(offset), board.target().eepromByte(offset));
    }

    // A read that does not come through leaves no file: cancelled in the middle, or a file that
    // cannot be written, which is reported before the board is asked anything.
    void failedReadLeavesNoFile_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("status");
        QTest::newRow("cancelled") << true << Message::DownloadCancelled;
        QTest::newRow("folder missing") << false << Message::CannotWriteHexFile;
    }
    void failedReadLeavesNoFile() {
        QFETCH(bool, cancel);
        QFETCH(QString, status);
        zeltra::sim::Options target = DownloadRig::quickTarget();
        target.lineModel = true; // a read of some 35 s
        DownloadRig rig(target);
        rig.createWindowWithoutArgument();
        rig.showAndDownload();
        const QString path = QDir(rig.folder()).filePath(cancel ? "copy.hex" : "missing/copy.hex");
        setReadFileChooser([&](QWidget*, const QString&) { return path; });
        bool itemsWhileReading = true;
        if (cancel)
            rig.when([&] { return rig.status() == Message::Reading; },
                     [&] {
                         itemsWhileReading =
                             rig.form().VerifyItem->isEnabled() || rig.form().ReadItem->isEnabled();
                         rig.form().CancelButton->click();
                     });
        rig.form().ReadItem->trigger();
        QCOMPARE(rig.status(), status);
        QVERIFY(!cancel || !itemsWhileReading); // chosen, by their keys too, only when idle
        QVERIFY(rig.form().VerifyItem->isEnabled() && rig.form().ReadItem->isEnabled());
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(rig.form().isVisible());
        if (!cancel)
            QCOMPARE(rig.report().bytesIn, std::uint64_t(0));
    }
};

QTEST_MAIN(BoardMenuTest)
#include "test_board_menu.moc"
