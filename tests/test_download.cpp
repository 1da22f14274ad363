// Whole downloads through the real window against the simulated target.
#include "app/ErrorHandler.h"
#include "app/Messages.h"
#include "device/Markers.h"
#include "device/Messages.h"
#include "driver/HexFileChoice.h"
#include "driver/Messages.h"
#include "link/Messages.h"
#include "support/DownloadRig.h"
#include "support/HexFiles.h"
#include "support/TcpPeer.h"
#include "ui/Messages.h"
#include "ui/ProgressGauge.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using zeltra::sim::Options;
using Result = DownloadOutcome::Result;

Q_DECLARE_METATYPE(Options)
Q_DECLARE_METATYPE(Result)

namespace {
constexpr int BootVector = 0x1F00;

int count(const QStringList& commands, const QString& command) {
    return int(commands.count(command));
}

// Words from `from` up to the boot vector read as erased, and the completion marker is in place.
void verifyErasedFrom(DownloadRig& rig, int from) {
    for (int address = from; address < BootVector; ++address) {
        QCOMPARE(rig.target().programWord(quint16(address)), 0x3FFF);
    }
    QCOMPARE(rig.target().programWord(BootVector), CompletionMarker);
}

// The success is shown on a full gauge, with the port closed; then the window closes itself.
void verifySucceeded(DownloadRig& rig) {
    QCOMPARE(rig.status(), Message::WrittenSuccessfully);
    QVERIFY(rig.report().goReceived);
    QVERIFY(rig.form().session().DownloadOk);
    QVERIFY(!rig.form().session().PortHandle.isOpen());
    QCOMPARE(rig.form().DownloadGauge->percentDone(), 100);
    QCOMPARE(rig.form().DownloadGauge->barColor(), GaugeColor::Lime);
    QCOMPARE(rig.report().violations, std::vector<std::string>{});
    QVERIFY(rig.form().isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.form().isVisible(), 10000);
}

// A download with the settings naming a port that is not there: it fails before any progress.
void failToOpenThePort(DownloadRig& rig) {
    rig.createWindow(HexFiles::image(8));
    HexFiles::writeFile(rig.folder() + "/DWNLD.INI",
                        "[ZELTRA_IR_DOWNLOAD]\nPORT=/dev/absent-port\n");
    rig.showAndDownload();
    rig.verifyFailedAndUsable(
        Message::openFailure(SerialDevice::OpenResult::OpenFailed, "/dev/absent-port"));
}

} // namespace

class DownloadTest : public QObject {
    Q_OBJECT

private slots:
    void writesTheFileAndStartsTheProgram_data();
    void writesTheFileAndStartsTheProgram();
    void passesOverRecordsWithoutData();
    void refusesADamagedFileBeforeTouchingTheTarget_data();
    void refusesADamagedFileBeforeTouchingTheTarget();
    void refusesADamagedFileWithoutOpeningThePort();
    void failsWhenVerificationFails_data();
    void failsWhenVerificationFails();
    void failsWhenTheFileOverwritesTheMarker();
    void stopsOnRequestWhileSending_data();
    void stopsOnRequestWhileSending();
    void portChoiceDuringTheEraseCancels();
    void networkPortThatNeverSetsTheLine_data();
    void networkPortThatNeverSetsTheLine();
    void fileThatVanishesEndsTheDownload();
    void withoutArgumentCannotReadTheFile();
    void takesAFileWhenThereIsNone_data();
    void takesAFileWhenThereIsNone();
    void showsTheSuccessOnTheGauge_data();
    void showsTheSuccessOnTheGauge();
    void writeRetriesAfterAFailure();
    void tipTellsOfLateAnswers();
    void writeIsIgnoredWhileADownloadUnwinds();
    void snapshots();
    void outcomeAndEvents_data();
    void outcomeAndEvents();
};

