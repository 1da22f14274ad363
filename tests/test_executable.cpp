// The real dwnld executable, copied into a folder of its own with a settings file that names the
// simulated target's line, as a user would run it.
#include "sim/PtyTarget.h"
#include "support/HexFiles.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using zeltra::sim::Options;
using zeltra::sim::PtyTarget;

class ExecutableTest : public QObject {
    Q_OBJECT

private slots:
    void closesItselfAfterASuccessfulDownload();
    void staysOpenAfterAFailedDownload();

private:
    // Starts a copy of dwnld in a fresh folder, with the target's line in DWNLD.INI.
    void start(PtyTarget& target, const QByteArray& hexText);

    QTemporaryDir dir_;
    QProcess process_;
};

void ExecutableTest::start(PtyTarget& target, const QByteArray& hexText) {
    const QString executable = dir_.filePath("dwnld");
    QFile::remove(executable);
    QVERIFY(QFile::copy(qEnvironmentVariable("DWNLD_EXE"), executable));
    HexFiles::writeFile(
        dir_.filePath("DWNLD.INI"),
        "[ZELTRA_IR_DOWNLOAD]\nPORT=" + QByteArray::fromStdString(target.devicePath()) + "\n");
    const QString hexPath = HexFiles::writeFile(dir_.filePath("my program.hex"), hexText);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(executable, {hexPath});
    QVERIFY(process_.waitForStarted());
}

void ExecutableTest::closesItselfAfterASuccessfulDownload() {
    PtyTarget target; // RESET is pressed a moment after the first "*", as by a user
    start(target, HexFiles::image(64, 8));
    QVERIFY(process_.waitForFinished(120000));
    QCOMPARE(process_.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process_.exitCode(), 0);
    QVERIFY(target.report().goReceived);
    QCOMPARE(target.programWord(63), HexFiles::imageWord(63));
}

void ExecutableTest::staysOpenAfterAFailedDownload() {
    Options options;
    options.wrongWord = std::pair<std::uint16_t, std::uint16_t>{0x0002, 0x0000};
    PtyTarget target(options);
    start(target, HexFiles::image(4));
    // Three boot-vector reads and the record's four words have been read back: the download has
    // failed its verification.
    const auto reads = [&] {
        const auto log = target.report().commandLog;
        return std::count(log.begin(), log.end(), std::string("r1"));
    };
    QTRY_VERIFY_WITH_TIMEOUT(reads() == 7, 60000);
    QVERIFY(!process_.waitForFinished(2000));
    QCOMPARE(process_.state(), QProcess::Running);
    QVERIFY(!target.report().goReceived);
    process_.kill();
    process_.waitForFinished();
}

QTEST_GUILESS_MAIN(ExecutableTest)
#include "test_executable.moc"