void DownloadTest::writesTheFileAndStartsTheProgram_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("programWords"); // the file's program words start at 0
    QTest::addColumn<int>("eepromBytes");
    QTest::newRow("program and EEPROM") << HexFiles::image(100, 16) << 100 << 16;
    QTest::newRow("empty file") << QByteArray() << 0 << 0;
    QTest::newRow("end record first")
        << HexFiles::endRecord() + "\n" + HexFiles::image(8) << 0 << 0;
    QTest::newRow("no end record")
        << HexFiles::image(12).replace(HexFiles::endRecord() + "\r\n", "") << 12 << 0;
    QTest::newRow("LF only, control-Z after the end")
        << HexFiles::image(20, 3).replace("\r\n", "\n") + "\x1A garbage\n"
        << 20 << 3;
    QTest::newRow("lower-case digits") << HexFiles::image(9).toLower() << 9 << 0;
    const QByteArray typeInData = HexFiles::wordRecord(0, {0x0101, 0x0101, 0x0101});
    QTest::newRow("01 only in the data") << typeInData + "\n" + HexFiles::image(3) << 3 << 0;
}

void DownloadTest::writesTheFileAndStartsTheProgram() {
    QFETCH(QByteArray, text);
    QFETCH(int, programWords);
    QFETCH(int, eepromBytes);
    DownloadRig rig;
    rig.createWindow(text);
    rig.showAndDownload();
    verifySucceeded(rig);
    for (int address = 0; address < programWords; ++address) {
        QCOMPARE(rig.target().programWord(quint16(address)), HexFiles::imageWord(address));
    }
    for (int offset = 0; offset < eepromBytes; ++offset) {
        QCOMPARE(rig.target().eepromByte(quint16(0x2100 + offset)),
                 HexFiles::imageEepromByte(offset));
    }
    verifyErasedFrom(rig, (programWords + 3) / 4 * 4);
}

void DownloadTest::passesOverRecordsWithoutData() {
    DownloadRig rig;
    const QByteArray text = HexFiles::record(4, 0, QByteArray(2, 0)) + "\n" +
                            HexFiles::record(0, 0x0010, "") + "\n" +
                            HexFiles::record(0, 0x0020, QByteArray(1, 0x12)) + "\n" +
                            HexFiles::record(3, 0, QByteArray(4, 0)) + "\n" + HexFiles::image(4);
    rig.createWindow(text);
    rig.showAndDownload();
    verifySucceeded(rig);
    for (int address = 0; address < 4; ++address) {
        QCOMPARE(rig.target().programWord(quint16(address)), HexFiles::imageWord(address));
    }
    verifyErasedFrom(rig, 4);
    QCOMPARE(count(rig.commands(), "a0000"),
             3); // the erase's first row and the record's two passes
}

void DownloadTest::refusesADamagedFileBeforeTouchingTheTarget_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("fault");  // shown before "Download Failed"
    QTest::addColumn<QString>("detail"); // with it in the status line's tool tip
    const QByteArray good = ":06000000010002000300F4";
    QTest::newRow("blank line") << good + "\n\n" + HexFiles::endRecord() << Message::InvalidHexFile
                                << "line 2 is empty";
    QTest::newRow("no colon") << good + "\n " + good << Message::ProblemReadingHexFile
                              << "line 2 starts with a blank, not \":\"";
    QTest::newRow("checksum") << good + "\n:06000000010002000300F0" << Message::InvalidHexFile
                              << "line 2: checksum F0, the record's bytes call for F4";
    QTest::newRow("odd digits") << good + "0" << Message::InvalidHexFile
                                << "line 1: an odd number of digits (23) after \":\"";
    QTest::newRow("not a digit") << QByteArray(":0600000001000200030G") << Message::InvalidHexFile
                                 << "line 1: character 21 is \"G\", not a hexadecimal digit";
    QTest::newRow("byte count") << QByteArray(":0700000001000200030005") << Message::InvalidHexFile
                                << "line 1: byte count 07 calls for 24 digits after \":\", the "
                                   "line has 22";
    QTest::newRow("extended address")
        << HexFiles::record(4, 0, QByteArray("\x00\x01", 2)) << Message::InvalidHexFile
        << "line 1: extended address 0001 lies outside the target, only 0000 can be written";
}

void DownloadTest::refusesADamagedFileBeforeTouchingTheTarget() {
    QFETCH(QByteArray, text);
    QFETCH(QString, fault);
    QFETCH(QString, detail);
    DownloadRig rig;
    const quint16 previousWord = rig.target().programWord(0);
    QVERIFY(previousWord != 0x3FFF);
    rig.createWindow(text);
    rig.showAndDownload();
    rig.verifyFailedAndUsable(Message::DownloadFailed);
    QCOMPARE(rig.tipLines(), (QStringList{fault, detail, Message::DownloadFailed}));
    QVERIFY2(rig.reportedErrors.isEmpty(), qPrintable(rig.reportedErrors.join('\n')));
    QCOMPARE(rig.report().bytesIn, 0u);
    QCOMPARE(rig.target().programWord(0), previousWord);
}

void DownloadTest::refusesADamagedFileWithoutOpeningThePort() {
    DownloadRig rig;
    rig.createWindow(HexFiles::wordRecord(0, {1}) + "\n\n");
    HexFiles::writeFile(rig.folder() + "/DWNLD.INI",
                        "[ZELTRA_IR_DOWNLOAD]\nPORT=/dev/absent-port\n");
    rig.showAndDownload();
    rig.verifyFailedAndUsable(Message::DownloadFailed);
}

void DownloadTest::failsWhenVerificationFails_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("detail"); // in the status line's tool tip
    QTest::newRow("one wrong word") << 0 << "word 0011 did not read back: 019A written, 0000 read";
    QTest::newRow("two wrong words that cancel in a sum")
        << 1 << "word 0011 did not read back: 019A written, 019B read";
}

void DownloadTest::failsWhenVerificationFails() {
    QFETCH(int, fault);
    QFETCH(QString, detail);
    Options options = DownloadRig::quickTarget();
    if (fault == 0) {
        options.wrongWord = std::pair<std::uint16_t, std::uint16_t>{0x0011, 0x0000};
    } else {
        options.cancellingPair = 0x0011;
    }
    DownloadRig rig(options);
    rig.createWindow(HexFiles::image(40));
    rig.showAndDownload();
    rig.verifyFailedAndUsable(Message::DownloadFailed);
    QCOMPARE(rig.tipLines(), (QStringList{Message::askingPort(rig.form().session().PortName),
                                          Message::DownloadFailed, detail}));
    // The failing record is the last one sent: nothing after it.
    QCOMPARE(count(rig.commands(), "a0010"), 2);
    QCOMPARE(count(rig.commands(), "a0018"), 0);
}

void DownloadTest::failsWhenTheFileOverwritesTheMarker() {
    DownloadRig rig;
    rig.createWindow(HexFiles::wordRecord(BootVector, {0x1234}) + "\n" + HexFiles::endRecord());
    rig.showAndDownload();
    rig.verifyFailedAndUsable(Message::writeFailed("1F00"));
    QCOMPARE(count(rig.commands(), "w19CC"), 0);
}

void DownloadTest::stopsOnRequestWhileSending_data() {
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("status");
    QTest::newRow("Cancel") << "Cancel" << Message::DownloadCancelled;
    QTest::newRow("port choice") << "COM2" << Message::DownloadCancelled;
    QTest::newRow("Close") << "Close" << Message::DownloadFailed;
}

void DownloadTest::stopsOnRequestWhileSending() {
    QFETCH(QString, request);
    QFETCH(QString, status);
    DownloadRig rig;
    rig.createWindow(HexFiles::image(200));
    TDownloadForm& form = rig.form();
    rig.when(
        [&] { return rig.status() == Message::Writing && form.DownloadGauge->progress() >= 5; },
        [&] {
            if (request == "Cancel") {
                form.CancelButton->click();
            } else if (request == "Close") {
                form.CloseButton->click();
            } else {
                form.COM2Item->trigger();
            }
        });
    rig.showAndDownload();
    QCOMPARE(rig.status(), status);
    QVERIFY(!rig.report().goReceived);
    QVERIFY(!form.session().DownloadOk);
    QVERIFY(!form.session().PortHandle.isOpen());
    QCOMPARE(form.isVisible(), request != "Close");
    QVERIFY(count(rig.commands(), "r1") < 3 + 200);
    if (request == "COM2") {
        QFile settings(rig.folder() + "/DWNLD.INI");
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(settings.readAll().contains("COM2"));
    }
}

void DownloadTest::portChoiceDuringTheEraseCancels() {
    DownloadRig rig;
    rig.createWindow(HexFiles::image(16));
    TDownloadForm& form = rig.form();
    rig.when([&] { return form.DownloadGauge->progress() >= 0x100; },
             [&] { form.COM3Item->trigger(); });
    rig.showAndDownload();
    rig.verifyFailedAndUsable(Message::DownloadCancelled);
    QVERIFY(count(rig.commands(), "e") < 248);
    QCOMPARE(form.session().PortName, QStringLiteral("COM3"));
}

// An RFC 2217 server that takes the connection and never acknowledges the line's settings: the
// window stays live while the tool waits for it, and Cancel or Close abandons the connection.
void DownloadTest::networkPortThatNeverSetsTheLine_data() {
    QTest::addColumn<QString>("button"); // pressed once the server has the connection
    QTest::addColumn<QString>("status");
    QTest::newRow("left alone") << QString() << QStringLiteral("Problem Writing %1 parameters.");
    QTest::newRow("cancelled") << QStringLiteral("CancelButton") << Message::DownloadCancelled;
    QTest::newRow("closed") << QStringLiteral("CloseButton") << Message::DownloadCancelled;
}

void DownloadTest::networkPortThatNeverSetsTheLine() {
    QFETCH(QString, button);
    QFETCH(QString, status);
    TcpPeer::Script silent;
    silent.acksSettings = false;
    const TcpPeer server(silent);
    DownloadRig rig;
    rig.createWindow(HexFiles::image(16));
    TDownloadForm& form = rig.form();
    HexFiles::writeFile(rig.folder() + "/DWNLD.INI",
                        "[ZELTRA_IR_DOWNLOAD]\nPORT=" + server.url().toUtf8() + "\n");
    if (!button.isEmpty())
        rig.when([&] { return server.connections() > 0; },
                 [&] { QTest::mouseClick(form.findChild<QPushButton*>(button), Qt::LeftButton); });
    rig.showAndDownload();
    QCOMPARE(rig.status(), status.arg(server.url()));
    if (button == QLatin1String("CloseButton"))
        QVERIFY(!form.isVisible() && !form.session().PortHandle.isOpen());
    else
        rig.verifyFailedAndUsable(rig.status());
}

void DownloadTest::fileThatVanishesEndsTheDownload() {
    DownloadRig rig;
    rig.createWindow(HexFiles::image(16));
    rig.when([&] { return rig.status() == Message::Erasing; },
             [&] { QFile::remove(rig.hexPath()); });
    rig.showAndDownload();
    rig.verifyFailedAndUsable(Message::DownloadFailed);
    QCOMPARE(rig.reportedErrors.size(), 1);
    QVERIFY(rig.reportedErrors.front().contains(rig.hexPath()));
}

void DownloadTest::withoutArgumentCannotReadTheFile() {
    DownloadRig rig;
    rig.createWindowWithoutArgument();
    rig.showAndDownload();
    QCOMPARE(rig.form().windowTitle(), ApplicationTitle);
    rig.verifyFailedAndUsable(Message::CannotReadHexFile);
    QCOMPARE(rig.report().bytesIn, 0u);
}

// Started without a file, the tool reports it; a file chosen in the dialog that Write opens, or
// dropped onto the window, becomes the tool's file and is written.
void DownloadTest::takesAFileWhenThereIsNone_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("chosen in the dialog") << "dialog";
    QTest::newRow("dialog cancelled") << "cancel";
    QTest::newRow("dropped onto the window") << "drop";
}

void DownloadTest::takesAFileWhenThereIsNone() {
    QFETCH(QString, how);
    DownloadRig rig;
    QStringList asked; // the folder each dialog started in
    setHexFileChooser([&](QWidget* parent, const QString& folder) {
        asked << folder;
        return parent == &rig.form() && how == "dialog" ? rig.hexPath() : QString();
    });
    rig.createWindowWithoutArgument();
    HexFiles::writeFile(rig.hexPath(), HexFiles::image(8));
    rig.showAndDownload();
    rig.verifyFailedAndUsable(Message::CannotReadHexFile);
    QCOMPARE(rig.tipLines(), (QStringList{Message::CannotReadHexFile,
                                          "No HEX file was named: press Write to choose one, or "
                                          "drop one onto the window"}));
    QVERIFY(asked.isEmpty()); // the automatic start asks nothing
    TDownloadForm& form = rig.form();
    if (how == "drop") {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(rig.hexPath())});
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&form, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&form, &drop);
        QVERIFY(drop.isAccepted());
    } else {
        QTest::mouseClick(form.WriteButton, Qt::LeftButton);
        QCOMPARE(asked, QStringList{QString()});
    }
    setHexFileChooser({});
    if (how == "cancel") {
        rig.verifyFailedAndUsable(Message::CannotReadHexFile);
        QCOMPARE(form.windowTitle(), ApplicationTitle);
        QCOMPARE(rig.report().bytesIn, 0u);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), Message::WrittenSuccessfully, 60000);
    // The reports went when the download started: the tip names the port asked.
    QCOMPARE(rig.tipLines(), QStringList{Message::askingPort(form.session().PortName)});
    verifySucceeded(rig);
    QCOMPARE(form.session().HexFileName, rig.hexPath());
    QCOMPARE(form.windowTitle(), QStringLiteral("program.hex"));
    QCOMPARE(rig.target().programWord(7), HexFiles::imageWord(7));
    verifyErasedFrom(rig, 8);
}

void DownloadTest::showsTheSuccessOnTheGauge_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("close"); // Close is pressed while the success is shown
    const QByteArray lines250 = HexFiles::image(249 * 8).replace("\r\n", "\n").chopped(1);
    QTest::newRow("250 lines") << lines250 << false;
    QTest::newRow("80 lines") << HexFiles::image(79 * 8).replace("\r\n", "\n").chopped(1) << false;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("250 lines, Close") << lines250 << true;
}

// The whole bar, whatever the number of lines, for a moment in which there is nothing left to
// write or cancel; then the window closes by itself, or at once on Close.
void DownloadTest::showsTheSuccessOnTheGauge() {
    QFETCH(QByteArray, text);
    QFETCH(bool, close);
    DownloadRig rig;
    rig.createWindow(text);
    TDownloadForm& form = rig.form();
    QElapsedTimer shown;
    rig.when([&] { return rig.status() == Message::WrittenSuccessfully; }, [&] { shown.start(); });
    rig.showAndDownload();
    QVERIFY(!form.WriteButton->isEnabled());
    QVERIFY(!form.CancelButton->isEnabled());
    if (close) {
        QTest::mouseClick(form.CloseButton, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        return;
    }
    verifySucceeded(rig);
    QVERIFY2(shown.elapsed() >= SuccessShownMs - 100, QByteArray::number(shown.elapsed()) + " ms");
}

void DownloadTest::writeRetriesAfterAFailure() {
    DownloadRig rig;
    failToOpenThePort(rig);
    rig.form().session().PortName = QString::fromStdString(rig.target().devicePath());
    QTest::mouseClick(rig.form().WriteButton, Qt::LeftButton);
    verifySucceeded(rig);
}

// Behind an adapter whose latency timer holds every answer, the tip says so and why; the status
// line keeps the download's own texts.
void DownloadTest::tipTellsOfLateAnswers() {
    Options options = DownloadRig::quickTarget();
    options.lineModel = true;
    options.adapterLatencyMs = 16;
    options.bootVector = "1000"; // 254 commands to erase: the first 200 are timed there
    DownloadRig rig(options);
    rig.createWindow(HexFiles::image(16));
    QStringList statuses;
    QObject::connect(&rig.form().session(), &DownloadSession::statusShown, &rig.form(),
                     [&](const QString& text) { statuses.append(text); });
    rig.showAndDownload();
    verifySucceeded(rig);
    const QString tip = rig.tipLines().join(' ');
    QVERIFY2(tip.contains(QRegularExpression("Each answer arrives about [0-9.]+ ms late: this "
                                             "download will take about [0-9]+ s instead of")),
             qPrintable(tip));
    QVERIFY2(tip.contains("did not take low latency"), qPrintable(tip));
    for (const QString& status : statuses)
        QVERIFY2(!status.contains("late"), qPrintable(status));
}

void DownloadTest::writeIsIgnoredWhileADownloadUnwinds() {
    Options options = DownloadRig::quickTarget();
    // Acknowledgements before it: boot-vector read, 248 rows, marker block, two boot-vector reads,
    // the record's address and first word.
    options.dropAck = 1 + 248 * 2 + 5 + 1 + 1 + 1 + 2;
    DownloadRig rig(options);
    rig.createWindow(HexFiles::image(4));
    TDownloadForm& form = rig.form();
    rig.when([&] { return rig.status() == Message::LostContact; },
             [&] {
                 QVERIFY(form.WriteButton->isEnabled());
                 form.WriteButton->click();
             });
    rig.showAndDownload();
    rig.verifyFailedAndUsable(Message::DownloadFailed);
    QCOMPARE(count(rig.commands(), "rFFFF"), 2);
}

// Pictures of the window for the documentation, grabbed during and after real downloads.
void DownloadTest::snapshots() {
    const QString folder = qEnvironmentVariable("DWNLD_SNAPSHOT_DIR");
    if (folder.isEmpty()) {
        QSKIP("set DWNLD_SNAPSHOT_DIR to save pictures of the window");
    }
    const auto save = [&](TDownloadForm& form, const QString& name) {
        QVERIFY(form.grab().save(QDir(folder).filePath(name)));
    };
    {
        DownloadRig rig;
        rig.createWindow(HexFiles::image(800, 32));
        TDownloadForm& form = rig.form();
        rig.when([&] { return form.DownloadGauge->percentDone() >= 60; },
                 [&] { save(form, "download-erasing.png"); });
        rig.when(
            [&] {
                return rig.status() == Message::Writing && form.DownloadGauge->percentDone() >= 60;
            },
            [&] { save(form, "download-writing.png"); });
        rig.showAndDownload();
        save(form, "download-success.png"); // while the success is shown
        verifySucceeded(rig);
    }
    Options options = DownloadRig::quickTarget();
    options.wrongWord = std::pair<std::uint16_t, std::uint16_t>{0x0150, 0x0000};
    DownloadRig rig(options);
    rig.createWindow(HexFiles::image(800, 32));
    rig.showAndDownload();
    rig.verifyFailedAndUsable(Message::DownloadFailed);
    save(rig.form(), "download-failed.png");

    DownloadRig refused; // a failure before any progress
    failToOpenThePort(refused);
    save(refused.form(), "download-failed-at-once.png");
}

QTEST_MAIN(DownloadTest)
#include "test_download.moc"

// What those beside the window follow: each download's outcome, its phases in order, its
// progress in words and the bootloader's first answer. A stop asked for from outside holds even
// through the handshake, which forgets a Cancel.
void DownloadTest::outcomeAndEvents_data() {
    QTest::addColumn<Options>("target");
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<QString>("port"); // the target's line when empty
    QTest::addColumn<QString>("stopAt");
    QTest::addColumn<Result>("result");
    QTest::addColumn<QString>("report");
    QTest::addColumn<int>("phases");
    const Options quick = DownloadRig::quickTarget();
    Options lostAck = quick;
    lostAck.dropAck = 1 + 248 * 2 + 5 + 1 + 1 + 1 + 2; // the first record's first word
    Options neverReset;
    neverReset.reset = Options::Reset::Never;
    const QByteArray image = HexFiles::image(100, 16);
    QTest::newRow("written") << quick << image << ""
                             << "" << Result::Written << "" << 5;
    QTest::newRow("file refused") << quick << QByteArray(":0700000001000200030005") << ""
                                  << "" << Result::FileRefused << Message::InvalidHexFile << 0;
    QTest::newRow("port missing") << quick << image << "/dev/zeltra-absent"
                                  << "" << Result::PortNotOpened << "Problem Opening Port" << 0;
    QTest::newRow("stopped before the answer") << neverReset << image << ""
                                               << "start" << Result::NoBootloader << "" << 1;
    QTest::newRow("stopped after the answer")
        << quick << image << ""
        << "answer" << Result::CancelledAfterContact << "" << 1;
    QTest::newRow("lost contact") << lostAck << image << ""
                                  << "" << Result::FailedAfterContact << Message::LostContact << 3;
}

void DownloadTest::outcomeAndEvents() {
    QFETCH(Options, target);
    QFETCH(QByteArray, hex);
    QFETCH(QString, port);
    QFETCH(QString, stopAt);
    QFETCH(Result, result);
    QFETCH(QString, report);
    QFETCH(int, phases);
    DownloadRig rig(target);
    rig.createWindow(hex);
    TDownloadForm& form = rig.form();
    form.session().PortName =
        port.isEmpty() ? QString::fromStdString(rig.target().devicePath()) : port;
    form.session().HexFileName = rig.hexPath();
    form.session().HexFilePresent = true;
    QSignalSpy phaseSpy(&form.session(), &DownloadSession::phaseChanged);
    QSignalSpy progressSpy(&form.session(), &DownloadSession::progressed);
    QSignalSpy answerSpy(&form.session(), &DownloadSession::bootloaderAnswered);
    QObject::connect(&form.session(), &DownloadSession::bootloaderAnswered, &form, [&] {
        if (stopAt == "answer")
            form.session().requestStop();
    });
    if (stopAt == "start")
        form.session().requestStop();

    const DownloadOutcome outcome = form.writeHexFile();
    QCOMPARE(outcome.result, result);
    QVERIFY2(report.isEmpty() ? outcome.report.isEmpty() : outcome.report.startsWith(report),
             qPrintable(outcome.report));
    QCOMPARE(phaseSpy.size(), phases);
    const QList<DownloadPhase> order{DownloadPhase::WaitingForReset, DownloadPhase::Erasing,
                                     DownloadPhase::Writing, DownloadPhase::Resynchronising,
                                     DownloadPhase::Done};
    for (int i = 0; i < phaseSpy.size(); ++i)
        QCOMPARE(phaseSpy.at(i).at(0).value<DownloadPhase>(), order.at(i));
    QCOMPARE(answerSpy.size(), outcome.reachedBoard() ? 1 : 0);
    if (outcome.reachedBoard())
        QCOMPARE(answerSpy.front().front().toString(), form.session().PortName);
    if (outcome.written()) { // the last progress: every word of the file, on a full gauge
        const QList<QVariant> last = progressSpy.back();
        QCOMPARE(last.at(0).toInt(), 100 + 16);
        QCOMPARE(last.at(1).toInt(), 100 + 16);
        QCOMPARE(last.at(2).toInt(), 100);
    }
    QCOMPARE(rig.report().goReceived, outcome.written());
    QVERIFY(!form.session().PortHandle.isOpen());
}
